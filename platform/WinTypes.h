// Windows scalar types for the portable core. On Windows these are the
// very same typedefs as <windows.h> (identical redeclarations are legal),
// so core headers and app/ code that includes <windows.h> agree.
#pragma once
#include <cstdint>
#include <cstddef>

#ifdef _WIN32
typedef unsigned long DWORD;
typedef long LONG;
typedef unsigned int UINT;
#else
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
#endif
typedef unsigned short WORD;
typedef unsigned char BYTE;
typedef int BOOL;
typedef DWORD COLORREF;

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(WORD) == 2, "Windows scalar sizes");
static_assert(sizeof(char16_t) == 2, "UTF-16 unit");

#ifndef RGB
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#endif
#ifndef GetRValue
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))
#endif

// Screen points and rectangles of the portable core.
struct VPoint {
  int32_t x;
  int32_t y;
};
struct VRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

static_assert(uint8_t(0x0102) == 2, "");
