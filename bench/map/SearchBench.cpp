// The index searches of the native reader on each OSM extract compiled by
// velc: a cities query's FindCityByName, an objects query (fuel and every
// category's objects in a city) with FindByName, FindByAddress with a
// street and house number, and FindNearest of 200 m with all kinds. The
// label tells the extract; the counters the index's share of the map.
#include <benchmark/benchmark.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "map/vel/VelParser.h"
#include "platform/Str.h"
#include "tools/velc/OsmConvert.h"

namespace {

struct Compiled {
  std::string strName;
  std::unique_ptr<CVelParser> pParser;
  double fIndexShare = 0;
};

std::vector<Compiled>& Maps() {
  static std::vector<Compiled> s_maps;
  static bool s_fDone = false;
  if (s_fDone) return s_maps;
  s_fDone = true;
  std::vector<std::string> names;
  const std::string strDir = std::string(VELMO_SHARED_DATA) + "/osm";
  if (DIR* d = opendir(strDir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string s = e->d_name;
      if (s.size() > 8 && s.substr(s.size() - 8) == ".osm.pbf") names.push_back(s);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& strName : names) {
    const std::string strOut = std::string(VELMO_BINARY_DIR) + "/bench-search-" + strName + ".vel";
    std::string strError;
    VelWriterStats wstats;
    uint64_t cb = 0;
    if (!CompileOsmToVel(strDir + "/" + strName, strOut, "", VelWriterOptions(), strError, nullptr, &wstats, &cb))
      continue;
    std::u16string s = platform::Utf8ToU16(strOut);
    Compiled c;
    c.strName = strName;
    c.pParser.reset(static_cast<CVelParser*>(OpenMapFile(s.c_str(), false, c_fOpenAll)));
    c.fIndexShare = cb ? double(wstats.cbCityIndex + wstats.cbObjectIndex) / double(cb) : 0;
    if (c.pParser) s_maps.push_back(std::move(c));
  }
  return s_maps;
}

Compiled* MapOf(benchmark::State& state) {
  std::vector<Compiled>& maps = Maps();
  if (size_t(state.range(0)) >= maps.size()) {
    state.SkipWithError("no such extract");
    return nullptr;
  }
  Compiled& c = maps[size_t(state.range(0))];
  state.SetLabel(c.strName);
  state.counters["index %"] = 100 * c.fIndexShare;
  return &c;
}

void BM_FindCityByName(benchmark::State& state) {
  Compiled* pMap = MapOf(state);
  if (!pMap) return;
  std::unique_ptr<CCitiesQuery> q(pMap->pParser->CreateCitiesQuery());
  if (!q || q->GetCount() == 0) return state.SkipWithError("no cities");
  std::vector<std::u16string> names;
  std::mt19937 rng(1);
  for (int i = 0; i < 16; ++i) {
    CityItem item = {};
    q->GetItem(rng() % q->GetCount(), &item, 0);
    names.push_back(std::u16string(item.szName).substr(0, 4));
  }
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(q->FindCityByName(names[i++ % names.size()].c_str()));
}

void BM_ObjectsFindByName(benchmark::State& state) {
  Compiled* pMap = MapOf(state);
  if (!pMap) return;
  // The largest objects query of the map: the category and city with most.
  std::unique_ptr<CCitiesQuery> cities(pMap->pParser->CreateCitiesQuery());
  std::unique_ptr<CMapQuery> best;
  for (uint16_t wCategory : {uint16_t(0x0001), uint16_t(0x2E00), uint16_t(0x2F00), uint16_t(0x0000), uint16_t(0x6400)})
    for (uint32_t nCity = CVelParser::c_nAnyCity, k = 0; cities && k <= cities->GetCount(); nCity = k++) {
      std::unique_ptr<CMapQuery> q(pMap->pParser->CreateObjectsQuery(nCity, rkPoint, wCategory, 0xFFFF));
      if (q && (!best || q->GetCount() > best->GetCount())) best = std::move(q);
    }
  if (!best || best->GetCount() == 0) return state.SkipWithError("no objects");
  std::vector<std::u16string> names;
  std::mt19937 rng(2);
  for (int i = 0; i < 16; ++i) {
    FoundObject obj = {};
    best->GetItem(rng() % best->GetCount(), &obj, 2);
    names.push_back(std::u16string(obj.szName).substr(0, 3));
  }
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(best->FindByName(names[i++ % names.size()].c_str()));
  state.counters["objects"] = double(best->GetCount());
}

void BM_FindByAddress(benchmark::State& state) {
  Compiled* pMap = MapOf(state);
  if (!pMap) return;
  std::unique_ptr<CMapQuery> all(pMap->pParser->FindByAddress(CVelParser::c_nAnyCity, u"", u"", u"", nullptr));
  if (!all || all->GetCount() == 0) return state.SkipWithError("no addresses");
  FoundObject obj = {};
  for (uint32_t i = all->GetCount() / 2; i < all->GetCount() && !obj.szNumber[0]; ++i)
    all->GetItem(i, &obj, c_fofStreet | c_fofNumber);
  uint64_t cFound = 0;
  for (auto _ : state) {
    std::unique_ptr<CMapQuery> q(pMap->pParser->FindByAddress(CVelParser::c_nAnyCity, u"", obj.szStreet, obj.szNumber, nullptr));
    cFound = q ? q->GetCount() : 0;
  }
  state.counters["found"] = double(cFound);
}

void BM_FindNearest200m(benchmark::State& state) {
  Compiled* pMap = MapOf(state);
  if (!pMap) return;
  const MapRect r = pMap->pParser->GetRect();
  std::mt19937 rng(20);
  std::vector<MapPoint> points;
  for (int i = 0; i < 20; ++i)
    points.push_back(MapPoint{int32_t(r.left + int64_t(rng() % 10000) * (int64_t(r.right) - r.left) / 10000),
                              int32_t(r.top + int64_t(rng() % 10000) * (int64_t(r.bottom) - r.top) / 10000)});
  size_t i = 0;
  for (auto _ : state) {
    std::unique_ptr<CMapQuery> q(pMap->pParser->FindNearest(0, false, points[i++ % points.size()], 200, nullptr, nullptr, nullptr));
    benchmark::DoNotOptimize(q.get());
  }
}

BENCHMARK(BM_FindCityByName)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ObjectsFindByName)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindByAddress)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindNearest200m)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
