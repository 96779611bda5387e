// Debug output and assertions.
//
// ASSERT states invariants of well-formed data and of callers; it is never
// the only guard between data read from a file and a memory access. When it
// fires it reports the expression text through the assertion hook (tests
// install one that fails the test).
#pragma once

namespace platform {

// Writes one line of diagnostics (OutputDebugStringW on Windows; standard
// error natively when VELMO_DEBUG is set, and always to the capture hook).
void DebugOutput(const char16_t* pszText);
void DebugOutputA(const char* pszText);
// Whether a debug line goes anywhere: on Windows always (a debugger may be
// listening); natively when VELMO_DEBUG is set or a hook is installed.
// Callers that format many lines ask first.
bool IsDebugOutputOn();

typedef void (*DebugHook)(const char16_t* pszText);
// Installs a hook that sees every debug line (tests). Returns the old hook.
DebugHook SetDebugHook(DebugHook pfn);

typedef void (*AssertHook)(const char* pszExpr, const char* pszFile, int nLine);
AssertHook SetAssertHook(AssertHook pfn);
void AssertFailed(const char* pszExpr, const char* pszFile, int nLine);

}  // namespace platform

#if defined(NDEBUG) && !defined(VELMO_CHECKED)
#define ASSERT(expr) ((void)0)
#else
#define ASSERT(expr) ((expr) ? (void)0 : ::platform::AssertFailed(#expr, __FILE__, __LINE__))
#endif
