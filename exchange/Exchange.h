// Waypoint and route exchange with MapSource (.gdb, .mps) and OziExplorer
// (.wpt, .rte) files: the format lists, the exporters (store → bytes) and
// the importers (bytes → store). Texts in these files are in an ANSI code
// page (exchange/CodePage.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/WaypointStore.h"

namespace exchange {

// Messages of the import (string ids).
const uint32_t c_idsImportedWaypoints = 2140;  // "Импортировано путевых точек - %d ."
const uint32_t c_idsGdbTooNew = 2168;          // MapSource later than 6.8
const uint32_t c_idsMpsTooOld = 2169;          // MapSource earlier than 4.09
const uint32_t c_idsUnsupportedDatum = 2170;   // datum '%s' not supported
const uint32_t c_idsImportedRoutes = 2190;     // "Импортировано маршрутов - %d, путевых точек - %d."
// Format names.
const uint32_t c_idsMapSourceDocument = 2270;  // "MapSource Document"
const uint32_t c_idsGarminDatabase = 2271;     // "Garmin GPS Database"
const uint32_t c_idsOziWaypoints = 2277;       // "Путевые точки OziExplorer"
const uint32_t c_idsOziRoutes = 2279;          // "Маршруты OziExplorer"

// The highest GDB and the lowest MPS format value ('D' record) read.
const uint16_t c_wMaxGdbFormat = 108;
const uint16_t c_wMinMpsFormat = 103;

struct ExchangeOptions {
  unsigned nCodePage;  // of the texts in the file
  double dNow;         // import time (days since 1899-12-30), the date of MPS waypoints
};
ExchangeOptions DefaultExchangeOptions(double dNow = 0);

struct ImportResult {
  uint32_t idsMessage = 0;    // 2140 / 2190 after an import, 2168 / 2169 / 2170 when refused
  std::u16string strDatum;    // the argument of 2170
  int cWaypoints = 0;         // imported
  int cRoutes = 0;
  bool fRefused = false;      // the file's version or datum is not read
  bool fTruncated = false;    // the file ended inside a record; what was whole is imported
  int cTracks = 0;            // tracks of the file (GPX), not taken into the store
  std::vector<uint8_t> trackFile;  // those tracks as an MPS track file, for the tracks folder
};

typedef void (*PfnExport)(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out);
typedef bool (*PfnProbe)(const uint8_t* pb, size_t cb);
typedef void (*PfnImport)(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                          ImportResult& result);

// An entry of a format list; export lists fill pfnExport, import lists
// pfnProbe and pfnImport.
struct ExchangeFormat {
  uint32_t idsName;
  const char16_t* pszFilter;     // "*.gdb"
  const char16_t* pszExtension;  // "gdb"
  PfnExport pfnExport;
  PfnProbe pfnProbe;
  PfnImport pfnImport;
  bool fHidden;                  // left out of the numbered list
};

const ExchangeFormat* GetWaypointExportFormats(size_t& cFormats);
const ExchangeFormat* GetRouteExportFormats(size_t& cFormats);
const ExchangeFormat* GetWaypointImportFormats(size_t& cFormats);
const ExchangeFormat* GetRouteImportFormats(size_t& cFormats);

// The file name the export dialogs propose.
extern const char16_t c_szExportedWaypoints[];  // "Exported Waypoints"
extern const char16_t c_szExportedRoutes[];     // "Exported Routes"

// The filter text of an open or save dialog for a format list: for every
// entry not hidden its display text and its pattern, each ended by a zero
// unit, and a final zero unit. pfnName gives the display text of a string id.
std::u16string BuildFilter(const ExchangeFormat* pFormats, size_t cFormats,
                           std::u16string (*pfnName)(uint32_t idsName));
// The entry of a numbered list (as a dialog's filter index counts them:
// hidden entries are not counted), or null.
const ExchangeFormat* GetNumberedFormat(const ExchangeFormat* pFormats, size_t cFormats, size_t iNumber);

// Writes the store in the format, replacing the file in one step. False when
// the file cannot be written (message 2003 with the path).
bool ExportToFile(const ExchangeFormat& format, CWaypointStore& store, const ExchangeOptions& opts,
                  const char16_t* pszPath);

// The import format whose probe accepts the bytes: the route importers
// first (they take the waypoints of the file too), then the waypoint
// importers. Null when none does.
const ExchangeFormat* FindImportFormat(const uint8_t* pb, size_t cb);

// Exporters: every waypoint and route of the store whose deleted flag is
// clear, in store order.
void ExportMpsWaypoints(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out);
void ExportGdbWaypoints(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out);
void ExportGdbRoutes(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out);
void ExportOziWaypoints(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out);
void ExportOziRoutes(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out);

// Importers: new waypoints and routes go to the head of the store's lists.
bool IsOziWaypointFile(const uint8_t* pb, size_t cb);
bool IsOziRouteFile(const uint8_t* pb, size_t cb);
void ImportMpsWaypoints(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                        ImportResult& result);
void ImportGdbWaypoints(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                        ImportResult& result);
// Waypoints and routes (a route point refers to the imported waypoint of
// its name; link points between two route waypoints become the shape).
void ImportGdbRoutes(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                     ImportResult& result);
void ImportOziWaypoints(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                        ImportResult& result);
void ImportOziRoutes(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                     ImportResult& result);

// A text as written to OziExplorer files: ANSI, line breaks as blanks,
// commas as byte 209, at most cbMax bytes (0: no limit).
std::string OziText(const std::u16string& str, unsigned nCodePage, size_t cbMax = 0);

}  // namespace exchange
