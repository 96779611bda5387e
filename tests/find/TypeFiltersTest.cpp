// The object type filter table of the find dialogs: its rows and tree, the
// sets of (kind, type) pairs that groups, categories and single types
// search for, saved cookies out of the table, and the distance limit.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "find/TypeFilters.h"
#include "geo/Units.h"
#include "platform/Str.h"

namespace {

std::u16string Caption(uint32_t nCookie, TypeNameProc pfn = nullptr) {
  return SelectTypeFilter(nCookie, pfn).szCaption;
}

TEST(TypeFilterTable, CategoriesSitAtTheirRowsWithTheirCodes) {
  // Row, level, caption id, category code of every group and category.
  struct Expected {
    uint32_t nRow;
    uint16_t wLevel;
    uint16_t wCaption;
    uint16_t wCategory;
  };
  const Expected aExpected[] = {
      {0, 0, 2300, 0xFFFF},   {1, 0, 2301, 0xFFFF},   {2, 1, 2302, 0x2A00},   {24, 1, 2303, 0x2B00},
      {30, 1, 2304, 0x2C00},  {43, 1, 2305, 0xF100},  {51, 1, 2306, 0x2C05},  {58, 1, 2307, 0x2D00},
      {64, 1, 2308, 0x2D0A},  {72, 1, 2309, 0x2E00},  {85, 1, 2310, 0x2F00},  {99, 1, 2311, 0x3000},
      {110, 1, 2312, 0xF000}, {125, 0, 2313, 0xFFFF}, {126, 1, 2314, 0x0100}, {147, 1, 2315, 0x0001},
      {169, 1, 2316, 0x6400}, {227, 1, 2317, 0x6500}, {272, 1, 2318, 0x6600}, {331, 0, 2319, 0xFFFF},
      {332, 1, 2320, 0x4100}, {334, 1, 2321, 0x4A00}, {343, 0, 2322, 0xFFFF}, {344, 1, 2323, 0x2F01},
      {353, 1, 2324, 0xF200}, {358, 1, 2325, 0x2000}, {368, 0, 2326, 0xFFFF}, {369, 1, 2327, 0x4300},
      {374, 1, 2328, 0x1600}, {398, 1, 2329, 0x1C00}, {411, 1, 2330, 0x1D00}, {413, 0, 2331, 0xFFFF},
      {414, 1, 2332, 0x5900}, {420, 0, 2333, 0x0000},
  };
  const TypeFilterEntry* aRows = GetTypeFilterTable();
  std::set<uint32_t> heads;
  for (const Expected& e : aExpected) {
    SCOPED_TRACE(e.nRow);
    heads.insert(e.nRow);
    EXPECT_EQ(aRows[e.nRow].wLevel, e.wLevel);
    EXPECT_EQ(aRows[e.nRow].wCaption, e.wCaption);
    EXPECT_EQ(aRows[e.nRow].wCategory, e.wCategory);
    EXPECT_EQ(aRows[e.nRow].wType, 0xFFFF);
  }
  // Every other row is a single type without a caption, under its category,
  // and no (kind, type) appears twice in the table.
  std::set<std::pair<uint32_t, uint16_t>> types;
  for (uint32_t i = 0; i < c_cTypeFilters; ++i) {
    if (heads.count(i)) continue;
    SCOPED_TRACE(i);
    EXPECT_EQ(aRows[i].wLevel, tflType);
    EXPECT_EQ(aRows[i].wCaption, 0);
    EXPECT_LT(aRows[i].dwKind, uint32_t(rkMax));
    EXPECT_NE(aRows[i].wType, 0xFFFF);
    int iParent = GetTypeFilterParent(i);
    ASSERT_GE(iParent, 0);
    EXPECT_EQ(aRows[iParent].wLevel, tflCategory);
    EXPECT_EQ(aRows[i].wCategory, aRows[iParent].wCategory);
    EXPECT_TRUE(types.insert({aRows[i].dwKind, aRows[i].wType}).second) << "listed twice";
  }
  EXPECT_EQ(types.size(), c_cTypeFilters - heads.size());
  EXPECT_EQ(GetTypeFilter(c_cTypeFilters), nullptr);
}

TEST(TypeFilterTable, TheTreeHangsTypesUnderCategoriesUnderGroups) {
  EXPECT_EQ(GetTypeFilterParent(0), -1);
  EXPECT_EQ(GetTypeFilterParent(1), -1);
  EXPECT_EQ(GetTypeFilterParent(2), 1);
  EXPECT_EQ(GetTypeFilterParent(23), 2);  // the last type of the first category
  EXPECT_EQ(GetTypeFilterParent(344), 343);
  EXPECT_EQ(GetTypeFilterParent(419), 414);
  EXPECT_EQ(GetTypeFilterParent(420), -1);
  EXPECT_EQ(GetTypeFilterParent(421), -1);
  // Ranges and steps: the settlements' points in steps of 0x100, the
  // highway's exits in steps of 0x100 after 0x210F.
  const TypeFilterEntry* aRows = GetTypeFilterTable();
  EXPECT_EQ(aRows[129].dwKind, 2u);
  EXPECT_EQ(aRows[129].wType, 0x0003);
  EXPECT_EQ(aRows[130].dwKind, 0u);
  EXPECT_EQ(aRows[130].wType, 0x0100);
  EXPECT_EQ(aRows[146].wType, 0x1100);
  EXPECT_EQ(aRows[361].wType, 0x210F);
  EXPECT_EQ(aRows[367].wType, 0x2700);
  // Order inside a category is the listed order, not code order.
  EXPECT_EQ(aRows[65].wType, 0x2D0A);
  EXPECT_EQ(aRows[70].wType, 0x2D05);
}

TEST(TypeFilterSet, AllTypesPassesEveryObject) {
  CTypeFilterSet set(0);
  EXPECT_TRUE(set.IsAll());
  EXPECT_FALSE(set.IsEmpty());
  EXPECT_EQ(set.AsMapFilter(), nullptr);  // a parser searches every type
  EXPECT_TRUE(set.Contains(rkPoint, 0x2A00));
  EXPECT_TRUE(set.Contains(rkPolygon, 0x9999));
  // The other groups whose codes are "any" too.
  EXPECT_TRUE(CTypeFilterSet(125).IsAll());
  EXPECT_TRUE(CTypeFilterSet(413).IsAll());
}

TEST(TypeFilterSet, FoodCategoryPassesExactlyItsTwentyOnePointTypes) {
  CTypeFilterSet set(2);
  ASSERT_EQ(set.Items().size(), 21u);
  std::set<uint16_t> codes;
  for (const KindType& kt : set.Items()) {
    EXPECT_EQ(kt.nKind, rkPoint);
    codes.insert(kt.wType);
  }
  EXPECT_EQ(codes.size(), 21u);
  EXPECT_TRUE(codes.count(0x4500) && codes.count(0x4600) && codes.count(0x2A00) && codes.count(0x2A12));
  EXPECT_FALSE(codes.count(0x2A13));
  EXPECT_TRUE(set.Contains(rkPoint, 0x2A05));
  EXPECT_FALSE(set.Contains(rkPolyline, 0x2A05));  // the kind counts
  EXPECT_FALSE(set.Contains(rkPoint, 0x2B00));     // the next category
  const MapTypeFilter* pFilter = set.AsMapFilter();
  ASSERT_NE(pFilter, nullptr);
  EXPECT_EQ(pFilter->cItems, 21u);
  EXPECT_TRUE(pFilter->Contains(rkPoint, 0x4600));
}

TEST(TypeFilterSet, CategoriesOfMixedKindsAndNeighbouringCodes) {
  // Streets and roads: lines and two polygons.
  CTypeFilterSet roads(147);
  EXPECT_EQ(roads.Items().size(), 21u);
  EXPECT_TRUE(roads.Contains(rkPolyline, 0x0000));
  EXPECT_TRUE(roads.Contains(rkPolygon, 0x006B));
  EXPECT_FALSE(roads.Contains(rkPoint, 0x0001));
  // The car services (category 2F01) are not the general services (2F00).
  CTypeFilterSet car(344);
  EXPECT_EQ(car.Items().size(), 8u);
  EXPECT_TRUE(car.Contains(rkPoint, 0x2F01));  // fuel
  EXPECT_FALSE(car.Contains(rkPoint, 0x2F00));
  CTypeFilterSet services(85);
  EXPECT_EQ(services.Items().size(), 13u);
  EXPECT_FALSE(services.Contains(rkPoint, 0x2F01));
  // The last category of the table ends at the end of the table.
  EXPECT_EQ(CTypeFilterSet(414).Items().size(), 5u);
  EXPECT_EQ(CTypeFilterSet(126).Items().size(), 20u);
  EXPECT_EQ(CTypeFilterSet(169).Items().size(), 57u);
  EXPECT_EQ(CTypeFilterSet(227).Items().size(), 44u);
  EXPECT_EQ(CTypeFilterSet(272).Items().size(), 58u);
}

TEST(TypeFilterSet, SingleTypeRowPassesOneType) {
  CTypeFilterSet set(3);
  ASSERT_EQ(set.Items().size(), 1u);
  EXPECT_EQ(set.Items()[0].nKind, rkPoint);
  EXPECT_EQ(set.Items()[0].wType, 0x4500);
  EXPECT_TRUE(set.Contains(rkPoint, 0x4500));
  EXPECT_FALSE(set.Contains(rkPoint, 0x4600));
  CTypeFilterSet polygon(127);
  ASSERT_EQ(polygon.Items().size(), 1u);
  EXPECT_EQ(polygon.Items()[0].nKind, rkPolygon);
  EXPECT_EQ(polygon.Items()[0].wType, 0x0001);
}

TEST(TypeFilterSet, CookiesOfTheTableSizeAndMoreGiveEmptyFilters) {
  for (uint32_t nCookie : {421u, 422u, 1000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(nCookie);
    CTypeFilterSet set(nCookie);
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_FALSE(set.IsAll());
    EXPECT_FALSE(set.Contains(rkPoint, 0x2A00));
    SelectedTypeFilter sel = SelectTypeFilter(nCookie, nullptr);
    EXPECT_EQ(sel.szCaption[0], 0);
    EXPECT_EQ(sel.nCookie, nCookie);
    EXPECT_TRUE(GetCategoriesOfFilter(nCookie).empty());
  }
}

TEST(TypeFilterSet, OtherObjectsNameNoTypeAndPassTheUnlistedOnes) {
  CTypeFilterSet set(420);
  EXPECT_TRUE(set.Items().empty());
  EXPECT_TRUE(set.IsOthers());
  EXPECT_FALSE(set.IsEmpty());
  EXPECT_EQ(set.AsMapFilter(), nullptr);
  EXPECT_TRUE(set.Contains(rkPoint, 0x2F20));      // listed nowhere
  EXPECT_FALSE(set.Contains(rkPoint, 0x2F01));     // a car service
  EXPECT_FALSE(set.Contains(rkPolyline, 0x0001));  // a road
  EXPECT_TRUE(set.Contains(rkPoint, 0x0001));      // that code is listed for lines only
  EXPECT_TRUE(IsTypeListed(rkPolygon, 0x0097));
  EXPECT_FALSE(IsTypeListed(rkPolygon, 0x0098));
}

TEST(TypeFilterSet, ObjectsQueriesAskForTheCategoriesOfAFilter) {
  std::vector<uint32_t> all = GetCategoriesOfFilter(0);
  EXPECT_EQ(all.size(), 27u);  // 26 categories and the last group
  EXPECT_EQ(all.front(), 2u);
  EXPECT_EQ(all.back(), 420u);
  std::vector<uint32_t> useful = GetCategoriesOfFilter(1);
  EXPECT_EQ(useful, (std::vector<uint32_t>{2, 24, 30, 43, 51, 58, 64, 72, 85, 99, 110}));
  EXPECT_EQ(GetCategoriesOfFilter(343), (std::vector<uint32_t>{344, 353, 358}));
  EXPECT_EQ(GetCategoriesOfFilter(413), (std::vector<uint32_t>{414}));
  EXPECT_EQ(GetCategoriesOfFilter(344), (std::vector<uint32_t>{344}));
  EXPECT_EQ(GetCategoriesOfFilter(420), (std::vector<uint32_t>{420}));
  EXPECT_TRUE(GetCategoriesOfFilter(345).empty());
}

bool NameOfFuel(int nKind, uint16_t wType, char16_t* psz, size_t cch) {
  if (nKind != rkPoint || wType != 0x2F01) return false;
  platform::Format(psz, cch, u"%s", u"АЗС");
  return true;
}

TEST(SelectedTypeFilter, CaptionsComeFromTheStringTableOrTheTypeName) {
  EXPECT_EQ(Caption(0), u"Все типы");
  EXPECT_EQ(Caption(2), u"Предприятия питания");
  EXPECT_EQ(Caption(420), u"Прочие объекты");
  SelectedTypeFilter sel = SelectTypeFilter(345, nullptr);
  EXPECT_EQ(std::u16string(sel.szCaption), u"0 0x2f01");
  EXPECT_EQ(sel.dwKind, 0u);
  EXPECT_EQ(sel.wCategory, 0x2F01);
  EXPECT_EQ(sel.wType, 0x2F01);
  EXPECT_EQ(Caption(345, NameOfFuel), u"АЗС");
  EXPECT_EQ(Caption(346, NameOfFuel), u"0 0x2f0b");  // no name: the codes
  EXPECT_EQ(Caption(148), u"1 0x0000");
  sel = SelectTypeFilter(24, nullptr);
  EXPECT_EQ(sel.wCategory, 0x2B00);
  EXPECT_EQ(sel.wType, 0xFFFF);
}

TEST(DistanceLimit, StoredInWholeMetresOfTheUnitTyped) {
  EXPECT_EQ(DistanceLimitToMetres(1.5, duMetric), 1500u);
  EXPECT_EQ(DistanceLimitToMetres(1.5, duNautical), 2778u);
  EXPECT_EQ(DistanceLimitToMetres(1.5, duStatute), 2414u);  // 2413.95
  EXPECT_EQ(DistanceLimitToMetres(0.0004, duMetric), 0u);
  EXPECT_EQ(DistanceLimitToMetres(-3, duMetric), 0u);
  EXPECT_EQ(DistanceLimitToMetres(1e12, duMetric), 0xFFFFFFFFu);
  EXPECT_DOUBLE_EQ(DistanceLimitFromMetres(1500, duMetric), 1.5);
  EXPECT_DOUBLE_EQ(DistanceLimitFromMetres(2778, duNautical), 1.5);
  EXPECT_EQ(DistanceLimitUnitId(duMetric), 2402u);
  EXPECT_EQ(DistanceLimitUnitId(duNautical), 2403u);
  EXPECT_EQ(DistanceLimitUnitId(duStatute), 2404u);
}

}  // namespace
