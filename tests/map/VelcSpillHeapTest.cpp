// The large blocks of velc's heap in a temporary file: what is written to
// them reads back whole through every allocation, growth and release in any
// order and from several threads, the file's stretches are reused, the
// blocks are no anonymous memory, and small blocks stay on the heap.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/map/VelTestUtil.h"
#include "tools/velc/SpillHeap.h"

namespace {

uint32_t Pattern(uint32_t nSeed, size_t i) { return nSeed * 2654435761u ^ uint32_t(i * 40503u); }

// Allocates, checks and frees vectors of random sizes (some below the
// threshold, some far above), keeping up to 12 alive; every vector is
// checked whole before it goes, and some grow (copied by the vector into a
// new block) on the way.
void Churn(uint32_t nSeed, int cRounds, size_t cbThreshold, int& cBad, int& cMisplaced) {
  std::mt19937 rng(nSeed);
  struct Held {
    std::vector<uint32_t> v;
    uint32_t nSeed;
  };
  std::vector<std::unique_ptr<Held>> held;
  auto check = [&](const Held& h) {
    for (size_t i = 0; i < h.v.size(); i += 1 + i / 64)
      if (h.v[i] != Pattern(h.nSeed, i)) {
        ++cBad;
        return;
      }
    if (!h.v.empty() && h.v.back() != Pattern(h.nSeed, h.v.size() - 1)) ++cBad;
  };
  for (int r = 0; r < cRounds; ++r) {
    const int nWhat = int(rng() % 4);
    if ((nWhat == 0 || held.size() >= 12) && !held.empty()) {
      const size_t k = rng() % held.size();
      check(*held[k]);
      held.erase(held.begin() + ptrdiff_t(k));
    } else if (nWhat == 1 && !held.empty()) {
      Held& h = *held[rng() % held.size()];
      check(h);
      const size_t c = h.v.size() + 1 + rng() % (cbThreshold / 2);
      for (size_t i = h.v.size(); i < c; ++i) h.v.push_back(Pattern(h.nSeed, i));
    } else {
      std::unique_ptr<Held> h(new Held);
      h->nSeed = uint32_t(rng());
      const size_t c = 1 + rng() % (cbThreshold / 2);  // up to twice the threshold in bytes
      h->v.resize(c);
      for (size_t i = 0; i < c; ++i) h->v[i] = Pattern(h->nSeed, i);
      const bool fLarge = c * sizeof(uint32_t) >= cbThreshold;
      if (IsSpilledBlock(h->v.data()) != fLarge) ++cMisplaced;
      held.push_back(std::move(h));
    }
  }
  for (const auto& h : held) check(*h);
}

}  // namespace

TEST(VelcSpillHeap, LargeBlocksGoToTheFileAndReadBackWholeFromManyThreads) {
  const size_t cbThreshold = size_t(1) << 20;
  std::string strError;
  ASSERT_TRUE(EnableSpillHeap(VELMO_BINARY_DIR, cbThreshold, strError)) << strError;
  const SpillHeapStats before = GetSpillHeapStats();

  // One thread, then four at once, each with its own sequence.
  int cBad = 0, cMisplaced = 0;
  Churn(1, 400, cbThreshold, cBad, cMisplaced);
  EXPECT_EQ(cBad, 0);
  EXPECT_EQ(cMisplaced, 0);
  int acBad[4] = {}, acMisplaced[4] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t]() { Churn(uint32_t(100 + t), 300, cbThreshold, acBad[t], acMisplaced[t]); });
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(acBad[t], 0) << t;
    EXPECT_EQ(acMisplaced[t], 0) << t;
  }
  SpillHeapStats after = GetSpillHeapStats();
  EXPECT_GT(after.cBlocks, before.cBlocks + 100);
  EXPECT_EQ(after.cFallbacks, before.cFallbacks);
  // Everything given back: nothing of the file is held any more.
  EXPECT_EQ(after.cbLive, before.cbLive);

  // A large block written whole is in the file, not in anonymous memory,
  // and its stretch is used again once freed.
  const long nAnon0 = veltest::AnonResidentKb();
  const size_t cb = size_t(256) << 20;
  char* p = new char[cb];
  ASSERT_TRUE(IsSpilledBlock(p));
  std::memset(p, 0x5A, cb);
  const long nAnon1 = veltest::AnonResidentKb();
  if (nAnon0 >= 0 && nAnon1 >= 0) {
    EXPECT_LT(nAnon1 - nAnon0, 32 * 1024) << nAnon0 << " -> " << nAnon1;
  }
  EXPECT_EQ(p[0], 0x5A);
  EXPECT_EQ(p[cb - 1], 0x5A);
  EXPECT_GE(GetSpillHeapStats().cbLive, before.cbLive + cb);
  const uintptr_t uFirst = reinterpret_cast<uintptr_t>(p);
  delete[] p;
  char* q = new char[cb];
  EXPECT_EQ(reinterpret_cast<uintptr_t>(q), uFirst);  // the same stretch, the file's top given back
  EXPECT_EQ(q[cb / 2], 0);  // its blocks were given back: read as zeros again
  delete[] q;

  // Switched off, large blocks come from malloc again.
  DisableSpillHeap();
  std::vector<uint8_t> v(cbThreshold * 4);
  EXPECT_FALSE(IsSpilledBlock(v.data()));
  EXPECT_EQ(GetSpillHeapStats().cbLive, before.cbLive);
}

TEST(VelcSpillHeap, TheWatchGivesBackTheResidentPagesOfTheFileAndKeepsTheirContents) {
  std::string strError;
  ASSERT_TRUE(EnableSpillHeap(VELMO_BINARY_DIR, size_t(1) << 20, strError)) << strError;
  const uint64_t cbBase = ResidentFileBytes();
  ASSERT_GT(cbBase, 0u);  // the program's own code at least
  const uint64_t cbBudget = cbBase + (uint64_t(32) << 20);
  (void)TakeResidentOverBudget();
  StartResidentWatch(cbBudget);
  // A block of 256 MB written whole would keep all its pages; the watch
  // takes them back as it passes the budget.
  const size_t cb = size_t(256) << 20, cbPage = 4096;
  char* p = new char[cb];
  ASSERT_TRUE(IsSpilledBlock(p));
  for (size_t off = 0; off < cb; off += cbPage) std::memset(p + off, int((off / cbPage) % 251), cbPage);
  bool fBelow = false;
  for (int i = 0; i < 100 && !fBelow; ++i) {
    fBelow = ResidentFileBytes() <= cbBudget;
    if (!fBelow) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(fBelow) << ResidentFileBytes() / 1024 << " KB resident against a budget of " << cbBudget / 1024;
  EXPECT_TRUE(TakeResidentOverBudget());
  StopResidentWatch();
  size_t cBad = 0;
  for (size_t off = 0; off < cb; off += cbPage)
    if (p[off] != char((off / cbPage) % 251) || p[off + cbPage - 1] != char((off / cbPage) % 251)) ++cBad;
  EXPECT_EQ(cBad, 0u);
  // Stopped, nothing takes the pages back any more.
  (void)TakeResidentOverBudget();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(TakeResidentOverBudget());
  delete[] p;
  DisableSpillHeap();
}

// The owners of the other mapped files are asked first: while one gives its
// pages back when told, the spilled blocks keep theirs (a sort in them does
// not read them back from the page cache over and over).
TEST(VelcSpillHeap, TheWatchLeavesTheSpilledBlocksAloneWhileTheOtherFilesGiveBackEnough) {
  std::string strError;
  ASSERT_TRUE(EnableSpillHeap(VELMO_BINARY_DIR, size_t(1) << 20, strError)) << strError;
  const size_t cbPage = 4096, cbBlock = size_t(64) << 20, cbOwned = size_t(128) << 20;
  char* p = new char[cbBlock];
  ASSERT_TRUE(IsSpilledBlock(p));
  for (size_t off = 0; off < cbBlock; off += cbPage) p[off] = char(off / cbPage);
  // Another owner's file, written a stretch at a time.
  std::string strPath = std::string(VELMO_BINARY_DIR) + "/.owner-XXXXXX";
  const int fd = ::mkstemp(&strPath[0]);
  ASSERT_GE(fd, 0);
  ::unlink(strPath.c_str());
  ASSERT_EQ(::ftruncate(fd, off_t(cbOwned)), 0);
  void* pv = ::mmap(nullptr, cbOwned, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ASSERT_NE(pv, MAP_FAILED);
  char* pOwned = static_cast<char*>(pv);
  const uint64_t cbBefore = ResidentFileBytes();
  const uint64_t cbBudget = cbBefore + (uint64_t(64) << 20);
  (void)TakeResidentOverBudget();
  StartResidentWatch(cbBudget);
  size_t cDrops = 0;
  auto poll = [&]() {
    if (TakeResidentOverBudget()) {
      ::madvise(pOwned, cbOwned, MADV_DONTNEED);
      ++cDrops;
    }
  };
  // A megabyte every 2 ms or so, as the node locations grow while a file
  // is read.
  for (size_t off = 0; off < cbOwned; off += cbPage) {
    pOwned[off] = 1;
    if (off % (size_t(1) << 20) == 0) {
      poll();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  // Half a second more of asking, every millisecond.
  for (int i = 0; i < 500; ++i) {
    poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  StopResidentWatch();
  ::madvise(pOwned, cbOwned, MADV_DONTNEED);
  EXPECT_GT(cDrops, 0u);  // the owner was asked
  // The spilled block's pages are still there: the file pages resident are
  // as many as before the owner wrote.
  EXPECT_GT(ResidentFileBytes() + (uint64_t(16) << 20), cbBefore)
      << ResidentFileBytes() / 1024 << " KB resident, " << cbBefore / 1024 << " KB before";
  ::munmap(pv, cbOwned);
  ::close(fd);
  delete[] p;
  DisableSpillHeap();
}
