// The object type filters of the find dialogs: a fixed table of groups,
// categories and single types (the category tree), the filter a saved
// cookie selects, and the set of (kind, type) pairs a filter searches for.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "map/MapParser.h"

// Row levels of the table.
enum TypeFilterLevel {
  tflGroup = 0,     // a group of categories ("Все типы" is one)
  tflCategory = 1,  // a category: the single types that follow it
  tflType = 2,      // one (kind, type code)
};

const size_t c_cTypeFilters = 421;
const uint16_t c_wAnyCode = 0xFFFF;  // the category and type code of groups, the type code of categories

// One row of the table; the row index is the filter's cookie.
#pragma pack(push, 1)
struct TypeFilterEntry {
  uint16_t wLevel;     // 0 TypeFilterLevel
  uint16_t wCaption;   // 2 string id; 0 for single types (their caption is the map's type name)
  uint32_t dwKind;     // 4 RgnKind of a single type (0 for groups and categories)
  uint16_t wCategory;  // 8 category code (c_wAnyCode for groups but the last)
  uint16_t wType;      // 10 type code; c_wAnyCode for groups and categories
};
#pragma pack(pop)
static_assert(sizeof(TypeFilterEntry) == 12, "TypeFilterEntry size");
static_assert(offsetof(TypeFilterEntry, dwKind) == 4, "");
static_assert(offsetof(TypeFilterEntry, wCategory) == 8 && offsetof(TypeFilterEntry, wType) == 10, "");

// The table, c_cTypeFilters rows in tree order.
const TypeFilterEntry* GetTypeFilterTable();
// The row of a cookie, or null for a cookie of c_cTypeFilters or more.
const TypeFilterEntry* GetTypeFilter(uint32_t nCookie);
// The parent row of a row in the tree (a category's group, a type's
// category); -1 for groups and for cookies out of the table.
int GetTypeFilterParent(uint32_t nCookie);

// The filter chosen in the find dialogs (what "Find_TypeCookie" keeps).
struct SelectedTypeFilter {
  uint32_t nCookie;
  uint32_t dwKind;
  uint16_t wCategory;
  uint16_t wType;
  char16_t szCaption[32];
};

// The map's name of a type; without one the caption is "%d 0x%04x" of the
// kind and type code. May be null (then the fallback is used).
typedef bool (*TypeNameProc)(int nKind, uint16_t wType, char16_t* pszName, size_t cchName);

// The filter of a cookie with its caption (from the string table, or the
// type's name); a cookie of c_cTypeFilters or more gives an empty filter
// with an empty caption (codes 0, kind 0).
SelectedTypeFilter SelectTypeFilter(uint32_t nCookie, TypeNameProc pfnTypeName);
// The caption of a single type: the map's name, else "%d 0x%04x".
void FormatTypeName(int nKind, uint16_t wType, TypeNameProc pfnTypeName, char16_t* pszName, size_t cchName);

// The (kind, type) pairs a filter searches for.
class CTypeFilterSet {
 public:
  // Builds the set of a cookie:
  // - category and type code both "any" (the groups): every type;
  // - type code "any" (a category): the rows of the first row with that
  //   category code up to the next row of another level;
  // - else the single (kind, type) of the row.
  // A cookie of c_cTypeFilters or more gives an empty set. The last row
  // ("Прочие объекты", category code 0) has no rows below it: its set of
  // pairs is empty too, and it passes the types that no row lists.
  explicit CTypeFilterSet(uint32_t nCookie);

  bool IsAll() const { return m_fAll; }
  bool IsOthers() const { return m_fOthers; }
  // Nothing can pass: a search is not run.
  bool IsEmpty() const { return !m_fAll && !m_fOthers && m_items.empty(); }
  bool Contains(int nKind, uint16_t wType) const;
  const std::vector<KindType>& Items() const { return m_items; }
  // The filter for a parser's search: null for every type (all types, and
  // the other types, which Contains then sorts out from the results). An
  // empty set must not be searched: a parser reads it as every type.
  const MapTypeFilter* AsMapFilter();

 private:
  bool m_fAll;
  bool m_fOthers;
  std::vector<KindType> m_items;
  MapTypeFilter m_filter;
};

// Whether a single-type row of the table lists the (kind, type).
bool IsTypeListed(int nKind, uint16_t wType);

// The category rows an objects query is asked for when a filter row is
// chosen: the row itself for a category (and for the last group, which is
// a category of its own), the categories below a group, every category of
// the table for the first group ("Все типы"), none for a single type (it
// is asked for with its own kind and codes).
std::vector<uint32_t> GetCategoriesOfFilter(uint32_t nCookie);

// The nearest search's distance limit: the value the user types in the
// unit of the distance option (kilometres, nautical or statute miles) and
// the whole metres it is stored as.
uint32_t DistanceLimitToMetres(double fValue, uint32_t dwDistanceUnit);
double DistanceLimitFromMetres(uint32_t nMetres, uint32_t dwDistanceUnit);
// The string id of the limit's unit label (km, nm, mi).
uint32_t DistanceLimitUnitId(uint32_t dwDistanceUnit);
