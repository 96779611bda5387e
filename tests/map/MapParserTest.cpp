#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "res/Failure.h"
#include "res/Res.h"
#include "map/MapCollections.h"
#include "map/MapFiles.h"
#include "map/MapParser.h"
#include "platform/File.h"
#include "platform/Registry.h"
#include "platform/Str.h"

namespace {

std::vector<uint8_t> VelProbeBytes(uint32_t cb, uint32_t dwVersion, uint32_t dwSizeField) {
  std::vector<uint8_t> v(cb, 0);
  std::memcpy(v.data(), "GVEL", 4);
  std::memcpy(&v[4], &dwVersion, 4);
  std::memcpy(&v[8], &dwSizeField, 4);
  return v;
}

TEST(MapProbes, NativeMapNeedsMagicVersionAndItsOwnSize) {
  auto v = VelProbeBytes(564, 4, 564);
  EXPECT_TRUE(ProbeVelFile(v.data(), 564));
  v = VelProbeBytes(563, 4, 563);
  EXPECT_FALSE(ProbeVelFile(v.data(), 563));
  v = VelProbeBytes(564, 5, 564);
  EXPECT_FALSE(ProbeVelFile(v.data(), 564));
  v = VelProbeBytes(600, 4, 564);
  EXPECT_FALSE(ProbeVelFile(v.data(), 600));
  v = VelProbeBytes(564, 4, 564);
  v[0] = 'X';
  EXPECT_FALSE(ProbeVelFile(v.data(), 564));
}

TEST(MapProbes, CollectionIndexAndGarminImg) {
  std::vector<uint8_t> v(32, 0);
  std::memcpy(v.data(), "VIDX", 4);
  v[4] = 1;
  EXPECT_TRUE(ProbeVidxFile(v.data(), 32));
  EXPECT_FALSE(ProbeVidxFile(v.data(), 31));
  v[4] = 2;
  EXPECT_FALSE(ProbeVidxFile(v.data(), 32));

  std::vector<uint8_t> img(64, 0);
  const uint8_t key = 0x5A;
  const char* sig = "DSKIMG";
  for (int i = 0; i < 6; ++i) img[16 + i] = uint8_t(sig[i] ^ key);
  EXPECT_TRUE(ProbeImgFile(img.data(), 64));
  EXPECT_FALSE(ProbeImgFile(img.data(), 21));
  img[20] ^= 1;
  EXPECT_FALSE(ProbeImgFile(img.data(), 64));
}

TEST(MapFormats, AllThreeAreRegisteredWithTheirTexts) {
  int cFormats = 0;
  bool fVel = false, fImg = false, fVidx = false;
  for (MapFormatEntry* p = g_pMapFormats; p; p = p->pNext) {
    ++cFormats;
    fVel |= p == &g_mfeVel;
    fImg |= p == &g_mfeImg;
    fVidx |= p == &g_mfeVidx;
  }
  EXPECT_EQ(cFormats, 3);
  EXPECT_TRUE(fVel && fImg && fVidx);
  EXPECT_EQ(g_mfeVel.idDescription, 2273u);
  EXPECT_EQ(g_mfeImg.idDescription, 2274u);
  EXPECT_EQ(g_mfeVidx.pszPattern, nullptr);
  EXPECT_NE(g_mfeVel.pfnCreate, nullptr);  // the native reader is linked in
}

TEST(MapFormats, OpenDialogFilterOffersEveryFormatWithAPattern) {
  std::vector<MapFilterLine> lines = BuildOpenFilter(true);
  ASSERT_EQ(lines.size(), 3u);  // all formats, native, Garmin
  EXPECT_EQ(lines[0].strDescription, u"Все форматы");
  EXPECT_NE(lines[0].strPattern.find(u"*.vel"), std::u16string::npos);
  EXPECT_NE(lines[0].strPattern.find(u"*.img"), std::u16string::npos);
  EXPECT_NE(lines[0].strPattern.find(u";"), std::u16string::npos);
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_NE(lines[i].strDescription.find(u" (" + lines[i].strPattern + u")"), std::u16string::npos);
    EXPECT_EQ(u"*." + lines[i].strExtension, lines[i].strPattern);
  }
  EXPECT_EQ(BuildOpenFilter(false).size(), 2u);
  std::u16string text = BuildOpenFilterText(false);
  EXPECT_EQ(text.back(), 0);
  EXPECT_EQ(text[text.size() - 2], 0);
}

TEST(MatchFilePattern, BaseAndExtensionAreMatchedSeparately) {
  EXPECT_TRUE(MatchFilePattern(u"*.vel", u"ar.e.vel"));
  EXPECT_TRUE(MatchFilePattern(u"*.VEL", u"Map.vel"));
  EXPECT_TRUE(MatchFilePattern(u"m?p.vel", u"MAP.vel"));
  EXPECT_FALSE(MatchFilePattern(u"m?p.vel", u"mp.vel"));
  EXPECT_FALSE(MatchFilePattern(u"m?p.vel", u"maap.vel"));
  EXPECT_FALSE(MatchFilePattern(u"*.vel", u"map.vell"));
  EXPECT_FALSE(MatchFilePattern(u"*.vel", u"map.img"));
  EXPECT_TRUE(MatchFilePattern(u"*", u"anything"));
  EXPECT_FALSE(MatchFilePattern(u"*", u"with.ext"));  // the extension must be empty too
  EXPECT_TRUE(MatchFilePattern(u"*.*", u"with.ext"));
  EXPECT_TRUE(MatchFilePattern(u"КАРТА.vel", u"карта.VEL"));
}

class CFakeCities : public CCitiesQuery {
 public:
  explicit CFakeCities(std::vector<std::u16string> names) : m_names(std::move(names)) {}
  DWORD GetLocale() override { return 1049; }
  uint32_t GetCount() override { return uint32_t(m_names.size()); }
  bool GetItem(uint32_t n, CityItem* p, uint32_t) override {
    ++m_cFetched;
    if (n >= m_names.size()) return false;
    platform::StrCopy(p->szName, 64, m_names[n].c_str());
    return true;
  }
  int m_cFetched = 0;

 private:
  std::vector<std::u16string> m_names;
};

TEST(FindCityByName, BinarySearchOverSortedNames) {
  CFakeCities none({});
  EXPECT_EQ(none.FindCityByName(u"b"), 0u);
  CFakeCities one({u"a"});
  EXPECT_EQ(one.FindCityByName(u"b"), 0u);
  EXPECT_EQ(one.m_cFetched, 0);  // no comparison at all
  CFakeCities three({u"a", u"b", u"c"});
  EXPECT_EQ(three.FindCityByName(u"b"), 1u);
  EXPECT_EQ(three.FindCityByName(u""), 0u);
  CFakeCities towns({u"Берёзовка", u"Каменск", u"Озёрск", u"Сосновка", u"Тверь"});
  EXPECT_EQ(towns.FindCityByName(u"озёр"), 2u);
  EXPECT_EQ(towns.FindCityByName(u"Со"), 3u);
  EXPECT_EQ(towns.FindCityByName(u"каменск"), 1u);
}

std::u16string TempPath(const char* pszName) {
  return platform::Utf8ToU16(std::string(VELMO_BINARY_DIR) + "/" + pszName);
}

std::vector<std::u16string> g_messages;
void CaptureMessage(const char16_t* psz) { g_messages.push_back(psz); }

TEST(OpenMapFile, ReportsUnreadableAndUnsupportedFiles) {
  SetFailureNotifier([] { DrainFailures(CaptureMessage); });
  g_messages.clear();
  std::u16string strMissing = TempPath("no-such-map.vel");
  uint32_t ids = 0;
  EXPECT_EQ(OpenMapFileEx(strMissing.c_str(), true, c_fOpenAll, &ids), nullptr);
  EXPECT_EQ(ids, 2002u);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_NE(g_messages[0].find(strMissing), std::u16string::npos);

  std::u16string strText = TempPath("not-a-map.vel");
  const char sz[] = "this is not a map";
  ASSERT_TRUE(platform::WriteFileAtomic(strText.c_str(), sz, sizeof sz));
  EXPECT_EQ(OpenMapFileEx(strText.c_str(), true, c_fOpenAll, &ids), nullptr);
  EXPECT_EQ(ids, 2129u);
  ASSERT_EQ(g_messages.size(), 2u);
  EXPECT_NE(g_messages[1].find(u"повреждён"), std::u16string::npos);
  EXPECT_EQ(OpenMapFile(strText.c_str(), false, c_fOpenAll), nullptr);
  EXPECT_EQ(g_messages.size(), 2u);  // silent without reports

  // A file that passes the probe but is damaged inside.
  auto v = VelProbeBytes(600, 4, 600);
  ASSERT_TRUE(platform::WriteFileAtomic(strText.c_str(), v.data(), v.size()));
  EXPECT_EQ(OpenMapFileEx(strText.c_str(), true, c_fOpenAll, &ids), nullptr);
  EXPECT_EQ(ids, 2129u);
  SetFailureNotifier(nullptr);
}

TEST(ErrorAndLazyParsers, StandInsBehave) {
  CErrorMapParser err(2129, u"x.vel");
  EXPECT_EQ(err.GetRect().left, INT32_MIN);
  EXPECT_EQ(err.GetRect().bottom, INT32_MAX);
  EXPECT_EQ(err.GetFirstScale(), 0u);
  EXPECT_EQ(err.GetLastScale(), 0xFFFFFFFFu);
  uint16_t y = 1;
  uint8_t m = 1, d = 1;
  char16_t name[8] = u"x", notice[8] = u"x";
  err.GetDescription(&y, &m, &d, name, 8, notice, 8);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(name[0], 0);
  EXPECT_EQ(err.CreateCitiesQuery(), nullptr);
  EXPECT_FALSE(err.FindRoute({0, 0}, {1, 1}, nullptr, nullptr));

  CLazyMapParser lazy(u"/no/such/file.vel", nullptr);
  char16_t buf[261];
  lazy.GetFileName(buf);
  EXPECT_EQ(std::u16string(buf), u"/no/such/file.vel");
  char16_t label[64] = u"junk";
  int flag = 5;
  lazy.GetLabel(0, 0, 0, 0, label, &flag);
  EXPECT_EQ(label[0], 0);
}

TEST(MapRectTest, ContainsAndIntersects) {
  MapRect r{0, 0, 10, 10};
  EXPECT_TRUE(r.Contains(10, 10));
  EXPECT_FALSE(r.Contains(11, 0));
  EXPECT_TRUE(r.Contains(MapRect{0, 0, 10, 10}));
  EXPECT_FALSE(r.Contains(MapRect{0, 0, 11, 10}));
  EXPECT_TRUE(r.Intersects(MapRect{10, 10, 20, 20}));
  EXPECT_FALSE(r.Intersects(MapRect{11, 0, 20, 20}));
  EXPECT_TRUE(c_rectWholePlane.Contains(r));
}

TEST(ScaleCodes, CodesConvertToTheMostGeneralIndex) {
  EXPECT_EQ(ScaleCodeToIndex(11), 26u);
  EXPECT_EQ(ScaleCodeToIndex(12), 25u);  // 24 and 25 share code 12
  EXPECT_EQ(ScaleCodeToIndex(27), 3u);   // 2 and 3 share code 27
  EXPECT_EQ(ScaleCodeToIndex(29), 0u);   // index 0 is never searched
  EXPECT_EQ(ScaleCodeToIndex(30), 0u);
  EXPECT_EQ(ScaleIndexToCode(0), 29u);
  EXPECT_EQ(ScaleIndexToCode(40), 11u);
}

TEST(MapCollections, RegistryListRoundTrip) {
  platform::ResetRegistry();
  EXPECT_TRUE(ListMapCollections().empty());
  ASSERT_TRUE(AddMapCollection(u"/maps/Центр/", 3));
  ASSERT_TRUE(AddMapCollection(u"/maps/north", 5));
  auto list = ListMapCollections();
  ASSERT_EQ(list.size(), 2u);
  bool fFound = false;
  for (auto& c : list)
    if (c.strName == u"Центр") {
      fFound = true;
      EXPECT_EQ(c.strPath, u"/maps/Центр/");
      EXPECT_EQ(c.cMaps, 3u);
    }
  EXPECT_TRUE(fFound);
  EXPECT_TRUE(SetMapCollectionCount(u"north", 7));
  EXPECT_TRUE(DeleteMapCollection(u"Центр"));
  list = ListMapCollections();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].cMaps, 7u);
  EXPECT_EQ(CollectionIndexPath(u"/maps/north").substr(11), u"/Index.vidx");
  EXPECT_EQ(CollectionIndexPath(u"/maps/north/"), u"/maps/north/Index.vidx");
  platform::ResetRegistry();
}

TEST(DefaultLabelInterpreter, ControlCodes) {
  char16_t out[64];
  int nShield = -1;
  const char16_t raw1[] = u"\x02M1";
  EXPECT_EQ(InterpretLabelControlCodes(rkPolyline, 1, true, raw1, 3, out, &nShield, true), 2u);
  EXPECT_EQ(std::u16string(out), u"M1");
  EXPECT_EQ(nShield, 2);
  const char16_t raw2[] = u"Main\x1EStreet";
  InterpretLabelControlCodes(rkPolyline, 6, true, raw2, 11, out, &nShield, true);
  EXPECT_EQ(std::u16string(out), u"Main Street");  // full form: a space
  InterpretLabelControlCodes(rkPolyline, 6, true, raw2, 11, out, &nShield, false);
  EXPECT_EQ(std::u16string(out), u"Street");  // short form: the text before is dropped
  const char16_t raw3[] = u"Cafe\x1FOpen";
  InterpretLabelControlCodes(rkPoint, 0x2A00, true, raw3, 9, out, &nShield, true);
  EXPECT_EQ(std::u16string(out), u"Cafe");  // a point's text ends
  InterpretLabelControlCodes(rkPoint, 0x6616, true, raw3, 9, out, &nShield, true);
  EXPECT_EQ(std::u16string(out), u"Cafe Open");  // but not for heights
  InterpretLabelControlCodes(rkPolygon, 0x50, true, raw3, 9, out, &nShield, true);
  EXPECT_EQ(std::u16string(out), u"CafeOpen");
  std::u16string strLong(100, u'я');
  EXPECT_EQ(InterpretLabelControlCodes(rkPoint, 1, true, strLong.c_str(), strLong.size(), out, &nShield, true), 63u);
  EXPECT_EQ(out[63], 0);
}

}  // namespace
