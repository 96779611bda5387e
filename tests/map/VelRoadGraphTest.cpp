// The road graph written by the writer and read back: node numbers per
// point, the attribute word, and the turn restriction table whose roads are
// the offsets of the line records the reader reports.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "platform/Debug.h"
#include "tests/map/VelTestUtil.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

const int32_t c_x0 = DegreesToMap(37.0), c_y0 = DegreesToMap(55.0);

VelObject Road(const char16_t* pszName, std::vector<MapPoint> pts, std::vector<int32_t> nodes, uint16_t wAttr = 0) {
  VelObject o;
  o.nKind = rkPolyline;
  o.wType = 6;
  o.strLabel = pszName;
  o.points = std::move(pts);
  o.fHasNodes = true;
  o.fHasAttributes = wAttr != 0;
  o.wRoadAttributes = wAttr;
  o.nodeIndex = std::move(nodes);
  return o;
}

MapPoint P(int32_t dx, int32_t dy) { return MapPoint{c_x0 + dx, c_y0 + dy}; }

// A crossing: node 0 in the middle, roads west (node 1), east (2), north (3)
// and south (4) of it; the east-west road runs through the crossing as one
// object. A plain line without nodes lies beside them.
std::vector<VelLevelInput> Crossing() {
  std::vector<VelLevelInput> levels(2);
  levels[0].wLevelCode = 18;
  levels[1].wLevelCode = 24;
  std::vector<VelObject>& o = levels[1].objects;
  o.push_back(Road(u"Запад-Восток", {P(-20000, 0), P(-9000, 300), P(0, 0), P(20000, 0)}, {1, -1, 0, 2}, 0x0403));
  o.push_back(Road(u"Север", {P(0, 0), P(0, 20000)}, {0, 3}, 0x0041));
  o.push_back(Road(u"Юг", {P(0, -20000), P(0, 0)}, {4, 0}));
  VelObject river;
  river.nKind = rkPolyline;
  river.wType = 0x1F;
  river.points = {P(-30000, 5000), P(30000, 6000)};
  o.push_back(river);
  return levels;
}

std::map<std::u16string, DecodedRoad> ByName(const std::vector<DecodedRoad>& roads) {
  std::map<std::u16string, DecodedRoad> m;
  for (const DecodedRoad& r : roads) m.emplace(r.strLabel, r);
  return m;
}

TEST(VelRoadGraph, NodesAttributesAndTurnTableRoundTripInBothLayouts) {
  for (bool fExtended : {true, false}) {
    SCOPED_TRACE(fExtended ? "extended" : "legacy");
    VelWriterOptions opt;
    opt.fExtended = fExtended;
    opt.fSharedLabels = false;
    opt.dwNodeCount = 5;
    // West -> crossing may not turn north; north -> crossing may not turn
    // back north (a U-turn on the same object).
    opt.restrictions = {{1, 0, 3, 0, 1}, {3, 0, 3, 1, 1}, {2, 0, 4, 0, 2}};
    std::vector<uint8_t> bytes;
    std::string strError;
    VelWriterStats stats;
    ASSERT_TRUE(WriteVelMap(opt, Crossing(), bytes, strError, &stats)) << strError;
    EXPECT_EQ(stats.cTurnsWritten, 3u);
    EXPECT_EQ(stats.cTurnsDropped, 0u);
    std::unique_ptr<CVelParser> p(OpenBytes(bytes, "crossing"));
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->HasRoadGraph());
    EXPECT_EQ(p->GetNodeCount(), 5u);
    EXPECT_EQ(p->GetNodeIndexBits(), 3u);
    bool fComplete = false;
    auto roads = ByName(DecodeRoads(p.get(), &fComplete));
    EXPECT_TRUE(fComplete);
    ASSERT_EQ(roads.size(), 4u);
    const DecodedRoad& ew = roads.at(u"Запад-Восток");
    const DecodedRoad& north = roads.at(u"Север");
    const DecodedRoad& south = roads.at(u"Юг");
    EXPECT_EQ(ew.nodes, (std::vector<int32_t>{1, -1, 0, 2}));
    EXPECT_EQ(ew.wAttributes, 0x0403);
    EXPECT_TRUE(ew.fHasAttributes);
    EXPECT_EQ(north.nodes, (std::vector<int32_t>{0, 3}));
    EXPECT_EQ(north.wAttributes, 0x0041);
    EXPECT_FALSE(south.fHasAttributes);
    EXPECT_EQ(south.wAttributes, 0);
    EXPECT_FALSE(roads.at(u"").fHasNodes);  // the river

    std::vector<VelTurnRecord> turns;
    uint32_t cDropped = 99;
    ASSERT_TRUE(p->GetTurnTable(turns, &cDropped));
    EXPECT_EQ(cDropped, 0u);
    ASSERT_EQ(turns.size(), 3u);
    EXPECT_EQ(turns[0].cFromNode, 1u);
    EXPECT_EQ(turns[0].cNode, 0u);
    EXPECT_EQ(turns[0].cToNode, 3u);
    EXPECT_EQ(turns[0].cFromRoad, ew.dwOffset);
    EXPECT_EQ(turns[0].cToRoad, north.dwOffset);
    EXPECT_EQ(turns[1].cFromRoad, north.dwOffset);
    EXPECT_EQ(turns[1].cToRoad, north.dwOffset);
    EXPECT_EQ(turns[2].cFromNode, 2u);
    EXPECT_EQ(turns[2].cFromRoad, ew.dwOffset);
    EXPECT_EQ(turns[2].cToRoad, south.dwOffset);
    EXPECT_NE(ew.dwOffset, north.dwOffset);
    // The header fields in the layout's own places.
    uint32_t dwCount, dwOffset, dwBits, dwNodes;
    size_t offCount = fExtended ? 648 : 508, offOffset = fExtended ? 652 : 512;
    size_t offBits = fExtended ? 656 : 516, offNodes = fExtended ? 660 : 504;
    std::memcpy(&dwCount, &bytes[offCount], 4);
    std::memcpy(&dwOffset, &bytes[offOffset], 4);
    std::memcpy(&dwBits, &bytes[offBits], 4);
    std::memcpy(&dwNodes, &bytes[offNodes], 4);
    EXPECT_EQ(dwCount, 3u);
    EXPECT_EQ(dwNodes, 5u);
    EXPECT_GT(dwOffset, 0u);
    EXPECT_LT(dwOffset, bytes.size());
    uint32_t dwLargest = std::max({ew.dwOffset, north.dwOffset, south.dwOffset});
    EXPECT_EQ(dwBits, BitLen(dwLargest));
  }
}

TEST(VelRoadGraph, RestrictionsThatDoNotMatchTheirRoadsAreLeftOut) {
  VelWriterOptions opt;
  opt.dwNodeCount = 5;
  opt.restrictions = {
      {1, 0, 3, 1, 1},   // the from object (north road) does not hold 1-0
      {1, 0, 4, 0, 1},   // the to object (north road) does not hold 0-4
      {1, 2, 3, 0, 1},   // 1 and 2 are not neighbours on the east-west road
      {1, 0, 7, 0, 1},   // a node past the node count
      {1, 0, 3, 0, 9},   // an object that does not exist
      {1, 0, 3, 0, 3},   // the river has no nodes
      {4, 0, 1, 2, 0},   // valid
  };
  std::vector<uint8_t> bytes;
  std::string strError;
  VelWriterStats stats;
  ASSERT_TRUE(WriteVelMap(opt, Crossing(), bytes, strError, &stats)) << strError;
  EXPECT_EQ(stats.cTurnsWritten, 1u);
  EXPECT_EQ(stats.cTurnsDropped, 6u);
  std::unique_ptr<CVelParser> p(OpenBytes(bytes, "dropped"));
  ASSERT_TRUE(p);
  std::vector<VelTurnRecord> turns;
  ASSERT_TRUE(p->GetTurnTable(turns));
  ASSERT_EQ(turns.size(), 1u);
  auto roads = ByName(DecodeRoads(p.get()));
  EXPECT_EQ(turns[0].cFromNode, 4u);
  EXPECT_EQ(turns[0].cFromRoad, roads.at(u"Юг").dwOffset);
  EXPECT_EQ(turns[0].cToRoad, roads.at(u"Запад-Восток").dwOffset);

  // Without restrictions the header says so.
  opt.restrictions.clear();
  ASSERT_TRUE(WriteVelMap(opt, Crossing(), bytes, strError));
  p.reset(OpenBytes(bytes, "none"));
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->GetTurnTable(turns));
  EXPECT_TRUE(turns.empty());
  EXPECT_EQ(p->GetHeader().dwTurnCount, 0u);
}

// Blocks never cut a road: with a block grid much finer than the roads,
// each road is still one record in one block, with all its nodes.
TEST(VelRoadGraph, RoadsAcrossTheBlockGridStayWhole) {
  VelWriterOptions opt;
  opt.dwNodeCount = 5;
  opt.cBlockCell = 16;  // level units; the roads span about 300
  opt.restrictions = {{1, 0, 3, 0, 1}};
  std::vector<uint8_t> bytes;
  std::string strError;
  VelWriterStats stats;
  ASSERT_TRUE(WriteVelMap(opt, Crossing(), bytes, strError, &stats)) << strError;
  EXPECT_EQ(stats.cCutNodes, 0u);
  EXPECT_GT(stats.acBlocks[1], 1u);
  std::unique_ptr<CVelParser> p(OpenBytes(bytes, "grid"));
  ASSERT_TRUE(p);
  auto roads = ByName(DecodeRoads(p.get()));
  ASSERT_EQ(roads.size(), 4u);
  EXPECT_EQ(roads.at(u"Запад-Восток").nodes, (std::vector<int32_t>{1, -1, 0, 2}));
  EXPECT_EQ(roads.at(u"Юг").nodes, (std::vector<int32_t>{4, 0}));
  std::vector<VelTurnRecord> turns;
  ASSERT_TRUE(p->GetTurnTable(turns));
  ASSERT_EQ(turns.size(), 1u);
  EXPECT_EQ(turns[0].cFromRoad, roads.at(u"Запад-Восток").dwOffset);
  EXPECT_EQ(turns[0].cToRoad, roads.at(u"Север").dwOffset);
}

// A road longer than a block can span is cut into pieces; the point where
// it is cut becomes a node of both pieces, so the graph stays joined, and a
// restriction on the long road names the piece that holds its nodes.
TEST(VelRoadGraph, ARoadCutIntoPiecesSharesANodeAtEachCut) {
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 24;  // 2^7 map units per level unit: a block spans at most about 8.4e6 units
  std::vector<MapPoint> pts;
  std::vector<int32_t> nodes;
  for (int i = 0; i <= 40; ++i) {
    pts.push_back(P(i * 500000, (i % 2) * 1000));
    nodes.push_back(i == 0 ? 0 : i == 40 ? 1 : i == 39 ? 2 : -1);
  }
  levels[0].objects.push_back(Road(u"Трасса", pts, nodes, 0x0005));
  levels[0].objects.push_back(Road(u"Съезд", {pts[39], P(39 * 500000, 90000)}, {2, 3}));
  VelWriterOptions opt;
  opt.dwNodeCount = 4;
  opt.restrictions = {{3, 2, 1, 1, 0}, {1, 2, 3, 0, 1}};
  std::vector<uint8_t> bytes;
  std::string strError;
  VelWriterStats stats;
  ASSERT_TRUE(WriteVelMap(opt, levels, bytes, strError, &stats)) << strError;
  EXPECT_GE(stats.cCutNodes, 2u);
  EXPECT_EQ(stats.cNodes, 4 + stats.cCutNodes);
  EXPECT_EQ(stats.cTurnsWritten, 2u);
  std::unique_ptr<CVelParser> p(OpenBytes(bytes, "cut"));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->GetNodeCount(), stats.cNodes);
  std::vector<DecodedRoad> roads = DecodeRoads(p.get());
  std::vector<const DecodedRoad*> pieces;
  const DecodedRoad* pRamp = nullptr;
  for (const DecodedRoad& r : roads) {
    if (r.strLabel == u"Трасса") pieces.push_back(&r);
    else pRamp = &r;
  }
  ASSERT_EQ(pieces.size(), stats.cCutNodes + 1);
  ASSERT_TRUE(pRamp);
  // Walk the pieces in order: each starts at the node the previous one ended
  // with, every piece starts and ends with a node, the points are all there.
  std::sort(pieces.begin(), pieces.end(),
            [](const DecodedRoad* a, const DecodedRoad* b) { return a->points[0].x < b->points[0].x; });
  size_t cPoints = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const DecodedRoad& r = *pieces[i];
    EXPECT_GE(r.nodes.front(), 0);
    EXPECT_GE(r.nodes.back(), 0);
    EXPECT_EQ(r.wAttributes, 0x0005);
    if (i) {
      EXPECT_EQ(r.nodes.front(), pieces[i - 1]->nodes.back());
      EXPECT_EQ(r.points.front().x, pieces[i - 1]->points.back().x);
    }
    cPoints += r.points.size() - (i ? 1 : 0);
  }
  EXPECT_EQ(cPoints, pts.size());
  EXPECT_EQ(pieces.front()->nodes.front(), 0);
  EXPECT_EQ(pieces.back()->nodes.back(), 1);
  std::vector<VelTurnRecord> turns;
  ASSERT_TRUE(p->GetTurnTable(turns));
  ASSERT_EQ(turns.size(), 2u);
  EXPECT_EQ(turns[0].cFromRoad, pRamp->dwOffset);
  EXPECT_EQ(turns[0].cToRoad, pieces.back()->dwOffset);
  EXPECT_EQ(turns[1].cFromRoad, pieces.back()->dwOffset);
}

class QuietAssertsGraph : public ::testing::Test {
 protected:
  void SetUp() override { m_old = platform::SetAssertHook([](const char*, const char*, int) {}); }
  void TearDown() override { platform::SetAssertHook(m_old); }
  platform::AssertHook m_old = nullptr;
};

// Damaged road graphs: node numbers and turn records out of range are
// dropped, a count larger than the table never reads past the file.
TEST_F(QuietAssertsGraph, DamagedRoadGraphFieldsAreBoundedOrDropped) {
  VelWriterOptions opt;
  opt.dwNodeCount = 5;
  opt.restrictions = {{1, 0, 3, 0, 1}, {2, 0, 4, 0, 2}};
  std::vector<uint8_t> good;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(opt, Crossing(), good, strError)) << strError;
  const size_t offCount = 648, offOffset = 652, offBits = 656, offNodes = 660;
  auto patched = [&](size_t off, uint32_t dw) {
    std::vector<uint8_t> b = good;
    std::memcpy(&b[off], &dw, 4);
    return b;
  };
  uint32_t dwTable;
  std::memcpy(&dwTable, &good[offOffset], 4);
  // A huge count: the records that are there, nothing past the file.
  {
    std::unique_ptr<CVelParser> p(OpenBytes(patched(offCount, 0xFFFFFFF0u), "count"));
    ASSERT_TRUE(p);
    std::vector<VelTurnRecord> turns;
    uint32_t cDropped = 0;
    EXPECT_TRUE(p->GetTurnTable(turns, &cDropped));
    EXPECT_GE(turns.size(), 2u);
    EXPECT_LT(turns.size(), good.size() * 8);
    EXPECT_GT(cDropped, 0u);
  }
  // The table outside the file, an absurd road width.
  {
    std::unique_ptr<CVelParser> p(OpenBytes(patched(offOffset, uint32_t(good.size() + 10)), "offset"));
    ASSERT_TRUE(p);
    std::vector<VelTurnRecord> turns;
    EXPECT_FALSE(p->GetTurnTable(turns));
    EXPECT_TRUE(turns.empty());
    p.reset(OpenBytes(patched(offBits, 200), "bits"));
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->GetTurnTable(turns));
  }
  // Roads that point past the end of the file are dropped: the road width
  // widened so that the fields read as large offsets.
  {
    std::unique_ptr<CVelParser> p(OpenBytes(patched(offBits, 31), "wide"));
    ASSERT_TRUE(p);
    std::vector<VelTurnRecord> turns;
    p->GetTurnTable(turns);
    for (const VelTurnRecord& t : turns) {
      EXPECT_LT(t.cFromRoad, good.size());
      EXPECT_LT(t.cToRoad, good.size());
      EXPECT_LT(t.cNode, 5u);
    }
  }
  // Fewer nodes than the records name (a count of the same index width):
  // node numbers at or past the count are no nodes, and the restrictions
  // that name them are dropped.
  {
    std::vector<VelLevelInput> levels = Crossing();
    levels[1].objects[1].nodeIndex = {0, 6};
    VelWriterOptions opt8 = opt;
    opt8.dwNodeCount = 8;
    opt8.restrictions = {{1, 0, 6, 0, 1}, {2, 0, 4, 0, 2}};
    std::vector<uint8_t> b;
    ASSERT_TRUE(WriteVelMap(opt8, levels, b, strError)) << strError;
    uint32_t dwFive = 5;
    std::memcpy(&b[offNodes], &dwFive, 4);
    std::unique_ptr<CVelParser> p(OpenBytes(b, "nodes"));
    ASSERT_TRUE(p);
    auto roads = ByName(DecodeRoads(p.get()));
    ASSERT_TRUE(roads.count(u"Запад-Восток"));
    EXPECT_EQ(roads.at(u"Запад-Восток").nodes, (std::vector<int32_t>{1, -1, 0, 2}));
    EXPECT_EQ(roads.at(u"Север").nodes, (std::vector<int32_t>{0, -1}));  // node 6 of 5 is no node
    std::vector<VelTurnRecord> turns;
    uint32_t cDropped = 0;
    EXPECT_TRUE(p->GetTurnTable(turns, &cDropped));
    ASSERT_EQ(turns.size(), 1u);
    EXPECT_EQ(turns[0].cToNode, 4u);
    EXPECT_EQ(cDropped, 1u);
  }
  // The table cut off by the end of the file.
  {
    std::vector<uint8_t> b = good;
    b.resize(dwTable + 1);
    uint32_t dwSize = uint32_t(b.size());
    std::memcpy(&b[8], &dwSize, 4);
    std::unique_ptr<CVelParser> p(OpenBytes(b, "cut"));
    if (p) {
      std::vector<VelTurnRecord> turns;
      uint32_t cDropped = 0;
      p->GetTurnTable(turns, &cDropped);
      EXPECT_EQ(turns.size() + cDropped, 2u);
      EXPECT_LT(turns.size(), 2u);
    }
  }
}

}  // namespace
