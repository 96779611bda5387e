// The voice made at build time: every sound the program can ask for has a
// playable wave file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/Str.h"
#include "sound/Riff.h"
#include "sound/SoundQueue.h"
#include "sound/SoundTable.h"

namespace {

std::vector<std::string> AllSoundNames() {
  std::vector<std::string> a;
  for (size_t i = 0; i < c_cSoundTable; ++i) a.push_back(c_aSoundTable[i].pszName);
  for (size_t i = 0; i < c_cPhraseSounds; ++i) a.push_back(c_apszPhraseSounds[i]);
  // Whatever the phrases and events compose must be among them.
  PlayList list;
  for (int32_t nCode = 0; nCode <= 9; ++nCode)
    for (uint32_t nExit = 0; nExit <= 6; ++nExit) {
      CManeuverPhrase p(nCode, true, nExit);
      p.Chain(std::make_unique<CManeuverPhrase>(nCode, false, nExit));
      p.BuildPlayList(list);
    }
  for (int32_t v = 0; v < 5; ++v) {
    CGpsSoundEvent(GpsSoundEvent(v % 4)).BuildPlayList(list);
    CRouteSoundEvent(RouteSoundEvent(v)).BuildPlayList(list);
    CPowerSoundEvent(PowerSoundEvent(v % 2)).BuildPlayList(list);
  }
  for (const SoundNode& node : list) {
    bool fKnown = false;
    for (const std::string& s : a) fKnown |= s == node.strName;
    EXPECT_TRUE(fKnown) << node.strName << " is composed but not in the sound tables";
  }
  return a;
}

TEST(WaveFiles, EverySoundHasAPlayableFile) {
  std::string strDir = std::string(VELMO_BINARY_DIR) + "/wav";
  if (!platform::IsDirectory(platform::Utf8ToU16(strDir).c_str())) GTEST_SKIP() << "built without espeak-ng";
  for (const std::string& strName : AllSoundNames()) {
    std::vector<uint8_t> data;
    ASSERT_TRUE(platform::ReadWholeFile(platform::Utf8ToU16(strDir + "/" + strName + ".wav").c_str(), data))
        << strName;
    WaveData w;
    ASSERT_EQ(ParseWave(data.data(), data.size(), w), wprOk) << strName;
    EXPECT_EQ(w.format.wFormatTag, 1) << strName;
    EXPECT_EQ(w.format.wBitsPerSample, 16) << strName;
    // Spoken words: at least a quarter of a second.
    EXPECT_GT(w.cbSamples, w.format.nAvgBytesPerSec / 4) << strName;
  }
}

TEST(WaveFiles, TheOptionsPageTableIsComplete) {
  ASSERT_EQ(c_cSoundTable, 30u);
  EXPECT_STREQ(c_aSoundTable[7].pszName, "RouteCalculated");
  EXPECT_EQ(c_aSoundTable[7].idsDescription, 4030u);
  for (size_t i = 8; i < c_cSoundTable; ++i) EXPECT_EQ(c_aSoundTable[i].idsDescription, 4000u + i) << i;
}

}  // namespace
