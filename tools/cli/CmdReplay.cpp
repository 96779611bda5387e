// velmo-cli replay: feeds a recorded receiver stream through a protocol and
// prints what comes out. The stream is read in blocks and every fix is
// printed as it comes, so a stream of any length replays in the same memory.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "gps/GpsTime.h"
#include "gps/PositionHub.h"
#include "gps/Replay.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "platform/SystemInfo.h"
#include "tools/cli/Cli.h"
#include "tools/cli/CliArgs.h"

namespace {

const char c_szUsage[] = "--protocol nmea|nmea9600|garmin|sirf [--chunk N] [--seed S] [--since YYYY-MM-DD] FILE";

// Prints what the replay's hub publishes, line by line.
class CReplayPrinter : public CPositionListener {
 public:
  void OnFixTaken(const GpsFix& fix, uint32_t) override {
    std::printf("%s\n", FormatFixLine(fix).c_str());
    ++m_cFixes;
  }
  void OnSkyComplete(const SatelliteInfo* pSatellites, int cCount) override {
    std::printf("%s\n", FormatSkyLine(MakeSkyReport(pSatellites, cCount)).c_str());
    ++m_cSkies;
  }
  uint64_t m_cFixes = 0, m_cSkies = 0;
};

int RunReplay(int argc, char** argv) {
  const char* pszProtocol = nullptr;
  const char* pszFile = nullptr;
  int64_t nSeed = 0, nChunk = 4096;
  double dPivot = 0;  // the build date
  bool fBad = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--protocol") == 0 && i + 1 < argc) {
      pszProtocol = argv[++i];
    } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
      if (!ParseCliInteger(argv[++i], 0, 0xFFFFFFFFll, nSeed))
        return CliBadValue("replay", "--seed", "a whole number 0-4294967295", argv[i]);
    } else if (std::strcmp(argv[i], "--since") == 0 && i + 1 < argc) {
      if (!ParseCliDate(argv[++i], dPivot))
        return CliBadValue("replay", "--since", "a date YYYY-MM-DD from 1980-01-06 on", argv[i]);
    } else if (std::strcmp(argv[i], "--chunk") == 0 && i + 1 < argc) {
      if (!ParseCliInteger(argv[++i], 1, int64_t(CReplayStream::c_cbMaxChunkLimit), nChunk))
        return CliBadValue("replay", "--chunk", "a number of bytes 1-1048576", argv[i]);
    } else if (!pszFile) {
      pszFile = argv[i];
    } else {
      fBad = true;
    }
  }
  if (fBad || !pszProtocol || !pszFile || !IsReplayProtocol(pszProtocol)) {
    std::fprintf(stderr, "usage: velmo-cli replay %s\n", c_szUsage);
    return 2;
  }
  platform::CFile file;
  if (!file.Open(platform::Utf8ToU16(pszFile).c_str(), platform::fmRead)) {
    std::fprintf(stderr, "cannot read %s\n", pszFile);
    return 1;
  }
  // A hub of its own: the replay never touches the program's position, its
  // track or the system clock.
  CPositionHub hub;
  if (dPivot != 0) hub.SetDatePivot(dPivot);
  CReplayPrinter printer;
  hub.Subscribe(&printer);
  uint64_t cbTotal = 0;
  bool fRead = true;
  uint32_t cFailures = 0;
  {
    CReplayStream stream(hub, pszProtocol, uint32_t(nSeed), size_t(nChunk));
    std::vector<uint8_t> block(1 << 16);
    for (;;) {
      size_t cb = 0;
      if (!file.Read(block.data(), block.size(), &cb)) {
        fRead = false;
        break;
      }
      if (cb == 0) break;
      cbTotal += cb;
      stream.Feed(block.data(), cb);
    }
    stream.Finish();
    cFailures = stream.Failures();
  }
  hub.Unsubscribe(&printer);
  std::fflush(stdout);
  if (!fRead) {
    std::fprintf(stderr, "cannot read %s\n", pszFile);
    return 1;
  }
  std::fprintf(stderr, "%llu fixes, %llu satellite tables, %u checksum errors, %u skipped segments, %u protocol failures\n",
               (unsigned long long)printer.m_cFixes, (unsigned long long)printer.m_cSkies, hub.ChecksumErrors(),
               hub.SkippedData(), cFailures);
  uint64_t qwPeakKb = 0;
  if (platform::GetPeakMemoryKb(qwPeakKb))
    std::fprintf(stderr, "%llu bytes read, peak memory %llu KiB\n", (unsigned long long)cbTotal,
                 (unsigned long long)qwPeakKb);
  if (cbTotal != 0 && printer.m_cFixes == 0 && printer.m_cSkies == 0) {
    std::fprintf(stderr, "velmo-cli: nothing decoded from %s as %s\n", pszFile, pszProtocol);
    return 1;
  }
  return 0;
}

}  // namespace

VELMO_CLI_COMMAND(replay, "replay", c_szUsage, RunReplay);
VELMO_CLI_HELP(replay,
               "Feeds a recorded receiver stream through one protocol's decoder and prints every fix\nand satellite table it yields. --chunk and --seed cut the stream into reads as a port\nwould; --since sets the first day receiver dates may fall on. Exits with 1 when a\nnon-empty stream yields nothing. The stream is read as it goes, in the same memory\nhowever long it is.");
