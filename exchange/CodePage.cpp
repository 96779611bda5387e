#include "exchange/CodePage.h"

#include "platform/CodePage.h"

namespace exchange {

namespace {

// The code pages exchange files may be written in (Thai and the Windows
// ANSI code pages).
const unsigned c_anCodePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

unsigned g_nAnsiCodePage = c_nCodePageCyrillic;

const char16_t* UpperHalf(unsigned nCodePage) {
  const char16_t* p = IsSupportedCodePage(nCodePage) ? platform::GetCodePageUpperHalf(nCodePage) : nullptr;
  return p ? p : platform::GetCodePageUpperHalf(1252);
}

}  // namespace

unsigned GetAnsiCodePage() { return g_nAnsiCodePage; }

void SetAnsiCodePage(unsigned nCodePage) {
  g_nAnsiCodePage = IsSupportedCodePage(nCodePage) ? nCodePage : c_nCodePageWestern;
}

bool IsSupportedCodePage(unsigned nCodePage) {
  for (unsigned n : c_anCodePages)
    if (n == nCodePage) return true;
  return false;
}

std::string U16ToAnsi(std::u16string_view str, unsigned nCodePage) {
  const char16_t* pTable = UpperHalf(nCodePage);
  std::string out;
  out.reserve(str.size());
  for (size_t i = 0; i < str.size(); ++i) {
    char16_t ch = str[i];
    if (ch < 0x80) {
      out += char(ch);
      continue;
    }
    // a surrogate pair is one character
    if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < str.size() && str[i + 1] >= 0xDC00 && str[i + 1] < 0xE000) ++i;
    char chOut = '?';
    for (unsigned b = 0; b < 128; ++b) {
      if (pTable[b] == ch && ch != 0xFFFD) {
        chOut = char(0x80 + b);
        break;
      }
    }
    out += chOut;
  }
  return out;
}

std::u16string AnsiToU16(std::string_view str, unsigned nCodePage) {
  const char16_t* pTable = UpperHalf(nCodePage);
  std::u16string out;
  out.reserve(str.size());
  for (char ch : str) {
    uint8_t bt = uint8_t(ch);
    out += bt < 0x80 ? char16_t(bt) : pTable[bt - 0x80];
  }
  return out;
}

}  // namespace exchange
