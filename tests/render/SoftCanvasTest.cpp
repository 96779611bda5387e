// The software raster's own features: the built-in font's coverage, image
// export and icon files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "platform/posix/CanvasFont.h"

using namespace platform;

namespace {

uint32_t Be32(const std::string& s, size_t off) {
  return (uint32_t(uint8_t(s[off])) << 24) | (uint32_t(uint8_t(s[off + 1])) << 16) |
         (uint32_t(uint8_t(s[off + 2])) << 8) | uint8_t(s[off + 3]);
}

std::string Le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i)
    s.push_back(char((v >> (8 * i)) & 0xFF));
  return s;
}
std::string Le16(uint32_t v) { return Le32(v).substr(0, 2); }

// An icon file with one 32-bit image of w × h pixels of one colour.
std::string MakeIcoFile(int w, int h, uint32_t argb) {
  std::string img = Le32(40) + Le32(uint32_t(w)) + Le32(uint32_t(2 * h)) + Le16(1) + Le16(32) + Le32(0) +
                    Le32(0) + Le32(0) + Le32(0) + Le32(0) + Le32(0);
  for (int i = 0; i < w * h; ++i)
    img += Le32(argb);
  img += std::string(size_t((w + 31) / 32 * 4 * h), '\0');
  std::string ico = Le16(0) + Le16(1) + Le16(1);
  ico += std::string(1, char(w)) + std::string(1, char(h)) + std::string(2, '\0') + Le16(1) + Le16(32) +
         Le32(uint32_t(img.size())) + Le32(22);
  return ico + img;
}

}  // namespace

TEST(SoftCanvas, FontCoversLatinAndCyrillic) {
  for (int i = 0; i < c_cBuiltinFonts; ++i) {
    const BitmapFont& font = g_rgBuiltinFonts[i];
    const uint16_t* pQuestion = FindGlyph(font, u'?');
    ASSERT_NE(pQuestion, nullptr);
    for (char16_t ch : std::u16string(u"AzЖжЯяЁё№°")) {
      const uint16_t* pRows = FindGlyph(font, ch);
      ASSERT_NE(pRows, nullptr);
      EXPECT_NE(pRows, pQuestion) << int(ch);
    }
    // A code the font lacks shows as "?".
    EXPECT_EQ(FindGlyph(font, u'\x4E2D'), pQuestion);
  }
}

TEST(SoftCanvas, PngHoldsThePixels) {
  std::unique_ptr<CCanvas> p(CreateSoftCanvas(5, 3));
  CBrush red(bkSolid, 0x0000FF);
  p->FillRect({1, 1, 2, 2}, &red);
  std::string png;
  ASSERT_TRUE(EncodeCanvasPng(p.get(), png));
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(Be32(png, 16), 5u);
  EXPECT_EQ(Be32(png, 20), 3u);
  // The IDAT chunk right after IHDR inflates to filtered RGB rows.
  size_t off = 8 + 12 + 13;
  ASSERT_EQ(png.substr(off + 4, 4), "IDAT");
  uint32_t cb = Be32(png, off);
  std::string raw(3 * (1 + 5 * 3), '\0');
  uLongf cbRaw = uLongf(raw.size());
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(&raw[0]), &cbRaw,
                       reinterpret_cast<const Bytef*>(png.data() + off + 8), cb), Z_OK);
  ASSERT_EQ(cbRaw, raw.size());
  const size_t iPixel = 1 * 16 + 1 + 1 * 3;  // row 1, after its filter byte, pixel 1
  EXPECT_EQ(uint8_t(raw[iPixel]), 255);
  EXPECT_EQ(uint8_t(raw[iPixel + 1]), 0);
  EXPECT_EQ(uint8_t(raw[iPixel + 2]), 0);
  EXPECT_EQ(uint8_t(raw[1]), 255);  // white elsewhere
  EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
}

TEST(SoftCanvas, WritesImageFiles) {
  std::unique_ptr<CCanvas> p(CreateSoftCanvas(7, 2));
  std::u16string strDir = AsciiToU16(VELMO_BINARY_DIR);
  std::u16string strBmp = JoinPath(strDir, u"soft_canvas_test.bmp");
  std::u16string strPng = JoinPath(strDir, u"soft_canvas_test.png");
  ASSERT_TRUE(SaveCanvasBmp(p.get(), strBmp.c_str()));
  ASSERT_TRUE(SaveCanvasPng(p.get(), strPng.c_str()));
  uint64_t cb = 0;
  ASSERT_TRUE(GetFileSizeOf(strBmp.c_str(), cb));
  EXPECT_EQ(cb, 54u + 2 * 24);  // rows padded to 24 bytes
  DeleteFilePath(strBmp.c_str());
  DeleteFilePath(strPng.c_str());
  EXPECT_EQ(CreateSoftCanvas(0, 10), nullptr);
}

TEST(SoftCanvas, ReadsIconFilesWithinBounds) {
  std::string ico = MakeIcoFile(8, 8, 0xFF00FF00u);
  std::unique_ptr<CIcon> pIcon(ReadIconFile(reinterpret_cast<const uint8_t*>(ico.data()), ico.size(), 16, 16));
  ASSERT_NE(pIcon, nullptr);
  EXPECT_EQ(pIcon->m_cx, 16);
  EXPECT_EQ(pIcon->At(15, 15), 0xFF00FF00u);
  // Every truncation fails cleanly.
  for (size_t cb = 0; cb < ico.size() - 36; ++cb)
    EXPECT_EQ(ReadIconFile(reinterpret_cast<const uint8_t*>(ico.data()), cb, 16, 16), nullptr) << cb;
  // An offset past the end.
  std::string bad = ico;
  bad[18] = char(0xF0);
  EXPECT_EQ(ReadIconFile(reinterpret_cast<const uint8_t*>(bad.data()), bad.size(), 16, 16), nullptr);
}

TEST(SoftCanvas, HalftoneStretchAverages) {
  // Stripes one pixel wide halve to an even grey.
  std::unique_ptr<CCanvas> pStripes(CreateSoftCanvas(32, 32));
  CBrush black(bkSolid, 0x000000);
  for (int x = 0; x < 32; x += 2)
    pStripes->FillRect({x, 0, x + 1, 32}, &black);
  std::unique_ptr<CCanvas> pHalf(CreateSoftCanvas(16, 16));
  ASSERT_TRUE(pHalf->StretchBlt(0, 0, 16, 16, pStripes.get(), 0, 0, 32, 32));
  EXPECT_EQ(pHalf->GetPixel(8, 8), 0x808080u);
  // A blit from a canvas of another kind is refused.
  EXPECT_FALSE(pHalf->BitBlt(0, 0, 1, 1, nullptr, 0, 0));
}

namespace {

std::vector<COLORREF> AllPixels(CCanvas* p) {
  std::vector<COLORREF> px;
  for (int y = 0; y < p->Height(); ++y)
    for (int x = 0; x < p->Width(); ++x)
      px.push_back(p->GetPixel(x, y));
  return px;
}

}  // namespace

TEST(SoftCanvas, FewAndManyEdgesFillByTheSameParity) {
  // A bow tie: four edges that cross. Each row has four crossings and two
  // spans, not one from the first crossing to the last.
  const VPoint rgTie[] = {{10, 10}, {50, 50}, {50, 10}, {10, 50}};
  // The same outline with every edge split in two (eight edges).
  const VPoint rgSplit[] = {{10, 10}, {30, 30}, {50, 50}, {50, 30}, {50, 10}, {30, 30}, {10, 50}, {10, 30}};
  CBrush brush(bkSolid, 0x3080F0);
  std::unique_ptr<CCanvas> pFew(CreateSoftCanvas(64, 64)), pMany(CreateSoftCanvas(64, 64));
  for (CCanvas* p : {pFew.get(), pMany.get()}) {
    p->SelectPen(GetNullPen());
    p->SelectBrush(&brush);
  }
  pFew->Polygon(rgTie, 4);
  pMany->Polygon(rgSplit, 8);
  EXPECT_EQ(pFew->GetPixel(15, 20), 0x3080F0u);
  EXPECT_EQ(pFew->GetPixel(45, 20), 0x3080F0u);
  EXPECT_EQ(pFew->GetPixel(30, 20), 0xFFFFFFu);  // between the lobes
  EXPECT_EQ(pFew->GetPixel(30, 45), 0xFFFFFFu);
  EXPECT_EQ(AllPixels(pFew.get()), AllPixels(pMany.get()));
}

TEST(SoftCanvas, WidePolylineIsTheUnionOfItsSegments) {
  // In and out across every side, with repeated points and segments wholly
  // outside; drawn whole and segment by segment (each with both caps).
  const VPoint rg[] = {{20, 20}, {-40, 30}, {-60, 90}, {-60, 90}, {30, 130}, {70, 70}, {70, 70},
                       {140, 40}, {200, -30}, {60, -50}, {40, 5}, {41, 6}, {20, 60}};
  const int c = int(sizeof rg / sizeof rg[0]);
  for (int nWidth : {2, 3, 6, 11}) {
    CPen pen(psSolid, nWidth, 0x2050A0);
    std::unique_ptr<CCanvas> pWhole(CreateSoftCanvas(100, 80)), pParts(CreateSoftCanvas(100, 80));
    pWhole->SelectPen(&pen);
    pParts->SelectPen(&pen);
    pWhole->Polyline(rg, c);
    for (int i = 0; i + 1 < c; ++i)
      pParts->Polyline(rg + i, 2);
    const std::vector<COLORREF> px = AllPixels(pWhole.get());
    EXPECT_EQ(px, AllPixels(pParts.get())) << "width " << nWidth;
    EXPECT_EQ(pWhole->GetPixel(20, 20), 0x2050A0u);
  }
  // A wide line just beyond the left edge still shows its half that
  // reaches in; one a pen's half-width beyond the bottom does not.
  CPen pen(psSolid, 11, 0x2050A0);
  std::unique_ptr<CCanvas> p(CreateSoftCanvas(100, 80));
  p->SelectPen(&pen);
  const VPoint rgLeft[] = {{-3, 10}, {-3, 60}};
  p->Polyline(rgLeft, 2);
  EXPECT_EQ(p->GetPixel(0, 30), 0x2050A0u);
  EXPECT_EQ(p->GetPixel(2, 30), 0x2050A0u);
  EXPECT_EQ(p->GetPixel(3, 30), 0xFFFFFFu);
  const VPoint rgBelow[] = {{10, 86}, {90, 86}};
  p->Polyline(rgBelow, 2);
  EXPECT_EQ(p->GetPixel(50, 79), 0xFFFFFFu);
  const VPoint rgBelow2[] = {{10, 84}, {90, 84}};
  p->Polyline(rgBelow2, 2);
  EXPECT_EQ(p->GetPixel(50, 79), 0x2050A0u);
}
