// The compiler frees what it no longer needs while it writes a map: the
// writer that takes the objects' points over and frees them must give the
// same bytes as the one that leaves its input alone, on made-up roads cut
// into pieces, on the demo region and on the real extracts (the sea of the
// coast extracts goes in front of the objects read), and reading with two
// threads gives the same map.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "tests/map/VelTestUtil.h"
#include "tools/velc/OsmConvert.h"
#include "tools/velc/VelWriter.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Writes levels both ways and expects the same bytes and figures; the
// consumed input keeps its objects, labels and addresses but no points.
void ExpectSameBytesBothWays(const VelWriterOptions& opt, const std::vector<VelLevelInput>& levels,
                             VelWriterStats* pStats = nullptr) {
  std::vector<uint8_t> plain, consumed;
  std::string strError;
  VelWriterStats sPlain, sConsumed;
  ASSERT_TRUE(WriteVelMap(opt, levels, plain, strError, &sPlain)) << strError;
  std::vector<VelLevelInput> copy = levels;
  ASSERT_TRUE(WriteVelMapConsuming(opt, copy, consumed, strError, &sConsumed)) << strError;
  ASSERT_EQ(plain.size(), consumed.size());
  EXPECT_TRUE(plain == consumed);
  EXPECT_EQ(sPlain.cObjects, sConsumed.cObjects);
  EXPECT_EQ(sPlain.cCutNodes, sConsumed.cCutNodes);
  EXPECT_EQ(sPlain.cTurnsWritten, sConsumed.cTurnsWritten);
  EXPECT_EQ(sPlain.cDropped, sConsumed.cDropped);
  ASSERT_EQ(copy.size(), levels.size());
  for (size_t i = 0; i < levels.size(); ++i) {
    ASSERT_EQ(copy[i].objects.size(), levels[i].objects.size());
    for (size_t k = 0; k < levels[i].objects.size(); ++k) {
      EXPECT_TRUE(copy[i].objects[k].points.empty());
      EXPECT_EQ(copy[i].objects[k].strLabel, levels[i].objects[k].strLabel);
      EXPECT_EQ(copy[i].objects[k].adwAddress[2], levels[i].objects[k].adwAddress[2]);
    }
  }
  if (pStats) *pStats = sPlain;
}

VelObject Line(std::vector<MapPoint> pts, std::vector<int32_t> nodes, const char16_t* pszName) {
  VelObject o;
  o.nKind = rkPolyline;
  o.wType = 0x06;
  o.points = std::move(pts);
  o.nodeIndex = std::move(nodes);
  o.fHasNodes = !o.nodeIndex.empty();
  o.fHasAttributes = o.fHasNodes;
  o.wRoadAttributes = 0x0023;
  o.strLabel = pszName;
  return o;
}

}  // namespace

TEST(VelcMemory, ConsumingWriterGivesTheSameBytesOnRoadsCutIntoPieces) {
  // One level at 24 bits (128 map units a unit): a road longer than a
  // block can span is cut at a point that becomes a new node, and a
  // restriction names two roads that meet at a node of the long one.
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 24;
  const int32_t c_nStep = 3000000;  // about 23 400 level units
  std::vector<MapPoint> longPts;
  std::vector<int32_t> longNodes;
  for (int i = 0; i <= 8; ++i) {
    longPts.push_back(MapPoint{i * c_nStep, (i % 2) * 1000});
    longNodes.push_back(i == 0 ? 0 : i == 4 ? 1 : i == 8 ? 2 : -1);
  }
  levels[0].objects.push_back(Line(longPts, longNodes, u"Длинная улица"));
  levels[0].objects.push_back(Line({{4 * c_nStep, 0}, {4 * c_nStep, 500000}}, {1, 3}, u"Короткая улица"));
  levels[0].objects.push_back(Line({{0, 100}, {c_nStep, 200}}, {}, u"Длинная улица"));  // a line outside the graph
  levels[0].objects.push_back(Line({{4 * c_nStep, 0}, {4 * c_nStep, -500000}}, {1, 4}, u"Южная улица"));
  VelObject area;
  area.nKind = rkPolygon;
  area.wType = 0x13;
  area.points = {{0, 0}, {50000, 0}, {50000, 50000}, {0, 50000}};
  area.fHasAddress = true;
  area.adwAddress[2] = 1;
  levels[0].objects.push_back(area);
  VelObject tooLarge = area;  // wider than a block: left out
  tooLarge.points = {{0, 0}, {9 * c_nStep, 0}, {9 * c_nStep, 50000}};
  levels[0].objects.push_back(tooLarge);
  VelObject point;
  point.nKind = rkPoint;
  point.wType = 0x2A0E;
  point.points = {{c_nStep, 7000}};
  point.strLabel = u"Кофейня";
  levels[0].objects.push_back(point);
  VelWriterOptions opt;
  opt.dwNodeCount = 5;
  opt.fAddresses = true;
  opt.restrictions.push_back(VelTurnRestriction{3, 1, 4, 1, 3});
  VelWriterStats stats;
  ExpectSameBytesBothWays(opt, levels, &stats);
  EXPECT_GT(stats.cCutNodes, 0u);  // the cut really happened
  EXPECT_EQ(stats.cTurnsWritten, 1u);
  EXPECT_EQ(stats.cDropped, 1u);
}

TEST(VelcMemory, CompiledDemoRegionAndExtractsMatchTheWriterThatKeepsItsInput) {
  std::vector<std::string> inputs;
  const std::string strDemo = std::string(VELMO_BINARY_DIR) + "/velcmemtest-demo.osm";
  ASSERT_EQ(std::system((std::string(VELMO_DEMOGEN) + " --size 3 -o " + strDemo + " > /dev/null").c_str()), 0);
  inputs.push_back(strDemo);
  const std::string strDir = std::string(VELMO_SHARED_DATA) + "/osm";
  if (DIR* d = opendir(strDir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string s = e->d_name;
      if (s.size() > 8 && s.substr(s.size() - 8) == ".osm.pbf") inputs.push_back(strDir + "/" + s);
    }
    closedir(d);
  }
  std::sort(inputs.begin() + 1, inputs.end());
  CTypeMapping mapping;
  std::string strError;
  ASSERT_TRUE(mapping.Load(DefaultTypeMappingPath(), strError)) << strError;
  bool fSea = false;
  for (const std::string& strIn : inputs) {
    SCOPED_TRACE(strIn);
    // What velc writes (its writer frees the points as it goes) ...
    const std::string strOut = std::string(VELMO_BINARY_DIR) + "/velcmemtest.vel";
    OsmConvertStats stats;
    ASSERT_TRUE(CompileOsmToVel(strIn, strOut, "", VelWriterOptions(), strError, &stats)) << strError;
    const std::vector<uint8_t> compiled = ReadBytes(strOut);
    // ... against the same objects written by the writer that keeps them.
    VelWriterOptions opt;
    std::vector<VelLevelInput> levels;
    OsmConvertStats stats2;
    ASSERT_TRUE(ConvertOsmFile(strIn, mapping, levels, stats2, strError, &opt, &opt.index)) << strError;
    SetMapDescription(opt, strIn, stats2);
    EXPECT_EQ(stats2.cSeaAreas, stats.cSeaAreas);
    fSea = fSea || stats.cSeaAreas > 0;
    std::vector<uint8_t> kept;
    ASSERT_TRUE(WriteVelMap(opt, levels, kept, strError)) << strError;
    ASSERT_EQ(kept.size(), compiled.size());
    EXPECT_TRUE(kept == compiled);
    // Read by two threads (one reads the file and assembles the areas, the
    // other converts): the same map.
    VelcRunOptions run;
    run.cJobs = 2;
    const std::string strOut2 = std::string(VELMO_BINARY_DIR) + "/velcmemtest-2.vel";
    ASSERT_TRUE(CompileOsmToVel(strIn, strOut2, "", VelWriterOptions(), strError, nullptr, nullptr, nullptr, true, true,
                                &run))
        << strError;
    EXPECT_TRUE(ReadBytes(strOut2) == compiled);
  }
  if (inputs.size() > 1) {
    EXPECT_TRUE(fSea) << "no extract with a coastline: the sea's place was not checked";
  }

  // A file cut short stops the reading threads with the reader's message.
  const std::vector<uint8_t> demo = ReadBytes(strDemo);
  const std::string strCut = std::string(VELMO_BINARY_DIR) + "/velcmemtest-cut.osm";
  {
    std::ofstream out(strCut, std::ios::binary);
    out.write(reinterpret_cast<const char*>(demo.data()), std::streamsize(demo.size() * 2 / 3));
  }
  for (unsigned cJobs : {1u, 2u}) {
    VelcRunOptions run;
    run.cJobs = cJobs;
    strError.clear();
    EXPECT_FALSE(CompileOsmToVel(strCut, std::string(VELMO_BINARY_DIR) + "/velcmemtest-cut.vel", "",
                                 VelWriterOptions(), strError, nullptr, nullptr, nullptr, true, true, &run))
        << cJobs;
    EXPECT_EQ(strError.compare(0, 12, "cannot read "), 0) << cJobs << ": " << strError;
  }
}

// Blocks freed among live ones stay with the C library until they are given
// back: 256 MB of them are (the trim waits only while little lies free).
TEST(VelcMemory, MuchFreedAmongLiveBlocksIsGivenBack) {
#if defined(__GLIBC__)
  const size_t cBlocks = 4096, cbBlock = size_t(64) << 10;
  std::vector<char*> freed, kept;
  for (size_t i = 0; i < cBlocks; ++i) {
    freed.push_back(static_cast<char*>(std::malloc(cbBlock)));
    kept.push_back(static_cast<char*>(std::malloc(64)));  // keeps the freed blocks from the heap's top
    std::fill(freed.back(), freed.back() + cbBlock, char(i));
  }
  ReleaseFreeMemory();
  const long kbBefore = veltest::AnonResidentKb();
  ASSERT_GT(kbBefore, 0);
  for (char* p : freed) std::free(p);
  ReleaseFreeMemory();
  const long kbAfter = veltest::AnonResidentKb();
  EXPECT_LT(kbAfter, kbBefore - 128 * 1024) << kbBefore << " KB before, " << kbAfter << " KB after";
  for (char* p : kept) std::free(p);
#else
  GTEST_SKIP() << "only the GNU C library holds on to freed blocks this way";
#endif
}
