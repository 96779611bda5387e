#include <gtest/gtest.h>

#include "platform/Str.h"

using namespace platform;

TEST(FormatTest, IntegersWidthsAndSigns) {
  EXPECT_EQ(FormatStr(u"%d|%5d|%-5d|%05d", 42, 42, 42, -42), u"42|   42|42   |-0042");
  EXPECT_EQ(FormatStr(u"%u %x %X %08x", 4000000000u, 255u, 255u, 0xBEEFu), u"4000000000 ff FF 0000beef");
  EXPECT_EQ(FormatStr(u"%04x.rll", 0x0407u), u"0407.rll");
  EXPECT_EQ(FormatStr(u"%I64d %lld", (long long)-5000000000LL, 7LL), u"-5000000000 7");
  EXPECT_EQ(FormatStr(u"%+d % d", 5, 5), u"+5  5");
}

TEST(FormatTest, FloatsStringsAndPercent) {
  EXPECT_EQ(FormatStr(u"%.2f %.0f %6.1f", 3.14159, 2.5, -1.25), u"3.14 2   -1.2");
  EXPECT_EQ(FormatStr(u"%s-%hs-%c%%", u"Москва", "ascii", int(u'Ж')), u"Москва-ascii-Ж%");
  EXPECT_EQ(FormatStr(u"<%.3s>", u"abcdef"), u"<abc>");
  EXPECT_EQ(FormatStr(u"<%s>", static_cast<const char16_t*>(nullptr)), u"<(null)>");
  EXPECT_EQ(FormatStr(u"<??%d>", 9999), u"<??9999>");
}

TEST(FormatTest, OutputIsCutAndAlwaysTerminated) {
  char16_t sz[6];
  int n = Format(sz, 6, u"%s", u"0123456789");
  EXPECT_EQ(std::u16string(sz), u"01234");
  EXPECT_EQ(n, 5);
  char16_t one[1] = {u'x'};
  Format(one, 1, u"abc");
  EXPECT_EQ(one[0], 0);
}

TEST(Utf8Test, RoundTripIncludingSurrogatesAndBadBytes) {
  std::string s = "Zürich — Москва 𝄞";
  EXPECT_EQ(U16ToUtf8(Utf8ToU16(s)), s);
  EXPECT_EQ(Utf8ToU16(std::string("\xC3", 1)), std::u16string(u"\xFFFD"));
  EXPECT_EQ(Utf8ToU16("\xFF" "a"), u"\xFFFD" u"a");
}

TEST(CaseTest, LatinAndCyrillic) {
  EXPECT_EQ(StrCmpI(u"VELMO.EXE", u"velmo.exe"), 0);
  EXPECT_EQ(StrCmpI(u"КАРТА", u"карта"), 0);
  EXPECT_EQ(ToUpper(u'ё'), u'Ё');
  EXPECT_NE(StrCmpI(u"a", u"b"), 0);
}
