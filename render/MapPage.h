// The map page's portable part: the drawing pass (CDrawContext) with its
// restart and stop flags, the attempt loop of RefreshMap over the render
// surfaces, painting of the finished image with its overlays, the gauge
// strip layout, the view origin rule and the pointer, zoom and
// follow-the-position rules. The shell supplies what only Windows can do
// (dispatching messages, invalidating the window, the crash guard) through
// CMapPageHost.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "map/DrawSink.h"
#include "map/MapRect.h"
#include "platform/Canvas.h"
#include "render/LabelGen.h"
#include "render/PositionMarker.h"
#include "view/MapPosition.h"

class CDrawContext;
class CMapParser;

// What the shell does for the map page.
class CMapPageHost {
 public:
  CMapPageHost() = default;
  virtual ~CMapPageHost() = default;
  CMapPageHost(const CMapPageHost&) = delete;
  CMapPageHost& operator=(const CMapPageHost&) = delete;

  // Dispatches waiting messages until the queue is empty or the pass is
  // interrupted (handlers may call RefreshMap or RequestStop).
  virtual void DispatchPendingMessages(CDrawContext& ctx) { (void)ctx; }
  // Invalidates the window so that it is painted again.
  virtual void Redraw() {}
  // Runs pfn(p) inside the crash guard; false with the report's text when
  // it faulted.
  virtual bool RunGuarded(void (*pfn)(void*), void* p, std::u16string& strReport) {
    (void)strReport;
    pfn(p);
    return true;
  }
  // Tells the user a text when there is no render surface; by default it is
  // reported as a failure (res/Failure.h) for the shell to show.
  virtual void ShowMessage(const char16_t* pszText);
  virtual uint32_t GetTickMs();
  // Timer 17 (the pointer rested), pointer capture and the menu.
  virtual void SetPointerTimer(uint32_t dwMs) { (void)dwMs; }
  virtual void KillPointerTimer() {}
  virtual void SetPointerCapture(bool fCapture) { (void)fCapture; }
  virtual void UpdateMenu() {}
  // Whether the GPS ports are open: the position marker is drawn only then
  // (the last fix stays in the hub after the ports close).
  virtual bool ArePortsOpen() { return true; }
};

// Optional layers drawn after the map: the recorded track, the stored
// routes, the waypoints (with their labels) and the guidance line. Each
// subsystem installs its own.
struct MapLayers {
  void (*pfnDrawTrack)(CDrawContext& ctx) = nullptr;
  void (*pfnDrawRoutes)(CDrawContext& ctx) = nullptr;
  void (*pfnDrawWaypoints)(CDrawContext& ctx, CLabelGen& labels) = nullptr;
  void (*pfnDrawGuidance)(CDrawContext& ctx) = nullptr;
  bool (*pfnIsNavigating)() = nullptr;
};

// One drawing pass as the map readers see it.
class CDrawContext : public CDrawSink {
 public:
  CDrawContext(platform::CCanvas* pCanvas, CMapPosition* pView, CMapPageHost* pHost);

  int GetScaleIndex() const override;
  int GetMapDetail() const override;  // "MapDetail"
  MapRect GetVisibleRect() const override { return m_rcVisible; }
  int GetScaleFactorX() const override;
  VPoint ToScreen(int32_t x, int32_t y) const override;
  void ToScreenMany(const MapPoint* pMap, VPoint* pScreen, size_t cPoints) const override;
  bool IsAtLeast(const MapRect& rect, int cxMin, int cyMin) const override;
  void DrawPolygon(const VPoint* pPoints, size_t cPoints, StyleHandle hBrush) override;
  void DrawPolyline(const VPoint* pPoints, size_t cPoints, StyleHandle hPen, StyleHandle hCore) override;
  void DrawDirectionArrows(const VPoint* pPoints, size_t cPoints) override;
  void Yield() override;
  bool IsInterrupted() const override { return m_btRestart != 0 || m_btStop != 0; }
  void ShowMapMessage(uint32_t idString, const char16_t* pszArg1, const char16_t* pszArg2) override;

  platform::CCanvas* GetCanvas() const { return m_pCanvas; }
  CMapPosition* GetView() const { return m_pView; }
  void SetRestart() { m_btRestart = 1; }
  void SetStop() { m_btStop = 1; }
  bool IsRestart() const { return m_btRestart != 0; }
  bool IsStop() const { return m_btStop != 0; }
  // Starts an attempt: flags and counters cleared, the visible rectangle
  // taken from the view.
  void BeginAttempt();
  void CountPoint() { ++m_cPoints; }

  uint32_t m_cPolygons;
  uint32_t m_cPolylines;
  uint32_t m_cPoints;

 private:
  platform::CCanvas* m_pCanvas;
  CMapPosition* m_pView;
  CMapPageHost* m_pHost;
  MapRect m_rcVisible;
  uint8_t m_btRestart;
  uint8_t m_btStop;
  uint32_t m_dwLastYield;
  // The points of the object being drawn, thinned.
  std::vector<VPoint> m_thinned;
};

// The map area and the gauge strip.
const int c_cMaxMapGauges = 8;
// The client area less the gauge strip (a column of ScaleX(80) at the right
// when the window is at least as wide as high, else a row of ScaleY(33) at
// the bottom).
VRect GetMapArea(int cxClient, int cyClient, bool fShowGauges);
// The gauge cells (at most 8) into pCells; returns their count.
int GetGaugeCells(int cxClient, int cyClient, VRect* pCells);
// 2 for the selected slot in gauge-selection mode, 1 for odd cells when
// there are more than 3 (alternate shading), else 0.
int GetGaugeCellStyle(int i, int cCells, bool fSelectionMode, int nSelected);
// The screen point where the centre is drawn: the middle of the map area,
// or three quarters down it when the map turns with the heading.
VPoint ComputeViewOrigin(const VRect& rcMapArea, bool fRotateMap);
// A press shorter than 200 ms that moved less than 5 scaled pixels.
bool IsTap(int dx, int dy, uint32_t dwPressMs);

// The rectangle the finished image is stretched into while the view's
// scale differs from the image's (zoom factor g around the origin).
VRect GetStretchRect(int ox, int oy, int cx, int cy, double g);

// Diagnostics: finished attempts, and the milliseconds of the layers of the
// last attempt.
extern std::atomic<uint32_t> g_cFinishedAttempts;
struct PassTimes {
  uint32_t dwMapMs, dwTrackMs, dwRoutesMs, dwWaypointsMs;
};

class CMapRenderer {
 public:
  CMapRenderer(CMapPosition* pView, CMapPageHost* pHost);
  ~CMapRenderer();
  CMapRenderer(const CMapRenderer&) = delete;
  CMapRenderer& operator=(const CMapRenderer&) = delete;

  void SetLayers(const MapLayers& layers) { m_layers = layers; }
  // The parser drawn by the pass (the current map, or null).
  void SetParser(CMapParser* pParser) { m_pParser = pParser; }
  void SetClientSize(int cx, int cy);
  void SetShowGauges(bool f) { m_fShowGauges = f; }
  void SetRotateMap(bool f) { m_fRotateMap = f; }
  // Places the view's origin by the rule and tells the view its size.
  void UpdateOrigin();

  // The drawing pass; see the attempt loop.
  void RefreshMap(bool fFull);
  // The exit request: stops a running pass.
  void RequestStop();
  bool IsDrawing() const { return m_pRunning != nullptr; }
  CDrawContext* GetRunningPass() const { return m_pRunning; }

  // Paints the background, the finished image (shifted and stretched to the
  // current view) and the north arrow and scale bar onto pDst.
  void Paint(platform::CCanvas* pDst);
  // The background and the finished image only.
  void PaintImage(platform::CCanvas* pDst);
  // A small cross at the view's origin (the hot spot).
  void DrawHotSpot(platform::CCanvas* pDst);
  void DrawNorthArrow(platform::CCanvas* pDst);
  void DrawScaleBar(platform::CCanvas* pDst);

  platform::CCanvas* GetRenderSurface() const { return m_pRender.get(); }
  platform::CCanvas* GetFinishedImage() const { return m_pFinished.get(); }
  const CLabelGen& GetLabels() const { return m_labels; }
  const PassTimes& GetTimes() const { return m_times; }
  bool HasFinishedView() const { return m_fFinished; }
  uint32_t GetAttempts() const { return m_cAttempts; }
  // Polygons, lines and points drawn by the last finished attempt.
  uint32_t GetObjectsDrawn() const { return m_cObjectsDrawn; }

 private:
  bool EnsureSurfaces();
  bool SameViewAsFinished() const;
  static void DrawParser(void* p);

  CMapPosition* m_pView;
  CMapPageHost* m_pHost;
  CMapParser* m_pParser;
  MapLayers m_layers;
  int m_cxClient;
  int m_cyClient;
  bool m_fShowGauges;
  bool m_fRotateMap;
  // The render surface and the finished image, made for one size.
  std::unique_ptr<platform::CCanvas> m_pRender;
  std::unique_ptr<platform::CCanvas> m_pFinished;
  int m_cxSurfaces;
  int m_cySurfaces;
  CLabelGen m_labels;
  CDrawContext* m_pRunning;
  bool m_fStopRequested;
  // The view of the finished image.
  bool m_fFinished;
  int32_t m_xcFinished;
  int32_t m_ycFinished;
  int32_t m_nNumFinished;
  int32_t m_nDenFinished;
  int32_t m_nAngleFinished;
  PassTimes m_times;
  uint32_t m_cAttempts;
  uint32_t m_cObjectsDrawn;
  CDrawContext* m_pGuardCtx;
};

// Overlays painted over the finished image, in this order around the
// north arrow and the scale bar; each subsystem installs its own.
struct MapOverlays {
  void (*pfnActiveRoute)(platform::CCanvas* pDst, const CMapPosition& view) = nullptr;
  void (*pfnSelectedWaypoint)(platform::CCanvas* pDst, const CMapPosition& view) = nullptr;
  // Drawn after the page's own position marker (CursorMark).
  void (*pfnPositionMarker)(platform::CCanvas* pDst, const CMapPosition& view) = nullptr;
  void (*pfnHighlights)(platform::CCanvas* pDst, const CMapPosition& view) = nullptr;
  // One gauge cell: slot i in its rectangle with its style (0, 1, 2).
  void (*pfnGaugeCell)(platform::CCanvas* pDst, int i, const VRect& rc, int nStyle) = nullptr;
  void (*pfnGpsStatusIcon)(platform::CCanvas* pDst, int x, int y) = nullptr;
};

// The map page's state and rules, driven by the shell's window glue.
class CMapPage {
 public:
  explicit CMapPage(CMapPageHost* pHost);
  ~CMapPage();
  CMapPage(const CMapPage&) = delete;
  CMapPage& operator=(const CMapPage&) = delete;

  // Drawing types, the view restored from the settings, the layout.
  void Create(int cxClient, int cyClient);
  // Stops a running pass, frees the drawing types.
  void Destroy();
  void OnSize(int cxClient, int cyClient);
  // The finished image and the overlays in their order: the active route,
  // the selected waypoint, the hot spot, the position marker, the north
  // arrow, the scale bar, highlights, the map gauges, the GPS status icon.
  void OnPaint(platform::CCanvas* pDst);
  void SetOverlays(const MapOverlays& overlays) { m_overlays = overlays; }

  void OnDown(int x, int y);
  void OnMove(int x, int y);
  // True when the release was a tap (the shell then hit-tests).
  bool OnUp(int x, int y);
  // The pointer rested (timer 17): the real pass starts.
  void OnPointerRested();

  bool CanZoomIn() const { return m_view.GetScale() > 0; }
  bool CanZoomOut() const { return m_view.GetScale() < 26; }
  void ZoomIn();
  void ZoomOut();
  // The pan commands: a screen delta.
  void PanBy(int dx, int dy);
  void RefreshMap(bool fFull) { m_renderer.RefreshMap(fFull); }

  // The map cursor the marker shows, as the shell hands it over; the page
  // never asks positioning itself.
  void SetCursor(const CursorMark& cursor) { m_cursor = cursor; }
  const CursorMark& GetCursor() const { return m_cursor; }
  // The map cursor moved: heading in degrees, position in degrees. Kept as
  // the marker's cursor, and followed by the view ("RotateMap",
  // "KeepVisible").
  void OnCursorChanged(bool fValid, double fLon, double fLat, double fHeading);
  void OnMapChanged(const MapRect& rcMap);
  void OnOptionsChanged(bool fMapChanged, bool fUnitsChanged);
  // "ShowMapGauges" toggled ("Show gauges"): the map area and origin change.
  void OnGaugesToggled();
  void ToggleGaugeMode();
  bool IsGaugeMode() const { return m_fGaugeMode; }
  int GetSelectedGauge() const { return m_nSelectedGauge; }
  // The gauge cell under a point, or -1 (also when the strip is hidden).
  int GaugeCellAt(int x, int y) const;
  VRect GaugeCellRect(int i) const;

  // Opens a map file, or a collection folder through its index, as the
  // current map (g_pMapParser).
  bool OpenMap(const char16_t* pszPath, bool fCollection = false);
  void CloseMap();

  CMapPosition& GetView() { return m_view; }
  CMapRenderer& GetRenderer() { return m_renderer; }
  // Milliseconds the last successful OpenMap took; -1 before the first.
  int32_t GetOpeningMs() const { return m_nOpeningMs; }

 private:
  void ApplyLayout();

  CMapPageHost* m_pHost;
  CMapPosition m_view;
  CMapRenderer m_renderer;
  MapOverlays m_overlays;
  int m_cxClient;
  int m_cyClient;
  bool m_fDown;
  VPoint m_ptDown;
  VPoint m_ptLast;
  uint32_t m_dwDownTick;
  bool m_fGaugeMode;
  int m_nSelectedGauge;
  int m_nHeading;  // the remembered heading, -1 for none
  CursorMark m_cursor;
  int32_t m_nOpeningMs;
};
