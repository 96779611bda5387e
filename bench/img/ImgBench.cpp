// The Draw walk of each IMG map at its most detailed level with a null
// drawing context, next to the native reader on a map compiled from the
// same OSM extract: objects/s and points/s of the level the walk draws.
// Also the coordinate stream and six-bit label decoders alone.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <map>
#include <memory>
#include <string>

#include "bench/NullDrawSink.h"
#include "map/img/ImgParser.h"
#include "map/img/ImgLabels.h"
#include "map/vel/VelParser.h"
#include "platform/Str.h"
#include "tools/velc/OsmConvert.h"

namespace {

// Label collector that takes nothing (the texts are decoded all the same).
class CNullLabels : public CLabelSink {
 public:
  void AddPointLabel(CMapParser*, uint16_t, const char16_t*, size_t c, uint32_t, int32_t, int32_t, uint16_t,
                     StyleHandle, StyleHandle) override {
    cChars += c;
  }
  void AddLineLabel(CMapParser*, uint16_t, bool, const char16_t*, size_t c, uint32_t, const VPoint*, size_t,
                    const MapRect&, StyleHandle) override {
    cChars += c;
  }
  void AddAreaLabel(CMapParser*, uint16_t, const char16_t*, size_t c, uint32_t, const VPoint*, size_t, const MapRect&,
                    StyleHandle) override {
    cChars += c;
  }
  uint64_t cChars = 0;
};

struct Extract {
  const char* pszImg;
  const char* pszOsm;
};
const Extract c_aExtracts[] = {
    {"monaco-6bit.img", "monaco.osm.pbf"},
    {"moscow-cp1251.img", "moscow.osm.pbf"},
    {"andorra-unicode.img", "andorra.osm.pbf"},
    {"north-bayreuth-6bit.img", "north-bayreuth.osm.pbf"},
};

bool Exists(const std::string& str) {
  struct stat st;
  return stat(str.c_str(), &st) == 0;
}

CMapParser* Open(const std::string& strPath) {
  std::u16string s = platform::Utf8ToU16(strPath);
  return OpenMapFile(s.c_str(), false, c_fOpenAll);
}

bool CountImg(void* p, const ImgObject& obj) {
  auto* pc = static_cast<std::pair<uint64_t, uint64_t>*>(p);
  ++pc->first;
  pc->second += obj.cPoints;
  return true;
}

bool CountVel(void* p, const VelRecord& rec, const MapPoint*, const char16_t*, uint32_t, const VelBlockInfo&) {
  auto* pc = static_cast<std::pair<uint64_t, uint64_t>*>(p);
  ++pc->first;
  pc->second += rec.cPoints;
  return true;
}

void BM_ImgDraw(benchmark::State& state) {
  const Extract& e = c_aExtracts[state.range(0)];
  std::string strPath = std::string(VELMO_SHARED_DATA) + "/img/" + e.pszImg;
  std::unique_ptr<CMapParser> p(Exists(strPath) ? Open(strPath) : nullptr);
  if (!p) {
    state.SkipWithError("IMG map not present");
    return;
  }
  CImgParser* pImg = static_cast<CImgParser*>(p.get());
  std::pair<uint64_t, uint64_t> counts{0, 0};
  pImg->ForEachObject(pImg->ChooseLevel(0), CountImg, &counts);
  CNullDrawSink sink;
  CNullLabels labels;
  for (auto _ : state) {
    pImg->Draw(&sink, &labels);
    benchmark::DoNotOptimize(sink.cPoints);
  }
  state.counters["objects/s"] = benchmark::Counter(double(counts.first), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["points/s"] = benchmark::Counter(double(counts.second), benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(e.pszImg);
}
BENCHMARK(BM_ImgDraw)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_VelDraw(benchmark::State& state) {
  const Extract& e = c_aExtracts[state.range(0)];
  std::string strIn = std::string(VELMO_SHARED_DATA) + "/osm/" + e.pszOsm;
  std::string strOut = std::string(VELMO_BINARY_DIR) + "/bench-img-" + e.pszOsm + ".vel";
  static std::map<std::string, bool> s_compiled;
  if (!s_compiled.count(strOut)) {
    std::string strError;
    s_compiled[strOut] = Exists(strIn) && CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError);
  }
  std::unique_ptr<CMapParser> p(s_compiled[strOut] ? Open(strOut) : nullptr);
  if (!p) {
    state.SkipWithError("extract not present or not compiled");
    return;
  }
  CVelParser* pVel = static_cast<CVelParser*>(p.get());
  std::pair<uint64_t, uint64_t> counts{0, 0};
  pVel->ForEachObject(pVel->ChooseLevel(0), CountVel, &counts);
  CNullDrawSink sink;
  CNullLabels labels;
  for (auto _ : state) {
    pVel->Draw(&sink, &labels);
    benchmark::DoNotOptimize(sink.cPoints);
  }
  state.counters["objects/s"] = benchmark::Counter(double(counts.first), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["points/s"] = benchmark::Counter(double(counts.second), benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(std::string(e.pszOsm) + " compiled");
}
BENCHMARK(BM_VelDraw)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// The walk without drawing: record parsing and stream decoding only.
void BM_ImgDecodeLevel(benchmark::State& state) {
  std::string strPath = std::string(VELMO_SHARED_DATA) + "/img/monaco-6bit.img";
  std::unique_ptr<CMapParser> p(Exists(strPath) ? Open(strPath) : nullptr);
  if (!p) {
    state.SkipWithError("IMG map not present");
    return;
  }
  CImgParser* pImg = static_cast<CImgParser*>(p.get());
  const uint32_t nLevel = pImg->GetLevelCount() - 1;
  std::pair<uint64_t, uint64_t> counts{0, 0};
  for (auto _ : state) {
    counts = {0, 0};
    pImg->ForEachObject(nLevel, CountImg, &counts);
    benchmark::DoNotOptimize(counts);
  }
  state.counters["objects/s"] = benchmark::Counter(double(counts.first), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["points/s"] = benchmark::Counter(double(counts.second), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ImgDecodeLevel)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
