// Auto-routing over real maps: small road networks written with the map
// writer and searched by the native map's route search, so that the
// settings reach the search and the search's answers shape the route.
#include <gtest/gtest.h>

#include <memory>

#include "routing/AutoRouting.h"
#include "settings/SettingsTable.h"
#include "store/WaypointStore.h"
#include "tests/map/RouteTestNet.h"

using namespace routetest;

namespace {

const uint16_t c_wSlow = 0 | (3 << 3);  // 5 km/h
const uint16_t c_wFast = 7 | (3 << 3);  // 140 km/h

RoutePoint Via(const MapPoint& pt) {
  RoutePoint rp;
  rp.x = pt.x * 2;
  rp.y = pt.y * 2;
  return rp;
}

bool Passes(const Route& route, const MapPoint& pt) {
  for (const RoutePoint& rp : route.points)
    if ((rp.GetX() >> 1) == pt.x && (rp.GetY() >> 1) == pt.y) return true;
  return false;
}

class RoutingOnMapTest : public ::testing::Test {
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
  // The map the router searches; opened from the network.
  void OpenMap(const CNet& net) {
    m_pMap.reset(net.Open());
    ASSERT_TRUE(m_pMap);
    m_pParser = m_pMap.get();
  }

  std::unique_ptr<CVelParser> m_pMap;
  CMapParser* m_pParser = nullptr;
  CAutoRouter m_router{&m_pParser, nullptr, nullptr};
  Route m_route;
};

// Between two access roads: a slow straight road of 2000 m, and a fast road
// round it of 3200 m.
TEST_F(RoutingOnMapTest, OptimisationThreeTakesTheShortRoadAndZeroTheFastOne) {
  CNet net;
  int w = net.Node(-200, 0), s = net.Node(0, 0), d = net.Node(2000, 0), e = net.Node(2200, 0);
  net.Road(u"West", {w, s});
  net.Road(u"East", {d, e});
  net.Road(u"Slow", {s, d}, c_wSlow);
  int corner = net.Plain(0, 600);
  net.Road(u"Fast", {s, corner, net.Plain(2000, 600), d}, c_wFast);
  OpenMap(net);
  MapPoint ptCorner = net.plain[size_t(-1 - corner)];

  SetDword(u"RoutingOptimization", 3);
  m_route.points = {Via(net.At(-100, 5)), Via(net.At(2100, 5))};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  EXPECT_FALSE(Passes(m_route, ptCorner)) << "length-based: along the short slow road";
  float fShort = GetRouteLength(m_route);
  EXPECT_NEAR(fShort, 2200, 20);

  SetDword(u"RoutingOptimization", 0);
  m_route.points = {Via(net.At(-100, 5)), Via(net.At(2100, 5))};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  EXPECT_TRUE(Passes(m_route, ptCorner)) << "time-based: round by the fast road";
  EXPECT_GT(GetRouteLength(m_route), fShort + 1000);
}

TEST_F(RoutingOnMapTest, ALegToAPointMoreThanAKilometreFromAnyRoadIsStraight) {
  CNet net;
  int a = net.Node(0, 0), b = net.Node(2000, 0);
  net.Road(u"Main", {a, net.Plain(1000, 0), b});
  OpenMap(net);
  MapPoint far = net.At(1900, -1100);
  m_route.points = {Via(net.At(100, 5)), Via(net.At(1900, 5)), Via(far)};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  const std::vector<RoutePoint> pts = m_route.points;
  ASSERT_GE(pts.size(), 5u);
  // The first leg follows the road (through its middle point), the last is
  // the straight line from via point 1 to via point 2.
  EXPECT_TRUE(Passes(m_route, net.plain[0]));
  EXPECT_EQ(pts[pts.size() - 2].btKind, rpkVia);
  EXPECT_EQ(pts.back().btKind, rpkVia);
  EXPECT_EQ(pts.back().GetY() >> 1, far.y);
  for (size_t i = 1; i + 2 < pts.size(); ++i) EXPECT_EQ(pts[i].btKind & rpkRouter, rpkRouter) << i;

  // Within a kilometre the same leg follows the road.
  m_route.points = {Via(net.At(100, 5)), Via(net.At(1900, 5)), Via(net.At(1000, -900))};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  EXPECT_GT(m_route.points.size(), pts.size());
}

// Two ways between the same crossings: a short path closed to cars and a
// detour; access roads at both ends.
TEST_F(RoutingOnMapTest, ThePedestrianOfTheSettingsTakesThePathClosedToCars) {
  CNet net;
  int w = net.Node(-200, 0), s = net.Node(0, 0), d = net.Node(1000, 0), e = net.Node(1200, 0);
  net.Road(u"West", {w, s});
  net.Road(u"East", {d, e});
  net.Road(u"Path", {s, net.Plain(500, 0), d}, c_wPlain | c_wNoCar);
  int detour = net.Plain(0, 400);
  net.Road(u"Detour", {s, detour, net.Plain(1000, 400), d});
  OpenMap(net);
  MapPoint ptDetour = net.plain[size_t(-1 - detour)];

  m_route.points = {Via(net.At(-100, 5)), Via(net.At(1100, 5))};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  EXPECT_TRUE(Passes(m_route, ptDetour)) << "the car goes round";

  SetDword(u"RoutingVehicle", 0);
  m_route.points = {Via(net.At(-100, 5)), Via(net.At(1100, 5))};
  ASSERT_EQ(m_router.CalculateRoute(m_route), rcrDone);
  EXPECT_FALSE(Passes(m_route, ptDetour)) << "the pedestrian walks the path";
  EXPECT_TRUE(Passes(m_route, net.plain[0]));
  EXPECT_NEAR(GetRouteLength(m_route), 1200, 20);
}

}  // namespace
