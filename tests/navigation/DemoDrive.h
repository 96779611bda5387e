// A guided drive for tests: a road route with a right turn, a roundabout
// (second exit) and a keep left, as the router makes them, and the NMEA
// stream of a car driving it at 60 km/h, one fix a second, optionally with
// a detour of 200 m off the first leg.
#pragma once
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/navigation/RouteBuilder.h"

namespace navtest {

inline std::vector<RoutePoint> DemoDriveRoute() {
  return {PointAt(0, 0, rpkVia),
          PointAt(0, 600, c_btRoad),
          PointAt(0, 1200, c_btTurn, 90),            // "TurnRight"
          PointAt(600, 1200, c_btRoad),
          PointAt(1200, 1200, c_btRound, 0, 2),      // "RoundAbout", "2nd"
          PointAt(1300, 1200, c_btRoad),
          PointAt(2000, 1200, c_btKeep, -20, 0),     // "Left" (keep left)
          PointAt(2600, 1420, c_btRoad),
          PointAt(3200, 1640, rpkVia)};
}

// The way the car drives, metres east and north.
inline std::vector<std::pair<double, double>> DemoDrivePath(bool fDetour) {
  std::vector<std::pair<double, double>> a = {{0, -50}, {0, 300}};
  if (fDetour) a.insert(a.end(), {{200, 320}, {200, 480}, {0, 500}});
  a.insert(a.end(), {{0, 1200}, {1200, 1200}, {2000, 1200}, {2600, 1420}, {3200, 1640}, {3230, 1651}});
  return a;
}

inline std::string NmeaSentence(const std::string& body) {
  unsigned char c = 0;
  for (char ch : body) c ^= static_cast<unsigned char>(ch);
  char sz[8];
  std::snprintf(sz, sizeof sz, "*%02X\r\n", c);
  return "$" + body + sz;
}

// RMC and GGA once a second along the path at fKmh.
inline std::string DemoDriveNmea(bool fDetour, double fKmh = 60.0) {
  std::vector<std::pair<double, double>> path = DemoDrivePath(fDetour);
  const double fStep = fKmh / 3.6;
  std::string out;
  int nSecond = 9 * 3600;
  auto Emit = [&](double e, double n, double fCourse) {
    double lat = LatOf(n), lon = LonOf(e);
    int latDeg = int(lat), lonDeg = int(lon);
    char szTime[16], szLat[32], szLon[32], sz[200];
    std::snprintf(szTime, sizeof szTime, "%02d%02d%02d", nSecond / 3600, nSecond / 60 % 60, nSecond % 60);
    std::snprintf(szLat, sizeof szLat, "%02d%07.4f", latDeg, (lat - latDeg) * 60.0);
    std::snprintf(szLon, sizeof szLon, "%03d%07.4f", lonDeg, (lon - lonDeg) * 60.0);
    std::snprintf(sz, sizeof sz, "GPRMC,%s,A,%s,N,%s,E,%.1f,%.1f,081226,,", szTime, szLat, szLon, fKmh / 1.852,
                  fCourse);
    out += NmeaSentence(sz);
    std::snprintf(sz, sizeof sz, "GPGGA,%s,%s,N,%s,E,1,08,0.9,150.0,M,14.0,M,,", szTime, szLat, szLon);
    out += NmeaSentence(sz);
    ++nSecond;
  };
  double fCarry = 0;  // metres already driven into the current leg
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    double de = path[i + 1].first - path[i].first, dn = path[i + 1].second - path[i].second;
    double fLen = std::sqrt(de * de + dn * dn);
    double fCourse = std::fmod(std::atan2(de, dn) * 180.0 / 3.14159265358979 + 360.0, 360.0);
    double s = fCarry;
    for (; s < fLen; s += fStep) Emit(path[i].first + de * s / fLen, path[i].second + dn * s / fLen, fCourse);
    fCarry = s - fLen;
  }
  // Parked at the end.
  for (int k = 0; k < 3; ++k) Emit(path.back().first, path.back().second, 0);
  return out;
}

}  // namespace navtest
