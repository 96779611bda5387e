// The map layers of the waypoint store drawn on the software raster.
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>

#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "platform/Canvas.h"
#include "render/LabelGen.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "render/overlay/StoreDraw.h"
#include "store/WaypointStore.h"
#include "view/MapPosition.h"

using namespace platform;

namespace {

const int c_cx = 200, c_cy = 100;
const COLORREF c_crWhite = 0xFFFFFF;

class StoreDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    render::SetScreenScale(1, 1);
    g_waypointStore.Clear();
    m_view.SetOrigin(c_cx / 2, c_cy / 2);
    m_view.SetViewSize(c_cx, c_cy);
    m_view.SetScale(10);
    m_view.SetCentre(0, 0);
    m_pCanvas.reset(CreateSoftCanvas(c_cx, c_cy));
    ASSERT_NE(m_pCanvas, nullptr);
    m_pCtx = std::make_unique<CDrawContext>(m_pCanvas.get(), &m_view, nullptr);
    m_pCtx->BeginAttempt();
    m_labels.SetContext(m_pCanvas.get(), m_pCtx.get());
    m_labels.Clear(c_cx, c_cy);
  }
  void TearDown() override {
    g_waypointStore.Clear();
    ResetAllSettings();
  }

  // A waypoint at a screen point (stored at doubled resolution).
  Waypoint* AddWaypointAt(int sx, int sy, unsigned nShow, const char16_t* pszName, const char16_t* pszDesc = u"") {
    const MapPoint pt = m_view.ToMap(sx, sy);
    Waypoint* pWp = new Waypoint;
    pWp->x = pt.x * 2;
    pWp->y = pt.y * 2;
    pWp->SetType(c_nDefaultSymbol);
    pWp->SetShow(nShow);
    pWp->strName = pszName;
    pWp->strDescription = pszDesc;
    g_waypointStore.AddWaypoint(pWp);
    return pWp;
  }
  Route* AddRouteThrough(std::initializer_list<VPoint> screenPoints, COLORREF cr) {
    Route* pRoute = new Route;
    pRoute->crColor = cr;
    pRoute->strName = u"R";
    for (const VPoint& s : screenPoints) {
      const MapPoint pt = m_view.ToMap(s.x, s.y);
      RoutePoint rp;
      rp.x = pt.x * 2;
      rp.y = pt.y * 2;
      pRoute->points.push_back(rp);
    }
    RecomputeBounds(*pRoute);
    g_waypointStore.AddRoute(pRoute);
    return pRoute;
  }
  int CountNonWhite() {
    int n = 0;
    for (int y = 0; y < c_cy; ++y)
      for (int x = 0; x < c_cx; ++x)
        n += m_pCanvas->GetPixel(x, y) != c_crWhite;
    return n;
  }
  // Whether everything drawn lies within r pixels of (x, y), and something
  // is drawn at (x, y) itself: the marker or the waypoint's icon (the
  // program's resources have the icons, a native test has the marker).
  bool DrawnOnlyAround(int x, int y, int r) {
    if (m_pCanvas->GetPixel(x, y) == c_crWhite)
      return false;
    for (int py = 0; py < c_cy; ++py)
      for (int px = 0; px < c_cx; ++px)
        if (m_pCanvas->GetPixel(px, py) != c_crWhite && (std::abs(px - x) > r || std::abs(py - y) > r))
          return false;
    return true;
  }
  int CountWaypointLabels() {
    int n = 0;
    for (const LabelRecord& rec : m_labels.Records())
      n += rec.nKind == lkWaypoint;
    return n;
  }

  CMapPosition m_view;
  std::unique_ptr<CCanvas> m_pCanvas;
  std::unique_ptr<CDrawContext> m_pCtx;
  CLabelGen m_labels;
};

}  // namespace

TEST_F(StoreDrawTest, WaypointIsDrawnAtItsScreenPosition) {
  const Waypoint* pWp = AddWaypointAt(60, 30, wsIcon, u"A");
  // The stored coordinates are doubled: halved they give the screen point.
  const VPoint pt = m_view.ToScreen(pWp->x >> 1, pWp->y >> 1);
  ASSERT_EQ(pt.x, 60);
  ASSERT_EQ(pt.y, 30);
  DrawWaypointsLayer(*m_pCtx, m_labels);
  // Only around the waypoint (at most the default icon's half size away):
  // far away and at the doubled position (a missing halving) the surface
  // stays white.
  EXPECT_TRUE(DrawnOnlyAround(60, 30, 16));
  EXPECT_EQ(m_pCanvas->GetPixel(140, 70), c_crWhite);
  EXPECT_EQ(m_pCanvas->GetPixel(20, 10), c_crWhite);
  EXPECT_GT(CountNonWhite(), 10);
  // Show mode 0: the icon only, no label.
  EXPECT_EQ(CountWaypointLabels(), 0);
}

TEST_F(StoreDrawTest, NameAndDescriptionGoToTheLabelCollector) {
  AddWaypointAt(40, 50, wsIconAndName, u"Home", u"my house");
  AddWaypointAt(150, 30, wsIconAndDesc, u"Work", u"office");
  DrawWaypointsLayer(*m_pCtx, m_labels);
  ASSERT_EQ(CountWaypointLabels(), 2);
  bool fHome = false, fOffice = false;
  for (const LabelRecord& rec : m_labels.Records()) {
    if (rec.nKind != lkWaypoint)
      continue;
    if (rec.strText == u"Home") {
      fHome = true;
      EXPECT_GT(rec.x, 40);  // right of the marker, near it
      EXPECT_LT(rec.x, 60);
      EXPECT_LT(std::abs(rec.y - 50), 16);
    }
    fOffice |= rec.strText == u"office";
    EXPECT_NE(rec.strText, u"Work");
    EXPECT_NE(rec.strText, u"my house");
  }
  EXPECT_TRUE(fHome);
  EXPECT_TRUE(fOffice);
  EXPECT_NE(m_pCanvas->GetPixel(40, 50), c_crWhite);
  EXPECT_NE(m_pCanvas->GetPixel(150, 30), c_crWhite);
}

TEST_F(StoreDrawTest, HiddenDeletedAndOutsideWaypointsDrawNothing) {
  AddWaypointAt(60, 30, 3, u"hidden");
  Waypoint* pDeleted = AddWaypointAt(100, 50, wsIconAndName, u"gone");
  pDeleted->dwFlags |= wfDeleted;
  AddWaypointAt(-40, 50, wsIconAndName, u"outside");
  DrawWaypointsLayer(*m_pCtx, m_labels);
  EXPECT_EQ(CountNonWhite(), 0);
  EXPECT_EQ(CountWaypointLabels(), 0);
}

TEST_F(StoreDrawTest, ShowWaypointsOffDrawsNothing) {
  AddWaypointAt(60, 30, wsIconAndName, u"A");
  SetBool(setting::ShowWaypoints.pszName, false);
  DrawWaypointsLayer(*m_pCtx, m_labels);
  EXPECT_EQ(CountNonWhite(), 0);
  EXPECT_EQ(CountWaypointLabels(), 0);
  SetBool(setting::ShowWaypoints.pszName, true);
  DrawWaypointsLayer(*m_pCtx, m_labels);
  EXPECT_TRUE(DrawnOnlyAround(60, 30, 16));
  EXPECT_EQ(CountWaypointLabels(), 1);
}

TEST_F(StoreDrawTest, InterruptedPassDrawsNoWaypoint) {
  AddWaypointAt(60, 30, wsIconAndName, u"A");
  m_pCtx->SetRestart();
  DrawWaypointsLayer(*m_pCtx, m_labels);
  EXPECT_EQ(CountNonWhite(), 0);
  EXPECT_EQ(CountWaypointLabels(), 0);
}

TEST_F(StoreDrawTest, RouteIsALineOfItsColourBetweenItsPoints) {
  AddRouteThrough({{20, 50}, {180, 50}}, 0x00C000);
  DrawRoutesLayer(*m_pCtx);
  // Along the line (away from the arrow in its middle) in the route's
  // colour, 5 pixels wide.
  for (int x : {30, 60, 140, 170}) {
    EXPECT_EQ(m_pCanvas->GetPixel(x, 50), 0x00C000u) << x;
    EXPECT_EQ(m_pCanvas->GetPixel(x, 48), 0x00C000u) << x;
    EXPECT_EQ(m_pCanvas->GetPixel(x, 52), 0x00C000u) << x;
    EXPECT_EQ(m_pCanvas->GetPixel(x, 44), c_crWhite) << x;
    EXPECT_EQ(m_pCanvas->GetPixel(x, 56), c_crWhite) << x;
  }
  // Not beyond its ends; the direction arrow in the middle.
  EXPECT_EQ(m_pCanvas->GetPixel(10, 50), c_crWhite);
  EXPECT_EQ(m_pCanvas->GetPixel(190, 50), c_crWhite);
  bool fArrow = false;
  for (int y = 40; y <= 60; ++y)
    for (int x = 90; x <= 110; ++x)
      fArrow |= m_pCanvas->GetPixel(x, y) == 0x404040u;
  EXPECT_TRUE(fArrow);
}

TEST_F(StoreDrawTest, DeletedRoutesAndShowRoutesOff) {
  Route* pRoute = AddRouteThrough({{20, 50}, {180, 50}}, 0x00C000);
  SetBool(setting::ShowRoutes.pszName, false);
  DrawRoutesLayer(*m_pCtx);
  EXPECT_EQ(CountNonWhite(), 0);
  SetBool(setting::ShowRoutes.pszName, true);
  pRoute->dwFlags |= rfDeleted;
  DrawRoutesLayer(*m_pCtx);
  EXPECT_EQ(CountNonWhite(), 0);
  // A route wholly outside the view is left out too.
  AddRouteThrough({{-300, -200}, {-250, -220}}, 0x00C000);
  DrawRoutesLayer(*m_pCtx);
  EXPECT_EQ(CountNonWhite(), 0);
}

TEST_F(StoreDrawTest, ActiveRouteUsesThePointerPens) {
  Route* pRoute = AddRouteThrough({{20, 30}, {180, 30}}, 0x00C000);
  AddRouteThrough({{20, 80}, {180, 80}}, 0xC00000);
  g_waypointStore.SetActiveRoute(pRoute);
  ASSERT_EQ(g_waypointStore.ActiveRoute(), pRoute);
  DrawRoutesLayer(*m_pCtx);
  // Inner pen (5 pixels) on the line, the outer pen (9 pixels) at its edge; not the route's
  // own colour.
  EXPECT_EQ(m_pCanvas->GetPixel(50, 30), c_crActiveRouteInner);
  EXPECT_EQ(m_pCanvas->GetPixel(50, 27), c_crActiveRouteOuter);
  EXPECT_EQ(m_pCanvas->GetPixel(50, 33), c_crActiveRouteOuter);
  EXPECT_EQ(m_pCanvas->GetPixel(50, 24), c_crWhite);
  // The other route as usual.
  EXPECT_EQ(m_pCanvas->GetPixel(50, 80), 0xC00000u);
  g_waypointStore.SetActiveRoute(nullptr);
}

namespace {
size_t g_iGuidanceTarget = 0;
}  // namespace

TEST_F(StoreDrawTest, ActiveRouteIsDrawnFromTheGuidanceTarget) {
  // Three legs west to east; guidance approaches point 2 (x = 120).
  Route* pRoute = AddRouteThrough({{20, 30}, {70, 30}, {120, 30}, {180, 30}}, 0x00C000);
  g_waypointStore.SetActiveRoute(pRoute);
  SetActiveRouteStartSource([] { return g_iGuidanceTarget; });
  g_iGuidanceTarget = 2;
  DrawRoutesLayer(*m_pCtx);
  EXPECT_EQ(m_pCanvas->GetPixel(40, 30), c_crWhite) << "the part behind the car is not drawn";
  EXPECT_EQ(m_pCanvas->GetPixel(100, 30), c_crWhite);
  EXPECT_EQ(m_pCanvas->GetPixel(130, 30), c_crActiveRouteInner) << "from the target on";
  EXPECT_EQ(m_pCanvas->GetPixel(170, 30), c_crActiveRouteInner);
  // A target past the end (arrived) leaves at most the last point; no line.
  {
    const CBrush white(bkSolid, c_crWhite);
    m_pCanvas->FillRect(VRect{0, 0, m_pCanvas->Width(), m_pCanvas->Height()}, &white);
  }
  g_iGuidanceTarget = 99;
  DrawRoutesLayer(*m_pCtx);
  EXPECT_EQ(m_pCanvas->GetPixel(150, 30), c_crWhite);
  // Without guidance's source the whole route is drawn.
  SetActiveRouteStartSource(nullptr);
  DrawRoutesLayer(*m_pCtx);
  EXPECT_EQ(m_pCanvas->GetPixel(40, 30), c_crActiveRouteInner);
  g_waypointStore.SetActiveRoute(nullptr);
}
