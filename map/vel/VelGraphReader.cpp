// The native map as the road search reads it (IRoadGraphReader): its roads
// with their graph nodes from the finest level, the turn restriction table,
// the road access table and the border keys.
#include <algorithm>
#include <cstring>
#include <new>

#include "map/vel/VelParser.h"
#include "platform/Debug.h"
#include "routing/search/RoadRouter.h"

using namespace vel;

namespace {

// The link access bits of a road from the access table (records sorted by
// road offset, read with memcpy: they need no alignment).
uint8_t AccessOfRoad(const uint8_t* pTable, uint32_t cRecords, uint32_t dwRoad) {
  size_t lo = 0, hi = cRecords;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    VelRoadAccess a;
    std::memcpy(&a, pTable + mid * sizeof a, sizeof a);
    if (a.dwRoad == dwRoad) return CRoadGraph::LinkAccess(a.btThrough, (a.btFlags & c_btAccessUnpaved) != 0);
    if (a.dwRoad < dwRoad) lo = mid + 1;
    else hi = mid;
  }
  return 0;
}

}  // namespace

// The road access table when it lies inside the file: its records, and
// the barrier records after them.
bool CVelParser::GetAccessTable(const uint8_t** ppRoads, const uint8_t** ppBarriers) const {
  *ppRoads = *ppBarriers = nullptr;
  if (!m_hdr.dwAccessTableOffset) return false;
  const uint64_t cb = uint64_t(m_hdr.dwAccessRoadCount) * sizeof(VelRoadAccess) +
                      uint64_t(m_hdr.dwBarrierCount) * sizeof(VelNodeBarrier);
  if (m_hdr.dwAccessTableOffset < sizeof(VelExtHeader) || m_hdr.dwAccessTableOffset + cb > m_cFileSize) return false;
  *ppRoads = m_pData + m_hdr.dwAccessTableOffset;
  *ppBarriers = *ppRoads + size_t(m_hdr.dwAccessRoadCount) * sizeof(VelRoadAccess);
  return true;
}

uint32_t CVelParser::GetGraphNodeCount() {
  if (!m_fHasRoadGraph || !m_fObjectTables || m_cLevels == 0) return 0;
  // Every node of a real map is marked at least once by a bit of the file;
  // a count beyond that is a damaged header, not a graph.
  const uint32_t cNodes = m_hdr.dwNodeCount;
  if (uint64_t(cNodes) > uint64_t(m_cFileSize) * 8 || cNodes > uint32_t(INT32_MAX) - 2) return 0;
  return cNodes;
}

MapRect CVelParser::GetGraphRect() { return GetRect(); }

double CVelParser::GetGridStep() {
  VelLevel level;
  if (m_cLevels == 0 || !GetLevel(m_cLevels - 1, level)) return 1;
  return double(1u << (uint32_t(~level.wLevelCode) & 31));
}

bool CVelParser::ReadRoads(const MapRect* aWindows, size_t cWindows, CRoadVisitor& visitor) {
  VelLevel level;
  if (m_cLevels == 0 || !GetLevel(m_cLevels - 1, level) || level.dwFirstBlock >= m_cFileSize) return false;
  const uint32_t nShift = uint32_t(~level.wLevelCode) & 31;
  const uint32_t cBlocks = level.wBlocks;
  const uint8_t* pTable = nullptr;
  const uint8_t* pBarriers = nullptr;
  GetAccessTable(&pTable, &pBarriers);
  const uint32_t cAccess = pTable ? m_hdr.dwAccessRoadCount : 0;
  const uint8_t* pBlock = m_pData + level.dwFirstBlock;
  ResetWork();
  for (uint32_t nBlock = 0; nBlock < cBlocks; ++nBlock) {
    if (!visitor.OnBlock(nBlock, cBlocks)) return false;
    const uint32_t dwBlock = uint32_t(pBlock - m_pData);
    VelBlockInfo block;
    if (!ReadBlock(pBlock, block)) break;  // a block header past the end ends the walk
    const uint32_t cb = block.adwSectionSize[1];
    if (!cb) continue;
    block.rect = VelBlockRect(block.hdr, nShift);
    if (cWindows) {
      bool fNear = false;
      for (size_t s = 0; s < cWindows; ++s) fNear = fNear || block.rect.Intersects(aWindows[s]);
      if (!fNear) continue;
    }
    const uint8_t* pSection = m_pData + block.adwSectionOffset[1];
    CBitStream bs(pSection, pSection + cb);
    while (bs.GetPtr() < pSection + cb) {
      VelRecord rec;
      // The graph needs no names: a shared one is not even looked up.
      if (!ReadRecord(bs, rkPolyline, block, nShift, true, rec, nullptr, 0)) break;
      if (!rec.fHasNodes) continue;
      GraphRoad road;
      road.dwBlock = dwBlock;
      road.dwRoad = rec.dwOffset;
      road.wType = rec.wType;
      road.wAttributes = rec.wRoadAttributes;
      road.btAccess = cAccess ? AccessOfRoad(pTable, cAccess, rec.dwOffset) : 0;
      road.cPoints = rec.cPoints;
      road.pPoints = m_mapPoints.data();
      road.pNodes = m_pointNodes.data();
      road.rcBlock = block.rect;
      if (!visitor.OnRoad(road)) return false;
    }
  }
  return true;
}

bool CVelParser::ReadRoad(uint32_t dwBlock, uint32_t dwRoad, GraphRoad& road) {
  VelRecord rec;
  if (m_cLevels == 0 ||
      !RereadRecord(m_cLevels - 1, dwBlock, rkPolyline, dwRoad, rec, m_label.data(), m_label.size()))
    return false;
  m_lastRoad.dwBlock = dwBlock;
  m_lastRoad.dwRoad = dwRoad;
  m_lastRoad.dwLabelRef = rec.dwLabelRef;
  m_lastRoad.wType = rec.wType;
  m_lastRoad.fValid = true;
  road = GraphRoad();
  road.dwBlock = dwBlock;
  road.dwRoad = dwRoad;
  road.wType = rec.wType;
  road.wAttributes = rec.wRoadAttributes;
  road.cPoints = rec.cPoints;
  road.pPoints = m_mapPoints.data();
  road.pNodes = m_pointNodes.data();
  const uint8_t* pTable = nullptr;
  const uint8_t* pBarriers = nullptr;
  if (GetAccessTable(&pTable, &pBarriers)) road.btAccess = AccessOfRoad(pTable, m_hdr.dwAccessRoadCount, dwRoad);
  return true;
}

std::u16string CVelParser::GetRoadLabel(uint32_t dwBlock, uint32_t dwRoad) {
  uint32_t dwLabelRef = 0xFFFFFFFFu;
  uint16_t wType = 0;
  if (m_lastRoad.fValid && m_lastRoad.dwBlock == dwBlock && m_lastRoad.dwRoad == dwRoad) {
    dwLabelRef = m_lastRoad.dwLabelRef;
    wType = m_lastRoad.wType;
  } else {
    VelRecord rec;
    if (m_cLevels == 0 ||
        !RereadRecord(m_cLevels - 1, dwBlock, rkPolyline, dwRoad, rec, m_label.data(), m_label.size()))
      return std::u16string();
    dwLabelRef = rec.dwLabelRef;
    wType = rec.wType;
  }
  if (dwLabelRef == 0xFFFFFFFFu) return std::u16string();
  char16_t sz[c_cchLabelOut];
  int nFlag = 0;
  GetLabel(0, rkPolyline, wType, dwLabelRef, sz, &nFlag);
  return sz;
}

bool CVelParser::ReadTurnRestrictions(std::vector<TurnRestriction>& restrictions, uint32_t& cDropped) {
  restrictions.clear();
  cDropped = 0;
  std::vector<VelTurnRecord> turns;
  // Records cut off by the end of the file are no damage of their own: only
  // the records read whole and refused count as dropped.
  if (!GetTurnTable(turns, nullptr, &cDropped)) return true;  // none
  restrictions.reserve(turns.size());
  for (const VelTurnRecord& t : turns)
    restrictions.push_back(TurnRestriction{int32_t(t.cFromNode), int32_t(t.cNode), int32_t(t.cToNode), t.cFromRoad,
                                           t.cToRoad});
  return true;
}

bool CVelParser::ReadBarriers(std::vector<std::pair<uint32_t, uint16_t>>& barriers) {
  barriers.clear();
  const uint8_t* pTable = nullptr;
  const uint8_t* pBarriers = nullptr;
  if (!GetAccessTable(&pTable, &pBarriers)) return true;
  barriers.reserve(m_hdr.dwBarrierCount);
  for (uint32_t i = 0; i < m_hdr.dwBarrierCount; ++i) {
    VelNodeBarrier b;
    std::memcpy(&b, pBarriers + size_t(i) * sizeof b, sizeof b);
    barriers.emplace_back(b.nNode, b.wDeny);
  }
  return true;
}

uint32_t CVelParser::GetGraphBorderKeyCount() { return GetBorderKeyCount(); }

bool CVelParser::GetGraphBorderKey(uint32_t i, uint32_t& nNode, uint64_t& qwKey) {
  if (i >= GetBorderKeyCount()) return false;
  const VelBorderKey k = GetBorderKey(i);
  nNode = k.nNode;
  qwKey = k.qwKey;
  return true;
}

// ---------------------------------------------------------------------------
// Routes

CRoadRouter* CVelParser::GetRouter() {
  if (!m_pRouter && GetGraphNodeCount()) m_pRouter.reset(new (std::nothrow) CRoadRouter(*this));
  return m_pRouter.get();
}

bool CVelParser::FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress) {
  CRoadRouter* pRouter = pOptions ? GetRouter() : nullptr;
  return pRouter && pRouter->FindRoute(ptStart, ptEnd, *pOptions, pProgress);
}

size_t CVelParser::GetRouteMemory() {
  return (m_pRouter ? m_pRouter->MemoryBytes() : 0) + (m_pRoadNet ? m_pRoadNet->MemoryBytes() : 0);
}

bool CVelParser::SnapToRoadNet(MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                               std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad) {
  CRoadRouter* pRouter = GetRouter();
  if (!pRouter) {
    nodes.clear();
    return false;
  }
  return pRouter->SnapNodes(pt, fDestination, fNext, options, nodes, pfOffRoad);
}

bool CVelParser::GetRoadNet(const RouteOptions& options, const MapProgress* pProgress, const RoadNet** ppNet) {
  if (ppNet) *ppNet = nullptr;
  CRoadRouter* pRouter = GetRouter();
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
