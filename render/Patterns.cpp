// The pattern bitmaps, drawn from small rules: hatches, dots and symbols on
// white (white is where a tint shows) or on their own ground colour.
#include "render/Patterns.h"

#include <cstdlib>

namespace {

const COLORREF c_crWhite = 0xFFFFFF;
const COLORREF c_crGrey = 0x808080;
const COLORREF c_crDarkGreen = 0x207030;
const COLORREF c_crGreen = 0x40A050;
const COLORREF c_crLightGreen = 0xB7E9C9;
const COLORREF c_crBlue = 0xC08040;
const COLORREF c_crBrown = 0x306090;
const COLORREF c_crSand = 0x60A0C8;

typedef COLORREF (*PatternRule)(int x, int y);

// A small tree (a dot with a trunk) every 8 pixels, offset by row.
COLORREF Tree(int x, int y, int nShift, COLORREF cr) {
  int cx = (x + ((y / 8) % 2) * nShift) % 8, cy = y % 8;
  if ((cx >= 2 && cx <= 4 && cy >= 1 && cy <= 3) || (cx == 3 && cy == 4))
    return cr;
  return c_crWhite;
}

struct PatternDef {
  int nNumber;
  PatternRule pfn;
};

const PatternDef c_rgPatterns[] = {
    // 102 cemetery: crosses on pale green.
    {102, [](int x, int y) -> COLORREF {
       int cx = x % 8, cy = y % 8;
       return ((cx == 3 && cy >= 1 && cy <= 5) || (cy == 2 && cx >= 2 && cx <= 4)) ? c_crGrey : c_crLightGreen;
     }},
    // 103 orchard: green dots in rows on pale green.
    {103, [](int x, int y) -> COLORREF { return (x % 4 == 1 && y % 4 == 1) ? c_crGreen : c_crLightGreen; }},
    // 104 scrub: scattered marks on white.
    {104, [](int x, int y) -> COLORREF {
       return ((x * 7 + y * 5) % 16 == 0 || (x * 3 + y * 11) % 16 == 0) ? c_crDarkGreen : c_crWhite;
     }},
    // 105 tundra: short horizontal strokes.
    {105, [](int x, int y) -> COLORREF {
       return (y % 4 == 2 && ((x + (y / 4) * 3) % 8) < 3) ? c_crBrown : c_crWhite;
     }},
    // 106 unknown: grey diagonal hatch.
    {106, [](int x, int y) -> COLORREF { return ((x + y) % 8 == 0) ? c_crGrey : c_crWhite; }},
    // 107 intermittent water: blue dashes.
    {107, [](int x, int y) -> COLORREF {
       return (y % 4 == 0 && ((x + (y / 4) * 4) % 8) < 5) ? c_crBlue : c_crWhite;
     }},
    // 108 marsh: tufts of short lines.
    {108, [](int x, int y) -> COLORREF {
       int cx = x % 8, cy = y % 8;
       return (cy == 5 && cx <= 4) || (cy == 3 && cx == 2) || (cy == 4 && (cx == 1 || cx == 3)) ? c_crBlue
                                                                                               : c_crWhite;
     }},
    {168, [](int x, int y) -> COLORREF { return (x % 4 == 0 && y % 4 == 0) ? c_crGrey : c_crWhite; }},
    {169, [](int x, int y) -> COLORREF { return (y % 4 == 0) ? c_crGrey : c_crWhite; }},
    {170, [](int x, int y) -> COLORREF { return (x % 4 == 0) ? c_crGrey : c_crWhite; }},
    {171, [](int x, int y) -> COLORREF { return ((x + y) % 4 == 0) ? c_crGrey : c_crWhite; }},
    {172, [](int x, int y) -> COLORREF { return ((x - y + 16) % 4 == 0) ? c_crGrey : c_crWhite; }},
    {173, [](int x, int y) -> COLORREF {
       return ((x + y) % 6 == 0 || (x - y + 18) % 6 == 0) ? c_crGrey : c_crWhite;
     }},
    {174, [](int x, int y) -> COLORREF { return (x % 8 == 0 || y % 8 == 0) ? c_crGrey : c_crWhite; }},
    // 175 sand: sparse brown dots.
    {175, [](int x, int y) -> COLORREF {
       return ((x * 5 + y * 3) % 13 == 0 && (x + y) % 2 == 0) ? c_crSand : c_crWhite;
     }},
    // 176 waves.
    {176, [](int x, int y) -> COLORREF {
       static const int c_rgWave[8] = {0, 1, 2, 2, 2, 1, 0, 0};
       return (y % 8 == c_rgWave[x % 8] + 2) ? c_crBlue : c_crWhite;
     }},
    // 177 bricks.
    {177, [](int x, int y) -> COLORREF {
       return (y % 4 == 0 || ((x + (y / 4 % 2) * 4) % 8 == 0)) ? c_crBrown : c_crWhite;
     }},
    {178, [](int x, int y) -> COLORREF { return ((x / 2 + y / 2) % 2 == 0 && (x + y) % 2 == 0) ? c_crGrey : c_crWhite; }},
    // 188–197: vegetation.
    {188, [](int x, int y) -> COLORREF { return Tree(x, y, 4, c_crDarkGreen); }},
    {189, [](int x, int y) -> COLORREF { return Tree(x, y, 0, c_crDarkGreen); }},
    {190, [](int x, int y) -> COLORREF { return Tree(x, y, 4, c_crGreen); }},
    {191, [](int x, int y) -> COLORREF { return (x % 8 == 4 && y % 2 == 0) ? c_crGreen : c_crWhite; }},
    {192, [](int x, int y) -> COLORREF { return ((x + 2 * y) % 8 == 0) ? c_crGreen : c_crWhite; }},
    {193, [](int x, int y) -> COLORREF { return (x % 4 == 2 && y % 4 == 2) ? c_crDarkGreen : c_crWhite; }},
    {194, [](int x, int y) -> COLORREF { return ((x + y) % 8 == 0 || (x - y + 16) % 8 == 0) ? c_crGreen : c_crWhite; }},
    {195, [](int x, int y) -> COLORREF {
       int cx = x % 8, cy = y % 8;
       return (cy == 6 && cx <= 4) || (cx == 2 && cy >= 2 && cy <= 6) ? c_crDarkGreen : c_crWhite;
     }},
    {196, [](int x, int y) -> COLORREF {
       int cx = x % 8, cy = y % 8;
       return ((cx == 3 && cy <= 5 && cy >= 1) || (cy == 5 && (cx == 2 || cx == 4)) || (cy == 3 && (cx == 2 || cx == 4)))
                  ? c_crDarkGreen
                  : c_crWhite;
     }},
    {197, [](int x, int y) -> COLORREF { return Tree(x, y, 2, c_crGreen); }},
};

const PatternDef* FindPattern(int nPattern) {
  for (const PatternDef& def : c_rgPatterns)
    if (def.nNumber == nPattern)
      return &def;
  return nullptr;
}

}  // namespace

const int g_rgPatternNumbers[] = {102, 103, 104, 105, 106, 107, 108, 168, 169, 170, 171, 172, 173, 174, 175,
                                  176, 177, 178, 188, 189, 190, 191, 192, 193, 194, 195, 196, 197};
const int g_cPatternNumbers = int(sizeof(g_rgPatternNumbers) / sizeof(g_rgPatternNumbers[0]));

bool GetPatternBitmap(int nPattern, COLORREF* pPixels) {
  const PatternDef* pDef = FindPattern(nPattern);
  if (pDef == nullptr || pPixels == nullptr)
    return false;
  for (int y = 0; y < platform::c_cPatternSide; ++y)
    for (int x = 0; x < platform::c_cPatternSide; ++x)
      pPixels[y * platform::c_cPatternSide + x] = pDef->pfn(x, y);
  return true;
}

bool GetTintedPattern(int nPattern, COLORREF crTint, COLORREF* pPixels) {
  if (!GetPatternBitmap(nPattern, pPixels))
    return false;
  // The pattern is copied over a bitmap of the tint with white transparent.
  for (int i = 0; i < platform::c_cPatternSide * platform::c_cPatternSide; ++i)
    if ((pPixels[i] & 0xFFFFFF) == c_crWhite)
      pPixels[i] = crTint & 0xFFFFFF;
  return true;
}

platform::CBrush* CreatePatternBrushOf(int nPattern, bool fTint, COLORREF crTint) {
  COLORREF rgPixels[platform::c_cPatternSide * platform::c_cPatternSide];
  bool fOk = fTint ? GetTintedPattern(nPattern, crTint, rgPixels) : GetPatternBitmap(nPattern, rgPixels);
  if (!fOk)
    return nullptr;
  return new platform::CBrush(rgPixels);
}
