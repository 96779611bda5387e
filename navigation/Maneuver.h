// Maneuver kinds of route points and the geometry guidance measures along a
// route: courses, turn angles and metre lengths between route points.
#pragma once
#include <cstddef>
#include <cstdint>

#include "store/Waypoint.h"

enum ManeuverKind : int32_t {
  mkNone = 0,
  mkKeepLeft = 1,
  mkKeepRight = 2,
  mkLeft = 3,
  mkRight = 4,
  mkSharpLeft = 5,
  mkSharpRight = 6,
  mkToRound = 7,
  mkFromRound = 8,
  mkUTurnRight = 9,
  mkUTurnLeft = 10,
};

// The kind of a route point from its kind flags and stored turn angle.
ManeuverKind GetManeuverKind(const RoutePoint& rp);
// The diagnostic text of a kind ("%d RIGHT" with the maneuver angle ...).
void FormatManeuverKind(char* pszBuf, size_t cchBuf, int32_t nKind, int32_t nAngle, uint32_t nParameter);

// A point made by the user (not by the router): the significant points of
// a route besides the maneuvers.
inline bool IsViaPoint(const RoutePoint& rp) { return (rp.btKind & rpkRouter) == 0; }

// Degrees of a route point.
inline float PointLon(const RoutePoint& rp) { return float(StoredToDegrees(rp.GetX())); }
inline float PointLat(const RoutePoint& rp) { return float(StoredToDegrees(rp.GetY())); }
// Map units of a route point (half the stored coordinates).
inline int32_t PointMapX(const RoutePoint& rp) { return rp.GetX() >> 1; }
inline int32_t PointMapY(const RoutePoint& rp) { return rp.GetY() >> 1; }

// Rounded metres of segment (i, i + 1).
uint32_t SegmentMetres(const Route& route, size_t i);
// Initial course of segment (i, i + 1), degrees [0, 360).
float SegmentCourse(const Route& route, size_t i);
// course(i → i + 1) − course(i − 1 → i) in −180…180, rounded; 0 at the
// first and the last point.
int32_t GeometricTurnAt(const Route& route, size_t i);
