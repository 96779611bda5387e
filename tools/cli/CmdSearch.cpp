// The searches over a map's indexes:
//   velmo-cli cities MAP [PREFIX]
//     the cities of the city index in its order (from the first whose name
//     starts with PREFIX, as long as they do), one line each:
//       <index> "<name>" <lat>,<lon>|- scale <index>
//   velmo-cli find MAP [--city NAME] (--type [point:|line:|area:]CODE | --category ROW) [--name TEXT]
//     the objects of a type, or of a row of the find dialogs' type tree (the
//     row number the dialogs save as the filter: a category lists its own
//     objects, a group those of its categories, a single type that type), in
//     a city (every city and the objects of none without --city), sorted by
//     name; --name starts the list at the first name that begins with TEXT.
//   velmo-cli address MAP [--city NAME] [--postcode P] [--street S] [--house H]
//     the objects whose address matches (every city without --city).
// Objects are listed one line each:
//   0x<type> <kind> "<name>" <lat>,<lon> "<city>" "<postcode>" "<street>" "<house>"
// with the object's representative point.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "find/TypeFilters.h"
#include "map/MapParser.h"
#include "platform/Str.h"
#include "tools/cli/Cli.h"
#include "view/MapUnits.h"

namespace {

// The category codes of the find dialogs' type tree (and 0, other objects)
// in its order.
std::vector<uint16_t> TreeCategories() {
  std::vector<uint16_t> codes;
  for (uint32_t nRow : GetCategoriesOfFilter(0)) codes.push_back(GetTypeFilter(nRow)->wCategory);
  return codes;
}

// A row number of the type tree (decimal, below c_cTypeFilters).
bool ParseTreeRow(const char* psz, uint32_t& nRow) {
  char* pEnd = nullptr;
  const unsigned long n = std::strtoul(psz, &pEnd, 10);
  if (!*psz || *psz == '-' || !pEnd || *pEnd || n >= c_cTypeFilters) return false;
  nRow = uint32_t(n);
  return true;
}
const uint32_t c_nAnyCity = 0xFFFFFFFFu;
const uint32_t c_dwObjectFlags =
    c_fofName | c_fofCity | c_fofZip | c_fofStreet | c_fofNumber | c_fofReprPoint | c_fofScale;

const char* KindName(int nKind) {
  return nKind == rkPoint ? "point" : nKind == rkPolyline ? "line" : nKind == rkPolygon ? "area" : "?";
}

std::string Utf8(const char16_t* psz, size_t cMax) { return platform::U16ToUtf8(std::u16string(psz, platform::StrLen(psz) < cMax ? platform::StrLen(psz) : cMax)); }

void PrintObject(const FoundObject& obj) {
  std::printf("0x%04x %s \"%s\" %.7f,%.7f \"%s\" \"%s\" \"%s\" \"%s\"\n", obj.wType, KindName(obj.nKind),
              Utf8(obj.szName, 63).c_str(), MapToDegrees(obj.yRepr), MapToDegrees(obj.xRepr),
              Utf8(obj.szCity, 63).c_str(), Utf8(obj.szZip, 15).c_str(), Utf8(obj.szStreet, 63).c_str(),
              Utf8(obj.szNumber, 15).c_str());
}

bool StartsWithNoCase(DWORD dwLocale, const char16_t* psz, const std::u16string& strPrefix) {
  const size_t c = platform::StrLen(psz);
  return c >= strPrefix.size() && CompareNamesNoCase(dwLocale, psz, strPrefix.size(), strPrefix.data(), strPrefix.size()) == 0;
}

std::unique_ptr<CMapParser> OpenMap(const char* pszPath) {
  std::u16string strPath = platform::Utf8ToU16(pszPath);
  uint32_t idsError = 0;
  std::unique_ptr<CMapParser> p(OpenMapFileEx(strPath.c_str(), false, c_fOpenAll, &idsError));
  if (!p) std::fprintf(stderr, "velmo-cli: cannot open %s\n", pszPath);
  return p;
}

// The city whose name starts with the text; false with a message.
bool FindCity(CMapParser& parser, const std::u16string& strName, uint32_t& nCity) {
  std::unique_ptr<CCitiesQuery> cities(parser.CreateCitiesQuery());
  if (!cities) {
    std::fprintf(stderr, "velmo-cli: the map has no city index\n");
    return false;
  }
  nCity = cities->FindCityByName(strName.c_str());
  CityItem item = {};
  if (nCity >= cities->GetCount() || !cities->GetItem(nCity, &item, 0) ||
      !StartsWithNoCase(cities->GetLocale(), item.szName, strName)) {
    std::fprintf(stderr, "velmo-cli: no city %s\n", platform::U16ToUtf8(strName).c_str());
    return false;
  }
  return true;
}

// Every city of the map and c_nAnyCity (objects of no city).
std::vector<uint32_t> AllCities(CMapParser& parser) {
  std::vector<uint32_t> out{c_nAnyCity};
  std::unique_ptr<CCitiesQuery> cities(parser.CreateCitiesQuery());
  for (uint32_t i = 0; cities && i < cities->GetCount(); ++i) out.push_back(i);
  return out;
}

int RunCities(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: velmo-cli cities MAP [PREFIX]\n");
    return 2;
  }
  std::unique_ptr<CMapParser> p = OpenMap(argv[1]);
  if (!p) return 1;
  std::unique_ptr<CCitiesQuery> q(p->CreateCitiesQuery());
  if (!q) {
    std::fprintf(stderr, "velmo-cli: the map has no city index\n");
    return 1;
  }
  const std::u16string strPrefix = argc == 3 ? platform::Utf8ToU16(argv[2]) : std::u16string();
  uint32_t cListed = 0;
  for (uint32_t i = strPrefix.empty() ? 0 : q->FindCityByName(strPrefix.c_str()); i < q->GetCount(); ++i) {
    CityItem item = {};
    if (!q->GetItem(i, &item, c_fofName)) continue;
    item.szName[63] = 0;
    if (!strPrefix.empty() && !StartsWithNoCase(q->GetLocale(), item.szName, strPrefix)) break;
    if (item.fHasPlace)
      std::printf("%u \"%s\" %.7f,%.7f scale %d\n", i, platform::U16ToUtf8(item.szName).c_str(), MapToDegrees(item.y),
                  MapToDegrees(item.x), item.nScale);
    else
      std::printf("%u \"%s\" - scale 0\n", i, platform::U16ToUtf8(item.szName).c_str());
    ++cListed;
  }
  std::fprintf(stderr, "%u cities\n", cListed);
  return 0;
}

// "[point:|line:|area:]CODE" -> kind and code.
bool ParseKindCode(const char* psz, int& nKind, uint16_t& wCode) {
  static const struct {
    const char* pszPrefix;
    int nKind;
  } c_aPrefixes[] = {{"point:", rkPoint}, {"line:", rkPolyline}, {"area:", rkPolygon}};
  nKind = rkPoint;
  for (const auto& prefix : c_aPrefixes) {
    const size_t c = std::strlen(prefix.pszPrefix);
    if (std::strncmp(psz, prefix.pszPrefix, c) == 0) {
      nKind = prefix.nKind;
      psz += c;
      break;
    }
  }
  char* pEnd = nullptr;
  const unsigned long n = std::strtoul(psz, &pEnd, 0);
  if (!*psz || !pEnd || *pEnd || n > 0xFFFF) return false;
  wCode = uint16_t(n);
  return true;
}

int RunFind(int argc, char** argv) {
  const char* pszMap = nullptr;
  const char* pszCity = nullptr;
  const char* pszType = nullptr;
  const char* pszCategory = nullptr;
  const char* pszName = nullptr;
  bool fBad = false;
  for (int i = 1; i < argc; ++i) {
    std::string str = argv[i];
    const bool fValue = i + 1 < argc;
    if (str == "--city" && fValue) pszCity = argv[++i];
    else if (str == "--type" && fValue) pszType = argv[++i];
    else if (str == "--category" && fValue) pszCategory = argv[++i];
    else if (str == "--name" && fValue) pszName = argv[++i];
    else if (!pszMap && str.rfind("--", 0) != 0) pszMap = argv[i];
    else fBad = true;
  }
  int nKind = rkPoint;
  uint16_t wCode = 0;
  uint32_t nRow = 0;
  if (fBad || !pszMap || (!pszType) == (!pszCategory) || (pszType && !ParseKindCode(pszType, nKind, wCode)) ||
      (pszCategory && !ParseTreeRow(pszCategory, nRow))) {
    std::fprintf(stderr, "usage: velmo-cli find MAP [--city NAME] (--type [point:|line:|area:]CODE | --category ROW) "
                         "[--name TEXT]\n");
    if (pszCategory && !ParseTreeRow(pszCategory, nRow))
      std::fprintf(stderr, "velmo-cli: --category takes a row of the type tree, 0 to %u\n", unsigned(c_cTypeFilters - 1));
    return 2;
  }
  // A single-type row is that type; a category or group row its categories.
  std::vector<uint16_t> categories;
  if (pszCategory) {
    const TypeFilterEntry* pRow = GetTypeFilter(nRow);
    if (pRow->wLevel == tflType) {
      nKind = int(pRow->dwKind);
      wCode = pRow->wType;
      pszCategory = nullptr;
    } else {
      for (uint32_t n : GetCategoriesOfFilter(nRow)) categories.push_back(GetTypeFilter(n)->wCategory);
    }
  }
  std::unique_ptr<CMapParser> p = OpenMap(pszMap);
  if (!p) return 1;
  if (!p->HasObjectsIndex()) {
    std::fprintf(stderr, "velmo-cli: the map has no object name index\n");
    return 1;
  }
  std::vector<uint32_t> cities;
  if (pszCity) {
    uint32_t nCity = 0;
    if (!FindCity(*p, platform::Utf8ToU16(pszCity), nCity)) return 1;
    cities.push_back(nCity);
  } else {
    cities = AllCities(*p);
  }
  // A type: the categories that list it as a sub-code; a category: all of it.
  std::vector<std::pair<uint16_t, uint16_t>> queries;  // category, sub-code
  if (pszCategory) {
    for (uint16_t wCategory : categories) queries.push_back({wCategory, 0xFFFF});
  } else {
    for (uint16_t wCategory : TreeCategories())
      if (p->FindObjectType(nKind, wCategory, wCode)) queries.push_back({wCategory, wCode});
    if (queries.empty() && p->FindObjectType(nKind, wCode, wCode)) queries.push_back({wCode, wCode});
  }
  const std::u16string strName = pszName ? platform::Utf8ToU16(pszName) : std::u16string();
  std::unique_ptr<CCitiesQuery> cityNames(p->CreateCitiesQuery());
  uint32_t cListed = 0;
  for (uint32_t nCity : cities)
    for (const auto& qd : queries) {
      // Objects without an address of their own show the city they are listed under.
      CityItem city = {};
      if (cityNames && nCity != c_nAnyCity) cityNames->GetItem(nCity, &city, 0);
      std::unique_ptr<CMapQuery> q(p->CreateObjectsQuery(nCity, nKind, qd.first, qd.second));
      if (!q) continue;
      uint32_t i = strName.empty() ? 0 : q->FindByName(strName.c_str());
      for (; i < q->GetCount(); ++i) {
        FoundObject obj = {};
        if (!q->GetItem(i, &obj, c_dwObjectFlags)) continue;
        if (!strName.empty() && !StartsWithNoCase(q->GetLocale(), obj.szName, strName)) break;
        if (!obj.szCity[0]) std::memcpy(obj.szCity, city.szName, sizeof obj.szCity);
        PrintObject(obj);
        ++cListed;
      }
    }
  std::fprintf(stderr, "%u found\n", cListed);
  return 0;
}

int RunAddress(int argc, char** argv) {
  const char* pszMap = nullptr;
  std::u16string strCity, strZip, strStreet, strHouse;
  bool fCity = false, fBad = false;
  for (int i = 1; i < argc; ++i) {
    std::string str = argv[i];
    const bool fValue = i + 1 < argc;
    if (str == "--city" && fValue) strCity = platform::Utf8ToU16(argv[++i]), fCity = true;
    else if (str == "--postcode" && fValue) strZip = platform::Utf8ToU16(argv[++i]);
    else if (str == "--street" && fValue) strStreet = platform::Utf8ToU16(argv[++i]);
    else if (str == "--house" && fValue) strHouse = platform::Utf8ToU16(argv[++i]);
    else if (!pszMap && str.rfind("--", 0) != 0) pszMap = argv[i];
    else fBad = true;
  }
  if (fBad || !pszMap) {
    std::fprintf(stderr, "usage: velmo-cli address MAP [--city NAME] [--postcode P] [--street S] [--house H]\n");
    return 2;
  }
  std::unique_ptr<CMapParser> p = OpenMap(pszMap);
  if (!p) return 1;
  if (!p->HasCitiesIndex()) {
    std::fprintf(stderr, "velmo-cli: the map has no city index\n");
    return 1;
  }
  uint32_t nCity = c_nAnyCity;
  if (fCity && !FindCity(*p, strCity, nCity)) return 1;
  std::unique_ptr<CMapQuery> q(p->FindByAddress(nCity, strZip.c_str(), strStreet.c_str(), strHouse.c_str(), nullptr));
  if (!q) {
    std::fprintf(stderr, "velmo-cli: the search found no result list\n");
    return 1;
  }
  for (uint32_t i = 0; i < q->GetCount(); ++i) {
    FoundObject obj = {};
    if (q->GetItem(i, &obj, c_dwObjectFlags)) PrintObject(obj);
  }
  std::fprintf(stderr, "%u found\n", q->GetCount());
  return 0;
}

}  // namespace

VELMO_CLI_COMMAND(cities, "cities", "MAP [PREFIX]", RunCities);
VELMO_CLI_HELP(cities,
               "Lists the cities of the map's city index in its order (from the first whose name\n"
               "starts with PREFIX, as long as they do): index, name, position and scale.");
VELMO_CLI_COMMAND(find, "find", "MAP [--city NAME] (--type [point:|line:|area:]CODE | --category ROW) [--name TEXT]",
                  RunFind);
VELMO_CLI_HELP(find,
               "Lists the objects of a type, or of a row of the find dialogs' type tree (0 all types,\n"
               "344 the car services with fuel stations, ...: a group, a category or a single type),\n"
               "from the map's object name index, by name, in a city (in every city without --city);\n"
               "--name starts at the first name that begins with TEXT. One line per object: type,\n"
               "kind, name, position, city, postal code, street and house number.");
VELMO_CLI_COMMAND(address, "address", "MAP [--city NAME] [--postcode P] [--street S] [--house H]", RunAddress);
VELMO_CLI_HELP(address,
               "Lists the objects whose address matches: the postal code equal, the street and house\n"
               "number containing the texts (case is ignored), in a city (in every city without --city).");
