// The map page in the main window: the portable map page driven by the
// window's messages, drawing on GDI, with the shell's message dispatch,
// timers, crash guard and overlays.
#include <algorithm>
#include <cmath>

#include "app/Crash.h"
#include "app/Features.h"
#include "app/Commands.h"
#include "app/GpsGlue.h"
#include "app/MapDialogs.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/StoreDialogs.h"
#include "app/Waypoints.h"
#include "res/Res.h"
#include "app/res/app_ids.h"
#include "settings/SettingsTable.h"
#include "gps/Positioning.h"
#include "gps/VisualTracking.h"
#include "map/MapParser.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "platform/win32/CanvasGdi.h"
#include "render/DrawTypes.h"
#include "render/MapPage.h"
#include "render/overlay/MapEdit.h"
#include "render/overlay/StoreDraw.h"
#include "store/WaypointStore.h"
#include "view/MapUnits.h"

using namespace platform;

namespace {

const UINT_PTR c_idTimerPointer = 17;
const UINT_PTR c_idTimerMapChange = 19;  // a map change waiting for the pass to stop

class CMapPageWin;
CMapPageWin* g_pMapPage = nullptr;

HDC CanvasDc(CCanvas* pCanvas) {
  return pCanvas->Kind() == ckGdi ? static_cast<CGdiCanvas*>(pCanvas)->Hdc() : nullptr;
}

// The position marker: an arrow along the heading (a disc when there is
// none) at the map cursor.
void DrawPositionMarker(CCanvas* pDst, const CMapPosition& view) {
  float lon = 0, lat = 0, heading = 0;
  if (!GetCursor(&lon, &lat, &heading)) return;
  VPoint pt = view.ToScreen(DegreesToMap(lon), DegreesToMap(lat));
  int r = ScaleX(9);
  static CPen s_pen(0, PickByDpi(2, 3), RGB(255, 255, 255));
  static CBrush s_brush(bkSolid, RGB(220, 30, 30));
  const CPen* pOldPen = pDst->SelectPen(&s_pen);
  const CBrush* pOldBrush = pDst->SelectBrush(&s_brush);
  if (heading >= 0 && heading <= 360) {
    double a = (heading - view.GetAngle()) * 3.14159265358979 / 180.0;
    double s = std::sin(a), c = std::cos(a);
    auto at = [&](double dx, double dy) {
      return VPoint{pt.x + int(std::lround(dx * c - dy * s)), pt.y + int(std::lround(dx * s + dy * c))};
    };
    VPoint arrow[4] = {at(0, -r * 1.4), at(r, r), at(0, r * 0.4), at(-r, r)};
    pDst->Polygon(arrow, 4);
  } else {
    pDst->Ellipse(pt.x - r / 2, pt.y - r / 2, pt.x + r / 2, pt.y + r / 2);
  }
  pDst->SelectPen(pOldPen);
  pDst->SelectBrush(pOldBrush);
}

void DrawGpsStatusIcon(CCanvas* pDst, int x, int y) {
  HDC hdc = CanvasDc(pDst);
  HICON hicon = GetGpsIndicatorIconHandle();
  if (hdc && hicon) ::DrawIconEx(hdc, x, y, hicon, ScaleX(16), ScaleY(16), 0, nullptr, DI_NORMAL);
}

struct TrackWalk {
  CDrawContext* pCtx;
};

VPoint TrackToScreen(int32_t x, int32_t y, void* p) { return static_cast<TrackWalk*>(p)->pCtx->ToScreen(x, y); }

bool TrackPolyline(const VPoint* pPoints, int cPoints, void* p) {
  CDrawContext* pCtx = static_cast<TrackWalk*>(p)->pCtx;
  static CPen s_pen(0, PickByDpi(2, 4), RGB(200, 0, 200));
  CCanvas* pCanvas = pCtx->GetCanvas();
  const CPen* pOld = pCanvas->SelectPen(&s_pen);
  pCanvas->Polyline(pPoints, cPoints);
  pCanvas->SelectPen(pOld);
  pCtx->Yield();
  return !pCtx->IsInterrupted();
}

void DrawTrackLayer(CDrawContext& ctx) {
  if (!GetSettingBool(setting::ShowTrack) || !VisualTracking::IsOpen()) return;
  TrackWalk walk{&ctx};
  VisualTracking::WalkTrackLog(ctx.GetCanvas()->Width(), ctx.GetCanvas()->Height(), TrackToScreen,
                               TrackPolyline, &walk);
}

// The time stamp of records made on the map: the fix's time, else the clock.
double CurrentTimeDays() {
  GpsFix fix = GetFix();
  if (fix.Has(gfTime) && fix.time != 0) return fix.time;
  CSystemTime st;
  GetSystemTimeUtc(st);
  return SystemTimeToDays(st);
}

// The map object under a screen point (within a few pixels), with every
// field the reader can give: a point object before a line, a line before
// an area, so that an icon inside a park or a street through a town is
// what the pointer finds; the nearest of the kind.
bool HitMapObject(const CMapPosition& view, int x, int y, FoundObject& obj) {
  obj = FoundObject{};  // readers fill only the fields they have
  if (!g_pMapParser) return false;
  const MapPoint pt = view.ToMap(x, y);
  const MapPoint ptEdge = view.ToMap(x + ScaleX(c_nWaypointHitTolerance), y);
  const double fDx = double(ptEdge.x) - pt.x, fDy = double(ptEdge.y) - pt.y;
  const uint32_t nRadius = uint32_t(std::max(1.0, MapToMetres(std::sqrt(fDx * fDx + fDy * fDy))));
  CMapQuery* pQuery = g_pMapParser->FindNearest(uint32_t(view.GetScale()), true, pt, nRadius, nullptr, nullptr, nullptr);
  if (!pQuery) return false;
  pQuery->SetReference(pt);
  const uint32_t dwAll = c_fofName | c_fofCity | c_fofZip | c_fofStreet | c_fofNumber | c_fofMapFile | c_fofReprPoint |
                         c_fofNearestPoint | c_fofScale;
  const uint32_t cItems = pQuery->GetCount();
  uint32_t iBest = cItems;
  int nBestKind = 0;
  for (uint32_t i = 0; i < cItems; ++i) {  // nearest first: the first of a kind is its nearest
    FoundObject item = {};
    if (!pQuery->GetItem(i, &item, c_fofScale)) continue;
    if (iBest == cItems || item.nKind < nBestKind) {
      iBest = i;
      nBestKind = item.nKind;
      if (nBestKind == rkPoint) break;  // points come first
    }
  }
  bool fHit = iBest < cItems && pQuery->GetItem(iBest, &obj, dwAll);
  delete pQuery;
  return fHit;
}

void EnableItem(HMENU hMenu, UINT id, bool fEnable) {
  ::EnableMenuItem(hMenu, id, MF_BYCOMMAND | (fEnable ? MF_ENABLED : MF_GRAYED));
}

// After a change of the store: written at once, a failure reported with the path.
void SaveStoreAfterEdit() {
  if (SaveWaypointStore()) return;
  ShellMessageBox(WaypointStorePath().c_str(), MB_OK | MB_ICONERROR);
}

class CMapPageWin : public Page, public CMapPageHost {
 public:
  CMapPageWin() : m_page(this) {}

  bool Create() override {
    g_pMapPage = this;
    m_page.Create(g_cxClient, g_cyClient);
    MapOverlays overlays;
    overlays.pfnActiveRoute = DrawEditedRouteOverlay;
    overlays.pfnSelectedWaypoint = DrawSelectionOverlay;
    overlays.pfnPositionMarker = DrawPositionMarker;
    overlays.pfnGpsStatusIcon = DrawGpsStatusIcon;
    m_page.SetOverlays(overlays);
    MapLayers layers;
    layers.pfnDrawTrack = DrawTrackLayer;
    layers.pfnDrawRoutes = DrawRoutesLayer;
    layers.pfnDrawWaypoints = DrawWaypointsLayer;
    m_page.GetRenderer().SetLayers(layers);
    return true;
  }
  void Destroy() override {
    m_page.Destroy();
    m_page.CloseMap();
    g_pMapPage = nullptr;
  }
  bool IsMapPage() override { return true; }
  void OnSize() override { m_page.OnSize(g_cxClient, g_cyClient); }
  void OnPaint(HDC hdc) override {
    CGdiCanvas canvas(hdc, g_cxClient, g_cyClient);
    m_page.OnPaint(&canvas);
  }
  void OnDown(int x, int y) override {
    m_ptPointer = {x, y};
    if (!m_page.IsGaugeMode() &&
        g_mapEdit.BeginDrag(m_page.GetView(), x, y, GetSettingBool(setting::ShowWaypoints))) {
      platform::DebugOutput(u"CMapPage::OnDown ().\n");
      ::SetCapture(g_hWnd);
      return;
    }
    m_page.OnDown(x, y);
  }
  void OnMove(int x, int y) override {
    if (g_mapEdit.IsDragging()) {
      g_mapEdit.DragTo(x, y);
      Redraw();
      return;
    }
    if (::GetCapture() == g_hWnd) m_ptPointer = {x, y};
    m_page.OnMove(x, y);
  }
  void OnUp(int x, int y) override {
    if (g_mapEdit.IsDragging()) {
      platform::DebugOutput(u"CMapPage::OnUp ().\n");
      ::ReleaseCapture();
      if (g_mapEdit.EndDrag(m_page.GetView(), x, y)) {
        SaveStoreAfterEdit();
        m_page.RefreshMap(true);
      }
      Redraw();
      return;
    }
    if (!m_page.OnUp(x, y)) return;
    // A tap selects the waypoint or route under the pointer.
    Waypoint* pOldWaypoint = g_mapEdit.GetSelectedWaypoint();
    Route* pOldRoute = g_mapEdit.GetSelectedRoute();
    if (!g_mapEdit.SelectAt(m_page.GetView(), x, y, GetSettingBool(setting::ShowWaypoints),
                            GetSettingBool(setting::ShowRoutes)))
      g_mapEdit.ClearSelection();
    if (pOldWaypoint != g_mapEdit.GetSelectedWaypoint() || pOldRoute != g_mapEdit.GetSelectedRoute()) Redraw();
  }
  void Deactivate() override {
    if (g_mapEdit.IsDragging()) g_mapEdit.CancelDrag();
    if (::GetCapture() == g_hWnd) ::ReleaseCapture();
  }
  void OnDoubleClick(int x, int y) override {
    m_ptPointer = {x, y};
    FoundObject obj;
    if (g_mapEdit.SelectAt(m_page.GetView(), x, y, GetSettingBool(setting::ShowWaypoints),
                           GetSettingBool(setting::ShowRoutes)) ||
        HitMapObject(m_page.GetView(), x, y, obj))
      OnCommand(40121);
  }
  void OnContextMenu(int x, int y) override;
  void OnTimer(UINT_PTR id) override {
    if (id == c_idTimerPointer) m_page.OnTimer17();
    if (id == c_idTimerMapChange) RunPendingMapChange(true);
  }
  bool CanZoomIn() override { return m_page.CanZoomIn(); }
  bool CanZoomOut() override { return m_page.CanZoomOut(); }
  void ZoomIn() override { m_page.ZoomIn(); }
  void ZoomOut() override { m_page.ZoomOut(); }
  void ToggleGaugeMode() override { m_page.ToggleGaugeMode(); }
  void RefreshMap(bool fFull) override { m_page.RefreshMap(fFull); }
  void OnCursorChanged(const MapCursor& cursor) override {
    m_page.OnCursorChanged(cursor.fPosition, cursor.fLon, cursor.fLat, cursor.fHeading);
  }
  void OnPositionChanged(const GpsFix&) override { Redraw(); }
  void OnStatusChanged() override { Redraw(); }
  void OnOptionsChanged(bool fMapChanged, bool fUnitsChanged) override {
    m_page.OnOptionsChanged(fMapChanged, fUnitsChanged);
  }
  bool OnCommand(UINT id) override;

  // The map reader is on the call stack while a pass yields to messages,
  // so a map opened or closed from a handler inside the pass waits until
  // the pass has stopped.
  void OpenMap(const char16_t* pszPath, bool fCollection) {
    m_strPendingPath = pszPath;
    m_fPendingCollection = fCollection;
    m_fPendingClose = false;
    RunPendingMapChange();
  }
  void CloseMap() {
    m_strPendingPath.clear();
    m_fPendingClose = true;
    RunPendingMapChange();
  }
  CMapPosition& View() { return m_page.GetView(); }
  bool IsDrawing() const { return const_cast<CMapPage&>(m_page).GetRenderer().IsDrawing(); }
  void StopDrawing() { m_page.GetRenderer().RequestStop(); }

  // What the shell does for the map page.
  void DispatchPendingMessages(CDrawContext& ctx) override {
    MSG msg;
    while (!ctx.IsInterrupted() && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        ::PostQuitMessage(int(msg.wParam));
        ctx.SetStop();
        break;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  void Redraw() override {
    if (CurrentPage() == this) ::Redraw();
  }
  bool RunGuarded(void (*pfn)(void*), void* p, std::u16string& strReport) override {
    char16_t sz[1024];
    // Test hook: each guarded map drawing faults before the reader runs.
    struct GuardedCall {
      void (*pfn)(void*);
      void* p;
    } call = {pfn, p};
    auto run = [](void* pv) {
      TestCrashIfAsked("mappass", nullptr);
      GuardedCall* pCall = static_cast<GuardedCall*>(pv);
      pCall->pfn(pCall->p);
    };
    if (RunWithFaultRecovery(run, &call, u"CMapPage::RefreshMap", sz, 1024)) return true;
    strReport = sz;
    return false;
  }
  void ShowMessage(const char16_t* pszText) override { ShellMessageBox(pszText, MB_OK | MB_ICONERROR); }
  uint32_t GetTickMs() override { return ::GetTickCount(); }
  void SetPointerTimer(uint32_t dwMs) override { ::SetTimer(g_hWnd, c_idTimerPointer, dwMs, nullptr); }
  void KillPointerTimer() override { ::KillTimer(g_hWnd, c_idTimerPointer); }
  void SetPointerCapture(bool fCapture) override {
    if (fCapture) ::SetCapture(g_hWnd);
    else ::ReleaseCapture();
  }
  void UpdateMenu() override { UpdateMenuState(); }

 private:
  MapPoint PointerOnMap() { return m_page.GetView().ToMap(m_ptPointer.x, m_ptPointer.y); }
  // After a command that changed the store: save it and draw again.
  void StoreChanged() {
    SaveStoreAfterEdit();
    m_page.RefreshMap(true);
  }

  // fDeferred: run from the timer, after the callers' own refresh was lost
  // with the stopped pass.
  void RunPendingMapChange(bool fDeferred = false) {
    if (IsDrawing()) {
      StopDrawing();
      ::SetTimer(g_hWnd, c_idTimerMapChange, 10, nullptr);
      return;
    }
    ::KillTimer(g_hWnd, c_idTimerMapChange);
    if (m_fPendingClose) {
      m_fPendingClose = false;
      m_page.CloseMap();
      SetString(setting::MapFileName.pszName, u"");
      UpdateMenuState();
    } else if (!m_strPendingPath.empty()) {
      std::u16string strPath;
      strPath.swap(m_strPendingPath);
      m_page.OpenMap(strPath.c_str(), m_fPendingCollection);
    } else {
      return;
    }
    for (Page* p : g_apPages)
      if (p && p != static_cast<Page*>(this)) p->OnMapChanged();
    if (fDeferred) RefreshAllPages(true);
  }

  CMapPage m_page;
  VPoint m_ptPointer = {0, 0};  // the last pointer position: "the point under the pointer"
  std::u16string m_strPendingPath;
  bool m_fPendingCollection = false;
  bool m_fPendingClose = false;
};

void CMapPageWin::OnContextMenu(int x, int y) {
  m_ptPointer = {x, y};
  const CMapPosition& view = m_page.GetView();
  UINT idMenu = 0;
  int iGauge = m_page.IsGaugeMode() ? m_page.GetSelectedGauge() : m_page.GaugeCellAt(x, y);
  bool fMapObject = false;
  if (iGauge >= 0 || m_page.IsGaugeMode()) {
    idMenu = IDM_GAUGE_CONTEXT;
  } else {
    FoundObject obj;
    fMapObject = HitMapObject(view, x, y, obj);
    if (!g_mapEdit.SelectAt(view, x, y, GetSettingBool(setting::ShowWaypoints), GetSettingBool(setting::ShowRoutes)))
      g_mapEdit.ClearSelection();
    idMenu = g_mapEdit.ChooseContextMenu();
    Redraw();  // the selection ring
  }
  HMENU hMenu = ResLoadMenu(idMenu);
  if (!hMenu) return;
  HMENU hPopup = ::GetSubMenu(hMenu, 0);
  switch (idMenu) {
    case IDM_GAUGE_CONTEXT:
      // The gauges and their selection dialog are not part of this build.
      for (UINT id : {40016u, 40025u, 40021u, 40017u}) EnableItem(hPopup, id, false);
      break;
    case IDM_WAYPOINT_CONTEXT:
      EnableItem(hPopup, 40014, false);  // guidance is not part of this build
      EnableItem(hPopup, 40146, g_mapEdit.CanStartRoute());
      EnableItem(hPopup, 40143, g_mapEdit.CanAppend());
      EnableItem(hPopup, 40144, g_mapEdit.CanRemoveFromRoute());
      EnableItem(hPopup, 40148, g_mapEdit.CanMoveWaypoint());
      EnableItem(hPopup, 40122, !g_mapEdit.IsWaypointLocked(g_mapEdit.GetSelectedWaypoint()));
      ::SetMenuDefaultItem(hPopup, 40121, FALSE);
      break;
    case IDM_ROUTE_CONTEXT: {
      bool fChange = g_mapEdit.CanChangeSelectedRoute();
      EnableItem(hPopup, 40130, false);  // guidance and the router are not part of this build
      EnableItem(hPopup, 40159, false);
      EnableItem(hPopup, 40151, fChange);
      EnableItem(hPopup, 40147, g_mapEdit.CanContinueSelectedRoute());
      EnableItem(hPopup, 40139, fChange);
      EnableItem(hPopup, 40141, fChange);
      EnableItem(hPopup, 40121, fChange);
      ::SetMenuDefaultItem(hPopup, 40121, FALSE);
      break;
    }
    case IDM_EDIT_ROUTE_CONTEXT:
      EnableItem(hPopup, 40143, g_mapEdit.CanAppend());
      break;
    case IDM_MOVE_POINT_CONTEXT:
      EnableItem(hPopup, 40150, g_mapEdit.CanMoveHere());
      break;
    default:
      EnableItem(hPopup, 40014, false);
      EnableItem(hPopup, 40146, g_mapEdit.CanStartRoute());
      ::CheckMenuItem(hPopup, 40023, MF_BYCOMMAND | (GetSettingBool(setting::ShowMapGauges) ? MF_CHECKED : MF_UNCHECKED));
      EnableItem(hPopup, 40121, fMapObject);
      break;
  }
  POINT pt = {x, y};
  if (idMenu == IDM_GAUGE_CONTEXT && m_page.IsGaugeMode() && iGauge >= 0) {
    // In gauge-selection mode the menu opens at the selected cell's centre.
    VRect rc = m_page.GaugeCellRect(iGauge);
    pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  }
  ::ClientToScreen(g_hWnd, &pt);
  UINT id = UINT(::TrackPopupMenu(hPopup, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, g_hWnd, nullptr));
  ::DestroyMenu(hMenu);
  if (id == 0) {
    if (g_mapEdit.GetSelectedWaypoint() || g_mapEdit.GetSelectedRoute()) {
      g_mapEdit.ClearSelection();
      Redraw();
    }
    return;
  }
  ::SendMessageW(g_hWnd, WM_COMMAND, id, 0);
}

bool CMapPageWin::OnCommand(UINT id) {
  const MapPoint ptMap = PointerOnMap();
  switch (id) {
    case 40004: m_page.RefreshMap(true); return true;
    case 40005: m_page.PanBy(20, 0); return true;
    case 40006: m_page.PanBy(-20, 0); return true;
    case 40007: m_page.PanBy(0, 20); return true;
    case 40008: m_page.PanBy(0, -20); return true;
    case 40023: m_page.OnGaugesToggled(); return true;
    case 40019:
      if (NewWaypointAt(MapToDegrees(ptMap.x), MapToDegrees(ptMap.y))) m_page.RefreshMap(true);
      return true;
    case 40121: {
      Waypoint* pWaypoint = g_mapEdit.GetSelectedWaypoint();
      Route* pRoute = g_mapEdit.GetSelectedRoute();
      g_mapEdit.ClearSelection();
      if (pWaypoint) {
        if (ShowWaypointProperties(g_hWnd, pWaypoint)) StoreChanged();
      } else if (pRoute) {
        if (ShowRouteProperties(g_hWnd, pRoute)) StoreChanged();
      } else {
        FoundObject obj;
        if (HitMapObject(m_page.GetView(), m_ptPointer.x, m_ptPointer.y, obj)) ShowObjectInfo(g_hWnd, obj);
      }
      Redraw();
      return true;
    }
    case 40122: {
      Waypoint* pWaypoint = g_mapEdit.GetSelectedWaypoint();
      g_mapEdit.ClearSelection();
      if (pWaypoint && !g_mapEdit.IsWaypointLocked(pWaypoint) && AskDeleteWaypoint(g_hWnd, pWaypoint)) {
        if (g_mapEdit.GetMovingWaypoint() == pWaypoint) g_mapEdit.CancelMoving();
        StoreChanged();
      }
      Redraw();
      return true;
    }
    case 40139:
      if (g_mapEdit.ReverseSelectedRoute()) StoreChanged();
      Redraw();
      return true;
    case 40141:
      if (g_mapEdit.DeleteSelectedRoute()) StoreChanged();
      Redraw();
      return true;
    case 40143:
      if (g_mapEdit.AppendToRoute(ptMap, CurrentTimeDays())) StoreChanged();
      Redraw();
      return true;
    case 40144:
      if (g_mapEdit.RemoveFromRoute()) StoreChanged();
      Redraw();
      return true;
    case 40145:
      g_mapEdit.EndEditing();
      Redraw();
      return true;
    case 40146:
      if (g_mapEdit.StartRoute(ptMap, CurrentTimeDays())) StoreChanged();
      Redraw();
      return true;
    case 40147:
      g_mapEdit.ContinueSelectedRoute();
      Redraw();
      return true;
    case 40148:
      g_mapEdit.StartMoving();
      Redraw();
      return true;
    case 40149:
      g_mapEdit.CancelMoving();
      Redraw();
      return true;
    case 40150:
      if (g_mapEdit.MoveHere(ptMap)) StoreChanged();
      Redraw();
      return true;
    case 40151:
      if (g_mapEdit.InsertPoint(ptMap, CurrentTimeDays())) StoreChanged();
      Redraw();
      return true;
  }
  return false;
}

}  // namespace

Page* CreateMapPage() { return new CMapPageWin; }

void OpenMapFromPath(const char16_t* pszPath, bool fAtlas) {
  if (!pszPath || !*pszPath || !g_pMapPage) return;
  g_pMapPage->OpenMap(pszPath, fAtlas);
}

bool IsOpenMapCollection(const char16_t* pszFolder) {
  if (!g_pMapParser || !GetSettingBool(setting::MapIsAtlas)) return false;
  char16_t sz[1024];
  GetSettingString(setting::MapFileName, sz);
  return StrCmpI(sz, pszFolder) == 0;
}

void CloseCurrentMap() {
  if (g_pMapPage) g_pMapPage->CloseMap();
}

bool IsMapOpen() { return g_pMapParser != nullptr; }

bool GetMapCentreDegrees(double& dLon, double& dLat) {
  if (!g_pMapPage) return false;
  const CMapPosition& view = g_pMapPage->View();
  dLon = MapToDegrees(view.GetCentreX());
  dLat = MapToDegrees(view.GetCentreY());
  return true;
}
CMapPosition* GetMapView() { return g_pMapPage ? &g_pMapPage->View() : nullptr; }
bool IsDrawingPassRunning() { return g_pMapPage && g_pMapPage->IsDrawing(); }
void StopDrawingPass() {
  if (g_pMapPage) g_pMapPage->StopDrawing();
}
void ApplyNightMode() { UpdateNightMode(); }
