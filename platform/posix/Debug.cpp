#include "platform/Debug.h"

#include <cstdio>
#include <cstdlib>

#include "platform/Str.h"

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

void DebugOutput(const char16_t* pszText) {
  if (g_pfnDebugHook) g_pfnDebugHook(pszText);
  if (std::getenv("VELMO_DEBUG")) std::fputs(U16ToUtf8(pszText ? pszText : u"").c_str(), stderr);
}

bool IsDebugOutputOn() { return g_pfnDebugHook || std::getenv("VELMO_DEBUG"); }

void DebugOutputA(const char* pszText) { DebugOutput(Utf8ToU16(pszText ? pszText : "").c_str()); }

void AssertFailed(const char* pszExpr, const char* pszFile, int nLine) {
  if (g_pfnAssertHook) {
    g_pfnAssertHook(pszExpr, pszFile, nLine);
    return;
  }
  std::fprintf(stderr, "ASSERT failed: %s (%s:%d)\n", pszExpr, pszFile, nLine);
}

}  // namespace platform
