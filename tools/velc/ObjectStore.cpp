#include "tools/velc/ObjectStore.h"

#include <algorithm>
#include <cstring>

CObjectStore::CObjectStore(const std::vector<uint16_t>& levelCodes) : m_levels(levelCodes.size()) {
  for (size_t i = 0; i < levelCodes.size(); ++i) m_levels[i].wCode = levelCodes[i];
}

uint32_t CObjectStore::LabelNumber(const std::u16string& str) {
  if (str.empty()) return 0;
  auto it = m_labelNumbers.find(std::u16string_view(str));
  if (it != m_labelNumbers.end()) return it->second;
  m_labels.push_back(str);
  const uint32_t n = uint32_t(m_labels.size());
  m_labelNumbers.emplace(std::u16string_view(m_labels.back()), n);
  return n;
}

size_t CObjectStore::Add(size_t iLevel, const VelObject& obj) {
  Level& lv = m_levels[iLevel];
  if (lv.c % c_cSlab == 0) lv.slabs.emplace_back(new Record[c_cSlab]);
  Record& r = lv.slabs.back()[lv.c % c_cSlab];
  std::memset(&r, 0, sizeof r);
  // The points of an object stay together in one chunk.
  const size_t cPoints = obj.points.size();
  if (lv.chunks.empty() || lv.chunks.back().size() + cPoints > lv.chunks.back().capacity()) {
    lv.chunks.emplace_back();
    lv.chunks.back().reserve(std::max(c_cChunk, cPoints));
  }
  std::vector<MapPoint>& chunk = lv.chunks.back();
  r.iChunk = uint32_t(lv.chunks.size() - 1);
  r.iPoint = uint32_t(chunk.size());
  r.cPoints = uint32_t(cPoints);
  chunk.insert(chunk.end(), obj.points.begin(), obj.points.end());
  r.iLabel = LabelNumber(obj.strLabel);
  if (!obj.nodeIndex.empty()) {
    r.bFlags |= c_fNodes;
    r.iNodes = uint32_t(lv.nodes.size());
    lv.nodes.insert(lv.nodes.end(), obj.nodeIndex.begin(), obj.nodeIndex.end());
  }
  if (obj.adwAddress[0] || obj.adwAddress[1] || obj.adwAddress[2] || obj.adwAddress[3] || obj.nIndexCity ||
      !lv.addresses.empty()) {
    lv.addresses.resize(lv.c + 1, AddressFields{{0, 0, 0, 0}, 0});
    std::memcpy(lv.addresses[lv.c].adwAddress, obj.adwAddress, sizeof obj.adwAddress);
    lv.addresses[lv.c].nIndexCity = obj.nIndexCity;
  }
  r.wType = obj.wType;
  r.wRoadAttributes = obj.wRoadAttributes;
  r.btRoadThrough = obj.btRoadThrough;
  r.btRoadFlags = obj.btRoadFlags;
  r.nKind = uint8_t(obj.nKind);
  r.bFlags |= (obj.fDirection ? c_fDirection : 0) | (obj.fHasNodes ? c_fHasNodes : 0) |
              (obj.fHasAttributes ? c_fHasAttributes : 0) | (obj.fHasAddress ? c_fAddress : 0) |
              (obj.fExtraAddressBit ? c_fExtraAddressBit : 0);
  return lv.c++;
}

void CObjectStore::MoveToFront(size_t iLevel, size_t iFirst) {
  Level& lv = m_levels[iLevel];
  lv.iFront = iFirst < lv.c ? iFirst : 0;
}

const MapPoint* CObjectStore::Points(size_t iLevel, size_t i, size_t& c) const {
  const Record& r = Rec(iLevel, i);
  c = r.cPoints;
  return m_levels[iLevel].chunks[r.iChunk].data() + r.iPoint;
}

std::vector<int32_t> CObjectStore::NodesOf(size_t iLevel, size_t i) const {
  const Record& r = Rec(iLevel, i);
  if (!(r.bFlags & c_fNodes)) return {};
  const int32_t* p = m_levels[iLevel].nodes.data() + r.iNodes;
  return std::vector<int32_t>(p, p + r.cPoints);
}

void CObjectStore::Get(size_t iLevel, size_t i, VelObject& out) const {
  const Record& r = Rec(iLevel, i);
  const Level& lv = m_levels[iLevel];
  out.nKind = r.nKind;
  out.wType = r.wType;
  const MapPoint* p = lv.chunks[r.iChunk].data() + r.iPoint;
  out.points.assign(p, p + r.cPoints);
  if (r.iLabel) out.strLabel = m_labels[r.iLabel - 1];
  else out.strLabel.clear();
  out.fDirection = (r.bFlags & c_fDirection) != 0;
  out.fHasNodes = (r.bFlags & c_fHasNodes) != 0;
  out.fHasAttributes = (r.bFlags & c_fHasAttributes) != 0;
  out.wRoadAttributes = r.wRoadAttributes;
  out.btRoadThrough = r.btRoadThrough;
  out.btRoadFlags = r.btRoadFlags;
  if (r.bFlags & c_fNodes) out.nodeIndex.assign(lv.nodes.data() + r.iNodes, lv.nodes.data() + r.iNodes + r.cPoints);
  else out.nodeIndex.clear();
  out.fHasAddress = (r.bFlags & c_fAddress) != 0;
  out.fExtraAddressBit = (r.bFlags & c_fExtraAddressBit) != 0;
  const size_t k = lv.Physical(i);
  if (k < lv.addresses.size()) {
    std::memcpy(out.adwAddress, lv.addresses[k].adwAddress, sizeof out.adwAddress);
    out.nIndexCity = lv.addresses[k].nIndexCity;
  } else {
    std::memset(out.adwAddress, 0, sizeof out.adwAddress);
    out.nIndexCity = 0;
  }
}

CObjectStore::AddressFields& CObjectStore::AddressOf(size_t iLevel, size_t i) {
  Level& lv = m_levels[iLevel];
  if (lv.addresses.size() < lv.c) lv.addresses.resize(lv.c, AddressFields{{0, 0, 0, 0}, 0});
  return lv.addresses[lv.Physical(i)];
}

void CObjectStore::SetIndexCity(size_t iLevel, size_t i, uint32_t n) {
  if (n == 0 && m_levels[iLevel].Physical(i) >= m_levels[iLevel].addresses.size()) return;
  AddressOf(iLevel, i).nIndexCity = n;
}

void CObjectStore::GetAddress(size_t iLevel, size_t i, uint32_t adw[4]) const {
  const Level& lv = m_levels[iLevel];
  const size_t k = lv.Physical(i);
  if (k < lv.addresses.size()) std::memcpy(adw, lv.addresses[k].adwAddress, sizeof(uint32_t) * 4);
  else std::memset(adw, 0, sizeof(uint32_t) * 4);
}

void CObjectStore::SetAddress(size_t iLevel, size_t i, const uint32_t adw[4]) {
  std::memcpy(AddressOf(iLevel, i).adwAddress, adw, sizeof(uint32_t) * 4);
  Rec(iLevel, i).bFlags |= c_fAddress;
}

void CObjectStore::TakeAll(std::vector<VelLevelInput>& levels) {
  levels.assign(m_levels.size(), VelLevelInput());
  for (size_t iLevel = 0; iLevel < m_levels.size(); ++iLevel) {
    Level& lv = m_levels[iLevel];
    levels[iLevel].wLevelCode = lv.wCode;
    std::vector<VelObject>& objects = levels[iLevel].objects;
    objects.resize(lv.c);
    // In the order the records were added, so that slabs and chunks are
    // given back as soon as their objects are out.
    const size_t cFront = lv.iFront ? lv.c - lv.iFront : 0;
    uint32_t iChunkDone = 0;
    for (size_t k = 0; k < lv.c; ++k) {
      const size_t iLogical = lv.iFront ? (k >= lv.iFront ? k - lv.iFront : k + cFront) : k;
      VelObject& obj = objects[iLogical];
      Get(iLevel, iLogical, obj);
      const uint32_t iChunk = lv.slabs[k / c_cSlab][k % c_cSlab].iChunk;
      for (; iChunkDone < iChunk; ++iChunkDone) std::vector<MapPoint>().swap(lv.chunks[iChunkDone]);
      if ((k + 1) % c_cSlab == 0) {
        lv.slabs[k / c_cSlab].reset();
        if ((k + 1) % (c_cSlab * 16) == 0) ReleaseFreeMemory();
      }
    }
    Level empty;
    empty.wCode = lv.wCode;
    std::swap(lv, empty);
  }
  m_labelNumbers.clear();
  m_labels.clear();
  ReleaseFreeMemory();
}
