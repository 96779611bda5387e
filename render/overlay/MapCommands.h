// When the map page's commands are enabled and checked. The shell's command
// table names one rule per command; the context menus of the map page and
// the main menu's update both apply it. The rules read the editing state,
// what the hit test found under the pointer and whether the gauge strip is
// shown, never the window.
#pragma once

class CMapEdit;

// What a rule looks at when a menu is shown.
struct MapMenuState {
  const CMapEdit* pEdit = nullptr;  // the route editing on the map; null: nothing is selected or edited
  bool fMapObject = false;          // the hit test found a map object under the pointer
  bool fGaugesShown = false;        // the gauge strip is shown ("ShowMapGauges")
};

// A rule: whether the command is enabled (or checked) in that state.
typedef bool (*MapMenuRule)(const MapMenuState& state);

namespace mapmenu {

// Always, and never (parts not in this build: guidance, the router, gauges).
bool Always(const MapMenuState& state);
bool Never(const MapMenuState& state);

// "Start route": no route is being edited.
bool CanStartRoute(const MapMenuState& state);
// "Add to route": a route is being edited and the editor allows it.
bool CanAppendToRoute(const MapMenuState& state);
// "Remove from route": the selected waypoint is on the edited route.
bool CanRemoveFromRoute(const MapMenuState& state);
// "Move": the selected waypoint may be moved.
bool CanMoveWaypoint(const MapMenuState& state);
// "Delete point": the selected waypoint is not on the active route.
bool CanDeleteWaypoint(const MapMenuState& state);
// The route menu's changes (insert, reverse, delete): the selected route is
// not the active one.
bool CanChangeRoute(const MapMenuState& state);
// "Continue route".
bool CanContinueRoute(const MapMenuState& state);
// "Move point here": a waypoint is being moved and the editor allows it.
bool CanMoveHere(const MapMenuState& state);
// "Properties...": of the selected waypoint; of the selected route when it
// may change; with neither, of the map object under the pointer.
bool CanShowProperties(const MapMenuState& state);
// The check mark of "Show gauges".
bool AreGaugesShown(const MapMenuState& state);

}  // namespace mapmenu
