// The road search through its reader alone: a map given by an in-memory
// IRoadGraphReader (no file format behind it), random road networks, and
// the route costs against a plain shortest-path search written here over
// the same roads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <queue>
#include <random>
#include <vector>

#include "map/RouteOptions.h"
#include "routing/search/RoadRouter.h"
#include "view/PtAlgo.h"

namespace {

// A grid of nodes 200 map units apart joined by straight two-point roads,
// some one-way, each with its own speed class.
class CGridReader : public IRoadGraphReader {
 public:
  struct Road {
    int a, b;
    uint16_t wAttributes;
  };
  std::vector<MapPoint> nodes;
  std::vector<Road> roads;
  int cWalks = 0;

  CGridReader(int nSide, uint32_t nSeed) {
    std::mt19937 rng(nSeed);
    for (int y = 0; y < nSide; ++y)
      for (int x = 0; x < nSide; ++x) nodes.push_back(MapPoint{x * 20000 + int32_t(rng() % 5000), y * 20000});
    auto add = [&](int a, int b) {
      if (rng() % 6 == 0) return;  // some roads missing
      uint16_t w = uint16_t((1 + rng() % 7) | (3 << 3));
      if (rng() % 5 == 0) w |= 0x40;  // one-way, in point order
      roads.push_back(Road{a, b, w});
    };
    for (int y = 0; y < nSide; ++y)
      for (int x = 0; x < nSide; ++x) {
        if (x + 1 < nSide) add(y * nSide + x, y * nSide + x + 1);
        if (y + 1 < nSide) add(y * nSide + x, (y + 1) * nSide + x);
      }
  }

  uint32_t GetGraphNodeCount() override { return uint32_t(nodes.size()); }
  MapRect GetGraphRect() override { return MapRect{0, 0, 2000000, 2000000}; }
  double GetGridStep() override { return 1; }
  bool ReadRoads(const MapRect* aWindows, size_t cWindows, CRoadVisitor& visitor) override {
    ++cWalks;
    for (size_t i = 0; i < roads.size(); ++i) {
      GraphRoad r;
      Fill(i, r);
      if (!visitor.OnBlock(uint32_t(i), uint32_t(roads.size())) || !visitor.OnRoad(r)) return false;
    }
    return true;
  }
  bool ReadRoad(uint32_t dwBlock, uint32_t dwRoad, GraphRoad& road) override {
    if (dwRoad >= roads.size()) return false;
    Fill(dwRoad, road);
    return true;
  }
  std::u16string GetRoadLabel(uint32_t, uint32_t dwRoad) override { return u"R" + std::u16string(1, char16_t(u'a' + dwRoad % 26)); }
  bool ReadTurnRestrictions(std::vector<TurnRestriction>& r, uint32_t& cDropped) override {
    r.clear();
    cDropped = 0;
    return true;
  }
  bool ReadBarriers(std::vector<std::pair<uint32_t, uint16_t>>& b) override {
    b.clear();
    return true;
  }
  uint32_t GetGraphBorderKeyCount() override { return 0; }
  bool GetGraphBorderKey(uint32_t, uint32_t&, uint64_t&) override { return false; }

 private:
  MapPoint m_pts[2];
  int32_t m_nodes[2];
  void Fill(size_t i, GraphRoad& r) {
    m_pts[0] = nodes[size_t(roads[i].a)];
    m_pts[1] = nodes[size_t(roads[i].b)];
    m_nodes[0] = roads[i].a;
    m_nodes[1] = roads[i].b;
    r = GraphRoad();
    r.dwRoad = uint32_t(i);
    r.wType = 5;
    r.wAttributes = roads[i].wAttributes;
    r.cPoints = 2;
    r.pPoints = m_pts;
    r.pNodes = m_nodes;
  }
};

// The least cost from node a to node b over the roads, by the costs the
// search gives a road piece; -1 when none.
double PlainShortest(const CGridReader& g, int a, int b, bool fTime, double fCos) {
  std::vector<std::vector<std::pair<int, double>>> out(g.nodes.size());
  for (const CGridReader::Road& r : g.roads) {
    const MapPoint pts[2] = {g.nodes[size_t(r.a)], g.nodes[size_t(r.b)]};
    const float fLen = float(PtAlgo::PolylineLengthFast(pts, pts + 2, float(fCos * fCos)));
    const double c = CRoadGraph::LinkCost(fLen, r.wAttributes, fTime);
    out[size_t(r.a)].emplace_back(r.b, c);
    if (!(r.wAttributes & 0x40)) out[size_t(r.b)].emplace_back(r.a, c);
  }
  std::vector<double> d(g.nodes.size(), -1);
  typedef std::pair<double, int> Item;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> q;
  d[size_t(a)] = 0;
  q.emplace(0, a);
  while (!q.empty()) {
    const Item t = q.top();
    q.pop();
    if (t.first > d[size_t(t.second)]) continue;
    for (const auto& e : out[size_t(t.second)]) {
      const double c = t.first + e.second;
      if (d[size_t(e.first)] < 0 || c < d[size_t(e.first)]) {
        d[size_t(e.first)] = c;
        q.emplace(c, e.first);
      }
    }
  }
  return d[size_t(b)];
}

TEST(RoadSearch, AnyReaderRoutesAtTheLeastCostAndTheGraphIsOnlyRead) {
  for (uint32_t nSeed = 1; nSeed <= 6; ++nSeed) {
    SCOPED_TRACE("seed " + std::to_string(nSeed));
    CGridReader reader(9, nSeed);
    CRoadRouter router(reader);
    ASSERT_TRUE(router.Build(nullptr));
    const size_t cLinks = router.GetLinks().Size();
    const int cWalksAfterBuild = reader.cWalks;
    std::mt19937 rng(nSeed * 7919);
    int cCompared = 0;
    for (int k = 0; k < 40; ++k) {
      const int a = int(rng() % reader.nodes.size()), b = int(rng() % reader.nodes.size());
      for (bool fTime : {false, true}) {
        RouteOptions o;
        o.nVehicle = rvCar;
        o.fTimeBased = fTime;
        const double fPlain = PlainShortest(reader, a, b, fTime, router.GetCosLatitude());
        const bool fFound = router.FindRoute(reader.nodes[size_t(a)], reader.nodes[size_t(b)], o, nullptr);
        if (router.GetStats().fSameRoad || a == b || fPlain < 0) continue;
        ASSERT_TRUE(fFound) << a << " -> " << b;
        // The points stand on the nodes: the pieces to and from them are
        // empty, and the route costs what the plain search says (by time a
        // piece costs at least a second: the two empty ones add up to 2).
        const double fTol = 1e-3 * (1 + fPlain);
        EXPECT_GE(router.GetStats().fCost, fPlain - fTol) << a << " -> " << b;
        EXPECT_LE(router.GetStats().fCost, fPlain + (fTime ? 2 : 0) + fTol) << a << " -> " << b;
        EXPECT_EQ(o.points.front().strLabel, u"");
        for (size_t i = 1; i + 1 < o.points.size(); ++i)
          EXPECT_FALSE(o.points[i].strLabel.empty()) << "the points on the way carry their road's name: " << i;
        ++cCompared;
      }
    }
    EXPECT_GT(cCompared, 40);
    // The searches read the graph and the roads near their points; the
    // graph was built once and stays as it was.
    EXPECT_EQ(router.GetLinks().Size(), cLinks);
    EXPECT_GT(reader.cWalks, cWalksAfterBuild);
  }
}

}  // namespace
