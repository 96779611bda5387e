// Worker threads that end late, and the system's words for its errors.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/Clock.h"
#include "platform/FileMapping.h"
#include "platform/Str.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"

using namespace platform;

namespace {

// What a worker shares with its owner; it outlives an abandoned worker.
struct Shared {
  CEvent evRelease;
  std::atomic<int> cSteps{0};
};

void Worker(void* p) {
  std::shared_ptr<Shared>* ppShared = static_cast<std::shared_ptr<Shared>*>(p);
  std::shared_ptr<Shared> pShared = *ppShared;
  delete ppShared;
  pShared->evRelease.Wait(10000);
  ++pShared->cSteps;
}

}  // namespace

TEST(Thread, JoinForAbandonsAThreadThatDoesNotEndAndTheObjectIsFreeAgain) {
  std::shared_ptr<Shared> pShared = std::make_shared<Shared>();
  std::weak_ptr<Shared> pWeak = pShared;
  CThread thread;
  ASSERT_TRUE(thread.Start(Worker, new std::shared_ptr<Shared>(pShared)));
  uint32_t dwStart = GetTickMs();
  EXPECT_FALSE(thread.JoinFor(300));
  uint32_t dwSpent = GetTickMs() - dwStart;
  EXPECT_GE(dwSpent, 250u);
  EXPECT_LT(dwSpent, 2000u);
  EXPECT_FALSE(thread.IsRunning()) << "abandoned: nothing left to join";
  // The object starts the next thread at once; this one ends in time.
  std::shared_ptr<Shared> pNext = std::make_shared<Shared>();
  pNext->evRelease.Set();
  ASSERT_TRUE(thread.Start(Worker, new std::shared_ptr<Shared>(pNext)));
  EXPECT_TRUE(thread.JoinFor(5000));
  EXPECT_EQ(pNext->cSteps.load(), 1);
  // The abandoned worker still has its share and ends by itself.
  pShared->evRelease.Set();
  pShared.reset();
  for (int i = 0; i < 500 && !pWeak.expired(); ++i) SleepMs(10);
  EXPECT_TRUE(pWeak.expired()) << "the abandoned worker ended and let go of its share";
  EXPECT_TRUE(thread.JoinFor(0)) << "nothing running";
}

TEST(SystemError, TextsAreTheSystemsOwn) {
#ifndef _WIN32
  EXPECT_EQ(SystemErrorText(ENOENT), Utf8ToU16(std::strerror(ENOENT)));
  EXPECT_EQ(SystemErrorText(EACCES), Utf8ToU16(std::strerror(EACCES)));
#endif
  EXPECT_EQ(c_dwErrorFileNotFound, 2u);
  const std::u16string strMissing = SystemErrorText(c_dwErrorFileNotFound);
  EXPECT_FALSE(strMissing.empty());
  EXPECT_NE(strMissing.back(), u'\n');
  EXPECT_NE(SystemErrorText(c_dwErrorAccessDenied), strMissing);
  // A code the system has no words for still reads as something.
  EXPECT_FALSE(SystemErrorText(0x7FFF1234u).empty());
}

TEST(SystemError, AFailedMappingKeepsItsReason) {
  CFileMapping mapping;
  EXPECT_FALSE(mapping.OpenRead(u"/nonexistent-velmo-folder/none.vel"));
  EXPECT_TRUE(mapping.LastError() == c_dwErrorFileNotFound || mapping.LastError() == 3u)  // 3: path not found
      << mapping.LastError();
#ifndef _WIN32
  // A folder is no file to map.
  EXPECT_FALSE(mapping.OpenRead(u"/"));
  EXPECT_EQ(mapping.LastError(), uint32_t(EISDIR));
#endif
}
