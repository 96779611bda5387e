#include "routing/search/RoadRouter.h"

#include <cmath>
#include <cstdio>

#include "map/RoadNet.h"
#include "platform/Debug.h"
#include "view/MapUnits.h"

namespace {

void TraceMs(const char* pszWhat, double ms) {
  char sz[96];
  std::snprintf(sz, sizeof sz, "%s=%.2f ms\n", pszWhat, ms);
  platform::DebugOutputA(sz);
}

}  // namespace

bool CRoadRouter::Build(const MapProgress* pProgress, CRoadVisitor* pAlong) {
  if (m_graph.IsBuilt()) return true;
  if (!m_graph.Build(m_reader, pProgress, pAlong)) return false;
  m_stats.msBuild = m_graph.GetBuildMs();
  return true;
}

bool CRoadRouter::FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions& options, const MapProgress* pProgress) {
  m_stats = RouteSearchStats{};
  if (!m_reader.GetGraphNodeCount()) return false;
  const double fCos = CRoadGraph::CosOfLatitude(m_reader.GetGraphRect());
  // Closer than 20 m: no route (the east-west term scaled by cos, not cos²),
  // unless it is a leg of a longer route.
  if (!options.fLeg) {
    const double dx = double(ptEnd.x) - ptStart.x, dy = double(ptEnd.y) - ptStart.y;
    if (std::sqrt(dx * dx * fCos + dy * dy) < MetresToMap(20.0)) return false;
  }
  const double t0 = RouteClockMs();
  const uint16_t wMask = CRoadGraph::VehicleMask(options.nVehicle, options.fAvoidTolls != 0);
  RoadSnap start, dest;
  start.pt = ptStart;
  dest.pt = ptEnd;
  dest.fDestination = true;
  RoadSnap* apSnap[2] = {&start, &dest};
  // A graph still to be built: its walk over the roads snaps the points too.
  const bool fBuilt = m_graph.IsBuilt();
  CRoadSnapVisitor snapAlong(apSnap, 2, wMask, fCos);
  if (!Build(pProgress, fBuilt ? nullptr : &snapAlong)) return false;
  RouteProgress progress(pProgress);
  if (!progress.Set(0.6)) return false;

  const double tSnap = RouteClockMs();
  if (fBuilt) CRoadSearch::Snap(m_reader, m_graph, apSnap, 2, wMask);
  else snapAlong.Finish();
  m_stats.msSnap = RouteClockMs() - tSnap;
  TraceMs("find source and dest", m_stats.msSnap);
  m_stats.start = start;
  m_stats.dest = dest;
  m_stats.fOnNode = m_graph.GetOnNode();
  if (!progress.Set(0.8)) return false;
  if (dest.fD2 < 0 || start.fD2 < 0 || start.nPrevNode < 0 || dest.nPrevNode < 0) return false;

  CRoadSearch search(m_graph, m_reader, m_settings, &m_scratch);
  // Both on one road: its points between them, unless the road forbids the
  // vehicle or is one-way against the direction from start to destination
  // (then the search goes round by the graph).
  if (start.dwRoad == dest.dwRoad && start.dwBlock == dest.dwBlock && !(start.wAttributes & wMask)) {
    bool fForward = start.nPoint < dest.nPoint ||
                    (start.nPoint == dest.nPoint &&
                     RouteDistance(start.ptSegStart, start.ptNearest, fCos) <= RouteDistance(dest.ptSegStart, dest.ptNearest, fCos));
    if (!start.fOneWay || fForward) {
      search.SameRoad(start, dest, options);
      m_stats.fSameRoad = true;
      m_stats.msTotal = RouteClockMs() - t0;
      TraceMs("Total", m_stats.msTotal);
      return true;
    }
  }

  auto run = [&](const RoadSnap& a, const RoadSnap& b, bool& fMemory) {
    const bool fOk = search.Run(a, b, options, wMask, progress, fMemory);
    m_stats.cLinks = search.GetLinkCount();
    m_stats.cTurns = search.GetTurnCount();
    m_stats.cPopped = search.GetPopped();
    if (fOk) m_stats.fCost = search.GetCost();
    return fOk;
  };
  bool fMemory = true;
  bool fOk = run(start, dest, fMemory);
  // A road that leads nowhere (a one-way street leaving the map, a piece cut
  // off by barriers): the next road near the point is tried, at the start,
  // at the destination, then at both.
  if (!fOk && fMemory && !progress.Cancelled()) {
    RoadSnap startNext, destNext;
    startNext.pt = start.pt;
    destNext.pt = dest.pt;
    destNext.fDestination = true;
    RoadSnap* apNext[2] = {&startNext, &destNext};
    std::vector<uint32_t> aExclude[2] = {{start.dwRoad}, {dest.dwRoad}};
    CRoadSearch::Snap(m_reader, m_graph, apNext, 2, wMask, aExclude);
    const bool fStartNext = startNext.fD2 >= 0 && startNext.nPrevNode >= 0;
    const bool fDestNext = destNext.fD2 >= 0 && destNext.nPrevNode >= 0;
    const RoadSnap* aTries[3][2] = {{fStartNext ? &startNext : nullptr, &dest},
                                    {&start, fDestNext ? &destNext : nullptr},
                                    {fStartNext ? &startNext : nullptr, fDestNext ? &destNext : nullptr}};
    for (const auto& t : aTries) {
      if (fOk || !fMemory || progress.Cancelled()) break;
      if (!t[0] || !t[1]) continue;
      m_stats.start = *t[0];
      m_stats.dest = *t[1];
      fOk = run(*t[0], *t[1], fMemory);
    }
  }
  if (!fMemory) return ReportRouteNoMemory();
  m_stats.msTotal = RouteClockMs() - t0;
  if (fOk) TraceMs("Total", m_stats.msTotal);
  return fOk;
}

bool CRoadRouter::FillRoadNet(const RouteOptions& options, const MapProgress* pProgress, RoadNet& net) {
  if (!Build(pProgress)) return false;
  m_graph.FillRoadNet(m_reader, options, m_settings.fUseRestrictions, net);
  return true;
}

bool CRoadRouter::SnapNodes(MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                            std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad) {
  nodes.clear();
  if (!Build(nullptr)) return false;
  const uint32_t cNodes = m_graph.GetNodeCount();
  const uint16_t wMask = CRoadGraph::VehicleMask(options.nVehicle, options.fAvoidTolls != 0);
  RoadSnap snap;
  snap.pt = pt;
  snap.fDestination = fDestination;
  RoadSnap* apSnap[2] = {&snap, nullptr};
  CRoadSearch::Snap(m_reader, m_graph, apSnap, 1, wMask);
  if (snap.fD2 < 0) return false;
  if (fNext) {
    const std::vector<uint32_t> aExclude[2] = {{snap.dwRoad}, {}};
    snap = RoadSnap();
    snap.pt = pt;
    snap.fDestination = fDestination;
    CRoadSearch::Snap(m_reader, m_graph, apSnap, 1, wMask, aExclude);
    if (snap.fD2 < 0 || snap.nPrevNode < 0) return false;
  }
  if (pfOffRoad) *pfOffRoad = RouteDistance(pt, snap.ptNearest, m_graph.GetCosLatitude());
  // Only the nodes a route may leave the start to, or reach the
  // destination from, as the map's own search connects them: a one-way road
  // is driven its way only.
  bool fPrevNode = false, fNextNode = false;
  if (fDestination) CRoadSearch::DestinationWays(snap, m_graph.GetOnNode(), fPrevNode, fNextNode);
  else CRoadSearch::StartWays(snap, options, m_graph.GetCosLatitude(), m_graph.GetOnNode(), fNextNode, fPrevNode);
  if (fPrevNode && snap.nPrevNode >= 0 && uint32_t(snap.nPrevNode) < cNodes)
    nodes.emplace_back(uint32_t(snap.nPrevNode), float(snap.fPrevLength));
  if (fNextNode && snap.nNextNode >= 0 && uint32_t(snap.nNextNode) < cNodes)
    nodes.emplace_back(uint32_t(snap.nNextNode), float(snap.fNextLength));
  return !nodes.empty();
}
