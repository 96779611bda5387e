// Areas with holes and the sea: the bridge cut that writes a hole into one
// ring, the coastline closed into sea areas, and both checked on compiled
// maps (small files made here, the demo region and the real extracts) by
// even-odd tests of points on the decoded objects.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

#include <osmium/area/assembler.hpp>
#include <osmium/area/multipolygon_manager.hpp>
#include <osmium/handler.hpp>
#include <osmium/handler/node_locations_for_ways.hpp>
#include <osmium/index/map/flex_mem.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/relations/relations_manager.hpp>
#include <osmium/visitor.hpp>

#include "tests/map/VelTestUtil.h"
#include "tools/velc/Areas.h"
#include "tools/velc/Coastline.h"
#include "tools/velc/OsmConvert.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

const uint16_t c_wSea = 0x28;

bool Same(const MapPoint& a, const MapPoint& b) { return a.x == b.x && a.y == b.y; }

bool SameRing(const MapRing& a, const MapRing& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), Same);
}

MapRing Rect(int32_t l, int32_t b, int32_t r, int32_t t) { return MapRing{{l, b}, {r, b}, {r, t}, {l, t}}; }

bool InArea(double x, double y, const AreaRings& a) {
  if (!PointInRing(x, y, a.outer)) return false;
  for (const MapRing& h : a.holes)
    if (PointInRing(x, y, h)) return false;
  return true;
}

bool InAnySea(double x, double y, const std::vector<AreaRings>& sea) {
  for (const AreaRings& a : sea)
    if (InArea(x, y, a)) return true;
  return false;
}

// The same, with every sea area joined into one ring as the map stores it.
bool InAnyJoined(double x, double y, const std::vector<AreaRings>& sea) {
  for (const AreaRings& a : sea) {
    MapRing joined;
    JoinHoles(a.outer, a.holes, joined);
    if (PointInRing(x, y, joined)) return true;
  }
  return false;
}

TEST(VelcAreas, JoinedRingFillsTheAreaAndNotItsHoles) {
  // A square with two holes near each other and a concave hole.
  MapRing outer = Rect(0, 0, 1000, 1000);
  std::vector<MapRing> holes{Rect(100, 100, 300, 300), Rect(350, 120, 500, 260),
                             MapRing{{600, 600}, {900, 600}, {900, 900}, {800, 900}, {800, 700}, {600, 700}}};
  MapRing joined;
  JoinHoles(outer, holes, joined);
  EXPECT_EQ(joined.size(), outer.size() + (4 + 2) + (4 + 2) + (6 + 2));
  AreaRings a{outer, holes};
  int cIn = 0, cOut = 0;
  for (int y = 5; y < 1000; y += 10)
    for (int x = 5; x < 1000; x += 10) {
      bool fExpected = InArea(x + 0.5, y + 0.5, a);
      ASSERT_EQ(PointInRing(x + 0.5, y + 0.5, joined), fExpected) << x << "," << y;
      (fExpected ? cIn : cOut)++;
    }
  EXPECT_EQ(cOut, 400 + 15 * 14 + 300 + 200);
  EXPECT_GT(cIn, 8000);
  // Rings too small to be holes are left out, and no hole leaves it unchanged.
  JoinHoles(outer, {MapRing{{10, 10}, {20, 20}}}, joined);
  EXPECT_TRUE(SameRing(joined, outer));
}

TEST(VelcAreas, SeaLiesRightOfTheCoastline) {
  CoastBounds bounds{0, 0, 100000, 100000};
  // West to east across the bounds: land to the north, sea to the south.
  for (bool fEastward : {true, false}) {
    SCOPED_TRACE(fEastward);
    CCoastline coast;
    std::vector<MapPoint> pts{{-5000, 50000}, {40000, 60000}, {70000, 40000}, {105000, 50000}};
    if (!fEastward) std::reverse(pts.begin(), pts.end());
    coast.AddWay(1, 10, 11, pts);
    std::vector<AreaRings> sea;
    std::vector<std::string> problems;
    ASSERT_TRUE(coast.BuildSea(bounds, 100, sea, problems));
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(sea.size(), 1u);
    EXPECT_EQ(InAnySea(50000, 10000, sea), fEastward);
    EXPECT_EQ(InAnySea(50000, 90000, sea), !fEastward);
    EXPECT_EQ(InAnySea(40000, 58000, sea), fEastward);  // just below the bend
    EXPECT_EQ(InAnySea(40000, 62000, sea), !fEastward);
    EXPECT_FALSE(InAnySea(150000, 10000, sea));  // outside the bounds
  }
}

TEST(VelcAreas, BayIslandsAndJoinedWays) {
  CoastBounds bounds{0, 0, 100000, 100000};
  CCoastline coast;
  // A bay opening to the south edge, in two ways joined at node 21: the coast
  // comes up from the south edge, runs east and goes back down, sea inside.
  coast.AddWay(2, 21, 22, {{30000, 70000}, {70000, 70000}, {70000, 20000}, {80000, -1000}});
  coast.AddWay(1, 20, 21, {{20000, -1000}, {30000, 20000}, {30000, 70000}});
  // An island in the bay (land left: counter-clockwise).
  coast.AddWay(3, 30, 30, {{45000, 40000}, {55000, 40000}, {55000, 50000}, {45000, 50000}, {45000, 40000}});
  // An island outside the bay, on land: it is no hole of any sea.
  coast.AddWay(4, 40, 40, {{5000, 90000}, {9000, 90000}, {9000, 95000}, {5000, 90000}});
  std::vector<AreaRings> sea;
  std::vector<std::string> problems;
  ASSERT_TRUE(coast.BuildSea(bounds, 100, sea, problems));
  ASSERT_EQ(sea.size(), 1u);
  EXPECT_EQ(sea[0].holes.size(), 1u);
  for (auto fn : {InAnySea, InAnyJoined}) {
    EXPECT_TRUE(fn(50000, 30000, sea));   // in the bay
    EXPECT_TRUE(fn(50000, 1000, sea));    // its mouth
    EXPECT_FALSE(fn(50000, 45000, sea));  // the island
    EXPECT_FALSE(fn(10000, 50000, sea));  // land west of the bay
    EXPECT_FALSE(fn(90000, 50000, sea));  // and east
    EXPECT_FALSE(fn(50000, 90000, sea));  // and north
  }
}

TEST(VelcAreas, IslandsAloneMakeOpenSeaAndInlandSeasStayInside) {
  CoastBounds bounds{0, 0, 100000, 100000};
  {
    CCoastline coast;
    coast.AddWay(1, 1, 1, {{40000, 40000}, {60000, 40000}, {50000, 60000}, {40000, 40000}});
    std::vector<AreaRings> sea;
    std::vector<std::string> problems;
    ASSERT_TRUE(coast.BuildSea(bounds, 100, sea, problems));
    EXPECT_TRUE(InAnyJoined(10000, 10000, sea));
    EXPECT_TRUE(InAnyJoined(90000, 90000, sea));
    EXPECT_FALSE(InAnyJoined(50000, 45000, sea));
  }
  {
    // Clockwise: water enclosed by land.
    CCoastline coast;
    coast.AddWay(1, 1, 1, {{40000, 40000}, {50000, 60000}, {60000, 40000}, {40000, 40000}});
    std::vector<AreaRings> sea;
    std::vector<std::string> problems;
    ASSERT_TRUE(coast.BuildSea(bounds, 100, sea, problems));
    EXPECT_FALSE(InAnyJoined(10000, 10000, sea));
    EXPECT_TRUE(InAnyJoined(50000, 45000, sea));
  }
}

TEST(VelcAreas, BrokenCoastlineIsReportedAndMakesNoSea) {
  CoastBounds bounds{0, 0, 100000, 100000};
  CCoastline coast;
  coast.AddWay(1, 10, 11, {{-5000, 50000}, {40000, 60000}, {105000, 50000}});
  // Reversed against its neighbour, so the two cannot be joined: both have
  // an end in the middle of the bounds.
  coast.AddWay(7, 12, 13, {{20000, 20000}, {50000, 20000}});
  coast.AddWay(8, 12, 14, {{20000, 20000}, {20000, -5000}});
  std::vector<AreaRings> sea;
  std::vector<std::string> problems;
  EXPECT_FALSE(coast.BuildSea(bounds, 100, sea, problems));
  EXPECT_TRUE(sea.empty());
  ASSERT_EQ(problems.size(), 3u);  // way 7 at both ends, way 8 at its start
  std::string strAll;
  for (auto& s : problems) strAll += s + "\n";
  EXPECT_NE(strAll.find("way 7"), std::string::npos) << strAll;
  EXPECT_NE(strAll.find("way 8"), std::string::npos) << strAll;
  EXPECT_EQ(strAll.find("way 1 "), std::string::npos) << strAll;
  // An end close to the bounds is where the extract cut the coastline.
  CCoastline cut;
  cut.AddWay(1, 10, 11, {{50, 50000}, {40000, 60000}, {99950, 50000}});
  problems.clear();
  ASSERT_TRUE(cut.BuildSea(bounds, 100, sea, problems));
  EXPECT_TRUE(InAnySea(50000, 10000, sea));
  EXPECT_FALSE(InAnySea(50000, 90000, sea));
}

// ---------------------------------------------------------------- compiled maps

std::string TempFile(const std::string& strName) { return std::string(VELMO_BINARY_DIR) + "/velcareas-" + strName; }

std::unique_ptr<CVelParser> OpenPath(const std::string& strPath) {
  std::u16string s = platform::Utf8ToU16(strPath);
  return std::unique_ptr<CVelParser>(static_cast<CVelParser*>(OpenMapFile(s.c_str(), false, c_fOpenAll)));
}

std::vector<MapRing> Finest(const std::vector<Decoded>& all, uint16_t wType) {
  uint32_t nFinest = 0;
  for (auto& o : all) nFinest = std::max(nFinest, o.nLevel);
  std::vector<MapRing> v;
  for (auto& o : all)
    if (o.nLevel == nFinest && o.nKind == rkPolygon && o.wType == wType) v.push_back(o.points);
  return v;
}

bool InAny(double x, double y, const std::vector<MapRing>& rings) {
  for (const MapRing& r : rings)
    if (PointInRing(x, y, r)) return true;
  return false;
}

std::string Node(int n, double lat, double lon) {
  char sz[160];
  std::snprintf(sz, sizeof sz, "<node id=\"%d\" version=\"1\" lat=\"%.7f\" lon=\"%.7f\"/>\n", n, lat, lon);
  return sz;
}

MapPoint At(double lat, double lon) { return MapPoint{DegreesToMap(lon), DegreesToMap(lat)}; }

TEST(VelcAreas, SmallFileWithLakeIslandAndCoast) {
  // Bounds 44.00..44.10 N, 7.00..7.10 E; the coast runs west to east at
  // 44.05 with a cape, the land north of it; a lake with an island on land.
  std::string s = "<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" generator=\"test\">\n"
                  "<bounds minlat=\"44.0\" minlon=\"7.0\" maxlat=\"44.1\" maxlon=\"7.1\"/>\n";
  s += Node(1, 44.05, 6.99) + Node(2, 44.04, 7.05) + Node(3, 44.05, 7.11);
  s += Node(11, 44.07, 7.02) + Node(12, 44.07, 7.06) + Node(13, 44.09, 7.06) + Node(14, 44.09, 7.02);
  s += Node(21, 44.075, 7.03) + Node(22, 44.075, 7.04) + Node(23, 44.085, 7.04) + Node(24, 44.085, 7.03);
  s += "<way id=\"1\" version=\"1\"><nd ref=\"1\"/><nd ref=\"2\"/><nd ref=\"3\"/>"
       "<tag k=\"natural\" v=\"coastline\"/></way>\n"
       "<way id=\"2\" version=\"1\"><nd ref=\"11\"/><nd ref=\"12\"/><nd ref=\"13\"/><nd ref=\"14\"/><nd ref=\"11\"/></way>\n"
       "<way id=\"3\" version=\"1\"><nd ref=\"21\"/><nd ref=\"22\"/><nd ref=\"23\"/><nd ref=\"24\"/><nd ref=\"21\"/></way>\n"
       "<relation id=\"1\" version=\"1\"><member type=\"way\" ref=\"2\" role=\"outer\"/>"
       "<member type=\"way\" ref=\"3\" role=\"inner\"/><tag k=\"type\" v=\"multipolygon\"/>"
       "<tag k=\"natural\" v=\"water\"/><tag k=\"name\" v=\"Lac\"/></relation>\n</osm>\n";
  std::string strIn = TempFile("coast.osm"), strOut = TempFile("coast.vel");
  std::ofstream(strIn, std::ios::binary) << s;
  std::string strError;
  OsmConvertStats stats;
  ASSERT_TRUE(CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError, &stats)) << strError;
  EXPECT_EQ(stats.cSeaAreas, 1u);
  EXPECT_TRUE(stats.warnings.empty());
  auto p = OpenPath(strOut);
  ASSERT_TRUE(p);
  auto all = DecodeAll(p.get());
  auto sea = Finest(all, c_wSea);
  auto lakes = Finest(all, 0x3C);
  ASSERT_EQ(sea.size(), 1u);
  ASSERT_EQ(lakes.size(), 1u);
  auto in = [](const std::vector<MapRing>& v, double lat, double lon) {
    MapPoint pt = At(lat, lon);
    return InAny(pt.x + 0.5, pt.y + 0.5, v);
  };
  EXPECT_TRUE(in(sea, 44.01, 7.05));
  EXPECT_TRUE(in(sea, 44.045, 7.01));
  EXPECT_FALSE(in(sea, 44.045, 7.05));  // the cape
  EXPECT_FALSE(in(sea, 44.06, 7.05));
  EXPECT_TRUE(in(lakes, 44.072, 7.05));
  EXPECT_FALSE(in(lakes, 44.08, 7.035));  // the island
  // Every level draws the sea (the coarse ones too) and the lake's island
  // wherever the lake is drawn.
  for (uint32_t i = 0; i < p->GetLevelCount(); ++i) {
    std::vector<MapRing> seaAt, lakeAt;
    for (auto& o : all)
      if (o.nLevel == i && o.nKind == rkPolygon) (o.wType == c_wSea ? seaAt : lakeAt).push_back(o.points);
    EXPECT_FALSE(seaAt.empty()) << i;
    if (!lakeAt.empty()) EXPECT_FALSE(in(lakeAt, 44.08, 7.035)) << i;
  }
  // Without the coastline, no sea; with it broken, a warning and no sea.
  for (bool fBroken : {false, true}) {
    std::string t = s;
    if (fBroken) t.replace(t.find("<nd ref=\"1\"/><nd ref=\"2\"/>"), 26, "<nd ref=\"2\"/>");
    else t.replace(t.find("coastline"), 9, "beach");
    std::ofstream(strIn, std::ios::binary) << t;
    ASSERT_TRUE(CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError, &stats)) << strError;
    EXPECT_EQ(stats.cSeaAreas, 0u);
    EXPECT_EQ(stats.warnings.size(), fBroken ? 1u : 0u);
    if (fBroken) {
      ASSERT_EQ(stats.warnings.size(), 1u);
      EXPECT_NE(stats.warnings[0].find("coastline broken: way 1 starts at 44.04"), std::string::npos)
          << stats.warnings[0];
    }
    auto q = OpenPath(strOut);
    ASSERT_TRUE(q);
    EXPECT_TRUE(Finest(DecodeAll(q.get()), c_wSea).empty());
  }
}

// ---------------------------------------------------------------- real data

const char* Lookup(const void* p, const char* k) { return static_cast<const osmium::TagList*>(p)->get_value_by_key(k); }

MapRing OsmRing(const osmium::NodeRefList& ring) {
  MapRing pts;
  for (auto& nr : ring)
    if (nr.location().valid()) pts.push_back(MapPoint{DegreesToMap(nr.location().lon()), DegreesToMap(nr.location().lat())});
  if (pts.size() > 1 && Same(pts.front(), pts.back())) pts.pop_back();
  return pts;
}

// The mapped areas with holes, as libosmium assembles them, and the
// coastline ways.
struct OsmAreas : osmium::handler::Handler {
  const CTypeMapping* pMapping = nullptr;
  std::vector<std::pair<uint16_t, AreaRings>> holed;
  std::vector<MapRing> coast;
  void way(const osmium::Way& w) {
    const char* psz = w.tags()["natural"];
    if (psz && !std::strcmp(psz, "coastline")) {
      MapRing pts;
      for (auto& nr : w.nodes())
        if (nr.location().valid())
          pts.push_back(MapPoint{DegreesToMap(nr.location().lon()), DegreesToMap(nr.location().lat())});
      coast.push_back(pts);
    }
  }
  void area(const osmium::Area& a) {
    const TypeRule* pRule = pMapping->Match(rkPolygon, &a.tags(), Lookup);
    if (!pRule) return;
    for (const osmium::OuterRing& outer : a.outer_rings()) {
      AreaRings rings{OsmRing(outer), {}};
      for (const osmium::InnerRing& inner : a.inner_rings(outer)) {
        rings.holes.push_back(OsmRing(inner));
        if (rings.holes.back().size() < 3) rings.holes.pop_back();
      }
      if (rings.outer.size() >= 3 && !rings.holes.empty()) holed.push_back({pRule->wType, std::move(rings)});
    }
  }
};

osmium::Box ReadOsm(const std::string& strIn, OsmAreas& areas) {
  osmium::io::File file(strIn);
  osmium::area::Assembler::config_type config;
  osmium::area::MultipolygonManager<osmium::area::Assembler> manager{config};
  osmium::relations::read_relations(file, manager);
  using Index = osmium::index::map::FlexMem<osmium::unsigned_object_id_type, osmium::Location>;
  Index index;
  osmium::handler::NodeLocationsForWays<Index> locations{index};
  locations.ignore_errors();
  osmium::io::Reader reader{file};
  osmium::Box box = reader.header().box();
  osmium::apply(reader, locations, areas, manager.handler([&areas](osmium::memory::Buffer&& buffer) {
                  osmium::apply(buffer, areas);
                }));
  reader.close();
  return box;
}

double SegDist(double px, double py, const MapPoint& a, const MapPoint& b) {
  double dx = double(b.x) - a.x, dy = double(b.y) - a.y, l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? std::clamp(((px - a.x) * dx + (py - a.y) * dy) / l2, 0.0, 1.0) : 0;
  return std::hypot(px - a.x - t * dx, py - a.y - t * dy);
}

double RingDist(double x, double y, const MapRing& r) {
  double d = 1e300;
  for (size_t i = 0; i < r.size(); ++i) d = std::min(d, SegDist(x, y, r[i], r[(i + 1) % r.size()]));
  return d;
}

// Sample points are this far (map units, about 11 m) from the edge they are
// made from and at least c_fClear from every edge, several units of the
// finest level, so that the map's rounding cannot move an edge over them.
const double c_fOffset = 600, c_fClear = 400;

struct Checked {
  size_t cAreas = 0, cMissing = 0, cInHoles = 0, cBesideHoles = 0, cWrong = 0;
  size_t cSeaRight = 0, cLandLeft = 0, cSeaWrong = 0;
};

void CheckMap(const std::string& strIn, const CTypeMapping& mapping, Checked& c) {
  OsmAreas osm;
  osm.pMapping = &mapping;
  osmium::Box box = ReadOsm(strIn, osm);
  std::string strOut = TempFile("real.vel"), strError;
  OsmConvertStats stats;
  ASSERT_TRUE(CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError, &stats)) << strError;
  EXPECT_TRUE(stats.warnings.empty()) << stats.warnings[0];
  auto p = OpenPath(strOut);
  ASSERT_TRUE(p);
  auto all = DecodeAll(p.get());
  std::map<uint16_t, std::vector<MapRing>> finest;
  {
    uint32_t nFinest = 0;
    for (auto& o : all) nFinest = std::max(nFinest, o.nLevel);
    for (auto& o : all)
      if (o.nLevel == nFinest && o.nKind == rkPolygon) finest[o.wType].push_back(o.points);
  }
  // Holes: the written ring of each outer ring with holes (found by type and
  // bounds) leaves points inside its holes out and keeps points beside them.
  for (auto& [wType, rings] : osm.holed) {
    int64_t l = INT64_MAX, r = INT64_MIN, b = INT64_MAX, t = INT64_MIN;
    for (const MapPoint& pt : rings.outer)
      l = std::min<int64_t>(l, pt.x), r = std::max<int64_t>(r, pt.x), b = std::min<int64_t>(b, pt.y),
      t = std::max<int64_t>(t, pt.y);
    const MapRing* pWritten = nullptr;
    for (const MapRing& w : finest[wType]) {
      int64_t wl = INT64_MAX, wr = INT64_MIN, wb = INT64_MAX, wt = INT64_MIN;
      for (const MapPoint& pt : w)
        wl = std::min<int64_t>(wl, pt.x), wr = std::max<int64_t>(wr, pt.x), wb = std::min<int64_t>(wb, pt.y),
        wt = std::max<int64_t>(wt, pt.y);
      if (std::abs(wl - l) <= 256 && std::abs(wr - r) <= 256 && std::abs(wb - b) <= 256 && std::abs(wt - t) <= 256) {
        pWritten = &w;
        break;
      }
    }
    ++c.cAreas;
    if (!pWritten) {
      ++c.cMissing;
      continue;
    }
    auto clear = [&](double x, double y) {
      if (RingDist(x, y, rings.outer) < c_fClear) return false;
      for (const MapRing& h : rings.holes)
        if (RingDist(x, y, h) < c_fClear) return false;
      return true;
    };
    for (const MapRing& h : rings.holes) {
      int cIn = 0, cBeside = 0;
      for (size_t i = 0; i < h.size() && (cIn < 4 || cBeside < 4); ++i) {
        const MapPoint &a = h[i], &bb = h[(i + 1) % h.size()];
        double dx = double(bb.x) - a.x, dy = double(bb.y) - a.y, len = std::hypot(dx, dy);
        if (len < 2 * c_fOffset) continue;
        for (int side : {-1, 1}) {
          double x = (a.x + bb.x) / 2.0 + side * dy / len * c_fOffset, y = (a.y + bb.y) / 2.0 - side * dx / len * c_fOffset;
          if (!clear(x, y)) continue;
          bool fExpected = InArea(x, y, rings);
          bool fInHole = PointInRing(x, y, h);
          if ((fInHole ? cIn : cBeside) >= 4) continue;
          (fInHole ? cIn : cBeside)++;
          (fInHole ? c.cInHoles : c.cBesideHoles)++;
          if (PointInRing(x, y, *pWritten) != fExpected) {
            ++c.cWrong;
            ADD_FAILURE() << strIn << ": type " << wType << " at " << MapToDegrees(int32_t(y)) << " N "
                          << MapToDegrees(int32_t(x)) << " E should be " << (fExpected ? "in" : "out");
          }
        }
      }
    }
  }
  // The sea: right of every coastline segment within the bounds, not left.
  const std::vector<MapRing>& sea = finest[c_wSea];
  if (osm.coast.empty()) {
    EXPECT_EQ(stats.cSeaAreas, 0u) << strIn;
    EXPECT_TRUE(sea.empty()) << strIn;
    return;
  }
  EXPECT_GT(stats.cSeaAreas, 0u) << strIn;
  ASSERT_TRUE(box.valid());
  double bl = DegreesToMap(box.bottom_left().lon()), bb = DegreesToMap(box.bottom_left().lat());
  double br = DegreesToMap(box.top_right().lon()), bt = DegreesToMap(box.top_right().lat());
  // A point clear of the bounds and of every coastline segment is on the
  // sea side when it is right of its nearest segment (which decides across
  // jetties narrower than the sample's offset); points nearest to a vertex
  // are left out, as the side is not clear there.
  auto sideOf = [&](double x, double y) {
    if (x - bl < c_fClear || br - x < c_fClear || y - bb < c_fClear || bt - y < c_fClear) return 0;
    double fBest = 1e300;
    int nSide = 0;
    for (const MapRing& w : osm.coast)
      for (size_t i = 0; i + 1 < w.size(); ++i) {
        double d = SegDist(x, y, w[i], w[i + 1]);
        if (d < c_fClear) return 0;
        if (d >= fBest) continue;
        fBest = d;
        double dx = double(w[i + 1].x) - w[i].x, dy = double(w[i + 1].y) - w[i].y;
        double t = ((x - w[i].x) * dx + (y - w[i].y) * dy) / (dx * dx + dy * dy);
        double fCross = dx * (y - w[i].y) - dy * (x - w[i].x);
        nSide = t <= 0 || t >= 1 ? 0 : fCross < 0 ? 1 : -1;
      }
    return nSide;
  };
  for (const MapRing& w : osm.coast)
    for (size_t i = 0; i + 1 < w.size(); ++i) {
      const MapPoint &a = w[i], &e = w[i + 1];
      double dx = double(e.x) - a.x, dy = double(e.y) - a.y, len = std::hypot(dx, dy);
      if (len < 2 * c_fOffset) continue;
      for (int side : {1, -1}) {  // 1: right of the way's direction, the sea
        double x = (a.x + e.x) / 2.0 + side * dy / len * c_fOffset, y = (a.y + e.y) / 2.0 - side * dx / len * c_fOffset;
        int nSide = sideOf(x, y);
        if (nSide == 0) continue;
        (nSide > 0 ? c.cSeaRight : c.cLandLeft)++;
        if (InAny(x, y, sea) != (nSide > 0)) {
          ++c.cSeaWrong;
          ADD_FAILURE() << strIn << ": " << MapToDegrees(int32_t(y)) << " N " << MapToDegrees(int32_t(x))
                        << " E should be " << (nSide > 0 ? "sea" : "land") << " (" << x << "," << y << ") seg "
                        << a.x << "," << a.y << " " << e.x << "," << e.y;
        }
      }
    }
}

std::vector<std::string> Extracts() {
  std::vector<std::string> v;
  std::string strDir = std::string(VELMO_SHARED_DATA) + "/osm";
  if (DIR* d = opendir(strDir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string s = e->d_name;
      if (s.size() > 8 && s.substr(s.size() - 8) == ".osm.pbf") v.push_back(strDir + "/" + s);
    }
    closedir(d);
  }
  std::sort(v.begin(), v.end());
  return v;
}

TEST(VelcAreas, DemoRegionKeepsTheIslandOfItsLake) {
  CTypeMapping mapping;
  std::string strError;
  ASSERT_TRUE(mapping.Load(DefaultTypeMappingPath(), strError)) << strError;
  std::string strDemo = TempFile("demo.osm");
  ASSERT_EQ(std::system((std::string(VELMO_DEMOGEN) + " --size 1 -o " + strDemo + " > /dev/null").c_str()), 0);
  Checked c;
  CheckMap(strDemo, mapping, c);
  EXPECT_GT(c.cAreas, 0u);
  EXPECT_EQ(c.cMissing, 0u);
  EXPECT_GT(c.cInHoles, 0u);
  EXPECT_GT(c.cBesideHoles, 0u);
  EXPECT_EQ(c.cWrong, 0u);
}

TEST(VelcAreasRealData, HolesKeptAndSeaOnTheSeaSide) {
  auto extracts = Extracts();
  if (extracts.empty()) GTEST_SKIP() << "no OSM extracts in " << VELMO_SHARED_DATA;
  CTypeMapping mapping;
  std::string strError;
  ASSERT_TRUE(mapping.Load(DefaultTypeMappingPath(), strError)) << strError;
  Checked all;
  for (const std::string& strIn : extracts) {
    SCOPED_TRACE(strIn);
    Checked c;
    CheckMap(strIn, mapping, c);
    std::printf("%s: %zu areas with holes (%zu not found), %zu points in holes, %zu beside; "
                "coast: %zu sea side, %zu land side\n",
                strIn.c_str(), c.cAreas, c.cMissing, c.cInHoles, c.cBesideHoles, c.cSeaRight, c.cLandLeft);
    EXPECT_EQ(c.cMissing, 0u);
    all.cInHoles += c.cInHoles, all.cSeaRight += c.cSeaRight, all.cLandLeft += c.cLandLeft;
    if (strIn.find("monaco") != std::string::npos) {
      EXPECT_GT(c.cSeaRight, 50u);
      EXPECT_GT(c.cLandLeft, 50u);
    }
  }
  EXPECT_GT(all.cInHoles, 10u);
}

}  // namespace
