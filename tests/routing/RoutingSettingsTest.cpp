// The routing settings: defaults, what each option page writes, values
// outside their range, and the route request built from them.
#include <gtest/gtest.h>

#include "map/RouteOptions.h"
#include "routing/RoutingSettings.h"
#include "settings/SettingsTable.h"

namespace {

class RoutingSettingsTest : public ::testing::Test {
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
};

TEST_F(RoutingSettingsTest, DefaultsAreTheFastestCarRouteAvoidingUTurnsAndUnpavedRoads) {
  RoutingSettings s = ReadRoutingSettings();
  EXPECT_TRUE(s.FollowsRoads());
  EXPECT_TRUE(s.IsTimeBased());
  EXPECT_EQ(s.dwVehicle, 2u);
  EXPECT_TRUE(s.fAvoidUTurns);
  EXPECT_FALSE(s.fAvoidTolls);
  EXPECT_FALSE(s.fAvoidHighways);
  EXPECT_TRUE(s.fAvoidUnpaved);
  EXPECT_EQ(s.dwOffRoute, 1u);
  EXPECT_EQ(s.dwAnnouncementLead, 2u);
}

TEST_F(RoutingSettingsTest, EachPageWritesOnlyItsOwnValuesAndTheyReadBack) {
  RoutingSettings s;
  s.dwStyle = rsStraight;
  s.dwOptimization = 3;
  s.dwVehicle = 0;
  s.fAvoidUTurns = false;
  s.fAvoidTolls = true;
  s.fAvoidHighways = true;
  s.fAvoidUnpaved = false;
  s.dwOffRoute = orvStopGuidance;
  s.dwAnnouncementLead = 4;

  WriteRouteStyleSettings(s);
  RoutingSettings r = ReadRoutingSettings();
  EXPECT_EQ(r.dwStyle, uint32_t(rsStraight));
  EXPECT_EQ(r.dwOptimization, 3u);
  EXPECT_EQ(r.dwVehicle, 0u);
  EXPECT_TRUE(r.fAvoidUTurns) << "the avoid page's values are not the routing page's";
  EXPECT_EQ(r.dwOffRoute, 1u);

  WriteAvoidSettings(s);
  r = ReadRoutingSettings();
  EXPECT_FALSE(r.fAvoidUTurns);
  EXPECT_TRUE(r.fAvoidTolls);
  EXPECT_TRUE(r.fAvoidHighways);
  EXPECT_FALSE(r.fAvoidUnpaved);
  EXPECT_EQ(r.dwAnnouncementLead, 2u);

  WriteOffRouteSettings(s);
  r = ReadRoutingSettings();
  EXPECT_EQ(r.dwOffRoute, uint32_t(orvStopGuidance));
  EXPECT_EQ(r.dwAnnouncementLead, 4u);
  // Under the names the rest of the program reads.
  EXPECT_EQ(GetDword(u"RoutingVehicle", 99), 0u);
  EXPECT_EQ(GetDword(u"RoutingAvoidTollRoads", 99), 1u);
  EXPECT_EQ(GetDword(u"RoutingAMN", 99), 4u);
}

TEST_F(RoutingSettingsTest, MalformedStoredValuesReadAsTheirDefaults) {
  SetDword(u"RoutingVehicle", 8);  // one past the last vehicle
  SetDword(u"RoutingStyle", 2);
  SetDword(u"RoutingOptimization", 5);
  SetDword(u"RoutingAMN", 0xFFFFFFFFu);
  SetString(u"RoutingAvoidUnpavedRoads", u"0");  // text, not a number
  RoutingSettings s = ReadRoutingSettings();
  EXPECT_EQ(s.dwVehicle, 2u);
  EXPECT_EQ(s.dwStyle, uint32_t(rsRoads));
  EXPECT_EQ(s.dwOptimization, 0u);
  EXPECT_EQ(s.dwAnnouncementLead, 2u);
  EXPECT_TRUE(s.fAvoidUnpaved);
  // The edges of the ranges are values of their own.
  SetDword(u"RoutingVehicle", 7);
  SetDword(u"RoutingStyle", 1);
  SetDword(u"RoutingOptimization", 4);
  SetDword(u"RoutingAMN", 0);
  s = ReadRoutingSettings();
  EXPECT_EQ(s.dwVehicle, 7u);
  EXPECT_EQ(s.dwStyle, uint32_t(rsStraight));
  EXPECT_EQ(s.dwOptimization, 4u);
  EXPECT_EQ(s.dwAnnouncementLead, 0u);
}

TEST_F(RoutingSettingsTest, TheRequestTakesVehicleCostAndAvoidFlags) {
  RoutingSettings s;
  s.dwVehicle = 7;
  s.dwOptimization = 3;  // any non-zero position: length-based
  s.fAvoidUTurns = false;
  s.fAvoidTolls = true;
  s.fAvoidHighways = false;
  s.fAvoidUnpaved = true;
  RouteOptions request;
  request.points.resize(3);
  FillRouteOptions(s, request);
  EXPECT_EQ(request.nVehicle, 7);
  EXPECT_EQ(request.fTimeBased, 0);
  EXPECT_TRUE(request.points.empty());
  EXPECT_EQ(request.fAvoidUTurns, 0);
  EXPECT_EQ(request.fAvoidTolls, 1);
  EXPECT_EQ(request.fAvoidHighways, 0);
  EXPECT_EQ(request.fAvoidUnpaved, 1);
  s.dwOptimization = 0;
  FillRouteOptions(s, request);
  EXPECT_EQ(request.fTimeBased, 1);
}

TEST(OffRouteChoices, EveryChoiceShowsAgainAfterItWasSaved) {
  ASSERT_EQ(c_cOffRouteChoices, 3u);
  EXPECT_EQ(c_aOffRouteChoices[0].idsText, 2047u);
  EXPECT_EQ(c_aOffRouteChoices[0].dwValue, uint32_t(orvRecalculate));
  EXPECT_EQ(c_aOffRouteChoices[1].idsText, 2046u);
  EXPECT_EQ(c_aOffRouteChoices[1].dwValue, uint32_t(orvAskFirst));
  EXPECT_EQ(c_aOffRouteChoices[2].idsText, 2045u);
  for (size_t i = 0; i < c_cOffRouteChoices; ++i)
    EXPECT_EQ(FindOffRouteChoice(c_aOffRouteChoices[i].dwValue), int(i)) << "choice " << i;
  EXPECT_EQ(FindOffRouteChoice(9), -1);
}

}  // namespace
