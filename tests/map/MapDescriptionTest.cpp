// The About-map text from what a parser tells of its map.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geo/Units.h"
#include "map/MapDescription.h"
#include "map/MapParser.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "res/Res.h"
#include "view/MapUnits.h"

namespace {

// A parser with a fixed description, bounds, scales and path.
class CDescribedParser : public CMapParser {
 public:
  CDescribedParser(const std::u16string& path, uint16_t wYear, uint8_t btMonth, uint8_t btDay, const char16_t* pszName,
                   const char16_t* pszNotice)
      : m_wYear(wYear), m_btMonth(btMonth), m_btDay(btDay), m_pszName(pszName), m_pszNotice(pszNotice) {
    platform::StrCopy(m_szPath, 260, path.c_str());
    m_rect = {DegreesToMap(7.40), DegreesToMap(43.72), DegreesToMap(7.45), DegreesToMap(43.76)};
    m_nScaleFirst = 2;
    m_nScaleLast = 14;
  }
  bool Open(DWORD) override { return true; }
  void Draw(CDrawSink*, CLabelSink*) override {}
  void GetLabel(int, int, uint16_t, uint32_t, char16_t* pszOut, int* pnFlag) override {
    pszOut[0] = 0;
    *pnFlag = 0;
  }
  void GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName, size_t cchName,
                      char16_t* pszNotice, size_t cchNotice) override {
    *pwYear = m_wYear;
    *pbtMonth = m_btMonth;
    *pbtDay = m_btDay;
    platform::StrCopy(pszName, cchName, m_pszName);
    platform::StrCopy(pszNotice, cchNotice, m_pszNotice);
  }

 private:
  uint16_t m_wYear;
  uint8_t m_btMonth, m_btDay;
  const char16_t* m_pszName;
  const char16_t* m_pszNotice;
};

std::u16string TempPath(const char* pszName) {
  return platform::Utf8ToU16(std::string(VELMO_BINARY_DIR) + "/" + pszName);
}

std::u16string Text(uint32_t ids) {
  char16_t sz[128];
  return LoadResString(ids, sz, 128);
}

bool Has(const std::u16string& text, const std::u16string& part) { return text.find(part) != std::u16string::npos; }

bool Members(CMapParser* p, std::vector<CollectionMember>* pMembers) {
  if (std::u16string(p->GetPath()).find(u"Index.vidx") == std::u16string::npos) return false;
  pMembers->assign(4, CollectionMember());
  (*pMembers)[0].strName = u"monaco.vel";
  (*pMembers)[1].strName = u"demo.vel";
  (*pMembers)[2].strName = u"gone.vel";
  (*pMembers)[2].fMissing = true;
  (*pMembers)[3].strName = u"new.vel";
  (*pMembers)[3].fReplaced = true;
  return true;
}

class MapDescriptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UnitOptions o = {unMeters, duMetric, auMetric, afDegrees, pfDegreesMinutes, 0, false, true};
    SetUnitOptions(o);
    SetCollectionMembersProc(nullptr);
  }
  void TearDown() override { SetCollectionMembersProc(nullptr); }
};

}  // namespace

TEST_F(MapDescriptionTest, NativeMapShowsEveryFactLineByLine) {
  std::u16string path = TempPath("about-map.vel");
  std::vector<char> bytes(3000, 'x');  // three kilobytes, the last one partly
  ASSERT_TRUE(platform::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size()));
  CDescribedParser parser(path, 2026, 3, 9, u"Monaco", u"© OpenStreetMap|ODbL 1.0");
  std::u16string text = DescribeMap(&parser);
  EXPECT_TRUE(Has(text, Text(2162) + u" Monaco\r\n"));
  EXPECT_TRUE(Has(text, Text(2163) + u" 09.03.2026\r\n"));
  // The notice's bar breaks its lines.
  EXPECT_TRUE(Has(text, u"\r\n  © OpenStreetMap\r\n  ODbL 1.0\r\n"));
  EXPECT_TRUE(Has(text, Text(2176) + u" N43°43.200' E7°24.000' — N43°45.600' E7°27.000'"));
  EXPECT_TRUE(Has(text, Text(2177) + u" 12 " + GetUnitName(c_idsUnitMeters) + u" — 3 " + GetUnitName(c_idsUnitKilometres)))
      << platform::U16ToUtf8(text);
  EXPECT_TRUE(Has(text, Text(2161) + u" " + path));
  EXPECT_TRUE(Has(text, Text(2178) + u" " + Text(2273)));
  EXPECT_TRUE(Has(text, Text(2179) + u" 3 " + GetUnitName(c_idsUnitKilobytes)));
  EXPECT_FALSE(Has(text, Text(2180).substr(0, 5)));  // no member list
  platform::DeleteFilePath(path.c_str());
}

TEST_F(MapDescriptionTest, MonthOnlyDatesMissingFilesAndCollections) {
  // An IMG map knows the month only; its file is gone: no size.
  CDescribedParser img(TempPath("gone.img"), 2024, 11, 0, u"", u"");
  std::u16string text = DescribeMap(&img);
  EXPECT_TRUE(Has(text, Text(2163) + u" 11.2024"));
  EXPECT_FALSE(Has(text, Text(2162)));
  EXPECT_FALSE(Has(text, Text(2175)));
  EXPECT_TRUE(Has(text, Text(2178) + u" " + Text(2274)));
  EXPECT_FALSE(Has(text, Text(2179)));
  // A collection lists its members under their count.
  SetCollectionMembersProc(Members);
  CDescribedParser atlas(TempPath("Index.vidx"), 0, 0, 0, u"", u"");
  text = DescribeMap(&atlas);
  EXPECT_FALSE(Has(text, Text(2163)));
  EXPECT_TRUE(Has(text, Text(2178) + u" " + Text(2181)));
  char16_t sz[64];
  FormatResString(sz, 64, 2180, 4);
  // A member no longer the file indexed says so.
  EXPECT_TRUE(Has(text, std::u16string(sz) + u"\r\n  monaco.vel\r\n  demo.vel\r\n  gone.vel " + Text(2185) +
                            u"\r\n  new.vel " + Text(2186)))
      << platform::U16ToUtf8(text);
  EXPECT_EQ(CountChangedMembers(&atlas), 2u);
  EXPECT_EQ(CountChangedMembers(&img), 0u);
  // No map at all.
  EXPECT_EQ(DescribeMap(nullptr), Text(2160));
}
