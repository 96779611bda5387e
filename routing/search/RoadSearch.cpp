#include "routing/search/RoadSearch.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <unordered_map>

#include "platform/Debug.h"
#include "platform/Str.h"
#include "view/MapUnits.h"
#include "view/PtAlgo.h"

namespace {

const double c_fPiRoute = 3.1415927;
const uint16_t c_wOneWay = 0x40;
const uint8_t c_btHighway = 1;
const uint8_t c_btUnpaved = 10;
const uint8_t c_btRoundabout = 12;
const int32_t c_nNoOwner = -3;  // the closing links lie on no node's list

void Trace(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* pszFormat, ...) {
  if (!platform::IsDebugOutputOn()) return;
  char sz[256];
  va_list args;
  va_start(args, pszFormat);
  std::vsnprintf(sz, sizeof sz, pszFormat, args);
  va_end(args);
  platform::DebugOutputA(sz);
}

// Course of the segment a -> b in degrees, counter-clockwise from east.
double AngleOf(const MapPoint& a, const MapPoint& b, double k) {
  return std::atan2(double(b.y) - a.y, (double(b.x) - a.x) * k) * 180.0 / c_fPiRoute;
}

// Where ways meet at a node a point on it lies on all of them (a footway
// leaving a street at a crossing): a road open to the vehicle is taken over
// a closed one unless the closed one is nearer by more than this.
const double c_fSnapTieMetres = 0.5;

double Normalise180(double f) {
  while (f > 180) f -= 360;
  while (f < -180) f += 360;
  return f;
}

// Whether a segment at squared distance d2 replaces the snap's best one.
bool IsBetterSnap(const RoadSnap& snap, double d2, bool fOpen, uint16_t wMask) {
  if (snap.fD2 < 0) return true;
  const bool fBestOpen = (snap.wAttributes & wMask) == 0;
  if (fOpen == fBestOpen) return d2 < snap.fD2;
  const double fTie = MetresToMap(c_fSnapTieMetres);
  const double d = std::sqrt(d2), fBest = std::sqrt(snap.fD2);
  return fOpen ? d <= fBest + fTie : d + fTie < fBest;
}

}  // namespace

bool RouteSearchScratch::Fit(size_t c) {
  if (labels.Size() >= c) return true;
  touched.Resize(0);
  return labels.AssignZeroed(c);
}

void RouteSearchScratch::Clear() {
  for (size_t i = 0; i < touched.Size(); ++i) {
    const size_t n = size_t(touched[i]);
    labels[n].dwCost = 0;
    labels[n].nHeap = 0;
  }
  touched.Resize(0);
  heap.Resize(0);
}

CRoadSearch::CRoadSearch(const CRoadGraph& graph, IRoadGraphReader& reader, const RouteSearchSettings& settings,
                         RouteSearchScratch* pScratch)
    : m_graph(graph),
      m_reader(reader),
      m_settings(settings),
      m_cNodes(graph.GetNodeCount()),
      m_fCos(graph.GetCosLatitude()),
      m_pGraphLinks(graph.GetLinks().Data()),
      m_cGraphLinks(graph.GetLinks().Size()),
      m_pGraphRefs(graph.GetRestrictionRefs().Data()),
      m_cGraphRefs(graph.GetRestrictionRefs().Size()),
      m_scratch(pScratch ? *pScratch : m_ownScratch) {}

// ---------------------------------------------------------------------------
// Snapping

CRoadSnapVisitor::CRoadSnapVisitor(RoadSnap* const* apSnap, size_t cSnaps, uint16_t wMask, double fCos,
                                   const std::vector<uint32_t>* aExclude)
    : m_apSnap(apSnap), m_cSnaps(cSnaps < 2 ? cSnaps : 2), m_wMask(wMask), m_fCos(fCos), m_aExclude(aExclude) {
  const double fHalfH = MetresToMap(1000.0);
  const double fHalfW = fHalfH / fCos;
  for (size_t s = 0; s < m_cSnaps; ++s) {
    const MapPoint& pt = apSnap[s]->pt;
    auto clamp = [](double v) { return int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); };
    m_aWindow[s] = MapRect{clamp(pt.x - fHalfW), clamp(pt.y - fHalfH), clamp(pt.x + fHalfW), clamp(pt.y + fHalfH)};
  }
}

bool CRoadSnapVisitor::CannotBeNearer(const RoadSnap& snap, const MapRect& box) const {
  if (snap.fD2 < 0) return false;
  auto gap = [](int32_t v, int32_t lo, int32_t hi) { return v < lo ? double(lo) - v : v > hi ? double(v) - hi : 0.0; };
  const double gx = gap(snap.pt.x, box.left, box.right) * double(float(m_fCos)), gy = gap(snap.pt.y, box.top, box.bottom);
  return gx * gx + gy * gy >= snap.fD2;
}

bool CRoadSnapVisitor::OnRoad(const GraphRoad& road) {
  // Only roads the vehicle may use are candidates, and only in blocks near
  // a point (those a walk with the windows reads).
  if (road.wAttributes & m_wMask) return true;
  bool fNear = false;
  for (size_t s = 0; s < m_cSnaps; ++s) fNear = fNear || road.rcBlock.Intersects(m_aWindow[s]);
  if (!fNear) return true;
  const MapPoint* pPoints = road.pPoints;
  const int32_t* pNodes = road.pNodes;
  const float k2 = float(m_fCos * m_fCos);
  if (road.cPoints == 0) return true;
  MapRect rcRoad{pPoints[0].x, pPoints[0].y, pPoints[0].x, pPoints[0].y};
  for (uint32_t i = 1; i < road.cPoints; ++i) {
    rcRoad.left = std::min(rcRoad.left, pPoints[i].x);
    rcRoad.right = std::max(rcRoad.right, pPoints[i].x);
    rcRoad.top = std::min(rcRoad.top, pPoints[i].y);
    rcRoad.bottom = std::max(rcRoad.bottom, pPoints[i].y);
  }
  for (size_t s = 0; s < m_cSnaps; ++s) {
    RoadSnap& snap = *m_apSnap[s];
    // A road wholly outside the window or farther than the best so far has
    // no better point for this snap (and the snap is not on it).
    if (!rcRoad.Intersects(m_aWindow[s]) || CannotBeNearer(snap, rcRoad)) continue;
    if (m_aExclude && std::find(m_aExclude[s].begin(), m_aExclude[s].end(), road.dwRoad) != m_aExclude[s].end())
      continue;
    int32_t nPrev = -1;
    uint32_t iPrev = 0;
    snap.fWaitNext = false;
    for (uint32_t i = 0; i < road.cPoints; ++i) {
      if (i > 0 && nPrev >= 0 &&
          !CannotBeNearer(snap, MapRect{std::min(pPoints[i - 1].x, pPoints[i].x), std::min(pPoints[i - 1].y, pPoints[i].y),
                                        std::max(pPoints[i - 1].x, pPoints[i].x), std::max(pPoints[i - 1].y, pPoints[i].y)})) {
        MapPoint ptNear;
        double d2 = PtAlgo::NearestPointOnSegment(snap.pt, pPoints[i - 1], pPoints[i], float(m_fCos), &ptNear);
        if (d2 < 0) d2 = 0;
        if (m_aWindow[s].Contains(ptNear) && IsBetterSnap(snap, d2, (road.wAttributes & m_wMask) == 0, m_wMask)) {
          snap.fD2 = d2;
          snap.dwBlock = road.dwBlock;
          snap.dwRoad = road.dwRoad;
          snap.btType = uint8_t(road.wType > 255 ? 255 : road.wType);
          snap.wAttributes = road.wAttributes;
          snap.btAccess = road.btAccess;
          snap.fOneWay = (road.wAttributes & c_wOneWay) != 0;
          snap.nPoint = i;
          snap.ptNearest = ptNear;
          snap.ptSegStart = pPoints[i - 1];
          snap.ptSegEnd = pPoints[i];
          snap.nPrevNode = nPrev;
          snap.cPrevRPoint = int32_t(iPrev);
          snap.fPrevLength = double(PtAlgo::PolylineLengthFast(pPoints + iPrev, pPoints + i, k2));
          snap.nNextNode = -1;
          snap.cNextRPoint = -1;
          snap.fNextLength = 0;
          snap.fWaitNext = true;
        }
      }
      if (pNodes[i] >= 0) {
        if (snap.fWaitNext && i >= snap.nPoint && snap.dwRoad == road.dwRoad) {
          snap.nNextNode = pNodes[i];
          snap.cNextRPoint = int32_t(i);
          snap.fNextLength = double(PtAlgo::PolylineLengthFast(pPoints + snap.nPoint, pPoints + i + 1, k2));
          snap.fWaitNext = false;
        }
        nPrev = pNodes[i];
        iPrev = i;
      }
    }
    snap.fWaitNext = false;
  }
  return true;
}

void CRoadSnapVisitor::Finish() {
  for (size_t s = 0; s < m_cSnaps; ++s) {
    RoadSnap& snap = *m_apSnap[s];
    if (snap.fD2 < 0) continue;
    const double fToStart = RouteDistance(snap.ptNearest, snap.ptSegStart, m_fCos);
    const double fToEnd = RouteDistance(snap.ptNearest, snap.ptSegEnd, m_fCos);
    if (snap.nNextNode < 0) {
      // The road goes on past its last node: the previous node is the only way off it.
      snap.nNextNode = snap.nPrevNode;
      snap.cNextRPoint = snap.cPrevRPoint;
      snap.fPrevLength += fToStart;
      snap.fNextLength = snap.fPrevLength;
    } else {
      snap.fPrevLength += fToStart;
      snap.fNextLength += fToEnd;
    }
  }
}

void CRoadSearch::Snap(IRoadGraphReader& reader, const CRoadGraph& graph, RoadSnap* apSnap[2], size_t cSnaps,
                       uint16_t wMask, const std::vector<uint32_t>* aExclude) {
  CRoadSnapVisitor visitor(apSnap, cSnaps, wMask, graph.GetCosLatitude(), aExclude);
  if (!reader.ReadRoads(visitor.GetWindows(), visitor.GetWindowCount(), visitor)) return;
  visitor.Finish();
}

// ---------------------------------------------------------------------------
// Connecting the points

int32_t CRoadSearch::LinksAt(int32_t n) const {
  int32_t c = n >= 0 && uint32_t(n) < m_cNodes ? m_graph.GetNodes()[size_t(n)].cLinks : 0;
  for (size_t e = 0; e < m_extra.Size(); ++e) {
    if (m_extraOwner[e] == c_nNoOwner) continue;
    c += (m_extraOwner[e] == n) + (m_extra[e].nArrival == n && m_extraOwner[e] != n);
  }
  return c;
}

bool CRoadSearch::AddLink(const RoutingLink& link, int32_t nOwnerNode) {
  if (m_cGraphLinks + m_extra.Size() >= size_t(INT32_MAX)) return false;
  RoutingLink l = link;
  l.cNextLink = -1;
  return m_extra.Push(l) && m_extraOwner.Push(nOwnerNode);
}

bool CRoadSearch::AttachRestriction(int32_t iLink, int32_t iRestriction) {
  ASSERT(size_t(iLink) >= m_cGraphLinks);
  RoutingLink& link = m_extra[size_t(iLink) - m_cGraphLinks];
  for (int32_t r = link.nRestrict; r >= 0; r = Ref(r).nNext)
    if (Ref(r).iRestriction == iRestriction) return true;
  RestrictionRef ref{iRestriction, link.nRestrict};
  if (!m_extraRefs.Push(ref)) return false;
  link.nRestrict = int32_t(m_cGraphRefs + m_extraRefs.Size() - 1);
  return true;
}

// A link of the snapped road into or out of a pseudo-node, not yet
// reached; the caller sets its nodes, length and points.
RoutingLink CRoadSearch::SnapLink(const RoadSnap& snap) {
  RoutingLink l{};
  l.cLink = c_nStartLink;
  l.wAttributes = snap.wAttributes;
  l.btType = snap.btType;
  l.btAccess = snap.btAccess;
  l.dwBlock = snap.dwBlock;
  l.dwRoad = snap.dwRoad;
  l.nRestrict = -1;
  return l;
}

void CRoadSearch::StartWays(const RoadSnap& snap, const RouteOptions& options, double fCos, double fOnNode,
                            bool& fForward, bool& fBackward) {
  bool fInOrder = false, fAgainst = false;
  if (options.fMotionValid && options.dSpeedKmh >= 5.0) {
    MapPoint a = snap.ptNearest, b = snap.ptSegEnd;
    if (a.x == b.x && a.y == b.y) a = snap.ptSegStart;
    // Course clockwise from north, as the receiver reports it.
    double fCourse = std::atan2((double(b.x) - a.x) * fCos, double(b.y) - a.y) * 180.0 / c_fPiRoute;
    double fDiff = std::fmod(fCourse - options.dCourse + 720.0, 360.0);
    if (fDiff < 30 || fDiff > 330) fInOrder = true;
    else if (fDiff > 150 && fDiff < 210) fAgainst = true;
  }
  fForward = !fAgainst || snap.fOneWay;
  // Standing on the previous node itself (a one-way road leaving a
  // junction) the way back to it is no way against the one-way road: the
  // start may leave the junction by any of its roads. "On" the node allows
  // for the map's grid, to which the node was moved but the point was not.
  const bool fOnPrevNode = snap.fPrevLength < fOnNode && snap.nPrevNode != snap.nNextNode;
  fBackward = (!snap.fOneWay || fOnPrevNode) && !fInOrder;
}

void CRoadSearch::DestinationWays(const RoadSnap& snap, double fOnNode, bool& fFromPrev, bool& fFromNext) {
  // From the previous node with the length from it; from the next node
  // with the length from that one, when the road may be driven that way or
  // the point lies on the next node itself.
  fFromPrev = true;
  fFromNext = snap.cNextRPoint != snap.cPrevRPoint && (!snap.fOneWay || snap.fNextLength < fOnNode);
}

bool CRoadSearch::ConnectStart(const RoadSnap& snap, const RouteOptions& options) {
  const int32_t nStart = int32_t(m_cNodes);
  bool fForward = false, fBackward = false;
  StartWays(snap, options, m_fCos, m_graph.GetOnNode(), fForward, fBackward);
  RoutingLink l = SnapLink(snap);
  if (fForward) {
    l.cRealNode = l.nArrival = snap.nNextNode;
    l.cFromNode = snap.nPrevNode;
    l.fLength = float(snap.fNextLength);
    l.nStartPoint = snap.nPoint;
    l.nEndPoint = uint32_t(snap.cNextRPoint);
    if (!AddLink(l, nStart)) return false;
  }
  if (fBackward) {
    l.cRealNode = l.nArrival = snap.nPrevNode;
    l.cFromNode = snap.nNextNode;
    l.fLength = float(snap.fPrevLength);
    l.nStartPoint = snap.nPoint - 1;
    l.nEndPoint = uint32_t(snap.cPrevRPoint);
    if (!AddLink(l, nStart)) return false;
  }
  // Restrictions at the node a start link runs into, along the snapped
  // road from the node behind it, apply to that start link as to the
  // road's own link.
  const CPodArray<TurnRestriction>& restrictions = m_graph.GetRestrictions();
  bool fOk = true;
  ForOutgoing(nStart, [&](int32_t iLink) {
    const RoutingLink link = Link(iLink);
    for (size_t r = 0; r < restrictions.Size() && fOk; ++r) {
      const TurnRestriction& tr = restrictions[r];
      if (tr.cNode == link.cRealNode && tr.cFromNode == link.cFromNode && tr.cFromRoad == link.dwRoad &&
          !AttachRestriction(iLink, int32_t(r)))
        fOk = false;
    }
  });
  return fOk;
}

bool CRoadSearch::ConnectDestination(const RoadSnap& snap) {
  const int32_t nDest = int32_t(m_cNodes) + 1;
  bool fFromPrev = false, fFromNext = false;
  DestinationWays(snap, m_graph.GetOnNode(), fFromPrev, fFromNext);
  RoutingLink l = SnapLink(snap);
  l.cRealNode = c_nDestLink;
  l.nArrival = nDest;
  l.cFromNode = snap.nPrevNode;
  l.fLength = float(snap.fPrevLength);
  l.nStartPoint = uint32_t(snap.cPrevRPoint);
  l.nEndPoint = snap.nPoint - 1;
  if (fFromPrev && !AddLink(l, l.cFromNode)) return false;
  if (fFromNext) {
    l.cFromNode = snap.nNextNode;
    l.fLength = float(snap.fNextLength);
    l.nStartPoint = uint32_t(snap.cNextRPoint);
    l.nEndPoint = snap.nPoint;
    if (!AddLink(l, l.cFromNode)) return false;
  }
  return true;
}

// The two closing links (destination, then start) and the route's arrays.
bool CRoadSearch::Prepare() {
  // Far more turns than links is a hostile graph (every road meeting at one
  // node), not a map: with a work limit it fails like an allocation would.
  if (m_settings.cWorkLimit) {
    const size_t cLinks = m_cGraphLinks + m_extra.Size();
    uint64_t cTurns = 0;
    for (size_t i = 0; i < cLinks; ++i) cTurns += uint64_t(LinksAt(Link(int32_t(i)).nArrival)) + 1;
    if (cTurns > uint64_t(m_settings.cWorkLimit) * 16) return false;
  }
  RoutingLink closing{};
  closing.fLength = 1;
  closing.nRestrict = -1;
  closing.cLink = c_nDestLink;
  closing.cRealNode = closing.cFromNode = c_nDestLink;
  closing.nArrival = int32_t(m_cNodes) + 1;
  if (!AddLink(closing, c_nNoOwner)) return false;
  m_iDestLink = m_cGraphLinks + m_extra.Size() - 1;
  closing.cLink = closing.cRealNode = closing.cFromNode = c_nStartLink;
  closing.nArrival = int32_t(m_cNodes);
  if (!AddLink(closing, c_nNoOwner)) return false;
  m_iStartLink = m_cGraphLinks + m_extra.Size() - 1;
  return true;
}

// The turns from link j onto the links that may follow it, in a fixed
// order: from the start link onto the start links; from a link into the
// destination onto the destination link; else onto the links leaving its
// arrival node that its restrictions, a barrier there and the options allow.
template <class F>
void CRoadSearch::ForTurns(int32_t j, const RouteOptions& options, uint16_t wVehicle, F f) {
  const int32_t nStartNode = int32_t(m_cNodes), nDestNode = int32_t(m_cNodes) + 1;
  if (size_t(j) == m_iStartLink) {
    for (size_t e = 0; e < m_extra.Size(); ++e)
      if (m_extraOwner[e] == nStartNode) f(int32_t(m_cGraphLinks + e));
    return;
  }
  if (size_t(j) == m_iDestLink) return;
  const RoutingLink& l = Link(j);
  if (l.nArrival == nDestNode) {
    f(int32_t(m_iDestLink));
    return;
  }
  // A barrier the vehicle may not pass: no way on from its node.
  if (m_settings.fUseRestrictions && (m_graph.BarrierAt(l.nArrival) & wVehicle)) return;
  const CPodArray<TurnRestriction>& restrictions = m_graph.GetRestrictions();
  const int32_t nRestrict = m_settings.fUseRestrictions ? l.nRestrict : -1;
  const int32_t nFrom = l.cFromNode;
  ForOutgoing(l.nArrival, [&](int32_t iP) {
    const RoutingLink& pl = Link(iP);
    for (int32_t r = nRestrict; r >= 0; r = Ref(r).nNext) {
      const TurnRestriction& tr = restrictions[size_t(Ref(r).iRestriction)];
      if (tr.cToRoad == pl.dwRoad && tr.cToNode == TowardNode(pl)) return;
    }
    if (options.fAvoidHighways && pl.btType == c_btHighway) return;
    if (options.fAvoidUTurns && TowardNode(pl) == nFrom) return;
    f(iP);
  });
}

// ---------------------------------------------------------------------------
// The search

// Labels are (link, stage): a route may use the roads kept to its ends
// (btEnds bits, and unpaved ones when they are avoided) only as a run at its
// start (stage 0) and a run at its end (stage 2), with the rest (stage 1)
// on other roads. A map without such roads has every link in one stage, and
// the search is the plain least-cost search over links.
bool CRoadSearch::Search(const RouteOptions& options, uint16_t wMask, uint8_t btEnds, const MapPoint* pGoal,
                         RouteProgress& progress) {
  const int c_cStages = 3;
  const bool fTimeBased = options.fTimeBased != 0;
  const bool fAvoidUnpaved = options.fAvoidUnpaved != 0;
  const uint16_t wVehicle = CRoadGraph::VehicleMask(options.nVehicle, false);
  const size_t cAll = m_cGraphLinks + m_extra.Size();
  // Room for a few more links than this search adds, so that the next
  // search finds the arrays large enough.
  if (!m_scratch.Fit((m_cGraphLinks + 16 > cAll ? m_cGraphLinks + 16 : cAll) * c_cStages)) return false;
  // The labels reached go back unreached however the search ends.
  struct ClearOnExit {
    RouteSearchScratch& s;
    ~ClearOnExit() { s.Clear(); }
  } clearOnExit{m_scratch};
  // The bound of the cost still to come from a link's arrival node: the
  // straight line at the best quality (by time also at the top speed of the
  // map's roads), a hundredth taken off for the rounding of link lengths.
  float fPerUnit = 0;
  if (pGoal) {
    fPerUnit = 0.99f / m_graph.GetMaxQuality();
    if (fTimeBased) fPerUnit /= float(CRoadGraph::SpeedOfClass(unsigned(m_graph.GetMaxSpeedClass()))) * 10.0f / 36.0f;
  }
  auto bound = [&](const RoutingLink& l) -> float {
    if (!pGoal || l.nArrival < 0 || uint32_t(l.nArrival) >= m_cNodes) return 0;
    return float(RouteDistance(m_graph.NodePoint(size_t(l.nArrival)), *pGoal, m_fCos)) * fPerUnit;
  };
  RouteLabel* pLabel = m_scratch.labels.Data();
  CPodArray<int32_t>& heap = m_scratch.heap;
  CPodArray<int32_t>& touched = m_scratch.touched;
  heap.Resize(0);
  int32_t* pHeap = nullptr;
  size_t cHeap = 0;
  auto siftUp = [&](size_t i) {
    const int32_t v = pHeap[i];
    const float c = pLabel[v].fKey;
    while (i > 0) {
      size_t parent = (i - 1) / 2;
      if (!(pLabel[pHeap[parent]].fKey > c)) break;
      pHeap[i] = pHeap[parent];
      pLabel[pHeap[i]].nHeap = int32_t(i + 1);
      i = parent;
    }
    pHeap[i] = v;
    pLabel[v].nHeap = int32_t(i + 1);
  };
  auto push = [&](int32_t v) -> bool {
    if (!heap.Push(v)) return false;
    pHeap = heap.Data();
    cHeap = heap.Size();
    siftUp(cHeap - 1);
    return true;
  };
  auto pop = [&]() -> int32_t {
    const int32_t top = pHeap[0];
    pLabel[top].nHeap = 0;
    const int32_t last = pHeap[--cHeap];
    heap.Resize(cHeap);
    if (cHeap) {
      size_t i = 0;
      const float c = pLabel[last].fKey;
      for (;;) {
        size_t l = 2 * i + 1, r = l + 1, m = i;
        float cm = c;
        if (l < cHeap && pLabel[pHeap[l]].fKey < cm) m = l, cm = pLabel[pHeap[l]].fKey;
        if (r < cHeap && pLabel[pHeap[r]].fKey < cm) m = r;
        if (m == i) break;
        pHeap[i] = pHeap[m];
        pLabel[pHeap[i]].nHeap = int32_t(i + 1);
        i = m;
      }
      pHeap[i] = last;
      pLabel[last].nHeap = int32_t(i + 1);
    }
    return top;
  };
  auto endsOnly = [&](const RoutingLink& l) {
    return (l.btAccess & btEnds) != 0 || (fAvoidUnpaved && (l.btType == c_btUnpaved || (l.btAccess & c_btLinkUnpaved)));
  };

  const int32_t iStart = int32_t(m_iStartLink), iDest = int32_t(m_iDestLink);
  const int32_t nStartLabel = iStart * c_cStages, nDestLabel = iDest * c_cStages;
  pLabel[nStartLabel].dwCost = RouteSearchScratch::PackCost(0);
  pLabel[nStartLabel].fKey = 0;
  pLabel[nStartLabel].nPred = -1;
  if (!touched.Push(nStartLabel) || !push(nStartLabel)) return false;
  uint32_t cPopped = 0;
  bool fFound = false;
  while (cHeap) {
    const int32_t nLabel = pop();
    ++cPopped;
    if (nLabel == nDestLabel) {
      fFound = true;
      break;
    }
    if (m_settings.cWorkLimit && cPopped > m_settings.cWorkLimit) break;
    // A long search takes the user's Cancel.
    if ((cPopped & 0x3FFF) == 0 && progress.Cancelled()) break;
    const int32_t j = nLabel / c_cStages;
    const int nStage = nLabel % c_cStages;
    const float fCostJ = RouteSearchScratch::UnpackCost(pLabel[nLabel].dwCost);
    bool fMemory = true;
    ForTurns(j, options, wVehicle, [&](int32_t q) {
      ++m_cTurns;
      const RoutingLink& lq = Link(q);
      if (!fMemory || (lq.wAttributes & wMask)) return;
      int nNext = 0;
      if (q != iDest) {
        if (endsOnly(lq)) nNext = nStage == 0 ? 0 : 2;
        else if (nStage == 2) return;  // off the end run again: a way through
        else nNext = 1;
      }
      const int32_t nQ = q * c_cStages + nNext;
      const float c = CRoadGraph::LinkCost(lq.fLength, lq.wAttributes, fTimeBased) + fCostJ;
      if (pLabel[nQ].dwCost == 0 || RouteSearchScratch::UnpackCost(pLabel[nQ].dwCost) > c) {
        if (pLabel[nQ].dwCost == 0 && !touched.Push(nQ)) {
          fMemory = false;
          return;
        }
        const bool fQueued = pLabel[nQ].nHeap > 0;
        pLabel[nQ].dwCost = RouteSearchScratch::PackCost(c);
        pLabel[nQ].fKey = c + bound(lq);
        pLabel[nQ].nPred = nLabel;
        if (fQueued) siftUp(size_t(pLabel[nQ].nHeap - 1));
        else if (!push(nQ)) fMemory = false;
      }
    });
    if (!fMemory) return false;
  }
  m_cPopped = cPopped;
  // The route goes into the route arrays (cost, predecessor)
  // for the assembly. A link met twice (in two stages: a loop that costs as
  // much as not driving it) is driven once, the loop left out.
  if (fFound) {
    std::vector<int32_t> chain;  // labels, start first
    for (int32_t n = nDestLabel; n >= 0; n = pLabel[n].nPred) chain.push_back(n);
    std::reverse(chain.begin(), chain.end());
    std::vector<int32_t> route;
    std::unordered_map<int32_t, size_t> at;  // link -> its place in route
    for (int32_t n : chain) {
      const int32_t iLink = n / c_cStages;
      auto it = at.find(iLink);
      if (it != at.end()) {
        const size_t k = it->second;
        for (size_t m = k + 1; m < route.size(); ++m) at.erase(route[m] / c_cStages);
        route.resize(k + 1);
        continue;
      }
      at.emplace(iLink, route.size());
      route.push_back(n);
    }
    for (size_t k = 0; k < route.size(); ++k)
      m_routePred[route[k] / c_cStages] = k ? route[k - 1] / c_cStages : -1;
    m_fDestCost = RouteSearchScratch::UnpackCost(pLabel[nDestLabel].dwCost);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Result assembly and turn analysis

std::u16string CRoadSearch::LinkLabel(int32_t iLink) {
  const RoutingLink& l = Link(iLink);
  for (KeptRoad& kept : m_keptRoads)
    if (kept.fRead && kept.road.dwBlock == l.dwBlock && kept.road.dwRoad == l.dwRoad) {
      if (!kept.fLabel) {
        kept.strLabel = m_reader.GetRoadLabel(l.dwBlock, l.dwRoad);
        kept.fLabel = true;
      }
      return kept.strLabel;
    }
  return m_reader.GetRoadLabel(l.dwBlock, l.dwRoad);
}

bool CRoadSearch::ReadRoad(uint32_t dwBlock, uint32_t dwRoad, GraphRoad& road) {
  for (const KeptRoad& kept : m_keptRoads)
    if (kept.fRead && kept.road.dwBlock == dwBlock && kept.road.dwRoad == dwRoad) {
      road = kept.road;
      return true;
    }
  if (!m_reader.ReadRoad(dwBlock, dwRoad, road)) return false;
  KeptRoad& kept = m_keptRoads[m_iNextKept];
  m_iNextKept = (m_iNextKept + 1) % m_keptRoads.size();
  kept.points.assign(road.pPoints, road.pPoints + road.cPoints);
  kept.nodes.assign(road.pNodes, road.pNodes + road.cPoints);
  kept.road = road;
  kept.road.pPoints = kept.points.data();
  kept.road.pNodes = kept.nodes.data();
  kept.fRead = true;
  kept.fLabel = false;
  road = kept.road;
  return true;
}

void CRoadSearch::FillPoint(RouterPoint& point, const MapPoint& pt, int32_t iLink, const std::u16string* pLabel) {
  point = RouterPoint{};
  point.x = int32_t(uint32_t(pt.x) << 1);
  point.y = int32_t(uint32_t(pt.y) << 1);
  if (iLink < 0) return;  // an endpoint: plain, speed 5, quality 0, no label
  const RoutingLink& l = Link(iLink);
  point.btSpeed = uint8_t(CRoadGraph::SpeedOfClass(l.wAttributes & 7));
  point.btQuality = uint8_t((l.wAttributes >> 3) & 7);
  point.nLink = l.cLink;
  // A piece of the road at the start or the destination: the graph link it
  // is a piece of.
  if (l.cLink < 0 && l.cFromNode >= 0) point.nLink = GraphLinkBetween(l.cFromNode, TowardNode(l), l.dwRoad);
  point.fLength = l.fLength;
  point.strLabel = pLabel ? *pLabel : LinkLabel(iLink);
}

// The points a link runs along in travel order; start and destination
// links begin or end at the snapped point.
bool CRoadSearch::LinkPath(const RoutingLink& link, std::vector<MapPoint>& path, bool* pfAgainst) {
  path.clear();
  GraphRoad road;
  if (!ReadRoad(link.dwBlock, link.dwRoad, road)) return false;
  const uint32_t s = link.nStartPoint, e = link.nEndPoint;
  if (s >= road.cPoints || e >= road.cPoints) return false;
  if (pfAgainst) *pfAgainst = s > e;
  auto add = [&](const MapPoint& pt) {
    if (path.empty() || path.back().x != pt.x || path.back().y != pt.y) path.push_back(pt);
  };
  if (link.cLink < 0 && link.cRealNode >= 0 && m_pStart) add(m_pStart->ptNearest);
  for (uint32_t k = s;; k = s < e ? k + 1 : k - 1) {
    add(road.pPoints[k]);
    if (k == e) break;
  }
  if (link.cRealNode == c_nDestLink && m_pDest) add(m_pDest->ptNearest);
  return path.size() >= 2;
}

// Whether a link runs in the point order of its road.
bool CRoadSearch::IsForward(const RoutingLink& link) const {
  if (link.cRealNode == c_nDestLink && m_pDest) return int32_t(link.nStartPoint) == m_pDest->cPrevRPoint;
  return link.nStartPoint < link.nEndPoint;
}

// The node a link heads for: a destination link heads for the node at the
// other end of its road piece.
int32_t CRoadSearch::TowardNode(const RoutingLink& link) const {
  if (link.cRealNode != c_nDestLink || !m_pDest) return link.cRealNode;
  return int32_t(link.nStartPoint) == m_pDest->cPrevRPoint ? m_pDest->nNextNode : m_pDest->nPrevNode;
}

// The direction of a road leaving a node, relative to the arriving
// direction ptRefA -> ptRefB: the summed course change of its first
// segments, counter-clockwise positive.
double CRoadSearch::RoadAngle(const RoutingLink& link, const MapPoint& ptRefA, const MapPoint& ptRefB) {
  std::vector<MapPoint> path;
  bool fAgainst = false;
  if (!LinkPath(link, path, &fAgainst)) return 0;
  const double fLimit = MetresToMap(30.0);
  double fLast = AngleOf(ptRefA, ptRefB, m_fCos);
  double fSum = 0;
  bool fSet = false;
  double fWalked = 0;
  for (size_t i = 1; i < path.size(); ++i) {
    const MapPoint& a = path[i - 1];
    const MapPoint& b = path[i];
    const double fSeg = AngleOf(a, b, m_fCos);
    double m = Normalise180(fSeg - fLast);
    if (fAgainst) m = std::trunc(m);
    if (!fSet) {
      if (std::fabs(m) < 0.5) break;
      fSum = m;
      fSet = true;
    } else {
      if (std::fabs(m) < 0.5) continue;
      if ((m < 0) != (fSum < 0)) break;
      fSum += m;
    }
    if (fSum > 180) {
      fSum = 180;
      break;
    }
    if (fSum < -180) {
      fSum = -180;
      break;
    }
    fWalked += std::round(RouteDistance(a, b, m_fCos));
    if (fWalked > fLimit) break;
    fLast = fSeg;
  }
  return fSum;
}

void CRoadSearch::AnalyseTurn(int32_t iIn, int32_t iOut, RouterPoint& point) {
  const RoutingLink in = Link(iIn);
  const RoutingLink out = Link(iOut);
  std::vector<MapPoint> path;
  if (!LinkPath(in, path, nullptr)) return;
  const MapPoint a = path[path.size() - 2], b = path.back();
  Trace("Turn analysis start\n");
  const double fOur = RoadAngle(out, a, b);
  Trace("Our angle = %d\n", int(std::lround(fOur)));
  double fPos = 180, fNeg = -180;
  uint8_t btPosType = 0, btNegType = 0;
  int cMeasured = 1;
  const bool fOutForward = IsForward(out);
  ForOutgoing(in.nArrival, [&](int32_t i) {
    if (i == iOut) return;
    const RoutingLink l = Link(i);
    if (l.cLink < 0) return;  // the destination's links are no roads on
    if (l.dwRoad == in.dwRoad && l.cFromNode == in.cRealNode && l.cRealNode == in.cFromNode) return;
    // The road link our destination link is a piece of.
    if (out.cLink < 0 && l.dwRoad == out.dwRoad && IsForward(l) == fOutForward) return;
    const double fAngle = RoadAngle(l, a, b);
    Trace("Angle = %d: (%d,%d)\n", int(std::lround(fAngle)), l.cFromNode, l.cRealNode);
    ++cMeasured;
    const double fDiff = Normalise180(fAngle - fOur);
    if (fDiff > 0 && fDiff < fPos) fPos = fDiff, btPosType = l.btType;
    if (fDiff <= 0 && fDiff > fNeg) fNeg = fDiff, btNegType = l.btType;
  });
  if (cMeasured < 2) return;  // no other way on: a plain point
  point.nTurnAngle = -int32_t(std::lround(fOur));
  bool fKeep = false;
  uint8_t btSide = 0;
  if (fPos > 5 && fPos < 45) {
    if (!(in.btType == out.btType && out.btType != btPosType)) {
      btSide = 1;
      fKeep = std::fabs(fOur) > 5;
    }
  } else if (fNeg > -45 && fNeg < -5) {
    if (!(in.btType == out.btType && out.btType != btNegType)) {
      btSide = 0;
      fKeep = std::fabs(fOur) > 5;
    }
  }
  const bool fConnector = out.btType == 8 || out.btType == 9 || out.btType == 11;
  if (fKeep) {
    point.btKind = c_rkKeepTurn;
    point.btParameter = btSide;
  } else {
    point.btKind = c_rkTurn;
  }
  if (fConnector) point.btKind |= c_rkConnector;
}

int32_t CRoadSearch::OutgoingCount(int32_t nNode) const {
  int32_t c = 0;
  ForOutgoing(nNode, [&](int32_t i) { c += Link(i).cLink >= 0; });
  return c;
}

void CRoadSearch::Assemble(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options) {
  std::vector<RouterPoint> pts;
  // Room for every point of the links at once (growing copies them all).
  size_t cRoom = 2;
  for (int32_t j = RoutePred(int32_t(m_iDestLink)); j >= 0 && size_t(j) != m_iStartLink; j = RoutePred(j)) {
    const RoutingLink& l = Link(j);
    cRoom += (l.nStartPoint > l.nEndPoint ? l.nStartPoint - l.nEndPoint : l.nEndPoint - l.nStartPoint) + 1;
    if (cRoom > (size_t(1) << 24)) break;  // a guess, not a bound
  }
  pts.reserve(cRoom);
  auto same = [](const RouterPoint& p, int32_t x2, int32_t y2) { return p.x == x2 && p.y == y2; };
  RouterPoint pt;
  FillPoint(pt, dest.ptNearest, -1);
  pts.push_back(pt);
  bool fInRoundabout = false;
  int nExit = 0;
  int32_t iNext = -1;  // the link travelled after the current one
  int32_t i = RoutePred(int32_t(m_iDestLink));
  std::vector<MapPoint> mid;
  while (i >= 0 && size_t(i) != m_iStartLink) {
    const RoutingLink l = Link(i);
    Trace("cLink = %d\n", l.cLink);
    Trace("cFromNode = %d\n", l.cFromNode);
    Trace("cRealNode = %d\n", l.cRealNode);
    GraphRoad road;
    if (!ReadRoad(l.dwBlock, l.dwRoad, road) || l.nStartPoint >= road.cPoints ||
        l.nEndPoint >= road.cPoints) {
      i = RoutePred(i);
      iNext = -1;
      continue;
    }
    const MapPoint ptArrival = road.pPoints[l.nEndPoint];
    const uint32_t s = l.nStartPoint, e = l.nEndPoint;
    // Copy the points: labels and the turn analysis read other roads.
    mid.clear();
    for (uint32_t k = s; k != e; k = s < e ? k + 1 : k - 1)
      if (k != s) mid.push_back(road.pPoints[k]);
    const MapPoint ptStartPoint = road.pPoints[s];
    const int32_t x2 = int32_t(uint32_t(ptArrival.x) << 1), y2 = int32_t(uint32_t(ptArrival.y) << 1);
    const bool fDestPiece = l.cRealNode == c_nDestLink;
    // The road's label once for all the link's points: reading the record
    // again per point made long roads quadratic.
    const std::u16string strLabel = LinkLabel(i);
    if (platform::IsDebugOutputOn()) Trace("%s\n", platform::U16ToUtf8(strLabel).c_str());
    if (!same(pts.back(), x2, y2) && !(fDestPiece && s == e)) {
      FillPoint(pt, ptArrival, i, &strLabel);
      if (l.cRealNode >= 0 && iNext >= 0) {
        if (l.btType == c_btRoundabout && !fInRoundabout) {
          fInRoundabout = true;  // where the route leaves the roundabout
          nExit = 1;
        } else if (l.btType == c_btRoundabout) {
          pt.btKind = c_rkInRoundabout;
          if (OutgoingCount(l.nArrival) > 1) ++nExit;
        } else if (fInRoundabout) {
          pt.btKind = c_rkRoundaboutEntry;
          pt.btParameter = uint8_t(nExit);
          fInRoundabout = false;
          const std::string s8 = platform::U16ToUtf8(pt.strLabel);
          if (s8.empty()) Trace("%d\n", nExit);
          else Trace("%s (%d)\n", s8.c_str(), nExit);
        } else {
          AnalyseTurn(i, iNext, pt);
          if (pt.btKind != c_rkPlain) {
            const std::string s8 = platform::U16ToUtf8(pt.strLabel);
            if (s8.empty()) Trace("0x%X\n", unsigned(pt.btKind));
            else Trace("%s (0x%X)\n", s8.c_str(), unsigned(pt.btKind));
          }
        }
      }
      pts.push_back(pt);
    }
    for (size_t k = mid.size(); k-- > 0;) {
      FillPoint(pt, mid[k], i, &strLabel);
      pts.push_back(pt);
    }
    const int32_t iPred = RoutePred(i);
    if (iPred >= 0 && size_t(iPred) == m_iStartLink) {
      // The first point of the road piece the route starts on (the
      // snapped point follows): a point of that road.
      if (s != e) {
        FillPoint(pt, ptStartPoint, i, &strLabel);
        pts.push_back(pt);
      }
      break;
    }
    if (iPred < 0) {
      ASSERT(false);
      break;
    }
    iNext = i;
    i = iPred;
  }
  FillPoint(pt, start.ptNearest, -1);
  pts.push_back(pt);
  for (size_t k = pts.size(); k-- > 0;) options.points.push_back(std::move(pts[k]));
}

int32_t CRoadSearch::GraphLinkBetween(int32_t nFrom, int32_t nTo, uint32_t dwRoad) const {
  if (nFrom < 0 || uint32_t(nFrom) >= m_cNodes) return -1;
  for (int32_t i = m_graph.GetNodes()[size_t(nFrom)].nFirstLink; i >= 0; i = m_pGraphLinks[i].cNextLink)
    if (m_pGraphLinks[i].dwRoad == dwRoad && m_pGraphLinks[i].cRealNode == nTo) return i;
  return -1;
}

// The points of the road between the two, each with the road's name, speed
// and quality and the graph link it lies on, as the points of a route's
// first and last pieces have them.
void CRoadSearch::SameRoad(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options) {
  RouterPoint pt;
  FillPoint(pt, start.ptNearest, -1);
  options.points.push_back(pt);
  GraphRoad road;
  if (start.nPoint != dest.nPoint && ReadRoad(start.dwBlock, start.dwRoad, road)) {
    // Copy the points and nodes: the label is read after them.
    const bool fForward = start.nPoint < dest.nPoint;
    std::vector<MapPoint> mid;
    std::vector<int32_t> links;
    const uint32_t cPoints = road.cPoints;
    const int32_t* pNodes = road.pNodes;
    // The nodes around the segment ending at each point, moved along with
    // it: the walk stays linear in the road's points.
    int32_t nBehind = start.nPrevNode, nAhead = -1;
    uint32_t iAhead = 0;
    auto nodeAhead = [&](uint32_t k) {
      // The first node at or past point k in the direction of travel.
      if (nAhead >= 0 && (fForward ? iAhead >= k : iAhead <= k)) return;
      nAhead = -1;
      for (uint32_t j = k; j < cPoints; j = fForward ? j + 1 : j - 1) {
        if (pNodes[j] >= 0) {
          nAhead = pNodes[j];
          iAhead = j;
          break;
        }
        if (!fForward && j == 0) break;
      }
    };
    if (fForward) {
      nBehind = start.nPrevNode;
      for (uint32_t k = start.nPoint; k < dest.nPoint && k < cPoints; ++k) {
        if (k > start.nPoint && pNodes[k - 1] >= 0) nBehind = pNodes[k - 1];
        nodeAhead(k);
        mid.push_back(road.pPoints[k]);
        links.push_back(GraphLinkBetween(nBehind, nAhead, road.dwRoad));
      }
    } else {
      nBehind = start.nNextNode;
      for (uint32_t k = start.nPoint - 1; k >= dest.nPoint && k < cPoints; --k) {
        if (k + 1 < start.nPoint && pNodes[k + 1] >= 0) nBehind = pNodes[k + 1];
        nodeAhead(k);
        mid.push_back(road.pPoints[k]);
        links.push_back(GraphLinkBetween(nBehind, nAhead, road.dwRoad));
        if (k == 0) break;
      }
    }
    const std::u16string strLabel = m_reader.GetRoadLabel(start.dwBlock, start.dwRoad);
    for (size_t i = 0; i < mid.size(); ++i) {
      FillPoint(pt, mid[i], -1);
      pt.btSpeed = uint8_t(CRoadGraph::SpeedOfClass(start.wAttributes & 7));
      pt.btQuality = uint8_t((start.wAttributes >> 3) & 7);
      pt.strLabel = strLabel;
      pt.nLink = links[i];
      options.points.push_back(pt);
    }
  }
  FillPoint(pt, dest.ptNearest, -1);
  options.points.push_back(pt);
}

// One search between two snapped points: the start and destination links,
// the search, the route's points.
bool CRoadSearch::Run(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options, uint16_t wMask,
                      RouteProgress& progress, bool& fMemory) {
  m_extra.Resize(0);
  m_extraOwner.Resize(0);
  m_extraRefs.Resize(0);
  m_cPopped = 0;
  m_cTurns = 0;
  m_routePred.clear();
  m_fDestCost = -1;
  m_fCost = -1;
  m_pStart = &start;
  m_pDest = &dest;
  bool fOk = ConnectStart(start, options) && ConnectDestination(dest);
  fMemory = fOk;
  if (fOk) {
    Trace("Routing links: %u\n", unsigned(m_cGraphLinks + m_extra.Size()));
    fOk = fMemory = Prepare();
  }
  if (fOk && progress.Cancelled()) fOk = false;
  if (fOk) {
    fOk = fMemory = Search(options, wMask, m_settings.fUseRestrictions ? CRoadGraph::LinkThroughBit(options.nVehicle) : 0,
                           m_settings.fGoalDirected ? &dest.ptNearest : nullptr, progress);
    Trace("Routing turns: %u\n", unsigned(m_cTurns));
    if (fOk) fOk = m_fDestCost >= 0;
  }
  if (fOk && progress.Cancelled()) fOk = false;
  if (fOk) {
    m_fCost = double(m_fDestCost) - CRoadGraph::LinkCost(1, 0, options.fTimeBased != 0);
    Assemble(start, dest, options);
    progress.Set(1.0);
  }
  m_pStart = m_pDest = nullptr;
  return fOk;
}
