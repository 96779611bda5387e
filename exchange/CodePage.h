// Conversion between UTF-16 and the single-byte Windows code pages that
// exchange files are written in (OziExplorer and MapSource texts). Small
// and self-contained: tables for the Windows "ANSI" code pages 874 and
// 1250-1258.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace exchange {

const unsigned c_nCodePageCyrillic = 1251;
const unsigned c_nCodePageWestern = 1252;

// The code page of the system's "ANSI" texts. The Windows shell sets it from
// the system; elsewhere it is the program's own (Cyrillic).
unsigned GetAnsiCodePage();
void SetAnsiCodePage(unsigned nCodePage);
bool IsSupportedCodePage(unsigned nCodePage);

// Characters without a byte in the code page become '?'. An unsupported code
// page (a multi-byte one) is taken as 1252.
std::string U16ToAnsi(std::u16string_view str, unsigned nCodePage);
std::u16string AnsiToU16(std::string_view str, unsigned nCodePage);

}  // namespace exchange
