// The position hub: sources and subscribers on several threads, the order
// of what a listener hears, the coalesced notifications of the views, and
// today's dates from a receiver read live.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "settings/Settings.h"
#include "gps/GpsTime.h"
#include "gps/NMEA0183.h"
#include "gps/PositionHub.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "tests/gps/GpsTestUtil.h"

namespace {

GpsFix At(float lon, float lat) {
  GpsFix f;
  f.Start();
  f.SetPosition(lon, lat);
  return f;
}

// Writes down every event as a short word, in order.
class CRecorder : public CPositionListener {
 public:
  void OnFixTaken(const GpsFix& fix, uint32_t dwChanged) override {
    Add("fix");
    platform::CLock lock(m_cs);
    m_aChanged.push_back(dwChanged);
    m_aFixes.push_back(fix);
  }
  void OnTrackPoint(const GpsFix&) override { Add("point"); }
  void OnTrackBreak() override { Add("break"); }
  void OnGpsEvent(GpsEvent ev) override { Add(GpsEventName(ev)); }
  void OnPositionLost() override { Add("lost"); }
  void OnCursorMoved(const MapCursor&) override { Add("cursor"); }
  void OnSkyComplete(const SatelliteInfo*, int c) override { Add("sky" + std::to_string(c)); }
  void OnReadingStarts() override { Add("starts"); }
  void OnReadingStops() override { Add("stops"); }

  std::vector<std::string> Events() {
    platform::CLock lock(m_cs);
    return m_aEvents;
  }
  size_t FixCount() {
    platform::CLock lock(m_cs);
    return m_aFixes.size();
  }
  std::vector<GpsFix> m_aFixes;
  std::vector<uint32_t> m_aChanged;

 private:
  void Add(const std::string& s) {
    platform::CLock lock(m_cs);
    m_aEvents.push_back(s);
  }
  platform::CCritSec m_cs;
  std::vector<std::string> m_aEvents;
};

class CViewRecorder : public CPositionView {
 public:
  void OnFixChanged(const GpsFix& fix, uint32_t dwChanged) override {
    m_aEvents.push_back("fix");
    m_lastFix = fix;
    m_dwChanged = dwChanged;
  }
  void OnCursorChanged(const MapCursor& cursor) override {
    m_aEvents.push_back("cursor");
    m_cursor = cursor;
  }
  void OnSatellitesChanged() override { m_aEvents.push_back("sky"); }
  void OnStatusChanged() override { m_aEvents.push_back("status"); }
  void OnIndicatorChanged() override { m_aEvents.push_back("indicator"); }
  std::vector<std::string> m_aEvents;
  GpsFix m_lastFix{};
  uint32_t m_dwChanged = 0;
  MapCursor m_cursor;
};

std::vector<uint32_t> g_aPosted;
bool RecordPost(uint32_t u) {
  g_aPosted.push_back(u);
  return true;
}
bool RefusePost(uint32_t u) {
  g_aPosted.push_back(u);
  return false;
}

TEST(PositionHub, ListenersHearTheEventsOfAFixInOrder) {
  ResetAllSettings();
  CPositionHub hub;
  CRecorder a, b;
  hub.Subscribe(&a);
  hub.Subscribe(&b);
  hub.Subscribe(&a);  // once only
  hub.OnFix(At(10, 50));
  GpsFix none;
  none.Start();
  hub.OnFix(none);
  hub.OnFix(At(10.001f, 50.001f));
  hub.OnFix(At(10.001f, 50.001f));  // not moved: no track point
  hub.OnNoFix();
  hub.SetCursor(10, 50, 90, true, 30, true);
  hub.SetCursor(10, 50, 90, false, 0, false);  // neither moved nor turned: nothing
  hub.ResetSatellites(3);
  hub.AppendSatellite(SatelliteInfo{5, 10, 20, 30, 2});
  hub.SatellitesComplete();
  const std::vector<std::string> want = {
      "GPSConnected", "break", "point", "fix",          // the position came
      "GPSMissing",   "fix",                             // and went
      "GPSConnected", "break", "point", "fix", "fix",    // came back, then stood still
      "lost",         "break",                           // a protocol gave up
      "cursor",       "sky3"};
  EXPECT_EQ(a.Events(), want);
  EXPECT_EQ(b.Events(), want);
  hub.Unsubscribe(&b);
  hub.OnFix(At(11, 51));
  EXPECT_EQ(b.Events(), want);
  EXPECT_EQ(a.Events().back(), "fix");
  // What changed: everything the first time, the position when it moved,
  // nothing when the same fix came again.
  ASSERT_EQ(a.m_aChanged.size(), 5u);
  EXPECT_EQ(a.m_aChanged[0], uint32_t(gfPosition | gfGeoidSeparation));
  EXPECT_EQ(a.m_aChanged[3], 0u);
  EXPECT_EQ(a.m_aChanged[4] & gfPosition, uint32_t(gfPosition));
}

TEST(PositionHub, ChangedFieldsComparesValidityAndValues) {
  GpsFix a = At(1, 2), b = At(1, 2);
  EXPECT_EQ(ChangedFields(a, b), 0u);
  b.SetSpeed(5);
  EXPECT_EQ(ChangedFields(a, b), uint32_t(gfSpeed));
  a.SetSpeed(5);
  b.SetHdop(1.5f);
  a.SetHdop(1.6f);
  b.longitude = 1.5f;
  EXPECT_EQ(ChangedFields(a, b), uint32_t(gfHdop | gfPosition));
  b.Clear(gfHdop);
  EXPECT_EQ(ChangedFields(a, b), uint32_t(gfHdop | gfPosition));
  // A value that is not valid on either side does not count.
  a.Clear(gfHdop);
  EXPECT_EQ(ChangedFields(a, b), uint32_t(gfPosition));
}

TEST(PositionHub, NotificationsAreCoalescedUntilDelivered) {
  ResetAllSettings();
  CPositionHub hub;
  CViewRecorder view;
  hub.Subscribe(&view);
  g_aPosted.clear();
  hub.SetPoster(RecordPost);
  for (int i = 0; i < 10; ++i) {
    GpsFix fix = At(10 + float(i) * 0.01f, 50);
    if (i == 4) fix.SetSpeed(12);
    hub.OnFix(fix);
  }
  // One fix and one indicator message for ten fixes.
  EXPECT_EQ(g_aPosted, (std::vector<uint32_t>{c_msgGpsFix, c_msgGpsIndicator}));
  hub.Deliver(c_msgGpsFix);
  ASSERT_EQ(view.m_aEvents, (std::vector<std::string>{"fix"}));
  // The view gets the newest fix and everything that changed since the last delivery.
  EXPECT_NEAR(view.m_lastFix.longitude, 10.09, 1e-5);
  EXPECT_EQ(view.m_dwChanged & (gfPosition | gfSpeed), uint32_t(gfPosition | gfSpeed));
  hub.OnFix(At(20, 50));
  EXPECT_EQ(g_aPosted.size(), 3u);
  EXPECT_EQ(g_aPosted.back(), c_msgGpsFix);
  // Each kind on its own.
  hub.SetCursor(1, 2, 0, false, 0, false);
  hub.SetCursor(3, 4, 0, false, 0, false);
  hub.SetStatus(2115);
  hub.SatellitesComplete();
  EXPECT_EQ(g_aPosted.size(), 6u);
  hub.Deliver(c_msgGpsCursor);
  EXPECT_FLOAT_EQ(view.m_cursor.fLon, 3.0f);
  hub.Deliver(c_msgGpsIndicator);
  hub.SetIndicatorSatellites(7);
  EXPECT_EQ(g_aPosted.back(), c_msgGpsIndicator);
  // A message the window could not take is posted again next time.
  g_aPosted.clear();
  hub.SetPoster(RefusePost);
  hub.SetCursor(5, 6, 0, false, 0, false);
  hub.SetCursor(7, 8, 0, false, 0, false);
  EXPECT_EQ(g_aPosted, (std::vector<uint32_t>{c_msgGpsCursor, c_msgGpsCursor}));
  hub.SetPoster(nullptr);
  hub.Unsubscribe(&view);
}

TEST(PositionHub, TwoPortThreadsAtOnce) {
  ResetAllSettings();
  CPositionHub hub;
  CRecorder rec;
  hub.Subscribe(&rec);
  const int c_cFixes = 2000;
  auto source = [&hub](float lon) {
    for (int i = 0; i < c_cFixes; ++i) {
      GpsFix fix = At(lon, float(i) * 1e-4f);
      fix.SetSatellitesUsed(i);
      hub.OnFix(fix);
      hub.SetCursor(lon, float(i), 0, false, 0, false);
    }
  };
  std::thread t1(source, 10.0f), t2(source, 20.0f);
  t1.join();
  t2.join();
  ASSERT_EQ(rec.FixCount(), size_t(2 * c_cFixes));
  // Each source's fixes come out whole and in their own order.
  int aNext[2] = {0, 0};
  for (const GpsFix& fix : rec.m_aFixes) {
    int k = fix.longitude == 10.0f ? 0 : 1;
    ASSERT_TRUE(fix.longitude == 10.0f || fix.longitude == 20.0f);
    EXPECT_EQ(fix.satellitesUsed, aNext[k]);
    EXPECT_FLOAT_EQ(fix.latitude, float(aNext[k]) * 1e-4f);
    ++aNext[k];
  }
  EXPECT_EQ(aNext[0], c_cFixes);
  EXPECT_EQ(aNext[1], c_cFixes);
}

// Counts the calls it gets and fails when one comes after it was removed.
class CLateCallCatcher : public CPositionListener {
 public:
  void OnFixTaken(const GpsFix&, uint32_t) override {
    if (m_fRemoved) m_cLate++;
    m_cCalls++;
  }
  std::atomic<bool> m_fRemoved{false};
  std::atomic<int> m_cLate{0}, m_cCalls{0};
};

TEST(PositionHub, SubscribersComeAndGoWhileFixesFlow) {
  ResetAllSettings();
  CPositionHub hub;
  std::atomic<bool> fStop{false};
  std::atomic<int> cSent{0};
  std::thread source([&] {
    while (!fStop) {
      hub.OnFix(At(10, float(cSent.load() % 1000) * 1e-3f));
      ++cSent;
    }
  });
  int cHeard = 0;
  for (int round = 0; round < 200; ++round) {
    CLateCallCatcher catcher;
    hub.Subscribe(&catcher);
    int cStart = cSent.load();
    while (cSent.load() < cStart + 3) std::this_thread::yield();
    hub.Unsubscribe(&catcher);
    catcher.m_fRemoved = true;
    int cAt = cSent.load();
    while (cSent.load() < cAt + 3) std::this_thread::yield();
    // Once Unsubscribe has returned no call reaches the listener, which may
    // now go away.
    EXPECT_EQ(catcher.m_cLate.load(), 0);
    cHeard += catcher.m_cCalls.load();
  }
  fStop = true;
  source.join();
  EXPECT_GE(cHeard, 200);
}

TEST(PositionHub, ReadingStartsAndStops) {
  ResetAllSettings();
  CPositionHub hub;
  CRecorder rec;
  CViewRecorder view;
  hub.Subscribe(&rec);
  hub.Subscribe(&view);
  g_aPosted.clear();
  hub.SetPoster(RecordPost);
  GpsFix fix = At(1, 1);
  fix.SetSpeed(40);
  hub.OnFix(fix);
  EXPECT_FLOAT_EQ(hub.GetAverageSpeed(), 40.0f);
  hub.ResetSatellites(2);
  hub.ReadingStops();
  hub.ReadingStarts();
  EXPECT_FLOAT_EQ(hub.GetAverageSpeed(), 0.0f);  // a new reading starts a new average
  EXPECT_EQ(hub.GetSatelliteCapacity(), 0);
  EXPECT_EQ(rec.Events(), (std::vector<std::string>{"GPSConnected", "break", "point", "fix", "sky0", "stops",
                                                     "starts"}));
  // The views hear that the table was cleared.
  hub.Deliver(c_msgGpsSatellites);
  EXPECT_EQ(view.m_aEvents, (std::vector<std::string>{"sky"}));
  hub.SetPoster(nullptr);
}

// Today's date as a receiver sends it, read live (the hub's pivot is the
// program's build date): it stays today, and so do the date a receiver with a
// 10-bit week counter gives and the leap seconds after it.
TEST(PositionHub, TodaysDatesFromAReceiverStayToday) {
  ResetAllSettings();
  platform::CSystemTime st;
  platform::GetSystemTimeUtc(st);
  CPositionHub hub;
  hub.AllowClockCorrection(false);
  CRecorder rec;
  hub.Subscribe(&rec);
  NMEA0183 nmea(4800);
  nmea.SetHub(&hub);
  nmea.Reset();
  std::string stream;
  for (int i = 0; i < 30; ++i) {
    char sz[128];
    std::snprintf(sz, sizeof sz, "GPRMC,%02d%02d%02d,A,5545.000,N,03737.%03d,E,030.0,090.0,%02d%02d%02d,,", 10,
                  30 + i / 60, i % 60, i * 10, st.wDay, st.wMonth, st.wYear % 100);
    stream += gpstest::Nmea(sz);
  }
  stream += "$";
  nmea.ProcessData(gpstest::Bytes(stream), DWORD(stream.size()));
  ASSERT_GE(rec.FixCount(), 29u);
  const double dToday = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
  for (size_t i = 1; i < rec.m_aFixes.size(); ++i) {
    ASSERT_TRUE(rec.m_aFixes[i].Has(gfTime));
    EXPECT_EQ(std::floor(rec.m_aFixes[i].time), dToday) << i;
  }
  // The pivot has not moved past today.
  EXPECT_LE(hub.DatePivot(), dToday);
  // A receiver stuck 1024 weeks back says 19.6 years ago.
  EXPECT_DOUBLE_EQ(hub.ResolveGpsDate(dToday + 0.25 - 7168), dToday + 0.25);
  EXPECT_EQ(GpsLeapSeconds(dToday), 18);
}

// A view that takes its time (a drawing pass) while fixes keep coming.
class CSlowView : public CPositionView {
 public:
  void OnFixChanged(const GpsFix&, uint32_t) override {
    m_evInside.Set();
    m_evGoOn.Wait(10000);
  }
  platform::CEvent m_evInside, m_evGoOn;
};

TEST(PositionHub, ASlowViewDoesNotHoldUpTheListeners) {
  ResetAllSettings();
  CPositionHub hub;
  CSlowView view;
  CRecorder rec;
  hub.Subscribe(&view);
  hub.Subscribe(&rec);
  hub.OnFix(At(1, 1));
  std::thread window([&] { hub.Deliver(c_msgGpsFix); });
  ASSERT_TRUE(view.m_evInside.Wait(10000));
  // The view is still busy: a port thread's fixes reach the listeners all the same.
  std::thread port([&] {
    for (int i = 0; i < 3; ++i) hub.OnFix(At(2 + float(i), 2 + float(i)));
  });
  for (int i = 0; i < 500 && rec.FixCount() < 4; ++i) platform::SleepMs(10);
  EXPECT_EQ(rec.FixCount(), 4u);
  view.m_evGoOn.Set();
  window.join();
  port.join();
}

// A view that draws for a while dispatches the window's messages; anything
// handled meanwhile may subscribe or unsubscribe on another thread.
TEST(PositionHub, NoLockIsHeldWhileViewsRun) {
  ResetAllSettings();
  CPositionHub hub;
  CSlowView view, other;
  hub.Subscribe(&view);
  hub.OnFix(At(1, 1));
  std::thread window([&] { hub.Deliver(c_msgGpsFix); });
  ASSERT_TRUE(view.m_evInside.Wait(10000));
  std::atomic<bool> fDone{false};
  std::thread subscriber([&] {
    hub.Subscribe(&other);
    hub.Unsubscribe(&other);
    fDone = true;
  });
  for (int i = 0; i < 300 && !fDone; ++i) platform::SleepMs(10);
  EXPECT_TRUE(fDone.load()) << "the view's list is not locked while the view runs";
  view.m_evGoOn.Set();
  window.join();
  subscriber.join();
}

std::vector<double> g_aClockSets;
bool RecordClockSet(const platform::CSystemTime& st) {
  g_aClockSets.push_back(platform::SystemTimeToDays(st));
  return true;
}
double g_dHostNow = 0;
double HostNow() { return g_dHostNow; }

// The clock is never set back before the day the program was built, whatever
// a receiver says; a later date sets it as before.
TEST(PositionHub, TheClockIsNeverSetBeforeTheFloor) {
  ResetAllSettings();
  CPositionHub hub;
  hub.SetClockFloor(BuildDate());
  hub.SetUtcNowSource(HostNow);
  g_dHostNow = BuildDate() + 10.5;
  platform::SetTimeHook old = platform::SetSetTimeHook(RecordClockSet);
  g_aClockSets.clear();
  hub.FixupClock(BuildDate() - 7168 + 10.5);  // the old default's 2007 for today
  EXPECT_TRUE(g_aClockSets.empty());
  EXPECT_EQ(hub.ClockCorrections(), 0u);
  EXPECT_EQ(hub.ClockOffset(), 2000000000);  // measured, not applied
  hub.FixupClock(BuildDate() + 10.5 - 1.0 / 24);  // an hour off, after the floor
  ASSERT_EQ(g_aClockSets.size(), 1u);
  EXPECT_NEAR(g_aClockSets[0], BuildDate() + 10.5 - 1.0 / 24, 1e-6);
  platform::SetSetTimeHook(old);
}

}  // namespace
