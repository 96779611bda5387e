// The dialogs over the waypoint and route store: the two list dialogs, the
// waypoint properties, the route editor, the delete questions, and the
// export and import dialogs of the exchange formats. Every function that
// changes the store saves it (Waypoints.bin) and refreshes the pages,
// except the properties dialogs: their callers save and refresh.
#pragma once
#include "app/Win.h"
#include "store/Waypoint.h"

// The waypoint list and the route list (commands "Путевые точки..." and
// "Маршруты...").
void ShowWaypointListDialog(HWND hOwner);
void ShowRouteListDialog(HWND hOwner);

// Waypoint properties: true on OK, the waypoint then holds the new values.
bool ShowWaypointProperties(HWND hOwner, Waypoint* pWaypoint);
// The route editor: the points are edited in place (not on the active
// route); true on OK, the route then holds the new name, text, colour and
// the current time.
bool ShowRouteProperties(HWND hOwner, Route* pRoute);

// The confirmation question, then the store's delete; true when deleted.
// The caller saves the store and refreshes.
bool AskDeleteWaypoint(HWND hOwner, Waypoint* pWaypoint);
bool AskDeleteRoute(HWND hOwner, Route* pRoute);

// Export and import through the common file dialogs; an import saves the
// store and refreshes the pages.
void ExportWaypointsDialog(HWND hOwner);
void ExportRoutesDialog(HWND hOwner);
void ImportWaypointsDialog(HWND hOwner);
void ImportRoutesDialog(HWND hOwner);
