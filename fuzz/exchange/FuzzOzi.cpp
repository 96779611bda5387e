// OziExplorer waypoint and route files as they may be found; what was
// imported must export and import again.
#include <cstdint>
#include <vector>

#include "exchange/Exchange.h"

using namespace exchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  ExchangeOptions opts = DefaultExchangeOptions(45000);
  CWaypointStore store;
  ImportResult rw, rr;
  ImportOziWaypoints(store, pb, cb, opts, rw);
  ImportOziRoutes(store, pb, cb, opts, rr);
  std::vector<uint8_t> out;
  ExportOziWaypoints(store, opts, out);
  CWaypointStore again;
  ImportResult r;
  ImportOziWaypoints(again, out.data(), out.size(), opts, r);
  if (r.cWaypoints != int(store.CountWaypoints())) __builtin_trap();
  ExportOziRoutes(store, opts, out);
  ImportOziRoutes(again, out.data(), out.size(), opts, r);
  return 0;
}
