// Failures handed from the lower layers to the shell: the text the user
// reads, the queue any thread reports into, and its notifier.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "res/Failure.h"
#include "res/Res.h"
#include "settings/Settings.h"
#include "platform/Str.h"
#include "platform/SystemError.h"

namespace {

std::atomic<int> g_cNotified{0};

class FailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAllSettings();
    ClearFailures();
    g_cNotified = 0;
    SetFailureNotifier([] { ++g_cNotified; });
  }
  void TearDown() override {
    SetFailureNotifier(nullptr);
    ClearFailures();
  }
};

}  // namespace

TEST_F(FailureTest, TheTextCarriesTheSubjectAndTheSystemsReason) {
  const std::u16string strPath = u"C:\\maps\\locked.vel";
  ReportFailure(2002, strPath, platform::c_dwErrorAccessDenied);
  Failure f;
  ASSERT_TRUE(TakeFailure(f));
  EXPECT_EQ(f.ids, 2002u);
  const std::u16string strText = FormatFailure(f);
  EXPECT_NE(strText.find(strPath), std::u16string::npos) << platform::U16ToUtf8(strText);
  EXPECT_NE(strText.find(platform::SystemErrorText(platform::c_dwErrorAccessDenied)), std::u16string::npos)
      << platform::U16ToUtf8(strText);
  EXPECT_EQ(strText.find(platform::SystemErrorText(platform::c_dwErrorFileNotFound)), std::u16string::npos)
      << "the reason is the one given, not a stale errno";
  // A failure without a system error has no reason in parentheses filled in.
  ReportFailure(2129, strPath, 0);
  ASSERT_TRUE(TakeFailure(f));
  EXPECT_NE(FormatFailure(f).find(strPath), std::u16string::npos);
  // A ready text is kept as it is.
  ReportFailureText(7, u"ready");
  ASSERT_TRUE(TakeFailure(f));
  EXPECT_EQ(FormatFailure(f), u"ready");
  EXPECT_FALSE(TakeFailure(f));
}

TEST_F(FailureTest, ReportsFromManyThreadsAreQueuedInBoundsAndNotified) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 100; ++i) ReportFailure(2000, platform::FormatStr(u"%d-%d", t, i), 5, true);
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(g_cNotified.load(), 400) << "every report is heard, none blocks";
  DrainFailures([](const char16_t*) {});
  Failure f;
  EXPECT_FALSE(TakeFailure(f)) << "drained";
  // The queue keeps the newest 32 when nobody takes them.
  for (int i = 0; i < 100; ++i) ReportFailure(2000, platform::FormatStr(u"%d", i), 0);
  int c = 0, nLast = -1;
  while (TakeFailure(f)) {
    ++c;
    nLast = std::stoi(platform::U16ToUtf8(f.strSubject));
    EXPECT_FALSE(f.fOncePerRun);
  }
  EXPECT_EQ(c, 32);
  EXPECT_EQ(nLast, 99);
}
