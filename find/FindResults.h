// The result list of the find dialogs: the objects a query hands out,
// decoded once, with their distance and bearing from the search point,
// sorted by distance or by name, and the name look-up of the list.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "find/TypeFilters.h"
#include "map/MapParser.h"

struct FindResult {
  FoundObject obj;
  float fDistance;  // metres from the search point to the object's nearest point; -1 without a point
  float fBearing;   // degrees [0, 360) from the search point
};

class CFindResults {
 public:
  CFindResults() = default;

  void Clear() { m_items.clear(); }
  size_t GetCount() const { return m_items.size(); }
  const FindResult& GetItem(size_t i) const { return m_items[i]; }
  const std::vector<FindResult>& Items() const { return m_items; }

  // Search point of the distances and bearings (map units); without one
  // the distances are -1.
  void SetReference(MapPoint pt);
  void ClearReference() { m_fReference = false; }

  // Decodes every item of a query with the request flags and appends those
  // that pass the filter (none: all). The query is told the search point
  // first, for its nearest points. Polls the progress' cancel flag and moves
  // it over its range; false when cancelled (what was read stays).
  bool AddQuery(CMapQuery& query, uint32_t dwFlags, const CTypeFilterSet* pFilter, const MapProgress* pProgress);
  // Appends one decoded object (the distance is computed here).
  void Add(const FoundObject& obj);

  // Nearest first (objects without a distance last); equal distances keep
  // their order.
  void SortByDistance();
  // Name order as the map compares names (case-insensitive in its locale).
  void SortByName(DWORD dwLocale);
  // In a list sorted by name: the first object whose name starts with the
  // text, or whose name sorts after it; GetCount() when none. Empty text: 0.
  size_t FindByName(DWORD dwLocale, const char16_t* pszText) const;

 private:
  std::vector<FindResult> m_items;
  bool m_fReference = false;
  MapPoint m_ptReference = {0, 0};
};

// Copies a text into a fixed field, cut to fit and terminated.
void CopyField(char16_t* pszDst, size_t cchDst, const char16_t* pszSrc);
