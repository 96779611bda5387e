// The settings store against the registry of the platform: the real
// registry under Wine, the file-backed store natively.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "settings/RegKey.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "platform/Str.h"

using namespace platform;

namespace {

class SettingsTest : public ::testing::Test {
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

TEST_F(SettingsTest, MissingValuesReadAsTheirDefaults) {
  EXPECT_EQ(GetDword(u"NoSuchValue", 1234u), 1234u);
  EXPECT_TRUE(GetBool(u"NoSuchValue", true));
  EXPECT_FALSE(GetBool(u"NoSuchValue", false));
  char16_t sz[32];
  GetString(u"NoSuchValue", sz, 32, u"fallback");
  EXPECT_EQ(std::u16string(sz), u"fallback");
  GetString(u"NoSuchValue", sz, 32, nullptr);
  EXPECT_EQ(std::u16string(sz), u"");
}

TEST_F(SettingsTest, NumbersAndBooleansRoundTrip) {
  SetDword(u"MapZoom", 17);
  EXPECT_EQ(GetDword(u"MapZoom", 10), 17u);
  SetDword(u"MapXc", 0xFFFFFFFFu);
  EXPECT_EQ(GetDword(u"MapXc", 0), 0xFFFFFFFFu);
  SetBool(u"RotateMap", true);
  EXPECT_TRUE(GetBool(u"RotateMap", false));
  SetBool(u"RotateMap", false);
  EXPECT_FALSE(GetBool(u"RotateMap", true));
}

TEST_F(SettingsTest, AnyNonZeroNumberIsTrue) {
  SetDword(u"ShowTrack", 256);
  EXPECT_TRUE(GetBool(u"ShowTrack", false));
  SetDword(u"ShowTrack", 0x80000000u);
  EXPECT_TRUE(GetBool(u"ShowTrack", false));
}

TEST_F(SettingsTest, WrongTypeReadsAsDefault) {
  SetString(u"MapZoom", u"12");
  EXPECT_EQ(GetDword(u"MapZoom", 10), 10u);
  EXPECT_TRUE(GetBool(u"MapZoom", true));
  SetDword(u"MapFileName", 5);
  char16_t sz[260];
  GetString(u"MapFileName", sz, 260, u"default.vel");
  EXPECT_EQ(std::u16string(sz), u"default.vel");
}

TEST_F(SettingsTest, WrongSizeReadsAsDefault) {
  uint8_t two[2] = {1, 0};
  ASSERT_EQ(RegSet(g_hkeySettings, u"Page", c_regDword, two, 2), c_errSuccess);
  EXPECT_EQ(GetDword(u"Page", 3), 3u);
  uint8_t eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(RegSet(g_hkeySettings, u"Page", c_regBinary, eight, 8), c_errSuccess);
  EXPECT_EQ(GetDword(u"Page", 3), 3u);
}

TEST_F(SettingsTest, StringLongerThanTheBufferGivesTheDefaultNotATruncation) {
  SetString(u"Find_Name", u"0123456789");
  char16_t sz[8];
  GetString(u"Find_Name", sz, 8, u"def");
  EXPECT_EQ(std::u16string(sz), u"def");
  // Exactly fitting (10 characters + terminator in 11) is read.
  char16_t sz11[11];
  GetString(u"Find_Name", sz11, 11, u"def");
  EXPECT_EQ(std::u16string(sz11), u"0123456789");
}

TEST_F(SettingsTest, NullStringStoresAnEmptyString) {
  SetString(u"Find_Zip", nullptr);
  DWORD dwType = 0, cb = 0;
  ASSERT_EQ(RegQuery(g_hkeySettings, u"Find_Zip", &dwType, nullptr, &cb), c_errSuccess);
  EXPECT_EQ(dwType, c_regSz);
  EXPECT_EQ(cb, 2u);  // the terminator alone
  char16_t sz[16];
  GetString(u"Find_Zip", sz, 16, u"default");
  EXPECT_EQ(std::u16string(sz), u"");
}

TEST_F(SettingsTest, CyrillicStringsRoundTrip) {
  SetString(u"Find_Street", u"Тверская улица");
  char16_t sz[64];
  GetString(u"Find_Street", sz, 64, u"");
  EXPECT_EQ(std::u16string(sz), u"Тверская улица");
}

TEST_F(SettingsTest, DeleteMakesTheDefaultComeBack) {
  SetDword(u"MapAngle", 90);
  DeleteSetting(u"MapAngle");
  EXPECT_EQ(GetDword(u"MapAngle", 0), 0u);
}

TEST_F(SettingsTest, ResetRemovesEveryValueAndKeepsTheKey) {
  for (int i = 0; i < 30; ++i) SetDword(FormatStr(u"Value_%d", i).c_str(), DWORD(i + 1));
  SetString(u"MapFileName", u"C:\\maps\\a.vel");
  ResetAllSettings();
  for (int i = 0; i < 30; ++i) EXPECT_EQ(GetDword(FormatStr(u"Value_%d", i).c_str(), 0), 0u);
  char16_t sz[260];
  GetString(u"MapFileName", sz, 260, u"");
  EXPECT_EQ(std::u16string(sz), u"");
  char16_t szName[100];
  DWORD cch = 100;
  EXPECT_EQ(RegListValue(g_hkeySettings, 0, szName, &cch), c_errNoMoreItems);
  // The key is still there: a fresh open finds it and writes work.
  CRegKey key;
  EXPECT_EQ(key.Open(RegRootHandle(rrCurrentUser), c_szSettingsKey), c_errSuccess);
  SetDword(u"MapZoom", 4);
  EXPECT_EQ(GetDword(u"MapZoom", 10), 4u);
}

TEST_F(SettingsTest, ValuesPersistAcrossCloseAndReopen) {
  SetDword(u"MapZoom", 21);
  CloseSettings();
  EXPECT_EQ(g_hkeySettings, nullptr);
  EXPECT_EQ(GetDword(u"MapZoom", 10), 21u);  // reopened lazily
  EXPECT_NE(g_hkeySettings, nullptr);
}

TEST(RegKeyTest, QueriesReturnErrorCodesAndDefaultValueUsesNullName) {
  CRegKey root;
  ASSERT_EQ(root.Create(RegRootHandle(rrCurrentUser), u"Software\\Velmo\\TestKey"), c_errSuccess);
  ASSERT_TRUE(root.IsOpen());
  EXPECT_EQ(root.SetString(nullptr, u"imgfile"), c_errSuccess);
  char16_t sz[32];
  EXPECT_EQ(root.QueryString(nullptr, sz, 32), c_errSuccess);
  EXPECT_EQ(std::u16string(sz), u"imgfile");
  DWORD dw = 7;
  EXPECT_EQ(root.QueryDword(u"missing", dw), c_errFileNotFound);
  EXPECT_EQ(dw, 7u);
  EXPECT_EQ(root.SetDword(u"n", 42), c_errSuccess);
  EXPECT_EQ(root.QueryDword(u"n", dw), c_errSuccess);
  EXPECT_EQ(dw, 42u);
  EXPECT_EQ(root.QueryString(u"long", sz, 32), c_errFileNotFound);
  EXPECT_EQ(root.SetString(u"long", u"a string of more than eight characters"), c_errSuccess);
  char16_t small[8];
  EXPECT_EQ(root.QueryString(u"long", small, 8), c_errMoreData);
  EXPECT_EQ(root.SetString(u"empty", nullptr), c_errSuccess);
  DWORD dwType = 0, cb = 99;
  EXPECT_EQ(RegQuery(root.Handle(), u"empty", &dwType, nullptr, &cb), c_errSuccess);
  EXPECT_EQ(cb, 0u);
  root.Close();
  EXPECT_EQ(RegDeleteKeyTree(RegRootHandle(rrCurrentUser), u"Software\\Velmo\\TestKey"), c_errSuccess);
  CRegKey gone;
  EXPECT_EQ(gone.Open(RegRootHandle(rrCurrentUser), u"Software\\Velmo\\TestKey"), c_errFileNotFound);
  EXPECT_FALSE(gone.IsOpen());
}

TEST(SettingsTableTest, NamesAreUniqueAndDefaultsMatchTheirTypes) {
  std::set<std::u16string> names;
  for (size_t i = 0; i < g_cSettings; ++i) {
    const SettingDef& def = *g_apSettings[i];
    EXPECT_TRUE(names.insert(def.pszName).second) << U16ToUtf8(def.pszName);
    if (def.type == stString) {
      ASSERT_NE(def.pszDefault, nullptr);
      EXPECT_LT(StrLen(def.pszDefault), def.cchBuf);
    }
    if (def.type == stBool) {
      EXPECT_LE(def.dwDefault, 1u);
    }
  }
  EXPECT_EQ(setting::MapZoom.dwDefault, 10u);
  EXPECT_EQ(setting::Waypoints_SortCol.dwDefault, 0xFFFFFFFFu);
  EXPECT_EQ(std::u16string(setting::Area.pszDefault), u"0 0 0 0 0 0");
  EXPECT_EQ(setting::MapFileName.cchBuf, 260u);
}

}  // namespace
