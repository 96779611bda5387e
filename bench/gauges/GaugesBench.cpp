// The gauges' share of each fix on the main window's thread: updating every
// gauge with one fix, and drawing the full 32-cell trip computer on the
// software canvas.
#include <benchmark/benchmark.h>

#include <memory>

#include "gauges/Gauge.h"
#include "gauges/TripComputer.h"
#include "platform/Canvas.h"
#include "render/Screen.h"
#include "settings/Settings.h"

namespace {

GpsFix DriveFix(int i) {
  GpsFix f;
  f.Start();
  f.SetTime(46000.0 + i / 86400.0);
  f.SetPosition(37.6f + float(i % 1000) * 0.0001f, 55.75f);
  f.SetSpeed(i % 50 == 0 ? 1.0f : 40.0f);
  f.SetAltitude(150.0f + float(i % 7));
  f.SetVerticalSpeed(0.5f);
  f.SetCourse(90.0f);
  f.SetStatus(fs3D);
  f.SetHdop(1.1f);
  f.SetSatellitesUsed(8);
  return f;
}

void BM_UpdateAllGaugesOneFix(benchmark::State& state) {
  ResetAllSettings();
  LoadAllGauges();
  int i = 0;
  for (auto _ : state) UpdateAllGauges(DriveFix(i++));
}
BENCHMARK(BM_UpdateAllGaugesOneFix);

void BM_DrawTripComputer32Cells(benchmark::State& state) {
  render::SetScreenScale(1, 1);
  ResetAllSettings();
  LoadAllGauges();
  UpdateAllGauges(DriveFix(0));
  UpdateAllGauges(DriveFix(1));
  CTripCells cells;
  cells.Load(false);
  // 4 columns × 8 rows of small cells.
  const int cx = 480, cy = 8 * 34;
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(cx, cy));
  for (auto _ : state) DrawTripComputer(pCanvas.get(), cells, cx, cy, false, -1);
}
BENCHMARK(BM_DrawTripComputer32Cells)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
