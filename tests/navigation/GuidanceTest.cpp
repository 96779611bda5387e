#include <gtest/gtest.h>

#include <cstring>

#include "platform/Debug.h"

#include "navigation/Guidance.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "tests/navigation/RouteBuilder.h"

using namespace navtest;

namespace {

class GuidanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAllSettings();
    SetDword(setting::RoutingStyle.pszName, 1);  // no road calculation at start
  }
  void TearDown() override { ResetAllSettings(); }

  CWaypointStore store;
  CFakeHost host;
  CFakeVoice voice;
  CGuidance guidance{store, &host, &voice};
  GuidanceFix none;
};

TEST_F(GuidanceTest, GoToFinishesWithinTwentyMetresAndIsDeleted) {
  Route* pRoute = guidance.GoTo(PointAt(0, 1000).x, PointAt(0, 1000).y, none, 0, 0);
  ASSERT_NE(pRoute, nullptr);
  EXPECT_EQ(pRoute->strName, u"GoTo");
  EXPECT_TRUE(pRoute->dwFlags & rfGoTo);
  EXPECT_TRUE(pRoute->dwFlags & rfActive);
  EXPECT_EQ(pRoute->points.size(), 1u);
  EXPECT_EQ(pRoute->points[0].btKind, 0);
  EXPECT_TRUE(GetSettingBool(setting::Navigation));
  EXPECT_EQ(host.cStarted, 1);

  guidance.Update(FixAt(0, 0));
  EXPECT_EQ(guidance.State().nState, nsOnRoute);
  EXPECT_NEAR(guidance.State().nDistanceToTarget, 1000, 10);
  guidance.Update(FixAt(0, 975));
  EXPECT_EQ(guidance.State().nState, nsOnRoute) << "25 m is not there yet";
  EXPECT_TRUE(voice.aEvents.empty());
  guidance.Update(FixAt(0, 982));
  EXPECT_EQ(guidance.State().nState, nsFinished);
  ASSERT_EQ(voice.aEvents.size(), 1u);
  EXPECT_EQ(voice.aEvents[0], reRouteEnd);
  EXPECT_FALSE(guidance.IsRunning());
  EXPECT_TRUE(pRoute->IsDeleted()) << "the temporary route goes with the navigation";
  EXPECT_FALSE(GetSettingBool(setting::Navigation));
  EXPECT_EQ(host.cEnded, 1);
  // The next update after arrival does nothing more.
  guidance.Update(FixAt(0, 990));
  EXPECT_EQ(voice.aEvents.size(), 1u);
}

TEST_F(GuidanceTest, PointsWithinFiveMetresAreReached) {
  Route* pRoute = AddRoute(store, {PointAt(0, 0), PointAt(0, 500), PointAt(0, 1000)});
  guidance.Start(pRoute, FixAt(0, 0), 0, 0);
  EXPECT_EQ(guidance.State().iTarget, 1u) << "the first point is at the position";
  guidance.Update(FixAt(0, 490));
  EXPECT_EQ(guidance.State().iTarget, 1u);
  guidance.Update(FixAt(0, 496));
  EXPECT_EQ(guidance.State().iTarget, 2u);
  EXPECT_NEAR(guidance.State().nDistanceToEnd, 504, 5);
}

TEST_F(GuidanceTest, PassingArcIsHalfTheTurnAroundTheWayIn) {
  // A right angle: in 0°, out 90°, the arc is ±45° around north.
  Route* pRoute = AddRoute(store, {PointAt(0, -500), PointAt(0, 0), PointAt(500, 0)});
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, -300));
  ASSERT_EQ(guidance.State().iTarget, 1u);
  guidance.Update(FixAt(-40, -50));  // course to the point about 39°
  EXPECT_EQ(guidance.State().iTarget, 1u);
  guidance.Update(FixAt(-60, -50));  // about 50°: outside
  EXPECT_EQ(guidance.State().iTarget, 2u);
}

TEST_F(GuidanceTest, PassingArcOnAStraightLineIsFifteenDegrees) {
  Route* pRoute = AddRoute(store, {PointAt(0, -500), PointAt(0, 0), PointAt(0, 500)});
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, -300));
  ASSERT_EQ(guidance.State().iTarget, 1u);
  guidance.Update(FixAt(-10, -50));  // about 11°
  EXPECT_EQ(guidance.State().iTarget, 1u);
  guidance.Update(FixAt(-20, -50));  // about 22°
  EXPECT_EQ(guidance.State().iTarget, 2u);
}

TEST_F(GuidanceTest, FirstPointIsPassedOnceBehindTheVehicle) {
  Route* pRoute = AddRoute(store, {PointAt(0, 0), PointAt(0, 1000), PointAt(0, 2000)});
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, -100));
  EXPECT_EQ(guidance.State().iTarget, 0u) << "before the start, the start is ahead";
  guidance.Update(FixAt(30, 20));
  EXPECT_EQ(guidance.State().iTarget, 1u);
}

TEST_F(GuidanceTest, LastPointIsPassedBeyondItsCrossLineWithinTheCorridor) {
  Route* pRoute = AddRoute(store, {PointAt(0, 0), PointAt(0, 500), PointAt(0, 1000)});
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 400));
  guidance.Update(FixAt(0, 600));
  ASSERT_EQ(guidance.State().iTarget, 2u);
  guidance.Update(FixAt(0, 950));
  EXPECT_EQ(guidance.State().nState, nsOnRoute) << "50 m short has not arrived";
  guidance.Update(FixAt(30, 1010));  // 10 m past, 30 m aside: never within 5 m
  EXPECT_EQ(guidance.State().nState, nsFinished);
  ASSERT_FALSE(voice.aEvents.empty());
  EXPECT_EQ(voice.aEvents.back(), reRouteEnd);
}

TEST_F(GuidanceTest, LastPointIsNotPassedFromFarAside) {
  Route* pRoute = AddRoute(store, {PointAt(0, 0), PointAt(0, 500), PointAt(0, 1000)});
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 600));
  ASSERT_EQ(guidance.State().iTarget, 2u);
  guidance.Update(FixAt(300, 1050));
  EXPECT_NE(guidance.State().nState, nsFinished);
  EXPECT_TRUE(guidance.IsRunning());
}

// A road route: north 1 km, a right turn, east 1 km.
std::vector<RoutePoint> RoadRoute() {
  return {PointAt(0, 0, rpkVia),        PointAt(0, 300, c_btRoad), PointAt(0, 600, c_btRoad),
          PointAt(0, 1000, c_btTurn, 90), PointAt(500, 1000, c_btRoad), PointAt(1000, 1000, rpkVia)};
}

TEST_F(GuidanceTest, OffRouteWithAutomaticRecalculation) {
  SetDword(setting::RoutingStyle.pszName, 0);
  SetDword(setting::RoutingOffRoute.pszName, 1);
  Route* pRoute = AddRoute(store, RoadRoute());
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 200));
  ASSERT_EQ(guidance.State().nState, nsOnRoute);
  ASSERT_EQ(guidance.State().iTarget, 1u);
  guidance.Update(FixAt(150, 350));  // 150 m east of the segment (1, 2)
  ASSERT_EQ(voice.aEvents.size(), 2u);
  EXPECT_EQ(voice.aEvents[0], reRouteOut);
  EXPECT_EQ(voice.aEvents[1], reRouteCalculated);
  EXPECT_EQ(host.cRecalculations, 1);
  EXPECT_EQ(host.aRecalcVia[0], 5u) << "towards the next via point";
  // Seen from 150 m aside the points at 300 and 600 m lie behind: passed.
  EXPECT_EQ(host.aRecalcPassed[0], 3u);
  EXPECT_EQ(guidance.State().nState, nsOnRoute);
  // The new route: the start (the user's via point), the point just behind
  // the car (2), the position, then the via point 5; the router's point 1,
  // passed, is dropped, so the route does not grow with every recalculation.
  // Guidance goes on with the point after the position.
  ASSERT_EQ(pRoute->points.size(), 4u);
  EXPECT_EQ(pRoute->points[0].btKind, rpkVia);
  EXPECT_EQ(pRoute->points[1].GetY(), RoadRoute()[2].y);
  EXPECT_EQ(pRoute->points[3].GetY(), RoadRoute()[5].y);
  EXPECT_EQ(guidance.State().iTarget, 3u);
  EXPECT_EQ(guidance.State().iAnnounced, 1u);
  EXPECT_GE(voice.cCuts, 1);
  EXPECT_GE(voice.cClearPending, 1);
}

TEST_F(GuidanceTest, FailedRecalculationIsRetriedAtABoundedRateWhileOffRoute) {
  SetDword(setting::RoutingStyle.pszName, 0);
  SetDword(setting::RoutingOffRoute.pszName, 1);
  host.cFailRecalculations = 2;
  const double dSecond = 1.0 / 86400.0;
  host.dNow = 46000.5;
  Route* pRoute = AddRoute(store, RoadRoute());
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 200));
  guidance.Update(FixAt(150, 350));
  EXPECT_EQ(host.cRecalculations, 1) << "once in the update";
  EXPECT_EQ(guidance.State().nState, nsOffRoute);
  // Fixes every second, still far from the route: no new search before 10 s.
  for (int i = 1; i <= 9; ++i) {
    host.dNow += dSecond;
    guidance.Update(FixAt(160, 350 + 10 * i));
  }
  EXPECT_EQ(host.cRecalculations, 1) << "not once per fix";
  EXPECT_EQ(guidance.State().nState, nsOffRoute);
  host.dNow += 1.5 * dSecond;
  guidance.Update(FixAt(160, 450));
  EXPECT_EQ(host.cRecalculations, 2) << "the retry comes when due, never waiting to be back on the route";
  EXPECT_EQ(guidance.State().nState, nsOffRoute);
  EXPECT_EQ(voice.aEvents.size(), 1u) << "RouteOut is said once";
  host.dNow += 10.5 * dSecond;
  guidance.Update(FixAt(160, 460));
  EXPECT_EQ(host.cRecalculations, 3);
  EXPECT_EQ(guidance.State().nState, nsOnRoute) << "the third search succeeds";
  ASSERT_EQ(voice.aEvents.size(), 2u);
  EXPECT_EQ(voice.aEvents[1], reRouteCalculated);
}

TEST_F(GuidanceTest, NoRetryOnceRecalculatingIsNoLongerChosen) {
  SetDword(setting::RoutingStyle.pszName, 0);
  SetDword(setting::RoutingOffRoute.pszName, 1);
  host.cFailRecalculations = 100;
  Route* pRoute = AddRoute(store, RoadRoute());
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 200));
  guidance.Update(FixAt(150, 350));
  ASSERT_EQ(host.cRecalculations, 1);
  SetDword(setting::RoutingOffRoute.pszName, 0);
  host.dNow += 60.0 / 86400.0;
  guidance.Update(FixAt(160, 400));
  EXPECT_EQ(host.cRecalculations, 1);
  EXPECT_EQ(guidance.State().nState, nsOffRoute);
}

TEST_F(GuidanceTest, OffRouteWithoutRecalculationResumesOnALaterSegment) {
  SetDword(setting::RoutingStyle.pszName, 0);
  SetDword(setting::RoutingOffRoute.pszName, 0);
  Route* pRoute = AddRoute(store, RoadRoute());
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 200));
  guidance.Update(FixAt(150, 350));
  EXPECT_EQ(host.cRecalculations, 0);
  EXPECT_EQ(guidance.State().nState, nsOffRoute);
  ASSERT_EQ(voice.aEvents.size(), 1u);
  EXPECT_EQ(voice.aEvents[0], reRouteOut);
  guidance.Update(FixAt(150, 800));  // still 150 m aside
  EXPECT_EQ(guidance.State().nState, nsOffRoute);
  guidance.Update(FixAt(600, 940));  // 60 m from the segment (3, 4)
  EXPECT_EQ(guidance.State().nState, nsOnRoute);
  EXPECT_EQ(guidance.State().iTarget, 5u) << "the target moves to the end of the nearest later segment";
  EXPECT_EQ(voice.aEvents.size(), 1u);
}

TEST_F(GuidanceTest, StopGuidanceChoiceEndsNavigationOnLeavingTheRoute) {
  SetDword(setting::RoutingStyle.pszName, 0);
  SetDword(setting::RoutingOffRoute.pszName, 2);
  Route* pRoute = AddRoute(store, RoadRoute());
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 200));
  EXPECT_TRUE(guidance.IsRunning());
  guidance.Update(FixAt(150, 350));
  EXPECT_EQ(host.cRecalculations, 0);
  EXPECT_FALSE(guidance.IsRunning());
  EXPECT_FALSE(pRoute->dwFlags & rfActive);
  ASSERT_EQ(voice.aEvents.size(), 1u);
  EXPECT_EQ(voice.aEvents[0], reRouteOut);
}

TEST_F(GuidanceTest, OtherOffRouteValuesDoNothing) {
  SetDword(setting::RoutingStyle.pszName, 0);
  SetDword(setting::RoutingOffRoute.pszName, 7);
  Route* pRoute = AddRoute(store, RoadRoute());
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 200));
  guidance.Update(FixAt(150, 350));
  EXPECT_EQ(host.cRecalculations, 0);
  EXPECT_EQ(guidance.State().nState, nsOnRoute);
}

TEST_F(GuidanceTest, UnusableFixesAndEmptyRoutesDoNothing) {
  Route* pRoute = AddRoute(store, {PointAt(0, 0), PointAt(0, 500), PointAt(0, 1000)});
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 200));
  NavigationState before = guidance.State();
  GuidanceFix poor = FixAt(0, 498);
  poor.fHasHdop = true;
  poor.fHdop = 10.5f;
  guidance.Update(poor);
  EXPECT_EQ(0, std::memcmp(&before, &guidance.State(), sizeof before)) << "HDOP above 10 pauses guidance";
  poor.fHdop = 10.0f;
  guidance.Update(poor);
  EXPECT_EQ(guidance.State().iTarget, 2u) << "HDOP 10 is still followed";
  before = guidance.State();
  guidance.Update(none);
  EXPECT_EQ(0, std::memcmp(&before, &guidance.State(), sizeof before));

  // An active route without points: the update does nothing and the
  // pointer target is (0, 0).
  guidance.End();
  Route* pEmpty = AddRoute(store, {});
  guidance.Start(pEmpty, none, 0, 0);
  size_t cEvents = voice.aEvents.size();
  guidance.Update(FixAt(0, 0));
  EXPECT_EQ(guidance.State().nState, nsNotStarted);
  EXPECT_EQ(voice.aEvents.size(), cEvents) << "no arrival on a route without points";
  EXPECT_TRUE(guidance.IsRunning());
  int32_t x = 1, y = 1;
  platform::AssertHook old = platform::SetAssertHook([](const char*, const char*, int) {});
  EXPECT_FALSE(guidance.GetPointerTarget(x, y));
  platform::SetAssertHook(old);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

TEST_F(GuidanceTest, ManeuverKinds) {
  auto Kind = [](uint8_t btKind, int32_t nAngle, uint8_t btParameter = 0) {
    return GetManeuverKind(PointAt(0, 0, btKind, nAngle, btParameter));
  };
  EXPECT_EQ(Kind(c_btKeep, -70, 1), mkLeft) << "keep needs |angle| < 60";
  EXPECT_EQ(Kind(c_btKeep, -20, 1), mkKeepRight) << "keep side 1 is right whatever the angle";
  EXPECT_EQ(Kind(c_btKeep, 20, 0), mkKeepLeft);
  EXPECT_EQ(Kind(rpkManeuver | rpkVia, 90), mkNone) << "not made by the router";
  EXPECT_EQ(Kind(c_btRoad, 90), mkNone) << "without the maneuver flag";
  EXPECT_EQ(Kind(c_btRound, 0, 2), mkToRound);
  EXPECT_EQ(Kind(c_btTurn | rpkRoundaboutExit, 90), mkFromRound);
  EXPECT_EQ(Kind(c_btTurn, 161), mkUTurnRight);
  EXPECT_EQ(Kind(c_btTurn, -161), mkUTurnLeft);
  EXPECT_EQ(Kind(c_btTurn, 160), mkSharpRight);
  EXPECT_EQ(Kind(c_btTurn, -111), mkSharpLeft);
  EXPECT_EQ(Kind(c_btTurn, 110), mkRight);
  EXPECT_EQ(Kind(c_btTurn, -61), mkLeft);
  EXPECT_EQ(Kind(c_btTurn, 60), mkKeepRight);
  EXPECT_EQ(Kind(c_btTurn, -16), mkKeepLeft);
  EXPECT_EQ(Kind(c_btTurn, 15), mkNone);
  char sz[32];
  FormatManeuverKind(sz, sizeof sz, mkToRound, 30, 0x102);
  EXPECT_STREQ(sz, "30 TOROUND 2");
  FormatManeuverKind(sz, sizeof sz, 11, -5, 0);
  EXPECT_STREQ(sz, "-5 UNK");
}

TEST_F(GuidanceTest, NextManeuverDistancesAndChangedFlag) {
  Route* pRoute = AddRoute(store, RoadRoute());
  guidance.Start(pRoute, none, 0, 0);
  EXPECT_TRUE(guidance.TakeManeuverChanged()) << "a new navigation shows its maneuver";
  guidance.Update(FixAt(0, 100));
  const NavigationState& st = guidance.State();
  EXPECT_EQ(st.iNextPoint, 3u) << "road points without the maneuver flag are passed over";
  EXPECT_EQ(st.iNextManeuver, 3u);
  EXPECT_EQ(st.nManeuverKind, mkRight);
  EXPECT_EQ(st.nManeuverAngle, 90);
  EXPECT_NEAR(st.nTurnAtNext, 90, 1);
  EXPECT_NEAR(st.nDistanceToManeuver, 900, 9);
  EXPECT_NEAR(st.nDistanceToEnd, 1900, 19);
  EXPECT_TRUE(guidance.TakeManeuverChanged());
  guidance.Update(FixAt(0, 400));
  EXPECT_FALSE(guidance.TakeManeuverChanged()) << "same maneuver, no redraw";
  guidance.Update(FixAt(100, 1000));
  EXPECT_EQ(st.iNextManeuver, 5u) << "after the turn the next is the end (a via point)";
  EXPECT_EQ(st.nManeuverKind, mkNone);
  EXPECT_TRUE(guidance.TakeManeuverChanged());
}

TEST_F(GuidanceTest, PointerTargetPrefersStoredWaypointsOffRoute) {
  Waypoint* pW = store.NewWaypoint(LonOf(0), LatOf(1000), 0, 0, false, u"W");
  std::vector<RoutePoint> points = RoadRoute();
  points[3].pWaypoint = pW;
  Route* pRoute = AddRoute(store, points);
  guidance.Start(pRoute, none, 0, 0);
  guidance.Update(FixAt(0, 100));
  int32_t x, y;
  ASSERT_TRUE(guidance.GetPointerTarget(x, y));
  EXPECT_EQ(x, points[1].x) << "on route: the target";
  guidance.MutableState().nState = nsOffRoute;
  ASSERT_TRUE(guidance.GetPointerTarget(x, y));
  EXPECT_EQ(x, pW->x) << "off route: the next stored waypoint";
  ASSERT_TRUE(guidance.GetPointerTarget(x, y, true));
  EXPECT_EQ(x, points[5].x);
}

TEST_F(GuidanceTest, StartingAgainEndsTheOldNavigation) {
  Route* pA = AddRoute(store, RoadRoute(), u"A");
  Route* pB = AddRoute(store, RoadRoute(), u"B");
  guidance.Start(pA, none, 0, 0);
  guidance.Update(FixAt(0, 400));
  guidance.Start(pB, none, 0, 0);
  EXPECT_FALSE(pA->dwFlags & rfActive);
  EXPECT_TRUE(pB->dwFlags & rfActive);
  EXPECT_EQ(guidance.ActiveRoute(), pB);
  EXPECT_EQ(guidance.State().iTarget, 0u) << "the state starts afresh";
  EXPECT_GE(host.cSaves, 3);
}

}  // namespace
