// velmo-cli track: prints the track points of a track file (.gdb, .mps,
// .gpx) as the demo thread would receive them.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "res/Res.h"
#include "exchange/TrackFile.h"
#include "gps/GpsFix.h"
#include "platform/Str.h"
#include "tools/cli/Cli.h"

std::string CliDateText(double dTime);

namespace {

void PrintValue(const GpsFix& fix, uint32_t dwFlag, float f, const char* pszFormat) {
  if (fix.dwFlags & dwFlag) std::printf(pszFormat, f);
  else std::printf("\t-");
}

int RunTrack(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmo-cli track FILE\n");
    return 2;
  }
  std::u16string strPath = platform::Utf8ToU16(argv[1]);
  exchange::TrackOpenResult result;
  std::unique_ptr<exchange::TrackFileReader> pReader(exchange::OpenTrackFile(strPath.c_str(), result));
  if (!pReader) {
    if (result == exchange::torUnknownFormat) {
      std::fprintf(stderr, "velmo-cli: '%s' is not a track file (GDB, MPS, GPX) or is damaged\n", argv[1]);
    } else {
      char16_t sz[1024];
      FormatResString(sz, 1024, result == exchange::torCannotOpen ? exchange::c_idsCannotOpenFile
                                                                  : exchange::c_idsCannotReadFile,
                      strPath.c_str(), platform::Utf8ToU16(std::strerror(errno)).c_str());
      std::fprintf(stderr, "%s\n", platform::U16ToUtf8(sz).c_str());
    }
    return 1;
  }
  std::printf("#\ttime (UTC)\tlatitude\tlongitude\taltitude\tspeed km/h\tcourse\tvertical m/s\n");
  unsigned n = 0;
  for (;;) {
    GpsFix fix{};
    if (!pReader->NextPoint(fix)) break;
    std::printf("%u", ++n);
    std::printf("\t%s", (fix.dwFlags & gfTime) ? CliDateText(fix.time).c_str() : "-");
    std::printf("\t%.7f\t%.7f", fix.latitude, fix.longitude);
    PrintValue(fix, gfAltitude, fix.altitude, "\t%.2f");
    PrintValue(fix, gfSpeed, fix.speed, "\t%.2f");
    PrintValue(fix, gfCourse, fix.course, "\t%.1f");
    PrintValue(fix, gfVerticalSpeed, fix.verticalSpeed, "\t%.3f");
    std::printf("\n");
  }
  std::printf("points: %u\n", n);
  return 0;
}

}  // namespace

VELMO_CLI_COMMAND(track, "track", "FILE", RunTrack);
VELMO_CLI_HELP(track,
               "Reads the tracks of a track file (GDB, MPS or GPX) as the program's demo player does and\n"
               "prints one line per point: number, time, latitude, longitude, altitude, speed, course\n"
               "and vertical speed (\"-\" where the file has none).");
