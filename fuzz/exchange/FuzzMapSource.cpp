// MapSource files (.gdb, .mps) as they may be found: the waypoint and route
// importers and the track reader. What was imported must export and import
// again without harm.
#include <cstdint>
#include <memory>
#include <vector>

#include "exchange/CodePage.h"
#include "exchange/Exchange.h"
#include "exchange/TrackFile.h"

using namespace exchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  ExchangeOptions opts = DefaultExchangeOptions(45000);
  CWaypointStore store;
  ImportResult r1, r2, r3;
  ImportGdbRoutes(store, pb, cb, opts, r1);
  ImportGdbWaypoints(store, pb, cb, opts, r2);
  ImportMpsWaypoints(store, pb, cb, opts, r3);

  for (TrackFileReader* pReader : {CreateGdbTrackReader(pb, cb), CreateMpsTrackReader(pb, cb)}) {
    std::unique_ptr<TrackFileReader> p(pReader);
    for (int pass = 0; pass < 2; ++pass) {
      GpsFix fix{};
      for (int i = 0; i < 100000 && p->NextPoint(fix); ++i) fix = GpsFix{};
      p->Rewind();
    }
  }

  std::vector<uint8_t> out;
  ExportGdbRoutes(store, opts, out);
  CWaypointStore again;
  ImportResult r4;
  ImportGdbRoutes(again, out.data(), out.size(), opts, r4);
  if (r4.fTruncated || r4.fRefused) __builtin_trap();
  ExportMpsWaypoints(store, opts, out);
  ImportMpsWaypoints(again, out.data(), out.size(), opts, r4);
  return 0;
}
