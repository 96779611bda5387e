#include "find/TypeFilters.h"

#include <cmath>

#include "geo/Units.h"
#include "platform/Str.h"
#include "res/Res.h"

namespace {

// The tree is written as a list of steps: a group or category row with its
// caption, then runs of single types (first..last code in steps).
struct Run {
  uint8_t btKind;
  uint16_t wFirst;
  uint16_t wLast;
  uint16_t wStep;
};
struct Node {
  uint16_t wLevel;
  uint16_t wCaption;
  uint16_t wCategory;
  const Run* pRuns;
  size_t cRuns;
};

#define RUNS(name, ...) const Run name[] = {__VA_ARGS__};
#define ONE(k, c) {k, c, c, 1}
#define SPAN(k, a, b) {k, a, b, 1}

RUNS(c_aFood, ONE(0, 0x4500), ONE(0, 0x4600), SPAN(0, 0x2A00, 0x2A12))
RUNS(c_aLodging, SPAN(0, 0x2B00, 0x2B04))
RUNS(c_aCulture, SPAN(0, 0x2C00, 0x2C04), ONE(0, 0xF301), ONE(0, 0xF302), SPAN(0, 0x2C06, 0x2C0A))
RUNS(c_aReligion, ONE(0, 0x2C0B), SPAN(0, 0xF101, 0xF106))
RUNS(c_aEducation, ONE(0, 0x2C05), SPAN(0, 0xF501, 0xF505))
RUNS(c_aEntertainment, SPAN(0, 0x2D00, 0x2D04))
RUNS(c_aSport, ONE(0, 0x2D0A), SPAN(0, 0x2D06, 0x2D09), ONE(0, 0x2D05), ONE(0, 0x2D0B))
RUNS(c_aShopping, SPAN(0, 0x2E00, 0x2E0B))
RUNS(c_aServices, ONE(0, 0x2F00), ONE(0, 0x2F05), ONE(0, 0x2F06), ONE(0, 0x2F0A), ONE(0, 0x2F0C),
     SPAN(0, 0x2F10, 0x2F15), ONE(0, 0x4C00), ONE(0, 0x4E00))
RUNS(c_aPublic, SPAN(0, 0x3000, 0x3002), ONE(0, 0x4B00), SPAN(0, 0x3003, 0x3008))
RUNS(c_aTransport, ONE(0, 0x2F17), ONE(0, 0x2F08), SPAN(0, 0xF001, 0xF005), ONE(0, 0xF008), ONE(0, 0xF009),
     ONE(0, 0xF006), ONE(0, 0xF007), ONE(0, 0xF00A), ONE(0, 0xF00B), ONE(0, 0x2F04))
RUNS(c_aSettlements, SPAN(2, 0x0001, 0x0003), {0, 0x0100, 0x1100, 0x0100})
RUNS(c_aRoads, SPAN(1, 0x0000, 0x0009), ONE(1, 0x000B), ONE(1, 0x000C), ONE(1, 0x000A), ONE(1, 0x0042),
     ONE(1, 0x0043), ONE(1, 0x0016), ONE(1, 0x001A), ONE(1, 0x001B), ONE(1, 0x0014), ONE(2, 0x006A),
     ONE(2, 0x006B))
RUNS(c_aManMade, ONE(2, 0x006C), ONE(2, 0x0013), ONE(2, 0x000C), ONE(2, 0x0017), ONE(2, 0x0008), ONE(2, 0x000B),
     ONE(2, 0x000A), ONE(2, 0x0005), ONE(2, 0x0006), SPAN(2, 0x0018, 0x001A), ONE(2, 0x004E), ONE(2, 0x0086),
     ONE(2, 0x0087), ONE(2, 0x0004), ONE(2, 0x0009), ONE(2, 0x0007), ONE(2, 0x000E), ONE(2, 0x000D),
     SPAN(2, 0x0014, 0x0016), SPAN(2, 0x001E, 0x0020), ONE(1, 0x0028), ONE(1, 0x0029), ONE(0, 0x6401),
     ONE(0, 0xF30C), SPAN(0, 0x6402, 0x6416), SPAN(0, 0xF303, 0xF307), ONE(0, 0xF30B))
RUNS(c_aWater, ONE(2, 0x0028), ONE(2, 0x0032), SPAN(2, 0x0042, 0x0044), SPAN(2, 0x003C, 0x0041),
     SPAN(2, 0x0046, 0x0049), ONE(2, 0x004C), ONE(2, 0x0051), ONE(2, 0x0053), ONE(2, 0x008D), ONE(2, 0x008C),
     ONE(1, 0x0018), ONE(1, 0x001F), ONE(1, 0x0044), ONE(1, 0x0026), SPAN(0, 0x6500, 0x6513))
RUNS(c_aLand, ONE(2, 0x004F), ONE(2, 0x008E), ONE(2, 0x0050), SPAN(2, 0x0081, 0x0085), SPAN(2, 0x008F, 0x0094),
     ONE(2, 0x0088), SPAN(2, 0x0095, 0x0097), SPAN(2, 0x0089, 0x008B), ONE(2, 0x004D), ONE(2, 0x0052),
     SPAN(0, 0x6600, 0x6618), SPAN(0, 0xF308, 0xF30A), ONE(0, 0xF30D), SPAN(0, 0xF401, 0xF406))
RUNS(c_aFishing, ONE(0, 0x4100))
RUNS(c_aLeisure, ONE(0, 0x4800), ONE(0, 0x4900), ONE(0, 0x4A00), ONE(0, 0x4F00), ONE(0, 0x5000), ONE(0, 0x5100),
     ONE(0, 0x5200), ONE(0, 0x5400))
RUNS(c_aCarServices, ONE(0, 0x2F01), ONE(0, 0x2F0B), ONE(0, 0x2F03), ONE(0, 0x2F0E), ONE(0, 0x2F07),
     ONE(0, 0x2F02), ONE(0, 0x2F0D), ONE(0, 0x2F16))
RUNS(c_aDriving, SPAN(0, 0xF201, 0xF204))
RUNS(c_aHighway, ONE(0, 0x2000), ONE(0, 0x2100), ONE(0, 0x210F), {0, 0x2200, 0x2700, 0x0100})
RUNS(c_aMarineServices, ONE(0, 0x4300), ONE(0, 0x1200), ONE(0, 0x2F09), ONE(0, 0x4700))
RUNS(c_aNavAids, SPAN(0, 0x1600, 0x1616))
RUNS(c_aHazards, SPAN(0, 0x1C00, 0x1C0B))
RUNS(c_aTides, ONE(0, 0x1D00))
RUNS(c_aAirports, SPAN(0, 0x5901, 0x5905))

#define GROUP(ids) {tflGroup, ids, c_wAnyCode, nullptr, 0}
#define CATEGORY(ids, code, runs) {tflCategory, ids, code, runs, sizeof runs / sizeof runs[0]}

const Node c_aTree[] = {
    GROUP(2300),                                    // Все типы
    GROUP(2301),                                    // Полезные объекты
    CATEGORY(2302, 0x2A00, c_aFood),
    CATEGORY(2303, 0x2B00, c_aLodging),
    CATEGORY(2304, 0x2C00, c_aCulture),
    CATEGORY(2305, 0xF100, c_aReligion),
    CATEGORY(2306, 0x2C05, c_aEducation),
    CATEGORY(2307, 0x2D00, c_aEntertainment),
    CATEGORY(2308, 0x2D0A, c_aSport),
    CATEGORY(2309, 0x2E00, c_aShopping),
    CATEGORY(2310, 0x2F00, c_aServices),
    CATEGORY(2311, 0x3000, c_aPublic),
    CATEGORY(2312, 0xF000, c_aTransport),
    GROUP(2313),                                    // Географические объекты
    CATEGORY(2314, 0x0100, c_aSettlements),
    CATEGORY(2315, 0x0001, c_aRoads),
    CATEGORY(2316, 0x6400, c_aManMade),
    CATEGORY(2317, 0x6500, c_aWater),
    CATEGORY(2318, 0x6600, c_aLand),
    GROUP(2319),                                    // Отдых
    CATEGORY(2320, 0x4100, c_aFishing),
    CATEGORY(2321, 0x4A00, c_aLeisure),
    GROUP(2322),                                    // Автотранспорт
    CATEGORY(2323, 0x2F01, c_aCarServices),
    CATEGORY(2324, 0xF200, c_aDriving),
    CATEGORY(2325, 0x2000, c_aHighway),
    GROUP(2326),                                    // Судовождение
    CATEGORY(2327, 0x4300, c_aMarineServices),
    CATEGORY(2328, 0x1600, c_aNavAids),
    CATEGORY(2329, 0x1C00, c_aHazards),
    CATEGORY(2330, 0x1D00, c_aTides),
    GROUP(2331),                                    // Авиация
    CATEGORY(2332, 0x5900, c_aAirports),
    {tflGroup, 2333, 0x0000, nullptr, 0},           // Прочие объекты: category code 0, no rows
};

struct Table {
  TypeFilterEntry aRows[c_cTypeFilters];
  size_t cRows = 0;

  Table() {
    for (const Node& node : c_aTree) {
      Add(TypeFilterEntry{node.wLevel, node.wCaption, 0, node.wCategory, c_wAnyCode});
      for (size_t i = 0; i < node.cRuns; ++i) {
        const Run& run = node.pRuns[i];
        for (uint32_t w = run.wFirst; w <= run.wLast; w += run.wStep)
          Add(TypeFilterEntry{tflType, 0, run.btKind, node.wCategory, uint16_t(w)});
      }
    }
  }
  void Add(const TypeFilterEntry& entry) {
    // A table longer than its declared size is cut (the tests count rows).
    if (cRows < c_cTypeFilters) aRows[cRows] = entry;
    ++cRows;
  }
};

const Table& GetTable() {
  static const Table s_table;
  return s_table;
}

}  // namespace

const TypeFilterEntry* GetTypeFilterTable() { return GetTable().aRows; }

const TypeFilterEntry* GetTypeFilter(uint32_t nCookie) {
  return nCookie < c_cTypeFilters ? &GetTable().aRows[nCookie] : nullptr;
}

int GetTypeFilterParent(uint32_t nCookie) {
  const TypeFilterEntry* pEntry = GetTypeFilter(nCookie);
  if (!pEntry || pEntry->wLevel == tflGroup) return -1;
  const TypeFilterEntry* aRows = GetTypeFilterTable();
  for (uint32_t i = nCookie; i-- > 0;)
    if (aRows[i].wLevel < pEntry->wLevel) return int(i);
  return -1;
}

void FormatTypeName(int nKind, uint16_t wType, TypeNameProc pfnTypeName, char16_t* pszName, size_t cchName) {
  if (!cchName) return;
  pszName[0] = 0;
  if (pfnTypeName && pfnTypeName(nKind, wType, pszName, cchName) && pszName[0]) return;
  platform::Format(pszName, cchName, u"%d 0x%04x", nKind, unsigned(wType));
}

SelectedTypeFilter SelectTypeFilter(uint32_t nCookie, TypeNameProc pfnTypeName) {
  SelectedTypeFilter sel = {};
  sel.nCookie = nCookie;
  const TypeFilterEntry* pEntry = GetTypeFilter(nCookie);
  if (!pEntry) return sel;
  sel.dwKind = pEntry->dwKind;
  sel.wCategory = pEntry->wCategory;
  sel.wType = pEntry->wType;
  if (pEntry->wLevel == tflType)
    FormatTypeName(int(pEntry->dwKind), pEntry->wType, pfnTypeName, sel.szCaption, 32);
  else
    LoadResString(pEntry->wCaption, sel.szCaption, 32);
  return sel;
}

CTypeFilterSet::CTypeFilterSet(uint32_t nCookie) : m_fAll(false), m_fOthers(false), m_filter{nullptr, 0} {
  const TypeFilterEntry* pEntry = GetTypeFilter(nCookie);
  if (!pEntry) return;
  if (pEntry->wCategory == c_wAnyCode && pEntry->wType == c_wAnyCode) {
    m_fAll = true;
    return;
  }
  if (pEntry->wType != c_wAnyCode) {
    m_items.push_back(KindType{int32_t(pEntry->dwKind), pEntry->wType});
    return;
  }
  const TypeFilterEntry* aRows = GetTypeFilterTable();
  size_t iFirst = 0;
  while (iFirst < c_cTypeFilters && aRows[iFirst].wCategory != pEntry->wCategory) ++iFirst;
  for (size_t i = iFirst + 1; i < c_cTypeFilters && aRows[i].wLevel == tflType; ++i)
    m_items.push_back(KindType{int32_t(aRows[i].dwKind), aRows[i].wType});
  // The group that is a category of its own and names no type: the types
  // that no row of the table lists.
  m_fOthers = pEntry->wLevel == tflGroup && m_items.empty();
}

bool IsTypeListed(int nKind, uint16_t wType) {
  const TypeFilterEntry* aRows = GetTypeFilterTable();
  for (size_t i = 0; i < c_cTypeFilters; ++i)
    if (aRows[i].wLevel == tflType && int(aRows[i].dwKind) == nKind && aRows[i].wType == wType) return true;
  return false;
}

bool CTypeFilterSet::Contains(int nKind, uint16_t wType) const {
  if (m_fAll) return true;
  if (m_fOthers) return !IsTypeListed(nKind, wType);
  for (const KindType& kt : m_items)
    if (kt.nKind == nKind && kt.wType == wType) return true;
  return false;
}

const MapTypeFilter* CTypeFilterSet::AsMapFilter() {
  if (m_fAll || m_fOthers) return nullptr;
  m_filter.pItems = m_items.data();
  m_filter.cItems = m_items.size();
  return &m_filter;
}

std::vector<uint32_t> GetCategoriesOfFilter(uint32_t nCookie) {
  std::vector<uint32_t> rows;
  const TypeFilterEntry* pEntry = GetTypeFilter(nCookie);
  if (!pEntry || pEntry->wLevel == tflType) return rows;
  if (pEntry->wCategory != c_wAnyCode) {  // a category, or the group that is its own category
    rows.push_back(nCookie);
    return rows;
  }
  const TypeFilterEntry* aRows = GetTypeFilterTable();
  // The first group holds every category; the others those up to the next group.
  bool fEvery = nCookie == 0;
  for (uint32_t i = nCookie + 1; i < c_cTypeFilters; ++i) {
    if (aRows[i].wLevel == tflGroup && !fEvery) break;
    if (aRows[i].wType == c_wAnyCode && aRows[i].wCategory != c_wAnyCode) rows.push_back(i);
  }
  return rows;
}

namespace {
double MetresPerUnit(uint32_t dwDistanceUnit) {
  switch (dwDistanceUnit) {
    case duNautical:
      return c_fMetresPerNauticalMile;
    case duStatute:
      return c_fMetresPerStatuteMile;
    default:
      return 1000.0;
  }
}
}  // namespace

uint32_t DistanceLimitToMetres(double fValue, uint32_t dwDistanceUnit) {
  double f = fValue * MetresPerUnit(dwDistanceUnit);
  // Negative or unreadable values give 0; the limit is capped at the range of
  // the stored value.
  if (!(f > 0)) return 0;
  if (f >= 4294967295.0) return 0xFFFFFFFFu;
  return uint32_t(std::llround(f));
}

double DistanceLimitFromMetres(uint32_t nMetres, uint32_t dwDistanceUnit) {
  return double(nMetres) / MetresPerUnit(dwDistanceUnit);
}

uint32_t DistanceLimitUnitId(uint32_t dwDistanceUnit) {
  switch (dwDistanceUnit) {
    case duNautical:
      return c_idsUnitNauticalMiles;
    case duStatute:
      return c_idsUnitMiles;
    default:
      return c_idsUnitKilometres;
  }
}
