// What a map reader's Draw walk talks to: the drawing context of the map
// page, the label collector and the type-to-style look-ups. The map page and
// the label placement code implement these; the readers know nothing else of
// them. Style objects (pens, brushes, icons, label styles) are opaque handles.
#pragma once
#include <cstddef>
#include <cstdint>

#include "map/MapRect.h"
#include "platform/WinTypes.h"

class CMapParser;

typedef const void* StyleHandle;

// Type code -> drawing resources (the drawing types of the map display).
// A null handle means "none" (no pen: the line is not drawn; no icon).
class CStyleSource {
 public:
  CStyleSource() = default;
  virtual ~CStyleSource() = default;
  CStyleSource(const CStyleSource&) = delete;
  CStyleSource& operator=(const CStyleSource&) = delete;

  virtual StyleHandle GetAreaBrush(uint16_t wType) = 0;
  virtual StyleHandle GetAreaLabelStyle(uint16_t wType) = 0;
  virtual StyleHandle GetLinePen(uint16_t wType) = 0;
  virtual StyleHandle GetLineCorePen(uint16_t wType) = 0;
  virtual StyleHandle GetLineLabelStyle(uint16_t wType) = 0;
  virtual StyleHandle GetPointIcon(uint16_t wType) = 0;
  virtual StyleHandle GetPointLabelStyle(uint16_t wType) = 0;
};

// Builds the drawing types object a parser hands out from GetDrawTypes. The
// map display installs its factory at start; without one GetDrawTypes
// answers null and readers draw with CDefaultStyles.
typedef CStyleSource* (*DrawTypesFactory)();
void SetDrawTypesFactory(DrawTypesFactory pfn);
CStyleSource* CreateDrawTypes();  // null without a factory

// Styles used when no drawing types exist (tools, tests): every area has a
// brush and every line a pen (the handle value 1), points have no icon, and
// every kind has a label style.
class CDefaultStyles : public CStyleSource {
 public:
  StyleHandle GetAreaBrush(uint16_t) override { return c_hDefault; }
  StyleHandle GetAreaLabelStyle(uint16_t) override { return c_hDefault; }
  StyleHandle GetLinePen(uint16_t) override { return c_hDefault; }
  StyleHandle GetLineCorePen(uint16_t) override { return nullptr; }
  StyleHandle GetLineLabelStyle(uint16_t) override { return c_hDefault; }
  StyleHandle GetPointIcon(uint16_t) override { return nullptr; }
  StyleHandle GetPointLabelStyle(uint16_t) override { return c_hDefault; }
  static const StyleHandle c_hDefault;
};

// One drawing pass of the map page as a reader sees it.
class CDrawSink {
 public:
  CDrawSink() = default;
  virtual ~CDrawSink() = default;
  CDrawSink(const CDrawSink&) = delete;
  CDrawSink& operator=(const CDrawSink&) = delete;

  // The view: current scale index (0..26), the visible map rectangle, the
  // screen's horizontal scale factor and the map -> screen transform.
  virtual int GetScaleIndex() const = 0;
  // The detail the user asked for: levels finer (> 0) or coarser (< 0)
  // than the one a map would draw at the scale (DetailScaleIndex).
  virtual int GetMapDetail() const { return 0; }
  virtual MapRect GetVisibleRect() const = 0;
  virtual int GetScaleFactorX() const = 0;
  virtual VPoint ToScreen(int32_t x, int32_t y) const = 0;
  virtual void ToScreenMany(const MapPoint* pMap, VPoint* pScreen, size_t cPoints) const {
    for (size_t i = 0; i < cPoints; ++i) pScreen[i] = ToScreen(pMap[i].x, pMap[i].y);
  }
  // True when the rectangle is at least cxMin pixels wide or cyMin pixels
  // high on screen.
  virtual bool IsAtLeast(const MapRect& rect, int cxMin, int cyMin) const = 0;

  virtual void DrawPolygon(const VPoint* pPoints, size_t cPoints, StyleHandle hBrush) = 0;
  virtual void DrawPolyline(const VPoint* pPoints, size_t cPoints, StyleHandle hPen, StyleHandle hCore) = 0;
  virtual void DrawDirectionArrows(const VPoint* pPoints, size_t cPoints) = 0;

  // Lets the message loop run; readers stop as soon as IsInterrupted().
  virtual void Yield() = 0;
  virtual bool IsInterrupted() const = 0;

  // Shows a map-level message (string id with up to two text arguments) in
  // place of the map.
  virtual void ShowMapMessage(uint32_t idString, const char16_t* pszArg1, const char16_t* pszArg2) = 0;
};

// The label collector: readers hand it labels while they draw; it fetches
// the texts later through CMapParser::GetLabel(…, dwTextRef, …).
class CLabelSink {
 public:
  CLabelSink() = default;
  virtual ~CLabelSink() = default;
  CLabelSink(const CLabelSink&) = delete;
  CLabelSink& operator=(const CLabelSink&) = delete;

  virtual void AddPointLabel(CMapParser* pParser, uint16_t wLabelRef, const char16_t* pText, size_t cText,
                             uint32_t dwTextRef, int32_t x, int32_t y, uint16_t wPriority, StyleHandle hLabelStyle,
                             StyleHandle hIcon) = 0;
  virtual void AddLineLabel(CMapParser* pParser, uint16_t wLabelRef, bool fHorizontal, const char16_t* pText,
                            size_t cText, uint32_t dwTextRef, const VPoint* pPoints, size_t cPoints,
                            const MapRect& rect, StyleHandle hLabelStyle) = 0;
  virtual void AddAreaLabel(CMapParser* pParser, uint16_t wLabelRef, const char16_t* pText, size_t cText,
                            uint32_t dwTextRef, const VPoint* pPoints, size_t cPoints, const MapRect& rect,
                            StyleHandle hLabelStyle) = 0;
};

// Label interpretation: turns a raw map label into the text shown (at most
// 63 characters and a terminating 0 in pszOut, 64 units). Returns the output
// length; *pnShield receives the shield kind (0 = none). The map display
// installs the full interpreter (units of elevation and depth labels); the
// default one handles the control codes only. Lines use their short form
// (abbreviations cut) when fFullForm is false.
typedef size_t (*LabelInterpreter)(int nKind, uint16_t wType, bool fMapUnit, const char16_t* pRaw, size_t cRaw,
                                   char16_t* pszOut, int* pnShield, bool fFullForm);
void SetLabelInterpreter(LabelInterpreter pfn);
size_t InterpretMapLabel(int nKind, uint16_t wType, bool fMapUnit, const char16_t* pRaw, size_t cRaw,
                         char16_t* pszOut, int* pnShield, bool fFullForm);
size_t InterpretLabelControlCodes(int nKind, uint16_t wType, bool fMapUnit, const char16_t* pRaw, size_t cRaw,
                                  char16_t* pszOut, int* pnShield, bool fFullForm);
const size_t c_cchLabelOut = 64;
