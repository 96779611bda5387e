// The road search through its reader alone: a map given by an in-memory
// IRoadGraphReader (no file format behind it), random road networks, and
// the route costs against a plain shortest-path search written here over
// the same roads.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <queue>
#include <random>
#include <vector>

#include "map/RoadNet.h"
#include "map/RouteOptions.h"
#include "routing/search/RoadGraph.h"
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

// The view the search across a collection's maps uses splits the nodes
// where turns are forbidden, so that a search over nodes keeps them: on
// random networks with random forbidden turns, the least cost from a node
// to every other over the split view is that of a search over (node, way
// in) states that checks every turn.
TEST(RoadSearch, NodesSplitWhereTurnsAreForbiddenKeepEveryRestriction) {
  std::mt19937 rng(20261209);
  for (int iNet = 0; iNet < 40; ++iNet) {
    const uint32_t cNodes = 12 + rng() % 30;
    std::vector<std::vector<std::pair<uint32_t, float>>> out(cNodes);  // (to, cost)
    for (uint32_t n = 0; n < cNodes; ++n)
      for (uint32_t k = 0, c = 1 + rng() % 4; k < c; ++k) {
        const uint32_t t = rng() % cNodes;
        if (t != n) out[n].emplace_back(t, float(1 + rng() % 50));
      }
    RoadNet net;
    net.firstArc.push_back(0);
    for (uint32_t n = 0; n < cNodes; ++n) {
      net.nodePoints.push_back(MapPoint{int32_t(n) * 100, int32_t(n % 7) * 100});
      for (const auto& a : out[n]) {
        net.arcTo.push_back(a.first);
        net.arcCost.push_back(a.second);
        net.arcLength.push_back(a.second);
        net.arcEndsOnly.push_back(0);
      }
      net.firstArc.push_back(uint32_t(net.arcTo.size()));
    }
    // Forbidden turns u -> v -> w over arcs that are there.
    std::vector<std::array<uint32_t, 3>> bans;
    for (int k = 0; k < int(cNodes) * 2; ++k) {
      const uint32_t u = rng() % cNodes;
      if (out[u].empty()) continue;
      const uint32_t v = out[u][rng() % out[u].size()].first;
      if (out[v].empty()) continue;
      bans.push_back({v, u, out[v][rng() % out[v].size()].first});
    }
    auto banned = [&](uint32_t u, uint32_t v, uint32_t w) {
      for (const auto& b : bans)
        if (b[0] == v && b[1] == u && b[2] == w) return true;
      return false;
    };
    std::vector<std::array<uint32_t, 3>> given = bans;
    SplitRestrictedNodes(given, net);
    ASSERT_EQ(net.MapNodeCount(), cNodes);
    for (uint32_t n = 0; n < net.NodeCount(); ++n) {
      ASSERT_LT(net.MapNodeOf(n), cNodes);
      EXPECT_EQ(net.nodePoints[n].x, net.nodePoints[net.MapNodeOf(n)].x);
    }
    // A copy is entered from the neighbour it stands for.
    for (uint32_t i = 0; i < net.copyOf.size(); ++i)
      EXPECT_EQ(net.EnterFrom(net.copyOf[i], net.nodePoints[net.copyFrom[i]]), cNodes + i);
    const uint32_t nSource = rng() % cNodes;
    // Over the split view: nodes.
    std::vector<float> split(net.NodeCount(), -1);
    typedef std::pair<float, uint32_t> Item;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
    split[nSource] = 0;
    heap.push({0, nSource});
    while (!heap.empty()) {
      const Item top = heap.top();
      heap.pop();
      if (top.first > split[top.second]) continue;
      for (uint32_t k = net.firstArc[top.second]; k < net.firstArc[top.second + 1]; ++k) {
        const float c = top.first + net.arcCost[k];
        float& d = split[net.arcTo[k]];
        if (d < 0 || c < d) {
          d = c;
          heap.push({c, net.arcTo[k]});
        }
      }
    }
    std::vector<float> bySplit(cNodes, -1);
    for (uint32_t n = 0; n < net.NodeCount(); ++n) {
      float& d = bySplit[net.MapNodeOf(n)];
      if (split[n] >= 0 && (d < 0 || split[n] < d)) d = split[n];
    }
    // Over (node, way in) states, every turn checked.
    std::vector<float> state(size_t(cNodes) * (cNodes + 1), -1);  // way in cNodes: none
    auto at = [&](uint32_t n, uint32_t u) -> float& { return state[size_t(n) * (cNodes + 1) + u]; };
    std::priority_queue<std::pair<float, std::pair<uint32_t, uint32_t>>,
                        std::vector<std::pair<float, std::pair<uint32_t, uint32_t>>>, std::greater<>> q;
    at(nSource, cNodes) = 0;
    q.push({0, {nSource, cNodes}});
    while (!q.empty()) {
      const auto top = q.top();
      q.pop();
      const uint32_t v = top.second.first, u = top.second.second;
      if (top.first > at(v, u)) continue;
      for (const auto& a : out[v]) {
        if (u < cNodes && banned(u, v, a.first)) continue;
        const float c = top.first + a.second;
        float& d = at(a.first, v);
        if (d < 0 || c < d) {
          d = c;
          q.push({c, {a.first, v}});
        }
      }
    }
    for (uint32_t x = 0; x < cNodes; ++x) {
      float best = -1;
      for (uint32_t u = 0; u <= cNodes; ++u)
        if (at(x, u) >= 0 && (best < 0 || at(x, u) < best)) best = at(x, u);
      EXPECT_EQ(bySplit[x], best) << "network " << iNet << ", node " << x << " from " << nSource;
    }
  }
}
