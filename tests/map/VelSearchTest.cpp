// The city index, the object name index and the searches over them: maps
// written with the writer's index input, read back through the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "map/vel/VelParser.h"
#include "platform/Debug.h"
#include "tests/map/VelTestUtil.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

const int32_t c_x0 = DegreesToMap(37.6);
const int32_t c_y0 = DegreesToMap(55.75);

MapPoint At(int dx, int dy) { return MapPoint{c_x0 + dx * 64, c_y0 + dy * 64}; }

VelObject Point(uint16_t wType, const char16_t* pszLabel, MapPoint pt) {
  VelObject o;
  o.nKind = rkPoint;
  o.wType = wType;
  o.strLabel = pszLabel;
  o.points = {pt};
  return o;
}

void SetAddress(VelObject& o, uint32_t nCity, uint32_t nZip, uint32_t nStreet, uint32_t nNumber) {
  o.fHasAddress = true;
  o.adwAddress[0] = nCity;
  o.adwAddress[1] = nZip;
  o.adwAddress[2] = nStreet;
  o.adwAddress[3] = nNumber;
}

uint16_t TestCategory(int nKind, uint16_t wType) {
  return nKind == rkPoint && (wType & 0xFF00) == 0x2F00 ? uint16_t(0x2F01) : wType;
}

// Input city numbers (1-based in address values): 1 Москва, 2 Тверь,
// 3 абакан. Lists (1-based): zips 1 "125009", 2 "101000"; streets
// 1 "Тверская улица", 2 "Arbat", 3 a name with control marks; numbers
// 1 "7", 2 "12к1".
struct TestMap {
  std::vector<VelLevelInput> levels;
  VelWriterOptions opt;

  TestMap() {
    levels.resize(2);
    levels[0].wLevelCode = 20;
    levels[1].wLevelCode = 24;
    std::vector<VelObject>& o = levels[1].objects;
    o.push_back(Point(0x0100, u"Москва", At(0, 0)));                   // 0: the place of Москва
    o.push_back(Point(0x2F01, u"Лукойл", At(10, 5)));                  // 1
    SetAddress(o.back(), 1, 1, 1, 1);
    o.push_back(Point(0x2F01, u"BP", At(-20, 3)));                     // 2
    o.back().nIndexCity = 1;
    o.push_back(Point(0x2A00, u"Кафе", At(3, 3)));                     // 3: no city
    VelObject street;                                                  // 4
    street.nKind = rkPolyline;
    street.wType = 0x06;
    street.strLabel = u"Тверская улица";
    street.points = {At(-50, 0), At(50, 0), At(60, 10)};
    SetAddress(street, 1, 0, 1, 0);
    o.push_back(street);
    VelObject building;                                                // 5
    building.nKind = rkPolygon;
    building.wType = 0x13;
    building.points = {At(100, 100), At(110, 100), At(110, 110), At(100, 110)};
    SetAddress(building, 2, 2, 2, 2);
    o.push_back(building);
    o.push_back(Point(0x2F01, u"яблоко", At(300, 300)));               // 6
    o.back().nIndexCity = 2;
    o.push_back(Point(0x2F05, u"Arbat post", At(5, -5)));              // 7
    o.back().nIndexCity = 1;
    o.push_back(Point(0x2F01, u"ёлка", At(7, -5)));                    // 8
    o.back().nIndexCity = 1;
    o.push_back(Point(0x2F01, u"Zeta", At(9, -5)));                    // 9
    o.back().nIndexCity = 1;
    o.push_back(Point(0x0100, u"абакан", At(900, 900)));               // 10: place of абакан
    levels[0].objects.push_back(Point(0x0100, u"Москва", At(0, 0)));
    levels[0].objects.push_back(street);

    VelIndexInput& in = opt.index;
    in.fCityIndex = true;
    in.fObjectIndex = true;
    in.pfnCategory = TestCategory;
    in.countries = {u"Россия"};
    in.regions = {{u"МО|Московская область", 0}};
    in.cities = {{u"Москва", 0, 0}, {u"Тверь", 0, -1}, {u"абакан", 0, 10}};
    in.lists[0] = {u"125009", u"101000"};
    in.lists[1] = {u"Тверская улица", u"Arbat", std::u16string(u"\x1dМалая\x1e") + u"Бронная"};
    in.lists[2] = {u"7", u"12к1"};
    opt.dwLocale = 1049;
  }

  std::unique_ptr<CVelParser> Open(std::vector<uint8_t>* pBytes = nullptr) {
    std::vector<uint8_t> bytes;
    std::string strError;
    EXPECT_TRUE(WriteVelMap(opt, levels, bytes, strError)) << strError;
    if (pBytes) *pBytes = bytes;
    return std::unique_ptr<CVelParser>(OpenBytes(bytes, "search"));
  }
};

std::u16string CityName(CCitiesQuery& q, uint32_t i, uint32_t dwFlags = c_fofName, CityItem* pItem = nullptr) {
  CityItem item;
  std::memset(&item, 0, sizeof item);
  EXPECT_TRUE(q.GetItem(i, &item, dwFlags));
  if (pItem) *pItem = item;
  return std::u16string(item.szName);
}

std::vector<std::u16string> Names(CMapQuery& q, uint32_t dwFlags = c_fofName) {
  std::vector<std::u16string> out;
  for (uint32_t i = 0; i < q.GetCount(); ++i) {
    FoundObject obj;
    std::memset(&obj, 0, sizeof obj);
    EXPECT_TRUE(q.GetItem(i, &obj, dwFlags));
    out.push_back(obj.szName);
  }
  return out;
}

}  // namespace

TEST(VelSearch, CitiesSortedWithRegionLongFormAndPlaces) {
  TestMap m;
  auto p = m.Open();
  ASSERT_TRUE(p);
  EXPECT_TRUE(p->HasCitiesIndex());
  EXPECT_TRUE(p->HasObjectsIndex());
  std::unique_ptr<CCitiesQuery> q(p->CreateCitiesQuery());
  ASSERT_TRUE(q);
  EXPECT_EQ(q->GetLocale(), 1049u);
  ASSERT_EQ(q->GetCount(), 3u);
  // Case is ignored in the order: "абакан" before "Москва".
  EXPECT_EQ(CityName(*q, 0), u"абакан, Московская область, Россия");
  CityItem item;
  EXPECT_EQ(CityName(*q, 1, c_fofName, &item), u"Москва, Московская область, Россия");
  EXPECT_EQ(item.fHasPlace, 1);
  EXPECT_NEAR(item.x, At(0, 0).x, 128);
  EXPECT_NEAR(item.y, At(0, 0).y, 128);
  EXPECT_EQ(item.nScale, int16_t(ScaleCodeToIndex(24)));
  // Without flag bit 1 the place is not decoded but the flag is given.
  CityItem bare;
  std::memset(&bare, 0, sizeof bare);
  ASSERT_TRUE(q->GetItem(1, &bare, 0));
  EXPECT_EQ(bare.x, 0);
  EXPECT_EQ(CityName(*q, 2, c_fofName, &item), u"Тверь, Московская область, Россия");
  EXPECT_EQ(item.fHasPlace, 0);
  CityItem none;
  EXPECT_FALSE(q->GetItem(3, &none, c_fofName));
  // The shared binary search over the index.
  EXPECT_EQ(q->FindCityByName(u"тве"), 2u);
  EXPECT_EQ(q->FindCityByName(u"Моск"), 1u);
  EXPECT_EQ(q->FindCityByName(u"а"), 0u);
  // The same item twice (the cache) and after another one.
  EXPECT_EQ(CityName(*q, 1), CityName(*q, 1));
  CityName(*q, 0);
  EXPECT_EQ(CityName(*q, 1), u"Москва, Московская область, Россия");
}

TEST(VelSearch, RegionFormsAndZeroBitIndices) {
  struct Case {
    const char16_t* pszRegion;
    const char16_t* pszCountry;
    const char16_t* pszShown;
  };
  const Case aCases[] = {
      {u"МО|Московская область", u"Россия", u"Москва, Московская область, Россия"},
      {u"Подмосковье", u"", u"Москва, Подмосковье"},
      {u"", u"RU|Российская Федерация", u"Москва, Российская Федерация"},
      {u"X|", u"", u"Москва"},
  };
  for (const Case& c : aCases) {
    TestMap m;
    m.opt.index.regions = {{c.pszRegion, 0}};
    m.opt.index.countries = {c.pszCountry};
    auto p = m.Open();
    ASSERT_TRUE(p);
    std::unique_ptr<CCitiesQuery> q(p->CreateCitiesQuery());
    ASSERT_TRUE(q);
    uint32_t i = q->FindCityByName(u"Москва");
    EXPECT_EQ(CityName(*q, i), c.pszShown);
  }
  // Two regions in two countries: the indices take bits and pick the right ones.
  TestMap m;
  m.opt.index.countries = {u"Россия", u"Беларусь"};
  m.opt.index.regions = {{u"Тверская область", 0}, {u"Минская область", 1}};
  m.opt.index.cities[1].iRegion = 1;
  auto p = m.Open();
  ASSERT_TRUE(p);
  std::unique_ptr<CCitiesQuery> q(p->CreateCitiesQuery());
  EXPECT_EQ(CityName(*q, 2), u"Тверь, Минская область, Беларусь");
  EXPECT_EQ(CityName(*q, 1), u"Москва, Тверская область, Россия");
  // A long name is cut to 63 characters.
  TestMap m2;
  m2.opt.index.cities[1].strName = std::u16string(60, u'Я');
  auto p2 = m2.Open();
  std::unique_ptr<CCitiesQuery> q2(p2->CreateCitiesQuery());
  std::u16string str = CityName(*q2, 2);
  EXPECT_EQ(str.size(), 63u);
  EXPECT_EQ(str.substr(0, 62), std::u16string(60, u'Я') + u", ");
}

TEST(VelSearch, NameListsAreSortedAndNormalised) {
  TestMap m;
  auto p = m.Open();
  ASSERT_TRUE(p);
  char16_t sz[64];
  std::vector<std::u16string> streets;
  for (uint32_t i = 0; i < 3; ++i) {
    p->GetListItem(c_nListStreet, i, sz);
    streets.push_back(sz);
  }
  // Latin before Cyrillic; the control marks dropped, 30 as a space.
  EXPECT_EQ(streets, (std::vector<std::u16string>{u"Arbat", u"Малая Бронная", u"Тверская улица"}));
  EXPECT_EQ(p->GetListItem(c_nListStreet, 3, sz), 0u);
  EXPECT_EQ(p->GetListItem(c_nListZip, 0, sz), 6u);
  EXPECT_EQ(std::u16string(sz), u"101000");
  EXPECT_EQ(p->GetCityIndex().adwLists[c_nListNumber][1], 2u);
}

TEST(VelSearch, ObjectsQueryByTypeCityAndSubCode) {
  TestMap m;
  auto p = m.Open();
  ASSERT_TRUE(p);
  std::unique_ptr<CCitiesQuery> cities(p->CreateCitiesQuery());
  const uint32_t nMoscow = cities->FindCityByName(u"Москва");
  // Fuel in Москва, all sub-codes: sorted by name, case ignored, Latin
  // before Cyrillic, ё after е.
  std::unique_ptr<CMapQuery> q(p->CreateObjectsQuery(nMoscow, rkPoint, 0x2F01, 0xFFFF));
  ASSERT_TRUE(q);
  EXPECT_EQ(Names(*q), (std::vector<std::u16string>{u"Arbat post", u"BP", u"Zeta", u"ёлка", u"Лукойл"}));
  // One sub-code.
  q.reset(p->CreateObjectsQuery(nMoscow, rkPoint, 0x2F01, 0x2F05));
  EXPECT_EQ(Names(*q), std::vector<std::u16string>{u"Arbat post"});
  // A sub-code the list lacks lists none; a kind that differs neither.
  q.reset(p->CreateObjectsQuery(nMoscow, rkPoint, 0x2F01, 0x2F09));
  ASSERT_TRUE(q);
  EXPECT_EQ(q->GetCount(), 0u);
  q.reset(p->CreateObjectsQuery(nMoscow, rkPolyline, 0x2F01, 0x2F05));
  EXPECT_EQ(q->GetCount(), 0u);
  // A type the table lacks: an empty query, not none.
  q.reset(p->CreateObjectsQuery(nMoscow, rkPoint, 0x7777, 0xFFFF));
  ASSERT_TRUE(q);
  EXPECT_EQ(q->GetCount(), 0u);
  // Another city, and the objects of no city.
  q.reset(p->CreateObjectsQuery(cities->FindCityByName(u"Тверь"), rkPoint, 0x2F01, 0xFFFF));
  EXPECT_EQ(Names(*q), std::vector<std::u16string>{u"яблоко"});
  q.reset(p->CreateObjectsQuery(CVelParser::c_nAnyCity, rkPoint, 0x2A00, 0xFFFF));
  EXPECT_EQ(Names(*q), std::vector<std::u16string>{u"Кафе"});
  // Streets: the line and its city from its address.
  q.reset(p->CreateObjectsQuery(nMoscow, rkPolyline, 0x06, 0xFFFF));
  EXPECT_EQ(Names(*q), std::vector<std::u16string>{u"Тверская улица"});
  // A city past the count.
  q.reset(p->CreateObjectsQuery(99, rkPoint, 0x2F01, 0xFFFF));
  EXPECT_EQ(q->GetCount(), 0u);
  // FindObjectType.
  EXPECT_TRUE(p->FindObjectType(rkPoint, 0x2F01, 0xFFFF));
  EXPECT_TRUE(p->FindObjectType(rkPoint, 0x2F01, 0x2F05));
  EXPECT_FALSE(p->FindObjectType(rkPolygon, 0x2F01, 0x2F05));
  EXPECT_FALSE(p->FindObjectType(rkPoint, 0x2F01, 0x2F02));
  EXPECT_FALSE(p->FindObjectType(rkPoint, 0x2F05, 0xFFFF));
}

TEST(VelSearch, ObjectsFullRecordAndFindByName) {
  TestMap m;
  auto p = m.Open();
  ASSERT_TRUE(p);
  std::unique_ptr<CCitiesQuery> cities(p->CreateCitiesQuery());
  const uint32_t nMoscow = cities->FindCityByName(u"Москва");
  std::unique_ptr<CMapQuery> q(p->CreateObjectsQuery(nMoscow, rkPoint, 0x2F01, 0xFFFF));
  ASSERT_EQ(q->GetCount(), 5u);
  EXPECT_EQ(q->FindByName(u"z"), 2u);
  EXPECT_EQ(q->FindByName(u"лук"), 4u);
  EXPECT_EQ(q->FindByName(u"b"), 1u);
  // The whole record of Лукойл with its address.
  FoundObject obj;
  std::memset(&obj, 0, sizeof obj);
  const uint32_t dwAll = c_fofName | c_fofCity | c_fofZip | c_fofStreet | c_fofNumber | c_fofReprPoint | c_fofScale;
  ASSERT_TRUE(q->GetItem(4, &obj, dwAll));
  EXPECT_EQ(std::u16string(obj.szName), u"Лукойл");
  EXPECT_EQ(std::u16string(obj.szCity), u"Москва, Московская область, Россия");
  EXPECT_EQ(std::u16string(obj.szZip), u"125009");
  EXPECT_EQ(std::u16string(obj.szStreet), u"Тверская улица");
  EXPECT_EQ(std::u16string(obj.szNumber), u"7");
  EXPECT_NEAR(obj.xRepr, At(10, 5).x, 128);
  EXPECT_NEAR(obj.yRepr, At(10, 5).y, 128);
  EXPECT_EQ(obj.nScale, int16_t(ScaleCodeToIndex(24)));
  EXPECT_EQ(obj.wType, 0x2F01);
  EXPECT_EQ(obj.nKind, rkPoint);
  // Name-only requests decode no geometry.
  std::memset(&obj, 0, sizeof obj);
  ASSERT_TRUE(q->GetItem(4, &obj, 2));
  EXPECT_EQ(obj.xRepr, 0);
  EXPECT_EQ(std::u16string(obj.szName), u"Лукойл");
  EXPECT_FALSE(q->GetItem(5, &obj, 2));
}

TEST(VelSearch, FindByAddress) {
  TestMap m;
  auto p = m.Open();
  ASSERT_TRUE(p);
  std::unique_ptr<CCitiesQuery> cities(p->CreateCitiesQuery());
  const uint32_t nMoscow = cities->FindCityByName(u"Москва");
  const uint32_t nTver = cities->FindCityByName(u"Тверь");
  auto kinds = [](CMapQuery* q) {
    std::vector<int> out;
    for (uint32_t i = 0; i < q->GetCount(); ++i) {
      FoundObject obj;
      std::memset(&obj, 0, sizeof obj);
      EXPECT_TRUE(q->GetItem(i, &obj, c_fofName | c_fofStreet | c_fofNumber));
      out.push_back(obj.nKind * 0x10000 + obj.wType);
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  // All texts empty: every object with an address block in the city (and
  // those of city 0, none here).
  std::unique_ptr<CMapQuery> q(p->FindByAddress(nMoscow, u"", u"", u"", nullptr));
  ASSERT_TRUE(q);
  EXPECT_EQ(kinds(q.get()), (std::vector<int>{0x2F01, 0x10006}));
  // The street contains the text; the house number is then required.
  q.reset(p->FindByAddress(nMoscow, u"", u"тверская", u"7", nullptr));
  EXPECT_EQ(kinds(q.get()), (std::vector<int>{0x2F01}));
  // An empty house number text: the street line (number 0) and the house.
  q.reset(p->FindByAddress(nMoscow, u"", u"ВЕРСК", u"", nullptr));
  EXPECT_EQ(kinds(q.get()), (std::vector<int>{0x2F01, 0x10006}));
  // The postal code must be equal, not contained.
  q.reset(p->FindByAddress(nMoscow, u"12500", u"", u"", nullptr));
  EXPECT_EQ(q->GetCount(), 0u);
  q.reset(p->FindByAddress(nMoscow, u"125009", u"", u"", nullptr));
  EXPECT_EQ(q->GetCount(), 1u);
  // The building in Тверь with its address fields.
  q.reset(p->FindByAddress(nTver, u"", u"arb", u"12К", nullptr));
  ASSERT_EQ(q->GetCount(), 1u);
  FoundObject obj;
  std::memset(&obj, 0, sizeof obj);
  ASSERT_TRUE(q->GetItem(0, &obj, c_fofCity | c_fofZip | c_fofStreet | c_fofNumber | c_fofReprPoint));
  EXPECT_EQ(obj.nKind, rkPolygon);
  EXPECT_EQ(std::u16string(obj.szStreet), u"Arbat");
  EXPECT_EQ(std::u16string(obj.szNumber), u"12к1");
  EXPECT_EQ(std::u16string(obj.szZip), u"101000");
  EXPECT_EQ(std::u16string(obj.szCity), u"Тверь, Московская область, Россия");
  EXPECT_NEAR(obj.xRepr, At(105, 105).x, 128);
  // Every city.
  q.reset(p->FindByAddress(CVelParser::c_nAnyCity, u"", u"", u"", nullptr));
  EXPECT_EQ(q->GetCount(), 3u);
  // Cancelled: no result list. Progress reaches its end otherwise.
  volatile bool fCancel = true;
  MapProgress progress{0, 100, &fCancel, nullptr};
  EXPECT_EQ(p->FindByAddress(nMoscow, u"", u"", u"", &progress), nullptr);
  static int32_t s_nLast = -1;
  fCancel = false;
  progress.pfnSetPos = [](void*, int32_t n) { s_nLast = n; };
  q.reset(p->FindByAddress(nMoscow, u"", u"", u"", &progress));
  EXPECT_TRUE(q);
  EXPECT_EQ(s_nLast, 100);
}

TEST(VelSearch, NearestResultsCarryTheAddress) {
  TestMap m;
  auto p = m.Open();
  ASSERT_TRUE(p);
  KindType fuel{rkPoint, 0x2F01};
  MapTypeFilter filter{&fuel, 1};
  std::unique_ptr<CMapQuery> q(p->FindNearest(0, false, At(10, 5), 50, &filter, nullptr, nullptr));
  ASSERT_TRUE(q);
  ASSERT_GE(q->GetCount(), 1u);
  FoundObject obj;
  std::memset(&obj, 0, sizeof obj);
  ASSERT_TRUE(q->GetItem(0, &obj, c_fofName | c_fofStreet | c_fofCity));
  EXPECT_EQ(std::u16string(obj.szName), u"Лукойл");
  EXPECT_EQ(std::u16string(obj.szStreet), u"Тверская улица");
  EXPECT_EQ(std::u16string(obj.szCity), u"Москва, Московская область, Россия");
}

TEST(VelSearch, OffsetToBlockMap) {
  TestMap m;
  auto p = m.Open();
  ASSERT_TRUE(p);
  // Every record of every level is found in its own block and section.
  std::vector<Decoded> all = DecodeAll(p.get());
  ASSERT_FALSE(all.empty());
  uint32_t dwMin = UINT32_MAX;
  for (const Decoded& d : all) {
    VelBlockOf b;
    ASSERT_TRUE(p->FindBlockOf(d.rec.dwOffset, b));
    EXPECT_EQ(b.nLevel, d.nLevel);
    EXPECT_EQ(b.nKind, d.nKind);
    dwMin = std::min(dwMin, d.rec.dwOffset);
  }
  // Below the first block's data, and past the last one: no block.
  VelBlockOf b;
  EXPECT_FALSE(p->FindBlockOf(dwMin - 1, b));
  EXPECT_FALSE(p->FindBlockOf(0, b));
  EXPECT_FALSE(p->FindBlockOf(p->GetFileSize() - 1, b));
}

TEST(VelSearch, IndexesAreDeterministicAndOptional) {
  TestMap m;
  std::vector<uint8_t> a, b;
  m.Open(&a);
  TestMap m2;
  m2.Open(&b);
  EXPECT_EQ(a, b);
  // Without the indexes the searches answer nothing.
  TestMap m3;
  m3.opt.index = VelIndexInput();
  for (auto& lv : m3.levels)
    for (auto& o : lv.objects) o.fHasAddress = false;
  auto p = m3.Open();
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->HasCitiesIndex());
  EXPECT_FALSE(p->HasObjectsIndex());
  EXPECT_EQ(p->CreateCitiesQuery(), nullptr);
  EXPECT_EQ(p->CreateObjectsQuery(0, rkPoint, 0x2F01, 0xFFFF), nullptr);
  EXPECT_FALSE(p->FindObjectType(rkPoint, 0x2F01, 0xFFFF));
  std::unique_ptr<CMapQuery> q(p->FindByAddress(0, u"", u"", u"", nullptr));
  ASSERT_TRUE(q);
  EXPECT_EQ(q->GetCount(), 0u);
}

TEST(VelSearch, DamagedIndexesGivePartialResults) {
  // Damaged data breaks the invariants the checked build asserts.
  platform::AssertHook pfnOld = platform::SetAssertHook([](const char*, const char*, int) {});
  TestMap m;
  std::vector<uint8_t> bytes;
  auto p = m.Open(&bytes);
  ASSERT_TRUE(p);
  const vel::VelExtHeader& h = p->GetHeader();
  const uint32_t offCity = h.dwCityIndexOffset, offObj = h.dwObjectIndexOffset;
  ASSERT_GT(offObj, offCity);
  p.reset();
  // Counts far past the file: cut to what fits, the reads stay inside.
  auto patch = [&](std::vector<uint8_t> v, size_t off, uint32_t dw) {
    std::memcpy(&v[off], &dw, 4);
    return v;
  };
  const size_t aOffsets[] = {offCity + 4, offCity + 12, offCity + 20, offCity + 28, offCity + 36, offCity + 44,
                             offCity + 0, offCity + 16, offObj + 16, offObj + 36, offObj + 12, offObj + 4,
                             offObj + 48, offObj + 28, offObj + 20};
  for (size_t off : aOffsets)
    for (uint32_t dw : {0xFFFFFFFFu, 0x7FFFFFFFu, 33u, 0u}) {
      std::vector<uint8_t> v = patch(bytes, off, dw);
      std::unique_ptr<CVelParser> pd(OpenBytes(v, "damaged"));
      ASSERT_TRUE(pd);
      std::unique_ptr<CCitiesQuery> q(pd->CreateCitiesQuery());
      if (q) {
        const uint32_t c = std::min<uint32_t>(q->GetCount(), 50);
        for (uint32_t i = 0; i < c; ++i) {
          CityItem item;
          std::memset(&item, 0, sizeof item);
          q->GetItem(i, &item, c_fofName);
        }
        q->FindCityByName(u"Мос");
      }
      std::unique_ptr<CMapQuery> o(pd->CreateObjectsQuery(0, rkPoint, 0x2F01, 0xFFFF));
      if (o) {
        const uint32_t c = std::min<uint32_t>(o->GetCount(), 50);
        for (uint32_t i = 0; i < c; ++i) {
          FoundObject obj;
          std::memset(&obj, 0, sizeof obj);
          o->GetItem(i, &obj, 0x3FE);
        }
      }
      std::unique_ptr<CMapQuery> a(pd->FindByAddress(0, u"1", u"а", u"", nullptr));
      EXPECT_TRUE(a);
    }
  // A file cut inside the object index: the header is still read, the
  // entries past the end are not.
  std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 3);
  uint32_t cb = uint32_t(cut.size());
  std::memcpy(&cut[8], &cb, 4);
  std::unique_ptr<CVelParser> pc(OpenBytes(cut, "cut"));
  ASSERT_TRUE(pc);
  std::unique_ptr<CMapQuery> o(pc->CreateObjectsQuery(0, rkPoint, 0x2F01, 0xFFFF));
  if (o) EXPECT_LE(o->GetCount(), 5u);
  platform::SetAssertHook(pfnOld);
}
