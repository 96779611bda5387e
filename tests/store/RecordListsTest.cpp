#include <gtest/gtest.h>

#include <string>

#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "geo/Units.h"
#include "store/RecordLists.h"

namespace {

class RecordListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAllSettings();
    SetDword(setting::Language.pszName, 1049);
    ResetLanguageForTests();
  }
  void TearDown() override {
    ResetAllSettings();
    ResetLanguageForTests();
  }
};

std::u16string Date(double d) { return d == 45000.5 ? u"the date" : u"other"; }

TEST_F(RecordListsTest, WaypointRowsSortByColumnAndClicksReverse) {
  CWaypointStore s;
  Waypoint* far = s.NewWaypoint(31, 60, 45000.5, 100, true, u"beta");
  Waypoint* near = s.NewWaypoint(30.01, 60, 0, 0, false, u"Alpha");
  Waypoint* mid = s.NewWaypoint(30.5, 60, 1, -5, true, u"gamma");
  s.NewWaypoint(0, 0, 0, 0, false, u"deleted")->dwFlags |= wfDeleted;

  ListSort sort = LoadWaypointListSort();
  EXPECT_EQ(sort.nColumn, -1);
  EXPECT_TRUE(sort.fAscending);
  auto rows = GetWaypointRows(s, sort, 30, 60);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], mid);  // store order

  ClickListColumn(sort, wlcName);
  rows = GetWaypointRows(s, sort, 30, 60);
  EXPECT_EQ(rows[0], near);  // case does not count
  EXPECT_EQ(rows[2], mid);
  ClickListColumn(sort, wlcName);
  EXPECT_FALSE(sort.fAscending);
  EXPECT_EQ(GetWaypointRows(s, sort, 30, 60)[0], mid);

  ClickListColumn(sort, wlcDistance);
  EXPECT_TRUE(sort.fAscending);
  rows = GetWaypointRows(s, sort, 30, 60);
  EXPECT_EQ(rows[0], near);
  EXPECT_EQ(rows[2], far);
  ClickListColumn(sort, wlcAltitude);
  rows = GetWaypointRows(s, sort, 30, 60);
  EXPECT_EQ(rows[0], near);  // no altitude first
  EXPECT_EQ(rows[1], mid);

  SaveWaypointListSort(sort);
  ListSort loaded = LoadWaypointListSort();
  EXPECT_EQ(loaded.nColumn, int(wlcAltitude));
  EXPECT_TRUE(loaded.fAscending);
  SetDword(setting::Waypoints_SortCol.pszName, 99);  // out of range: unsorted
  EXPECT_EQ(LoadWaypointListSort().nColumn, -1);

  EXPECT_EQ(GetWaypointCell(*near, wlcAltitude, 30, 60, Date), u"-");
  EXPECT_EQ(GetWaypointCell(*near, wlcCreated, 30, 60, Date), u"-");
  EXPECT_EQ(GetWaypointCell(*far, wlcCreated, 30, 60, Date), u"the date");
  EXPECT_EQ(GetWaypointCell(*far, wlcShow, 30, 60, Date), u"Значок и имя");
  EXPECT_EQ(GetWaypointCell(*far, wlcType, 30, 60, Date), u"Путевая точка");
  EXPECT_EQ(GetWaypointCell(*far, wlcRoutes, 30, 60, Date), u"0");
  EXPECT_NE(GetWaypointCell(*far, wlcDistance, 30, 60, Date).find(u"км"), std::u16string::npos);
}

TEST_F(RecordListsTest, RouteRowsAndCells) {
  CWaypointStore s;
  Waypoint* a = s.NewWaypoint(30, 60, 0, 0, false);
  Waypoint* b = s.NewWaypoint(30.1, 60, 0, 0, false);
  Route* longer = s.NewRoute(45000.5, u"b");
  s.InsertWaypoint(longer, -1, a);
  s.InsertWaypoint(longer, 0, b);
  s.InsertWaypoint(longer, 1, a);
  Route* shorter = s.NewRoute(0, u"A");
  s.InsertWaypoint(shorter, -1, a);
  ListSort sort = LoadRouteListSort();
  ClickListColumn(sort, rlcLength);
  auto rows = GetRouteRows(s, sort);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], shorter);
  ClickListColumn(sort, rlcPoints);
  ClickListColumn(sort, rlcPoints);
  EXPECT_EQ(GetRouteRows(s, sort)[0], longer);
  EXPECT_EQ(GetRouteCell(*longer, rlcPoints, Date), u"3");
  EXPECT_EQ(GetRouteCell(*longer, rlcDuration, Date), u"-");
  EXPECT_EQ(GetRouteCell(*shorter, rlcChanged, Date), u"-");
  EXPECT_EQ(GetRouteCell(*longer, rlcChanged, Date), u"the date");
  EXPECT_NE(GetRouteCell(*longer, rlcLength, Date).find(u"км"), std::u16string::npos);
  EXPECT_EQ(GetActiveRouteRowColor(0xFFFFFF), 0xDFDFDFu);
  EXPECT_EQ(GetActiveRouteRowColor(0x102040), 0x000020u);
}

}  // namespace
