// The protocol framework: protocol list, GPS log, traffic dump, error
// names and the week rollover rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "gps/GpsLog.h"
#include "gps/GpsProtocol.h"
#include "gps/GpsTime.h"
#include "gps/PositionHub.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"

namespace {

TEST(ProtocolList, OrderAndDefaults) {
  ResetAllSettings();
  std::vector<std::u16string> names, enabled;
  for (const ProtocolEntry* p = GetProtocolList(); p; p = p->pNext) {
    names.push_back(p->pszName);
    if (p->IsEnabled()) enabled.push_back(p->pszName);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"sirf100", u"nmea9600", u"nmea", u"garmin"}));
  // With the defaults a port tries nmea first, then garmin.
  EXPECT_EQ(enabled, (std::vector<std::u16string>{u"nmea", u"garmin"}));
  SetBool(u"Enable_Protocol_sirf100", true);
  SetBool(u"Enable_Protocol_garmin", false);
  EXPECT_TRUE(FindProtocol(u"sirf100")->IsEnabled());
  EXPECT_FALSE(FindProtocol(u"garmin")->IsEnabled());
  EXPECT_EQ(std::u16string(FindProtocol(u"nmea9600")->DisplayText()), u"NMEA-0183 (9600 bps)");
  ResetAllSettings();
}

TEST(ProtocolList, ErrorWordNames) {
  EXPECT_EQ(std::u16string(CommErrorName(1)), u"RXOVER");
  EXPECT_EQ(std::u16string(CommErrorName(2)), u"OVERRUN");
  EXPECT_EQ(std::u16string(CommErrorName(8)), u"FRAME");
  EXPECT_EQ(std::u16string(CommErrorName(1024)), u"IOE");
  EXPECT_EQ(std::u16string(CommErrorName(0x8000)), u"MODE");
  EXPECT_EQ(std::u16string(CommErrorName(3)), u"<unknown>");
}

TEST(GpsLogTest, TrafficDump) {
  const uint8_t ab[] = {'$', 0x7F, 0x80, '\r', '\n', 0x00, 0xFF};
  char16_t sz[4 * sizeof ab + 1];
  FormatTraffic(ab, sizeof ab, sz, 4 * sizeof ab + 1);
  EXPECT_EQ(std::u16string(sz), u"$\x7F\\x80\\r\\n\\x00\\xFF");
}

std::vector<std::u16string> g_debugLines;
void CaptureDebug(const char16_t* psz) { g_debugLines.push_back(psz); }

TEST(GpsLogTest, FileWithBomHeaderAndPrefix) {
  std::string dir = std::string(VELMO_BINARY_DIR) + "/gps_log_test";
  platform::CreateDirectoryPath(platform::Utf8ToU16(dir).c_str());
  setenv("VELMO_ROOT_DIR", dir.c_str(), 1);
  std::u16string path = platform::Utf8ToU16(dir + "/gps_log.txt");
  platform::DeleteFilePath(path.c_str());
  ResetAllSettings();
  CloseGpsLog();
  GpsLog(u"not written %d", 1);  // logging is off
  EXPECT_FALSE(platform::FileExists(path.c_str()));

  SetBool(u"LogCOMPorts", true);
  g_debugLines.clear();
  platform::DebugHook old = platform::SetDebugHook(CaptureDebug);
  GpsLog(u"hello %s %d", u"COM3:", 42);
  const uint8_t ab[] = {'A', '\n'};
  LogTraffic(u"COM3:", 2, ab, false);
  platform::SetDebugHook(old);
  CloseGpsLog();

  std::vector<uint8_t> data;
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), data));
  ASSERT_GE(data.size(), 2u);
  EXPECT_EQ(data[0], 0xFF);
  EXPECT_EQ(data[1], 0xFE);
  std::u16string text;
  for (size_t i = 2; i + 1 < data.size(); i += 2) text += char16_t(data[i] | data[i + 1] << 8);
  EXPECT_EQ(text.find(u"-----------------------\r\n"), 0u);
  EXPECT_NE(text.find(u"> Version: 1.1.28.15\r\n"), std::u16string::npos);
  EXPECT_NE(text.find(u"> Today: "), std::u16string::npos);
  size_t pos = text.find(u"> hello COM3: 42\r\n");
  ASSERT_NE(pos, std::u16string::npos);
  // "hh:mm:ss@tttt> "
  ASSERT_GE(pos, 13u);
  std::u16string prefix = text.substr(pos - 13, 15);
  EXPECT_EQ(prefix[2], u':');
  EXPECT_EQ(prefix[5], u':');
  EXPECT_EQ(prefix[8], u'@');
  EXPECT_NE(text.find(u"COM3: received 0002 bytes: -->A\\n<--\r\n"), std::u16string::npos);
  EXPECT_FALSE(g_debugLines.empty());

  // A second session appends behind a new separator, without a second BOM.
  SetBool(u"LogCOMPorts", true);
  GpsLog(u"again");
  CloseGpsLog();
  std::vector<uint8_t> data2;
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), data2));
  EXPECT_GT(data2.size(), data.size());
  EXPECT_NE(data2[data.size()], 0xFF);
  ResetAllSettings();
  unsetenv("VELMO_ROOT_DIR");
}

TEST(GpsEpoch, AnEpochTheUserSetPicksThePeriod) {
  ResetAllSettings();
  SetDword(u"GPSEpoch", 1);
  const double d2000 = 36646.0;  // 2000-04-30, inside epoch 1
  const double dAnyPivot = DaysFromCivil(2026, 1, 1);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000, dAnyPivot), d2000);
  // A date 1024 weeks too early moves forward.
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000 - 7168, dAnyPivot), d2000);
  // One from the third epoch moves back.
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000 + 7168, dAnyPivot), d2000);
  // The first and the last day of the epoch stay.
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(GpsEpochStart(1), dAnyPivot), GpsEpochStart(1));
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(GpsEpochStart(2) - 0.5, dAnyPivot), GpsEpochStart(2) - 0.5);
  SetDword(u"GPSEpoch", 2);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000, dAnyPivot), d2000 + 7168);
  SetBool(u"FixupGPSEpoch", false);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000 - 7168, dAnyPivot), d2000 - 7168);
  ResetAllSettings();
}

TEST(GpsEpoch, WithoutAnEpochSetTheDateFallsOnOrAfterThePivot) {
  ResetAllSettings();
  platform::CSystemTime st;
  platform::GetSystemTimeUtc(st);
  const double dToday = std::floor(platform::SystemTimeToDays(st)) + 0.5;
  // A receiver sending today's date keeps it, built today or years ago.
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(dToday, BuildDate()), dToday);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(dToday, DaysFromCivil(2010, 1, 1)), dToday);
  // One that counts its weeks in 10 bits says today is 1024 weeks earlier.
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(dToday - 7168, BuildDate()), dToday);
  // A receiver that rolled over on 2019-04-06 says 1999-08-22 the day after.
  const double d19990822 = DaysFromCivil(1999, 8, 22), d20190407 = DaysFromCivil(2019, 4, 7);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d19990822, DaysFromCivil(2019, 1, 1)), d20190407);
  // The pivot itself stays; the day before it is a period later.
  const double dPivot = DaysFromCivil(2026, 12, 8);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(dPivot, dPivot), dPivot);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(dPivot - 1, dPivot), dPivot - 1 + 7168);
  // Not a date at all: left for the caller to refuse.
  EXPECT_TRUE(std::isnan(FixupGpsEpoch(std::nan(""), dPivot)));
  // What 2026 looked like under the old default (epoch 1): 2007.
  SetDword(u"GPSEpoch", 1);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(dToday, BuildDate()), dToday - 7168);
  ResetAllSettings();
}

TEST(GpsEpoch, TheBuildDateIsAPlausibleDay) {
  double d = BuildDate();
  platform::CSystemTime st;
  platform::GetSystemTimeUtc(st);
  EXPECT_GE(d, DaysFromCivil(2026, 1, 1));
  EXPECT_LE(d, platform::SystemTimeToDays(st) + 1);
  EXPECT_EQ(d, std::floor(d));
}

TEST(GpsEpoch, TheHubsPivotFollowsTheDatesSeen) {
  ResetAllSettings();
  CPositionHub hub;
  EXPECT_DOUBLE_EQ(hub.DatePivot(), BuildDate());
  hub.SetDatePivot(DaysFromCivil(2019, 1, 1));
  const double d2019 = DaysFromCivil(2019, 12, 15);
  EXPECT_DOUBLE_EQ(hub.ResolveGpsDate(d2019 - 7168), d2019);
  // Half a period behind the newest date: 2019-12-15 does not move a 2019 pivot.
  EXPECT_DOUBLE_EQ(hub.DatePivot(), DaysFromCivil(2019, 1, 1));
  // A date 15 years on moves it, and a date a second before that one stays.
  const double d2034 = DaysFromCivil(2034, 6, 1);
  EXPECT_DOUBLE_EQ(hub.ResolveGpsDate(d2034), d2034);
  EXPECT_DOUBLE_EQ(hub.DatePivot(), d2034 - 3584);
  EXPECT_DOUBLE_EQ(hub.ResolveGpsDate(d2034 - 1.0 / 86400), d2034 - 1.0 / 86400);
  // A 2019 date after it is a step back in time (another capture, another
  // receiver), never a roll-over to 2039: dates must not climb by periods.
  EXPECT_DOUBLE_EQ(hub.ResolveGpsDate(d2019), d2019);
  EXPECT_DOUBLE_EQ(hub.ResolveGpsDate(d2034), d2034);
  // A run that goes on past the end of the first period keeps going: the
  // program has been running for years.
  const double dEnd = DaysFromCivil(2019, 1, 1) + 7168;
  for (double d = dEnd - 40; d < dEnd + 40; d += 10) EXPECT_DOUBLE_EQ(hub.ResolveGpsDate(d), d) << d - dEnd;
  hub.Reset();
  EXPECT_DOUBLE_EQ(hub.DatePivot(), BuildDate());
}

}  // namespace
