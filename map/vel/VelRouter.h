// The road graph of a native map and the route search over it. The graph
// (nodes, directed links between consecutive nodes of a road, turn
// restrictions) is built on the first search of an open map and kept; each
// search adds the start and destination links, builds the dual links (a
// dual link is an allowed turn from one link onto another), runs a
// least-cost search over links and removes what it added.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "map/RouteOptions.h"
#include "map/vel/detail/VelFormat.h"

class CVelParser;

// A growable array of plain records in one block of memory; growth reports
// failure instead of aborting.
template <class T>
class CPodArray {
 public:
  CPodArray() = default;
  ~CPodArray() { std::free(m_p); }
  CPodArray(const CPodArray&) = delete;
  CPodArray& operator=(const CPodArray&) = delete;

  bool Reserve(size_t c);
  bool Push(const T& v) {
    if (m_c == m_cAlloc && !Reserve(m_cAlloc ? m_cAlloc * 2 : 16)) return false;
    m_p[m_c++] = v;
    return true;
  }
  void Resize(size_t c) { m_c = c <= m_c ? c : m_c; }  // shrinks only
  void Free() {
    std::free(m_p);
    m_p = nullptr;
    m_c = m_cAlloc = 0;
  }
  size_t Size() const { return m_c; }
  T* Data() { return m_p; }
  const T* Data() const { return m_p; }
  T& operator[](size_t i) { return m_p[i]; }
  const T& operator[](size_t i) const { return m_p[i]; }

 private:
  T* m_p = nullptr;
  size_t m_c = 0;
  size_t m_cAlloc = 0;
};

// A graph node; the last two of the array are the start and destination
// pseudo-nodes.
struct RoutingNode {
  int32_t nIndex;      // own index; -1 start, -2 destination pseudo-node
  int32_t cRealNode;   // the real node it stands for
  int32_t nFirstLink;  // head of the outgoing links, -1 = none
  int32_t cLinks;      // links touching the node
};
static_assert(sizeof(RoutingNode) == 16, "");

const int32_t c_nStartLink = -1;  // cLink of links to or from a pseudo-node

// RoutingLink::btAccess: the road is unpaved (a track, an unpaved surface);
// the other bits, one per vehicle, say that the vehicle may use the road
// only where a route starts or ends on it (destination, private...).
const uint8_t c_btLinkUnpaved = 0x01;
const int32_t c_nDestLink = -2;

// A directed road piece between two consecutive nodes of one road.
struct RoutingLink {
  int32_t nHeapPos;     // position in the search heap, -1 = not queued
  int32_t cLink;        // own index; -1 for links to or from a pseudo-node
  int32_t cRealNode;    // node it arrives at (pseudo-nodes: -1 start, -2 destination)
  int32_t cFromNode;    // node it leaves
  int32_t nArrival;     // index of the arrival node in the node array
  int32_t cNextLink;    // next outgoing link of the node it leaves, -1 = end
  float fLength;        // map units
  uint16_t wAttributes;
  uint8_t btType;       // road type (above 255 stored as 255)
  uint8_t btAccess;     // c_btLinkUnpaved and the vehicles kept to the route's ends (LinkThroughBit)
  uint32_t dwBlock;     // offset of the road's block header
  uint32_t dwRoad;      // offset of the road record
  uint32_t nStartPoint; // point indices in the road (start > end: against the point order)
  uint32_t nEndPoint;
  int32_t nRestrict;    // head of the restriction entries, -1 = none
  float fCost;          // -1 = unreached
  int32_t nPred;        // predecessor (array position), -1 = none
  int32_t nReachDual;   // dual link it was reached by, -1 = none
  int32_t nFirstDual;   // first dual link leaving it, -1 = none
};
static_assert(sizeof(RoutingLink) == 68, "");
static_assert(offsetof(RoutingLink, fLength) == 24 && offsetof(RoutingLink, dwBlock) == 32, "");
static_assert(offsetof(RoutingLink, fCost) == 52 && offsetof(RoutingLink, nFirstDual) == 64, "");

// One record of the map's turn restriction table: arriving at cNode from
// cFromNode along road cFromRoad, a vehicle may not go on along road
// cToRoad towards cToNode.
struct TurnRestriction {
  int32_t cFromNode;
  int32_t cNode;
  int32_t cToNode;
  uint32_t cFromRoad;  // road record offsets
  uint32_t cToRoad;
};
static_assert(sizeof(TurnRestriction) == 20, "");

// An entry of a link's restriction list (one restriction may sit on
// several links).
struct RestrictionRef {
  int32_t iRestriction;
  int32_t nNext;
};

struct RoutingDualLink {
  int32_t nFrom;      // array positions of the links
  int32_t nTo;
  int32_t cNextLink;  // next dual link leaving the same link, -1 = end
};
static_assert(sizeof(RoutingDualLink) == 12, "");

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
  uint32_t cDualLinks = 0;
  uint32_t cPopped = 0;    // links taken off the heap
  double fCost = -1;       // cost of the found route (the closing destination link excluded), -1 = none
  bool fSameRoad = false;  // both points on one road: no graph search
  double fOnNode = 0;      // a snapped point this near its node (map units) stands on it
  RoadSnap start;          // where the two points met the roads
  RoadSnap dest;
};

class CVelRouter {
 public:
  explicit CVelRouter(CVelParser& parser);
  ~CVelRouter() = default;
  CVelRouter(const CVelRouter&) = delete;
  CVelRouter& operator=(const CVelRouter&) = delete;

  bool FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions& options, const MapProgress* pProgress);

  // The graph (built by the first search or by Build).
  bool Build(const MapProgress* pProgress);
  bool IsBuilt() const { return m_fBuilt; }
  uint32_t GetNodeCount() const { return m_cNodes; }
  const CPodArray<RoutingNode>& GetNodes() const { return m_nodes; }
  const CPodArray<RoutingLink>& GetLinks() const { return m_links; }
  const CPodArray<TurnRestriction>& GetRestrictions() const { return m_restrictions; }
  uint32_t GetDroppedRestrictions() const { return m_cDroppedRestrictions; }
  const RouteSearchStats& GetStats() const { return m_stats; }
  // The graph (built when needed) as a read-only view with the arcs the
  // options let the vehicle drive and their costs (turn restrictions left
  // out: the view chooses where a route crosses between maps, the search
  // here drives it). False when the graph cannot be built.
  bool FillRoadNet(const RouteOptions& options, const MapProgress* pProgress, struct RoadNet& net);
  // The nodes of the road the point snaps to (fNext: the next road, as
  // FindRoute falls back to it), with their lengths to it along the road,
  // and how far the point is from the road.
  bool SnapNodes(MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                 std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad);
  double GetCosLatitude() const { return m_fCos; }

  // Most links a search may take off its heap (0 = no limit); a search
  // that reaches it fails as if no route existed.
  void SetWorkLimit(uint32_t cPops) { m_cWorkLimit = cPops; }
  // Whether the map's turn restrictions, barrier nodes and roads kept to
  // the ends of a route bind the search (on by default; comparisons with
  // searches that know none turn them off).
  void SetUseRestrictions(bool f) { m_fUseRestrictions = f; }
  // Whether the search is goal-directed (A*, on by default): each label's
  // key adds a bound of the cost still to come, the straight-line distance
  // to the destination at the map's best quality (and, by time, at the
  // fastest speed of its roads). Off: the plain least-cost search, which
  // the goal-directed one must match in cost.
  void SetGoalDirected(bool f) { m_fGoalDirected = f; }

  // The cost of a link of length fLength (map units) and attribute word.
  static float LinkCost(float fLength, uint16_t wAttributes, bool fTimeBased);
  // The attribute bits that forbid a link to the vehicle (and toll roads).
  static uint16_t VehicleMask(int32_t nVehicle, bool fAvoidTolls);
  // The bit of RoutingLink::btAccess that keeps a vehicle to the route's
  // ends (0: no vehicle of the mask has one), and the link's bits from a
  // road access record (attribute bits 8-15 >> 8, c_btAccessUnpaved).
  static uint8_t LinkThroughBit(int32_t nVehicle);
  static uint8_t LinkAccess(uint8_t btThrough, uint8_t btFlags);
  // Graph nodes the vehicles of the mask may not pass (none: 0).
  uint16_t BarrierAt(int32_t nNode) const {
    return nNode >= 0 && size_t(nNode) < m_barriers.Size() ? m_barriers[size_t(nNode)] : 0;
  }
  static int SpeedOfClass(unsigned nClass);
  // Memory the graph and search may take, in bytes (0 = no limit): tests
  // make allocations fail with it.
  static void SetAllocLimitForTests(size_t cb);

 private:
  struct Progress;
  struct RoadView;

  bool ReserveCounted(const MapProgress* pProgress, Progress& progress, size_t& cLinks);
  bool AddRoadLinks(const struct VelRecord& rec, const MapPoint* pPoints, const int32_t* pNodes, uint32_t dwBlock);
  bool ReadRestrictions();
  bool ReadAccessTable();
  uint8_t AccessOfRoad(uint32_t dwRoad) const;
  bool AttachRestriction(int32_t iLink, int32_t iRestriction);
  // Snaps the points to their nearest roads; at a node shared with a road
  // closed to the vehicle (wMask) the open road is taken.
  // Roads in aExclude[s] (record offsets) are no candidates for snap s.
  void Snap(RoadSnap* apSnap[2], size_t cSnaps, uint16_t wMask, const std::vector<uint32_t>* aExclude = nullptr);
  static bool IsBetterSnap(const RoadSnap& snap, double d2, bool fOpen, uint16_t wMask);
  bool SearchFromSnaps(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options, uint16_t wMask,
                       Progress& progress, bool& fMemory);
  bool AddLink(const RoutingLink& link, int32_t nOwnerNode);
  static RoutingLink SnapLink(const RoadSnap& snap);
  bool ConnectStart(const RoadSnap& snap, const RouteOptions& options);
  bool ConnectDestination(const RoadSnap& snap);
  bool BuildDualLinks(const RouteOptions& options, Progress& progress);
  bool Search(uint16_t wMask, bool fTimeBased, uint8_t btEnds, bool fAvoidUnpaved, const MapPoint* pGoal);
  void Assemble(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options);
  void SameRoad(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options);
  void Cleanup();
  bool ReadRoad(uint32_t dwBlock, uint32_t dwRoad, RoadView& road);
  double RoadAngle(const RoutingLink& link, const MapPoint& ptRefA, const MapPoint& ptRefB);
  bool IsForward(const RoutingLink& link) const;
  bool LinkPath(const RoutingLink& link, std::vector<MapPoint>& path, bool* pfAgainst);
  int32_t TowardNode(const RoutingLink& link) const;
  void AnalyseTurn(int32_t iIn, int32_t iOut, RouterPoint& point);
  // pLabel: the link's road label when the caller has it already.
  void FillPoint(RouterPoint& point, const MapPoint& pt, int32_t iLink, const std::u16string* pLabel = nullptr);
  std::u16string LinkLabel(int32_t iLink);
  int32_t OutgoingCount(int32_t nNode) const;
  bool OutOfMemory();

  CVelParser& m_parser;
  bool m_fBuilt = false;
  uint32_t m_cNodes = 0;
  double m_fCos = 1;            // cos of the map's centre latitude
  CPodArray<RoutingNode> m_nodes;
  CPodArray<RoutingLink> m_links;
  CPodArray<TurnRestriction> m_restrictions;
  CPodArray<RestrictionRef> m_restrictRefs;
  CPodArray<uint16_t> m_barriers;     // per graph node (empty: the map has none)
  CPodArray<MapPoint> m_nodePoints;   // per graph node, for the goal-directed bound
  int m_nMaxSpeedClass = 0;           // the fastest road of the graph
  float m_fMaxQuality = 1;            // the best quality factor of the graph
  bool m_fGoalDirected = true;
  const vel::VelRoadAccess* m_pAccess = nullptr;  // the map's road access records, sorted
  uint32_t m_cAccess = 0;
  uint32_t m_cDroppedRestrictions = 0;
  // Per search.
  size_t m_cGraphLinks = 0;     // links of the graph proper
  size_t m_cGraphRefs = 0;      // restriction entries of the graph proper
  size_t m_iStartLink = 0;      // array positions of the start and destination link
  size_t m_iDestLink = 0;
  CPodArray<RoutingDualLink> m_dual;
  CPodArray<int32_t> m_heap;
  // The search's labels: a link reached in one of three stages of the route
  // (c_cStages per link): still on roads kept to the ends at its start,
  // through, on such roads again towards its end.
  CPodArray<float> m_labelCost;
  CPodArray<int32_t> m_labelPred;
  CPodArray<int32_t> m_labelDual;
  CPodArray<int32_t> m_labelHeap;
  CPodArray<float> m_labelKey;        // cost + bound of the rest (the heap's order)
  uint32_t m_cWorkLimit = 0;
  bool m_fUseRestrictions = true;
  double m_fOnNode = 0;                 // a point this near a node (map units) is on it
  const RoadSnap* m_pStart = nullptr;  // the snaps of the running search
  const RoadSnap* m_pDest = nullptr;
  RouteSearchStats m_stats;
};
