// Assembling a route is linear in its points: a map whose one road has N
// points (a winding road cut by the writer into records of at most 65 536
// points, joined at nodes), a car route from one end to the other. Prints
// CSV, all sizes in one run, and the time per point of the largest against
// the smallest (about 1 when the assembly is linear):
//   longroad,<points>,<route points>,<ms>
//   longroad_ratio,<ms per point largest / smallest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "map/RouteOptions.h"
#include "map/vel/VelParser.h"
#include "routing/search/RoadRouter.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "tools/velc/VelWriter.h"
#include "view/MapUnits.h"

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A road zig-zagging east, a point every 10 m, nodes at both ends.
std::unique_ptr<CVelParser> LongRoadMap(uint32_t cPoints, MapPoint& ptFrom, MapPoint& ptTo) {
  const double k = std::cos(50.0 * 3.14159265358979 / 180);
  VelObject road;
  road.nKind = rkPolyline;
  road.wType = 5;
  road.strLabel = u"Long road";
  road.fHasNodes = road.fHasAttributes = true;
  road.wRoadAttributes = 3 | (3 << 3);
  for (uint32_t i = 0; i < cPoints; ++i) {
    const double fEast = i * 10.0, fNorth = (i % 2) * 8.0;
    const int32_t x = DegreesToMap(11.5) + int32_t(std::lround(fEast * c_fMapUnitsPerMetre / k));
    const int32_t y = DegreesToMap(50.0) + int32_t(std::lround(fNorth * c_fMapUnitsPerMetre));
    road.points.push_back(MapPoint{x & ~7, y & ~7});
    road.nodeIndex.push_back(i == 0 ? 0 : i + 1 == cPoints ? 1 : -1);
  }
  ptFrom = road.points[1];
  ptTo = road.points[cPoints - 2];
  VelWriterOptions opt;
  opt.dwNodeCount = 2;
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 28;
  levels[0].objects.push_back(std::move(road));
  std::vector<uint8_t> bytes;
  std::string strError;
  if (!WriteVelMap(opt, levels, bytes, strError)) {
    std::fprintf(stderr, "write: %s\n", strError.c_str());
    return nullptr;
  }
  const std::string strPath = std::string(VELMO_BINARY_DIR) + "/bench-longroad.vel";
  const std::u16string strPath16 = platform::Utf8ToU16(strPath);
  if (!platform::WriteFileAtomic(strPath16.c_str(), bytes.data(), bytes.size())) return nullptr;
  return std::unique_ptr<CVelParser>(static_cast<CVelParser*>(OpenMapFile(strPath16.c_str(), false, c_fOpenAll)));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint32_t> sizes = {20000, 50000, 100000, 200000};
  if (argc > 1) {
    sizes.clear();
    for (int i = 1; i < argc; ++i) sizes.push_back(uint32_t(std::atoi(argv[i])));
  }
  double fFirst = -1, fLast = -1;
  for (uint32_t c : sizes) {
    MapPoint a, b;
    std::unique_ptr<CVelParser> p = LongRoadMap(c, a, b);
    if (!p) return 1;
    p->GetRouter()->Build(nullptr);
    RouteOptions o;
    o.nVehicle = rvCar;
    o.fTimeBased = 1;
    const double t0 = NowMs();
    const bool fOk = p->FindRoute(a, b, &o, nullptr);
    const double ms = NowMs() - t0;
    if (!fOk) {
      std::fprintf(stderr, "%u points: no route\n", c);
      return 1;
    }
    std::printf("longroad,%u,%zu,%.1f\n", c, o.points.size(), ms);
    const double fPerPoint = ms / double(o.points.size());
    if (fFirst < 0) fFirst = fPerPoint;
    fLast = fPerPoint;
  }
  std::printf("longroad_ratio,%.2f\n", fLast / fFirst);
  return 0;
}
