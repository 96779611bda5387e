// Waypoint commands of the shell and the map page.
#pragma once
#include <string>

std::u16string WaypointStorePath();  // Waypoints.bin beside the program
bool SaveWaypointStore();            // atomically; false when it could not be written
// The new-waypoint dialog for a point in degrees, with the time and the
// altitude of the current fix; true when a waypoint was saved.
bool NewWaypointAt(double dLon, double dLat);
