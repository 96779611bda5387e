// The canvas on GDI: drawing objects become GDI objects on first use and
// are deleted with their description; the DC's first selections are put back
// when the canvas goes.
#include "platform/win32/CanvasGdi.h"

#include <vector>

#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Str.h"

namespace platform {

namespace {

void FreeGdiObject(void* h) { ::DeleteObject(static_cast<HGDIOBJ>(h)); }
void FreeIcon(void* h) { ::DestroyIcon(static_cast<HICON>(h)); }

// A font with a small memory DC of its own that keeps it selected. GDI may
// drop the realisation of a font that no DC holds (with its cache of drawn
// glyphs) and build it again at the next selection; a pass draws with dozens
// of fonts (street names turned by many angles), so without a holder every
// pass would pay for realising them and drawing their glyphs anew.
struct HeldFont {
  HFONT hfont;
  HDC hdcHolder;
  HBITMAP hbmHolder;
  HGDIOBJ hbmOld;
  HGDIOBJ hfontOld;
};

void FreeHeldFont(void* p) {
  HeldFont* pHeld = static_cast<HeldFont*>(p);
  if (pHeld->hdcHolder != nullptr) {
    ::SelectObject(pHeld->hdcHolder, pHeld->hfontOld);
    ::SelectObject(pHeld->hdcHolder, pHeld->hbmOld);
    ::DeleteDC(pHeld->hdcHolder);
  }
  if (pHeld->hbmHolder != nullptr)
    ::DeleteObject(pHeld->hbmHolder);
  if (pHeld->hfont != nullptr)
    ::DeleteObject(pHeld->hfont);
  delete pHeld;
}

static_assert(sizeof(VPoint) == sizeof(POINT), "VPoint and POINT agree");

}  // namespace

HPEN GetPenHandle(const CPen* pPen) {
  if (pPen == nullptr || pPen->m_nStyle == psNull)
    return static_cast<HPEN>(::GetStockObject(NULL_PEN));
  if (pPen->GetNative() == nullptr) {
    HPEN hpen = ::CreatePen(pPen->m_nStyle, pPen->m_nWidth, pPen->m_cr);
    pPen->SetNative(hpen, FreeGdiObject);
  }
  return static_cast<HPEN>(pPen->GetNative());
}

HBRUSH GetBrushHandle(const CBrush* pBrush) {
  if (pBrush == nullptr || pBrush->m_kind == bkNull)
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
  if (pBrush->GetNative() == nullptr) {
    HBRUSH hbr = nullptr;
    if (pBrush->m_kind == bkSolid) {
      hbr = ::CreateSolidBrush(pBrush->m_cr);
    } else {
      // A packed DIB: header and 16 × 16 32-bit pixels, bottom-up.
      struct {
        BITMAPINFOHEADER bih;
        DWORD rgPixels[c_cPatternSide * c_cPatternSide];
      } dib = {};
      dib.bih.biSize = sizeof(BITMAPINFOHEADER);
      dib.bih.biWidth = c_cPatternSide;
      dib.bih.biHeight = c_cPatternSide;
      dib.bih.biPlanes = 1;
      dib.bih.biBitCount = 32;
      dib.bih.biCompression = BI_RGB;
      for (int y = 0; y < c_cPatternSide; ++y)
        for (int x = 0; x < c_cPatternSide; ++x) {
          COLORREF cr = pBrush->m_rgPattern[y * c_cPatternSide + x];
          dib.rgPixels[(c_cPatternSide - 1 - y) * c_cPatternSide + x] =
              (DWORD(GetRValue(cr)) << 16) | (DWORD(GetGValue(cr)) << 8) | GetBValue(cr);
        }
      hbr = ::CreateDIBPatternBrushPt(&dib, DIB_RGB_COLORS);
    }
    pBrush->SetNative(hbr, FreeGdiObject);
  }
  return static_cast<HBRUSH>(pBrush->GetNative());
}

HFONT GetFontHandle(const CFont* pFont) {
  if (pFont == nullptr)
    return static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
  if (pFont->GetNative() == nullptr) {
    HFONT hfont = ::CreateFontW(pFont->m_nHeight, pFont->m_nWidth, pFont->m_nEscapement,
                                pFont->m_nEscapement, pFont->m_nWeight, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, W(pFont->m_strFace.c_str()));
    if (hfont == nullptr)
      return static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
    HeldFont* pHeld = new HeldFont{hfont, nullptr, nullptr, nullptr, nullptr};
    // The holder is made like the surfaces drawn on (compatible with the
    // screen), so that its realisation is the one they use.
    HDC hdcScreen = ::GetDC(nullptr);
    pHeld->hdcHolder = ::CreateCompatibleDC(hdcScreen);
    pHeld->hbmHolder = ::CreateCompatibleBitmap(hdcScreen, 1, 1);
    ::ReleaseDC(nullptr, hdcScreen);
    if (pHeld->hdcHolder != nullptr && pHeld->hbmHolder != nullptr) {
      pHeld->hbmOld = ::SelectObject(pHeld->hdcHolder, pHeld->hbmHolder);
      pHeld->hfontOld = ::SelectObject(pHeld->hdcHolder, hfont);
    } else if (pHeld->hdcHolder != nullptr) {
      ::DeleteDC(pHeld->hdcHolder);
      pHeld->hdcHolder = nullptr;
    }
    pFont->SetNative(pHeld, FreeHeldFont);
  }
  return static_cast<const HeldFont*>(pFont->GetNative())->hfont;
}

HICON GetIconHandle(const CIcon* pIcon) {
  if (pIcon == nullptr || pIcon->m_cx <= 0 || pIcon->m_cy <= 0)
    return nullptr;
  if (pIcon->GetNative() == nullptr) {
    BITMAPV5HEADER bi = {};
    bi.bV5Size = sizeof(bi);
    bi.bV5Width = pIcon->m_cx;
    bi.bV5Height = -pIcon->m_cy;
    bi.bV5Planes = 1;
    bi.bV5BitCount = 32;
    bi.bV5Compression = BI_BITFIELDS;
    bi.bV5RedMask = 0x00FF0000;
    bi.bV5GreenMask = 0x0000FF00;
    bi.bV5BlueMask = 0x000000FF;
    bi.bV5AlphaMask = 0xFF000000;
    void* pBits = nullptr;
    HDC hdc = ::GetDC(nullptr);
    HBITMAP hbmColor = ::CreateDIBSection(hdc, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &pBits, nullptr, 0);
    ::ReleaseDC(nullptr, hdc);
    if (hbmColor == nullptr)
      return nullptr;
    // Premultiplied alpha for the icon's colour image.
    DWORD* pDst = static_cast<DWORD*>(pBits);
    for (size_t i = 0; i < pIcon->m_px.size(); ++i) {
      uint32_t argb = pIcon->m_px[i], a = argb >> 24;
      uint32_t r = ((argb >> 16) & 0xFF) * a / 255, g = ((argb >> 8) & 0xFF) * a / 255, b = (argb & 0xFF) * a / 255;
      pDst[i] = (a << 24) | (r << 16) | (g << 8) | b;
    }
    std::vector<BYTE> mask(size_t((pIcon->m_cx + 15) / 16 * 2) * size_t(pIcon->m_cy), 0);
    HBITMAP hbmMask = ::CreateBitmap(pIcon->m_cx, pIcon->m_cy, 1, 1, mask.data());
    ICONINFO ii = {};
    ii.fIcon = TRUE;
    ii.hbmMask = hbmMask;
    ii.hbmColor = hbmColor;
    HICON hicon = ::CreateIconIndirect(&ii);
    ::DeleteObject(hbmMask);
    ::DeleteObject(hbmColor);
    if (hicon == nullptr)
      return nullptr;
    pIcon->SetNative(hicon, FreeIcon);
  }
  return static_cast<HICON>(pIcon->GetNative());
}

CGdiCanvas::CGdiCanvas(HDC hdc, int cx, int cy)
    : m_hdc(hdc),
      m_cx(cx),
      m_cy(cy),
      m_fOwnsDc(false),
      m_hbm(nullptr),
      m_hbmOld(nullptr),
      m_hpenOld(nullptr),
      m_hbrushOld(nullptr),
      m_hfontOld(nullptr),
      m_pPen(nullptr),
      m_pBrush(nullptr),
      m_pFont(nullptr),
      m_hpenCur(nullptr),
      m_hbrushCur(nullptr),
      m_hfontCur(nullptr) {}

CGdiCanvas::~CGdiCanvas() {
  if (m_hdc != nullptr) {
    if (m_hfontOld != nullptr)
      ::SelectObject(m_hdc, m_hfontOld);
    if (m_hbrushOld != nullptr)
      ::SelectObject(m_hdc, m_hbrushOld);
    if (m_hpenOld != nullptr)
      ::SelectObject(m_hdc, m_hpenOld);
    if (m_hbmOld != nullptr)
      ::SelectObject(m_hdc, m_hbmOld);
  }
  if (m_fOwnsDc && m_hdc != nullptr)
    ::DeleteDC(m_hdc);
  if (m_hbm != nullptr)
    ::DeleteObject(m_hbm);
}

CGdiCanvas* CGdiCanvas::CreateMemory(HDC hdcRef, int cx, int cy) {
  if (cx <= 0 || cy <= 0)
    return nullptr;
  HDC hdcScreen = hdcRef != nullptr ? hdcRef : ::GetDC(nullptr);
  HDC hdc = ::CreateCompatibleDC(hdcScreen);
  HBITMAP hbm = hdc != nullptr ? ::CreateCompatibleBitmap(hdcScreen, cx, cy) : nullptr;
  if (hdcRef == nullptr)
    ::ReleaseDC(nullptr, hdcScreen);
  if (hbm == nullptr) {
    if (hdc != nullptr)
      ::DeleteDC(hdc);
    return nullptr;
  }
  CGdiCanvas* pCanvas = new CGdiCanvas(hdc, cx, cy);
  pCanvas->m_fOwnsDc = true;
  pCanvas->m_hbm = hbm;
  pCanvas->m_hbmOld = ::SelectObject(hdc, hbm);
  RECT rc = {0, 0, cx, cy};
  ::FillRect(hdc, &rc, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  return pCanvas;
}

CCanvas* CreateMemoryCanvas(int cx, int cy) { return CGdiCanvas::CreateMemory(nullptr, cx, cy); }

const CPen* CGdiCanvas::SelectPen(const CPen* pPen) {
  const CPen* pOld = m_pPen;
  const HGDIOBJ h = GetPenHandle(pPen);
  // Selecting the selected object again changes nothing.
  if (h != m_hpenCur) {
    HGDIOBJ hOld = ::SelectObject(m_hdc, h);
    if (m_hpenOld == nullptr)
      m_hpenOld = hOld;
    m_hpenCur = h;
  }
  m_pPen = pPen;
  return pOld;
}

const CBrush* CGdiCanvas::SelectBrush(const CBrush* pBrush) {
  const CBrush* pOld = m_pBrush;
  const HGDIOBJ h = GetBrushHandle(pBrush);
  // Selecting the selected object again changes nothing.
  if (h != m_hbrushCur) {
    HGDIOBJ hOld = ::SelectObject(m_hdc, h);
    if (m_hbrushOld == nullptr)
      m_hbrushOld = hOld;
    m_hbrushCur = h;
  }
  m_pBrush = pBrush;
  return pOld;
}

const CFont* CGdiCanvas::SelectFont(const CFont* pFont) {
  const CFont* pOld = m_pFont;
  const HGDIOBJ h = GetFontHandle(pFont);
  // Selecting the selected object again changes nothing.
  if (h != m_hfontCur) {
    HGDIOBJ hOld = ::SelectObject(m_hdc, h);
    if (m_hfontOld == nullptr)
      m_hfontOld = hOld;
    m_hfontCur = h;
  }
  m_pFont = pFont;
  return pOld;
}

COLORREF CGdiCanvas::SetTextColor(COLORREF cr) { return ::SetTextColor(m_hdc, cr); }
COLORREF CGdiCanvas::SetBkColor(COLORREF cr) { return ::SetBkColor(m_hdc, cr); }
int CGdiCanvas::SetBkMode(int nMode) { return ::SetBkMode(m_hdc, nMode); }
void CGdiCanvas::SetBrushOrigin(int x, int y) { ::SetBrushOrgEx(m_hdc, x, y, nullptr); }

void CGdiCanvas::Polygon(const VPoint* pPoints, int cPoints) {
  if (pPoints != nullptr && cPoints >= 2)
    ::Polygon(m_hdc, reinterpret_cast<const POINT*>(pPoints), cPoints);
}

void CGdiCanvas::Polyline(const VPoint* pPoints, int cPoints) {
  if (pPoints != nullptr && cPoints >= 2)
    ::Polyline(m_hdc, reinterpret_cast<const POINT*>(pPoints), cPoints);
}

void CGdiCanvas::Rectangle(int nLeft, int nTop, int nRight, int nBottom) {
  ::Rectangle(m_hdc, nLeft, nTop, nRight, nBottom);
}

void CGdiCanvas::Ellipse(int nLeft, int nTop, int nRight, int nBottom) {
  ::Ellipse(m_hdc, nLeft, nTop, nRight, nBottom);
}

void CGdiCanvas::FillRect(const VRect& rc, const CBrush* pBrush) {
  RECT r = {rc.left, rc.top, rc.right, rc.bottom};
  ::FillRect(m_hdc, &r, GetBrushHandle(pBrush));
}

VSize CGdiCanvas::GetTextExtent(const char16_t* pText, int cch) {
  SIZE size = {0, 0};
  if (pText != nullptr && cch > 0)
    ::GetTextExtentPoint32W(m_hdc, W(pText), cch, &size);
  else
    ::GetTextExtentPoint32W(m_hdc, L"", 0, &size);
  return {size.cx, size.cy};
}

void CGdiCanvas::TextOutAt(int x, int y, const char16_t* pText, int cch) {
  if (pText != nullptr && cch > 0)
    ::TextOutW(m_hdc, x, y, W(pText), cch);
}

int CGdiCanvas::DrawTextIn(const char16_t* pText, int cch, VRect& rc, uint32_t dwFlags) {
  if (pText == nullptr)
    return 0;
  RECT r = {rc.left, rc.top, rc.right, rc.bottom};
  int cy = ::DrawTextW(m_hdc, W(pText), cch, &r, dwFlags);
  if (dwFlags & dtCalcRect)
    rc = {r.left, r.top, r.right, r.bottom};
  return cy;
}

void CGdiCanvas::DrawIcon(const CIcon* pIcon, int x, int y, int cx, int cy) {
  HICON hicon = GetIconHandle(pIcon);
  if (hicon != nullptr)
    ::DrawIconEx(m_hdc, x, y, hicon, cx, cy, 0, nullptr, DI_NORMAL);
}

bool CGdiCanvas::BitBlt(int xDst, int yDst, int cx, int cy, CCanvas* pSrc, int xSrc, int ySrc) {
  if (pSrc == nullptr || pSrc->Kind() != ckGdi)
    return false;
  return ::BitBlt(m_hdc, xDst, yDst, cx, cy, static_cast<CGdiCanvas*>(pSrc)->m_hdc, xSrc, ySrc, SRCCOPY) != FALSE;
}

bool CGdiCanvas::StretchBlt(int xDst, int yDst, int cxDst, int cyDst, CCanvas* pSrc, int xSrc,
                            int ySrc, int cxSrc, int cySrc) {
  if (pSrc == nullptr || pSrc->Kind() != ckGdi)
    return false;
  int nOld = ::SetStretchBltMode(m_hdc, HALFTONE);
  POINT ptOld;
  ::SetBrushOrgEx(m_hdc, 0, 0, &ptOld);  // HALFTONE needs the brush origin reset
  BOOL f = ::StretchBlt(m_hdc, xDst, yDst, cxDst, cyDst, static_cast<CGdiCanvas*>(pSrc)->m_hdc, xSrc,
                        ySrc, cxSrc, cySrc, SRCCOPY);
  ::SetBrushOrgEx(m_hdc, ptOld.x, ptOld.y, nullptr);
  ::SetStretchBltMode(m_hdc, nOld);
  return f != FALSE;
}

COLORREF CGdiCanvas::GetPixel(int x, int y) {
  if (unsigned(x) >= unsigned(m_cx) || unsigned(y) >= unsigned(m_cy))
    return 0;
  COLORREF cr = ::GetPixel(m_hdc, x, y);
  return cr == CLR_INVALID ? 0 : cr;
}

bool LoadBitmapResource(void* hModule, uint32_t id, std::basic_string<uint8_t>& dib) {
  dib.clear();
  HMODULE hmod = static_cast<HMODULE>(hModule);
  HRSRC hrsrc = ::FindResourceW(hmod, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
  HGLOBAL hres = hrsrc != nullptr ? ::LoadResource(hmod, hrsrc) : nullptr;
  const void* pv = hres != nullptr ? ::LockResource(hres) : nullptr;
  if (pv != nullptr) {
    const uint8_t* pb = static_cast<const uint8_t*>(pv);
    dib.assign(pb, pb + ::SizeofResource(hmod, hrsrc));
    return !dib.empty();
  }
  // Programs without the resources (the tools) read the bitmap files.
  return ReadBitmapResourceFile(id, dib);
}

CIcon* LoadIconResource(void* hModule, uint32_t id, int cx, int cy) {
  HICON hicon = static_cast<HICON>(::LoadImageW(static_cast<HINSTANCE>(hModule), MAKEINTRESOURCEW(id),
                                                IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
  if (hicon == nullptr) {
    // Programs without the icon resources (the tools) read the icon files.
    return ReadIconResourceFile(id, cx, cy);
  }
  // Draw it onto black and onto white: the two images give colour and alpha.
  CIcon* pIcon = new CIcon(cx, cy);
  HDC hdcScreen = ::GetDC(nullptr);
  HDC hdc = ::CreateCompatibleDC(hdcScreen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = cx;
  bi.bmiHeader.biHeight = -cy;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* pBlack = nullptr;
  void* pWhite = nullptr;
  HBITMAP hbmBlack = ::CreateDIBSection(hdcScreen, &bi, DIB_RGB_COLORS, &pBlack, nullptr, 0);
  HBITMAP hbmWhite = ::CreateDIBSection(hdcScreen, &bi, DIB_RGB_COLORS, &pWhite, nullptr, 0);
  ::ReleaseDC(nullptr, hdcScreen);
  if (hdc != nullptr && hbmBlack != nullptr && hbmWhite != nullptr) {
    RECT rc = {0, 0, cx, cy};
    HGDIOBJ hOld = ::SelectObject(hdc, hbmBlack);
    ::FillRect(hdc, &rc, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::DrawIconEx(hdc, 0, 0, hicon, cx, cy, 0, nullptr, DI_NORMAL);
    ::SelectObject(hdc, hbmWhite);
    ::FillRect(hdc, &rc, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawIconEx(hdc, 0, 0, hicon, cx, cy, 0, nullptr, DI_NORMAL);
    ::SelectObject(hdc, hOld);
    ::GdiFlush();
    const DWORD* pb = static_cast<const DWORD*>(pBlack);
    const DWORD* pw = static_cast<const DWORD*>(pWhite);
    for (size_t i = 0; i < size_t(cx) * size_t(cy); ++i) {
      // On black the colour is c·a, on white c·a + 255·(1 − a).
      int a = 255 - (int((pw[i] >> 8) & 0xFF) - int((pb[i] >> 8) & 0xFF));
      a = a < 0 ? 0 : a > 255 ? 255 : a;
      uint32_t rgb = 0;
      if (a > 0) {
        for (int k = 16; k >= 0; k -= 8) {
          int c = int((pb[i] >> k) & 0xFF) * 255 / a;
          rgb |= uint32_t(c > 255 ? 255 : c) << k;
        }
      }
      pIcon->m_px[i] = (uint32_t(a) << 24) | rgb;
    }
  }
  if (hbmBlack != nullptr)
    ::DeleteObject(hbmBlack);
  if (hbmWhite != nullptr)
    ::DeleteObject(hbmWhite);
  if (hdc != nullptr)
    ::DeleteDC(hdc);
  ::DestroyIcon(hicon);
  return pIcon;
}

}  // namespace platform
