#include "navigation/Guidance.h"

#include <cmath>
#include <utility>
#include <vector>

#include "geo/Geodesy.h"
#include "platform/Debug.h"
#include "routing/RoutingSettings.h"
#include "settings/SettingsTable.h"
#include "store/WaypointStore.h"
#include "view/FastMath.h"
#include "view/MapUnits.h"
#include "view/PtAlgo.h"

namespace {

// After a recalculation the points the router made on the way already
// driven go, up to the one just behind the car (the voice and the next-point
// search start from it); the user's own points stay. So a drive that keeps
// leaving the route keeps a route of the same size however long it lasts.
void DropPassedPoints(Route& route, NavigationState& st) {
  const size_t iBehind = st.iNextPoint;
  if (iBehind == 0 || iBehind > route.points.size()) return;
  std::vector<RoutePoint> points;
  points.reserve(route.points.size());
  size_t cDropped = 0;
  for (size_t i = 0; i < route.points.size(); ++i) {
    RoutePoint& rp = route.points[i];
    if (i < iBehind && (rp.btKind & rpkRouter) && !rp.pWaypoint)
      ++cDropped;
    else
      points.push_back(std::move(rp));
  }
  if (cDropped == 0) return;
  route.points = std::move(points);
  RecomputeRoute(route);
  st.iTarget -= uint32_t(cDropped);
  st.iNextPoint -= uint32_t(cDropped);
  st.iNextManeuver -= uint32_t(cDropped);
  st.iAnnounced -= uint32_t(cDropped);
}

// β inside the arc that starts at fFrom and runs fWidth degrees clockwise;
// the arc's end itself is outside.
bool InArc(float fBeta, float fFrom, float fWidth) {
  float d = std::fmod(fBeta - fFrom, 360.0f);
  if (d < 0) d += 360.0f;
  return d < fWidth;
}

uint32_t RoundMetres(float f) { return std::isfinite(f) && f > 0 ? uint32_t(fast_round(f)) : 0; }

}  // namespace

CGuidance::CGuidance(CWaypointStore& store, CGuidanceHost* pHost, CGuidanceVoice* pVoice)
    : m_store(store), m_pHost(pHost), m_pVoice(pVoice), m_state{}, m_iShownManeuver(-1),
      m_fManeuverChanged(true), m_fInUpdate(false), m_pLengthsRoute(nullptr), m_cLengthsPoints(0) {}

void CGuidance::ResetState() {
  m_state = NavigationState{};
  m_iShownManeuver = -1;
  m_fManeuverChanged = true;
  m_pLengthsRoute = nullptr;
  m_fRecalcFailed = false;
  ++m_nRouteVersion;
}

void CGuidance::PlayRouteEvent(RouteEventKind ev) {
  if (m_pVoice) m_pVoice->PlayRouteEvent(ev);
}

void CGuidance::Start(Route* pRoute, const GuidanceFix& fix, float fLonCentre, float fLatCentre) {
  if (!pRoute) return;
  End();
  m_store.SetActiveRoute(pRoute);
  pRoute->dwFlags |= rfActive;
  if (m_pHost) m_pHost->SaveStore();
  ResetState();
  if (GetSetting(setting::RoutingStyle) == 0 && m_pHost) {
    float fLon = fix.fPosition ? fix.fLon : fLonCentre;
    float fLat = fix.fPosition ? fix.fLat : fLatCentre;
    if (m_pHost->CalculateFromPosition(*pRoute, fLon, fLat)) m_pLengthsRoute = nullptr;
    m_pHost->SaveStore();
  }
  SetBool(setting::Navigation.pszName, true);
  if (m_pHost) m_pHost->OnNavigationChanged(true);
  Update(fix);
}

Route* CGuidance::GoTo(int32_t xStored, int32_t yStored, const GuidanceFix& fix, float fLonCentre,
                       float fLatCentre) {
  End();
  Route* pRoute = m_store.NewRoute(m_pHost ? m_pHost->Now() : 0, u"GoTo");
  if (!pRoute) return nullptr;
  pRoute->dwFlags |= rfGoTo;
  RoutePoint rp;
  rp.x = xStored;
  rp.y = yStored;
  rp.btKind = 0;
  pRoute->points.push_back(rp);
  RecomputeRoute(*pRoute);
  Start(pRoute, fix, fLonCentre, fLatCentre);
  return pRoute;
}

void CGuidance::End() {
  Route* pRoute = m_store.ActiveRoute();
  if (pRoute) {
    pRoute->dwFlags &= ~uint32_t(rfActive);
    m_store.SetActiveRoute(nullptr);
    if (pRoute->dwFlags & rfGoTo) m_store.DeleteRoute(pRoute);
    if (m_pHost) m_pHost->SaveStore();
  }
  m_pLengthsRoute = nullptr;
  if (m_pVoice) {
    m_pVoice->ClearPendingPhrase();
    m_pVoice->CutManeuverPhrases();
  }
  SetBool(setting::Navigation.pszName, false);
  if (pRoute && m_pHost) m_pHost->OnNavigationChanged(false);
}

void CGuidance::EnsureLengths(const Route& route) {
  if (m_pLengthsRoute == &route && m_cLengthsPoints == route.points.size()) return;
  size_t n = route.points.size();
  m_aCumMetres.assign(n ? n : 1, 0);
  for (size_t i = 1; i < n; ++i) m_aCumMetres[i] = m_aCumMetres[i - 1] + SegmentMetres(route, i - 1);
  m_pLengthsRoute = &route;
  m_cLengthsPoints = n;
}

uint64_t CGuidance::RouteMetres(size_t iFrom, size_t iTo) {
  Route* pRoute = m_store.ActiveRoute();
  if (!pRoute || iFrom >= iTo) return 0;
  EnsureLengths(*pRoute);
  if (iTo >= m_cLengthsPoints) iTo = m_cLengthsPoints ? m_cLengthsPoints - 1 : 0;
  if (iFrom >= iTo) return 0;
  return m_aCumMetres[iTo] - m_aCumMetres[iFrom];
}

void CGuidance::MarkManeuver() {
  if (int64_t(m_state.iNextManeuver) != m_iShownManeuver) {
    m_iShownManeuver = m_state.iNextManeuver;
    m_fManeuverChanged = true;
  }
}

void CGuidance::Finish() {
  PlayRouteEvent(reRouteEnd);
  End();
  m_state.nState = nsFinished;
}

void CGuidance::Update(const GuidanceFix& fix) {
  if (m_fInUpdate) return;
  m_fInUpdate = true;
  UpdateBody(fix);
  if (m_pVoice) m_pVoice->AnnounceStep(CGuidanceReadView(*this), fix);
  if (m_pHost) m_pHost->OnGuidanceUpdated();
  m_fInUpdate = false;
}

void CGuidance::UpdateBody(const GuidanceFix& fix) {
  Route* pRoute = m_store.ActiveRoute();
  // A route without points has nothing to follow (and nothing to arrive at).
  if (!pRoute || pRoute->points.empty()) return;
  if (m_state.nState == nsFinished) {
    if (GetSettingBool(setting::Navigation)) {
      PlayRouteEvent(reRouteEnd);
      End();
    }
    return;
  }
  if (!IsGuidanceFix(fix)) return;

  const MapPoint pos{DegreesToMap(fix.fLon), DegreesToMap(fix.fLat)};
  const float k = fast_cos(fix.fLat * (c_PI / 180.0f));
  const double fR = MetresToMap(c_fOffRouteMetres);
  const double fR2 = fR * fR;
  auto SegmentD2 = [&](const Route& route, size_t i) {
    const RoutePoint& a = route.points[i - 1];
    const RoutePoint& b = route.points[i];
    MapPoint pa{PointMapX(a), PointMapY(a)}, pb{PointMapX(b), PointMapY(b)}, nearest;
    return PtAlgo::NearestPointOnSegment(pos, pa, pb, k, &nearest);
  };

  NavigationState& st = m_state;
  // A recalculation or a passed point restarts the loop; each pass either
  // moves the target on or returns, and a recalculation happens at most
  // once per update, so the loop ends.
  bool fRecalculated = false;
  // The off-route recalculation towards the next via point; true when the
  // route was recalculated (guidance goes on with its new points).
  auto Recalculate = [&](Route& route) -> bool {
    fRecalculated = true;
    const size_t n = route.points.size();
    size_t iVia = st.iTarget;
    for (size_t j = st.iTarget < 1 ? 1 : st.iTarget; j < n; ++j)
      if (IsViaPoint(route.points[j])) {
        iVia = j;
        break;
      }
    if (m_pHost && m_pHost->Recalculate(route, fix.fLon, fix.fLat, iVia, st.iTarget)) {
      m_fRecalcFailed = false;
      m_pLengthsRoute = nullptr;
      PlayRouteEvent(reRouteCalculated);
      if (st.iTarget == 0) {
        st.iNextPoint = st.iNextManeuver = st.iAnnounced = 0;
      } else {
        st.iNextPoint = st.iNextManeuver = st.iAnnounced = st.iTarget - 1;
        ++st.iTarget;
        DropPassedPoints(route, st);
      }
      ++m_nRouteVersion;
      if (m_pVoice) {
        m_pVoice->ClearPendingPhrase();
        m_pVoice->CutManeuverPhrases();
      }
      return true;
    }
    m_fRecalcFailed = m_pHost != nullptr;
    if (m_pHost) m_dRecalcFailedAt = m_pHost->Now();
    st.nState = nsOffRoute;
    return false;
  };
  for (;;) {
    Route& route = *pRoute;
    const size_t n = route.points.size();
    EnsureLengths(route);

    // 1. Off route: look for a later segment within the corridor.
    if (st.nState == nsOffRoute) {
      if (st.iTarget < 1) st.iTarget = 1;
      double fBest = fR2;
      for (size_t i = st.iTarget; i < n; ++i) {
        double d2 = SegmentD2(route, i);
        if (d2 < fBest) {
          fBest = d2;
          st.iTarget = st.iNextPoint = st.iNextManeuver = uint32_t(i);
          MarkManeuver();
          if (m_pVoice) m_pVoice->ClearPendingPhrase();
          st.nState = nsOnRoute;
          m_fRecalcFailed = false;
        }
      }
      if (st.nState == nsOffRoute) {
        // Still off the route after a failed recalculation: it is tried
        // again once its time is due, while recalculating is still chosen.
        const bool fRetryDue = m_fRecalcFailed && !fRecalculated && m_pHost != nullptr &&
                               GetSetting(setting::RoutingOffRoute) == orvRecalculate &&
                               !(m_pHost->Now() - m_dRecalcFailedAt < c_dRecalcRetryDays);
        if (!fRetryDue || !Recalculate(route)) return;
        continue;
      }
    }
    // 2. Past the last point: arrived.
    if (st.iTarget >= n) {
      Finish();
      return;
    }
    // 3. Proximity: points within 5 m (a lone point within 20 m) are reached.
    while (st.iTarget < n) {
      const RoutePoint& t = route.points[st.iTarget];
      uint32_t d = RoundMetres(GetDistance(fix.fLon, fix.fLat, PointLon(t), PointLat(t)));
      st.nDistanceToTarget = d;
      if (d <= 5 || (n == 1 && d <= 20))
        ++st.iTarget;
      else
        break;
    }
    if (st.iTarget >= n) {
      Finish();
      return;
    }
    // 4. Passing: the course to the target leaves the arc around the way in.
    if (n > 1) {
      const size_t i = st.iTarget;
      const RoutePoint& t = route.points[i];
      float fBeta = GetCourse(fix.fLon, fix.fLat, PointLon(t), PointLat(t));
      bool fPassed = false;
      if (i == 0) {
        float c = SegmentCourse(route, 0);
        fPassed = !InArc(fBeta, c - 90.0f, 180.0f);
      } else if (i + 1 < n) {
        float fIn = SegmentCourse(route, i - 1);
        float fOut = SegmentCourse(route, i);
        float fCourseDiff = std::fmod(std::fabs(std::fmod(fIn + 180.0f, 360.0f) - fOut), 180.0f) / 2.0f;
        ASSERT(fCourseDiff <= 90.5f);
        if (fCourseDiff < 15.0f) fCourseDiff = 15.0f;
        fPassed = !InArc(fBeta, fIn - fCourseDiff, 2.0f * fCourseDiff);
      } else {
        // The last point: passed once the vehicle is beyond the line across
        // the last segment through the point (the course to it turned more
        // than 90° from the way in) while still within the corridor of the
        // route. A vehicle that stops short of the point or drives by far to
        // the side has not arrived.
        float fIn = SegmentCourse(route, i - 1);
        fPassed = st.nDistanceToTarget <= c_fOffRouteMetres && !InArc(fBeta, fIn - 90.0f, 180.0f);
      }
      if (fBeta == fBeta && fPassed) {
        ++st.iTarget;
        continue;
      }
    }
    // 5. The next significant point.
    if (st.iNextPoint < st.iTarget) st.iNextPoint = st.iTarget;
    {
      size_t j = st.iNextPoint;
      while (j < n && (route.points[j].btKind & rpkRouter) && !(route.points[j].btKind & rpkManeuver)) ++j;
      if (j < n) {
        st.iNextPoint = uint32_t(j);
        st.nTurnAtNext = GeometricTurnAt(route, j);
      } else {
        st.iNextPoint = uint32_t(n - 1);
      }
    }
    // 6. The next maneuver.
    if (st.iNextManeuver < st.iNextPoint) st.iNextManeuver = st.iNextPoint;
    {
      size_t j = st.iNextManeuver;
      while (j < n && (route.points[j].btKind & rpkRouter) && GetManeuverKind(route.points[j]) == mkNone) ++j;
      if (j >= n) {
        st.nManeuverKind = mkNone;
        st.iNextManeuver = st.iNextPoint;
      } else {
        const RoutePoint& m = route.points[j];
        st.iNextManeuver = uint32_t(j);
        st.nManeuverKind = GetManeuverKind(m);
        st.nManeuverParameter = m.btParameter;
        st.nManeuverAngle = m.nTurnAngle;
      }
      MarkManeuver();
    }
    // 7. Distances along the route.
    uint64_t nNext = uint64_t(st.nDistanceToTarget) + m_aCumMetres[st.iNextPoint] - m_aCumMetres[st.iTarget];
    uint64_t nManeuver = nNext + m_aCumMetres[st.iNextManeuver] - m_aCumMetres[st.iNextPoint];
    uint64_t nEnd = nNext + m_aCumMetres[n - 1] - m_aCumMetres[st.iNextPoint];
    auto Clamp = [](uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(v); };
    st.nDistanceToNext = Clamp(nNext);
    st.nDistanceToManeuver = Clamp(nManeuver);
    st.nDistanceToEnd = Clamp(nEnd);
    // 8. Leaving the route.
    if (st.iTarget > 0 && SegmentD2(route, st.iTarget) > fR2) {
      if (st.nState == nsOnRoute) PlayRouteEvent(reRouteOut);
      const RoutePoint& t = route.points[st.iTarget];
      if (GetSetting(setting::RoutingStyle) == 1 || !(t.btKind & rpkRouter)) {
        st.nState = nsOffRoute;
        continue;
      }
      DWORD dwOffRoute = GetSetting(setting::RoutingOffRoute);
      if (dwOffRoute == 0 || fRecalculated) {
        st.nState = nsOffRoute;
        continue;
      }
      // "Stop route guidance": leaving the route ends the navigation.
      if (dwOffRoute == orvStopGuidance) {
        End();
        return;
      }
      if (dwOffRoute != orvRecalculate) return;
      Recalculate(route);
      continue;
    }
    // 9. On the route.
    st.nTurnAtTarget = GeometricTurnAt(route, st.iTarget);
    st.nTargetSpeed = route.points[st.iTarget].btSpeed;
    st.nState = nsOnRoute;
    return;
  }
}

bool CGuidance::GetPointerTarget(int32_t& xStored, int32_t& yStored, bool fLast) const {
  xStored = yStored = 0;
  Route* pRoute = m_store.ActiveRoute();
  if (!pRoute) return false;
  if (pRoute->points.empty()) {
    ASSERT(false);
    return false;
  }
  const size_t n = pRoute->points.size();
  size_t i = fLast ? n - 1 : m_state.iTarget;
  if (i >= n) i = n - 1;
  if (!fLast && m_state.nState != nsOnRoute) {
    for (size_t c = 0; c < n; ++c) {
      size_t j = (i + c) % n;
      if (pRoute->points[j].pWaypoint) {
        i = j;
        break;
      }
    }
  }
  xStored = pRoute->points[i].GetX();
  yStored = pRoute->points[i].GetY();
  return true;
}
