// The find dialogs' nearest search on real maps: the demo region compiled
// by velc and the shared IMG maps. A category's set of pairs handed to the
// reader finds exactly the objects that the same set picks out of an
// unfiltered search, the other-objects filter the rest, and the result
// list's distances lie within the radius and come nearest first.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "find/FindResults.h"
#include "find/TypeFilters.h"
#include "map/MapParser.h"
#include "platform/Str.h"
#include "tools/velc/OsmConvert.h"
#include "view/MapUnits.h"

namespace {

bool Exists(const std::string& str) {
  struct stat st;
  return stat(str.c_str(), &st) == 0;
}

std::string DemoMap() {
  static std::string s_strMap;
  if (s_strMap.empty()) {
    const std::string strOsm = std::string(VELMO_BINARY_DIR) + "/find-demo.osm";
    const std::string strVel = std::string(VELMO_BINARY_DIR) + "/find-demo.vel";
    std::string strError;
    if (std::system((std::string(VELMO_DEMOGEN) + " --size 1 -o " + strOsm + " > /dev/null").c_str()) == 0 &&
        CompileOsmToVel(strOsm, strVel, "", VelWriterOptions(), strError))
      s_strMap = strVel;
  }
  return s_strMap;
}

std::unique_ptr<CMapParser> Open(const std::string& str) {
  std::u16string strPath = platform::Utf8ToU16(str);
  return std::unique_ptr<CMapParser>(OpenMapFile(strPath.c_str(), false, c_fOpenAll));
}

typedef std::tuple<int, uint16_t, int32_t, int32_t, std::u16string> Key;

// The results of a nearest search through the dialogs' result list.
std::set<Key> Search(CMapParser& parser, MapPoint pt, uint32_t nMetres, CTypeFilterSet* pSet, bool fFilterAfter,
                     CFindResults* pResults = nullptr) {
  CFindResults local;
  CFindResults& results = pResults ? *pResults : local;
  std::unique_ptr<CMapQuery> pQuery(
      parser.FindNearest(0, false, pt, nMetres, pSet ? pSet->AsMapFilter() : nullptr, nullptr, nullptr));
  EXPECT_NE(pQuery, nullptr);
  std::set<Key> keys;
  if (!pQuery) return keys;
  results.SetReference(pt);
  EXPECT_TRUE(results.AddQuery(*pQuery, c_fofName | c_fofReprPoint, fFilterAfter ? pSet : nullptr, nullptr));
  for (const FindResult& r : results.Items())
    keys.insert(Key{r.obj.nKind, r.obj.wType, r.obj.xRepr, r.obj.yRepr, r.obj.szName});
  return keys;
}

void CheckFiltersOnMap(CMapParser& parser, MapPoint pt, uint32_t nMetres, bool fPointsOnly) {
  CFindResults all;
  const std::set<Key> every = Search(parser, pt, nMetres, nullptr, false, &all);
  ASSERT_FALSE(every.empty());
  // Distances from the search point: within the radius (a little slack for
  // the reader's flat measure against the ellipsoid), nearest first.
  all.SortByDistance();
  for (size_t i = 0; i < all.GetCount(); ++i) {
    EXPECT_GE(all.GetItem(i).fDistance, 0);
    EXPECT_LE(all.GetItem(i).fDistance, nMetres * 1.01 + 1);
    if (i) {
      EXPECT_LE(all.GetItem(i - 1).fDistance, all.GetItem(i).fDistance);
    }
  }
  size_t cInCategories = 0;
  std::set<Key> listed;
  for (uint32_t iRow : GetCategoriesOfFilter(0)) {
    SCOPED_TRACE(iRow);
    CTypeFilterSet set(iRow);
    if (set.IsOthers()) continue;
    std::set<Key> found = Search(parser, pt, nMetres, &set, false);
    std::set<Key> picked;
    for (const Key& k : every)
      if (set.Contains(std::get<0>(k), std::get<1>(k))) picked.insert(k);
    EXPECT_EQ(found, picked);
    cInCategories += found.size();
    listed.insert(found.begin(), found.end());
  }
  EXPECT_GT(cInCategories, 0u);
  // The other objects: every result that no category lists.
  CTypeFilterSet others(420);
  std::set<Key> rest = Search(parser, pt, nMetres, &others, true);
  std::set<Key> expected;
  for (const Key& k : every)
    if (!listed.count(k)) expected.insert(k);
  if (!fPointsOnly) {
    EXPECT_EQ(rest, expected);
  }
  for (const Key& k : rest) EXPECT_FALSE(IsTypeListed(std::get<0>(k), std::get<1>(k)));
}

TEST(FindOnMaps, DemoRegionCategoriesFindWhatTheirTypesPickOut) {
  std::string strMap = DemoMap();
  ASSERT_FALSE(strMap.empty()) << "demogen and velc make the demo region";
  std::unique_ptr<CMapParser> p = Open(strMap);
  ASSERT_NE(p, nullptr);
  // In the first town, where the demo region puts a point of every category.
  CheckFiltersOnMap(*p, MapPoint{DegreesToMap(37.0), DegreesToMap(55.0)}, 3000, false);
  // Fuel stations through the single type and through their category.
  CTypeFilterSet fuel(345), car(344);
  std::set<Key> a = Search(*p, MapPoint{DegreesToMap(37.0), DegreesToMap(55.0)}, 50000, &fuel, false);
  std::set<Key> b = Search(*p, MapPoint{DegreesToMap(37.0), DegreesToMap(55.0)}, 50000, &car, false);
  EXPECT_FALSE(a.empty());
  for (const Key& k : a) EXPECT_TRUE(b.count(k));
}

TEST(FindOnMaps, ImgMapsCategoriesFindWhatTheirTypesPickOut) {
  for (const char* pszName : {"monaco-6bit.img", "moscow-cp1251.img"}) {
    SCOPED_TRACE(pszName);
    const std::string strPath = std::string(VELMO_SHARED_DATA) + "/img/" + pszName;
    if (!Exists(strPath)) GTEST_SKIP() << "shared data not present: " << strPath;
    std::unique_ptr<CMapParser> p = Open(strPath);
    ASSERT_NE(p, nullptr);
    const MapRect& rc = p->GetRect();
    const MapPoint pt = {int32_t((int64_t(rc.left) + rc.right) / 2), int32_t((int64_t(rc.top) + rc.bottom) / 2)};
    // The IMG reader's nearest search finds points only.
    CheckFiltersOnMap(*p, pt, 1500, true);
  }
}

}  // namespace
