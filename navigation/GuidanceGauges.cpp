#include "navigation/GuidanceGauges.h"

#include <cmath>

#include "geo/Geodesy.h"
#include "gps/PositionHub.h"
#include "platform/Str.h"

namespace {

const double c_dMovingKmh = 2.0;

// The name a route point shows: its waypoint's, else its own label.
const std::u16string* PointName(const RoutePoint& rp) {
  if (rp.pWaypoint && !rp.pWaypoint->strName.empty()) return &rp.pWaypoint->strName;
  if (!rp.strLabel.empty()) return &rp.strLabel;
  return nullptr;
}

void Degrees(int32_t xStored, int32_t yStored, float& fLon, float& fLat) {
  fLon = float(StoredToDegrees(xStored));
  fLat = float(StoredToDegrees(yStored));
}

// Days to travel dMetres at dKmh.
double TravelDays(double dMetres, double dKmh) { return dMetres / (dKmh / 3.6) / 86400.0; }

}  // namespace

bool FillGuidanceInfo(CGuidance& guidance, const GpsFix& fix, double dRecentSpeed, GuidanceInfo& info) {
  const Route* pRoute = guidance.ActiveRoute();
  if (pRoute == nullptr || pRoute->points.empty()) return false;
  info = GuidanceInfo{};
  const NavigationState& st = guidance.State();
  const size_t cPoints = pRoute->points.size();

  if (!pRoute->strName.empty()) {
    platform::StrCopy(info.szRouteName, 64, pRoute->strName.c_str());
    info.dwValid |= gdRouteName;
  }
  if (const std::u16string* p = PointName(pRoute->points.back())) {
    platform::StrCopy(info.szFinalName, 64, p->c_str());
    info.dwValid |= gdFinalName;
  }
  // The next point with a name from the target on (the target may be a
  // nameless road point).
  for (size_t i = st.iTarget < cPoints ? st.iTarget : cPoints - 1; i < cPoints; ++i)
    if (const std::u16string* p = PointName(pRoute->points[i])) {
      platform::StrCopy(info.szNextName, 64, p->c_str());
      info.dwValid |= gdNextName;
      break;
    }

  if (st.nState == nsOnRoute) {
    info.dDistanceNext = st.nDistanceToNext;
    info.dDistanceFinal = st.nDistanceToEnd;
    info.dwValid |= gdDistanceNext | gdDistanceFinal;
    if (st.nManeuverKind != mkNone) {
      info.nManeuver = st.nManeuverKind;
      info.dManeuverDistance = st.nDistanceToManeuver;
      info.dwValid |= gdManeuver;
    }
  }

  if (!fix.Has(gfPosition)) return true;
  int32_t xTarget = 0, yTarget = 0;
  guidance.GetPointerTarget(xTarget, yTarget);
  float fLonTarget, fLatTarget;
  Degrees(xTarget, yTarget, fLonTarget, fLatTarget);
  if (st.nState != nsOnRoute) {
    int32_t xLast = 0, yLast = 0;
    guidance.GetPointerTarget(xLast, yLast, true);
    float fLonLast, fLatLast;
    Degrees(xLast, yLast, fLonLast, fLatLast);
    info.dDistanceNext = GetDistance(fix.longitude, fix.latitude, fLonTarget, fLatTarget);
    info.dDistanceFinal = GetDistance(fix.longitude, fix.latitude, fLonLast, fLatLast);
    info.dwValid |= gdDistanceNext | gdDistanceFinal;
  }
  if (dRecentSpeed >= c_dMovingKmh) {
    info.dTimeNext = TravelDays(info.dDistanceNext, dRecentSpeed);
    info.dTimeFinal = TravelDays(info.dDistanceFinal, dRecentSpeed);
    info.dwValid |= gdTimeNext | gdTimeFinal;
  }
  info.fBearing = GetCourse(fix.longitude, fix.latitude, fLonTarget, fLatTarget);
  info.dwValid |= gdBearing;
  if (fix.Has(gfCourse)) {
    float fRelative = std::fmod(info.fBearing - fix.course + 540.0f, 360.0f) - 180.0f;
    info.fPointer = fRelative;
    info.dwValid |= gdPointer;
    if (fix.Has(gfSpeed)) {
      info.fVmg = float(double(fix.speed) * std::cos(double(fRelative) * 3.14159265358979 / 180.0));
      info.dwValid |= gdVmg;
    }
  }
  return true;
}

bool CGuidanceGauges::GetGuidance(GuidanceInfo& info) {
  return FillGuidanceInfo(m_guidance, m_hub.GetFix(), m_hub.GetRecentAverageSpeed(), info);
}
