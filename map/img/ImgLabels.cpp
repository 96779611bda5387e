#include "map/img/ImgLabels.h"

#include "map/img/CodePage.h"

namespace img {

namespace {

enum SixBitState { sbNormal, sbSymbol, sbLower };

const uint32_t c_nEndCode = 0x30;

}  // namespace

size_t DecodeSixBitLabel(const uint8_t* p, size_t cb, char16_t* pszOut, size_t cchOut, size_t* pcbUsed) {
  size_t cMax = cchOut ? cchOut - 1 : 0;
  if (cMax > c_cLabelMaxLen) cMax = c_cLabelMaxLen;
  size_t c = 0;
  size_t cbUsed = 0;
  SixBitState state = sbNormal;
  bool fCapital = true;
  bool fEnd = false;
  for (size_t i = 0; !fEnd && i < cb; i += 3) {
    // Up to three bytes give four codes; a group cut by the end of the data
    // gives the codes whose bits are all there.
    uint32_t dw = 0;
    size_t cHave = cb - i < 3 ? cb - i : 3;
    for (size_t k = 0; k < 3; ++k) dw = dw << 8 | (k < cHave ? p[i + k] : 0);
    size_t cCodes = cHave * 8 / 6;
    for (size_t k = 0; k < cCodes; ++k) {
      uint32_t nCode = (dw >> (18 - 6 * k)) & 0x3F;
      // The byte that holds the code's first bit.
      size_t cbCode = i + (6 * k) / 8 + 1;
      if (cbCode > cbUsed) cbUsed = cbCode;
      if (nCode >= c_nEndCode) {
        fEnd = true;
        break;
      }
      char16_t ch = 0;
      bool fChar = true;
      switch (state) {
        case sbNormal:
          if (nCode == 0) {
            ch = u' ';
            fCapital = true;
          } else if (nCode <= 0x1A) {
            ch = char16_t((fCapital ? u'A' : u'a') + nCode - 1);
            fCapital = false;
          } else if (nCode == 0x1B) {
            state = sbLower;
            fChar = false;
          } else if (nCode == 0x1C) {
            state = sbSymbol;
            fChar = false;
          } else if (nCode <= 0x1F) {
            ch = char16_t(nCode);
          } else if (nCode <= 0x29) {
            ch = char16_t(u'0' + nCode - 0x20);
          } else {
            ch = char16_t(nCode - 0x29);  // road shield markers 1..6
          }
          break;
        case sbSymbol:
          state = sbNormal;
          if (nCode == 0) ch = 0x40;
          else if (nCode == 2) ch = 0x27;
          else if (nCode <= 0x0F || (nCode >= 0x1A && nCode <= 0x1F)) ch = char16_t(nCode + 0x20);
          else if (nCode >= 0x2B) ch = char16_t(nCode + 0x30);
          else ch = u'?';
          break;
        case sbLower:
          state = sbNormal;
          if (nCode <= 0x1A) ch = char16_t(nCode + 0x60);
          else if (nCode >= 0x20 && nCode <= 0x29) ch = char16_t(nCode + 0x10);
          else if (nCode == 0x2B) ch = 0x1B;
          else if (nCode == 0x2C) ch = 0x1C;
          else ch = u'?';
          break;
      }
      if (fChar && c < cMax) pszOut[c++] = ch;
    }
  }
  if (cchOut) pszOut[c] = 0;
  if (pcbUsed) *pcbUsed = cbUsed;
  return c;
}

size_t DecodeByteLabel(uint32_t nCodePage, const uint8_t* p, size_t cb, char16_t* pszOut, size_t cchOut,
                       size_t* pcbUsed) {
  size_t n = 0;
  while (n < cb && p[n]) ++n;
  if (pcbUsed) *pcbUsed = n < cb ? n + 1 : n;
  if (!cchOut) return 0;
  size_t cch = cchOut < c_cLabelMaxLen + 1 ? cchOut : c_cLabelMaxLen + 1;
  return ConvertCodePage(nCodePage, p, n, pszOut, cch);
}

}  // namespace img
