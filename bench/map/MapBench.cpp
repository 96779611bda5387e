// Speed of the native map reader: the Draw walk over the finest level of the
// largest OSM extract with a null drawing context, Huffman decoding, and
// opening maps of very different sizes (opening reads only the header and
// the tables, so its time must not grow with the file).
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <random>
#include <string>

#include "bench/NullDrawSink.h"
#include "map/bits/BitStream.h"
#include "map/bits/HuffmanEncoder.h"
#include "map/vel/VelParser.h"
#include "platform/Str.h"
#include "tools/velc/OsmConvert.h"

namespace {

std::string LargestExtract() {
  std::string strDir = std::string(VELMO_SHARED_DATA) + "/osm", strBest;
  off_t cbBest = -1;
  if (DIR* d = opendir(strDir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string s = e->d_name;
      if (s.size() < 8 || s.substr(s.size() - 8) != ".osm.pbf") continue;
      struct stat st;
      if (stat((strDir + "/" + s).c_str(), &st) == 0 && st.st_size > cbBest) {
        cbBest = st.st_size;
        strBest = strDir + "/" + s;
      }
    }
    closedir(d);
  }
  return strBest;
}

std::string CompiledMap(const std::string& strIn, const std::string& strName) {
  std::string strOut = std::string(VELMO_BINARY_DIR) + "/bench-" + strName + ".vel";
  std::string strError;
  if (!CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError)) return std::string();
  return strOut;
}

CVelParser* Open(const std::string& strPath) {
  std::u16string s = platform::Utf8ToU16(strPath);
  return static_cast<CVelParser*>(OpenMapFile(s.c_str(), false, c_fOpenAll));
}

bool CountObject(void* p, const VelRecord& rec, const MapPoint*, const char16_t*, uint32_t, const VelBlockInfo&) {
  auto* pc = static_cast<std::pair<uint64_t, uint64_t>*>(p);
  ++pc->first;
  pc->second += rec.cPoints;
  return true;
}

void BM_DrawFinestLevel(benchmark::State& state) {
  std::string strIn = LargestExtract();
  if (strIn.empty()) {
    state.SkipWithError("no OSM extracts");
    return;
  }
  static std::string s_strMap = CompiledMap(strIn, "largest");
  std::unique_ptr<CVelParser> p(Open(s_strMap));
  if (!p) {
    state.SkipWithError("cannot compile or open the extract");
    return;
  }
  std::pair<uint64_t, uint64_t> counts{0, 0};
  p->ForEachObject(p->GetLevelCount() - 1, CountObject, &counts);
  CNullDrawSink sink;
  for (auto _ : state) {
    p->Draw(&sink, nullptr);
    benchmark::DoNotOptimize(sink.cPoints);
  }
  state.counters["objects/s"] = benchmark::Counter(double(counts.first), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["points/s"] = benchmark::Counter(double(counts.second), benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(strIn.substr(strIn.find_last_of('/') + 1));
}
BENCHMARK(BM_DrawFinestLevel)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
  std::mt19937 rng(1);
  CHuffmanEncoder enc;
  std::vector<uint16_t> symbols;
  std::exponential_distribution<> dist(0.01);
  for (int i = 0; i < 1 << 20; ++i) {
    uint16_t v = uint16_t(std::min(65535.0, dist(rng)));
    symbols.push_back(v);
    enc.Add(v);
  }
  enc.Build();
  std::vector<uint8_t> stored, stream;
  enc.Serialize(stored);
  CBitWriter bw(stream);
  for (uint16_t v : symbols) enc.Write(bw, v);
  bw.Flush();
  CHuffmanTable table;
  table.Load(stored.data(), stored.data() + stored.size());
  for (auto _ : state) {
    CBitStream bs(stream.data(), stream.data() + stream.size());
    uint32_t sum = 0;
    for (size_t i = 0; i < symbols.size(); ++i) sum += bs.Decode(table);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["symbols/s"] =
      benchmark::Counter(double(symbols.size()), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["bits/symbol"] = double(stream.size()) * 8 / double(symbols.size());
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

// Opening a small and a 40 times larger demo region.
void BM_OpenMap(benchmark::State& state) {
  int nSize = int(state.range(0));
  std::string strOsm = std::string(VELMO_BINARY_DIR) + "/bench-demo" + std::to_string(nSize) + ".osm";
  static std::string s_astrMaps[64];
  std::string& strMap = s_astrMaps[nSize % 64];
  if (strMap.empty()) {
    std::string cmd = std::string(VELMO_DEMOGEN) + " --size " + std::to_string(nSize) + " -o " + strOsm + " > /dev/null";
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError("demogen failed");
      return;
    }
    strMap = CompiledMap(strOsm, "demo" + std::to_string(nSize));
  }
  struct stat st;
  stat(strMap.c_str(), &st);
  for (auto _ : state) {
    std::unique_ptr<CVelParser> p(Open(strMap));
    benchmark::DoNotOptimize(p.get());
  }
  state.counters["file bytes"] = double(st.st_size);
}
BENCHMARK(BM_OpenMap)->Arg(1)->Arg(40)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
