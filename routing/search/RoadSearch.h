// One route search over a map's road graph: where the two points meet the
// roads, the start and destination links, a least-cost search over links
// (its steps are the turns allowed from one link onto the next, taken as
// the search reaches them) and the route's points with their maneuvers. Everything a search adds or
// marks is its own; the graph is only read, so searches never disturb each
// other.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "routing/search/RoadGraph.h"

// Where a point meets the nearest road.
struct RoadSnap {
  MapPoint pt;
  bool fDestination = false;
  double fD2 = -1;             // best weighted squared distance, -1 = none yet
  bool fOneWay = false;
  uint32_t dwBlock = 0;
  uint32_t dwRoad = 0;
  uint32_t nPoint = 0;         // the nearest segment runs from point nPoint - 1 to nPoint
  MapPoint ptNearest{0, 0};
  MapPoint ptSegStart{0, 0};
  MapPoint ptSegEnd{0, 0};
  int32_t nPrevNode = -1;
  int32_t cPrevRPoint = -1;
  int32_t nNextNode = -1;
  int32_t cNextRPoint = -1;
  double fPrevLength = 0;      // previous node .. segment start, then .. nearest point
  double fNextLength = 0;      // segment end .. next node, then nearest point ..
  uint8_t btType = 0;
  uint16_t wAttributes = 0;
  uint8_t btAccess = 0;
  bool fWaitNext = false;
};

// Figures of the last search (diagnostics, benchmarks and tests).
struct RouteSearchStats {
  double msBuild = 0;      // graph build (0 when it was built already)
  double msSnap = 0;
  double msTotal = 0;
  uint32_t cLinks = 0;     // links of the search (graph and pseudo links)
  uint32_t cTurns = 0;     // turns the search looked at
  uint32_t cPopped = 0;    // links taken off the heap
  double fCost = -1;       // cost of the found route (the closing destination link excluded), -1 = none
  bool fSameRoad = false;  // both points on one road: no graph search
  double fOnNode = 0;      // a snapped point this near its node (map units) stands on it
  RoadSnap start;          // where the two points met the roads
  RoadSnap dest;
};

// How searches run.
struct RouteSearchSettings {
  // Most links a search may take off its heap (0 = no limit); a search
  // that reaches it fails as if no route existed.
  uint32_t cWorkLimit = 0;
  // Whether the map's turn restrictions, barrier nodes and roads kept to
  // the ends of a route bind the search.
  bool fUseRestrictions = true;
  // Whether the search is goal-directed (A*): each label's key adds a bound
  // of the cost still to come, the straight-line distance to the
  // destination at the graph's best quality (and, by time, at the fastest
  // speed of its roads). Off: the plain least-cost search, which the
  // goal-directed one must match in cost.
  bool fGoalDirected = true;
};

// The search's label of one link and stage: all zero bytes is unreached.
struct RouteLabel {
  uint32_t dwCost;  // RouteSearchScratch::PackCost(cost), 0 = unreached
  float fKey;       // cost + bound of the rest (the heap's order)
  int32_t nPred;    // the label it was reached from, -1 = none
  int32_t nHeap;    // position in the heap + 1, 0 = not queued
};
static_assert(sizeof(RouteLabel) == 16, "RouteLabel is 16 bytes");

// The large arrays of a search, indexed by label (three per link): lent by
// the owner of the graph to one search at a time and given back with every
// label unreached again, so that the next search starts without clearing
// (or faulting in) arrays the size of the graph.
struct RouteSearchScratch {
  // Zero is "unreached" and "not queued", so that the labels start as
  // memory fresh from the system (only the pages a search reaches are ever
  // touched); key and predecessor are read only for labels reached.
  CPodArray<RouteLabel> labels;
  // A cost (never negative) as a word that is never zero, and back.
  static uint32_t PackCost(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return ~u;
  }
  static float UnpackCost(uint32_t u) {
    u = ~u;
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
  }
  CPodArray<int32_t> heap;
  CPodArray<int32_t> touched;   // labels reached by the running search
  // Makes room for c labels, all unreached; false when memory ran out.
  bool Fit(size_t c);
  // Every label the running search reached unreached again.
  void Clear();
  size_t Bytes() const {
    return labels.Bytes() + heap.Bytes() + touched.Bytes();
  }
};

// Snapping points to their nearest roads on a walk over the roads: the
// search's own walk through the blocks near the points (CRoadSearch::Snap),
// or the walk that builds the graph. Finish() once the walk is over.
class CRoadSnapVisitor : public CRoadVisitor {
 public:
  // apSnap: at most two snaps with their points set; fCos: the graph's.
  CRoadSnapVisitor(RoadSnap* const* apSnap, size_t cSnaps, uint16_t wMask, double fCos,
                   const std::vector<uint32_t>* aExclude = nullptr);
  // The windows around the points: roads are candidates within them.
  const MapRect* GetWindows() const { return m_aWindow; }
  size_t GetWindowCount() const { return m_cSnaps; }
  bool OnRoad(const GraphRoad& road) override;
  // The lengths from the nearest points to the nodes on either side.
  void Finish();

 private:
  // Whether no point of the box is nearer the snap's point than its best
  // road so far (the distance weighted as NearestPointOnSegment weighs it).
  bool CannotBeNearer(const RoadSnap& snap, const MapRect& box) const;

  RoadSnap* const* m_apSnap;
  size_t m_cSnaps;
  MapRect m_aWindow[2];
  uint16_t m_wMask;
  double m_fCos;
  const std::vector<uint32_t>* m_aExclude;
};

class CRoadSearch {
 public:
  // pScratch: the arrays to use (null: the search's own).
  CRoadSearch(const CRoadGraph& graph, IRoadGraphReader& reader, const RouteSearchSettings& settings,
              RouteSearchScratch* pScratch = nullptr);
  CRoadSearch(const CRoadSearch&) = delete;
  CRoadSearch& operator=(const CRoadSearch&) = delete;

  // Snaps the points to their nearest roads the vehicle may use (wMask:
  // the attribute bits that close a road to it); at a node shared with a
  // road closed to the vehicle the open road is taken. Roads in
  // aExclude[s] (GraphRoad::dwRoad) are no candidates for snap s.
  static void Snap(IRoadGraphReader& reader, const CRoadGraph& graph, RoadSnap* apSnap[2], size_t cSnaps,
                   uint16_t wMask, const std::vector<uint32_t>* aExclude = nullptr);

  // The ways a route may leave a snapped start point: along its road in
  // the road's point order to the next node (fForward), against it to the
  // previous node (fBackward); one-way roads and the heading of a moving
  // start (options.fMotionValid) decide. fOnNode: a point this near its
  // node stands on it.
  static void StartWays(const RoadSnap& snap, const RouteOptions& options, double fCos, double fOnNode, bool& fForward,
                        bool& fBackward);
  // The nodes a route may reach a snapped destination from.
  static void DestinationWays(const RoadSnap& snap, double fOnNode, bool& fFromPrev, bool& fFromNext);

  // The search between two snapped points; the route's points are appended
  // to options.points. fMemory: false when memory ran out.
  bool Run(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options, uint16_t wMask,
           RouteProgress& progress, bool& fMemory);
  // Both points on one road: its points between them.
  void SameRoad(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options);
  // The links, the turns looked at and the pops of the last Run, and the
  // route's cost.
  uint32_t GetLinkCount() const { return uint32_t(m_cGraphLinks + m_extra.Size()); }
  uint32_t GetTurnCount() const { return m_cTurns; }
  uint32_t GetPopped() const { return m_cPopped; }
  double GetCost() const { return m_fCost; }

 private:
  // A link of the graph or of this search (after the graph's).
  const RoutingLink& Link(int32_t i) const {
    return size_t(i) < m_cGraphLinks ? m_pGraphLinks[i] : m_extra[size_t(i) - m_cGraphLinks];
  }
  const RestrictionRef& Ref(int32_t r) const {
    return size_t(r) < m_cGraphRefs ? m_pGraphRefs[r] : m_extraRefs[size_t(r) - m_cGraphRefs];
  }
  // Calls f(iLink) for each link leaving node n: those this search added
  // (the latest first), then the graph's.
  template <class F>
  void ForOutgoing(int32_t n, F f) const {
    for (size_t e = m_extra.Size(); e-- > 0;)
      if (m_extraOwner[e] == n) f(int32_t(m_cGraphLinks + e));
    if (n >= 0 && uint32_t(n) < m_cNodes)
      for (int32_t i = m_graph.GetNodes()[size_t(n)].nFirstLink; i >= 0; i = m_pGraphLinks[i].cNextLink) f(i);
  }
  int32_t LinksAt(int32_t n) const;
  bool AddLink(const RoutingLink& link, int32_t nOwnerNode);
  bool AttachRestriction(int32_t iLink, int32_t iRestriction);
  static RoutingLink SnapLink(const RoadSnap& snap);
  bool ConnectStart(const RoadSnap& snap, const RouteOptions& options);
  bool ConnectDestination(const RoadSnap& snap);
  bool Prepare();
  template <class F>
  void ForTurns(int32_t j, const RouteOptions& options, uint16_t wVehicle, F f);
  bool Search(const RouteOptions& options, uint16_t wMask, uint8_t btEnds, const MapPoint* pGoal,
              RouteProgress& progress);
  void Assemble(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options);
  bool IsForward(const RoutingLink& link) const;
  bool LinkPath(const RoutingLink& link, std::vector<MapPoint>& path, bool* pfAgainst);
  int32_t TowardNode(const RoutingLink& link) const;
  double RoadAngle(const RoutingLink& link, const MapPoint& ptRefA, const MapPoint& ptRefB);
  void AnalyseTurn(int32_t iIn, int32_t iOut, RouterPoint& point);
  // pLabel: the link's road label when the caller has it already.
  void FillPoint(RouterPoint& point, const MapPoint& pt, int32_t iLink, const std::u16string* pLabel = nullptr);
  std::u16string LinkLabel(int32_t iLink);
  // A road of the assembly and the turn analysis: the few read last are
  // kept (they ask for the same roads several times over).
  bool ReadRoad(uint32_t dwBlock, uint32_t dwRoad, GraphRoad& road);
  int32_t OutgoingCount(int32_t nNode) const;
  // The graph's link from node nFrom to nTo along the road, -1 = none.
  int32_t GraphLinkBetween(int32_t nFrom, int32_t nTo, uint32_t dwRoad) const;

  const CRoadGraph& m_graph;
  IRoadGraphReader& m_reader;
  const RouteSearchSettings m_settings;
  const uint32_t m_cNodes;          // graph nodes; the start pseudo-node is m_cNodes, the destination's next
  const double m_fCos;
  const RoutingLink* m_pGraphLinks;
  const size_t m_cGraphLinks;
  const RestrictionRef* m_pGraphRefs;
  const size_t m_cGraphRefs;
  // What the search adds: the links into and out of the pseudo-nodes with
  // the node each leaves (-3: the closing links, on no node's list), and the
  // restriction entries of the start links.
  CPodArray<RoutingLink> m_extra;
  CPodArray<int32_t> m_extraOwner;
  CPodArray<RestrictionRef> m_extraRefs;
  size_t m_iStartLink = 0;          // the closing start and destination links
  size_t m_iDestLink = 0;
  // The route found: the link before each of its links (the start link's
  // is -1), and its cost up to the destination link (-1 = none).
  std::unordered_map<int32_t, int32_t> m_routePred;
  float m_fDestCost = -1;
  struct KeptRoad {
    GraphRoad road;  // pPoints and pNodes point into the vectors below
    std::vector<MapPoint> points;
    std::vector<int32_t> nodes;
    std::u16string strLabel;
    bool fRead = false, fLabel = false;
  };
  std::array<KeptRoad, 8> m_keptRoads;
  size_t m_iNextKept = 0;
  int32_t RoutePred(int32_t iLink) const {
    auto it = m_routePred.find(iLink);
    return it == m_routePred.end() ? -1 : it->second;
  }
  // The search's labels: a link reached in one of three stages of the route
  // (three per link): still on roads kept to the ends at its start,
  // through, on such roads again towards its end.
  RouteSearchScratch m_ownScratch;
  RouteSearchScratch& m_scratch;
  const RoadSnap* m_pStart = nullptr;
  const RoadSnap* m_pDest = nullptr;
  uint32_t m_cPopped = 0;
  uint32_t m_cTurns = 0;
  double m_fCost = -1;
};
