// Route calculation in the program: the shared progress window and the
// commands and dialogs that calculate a route.
#pragma once
#include "store/Waypoint.h"

// Installs the progress window and the map editor's calculation (start-up).
void InstallAutoRouting();
// Calculates the route from its via points with the progress window; true
// when its points changed (not cancelled, something to calculate).
bool CalculateRouteNow(Route& route);
