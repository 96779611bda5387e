#include "navigation/Maneuver.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "geo/Geodesy.h"
#include "view/FastMath.h"

ManeuverKind GetManeuverKind(const RoutePoint& rp) {
  const uint8_t k = rp.btKind;
  if (!(k & rpkRouter) || !(k & rpkManeuver)) return mkNone;
  if (k & rpkRoundaboutEntry) return mkToRound;
  if (k & rpkRoundaboutExit) return mkFromRound;
  const int32_t a = rp.nTurnAngle;
  if ((k & rpkKeep) && std::abs(a) < 60) return rp.btParameter == 1 ? mkKeepRight : mkKeepLeft;
  if (a > 160) return mkUTurnRight;
  if (a < -160) return mkUTurnLeft;
  if (a > 110) return mkSharpRight;
  if (a < -110) return mkSharpLeft;
  if (a > 60) return mkRight;
  if (a < -60) return mkLeft;
  if (a > 15) return mkKeepRight;
  if (a < -15) return mkKeepLeft;
  return mkNone;
}

void FormatManeuverKind(char* pszBuf, size_t cchBuf, int32_t nKind, int32_t nAngle, uint32_t nParameter) {
  static const char* const c_apszNames[] = {"NO",          "KEEP LEFT",  "KEEP RIGHT", "LEFT",
                                            "RIGHT",       "SHARP LEFT", "SHARP RIGHT", nullptr,
                                            "FROMROUND",   "UTURNRIGHT", "UTURNLEFT"};
  if (nKind == mkToRound)
    std::snprintf(pszBuf, cchBuf, "%d TOROUND %u", nAngle, nParameter & 0xFF);
  else if (nKind >= 0 && nKind <= mkUTurnLeft)
    std::snprintf(pszBuf, cchBuf, "%d %s", nAngle, c_apszNames[nKind]);
  else
    std::snprintf(pszBuf, cchBuf, "%d UNK", nAngle);
}

uint32_t SegmentMetres(const Route& route, size_t i) {
  const RoutePoint& a = route.points[i];
  const RoutePoint& b = route.points[i + 1];
  float f = GetDistance(PointLon(a), PointLat(a), PointLon(b), PointLat(b));
  return std::isfinite(f) && f > 0 ? uint32_t(fast_round(f)) : 0;
}

float SegmentCourse(const Route& route, size_t i) {
  const RoutePoint& a = route.points[i];
  const RoutePoint& b = route.points[i + 1];
  return GetCourse(PointLon(a), PointLat(a), PointLon(b), PointLat(b));
}

int32_t GeometricTurnAt(const Route& route, size_t i) {
  size_t n = route.points.size();
  if (i == 0 || i + 1 >= n) return 0;
  const RoutePoint& a = route.points[i - 1];
  const RoutePoint& b = route.points[i];
  const RoutePoint& c = route.points[i + 1];
  float f = GetTurnAngle(PointLon(a), PointLat(a), PointLon(b), PointLat(b), PointLon(c), PointLat(c));
  return std::isfinite(f) ? fast_round(f) : 0;
}
