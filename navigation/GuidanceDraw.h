// What guidance shows on the map page: the pointer line from the position
// to the target point, and the maneuver display (the next maneuver's arrow
// or roundabout with its exit, the distance to it and to the end).
#pragma once
#include <cstdint>

#include "navigation/Guidance.h"
#include "platform/Canvas.h"
#include "view/MapPosition.h"

const COLORREF c_crPointerOuter = 0x400080;
const COLORREF c_crPointerInner = 0x00FFFF;
const COLORREF c_crOffRouteDisplay = 0x000090;  // the maneuver display's ground off the route

// Two pens over each other: wide (9, or 17 on dense displays) and narrow
// (5, or 9). Positions in degrees, the target in stored coordinates.
void DrawPointerLine(platform::CCanvas* pDst, const CMapPosition& view, float fLon, float fLat,
                     int32_t xTargetStored, int32_t yTargetStored, bool fDense);

// The maneuver display in the box rc (its top-left corner at rc.left,
// rc.top; about 96 × 120 pixels at normal density).
void DrawManeuverDisplay(platform::CCanvas* pDst, const VRect& rc, const NavigationState& state, bool fDense);

// The arrow of a maneuver kind as a polygon in a 64 × 64 cell: the stem
// from the bottom centre and the head turned by the kind's direction.
// Returns the number of points written (at most 12).
int ManeuverArrow(int32_t nKind, VPoint* pPoints, int x0, int y0, int nSize);
// The direction an arrow points for a kind, degrees clockwise from ahead.
int32_t ManeuverArrowAngle(int32_t nKind);
