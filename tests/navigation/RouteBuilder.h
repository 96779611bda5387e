// Routes for guidance tests, laid out in metres east and north of a point
// in Moscow, with router-like points (maneuver flags, angles, exits).
#pragma once
#include <cmath>
#include <string>
#include <vector>

#include "navigation/Guidance.h"
#include "store/WaypointStore.h"

namespace navtest {

const double c_fLat0 = 55.75, c_fLon0 = 37.60;
const double c_fMetresPerDegree = 111195.0;

inline double LatOf(double fNorth) { return c_fLat0 + fNorth / c_fMetresPerDegree; }
inline double LonOf(double fEast) {
  return c_fLon0 + fEast / (c_fMetresPerDegree * std::cos(c_fLat0 * 3.14159265358979 / 180.0));
}

inline GuidanceFix FixAt(double fEast, double fNorth) {
  GuidanceFix fix;
  fix.fPosition = true;
  fix.fLon = float(LonOf(fEast));
  fix.fLat = float(LatOf(fNorth));
  return fix;
}

inline RoutePoint PointAt(double fEast, double fNorth, uint8_t btKind = rpkVia, int32_t nAngle = 0,
                          uint8_t btParameter = 0) {
  RoutePoint rp;
  rp.x = DegreesToStored(LonOf(fEast));
  rp.y = DegreesToStored(LatOf(fNorth));
  rp.btKind = btKind;
  rp.nTurnAngle = nAngle;
  rp.btParameter = btParameter;
  return rp;
}

const uint8_t c_btRoad = rpkRouter;                     // a plain road point
const uint8_t c_btTurn = rpkRouter | rpkManeuver;       // a maneuver
const uint8_t c_btKeep = rpkRouter | rpkManeuver | rpkKeep;
const uint8_t c_btRound = rpkRouter | rpkManeuver | rpkRoundaboutEntry;

// A route in the store with the given points; the stored angles are kept
// (the store's recompute would replace them with geometric ones).
inline Route* AddRoute(CWaypointStore& store, const std::vector<RoutePoint>& points, const char16_t* pszName = u"R") {
  Route* pRoute = store.NewRoute(0, pszName);
  pRoute->points = points;
  RecomputeBounds(*pRoute);
  return pRoute;
}

// Records what guidance asks of the program.
struct CFakeHost : CGuidanceHost {
  int cSaves = 0, cRecalculations = 0, cStarted = 0, cEnded = 0;
  int cFailRecalculations = 0;  // the first this many fail
  std::vector<size_t> aRecalcVia, aRecalcPassed;
  double dNow = 0;  // days
  void SaveStore() override { ++cSaves; }
  double Now() override { return dNow; }
  // Like auto-routing's recalculation: the points before the passed index,
  // a point at the position, a straight road leg to the via point, then
  // the via point and the rest.
  bool Recalculate(Route& route, float fLon, float fLat, size_t iVia, size_t iPassed) override {
    ++cRecalculations;
    aRecalcVia.push_back(iVia);
    aRecalcPassed.push_back(iPassed);
    if (cRecalculations <= cFailRecalculations) return false;
    std::vector<RoutePoint> a(route.points.begin(), route.points.begin() + ptrdiff_t(iPassed));
    RoutePoint rp;
    rp.x = DegreesToStored(fLon);
    rp.y = DegreesToStored(fLat);
    rp.btKind = 0;
    a.push_back(rp);
    a.insert(a.end(), route.points.begin() + ptrdiff_t(iVia), route.points.end());
    route.points = a;
    return true;
  }
  void OnNavigationChanged(bool fRunning) override { ++(fRunning ? cStarted : cEnded); }
};

// Records the voice requests of guidance without any announce step.
struct CFakeVoice : CGuidanceVoice {
  std::vector<RouteEventKind> aEvents;
  int cClearPending = 0, cCuts = 0, cAnnounceSteps = 0;
  void PlayRouteEvent(RouteEventKind ev) override { aEvents.push_back(ev); }
  void ClearPendingPhrase() override { ++cClearPending; }
  void CutManeuverPhrases() override { ++cCuts; }
  void AnnounceStep(const CGuidanceReadView&, const GuidanceFix&) override { ++cAnnounceSteps; }
};

}  // namespace navtest
