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

#include <osmium/area/assembler.hpp>
#include <osmium/area/multipolygon_manager.hpp>
#include <osmium/handler.hpp>
#include <osmium/handler/node_locations_for_ways.hpp>
#include <osmium/index/map/flex_mem.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/visitor.hpp>

#include "find/TypeFilters.h"
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
// Nodes also answer the mapping file's node-only condition.
const char* LookupNode(const void* p, const char* k) { return std::strcmp(k, "@node") ? Lookup(p, k) : "yes"; }

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

// The category of the find dialogs' tree that lists a (kind, type) as one
// of its single types; 0 ("other objects") for types no row lists.
uint16_t TreeCategoryOf(int nKind, uint16_t wType) {
  const TypeFilterEntry* pTable = GetTypeFilterTable();
  for (uint32_t i = 0; i < c_cTypeFilters; ++i) {
    const TypeFilterEntry& e = pTable[i];
    if (e.wLevel != tflType || int(e.dwKind) != nKind || e.wType != wType) continue;
    const int nParent = GetTypeFilterParent(i);
    return nParent >= 0 ? pTable[nParent].wCategory : 0;
  }
  return 0;
}

// The named objects of an OSM file as the type mapping makes them, read
// with libosmium on their own, by category of the tree: a node matching a
// point rule is a point; a closed way matching a point rule is a point too
// (a shop drawn as its building); a way matching a line rule is a line
// unless it is closed and says area=yes; an area (a closed way or a
// multipolygon) matching an area rule gives one area per outer ring of
// three or more points, unless it is a closed way that also matches a line
// rule without area=yes. Lines of highways without a name are named by
// their ref.
struct OsmNamedObjects : osmium::handler::Handler {
  const CTypeMapping* pMapping = nullptr;
  std::map<uint16_t, std::multiset<std::u16string>> byCategory;

  static std::u16string Name(const osmium::TagList& tags, bool fRoadRef) {
    const char* psz = tags["name"];
    if ((!psz || !*psz) && fRoadRef && tags.has_key("highway")) psz = tags["ref"];
    return psz && *psz ? platform::Utf8ToU16(psz) : std::u16string();
  }
  void Add(int nKind, const TypeRule* pRule, const std::u16string& strName) {
    if (pRule && !strName.empty()) byCategory[TreeCategoryOf(nKind, pRule->wType)].insert(strName.substr(0, 63));
  }
  void node(const osmium::Node& n) {
    if (n.location().valid() && !n.tags().empty()) Add(rkPoint, pMapping->Match(rkPoint, &n.tags(), LookupNode), Name(n.tags(), false));
  }
  void way(const osmium::Way& w) {
    if (w.tags().empty()) return;
    bool fAnyLocation = false;
    for (const osmium::NodeRef& nr : w.nodes()) fAnyLocation |= nr.location().valid();
    if (!fAnyLocation) return;
    if (w.is_closed()) Add(rkPoint, pMapping->Match(rkPoint, &w.tags(), Lookup), Name(w.tags(), false));
    const char* pszArea = w.tags()["area"];
    if (w.is_closed() && pszArea && !std::strcmp(pszArea, "yes")) return;
    Add(rkPolyline, pMapping->Match(rkPolyline, &w.tags(), Lookup), Name(w.tags(), true));
  }
  void area(const osmium::Area& a) {
    const TypeRule* pRule = pMapping->Match(rkPolygon, &a.tags(), Lookup);
    if (!pRule) return;
    const char* pszArea = a.tags()["area"];
    const bool fAreaYes = pszArea && !std::strcmp(pszArea, "yes");
    if (a.from_way() && !fAreaYes && pMapping->Match(rkPolyline, &a.tags(), Lookup)) return;
    const std::u16string strName = Name(a.tags(), false);
    for (const osmium::OuterRing& ring : a.outer_rings())
      if (ring.size() >= 4) Add(rkPolygon, pRule, strName);  // closed: the first node again at the end
  }
};

OsmNamedObjects ReadNamedObjects(const std::string& strIn, const CTypeMapping& mapping) {
  OsmNamedObjects osm;
  osm.pMapping = &mapping;
  osmium::io::File file(strIn);
  osmium::area::Assembler::config_type config;
  config.create_empty_areas = false;
  osmium::area::MultipolygonManager<osmium::area::Assembler> manager{config};
  osmium::relations::read_relations(file, manager);
  using Index = osmium::index::map::FlexMem<osmium::unsigned_object_id_type, osmium::Location>;
  Index index;
  osmium::handler::NodeLocationsForWays<Index> locations{index};
  locations.ignore_errors();
  osmium::io::Reader reader{file};
  osmium::apply(reader, locations, osm,
                manager.handler([&osm](osmium::memory::Buffer&& buffer) { osmium::apply(buffer, osm); }));
  reader.close();
  return osm;
}

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
    EXPECT_GE(fRecall, 0.99);
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
    // Each category of the tree lists exactly the named objects libosmium
    // finds in the OSM data for the category's mapped tags, name by name.
    const OsmNamedObjects named = ReadNamedObjects(strIn, mapping);
    EXPECT_FALSE(named.byCategory.empty());
    const TypeFilterEntry* pTable = GetTypeFilterTable();
    std::set<uint16_t> treeCategories;
    for (uint32_t i = 0; i < c_cTypeFilters; ++i)
      if (pTable[i].wLevel == tflCategory || (pTable[i].wLevel == tflGroup && pTable[i].wCategory != c_wAnyCode))
        treeCategories.insert(pTable[i].wCategory);
    for (const auto& kv : named.byCategory) EXPECT_TRUE(treeCategories.count(kv.first)) << std::hex << kv.first;
    for (uint16_t wCategory : treeCategories) {
      std::multiset<std::u16string> names;
      for (uint32_t nCity = CVelParser::c_nAnyCity, k = 0; k <= cities->GetCount(); nCity = k++) {
        std::unique_ptr<CMapQuery> q(p->CreateObjectsQuery(nCity, rkPoint, wCategory, 0xFFFF));
        ASSERT_TRUE(q);
        for (uint32_t i = 0; i < q->GetCount(); ++i) {
          FoundObject obj = {};
          ASSERT_TRUE(q->GetItem(i, &obj, c_fofName));
          EXPECT_EQ(TreeCategoryOf(obj.nKind, obj.wType), wCategory) << std::hex << obj.nKind << " " << obj.wType;
          obj.szName[63] = 0;
          names.insert(obj.szName);
        }
      }
      auto it = named.byCategory.find(wCategory);
      const std::multiset<std::u16string> none;
      const std::multiset<std::u16string>& osmNames = it == named.byCategory.end() ? none : it->second;
      std::vector<std::u16string> missing, extra;
      std::set_difference(osmNames.begin(), osmNames.end(), names.begin(), names.end(), std::back_inserter(missing));
      std::set_difference(names.begin(), names.end(), osmNames.begin(), osmNames.end(), std::back_inserter(extra));
      EXPECT_EQ(names.size(), osmNames.size()) << "category " << std::hex << wCategory;
      EXPECT_TRUE(missing.empty()) << "category " << std::hex << wCategory << ": " << std::dec << missing.size()
                                   << " OSM objects not listed, the first \"" << platform::U16ToUtf8(missing[0]) << "\"";
      EXPECT_TRUE(extra.empty()) << "category " << std::hex << wCategory << ": " << std::dec << extra.size()
                                 << " listed objects not in OSM, the first \"" << platform::U16ToUtf8(extra[0]) << "\"";
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
  // The car services row of the type tree (344) holds the fuel stations.
  auto fuelLines = lines(run("find " + strMap + " --category 344", &nExit));
  EXPECT_EQ(nExit, 0);
  size_t cFuelLines = 0;
  for (const std::string& l : fuelLines) cFuelLines += l.rfind("0x2f01 point \"", 0) == 0;
  EXPECT_EQ(cFuelLines, cFuel);
  // Its group (343) lists them among the rest; its first single-type row
  // (345, the fuel station type) lists exactly what --type lists.
  auto groupLines = lines(run("find " + strMap + " --category 343", &nExit));
  EXPECT_EQ(nExit, 0);
  size_t cGroupFuel = 0;
  for (const std::string& l : groupLines) cGroupFuel += l.rfind("0x2f01 point \"", 0) == 0;
  EXPECT_EQ(cGroupFuel, cFuel);
  EXPECT_GE(groupLines.size(), fuelLines.size());
  auto typeRowLines = lines(run("find " + strMap + " --category 345", &nExit));
  EXPECT_EQ(nExit, 0);
  EXPECT_EQ(typeRowLines, lines(run("find " + strMap + " --type 0x2f01", &nExit)));
  EXPECT_EQ(typeRowLines.size(), cFuel);
  // Category codes are not rows.
  run("find " + strMap + " --category 0x2f01", &nExit);
  EXPECT_EQ(nExit, 2);
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
