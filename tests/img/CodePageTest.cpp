// Code page conversion of map labels: every byte of every single-byte code
// page against the C library's converter, UTF-8 with its malformed forms,
// the system default, and output limits.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "map/img/CodePage.h"

using namespace img;

namespace {

std::u16string Convert(uint32_t nCodePage, const std::string& str, size_t cchOut = 64) {
  std::u16string out(cchOut, u'\xFFFF');
  size_t c = ConvertCodePage(nCodePage, reinterpret_cast<const uint8_t*>(str.data()), str.size(), &out[0], cchOut);
  EXPECT_EQ(out[c], 0);
  out.resize(c);
  return out;
}

// One byte through iconv; 0 when iconv has no character for it.
char16_t IconvByte(const char* pszCharset, uint8_t b) {
  iconv_t cd = iconv_open("UTF-16LE", pszCharset);
  if (cd == iconv_t(-1)) return 0;
  char in[1] = {char(b)};
  char out[8] = {};
  char* pIn = in;
  char* pOut = out;
  size_t cIn = 1, cOut = sizeof out;
  size_t r = iconv(cd, &pIn, &cIn, &pOut, &cOut);
  // Flush characters a converter holds back (combining sequences).
  if (r != size_t(-1)) iconv(cd, nullptr, nullptr, &pOut, &cOut);
  iconv_close(cd);
  if (r == size_t(-1) || pOut - out != 2) return 0;
  return char16_t(uint8_t(out[0]) | uint8_t(out[1]) << 8);
}

}  // namespace

TEST(CodePage, SingleByteTablesAgreeWithTheCLibrary) {
  const uint32_t c_anPages[] = {1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 866};
  for (uint32_t nPage : c_anPages) {
    std::string strCharset = "CP" + std::to_string(nPage);
    ASSERT_TRUE(IsCodePageKnown(nPage));
    int cCompared = 0;
    for (int b = 0x80; b <= 0xFF; ++b) {
      char16_t chExpected = IconvByte(strCharset.c_str(), uint8_t(b));
      if (!chExpected) continue;  // undefined in that code page
      std::u16string str = Convert(nPage, std::string(1, char(b)));
      ASSERT_EQ(str.size(), 1u);
      EXPECT_EQ(int(str[0]), int(chExpected)) << strCharset << " byte " << b;
      ++cCompared;
    }
    EXPECT_GT(cCompared, 100) << strCharset;
  }
  // ASCII stays as it is in every page.
  EXPECT_EQ(Convert(1251, "ABC 123"), u"ABC 123");
  EXPECT_EQ(Convert(1251, "\xCC\xEE\xF1\xEA\xE2\xE0"), u"Москва");
  EXPECT_EQ(Convert(866, "\x8C\xAE\xE1\xAA\xA2\xA0"), u"Москва");
  EXPECT_EQ(Convert(1250, "\xA3\xF3\x64\x9F"), u"Łódź");
  EXPECT_EQ(Convert(1252, "\x80"), u"€");
}

TEST(CodePage, Utf8WithMalformedSequences) {
  EXPECT_EQ(Convert(65001, "ESC\xC3\x80S"), u"ESCÀS");
  EXPECT_EQ(Convert(65001, "\xE2\x82\xAC"), u"€");
  EXPECT_EQ(Convert(65001, "\xF0\x9F\x97\xBA"), u"\U0001F5FA");  // a surrogate pair
  // A lone continuation byte, a cut sequence, an overlong form and an
  // encoded surrogate each give the replacement character.
  EXPECT_EQ(Convert(65001, "a\x80" "b"), u"a\uFFFDb");
  EXPECT_EQ(Convert(65001, "a\xE2\x82"), u"a\uFFFD");
  EXPECT_EQ(Convert(65001, "\xC0\xAF"), u"\uFFFD");
  EXPECT_EQ(Convert(65001, "\xED\xA0\x80"), u"\uFFFD");
  // A 0 byte ends the text.
  EXPECT_EQ(Convert(65001, std::string("ab\0cd", 5)), u"ab");
}

TEST(CodePage, OutputLimitsAndTheSystemDefault) {
  // At most cchOut - 1 units; a surrogate pair that does not fit is left out.
  EXPECT_EQ(Convert(1251, "ABCDEF", 4), u"ABC");
  EXPECT_EQ(Convert(65001, "ab\xF0\x9F\x97\xBA", 4), u"ab");
  EXPECT_EQ(Convert(65001, "ab\xF0\x9F\x97\xBA", 5), u"ab\U0001F5FA");
  char16_t ch = 1;
  EXPECT_EQ(ConvertCodePage(1251, reinterpret_cast<const uint8_t*>("A"), 1, &ch, 1), 0u);
  EXPECT_EQ(ch, 0);

  EXPECT_EQ(AnsiCodePageOfLanguage(0x0419), 1251u);  // Russian
  EXPECT_EQ(AnsiCodePageOfLanguage(0x0409), 1252u);  // English
  EXPECT_EQ(AnsiCodePageOfLanguage(0x0415), 1250u);  // Polish
  EXPECT_EQ(AnsiCodePageOfLanguage(0x0C1A), 1251u);  // Serbian, Cyrillic
  EXPECT_EQ(AnsiCodePageOfLanguage(0x041A), 1250u);  // Croatian
  SetSystemCodePage(1251);
  EXPECT_EQ(GetSystemCodePage(), 1251u);
  EXPECT_EQ(Convert(c_nCodePageDefault, "\xCC\xE8\xF0"), u"Мир");
  SetSystemCodePage(1253);
  EXPECT_EQ(Convert(c_nCodePageDefault, "\xC1"), u"Α");
  SetSystemCodePage(0);
  // Unknown code pages read as Latin-1.
  EXPECT_FALSE(IsCodePageKnown(932));
  EXPECT_EQ(Convert(932, "\xE9"), u"é");
  // An installed system converter takes over; SIZE_MAX hands back.
  SetCodePageConverter([](uint32_t nPage, const uint8_t*, size_t, char16_t* p, size_t) -> size_t {
    if (nPage != 1251) return SIZE_MAX;
    p[0] = u'X';
    p[1] = 0;
    return 1;
  });
  EXPECT_EQ(Convert(1251, "\xCC"), u"X");
  EXPECT_EQ(Convert(1252, "\x80"), u"€");
  SetCodePageConverter(nullptr);
}
