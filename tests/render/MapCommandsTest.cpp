// The map page's menu rules over the editing state, the object the hit
// test takes from a nearest-first query, and the position marker drawn
// from the cursor the page is given.
#include <gtest/gtest.h>

#include <vector>

#include "settings/Settings.h"
#include "render/overlay/MapCommands.h"
#include "render/MapObjects.h"
#include "render/PositionMarker.h"
#include "platform/Canvas.h"
#include "view/MapUnits.h"
#include <memory>
#include "render/Screen.h"
#include "render/overlay/MapEdit.h"
#include "store/WaypointStore.h"

using namespace mapmenu;

namespace {

class MapCommandsTest : public ::testing::Test {
 protected:
  MapCommandsTest() : m_store(&m_pActive), m_edit(&m_store) {}
  void SetUp() override {
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    render::SetScreenScale(1, 1);
    m_state.pEdit = &m_edit;
  }
  void TearDown() override { ResetAllSettings(); }

  Waypoint* NewWaypoint() { return m_store.NewWaypoint(30, 50, 0, 0, false, u"W"); }
  Route* NewRoute(int cPoints) {
    Route* pRoute = m_store.NewRoute(0);
    for (int i = 0; i < cPoints; ++i)
      EXPECT_TRUE(m_store.InsertWaypoint(pRoute, int(pRoute->points.size()) - 1, NewWaypoint()));
    return pRoute;
  }

  Route* m_pActive = nullptr;
  CWaypointStore m_store;
  CMapEdit m_edit;
  MapMenuState m_state;
};

TEST_F(MapCommandsTest, NothingSelectedPropertiesFollowTheHitTest) {
  EXPECT_FALSE(CanShowProperties(m_state));
  m_state.fMapObject = true;
  EXPECT_TRUE(CanShowProperties(m_state));
  EXPECT_TRUE(CanStartRoute(m_state));
  EXPECT_FALSE(CanAppendToRoute(m_state));
  EXPECT_FALSE(CanMoveHere(m_state));
  EXPECT_FALSE(CanChangeRoute(m_state));
  // Without an editing state at all the same answers.
  MapMenuState bare;
  EXPECT_FALSE(CanShowProperties(bare));
  bare.fMapObject = true;
  EXPECT_TRUE(CanShowProperties(bare));
  EXPECT_TRUE(CanStartRoute(bare));
  EXPECT_FALSE(CanRemoveFromRoute(bare));
}

TEST_F(MapCommandsTest, SelectedWaypointOnAndOffTheActiveRoute) {
  Route* pRoute = NewRoute(2);
  Waypoint* pFree = NewWaypoint();
  m_edit.SelectWaypoint(pFree);
  EXPECT_TRUE(CanShowProperties(m_state));  // of the waypoint, whatever the hit test found
  EXPECT_TRUE(CanDeleteWaypoint(m_state));
  EXPECT_TRUE(CanMoveWaypoint(m_state));
  EXPECT_FALSE(CanRemoveFromRoute(m_state));  // no route is being edited
  m_store.SetActiveRoute(pRoute);
  m_edit.SelectWaypoint(pRoute->points[0].pWaypoint);
  EXPECT_TRUE(CanShowProperties(m_state));
  EXPECT_FALSE(CanDeleteWaypoint(m_state));
  EXPECT_FALSE(CanMoveWaypoint(m_state));
}

TEST_F(MapCommandsTest, SelectedRouteChangesUnlessActive) {
  Route* pRoute = NewRoute(3);
  m_state.fMapObject = true;
  m_edit.SelectRoute(pRoute, 1);
  EXPECT_TRUE(CanChangeRoute(m_state));
  EXPECT_TRUE(CanContinueRoute(m_state));
  EXPECT_TRUE(CanShowProperties(m_state));
  m_store.SetActiveRoute(pRoute);
  EXPECT_FALSE(CanChangeRoute(m_state));
  EXPECT_FALSE(CanContinueRoute(m_state));
  EXPECT_FALSE(CanShowProperties(m_state));  // the route's, not the map object's
  m_store.SetActiveRoute(nullptr);
  // The route being edited is not continued again.
  ASSERT_TRUE(m_edit.ContinueSelectedRoute());
  m_edit.SelectRoute(pRoute, 1);
  EXPECT_TRUE(CanChangeRoute(m_state));
  EXPECT_FALSE(CanContinueRoute(m_state));
}

TEST_F(MapCommandsTest, EditingAndMoving) {
  Route* pRoute = NewRoute(2);
  m_edit.SelectRoute(pRoute, 0);
  ASSERT_TRUE(m_edit.ContinueSelectedRoute());
  EXPECT_FALSE(CanStartRoute(m_state));
  EXPECT_TRUE(CanAppendToRoute(m_state));
  m_edit.SelectWaypoint(pRoute->points[1].pWaypoint);
  EXPECT_TRUE(CanRemoveFromRoute(m_state));
  ASSERT_TRUE(m_edit.StartMoving());
  EXPECT_TRUE(CanMoveHere(m_state));
  m_edit.SelectWaypoint(pRoute->points[1].pWaypoint);
  EXPECT_FALSE(CanRemoveFromRoute(m_state));  // not while a waypoint is being moved
  m_store.SetActiveRoute(pRoute);
  EXPECT_FALSE(CanMoveHere(m_state));
  EXPECT_FALSE(CanAppendToRoute(m_state));
}

TEST_F(MapCommandsTest, FixedRulesAndTheGaugeCheck) {
  EXPECT_TRUE(Always(m_state));
  EXPECT_FALSE(Never(m_state));
  EXPECT_FALSE(AreGaugesShown(m_state));
  m_state.fGaugesShown = true;
  EXPECT_TRUE(AreGaugesShown(m_state));
}

// A nearest-first query of objects of the given kinds; items listed in
// aFailing cannot be read.
class CFakeQuery : public CMapQuery {
 public:
  CFakeQuery(std::vector<int> kinds, std::vector<uint32_t> failing = {}) : m_kinds(kinds), m_failing(failing) {}
  DWORD GetLocale() override { return 0; }
  uint32_t GetCount() override { return uint32_t(m_kinds.size()); }
  bool GetItem(uint32_t i, FoundObject* pObject, uint32_t) override {
    for (uint32_t f : m_failing)
      if (f == i)
        return false;
    if (i >= m_kinds.size())
      return false;
    pObject->nKind = m_kinds[i];
    return true;
  }
  uint32_t FindByName(const char16_t*) override { return 0; }
  void SetReference(MapPoint) override {}

 private:
  std::vector<int> m_kinds;
  std::vector<uint32_t> m_failing;
};

TEST(MapObjectsTest, HitTakesTheNearestOfTheMostSpecificKind) {
  CFakeQuery pointAfterOthers({rkPolygon, rkPolyline, rkPoint, rkPoint});
  EXPECT_EQ(ChooseHitItem(pointAfterOthers), 2u);
  CFakeQuery lineOverArea({rkPolygon, rkPolyline, rkPolyline});
  EXPECT_EQ(ChooseHitItem(lineOverArea), 1u);
  CFakeQuery areaOnly({rkPolygon, rkPolygon});
  EXPECT_EQ(ChooseHitItem(areaOnly), 0u);
  CFakeQuery none({});
  EXPECT_EQ(ChooseHitItem(none), 0u);  // the count: nothing
  // An item that cannot be read is passed over.
  CFakeQuery unreadablePoint({rkPolyline, rkPoint, rkPoint}, {1});
  EXPECT_EQ(ChooseHitItem(unreadablePoint), 2u);
  CFakeQuery allUnreadable({rkPoint}, {0});
  EXPECT_EQ(ChooseHitItem(allUnreadable), 1u);
  // Without a map there is nothing to hit.
  CMapPosition view;
  FoundObject obj;
  obj.nKind = 7;
  EXPECT_FALSE(HitMapObject(nullptr, view, 10, 10, 10, obj));
  EXPECT_EQ(obj.nKind, 0);  // cleared
}

// The red of the marker's body.
const COLORREF c_crMarker = RGB(220, 30, 30);

int CountMarkerPixels(platform::CCanvas& canvas, int x0, int y0, int x1, int y1) {
  int c = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      c += canvas.GetPixel(x, y) == c_crMarker;
  return c;
}

TEST(PositionMarkerTest, MarkerIsDrawnAtTheCursorOnlyWhenItIsValid) {
  render::SetScreenScale(1, 1);
  CMapPosition view;
  view.SetOrigin(50, 50);
  view.SetViewSize(100, 100);
  view.SetScale(10);
  view.SetCentre(DegreesToMap(30.0), DegreesToMap(50.0));
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(100, 100));
  CursorMark cursor;
  cursor.dLon = 30.0;
  cursor.dLat = 50.0;
  cursor.dHeading = 0;
  DrawPositionMarker(pCanvas.get(), view, cursor);  // not valid: nothing
  EXPECT_EQ(CountMarkerPixels(*pCanvas, 0, 0, 100, 100), 0);
  cursor.fValid = true;
  DrawPositionMarker(pCanvas.get(), view, cursor);
  // An arrow pointing north at the centre: its body is around the origin,
  // its tip above it.
  EXPECT_GT(CountMarkerPixels(*pCanvas, 40, 40, 60, 60), 20);
  EXPECT_EQ(CountMarkerPixels(*pCanvas, 0, 0, 100, 30), 0);
  EXPECT_EQ(CountMarkerPixels(*pCanvas, 0, 70, 100, 100), 0);
  EXPECT_GT(CountMarkerPixels(*pCanvas, 45, 38, 55, 45), 0);  // the tip, north
  EXPECT_EQ(CountMarkerPixels(*pCanvas, 47, 57, 53, 62), 0);  // the notch at the back
  // Heading south: the tip below the origin.
  pCanvas.reset(platform::CreateSoftCanvas(100, 100));
  cursor.dHeading = 180;
  DrawPositionMarker(pCanvas.get(), view, cursor);
  EXPECT_GT(CountMarkerPixels(*pCanvas, 45, 55, 55, 62), 0);
  // A cursor elsewhere moves the marker with it.
  pCanvas.reset(platform::CreateSoftCanvas(100, 100));
  const MapPoint pt = view.ToMap(20, 80);
  cursor.dLon = MapToDegrees(pt.x);
  cursor.dLat = MapToDegrees(pt.y);
  cursor.dHeading = -1;  // none: a disc
  DrawPositionMarker(pCanvas.get(), view, cursor);
  EXPECT_EQ(CountMarkerPixels(*pCanvas, 40, 40, 60, 60), 0);
  EXPECT_GT(CountMarkerPixels(*pCanvas, 15, 75, 25, 85), 0);
}

}  // namespace
