// The map page's layers of the waypoint store: the stored routes (the
// active one with the guidance pens) and the waypoints with their labels.
// The shell installs both in MapLayers.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

class CDrawContext;
class CLabelGen;
struct Route;
struct Waypoint;

// Every non-deleted route meeting the view (setting "ShowRoutes"): the
// stored ones with a solid pen of their colour and direction arrows, the
// active route with the two pointer-line pens and the keep-point icons.
// Stops when the pass is interrupted.
void DrawRoutesLayer(CDrawContext& ctx);
// The first point of the active route that is drawn: guidance's target (the
// points behind the car are not). The shell installs the source; without
// one the whole route is drawn.
typedef size_t (*ActiveRouteStartFn)();
void SetActiveRouteStartSource(ActiveRouteStartFn pfn);
// Every non-deleted waypoint inside the view (setting "ShowWaypoints"):
// the icon of its symbol, and its name (show mode 1) or description (show mode 2)
// handed to the label collector. Show mode 3 draws nothing. Stops when the
// pass is interrupted.
void DrawWaypointsLayer(CDrawContext& ctx, CLabelGen& labels);

// The pens of the routes.
const COLORREF c_crActiveRouteOuter = 0x400080;
const COLORREF c_crActiveRouteInner = 0x00FFFF;
// The marker drawn for a waypoint when the icons cannot be loaded.
const COLORREF c_crWaypointMarker = 0x0000D0;
const COLORREF c_crWaypointMarkerEdge = 0x000000;
// The drawing type of the keep-point icon on the active route.
const uint16_t c_wKeepPointType = 0x4300;
