// Damaged native maps: the reader fails to open them or draws what is
// valid, never reading outside the file and never hanging.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "map/bits/HuffmanEncoder.h"
#include "platform/Debug.h"
#include "tests/map/VelTestUtil.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

std::vector<uint8_t> SampleMap(bool fExtended) {
  std::mt19937 rng(42);
  std::vector<VelLevelInput> levels(2);
  levels[0].wLevelCode = 20;
  levels[1].wLevelCode = 24;
  const int32_t x0 = DegreesToMap(37.0), y0 = DegreesToMap(55.0);
  for (auto& lv : levels)
    for (int i = 0; i < 60; ++i) {
      VelObject o;
      o.nKind = i % 3;
      o.wType = uint16_t(1 + rng() % 40);
      int32_t x = x0 + int32_t(rng() % 500000), y = y0 + int32_t(rng() % 500000);
      for (int k = 0; k < (o.nKind == rkPoint ? 1 : 3 + i % 7); ++k) o.points.push_back({x + k * 3000, y + k * (int32_t(rng() % 4000) - 2000)});
      if (i % 2) o.strLabel = i % 4 == 1 ? u"улица Мира" : u"Объект " + std::u16string(1, char16_t(u'А' + i % 30));
      o.fDirection = i % 5 == 0;
      lv.objects.push_back(o);
    }
  VelWriterOptions opt;
  opt.fExtended = fExtended;
  std::vector<uint8_t> bytes;
  std::string strError;
  EXPECT_TRUE(WriteVelMap(opt, levels, bytes, strError));
  return bytes;
}

void SetSize(std::vector<uint8_t>& v) {
  uint32_t cb = uint32_t(v.size());
  if (v.size() >= 12) std::memcpy(&v[8], &cb, 4);
}

// Opens the bytes and, when that works, draws every level and fetches every
// label: nothing may crash or hang (ASan and UBSan in the fuzz build catch
// reads outside the file; here the file end is a mapping boundary too).
int Exercise(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<CVelParser> p(OpenBytes(bytes, "bad"));
  if (!p) return 0;
  for (int nScale = 0; nScale <= 26; nScale += 6) {
    CRecordingSink sink;
    CRecordingLabels labels;
    sink.nScale = nScale;
    sink.nShift = 4;
    p->Draw(&sink, &labels);
    for (auto& e : labels.entries) {
      char16_t sz[64];
      int n;
      p->GetLabel(0, e.nKind, e.wType, e.dwRef, sz, &n);
    }
  }
  DecodeAll(p.get());
  char16_t sz[64];
  int n;
  p->GetLabel(0, 0, 0, uint32_t(bytes.size()) - 1, sz, &n);
  p->GetLabel(0, 0, 0, uint32_t(bytes.size()), sz, &n);
  p->GetLabel(0, 0, 0, 0xFFFFFFFF, sz, &n);
  return 1;
}

class QuietAsserts : public ::testing::Test {
 protected:
  // Damaged data breaks the invariants the debug assertions state; here
  // only the run-time guards matter.
  void SetUp() override { m_old = platform::SetAssertHook([](const char*, const char*, int) {}); }
  void TearDown() override { platform::SetAssertHook(m_old); }
  platform::AssertHook m_old = nullptr;
};

TEST_F(QuietAsserts, WrongSizeFieldOrVersionFailsToOpen) {
  std::vector<uint8_t> v = SampleMap(true);
  ASSERT_TRUE(OpenBytes(v) != nullptr);
  std::vector<uint8_t> w = v;
  w.push_back(0);  // size field now wrong
  EXPECT_EQ(OpenBytes(w), nullptr);
  w = v;
  w[4] = 5;
  EXPECT_EQ(OpenBytes(w), nullptr);
}

TEST_F(QuietAsserts, TruncatedMapsFailOrDrawWhatIsValid) {
  for (bool fExtended : {true, false}) {
    std::vector<uint8_t> v = SampleMap(fExtended);
    int cOpened = 0;
    for (size_t cb = 0; cb < v.size(); cb += (cb < 1300 ? 37 : 1)) {
      std::vector<uint8_t> w(v.begin(), v.begin() + long(cb));
      SetSize(w);  // make the probe accept it
      cOpened += Exercise(w);
    }
    // The tables sit at the end, so only whole files open.
    EXPECT_EQ(cOpened, 0);
  }
}

TEST_F(QuietAsserts, CorruptedMapsNeverCrash) {
  std::mt19937 rng(1);
  for (bool fExtended : {true, false}) {
    std::vector<uint8_t> v = SampleMap(fExtended);
    int cOpened = 0;
    for (int round = 0; round < 400; ++round) {
      std::vector<uint8_t> w = v;
      int cFlips = 1 + int(rng() % 8);
      for (int k = 0; k < cFlips; ++k) {
        size_t i = 12 + rng() % (w.size() - 12);
        w[i] ^= uint8_t(1u << (rng() % 8));
      }
      cOpened += Exercise(w);
    }
    EXPECT_GT(cOpened, 100);  // most damage is inside objects, which still open
  }
}

TEST_F(QuietAsserts, HostileHeaderFieldsAreRejectedOrBounded) {
  std::vector<uint8_t> v = SampleMap(true);
  auto patch = [&](size_t off, uint32_t dw) {
    std::vector<uint8_t> w = v;
    std::memcpy(&w[off], &dw, 4);
    return w;
  };
  EXPECT_EQ(Exercise(patch(428, 0xFFFFFFF0)), 0);  // level table outside
  EXPECT_EQ(Exercise(patch(432, 0x10000000)), 0);  // absurd level count
  EXPECT_EQ(Exercise(patch(432, 0)), 0);           // no levels
  EXPECT_EQ(Exercise(patch(464, 0xFFFFFFF0)), 0);  // tables outside
  EXPECT_EQ(Exercise(patch(440, 40)), 0);          // reference wider than 32 bits
  Exercise(patch(436, 0xFFFFFF00));                // shared labels outside: opens, stops sections
  Exercise(patch(472, 3));                         // table blob cut short
}

// A hand-made map whose codes take no bits: every one-byte record of its
// line section is a line of 65536 points. Without a bound on the work of one
// walk, drawing its 200000 records would decode 13 billion points.
TEST_F(QuietAsserts, CodesOfNoBitsCannotMakeAWalkEndless) {
  const uint32_t cRecords = 200000;
  std::vector<uint8_t> v(sizeof(vel::VelExtHeader) + sizeof(vel::VelLevel) + sizeof(vel::CVelBlock) + 3, 0);
  vel::VelExtHeader h{};
  std::memcpy(h.main.achMagic, "GVEL", 4);
  h.main.dwVersion = 4;
  h.main.dwFlags = vel::c_fExtendedHeader;
  h.dwLevelTableOffset = sizeof h;
  h.dwScales = 1;
  h.nXBias = h.nYBias = 32768;
  vel::VelLevel lv{uint32_t(sizeof h + sizeof(vel::VelLevel)), 1, 24};
  std::memcpy(&v[sizeof h], &lv, sizeof lv);
  vel::CVelBlock blk{1000, 1000, 0, 0, uint32_t(v.size()) | (3u << 26)};
  std::memcpy(&v[lv.dwFirstBlock], &blk, sizeof blk);
  v[lv.dwFirstBlock + 16] = uint8_t(cRecords);
  v[lv.dwFirstBlock + 17] = uint8_t(cRecords >> 8);
  v[lv.dwFirstBlock + 18] = uint8_t(cRecords >> 16);
  v.resize(v.size() + cRecords, 0);  // every record: no label, no direction
  h.dwLabelAreaOffset = uint32_t(v.size());
  h.dwHuffmanOffset = uint32_t(v.size());
  auto single = [&](uint16_t wValue) {
    CHuffmanEncoder e;
    if (wValue) {
      e.Add(wValue);
      e.Build();
    }
    e.Serialize(v);
  };
  for (int i = 0; i < 4; ++i) single(0);  // label tables
  single(0);                                // point types
  single(6);                                // line types
  single(0);                                // area types
  single(32769);                            // x delta +1
  single(32768);                            // y delta 0
  single(65535);                            // 65536 points
  h.dwHuffmanLength = uint32_t(v.size() - h.dwHuffmanOffset);
  h.main.dwFileSize = uint32_t(v.size());
  std::memcpy(v.data(), &h, sizeof h);
  std::unique_ptr<CVelParser> p(OpenBytes(v, "nobits"));
  ASSERT_TRUE(p);
  CRecordingSink sink;
  sink.nShift = 0;
  p->Draw(&sink, nullptr);
  EXPECT_GT(sink.polylines.size(), 10u);         // the first records are drawn
  EXPECT_LT(sink.polylines.size(), cRecords / 10);  // then the walk gives up
  bool fComplete = true;
  DecodeAll(p.get(), &fComplete);
  EXPECT_FALSE(fComplete);
}

}  // namespace
