#include "tools/velc/OsmConvert.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <map>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <sys/mman.h>
#include <unistd.h>

#include <osmium/area/assembler.hpp>
#include <osmium/area/multipolygon_manager.hpp>
#include <osmium/handler.hpp>
#include <osmium/handler/node_locations_for_ways.hpp>
#include <osmium/index/map/all.hpp>
#include <osmium/index/map/dense_file_array.hpp>
#include <osmium/index/map/sparse_file_array.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/relations/relations_manager.hpp>
#include <osmium/visitor.hpp>

#include "map/MapParser.h"
#include "map/vel/detail/VelFormat.h"
#include "tools/velc/Addresses.h"
#include "tools/velc/Areas.h"
#include "tools/velc/Categories.h"
#include "tools/velc/Coastline.h"
#include "tools/velc/Progress.h"
#include "tools/velc/SpillHeap.h"
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

// Nodes answer the mapping file's "@node" condition as well, so a rule can
// hold for nodes only (a building drawn as a node carries its address on a
// point; a building area carries it on the area).
const char* LookupNodeTag(const void* pTags, const char* pszKey) {
  if (!std::strcmp(pszKey, "@node")) return "yes";
  return LookupTag(pTags, pszKey);
}

// An object's tags as the type table's rules read them: the value of
// every key the rules name, found in one pass over the tags (a rule table
// names some fifty keys, and each lookup would be a pass of its own).
class CRuleTags {
 public:
  explicit CRuleTags(const CTypeMapping& mapping)
      : m_mapping(mapping),
        m_values(mapping.KeyCount(), nullptr),
        m_valueNumbers(mapping.KeyCount(), 0),
        m_iNodeKey(mapping.KeyNumber("@node")),
        m_iNodeYes(m_iNodeKey >= 0 ? mapping.ValueNumber(m_iNodeKey, "yes") : 0) {}
  // fNode: the tags of a node, which answer "@node" too (LookupNodeTag).
  void Gather(const osmium::TagList& tags, bool fNode = false) {
    std::fill(m_values.begin(), m_values.end(), nullptr);
    for (const osmium::Tag& tag : tags) {
      const int i = m_mapping.KeyNumber(tag.key());
      if (i >= 0 && !m_values[size_t(i)]) {
        m_values[size_t(i)] = tag.value();
        m_valueNumbers[size_t(i)] = m_mapping.ValueNumber(i, tag.value());
      }
    }
    if (m_iNodeKey >= 0) {
      m_pszTagged = m_values[size_t(m_iNodeKey)];
      m_iTagged = m_valueNumbers[size_t(m_iNodeKey)];
    }
    SetNode(fNode);
  }
  // Whether "@node" holds (LookupNodeTag) or is read from the tags (LookupTag).
  void SetNode(bool fNode) {
    if (m_iNodeKey < 0) return;
    m_values[size_t(m_iNodeKey)] = fNode ? "yes" : m_pszTagged;
    m_valueNumbers[size_t(m_iNodeKey)] = fNode ? m_iNodeYes : m_iTagged;
  }
  const TypeRule* Match(int nKind) const { return m_mapping.Match(nKind, m_values.data(), m_valueNumbers.data()); }

 private:
  const CTypeMapping& m_mapping;
  std::vector<const char*> m_values;
  std::vector<uint32_t> m_valueNumbers;  // of m_values
  int m_iNodeKey;
  uint32_t m_iNodeYes;
  const char* m_pszTagged = nullptr;  // the "@node" key's own value
  uint32_t m_iTagged = 0;
};

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

// One-way by its tags or a roundabout (oneway=no undoes that); fReverse for
// oneway=-1 (the way runs against its nodes). Such lines get direction
// arrows.
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

// One-way for routing: also a motorway without oneway=no (one carriageway
// of a motorway is one way even where the tag is missing).
bool IsOnewayRoad(const osmium::TagList& tags, bool fOneway) {
  if (fOneway) return true;
  const char* pszHighway = tags.get_value_by_key("highway");
  const char* psz = tags.get_value_by_key("oneway");
  return pszHighway && !std::strcmp(pszHighway, "motorway") && !(psz && !std::strcmp(psz, "no"));
}

// A way of the road graph: it matches a line rule and a road rule and is
// not an area.
const TypeRule* RoadRuleOf(const CRuleTags& ruleTags, const osmium::TagList& tags) {
  const char* pszArea = tags.get_value_by_key("area");
  if (pszArea && !std::strcmp(pszArea, "yes")) return nullptr;
  // A road given up is no road (one being built or planned has a highway
  // value of its own, construction or proposed, that no road rule names; a
  // construction=* tag beside a road class is often left from works long
  // done, so it does not close the road).
  for (const char* pszKey : {"disused", "abandoned"}) {
    const char* psz = tags.get_value_by_key(pszKey);
    if (psz && !std::strcmp(psz, "yes")) return nullptr;
  }
  if (!ruleTags.Match(rkPolyline)) return nullptr;
  return ruleTags.Match(c_nRuleRoad);
}

// The finest level's geometry of a road: points on the same level unit as
// the one before are merged unless both are graph nodes (a node wins over a
// plain point), so no node is lost.
void RoadGeometry(const std::vector<MapPoint>& pts, const std::vector<int32_t>& nodes, std::vector<MapPoint>& outPts,
                  std::vector<int32_t>& outNodes) {
  unsigned nShift = unsigned(~c_awVelcLevelCodes[c_cVelcLevels - 1]) & 31;
  outPts.clear();
  outNodes.clear();
  int32_t lx = 0, ly = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    int32_t qx = ToLevelUnits(pts[i].x, nShift), qy = ToLevelUnits(pts[i].y, nShift);
    if (!outPts.empty() && qx == lx && qy == ly) {
      if (nodes[i] < 0) continue;
      if (outNodes.back() < 0) {
        outPts.back() = pts[i];
        outNodes.back() = nodes[i];
        continue;
      }
      if (outNodes.back() == nodes[i]) continue;
    }
    outPts.push_back(pts[i]);
    outNodes.push_back(nodes[i]);
    lx = qx, ly = qy;
  }
}

// The vehicles with an engine (all but pedestrians and bicycles).
const uint16_t c_wMotorVehicles = 0x0100 | 0x0200 | 0x0400 | 0x0800 | 0x1000 | 0x8000;

bool IsValue(const char* psz, std::initializer_list<const char*> values) {
  if (!psz) return false;
  for (const char* v : values)
    if (!std::strcmp(psz, v)) return true;
  return false;
}

// A type=restriction relation read before the ways.
struct TurnRelation {
  bool fOnly;
  osmium::object_id_type idFrom, idVia, idTo;
};

// A routable way of the finest level that a restriction may need.
struct RoadEntry {
  uint32_t iObject;
  bool fOneway;
  std::vector<int32_t> nodes;  // graph nodes in point order
};

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
  // Kept from call to call (the converter makes several levels of every
  // object): no allocation for each.
  thread_local std::vector<char> keep;
  thread_local std::vector<std::pair<size_t, size_t>> stack;
  keep.assign(n, 0);
  keep[0] = keep[n - 1] = 1;
  stack.assign(1, {0, n - 1});
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
  // The finest level and points take the points as they are (out is
  // never pts).
  thread_local std::vector<MapPoint> simplified;
  const std::vector<MapPoint>* pIn = &pts;
  if (!fFinest && nKind != rkPoint) {
    double fUnit = double(int64_t(1) << nShift);
    DouglasPeucker(pts, fUnit * fUnit, simplified);
    pIn = &simplified;
  }
  out.clear();
  int32_t lx = 0, ly = 0;
  for (const MapPoint& p : *pIn) {
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

// The first pass: the nodes of routable ways (a node used twice, or at a
// way's end, is a graph node) and the turn restriction relations.
class CRoadScanHandler : public osmium::handler::Handler {
 public:
  CRoadScanHandler(const CTypeMapping& mapping, OsmConvertStats& stats)
      : m_mapping(mapping), m_ruleTags(mapping), m_stats(stats) {}

  void way(const osmium::Way& way) {
    if (way.nodes().size() < 2) return;
    m_ruleTags.Gather(way.tags());
    if (!RoadRuleOf(m_ruleTags, way.tags())) return;
    const osmium::WayNodeList& nodes = way.nodes();
    for (const osmium::NodeRef& nr : nodes) m_uses.push_back(nr.ref());
    m_uses.push_back(nodes.front().ref());
    m_uses.push_back(nodes.back().ref());
  }

  void relation(const osmium::Relation& rel) {
    const char* pszType = rel.tags().get_value_by_key("type");
    if (!pszType || std::strcmp(pszType, "restriction")) return;
    ++m_stats.cRestrictions;
    const char* pszKind = rel.tags().get_value_by_key("restriction");
    if (!pszKind) pszKind = rel.tags().get_value_by_key("restriction:motorcar");
    const char* pszExcept = rel.tags().get_value_by_key("except");
    bool fOnly = pszKind && !std::strncmp(pszKind, "only_", 5);
    bool fNo = pszKind && !std::strncmp(pszKind, "no_", 3);
    if ((!fOnly && !fNo) || (pszExcept && (std::strstr(pszExcept, "motorcar") || std::strstr(pszExcept, "motor_vehicle")))) {
      ++m_stats.cRestrictionsUnsupported;
      return;
    }
    TurnRelation r{fOnly, 0, 0, 0};
    int cFrom = 0, cTo = 0, cVia = 0;
    bool fViaWay = false;
    for (const osmium::RelationMember& m : rel.members()) {
      if (!std::strcmp(m.role(), "from") && m.type() == osmium::item_type::way) r.idFrom = m.ref(), ++cFrom;
      else if (!std::strcmp(m.role(), "to") && m.type() == osmium::item_type::way) r.idTo = m.ref(), ++cTo;
      else if (!std::strcmp(m.role(), "via")) {
        ++cVia;
        if (m.type() == osmium::item_type::node) r.idVia = m.ref();
        else fViaWay = true;
      }
    }
    if (fViaWay) {
      ++m_stats.cRestrictionsViaWay;
      return;
    }
    if (cFrom != 1 || cTo != 1 || cVia != 1) {
      ++m_stats.cRestrictionsUnmatched;
      return;
    }
    m_turns.push_back(r);
  }

  // The graph nodes, sorted (a node's number is its place in the list),
  // and per graph node whether it was used exactly twice: a way's end
  // used so is used by that way alone, a loose end.
  std::vector<osmium::object_id_type> TakeGraphNodes(std::vector<bool>& twice) {
    std::sort(m_uses.begin(), m_uses.end());
    std::vector<osmium::object_id_type> graph;
    twice.clear();
    for (size_t i = 0; i < m_uses.size();) {
      size_t j = i + 1;
      while (j < m_uses.size() && m_uses[j] == m_uses[i]) ++j;
      if (j - i >= 2) {
        graph.push_back(m_uses[i]);
        twice.push_back(j - i == 2);
      }
      i = j;
    }
    std::vector<osmium::object_id_type>().swap(m_uses);
    return graph;
  }
  std::vector<TurnRelation>& Turns() { return m_turns; }

 private:
  const CTypeMapping& m_mapping;
  CRuleTags m_ruleTags;
  OsmConvertStats& m_stats;
  std::vector<osmium::object_id_type> m_uses;
  std::vector<TurnRelation> m_turns;
};

class CConvertHandler : public osmium::handler::Handler {
 public:
  CConvertHandler(const CTypeMapping& mapping, CObjectStore& store, OsmConvertStats& stats)
      : m_mapping(mapping), m_ruleTags(mapping), m_store(store), m_stats(stats) {}

  // Turns routable ways into roads of the graph whose nodes are graphNodes
  // (twice: per graph node, whether the first pass saw it used twice).
  // A road graph is made: the barrier nodes are kept from the first node
  // on, before SetRoadGraph tells the graph's nodes (which must come before
  // the first way).
  void ExpectRoadGraph() { m_fGraph = true; }
  void SetRoadGraph(std::vector<osmium::object_id_type> graphNodes, std::vector<bool> twice,
                    const std::vector<TurnRelation>& turns) {
    m_fGraph = true;
    m_graphNodes = std::move(graphNodes);
    m_twice = std::move(twice);
    m_cSortedNodes = m_graphNodes.size();
    for (const TurnRelation& t : turns) {
      m_turnWays.push_back(t.idFrom);
      m_turnWays.push_back(t.idTo);
      m_viaNodes.push_back(t.idVia);
    }
    std::sort(m_turnWays.begin(), m_turnWays.end());
    std::sort(m_viaNodes.begin(), m_viaNodes.end());
  }
  int32_t GraphNode(osmium::object_id_type id) const {
    auto end = m_graphNodes.begin() + ptrdiff_t(m_cSortedNodes);
    auto it = std::lower_bound(m_graphNodes.begin(), end, id);
    if (it != end && *it == id) return int32_t(it - m_graphNodes.begin());
    auto extra = m_extraNodes.find(id);
    return extra != m_extraNodes.end() ? extra->second : -1;
  }
  uint32_t GraphNodeCount() const { return uint32_t(m_graphNodes.size()); }
  // The part of the source the file holds (its header's box; invalid: not
  // given): a road with a node outside it, or with a node the file lacks,
  // leaves the map. A file that does not say which part it holds (osmium
  // extract writes no box unless asked) takes a road with a loose end, an
  // end no other road meets, as leaving the map, as a road cut where the
  // extract ends looks like one (dead-end streets get keys too, which only
  // costs their records). In a part of a region (SetPartOfRegion) a road
  // leaves the map by its box or by a loose end (the box of a part cut by
  // a polygon holds more than the part), and every node of a road that
  // leaves the map is a graph node and a border key:
  // the part beside it (cut with complete ways, as osmium extract does)
  // holds the same road with junctions this part lacks, and routes join
  // the parts at the nodes both have as keys. Elsewhere the keys are the
  // road's graph nodes, which costs no more nodes.
  void SetExtractBox(const osmium::Box& box) { m_boxExtract = box; }
  void SetPartOfRegion(bool fPart) { m_fPartOfRegion = fPart; }
  void GetBorderKeys(std::vector<VelBorderKeyInput>& out) const {
    out.clear();
    for (size_t n = 0; n < m_borderNode.size() && n < m_graphNodes.size(); ++n)
      if (m_borderNode[n] && m_graphNodes[n] > 0) out.push_back(VelBorderKeyInput{uint32_t(n), uint64_t(m_graphNodes[n])});
  }
  // The source id of every graph node (positive OSM ids; 0 for others).
  void GetNodeKeys(std::vector<uint64_t>& out) const {
    out.resize(m_graphNodes.size());
    for (size_t n = 0; n < m_graphNodes.size(); ++n) out[n] = m_graphNodes[n] > 0 ? uint64_t(m_graphNodes[n]) : 0;
  }
  const std::map<osmium::object_id_type, RoadEntry>& Roads() const { return m_roads; }
  const std::multimap<int32_t, osmium::object_id_type>& WaysAtVia() const { return m_waysAtVia; }

  void node(const osmium::Node& node) {
    ++m_stats.cNodes;
    Stamp(node);
    if (node.location().valid()) m_extent.extend(node.location());
    if (node.tags().empty() || !node.location().valid()) return;
    if (m_fGraph) {
      // A barrier becomes a graph node, so that the road can be cut for
      // the vehicles it stops there. The nodes must come before the ways
      // (as in every sorted file): later the numbers are given already.
      const uint16_t wDeny = BarrierDenyOf(&node.tags(), LookupNodeTag);
      if (wDeny && !m_fWaysSeen) m_barriers.push_back({node.id(), wDeny});
      else if (wDeny) ++m_stats.cBarriersLate;
    }
    m_ruleTags.Gather(node.tags(), true);
    const TypeRule* pRule = m_ruleTags.Match(rkPoint);
    const MapPoint pt = ToMap(node.location());
    int64_t iObject = -1;
    if (pRule) {
      std::vector<MapPoint> pts{pt};
      iObject = Emit(rkPoint, pRule, pts, NameOf(node.tags()), false);
    }
    CollectAddress(node.tags(), pt, iObject);
    m_ruleTags.SetNode(false);
    if (m_ruleTags.Match(c_nRuleCity))
      m_addr.AddPlace(NameOf(node.tags()), node.tags().get_value_by_key("place"), pt, iObject);
  }

  CAddressCollector& Addresses() { return m_addr; }

  void way(const osmium::Way& way) {
    ++m_stats.cWays;
    Stamp(way);
    if (!m_fWaysSeen) MergeBarrierNodes();
    m_ruleTags.Gather(way.tags());
    if (way.is_closed()) WayPoint(way);
    AddCoastline(way);
    const TypeRule* pRule = m_ruleTags.Match(rkPolyline);
    if (!pRule) return;
    const char* pszArea = way.tags().get_value_by_key("area");
    if (pszArea && !std::strcmp(pszArea, "yes") && way.is_closed()) return;  // drawn as an area
    std::vector<MapPoint> pts;
    std::vector<int32_t> nodes;
    const TypeRule* pRoad = m_fGraph ? RoadRuleOf(m_ruleTags, way.tags()) : nullptr;
    bool fLeaves = false;
    const bool fBox = m_boxExtract.valid();
    for (const osmium::NodeRef& nr : way.nodes())
      if (nr.location().valid()) {
        pts.push_back(ToMap(nr.location()));
        if (fBox && !m_boxExtract.contains(nr.location())) fLeaves = true;
      } else {
        fLeaves = true;
      }
    if (pts.empty()) return;
    bool fLoose = false;
    if (pRoad && (!fBox || m_fPartOfRegion) && way.nodes().size() >= 2 &&
        way.nodes().front().ref() != way.nodes().back().ref())
      fLoose = IsLooseEnd(way.nodes().front().ref()) || IsLooseEnd(way.nodes().back().ref());
    fLeaves = fLeaves || fLoose;
    const bool fEveryNode = fLeaves && m_fPartOfRegion;
    if (pRoad) {
      for (const osmium::NodeRef& nr : way.nodes())
        if (nr.location().valid()) nodes.push_back(fEveryNode ? MakeGraphNode(nr.ref()) : GraphNode(nr.ref()));
      if (fLeaves) {
        if (m_borderNode.size() < m_graphNodes.size()) m_borderNode.resize(m_graphNodes.size(), false);
        for (int32_t n : nodes)
          if (n >= 0) m_borderNode[size_t(n)] = true;
      }
    }
    bool fReverse = false;
    bool fOneway = IsOneway(way.tags(), fReverse);
    if (fReverse) {
      std::reverse(pts.begin(), pts.end());
      std::reverse(nodes.begin(), nodes.end());
    }
    RoadInfo road;
    if (pRoad) {
      const RoadAccess access = RoadAccessOf(m_mapping, *pRoad, &way.tags(), LookupTag, IsOnewayRoad(way.tags(), fOneway));
      road.wAttributes = access.wAttributes;
      road.btThrough = access.btThrough;
      road.btFlags = access.fUnpaved ? vel::c_btAccessUnpaved : 0;
      road.pNodes = &nodes;
    }
    int64_t iObject = Emit(rkPolyline, pRule, pts, RoadNameOf(way.tags()), fOneway, pRoad ? &road : nullptr);
    if (way.tags().has_key("highway")) m_addr.AddStreet(iObject, pts[pts.size() / 2], NameOf(way.tags()));
    if (!pRoad || iObject < 0) return;
    ++m_stats.cRoads;
    // Keep what the turn restrictions need: their own ways and every way
    // through one of their via nodes.
    const std::vector<int32_t> written = m_store.NodesOf(c_cVelcLevels - 1, size_t(iObject));
    bool fKeep = std::binary_search(m_turnWays.begin(), m_turnWays.end(), way.id());
    std::vector<int32_t> vias;
    if (!m_viaNodes.empty())
      for (const osmium::NodeRef& nr : way.nodes())
        if (std::binary_search(m_viaNodes.begin(), m_viaNodes.end(), nr.ref())) {
          int32_t n = GraphNode(nr.ref());
          if (n >= 0 && std::find(vias.begin(), vias.end(), n) == vias.end()) vias.push_back(n);
        }
    if (!fKeep && vias.empty()) return;
    RoadEntry& e = m_roads[way.id()];
    e.iObject = uint32_t(iObject);
    e.fOneway = IsOnewayRoad(way.tags(), fOneway);
    for (int32_t n : written)
      if (n >= 0) e.nodes.push_back(n);
    for (int32_t n : vias) m_waysAtVia.emplace(n, way.id());
  }

  // A point of interest drawn as a closed way (a shop in its building) is
  // also a point, at the average of its nodes (its tags gathered).
  void WayPoint(const osmium::Way& way) {
    const TypeRule* pRule = m_ruleTags.Match(rkPoint);
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
    const int64_t iObject = Emit(rkPoint, pRule, pts, NameOf(way.tags()), false);
    CollectAddress(way.tags(), pts[0], iObject);
    if (m_ruleTags.Match(c_nRuleCity)) {
      std::vector<MapPoint> outline = RingPoints(way.nodes());
      m_addr.AddPlace(NameOf(way.tags()), way.tags().get_value_by_key("place"), pts[0], iObject, &outline);
    }
  }

  void relation(const osmium::Relation& rel) {
    ++m_stats.cRelations;
    Stamp(rel);
  }

  void area(const osmium::Area& area) {
    ++m_stats.cAreas;
    m_ruleTags.Gather(area.tags());
    CollectBoundaryOrPlace(area);
    const TypeRule* pRule = m_ruleTags.Match(rkPolygon);
    if (!pRule) return;
    if (area.from_way()) {
      // A closed way that is a line (a roundabout, a closed street) is not
      // also an area unless it says so.
      const char* pszArea = area.tags().get_value_by_key("area");
      bool fAreaYes = pszArea && !std::strcmp(pszArea, "yes");
      if (!fAreaYes && m_ruleTags.Match(rkPolyline)) return;
    }
    std::u16string strName = NameOf(area.tags());
    bool fAddress = true;
    for (const osmium::OuterRing& ring : area.outer_rings()) {
      std::vector<MapPoint> pts = RingPoints(ring);
      if (pts.size() < 3) continue;
      std::vector<MapRing> holes;
      for (const osmium::InnerRing& inner : area.inner_rings(ring)) {
        holes.push_back(RingPoints(inner));
        if (holes.back().size() < 3) holes.pop_back();
      }
      const int64_t iObject = Emit(rkPolygon, pRule, pts, strName, false, nullptr, &holes);
      if (fAddress && iObject >= 0) {  // the address goes on the first ring
        CollectAddress(area.tags(), RingCentre(pts), iObject);
        fAddress = false;
      }
    }
  }

  // The administrative boundaries (regions and countries of the cities)
  // and place areas drawn as relations (the area's tags gathered).
  void CollectBoundaryOrPlace(const osmium::Area& area) {
    const osmium::TagList& tags = area.tags();
    const char* pszBoundary = tags.get_value_by_key("boundary");
    const char* pszLevel = tags.get_value_by_key("admin_level");
    const bool fBoundary = pszBoundary && !std::strcmp(pszBoundary, "administrative") && pszLevel;
    const bool fPlace = !area.from_way() && m_ruleTags.Match(c_nRuleCity);
    if (!fBoundary && !fPlace) return;
    std::vector<std::vector<MapPoint>> rings;
    for (const osmium::OuterRing& ring : area.outer_rings()) {
      rings.push_back(RingPoints(ring));
      if (rings.back().size() < 3) rings.pop_back();
    }
    if (rings.empty()) return;
    if (fBoundary) {
      const char* pszShort = tags.get_value_by_key("short_name");
      const char* pszIso = tags.get_value_by_key("ISO3166-1");
      if (!pszIso) pszIso = tags.get_value_by_key("ISO3166-1:alpha2");
      m_addr.AddBoundary(NameOf(tags), pszShort ? platform::Utf8ToU16(pszShort) : std::u16string(),
                         pszIso ? pszIso : "", std::atoi(pszLevel), rings);
    }
    if (fPlace) {
      size_t iLargest = 0;
      for (size_t i = 1; i < rings.size(); ++i)
        if (rings[i].size() > rings[iLargest].size()) iLargest = i;
      m_addr.AddPlace(NameOf(tags), tags.get_value_by_key("place"), RingCentre(rings[iLargest]), -1, &rings[iLargest]);
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
    for (int i = 0; i < c_cVelcLevels; ++i) m_acBeforeSea[i] = m_store.Count(size_t(i));
    for (const AreaRings& area : sea) {
      Emit(rkPolygon, pRule, area.outer, std::u16string(), false, nullptr, &area.holes);
      ++m_stats.cSeaAreas;
    }
  }

  // Puts the sea in front of the other objects; returns how many places
  // that moved the finest level's other objects.
  size_t SeaToFront() {
    size_t cMoved = 0;
    for (int i = 0; i < c_cVelcLevels; ++i) {
      const size_t c = m_store.Count(size_t(i));
      const size_t cBefore = m_acBeforeSea[i] == SIZE_MAX ? c : m_acBeforeSea[i];
      m_store.MoveToFront(size_t(i), cBefore);
      if (i + 1 == c_cVelcLevels) cMoved = c - cBefore;
    }
    return cMoved;
  }

 private:
  void Stamp(const osmium::OSMObject& obj) {
    int64_t t = obj.timestamp().seconds_since_epoch();
    if (obj.timestamp().valid() && t > m_stats.nNewestTimestamp) m_stats.nNewestTimestamp = t;
  }

  // The barrier nodes join the graph nodes (kept sorted).
  void MergeBarrierNodes() {
    m_fWaysSeen = true;
    if (m_barriers.empty()) return;
    std::vector<osmium::object_id_type> ids;
    for (const auto& b : m_barriers) ids.push_back(b.first);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    // A barrier that is no graph node yet was used once at most.
    std::vector<osmium::object_id_type> merged;
    std::vector<bool> twice;
    merged.reserve(m_graphNodes.size() + ids.size());
    twice.reserve(m_graphNodes.size() + ids.size());
    size_t i = 0, j = 0;
    while (i < m_graphNodes.size() || j < ids.size()) {
      if (j == ids.size() || (i < m_graphNodes.size() && m_graphNodes[i] <= ids[j])) {
        if (j < ids.size() && m_graphNodes[i] == ids[j]) ++j;
        merged.push_back(m_graphNodes[i]);
        twice.push_back(i < m_twice.size() && m_twice[i]);
        ++i;
      } else {
        merged.push_back(ids[j++]);
        twice.push_back(false);
      }
    }
    m_graphNodes.swap(merged);
    m_twice.swap(twice);
    m_cSortedNodes = m_graphNodes.size();
  }

  // An end of a way used by that way alone (the first pass saw it twice).
  bool IsLooseEnd(osmium::object_id_type id) const {
    const int32_t n = GraphNode(id);
    return n >= 0 && size_t(n) < m_twice.size() && m_twice[size_t(n)];
  }

  // The graph node of a node, made one (numbered after the others) when it
  // is not: only the road being read uses such a node.
  int32_t MakeGraphNode(osmium::object_id_type id) {
    const int32_t n = GraphNode(id);
    if (n >= 0) return n;
    const int32_t nNew = int32_t(m_graphNodes.size());
    m_graphNodes.push_back(id);
    m_extraNodes.emplace(id, nNew);
    return nNew;
  }

 public:
  // The barriers as graph node numbers.
  void GetBarriers(std::vector<VelBarrierInput>& out) const {
    out.clear();
    for (const auto& b : m_barriers) {
      const int32_t n = GraphNode(b.first);
      if (n >= 0) out.push_back(VelBarrierInput{uint32_t(n), b.second});
    }
  }

 private:
  struct RoadInfo {
    uint16_t wAttributes = 0;
    uint8_t btThrough = 0;
    uint8_t btFlags = 0;
    const std::vector<int32_t>* pNodes = nullptr;  // per point of pts
  };

  static const char* LookupSea(const void*, const char* pszKey) {
    return std::strcmp(pszKey, "natural") ? nullptr : "sea";
  }

  static MapPoint RingCentre(const std::vector<MapPoint>& pts) {
    double x = 0, y = 0;
    for (const MapPoint& p : pts) x += p.x, y += p.y;
    return MapPoint{int32_t(std::llround(x / double(pts.size()))), int32_t(std::llround(y / double(pts.size())))};
  }

  // An address on the object iObject of the finest level: addr:street (or
  // addr:place), addr:housenumber, addr:postcode, addr:city.
  void CollectAddress(const osmium::TagList& tags, MapPoint pt, int64_t iObject) {
    const char* pszNumber = tags.get_value_by_key("addr:housenumber");
    if (!pszNumber || !*pszNumber || iObject < 0) return;
    m_addr.AddAddressUtf8(iObject, pt, tags.get_value_by_key("addr:street"), tags.get_value_by_key("addr:place"),
                          pszNumber, tags.get_value_by_key("addr:postcode"), tags.get_value_by_key("addr:city"),
                          c_cMaxName);
  }

  static std::vector<MapPoint> RingPoints(const osmium::NodeRefList& ring) {
    std::vector<MapPoint> pts;
    pts.reserve(ring.size());
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

  // Returns the object's index at the finest level, or -1 when it has none
  // there. Areas with holes are written as one ring with a bridge cut to
  // each hole; the rings are generalised one by one so that the cut's two
  // edges stay on the same points at every level.
  int64_t Emit(int nKind, const TypeRule* pRule, const std::vector<MapPoint>& pts, const std::u16string& strName,
               bool fDirection, const RoadInfo* pRoad = nullptr, const std::vector<MapRing>* pHoles = nullptr) {
    int64_t iFinest = -1;
    for (int iLevel = std::max(0, pRule->nMinLevel); iLevel < c_cVelcLevels; ++iLevel) {
      // The points and the label take the room of the level before: the
      // store copies them.
      VelObject obj;
      obj.points.swap(m_emitPoints);
      obj.strLabel.swap(m_emitLabel);
      obj.nKind = nKind;
      obj.wType = pRule->wType;
      const bool fFinest = iLevel + 1 == c_cVelcLevels;
      if (pRoad && fFinest) {
        RoadGeometry(pts, *pRoad->pNodes, obj.points, obj.nodeIndex);
        obj.fHasNodes = true;
        obj.fHasAttributes = pRoad->wAttributes != 0;
        obj.wRoadAttributes = pRoad->wAttributes;
        obj.btRoadThrough = pRoad->btThrough;
        obj.btRoadFlags = pRoad->btFlags;
      } else if (!GeometryForLevel(pts, nKind, iLevel, obj.points)) {
        continue;
      } else if (pHoles && !pHoles->empty()) {
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
      const size_t iObject = m_store.Add(size_t(iLevel), obj);
      m_emitPoints.swap(obj.points);
      m_emitLabel.swap(obj.strLabel);
      if (fFinest) iFinest = int64_t(iObject);
      ++m_stats.acLevelObjects[iLevel];
      if (iLevel + 1 == c_cVelcLevels) {
        if (nKind == rkPoint) ++m_stats.cPoints;
        else if (nKind == rkPolyline) ++m_stats.cLines;
        else ++m_stats.cPolygons;
      }
    }
    return iFinest;
  }

  const CTypeMapping& m_mapping;
  CRuleTags m_ruleTags;  // of the object being converted
  CObjectStore& m_store;  // the objects of each level
  size_t m_acBeforeSea[c_cVelcLevels] = {SIZE_MAX, SIZE_MAX, SIZE_MAX, SIZE_MAX, SIZE_MAX};
  OsmConvertStats& m_stats;
  bool m_fGraph = false;
  bool m_fWaysSeen = false;
  std::vector<std::pair<osmium::object_id_type, uint16_t>> m_barriers;  // node id, vehicles stopped
  std::vector<osmium::object_id_type> m_graphNodes;  // a node's number is its place: sorted up to
  size_t m_cSortedNodes = 0;                         // here, then those made for roads leaving the map
  std::unordered_map<osmium::object_id_type, int32_t> m_extraNodes;  // those, by id
  std::vector<bool> m_twice;  // per sorted graph node: used exactly twice in the first pass
  std::vector<bool> m_borderNode;  // per graph node: on a road that leaves the map
  osmium::Box m_boxExtract;
  bool m_fPartOfRegion = false;
  std::vector<osmium::object_id_type> m_turnWays;    // sorted from and to ways of the restrictions
  std::vector<osmium::object_id_type> m_viaNodes;    // sorted via nodes
  std::map<osmium::object_id_type, RoadEntry> m_roads;
  std::multimap<int32_t, osmium::object_id_type> m_waysAtVia;
  CCoastline m_coast;
  osmium::Box m_extent;
  CAddressCollector m_addr;
  std::vector<MapPoint> m_emitPoints;  // room for Emit's objects
  std::u16string m_emitLabel;
};

// The graph nodes next to the via node along a road: those a vehicle
// arrives from (fArrive) or goes on to. A one-way road is used in point
// order only.
std::vector<int32_t> NeighboursAt(const RoadEntry& road, int32_t nVia, bool fArrive) {
  std::vector<int32_t> out;
  auto add = [&](int32_t n) {
    if (n != nVia && std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
  };
  const std::vector<int32_t>& seq = road.nodes;
  for (size_t k = 0; k < seq.size(); ++k) {
    if (seq[k] != nVia) continue;
    bool fBefore = k > 0, fAfter = k + 1 < seq.size();
    // Arriving in point order comes from the node before; against it (two-way
    // roads only) from the node after. Going on is the other way round.
    if (fArrive) {
      if (fBefore) add(seq[k - 1]);
      if (fAfter && !road.fOneway) add(seq[k + 1]);
    } else {
      if (fAfter) add(seq[k + 1]);
      if (fBefore && !road.fOneway) add(seq[k - 1]);
    }
  }
  return out;
}

// The turn records of the restrictions: no_* gives one, only_* one for every
// other way on from the via node. A restriction whose ways are not roads of
// the map, do not pass the via node or leave it open which piece is meant is
// counted and left out.
void ResolveTurns(const CConvertHandler& handler, const std::vector<TurnRelation>& relations,
                  std::vector<VelTurnRestriction>& out, OsmConvertStats& stats) {
  const auto& roads = handler.Roads();
  for (const TurnRelation& r : relations) {
    int32_t nVia = handler.GraphNode(r.idVia);
    auto itFrom = roads.find(r.idFrom), itTo = roads.find(r.idTo);
    if (nVia < 0 || itFrom == roads.end() || itTo == roads.end()) {
      ++stats.cRestrictionsUnmatched;
      continue;
    }
    std::vector<int32_t> from = NeighboursAt(itFrom->second, nVia, true);
    std::vector<int32_t> to = NeighboursAt(itTo->second, nVia, false);
    if (from.size() != 1 || to.size() != 1) {
      ++stats.cRestrictionsUnmatched;
      continue;
    }
    size_t cBefore = out.size();
    if (!r.fOnly) {
      out.push_back({uint32_t(from[0]), uint32_t(nVia), uint32_t(to[0]), itFrom->second.iObject, itTo->second.iObject});
    } else {
      auto range = handler.WaysAtVia().equal_range(nVia);
      for (auto it = range.first; it != range.second; ++it) {
        const RoadEntry& other = roads.at(it->second);
        for (int32_t n : NeighboursAt(other, nVia, false))
          if (it->second != r.idTo || n != to[0])
            out.push_back({uint32_t(from[0]), uint32_t(nVia), uint32_t(n), itFrom->second.iObject, other.iObject});
      }
    }
    ++stats.cRestrictionsUsed;
    stats.cTurnRecords += uint32_t(out.size() - cBefore);
  }
}

}  // namespace

int SpeedClassOfMaxspeed(const CTypeMapping& mapping, const char* pszMaxspeed) {
  if (!pszMaxspeed || !*pszMaxspeed) return -1;
  std::string s(pszMaxspeed);
  size_t iSemicolon = s.find(';');
  if (iSemicolon != std::string::npos) s.resize(iSemicolon);
  double fKmh = -1;
  int nZone = mapping.ZoneSpeed(s);
  if (nZone >= 0) {
    fKmh = nZone;
  } else {
    char* pEnd = nullptr;
    double f = std::strtod(s.c_str(), &pEnd);
    if (pEnd == s.c_str() || !(f > 0) || f > 1000) return -1;
    while (*pEnd == ' ') ++pEnd;
    if (!std::strcmp(pEnd, "mph")) f *= 1.609344;
    else if (*pEnd && std::strcmp(pEnd, "km/h") && std::strcmp(pEnd, "kmh")) return -1;
    fKmh = f;
  }
  // The class whose speed is nearest (the slower one on a tie).
  static const int c_anSpeeds[8] = {5, 20, 40, 60, 80, 90, 110, 140};
  int nBest = 0;
  for (int i = 1; i < 8; ++i)
    if (std::fabs(c_anSpeeds[i] - fKmh) < std::fabs(c_anSpeeds[nBest] - fKmh)) nBest = i;
  return nBest;
}

namespace {

// The access keys that decide for each vehicle bit, most specific first;
// the generic keys (access, vehicle, motor_vehicle) can keep a vehicle out
// but cannot let in one the road class keeps out.
struct VehicleAccess {
  uint16_t wBit;
  const char* apszKeys[7];
};
const VehicleAccess c_aVehicleAccess[] = {
    {0x2000, {"foot", "access"}},
    {0x4000, {"bicycle", "vehicle", "access"}},
    {0x0400, {"motorcar", "motor_vehicle", "vehicle", "access"}},
    {0x1000, {"taxi", "psv", "motorcar", "motor_vehicle", "vehicle", "access"}},
    {0x0800, {"bus", "psv", "motor_vehicle", "vehicle", "access"}},
    {0x0100, {"emergency", "motor_vehicle", "vehicle", "access"}},
    {0x0200, {"goods", "motor_vehicle", "vehicle", "access"}},
    {0x8000, {"hgv", "goods", "motor_vehicle", "vehicle", "access"}},
};

bool IsGenericAccessKey(const char* pszKey) {
  return !std::strcmp(pszKey, "access") || !std::strcmp(pszKey, "vehicle") || !std::strcmp(pszKey, "motor_vehicle");
}

const int c_nAccessOpen = 0, c_nAccessNo = 1, c_nAccessEnds = 2;

// What an access value says to the vehicle of bit wBit: closed; open only
// where a route starts or ends (destination, customers, private, and
// delivery for all but delivery vans); or open. A value that names a class
// of vehicles (psv, bus, emergency, agricultural...) closes the road to
// the others.
int AccessValueFor(const char* pszValue, uint16_t wBit) {
  if (IsValue(pszValue, {"destination", "customers", "private"})) return c_nAccessEnds;
  if (!std::strcmp(pszValue, "delivery")) return wBit == 0x0200 ? c_nAccessOpen : c_nAccessEnds;
  if (!std::strcmp(pszValue, "psv")) return (wBit == 0x0800 || wBit == 0x1000) ? c_nAccessOpen : c_nAccessNo;
  if (!std::strcmp(pszValue, "bus")) return wBit == 0x0800 ? c_nAccessOpen : c_nAccessNo;
  if (!std::strcmp(pszValue, "emergency")) return wBit == 0x0100 ? c_nAccessOpen : c_nAccessNo;
  if (IsValue(pszValue, {"no", "agricultural", "forestry", "agricultural;forestry", "military", "use_sidepath"}))
    return c_nAccessNo;
  return c_nAccessOpen;
}

}  // namespace

RoadAccess RoadAccessOf(const CTypeMapping& mapping, const TypeRule& road, const void* pTags, TagLookup pfnLookup,
                        bool fOneway) {
  RoadAccess a;
  int nSpeed = SpeedClassOfMaxspeed(mapping, pfnLookup(pTags, "maxspeed"));
  if (nSpeed < 0) nSpeed = road.nSpeedClass;
  const TypeRule* pQuality = mapping.Match(c_nRuleQuality, pTags, pfnLookup);
  int nQuality = pQuality ? pQuality->nQuality : 3;
  uint16_t w = uint16_t(nSpeed | (nQuality << 3));
  if (fOneway) w |= 0x40;
  if (IsValue(pfnLookup(pTags, "toll"), {"yes"})) w |= 0x80;
  // A track is no road for motor vehicles unless its access tags open it
  // (the generic keys too: motor_vehicle=yes is how a track says so).
  const bool fTrack = IsValue(pfnLookup(pTags, "highway"), {"track"});
  uint16_t wClassDeny = road.wDeny;
  if (fTrack) wClassDeny |= c_wMotorVehicles;
  for (const VehicleAccess& v : c_aVehicleAccess) {
    bool fDeny = (wClassDeny & v.wBit) != 0;
    bool fThrough = false;
    for (const char* pszKey : v.apszKeys) {
      if (!pszKey) break;
      const char* pszValue = pfnLookup(pTags, pszKey);
      if (!pszValue) continue;
      switch (AccessValueFor(pszValue, v.wBit)) {
        case c_nAccessNo:
          fDeny = true;
          break;
        case c_nAccessEnds:
          // Pedestrians have no bit for it: a private footpath stays closed
          // to them, a destination one open.
          if (v.wBit == 0x2000) fDeny = !std::strcmp(pszValue, "private");
          else if (!IsGenericAccessKey(pszKey) || !fDeny || (fTrack && (v.wBit & c_wMotorVehicles))) fDeny = false, fThrough = true;
          break;
        default:
          if (!IsGenericAccessKey(pszKey) || (fTrack && (v.wBit & c_wMotorVehicles))) fDeny = false;
          break;
      }
      break;
    }
    if (fDeny) w |= v.wBit;
    else if (fThrough) a.btThrough |= uint8_t(v.wBit >> 8);
  }
  a.wAttributes = w;
  a.fUnpaved = fTrack || IsValue(pfnLookup(pTags, "surface"), {"unpaved", "dirt", "gravel", "ground", "sand", "grass",
                                                                "compacted", "fine_gravel", "earth", "mud", "pebblestone",
                                                                "grass_paver", "woodchips", "rock", "salt", "snow", "ice"}) ||
               IsValue(pfnLookup(pTags, "tracktype"), {"grade2", "grade3", "grade4", "grade5"});
  return a;
}

uint16_t RoadAttributesOf(const CTypeMapping& mapping, const TypeRule& road, const void* pTags, TagLookup pfnLookup,
                          bool fOneway) {
  return RoadAccessOf(mapping, road, pTags, pfnLookup, fOneway).wAttributes;
}

uint16_t BarrierDenyOf(const void* pTags, TagLookup pfnLookup) {
  const char* pszBarrier = pfnLookup(pTags, "barrier");
  if (!pszBarrier) return 0;
  const char* pszAccess = nullptr;
  for (const char* pszKey : {"motorcar", "motor_vehicle", "vehicle", "access"})
    if (!pszAccess) pszAccess = pfnLookup(pTags, pszKey);
  const bool fClosed = IsValue(pszAccess, {"no", "private"});
  const bool fOpen = pszAccess && !fClosed && !IsValue(pszAccess, {"agricultural", "forestry", "emergency", "psv", "bus"});
  if (IsValue(pszBarrier, {"gate", "lift_gate", "swing_gate", "sliding_gate", "chain", "barrier_board"}))
    return fClosed ? c_wMotorVehicles : 0;
  if (IsValue(pszBarrier, {"bollard", "block", "jersey_barrier", "log", "rope", "planter", "bus_trap", "sump_buster",
                           "turnstile", "full-height_turnstile", "stile", "kissing_gate", "motorcycle_barrier",
                           "cycle_barrier", "fence", "wall", "debris", "horse_stile", "kerb_barrier"}))
    return fOpen ? 0 : c_wMotorVehicles;
  return 0;
}

std::string ChooseNodeIndex(uint64_t cbInput, bool fPbf) {
  // A PBF file takes about 12 bytes a node with its ways, XML about 80; a
  // third of the planet's nodes or more fill a dense array well enough.
  const uint64_t cNodes = cbInput / (fPbf ? 12 : 80);
  return cNodes > (uint64_t(3) << 30) ? "dense_file_array" : "sparse_file_array";
}

namespace {

using LocationIndex = osmium::index::map::Map<osmium::unsigned_object_id_type, osmium::Location>;

std::string TempFolderOf(const VelcRunOptions* pRun) {
  if (pRun && !pRun->strTempFolder.empty()) return pRun->strTempFolder;
  const char* psz = std::getenv("TMPDIR");
  return psz && *psz ? psz : "/tmp";
}

using SparseFileLocations = osmium::index::map::SparseFileArray<osmium::unsigned_object_id_type, osmium::Location>;

// The sparse file array of node locations, whose sort before the first way
// is only a check when the nodes came in the order of their ids, as a PBF
// file gives them (sorting the hundreds of megabytes of a large input that
// are in order already took seconds).
class CSparseLocations final : public LocationIndex {
 public:
  explicit CSparseLocations(int fd) : m_array(fd) {}
  SparseFileLocations& Array() { return m_array; }
  void set(const osmium::unsigned_object_id_type id, const osmium::Location loc) override { m_array.set(id, loc); }
  osmium::Location get(const osmium::unsigned_object_id_type id) const override { return m_array.get(id); }
  osmium::Location get_noexcept(const osmium::unsigned_object_id_type id) const noexcept override {
    return m_array.get_noexcept(id);
  }
  size_t size() const override { return m_array.size(); }
  size_t used_memory() const override { return m_array.used_memory(); }
  void clear() override { m_array.clear(); }
  void sort() override {
    if (!std::is_sorted(m_array.begin(), m_array.end())) m_array.sort();
  }
  void dump_as_list(const int fd) override { m_array.dump_as_list(fd); }

 private:
  SparseFileLocations m_array;
};

// The node location index by libosmium's name; the file-backed ones get a
// temporary file of their own, removed from its folder at once.
std::unique_ptr<LocationIndex> MakeLocationIndex(const std::string& strType, const std::string& strFolder,
                                                 std::string& strError) {
  if (strType == "dense_file_array" || strType == "sparse_file_array") {
    std::string strTemplate = strFolder + "/.velc-nodes-XXXXXX";
    const int fd = ::mkstemp(&strTemplate[0]);
    if (fd < 0) {
      strError = "cannot make the node location file in " + strFolder + ": " + std::strerror(errno);
      return nullptr;
    }
    ::unlink(strTemplate.c_str());
    if (strType == "dense_file_array")
      return std::unique_ptr<LocationIndex>(
          new osmium::index::map::DenseFileArray<osmium::unsigned_object_id_type, osmium::Location>(fd));
    return std::unique_ptr<LocationIndex>(new CSparseLocations(fd));
  }
  const auto& factory = osmium::index::MapFactory<osmium::unsigned_object_id_type, osmium::Location>::instance();
  if (!factory.has_map_type(strType)) {
    strError = "unknown node location index " + strType + " (known: ";
    bool fFirst = true;
    for (const std::string& str : factory.map_types()) {
      strError += (fFirst ? "" : ", ") + str;
      fFirst = false;
    }
    strError += ")";
    return nullptr;
  }
  try {
    return factory.create_map(strType);
  } catch (const std::exception& e) {
    strError = "cannot make the node location index " + strType + ": " + e.what();
    return nullptr;
  }
}

// Gives back the resident pages of a file-backed node location index (its
// contents stay in the file and come back when read); called by the thread
// that fills and reads the index, which alone may touch its mapping.
void DropIndexResident(LocationIndex& index) {
  const void* pBegin = nullptr;
  size_t cb = 0;
  using Dense = osmium::index::map::DenseFileArray<osmium::unsigned_object_id_type, osmium::Location>;
  if (auto* pDense = dynamic_cast<Dense*>(&index)) {
    if (pDense->begin() != pDense->end()) pBegin = &*pDense->begin(), cb = size_t(pDense->end() - pDense->begin()) * sizeof(*pDense->begin());
  } else if (auto* pLocations = dynamic_cast<CSparseLocations*>(&index)) {
    SparseFileLocations* pSparse = &pLocations->Array();
    if (pSparse->begin() != pSparse->end()) pBegin = &*pSparse->begin(), cb = size_t(pSparse->end() - pSparse->begin()) * sizeof(*pSparse->begin());
  }
  if (!pBegin) return;
  // The mapping starts on a page; its last page may be shared with nothing else.
  const uintptr_t cbPage = uintptr_t(::sysconf(_SC_PAGESIZE));
  const uintptr_t u = reinterpret_cast<uintptr_t>(pBegin);
  if (u % cbPage) return;
  ::madvise(const_cast<void*>(pBegin), (cb + cbPage - 1) / cbPage * cbPage, MADV_DONTNEED);
}

// Tells the progress how far the file is read.
class CReadProgress : public osmium::handler::Handler {
 public:
  // pReader: the reader to ask how far it is (null: SetOffset tells it);
  // pIndex: the node locations, when filled on this thread.
  CReadProgress(CVelcProgress* pProgress, const OsmConvertStats& stats, const osmium::io::Reader* pReader,
                LocationIndex* pIndex)
      : m_pProgress(pProgress), m_stats(stats), m_pReader(pReader), m_pIndex(pIndex) {}
  void SetOffset(uint64_t cb) { m_cbOffset = cb; }
  void osm_object(const osmium::OSMObject&) {
    ++m_c;
    if (m_pProgress && (m_c & 0xFFFF) == 0)
      m_pProgress->Reading(m_stats.cNodes, m_stats.cWays, m_pReader ? m_pReader->offset() : m_cbOffset);
    // The pages of the large blocks filled so far (the multipolygon members
    // waiting for their relations) need not stay with the process.
    if ((m_c & 0xFFFFF) == 0) DropSpillHeapResident();
    if ((m_c & 0xFFF) == 0 && m_pIndex && TakeResidentOverBudget()) DropIndexResident(*m_pIndex);
  }

 private:
  CVelcProgress* m_pProgress;
  const OsmConvertStats& m_stats;
  const osmium::io::Reader* m_pReader;
  LocationIndex* m_pIndex;
  uint64_t m_cbOffset = 0;
  uint64_t m_c = 0;
};

// Reading with two threads: one reads the file, puts the node locations
// into the ways and feeds the multipolygon assembly; the other converts
// what the first has done, a buffer at a time. The converter sees every
// object and every assembled area in the order one thread gives them: the
// areas the assembly hands over after an object come after that object.
// beforeWaysRead runs on the reading thread before it takes the first way
// (or the end of the file), beforeWaysConverted on the converting one
// before the first way is converted (or the end).
template <class TLocations, class TManagerHandler, class TConvert, class TBeforeRead, class TBeforeConverted>
void ReadInTwoThreads(osmium::io::Reader& reader, TLocations& locations, LocationIndex& index,
                      TManagerHandler& managerHandler, std::vector<osmium::memory::Buffer>& handedOver,
                      TConvert& convert, CReadProgress& progress, TBeforeRead beforeWaysRead,
                      TBeforeConverted beforeWaysConverted) {
  struct Batch {
    osmium::memory::Buffer buffer;  // invalid: the end of the file
    uint64_t cbOffset = 0;
    // The areas handed over after item n of the buffer (SIZE_MAX: at the end).
    std::vector<std::pair<size_t, osmium::memory::Buffer>> areas;
  };
  std::deque<Batch> queue;
  std::mutex mutex;
  std::condition_variable cvChanged;
  bool fStop = false;
  std::exception_ptr readError;
  const size_t c_cMaxQueued = 8;
  auto keepAreas = [&handedOver](Batch& batch, size_t n) {
    for (osmium::memory::Buffer& areas : handedOver) batch.areas.emplace_back(n, std::move(areas));
    handedOver.clear();
  };

  bool fWaysRead = false, fWaysConverted = false;
  std::thread reading([&]() {
    try {
      for (;;) {
        Batch batch;
        batch.buffer = reader.read();
        batch.cbOffset = reader.offset();
        const bool fEnd = !batch.buffer;
        if (fEnd) {
          if (!fWaysRead) beforeWaysRead(), fWaysRead = true;
          managerHandler.flush();
          keepAreas(batch, SIZE_MAX);
        } else {
          size_t n = 0;
          for (auto it = batch.buffer.begin(); it != batch.buffer.end(); ++it, ++n) {
            if (!fWaysRead && it->type() != osmium::item_type::node) beforeWaysRead(), fWaysRead = true;
            osmium::apply_item(*it, locations);
            osmium::apply_item(*it, managerHandler);
            keepAreas(batch, n);
          }
        }
        // The node locations' pages go when the mapped files hold too much.
        if (TakeResidentOverBudget()) DropIndexResident(index);
        std::unique_lock<std::mutex> lock(mutex);
        cvChanged.wait(lock, [&]() { return fStop || queue.size() < c_cMaxQueued; });
        if (fStop) return;
        queue.push_back(std::move(batch));
        cvChanged.notify_all();
        if (fEnd) return;
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      readError = std::current_exception();
      queue.push_back(Batch());
      cvChanged.notify_all();
    }
  });
  auto stop = [&]() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      fStop = true;
      cvChanged.notify_all();
    }
    reading.join();
  };
  try {
    for (;;) {
      Batch batch;
      {
        std::unique_lock<std::mutex> lock(mutex);
        cvChanged.wait(lock, [&]() { return !queue.empty(); });
        batch = std::move(queue.front());
        queue.pop_front();
        cvChanged.notify_all();
      }
      progress.SetOffset(batch.cbOffset);
      size_t iArea = 0, n = 0;
      if (!batch.buffer && !fWaysConverted) beforeWaysConverted(), fWaysConverted = true;
      if (batch.buffer)
        for (auto it = batch.buffer.begin(); it != batch.buffer.end(); ++it, ++n) {
          if (!fWaysConverted && it->type() != osmium::item_type::node) beforeWaysConverted(), fWaysConverted = true;
          osmium::apply_item(*it, convert);
          for (; iArea < batch.areas.size() && batch.areas[iArea].first == n; ++iArea)
            osmium::apply(batch.areas[iArea].second, convert);
          osmium::apply_item(*it, progress);
        }
      for (; iArea < batch.areas.size(); ++iArea) osmium::apply(batch.areas[iArea].second, convert);
      if (!batch.buffer) break;
    }
  } catch (...) {
    stop();
    throw;
  }
  stop();
  if (readError) std::rethrow_exception(readError);
}

}  // namespace

bool ConvertOsmFileToStore(const std::string& strInput, const CTypeMapping& mapping, CObjectStore& store,
                           OsmConvertStats& stats, std::string& strError, VelWriterOptions* pGraph,
                           VelIndexInput* pIndex, const VelcRunOptions* pRun) {
  stats = OsmConvertStats();
  uint64_t cbInput = 0;
  if (!platform::GetFileSizeOf(platform::Utf8ToU16(strInput).c_str(), cbInput)) {
    strError = "cannot read " + strInput + ": no such file";
    return false;
  }
  CVelcProgress* pProgress = pRun ? pRun->pProgress : nullptr;
  try {
    osmium::io::File file(strInput);
    osmium::area::Assembler::config_type config;
    config.create_empty_areas = false;
    osmium::area::MultipolygonManager<osmium::area::Assembler> manager{config};
    CConvertHandler handler(mapping, store, stats);
    std::vector<TurnRelation> turns;
    unsigned cJobs = pRun ? pRun->cJobs : 1;
    if (cJobs == 0) cJobs = std::max(1u, std::thread::hardware_concurrency());
    // One pass over the ways and relations finds the road graph's nodes,
    // the turn restrictions and the multipolygons to assemble.
    std::vector<bool> twice;
    std::vector<osmium::object_id_type> graphNodes;
    auto scanRoads = [&]() {
      CRoadScanHandler scan(mapping, stats);
      osmium::io::Reader scanReader{file, osmium::osm_entity_bits::way | osmium::osm_entity_bits::relation};
      osmium::apply(scanReader, scan, manager);
      scanReader.close();
      manager.prepare_for_lookup();
      turns = std::move(scan.Turns());
      graphNodes = scan.TakeGraphNodes(twice);
    };
    // With two threads or more the scan runs beside the reading of the
    // nodes, which needs nothing of it: the reading waits for it before the
    // first way.
    const bool fScanBeside = pGraph && cJobs > 1;
    std::thread scanning;
    std::exception_ptr scanError;
    auto waitForScan = [&]() {
      if (scanning.joinable()) scanning.join();
      if (scanError) std::rethrow_exception(scanError);
    };
    struct Joiner {
      std::thread& t;
      ~Joiner() {
        if (t.joinable()) t.join();
      }
    } joinScan{scanning};
    if (!pGraph) osmium::relations::read_relations(file, manager);
    else if (!fScanBeside) {
      if (pProgress) pProgress->Phase("scanning the roads", 0);
      scanRoads();
      handler.SetRoadGraph(std::move(graphNodes), std::move(twice), turns);
    } else {
      handler.ExpectRoadGraph();
      scanning = std::thread([&]() {
        try {
          scanRoads();
        } catch (...) {
          scanError = std::current_exception();
        }
      });
    }

    const bool fPbf = file.format() == osmium::io::file_format::pbf;
    const std::string strIndexType =
        pRun && !pRun->strIndexType.empty() ? pRun->strIndexType : ChooseNodeIndex(cbInput, fPbf);
    if (pRun && pRun->pstrIndexUsed) *pRun->pstrIndexUsed = strIndexType;
    std::unique_ptr<LocationIndex> index = MakeLocationIndex(strIndexType, TempFolderOf(pRun), strError);
    if (!index) return false;
    osmium::handler::NodeLocationsForWays<LocationIndex> locations{*index};
    locations.ignore_errors();
    osmium::io::Reader reader{file, osmium::io::read_meta::yes};
    if (pProgress) pProgress->Phase("reading", cbInput);
    handler.SetExtractBox(reader.header().box());
    handler.SetPartOfRegion(pGraph && pGraph->fPartOfRegion);
    if (cJobs == 1) {
      CReadProgress progress(pProgress, stats, &reader, index.get());
      osmium::apply(reader, locations, handler, manager.handler([&handler](osmium::memory::Buffer&& buffer) {
                      osmium::apply(buffer, handler);
                    }),
                    progress);
    } else {
      // The assembled areas are kept with the object after which the
      // assembly handed them over, and converted after it.
      CReadProgress progress(pProgress, stats, nullptr, nullptr);
      std::vector<osmium::memory::Buffer> handedOver;
      auto& managerHandler = manager.handler([&handedOver](osmium::memory::Buffer&& buffer) {
        handedOver.push_back(std::move(buffer));
      });
      ReadInTwoThreads(reader, locations, *index, managerHandler, handedOver, handler, progress, waitForScan,
                       [&]() {
                         if (fScanBeside) handler.SetRoadGraph(std::move(graphNodes), std::move(twice), turns);
                       });
    }
    osmium::Box boxHeader = reader.header().box();
    reader.close();
    index.reset();  // the node locations are not needed any more
    ReleaseFreeMemory();
    if (pGraph) {
      pGraph->dwNodeCount = handler.GraphNodeCount();
      stats.cGraphNodes = handler.GraphNodeCount();
      pGraph->restrictions.clear();
      ResolveTurns(handler, turns, pGraph->restrictions, stats);
      handler.GetBarriers(pGraph->barriers);
      stats.cBarriers = uint32_t(pGraph->barriers.size());
      handler.GetBorderKeys(pGraph->borderKeys);
      if (pGraph->fKeepNodeKeys) handler.GetNodeKeys(pGraph->nodeKeys);
    }
    // The sea goes in front of every other object, which moves the roads
    // the turn records name by as many places.
    handler.AddSea(boxHeader);
    const uint32_t cMoved = uint32_t(handler.SeaToFront());
    if (pGraph && cMoved)
      for (VelTurnRestriction& t : pGraph->restrictions) {
        t.iFromObject += cMoved;
        t.iToObject += cMoved;
      }
    if (pIndex) {
      if (pProgress) pProgress->Phase("finding the cities of the addresses", 0);
      handler.Addresses().Shift(cMoved);
      handler.Addresses().Resolve(mapping, store, *pIndex, stats.addresses, cJobs);
      pIndex->pfnCategory = VelcCategoryOf;
    }
  } catch (const std::exception& e) {
    strError = "cannot read " + strInput + ": " + e.what();
    return false;
  }
  return true;
}

std::vector<uint16_t> VelcLevelCodes() { return std::vector<uint16_t>(c_awVelcLevelCodes, c_awVelcLevelCodes + c_cVelcLevels); }

bool ConvertOsmFile(const std::string& strInput, const CTypeMapping& mapping, std::vector<VelLevelInput>& levels,
                    OsmConvertStats& stats, std::string& strError, VelWriterOptions* pGraph, VelIndexInput* pIndex) {
  CObjectStore store(VelcLevelCodes());
  if (!ConvertOsmFileToStore(strInput, mapping, store, stats, strError, pGraph, pIndex)) return false;
  store.TakeAll(levels);
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
                     VelWriterStats* pWriterStats, uint64_t* pcbOut, bool fRoadGraph, bool fIndexes,
                     const VelcRunOptions* pRun) {
  CTypeMapping mapping;
  if (!mapping.Load(strTypeMap.empty() ? DefaultTypeMappingPath() : strTypeMap, strError)) return false;
  std::vector<VelLevelInput> levels;
  OsmConvertStats stats;
  {
    // One map is written from the writer's objects, taken out of the store
    // at once: the store spills while the file is read.
    CStoreMemory memory(pRun ? pRun->cbMemory : UINT64_MAX, TempFolderOf(pRun));
    CObjectStore store(VelcLevelCodes(), &memory);
    if (!ConvertOsmFileToStore(strInput, mapping, store, stats, strError, fRoadGraph ? &options : nullptr,
                               fIndexes ? &options.index : nullptr, pRun))
      return false;
    if (pRun && pRun->pcbSpilled) *pRun->pcbSpilled = memory.SpilledBytes();
    store.TakeAll(levels);
  }
  if (pRun && pRun->pProgress) pRun->pProgress->Phase("writing", 0);
  SetMapDescription(options, strInput, stats);
  std::vector<uint8_t> out;
  VelWriterStats wstats;
  ReleaseFreeMemory();  // what reading the file needed
  if (!WriteVelMapConsuming(options, levels, out, strError, &wstats)) {
    if (wstats.fTooLarge)
      strError += "; give a folder as the output (-o DIR/) to write the map as a collection of tiles";
    return false;
  }
  if (!platform::WriteFileAtomic(platform::Utf8ToU16(strOutput).c_str(), out.data(), out.size())) {
    strError = "cannot write " + strOutput + ": " + std::strerror(errno);
    return false;
  }
  if (pStats) *pStats = stats;
  if (pWriterStats) *pWriterStats = wstats;
  if (pcbOut) *pcbOut = out.size();
  return true;
}

bool CompileOsmToCollection(const std::string& strInput, const std::string& strFolder, const std::string& strTypeMap,
                            VelWriterOptions options, std::string& strError, OsmConvertStats* pStats,
                            VelTileStats* pTileStats, bool fRoadGraph, uint64_t cbTileBudget,
                            const VelcRunOptions* pRun) {
  CTypeMapping mapping;
  if (!mapping.Load(strTypeMap.empty() ? DefaultTypeMappingPath() : strTypeMap, strError)) return false;
  OsmConvertStats stats;
  CStoreMemory memory(pRun ? pRun->cbMemory : UINT64_MAX, TempFolderOf(pRun));
  CObjectStore store(VelcLevelCodes(), &memory);
  options.fKeepNodeKeys = true;  // the tiles' border keys
  if (!ConvertOsmFileToStore(strInput, mapping, store, stats, strError, fRoadGraph ? &options : nullptr,
                             &options.index, pRun))
    return false;
  if (pRun && pRun->pcbSpilled) *pRun->pcbSpilled = memory.SpilledBytes();
  SetMapDescription(options, strInput, stats);
  ReleaseFreeMemory();  // what reading the file needed
  if (!WriteVelCollection(options, store, strFolder, cbTileBudget, strError, pTileStats, pRun ? pRun->cJobs : 1,
                          pRun ? pRun->pProgress : nullptr))
    return false;
  if (pStats) *pStats = stats;
  return true;
}
