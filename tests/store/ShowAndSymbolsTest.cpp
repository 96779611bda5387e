#include <gtest/gtest.h>

#include <string>

#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "store/ShowOnMap.h"
#include "store/SymbolRing.h"
#include "store/WaypointStore.h"

namespace {

TEST(SymbolRing, ParseIgnoresValuesOutsideTheSymbols) {
  CSymbolRing ring;
  ring.Parse(u"19 1 0 222 221 abc 7  300000000000 5");
  ASSERT_EQ(ring.Count(), 5u);
  EXPECT_EQ(ring.Symbol(0), 18u);
  EXPECT_EQ(ring.Symbol(1), 0u);
  EXPECT_EQ(ring.Symbol(2), 220u);
  EXPECT_EQ(ring.Symbol(3), 6u);
  EXPECT_EQ(ring.Symbol(4), 4u);
  EXPECT_EQ(ring.Format(), u"19 1 221 7 5 ");
  ring.Parse(nullptr);
  EXPECT_EQ(ring.Count(), 0u);
  EXPECT_EQ(ring.Format(), u"");
}

TEST(SymbolRing, AddReplacesTheOldestAfterThirty) {
  CSymbolRing ring;
  for (unsigned i = 0; i < 30; ++i) ring.Add(i);
  EXPECT_EQ(ring.Count(), 30u);
  ring.Add(5);  // already there: nothing changes
  EXPECT_EQ(ring.Symbol(0), 0u);
  ring.Add(100);
  ring.Add(101);
  EXPECT_EQ(ring.Count(), 30u);
  EXPECT_EQ(ring.Symbol(0), 100u);
  EXPECT_EQ(ring.Symbol(1), 101u);
  EXPECT_EQ(ring.Symbol(2), 2u);
  ring.Add(221);  // not a symbol
  EXPECT_EQ(ring.Symbol(2), 2u);
  // saved oldest first, so that a loaded ring goes on replacing the oldest
  CSymbolRing again;
  again.Parse(ring.Format().c_str());
  EXPECT_EQ(again.Symbol(0), 2u);
  EXPECT_EQ(again.Symbol(29), 101u);
  again.Add(102);
  EXPECT_EQ(again.Symbol(0), 102u);
  EXPECT_EQ(again.Symbol(1), 3u);

  ResetAllSettings();
  again.SaveToSettings();
  CSymbolRing loaded;
  loaded.LoadFromSettings();
  EXPECT_EQ(loaded.Format(), again.Format());
  ResetAllSettings();
}

TEST(ShowOnMap, WaypointAndRoute) {
  ResetAllSettings();
  SetBool(setting::ShowWaypoints.pszName, false);
  SetBool(setting::ShowRoutes.pszName, false);
  CWaypointStore s;
  Waypoint* a = s.NewWaypoint(30, 60, 0, 0, false);
  Waypoint* b = s.NewWaypoint(30.2, 60.1, 0, 0, false);
  CMapPosition pos;
  pos.SetViewSize(400, 300);
  pos.SetOrigin(200, 150);
  ShowWaypoint(pos, *a);
  EXPECT_EQ(pos.GetCentreX(), a->x >> 1);
  EXPECT_EQ(pos.GetCentreY(), a->y >> 1);
  EXPECT_TRUE(GetBool(setting::ShowWaypoints.pszName, false));

  Route* r = s.NewRoute(0);
  EXPECT_FALSE(ShowRoute(pos, *r));
  EXPECT_FALSE(GetBool(setting::ShowRoutes.pszName, false));
  s.InsertWaypoint(r, -1, b);
  ASSERT_TRUE(ShowRoute(pos, *r));
  EXPECT_EQ(pos.GetCentreX(), b->x >> 1);
  EXPECT_TRUE(GetBool(setting::ShowRoutes.pszName, false));

  s.InsertWaypoint(r, 0, a);
  pos.SetScale(0);
  ASSERT_TRUE(ShowRoute(pos, *r));
  EXPECT_EQ(pos.GetCentreX(), ((a->x >> 1) + (b->x >> 1)) / 2);
  EXPECT_EQ(pos.GetCentreY(), ((a->y >> 1) + (b->y >> 1)) / 2);
  size_t nNear = pos.GetScale();
  EXPECT_GT(nNear, 0u);
  // a route ten times as wide needs a less detailed scale
  s.InsertWaypoint(r, 1, s.NewWaypoint(32, 61, 0, 0, false));
  ShowRoute(pos, *r);
  EXPECT_GT(pos.GetScale(), nNear);
  // the view shows all of it
  MapRectL view = pos.GetViewRect();
  EXPECT_LE(view.left, r->rcBounds.left);
  EXPECT_GE(view.right, r->rcBounds.right);
  ResetAllSettings();
}

}  // namespace
