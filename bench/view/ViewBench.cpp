// The view transform, the fast table functions against the C library, and
// the point algorithms on a 1000-point polyline.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "view/FastMath.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"
#include "view/PtAlgo.h"

namespace {

std::vector<MapPoint> RandomWalk(size_t c, int32_t nStep, uint32_t nSeed) {
  std::mt19937 rng(nSeed);
  std::uniform_int_distribution<int32_t> step(-nStep, nStep);
  std::vector<MapPoint> pts(c);
  MapPoint p{DegreesToMap(37.6), DegreesToMap(55.75)};
  for (MapPoint& q : pts) {
    p.x += step(rng);
    p.y += step(rng);
    q = p;
  }
  return pts;
}

void BM_ToScreenMany(benchmark::State& state) {
  CMapPosition pos;
  pos.SetOrigin(240, 320);
  pos.SetViewSize(480, 640);
  pos.SetCentre(DegreesToMap(37.6), DegreesToMap(55.75));
  pos.SetScale(10);
  pos.SetAngle(int32_t(state.range(0)));
  const std::vector<MapPoint> pts = RandomWalk(4096, 3000, 1);
  std::vector<VPoint> out(pts.size());
  for (auto _ : state) {
    pos.ToScreenMany(pts.data(), out.data(), pts.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pts.size()));
}
BENCHMARK(BM_ToScreenMany)->Arg(0)->Arg(30);

std::vector<float> Angles() {
  std::mt19937 rng(2);
  std::uniform_real_distribution<float> u(-2 * c_PI, 2 * c_PI);
  std::vector<float> v(4096);
  for (float& f : v)
    f = u(rng);
  return v;
}

template <float (*F)(float)>
void BM_Trig(benchmark::State& state) {
  const std::vector<float> v = Angles();
  for (auto _ : state) {
    float fSum = 0;
    for (float f : v)
      fSum += F(f);
    benchmark::DoNotOptimize(fSum);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(v.size()));
}
float LibSin(float f) { return std::sin(f); }
float LibCos(float f) { return std::cos(f); }
BENCHMARK(BM_Trig<fast_sin>)->Name("BM_FastSin");
BENCHMARK(BM_Trig<LibSin>)->Name("BM_LibSin");
BENCHMARK(BM_Trig<fast_cos>)->Name("BM_FastCos");
BENCHMARK(BM_Trig<LibCos>)->Name("BM_LibCos");

std::vector<MapPoint> Vectors() {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int32_t> u(-5000, 5000);
  std::vector<MapPoint> v(4096);
  for (MapPoint& p : v)
    p = MapPoint{u(rng), u(rng)};
  return v;
}

void BM_FastAtan2(benchmark::State& state) {
  const std::vector<MapPoint> v = Vectors();
  for (auto _ : state) {
    float fSum = 0;
    for (const MapPoint& p : v)
      fSum += fast_atan2(p.y, p.x);
    benchmark::DoNotOptimize(fSum);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(v.size()));
}
BENCHMARK(BM_FastAtan2);

void BM_LibAtan2(benchmark::State& state) {
  const std::vector<MapPoint> v = Vectors();
  for (auto _ : state) {
    float fSum = 0;
    for (const MapPoint& p : v)
      fSum += std::atan2(float(p.y), float(p.x));
    benchmark::DoNotOptimize(fSum);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(v.size()));
}
BENCHMARK(BM_LibAtan2);

void BM_PolylineLengthFast(benchmark::State& state) {
  const std::vector<MapPoint> pts = RandomWalk(1000, 4000, 4);
  for (auto _ : state)
    benchmark::DoNotOptimize(PtAlgo::PolylineLengthFast(pts.data(), pts.data() + pts.size(), 0.31f));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pts.size() - 1));
}
BENCHMARK(BM_PolylineLengthFast);

void BM_PolylineLengthFloat(benchmark::State& state) {
  const std::vector<MapPoint> pts = RandomWalk(1000, 4000, 4);
  for (auto _ : state)
    benchmark::DoNotOptimize(PtAlgo::PolylineLength(pts.data(), pts.data() + pts.size(), 0.31f));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pts.size() - 1));
}
BENCHMARK(BM_PolylineLengthFloat);

void BM_NearestPointOnPolyline1000(benchmark::State& state) {
  const std::vector<MapPoint> pts = RandomWalk(1000, 4000, 5);
  const MapPoint pt = pts[500];
  for (auto _ : state) {
    MapPoint n;
    size_t iSeg;
    benchmark::DoNotOptimize(PtAlgo::NearestPointOnPolyline(pt, pts.data(), pts.size(), false, 0.56f, &n, &iSeg));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pts.size() - 1));
}
BENCHMARK(BM_NearestPointOnPolyline1000);

}  // namespace

BENCHMARK_MAIN();
