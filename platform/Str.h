// UTF-16 text helpers of the portable core. Every text of the program is
// UTF-16 in char16_t units; on Windows the units are passed to the API as
// wchar_t (both are 2 bytes there).
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

size_t StrLen(const char16_t* psz);
int StrCmp(const char16_t* a, const char16_t* b);
// Case-insensitive comparison for Latin and Cyrillic letters.
int StrCmpI(const char16_t* a, const char16_t* b);
char16_t ToUpper(char16_t ch);
char16_t ToLower(char16_t ch);
// Copies at most cchBuf - 1 units and always terminates (cchBuf > 0).
void StrCopy(char16_t* pszDst, size_t cchBuf, const char16_t* pszSrc);

std::u16string Utf8ToU16(std::string_view s);
std::string U16ToUtf8(std::u16string_view s);
std::u16string AsciiToU16(const char* psz);

// printf-style formatting into UTF-16. Understands the conversions the
// program's texts use: %d %i %u %x %X %c %s %S %ls %hs %f %e %g %p %%,
// flags '-', '0', '+', ' ', width and precision (also '*'), and the length
// modifiers l, ll, h, I64. In the format, %s and %ls take a UTF-16 string
// (const char16_t*), %hs and %S take a narrow UTF-8 string, %c a UTF-16
// unit (passed as int). Output is always terminated and cut to cchBuf.
// Returns the number of units written (without the terminator).
int FormatV(char16_t* pszBuf, size_t cchBuf, const char16_t* pszFormat, va_list args);
int Format(char16_t* pszBuf, size_t cchBuf, const char16_t* pszFormat, ...);
std::u16string FormatStr(const char16_t* pszFormat, ...);

}  // namespace platform
