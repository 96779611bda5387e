// Common include of the Win32 implementations.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

inline const wchar_t* W(const char16_t* psz) { return reinterpret_cast<const wchar_t*>(psz); }
inline wchar_t* W(char16_t* psz) { return reinterpret_cast<wchar_t*>(psz); }
inline const char16_t* U(const wchar_t* psz) { return reinterpret_cast<const char16_t*>(psz); }
inline char16_t* U(wchar_t* psz) { return reinterpret_cast<char16_t*>(psz); }
