// Route search figures on the real extracts. For each extract named on the
// command line (monaco, andorra, moscow, north-bayreuth): compiles it with
// the converter, times the road graph build, then the 20 pairs of the
// baseline's pairs.csv as car routes by length with U-turns allowed (each
// pair --runs times, the median kept). Prints CSV:
//   build,<extract>,<ms>,<nodes>,<links>,<restrictions>
//   pair,<extract>,<pair>,<ok>,<km>,<ms>,<snap_from_m>,<snap_to_m>
//   query,<extract>,<median ms>,<max ms>
// With --points DIR each pair's route is also written to
// DIR/<extract>-<pair>.txt, one "lat lon" line per point.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "map/RouteOptions.h"
#include "map/vel/VelParser.h"
#include "routing/search/RoadRouter.h"
#include "platform/Str.h"
#include "tools/velc/OsmConvert.h"
#include "view/MapUnits.h"

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Pair {
  int n;
  double fFromLat, fFromLon, fToLat, fToLon;
};

std::vector<Pair> ReadPairs(const std::string& strPath) {
  std::vector<Pair> v;
  std::ifstream f(strPath);
  std::string line;
  std::getline(f, line);  // pair,from_node,from_lon,from_lat,to_node,to_lon,to_lat,crow_km
  while (std::getline(f, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    std::string c;
    while (std::getline(ss, c, ',')) cols.push_back(c);
    if (cols.size() < 7) continue;
    v.push_back(Pair{std::atoi(cols[0].c_str()), std::atof(cols[3].c_str()), std::atof(cols[2].c_str()),
                     std::atof(cols[6].c_str()), std::atof(cols[5].c_str())});
  }
  return v;
}

double RouteKm(const std::vector<RouterPoint>& pts) {
  double f = 0;
  for (size_t i = 1; i < pts.size(); ++i) {
    const double fLat = (Map2ToDegrees(pts[i].y) + Map2ToDegrees(pts[i - 1].y)) / 2 * 3.14159265358979 / 180;
    const double dx = (double(pts[i].x) - pts[i - 1].x) / 2 * std::cos(fLat);
    const double dy = (double(pts[i].y) - pts[i - 1].y) / 2;
    f += MapToMetres(std::sqrt(dx * dx + dy * dy));
  }
  return f / 1000;
}

void WritePoints(const std::string& strPath, const RouteOptions& o) {
  std::ofstream f(strPath);
  char sz[64];
  for (const RouterPoint& pt : o.points) {
    std::snprintf(sz, sizeof sz, "%.7f %.7f\n", Map2ToDegrees(pt.y), Map2ToDegrees(pt.x));
    f << sz;
  }
}

double SnapMetres(const RoadSnap& s, double fCos) {
  const double dx = (double(s.ptNearest.x) - s.pt.x) * fCos, dy = double(s.ptNearest.y) - s.pt.y;
  return MapToMetres(std::sqrt(dx * dx + dy * dy));
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int cRuns = 5;
  std::vector<std::string> extracts;
  std::string strPointsDir;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) cRuns = std::max(1, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--points") && i + 1 < argc) strPointsDir = argv[++i];
    else extracts.push_back(argv[i]);
  }
  if (extracts.empty()) extracts = {"monaco", "andorra", "moscow", "north-bayreuth"};
  for (const std::string& strName : extracts) {
    const std::string strIn = std::string(VELMO_SHARED_DATA) + "/osm/" + strName + ".osm.pbf";
    const std::string strPairs = std::string(VELMO_SHARED_DATA) + "/../peers/baseline/" + strName + "/pairs.csv";
    const std::string strMap = std::string(VELMO_BINARY_DIR) + "/bench-route-" + strName + ".vel";
    std::string strError;
    if (!CompileOsmToVel(strIn, strMap, "", VelWriterOptions(), strError)) {
      std::fprintf(stderr, "%s: %s\n", strName.c_str(), strError.c_str());
      continue;
    }
    const std::u16string strPath = platform::Utf8ToU16(strMap);
    // The build, timed on fresh opens (the median of the runs).
    std::vector<double> builds;
    std::unique_ptr<CVelParser> p;
    for (int r = 0; r < cRuns; ++r) {
      p.reset(static_cast<CVelParser*>(OpenMapFile(strPath.c_str(), false, c_fOpenAll)));
      if (!p || !p->GetRouter()) break;
      const double t0 = NowMs();
      if (!p->GetRouter()->Build(nullptr)) break;
      builds.push_back(NowMs() - t0);
    }
    if (builds.size() != size_t(cRuns)) {
      std::fprintf(stderr, "%s: no road graph\n", strName.c_str());
      continue;
    }
    CRoadRouter& router = *p->GetRouter();
    std::printf("build,%s,%.3f,%u,%zu,%zu\n", strName.c_str(), Median(builds), router.GetNodeCount(),
                router.GetLinks().Size(), router.GetRestrictions().Size());
    std::vector<double> queries;
    for (const Pair& pr : ReadPairs(strPairs)) {
      const MapPoint a{DegreesToMap(pr.fFromLon), DegreesToMap(pr.fFromLat)};
      const MapPoint b{DegreesToMap(pr.fToLon), DegreesToMap(pr.fToLat)};
      std::vector<double> times;
      RouteOptions o;
      bool fOk = false;
      for (int r = 0; r < cRuns; ++r) {
        o = RouteOptions{};
        o.nVehicle = rvCar;
        o.fTimeBased = 0;
        o.fAvoidUTurns = 0;
        o.fAvoidUnpaved = 0;
        const double t0 = NowMs();
        fOk = p->FindRoute(a, b, &o, nullptr);
        times.push_back(NowMs() - t0);
      }
      if (fOk && !strPointsDir.empty())
        WritePoints(strPointsDir + "/" + strName + "-" + std::to_string(pr.n) + ".txt", o);
      const double fMs = Median(times);
      queries.push_back(fMs);
      const RouteSearchStats& st = router.GetStats();
      std::printf("pair,%s,%d,%d,%.3f,%.3f,%.1f,%.1f\n", strName.c_str(), pr.n, fOk ? 1 : 0, fOk ? RouteKm(o.points) : 0.0,
                  fMs, SnapMetres(st.start, router.GetCosLatitude()), SnapMetres(st.dest, router.GetCosLatitude()));
    }
    std::printf("query,%s,%.3f,%.3f\n", strName.c_str(), Median(queries),
                queries.empty() ? 0.0 : *std::max_element(queries.begin(), queries.end()));
    std::fflush(stdout);
  }
  return 0;
}
