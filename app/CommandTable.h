// The commands of the program as data: for every command id (app/Commands.h)
// its handler and the rules that say when its menu item is enabled and
// checked. The main menu's update and the map page's context menus both
// apply the same rules; WM_COMMAND runs the handler.
#pragma once
#include <cstddef>

#include "app/Commands.h"
#include "app/Win.h"
#include "render/overlay/MapCommands.h"

typedef void (*CommandHandler)(unsigned id);

struct CommandEntry {
  unsigned id;                // a Command
  CommandHandler pfnRun;      // never null
  MapMenuRule pfnEnabled;     // never null
  MapMenuRule pfnChecked;     // null: the item has no check mark
};

// The whole table, and one entry (null for an id not in the table).
const CommandEntry* GetCommandTable(size_t& cEntries);
const CommandEntry* FindCommand(unsigned id);

// Runs the command's handler; false for an id not in the table.
bool RunCommand(unsigned id);

// What the rules look at now: the map's editing state, the gauge strip,
// and whether the hit test found a map object under the pointer.
MapMenuState CurrentMenuState(bool fMapObject);
// Enables, greys and checks every item of the menu (and its popups) that
// the table knows; items of other ids are left as they are.
void ApplyCommandRules(HMENU hMenu, const MapMenuState& state);

// The handlers of the shell (MainWnd.cpp).
void OnZoomInCommand(unsigned id);
void OnZoomOutCommand(unsigned id);
void OnAboutCommand(unsigned id);
void OnExitCommand(unsigned id);
void OnOptionsCommand(unsigned id);
void OnSaveWaypointCommand(unsigned id);
void OnWaypointsCommand(unsigned id);
void OnRoutesCommand(unsigned id);
void OnConnectGpsMenuCommand(unsigned id);
void OnRecordTrackMenuCommand(unsigned id);
void OnNightModeCommand(unsigned id);
void OnOpenMapCommand(unsigned id);
void OnOpenAtlasCommand(unsigned id);
void OnPageCommand(unsigned id);
// About-map and full screen (ShellWindows.cpp).
void OnAboutMapCommand(unsigned id);
void OnFullScreenCommand(unsigned id);
// Commands whose part is not in this build: nothing happens.
void OnCommandNotInBuild(unsigned id);
// Commands of subsystems behind the feature seam (app/Features.h), then
// of the current page.
void OnFeatureCommand(unsigned id);

// The handlers of the map page (MapPageWin.cpp); each does nothing unless
// the map page is the current page.
void OnRedrawMapCommand(unsigned id);
void OnPanCommand(unsigned id);  // cmdPanRight ... cmdPanUp
void OnShowMapGaugesCommand(unsigned id);
void OnNewWaypointHereCommand(unsigned id);
void OnPropertiesCommand(unsigned id);
void OnDeleteWaypointCommand(unsigned id);
void OnReverseRouteCommand(unsigned id);
void OnDeleteRouteCommand(unsigned id);
void OnAppendToRouteCommand(unsigned id);
void OnRemoveFromRouteCommand(unsigned id);
void OnEndEditingCommand(unsigned id);
void OnStartRouteCommand(unsigned id);
void OnContinueRouteCommand(unsigned id);
void OnMoveWaypointCommand(unsigned id);
void OnCancelMovingCommand(unsigned id);
void OnMoveHereCommand(unsigned id);
void OnInsertIntoRouteCommand(unsigned id);
void OnRecalculateRouteCommand(unsigned id);
