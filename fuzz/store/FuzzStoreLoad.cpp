// Waypoints.bin as it may be found on disk: loaded, saved, loaded again.
// A store that loaded completely must save to a file that loads completely
// with the same records.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "store/WaypointStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  CWaypointStore store;
  StoreLoadResult result = store.Load(pb, cb, true);
  for (Route* p = store.FirstRoute(); p; p = p->pNext) GetRouteLength(*p);
  if (Waypoint* pWp = store.FirstWaypoint()) store.FindNearestWaypoint(pWp->x >> 1, pWp->y >> 1, 1000);
  std::vector<uint8_t> saved;
  store.Save(saved);
  CWaypointStore again;
  StoreLoadResult resultAgain = again.Load(saved.data(), saved.size(), true);
  if (resultAgain != slrLoaded) std::abort();
  if (result == slrLoaded &&
      (again.CountWaypoints() != store.CountWaypoints() || again.CountRoutes() != store.CountRoutes()))
    std::abort();
  return 0;
}
