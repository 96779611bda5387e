// The track layer: the logged positions of gps/VisualTracking drawn over the
// map as polylines in the track colour. The map pass draws it when
// "ShowTrack" is set.
#pragma once
#include "gps/VisualTracking.h"
#include "platform/Canvas.h"

class CDrawContext;

const COLORREF c_crTrack = RGB(200, 0, 200);
// The pen's width: 2 pixels on a normal display, 4 on a high-density one.
int GetTrackPenWidth();

// Draws the logged track onto the canvas: pfnToScreen converts map units to
// the canvas, pfnInterrupted is asked before every polyline (true stops the
// drawing at once). The caller's pen is selected again afterwards.
typedef bool (*TrackInterruptedFn)(void* pContext);
void DrawTrack(platform::CCanvas& canvas, VisualTracking::ToScreenFn pfnToScreen, TrackInterruptedFn pfnInterrupted,
               void* pContext);

// The map pass's layer: the track in the pass's view, yielding to the
// window between polylines and stopping when the pass is interrupted.
void DrawTrackLayer(CDrawContext& ctx);
