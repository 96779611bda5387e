// The command table against the program's own menu resources, on the real
// menu API (run under Wine).
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "app/CommandTable.h"
#include "app/GaugeGlue.h"
#include "gauges/Gauge.h"
#include "app/res/app_ids.h"

namespace {

// The command ids of a menu and its popups.
void CollectItems(HMENU hMenu, std::vector<unsigned>& ids) {
  const int cItems = ::GetMenuItemCount(hMenu);
  for (int i = 0; i < cItems; ++i) {
    if (HMENU hSub = ::GetSubMenu(hMenu, i)) {
      CollectItems(hSub, ids);
      continue;
    }
    const UINT id = ::GetMenuItemID(hMenu, i);
    if (id != 0 && id != UINT(-1)) ids.push_back(id);  // not a separator
  }
}

HMENU LoadProgramMenu(unsigned idMenu) { return ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(idMenu)); }

bool IsGrayed(HMENU hMenu, unsigned id) { return (::GetMenuState(hMenu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; }
bool IsChecked(HMENU hMenu, unsigned id) { return (::GetMenuState(hMenu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

TEST(CommandTableWinTest, EveryCommandOnceWithItsHandlerAndRule) {
  size_t cEntries = 0;
  const CommandEntry* pTable = GetCommandTable(cEntries);
  ASSERT_GT(cEntries, 40u);
  std::set<unsigned> ids;
  for (size_t i = 0; i < cEntries; ++i) {
    EXPECT_TRUE(ids.insert(pTable[i].id).second) << pTable[i].id << " twice";
    EXPECT_NE(pTable[i].pfnRun, nullptr) << pTable[i].id;
    EXPECT_NE(pTable[i].pfnEnabled, nullptr) << pTable[i].id;
    EXPECT_EQ(FindCommand(pTable[i].id), &pTable[i]);
  }
  EXPECT_EQ(FindCommand(12345), nullptr);
  EXPECT_FALSE(RunCommand(12345));
}

TEST(CommandTableWinTest, EveryItemOfEveryMenuIsInTheTable) {
  for (unsigned idMenu : {IDM_MAIN, IDM_MAP_CONTEXT, IDM_GAUGE_CONTEXT, IDM_ROUTE_CONTEXT, IDM_WAYPOINT_CONTEXT,
                          IDM_EDIT_ROUTE_CONTEXT, IDM_MOVE_POINT_CONTEXT}) {
    HMENU hMenu = LoadProgramMenu(idMenu);
    ASSERT_NE(hMenu, nullptr) << "menu " << idMenu;
    std::vector<unsigned> items;
    CollectItems(hMenu, items);
    EXPECT_FALSE(items.empty()) << "menu " << idMenu;
    for (unsigned id : items) EXPECT_NE(FindCommand(id), nullptr) << "menu " << idMenu << ": item " << id;
    ::DestroyMenu(hMenu);
  }
}

TEST(CommandTableWinTest, RulesGreyAndCheckTheMapMenusItems) {
  HMENU hMenu = LoadProgramMenu(IDM_MAP_CONTEXT);
  ASSERT_NE(hMenu, nullptr);
  HMENU hPopup = ::GetSubMenu(hMenu, 0);
  MapMenuState state;  // nothing selected or edited
  state.fGaugesShown = true;
  ApplyCommandRules(hPopup, state);
  EXPECT_TRUE(IsGrayed(hPopup, cmdGoToPoint));  // no map open: nowhere to go to
  EXPECT_FALSE(IsGrayed(hPopup, cmdNewWaypointHere));
  EXPECT_FALSE(IsGrayed(hPopup, cmdStartRoute));
  EXPECT_TRUE(IsGrayed(hPopup, cmdProperties));  // no map object under the pointer
  EXPECT_TRUE(IsChecked(hPopup, cmdShowMapGauges));
  state.fMapObject = true;
  state.fGaugesShown = false;
  ApplyCommandRules(hPopup, state);
  EXPECT_FALSE(IsGrayed(hPopup, cmdProperties));
  EXPECT_FALSE(IsChecked(hPopup, cmdShowMapGauges));
  // Full screen hides the menu bar: the map menu is the way back, checked.
  EXPECT_FALSE(IsGrayed(hPopup, cmdFullScreen));
  EXPECT_FALSE(IsChecked(hPopup, cmdFullScreen));
  ::DestroyMenu(hMenu);
  // The gauge menu: choosing, resetting all and the default set always;
  // resetting one only when the gauge under the menu can be reset.
  hMenu = LoadProgramMenu(IDM_GAUGE_CONTEXT);
  ASSERT_NE(hMenu, nullptr);
  hPopup = ::GetSubMenu(hMenu, 0);
  SetGaugeUnderMenu(FindGauge(u"speed"));
  ApplyCommandRules(hPopup, state);
  for (unsigned id : {cmdChooseGauge, cmdResetAllGauges, cmdDefaultGauges}) EXPECT_FALSE(IsGrayed(hPopup, id)) << id;
  EXPECT_TRUE(IsGrayed(hPopup, cmdResetGauge));
  SetGaugeUnderMenu(FindGauge(u"tripodometer"));
  ApplyCommandRules(hPopup, state);
  EXPECT_FALSE(IsGrayed(hPopup, cmdResetGauge));
  SetGaugeUnderMenu(nullptr);
  ::DestroyMenu(hMenu);
}

}  // namespace
