// The canvas on a GDI device context. A memory canvas owns its DC and
// bitmap; a canvas made for a window's or the shell's DC only borrows it and
// restores the DC's selections when it is destroyed.
#pragma once
#include "platform/Canvas.h"
#include "platform/win32/Win32.h"

namespace platform {

class CGdiCanvas : public CCanvas {
 public:
  // Borrows hdc of a surface of cx × cy pixels.
  CGdiCanvas(HDC hdc, int cx, int cy);
  ~CGdiCanvas() override;
  // A memory DC with a bitmap compatible with hdcRef (the screen when null),
  // cleared to white. Null on failure.
  static CGdiCanvas* CreateMemory(HDC hdcRef, int cx, int cy);

  HDC Hdc() const { return m_hdc; }

  CanvasKind Kind() const override { return ckGdi; }
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

 private:
  HDC m_hdc;
  int m_cx;
  int m_cy;
  bool m_fOwnsDc;
  HBITMAP m_hbm;         // owned by a memory canvas
  HGDIOBJ m_hbmOld;      // selections to put back, in reverse order
  HGDIOBJ m_hpenOld;
  HGDIOBJ m_hbrushOld;
  HGDIOBJ m_hfontOld;
  const CPen* m_pPen;
  const CBrush* m_pBrush;
  const CFont* m_pFont;
  // The handles this canvas selected last (null before the first).
  HGDIOBJ m_hpenCur;
  HGDIOBJ m_hbrushCur;
  HGDIOBJ m_hfontCur;
};

// The GDI handles of drawing objects (made on first use).
HPEN GetPenHandle(const CPen* pPen);
HBRUSH GetBrushHandle(const CBrush* pBrush);
HFONT GetFontHandle(const CFont* pFont);
HICON GetIconHandle(const CIcon* pIcon);

}  // namespace platform
