// Map collections: building Index.vidx over the maps of the four OSM
// extracts and the demo region, opening the collection, and the first
// drawing at a point (which opens the member there).
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "bench/NullDrawSink.h"
#include "map/MapFiles.h"
#include "map/vidx/VidxBuilder.h"
#include "map/vidx/VidxParser.h"
#include "platform/Str.h"
#include "tools/velc/OsmConvert.h"

namespace {

// The five maps compiled once into one folder; empty without the extracts.
const std::string& Folder() {
  static std::string s_strDir;
  static bool s_fDone = false;
  if (s_fDone) return s_strDir;
  s_fDone = true;
  const std::string dir = std::string(VELMO_BINARY_DIR) + "/bench-vidx";
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  int cMaps = 0;
  for (const char* pszName : {"andorra", "monaco", "moscow", "north-bayreuth"}) {
    const std::string strPbf = std::string(VELMO_SHARED_DATA) + "/osm/" + pszName + ".osm.pbf";
    struct stat st;
    if (stat(strPbf.c_str(), &st) != 0) continue;
    std::string strError;
    if (CompileOsmToVel(strPbf, dir + "/" + pszName + ".vel", "", VelWriterOptions(), strError)) ++cMaps;
  }
  if (!cMaps) return s_strDir;
  const std::string strOsm = dir + "/demo.osm";  // read by its extension; not a member
  std::string strError;
  if (std::system((std::string(VELMO_DEMOGEN) + " --size 2 -o '" + strOsm + "' > /dev/null").c_str()) == 0)
    CompileOsmToVel(strOsm, dir + "/demo.vel", "", VelWriterOptions(), strError);
  std::remove(strOsm.c_str());
  s_strDir = dir;
  return s_strDir;
}

void BM_BuildCollectionIndex(benchmark::State& state) {
  if (Folder().empty()) {
    state.SkipWithError("no OSM extracts");
    return;
  }
  const std::u16string strFolder = platform::Utf8ToU16(Folder());
  int32_t cMaps = 0;
  for (auto _ : state) cMaps = BuildCollectionIndex(strFolder.c_str(), VidxBuildHost{nullptr, nullptr, nullptr, nullptr});
  state.counters["maps"] = cMaps;
}
BENCHMARK(BM_BuildCollectionIndex)->Unit(benchmark::kMillisecond);

void BM_OpenCollection(benchmark::State& state) {
  if (Folder().empty()) {
    state.SkipWithError("no OSM extracts");
    return;
  }
  const std::u16string strFolder = platform::Utf8ToU16(Folder());
  BuildCollectionIndex(strFolder.c_str(), VidxBuildHost{nullptr, nullptr, nullptr, nullptr});
  for (auto _ : state) {
    CMapParser* p = OpenUserMap(strFolder.c_str(), true);
    benchmark::DoNotOptimize(p);
    delete p;
  }
}
BENCHMARK(BM_OpenCollection)->Unit(benchmark::kMicrosecond);

// Open the collection and draw once at the centre of its first member
// (opening that member through the cache).
void BM_OpenAndFirstDraw(benchmark::State& state) {
  if (Folder().empty()) {
    state.SkipWithError("no OSM extracts");
    return;
  }
  const std::u16string strFolder = platform::Utf8ToU16(Folder());
  BuildCollectionIndex(strFolder.c_str(), VidxBuildHost{nullptr, nullptr, nullptr, nullptr});
  uint64_t cPoints = 0;
  for (auto _ : state) {
    CMapParser* p = OpenUserMap(strFolder.c_str(), true);
    CVidxParser* pIndex = AsVidxParser(p);
    if (!pIndex || !pIndex->GetMapCount()) {
      state.SkipWithError("the collection did not open");
      delete p;
      return;
    }
    const MapRect r = pIndex->GetMember(0).rect;
    const int32_t x = int32_t((int64_t(r.left) + r.right) / 2), y = int32_t((int64_t(r.top) + r.bottom) / 2);
    CNullDrawSink sink;
    sink.nScale = 1;
    sink.rectView = MapRect{x - (1 << 14), y - (1 << 13), x + (1 << 14), y + (1 << 13)};
    pIndex->Draw(&sink, nullptr);
    cPoints = sink.cPoints;
    delete p;
  }
  state.counters["points"] = double(cPoints);
}
BENCHMARK(BM_OpenAndFirstDraw)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
