// The protocol framework: protocol list, GPS log, traffic dump, error
// names and the week rollover rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "gps/GpsLog.h"
#include "gps/GpsProtocol.h"
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

TEST(GpsEpoch, RolloverRule) {
  ResetAllSettings();
  const double d2000 = 36646.0;  // 2000-04-30, inside epoch 1
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000), d2000);
  // A date 1024 weeks too early moves forward.
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000 - 7168), d2000);
  // One from the third epoch moves back.
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000 + 7168), d2000);
  SetDword(u"GPSEpoch", 2);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000), d2000 + 7168);
  SetBool(u"FixupGPSEpoch", false);
  EXPECT_DOUBLE_EQ(FixupGpsEpoch(d2000 - 7168), d2000 - 7168);
  ResetAllSettings();
}

}  // namespace
