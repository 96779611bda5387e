// The road graph of a map: its nodes, the directed links between
// consecutive nodes of a road, the turn restrictions on the links and the
// barrier nodes. Built once from the map's reader and then only read: every
// search keeps its own state (CRoadSearch), so one graph serves them all.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "map/MapParser.h"
#include "map/RouteOptions.h"
#include "routing/search/RoadGraphReader.h"

struct RoadNet;

// Splits the nodes of a road graph view where turns are forbidden
// ((via, from, to) nodes; sorted here): see RoadNet::cMapNodes.
void SplitRestrictedNodes(std::vector<std::array<uint32_t, 3>>& bans, RoadNet& net);

// Whether an array of the graph or a search may grow to cb bytes (tests
// set a limit to make allocations fail).
bool RouteAllocAllowed(size_t cb);
// Distance in map units as the road graph measures it (east-west scaled by
// fCos, the cosine of the latitude).
double RouteDistance(const MapPoint& a, const MapPoint& b, double fCos);
// Reports that memory ran out for a route; false, for the caller to return.
bool ReportRouteNoMemory();
// A steady clock in milliseconds (the search's timings).
double RouteClockMs();

// A growable array of plain records in one block of memory; growth reports
// failure instead of aborting.
template <class T>
class CPodArray {
 public:
  CPodArray() = default;
  ~CPodArray() { std::free(m_p); }
  CPodArray(const CPodArray&) = delete;
  CPodArray& operator=(const CPodArray&) = delete;

  bool Reserve(size_t c) {
    if (c <= m_cAlloc) return true;
    if (c > SIZE_MAX / sizeof(T) / 2 || !RouteAllocAllowed(c * sizeof(T))) return false;
    T* p = static_cast<T*>(std::realloc(m_p, c * sizeof(T)));
    if (!p) return false;
    m_p = p;
    m_cAlloc = c;
    return true;
  }
  bool Push(const T& v) {
    if (m_c == m_cAlloc && !Reserve(m_cAlloc ? m_cAlloc * 2 : 16)) return false;
    m_p[m_c++] = v;
    return true;
  }
  // Sets the size to c with every element v.
  bool Assign(size_t c, const T& v) {
    if (!Reserve(c)) return false;
    for (size_t i = 0; i < c; ++i) m_p[i] = v;
    m_c = c;
    return true;
  }
  void Resize(size_t c) { m_c = c <= m_c ? c : m_c; }  // shrinks only
  // Gives back the room past the size.
  void ShrinkToFit() {
    if (m_c == m_cAlloc || m_c == 0) return;
    if (T* p = static_cast<T*>(std::realloc(m_p, m_c * sizeof(T)))) {
      m_p = p;
      m_cAlloc = m_c;
    }
  }
  // Sets the size to c, every element's bytes zero. Memory fresh from the
  // system is zero already, so pages of it never written cost nothing.
  bool AssignZeroed(size_t c) {
    if (c > SIZE_MAX / sizeof(T) / 2 || !RouteAllocAllowed(c * sizeof(T))) return false;
    Free();
    T* p = static_cast<T*>(std::calloc(c ? c : 1, sizeof(T)));
    if (!p) return false;
    m_p = p;
    m_c = m_cAlloc = c;
    return true;
  }
  void Free() {
    std::free(m_p);
    m_p = nullptr;
    m_c = m_cAlloc = 0;
  }
  size_t Size() const { return m_c; }
  size_t Bytes() const { return m_cAlloc * sizeof(T); }
  T* Data() { return m_p; }
  const T* Data() const { return m_p; }
  T& operator[](size_t i) { return m_p[i]; }
  const T& operator[](size_t i) const { return m_p[i]; }

 private:
  T* m_p = nullptr;
  size_t m_c = 0;
  size_t m_cAlloc = 0;
};

// A graph node. A search numbers its start and destination pseudo-nodes
// after the graph's nodes.
struct RoutingNode {
  int32_t nFirstLink;  // head of the outgoing links, -1 = none
  int32_t cLinks;      // links touching the node
};
static_assert(sizeof(RoutingNode) == 8, "");

const int32_t c_nStartLink = -1;  // cLink of links to or from a pseudo-node
const int32_t c_nDestLink = -2;

// RoutingLink::btAccess: the road is unpaved (a track, an unpaved surface);
// the other bits, one per vehicle, say that the vehicle may use the road
// only where a route starts or ends on it (destination, private...).
const uint8_t c_btLinkUnpaved = 0x01;

// A directed road piece between two consecutive nodes of one road.
struct RoutingLink {
  int32_t cLink;        // own index; -1 for links to or from a pseudo-node
  int32_t cRealNode;    // node it arrives at (pseudo-nodes: -1 start, -2 destination)
  int32_t cFromNode;    // node it leaves
  int32_t nArrival;     // index of the arrival node (pseudo-nodes after the graph's)
  int32_t cNextLink;    // next outgoing link of the node it leaves, -1 = end
  float fLength;        // map units
  uint16_t wAttributes;
  uint8_t btType;       // road type (above 255 stored as 255)
  uint8_t btAccess;     // c_btLinkUnpaved and the vehicles kept to the route's ends (LinkThroughBit)
  uint32_t dwBlock;     // the road (GraphRoad::dwBlock, dwRoad)
  uint32_t dwRoad;
  uint32_t nStartPoint; // point indices in the road (start > end: against the point order)
  uint32_t nEndPoint;
  int32_t nRestrict;    // head of the restriction entries, -1 = none
};
static_assert(sizeof(RoutingLink) == 48, "");
static_assert(offsetof(RoutingLink, fLength) == 20 && offsetof(RoutingLink, dwBlock) == 28, "");
static_assert(offsetof(RoutingLink, nRestrict) == 44, "");

// An entry of a link's restriction list (one restriction may sit on
// several links).
struct RestrictionRef {
  int32_t iRestriction;
  int32_t nNext;
};

// The progress range of a graph build or a search, advanced by fractions.
struct RouteProgress {
  const MapProgress* p;
  int32_t nLast = INT32_MIN;
  explicit RouteProgress(const MapProgress* pProgress) : p(pProgress) {}
  // False when the user cancelled.
  bool Set(double f);
  bool Cancelled() const { return p && p->IsCancelled(); }
};

class CRoadGraph {
 public:
  CRoadGraph() = default;
  CRoadGraph(const CRoadGraph&) = delete;
  CRoadGraph& operator=(const CRoadGraph&) = delete;

  // Reads the graph from the map (the first 60 % of the progress range);
  // false when the map has none, memory ran out (reported) or the user
  // cancelled. pAlong, if any, sees every road of the walk too (a snap that
  // needs the roads as well spares a walk of its own).
  bool Build(IRoadGraphReader& reader, const MapProgress* pProgress, CRoadVisitor* pAlong = nullptr);
  bool IsBuilt() const { return m_fBuilt; }
  double GetBuildMs() const { return m_msBuild; }

  uint32_t GetNodeCount() const { return m_cNodes; }
  const CPodArray<RoutingNode>& GetNodes() const { return m_nodes; }
  const CPodArray<RoutingLink>& GetLinks() const { return m_links; }
  const CPodArray<TurnRestriction>& GetRestrictions() const { return m_restrictions; }
  const CPodArray<RestrictionRef>& GetRestrictionRefs() const { return m_restrictRefs; }
  uint32_t GetDroppedRestrictions() const { return m_cDroppedRestrictions; }
  const MapPoint& NodePoint(size_t n) const { return m_nodePoints[n]; }
  // cos of the map's centre latitude: east-west distances are scaled by it.
  double GetCosLatitude() const { return m_fCos; }
  // A snapped point this near its node (map units) stands on it.
  double GetOnNode() const { return m_fOnNode; }
  int GetMaxSpeedClass() const { return m_nMaxSpeedClass; }
  float GetMaxQuality() const { return m_fMaxQuality; }
  // The vehicle bits of the attribute word that may not pass the node.
  uint16_t BarrierAt(int32_t nNode) const {
    return nNode >= 0 && size_t(nNode) < m_barriers.Size() ? m_barriers[size_t(nNode)] : 0;
  }
  // The bytes the graph holds.
  size_t MemoryBytes() const;

  // The graph as a read-only view with the arcs the options let the
  // vehicle drive and their costs (the view chooses where a route crosses
  // between maps, the map's own search drives it), with the map's border
  // keys. fUseRestrictions: barriers, roads kept to the ends and the turn
  // restrictions bind.
  void FillRoadNet(IRoadGraphReader& reader, const RouteOptions& options, bool fUseRestrictions,
                   RoadNet& net) const;

  // The cost of a link of length fLength (map units) and attribute word.
  static float LinkCost(float fLength, uint16_t wAttributes, bool fTimeBased);
  // The attribute bits that forbid a link to the vehicle (and toll roads).
  static uint16_t VehicleMask(int32_t nVehicle, bool fAvoidTolls);
  // The bit of RoutingLink::btAccess that keeps a vehicle to the route's
  // ends (0: no vehicle of the mask has one), and the link's bits from a
  // road's access record (the vehicles kept to the ends, one bit each as
  // the map stores them, and whether the road is unpaved).
  static uint8_t LinkThroughBit(int32_t nVehicle);
  static uint8_t LinkAccess(uint8_t btThrough, bool fUnpaved);
  static int SpeedOfClass(unsigned nClass);
  // cos of the latitude of a rectangle's centre (at least 1e-6).
  static double CosOfLatitude(const MapRect& r);
  static float QualityOfClass(unsigned nClass);
  // Memory the graph and search may take, in bytes (0 = no limit): tests
  // make allocations fail with it.
  static void SetAllocLimitForTests(size_t cb);

 private:
  class Loader;
  bool AddLink(const RoutingLink& link, int32_t nOwnerNode);
  bool AddRoadLinks(const GraphRoad& road);
  bool AttachRestriction(int32_t iLink, int32_t iRestriction);
  bool ReadRestrictions(IRoadGraphReader& reader);
  bool ReadBarriers(IRoadGraphReader& reader);

  bool m_fBuilt = false;
  double m_msBuild = 0;
  uint32_t m_cNodes = 0;
  double m_fCos = 1;
  double m_fOnNode = 0;
  CPodArray<RoutingNode> m_nodes;
  CPodArray<RoutingLink> m_links;
  CPodArray<TurnRestriction> m_restrictions;
  CPodArray<RestrictionRef> m_restrictRefs;
  CPodArray<uint16_t> m_barriers;     // per graph node (empty: the map has none)
  CPodArray<MapPoint> m_nodePoints;   // per graph node, for the goal-directed bound
  int m_nMaxSpeedClass = 0;           // the fastest road of the graph
  float m_fMaxQuality = 1;            // the best quality factor of the graph
  uint32_t m_cDroppedRestrictions = 0;
};
