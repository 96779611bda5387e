// The find dialogs' result list: reading a query under progress and cancel,
// the type filter on results, distances and bearings from the search
// point, the two orders and the name look-up.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "find/FindResults.h"
#include "platform/Str.h"
#include "view/MapUnits.h"

namespace {

struct FakeObject {
  std::u16string strName;
  int nKind;
  uint16_t wType;
  double fLon, fLat;
};

// A results query over a fixed list; records what it was asked.
class CFakeQuery : public CMapQuery {
 public:
  explicit CFakeQuery(std::vector<FakeObject> objects) : m_objects(std::move(objects)) {}
  DWORD GetLocale() override { return 1049; }
  uint32_t GetCount() override { return uint32_t(m_objects.size()); }
  bool GetItem(uint32_t i, FoundObject* p, uint32_t dwFlags) override {
    ++m_cReads;
    m_dwLastFlags = dwFlags;
    if (i >= m_objects.size()) return false;
    const FakeObject& o = m_objects[i];
    CopyField(p->szName, 64, o.strName.c_str());
    p->nKind = o.nKind;
    p->wType = o.wType;
    p->xRepr = p->xNearest = DegreesToMap(o.fLon);
    p->yRepr = p->yNearest = DegreesToMap(o.fLat);
    return true;
  }
  uint32_t FindByName(const char16_t*) override { return 0; }
  void SetReference(MapPoint pt) override {
    m_fReference = true;
    m_ptReference = pt;
  }

  std::vector<FakeObject> m_objects;
  int m_cReads = 0;
  uint32_t m_dwLastFlags = 0;
  bool m_fReference = false;
  MapPoint m_ptReference = {0, 0};
};

MapPoint Point(double fLon, double fLat) { return MapPoint{DegreesToMap(fLon), DegreesToMap(fLat)}; }

std::vector<FakeObject> Stations() {
  // About 55.75 N, 37.6 E: one to the north (~1.1 km), one to the east
  // (~0.63 km), one to the south-west (~2.2 km), a restaurant in between.
  return {
      {u"Север", rkPoint, 0x2F01, 37.6, 55.76},
      {u"Восток", rkPoint, 0x2F01, 37.61, 55.75},
      {u"Юго-запад", rkPoint, 0x2F01, 37.58, 55.735},
      {u"Ресторан", rkPoint, 0x2A00, 37.6, 55.752},
  };
}

TEST(FindResults, DistancesAndBearingsFromTheSearchPointSortNearestFirst) {
  CFakeQuery query(Stations());
  CFindResults results;
  results.SetReference(Point(37.6, 55.75));
  CTypeFilterSet fuel(345);
  ASSERT_TRUE(results.AddQuery(query, c_fofName, &fuel, nullptr));
  EXPECT_TRUE(query.m_fReference);  // the query was told the point for its nearest points
  EXPECT_EQ(query.m_ptReference.x, DegreesToMap(37.6));
  EXPECT_TRUE(query.m_dwLastFlags & c_fofNearestPoint);
  ASSERT_EQ(results.GetCount(), 3u);  // the restaurant is filtered out
  results.SortByDistance();
  EXPECT_EQ(std::u16string(results.GetItem(0).obj.szName), u"Восток");
  EXPECT_EQ(std::u16string(results.GetItem(1).obj.szName), u"Север");
  EXPECT_EQ(std::u16string(results.GetItem(2).obj.szName), u"Юго-запад");
  EXPECT_NEAR(results.GetItem(0).fDistance, 628, 10);
  EXPECT_NEAR(results.GetItem(1).fDistance, 1113, 10);
  EXPECT_NEAR(results.GetItem(0).fBearing, 90, 0.5);
  EXPECT_NEAR(results.GetItem(1).fBearing, 0, 0.5);
  EXPECT_NEAR(results.GetItem(2).fBearing, 218, 3);
}

TEST(FindResults, WithoutASearchPointThereAreNoDistances) {
  CFakeQuery query(Stations());
  CFindResults results;
  ASSERT_TRUE(results.AddQuery(query, c_fofName, nullptr, nullptr));
  EXPECT_FALSE(query.m_fReference);
  EXPECT_FALSE(query.m_dwLastFlags & c_fofNearestPoint);
  ASSERT_EQ(results.GetCount(), 4u);
  for (const FindResult& r : results.Items()) EXPECT_EQ(r.fDistance, -1);
  // Objects without a distance go after those with one.
  results.SetReference(Point(37.6, 55.75));
  FoundObject obj = {};
  obj.xNearest = DegreesToMap(37.6);
  obj.yNearest = DegreesToMap(55.7501);
  results.Add(obj);
  results.SortByDistance();
  EXPECT_GE(results.GetItem(0).fDistance, 0);
  EXPECT_EQ(results.GetItem(1).fDistance, -1);
}

int s_nCancelAt = 0;
volatile bool s_fCancel = false;
std::vector<int32_t> s_positions;
void CancelAtPosition(void*, int32_t nPos) {
  s_positions.push_back(nPos);
  if (nPos >= s_nCancelAt) s_fCancel = true;
}

TEST(FindResults, ACancelledReadStopsAndSaysSo) {
  std::vector<FakeObject> many;
  for (int i = 0; i < 1000; ++i) many.push_back({u"x", rkPoint, 0x2F01, 37.6, 55.75 + i * 1e-4});
  CFakeQuery query(many);
  CFindResults results;
  s_fCancel = false;
  s_positions.clear();
  s_nCancelAt = 50;
  MapProgress progress = {0, 100, &s_fCancel, CancelAtPosition};
  EXPECT_FALSE(results.AddQuery(query, c_fofName, nullptr, &progress));
  EXPECT_LT(query.m_cReads, 1000);  // it stopped early
  EXPECT_LT(results.GetCount(), 1000u);
  ASSERT_FALSE(s_positions.empty());
  EXPECT_GE(s_positions.back(), 50);

  // Not cancelled: every item, the bar ends at its end.
  CFakeQuery again(many);
  CFindResults all;
  s_fCancel = false;
  s_positions.clear();
  s_nCancelAt = 1000;
  EXPECT_TRUE(all.AddQuery(again, c_fofName, nullptr, &progress));
  EXPECT_EQ(all.GetCount(), 1000u);
  EXPECT_EQ(s_positions.back(), 100);
  for (size_t i = 1; i < s_positions.size(); ++i) EXPECT_GE(s_positions[i], s_positions[i - 1]);
}

TEST(FindResults, NameOrderAndTheFirstNameStartingWithATypedText) {
  CFindResults results;
  for (const char16_t* psz : {u"Сосновка", u"берёзовка", u"Каменск", u"Озёрск", u"Abbey", u"заречье", u"Каменка"}) {
    FoundObject obj = {};
    CopyField(obj.szName, 64, psz);
    results.Add(obj);
  }
  results.SortByName(1049);
  std::vector<std::u16string> names;
  for (const FindResult& r : results.Items()) names.push_back(r.obj.szName);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Abbey", u"берёзовка", u"заречье", u"Каменка", u"Каменск",
                                                u"Озёрск", u"Сосновка"}));
  EXPECT_EQ(results.FindByName(1049, u"к"), 3u);
  EXPECT_EQ(results.FindByName(1049, u"КАМЕНС"), 4u);  // case does not count
  EXPECT_EQ(results.FindByName(1049, u"Каменский"), 5u);  // longer than every name: the next one
  EXPECT_EQ(results.FindByName(1049, u"Я"), results.GetCount());
  EXPECT_EQ(results.FindByName(1049, u""), 0u);
  EXPECT_EQ(results.FindByName(1049, u"a"), 0u);
}

TEST(FindResults, FieldsWithoutTerminatorAreCutInside) {
  CFindResults results;
  FoundObject obj;
  std::fill(reinterpret_cast<char*>(&obj), reinterpret_cast<char*>(&obj) + sizeof obj, char(0x41));
  results.Add(obj);
  const FoundObject& stored = results.GetItem(0).obj;
  EXPECT_EQ(std::u16string(stored.szName).size(), 63u);
  EXPECT_EQ(std::u16string(stored.szZip).size(), 15u);
  EXPECT_EQ(std::u16string(stored.szNumber).size(), 15u);
  char16_t sz[4];
  CopyField(sz, 4, u"abcdef");
  EXPECT_EQ(std::u16string(sz), u"abc");
  CopyField(sz, 4, nullptr);
  EXPECT_EQ(sz[0], 0);
}

}  // namespace
