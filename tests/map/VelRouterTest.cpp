// The route search on small road networks written with the map writer:
// costs, the 20 m rule, one-way roads, vehicle bits, U-turns, turn
// restrictions, roundabout exits, keep and turn points, progress, cancel,
// memory failure, the graph's lifecycle and damaged road graphs.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/Debug.h"
#include "map/RouteLegs.h"
#include "res/Failure.h"
#include "res/Res.h"
#include "tests/map/RouteTestNet.h"

using namespace routetest;

namespace {

std::unique_ptr<CVelParser> OpenNet(const CNet& net, const std::vector<Restriction>& r = {}) {
  return std::unique_ptr<CVelParser>(net.Open(r));
}

bool Route(CVelParser& p, const MapPoint& a, const MapPoint& b, RouteOptions& o) {
  return p.FindRoute(a, b, &o, nullptr);
}

// ---------------------------------------------------------------------------

TEST(RouteCost, TimeFloorLengthAndVehicleMask) {
  const uint16_t wFast = 7 | (3 << 3);
  // 10 units at 140 km/h would cost 0.257: raised to 1.0.
  EXPECT_FLOAT_EQ(CRoadRouter::LinkCost(10, wFast, true), 1.0f);
  EXPECT_NEAR(CRoadRouter::LinkCost(1000, wFast, true), 1000 / (140 * 10 / 36.0), 1e-3);
  EXPECT_NEAR(CRoadRouter::LinkCost(1000, 2 | (4 << 3), true), 1000 / (40 * 10 / 36.0) / 1.2, 1e-3);
  // Length-based: no floor, divided by the quality factor.
  EXPECT_FLOAT_EQ(CRoadRouter::LinkCost(10, wFast, false), 10.0f);
  EXPECT_FLOAT_EQ(CRoadRouter::LinkCost(10, 0, false), 20.0f);
  EXPECT_EQ(CRoadRouter::VehicleMask(rvCar, false), 0x0400);
  EXPECT_EQ(CRoadRouter::VehicleMask(rvPedestrian, true), 0x2080);
  EXPECT_EQ(CRoadRouter::VehicleMask(rvTruck, false), 0x8000);
  EXPECT_EQ(CRoadRouter::VehicleMask(8, false), 0);
  EXPECT_EQ(CRoadRouter::VehicleMask(-1, true), 0x0080);
}

// A straight north-south road with points every 5 m in its middle.
TEST(RouteSearch, NineteenMetresNoRouteTwentyOneOnTheSameRoad) {
  CNet net;
  int a = net.Node(0, 0), b = net.Node(0, 300);
  net.Road(u"Long", {a, net.Plain(0, 145), net.Plain(0, 150), net.Plain(0, 155), b});
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  RouteOptions o = Car();
  EXPECT_FALSE(Route(*p, net.At(0, 140), net.At(0, 159), o));
  EXPECT_TRUE(o.points.empty());

  ASSERT_TRUE(Route(*p, net.At(0, 140), net.At(0, 161), o));
  ASSERT_EQ(o.points.size(), 5u);
  std::vector<MapPoint> pts = RoutePoints(o);
  EXPECT_TRUE(SamePt(pts[0], net.At(0, 140)));
  EXPECT_TRUE(SamePt(pts[1], net.At(0, 145)));
  EXPECT_TRUE(SamePt(pts[3], net.At(0, 155)));
  EXPECT_TRUE(SamePt(pts[4], net.At(0, 161)));
  for (const RouterPoint& pt : o.points) EXPECT_EQ(pt.btKind, c_rkPlain);
  EXPECT_TRUE(p->GetRouter()->GetStats().fSameRoad);

  // The other way the points run backwards.
  RouteOptions back = Car();
  ASSERT_TRUE(Route(*p, net.At(0, 161), net.At(0, 140), back));
  ASSERT_EQ(back.points.size(), 5u);
  EXPECT_TRUE(SamePt(RoutePoints(back)[1], net.At(0, 155)));
  EXPECT_TRUE(SamePt(RoutePoints(back)[3], net.At(0, 145)));
}

// Both points on one road with a junction between them: the points on the
// way carry the road's name, speed and quality and the graph link of the
// piece they end, in the direction driven (they used to come out as
// nameless endpoints at walking speed).
TEST(RouteSearch, PointsAlongOneRoadCarryItsNameSpeedAndLink) {
  CNet net;
  int a = net.Node(0, 0), m = net.Node(0, 150), b = net.Node(0, 300), side = net.Node(100, 150);
  net.Road(u"Long", {a, net.Plain(0, 60), net.Plain(0, 100), m, net.Plain(0, 200), net.Plain(0, 250), b});
  net.Road(u"Side", {m, net.Plain(50, 150), side});
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  for (bool fNorth : {true, false}) {
    SCOPED_TRACE(fNorth ? "northwards" : "southwards");
    RouteOptions o = Car();
    ASSERT_TRUE(Route(*p, net.At(0, fNorth ? 30 : 270), net.At(0, fNorth ? 270 : 30), o));
    ASSERT_TRUE(p->GetRouter()->GetStats().fSameRoad);
    ASSERT_EQ(o.points.size(), 7u);
    const CPodArray<RoutingLink>& links = p->GetRouter()->GetLinks();
    for (size_t i = 1; i + 1 < o.points.size(); ++i) {
      const RouterPoint& pt = o.points[i];
      EXPECT_EQ(pt.strLabel, u"Long") << i;
      EXPECT_EQ(pt.btSpeed, 60) << i;
      EXPECT_EQ(pt.btQuality, 3) << i;
      ASSERT_GE(pt.nLink, 0) << i;
      ASSERT_LT(size_t(pt.nLink), links.Size());
      // The point ends a piece of the link that leads up to the junction,
      // or of the one that leaves it.
      const RoutingLink& l = links[size_t(pt.nLink)];
      const bool fBeforeJunction = i <= 3;
      const int nFrom = fBeforeJunction ? (fNorth ? a : b) : m, nTo = fBeforeJunction ? m : (fNorth ? b : a);
      EXPECT_EQ(l.cFromNode, nFrom) << i;
      EXPECT_EQ(l.cRealNode, nTo) << i;
    }
    EXPECT_EQ(o.points.front().nLink, -1);
    EXPECT_EQ(o.points.back().nLink, -1);
  }
  // By the graph (onto the side road), the pieces at the start and the
  // destination carry their links too.
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(0, 30), net.At(80, 150), o));
  ASSERT_FALSE(p->GetRouter()->GetStats().fSameRoad);
  ASSERT_GE(o.points.size(), 5u);
  const std::vector<std::u16string> labels = {u"", u"Long", u"Long", u"Long", u"Side", u""};
  ASSERT_EQ(o.points.size(), labels.size());
  for (size_t i = 0; i < o.points.size(); ++i) {
    EXPECT_EQ(o.points[i].strLabel, labels[i]) << i;
    EXPECT_EQ(o.points[i].nLink >= 0, !labels[i].empty()) << i;
  }
}

// A 400 m square whose south side runs one-way eastwards.
class OneWaySquare : public ::testing::Test {
 protected:
  void SetUp() override {
    n0 = net.Node(0, 0), n1 = net.Node(400, 0), n2 = net.Node(400, 400), n3 = net.Node(0, 400);
    net.Road(u"One", {n0, net.Plain(200, 0), n1}, c_wPlain | c_wOneWay);
    net.Road(u"East", {n1, n2});
    net.Road(u"North", {n2, n3});
    net.Road(u"West", {n3, n0});
    p = OpenNet(net);
    ASSERT_TRUE(p);
  }
  CNet net;
  int n0, n1, n2, n3;
  std::unique_ptr<CVelParser> p;
};

TEST_F(OneWaySquare, DestinationOnOneWayOnlyFromItsPreviousNode) {
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(405, 30), net.At(150, 5), o));
  // Not the 280 m back against the one-way road: round by the three other sides.
  EXPECT_TRUE(Passes(o, net.nodes[size_t(n2)]));
  EXPECT_TRUE(Passes(o, net.nodes[size_t(n3)]));
  EXPECT_TRUE(Passes(o, net.nodes[size_t(n0)]));
  EXPECT_NEAR(RouteMetres(o), 370 + 400 + 400 + 150, 3);
}

TEST_F(OneWaySquare, StartOnOneWayLeavesOnlyForwards) {
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(200, 5), net.At(-5, 30), o));
  EXPECT_TRUE(Passes(o, net.nodes[size_t(n1)]));
  EXPECT_TRUE(Passes(o, net.nodes[size_t(n2)]));
  EXPECT_NEAR(RouteMetres(o), 200 + 400 + 400 + 370, 3);
}

TEST_F(OneWaySquare, OneWayEnteredInPointOrder) {
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(-5, 300), net.At(405, 50), o));
  EXPECT_TRUE(Passes(o, net.nodes[size_t(n0)]));
  EXPECT_FALSE(Passes(o, net.nodes[size_t(n2)]));
  EXPECT_NEAR(RouteMetres(o), 300 + 400 + 50, 3);
  // The same points on the same one-way road the wrong way round: not back
  // along it but round the square.
  RouteOptions back = Car();
  ASSERT_TRUE(Route(*p, net.At(300, 3), net.At(100, 3), back));
  EXPECT_FALSE(p->GetRouter()->GetStats().fSameRoad);
  EXPECT_NEAR(RouteMetres(back), 100 + 400 + 400 + 400 + 100, 3);
}

// A road closed to the vehicle is no place to start or end: the point goes
// to the nearest road the vehicle may use (here the far end of the walk).
TEST(RouteSearch, VehicleBitOnTheNearestRoadSnapsToTheNextOpenRoad) {
  CNet net;
  int a = net.Node(0, 0), b = net.Node(300, 0), c = net.Node(300, 300);
  net.Road(u"Walk", {a, b}, c_wPlain | c_wNoCar);
  net.Road(u"Drive", {b, c});
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  RouteOptions car = Car();
  ASSERT_TRUE(Route(*p, net.At(100, 3), net.At(303, 200), car));
  EXPECT_NEAR(RouteMetres(car), 197, 3);  // from (300, 3)
  EXPECT_FALSE(Passes(car, net.nodes[size_t(a)]));
  RouteOptions walk = Car();
  walk.nVehicle = rvPedestrian;
  ASSERT_TRUE(Route(*p, net.At(100, 3), net.At(303, 200), walk));
  EXPECT_NEAR(RouteMetres(walk), 400, 3);
  // Nor is it driven as the destination road.
  RouteOptions back = Car();
  ASSERT_TRUE(Route(*p, net.At(303, 200), net.At(100, 3), back));
  EXPECT_NEAR(RouteMetres(back), 197, 3);
  EXPECT_FALSE(Passes(back, net.nodes[size_t(a)]));
}

// A point on a node where a footway leaves a street lies on both: the car
// takes the street, whichever of the two the map holds first, at either
// end; the walker may take either. A car never starts on the footway.
TEST(RouteSearch, PointOnANodeSharedWithAFootwaySnapsToTheRoadOpenToTheVehicle) {
  for (int nOrder = 0; nOrder < 2; ++nOrder) {
    SCOPED_TRACE(nOrder ? "street first" : "footway first");
    CNet net;
    int a = net.Node(0, 0), b = net.Node(300, 0), c = net.Node(300, 300), f = net.Node(600, 0);
    auto footway = [&] { net.Road(u"Footway", {b, f}, c_wPlain | c_wNoCar); };
    if (nOrder == 0) footway();
    net.Road(u"Street", {a, b, c});
    if (nOrder == 1) footway();
    auto p = OpenNet(net);
    ASSERT_TRUE(p);
    // Destination on the shared node.
    RouteOptions car = Car();
    ASSERT_TRUE(Route(*p, net.At(100, 3), net.nodes[size_t(b)], car));
    EXPECT_EQ(p->GetRouter()->GetStats().dest.dwRoad, p->GetRouter()->GetStats().start.dwRoad);
    EXPECT_NEAR(RouteMetres(car), 200, 3);
    // Start on it.
    RouteOptions from = Car();
    ASSERT_TRUE(Route(*p, net.nodes[size_t(b)], net.At(303, 200), from));
    EXPECT_NEAR(RouteMetres(from), 200, 3);
    // The walker reaches the far end of the footway from the same node.
    RouteOptions walk = Car();
    walk.nVehicle = rvPedestrian;
    ASSERT_TRUE(Route(*p, net.nodes[size_t(b)], net.At(580, 0), walk));
    EXPECT_NEAR(RouteMetres(walk), 280, 3);
    // 3 m off the node towards the footway's side the footway is nearest,
    // but the car starts from the street.
    RouteOptions off = Car();
    ASSERT_TRUE(Route(*p, net.At(303, -3), net.At(0, 100), off));
    EXPECT_NEAR(RouteMetres(off), 300, 5);
  }
}

// A start on a junction where a one-way road begins may leave by any road
// of the junction, whichever road the point was snapped to.
TEST(RouteSearch, StartOnAJunctionWhereAOneWayRoadBeginsLeavesByAnyRoad) {
  for (int nOrder = 0; nOrder < 2; ++nOrder) {
    SCOPED_TRACE(nOrder ? "two-way road first" : "one-way road first");
    CNet net;
    int j = net.Node(0, 0), k = net.Node(300, 0), n = net.Node(0, 300);
    auto oneway = [&] { net.Road(u"Out", {j, k}, c_wPlain | c_wOneWay); };
    if (nOrder == 0) oneway();
    net.Road(u"Side", {j, n});
    net.Road(u"Back", {k, n});
    if (nOrder == 1) oneway();
    auto p = OpenNet(net);
    ASSERT_TRUE(p);
    // Not out along the one-way road and back by the far side (300 + 424 + 100).
    RouteOptions o = Car();
    ASSERT_TRUE(Route(*p, net.nodes[size_t(j)], net.At(3, 200), o));
    EXPECT_NEAR(RouteMetres(o), 200, 3);
    EXPECT_FALSE(Passes(o, net.nodes[size_t(k)]));
    // Towards the junction: by the side road.
    RouteOptions back = Car();
    ASSERT_TRUE(Route(*p, net.At(3, 200), net.nodes[size_t(j)], back));
    EXPECT_NEAR(RouteMetres(back), 200, 3);
    // Off the junction on the one-way road it is driven forwards only.
    RouteOptions along = Car();
    ASSERT_TRUE(Route(*p, net.At(30, 0), net.At(3, 200), along));
    EXPECT_TRUE(Passes(along, net.nodes[size_t(k)]));
  }
}

TEST(RouteSearch, CarAvoidsForbiddenAndTollRoadsInTheMiddle) {
  CNet net;
  int a = net.Node(0, 0), b = net.Node(200, 0), c = net.Node(400, 0), d = net.Node(200, 300);
  net.Road(u"Start", {a, net.Plain(100, 0), b});
  net.Road(u"Short", {b, c}, c_wPlain | c_wToll);
  net.Road(u"Up", {b, d});
  net.Road(u"Down", {d, c});
  net.Road(u"End", {c, net.Node(600, 0)});
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(50, 2), net.At(500, 2), o));
  EXPECT_NEAR(RouteMetres(o), 450, 3);
  RouteOptions noToll = Car();
  noToll.fAvoidTolls = 1;
  ASSERT_TRUE(Route(*p, net.At(50, 2), net.At(500, 2), noToll));
  EXPECT_TRUE(Passes(noToll, net.nodes[size_t(d)]));
  EXPECT_NEAR(RouteMetres(noToll), 150 + 300 + 360.6 + 100, 3);
}

// A-B-C east-west with a side road A-D; the start lies on A-B.
class UTurns : public ::testing::Test {
 protected:
  void SetUp() override {
    a = net.Node(0, 0), b = net.Node(300, 0), c = net.Node(600, 0), d = net.Node(0, -300);
    net.Road(u"AB", {a, b});
    net.Road(u"BC", {b, c});
    net.Road(u"AD", {a, d});
    p = OpenNet(net);
    ASSERT_TRUE(p);
  }
  RouteOptions Moving(double fCourse, double fSpeed, bool fAvoidUTurns) {
    RouteOptions o = Car();
    o.fMotionValid = true;
    o.dCourse = fCourse;
    o.dSpeedKmh = fSpeed;
    o.fAvoidUTurns = fAvoidUTurns;
    return o;
  }
  CNet net;
  int a, b, c, d;
  std::unique_ptr<CVelParser> p;
};

TEST_F(UTurns, CourseAlongThePointsTurnsBackAtTheNextNodeUnlessAvoided) {
  const MapPoint ptStart = net.At(200, 3), ptEnd = net.At(3, -150);
  RouteOptions o = Moving(90, 30, false);
  ASSERT_TRUE(Route(*p, ptStart, ptEnd, o));
  EXPECT_TRUE(Passes(o, net.nodes[size_t(b)]));
  EXPECT_NEAR(RouteMetres(o), 100 + 300 + 150, 3);
  RouteOptions avoid = Moving(90, 30, true);
  EXPECT_FALSE(Route(*p, ptStart, ptEnd, avoid));  // B and C offer no way on but back
  EXPECT_TRUE(avoid.points.empty());
}

TEST_F(UTurns, CourseAgainstTheOtherWayOrTooSlowLeavesTheStartOpen) {
  const MapPoint ptStart = net.At(200, 3), ptEnd = net.At(3, -150);
  for (RouteOptions o : {Moving(270, 30, true), Moving(0, 30, true), Moving(90, 4, true), Car()}) {
    ASSERT_TRUE(Route(*p, ptStart, ptEnd, o));
    EXPECT_FALSE(Passes(o, net.nodes[size_t(b)]));
    EXPECT_NEAR(RouteMetres(o), 200 + 150, 3);
  }
}

// A 3 x 3 grid of 200 m; node (i, j) is i * 3 + j, i east, j north.
class Grid : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) net.Node(200.0 * i, 200.0 * j);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        if (i < 2) net.Road(Name('h', i, j), {Id(i, j), Id(i + 1, j)});
        if (j < 2) net.Road(Name('v', i, j), {Id(i, j), Id(i, j + 1)});
      }
  }
  static int Id(int i, int j) { return i * 3 + j; }
  static std::u16string Name(char c, int i, int j) {
    return std::u16string{char16_t(c), char16_t('0' + i), char16_t('0' + j)};
  }
  CNet net;
};

TEST_F(Grid, OneRestrictionForbidsExactlyOneTurn) {
  // West to north at the centre node is forbidden.
  std::vector<Restriction> r{{Id(0, 1), Id(1, 1), Id(1, 2), u"h01", u"v11"}};
  auto pFree = OpenNet(net);
  auto p = OpenNet(net, r);
  ASSERT_TRUE(pFree && p);
  const MapPoint ptWest = net.At(-5, 100), ptNorth = net.At(195, 300);
  RouteOptions free = Car(), o = Car();
  ASSERT_TRUE(Route(*pFree, ptWest, ptNorth, free));
  EXPECT_NEAR(RouteMetres(free), 100 + 200 + 100, 3);
  ASSERT_TRUE(Route(*p, ptWest, ptNorth, o));
  EXPECT_EQ(p->GetRouter()->GetRestrictions().Size(), 1u);
  EXPECT_NEAR(RouteMetres(o), 600, 3);
  // Straight on, right, and north coming from the south stay allowed.
  RouteOptions east = Car(), south = Car(), fromSouth = Car();
  ASSERT_TRUE(Route(*p, ptWest, net.At(300, 195), east));
  EXPECT_NEAR(RouteMetres(east), 400, 3);
  ASSERT_TRUE(Route(*p, ptWest, net.At(205, 100), south));
  EXPECT_NEAR(RouteMetres(south), 400, 3);
  ASSERT_TRUE(Route(*p, net.At(195, 100), ptNorth, fromSouth));
  EXPECT_NEAR(RouteMetres(fromSouth), 200, 3);
}

TEST_F(Grid, RestrictionHoldsWhenTheStartLiesOnTheFromRoad) {
  std::vector<Restriction> r{{Id(0, 1), Id(1, 1), Id(1, 2), u"h01", u"v11"}};
  auto p = OpenNet(net, r);
  ASSERT_TRUE(p);
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(100, 205), net.At(195, 300), o));
  // Not the 200 m through the forbidden turn: back west and round.
  EXPECT_NEAR(RouteMetres(o), 100 + 200 + 200 + 100, 3);
}

TEST_F(Grid, RestrictionRecordsOutOfRangeAreDropped) {
  std::vector<uint8_t> bytes = net.Write();
  ASSERT_FALSE(bytes.empty());
  auto pProbe = std::unique_ptr<CVelParser>(veltest::OpenBytes(bytes, "probe"));
  ASSERT_TRUE(pProbe);
  uint32_t dwH01 = 0, dwV11 = 0;
  for (const veltest::Decoded& d : veltest::DecodeAll(pProbe.get())) {
    if (d.strLabel == u"h01") dwH01 = d.rec.dwOffset;
    if (d.strLabel == u"v11") dwV11 = d.rec.dwOffset;
  }
  ASSERT_TRUE(dwH01 && dwV11);
  // Node 15 is past the nine nodes; the road offset past the file.
  net.AppendRestrictions(bytes, {1, 4, 15, dwH01, dwV11,  //
                                 1, 4, 5, dwH01, 0xFFFFFF00u,  //
                                 1, 4, 5, dwH01, dwV11},
                         3);
  platform::AssertHook old = platform::SetAssertHook([](const char*, const char*, int) {});
  auto p = std::unique_ptr<CVelParser>(veltest::OpenBytes(bytes, "restrict"));
  ASSERT_TRUE(p);
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(-5, 100), net.At(195, 300), o));
  platform::SetAssertHook(old);
  EXPECT_EQ(p->GetRouter()->GetRestrictions().Size(), 1u);
  EXPECT_EQ(p->GetRouter()->GetDroppedRestrictions(), 2u);
  EXPECT_NEAR(RouteMetres(o), 600, 3);  // the valid record still holds
}

// A six-node roundabout (radius 40 m, anticlockwise) entered from the south
// and left to the north; side roads branch off at every other node.
TEST(RouteSearch, RoundaboutWithTwoBranchesBeforeTheExitIsExitThree) {
  CNet net;
  int r[6];
  for (int k = 0; k < 6; ++k) {
    const double f = (-90.0 + 60.0 * k) * 3.14159265358979 / 180;
    r[k] = net.Node(40 * std::cos(f), 40 * std::sin(f));
  }
  for (int k = 0; k < 6; ++k) net.Road(u"Ring", {r[k], r[(k + 1) % 6]}, c_wPlain | c_wOneWay, 12);
  const int s = net.Node(0, -300), t = net.Node(0, 300);
  net.Road(u"South", {s, r[0]});
  net.Road(u"North", {r[3], t});
  for (int k : {1, 2, 4, 5}) {
    const double f = (-90.0 + 60.0 * k) * 3.14159265358979 / 180;
    net.Road(u"Side", {r[k], net.Node(200 * std::cos(f), 200 * std::sin(f))});
  }
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(3, -200), net.At(3, 200), o));
  const RouterPoint* pEntry = PointAt(o, net.nodes[size_t(r[0])]);
  ASSERT_TRUE(pEntry);
  EXPECT_EQ(pEntry->btKind, c_rkRoundaboutEntry);
  EXPECT_EQ(pEntry->btParameter, 3);
  EXPECT_EQ(pEntry->strLabel, u"South");
  for (int k : {1, 2}) {
    const RouterPoint* pIn = PointAt(o, net.nodes[size_t(r[k])]);
    ASSERT_TRUE(pIn);
    EXPECT_EQ(pIn->btKind, c_rkInRoundabout);
  }
  const RouterPoint* pExit = PointAt(o, net.nodes[size_t(r[3])]);
  ASSERT_TRUE(pExit);
  EXPECT_EQ(pExit->btKind, c_rkPlain);
  EXPECT_FALSE(Passes(o, net.nodes[size_t(r[5])]));  // anticlockwise only
}

// A road from the south forks at F (0, 0) into two straight branches of
// 200 m, ours at -fOur degrees (to the right), the other at +fOther.
struct ForkCase {
  double fOur, fOther;
  uint16_t wOtherType, wOurType;
};

RouterPoint ForkPoint(const ForkCase& fc) {
  CNet net;
  const int s = net.Node(0, -200), f = net.Node(0, 0);
  const double k = 3.14159265358979 / 180;
  const int ours = net.Node(200 * std::sin(fc.fOur * k), 200 * std::cos(fc.fOur * k));
  const int other = net.Node(-200 * std::sin(fc.fOther * k), 200 * std::cos(fc.fOther * k));
  net.Road(u"In", {s, f});
  net.Road(u"Ours", {f, ours}, c_wPlain, fc.wOurType);
  net.Road(u"Other", {f, other}, c_wPlain, fc.wOtherType);
  auto p = OpenNet(net);
  RouteOptions o = Car();
  if (!p || !Route(*p, net.At(2, -150), net.At(180 * std::sin(fc.fOur * k), 180 * std::cos(fc.fOur * k)), o))
    return RouterPoint{};
  const RouterPoint* pt = PointAt(o, net.nodes[size_t(f)]);
  return pt ? *pt : RouterPoint{};
}

TEST(RouteSearch, ForkAtTwentyDegreesIsKeepAtFiftyIsTurn) {
  RouterPoint keep = ForkPoint({10, 10, 5, 5});
  EXPECT_EQ(keep.btKind, c_rkKeepTurn);
  EXPECT_EQ(keep.btParameter, 1);  // keep right: the other branch lies to the left
  EXPECT_EQ(keep.nTurnAngle, 10);
  RouterPoint turn = ForkPoint({25, 25, 5, 5});
  EXPECT_EQ(turn.btKind, c_rkTurn);
  EXPECT_EQ(turn.nTurnAngle, 25);
  // Our road goes on with the arriving road's type, the other branch has
  // another: no keep.
  RouterPoint typed = ForkPoint({10, 10, 6, 5});
  EXPECT_EQ(typed.btKind, c_rkTurn);
  // A link road as ours adds the connector flag.
  RouterPoint link = ForkPoint({10, 10, 5, 8});
  EXPECT_EQ(link.btKind, c_rkKeepTurn | c_rkConnector);
}

// ---------------------------------------------------------------------------
// Progress, cancel, memory and the graph's lifecycle

volatile bool g_fCancel = false;
bool g_fCancelOnFirst = false;
// The positions go to the list the progress names as its context.
void RecordPos(void* pPositions, int32_t n) {
  static_cast<std::vector<int32_t>*>(pPositions)->push_back(n);
  if (g_fCancelOnFirst) g_fCancel = true;
}

TEST_F(Grid, ProgressStaysInItsRangeAndCancelAppendsNothing) {
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  std::vector<int32_t> g_positions;
  g_fCancel = false;
  g_fCancelOnFirst = false;
  MapProgress progress{20, 60, &g_fCancel, RecordPos, &g_positions};
  RouteOptions o = Car();
  ASSERT_TRUE(p->FindRoute(net.At(-5, 100), net.At(395, 300), &o, &progress));
  ASSERT_FALSE(g_positions.empty());
  for (size_t i = 0; i < g_positions.size(); ++i) {
    EXPECT_GE(g_positions[i], 20);
    EXPECT_LE(g_positions[i], 60);
    if (i) {
      EXPECT_GE(g_positions[i], g_positions[i - 1]);
    }
  }
  EXPECT_EQ(g_positions.back(), 60);

  // Cancelled during the build, then during a search on the built graph.
  auto p2 = OpenNet(net);
  g_fCancel = false;
  g_fCancelOnFirst = true;
  RouteOptions cancelled = Car();
  EXPECT_FALSE(p2->FindRoute(net.At(-5, 100), net.At(395, 300), &cancelled, &progress));
  EXPECT_TRUE(cancelled.points.empty());
  g_fCancel = false;
  EXPECT_FALSE(p->FindRoute(net.At(-5, 100), net.At(395, 300), &cancelled, &progress));
  EXPECT_TRUE(cancelled.points.empty());
  g_fCancelOnFirst = false;
  g_fCancel = false;
  RouteOptions again = Car();
  EXPECT_TRUE(p->FindRoute(net.At(-5, 100), net.At(395, 300), &again, &progress));
  EXPECT_EQ(again.points.size(), o.points.size());
}

std::vector<std::u16string> g_messages;
void RecordMessage(const char16_t* psz) { g_messages.push_back(psz); }

TEST_F(Grid, OutOfMemoryShowsTheMessageAndFails) {
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  g_messages.clear();
  SetFailureNotifier([] { DrainFailures(RecordMessage); });
  CRoadRouter::SetAllocLimitForTests(64);
  RouteOptions o = Car();
  EXPECT_FALSE(p->FindRoute(net.At(-5, 100), net.At(395, 300), &o, nullptr));
  CRoadRouter::SetAllocLimitForTests(0);
  SetFailureNotifier(nullptr);
  EXPECT_TRUE(o.points.empty());
  ASSERT_EQ(g_messages.size(), 1u);
  char16_t sz[256];
  EXPECT_EQ(g_messages[0], std::u16string(LoadResString(2127, sz, 256)));
  // Memory back: the next search builds the graph and succeeds.
  EXPECT_TRUE(p->FindRoute(net.At(-5, 100), net.At(395, 300), &o, nullptr));
}

TEST_F(Grid, SearchesLeaveTheGraphAsBuilt) {
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  RouteOptions first = Car();
  ASSERT_TRUE(p->FindRoute(net.At(-5, 100), net.At(395, 300), &first, nullptr));
  CRoadRouter& router = *p->GetRouter();
  EXPECT_EQ(router.GetLinks().Size(), 24u);  // 12 two-way roads
  for (size_t n = 0; n < router.GetNodes().Size(); ++n) {
    int32_t c = 0;
    for (int32_t i = router.GetNodes()[n].nFirstLink; i >= 0; i = router.GetLinks()[size_t(i)].cNextLink) {
      EXPECT_GE(router.GetLinks()[size_t(i)].cLink, 0);
      ++c;
    }
    EXPECT_EQ(c * 2, router.GetNodes()[n].cLinks) << n;
  }
  for (int k = 0; k < 3; ++k) {
    RouteOptions o = Car();
    ASSERT_TRUE(p->FindRoute(net.At(-5, 100), net.At(395, 300), &o, nullptr));
    ASSERT_EQ(o.points.size(), first.points.size());
    for (size_t i = 0; i < o.points.size(); ++i) EXPECT_EQ(o.points[i].x, first.points[i].x);
    EXPECT_EQ(router.GetLinks().Size(), 24u);
  }
}

// ---------------------------------------------------------------------------
// Damaged road graphs

class DamagedGraph : public ::testing::Test {
 protected:
  void SetUp() override { m_old = platform::SetAssertHook([](const char*, const char*, int) {}); }
  void TearDown() override { platform::SetAssertHook(m_old); }
  platform::AssertHook m_old = nullptr;
};

TEST_F(DamagedGraph, NodeIndexOutOfRangeIsNoNode) {
  CNet net;
  int a = net.Node(0, 0), b = net.Node(300, 0), c = net.Node(600, 0);
  net.Road(u"ABC", {a, b, c});
  // The writer stores indices up to 3 (two bits) for a count of three.
  net.roads[0].nodeIndex[1] = 3;
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(100, 3), net.At(500, 3), o));
  EXPECT_EQ(p->GetRouter()->GetLinks().Size(), 2u);  // A-C only
}

TEST_F(DamagedGraph, TruncatedAndHostileFilesFailWithoutHarm) {
  CNet net;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) net.Node(200.0 * i, 200.0 * j);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      if (i < 2) net.Road(u"h", {i * 3 + j, (i + 1) * 3 + j});
      if (j < 2) net.Road(u"v", {i * 3 + j, i * 3 + j + 1});
    }
  std::vector<uint8_t> bytes = net.Write();
  ASSERT_FALSE(bytes.empty());
  size_t cRoutes = 0;
  for (size_t cut = bytes.size() - 1; cut > 600; cut -= 7) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + ptrdiff_t(cut));
    std::unique_ptr<CVelParser> p(veltest::OpenBytes(part, "cut"));
    if (!p) continue;
    RouteOptions o = Car();
    if (p->FindRoute(net.At(-5, 100), net.At(395, 300), &o, nullptr)) {
      ++cRoutes;
      for (const RouterPoint& pt : o.points) {
        EXPECT_TRUE(p->GetRect().Contains(MapPoint{pt.x >> 1, pt.y >> 1}));
      }
    }
  }
  // A node count far beyond what the file can mark builds no graph.
  std::vector<uint8_t> huge = bytes;
  for (int i = 0; i < 4; ++i) huge[660 + size_t(i)] = 0xFF;
  huge[663] = 0x0F;
  std::unique_ptr<CVelParser> p(veltest::OpenBytes(huge, "huge"));
  if (p) {
    RouteOptions o = Car();
    EXPECT_FALSE(p->FindRoute(net.At(-5, 100), net.At(395, 300), &o, nullptr));
  }
  (void)cRoutes;
}

TEST_F(DamagedGraph, WorkLimitEndsTheSearch) {
  CNet net;
  for (int i = 0; i < 10; ++i)
    for (int j = 0; j < 10; ++j) net.Node(100.0 * i, 100.0 * j);
  for (int i = 0; i < 10; ++i)
    for (int j = 0; j < 10; ++j) {
      if (i < 9) net.Road(u"h", {i * 10 + j, (i + 1) * 10 + j});
      if (j < 9) net.Road(u"v", {i * 10 + j, i * 10 + j + 1});
    }
  auto p = OpenNet(net);
  ASSERT_TRUE(p);
  RouteOptions o = Car();
  ASSERT_TRUE(Route(*p, net.At(-3, 50), net.At(903, 850), o));
  const uint32_t cPopped = p->GetRouter()->GetStats().cPopped;
  EXPECT_GT(cPopped, 20u);
  p->GetRouter()->SetWorkLimit(10);
  RouteOptions limited = Car();
  EXPECT_FALSE(Route(*p, net.At(-3, 50), net.At(903, 850), limited));
  EXPECT_TRUE(limited.points.empty());
  EXPECT_LE(p->GetRouter()->GetStats().cPopped, 11u);
}

}  // namespace

// ---------------------------------------------------------------------------
// Routes through via points and velmo-cli route

namespace {

// Two roads 2 km apart: A-B near the origin, C-D far east.
CNet TwoRoads() {
  CNet net;
  int a = net.Node(0, 0), b = net.Node(600, 0), c = net.Node(600, 400);
  net.Road(u"Low", {a, b});
  net.Road(u"Up", {b, c});
  return net;
}

TEST(RouteLegs, LegFarFromAnyRoadBecomesStraight) {
  CNet net = TwoRoads();
  std::unique_ptr<CVelParser> p(net.Open());
  ASSERT_TRUE(p);
  const RouteOptions o = Car();
  std::vector<RouterPoint> points;
  RouteLegsResult r;
  ASSERT_TRUE(RouteThroughPoints(*p, {net.At(100, 3), net.At(597, 300)}, o, nullptr, points, &r));
  EXPECT_EQ(r.cLegs, 1u);
  EXPECT_EQ(r.cStraight, 0u);
  ASSERT_GE(points.size(), 4u);
  EXPECT_EQ(points.front().btKind, 0x20);
  EXPECT_EQ(points.back().btKind, 0x20);
  EXPECT_TRUE(Passes(RouteOptions{.points = points}, net.nodes[1]));

  // A via point 1.5 km from every road: both its legs are straight lines.
  points.clear();
  ASSERT_TRUE(RouteThroughPoints(*p, {net.At(100, 3), net.At(-1500, -1200), net.At(597, 300)}, o, nullptr, points, &r));
  EXPECT_EQ(r.cLegs, 2u);
  EXPECT_EQ(r.cStraight, 2u);
  ASSERT_EQ(points.size(), 3u);
  for (const RouterPoint& pt : points) EXPECT_EQ(pt.btKind, 0x20);
  // 900 m away (inside the window) the leg still finds the road.
  points.clear();
  ASSERT_TRUE(RouteThroughPoints(*p, {net.At(100, 3), net.At(300, -900)}, o, nullptr, points, &r));
  EXPECT_EQ(r.cStraight, 0u);
}

#ifdef VELMO_CLI
std::string RunCli(const std::string& strArgs, int* pnExit, const char* pszCommand = "route") {
  const std::string strOut = std::string(VELMO_BINARY_DIR) + "/route-cli-out.txt";
  int n = std::system(
      (std::string(VELMO_CLI) + " " + pszCommand + " " + strArgs + " >" + strOut + " 2>/dev/null").c_str());
  if (pnExit) *pnExit = WIFEXITED(n) ? WEXITSTATUS(n) : -1;
  FILE* pf = std::fopen(strOut.c_str(), "rb");
  std::string s;
  if (pf) {
    char buf[4096];
    size_t c;
    while ((c = std::fread(buf, 1, sizeof buf, pf)) > 0) s.append(buf, c);
    std::fclose(pf);
  }
  return s;
}

std::string LatLon(const MapPoint& pt) {
  char sz[64];
  std::snprintf(sz, sizeof sz, "%.7f %.7f", MapToDegrees(pt.y), MapToDegrees(pt.x));
  return sz;
}

TEST(RouteCli, PrintsManeuversAndWritesAGpxRouteOthersRead) {
  CNet net;
  int r[6];
  for (int k = 0; k < 6; ++k) {
    const double f = (-90.0 + 60.0 * k) * 3.14159265358979 / 180;
    r[k] = net.Node(40 * std::cos(f), 40 * std::sin(f));
  }
  for (int k = 0; k < 6; ++k) net.Road(u"Ring", {r[k], r[(k + 1) % 6]}, c_wPlain | c_wOneWay, 12);
  net.Road(u"South", {net.Node(0, -300), r[0]});
  net.Road(u"North", {r[3], net.Node(0, 300)});
  for (int k : {1, 2, 4, 5}) {
    const double f = (-90.0 + 60.0 * k) * 3.14159265358979 / 180;
    net.Road(u"Side", {r[k], net.Node(200 * std::cos(f), 200 * std::sin(f))});
  }
  const std::string strMap = std::string(VELMO_BINARY_DIR) + "/route-cli.vel";
  std::vector<uint8_t> bytes = net.Write();
  ASSERT_TRUE(platform::WriteFileAtomic(platform::Utf8ToU16(strMap).c_str(), bytes.data(), bytes.size()));
  const std::string strGpx = std::string(VELMO_BINARY_DIR) + "/route-cli.gpx";
  std::remove(strGpx.c_str());
  int nExit = -1;
  std::string s = RunCli(strMap + " " + LatLon(net.At(3, -200)) + " " + LatLon(net.At(3, 200)) +
                             " --shortest --gpx " + strGpx,
                         &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_NE(s.find("length 0.4"), std::string::npos) << s;
  EXPECT_NE(s.find("legs 1 straight 0"), std::string::npos) << s;
  EXPECT_NE(s.find("maneuver roundabout angle 0 exit 3 \"South\""), std::string::npos) << s;
  size_t cPoints = 0;
  for (size_t at = s.find("\npoint "); at != std::string::npos; at = s.find("\npoint ", at + 1)) ++cPoints;
  EXPECT_GE(cPoints, 7u);
  // As the program's store: one route, its two ends as the waypoints
  // "Старт" and "Финиш", the road points between; import reads it back.
  const std::string strStore = std::string(VELMO_BINARY_DIR) + "/route-cli-Waypoints.bin";
  std::remove(strStore.c_str());
  RunCli(strMap + " " + LatLon(net.At(3, -200)) + " " + LatLon(net.At(3, 200)) + " --shortest --store " + strStore,
         &nExit);
  EXPECT_EQ(nExit, 0);
  std::string strStored = RunCli(strStore, &nExit, "import");
  EXPECT_EQ(nExit, 0);
  EXPECT_NE(strStored.find("routes: 1\nR\tМаршрут\t" + std::to_string(cPoints) + " points\t2 waypoints\t4"),
            std::string::npos)
      << strStored;
  const size_t iStart = strStored.find("  P\tСтарт\t"), iEnd = strStored.find("  P\tФиниш\t");
  ASSERT_NE(iStart, std::string::npos) << strStored;
  ASSERT_NE(iEnd, std::string::npos) << strStored;
  size_t cRoad = 0;
  for (size_t at = strStored.find("  S\t", iStart); at != std::string::npos && at < iEnd;
       at = strStored.find("  S\t", at + 1))
    ++cRoad;
  EXPECT_EQ(cRoad, cPoints - 2);
  // gpsbabel reads the route back with as many points.
  if (std::system("command -v gpsbabel >/dev/null 2>&1") != 0) GTEST_SKIP() << "no gpsbabel";
  const std::string strCsv = std::string(VELMO_BINARY_DIR) + "/route-cli.csv";
  ASSERT_EQ(std::system(("gpsbabel -r -i gpx -f " + strGpx + " -o unicsv -F " + strCsv + " >/dev/null 2>&1").c_str()),
            0);
  FILE* pf = std::fopen(strCsv.c_str(), "rb");
  ASSERT_TRUE(pf);
  size_t cLines = 0;
  int ch;
  while ((ch = std::fgetc(pf)) != EOF) cLines += ch == '\n';
  std::fclose(pf);
  EXPECT_EQ(cLines, cPoints + 1);  // the header line

  // No road near either end: every leg straight, exit code 3.
  RunCli(strMap + " " + LatLon(net.At(5000, 5000)) + " " + LatLon(net.At(3, 200)), &nExit);
  EXPECT_EQ(nExit, 3);
  RunCli(strMap + " 91 0 0 0", &nExit);
  EXPECT_EQ(nExit, 2);
}
#endif

}  // namespace
