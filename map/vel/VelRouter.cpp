#include "map/vel/VelRouter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "map/RoadNet.h"
#include "map/vel/VelParser.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "res/Failure.h"
#include "res/Res.h"
#include "view/MapUnits.h"
#include "view/PtAlgo.h"

using namespace vel;

namespace {

const uint32_t c_idsNoMemory = 2127;
const double c_fPiRoute = 3.1415927;
const uint16_t c_wOneWay = 0x40;
const uint8_t c_btHighway = 1;
const uint8_t c_btUnpaved = 10;
const uint8_t c_btRoundabout = 12;
const float c_fTiny = 0.00001f;

const int c_aSpeed[8] = {5, 20, 40, 60, 80, 90, 110, 140};
const float c_aQuality[8] = {0.5f, 0.7f, 0.9f, 1.0f, 1.2f, 1.0f, 1.0f, 1.0f};
const uint16_t c_aVehicleBit[8] = {0x2000, 0x4000, 0x0400, 0x1000, 0x0800, 0x0100, 0x0200, 0x8000};

size_t s_cbAllocLimit = 0;

double Now() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Trace(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* pszFormat, ...) {
  char sz[256];
  va_list args;
  va_start(args, pszFormat);
  std::vsnprintf(sz, sizeof sz, pszFormat, args);
  va_end(args);
  platform::DebugOutputA(sz);
}

double Dist(const MapPoint& a, const MapPoint& b, double k) {
  double dx = (double(b.x) - a.x) * k, dy = double(b.y) - a.y;
  return std::sqrt(dx * dx + dy * dy);
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

}  // namespace

template <class T>
bool CPodArray<T>::Reserve(size_t c) {
  if (c <= m_cAlloc) return true;
  if (c > SIZE_MAX / sizeof(T) / 2) return false;
  if (s_cbAllocLimit && c * sizeof(T) > s_cbAllocLimit) return false;
  T* p = static_cast<T*>(std::realloc(m_p, c * sizeof(T)));
  if (!p) return false;
  m_p = p;
  m_cAlloc = c;
  return true;
}

void CVelRouter::SetAllocLimitForTests(size_t cb) { s_cbAllocLimit = cb; }

// The progress range of one search, advanced by fractions of it.
struct CVelRouter::Progress {
  const MapProgress* p;
  int32_t nLast = INT32_MIN;
  explicit Progress(const MapProgress* pProgress) : p(pProgress) {}
  // False when the user cancelled.
  bool Set(double f) {
    if (!p) return true;
    int32_t n = int32_t(p->nFrom + (double(p->nTo) - p->nFrom) * f);
    if (n != nLast && p->pfnSetPos) p->SetPos(n);
    nLast = n;
    return !p->IsCancelled();
  }
  bool Cancelled() const { return p && p->IsCancelled(); }
};

// A road record read again, with its points.
struct CVelRouter::RoadView {
  VelRecord rec;
  const MapPoint* pPoints = nullptr;
};

CVelRouter::CVelRouter(CVelParser& parser) : m_parser(parser) {
  const MapRect& r = parser.GetRect();
  double fLat = (double(r.top) + r.bottom) / 2 * c_fPiRoute / 1073741824.0;
  m_fCos = std::cos(fLat);
  if (!(m_fCos > 1e-6)) m_fCos = 1e-6;
}

int CVelRouter::SpeedOfClass(unsigned nClass) { return c_aSpeed[nClass & 7]; }

float CVelRouter::LinkCost(float fLength, uint16_t wAttributes, bool fTimeBased) {
  const float q = c_aQuality[(wAttributes >> 3) & 7];
  if (!fTimeBased) return fLength / q;
  const float v = float(c_aSpeed[wAttributes & 7]);
  float f = (fLength / (v * 10.0f / 36.0f)) / q;
  return f < 1.0f ? 1.0f : f;
}

uint8_t CVelRouter::LinkThroughBit(int32_t nVehicle) {
  // emergency .. taxi at bits 1-5, bicycle 6, truck 7; pedestrians none.
  static const uint8_t c_abBit[8] = {0, 0x40, 0x08, 0x20, 0x10, 0x02, 0x04, 0x80};
  return (nVehicle >= 0 && nVehicle < 8) ? c_abBit[nVehicle] : 0;
}

uint8_t CVelRouter::LinkAccess(uint8_t btThrough, uint8_t btFlags) {
  return uint8_t(((btThrough & 0x1F) << 1) | (btThrough & 0xC0) | ((btFlags & c_btAccessUnpaved) ? c_btLinkUnpaved : 0));
}

uint16_t CVelRouter::VehicleMask(int32_t nVehicle, bool fAvoidTolls) {
  uint16_t w = (nVehicle >= 0 && nVehicle < 8) ? c_aVehicleBit[nVehicle] : 0;
  if (fAvoidTolls) w |= 0x0080;
  return w;
}

bool CVelRouter::OutOfMemory() {
  ReportFailure(c_idsNoMemory, std::u16string(), 0);
  return false;
}

// ---------------------------------------------------------------------------
// Building the graph

bool CVelRouter::AddLink(const RoutingLink& link, int32_t nOwnerNode) {
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

bool CVelRouter::AddRoadLinks(const VelRecord& rec, const MapPoint* pPoints, const int32_t* pNodes,
                              uint32_t dwBlock) {
  const bool fOneWay = (rec.wRoadAttributes & c_wOneWay) != 0;
  const float k2 = float(m_fCos * m_fCos);
  int32_t nPrevNode = -1;
  uint32_t iPrev = 0;
  RoutingLink l{};
  l.nHeapPos = -1;
  l.wAttributes = rec.wRoadAttributes;
  l.btType = uint8_t(rec.wType > 255 ? 255 : rec.wType);
  l.btAccess = AccessOfRoad(rec.dwOffset);
  l.dwBlock = dwBlock;
  l.dwRoad = rec.dwOffset;
  l.nRestrict = -1;
  l.fCost = -1;
  l.nPred = -1;
  l.nReachDual = -1;
  l.nFirstDual = -1;
  m_nMaxSpeedClass = std::max(m_nMaxSpeedClass, int(rec.wRoadAttributes & 7));
  m_fMaxQuality = std::max(m_fMaxQuality, c_aQuality[(rec.wRoadAttributes >> 3) & 7]);
  for (uint32_t i = 0; i < rec.cPoints; ++i) {
    const int32_t nNode = pNodes[i];
    if (nNode < 0) continue;
    if (size_t(nNode) < m_nodePoints.Size()) m_nodePoints[size_t(nNode)] = pPoints[i];
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

bool CVelRouter::AttachRestriction(int32_t iLink, int32_t iRestriction) {
  // The same restriction never goes twice on one list.
  for (int32_t r = m_links[size_t(iLink)].nRestrict; r >= 0; r = m_restrictRefs[size_t(r)].nNext)
    if (m_restrictRefs[size_t(r)].iRestriction == iRestriction) return true;
  RestrictionRef ref{iRestriction, m_links[size_t(iLink)].nRestrict};
  if (!m_restrictRefs.Push(ref)) return false;
  m_links[size_t(iLink)].nRestrict = int32_t(m_restrictRefs.Size() - 1);
  return true;
}

bool CVelRouter::ReadRestrictions() {
  const VelExtHeader& hdr = m_parser.m_hdr;
  const uint32_t cbFile = m_parser.m_cFileSize;
  if (hdr.dwTurnCount == 0 || hdr.dwTurnTableOffset >= cbFile || hdr.dwRoadRefBits > 32) return true;
  CBitStream bs(m_parser.m_pData + hdr.dwTurnTableOffset, m_parser.m_pEnd);
  const uint32_t cNodeBits = m_parser.m_cNodeBits;
  for (uint32_t i = 0; i < hdr.dwTurnCount; ++i) {
    TurnRestriction r;
    uint32_t a = bs.ReadBits(cNodeBits), b = bs.ReadBits(cNodeBits), c = bs.ReadBits(cNodeBits);
    r.cFromRoad = bs.ReadBits(hdr.dwRoadRefBits);
    r.cToRoad = bs.ReadBits(hdr.dwRoadRefBits);
    if (bs.ReadBits(1)) bs.ReadBits(bs.ReadBits(5));
    if (bs.IsOverrun()) break;  // a truncated table keeps the records read whole
    const bool fNodes = a < m_cNodes && b < m_cNodes && c < m_cNodes;
    ASSERT(fNodes);
    const bool fRoads = r.cFromRoad < cbFile && r.cToRoad < cbFile;
    ASSERT(fRoads);
    if (!fNodes || !fRoads) {
      ++m_cDroppedRestrictions;
      continue;
    }
    r.cFromNode = int32_t(a);
    r.cNode = int32_t(b);
    r.cToNode = int32_t(c);
    if (!m_restrictions.Push(r)) return false;
    const int32_t iRestriction = int32_t(m_restrictions.Size() - 1);
    for (int32_t l = m_nodes[a].nFirstLink; l >= 0; l = m_links[size_t(l)].cNextLink) {
      const RoutingLink& link = m_links[size_t(l)];
      if (link.dwRoad == r.cFromRoad && link.cRealNode == r.cNode && !AttachRestriction(l, iRestriction))
        return false;
    }
  }
  return true;
}

// The road access table: the records stay in the mapped file (read with
// memcpy, they need no alignment); the barriers become a word per node.
bool CVelRouter::ReadAccessTable() {
  const VelExtHeader& hdr = m_parser.m_hdr;
  const uint64_t cbFile = m_parser.m_cFileSize;
  m_pAccess = nullptr;
  m_cAccess = 0;
  m_barriers.Free();
  if (!hdr.dwAccessTableOffset) return true;
  const uint64_t cb = uint64_t(hdr.dwAccessRoadCount) * sizeof(VelRoadAccess) +
                      uint64_t(hdr.dwBarrierCount) * sizeof(VelNodeBarrier);
  if (hdr.dwAccessTableOffset < sizeof(VelExtHeader) || hdr.dwAccessTableOffset + cb > cbFile) return true;
  const uint8_t* p = m_parser.m_pData + hdr.dwAccessTableOffset;
  m_pAccess = reinterpret_cast<const VelRoadAccess*>(p);
  m_cAccess = hdr.dwAccessRoadCount;
  if (!hdr.dwBarrierCount) return true;
  if (!m_barriers.Reserve(m_cNodes)) return false;
  for (uint32_t i = 0; i < m_cNodes; ++i) m_barriers.Push(0);
  const uint8_t* pBarrier = p + size_t(hdr.dwAccessRoadCount) * sizeof(VelRoadAccess);
  for (uint32_t i = 0; i < hdr.dwBarrierCount; ++i) {
    VelNodeBarrier b;
    std::memcpy(&b, pBarrier + size_t(i) * sizeof b, sizeof b);
    if (b.nNode < m_cNodes) m_barriers[b.nNode] |= b.wDeny;
  }
  return true;
}

// The link bits of a road from the access table (sorted by offset).
uint8_t CVelRouter::AccessOfRoad(uint32_t dwRoad) const {
  if (!m_cAccess) return 0;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(m_pAccess);
  size_t lo = 0, hi = m_cAccess;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    VelRoadAccess a;
    std::memcpy(&a, p + mid * sizeof a, sizeof a);
    if (a.dwRoad == dwRoad) return LinkAccess(a.btThrough, a.btFlags);
    if (a.dwRoad < dwRoad) lo = mid + 1;
    else hi = mid;
  }
  return 0;
}

bool CVelRouter::Build(const MapProgress* pProgress) {
  if (m_fBuilt) return true;
  CVelParser& p = m_parser;
  if (!p.m_fHasRoadGraph || !p.m_fObjectTables || p.m_cLevels == 0) return false;
  const double t0 = Now();
  Progress progress(pProgress);
  m_cNodes = p.m_hdr.dwNodeCount;
  // Every node of a real map is marked at least once by a bit of the file;
  // a count beyond that is a damaged header, not a graph.
  if (uint64_t(m_cNodes) > uint64_t(p.m_cFileSize) * 8 || m_cNodes > uint32_t(INT32_MAX) - 2) return false;
  Trace("Routing node size: %u\n", unsigned(sizeof(RoutingNode)));
  Trace("Routing link size: %u\n", unsigned(sizeof(RoutingLink)));
  Trace("Routing dual link size: %u\n", unsigned(sizeof(RoutingDualLink)));
  m_nodes.Free();
  m_links.Free();
  m_restrictions.Free();
  m_restrictRefs.Free();
  m_cDroppedRestrictions = 0;
  if (!m_nodes.Reserve(size_t(m_cNodes) + 2)) return OutOfMemory();
  if (!ReadAccessTable()) return OutOfMemory();
  m_nodePoints.Free();
  if (!m_nodePoints.Reserve(size_t(m_cNodes) + 2)) return OutOfMemory();
  for (uint32_t i = 0; i < m_cNodes + 2; ++i) m_nodePoints.Push(MapPoint{0, 0});
  m_nMaxSpeedClass = 0;
  m_fMaxQuality = 1;
  for (uint32_t i = 0; i < m_cNodes + 2; ++i) {
    int32_t n = i < m_cNodes ? int32_t(i) : i == m_cNodes ? -1 : -2;
    m_nodes.Push(RoutingNode{n, n, -1, 0});
  }

  VelLevel level;
  if (!p.GetLevel(p.m_cLevels - 1, level) || level.dwFirstBlock >= p.m_cFileSize) return false;
  const uint32_t nShift = uint32_t(~level.wLevelCode) & 31;
  const uint32_t cBlocks = level.wBlocks;
  // Pass 1 counts the links, pass 2 makes them.
  size_t cCounted = 0;
  for (int nPass = 0; nPass < 2; ++nPass) {
    const uint8_t* pBlock = p.m_pData + level.dwFirstBlock;
    p.ResetWork();
    for (uint32_t nBlock = 0; nBlock < cBlocks; ++nBlock) {
      const double f = nPass == 0 ? 0.1 * nBlock / cBlocks : 0.1 + 0.5 * nBlock / cBlocks;
      if (!progress.Set(f)) return false;
      const uint32_t dwBlock = uint32_t(pBlock - p.m_pData);
      VelBlockInfo block;
      if (!p.ReadBlock(pBlock, block)) break;  // a block header past the end ends the walk
      const uint32_t cb = block.adwSectionSize[1];
      if (!cb) continue;
      const uint8_t* pSection = p.m_pData + block.adwSectionOffset[1];
      CBitStream bs(pSection, pSection + cb);
      while (bs.GetPtr() < pSection + cb) {
        VelRecord rec;
        if (!p.ReadRecord(bs, rkPolyline, block, nShift, true, rec, p.m_label.data(), p.m_label.size())) break;
        if (!rec.fHasNodes) continue;
        const int32_t* pNodes = p.m_pointNodes.data();
        if (nPass == 0) {
          size_t cNodePoints = 0;
          for (uint32_t i = 0; i < rec.cPoints; ++i) cNodePoints += pNodes[i] >= 0;
          if (cNodePoints >= 2)
            cCounted += (cNodePoints - 1) * ((rec.wRoadAttributes & c_wOneWay) ? 1 : 2);
        } else if (!AddRoadLinks(rec, p.m_mapPoints.data(), pNodes, dwBlock)) {
          return OutOfMemory();
        }
      }
    }
    if (nPass == 0 && !m_links.Reserve(cCounted + 10)) return OutOfMemory();
  }
  if (!ReadRestrictions()) return OutOfMemory();
  if (!progress.Set(0.6)) return false;
  m_fBuilt = true;
  m_stats.msBuild = Now() - t0;
  Trace("%s=%.2f ms\n", "Build graph", m_stats.msBuild);
  return true;
}

// ---------------------------------------------------------------------------
// Snapping

// Whether a segment at squared distance d2 replaces the snap's best one.
bool CVelRouter::IsBetterSnap(const RoadSnap& snap, double d2, bool fOpen, uint16_t wMask) {
  if (snap.fD2 < 0) return true;
  const bool fBestOpen = (snap.wAttributes & wMask) == 0;
  if (fOpen == fBestOpen) return d2 < snap.fD2;
  const double fTie = MetresToMap(c_fSnapTieMetres);
  const double d = std::sqrt(d2), fBest = std::sqrt(snap.fD2);
  return fOpen ? d <= fBest + fTie : d + fTie < fBest;
}

void CVelRouter::Snap(RoadSnap* apSnap[2], size_t cSnaps, uint16_t wMask, const std::vector<uint32_t>* aExclude) {
  CVelParser& p = m_parser;
  VelLevel level;
  if (!p.GetLevel(p.m_cLevels - 1, level) || level.dwFirstBlock >= p.m_cFileSize) return;
  const uint32_t nShift = uint32_t(~level.wLevelCode) & 31;
  const double fHalfH = MetresToMap(1000.0);
  const double fHalfW = fHalfH / m_fCos;
  MapRect aWindow[2];
  for (size_t s = 0; s < cSnaps; ++s) {
    const MapPoint& pt = apSnap[s]->pt;
    auto clamp = [](double v) { return int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); };
    aWindow[s] = MapRect{clamp(pt.x - fHalfW), clamp(pt.y - fHalfH), clamp(pt.x + fHalfW), clamp(pt.y + fHalfH)};
  }
  const float k2 = float(m_fCos * m_fCos);
  // A point within a grid step and a half of a node is on it.
  m_fOnNode = std::max(double(c_fTiny), std::min(1.5 * double(1u << nShift), double(MetresToMap(5.0))));
  const uint8_t* pBlock = p.m_pData + level.dwFirstBlock;
  p.ResetWork();
  for (uint32_t nBlock = 0; nBlock < level.wBlocks; ++nBlock) {
    const uint32_t dwBlock = uint32_t(pBlock - p.m_pData);
    VelBlockInfo block;
    if (!p.ReadBlock(pBlock, block)) break;
    block.rect = VelBlockRect(block.hdr, nShift);
    bool fNear = false;
    for (size_t s = 0; s < cSnaps; ++s) fNear = fNear || block.rect.Intersects(aWindow[s]);
    const uint32_t cb = block.adwSectionSize[1];
    if (!fNear || !cb) continue;
    const uint8_t* pSection = p.m_pData + block.adwSectionOffset[1];
    CBitStream bs(pSection, pSection + cb);
    while (bs.GetPtr() < pSection + cb) {
      VelRecord rec;
      if (!p.ReadRecord(bs, rkPolyline, block, nShift, true, rec, p.m_label.data(), p.m_label.size())) break;
      if (!rec.fHasNodes) continue;
      const MapPoint* pPoints = p.m_mapPoints.data();
      const int32_t* pNodes = p.m_pointNodes.data();
      // Only roads the vehicle may use are candidates.
      if (rec.wRoadAttributes & wMask) continue;
      for (size_t s = 0; s < cSnaps; ++s) {
        RoadSnap& snap = *apSnap[s];
        if (aExclude && std::find(aExclude[s].begin(), aExclude[s].end(), rec.dwOffset) != aExclude[s].end()) continue;
        int32_t nPrev = -1;
        uint32_t iPrev = 0;
        snap.fWaitNext = false;
        for (uint32_t i = 0; i < rec.cPoints; ++i) {
          if (i > 0 && nPrev >= 0) {
            MapPoint ptNear;
            double d2 = PtAlgo::NearestPointOnSegment(snap.pt, pPoints[i - 1], pPoints[i], float(m_fCos), &ptNear);
            if (d2 < 0) d2 = 0;
            if (aWindow[s].Contains(ptNear) &&
                IsBetterSnap(snap, d2, (rec.wRoadAttributes & wMask) == 0, wMask)) {
              snap.fD2 = d2;
              snap.dwBlock = dwBlock;
              snap.dwRoad = rec.dwOffset;
              snap.btType = uint8_t(rec.wType > 255 ? 255 : rec.wType);
              snap.wAttributes = rec.wRoadAttributes;
              snap.btAccess = AccessOfRoad(rec.dwOffset);
              snap.fOneWay = (rec.wRoadAttributes & c_wOneWay) != 0;
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
            if (snap.fWaitNext && i >= snap.nPoint && snap.dwRoad == rec.dwOffset) {
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
    }
  }
  for (size_t s = 0; s < cSnaps; ++s) {
    RoadSnap& snap = *apSnap[s];
    if (snap.fD2 < 0) continue;
    const double fToStart = Dist(snap.ptNearest, snap.ptSegStart, m_fCos);
    const double fToEnd = Dist(snap.ptNearest, snap.ptSegEnd, m_fCos);
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

// ---------------------------------------------------------------------------
// Connecting the points and the dual links

// A link of the snapped road into or out of a pseudo-node (index -1), not
// yet reached; the caller sets its nodes, length and points.
RoutingLink CVelRouter::SnapLink(const RoadSnap& snap) {
  RoutingLink l{};
  l.nHeapPos = -1;
  l.cLink = c_nStartLink;
  l.wAttributes = snap.wAttributes;
  l.btType = snap.btType;
  l.btAccess = snap.btAccess;
  l.dwBlock = snap.dwBlock;
  l.dwRoad = snap.dwRoad;
  l.nRestrict = -1;
  l.fCost = -1;
  l.nPred = -1;
  l.nReachDual = -1;
  l.nFirstDual = -1;
  return l;
}

bool CVelRouter::ConnectStart(const RoadSnap& snap, const RouteOptions& options) {
  const int32_t nStart = int32_t(m_cNodes);
  m_nodes[size_t(nStart)].cRealNode = snap.nPrevNode;
  bool fInOrder = false, fAgainst = false;
  if (options.fMotionValid && options.dSpeedKmh >= 5.0) {
    MapPoint a = snap.ptNearest, b = snap.ptSegEnd;
    if (a.x == b.x && a.y == b.y) a = snap.ptSegStart;
    // Course clockwise from north, as the receiver reports it.
    double fCourse = std::atan2((double(b.x) - a.x) * m_fCos, double(b.y) - a.y) * 180.0 / c_fPiRoute;
    double fDiff = std::fmod(fCourse - options.dCourse + 720.0, 360.0);
    if (fDiff < 30 || fDiff > 330) fInOrder = true;
    else if (fDiff > 150 && fDiff < 210) fAgainst = true;
  }
  RoutingLink l = SnapLink(snap);
  if (!fAgainst || snap.fOneWay) {
    l.cRealNode = l.nArrival = snap.nNextNode;
    l.cFromNode = snap.nPrevNode;
    l.fLength = float(snap.fNextLength);
    l.nStartPoint = snap.nPoint;
    l.nEndPoint = uint32_t(snap.cNextRPoint);
    if (!AddLink(l, nStart)) return false;
  }
  // Standing on the previous node itself (a one-way road leaving a
  // junction) the way back to it is no way against the one-way road: the
  // start may leave the junction by any of its roads. "On" the node allows
  // for the map's grid, to which the node was moved but the point was not.
  const bool fOnPrevNode = snap.fPrevLength < m_fOnNode && snap.nPrevNode != snap.nNextNode;
  if ((!snap.fOneWay || fOnPrevNode) && !fInOrder) {
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
  for (int32_t iLink = m_nodes[size_t(nStart)].nFirstLink; iLink >= 0; iLink = m_links[size_t(iLink)].cNextLink) {
    const RoutingLink& link = m_links[size_t(iLink)];
    for (size_t r = 0; r < m_restrictions.Size(); ++r) {
      const TurnRestriction& tr = m_restrictions[r];
      if (tr.cNode == link.cRealNode && tr.cFromNode == link.cFromNode && tr.cFromRoad == link.dwRoad &&
          !AttachRestriction(iLink, int32_t(r)))
        return false;
    }
  }
  return true;
}

bool CVelRouter::ConnectDestination(const RoadSnap& snap) {
  const int32_t nDest = int32_t(m_cNodes) + 1;
  m_nodes[size_t(nDest)].cRealNode = snap.nNextNode;
  RoutingLink l = SnapLink(snap);
  l.cRealNode = c_nDestLink;
  l.nArrival = nDest;
  // From the previous node with the length from it; from the next node
  // with the length from that one, when the road may be driven that way or
  // the point lies on the next node itself.
  l.cFromNode = snap.nPrevNode;
  l.fLength = float(snap.fPrevLength);
  l.nStartPoint = uint32_t(snap.cPrevRPoint);
  l.nEndPoint = snap.nPoint - 1;
  if (!AddLink(l, l.cFromNode)) return false;
  if (snap.cNextRPoint != snap.cPrevRPoint && (!snap.fOneWay || snap.fNextLength < m_fOnNode)) {
    l.cFromNode = snap.nNextNode;
    l.fLength = float(snap.fNextLength);
    l.nStartPoint = uint32_t(snap.cNextRPoint);
    l.nEndPoint = snap.nPoint;
    if (!AddLink(l, l.cFromNode)) return false;
  }
  return true;
}

bool CVelRouter::BuildDualLinks(const RouteOptions& options, Progress& progress) {
  const size_t cLinks = m_links.Size();
  // Count, reserve, then the two closing links (destination, then start).
  size_t cDual = 0;
  for (size_t i = 0; i < cLinks; ++i) {
    const RoutingLink& f = m_links[i];
    cDual += size_t(m_nodes[size_t(f.nArrival)].cLinks) + 1;
  }
  m_dual.Resize(0);
  // Far more turns than links is a hostile graph (every road meeting at one
  // node), not a map: it fails like an allocation would.
  if (m_cWorkLimit && cDual > uint64_t(m_cWorkLimit) * 16) return false;
  if (cDual > (size_t(1) << 27) || !m_dual.Reserve(cDual + 16)) return false;
  RoutingLink closing{};
  closing.nHeapPos = -1;
  closing.fLength = 1;
  closing.nRestrict = -1;
  closing.nPred = -1;
  closing.nReachDual = -1;
  closing.nFirstDual = -1;
  closing.cLink = c_nDestLink;
  closing.cRealNode = closing.cFromNode = c_nDestLink;
  closing.nArrival = int32_t(m_cNodes) + 1;
  closing.cNextLink = -1;
  if (!m_links.Push(closing)) return false;
  m_iDestLink = m_links.Size() - 1;
  closing.cLink = closing.cRealNode = closing.cFromNode = c_nStartLink;
  closing.nArrival = int32_t(m_cNodes);
  if (!m_links.Push(closing)) return false;
  m_iStartLink = m_links.Size() - 1;
  for (size_t i = 0; i < m_links.Size(); ++i) {
    RoutingLink& l = m_links[i];
    l.fCost = -1;
    l.nPred = -1;
    l.nReachDual = -1;
    l.nFirstDual = -1;
    l.nHeapPos = -1;
  }
  const int32_t nStartNode = int32_t(m_cNodes), nDestNode = int32_t(m_cNodes) + 1;
  const uint16_t wVehicle = VehicleMask(options.nVehicle, false);
  int32_t nLastStartDual = -1;
  auto add = [&](int32_t iFrom, int32_t iTo, int32_t& nLast) -> bool {
    RoutingDualLink d{iFrom, iTo, -1};
    if (!m_dual.Push(d)) return false;
    const int32_t n = int32_t(m_dual.Size() - 1);
    if (nLast < 0) m_links[size_t(iFrom)].nFirstDual = n;
    else m_dual[size_t(nLast)].cNextLink = n;
    nLast = n;
    return true;
  };
  for (size_t i = 0; i < cLinks; ++i) {
    if ((i % 10000) == 0 && !progress.Set(0.8 + 0.1 * double(i) / double(cLinks))) return true;
    const RoutingLink& f = m_links[i];
    const int32_t iF = int32_t(i);
    // Start links are the start link's way out; those that arrive at the
    // destination lead into the destination link.
    if (f.nArrival == nDestNode) {
      int32_t nLast = -1;
      if (!add(iF, int32_t(m_iDestLink), nLast)) return false;
      continue;
    }
    bool fFromStart = false;
    for (int32_t s = m_nodes[size_t(nStartNode)].nFirstLink; s >= 0; s = m_links[size_t(s)].cNextLink)
      fFromStart = fFromStart || s == iF;
    if (fFromStart && !add(int32_t(m_iStartLink), iF, nLastStartDual)) return false;
    int32_t nLast = -1;
    // A barrier the vehicle may not pass: no way on from its node.
    if (m_fUseRestrictions && (BarrierAt(f.nArrival) & wVehicle)) continue;
    for (int32_t iP = m_nodes[size_t(f.nArrival)].nFirstLink; iP >= 0; iP = m_links[size_t(iP)].cNextLink) {
      const RoutingLink& pl = m_links[size_t(iP)];
      bool fAllowed = true;
      for (int32_t r = m_fUseRestrictions ? f.nRestrict : -1; r >= 0 && fAllowed; r = m_restrictRefs[size_t(r)].nNext) {
        const TurnRestriction& tr = m_restrictions[size_t(m_restrictRefs[size_t(r)].iRestriction)];
        if (tr.cToRoad == pl.dwRoad && tr.cToNode == TowardNode(pl)) fAllowed = false;
      }
      if (options.fAvoidHighways && pl.btType == c_btHighway) fAllowed = false;
      if (options.fAvoidUTurns && TowardNode(pl) == f.cFromNode) fAllowed = false;
      if (fAllowed && !add(iF, iP, nLast)) return false;
    }
  }
  m_stats.cDualLinks = uint32_t(m_dual.Size());
  return true;
}

// ---------------------------------------------------------------------------
// The search

// Labels are (link, stage): a route may use the roads kept to its ends
// (btEnds bits, and unpaved ones when they are avoided) only as a run at its
// start (stage 0) and a run at its end (stage 2), with the rest (stage 1)
// on other roads. A map without such roads has every link in one stage, and
// the search is the plain least-cost search over links.
bool CVelRouter::Search(uint16_t wMask, bool fTimeBased, uint8_t btEnds, bool fAvoidUnpaved, const MapPoint* pGoal) {
  const int c_cStages = 3;
  RoutingLink* pLinks = m_links.Data();
  const size_t cLabels = m_links.Size() * c_cStages;
  if (!m_labelCost.Reserve(cLabels) || !m_labelPred.Reserve(cLabels) || !m_labelDual.Reserve(cLabels) ||
      !m_labelHeap.Reserve(cLabels) || !m_labelKey.Reserve(cLabels))
    return false;
  m_labelCost.Resize(0);
  m_labelPred.Resize(0);
  m_labelDual.Resize(0);
  m_labelHeap.Resize(0);
  m_labelKey.Resize(0);
  for (size_t i = 0; i < cLabels; ++i) {
    m_labelCost.Push(-1);
    m_labelPred.Push(-1);
    m_labelDual.Push(-1);
    m_labelHeap.Push(-1);
    m_labelKey.Push(-1);
  }
  // The bound of the cost still to come from a link's arrival node: the
  // straight line at the best quality (by time also at the top speed of the
  // map's roads), a hundredth taken off for the rounding of link lengths.
  float fPerUnit = 0;
  if (pGoal) {
    fPerUnit = 0.99f / m_fMaxQuality;
    if (fTimeBased) fPerUnit /= float(c_aSpeed[m_nMaxSpeedClass & 7]) * 10.0f / 36.0f;
  }
  auto bound = [&](const RoutingLink& l) -> float {
    if (!pGoal || l.nArrival < 0 || size_t(l.nArrival) >= m_nodePoints.Size() || l.nArrival >= int32_t(m_cNodes))
      return 0;
    return float(Dist(m_nodePoints[size_t(l.nArrival)], *pGoal, m_fCos)) * fPerUnit;
  };
  float* pKey = m_labelKey.Data();
  float* pCost = m_labelCost.Data();
  int32_t* pPred = m_labelPred.Data();
  int32_t* pDual = m_labelDual.Data();
  int32_t* pPos = m_labelHeap.Data();
  if (!m_heap.Reserve(m_links.Size() > 2 ? m_links.Size() : 2)) return false;
  m_heap.Resize(0);
  int32_t* pHeap = nullptr;
  size_t cHeap = 0;
  auto siftUp = [&](size_t i) {
    const int32_t v = pHeap[i];
    const float c = pKey[v];
    while (i > 0) {
      size_t parent = (i - 1) / 2;
      if (!(pKey[pHeap[parent]] > c)) break;
      pHeap[i] = pHeap[parent];
      pPos[pHeap[i]] = int32_t(i);
      i = parent;
    }
    pHeap[i] = v;
    pPos[v] = int32_t(i);
  };
  auto push = [&](int32_t v) -> bool {
    if (!m_heap.Push(v)) return false;
    pHeap = m_heap.Data();
    cHeap = m_heap.Size();
    siftUp(cHeap - 1);
    return true;
  };
  auto pop = [&]() -> int32_t {
    const int32_t top = pHeap[0];
    pPos[top] = -1;
    const int32_t last = pHeap[--cHeap];
    m_heap.Resize(cHeap);
    if (cHeap) {
      size_t i = 0;
      const float c = pKey[last];
      for (;;) {
        size_t l = 2 * i + 1, r = l + 1, m = i;
        float cm = c;
        if (l < cHeap && pKey[pHeap[l]] < cm) m = l, cm = pKey[pHeap[l]];
        if (r < cHeap && pKey[pHeap[r]] < cm) m = r;
        if (m == i) break;
        pHeap[i] = pHeap[m];
        pPos[pHeap[i]] = int32_t(i);
        i = m;
      }
      pHeap[i] = last;
      pPos[last] = int32_t(i);
    }
    return top;
  };
  auto endsOnly = [&](const RoutingLink& l) {
    return (l.btAccess & btEnds) != 0 || (fAvoidUnpaved && (l.btType == c_btUnpaved || (l.btAccess & c_btLinkUnpaved)));
  };

  const int32_t iStart = int32_t(m_iStartLink), iDest = int32_t(m_iDestLink);
  const int32_t nStartLabel = iStart * c_cStages, nDestLabel = iDest * c_cStages;
  pCost[nStartLabel] = 0;
  pKey[nStartLabel] = 0;
  if (!push(nStartLabel)) return false;
  uint32_t cPopped = 0;
  bool fFound = false;
  while (cHeap) {
    const int32_t nLabel = pop();
    ++cPopped;
    if (nLabel == nDestLabel) {
      fFound = true;
      break;
    }
    if (m_cWorkLimit && cPopped > m_cWorkLimit) break;
    const int32_t j = nLabel / c_cStages;
    const int nStage = nLabel % c_cStages;
    const float fCostJ = pCost[nLabel];
    for (int32_t d = pLinks[j].nFirstDual; d >= 0; d = m_dual[size_t(d)].cNextLink) {
      ASSERT(d != m_dual[size_t(d)].cNextLink);
      if (d == m_dual[size_t(d)].cNextLink) break;
      const int32_t q = m_dual[size_t(d)].nTo;
      const RoutingLink& lq = pLinks[q];
      if (lq.wAttributes & wMask) continue;
      int nNext = 0;
      if (q != iDest) {
        if (endsOnly(lq)) nNext = nStage == 0 ? 0 : 2;
        else if (nStage == 2) continue;  // off the end run again: a way through
        else nNext = 1;
      }
      const int32_t nQ = q * c_cStages + nNext;
      const float c = LinkCost(lq.fLength, lq.wAttributes, fTimeBased) + fCostJ;
      if (pCost[nQ] < 0 || pCost[nQ] > c) {
        const bool fQueued = pPos[nQ] >= 0;
        pCost[nQ] = c;
        pKey[nQ] = c + bound(lq);
        pPred[nQ] = nLabel;
        pDual[nQ] = d;
        if (fQueued) siftUp(size_t(pPos[nQ]));
        else if (!push(nQ)) return false;
      }
    }
  }
  m_stats.cPopped = cPopped;
  // The route goes into the links (cost, predecessor, dual link) for the
  // assembly. A link met twice (in two stages: a loop that costs as much as
  // not driving it) is driven once, the loop left out.
  if (fFound) {
    std::vector<int32_t> chain;  // labels, start first
    for (int32_t n = nDestLabel; n >= 0; n = pPred[n]) chain.push_back(n);
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
    for (size_t k = 0; k < route.size(); ++k) {
      RoutingLink& l = pLinks[route[k] / c_cStages];
      l.fCost = pCost[route[k]];
      l.nPred = k ? route[k - 1] / c_cStages : -1;
      l.nReachDual = k ? pDual[route[k]] : -1;
    }
  }
  m_labelCost.Free();
  m_labelPred.Free();
  m_labelDual.Free();
  m_labelHeap.Free();
  m_labelKey.Free();
  return true;
}

// ---------------------------------------------------------------------------
// Result assembly and turn analysis

bool CVelRouter::ReadRoad(uint32_t dwBlock, uint32_t dwRoad, RoadView& road) {
  CVelParser& p = m_parser;
  if (!p.RereadRecord(p.m_cLevels - 1, dwBlock, rkPolyline, dwRoad, road.rec, p.m_label.data(), p.m_label.size()))
    return false;
  road.pPoints = p.m_mapPoints.data();
  return true;
}

std::u16string CVelRouter::LinkLabel(int32_t iLink) {
  const RoutingLink& l = m_links[size_t(iLink)];
  RoadView road;
  if (!ReadRoad(l.dwBlock, l.dwRoad, road) || road.rec.dwLabelRef == 0xFFFFFFFFu) return std::u16string();
  char16_t sz[c_cchLabelOut];
  int nFlag = 0;
  m_parser.GetLabel(0, rkPolyline, road.rec.wType, road.rec.dwLabelRef, sz, &nFlag);
  return sz;
}

void CVelRouter::FillPoint(RouterPoint& point, const MapPoint& pt, int32_t iLink, const std::u16string* pLabel) {
  point = RouterPoint{};
  point.x = int32_t(uint32_t(pt.x) << 1);
  point.y = int32_t(uint32_t(pt.y) << 1);
  if (iLink < 0) return;  // an endpoint: plain, speed 5, quality 0, no label
  const RoutingLink& l = m_links[size_t(iLink)];
  point.btSpeed = uint8_t(c_aSpeed[l.wAttributes & 7]);
  point.btQuality = uint8_t((l.wAttributes >> 3) & 7);
  point.nLink = l.cLink;
  point.fLength = l.fLength;
  point.strLabel = pLabel ? *pLabel : LinkLabel(iLink);
}

// The points a link runs along in travel order; start and destination
// links begin or end at the snapped point.
bool CVelRouter::LinkPath(const RoutingLink& link, std::vector<MapPoint>& path, bool* pfAgainst) {
  path.clear();
  RoadView road;
  if (!ReadRoad(link.dwBlock, link.dwRoad, road)) return false;
  const uint32_t s = link.nStartPoint, e = link.nEndPoint;
  if (s >= road.rec.cPoints || e >= road.rec.cPoints) return false;
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
bool CVelRouter::IsForward(const RoutingLink& link) const {
  if (link.cRealNode == c_nDestLink && m_pDest) return int32_t(link.nStartPoint) == m_pDest->cPrevRPoint;
  return link.nStartPoint < link.nEndPoint;
}

// The node a link heads for: a destination link heads for the node at the
// other end of its road piece.
int32_t CVelRouter::TowardNode(const RoutingLink& link) const {
  if (link.cRealNode != c_nDestLink || !m_pDest) return link.cRealNode;
  return int32_t(link.nStartPoint) == m_pDest->cPrevRPoint ? m_pDest->nNextNode : m_pDest->nPrevNode;
}

// The direction of a road leaving a node, relative to the arriving
// direction ptRefA -> ptRefB: the summed course change of its first
// segments, counter-clockwise positive.
double CVelRouter::RoadAngle(const RoutingLink& link, const MapPoint& ptRefA, const MapPoint& ptRefB) {
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
    fWalked += std::round(Dist(a, b, m_fCos));
    if (fWalked > fLimit) break;
    fLast = fSeg;
  }
  return fSum;
}

void CVelRouter::AnalyseTurn(int32_t iIn, int32_t iOut, RouterPoint& point) {
  const RoutingLink in = m_links[size_t(iIn)];
  const RoutingLink out = m_links[size_t(iOut)];
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
  for (int32_t i = m_nodes[size_t(in.nArrival)].nFirstLink; i >= 0; i = m_links[size_t(i)].cNextLink) {
    if (i == iOut) continue;
    const RoutingLink& l = m_links[size_t(i)];
    if (l.cLink < 0) continue;  // the destination's links are no roads on
    if (l.dwRoad == in.dwRoad && l.cFromNode == in.cRealNode && l.cRealNode == in.cFromNode) continue;
    // The road link our destination link is a piece of.
    if (out.cLink < 0 && l.dwRoad == out.dwRoad && IsForward(l) == fOutForward) continue;
    const double fAngle = RoadAngle(l, a, b);
    Trace("Angle = %d: (%d,%d)\n", int(std::lround(fAngle)), l.cFromNode, l.cRealNode);
    ++cMeasured;
    const double fDiff = Normalise180(fAngle - fOur);
    if (fDiff > 0 && fDiff < fPos) fPos = fDiff, btPosType = l.btType;
    if (fDiff <= 0 && fDiff > fNeg) fNeg = fDiff, btNegType = l.btType;
  }
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

int32_t CVelRouter::OutgoingCount(int32_t nNode) const {
  int32_t c = 0;
  for (int32_t i = m_nodes[size_t(nNode)].nFirstLink; i >= 0; i = m_links[size_t(i)].cNextLink)
    c += m_links[size_t(i)].cLink >= 0;
  return c;
}

void CVelRouter::Assemble(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options) {
  std::vector<RouterPoint> pts;
  auto same = [](const RouterPoint& p, int32_t x2, int32_t y2) { return p.x == x2 && p.y == y2; };
  RouterPoint pt;
  FillPoint(pt, dest.ptNearest, -1);
  pts.push_back(pt);
  bool fInRoundabout = false;
  int nExit = 0;
  int32_t iNext = -1;  // the link travelled after the current one
  int32_t i = m_links[m_iDestLink].nPred;
  while (i >= 0 && size_t(i) != m_iStartLink) {
    const RoutingLink& l = m_links[size_t(i)];
    Trace("cLink = %d\n", l.cLink);
    Trace("cFromNode = %d\n", l.cFromNode);
    Trace("cRealNode = %d\n", l.cRealNode);
    RoadView road;
    if (!ReadRoad(l.dwBlock, l.dwRoad, road) || l.nStartPoint >= road.rec.cPoints ||
        l.nEndPoint >= road.rec.cPoints) {
      i = m_links[size_t(i)].nPred;
      iNext = -1;
      continue;
    }
    {
      char sz[128];
      std::string s = platform::U16ToUtf8(std::u16string(m_parser.m_label.data(), road.rec.cLabel));
      std::snprintf(sz, sizeof sz, "%s\n", s.c_str());
      platform::DebugOutputA(sz);
    }
    const MapPoint ptArrival = road.pPoints[l.nEndPoint];
    const uint32_t s = l.nStartPoint, e = l.nEndPoint;
    // Copy the points: labels and the turn analysis read other roads.
    std::vector<MapPoint> mid;
    for (uint32_t k = s; k != e; k = s < e ? k + 1 : k - 1)
      if (k != s) mid.push_back(road.pPoints[k]);
    const MapPoint ptStartPoint = road.pPoints[s];
    const int32_t x2 = int32_t(uint32_t(ptArrival.x) << 1), y2 = int32_t(uint32_t(ptArrival.y) << 1);
    const bool fDestPiece = l.cRealNode == c_nDestLink;
    // The road's label once for all the link's points: reading the record
    // again per point made long roads quadratic.
    const std::u16string strLabel = LinkLabel(i);
    if (!same(pts.back(), x2, y2) && !(fDestPiece && s == e)) {
      FillPoint(pt, ptArrival, i, &strLabel);
      if (l.cRealNode >= 0 && iNext >= 0) {
        const RoutingLink& out = m_links[size_t(iNext)];
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
          std::string s8 = platform::U16ToUtf8(pt.strLabel);
          char sz[160];
          if (s8.empty()) std::snprintf(sz, sizeof sz, "%d\n", nExit);
          else std::snprintf(sz, sizeof sz, "%s (%d)\n", s8.c_str(), nExit);
          platform::DebugOutputA(sz);
        } else {
          AnalyseTurn(i, iNext, pt);
          if (pt.btKind != c_rkPlain) {
            std::string s8 = platform::U16ToUtf8(pt.strLabel);
            char sz[160];
            if (s8.empty()) std::snprintf(sz, sizeof sz, "0x%X\n", unsigned(pt.btKind));
            else std::snprintf(sz, sizeof sz, "%s (0x%X)\n", s8.c_str(), unsigned(pt.btKind));
            platform::DebugOutputA(sz);
          }
        }
        (void)out;
      }
      pts.push_back(pt);
    }
    for (size_t k = mid.size(); k-- > 0;) {
      FillPoint(pt, mid[k], i, &strLabel);
      pts.push_back(pt);
    }
    const int32_t iPred = l.nPred;
    if (iPred >= 0 && size_t(iPred) == m_iStartLink) {
      if (s != e) {
        FillPoint(pt, ptStartPoint, -1);
        pts.push_back(pt);
      }
      break;
    }
    if (l.nReachDual < 0) {
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

void CVelRouter::SameRoad(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options) {
  RouterPoint pt;
  FillPoint(pt, start.ptNearest, -1);
  options.points.push_back(pt);
  RoadView road;
  if (start.nPoint != dest.nPoint && ReadRoad(start.dwBlock, start.dwRoad, road)) {
    std::vector<MapPoint> mid;
    if (start.nPoint < dest.nPoint) {
      for (uint32_t k = start.nPoint; k < dest.nPoint && k < road.rec.cPoints; ++k) mid.push_back(road.pPoints[k]);
    } else {
      for (uint32_t k = start.nPoint - 1; k >= dest.nPoint && k < road.rec.cPoints; --k) mid.push_back(road.pPoints[k]);
    }
    for (const MapPoint& m : mid) {
      FillPoint(pt, m, -1);
      options.points.push_back(pt);
    }
  }
  FillPoint(pt, dest.ptNearest, -1);
  options.points.push_back(pt);
}

void CVelRouter::Cleanup() {
  // Unlink the start and destination links from the lists they were put on,
  // then cut the arrays back to the graph proper.
  for (size_t n = 0; n < m_nodes.Size(); ++n) {
    int32_t* pPrev = &m_nodes[n].nFirstLink;
    while (*pPrev >= 0) {
      RoutingLink& l = m_links[size_t(*pPrev)];
      if (size_t(*pPrev) >= m_cGraphLinks) {
        --m_nodes[n].cLinks;
        if (l.nArrival >= 0 && size_t(l.nArrival) != n && size_t(l.nArrival) < m_nodes.Size())
          --m_nodes[size_t(l.nArrival)].cLinks;
        *pPrev = l.cNextLink;
      } else {
        pPrev = &l.cNextLink;
      }
    }
  }
  m_nodes[m_cNodes].nFirstLink = m_nodes[m_cNodes + 1].nFirstLink = -1;
  m_nodes[m_cNodes].cLinks = m_nodes[m_cNodes + 1].cLinks = 0;
  m_nodes[m_cNodes].cRealNode = -1;
  m_nodes[m_cNodes + 1].cRealNode = -2;
  m_links.Resize(m_cGraphLinks);
  m_restrictRefs.Resize(m_cGraphRefs);
  m_dual.Free();
  m_heap.Free();
}

bool CVelRouter::FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions& options, const MapProgress* pProgress) {
  m_stats = RouteSearchStats{};
  if (!m_parser.m_fHasRoadGraph) return false;
  // Closer than 20 m: no route (the east-west term scaled by cos, not cos²).
  {
    const double dx = double(ptEnd.x) - ptStart.x, dy = double(ptEnd.y) - ptStart.y;
    if (std::sqrt(dx * dx * m_fCos + dy * dy) < MetresToMap(20.0)) return false;
  }
  const double t0 = Now();
  if (!m_fBuilt && !Build(pProgress)) return false;
  Progress progress(pProgress);
  if (!progress.Set(0.6)) return false;
  const uint16_t wMask = VehicleMask(options.nVehicle, options.fAvoidTolls != 0);

  RoadSnap start, dest;
  start.pt = ptStart;
  dest.pt = ptEnd;
  dest.fDestination = true;
  RoadSnap* apSnap[2] = {&start, &dest};
  const double tSnap = Now();
  Snap(apSnap, 2, wMask);
  m_stats.msSnap = Now() - tSnap;
  Trace("%s=%.2f ms\n", "find source and dest", m_stats.msSnap);
  m_stats.start = start;
  m_stats.dest = dest;
  m_stats.fOnNode = m_fOnNode;
  if (!progress.Set(0.8)) return false;
  if (dest.fD2 < 0 || start.fD2 < 0 || start.nPrevNode < 0 || dest.nPrevNode < 0) return false;

  // Both on one road: its points between them, unless the road forbids the
  // vehicle or is one-way against the direction from start to destination
  // (then the search goes round by the graph).
  if (start.dwRoad == dest.dwRoad && start.dwBlock == dest.dwBlock && !(start.wAttributes & wMask)) {
    bool fForward = start.nPoint < dest.nPoint ||
                    (start.nPoint == dest.nPoint &&
                     Dist(start.ptSegStart, start.ptNearest, m_fCos) <= Dist(dest.ptSegStart, dest.ptNearest, m_fCos));
    if (!start.fOneWay || fForward) {
      SameRoad(start, dest, options);
      m_stats.fSameRoad = true;
      m_stats.msTotal = Now() - t0;
      Trace("%s=%.2f ms\n", "Total", m_stats.msTotal);
      return true;
    }
  }

  bool fMemory = true;
  bool fOk = SearchFromSnaps(start, dest, options, wMask, progress, fMemory);
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
    Snap(apNext, 2, wMask, aExclude);
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
      fOk = SearchFromSnaps(*t[0], *t[1], options, wMask, progress, fMemory);
    }
  }
  if (!fMemory) return OutOfMemory();
  m_stats.msTotal = Now() - t0;
  if (fOk) Trace("%s=%.2f ms\n", "Total", m_stats.msTotal);
  return fOk;
}

// One search between two snapped points: the start and destination links,
// the dual links, the search, the route's points; the graph is left as it
// was. fMemory: false when memory ran out.
bool CVelRouter::SearchFromSnaps(const RoadSnap& start, const RoadSnap& dest, RouteOptions& options, uint16_t wMask,
                                 Progress& progress, bool& fMemory) {
  m_cGraphLinks = m_links.Size();
  m_cGraphRefs = m_restrictRefs.Size();
  m_pStart = &start;
  m_pDest = &dest;
  bool fOk = ConnectStart(start, options) && ConnectDestination(dest);
  fMemory = fOk;
  if (fOk) {
    Trace("Routing links: %u\n", unsigned(m_links.Size()));
    fOk = fMemory = BuildDualLinks(options, progress);
    Trace("Routing dual links: %u\n", unsigned(m_dual.Size()));
  }
  m_stats.cLinks = uint32_t(m_links.Size());
  m_stats.cPopped = 0;
  if (fOk && progress.Cancelled()) fOk = false;
  if (fOk) {
    fOk = fMemory = Search(wMask, options.fTimeBased != 0, m_fUseRestrictions ? LinkThroughBit(options.nVehicle) : 0,
                           options.fAvoidUnpaved != 0,
                           m_fGoalDirected ? &dest.ptNearest : nullptr);
    if (fOk) fOk = m_links[m_iDestLink].fCost >= 0;
  }
  if (fOk && progress.Cancelled()) fOk = false;
  if (fOk) {
    m_stats.fCost = double(m_links[m_iDestLink].fCost) - LinkCost(1, 0, options.fTimeBased != 0);
    Assemble(start, dest, options);
    progress.Set(1.0);
  }
  Cleanup();
  m_pStart = m_pDest = nullptr;
  return fOk;
}

// ---------------------------------------------------------------------------

bool CVelRouter::FillRoadNet(const RouteOptions& options, const MapProgress* pProgress, RoadNet& net) {
  if (!Build(pProgress)) return false;
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
    return !(m_fUseRestrictions && (BarrierAt(l.cFromNode) & wMask));
  };
  // Roads kept to a route's ends, as the search here keeps them.
  auto endsOnly = [&](const RoutingLink& l) {
    return (m_fUseRestrictions && (l.btAccess & btThrough)) ||
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
  const uint32_t cKeys = m_parser.GetBorderKeyCount();
  net.byKey.reserve(cKeys);
  net.byNode.reserve(cKeys);
  for (uint32_t i = 0; i < cKeys; ++i) {
    const VelBorderKey k = m_parser.GetBorderKey(i);
    if (k.nNode >= m_cNodes || !k.qwKey) continue;
    net.byKey.emplace_back(k.qwKey, k.nNode);
    net.byNode.emplace_back(k.nNode, k.qwKey);
  }
  std::sort(net.byKey.begin(), net.byKey.end());
  std::sort(net.byNode.begin(), net.byNode.end());
  return true;
}

bool CVelRouter::SnapNodes(MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                           std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad) {
  nodes.clear();
  if (!m_fBuilt && !Build(nullptr)) return false;
  const uint16_t wMask = VehicleMask(options.nVehicle, options.fAvoidTolls != 0);
  RoadSnap snap;
  snap.pt = pt;
  snap.fDestination = fDestination;
  RoadSnap* apSnap[2] = {&snap, nullptr};
  Snap(apSnap, 1, wMask);
  if (snap.fD2 < 0) return false;
  if (fNext) {
    const std::vector<uint32_t> aExclude[2] = {{snap.dwRoad}, {}};
    snap = RoadSnap();
    snap.pt = pt;
    snap.fDestination = fDestination;
    Snap(apSnap, 1, wMask, aExclude);
    if (snap.fD2 < 0 || snap.nPrevNode < 0) return false;
  }
  if (pfOffRoad) *pfOffRoad = Dist(pt, snap.ptNearest, m_fCos);
  if (snap.nPrevNode >= 0 && uint32_t(snap.nPrevNode) < m_cNodes)
    nodes.emplace_back(uint32_t(snap.nPrevNode), float(snap.fPrevLength));
  if (snap.nNextNode >= 0 && uint32_t(snap.nNextNode) < m_cNodes)
    nodes.emplace_back(uint32_t(snap.nNextNode), float(snap.fNextLength));
  return !nodes.empty();
}

bool CVelParser::SnapToRoadNet(MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                               std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad) {
  CVelRouter* pRouter = GetRouter();
  if (!pRouter) {
    nodes.clear();
    return false;
  }
  return pRouter->SnapNodes(pt, fDestination, fNext, options, nodes, pfOffRoad);
}

bool CVelParser::GetRoadNet(const RouteOptions& options, const MapProgress* pProgress, const RoadNet** ppNet) {
  if (ppNet) *ppNet = nullptr;
  CVelRouter* pRouter = GetRouter();
  if (!pRouter || !ppNet) return false;
  RoadNet* pNet = m_pRoadNet.get();
  if (!pNet || pNet->nVehicle != options.nVehicle || pNet->fTimeBased != options.fTimeBased ||
      pNet->fAvoidTolls != options.fAvoidTolls || pNet->fAvoidUnpaved != options.fAvoidUnpaved ||
      pNet->fAvoidHighways != options.fAvoidHighways) {
    if (!m_pRoadNet) m_pRoadNet.reset(new (std::nothrow) RoadNet);
    if (!m_pRoadNet || !pRouter->FillRoadNet(options, pProgress, *m_pRoadNet)) {
      m_pRoadNet.reset();
      return false;
    }
    pNet = m_pRoadNet.get();
  }
  *ppNet = pNet;
  return true;
}

CVelRouter* CVelParser::GetRouter() {
  if (!m_pRouter && m_fHasRoadGraph && m_fObjectTables) m_pRouter = new CVelRouter(*this);
  return m_pRouter;
}

bool CVelParser::FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress) {
  CVelRouter* pRouter = pOptions ? GetRouter() : nullptr;
  return pRouter && pRouter->FindRoute(ptStart, ptEnd, *pOptions, pProgress);
}
