// Receiver dates over a long run: the shared captures (1999 to 2019, from
// receivers with and without the 1024-week roll-over) played one after
// another into one hub, as a port that sees one receiver after another.
// Each capture must keep the dates it has when played alone: a capture
// whose dates step back in time is a step back, never a roll-over that moves
// it on by a period, so dates never climb; and the clock is never set past
// one period after the build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "gps/GpsLog.h"
#include "gps/GpsTime.h"
#include "gps/PositionHub.h"
#include "gps/Replay.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "tests/gps/CaptureTest.h"

namespace {

struct Capture {
  const char* pszName;
  const char* pszProtocol;
};

// Every capture of the shared folder that yields dated fixes (GPSmap-76S, a
// unit in simulator mode, gives none).
const Capture c_aCaptures[] = {
    {"foretrex-201", "nmea"},   {"garmin48", "nmea"},     {"bundg_zeus_9", "nmea"},
    {"humminbird-M37", "nmea"}, {"firefly-II", "nmea"},  {"com-1289", "nmea"},     {"triton400", "nmea"},
    {"haicom-305N", "nmea"},   {"magellan-ec10", "nmea"}, {"bu353s4", "nmea"},     {"garmin18x-bin", "garmin"},
    {"bu303-moving", "sirf"},  {"sirfstarv", "sirf"},    {"ublox-sirf1", "sirf"},
};

class CDates : public CPositionListener {
 public:
  void OnFixTaken(const GpsFix& fix, uint32_t) override {
    if (fix.Has(gfTime)) m_aDates.push_back(fix.time);
  }
  std::vector<double> m_aDates;
};

std::vector<double> g_aClockSets;
bool RecordClockSet(const platform::CSystemTime& st) {
  g_aClockSets.push_back(platform::SystemTimeToDays(st));
  return true;
}
uint32_t g_dwTick = 0;
uint32_t StepTick() { return g_dwTick += 20000; }  // every correction is due
double Now() { return BuildDate() + 0.5; }

std::vector<double> Play(CPositionHub& hub, const Capture& cap, bool fClock) {
  std::vector<uint8_t> data;
  EXPECT_TRUE(platform::ReadWholeFile(
      platform::Utf8ToU16(gpstest::CaptureDir() + "/" + cap.pszName + "/raw.bin").c_str(), data));
  CDates dates;
  hub.Subscribe(&dates);
  {
    CReplayStream stream(hub, cap.pszProtocol, 0, 4096);
    hub.AllowClockCorrection(fClock);
    stream.Feed(data.data(), data.size());
    stream.Finish();
  }
  hub.Unsubscribe(&dates);
  return dates.m_aDates;
}

class CaptureDates : public gpstest::CaptureTest {};

TEST_F(CaptureDates, CapturesOneAfterAnotherKeepTheirOwnDatesAndTheClockStaysWithinAPeriod) {
  platform::SetTimeHook pfnOldSet = platform::SetSetTimeHook(RecordClockSet);
  GpsTickSource pfnOldTick = SetGpsTickSource(StepTick);
  const double dBuild = BuildDate(), dEnd = BuildDate() + c_dGpsEpochDays;
  // Each capture alone, as a program built today reads it live.
  std::vector<std::vector<double>> alone;
  for (const Capture& cap : c_aCaptures) {
    CPositionHub hub;
    alone.push_back(Play(hub, cap, false));
    EXPECT_FALSE(alone.back().empty()) << cap.pszName;
  }
  // All of them through one hub, forwards and backwards in time, the clock
  // correction on.
  for (int nOrder = 0; nOrder < 2; ++nOrder) {
    std::vector<size_t> order;
    for (size_t i = 0; i < alone.size(); ++i) order.push_back(i);
    if (nOrder == 1) std::reverse(order.begin(), order.end());
    CPositionHub hub;
    hub.SetUtcNowSource(Now);
    hub.SetClockFloor(dBuild);
    g_aClockSets.clear();
    for (size_t i : order) {
      SCOPED_TRACE(std::string(c_aCaptures[i].pszName) + (nOrder ? " (backwards)" : ""));
      std::vector<double> dates = Play(hub, c_aCaptures[i], true);
      ASSERT_EQ(dates.size(), alone[i].size());
      for (size_t j = 0; j < dates.size(); ++j) {
        // The same date, not one moved on by whole 1024-week periods.
        ASSERT_DOUBLE_EQ(dates[j], alone[i][j]) << "fix " << j << ", " << (dates[j] - alone[i][j]) / 7168
                                                << " periods on";
        ASSERT_GE(dates[j], dBuild - 1);
        ASSERT_LT(dates[j], dEnd);
      }
    }
    EXPECT_FALSE(g_aClockSets.empty());
    for (double d : g_aClockSets) {
      EXPECT_GE(d, dBuild);
      EXPECT_LT(d, dEnd);
    }
  }
  SetGpsTickSource(pfnOldTick);
  platform::SetSetTimeHook(pfnOldSet);
}

// The clock is never set to a date more than one period past the build,
// whatever the receiver says; a date within it sets it as before.
TEST(PositionHubClock, TheClockIsNeverSetBeyondOnePeriodAfterTheBuild) {
  ResetAllSettings();
  platform::SetTimeHook pfnOldSet = platform::SetSetTimeHook(RecordClockSet);
  GpsTickSource pfnOldTick = SetGpsTickSource(StepTick);
  CPositionHub hub;
  hub.SetUtcNowSource(Now);
  hub.SetClockFloor(BuildDate());
  g_aClockSets.clear();
  hub.FixupClock(BuildDate() + c_dGpsEpochDays + 0.25);
  hub.FixupClock(BuildDate() + 3 * c_dGpsEpochDays);
  EXPECT_TRUE(g_aClockSets.empty());
  hub.FixupClock(BuildDate() + c_dGpsEpochDays - 1);
  ASSERT_EQ(g_aClockSets.size(), 1u);
  EXPECT_NEAR(g_aClockSets[0], BuildDate() + c_dGpsEpochDays - 1, 1e-6);
  SetGpsTickSource(pfnOldTick);
  platform::SetSetTimeHook(pfnOldSet);
}

}  // namespace
