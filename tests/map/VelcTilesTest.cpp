// Maps written as collections of tiles: a made-up town grid with a small
// tile budget is cut into several tiles that open as one map through the
// collection index; every object is in some tile, objects crossing a tile
// edge are in every tile they touch, points in exactly one; a tile the
// writer finds too large is halved; routes whose ends lie in one tile are
// found through the collection and equal the single map's.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <csignal>
#include <filesystem>
#include <chrono>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <atomic>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>

#include "map/MapFiles.h"
#include "map/RouteOptions.h"
#include "map/vidx/VidxParser.h"
#include "tests/map/VelTestUtil.h"
#include "tools/velc/ObjectStore.h"
#include "tools/velc/OsmConvert.h"
#include "tools/velc/Tiles.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

const int c_cGrid = 16;          // nodes per side
const double c_fStep = 0.002;    // degrees between nodes
const double c_fLat0 = 55.0, c_fLon0 = 37.0;

std::string TempPath(const std::string& strName) { return std::string(VELMO_BINARY_DIR) + "/velctiles-" + strName; }

// A town grid: streets in pieces of three blocks (named by row or column),
// a house with an address and a cafe in every block, a road crossing the
// whole grid diagonally, and four cities.
std::string GridOsm() {
  std::ostringstream os;
  os.precision(9);
  os << "<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" generator=\"test\">\n";
  auto node = [&os](long id, double lat, double lon, const std::string& strTags = "") {
    os << "<node id=\"" << id << "\" version=\"1\" timestamp=\"2025-06-07T08:00:00Z\" lat=\"" << lat << "\" lon=\""
       << lon << "\"" << (strTags.empty() ? "/>\n" : ">" + strTags + "</node>\n");
  };
  auto tag = [](const std::string& k, const std::string& v) { return "<tag k=\"" + k + "\" v=\"" + v + "\"/>"; };
  auto grid = [](int r, int c) { return long(1 + r * c_cGrid + c); };
  for (int r = 0; r < c_cGrid; ++r)
    for (int c = 0; c < c_cGrid; ++c) node(grid(r, c), c_fLat0 + r * c_fStep, c_fLon0 + c * c_fStep);
  long id = 10000;
  const char* apszCity[4] = {"Северск", "Южноград", "Западное", "Восточное"};
  for (int i = 0; i < 4; ++i)
    node(++id, c_fLat0 + (i < 2 ? 0.25 : 0.75) * c_cGrid * c_fStep, c_fLon0 + (i % 2 ? 0.75 : 0.25) * c_cGrid * c_fStep,
         tag("place", "town") + tag("name", apszCity[i]));
  // Houses (small closed ways) and cafes in every block.
  long way = 100000;
  std::ostringstream ways;
  for (int r = 0; r + 1 < c_cGrid; ++r)
    for (int c = 0; c + 1 < c_cGrid; ++c) {
      const double lat = c_fLat0 + (r + 0.3) * c_fStep, lon = c_fLon0 + (c + 0.3) * c_fStep;
      node(++id, lat + 0.0004, lon + 0.0008,
           tag("amenity", "cafe") + tag("name", "Кафе " + std::to_string(r) + "-" + std::to_string(c)));
      const long a = ++id, b = ++id, d = ++id, e = ++id;
      node(a, lat, lon), node(b, lat, lon + 0.0003), node(d, lat + 0.0003, lon + 0.0003), node(e, lat + 0.0003, lon);
      ways << "<way id=\"" << ++way << "\" version=\"1\"><nd ref=\"" << a << "\"/><nd ref=\"" << b << "\"/><nd ref=\""
           << d << "\"/><nd ref=\"" << e << "\"/><nd ref=\"" << a << "\"/>" << tag("building", "yes")
           << tag("addr:street", "Улица " + std::to_string(r)) << tag("addr:housenumber", std::to_string(c + 1))
           << "</way>\n";
    }
  // Streets: rows and columns in pieces of three blocks.
  for (int dir = 0; dir < 2; ++dir)
    for (int k = 0; k < c_cGrid; ++k)
      for (int s = 0; s + 1 < c_cGrid; s += 3) {
        ways << "<way id=\"" << ++way << "\" version=\"1\">";
        for (int t = s; t <= std::min(s + 3, c_cGrid - 1); ++t)
          ways << "<nd ref=\"" << (dir == 0 ? grid(k, t) : grid(t, k)) << "\"/>";
        ways << tag("highway", "residential") << tag("name", (dir == 0 ? "Улица " : "Линия ") + std::to_string(k))
             << "</way>\n";
      }
  // The diagonal road, its own nodes joined to the grid at both ends.
  ways << "<way id=\"" << ++way << "\" version=\"1\"><nd ref=\"" << grid(0, 0) << "\"/>";
  for (int i = 1; i + 1 < c_cGrid; ++i) {
    node(++id, c_fLat0 + (i + 0.5) * c_fStep, c_fLon0 + (i + 0.5) * c_fStep);
    ways << "<nd ref=\"" << id << "\"/>";
  }
  ways << "<nd ref=\"" << grid(c_cGrid - 1, c_cGrid - 1) << "\"/>" << tag("highway", "primary")
       << tag("name", "Диагональ") << "</way>\n";
  os << ways.str() << "</osm>\n";
  return os.str();
}

const std::string& GridOsmPath() {
  static std::string s_str;
  if (s_str.empty()) {
    s_str = TempPath("grid.osm");
    std::ofstream(s_str, std::ios::binary) << GridOsm();
  }
  return s_str;
}

struct Converted {
  VelWriterOptions options;
  std::vector<VelLevelInput> levels;
};

void Convert(Converted& out) {
  CTypeMapping mapping;
  std::string strError;
  ASSERT_TRUE(mapping.Load(DefaultTypeMappingPath(), strError)) << strError;
  OsmConvertStats stats;
  ASSERT_TRUE(ConvertOsmFile(GridOsmPath(), mapping, out.levels, stats, strError, &out.options, &out.options.index))
      << strError;
  SetMapDescription(out.options, GridOsmPath(), stats);
}

std::string NewFolder(const std::string& strName) {
  const std::string dir = TempPath(strName);
  std::system(("rm -rf '" + dir + "'").c_str());
  return dir;
}

// The finest level's objects of every member, with the member they are in.
struct MemberObjects {
  std::vector<std::vector<Decoded>> members;
  std::vector<MapRect> rects;
};
void DecodeMembers(CVidxParser* pIndex, MemberObjects& out) {
  for (uint32_t i = 0; i < pIndex->GetMapCount(); ++i) {
    std::unique_ptr<CMapParser> member(OpenMapFile(pIndex->GetMemberPath(i).c_str(), false, c_fOpenAll));
    ASSERT_TRUE(member) << i;
    CVelParser* pVel = static_cast<CVelParser*>(member.get());
    std::vector<Decoded> all = DecodeAll(pVel);
    std::vector<Decoded> finest;
    for (Decoded& d : all)
      if (d.nLevel + 1 == pVel->GetLevelCount()) finest.push_back(std::move(d));
    out.members.push_back(std::move(finest));
    out.rects.push_back(pIndex->GetMember(i).rect);
  }
}

std::string Key(int nKind, uint16_t wType, const std::u16string& strLabel) {
  return std::to_string(nKind) + ":" + std::to_string(wType) + ":" + platform::U16ToUtf8(strLabel);
}

MapRect BoundsOf(const std::vector<MapPoint>& pts) {
  MapRect r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const MapPoint& p : pts)
    r = MapRect{std::min(r.left, p.x), std::min(r.top, p.y), std::max(r.right, p.x), std::max(r.bottom, p.y)};
  return r;
}

MapPoint GridPoint(double r, double c) {
  return MapPoint{DegreesToMap(c_fLon0 + c * c_fStep), DegreesToMap(c_fLat0 + r * c_fStep)};
}

// The length of the route's polyline (doubled map units).
double PathLength(const RouteOptions& o) {
  double f = 0;
  for (size_t i = 1; i < o.points.size(); ++i)
    f += std::hypot(double(o.points[i].x) - o.points[i - 1].x, double(o.points[i].y) - o.points[i - 1].y);
  return f;
}

// The maneuvers of a route: kind and place (to 1e-4 degrees).
std::vector<std::string> Maneuvers(const RouteOptions& o) {
  std::vector<std::string> out;
  for (const RouterPoint& p : o.points)
    if (p.btKind & c_rkManeuver)
      out.push_back(std::to_string(p.btKind) + "@" + std::to_string(std::lround(MapToDegrees(p.x >> 1) * 1e4)) + "," +
                    std::to_string(std::lround(MapToDegrees(p.y >> 1) * 1e4)));
  return out;
}

double RouteLength(const RouteOptions& o) {
  double f = 0;
  for (const RouterPoint& p : o.points) f += p.fLength;
  return f;
}

}  // namespace

TEST(VelcTiles, PlanningCoversTheExtentWithoutOverlapAndKeepsSmallMapsWhole) {
  Converted in;
  Convert(in);
  const std::vector<MapRect> one = PlanTiles(in.levels, c_cbDefaultTileBudget);
  ASSERT_EQ(one.size(), 1u);
  const std::vector<MapRect> many = PlanTiles(in.levels, 4000);
  ASSERT_GE(many.size(), 4u);
  // Every point of every object lies in exactly one tile.
  for (const VelLevelInput& lv : in.levels)
    for (const VelObject& obj : lv.objects)
      for (const MapPoint& p : obj.points) {
        int c = 0;
        for (const MapRect& r : many) c += r.Contains(p);
        ASSERT_EQ(c, 1) << p.x << "," << p.y;
        EXPECT_TRUE(one[0].Contains(p));
      }
}

TEST(VelcTiles, ThePlanOfRandomObjectsIsTheSameWithOneJobAsWithThree) {
  for (uint32_t nSeed = 1; nSeed <= 3; ++nSeed) {
    std::mt19937 rng(nSeed);
    // Clustered points and lines, a few of them long, and objects without
    // points, on two levels.
    std::vector<VelLevelInput> levels(2);
    for (size_t iLevel = 0; iLevel < levels.size(); ++iLevel)
      for (int i = 0; i < 40000; ++i) {
        VelObject obj;
        obj.nKind = i % 3 ? rkPolyline : rkPoint;
        const int32_t x0 = int32_t(rng() % 4 ? rng() % 200000 : rng() % 2000000);
        const int32_t y0 = int32_t(rng() % 1500000);
        const size_t cPoints = i % 97 == 0 ? 0 : obj.nKind == rkPoint ? 1 : 2 + rng() % 6;
        const int32_t nSpan = i % 50 == 0 ? 1500000 : 3000;
        for (size_t k = 0; k < cPoints; ++k)
          obj.points.push_back(MapPoint{x0 + int32_t(rng() % nSpan), y0 + int32_t(rng() % nSpan)});
        levels[iLevel].objects.push_back(std::move(obj));
      }
    const std::vector<MapRect> one = PlanTiles(levels, 40000), three = PlanTiles(levels, 40000, 3);
    EXPECT_GE(one.size(), 8u);
    ASSERT_EQ(three.size(), one.size()) << "seed " << nSeed;
    for (size_t i = 0; i < one.size(); ++i)
      EXPECT_TRUE(three[i].left == one[i].left && three[i].top == one[i].top && three[i].right == one[i].right &&
                  three[i].bottom == one[i].bottom)
          << "seed " << nSeed << ", tile " << i;
  }
}

TEST(VelcTiles, ATiledCollectionOpensAsOneMapWithEveryObjectInTheTilesItTouches) {
  Converted in;
  Convert(in);
  const std::string dir = NewFolder("collection");
  std::string strError;
  VelTileStats stats;
  ASSERT_TRUE(WriteVelCollection(in.options, in.levels, dir, 4000, strError, &stats)) << strError;
  ASSERT_GE(stats.tiles.size(), 4u);
  EXPECT_EQ(stats.cIndexedMaps, int32_t(stats.tiles.size()));
  // Each tile is the map of the objects that touch its rectangle, taken
  // from every object of the map one by one (the collection's writer finds
  // them by their bounds, made once).
  for (size_t i = 0; i < stats.tiles.size(); ++i) {
    VelWriterOptions tileOptions;
    std::vector<VelLevelInput> tileLevels;
    ExtractTile(in.options, in.levels, stats.tiles[i], i == 0, tileOptions, tileLevels);
    std::vector<uint8_t> want;
    ASSERT_TRUE(WriteVelMap(tileOptions, tileLevels, want, strError)) << strError;
    std::ifstream file(dir + "/" + TileFileName(uint32_t(i)), std::ios::binary);
    const std::vector<uint8_t> got((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(got == want) << TileFileName(uint32_t(i)) << ": " << got.size() << " bytes, " << want.size() << " wanted";
  }

  std::unique_ptr<CMapParser> map(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
  ASSERT_TRUE(map);
  CVidxParser* pIndex = AsVidxParser(map.get());
  ASSERT_TRUE(pIndex);
  ASSERT_EQ(pIndex->GetMapCount(), stats.tiles.size());
  MemberObjects got;
  DecodeMembers(pIndex, got);
  ASSERT_EQ(got.members.size(), stats.tiles.size());

  // The members' rectangles are their tiles' parts of the extent (no more
  // than the tile, though objects reach beyond it).
  for (size_t i = 0; i < got.rects.size(); ++i) {
    EXPECT_GE(got.rects[i].left + 1, stats.tiles[i].left) << i;
    EXPECT_LE(got.rects[i].right - 1, stats.tiles[i].right) << i;
  }

  std::map<std::string, int> inTiles;  // how many tiles hold each labelled object
  std::vector<std::set<std::string>> perTile(got.members.size());
  for (size_t i = 0; i < got.members.size(); ++i)
    for (const Decoded& d : got.members[i])
      if (!d.strLabel.empty() && perTile[i].insert(Key(d.nKind, d.wType, d.strLabel)).second)
        ++inTiles[Key(d.nKind, d.wType, d.strLabel)];

  const std::vector<VelObject>& finest = in.levels.back().objects;
  size_t cCafes = 0, cCrossing = 0;
  for (const VelObject& obj : finest) {
    if (obj.strLabel.empty()) continue;
    const std::string key = Key(obj.nKind, obj.wType, obj.strLabel);
    ASSERT_TRUE(inTiles.count(key)) << key;
    if (obj.nKind == rkPoint) {
      EXPECT_EQ(inTiles[key], 1) << key;  // a point is in the one tile that holds it
      cCafes += obj.strLabel.compare(0, 4, u"Кафе") == 0;
      continue;
    }
    // A line is in every tile its points lie in.
    for (size_t t = 0; t < stats.tiles.size(); ++t) {
      bool fTouches = false;
      for (const MapPoint& p : obj.points) fTouches |= stats.tiles[t].Contains(p);
      if (fTouches) {
        EXPECT_TRUE(perTile[t].count(key)) << key << " in tile " << t;
      }
    }
    if (obj.strLabel == u"Диагональ") {
      size_t cTouched = 0;
      for (const MapRect& r : stats.tiles) cTouched += r.Intersects(BoundsOf(obj.points));
      EXPECT_GE(cTouched, 2u);
      EXPECT_EQ(size_t(inTiles[key]), cTouched);
      ++cCrossing;
    }
  }
  EXPECT_EQ(cCafes, size_t((c_cGrid - 1) * (c_cGrid - 1)));
  EXPECT_EQ(cCrossing, 1u);

  // The merged city list names each city once, and its addresses are found
  // in whichever tiles hold them.
  std::unique_ptr<CCitiesQuery> cities(map->CreateCitiesQuery());
  ASSERT_TRUE(cities);
  std::set<std::u16string> names;
  for (uint32_t i = 0; i < cities->GetCount(); ++i) {
    CityItem item{};
    ASSERT_TRUE(cities->GetItem(i, &item, c_fofName));
    names.insert(item.szName);
  }
  EXPECT_EQ(names.size(), size_t(cities->GetCount()));
  for (const char16_t* psz : {u"Северск", u"Южноград", u"Западное", u"Восточное"}) {
    bool fFound = false;
    for (const std::u16string& s : names) fFound |= s.compare(0, platform::StrLen(psz), psz) == 0;
    EXPECT_TRUE(fFound) << platform::U16ToUtf8(psz);
  }
  size_t cHouses = 0;
  for (uint32_t i = 0; i < cities->GetCount(); ++i) {
    std::unique_ptr<CMapQuery> q(map->FindByAddress(i, u"", u"Улица 7", u"", nullptr));
    if (q) cHouses += q->GetCount();
  }
  EXPECT_GE(cHouses, size_t(c_cGrid - 1));  // the houses of the street (and the street)

  // Writing again with a larger budget leaves no tiles of the first run.
  ASSERT_TRUE(WriteVelCollection(in.options, in.levels, dir, c_cbDefaultTileBudget, strError, &stats)) << strError;
  EXPECT_EQ(stats.tiles.size(), 1u);
  std::unique_ptr<CMapParser> again(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
  ASSERT_TRUE(again && AsVidxParser(again.get()));
  EXPECT_EQ(AsVidxParser(again.get())->GetMapCount(), 1u);
}

TEST(VelcTiles, ATileTheWriterFindsTooLargeIsHalvedUntilItFits) {
  Converted in;
  Convert(in);
  // The plan takes the whole grid as one tile; the writer has room for a
  // quarter of it at most.
  std::vector<uint8_t> whole;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(in.options, in.levels, whole, strError)) << strError;
  in.options.cbObjectDataLimit = uint32_t(whole.size() / 4);
  VelWriterStats ws;
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(WriteVelMap(in.options, in.levels, bytes, strError, &ws));
  EXPECT_TRUE(ws.fTooLarge);

  const std::string dir = NewFolder("halved");
  VelTileStats stats;
  ASSERT_TRUE(WriteVelCollection(in.options, in.levels, dir, c_cbDefaultTileBudget, strError, &stats)) << strError;
  EXPECT_GE(stats.cHalvedAfterWrite, 1u);
  EXPECT_GE(stats.tiles.size(), 4u);
  std::unique_ptr<CMapParser> map(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
  ASSERT_TRUE(map && AsVidxParser(map.get()));
  MemberObjects got;
  DecodeMembers(AsVidxParser(map.get()), got);
  std::set<std::string> keys;
  for (const auto& member : got.members)
    for (const Decoded& d : member) keys.insert(Key(d.nKind, d.wType, d.strLabel));
  for (const VelObject& obj : in.levels.back().objects) {
    const std::string key = Key(obj.nKind, obj.wType, obj.strLabel);
    if (!obj.strLabel.empty()) {
      EXPECT_TRUE(keys.count(key)) << key;
    }
  }
}

// The border keys of each tile are the grid nodes of every way that lies
// in the tile and leaves its rectangle (worked out from the ways of the
// source, not from the tiles), each at its own node: so the tiles on both
// sides of an edge list the same keys where a road crosses it.
TEST(VelcTiles, EveryTileListsTheGraphNodesOfTheRoadsLeavingItAsBorderKeys) {
  Converted in;
  in.options.fKeepNodeKeys = true;
  Convert(in);
  ASSERT_EQ(in.options.nodeKeys.size(), size_t(in.options.dwNodeCount));
  const std::string dir = NewFolder("keys");
  VelTileStats stats;
  std::string strError;
  ASSERT_TRUE(WriteVelCollection(in.options, in.levels, dir, 4000, strError, &stats)) << strError;
  ASSERT_GE(stats.tiles.size(), 4u);

  // The source's roads as OSM node ids with their points (as velc reads
  // the coordinates: to 1e-7 degrees). Every grid node is a graph node (a
  // row piece and a column piece meet there); the diagonal's own nodes are not.
  auto at = [](double fDeg) { return DegreesToMap(double(std::llround(fDeg * 1e7)) / 1e7); };
  auto gridId = [](int r, int c) { return uint64_t(1 + r * c_cGrid + c); };
  auto gridPt = [&](int r, int c) { return MapPoint{at(c_fLon0 + c * c_fStep), at(c_fLat0 + r * c_fStep)}; };
  struct Way {
    std::vector<MapPoint> points;
    std::vector<uint64_t> graphIds;
  };
  std::vector<Way> ways;
  for (int dir2 = 0; dir2 < 2; ++dir2)
    for (int k = 0; k < c_cGrid; ++k)
      for (int s = 0; s + 1 < c_cGrid; s += 3) {
        Way w;
        for (int t = s; t <= std::min(s + 3, c_cGrid - 1); ++t) {
          w.points.push_back(dir2 == 0 ? gridPt(k, t) : gridPt(t, k));
          w.graphIds.push_back(dir2 == 0 ? gridId(k, t) : gridId(t, k));
        }
        ways.push_back(w);
      }
  Way diagonal;
  diagonal.points.push_back(gridPt(0, 0));
  for (int i = 1; i + 1 < c_cGrid; ++i)
    diagonal.points.push_back(MapPoint{at(c_fLon0 + (i + 0.5) * c_fStep), at(c_fLat0 + (i + 0.5) * c_fStep)});
  diagonal.points.push_back(gridPt(c_cGrid - 1, c_cGrid - 1));
  diagonal.graphIds = {gridId(0, 0), gridId(c_cGrid - 1, c_cGrid - 1)};
  ways.push_back(diagonal);

  std::map<uint64_t, std::set<uint32_t>> tilesOfKey;
  for (uint32_t iTile = 0; iTile < stats.tiles.size(); ++iTile) {
    const MapRect& rect = stats.tiles[iTile];
    std::set<uint64_t> expected;
    for (const Way& w : ways) {
      bool fIn = false, fOut = false;
      for (const MapPoint& p : w.points) (rect.Contains(p) ? fIn : fOut) = true;
      if (!fIn) fIn = rect.Intersects(BoundsOf(w.points));
      if (fIn && fOut) expected.insert(w.graphIds.begin(), w.graphIds.end());
    }
    std::ifstream file(dir + "/" + TileFileName(iTile), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty()) << TileFileName(iTile);
    std::unique_ptr<CVelParser> tile(OpenBytes(bytes, "keys-tile"));
    ASSERT_TRUE(tile);
    // Where each graph node of the tile lies.
    std::map<int32_t, MapPoint> nodeAt;
    for (const DecodedRoad& road : DecodeRoads(tile.get()))
      for (size_t k = 0; k < road.nodes.size(); ++k)
        if (road.nodes[k] >= 0) nodeAt[road.nodes[k]] = road.points[k];
    std::set<uint64_t> actual;
    uint64_t qwPrev = 0;
    for (uint32_t i = 0; i < tile->GetBorderKeyCount(); ++i) {
      const vel::VelBorderKey k = tile->GetBorderKey(i);
      EXPECT_GE(k.qwKey, qwPrev) << "sorted by key";
      qwPrev = k.qwKey;
      actual.insert(k.qwKey);
      tilesOfKey[k.qwKey].insert(iTile);
      ASSERT_TRUE(nodeAt.count(int32_t(k.nNode))) << "key " << k.qwKey << " names no node of the tile";
      const int r = int((k.qwKey - 1) / c_cGrid), c = int((k.qwKey - 1) % c_cGrid);
      // (within the finest level's unit; grid nodes lie far apart)
      EXPECT_NEAR(nodeAt[int32_t(k.nNode)].x, gridPt(r, c).x, 256) << "key " << k.qwKey;
      EXPECT_NEAR(nodeAt[int32_t(k.nNode)].y, gridPt(r, c).y, 256) << "key " << k.qwKey;
    }
    EXPECT_EQ(actual, expected) << "tile " << iTile;
  }
  // A key is where two tiles meet.
  for (const auto& kv : tilesOfKey) EXPECT_GE(kv.second.size(), 2u) << "key " << kv.first;

  // The single map of the whole grid leaves nothing: it has no keys.
  std::vector<uint8_t> single;
  ASSERT_TRUE(WriteVelMap(in.options, in.levels, single, strError)) << strError;
  std::unique_ptr<CVelParser> whole(OpenBytes(single, "keys-whole"));
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->GetBorderKeyCount(), 0u);
}

TEST(VelcTiles, ARouteWithinOneTileOrAcrossTilesThroughTheCollectionEqualsTheSingleMaps) {
  Converted in;
  in.options.fKeepNodeKeys = true;
  Convert(in);
  std::vector<uint8_t> single;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(in.options, in.levels, single, strError)) << strError;
  std::unique_ptr<CVelParser> whole(OpenBytes(single, "tiles-whole"));
  ASSERT_TRUE(whole);

  const std::string dir = NewFolder("route");
  VelTileStats stats;
  ASSERT_TRUE(WriteVelCollection(in.options, in.levels, dir, 4000, strError, &stats)) << strError;
  ASSERT_GE(stats.tiles.size(), 4u);
  std::unique_ptr<CMapParser> map(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
  CVidxParser* pIndex = AsVidxParser(map.get());
  ASSERT_TRUE(pIndex);

  // Two street corners well inside the first tile.
  const MapRect& r = stats.tiles[0];
  MapPoint a{0, 0}, b{0, 0};
  bool fFound = false;
  for (int i = 1; i < c_cGrid && !fFound; ++i)
    for (int j = 1; j < c_cGrid && !fFound; ++j) {
      a = GridPoint(i, j);
      b = GridPoint(i + 2, j + 2);
      const MapPoint beyond = GridPoint(i + 3, j + 3);
      fFound = r.Contains(GridPoint(i - 1, j - 1)) && r.Contains(beyond);
    }
  ASSERT_TRUE(fFound) << "no tile of three blocks";
  RouteOptions viaTiles, viaWhole;
  viaTiles.fTimeBased = viaWhole.fTimeBased = 0;
  ASSERT_TRUE(map->FindRoute(a, b, &viaTiles, nullptr));
  ASSERT_TRUE(whole->FindRoute(a, b, &viaWhole, nullptr));
  EXPECT_EQ(pIndex->GetRouteMember(), pIndex->FindMapAt(a));
  EXPECT_NEAR(RouteLength(viaTiles), RouteLength(viaWhole), 1.0);
  EXPECT_GT(RouteLength(viaTiles), 0.0);

  // Streets at opposite corners of the grid lie in no one tile: the route
  // crosses tiles at their border keys and is as long as on the single map,
  // with the same maneuvers (the turns onto and off the diagonal, which
  // crosses every tile, and none at a tile's edge).
  const MapPoint c = GridPoint(0, 0.5), d = GridPoint(c_cGrid - 1, c_cGrid - 1.5);
  bool fShared = false;
  for (uint32_t i = 0; i < pIndex->GetMapCount(); ++i)
    fShared |= pIndex->GetMember(i).rect.Contains(c) && pIndex->GetMember(i).rect.Contains(d);
  ASSERT_FALSE(fShared);
  for (int fTime = 0; fTime < 2; ++fTime) {
    RouteOptions across, acrossWhole;
    across.fTimeBased = acrossWhole.fTimeBased = fTime;
    ASSERT_TRUE(map->FindRoute(c, d, &across, nullptr)) << fTime;
    ASSERT_TRUE(whole->FindRoute(c, d, &acrossWhole, nullptr)) << fTime;
    EXPECT_GE(pIndex->GetRouteStats().cLegs, 2u);
    EXPECT_NEAR(PathLength(across), PathLength(acrossWhole), PathLength(acrossWhole) * 1e-3) << fTime;
    EXPECT_EQ(Maneuvers(across), Maneuvers(acrossWhole)) << fTime;
  }
}

#if defined(VELMO_VELC)
TEST(VelcTiles, TheCommandLineWritesAFolderAndExplainsAMapTooLargeForOneFile) {
  const std::string strVel = TempPath("toolarge.vel");
  std::remove(strVel.c_str());
  const std::string strFail = std::string(VELMO_VELC) + " '" + GridOsmPath() + "' -o '" + strVel +
                              "' --object-data-limit 3000 > '" + TempPath("fail.log") + "' 2>&1";
  EXPECT_NE(std::system(strFail.c_str()), 0);
  std::ifstream failLog(TempPath("fail.log"));
  std::string strFailLog((std::istreambuf_iterator<char>(failLog)), std::istreambuf_iterator<char>());
  EXPECT_NE(strFailLog.find("give a folder as the output (-o DIR/)"), std::string::npos) << strFailLog;
  struct stat stVel;
  EXPECT_NE(stat(strVel.c_str(), &stVel), 0);  // nothing half written

  const std::string dir = NewFolder("cli") + "/";
  const std::string strCmd = std::string(VELMO_VELC) + " '" + GridOsmPath() + "' -o '" + dir +
                             "' --tile-budget 4000 --stats > '" + TempPath("cli.log") + "' 2>&1";
  ASSERT_EQ(std::system(strCmd.c_str()), 0);
  struct stat st;
  EXPECT_EQ(stat((dir + "Index.vidx").c_str(), &st), 0);
  EXPECT_EQ(stat((dir + "tile000.vel").c_str(), &st), 0);
  EXPECT_EQ(stat((dir + "tile003.vel").c_str(), &st), 0);
  std::ifstream log(TempPath("cli.log"));
  std::string strLog((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(strLog.find("tiles: "), std::string::npos) << strLog;
  // The index the program wrote lists the tiles' cities too.
  std::unique_ptr<CMapParser> map(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
  ASSERT_TRUE(map && AsVidxParser(map.get()));
  EXPECT_GE(AsVidxParser(map.get())->GetMapCount(), 4u);
  EXPECT_TRUE(map->HasCitiesIndex());
  std::unique_ptr<CCitiesQuery> cities(map->CreateCitiesQuery());
  ASSERT_TRUE(cities);
  EXPECT_EQ(cities->GetCount(), 4u);
}

// --tile-size cuts even a small input into tiles of at most that many
// kilobytes of objects: the smaller the size, the more tiles; every tile's
// blocks start within it. Sizes out of range and a file as the output are
// refused before anything is read.
TEST(VelcTiles, TheTileSizeOptionCutsASmallInputIntoTilesOfAtMostThatSize) {
  auto run = [](const std::string& strArgs) {
    return std::system((std::string(VELMO_VELC) + " '" + GridOsmPath() + "' " + strArgs + " > '" +
                        TempPath("size.log") + "' 2>&1").c_str());
  };
  auto count = [](const std::string& dir) {
    std::unique_ptr<CMapParser> map(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
    return map && AsVidxParser(map.get()) ? AsVidxParser(map.get())->GetMapCount() : 0u;
  };
  const std::string dirSmall = NewFolder("size4") + "/", dirLarge = NewFolder("size16") + "/";
  ASSERT_EQ(run("-o '" + dirSmall + "' --tile-size 4"), 0);
  ASSERT_EQ(run("-o '" + dirLarge + "' --tile-size 16"), 0);
  const uint32_t cSmall = count(dirSmall), cLarge = count(dirLarge);
  EXPECT_GE(cLarge, 2u);
  EXPECT_GT(cSmall, cLarge);
  for (uint32_t i = 0; i < cSmall; ++i) {
    std::unique_ptr<CMapParser> tile(OpenMapFile(platform::Utf8ToU16(dirSmall + TileFileName(i)).c_str(), false, c_fOpenAll));
    ASSERT_TRUE(tile) << i;
    CVelParser* pVel = static_cast<CVelParser*>(tile.get());
    // Every block's object data lies within the size.
    for (uint32_t iLevel = 0; iLevel < pVel->GetLevelCount(); ++iLevel) {
      vel::VelLevel level;
      ASSERT_TRUE(pVel->GetLevel(iLevel, level));
      const uint8_t* pBlock = pVel->GetData() + level.dwFirstBlock;
      for (uint32_t b = 0; b < level.wBlocks; ++b) {
        VelBlockInfo info;
        ASSERT_TRUE(pVel->ReadBlock(pBlock, info));
        const uint64_t cbEnd = uint64_t(info.adwSectionOffset[2]) + info.adwSectionSize[2];
        EXPECT_LE(cbEnd, 4u * 1024) << "tile " << i << " level " << iLevel;
      }
    }
  }
  std::remove((TempPath("size.vel")).c_str());
  EXPECT_EQ(run("-o '" + TempPath("size.vel") + "' --tile-size 8"), 2 << 8);
  EXPECT_EQ(run("-o '" + dirSmall + "' --tile-size 0"), 2 << 8);
  EXPECT_EQ(run("-o '" + dirSmall + "' --tile-size 16385"), 2 << 8);
  EXPECT_EQ(run("-o '" + dirSmall + "' --tile-size 8k"), 2 << 8);
  struct stat st;
  EXPECT_NE(stat(TempPath("size.vel").c_str(), &st), 0);
}
#endif

#if defined(VELMO_VELC)
namespace {

std::string ReadAll(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The files of a collection folder by name, the index with its members'
// write times cleared (they are the only thing two runs may differ in).
std::map<std::string, std::string> CollectionFiles(const std::string& dir) {
  std::map<std::string, std::string> files;
  std::vector<std::u16string> names;
  platform::ListFolder(platform::Utf8ToU16(dir).c_str(), false, names);
  for (const std::u16string& name : names) {
    const std::string str = platform::U16ToUtf8(name);
    std::string bytes = ReadAll(dir + str);
    if (str == "Index.vidx" && bytes.size() >= 32) {
      const size_t cbRecord = uint8_t(bytes[7]);
      uint32_t dwCityPart = 0;
      std::memcpy(&dwCityPart, bytes.data() + 24, 4);
      const size_t cbEnd = (dwCityPart & 0xFFFFFF) ? (dwCityPart & 0xFFFFFF) : bytes.size();
      for (size_t off = 32; cbRecord >= 60 && off + cbRecord <= cbEnd; off += cbRecord)
        std::memset(&bytes[off + 56], 0, 4);
    }
    files[str] = std::move(bytes);
  }
  return files;
}

}  // namespace

// Where the objects and node locations are kept and how many threads write
// the tiles changes nothing in the folder: every object spilled to the
// temporary file (--memory 0), the heap's blocks of 4 KB and more in a file
// too, a dense or sparse node index in a file, their pages given back as
// they are written, one thread or two.
TEST(VelcTiles, SpillingTheIndexTypeAndTheThreadCountGiveTheSameBytes) {
  const std::string strLogFile = TempPath("runs.log");
  auto run = [&](const std::string& strName, const std::string& strOptions) {
    const std::string dir = NewFolder(strName) + "/";
    const std::string strCmd = std::string(VELMO_VELC) + " '" + GridOsmPath() + "' -o '" + dir +
                               "' --tile-budget 4000 --stats " + strOptions + " > '" + strLogFile + "' 2>&1";
    EXPECT_EQ(std::system(strCmd.c_str()), 0) << strCmd << "\n" << ReadAll(strLogFile);
    return std::make_pair(CollectionFiles(dir), ReadAll(strLogFile));
  };
  const auto base = run("same-base", "--jobs 1 --index flex_mem --heap-spill 0");
  ASSERT_GE(base.first.size(), 5u);  // four tiles or more and the index
  ASSERT_TRUE(base.first.count("Index.vidx"));
  EXPECT_NE(base.second.find("objects spilled to a temporary file: 0 bytes"), std::string::npos) << base.second;
  EXPECT_NE(base.second.find("large blocks in a temporary file: 0 bytes at most, 0 blocks"), std::string::npos)
      << base.second;
  // --resident-files 1: the resident pages of the mapped files (the node
  // locations' too) are given back every time the watch looks.
  const char* apszOptions[] = {
      "--jobs 1 --memory 0 --index sparse_file_array --resident-files 1 --temp '" VELMO_BINARY_DIR "'",
      "--jobs 2 --memory 0 --index dense_file_array --heap-spill 4096 --resident-files 1",
      "--jobs 2 --resident-files 1", "--jobs 3 --memory 1 --heap-spill 65536"};
  for (const char* pszOptions : apszOptions) {
    SCOPED_TRACE(pszOptions);
    const auto other = run("same-other", pszOptions);
    EXPECT_TRUE(other.first == base.first);
    if (std::string(pszOptions).find("--memory 0") != std::string::npos) {
      EXPECT_EQ(other.second.find("objects spilled to a temporary file: 0 bytes"), std::string::npos) << other.second;
    }
    if (std::string(pszOptions).find("--heap-spill") != std::string::npos) {
      EXPECT_EQ(other.second.find("large blocks in a temporary file: 0 bytes"), std::string::npos) << other.second;
    }
  }
  // Quiet when standard error is not a terminal; on one (a pseudo-terminal
  // from script(1)) the phases and the tiles written, unless --quiet.
  EXPECT_EQ(base.second.find("velc: reading"), std::string::npos) << base.second;
  if (std::system("command -v script > /dev/null") == 0) {
    const std::string strTty = std::string("script -qec \"") + VELMO_VELC + " '" + GridOsmPath() + "' -o '" +
                               NewFolder("tty") + "/' --tile-budget 4000 %s\" /dev/null > '" + strLogFile + "' 2>&1";
    char sz[1024];
    std::snprintf(sz, sizeof sz, strTty.c_str(), "");
    EXPECT_EQ(std::system(sz), 0);
    std::string strShown = ReadAll(strLogFile);
    EXPECT_NE(strShown.find("velc: reading"), std::string::npos) << strShown;
    EXPECT_NE(strShown.find("velc: writing tiles: "), std::string::npos) << strShown;
    std::snprintf(sz, sizeof sz, strTty.c_str(), "--quiet");
    EXPECT_EQ(std::system(sz), 0);
    strShown = ReadAll(strLogFile);
    EXPECT_EQ(strShown.find("velc: "), std::string::npos) << strShown;
  }
  // A wrong index name is told with the ones there are.
  const std::string strBad = std::string(VELMO_VELC) + " '" + GridOsmPath() + "' -o '" + NewFolder("bad-index") +
                             "/' --index no_such_index > '" + strLogFile + "' 2>&1";
  EXPECT_NE(std::system(strBad.c_str()), 0);
  EXPECT_NE(ReadAll(strLogFile).find("sparse_file_array"), std::string::npos) << ReadAll(strLogFile);
}
#endif

#if defined(VELMO_VELC)
// velc killed at any moment while it replaces a collection leaves the
// folder as the old collection or the new one, never a mix: the new tiles
// and index are made beside it and swapped in at once.
// The first tile of a collection takes what no other does, so which
// rectangle makes it must not depend on the threads: random plans where
// rectangles give no tile (some give one only as the first) come out as a
// walk in order, with one thread, two and four.
TEST(VelcTiles, TheRectangleThatMakesTheFirstTileIsTheOneAWalkInOrderFinds) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    const size_t cPlan = 1 + rng() % 9;
    // 0: gives no tile; 1: gives one only as the first; 2: gives one.
    std::vector<int> kind(cPlan);
    for (int& k : kind) k = int(rng() % 3);
    if (round % 2) std::fill(kind.begin(), kind.begin() + long(rng() % cPlan), 0);  // leading empty ones
    std::vector<int> expected(cPlan, 0);  // 1: a tile made as the first, 2: a tile, 0: none
    bool fFirst = true;
    for (size_t i = 0; i < cPlan; ++i) {
      const bool fGives = kind[i] == 2 || (kind[i] == 1 && fFirst);
      expected[i] = !fGives ? 0 : fFirst ? 1 : 2;
      if (fGives) fFirst = false;
    }
    for (unsigned cJobs : {1u, 2u, 4u}) {
      std::vector<int> got(cPlan, 0);
      std::vector<int> made(cPlan, 0);
      std::mutex mutex;
      auto make = [&](size_t i, bool& f) {
        std::lock_guard<std::mutex> lock(mutex);
        ++made[i];
        EXPECT_EQ(got[i], 0) << "rectangle " << i << " made over what it gave";
        const bool fGives = kind[i] == 2 || (kind[i] == 1 && f);
        if (fGives) {
          got[i] = f ? 1 : 2;
          f = false;
        }
        return true;
      };
      auto discard = [&](size_t i) {
        std::lock_guard<std::mutex> lock(mutex);
        got[i] = 0;
      };
      ASSERT_TRUE(MakeInPlanOrder(cPlan, cJobs, make, discard));
      EXPECT_EQ(got, expected) << "round " << round << ", " << cJobs << " threads";
      for (size_t i = 0; i < cPlan; ++i) EXPECT_LE(made[i], 2) << "round " << round;
    }
  }
  // A failing rectangle stops the walk with false.
  std::atomic<int> cMade{0};
  EXPECT_FALSE(MakeInPlanOrder(
      50, 2, [&](size_t i, bool&) { return ++cMade, i != 3; }, [](size_t) {}));
  EXPECT_LT(cMade.load(), 50);
}

TEST(VelcTiles, AFolderReplacedByARunKilledAtAnyMomentIsTheOldOrTheNewCollection) {
  const std::string dir = NewFolder("swap");
  const std::string strLog = TempPath("swap.log");
  auto compile = [&](const std::string& strOut, const std::string& strBudget) {
    const std::string strCmd = std::string(VELMO_VELC) + " '" + GridOsmPath() + "' -o '" + strOut +
                               "/' --tile-budget " + strBudget + " > '" + strLog + "' 2>&1";
    return std::system(strCmd.c_str());
  };
  // The old collection: one tile; the new one: many.
  const std::string strOldRef = NewFolder("swap-old"), strNewRef = NewFolder("swap-new");
  ASSERT_EQ(compile(strOldRef, "100000000"), 0) << ReadAll(strLog);
  ASSERT_EQ(compile(strNewRef, "3000"), 0) << ReadAll(strLog);
  const auto oldFiles = CollectionFiles(strOldRef + "/"), newFiles = CollectionFiles(strNewRef + "/");
  ASSERT_EQ(oldFiles.size(), 2u);
  ASSERT_GE(newFiles.size(), 5u);
  // How long a run takes, so the kills fall all over it.
  std::system(("cp -a '" + strOldRef + "' '" + dir + "'").c_str());
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(compile(dir, "3000"), 0);
  const long nRunUs = long(std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count());
  ASSERT_TRUE(CollectionFiles(dir + "/") == newFiles);

  std::srand(20261209);
  int cOld = 0, cNew = 0;
  for (int k = 0; k < 16; ++k) {
    SCOPED_TRACE(k);
    std::system(("rm -rf '" + dir + "' && cp -a '" + strOldRef + "' '" + dir + "'").c_str());
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const int fd = ::open("/dev/null", O_WRONLY);
      ::dup2(fd, 1), ::dup2(fd, 2);
      const std::string strOut = dir + "/";
      ::execl(VELMO_VELC, VELMO_VELC, GridOsmPath().c_str(), "-o", strOut.c_str(), "--tile-budget", "3000",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Spread over the run, a little jittered; the last run is let finish, as
    // a loaded machine may stretch a run past every kill.
    if (k < 15) {
      ::usleep(useconds_t(nRunUs * 11 / 10 * k / 14 + std::rand() % (nRunUs / 20 + 1)));
      ::kill(pid, SIGKILL);
    }
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    const auto files = CollectionFiles(dir + "/");
    const bool fOld = files == oldFiles, fNew = files == newFiles;
    EXPECT_TRUE(fOld || fNew) << files.size() << " files";
    cOld += fOld, cNew += fNew;
    // The folder opens as a map whose members are those indexed.
    std::unique_ptr<CMapParser> map(OpenUserMap(platform::Utf8ToU16(dir + "/").c_str(), true));
    ASSERT_TRUE(map && AsVidxParser(map.get()));
    CVidxParser* pIndex = AsVidxParser(map.get());
    EXPECT_EQ(pIndex->GetMapCount(), uint32_t(files.size() - 1));
    for (uint32_t i = 0; i < pIndex->GetMapCount(); ++i) EXPECT_FALSE(pIndex->IsMemberReplaced(i)) << i;
  }
  std::printf("killed runs: %d left the old collection, %d the new one\n", cOld, cNew);
  EXPECT_GT(cOld, 0);
  EXPECT_GT(cNew, 0);
  // The next run clears what the killed ones left beside the folder.
  ASSERT_EQ(compile(dir, "3000"), 0);
  int cLeft = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(dir).parent_path()))
    cLeft += e.path().filename().string().rfind("velctiles-swap.velc-", 0) == 0;
  EXPECT_EQ(cLeft, 0);
}

// The folder is replaced as a whole, but what else the user keeps in it
// stays: other files and links are in the new folder; a folder inside it,
// which a swap would lose, stops velc before anything changes.
TEST(VelcTiles, AReplacedFolderKeepsItsOtherFilesAndRefusesToLoseFolders) {
  const std::string dir = NewFolder("keep");
  const std::string strLog = TempPath("keep.log");
  const std::string strCmd = std::string(VELMO_VELC) + " '" + GridOsmPath() + "' -o '" + dir +
                             "/' --tile-budget 3000 > '" + strLog + "' 2>&1";
  ASSERT_EQ(std::system(strCmd.c_str()), 0) << ReadAll(strLog);
  std::ofstream(dir + "/notes.txt") << "my notes";
  ASSERT_EQ(::symlink("notes.txt", (dir + "/link.txt").c_str()), 0);
  ASSERT_EQ(std::system(strCmd.c_str()), 0) << ReadAll(strLog);
  EXPECT_EQ(ReadAll(dir + "/notes.txt"), "my notes");
  EXPECT_EQ(ReadAll(dir + "/link.txt"), "my notes");
  struct stat st;
  ASSERT_EQ(::lstat((dir + "/link.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  ASSERT_EQ(::mkdir((dir + "/photos").c_str(), 0755), 0);
  std::ofstream(dir + "/photos/a.jpg") << "jpeg";
  const auto before = CollectionFiles(dir + "/");
  EXPECT_NE(std::system(strCmd.c_str()), 0);
  EXPECT_NE(ReadAll(strLog).find("holds the folder photos"), std::string::npos) << ReadAll(strLog);
  EXPECT_EQ(ReadAll(dir + "/photos/a.jpg"), "jpeg");
  EXPECT_TRUE(CollectionFiles(dir + "/") == before);
}

// A disk that fills up (here: a file size limit) stops velc with the
// reason, and the folder it was replacing stays as it was, with nothing
// half written in it or beside it.
TEST(VelcTiles, AFullDiskLeavesTheOldCollectionAndNoHalfWrittenTile) {
  const std::string dir = NewFolder("full");
  const std::string strLog = TempPath("full.log");
  std::string strCmd = std::string(VELMO_VELC) + " '" + GridOsmPath() + "' -o '" + dir + "/' > '" + strLog + "' 2>&1";
  ASSERT_EQ(std::system(strCmd.c_str()), 0) << ReadAll(strLog);
  const auto before = CollectionFiles(dir + "/");
  // Every file velc writes may grow to 8 KB only (the tiles are larger).
  strCmd = "trap '' XFSZ; ulimit -f 16; " + std::string(VELMO_VELC) + " '" + GridOsmPath() + "' -o '" + dir +
           "/' --tile-budget 3000 --memory 0 > '" + strLog + "' 2>&1";
  const int rc = std::system(("sh -c \"" + strCmd + "\"").c_str());
  EXPECT_NE(rc, 0);
  const std::string strMessage = ReadAll(strLog);
  EXPECT_NE(strMessage.find("velc: cannot"), std::string::npos) << strMessage;
  EXPECT_NE(strMessage.find("File too large"), std::string::npos) << strMessage;
  EXPECT_TRUE(CollectionFiles(dir + "/") == before);
  int cLeft = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(dir).parent_path()))
    cLeft += e.path().filename().string().rfind("velctiles-full.velc-", 0) == 0;
  EXPECT_EQ(cLeft, 0);
}
#endif

// The compact store gives back the objects it was given, in the order with
// the objects moved to the front first, however their points fall into
// chunks (an object larger than a chunk gets one of its own).
void CheckStoreGivesBackEveryField(CStoreMemory* pMemory) {
  CObjectStore store({16, 24}, pMemory);
  std::vector<VelObject> given;
  for (int i = 0; i < 70000; ++i) {  // more than one slab of records
    VelObject o;
    o.nKind = i % 3 == 0 ? rkPoint : i % 3 == 1 ? rkPolyline : rkPolygon;
    o.wType = uint16_t(i % 500);
    const int cPoints = i == 5 ? (1 << 20) + 7 : o.nKind == rkPoint ? 1 : 2 + i % 5;
    for (int k = 0; k < cPoints; ++k) o.points.push_back(MapPoint{i * 10 + k, -i - k});
    o.strLabel = i % 4 ? u"Улица " + platform::Utf8ToU16(std::to_string(i % 97)) : u"";
    o.fDirection = i % 7 == 0;
    if (o.nKind == rkPolyline && i % 2) {
      o.fHasNodes = true;
      o.fHasAttributes = i % 5 == 0;
      o.wRoadAttributes = uint16_t(i);
      for (int k = 0; k < cPoints; ++k) o.nodeIndex.push_back(k % 2 ? -1 : i + k);
    }
    given.push_back(o);
    ASSERT_EQ(store.Add(1, o), size_t(i));
  }
  const size_t cSea = 3;
  store.MoveToFront(1, given.size() - cSea);
  // Addresses set through the new order.
  const uint32_t adw[4] = {3, 1, 2, 9};
  store.SetAddress(1, 0, adw);  // the first of the moved objects
  store.SetIndexCity(1, 10, 4);
  EXPECT_TRUE(store.HasAddress(1, 0));
  EXPECT_FALSE(store.HasAddress(1, 10));
  EXPECT_EQ(store.Count(1), given.size());
  EXPECT_EQ(store.Count(0), 0u);

  std::vector<VelLevelInput> levels;
  store.TakeAll(levels);
  ASSERT_EQ(levels.size(), 2u);
  EXPECT_EQ(levels[0].wLevelCode, 16);
  EXPECT_EQ(levels[1].wLevelCode, 24);
  const std::vector<VelObject>& got = levels[1].objects;
  ASSERT_EQ(got.size(), given.size());
  for (size_t j = 0; j < got.size(); ++j) {
    const size_t i = j < cSea ? given.size() - cSea + j : j - cSea;
    const VelObject& a = given[i];
    const VelObject& b = got[j];
    ASSERT_EQ(a.nKind, b.nKind) << j;
    ASSERT_EQ(a.wType, b.wType) << j;
    ASSERT_EQ(a.points.size(), b.points.size()) << j;
    for (size_t k = 0; k < a.points.size(); ++k)
      ASSERT_TRUE(a.points[k].x == b.points[k].x && a.points[k].y == b.points[k].y) << j << " " << k;
    ASSERT_EQ(a.strLabel, b.strLabel) << j;
    ASSERT_EQ(a.fDirection, b.fDirection) << j;
    ASSERT_EQ(a.fHasNodes, b.fHasNodes) << j;
    ASSERT_EQ(a.fHasAttributes, b.fHasAttributes) << j;
    ASSERT_EQ(a.wRoadAttributes, b.wRoadAttributes) << j;
    ASSERT_TRUE(a.nodeIndex == b.nodeIndex) << j;
    ASSERT_EQ(b.fHasAddress, j == 0) << j;
    ASSERT_EQ(b.adwAddress[3], j == 0 ? 9u : 0u) << j;
    ASSERT_EQ(b.nIndexCity, j == 10 ? 4u : 0u) << j;
  }
  EXPECT_EQ(store.Count(1), 0u);
}

TEST(VelcObjectStore, GivesBackEveryFieldInTheOrderWithTheFrontMoved) { CheckStoreGivesBackEveryField(nullptr); }

// The same with every block spilled to the temporary file, and with the
// heap giving out after a few blocks: nothing changes but where it is.
TEST(VelcObjectStore, GivesBackTheSameWhenSpilledToATemporaryFile) {
  for (uint64_t cbBudget : {uint64_t(0), uint64_t(6) << 20}) {
    SCOPED_TRACE(cbBudget);
    CStoreMemory memory(cbBudget, VELMO_BINARY_DIR);
    CheckStoreGivesBackEveryField(&memory);
    EXPECT_GT(memory.SpilledBytes(), 0u);
    EXPECT_FALSE(memory.Failed()) << memory.Error();
    EXPECT_EQ(memory.HeapBytes(), 0u);  // all given back
  }
}

// A temporary file that cannot be made stops the store with the message.
TEST(VelcObjectStore, AStoreThatCannotSpillStopsWithTheReason) {
  CStoreMemory memory(0, std::string(VELMO_BINARY_DIR) + "/no-such-folder-for-spills");
  CObjectStore store({24}, &memory);
  VelObject o;
  o.nKind = rkPoint;
  o.points.push_back(MapPoint{1, 2});
  bool fThrown = false;
  try {
    store.Add(0, o);
  } catch (const std::runtime_error& e) {
    fThrown = true;
    EXPECT_NE(std::string(e.what()).find("no-such-folder-for-spills"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(fThrown);
}
