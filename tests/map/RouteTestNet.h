// Small road networks for the route search tests: nodes and roads laid out
// in metres east and north of 50°N 11.5°E, written with the map writer
// (one level, road graph on), optionally with a turn restriction table.
#pragma once
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "map/RouteOptions.h"
#include "routing/search/RoadRouter.h"
#include "tests/map/VelTestUtil.h"
#include "view/MapUnits.h"

namespace routetest {

const uint16_t c_wLevelCode = 28;  // 8 map units (15 cm) per level unit
const int32_t c_nGrid = 8;

const uint16_t c_wOneWay = 0x40;
const uint16_t c_wToll = 0x80;
const uint16_t c_wNoCar = 0x0400;
const uint16_t c_wNoFoot = 0x2000;
// Speed class 3 (60 km/h), quality class 3 (factor 1.0).
const uint16_t c_wPlain = 3 | (3 << 3);

struct Restriction {
  int nFromNode, nNode, nToNode;
  std::u16string strFromRoad, strToRoad;  // road labels
};

class CNet {
 public:
  double fLat0 = 50.0, fLon0 = 11.5;

  MapPoint At(double fEast, double fNorth) const {
    const double k = std::cos(fLat0 * 3.14159265358979 / 180);
    int32_t x = DegreesToMap(fLon0) + int32_t(std::lround(fEast * c_fMapUnitsPerMetre / k));
    int32_t y = DegreesToMap(fLat0) + int32_t(std::lround(fNorth * c_fMapUnitsPerMetre));
    return MapPoint{x & ~(c_nGrid - 1), y & ~(c_nGrid - 1)};
  }
  int Node(double fEast, double fNorth) {
    nodes.push_back(At(fEast, fNorth));
    return int(nodes.size() - 1);
  }
  // A road through nodes (ids >= 0) and plain points (given as -1 - index
  // into extra points added with Plain).
  VelObject& Road(const std::u16string& strLabel, std::vector<int> ids, uint16_t wAttr = c_wPlain,
                  uint16_t wType = 5) {
    VelObject obj;
    obj.nKind = rkPolyline;
    obj.wType = wType;
    obj.strLabel = strLabel;
    obj.fHasNodes = true;
    obj.fHasAttributes = true;
    obj.wRoadAttributes = wAttr;
    for (int id : ids) {
      if (id >= 0) {
        obj.points.push_back(nodes[size_t(id)]);
        obj.nodeIndex.push_back(id);
      } else {
        obj.points.push_back(plain[size_t(-1 - id)]);
        obj.nodeIndex.push_back(-1);
      }
    }
    roads.push_back(obj);
    return roads.back();
  }
  int Plain(double fEast, double fNorth) {
    plain.push_back(At(fEast, fNorth));
    return -int(plain.size());
  }

  std::vector<uint8_t> Write() const {
    VelWriterOptions opt;
    opt.dwNodeCount = uint32_t(nodes.size());
    opt.cBlockCell = 4096;
    opt.barriers = barriers;
    std::vector<VelLevelInput> levels(1);
    levels[0].wLevelCode = c_wLevelCode;
    levels[0].objects = roads;
    std::vector<uint8_t> bytes;
    std::string strError;
    if (!WriteVelMap(opt, levels, bytes, strError)) return {};
    return bytes;
  }

  // Opens the written map; with restrictions, they are appended as a table
  // after finding the roads' record offsets by their labels.
  CVelParser* Open(const std::vector<Restriction>& restrictions = {}) const {
    std::vector<uint8_t> bytes = Write();
    if (bytes.empty()) return nullptr;
    if (!restrictions.empty()) {
      CVelParser* p = veltest::OpenBytes(bytes, "route");
      if (!p) return nullptr;
      std::map<std::u16string, uint32_t> offsets;
      for (const veltest::Decoded& d : veltest::DecodeAll(p)) offsets[d.strLabel] = d.rec.dwOffset;
      delete p;
      std::vector<uint32_t> records;
      for (const Restriction& r : restrictions)
        records.insert(records.end(), {uint32_t(r.nFromNode), uint32_t(r.nNode), uint32_t(r.nToNode),
                                       offsets[r.strFromRoad], offsets[r.strToRoad]});
      AppendRestrictions(bytes, records, restrictions.size());
    }
    return veltest::OpenBytes(bytes, "route");
  }

  // Appends a restriction table (five numbers per record, no extra bits)
  // and points the extended header at it.
  void AppendRestrictions(std::vector<uint8_t>& bytes, const std::vector<uint32_t>& fields, size_t cRecords) const {
    const uint32_t cNodeBits = NodeBits();
    const uint32_t cRoadBits = 32;
    while (bytes.size() % 4) bytes.push_back(0);
    const uint32_t dwOffset = uint32_t(bytes.size());
    std::vector<uint8_t> bits;
    size_t cBits = 0;
    auto put = [&](uint32_t v, uint32_t n) {
      for (uint32_t i = 0; i < n; ++i, ++cBits) {
        if (cBits / 8 >= bits.size()) bits.push_back(0);
        if ((v >> i) & 1) bits[cBits / 8] |= uint8_t(1u << (cBits % 8));
      }
    };
    for (size_t i = 0; i + 5 <= fields.size() && i / 5 < cRecords; i += 5) {
      put(fields[i], cNodeBits);
      put(fields[i + 1], cNodeBits);
      put(fields[i + 2], cNodeBits);
      put(fields[i + 3], cRoadBits);
      put(fields[i + 4], cRoadBits);
      put(0, 1);
    }
    bytes.insert(bytes.end(), bits.begin(), bits.end());
    bytes.insert(bytes.end(), 8, 0);
    auto set32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    set32(648, uint32_t(cRecords));
    set32(652, dwOffset);
    set32(656, cRoadBits);
    set32(8, uint32_t(bytes.size()));
  }

  uint32_t NodeBits() const {
    uint32_t n = uint32_t(nodes.size()) - 1, c = 0;
    while (n) ++c, n >>= 1;
    return c;
  }

  std::vector<MapPoint> nodes;
  std::vector<MapPoint> plain;
  std::vector<VelObject> roads;
  std::vector<VelBarrierInput> barriers;  // nodes some vehicles may not pass
};

inline RouteOptions Car(bool fTimeBased = false) {
  RouteOptions o;
  o.nVehicle = rvCar;
  o.fTimeBased = fTimeBased ? 1 : 0;
  o.fAvoidUTurns = 0;
  o.fAvoidUnpaved = 0;
  return o;
}

inline bool SamePt(const MapPoint& a, const MapPoint& b) { return a.x == b.x && a.y == b.y; }

// The route's points back in map units.
inline std::vector<MapPoint> RoutePoints(const RouteOptions& o) {
  std::vector<MapPoint> v;
  for (const RouterPoint& p : o.points) v.push_back(MapPoint{p.x >> 1, p.y >> 1});
  return v;
}

inline bool Passes(const RouteOptions& o, const MapPoint& pt) {
  for (const RouterPoint& p : o.points)
    if ((p.x >> 1) == pt.x && (p.y >> 1) == pt.y) return true;
  return false;
}

inline const RouterPoint* PointAt(const RouteOptions& o, const MapPoint& pt) {
  for (const RouterPoint& p : o.points)
    if ((p.x >> 1) == pt.x && (p.y >> 1) == pt.y) return &p;
  return nullptr;
}

// Metres along the route's points.
inline double RouteMetres(const RouteOptions& o, double fLat = 50.0) {
  const double k = std::cos(fLat * 3.14159265358979 / 180);
  double f = 0;
  for (size_t i = 1; i < o.points.size(); ++i) {
    double dx = (double(o.points[i].x >> 1) - (o.points[i - 1].x >> 1)) * k;
    double dy = double(o.points[i].y >> 1) - (o.points[i - 1].y >> 1);
    f += std::sqrt(dx * dx + dy * dy);
  }
  return MapToMetres(f);
}

#ifdef VELMO_VELC
// A real extract compiled with velc, once per build tree (again when velc
// is newer); empty when the extract is not there.
inline std::string CompiledExtract(const std::string& strName) {
  const std::string strIn = std::string(VELMO_SHARED_DATA) + "/osm/" + strName + ".osm.pbf";
  if (!std::filesystem::exists(strIn)) return "";
  const std::string strOut = std::string(VELMO_BINARY_DIR) + "/route-" + strName + ".vel";
  if (!std::filesystem::exists(strOut) ||
      std::filesystem::last_write_time(strOut) < std::filesystem::last_write_time(VELMO_VELC)) {
    if (std::system((std::string(VELMO_VELC) + " " + strIn + " -o " + strOut + " >/dev/null 2>&1").c_str()) != 0)
      return "";
  }
  return strOut;
}
#endif

}  // namespace routetest
