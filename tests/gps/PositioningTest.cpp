// Positioning: the track-point rule, speed ring, cursor, clock correction,
// notifications, port settings and the demo thread.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "exchange/TrackFile.h"
#include "gps/GpsNotify.h"
#include "gps/Positioning.h"
#include "gps/TrackSource.h"
#include "gps/Tracking.h"
#include "gps/VisualTracking.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/SerialPort.h"
#include "platform/Thread.h"
#include "platform/Str.h"
#include "tests/gps/GpsTestUtil.h"

using gpstest::Collector;

namespace {

std::vector<std::string> g_voice;
// Hears the GPS events the way the voice prompts do.
class CVoiceEvents : public CPositionListener {
 public:
  CVoiceEvents() { GetPositionHub().Subscribe(this); }
  ~CVoiceEvents() override { GetPositionHub().Unsubscribe(this); }
  void OnGpsEvent(GpsEvent ev) override { g_voice.push_back(GpsEventName(ev)); }
};
float Geoid16(float, float) { return 16.0f; }
std::vector<uint32_t> g_posted;
bool Post(uint32_t u) {
  g_posted.push_back(u);
  return true;
}

GpsFix At(float lon, float lat) {
  GpsFix f;
  f.Start();
  f.SetPosition(lon, lat);
  return f;
}

TEST(Positioning, TrackPointTolerance) {
  GpsFix a = At(10.0f, 50.0f), b = At(10.0f, 50.0f + 100.0f / 111000.0f);
  b.SetHorizontalError(10.0f);
  // Due north by 100 m: the longitude stays within its tolerance.
  EXPECT_FALSE(CPositionHub::IsNewTrackPoint(a, b));
  GpsFix c = b;
  c.longitude += 0.001f;
  EXPECT_TRUE(CPositionHub::IsNewTrackPoint(a, c));
  // Without an error both tolerances are 0: any change of both records.
  GpsFix d = At(10.00001f, 50.00001f);
  EXPECT_TRUE(CPositionHub::IsNewTrackPoint(a, d));
  // A longitude change alone is not enough (both must change).
  GpsFix e = At(10.001f, 50.0f);
  EXPECT_FALSE(CPositionHub::IsNewTrackPoint(a, e));
}

TEST(Positioning, LosingAndRegainingThePosition) {
  Collector c;
  g_voice.clear();
  CVoiceEvents voice;
  GetPositionHub().OnFix(At(1, 1));
  GpsFix none;
  none.Start();
  GetPositionHub().OnFix(none);
  GetPositionHub().OnFix(At(1, 1));
  EXPECT_EQ(g_voice, (std::vector<std::string>{"GPSConnected", "GPSMissing", "GPSConnected"}));
}

TEST(Positioning, SpeedRingAndHeading) {
  Collector c;
  for (float f : {1.0f, 1.99f}) {
    GpsFix fix = At(1, 1);
    fix.SetSpeed(f);
    GetPositionHub().OnFix(fix);
  }
  EXPECT_EQ(GetAverageSpeed(), 0.0f);
  for (float f : {2.0f, 4.0f, 6.0f, 8.0f, 10.0f, 12.0f}) {
    GpsFix fix = At(1, 1);
    fix.SetSpeed(f);
    GetPositionHub().OnFix(fix);
  }
  EXPECT_FLOAT_EQ(GetAverageSpeed(), 7.0f);
  EXPECT_FLOAT_EQ(GetRecentAverageSpeed(), 8.0f);  // 4..12
  for (int i = 0; i < 150; ++i) {
    GpsFix fix = At(1, 1);
    fix.SetSpeed(20.0f);
    GetPositionHub().OnFix(fix);
  }
  EXPECT_FLOAT_EQ(GetAverageSpeed(), 20.0f);

  float lon, lat, heading, speed;
  bool fSpeed, fCourse;
  GetPositionHub().SetCursor(5, 6, 90, true, 10, true);
  GetPositionHub().SetCursor(5, 6, -45, true, 1.5f, true);  // too slow: the heading stays
  GetCursor(&lon, &lat, &heading, &speed, &fSpeed, &fCourse);
  EXPECT_FLOAT_EQ(heading, 90.0f);
  EXPECT_FLOAT_EQ(speed, 1.5f);
  GetPositionHub().SetCursor(5, 6, -45, true, 3.0f, true);
  GetCursor(&lon, &lat, &heading);
  EXPECT_FLOAT_EQ(heading, 315.0f);
  EXPECT_FLOAT_EQ(lon, 5.0f);
}

TEST(Positioning, AltitudeOverTheEllipsoid) {
  Collector c;
  GetPositionHub().SetGeoidSource(Geoid16);
  GpsFix fix = At(37, 55);
  fix.SetAltitude(100.0f);
  GetPositionHub().OnFix(fix);
  EXPECT_FLOAT_EQ(GetFix().altitude, 100.0f);
  EXPECT_FLOAT_EQ(GetFix().geoidSeparation, 16.0f);  // filled from the model
  SetBool(u"GPSElevationIsOverEllipsoid", true);
  GetPositionHub().OnFix(fix);
  EXPECT_FLOAT_EQ(GetFix().altitude, 84.0f);
  fix.SetGeoidSeparation(20.0f);  // the receiver's own value wins
  GetPositionHub().OnFix(fix);
  EXPECT_FLOAT_EQ(GetFix().altitude, 80.0f);
  GetPositionHub().SetGeoidSource(nullptr);
  // Without a hook the geodesy table gives 16 m at 55 N 37 E.
  GpsFix g = At(37, 55);
  GetPositionHub().OnFix(g);
  EXPECT_NEAR(GetFix().geoidSeparation, 16.0f, 1.0f);
}

double g_dNow = 45000.5;
double FakeUtc() { return g_dNow; }
std::vector<platform::CSystemTime> g_sets;
bool FakeSet(const platform::CSystemTime& st) {
  g_sets.push_back(st);
  return true;
}

TEST(Positioning, ClockCorrection) {
  Collector c;
  CPositionHub& hub = GetPositionHub();
  hub.AllowClockCorrection(true);  // the clock is fake: asked for explicitly
  hub.SetUtcNowSource(FakeUtc);
  platform::SetTimeHook old = platform::SetSetTimeHook(FakeSet);
  g_sets.clear();
  const double ms = 1.0 / 86400000.0;
  GetPositionHub().FixupClock(g_dNow - 1499 * ms);
  EXPECT_TRUE(g_sets.empty());
  EXPECT_EQ(hub.ClockOffset(), 1499);
  GetPositionHub().FixupClock(g_dNow - 1500 * ms);
  ASSERT_EQ(g_sets.size(), 1u);
  EXPECT_EQ(hub.ClockOffset(), 0);
  EXPECT_EQ(hub.ClockCorrections(), 1u);
  // A second correction within 10 s is not made.
  c.Advance(10000);
  GetPositionHub().FixupClock(g_dNow + 5000 * ms);
  EXPECT_EQ(g_sets.size(), 1u);
  EXPECT_EQ(hub.ClockOffset(), -5000);
  c.Advance(1);
  GetPositionHub().FixupClock(g_dNow + 5000 * ms);
  EXPECT_EQ(g_sets.size(), 2u);
  // Switched off by the setting.
  SetBool(u"FixupClock", false);
  c.Advance(20000);
  GetPositionHub().FixupClock(g_dNow - 3000 * ms);
  EXPECT_EQ(g_sets.size(), 2u);
  EXPECT_EQ(hub.ClockOffset(), 3000);
  // And never without being allowed (replays, tests).
  SetBool(u"FixupClock", true);
  hub.AllowClockCorrection(false);
  GetPositionHub().FixupClock(g_dNow - 3000 * ms);
  EXPECT_EQ(g_sets.size(), 2u);
  platform::SetSetTimeHook(old);
  hub.SetUtcNowSource(nullptr);
}

TEST(Positioning, NotificationsReachTheInstalledPoster) {
  Collector c;
  GetPositionHub().SetIndicatorDisconnected();
  g_posted.clear();
  GpsPostFn old = SetGpsNotifyTarget(Post);
  GetPositionHub().OnFix(At(2, 3));
  GetPositionHub().SetCursor(2, 3, 0, false, 0, false);
  GetPositionHub().SetStatus(2115);
  GetPositionHub().SatellitesComplete();
  GetPositionHub().SetIndicatorSatellites(0);  // unchanged: not posted again
  GetPositionHub().Deliver(c_msgGpsIndicator);  // the window handled the first one
  size_t cPosted = g_posted.size();
  GetPositionHub().SetIndicatorSatellites(5);
  EXPECT_EQ(g_posted.size(), cPosted + 1);
  EXPECT_EQ(GetPositionHub().GetIndicatorIcon(), c_idiGpsReceiving);
  SetGpsNotifyTarget(old);
  std::vector<uint32_t> want = {c_msgGpsFix, c_msgGpsIndicator, c_msgGpsCursor, c_msgGpsStatus, c_msgGpsSatellites};
  for (uint32_t u : want) EXPECT_NE(std::find(g_posted.begin(), g_posted.end(), u), g_posted.end()) << u;
  char16_t sz[128];
  GetStatusText(sz, 128);
  EXPECT_EQ(std::u16string(sz), u"Нет соединения с GPS-приёмником.");
  GetStatusText(sz, 5);
  EXPECT_EQ(std::u16string(sz), u"Нет ");
}

TEST(Positioning, SatelliteTableBounds) {
  Collector c;
  GetPositionHub().ResetSatellites(2);
  GetPositionHub().AppendSatellite(SatelliteInfo{1, 2, 3, 4, 1});
  GetPositionHub().AppendSatellite(SatelliteInfo{2, 2, 3, 4, 2});
  GetPositionHub().AppendSatellite(SatelliteInfo{3, 2, 3, 4, 2});  // beyond the capacity: dropped
  EXPECT_EQ(GetSatelliteCapacity(), 2);
  EXPECT_EQ(GetSatellite(1).nPrn, 2);
  EXPECT_EQ(GetSatellite(2).nPrn, 0);
  EXPECT_EQ(GetSatellite(-1).nPrn, 0);
  GetPositionHub().GrowSatellites(1);
  GetPositionHub().AppendSatellite(SatelliteInfo{3, 2, 3, 4, 2});
  EXPECT_EQ(GetSatellite(2).nPrn, 3);
  EXPECT_STREQ(FixStatusNameA(5), "3D diff");
  EXPECT_STREQ(FixStatusNameA(11), "Simulation");
  EXPECT_STREQ(FixStatusNameA(12), "Unknown");
  EXPECT_EQ(std::u16string(FixStatusName(-1)), u"Unknown");
}

TEST(Positioning, PortsWithoutASettingAreWrittenAsOn) {
  Collector c;
  std::string dir = std::string(VELMO_BINARY_DIR) + "/gps_noports_" + std::to_string(getpid());
  platform::CreateDirectoryPath(platform::Utf8ToU16(dir).c_str());
  setenv("VELMO_PROGRAM_DIR", dir.c_str(), 1);  // no Demo.gdb there
  EXPECT_EQ(GetDword(u"Enable_COM7", 12345), 12345u);
  StartGps();
  EXPECT_EQ(GetDword(u"Enable_COM7", 12345), 1u);
  // No port opens natively without a device: the last thread says so.
  char16_t sz[128] = {};
  for (int i = 0; i < 200; ++i) {
    GetStatusText(sz, 128);
    if (std::u16string(sz) == u"Не удалось открыть ни одного COM-порта.") break;
    platform::SleepMs(10);
  }
  EXPECT_EQ(std::u16string(sz), u"Не удалось открыть ни одного COM-порта.");
  StopGps();
  unsetenv("VELMO_PROGRAM_DIR");
}

// A port whose reading never returns (a Bluetooth port that hangs in the
// system): the port thread's guard blocks until released.
platform::CEvent g_evReleasePort;
std::atomic<int> g_cGuardEntered{0};
std::atomic<int> g_cGuardLeft{0};
void BlockingGuard(int nPort, void (*pfnBody)(void*), void* pParam) {
  if (++g_cGuardEntered == 1) {
    g_evReleasePort.Wait(20000);
    ++g_cGuardLeft;
    return;
  }
  // Later runs read until their run is stopped (the port reads as closed).
  (void)pfnBody;
  (void)pParam;
  while (IsPortOpen(nPort)) platform::SleepMs(5);
  ++g_cGuardLeft;
}

TEST(Positioning, StopGpsAbandonsAPortThreadThatDoesNotEndWithinTwoSeconds) {
  Collector c;
  std::string dir = std::string(VELMO_BINARY_DIR) + "/gps_hang_" + std::to_string(getpid());
  platform::CreateDirectoryPath(platform::Utf8ToU16(dir).c_str());
  setenv("VELMO_PROGRAM_DIR", dir.c_str(), 1);  // no Demo.gdb there
  const int nPort = 3;
  for (int n = 0; n < 20; ++n) SetDword(platform::FormatStr(u"Enable_COM%d", n).c_str(), n == nPort ? 1 : 0);
  platform::SetSerialDevicePath(nPort, "/dev/null");
  g_evReleasePort.Reset();
  g_cGuardEntered = 0;
  g_cGuardLeft = 0;
  SetPortThreadGuard(BlockingGuard);
  StartGps();
  for (int i = 0; i < 300 && g_cGuardEntered == 0; ++i) platform::SleepMs(10);
  ASSERT_EQ(g_cGuardEntered.load(), 1);
  EXPECT_TRUE(IsPortOpen(nPort));
  uint32_t dwStart = platform::GetTickMs();
  StopGps();
  uint32_t dwSpent = platform::GetTickMs() - dwStart;
  EXPECT_GE(dwSpent, 1900u) << "the thread had its 2000 ms";
  EXPECT_LT(dwSpent, 3000u) << "then it was abandoned";
  EXPECT_FALSE(IsGpsRunning());
  EXPECT_FALSE(IsPortOpen(nPort));
  // Reading starts again on the same port while the old thread still hangs.
  StartGps();
  for (int i = 0; i < 300 && g_cGuardEntered < 2; ++i) platform::SleepMs(10);
  EXPECT_EQ(g_cGuardEntered.load(), 2);
  // The hung thread wakes: it ends without touching the new run.
  g_evReleasePort.Set();
  for (int i = 0; i < 300 && g_cGuardLeft == 0; ++i) platform::SleepMs(10);
  platform::SleepMs(50);
  EXPECT_TRUE(IsGpsRunning());
  EXPECT_TRUE(IsPortOpen(nPort)) << "the new run's port stays open";
  dwStart = platform::GetTickMs();
  StopGps();
  EXPECT_LT(platform::GetTickMs() - dwStart, 1500u) << "a thread that ends is joined at once";
  EXPECT_EQ(g_cGuardLeft.load(), 2);
  SetPortThreadGuard(nullptr);
  platform::SetSerialDevicePath(nPort, nullptr);
  unsetenv("VELMO_PROGRAM_DIR");
}

TEST(Positioning, DemoThreadReplaysTheDemoTrack) {
  Collector c;
  std::string dir = std::string(VELMO_BINARY_DIR) + "/gps_demo_" + std::to_string(getpid());
  platform::CreateDirectoryPath(platform::Utf8ToU16(dir).c_str());
  setenv("VELMO_DOCUMENTS_DIR", dir.c_str(), 1);
  setenv("VELMO_PROGRAM_DIR", dir.c_str(), 1);
  // A two-point track written by our own recorder stands in for Demo.gdb
  // (the reader takes the file by its contents).
  Tracking::StartRecording();
  GpsFix a = At(30.0f, 60.0f), b = At(30.001f, 60.001f);
  a.SetTime(45000.0);
  b.SetTime(45000.0 + 10 / 86400.0);
  Tracking::AddTrackPoint(a);
  Tracking::AddTrackPoint(b);
  std::u16string track = Tracking::OpenFilePath();
  Tracking::StopRecording();
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(platform::ReadWholeFile(track.c_str(), bytes));
  std::u16string demo = platform::JoinPath(platform::Utf8ToU16(dir), u"Demo.gdb");
  ASSERT_TRUE(platform::WriteFileAtomic(demo.c_str(), bytes.data(), bytes.size()));
  // The program installs the track file readers as the demo's source.
  PfnOpenTrackSource pfnBefore = SetTrackSourceOpener(exchange::OpenTrackSourceFile);
  StartGps();
  platform::SleepMs(2300);
  StopGps();
  SetTrackSourceOpener(pfnBefore);
  platform::DeleteFilePath(demo.c_str());
  platform::DeleteFilePath(track.c_str());
  unsetenv("VELMO_PROGRAM_DIR");
  unsetenv("VELMO_DOCUMENTS_DIR");
  // One fix a second: point 1, point 2, then the invalid fix of the rewind.
  ASSERT_GE(c.m_aFixes.size(), 3u);
  EXPECT_EQ(c.m_aFixes[0].status, fsSimulation);
  EXPECT_NEAR(c.m_aFixes[0].latitude, 60.0, 1e-6);
  EXPECT_NEAR(c.m_aFixes[1].longitude, 30.001, 1e-6);
  EXPECT_TRUE(c.m_aFixes[1].Has(gfSpeed));
  EXPECT_EQ(c.m_aFixes[2].dwFlags, uint32_t(gfStatus));
  EXPECT_EQ(c.m_aFixes[2].status, fsInvalid);
}

}  // namespace
