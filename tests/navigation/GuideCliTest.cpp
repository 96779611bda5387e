// velmo-cli guide along a generated drive: the voice script a driver hears.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/Str.h"
#include "settings/Settings.h"
#include "tests/navigation/DemoDrive.h"

using namespace navtest;

namespace {

std::string RunCli(const std::string& strCmd) {
  std::string out;
  FILE* f = popen(strCmd.c_str(), "r");
  if (!f) return out;
  char buf[4096];
  size_t cb;
  while ((cb = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, cb);
  pclose(f);
  return out;
}

struct Said {
  unsigned nFix;
  std::string strWhat;  // "say" or "event"
  std::string strText;
  int nAt = -1, nFar = 0, nNear = 0;
};

std::vector<Said> ParseScript(const std::string& out) {
  std::vector<Said> a;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream ls(line);
    std::string field;
    while (std::getline(ls, field, '\t')) f.push_back(field);
    if (f.size() < 3 || (f[1] != "say" && f[1] != "event")) continue;
    Said s;
    s.nFix = unsigned(std::atoi(f[0].c_str()));
    s.strWhat = f[1];
    s.strText = f[2];
    if (f[1] == "say" && f.size() >= 5) {
      std::sscanf(f[3].c_str(), "at %d m", &s.nAt);
      std::sscanf(f[4].c_str(), "(far %d, near %d)", &s.nFar, &s.nNear);
    }
    a.push_back(s);
  }
  return a;
}

class GuideCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAllSettings();
    strDir = ::testing::TempDir() + "velmo_guide_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    platform::CreateDirectoryPath(platform::Utf8ToU16(strDir).c_str());
    CWaypointStore store;
    AddRoute(store, DemoDriveRoute(), u"Drive");
    strStore = strDir + "/Waypoints.bin";
    ASSERT_TRUE(store.SaveFile(platform::Utf8ToU16(strStore).c_str()));
  }
  void TearDown() override { ResetAllSettings(); }
  std::string Drive(bool fDetour, const std::string& strOptions = "") {
    std::string strTrack = strDir + (fDetour ? "/detour.nmea" : "/drive.nmea");
    std::string nmea = DemoDriveNmea(fDetour);
    EXPECT_TRUE(platform::WriteFileAtomic(platform::Utf8ToU16(strTrack).c_str(), nmea.data(), nmea.size()));
    return RunCli(std::string(VELMO_BINARY_DIR) + "/tools/cli/velmo-cli guide - --route " + strStore +
               " Drive " + strTrack + " --style 0 " + strOptions + " 2>&1");
  }

  std::string strDir, strStore;
};

// 60 km/h at one fix a second: the car moves 16.7 m between fixes.
const int c_nStep = 17;

void ExpectTimely(const Said& s) {
  ASSERT_EQ(s.strWhat, "say");
  bool fFar = s.strText.rfind("Pre ", 0) == 0;
  int nLimit = fFar ? s.nFar : s.nNear;
  EXPECT_EQ(s.nFar, 574) << "60 km/h with the default lead";
  EXPECT_EQ(s.nNear, 152);
  // Posted at the first fix inside the distance: within one fix of it.
  if (fFar)
    EXPECT_LE(s.nAt, nLimit) << s.strText;
  else
    EXPECT_LT(s.nAt, nLimit) << s.strText;
  EXPECT_GT(s.nAt, nLimit - c_nStep - 2) << s.strText << " posted late";
}

TEST_F(GuideCliTest, EveryManeuverIsAnnouncedFarAndNearInOrderAndArrivalOnce) {
  std::string out = Drive(false);
  std::vector<Said> a = ParseScript(out);
  std::vector<std::string> texts;
  for (const Said& s : a) texts.push_back(s.strText);
  EXPECT_EQ(texts, (std::vector<std::string>{"Pre TurnRight", "TurnRight", "Pre RoundAbout 2nd", "RoundAbout 2nd",
                                             "Pre Left", "Left", "RouteEnd"}))
      << out;
  for (const Said& s : a)
    if (s.strWhat == "say") ExpectTimely(s);
  EXPECT_NE(out.find("navigation ended"), std::string::npos) << out;
  EXPECT_NE(out.find("finished"), std::string::npos);
}

TEST_F(GuideCliTest, DetourGivesRouteOutAndGuidanceResumes) {
  // Without a map there is nothing to recalculate with: guidance reports
  // leaving the route once, tries one recalculation, and takes the route up
  // again when the car comes back to it.
  std::string out = Drive(true);
  std::vector<Said> a = ParseScript(out);
  std::vector<std::string> texts;
  for (const Said& s : a) texts.push_back(s.strText);
  EXPECT_EQ(texts, (std::vector<std::string>{"RouteOut", "Pre TurnRight", "TurnRight", "Pre RoundAbout 2nd",
                                             "RoundAbout 2nd", "Pre Left", "Left", "RouteEnd"}))
      << out;
  EXPECT_NE(out.find("off route"), std::string::npos) << out;
  EXPECT_NE(out.find("recalculations: 1,"), std::string::npos) << out;
  for (const Said& s : a)
    if (s.strWhat == "say") ExpectTimely(s);
}

TEST_F(GuideCliTest, OffRouteReportingOnlyDoesNotRecalculate) {
  std::string out = Drive(true, "--offroute 0");
  EXPECT_NE(out.find("recalculations: 0,"), std::string::npos) << out;
  EXPECT_NE(out.find("event\tRouteOut"), std::string::npos) << out;
  EXPECT_NE(out.find("event\tRouteEnd"), std::string::npos) << out;
}

TEST_F(GuideCliTest, GoToAPoint) {
  std::string strTrack = strDir + "/drive.nmea";
  std::string nmea = DemoDriveNmea(false);
  ASSERT_TRUE(platform::WriteFileAtomic(platform::Utf8ToU16(strTrack).c_str(), nmea.data(), nmea.size()));
  char szTo[64];
  std::snprintf(szTo, sizeof szTo, "%.7f %.7f", LatOf(1200), LonOf(600));
  std::string out = RunCli(std::string(VELMO_BINARY_DIR) + "/tools/cli/velmo-cli guide - --to " + szTo + " " +
                        strTrack + " --style 0 2>&1");
  std::vector<Said> a = ParseScript(out);
  ASSERT_EQ(a.size(), 1u) << out;
  EXPECT_EQ(a[0].strText, "RouteEnd");
  EXPECT_NE(out.find("route\t1 points"), std::string::npos) << out;
}

TEST_F(GuideCliTest, BadArguments) {
  std::string out = RunCli(std::string(VELMO_BINARY_DIR) + "/tools/cli/velmo-cli guide - " + strStore + " 2>&1");
  EXPECT_NE(out.find("usage"), std::string::npos);
  out = RunCli(std::string(VELMO_BINARY_DIR) + "/tools/cli/velmo-cli guide - --route " + strStore +
            " NoSuchRoute /nonexistent.nmea 2>&1");
  EXPECT_NE(out.find("cannot"), std::string::npos) << out;
}

}  // namespace
