// The built-in style tables: areas, lines, points and the low-byte point
// table of types 0x1600–0x1BFF. Sorted by first type.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

enum BuiltinBrushKind : int {
  bbNone = 0,     // no fill
  bbSolid = 1,    // solid colour
  bbPattern = 2,  // pattern bitmap as it is
  bbTinted = 3,   // pattern bitmap, white shows the colour
};

// Label fonts of areas and points.
enum MapLabelFont : int {
  mfNone = -1,
  mfF12 = 0,
  mfF14 = 1,
  mfF14B = 2,
  mfF16B = 3,
  mfF18B = 4,
};
const int c_cMapLabelFonts = 5;

struct BuiltinArea {
  uint16_t wFirst;
  uint16_t wLast;
  int nBrushKind;
  int nPattern;
  COLORREF cr;
  int nLabelFont;  // mfNone: no label
  COLORREF crLabel;
};

struct BuiltinPen {
  int nStyle;  // -1: no pen
  int nWidth;
  int nHighWidth;
  COLORREF cr;
};

struct BuiltinLine {
  uint16_t wFirst;
  uint16_t wLast;
  BuiltinPen pen1;
  BuiltinPen pen2;
  int nLabelSelector;
  COLORREF crLabel;
  bool fFlag;
};

struct BuiltinPoint {
  uint16_t wFirst;
  uint16_t wLast;
  uint32_t idIcon;
  int nLabelFont;
  COLORREF crLabel;
};

extern const BuiltinArea g_rgBuiltinAreas[];
extern const size_t g_cBuiltinAreas;
extern const BuiltinLine g_rgBuiltinLines[];
extern const size_t g_cBuiltinLines;
// The point table (284 entries) and the low-byte table (23 entries).
const BuiltinPoint* GetBuiltinPoints(size_t& cPoints);
const BuiltinPoint* GetBuiltinLowBytePoints(size_t& cPoints);
