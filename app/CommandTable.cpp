#include "app/CommandTable.h"

#include "app/Features.h"
#include "app/GaugeGlue.h"
#include "app/Shell.h"
#include "settings/SettingsTable.h"
#include "render/overlay/MapEdit.h"
#include "store/Waypoint.h"

using namespace mapmenu;

namespace {

// The shell's rules (the state they are given is the map's).
bool CanZoomIn(const MapMenuState&) {
  Page* p = CurrentPage();
  return p && p->CanZoomIn();
}
bool CanZoomOut(const MapMenuState&) {
  Page* p = CurrentPage();
  return p && p->CanZoomOut();
}
bool IsMapOpenRule(const MapMenuState&) { return IsMapOpen(); }
bool CanResetGauge(const MapMenuState&) { return CanResetGaugeUnderMenu(); }
bool IsNavigating(const MapMenuState&) { return GetSettingBool(setting::Navigation) && IsNavigationRunning(); }
bool ArePortsOpenRule(const MapMenuState&) { return ArePortsOpen(); }
// "Follow route": a route with points is selected.
bool CanFollowRoute(const MapMenuState& state) {
  const Route* pRoute = state.pEdit ? state.pEdit->GetSelectedRoute() : nullptr;
  return pRoute && !pRoute->IsEmpty();
}
bool IsRecordingTrack(const MapMenuState&) { return GetSettingBool(setting::RecordTrack); }
bool IsFullScreenRule(const MapMenuState&) { return IsFullScreen(); }
template <unsigned iPage>
bool IsPageAvailable(const MapMenuState&) {
  static_assert(iPage < c_cPages, "a page of the main window");
  return g_apPages[iPage] && g_apPages[iPage]->IsAvailable();
}

const CommandEntry c_aCommands[] = {
    // The main menu: File.
    {cmdOpenMap, OnOpenMapCommand, Always, nullptr},
    {cmdOpenAtlas, OnOpenAtlasCommand, Always, nullptr},
    {cmdAboutMap, OnAboutMapCommand, IsMapOpenRule, nullptr},
    {cmdSaveGauges, OnSaveGaugesCommand, Always, nullptr},
    {cmdExit, OnExitCommand, Always, nullptr},
    // View.
    {cmdZoomIn, OnZoomInCommand, CanZoomIn, nullptr},
    {cmdZoomOut, OnZoomOutCommand, CanZoomOut, nullptr},
    {cmdNightMode, OnNightModeCommand, Always, nullptr},
    {cmdFullScreen, OnFullScreenCommand, Always, IsFullScreenRule},
    {cmdPageFirst + 0, OnPageCommand, IsPageAvailable<0>, nullptr},
    {cmdPageFirst + 1, OnPageCommand, IsPageAvailable<1>, nullptr},
    {cmdPageFirst + 2, OnPageCommand, IsPageAvailable<2>, nullptr},
    {cmdPageFirst + 3, OnPageCommand, IsPageAvailable<3>, nullptr},
    // GPS.
    {cmdConnectGps, OnConnectGpsMenuCommand, Always, ArePortsOpenRule},
    {cmdRecordTrack, OnRecordTrackMenuCommand, Always, IsRecordingTrack},
    // Route.
    {cmdSaveWaypoint, OnSaveWaypointCommand, Always, nullptr},
    {cmdWaypoints, OnWaypointsCommand, Always, nullptr},
    {cmdRoutes, OnRoutesCommand, Always, nullptr},
    {cmdStopNavigation, OnFeatureCommand, IsNavigating, nullptr},
    // Find.
    {cmdFindInCity, OnFeatureCommand, IsMapOpenRule, nullptr},
    {cmdFindAddress, OnFeatureCommand, IsMapOpenRule, nullptr},
    {cmdFindNearest, OnFeatureCommand, IsMapOpenRule, nullptr},
    {cmdFindCity, OnFeatureCommand, IsMapOpenRule, nullptr},
    // Tools.
    {cmdOptions, OnOptionsCommand, Always, nullptr},
    {cmdHelp, OnCommandNotInBuild, Never, nullptr},
    {cmdAbout, OnAboutCommand, Always, nullptr},

    // The map page without a menu item.
    {cmdRedrawMap, OnRedrawMapCommand, Always, nullptr},
    {cmdPanRight, OnPanCommand, Always, nullptr},
    {cmdPanLeft, OnPanCommand, Always, nullptr},
    {cmdPanDown, OnPanCommand, Always, nullptr},
    {cmdPanUp, OnPanCommand, Always, nullptr},
    // The map page's context menus (guidance and the router are not part
    // of this build).
    {cmdGoToPoint, OnFeatureCommand, IsMapOpenRule, nullptr},
    {cmdNewWaypointHere, OnNewWaypointHereCommand, Always, nullptr},
    {cmdShowMapGauges, OnShowMapGaugesCommand, Always, AreGaugesShown},
    {cmdProperties, OnPropertiesCommand, CanShowProperties, nullptr},
    {cmdDeleteWaypoint, OnDeleteWaypointCommand, CanDeleteWaypoint, nullptr},
    {cmdFollowRoute, OnFeatureCommand, CanFollowRoute, nullptr},
    {cmdReverseRoute, OnReverseRouteCommand, CanChangeRoute, nullptr},
    {cmdDeleteRoute, OnDeleteRouteCommand, CanChangeRoute, nullptr},
    {cmdAppendToRoute, OnAppendToRouteCommand, CanAppendToRoute, nullptr},
    {cmdRemoveFromRoute, OnRemoveFromRouteCommand, CanRemoveFromRoute, nullptr},
    {cmdEndEditing, OnEndEditingCommand, Always, nullptr},
    {cmdStartRoute, OnStartRouteCommand, CanStartRoute, nullptr},
    {cmdContinueRoute, OnContinueRouteCommand, CanContinueRoute, nullptr},
    {cmdMoveWaypoint, OnMoveWaypointCommand, CanMoveWaypoint, nullptr},
    {cmdCancelMoving, OnCancelMovingCommand, Always, nullptr},
    {cmdMoveHere, OnMoveHereCommand, CanMoveHere, nullptr},
    {cmdInsertIntoRoute, OnInsertIntoRouteCommand, CanChangeRoute, nullptr},
    {cmdRecalculateRoute, OnRecalculateRouteCommand, CanChangeRoute, nullptr},
    // The gauge menu of the map's strip and of the trip computer's cells
    // (the current page acts on the gauge under the menu).
    {cmdChooseGauge, OnFeatureCommand, Always, nullptr},
    {cmdResetGauge, OnFeatureCommand, CanResetGauge, nullptr},
    {cmdResetAllGauges, OnFeatureCommand, Always, nullptr},
    {cmdDefaultGauges, OnFeatureCommand, Always, nullptr},
};

}  // namespace

const CommandEntry* GetCommandTable(size_t& cEntries) {
  cEntries = sizeof c_aCommands / sizeof c_aCommands[0];
  return c_aCommands;
}

const CommandEntry* FindCommand(unsigned id) {
  for (const CommandEntry& e : c_aCommands)
    if (e.id == id) return &e;
  return nullptr;
}

bool RunCommand(unsigned id) {
  const CommandEntry* pEntry = FindCommand(id);
  if (!pEntry) return false;
  pEntry->pfnRun(id);
  return true;
}

MapMenuState CurrentMenuState(bool fMapObject) {
  MapMenuState state;
  state.pEdit = &g_mapEdit;
  state.fMapObject = fMapObject;
  state.fGaugesShown = GetSettingBool(setting::ShowMapGauges);
  return state;
}

void ApplyCommandRules(HMENU hMenu, const MapMenuState& state) {
  for (const CommandEntry& e : c_aCommands) {
    // An id the menu does not hold answers -1 and is left alone.
    if (::GetMenuState(hMenu, e.id, MF_BYCOMMAND) == UINT(-1)) continue;
    ::EnableMenuItem(hMenu, e.id, MF_BYCOMMAND | (e.pfnEnabled(state) ? MF_ENABLED : MF_GRAYED));
    if (e.pfnChecked)
      ::CheckMenuItem(hMenu, e.id, MF_BYCOMMAND | (e.pfnChecked(state) ? MF_CHECKED : MF_UNCHECKED));
  }
}
