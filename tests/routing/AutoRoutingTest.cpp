// Auto-routing over a map whose FindRoute is a fake: one straight road
// along y = 0 that a point reaches when it lies within 1000 m of it. The
// fake records every request, so the tests see what the settings put into
// it, the progress sub-ranges, and how a cancel or a failed leg ends.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "gps/GpsFix.h"
#include "map/RouteOptions.h"
#include "routing/AutoRouting.h"
#include "routing/RoutingSettings.h"
#include "settings/SettingsTable.h"
#include "store/WaypointStore.h"
#include "view/MapUnits.h"

namespace {

const int32_t c_nReach = MetresToMap(1000);

struct LegCall {
  MapPoint ptFrom;
  MapPoint ptTo;
  RouteOptions request;
  int32_t nFrom;
  int32_t nTo;
};

class CRoadParser : public CMapParser {
 public:
  bool Open(DWORD) override { return true; }
  void Draw(CDrawSink*, CLabelSink*) override {}
  void GetLabel(int, int, uint16_t, uint32_t, char16_t* pszOut, int*) override { pszOut[0] = 0; }

  bool FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress) override {
    calls.push_back({ptStart, ptEnd, *pOptions, pProgress->nFrom, pProgress->nTo});
    if (pProgress->pfnSetPos) pProgress->SetPos((pProgress->nFrom + pProgress->nTo) / 2);
    if (int(calls.size()) == iCancelAt && pProgress->pfCancel) *pProgress->pfCancel = true;
    if (pfnDuringSearch) pfnDuringSearch();
    if (cFailures > 0) {
      --cFailures;
      return false;
    }
    if (std::abs(ptStart.y) > c_nReach || std::abs(ptEnd.y) > c_nReach) return false;
    // On the road: the two ends dropped onto it and a turn half-way.
    RouterPoint a, m, b;
    a.x = ptStart.x * 2;
    b.x = ptEnd.x * 2;
    m.x = (a.x + b.x) / 2;
    m.btKind = c_rkTurn;
    m.strLabel = u"Main";
    m.nLink = 7;
    m.btSpeed = 60;
    m.nTurnAngle = 45;
    pOptions->points.push_back(a);
    pOptions->points.push_back(m);
    pOptions->points.push_back(b);
    return true;
  }

  std::vector<LegCall> calls;
  int iCancelAt = 0;   // the call (from 1) during which Cancel is pressed
  int cFailures = 0;   // calls that find nothing before the road is used
  std::function<void()> pfnDuringSearch;  // what the message loop does meanwhile
};

class CFakeProgress : public CRouteProgressUi {
 public:
  void Open(uint32_t idsText) override {
    ++cOpened;
    idsShown = idsText;
    fOpen = true;
    fCancel = false;
  }
  void Close() override {
    ++cClosed;
    fOpen = false;
  }
  void SetPos(int32_t nPos) override {
    EXPECT_TRUE(fOpen) << "progress while the window is closed";
    positions.push_back(nPos);
  }
  volatile bool* CancelFlag() override { return &fCancel; }

  int cOpened = 0;
  int cClosed = 0;
  uint32_t idsShown = 0;
  bool fOpen = false;
  volatile bool fCancel = false;
  std::vector<int32_t> positions;
};

// Map units to the route points' doubled units.
RoutePoint Via(int32_t x, int32_t y, Waypoint* pWaypoint = nullptr) {
  RoutePoint rp;
  rp.x = x * 2;
  rp.y = y * 2;
  rp.pWaypoint = pWaypoint;
  if (pWaypoint) {
    pWaypoint->x = rp.x;
    pWaypoint->y = rp.y;
    pWaypoint->AddRef();
  }
  return rp;
}

RoutePoint Made(int32_t x, int32_t y) {
  RoutePoint rp = Via(x, y);
  rp.btKind = c_rkPlain;
  return rp;
}

std::vector<std::pair<int32_t, int32_t>> Coordinates(const Route& route) {
  std::vector<std::pair<int32_t, int32_t>> v;
  for (const RoutePoint& rp : route.points) v.emplace_back(rp.GetX() / 2, rp.GetY() / 2);
  return v;
}

std::vector<uint8_t> Kinds(const Route& route) {
  std::vector<uint8_t> v;
  for (const RoutePoint& rp : route.points) v.push_back(rp.btKind);
  return v;
}

class AutoRoutingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseSettings();
    OpenSettings();
    ASSERT_NE(g_hkeySettings, nullptr);
    ResetAllSettings();
  }
  void TearDown() override {
    ResetAllSettings();
    CloseSettings();
  }

  CRoadParser m_parser;
  CMapParser* m_pParser = &m_parser;
  Route* m_pActive = nullptr;
  CFakeProgress m_progress;
  CAutoRouter m_router{&m_pParser, &m_pActive, &m_progress};
  Route m_route;
};

TEST_F(AutoRoutingTest, ViaPointsAreJoinedByTheLegsTheMapFinds) {
  m_route.points = {Via(1000, 0), Via(5000, 100), Via(9000, -100)};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  ASSERT_EQ(m_parser.calls.size(), 2u);
  EXPECT_EQ(m_parser.calls[0].ptFrom.x, 1000);
  EXPECT_EQ(m_parser.calls[0].ptTo.x, 5000);
  EXPECT_EQ(m_parser.calls[0].ptTo.y, 100) << "route points are halved to map units";
  EXPECT_EQ(m_parser.calls[1].ptFrom.x, 5000);
  EXPECT_EQ(m_parser.calls[1].ptTo.x, 9000);
  // via 0, three leg points, via 1, three leg points, via 2
  std::vector<uint8_t> expected = {rpkVia, c_rkPlain, c_rkTurn, c_rkPlain, rpkVia,
                                   c_rkPlain, c_rkTurn, c_rkPlain, rpkVia};
  EXPECT_EQ(Kinds(m_route), expected);
  EXPECT_EQ(Coordinates(m_route)[2], std::make_pair(3000, 0));
  // What the router knew of its points is kept.
  const RoutePoint& turn = m_route.points[2];
  EXPECT_EQ(turn.strLabel, u"Main");
  EXPECT_EQ(turn.nLink, 7);
  EXPECT_EQ(turn.btSpeed, 60);
  EXPECT_EQ(turn.pWaypoint, nullptr);
  // The route was recomputed: its bounds hold the new points.
  EXPECT_EQ(m_route.rcBounds.left, 1000);
  EXPECT_EQ(m_route.rcBounds.right, 9000);
  // One progress window for the whole route, with the calculation's text.
  EXPECT_EQ(m_progress.cOpened, 1);
  EXPECT_EQ(m_progress.cClosed, 1);
  EXPECT_EQ(m_progress.idsShown, 2044u);
}

TEST_F(AutoRoutingTest, EachLegHasItsShareOfTheProgressRange) {
  m_route.points = {Via(0, 0), Via(1000, 0), Via(2000, 0), Via(3000, 0)};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  ASSERT_EQ(m_parser.calls.size(), 3u);
  EXPECT_EQ(m_parser.calls[0].nFrom, 0);
  EXPECT_EQ(m_parser.calls[0].nTo, 33);
  EXPECT_EQ(m_parser.calls[1].nFrom, 33);
  EXPECT_EQ(m_parser.calls[1].nTo, 66);
  EXPECT_EQ(m_parser.calls[2].nFrom, 66);
  EXPECT_EQ(m_parser.calls[2].nTo, 100);
  // The map's own reports reach the window, and the bar ends full.
  ASSERT_FALSE(m_progress.positions.empty());
  EXPECT_EQ(m_progress.positions.front(), 16);
  EXPECT_EQ(m_progress.positions.back(), 100);
}

TEST_F(AutoRoutingTest, StraightStyleKeepsExactlyTheThreeViaPoints) {
  SetDword(u"RoutingStyle", 1);
  m_route.points = {Via(0, 0), Made(500, 0), Via(1000, 0), Made(1500, 0), Made(1700, 0), Via(2000, 0)};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrStraight);
  EXPECT_TRUE(m_parser.calls.empty()) << "no road calculation with straight lines";
  ASSERT_EQ(m_route.points.size(), 3u);
  EXPECT_EQ(Kinds(m_route), (std::vector<uint8_t>{rpkVia, rpkVia, rpkVia}));
  EXPECT_EQ(Coordinates(m_route)[1], std::make_pair(1000, 0));
  EXPECT_EQ(m_progress.cOpened, 0);
  // Neither the start from the position nor a recalculation calculate anything.
  EXPECT_FALSE(m_router.CalculateFromPosition(m_route, 0.001, 0.0, nullptr));
  EXPECT_FALSE(m_router.Recalculate(m_route, 0.001, 0.0, 1, 0, nullptr));
  EXPECT_TRUE(m_parser.calls.empty());
  EXPECT_EQ(m_route.points.size(), 3u);
}

TEST_F(AutoRoutingTest, OptimisationThreeAsksForTheShortestRouteAndZeroForTheFastest) {
  m_route.points = {Via(0, 0), Via(1000, 0)};
  SetDword(u"RoutingOptimization", 3);
  m_router.CalculateRoute(m_route);
  SetDword(u"RoutingOptimization", 0);
  m_router.CalculateRoute(m_route);
  ASSERT_EQ(m_parser.calls.size(), 2u);
  EXPECT_EQ(m_parser.calls[0].request.fTimeBased, 0);
  EXPECT_EQ(m_parser.calls[1].request.fTimeBased, 1);
}

TEST_F(AutoRoutingTest, EveryLegTakesTheSettingsOfTheMomentAndAFreshPointList) {
  SetDword(u"RoutingVehicle", 0);
  SetBool(u"RoutingAvoidTollRoads", true);
  SetBool(u"RoutingAvoidUTurns", false);
  m_route.points = {Via(0, 0), Via(1000, 0), Via(2000, 0)};
  m_router.CalculateRoute(m_route);
  ASSERT_EQ(m_parser.calls.size(), 2u);
  for (const LegCall& call : m_parser.calls) {
    EXPECT_EQ(call.request.nVehicle, 0);
    EXPECT_EQ(call.request.fAvoidTolls, 1);
    EXPECT_EQ(call.request.fAvoidUTurns, 0);
    EXPECT_EQ(call.request.fAvoidUnpaved, 1);
    EXPECT_EQ(call.request.fAvoidHighways, 0);
    EXPECT_TRUE(call.request.points.empty()) << "a leg starts from an empty list";
    EXPECT_FALSE(call.request.fMotionValid) << "legs between via points know no movement";
  }
}

TEST_F(AutoRoutingTest, ALegToAPointFarFromAnyRoadIsAStraightLineAndTheOthersFollowRoads) {
  int32_t nFar = c_nReach + MetresToMap(10);  // 1010 m off the road
  m_route.points = {Via(0, 0), Via(4000, 0), Via(8000, nFar)};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  std::vector<uint8_t> expected = {rpkVia, c_rkPlain, c_rkTurn, c_rkPlain, rpkVia, rpkVia};
  EXPECT_EQ(Kinds(m_route), expected);
  EXPECT_EQ(Coordinates(m_route).back(), std::make_pair(8000, nFar));
  // Just within reach, the same leg follows the road.
  m_route.points = {Via(0, 0), Via(4000, 0), Via(8000, c_nReach - MetresToMap(10))};
  m_router.CalculateRoute(m_route);
  EXPECT_EQ(m_route.points.size(), 9u);
}

TEST_F(AutoRoutingTest, CancelDuringALegKeepsTheOldPointsAndCallsNoFurtherLeg) {
  m_route.points = {Via(0, 0), Made(10, 0), Via(1000, 0), Via(2000, 0), Via(3000, 0)};
  auto before = Coordinates(m_route);
  auto kinds = Kinds(m_route);
  m_parser.iCancelAt = 2;
  EXPECT_EQ(m_router.CalculateRoute(m_route), rcrCancelled);
  EXPECT_EQ(m_parser.calls.size(), 2u);
  EXPECT_EQ(Coordinates(m_route), before);
  EXPECT_EQ(Kinds(m_route), kinds);
  EXPECT_EQ(m_progress.cOpened, 1);
  EXPECT_EQ(m_progress.cClosed, 1);
  // The next calculation starts without the old cancel.
  m_parser.iCancelAt = 0;
  EXPECT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  EXPECT_EQ(m_route.points.size(), 4u + 3 * 3);
}

TEST_F(AutoRoutingTest, NothingIsCalculatedWithoutAMapOrViaPointsOrForTheRouteUnderGuidance) {
  m_route.points = {Made(0, 0), Made(1000, 0)};
  EXPECT_EQ(m_router.CalculateRoute(m_route), rcrNothing);
  EXPECT_EQ(m_route.points.size(), 2u);

  m_route.points = {Via(0, 0), Via(1000, 0)};
  m_pActive = &m_route;
  EXPECT_EQ(m_router.CalculateRoute(m_route), rcrNothing);
  m_pActive = nullptr;

  m_pParser = nullptr;
  EXPECT_EQ(m_router.CalculateRoute(m_route), rcrNothing);
  EXPECT_FALSE(m_router.CalculateFromPosition(m_route, 0.0, 0.0, nullptr));
  EXPECT_FALSE(m_router.Recalculate(m_route, 0.0, 0.0, 1, 0, nullptr));
  EXPECT_EQ(m_route.points.size(), 2u);
  EXPECT_TRUE(m_parser.calls.empty());
  EXPECT_EQ(m_progress.cOpened, 0);
}

TEST_F(AutoRoutingTest, WaypointsKeepTheirReferenceCountsThroughCalculations) {
  Waypoint a, b, c;
  m_route.points = {Via(0, 0, &a), Via(1000, 0, &b), Via(2000, 0, &c)};
  m_route.points.insert(m_route.points.begin() + 1, Made(500, 0));
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  EXPECT_EQ(a.cRoutePoints, 1u);
  EXPECT_EQ(b.cRoutePoints, 1u);
  EXPECT_EQ(c.cRoutePoints, 1u);
  EXPECT_EQ(m_route.points.front().pWaypoint, &a);
  EXPECT_EQ(m_route.points.back().pWaypoint, &c);
  // A recalculation that drops the passed points drops their references.
  ASSERT_TRUE(m_router.Recalculate(m_route, MapToDegrees(1500), 0.0, m_route.points.size() - 1, 0, nullptr));
  EXPECT_EQ(a.cRoutePoints, 0u);
  EXPECT_EQ(b.cRoutePoints, 0u);
  EXPECT_EQ(c.cRoutePoints, 1u);
}

TEST_F(AutoRoutingTest, StartingFromThePositionPutsItFirstAndTheOldRouteAfterTheLeg) {
  m_route.points = {Via(2000, 0), Made(2500, 0), Via(3000, 0)};
  GpsFix fix;
  fix.Start();
  fix.SetPosition(float(MapToDegrees(100)), 0.0f);
  fix.SetCourse(90.0f);
  fix.SetSpeed(36.0f);
  ASSERT_TRUE(m_router.CalculateFromPosition(m_route, MapToDegrees(100), 0.0, &fix));
  ASSERT_EQ(m_parser.calls.size(), 1u);
  EXPECT_EQ(m_parser.calls[0].ptFrom.x, 100);
  EXPECT_EQ(m_parser.calls[0].ptTo.x, 2000);
  EXPECT_TRUE(m_parser.calls[0].request.fMotionValid);
  EXPECT_FLOAT_EQ(float(m_parser.calls[0].request.dCourse), 90.0f);
  EXPECT_FLOAT_EQ(float(m_parser.calls[0].request.dSpeedKmh), 36.0f);
  // position, the leg's three points, then the old route from via point 0
  std::vector<uint8_t> expected = {c_rkPlain, c_rkPlain, c_rkTurn, c_rkPlain, rpkVia, c_rkPlain, rpkVia};
  EXPECT_EQ(Kinds(m_route), expected);
  EXPECT_EQ(Coordinates(m_route)[0], std::make_pair(100, 0));
  EXPECT_EQ(Coordinates(m_route)[4], std::make_pair(2000, 0));
  EXPECT_EQ(m_progress.cOpened, 1);
  EXPECT_EQ(m_progress.cClosed, 1);
}

TEST_F(AutoRoutingTest, StartingFromThePositionDropsThePointsBeforeTheFirstViaPoint) {
  m_route.points = {Made(0, 0), Made(500, 0), Via(2000, 0), Via(3000, 0)};
  ASSERT_TRUE(m_router.CalculateFromPosition(m_route, MapToDegrees(1000), 0.0, nullptr));
  EXPECT_EQ(m_parser.calls[0].ptTo.x, 2000);
  EXPECT_FALSE(m_parser.calls[0].request.fMotionValid);
  EXPECT_EQ(Kinds(m_route), (std::vector<uint8_t>{c_rkPlain, c_rkPlain, c_rkTurn, c_rkPlain, rpkVia, rpkVia}));
  // A fix without a course gives no movement.
  GpsFix fix;
  fix.Start();
  fix.SetPosition(0.0f, 0.0f);
  fix.SetSpeed(50.0f);
  m_router.CalculateFromPosition(m_route, MapToDegrees(1000), 0.0, &fix);
  EXPECT_FALSE(m_parser.calls.back().request.fMotionValid);
}

TEST_F(AutoRoutingTest, StartingFromAPositionFarFromRoadsOrCancelledLeavesTheRouteAlone) {
  m_route.points = {Via(2000, 0), Via(3000, 0)};
  auto before = Coordinates(m_route);
  EXPECT_FALSE(m_router.CalculateFromPosition(m_route, 0.0, MapToDegrees(c_nReach * 2), nullptr));
  EXPECT_EQ(Coordinates(m_route), before);
  m_parser.iCancelAt = 2;
  EXPECT_FALSE(m_router.CalculateFromPosition(m_route, 0.0, 0.0, nullptr));
  EXPECT_EQ(Coordinates(m_route), before);
  EXPECT_EQ(m_progress.cOpened, m_progress.cClosed);
}

TEST_F(AutoRoutingTest, RecalculationKeepsThePassedPointsAndTriesAFailedLegOnceMore) {
  m_route.points = {Via(0, 0), Made(1000, 0), Made(2000, 0), Via(3000, 0), Made(3500, 0), Via(4000, 0)};
  m_parser.cFailures = 1;
  ASSERT_TRUE(m_router.Recalculate(m_route, MapToDegrees(1500), MapToDegrees(200), 3, 2, nullptr));
  ASSERT_EQ(m_parser.calls.size(), 2u) << "the failed leg is tried once more";
  EXPECT_EQ(m_parser.calls[1].ptTo.x, 3000);
  auto pts = Coordinates(m_route);
  // kept 0..1, the position, the leg's three points, then points 3..5
  ASSERT_EQ(pts.size(), 2u + 1 + 3 + 3);
  EXPECT_EQ(pts[1], std::make_pair(1000, 0));
  EXPECT_EQ(pts[2], std::make_pair(1500, 200));
  EXPECT_EQ(m_route.points[2].btKind, c_rkPlain);
  EXPECT_EQ(pts[6], std::make_pair(3000, 0));
  EXPECT_EQ(pts.back(), std::make_pair(4000, 0));
}

TEST_F(AutoRoutingTest, RecalculationThatFailsTwiceOrIsCancelledChangesNothing) {
  m_route.points = {Via(0, 0), Made(1000, 0), Via(3000, 0)};
  auto before = Coordinates(m_route);
  m_parser.cFailures = 2;
  EXPECT_FALSE(m_router.Recalculate(m_route, 0.0, 0.0, 2, 1, nullptr));
  EXPECT_EQ(m_parser.calls.size(), 2u);
  EXPECT_EQ(Coordinates(m_route), before);
  EXPECT_EQ(m_progress.cOpened, m_progress.cClosed);
  m_parser.iCancelAt = 3;
  EXPECT_FALSE(m_router.Recalculate(m_route, 0.0, 0.0, 2, 1, nullptr));
  EXPECT_EQ(Coordinates(m_route), before);
  // Indices outside the route are refused, not read.
  EXPECT_FALSE(m_router.Recalculate(m_route, 0.0, 0.0, 3, 0, nullptr));
  EXPECT_FALSE(m_router.Recalculate(m_route, 0.0, 0.0, 1, 2, nullptr));
  EXPECT_EQ(Coordinates(m_route), before);
}

TEST_F(AutoRoutingTest, ACalculationAskedForWhileOneRunsIsRefusedAndChangesNothing) {
  Route other;
  other.points = {Via(0, 0), Via(500, 0)};
  m_route.points = {Via(0, 0), Via(1000, 0), Via(2000, 0)};
  std::vector<int> results;
  // The progress window lets messages through: a command may arrive then.
  m_parser.pfnDuringSearch = [&] {
    results.push_back(m_router.CalculateRoute(other));
    results.push_back(m_router.Recalculate(m_route, 0.0, 0.0, 1, 0, nullptr));
    results.push_back(m_router.CalculateFromPosition(other, 0.0, 0.0, nullptr));
  };
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  EXPECT_EQ(results, (std::vector<int>{rcrNothing, 0, 0, rcrNothing, 0, 0}));
  EXPECT_EQ(m_parser.calls.size(), 2u) << "only the running calculation searched";
  EXPECT_EQ(other.points.size(), 2u);
  EXPECT_EQ(m_route.points.size(), 9u);
  EXPECT_FALSE(m_router.IsBusy());
}

// The routing-time gauge hears every calculation that ran (cancelled ones
// too: their time was spent), and nothing for one that never started.
std::vector<uint32_t> g_aHeardMs;
void HearRouteTime(uint32_t dwMs) { g_aHeardMs.push_back(dwMs); }

TEST_F(AutoRoutingTest, EveryCalculationThatRanIsTimedForTheListener) {
  g_aHeardMs.clear();
  SetRouteTimeListener(HearRouteTime);
  m_route.points = {Via(1000, 0), Via(5000, 100)};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  ASSERT_EQ(g_aHeardMs.size(), 1u);
  EXPECT_EQ(g_aHeardMs[0], m_router.GetLastElapsedMs());
  m_route.points = {Via(2000, 0), Made(2500, 0), Via(3000, 0)};
  ASSERT_TRUE(m_router.CalculateFromPosition(m_route, MapToDegrees(100), 0.0, nullptr));
  EXPECT_EQ(g_aHeardMs.size(), 2u);
  ASSERT_TRUE(m_router.Recalculate(m_route, MapToDegrees(100), 0.0, m_route.points.size() - 1, 0, nullptr));
  EXPECT_EQ(g_aHeardMs.size(), 3u);
  // Refused before it starts: no map.
  m_pParser = nullptr;
  EXPECT_EQ(m_router.CalculateRoute(m_route), rcrNothing);
  EXPECT_EQ(g_aHeardMs.size(), 3u);
  SetRouteTimeListener(nullptr);
  m_pParser = &m_parser;
  m_route.points = {Via(1000, 0), Via(5000, 100)};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  EXPECT_EQ(g_aHeardMs.size(), 3u) << "a removed listener hears nothing";
}

}  // namespace
