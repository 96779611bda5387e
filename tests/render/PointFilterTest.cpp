// Thinning of screen points: the picture stays the same while points that
// cannot show are left out.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "platform/Canvas.h"
#include "render/MapPage.h"
#include "render/PointFilter.h"

using platform::CBrush;
using platform::CCanvas;
using platform::CPen;

namespace {

const int c_cx = 160, c_cy = 120;

std::vector<COLORREF> Pixels(CCanvas* p) {
  std::vector<COLORREF> px;
  for (int y = 0; y < p->Height(); ++y)
    for (int x = 0; x < p->Width(); ++x)
      px.push_back(p->GetPixel(x, y));
  return px;
}

// A random walk that wanders far beyond the view on every side and back.
std::vector<VPoint> Wander(std::mt19937& rng, size_t c) {
  std::uniform_int_distribution<int> step(-90, 90);
  std::vector<VPoint> pts;
  VPoint pt = {c_cx / 2, c_cy / 2};
  for (size_t i = 0; i < c; ++i) {
    pts.push_back(pt);
    pt.x += step(rng);
    pt.y += step(rng);
    if (i % 7 == 3)
      pts.push_back(pts.back());  // repeated points, as a coarse scale makes them
  }
  return pts;
}

std::vector<COLORREF> Stroke(const std::vector<VPoint>& pts, int nWidth) {
  std::unique_ptr<CCanvas> p(platform::CreateSoftCanvas(c_cx, c_cy));
  CPen pen(platform::psSolid, nWidth, 0x2040C0);
  p->SelectPen(&pen);
  p->Polyline(pts.data(), int(pts.size()));
  p->SelectPen(nullptr);
  return Pixels(p.get());
}

std::vector<COLORREF> Fill(const std::vector<VPoint>& pts) {
  std::unique_ptr<CCanvas> p(platform::CreateSoftCanvas(c_cx, c_cy));
  CBrush brush(platform::bkSolid, 0x80C0F0);
  p->SelectPen(platform::GetNullPen());
  p->SelectBrush(&brush);
  p->Polygon(pts.data(), int(pts.size()));
  p->SelectBrush(nullptr);
  return Pixels(p.get());
}

}  // namespace

TEST(PointFilterTest, ThinnedLinesAndAreasDrawTheSamePixels) {
  std::mt19937 rng(1234);
  size_t cIn = 0, cOut = 0;
  int cDrawn = 0;
  for (int nCase = 0; nCase < 200; ++nCase) {
    const std::vector<VPoint> pts = Wander(rng, 6 + size_t(nCase % 40));
    const int nWidth = 1 + nCase % 9;
    std::vector<VPoint> thin;
    ThinScreenPoints(pts.data(), pts.size(), c_cx, c_cy, nWidth + 2, thin);
    cIn += pts.size();
    cOut += thin.size();
    ASSERT_GE(thin.size(), 2u);
    // The ends stay where they were.
    EXPECT_EQ(thin.front().x, pts.front().x);
    EXPECT_EQ(thin.back().y, pts.back().y);
    const std::vector<COLORREF> line = Stroke(pts, nWidth);
    ASSERT_EQ(Stroke(thin, nWidth), line) << "line case " << nCase << ", width " << nWidth;
    std::vector<VPoint> ring;
    ThinScreenPoints(pts.data(), pts.size(), c_cx, c_cy, 1, ring);
    const std::vector<COLORREF> area = Fill(pts);
    if (ring.size() >= 3)
      ASSERT_EQ(Fill(ring), area) << "area case " << nCase;
    else
      ASSERT_EQ(area, Fill({}));  // nothing of it was in the view
    for (COLORREF cr : area)
      if (cr != 0xFFFFFF) {
        ++cDrawn;
        break;
      }
  }
  // The walks do show, and most of their points lie far out and go.
  EXPECT_GT(cDrawn, 100);
  EXPECT_LT(cOut * 2, cIn);
}

TEST(PointFilterTest, RunsBeyondOneSideKeepTheirEndsAndRepeatsGo) {
  std::vector<VPoint> out;
  // In, far out to the left for four points, back in.
  const VPoint rg[] = {{10, 10}, {-50, 5}, {-70, 40}, {-60, 90}, {-40, 100}, {20, 100}};
  ASSERT_EQ(ThinScreenPoints(rg, 6, 100, 120, 8, out), 4u);
  EXPECT_EQ(out[1].x, -50);
  EXPECT_EQ(out[2].x, -40);
  // Round a corner: left, above-left, then above. The left run ends where
  // the points stop being left of the view; the run above starts at its
  // last point.
  const VPoint rg2[] = {{50, 50}, {-20, 60}, {-30, -40}, {40, -50}, {60, -30}, {50, 50}};
  ASSERT_EQ(ThinScreenPoints(rg2, 6, 100, 100, 8, out), 5u);
  EXPECT_EQ(out[2].x, -30);
  EXPECT_EQ(out[3].x, 60);
  // Within the margin nothing goes.
  const VPoint rg3[] = {{0, 0}, {-5, 3}, {-6, 8}, {-7, 3}, {10, 10}};
  EXPECT_EQ(ThinScreenPoints(rg3, 5, 100, 100, 8, out), 5u);
  // Repeated points collapse, but a line of one point stays a line.
  const VPoint rg4[] = {{5, 5}, {5, 5}, {6, 5}, {6, 5}, {6, 5}, {7, 9}};
  ASSERT_EQ(ThinScreenPoints(rg4, 6, 100, 100, 8, out), 3u);
  const VPoint rg5[] = {{5, 5}, {5, 5}, {5, 5}};
  ASSERT_EQ(ThinScreenPoints(rg5, 3, 100, 100, 8, out), 2u);
  EXPECT_EQ(out[1].x, 5);
  EXPECT_EQ(ThinScreenPoints(rg5, 0, 100, 100, 8, out), 0u);
}

TEST(PointFilterTest, DrawContextLinesMatchTheCanvasDrawingEveryPoint) {
  // The pass thins, and draws wide lines in pieces; the picture is that
  // of the canvas drawing the whole line with each pen.
  std::mt19937 rng(99);
  CPen penCasing(platform::psSolid, 7, 0x303030), penCore(platform::psSolid, 4, 0x40E0F0);
  CPen penDotted(platform::psDot, 1, 0xFFFFFF), penThin(platform::psSolid, 1, 0x0000FF);
  const CPen* rgPairs[][2] = {{&penCasing, &penCore}, {&penCasing, &penDotted}, {&penThin, nullptr}};
  for (int nCase = 0; nCase < 60; ++nCase) {
    const std::vector<VPoint> pts = Wander(rng, 5 + size_t(nCase));
    const CPen* pPen = rgPairs[nCase % 3][0];
    const CPen* pCore = rgPairs[nCase % 3][1];
    std::unique_ptr<CCanvas> pPass(platform::CreateSoftCanvas(c_cx, c_cy));
    std::unique_ptr<CCanvas> pPlain(platform::CreateSoftCanvas(c_cx, c_cy));
    CMapPageHost host;
    CDrawContext ctx(pPass.get(), nullptr, &host);
    ctx.DrawPolyline(pts.data(), pts.size(), pPen, pCore);
    for (const CPen* p : {pPen, pCore}) {
      if (p == nullptr)
        continue;
      pPlain->SelectPen(p);
      pPlain->Polyline(pts.data(), int(pts.size()));
    }
    ASSERT_EQ(Pixels(pPass.get()), Pixels(pPlain.get())) << "case " << nCase;
    EXPECT_EQ(ctx.m_cPolylines, 1u);
  }
}
