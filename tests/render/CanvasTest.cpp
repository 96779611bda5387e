// Pixel tests of the canvas. They run on the build's own memory canvas: the
// software raster natively, real GDI in the Windows test program.
#include <gtest/gtest.h>

#include <memory>

#include "platform/Canvas.h"

using namespace platform;

namespace {

const COLORREF c_crWhite = 0xFFFFFF;
const COLORREF c_crBlack = 0x000000;
const COLORREF c_crRed = 0x0000FF;
const COLORREF c_crBlue = 0xFF0000;

std::unique_ptr<CCanvas> NewCanvas(int cx = 64, int cy = 64) {
  return std::unique_ptr<CCanvas>(CreateMemoryCanvas(cx, cy));
}

int CountColour(CCanvas* p, COLORREF cr, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
  if (x1 < 0) x1 = p->Width();
  if (y1 < 0) y1 = p->Height();
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      n += p->GetPixel(x, y) == cr;
  return n;
}

int CountNotWhite(CCanvas* p, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      n += p->GetPixel(x, y) != c_crWhite;
  return n;
}

}  // namespace

TEST(Canvas, StartsWhiteAndFillsBoxes) {
  auto p = NewCanvas();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(CountColour(p.get(), c_crWhite), 64 * 64);
  CBrush brush(bkSolid, c_crRed);
  p->FillRect({10, 20, 30, 25}, &brush);
  EXPECT_EQ(CountColour(p.get(), c_crRed), 20 * 5);
  EXPECT_EQ(p->GetPixel(10, 20), c_crRed);
  EXPECT_EQ(p->GetPixel(29, 24), c_crRed);
  EXPECT_EQ(p->GetPixel(30, 24), c_crWhite);
  EXPECT_EQ(p->GetPixel(9, 20), c_crWhite);
  // A null brush fills nothing; out-of-range reads give 0.
  p->FillRect({0, 0, 64, 64}, GetNullBrush());
  EXPECT_EQ(CountColour(p.get(), c_crRed), 100);
  EXPECT_EQ(p->GetPixel(-1, 0), 0u);
  EXPECT_EQ(p->GetPixel(64, 0), 0u);
}

TEST(Canvas, PolygonFillsInsideWithNullPen) {
  auto p = NewCanvas();
  CBrush brush(bkSolid, c_crBlue);
  p->SelectPen(GetNullPen());
  p->SelectBrush(&brush);
  VPoint tri[3] = {{10, 10}, {50, 10}, {10, 50}};
  p->Polygon(tri, 3);
  EXPECT_EQ(p->GetPixel(15, 15), c_crBlue);
  EXPECT_EQ(p->GetPixel(45, 12), c_crBlue);
  EXPECT_EQ(p->GetPixel(45, 45), c_crWhite);
  EXPECT_EQ(p->GetPixel(5, 5), c_crWhite);
  // About half of the 40 × 40 box.
  int n = CountColour(p.get(), c_crBlue);
  EXPECT_GT(n, 700);
  EXPECT_LT(n, 900);
}

TEST(Canvas, PolygonOutlineUsesPen) {
  auto p = NewCanvas();
  CPen pen(psSolid, 1, c_crRed);
  p->SelectPen(&pen);
  p->SelectBrush(GetNullBrush());
  VPoint box[4] = {{10, 10}, {40, 10}, {40, 40}, {10, 40}};
  p->Polygon(box, 4);
  EXPECT_EQ(p->GetPixel(25, 10), c_crRed);
  EXPECT_EQ(p->GetPixel(40, 25), c_crRed);
  EXPECT_EQ(p->GetPixel(25, 40), c_crRed);
  EXPECT_EQ(p->GetPixel(10, 25), c_crRed);
  EXPECT_EQ(p->GetPixel(25, 25), c_crWhite);  // null brush: the inside stays
}

TEST(Canvas, ThinPolylineLeavesOutLastPoint) {
  auto p = NewCanvas();
  CPen pen(psSolid, 1, c_crBlack);
  p->SelectPen(&pen);
  VPoint line[2] = {{5, 20}, {25, 20}};
  p->Polyline(line, 2);
  EXPECT_EQ(p->GetPixel(5, 20), c_crBlack);
  EXPECT_EQ(p->GetPixel(24, 20), c_crBlack);
  EXPECT_EQ(p->GetPixel(25, 20), c_crWhite);
  EXPECT_EQ(CountColour(p.get(), c_crBlack), 20);
  EXPECT_EQ(p->GetPixel(15, 19), c_crWhite);
}

TEST(Canvas, DottedPenLeavesGaps) {
  auto p = NewCanvas();
  CPen pen(psDot, 1, c_crBlack);
  p->SelectPen(&pen);
  p->SetBkMode(bmTransparent);
  VPoint line[2] = {{0, 30}, {60, 30}};
  p->Polyline(line, 2);
  int n = CountColour(p.get(), c_crBlack, 0, 30, 64, 31);
  EXPECT_GT(n, 10);
  EXPECT_LT(n, 50);
}

TEST(Canvas, WidePenCoversItsWidth) {
  auto p = NewCanvas();
  CPen pen(psSolid, 6, c_crRed);
  p->SelectPen(&pen);
  VPoint line[3] = {{10, 32}, {50, 32}, {50, 10}};
  p->Polyline(line, 3);
  EXPECT_EQ(p->GetPixel(30, 30), c_crRed);
  EXPECT_EQ(p->GetPixel(30, 34), c_crRed);
  EXPECT_EQ(p->GetPixel(30, 39), c_crWhite);
  EXPECT_EQ(p->GetPixel(30, 25), c_crWhite);
  EXPECT_EQ(p->GetPixel(52, 20), c_crRed);  // the second segment
  EXPECT_EQ(p->GetPixel(50, 32), c_crRed);  // the joint
}

TEST(Canvas, PatternBrushFollowsBrushOrigin) {
  COLORREF rgPattern[c_cPatternSide * c_cPatternSide];
  for (int y = 0; y < c_cPatternSide; ++y)
    for (int x = 0; x < c_cPatternSide; ++x)
      rgPattern[y * c_cPatternSide + x] = (x == 0 && y == 0) ? c_crRed : c_crWhite;
  CBrush brush(rgPattern);
  auto p = NewCanvas();
  p->SetBrushOrigin(3, 5);
  p->FillRect({0, 0, 64, 64}, &brush);
  EXPECT_EQ(p->GetPixel(3, 5), c_crRed);
  EXPECT_EQ(p->GetPixel(19, 21), c_crRed);
  EXPECT_EQ(p->GetPixel(35, 5), c_crRed);
  EXPECT_EQ(p->GetPixel(4, 5), c_crWhite);
  EXPECT_EQ(CountColour(p.get(), c_crRed), 16);
}

TEST(Canvas, RectangleAndEllipseFillAndOutline) {
  auto p = NewCanvas();
  CPen pen(psSolid, 1, c_crBlack);
  CBrush brush(bkSolid, c_crBlue);
  p->SelectPen(&pen);
  p->SelectBrush(&brush);
  p->Rectangle(4, 4, 20, 20);
  EXPECT_EQ(p->GetPixel(4, 4), c_crBlack);
  EXPECT_EQ(p->GetPixel(19, 12), c_crBlack);
  EXPECT_EQ(p->GetPixel(12, 19), c_crBlack);
  EXPECT_EQ(p->GetPixel(12, 12), c_crBlue);
  EXPECT_EQ(p->GetPixel(20, 12), c_crWhite);
  p->Ellipse(30, 30, 60, 60);
  EXPECT_EQ(p->GetPixel(45, 45), c_crBlue);
  EXPECT_EQ(p->GetPixel(31, 31), c_crWhite);  // the box's corner is outside
  EXPECT_NE(CountColour(p.get(), c_crBlack, 30, 30, 60, 60), 0);
}

TEST(Canvas, TextInkStaysInItsExtent) {
  auto p = NewCanvas(200, 60);
  CFont font(u"Tahoma", 16, 0, c_nFwNormal, 0);
  p->SelectFont(&font);
  p->SetTextColor(c_crBlack);
  p->SetBkMode(bmTransparent);
  const char16_t szText[] = u"Москва A1";
  VSize size = p->GetTextExtent(szText, 9);
  EXPECT_GT(size.cx, 30);
  EXPECT_GE(size.cy, 12);
  EXPECT_LE(size.cy, 24);
  VSize sizeShort = p->GetTextExtent(szText, 3);
  EXPECT_LT(sizeShort.cx, size.cx);
  p->TextOutAt(20, 20, szText, 9);
  int cInside = CountNotWhite(p.get(), 20, 20, 20 + size.cx, 20 + size.cy);
  int cAll = CountNotWhite(p.get(), 0, 0, 200, 60);
  EXPECT_GT(cInside, 20);
  EXPECT_EQ(cInside, cAll);
}

TEST(Canvas, OpaqueTextFillsBackground) {
  auto p = NewCanvas(100, 40);
  CFont font(u"Tahoma", 14, 0, c_nFwNormal, 0);
  p->SelectFont(&font);
  p->SetBkMode(bmOpaque);
  p->SetBkColor(c_crRed);
  p->SetTextColor(c_crBlack);
  p->TextOutAt(5, 5, u"ab", 2);
  VSize size = p->GetTextExtent(u"ab", 2);
  EXPECT_GT(CountColour(p.get(), c_crRed, 5, 5, 5 + size.cx, 5 + size.cy), size.cx * size.cy / 3);
  EXPECT_EQ(CountColour(p.get(), c_crRed, 5 + size.cx, 0, 100, 40), 0);
}

TEST(Canvas, EscapementTurnsText) {
  auto p = NewCanvas(100, 100);
  CFont font(u"Tahoma", 14, 0, c_nFwNormal, 900);  // 90° counter-clockwise
  p->SelectFont(&font);
  p->SetTextColor(c_crBlack);
  p->SetBkMode(bmTransparent);
  p->TextOutAt(50, 80, u"HHHHHH", 6);
  // The text runs upwards from the reference point, to its right side.
  EXPECT_GT(CountNotWhite(p.get(), 50, 20, 70, 80), 20);
  EXPECT_EQ(CountNotWhite(p.get(), 0, 82, 100, 100), 0);
  EXPECT_EQ(CountNotWhite(p.get(), 68, 0, 100, 100) + CountNotWhite(p.get(), 0, 0, 49, 100), 0);
}

TEST(Canvas, DrawTextMeasuresAndCentres) {
  auto p = NewCanvas(200, 60);
  CFont font(u"Tahoma", 14, 0, c_nFwNormal, 0);
  p->SelectFont(&font);
  VRect rc = {10, 10, 10, 10};
  int cy = p->DrawTextIn(u"label", 5, rc, dtCalcRect | dtSingleLine | dtNoPrefix);
  VSize size = p->GetTextExtent(u"label", 5);
  EXPECT_EQ(rc.right - rc.left, size.cx);
  EXPECT_EQ(rc.bottom - rc.top, cy);
  EXPECT_EQ(CountNotWhite(p.get(), 0, 0, 200, 60), 0);  // measuring draws nothing
  p->SetBkMode(bmTransparent);
  VRect rcBox = {0, 0, 200, 60};
  p->DrawTextIn(u"label", 5, rcBox, dtCenter | dtSingleLine | dtVCenter | dtNoPrefix);
  EXPECT_EQ(CountNotWhite(p.get(), 0, 0, 100 - size.cx / 2 - 2, 60), 0);
  EXPECT_EQ(CountNotWhite(p.get(), 100 + size.cx / 2 + 2, 0, 200, 60), 0);
  EXPECT_GT(CountNotWhite(p.get(), 0, 0, 200, 60), 10);
}

TEST(Canvas, IconsBlendByAlpha) {
  CIcon icon(4, 4);
  for (int i = 0; i < 16; ++i)
    icon.m_px[size_t(i)] = i < 8 ? 0xFFFF0000u : 0x00000000u;  // opaque red top, clear bottom
  auto p = NewCanvas(32, 32);
  p->DrawIcon(&icon, 8, 8, 16, 16);
  EXPECT_EQ(p->GetPixel(10, 10), c_crRed);
  EXPECT_EQ(p->GetPixel(20, 15), c_crRed);
  EXPECT_EQ(p->GetPixel(10, 20), c_crWhite);
  EXPECT_EQ(p->GetPixel(7, 10), c_crWhite);
  EXPECT_EQ(CountColour(p.get(), c_crRed), 16 * 8);
}

TEST(Canvas, BlitAndHalftoneStretch) {
  auto pSrc = NewCanvas(32, 32);
  auto pDst = NewCanvas(32, 32);
  CBrush black(bkSolid, c_crBlack);
  pSrc->FillRect({0, 0, 16, 32}, &black);
  ASSERT_TRUE(pDst->BitBlt(4, 0, 8, 8, pSrc.get(), 10, 0));
  EXPECT_EQ(pDst->GetPixel(4, 0), c_crBlack);
  EXPECT_EQ(pDst->GetPixel(9, 7), c_crBlack);
  EXPECT_EQ(pDst->GetPixel(10, 0), c_crWhite);  // source column 16
  // Shrunk to half: the black half stays black, the white half white.
  auto pHalf = NewCanvas(16, 16);
  ASSERT_TRUE(pHalf->StretchBlt(0, 0, 16, 16, pSrc.get(), 0, 0, 32, 32));
  EXPECT_EQ(pHalf->GetPixel(3, 8), c_crBlack);
  EXPECT_EQ(pHalf->GetPixel(12, 8), c_crWhite);
  // Enlarged twice: a 16-pixel-wide black band becomes 32 pixels wide.
  auto pDouble = NewCanvas(64, 16);
  ASSERT_TRUE(pDouble->StretchBlt(0, 0, 64, 16, pSrc.get(), 0, 0, 32, 8));
  EXPECT_EQ(pDouble->GetPixel(29, 4), c_crBlack);
  EXPECT_EQ(pDouble->GetPixel(34, 4), c_crWhite);
}

TEST(Canvas, SelectionsTakeEffectAfterReselectingAndAfterObjectsAreReplaced) {
  auto p = NewCanvas();
  CPen penRed(psSolid, 1, c_crRed), penBlue(psSolid, 1, c_crBlue);
  const VPoint rgA[2] = {{0, 10}, {64, 10}}, rgB[2] = {{0, 20}, {64, 20}}, rgC[2] = {{0, 30}, {64, 30}};
  p->SelectPen(&penRed);
  p->Polyline(rgA, 2);
  p->SelectPen(&penBlue);
  p->SelectPen(&penBlue);  // again: still blue
  p->Polyline(rgB, 2);
  p->SelectPen(&penRed);
  p->Polyline(rgC, 2);
  EXPECT_EQ(CountColour(p.get(), c_crRed, 0, 10, 64, 11), 64);
  EXPECT_EQ(CountColour(p.get(), c_crBlue, 0, 20, 64, 21), 64);
  EXPECT_EQ(CountColour(p.get(), c_crRed, 0, 30, 64, 31), 64);
  p->SelectPen(nullptr);
  // Brushes made and destroyed one after another (a new one may take the
  // old one's place in memory): each fill has its own colour.
  for (COLORREF cr : {c_crRed, c_crBlue, c_crBlack}) {
    std::unique_ptr<CBrush> pBrush(new CBrush(bkSolid, cr));
    p->SelectPen(GetNullPen());
    p->SelectBrush(pBrush.get());
    const VPoint rgBox[4] = {{0, 40}, {64, 40}, {64, 50}, {0, 50}};
    p->Polygon(rgBox, 4);
    EXPECT_EQ(CountColour(p.get(), cr, 0, 40, 64, 50), 64 * 10) << std::hex << cr;
    p->SelectBrush(nullptr);
  }
}

TEST(Canvas, TextKeepsItsFontAcrossSwitchesAndNewFonts) {
  // The same text drawn with one font, then with others in between, then
  // with the first again gives the same ink; a font made after another was
  // destroyed draws with its own size.
  auto p = NewCanvas(160, 64);
  CFont fontSmall(u"Tahoma", 12, 0, c_nFwNormal, 0);
  p->SetBkMode(bmTransparent);
  p->SetTextColor(c_crBlack);
  p->SelectFont(&fontSmall);
  p->TextOutAt(2, 2, u"Quay", 4);
  const int nInkSmall = CountNotWhite(p.get(), 0, 0, 80, 32);
  ASSERT_GT(nInkSmall, 10);
  for (int i = 0; i < 30; ++i) {
    CFont fontTurned(u"Tahoma", 14, 0, c_nFwNormal, i * 30);
    p->SelectFont(&fontTurned);
    p->TextOutAt(140, 50, u"x", 1);
    p->SelectFont(nullptr);
  }
  p->SelectFont(&fontSmall);
  p->TextOutAt(82, 2, u"Quay", 4);
  EXPECT_EQ(CountNotWhite(p.get(), 80, 0, 160, 32), nInkSmall);
  p->SelectFont(nullptr);
  std::unique_ptr<CFont> pBig(new CFont(u"Tahoma", 30, 0, c_nFwBold, 0));
  p->SelectFont(pBig.get());
  EXPECT_GT(p->GetTextExtent(u"Quay", 4).cy, 20);
  p->SelectFont(nullptr);
  pBig.reset();
  std::unique_ptr<CFont> pTiny(new CFont(u"Tahoma", 10, 0, c_nFwNormal, 0));
  p->SelectFont(pTiny.get());
  EXPECT_LT(p->GetTextExtent(u"Quay", 4).cy, 16);
  p->SelectFont(nullptr);
}
