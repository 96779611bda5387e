// One guidance update and the announce step that follows it, on a long
// road route, with the car moving along it one fix at a time.
#include <benchmark/benchmark.h>

#include "navigation/Guidance.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "sound/Voice.h"
#include "tests/navigation/RouteBuilder.h"

using namespace navtest;

static void BM_GuidanceUpdateAndAnnounce(benchmark::State& state) {
  const int cPoints = int(state.range(0));
  ResetAllSettings();
  SetDword(setting::RoutingStyle.pszName, 1);
  CWaypointStore store;
  std::vector<RoutePoint> points;
  // A zigzag north: 20 m road pieces, a maneuver every 25 points.
  for (int i = 0; i < cPoints; ++i) {
    bool fTurn = i % 25 == 0 && i > 0 && i + 1 < cPoints;
    points.push_back(PointAt((i / 25) % 2 ? 5 : 0, i * 20.0, fTurn ? c_btTurn : c_btRoad, fTurn ? 90 : 0));
  }
  points.front().btKind = points.back().btKind = rpkVia;
  Route* pRoute = AddRoute(store, points);
  CSoundQueue queue;
  CVoice voice(queue);
  float fSpeed = 60;
  voice.SetSpeedSource([](void* p) { return *static_cast<float*>(p); }, &fSpeed);
  CGuidance guidance(store, nullptr, &voice);
  guidance.Start(pRoute, GuidanceFix{}, 0, 0);
  double fNorth = 0;
  for (auto _ : state) {
    fNorth += 1.0;
    if (fNorth > (cPoints - 2) * 20.0) {
      state.PauseTiming();
      fNorth = 0;
      guidance.Start(pRoute, GuidanceFix{}, 0, 0);
      while (queue.TakeNext()) {
      }
      state.ResumeTiming();
    }
    guidance.Update(FixAt(2, fNorth));
    if (queue.Count() > 16) {
      state.PauseTiming();
      while (queue.TakeNext()) {
      }
      state.ResumeTiming();
    }
  }
  ResetAllSettings();
}
BENCHMARK(BM_GuidanceUpdateAndAnnounce)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
