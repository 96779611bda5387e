// The large blocks of the heap in a temporary file. What grows with the
// input and cannot go into the object store (libosmium's buffers of the
// multipolygon member ways, which wait for their relations to be complete,
// the member index, the road scan's node list, the tables of graph nodes)
// is taken in large blocks: once the spilling is switched on, every block of
// at least the threshold that operator new gives is a stretch of a
// temporary file mapped into memory (MAP_SHARED), whose pages the system
// writes out and takes back as it needs, so that the anonymous memory of
// the process no longer grows with the input. Smaller blocks and every
// block while it is off come from malloc as before.
//
// The stretches lie in one reserved range of the address space, at the
// file offset of their place in it, so that operator delete tells a spilled
// block by its address alone. The file's blocks are reserved when a stretch
// is mapped: a full disk gives the block from malloc instead, never a fault
// on a write.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Switches the spilling on for blocks of cbThreshold bytes or more, into a
// temporary file in strFolder (removed from the folder at once). False
// with a message when the file or the address range cannot be made (the
// blocks then keep coming from malloc).
bool EnableSpillHeap(const std::string& strFolder, size_t cbThreshold, std::string& strError);
// Large blocks come from malloc again; those spilled stay valid until freed.
void DisableSpillHeap();
// Lets the system take back the resident pages of the spilled blocks now
// (their contents stay in the file and come back when read): called now
// and then while the input is read and between tiles, so that the pages a
// block was filled with do not stay with the process.
void DropSpillHeapResident();

// Keeps the resident pages of the process's mapped files (the spilled
// blocks, the node location file, the objects' file) near cbBudget: a
// thread looks every 50 ms and, while they hold more, raises
// ResidentOverBudget() for the owners of the other files, who give theirs
// back where they may (TakeResidentOverBudget); when no owner answered
// within 50 ms, or they still hold more 150 ms later, it gives back those
// of the spilled blocks itself. One watch at a time; stopped by
// StopResidentWatch or at exit.
void StartResidentWatch(uint64_t cbBudget);
void StopResidentWatch();
// True once for each time the watch found the budget passed.
bool TakeResidentOverBudget();
// The budget of the resident pages of files.
const uint64_t c_cbResidentFileBudget = uint64_t(512) << 20;
// The resident bytes of mapped files of the process now.
uint64_t ResidentFileBytes();

struct SpillHeapStats {
  uint64_t cbLive = 0;  // bytes of the file held by live blocks
  uint64_t cbPeak = 0;  // the most held at once
  uint64_t cBlocks = 0;  // blocks given so far
  uint64_t cFallbacks = 0;  // blocks given by malloc as the file could not take them
};
SpillHeapStats GetSpillHeapStats();
// Whether p is a block given from the file.
bool IsSpilledBlock(const void* p);

// The default threshold: blocks below it are left to malloc.
const size_t c_cbSpillThreshold = size_t(8) << 20;

// A list that grows by pages of the threshold's size, so that a long list
// of small records (the addresses of a country) lies in large blocks that
// the heap spills, and never needs one block for the whole list.
template <class T>
class CPagedList {
 public:
  static const size_t c_cPerPage = (c_cbSpillThreshold + sizeof(T) - 1) / sizeof(T);
  CPagedList() = default;
  CPagedList(const CPagedList&) = delete;
  CPagedList& operator=(const CPagedList&) = delete;
  void push_back(const T& t) {
    if (m_c % c_cPerPage == 0) m_pages.emplace_back(new T[c_cPerPage]);
    m_pages[m_c / c_cPerPage][m_c % c_cPerPage] = t;
    ++m_c;
  }
  size_t size() const { return m_c; }
  T& operator[](size_t i) { return m_pages[i / c_cPerPage][i % c_cPerPage]; }
  const T& operator[](size_t i) const { return m_pages[i / c_cPerPage][i % c_cPerPage]; }

 private:
  std::vector<std::unique_ptr<T[]>> m_pages;
  size_t m_c = 0;
};
