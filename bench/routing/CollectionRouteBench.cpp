// A route across a collection of tiles, in one process: the first search
// (the members' graphs not yet built: they are opened and built as the
// search reaches them) and then the same route again (graphs built), the
// median of --runs. Prints CSV:
//   cold,<ms>,<km>,<legs>,<members searched>,<members open>,<graph view bytes>,<states popped>,<route memory bytes>
// (route memory: what the open members and the collection hold for routes:
// graphs, views and the arrays searches reuse)
//   warm,<median ms>,<max ms>
// Usage: bench_collection_route FOLDER/ FROM_LAT FROM_LON TO_LAT TO_LON [--runs N]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "map/MapFiles.h"
#include "map/RouteOptions.h"
#include "map/vidx/VidxParser.h"
#include "platform/Str.h"
#include "view/MapUnits.h"

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double RouteKm(const RouteOptions& o) {
  double f = 0;
  for (size_t i = 1; i < o.points.size(); ++i) {
    const double la = MapToDegrees(o.points[i - 1].y >> 1), lb = MapToDegrees(o.points[i].y >> 1);
    const double dx = (MapToDegrees(o.points[i].x >> 1) - MapToDegrees(o.points[i - 1].x >> 1)) *
                      std::cos((la + lb) / 2 * 3.14159265358979 / 180);
    f += std::sqrt(dx * dx + (lb - la) * (lb - la)) * 111.195;
  }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: %s FOLDER/ FROM_LAT FROM_LON TO_LAT TO_LON [--runs N]\n", argv[0]);
    return 2;
  }
  int cRuns = 5;
  for (int i = 6; i + 1 < argc; ++i)
    if (!std::strcmp(argv[i], "--runs")) cRuns = std::max(1, std::atoi(argv[i + 1]));
  const MapPoint a{DegreesToMap(std::atof(argv[3])), DegreesToMap(std::atof(argv[2]))};
  const MapPoint b{DegreesToMap(std::atof(argv[5])), DegreesToMap(std::atof(argv[4]))};
  std::unique_ptr<CMapParser> map(OpenUserMap(platform::Utf8ToU16(argv[1]).c_str(), true));
  CVidxParser* pIndex = map ? AsVidxParser(map.get()) : nullptr;
  if (!pIndex) {
    std::fprintf(stderr, "cannot open %s as a collection\n", argv[1]);
    return 1;
  }
  auto route = [&](RouteOptions& o) {
    o.nVehicle = rvCar;
    o.fTimeBased = 1;  // the quickest route
    return map->FindRoute(a, b, &o, nullptr);
  };
  RouteOptions first;
  double t0 = NowMs();
  if (!route(first)) {
    std::fprintf(stderr, "no route\n");
    return 1;
  }
  const double msCold = NowMs() - t0;
  const CVidxParser::CollectionRouteStats stats = pIndex->GetRouteStats();
  std::printf("cold,%.1f,%.1f,%u,%u,%u,%zu,%llu,%zu\n", msCold, RouteKm(first), stats.cLegs, stats.cMembersSearched,
              pIndex->GetRouteMembersOpen(), stats.cbGraphs, static_cast<unsigned long long>(stats.cPopped),
              pIndex->GetRouteMemory());
  std::vector<double> times;
  for (int r = 0; r < cRuns; ++r) {
    RouteOptions o;
    t0 = NowMs();
    if (!route(o)) return 1;
    times.push_back(NowMs() - t0);
  }
  std::sort(times.begin(), times.end());
  std::printf("warm,%.1f,%.1f\n", times[times.size() / 2], times.back());
  return 0;
}
