// The route search against a plain shortest-path search over nodes written
// here: the same decoded roads (node pieces, lengths, attribute words), the
// same snapped start and destination, no dual links. Without restrictions
// and with U-turns allowed both must find the same least cost, on random
// networks and on the real extracts compiled with velc.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <queue>
#include <random>

#include "platform/Debug.h"
#include "tests/map/RouteTestNet.h"
#include "view/PtAlgo.h"

using namespace routetest;

namespace {

const double c_fInf = std::numeric_limits<double>::infinity();

// The cost rule, written out again.
double Cost(double fLength, uint16_t w, bool fTime) {
  static const double c_aSpeed[8] = {5, 20, 40, 60, 80, 90, 110, 140};
  static const double c_aQuality[8] = {0.5, 0.7, 0.9, 1.0, 1.2, 1.0, 1.0, 1.0};
  const double q = c_aQuality[(w >> 3) & 7];
  if (!fTime) return fLength / q;
  double f = fLength / (c_aSpeed[w & 7] * 10 / 36) / q;
  return f < 1 ? 1 : f;
}

struct Edge {
  int32_t nTo;
  double fLength;
  uint16_t wAttr;
};

struct NodeGraph {
  std::vector<std::vector<Edge>> adj;
  std::vector<MapPoint> at;  // a point of each node
  float k2 = 1;
};

bool CollectRoad(void* pContext, const VelRecord& rec, const MapPoint* pPoints, const char16_t*, uint32_t,
                 const VelBlockInfo&) {
  auto* pCtx = static_cast<std::pair<NodeGraph*, CVelParser*>*>(pContext);
  NodeGraph& g = *pCtx->first;
  if (rec.nKind != rkPolyline || !rec.fHasNodes) return true;
  const int32_t* pNodes = pCtx->second->GetPointNodes();
  int32_t nPrev = -1;
  uint32_t iPrev = 0;
  for (uint32_t i = 0; i < rec.cPoints; ++i) {
    if (pNodes[i] < 0) continue;
    g.at[size_t(pNodes[i])] = pPoints[i];
    if (nPrev >= 0) {
      const double f = double(PtAlgo::PolylineLengthFast(pPoints + iPrev, pPoints + i + 1, g.k2));
      g.adj[size_t(nPrev)].push_back(Edge{pNodes[i], f, rec.wRoadAttributes});
      if (!(rec.wRoadAttributes & 0x40)) g.adj[size_t(pNodes[i])].push_back(Edge{nPrev, f, rec.wRoadAttributes});
    }
    nPrev = pNodes[i];
    iPrev = i;
  }
  return true;
}

NodeGraph Decode(CVelParser& p) {
  NodeGraph g;
  g.adj.resize(p.GetHeader().dwNodeCount);
  g.at.assign(p.GetHeader().dwNodeCount, MapPoint{0, 0});
  const MapRect& r = p.GetRect();
  const double c = std::cos((double(r.top) + r.bottom) / 2 * 3.1415927 / 1073741824.0);
  g.k2 = float(c * c);
  std::pair<NodeGraph*, CVelParser*> ctx{&g, &p};
  p.ForEachObject(p.GetLevelCount() - 1, CollectRoad, &ctx);
  return g;
}

// Least cost from the snapped start to the snapped destination. A point on
// a node (within fOnNode of it) joins the graph at that node whatever the
// one-way road it was snapped to.
double OracleCost(const NodeGraph& g, const RoadSnap& s, const RoadSnap& d, double fOnNode, uint16_t wMask,
                  bool fTime) {
  if ((s.wAttributes & wMask) || (d.wAttributes & wMask)) return c_fInf;
  std::vector<double> dist(g.adj.size(), c_fInf);
  typedef std::pair<double, int32_t> Item;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
  auto relax = [&](int32_t n, double c) {
    if (c < dist[size_t(n)]) {
      dist[size_t(n)] = c;
      heap.push({c, n});
    }
  };
  relax(s.nNextNode, Cost(s.fNextLength, s.wAttributes, fTime));
  if (!s.fOneWay || (s.fPrevLength < fOnNode && s.nPrevNode != s.nNextNode))
    relax(s.nPrevNode, Cost(s.fPrevLength, s.wAttributes, fTime));
  while (!heap.empty()) {
    auto [c, n] = heap.top();
    heap.pop();
    if (c > dist[size_t(n)]) continue;
    for (const Edge& e : g.adj[size_t(n)])
      if (!(e.wAttr & wMask)) relax(e.nTo, c + Cost(e.fLength, e.wAttr, fTime));
  }
  double best = dist[size_t(d.nPrevNode)] + Cost(d.fPrevLength, d.wAttributes, fTime);
  if (!d.fOneWay || d.fNextLength < fOnNode)
    best = std::min(best, dist[size_t(d.nNextNode)] + Cost(d.fNextLength, d.wAttributes, fTime));
  return best;
}

struct Tally {
  int cCompared = 0, cNoRoute = 0, cSameRoad = 0;
};

// Random pairs of points near random nodes; returns what was compared.
Tally CompareRandomPairs(CVelParser& p, int cPairs, unsigned nSeed, double fJitterMetres) {
  NodeGraph g = Decode(p);
  std::vector<int32_t> used;
  for (size_t n = 0; n < g.adj.size(); ++n)
    if (!g.adj[n].empty()) used.push_back(int32_t(n));
  Tally t;
  if (used.size() < 2 || !p.GetRouter()) return t;
  p.GetRouter()->SetUseRestrictions(false);
  vel::VelLevel level{};
  if (!p.GetLevel(p.GetLevelCount() - 1, level) || level.wLevelCode < 1 || level.wLevelCode > 31) return t;
  std::mt19937 rng(nSeed);
  const int32_t nJitter = MetresToMap(fJitterMetres);
  auto pick = [&]() {
    MapPoint pt = g.at[size_t(used[rng() % used.size()])];
    if (nJitter > 0) {
      pt.x += int32_t(rng() % uint32_t(2 * nJitter + 1)) - nJitter;
      pt.y += int32_t(rng() % uint32_t(2 * nJitter + 1)) - nJitter;
    }
    return pt;
  };
  for (int i = 0; i < cPairs; ++i) {
    RouteOptions o = Car(i % 2 == 0);
    o.nVehicle = i % 5 == 4 ? rvPedestrian : rvCar;
    const MapPoint a = pick(), b = pick();
    const bool fFound = p.FindRoute(a, b, &o, nullptr);
    const RouteSearchStats& st = p.GetRouter()->GetStats();
    if (st.fSameRoad) {
      ++t.cSameRoad;
      continue;
    }
    if (st.start.fD2 < 0 || st.dest.fD2 < 0) continue;  // under 20 m apart, or no road near
    const uint16_t wMask = CRoadRouter::VehicleMask(o.nVehicle, false);
    // On a node means within a grid step and a half of the map's finest level.
    EXPECT_GT(st.fOnNode, 0.0);
    EXPECT_LE(st.fOnNode, 1.5 * double(1u << (31 - level.wLevelCode)) + 1e-9);
    const double fOracle = OracleCost(g, st.start, st.dest, st.fOnNode, wMask, o.fTimeBased != 0);
    if (!fFound) {
      ++t.cNoRoute;
      EXPECT_EQ(fOracle, c_fInf) << "pair " << i;
      continue;
    }
    ++t.cCompared;
    EXPECT_NEAR(st.fCost, fOracle, 1e-4 * std::max(1.0, fOracle)) << "pair " << i << " time " << o.fTimeBased;
    EXPECT_GE(o.points.size(), 2u);
  }
  return t;
}

// A jittered 14 x 14 grid with random one-way streets, speeds, qualities,
// roads closed to cars and missing pieces.
CNet RandomNet(unsigned nSeed) {
  std::mt19937 rng(nSeed);
  CNet net;
  const int n = 14;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) net.Node(150.0 * i + double(rng() % 60), 150.0 * j + double(rng() % 60));
  int cRoads = 0;
  auto road = [&](int a, int b) {
    if (rng() % 10 == 0) return;  // missing
    uint16_t w = uint16_t((rng() % 8) | ((rng() % 8) << 3));
    if (rng() % 5 == 0) w |= c_wOneWay;
    if (rng() % 12 == 0) w |= c_wNoCar;
    const MapPoint& pa = net.nodes[size_t(a)];
    const MapPoint& pb = net.nodes[size_t(b)];
    std::vector<int> ids;
    bool fReverse = rng() % 2;
    ids.push_back(fReverse ? b : a);
    // A bent middle point.
    net.plain.push_back(MapPoint{int32_t((int64_t(pa.x) + pb.x) / 2 + int32_t(rng() % 600) - 300) & ~7,
                                 int32_t((int64_t(pa.y) + pb.y) / 2 + int32_t(rng() % 600) - 300) & ~7});
    ids.push_back(-int(net.plain.size()));
    ids.push_back(fReverse ? a : b);
    std::u16string name = u"r" + platform::Utf8ToU16(std::to_string(cRoads++));
    net.Road(name, ids, w);
  };
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      if (i + 1 < n) road(i * n + j, (i + 1) * n + j);
      if (j + 1 < n) road(i * n + j, i * n + j + 1);
    }
  return net;
}

TEST(RouteOracle, RandomNetworksSameCostAsPlainSearch) {
  for (unsigned nSeed = 1; nSeed <= 3; ++nSeed) {
    CNet net = RandomNet(nSeed);
    std::unique_ptr<CVelParser> p(net.Open());
    ASSERT_TRUE(p);
    Tally t = CompareRandomPairs(*p, 200, nSeed * 7, 40);
    EXPECT_GT(t.cCompared, 120) << "seed " << nSeed;
    EXPECT_GT(t.cNoRoute + t.cSameRoad, 0) << "seed " << nSeed;  // one-way traps and closed roads exist
  }
}

#ifdef VELMO_VELC
class RouteOracleExtract : public ::testing::TestWithParam<const char*> {};

TEST_P(RouteOracleExtract, SameCostAsPlainSearch) {
  const std::string strMap = CompiledExtract(GetParam());
  if (strMap.empty()) GTEST_SKIP() << "no extract " << GetParam();
  std::u16string strPath = platform::Utf8ToU16(strMap);
  std::unique_ptr<CVelParser> p(static_cast<CVelParser*>(OpenMapFile(strPath.c_str(), false, c_fOpenAll)));
  ASSERT_TRUE(p);
  if (!p->HasRoadGraph()) GTEST_SKIP() << "velc wrote no road graph";
  // Pairs fall on footways, private roads and one-way traps too; several
  // hundred of them still get a route to compare.
  Tally t = CompareRandomPairs(*p, 600, 11, 30);
  EXPECT_GE(t.cCompared, 250) << GetParam();
  std::printf("%s: %d pairs compared, %d without a route, %d on one road\n", GetParam(), t.cCompared, t.cNoRoute,
              t.cSameRoad);
}

// A router whose graph is still to be built snaps the route's ends on the
// build's own walk over the roads; one already built walks the blocks near
// the points. Both must choose the same roads: the same route, cold or warm.
TEST_P(RouteOracleExtract, ARouteOnAGraphJustBuiltEqualsTheRouteOnOneBuiltBefore) {
  const std::string strMap = CompiledExtract(GetParam());
  if (strMap.empty()) GTEST_SKIP() << "no extract " << GetParam();
  std::u16string strPath = platform::Utf8ToU16(strMap);
  std::unique_ptr<CVelParser> warm(static_cast<CVelParser*>(OpenMapFile(strPath.c_str(), false, c_fOpenAll)));
  ASSERT_TRUE(warm);
  if (!warm->HasRoadGraph()) GTEST_SKIP() << "velc wrote no road graph";
  ASSERT_TRUE(warm->GetRouter()->Build(nullptr));
  // Near random graph nodes (up to 60 m off), so that most points have roads.
  const CRoadGraph& graph = warm->GetRouter()->GetGraph();
  ASSERT_GT(graph.GetNodeCount(), 0u);
  std::mt19937 rng(5);
  const int32_t nJitter = MetresToMap(60.0);
  auto pick = [&]() {
    MapPoint pt = graph.NodePoint(rng() % graph.GetNodeCount());
    pt.x += int32_t(rng() % uint32_t(2 * nJitter + 1)) - nJitter;
    pt.y += int32_t(rng() % uint32_t(2 * nJitter + 1)) - nJitter;
    return pt;
  };
  int cRoutes = 0;
  for (int i = 0; i < 24; ++i) {
    const MapPoint a = pick(), b = pick();
    std::unique_ptr<CVelParser> cold(static_cast<CVelParser*>(OpenMapFile(strPath.c_str(), false, c_fOpenAll)));
    ASSERT_TRUE(cold);
    RouteOptions oCold = Car(i % 2 == 0), oWarm = Car(i % 2 == 0);
    const bool fCold = cold->FindRoute(a, b, &oCold, nullptr);
    const bool fWarm = warm->FindRoute(a, b, &oWarm, nullptr);
    ASSERT_EQ(fCold, fWarm) << "pair " << i;
    const RouteSearchStats& c = cold->GetRouter()->GetStats();
    const RouteSearchStats& w = warm->GetRouter()->GetStats();
    EXPECT_EQ(c.start.dwRoad, w.start.dwRoad) << "pair " << i;
    EXPECT_EQ(c.dest.dwRoad, w.dest.dwRoad) << "pair " << i;
    EXPECT_EQ(c.start.nPoint, w.start.nPoint) << "pair " << i;
    EXPECT_EQ(c.dest.fD2, w.dest.fD2) << "pair " << i;
    EXPECT_EQ(c.start.fPrevLength, w.start.fPrevLength) << "pair " << i;
    EXPECT_EQ(c.dest.fNextLength, w.dest.fNextLength) << "pair " << i;
    if (fCold) {
      EXPECT_EQ(c.fCost, w.fCost) << "pair " << i;
    }
    ASSERT_EQ(oCold.points.size(), oWarm.points.size()) << "pair " << i;
    for (size_t k = 0; k < oCold.points.size(); ++k)
      ASSERT_TRUE(oCold.points[k].x == oWarm.points[k].x && oCold.points[k].y == oWarm.points[k].y)
          << "pair " << i << " point " << k;
    cRoutes += fCold;
  }
  EXPECT_GE(cRoutes, 16) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Extracts, RouteOracleExtract,
                         ::testing::Values("monaco", "andorra", "moscow", "north-bayreuth"));
#endif

}  // namespace
