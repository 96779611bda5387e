#include "map/img/CodePage.h"

#include "platform/CodePage.h"
#include "platform/Module.h"

namespace img {

static uint32_t g_nSystemCodePage = 0;
static CodePageConverter g_pfnConverter = nullptr;

static const char16_t* TableOf(uint32_t nCodePage) {
  // 874 is not one the IMG labels use; the others come from the shared tables.
  return nCodePage == 874 ? nullptr : platform::GetCodePageUpperHalf(nCodePage);
}

uint32_t AnsiCodePageOfLanguage(uint16_t wLangId) {
  switch (wLangId & 0x3FF) {  // the primary language
    case 0x19:  // Russian
    case 0x22:  // Ukrainian
    case 0x23:  // Belarusian
    case 0x02:  // Bulgarian
    case 0x2F:  // Macedonian
    case 0x3F:  // Kazakh
    case 0x40:  // Kyrgyz
    case 0x44:  // Tatar
    case 0x50:  // Mongolian
      return 1251;
    case 0x05:  // Czech
    case 0x0E:  // Hungarian
    case 0x15:  // Polish
    case 0x18:  // Romanian
    case 0x1B:  // Slovak
    case 0x24:  // Slovenian
    case 0x1C:  // Albanian
      return 1250;
    case 0x1A:  // Croatian, Serbian, Bosnian: Cyrillic Serbian uses 1251
      return (wLangId >> 10) == 0x03 || (wLangId >> 10) == 0x07 ? 1251 : 1250;
    case 0x08: return 1253;  // Greek
    case 0x1F:               // Turkish
    case 0x2C:               // Azeri
    case 0x43:               // Uzbek
      return 1254;
    case 0x0D: return 1255;  // Hebrew
    case 0x01:               // Arabic
    case 0x29:               // Farsi
    case 0x20:               // Urdu
      return 1256;
    case 0x25:  // Estonian
    case 0x26:  // Latvian
    case 0x27:  // Lithuanian
      return 1257;
    case 0x2A: return 1258;  // Vietnamese
    default: return 1252;
  }
}

uint32_t GetSystemCodePage() {
  if (g_nSystemCodePage) return g_nSystemCodePage;
  return AnsiCodePageOfLanguage(platform::GetUserDefaultLanguage());
}

void SetSystemCodePage(uint32_t nCodePage) { g_nSystemCodePage = nCodePage; }

void SetCodePageConverter(CodePageConverter pfn) { g_pfnConverter = pfn; }

bool IsCodePageKnown(uint32_t nCodePage) {
  return nCodePage == c_nCodePageDefault || nCodePage == c_nCodePageUtf8 || TableOf(nCodePage) != nullptr;
}

// UTF-8, malformed sequences each give U+FFFD.
static size_t ConvertUtf8(const uint8_t* p, size_t cb, char16_t* pszOut, size_t cchOut) {
  size_t c = 0, i = 0;
  while (i < cb && p[i]) {
    uint32_t b = p[i];
    uint32_t cp = 0xFFFD;
    size_t cExtra = 0;
    uint32_t cpMin = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      cExtra = 1, cp = b & 0x1F, cpMin = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      cExtra = 2, cp = b & 0x0F, cpMin = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      cExtra = 3, cp = b & 0x07, cpMin = 0x10000;
    } else {
      cp = 0xFFFD;
    }
    ++i;
    bool fBad = false;
    for (size_t k = 0; k < cExtra; ++k) {
      if (i >= cb || (p[i] & 0xC0) != 0x80) {
        fBad = true;
        break;
      }
      cp = cp << 6 | (p[i] & 0x3F);
      ++i;
    }
    if (fBad || cp < cpMin || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp >= 0x10000) {
      if (c + 2 >= cchOut) break;
      cp -= 0x10000;
      pszOut[c++] = char16_t(0xD800 | (cp >> 10));
      pszOut[c++] = char16_t(0xDC00 | (cp & 0x3FF));
    } else {
      if (c + 1 >= cchOut) break;
      pszOut[c++] = char16_t(cp);
    }
  }
  pszOut[c] = 0;
  return c;
}

size_t ConvertCodePage(uint32_t nCodePage, const uint8_t* p, size_t cb, char16_t* pszOut, size_t cchOut) {
  if (!pszOut || cchOut == 0) return 0;
  if (nCodePage == c_nCodePageDefault) nCodePage = GetSystemCodePage();
  if (g_pfnConverter) {
    size_t c = g_pfnConverter(nCodePage, p, cb, pszOut, cchOut);
    if (c != SIZE_MAX) return c;
  }
  if (nCodePage == c_nCodePageUtf8) return ConvertUtf8(p, cb, pszOut, cchOut);
  const char16_t* pTable = TableOf(nCodePage);
  size_t c = 0;
  for (size_t i = 0; i < cb && p[i] && c + 1 < cchOut; ++i)
    pszOut[c++] = p[i] < 0x80 ? char16_t(p[i]) : pTable ? pTable[p[i] - 0x80] : char16_t(p[i]);
  pszOut[c] = 0;
  return c;
}

}  // namespace img
