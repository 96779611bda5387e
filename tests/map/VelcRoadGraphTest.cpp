// The road graph velc writes: attribute words from tags, graph nodes where
// roads meet, turn restrictions from relations (small files made here), and
// the real extracts checked against libosmium's own reading of them.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include <osmium/handler.hpp>
#include <osmium/handler/node_locations_for_ways.hpp>
#include <osmium/index/map/flex_mem.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/visitor.hpp>

#include "tests/map/VelTestUtil.h"
#include "tools/velc/OsmConvert.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

const uint16_t c_wOneway = 0x40, c_wToll = 0x80;
const uint16_t c_wFoot = 0x2000, c_wBicycle = 0x4000, c_wCar = 0x0400, c_wTruck = 0x8000, c_wBus = 0x0800,
               c_wTaxi = 0x1000, c_wDelivery = 0x0200, c_wEmergency = 0x0100;
const unsigned c_nFinestShift = 7;

std::string TempFile(const std::string& strName) { return std::string(VELMO_BINARY_DIR) + "/velcgraph-" + strName; }

std::unique_ptr<CVelParser> OpenPath(const std::string& strPath) {
  std::u16string s = platform::Utf8ToU16(strPath);
  return std::unique_ptr<CVelParser>(static_cast<CVelParser*>(OpenMapFile(s.c_str(), false, c_fOpenAll)));
}

struct Tags : std::map<std::string, std::string> {
  using std::map<std::string, std::string>::map;
};
const char* LookupMap(const void* p, const char* k) {
  auto& m = *static_cast<const Tags*>(p);
  auto it = m.find(k);
  return it == m.end() ? nullptr : it->second.c_str();
}

const CTypeMapping& Mapping() {
  static CTypeMapping s_mapping;
  static bool s_fLoaded = false;
  if (!s_fLoaded) {
    std::string strError;
    EXPECT_TRUE(s_mapping.Load(DefaultTypeMappingPath(), strError)) << strError;
    s_fLoaded = true;
  }
  return s_mapping;
}

uint16_t Attributes(const Tags& tags, bool fOneway = false) {
  const TypeRule* pRoad = Mapping().Match(c_nRuleRoad, &tags, LookupMap);
  EXPECT_TRUE(pRoad) << "not a road";
  return pRoad ? RoadAttributesOf(Mapping(), *pRoad, &tags, LookupMap, fOneway) : 0;
}

TEST(VelcRoads, SpeedClassFromMaxspeedNumbersZonesAndMph) {
  const CTypeMapping& m = Mapping();
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "60"), 3);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "50"), 2);       // between 40 and 60: the slower
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "130"), 7);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "90"), 5);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "10"), 0);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "RU:urban"), 3);  // 60
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "RU:rural"), 5);  // 90
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "RU:motorway"), 6);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "DE:urban"), 2);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "30 mph"), 2);  // 48 km/h
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "70 mph"), 6);  // 113 km/h
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "50 km/h"), 2);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "80;60"), 4);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "walk"), 0);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "signals"), -1);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "XX:unknown"), -1);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "-5"), -1);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, "50 knots"), -1);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, ""), -1);
  EXPECT_EQ(SpeedClassOfMaxspeed(m, nullptr), -1);
}

TEST(VelcRoads, AttributeWordFromClassQualityOnewayTollAndAccess) {
  // The class's speed without maxspeed, maxspeed wins.
  EXPECT_EQ(Attributes({{"highway", "residential"}}) & 7, 2);
  EXPECT_EQ(Attributes({{"highway", "residential"}, {"maxspeed", "RU:rural"}}) & 7, 5);
  EXPECT_EQ(Attributes({{"highway", "motorway"}}) & 7, 6);
  // Quality: 3 by default, from smoothness before tracktype before surface.
  EXPECT_EQ((Attributes({{"highway", "residential"}}) >> 3) & 7, 3);
  EXPECT_EQ((Attributes({{"highway", "track"}, {"tracktype", "grade2"}}) >> 3) & 7, 2);
  EXPECT_EQ((Attributes({{"highway", "track"}, {"surface", "dirt"}}) >> 3) & 7, 1);
  EXPECT_EQ((Attributes({{"highway", "residential"}, {"surface", "dirt"}, {"smoothness", "excellent"}}) >> 3) & 7, 4);
  EXPECT_EQ((Attributes({{"highway", "residential"}, {"smoothness", "horrible"}}) >> 3) & 7, 0);
  // One-way and toll bits.
  EXPECT_EQ(Attributes({{"highway", "primary"}}, true) & c_wOneway, c_wOneway);
  EXPECT_EQ(Attributes({{"highway", "primary"}}) & c_wOneway, 0);
  EXPECT_EQ(Attributes({{"highway", "primary"}, {"toll", "yes"}}) & c_wToll, c_wToll);
  EXPECT_EQ(Attributes({{"highway", "primary"}, {"toll", "no"}}) & c_wToll, 0);
  // Vehicles implied by the class.
  EXPECT_EQ(Attributes({{"highway", "residential"}}) & 0xFF00, 0);
  EXPECT_EQ(Attributes({{"highway", "motorway"}}) & 0xFF00, c_wFoot | c_wBicycle);
  EXPECT_EQ(Attributes({{"highway", "footway"}}) & 0xFF00, 0xFF00 & ~c_wFoot);
  EXPECT_EQ(Attributes({{"highway", "pedestrian"}}) & 0xFF00, 0xFF00 & ~c_wFoot);
  EXPECT_EQ(Attributes({{"highway", "cycleway"}}) & (c_wFoot | c_wBicycle | c_wCar), c_wCar);
  // Access tags, most specific first.
  // Private: pedestrians stay out; vehicles may only start or end there
  // (the road access table, see below).
  EXPECT_EQ(Attributes({{"highway", "residential"}, {"access", "private"}}) & 0xFF00, c_wFoot);
  EXPECT_EQ(Attributes({{"highway", "residential"}, {"access", "no"}, {"foot", "yes"}}) & 0xFF00, 0xFF00 & ~c_wFoot);
  EXPECT_EQ(Attributes({{"highway", "residential"}, {"motor_vehicle", "no"}}) & 0xFF00,
            c_wCar | c_wTaxi | c_wBus | c_wEmergency | c_wDelivery | c_wTruck);
  EXPECT_EQ(Attributes({{"highway", "residential"}, {"motor_vehicle", "no"}, {"psv", "yes"}}) & (c_wBus | c_wTaxi | c_wCar),
            c_wCar);
  EXPECT_EQ(Attributes({{"highway", "primary"}, {"hgv", "no"}}) & 0xFF00, c_wTruck);
  EXPECT_EQ(Attributes({{"highway", "primary"}, {"bicycle", "no"}}) & 0xFF00, c_wBicycle);
  EXPECT_EQ(Attributes({{"highway", "residential"}, {"access", "delivery"}}) & 0xFF00, 0);
  EXPECT_EQ(Attributes({{"highway", "residential"}, {"motorcar", "destination"}}) & c_wCar, 0);
  // A specific tag lets in what the class keeps out; a generic one does not.
  EXPECT_EQ(Attributes({{"highway", "footway"}, {"bicycle", "yes"}}) & c_wBicycle, 0);
  EXPECT_EQ(Attributes({{"highway", "footway"}, {"access", "yes"}}) & c_wCar, c_wCar);
  EXPECT_EQ(Attributes({{"highway", "pedestrian"}, {"emergency", "yes"}}) & c_wEmergency, 0);
  // What is not a road.
  Tags building{{"building", "yes"}};
  EXPECT_EQ(Mapping().Match(c_nRuleRoad, &building, LookupMap), nullptr);
  Tags construction{{"highway", "construction"}};
  EXPECT_EQ(Mapping().Match(c_nRuleRoad, &construction, LookupMap), nullptr);
}

RoadAccess Access(const Tags& tags) {
  const TypeRule* pRoad = Mapping().Match(c_nRuleRoad, &tags, LookupMap);
  EXPECT_TRUE(pRoad) << "not a road";
  return pRoad ? RoadAccessOf(Mapping(), *pRoad, &tags, LookupMap, false) : RoadAccess();
}

// How each access tag reads for a car: open, closed (the attribute word's
// vehicle bit) or only where a route starts or ends (btThrough).
TEST(VelcRoads, AccessTagsCloseARoadOrKeepItToTheEndsOfARoute) {
  const uint8_t c_btCar = uint8_t(c_wCar >> 8);
  struct Case {
    Tags tags;
    bool fClosed, fEnds;
  };
  const Case aCases[] = {
      {{{"highway", "residential"}}, false, false},
      {{{"highway", "residential"}, {"access", "destination"}}, false, true},
      {{{"highway", "residential"}, {"motor_vehicle", "destination"}}, false, true},
      {{{"highway", "residential"}, {"access", "no"}, {"motor_vehicle", "destination"}}, false, true},
      {{{"highway", "residential"}, {"motorcar", "private"}}, false, true},
      {{{"highway", "service"}, {"access", "customers"}}, false, true},
      {{{"highway", "service"}, {"vehicle", "delivery"}}, false, true},
      {{{"highway", "residential"}, {"access", "private"}, {"motorcar", "yes"}}, false, false},
      {{{"highway", "residential"}, {"motor_vehicle", "emergency"}}, true, false},
      {{{"highway", "residential"}, {"motor_vehicle", "agricultural"}}, true, false},
      {{{"highway", "residential"}, {"access", "forestry"}}, true, false},
      {{{"highway", "residential"}, {"access", "psv"}}, true, false},
      {{{"highway", "residential"}, {"motor_vehicle", "bus"}}, true, false},
      {{{"highway", "residential"}, {"access", "no"}}, true, false},
      // A track is closed to cars unless its access tags open it.
      {{{"highway", "track"}}, true, false},
      {{{"highway", "track"}, {"motor_vehicle", "yes"}}, false, false},
      {{{"highway", "track"}, {"access", "destination"}}, false, true},
      {{{"highway", "track"}, {"motorcar", "agricultural"}}, true, false},
      // Generic keys do not open what the class keeps out.
      {{{"highway", "footway"}, {"access", "destination"}}, true, false},
  };
  for (const Case& c : aCases) {
    std::string s;
    for (const auto& kv : c.tags) s += kv.first + "=" + kv.second + " ";
    SCOPED_TRACE(s);
    const RoadAccess a = Access(c.tags);
    EXPECT_EQ((a.wAttributes & c_wCar) != 0, c.fClosed);
    EXPECT_EQ((a.btThrough & c_btCar) != 0, c.fEnds);
  }
  // Emergency vehicles and buses keep their own roads.
  EXPECT_EQ(Access({{"highway", "residential"}, {"motor_vehicle", "emergency"}}).wAttributes & c_wEmergency, 0);
  EXPECT_EQ(Access({{"highway", "residential"}, {"access", "psv"}}).wAttributes & c_wBus, 0);
  // Unpaved: tracks, unpaved surfaces and track types.
  EXPECT_TRUE(Access({{"highway", "track"}, {"motor_vehicle", "yes"}}).fUnpaved);
  EXPECT_TRUE(Access({{"highway", "primary"}, {"surface", "gravel"}}).fUnpaved);
  EXPECT_TRUE(Access({{"highway", "unclassified"}, {"tracktype", "grade3"}}).fUnpaved);
  EXPECT_FALSE(Access({{"highway", "unclassified"}, {"tracktype", "grade1"}}).fUnpaved);
  EXPECT_FALSE(Access({{"highway", "residential"}, {"surface", "asphalt"}}).fUnpaved);
}

TEST(VelcRoads, TypeMappingReadsRoadQualityAndZoneRules) {
  CTypeMapping m;
  std::string strError;
  ASSERT_TRUE(m.Parse("line 0x06 4 highway=residential\nroad 2 0x2000 highway=residential\n"
                      "quality 1 surface=dirt\nzone XX:urban 45\n",
                      strError))
      << strError;
  EXPECT_EQ(m.ZoneSpeed("XX:urban"), 45);
  EXPECT_EQ(m.ZoneSpeed("RU:urban"), -1);
  Tags t{{"highway", "residential"}, {"surface", "dirt"}};
  const TypeRule* pRoad = m.Match(c_nRuleRoad, &t, LookupMap);
  ASSERT_TRUE(pRoad);
  EXPECT_EQ(pRoad->nSpeedClass, 2);
  EXPECT_EQ(pRoad->wDeny, 0x2000);
  EXPECT_EQ(m.Match(c_nRuleQuality, &t, LookupMap)->nQuality, 1);
  EXPECT_FALSE(m.Parse("road 8 0x0000 highway=a\n", strError));
  EXPECT_FALSE(m.Parse("road 2 0x0001 highway=a\n", strError));  // not a vehicle bit
  EXPECT_FALSE(m.Parse("road 2 0x0000\n", strError));
  EXPECT_FALSE(m.Parse("quality 9 surface=a\n", strError));
  EXPECT_FALSE(m.Parse("zone RU:urban fast\n", strError));
  EXPECT_NE(strError.find("line 1"), std::string::npos);
}

// A small town: a main street (ways 1 and 2 meet at node 3), a side street
// north from node 3 (way 3), a one-way -1 street (way 4), a footway (way 5)
// crossing the side street at node 12, a building outline and restrictions.
const char c_szTown[] = R"(<?xml version='1.0' encoding='UTF-8'?>
<osm version="0.6" generator="test">
  <node id="1" version="1" lat="55.000" lon="37.000"/>
  <node id="2" version="1" lat="55.000" lon="37.005"/>
  <node id="3" version="1" lat="55.000" lon="37.010"/>
  <node id="4" version="1" lat="55.000" lon="37.015"/>
  <node id="5" version="1" lat="55.000" lon="37.020"/>
  <node id="6" version="1" lat="55.005" lon="37.010"/>
  <node id="7" version="1" lat="55.010" lon="37.010"/>
  <node id="8" version="1" lat="54.995" lon="37.010"/>
  <node id="9" version="1" lat="54.990" lon="37.010"/>
  <node id="10" version="1" lat="54.990" lon="37.020"/>
  <node id="11" version="1" lat="55.005" lon="37.005"/>
  <node id="12" version="1" lat="55.005" lon="37.015"/>
  <node id="13" version="1" lat="55.003" lon="37.001"/>
  <node id="14" version="1" lat="55.003" lon="37.002"/>
  <node id="15" version="1" lat="55.004" lon="37.002"/>
  <way id="1" version="1"><nd ref="1"/><nd ref="2"/><nd ref="3"/>
    <tag k="highway" v="primary"/><tag k="name" v="Главная"/><tag k="maxspeed" v="RU:urban"/></way>
  <way id="2" version="1"><nd ref="3"/><nd ref="4"/><nd ref="5"/>
    <tag k="highway" v="primary"/><tag k="name" v="Главная"/><tag k="toll" v="yes"/></way>
  <way id="3" version="1"><nd ref="3"/><nd ref="6"/><nd ref="7"/>
    <tag k="highway" v="residential"/><tag k="name" v="Северная"/></way>
  <way id="4" version="1"><nd ref="3"/><nd ref="8"/><nd ref="9"/><nd ref="10"/>
    <tag k="highway" v="residential"/><tag k="name" v="Южная"/><tag k="oneway" v="-1"/></way>
  <way id="5" version="1"><nd ref="11"/><nd ref="6"/><nd ref="12"/>
    <tag k="highway" v="footway"/><tag k="name" v="Тропа"/></way>
  <way id="6" version="1"><nd ref="13"/><nd ref="14"/><nd ref="15"/><nd ref="13"/>
    <tag k="building" v="yes"/></way>
  <way id="7" version="1"><nd ref="5"/><nd ref="10"/>
    <tag k="highway" v="construction"/></way>
  <relation id="1" version="1">
    <member type="way" ref="1" role="from"/><member type="node" ref="3" role="via"/><member type="way" ref="3" role="to"/>
    <tag k="type" v="restriction"/><tag k="restriction" v="no_left_turn"/></relation>
  <relation id="2" version="1">
    <member type="way" ref="2" role="from"/><member type="node" ref="3" role="via"/><member type="way" ref="1" role="to"/>
    <tag k="type" v="restriction"/><tag k="restriction" v="only_straight_on"/></relation>
  <relation id="3" version="1">
    <member type="way" ref="3" role="from"/><member type="way" ref="1" role="via"/><member type="way" ref="2" role="to"/>
    <tag k="type" v="restriction"/><tag k="restriction" v="no_u_turn"/></relation>
  <relation id="4" version="1">
    <member type="way" ref="5" role="from"/><member type="node" ref="3" role="via"/><member type="way" ref="2" role="to"/>
    <tag k="type" v="restriction"/><tag k="restriction" v="no_right_turn"/></relation>
  <relation id="5" version="1">
    <member type="way" ref="99" role="from"/><member type="node" ref="3" role="via"/><member type="way" ref="2" role="to"/>
    <tag k="type" v="restriction"/><tag k="restriction" v="no_right_turn"/></relation>
  <relation id="6" version="1">
    <member type="way" ref="1" role="from"/><member type="node" ref="3" role="via"/><member type="way" ref="3" role="to"/>
    <tag k="type" v="restriction"/><tag k="restriction" v="no_left_turn"/><tag k="except" v="motorcar"/></relation>
</osm>
)";

MapPoint Loc(double lat, double lon) { return MapPoint{DegreesToMap(lon), DegreesToMap(lat)}; }

bool Near(MapPoint a, MapPoint b) {
  return std::abs(int64_t(a.x) - b.x) <= (1 << c_nFinestShift) && std::abs(int64_t(a.y) - b.y) <= (1 << c_nFinestShift);
}

TEST(VelcRoads, SmallTownGraphNodesOnewayAndRestrictions) {
  std::string strIn = TempFile("town.osm"), strOut = TempFile("town.vel");
  std::ofstream(strIn, std::ios::binary) << c_szTown;
  std::string strError;
  OsmConvertStats stats;
  VelWriterStats wstats;
  ASSERT_TRUE(CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError, &stats, &wstats)) << strError;
  EXPECT_EQ(stats.cRoads, 5u);
  // Graph nodes: the ends 1, 5, 7, 10, 11, 12 and the meeting points 3, 6.
  EXPECT_EQ(stats.cGraphNodes, 8u);
  EXPECT_EQ(stats.cRestrictions, 6u);
  EXPECT_EQ(stats.cRestrictionsViaWay, 1u);
  EXPECT_EQ(stats.cRestrictionsUnsupported, 1u);  // except=motorcar
  EXPECT_EQ(stats.cRestrictionsUnmatched, 2u);    // the footway does not reach node 3; way 99 is missing
  EXPECT_EQ(stats.cRestrictionsUsed, 2u);
  // only_straight_on from way 2 at node 3: no turn onto 3 (north), onto 4
  // (south; one-way towards node 3, so not a way on) or back onto 2.
  EXPECT_EQ(stats.cTurnRecords, 1u + 2u);
  EXPECT_EQ(wstats.cTurnsWritten, 3u);
  EXPECT_EQ(wstats.cTurnsDropped, 0u);

  auto p = OpenPath(strOut);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->GetNodeCount(), 8u);
  std::map<std::u16string, DecodedRoad> roads;
  std::vector<DecodedRoad> all = DecodeRoads(p.get());
  for (const DecodedRoad& r : all)
    if (r.fHasNodes) roads.emplace(r.strLabel + (r.strLabel == u"Главная" && (r.wAttributes & c_wToll) ? u"+" : u""), r);
  ASSERT_EQ(roads.size(), 5u);
  const DecodedRoad& west = roads.at(u"Главная");
  const DecodedRoad& east = roads.at(u"Главная+");
  const DecodedRoad& north = roads.at(u"Северная");
  const DecodedRoad& south = roads.at(u"Южная");
  const DecodedRoad& path = roads.at(u"Тропа");
  // Nodes at the ends and where ways meet; the points between stay plain.
  EXPECT_GE(west.nodes[0], 0);
  EXPECT_EQ(west.nodes[1], -1);
  int32_t nCrossing = west.nodes[2];
  EXPECT_GE(nCrossing, 0);
  EXPECT_EQ(east.nodes[0], nCrossing);
  EXPECT_EQ(east.nodes[1], -1);
  EXPECT_EQ(north.nodes[0], nCrossing);
  EXPECT_GE(north.nodes[1], 0);
  EXPECT_EQ(path.nodes[1], north.nodes[1]);  // the footway crosses at node 6
  // oneway=-1: written reversed, ending at the crossing, one-way.
  ASSERT_EQ(south.points.size(), 4u);
  EXPECT_TRUE(Near(south.points.front(), Loc(54.990, 37.020)));
  EXPECT_TRUE(Near(south.points.back(), Loc(55.000, 37.010)));
  EXPECT_EQ(south.nodes.back(), nCrossing);
  EXPECT_EQ(south.wAttributes & c_wOneway, c_wOneway);
  EXPECT_TRUE(south.fDirection);
  EXPECT_EQ(west.wAttributes & 7, 3);  // RU:urban
  EXPECT_EQ(east.wAttributes & c_wToll, c_wToll);
  EXPECT_EQ(path.wAttributes & 0xFF00, 0xFF00 & ~c_wFoot);
  EXPECT_EQ(west.wAttributes & 0xFF00, 0);

  std::vector<VelTurnRecord> turns;
  ASSERT_TRUE(p->GetTurnTable(turns));
  ASSERT_EQ(turns.size(), 3u);
  std::set<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>> got, want;
  for (const VelTurnRecord& t : turns) got.insert({t.cFromNode, t.cNode, t.cToNode, t.cFromRoad, t.cToRoad});
  uint32_t n = uint32_t(nCrossing);
  want.insert({uint32_t(west.nodes[0]), n, uint32_t(north.nodes[1]), west.dwOffset, north.dwOffset});
  want.insert({uint32_t(east.nodes[2]), n, uint32_t(north.nodes[1]), east.dwOffset, north.dwOffset});
  want.insert({uint32_t(east.nodes[2]), n, uint32_t(east.nodes[2]), east.dwOffset, east.dwOffset});
  EXPECT_EQ(got, want);

  // Without the road graph: no nodes, no attribute bits, no table.
  ASSERT_TRUE(CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError, nullptr, nullptr, nullptr, false));
  p = OpenPath(strOut);
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->HasRoadGraph());
  for (const DecodedRoad& r : DecodeRoads(p.get())) EXPECT_FALSE(r.fHasNodes);
}

// ---------------------------------------------------------------------------
// The real extracts

std::string Extract(const char* pszName) {
  std::string s = std::string(VELMO_SHARED_DATA) + "/osm/" + pszName + ".osm.pbf";
  std::ifstream f(s);
  return f ? s : std::string();
}

const char* LookupOsm(const void* p, const char* k) {
  return static_cast<const osmium::TagList*>(p)->get_value_by_key(k);
}

bool IsRoutable(const osmium::TagList& tags) {
  const char* pszArea = tags["area"];
  if (pszArea && !std::strcmp(pszArea, "yes")) return false;
  // Roads given up are none.
  for (const char* k : {"disused", "abandoned"})
    if (tags[k] && !std::strcmp(tags[k], "yes")) return false;
  return Mapping().Match(rkPolyline, &tags, LookupOsm) && Mapping().Match(c_nRuleRoad, &tags, LookupOsm);
}

MapPoint Quantize(const osmium::Location& loc) {
  return MapPoint{ToLevelUnits(DegreesToMap(loc.lon()), c_nFinestShift),
                  ToLevelUnits(DegreesToMap(loc.lat()), c_nFinestShift)};
}
MapPoint Quantize(MapPoint p) { return MapPoint{p.x >> c_nFinestShift, p.y >> c_nFinestShift}; }
typedef std::pair<int32_t, int32_t> Place;
Place PlaceOf(MapPoint q) { return Place(q.x, q.y); }

// libosmium's reading of an extract: the routable ways with their node
// locations, and where they meet or end.
struct OsmRoads : osmium::handler::Handler {
  struct WayInfo {
    std::vector<osmium::object_id_type> refs;
    std::vector<osmium::Location> locs;
    std::map<std::string, std::string> tags;
  };
  std::map<osmium::object_id_type, WayInfo> ways;
  std::map<osmium::object_id_type, int> uses;
  std::map<osmium::object_id_type, osmium::Location> nodeLocs;
  std::set<osmium::object_id_type> barriers;  // nodes that stop cars: graph nodes too
  void node(const osmium::Node& n) {
    if (BarrierDenyOf(&n.tags(), LookupOsm) & c_wCar) barriers.insert(n.id());
  }
  void way(const osmium::Way& w) {
    if (w.nodes().size() < 2 || !IsRoutable(w.tags())) return;
    WayInfo& info = ways[w.id()];
    for (const osmium::NodeRef& nr : w.nodes()) {
      info.refs.push_back(nr.ref());
      info.locs.push_back(nr.location());
      ++uses[nr.ref()];
      if (nr.location().valid()) nodeLocs[nr.ref()] = nr.location();
    }
    ++uses[w.nodes().front().ref()];
    ++uses[w.nodes().back().ref()];
    for (const osmium::Tag& t : w.tags()) info.tags[t.key()] = t.value();
  }
};

struct RealMap {
  OsmRoads osm;
  std::unique_ptr<CVelParser> p;
  std::vector<DecodedRoad> roads;
  OsmConvertStats stats;
};

bool LoadReal(const std::string& strIn, RealMap& m) {
  std::string strOut = TempFile("real-graph.vel"), strError;
  if (!CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError, &m.stats)) {
    ADD_FAILURE() << strError;
    return false;
  }
  using Index = osmium::index::map::FlexMem<osmium::unsigned_object_id_type, osmium::Location>;
  Index index;
  osmium::handler::NodeLocationsForWays<Index> locations{index};
  locations.ignore_errors();
  osmium::io::Reader reader{strIn, osmium::osm_entity_bits::node | osmium::osm_entity_bits::way};
  osmium::apply(reader, locations, m.osm);
  reader.close();
  m.p = OpenPath(strOut);
  if (!m.p) return false;
  bool fComplete = false;
  m.roads = DecodeRoads(m.p.get(), &fComplete);
  EXPECT_TRUE(fComplete);
  return true;
}

// The decoded roads that run from one location to another (quantized).
std::vector<const DecodedRoad*> RoadsBetween(const RealMap& m, const osmium::Location& a, const osmium::Location& b) {
  std::vector<const DecodedRoad*> out;
  MapPoint qa = Quantize(a), qb = Quantize(b);
  for (const DecodedRoad& r : m.roads) {
    if (!r.fHasNodes) continue;
    MapPoint f = Quantize(r.points.front()), l = Quantize(r.points.back());
    if (f.x == qa.x && f.y == qa.y && l.x == qb.x && l.y == qb.y) out.push_back(&r);
  }
  return out;
}

// Every extract: the nodes where routable ways meet or end are exactly the
// graph nodes of the map, each at one place; motorways and footways carry
// the vehicle bits of their class.
TEST(VelcRoadGraphRealData, GraphNodesAndVehicleBitsMatchLibosmium) {
  const char* apszNames[] = {"monaco", "north-bayreuth", "andorra", "moscow"};
  bool fAny = false;
  for (const char* pszName : apszNames) {
    std::string strIn = Extract(pszName);
    if (strIn.empty()) continue;
    fAny = true;
    SCOPED_TRACE(pszName);
    RealMap m;
    ASSERT_TRUE(LoadReal(strIn, m));
    std::set<Place> junctions;
    for (const auto& kv : m.osm.uses)
      if ((kv.second >= 2 || m.osm.barriers.count(kv.first)) && m.osm.nodeLocs.count(kv.first))
        junctions.insert(PlaceOf(Quantize(m.osm.nodeLocs.at(kv.first))));
    std::map<int32_t, MapPoint> nodeAt;
    std::set<Place> nodePlaces;
    size_t cRoads = 0;
    for (const DecodedRoad& r : m.roads) {
      if (!r.fHasNodes) continue;
      ++cRoads;
      for (size_t i = 0; i < r.points.size(); ++i) {
        if (r.nodes[i] < 0) continue;
        MapPoint q = Quantize(r.points[i]);
        auto [it, fNew] = nodeAt.emplace(r.nodes[i], q);
        if (!fNew) {
          EXPECT_TRUE(it->second.x == q.x && it->second.y == q.y) << "node " << r.nodes[i] << " at two places";
        }
        nodePlaces.insert(PlaceOf(q));
      }
    }
    EXPECT_EQ(cRoads, m.stats.cRoads);
    EXPECT_GT(nodeAt.size(), 500u);
    EXPECT_LE(nodeAt.size(), m.p->GetNodeCount());
    // Distinct places (two OSM nodes can share a unit of 2.4 m).
    EXPECT_EQ(nodePlaces, junctions);

    size_t cMotorways = 0, cFootways = 0;
    for (const auto& kv : m.osm.ways) {
      const OsmRoads::WayInfo& w = kv.second;
      auto tag = [&](const char* k) { auto it = w.tags.find(k); return it == w.tags.end() ? std::string() : it->second; };
      std::string strHighway = tag("highway");
      bool fMotorway = strHighway == "motorway";
      bool fFootway = strHighway == "footway";
      if (!fMotorway && !fFootway) continue;
      bool fAccessTags = false;
      for (const char* k : {"access", "foot", "bicycle", "vehicle", "motor_vehicle", "motorcar", "hgv", "psv", "bus",
                            "taxi", "emergency", "goods"})
        fAccessTags |= !tag(k).empty();
      if (fAccessTags || !w.locs.front().valid() || !w.locs.back().valid()) continue;
      bool fReverse = tag("oneway") == "-1";
      auto found = fReverse ? RoadsBetween(m, w.locs.back(), w.locs.front()) : RoadsBetween(m, w.locs.front(), w.locs.back());
      ASSERT_FALSE(found.empty()) << "way " << kv.first;
      const DecodedRoad& r = *found[0];
      if (fMotorway) {
        ++cMotorways;
        EXPECT_EQ(r.wType, 1);
        EXPECT_EQ(r.wAttributes & (c_wFoot | c_wBicycle | c_wCar | c_wOneway), c_wFoot | c_wBicycle | c_wOneway)
            << "way " << kv.first;
      } else {
        ++cFootways;
        EXPECT_EQ(r.wAttributes & 0xFF00, 0xFF00 & ~c_wFoot) << "way " << kv.first;
      }
    }
    if (std::string(pszName) == "north-bayreuth") EXPECT_GT(cMotorways, 0u);
    if (std::string(pszName) == "monaco") EXPECT_GT(cFootways, 50u);
  }
  if (!fAny) GTEST_SKIP() << "no OSM extracts in " << VELMO_SHARED_DATA;
}

// The turn record of a known restriction: its via node, and the two roads
// holding the from and to ways' nodes next to it.
void ExpectRestriction(const RealMap& m, osmium::object_id_type idFrom, osmium::object_id_type idVia,
                       osmium::object_id_type idTo, const std::u16string& strFrom, const std::u16string& strTo) {
  ASSERT_TRUE(m.osm.ways.count(idFrom) && m.osm.ways.count(idTo) && m.osm.nodeLocs.count(idVia));
  std::vector<VelTurnRecord> turns;
  ASSERT_TRUE(m.p->GetTurnTable(turns));
  std::map<uint32_t, const DecodedRoad*> byOffset;
  std::map<int32_t, MapPoint> nodeAt;
  for (const DecodedRoad& r : m.roads) {
    byOffset[r.dwOffset] = &r;
    for (size_t i = 0; i < r.points.size(); ++i)
      if (r.nodes[i] >= 0) nodeAt[r.nodes[i]] = Quantize(r.points[i]);
  }
  auto onWay = [&](uint32_t nNode, osmium::object_id_type idWay) {
    MapPoint q = nodeAt.at(int32_t(nNode));
    for (const osmium::Location& loc : m.osm.ways.at(idWay).locs) {
      MapPoint w = Quantize(loc);
      if (w.x == q.x && w.y == q.y) return true;
    }
    return false;
  };
  MapPoint via = Quantize(m.osm.nodeLocs.at(idVia));
  int cFound = 0;
  for (const VelTurnRecord& t : turns) {
    MapPoint q = nodeAt.at(int32_t(t.cNode));
    if (q.x != via.x || q.y != via.y) continue;
    ASSERT_TRUE(byOffset.count(t.cFromRoad) && byOffset.count(t.cToRoad));
    if (!onWay(t.cFromNode, idFrom) || !onWay(t.cToNode, idTo)) continue;
    ++cFound;
    EXPECT_EQ(byOffset.at(t.cFromRoad)->strLabel, strFrom);
    EXPECT_EQ(byOffset.at(t.cToRoad)->strLabel, strTo);
    // The roads hold the pieces the record names.
    auto holds = [](const DecodedRoad& r, uint32_t a, uint32_t b) {
      std::vector<int32_t> seq = r.NodeSequence();
      for (size_t i = 0; i + 1 < seq.size(); ++i)
        if ((uint32_t(seq[i]) == a && uint32_t(seq[i + 1]) == b) || (uint32_t(seq[i]) == b && uint32_t(seq[i + 1]) == a))
          return true;
      return false;
    };
    EXPECT_TRUE(holds(*byOffset.at(t.cFromRoad), t.cFromNode, t.cNode));
    EXPECT_TRUE(holds(*byOffset.at(t.cToRoad), t.cNode, t.cToNode));
  }
  EXPECT_EQ(cFound, 1);
}

TEST(VelcRoadGraphRealData, MonacoRestrictionRoundaboutAndReversedOneway) {
  std::string strIn = Extract("monaco");
  if (strIn.empty()) GTEST_SKIP() << "no monaco.osm.pbf";
  RealMap m;
  ASSERT_TRUE(LoadReal(strIn, m));
  // Relation 4261963: no left turn from the unnamed street 176527122 at node
  // 25177185 into Avenue des Castelans (way 166399477).
  ExpectRestriction(m, 176527122, 25177185, 166399477, u"", u"Avenue des Castelans");
  // Relation 4261964: no U-turn on Avenue des Guelfes at the same node.
  ExpectRestriction(m, 316502065, 25177185, 316502065, u"Avenue des Guelfes", u"Avenue des Guelfes");

  // Voie Romaine (way 24672730, oneway=-1): written from its last node to
  // its first, one-way.
  const OsmRoads::WayInfo& romaine = m.osm.ways.at(24672730);
  auto found = RoadsBetween(m, romaine.locs.back(), romaine.locs.front());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]->strLabel, u"Voie Romaine");
  EXPECT_EQ(found[0]->wAttributes & c_wOneway, c_wOneway);
  EXPECT_TRUE(RoadsBetween(m, romaine.locs.front(), romaine.locs.back()).empty());

  // Place d'Armes (way 176075907): a closed roundabout of type 12, one-way
  // in the way's own order, with a graph node at every street that meets it.
  const OsmRoads::WayInfo& armes = m.osm.ways.at(176075907);
  found = RoadsBetween(m, armes.locs.front(), armes.locs.back());
  ASSERT_EQ(found.size(), 1u);
  const DecodedRoad& ring = *found[0];
  EXPECT_EQ(ring.strLabel, u"Place d'Armes");
  EXPECT_EQ(ring.wType, 0x0C);
  EXPECT_EQ(ring.wAttributes & c_wOneway, c_wOneway);
  MapPoint second = Quantize(armes.locs[1]), decoded = Quantize(ring.points[1]);
  EXPECT_TRUE(second.x == decoded.x && second.y == decoded.y);
  size_t cExits = 0;
  for (size_t i = 1; i + 1 < armes.refs.size(); ++i) cExits += m.osm.uses.at(armes.refs[i]) >= 2;
  std::vector<int32_t> seq = ring.NodeSequence();
  EXPECT_GE(cExits, 3u);
  EXPECT_EQ(seq.size(), cExits + 2);  // the exits and the closing node at both ends
  EXPECT_EQ(seq.front(), seq.back());
}

TEST(VelcRoadGraphRealData, NorthBayreuthRestriction) {
  std::string strIn = Extract("north-bayreuth");
  if (strIn.empty()) GTEST_SKIP() << "no north-bayreuth.osm.pbf";
  RealMap m;
  ASSERT_TRUE(LoadReal(strIn, m));
  // Relation 3935581: no right turn from Kulmbacher Straße (way 295895830)
  // at node 28165350 into Unterkonnerreuther Straße (way 295918349).
  ExpectRestriction(m, 295895830, 28165350, 295918349, u"Kulmbacher Straße", u"Unterkonnerreuther Straße");
  EXPECT_GT(m.stats.cRestrictionsUsed, 30u);
}

}  // namespace

namespace {

// The demo region has something for every rule to act on.
TEST(VelcRoadGraphDemo, DemoRegionHasEveryKindOfRoad) {
  std::string strOsm = TempFile("demo.osm"), strVel = TempFile("demo.vel");
  ASSERT_EQ(std::system((std::string(VELMO_DEMOGEN) + " --size 1 -o " + strOsm + " > /dev/null").c_str()), 0);
  std::string strError;
  OsmConvertStats stats;
  VelWriterStats wstats;
  ASSERT_TRUE(CompileOsmToVel(strOsm, strVel, "", VelWriterOptions(), strError, &stats, &wstats)) << strError;
  EXPECT_EQ(stats.cRestrictions, 8u);
  EXPECT_EQ(stats.cRestrictionsUsed, 8u);
  EXPECT_EQ(wstats.cTurnsWritten, stats.cTurnRecords);
  auto p = OpenPath(strVel);
  ASSERT_TRUE(p);
  std::vector<DecodedRoad> roads = DecodeRoads(p.get());
  std::map<uint32_t, const DecodedRoad*> byOffset;
  size_t cPedestrian = 0, cToll = 0, cUnpaved = 0, cMotorway = 0, cLinks = 0, cOneway = 0;
  std::vector<const DecodedRoad*> rings;
  for (const DecodedRoad& r : roads) {
    if (!r.fHasNodes) continue;
    byOffset[r.dwOffset] = &r;
    if (r.strLabel == u"Пешеходная улица") {
      ++cPedestrian;
      EXPECT_EQ(r.wType, 0x42);
      EXPECT_EQ(r.wAttributes & 0xFF00, 0xFF00 & ~c_wFoot);  // a car must go round
      EXPECT_GE(r.NodeSequence().size(), 4u);                // crossed by every row
    }
    if (r.wAttributes & c_wToll) {
      ++cToll;
      EXPECT_EQ(r.strLabel.substr(0, 6), u"Трасса");
    }
    cUnpaved += r.wType == 0x0A;
    if (r.wType == 0x01) {
      ++cMotorway;
      EXPECT_EQ(r.wAttributes & (c_wOneway | c_wFoot | c_wCar), c_wFoot);  // both ways, no pedestrians
    }
    if (r.wType == 0x09) {
      ++cLinks;
      EXPECT_EQ(r.wAttributes & c_wOneway, c_wOneway);
    }
    cOneway += (r.wAttributes & c_wOneway) && r.wType != 0x0C && r.wType != 0x09;
    if (r.wType == 0x0C) rings.push_back(&r);
  }
  EXPECT_EQ(cPedestrian, 3u);  // in each town after the first
  EXPECT_GE(cToll, 1u);
  EXPECT_GE(cUnpaved, 4u);
  EXPECT_GE(cMotorway, 1u);
  EXPECT_GE(cLinks, 1u);
  EXPECT_GE(cOneway, 8u);
  // Four roundabouts, three of them with four exits (the ring's closing
  // node counted at both ends).
  ASSERT_EQ(rings.size(), 4u);
  size_t cFourExits = 0;
  for (const DecodedRoad* pRing : rings) {
    EXPECT_EQ(pRing->wAttributes & c_wOneway, c_wOneway);
    std::vector<int32_t> seq = pRing->NodeSequence();
    std::set<int32_t> exits(seq.begin(), seq.end());
    cFourExits += exits.size() == 4;
  }
  EXPECT_EQ(cFourExits, 3u);
  // Each turn record names roads that hold its pieces; in the towns with
  // split main streets, the no-left-turn record leads from the main row's
  // western half onto the main column's northern half.
  std::vector<VelTurnRecord> turns;
  ASSERT_TRUE(p->GetTurnTable(turns));
  ASSERT_EQ(turns.size(), 8u);
  size_t cLeft = 0;
  for (const VelTurnRecord& t : turns) {
    ASSERT_TRUE(byOffset.count(t.cFromRoad) && byOffset.count(t.cToRoad));
    const DecodedRoad& from = *byOffset.at(t.cFromRoad);
    const DecodedRoad& to = *byOffset.at(t.cToRoad);
    std::vector<int32_t> fs = from.NodeSequence(), ts = to.NodeSequence();
    EXPECT_NE(std::find(fs.begin(), fs.end(), int32_t(t.cNode)), fs.end());
    EXPECT_NE(std::find(fs.begin(), fs.end(), int32_t(t.cFromNode)), fs.end());
    EXPECT_NE(std::find(ts.begin(), ts.end(), int32_t(t.cToNode)), ts.end());
    if (t.cFromRoad != t.cToRoad && from.wType == 0x04 && to.wType == 0x05 && fs.back() == int32_t(t.cNode) &&
        ts.front() == int32_t(t.cNode))
      ++cLeft;
  }
  EXPECT_EQ(cLeft, 4u);  // every town: the first one's short ways, the halves in the others
}

}  // namespace
