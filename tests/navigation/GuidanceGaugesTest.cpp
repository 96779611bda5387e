// The navigation gauges fed by guidance: what the program's guidance state
// reports on, off and before a route, and the texts the gauges show.
#include <gtest/gtest.h>

#include "navigation/GuidanceGauges.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "tests/gauges/GaugeTestUtil.h"
#include "tests/navigation/RouteBuilder.h"

using namespace navtest;

namespace {

GpsFix MovingFix(double fEast, double fNorth, float fCourse, float fKmh) {
  GpsFix f;
  f.Start();
  f.SetPosition(float(LonOf(fEast)), float(LatOf(fNorth)));
  f.SetCourse(fCourse);
  f.SetSpeed(fKmh);
  return f;
}

// The program's adapter with a fix of the test's choosing.
class CTestGuidanceGauges : public CGuidanceState {
 public:
  explicit CTestGuidanceGauges(CGuidance& guidance) : m_guidance(guidance) { m_fix.Start(); }
  bool GetGuidance(GuidanceInfo& info) override { return FillGuidanceInfo(m_guidance, m_fix, m_dSpeed, info); }
  CGuidance& m_guidance;
  GpsFix m_fix;
  double m_dSpeed = 0;
};

class GuidanceGaugesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAllSettings();
    SetDword(setting::RoutingStyle.pszName, 1);
    SetDword(setting::RoutingOffRoute.pszName, 0);
  }
  void TearDown() override {
    SetGuidanceState(nullptr);
    ResetAllSettings();
  }
  bool Info(const GpsFix& fix, double dSpeed) { return FillGuidanceInfo(guidance, fix, dSpeed, info); }

  CWaypointStore store;
  CFakeHost host;
  CFakeVoice voice;
  CGuidance guidance{store, &host, &voice};
  GuidanceInfo info = {};
};

TEST_F(GuidanceGaugesTest, NothingWithoutARoute) {
  GpsFix fix = MovingFix(0, 0, 0, 36);
  info.dwValid = 0x12345;
  EXPECT_FALSE(Info(fix, 36));
  EXPECT_EQ(info.dwValid, 0x12345u) << "left untouched";
}

TEST_F(GuidanceGaugesTest, GoToPointGivesDistanceTimeCourseAndSpeedMadeGood) {
  guidance.GoTo(PointAt(0, 1000).x, PointAt(0, 1000).y, GuidanceFix{}, 0, 0);
  // Heading north at 36 km/h straight at the point.
  GpsFix fix = MovingFix(0, 0, 0, 36);
  guidance.Update(FixAt(0, 0));
  ASSERT_TRUE(Info(fix, 36));
  EXPECT_TRUE(info.dwValid & gdRouteName);
  EXPECT_EQ(std::u16string(info.szRouteName), u"GoTo");
  EXPECT_FALSE(info.dwValid & gdFinalName) << "the point has no name";
  ASSERT_TRUE(info.dwValid & gdDistanceNext);
  EXPECT_NEAR(info.dDistanceNext, 1000, 10);
  EXPECT_NEAR(info.dDistanceFinal, 1000, 10);
  ASSERT_TRUE(info.dwValid & gdTimeNext);
  EXPECT_NEAR(info.dTimeNext * 86400, 100, 1.5) << "1000 m at 10 m/s";
  EXPECT_NEAR(info.dTimeFinal * 86400, 100, 1.5);
  ASSERT_TRUE(info.dwValid & gdBearing);
  EXPECT_TRUE(info.fBearing < 1 || info.fBearing > 359) << info.fBearing;
  ASSERT_TRUE(info.dwValid & gdPointer);
  EXPECT_NEAR(info.fPointer, 0, 1);
  ASSERT_TRUE(info.dwValid & gdVmg);
  EXPECT_NEAR(info.fVmg, 36, 0.1);
  // Heading east: the point is 90° to the left, nothing is made good.
  fix = MovingFix(0, 0, 90, 36);
  ASSERT_TRUE(Info(fix, 36));
  EXPECT_NEAR(info.fPointer, -90, 1);
  EXPECT_NEAR(info.fVmg, 0, 0.7);
  // Heading south: right behind, the speed made good is negative.
  fix = MovingFix(0, 0, 180, 36);
  ASSERT_TRUE(Info(fix, 36));
  EXPECT_NEAR(std::fabs(info.fPointer), 180, 1);
  EXPECT_NEAR(info.fVmg, -36, 0.1);
}

TEST_F(GuidanceGaugesTest, StandingStillOrWithoutACourseLeavesThoseValuesOut) {
  guidance.GoTo(PointAt(0, 1000).x, PointAt(0, 1000).y, GuidanceFix{}, 0, 0);
  guidance.Update(FixAt(0, 0));
  GpsFix fix = MovingFix(0, 0, 0, 1);
  ASSERT_TRUE(Info(fix, 1.9));
  EXPECT_FALSE(info.dwValid & (gdTimeNext | gdTimeFinal)) << "no times below 2 km/h";
  EXPECT_TRUE(info.dwValid & gdDistanceNext);
  fix.Clear(gfCourse);
  ASSERT_TRUE(Info(fix, 20));
  EXPECT_FALSE(info.dwValid & (gdPointer | gdVmg));
  EXPECT_TRUE(info.dwValid & gdBearing);
  EXPECT_TRUE(info.dwValid & gdTimeNext);
  // No position at all: the names and the distances guidance keeps.
  GpsFix none;
  none.Start();
  ASSERT_TRUE(Info(none, 20));
  EXPECT_TRUE(info.dwValid & gdRouteName);
  EXPECT_TRUE(info.dwValid & gdDistanceNext);
  EXPECT_FALSE(info.dwValid & (gdBearing | gdTimeNext | gdPointer | gdVmg));
}

std::vector<RoutePoint> NamedRoadRoute() {
  std::vector<RoutePoint> a = {PointAt(0, 0, rpkVia),          PointAt(0, 300, c_btRoad),
                               PointAt(0, 600, c_btRoad),       PointAt(0, 1000, c_btTurn, 90),
                               PointAt(500, 1000, c_btRoad),    PointAt(1000, 1000, rpkVia)};
  a[0].strLabel = u"Start";
  a[5].strLabel = u"Рыбинск";
  return a;
}

TEST_F(GuidanceGaugesTest, OnTheRouteTheDistancesRunAlongItAndOffItStraightToTheTarget) {
  Route* pRoute = AddRoute(store, NamedRoadRoute(), u"Дача");
  guidance.Start(pRoute, GuidanceFix{}, 0, 0);
  guidance.Update(FixAt(0, 100));
  ASSERT_EQ(guidance.State().nState, nsOnRoute);
  ASSERT_TRUE(Info(MovingFix(0, 100, 0, 50), 50));
  EXPECT_EQ(std::u16string(info.szRouteName), u"Дача");
  EXPECT_EQ(std::u16string(info.szFinalName), u"Рыбинск");
  EXPECT_EQ(std::u16string(info.szNextName), u"Рыбинск") << "the first named point from the target on";
  EXPECT_NEAR(info.dDistanceNext, 900, 9) << "along the route to the turn";
  EXPECT_NEAR(info.dDistanceFinal, 1900, 19) << "along the route, not the 1345 m straight line";
  ASSERT_TRUE(info.dwValid & gdManeuver);
  EXPECT_EQ(info.nManeuver, mkRight);
  EXPECT_NEAR(info.dManeuverDistance, 900, 9);
  EXPECT_NEAR(info.dTimeFinal * 86400, 1900 / (50 / 3.6), 2);
  // 150 m beside the route (no recalculation): off route, straight lines.
  guidance.Update(FixAt(150, 350));
  ASSERT_EQ(guidance.State().nState, nsOffRoute);
  ASSERT_TRUE(Info(MovingFix(150, 350, 0, 50), 50));
  EXPECT_FALSE(info.dwValid & gdManeuver) << "no maneuver off the route";
  EXPECT_NEAR(info.dDistanceFinal, std::hypot(850.0, 650.0), 10);
  EXPECT_TRUE(info.dwValid & gdBearing);
}

TEST_F(GuidanceGaugesTest, TheGaugesShowGuidanceWhileItRunsAndDashesAfter) {
  gaugetest::FreshGauges();
  CTestGuidanceGauges state(guidance);
  SetGuidanceState(&state);
  const char16_t* const apsz[] = {u"vmg", u"route", u"pointer", u"eta_final", u"eta", u"ete_final", u"ete",
                                  u"distance_final", u"distance_cur", u"bearing"};
  for (const char16_t* psz : apsz) EXPECT_EQ(gaugetest::Text(psz), "-") << platform::U16ToUtf8(psz);
  guidance.GoTo(PointAt(0, 1000).x, PointAt(0, 1000).y, GuidanceFix{}, 0, 0);
  guidance.Update(FixAt(0, 0));
  state.m_fix = MovingFix(0, 0, 0, 36);
  state.m_dSpeed = 36;
  for (const char16_t* psz : apsz) EXPECT_NE(gaugetest::Text(psz), "-") << platform::U16ToUtf8(psz);
  EXPECT_EQ(gaugetest::Text(u"route"), "GoTo");
  EXPECT_EQ(gaugetest::Text(u"ete"), "0:01:40");
  guidance.End();
  for (const char16_t* psz : apsz) EXPECT_EQ(gaugetest::Text(psz), "-") << platform::U16ToUtf8(psz);
}

}  // namespace
