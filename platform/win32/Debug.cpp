#include "platform/Debug.h"

#include <cstdio>

#include "platform/Str.h"
#include "platform/win32/Win32.h"

namespace platform {

static DebugHook g_pfnDebugHook = nullptr;
static AssertHook g_pfnAssertHook = nullptr;

DebugHook SetDebugHook(DebugHook pfn) {
  DebugHook old = g_pfnDebugHook;
  g_pfnDebugHook = pfn;
  return old;
}

AssertHook SetAssertHook(AssertHook pfn) {
  AssertHook old = g_pfnAssertHook;
  g_pfnAssertHook = pfn;
  return old;
}

bool IsDebugOutputOn() { return true; }

void DebugOutput(const char16_t* pszText) {
  if (g_pfnDebugHook) g_pfnDebugHook(pszText);
  // The ANSI form: debuggers and Wine's debug channel both show it (Wine
  // prints nothing for the wide form).
  char sz[2048];
  int n = ::WideCharToMultiByte(CP_ACP, 0, W(pszText ? pszText : u""), -1, sz, sizeof sz - 1, nullptr, nullptr);
  sz[n > 0 ? n : 0] = 0;
  ::OutputDebugStringA(sz);
}

void DebugOutputA(const char* pszText) { DebugOutput(Utf8ToU16(pszText ? pszText : "").c_str()); }

void AssertFailed(const char* pszExpr, const char* pszFile, int nLine) {
  if (g_pfnAssertHook) {
    g_pfnAssertHook(pszExpr, pszFile, nLine);
    return;
  }
  char sz[512];
  std::snprintf(sz, sizeof sz, "ASSERT failed: %s (%s:%d)\n", pszExpr, pszFile, nLine);
  ::OutputDebugStringA(sz);
}

}  // namespace platform
