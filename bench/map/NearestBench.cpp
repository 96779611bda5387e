// The nearest search of the native reader next to the IMG reader on the
// same extract: Monaco compiled by velc from the OSM extract, and mkgmap's
// IMG of it. Each iteration runs 20 searches with a 200 m radius at the
// same random points in both maps; /1 also decodes every item found (name,
// representative and nearest points, scale), as the map page does for the
// object under the pointer. The IMG reader searches points only; the native
// one points, lines and areas (the "found/search" counters tell them apart);
// BM_NearestVelPoints gives the native reader a filter of every point type
// of the map, so that both look at points only.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "map/img/ImgParser.h"
#include "map/vel/VelParser.h"
#include "platform/Str.h"
#include "tools/velc/OsmConvert.h"

namespace {

const int c_cSearches = 20;
const uint32_t c_nRadiusMetres = 200;

bool Exists(const std::string& str) {
  struct stat st;
  return stat(str.c_str(), &st) == 0;
}

CMapParser* Open(const std::string& strPath) {
  std::u16string s = platform::Utf8ToU16(strPath);
  return OpenMapFile(s.c_str(), false, c_fOpenAll);
}

std::string MonacoVel() {
  static std::string s_strMap;
  const std::string strIn = std::string(VELMO_SHARED_DATA) + "/osm/monaco.osm.pbf";
  if (s_strMap.empty() && Exists(strIn)) {
    const std::string strOut = std::string(VELMO_BINARY_DIR) + "/bench-nearest-monaco.vel";
    std::string strError;
    if (CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError)) s_strMap = strOut;
  }
  return s_strMap;
}

std::string MonacoImg() { return std::string(VELMO_SHARED_DATA) + "/img/monaco-6bit.img"; }

// The same 20 points for both readers: inside the part both maps cover.
std::vector<MapPoint> SearchPoints(const MapRect& a, const MapRect& b) {
  const MapRect r = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
  std::mt19937 rng(20);
  std::vector<MapPoint> v;
  for (int i = 0; i < c_cSearches; ++i)
    v.push_back(MapPoint{int32_t(r.left + int64_t(rng() % 10000) * (int64_t(r.right) - r.left) / 10000),
                         int32_t(r.top + int64_t(rng() % 10000) * (int64_t(r.bottom) - r.top) / 10000)});
  return v;
}

bool CollectPointTypes(void* p, const VelRecord& rec, const MapPoint*, const char16_t*, uint32_t, const VelBlockInfo&) {
  auto* pTypes = static_cast<std::vector<KindType>*>(p);
  if (rec.nKind != rkPoint) return true;
  for (const KindType& kt : *pTypes)
    if (kt.wType == rec.wType) return true;
  pTypes->push_back(KindType{rkPoint, rec.wType});
  return true;
}

void RunNearest(benchmark::State& state, bool fImg, bool fPointsOnly = false) {
  const std::string strVel = MonacoVel(), strImg = MonacoImg();
  std::unique_ptr<CMapParser> pVel(strVel.empty() ? nullptr : Open(strVel));
  std::unique_ptr<CMapParser> pImg(Exists(strImg) ? Open(strImg) : nullptr);
  if (!pVel || !pImg) {
    state.SkipWithError("Monaco extract or its IMG not present");
    return;
  }
  const std::vector<MapPoint> points = SearchPoints(pVel->GetRect(), pImg->GetRect());
  CMapParser* p = fImg ? pImg.get() : pVel.get();
  const bool fDecode = state.range(0) != 0;
  const uint32_t dwFlags = c_fofName | c_fofReprPoint | c_fofNearestPoint | c_fofScale;
  std::vector<KindType> types;
  if (fPointsOnly) {
    CVelParser* pVelParser = static_cast<CVelParser*>(pVel.get());
    pVelParser->ForEachObject(pVelParser->GetLevelCount() - 1, CollectPointTypes, &types);
  }
  const MapTypeFilter filter = {types.data(), types.size()};
  uint64_t cFound = 0;
  for (auto _ : state) {
    cFound = 0;
    for (const MapPoint& pt : points) {
      std::unique_ptr<CMapQuery> q(p->FindNearest(0, false, pt, c_nRadiusMetres, fPointsOnly ? &filter : nullptr, nullptr, nullptr));
      if (!q) continue;
      cFound += q->GetCount();
      if (!fDecode) continue;
      for (uint32_t i = 0; i < q->GetCount(); ++i) {
        FoundObject obj = {};
        q->GetItem(i, &obj, dwFlags);
        benchmark::DoNotOptimize(obj);
      }
    }
  }
  state.counters["searches/s"] = benchmark::Counter(double(c_cSearches), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["found/search"] = double(cFound) / c_cSearches;
  state.SetLabel(fImg ? "monaco-6bit.img" : fPointsOnly ? "monaco.osm.pbf compiled, point types" : "monaco.osm.pbf compiled");
}

void BM_NearestVel(benchmark::State& state) { RunNearest(state, false); }
void BM_NearestVelPoints(benchmark::State& state) { RunNearest(state, false, true); }
void BM_NearestImg(benchmark::State& state) { RunNearest(state, true); }
BENCHMARK(BM_NearestVel)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NearestVelPoints)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NearestImg)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
