// Route editing on the map: hit tests through the view, the commands and
// their refusals on the active route, dragging, and the overlays drawn on
// the software raster.
#include <gtest/gtest.h>

#include <memory>

#include "settings/Settings.h"
#include "platform/Canvas.h"
#include "platform/Debug.h"
#include "render/Screen.h"
#include "render/overlay/MapEdit.h"
#include "store/WaypointStore.h"
#include "view/MapPosition.h"

namespace {

const int c_cx = 400, c_cy = 300;
int g_cAsserts = 0;

class MapEditTest : public ::testing::Test {
 protected:
  MapEditTest() : m_store(&m_pActive), m_edit(&m_store) {}

  void SetUp() override {
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    render::SetScreenScale(1, 1);
    g_cAsserts = 0;
    m_pfnOldHook = platform::SetAssertHook([](const char*, const char*, int) { ++g_cAsserts; });
    SetView(10, 0);
  }
  void TearDown() override {
    platform::SetAssertHook(m_pfnOldHook);
    ResetAllSettings();
  }

  void SetView(size_t nScale, int nAngle) {
    m_view.SetOrigin(c_cx / 2, c_cy / 2);
    m_view.SetViewSize(c_cx, c_cy);
    m_view.SetScale(nScale);
    m_view.SetAngle(nAngle);
    m_view.SetCentre(DegreesToMap(30.0), DegreesToMap(50.0));
  }

  MapPoint At(int sx, int sy) const { return m_view.ToMap(sx, sy); }

  Waypoint* AddWaypointAt(int sx, int sy, const char16_t* pszName) {
    const MapPoint pt = At(sx, sy);
    Waypoint* pWp = m_store.NewWaypoint(0, 0, 0, 0, false, pszName);
    pWp->x = pt.x * 2;
    pWp->y = pt.y * 2;
    return pWp;
  }

  // A route through waypoints at the screen points.
  Route* AddRoute(std::initializer_list<VPoint> pts) {
    Route* pRoute = m_store.NewRoute(0);
    for (const VPoint& pt : pts)
      EXPECT_TRUE(m_store.InsertWaypoint(pRoute, int(pRoute->points.size()) - 1, AddWaypointAt(pt.x, pt.y, nullptr)));
    return pRoute;
  }

  Route* m_pActive = nullptr;
  CWaypointStore m_store;
  CMapEdit m_edit;
  CMapPosition m_view;
  platform::AssertHook m_pfnOldHook = nullptr;
};

// ------------------------------------------------------------ hit tests

TEST_F(MapEditTest, WaypointHitWithinTheIconSizeAtEveryScaleAndRotation) {
  for (size_t nScale : {3u, 10u, 16u}) {
    for (int nAngle : {0, 37, 200}) {
      SetView(nScale, nAngle);
      m_store.Clear();
      Waypoint* pA = AddWaypointAt(100, 100, u"A");
      Waypoint* pB = AddWaypointAt(112, 100, u"B");
      SCOPED_TRACE(testing::Message() << "scale " << nScale << " angle " << nAngle);
      EXPECT_EQ(m_edit.HitWaypoint(m_view, 101, 99), pA);
      EXPECT_EQ(m_edit.HitWaypoint(m_view, 109, 104), pB);  // nearer to B
      EXPECT_EQ(m_edit.HitWaypoint(m_view, 91, 108), pA);
      EXPECT_EQ(m_edit.HitWaypoint(m_view, 100, 115), nullptr);
      EXPECT_EQ(m_edit.HitWaypoint(m_view, 80, 100), nullptr);
    }
  }
}

TEST_F(MapEditTest, HiddenAndDeletedWaypointsAreNeverHit) {
  Waypoint* pHidden = AddWaypointAt(50, 50, u"H");
  pHidden->SetShow(3);
  Waypoint* pGone = AddWaypointAt(150, 50, u"G");
  ASSERT_TRUE(m_store.DeleteWaypoint(pGone));
  EXPECT_EQ(m_edit.HitWaypoint(m_view, 50, 50), nullptr);
  EXPECT_EQ(m_edit.HitWaypoint(m_view, 150, 50), nullptr);
}

TEST_F(MapEditTest, RouteHitGivesTheNearestSegmentsFirstPoint) {
  for (int nAngle : {0, 90, 315}) {
    SetView(10, nAngle);
    m_store.Clear();
    Route* pRoute = AddRoute({{50, 50}, {150, 50}, {150, 150}, {250, 150}});
    SCOPED_TRACE(nAngle);
    int iPoint = -9;
    EXPECT_EQ(m_edit.HitRoute(m_view, 100, 53, &iPoint), pRoute);
    EXPECT_EQ(iPoint, 0);
    EXPECT_EQ(m_edit.HitRoute(m_view, 146, 100, &iPoint), pRoute);
    EXPECT_EQ(iPoint, 1);
    EXPECT_EQ(m_edit.HitRoute(m_view, 200, 155, &iPoint), pRoute);
    EXPECT_EQ(iPoint, 2);
    // Beyond the tolerance and past the ends.
    EXPECT_EQ(m_edit.HitRoute(m_view, 100, 70, &iPoint), nullptr);
    EXPECT_EQ(iPoint, -1);
    EXPECT_EQ(m_edit.HitRoute(m_view, 270, 150, &iPoint), nullptr);
  }
}

TEST_F(MapEditTest, RouteHitPrefersTheNearerRouteAndSkipsDeletedOnes) {
  Route* pFar = AddRoute({{20, 100}, {380, 100}});
  Route* pNear = AddRoute({{20, 104}, {380, 104}});
  int iPoint = -1;
  EXPECT_EQ(m_edit.HitRoute(m_view, 200, 105, &iPoint), pNear);
  ASSERT_TRUE(m_store.DeleteRoute(pNear));
  EXPECT_EQ(m_edit.HitRoute(m_view, 200, 105, &iPoint), pFar);
  // A route of one point is hit at that point.
  Route* pOne = AddRoute({{300, 250}});
  EXPECT_EQ(m_edit.HitRoute(m_view, 302, 248, &iPoint), pOne);
  EXPECT_EQ(iPoint, 0);
}

TEST_F(MapEditTest, RoutePointHitUsesThePointTolerance) {
  Route* pRoute = AddRoute({{50, 50}, {150, 50}});
  EXPECT_EQ(m_edit.HitRoutePoint(m_view, *pRoute, 145, 55), 1);
  EXPECT_EQ(m_edit.HitRoutePoint(m_view, *pRoute, 54, 46), 0);
  EXPECT_EQ(m_edit.HitRoutePoint(m_view, *pRoute, 100, 50), -1);  // on the line, far from both points
}

// ------------------------------------------------------------ commands

TEST_F(MapEditTest, StartRouteMakesARouteOfANewPointAndAppendGrowsIt) {
  EXPECT_TRUE(m_edit.CanStartRoute());
  EXPECT_FALSE(m_edit.CanAppend());
  EXPECT_FALSE(m_edit.AppendToRoute(At(10, 10), 1.0));  // nothing edited
  EXPECT_EQ(m_store.CountWaypoints(), 0u);

  const MapPoint pt = At(100, 120);
  ASSERT_TRUE(m_edit.StartRoute(pt, 2.0));
  Route* pRoute = m_edit.GetEditedRoute();
  ASSERT_NE(pRoute, nullptr);
  EXPECT_EQ(pRoute->strName, u"001");
  ASSERT_EQ(pRoute->points.size(), 1u);
  Waypoint* pFirst = pRoute->points[0].pWaypoint;
  ASSERT_NE(pFirst, nullptr);
  EXPECT_NE(pFirst->dwFlags & wfMadeForRoute, 0u);
  EXPECT_EQ(pFirst->x, pt.x * 2);  // exactly the map point, doubled
  EXPECT_EQ(pFirst->y, pt.y * 2);
  EXPECT_FALSE(m_edit.CanStartRoute());
  EXPECT_EQ(m_edit.ChooseContextMenu(), mcmEditing);

  // The selected waypoint is appended as itself, not as a new point.
  Waypoint* pOwn = AddWaypointAt(200, 200, u"Own");
  m_edit.SelectWaypoint(pOwn);
  ASSERT_TRUE(m_edit.AppendToRoute(At(0, 0), 3.0));
  ASSERT_EQ(pRoute->points.size(), 2u);
  EXPECT_EQ(pRoute->points[1].pWaypoint, pOwn);
  EXPECT_EQ(pOwn->cRoutePoints, 1u);
  EXPECT_EQ(pOwn->dwFlags & wfMadeForRoute, 0u);
  EXPECT_EQ(m_edit.GetSelectedWaypoint(), nullptr);  // the selection is used up
  // Not twice in a row.
  m_edit.SelectWaypoint(pOwn);
  EXPECT_FALSE(m_edit.AppendToRoute(At(0, 0), 3.0));
  // Without a selection a new point at the map point.
  ASSERT_TRUE(m_edit.AppendToRoute(At(300, 50), 4.0));
  ASSERT_EQ(pRoute->points.size(), 3u);
  EXPECT_EQ(m_view.ToScreenDoubled(pRoute->points[2].GetX(), pRoute->points[2].GetY()).x, 300);
  // The bounding rectangle follows the points.
  EXPECT_LE(pRoute->rcBounds.left, At(100, 0).x);
  EXPECT_GE(pRoute->rcBounds.right, At(300, 0).x);
  EXPECT_EQ(g_cAsserts, 0);
}

TEST_F(MapEditTest, TheRouteIsCalculatedAfterItsPointsChange) {
  static int s_cCalls;
  s_cCalls = 0;
  m_edit.SetCalculateRoute([](CWaypointStore&, Route&) { ++s_cCalls; });
  ASSERT_TRUE(m_edit.StartRoute(At(10, 10), 0));
  ASSERT_TRUE(m_edit.AppendToRoute(At(20, 10), 0));
  EXPECT_EQ(s_cCalls, 2);
}

TEST_F(MapEditTest, RemoveFromRouteDropsTheWaypointsPointAndARoutesOwnPoint) {
  ASSERT_TRUE(m_edit.StartRoute(At(10, 10), 0));
  Route* pRoute = m_edit.GetEditedRoute();
  Waypoint* pMade = pRoute->points[0].pWaypoint;
  Waypoint* pOwn = AddWaypointAt(200, 200, u"Own");
  m_edit.SelectWaypoint(pOwn);
  ASSERT_TRUE(m_edit.AppendToRoute(At(0, 0), 0));

  // Not while a waypoint is being moved.
  m_edit.SelectWaypoint(pOwn);
  ASSERT_TRUE(m_edit.StartMoving());
  m_edit.SelectWaypoint(pOwn);
  EXPECT_TRUE(m_edit.IsWaypointInEditedRoute());
  EXPECT_FALSE(m_edit.CanRemoveFromRoute());
  EXPECT_FALSE(m_edit.RemoveFromRoute());
  EXPECT_EQ(pRoute->points.size(), 2u);
  ASSERT_TRUE(m_edit.CancelMoving());

  m_edit.SelectWaypoint(pOwn);
  ASSERT_TRUE(m_edit.RemoveFromRoute());
  ASSERT_EQ(pRoute->points.size(), 1u);
  EXPECT_EQ(pOwn->cRoutePoints, 0u);
  EXPECT_FALSE(pOwn->IsDeleted());  // the user's own waypoint stays
  m_edit.SelectWaypoint(pMade);
  ASSERT_TRUE(m_edit.RemoveFromRoute());
  EXPECT_TRUE(pMade->IsDeleted());  // made for the route: gone with its point
  // A waypoint not in the route.
  m_edit.SelectWaypoint(pOwn);
  EXPECT_FALSE(m_edit.IsWaypointInEditedRoute());
  EXPECT_FALSE(m_edit.RemoveFromRoute());
}

TEST_F(MapEditTest, InsertedPointMovesToTheChosenPlace) {
  Route* pRoute = AddRoute({{50, 50}, {150, 50}, {250, 50}});
  ASSERT_TRUE(m_edit.SelectAt(m_view, 200, 52, true, true));
  EXPECT_EQ(m_edit.GetSelectedRoute(), pRoute);
  EXPECT_EQ(m_edit.GetSelectedPoint(), 1);
  EXPECT_EQ(m_edit.ChooseContextMenu(), mcmRoute);
  ASSERT_TRUE(m_edit.InsertPoint(At(200, 52), 0));
  ASSERT_EQ(pRoute->points.size(), 4u);
  Waypoint* pNew = pRoute->points[2].pWaypoint;
  ASSERT_NE(pNew, nullptr);
  EXPECT_NE(pNew->dwFlags & wfMadeForRoute, 0u);
  EXPECT_EQ(m_edit.GetMovingWaypoint(), pNew);
  EXPECT_EQ(m_edit.ChooseContextMenu(), mcmMovingWaypoint);

  const int32_t nBottomBefore = pRoute->rcBounds.bottom;
  ASSERT_TRUE(m_edit.CanMoveHere());
  ASSERT_TRUE(m_edit.MoveHere(At(200, 10)));  // north of the line
  EXPECT_EQ(m_edit.GetMovingWaypoint(), nullptr);
  EXPECT_EQ(pNew->x, At(200, 10).x * 2);
  EXPECT_EQ(pNew->y, At(200, 10).y * 2);
  EXPECT_GT(pRoute->rcBounds.bottom, nBottomBefore);  // recomputed
  EXPECT_FALSE(m_edit.MoveHere(At(0, 0)));            // nothing moving any more
}

TEST_F(MapEditTest, MovingAWaypointRecomputesEveryRouteThroughIt) {
  Route* pA = AddRoute({{50, 50}, {100, 50}});
  Route* pB = m_store.NewRoute(0);
  Waypoint* pShared = pA->points[1].pWaypoint;
  ASSERT_TRUE(m_store.InsertWaypoint(pB, -1, pShared));
  ASSERT_TRUE(m_store.InsertWaypoint(pB, 0, AddWaypointAt(100, 100, nullptr)));
  m_edit.SelectWaypoint(pShared);
  ASSERT_TRUE(m_edit.StartMoving());
  ASSERT_TRUE(m_edit.MoveHere(At(350, 250)));
  EXPECT_GE(pA->rcBounds.right, At(350, 0).x);
  EXPECT_GE(pB->rcBounds.right, At(350, 0).x);
  EXPECT_LE(pB->rcBounds.top, At(0, 250).y);
}

TEST_F(MapEditTest, ContinueEndAndReverse) {
  Route* pRoute = AddRoute({{50, 50}, {150, 50}});
  Waypoint* pFirst = pRoute->points[0].pWaypoint;
  m_edit.SelectRoute(pRoute, 0);
  EXPECT_TRUE(m_edit.CanContinueSelectedRoute());
  ASSERT_TRUE(m_edit.ContinueSelectedRoute());
  EXPECT_EQ(m_edit.GetEditedRoute(), pRoute);
  m_edit.SelectRoute(pRoute, 0);
  EXPECT_TRUE(m_edit.CanChangeSelectedRoute());
  EXPECT_FALSE(m_edit.CanContinueSelectedRoute());  // already the edited one
  EXPECT_FALSE(m_edit.ContinueSelectedRoute());
  m_edit.SelectRoute(pRoute, 0);
  ASSERT_TRUE(m_edit.ReverseSelectedRoute());
  EXPECT_EQ(pRoute->points[1].pWaypoint, pFirst);
  EXPECT_TRUE(m_edit.EndEditing());
  EXPECT_FALSE(m_edit.EndEditing());
  EXPECT_EQ(m_edit.ChooseContextMenu(), mcmMap);
}

TEST_F(MapEditTest, DeletedRecordsLeaveTheState) {
  // Deleting the edited route ends editing and drops its own points, even
  // the one being moved.
  ASSERT_TRUE(m_edit.StartRoute(At(10, 10), 0));
  Route* pRoute = m_edit.GetEditedRoute();
  ASSERT_TRUE(m_edit.AppendToRoute(At(100, 10), 0));
  Waypoint* pMade = pRoute->points[1].pWaypoint;
  m_edit.SelectWaypoint(pMade);
  ASSERT_TRUE(m_edit.StartMoving());
  m_edit.SelectRoute(pRoute, 0);
  ASSERT_TRUE(m_edit.DeleteSelectedRoute());
  EXPECT_TRUE(pRoute->IsDeleted());
  EXPECT_TRUE(pMade->IsDeleted());
  EXPECT_EQ(m_edit.GetEditedRoute(), nullptr);
  EXPECT_EQ(m_edit.GetMovingWaypoint(), nullptr);

  // Deleting the moving waypoint stops moving; a waypoint in a route is kept.
  Waypoint* pLone = AddWaypointAt(300, 200, u"Lone");
  m_edit.SelectWaypoint(pLone);
  ASSERT_TRUE(m_edit.StartMoving());
  m_edit.SelectWaypoint(pLone);
  ASSERT_TRUE(m_edit.DeleteSelectedWaypoint());
  EXPECT_EQ(m_edit.GetMovingWaypoint(), nullptr);
  Route* pOther = AddRoute({{20, 20}, {40, 40}});
  m_edit.SelectWaypoint(pOther->points[0].pWaypoint);
  EXPECT_FALSE(m_edit.DeleteSelectedWaypoint());
  EXPECT_FALSE(pOther->points[0].pWaypoint->IsDeleted());
}

TEST_F(MapEditTest, ClearingTheStoreResetsTheState) {
  ASSERT_TRUE(m_edit.StartRoute(At(10, 10), 0));
  Waypoint* pWp = AddWaypointAt(50, 50, u"W");
  m_edit.SelectWaypoint(pWp);
  ASSERT_TRUE(m_edit.StartMoving());
  m_edit.SelectWaypoint(pWp);
  m_store.Clear();  // every record freed
  EXPECT_EQ(m_edit.GetEditedRoute(), nullptr);
  EXPECT_EQ(m_edit.GetMovingWaypoint(), nullptr);
  EXPECT_EQ(m_edit.GetSelectedWaypoint(), nullptr);
  EXPECT_EQ(m_edit.ChooseContextMenu(), mcmMap);
  EXPECT_FALSE(m_edit.AppendToRoute(At(0, 0), 0));
  EXPECT_EQ(m_store.CountRoutes(), 0u);
  // Loading again does the same.
  ASSERT_TRUE(m_edit.StartRoute(At(10, 10), 0));
  std::vector<uint8_t> bytes;
  m_store.Save(bytes);
  ASSERT_EQ(m_store.Load(bytes.data(), bytes.size(), false), slrLoaded);
  EXPECT_EQ(m_edit.GetEditedRoute(), nullptr);
}

TEST_F(MapEditTest, NothingIsAllowedOnTheActiveRoute) {
  Route* pRoute = AddRoute({{50, 50}, {150, 50}, {250, 50}});
  Waypoint* pOnRoute = pRoute->points[1].pWaypoint;
  m_edit.SelectRoute(pRoute, 0);
  ASSERT_TRUE(m_edit.ContinueSelectedRoute());
  m_store.SetActiveRoute(pRoute);
  const int32_t x = pOnRoute->x, y = pOnRoute->y;

  EXPECT_FALSE(m_edit.CanAppend());
  EXPECT_FALSE(m_edit.AppendToRoute(At(300, 300), 0));
  m_edit.SelectWaypoint(pOnRoute);
  EXPECT_FALSE(m_edit.RemoveFromRoute());
  m_edit.SelectWaypoint(pOnRoute);
  EXPECT_FALSE(m_edit.CanMoveWaypoint());
  EXPECT_FALSE(m_edit.StartMoving());
  EXPECT_FALSE(m_edit.StartRoute(At(0, 0), 0));  // the edited route is locked
  m_edit.SelectRoute(pRoute, 1);
  EXPECT_FALSE(m_edit.CanChangeSelectedRoute());
  EXPECT_FALSE(m_edit.InsertPoint(At(200, 60), 0));
  m_edit.SelectRoute(pRoute, 1);
  EXPECT_FALSE(m_edit.ReverseSelectedRoute());
  m_edit.SelectRoute(pRoute, 1);
  EXPECT_FALSE(m_edit.DeleteSelectedRoute());
  m_edit.SelectRoute(pRoute, 1);
  EXPECT_FALSE(m_edit.ContinueSelectedRoute());
  EXPECT_FALSE(m_edit.BeginDrag(m_view, 150, 50, true));

  // A waypoint picked for moving before the route became active stays put.
  m_store.SetActiveRoute(nullptr);
  m_edit.SelectWaypoint(pOnRoute);
  ASSERT_TRUE(m_edit.StartMoving());
  m_store.SetActiveRoute(pRoute);
  EXPECT_FALSE(m_edit.CanMoveHere());
  EXPECT_FALSE(m_edit.MoveHere(At(300, 300)));

  EXPECT_EQ(pRoute->points.size(), 3u);
  EXPECT_EQ(pRoute->points[1].pWaypoint, pOnRoute);
  EXPECT_EQ(pOnRoute->x, x);
  EXPECT_EQ(pOnRoute->y, y);
  EXPECT_FALSE(pRoute->IsDeleted());
  EXPECT_EQ(m_store.CountRoutes(), 1u);
  EXPECT_EQ(m_store.CountWaypoints(), 3u);
  EXPECT_EQ(g_cAsserts, 0);  // refused before the store was asked
}

TEST_F(MapEditTest, WaypointMenuEnabling) {
  Waypoint* pWp = AddWaypointAt(100, 100, u"W");
  ASSERT_TRUE(m_edit.SelectAt(m_view, 102, 101, true, true));
  EXPECT_EQ(m_edit.GetSelectedWaypoint(), pWp);
  EXPECT_EQ(m_edit.ChooseContextMenu(), mcmWaypoint);
  EXPECT_TRUE(m_edit.CanStartRoute());
  EXPECT_FALSE(m_edit.CanAppend());
  EXPECT_FALSE(m_edit.IsWaypointInEditedRoute());
  // Waypoints not shown: nothing to select there.
  EXPECT_FALSE(m_edit.SelectAt(m_view, 102, 101, false, true));
  EXPECT_EQ(m_edit.ChooseContextMenu(), mcmMap);
  // A route started from the selected waypoint holds it.
  ASSERT_TRUE(m_edit.SelectAt(m_view, 102, 101, true, true));
  ASSERT_TRUE(m_edit.StartRoute(At(0, 0), 0));
  EXPECT_EQ(m_edit.GetEditedRoute()->points[0].pWaypoint, pWp);
  ASSERT_TRUE(m_edit.SelectAt(m_view, 102, 101, true, true));
  EXPECT_FALSE(m_edit.CanStartRoute());
  EXPECT_TRUE(m_edit.CanAppend());
  EXPECT_TRUE(m_edit.IsWaypointInEditedRoute());
  EXPECT_TRUE(m_edit.CanRemoveFromRoute());
}

// ------------------------------------------------------------ dragging

TEST_F(MapEditTest, DraggingAPointStoresItsNewPlace) {
  Route* pRoute = AddRoute({{50, 50}, {150, 50}});
  RoutePoint rpFree;
  const MapPoint ptFree = At(250, 50);
  rpFree.x = ptFree.x * 2;
  rpFree.y = ptFree.y * 2;
  pRoute->points.push_back(rpFree);
  RecomputeRoute(*pRoute);
  m_edit.SelectRoute(pRoute, 0);
  ASSERT_TRUE(m_edit.ContinueSelectedRoute());

  EXPECT_FALSE(m_edit.BeginDrag(m_view, 150, 50, false));  // waypoints hidden
  EXPECT_FALSE(m_edit.BeginDrag(m_view, 100, 50, true));   // between points
  ASSERT_TRUE(m_edit.BeginDrag(m_view, 152, 47, true));
  EXPECT_EQ(m_edit.GetDragPoint(), 1);
  m_edit.DragTo(160, 120);
  EXPECT_EQ(m_edit.GetDragPosition().y, 120);
  ASSERT_TRUE(m_edit.EndDrag(m_view, 160, 120));
  EXPECT_FALSE(m_edit.IsDragging());
  const VPoint pt = m_view.ToScreenDoubled(pRoute->points[1].GetX(), pRoute->points[1].GetY());
  EXPECT_EQ(pt.x, 160);
  EXPECT_EQ(pt.y, 120);
  EXPECT_EQ(pRoute->points[1].pWaypoint->x, At(160, 120).x * 2);

  // A point of its own keeps no waypoint.
  ASSERT_TRUE(m_edit.BeginDrag(m_view, 250, 50, true));
  ASSERT_TRUE(m_edit.EndDrag(m_view, 260, 200));
  EXPECT_EQ(pRoute->points[2].pWaypoint, nullptr);
  EXPECT_EQ(pRoute->points[2].x, At(260, 200).x * 2);
  EXPECT_LE(pRoute->rcBounds.top, At(0, 200).y);
  EXPECT_FALSE(m_edit.EndDrag(m_view, 0, 0));  // nothing dragged
}

// ------------------------------------------------------------ overlays

TEST_F(MapEditTest, EditedRouteOverlayIsGreyWithWhiteDots) {
  Route* pRoute = AddRoute({{40, 150}, {360, 150}});
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(c_cx, c_cy));
  platform::CBrush black(platform::bkSolid, 0x000000);
  const VRect rcAll = {0, 0, c_cx, c_cy};
  pCanvas->FillRect(rcAll, &black);

  DrawEditedRouteOverlay(pCanvas.get(), m_view, m_edit);  // nothing edited
  EXPECT_EQ(pCanvas->GetPixel(200, 150), 0u);

  m_edit.SelectRoute(pRoute, 0);
  ASSERT_TRUE(m_edit.ContinueSelectedRoute());
  DrawEditedRouteOverlay(pCanvas.get(), m_view, m_edit);
  int cGrey = 0, cWhite = 0, cOther = 0;
  for (int x = 50; x < 350; ++x) {
    const COLORREF cr = pCanvas->GetPixel(x, 150);
    cGrey += cr == c_crEditedRoute;
    cWhite += cr == c_crEditedRouteDots;
    cOther += cr != c_crEditedRoute && cr != c_crEditedRouteDots;
  }
  EXPECT_GT(cGrey, 100);
  EXPECT_GT(cWhite, 100);
  EXPECT_EQ(cOther, 0);
  EXPECT_EQ(pCanvas->GetPixel(200, 148), 0u);  // one pixel wide
  EXPECT_EQ(pCanvas->GetPixel(200, 152), 0u);

  // The route under guidance gets no overlay.
  pCanvas->FillRect(rcAll, &black);
  m_store.SetActiveRoute(pRoute);
  DrawEditedRouteOverlay(pCanvas.get(), m_view, m_edit);
  EXPECT_EQ(pCanvas->GetPixel(200, 150), 0u);
}

TEST_F(MapEditTest, DraggedPointBendsTheOverlay) {
  Route* pRoute = AddRoute({{40, 150}, {200, 150}, {360, 150}});
  m_edit.SelectRoute(pRoute, 0);
  ASSERT_TRUE(m_edit.ContinueSelectedRoute());
  ASSERT_TRUE(m_edit.BeginDrag(m_view, 200, 150, true));
  m_edit.DragTo(200, 50);
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(c_cx, c_cy));
  DrawEditedRouteOverlay(pCanvas.get(), m_view, m_edit);
  EXPECT_EQ(pCanvas->GetPixel(200, 150), 0xFFFFFFu);  // the straight line is gone
  // The segment to the pointer passes (120, 100); its dots are white, so
  // look for the grey between them.
  int cGrey = 0;
  for (int y = 90; y < 110; ++y)
    for (int x = 110; x < 130; ++x)
      cGrey += pCanvas->GetPixel(x, y) == c_crEditedRoute;
  EXPECT_GT(cGrey, 3);
}

TEST_F(MapEditTest, SelectionOverlayRingsTheSelectedAndTheMovingWaypoint) {
  Waypoint* pA = AddWaypointAt(100, 100, u"A");
  Waypoint* pB = AddWaypointAt(300, 100, u"B");
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(c_cx, c_cy));
  auto CountColour = [&](int xc, COLORREF cr) {
    int n = 0;
    for (int y = 80; y <= 120; ++y)
      for (int x = xc - 20; x <= xc + 20; ++x)
        n += pCanvas->GetPixel(x, y) == cr;
    return n;
  };
  m_edit.SelectWaypoint(pB);
  ASSERT_TRUE(m_edit.StartMoving());
  m_edit.SelectWaypoint(pA);
  DrawSelectionOverlay(pCanvas.get(), m_view, m_edit);
  EXPECT_GT(CountColour(100, c_crSelectedRing), 20);
  EXPECT_EQ(CountColour(100, c_crMovingRing), 0);
  EXPECT_GT(CountColour(300, c_crMovingRing), 10);
  EXPECT_EQ(pCanvas->GetPixel(100, 100), 0xFFFFFFu);  // the waypoint itself stays visible
}

}  // namespace
