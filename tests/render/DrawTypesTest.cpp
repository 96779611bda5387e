// Drawing types: the type look-up, the built-in tables, the skin grammar,
// skin loading with its messages, and night mode.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "res/Failure.h"
#include "res/Res.h"
#include "settings/Settings.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "render/BuiltinStyles.h"
#include "render/DrawTypes.h"
#include "render/Patterns.h"
#include "render/Screen.h"

using namespace platform;

namespace {

struct Range {
  uint16_t wFirst;
  uint16_t wLast;
};

bool ParseText(const std::string& text, SkinDefinition& skin) {
  return ParseSkin(reinterpret_cast<const uint8_t*>(text.data()), text.size(), skin);
}

std::vector<std::u16string> g_messages;
void CaptureMessage(const char16_t* psz) { g_messages.emplace_back(psz); }

double g_fClock = 0;
double TestClock() { return g_fClock; }

std::u16string ProgramFile(const char16_t* pszName) { return JoinPath(GetProgramFolder(), pszName); }

void WriteText(const std::u16string& strPath, const std::string& text) {
  ASSERT_TRUE(WriteFileAtomic(strPath.c_str(), text.data(), text.size()));
}

const char c_szSmallSkin[] =
    "dkgray\n"
    "polygons\n"
    "# areas\n"
    "0a 0c 0 gray black\n"
    "4a 0 -2 white black\n"
    "50 0 104 00ff00 dkgreen\n"
    "polylines\n"
    "# lines\n"
    "01 02 solid 3 5 red dot 1 1 white medium yellow true\n"
    "10 0 none 1 1 black solid 2 4 blue small white false\n";

class DrawTypesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    g_messages.clear();
    SetFailureNotifier([] { DrainFailures(CaptureMessage); });
    SetNightClockForTests(TestClock);
    SetNightModeFixSource(nullptr);
  }
  void TearDown() override {
    FreeDrawTypes();
    SetFailureNotifier(nullptr);
    SetNightClockForTests(nullptr);
    for (const char16_t* psz : {u"day.skin", u"night.skin", u"test_render.skin"})
      DeleteFilePath(ProgramFile(psz).c_str());
    ResetAllSettings();
  }
};

}  // namespace

TEST(TypeLookup, BinarySearchFindsRangesAndGaps) {
  const Range rg[] = {{0x01, 0x03}, {0x05, 0}, {0x08, 0x0A}, {0x20, 0x2F}, {0x40, 0}};
  const size_t c = sizeof(rg) / sizeof(rg[0]);
  EXPECT_EQ(FindTypeEntry(rg, c, 0x00), -1);
  EXPECT_EQ(FindTypeEntry(rg, c, 0x01), 0);
  EXPECT_EQ(FindTypeEntry(rg, c, 0x02), 0);
  EXPECT_EQ(FindTypeEntry(rg, c, 0x04), -1);
  EXPECT_EQ(FindTypeEntry(rg, c, 0x05), 1);  // last 0 = first
  EXPECT_EQ(FindTypeEntry(rg, c, 0x06), -1);
  EXPECT_EQ(FindTypeEntry(rg, c, 0x0A), 2);
  EXPECT_EQ(FindTypeEntry(rg, c, 0x25), 3);
  EXPECT_EQ(FindTypeEntry(rg, c, 0x40), 4);
  EXPECT_EQ(FindTypeEntry(rg, c, 0x41), -1);
  EXPECT_EQ(FindTypeEntry(rg, c, 0xFFFF), -1);
  EXPECT_EQ(FindTypeEntry(rg, 1, 0x02), 0);
  EXPECT_EQ(FindTypeEntry(rg, 1, 0x05), -1);
  EXPECT_EQ(FindTypeEntry(rg, 0, 0x02), -1);
}

TEST(BuiltinTables, AreSortedAndCompleteForEveryType) {
  size_t cPoints = 0, cLow = 0;
  const BuiltinPoint* pPoints = GetBuiltinPoints(cPoints);
  const BuiltinPoint* pLow = GetBuiltinLowBytePoints(cLow);
  EXPECT_EQ(cPoints, 284u);
  EXPECT_EQ(cLow, 23u);
  EXPECT_EQ(GetPointTypeCount(), 284u);
  EXPECT_EQ(GetPointType(0), 0x0100);
  EXPECT_EQ(GetPointType(16), 0x1100);
  EXPECT_EQ(GetPointType(283), 0xF505);
  EXPECT_EQ(GetPointType(284), 0xFFFF);
  for (size_t i = 1; i < cPoints; ++i)
    EXPECT_LT(pPoints[i - 1].wFirst, pPoints[i].wFirst) << i;
  for (size_t i = 1; i < g_cBuiltinAreas; ++i)
    EXPECT_LT(g_rgBuiltinAreas[i - 1].wFirst, g_rgBuiltinAreas[i].wFirst) << i;
  for (size_t i = 1; i < g_cBuiltinLines; ++i)
    EXPECT_LT(g_rgBuiltinLines[i - 1].wFirst, g_rgBuiltinLines[i].wFirst) << i;
  // Every entry is found by its own first and last type.
  for (size_t i = 0; i < cPoints; ++i) {
    EXPECT_EQ(FindTypeEntry(pPoints, cPoints, pPoints[i].wFirst), int(i));
    if (pPoints[i].wLast != 0) {
      EXPECT_EQ(FindTypeEntry(pPoints, cPoints, pPoints[i].wLast), int(i));
    }
  }
  for (size_t i = 0; i < cLow; ++i)
    EXPECT_EQ(FindTypeEntry(pLow, cLow, pLow[i].wFirst), int(i));
  // Label styles: 68 grey POI labels, 8 black, 17 cities in bold sizes and F12.
  int cGrey = 0, cBlack = 0, cNone = 0;
  for (size_t i = 0; i < cPoints; ++i) {
    if (pPoints[i].nLabelFont == mfNone)
      ++cNone;
    else if (pPoints[i].crLabel == 0x606060)
      ++cGrey;
    else if (pPoints[i].wFirst > 0x1100)
      ++cBlack;
  }
  EXPECT_EQ(cGrey, 68);
  EXPECT_EQ(cBlack, 8);
  EXPECT_EQ(cNone, 284 - 68 - 8 - 17);
  EXPECT_EQ(pPoints[0].nLabelFont, mfF18B);
  EXPECT_EQ(pPoints[16].nLabelFont, mfF12);
  // The area table makes 31 solid, 20 pattern and 10 tinted pattern brushes.
  std::set<COLORREF> solid;
  int cPattern = 0, cTinted = 0;
  for (size_t i = 0; i < g_cBuiltinAreas; ++i) {
    const BuiltinArea& a = g_rgBuiltinAreas[i];
    if (a.nBrushKind == bbSolid) solid.insert(a.cr);
    cPattern += a.nBrushKind == bbPattern;
    cTinted += a.nBrushKind == bbTinted;
  }
  EXPECT_EQ(solid.size(), 31u);
  EXPECT_EQ(cPattern, 20);
  EXPECT_EQ(cTinted, 10);
  // Every pattern the area table names exists.
  COLORREF rgPixels[256];
  for (size_t i = 0; i < g_cBuiltinAreas; ++i)
    if (g_rgBuiltinAreas[i].nBrushKind == bbPattern || g_rgBuiltinAreas[i].nBrushKind == bbTinted) {
      EXPECT_TRUE(GetPatternBitmap(g_rgBuiltinAreas[i].nPattern, rgPixels)) << g_rgBuiltinAreas[i].nPattern;
    }
}

TEST(Patterns, TintShowsThroughWhiteOnly) {
  COLORREF rgPlain[256], rgTinted[256];
  ASSERT_TRUE(GetPatternBitmap(104, rgPlain));
  ASSERT_TRUE(GetTintedPattern(104, 0xA5F5D3, rgTinted));
  int cWhite = 0;
  for (int i = 0; i < 256; ++i) {
    if (rgPlain[i] == 0xFFFFFF) {
      ++cWhite;
      EXPECT_EQ(rgTinted[i], 0xA5F5D3u);
    } else {
      EXPECT_EQ(rgTinted[i], rgPlain[i]);
    }
  }
  EXPECT_GT(cWhite, 128);
  EXPECT_LT(cWhite, 256);
  EXPECT_FALSE(GetPatternBitmap(101, rgPlain));
  EXPECT_EQ(g_cPatternNumbers, 7 + 11 + 10);
}

TEST(SkinGrammar, ReadsAreasLinesAndColours) {
  SkinDefinition skin;
  ASSERT_TRUE(ParseText(c_szSmallSkin, skin));
  EXPECT_EQ(skin.crBackground, 0x606060u);
  ASSERT_EQ(skin.areas.size(), 3u);  // the comment does not count
  EXPECT_EQ(skin.areas[0].wFirst, 0x0A);
  EXPECT_EQ(skin.areas[0].wLast, 0x0C);
  EXPECT_EQ(skin.areas[0].nFill, c_nFillSolid);
  EXPECT_EQ(skin.areas[0].crFill, 0x808080u);
  EXPECT_EQ(skin.areas[0].crLabel, 0x000000u);
  EXPECT_EQ(skin.areas[1].nFill, c_nFillNone);
  EXPECT_EQ(skin.areas[2].nFill, 104);
  EXPECT_EQ(skin.areas[2].crFill, 0x00FF00u);  // 00, ff, 00: green
  ASSERT_EQ(skin.lines.size(), 2u);
  EXPECT_EQ(skin.lines[0].pen1.nStyle, int(psSolid));
  EXPECT_EQ(skin.lines[0].pen1.nWidth, 3);
  EXPECT_EQ(skin.lines[0].pen1.nHighWidth, 5);
  EXPECT_EQ(skin.lines[0].pen1.cr, 0x0000FFu);
  EXPECT_EQ(skin.lines[0].pen2.nStyle, int(psDot));
  EXPECT_EQ(skin.lines[0].nLabelSelector, lfMedium);
  EXPECT_EQ(skin.lines[0].crLabel, 0x00FFFFu);
  EXPECT_TRUE(skin.lines[0].fFlag);
  EXPECT_EQ(skin.lines[1].pen1.nStyle, c_nPenNone);
  EXPECT_EQ(skin.lines[1].nLabelSelector, lfSmall);
  EXPECT_FALSE(skin.lines[1].fFlag);
}

TEST(SkinGrammar, RejectsMalformedFiles) {
  SkinDefinition skin;
  auto withArea = [](const std::string& area) { return "white\npolygons\n" + area + "\npolylines\n"; };
  EXPECT_TRUE(ParseText(withArea("0a 0c 0 gray black"), skin));
  EXPECT_FALSE(ParseText(withArea("0a 0c -3 gray black"), skin));  // only -2 may be negative
  EXPECT_FALSE(ParseText(withArea("0a 0c -1 gray black"), skin));
  EXPECT_FALSE(ParseText(withArea("0a 0c 0 0f0 black"), skin));    // three digits
  EXPECT_FALSE(ParseText(withArea("0a 0c 0 00ff0 black"), skin));
  EXPECT_FALSE(ParseText(withArea("0a 0c 0 gray"), skin));         // a token short
  EXPECT_FALSE(ParseText(withArea("0a 10000 0 gray black"), skin)); // beyond 16 bits
  EXPECT_FALSE(ParseText(withArea("zz 0 0 gray black"), skin));
  EXPECT_FALSE(ParseText("white\npolylines\n", skin));               // no "polygons"
  EXPECT_FALSE(ParseText("", skin));
  EXPECT_FALSE(ParseText("nocolour\npolygons\n# x\npolylines\n", skin));
  // The line after "polygons" is always an area line.
  EXPECT_FALSE(ParseText("white\npolygons\npolylines\n", skin));
  EXPECT_TRUE(ParseText("white\npolygons\n# none\npolylines\n", skin));
  EXPECT_TRUE(skin.areas.empty());
  // Line entries.
  EXPECT_FALSE(ParseText("white\npolygons\n#\npolylines\n01 0 wide 1 1 red none 0 0 red small red true\n", skin));
  EXPECT_FALSE(ParseText("white\npolygons\n#\npolylines\n01 0 solid 1 1 red none 0 0 red large red true\n", skin));
  EXPECT_FALSE(ParseText("white\npolygons\n#\npolylines\n01 0 solid 1 1 red none 0 0 red small red maybe\n", skin));
  // CR LF line ends are fine.
  EXPECT_TRUE(ParseText("white\r\npolygons\r\n0a 0 0 gray black\r\npolylines\r\n", skin));
  EXPECT_EQ(skin.areas.size(), 1u);
}

TEST(SkinGrammar, KeywordsMatchByTheirOwnLength) {
  SkinDefinition skin;
  // "dot11" reads as "dot" followed by the width 11, "smallred" as "small"
  // and "red"; "polygonsX" as "polygons".
  ASSERT_TRUE(ParseText("blackish\npolygonsX\n#\npolylinesY\n01 0 dot11 1 red none 0 0 red smallred trueish\n",
                        skin));
  EXPECT_EQ(skin.lines[0].crLabel, 0x0000FFu);
  EXPECT_EQ(skin.crBackground, 0x000000u);
  ASSERT_EQ(skin.lines.size(), 1u);
  EXPECT_EQ(skin.lines[0].pen1.nStyle, int(psDot));
  EXPECT_EQ(skin.lines[0].pen1.nWidth, 11);
  EXPECT_EQ(skin.lines[0].pen1.nHighWidth, 1);
  EXPECT_TRUE(skin.lines[0].fFlag);
  // So a colour name that merely begins a longer word leaves the rest as
  // the next token, which then fails.
  EXPECT_FALSE(ParseText("white\npolygons\n#\npolylines\n01 0 dot 1 1 redder none 0 0 red small red true\n", skin));
}

TEST(SkinGrammar, AllowsAtMost256EntriesPerSection) {
  auto build = [](int cAreas, int cComments) {
    std::string s = "white\npolygons\n";
    for (int i = 0; i < cComments; ++i)
      s += "# comment\n";
    char sz[64];
    for (int i = 0; i < cAreas; ++i) {
      snprintf(sz, sizeof(sz), "%x 0 0 gray black\n", i + 1);
      s += sz;
    }
    return s + "polylines\n";
  };
  SkinDefinition skin;
  EXPECT_TRUE(ParseText(build(256, 10), skin));
  EXPECT_EQ(skin.areas.size(), 256u);
  EXPECT_FALSE(ParseText(build(257, 0), skin));
  std::string lines = "white\npolygons\n#\npolylines\n";
  for (int i = 0; i < 257; ++i)
    lines += "1 0 solid 1 1 red none 0 0 red small red true\n";
  EXPECT_FALSE(ParseText(lines, skin));
}

TEST(SkinGrammar, EntriesComeOutSorted) {
  SkinDefinition skin;
  ASSERT_TRUE(ParseText("white\npolygons\n50 0 0 red red\n0a 0 0 blue blue\npolylines\n", skin));
  ASSERT_EQ(skin.areas.size(), 2u);
  EXPECT_EQ(skin.areas[0].wFirst, 0x0A);
  EXPECT_EQ(skin.areas[1].wFirst, 0x50);
}

TEST_F(DrawTypesTest, BuiltinStylesWithoutSkin) {
  InitDrawTypes();  // no day.skin beside the tests: reported, built-in styles
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_NE(g_messages[0].find(u"day.skin"), std::u16string::npos);
  EXPECT_EQ(GetCurrentSkin(), nullptr);
  const CBrush* pBrush = GetAreaBrush(0x000A);
  ASSERT_NE(pBrush, nullptr);
  EXPECT_EQ(pBrush->m_kind, bkSolid);
  EXPECT_EQ(pBrush->m_cr, 0x80B8F8u);
  EXPECT_EQ(GetAreaBrush(0x0015), GetAreaBrush(0x0014));  // one brush for a range
  EXPECT_EQ(GetAreaBrush(0x004A)->m_kind, bkNull);
  // A type not found takes pattern 106, as does type 0.
  const CBrush* pFallback = GetAreaBrush(0x0010);
  EXPECT_EQ(pFallback->m_kind, bkPattern);
  EXPECT_EQ(pFallback, GetAreaBrush(0x0000));
  // Tinted: pattern 104 on 0xA5F5D3.
  const CBrush* pTinted = GetAreaBrush(0x004F);
  ASSERT_EQ(pTinted->m_kind, bkPattern);
  COLORREF rgExpected[256];
  GetTintedPattern(104, 0xA5F5D3, rgExpected);
  EXPECT_EQ(std::vector<COLORREF>(pTinted->m_rgPattern, pTinted->m_rgPattern + 256),
            std::vector<COLORREF>(rgExpected, rgExpected + 256));
  ASSERT_NE(GetAreaLabelStyle(0x0028), nullptr);
  EXPECT_EQ(GetAreaLabelStyle(0x0028)->crText, 0x800000u);
  EXPECT_EQ(GetAreaLabelStyle(0x0001), nullptr);
  // Lines: casing and core, the fallback dotted red pen.
  const CPen* pPen = GetLinePen(0x0001);
  ASSERT_NE(pPen, nullptr);
  EXPECT_EQ(pPen->m_nWidth, 4);
  EXPECT_EQ(pPen->m_cr, 0x323264u);
  ASSERT_NE(GetLineCorePen(0x0001), nullptr);
  EXPECT_EQ(GetLineCorePen(0x0001)->m_nWidth, 2);
  EXPECT_EQ(GetLineCorePen(0x0002), nullptr);
  EXPECT_EQ(GetLinePen(0x002A), nullptr);  // label only
  const CPen* pUnknown = GetLinePen(0x0030);
  ASSERT_NE(pUnknown, nullptr);
  EXPECT_EQ(pUnknown->m_nStyle, int(psDot));
  EXPECT_EQ(pUnknown->m_cr, 0x0000FFu);
  ASSERT_NE(GetLineLabelStyle(0x003D), nullptr);
  EXPECT_TRUE(GetLineLabelStyle(0x003D)->fFlag);
  EXPECT_EQ(GetLineLabelStyle(0x003D)->nSelector, lfSmall);
  // Points: 0x1605 goes through the low-byte table; 0x1C0C is no type.
  EXPECT_EQ(GetPointLabelStyle(0x1605), nullptr);
  EXPECT_NE(GetPointLabelStyle(0x0100), nullptr);
  EXPECT_EQ(GetPointLabelStyle(0x0100)->pFont->m_nHeight, 18);
  EXPECT_EQ(GetPointLabelStyle(0x2A05)->crText, 0x606060u);
  EXPECT_EQ(GetBackgroundColour(), 0xFFFFFFu);
}

TEST_F(DrawTypesTest, LowByteTableServesTypes1600To1BFF) {
  size_t cLow = 0;
  const BuiltinPoint* pLow = GetBuiltinLowBytePoints(cLow);
  EXPECT_EQ(FindTypeEntry(pLow, cLow, uint16_t(0x1605 & 0xFF)), 5);
  EXPECT_EQ(FindTypeEntry(pLow, cLow, uint16_t(0x1B17 & 0xFF)), -1);
  size_t cPoints = 0;
  const BuiltinPoint* pPoints = GetBuiltinPoints(cPoints);
  EXPECT_EQ(FindTypeEntry(pPoints, cPoints, 0x1605), -1);  // not in the main table
  EXPECT_EQ(FindTypeEntry(pPoints, cPoints, 0x1520), FindTypeEntry(pPoints, cPoints, 0x1400));
}

TEST_F(DrawTypesTest, RotatedFontsAreCachedPerAngle) {
  InitDrawTypes();
  const CFont* p45 = GetLabelFont(lfSmall, 45);
  EXPECT_EQ(p45, GetLabelFont(lfSmall, 45));
  EXPECT_EQ(p45->m_nEscapement, 450);
  EXPECT_EQ(GetLabelFont(lfSmall, -30)->m_nEscapement, 3300);
  const CFont* pMedium = GetLabelFont(lfMedium, 0);
  EXPECT_EQ(pMedium->m_strFace, u"Century Gothic");
  EXPECT_EQ(pMedium->m_nWidth, 5);
  EXPECT_EQ(pMedium->m_nWeight, c_nFwBold);
  EXPECT_NE(pMedium, GetLabelFont(lfSmall, 0));
}

TEST_F(DrawTypesTest, SkinReplacesAreasAndLines) {
  WriteText(ProgramFile(u"day.skin"), c_szSmallSkin);
  InitDrawTypes();
  EXPECT_TRUE(g_messages.empty());
  ASSERT_NE(GetCurrentSkin(), nullptr);
  EXPECT_EQ(GetBackgroundColour(), 0x606060u);
  EXPECT_EQ(GetBackgroundBrush()->m_cr, 0x606060u);
  for (uint16_t w : {0x0A, 0x0B, 0x0C}) {
    EXPECT_EQ(GetAreaBrush(w)->m_kind, bkSolid);
    EXPECT_EQ(GetAreaBrush(w)->m_cr, 0x808080u);
    ASSERT_NE(GetAreaLabelStyle(w), nullptr);
    EXPECT_EQ(GetAreaLabelStyle(w)->crText, 0x000000u);
    EXPECT_EQ(GetAreaLabelStyle(w)->pFont->m_nHeight, 14);
  }
  EXPECT_EQ(GetAreaBrush(0x4A)->m_kind, bkNull);
  EXPECT_EQ(GetAreaBrush(0x01)->m_kind, bkPattern);  // not in the skin: pattern 106
  EXPECT_EQ(GetLinePen(0x02)->m_nWidth, 3);
  EXPECT_EQ(GetLineCorePen(0x02)->m_nStyle, int(psDot));
  EXPECT_EQ(GetLinePen(0x10), nullptr);  // "none"
  // A type not in the skin: the shared black pen (or its stand-in).
  const CPen* pPen = GetLinePen(0x05);
  ASSERT_NE(pPen, nullptr);
  EXPECT_EQ(pPen->m_cr, 0x000000u);
  EXPECT_EQ(pPen->m_nStyle, int(psSolid));
}

TEST_F(DrawTypesTest, LoadSkinReportsMissingAndDamagedFiles) {
  EXPECT_EQ(LoadSkin(u"test_render.skin"), nullptr);
  ASSERT_EQ(g_messages.size(), 1u);
  char16_t szMissing[128];
  LoadResString(2002, szMissing, 128);
  EXPECT_EQ(g_messages[0].substr(0, 10), std::u16string(szMissing).substr(0, 10));
  WriteText(ProgramFile(u"test_render.skin"), "white\npolygons\n0a 0c -3 gray black\npolylines\n");
  EXPECT_EQ(LoadSkin(u"test_render.skin"), nullptr);
  ASSERT_EQ(g_messages.size(), 2u);
  EXPECT_NE(g_messages[1].find(u"test_render.skin"), std::u16string::npos);
  EXPECT_NE(g_messages[1], g_messages[0]);
}

TEST_F(DrawTypesTest, AutomaticSkinChangesAtMostEvery15Seconds) {
  WriteText(ProgramFile(u"day.skin"), "white\npolygons\n#\npolylines\n");
  WriteText(ProgramFile(u"night.skin"), "black\npolygons\n#\npolylines\n");
  g_fClock = 46000.5;
  InitDrawTypes();
  EXPECT_EQ(GetBackgroundColour(), 0xFFFFFFu);
  SetDaySkin(false, true);
  EXPECT_EQ(GetBackgroundColour(), 0x000000u);
  EXPECT_FALSE(IsDaySkinCurrent());
  g_fClock += 10.0 / 86400;
  SetDaySkin(true, true);  // within 15 s of the last check: ignored
  EXPECT_EQ(GetBackgroundColour(), 0x000000u);
  g_fClock += 6.0 / 86400;
  SetDaySkin(true, true);
  EXPECT_EQ(GetBackgroundColour(), 0xFFFFFFu);
  // The user's choice is not held back by the guard.
  SetDaySkin(false, false);
  EXPECT_EQ(GetBackgroundColour(), 0x000000u);
  // A clock set back (by the GPS time) does not hold the automatic mode
  // back until it catches up again.
  g_fClock -= 1.0 / 24;
  SetDaySkin(true, true);
  EXPECT_EQ(GetBackgroundColour(), 0xFFFFFFu);
}

TEST_F(DrawTypesTest, NightModeSettingAndMenuBitmaps) {
  EXPECT_EQ(GetNightMode(), c_nNightModeAuto);
  SetDword(u"NightMode", 0);
  EXPECT_EQ(GetNightMode(), c_nNightModeAuto);
  EXPECT_EQ(GetDword(u"NightMode", 99), 3u);  // saved
  EXPECT_EQ(GetNightModeBitmap(1), 34u);
  EXPECT_EQ(GetNightModeBitmap(2), 25u);
  EXPECT_EQ(GetNightModeBitmap(3), 35u);
}

TEST_F(DrawTypesTest, UpdateNightModeFollowsTheSettingAndTheFix) {
  WriteText(ProgramFile(u"day.skin"), "white\npolygons\n#\npolylines\n");
  WriteText(ProgramFile(u"night.skin"), "black\npolygons\n#\npolylines\n");
  InitDrawTypes();
  SetDword(u"NightMode", 2);
  UpdateNightMode();
  EXPECT_FALSE(IsDaySkinCurrent());
  SetDword(u"NightMode", 3);
  UpdateNightMode();  // automatic without a fix: day
  EXPECT_TRUE(IsDaySkinCurrent());
  // A 3D fix at midnight in Moscow: night.
  SetNightModeFixSource([](NightModeFix& fix) {
    CSystemTime st = {2026, 12, 0, 8, 21, 0, 0, 0};
    fix = {true, 3, SystemTimeToDays(st), 37.6, 55.75};
    g_fClock = fix.fTime;
    return true;
  });
  g_fClock = 0;
  UpdateNightMode();
  EXPECT_FALSE(IsDaySkinCurrent());
  SetNightModeFixSource(nullptr);
}

TEST_F(DrawTypesTest, AFixWithoutATimeIsJudgedAtTheSystemTime) {
  WriteText(ProgramFile(u"day.skin"), "white\npolygons\n#\npolylines\n");
  WriteText(ProgramFile(u"night.skin"), "black\npolygons\n#\npolylines\n");
  InitDrawTypes();
  SetDword(u"NightMode", 3);
  // A 3D fix at Greenwich on the equator that carries no time.
  SetNightModeFixSource([](NightModeFix& fix) {
    fix = {true, 3, 0.0, 0.0, 0.0};
    fix.fValidTime = false;
    return true;
  });
  CSystemTime noon = {2026, 12, 0, 9, 12, 0, 0, 0}, night = {2026, 12, 0, 9, 22, 0, 0, 0};
  g_fClock = SystemTimeToDays(night);
  UpdateNightMode();
  EXPECT_FALSE(IsDaySkinCurrent()) << "22:00 UT there is night";
  g_fClock = SystemTimeToDays(noon) + 1;  // the next day's noon, past the 15 s guard
  UpdateNightMode();
  EXPECT_TRUE(IsDaySkinCurrent()) << "never judged at day 0 (midnight of 1899-12-30)";
  SetNightModeFixSource(nullptr);
}

TEST(NightMode, DecisionsFromSunriseAndSunset) {
  auto days = [](int y, int mo, int d, int h, int mi) {
    CSystemTime st = {WORD(y), WORD(mo), 0, WORD(d), WORD(h), WORD(mi), 0, 0};
    return SystemTimeToDays(st);
  };
  NightModeFix fix = {true, 3, days(2026, 6, 21, 12, 0), 0.0, 45.0};
  EXPECT_EQ(DecideDaylight(fix, fix.fTime), 1);  // noon at Greenwich
  fix.fTime = days(2026, 6, 21, 0, 30);
  EXPECT_EQ(DecideDaylight(fix, fix.fTime), 0);  // past midnight
  // No position, or a 2D fix: day.
  NightModeFix noFix = {false, 3, fix.fTime, 0, 45};
  EXPECT_EQ(DecideDaylight(noFix, fix.fTime), 1);
  for (int nStatus : {0, 1, 2, 4, 12}) {
    NightModeFix weak = {true, nStatus, fix.fTime, 0, 45};
    EXPECT_EQ(DecideDaylight(weak, fix.fTime), 1) << nStatus;
  }
  // Polar day and polar night: no sunrise or sunset, the skin stays.
  NightModeFix polar = {true, 3, days(2026, 6, 21, 0, 0), 15.0, 78.0};
  EXPECT_EQ(DecideDaylight(polar, polar.fTime), -1);
  polar.fTime = days(2026, 12, 21, 12, 0);
  EXPECT_EQ(DecideDaylight(polar, polar.fTime), -1);
  // Sydney: daylight spans midnight UT (sunrise about 19:40 UT, sunset 09:00).
  NightModeFix sydney = {true, 5, days(2026, 1, 15, 2, 0), 151.2, -33.9};
  EXPECT_EQ(DecideDaylight(sydney, sydney.fTime), 1);
  sydney.fTime = days(2026, 1, 15, 14, 0);
  EXPECT_EQ(DecideDaylight(sydney, sydney.fTime), 0);
  sydney.fTime = days(2026, 1, 15, 21, 0);
  EXPECT_EQ(DecideDaylight(sydney, sydney.fTime), 1);
}

TEST(SkinFiles, ShippedSkinsParse) {
  for (const char* pszName : {"day.skin", "night.skin"}) {
    std::vector<uint8_t> data;
    ASSERT_TRUE(ReadWholeFile((AsciiToU16(VELMO_SOURCE_DIR) + u"/render/res/" + AsciiToU16(pszName)).c_str(), data));
    SkinDefinition skin;
    ASSERT_TRUE(ParseSkin(data.data(), data.size(), skin)) << pszName;
    EXPECT_GT(skin.areas.size(), 25u);
    EXPECT_GT(skin.lines.size(), 35u);
    // Every road class has a casing under a core.
    for (uint16_t w = 0x01; w <= 0x06; ++w) {
      int i = FindTypeEntry(skin.lines.data(), skin.lines.size(), w);
      ASSERT_GE(i, 0);
      EXPECT_NE(skin.lines[size_t(i)].pen2.nStyle, c_nPenNone);
    }
  }
  // The night ground is dark, the day ground light.
  std::vector<uint8_t> night;
  ASSERT_TRUE(ReadWholeFile((AsciiToU16(VELMO_SOURCE_DIR) + u"/render/res/night.skin").c_str(), night));
  SkinDefinition skin;
  ASSERT_TRUE(ParseSkin(night.data(), night.size(), skin));
  EXPECT_LT(GetRValue(skin.crBackground) + GetGValue(skin.crBackground) + GetBValue(skin.crBackground), 3 * 64);
}

TEST_F(DrawTypesTest, PointIconsKeepTheMiddleOfTheirImage) {
  SetResourceFolder((AsciiToU16(VELMO_SOURCE_DIR) + u"/render/res/icons").c_str());
  InitDrawTypes();
  const CIcon* pIcon = GetPointIcon(0x2A00);
  ASSERT_NE(pIcon, nullptr);
  EXPECT_EQ(pIcon->m_cx, 16);
  EXPECT_EQ(pIcon->m_cy, 16);
  EXPECT_EQ(GetPointIcon(0x2A01), pIcon);  // made once, shared by the types of one icon
  EXPECT_NE(GetPointIcon(0x2F01), pIcon);
  EXPECT_NE(GetPointIcon(0x1605), nullptr);  // the low-byte table
  EXPECT_EQ(GetPointIcon(0x1C0C), nullptr);  // no such type
  // The middle of the 32 × 32 file.
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadWholeFile((AsciiToU16(VELMO_SOURCE_DIR) + u"/render/res/icons/1320.ico").c_str(), data));
  std::unique_ptr<CIcon> pBig(ReadIconFile(data.data(), data.size(), 32, 32));
  ASSERT_NE(pBig, nullptr);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(pIcon->At(x, y), pBig->At(x + 8, y + 8));
  // Every icon the point tables name exists.
  size_t cPoints = 0;
  const BuiltinPoint* pPoints = GetBuiltinPoints(cPoints);
  for (size_t i = 0; i < cPoints; ++i) {
    char16_t szName[32];
    Format(szName, 32, u"/render/res/icons/%u.ico", unsigned(pPoints[i].idIcon));
    EXPECT_TRUE(FileExists((AsciiToU16(VELMO_SOURCE_DIR) + szName).c_str())) << pPoints[i].idIcon;
  }
  SetResourceFolder(nullptr);
}

TEST(SharedStock, FontsPensAndBrushes) {
  render::SetScreenScale(2, 2);
  CreateSharedStock(0x646464);
  const SharedStock& stock = GetSharedStock();
  ASSERT_NE(stock.pFont10, nullptr);
  EXPECT_EQ(stock.pFont10->m_nHeight, -20);  // character height 10, scaled
  EXPECT_EQ(stock.pFont22->m_nHeight, 44);
  EXPECT_EQ(stock.pPenFrame->m_nWidth, 3);   // 1/3 on a scaled screen
  EXPECT_EQ(stock.pPenFrame->m_cr, 0x646464u);
  EXPECT_EQ(stock.pPenWhite3->m_nWidth, 4);
  EXPECT_EQ(stock.pPenRed->m_cr, 0x0000FFu);
  EXPECT_EQ(stock.pPenNull, GetNullPen());
  ASSERT_NE(GetStockBrush(0xF3F3F3), nullptr);
  EXPECT_EQ(GetStockBrush(0xF3F3F3)->m_cr, 0xF3F3F3u);
  EXPECT_EQ(GetStockBrush(0x123456), nullptr);
  FreeSharedStock();
  EXPECT_EQ(GetSharedStock().pFont10, nullptr);
  EXPECT_EQ(GetStockBrush(0xF3F3F3), nullptr);
  render::SetScreenScale(1, 1);
}

TEST_F(DrawTypesTest, AMissingSkinIsReportedOnce) {
  WriteText(ProgramFile(u"day.skin"), "white\npolygons\n#\npolylines\n01 0 solid 5000 5000 red none 0 0 red small red true\n");
  InitDrawTypes();
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(GetLinePen(0x01)->m_nWidth, 64);  // an absurd width is held in bounds
  SetDaySkin(false, false);  // no night.skin
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(GetCurrentSkin(), nullptr);
  EXPECT_FALSE(IsDaySkinCurrent());
  SetDaySkin(false, false);
  SetDaySkin(false, false);
  EXPECT_EQ(g_messages.size(), 1u);
  // The day skin still loads, and the night one is not tried again.
  SetDaySkin(true, false);
  EXPECT_NE(GetCurrentSkin(), nullptr);
  SetDaySkin(false, false);
  EXPECT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(GetCurrentSkin(), nullptr);
}
