// The IMG reader on the maps mkgmap built from the OSM extracts: every map
// opens and decodes completely at every level; the counts are reported and
// checked against the extracts; labels in all three encodings, through NET
// and POI properties; the scrambled copy and the two-map container; the
// nearest search against a scan of the same level.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <sys/stat.h>

#include "map/MapFiles.h"
#include "tests/img/ImgTestUtil.h"
#include "view/Scales.h"

using namespace imgtest;

namespace {

std::string DataPath(const char* pszName) { return std::string(VELMO_SHARED_DATA) + "/img/" + pszName; }

bool Exists(const std::string& str) {
  struct stat st;
  return stat(str.c_str(), &st) == 0;
}

#define REQUIRE_DATA(name)                                                                 \
  if (!Exists(DataPath(name))) GTEST_SKIP() << "shared data not present: " << DataPath(name)

// Opens through the format list, as the program does.
std::unique_ptr<CImgParser> OpenReal(const char* pszName) {
  std::u16string strPath = platform::Utf8ToU16(DataPath(pszName));
  CMapParser* p = OpenMapFile(strPath.c_str(), false, c_fOpenAll);
  return std::unique_ptr<CImgParser>(static_cast<CImgParser*>(p));
}

struct LevelCounts {
  uint64_t acObjects[isMax] = {};
  uint64_t cPoints = 0;
  uint64_t cDamaged = 0;
  uint64_t cBadSpare = 0;
  uint64_t cOutside = 0;      // points outside the map bounds (with a margin)
  uint64_t cOutsideGroup = 0; // objects whose points leave their group's rectangle
  uint64_t cLabelled = 0;     // objects with a non-empty label
  uint64_t cNetLabels = 0;    // road labels through NET that gave text
  uint64_t cPoiProps = 0;     // POI labels through the properties section that gave text
  uint64_t cUnresolved = 0;
};

struct WalkContext {
  CImgParser* pParser;
  MapRect rectBounds24;
  LevelCounts counts;
  std::set<std::u16string> names;
  int64_t lMaxExcess = 0;
};

bool Walk(void* p, const ImgObject& obj) {
  WalkContext* c = static_cast<WalkContext*>(p);
  LevelCounts& n = c->counts;
  ++n.acObjects[obj.nSection];
  n.cPoints += obj.cPoints;
  if (obj.fDamaged) ++n.cDamaged;
  const bool fExtra = obj.nKind == rkPolyline && (obj.dwWord & 0x40000000u);
  if (obj.nKind != rkPoint && obj.cSpareBits > (fExtra ? 8u : 7u)) ++n.cBadSpare;
  for (uint32_t i = 0; i < obj.cPoints; ++i)
    if (!c->rectBounds24.Contains(obj.pPoints[i])) ++n.cOutside;
  const MapRect& rGroup = c->pParser->GetGroup(obj.nGroup).rect;
  for (uint32_t i = 0; i < obj.cPoints; ++i)
    if (!rGroup.Contains(obj.pPoints[i])) {
      ++n.cOutsideGroup;
      const MapPoint& q = obj.pPoints[i];
      int64_t d = std::max({int64_t(rGroup.left) - q.x, int64_t(q.x) - rGroup.right, int64_t(rGroup.top) - q.y,
                            int64_t(q.y) - rGroup.bottom});
      if (d > c->lMaxExcess) c->lMaxExcess = d;
      break;
    }
  if (!obj.fLabelResolved) ++n.cUnresolved;
  char16_t sz[64] = {};
  int nFlag = 0;
  if (obj.dwLabel) c->pParser->GetLabel(1, obj.nKind, obj.wType, obj.dwLabel, sz, &nFlag);
  if (sz[0]) {
    ++n.cLabelled;
    c->names.insert(sz);
    if (obj.nKind != rkPoint && (obj.dwWord & 0x80000000u)) ++n.cNetLabels;
    if (obj.nSection == isPOIs && (obj.dwWord & 0x40000000u)) ++n.cPoiProps;
  }
  return true;
}

// Every label of the label data, walked one after the other.
struct LabelWalk {
  uint32_t cLabels = 0;
  uint32_t cEmpty = 0;
  std::set<std::u16string> texts;
};

LabelWalk WalkLabels(CImgParser& parser) {
  LabelWalk w;
  const uint32_t cbUnit = 1u << parser.GetLabelShift();
  // Offset 0 is the empty label, a single 0 byte.
  w.cLabels = w.cEmpty = 1;
  uint32_t dwOffset = (1 + cbUnit - 1) / cbUnit;
  while (uint64_t(dwOffset) * cbUnit < parser.GetLabelDataLength()) {
    char16_t sz[64];
    size_t cbUsed = 0;
    size_t c = parser.ReadLabel(dwOffset, sz, 64, &cbUsed);
    if (cbUsed == 0) break;
    ++w.cLabels;
    if (c == 0) ++w.cEmpty;
    w.texts.insert(std::u16string(sz, c));
    dwOffset += uint32_t((cbUsed + cbUnit - 1) / cbUnit);
  }
  return w;
}

struct MapFacts {
  const char* pszFile;
  uint32_t cLabels;        // labels mkgmap wrote (its own count)
  uint32_t cHighwayWays;   // highway=* ways of the OSM extract
  uint32_t cNamed;         // OSM objects with a name
  bool fNet;
};

const MapFacts c_aMaps[] = {
    {"monaco-6bit.img", 1379, 2927, 597 + 1466 + 124, true},
    {"moscow-cp1251.img", 220, 588, 124 + 169 + 89, true},
    {"andorra-unicode.img", 752, 1615, 403 + 823 + 65, true},
    {"north-bayreuth-6bit.img", 417, 2056, 181 + 551 + 92, false},
};

}  // namespace

TEST(ImgRealMaps, EveryMapDecodesCompletelyAtEveryLevel) {
  REQUIRE_DATA("monaco-6bit.img");
  for (const MapFacts& facts : c_aMaps) {
    SCOPED_TRACE(facts.pszFile);
    auto p = OpenReal(facts.pszFile);
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->IsDamaged());
    EXPECT_EQ(p->HasNet(), facts.fNet);
    const MapRect& r = p->GetRect();
    // Data may reach a little past the clip box the bounds give.
    const int32_t nMargin = 0x800;
    WalkContext ctx{p.get(), MapRect{(r.left >> 7) - nMargin, (r.top >> 7) - nMargin, (r.right >> 7) + nMargin,
                                     (r.bottom >> 7) + nMargin}};
    std::printf("%s: %u levels, %u groups\n", facts.pszFile, p->GetLevelCount(), p->GetGroupCount());
    LevelCounts finest;
    uint64_t cLabelledTotal = 0;
    for (uint32_t l = 0; l < p->GetLevelCount(); ++l) {
      ctx.counts = LevelCounts{};
      EXPECT_TRUE(p->ForEachObject(l, Walk, &ctx)) << "level " << l;
      const LevelCounts& n = ctx.counts;
      std::printf("  level %u (%u bits%s): polygons %llu, polylines %llu, POIs %llu, points %llu; %llu coordinates; "
                  "%llu labelled (%llu road labels through NET, %llu POI property labels)\n",
                  l, p->GetLevel(l).btBits, p->GetLevel(l).fInherited ? ", inherited" : "",
                  (unsigned long long)n.acObjects[isPolygons], (unsigned long long)n.acObjects[isPolylines],
                  (unsigned long long)n.acObjects[isPOIs], (unsigned long long)n.acObjects[isPoints],
                  (unsigned long long)n.cPoints, (unsigned long long)n.cLabelled,
                  (unsigned long long)n.cNetLabels, (unsigned long long)n.cPoiProps);
      EXPECT_EQ(n.cDamaged, 0u) << "level " << l;
      EXPECT_EQ(n.cBadSpare, 0u) << "level " << l;
      EXPECT_EQ(n.cOutside, 0u) << "level " << l;
      EXPECT_EQ(n.cUnresolved, 0u) << "level " << l;
      if (p->GetLevel(l).fInherited) {
        EXPECT_EQ(n.cPoints, 0u);
      } else {
        EXPECT_GT(n.acObjects[isPolylines], 0u) << "level " << l;
      }
      cLabelledTotal += n.cLabelled;
      if (l + 1 == p->GetLevelCount()) finest = n;
    }
    // Decoded objects stay in their group's rectangle (mkgmap rounds the
    // half sizes: one unit at the finest level).
    EXPECT_LE(ctx.lMaxExcess, 1);
    // Against the extract: about one polyline per highway way at the finest
    // level (mkgmap splits and merges some, and adds other lines).
    double fRatio = double(finest.acObjects[isPolylines]) / facts.cHighwayWays;
    EXPECT_GT(fRatio, 0.6);
    EXPECT_LT(fRatio, 1.6);
    EXPECT_GT(finest.acObjects[isPolygons], 0u);
    EXPECT_GT(finest.acObjects[isPOIs] + finest.acObjects[isPoints], 0u);
    if (facts.fNet) EXPECT_GT(finest.cNetLabels, 50u);
    EXPECT_GT(finest.cPoiProps, 50u);
    // Distinct names shown: no more than the extract has named objects.
    std::printf("  %zu distinct names on the map (extract: %u named objects)\n", ctx.names.size(), facts.cNamed);
    EXPECT_LE(ctx.names.size(), facts.cNamed);
    EXPECT_GT(ctx.names.size(), facts.cNamed / 5);

    // Every label of the label data decodes; mkgmap's own count.
    LabelWalk w = WalkLabels(*p);
    std::printf("  %u labels in the label data, %u empty\n", w.cLabels, w.cEmpty);
    EXPECT_EQ(w.cLabels, facts.cLabels);
    EXPECT_LE(w.cEmpty, 1u);
  }
}

TEST(ImgRealMaps, NamesDecodeInEveryEncoding) {
  REQUIRE_DATA("monaco-6bit.img");
  struct Expect {
    const char* pszFile;
    std::vector<const char*> names;
  };
  // Six-bit labels are upper-case in the file and shown title-cased by the
  // reader's rule (a capital after a space only); code page and UTF-8
  // labels are shown as mkgmap wrote them (upper case).
  const Expect c_aExpect[] = {
      {"monaco-6bit.img", {"Monaco", "Beausoleil", "La Turbie", "Monte-carlo", "Boulevard Du Larvotto",
                           "Avenue Princesse Grace", "Fontvieille", "Cap-d'ail"}},
      {"moscow-cp1251.img", {"ОСТАНКИНО"}},
      {"andorra-unicode.img", {"ESCÀS", "LA MASSANA", "ENCAMP", "CATALUNYA/CATALUÑA"}},
      {"north-bayreuth-6bit.img", {"Eberhardsreuth", "Unterlohe", "Zettlitz"}},
  };
  for (const Expect& e : c_aExpect) {
    SCOPED_TRACE(e.pszFile);
    auto p = OpenReal(e.pszFile);
    ASSERT_TRUE(p);
    WalkContext ctx{p.get(), c_rectWholePlane};
    for (uint32_t l = 0; l < p->GetLevelCount(); ++l) p->ForEachObject(l, Walk, &ctx);
    for (const char* psz : e.names) EXPECT_TRUE(ctx.names.count(platform::Utf8ToU16(psz))) << psz;
  }
  // Moscow: Cyrillic street names through NET.
  auto p = OpenReal("moscow-cp1251.img");
  ASSERT_TRUE(p);
  WalkContext ctx{p.get(), c_rectWholePlane};
  p->ForEachObject(p->GetLevelCount() - 1, Walk, &ctx);
  size_t cCyrillic = 0;
  for (const std::u16string& s : ctx.names)
    if (!s.empty() && s[0] >= 0x410 && s[0] <= 0x42F) ++cCyrillic;
  EXPECT_GT(cCyrillic, 100u);
  EXPECT_GT(ctx.counts.cNetLabels, 50u);
}

TEST(ImgRealMaps, DescriptionAndNotices) {
  REQUIRE_DATA("monaco-6bit.img");
  auto p = OpenReal("moscow-cp1251.img");
  ASSERT_TRUE(p);
  uint16_t wYear = 0;
  uint8_t btMonth = 0, btDay = 1;
  char16_t szName[64], szNotice[256];
  p->GetDescription(&wYear, &btMonth, &btDay, szName, 64, szNotice, 256);
  EXPECT_EQ(std::u16string(szName), u"Moscow cp1251 routab");  // 20 bytes of the header
  EXPECT_GE(wYear, 2020);
  EXPECT_GE(btMonth, 1);
  EXPECT_LE(btMonth, 12);
  EXPECT_EQ(btDay, 0);
  std::u16string strNotice = szNotice;
  EXPECT_NE(strNotice.find(u"OPENSTREETMAP.ORG CONTRIBUTORS"), std::u16string::npos);
  EXPECT_NE(strNotice.find(u"\r\n"), std::u16string::npos);
  // The scale range: 24 and 18 bits.
  EXPECT_EQ(p->GetFirstScale(), ScaleCodeToIndex(24));
  EXPECT_EQ(p->GetLastScale(), ScaleCodeToIndex(18));
}

namespace {

// Every object of every level as text.
bool DumpLine(void* p, const ImgObject& obj) {
  auto* pLines = static_cast<std::vector<std::string>*>(p);
  std::string str = std::to_string(obj.nKind) + " " + std::to_string(obj.wType) + " " + std::to_string(obj.dwLabel);
  for (uint32_t i = 0; i < obj.cPoints; ++i)
    str += " " + std::to_string(obj.pPoints[i].x) + "," + std::to_string(obj.pPoints[i].y);
  pLines->push_back(str);
  return true;
}

std::vector<std::string> DumpAll(CImgParser& p) {
  std::vector<std::string> lines;
  for (uint32_t l = 0; l < p.GetLevelCount(); ++l) p.ForEachObject(l, DumpLine, &lines);
  return lines;
}

}  // namespace

TEST(ImgRealMaps, ScrambledCopyAndTwoMapContainerReadLikeTheMap) {
  REQUIRE_DATA("scrambled-monaco.img");
  auto pPlain = OpenReal("monaco-6bit.img");
  auto pScrambled = OpenReal("scrambled-monaco.img");
  auto pTwo = OpenReal("two-maps.img");
  ASSERT_TRUE(pPlain && pScrambled && pTwo);
  EXPECT_EQ(pPlain->GetXorKey(), 0);
  EXPECT_EQ(pScrambled->GetXorKey(), 0x5A);
  std::vector<std::string> plain = DumpAll(*pPlain);
  EXPECT_GT(plain.size(), 19000u);
  EXPECT_TRUE(plain == DumpAll(*pScrambled));
  EXPECT_STREQ(pTwo->GetMapName(), "63240101");
  EXPECT_TRUE(plain == DumpAll(*pTwo));
  char16_t szName[64];
  pTwo->GetDescription(nullptr, nullptr, nullptr, szName, 64, nullptr, 0);
  EXPECT_EQ(std::u16string(szName), u"Monaco + North Bayre");
}

namespace {

struct PointScan {
  std::vector<std::tuple<uint16_t, int32_t, int32_t>> points;  // type, x, y (map units)
};

bool ScanPoints(void* p, const ImgObject& obj) {
  if (obj.nKind == rkPoint)
    static_cast<PointScan*>(p)->points.emplace_back(obj.wType, int32_t(uint32_t(obj.pPoints[0].x) << 7),
                                                    int32_t(uint32_t(obj.pPoints[0].y) << 7));
  return true;
}

}  // namespace

TEST(ImgRealMaps, NearestSearchMatchesAScanOfTheLevel) {
  REQUIRE_DATA("monaco-6bit.img");
  for (const char* pszFile : {"monaco-6bit.img", "andorra-unicode.img", "north-bayreuth-6bit.img"}) {
    SCOPED_TRACE(pszFile);
    auto p = OpenReal(pszFile);
    ASSERT_TRUE(p);
    std::mt19937 rng(3);
    const MapRect& r = p->GetRect();
    uint32_t cFoundTotal = 0;
    for (int nCase = 0; nCase < 40; ++nCase) {
      const bool fUseScale = nCase % 4 == 3;
      const uint32_t nScale = fUseScale ? 10 + rng() % 8 : 0;
      const uint32_t nLevel = fUseScale ? p->ChooseLevel(nScale) : p->GetLevelCount() - 1;
      PointScan scan;
      p->ForEachObject(nLevel, ScanPoints, &scan);
      const MapPoint pt = {int32_t(r.left + int64_t(rng() % 1000) * (int64_t(r.right) - r.left) / 1000),
                           int32_t(r.top + int64_t(rng() % 1000) * (int64_t(r.bottom) - r.top) / 1000)};
      const uint32_t nRadius = 50 + rng() % 2000;
      // A filter of the types of a few points, or none.
      std::vector<KindType> types;
      if (nCase % 2 && !scan.points.empty())
        for (int i = 0; i < 3; ++i)
          types.push_back(KindType{rkPoint, std::get<0>(scan.points[rng() % scan.points.size()])});
      MapTypeFilter filter = {types.data(), types.size()};
      std::unique_ptr<CMapQuery> q(
          p->FindNearest(nScale, fUseScale, pt, nRadius, types.empty() ? nullptr : &filter, nullptr, nullptr));
      ASSERT_TRUE(q);
      std::multiset<std::tuple<uint16_t, int32_t, int32_t>> found, expected;
      for (uint32_t i = 0; i < q->GetCount(); ++i) {
        FoundObject obj = {};
        ASSERT_TRUE(q->GetItem(i, &obj, c_fofName | c_fofReprPoint | c_fofScale));
        EXPECT_EQ(obj.nScale, int16_t(ScaleCodeToIndex(p->GetLevel(nLevel).btBits)));
        found.emplace(obj.wType, obj.xRepr, obj.yRepr);
      }
      // The scan: distance on the sphere of the map units (one unit is
      // 20 000 000 m / 2^30 along a meridian, times cos(lat) along a parallel).
      const double fCos = std::cos(MapToDegrees(pt.y) * 3.14159265358979 / 180);
      for (auto& t : scan.points) {
        bool fType = types.empty();
        for (const KindType& k : types) fType = fType || k.wType == std::get<0>(t);
        const double dx = (std::get<1>(t) - double(pt.x)) * fCos * c_fMetresPerMapUnit;
        const double dy = (std::get<2>(t) - double(pt.y)) * c_fMetresPerMapUnit;
        const double d = std::sqrt(dx * dx + dy * dy);
        // Points within a few centimetres of the circle may fall either way.
        if (std::fabs(d - nRadius) < 0.05) continue;
        if (fType && d <= nRadius) expected.insert(t);
      }
      for (auto& t : found) {
        const double dx = (std::get<1>(t) - double(pt.x)) * fCos * c_fMetresPerMapUnit;
        const double dy = (std::get<2>(t) - double(pt.y)) * c_fMetresPerMapUnit;
        if (std::fabs(std::sqrt(dx * dx + dy * dy) - nRadius) < 0.05) expected.insert(t);
      }
      EXPECT_TRUE(found == expected) << "case " << nCase << ": " << found.size() << " found, " << expected.size()
                                     << " expected";
      cFoundTotal += uint32_t(found.size());
    }
    EXPECT_GT(cFoundTotal, 20u);
  }
}

TEST(ImgRealMaps, DrawAtThreeScalesWithLabels) {
  REQUIRE_DATA("monaco-6bit.img");
  auto p = OpenReal("monaco-6bit.img");
  ASSERT_TRUE(p);
  size_t cPrevious = SIZE_MAX;
  for (int nScale : {2, 10, 16}) {
    CRecordingSink sink;
    sink.nScale = nScale;
    CRecordingLabels labels;
    p->Draw(&sink, &labels);
    std::printf("monaco at scale %d: %zu areas, %zu lines, %zu labels\n", nScale, sink.Count(rkPolygon),
                sink.Count(rkPolyline), labels.labels.size());
    EXPECT_GT(sink.Count(rkPolyline), 0u);
    EXPECT_GT(labels.labels.size(), 0u);
    // Coarser scales draw fewer objects.
    EXPECT_LT(sink.shapes.size(), cPrevious);
    cPrevious = sink.shapes.size();
  }
}
