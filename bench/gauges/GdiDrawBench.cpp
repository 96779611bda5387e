// The full 32-cell trip computer drawn through GDI into a memory bitmap, as
// the trip computer page paints it; run under Wine (or Windows) it prints
// the mean milliseconds of one drawing. The gauges save their values in the
// prefix's settings as the program would: run it in a scratch prefix.
//
//   bench_gauges_gdi [DRAWINGS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "gauges/Gauge.h"
#include "gauges/TripComputer.h"
#include "platform/win32/CanvasGdi.h"
#include "render/Screen.h"
#include "settings/Settings.h"

using platform::CGdiCanvas;

namespace {

GpsFix DriveFix(int i) {
  GpsFix f;
  f.Start();
  f.SetTime(46000.0 + i / 86400.0);
  f.SetPosition(37.6f + float(i) * 0.0001f, 55.75f);
  f.SetSpeed(40.0f);
  f.SetAltitude(150.0f);
  f.SetVerticalSpeed(0.5f);
  f.SetCourse(90.0f);
  f.SetStatus(fs3D);
  f.SetHdop(1.1f);
  f.SetSatellitesUsed(8);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int cDrawings = argc > 1 ? std::atoi(argv[1]) : 200;
  render::SetScreenScale(1, 1);
  OpenSettings();
  LoadAllGauges();
  UpdateAllGauges(DriveFix(0));
  UpdateAllGauges(DriveFix(1));
  CTripCells cells;
  cells.Load(false);
  // 4 columns × 8 rows of small cells, as on a 480-pixel landscape screen.
  const int cx = 480, cy = 8 * 34;
  HDC hdcScreen = ::GetDC(nullptr);
  std::unique_ptr<CGdiCanvas> pCanvas(CGdiCanvas::CreateMemory(hdcScreen, cx, cy));
  ::ReleaseDC(nullptr, hdcScreen);
  if (!pCanvas) {
    std::fprintf(stderr, "no memory bitmap\n");
    return 1;
  }
  DrawTripComputer(pCanvas.get(), cells, cx, cy, false, -1);  // fonts made once
  LARGE_INTEGER f, t0, t1;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&t0);
  for (int i = 0; i < cDrawings; ++i) DrawTripComputer(pCanvas.get(), cells, cx, cy, false, -1);
  ::QueryPerformanceCounter(&t1);
  const double dMs = double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(f.QuadPart) / cDrawings;
  std::printf("32 cells through GDI: %.3f ms per drawing (%d drawings)\n", dMs, cDrawings);
  DeleteGaugeFonts();
  CloseSettings();
  return 0;
}
