// The position marker: an arrow along the heading (a disc without one) at
// the map cursor.
#pragma once
#include "platform/Canvas.h"
#include "view/MapPosition.h"

// The map cursor as the map page is told it: the position in degrees and
// the heading in degrees (outside 0..360: none).
struct CursorMark {
  bool fValid = false;
  double dLon = 0;
  double dLat = 0;
  double dHeading = -1;
};

// Draws the marker when the cursor is valid: a red arrow with a white rim,
// turned by the heading less the view's rotation.
void DrawPositionMarker(platform::CCanvas* pDst, const CMapPosition& view, const CursorMark& cursor);
