// The IMG reader on maps built here: container and scrambling, file table,
// levels and groups, records and coordinate streams, labels in every
// encoding and through NET and POI properties, Draw, description, nearest
// search, and damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/stat.h>

#include "res/Failure.h"
#include "res/Res.h"
#include "map/img/CoordStream.h"
#include "map/img/ImgLabels.h"
#include "tests/img/ImgBuilder.h"
#include "tests/img/ImgTestUtil.h"
#include "view/Scales.h"

using namespace imgtest;

namespace {

// Three levels: an inherited top level, 20 bits, 24 bits with two groups.
TestMap BaseMap() {
  TestMap m;
  m.labels = CLabelBuilder(9, 1);
  TestLevel top;
  top.btZoom = 2;
  top.btBits = 18;
  top.fInherited = true;
  top.groups.push_back(TestGroup{});
  TestLevel mid;
  mid.btZoom = 1;
  mid.btBits = 20;
  TestGroup gm;
  gm.wHalfWidth = 0x1000;
  gm.nHalfHeight = 0x1000;
  TestPoly road;
  road.btType = 0x01;
  road.deltas = {{10, 0}, {0, 10}};
  road.dwLabel = m.labels.Add("MID ROAD");
  gm.lines.push_back(road);
  mid.groups.push_back(gm);
  TestLevel fine;
  fine.btZoom = 0;
  fine.btBits = 24;
  TestGroup g1;
  g1.x = 0x1000;
  g1.y = 0x1000;
  g1.wHalfWidth = 0x800;
  g1.nHalfHeight = 0x800;
  TestPoly area;
  area.btType = 0x4E;
  area.dx0 = -100;
  area.dy0 = -100;
  area.deltas = {{200, 0}, {0, 200}, {-200, 0}};
  area.dwLabel = m.labels.Add("PARK");
  g1.areas.push_back(area);
  TestPoly line;
  line.btType = 0x06;
  line.deltas = {{50, 5}, {-20, 30}, {7, -9}};
  line.dwLabel = m.labels.Add("MAIN STREET");
  line.fDirection = true;
  g1.lines.push_back(line);
  TestPoint poi;
  poi.btType = 0x2C;
  poi.nSubtype = 0x05;
  poi.dx = 10;
  poi.dy = 20;
  poi.dwLabel = m.labels.Add("MUSEUM");
  g1.pois.push_back(poi);
  TestPoint city;
  city.btType = 0x0D;
  city.dx = -5;
  city.dy = 7;
  city.dwLabel = m.labels.Add("TOWN");
  g1.points.push_back(city);
  fine.groups.push_back(g1);
  TestGroup g2;
  g2.x = -0x3000;
  g2.y = -0x3000;
  TestPoint poi2;
  poi2.btType = 0x2F;
  poi2.dx = 1;
  poi2.dy = 1;
  g2.pois.push_back(poi2);
  fine.groups.push_back(g2);
  m.levels = {top, mid, fine};
  m.copyrights = {m.labels.Add("MAP DATA"), m.labels.Add("SECOND LINE")};
  return m;
}

struct Collected {
  std::vector<ImgObject> objects;
  std::vector<std::vector<MapPoint>> points;
};

bool Collect(void* p, const ImgObject& obj) {
  Collected* c = static_cast<Collected*>(p);
  c->objects.push_back(obj);
  c->points.emplace_back(obj.pPoints, obj.pPoints + obj.cPoints);
  return true;
}

Collected CollectLevel(CImgParser& parser, uint32_t nLevel, bool* pfComplete = nullptr) {
  Collected c;
  bool f = parser.ForEachObject(nLevel, Collect, &c);
  if (pfComplete) *pfComplete = f;
  return c;
}

std::u16string Label(CImgParser& parser, uint32_t dwLabel, int nKind = rkPolyline) {
  char16_t sz[64] = {};
  int nFlag = 0;
  parser.GetLabel(1, nKind, 0, dwLabel, sz, &nFlag);
  return sz;
}

std::u16string U(const char* psz) { return platform::Utf8ToU16(psz); }

}  // namespace

// ---------------------------------------------------------------------------
// Container

TEST(ImgContainer, OpensAndReadsTheStructure) {
  std::vector<uint8_t> bytes = BuildImg(BaseMap());
  ASSERT_TRUE(ProbeImgFile(bytes.data(), uint32_t(bytes.size())));
  auto p = OpenBytes(bytes);
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->IsDamaged());
  EXPECT_EQ(p->GetXorKey(), 0);
  EXPECT_EQ(p->GetBlockSize(), 512u);
  ASSERT_EQ(p->GetLevelCount(), 3u);
  EXPECT_TRUE(p->GetLevel(0).fInherited);
  EXPECT_EQ(p->GetGroupCount(), 4u);
  const CTreGroup& g = p->GetGroup(2);
  EXPECT_EQ(g.nLevel, 2u);
  EXPECT_EQ(g.nShift, 0u);
  EXPECT_EQ(g.rect.left, 0x1000 - 0x800);
  EXPECT_EQ(g.rect.bottom, 0x1000 + 0x800);
  // Group 1 is at 20 bits: the half sizes count 2^4 units.
  EXPECT_EQ(p->GetGroup(1).nShift, 4u);
  EXPECT_EQ(p->GetGroup(1).rect.right, 0x1000 << 4);
  // Bounds: 24-bit units shifted to map units.
  EXPECT_EQ(p->GetRect().left, -0x10000 * 128);
  EXPECT_EQ(p->GetRect().bottom, 0x10000 * 128);
  // Scale range: the largest and the smallest bits of the levels that are
  // not inherited (24 and 20).
  EXPECT_EQ(p->GetFirstScale(), ScaleCodeToIndex(24));
  EXPECT_EQ(p->GetLastScale(), ScaleCodeToIndex(20));
}

TEST(ImgContainer, ScrambledImageDecodesLikeThePlainOne) {
  TestMap m = BaseMap();
  std::vector<uint8_t> plain = BuildImg(m);
  ASSERT_EQ(plain[16], 0x44);  // read in place
  auto p0 = OpenBytes(plain);
  ASSERT_TRUE(p0);
  EXPECT_EQ(p0->GetXorKey(), 0);
  for (uint8_t btKey : {uint8_t(0x5A), uint8_t(0x01), uint8_t(0xFF)}) {
    std::vector<uint8_t> scrambled = BuildImg(m, btKey);
    ASSERT_TRUE(ProbeImgFile(scrambled.data(), uint32_t(scrambled.size())));
    auto p1 = OpenBytes(scrambled);
    ASSERT_TRUE(p1) << int(btKey);
    EXPECT_EQ(p1->GetXorKey(), btKey);
    for (uint32_t l = 0; l < 3; ++l) {
      Collected a = CollectLevel(*p0, l), b = CollectLevel(*p1, l);
      ASSERT_EQ(a.objects.size(), b.objects.size());
      for (size_t i = 0; i < a.objects.size(); ++i) {
        EXPECT_EQ(a.objects[i].wType, b.objects[i].wType);
        EXPECT_EQ(Label(*p0, a.objects[i].dwLabel), Label(*p1, b.objects[i].dwLabel));
        ASSERT_EQ(a.points[i].size(), b.points[i].size());
        for (size_t k = 0; k < a.points[i].size(); ++k) EXPECT_EQ(a.points[i][k].x, b.points[i][k].x);
      }
    }
  }
  // The mapped bytes are never written: the copy is the reader's own.
  EXPECT_EQ(plain[16], 0x44);
}

TEST(ImgContainer, OnlyTheFirstMapOfAContainerIsRead) {
  TestMap first = BaseMap();
  TestMap second = BaseMap();
  second.strName = "87654321";
  second.levels.back().groups.resize(1);
  second.levels.back().groups[0].areas.clear();
  std::vector<TestSubfile> files = {{"MAKEGMAP", "MPS", std::vector<uint8_t>(40, 'L')}};
  for (auto& f : MapSubfiles(first)) files.push_back(f);
  for (auto& f : MapSubfiles(second)) files.push_back(f);
  auto p = OpenBytes(BuildContainer(files, first));
  ASSERT_TRUE(p);
  EXPECT_STREQ(p->GetMapName(), "12345678");
  EXPECT_EQ(CollectLevel(*p, 2).objects.size(), 5u);

  // The second map first: its subfiles are the ones read.
  std::vector<TestSubfile> reversed;
  for (auto& f : MapSubfiles(second)) reversed.push_back(f);
  for (auto& f : MapSubfiles(first)) reversed.push_back(f);
  auto p2 = OpenBytes(BuildContainer(reversed, first));
  ASSERT_TRUE(p2);
  EXPECT_STREQ(p2->GetMapName(), "87654321");
  EXPECT_EQ(CollectLevel(*p2, 2).objects.size(), 3u);
}

TEST(ImgContainer, MissingSubfilesOrWrongSignaturesFailToOpen) {
  TestMap m = BaseMap();
  std::vector<TestSubfile> files = MapSubfiles(m);
  for (size_t drop = 0; drop < files.size(); ++drop) {
    std::vector<TestSubfile> v = files;
    v.erase(v.begin() + drop);
    EXPECT_FALSE(OpenBytes(BuildContainer(v, m))) << drop;
  }
  std::vector<TestSubfile> v = files;
  v[1].data[2] = 'X';  // "XARMIN TRE"
  EXPECT_FALSE(OpenBytes(BuildContainer(v, m)));
  v = files;
  v[1].data[0] = 0x73;  // TRE header shorter than 0x74
  EXPECT_FALSE(OpenBytes(BuildContainer(v, m)));
}

TEST(ImgContainer, DescriptionDateAndNotices) {
  TestMap m = BaseMap();
  m.btYear = 24;
  m.btMonth = 11;
  auto p = OpenBytes(BuildImg(m));
  ASSERT_TRUE(p);
  uint16_t wYear = 0;
  uint8_t btMonth = 0, btDay = 9;
  char16_t szName[64], szNotice[128];
  p->GetDescription(&wYear, &btMonth, &btDay, szName, 64, szNotice, 128);
  EXPECT_EQ(wYear, 2024);
  EXPECT_EQ(btMonth, 11);
  EXPECT_EQ(btDay, 0);
  EXPECT_EQ(std::u16string(szName), u"Test map");
  EXPECT_EQ(std::u16string(szNotice), u"MAP DATA\r\nSECOND LINE");
  // As many notices as fit; the name cut to the buffer.
  p->GetDescription(&wYear, &btMonth, &btDay, szName, 5, szNotice, 15);
  EXPECT_EQ(std::u16string(szName), u"Test");
  EXPECT_EQ(std::u16string(szNotice), u"MAP DATA");

  m.btYear = 95;
  p = OpenBytes(BuildImg(m));
  p->GetDescription(&wYear, &btMonth, &btDay, nullptr, 0, nullptr, 0);
  EXPECT_EQ(wYear, 1995);
  m.btYear = 89;
  p = OpenBytes(BuildImg(m));
  p->GetDescription(&wYear, &btMonth, &btDay, nullptr, 0, nullptr, 0);
  EXPECT_EQ(wYear, 2089);
}

// ---------------------------------------------------------------------------
// Labels

TEST(ImgLabels, SixBitTitleCaseShiftsAndShieldMarkers) {
  auto Decode = [](std::vector<uint8_t> codes) {
    CLabelBuilder b(6, 0);
    uint32_t off = b.AddSixBitCodes(codes);
    char16_t sz[64];
    size_t cbUsed = 0;
    img::DecodeSixBitLabel(b.Data().data() + off, b.Data().size() - off, sz, 64, &cbUsed);
    return std::u16string(sz);
  };
  // "LA TURBIE": each word's first letter capital, the rest small.
  EXPECT_EQ(Decode({12, 1, 0, 20, 21, 18, 2, 9, 5}), u"La Turbie");
  // A lower-case shift before the first letter gives a small letter.
  EXPECT_EQ(Decode({0x1B, 1, 2}), u"aB");
  // Road shield markers 0x2A..0x2F are the characters 1..6.
  EXPECT_EQ(Decode({0x2A, 0x21, 0x28}), std::u16string(u"\x01") + u"18");
  EXPECT_EQ(Decode({0x2F}), std::u16string(u"\x06"));
  // Separators stay as control codes for label interpretation.
  EXPECT_EQ(Decode({13, 15, 0x1D, 13}), std::u16string(u"Mo\x1d") + u"m");
  // Symbols: @, apostrophe, '-', '.', and '?' for codes without a symbol.
  EXPECT_EQ(Decode({0x1C, 0, 0x1C, 2, 0x1C, 0x0D, 0x1C, 0x0E, 0x1C, 0x10}), u"@'-.?");
  EXPECT_EQ(Decode({0x1C, 0x1A, 0x1C, 0x2B}), u":[");
  // Lower-case state: digits become 0x30.., 0x2B/0x2C the codes 0x1B/0x1C.
  EXPECT_EQ(Decode({0x1B, 0x20, 0x1B, 0x2B}), std::u16string(u"0\x1b"));
  // 63 characters at most.
  std::vector<uint8_t> many(80, 1);
  EXPECT_EQ(Decode(many).size(), 63u);
}

TEST(ImgLabels, OffsetZeroIsNoLabelInSixBitMaps) {
  TestMap m = BaseMap();
  m.labels = CLabelBuilder(6, 1);
  uint32_t off = m.labels.AddSixBitText("LA TURBIE");
  TestGroup& g = m.levels[2].groups[0];
  g.lines[0].dwLabel = 0;
  g.areas[0].dwLabel = off;
  g.pois[0].dwLabel = 0;
  g.points[0].dwLabel = 0;
  auto p = OpenBytes(BuildImg(m));
  ASSERT_TRUE(p);
  CRecordingSink sink;
  CRecordingLabels labels;
  p->Draw(&sink, &labels);
  ASSERT_EQ(labels.labels.size(), 1u);
  EXPECT_EQ(labels.labels[0].strText, u"La Turbie");
  EXPECT_EQ(Label(*p, 0), u"");
}

TEST(ImgLabels, SixBitEndAndBytesUsed) {
  // The end code starts in the second byte: two bytes hold the label.
  uint8_t ab[] = {0x04, 0x3F, 0xFF, 0xFF};  // codes 1, 3, then the end code in byte 1
  char16_t sz[8];
  size_t cbUsed = 0;
  EXPECT_EQ(img::DecodeSixBitLabel(ab, 4, sz, 8, &cbUsed), 2u);
  EXPECT_EQ(std::u16string(sz), u"Ac");
  EXPECT_EQ(cbUsed, 2u);
  // The end of the data ends the label too.
  EXPECT_EQ(img::DecodeSixBitLabel(ab, 1, sz, 8, &cbUsed), 1u);
  EXPECT_EQ(img::DecodeSixBitLabel(ab, 0, sz, 8, &cbUsed), 0u);
  EXPECT_EQ(sz[0], 0);
}

TEST(ImgLabels, EightBitAndMultiByteInTheMapsCodePage) {
  TestMap m = BaseMap();
  m.wCodePage = 1251;
  uint32_t off = m.labels.AddBytes("\xCC\xEE\xF1\xEA\xE2\xE0");  // "Москва"
  auto p = OpenBytes(BuildImg(m));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->GetEncoding(), 9);
  EXPECT_EQ(p->GetCodePage(), 1251u);
  EXPECT_EQ(Label(*p, off), U("Москва"));

  TestMap u = BaseMap();
  u.labels = CLabelBuilder(10, 1);
  u.wCodePage = 65001;
  uint32_t off2 = u.labels.AddBytes("ESC\xC3\x80S \xE2\x82\xAC");
  auto p2 = OpenBytes(BuildImg(u));
  ASSERT_TRUE(p2);
  EXPECT_EQ(Label(*p2, off2), U("ESCÀS €"));
  // Offsets past the label data give no text.
  EXPECT_EQ(Label(*p2, 0x3FFFFF), u"");
}

TEST(ImgLabels, UnknownEncodingIsReportedOnceAndReadAsBytes) {
  static std::vector<std::u16string> s_messages;
  s_messages.clear();
  SetFailureNotifier([] { DrainFailures([](const char16_t* psz) { s_messages.push_back(psz); }); });
  TestMap m = BaseMap();
  m.labels = CLabelBuilder(7, 1);
  uint32_t off = m.labels.AddBytes("ABC");
  auto p = OpenBytes(BuildImg(m));
  SetFailureNotifier(nullptr);
  ASSERT_TRUE(p);
  ASSERT_EQ(s_messages.size(), 1u);
  EXPECT_NE(s_messages[0].find(u"7"), std::u16string::npos);
  EXPECT_EQ(Label(*p, off), u"ABC");
  CRecordingSink sink;
  p->Draw(&sink, nullptr);
  EXPECT_EQ(s_messages.size(), 1u);
}

TEST(ImgLabels, RoadLabelsThroughNetAndPoiLabelsThroughProperties) {
  TestMap m = BaseMap();
  m.fNet = true;
  m.nNetShift = 2;
  m.netRoads = {m.labels.Add("FIRST ROAD"), m.labels.Add("SECOND ROAD")};
  m.poiProps = {m.labels.Add("CAFE"), m.labels.Add("HOTEL")};
  TestGroup& g = m.levels[2].groups[0];
  g.lines[0].fNetLabel = true;
  g.lines[0].dwLabel = NetRoadOffset(1, m.nNetShift);
  TestPoly broken = g.lines[0];
  broken.dwLabel = 0x3FFFFF;  // far past the road records
  g.lines.push_back(broken);
  g.pois[0].fPoiProps = true;
  m.nPoiPropsShift = 2;
  g.pois[0].dwLabel = PoiPropsOffset(1, m.nPoiPropsShift);
  TestPoint brokenPoi = g.pois[0];
  brokenPoi.dwLabel = 0x3FFFFF;
  g.pois.push_back(brokenPoi);
  auto p = OpenBytes(BuildImg(m));
  ASSERT_TRUE(p);
  ASSERT_TRUE(p->HasNet());
  CRecordingSink sink;
  CRecordingLabels labels;
  p->Draw(&sink, &labels);
  EXPECT_TRUE(labels.Has(rkPolyline, u"SECOND ROAD"));
  EXPECT_TRUE(labels.Has(rkPoint, u"HOTEL"));
  // Indirections outside the image give no label (and no crash).
  size_t cLines = 0;
  for (const CollectedLabel& l : labels.labels) cLines += l.nKind == rkPolyline;
  EXPECT_EQ(cLines, 1u);
  Collected c = CollectLevel(*p, 2);
  size_t cUnresolved = 0;
  for (const ImgObject& o : c.objects) cUnresolved += !o.fLabelResolved;
  EXPECT_EQ(cUnresolved, 2u);

  // Without NET a road label has no text.
  TestMap noNet = m;
  noNet.fNet = false;
  auto p2 = OpenBytes(BuildImg(noNet));
  CRecordingLabels labels2;
  p2->Draw(&sink, &labels2);
  for (const CollectedLabel& l : labels2.labels) EXPECT_NE(l.nKind, rkPolyline);
}

// ---------------------------------------------------------------------------
// Coordinate streams

TEST(ImgCoordStream, RoundTripsSharedAndOwnSigns) {
  std::mt19937 rng(7);
  for (int nCase = 0; nCase < 300; ++nCase) {
    std::vector<std::pair<int32_t, int32_t>> deltas;
    int cPoints = 1 + int(rng() % 40);
    int nRange = 1 << (rng() % 14);
    int nMode = int(rng() % 3);  // 0 mixed, 1 all positive x, 2 all negative y
    for (int i = 0; i < cPoints; ++i) {
      int32_t dx = int32_t(rng() % (2 * nRange)) - nRange + 1;
      int32_t dy = int32_t(rng() % (2 * nRange)) - nRange + 1;
      if (nMode == 1) dx = std::abs(dx);
      if (nMode == 2) dy = -std::abs(dy);
      deltas.push_back({dx, dy});
    }
    bool fExtra = rng() % 2;
    uint8_t btInfo = 0;
    std::vector<uint8_t> stream = EncodeStream(deltas, btInfo, fExtra);
    uint32_t nShift = rng() % 3;
    img::CoordStreamInput in = {stream.data(), stream.size(), nShift, btInfo, fExtra, 1000, -2000};
    MapPoint aOut[img::c_cMaxPoints];
    img::CoordStreamResult res = img::DecodeCoordStream(in, aOut, img::c_cMaxPoints);
    ASSERT_FALSE(res.fDamaged);
    ASSERT_EQ(res.cPoints, size_t(cPoints + 1)) << nCase;
    EXPECT_LE(res.cSpareBits, fExtra ? 8u : 7u);
    int32_t x = 1000, y = -2000;
    for (int i = 0; i < cPoints; ++i) {
      x += deltas[i].first << nShift;
      y += deltas[i].second << nShift;
      ASSERT_EQ(aOut[i + 1].x, x) << nCase << " point " << i;
      ASSERT_EQ(aOut[i + 1].y, y) << nCase << " point " << i;
    }
  }
}

TEST(ImgCoordStream, WidthsSpecialValuesAndLimits) {
  // Own signs of width 3 (base 0 + 2 + 1): special = 4. x: 4 (escape,
  // +3), then 2 -> 3 + 2 = 5; y: 4, then 6 -> 6 - 8 - 3 = -5.
  CBitWriter w;
  w.Put(0, 1);  // x own sign
  w.Put(0, 1);  // y own sign
  w.Put(4, 3);
  w.Put(2, 3);
  w.Put(4, 3);
  w.Put(6, 3);
  img::CoordStreamInput in = {w.Bytes().data(), w.Bytes().size(), 0, 0x00, false, 0, 0};
  MapPoint a[4];
  img::CoordStreamResult res = img::DecodeCoordStream(in, a, 4);
  ASSERT_EQ(res.cPoints, 2u);
  EXPECT_EQ(a[1].x, 5);
  EXPECT_EQ(a[1].y, -5);

  // A base of 10 or more becomes 2 * base - 9: nibble 10 -> width 11 + 2.
  CBitWriter w2;
  w2.Put(1, 1);
  w2.Put(0, 1);  // x positive
  w2.Put(1, 1);
  w2.Put(1, 1);  // y negative
  w2.Put(5000, 13);
  w2.Put(1, 2);
  img::CoordStreamInput in2 = {w2.Bytes().data(), w2.Bytes().size(), 2, 0x0A, false, 0, 0};
  res = img::DecodeCoordStream(in2, a, 4);
  ASSERT_EQ(res.cPoints, 2u);
  EXPECT_EQ(a[1].x, 5000 << 2);
  EXPECT_EQ(a[1].y, -(1 << 2));

  // A delta that does not fit 24 bits once shifted stops the decode.
  img::CoordStreamInput in3 = {w2.Bytes().data(), w2.Bytes().size(), 12, 0x0A, false, 0, 0};
  res = img::DecodeCoordStream(in3, a, 4);
  EXPECT_TRUE(res.fDamaged);
  EXPECT_EQ(res.cPoints, 1u);

  // An empty stream holds the first point alone.
  img::CoordStreamInput in4 = {nullptr, 0, 0, 0, false, 7, 8};
  res = img::DecodeCoordStream(in4, a, 4);
  ASSERT_EQ(res.cPoints, 1u);
  EXPECT_EQ(a[0].x, 7);
}

// ---------------------------------------------------------------------------
// Drawing

TEST(ImgDraw, LevelChoiceSkipsInheritedLevels) {
  auto p = OpenBytes(BuildImg(BaseMap()));
  ASSERT_TRUE(p);
  // Levels: 18 bits (inherited), 20, 24. Scale codes run 29 (index 0) down
  // to 11 (index 26).
  EXPECT_EQ(p->ChooseLevel(0), 2u);   // code 29: the finest
  EXPECT_EQ(p->ChooseLevel(7), 2u);   // code 24
  EXPECT_EQ(p->ChooseLevel(8), 1u);   // code 23
  EXPECT_EQ(p->ChooseLevel(13), 1u);  // code 20
  EXPECT_EQ(p->ChooseLevel(14), 1u);  // code 19: the inherited level passes the choice on
  EXPECT_EQ(p->ChooseLevel(26), 1u);  // code 11
  CRecordingSink sink;
  sink.nScale = 26;
  CRecordingLabels labels;
  p->Draw(&sink, &labels);
  // Only the 20-bit level's road is drawn.
  ASSERT_EQ(sink.shapes.size(), 1u);
  EXPECT_EQ(sink.shapes[0].nKind, rkPolyline);
  EXPECT_TRUE(labels.Has(rkPolyline, u"MID ROAD"));
}

TEST(ImgDraw, FourPassesWithTheirRules) {
  TestMap m = BaseMap();
  TestGroup& g = m.levels[2].groups[0];
  for (uint8_t t : {uint8_t(0), uint8_t(3), uint8_t(4), uint8_t(0x4A), uint8_t(0x4B), uint8_t(0x4C)}) {
    TestPoly a = g.areas[0];
    a.btType = t;
    a.dwLabel = 0;
    g.areas.push_back(a);
  }
  TestPoly twoPoint = g.areas[0];
  twoPoint.deltas.resize(1);
  g.areas.push_back(twoPoint);  // fewer than 3 points
  TestPoly onePoint = g.lines[0];
  onePoint.deltas.clear();
  g.lines.push_back(onePoint);  // fewer than 2 points
  auto p = OpenBytes(BuildImg(m));
  ASSERT_TRUE(p);
  CRecordingSink sink;
  CRecordingLabels labels;
  p->Draw(&sink, &labels);
  // Areas 0x4E, 4 and 0x4C are drawn; 0, 3, 0x4A, 0x4B and the 2-point
  // area are not. Areas come first, then lines.
  ASSERT_EQ(sink.Count(rkPolygon), 3u);
  ASSERT_EQ(sink.Count(rkPolyline), 1u);
  EXPECT_EQ(sink.shapes[0].nKind, rkPolygon);
  EXPECT_EQ(sink.shapes.back().nKind, rkPolyline);
  EXPECT_TRUE(sink.shapes.back().fArrows);
  // Screen points are the map points: (centre + delta) in 24-bit units.
  EXPECT_EQ(sink.shapes[0].points[0].x, 0x1000 - 100);
  EXPECT_EQ(sink.shapes[0].points[2].y, 0x1000 + 100);
  // Labels: area, line, POI with its subtype, point.
  EXPECT_TRUE(labels.Has(rkPolygon, u"PARK"));
  EXPECT_TRUE(labels.Has(rkPolyline, u"MAIN STREET"));
  ASSERT_TRUE(labels.Has(rkPoint, u"MUSEUM"));
  ASSERT_TRUE(labels.Has(rkPoint, u"TOWN"));
  for (const CollectedLabel& l : labels.labels) {
    if (l.strText == u"MUSEUM") {
      EXPECT_EQ(l.wType, 0x2C05);
      EXPECT_EQ(l.x, 0x1000 + 10);
      EXPECT_EQ(l.y, 0x1000 + 20);
    }
    if (l.strText == u"TOWN") EXPECT_EQ(l.wType, 0x0D00);
    // Text references fetch the same text again.
    char16_t sz[64];
    int nFlag = 0;
    p->GetLabel(1, l.nKind, l.wType, l.dwTextRef, sz, &nFlag);
    EXPECT_EQ(std::u16string(sz), l.strText);
  }
  // A POI without label or icon is not handed on.
  EXPECT_EQ(labels.labels.size(), 4u);
}

TEST(ImgDraw, LongPolylineDrawsItsFirst256Points) {
  TestMap m = BaseMap();
  TestPoly longLine;
  longLine.btType = 0x02;
  for (int i = 0; i < 299; ++i) longLine.deltas.push_back({1, (i % 2) ? 1 : -1});
  m.levels[2].groups[0].lines = {longLine};
  m.levels[2].groups[0].areas.clear();
  auto p = OpenBytes(BuildImg(m));
  ASSERT_TRUE(p);
  Collected c = CollectLevel(*p, 2);
  ASSERT_FALSE(c.objects.empty());
  EXPECT_EQ(c.objects[0].cEncoded, 300u);
  EXPECT_EQ(c.objects[0].cPoints, 256u);
  CRecordingSink sink;
  p->Draw(&sink, nullptr);
  ASSERT_EQ(sink.shapes.size(), 1u);
  EXPECT_EQ(sink.shapes[0].points.size(), 256u);
  EXPECT_EQ(sink.shapes[0].points[255].x, 0x1000 + 255);
}

TEST(ImgDraw, VisibleRectangleAndSmallObjects) {
  auto p = OpenBytes(BuildImg(BaseMap()));
  ASSERT_TRUE(p);
  CRecordingSink sink;
  CRecordingLabels labels;
  // Only the second group (around -0x3000) is visible.
  sink.rectVisible = MapRect{-0x3100 * 128, -0x3100 * 128, -0x2F00 * 128, -0x2F00 * 128};
  p->Draw(&sink, &labels);
  EXPECT_TRUE(sink.shapes.empty());
  EXPECT_TRUE(labels.labels.empty());  // its POI has neither label nor icon
  // Objects below the minimum extent are not drawn.
  CRecordingSink small;
  small.cMinExtentMap = 1000 * 128;
  p->Draw(&small, nullptr);
  EXPECT_TRUE(small.shapes.empty());
}

TEST(ImgDraw, YieldsEvery256GroupsAndStopsWhenInterrupted) {
  TestMap m = BaseMap();
  TestGroup g = m.levels[2].groups[0];
  m.levels[2].groups.assign(300, g);
  auto p = OpenBytes(BuildImg(m));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->GetGroupCount(), 302u);
  CRecordingSink sink;
  p->Draw(&sink, nullptr);
  // Four passes over 302 groups: 1208 steps, a yield every 256.
  EXPECT_EQ(sink.cYields, 1208u / 256u);
  EXPECT_EQ(sink.Count(rkPolygon), 300u);
  CRecordingSink interrupted;
  interrupted.nInterruptAfter = 1;
  p->Draw(&interrupted, nullptr);
  EXPECT_EQ(interrupted.cYields, 1u);
  EXPECT_LT(interrupted.Count(rkPolygon), 300u);
  EXPECT_EQ(interrupted.Count(rkPolyline), 0u);
}

// ---------------------------------------------------------------------------
// Nearest search

TEST(ImgNearest, FindsThePointsWithinTheRadius) {
  TestMap m = BaseMap();
  TestGroup& g = m.levels[2].groups[0];
  g.pois.clear();
  g.points.clear();
  // POIs on a line east of the centre, 1 unit (about 2.4 m at 24 bits) apart.
  for (int i = 0; i < 50; ++i) {
    TestPoint pt;
    pt.btType = i % 2 ? 0x2C : 0x2D;
    pt.dx = int16_t(i * 10);
    pt.dwLabel = m.labels.Add("P" + std::to_string(i));
    g.pois.push_back(pt);
  }
  auto p = OpenBytes(BuildImg(m));
  ASSERT_TRUE(p);
  const MapPoint ptCentre = {0x1000 << 7, 0x1000 << 7};
  const double fUnitMetres = 128 * c_fMetresPerMapUnit * std::cos(MapToDegrees(ptCentre.y) * 3.14159265358979 / 180);
  // 95 units east at most (about 10 POIs).
  const uint32_t nRadius = uint32_t(95 * fUnitMetres);
  std::unique_ptr<CMapQuery> q(p->FindNearest(0, false, ptCentre, nRadius, nullptr, nullptr, nullptr));
  ASSERT_TRUE(q);
  ASSERT_EQ(q->GetCount(), 10u);
  FoundObject obj = {};
  ASSERT_TRUE(q->GetItem(3, &obj, c_fofName | c_fofReprPoint | c_fofNearestPoint | c_fofScale));
  EXPECT_EQ(std::u16string(obj.szName), u"P3");
  EXPECT_EQ(obj.wType, 0x2C00);
  EXPECT_EQ(obj.nKind, rkPoint);
  EXPECT_EQ(obj.xRepr, (0x1000 + 30) << 7);
  EXPECT_EQ(obj.xNearest, obj.xRepr);
  EXPECT_EQ(obj.nScale, int16_t(ScaleCodeToIndex(24)));
  // A name-only request fills the name and the type only.
  FoundObject nameOnly = {};
  ASSERT_TRUE(q->GetItem(0, &nameOnly, 2));
  EXPECT_EQ(std::u16string(nameOnly.szName), u"P0");
  EXPECT_EQ(nameOnly.xRepr, 0);
  // The type filter.
  KindType types[] = {{rkPoint, 0x2D00}};
  MapTypeFilter filter = {types, 1};
  std::unique_ptr<CMapQuery> q2(p->FindNearest(0, false, ptCentre, nRadius, &filter, nullptr, nullptr));
  EXPECT_EQ(q2->GetCount(), 5u);
  // With the scale: the 20-bit level has no points.
  std::unique_ptr<CMapQuery> q3(p->FindNearest(20, true, ptCentre, nRadius, nullptr, nullptr, nullptr));
  EXPECT_EQ(q3->GetCount(), 0u);
  EXPECT_FALSE(q3->GetItem(0, &obj, c_fofName));
}

// ---------------------------------------------------------------------------
// Damaged files

namespace {

bool CountAll(void* p, const ImgObject& obj) {
  ++*static_cast<size_t*>(p);
  for (uint32_t i = 0; i < obj.cPoints; ++i) (void)obj.pPoints[i];
  return true;
}

// Everything a user can make the reader do on a file.
void Exercise(const std::vector<uint8_t>& bytes) {
  // A copy of exactly the file's size, so that sanitizers see any read past it.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() ? bytes.size() : 1]);
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  if (!ProbeImgFile(copy.get(), uint32_t(bytes.size()))) return;
  MapOpenContext ctx = {u"bad.img", nullptr, copy.get(), uint32_t(bytes.size())};
  CImgParser parser(ctx);
  if (!parser.Open(c_fOpenAll)) return;
  for (uint32_t l = 0; l < parser.GetLevelCount(); ++l) {
    size_t c = 0;
    parser.ForEachObject(l, CountAll, &c);
  }
  for (int nScale : {0, 13, 26}) {
    CRecordingSink sink;
    sink.nScale = nScale;
    CRecordingLabels labels;
    parser.Draw(&sink, &labels);
    for (const CollectedLabel& l : labels.labels) {
      char16_t sz[64];
      int nFlag;
      parser.GetLabel(nScale, l.nKind, l.wType, l.dwTextRef, sz, &nFlag);
    }
  }
  uint16_t wYear;
  uint8_t btMonth, btDay;
  char16_t szName[64], szNotice[256];
  parser.GetDescription(&wYear, &btMonth, &btDay, szName, 64, szNotice, 256);
  std::unique_ptr<CMapQuery> q(parser.FindNearest(0, false, MapPoint{0x1000 << 7, 0x1000 << 7}, 100000, nullptr,
                                                  nullptr, nullptr));
  for (uint32_t i = 0; q && i < q->GetCount(); ++i) {
    FoundObject obj;
    q->GetItem(i, &obj, 0xFFFFFFFF);
  }
}

}  // namespace

TEST(ImgBadInput, TruncatedFilesNeverReadOutside) {
  TestMap m = BaseMap();
  m.fNet = true;
  m.netRoads = {m.labels.Add("ROAD")};
  m.poiProps = {m.labels.Add("CAFE")};
  m.levels[2].groups[0].lines[0].fNetLabel = true;
  m.levels[2].groups[0].pois[0].fPoiProps = true;
  std::vector<uint8_t> bytes = BuildImg(m);
  for (size_t cb = 0; cb <= bytes.size(); cb += (cb < 0x700 ? 97 : 1)) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + cb);
    Exercise(cut);
  }
  // A file cut inside its RGN opens and shows what is there.
  auto p = OpenBytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 0x700));
  EXPECT_FALSE(p);  // the TRE lies past the end
}

TEST(ImgBadInput, CorruptedBytesAndHostileHeaders) {
  TestMap m = BaseMap();
  m.fNet = true;
  m.netRoads = {m.labels.Add("ROAD")};
  m.poiProps = {m.labels.Add("CAFE")};
  std::vector<uint8_t> bytes = BuildImg(m);
  std::mt19937 rng(11);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> bad = bytes;
    int cFlips = 1 + int(rng() % 8);
    for (int k = 0; k < cFlips; ++k) {
      size_t at = 0x600 + rng() % (bad.size() - 0x600);
      bad[at] = uint8_t(rng());
    }
    Exercise(bad);
  }
  // Hostile values in every header field the reader uses.
  auto p = OpenBytes(bytes);
  ASSERT_TRUE(p);
  const uint32_t dwTre = p->GetSubfile(CImgParser::sfTre).dwOffset;
  const uint32_t dwRgn = p->GetSubfile(CImgParser::sfRgn).dwOffset;
  const uint32_t dwLbl = p->GetSubfile(CImgParser::sfLbl).dwOffset;
  std::vector<size_t> fields = {0x40C, 0x61, 0x600 + 12, 0x600 + 32};
  for (size_t off : {21u, 24u, 33u, 37u, 41u, 45u, 49u, 53u}) fields.push_back(dwTre + off);
  for (size_t off : {21u, 25u}) fields.push_back(dwRgn + off);
  for (size_t off : {21u, 25u, 29u, 87u, 91u}) fields.push_back(dwLbl + off);
  for (size_t at : fields)
    for (uint32_t v : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u, 0x1000u}) {
      std::vector<uint8_t> bad = bytes;
      for (int k = 0; k < 4 && at + k < bad.size(); ++k) bad[at + k] = uint8_t(v >> (8 * k));
      Exercise(bad);
    }
  // Levels that claim far more groups than the table holds: only what the
  // table inside the TRE can hold is read (and allocated).
  {
    std::vector<uint8_t> bad = bytes;
    const uint32_t dwLevels = img::GetLe32(&bad[dwTre + 33]);
    for (int l = 0; l < 3; ++l) Set16(bad, dwTre + dwLevels + 4 * l + 2, 0xFFFF);
    Set32(bad, dwTre + 45, 0xFFFFFFFF);
    auto pBad = OpenBytes(bad);
    ASSERT_TRUE(pBad);
    EXPECT_TRUE(pBad->IsDamaged());
    EXPECT_LE(pBad->GetGroupCount(), p->GetSubfile(CImgParser::sfTre).cbSize / 14);
    Exercise(bad);
  }
  // Group table: offsets, section flags and sizes.
  for (int i = 0; i < 2000; ++i) {
    std::vector<uint8_t> bad = bytes;
    size_t at = dwTre + 0x74 + rng() % 80;
    bad[at] = uint8_t(rng());
    Exercise(bad);
  }
}

// The fuzzer's seed maps: each opens. They are written to the build folder,
// or to VELMO_IMG_SEEDS_DIR (fuzz/img/seeds/fuzz_img to renew the seeds).
TEST(ImgSeeds, WritesTheFuzzSeeds) {
  std::string strDir = std::string(VELMO_BINARY_DIR) + "/img-seeds";
  if (const char* psz = std::getenv("VELMO_IMG_SEEDS_DIR")) strDir = psz;
  else mkdir(strDir.c_str(), 0755);
  const char* pszDir = strDir.c_str();
  std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
  TestMap m = BaseMap();
  seeds.push_back({"eight-bit.img", BuildImg(m)});
  seeds.push_back({"scrambled.img", BuildImg(m, 0x5A)});
  TestMap net = BaseMap();
  net.fNet = true;
  net.netRoads = {net.labels.Add("ROAD ONE"), net.labels.Add("ROAD TWO")};
  net.poiProps = {net.labels.Add("CAFE")};
  net.levels[2].groups[0].lines[0].fNetLabel = true;
  net.levels[2].groups[0].lines[0].dwLabel = NetRoadOffset(1, 0);
  net.levels[2].groups[0].lines[0].fExtraBit = true;
  net.levels[2].groups[0].pois[0].fPoiProps = true;
  net.levels[2].groups[0].pois[0].dwLabel = 0;
  seeds.push_back({"net-poi-props.img", BuildImg(net)});
  TestMap six = BaseMap();
  six.labels = CLabelBuilder(6, 1);
  six.levels[2].groups[0].lines[0].dwLabel = six.labels.AddSixBitCodes({12, 1, 0, 0x1B, 1, 0x1C, 0x0D, 0x2A, 0x21});
  seeds.push_back({"six-bit.img", BuildImg(six)});
  TestMap utf = BaseMap();
  utf.labels = CLabelBuilder(10, 1);
  utf.wCodePage = 65001;
  utf.levels[2].groups[0].areas[0].dwLabel = utf.labels.AddBytes("ESC\xC3\x80S");
  seeds.push_back({"utf8.img", BuildImg(utf)});
  TestMap two = BaseMap();
  two.strName = "87654321";
  std::vector<TestSubfile> files = {{"MAKEGMAP", "MPS", std::vector<uint8_t>(16, 'L')}};
  for (auto& f : MapSubfiles(m)) files.push_back(f);
  for (auto& f : MapSubfiles(two)) files.push_back(f);
  seeds.push_back({"two-maps.img", BuildContainer(files, m)});
  TestMap lines = BaseMap();
  TestPoly longLine;
  longLine.btType = 0x02;
  for (int i = 0; i < 299; ++i) longLine.deltas.push_back({(i % 5) - 2, (i % 3) - 1});
  lines.levels[2].groups[0].lines.push_back(longLine);
  seeds.push_back({"long-line.img", BuildImg(lines)});
  for (auto& s : seeds) {
    std::string strPath = std::string(pszDir) + "/" + s.first;
    FILE* f = std::fopen(strPath.c_str(), "wb");
    ASSERT_TRUE(f) << strPath;
    std::fwrite(s.second.data(), 1, s.second.size(), f);
    std::fclose(f);
    EXPECT_TRUE(OpenBytes(s.second)) << s.first;
  }
}
