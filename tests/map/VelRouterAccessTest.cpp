// Roads as a car may use them: roads kept to the ends of a route
// (access=destination, private...) and unpaved roads under "avoid unpaved"
// may begin and end a route but never carry it through; barrier nodes cut
// a road for the vehicles they stop; a point snaps only to a road the
// vehicle may use, and a road that leads nowhere gives way to the next one.
#include <gtest/gtest.h>

#include <memory>

#include "tests/map/RouteTestNet.h"

using namespace routetest;

namespace {

const uint8_t c_btCarEnds = 0x04;  // the car's bit among the vehicle bits >> 8
const uint16_t c_wUnpavedType = 10;

std::unique_ptr<CVelParser> OpenNet(const CNet& net) { return std::unique_ptr<CVelParser>(net.Open()); }

bool Route(CVelParser& p, const MapPoint& a, const MapPoint& b, RouteOptions& o) {
  return p.FindRoute(a, b, &o, nullptr);
}

// A square whose south side is the short way from the west side to the
// east side, and a long way round by the north:
//
//   c ------------ d          (0,300) .. (300,300)
//   |              |
//   a -- south --- b          (0,0) .. (300,0)
//
// The south side is made a road kept to the ends (or unpaved); the west
// and east sides and the north are plain streets.
struct Square {
  CNet net;
  int a, b, c, d;
  Square(uint8_t btThrough, uint16_t wSouthType, uint8_t btFlags = 0) {
    a = net.Node(0, 0), b = net.Node(300, 0), c = net.Node(0, 300), d = net.Node(300, 300);
    VelObject& south = net.Road(u"South", {a, b}, c_wPlain, wSouthType);
    south.btRoadThrough = btThrough;
    south.btRoadFlags = btFlags;
    net.Road(u"West", {a, c});
    net.Road(u"North", {c, d});
    net.Road(u"East", {d, b});
  }
};

TEST(RouteAccess, RoadsKeptToTheEndsBeginAndEndRoutesButCarryNoneThrough) {
  Square sq(c_btCarEnds, 6);
  auto p = OpenNet(sq.net);
  ASSERT_TRUE(p);
  // West side to east side: round by the north (200 + 300 + 200 = 700 m),
  // not along the south side (100 + 300 + 100 = 500 m).
  RouteOptions through = Car();
  ASSERT_TRUE(Route(*p, sq.net.At(3, 100), sq.net.At(303, 100), through));
  EXPECT_NEAR(RouteMetres(through), 700, 5);
  EXPECT_FALSE(Passes(through, sq.net.nodes[size_t(sq.a)]));
  // Starting on it, ending on it, both: the short ways.
  RouteOptions from = Car();
  ASSERT_TRUE(Route(*p, sq.net.At(100, 3), sq.net.At(303, 100), from));
  EXPECT_NEAR(RouteMetres(from), 200 + 100, 5);
  RouteOptions to = Car();
  ASSERT_TRUE(Route(*p, sq.net.At(3, 100), sq.net.At(200, 3), to));
  EXPECT_NEAR(RouteMetres(to), 100 + 200, 5);
  // A walker is not kept to the ends.
  RouteOptions walk = Car();
  walk.nVehicle = rvPedestrian;
  ASSERT_TRUE(Route(*p, sq.net.At(3, 100), sq.net.At(303, 100), walk));
  EXPECT_NEAR(RouteMetres(walk), 500, 5);
}

// From a private road onto the streets and into another private road is a
// route (ends), but out of one private road through a second one that is
// neither start nor end is not.
TEST(RouteAccess, AnEndRunMayNotBeLeftAndEnteredAgain) {
  CNet net;
  int a = net.Node(0, 0), b = net.Node(300, 0), c = net.Node(600, 0), d = net.Node(900, 0);
  int n1 = net.Node(300, 500), n2 = net.Node(900, 500);
  net.Road(u"Private1", {a, b}).btRoadThrough = c_btCarEnds;
  net.Road(u"Street1", {b, c});
  net.Road(u"Private2", {c, d}).btRoadThrough = c_btCarEnds;
  net.Road(u"Street2", {d, n2});
  net.Road(u"Street3", {n2, n1});
  net.Road(u"Street4", {n1, b});
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  // Private1 -> Street1 -> Private2: the two end runs.
  RouteOptions ends = Car();
  ASSERT_TRUE(Route(*p, net.At(100, 3), net.At(800, 3), ends));
  EXPECT_NEAR(RouteMetres(ends), 200 + 300 + 200, 5);
  // From Street1 to Street2 near d: not through Private2 (200 + 300 + 100),
  // but back round by n1 and n2 (100 + 500 + 600 + 400).
  RouteOptions round = Car();
  ASSERT_TRUE(Route(*p, net.At(400, 3), net.At(903, 100), round));
  EXPECT_NEAR(RouteMetres(round), 100 + 500 + 600 + 400, 5);
}

// With "avoid unpaved" (the program's default) an unpaved road is avoided
// in the middle of a route, but a start or destination on one still has a
// route: the point is driven to the paved roads along it.
TEST(RouteAccess, AvoidUnpavedKeepsUnpavedRoadsToTheEnds) {
  for (int nKind = 0; nKind < 2; ++nKind) {
    SCOPED_TRACE(nKind ? "unpaved flag" : "unpaved type");
    Square sq(0, nKind ? 6 : c_wUnpavedType, nKind ? vel::c_btAccessUnpaved : 0);
    auto p = OpenNet(sq.net);
    ASSERT_TRUE(p);
    RouteOptions avoid = Car();
    avoid.fAvoidUnpaved = 1;
    ASSERT_TRUE(Route(*p, sq.net.At(3, 100), sq.net.At(303, 100), avoid));
    EXPECT_NEAR(RouteMetres(avoid), 700, 5);
    RouteOptions start = Car();
    start.fAvoidUnpaved = 1;
    ASSERT_TRUE(Route(*p, sq.net.At(100, 3), sq.net.At(303, 200), start));
    EXPECT_NEAR(RouteMetres(start), 200 + 200, 5);
    RouteOptions plain = Car();
    ASSERT_TRUE(Route(*p, sq.net.At(3, 100), sq.net.At(303, 100), plain));
    EXPECT_NEAR(RouteMetres(plain), 500, 5);
  }
}

// A town whose start lies on an unpaved lane that joins the paved streets
// only through more unpaved lanes (the case where a route across a town
// was "no road route found" under the default options).
TEST(RouteAccess, StartOnAnUnpavedLaneBehindOtherUnpavedLanesStillRoutes) {
  CNet net;
  int a = net.Node(0, 0), b = net.Node(200, 0), c = net.Node(400, 0), d = net.Node(400, 400), e = net.Node(1400, 400);
  net.Road(u"Lane1", {a, b}, c_wPlain, c_wUnpavedType);
  net.Road(u"Lane2", {b, c}, c_wPlain, c_wUnpavedType);
  net.Road(u"Lane3", {b, net.Node(200, -300)}, c_wPlain, c_wUnpavedType);
  net.Road(u"Main", {c, d, e});
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  RouteOptions o = Car(true);
  o.fAvoidUnpaved = 1;
  o.fAvoidUTurns = 1;
  ASSERT_TRUE(Route(*p, net.At(50, 3), net.At(1300, 403), o));
  EXPECT_NEAR(RouteMetres(o), 150 + 200 + 400 + 900, 5);
}

TEST(RouteAccess, BarrierNodeCutsTheRoadForCarsOnly) {
  Square sq(0, 6);
  // A bollard in the middle of the south side.
  CNet& net = sq.net;
  net.roads[0].points.insert(net.roads[0].points.begin() + 1, net.At(150, 0));
  const int nBollard = net.Node(150, 0);
  net.roads[0].nodeIndex.insert(net.roads[0].nodeIndex.begin() + 1, nBollard);
  net.barriers.push_back(VelBarrierInput{uint32_t(nBollard), 0x0400 | 0x0800 | 0x1000 | 0x0100 | 0x0200 | 0x8000});
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  RouteOptions car = Car();
  ASSERT_TRUE(Route(*p, sq.net.At(3, 100), sq.net.At(303, 100), car));
  EXPECT_NEAR(RouteMetres(car), 700, 5);
  // From beside the bollard: out by the west side, not through it.
  RouteOptions near = Car();
  ASSERT_TRUE(Route(*p, sq.net.At(100, 3), sq.net.At(303, 100), near));
  EXPECT_NEAR(RouteMetres(near), 100 + 300 + 300 + 200, 5);
  RouteOptions bike = Car();
  bike.nVehicle = rvBicycle;
  ASSERT_TRUE(Route(*p, sq.net.At(3, 100), sq.net.At(303, 100), bike));
  EXPECT_NEAR(RouteMetres(bike), 500, 5);
}

// The nearest road is a one-way street that leaves the map: the start is
// taken to the next road instead, and the same for a destination on a
// one-way street that comes in from outside.
TEST(RouteAccess, ARoadThatLeadsNowhereGivesWayToTheNextRoad) {
  CNet net;
  int a = net.Node(0, 0), b = net.Node(1000, 0), c = net.Node(0, 40), d = net.Node(-500, 40);
  int e = net.Node(1000, 40), f = net.Node(1500, 40);
  net.Road(u"Street", {a, b});
  net.Road(u"Out", {c, d}, c_wPlain | c_wOneWay);  // ends at the edge of the map
  net.Road(u"In", {f, e}, c_wPlain | c_wOneWay);   // comes in from it
  net.Road(u"Link", {a, c});
  net.Road(u"Link2", {b, e});
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  // Start 5 m from Out (and 35 m from Street), destination 5 m from In:
  // out along Out there is no way, nor into In from the map.
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(-100, 35), net.At(1200, 35), o));
  EXPECT_NEAR(RouteMetres(o), 35 + 1000 + 35, 10);
}

}  // namespace
