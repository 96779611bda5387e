#include "map/RouteLegs.h"

const uint8_t c_rkVia = 0x20;

bool RouteThroughPoints(CMapParser& parser, const std::vector<MapPoint>& via, const RouteOptions& options,
                        const MapProgress* pProgress, std::vector<RouterPoint>& points, RouteLegsResult* pResult) {
  RouteLegsResult result;
  std::vector<RouterPoint> out;
  auto viaPoint = [](const MapPoint& pt) {
    RouterPoint p;
    p.x = int32_t(uint32_t(pt.x) << 1);
    p.y = int32_t(uint32_t(pt.y) << 1);
    p.btKind = c_rkVia;
    p.btSpeed = 0;
    return p;
  };
  if (!via.empty()) out.push_back(viaPoint(via[0]));
  const size_t cLegs = via.size() > 1 ? via.size() - 1 : 0;
  for (size_t j = 1; j < via.size(); ++j) {
    RouteOptions leg = options;
    leg.points.clear();
    MapProgress sub{0, 0, nullptr, nullptr, nullptr};
    const MapProgress* pSub = nullptr;
    if (pProgress) {
      sub = *pProgress;
      const double fSpan = double(pProgress->nTo) - pProgress->nFrom;
      sub.nFrom = int32_t(pProgress->nFrom + fSpan * double(j - 1) / double(cLegs));
      sub.nTo = int32_t(pProgress->nFrom + fSpan * double(j) / double(cLegs));
      pSub = &sub;
    }
    ++result.cLegs;
    if (parser.FindRoute(via[j - 1], via[j], &leg, pSub))
      out.insert(out.end(), leg.points.begin(), leg.points.end());
    else
      ++result.cStraight;
    if (pProgress && pProgress->IsCancelled()) {
      result.fCancelled = true;
      if (pResult) *pResult = result;
      return false;
    }
    out.push_back(viaPoint(via[j]));
  }
  points.insert(points.end(), out.begin(), out.end());
  if (pResult) *pResult = result;
  return true;
}
