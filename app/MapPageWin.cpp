// The map page in the main window: the portable map page driven by the
// window's messages, drawing on GDI, with the shell's message dispatch,
// timers, crash guard and overlays.
#include <cmath>

#include "app/Crash.h"
#include "app/Features.h"
#include "app/GpsGlue.h"
#include "app/Shell.h"
#include "app/res/Res.h"
#include "app/settings/SettingsTable.h"
#include "gps/Positioning.h"
#include "gps/VisualTracking.h"
#include "map/MapParser.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "platform/win32/CanvasGdi.h"
#include "render/DrawTypes.h"
#include "render/MapPage.h"
#include "store/StoreDraw.h"
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

class CMapPageWin : public Page, public CMapPageHost {
 public:
  CMapPageWin() : m_page(this) {}

  bool Create() override {
    g_pMapPage = this;
    m_page.Create(g_cxClient, g_cyClient);
    MapOverlays overlays;
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
  void OnDown(int x, int y) override { m_page.OnDown(x, y); }
  void OnMove(int x, int y) override { m_page.OnMove(x, y); }
  void OnUp(int x, int y) override { m_page.OnUp(x, y); }
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
  void OnCursorChanged() override {
    float lon = 0, lat = 0, heading = -1;
    bool fValid = GetCursor(&lon, &lat, &heading);
    m_page.OnCursorChanged(fValid, lon, lat, heading);
  }
  void OnPositionChanged() override { Redraw(); }
  void OnStatusChanged() override { Redraw(); }
  void OnOptionsChanged(bool fMapChanged, bool fUnitsChanged) override {
    m_page.OnOptionsChanged(fMapChanged, fUnitsChanged);
  }
  bool OnCommand(UINT id) override {
    switch (id) {
      case 40004: m_page.RefreshMap(true); return true;
      case 40005: m_page.PanBy(20, 0); return true;
      case 40006: m_page.PanBy(-20, 0); return true;
      case 40007: m_page.PanBy(0, 20); return true;
      case 40008: m_page.PanBy(0, -20); return true;
      case 40023: m_page.OnGaugesToggled(); return true;
    }
    return false;
  }

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
    if (RunWithFaultRecovery(pfn, p, u"CMapPage::RefreshMap", sz, 1024)) return true;
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
  std::u16string m_strPendingPath;
  bool m_fPendingCollection = false;
  bool m_fPendingClose = false;
};

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
