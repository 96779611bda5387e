#include "routing/search/RoadGraph.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "map/RoadNet.h"
#include "platform/Debug.h"
#include "platform/SystemInfo.h"
#include "res/Failure.h"
#include "view/MapUnits.h"
#include "view/PtAlgo.h"

namespace {

const uint32_t c_idsNoMemory = 2127;
const double c_fPiRoute = 3.1415927;
const uint16_t c_wOneWay = 0x40;
const uint8_t c_btHighway = 1;
const uint8_t c_btUnpaved = 10;
const float c_fTiny = 0.00001f;

const int c_aSpeed[8] = {5, 20, 40, 60, 80, 90, 110, 140};
const float c_aQuality[8] = {0.5f, 0.7f, 0.9f, 1.0f, 1.2f, 1.0f, 1.0f, 1.0f};
const uint16_t c_aVehicleBit[8] = {0x2000, 0x4000, 0x0400, 0x1000, 0x0800, 0x0100, 0x0200, 0x8000};

size_t s_cbAllocLimit = 0;

}  // namespace

double RouteClockMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double RouteDistance(const MapPoint& a, const MapPoint& b, double fCos) {
  const double dx = (double(b.x) - a.x) * fCos, dy = double(b.y) - a.y;
  return std::sqrt(dx * dx + dy * dy);
}

bool ReportRouteNoMemory() {
  ReportFailure(c_idsNoMemory, std::u16string(), 0);
  return false;
}

bool RouteAllocAllowed(size_t cb) { return !s_cbAllocLimit || cb <= s_cbAllocLimit; }

void CRoadGraph::SetAllocLimitForTests(size_t cb) { s_cbAllocLimit = cb; }

bool RouteProgress::Set(double f) {
  if (!p) return true;
  int32_t n = int32_t(p->nFrom + (double(p->nTo) - p->nFrom) * f);
  if (n != nLast && p->pfnSetPos) p->SetPos(n);
  nLast = n;
  return !p->IsCancelled();
}

double CRoadGraph::CosOfLatitude(const MapRect& r) {
  const double f = std::cos((double(r.top) + r.bottom) / 2 * c_fPiRoute / 1073741824.0);
  return f > 1e-6 ? f : 1e-6;
}

int CRoadGraph::SpeedOfClass(unsigned nClass) { return c_aSpeed[nClass & 7]; }

float CRoadGraph::QualityOfClass(unsigned nClass) { return c_aQuality[nClass & 7]; }

float CRoadGraph::LinkCost(float fLength, uint16_t wAttributes, bool fTimeBased) {
  const float q = c_aQuality[(wAttributes >> 3) & 7];
  if (!fTimeBased) return fLength / q;
  const float v = float(c_aSpeed[wAttributes & 7]);
  float f = (fLength / (v * 10.0f / 36.0f)) / q;
  return f < 1.0f ? 1.0f : f;
}

uint8_t CRoadGraph::LinkThroughBit(int32_t nVehicle) {
  // emergency .. taxi at bits 1-5, bicycle 6, truck 7; pedestrians none.
  static const uint8_t c_abBit[8] = {0, 0x40, 0x08, 0x20, 0x10, 0x02, 0x04, 0x80};
  return (nVehicle >= 0 && nVehicle < 8) ? c_abBit[nVehicle] : 0;
}

uint8_t CRoadGraph::LinkAccess(uint8_t btThrough, bool fUnpaved) {
  return uint8_t(((btThrough & 0x1F) << 1) | (btThrough & 0xC0) | (fUnpaved ? c_btLinkUnpaved : 0));
}

uint16_t CRoadGraph::VehicleMask(int32_t nVehicle, bool fAvoidTolls) {
  uint16_t w = (nVehicle >= 0 && nVehicle < 8) ? c_aVehicleBit[nVehicle] : 0;
  if (fAvoidTolls) w |= 0x0080;
  return w;
}

size_t CRoadGraph::MemoryBytes() const {
  return m_nodes.Bytes() + m_links.Bytes() + m_restrictions.Bytes() + m_restrictRefs.Bytes() + m_barriers.Bytes() +
         m_nodePoints.Bytes();
}

// ---------------------------------------------------------------------------
// Building

bool CRoadGraph::AddLink(const RoutingLink& link, int32_t nOwnerNode) {
  if (m_links.Size() >= size_t(INT32_MAX)) return false;
  RoutingLink l = link;
  RoutingNode& owner = m_nodes[size_t(nOwnerNode)];
  l.cNextLink = owner.nFirstLink;
  if (!m_links.Push(l)) return false;
  owner.nFirstLink = int32_t(m_links.Size() - 1);
  ++owner.cLinks;
  if (l.nArrival != nOwnerNode) ++m_nodes[size_t(l.nArrival)].cLinks;
  return true;
}

bool CRoadGraph::AddRoadLinks(const GraphRoad& road) {
  const bool fOneWay = (road.wAttributes & c_wOneWay) != 0;
  const float k2 = float(m_fCos * m_fCos);
  const MapPoint* pPoints = road.pPoints;
  int32_t nPrevNode = -1;
  uint32_t iPrev = 0;
  RoutingLink l{};
  l.wAttributes = road.wAttributes;
  l.btType = uint8_t(road.wType > 255 ? 255 : road.wType);
  l.btAccess = road.btAccess;
  l.dwBlock = road.dwBlock;
  l.dwRoad = road.dwRoad;
  l.nRestrict = -1;
  m_nMaxSpeedClass = std::max(m_nMaxSpeedClass, int(road.wAttributes & 7));
  m_fMaxQuality = std::max(m_fMaxQuality, c_aQuality[(road.wAttributes >> 3) & 7]);
  for (uint32_t i = 0; i < road.cPoints; ++i) {
    const int32_t nNode = road.pNodes[i];
    if (nNode < 0 || uint32_t(nNode) >= m_cNodes) continue;
    m_nodePoints[size_t(nNode)] = pPoints[i];
    if (nPrevNode >= 0) {
      l.fLength = float(PtAlgo::PolylineLengthFast(pPoints + iPrev, pPoints + i + 1, k2));
      l.cLink = int32_t(m_links.Size());
      l.cFromNode = nPrevNode;
      l.cRealNode = l.nArrival = nNode;
      l.nStartPoint = iPrev;
      l.nEndPoint = i;
      if (!AddLink(l, nPrevNode)) return false;
      if (!fOneWay) {
        l.cLink = int32_t(m_links.Size());
        l.cFromNode = nNode;
        l.cRealNode = l.nArrival = nPrevNode;
        l.nStartPoint = i;
        l.nEndPoint = iPrev;
        if (!AddLink(l, nNode)) return false;
      }
    }
    nPrevNode = nNode;
    iPrev = i;
  }
  return true;
}

bool CRoadGraph::AttachRestriction(int32_t iLink, int32_t iRestriction) {
  // The same restriction never goes twice on one list.
  for (int32_t r = m_links[size_t(iLink)].nRestrict; r >= 0; r = m_restrictRefs[size_t(r)].nNext)
    if (m_restrictRefs[size_t(r)].iRestriction == iRestriction) return true;
  RestrictionRef ref{iRestriction, m_links[size_t(iLink)].nRestrict};
  if (!m_restrictRefs.Push(ref)) return false;
  m_links[size_t(iLink)].nRestrict = int32_t(m_restrictRefs.Size() - 1);
  return true;
}

bool CRoadGraph::ReadRestrictions(IRoadGraphReader& reader) {
  std::vector<TurnRestriction> restrictions;
  if (!reader.ReadTurnRestrictions(restrictions, m_cDroppedRestrictions)) return false;
  for (const TurnRestriction& r : restrictions) {
    if (r.cFromNode < 0 || r.cNode < 0 || r.cToNode < 0 || uint32_t(r.cFromNode) >= m_cNodes ||
        uint32_t(r.cNode) >= m_cNodes || uint32_t(r.cToNode) >= m_cNodes) {
      ++m_cDroppedRestrictions;
      continue;
    }
    if (!m_restrictions.Push(r)) return false;
    const int32_t iRestriction = int32_t(m_restrictions.Size() - 1);
    for (int32_t l = m_nodes[size_t(r.cFromNode)].nFirstLink; l >= 0; l = m_links[size_t(l)].cNextLink) {
      const RoutingLink& link = m_links[size_t(l)];
      if (link.dwRoad == r.cFromRoad && link.cRealNode == r.cNode && !AttachRestriction(l, iRestriction))
        return false;
    }
  }
  return true;
}

bool CRoadGraph::ReadBarriers(IRoadGraphReader& reader) {
  std::vector<std::pair<uint32_t, uint16_t>> barriers;
  if (!reader.ReadBarriers(barriers)) return false;
  if (barriers.empty()) return true;
  if (!m_barriers.Assign(m_cNodes, 0)) return false;
  for (const auto& b : barriers)
    if (b.first < m_cNodes) m_barriers[b.first] |= b.second;
  return true;
}

// The links of every road, block by block (the first 60 % of the bar).
class CRoadGraph::Loader : public CRoadVisitor {
 public:
  Loader(CRoadGraph& graph, RouteProgress& progress, CRoadVisitor* pAlong)
      : m_graph(graph), m_progress(progress), m_pAlong(pAlong) {}
  bool OnBlock(uint32_t nBlock, uint32_t cBlocks) override {
    m_fCancelled = !m_progress.Set(0.6 * nBlock / cBlocks);
    return !m_fCancelled;
  }
  bool OnRoad(const GraphRoad& road) override {
    m_fNoMemory = !m_graph.AddRoadLinks(road);
    return !m_fNoMemory && (!m_pAlong || m_pAlong->OnRoad(road));
  }
  bool m_fCancelled = false;
  bool m_fNoMemory = false;

 private:
  CRoadGraph& m_graph;
  RouteProgress& m_progress;
  CRoadVisitor* m_pAlong;
};

bool CRoadGraph::Build(IRoadGraphReader& reader, const MapProgress* pProgress, CRoadVisitor* pAlong) {
  if (m_fBuilt) return true;
  const uint32_t cNodes = reader.GetGraphNodeCount();
  if (cNodes == 0 || cNodes > uint32_t(INT32_MAX) - 2) return false;
  const double t0 = RouteClockMs();
  RouteProgress progress(pProgress);
  m_fCos = CosOfLatitude(reader.GetGraphRect());
  // A point within a grid step and a half of a node is on it.
  m_fOnNode = std::max(double(c_fTiny), std::min(1.5 * reader.GetGridStep(), double(MetresToMap(5.0))));
  m_cNodes = cNodes;
  m_nodes.Free();
  m_links.Free();
  m_restrictions.Free();
  m_restrictRefs.Free();
  m_barriers.Free();
  m_cDroppedRestrictions = 0;
  m_nMaxSpeedClass = 0;
  m_fMaxQuality = 1;
  if (!m_nodes.Assign(m_cNodes, RoutingNode{-1, 0})) return ReportRouteNoMemory();
  if (!m_nodePoints.Assign(m_cNodes, MapPoint{0, 0})) return ReportRouteNoMemory();
  if (!ReadBarriers(reader)) return ReportRouteNoMemory();
  // One walk over the roads: room first for about as many links as a road
  // network has (five per two nodes), more as needed, the rest given back.
  const size_t cGuess = size_t(m_cNodes) * 5 / 2 + 16;
  if (!m_links.Reserve(cGuess) && !m_links.Reserve(16)) return ReportRouteNoMemory();
  platform::PrefaultForWriting(m_links.Data(), m_links.Bytes());
  Loader loader(*this, progress, pAlong);
  // A damaged block ends the walk with the roads read so far; a map that
  // cannot be walked at all has no graph.
  const bool fWalked = reader.ReadRoads(nullptr, 0, loader);
  if (loader.m_fNoMemory) return ReportRouteNoMemory();
  if (!fWalked) return false;
  m_links.ShrinkToFit();
  if (!ReadRestrictions(reader)) return ReportRouteNoMemory();
  if (!progress.Set(0.6)) return false;
  m_fBuilt = true;
  m_msBuild = RouteClockMs() - t0;
  char sz[64];
  std::snprintf(sz, sizeof sz, "Build graph=%.2f ms\n", m_msBuild);
  platform::DebugOutputA(sz);
  return true;
}

// ---------------------------------------------------------------------------

void CRoadGraph::FillRoadNet(IRoadGraphReader& reader, const RouteOptions& options, bool fUseRestrictions,
                             RoadNet& net) const {
  net = RoadNet();
  net.nVehicle = options.nVehicle;
  net.fTimeBased = options.fTimeBased;
  net.fAvoidTolls = options.fAvoidTolls;
  net.fAvoidUnpaved = options.fAvoidUnpaved;
  net.fAvoidHighways = options.fAvoidHighways;
  const bool fTime = options.fTimeBased != 0;
  const uint16_t wMask = VehicleMask(options.nVehicle, options.fAvoidTolls != 0);
  const uint8_t btThrough = LinkThroughBit(options.nVehicle);
  net.fMinRate = LinkCost(1e6f, 0, fTime) / 1e6f;
  for (uint16_t w = 0; w < 64; ++w) net.fMinRate = std::min(net.fMinRate, LinkCost(1e6f, w, fTime) / 1e6f);
  net.nodePoints.assign(m_nodePoints.Data(), m_nodePoints.Data() + m_cNodes);
  net.firstArc.assign(size_t(m_cNodes) + 1, 0);
  const size_t cLinks = m_links.Size();
  auto usable = [&](const RoutingLink& l) {
    if (l.cLink < 0 || l.cRealNode < 0 || uint32_t(l.cRealNode) >= m_cNodes) return false;
    if (l.wAttributes & wMask) return false;
    if (options.fAvoidHighways && l.btType == c_btHighway) return false;
    return !(fUseRestrictions && (BarrierAt(l.cFromNode) & wMask));
  };
  // Roads kept to a route's ends, as the map's own search keeps them.
  auto endsOnly = [&](const RoutingLink& l) {
    return (fUseRestrictions && (l.btAccess & btThrough)) ||
           (options.fAvoidUnpaved && (l.btType == c_btUnpaved || (l.btAccess & c_btLinkUnpaved)));
  };
  for (size_t i = 0; i < cLinks; ++i) {
    const RoutingLink& l = m_links[i];
    if (usable(l) && l.cFromNode >= 0 && uint32_t(l.cFromNode) < m_cNodes) ++net.firstArc[size_t(l.cFromNode) + 1];
  }
  for (uint32_t n = 0; n < m_cNodes; ++n) net.firstArc[n + 1] += net.firstArc[n];
  const size_t cArcs = net.firstArc[m_cNodes];
  net.arcTo.resize(cArcs);
  net.arcCost.resize(cArcs);
  net.arcLength.resize(cArcs);
  net.arcEndsOnly.resize(cArcs);
  std::vector<uint32_t> fill(net.firstArc.begin(), net.firstArc.end() - 1);
  for (size_t i = 0; i < cLinks; ++i) {
    const RoutingLink& l = m_links[i];
    if (!usable(l) || l.cFromNode < 0 || uint32_t(l.cFromNode) >= m_cNodes) continue;
    const uint32_t k = fill[size_t(l.cFromNode)]++;
    net.arcTo[k] = uint32_t(l.cRealNode);
    net.arcCost[k] = LinkCost(l.fLength, l.wAttributes, fTime);
    net.arcLength[k] = l.fLength;
    net.arcEndsOnly[k] = endsOnly(l) ? 1 : 0;
  }
  const uint32_t cKeys = reader.GetGraphBorderKeyCount();
  net.byKey.reserve(cKeys);
  net.byNode.reserve(cKeys);
  for (uint32_t i = 0; i < cKeys; ++i) {
    uint32_t nNode = 0;
    uint64_t qwKey = 0;
    if (!reader.GetGraphBorderKey(i, nNode, qwKey) || nNode >= m_cNodes || !qwKey) continue;
    net.byKey.emplace_back(qwKey, nNode);
    net.byNode.emplace_back(nNode, qwKey);
  }
  std::sort(net.byKey.begin(), net.byKey.end());
  std::sort(net.byNode.begin(), net.byNode.end());
  net.keyed.assign(m_cNodes, 0);
  for (const auto& k : net.byNode) {
    net.keyed[k.first] = 1;
    const MapPoint& p = net.nodePoints[k.first];
    MapRect& r = net.keyBounds;
    if (r.left > r.right) r = MapRect{p.x, p.y, p.x, p.y};
    r.left = std::min(r.left, p.x), r.right = std::max(r.right, p.x);
    r.top = std::min(r.top, p.y), r.bottom = std::max(r.bottom, p.y);
  }
  if (!fUseRestrictions || !m_restrictions.Size()) return;
  std::vector<std::array<uint32_t, 3>> bans;  // (via, from, to)
  for (size_t i = 0; i < m_restrictions.Size(); ++i) {
    const TurnRestriction& r = m_restrictions[i];
    if (r.cFromNode < 0 || r.cNode < 0 || r.cToNode < 0 || uint32_t(r.cFromNode) >= m_cNodes ||
        uint32_t(r.cNode) >= m_cNodes || uint32_t(r.cToNode) >= m_cNodes)
      continue;
    bans.push_back({uint32_t(r.cNode), uint32_t(r.cFromNode), uint32_t(r.cToNode)});
  }
  SplitRestrictedNodes(bans, net);
}

// Every node entered from a neighbour from which some turns there are
// forbidden gets a copy for that way in, without those turns: a search over
// nodes then keeps the restrictions exactly (it may reach the node by one
// way in and need to leave it by a turn only another allows).
void SplitRestrictedNodes(std::vector<std::array<uint32_t, 3>>& bans, RoadNet& net) {
  if (bans.empty()) return;
  std::sort(bans.begin(), bans.end());
  bans.erase(std::unique(bans.begin(), bans.end()), bans.end());
  std::vector<std::pair<uint32_t, uint32_t>> ways;  // (via, from), one copy each
  for (const auto& b : bans) ways.emplace_back(b[0], b[1]);
  ways.erase(std::unique(ways.begin(), ways.end()), ways.end());
  const uint32_t cNodes = net.NodeCount(), cCopies = uint32_t(ways.size());
  auto copyOf = [&](uint32_t nVia, uint32_t nFrom) -> int64_t {
    auto it = std::lower_bound(ways.begin(), ways.end(), std::make_pair(nVia, nFrom));
    return it != ways.end() && it->first == nVia && it->second == nFrom ? int64_t(cNodes + (it - ways.begin())) : -1;
  };
  auto banned = [&](uint32_t nVia, uint32_t nFrom, uint32_t nTo) {
    return std::binary_search(bans.begin(), bans.end(), std::array<uint32_t, 3>{nVia, nFrom, nTo});
  };
  // Where an arc from n to t leads: t, or t's copy for the way in from n.
  auto target = [&](uint32_t n, uint32_t t) {
    const int64_t c = copyOf(t, n);
    return c >= 0 ? uint32_t(c) : t;
  };
  RoadNet out;
  out.firstArc.assign(size_t(cNodes) + cCopies + 1, 0);
  auto each = [&](auto&& f) {  // f(node, arc) over the new graph's arcs, node by node
    for (uint32_t n = 0; n < cNodes; ++n)
      for (uint32_t k = net.firstArc[n]; k < net.firstArc[n + 1]; ++k) f(n, k);
    for (uint32_t i = 0; i < cCopies; ++i) {
      const uint32_t v = ways[i].first, u = ways[i].second;
      for (uint32_t k = net.firstArc[v]; k < net.firstArc[v + 1]; ++k)
        if (!banned(v, u, net.arcTo[k])) f(cNodes + i, k);
    }
  };
  each([&](uint32_t n, uint32_t) { ++out.firstArc[size_t(n) + 1]; });
  for (size_t n = 0; n < size_t(cNodes) + cCopies; ++n) out.firstArc[n + 1] += out.firstArc[n];
  const size_t cArcs = out.firstArc.back();
  out.arcTo.reserve(cArcs);
  out.arcCost.reserve(cArcs);
  out.arcLength.reserve(cArcs);
  out.arcEndsOnly.reserve(cArcs);
  each([&](uint32_t n, uint32_t k) {
    const uint32_t nFrom = n < cNodes ? n : ways[n - cNodes].first;
    out.arcTo.push_back(target(nFrom, net.arcTo[k]));
    out.arcCost.push_back(net.arcCost[k]);
    out.arcLength.push_back(net.arcLength[k]);
    out.arcEndsOnly.push_back(k < net.arcEndsOnly.size() ? net.arcEndsOnly[k] : 0);
  });
  net.firstArc.swap(out.firstArc);
  net.arcTo.swap(out.arcTo);
  net.arcCost.swap(out.arcCost);
  net.arcLength.swap(out.arcLength);
  net.arcEndsOnly.swap(out.arcEndsOnly);
  net.cMapNodes = cNodes;
  net.copyOf.resize(cCopies);
  net.copyFrom.resize(cCopies);
  net.nodePoints.resize(size_t(cNodes) + cCopies);
  if (!net.keyed.empty()) net.keyed.resize(size_t(cNodes) + cCopies, 0);
  for (uint32_t i = 0; i < cCopies; ++i) {
    const uint32_t v = ways[i].first;
    net.copyOf[i] = v;
    net.copyFrom[i] = ways[i].second;
    net.nodePoints[cNodes + i] = net.nodePoints[v];
    if (!net.keyed.empty() && net.keyed[v]) {
      net.keyed[cNodes + i] = 1;
      net.byNode.emplace_back(cNodes + i, net.KeyOf(v));
    }
  }
}
