// The format lists the export and import dialogs offer, in filter order.
#include "exchange/CodePage.h"
#include "exchange/Exchange.h"
#include "exchange/Gpx.h"
#include "exchange/MapSource.h"
#include "platform/File.h"

namespace exchange {

namespace {

template <size_t N>
const ExchangeFormat* List(const ExchangeFormat (&a)[N], size_t& c) {
  c = N;
  return a;
}

const ExchangeFormat c_aWaypointExport[] = {
    {c_idsGarminDatabase, u"*.gdb", u"gdb", ExportGdbWaypoints, nullptr, nullptr, false},
    {c_idsOziWaypoints, u"*.wpt", u"wpt", ExportOziWaypoints, nullptr, nullptr, false},
    {c_idsMapSourceDocument, u"*.mps", u"mps", ExportMpsWaypoints, nullptr, nullptr, false},
    {c_idsGpxFile, u"*.gpx", u"gpx", ExportGpxWaypoints, nullptr, nullptr, false},
};

const ExchangeFormat c_aRouteExport[] = {
    {c_idsGarminDatabase, u"*.gdb", u"gdb", ExportGdbRoutes, nullptr, nullptr, false},
    {c_idsOziRoutes, u"*.rte", u"rte", ExportOziRoutes, nullptr, nullptr, false},
    {c_idsGpxFile, u"*.gpx", u"gpx", ExportGpxRoutes, nullptr, nullptr, false},
};

const ExchangeFormat c_aWaypointImport[] = {
    {c_idsGarminDatabase, u"*.gdb", u"gdb", nullptr, IsGdbFile, ImportGdbWaypoints, false},
    {c_idsMapSourceDocument, u"*.mps", u"mps", nullptr, IsMpsFile, ImportMpsWaypoints, false},
    {c_idsOziWaypoints, u"*.wpt", u"wpt", nullptr, IsOziWaypointFile, ImportOziWaypoints, false},
    {c_idsGpxFile, u"*.gpx", u"gpx", nullptr, IsGpxFile, ImportGpxWaypoints, false},
};

const ExchangeFormat c_aRouteImport[] = {
    {c_idsGarminDatabase, u"*.gdb", u"gdb", nullptr, IsGdbFile, ImportGdbRoutes, false},
    {c_idsOziRoutes, u"*.rte", u"rte", nullptr, IsOziRouteFile, ImportOziRoutes, false},
    {c_idsGpxFile, u"*.gpx", u"gpx", nullptr, IsGpxFile, ImportGpxRoutes, false},
};

}  // namespace

const char16_t c_szExportedWaypoints[] = u"Exported Waypoints";
const char16_t c_szExportedRoutes[] = u"Exported Routes";

std::u16string BuildFilter(const ExchangeFormat* pFormats, size_t cFormats,
                           std::u16string (*pfnName)(uint32_t idsName)) {
  std::u16string str;
  for (size_t i = 0; i < cFormats; ++i) {
    if (pFormats[i].fHidden) continue;
    str += pfnName(pFormats[i].idsName);
    str += u'\0';
    str += pFormats[i].pszFilter;
    str += u'\0';
  }
  str += u'\0';
  return str;
}

const ExchangeFormat* GetNumberedFormat(const ExchangeFormat* pFormats, size_t cFormats, size_t iNumber) {
  for (size_t i = 0; i < cFormats; ++i) {
    if (pFormats[i].fHidden) continue;
    if (iNumber-- == 0) return &pFormats[i];
  }
  return nullptr;
}

bool ExportToFile(const ExchangeFormat& format, CWaypointStore& store, const ExchangeOptions& opts,
                  const char16_t* pszPath) {
  if (!format.pfnExport) return false;
  std::vector<uint8_t> data;
  format.pfnExport(store, opts, data);
  return platform::WriteFileAtomic(pszPath, data.data(), data.size());
}

ExchangeOptions DefaultExchangeOptions(double dNow) {
  ExchangeOptions opts;
  opts.nCodePage = GetAnsiCodePage();
  opts.dNow = dNow;
  return opts;
}

const ExchangeFormat* GetWaypointExportFormats(size_t& c) { return List(c_aWaypointExport, c); }
const ExchangeFormat* GetRouteExportFormats(size_t& c) { return List(c_aRouteExport, c); }
const ExchangeFormat* GetWaypointImportFormats(size_t& c) { return List(c_aWaypointImport, c); }
const ExchangeFormat* GetRouteImportFormats(size_t& c) { return List(c_aRouteImport, c); }

const ExchangeFormat* FindImportFormat(const uint8_t* pb, size_t cb) {
  for (const auto& f : c_aRouteImport)
    if (f.pfnProbe(pb, cb)) return &f;
  for (const auto& f : c_aWaypointImport)
    if (f.pfnProbe(pb, cb)) return &f;
  return nullptr;
}

}  // namespace exchange
