// velmo-cli route MAP FROM_LAT FROM_LON TO_LAT TO_LON [--vehicle N] [--shortest]
//   [--avoid tolls,highways,unpaved,uturns] [--via LAT,LON]... [--gpx OUT] [--store OUT]
// Computes a road route with the map's route search (via points leg by
// leg; a leg with no road near an end is a straight line) and prints:
//   length <km> km
//   time <h:mm:ss>
//   legs <n> straight <n>
//   maneuver <kind> angle <deg> exit <n> "<road>" at <km> km     (one per maneuver)
//   point <lat>,<lon> 0x<kind> "<road>"                           (every point)
// --gpx writes the points as a GPX route (replacing the file whole).
// --store writes them as the program's waypoint store (Waypoints.bin,
// replaced whole): one route named "Маршрут" whose via points are the
// waypoints "Старт", "Точка N" and "Финиш", with the road points between
// them as the route editor's calculation leaves them.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "map/RouteLegs.h"
#include "map/RouteOptions.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "routing/AutoRouting.h"
#include "store/WaypointStore.h"
#include "tools/cli/Cli.h"
#include "view/MapUnits.h"

namespace {

bool ParseDouble(const char* psz, double& f) {
  char* pEnd = nullptr;
  f = std::strtod(psz, &pEnd);
  return pEnd && pEnd != psz && *pEnd == 0 && std::isfinite(f);
}

bool ParseLatLon(const char* psz, double& fLat, double& fLon) {
  std::string s = psz;
  size_t comma = s.find(',');
  if (comma == std::string::npos) return false;
  return ParseDouble(s.substr(0, comma).c_str(), fLat) && ParseDouble(s.substr(comma + 1).c_str(), fLon) &&
         std::fabs(fLat) <= 90 && std::fabs(fLon) <= 180;
}

double PointLat(const RouterPoint& p) { return Map2ToDegrees(p.y); }

// Metres between two route points (doubled map units).
double SegmentMetres(const RouterPoint& a, const RouterPoint& b) {
  const double fLat = (PointLat(a) + PointLat(b)) / 2 * 3.14159265358979323846 / 180;
  const double dx = (double(b.x) - a.x) / 2 * std::cos(fLat), dy = (double(b.y) - a.y) / 2;
  return MapToMetres(std::sqrt(dx * dx + dy * dy));
}

std::string XmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else out += c;
  }
  return out;
}

const char* ManeuverName(const RouterPoint& p) {
  if ((p.btKind & c_rkRoundabout) && (p.btKind & c_rkManeuver)) return "roundabout";
  if (p.btKind & c_rkKeep) return p.btParameter ? "keep-right" : "keep-left";
  return "turn";
}

const char* PointKindName(const RouterPoint& p) {
  if (p.btKind == 0x20) return "via";
  if (!(p.btKind & c_rkManeuver)) return (p.btKind & c_rkRoundabout) ? "in-roundabout" : "plain";
  return ManeuverName(p);
}

bool WriteGpx(const char* pszPath, const std::vector<RouterPoint>& points) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<gpx version=\"1.1\" creator=\"velmo-cli\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
                  "  <rte>\n    <name>Route</name>\n";
  char sz[160];
  for (size_t i = 0; i < points.size(); ++i) {
    const RouterPoint& p = points[i];
    char szLat[32], szLon[32];
    FormatMap2Degrees(p.y, szLat);
    FormatMap2Degrees(p.x, szLon);
    s += "    <rtept lat=\"";
    s += szLat;
    s += "\" lon=\"";
    s += szLon;
    s += "\">";
    std::snprintf(sz, sizeof sz, "<name>P%zu</name>", i + 1);
    s += sz;
    std::string strDesc = platform::U16ToUtf8(p.strLabel);
    if (!strDesc.empty()) s += "<desc>" + XmlEscape(strDesc) + "</desc>";
    std::snprintf(sz, sizeof sz, "<type>%s</type></rtept>\n", PointKindName(p));
    s += sz;
  }
  s += "  </rte>\n</gpx>\n";
  std::u16string strPath = platform::Utf8ToU16(pszPath);
  return platform::WriteFileAtomic(strPath.c_str(), s.data(), s.size());
}

bool WriteStore(const char* pszPath, const std::vector<RouterPoint>& points) {
  CWaypointStore store;
  const double dNow = double(std::time(nullptr)) / 86400.0 + 25569.0;  // days since 30 Dec 1899
  Route* pRoute = store.NewRoute(dNow, u"Маршрут");
  size_t cVia = 0, iVia = 0;
  for (const RouterPoint& p : points) cVia += p.btKind == rpkVia;
  for (const RouterPoint& p : points) {
    RoutePoint rp = ToRoutePoint(p);
    if (p.btKind == rpkVia) {
      char16_t sz[32];
      if (iVia == 0) std::char_traits<char16_t>::copy(sz, u"Старт", 6);
      else if (iVia + 1 == cVia) std::char_traits<char16_t>::copy(sz, u"Финиш", 6);
      else platform::Format(sz, 32, u"Точка %d", int(iVia));
      ++iVia;
      Waypoint* pWaypoint = store.NewWaypoint(StoredToDegrees(p.x), StoredToDegrees(p.y), dNow, 0, false, sz);
      pWaypoint->AddRef();
      rp.pWaypoint = pWaypoint;
    }
    pRoute->points.push_back(std::move(rp));
  }
  RecomputeRoute(*pRoute);
  return store.SaveFile(platform::Utf8ToU16(pszPath).c_str());
}

int Usage() {
  std::fprintf(stderr, "usage: velmo-cli route MAP FROM_LAT FROM_LON TO_LAT TO_LON [--vehicle N] [--shortest] "
                       "[--avoid tolls,highways,unpaved,uturns] [--via LAT,LON]... [--gpx OUT] [--store OUT]\n");
  return 2;
}

int RunRoute(int argc, char** argv) {
  std::vector<const char*> args;
  RouteOptions options;
  options.nVehicle = rvCar;
  options.fTimeBased = 1;
  std::vector<MapPoint> via;
  std::vector<std::pair<double, double>> viaDegrees;
  const char* pszGpx = nullptr;
  const char* pszStore = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string str = argv[i];
    if (str == "--vehicle" && i + 1 < argc) {
      double f = 0;
      if (!ParseDouble(argv[++i], f) || f < 0 || f > 7 || f != std::floor(f)) return Usage();
      options.nVehicle = int32_t(f);
    } else if (str == "--shortest") {
      options.fTimeBased = 0;
    } else if (str == "--avoid" && i + 1 < argc) {
      std::string list = argv[++i];
      size_t at = 0;
      while (at <= list.size()) {
        size_t comma = list.find(',', at);
        std::string item = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (item == "tolls") options.fAvoidTolls = 1;
        else if (item == "highways") options.fAvoidHighways = 1;
        else if (item == "unpaved") options.fAvoidUnpaved = 1;
        else if (item == "uturns") options.fAvoidUTurns = 1;
        else if (!item.empty()) return Usage();
        if (comma == std::string::npos) break;
        at = comma + 1;
      }
    } else if (str == "--via" && i + 1 < argc) {
      double fLat = 0, fLon = 0;
      if (!ParseLatLon(argv[++i], fLat, fLon)) return Usage();
      viaDegrees.push_back({fLat, fLon});
    } else if (str == "--gpx" && i + 1 < argc) {
      pszGpx = argv[++i];
    } else if (str == "--store" && i + 1 < argc) {
      pszStore = argv[++i];
    } else if (str.size() > 2 && str[0] == '-' && str[1] == '-') {
      return Usage();
    } else {
      args.push_back(argv[i]);
    }
  }
  double fFromLat = 0, fFromLon = 0, fToLat = 0, fToLon = 0;
  if (args.size() != 5 || !ParseDouble(args[1], fFromLat) || !ParseDouble(args[2], fFromLon) ||
      !ParseDouble(args[3], fToLat) || !ParseDouble(args[4], fToLon) || std::fabs(fFromLat) > 90 ||
      std::fabs(fToLat) > 90 || std::fabs(fFromLon) > 180 || std::fabs(fToLon) > 180)
    return Usage();
  via.push_back(MapPoint{DegreesToMap(fFromLon), DegreesToMap(fFromLat)});
  for (const auto& d : viaDegrees) via.push_back(MapPoint{DegreesToMap(d.second), DegreesToMap(d.first)});
  via.push_back(MapPoint{DegreesToMap(fToLon), DegreesToMap(fToLat)});

  std::u16string strPath = platform::Utf8ToU16(args[0]);
  // A collection's folder routes through its index.
  std::error_code ec;
  if (std::filesystem::is_directory(args[0], ec))
    strPath += (strPath.back() == u'/' || strPath.back() == u'\\' ? u"" : u"/") + std::u16string(u"Index.vidx");
  uint32_t idsError = 0;
  CMapParser* pParser = OpenMapFileEx(strPath.c_str(), false, c_fOpenAll, &idsError);
  if (!pParser) {
    std::fprintf(stderr, "velmo-cli: cannot open %s\n", args[0]);
    return 1;
  }
  std::vector<RouterPoint> points;
  RouteLegsResult result;
  RouteThroughPoints(*pParser, via, options, nullptr, points, &result);
  delete pParser;

  double fMetres = 0, fSeconds = 0;
  std::vector<double> along(points.size(), 0.0);
  for (size_t i = 1; i < points.size(); ++i) {
    const double f = SegmentMetres(points[i - 1], points[i]);
    fMetres += f;
    along[i] = fMetres;
    // The road piece's speed: the point ending the segment carries it,
    // except the endpoints and via points.
    int nSpeed = 0;
    if (points[i].nLink >= 0) nSpeed = points[i].btSpeed;
    else if (points[i - 1].nLink >= 0) nSpeed = points[i - 1].btSpeed;
    if (nSpeed <= 0) nSpeed = 5;
    fSeconds += f / (nSpeed / 3.6);
  }
  const long nSec = std::lround(fSeconds);
  std::printf("length %.3f km\n", fMetres / 1000);
  std::printf("time %ld:%02ld:%02ld\n", nSec / 3600, (nSec / 60) % 60, nSec % 60);
  std::printf("legs %zu straight %zu\n", result.cLegs, result.cStraight);
  for (size_t i = 0; i < points.size(); ++i) {
    const RouterPoint& p = points[i];
    if (!(p.btKind & c_rkRouter) || !(p.btKind & c_rkManeuver)) continue;
    std::printf("maneuver %s angle %d exit %d \"%s\" at %.3f km\n", ManeuverName(p), p.nTurnAngle,
                (p.btKind & c_rkRoundabout) ? int(p.btParameter) : 0, platform::U16ToUtf8(p.strLabel).c_str(),
                along[i] / 1000);
  }
  // Every point, often thousands: written into one buffer, degrees in integers.
  std::string strPoints;
  strPoints.reserve(points.size() * 40);
  for (const RouterPoint& p : points) {
    char sz[64];
    size_t c = 0;
    std::memcpy(sz, "point ", 6);
    c = 6;
    c += FormatMap2Degrees(p.y, sz + c);
    sz[c++] = ',';
    c += FormatMap2Degrees(p.x, sz + c);
    static const char c_achHex[] = "0123456789ABCDEF";
    const char achKind[] = {' ', '0', 'x', c_achHex[p.btKind >> 4], c_achHex[p.btKind & 15], ' ', '"'};
    std::memcpy(sz + c, achKind, sizeof achKind);
    c += sizeof achKind;
    strPoints.append(sz, c);
    if (!p.strLabel.empty()) strPoints += platform::U16ToUtf8(p.strLabel);
    strPoints += "\"\n";
  }
  std::fflush(stdout);
  std::fwrite(strPoints.data(), 1, strPoints.size(), stdout);
  if (pszGpx && !WriteGpx(pszGpx, points)) {
    std::fprintf(stderr, "velmo-cli: cannot write %s\n", pszGpx);
    return 1;
  }
  if (pszStore && !WriteStore(pszStore, points)) {
    std::fprintf(stderr, "velmo-cli: cannot write %s\n", pszStore);
    return 1;
  }
  if (result.cStraight == result.cLegs) {
    std::fprintf(stderr, "velmo-cli: no road route found\n");
    return 3;
  }
  return 0;
}

}  // namespace

VELMO_CLI_COMMAND(route, "route",
                  "MAP FROM_LAT FROM_LON TO_LAT TO_LON [--vehicle N] [--shortest] "
                  "[--avoid tolls,highways,unpaved,uturns] [--via LAT,LON]... [--gpx OUT] [--store OUT]",
                  RunRoute);
