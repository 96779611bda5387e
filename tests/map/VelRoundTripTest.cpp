// Maps written by the writer and read back by the reader: every object's
// kind, type, points, direction bit and label, in both header layouts, with
// inline and shared labels and both code sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "tests/map/VelTestUtil.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

const uint16_t c_awCodes[3] = {18, 21, 24};

std::u16string RandomName(std::mt19937& rng, size_t cMin, size_t cMax) {
  static const char16_t c_alphabet[] = u"абвгдеёжзийклмнопрстуфхцчшщыэюяАБВГДЕЖЗИКЛМНОПРСТУФabcdefghijklmnopqrstuvwxyz -.0123456789";
  size_t n = cMin + rng() % (cMax - cMin + 1);
  std::u16string s;
  for (size_t i = 0; i < n; ++i) s.push_back(c_alphabet[rng() % (sizeof c_alphabet / 2 - 1)]);
  return s;
}

// Objects of every kind near 37°E 55°N; each (kind, type) is unique so that
// decoded objects can be matched to their sources.
std::vector<VelLevelInput> MakeLevels(unsigned nSeed, int cPerLevel) {
  std::mt19937 rng(nSeed);
  std::vector<VelLevelInput> levels(3);
  std::vector<std::u16string> shared{u"улица Ленина", u"Main Street", u"Садовая улица", u"Река Быстрая"};
  uint16_t wNextType = 1;
  const int32_t x0 = DegreesToMap(37.0), y0 = DegreesToMap(55.0);
  for (int iLevel = 0; iLevel < 3; ++iLevel) {
    levels[size_t(iLevel)].wLevelCode = c_awCodes[iLevel];
    for (int i = 0; i < cPerLevel; ++i) {
      VelObject obj;
      obj.nKind = int(rng() % 3);
      obj.wType = wNextType++;
      int32_t x = x0 + int32_t(rng() % 4000000), y = y0 + int32_t(rng() % 3000000);
      size_t cPoints = obj.nKind == rkPoint ? 1 : 2 + rng() % 40;
      if (obj.nKind == rkPolyline && i % 17 == 0) cPoints = 1;  // one-point lines
      for (size_t k = 0; k < cPoints; ++k) {
        obj.points.push_back(MapPoint{x, y});
        x += int32_t(rng() % 20001) - 10000;
        y += int32_t(rng() % 20001) - 10000;
      }
      switch (rng() % 5) {
        case 0: break;  // no label
        case 1: obj.strLabel = shared[rng() % shared.size()]; break;
        case 2: obj.strLabel = RandomName(rng, 70, 90); break;  // longer than any buffer
        default: obj.strLabel = RandomName(rng, 1, 20);
      }
      obj.fDirection = obj.nKind == rkPolyline && rng() % 2;
      levels[size_t(iLevel)].objects.push_back(obj);
    }
  }
  return levels;
}

void ExpectSameObjects(const std::vector<VelLevelInput>& levels, CVelParser* p, size_t cchLabelBuffer) {
  std::vector<Decoded> decoded = DecodeAll(p);
  std::map<std::pair<int, uint16_t>, const Decoded*> byKey;
  for (const Decoded& d : decoded) {
    EXPECT_TRUE(byKey.emplace(std::make_pair(d.nKind, d.wType), &d).second) << "duplicate " << d.wType;
  }
  size_t cExpected = 0;
  for (uint32_t iLevel = 0; iLevel < levels.size(); ++iLevel) {
    const int32_t nHalfUnit = 1 << ((unsigned(~levels[iLevel].wLevelCode) & 31) - 1);
    for (const VelObject& obj : levels[iLevel].objects) {
      ++cExpected;
      auto it = byKey.find({obj.nKind, obj.wType});
      ASSERT_NE(it, byKey.end()) << "type " << obj.wType << " lost";
      const Decoded& d = *it->second;
      EXPECT_EQ(d.nLevel, iLevel);
      EXPECT_EQ(d.fDirection, obj.fDirection);
      ASSERT_EQ(d.points.size(), obj.points.size()) << obj.wType;
      for (size_t k = 0; k < obj.points.size(); ++k) {
        EXPECT_LE(std::abs(int64_t(d.points[k].x) - obj.points[k].x), nHalfUnit) << obj.wType << " point " << k;
        EXPECT_LE(std::abs(int64_t(d.points[k].y) - obj.points[k].y), nHalfUnit) << obj.wType << " point " << k;
      }
      std::u16string strWant = obj.strLabel.substr(0, cchLabelBuffer - 1);
      EXPECT_EQ(d.strLabel, strWant) << obj.wType;
      if (!obj.strLabel.empty()) {
        // The text reference gives the same text back, cut to 63.
        char16_t sz[64];
        int nFlag = -1;
        p->GetLabel(1, obj.nKind, obj.wType, d.dwLabelRef, sz, &nFlag);
        EXPECT_EQ(std::u16string(sz), obj.strLabel.substr(0, 63));
        EXPECT_EQ(nFlag, 0);
      } else {
        EXPECT_EQ(d.dwLabelRef, 0xFFFFFFFFu);
      }
    }
  }
  EXPECT_EQ(decoded.size(), cExpected);
}

struct Layout {
  bool fExtended;
  bool fShared;
  int nCodeSet;
};

class VelRoundTrip : public ::testing::TestWithParam<Layout> {};

TEST_P(VelRoundTrip, EveryObjectComesBack) {
  Layout layout = GetParam();
  auto levels = MakeLevels(1234, 300);
  VelWriterOptions opt;
  opt.fExtended = layout.fExtended;
  opt.fSharedLabels = layout.fShared;
  opt.nCodeSet = layout.nCodeSet;
  opt.cBlockCell = 2048;
  std::vector<uint8_t> bytes;
  std::string strError;
  VelWriterStats stats;
  ASSERT_TRUE(WriteVelMap(opt, levels, bytes, strError, &stats)) << strError;
  EXPECT_EQ(stats.cDropped, 0u);
  EXPECT_GT(stats.cRecordsOnBoundary, 0u);  // records ending on a byte boundary
  EXPECT_GT(stats.cRecordsInsideByte, 0u);  // and inside a byte
  if (layout.fShared) EXPECT_GT(stats.cSharedRefs, 0u);
  else EXPECT_EQ(stats.cSharedRefs, 0u);
  if (layout.nCodeSet == 1) EXPECT_EQ(stats.cCodeSet3, 0u);
  if (layout.nCodeSet == 3) EXPECT_EQ(stats.cCodeSet1, 0u);
  if (layout.nCodeSet == 0) {
    EXPECT_GT(stats.cCodeSet1, 0u);
    EXPECT_GT(stats.cCodeSet3, 0u);
  }
  std::unique_ptr<CVelParser> p(OpenBytes(bytes));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->IsExtended(), layout.fExtended);
  EXPECT_EQ(p->GetLevelCount(), 3u);
  ExpectSameObjects(levels, p.get(), 91);
}

INSTANTIATE_TEST_SUITE_P(Layouts, VelRoundTrip,
                         ::testing::Values(Layout{true, true, 0}, Layout{false, true, 0}, Layout{true, false, 1},
                                           Layout{false, false, 3}, Layout{true, true, 3}, Layout{false, true, 1}));

TEST(VelWriterTest, SameInputSameBytes) {
  auto levels = MakeLevels(99, 200);
  VelWriterOptions opt;
  std::vector<uint8_t> a, b;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(opt, levels, a, strError));
  ASSERT_TRUE(WriteVelMap(opt, levels, b, strError));
  EXPECT_EQ(a, b);
}

TEST(VelHeader, DescriptionDerivedStateAndBounds) {
  auto levels = MakeLevels(5, 20);
  VelWriterOptions opt;
  opt.strName = u"Тестовая карта с очень длинным названием больше 32";
  opt.strNotice = u"© OpenStreetMap contributors|ODbL";
  opt.wYear = 2026;
  opt.btMonth = 12;
  opt.btDay = 0;
  opt.dwLocale = 0x409;
  opt.strTypeSet = "GaRmIn";
  opt.dwLabelFlags = 1;
  opt.wScaleFirst = 28;
  opt.wScaleLast = 11;
  std::vector<uint8_t> bytes;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(opt, levels, bytes, strError));
  std::unique_ptr<CVelParser> p(OpenBytes(bytes));
  ASSERT_TRUE(p);
  uint16_t y;
  uint8_t m, d;
  char16_t szName[40], szNotice[10];
  p->GetDescription(&y, &m, &d, szName, 40, szNotice, 10);
  EXPECT_EQ(y, 2026);
  EXPECT_EQ(m, 12);
  EXPECT_EQ(d, 0);
  EXPECT_EQ(std::u16string(szName), opt.strName.substr(0, 32));
  EXPECT_EQ(std::u16string(szNotice), opt.strNotice.substr(0, 9));  // buffer - 1
  EXPECT_TRUE(p->IsGarminTypeSet());
  EXPECT_FALSE(p->GetLabelStyleFlag());
  EXPECT_EQ(p->GetLocale(), 0x409u);
  EXPECT_EQ(p->GetFirstScale(), 1u);
  EXPECT_EQ(p->GetLastScale(), 26u);
  // The bounds hold every finest-level point.
  for (const VelObject& obj : levels.back().objects)
    for (const MapPoint& pt : obj.points) EXPECT_TRUE(p->GetRect().Contains(pt));
}

TEST(VelRoadAndAddressBits, MapsThatCarryThemStillDecode) {
  for (bool fFixed : {false, true})
    for (bool fExtended : {true, false}) {
      auto levels = MakeLevels(77, 120);
      std::mt19937 rng(8);
      for (auto& lv : levels)
        for (VelObject& obj : lv.objects) {
          obj.fHasAddress = rng() % 2;
          obj.fExtraAddressBit = rng() % 2;
          for (uint32_t& v : obj.adwAddress) v = rng() % 300;
          if (obj.nKind == rkPolyline) {
            obj.fHasNodes = rng() % 3 != 0;
            obj.fHasAttributes = rng() % 2;
            obj.wRoadAttributes = uint16_t(rng());
            for (size_t k = 0; k < obj.points.size(); ++k) obj.nodeIndex.push_back(rng() % 2 ? int32_t(rng() % 5000) : -1);
          }
        }
      VelWriterOptions opt;
      opt.fExtended = fExtended;
      opt.dwNodeCount = 5000;
      opt.fAddresses = true;
      opt.fExtraAddressBit = true;
      opt.fFixedWidthAddresses = fFixed;
      std::vector<uint8_t> bytes;
      std::string strError;
      ASSERT_TRUE(WriteVelMap(opt, levels, bytes, strError));
      std::unique_ptr<CVelParser> p(OpenBytes(bytes));
      ASSERT_TRUE(p);
      EXPECT_TRUE(p->HasRoadGraph());
      EXPECT_EQ(p->GetNodeIndexBits(), 13u);
      EXPECT_TRUE(p->HasAddresses());
      EXPECT_TRUE(p->HasExtraAddressBit());
      ExpectSameObjects(levels, p.get(), 91);
      std::vector<Decoded> decoded = DecodeAll(p.get());
      std::map<std::pair<int, uint16_t>, const VelObject*> src;
      for (size_t iLevel = 0; iLevel < levels.size(); ++iLevel)
        for (const VelObject& obj : levels[iLevel].objects) src[{obj.nKind, obj.wType}] = &obj;
      for (const Decoded& d : decoded) {
        const VelObject& obj = *src[{d.nKind, d.wType}];
        bool fFinest = d.nLevel == 2;
        EXPECT_EQ(d.rec.fHasAddress, obj.fHasAddress);
        if (obj.fHasAddress) {
          for (int i = 0; i < 4; ++i) EXPECT_EQ(d.rec.adwAddress[i], obj.adwAddress[i]);
          EXPECT_EQ(d.rec.fExtraAddressBit, obj.fExtraAddressBit && fFinest && obj.nKind != rkPoint);
        }
        if (obj.nKind == rkPolyline && fFinest) {
          EXPECT_EQ(d.rec.fHasNodes, obj.fHasNodes);
          if (obj.fHasNodes) {
            EXPECT_EQ(d.rec.fHasAttributes, obj.fHasAttributes);
            if (obj.fHasAttributes) EXPECT_EQ(d.rec.wRoadAttributes, obj.wRoadAttributes);
            uint32_t cNodes = 0;
            for (int32_t n : obj.nodeIndex) cNodes += n >= 0;
            EXPECT_EQ(d.rec.cNodes, cNodes);
          }
        } else {
          EXPECT_FALSE(d.rec.fHasNodes);
        }
      }
    }
}

TEST(VelOpenFlags, LabelsAloneBoundsAloneAndEverything) {
  auto levels = MakeLevels(21, 60);
  std::vector<uint8_t> bytes;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(VelWriterOptions(), levels, bytes, strError));
  std::unique_ptr<CVelParser> pAll(OpenBytes(bytes));
  ASSERT_TRUE(pAll);
  std::vector<Decoded> decoded = DecodeAll(pAll.get());
  const Decoded* pLabelled = nullptr;
  for (const Decoded& d : decoded)
    if (!d.strLabel.empty()) pLabelled = &d;
  ASSERT_TRUE(pLabelled);

  // Labels only (what the collection index builder asks for): texts can be
  // read, objects are not decoded and nothing is drawn.
  std::unique_ptr<CVelParser> pLabels(OpenBytes(bytes, "labels", c_fOpenLabels));
  ASSERT_TRUE(pLabels);
  char16_t sz[64];
  int nFlag;
  pLabels->GetLabel(1, pLabelled->nKind, pLabelled->wType, pLabelled->dwLabelRef, sz, &nFlag);
  EXPECT_EQ(std::u16string(sz), pLabelled->strLabel.substr(0, 63));
  CRecordingSink sink;
  CRecordingLabels labels;
  pLabels->Draw(&sink, &labels);
  EXPECT_TRUE(labels.entries.empty());
  EXPECT_FALSE(pLabels->ForEachObject(0, CollectOne, &decoded));
  EXPECT_EQ(pLabels->GetRect().left, 0);  // bounds were not asked for

  std::unique_ptr<CVelParser> pBounds(OpenBytes(bytes, "bounds", c_fOpenBounds));
  ASSERT_TRUE(pBounds);
  EXPECT_EQ(pBounds->GetRect().left, pAll->GetRect().left);
  EXPECT_EQ(pBounds->GetRect().bottom, pAll->GetRect().bottom);
  pBounds->GetLabel(1, 0, 0, pLabelled->dwLabelRef, sz, &nFlag);
  EXPECT_EQ(sz[0], 0);  // no label tables
}

}  // namespace
