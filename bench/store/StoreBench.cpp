// Load and save of a large waypoint store: 10 000 waypoints and 200 routes
// of 500 points (every fifth on a waypoint, the rest router points).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/Str.h"
#include "store/WaypointStore.h"

namespace {

void FillLargeStore(CWaypointStore& s) {
  std::vector<Waypoint*> wps;
  for (int i = 0; i < 10000; ++i) {
    Waypoint* p = s.NewWaypoint(-179 + (i % 3580) * 0.1, -60 + (i / 3580) * 10.0, 40000 + i, float(i), i % 3 != 0,
                                platform::FormatStr(u"Point %d", i).c_str());
    p->strDescription = platform::FormatStr(u"comment for point %d", i);
    wps.push_back(p);
  }
  for (int r = 0; r < 200; ++r) {
    Route* pRoute = s.NewRoute(45000 + r, platform::FormatStr(u"Route %d", r).c_str());
    for (int i = 0; i < 500; ++i) {
      if (i % 5 == 0) {
        s.InsertWaypoint(pRoute, int(pRoute->points.size()) - 1, wps[(r * 100 + i / 5) % wps.size()]);
      } else {
        RoutePoint rp;
        rp.x = DegreesToStored(r * 0.5 + i * 0.001);
        rp.y = DegreesToStored(45 + i * 0.0007);
        rp.btKind = rpkRouter | (i % 7 == 0 ? rpkManeuver : 0);
        rp.nValue = i;
        if (i % 50 == 1) rp.strLabel = u"Main street";
        pRoute->points.push_back(rp);
      }
    }
  }
}

std::u16string TempPath() {
  const char* p = std::getenv("TMPDIR");
  return platform::Utf8ToU16(std::string(p ? p : "/tmp") + "/velmo_bench_Waypoints.bin");
}

void BM_SaveLargeStore(benchmark::State& state) {
  CWaypointStore s;
  FillLargeStore(s);
  std::vector<uint8_t> data;
  for (auto _ : state) {
    s.Save(data);
    benchmark::DoNotOptimize(data.data());
  }
  state.counters["bytes"] = double(data.size());
}
BENCHMARK(BM_SaveLargeStore)->Unit(benchmark::kMillisecond);

void BM_LoadLargeStore(benchmark::State& state) {
  CWaypointStore s;
  FillLargeStore(s);
  std::vector<uint8_t> data;
  s.Save(data);
  for (auto _ : state) {
    CWaypointStore t;
    if (t.Load(data.data(), data.size(), false) != slrLoaded) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(t.FirstRoute());
  }
}
BENCHMARK(BM_LoadLargeStore)->Unit(benchmark::kMillisecond);

// The same through the file: the atomic replace (with its flush to disk)
// and the read-only mapping.
void BM_SaveLargeStoreFile(benchmark::State& state) {
  CWaypointStore s;
  FillLargeStore(s);
  std::u16string path = TempPath();
  for (auto _ : state)
    if (!s.SaveFile(path.c_str())) state.SkipWithError("save failed");
  platform::DeleteFilePath(path.c_str());
}
BENCHMARK(BM_SaveLargeStoreFile)->Unit(benchmark::kMillisecond);

void BM_LoadLargeStoreFile(benchmark::State& state) {
  CWaypointStore s;
  FillLargeStore(s);
  std::u16string path = TempPath();
  s.SaveFile(path.c_str());
  for (auto _ : state) {
    CWaypointStore t;
    if (t.LoadFile(path.c_str(), false) != slrLoaded) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(t.FirstRoute());
  }
  platform::DeleteFilePath(path.c_str());
}
BENCHMARK(BM_LoadLargeStoreFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
