// Label texts of the LBL subfile: the six-bit code with its shift states,
// and the eight-bit and multi-byte texts in the map's code page.
#pragma once
#include <cstddef>
#include <cstdint>

namespace img {

// The longest label a decode keeps (characters, without the terminator).
const size_t c_cLabelMaxLen = 63;

// Decodes the six-bit label at p (cb bytes up to the end of the label
// data) into at most cchOut - 1 units (and at most c_cLabelMaxLen) and
// terminates it. *pcbUsed (may be null) receives the bytes the label
// occupies: up to the byte that holds the end code. Returns the length.
size_t DecodeSixBitLabel(const uint8_t* p, size_t cb, char16_t* pszOut, size_t cchOut, size_t* pcbUsed);

// Eight-bit and multi-byte labels: the bytes up to the first 0 converted
// with the code page (at most c_cLabelMaxLen characters kept). *pcbUsed
// receives the bytes up to and with the 0.
size_t DecodeByteLabel(uint32_t nCodePage, const uint8_t* p, size_t cb, char16_t* pszOut, size_t cchOut,
                       size_t* pcbUsed);

}  // namespace img
