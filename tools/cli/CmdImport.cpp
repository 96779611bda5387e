// velmo-cli import: prints the waypoints and routes an exchange file (GDB,
// MPS, OziExplorer, GPX) or a Waypoints.bin holds, in file order.
#include <cerrno>
#include <cmath>
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

namespace {

std::string Utf8(const std::u16string& s) { return platform::U16ToUtf8(s); }

}  // namespace

// A day number (days since 1899-12-30) as an ISO date and time, or "-".
std::string CliDateText(double dTime) {
  std::string str = dTime != 0 ? exchange::FormatIsoTime(dTime) : std::string();
  return str.empty() ? "-" : str;
}

namespace {

void PrintWaypoint(const char* pszPrefix, const Waypoint& wp) {
  char szAlt[32] = "-";
  if (wp.HasAltitude()) std::snprintf(szAlt, sizeof szAlt, "%.2f", wp.fAltitude);
  std::string strComment = Utf8(wp.strDescription);
  for (char& ch : strComment)
    if (ch == '\r' || ch == '\n' || ch == '\t') ch = ' ';
  std::printf("%s%s\t%.9f\t%.9f\t%s\t%s\t%s\n", pszPrefix, Utf8(wp.strName).c_str(), StoredToDegrees(wp.y),
              StoredToDegrees(wp.x), szAlt, CliDateText(wp.dTime).c_str(), strComment.c_str());
}

}  // namespace

// Imports a file for the import and export commands; false (with the
// message printed) when it cannot be read.
bool CliImport(CWaypointStore& store, const char* pszFile, const exchange::ExchangeOptions& opts,
               exchange::ImportResult& result, exchange::ImportFileInfo& info) {
  std::u16string strPath = platform::Utf8ToU16(pszFile);
  exchange::ImportFileStatus status = exchange::ImportFile(store, strPath.c_str(), opts, result, info);
  char16_t sz[1024];
  switch (status) {
    case exchange::ifsImported:
      return true;
    case exchange::ifsCannotOpen:
      FormatResString(sz, 1024, exchange::c_idsCannotOpenFile, strPath.c_str(),
                      platform::Utf8ToU16(std::strerror(errno)).c_str());
      break;
    case exchange::ifsUnknownFormat:
      std::fprintf(stderr, "velmo-cli: '%s' is not a waypoint, route or store file\n", pszFile);
      return false;
    case exchange::ifsDamagedStore:
      FormatResString(sz, 1024, c_idsWaypointsDamaged);
      std::fprintf(stderr, "message %u: %s\n", unsigned(c_idsWaypointsDamaged), Utf8(sz).c_str());
      return true;
  }
  std::fprintf(stderr, "%s\n", Utf8(sz).c_str());
  return false;
}

namespace {

int RunImport(int argc, char** argv) {
  const char* pszFile = nullptr;
  unsigned nCodePage = exchange::GetAnsiCodePage();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--codepage") == 0 && i + 1 < argc) {
      int64_t n = 0;
      if (!ParseCliInteger(argv[++i], 0, 65535, n) || !exchange::IsSupportedCodePage(unsigned(n)))
        return CliBadValue("import", "--codepage", "874 or 1250-1258", argv[i]);
      nCodePage = unsigned(n);
    } else {
      pszFile = argv[i];
    }
  }
  if (!pszFile || !exchange::IsSupportedCodePage(nCodePage)) {
    std::fprintf(stderr, "usage: velmo-cli import [--codepage 874|1250-1258] FILE\n");
    return 2;
  }
  CWaypointStore store;
  exchange::ExchangeOptions opts = exchange::DefaultExchangeOptions();
  opts.nCodePage = nCodePage;
  exchange::ImportResult result;
  exchange::ImportFileInfo info;
  if (!CliImport(store, pszFile, opts, result, info)) return 1;

  if (info.fStoreFile) {
    std::printf("format: Waypoints.bin\n");
  } else {
    char16_t szName[128];
    LoadResString(info.pFormat->idsName, szName, 128);
    std::printf("format: %s (%s)\n", Utf8(szName).c_str(), Utf8(info.pFormat->pszFilter).c_str());
  }
  std::vector<const Waypoint*> wps;
  for (const Waypoint* p = store.FirstWaypoint(); p; p = p->pNext)
    if (!p->IsDeleted()) wps.insert(wps.begin(), p);
  std::vector<const Route*> routes;
  for (const Route* p = store.FirstRoute(); p; p = p->pNext)
    if (!p->IsDeleted()) routes.insert(routes.begin(), p);
  std::printf("waypoints: %zu\n", wps.size());
  for (const Waypoint* p : wps) PrintWaypoint("W\t", *p);
  std::printf("routes: %zu\n", routes.size());
  for (const Route* p : routes) {
    size_t cWaypoints = 0;
    for (const RoutePoint& rp : p->points) cWaypoints += rp.pWaypoint != nullptr;
    std::printf("R\t%s\t%zu points\t%zu waypoints\t%.1f m\n", Utf8(p->strName).c_str(), p->points.size(), cWaypoints,
                GetRouteLength(*p));
    for (const RoutePoint& rp : p->points) {
      if (rp.pWaypoint) PrintWaypoint("  P\t", *rp.pWaypoint);
      else std::printf("  S\t%.9f\t%.9f\n", StoredToDegrees(rp.GetY()), StoredToDegrees(rp.GetX()));
    }
  }
  if (result.idsMessage) {
    char16_t sz[512];
    if (result.idsMessage == exchange::c_idsImportedRoutes)
      FormatResString(sz, 512, result.idsMessage, result.cRoutes, result.cWaypoints);
    else if (result.idsMessage == exchange::c_idsUnsupportedDatum)
      FormatResString(sz, 512, result.idsMessage, result.strDatum.c_str());
    else
      FormatResString(sz, 512, result.idsMessage, result.cWaypoints);
    std::fprintf(stderr, "message %u: %s\n", unsigned(result.idsMessage), Utf8(sz).c_str());
  }
  return result.fRefused ? 3 : 0;
}

}  // namespace

VELMO_CLI_COMMAND(import, "import", "[--codepage 874|1250-1258] FILE", RunImport);
VELMO_CLI_HELP(import,
               "Reads a waypoint and route file (Waypoints.bin, MapSource GDB/MPS, OziExplorer WPT/RTE, GPX)\nas the program imports it and prints its waypoints and routes. The program's messages\nabout the file (refusals, counts) go to standard error; a refused file exits with 3.");
