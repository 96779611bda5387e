#include "render/overlay/MapCommands.h"

#include "render/overlay/MapEdit.h"

namespace mapmenu {

bool Always(const MapMenuState&) { return true; }
bool Never(const MapMenuState&) { return false; }

bool CanStartRoute(const MapMenuState& state) { return state.pEdit == nullptr || state.pEdit->CanStartRoute(); }

bool CanAppendToRoute(const MapMenuState& state) { return state.pEdit != nullptr && state.pEdit->CanAppend(); }

bool CanRemoveFromRoute(const MapMenuState& state) {
  return state.pEdit != nullptr && state.pEdit->CanRemoveFromRoute();
}

bool CanMoveWaypoint(const MapMenuState& state) { return state.pEdit != nullptr && state.pEdit->CanMoveWaypoint(); }

bool CanDeleteWaypoint(const MapMenuState& state) {
  return state.pEdit == nullptr || !state.pEdit->IsWaypointLocked(state.pEdit->GetSelectedWaypoint());
}

bool CanChangeRoute(const MapMenuState& state) {
  return state.pEdit != nullptr && state.pEdit->CanChangeSelectedRoute();
}

bool CanContinueRoute(const MapMenuState& state) {
  return state.pEdit != nullptr && state.pEdit->CanContinueSelectedRoute();
}

bool CanMoveHere(const MapMenuState& state) { return state.pEdit != nullptr && state.pEdit->CanMoveHere(); }

bool CanShowProperties(const MapMenuState& state) {
  if (state.pEdit != nullptr) {
    if (state.pEdit->GetSelectedWaypoint() != nullptr)
      return true;
    if (state.pEdit->GetSelectedRoute() != nullptr)
      return state.pEdit->CanChangeSelectedRoute();
  }
  return state.fMapObject;
}

bool AreGaugesShown(const MapMenuState& state) { return state.fGaugesShown; }

}  // namespace mapmenu
