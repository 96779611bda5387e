#include "find/FindResults.h"

#include <algorithm>
#include <cstring>

#include "geo/Geodesy.h"
#include "platform/Str.h"
#include "view/MapUnits.h"

namespace {

size_t FieldLength(const char16_t* psz, size_t cchMax) {
  size_t n = 0;
  while (n < cchMax && psz[n]) ++n;
  return n;
}

// How often a long read looks at the cancel flag and moves the bar.
const uint32_t c_cPollEvery = 64;

}  // namespace

void CopyField(char16_t* pszDst, size_t cchDst, const char16_t* pszSrc) {
  if (!cchDst) return;
  size_t n = 0;
  while (pszSrc && pszSrc[n] && n + 1 < cchDst) {
    pszDst[n] = pszSrc[n];
    ++n;
  }
  pszDst[n] = 0;
}

void CFindResults::SetReference(MapPoint pt) {
  m_fReference = true;
  m_ptReference = pt;
}

void CFindResults::Add(const FoundObject& obj) {
  FindResult r;
  r.obj = obj;
  // Readers fill the fixed fields; a missing terminator is put in here so
  // the lists never read past a field.
  r.obj.szName[63] = r.obj.szCity[63] = r.obj.szStreet[63] = r.obj.szMapFile[63] = 0;
  r.obj.szZip[15] = r.obj.szNumber[15] = 0;
  r.fDistance = -1;
  r.fBearing = 0;
  if (m_fReference) {
    float fLon0 = float(MapToDegrees(m_ptReference.x)), fLat0 = float(MapToDegrees(m_ptReference.y));
    float fLon = float(MapToDegrees(obj.xNearest)), fLat = float(MapToDegrees(obj.yNearest));
    float f = GetDistance(fLon0, fLat0, fLon, fLat);
    r.fDistance = f == f ? f : -1;  // NaN: no distance
    r.fBearing = r.fDistance > 0 ? GetCourse(fLon0, fLat0, fLon, fLat) : 0;
    if (!(r.fBearing == r.fBearing)) r.fBearing = 0;
  }
  m_items.push_back(r);
}

bool CFindResults::AddQuery(CMapQuery& query, uint32_t dwFlags, const CTypeFilterSet* pFilter,
                            const MapProgress* pProgress) {
  if (m_fReference) {
    query.SetReference(m_ptReference);
    dwFlags |= c_fofNearestPoint;
  }
  const uint32_t cItems = query.GetCount();
  for (uint32_t i = 0; i < cItems; ++i) {
    if (pProgress && i % c_cPollEvery == 0) {
      if (pProgress->pfnSetPos)
        pProgress->SetPos(pProgress->nFrom +
                             int32_t(int64_t(pProgress->nTo - pProgress->nFrom) * i / cItems));
      if (pProgress->IsCancelled()) return false;
    }
    FoundObject obj;
    std::memset(&obj, 0, sizeof obj);
    if (!query.GetItem(i, &obj, dwFlags)) continue;
    if (pFilter && !pFilter->Contains(obj.nKind, obj.wType)) continue;
    Add(obj);
  }
  if (pProgress && pProgress->pfnSetPos) pProgress->SetPos(pProgress->nTo);
  return !(pProgress && pProgress->IsCancelled());
}

void CFindResults::SortByDistance() {
  std::stable_sort(m_items.begin(), m_items.end(), [](const FindResult& a, const FindResult& b) {
    if ((a.fDistance < 0) != (b.fDistance < 0)) return b.fDistance < 0;
    return a.fDistance < b.fDistance;
  });
}

void CFindResults::SortByName(DWORD dwLocale) {
  std::stable_sort(m_items.begin(), m_items.end(), [dwLocale](const FindResult& a, const FindResult& b) {
    return CompareNamesNoCase(dwLocale, a.obj.szName, FieldLength(a.obj.szName, 64), b.obj.szName,
                              FieldLength(b.obj.szName, 64)) < 0;
  });
}

size_t CFindResults::FindByName(DWORD dwLocale, const char16_t* pszText) const {
  if (!pszText || !*pszText || m_items.empty()) return 0;
  const size_t n = FieldLength(pszText, 64);
  // The first name whose first n characters do not sort before the text.
  size_t a = 0, b = m_items.size();
  while (a < b) {
    size_t m = a + (b - a) / 2;
    const char16_t* pszName = m_items[m].obj.szName;
    size_t cName = std::min(FieldLength(pszName, 64), n);
    if (CompareNamesNoCase(dwLocale, pszName, cName, pszText, n) < 0)
      a = m + 1;
    else
      b = m;
  }
  return a;
}
