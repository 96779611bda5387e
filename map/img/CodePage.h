// Conversion of map label bytes in a Windows code page to UTF-16: the
// single-byte code pages 1250-1258 and 866, UTF-8 (65001) and the system
// default (0). Portable: the tables are part of the reader. The shell may
// install the system converter and tell the system's ANSI code page.
#pragma once
#include <cstddef>
#include <cstdint>

namespace img {

const uint32_t c_nCodePageDefault = 0;  // the system's ANSI code page
const uint32_t c_nCodePageUtf8 = 65001;

// Converts cb bytes (a 0 byte ends the text early) into at most cchOut - 1
// units and terminates the output (cchOut > 0). A character that does not
// fit whole is left out. Returns the number of units written. Code pages
// this converter has no table for are read as Latin-1.
size_t ConvertCodePage(uint32_t nCodePage, const uint8_t* p, size_t cb, char16_t* pszOut, size_t cchOut);
// Whether the converter knows the code page (0 counts: it is resolved).
bool IsCodePageKnown(uint32_t nCodePage);

// The code page that 0 stands for. Unless set, it follows the user's
// default language the way the system chooses its ANSI code page.
uint32_t GetSystemCodePage();
void SetSystemCodePage(uint32_t nCodePage);  // 0 = derive from the language again
// The ANSI code page of a language id (1251 for Russian, 1252 for English).
uint32_t AnsiCodePageOfLanguage(uint16_t wLangId);

// A system converter that replaces the built-in one (null restores it).
// It gets the resolved code page (never 0) and answers like ConvertCodePage,
// or returns SIZE_MAX to let the built-in tables convert.
typedef size_t (*CodePageConverter)(uint32_t nCodePage, const uint8_t* p, size_t cb, char16_t* pszOut,
                                    size_t cchOut);
void SetCodePageConverter(CodePageConverter pfn);

}  // namespace img
