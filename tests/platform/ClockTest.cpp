#include <gtest/gtest.h>

#include <cmath>

#include "platform/Clock.h"
#include "platform/Thread.h"

using namespace platform;

TEST(ClockTest, DayNumbersOfKnownDates) {
  CSystemTime st{1899, 12, 0, 30, 0, 0, 0, 0};
  EXPECT_DOUBLE_EQ(SystemTimeToDays(st), 0.0);
  CSystemTime unix{1970, 1, 4, 1, 0, 0, 0, 0};
  EXPECT_DOUBLE_EQ(SystemTimeToDays(unix), 25569.0);
  CSystemTime noon{2000, 1, 6, 1, 12, 0, 0, 0};
  EXPECT_DOUBLE_EQ(SystemTimeToDays(noon), 36526.5);
  CSystemTime back{};
  ASSERT_TRUE(DaysToSystemTime(36526.5, back));
  EXPECT_EQ(back.wYear, 2000);
  EXPECT_EQ(back.wMonth, 1);
  EXPECT_EQ(back.wDay, 1);
  EXPECT_EQ(back.wHour, 12);
  EXPECT_EQ(back.wDayOfWeek, 6);  // Saturday
  EXPECT_FALSE(DaysToSystemTime(NAN, back));
  EXPECT_FALSE(DaysToSystemTime(1e12, back));
}

TEST(ClockTest, RoundTripWithMilliseconds) {
  for (double d = 40000.0; d < 40400.0; d += 1.37) {
    CSystemTime st{};
    ASSERT_TRUE(DaysToSystemTime(d, st));
    EXPECT_NEAR(SystemTimeToDays(st), d, 0.6 / 86400000.0);
  }
}

TEST(EventTest, ManualResetStaysSetAcrossWaits) {
  CEvent ev;
  EXPECT_FALSE(ev.Wait(1));
  CThread t;
  ASSERT_TRUE(t.Start([](void* p) { static_cast<CEvent*>(p)->Set(); }, &ev));
  EXPECT_TRUE(ev.Wait(10000));
  EXPECT_TRUE(ev.Wait(0));
  t.Join();
  ev.Reset();
  EXPECT_FALSE(ev.IsSet());
}
