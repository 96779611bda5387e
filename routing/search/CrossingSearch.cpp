#include "routing/search/CrossingSearch.h"
#include "routing/search/RoadGraph.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>

#include "view/MapUnits.h"

namespace {

// How far outside a member's rectangle (map units, about 5 m) a node still
// counts as in it.
const int32_t c_nEdgeSlack = 256;

// How much farther than the nearest road a member's road may lie from a
// route's end and still be taken as that road (coordinates are rounded
// differently in two members' blocks): map units, about a metre.
const double c_fSameRoadSlack = 64.0;

}  // namespace

bool CCrossingSearch::Find(MapPoint ptStart, MapPoint ptEnd, uint32_t nStart, uint32_t nEnd,
                           CrossingSearchResult& result) {
  result = CrossingSearchResult();
  const RouteOptions& options = m_options;
  const MapProgress* pProgress = m_pProgress;
  const uint32_t cMaps = m_members.GetMemberCount();
  if (nStart >= cMaps || nEnd >= cMaps) return false;
  std::vector<const RoadNet*> nets(cMaps, nullptr);
  std::vector<int64_t> base(cMaps, -1);
  std::vector<uint32_t> openOrder;  // members in the order of their bases
  std::vector<bool> failed(cMaps, false);
  int64_t cStates = 0;  // (member, node) pairs; a state is one of them at a stage
  int32_t nBarPos = pProgress ? pProgress->nFrom : 0;
  const int c_cStages = 3;
  // Per member, per state of its nodes: the cost so far and the state it
  // was reached from (states are numbered across the members).
  CrossingScratch& scratch = m_pScratch ? *m_pScratch : m_ownScratch;
  if (scratch.dists.size() != cMaps) {
    scratch.dists.assign(cMaps, std::vector<float>());
    scratch.preds.assign(cMaps, std::vector<int64_t>());
  }
  std::vector<std::vector<float>>& dists = scratch.dists;
  std::vector<std::vector<int64_t>>& preds = scratch.preds;
  std::vector<std::pair<uint32_t, uint32_t>>& touched = scratch.touched;
  // The states reached go back unreached however the search ends.
  auto clear = [&]() {
    for (const auto& t : touched) {
      dists[t.first][t.second] = -1;
      preds[t.first][t.second] = -1;
    }
    touched.clear();
  };
  clear();
  struct ClearOnExit {
    std::function<void()> f;
    ~ClearOnExit() { f(); }
  } clearOnExit{clear};
  // The members' rectangles, and those grown by the edge slack (a member's
  // bounds are rounded: a node on its edge counts as in it).
  std::vector<MapRect> bounds(cMaps), grown(cMaps);
  for (uint32_t m = 0; m < cMaps; ++m) {
    bounds[m] = grown[m] = m_members.GetMemberBounds(m);
    MapRect& r = grown[m];
    r.left -= c_nEdgeSlack, r.top -= c_nEdgeSlack, r.right += c_nEdgeSlack, r.bottom += c_nEdgeSlack;
  }
  const double fCos = std::cos(MapToDegrees(int32_t((int64_t(ptStart.y) + ptEnd.y) / 2)) * 3.14159265358979323846 / 180.0);
  auto ensure = [&](uint32_t m) -> bool {
    if (base[m] >= 0) return true;
    if (failed[m]) return false;
    // A member's graph is built with the bar held where the search is.
    MapProgress hold = pProgress ? *pProgress : MapProgress{0, 0, nullptr, nullptr, nullptr};
    hold.nFrom = hold.nTo = nBarPos;
    const RoadNet* pNet = m_members.GetMemberNet(m, options, pProgress ? &hold : nullptr);
    if (!pNet || !pNet->NodeCount()) {
      failed[m] = true;
      return false;
    }
    nets[m] = pNet;
    base[m] = cStates;
    cStates += pNet->NodeCount();
    openOrder.push_back(m);
    // Clean from the last search unless the member's graph changed.
    if (dists[m].size() != size_t(pNet->NodeCount()) * c_cStages) {
      dists[m].assign(size_t(pNet->NodeCount()) * c_cStages, -1.0f);
      preds[m].assign(size_t(pNet->NodeCount()) * c_cStages, -1);
    }
    result.cbGraphs += pNet->MemoryBytes();
    ++result.cMembersSearched;
    return true;
  };
  auto memberOf = [&](int64_t g) {
    size_t lo = 0, hi = openOrder.size();
    while (hi - lo > 1) {
      const size_t mid = (lo + hi) / 2;
      if (base[openOrder[mid]] <= g) lo = mid;
      else hi = mid;
    }
    return openOrder[lo];
  };
  if (!ensure(nStart) || !ensure(nEnd)) return false;
  result.fHandled = true;
  const float fRate = std::min(nets[nStart]->fMinRate, nets[nEnd]->fMinRate);

  // The nearest nodes with a way on to either point (the exact ends are the
  // members' own searches').
  auto nearest = [&](const RoadNet& net, const MapPoint& pt, bool fOut) {
    std::vector<std::pair<double, uint32_t>> best;
    const size_t c_cKeep = 8;
    std::vector<bool> hasIn;
    if (!fOut) {
      hasIn.assign(net.MapNodeCount(), false);
      for (uint32_t t : net.arcTo) hasIn[net.MapNodeOf(t)] = true;
    }
    for (uint32_t n = 0; n < net.MapNodeCount(); ++n) {
      if (fOut ? net.firstArc[n] == net.firstArc[n + 1] : !hasIn[n]) continue;
      const double d = RouteDistance(net.nodePoints[n], pt, fCos);
      if (best.size() == c_cKeep && d >= best.back().first) continue;
      best.emplace_back(d, n);
      std::sort(best.begin(), best.end());
      if (best.size() > c_cKeep) best.pop_back();
    }
    return best;
  };
  // Ordered by key, then state; the cost it was queued with tells an old
  // entry (the state was reached more cheaply since).
  struct HeapItem {
    float key;
    int64_t state;
    float d;
    bool operator>(const HeapItem& o) const { return key > o.key || (key == o.key && state > o.state); }
  };
  std::priority_queue<HeapItem, std::vector<HeapItem>, std::greater<HeapItem>> heap;
  auto bound = [&](const MapPoint& p) { return float(RouteDistance(p, ptEnd, fCos)) * fRate; };
  const float fStartBound = bound(ptStart);
  // The seeds: the nodes of the roads the two points meet as the members'
  // own searches take them; the nearest nodes when a member cannot say.
  std::vector<std::pair<uint32_t, float>> snapped;
  std::vector<std::pair<int64_t, float>> targets;
  auto addEnds = [&](const MapPoint& pt, bool fDest, bool fNext, int nFirst) {
    // Every member whose rectangle holds the point (maps of overlapping
    // extracts both may; tiles do not overlap) and whose road there is the
    // nearest to the point of all: one map of the whole would take that
    // road, and the same road in two overlapping members lies as far.
    struct Candidate {
      uint32_t nMember;
      double fOffRoad;
      std::vector<std::pair<double, uint32_t>> nodes;
    };
    std::vector<Candidate> candidates;
    double fNearest = -1;
    for (uint32_t m = 0; m < cMaps; ++m) {
      if ((int(m) != nFirst && !bounds[m].Contains(pt)) || !ensure(m)) continue;
      Candidate c{m, 0, {}};
      if (m_members.SnapToMember(m, pt, fDest, fNext, options, snapped, &c.fOffRoad)) {
        for (const auto& n : snapped) c.nodes.emplace_back(n.second, n.first);
      } else if (fNext) {
        continue;
      } else {
        c.nodes = nearest(*nets[m], pt, !fDest);
        if (c.nodes.empty()) continue;
        c.fOffRoad = c.nodes.front().first;
      }
      if (fNearest < 0 || c.fOffRoad < fNearest) fNearest = c.fOffRoad;
      candidates.push_back(std::move(c));
    }
    for (const Candidate& c : candidates) {
      if (c.fOffRoad > fNearest + c_fSameRoadSlack) continue;
      const uint32_t m = c.nMember;
      for (const auto& n : c.nodes) {
        const int64_t g = base[m] + n.second;
        const float cost = float(n.first) * fRate;
        float& fDist = dists[m][size_t(n.second) * c_cStages];
        if (fDest) {
          targets.emplace_back(g, cost);
        } else if (fDist < 0 || cost < fDist) {
          if (fDist < 0) touched.emplace_back(m, uint32_t(size_t(n.second) * c_cStages));
          fDist = cost;
          heap.push(HeapItem{cost + bound(nets[m]->nodePoints[n.second]), g * c_cStages, cost});
        }
      }
    }
  };
  // One search between the ends taken on the nearest roads or on the next
  // ones (fNext...): 1 found, 0 none, -1 cancelled.
  float fBest = -1;
  int64_t gBest = -1;
  uint64_t cPops = 0;
  auto search = [&](bool fNextStart, bool fNextDest, bool fStrict) -> int {
    clear();
    heap = decltype(heap)();
    targets.clear();
    fBest = -1;
    gBest = -1;
    addEnds(ptStart, false, fNextStart, int(nStart));
    addEnds(ptEnd, true, fNextDest, int(nEnd));
    std::sort(targets.begin(), targets.end());
    while (!heap.empty()) {
      const HeapItem top = heap.top();
      heap.pop();
      if (fBest >= 0 && top.key >= fBest) break;
      const int64_t sState = top.state, g = sState / c_cStages;
      const int nStage = int(sState % c_cStages);
      const uint32_t m = memberOf(g);
      const RoadNet& net = *nets[m];
      const uint32_t n = uint32_t(g - base[m]);
      const float d = dists[m][size_t(sState - base[m] * c_cStages)];
      if (top.d > d) continue;  // an old entry
      if ((++cPops & 0x3FF) == 0 && pProgress) {
        // The bar by the straight distance still to go (the goal bound), so
        // that the window takes its Cancel while the search runs.
        const float fLeft = top.key - d;
        if (fStartBound > 0 && fLeft < fStartBound) {
          nBarPos = int32_t(pProgress->nFrom + (double(pProgress->nTo) - pProgress->nFrom) * (1.0 - fLeft / fStartBound));
          pProgress->SetPos(nBarPos);
        }
        if (pProgress->IsCancelled()) return -1;
      }
      // (A copy of a node where turns are forbidden is that node.)
      const int64_t gMap = base[m] + net.MapNodeOf(n);
      auto it = std::lower_bound(targets.begin(), targets.end(), std::make_pair(gMap, -1.0f));
      if (it != targets.end() && it->first == gMap && (fBest < 0 || d + it->second < fBest)) {
        fBest = d + it->second;
        gBest = sState;
      }
      // Node n2 of member m2 at a stage reached at cost c.
      auto relax = [&](uint32_t m2, uint32_t n2, int nStage2, float c, const MapPoint& p2) {
        const size_t i = size_t(n2) * c_cStages + size_t(nStage2);
        float& fDist = dists[m2][i];
        if (fDist >= 0 && fDist <= c) return;
        if (fDist < 0) touched.emplace_back(m2, uint32_t(i));
        fDist = c;
        const int64_t s2 = base[m2] * c_cStages + int64_t(i);
        preds[m2][i] = sState;
        heap.push(HeapItem{c + bound(p2), s2, c});
      };
      // The place the state came from (across a crossing, the place before
      // it): avoiding U-turns, not straight back there (labels are per node,
      // so this is the members' own rule only near enough to choose where to
      // cross; the members' searches drive the legs by it exactly); and a
      // crossing enters the next member by the way in from there, so that
      // the turns its map forbids from that way bind.
      // (Walked back only when needed: avoiding U-turns, or at a key.)
      bool fCame = false, fCameKnown = false;
      MapPoint ptCame{};
      auto came = [&]() {
        if (fCameKnown) return fCame;
        fCameKnown = true;
        const MapPoint ptHere = net.nodePoints[n];
        for (int64_t s = preds[m][size_t(sState - base[m] * c_cStages)]; s >= 0;) {
          const uint32_t mp = memberOf(s / c_cStages);
          const MapPoint q = nets[mp]->nodePoints[size_t(s / c_cStages - base[mp])];
          if (q.x != ptHere.x || q.y != ptHere.y) {
            fCame = true;
            ptCame = q;
            break;
          }
          s = preds[mp][size_t(s - base[mp] * c_cStages)];
        }
        return fCame;
      };
      const bool fBack = fStrict && options.fAvoidUTurns && came();
      for (uint32_t k = net.firstArc[n]; k < net.firstArc[n + 1]; ++k) {
        if (fBack) {
          const MapPoint& q = net.nodePoints[net.arcTo[k]];
          if (q.x == ptCame.x && q.y == ptCame.y) continue;
        }
        const bool fEndsOnly = k < net.arcEndsOnly.size() && net.arcEndsOnly[k];
        // Stage 0 goes on into the other roads (stage 1), which go on into
        // the roads of the destination's run (stage 2), which stays there.
        const int nNext = fEndsOnly ? (nStage == 0 ? 0 : 2) : (nStage == 2 ? -1 : 1);
        if (nNext < 0) continue;
        relax(m, net.arcTo[k], nNext, d + net.arcCost[k], net.nodePoints[net.arcTo[k]]);
      }
      if (!net.keyed.empty() && !net.keyed[n]) continue;
      const uint64_t qwKey = net.KeyOf(n);
      if (!qwKey) continue;
      const MapPoint p = net.nodePoints[n];
      // The members whose rectangle holds the node (opened if need be), and
      // those open already whose keys lie around it: a road leaving a member
      // goes whole into the next, whose key for it may lie outside its own
      // rectangle (at the end of a road the destination lies on, say).
      for (uint32_t m2 = 0; m2 < cMaps; ++m2) {
        if (m2 == m) continue;
        if (base[m2] >= 0 ? !nets[m2]->keyBounds.Contains(p) : (!grown[m2].Contains(p) || !ensure(m2))) continue;
        int64_t n2 = nets[m2]->NodeOfKey(qwKey);
        if (n2 >= 0 && nets[m2]->cMapNodes && came()) n2 = nets[m2]->EnterFrom(uint32_t(n2), ptCame);
        if (n2 >= 0) relax(m2, uint32_t(n2), nStage, d, nets[m2]->nodePoints[size_t(n2)]);
      }
    }
    return gBest >= 0 ? 1 : 0;
  };
  // As a member's own search does: when the nearest road leads nowhere (a
  // courtyard closed to the vehicle, a one-way street leaving the map), the
  // next road at the start, at the destination, then at both.
  // The per-node labels may leave no way by that rule where a member's
  // search finds one: then the crossings are chosen without it.
  int nFound = 0;
  for (const bool fStrict : {true, false}) {
    for (const auto& t : {std::make_pair(false, false), std::make_pair(true, false), std::make_pair(false, true),
                          std::make_pair(true, true)}) {
      nFound = search(t.first, t.second, fStrict);
      if (nFound != 0) break;
    }
    if (nFound != 0) break;
  }
  if (nFound < 0) return false;
  result.cPopped = cPops;
  if (gBest < 0) return false;
  // The state a state was reached from (-1: a start).
  auto predOf = [&](int64_t s) {
    const uint32_t m = memberOf(s / c_cStages);
    return preds[m][size_t(s - base[m] * c_cStages)];
  };
  // The crossings along the path, from the start.
  for (int64_t sTo = gBest; sTo >= 0 && predOf(sTo) >= 0; sTo = predOf(sTo)) {
    const int64_t g = sTo / c_cStages, gFrom = predOf(sTo) / c_cStages;
    const uint32_t mTo = memberOf(g), mFrom = memberOf(gFrom);
    if (mTo == mFrom) continue;
    // The roads at the node: its neighbours in both members.
    std::vector<MapPoint> around;
    for (uint32_t mm : {mFrom, mTo}) {
      const RoadNet& net = *nets[mm];
      const uint32_t nn = uint32_t((mm == mFrom ? gFrom : g) - base[mm]);
      for (uint32_t k = net.firstArc[nn]; k < net.firstArc[nn + 1]; ++k) {
        const MapPoint q = net.nodePoints[net.arcTo[k]];
        bool fSeen = false;
        for (const MapPoint& a : around) fSeen |= a.x == q.x && a.y == q.y;
        if (!fSeen) around.push_back(q);
      }
    }
    result.crossings.push_back(RouteCrossing{nets[mFrom]->nodePoints[size_t(gFrom - base[mFrom])], mFrom, mTo, uint32_t(around.size())});
  }
  std::reverse(result.crossings.begin(), result.crossings.end());
  int64_t sFirst = gBest;
  while (predOf(sFirst) >= 0) sFirst = predOf(sFirst);
  const int64_t gFirst = sFirst / c_cStages;
  result.nFirstMember = memberOf(gFirst);
  return true;
}

