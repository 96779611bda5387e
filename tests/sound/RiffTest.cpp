#include <gtest/gtest.h>

#include "sound/Riff.h"
#include "tests/sound/WaveTestUtil.h"

using namespace wavetest;

namespace {

WaveParseResult Parse(const std::vector<uint8_t>& v, WaveData& w) { return ParseWave(v.data(), v.size(), w); }

TEST(Riff, PlainWaveGivesFormatAndSamplesInPlace) {
  std::vector<uint8_t> v = SimpleWave(100);
  WaveData w;
  ASSERT_EQ(Parse(v, w), wprOk);
  EXPECT_EQ(w.format.wFormatTag, 1);
  EXPECT_EQ(w.format.nChannels, 1);
  EXPECT_EQ(w.format.nSamplesPerSec, 22050u);
  EXPECT_EQ(w.format.nBlockAlign, 2);
  EXPECT_EQ(w.format.wBitsPerSample, 16);
  EXPECT_EQ(w.format.cbSize, 0);
  EXPECT_EQ(w.pSamples, v.data() + 44) << "the samples are not copied";
  EXPECT_EQ(w.cbSamples, 100u);
}

TEST(Riff, ChunkWalkWithOtherAndOddChunks) {
  std::vector<uint8_t> c;
  PutChunk(c, "LIST", Samples(5));  // odd, written without a pad byte
  PutChunk(c, "fmt ", PcmFormat());
  PutChunk(c, "junk", Samples(3));
  c.push_back(0);  // this one with the usual pad byte
  PutChunk(c, "data", Samples(40, 9));
  std::vector<uint8_t> v = Riff(c);
  WaveData w;
  ASSERT_EQ(Parse(v, w), wprOk);
  EXPECT_EQ(w.cbSamples, 40u);
  EXPECT_EQ(w.pSamples[0], 9);
  EXPECT_EQ(w.pSamples, v.data() + v.size() - 40);
}

TEST(Riff, MissingChunksPlayNothing) {
  std::vector<uint8_t> c;
  PutChunk(c, "data", Samples(10));
  WaveData w;
  EXPECT_EQ(Parse(Riff(c), w), wprNoFormat);
  c.clear();
  PutChunk(c, "fmt ", PcmFormat());
  EXPECT_EQ(Parse(Riff(c), w), wprNoData);
  std::vector<uint8_t> v = SimpleWave(10);
  v[8] = 'X';
  EXPECT_EQ(Parse(v, w), wprNotRiff);
  EXPECT_EQ(ParseWave(v.data(), 11, w), wprNotRiff);
  EXPECT_EQ(ParseWave(nullptr, 0, w), wprNotRiff);
}

TEST(Riff, SizesPastTheEnd) {
  // A data chunk claiming more than the file holds is cut to what is there
  // (whole frames only).
  std::vector<uint8_t> c;
  PutChunk(c, "fmt ", PcmFormat());
  PutChunk(c, "data", Samples(31), 1000000);
  std::vector<uint8_t> v = Riff(c);
  WaveData w;
  ASSERT_EQ(Parse(v, w), wprOk);
  EXPECT_EQ(w.cbSamples, 30u);
  // A format chunk past the end is no format.
  c.clear();
  PutChunk(c, "fmt ", PcmFormat(), 0x7FFFFFF0u);
  EXPECT_EQ(Parse(Riff(c), w), wprNoFormat);
  // A chunk size that would wrap the offset around.
  c.clear();
  PutChunk(c, "junk", Samples(4), 0xFFFFFFF8u);
  PutChunk(c, "fmt ", PcmFormat());
  PutChunk(c, "data", Samples(4));
  EXPECT_EQ(Parse(Riff(c), w), wprNoFormat);
  // A RIFF size larger than the file: the walk stops at the file's end.
  EXPECT_EQ(Parse(Riff(std::vector<uint8_t>(), 5000), w), wprNoFormat);
}

TEST(Riff, RiffSizeSmallerThanTheChunks) {
  std::vector<uint8_t> c;
  PutChunk(c, "fmt ", PcmFormat());
  PutChunk(c, "data", Samples(10));
  WaveData w;
  EXPECT_EQ(Parse(Riff(c, 20), w), wprNoData) << "the data chunk starts beyond the RIFF size";
  EXPECT_EQ(Parse(Riff(c, 4), w), wprNoFormat);
  EXPECT_EQ(Parse(Riff(c, 37), w), wprOk) << "a chunk that starts inside is read";
}

TEST(Riff, BadFormats) {
  std::vector<uint8_t> c;
  std::vector<uint8_t> f = PcmFormat();
  f.resize(14);
  PutChunk(c, "fmt ", f);
  PutChunk(c, "data", Samples(10));
  WaveData w;
  EXPECT_EQ(Parse(Riff(c), w), wprNoFormat) << "shorter than PCMWAVEFORMAT";
  c.clear();
  f = PcmFormat();
  f[12] = f[13] = 0;  // block alignment 0
  PutChunk(c, "fmt ", f);
  PutChunk(c, "data", Samples(10));
  EXPECT_EQ(Parse(Riff(c), w), wprNoFormat);
  // An extended format whose extra size runs past its chunk keeps none.
  c.clear();
  f = PcmFormat();
  Put16(f, 200);
  PutChunk(c, "fmt ", f);
  PutChunk(c, "data", Samples(10));
  ASSERT_EQ(Parse(Riff(c), w), wprOk);
  EXPECT_EQ(w.format.cbSize, 0);
}

}  // namespace
