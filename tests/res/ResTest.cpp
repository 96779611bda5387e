// String look-up through the localisation modules and their fallback order.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "res/Failure.h"
#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "platform/File.h"
#include "platform/Str.h"

using namespace platform;

namespace {

std::vector<std::u16string> g_messages;

class ResTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int s_nTest = 0;
    m_dir = "/tmp/velmo_res_test_" + std::to_string(::getpid()) + "_" + std::to_string(++s_nTest);
    std::string cmd = "rm -rf " + m_dir + " && mkdir -p " + m_dir;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    setenv("VELMO_PROGRAM_DIR", m_dir.c_str(), 1);
    g_messages.clear();
    ClearFailures();
    SetFailureNotifier([] { DrainFailures([](const char16_t* psz) { g_messages.push_back(psz); }); });
    ResetAllSettings();
    ResetLanguageForTests();
  }
  void TearDown() override {
    SetFailureNotifier(nullptr);
    ResetLanguageForTests();
    ResetAllSettings();
    std::system(("rm -rf " + m_dir).c_str());
    unsetenv("VELMO_PROGRAM_DIR");
  }
  void PutFile(const char* pszName, const std::string& text) {
    std::u16string path = Utf8ToU16(m_dir + "/" + pszName);
    ASSERT_TRUE(WriteFileAtomic(path.c_str(), text.data(), text.size()));
  }
  std::u16string Str(uint32_t id) {
    char16_t sz[1024];
    return LoadResString(id, sz, 1024);
  }
  std::string m_dir;
};

TEST_F(ResTest, RussianUsesTheProgramItselfAndNeverAModule) {
  SetDword(setting::Language.pszName, 1049);
  PutFile("0409.rll", "100\tbroken version\n2111\tWRONG\n");
  EXPECT_EQ(Str(2111), u"VELMO");
  EXPECT_EQ(Str(2008), u"Программный сбой.\n\n%s");
  EXPECT_EQ(GetPrimaryModule(), GetSelfModule());
  EXPECT_EQ(GetFallbackModule(), GetSelfModule());
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(ResTest, EnglishModuleWhenPresent) {
  SetDword(setting::Language.pszName, 0x0409);
  PutFile("0409.rll", "MZ");  // stands for the built module
  EXPECT_EQ(Str(2008), u"Program failure.\n\n%s");
  EXPECT_EQ(std::u16string(GetModuleName()), u"0409.rll");
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(ResTest, MissingModuleFallsBackSilently) {
  SetDword(setting::Language.pszName, 0x0407);
  EXPECT_EQ(Str(2008), u"Программный сбой.\n\n%s");
  EXPECT_EQ(GetPrimaryModule(), GetSelfModule());
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(ResTest, GermanWithOnlyEnglishUsesEnglishAsPrimaryAndFallback) {
  SetDword(setting::Language.pszName, 0x0407);
  PutFile("0409.rll", "MZ");
  EXPECT_EQ(std::u16string(GetModuleName()), u"0407.rll");
  EXPECT_EQ(GetPrimaryModule(), GetFallbackModule());
  EXPECT_NE(GetPrimaryModule(), GetSelfModule());
  EXPECT_EQ(Str(2007), u"Program failure while reading the map (the file may be damaged):\n\n%s");
}

TEST_F(ResTest, ModuleOfAnotherVersionWarnsOnceAndIsUsed) {
  SetDword(setting::Language.pszName, 0x0407);
  PutFile("0407.rll", "100\t1.0.0.1 old\n2007\tKartenfehler\n");
  EXPECT_EQ(Str(2007), u"Kartenfehler");
  EXPECT_EQ(Str(2007), u"Kartenfehler");
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0],
            u"WARNING:\nLocalization module '0407.rll' has incorrect version. Some text strings may apper incorrectly.");
}

TEST_F(ResTest, StringMissingInThePrimaryComesFromTheFallback) {
  SetDword(setting::Language.pszName, 0x0407);
  PutFile("0407.rll", "100\t1.1.28.15 mek\n2007\tKartenfehler\n");
  PutFile("0409.rll", "MZ");
  EXPECT_EQ(Str(2007), u"Kartenfehler");
  EXPECT_EQ(Str(2008), u"Program failure.\n\n%s");
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(ResTest, MissingEverywhereGivesThePlaceholder) {
  SetDword(setting::Language.pszName, 1049);
  EXPECT_EQ(Str(9999), u"<??9999>");
  char16_t* p = LoadResStringAlloc(9999);
  EXPECT_EQ(std::u16string(p), u"<??9999>");
  delete[] p;
}

TEST_F(ResTest, FormatResStringFormatsTheLoadedText) {
  SetDword(setting::Language.pszName, 1049);
  char16_t sz[256];
  FormatResString(sz, 256, 2008, u"деление на ноль");
  EXPECT_EQ(std::u16string(sz), u"Программный сбой.\n\nделение на ноль");
}

TEST_F(ResTest, EveryRussianStringHasAnEnglishTwin) {
  // Both tables come from the same ids: walk the Russian ids that exist.
  SetDword(setting::Language.pszName, 0x0409);
  PutFile("0409.rll", "MZ");
  int cChecked = 0;
  for (uint32_t id = 1; id < 65536; ++id) {
    char16_t ru[1024], en[1024];
    if (LoadModuleString(GetSelfModule(), id, ru, 1024) == 0) continue;
    EXPECT_GT(LoadModuleString(GetFallbackModule(), id, en, 1024), 0) << "string " << id << " has no English text";
    ++cChecked;
  }
  EXPECT_GT(cChecked, 5);
}

}  // namespace
