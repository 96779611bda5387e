#include "tools/velc/OsmConvert.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <exception>

#include <osmium/area/assembler.hpp>
#include <osmium/area/multipolygon_manager.hpp>
#include <osmium/handler.hpp>
#include <osmium/handler/node_locations_for_ways.hpp>
#include <osmium/index/map/flex_mem.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/relations/relations_manager.hpp>
#include <osmium/visitor.hpp>

#include "map/MapParser.h"
#include "tools/velc/Areas.h"
#include "tools/velc/Coastline.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "view/MapUnits.h"

const uint16_t c_awVelcLevelCodes[c_cVelcLevels] = {16, 18, 20, 22, 24};

namespace {

const size_t c_cMaxName = 255;
// Coastline ends this close to the extract's bounds (map units, about 500 m)
// are taken as cut there by the extract.
const int32_t c_nCoastSnap = 27000;

const char* LookupTag(const void* pTags, const char* pszKey) {
  return static_cast<const osmium::TagList*>(pTags)->get_value_by_key(pszKey);
}

MapPoint ToMap(const osmium::Location& loc) {
  return MapPoint{DegreesToMap(loc.lon_without_check()), DegreesToMap(loc.lat_without_check())};
}

std::u16string NameOf(const osmium::TagList& tags) {
  const char* psz = tags.get_value_by_key("name");
  if (!psz || !*psz) return std::u16string();
  std::u16string s = platform::Utf8ToU16(psz);
  if (s.size() > c_cMaxName) s.resize(c_cMaxName);
  return s;
}

// A road without a name is labelled with its number (ref=*).
std::u16string RoadNameOf(const osmium::TagList& tags) {
  std::u16string s = NameOf(tags);
  if (!s.empty() || !tags.has_key("highway")) return s;
  const char* psz = tags.get_value_by_key("ref");
  if (!psz || !*psz) return s;
  s = platform::Utf8ToU16(psz);
  if (s.size() > c_cMaxName) s.resize(c_cMaxName);
  return s;
}

bool IsOneway(const osmium::TagList& tags, bool& fReverse) {
  fReverse = false;
  const char* psz = tags.get_value_by_key("oneway");
  if (psz) {
    if (!std::strcmp(psz, "-1")) {
      fReverse = true;
      return true;
    }
    if (!std::strcmp(psz, "yes") || !std::strcmp(psz, "1") || !std::strcmp(psz, "true")) return true;
    if (!std::strcmp(psz, "no")) return false;
  }
  const char* pszJunction = tags.get_value_by_key("junction");
  return pszJunction && !std::strcmp(pszJunction, "roundabout");
}

// Squared distance of p from the segment a-b (map units, as doubles).
double SegDist2(const MapPoint& p, const MapPoint& a, const MapPoint& b) {
  double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
  double px = double(p.x) - a.x, py = double(p.y) - a.y;
  double l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? (px * dx + py * dy) / l2 : 0;
  if (t < 0) t = 0;
  if (t > 1) t = 1;
  double ex = px - t * dx, ey = py - t * dy;
  return ex * ex + ey * ey;
}

void DouglasPeucker(const std::vector<MapPoint>& in, double fEps2, std::vector<MapPoint>& out) {
  size_t n = in.size();
  if (n <= 2) {
    out = in;
    return;
  }
  std::vector<char> keep(n, 0);
  keep[0] = keep[n - 1] = 1;
  std::vector<std::pair<size_t, size_t>> stack{{0, n - 1}};
  while (!stack.empty()) {
    auto [a, b] = stack.back();
    stack.pop_back();
    double fMax = -1;
    size_t iMax = a;
    for (size_t i = a + 1; i < b; ++i) {
      double d = SegDist2(in[i], in[a], in[b]);
      if (d > fMax) {
        fMax = d;
        iMax = i;
      }
    }
    if (fMax > fEps2) {
      keep[iMax] = 1;
      if (iMax - a > 1) stack.push_back({a, iMax});
      if (b - iMax > 1) stack.push_back({iMax, b});
    }
  }
  out.clear();
  for (size_t i = 0; i < n; ++i)
    if (keep[i]) out.push_back(in[i]);
}

// Geometry of one object at one level: simplified on the coarser levels,
// consecutive points that fall on the same level unit merged.
bool GeometryForLevel(const std::vector<MapPoint>& pts, int nKind, int iLevel, std::vector<MapPoint>& out) {
  unsigned nShift = unsigned(~c_awVelcLevelCodes[iLevel]) & 31;
  const bool fFinest = iLevel + 1 == c_cVelcLevels;
  std::vector<MapPoint> simplified;
  if (!fFinest && nKind != rkPoint) {
    double fUnit = double(int64_t(1) << nShift);
    DouglasPeucker(pts, fUnit * fUnit, simplified);
  } else {
    simplified = pts;
  }
  out.clear();
  int32_t lx = 0, ly = 0;
  for (const MapPoint& p : simplified) {
    int32_t qx = ToLevelUnits(p.x, nShift), qy = ToLevelUnits(p.y, nShift);
    if (!out.empty() && qx == lx && qy == ly) continue;
    out.push_back(p);
    lx = qx, ly = qy;
  }
  if (nKind == rkPoint) return !out.empty();
  if (!fFinest) {
    // Objects smaller than about two level units are left out of the
    // coarser levels.
    int64_t l = out[0].x, r = l, t = out[0].y, b = t;
    for (const MapPoint& p : out) {
      l = std::min<int64_t>(l, p.x), r = std::max<int64_t>(r, p.x);
      t = std::min<int64_t>(t, p.y), b = std::max<int64_t>(b, p.y);
    }
    int64_t cMin = int64_t(2) << nShift;
    if (r - l < cMin && b - t < cMin) return false;
  }
  if (nKind == rkPolygon) return out.size() >= 3;
  return out.size() >= 2 || fFinest;
}

class CConvertHandler : public osmium::handler::Handler {
 public:
  CConvertHandler(const CTypeMapping& mapping, std::vector<VelLevelInput>& levels, OsmConvertStats& stats)
      : m_mapping(mapping), m_levels(levels), m_stats(stats) {}

  void node(const osmium::Node& node) {
    ++m_stats.cNodes;
    Stamp(node);
    if (node.location().valid()) m_extent.extend(node.location());
    if (node.tags().empty() || !node.location().valid()) return;
    const TypeRule* pRule = m_mapping.Match(rkPoint, &node.tags(), LookupTag);
    if (!pRule) return;
    std::vector<MapPoint> pts{ToMap(node.location())};
    Emit(rkPoint, pRule, pts, NameOf(node.tags()), false);
  }

  void way(const osmium::Way& way) {
    ++m_stats.cWays;
    Stamp(way);
    if (way.is_closed()) WayPoint(way);
    AddCoastline(way);
    const TypeRule* pRule = m_mapping.Match(rkPolyline, &way.tags(), LookupTag);
    if (!pRule) return;
    const char* pszArea = way.tags().get_value_by_key("area");
    if (pszArea && !std::strcmp(pszArea, "yes") && way.is_closed()) return;  // drawn as an area
    std::vector<MapPoint> pts;
    for (const osmium::NodeRef& nr : way.nodes())
      if (nr.location().valid()) pts.push_back(ToMap(nr.location()));
    if (pts.empty()) return;
    bool fReverse = false;
    bool fOneway = IsOneway(way.tags(), fReverse);
    if (fReverse) std::reverse(pts.begin(), pts.end());
    Emit(rkPolyline, pRule, pts, RoadNameOf(way.tags()), fOneway);
  }

  // A point of interest drawn as a closed way (a shop in its building) is
  // also a point, at the average of its nodes.
  void WayPoint(const osmium::Way& way) {
    const TypeRule* pRule = m_mapping.Match(rkPoint, &way.tags(), LookupTag);
    if (!pRule) return;
    double fLon = 0, fLat = 0;
    size_t c = 0;
    const osmium::WayNodeList& nodes = way.nodes();
    for (size_t i = 0; i + 1 < nodes.size(); ++i)
      if (nodes[i].location().valid()) {
        fLon += nodes[i].location().lon_without_check();
        fLat += nodes[i].location().lat_without_check();
        ++c;
      }
    if (c == 0) return;
    std::vector<MapPoint> pts{MapPoint{DegreesToMap(fLon / double(c)), DegreesToMap(fLat / double(c))}};
    Emit(rkPoint, pRule, pts, NameOf(way.tags()), false);
  }

  void relation(const osmium::Relation& rel) {
    ++m_stats.cRelations;
    Stamp(rel);
  }

  void area(const osmium::Area& area) {
    ++m_stats.cAreas;
    const TypeRule* pRule = m_mapping.Match(rkPolygon, &area.tags(), LookupTag);
    if (!pRule) return;
    if (area.from_way()) {
      // A closed way that is a line (a roundabout, a closed street) is not
      // also an area unless it says so.
      const char* pszArea = area.tags().get_value_by_key("area");
      bool fAreaYes = pszArea && !std::strcmp(pszArea, "yes");
      if (!fAreaYes && m_mapping.Match(rkPolyline, &area.tags(), LookupTag)) return;
    }
    std::u16string strName = NameOf(area.tags());
    for (const osmium::OuterRing& ring : area.outer_rings()) {
      std::vector<MapPoint> pts = RingPoints(ring);
      if (pts.size() < 3) continue;
      std::vector<MapRing> holes;
      for (const osmium::InnerRing& inner : area.inner_rings(ring)) {
        holes.push_back(RingPoints(inner));
        if (holes.back().size() < 3) holes.pop_back();
      }
      Emit(rkPolygon, pRule, pts, strName, false, &holes);
    }
  }

  // The sea from the coastline ways, drawn below every other area.
  void AddSea(const osmium::Box& boxHeader) {
    if (m_coast.Empty()) return;
    const TypeRule* pRule = m_mapping.Match(rkPolygon, nullptr, LookupSea);
    if (!pRule) return;
    osmium::Box box = boxHeader.valid() ? boxHeader : m_extent;
    if (!box.valid()) return;
    CoastBounds bounds;
    bounds.l = ToMap(box.bottom_left()).x, bounds.b = ToMap(box.bottom_left()).y;
    bounds.r = ToMap(box.top_right()).x, bounds.t = ToMap(box.top_right()).y;
    std::vector<AreaRings> sea;
    if (!m_coast.BuildSea(bounds, c_nCoastSnap, sea, m_stats.warnings)) return;
    std::vector<size_t> acBefore;
    for (const VelLevelInput& level : m_levels) acBefore.push_back(level.objects.size());
    for (const AreaRings& area : sea) {
      Emit(rkPolygon, pRule, area.outer, std::u16string(), false, &area.holes);
      ++m_stats.cSeaAreas;
    }
    for (size_t i = 0; i < m_levels.size(); ++i) {
      auto& objects = m_levels[i].objects;
      std::rotate(objects.begin(), objects.begin() + ptrdiff_t(acBefore[i]), objects.end());
    }
  }

 private:
  void Stamp(const osmium::OSMObject& obj) {
    int64_t t = obj.timestamp().seconds_since_epoch();
    if (obj.timestamp().valid() && t > m_stats.nNewestTimestamp) m_stats.nNewestTimestamp = t;
  }

  static const char* LookupSea(const void*, const char* pszKey) {
    return std::strcmp(pszKey, "natural") ? nullptr : "sea";
  }

  static std::vector<MapPoint> RingPoints(const osmium::NodeRefList& ring) {
    std::vector<MapPoint> pts;
    for (const osmium::NodeRef& nr : ring)
      if (nr.location().valid()) pts.push_back(ToMap(nr.location()));
    if (pts.size() > 1 && pts.front().x == pts.back().x && pts.front().y == pts.back().y) pts.pop_back();
    return pts;
  }

  void AddCoastline(const osmium::Way& way) {
    const char* psz = way.tags().get_value_by_key("natural");
    if (!psz || std::strcmp(psz, "coastline") || way.nodes().size() < 2) return;
    std::vector<MapPoint> pts;
    for (const osmium::NodeRef& nr : way.nodes())
      if (nr.location().valid()) pts.push_back(ToMap(nr.location()));
    m_coast.AddWay(way.id(), way.nodes().front().ref(), way.nodes().back().ref(), std::move(pts));
  }

  // Areas with holes are written as one ring with a bridge cut to each hole;
  // the rings are generalised one by one so that the cut's two edges stay on
  // the same points at every level.
  void Emit(int nKind, const TypeRule* pRule, const std::vector<MapPoint>& pts, const std::u16string& strName,
            bool fDirection, const std::vector<MapRing>* pHoles = nullptr) {
    for (int iLevel = std::max(0, pRule->nMinLevel); iLevel < c_cVelcLevels; ++iLevel) {
      VelObject obj;
      obj.nKind = nKind;
      obj.wType = pRule->wType;
      if (!GeometryForLevel(pts, nKind, iLevel, obj.points)) continue;
      if (pHoles && !pHoles->empty()) {
        std::vector<MapRing> holes;
        MapRing hole;
        for (const MapRing& h : *pHoles)
          if (GeometryForLevel(h, rkPolygon, iLevel, hole)) holes.push_back(hole);
        MapRing outer;
        outer.swap(obj.points);
        JoinHoles(outer, holes, obj.points);
      }
      obj.strLabel = strName;
      obj.fDirection = fDirection;
      m_levels[size_t(iLevel)].objects.push_back(std::move(obj));
      ++m_stats.acLevelObjects[iLevel];
      if (iLevel + 1 == c_cVelcLevels) {
        if (nKind == rkPoint) ++m_stats.cPoints;
        else if (nKind == rkPolyline) ++m_stats.cLines;
        else ++m_stats.cPolygons;
      }
    }
  }

  const CTypeMapping& m_mapping;
  std::vector<VelLevelInput>& m_levels;
  OsmConvertStats& m_stats;
  CCoastline m_coast;
  osmium::Box m_extent;
};

}  // namespace

bool ConvertOsmFile(const std::string& strInput, const CTypeMapping& mapping, std::vector<VelLevelInput>& levels,
                    OsmConvertStats& stats, std::string& strError) {
  levels.assign(c_cVelcLevels, VelLevelInput());
  for (int i = 0; i < c_cVelcLevels; ++i) levels[size_t(i)].wLevelCode = c_awVelcLevelCodes[i];
  stats = OsmConvertStats();
  {
    std::vector<uint8_t> probe;
    uint64_t cb = 0;
    if (!platform::GetFileSizeOf(platform::Utf8ToU16(strInput).c_str(), cb)) {
      strError = "cannot read " + strInput + ": no such file";
      return false;
    }
  }
  try {
    osmium::io::File file(strInput);
    osmium::area::Assembler::config_type config;
    config.create_empty_areas = false;
    osmium::area::MultipolygonManager<osmium::area::Assembler> manager{config};
    osmium::relations::read_relations(file, manager);

    using Index = osmium::index::map::FlexMem<osmium::unsigned_object_id_type, osmium::Location>;
    Index index;
    osmium::handler::NodeLocationsForWays<Index> locations{index};
    locations.ignore_errors();
    CConvertHandler handler(mapping, levels, stats);
    osmium::io::Reader reader{file, osmium::io::read_meta::yes};
    osmium::apply(reader, locations, handler, manager.handler([&handler](osmium::memory::Buffer&& buffer) {
                    osmium::apply(buffer, handler);
                  }));
    osmium::Box boxHeader = reader.header().box();
    reader.close();
    handler.AddSea(boxHeader);
  } catch (const std::exception& e) {
    strError = "cannot read " + strInput + ": " + e.what();
    return false;
  }
  return true;
}

void SetMapDescription(VelWriterOptions& options, const std::string& strInput, const OsmConvertStats& stats) {
  if (options.strName.empty()) {
    std::string strBase = strInput;
    size_t iSlash = strBase.find_last_of("/\\");
    if (iSlash != std::string::npos) strBase.erase(0, iSlash + 1);
    size_t iDot = strBase.find('.');
    if (iDot != std::string::npos && iDot > 0) strBase.resize(iDot);
    options.strName = platform::Utf8ToU16(strBase);
  }
  if (options.strName.size() > 32) options.strName.resize(32);
  if (options.strNotice.empty()) options.strNotice = u"\u00A9 OpenStreetMap contributors|ODbL 1.0";
  if (options.wYear == 0 && stats.nNewestTimestamp > 0) {
    time_t t = time_t(stats.nNewestTimestamp);
    struct tm tmUtc;
    gmtime_r(&t, &tmUtc);
    options.wYear = uint16_t(tmUtc.tm_year + 1900);
    options.btMonth = uint8_t(tmUtc.tm_mon + 1);
    options.btDay = uint8_t(tmUtc.tm_mday);
  }
}

bool CompileOsmToVel(const std::string& strInput, const std::string& strOutput, const std::string& strTypeMap,
                     VelWriterOptions options, std::string& strError, OsmConvertStats* pStats,
                     VelWriterStats* pWriterStats, uint64_t* pcbOut) {
  CTypeMapping mapping;
  if (!mapping.Load(strTypeMap.empty() ? DefaultTypeMappingPath() : strTypeMap, strError)) return false;
  std::vector<VelLevelInput> levels;
  OsmConvertStats stats;
  if (!ConvertOsmFile(strInput, mapping, levels, stats, strError)) return false;
  SetMapDescription(options, strInput, stats);
  std::vector<uint8_t> out;
  VelWriterStats wstats;
  if (!WriteVelMap(options, levels, out, strError, &wstats)) return false;
  if (!platform::WriteFileAtomic(platform::Utf8ToU16(strOutput).c_str(), out.data(), out.size())) {
    strError = "cannot write " + strOutput;
    return false;
  }
  if (pStats) *pStats = stats;
  if (pWriterStats) *pWriterStats = wstats;
  if (pcbOut) *pcbOut = out.size();
  return true;
}
