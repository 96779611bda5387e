// The route search of one map: its road graph, built from the map's reader
// by the first request and kept, and the searches over it, one object each.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "routing/search/RoadGraph.h"
#include "routing/search/RoadSearch.h"

struct RoadNet;

class CRoadRouter {
 public:
  explicit CRoadRouter(IRoadGraphReader& reader) : m_reader(reader) {}
  CRoadRouter(const CRoadRouter&) = delete;
  CRoadRouter& operator=(const CRoadRouter&) = delete;

  // The road route between two points (appended to options.points): the
  // points snapped to the nearest roads the vehicle may use and, when one
  // of them leads nowhere, to the next road. False when there is none,
  // the user cancelled or memory ran out (reported).
  bool FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions& options, const MapProgress* pProgress);

  // The graph (built by the first request or by Build).
  bool Build(const MapProgress* pProgress, CRoadVisitor* pAlong = nullptr);
  bool IsBuilt() const { return m_graph.IsBuilt(); }
  const CRoadGraph& GetGraph() const { return m_graph; }
  uint32_t GetNodeCount() const { return m_graph.GetNodeCount(); }
  const CPodArray<RoutingNode>& GetNodes() const { return m_graph.GetNodes(); }
  const CPodArray<RoutingLink>& GetLinks() const { return m_graph.GetLinks(); }
  const CPodArray<TurnRestriction>& GetRestrictions() const { return m_graph.GetRestrictions(); }
  uint32_t GetDroppedRestrictions() const { return m_graph.GetDroppedRestrictions(); }
  double GetCosLatitude() const { return m_graph.GetCosLatitude(); }
  uint16_t BarrierAt(int32_t nNode) const { return m_graph.BarrierAt(nNode); }
  const RouteSearchStats& GetStats() const { return m_stats; }
  // The bytes of the graph and of the arrays its searches reuse.
  size_t MemoryBytes() const { return m_graph.MemoryBytes() + m_scratch.Bytes(); }

  // The graph (built when needed) as a view for searches over several
  // maps (CRoadGraph::FillRoadNet). False when it cannot be built.
  bool FillRoadNet(const RouteOptions& options, const MapProgress* pProgress, RoadNet& net);
  // The nodes of the road the point snaps to that a route may leave it to
  // (fDestination: reach it from), as the map's own search connects a
  // start or destination (fNext: the next road, as FindRoute falls back to
  // it), with their lengths to it along the road, and how far the point is
  // from the road.
  bool SnapNodes(MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                 std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad);

  void SetWorkLimit(uint32_t cPops) { m_settings.cWorkLimit = cPops; }
  void SetUseRestrictions(bool f) { m_settings.fUseRestrictions = f; }
  void SetGoalDirected(bool f) { m_settings.fGoalDirected = f; }

  static float LinkCost(float fLength, uint16_t wAttributes, bool fTimeBased) {
    return CRoadGraph::LinkCost(fLength, wAttributes, fTimeBased);
  }
  static uint16_t VehicleMask(int32_t nVehicle, bool fAvoidTolls) {
    return CRoadGraph::VehicleMask(nVehicle, fAvoidTolls);
  }
  static void SetAllocLimitForTests(size_t cb) { CRoadGraph::SetAllocLimitForTests(cb); }

 private:
  IRoadGraphReader& m_reader;
  CRoadGraph m_graph;
  RouteSearchSettings m_settings;
  RouteSearchStats m_stats;
  RouteSearchScratch m_scratch;  // lent to one search at a time
};
