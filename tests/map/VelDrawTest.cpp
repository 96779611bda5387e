// The Draw walk against recording fakes: level choice, block and extent
// rejection, the area type rules, direction arrows, labels, Yield.
#include <gtest/gtest.h>

#include "tests/map/VelTestUtil.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

const int32_t c_x0 = DegreesToMap(37.0), c_y0 = DegreesToMap(55.0);

VelObject Area(uint16_t wType, int32_t x, int32_t y, int32_t cSize, std::u16string strLabel = u"") {
  VelObject o;
  o.nKind = rkPolygon;
  o.wType = wType;
  o.points = {{x, y}, {x + cSize, y}, {x + cSize, y + cSize}, {x, y + cSize}};
  o.strLabel = strLabel;
  return o;
}

VelObject Line(uint16_t wType, int32_t x, int32_t y, int32_t cLen, bool fDir, std::u16string strLabel = u"") {
  VelObject o;
  o.nKind = rkPolyline;
  o.wType = wType;
  o.points = {{x, y}, {x + cLen, y + cLen / 2}, {x + 2 * cLen, y}};
  o.fDirection = fDir;
  o.strLabel = strLabel;
  return o;
}

VelObject Point(uint16_t wType, int32_t x, int32_t y, std::u16string strLabel = u"") {
  VelObject o;
  o.nKind = rkPoint;
  o.wType = wType;
  o.points = {{x, y}};
  o.strLabel = strLabel;
  return o;
}

// Five levels with the codes velc writes; every level has one line of type
// = its level index + 1 so that the drawn level can be told.
std::unique_ptr<CVelParser> FiveLevels() {
  std::vector<VelLevelInput> levels(5);
  const uint16_t codes[5] = {16, 18, 20, 22, 24};
  for (int i = 0; i < 5; ++i) {
    levels[size_t(i)].wLevelCode = codes[i];
    levels[size_t(i)].objects.push_back(Line(uint16_t(i + 1), c_x0, c_y0, 4000000, false, u"L"));
  }
  std::vector<uint8_t> bytes;
  std::string strError;
  EXPECT_TRUE(WriteVelMap(VelWriterOptions(), levels, bytes, strError));
  return std::unique_ptr<CVelParser>(OpenBytes(bytes));
}

TEST(VelLevelChoice, BothEndsAndTheMiddle) {
  auto p = FiveLevels();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->ChooseLevel(26), 0u);  // code 11 is below every level: level 0
  EXPECT_EQ(p->ChooseLevel(17), 0u);  // code 17
  EXPECT_EQ(p->ChooseLevel(15), 1u);  // code 18
  EXPECT_EQ(p->ChooseLevel(0), 4u);   // code 29: the finest
  EXPECT_EQ(p->ChooseLevel(7), 4u);   // code 24
  EXPECT_EQ(p->ChooseLevel(8), 3u);   // code 23 -> level code 22
}

TEST(VelLevelChoice, DrawUsesTheChosenLevel) {
  auto p = FiveLevels();
  ASSERT_TRUE(p);
  const std::pair<int, uint16_t> cases[] = {{26, 1}, {0, 5}, {8, 4}, {15, 2}};
  for (auto [nScale, wType] : cases) {
    CRecordingSink sink;
    CRecordingLabels labels;
    sink.nScale = nScale;
    sink.nShift = 0;
    p->Draw(&sink, &labels);
    EXPECT_EQ(sink.polylines.size(), 1u) << nScale;
    ASSERT_EQ(labels.entries.size(), 1u);
    EXPECT_EQ(labels.entries[0].wType, wType) << nScale;
  }
}

// The detail setting: 0 draws the level chosen for the scale at every
// scale; each step draws one level finer or coarser, as far as the map has
// levels; any stored value, however large, stays within the map.
TEST(VelLevelChoice, DetailMovesTheDrawnLevelByWholeLevels) {
  auto p = FiveLevels();
  ASSERT_TRUE(p);
  auto drawn = [&](int nScale, int nDetail) {
    CRecordingSink sink;
    CRecordingLabels labels;
    sink.nScale = nScale;
    sink.nShift = 0;
    sink.nDetail = nDetail;
    p->Draw(&sink, &labels);
    return labels.entries.size() == 1 ? int(labels.entries[0].wType) : -1;
  };
  for (int nScale = 0; nScale <= 26; ++nScale) EXPECT_EQ(drawn(nScale, 0), int(p->ChooseLevel(uint32_t(nScale))) + 1);
  // Scale 8 draws level 3 (type 4).
  EXPECT_EQ(drawn(8, 1), 5);
  EXPECT_EQ(drawn(8, 2), 5);  // no level finer than the finest
  EXPECT_EQ(drawn(8, -1), 3);
  EXPECT_EQ(drawn(8, -2), 2);
  EXPECT_EQ(drawn(8, -3), 1);
  EXPECT_EQ(drawn(8, -4), 1);
  EXPECT_EQ(drawn(26, -1), 1);  // the coarsest stays
  EXPECT_EQ(drawn(26, 2), 3);
  EXPECT_EQ(drawn(8, INT32_MAX), 5);
  EXPECT_EQ(drawn(8, INT32_MIN), 1);
  EXPECT_EQ(drawn(0, INT32_MIN), 1);  // bounded at c_nMaxMapDetail = 4 levels: 4 -> 0
}

TEST(VelLevelChoice, DetailScaleIndexSkipsScalesOfTheSameLevel) {
  // Levels change at scale indices 5 and 20: 0..4 -> 2, 5..19 -> 1, 20..26 -> 0.
  auto choose = [](uint32_t i) { return i < 5 ? 2u : i < 20 ? 1u : 0u; };
  EXPECT_EQ(DetailScaleIndex(10, 0, choose), 10u);
  EXPECT_EQ(DetailScaleIndex(10, 1, choose), 4u);   // the coarsest scale of the finer level
  EXPECT_EQ(DetailScaleIndex(10, -1, choose), 20u);
  EXPECT_EQ(DetailScaleIndex(10, 2, choose), 4u);
  EXPECT_EQ(DetailScaleIndex(25, 2, choose), 4u);
  EXPECT_EQ(DetailScaleIndex(3, -2, choose), 20u);
  EXPECT_EQ(DetailScaleIndex(40, 0, choose), 26u);  // past the table: its last row
  // A map of one level: nothing to move to.
  auto one = [](uint32_t) { return 0u; };
  EXPECT_EQ(DetailScaleIndex(10, 3, one), 10u);
  EXPECT_EQ(DetailScaleIndex(10, -3, one), 10u);
}

std::unique_ptr<CVelParser> OneLevel(std::vector<VelObject> objects, const char* pszTypeSet = "OSM") {
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 24;
  levels[0].objects = std::move(objects);
  VelWriterOptions opt;
  opt.strTypeSet = pszTypeSet;
  std::vector<uint8_t> bytes;
  std::string strError;
  EXPECT_TRUE(WriteVelMap(opt, levels, bytes, strError)) << strError;
  return std::unique_ptr<CVelParser>(OpenBytes(bytes));
}

TEST(VelDraw, AreaTypeRulesAndTheGarminTypeSet) {
  std::vector<VelObject> objects;
  for (uint16_t t : {1, 2, 3, 4, 0x4A, 0x4B, 0x50}) objects.push_back(Area(t, c_x0 + t * 100000, c_y0, 50000));
  for (const char* pszSet : {"OSM", "Garmin", "GARMIN", "garmin"}) {
    auto p = OneLevel(objects, pszSet);
    ASSERT_TRUE(p);
    CRecordingSink sink;
    p->Draw(&sink, nullptr);
    bool fGarmin = std::string(pszSet) != "OSM";
    EXPECT_EQ(p->IsGarminTypeSet(), fGarmin);
    // 0x4A and 0x4B never; 1, 2, 3 only outside the Garmin type set.
    EXPECT_EQ(sink.polygons.size(), fGarmin ? 2u : 5u) << pszSet;
  }
}

TEST(VelDraw, LinesArrowsOnePointLinesAndLabels) {
  std::vector<VelObject> objects;
  objects.push_back(Line(6, c_x0, c_y0, 100000, true, u"Садовая улица"));
  objects.push_back(Line(6, c_x0, c_y0 + 200000, 100000, false, u"Садовая улица"));
  VelObject one = Line(7, c_x0, c_y0 + 400000, 100000, true, u"Одна точка");
  one.points.resize(1);
  objects.push_back(one);
  objects.push_back(Point(0x2A00, c_x0 + 5000, c_y0 + 5000, u"Кафе"));
  objects.push_back(Point(0x2F01, c_x0 + 6000, c_y0 + 6000));  // no label, no icon
  objects.push_back(Area(0x50, c_x0, c_y0 - 300000, 200000, u"Бор"));
  auto p = OneLevel(objects);
  ASSERT_TRUE(p);
  CRecordingSink sink;
  CRecordingLabels labels;
  p->Draw(&sink, &labels);
  EXPECT_EQ(sink.polylines.size(), 2u);  // the one-point line draws nothing
  EXPECT_EQ(sink.cArrows, 1);
  EXPECT_EQ(sink.polygons.size(), 1u);
  ASSERT_EQ(labels.entries.size(), 4u);
  // Areas first, then lines, then points.
  EXPECT_EQ(labels.entries[0].nKind, rkPolygon);
  EXPECT_EQ(labels.entries[0].strText, u"Бор");
  EXPECT_EQ(labels.entries[1].nKind, rkPolyline);
  EXPECT_EQ(labels.entries[2].nKind, rkPolyline);
  EXPECT_EQ(labels.entries[1].dwRef, labels.entries[2].dwRef);  // one shared label
  EXPECT_EQ(labels.entries[3].nKind, rkPoint);
  EXPECT_EQ(labels.entries[3].strText, u"Кафе");
  for (auto& e : labels.entries) {
    char16_t sz[64];
    int nFlag;
    p->GetLabel(1, e.nKind, e.wType, e.dwRef, sz, &nFlag);
    EXPECT_EQ(std::u16string(sz), e.strText);
  }
}

TEST(VelDraw, BlocksAndObjectsOutsideTheViewOrTooSmallAreSkipped) {
  std::vector<VelObject> objects;
  objects.push_back(Area(0x50, c_x0, c_y0, 200000));
  objects.push_back(Area(0x50, c_x0 + 3000000, c_y0, 200000));  // another block, far away
  objects.push_back(Area(0x13, c_x0 + 10000, c_y0 + 10000, 300));  // tiny
  auto p = OneLevel(objects);
  ASSERT_TRUE(p);
  CRecordingSink sink;
  sink.nShift = 8;  // 256 map units per pixel: the tiny area is about 1 pixel
  sink.rectView = MapRect{c_x0 - 1000, c_y0 - 1000, c_x0 + 500000, c_y0 + 500000};
  p->Draw(&sink, nullptr);
  EXPECT_EQ(sink.polygons.size(), 1u);
  sink.polygons.clear();
  sink.nScaleFactor = 0;  // treated as 1
  sink.nShift = 0;
  p->Draw(&sink, nullptr);
  EXPECT_EQ(sink.polygons.size(), 2u);  // now the small one is big enough
}

TEST(VelDraw, YieldsEvery256ItemsAndStopsWhenInterrupted) {
  std::vector<VelObject> objects;
  for (int i = 0; i < 1000; ++i)
    objects.push_back(Point(0x2A00, c_x0 + (i % 40) * 1000, c_y0 + (i / 40) * 1000, u"P"));
  auto p = OneLevel(objects);
  ASSERT_TRUE(p);
  CRecordingSink sink;
  CRecordingLabels labels;
  p->Draw(&sink, &labels);
  EXPECT_EQ(labels.entries.size(), 1000u);
  EXPECT_GE(sink.cYields, 3);
  EXPECT_LE(sink.cYields, 5);
  CRecordingSink stop;
  stop.cInterruptAfterYields = 1;
  CRecordingLabels few;
  p->Draw(&stop, &few);
  EXPECT_EQ(stop.cYields, 1);
  EXPECT_LT(few.entries.size(), 256u);
}

TEST(VelDraw, EmptySectionsTakeNoSizeBytes) {
  auto p = OneLevel({Point(0x2A00, c_x0, c_y0, u"Только точка")});
  ASSERT_TRUE(p);
  vel::VelLevel lv;
  ASSERT_TRUE(p->GetLevel(0, lv));
  const uint8_t* pBlock = p->GetData() + lv.dwFirstBlock;
  VelBlockInfo info;
  ASSERT_TRUE(p->ReadBlock(pBlock, info));
  EXPECT_EQ(vel::BlockSizeBytes(info.hdr.dwData, 0), 0u);
  EXPECT_EQ(vel::BlockSizeBytes(info.hdr.dwData, 1), 0u);
  EXPECT_EQ(info.adwSectionSize[0], 0u);
  EXPECT_EQ(info.adwSectionSize[1], 0u);
  EXPECT_GT(info.adwSectionSize[2], 0u);
  CRecordingSink sink;
  CRecordingLabels labels;
  p->Draw(&sink, &labels);
  EXPECT_EQ(labels.entries.size(), 1u);
  EXPECT_TRUE(sink.polygons.empty() && sink.polylines.empty());
}

}  // namespace

namespace {

// Records every shape with its screen points and every label with its text.
class CShapesSink : public CRecordingSink {
 public:
  // x and y of every point; lines end with a -1 that tells them from areas.
  std::vector<std::vector<int32_t>> shapes;
  void DrawPolygon(const VPoint* p, size_t c, StyleHandle h) override {
    Add(p, c);
    CRecordingSink::DrawPolygon(p, c, h);
  }
  void DrawPolyline(const VPoint* p, size_t c, StyleHandle h, StyleHandle hCore) override {
    Add(p, c);
    shapes.back().push_back(-1);
    CRecordingSink::DrawPolyline(p, c, h, hCore);
  }

 private:
  void Add(const VPoint* p, size_t c) {
    shapes.emplace_back();
    for (size_t i = 0; i < c; ++i) {
      shapes.back().push_back(p[i].x);
      shapes.back().push_back(p[i].y);
    }
  }
};

struct DrawnView {
  std::vector<std::vector<int32_t>> shapes;
  std::vector<std::u16string> labels;
  int cArrows = 0;
};

DrawnView DrawView(CVelParser& parser, int nScale, const MapRect& rect) {
  CShapesSink sink;
  CRecordingLabels labels;
  sink.nScale = nScale;
  sink.rectView = rect;
  parser.Draw(&sink, &labels);
  DrawnView v;
  v.shapes = std::move(sink.shapes);
  v.cArrows = sink.cArrows;
  for (const auto& e : labels.entries) v.labels.push_back(e.strText + u"@" + char16_t(u'0' + e.nKind));
  return v;
}

}  // namespace

TEST(VelDraw, PassesOverTheSameAndOtherViewsDrawWhatAFreshReaderDraws) {
  // Three blocks far apart, each with areas, lines (one with arrows) and
  // points with labels.
  std::vector<VelObject> objects;
  for (int b = 0; b < 3; ++b) {
    const int32_t x = c_x0 + b * 3000000;
    for (int i = 0; i < 40; ++i) {
      objects.push_back(Area(0x50, x + i * 7000, c_y0 + i * 3000, 5000 + i * 100, i % 3 == 0 ? u"Парк" : u""));
      objects.push_back(Line(0x06, x + i * 5000, c_y0 - i * 4000, 20000 + i * 500, i % 4 == 0, u"Улица " + std::u16string(1, char16_t(u'A' + i % 26))));
      objects.push_back(Point(0x2A00, x + i * 9000, c_y0 + 50000 + i * 1000, u"Кафе"));
    }
  }
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 24;
  levels[0].objects = objects;
  std::vector<uint8_t> bytes;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(VelWriterOptions(), levels, bytes, strError)) << strError;
  std::unique_ptr<CVelParser> pKept(OpenBytes(bytes));
  ASSERT_TRUE(pKept);
  const MapRect rcFirst{c_x0 - 100000, c_y0 - 200000, c_x0 + 400000, c_y0 + 200000};
  const MapRect rcSecond{c_x0 + 2900000, c_y0 - 200000, c_x0 + 6400000, c_y0 + 200000};  // two other blocks
  const MapRect rcPart{c_x0 + 30000, c_y0 - 20000, c_x0 + 90000, c_y0 + 60000};
  const struct {
    int nScale;
    MapRect rect;
  } passes[] = {{0, rcFirst}, {0, rcFirst}, {0, rcSecond}, {0, rcPart}, {5, rcFirst}, {0, c_rectWholePlane}, {0, rcFirst}};
  for (size_t i = 0; i < sizeof(passes) / sizeof(passes[0]); ++i) {
    std::unique_ptr<CVelParser> pFresh(OpenBytes(bytes));
    ASSERT_TRUE(pFresh);
    const DrawnView kept = DrawView(*pKept, passes[i].nScale, passes[i].rect);
    const DrawnView fresh = DrawView(*pFresh, passes[i].nScale, passes[i].rect);
    EXPECT_FALSE(fresh.shapes.empty()) << i;
    EXPECT_EQ(kept.shapes, fresh.shapes) << "pass " << i;
    EXPECT_EQ(kept.labels, fresh.labels) << "pass " << i;
    EXPECT_EQ(kept.cArrows, fresh.cArrows) << "pass " << i;
  }
  // A pass interrupted half-way leaves nothing behind that changes the
  // next full pass.
  CShapesSink stop;
  stop.cInterruptAfterYields = 1;
  stop.rectView = rcSecond;
  pKept->Draw(&stop, nullptr);
  EXPECT_EQ(stop.cYields, 1);
  std::unique_ptr<CVelParser> pFresh(OpenBytes(bytes));
  EXPECT_EQ(DrawView(*pKept, 0, rcSecond).shapes, DrawView(*pFresh, 0, rcSecond).shapes);
}
