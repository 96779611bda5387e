#include "routing/AutoRouting.h"

#include <utility>

#include "gps/GpsFix.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "routing/RoutingSettings.h"
#include "store/WaypointStore.h"
#include "view/MapUnits.h"

namespace {

RouteTimeListener s_pfnRouteTime = nullptr;

void ReportPos(void* pUi, int32_t nPos) { static_cast<CRouteProgressUi*>(pUi)->SetPos(nPos); }

// Route points are kept at twice the map unit.
MapPoint ToMap(const RoutePoint& rp) { return MapPoint{rp.GetX() >> 1, rp.GetY() >> 1}; }

void AppendLeg(std::vector<RoutePoint>& points, const RouteOptions& request) {
  for (const RouterPoint& p : request.points) points.push_back(ToRoutePoint(p));
}

}  // namespace

void FillRouteMotion(const GpsFix& fix, RouteOptions& request) {
  request.fMotionValid = fix.Has(gfPosition) && fix.Has(gfCourse) && fix.Has(gfSpeed);
  request.dCourse = request.fMotionValid ? fix.course : 0;
  request.dSpeedKmh = request.fMotionValid ? fix.speed : 0;
}

RoutePoint ToRoutePoint(const RouterPoint& p) {
  RoutePoint rp;
  rp.x = p.x;
  rp.y = p.y;
  rp.btKind = p.btKind;
  rp.btSpeed = p.btSpeed;
  rp.btQuality = p.btQuality;
  rp.strLabel = p.strLabel;
  rp.nLink = p.nLink;
  rp.btParameter = p.btParameter;
  rp.fLength = p.fLength;
  rp.nTurnAngle = p.nTurnAngle;
  return rp;
}

RoutePoint PositionPoint(double dLon, double dLat) {
  RoutePoint rp;
  rp.x = DegreesToMap(dLon) * 2;
  rp.y = DegreesToMap(dLat) * 2;
  rp.btKind = c_rkPlain;
  return rp;
}

void ReplaceRoutePoints(Route& route, std::vector<RoutePoint>&& points) {
  // The new list's references first, so a waypoint in both lists never
  // drops to no references on the way.
  for (RoutePoint& rp : points)
    if (rp.pWaypoint) rp.pWaypoint->AddRef();
  for (RoutePoint& rp : route.points)
    if (rp.pWaypoint) rp.pWaypoint->Release();
  route.points = std::move(points);
  RecomputeRoute(route);
}

CAutoRouter::CAutoRouter(CMapParser** ppParser, Route** ppActive, CRouteProgressUi* pUi)
    : m_ppParser(ppParser), m_pUi(pUi), m_ppActive(ppActive), m_dwElapsedMs(0), m_fBusy(false) {}

bool CAutoRouter::IsCancelled() const { return m_pUi && *m_pUi->CancelFlag(); }

void CAutoRouter::Open() {
  m_fBusy = true;
  if (!m_pUi) return;
  m_pUi->Open(c_idsRouteProgress);
}

void CAutoRouter::Close(uint32_t dwStartMs) {
  if (m_pUi) m_pUi->Close();
  m_fBusy = false;
  m_dwElapsedMs = platform::GetTickMs() - dwStartMs;
  if (s_pfnRouteTime) s_pfnRouteTime(m_dwElapsedMs);
}

void SetRouteTimeListener(RouteTimeListener pfn) { s_pfnRouteTime = pfn; }

MapProgress CAutoRouter::Range(int32_t nFrom, int32_t nTo) const {
  return MapProgress{nFrom, nTo, m_pUi ? m_pUi->CancelFlag() : nullptr, m_pUi ? ReportPos : nullptr, m_pUi};
}

bool CAutoRouter::CalculateLeg(MapPoint ptFrom, MapPoint ptTo, RouteOptions& request, const MapProgress& progress,
                               const GpsFix* pFix) {
  CMapParser* pParser = Parser();
  ASSERT(pParser != nullptr);  // g_pMapParser != NULL
  if (!pParser) return false;
  request = RouteOptions();
  FillRouteOptions(ReadRoutingSettings(), request);
  if (pFix) FillRouteMotion(*pFix, request);
  return pParser->FindRoute(ptFrom, ptTo, &request, &progress);
}

RouteCalcResult CAutoRouter::CalculateRoute(Route& route) {
  if (m_fBusy || (m_ppActive && *m_ppActive == &route)) return rcrNothing;
  std::vector<RoutePoint> via;
  for (const RoutePoint& rp : route.points)
    if (rp.btKind & rpkVia) via.push_back(rp);
  if (ReadRoutingSettings().dwStyle == rsStraight) {
    ReplaceRoutePoints(route, std::move(via));
    return rcrStraight;
  }
  if (via.empty() || !Parser()) return rcrNothing;

  uint32_t dwStart = platform::GetTickMs();
  Open();
  std::vector<RoutePoint> points;
  points.push_back(via[0]);
  int32_t cLegs = int32_t(via.size()) - 1;
  for (int32_t j = 1; j <= cLegs; ++j) {
    RouteOptions request;
    MapProgress progress = Range((j - 1) * 100 / cLegs, j * 100 / cLegs);
    // A leg without a road route is the straight line to its end.
    if (CalculateLeg(ToMap(via[j - 1]), ToMap(via[j]), request, progress)) AppendLeg(points, request);
    points.push_back(via[j]);
    if (m_pUi) m_pUi->SetPos(progress.nTo);
    if (IsCancelled()) {
      Close(dwStart);
      return rcrCancelled;
    }
  }
  Close(dwStart);
  ReplaceRoutePoints(route, std::move(points));
  return rcrDone;
}

bool CAutoRouter::CalculateFromPosition(Route& route, double dLon, double dLat, const GpsFix* pFix) {
  if (m_fBusy || !ReadRoutingSettings().FollowsRoads() || !Parser() || route.points.empty()) return false;
  size_t k = 0;
  for (size_t i = 0; i < route.points.size(); ++i)
    if (route.points[i].btKind & rpkVia) {
      k = i;
      break;
    }
  uint32_t dwStart = platform::GetTickMs();
  Open();
  RoutePoint start = PositionPoint(dLon, dLat);
  RouteOptions request;
  bool fFound = CalculateLeg(ToMap(start), ToMap(route.points[k]), request, Range(0, 100), pFix);
  bool fCancelled = IsCancelled();
  Close(dwStart);
  if (!fFound || fCancelled) return false;
  std::vector<RoutePoint> points;
  points.push_back(start);
  AppendLeg(points, request);
  points.insert(points.end(), route.points.begin() + ptrdiff_t(k), route.points.end());
  ReplaceRoutePoints(route, std::move(points));
  return true;
}

bool CAutoRouter::Recalculate(Route& route, double dLon, double dLat, size_t iTarget, size_t iPassed,
                              const GpsFix* pFix) {
  if (m_fBusy || !ReadRoutingSettings().FollowsRoads() || !Parser()) return false;
  // Guidance's indices come from the route it follows; others are refused.
  if (iPassed > iTarget || iTarget >= route.points.size()) return false;
  uint32_t dwStart = platform::GetTickMs();
  Open();
  std::vector<RoutePoint> points(route.points.begin(), route.points.begin() + ptrdiff_t(iPassed));
  RoutePoint start = PositionPoint(dLon, dLat);
  points.push_back(start);
  RouteOptions request;
  bool fFound = CalculateLeg(ToMap(start), ToMap(route.points[iTarget]), request, Range(0, 100), pFix);
  if (!fFound && !IsCancelled())
    fFound = CalculateLeg(ToMap(start), ToMap(route.points[iTarget]), request, Range(0, 100), pFix);
  bool fCancelled = IsCancelled();
  Close(dwStart);
  if (!fFound || fCancelled) return false;
  AppendLeg(points, request);
  points.insert(points.end(), route.points.begin() + ptrdiff_t(iTarget), route.points.end());
  ReplaceRoutePoints(route, std::move(points));
  return true;
}

CAutoRouter& GetAutoRouter() {
  static CAutoRouter s_router(&g_pMapParser, &g_pActiveRoute, nullptr);
  return s_router;
}
