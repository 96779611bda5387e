// The indexes velc writes, checked against the OSM data itself: addresses
// are found where OSM puts them, every named place is a city, the object
// name index lists every named object of the map by its category, and the
// demo region has streets, house numbers and fuel stations to find.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <osmium/handler.hpp>
#include <osmium/handler/node_locations_for_ways.hpp>
#include <osmium/index/map/flex_mem.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/visitor.hpp>

#include "tests/map/VelTestUtil.h"
#include "tools/velc/Categories.h"
#include "tools/velc/OsmConvert.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

std::string TempFile(const std::string& strName) { return std::string(VELMO_BINARY_DIR) + "/velcsearch-" + strName; }

std::vector<std::string> Extracts() {
  std::vector<std::string> v;
  std::string strDir = std::string(VELMO_SHARED_DATA) + "/osm";
  if (DIR* d = opendir(strDir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string s = e->d_name;
      if (s.size() > 8 && s.substr(s.size() - 8) == ".osm.pbf") v.push_back(strDir + "/" + s);
    }
    closedir(d);
  }
  std::sort(v.begin(), v.end());
  return v;
}

std::unique_ptr<CVelParser> Compile(const std::string& strIn, const std::string& strOut, OsmConvertStats* pStats,
                                    VelWriterStats* pWriter = nullptr, uint64_t* pcb = nullptr) {
  std::string strError;
  EXPECT_TRUE(CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError, pStats, pWriter, pcb)) << strError;
  std::u16string s = platform::Utf8ToU16(strOut);
  return std::unique_ptr<CVelParser>(static_cast<CVelParser*>(OpenMapFile(s.c_str(), false, c_fOpenAll)));
}

const char* Lookup(const void* p, const char* k) { return static_cast<const osmium::TagList*>(p)->get_value_by_key(k); }

// The OSM addresses (street + house number, at the node or the average of
// a way's nodes) and the named places.
struct OsmAddresses : osmium::handler::Handler {
  const CTypeMapping* pMapping = nullptr;
  struct Entry {
    std::u16string strStreet, strNumber;
    MapPoint pt;
  };
  std::vector<Entry> addresses;
  std::set<std::u16string> places;
  void Add(const osmium::TagList& tags, MapPoint pt) {
    const char* pszStreet = tags["addr:street"];
    const char* pszNumber = tags["addr:housenumber"];
    if (pszStreet && *pszStreet && pszNumber && *pszNumber)
      addresses.push_back({platform::Utf8ToU16(pszStreet).substr(0, 255), platform::Utf8ToU16(pszNumber).substr(0, 255), pt});
    const char* pszName = tags["name"];
    if (pszName && *pszName && pMapping->Match(c_nRuleCity, &tags, Lookup)) places.insert(platform::Utf8ToU16(pszName).substr(0, 255));
  }
  void node(const osmium::Node& n) {
    if (n.location().valid() && !n.tags().empty())
      Add(n.tags(), MapPoint{DegreesToMap(n.location().lon()), DegreesToMap(n.location().lat())});
  }
  void way(const osmium::Way& w) {
    if (!w.is_closed() || w.tags().empty()) return;
    double x = 0, y = 0;
    size_t c = 0;
    for (size_t i = 0; i + 1 < w.nodes().size(); ++i)
      if (w.nodes()[i].location().valid()) {
        x += w.nodes()[i].location().lon();
        y += w.nodes()[i].location().lat();
        ++c;
      }
    if (c) Add(w.tags(), MapPoint{DegreesToMap(x / double(c)), DegreesToMap(y / double(c))});
  }
};

double Metres(MapPoint a, MapPoint b) {
  const double k = std::cos(MapToDegrees(a.y) * 3.14159265358979323846 / 180.0);
  const double dx = (double(a.x) - b.x) * k, dy = double(a.y) - b.y;
  return MapToMetres(std::sqrt(dx * dx + dy * dy));
}

std::u16string BaseName(const char16_t* psz) {
  std::u16string s(psz);
  size_t i = s.find(u", ");
  return i == std::u16string::npos ? s : s.substr(0, i);
}

}  // namespace

TEST(VelcSearchRealData, AddressesPlacesAndNamedObjectsAreFound) {
  auto extracts = Extracts();
  if (extracts.empty()) GTEST_SKIP() << "no OSM extracts in " << VELMO_SHARED_DATA;
  CTypeMapping mapping;
  std::string strError;
  ASSERT_TRUE(mapping.Load(DefaultTypeMappingPath(), strError));
  for (const std::string& strIn : extracts) {
    SCOPED_TRACE(strIn);
    OsmConvertStats stats;
    VelWriterStats wstats;
    uint64_t cb = 0;
    auto p = Compile(strIn, TempFile("real.vel"), &stats, &wstats, &cb);
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->HasCitiesIndex());
    ASSERT_TRUE(p->HasObjectsIndex());
    OsmAddresses osm;
    osm.pMapping = &mapping;
    {
      using Index = osmium::index::map::FlexMem<osmium::unsigned_object_id_type, osmium::Location>;
      Index index;
      osmium::handler::NodeLocationsForWays<Index> locations{index};
      locations.ignore_errors();
      osmium::io::Reader reader{strIn, osmium::osm_entity_bits::node | osmium::osm_entity_bits::way};
      osmium::apply(reader, locations, osm);
      reader.close();
    }
    // Every address object of the map by street and number (one search with
    // empty texts over every city), then each OSM address looked up there.
    std::unique_ptr<CMapQuery> all(p->FindByAddress(CVelParser::c_nAnyCity, u"", u"", u"", nullptr));
    ASSERT_TRUE(all);
    std::multimap<std::pair<std::u16string, std::u16string>, MapPoint> found;
    for (uint32_t i = 0; i < all->GetCount(); ++i) {
      FoundObject obj = {};
      ASSERT_TRUE(all->GetItem(i, &obj, c_fofStreet | c_fofNumber | c_fofReprPoint));
      found.emplace(std::make_pair(std::u16string(obj.szStreet), std::u16string(obj.szNumber)), MapPoint{obj.xRepr, obj.yRepr});
    }
    size_t cFound = 0;
    for (const auto& a : osm.addresses) {
      auto range = found.equal_range({a.strStreet.substr(0, 63), a.strNumber.substr(0, 15)});
      for (auto it = range.first; it != range.second; ++it)
        if (Metres(it->second, a.pt) <= 50) {
          ++cFound;
          break;
        }
    }
    const double fRecall = osm.addresses.empty() ? 1.0 : double(cFound) / double(osm.addresses.size());
    std::printf("[ recall ] %s: %zu of %zu addresses found within 50 m (%.1f %%); %u cities, %u addresses without a city; "
                "index %u + %u bytes of %llu (%.1f %%)\n",
                strIn.c_str(), cFound, osm.addresses.size(), 100 * fRecall, stats.addresses.cCities,
                stats.addresses.cAddressesNoCity, wstats.cbCityIndex, wstats.cbObjectIndex, (unsigned long long)cb,
                100.0 * (wstats.cbCityIndex + wstats.cbObjectIndex) / double(cb));
    EXPECT_GE(fRecall, 0.95);
    // A sample of addresses through the search with texts: found there too.
    for (size_t i = 0; i < osm.addresses.size(); i += std::max<size_t>(1, osm.addresses.size() / 25)) {
      const auto& a = osm.addresses[i];
      std::unique_ptr<CMapQuery> q(
          p->FindByAddress(CVelParser::c_nAnyCity, u"", a.strStreet.substr(0, 63).c_str(), a.strNumber.substr(0, 15).c_str(), nullptr));
      ASSERT_TRUE(q);
      bool fNear = false;
      for (uint32_t k = 0; k < q->GetCount() && !fNear; ++k) {
        FoundObject obj = {};
        ASSERT_TRUE(q->GetItem(k, &obj, c_fofReprPoint));
        fNear = Metres(MapPoint{obj.xRepr, obj.yRepr}, a.pt) <= 50;
      }
      EXPECT_TRUE(fNear || found.count({a.strStreet.substr(0, 63), a.strNumber.substr(0, 15)}) == 0)
          << platform::U16ToUtf8(a.strStreet) << " " << platform::U16ToUtf8(a.strNumber);
    }
    // Every named place is a city.
    std::unique_ptr<CCitiesQuery> cities(p->CreateCitiesQuery());
    ASSERT_TRUE(cities);
    std::set<std::u16string> cityNames;
    for (uint32_t i = 0; i < cities->GetCount(); ++i) {
      CityItem item = {};
      ASSERT_TRUE(cities->GetItem(i, &item, c_fofName));
      cityNames.insert(BaseName(item.szName));
      EXPECT_EQ(cities->FindCityByName(item.szName) <= i, true);
    }
    for (const std::u16string& str : osm.places) EXPECT_TRUE(cityNames.count(str.substr(0, 63))) << platform::U16ToUtf8(str);
    // The objects query of each category over every city lists exactly the
    // named objects of the map's finest level in that category.
    std::map<uint16_t, uint64_t> expected;
    {
      auto decoded = DecodeAll(p.get());
      for (const Decoded& d : decoded)
        if (d.nLevel + 1 == p->GetLevelCount() && !d.strLabel.empty()) ++expected[VelcCategoryOf(d.nKind, d.wType)];
    }
    std::map<uint16_t, uint64_t> listed;
    for (const auto& kv : expected) {
      for (uint32_t nCity = CVelParser::c_nAnyCity, k = 0; k <= cities->GetCount(); nCity = k++) {
        std::unique_ptr<CMapQuery> q(p->CreateObjectsQuery(nCity, rkPoint, kv.first, 0xFFFF));
        ASSERT_TRUE(q);
        listed[kv.first] += q->GetCount();
      }
    }
    for (const auto& kv : expected) {
      // Lines cut into pieces are listed once; the index never lists more.
      EXPECT_LE(listed[kv.first], kv.second) << std::hex << kv.first;
      EXPECT_GT(listed[kv.first], 0u) << std::hex << kv.first;
    }
  }
}

TEST(VelcSearchDemo, StreetsHouseNumbersAndFuelStations) {
  std::string strOsm = TempFile("demo.osm");
  ASSERT_EQ(std::system((std::string(VELMO_DEMOGEN) + " --size 4 -o " + strOsm + " >/dev/null").c_str()), 0);
  OsmConvertStats stats;
  auto p = Compile(strOsm, TempFile("demo.vel"), &stats);
  ASSERT_TRUE(p);
  std::unique_ptr<CCitiesQuery> cities(p->CreateCitiesQuery());
  ASSERT_TRUE(cities);
  ASSERT_GE(cities->GetCount(), 2u);
  // A house of the region, then found by its whole address in its city.
  std::unique_ptr<CMapQuery> all(p->FindByAddress(CVelParser::c_nAnyCity, u"", u"", u"", nullptr));
  ASSERT_TRUE(all);
  ASSERT_GT(all->GetCount(), 10u);
  FoundObject house = {};
  for (uint32_t i = 0; i < all->GetCount() && !house.szNumber[0]; ++i) {
    std::memset(&house, 0, sizeof house);
    all->GetItem(i, &house, c_fofStreet | c_fofNumber | c_fofZip | c_fofCity | c_fofReprPoint);
  }
  ASSERT_NE(house.szNumber[0], 0);
  EXPECT_NE(house.szZip[0], 0);
  EXPECT_NE(house.szCity[0], 0);
  const uint32_t nCity = cities->FindCityByName(house.szCity);
  std::unique_ptr<CMapQuery> q(p->FindByAddress(nCity, house.szZip, house.szStreet, house.szNumber, nullptr));
  ASSERT_TRUE(q);
  ASSERT_GE(q->GetCount(), 1u);
  FoundObject again = {};
  ASSERT_TRUE(q->GetItem(0, &again, c_fofCity | c_fofStreet));
  EXPECT_EQ(std::u16string(again.szCity), std::u16string(house.szCity));
  // Fuel stations by category in some city of the region.
  uint32_t cFuel = 0;
  for (uint32_t nCity = CVelParser::c_nAnyCity, k = 0; k <= cities->GetCount(); nCity = k++) {
    std::unique_ptr<CMapQuery> fuel(p->CreateObjectsQuery(nCity, rkPoint, 0x2F01, 0x2F01));
    if (fuel) cFuel += fuel->GetCount();
  }
  EXPECT_GT(cFuel, 0u);
  // The nearest fuel station from a house, named or not.
  const KindType fuelType = {rkPoint, 0x2F01};
  const MapTypeFilter filter = {&fuelType, 1};
  std::unique_ptr<CMapQuery> nearest(
      p->FindNearest(0, false, MapPoint{house.xRepr, house.yRepr}, 20000, &filter, nullptr, nullptr));
  ASSERT_TRUE(nearest);
  EXPECT_GT(nearest->GetCount(), 0u);
#ifdef VELMO_CLI
  // velmo-cli lists the same: the cities in index order, the fuel stations
  // of the category, the house by its address.
  auto run = [](const std::string& strArgs, int* pnExit) {
    std::string strOut;
    FILE* f = popen((std::string(VELMO_CLI) + " " + strArgs + " 2>/dev/null").c_str(), "r");
    if (!f) return strOut;
    char sz[4096];
    while (std::fgets(sz, sizeof sz, f)) strOut += sz;
    const int rc = pclose(f);
    *pnExit = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return strOut;
  };
  auto lines = [](const std::string& str) {
    std::vector<std::string> v;
    size_t i = 0, j;
    while ((j = str.find('\n', i)) != std::string::npos) v.push_back(str.substr(i, j - i)), i = j + 1;
    return v;
  };
  const std::string strMap = TempFile("demo.vel");
  int nExit = -1;
  auto cityLines = lines(run("cities " + strMap, &nExit));
  EXPECT_EQ(nExit, 0);
  ASSERT_EQ(cityLines.size(), cities->GetCount());
  CityItem first = {};
  cities->GetItem(0, &first, 0);
  EXPECT_EQ(cityLines[0].rfind("0 \"" + platform::U16ToUtf8(first.szName) + "\"", 0), 0u) << cityLines[0];
  auto fuelLines = lines(run("find " + strMap + " --category 0x2f01", &nExit));
  EXPECT_EQ(nExit, 0);
  size_t cFuelLines = 0;
  for (const std::string& l : fuelLines) cFuelLines += l.rfind("0x2f01 point \"", 0) == 0;
  EXPECT_EQ(cFuelLines, cFuel);
  const std::string strHouse = "address " + strMap + " --street '" + platform::U16ToUtf8(house.szStreet) +
                               "' --house '" + platform::U16ToUtf8(house.szNumber) + "'";
  auto houseLines = lines(run(strHouse, &nExit));
  EXPECT_EQ(nExit, 0);
  bool fListed = false;
  for (const std::string& l : houseLines)
    fListed |= l.find("\"" + platform::U16ToUtf8(house.szStreet) + "\" \"" + platform::U16ToUtf8(house.szNumber) + "\"") !=
               std::string::npos;
  EXPECT_TRUE(fListed) << strHouse;
#endif
}
