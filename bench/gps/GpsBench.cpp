// Decode throughput of the three receiver protocols over streams built from
// the shared captures (NMEA: the NMEA captures concatenated whole until the
// stream holds 50 MiB; the same stream is written to the build tree so that
// gpsd's gpsdecode can be timed on it in the same run).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gps/GarminProtocol.h"
#include "gps/NMEA0183.h"
#include "gps/Positioning.h"
#include "gps/SiRFProtocol.h"
#include "platform/File.h"
#include "platform/Str.h"

namespace {

std::vector<std::string> CapturesOf(const std::string& protocol) {
  std::vector<std::string> names;
  std::ifstream in(std::string(VELMO_SHARED_DATA) + "/gps/index.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::stringstream ss(line);
    std::string name, proto;
    std::getline(ss, name, '\t');
    std::getline(ss, proto, '\t');
    if (proto == protocol) names.push_back(name);
  }
  return names;
}

std::vector<uint8_t> BuildStream(const std::string& protocol, size_t cbTarget) {
  std::vector<uint8_t> stream, one;
  std::vector<std::vector<uint8_t>> parts;
  for (const std::string& name : CapturesOf(protocol)) {
    std::vector<uint8_t> data;
    std::string path = std::string(VELMO_SHARED_DATA) + "/gps/" + name + "/raw.bin";
    if (platform::ReadWholeFile(platform::Utf8ToU16(path).c_str(), data)) parts.push_back(data);
  }
  if (parts.empty()) return stream;
  while (stream.size() < cbTarget)
    for (const auto& p : parts) stream.insert(stream.end(), p.begin(), p.end());
  return stream;
}

const std::vector<uint8_t>& NmeaStream() {
  static std::vector<uint8_t> s = [] {
    std::vector<uint8_t> v = BuildStream("NMEA-0183", size_t(50) << 20);
    std::string out = std::string(VELMO_BINARY_DIR) + "/gps_nmea_stream.txt";
    platform::WriteFileAtomic(platform::Utf8ToU16(out).c_str(), v.data(), v.size());
    std::fprintf(stderr, "NMEA stream: %zu bytes in %s\n", v.size(), out.c_str());
    return v;
  }();
  return s;
}

uint64_t g_cFixes = 0;
class CFixCounter : public CPositionListener {
  void OnFixTaken(const GpsFix&, uint32_t) override { ++g_cFixes; }
};

void Run(benchmark::State& state, GpsProtocol& protocol, const std::vector<uint8_t>& stream, bool fGarmin) {
  if (stream.empty()) {
    state.SkipWithError("no captures in the shared data");
    return;
  }
  CPositionHub hub;
  hub.AllowClockCorrection(false);
  CFixCounter counter;
  hub.Subscribe(&counter);
  protocol.SetHub(&hub);
  static const uint8_t c_abAck[8] = {0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03};
  g_cFixes = 0;
  for (auto _ : state) {
    protocol.Reset();
    if (fGarmin) protocol.ProcessData(c_abAck, 8);
    for (size_t off = 0; off < stream.size(); off += 4096) {
      size_t n = stream.size() - off < 4096 ? stream.size() - off : 4096;
      if (protocol.ProcessData(stream.data() + off, DWORD(n)) == Failed) {
        protocol.Reset();
        if (fGarmin) protocol.ProcessData(c_abAck, 8);
      }
    }
  }
  protocol.SetHub(&GetPositionHub());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
  state.counters["fixes/s"] = benchmark::Counter(double(g_cFixes), benchmark::Counter::kIsRate);
  state.counters["MiB/s"] =
      benchmark::Counter(double(state.iterations()) * double(stream.size()) / 1048576.0, benchmark::Counter::kIsRate);
}

void BM_Nmea(benchmark::State& state) {
  NMEA0183 nmea(4800);
  Run(state, nmea, NmeaStream(), false);
}
BENCHMARK(BM_Nmea)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_Garmin(benchmark::State& state) {
  static std::vector<uint8_t> s = BuildStream("Garmin binary", size_t(8) << 20);
  GarminProtocol garmin;
  Run(state, garmin, s, true);
}
BENCHMARK(BM_Garmin)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sirf(benchmark::State& state) {
  static std::vector<uint8_t> s = BuildStream("SiRF binary", size_t(8) << 20);
  SiRFProtocol sirf;
  Run(state, sirf, s, false);
}
BENCHMARK(BM_Sirf)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
