// The drawing surface: a GDI-shaped canvas with pens, brushes, fonts and
// icons. On Windows the canvas is a device context (platform/win32); the
// portable software raster (platform/posix) is deterministic, has a built-in
// bitmap font for Latin and Cyrillic, and writes BMP and PNG files.
//
// Pens, brushes, fonts and icons are plain descriptions owned by their
// creator; a back end realises them on first use and keeps its native handle
// inside the object until the object is destroyed.
#pragma once
#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace platform {

// Pen styles, with the values of the PS_ constants.
enum PenStyle : int {
  psSolid = 0,
  psDash = 1,
  psDot = 2,
  psNull = 5,
};

// Background modes, with the values of TRANSPARENT and OPAQUE.
enum BkMode : int {
  bmTransparent = 1,
  bmOpaque = 2,
};

// Text format flags, with the values of the DT_ constants.
enum DrawTextFlags : uint32_t {
  dtLeft = 0x0000,
  dtCenter = 0x0001,
  dtRight = 0x0002,
  dtVCenter = 0x0004,
  dtBottom = 0x0008,
  dtWordBreak = 0x0010,
  dtSingleLine = 0x0020,
  dtNoClip = 0x0100,
  dtCalcRect = 0x0400,
  dtNoPrefix = 0x0800,
};

// Font weights of the FW_ constants.
const int c_nFwNormal = 400;
const int c_nFwBold = 700;

// The side of a pattern brush's bitmap.
const int c_cPatternSide = 16;

class CCanvasObject;
// Releases a back end's native handle of an object.
typedef void (*NativeFree)(void* hNative);

// Base of every drawing object: the native handle a back end made for it.
class CCanvasObject {
 public:
  CCanvasObject() : m_hNative(nullptr), m_pfnFree(nullptr) {}
  virtual ~CCanvasObject() { ReleaseNative(); }
  CCanvasObject(const CCanvasObject&) = delete;
  CCanvasObject& operator=(const CCanvasObject&) = delete;

  void* GetNative() const { return m_hNative; }
  void SetNative(void* hNative, NativeFree pfnFree) const {
    ReleaseNative();
    m_hNative = hNative;
    m_pfnFree = pfnFree;
  }
  void ReleaseNative() const {
    if (m_hNative != nullptr && m_pfnFree != nullptr)
      m_pfnFree(m_hNative);
    m_hNative = nullptr;
    m_pfnFree = nullptr;
  }

 private:
  mutable void* m_hNative;
  mutable NativeFree m_pfnFree;
};

class CPen : public CCanvasObject {
 public:
  CPen(int nStyle, int nWidth, COLORREF cr) : m_nStyle(nStyle), m_nWidth(nWidth), m_cr(cr) {}
  int m_nStyle;
  int m_nWidth;  // 0 draws like 1
  COLORREF m_cr;
};

enum BrushKind : int {
  bkNull = 0,
  bkSolid = 1,
  bkPattern = 2,
};

class CBrush : public CCanvasObject {
 public:
  // A null or solid brush.
  CBrush(BrushKind kind, COLORREF cr) : m_kind(kind), m_cr(cr), m_rgPattern{} {}
  // A pattern brush of a 16 × 16 colour bitmap (rows top to bottom).
  explicit CBrush(const COLORREF* pPattern) : m_kind(bkPattern), m_cr(0), m_rgPattern{} {
    for (int i = 0; i < c_cPatternSide * c_cPatternSide; ++i)
      m_rgPattern[i] = pPattern[i];
  }
  BrushKind m_kind;
  COLORREF m_cr;
  COLORREF m_rgPattern[c_cPatternSide * c_cPatternSide];
};

class CFont : public CCanvasObject {
 public:
  // nHeight > 0 is the cell height, < 0 the character height (as in
  // CreateFont); nWidth 0 is the face's natural width; escapement and
  // orientation in tenths of a degree, counter-clockwise.
  CFont(const char16_t* pszFace, int nHeight, int nWidth, int nWeight, int nEscapement)
      : m_strFace(pszFace), m_nHeight(nHeight), m_nWidth(nWidth), m_nWeight(nWeight),
        m_nEscapement(nEscapement) {}
  std::u16string m_strFace;
  int m_nHeight;
  int m_nWidth;
  int m_nWeight;
  int m_nEscapement;
};

// An icon as 32-bit pixels 0xAARRGGBB (straight alpha), rows top to bottom.
// A pixel with alpha below 128 is transparent.
class CIcon : public CCanvasObject {
 public:
  CIcon(int cx, int cy) : m_cx(cx), m_cy(cy), m_px(size_t(cx > 0 ? cx : 0) * size_t(cy > 0 ? cy : 0), 0) {}
  int m_cx;
  int m_cy;
  std::basic_string<uint32_t> m_px;
  uint32_t At(int x, int y) const { return m_px[size_t(y) * size_t(m_cx) + size_t(x)]; }
};

struct VSize {
  int32_t cx;
  int32_t cy;
};

// The back end of a canvas; blits work only between canvases of one kind.
enum CanvasKind : int {
  ckSoft = 0,
  ckGdi = 1,
};

// A drawing surface. Coordinates are pixels, x to the right, y down.
// Polygons fill in alternate mode and include their left and top edges;
// lines leave out their last point (as GDI does).
class CCanvas {
 public:
  CCanvas() = default;
  virtual ~CCanvas() = default;
  CCanvas(const CCanvas&) = delete;
  CCanvas& operator=(const CCanvas&) = delete;

  virtual CanvasKind Kind() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;

  // Selection returns the previous object (null at first).
  virtual const CPen* SelectPen(const CPen* pPen) = 0;
  virtual const CBrush* SelectBrush(const CBrush* pBrush) = 0;
  virtual const CFont* SelectFont(const CFont* pFont) = 0;
  virtual COLORREF SetTextColor(COLORREF cr) = 0;
  virtual COLORREF SetBkColor(COLORREF cr) = 0;
  virtual int SetBkMode(int nMode) = 0;
  // Pattern brushes repeat from this point.
  virtual void SetBrushOrigin(int x, int y) = 0;

  virtual void Polygon(const VPoint* pPoints, int cPoints) = 0;
  virtual void Polyline(const VPoint* pPoints, int cPoints) = 0;
  // Rectangle and ellipse in the box [left, right) × [top, bottom), filled
  // with the brush and outlined with the pen.
  virtual void Rectangle(int nLeft, int nTop, int nRight, int nBottom) = 0;
  virtual void Ellipse(int nLeft, int nTop, int nRight, int nBottom) = 0;
  // Fills the box with the brush; no outline.
  virtual void FillRect(const VRect& rc, const CBrush* pBrush) = 0;

  virtual VSize GetTextExtent(const char16_t* pText, int cch) = 0;
  // The reference point is the top-left of the text (turned with the font's
  // escapement). The opaque mode fills the text's box with the background
  // colour first.
  virtual void TextOutAt(int x, int y, const char16_t* pText, int cch) = 0;
  // Text in a rectangle with dt* flags; with dtCalcRect only measures and
  // sets the rectangle's right and bottom. Returns the text's height.
  virtual int DrawTextIn(const char16_t* pText, int cch, VRect& rc, uint32_t dwFlags) = 0;

  // Draws the icon stretched into the box at (x, y) of cx × cy pixels.
  virtual void DrawIcon(const CIcon* pIcon, int x, int y, int cx, int cy) = 0;

  // Copies from another canvas of the same back end. False when the source
  // is of another kind.
  virtual bool BitBlt(int xDst, int yDst, int cx, int cy, CCanvas* pSrc, int xSrc, int ySrc) = 0;
  // Stretches with halftone (averaging) quality.
  virtual bool StretchBlt(int xDst, int yDst, int cxDst, int cyDst, CCanvas* pSrc, int xSrc,
                          int ySrc, int cxSrc, int cySrc) = 0;

  // Reads one pixel (tests and image export). Outside the surface: 0.
  virtual COLORREF GetPixel(int x, int y) = 0;
};

// Stock objects: the null pen and the null brush never need deleting.
const CPen* GetNullPen();
const CBrush* GetNullBrush();

// A memory surface of the build's own kind (GDI on Windows, the software
// raster natively), cleared to white. Null when it cannot be made.
CCanvas* CreateMemoryCanvas(int cx, int cy);

// The software raster, on every build.
CCanvas* CreateSoftCanvas(int cx, int cy);

// Writes the canvas's pixels as a 24-bit BMP or an RGB PNG file, replacing
// the file atomically. False on failure.
bool SaveCanvasBmp(CCanvas* pCanvas, const char16_t* pszPath);
bool SaveCanvasPng(CCanvas* pCanvas, const char16_t* pszPath);
// The PNG bytes of the canvas (for callers that write elsewhere).
bool EncodeCanvasPng(CCanvas* pCanvas, std::string& strOut);

// Loads icon resource id of the module at cx × cy (Windows: the module's
// icon; natively: the icon file "<id>.ico" in the resource folder, 32-bit
// images only). Null when missing or unreadable.
CIcon* LoadIconResource(void* hModule, uint32_t id, int cx, int cy);
// Reads an icon file (32-bit images only): the image nearest in width to cx,
// scaled to cx × cy. Bounds-checked; null when the bytes are no such file.
CIcon* ReadIconFile(const uint8_t* p, size_t cb, int cx, int cy);
// Copies bitmap resource id of the module as a packed DIB (the info header,
// any colour table and the pixels; natively the file "<id>.bmp" in the
// resource folder less its file header). False when missing.
bool LoadBitmapResource(void* hModule, uint32_t id, std::basic_string<uint8_t>& dib);
// The folder the native build reads icon files from.
void SetResourceFolder(const char16_t* pszFolder);
const std::u16string& GetResourceFolder();
// The files "<id>.ico" and "<id>.bmp" of the resource folder, for programs
// without the resources (the native build, the tools).
CIcon* ReadIconResourceFile(uint32_t id, int cx, int cy);
bool ReadBitmapResourceFile(uint32_t id, std::basic_string<uint8_t>& dib);

}  // namespace platform
