// The shell's waypoint commands: saving a waypoint at the map centre (or at
// a point of the map) through the new-waypoint dialog, and writing the store.
#include "app/Shell.h"
#include "app/StoreDialogParts.h"
#include "app/Waypoints.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "store/WaypointStore.h"

using namespace platform;

std::u16string WaypointStorePath() { return JoinPath(GetProgramFolder(), u"Waypoints.bin"); }

bool SaveWaypointStore() { return g_waypointStore.SaveFile(WaypointStorePath().c_str()); }

bool NewWaypointAt(double dLon, double dLat) { return NewWaypointDialog(g_hWnd, dLon, dLat); }
