#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/Str.h"
#include "settings/Settings.h"
#include "sound/SoundPlayer.h"
#include "tests/sound/WaveTestUtil.h"

using namespace wavetest;

namespace {

// A device that keeps what it was given; the test says when a buffer ends.
struct CFakeDevice : CWaveDevice {
  struct Played {
    WaveFormat format;
    const uint8_t* pSamples;
    uint32_t cb;
    std::vector<uint8_t> copy;
  };
  std::vector<Played> aPlayed;
  bool fOpen = false;
  uint32_t dwFail = 0;
  int cStops = 0;
  uint32_t Start(const WaveFormat& format, const uint8_t* pSamples, uint32_t cb) override {
    if (dwFail) return dwFail;
    EXPECT_FALSE(fOpen) << "one file at a time";
    fOpen = true;
    aPlayed.push_back(Played{format, pSamples, cb, std::vector<uint8_t>(pSamples, pSamples + cb)});
    return 0;
  }
  void Stop() override {
    fOpen = false;
    ++cStops;
  }
};

struct CTestHost : CSoundHost {
  std::u16string strDir;
  std::vector<uint32_t> aDeviceErrors;
  std::u16string SoundPath(const std::string& strName) override {
    return platform::JoinPath(strDir, platform::Utf8ToU16(strName + ".wav"));
  }
  void ShowDeviceError(uint32_t dw) override { aDeviceErrors.push_back(dw); }
};

class SoundPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAllSettings();
    std::string strDir = ::testing::TempDir() + "velmo_wav_" +
                         ::testing::UnitTest::GetInstance()->current_test_info()->name();
    host.strDir = platform::Utf8ToU16(strDir);
    platform::CreateDirectoryPath(host.strDir.c_str());
    // Every sound a distinct length and content.
    uint8_t b = 1;
    for (const char* psz : {"Pre", "TurnRight", "then", "Left", "RouteEnd", "GPSMissing"})
      Write(psz, SimpleWave(100 + 10 * b, b)), ++b;
  }
  void TearDown() override { ResetAllSettings(); }
  void Write(const char* pszName, const std::vector<uint8_t>& v) {
    std::u16string strPath = host.SoundPath(pszName);
    ASSERT_TRUE(platform::WriteFileAtomic(strPath.c_str(), v.data(), v.size()));
  }
  // Plays the queue to the end, finishing each buffer; the names played.
  std::vector<std::string> PlayAll() {
    std::vector<std::string> a;
    player.PlayNext();
    while (player.IsPlaying()) {
      a.push_back(player.CurrentName());
      player.OnDone();
    }
    return a;
  }

  CSoundQueue queue;
  CFakeDevice device;
  CTestHost host;
  CSoundPlayer player{queue, device, host};
};

TEST_F(SoundPlayerTest, PlaysAPhraseFileByFileStraightFromTheMapping) {
  auto p = std::make_unique<CManeuverPhrase>(pcRight, true, 0);
  p->Chain(std::make_unique<CManeuverPhrase>(pcKeepLeft, false, 0));
  queue.Post(std::move(p));
  player.PlayNext();
  ASSERT_TRUE(player.IsPlaying());
  EXPECT_EQ(player.CurrentName(), "Pre");
  player.PlayNext();  // a play message while a file plays changes nothing
  EXPECT_EQ(device.aPlayed.size(), 1u);
  std::vector<std::string> a{"Pre"};
  player.OnDone();
  while (player.IsPlaying()) {
    a.push_back(player.CurrentName());
    player.OnDone();
  }
  EXPECT_EQ(a, (std::vector<std::string>{"Pre", "TurnRight", "then", "Left"}));
  ASSERT_EQ(device.aPlayed.size(), 4u);
  EXPECT_EQ(device.aPlayed[1].copy, Samples(120, 2)) << "the sample data of TurnRight.wav";
  EXPECT_EQ(device.aPlayed[1].format.nSamplesPerSec, 22050u);
  EXPECT_EQ(device.cStops, 4);
  EXPECT_FALSE(device.fOpen);
}

TEST_F(SoundPlayerTest, SilencedAndMissingSoundsArePassedOver) {
  SetBool(u"PlaySound_Pre", false);
  std::u16string strLeft = host.SoundPath("Left");
  platform::DeleteFilePath(strLeft.c_str());
  auto p = std::make_unique<CManeuverPhrase>(pcRight, true, 0);
  p->Chain(std::make_unique<CManeuverPhrase>(pcKeepLeft, false, 0));
  queue.Post(std::move(p));
  queue.Post(std::make_unique<CRouteSoundEvent>(rseEnd));
  EXPECT_EQ(PlayAll(), (std::vector<std::string>{"TurnRight", "then", "RouteEnd"}));
}

TEST_F(SoundPlayerTest, BrokenWaveFilesPlayNothing) {
  std::vector<uint8_t> v = SimpleWave(100);
  v.resize(30);  // cut inside the format
  Write("TurnRight", v);
  Write("then", std::vector<uint8_t>{'R', 'I', 'F', 'F'});
  Write("Left", std::vector<uint8_t>());
  auto p = std::make_unique<CManeuverPhrase>(pcRight, true, 0);
  p->Chain(std::make_unique<CManeuverPhrase>(pcKeepLeft, false, 0));
  queue.Post(std::move(p));
  EXPECT_EQ(PlayAll(), (std::vector<std::string>{"Pre"}));
}

TEST_F(SoundPlayerTest, DeviceErrorsAreShownAndReleaseThePlayback) {
  device.dwFail = 2;  // MMSYSERR_BADDEVICEID
  queue.Post(std::make_unique<CRouteSoundEvent>(rseEnd));
  player.PlayNext();
  EXPECT_FALSE(player.IsPlaying());
  EXPECT_EQ(host.aDeviceErrors, std::vector<uint32_t>{2});
  EXPECT_FALSE(player.IsDeviceAvailable());
  // A device that keeps failing is told of once; the phrases pass silently.
  for (int i = 0; i < 5; ++i) {
    queue.Post(std::make_unique<CManeuverPhrase>(pcRight, true, 0));
    queue.Post(std::make_unique<CGpsSoundEvent>(gseMissing));
    EXPECT_TRUE(PlayAll().empty());
  }
  EXPECT_EQ(host.aDeviceErrors, std::vector<uint32_t>{2});
  EXPECT_EQ(player.DeviceError(), 2u);
  device.dwFail = 0;
  queue.Post(std::make_unique<CGpsSoundEvent>(gseMissing));
  EXPECT_EQ(PlayAll(), std::vector<std::string>{"GPSMissing"});
  EXPECT_TRUE(player.IsDeviceAvailable());
}

TEST_F(SoundPlayerTest, CuttingAManeuverPhraseLetsTheCurrentFileFinish) {
  queue.Post(std::make_unique<CManeuverPhrase>(pcRight, true, 0));
  player.PlayNext();
  ASSERT_EQ(player.CurrentName(), "Pre");
  queue.Post(std::make_unique<CGpsSoundEvent>(gseMissing));
  player.CutManeuver();
  EXPECT_TRUE(player.IsPlaying()) << "the sound already playing finishes";
  player.OnDone();
  EXPECT_EQ(player.CurrentName(), "GPSMissing");
  player.OnDone();
  EXPECT_FALSE(player.IsPlaying());
}

TEST_F(SoundPlayerTest, EventsAreNotCutWithTheManeuvers) {
  queue.Post(std::make_unique<CRouteSoundEvent>(rseEnd));
  player.PlayNext();
  player.CutManeuver();
  EXPECT_EQ(player.CurrentName(), "RouteEnd");
  EXPECT_EQ(player.RemainingInList(), 0u);
}

}  // namespace
