#include "tools/velc/ObjectStore.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tools/velc/SpillHeap.h"

CStoreMemory::CStoreMemory(uint64_t cbBudget, const std::string& strFolder)
    : m_cbBudget(cbBudget), m_strFolder(strFolder.empty() ? "." : strFolder) {}

CStoreMemory::~CStoreMemory() {
  if (m_fd >= 0) ::close(m_fd);
}

CStoreMemory::Block CStoreMemory::Alloc(size_t cb) {
  Block b;
  if (cb == 0) cb = 1;
  if (m_cbHeap + cb <= m_cbBudget) {
    b.p = std::malloc(cb);
    if (b.p) {
      b.cb = cb;
      m_cbHeap += cb;
      return b;
    }
  }
  // Spilled: a new stretch at the end of the temporary file, its blocks
  // reserved first so that a full disk is told here.
  if (m_fd < 0) {
    std::string strTemplate = m_strFolder + "/.velc-store-XXXXXX";
    m_fd = ::mkstemp(&strTemplate[0]);
    if (m_fd < 0) {
      m_strError = "cannot make a temporary file in " + m_strFolder + ": " + std::strerror(errno);
      return b;
    }
    ::unlink(strTemplate.c_str());
  }
  const uint64_t cbPage = uint64_t(::sysconf(_SC_PAGESIZE));
  const uint64_t cbMap = (uint64_t(cb) + cbPage - 1) / cbPage * cbPage;
  const int nError = ::posix_fallocate(m_fd, off_t(m_cbFile), off_t(cbMap));
  if (nError != 0) {
    m_strError = "cannot spill the converted objects to a temporary file in " + m_strFolder + ": " +
                 std::strerror(nError);
    return b;
  }
  void* p = ::mmap(nullptr, size_t(cbMap), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, off_t(m_cbFile));
  if (p == MAP_FAILED) {
    m_strError = std::string("cannot map the temporary file of the converted objects: ") + std::strerror(errno);
    return b;
  }
#ifdef MADV_POPULATE_WRITE
  // The stretch is filled from its start at once: its pages are made in
  // one call rather than one fault each (older systems refuse, and they
  // come one fault each as before).
  ::madvise(p, size_t(cbMap), MADV_POPULATE_WRITE);
#endif
  b.off = m_cbFile;
  m_cbFile += cbMap;
  m_mapped.emplace_back(p, size_t(cbMap));
  // What was spilled before goes out of memory as the file grows.
  m_cbSinceDrop += cbMap;
  if (m_cbSinceDrop >= (uint64_t(64) << 20)) {
    DropResident();
    m_cbSinceDrop = 0;
  }
  b.p = p;
  b.cb = size_t(cbMap);
  b.fMapped = true;
  m_cbSpilled += cbMap;
  m_cbSpilledPeak = std::max(m_cbSpilledPeak, m_cbSpilled);
  return b;
}

void CStoreMemory::Free(Block& b) {
  if (!b.p) return;
  if (b.fMapped) {
    // The pages and the file's blocks go back at once.
    ::munmap(b.p, b.cb);
    for (size_t i = 0; i < m_mapped.size(); ++i)
      if (m_mapped[i].first == b.p) {
        m_mapped[i] = m_mapped.back();
        m_mapped.pop_back();
        break;
      }
    ::fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(b.off), off_t(b.cb));
    m_cbSpilled -= b.cb;
  } else {
    std::free(b.p);
    m_cbHeap -= b.cb;
  }
  b = Block();
  if (m_cbSpilled == 0 && m_fd >= 0 && m_cbFile) {
    // Nothing spilled is held any more: the file is emptied.
    if (::ftruncate(m_fd, 0) == 0) m_cbFile = 0;
  }
}

void CStoreMemory::DropResident() {
  for (const auto& m : m_mapped) ::madvise(m.first, m.second, MADV_DONTNEED);
  DropSpillHeapResident();  // the large blocks of the heap too
}

void CObjectStore::Trim() const {
  if (TakeResidentOverBudget()) m_pMemory->DropResident();
}

CObjectStore::CObjectStore(const std::vector<uint16_t>& levelCodes, CStoreMemory* pMemory)
    : m_levels(levelCodes.size()), m_pMemory(pMemory) {
  for (size_t i = 0; i < levelCodes.size(); ++i) m_levels[i].wCode = levelCodes[i];
  if (!m_pMemory) {
    m_heapOnly.reset(new CStoreMemory(UINT64_MAX, std::string()));
    m_pMemory = m_heapOnly.get();
  }
}

CObjectStore::~CObjectStore() {
  for (Level& lv : m_levels) ReleaseLevel(lv);
}

template <class T>
void CObjectStore::Make(Array<T>& a, size_t cap) {
  a.block = m_pMemory->Alloc(cap * sizeof(T));
  if (!a.block.p)
    throw std::runtime_error(m_pMemory->Failed() ? m_pMemory->Error() : std::string("out of memory"));
  a.c = 0;
  a.cap = cap;
}

template <class T>
void CObjectStore::Release(Array<T>& a) {
  m_pMemory->Free(a.block);
  a.c = a.cap = 0;
}

void CObjectStore::ReleaseLevel(Level& lv) {
  for (auto& a : lv.slabs) Release(a);
  for (auto& a : lv.chunks) Release(a);
  for (auto& a : lv.nodePages) Release(a);
  lv.slabs.clear();
  lv.chunks.clear();
  lv.nodePages.clear();
}

void CObjectStore::CopyNodes(const Level& lv, size_t iFirst, size_t c, std::vector<int32_t>& out) const {
  out.resize(c);
  size_t k = 0;
  while (k < c) {
    const size_t i = iFirst + k;
    const Array<int32_t>& page = lv.nodePages[i / c_cNodePage];
    const size_t cTake = std::min(c - k, c_cNodePage - i % c_cNodePage);
    std::memcpy(out.data() + k, page.data() + i % c_cNodePage, cTake * sizeof(int32_t));
    k += cTake;
  }
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
  if (lv.c % c_cSlab == 0) {
    lv.slabs.emplace_back();
    Make(lv.slabs.back(), c_cSlab);
  }
  // The points of an object stay together in one chunk.
  const size_t cPoints = obj.points.size();
  if (lv.chunks.empty() || lv.chunks.back().c + cPoints > lv.chunks.back().cap) {
    lv.chunks.emplace_back();
    Make(lv.chunks.back(), std::max(c_cChunk, cPoints));
  }
  // The node numbers (as many as points) run on over fixed pages.
  const size_t cNodes = obj.nodeIndex.size();
  if (cNodes) {
    const size_t cPages = (lv.cNodes + cNodes + c_cNodePage - 1) / c_cNodePage;
    while (lv.nodePages.size() < cPages) {
      lv.nodePages.emplace_back();
      Make(lv.nodePages.back(), c_cNodePage);
    }
  }
  Record& r = lv.slabs.back().data()[lv.c % c_cSlab];
  std::memset(&r, 0, sizeof r);
  Array<MapPoint>& chunk = lv.chunks.back();
  r.iChunk = uint32_t(lv.chunks.size() - 1);
  r.iPoint = uint32_t(chunk.c);
  r.cPoints = uint32_t(cPoints);
  if (cPoints) std::memcpy(chunk.data() + chunk.c, obj.points.data(), cPoints * sizeof(MapPoint));
  chunk.c += cPoints;
  r.iLabel = LabelNumber(obj.strLabel);
  if (cNodes) {
    r.bFlags |= c_fNodes;
    r.iNodes = uint32_t(lv.cNodes);
    for (size_t k = 0; k < cNodes;) {
      const size_t i = lv.cNodes + k;
      const size_t cTake = std::min(cNodes - k, c_cNodePage - i % c_cNodePage);
      std::memcpy(lv.nodePages[i / c_cNodePage].data() + i % c_cNodePage, obj.nodeIndex.data() + k,
                  cTake * sizeof(int32_t));
      k += cTake;
    }
    lv.cNodes += cNodes;
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
  std::vector<int32_t> nodes;
  if (r.bFlags & c_fNodes) CopyNodes(m_levels[iLevel], r.iNodes, r.cPoints, nodes);
  return nodes;
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
  if (r.bFlags & c_fNodes) CopyNodes(lv, r.iNodes, r.cPoints, out.nodeIndex);
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
    size_t iNodePageDone = 0;
    for (size_t k = 0; k < lv.c; ++k) {
      const size_t iLogical = lv.iFront ? (k >= lv.iFront ? k - lv.iFront : k + cFront) : k;
      VelObject& obj = objects[iLogical];
      Get(iLevel, iLogical, obj);
      const Record& r = lv.slabs[k / c_cSlab].data()[k % c_cSlab];
      const uint32_t iChunk = r.iChunk;
      for (; iChunkDone < iChunk; ++iChunkDone) Release(lv.chunks[iChunkDone]);
      if (r.bFlags & c_fNodes)
        for (; iNodePageDone < r.iNodes / c_cNodePage; ++iNodePageDone) Release(lv.nodePages[iNodePageDone]);
      if ((k + 1) % c_cSlab == 0) {
        Release(lv.slabs[k / c_cSlab]);
        if ((k + 1) % (c_cSlab * 16) == 0) ReleaseFreeMemory();
      }
    }
    ReleaseLevel(lv);
    Level empty;
    empty.wCode = lv.wCode;
    std::swap(lv, empty);
  }
  m_labelNumbers.clear();
  m_labels.clear();
  ReleaseFreeMemory();
}
