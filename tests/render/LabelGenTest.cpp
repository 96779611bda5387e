// Label placement against the software canvas, and the label interpreter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "geo/Units.h"
#include "map/MapParser.h"
#include "platform/Canvas.h"
#include "platform/posix/CanvasSoft.h"
#include "render/LabelGen.h"

using namespace platform;

namespace {

// A parser whose labels are "L<text reference>", or a fixed text.
class CFakeParser : public CMapParser {
 public:
  bool Open(DWORD) override { return true; }
  void Draw(CDrawSink*, CLabelSink*) override {}
  void GetLabel(int, int, uint16_t, uint32_t dwRef, char16_t* pszOut, int* pnFlag) override {
    ++m_cFetched;
    std::u16string s = m_strFixed.empty() ? u"L" + std::u16string(1, char16_t(u'0' + dwRef % 10)) : m_strFixed;
    std::memcpy(pszOut, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    *pnFlag = m_nShield;
  }
  int m_cFetched = 0;
  int m_nShield = 0;
  std::u16string m_strFixed;
};

// The view: map units are pixels; counts yields; can be interrupted.
class CFakeView : public CDrawSink {
 public:
  int GetScaleIndex() const override { return 10; }
  MapRect GetVisibleRect() const override { return {0, 0, 640, 480}; }
  int GetScaleFactorX() const override { return 1; }
  VPoint ToScreen(int32_t x, int32_t y) const override { return {x, y}; }
  bool IsAtLeast(const MapRect& rect, int cxMin, int cyMin) const override {
    return rect.right - rect.left >= cxMin || rect.bottom - rect.top >= cyMin;
  }
  void DrawPolygon(const VPoint*, size_t, StyleHandle) override {}
  void DrawPolyline(const VPoint*, size_t, StyleHandle, StyleHandle) override {}
  void DrawDirectionArrows(const VPoint*, size_t) override {}
  void Yield() override {
    ++m_cYields;
    if (m_cYields >= m_cInterruptAt)
      m_fInterrupted = true;
  }
  bool IsInterrupted() const override { return m_fInterrupted; }
  void ShowMapMessage(uint32_t, const char16_t*, const char16_t*) override {}
  int m_cYields = 0;
  int m_cInterruptAt = 1 << 30;
  bool m_fInterrupted = false;
};

class LabelGenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pCanvas.reset(CreateSoftCanvas(320, 240));
    m_gen.SetContext(m_pCanvas.get(), &m_view);
    m_gen.Clear(320, 240);
    for (int i = 0; i < 4; ++i)
      m_rgIcons[i] = std::make_unique<CIcon>(16, 16);
    for (auto& px : m_rgIcons[0]->m_px)
      px = 0xFFFF0000u;
  }

  int CountCells(int32_t nIndex) const {
    int n = 0;
    for (int r = 0; r < m_gen.GetCellsNh(); ++r)
      for (int c = 0; c < m_gen.GetCellsNw(); ++c)
        n += m_gen.TextCell(c, r) == nIndex;
    return n;
  }

  std::unique_ptr<CCanvas> m_pCanvas;
  CFakeView m_view;
  CFakeParser m_parser;
  CLabelGen m_gen;
  CFont m_font{u"Tahoma", 12, 0, c_nFwNormal, 0};
  LabelStyle m_style{&m_font, 0x606060};
  std::unique_ptr<CIcon> m_rgIcons[4];
};

}  // namespace

TEST_F(LabelGenTest, GridFollowsTheClientSize) {
  EXPECT_EQ(m_gen.GetCellsNw(), 320 / 8 + 1);
  EXPECT_EQ(m_gen.GetCellsNh(), 240 / 4 + 1);
  m_gen.Clear(100, 10);
  EXPECT_EQ(m_gen.GetCellsNw(), 13);
  EXPECT_EQ(m_gen.GetCellsNh(), 3);
  EXPECT_EQ(m_gen.TextCell(0, 0), -1);
  EXPECT_EQ(m_gen.IconCell(12, 2), -1);
}

TEST_F(LabelGenTest, EmptyTextIsPlacedWithoutOccupyingCells) {
  EXPECT_TRUE(m_gen.TryPlaceText(m_pCanvas.get(), u"", 0, 50, 50, 0, &m_font, 0));
  EXPECT_EQ(CountCells(0), 0);
  EXPECT_TRUE(m_gen.TryPlaceText(m_pCanvas.get(), u"ABC", 3, 50, 50, 5, &m_font, 0));
  // Three characters of 6 pixels from x 50, 12 pixels from y 50: columns
  // 6..8, rows 12..15.
  EXPECT_EQ(CountCells(0), 3 * 4);
  EXPECT_EQ(m_gen.TextCell(6, 12), 0);
  EXPECT_EQ(m_gen.TextCell(8, 15), 0);
  EXPECT_EQ(m_gen.TextCell(9, 12), -1);
}

TEST_F(LabelGenTest, AlignmentMovesTheBox) {
  m_gen.TryPlaceText(m_pCanvas.get(), u"ABCD", 4, 100, 100, 1, &m_font, c_fAlignCentreX | c_fAlignBottom);
  // 24 × 12: x 88..112, y 88..100.
  EXPECT_EQ(m_gen.TextCell(11, 22), 0);
  EXPECT_EQ(m_gen.TextCell(14, 25), 0);
  EXPECT_EQ(m_gen.TextCell(10, 22), -1);
  EXPECT_EQ(m_gen.TextCell(11, 21), -1);
  // Partly off the top-left corner: only the visible cells are taken.
  m_gen.Clear(320, 240);
  EXPECT_TRUE(m_gen.TryPlaceText(m_pCanvas.get(), u"ABCD", 4, -10, -5, 1, &m_font, 0));
  EXPECT_EQ(m_gen.TextCell(0, 0), 0);
  EXPECT_EQ(m_gen.TextCell(m_gen.GetCellsNw() - 1, m_gen.GetCellsNh() - 1), -1);
  // Off the right edge: the last column is clamped.
  EXPECT_TRUE(m_gen.TryPlaceText(m_pCanvas.get(), u"ABCDEFGH", 8, 300, 230, 1, &m_font, 0));
  EXPECT_EQ(m_gen.TextCell(m_gen.GetCellsNw() - 1, m_gen.GetCellsNh() - 1), 0);
}

TEST_F(LabelGenTest, SmallerPriorityKeepsTheIconSpot) {
  // The earlier label has the larger value: it loses its icon and text.
  m_gen.AddPointLabel(&m_parser, 1, u"first", 5, 11, 40, 40, 9, &m_style, m_rgIcons[0].get());
  m_gen.AddPointLabel(&m_parser, 1, u"second", 6, 12, 41, 41, 3, &m_style, m_rgIcons[1].get());
  ASSERT_EQ(m_gen.Records().size(), 2u);
  EXPECT_FALSE(m_gen.Records()[0].fVisible);
  EXPECT_TRUE(m_gen.Records()[1].fVisible);
  EXPECT_EQ(m_gen.IconCell(5, 10), 1);
  // A later one with a larger value is dropped entirely.
  m_gen.AddPointLabel(&m_parser, 1, u"third", 5, 13, 42, 42, 7, &m_style, m_rgIcons[2].get());
  EXPECT_EQ(m_gen.Records().size(), 2u);
  // Equal priority: the earlier one stays.
  m_gen.AddPointLabel(&m_parser, 1, u"fourth", 6, 14, 43, 41, 3, &m_style, m_rgIcons[3].get());
  EXPECT_EQ(m_gen.Records().size(), 2u);
}

TEST_F(LabelGenTest, MoreImportantTextTakesTheCellsButTheIconStays) {
  m_gen.AddPointLabel(&m_parser, 1, u"Background", 10, 21, 40, 40, 9, &m_style, m_rgIcons[0].get());
  ASSERT_EQ(m_gen.Records()[0].dwTextRef, 21u);
  // Another icon cell, but the text boxes overlap.
  m_gen.AddPointLabel(&m_parser, 1, u"Important", 9, 22, 56, 44, 2, &m_style, m_rgIcons[1].get());
  ASSERT_EQ(m_gen.Records().size(), 2u);
  EXPECT_EQ(m_gen.Records()[0].dwTextRef, c_dwNoText);
  EXPECT_TRUE(m_gen.Records()[0].fVisible);
  EXPECT_EQ(m_gen.Records()[0].pIcon, m_rgIcons[0].get());
  EXPECT_EQ(m_gen.Records()[1].dwTextRef, 22u);
  // A less important text that collides is not placed; the icon still is.
  m_gen.AddPointLabel(&m_parser, 1, u"Minor", 5, 23, 60, 52, 5, &m_style, m_rgIcons[2].get());
  ASSERT_EQ(m_gen.Records().size(), 3u);
  EXPECT_EQ(m_gen.Records()[2].dwTextRef, c_dwNoText);
  EXPECT_TRUE(m_gen.Records()[2].fVisible);
}

TEST_F(LabelGenTest, PointsOutsideTheClientAreaOrWithoutContentAreIgnored) {
  m_gen.AddPointLabel(&m_parser, 1, u"x", 1, 1, -1, 10, 1, &m_style, m_rgIcons[0].get());
  m_gen.AddPointLabel(&m_parser, 1, u"x", 1, 1, 320, 10, 1, &m_style, m_rgIcons[0].get());
  m_gen.AddPointLabel(&m_parser, 1, u"x", 1, 1, 10, 240, 1, &m_style, m_rgIcons[0].get());
  m_gen.AddPointLabel(&m_parser, 1, u"", 0, 1, 10, 10, 1, &m_style, nullptr);
  EXPECT_TRUE(m_gen.Records().empty());
  m_gen.AddPointLabel(&m_parser, 1, u"", 0, 1, 10, 10, 1, &m_style, m_rgIcons[0].get());
  ASSERT_EQ(m_gen.Records().size(), 1u);
  EXPECT_EQ(m_gen.Records()[0].dwTextRef, c_dwNoText);
}

TEST_F(LabelGenTest, LineLabelsSitOnTheLongestSegment) {
  const VPoint rgLine[] = {{10, 100}, {30, 100}, {130, 100}, {150, 100}};
  EXPECT_EQ(FindLongestSegment(rgLine, 4), 1);
  const VPoint rgEqual[] = {{0, 0}, {10, 0}, {20, 0}};
  EXPECT_EQ(FindLongestSegment(rgEqual, 3), 0);  // the first of equal ones
  EXPECT_EQ(FindLongestSegment(rgEqual, 1), -1);
  LineLabelStyle style = {lfSmall, 0x2478B6, false};
  MapRect rect = {10, 100, 150, 100};
  m_gen.AddLineLabel(&m_parser, 0x20, false, u"Road", 4, 7, rgLine, 4, rect, &style);
  ASSERT_EQ(m_gen.Records().size(), 1u);
  const LabelRecord& rec = m_gen.Records()[0];
  EXPECT_EQ(rec.nKind, lkLine);
  EXPECT_EQ(rec.wPriority, c_wLowestPriority);
  // Measured with the small font at angle 0 (14 pixels: 6 × 14 / 13 ≈ 6 per
  // character): centred on x 80, the text's bottom on the line.
  VRect rc = {0, 0, 0, 0};
  m_pCanvas->SelectFont(GetLabelFont(lfSmall, 0));
  m_pCanvas->DrawTextIn(u"Road", 4, rc, dtCalcRect | dtSingleLine);
  EXPECT_EQ(rec.x, 80 - rc.right / 2);
  EXPECT_EQ(rec.y, 100 - rc.bottom);
  EXPECT_EQ(rec.pFont->m_nEscapement, 0);
  // Line labels neither test nor occupy the grid.
  EXPECT_EQ(CountCells(0), 0);
  // The flag brings the text closer: 0.6 of its height.
  LineLabelStyle flagged = {lfSmall, 0, true};
  m_gen.AddLineLabel(&m_parser, 0x3D, false, u"Road", 4, 8, rgLine, 4, rect, &flagged);
  ASSERT_EQ(m_gen.Records().size(), 2u);
  EXPECT_EQ(m_gen.Records()[1].y, 100 + int(std::floor(-rc.bottom * 0.6f + 0.5f)));
  FreeDrawTypes();
}

TEST_F(LabelGenTest, RotatedAndHorizontalLineLabels) {
  EXPECT_EQ(LabelAngleOfSegment(10, -10), 45);   // rising to the right
  EXPECT_EQ(LabelAngleOfSegment(-10, 10), 45);   // the same line drawn backwards
  EXPECT_EQ(LabelAngleOfSegment(10, 10), -45);
  EXPECT_EQ(LabelAngleOfSegment(0, 10), 90);
  EXPECT_EQ(LabelAngleOfSegment(0, -10), 90);
  EXPECT_EQ(LabelAngleOfSegment(10, 0), 0);
  const VPoint rgLine[] = {{0, 0}, {100, -100}};
  LineLabelStyle style = {lfMedium, 0, false};
  MapRect rect = {0, -100, 100, 0};
  m_gen.AddLineLabel(&m_parser, 1, false, u"Diagonal", 8, 1, rgLine, 2, rect, &style);
  ASSERT_EQ(m_gen.Records().size(), 1u);
  EXPECT_EQ(m_gen.Records()[0].pFont->m_nEscapement, 450);
  EXPECT_EQ(m_gen.Records()[0].pFont, GetLabelFont(lfMedium, 45));
  // Horizontal: centred on the midpoint both ways.
  m_gen.AddLineLabel(&m_parser, 1, true, u"Flat", 4, 1, rgLine, 2, rect, &style);
  ASSERT_EQ(m_gen.Records().size(), 2u);
  EXPECT_EQ(m_gen.Records()[1].pFont->m_nEscapement, 0);
  EXPECT_EQ(m_gen.Records()[1].x, 50 - 12);
  EXPECT_EQ(m_gen.Records()[1].y, -50 - 6);
  FreeDrawTypes();
}

TEST_F(LabelGenTest, LinesAndAreasSmallerThanTheirTextGetNoLabel) {
  const VPoint rgLine[] = {{10, 10}, {30, 10}};
  LineLabelStyle style = {lfSmall, 0, false};
  m_gen.AddLineLabel(&m_parser, 1, false, u"A long street name", 18, 1, rgLine, 2, MapRect{10, 10, 30, 10}, &style);
  const VPoint rgArea[] = {{10, 10}, {30, 10}, {30, 20}, {10, 20}};
  m_gen.AddAreaLabel(&m_parser, 1, u"A wide lake", 11, 2, rgArea, 4, MapRect{10, 10, 30, 20}, &m_style);
  m_gen.AddLineLabel(&m_parser, 1, false, u"", 0, 1, rgLine, 2, MapRect{0, 0, 1000, 1000}, &style);
  EXPECT_TRUE(m_gen.Records().empty());
  FreeDrawTypes();
}

TEST_F(LabelGenTest, AreaLabelsAreCentredOnTheAverageOfThePoints) {
  const VPoint rgArea[] = {{100, 100}, {200, 100}, {200, 150}, {100, 151}};
  m_gen.AddAreaLabel(&m_parser, 1, u"Lake", 4, 2, rgArea, 4, MapRect{100, 100, 200, 151}, &m_style);
  ASSERT_EQ(m_gen.Records().size(), 1u);
  EXPECT_EQ(m_gen.Records()[0].x, 150);
  EXPECT_EQ(m_gen.Records()[0].y, 125);  // 501 / 4
  EXPECT_EQ(m_gen.Records()[0].dwFormat, uint32_t(dtCenter));
  EXPECT_EQ(m_gen.TextCell(138 / 8, 125 / 4), 0);  // centred horizontally: from x 138
  // A second area label on the same spot does not fit (equal priority).
  m_gen.AddAreaLabel(&m_parser, 1, u"Lake", 4, 3, rgArea, 4, MapRect{100, 100, 200, 151}, &m_style);
  EXPECT_EQ(m_gen.Records().size(), 1u);
}

TEST_F(LabelGenTest, DrawLabelsFetchesSurvivorsAndDrawsIconsOnTop) {
  m_gen.AddPointLabel(&m_parser, 1, u"P", 1, 1, 100, 100, 1, &m_style, m_rgIcons[0].get());
  m_gen.AddPointLabel(&m_parser, 1, u"Q", 1, 2, 200, 100, 1, &m_style, nullptr);
  m_gen.AddPointLabel(&m_parser, 1, u"P", 1, 3, 101, 101, 5, &m_style, nullptr);  // text loses
  m_gen.DrawLabels(&m_view, m_pCanvas.get());
  EXPECT_EQ(m_parser.m_cFetched, 2);
  EXPECT_EQ(m_gen.GetIconsDrawn(), 1);
  // The icon (red) is centred on the point: 16 × 16 from (93, 93).
  EXPECT_EQ(m_pCanvas->GetPixel(100, 100), 0x0000FFu);
  EXPECT_EQ(m_pCanvas->GetPixel(93, 93), 0x0000FFu);
  EXPECT_EQ(m_pCanvas->GetPixel(92, 100), 0xFFFFFFu);
  // The text in its grey right of and below the point.
  int cGrey = 0;
  for (int y = 100; y < 120; ++y)
    for (int x = 200; x < 220; ++x)
      cGrey += m_pCanvas->GetPixel(x, y) == 0x606060u;
  EXPECT_GT(cGrey, 5);
}

TEST_F(LabelGenTest, ShieldLabelsGetABoxAndBlackText) {
  m_parser.m_nShield = 2;
  m_parser.m_strFixed = u"M10";
  m_gen.AddPointLabel(&m_parser, 1, u"M10", 3, 1, 100, 100, 1, &m_style, nullptr);
  m_gen.DrawLabels(&m_view, m_pCanvas.get());
  EXPECT_EQ(m_pCanvas->GetPixel(98, 105), 0x000000u);  // the box's left edge at x − 2
  EXPECT_EQ(m_pCanvas->GetPixel(99, 101), 0xFFFFFFu);
  int cGrey = 0, cBlack = 0;
  for (int y = 100; y < 115; ++y)
    for (int x = 100; x < 125; ++x) {
      cGrey += m_pCanvas->GetPixel(x, y) == 0x606060u;
      cBlack += m_pCanvas->GetPixel(x, y) == 0x000000u;
    }
  EXPECT_EQ(cGrey, 0);
  EXPECT_GT(cBlack, 10);
}

TEST_F(LabelGenTest, DrawingYieldsEvery256RecordsAndStopsWhenInterrupted) {
  m_gen.Clear(4000, 4000);
  for (int i = 0; i < 600; ++i)
    m_gen.AddPointLabel(&m_parser, 1, u"x", 1, 1, (i % 60) * 60, (i / 60) * 60, 1, &m_style, nullptr);
  ASSERT_EQ(m_gen.Records().size(), 600u);
  m_gen.DrawLabels(&m_view, m_pCanvas.get());
  EXPECT_EQ(m_view.m_cYields, 4);  // two per pass over 600 records
  EXPECT_EQ(m_parser.m_cFetched, 600);
  m_view.m_cYields = 0;
  m_view.m_cInterruptAt = 1;
  m_parser.m_cFetched = 0;
  m_gen.DrawLabels(&m_view, m_pCanvas.get());
  EXPECT_EQ(m_parser.m_cFetched, 255);
}

TEST_F(LabelGenTest, WaypointLabelsKeepTheirText) {
  m_gen.AddWaypointLabel(50, 50, u"Home", 4);
  m_gen.AddWaypointLabel(52, 51, u"Work", 4);  // collides with an equal priority
  ASSERT_EQ(m_gen.Records().size(), 1u);
  EXPECT_EQ(m_gen.Records()[0].nKind, lkWaypoint);
  EXPECT_EQ(m_gen.Records()[0].strText, u"Home");
  m_gen.DrawLabels(&m_view, m_pCanvas.get());  // kind 3 is not drawn here
  EXPECT_EQ(m_parser.m_cFetched, 0);
  int cInk = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x)
      cInk += m_pCanvas->GetPixel(x, y) != 0xFFFFFFu;
  EXPECT_EQ(cInk, 0);
  m_gen.DrawWaypointLabels(&m_view, m_pCanvas.get(), 320);
  for (int y = 52; y < 70; ++y)
    for (int x = 53; x < 90; ++x)
      cInk += m_pCanvas->GetPixel(x, y) != 0xFFFFFFu;
  EXPECT_GT(cInk, 10);
}

// The map page's way with line labels: they take the cells their box
// covers and are placed only where no other text or icon is.
TEST_F(LabelGenTest, PlacedLineLabelsKeepClearOfEachOtherAndOfPointTexts) {
  m_gen.SetLinePlacement(true);
  LineLabelStyle style = {lfSmall, 0x2478B6, false};
  const VPoint rgStreet[] = {{40, 100}, {240, 100}};
  const MapRect rect = {40, 100, 240, 100};
  m_gen.AddLineLabel(&m_parser, 1, false, u"Main Street", 11, 1, rgStreet, 2, rect, &style);
  ASSERT_EQ(m_gen.Records().size(), 1u);
  const LabelRecord first = m_gen.Records()[0];
  EXPECT_GT(CountCells(0), 0);
  EXPECT_EQ(first.nAngle, 0);
  EXPECT_GT(first.cxText, 30);
  // A crossing street whose name would cover the first one gets no label ...
  const VPoint rgCrossing[] = {{140, 20}, {140, 180}};
  m_gen.AddLineLabel(&m_parser, 1, false, u"Cross Street", 12, 2, rgCrossing, 2, MapRect{140, 20, 140, 180}, &style);
  EXPECT_EQ(m_gen.Records().size(), 1u);
  // ... a parallel one far enough away does.
  const VPoint rgParallel[] = {{40, 160}, {240, 160}};
  m_gen.AddLineLabel(&m_parser, 1, false, u"Side Street", 11, 3, rgParallel, 2, MapRect{40, 160, 240, 160}, &style);
  ASSERT_EQ(m_gen.Records().size(), 2u);
  EXPECT_FALSE(QuadsOverlap(LineLabelQuad(first.x, first.y, first.cxText, first.cyText, first.nAngle),
                            LineLabelQuad(m_gen.Records()[1].x, m_gen.Records()[1].y, m_gen.Records()[1].cxText,
                                          m_gen.Records()[1].cyText, m_gen.Records()[1].nAngle),
                            0.0f));
  // A point text placed later takes the cells whatever its priority, and
  // the street's name is dropped.
  m_gen.AddPointLabel(&m_parser, 1, u"Cafe", 4, 9, first.x + 4, first.y, c_wLowestPriority, &m_style, nullptr);
  ASSERT_EQ(m_gen.Records().size(), 3u);
  EXPECT_NE(m_gen.Records()[2].dwTextRef, c_dwNoText);
  EXPECT_EQ(m_gen.Records()[0].dwTextRef, c_dwNoText);
  // A street over an existing point text or icon gets no label.
  m_gen.Clear(320, 240);
  m_gen.AddPointLabel(&m_parser, 1, nullptr, 0, 0, 140, 95, 1, &m_style, m_rgIcons[0].get());
  m_gen.AddLineLabel(&m_parser, 1, false, u"Main Street", 11, 1, rgStreet, 2, rect, &style);
  EXPECT_EQ(m_gen.Records().size(), 1u);
  FreeDrawTypes();
}

TEST_F(LabelGenTest, PlacedLineLabelsLieWhollyOnScreenAndTurnedBoxesCoverOnlyTheirCells) {
  m_gen.SetLinePlacement(true);
  LineLabelStyle style = {lfMedium, 0, false};
  // Off the top edge: no label (without placement it would be added).
  const VPoint rgHigh[] = {{0, 0}, {100, -100}};
  m_gen.AddLineLabel(&m_parser, 1, false, u"Diagonal", 8, 1, rgHigh, 2, MapRect{0, -100, 100, 0}, &style);
  EXPECT_TRUE(m_gen.Records().empty());
  // A diagonal inside: its box is turned by 45° and covers fewer cells than
  // its bounding rectangle holds.
  const VPoint rgDiagonal[] = {{60, 200}, {260, 0}};
  m_gen.AddLineLabel(&m_parser, 1, false, u"Diagonal Avenue", 15, 1, rgDiagonal, 2, MapRect{60, 0, 260, 200}, &style);
  ASSERT_EQ(m_gen.Records().size(), 1u);
  const LabelRecord& rec = m_gen.Records()[0];
  EXPECT_EQ(rec.nAngle, 45);
  const LabelQuad q = LineLabelQuad(rec.x, rec.y, rec.cxText, rec.cyText, rec.nAngle);
  float xMin = 1e9f, xMax = -1e9f, yMin = 1e9f, yMax = -1e9f;
  for (int i = 0; i < 4; ++i) {
    xMin = std::min(xMin, q.ax[i]), xMax = std::max(xMax, q.ax[i]);
    yMin = std::min(yMin, q.ay[i]), yMax = std::max(yMax, q.ay[i]);
  }
  // The text runs up to the right from (x, y).
  EXPECT_GT(q.ax[1], q.ax[0]);
  EXPECT_LT(q.ay[1], q.ay[0]);
  const int cBounding = (int(xMax) / 8 - int(xMin) / 8 + 1) * (int(yMax) / 4 - int(yMin) / 4 + 1);
  EXPECT_GT(CountCells(0), 0);
  EXPECT_LT(CountCells(0), cBounding * 2 / 3);
  // Every cell the box covers is taken, and none far from it.
  for (int r = 0; r < m_gen.GetCellsNh(); ++r) {
    for (int c = 0; c < m_gen.GetCellsNw(); ++c) {
      LabelQuad cell = {{float(c * 8), float(c * 8 + 8), float(c * 8 + 8), float(c * 8)},
                        {float(r * 4), float(r * 4), float(r * 4 + 4), float(r * 4 + 4)}};
      EXPECT_EQ(m_gen.TextCell(c, r) == 0, QuadsOverlap(q, cell, 0.0f)) << c << "," << r;
    }
  }
  FreeDrawTypes();
}

TEST(LabelQuads, OverlapBySeparatingAxes) {
  const LabelQuad a = LineLabelQuad(0, 0, 100, 10, 0);
  EXPECT_TRUE(QuadsOverlap(a, LineLabelQuad(50, 5, 100, 10, 0), 0.0f));
  EXPECT_FALSE(QuadsOverlap(a, LineLabelQuad(0, 10, 100, 10, 0), 0.0f));  // touching edges
  EXPECT_FALSE(QuadsOverlap(a, LineLabelQuad(0, 9, 100, 10, 0), 1.5f));   // within the tolerance
  // A turned box whose bounding rectangle overlaps but which itself does not.
  const LabelQuad turned = LineLabelQuad(0, 60, 100, 10, 45);
  EXPECT_FALSE(QuadsOverlap(LineLabelQuad(0, 0, 30, 10, 0), turned, 0.0f));
  EXPECT_TRUE(QuadsOverlap(LineLabelQuad(30, 20, 30, 10, 0), turned, 0.0f));
}

TEST(InterpretLabel, ControlCodes) {
  char16_t sz[c_cchLabelOut];
  int nShield = -1;
  EXPECT_EQ(InterpretLabel(rkPolyline, 0x01, true, u"\x02M10", 4, sz, &nShield, true), 3u);
  EXPECT_EQ(std::u16string(sz), u"M10");
  EXPECT_EQ(nShield, 2);
  // 0x1B: the short form drops what came before; the full form keeps it.
  InterpretLabel(rkPolyline, 0x01, true, u"ул.\x1BЛенина", 10, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"Ленина");
  EXPECT_EQ(nShield, 0);
  InterpretLabel(rkPolyline, 0x01, true, u"ул.\x1BЛенина", 10, sz, &nShield, true);
  EXPECT_EQ(std::u16string(sz), u"ул.Ленина");
  // 0x1C ends the short form.
  InterpretLabel(rkPolyline, 0x01, true, u"Main\x1CStreet", 11, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"Main");
  // 0x1E: a space in the full form, a fresh start in the short form; other
  // kinds ignore it.
  InterpretLabel(rkPolyline, 0x01, true, u"Main\x1EStreet", 11, sz, &nShield, true);
  EXPECT_EQ(std::u16string(sz), u"Main Street");
  InterpretLabel(rkPolyline, 0x01, true, u"Main\x1EStreet", 11, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"Street");
  InterpretLabel(rkPoint, 0x2A00, true, u"Main\x1EStreet", 11, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"MainStreet");
  // 0x1F by kind.
  InterpretLabel(rkPolyline, 0x01, true, u"A\x1F" u"B", 3, sz, &nShield, true);
  EXPECT_EQ(std::u16string(sz), u"A B");
  InterpretLabel(rkPolyline, 0x01, true, u"A\x1F" u"B", 3, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"A");
  InterpretLabel(rkPolygon, 0x01, true, u"A\x1F" u"B", 3, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"AB");
  InterpretLabel(lkWaypoint, 0, true, u"A\x1F" u"B", 3, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"A\u00A9B");
  InterpretLabel(rkPoint, 0x2A00, true, u"A\x1F" u"B", 3, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"A");
  // 0x1D is ignored; 0 ends the text.
  InterpretLabel(rkPoint, 0x2A00, true, u"A\x1D" u"B\0C", 5, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"AB");
  // At most 63 characters.
  std::u16string strLong(100, u'x');
  EXPECT_EQ(InterpretLabel(rkPoint, 0x2A00, true, strLong.data(), strLong.size(), sz, &nShield, false), 63u);
  EXPECT_EQ(sz[63], 0);
}

TEST(InterpretLabel, ElevationAndDepthInTheUsersUnit) {
  UnitOptions saved = g_UnitOptions;
  UnitOptions metric = g_UnitOptions;
  metric.dwElevationUnit = unMeters;
  SetUnitOptions(metric);
  char16_t sz[c_cchLabelOut], szValue[32], szUnit[32];
  int nShield = 0;
  FormatElevation(1000, unFeet, true, szValue, 32, szUnit, 32);
  const std::u16string strExpected = std::u16string(szValue) + u" " + szUnit;
  // A map in feet, a metric user.
  InterpretLabel(rkPoint, 0x6300, false, u"1000", 4, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), strExpected);
  EXPECT_EQ(std::u16string(szValue), u"305");
  InterpretLabel(rkPolyline, 0x21, false, u"1000", 4, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), strExpected);
  InterpretLabel(rkPoint, 0x6200, false, u"1000", 4, sz, &nShield, false);  // depth
  EXPECT_EQ(std::u16string(sz), strExpected);
  // Not a number: empty.
  EXPECT_EQ(InterpretLabel(rkPoint, 0x6300, false, u"peak", 4, sz, &nShield, false), 0u);
  // Same units: copied as it stands.
  InterpretLabel(rkPoint, 0x6300, true, u"1000", 4, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"1000");
  // A summit: its name, then the height converted.
  InterpretLabel(rkPoint, 0x6616, false, u"Elbrus\x1F" u"1000", 11, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"Elbrus " + strExpected);
  InterpretLabel(rkPoint, 0x6616, true, u"Elbrus\x1F" u"1000", 11, sz, &nShield, false);
  EXPECT_EQ(std::u16string(sz), u"Elbrus 1000");
  SetUnitOptions(saved);
}

namespace {

// Notes the font of every text drawn and how often the font changed.
class CFontLogCanvas : public CSoftCanvas {
 public:
  CFontLogCanvas() : CSoftCanvas(320, 240) {}
  const CFont* SelectFont(const CFont* p) override {
    if (p != m_pFont)
      ++m_cChanges;
    m_pFont = p;
    return CSoftCanvas::SelectFont(p);
  }
  void TextOutAt(int x, int y, const char16_t* p, int c) override {
    m_texts.push_back({std::u16string(p, size_t(c)), m_pFont});
    CSoftCanvas::TextOutAt(x, y, p, c);
  }
  const CFont* m_pFont = nullptr;
  int m_cChanges = 0;
  std::vector<std::pair<std::u16string, const CFont*>> m_texts;
};

}  // namespace

TEST_F(LabelGenTest, TextsAreDrawnFontByFontInTheOrderOfEachFontsFirstLabel) {
  CFont fontBig(u"Tahoma", 16, 0, c_nFwBold, 0);
  LabelStyle styleBig{&fontBig, 0x000080};
  // Labels alternate between two fonts; "L5" is dropped by a later label
  // of a smaller priority value and must not be drawn.
  m_gen.AddPointLabel(&m_parser, 1, u"L1", 2, 1, 10, 10, 5, &m_style, nullptr);
  m_gen.AddPointLabel(&m_parser, 1, u"L2", 2, 2, 10, 60, 5, &styleBig, nullptr);
  m_gen.AddPointLabel(&m_parser, 1, u"L3", 2, 3, 10, 110, 5, &m_style, nullptr);
  m_gen.AddPointLabel(&m_parser, 1, u"L4", 2, 4, 10, 160, 5, &styleBig, nullptr);
  m_gen.AddPointLabel(&m_parser, 1, u"L5", 2, 5, 150, 10, 5, &m_style, nullptr);
  m_gen.AddPointLabel(&m_parser, 1, u"L6", 2, 6, 152, 11, 1, &styleBig, nullptr);
  CFontLogCanvas canvas;
  m_gen.DrawLabels(&m_view, &canvas);
  const std::vector<std::pair<std::u16string, const CFont*>> expected = {
      {u"L1", &m_font}, {u"L3", &m_font}, {u"L2", &fontBig}, {u"L4", &fontBig}, {u"L6", &fontBig}};
  EXPECT_EQ(canvas.m_texts, expected);
  EXPECT_EQ(canvas.m_cChanges, 2);
}
