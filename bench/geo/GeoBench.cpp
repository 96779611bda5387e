// Distance, course and sun times: what the gauges and lists pay per call.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "geo/Geodesy.h"
#include "geo/Sun.h"

namespace {

struct Pair {
  float fLon1, fLat1, fLon2, fLat2;
};

std::vector<Pair> Pairs() {
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> lat(-70, 70), lon(-180, 180), d(-1, 1);
  std::vector<Pair> v(1024);
  for (Pair& p : v) {
    p.fLon1 = lon(rng);
    p.fLat1 = lat(rng);
    p.fLon2 = p.fLon1 + d(rng);
    p.fLat2 = p.fLat1 + d(rng);
  }
  return v;
}

void BM_Distance(benchmark::State& state) {
  const std::vector<Pair> v = Pairs();
  for (auto _ : state)
    for (const Pair& p : v)
      benchmark::DoNotOptimize(GetDistance(p.fLon1, p.fLat1, p.fLon2, p.fLat2));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(v.size()));
}
BENCHMARK(BM_Distance);

void BM_Course(benchmark::State& state) {
  const std::vector<Pair> v = Pairs();
  for (auto _ : state)
    for (const Pair& p : v)
      benchmark::DoNotOptimize(GetCourse(p.fLon1, p.fLat1, p.fLon2, p.fLat2));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(v.size()));
}
BENCHMARK(BM_Course);

void BM_SunEvent(benchmark::State& state) {
  int nDay = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetSunEventTime(2025, 6, nDay, 37.6f, 55.75f, true));
    nDay = nDay % 28 + 1;
  }
}
BENCHMARK(BM_SunEvent);

}  // namespace

BENCHMARK_MAIN();
