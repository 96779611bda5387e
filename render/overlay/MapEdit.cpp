#include "render/overlay/MapEdit.h"

#include <vector>

#include "render/Screen.h"
#include "store/WaypointStore.h"

namespace {

// Stored coordinates are doubled map units over the full 32-bit circle.
int32_t Doubled(int32_t n) { return int32_t(uint32_t(n) << 1); }

int64_t Square(int64_t n) { return n * n; }

// Squared distance from p to the segment a–b (all in pixels).
int64_t DistanceToSegment2(const VPoint& p, const VPoint& a, const VPoint& b) {
  const int64_t dx = int64_t(b.x) - a.x, dy = int64_t(b.y) - a.y;
  const int64_t px = int64_t(p.x) - a.x, py = int64_t(p.y) - a.y;
  const int64_t len2 = dx * dx + dy * dy;
  const int64_t dot = px * dx + py * dy;
  if (len2 == 0 || dot <= 0)
    return px * px + py * py;
  if (dot >= len2)
    return Square(int64_t(p.x) - b.x) + Square(int64_t(p.y) - b.y);
  // |p × d|² / |d|², in doubles: the cross product may exceed 2^63 squared.
  const double cross = double(px) * double(dy) - double(py) * double(dx);
  return int64_t(cross * cross / double(len2));
}

// The map rectangle (map units) holding the screen box around (x, y): the
// four corners through the view, so that it holds at any rotation.
MapRectL ScreenBoxToMap(const CMapPosition& view, int x, int y, int rx, int ry) {
  const MapPoint corners[4] = {view.ToMap(x - rx, y - ry), view.ToMap(x + rx, y - ry), view.ToMap(x - rx, y + ry),
                               view.ToMap(x + rx, y + ry)};
  MapRectL rc = {corners[0].x, corners[0].y, corners[0].x, corners[0].y};
  for (const MapPoint& pt : corners) {
    rc.left = pt.x < rc.left ? pt.x : rc.left;
    rc.right = pt.x > rc.right ? pt.x : rc.right;
    rc.top = pt.y < rc.top ? pt.y : rc.top;
    rc.bottom = pt.y > rc.bottom ? pt.y : rc.bottom;
  }
  return rc;
}

bool Meets(const MapRectL& a, const RouteRect& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

bool RouteUses(const Route& route, const Waypoint* pWaypoint) {
  for (const RoutePoint& rp : route.points)
    if (rp.pWaypoint == pWaypoint)
      return true;
  return false;
}

}  // namespace

CMapEdit g_mapEdit(&g_waypointStore);

CMapEdit::CMapEdit(CWaypointStore* pStore)
    : m_pStore(pStore), m_pfnCalculate(nullptr), m_nGeneration(pStore->GetGeneration()), m_pEdited(nullptr),
      m_pMoving(nullptr), m_pSelectedWaypoint(nullptr), m_pSelectedRoute(nullptr), m_iSelectedPoint(-1),
      m_iDragPoint(-1), m_ptDrag{0, 0} {}

void CMapEdit::Reset() {
  m_nGeneration = m_pStore->GetGeneration();
  m_pEdited = nullptr;
  m_pMoving = nullptr;
  m_pSelectedWaypoint = nullptr;
  m_pSelectedRoute = nullptr;
  m_iSelectedPoint = -1;
  m_iDragPoint = -1;
}

void CMapEdit::Sync() const {
  if (m_nGeneration != m_pStore->GetGeneration()) {
    // The records may be gone: nothing of them may be looked at.
    const_cast<CMapEdit*>(this)->Reset();
    return;
  }
  if (m_pEdited != nullptr && m_pEdited->IsDeleted()) {
    m_pEdited = nullptr;
    m_iDragPoint = -1;
  }
  if (m_pMoving != nullptr && m_pMoving->IsDeleted())
    m_pMoving = nullptr;
  if (m_pSelectedWaypoint != nullptr && m_pSelectedWaypoint->IsDeleted())
    m_pSelectedWaypoint = nullptr;
  if (m_pSelectedRoute != nullptr && m_pSelectedRoute->IsDeleted()) {
    m_pSelectedRoute = nullptr;
    m_iSelectedPoint = -1;
  }
  if (m_pSelectedRoute != nullptr && m_iSelectedPoint >= int(m_pSelectedRoute->points.size()))
    m_iSelectedPoint = -1;
  if (m_pEdited != nullptr && m_iDragPoint >= int(m_pEdited->points.size()))
    m_iDragPoint = -1;
}

Route* CMapEdit::GetEditedRoute() const {
  Sync();
  return m_pEdited;
}

Waypoint* CMapEdit::GetMovingWaypoint() const {
  Sync();
  return m_pMoving;
}

Waypoint* CMapEdit::GetSelectedWaypoint() const {
  Sync();
  return m_pSelectedWaypoint;
}

Route* CMapEdit::GetSelectedRoute() const {
  Sync();
  return m_pSelectedRoute;
}

int CMapEdit::GetSelectedPoint() const {
  Sync();
  return m_pSelectedRoute != nullptr ? m_iSelectedPoint : -1;
}

bool CMapEdit::IsLive(const Route* pRoute) const { return pRoute != nullptr && !pRoute->IsDeleted(); }

// ------------------------------------------------------------ hit tests

Waypoint* CMapEdit::HitWaypoint(const CMapPosition& view, int x, int y) const {
  Sync();
  const int rx = render::ScaleX(c_nWaypointHitTolerance), ry = render::ScaleY(c_nWaypointHitTolerance);
  const MapRectL rcBox = ScreenBoxToMap(view, x, y, rx + 1, ry + 1);
  Waypoint* pBest = nullptr;
  int64_t nBest = 0;
  for (Waypoint* pWp = m_pStore->FirstWaypoint(); pWp != nullptr; pWp = pWp->pNext) {
    if (pWp->IsDeleted() || pWp->GetShow() > wsIconAndDesc)
      continue;
    const int32_t xMap = pWp->x >> 1, yMap = pWp->y >> 1;
    if (xMap < rcBox.left || xMap > rcBox.right || yMap < rcBox.top || yMap > rcBox.bottom)
      continue;
    const VPoint pt = view.ToScreen(xMap, yMap);
    const int64_t dx = int64_t(pt.x) - x, dy = int64_t(pt.y) - y;
    if (dx < -rx || dx > rx || dy < -ry || dy > ry)
      continue;
    const int64_t d2 = dx * dx + dy * dy;
    if (pBest == nullptr || d2 < nBest) {
      pBest = pWp;
      nBest = d2;
    }
  }
  return pBest;
}

Route* CMapEdit::HitRoute(const CMapPosition& view, int x, int y, int* piPoint) const {
  Sync();
  if (piPoint != nullptr)
    *piPoint = -1;
  const int r = render::ScaleX(c_nRouteHitTolerance);
  const MapRectL rcBox = ScreenBoxToMap(view, x, y, r + 1, r + 1);
  const VPoint ptHit = {x, y};
  Route* pBest = nullptr;
  int iBest = -1;
  int64_t nBest = Square(r) + 1;
  std::vector<VPoint> pts;
  for (Route* pRoute = m_pStore->FirstRoute(); pRoute != nullptr; pRoute = pRoute->pNext) {
    if (pRoute->IsDeleted() || pRoute->IsEmpty() || !Meets(rcBox, pRoute->rcBounds))
      continue;
    pts.clear();
    for (const RoutePoint& rp : pRoute->points)
      pts.push_back(view.ToScreenDoubled(rp.GetX(), rp.GetY()));
    for (size_t i = 0; i < pts.size(); ++i) {
      const int64_t d2 = DistanceToSegment2(ptHit, pts[i], pts[i + 1 < pts.size() ? i + 1 : i]);
      if (d2 < nBest) {
        nBest = d2;
        pBest = pRoute;
        iBest = int(i);
      }
    }
  }
  if (piPoint != nullptr)
    *piPoint = iBest;
  return pBest;
}

int CMapEdit::HitRoutePoint(const CMapPosition& view, const Route& route, int x, int y) const {
  const int r = render::ScaleX(c_nRoutePointHitTolerance);
  int iBest = -1;
  int64_t nBest = Square(r) + 1;
  for (size_t i = 0; i < route.points.size(); ++i) {
    const VPoint pt = view.ToScreenDoubled(route.points[i].GetX(), route.points[i].GetY());
    const int64_t d2 = Square(int64_t(pt.x) - x) + Square(int64_t(pt.y) - y);
    if (d2 < nBest) {
      nBest = d2;
      iBest = int(i);
    }
  }
  return iBest;
}

// ------------------------------------------------------------ selection

bool CMapEdit::SelectAt(const CMapPosition& view, int x, int y, bool fWaypointsShown, bool fRoutesShown) {
  ClearSelection();
  if (fWaypointsShown) {
    m_pSelectedWaypoint = HitWaypoint(view, x, y);
    if (m_pSelectedWaypoint != nullptr)
      return true;
  }
  if (fRoutesShown) {
    int iPoint = -1;
    m_pSelectedRoute = HitRoute(view, x, y, &iPoint);
    m_iSelectedPoint = m_pSelectedRoute != nullptr ? iPoint : -1;
    return m_pSelectedRoute != nullptr;
  }
  return false;
}

void CMapEdit::SelectWaypoint(Waypoint* pWaypoint) {
  ClearSelection();
  m_pSelectedWaypoint = pWaypoint != nullptr && !pWaypoint->IsDeleted() ? pWaypoint : nullptr;
}

void CMapEdit::SelectRoute(Route* pRoute, int iPoint) {
  ClearSelection();
  if (!IsLive(pRoute))
    return;
  m_pSelectedRoute = pRoute;
  m_iSelectedPoint = iPoint >= 0 && iPoint < int(pRoute->points.size()) ? iPoint : -1;
}

void CMapEdit::ClearSelection() {
  Sync();
  m_pSelectedWaypoint = nullptr;
  m_pSelectedRoute = nullptr;
  m_iSelectedPoint = -1;
}

MapContextMenu CMapEdit::ChooseContextMenu() const {
  Sync();
  if (m_pSelectedWaypoint != nullptr)
    return mcmWaypoint;
  if (m_pSelectedRoute != nullptr)
    return mcmRoute;
  if (m_pEdited != nullptr)
    return mcmEditing;
  if (m_pMoving != nullptr)
    return mcmMovingWaypoint;
  return mcmMap;
}

// ------------------------------------------------------------ enabling

bool CMapEdit::IsLocked(const Route* pRoute) const { return pRoute != nullptr && pRoute == m_pStore->ActiveRoute(); }

bool CMapEdit::IsWaypointLocked(const Waypoint* pWaypoint) const {
  const Route* pActive = m_pStore->ActiveRoute();
  return pWaypoint != nullptr && pActive != nullptr && RouteUses(*pActive, pWaypoint);
}

bool CMapEdit::CanStartRoute() const { return GetEditedRoute() == nullptr; }

bool CMapEdit::CanAppend() const {
  Route* pEdited = GetEditedRoute();
  return pEdited != nullptr && !IsLocked(pEdited);
}

bool CMapEdit::IsWaypointInEditedRoute() const {
  Sync();
  return m_pEdited != nullptr && m_pSelectedWaypoint != nullptr && RouteUses(*m_pEdited, m_pSelectedWaypoint);
}

bool CMapEdit::CanRemoveFromRoute() const {
  return IsWaypointInEditedRoute() && !IsLocked(m_pEdited) && m_pMoving == nullptr;
}

bool CMapEdit::CanMoveWaypoint() const {
  Waypoint* pWp = GetSelectedWaypoint();
  return pWp != nullptr && !IsWaypointLocked(pWp);
}

bool CMapEdit::CanChangeSelectedRoute() const {
  Route* pRoute = GetSelectedRoute();
  return pRoute != nullptr && !IsLocked(pRoute);
}

bool CMapEdit::CanContinueSelectedRoute() const { return CanChangeSelectedRoute() && m_pSelectedRoute != m_pEdited; }

bool CMapEdit::CanMoveHere() const {
  Waypoint* pWp = GetMovingWaypoint();
  return pWp != nullptr && !IsWaypointLocked(pWp);
}

// ------------------------------------------------------------ commands

void CMapEdit::Calculate(Route& route) {
  if (m_pfnCalculate != nullptr)
    m_pfnCalculate(*m_pStore, route);
}

Waypoint* CMapEdit::NewRouteWaypoint(const MapPoint& ptMap, double dTime) {
  Waypoint* pWp = m_pStore->NewWaypoint(MapToDegrees(ptMap.x), MapToDegrees(ptMap.y), dTime, 0, false);
  // Exactly the map point, without a round trip through degrees.
  pWp->x = Doubled(ptMap.x);
  pWp->y = Doubled(ptMap.y);
  pWp->dwFlags |= wfMadeForRoute;
  return pWp;
}

void CMapEdit::MoveWaypoint(Waypoint* pWaypoint, int32_t x2, int32_t y2) {
  pWaypoint->x = x2;
  pWaypoint->y = y2;
  for (Route* pRoute = m_pStore->FirstRoute(); pRoute != nullptr; pRoute = pRoute->pNext)
    if (!pRoute->IsDeleted() && RouteUses(*pRoute, pWaypoint))
      RecomputeRoute(*pRoute);
}

bool CMapEdit::AppendToRoute(const MapPoint& ptMap, double dTime) {
  const bool fAllowed = CanAppend();
  Waypoint* pWp = m_pSelectedWaypoint;
  ClearSelection();
  if (!fAllowed)
    return false;
  Route& route = *m_pEdited;
  // The same waypoint twice in a row would be a segment of no length.
  if (pWp != nullptr && !route.points.empty() && route.points.back().pWaypoint == pWp)
    return false;
  if (pWp == nullptr)
    pWp = NewRouteWaypoint(ptMap, dTime);
  if (!m_pStore->InsertWaypoint(&route, int(route.points.size()) - 1, pWp))
    return false;
  Calculate(route);
  return true;
}

bool CMapEdit::RemoveFromRoute() {
  const bool fAllowed = CanRemoveFromRoute();
  Waypoint* pWp = m_pSelectedWaypoint;
  ClearSelection();
  if (!fAllowed)
    return false;
  Route& route = *m_pEdited;
  // The last of its points: the one appended most recently.
  for (size_t i = route.points.size(); i-- > 0;) {
    if (route.points[i].pWaypoint != pWp)
      continue;
    if (!m_pStore->DeletePoint(&route, i))
      return false;
    // A point made only for routes goes with its last route point.
    if ((pWp->dwFlags & wfMadeForRoute) != 0 && pWp->cRoutePoints == 0)
      pWp->dwFlags |= wfDeleted;
    Calculate(route);
    Sync();
    return true;
  }
  return false;
}

bool CMapEdit::StartRoute(const MapPoint& ptMap, double dTime) {
  Waypoint* pWp = GetSelectedWaypoint();
  if (m_pEdited != nullptr && IsLocked(m_pEdited)) {
    ClearSelection();
    return false;
  }
  Route* pRoute = m_pStore->NewRoute(dTime);
  m_pEdited = pRoute;
  m_iDragPoint = -1;
  m_pSelectedWaypoint = pWp;
  AppendToRoute(ptMap, dTime);
  return true;
}

bool CMapEdit::MoveHere(const MapPoint& ptMap) {
  ClearSelection();
  if (!CanMoveHere())
    return false;
  MoveWaypoint(m_pMoving, Doubled(ptMap.x), Doubled(ptMap.y));
  m_pMoving = nullptr;
  return true;
}

bool CMapEdit::InsertPoint(const MapPoint& ptMap, double dTime) {
  const bool fAllowed = CanChangeSelectedRoute();
  Route* pRoute = m_pSelectedRoute;
  const int iAfter = m_iSelectedPoint;
  ClearSelection();
  if (!fAllowed || iAfter < 0)
    return false;
  Waypoint* pWp = NewRouteWaypoint(ptMap, dTime);
  if (!m_pStore->InsertWaypoint(pRoute, iAfter, pWp)) {
    pWp->dwFlags |= wfDeleted;
    return false;
  }
  Calculate(*pRoute);
  m_pMoving = pWp;
  return true;
}

bool CMapEdit::ReverseSelectedRoute() {
  const bool fAllowed = CanChangeSelectedRoute();
  Route* pRoute = m_pSelectedRoute;
  ClearSelection();
  return fAllowed && m_pStore->ReverseRoute(pRoute);
}

bool CMapEdit::DeleteSelectedRoute() {
  const bool fAllowed = CanChangeSelectedRoute();
  Route* pRoute = m_pSelectedRoute;
  ClearSelection();
  if (!fAllowed || !m_pStore->DeleteRoute(pRoute))
    return false;
  // The edited route, and waypoints made only for it, are gone.
  Sync();
  return true;
}

bool CMapEdit::DeleteSelectedWaypoint() {
  Waypoint* pWp = GetSelectedWaypoint();
  ClearSelection();
  if (pWp == nullptr || !m_pStore->DeleteWaypoint(pWp))
    return false;
  Sync();
  return true;
}

bool CMapEdit::ContinueSelectedRoute() {
  const bool fAllowed = CanContinueSelectedRoute();
  Route* pRoute = m_pSelectedRoute;
  ClearSelection();
  if (!fAllowed)
    return false;
  m_pEdited = pRoute;
  m_iDragPoint = -1;
  return true;
}

bool CMapEdit::EndEditing() {
  ClearSelection();
  const bool fWas = m_pEdited != nullptr;
  m_pEdited = nullptr;
  m_iDragPoint = -1;
  return fWas;
}

bool CMapEdit::StartMoving() {
  const bool fAllowed = CanMoveWaypoint();
  Waypoint* pWp = m_pSelectedWaypoint;
  ClearSelection();
  if (!fAllowed || pWp == m_pMoving)
    return false;
  m_pMoving = pWp;
  return true;
}

bool CMapEdit::CancelMoving() {
  ClearSelection();
  const bool fWas = m_pMoving != nullptr;
  m_pMoving = nullptr;
  return fWas;
}

// ------------------------------------------------------------ dragging

bool CMapEdit::BeginDrag(const CMapPosition& view, int x, int y, bool fWaypointsShown) {
  Sync();
  m_iDragPoint = -1;
  if (m_pEdited == nullptr || !fWaypointsShown || IsLocked(m_pEdited))
    return false;
  const int iPoint = HitRoutePoint(view, *m_pEdited, x, y);
  if (iPoint < 0)
    return false;
  const Waypoint* pWp = m_pEdited->points[size_t(iPoint)].pWaypoint;
  if (pWp != nullptr && IsWaypointLocked(pWp))
    return false;
  m_iDragPoint = iPoint;
  m_ptDrag = {x, y};
  return true;
}

void CMapEdit::DragTo(int x, int y) {
  if (IsDragging())
    m_ptDrag = {x, y};
}

bool CMapEdit::EndDrag(const CMapPosition& view, int x, int y) {
  if (!IsDragging())
    return false;
  RoutePoint& rp = m_pEdited->points[size_t(m_iDragPoint)];
  m_iDragPoint = -1;
  const MapPoint pt = view.ToMap(x, y);
  const int32_t x2 = Doubled(pt.x), y2 = Doubled(pt.y);
  if (rp.pWaypoint != nullptr) {
    if (IsWaypointLocked(rp.pWaypoint))
      return false;
    MoveWaypoint(rp.pWaypoint, x2, y2);
  } else {
    rp.x = x2;
    rp.y = y2;
    RecomputeRoute(*m_pEdited);
  }
  return true;
}

void CMapEdit::CancelDrag() { m_iDragPoint = -1; }

bool CMapEdit::IsDragging() const {
  Sync();
  return m_pEdited != nullptr && m_iDragPoint >= 0;
}

int CMapEdit::GetDragPoint() const { return IsDragging() ? m_iDragPoint : -1; }

// ------------------------------------------------------------ overlays

void DrawEditedRouteOverlay(platform::CCanvas* pDst, const CMapPosition& view, const CMapEdit& edit) {
  const Route* pRoute = edit.GetEditedRoute();
  if (pDst == nullptr || pRoute == nullptr || edit.IsLocked(pRoute) || pRoute->points.empty())
    return;
  std::vector<VPoint> pts;
  pts.reserve(pRoute->points.size());
  for (const RoutePoint& rp : pRoute->points)
    pts.push_back(view.ToScreenDoubled(rp.GetX(), rp.GetY()));
  const int iDrag = edit.GetDragPoint();
  if (iDrag >= 0 && size_t(iDrag) < pts.size())
    pts[size_t(iDrag)] = edit.GetDragPosition();
  if (pts.size() < 2)
    return;
  platform::CPen penGrey(platform::psSolid, render::PickByDpi(1, 2), c_crEditedRoute);
  platform::CPen penDots(platform::psDot, 1, c_crEditedRouteDots);
  const platform::CPen* pOld = pDst->SelectPen(&penGrey);
  pDst->Polyline(pts.data(), int(pts.size()));
  pDst->SelectPen(&penDots);
  pDst->Polyline(pts.data(), int(pts.size()));
  pDst->SelectPen(pOld);
}

namespace {

void DrawRing(platform::CCanvas* pDst, const CMapPosition& view, const Waypoint& wp, COLORREF cr, int nStyle) {
  const VPoint pt = view.ToScreenDoubled(wp.x, wp.y);
  const int rx = render::ScaleX(12), ry = render::ScaleY(12);
  platform::CPen penHalo(platform::psSolid, render::PickByDpi(3, 5), 0xFFFFFF);
  platform::CPen penRing(nStyle, nStyle == platform::psSolid ? render::PickByDpi(1, 2) : 1, cr);
  const platform::CPen* pOldPen = pDst->SelectPen(&penHalo);
  const platform::CBrush* pOldBrush = pDst->SelectBrush(platform::GetNullBrush());
  pDst->Ellipse(pt.x - rx, pt.y - ry, pt.x + rx + 1, pt.y + ry + 1);
  pDst->SelectPen(&penRing);
  pDst->Ellipse(pt.x - rx, pt.y - ry, pt.x + rx + 1, pt.y + ry + 1);
  pDst->SelectBrush(pOldBrush);
  pDst->SelectPen(pOldPen);
}

}  // namespace

void DrawSelectionOverlay(platform::CCanvas* pDst, const CMapPosition& view, const CMapEdit& edit) {
  if (pDst == nullptr)
    return;
  const Waypoint* pMoving = edit.GetMovingWaypoint();
  if (pMoving != nullptr)
    DrawRing(pDst, view, *pMoving, c_crMovingRing, platform::psDash);
  const Waypoint* pSelected = edit.GetSelectedWaypoint();
  if (pSelected != nullptr && pSelected != pMoving)
    DrawRing(pDst, view, *pSelected, c_crSelectedRing, platform::psSolid);
}

void DrawEditedRouteOverlay(platform::CCanvas* pDst, const CMapPosition& view) {
  DrawEditedRouteOverlay(pDst, view, g_mapEdit);
}

void DrawSelectionOverlay(platform::CCanvas* pDst, const CMapPosition& view) {
  DrawSelectionOverlay(pDst, view, g_mapEdit);
}
