// The map page's drawing pass: the attempt loop with restart and stop, the
// skipped refresh, painting, the gauge strip and the layout rules.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "map/MapParser.h"
#include "platform/Debug.h"
#include "render/DrawTypes.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "view/MapUnits.h"

using namespace platform;

namespace {

std::vector<std::u16string> g_debug;
void CaptureDebug(const char16_t* psz) { g_debug.emplace_back(psz); }
int CountDebug(const char16_t* psz) {
  int n = 0;
  for (const auto& s : g_debug)
    n += s == psz;
  return n;
}

// Draws one blue square around the view's centre, yielding a few times.
class CSquareParser : public CMapParser {
 public:
  CSquareParser() { m_rect = {-1000000, -1000000, 1000000, 1000000}; }
  bool Open(DWORD) override { return true; }
  void Draw(CDrawSink* pContext, CLabelSink*) override {
    ++m_cDraws;
    for (int i = 0; i < 5; ++i) {
      pContext->Yield();
      if (pContext->IsInterrupted())
        return;
    }
    const MapRect rc = pContext->GetVisibleRect();
    const int32_t xc = int32_t((int64_t(rc.left) + rc.right) / 2), yc = int32_t((int64_t(rc.top) + rc.bottom) / 2);
    const int32_t d = (rc.right - rc.left) / 8;
    const MapPoint rg[4] = {{xc - d, yc - d}, {xc + d, yc - d}, {xc + d, yc + d}, {xc - d, yc + d}};
    VPoint rgScreen[4];
    pContext->ToScreenMany(rg, rgScreen, 4);
    pContext->DrawPolygon(rgScreen, 4, &m_brush);
  }
  void GetLabel(int, int, uint16_t, uint32_t, char16_t* pszOut, int* pnFlag) override {
    pszOut[0] = 0;
    *pnFlag = 0;
  }
  int m_cDraws = 0;
  CBrush m_brush{bkSolid, 0xFF0000};
};

class CTestHost : public CMapPageHost {
 public:
  void DispatchPendingMessages(CDrawContext& ctx) override {
    ++m_cDispatches;
    if (m_onDispatch)
      m_onDispatch(ctx);
  }
  void Redraw() override { ++m_cRedraws; }
  uint32_t GetTickMs() override { return m_dwTick += 25; }
  std::function<void(CDrawContext&)> m_onDispatch;
  int m_cDispatches = 0;
  int m_cRedraws = 0;
  uint32_t m_dwTick = 1000;
};

class MapPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    g_debug.clear();
    m_oldHook = SetDebugHook(CaptureDebug);
    render::SetScreenScale(1, 1);
    m_view.SetScale(10);
    m_view.SetCentre(0, 0);
    m_renderer.SetClientSize(200, 100);
    m_renderer.SetParser(&m_parser);
  }
  void TearDown() override {
    SetDebugHook(m_oldHook);
    ResetAllSettings();
  }
  DebugHook m_oldHook = nullptr;
  CMapPosition m_view;
  CTestHost m_host;
  CSquareParser m_parser;
  CMapRenderer m_renderer{&m_view, &m_host};
};

}  // namespace

TEST_F(MapPageTest, PassDrawsIntoTheFinishedImage) {
  m_renderer.RefreshMap(true);
  EXPECT_FALSE(m_renderer.IsDrawing());
  EXPECT_EQ(m_parser.m_cDraws, 1);
  EXPECT_EQ(m_host.m_cRedraws, 1);
  ASSERT_NE(m_renderer.GetFinishedImage(), nullptr);
  EXPECT_EQ(m_renderer.GetFinishedImage()->GetPixel(100, 50), 0xFF0000u);  // the square at the origin
  EXPECT_EQ(m_renderer.GetFinishedImage()->GetPixel(2, 2), 0xFFFFFFu);     // the background
  EXPECT_EQ(m_view.GetOriginX(), 100);
  EXPECT_EQ(m_view.GetOriginY(), 50);
}

// The map gauges show what the last finished attempt drew; an attempt that
// was stopped leaves the figure alone.
TEST_F(MapPageTest, FiguresOfTheLastFinishedAttemptForTheGauges) {
  EXPECT_EQ(m_renderer.GetObjectsDrawn(), 0u);
  const uint32_t cBefore = g_cFinishedAttempts.load();
  m_renderer.RefreshMap(true);
  EXPECT_EQ(m_renderer.GetObjectsDrawn(), 1u) << "one square";
  EXPECT_EQ(g_cFinishedAttempts.load(), cBefore + 1);
  // A pass stopped half-way counts nothing and keeps the old figures.
  m_host.m_onDispatch = [this](CDrawContext& ctx) { ctx.SetStop(); };
  m_view.SetScale(11);
  m_renderer.RefreshMap(true);
  EXPECT_EQ(g_cFinishedAttempts.load(), cBefore + 1);
  EXPECT_EQ(m_renderer.GetObjectsDrawn(), 1u);
}

TEST_F(MapPageTest, UnchangedViewSkipsTheRefresh) {
  m_renderer.RefreshMap(true);
  g_debug.clear();
  m_renderer.RefreshMap(false);
  EXPECT_EQ(CountDebug(u"RefreshMap(false) is ignored.\n"), 1);
  EXPECT_EQ(m_parser.m_cDraws, 1);
  // A full refresh always draws; a changed view too.
  m_renderer.RefreshMap(true);
  EXPECT_EQ(m_parser.m_cDraws, 2);
  m_view.SetScale(11);
  m_renderer.RefreshMap(false);
  EXPECT_EQ(m_parser.m_cDraws, 3);
}

TEST_F(MapPageTest, ZoomingTwiceDuringAPassRestartsIt) {
  int cZooms = 0;
  m_host.m_onDispatch = [&](CDrawContext&) {
    if (cZooms < 2) {
      ++cZooms;
      m_view.SetScale(m_view.GetScale() - 1);
      m_renderer.RefreshMap(false);  // only sets the restart flag
    }
  };
  m_renderer.RefreshMap(true);
  EXPECT_EQ(CountDebug(u"RefreshMap() re-entrance.\n"), 2);
  EXPECT_EQ(CountDebug(u"Re-start drawing...\n"), 2);
  EXPECT_EQ(m_parser.m_cDraws, 3);
  EXPECT_FALSE(m_renderer.IsDrawing());
  EXPECT_EQ(m_view.GetScale(), 8u);
  // The finished image is of the last view: nothing more to do.
  g_debug.clear();
  m_renderer.RefreshMap(false);
  EXPECT_EQ(CountDebug(u"RefreshMap(false) is ignored.\n"), 1);
}

TEST_F(MapPageTest, StopAbandonsThePassAndKeepsTheImage) {
  m_renderer.RefreshMap(true);
  const uint32_t cAttempts = m_renderer.GetAttempts();
  m_view.SetCentre(5000000, 0);
  m_host.m_onDispatch = [&](CDrawContext&) { m_renderer.RequestStop(); };
  m_renderer.RefreshMap(false);
  EXPECT_EQ(CountDebug(u"Stop drawing.\n"), 1);
  EXPECT_FALSE(m_renderer.IsDrawing());
  EXPECT_EQ(m_renderer.GetAttempts(), cAttempts);
  EXPECT_EQ(m_renderer.GetFinishedImage()->GetPixel(100, 50), 0xFF0000u);  // the old image
  // The next refresh draws again.
  m_host.m_onDispatch = nullptr;
  m_renderer.RefreshMap(false);
  EXPECT_EQ(m_renderer.GetAttempts(), cAttempts + 1);
}

TEST_F(MapPageTest, PaintShiftsAndStretchesTheOldImage) {
  m_renderer.RefreshMap(true);
  std::unique_ptr<CCanvas> pScreen(CreateMemoryCanvas(200, 100));
  // Panned right by 30 pixels: the old image moves with it.
  m_view.Pan(30, 0);
  m_renderer.Paint(pScreen.get());
  EXPECT_EQ(pScreen->GetPixel(130, 50), 0xFF0000u);
  EXPECT_NE(pScreen->GetPixel(100 - 14, 50), 0xFF0000u);
  EXPECT_EQ(m_host.m_cRedraws, 1);  // painting never starts a pass
  EXPECT_EQ(m_parser.m_cDraws, 1);
  // Zoomed in: the old square grows around the origin.
  m_view.Pan(-30, 0);
  VRect rc = GetStretchRect(100, 50, 200, 100, 2.0);
  EXPECT_EQ(rc.left, -100);
  EXPECT_EQ(rc.right, 300);
  EXPECT_EQ(rc.top, -50);
  EXPECT_EQ(rc.bottom, 150);
}

TEST(MapPageLayout, GaugeStripCells) {
  render::SetScreenScale(1, 1);
  VRect rgCells[8];
  // Portrait 240 × 320: 3 cells in the bottom row.
  ASSERT_EQ(GetGaugeCells(240, 320, rgCells), 3);
  EXPECT_EQ(rgCells[0].left, 0);
  EXPECT_EQ(rgCells[1].left, 239 / 3);
  EXPECT_EQ(rgCells[2].right, 239);
  EXPECT_EQ(rgCells[0].top, 320 - 33);
  // Landscape 320 × 240: 7 cells in the right column.
  ASSERT_EQ(GetGaugeCells(320, 240, rgCells), 7);
  EXPECT_EQ(rgCells[0].left, 240);
  EXPECT_EQ(rgCells[6].bottom, 240);
  EXPECT_EQ(rgCells[3].top, 240 * 3 / 7);
  // Never more than eight.
  EXPECT_EQ(GetGaugeCells(2000, 1000, rgCells), 8);
  EXPECT_EQ(GetGaugeCells(0, 100, rgCells), 0);
  // Styles: alternate shading with more than 3 cells, the selected slot.
  EXPECT_EQ(GetGaugeCellStyle(1, 3, false, -1), 0);
  EXPECT_EQ(GetGaugeCellStyle(1, 7, false, -1), 1);
  EXPECT_EQ(GetGaugeCellStyle(2, 7, false, -1), 0);
  EXPECT_EQ(GetGaugeCellStyle(2, 7, true, 2), 2);
  EXPECT_EQ(GetGaugeCellStyle(2, 7, false, 2), 0);
  // The map area gives up the strip.
  EXPECT_EQ(GetMapArea(320, 240, true).right, 240);
  EXPECT_EQ(GetMapArea(240, 320, true).bottom, 287);
  EXPECT_EQ(GetMapArea(240, 320, false).bottom, 320);
  render::SetScreenScale(2, 2);
  EXPECT_EQ(GetGaugeCells(480, 640, rgCells), 3);
  render::SetScreenScale(1, 1);
}

TEST(MapPageLayout, OriginAndTaps) {
  render::SetScreenScale(1, 1);
  EXPECT_EQ(ComputeViewOrigin({0, 0, 240, 320}, false).y, 160);
  EXPECT_EQ(ComputeViewOrigin({0, 0, 240, 320}, true).y, 240);
  EXPECT_EQ(ComputeViewOrigin({0, 0, 240, 320}, true).x, 120);
  EXPECT_TRUE(IsTap(4, -4, 199));
  EXPECT_FALSE(IsTap(5, 0, 100));
  EXPECT_FALSE(IsTap(0, 0, 200));
}

namespace {

class CPageHost : public CTestHost {
 public:
  void SetPointerTimer(uint32_t dwMs) override { m_dwTimer = dwMs; }
  void KillPointerTimer() override { m_dwTimer = 0; }
  void SetPointerCapture(bool f) override { m_fCapture = f; }
  uint32_t GetTickMs() override { return m_dwNow; }
  bool ArePortsOpen() override { return m_fPortsOpen; }
  uint32_t m_dwTimer = 0;
  bool m_fCapture = false;
  uint32_t m_dwNow = 5000;
  bool m_fPortsOpen = true;
};

class MapPageRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    g_debug.clear();
    m_oldHook = SetDebugHook(CaptureDebug);
    render::SetScreenScale(1, 1);
  }
  void TearDown() override {
    m_page.Destroy();
    SetDebugHook(m_oldHook);
    ResetAllSettings();
  }
  DebugHook m_oldHook = nullptr;
  CPageHost m_host;
  CMapPage m_page{&m_host};
};

}  // namespace

TEST_F(MapPageRulesTest, OriginFollowsRotateMapAndTheGaugeStrip) {
  SetBool(u"ShowMapGauges", false);
  m_page.Create(240, 320);
  EXPECT_EQ(m_page.GetView().GetOriginY(), 160);
  SetBool(u"RotateMap", true);
  m_page.OnSize(240, 320);
  EXPECT_EQ(m_page.GetView().GetOriginY(), 240);  // three quarters down
  SetBool(u"ShowMapGauges", true);
  m_page.OnGaugesToggled();
  EXPECT_EQ(m_page.GetView().GetOriginY(), (320 - 33) * 3 / 4);
  EXPECT_EQ(m_page.GaugeCellAt(10, 310), 0);
  EXPECT_EQ(m_page.GaugeCellAt(230, 310), 2);
  EXPECT_EQ(m_page.GaugeCellAt(10, 10), -1);
}

TEST_F(MapPageRulesTest, ZoomWritesItsTraceAndStopsAtTheEnds) {
  m_page.Create(200, 100);
  EXPECT_EQ(m_page.GetView().GetScale(), 10u);  // the default "MapZoom"
  m_page.ZoomIn();
  EXPECT_EQ(CountDebug(u"CMapPage::ZoomIn ().\n"), 1);
  EXPECT_EQ(m_page.GetView().GetScale(), 9u);
  EXPECT_EQ(GetDword(u"MapZoom", 0), 9u);
  m_page.ZoomOut();
  EXPECT_EQ(CountDebug(u"CMapPage::ZoomOut ().\n"), 1);
  m_page.GetView().SetScale(0);
  EXPECT_FALSE(m_page.CanZoomIn());
  m_page.ZoomIn();
  EXPECT_EQ(CountDebug(u"CMapPage::ZoomIn ().\n"), 1);
  m_page.GetView().SetScale(26);
  EXPECT_FALSE(m_page.CanZoomOut());
}

TEST_F(MapPageRulesTest, ShortSmallPressIsATapLongerOrWiderOnlyPans) {
  m_page.Create(200, 100);
  m_page.OnDown(50, 50);
  EXPECT_TRUE(m_host.m_fCapture);
  m_host.m_dwNow += 150;
  EXPECT_TRUE(m_page.OnUp(52, 53));
  EXPECT_FALSE(m_host.m_fCapture);
  // Held for 200 ms: no tap.
  m_page.OnDown(50, 50);
  m_host.m_dwNow += 200;
  EXPECT_FALSE(m_page.OnUp(50, 50));
  // A drag pans the view and arms timer 17; the pass waits for it.
  const int32_t xc = m_page.GetView().GetCentreX();
  const int cRedraws = m_host.m_cRedraws;
  m_page.OnDown(50, 50);
  m_page.OnMove(80, 50);
  EXPECT_EQ(m_host.m_dwTimer, 20u);
  EXPECT_LT(m_page.GetView().GetCentreX(), xc);  // dragged right: the centre moves west
  EXPECT_GT(m_host.m_cRedraws, cRedraws);
  m_page.OnPointerRested();
  EXPECT_EQ(m_host.m_dwTimer, 0u);
  m_host.m_dwNow += 50;
  EXPECT_FALSE(m_page.OnUp(80, 50));
}

TEST_F(MapPageRulesTest, FollowingThePosition) {
  m_page.Create(200, 100);
  g_debug.clear();
  m_page.OnCursorChanged(true, 37.6, 55.75, 90.0);
  EXPECT_EQ(m_page.GetView().GetCentreX(), DegreesToMap(37.6));
  EXPECT_EQ(m_page.GetView().GetAngle(), 0);  // no "RotateMap"
  SetBool(u"RotateMap", true);
  m_page.OnCursorChanged(true, 37.6, 55.75, 89.6);
  EXPECT_EQ(m_page.GetView().GetAngle(), 90);
  // Without "KeepVisible" the centre stays.
  SetBool(u"KeepVisible", false);
  m_page.OnCursorChanged(true, 30.0, 50.0, 89.6);
  EXPECT_EQ(m_page.GetView().GetCentreX(), DegreesToMap(37.6));
  // A map whose rectangle leaves the centre out moves the view into it.
  m_page.OnMapChanged(MapRect{DegreesToMap(7.0), DegreesToMap(43.0), DegreesToMap(8.0), DegreesToMap(44.0)});
  EXPECT_EQ(m_page.GetView().GetCentreX(), (DegreesToMap(7.0) + DegreesToMap(8.0)) / 2);
}

// The options dialog changed the map view's settings: the layout and the
// rotation follow at once, without waiting for the next fix.
TEST_F(MapPageRulesTest, MapOptionsApplyAtOnce) {
  SetBool(u"ShowMapGauges", false);
  m_page.Create(240, 320);
  m_page.OnCursorChanged(true, 37.6, 55.75, 134.6);
  EXPECT_EQ(m_page.GetView().GetAngle(), 0);
  EXPECT_EQ(m_page.GetView().GetOriginY(), 160);
  // Turned on: the map turns to the last heading and the origin moves down.
  SetBool(u"RotateMap", true);
  m_page.OnOptionsChanged(true, false);
  EXPECT_EQ(m_page.GetView().GetAngle(), 135);
  EXPECT_EQ(m_page.GetView().GetOriginY(), 240);
  // Units alone change nothing of the layout.
  SetBool(u"ShowMapGauges", true);
  m_page.OnOptionsChanged(false, true);
  EXPECT_EQ(m_page.GetView().GetOriginY(), 240);
  m_page.OnOptionsChanged(true, false);
  EXPECT_EQ(m_page.GetView().GetOriginY(), (320 - 33) * 3 / 4);
  // Turned off: north is up again, and a later fix does not turn it.
  SetBool(u"RotateMap", false);
  m_page.OnOptionsChanged(true, false);
  EXPECT_EQ(m_page.GetView().GetAngle(), 0);
  m_page.OnCursorChanged(true, 37.6, 55.75, 200.0);
  EXPECT_EQ(m_page.GetView().GetAngle(), 0);
  // Without a heading the rotation stays where it is.
  m_page.OnCursorChanged(false, 0, 0, -1);
  SetBool(u"RotateMap", true);
  m_page.OnOptionsChanged(true, false);
  EXPECT_EQ(m_page.GetView().GetAngle(), 0);
}

TEST_F(MapPageRulesTest, TheMarkerShowsTheCursorThePageWasGiven) {
  SetBool(u"ShowMapGauges", false);
  m_page.Create(200, 100);
  const CMapPosition& view = m_page.GetView();
  auto redAtOrigin = [&]() {
    std::unique_ptr<CCanvas> pScreen(CreateMemoryCanvas(200, 100));
    m_page.OnPaint(pScreen.get());
    int c = 0;
    for (int y = view.GetOriginY() - 8; y < view.GetOriginY() + 8; ++y)
      for (int x = view.GetOriginX() - 8; x < view.GetOriginX() + 8; ++x)
        c += pScreen->GetPixel(x, y) == RGB(220, 30, 30);
    return c;
  };
  EXPECT_EQ(redAtOrigin(), 0);  // no cursor yet
  // A followed position is also the marker's.
  m_page.OnCursorChanged(true, 37.6, 55.75, 90.0);
  EXPECT_TRUE(m_page.GetCursor().fValid);
  EXPECT_DOUBLE_EQ(m_page.GetCursor().dHeading, 90.0);
  EXPECT_GT(redAtOrigin(), 10);
  // The ports close: the hub keeps its last fix, but no marker is drawn.
  m_host.m_fPortsOpen = false;
  EXPECT_EQ(redAtOrigin(), 0);
  m_host.m_fPortsOpen = true;
  EXPECT_GT(redAtOrigin(), 10);
  // The shell's feed: a cursor that is no longer valid hides the marker.
  CursorMark cursor = m_page.GetCursor();
  cursor.fValid = false;
  m_page.SetCursor(cursor);
  EXPECT_EQ(redAtOrigin(), 0);
}

TEST_F(MapPageRulesTest, GaugeSelectionMode) {
  m_page.Create(320, 240);
  m_page.ToggleGaugeMode();
  ASSERT_TRUE(m_page.IsGaugeMode());
  m_page.OnDown(300, 100);
  EXPECT_FALSE(m_page.OnUp(300, 100));
  EXPECT_EQ(m_page.GetSelectedGauge(), 100 * 7 / 240);
  m_page.ToggleGaugeMode();
  EXPECT_FALSE(m_page.IsGaugeMode());
}

namespace {

class CMessageParser : public CSquareParser {
 public:
  void Draw(CDrawSink* pContext, CLabelSink*) override { pContext->ShowMapMessage(2002, u"C:\\maps\\gone.vel", u"No such file"); }
};

}  // namespace

TEST_F(MapPageTest, MapMessagesAreDrawnInRedInPlaceOfTheMap) {
  CMessageParser parser;
  m_renderer.SetClientSize(400, 200);
  m_renderer.SetParser(&parser);
  m_renderer.RefreshMap(true);
  CCanvas* pImage = m_renderer.GetFinishedImage();
  ASSERT_NE(pImage, nullptr);
  int cRed = 0, cRedOutside = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 400; ++x) {
      const bool fRed = pImage->GetPixel(x, y) == 0x0000FFu;
      cRed += fRed;
      if (fRed && (x < 4 || x >= 396 || y < 40))
        ++cRedOutside;
    }
  EXPECT_GT(cRed, 50);
  EXPECT_EQ(cRedOutside, 0);  // inside the margins of 4 and 40 pixels
}

namespace {
std::vector<std::string> g_overlays;
}  // namespace

TEST_F(MapPageRulesTest, OverlaysArePaintedInTheirOrder) {
  SetBool(u"ShowHotSpot", true);
  m_page.Create(240, 320);
  MapOverlays overlays;
  overlays.pfnActiveRoute = [](CCanvas*, const CMapPosition&) { g_overlays.push_back("route"); };
  overlays.pfnSelectedWaypoint = [](CCanvas*, const CMapPosition&) { g_overlays.push_back("waypoint"); };
  overlays.pfnPositionMarker = [](CCanvas* p, const CMapPosition&) {
    // The hot spot (a red cross at the origin) is already there.
    g_overlays.push_back(p->GetPixel(120, (320 - 33) / 2) == 0x0000FFu ? "marker after hot spot" : "marker");
  };
  overlays.pfnHighlights = [](CCanvas*, const CMapPosition&) { g_overlays.push_back("highlights"); };
  overlays.pfnGaugeCell = [](CCanvas*, int i, const VRect&, int nStyle) {
    g_overlays.push_back("gauge " + std::to_string(i) + " style " + std::to_string(nStyle));
  };
  overlays.pfnGpsStatusIcon = [](CCanvas*, int x, int y) {
    g_overlays.push_back("gps at " + std::to_string(x) + "," + std::to_string(y));
  };
  m_page.SetOverlays(overlays);
  std::unique_ptr<CCanvas> pScreen(CreateMemoryCanvas(240, 320));
  g_overlays.clear();
  m_page.OnPaint(pScreen.get());
  const std::vector<std::string> expected = {"route",           "waypoint",        "marker after hot spot",
                                             "highlights",      "gauge 0 style 0", "gauge 1 style 0",
                                             "gauge 2 style 0", "gps at 8,8"};
  EXPECT_EQ(g_overlays, expected);
  // The gauge strip's cells are framed.
  EXPECT_EQ(pScreen->GetPixel(10, 320 - 33), 0x808080u);
}
