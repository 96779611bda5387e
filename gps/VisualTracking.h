// VisualTracking: the last 10 000 logged positions in the memory-mapped
// ring Tracks.bin (the TrackLog) that the map's track layer draws
// (render/TrackLayer), and the GPS indicator icon.
#pragma once
#include <cstdint>
#include <string>

#include "gps/PositionHub.h"
#include "platform/WinTypes.h"

class VisualTracking {
 public:
  // Start-up: opens or creates Tracks.bin in the tracks folder (reset when
  // its size or end index is impossible) and maps it.
  static bool Open();
  static void Close();
  static bool IsOpen();
  // Appends a position when logging is on.
  static void Append(float lon, float lat);
  // The next appended position starts a new line.
  static void NewSegment();
  static void SetLogging(bool fOn);
  static bool IsLogging();
  static void Clear();

  // Walks the logged positions oldest first and hands the visible runs to
  // pfnDraw as polylines of at most c_cPolylinePoints screen points; a run
  // longer than that continues in the next polyline from its last point.
  // pfnToScreen converts map units (2^30 per 180 degrees) to the screen;
  // pfnDraw returns false to stop at once (the page was interrupted).
  static const int c_cPolylinePoints = 1000;
  typedef VPoint (*ToScreenFn)(int32_t x, int32_t y, void* pContext);
  typedef bool (*DrawPolylineFn)(const VPoint* pPoints, int cPoints, void* pContext);
  static void WalkTrackLog(int cxWindow, int cyWindow, ToScreenFn pfnToScreen, DrawPolylineFn pfnDraw,
                           void* pContext);

  // The path of Tracks.bin.
  static std::u16string FilePath();
};

// The visual track's place in the position stream: every track point is
// logged, every break starts a new line. The shell subscribes it at start-up.
CPositionListener& VisualTrackListener();

