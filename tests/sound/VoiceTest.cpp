#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "navigation/Guidance.h"
#include "platform/Debug.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "sound/Voice.h"
#include "tests/navigation/RouteBuilder.h"

using namespace navtest;

namespace {

TEST(AnnounceDistances, FromSpeedAndLead) {
  AnnounceDistances d = GetAnnounceDistances(60.0f, 2);
  EXPECT_EQ(d.nFar, 574);
  EXPECT_EQ(d.nNear, 152);
  d = GetAnnounceDistances(5.0f, 2);
  EXPECT_EQ(d.nFar, 100) << "at walking pace the bases";
  EXPECT_EQ(d.nNear, 30);
  d = GetAnnounceDistances(60.0f, 4);  // later announcements
  EXPECT_EQ(d.nFar, 100 + 168);         // 11 × 15.28 = 168.06
  EXPECT_EQ(d.nNear, 30 + 92);          // 6 × 15.28 = 91.7
  d = GetAnnounceDistances(60.0f, 0);  // the longest lead
  EXPECT_EQ(d.nFar, 100 + 779);         // 51 × 15.28 = 779.2
  EXPECT_EQ(d.nNear, 30 + 153);         // 10 × 15.28 = 152.8
  EXPECT_EQ(GetAnnounceDistances(60.0f, 9).nFar, 268) << "leads above 4 count as 4";
}

TEST(SoundQueue, RouteEventsLeaveTheLaterOne) {
  CSoundQueue q;
  q.Post(std::make_unique<CRouteSoundEvent>(rseOut));
  q.Post(std::make_unique<CRouteSoundEvent>(rseCalculated));
  ASSERT_EQ(q.Count(), 1u);
  EXPECT_EQ(q.Describe()[0], "RouteCalculated");
}

TEST(SoundQueue, PhraseBeforeGpsEventBeforeNothing) {
  CSoundQueue q;
  q.Post(std::make_unique<CGpsSoundEvent>(gseMissing));
  q.Post(std::make_unique<CPowerSoundEvent>(pseBatteryDischarged));
  q.Post(std::make_unique<CManeuverPhrase>(pcRight, false, 0));
  q.Post(std::make_unique<CRouteSoundEvent>(rseEnd));
  EXPECT_EQ(q.TakeNext()->Describe(), "TurnRight");
  EXPECT_EQ(q.TakeNext()->Describe(), "RouteEnd");
  EXPECT_EQ(q.TakeNext()->Describe(), "GPSMissing");
  EXPECT_EQ(q.TakeNext()->Describe(), "BatteryDischarged");
  EXPECT_EQ(q.TakeNext(), nullptr);
}

TEST(SoundQueue, EqualPrioritiesPlayInOrderAndGroupsDoNotSupersedeEachOther) {
  CSoundQueue q;
  q.Post(std::make_unique<CGpsSoundEvent>(gseConnected));
  q.Post(std::make_unique<CRouteSoundEvent>(rseOut));
  q.Post(std::make_unique<CGpsSoundEvent>(gseMissing));
  EXPECT_EQ(q.Count(), 2u);
  EXPECT_EQ(q.TakeNext()->Describe(), "RouteOut");
  EXPECT_EQ(q.TakeNext()->Describe(), "GPSMissing");
}

TEST(Phrases, Composition) {
  EXPECT_EQ(CManeuverPhrase(pcRight, true, 0).Describe(), "Pre TurnRight");
  EXPECT_EQ(CManeuverPhrase(pcToRound, false, 2).Describe(), "RoundAbout 2nd");
  EXPECT_EQ(CManeuverPhrase(pcToRound, true, 5).Describe(), "Pre RoundAbout 5th");
  EXPECT_EQ(CManeuverPhrase(pcToRound, false, 7).Describe(), "RoundAbout") << "no ordinal beyond the fifth";
  EXPECT_EQ(CManeuverPhrase(pcToRound, false, 0).Describe(), "RoundAbout");
  EXPECT_EQ(CManeuverPhrase(pcFromRound, false, 0).Describe(), "TurnRight");
  EXPECT_EQ(CManeuverPhrase(pcKeepLeft, false, 0).Describe(), "Left");
  EXPECT_EQ(CManeuverPhrase(pcSharpLeft, false, 0).Describe(), "LeftHi");
  EXPECT_EQ(CManeuverPhrase(pcUTurnLeft, false, 0).Describe(), "UTurnLeft");
  CManeuverPhrase p(pcRight, false, 0);
  p.Chain(std::make_unique<CManeuverPhrase>(pcKeepLeft, false, 0));
  p.Chain(std::make_unique<CManeuverPhrase>(pcToRound, false, 3));
  EXPECT_EQ(p.Describe(), "TurnRight then Left then RoundAbout 3rd");
  EXPECT_EQ(PhraseCodeOfKind(mkNone), -1);
  EXPECT_EQ(PhraseCodeOfKind(mkKeepRight), pcKeepRight);
  EXPECT_EQ(PhraseCodeOfKind(mkSharpRight), pcSharpRight);
  EXPECT_EQ(PhraseCodeOfKind(11), -1);
}

TEST(Phrases, APostedPhraseAbsorbsTheQueuedOne) {
  CSoundQueue q;
  auto pA = std::make_unique<CManeuverPhrase>(pcRight, true, 0);
  pA->Chain(std::make_unique<CManeuverPhrase>(pcKeepLeft, false, 0));
  q.Post(std::move(pA));
  q.Post(std::make_unique<CGpsSoundEvent>(gseMissing));
  q.Post(std::make_unique<CManeuverPhrase>(pcToRound, false, 2));
  ASSERT_EQ(q.Count(), 2u);
  EXPECT_EQ(q.TakeNext()->Describe(), "Pre TurnRight then Left then RoundAbout 2nd");
}

// The announce step on a road route with a right turn 1 km ahead, then a
// keep left 100 m after it, then the end.
class AnnounceTest : public ::testing::Test {
 protected:
  struct CRecorder : CVoiceObserver {
    std::vector<std::pair<std::string, int32_t>> a;
    void OnVoicePosted(const CSoundEvent& ev, int32_t nDistance) override { a.push_back({ev.Describe(), nDistance}); }
  };
  void SetUp() override {
    ResetAllSettings();
    SetDword(setting::RoutingStyle.pszName, 1);
    voice.SetObserver(&rec);
    voice.SetSpeedSource([](void* p) { return *static_cast<float*>(p); }, &fSpeed);
  }
  void TearDown() override { ResetAllSettings(); }
  void Drive(std::vector<RoutePoint> points) {
    Route* pRoute = AddRoute(store, points);
    guidance.Start(pRoute, GuidanceFix{}, 0, 0);
  }

  float fSpeed = 60.0f;
  CSoundQueue queue;
  CVoice voice{queue};
  CRecorder rec;
  CWaypointStore store;
  CFakeHost host;
  CGuidance guidance{store, &host, &voice};
};

TEST_F(AnnounceTest, FarThenNearAtSixtyKilometresAnHour) {
  Drive({PointAt(0, 0, rpkVia), PointAt(0, 400, c_btRoad), PointAt(0, 1000, c_btTurn, 90),
         PointAt(1000, 1000, c_btRoad), PointAt(3000, 1000, rpkVia)});
  guidance.Update(FixAt(0, 200));  // 800 m before the turn
  EXPECT_TRUE(rec.a.empty()) << "far is 574 m";
  EXPECT_FALSE(voice.HasPendingPhrase());
  guidance.Update(FixAt(0, 500));  // 500 m
  ASSERT_EQ(rec.a.size(), 1u);
  EXPECT_EQ(rec.a[0].first, "Pre TurnRight");
  EXPECT_NEAR(rec.a[0].second, 500, 5);
  EXPECT_TRUE(voice.HasPendingPhrase());
  EXPECT_EQ(voice.DescribePending(), "TurnRight");
  guidance.Update(FixAt(0, 700));  // 300 m: still waiting
  EXPECT_EQ(rec.a.size(), 1u);
  guidance.Update(FixAt(0, 850));  // 150 m, below near (152)
  ASSERT_EQ(rec.a.size(), 2u);
  EXPECT_EQ(rec.a[1].first, "TurnRight");
  EXPECT_FALSE(voice.HasPendingPhrase());
  guidance.Update(FixAt(0, 950));
  EXPECT_EQ(rec.a.size(), 2u) << "said once";
  // Queue order: the far announcement, then the near one.
  auto aQueued = queue.Describe();
  ASSERT_EQ(aQueued.size(), 1u) << "the newer phrase took the queued one over";
  EXPECT_EQ(aQueued[0], "Pre TurnRight then TurnRight");
}

// The announce step runs on every fix: it writes nothing to the debug
// output on its way (a line per route point per fix used to flood it).
std::vector<std::u16string> g_aDebugLines;
void CollectDebug(const char16_t* psz) { g_aDebugLines.push_back(psz ? psz : u""); }

TEST_F(AnnounceTest, NoDebugOutputPerFix) {
  Drive({PointAt(0, 0, rpkVia), PointAt(0, 400, c_btRoad), PointAt(0, 1000, c_btTurn, 90),
         PointAt(1000, 1000, c_btRoad), PointAt(3000, 1000, rpkVia)});
  g_aDebugLines.clear();
  platform::DebugHook pfnOld = platform::SetDebugHook(CollectDebug);
  for (int y = 10; y < 1000; y += 14) guidance.Update(FixAt(0, y));  // a fix a second at 50 km/h
  platform::SetDebugHook(pfnOld);
  EXPECT_EQ(rec.a.size(), 2u) << "far and near said";
  size_t cPerFix = 0;
  for (const std::u16string& str : g_aDebugLines) cPerFix += str.rfind(u"N: ", 0) == 0;
  EXPECT_EQ(cPerFix, 0u);
  EXPECT_LE(g_aDebugLines.size(), 2u * rec.a.size()) << "at most the merge's own lines";
}

TEST_F(AnnounceTest, AFollowingKeepIsChainedToTheNearAnnouncement) {
  Drive({PointAt(0, 0, rpkVia), PointAt(0, 1000, c_btTurn, 90), PointAt(100, 1000, c_btKeep, -30, 0),
         PointAt(2000, 900, rpkVia)});
  guidance.Update(FixAt(0, 200));
  guidance.Update(FixAt(0, 500));
  ASSERT_EQ(rec.a.size(), 1u);
  EXPECT_EQ(rec.a[0].first, "Pre TurnRight");
  guidance.Update(FixAt(0, 860));
  ASSERT_EQ(rec.a.size(), 2u);
  EXPECT_EQ(rec.a[1].first, "TurnRight then Left");
}

TEST_F(AnnounceTest, RoundaboutExits) {
  Drive({PointAt(0, 0, rpkVia), PointAt(0, 1000, c_btRound, 0, 2), PointAt(0, 1200, c_btRoad),
         PointAt(0, 3000, c_btRound, 0, 7), PointAt(0, 5000, rpkVia)});
  guidance.Update(FixAt(0, 200));
  guidance.Update(FixAt(0, 500));
  guidance.Update(FixAt(0, 900));
  guidance.Update(FixAt(0, 2500));
  guidance.Update(FixAt(0, 2900));
  ASSERT_EQ(rec.a.size(), 4u);
  EXPECT_EQ(rec.a[0].first, "Pre RoundAbout 2nd");
  EXPECT_EQ(rec.a[1].first, "RoundAbout 2nd");
  EXPECT_EQ(rec.a[2].first, "Pre RoundAbout");
  EXPECT_EQ(rec.a[3].first, "RoundAbout");
}

TEST_F(AnnounceTest, ATurnCloserThanNearIsSaidPlainAtOnce) {
  Drive({PointAt(0, 0, rpkVia), PointAt(0, 100, c_btTurn, -90), PointAt(-500, 100, rpkVia)});
  guidance.Update(FixAt(0, 0));
  ASSERT_EQ(rec.a.size(), 1u);
  EXPECT_EQ(rec.a[0].first, "TurnLeft");
  EXPECT_FALSE(voice.HasPendingPhrase());
}

TEST_F(AnnounceTest, EndingNavigationForgetsThePhrases) {
  Drive({PointAt(0, 0, rpkVia), PointAt(0, 1000, c_btTurn, 90), PointAt(1000, 1000, rpkVia)});
  guidance.Update(FixAt(0, 500));
  ASSERT_TRUE(voice.HasPendingPhrase());
  queue.Post(std::make_unique<CGpsSoundEvent>(gseMissing));
  guidance.End();
  EXPECT_FALSE(voice.HasPendingPhrase());
  auto aQueued = queue.Describe();
  ASSERT_EQ(aQueued.size(), 1u) << "the maneuver phrases go, the other requests stay";
  EXPECT_EQ(aQueued[0], "GPSMissing");
}

// A recalculation drops the points already passed, so the indices of the
// points ahead move down: the voice follows the new points and neither
// skips the turn ahead nor says a passed one again.
TEST_F(AnnounceTest, AfterARecalculationThatDropsPassedPointsTheTurnAheadIsSaidOnce) {
  SetDword(setting::RoutingStyle.pszName, 0);
  SetDword(setting::RoutingOffRoute.pszName, 1);
  std::vector<RoutePoint> points = {PointAt(0, 0, rpkVia)};
  for (int y = 100; y <= 900; y += 100) points.push_back(PointAt(0, y, c_btRoad));
  points.push_back(PointAt(0, 1000, rpkVia));
  points.push_back(PointAt(0, 1600, c_btTurn, 90));
  points.push_back(PointAt(1000, 1600, c_btRoad));
  points.push_back(PointAt(3000, 1600, rpkVia));
  Route* pRoute = AddRoute(store, points);
  SetDword(setting::RoutingStyle.pszName, 1);
  guidance.Start(pRoute, GuidanceFix{}, 0, 0);
  SetDword(setting::RoutingStyle.pszName, 0);
  guidance.Update(FixAt(0, 50));
  EXPECT_GE(voice.AnnouncedPoint(), 6u) << "the road points within the far distance are considered";
  const uint32_t nVersion = guidance.RouteVersion();
  const size_t cBefore = pRoute->points.size();

  guidance.Update(FixAt(120, 350));  // off the route: recalculated to the via point at 1000 m
  ASSERT_EQ(host.cRecalculations, 1);
  EXPECT_NE(guidance.RouteVersion(), nVersion);
  EXPECT_LT(pRoute->points.size(), cBefore - 5) << "the passed road points were dropped";
  size_t iTurn = 0;
  for (size_t i = 0; i < pRoute->points.size(); ++i)
    if (GetManeuverKind(pRoute->points[i]) != mkNone) iTurn = i;
  ASSERT_GT(iTurn, 0u);
  EXPECT_LT(voice.AnnouncedPoint(), iTurn) << "the turn ahead lies after the point announced";

  auto Phrases = [&] {
    std::vector<std::string> a;
    for (const auto& p : rec.a)
      if (p.second >= 0) a.push_back(p.first);
    return a;
  };
  guidance.Update(FixAt(55, 700));
  EXPECT_TRUE(Phrases().empty()) << "900 m before the turn";
  guidance.Update(FixAt(0, 1100));
  guidance.Update(FixAt(0, 1460));
  guidance.Update(FixAt(0, 1550));
  EXPECT_EQ(Phrases(), (std::vector<std::string>{"Pre TurnRight", "TurnRight"}));
  EXPECT_EQ(guidance.State().nState, nsOnRoute);
}

TEST_F(AnnounceTest, NothingOnUnusableFixes) {
  Drive({PointAt(0, 0, rpkVia), PointAt(0, 1000, c_btTurn, 90), PointAt(1000, 1000, rpkVia)});
  GuidanceFix poor = FixAt(0, 500);
  poor.fHasHdop = true;
  poor.fHdop = 12;
  guidance.Update(poor);
  guidance.Update(GuidanceFix{});
  EXPECT_TRUE(rec.a.empty());
}

TEST(SoundQueue, PostsFromPortThreadsWhileTheWindowTakes) {
  // GPS events from two port threads while the window's thread takes and
  // plays: nothing is lost or doubled beyond what superseding removes, and
  // every post wakes the window.
  CSoundQueue q;
  std::atomic<int> cWakes{0};
  q.SetPoster([](void* p) { ++*static_cast<std::atomic<int>*>(p); }, &cWakes);
  std::atomic<bool> fStop{false};
  int cTaken = 0;
  std::thread taker([&] {
    while (!fStop.load()) {
      if (auto p = q.TakeNext()) {
        EXPECT_FALSE(p->Describe().empty());
        ++cTaken;
      }
    }
  });
  auto Poster = [&](int nFirst) {
    for (int i = 0; i < 5000; ++i)
      if ((i + nFirst) % 2)
        q.Post(std::make_unique<CGpsSoundEvent>(gseMissing));
      else
        q.Post(std::make_unique<CManeuverPhrase>(pcLeft, false, 0));
  };
  std::thread a(Poster, 0), b(Poster, 1);
  a.join();
  b.join();
  fStop = true;
  taker.join();
  EXPECT_EQ(cWakes.load(), 10000);
  EXPECT_LE(q.Count(), 2u) << "one item per group at most is left";
  EXPECT_GT(cTaken, 0);
}

}  // namespace
