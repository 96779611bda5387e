// The Win32 headers for the shell.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commdlg.h>
#include <mmsystem.h>

#include "platform/win32/Win32.h"

// <windows.h> still defines the 16-bit Yield() as a macro; the drawing pass
// has a Yield of its own.
#ifdef Yield
#undef Yield
#endif
