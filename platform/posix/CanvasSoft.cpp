// The software raster: polygons by scan lines with an active edge list,
// thin lines by Bresenham with GDI's dash and dot patterns, wide lines as
// quads with round joins, text from the built-in bitmap fonts (scaled and
// turned by the escapement), icons with alpha, box-filtered stretching.
#include "platform/posix/CanvasSoft.h"

#include <algorithm>
#include <cmath>

#include "platform/posix/CanvasFont.h"

namespace platform {

namespace {

const CPen g_penBlack(psSolid, 1, 0x000000);
const CBrush g_brushWhite(bkSolid, 0xFFFFFF);
const CPen g_penNull(psNull, 0, 0);
const CBrush g_brushNull(bkNull, 0);

// On and off runs of the styled thin pens, in pixels.
const int c_rgDash[] = {18, 6};
const int c_rgDot[] = {3, 3};

COLORREF Blend(COLORREF crDst, uint32_t argb) {
  const uint32_t a = argb >> 24;
  const uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  if (a == 255)
    return RGB(r, g, b);
  const uint32_t dr = GetRValue(crDst), dg = GetGValue(crDst), db = GetBValue(crDst);
  return RGB((r * a + dr * (255 - a) + 127) / 255, (g * a + dg * (255 - a) + 127) / 255,
             (b * a + db * (255 - a) + 127) / 255);
}

bool StyleOn(int nStyle, int nStep) {
  if (nStyle == psDash)
    return nStep % (c_rgDash[0] + c_rgDash[1]) < c_rgDash[0];
  if (nStyle == psDot)
    return nStep % (c_rgDot[0] + c_rgDot[1]) < c_rgDot[0];
  return true;
}

}  // namespace

const CPen* GetNullPen() { return &g_penNull; }
const CBrush* GetNullBrush() { return &g_brushNull; }

const uint16_t* FindGlyph(const BitmapFont& font, char16_t ch) {
  const char16_t* pEnd = font.m_pCodes + font.m_cCodes;
  const char16_t* p = std::lower_bound(font.m_pCodes, pEnd, ch);
  if (p == pEnd || *p != ch) {
    p = std::lower_bound(font.m_pCodes, pEnd, char16_t(u'?'));
    if (p == pEnd)
      return nullptr;
  }
  return font.m_pRows + size_t(p - font.m_pCodes) * size_t(font.m_cyCell);
}

CSoftCanvas::CSoftCanvas(int cx, int cy)
    : m_cx(cx > 0 ? cx : 0),
      m_cy(cy > 0 ? cy : 0),
      m_px(size_t(m_cx) * size_t(m_cy), 0xFFFFFF),
      m_pPen(&g_penBlack),
      m_pBrush(&g_brushWhite),
      m_pFont(nullptr),
      m_crText(0x000000),
      m_crBk(0xFFFFFF),
      m_nBkMode(bmOpaque),
      m_xBrushOrg(0),
      m_yBrushOrg(0) {}

CCanvas* CreateSoftCanvas(int cx, int cy) {
  if (cx <= 0 || cy <= 0 || cx > 16384 || cy > 16384)
    return nullptr;
  return new CSoftCanvas(cx, cy);
}

const CPen* CSoftCanvas::SelectPen(const CPen* pPen) {
  const CPen* pOld = m_pPen;
  m_pPen = pPen != nullptr ? pPen : &g_penBlack;
  return pOld;
}

const CBrush* CSoftCanvas::SelectBrush(const CBrush* pBrush) {
  const CBrush* pOld = m_pBrush;
  m_pBrush = pBrush != nullptr ? pBrush : &g_brushWhite;
  return pOld;
}

const CFont* CSoftCanvas::SelectFont(const CFont* pFont) {
  const CFont* pOld = m_pFont;
  m_pFont = pFont;
  return pOld;
}

COLORREF CSoftCanvas::SetTextColor(COLORREF cr) {
  COLORREF crOld = m_crText;
  m_crText = cr & 0xFFFFFF;
  return crOld;
}

COLORREF CSoftCanvas::SetBkColor(COLORREF cr) {
  COLORREF crOld = m_crBk;
  m_crBk = cr & 0xFFFFFF;
  return crOld;
}

int CSoftCanvas::SetBkMode(int nMode) {
  int nOld = m_nBkMode;
  m_nBkMode = nMode;
  return nOld;
}

void CSoftCanvas::SetBrushOrigin(int x, int y) {
  m_xBrushOrg = x;
  m_yBrushOrg = y;
}

void CSoftCanvas::FillSpan(int y, int x0, int x1, const CBrush* pBrush) {
  if (pBrush->m_kind == bkSolid) {
    FillSpanSolid(y, x0, x1, pBrush->m_cr & 0xFFFFFF);
    return;
  }
  if (unsigned(y) >= unsigned(m_cy))
    return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, m_cx);
  if (x0 >= x1)
    return;
  COLORREF* pRow = &m_px[size_t(y) * size_t(m_cx)];
  if (pBrush->m_kind == bkPattern) {
    const COLORREF* pPatRow = &pBrush->m_rgPattern[size_t((y - m_yBrushOrg) & (c_cPatternSide - 1)) *
                                                   c_cPatternSide];
    for (int x = x0; x < x1; ++x)
      pRow[x] = pPatRow[(x - m_xBrushOrg) & (c_cPatternSide - 1)] & 0xFFFFFF;
  }
}

void CSoftCanvas::FillSpanSolid(int y, int x0, int x1, COLORREF cr) {
  if (unsigned(y) >= unsigned(m_cy))
    return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, m_cx);
  if (x0 >= x1)
    return;
  COLORREF* pRow = &m_px[size_t(y) * size_t(m_cx)];
  std::fill(pRow + x0, pRow + x1, cr);
}

// Alternate-mode scan conversion, sampling at pixel centres.
void CSoftCanvas::FillPolygonF(const PointF* pPoints, int cPoints, const CBrush* pBrush,
                               bool fSolid, COLORREF cr) {
  if (cPoints < 3)
    return;
  // A solid colour is filled directly (no brush to make per call).
  if (!fSolid && pBrush->m_kind == bkSolid) {
    fSolid = true;
    cr = pBrush->m_cr;
  }
  if (!fSolid && pBrush->m_kind == bkNull)
    return;
  cr &= 0xFFFFFF;
  std::vector<Edge>& edges = m_edges;
  edges.clear();
  edges.reserve(size_t(cPoints));
  double yMin = 1e300, yMax = -1e300;
  for (int i = 0; i < cPoints; ++i) {
    const PointF& a = pPoints[i];
    const PointF& b = pPoints[(i + 1) % cPoints];
    if (a.y == b.y || !std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) ||
        !std::isfinite(b.y))
      continue;
    const PointF& t = a.y < b.y ? a : b;
    const PointF& u = a.y < b.y ? b : a;
    // Rows are sampled at y + 0.5 for 0 <= y < height: an edge wholly
    // above or below them never crosses one.
    if (u.y <= 0.5 || t.y > m_cy - 0.5)
      continue;
    edges.push_back({t.y, u.y, t.x, (u.x - t.x) / (u.y - t.y)});
    yMin = std::min(yMin, t.y);
    yMax = std::max(yMax, u.y);
  }
  if (edges.empty())
    return;
  int yFirst = std::max(0, int(std::ceil(std::max(yMin, -1e9) - 0.5)));
  int yLast = std::min(m_cy - 1, int(std::ceil(std::min(yMax, 1e9) - 0.5)) - 1);
  // Fills between pairs of the row's sorted crossings.
  auto fillRow = [&](int y, const double* pxs, size_t cxs) {
    for (size_t i = 0; i + 1 < cxs; i += 2) {
      double xa = std::max(pxs[i], -1.0), xb = std::min(pxs[i + 1], double(m_cx) + 1.0);
      int x0 = int(std::ceil(xa - 0.5));
      int x1 = int(std::ceil(xb - 0.5));
      if (fSolid)
        FillSpanSolid(y, x0, x1, cr);
      else
        FillSpan(y, x0, x1, pBrush);
    }
  };
  if (edges.size() <= 4) {
    // Few edges (a wide line's quads): each row tests them all, without
    // the active list.
    for (int y = yFirst; y <= yLast; ++y) {
      const double yc = y + 0.5;
      double rx[4];
      size_t c = 0;
      for (const Edge& e : edges) {
        if (e.yTop <= yc && yc < e.yBottom) {
          const double x = e.x0 + (yc - e.yTop) * e.dxdy;
          size_t j = c++;
          for (; j > 0 && rx[j - 1] > x; --j)
            rx[j] = rx[j - 1];
          rx[j] = x;
        }
      }
      fillRow(y, rx, c);
    }
    return;
  }
  std::sort(edges.begin(), edges.end(), [](const Edge& l, const Edge& r) { return l.yTop < r.yTop; });
  std::vector<const Edge*>& active = m_active;
  std::vector<double>& xs = m_xs;
  active.clear();
  size_t iNext = 0;
  for (int y = yFirst; y <= yLast; ++y) {
    const double yc = y + 0.5;
    while (iNext < edges.size() && edges[iNext].yTop <= yc) {
      active.push_back(&edges[iNext]);
      ++iNext;
    }
    xs.clear();
    size_t k = 0;
    for (size_t i = 0; i < active.size(); ++i) {
      const Edge* e = active[i];
      if (e->yBottom <= yc)
        continue;
      active[k++] = e;
      if (e->yTop <= yc)
        xs.push_back(e->x0 + (yc - e->yTop) * e->dxdy);
    }
    active.resize(k);
    std::sort(xs.begin(), xs.end());
    fillRow(y, xs.data(), xs.size());
  }
}

void CSoftCanvas::FillDisc(double xc, double yc, double r, COLORREF cr) {
  cr &= 0xFFFFFF;
  int y0 = std::max(0, int(std::floor(yc - r)));
  int y1 = std::min(m_cy - 1, int(std::ceil(yc + r)));
  for (int y = y0; y <= y1; ++y) {
    double dy = y + 0.5 - yc;
    double h = r * r - dy * dy;
    if (h < 0)
      continue;
    double w = std::sqrt(h);
    FillSpanSolid(y, int(std::ceil(xc - w - 0.5)), int(std::ceil(xc + w - 0.5)), cr);
  }
}

// Bresenham from (x0, y0) towards (x1, y1), leaving out the last point.
void CSoftCanvas::ThinLine(int x0, int y0, int x1, int y1, const CPen* pPen, int& nStyleStep) {
  const COLORREF cr = pPen->m_cr & 0xFFFFFF;
  int64_t dx = std::llabs(int64_t(x1) - x0), dy = -std::llabs(int64_t(y1) - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  // Segments far outside the surface are drawn only where they can show.
  if ((x0 < -4 * int64_t(m_cx) && x1 < 0) || (y0 < -4 * int64_t(m_cy) && y1 < 0) ||
      (x0 > 5 * int64_t(m_cx) && x1 > m_cx) || (y0 > 5 * int64_t(m_cy) && y1 > m_cy))
    return;
  if (dx > 65536 || -dy > 65536) {
    // Very long lines: clip by bisection to a sane length first.
    double fx0 = x0, fy0 = y0, fx1 = x1, fy1 = y1;
    const double lim = 4.0 * std::max(m_cx, m_cy) + 16;
    auto clipEnd = [&](double& ax, double& ay, double bx, double by) {
      while (std::fabs(ax) > lim || std::fabs(ay) > lim) {
        double mx = (ax + bx) / 2, my = (ay + by) / 2;
        if (std::fabs(mx - ax) < 1 && std::fabs(my - ay) < 1)
          break;
        ax = mx;
        ay = my;
      }
    };
    clipEnd(fx0, fy0, fx1, fy1);
    clipEnd(fx1, fy1, fx0, fy0);
    x0 = int(std::lround(fx0));
    y0 = int(std::lround(fy0));
    x1 = int(std::lround(fx1));
    y1 = int(std::lround(fy1));
    dx = std::llabs(int64_t(x1) - x0);
    dy = -std::llabs(int64_t(y1) - y0);
  }
  int64_t err = dx + dy;
  int x = x0, y = y0;
  while (x != x1 || y != y1) {
    if (StyleOn(pPen->m_nStyle, nStyleStep))
      Put(x, y, cr);
    ++nStyleStep;
    int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

void CSoftCanvas::WideSegment(const VPoint& a, const VPoint& b, int nWidth, COLORREF cr, bool fStartCap) {
  const double r = nWidth / 2.0;
  // Pixel centres are at +0.5; the pen is centred on the pixel of each point.
  const double ax = a.x + 0.5, ay = a.y + 0.5, bx = b.x + 0.5, by = b.y + 0.5;
  double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
  double len = std::sqrt(dx * dx + dy * dy);
  if (len > 0) {
    double nx = -dy / len * r, ny = dx / len * r;
    PointF quad[4] = {{ax + nx, ay + ny}, {bx + nx, by + ny}, {bx - nx, by - ny}, {ax - nx, ay - ny}};
    FillPolygonF(quad, 4, nullptr, true, cr);
  }
  if (fStartCap)
    FillDisc(ax, ay, r, cr);
  FillDisc(bx, by, r, cr);
}

void CSoftCanvas::Polygon(const VPoint* pPoints, int cPoints) {
  if (pPoints == nullptr || cPoints < 2)
    return;
  if (m_pBrush->m_kind != bkNull && cPoints >= 3) {
    std::vector<PointF>& pts = m_ptsF;
    pts.resize(static_cast<size_t>(cPoints));
    for (int i = 0; i < cPoints; ++i)
      pts[size_t(i)] = {double(pPoints[i].x), double(pPoints[i].y)};
    FillPolygonF(pts.data(), cPoints, m_pBrush, false, 0);
  }
  if (m_pPen->m_nStyle != psNull) {
    // The closing point is left out as the last point of a polyline, but it
    // was drawn as the first one.
    std::vector<VPoint> ring(pPoints, pPoints + cPoints);
    ring.push_back(pPoints[0]);
    Polyline(ring.data(), int(ring.size()));
  }
}

void CSoftCanvas::Polyline(const VPoint* pPoints, int cPoints) {
  if (pPoints == nullptr || cPoints < 2 || m_pPen->m_nStyle == psNull)
    return;
  if (m_pPen->m_nWidth > 1) {
    // Every segment is a quad with a round cap at each end, all in one
    // colour. A segment whose box, widened by the pen, misses the surface
    // shows nothing and is left out; a joint's cap is drawn once, by the
    // segment ending there.
    const COLORREF cr = m_pPen->m_cr & 0xFFFFFF;
    const int nWidth = m_pPen->m_nWidth;
    const double r = nWidth / 2.0;
    bool fPrevDrawn = false;
    for (int i = 0; i + 1 < cPoints; ++i) {
      const VPoint& a = pPoints[i];
      const VPoint& b = pPoints[i + 1];
      const double ax = a.x + 0.5, ay = a.y + 0.5, bx = b.x + 0.5, by = b.y + 0.5;
      const bool fShows = !(std::max(ax, bx) + r < 0 || std::min(ax, bx) - r > m_cx ||
                            std::max(ay, by) + r < 0 || std::min(ay, by) - r > m_cy);
      if (fShows)
        WideSegment(a, b, nWidth, cr, !fPrevDrawn);
      fPrevDrawn = fShows;
    }
    return;
  }
  int nStep = 0;
  for (int i = 0; i + 1 < cPoints; ++i)
    ThinLine(pPoints[i].x, pPoints[i].y, pPoints[i + 1].x, pPoints[i + 1].y, m_pPen, nStep);
}

void CSoftCanvas::Rectangle(int nLeft, int nTop, int nRight, int nBottom) {
  if (nRight <= nLeft || nBottom <= nTop)
    return;
  for (int y = nTop; y < nBottom; ++y)
    FillSpan(y, nLeft, nRight, m_pBrush);
  if (m_pPen->m_nStyle == psNull)
    return;
  VPoint ring[5] = {{nLeft, nTop}, {nRight - 1, nTop}, {nRight - 1, nBottom - 1},
                    {nLeft, nBottom - 1}, {nLeft, nTop}};
  Polyline(ring, 5);
}

void CSoftCanvas::Ellipse(int nLeft, int nTop, int nRight, int nBottom) {
  if (nRight <= nLeft || nBottom <= nTop)
    return;
  const double cx = (nLeft + nRight) / 2.0, cy = (nTop + nBottom) / 2.0;
  const double rx = (nRight - nLeft) / 2.0, ry = (nBottom - nTop) / 2.0;
  const bool fPen = m_pPen->m_nStyle != psNull;
  const double w = std::max(1, m_pPen->m_nWidth);
  const double rxi = std::max(0.0, rx - w), ryi = std::max(0.0, ry - w);
  for (int y = std::max(nTop, 0); y < std::min(nBottom, m_cy); ++y) {
    for (int x = std::max(nLeft, 0); x < std::min(nRight, m_cx); ++x) {
      double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      double d = (dx * dx) / (rx * rx) + (dy * dy) / (ry * ry);
      if (d > 1.0)
        continue;
      bool fInner = rxi > 0 && ryi > 0 && (dx * dx) / (rxi * rxi) + (dy * dy) / (ryi * ryi) <= 1.0;
      if (fPen && !fInner)
        Put(x, y, m_pPen->m_cr & 0xFFFFFF);
      else
        FillSpan(y, x, x + 1, m_pBrush);
    }
  }
}

void CSoftCanvas::FillRect(const VRect& rc, const CBrush* pBrush) {
  if (pBrush == nullptr)
    return;
  for (int y = std::max(rc.top, 0); y < std::min(rc.bottom, m_cy); ++y)
    FillSpan(y, rc.left, rc.right, pBrush);
}

CSoftCanvas::FontMetrics CSoftCanvas::Metrics() const {
  int nHeight = 16, nWidth = 0;
  bool fBold = true;  // the system font
  if (m_pFont != nullptr) {
    nHeight = m_pFont->m_nHeight;
    nWidth = m_pFont->m_nWidth;
    fBold = m_pFont->m_nWeight >= 600;
  }
  // A negative height is the character height without internal leading.
  int cyCell = nHeight > 0 ? nHeight : nHeight < 0 ? (-nHeight * 13 + 5) / 11 : 13;
  cyCell = std::clamp(cyCell, 4, 400);
  const int iFont = (cyCell <= 15 ? 0 : 2) + (fBold ? 1 : 0);
  const BitmapFont& font = g_rgBuiltinFonts[iFont];
  FontMetrics m;
  m.pFont = &font;
  m.fScaleY = float(cyCell) / float(font.m_cyCell);
  m.cyCell = cyCell;
  // The width of a font is its average character width.
  m.fScaleX = nWidth > 0 ? float(std::min(nWidth, 400)) / float(font.m_cxCell) : m.fScaleY;
  m.cxAdvance = std::max(1, int(std::lround(font.m_cxCell * m.fScaleX)));
  return m;
}

VSize CSoftCanvas::GetTextExtent(const char16_t* pText, int cch) {
  FontMetrics m = Metrics();
  if (pText == nullptr || cch < 0)
    cch = 0;
  return {m.cxAdvance * cch, m.cyCell};
}

void CSoftCanvas::DrawTextRun(int x, int y, const char16_t* pText, int cch, const VRect* pClip) {
  if (pText == nullptr || cch <= 0)
    return;
  const FontMetrics m = Metrics();
  const double w = double(m.cxAdvance) * cch, h = m.cyCell;
  const double fAngle = (m_pFont != nullptr ? m_pFont->m_nEscapement : 0) * 3.14159265358979323846 / 1800.0;
  double c = std::cos(fAngle), s = std::sin(fAngle);
  if (std::fabs(c) < 1e-12)
    c = 0;
  if (std::fabs(s) < 1e-12)
    s = 0;
  // Screen box of the turned text box.
  double xs[4], ys[4];
  const double us[4] = {0, w, w, 0}, vs[4] = {0, 0, h, h};
  for (int i = 0; i < 4; ++i) {
    xs[i] = x + us[i] * c + vs[i] * s;
    ys[i] = y - us[i] * s + vs[i] * c;
  }
  int x0 = int(std::floor(*std::min_element(xs, xs + 4)));
  int x1 = int(std::ceil(*std::max_element(xs, xs + 4)));
  int y0 = int(std::floor(*std::min_element(ys, ys + 4)));
  int y1 = int(std::ceil(*std::max_element(ys, ys + 4)));
  int cxMin = 0, cyMin = 0, cxMax = m_cx, cyMax = m_cy;
  if (pClip != nullptr) {
    cxMin = std::max(cxMin, pClip->left);
    cyMin = std::max(cyMin, pClip->top);
    cxMax = std::min(cxMax, pClip->right);
    cyMax = std::min(cyMax, pClip->bottom);
  }
  x0 = std::max(x0, cxMin);
  y0 = std::max(y0, cyMin);
  x1 = std::min(x1, cxMax);
  y1 = std::min(y1, cyMax);
  const BitmapFont& font = *m.pFont;
  const COLORREF crText = m_crText, crBk = m_crBk;
  const bool fOpaque = m_nBkMode == bmOpaque;
  // Each character's glyph, looked up once for all its pixels.
  std::vector<const uint16_t*>& glyphs = m_glyphs;
  glyphs.resize(size_t(cch));
  for (int i = 0; i < cch; ++i)
    glyphs[size_t(i)] = FindGlyph(font, pText[i]);
  for (int py = y0; py < y1; ++py) {
    for (int px = x0; px < x1; ++px) {
      const double dx = px + 0.5 - x, dy = py + 0.5 - y;
      const double u = dx * c - dy * s, v = dx * s + dy * c;
      if (u < 0 || v < 0 || u >= w || v >= h)
        continue;
      const int iChar = int(u / m.cxAdvance);
      bool fInk = false;
      if (iChar < cch) {
        const uint16_t* pRows = glyphs[size_t(iChar)];
        const int col = int((u - double(iChar) * m.cxAdvance) / m.fScaleX);
        const int row = int(v / m.fScaleY);
        if (pRows != nullptr && col < font.m_cxCell && row < font.m_cyCell)
          fInk = (pRows[row] >> col) & 1;
      }
      if (fInk)
        Put(px, py, crText);
      else if (fOpaque)
        Put(px, py, crBk);
    }
  }
}

void CSoftCanvas::TextOutAt(int x, int y, const char16_t* pText, int cch) {
  DrawTextRun(x, y, pText, cch, nullptr);
}

int CSoftCanvas::DrawTextIn(const char16_t* pText, int cch, VRect& rc, uint32_t dwFlags) {
  if (pText == nullptr)
    return 0;
  if (cch < 0) {
    cch = 0;
    while (pText[cch] != 0)
      ++cch;
  }
  // Prefix characters: "&x" shows x, "&&" shows "&".
  std::u16string str;
  str.reserve(size_t(cch));
  for (int i = 0; i < cch; ++i) {
    if (!(dwFlags & dtNoPrefix) && pText[i] == u'&' && i + 1 < cch)
      ++i;
    str.push_back(pText[i]);
  }
  const FontMetrics m = Metrics();
  const int cxBox = rc.right - rc.left;
  // Break into lines.
  std::vector<std::u16string> lines;
  if (dwFlags & dtSingleLine) {
    std::u16string one;
    for (char16_t ch : str)
      if (ch != u'\r' && ch != u'\n')
        one.push_back(ch);
    lines.push_back(one);
  } else {
    size_t iStart = 0;
    while (iStart <= str.size()) {
      size_t iEnd = str.find(u'\n', iStart);
      std::u16string para = str.substr(iStart, iEnd == std::u16string::npos ? std::u16string::npos : iEnd - iStart);
      if (!para.empty() && para.back() == u'\r')
        para.pop_back();
      if ((dwFlags & dtWordBreak) && cxBox > 0) {
        const size_t cchFit = std::max<size_t>(1, size_t(cxBox / m.cxAdvance));
        while (para.size() > cchFit) {
          size_t iBreak = para.rfind(u' ', cchFit);
          if (iBreak == std::u16string::npos || iBreak == 0)
            iBreak = cchFit;
          lines.push_back(para.substr(0, iBreak));
          size_t iRest = iBreak;
          while (iRest < para.size() && para[iRest] == u' ')
            ++iRest;
          para.erase(0, iRest);
        }
      }
      lines.push_back(para);
      if (iEnd == std::u16string::npos)
        break;
      iStart = iEnd + 1;
    }
  }
  int cxMax = 0;
  for (const std::u16string& line : lines)
    cxMax = std::max(cxMax, int(line.size()) * m.cxAdvance);
  const int cyText = int(lines.size()) * m.cyCell;
  if (dwFlags & dtCalcRect) {
    rc.right = rc.left + cxMax;
    rc.bottom = rc.top + cyText;
    return cyText;
  }
  int y = rc.top;
  if ((dwFlags & dtSingleLine) && (dwFlags & dtVCenter))
    y = rc.top + (rc.bottom - rc.top - m.cyCell) / 2;
  else if ((dwFlags & dtSingleLine) && (dwFlags & dtBottom))
    y = rc.bottom - m.cyCell;
  const VRect* pClip = (dwFlags & dtNoClip) ? nullptr : &rc;
  for (const std::u16string& line : lines) {
    const int cxLine = int(line.size()) * m.cxAdvance;
    int x = rc.left;
    if (dwFlags & dtCenter)
      x = rc.left + (cxBox - cxLine) / 2;
    else if (dwFlags & dtRight)
      x = rc.right - cxLine;
    DrawTextRun(x, y, line.data(), int(line.size()), pClip);
    y += m.cyCell;
  }
  return cyText;
}

void CSoftCanvas::DrawIcon(const CIcon* pIcon, int x, int y, int cx, int cy) {
  if (pIcon == nullptr || pIcon->m_cx <= 0 || pIcon->m_cy <= 0 || cx <= 0 || cy <= 0)
    return;
  for (int py = std::max(y, 0); py < std::min(y + cy, m_cy); ++py) {
    const int sy = int(int64_t(py - y) * pIcon->m_cy / cy);
    for (int px = std::max(x, 0); px < std::min(x + cx, m_cx); ++px) {
      const int sx = int(int64_t(px - x) * pIcon->m_cx / cx);
      const uint32_t argb = pIcon->At(sx, sy);
      if ((argb >> 24) == 0)
        continue;
      COLORREF& dst = m_px[size_t(py) * size_t(m_cx) + size_t(px)];
      dst = Blend(dst, argb);
    }
  }
}

bool CSoftCanvas::BitBlt(int xDst, int yDst, int cx, int cy, CCanvas* pSrc, int xSrc, int ySrc) {
  if (pSrc == nullptr || pSrc->Kind() != ckSoft)
    return false;
  CSoftCanvas* pSoft = static_cast<CSoftCanvas*>(pSrc);
  std::vector<COLORREF> copy;
  const COLORREF* pSrcPx = pSoft->m_px.data();
  if (pSoft == this) {
    copy = m_px;
    pSrcPx = copy.data();
  }
  for (int j = 0; j < cy; ++j) {
    const int sy = ySrc + j, dy = yDst + j;
    if (unsigned(sy) >= unsigned(pSoft->m_cy) || unsigned(dy) >= unsigned(m_cy))
      continue;
    for (int i = 0; i < cx; ++i) {
      const int sx = xSrc + i, dx = xDst + i;
      if (unsigned(sx) >= unsigned(pSoft->m_cx) || unsigned(dx) >= unsigned(m_cx))
        continue;
      m_px[size_t(dy) * size_t(m_cx) + size_t(dx)] = pSrcPx[size_t(sy) * size_t(pSoft->m_cx) + size_t(sx)];
    }
  }
  return true;
}

bool CSoftCanvas::StretchBlt(int xDst, int yDst, int cxDst, int cyDst, CCanvas* pSrc, int xSrc,
                             int ySrc, int cxSrc, int cySrc) {
  if (pSrc == nullptr || pSrc->Kind() != ckSoft)
    return false;
  if (cxDst <= 0 || cyDst <= 0 || cxSrc <= 0 || cySrc <= 0)
    return true;
  CSoftCanvas* pSoft = static_cast<CSoftCanvas*>(pSrc);
  std::vector<COLORREF> copy;
  const COLORREF* pSrcPx = pSoft->m_px.data();
  if (pSoft == this) {
    copy = m_px;
    pSrcPx = copy.data();
  }
  const double fx = double(cxSrc) / cxDst, fy = double(cySrc) / cyDst;
  for (int py = std::max(yDst, 0); py < std::min(yDst + cyDst, m_cy); ++py) {
    // The source rows under this pixel (at least one).
    double s0 = ySrc + (py - yDst) * fy, s1 = s0 + fy;
    int sy0 = int(std::floor(s0)), sy1 = std::max(sy0 + 1, int(std::ceil(s1)));
    for (int px = std::max(xDst, 0); px < std::min(xDst + cxDst, m_cx); ++px) {
      double t0 = xSrc + (px - xDst) * fx, t1 = t0 + fx;
      int sx0 = int(std::floor(t0)), sx1 = std::max(sx0 + 1, int(std::ceil(t1)));
      uint32_t r = 0, g = 0, b = 0, n = 0;
      for (int sy = sy0; sy < sy1; ++sy) {
        if (unsigned(sy) >= unsigned(pSoft->m_cy))
          continue;
        for (int sx = sx0; sx < sx1; ++sx) {
          if (unsigned(sx) >= unsigned(pSoft->m_cx))
            continue;
          COLORREF cr = pSrcPx[size_t(sy) * size_t(pSoft->m_cx) + size_t(sx)];
          r += GetRValue(cr);
          g += GetGValue(cr);
          b += GetBValue(cr);
          ++n;
        }
      }
      if (n != 0)
        m_px[size_t(py) * size_t(m_cx) + size_t(px)] = RGB((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n);
    }
  }
  return true;
}

COLORREF CSoftCanvas::GetPixel(int x, int y) {
  if (unsigned(x) >= unsigned(m_cx) || unsigned(y) >= unsigned(m_cy))
    return 0;
  return m_px[size_t(y) * size_t(m_cx) + size_t(x)];
}

}  // namespace platform
