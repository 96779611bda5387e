// The 16 × 16 pattern bitmaps of the drawing types (resource numbers 102–108,
// 168–178, 188–197) and the tinted pattern brushes made from them.
#pragma once
#include <cstdint>

#include "platform/Canvas.h"

// Fills the 256 pixels of pattern bitmap n. False for an unknown number.
bool GetPatternBitmap(int nPattern, COLORREF* pPixels);
// The pattern's white pixels show the tint colour; the rest stays.
bool GetTintedPattern(int nPattern, COLORREF crTint, COLORREF* pPixels);
// A pattern brush of bitmap n, tinted when fTint is set. Null for an
// unknown number.
platform::CBrush* CreatePatternBrushOf(int nPattern, bool fTint, COLORREF crTint);

// Every pattern number, for the resource files and the tests.
extern const int g_rgPatternNumbers[];
extern const int g_cPatternNumbers;
