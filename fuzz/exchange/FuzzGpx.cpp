// GPX files as they may be found: what was imported must export as GPX
// that imports again whole, and the track reader must replay any file.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "exchange/Gpx.h"

using namespace exchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  ExchangeOptions opts = DefaultExchangeOptions(46365);
  CWaypointStore store;
  ImportResult r;
  ImportGpxRoutes(store, pb, cb, opts, r);
  if (r.fRefused && (store.CountWaypoints() || store.CountRoutes())) __builtin_trap();
  if (!r.fRefused) {
    std::vector<uint8_t> out;
    ExportGpxRoutes(store, opts, out);
    CWaypointStore again;
    ImportResult r2;
    ImportGpxRoutes(again, out.data(), out.size(), opts, r2);
    if (r2.fRefused || again.CountRoutes() != store.CountRoutes()) __builtin_trap();
  }
  std::unique_ptr<TrackFileReader> pReader(CreateGpxTrackReader(pb, cb));
  if (pReader) {
    GpsFix fix{};
    for (int i = 0; i < 100000 && pReader->NextPoint(fix); ++i) fix = GpsFix{};
  }
  double d;
  ParseIsoTime(std::string(reinterpret_cast<const char*>(pb), cb < 64 ? cb : 64), d);
  return 0;
}
