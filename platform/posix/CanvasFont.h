// The built-in bitmap fonts of the software canvas: fixed-cell faces of two
// sizes, regular and bold, for Latin, Latin-1 and Cyrillic.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

struct BitmapFont {
  int m_cxCell;              // cell width in pixels
  int m_cyCell;              // cell height in pixels
  int m_cyAscent;            // rows above the base line
  bool m_fBold;
  const char16_t* m_pCodes;  // sorted character codes
  size_t m_cCodes;
  const uint16_t* m_pRows;   // m_cyCell rows per code; bit x is column x
};

const int c_cBuiltinFonts = 4;  // 6x13, 6x13 bold, 9x18, 9x18 bold
extern const BitmapFont g_rgBuiltinFonts[c_cBuiltinFonts];

// The rows of the glyph of ch, or of "?" when the font has no such glyph.
const uint16_t* FindGlyph(const BitmapFont& font, char16_t ch);

}  // namespace platform
