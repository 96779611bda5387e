// The map compiler end to end: small OSM files made here, the demo region,
// and the real extracts of the shared data compared with libosmium's own
// reading of the same files.
#include <gtest/gtest.h>

#include <dirent.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <osmium/area/assembler.hpp>
#include <osmium/area/multipolygon_manager.hpp>
#include <osmium/handler.hpp>
#include <osmium/handler/node_locations_for_ways.hpp>
#include <osmium/index/map/flex_mem.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/relations/relations_manager.hpp>
#include <osmium/visitor.hpp>

#include "tests/map/VelTestUtil.h"
#include "tools/velc/OsmConvert.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

std::string TempFile(const std::string& strName) { return std::string(VELMO_BINARY_DIR) + "/velctest-" + strName; }

std::string WriteText(const std::string& strName, const std::string& strText) {
  std::string strPath = TempFile(strName);
  std::ofstream(strPath, std::ios::binary) << strText;
  return strPath;
}

std::vector<uint8_t> ReadBytes(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const char c_szSmallOsm[] = R"(<?xml version='1.0' encoding='UTF-8'?>
<osm version="0.6" generator="test">
  <node id="1" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0000000" lon="37.0000000"/>
  <node id="2" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0000000" lon="37.0100000"/>
  <node id="3" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0100000" lon="37.0100000"/>
  <node id="4" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0100000" lon="37.0000000"/>
  <node id="5" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0050000" lon="37.0050000">
    <tag k="amenity" v="cafe"/><tag k="name" v="Кофейня &quot;Уют&quot;"/>
  </node>
  <node id="6" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0200000" lon="37.0200000"/>
  <node id="7" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0300000" lon="37.0400000"/>
  <node id="8" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0060000" lon="37.0060000">
    <tag k="place" v="city"/><tag k="name" v="Берёзовка"/>
  </node>
  <node id="9" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0020000" lon="37.0020000"/>
  <node id="10" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0020000" lon="37.0030000"/>
  <node id="11" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0030000" lon="37.0030000"/>
  <node id="12" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0030000" lon="37.0020000"/>
  <node id="13" version="1" timestamp="2025-06-07T08:00:00Z" lat="55.0040000" lon="37.0080000">
    <tag k="shop" v="bakery"/>
  </node>
  <way id="1" version="1" timestamp="2025-06-07T08:00:00Z">
    <nd ref="1"/><nd ref="2"/><nd ref="3"/>
    <tag k="highway" v="residential"/><tag k="name" v="улица Ленина"/><tag k="oneway" v="yes"/>
  </way>
  <way id="2" version="1" timestamp="2025-06-07T08:00:00Z">
    <nd ref="3"/><nd ref="4"/>
    <tag k="highway" v="residential"/><tag k="name" v="улица Ленина"/><tag k="oneway" v="-1"/>
  </way>
  <way id="3" version="1" timestamp="2025-06-07T08:00:00Z">
    <nd ref="6"/><nd ref="7"/>
    <tag k="highway" v="motorway"/><tag k="ref" v="М-1"/>
  </way>
  <way id="4" version="1" timestamp="2025-06-07T08:00:00Z">
    <nd ref="9"/><nd ref="10"/><nd ref="11"/><nd ref="12"/><nd ref="9"/>
    <tag k="building" v="yes"/>
  </way>
  <way id="5" version="1" timestamp="2025-06-07T08:00:00Z">
    <nd ref="1"/><nd ref="2"/><nd ref="3"/><nd ref="4"/><nd ref="1"/>
    <tag k="highway" v="tertiary"/><tag k="junction" v="roundabout"/>
  </way>
  <way id="6" version="1" timestamp="2025-06-07T08:00:00Z">
    <nd ref="1"/><nd ref="99"/>
    <tag k="highway" v="service"/>
  </way>
</osm>
)";

bool Compile(const std::string& strIn, const std::string& strOut, VelWriterOptions opt, std::string& strError,
             OsmConvertStats* pStats = nullptr) {
  return CompileOsmToVel(strIn, strOut, "", opt, strError, pStats);
}

std::unique_ptr<CVelParser> OpenPath(const std::string& strPath) {
  std::u16string s = platform::Utf8ToU16(strPath);
  return std::unique_ptr<CVelParser>(static_cast<CVelParser*>(OpenMapFile(s.c_str(), false, c_fOpenAll)));
}

TEST(Velc, SmallOsmFileBecomesTheExpectedObjects) {
  std::string strIn = WriteText("small.osm", c_szSmallOsm);
  std::string strOut = TempFile("small.vel");
  std::string strError;
  OsmConvertStats stats;
  ASSERT_TRUE(Compile(strIn, strOut, VelWriterOptions(), strError, &stats)) << strError;
  auto p = OpenPath(strOut);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->GetLevelCount(), 5u);
  uint16_t y;
  uint8_t m, d;
  char16_t szName[33], szNotice[65];
  p->GetDescription(&y, &m, &d, szName, 33, szNotice, 65);
  EXPECT_EQ(std::u16string(szName), u"velctest-small");
  EXPECT_EQ(std::u16string(szNotice), u"© OpenStreetMap contributors|ODbL 1.0");
  EXPECT_EQ(y, 2025);
  EXPECT_EQ(m, 6);
  EXPECT_EQ(d, 7);
  auto all = DecodeAll(p.get());
  std::vector<Decoded> fine;
  for (auto& o : all)
    if (o.nLevel == 4) fine.push_back(o);
  auto find = [&](int nKind, uint16_t wType) -> std::vector<Decoded> {
    std::vector<Decoded> r;
    for (auto& o : fine)
      if (o.nKind == nKind && o.wType == wType) r.push_back(o);
    return r;
  };
  auto cafe = find(rkPoint, 0x2A0E);
  ASSERT_EQ(cafe.size(), 1u);
  EXPECT_EQ(cafe[0].strLabel, u"Кофейня \"Уют\"");
  EXPECT_NEAR(MapToDegrees(cafe[0].points[0].x), 37.005, 3e-5);
  EXPECT_NEAR(MapToDegrees(cafe[0].points[0].y), 55.005, 3e-5);
  EXPECT_EQ(find(rkPoint, 0x2E02).size(), 1u);  // unnamed bakery
  auto streets = find(rkPolyline, 0x06);
  ASSERT_EQ(streets.size(), 2u);
  for (auto& s : streets) {
    EXPECT_EQ(s.strLabel, u"улица Ленина");
    EXPECT_TRUE(s.fDirection);
  }
  // oneway=-1 is stored reversed: from node 4 to node 3.
  for (auto& s : streets)
    if (s.points.size() == 2) {
      EXPECT_NEAR(MapToDegrees(s.points[0].x), 37.0, 3e-5);
      EXPECT_NEAR(MapToDegrees(s.points[1].x), 37.01, 3e-5);
    }
  auto ring = find(rkPolyline, 0x0C);
  ASSERT_EQ(ring.size(), 1u);
  EXPECT_TRUE(ring[0].fDirection);
  EXPECT_EQ(ring[0].points.size(), 5u);
  EXPECT_TRUE(find(rkPolygon, 0x13).size() == 1u);  // the building, and the roundabout is no area
  EXPECT_EQ(find(rkPolygon, 0x13)[0].points.size(), 4u);
  EXPECT_EQ(find(rkPolyline, 0x07).size(), 1u);  // a way with a missing node keeps what is there
  ASSERT_EQ(find(rkPolyline, 0x01).size(), 1u);
  EXPECT_EQ(find(rkPolyline, 0x01)[0].strLabel, u"М-1");  // no name: the road's number
  // The motorway is on every level, the streets on the two finest.
  std::set<uint32_t> motorwayLevels, streetLevels;
  for (auto& o : all) {
    if (o.nKind == rkPolyline && o.wType == 0x01) motorwayLevels.insert(o.nLevel);
    if (o.nKind == rkPolyline && o.wType == 0x06) streetLevels.insert(o.nLevel);
  }
  EXPECT_EQ(motorwayLevels.size(), 5u);
  EXPECT_EQ(streetLevels, (std::set<uint32_t>{3, 4}));
}

#ifdef VELMO_CLI
std::string RunCapture(const std::string& strCmd, int* pnExit) {
  std::string strOut;
  FILE* f = popen(strCmd.c_str(), "r");
  if (!f) return strOut;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) strOut.append(buf, n);
  int rc = pclose(f);
  *pnExit = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return strOut;
}

TEST(VelmoCli, InfoAndDumpOfACompiledMap) {
  std::string strIn = WriteText("cli.osm", c_szSmallOsm);
  std::string strMap = TempFile("cli.vel");
  std::string strError;
  ASSERT_TRUE(Compile(strIn, strMap, VelWriterOptions(), strError)) << strError;
  int nExit = -1;
  std::string strInfo = RunCapture(std::string(VELMO_CLI) + " info " + strMap, &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_NE(strInfo.find("extended header"), std::string::npos);
  EXPECT_NE(strInfo.find("levels: 5"), std::string::npos);
  EXPECT_NE(strInfo.find("© OpenStreetMap contributors"), std::string::npos);
  std::string strDump = RunCapture(std::string(VELMO_CLI) + " dump " + strMap, &nExit);
  EXPECT_EQ(nExit, 0);
  auto p = OpenPath(strMap);
  ASSERT_TRUE(p);
  auto all = DecodeAll(p.get());
  std::vector<std::string> lines;
  std::istringstream in(strDump);
  for (std::string s; std::getline(in, s);) lines.push_back(s);
  ASSERT_EQ(lines.size(), all.size());
  for (size_t i = 0; i < all.size(); ++i) {
    const Decoded& d = all[i];
    char sz[64];
    std::snprintf(sz, sizeof sz, "L%u %s 0x%04x ", d.nLevel,
                  d.nKind == rkPoint ? "point" : d.nKind == rkPolyline ? "line" : "area", d.wType);
    EXPECT_EQ(lines[i].rfind(sz, 0), 0u) << lines[i];
    std::snprintf(sz, sizeof sz, " %.7f,%.7f", MapToDegrees(d.points.back().x), MapToDegrees(d.points.back().y));
    EXPECT_EQ(lines[i].substr(lines[i].size() - std::strlen(sz)), sz);
  }
  EXPECT_NE(strDump.find("L4 point 0x2a0e \"Кофейня \\\"Уют\\\"\" 0 37.00"), std::string::npos) << strDump;
  EXPECT_NE(strDump.find("L4 line 0x0006 \"улица Ленина\" 1 "), std::string::npos);
  // A damaged file is refused with a message and a failure code.
  std::string strBad = WriteText("cli-bad.vel", "GVEL not really a map");
  RunCapture(std::string(VELMO_CLI) + " dump " + strBad + " 2>/dev/null", &nExit);
  EXPECT_NE(nExit, 0);
}
#endif

// A node on the antimeridian: the east bound stays +180° (2^30 map units)
// instead of wrapping to -180°, so the bounds still span the map.
TEST(Velc, EastBoundOfPlus180KeepsItsSign) {
  auto osm = [](const char* pszLon1, const char* pszLon2) {
    return std::string("<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" generator=\"test\">\n") +
           "  <node id=\"1\" version=\"1\" lat=\"-16.5\" lon=\"" + pszLon1 +
           "\"><tag k=\"amenity\" v=\"cafe\"/></node>\n"
           "  <node id=\"2\" version=\"1\" lat=\"-16.4\" lon=\"" + pszLon2 +
           "\"><tag k=\"amenity\" v=\"cafe\"/></node>\n</osm>\n";
  };
  struct Case {
    const char* pszLon1;
    const char* pszLon2;
    double dWest, dEast;
  };
  for (const Case& c : {Case{"179.9", "180.0", 179.9, 180.0}, Case{"-180.0", "180.0", -180.0, 180.0},
                        Case{"-180.0", "-179.9", -180.0, -179.9}})
    for (bool fExtended : {true, false}) {
      std::string strIn = WriteText("antimeridian.osm", osm(c.pszLon1, c.pszLon2));
      std::string strOut = TempFile("antimeridian.vel");
      VelWriterOptions opt;
      opt.fExtended = fExtended;
      std::string strError;
      ASSERT_TRUE(Compile(strIn, strOut, opt, strError)) << strError;
      auto p = OpenPath(strOut);
      ASSERT_TRUE(p);
      MapRect r = p->GetRect();
      std::string strWhat = std::string(c.pszLon1) + ".." + c.pszLon2 + (fExtended ? "" : " legacy");
      EXPECT_EQ(r.left, DegreesToMap(c.dWest)) << strWhat;
      EXPECT_EQ(r.right, DegreesToMap(c.dEast)) << strWhat;
      EXPECT_LT(r.left, r.right) << strWhat;
      EXPECT_EQ(r.top, DegreesToMap(-16.5)) << strWhat;
      EXPECT_EQ(r.bottom, DegreesToMap(-16.4)) << strWhat;
      // The cafés come back at the bounds (to the level's resolution of 128
      // units), the eastern one at +180° too.
      std::vector<Decoded> objects = DecodeAll(p.get());
      ASSERT_FALSE(objects.empty()) << strWhat;
      int64_t xMin = INT64_MAX, xMax = INT64_MIN;
      for (const Decoded& d : objects)
        for (const MapPoint& pt : d.points) xMin = std::min<int64_t>(xMin, pt.x), xMax = std::max<int64_t>(xMax, pt.x);
      EXPECT_LE(std::abs(xMin - r.left), 64) << strWhat;
      EXPECT_LE(std::abs(xMax - r.right), 64) << strWhat;
    }
}

TEST(Velc, LegacyLayoutSameObjectsAndDeterministic) {
  std::string strIn = WriteText("small2.osm", c_szSmallOsm);
  std::string strError;
  VelWriterOptions legacy;
  legacy.fExtended = false;
  ASSERT_TRUE(Compile(strIn, TempFile("a.vel"), VelWriterOptions(), strError));
  ASSERT_TRUE(Compile(strIn, TempFile("b.vel"), VelWriterOptions(), strError));
  ASSERT_TRUE(Compile(strIn, TempFile("c.vel"), legacy, strError));
  EXPECT_EQ(ReadBytes(TempFile("a.vel")), ReadBytes(TempFile("b.vel")));
  auto pa = OpenPath(TempFile("a.vel"));
  auto pc = OpenPath(TempFile("c.vel"));
  ASSERT_TRUE(pa && pc);
  EXPECT_TRUE(pa->IsExtended());
  EXPECT_FALSE(pc->IsExtended());
  auto a = DecodeAll(pa.get()), c = DecodeAll(pc.get());
  ASSERT_EQ(a.size(), c.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].wType, c[i].wType);
    EXPECT_EQ(a[i].strLabel, c[i].strLabel);
    EXPECT_EQ(a[i].points.size(), c[i].points.size());
  }
}

TEST(Velc, UnreadableInputGivesAClearErrorAndNoFile) {
  std::string strError;
  std::string strOut = TempFile("never.vel");
  std::remove(strOut.c_str());
  EXPECT_FALSE(Compile(TempFile("missing.osm"), strOut, VelWriterOptions(), strError));
  EXPECT_NE(strError.find("missing.osm"), std::string::npos);
  for (const char* pszText : {"", "garbage, not OSM at all", "<osm version=\"0.6\"><node id=\"1\" lat=", "\x1f\x8b\x08 bad gzip"}) {
    std::string strIn = WriteText("bad.osm", pszText);
    strError.clear();
    EXPECT_FALSE(Compile(strIn, strOut, VelWriterOptions(), strError) && !std::string(pszText).empty()) << pszText;
  }
  std::string strPbf = WriteText("bad.osm.pbf", "not a pbf file at all............");
  strError.clear();
  EXPECT_FALSE(Compile(strPbf, strOut, VelWriterOptions(), strError));
  EXPECT_FALSE(strError.empty());
}

TEST(Velc, TypeMappingTableParsesAndRejectsBadLines) {
  CTypeMapping mapping;
  std::string strError;
  ASSERT_TRUE(mapping.Load(DefaultTypeMappingPath(), strError)) << strError;
  EXPECT_GT(mapping.GetRules().size(), 150u);
  EXPECT_FALSE(mapping.Parse("point 0x2A00 4\n", strError));
  EXPECT_NE(strError.find("line 1"), std::string::npos);
  EXPECT_FALSE(mapping.Parse("# ok\nshape 0x01 0 a=b\n", strError));
  EXPECT_NE(strError.find("line 2"), std::string::npos);
  EXPECT_FALSE(mapping.Parse("line 0x10000 0 a=b\n", strError));
  EXPECT_FALSE(mapping.Parse("line 0x01 0 =b\n", strError));
  ASSERT_TRUE(mapping.Parse("line 0x0C 4 junction=roundabout\nline 0x06 4 highway=residential|service !access=no\n",
                            strError));
  std::map<std::string, std::string> tags{{"highway", "service"}};
  auto lookup = [](const void* p, const char* k) -> const char* {
    auto& m = *static_cast<const std::map<std::string, std::string>*>(p);
    auto it = m.find(k);
    return it == m.end() ? nullptr : it->second.c_str();
  };
  ASSERT_TRUE(mapping.Match(rkPolyline, &tags, lookup));
  EXPECT_EQ(mapping.Match(rkPolyline, &tags, lookup)->wType, 0x06);
  tags["access"] = "no";
  EXPECT_EQ(mapping.Match(rkPolyline, &tags, lookup), nullptr);
  tags["junction"] = "roundabout";
  EXPECT_EQ(mapping.Match(rkPolyline, &tags, lookup)->wType, 0x0C);
  EXPECT_EQ(mapping.Match(rkPoint, &tags, lookup), nullptr);
}

TEST(Demogen, RegionIsDeterministicAndCompilesWithEveryCategory) {
  std::string strA = TempFile("demo-a.osm"), strB = TempFile("demo-b.osm");
  ASSERT_EQ(std::system((std::string(VELMO_DEMOGEN) + " --size 2 -o " + strA + " > /dev/null").c_str()), 0);
  ASSERT_EQ(std::system((std::string(VELMO_DEMOGEN) + " --size 2 -o " + strB + " > /dev/null").c_str()), 0);
  EXPECT_EQ(ReadBytes(strA), ReadBytes(strB));
  std::string strOut = TempFile("demo.vel");
  ASSERT_EQ(std::system((std::string(VELMO_VELC) + " " + strA + " -o " + strOut).c_str()), 0);
  auto p = OpenPath(strOut);
  ASSERT_TRUE(p);
  bool fComplete = false;
  auto all = DecodeAll(p.get(), &fComplete);
  EXPECT_TRUE(fComplete);
  std::set<uint16_t> pointTypes, lineTypes, areaTypes;
  std::set<std::u16string> labels;
  int cOneway = 0;
  for (auto& o : all) {
    if (o.nLevel != 4) continue;
    (o.nKind == rkPoint ? pointTypes : o.nKind == rkPolyline ? lineTypes : areaTypes).insert(o.wType);
    labels.insert(o.strLabel);
    cOneway += o.fDirection;
  }
  // Every category group of the find dialogs has points.
  for (uint16_t wHigh : {0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0xF0, 0xF1, 0xF2, 0xF5}) {
    bool fAny = false;
    for (uint16_t t : pointTypes) fAny |= (t >> 8) == wHigh;
    EXPECT_TRUE(fAny) << std::hex << wHigh;
  }
  for (uint16_t t : {0x01, 0x03, 0x04, 0x05, 0x06, 0x09, 0x0A, 0x0C, 0x14, 0x1F}) EXPECT_TRUE(lineTypes.count(t)) << t;
  for (uint16_t t : {0x13, 0x17, 0x3C, 0x50}) EXPECT_TRUE(areaTypes.count(t)) << t;
  EXPECT_TRUE(labels.count(u"Берёзовка"));
  EXPECT_TRUE(labels.count(u"Кольцевая дорога"));
  EXPECT_TRUE(labels.count(u"Озеро Глубокое"));
  EXPECT_GT(cOneway, 5);
}

// ---------------------------------------------------------------------------
// Real extracts

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

const char* Lookup(const void* p, const char* k) { return static_cast<const osmium::TagList*>(p)->get_value_by_key(k); }
// Nodes also answer the mapping file's node-only condition.
const char* LookupNode(const void* p, const char* k) { return std::strcmp(k, "@node") ? Lookup(p, k) : "yes"; }

// libosmium's count of the tags the mapping maps: POI nodes, road ways and
// their names, and the names of every mapped way.
struct OsmCounts : osmium::handler::Handler {
  const CTypeMapping* pMapping;
  uint64_t cPois = 0, cRoads = 0, cNamedStreets = 0, cLines = 0;
  std::set<std::u16string> wayNames, nodeNames;
  void node(const osmium::Node& n) {
    if (!n.location().valid() || !pMapping->Match(rkPoint, &n.tags(), LookupNode)) return;
    ++cPois;
    if (const char* psz = n.tags()["name"]) nodeNames.insert(platform::Utf8ToU16(psz).substr(0, 255));
  }
  void way(const osmium::Way& w) {
    if (w.is_closed() && pMapping->Match(rkPoint, &w.tags(), Lookup)) {
      bool fAny = false;
      for (size_t i = 0; i + 1 < w.nodes().size(); ++i) fAny |= w.nodes()[i].location().valid();
      if (fAny) {
        ++cPois;
        if (const char* psz = w.tags()["name"]) nodeNames.insert(platform::Utf8ToU16(psz).substr(0, 255));
      }
    }
    const TypeRule* pRule = pMapping->Match(rkPolyline, &w.tags(), Lookup);
    if (!pRule) return;
    const char* pszArea = w.tags()["area"];
    if (pszArea && !std::strcmp(pszArea, "yes") && w.is_closed()) return;
    bool fAny = false;
    for (auto& nr : w.nodes()) fAny |= nr.location().valid();
    if (!fAny) return;
    ++cLines;
    bool fRoad = w.tags()["highway"] != nullptr;
    const char* pszName = w.tags()["name"];
    if (fRoad && !(pszName && *pszName)) pszName = w.tags()["ref"];  // roads without a name show their number
    if (fRoad) ++cRoads;
    if (fRoad && pszName && *pszName) ++cNamedStreets;
    if (pszName && *pszName) wayNames.insert(platform::Utf8ToU16(pszName).substr(0, 255));
  }
};

// Areas as libosmium assembles them: every outer ring of at least three
// located points of an area the mapping maps (a closed way that is mapped as
// a line is an area only with area=yes).
struct AreaCounts : osmium::handler::Handler {
  const CTypeMapping* pMapping;
  uint64_t cRings = 0;
  void area(const osmium::Area& a) {
    if (!pMapping->Match(rkPolygon, &a.tags(), Lookup)) return;
    if (a.from_way()) {
      const char* pszArea = a.tags()["area"];
      if (!(pszArea && !std::strcmp(pszArea, "yes")) && pMapping->Match(rkPolyline, &a.tags(), Lookup)) return;
    }
    // Rings that cover fewer than three distinct units of the finest level
    // (about 2.4 m) are too small for the map.
    for (const osmium::OuterRing& ring : a.outer_rings()) {
      std::vector<std::pair<int32_t, int32_t>> pts;
      for (auto& nr : ring)
        if (nr.location().valid())
          pts.push_back({DegreesToMap(nr.location().lon()), DegreesToMap(nr.location().lat())});
      if (pts.size() > 1 && pts.front() == pts.back()) pts.pop_back();
      size_t c = 0;
      std::pair<int32_t, int32_t> last{0, 0};
      for (auto& pt : pts) {
        std::pair<int32_t, int32_t> q{ToLevelUnits(pt.first, 7), ToLevelUnits(pt.second, 7)};
        if (c && q == last) continue;
        last = q;
        ++c;
      }
      if (c >= 3) ++cRings;
    }
  }
};

uint64_t CountAreas(const std::string& strIn, const CTypeMapping& mapping) {
  osmium::io::File file(strIn);
  osmium::area::Assembler::config_type config;
  osmium::area::MultipolygonManager<osmium::area::Assembler> manager{config};
  osmium::relations::read_relations(file, manager);
  using Index = osmium::index::map::FlexMem<osmium::unsigned_object_id_type, osmium::Location>;
  Index index;
  osmium::handler::NodeLocationsForWays<Index> locations{index};
  locations.ignore_errors();
  AreaCounts counts;
  counts.pMapping = &mapping;
  osmium::io::Reader reader{file};
  osmium::apply(reader, locations, manager.handler([&counts](osmium::memory::Buffer&& buffer) {
                  osmium::apply(buffer, counts);
                }));
  reader.close();
  return counts.cRings;
}

TEST(VelcRealData, EveryExtractCompilesAndMatchesLibosmium) {
  auto extracts = Extracts();
  if (extracts.empty()) GTEST_SKIP() << "no OSM extracts in " << VELMO_SHARED_DATA;
  CTypeMapping mapping;
  std::string strError;
  ASSERT_TRUE(mapping.Load(DefaultTypeMappingPath(), strError));
  std::set<uint16_t> roadTypes;
  for (const TypeRule& r : mapping.GetRules())
    if (r.nKind == rkPolyline)
      for (auto& c : r.conditions)
        if (c.strKey == "highway" || c.strKey == "junction") roadTypes.insert(r.wType);
  for (const std::string& strIn : extracts) {
    SCOPED_TRACE(strIn);
    std::string strOut = TempFile("real.vel");
    OsmConvertStats stats;
    ASSERT_TRUE(Compile(strIn, strOut, VelWriterOptions(), strError, &stats)) << strError;
    auto p = OpenPath(strOut);
    ASSERT_TRUE(p);
    // Independent count.
    OsmCounts counts;
    counts.pMapping = &mapping;
    {
      using Index = osmium::index::map::FlexMem<osmium::unsigned_object_id_type, osmium::Location>;
      Index index;
      osmium::handler::NodeLocationsForWays<Index> locations{index};
      locations.ignore_errors();
      osmium::io::Reader reader{strIn, osmium::osm_entity_bits::node | osmium::osm_entity_bits::way};
      osmium::apply(reader, locations, counts);
      reader.close();
    }
    bool fComplete = false;
    auto all = DecodeAll(p.get(), &fComplete);
    EXPECT_TRUE(fComplete) << "a level did not decode to its end";
    uint64_t cPois = 0, cRoads = 0, cNamedStreets = 0, cLines = 0, cAreas = 0, cSeaLeft = stats.cSeaAreas;
    for (auto& o : all) {
      if (o.nLevel != 4) continue;
      if (o.nKind == rkPoint) {
        ++cPois;
        if (!o.strLabel.empty()) EXPECT_TRUE(counts.nodeNames.count(o.strLabel)) << platform::U16ToUtf8(o.strLabel);
      } else if (o.nKind == rkPolyline) {
        ++cLines;
        if (roadTypes.count(o.wType)) {
          ++cRoads;
          if (!o.strLabel.empty()) ++cNamedStreets;
        }
        if (!o.strLabel.empty()) EXPECT_TRUE(counts.wayNames.count(o.strLabel)) << platform::U16ToUtf8(o.strLabel);
      } else if (o.wType == 0x28 && cSeaLeft > 0) {
        --cSeaLeft;  // the sea made from the coastline, not an area of the file
      } else {
        ++cAreas;
      }
    }
    EXPECT_EQ(cSeaLeft, 0u);
    EXPECT_EQ(cPois, counts.cPois);
    EXPECT_EQ(cLines, counts.cLines);
    EXPECT_EQ(cRoads, counts.cRoads);
    EXPECT_EQ(cNamedStreets, counts.cNamedStreets);
    EXPECT_EQ(cAreas, CountAreas(strIn, mapping));
    EXPECT_GT(cAreas, 0u);
    // Drawing every level over the whole map stays inside the file.
    for (int nScale = 0; nScale <= 26; ++nScale) {
      CRecordingSink sink;
      CRecordingLabels labels;
      sink.nScale = nScale;
      sink.nShift = 26 - nScale;
      p->Draw(&sink, &labels);
      for (auto& e : labels.entries) {
        char16_t sz[64];
        int n;
        p->GetLabel(nScale, e.nKind, e.wType, e.dwRef, sz, &n);
        EXPECT_NE(sz[0], 0);
      }
    }
  }
}

}  // namespace
