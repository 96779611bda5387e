#include "render/overlay/StoreDraw.h"

#include <vector>

#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "platform/Canvas.h"
#include "render/DrawTypes.h"
#include "render/LabelGen.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "render/overlay/SymbolIcons.h"
#include "store/WaypointStore.h"

namespace {

// Draw every this many records before yielding.
const unsigned c_cYieldEvery = 64;
ActiveRouteStartFn g_pfnActiveRouteStart = nullptr;

bool RouteMeetsView(const Route& route, const MapRect& rcView) {
  // rcBounds is in map units with top ≤ bottom, as the visible rectangle.
  const MapRect rc = {route.rcBounds.left, route.rcBounds.top, route.rcBounds.right, route.rcBounds.bottom};
  return rcView.Intersects(rc);
}

// The route's points on screen (stored coordinates are doubled map units).
void RouteToScreen(CDrawContext& ctx, const Route& route, size_t iFirst, std::vector<VPoint>& out) {
  out.clear();
  for (size_t i = iFirst; i < route.points.size(); ++i)
    out.push_back(ctx.ToScreen(route.points[i].GetX() >> 1, route.points[i].GetY() >> 1));
}

void DrawStoredRoute(CDrawContext& ctx, platform::CCanvas* pCanvas, const Route& route, std::vector<VPoint>& pts) {
  RouteToScreen(ctx, route, 0, pts);
  if (pts.size() < 2)
    return;
  platform::CPen pen(platform::psSolid, render::PickByDpi(5, 9), route.crColor & 0xFFFFFF);
  const platform::CPen* pOld = pCanvas->SelectPen(&pen);
  pCanvas->Polyline(pts.data(), int(pts.size()));
  pCanvas->SelectPen(pOld);
  ctx.DrawDirectionArrows(pts.data(), pts.size());
}

void DrawActiveRoute(CDrawContext& ctx, platform::CCanvas* pCanvas, const Route& route, std::vector<VPoint>& pts) {
  // From the guidance target to the end: the part still ahead.
  size_t iFirst = g_pfnActiveRouteStart != nullptr ? g_pfnActiveRouteStart() : 0;
  if (iFirst >= route.points.size())
    iFirst = route.points.empty() ? 0 : route.points.size() - 1;
  RouteToScreen(ctx, route, iFirst, pts);
  if (pts.empty())
    return;
  if (pts.size() >= 2) {
    platform::CPen penOuter(platform::psSolid, render::PickByDpi(9, 17), c_crActiveRouteOuter);
    platform::CPen penInner(platform::psSolid, render::PickByDpi(5, 9), c_crActiveRouteInner);
    const platform::CPen* pOld = pCanvas->SelectPen(&penOuter);
    pCanvas->Polyline(pts.data(), int(pts.size()));
    pCanvas->SelectPen(&penInner);
    pCanvas->Polyline(pts.data(), int(pts.size()));
    pCanvas->SelectPen(pOld);
  }
  const platform::CIcon* pKeep = GetPointIcon(c_wKeepPointType);
  if (pKeep != nullptr) {
    for (size_t i = iFirst; i < route.points.size(); ++i) {
      if ((route.points[i].btKind & rpkKeep) == 0)
        continue;
      const VPoint& pt = pts[i - iFirst];
      pCanvas->DrawIcon(pKeep, pt.x - pKeep->m_cx / 2, pt.y - pKeep->m_cy / 2, pKeep->m_cx, pKeep->m_cy);
    }
  }
  ctx.DrawDirectionArrows(pts.data(), pts.size());
}

// Without its icon (resources missing) a waypoint gets a filled circle with
// a dark rim, centred on it.
void DrawWaypointMarker(platform::CCanvas* pCanvas, int x, int y) {
  const int r = render::ScaleX(4);
  platform::CPen pen(platform::psSolid, render::PickByDpi(1, 2), c_crWaypointMarkerEdge);
  platform::CBrush brush(platform::bkSolid, c_crWaypointMarker);
  const platform::CPen* pOldPen = pCanvas->SelectPen(&pen);
  const platform::CBrush* pOldBrush = pCanvas->SelectBrush(&brush);
  pCanvas->Ellipse(x - r, y - r, x + r + 1, y + r + 1);
  pCanvas->SelectBrush(pOldBrush);
  pCanvas->SelectPen(pOldPen);
}

// The icon of the waypoint's symbol at its screen point.
void DrawWaypointIcon(platform::CCanvas* pCanvas, const Waypoint& wp, int x, int y) {
  int dx = 0, dy = 0, cx = 0, cy = 0;
  const platform::CIcon* pIcon = GetWaypointIcon(wp.GetType(), &dx, &dy, &cx, &cy);
  if (pIcon != nullptr)
    pCanvas->DrawIcon(pIcon, x - dx, y - dy, cx, cy);
  else
    DrawWaypointMarker(pCanvas, x, y);
}

}  // namespace

void SetActiveRouteStartSource(ActiveRouteStartFn pfn) { g_pfnActiveRouteStart = pfn; }

void DrawRoutesLayer(CDrawContext& ctx) {
  platform::CCanvas* pCanvas = ctx.GetCanvas();
  if (pCanvas == nullptr || !GetSettingBool(setting::ShowRoutes))
    return;
  const MapRect rcView = ctx.GetVisibleRect();
  const Route* pActive = g_waypointStore.ActiveRoute();
  std::vector<VPoint> pts;
  unsigned cDrawn = 0;
  for (const Route* pRoute = g_waypointStore.FirstRoute(); pRoute != nullptr; pRoute = pRoute->pNext) {
    if (pRoute->IsDeleted() || pRoute == pActive || pRoute->IsEmpty())
      continue;
    if (!RouteMeetsView(*pRoute, rcView))
      continue;
    if (cDrawn++ % c_cYieldEvery == 0 || pRoute->points.size() > c_cYieldEvery) {
      ctx.Yield();
      if (ctx.IsInterrupted())
        return;
    }
    DrawStoredRoute(ctx, pCanvas, *pRoute, pts);
  }
  // The active route last, over the others.
  if (pActive != nullptr && !pActive->IsDeleted() && !pActive->IsEmpty() && RouteMeetsView(*pActive, rcView)) {
    ctx.Yield();
    if (ctx.IsInterrupted())
      return;
    DrawActiveRoute(ctx, pCanvas, *pActive, pts);
  }
}

void DrawWaypointsLayer(CDrawContext& ctx, CLabelGen& labels) {
  platform::CCanvas* pCanvas = ctx.GetCanvas();
  if (pCanvas == nullptr || !GetSettingBool(setting::ShowWaypoints))
    return;
  const MapRect rcView = ctx.GetVisibleRect();
  // The label starts right of the marker, a little above the waypoint.
  const int dxLabel = render::ScaleX(6), dyLabel = render::ScaleY(6);
  unsigned cSeen = 0;
  for (const Waypoint* pWp = g_waypointStore.FirstWaypoint(); pWp != nullptr; pWp = pWp->pNext) {
    if (cSeen++ % c_cYieldEvery == 0) {
      ctx.Yield();
      if (ctx.IsInterrupted())
        return;
    }
    if (pWp->IsDeleted())
      continue;
    const unsigned nShow = pWp->GetShow();
    if (nShow > wsIconAndDesc)
      continue;  // no such show mode: hidden
    const int32_t xMap = pWp->x >> 1, yMap = pWp->y >> 1;
    if (!rcView.Contains(xMap, yMap))
      continue;
    const VPoint pt = ctx.ToScreen(xMap, yMap);
    DrawWaypointIcon(pCanvas, *pWp, pt.x, pt.y);
    const std::u16string* pText = nShow == wsIconAndName ? &pWp->strName
                                  : nShow == wsIconAndDesc ? &pWp->strDescription
                                                           : nullptr;
    if (pText != nullptr && !pText->empty())
      labels.AddWaypointLabel(pt.x + dxLabel, pt.y - dyLabel, pText->data(), pText->size());
  }
}
