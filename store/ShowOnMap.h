// Showing a waypoint or a route on the map: the view is moved to it and
// the map's layer of waypoints or routes is switched on.
#pragma once
#include "store/Waypoint.h"
#include "view/MapPosition.h"

// Centres the view on the waypoint; sets "ShowWaypoints".
void ShowWaypoint(CMapPosition& pos, const Waypoint& wp);
// A single point: centres on it; more: centres on the bounding rectangle
// and takes the most detailed scale that shows all of it. Sets "ShowRoutes".
// False for a route without points.
bool ShowRoute(CMapPosition& pos, const Route& route);
