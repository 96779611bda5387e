// GPX 1.1 (and 1.0 for reading): waypoints, routes and tracks of the GPS
// exchange format every phone, watch and website speaks. Texts are UTF-8,
// times UTC. Reading goes through the XML reader of platform/Xml.h; a file
// that is not whole, well-formed GPX is refused as a whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "exchange/TrackFile.h"
#include "store/WaypointStore.h"

namespace exchange {

const uint32_t c_idsGpxFile = 2272;     // "GPS Exchange Format" (file type name)
const uint32_t c_idsGpxDamaged = 2182;  // the file is damaged or no GPX: nothing imported
const uint32_t c_idsGpxTracksSaved = 2183;  // "%d tracks ... '%s'"

// A point of any kind (wpt, rtept, trkpt).
struct GpxPoint {
  double dLat = 0;
  double dLon = 0;
  bool fEle = false;
  double dEle = 0;        // m
  double dTime = 0;       // days since 1899-12-30 UTC; 0: none
  std::u16string strName;
  std::u16string strComment;      // <cmt>
  std::u16string strDescription;  // <desc>
  std::u16string strSymbol;       // <sym>
};

struct GpxRoute {
  std::u16string strName;
  std::u16string strComment;
  std::u16string strDescription;
  std::vector<GpxPoint> points;
};

struct GpxTrack {
  std::u16string strName;
  std::u16string strDescription;
  std::vector<std::vector<GpxPoint>> segments;  // <trkseg>, each with its points
};

struct GpxDocument {
  std::vector<GpxPoint> waypoints;
  std::vector<GpxRoute> routes;
  std::vector<GpxTrack> tracks;
  int nVersion = 11;  // 10 or 11 as read
};

// The probe: an XML document whose root element is <gpx>.
bool IsGpxFile(const uint8_t* pb, size_t cb);
// The whole document; false (document unspecified) when the bytes are not
// well-formed XML with a <gpx> root, or a point lacks a valid position.
bool ReadGpx(const uint8_t* pb, size_t cb, GpxDocument& doc);
// GPX 1.1 text, UTF-8; dNow (days) is the metadata time when not 0.
void WriteGpx(const GpxDocument& doc, double dNow, std::vector<uint8_t>& out);

// ISO 8601 date and time ("2026-12-09T10:15:30Z", fractions and offsets
// read) to days since 1899-12-30 UTC, and back (whole seconds, "Z").
bool ParseIsoTime(const std::string& str, double& dDays);
std::string FormatIsoTime(double dDays);

// The program's symbol of a GPX symbol name (English names, then those of
// the interface language, case-insensitive), or −1; and the English name of
// a symbol (empty when it has none).
int FindSymbolByName(const std::u16string& strName);
extern const char* const c_apszGpxSymbolNames[c_cWaypointCount];  // UTF-8
std::u16string GetSymbolGpxName(unsigned nSymbol);

// The store as GPX: the waypoints not made for a route; with fRoutes the
// routes too (every point as <rtept>, named by its waypoint).
void StoreToGpx(CWaypointStore& store, bool fRoutes, GpxDocument& doc);
// Takes a read document into the store: waypoints, and with fRoutes the
// routes (a route point whose name and position are those of a waypoint of
// the file refers to it; other named points get waypoints made for the
// route; unnamed points are route points of their own).
void GpxToStore(const GpxDocument& doc, bool fRoutes, CWaypointStore& store, const ExchangeOptions& opts,
                ImportResult& result);

// Exporters and importers of the format lists.
void ExportGpxWaypoints(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out);
void ExportGpxRoutes(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out);
// A damaged file: fRefused with message c_idsGpxDamaged, the store untouched.
// The file's tracks (both) are counted in result.cTracks and handed over
// as an MPS track file in result.trackFile.
void ImportGpxWaypoints(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                        ImportResult& result);
void ImportGpxRoutes(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                     ImportResult& result);

// The tracks of a GPX document as an MPS track file (the recorder's
// layout): one 'T' record per track, its segments joined.
void WriteMpsTracks(const std::vector<GpxTrack>& tracks, std::vector<uint8_t>& out);
// The tracks of any track file (GPX, GDB, MPS) as GPX tracks. False when
// no track format accepts the bytes.
bool ReadTracks(const uint8_t* pb, size_t cb, unsigned nCodePage, std::vector<GpxTrack>& tracks);

// The track reader of a GPX file (its tracks replayed as through the MPS
// reader); null when the file is damaged.
TrackFileReader* CreateGpxTrackReader(const uint8_t* pb, size_t cb);

}  // namespace exchange
