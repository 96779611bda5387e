// The software raster behind CCanvas: 32-bit COLORREF pixels in memory,
// deterministic on every machine.
#pragma once
#include <vector>

#include "platform/Canvas.h"

namespace platform {

struct BitmapFont;

class CSoftCanvas : public CCanvas {
 public:
  CSoftCanvas(int cx, int cy);

  CanvasKind Kind() const override { return ckSoft; }
  int Width() const override { return m_cx; }
  int Height() const override { return m_cy; }

  const CPen* SelectPen(const CPen* pPen) override;
  const CBrush* SelectBrush(const CBrush* pBrush) override;
  const CFont* SelectFont(const CFont* pFont) override;
  COLORREF SetTextColor(COLORREF cr) override;
  COLORREF SetBkColor(COLORREF cr) override;
  int SetBkMode(int nMode) override;
  void SetBrushOrigin(int x, int y) override;

  void Polygon(const VPoint* pPoints, int cPoints) override;
  void Polyline(const VPoint* pPoints, int cPoints) override;
  void Rectangle(int nLeft, int nTop, int nRight, int nBottom) override;
  void Ellipse(int nLeft, int nTop, int nRight, int nBottom) override;
  void FillRect(const VRect& rc, const CBrush* pBrush) override;

  VSize GetTextExtent(const char16_t* pText, int cch) override;
  void TextOutAt(int x, int y, const char16_t* pText, int cch) override;
  int DrawTextIn(const char16_t* pText, int cch, VRect& rc, uint32_t dwFlags) override;

  void DrawIcon(const CIcon* pIcon, int x, int y, int cx, int cy) override;

  bool BitBlt(int xDst, int yDst, int cx, int cy, CCanvas* pSrc, int xSrc, int ySrc) override;
  bool StretchBlt(int xDst, int yDst, int cxDst, int cyDst, CCanvas* pSrc, int xSrc, int ySrc,
                  int cxSrc, int cySrc) override;

  COLORREF GetPixel(int x, int y) override;

  const COLORREF* Pixels() const { return m_px.data(); }

 private:
  struct FontMetrics {
    const BitmapFont* pFont;
    float fScaleX;
    float fScaleY;
    int cxAdvance;
    int cyCell;
  };
  struct PointF {
    double x;
    double y;
  };
  struct Edge {
    double yTop, yBottom, x0, dxdy;
  };

  void Put(int x, int y, COLORREF cr) {
    if (unsigned(x) < unsigned(m_cx) && unsigned(y) < unsigned(m_cy))
      m_px[size_t(y) * size_t(m_cx) + size_t(x)] = cr;
  }
  void FillSpan(int y, int x0, int x1, const CBrush* pBrush);
  void FillSpanSolid(int y, int x0, int x1, COLORREF cr);
  void FillPolygonF(const PointF* pPoints, int cPoints, const CBrush* pBrush, bool fSolid,
                    COLORREF cr);
  void FillDisc(double xc, double yc, double r, COLORREF cr);
  void ThinLine(int x0, int y0, int x1, int y1, const CPen* pPen, int& nStyleStep);
  // A wide segment: a quad and the round cap at b, and at a when fStartCap.
  void WideSegment(const VPoint& a, const VPoint& b, int nWidth, COLORREF cr, bool fStartCap);
  FontMetrics Metrics() const;
  void DrawTextRun(int x, int y, const char16_t* pText, int cch, const VRect* pClip);

  int m_cx;
  int m_cy;
  std::vector<COLORREF> m_px;
  const CPen* m_pPen;
  const CBrush* m_pBrush;
  const CFont* m_pFont;
  COLORREF m_crText;
  COLORREF m_crBk;
  int m_nBkMode;
  int m_xBrushOrg;
  int m_yBrushOrg;
  // Scratch space of the scan converter, kept between calls so that the
  // many small fills of a map pass do not allocate.
  std::vector<Edge> m_edges;
  std::vector<const Edge*> m_active;
  std::vector<double> m_xs;
  std::vector<PointF> m_ptsF;
  std::vector<const uint16_t*> m_glyphs;
};

}  // namespace platform
