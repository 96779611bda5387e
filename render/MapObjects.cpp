#include "render/MapObjects.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "view/MapUnits.h"

uint32_t ChooseHitItem(CMapQuery& query) {
  const uint32_t cItems = query.GetCount();
  uint32_t iBest = cItems;
  int nBestKind = 0;
  for (uint32_t i = 0; i < cItems; ++i) {  // nearest first: the first of a kind is its nearest
    FoundObject item = {};
    if (!query.GetItem(i, &item, c_fofScale))
      continue;
    if (iBest == cItems || item.nKind < nBestKind) {
      iBest = i;
      nBestKind = item.nKind;
      if (nBestKind == rkPoint)
        break;  // points come first
    }
  }
  return iBest;
}

bool HitMapObject(CMapParser* pParser, const CMapPosition& view, int x, int y, int nRadiusPx, FoundObject& obj) {
  obj = FoundObject{};  // readers fill only the fields they have
  if (pParser == nullptr)
    return false;
  const MapPoint pt = view.ToMap(x, y);
  const MapPoint ptEdge = view.ToMap(x + nRadiusPx, y);
  const double fDx = double(ptEdge.x) - pt.x, fDy = double(ptEdge.y) - pt.y;
  const uint32_t nRadius = uint32_t(std::max(1.0, MapToMetres(std::sqrt(fDx * fDx + fDy * fDy))));
  std::unique_ptr<CMapQuery> pQuery(
      pParser->FindNearest(uint32_t(view.GetScale()), true, pt, nRadius, nullptr, nullptr, nullptr));
  if (pQuery == nullptr)
    return false;
  pQuery->SetReference(pt);
  const uint32_t dwAll = c_fofName | c_fofCity | c_fofZip | c_fofStreet | c_fofNumber | c_fofMapFile | c_fofReprPoint |
                         c_fofNearestPoint | c_fofScale;
  const uint32_t iBest = ChooseHitItem(*pQuery);
  return iBest < pQuery->GetCount() && pQuery->GetItem(iBest, &obj, dwAll);
}
