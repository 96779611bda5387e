// The map page in the main window: the portable map page driven by the
// window's messages, drawing on GDI, with the shell's message dispatch,
// timers, crash guard and overlays.
#include "app/NavigationGlue.h"
#include "navigation/Guidance.h"
#include "navigation/GuidanceDraw.h"
#include <algorithm>
#include <cmath>

#include "app/Crash.h"
#include "app/Features.h"
#include "app/CommandTable.h"
#include "app/GpsGlue.h"
#include "app/MapDialogs.h"
#include "app/OwnerMenus.h"
#include "app/ResWin.h"
#include "app/RouteCommands.h"
#include "app/Shell.h"
#include "app/StoreDialogs.h"
#include "app/Waypoints.h"
#include "res/Res.h"
#include "app/res/app_ids.h"
#include "settings/SettingsTable.h"
#include "gps/Positioning.h"
#include "map/MapParser.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "platform/win32/CanvasGdi.h"
#include "app/GaugeGlue.h"
#include "gauges/Gauge.h"
#include "gauges/GaugeSources.h"
#include "render/DrawTypes.h"
#include "render/MapObjects.h"
#include "render/MapPage.h"
#include "render/overlay/MapEdit.h"
#include "render/overlay/StoreDraw.h"
#include "render/TrackLayer.h"
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

void DrawGpsStatusIcon(CCanvas* pDst, int x, int y) {
  HDC hdc = CanvasDc(pDst);
  HICON hicon = GetGpsIndicatorIconHandle();
  if (hdc && hicon) ::DrawIconEx(hdc, x, y, hicon, ScaleX(16), ScaleY(16), 0, nullptr, DI_NORMAL);
}

// Guidance on the map: the pointer line from the position to the target
// ("ShowBearing") and the maneuver display in the top right corner.
void DrawGuidanceOverlay(CCanvas* pDst, const CMapPosition& view) {
  CGuidance& guidance = GetGuidance();
  if (!guidance.IsRunning()) return;
  const bool fDense = ScaleX(1) > 1;
  MapCursor cursor = GetPositionHub().GetCursor();
  int32_t x = 0, y = 0;
  if (cursor.fPosition && GetSettingBool(setting::ShowBearing) && guidance.GetPointerTarget(x, y))
    DrawPointerLine(pDst, view, cursor.fLon, cursor.fLat, x, y, fDense);
  guidance.TakeManeuverChanged();
  const int cx = ScaleX(100), cy = ScaleY(112);
  // In the map area's corner: beside the column of map gauges of a wide
  // window, not under it.
  const int xRight = GetMapArea(pDst->Width(), pDst->Height(), GetSettingBool(setting::ShowMapGauges)).right;
  VRect rc{xRight - cx - ScaleX(4), ScaleY(4), xRight - ScaleX(4), ScaleY(4) + cy};
  DrawManeuverDisplay(pDst, rc, guidance.State(), fDense);
}

// The time stamp of records made on the map: the fix's time, else the clock.
double CurrentTimeDays() {
  GpsFix fix = GetFix();
  if (fix.Has(gfTime) && fix.time != 0) return fix.time;
  CSystemTime st;
  GetSystemTimeUtc(st);
  return SystemTimeToDays(st);
}

// The map object under a screen point, within about an icon's size.
bool HitMapObjectAt(const CMapPosition& view, int x, int y, FoundObject& obj) {
  return HitMapObject(g_pMapParser, view, x, y, ScaleX(c_nWaypointHitTolerance), obj);
}

// The map cursor as the position stream has it now (the page is told of
// every change while it is shown; this is for when it is shown again).
CursorMark ReadCursor() {
  MapCursor cursor = GetPositionHub().GetCursor();
  return CursorMark{cursor.fPosition, cursor.fLon, cursor.fLat, cursor.fHeading};
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
    overlays.pfnGpsStatusIcon = DrawGpsStatusIcon;
    overlays.pfnGaugeCell = DrawMapGaugeCell;
    overlays.pfnPositionMarker = DrawGuidanceOverlay;
    m_page.SetOverlays(overlays);
    LoadMapGauges(g_cxClient < g_cyClient);
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
  void Activate() override { m_page.SetCursor(ReadCursor()); }
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
        HitMapObjectAt(m_page.GetView(), x, y, obj))
      ShowProperties();
  }
  void OnContextMenu(int x, int y) override;
  void OnTimer(UINT_PTR id) override {
    if (id == c_idTimerPointer) m_page.OnPointerRested();
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
  // The map's gauges refresh every 2 seconds.
  void OnPeriodic() override {
    if (GetSettingBool(setting::ShowMapGauges)) Redraw();
  }
  bool OnCommand(UINT id) override;
  void OnStatusChanged() override { Redraw(); }
  void OnOptionsChanged(bool fMapChanged, bool fUnitsChanged) override {
    m_page.OnOptionsChanged(fMapChanged, fUnitsChanged);
  }

  // The map page's commands (the command table's handlers call them).
  void RedrawMap() { m_page.RefreshMap(true); }
  void Pan(unsigned id);
  void ToggleMapGauges() { m_page.OnGaugesToggled(); }
  void NewWaypointHere();
  void ShowProperties();
  void DeleteWaypoint();
  void ReverseRoute();
  void DeleteRoute();
  void AppendToRoute();
  void RemoveFromRoute();
  void EndEditing();
  void StartRoute();
  void ContinueRoute();
  void MoveWaypoint();
  void CancelMoving();
  void MoveHere();
  void InsertIntoRoute();
  void RecalculateRoute();

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
  CMapPage& Core() { return m_page; }
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
  bool ArePortsOpen() override { return ::ArePortsOpen(); }
  uint32_t GetTickMs() override { return ::GetTickCount(); }
  void SetPointerTimer(uint32_t dwMs) override { ::SetTimer(g_hWnd, c_idTimerPointer, dwMs, nullptr); }
  void KillPointerTimer() override { ::KillTimer(g_hWnd, c_idTimerPointer); }
  void SetPointerCapture(bool fCapture) override {
    if (fCapture) ::SetCapture(g_hWnd);
    else ::ReleaseCapture();
  }
  void UpdateMenu() override { UpdateMenuState(); }
  // The map point under the pointer (where the context menu was opened).
  MapPoint PointerOnMap() { return m_page.GetView().ToMap(m_ptPointer.x, m_ptPointer.y); }

 private:
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
  int m_iMenuGauge = -1;  // the gauge slot of the last gauge menu
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
  m_iMenuGauge = iGauge;
  if (iGauge >= 0 || m_page.IsGaugeMode()) {
    idMenu = IDM_GAUGE_CONTEXT;
    SetGaugeUnderMenu(GetMapGauge(iGauge));
  } else {
    FoundObject obj;
    fMapObject = HitMapObjectAt(view, x, y, obj);
    if (!g_mapEdit.SelectAt(view, x, y, GetSettingBool(setting::ShowWaypoints), GetSettingBool(setting::ShowRoutes)))
      g_mapEdit.ClearSelection();
    idMenu = g_mapEdit.ChooseContextMenu();
    Redraw();  // the selection ring
  }
  HMENU hMenu = ResLoadMenu(idMenu);
  if (!hMenu) return;
  HMENU hPopup = ::GetSubMenu(hMenu, 0);
  MakeMenuOwnerDrawn(hPopup, false);
  ApplyCommandRules(hPopup, CurrentMenuState(fMapObject));
  if (idMenu == IDM_WAYPOINT_CONTEXT || idMenu == IDM_ROUTE_CONTEXT) ::SetMenuDefaultItem(hPopup, cmdProperties, FALSE);
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
  switch (id) {
    case cmdChooseGauge:
      if (m_iMenuGauge >= 0) {
        VRect rc = m_page.GaugeCellRect(m_iMenuGauge);
        POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        ::ClientToScreen(g_hWnd, &pt);
        if (GaugeDesc* p = ChooseGauge(pt.x, pt.y, GetMapGauge(m_iMenuGauge))) SetMapGauge(m_iMenuGauge, p);
      }
      break;
    case cmdDefaultGauges:
      if (AskRestoreDefaultGauges()) RestoreDefaultMapGauges(g_cxClient < g_cyClient);
      break;
    case cmdResetAllGauges: AskAndResetAllGauges(); break;
    case cmdResetGauge:
      if (GaugeDesc* p = GetMapGauge(m_iMenuGauge))
        if (p->fResettable) p->pGauge->Reset();
      break;
    default: return false;
  }
  SetGaugeUnderMenu(nullptr);
  Redraw();
  return true;
}

void CMapPageWin::Pan(unsigned id) {
  switch (id) {
    case cmdPanRight: m_page.PanBy(20, 0); break;
    case cmdPanLeft: m_page.PanBy(-20, 0); break;
    case cmdPanDown: m_page.PanBy(0, 20); break;
    case cmdPanUp: m_page.PanBy(0, -20); break;
  }
}

void CMapPageWin::NewWaypointHere() {
  const MapPoint ptMap = PointerOnMap();
  if (NewWaypointAt(MapToDegrees(ptMap.x), MapToDegrees(ptMap.y))) m_page.RefreshMap(true);
}

void CMapPageWin::ShowProperties() {
  Waypoint* pWaypoint = g_mapEdit.GetSelectedWaypoint();
  Route* pRoute = g_mapEdit.GetSelectedRoute();
  g_mapEdit.ClearSelection();
  if (pWaypoint) {
    if (ShowWaypointProperties(g_hWnd, pWaypoint)) StoreChanged();
  } else if (pRoute) {
    if (ShowRouteProperties(g_hWnd, pRoute)) StoreChanged();
  } else {
    FoundObject obj;
    if (HitMapObjectAt(m_page.GetView(), m_ptPointer.x, m_ptPointer.y, obj)) ShowObjectInfo(g_hWnd, obj);
  }
  Redraw();
}

void CMapPageWin::DeleteWaypoint() {
  Waypoint* pWaypoint = g_mapEdit.GetSelectedWaypoint();
  g_mapEdit.ClearSelection();
  if (pWaypoint && !g_mapEdit.IsWaypointLocked(pWaypoint) && AskDeleteWaypoint(g_hWnd, pWaypoint)) {
    if (g_mapEdit.GetMovingWaypoint() == pWaypoint) g_mapEdit.CancelMoving();
    StoreChanged();
  }
  Redraw();
}

void CMapPageWin::ReverseRoute() {
  if (g_mapEdit.ReverseSelectedRoute()) StoreChanged();
  Redraw();
}

void CMapPageWin::DeleteRoute() {
  if (g_mapEdit.DeleteSelectedRoute()) StoreChanged();
  Redraw();
}

void CMapPageWin::AppendToRoute() {
  if (g_mapEdit.AppendToRoute(PointerOnMap(), CurrentTimeDays())) StoreChanged();
  Redraw();
}

void CMapPageWin::RemoveFromRoute() {
  if (g_mapEdit.RemoveFromRoute()) StoreChanged();
  Redraw();
}

void CMapPageWin::EndEditing() {
  g_mapEdit.EndEditing();
  Redraw();
}

void CMapPageWin::StartRoute() {
  if (g_mapEdit.StartRoute(PointerOnMap(), CurrentTimeDays())) StoreChanged();
  Redraw();
}

void CMapPageWin::ContinueRoute() {
  g_mapEdit.ContinueSelectedRoute();
  Redraw();
}

void CMapPageWin::MoveWaypoint() {
  g_mapEdit.StartMoving();
  Redraw();
}

void CMapPageWin::CancelMoving() {
  g_mapEdit.CancelMoving();
  Redraw();
}

void CMapPageWin::MoveHere() {
  if (g_mapEdit.MoveHere(PointerOnMap())) StoreChanged();
  Redraw();
}

void CMapPageWin::InsertIntoRoute() {
  if (g_mapEdit.InsertPoint(PointerOnMap(), CurrentTimeDays())) StoreChanged();
  Redraw();
}

void CMapPageWin::RecalculateRoute() {
  const bool fAllowed = g_mapEdit.CanChangeSelectedRoute();
  Route* pRoute = g_mapEdit.GetSelectedRoute();
  g_mapEdit.ClearSelection();
  if (fAllowed && pRoute && CalculateRouteNow(*pRoute)) StoreChanged();
  Redraw();
}

// The map page when it is the current page: its commands do nothing on
// the other pages.
CMapPageWin* CurrentMapPage() {
  return g_pMapPage && CurrentPage() == static_cast<Page*>(g_pMapPage) ? g_pMapPage : nullptr;
}

template <void (CMapPageWin::*pfn)()>
void RunOnMapPage() {
  if (CMapPageWin* p = CurrentMapPage()) (p->*pfn)();
}

}  // namespace

LRESULT QueryManeuverDisplay(WPARAM wParam) {
  CGuidance& guidance = GetGuidance();
  const NavigationState& st = guidance.State();
  if (wParam == 1) return LRESULT(st.nDistanceToManeuver);
  if (wParam == 2) return LRESULT(st.nDistanceToEnd);
  return LRESULT((guidance.IsRunning() ? 1u << 24 : 0u) | (uint32_t(st.nState & 0xFF) << 16) |
                 (uint32_t(st.nManeuverParameter & 0xFF) << 8) | uint32_t(st.nManeuverKind & 0xFF));
}

Page* CreateMapPage() { return new CMapPageWin; }

void OnRedrawMapCommand(unsigned) { RunOnMapPage<&CMapPageWin::RedrawMap>(); }
void OnPanCommand(unsigned id) {
  if (CMapPageWin* p = CurrentMapPage()) p->Pan(id);
}
void OnShowMapGaugesCommand(unsigned) { RunOnMapPage<&CMapPageWin::ToggleMapGauges>(); }
bool GetMapMenuTarget(int32_t& xStored, int32_t& yStored) {
  if (Waypoint* pWaypoint = g_mapEdit.GetSelectedWaypoint()) {
    xStored = pWaypoint->x;
    yStored = pWaypoint->y;
    return true;
  }
  if (!g_pMapPage) return false;
  const MapPoint pt = g_pMapPage->PointerOnMap();
  xStored = DegreesToStored(MapToDegrees(pt.x));
  yStored = DegreesToStored(MapToDegrees(pt.y));
  return true;
}

void OnNewWaypointHereCommand(unsigned) { RunOnMapPage<&CMapPageWin::NewWaypointHere>(); }
void OnPropertiesCommand(unsigned) { RunOnMapPage<&CMapPageWin::ShowProperties>(); }
void OnDeleteWaypointCommand(unsigned) { RunOnMapPage<&CMapPageWin::DeleteWaypoint>(); }
void OnReverseRouteCommand(unsigned) { RunOnMapPage<&CMapPageWin::ReverseRoute>(); }
void OnDeleteRouteCommand(unsigned) { RunOnMapPage<&CMapPageWin::DeleteRoute>(); }
void OnAppendToRouteCommand(unsigned) { RunOnMapPage<&CMapPageWin::AppendToRoute>(); }
void OnRemoveFromRouteCommand(unsigned) { RunOnMapPage<&CMapPageWin::RemoveFromRoute>(); }
void OnEndEditingCommand(unsigned) { RunOnMapPage<&CMapPageWin::EndEditing>(); }
void OnStartRouteCommand(unsigned) { RunOnMapPage<&CMapPageWin::StartRoute>(); }
void OnContinueRouteCommand(unsigned) { RunOnMapPage<&CMapPageWin::ContinueRoute>(); }
void OnMoveWaypointCommand(unsigned) { RunOnMapPage<&CMapPageWin::MoveWaypoint>(); }
void OnCancelMovingCommand(unsigned) { RunOnMapPage<&CMapPageWin::CancelMoving>(); }
void OnMoveHereCommand(unsigned) { RunOnMapPage<&CMapPageWin::MoveHere>(); }
void OnInsertIntoRouteCommand(unsigned) { RunOnMapPage<&CMapPageWin::InsertIntoRoute>(); }
void OnRecalculateRouteCommand(unsigned) { RunOnMapPage<&CMapPageWin::RecalculateRoute>(); }

void OpenMapFromPath(const char16_t* pszPath, bool fAtlas) {
  if (!pszPath || !*pszPath || !g_pMapPage) return;
  g_pMapPage->OpenMap(pszPath, fAtlas);
  ShowPendingFailures();
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

void FillMapGaugeFigures(MapGaugeInfo& info) {
  info.cMapsInCache = g_pMapParser ? 1 : 0;
  if (!g_pMapPage) return;
  CMapPage& page = g_pMapPage->Core();
  info.nMapLevel = g_pMapParser ? int(page.GetView().GetScale()) : -1;
  info.nOpeningMs = page.GetOpeningMs();
  const CMapRenderer& renderer = page.GetRenderer();
  if (renderer.GetAttempts() == 0) return;
  const PassTimes& times = renderer.GetTimes();
  info.cObjectsRendered = int(renderer.GetObjectsDrawn());
  info.nMapMs = int32_t(times.dwMapMs);
  info.nTrackMs = int32_t(times.dwTrackMs);
  info.nRoutesMs = int32_t(times.dwRoutesMs);
  info.nWaypointsMs = int32_t(times.dwWaypointsMs);
}
bool IsDrawingPassRunning() { return g_pMapPage && g_pMapPage->IsDrawing(); }
void StopDrawingPass() {
  if (g_pMapPage) g_pMapPage->StopDrawing();
}
void ApplyNightMode() { UpdateNightMode(); }
