// velmo-cli export: reads any importable file (or a Waypoints.bin) into a
// store and writes the store in one of the export formats.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "res/Res.h"
#include "exchange/CodePage.h"
#include "exchange/Exchange.h"
#include "exchange/Gpx.h"
#include "exchange/ImportFile.h"
#include "exchange/TrackFile.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "store/WaypointStore.h"
#include "tools/cli/Cli.h"
#include "tools/cli/CliArgs.h"

bool CliImport(CWaypointStore& store, const char* pszFile, const exchange::ExchangeOptions& opts,
               exchange::ImportResult& result, exchange::ImportFileInfo& info);

namespace {

struct CliExportFormat {
  const char* pszName;
  exchange::PfnExport pfnExport;
};

const CliExportFormat c_aFormats[] = {
    {"gdb", exchange::ExportGdbWaypoints},
    {"gdb-routes", exchange::ExportGdbRoutes},
    {"mps", exchange::ExportMpsWaypoints},
    {"wpt", exchange::ExportOziWaypoints},
    {"rte", exchange::ExportOziRoutes},
    {"gpx", exchange::ExportGpxRoutes},  // waypoints, routes and the tracks of IN
};

int RunExport(int argc, char** argv) {
  const CliExportFormat* pFormat = nullptr;
  unsigned nCodePage = exchange::GetAnsiCodePage();
  const char* apszFiles[2] = {nullptr, nullptr};
  int cFiles = 0;
  bool fBad = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--format") == 0 && i + 1 < argc) {
      const char* psz = argv[++i];
      for (const CliExportFormat& f : c_aFormats)
        if (std::strcmp(f.pszName, psz) == 0) pFormat = &f;
      fBad = fBad || !pFormat;
    } else if (std::strcmp(argv[i], "--codepage") == 0 && i + 1 < argc) {
      int64_t n = 0;
      if (!ParseCliInteger(argv[++i], 0, 65535, n) || !exchange::IsSupportedCodePage(unsigned(n)))
        return CliBadValue("export", "--codepage", "874 or 1250-1258", argv[i]);
      nCodePage = unsigned(n);
    } else if (cFiles < 2) {
      apszFiles[cFiles++] = argv[i];
    } else {
      fBad = true;
    }
  }
  if (fBad || !pFormat || cFiles != 2 || !exchange::IsSupportedCodePage(nCodePage)) {
    std::fprintf(stderr,
                 "usage: velmo-cli export --format gdb|gdb-routes|mps|wpt|rte|gpx [--codepage 874|1250-1258] IN OUT\n");
    return 2;
  }
  // The output replaces its file whole: over the input it would lose it.
  if (platform::IsSameFile(platform::Utf8ToU16(apszFiles[0]).c_str(), platform::Utf8ToU16(apszFiles[1]).c_str())) {
    std::fprintf(stderr, "velmo-cli: the output %s is the input; give another name\n", apszFiles[1]);
    return 2;
  }
  CWaypointStore store;
  exchange::ExchangeOptions opts = exchange::DefaultExchangeOptions();
  opts.nCodePage = nCodePage;
  exchange::ImportResult result;
  exchange::ImportFileInfo info;
  if (!CliImport(store, apszFiles[0], opts, result, info)) return 1;
  if (result.fRefused) {
    std::fprintf(stderr, "velmo-cli: '%s' is not read (message %u)\n", apszFiles[0], unsigned(result.idsMessage));
    return 3;
  }
  std::vector<uint8_t> out;
  size_t cTracks = 0;
  if (pFormat->pfnExport == exchange::ExportGpxRoutes) {
    // GPX carries the tracks of the file too
    exchange::GpxDocument doc;
    exchange::StoreToGpx(store, true, doc);
    std::vector<uint8_t> in;
    if (platform::ReadWholeFile(platform::Utf8ToU16(apszFiles[0]).c_str(), in))
      exchange::ReadTracks(in.data(), in.size(), opts.nCodePage, doc.tracks);
    cTracks = doc.tracks.size();
    exchange::WriteGpx(doc, opts.dNow, out);
  } else {
    pFormat->pfnExport(store, opts, out);
  }
  std::u16string strOut = platform::Utf8ToU16(apszFiles[1]);
  if (!platform::WriteFileAtomic(strOut.c_str(), out.data(), out.size())) {
    char16_t sz[1024];
    FormatResString(sz, 1024, exchange::c_idsCannotWriteFile, strOut.c_str(),
                    platform::Utf8ToU16(std::strerror(errno)).c_str());
    std::fprintf(stderr, "%s\n", platform::U16ToUtf8(sz).c_str());
    return 1;
  }
  if (cTracks) std::printf("%zu tracks, ", cTracks);
  std::printf("%zu waypoints, %zu routes written to %s\n", store.CountWaypoints(), store.CountRoutes(), apszFiles[1]);
  return 0;
}

}  // namespace

VELMO_CLI_COMMAND(export, "export", "--format gdb|gdb-routes|mps|wpt|rte|gpx [--codepage 874|1250-1258] IN OUT", RunExport);
VELMO_CLI_HELP(export,
               "Reads a waypoint and route file as import does and writes it in another format,\nas the program exports it. The output is replaced only when written whole. GPX also\ncarries the tracks of IN (GPX, GDB or MPS).");
