// The converted objects of a large extract, held compactly until they are
// written: one record of fixed size per object, the points of a level in
// large flat chunks, the road graph's node numbers in one array, each label
// text once. The writer's objects (VelObject) are made from it as they are
// needed, all at once for one map or tile by tile for a collection.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tools/velc/VelWriter.h"

// Memory for the store's large arrays: from the heap while the blocks
// taken stay within a budget, then from a temporary file mapped into the
// address space, whose pages the system writes out and reads back as
// needed, so that the resident part stays small whatever the input. The
// file's blocks are reserved when a mapping is made, so a full disk is a
// failed allocation (Failed() and the message), never a fault on a write.
class CStoreMemory {
 public:
  // cbBudget: the bytes taken from the heap before spilling; strFolder:
  // where the temporary file goes (removed from the folder as soon as made).
  CStoreMemory(uint64_t cbBudget, const std::string& strFolder);
  ~CStoreMemory();
  CStoreMemory(const CStoreMemory&) = delete;
  CStoreMemory& operator=(const CStoreMemory&) = delete;

  struct Block {
    void* p = nullptr;
    size_t cb = 0;
    bool fMapped = false;
    uint64_t off = 0;  // in the file, when mapped
  };
  // A block of cb bytes; p is null when neither the heap nor the file could
  // give it (the reason in Error()).
  Block Alloc(size_t cb);
  void Free(Block& b);
  // Lets the system take back the resident pages of the spilled blocks
  // (their contents stay in the file and come back when read).
  void DropResident();

  uint64_t HeapBytes() const { return m_cbHeap; }
  uint64_t SpilledBytes() const { return m_cbSpilledPeak; }
  bool Failed() const { return !m_strError.empty(); }
  const std::string& Error() const { return m_strError; }

 private:
  uint64_t m_cbBudget;
  std::string m_strFolder;
  int m_fd = -1;
  uint64_t m_cbFile = 0;       // the file's length (mappings are never reused)
  uint64_t m_cbHeap = 0;       // heap bytes held now
  uint64_t m_cbSpilled = 0, m_cbSpilledPeak = 0;
  std::string m_strError;
  std::vector<std::pair<void*, size_t>> m_mapped;  // the spilled blocks held
  uint64_t m_cbSinceDrop = 0;
};

// What the tile cutter and the address resolver read of the objects,
// whether they are held as the writer's objects or in the store.
class CObjectSource {
 public:
  virtual ~CObjectSource() = default;
  virtual size_t LevelCount() const = 0;
  virtual uint16_t LevelCode(size_t iLevel) const = 0;
  virtual size_t Count(size_t iLevel) const = 0;
  virtual int Kind(size_t iLevel, size_t i) const = 0;
  // The object's points (count in c).
  virtual const MapPoint* Points(size_t iLevel, size_t i, size_t& c) const = 0;
  // A copy of the object as the writer takes it.
  virtual void Get(size_t iLevel, size_t i, VelObject& out) const = 0;
  // Between tiles: memory that can be read again later may be given back.
  virtual void Trim() const {}
};

// The writer's objects seen as a source.
class CLevelsSource : public CObjectSource {
 public:
  explicit CLevelsSource(const std::vector<VelLevelInput>& levels) : m_levels(levels) {}
  size_t LevelCount() const override { return m_levels.size(); }
  uint16_t LevelCode(size_t iLevel) const override { return m_levels[iLevel].wLevelCode; }
  size_t Count(size_t iLevel) const override { return m_levels[iLevel].objects.size(); }
  int Kind(size_t iLevel, size_t i) const override { return m_levels[iLevel].objects[i].nKind; }
  const MapPoint* Points(size_t iLevel, size_t i, size_t& c) const override {
    const std::vector<MapPoint>& pts = m_levels[iLevel].objects[i].points;
    c = pts.size();
    return pts.data();
  }
  void Get(size_t iLevel, size_t i, VelObject& out) const override { out = m_levels[iLevel].objects[i]; }

 private:
  const std::vector<VelLevelInput>& m_levels;
};

class CObjectStore : public CObjectSource {
 public:
  // pMemory: where the records, points and node numbers go (null: the heap).
  explicit CObjectStore(const std::vector<uint16_t>& levelCodes, CStoreMemory* pMemory = nullptr);
  ~CObjectStore() override;
  CObjectStore(const CObjectStore&) = delete;
  CObjectStore& operator=(const CObjectStore&) = delete;

  // Appends a copy of the object to the level; returns its number. Throws
  // std::runtime_error with the memory's message when neither the heap nor
  // the temporary file can take it (the converter's readers report it as
  // they report a broken input: the conversion stops with the message).
  size_t Add(size_t iLevel, const VelObject& obj);
  // From then on, the objects from iFirst on come first in the level's
  // order (and the numbers are those of the new order).
  void MoveToFront(size_t iLevel, size_t iFirst);

  size_t LevelCount() const override { return m_levels.size(); }
  uint16_t LevelCode(size_t iLevel) const override { return m_levels[iLevel].wCode; }
  size_t Count(size_t iLevel) const override { return m_levels[iLevel].c; }
  int Kind(size_t iLevel, size_t i) const override { return Rec(iLevel, i).nKind; }
  const MapPoint* Points(size_t iLevel, size_t i, size_t& c) const override;
  void Get(size_t iLevel, size_t i, VelObject& out) const override;
  // Only when the resident watch found the mapped files over its budget:
  // dropping the pages every time would make the next tile, or the other
  // job's tile, read them back from the page cache.
  void Trim() const override;

  // The node numbers of an object (empty when it has none).
  std::vector<int32_t> NodesOf(size_t iLevel, size_t i) const;
  bool HasLabel(size_t iLevel, size_t i) const { return Rec(iLevel, i).iLabel != 0; }
  // Address block and index city of an object.
  bool HasAddress(size_t iLevel, size_t i) const { return (Rec(iLevel, i).bFlags & c_fAddress) != 0; }
  void GetAddress(size_t iLevel, size_t i, uint32_t adw[4]) const;
  void SetAddress(size_t iLevel, size_t i, const uint32_t adw[4]);
  void SetIndexCity(size_t iLevel, size_t i, uint32_t n);

  // Moves every object into the writer's levels, giving the store's memory
  // back as it goes; the store is empty afterwards.
  void TakeAll(std::vector<VelLevelInput>& levels);

 private:
  struct Record {  // 28 bytes
    uint32_t iChunk, iPoint, cPoints;
    uint32_t iLabel;  // 0 = none
    uint32_t iNodes;  // first node number in m_nodes (with c_fNodes)
    uint16_t wType, wRoadAttributes;
    uint8_t nKind, bFlags;
    uint8_t btRoadThrough, btRoadFlags;
  };
  static_assert(sizeof(Record) == 28, "");
  // The address values, made when the first is set (after the file is
  // read, when the node locations are given back).
  struct AddressFields {
    uint32_t adwAddress[4];
    uint32_t nIndexCity;
  };
  static const uint8_t c_fDirection = 1, c_fHasNodes = 2, c_fHasAttributes = 4, c_fAddress = 8, c_fExtraAddressBit = 16,
                       c_fNodes = 32;
  static const size_t c_cSlab = 65536;
  static const size_t c_cChunk = size_t(1) << 20;  // points
  static const size_t c_cNodePage = size_t(1) << 20;  // node numbers
  // A fixed array from the store's memory.
  template <class T>
  struct Array {
    CStoreMemory::Block block;
    size_t c = 0, cap = 0;
    T* data() const { return static_cast<T*>(block.p); }
  };
  struct Level {
    uint16_t wCode = 24;
    size_t c = 0;
    size_t iFront = 0;  // the physical number of the first object in order
    std::vector<Array<Record>> slabs;
    std::vector<Array<MapPoint>> chunks;
    std::vector<Array<int32_t>> nodePages;  // the node numbers, c_cNodePage to a page
    size_t cNodes = 0;
    std::vector<AddressFields> addresses;  // by physical number; empty = all 0
    size_t Physical(size_t i) const { return iFront ? (i < c - iFront ? iFront + i : i - (c - iFront)) : i; }
  };
  Record& Rec(size_t iLevel, size_t i) {
    const size_t k = m_levels[iLevel].Physical(i);
    return m_levels[iLevel].slabs[k / c_cSlab].data()[k % c_cSlab];
  }
  const Record& Rec(size_t iLevel, size_t i) const {
    const size_t k = m_levels[iLevel].Physical(i);
    return m_levels[iLevel].slabs[k / c_cSlab].data()[k % c_cSlab];
  }
  template <class T>
  void Make(Array<T>& a, size_t cap);
  template <class T>
  void Release(Array<T>& a);
  void CopyNodes(const Level& lv, size_t iFirst, size_t c, std::vector<int32_t>& out) const;
  void ReleaseLevel(Level& lv);
  uint32_t LabelNumber(const std::u16string& str);
  AddressFields& AddressOf(size_t iLevel, size_t i);

  std::vector<Level> m_levels;
  std::deque<std::u16string> m_labels;  // number - 1
  std::unordered_map<std::u16string_view, uint32_t> m_labelNumbers;
  CStoreMemory* m_pMemory;
  std::unique_ptr<CStoreMemory> m_heapOnly;  // when no memory was lent
};
