#include "tools/velc/SpillHeap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// The address range reserved for the spilled blocks (address space only:
// nothing is committed until a stretch of the file is mapped into it).
const uint64_t c_cbReserve = uint64_t(1) << 40;
const uint64_t c_qwMagic = 0x6B6C6250534C4556ull;  // the header's mark
const size_t c_cMaxFree = 4096;

// A spilled block starts with a header page, so that the block itself is
// page-aligned and its size is known to operator delete.
struct BlockHeader {
  uint64_t cbMapped;  // header included
  uint64_t qwMagic;
};

std::atomic<uintptr_t> g_base{0}, g_end{0};
std::atomic<size_t> g_cbThreshold{SIZE_MAX};
std::mutex g_mutex;
int g_fd = -1;
size_t g_cbPage = 4096;
// Free stretches below the top, sorted by offset and never adjacent.
struct Range {
  uint64_t off, cb;
};
Range g_free[c_cMaxFree];
size_t g_cFree = 0;
uint64_t g_offTop = 0;
SpillHeapStats g_stats;

// A stretch of cb bytes (page multiple) from the free list or the top;
// UINT64_MAX when the range is full.
uint64_t TakeRange(uint64_t cb) {
  for (size_t i = 0; i < g_cFree; ++i)
    if (g_free[i].cb >= cb) {
      const uint64_t off = g_free[i].off;
      g_free[i].off += cb;
      g_free[i].cb -= cb;
      if (g_free[i].cb == 0) {
        std::memmove(&g_free[i], &g_free[i + 1], (g_cFree - i - 1) * sizeof(Range));
        --g_cFree;
      }
      return off;
    }
  if (g_offTop + cb > c_cbReserve) return UINT64_MAX;
  const uint64_t off = g_offTop;
  g_offTop += cb;
  return off;
}

// Gives a stretch back, joined with its free neighbours; a stretch at the
// top lowers the top. When the list is full the stretch is left unused
// (its file blocks are given back all the same).
void GiveRange(uint64_t off, uint64_t cb) {
  size_t i = 0;
  while (i < g_cFree && g_free[i].off < off) ++i;
  if (i > 0 && g_free[i - 1].off + g_free[i - 1].cb == off) {
    g_free[i - 1].cb += cb;
    if (i < g_cFree && off + cb == g_free[i].off) {
      g_free[i - 1].cb += g_free[i].cb;
      std::memmove(&g_free[i], &g_free[i + 1], (g_cFree - i - 1) * sizeof(Range));
      --g_cFree;
    }
    --i;
  } else if (i < g_cFree && off + cb == g_free[i].off) {
    g_free[i].off = off;
    g_free[i].cb += cb;
  } else {
    if (g_cFree == c_cMaxFree) return;
    std::memmove(&g_free[i + 1], &g_free[i], (g_cFree - i) * sizeof(Range));
    g_free[i] = Range{off, cb};
    ++g_cFree;
  }
  if (g_free[i].off + g_free[i].cb == g_offTop) {
    g_offTop = g_free[i].off;
    std::memmove(&g_free[i], &g_free[i + 1], (g_cFree - i - 1) * sizeof(Range));
    --g_cFree;
  }
}

// Puts the stretch back to reserved address space and its file blocks back
// to the file system.
void Unmap(uint64_t off, uint64_t cb) {
  void* p = reinterpret_cast<void*>(g_base.load(std::memory_order_relaxed) + off);
  ::mmap(p, size_t(cb), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
  ::fallocate(g_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(off), off_t(cb));
}

void* SpillAlloc(size_t cb) {
  const uint64_t cbMapped = (uint64_t(cb) + g_cbPage + g_cbPage - 1) / g_cbPage * g_cbPage;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_fd < 0) return nullptr;
  const uint64_t off = TakeRange(cbMapped);
  if (off == UINT64_MAX) {
    ++g_stats.cFallbacks;
    return nullptr;
  }
  void* pWant = reinterpret_cast<void*>(g_base.load(std::memory_order_relaxed) + off);
  if (::posix_fallocate(g_fd, off_t(off), off_t(cbMapped)) != 0 ||
      ::mmap(pWant, size_t(cbMapped), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, g_fd, off_t(off)) != pWant) {
    Unmap(off, cbMapped);
    GiveRange(off, cbMapped);
    ++g_stats.cFallbacks;
    return nullptr;
  }
  BlockHeader* pHeader = static_cast<BlockHeader*>(pWant);
  pHeader->cbMapped = cbMapped;
  pHeader->qwMagic = c_qwMagic;
  g_stats.cbLive += cbMapped;
  if (g_stats.cbLive > g_stats.cbPeak) g_stats.cbPeak = g_stats.cbLive;
  ++g_stats.cBlocks;
  return static_cast<char*>(pWant) + g_cbPage;
}

void SpillFree(void* p) {
  char* pStart = static_cast<char*>(p) - g_cbPage;
  const BlockHeader* pHeader = reinterpret_cast<const BlockHeader*>(pStart);
  if (pHeader->qwMagic != c_qwMagic) std::abort();  // not a block of ours: the heap is broken
  const uint64_t cbMapped = pHeader->cbMapped;
  const uint64_t off = uint64_t(pStart - reinterpret_cast<char*>(g_base.load(std::memory_order_relaxed)));
  std::lock_guard<std::mutex> lock(g_mutex);
  Unmap(off, cbMapped);
  GiveRange(off, cbMapped);
  g_stats.cbLive -= cbMapped;
}

void* Allocate(size_t cb) {
  if (cb >= g_cbThreshold.load(std::memory_order_relaxed)) {
    if (void* p = SpillAlloc(cb)) return p;
  }
  for (;;) {
    if (void* p = std::malloc(cb ? cb : 1)) return p;
    std::new_handler pfn = std::get_new_handler();
    if (!pfn) return nullptr;
    pfn();
  }
}

void Release(void* p) {
  if (!p) return;
  if (IsSpilledBlock(p)) SpillFree(p);
  else std::free(p);
}

}  // namespace

bool IsSpilledBlock(const void* p) {
  const uintptr_t u = reinterpret_cast<uintptr_t>(p);
  return u >= g_base.load(std::memory_order_relaxed) && u < g_end.load(std::memory_order_relaxed);
}

bool EnableSpillHeap(const std::string& strFolder, size_t cbThreshold, std::string& strError) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_fd < 0) {
    std::string strTemplate = (strFolder.empty() ? std::string(".") : strFolder) + "/.velc-heap-XXXXXX";
    const int fd = ::mkstemp(&strTemplate[0]);
    if (fd < 0) {
      strError = "cannot make a temporary file in " + strFolder + ": " + std::strerror(errno);
      return false;
    }
    ::unlink(strTemplate.c_str());
    void* p = ::mmap(nullptr, size_t(c_cbReserve), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
      strError = std::string("cannot reserve address space for the large blocks: ") + std::strerror(errno);
      ::close(fd);
      return false;
    }
    g_cbPage = size_t(::sysconf(_SC_PAGESIZE));
    g_fd = fd;
    g_end.store(reinterpret_cast<uintptr_t>(p) + c_cbReserve);
    g_base.store(reinterpret_cast<uintptr_t>(p));
  }
  g_cbThreshold.store(cbThreshold ? cbThreshold : 1);
  return true;
}

void DisableSpillHeap() { g_cbThreshold.store(SIZE_MAX); }

void DropSpillHeapResident() {
  std::lock_guard<std::mutex> lock(g_mutex);
  // Shared mappings of a file keep their contents; the stretches not
  // mapped are reserved address space that holds no pages.
  if (g_fd >= 0 && g_offTop)
    ::madvise(reinterpret_cast<void*>(g_base.load(std::memory_order_relaxed)), size_t(g_offTop), MADV_DONTNEED);
}

uint64_t ResidentFileBytes() {
  // statm: size, resident, shared (the resident pages of files), ... in pages.
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char sz[128];
  const ssize_t cb = ::read(fd, sz, sizeof sz - 1);
  ::close(fd);
  if (cb <= 0) return 0;
  sz[cb] = 0;
  unsigned long long cSize = 0, cResident = 0, cShared = 0;
  if (std::sscanf(sz, "%llu %llu %llu", &cSize, &cResident, &cShared) != 3) return 0;
  return uint64_t(cShared) * uint64_t(::sysconf(_SC_PAGESIZE));
}

namespace {

// The resident watch (see StartResidentWatch). It looks every 50 ms; over
// the budget, it takes back the spilled blocks' pages itself at the second
// look in a row when the owners of the other files did not take the first
// look's request, and at the fourth when they did and it was not enough.
const unsigned c_cLooksUnanswered = 2, c_cLooksAnswered = 4;

struct ResidentWatch {
  std::mutex mutex;
  std::condition_variable cvStop;
  bool fStop = false;
  std::thread thread;
  std::atomic<bool> fOver{false};
  ~ResidentWatch() { Stop(); }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      fStop = true;
    }
    cvStop.notify_all();
    if (thread.joinable()) thread.join();
  }
};
ResidentWatch g_watch;

}  // namespace

void StartResidentWatch(uint64_t cbBudget) {
  g_watch.Stop();
  g_watch.fStop = false;
  g_watch.thread = std::thread([cbBudget]() {
    std::unique_lock<std::mutex> lock(g_watch.mutex);
    unsigned cOver = 0;  // looks in a row that found the budget passed
    while (!g_watch.cvStop.wait_for(lock, std::chrono::milliseconds(50), [] { return g_watch.fStop; }))
      if (ResidentFileBytes() > cbBudget) {
        // The owners of the other files give theirs back first: the node
        // locations are written in order and read much later, while the
        // spilled blocks may be in the middle of a sort. Those go only
        // when nobody answered or the owners' pages were not enough.
        const bool fAnswered = !g_watch.fOver.exchange(true);
        ++cOver;
        if (cOver >= (fAnswered ? c_cLooksAnswered : c_cLooksUnanswered)) {
          DropSpillHeapResident();
          cOver = 0;
        }
      } else {
        cOver = 0;
      }
  });
}

void StopResidentWatch() { g_watch.Stop(); }

bool TakeResidentOverBudget() { return g_watch.fOver.exchange(false, std::memory_order_relaxed); }

SpillHeapStats GetSpillHeapStats() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_stats;
}

// The program's allocation functions: every form of new and delete goes
// through Allocate and Release, so that a spilled block is freed by
// whichever form frees it.
void* operator new(size_t cb) {
  if (void* p = Allocate(cb)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t cb) {
  if (void* p = Allocate(cb)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t cb, const std::nothrow_t&) noexcept { return Allocate(cb); }
void* operator new[](size_t cb, const std::nothrow_t&) noexcept { return Allocate(cb); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
