// velmo-cli replay: feeds a recorded receiver stream through a protocol and
// prints what comes out.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gps/GpsTime.h"
#include "gps/Replay.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "tools/cli/Cli.h"

static int RunReplay(int argc, char** argv) {
  const char* pszProtocol = nullptr;
  const char* pszFile = nullptr;
  uint32_t dwSeed = 0;
  size_t cbChunk = 4096;
  double dPivot = 0;  // the build date
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--protocol") == 0 && i + 1 < argc)
      pszProtocol = argv[++i];
    else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
      dwSeed = uint32_t(std::strtoul(argv[++i], nullptr, 10));
    else if (std::strcmp(argv[i], "--since") == 0 && i + 1 < argc) {
      int y = 0, m = 0, d = 0;
      if (std::sscanf(argv[++i], "%d-%d-%d", &y, &m, &d) != 3 || m < 1 || m > 12 || d < 1 || d > 31) {
        std::fprintf(stderr, "--since wants a date YYYY-MM-DD\n");
        return 2;
      }
      dPivot = DaysFromCivil(y, m, d);
    } else if (std::strcmp(argv[i], "--chunk") == 0 && i + 1 < argc)
      cbChunk = size_t(std::strtoul(argv[++i], nullptr, 10));
    else if (!pszFile)
      pszFile = argv[i];
    else
      pszFile = nullptr, i = argc;
  }
  if (!pszProtocol || !pszFile || !IsReplayProtocol(pszProtocol) || cbChunk == 0) {
    std::fprintf(stderr,
                 "usage: velmo-cli replay --protocol nmea|nmea9600|garmin|sirf [--chunk N] [--seed S] "
                 "[--since YYYY-MM-DD] FILE\n");
    return 2;
  }
  std::vector<uint8_t> data;
  if (!platform::ReadWholeFile(platform::Utf8ToU16(pszFile).c_str(), data)) {
    std::fprintf(stderr, "cannot read %s\n", pszFile);
    return 1;
  }
  ReplayResult result;
  ReplayCapture(pszProtocol, data.data(), data.size(), dwSeed, cbChunk, result, dPivot);
  size_t iFix = 0, iSky = 0;
  for (bool fFix : result.aOrder) {
    if (fFix)
      std::printf("%s\n", FormatFixLine(result.aFixes[iFix++]).c_str());
    else
      std::printf("%s\n", FormatSkyLine(result.aSkies[iSky++]).c_str());
  }
  std::fprintf(stderr, "%zu fixes, %zu satellite tables, %u checksum errors, %u skipped segments, %u protocol failures\n",
               result.aFixes.size(), result.aSkies.size(), result.cChecksumErrors, result.cSkippedSegments,
               result.cFailures);
  if (!data.empty() && result.aFixes.empty() && result.aSkies.empty()) {
    std::fprintf(stderr, "velmo-cli: nothing decoded from %s as %s\n", pszFile, pszProtocol);
    return 1;
  }
  return 0;
}

VELMO_CLI_COMMAND(replay, "replay", "--protocol nmea|nmea9600|garmin|sirf [--chunk N] [--seed S] [--since YYYY-MM-DD] FILE",
                  RunReplay);
VELMO_CLI_HELP(replay,
               "Feeds a recorded receiver stream through one protocol's decoder and prints every fix\nand satellite table it yields. --chunk and --seed cut the stream into reads as a port\nwould; --since sets the first day receiver dates may fall on. Exits with 1 when a\nnon-empty stream yields nothing.");
