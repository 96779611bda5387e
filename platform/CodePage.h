// Single-byte code pages: the Unicode characters of bytes 0x80-0xFF (the
// lower half is ASCII in every one of them). Shared by every reader and
// writer of other programs' texts.
#pragma once
#include <cstdint>

namespace platform {

// The 128 characters of bytes 0x80-0xFF of a code page (874, 1250-1258,
// 866), or null for a code page without a table.
const char16_t* GetCodePageUpperHalf(uint32_t nCodePage);

}  // namespace platform
