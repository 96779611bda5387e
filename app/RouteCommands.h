// Route calculation in the program: the shared progress window and the
// commands and dialogs that calculate a route.
#pragma once
#include "store/Waypoint.h"

class CRouteCalculation;

// The program's one road router (navigation/RouteCalculation.h): every road
// calculation of the program goes through it, one at a time.
CRouteCalculation& GetRouteCalculation();

// Installs the progress window, the resumption of guidance held back during
// a calculation and the map editor's calculation (start-up).
void InstallAutoRouting();
// Calculates the route from its via points with the progress window; true
// when its points changed (not cancelled, something to calculate).
bool CalculateRouteNow(Route& route);
