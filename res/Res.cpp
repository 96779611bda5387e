#include "res/Res.h"

#include "res/Failure.h"

#include "settings/SettingsTable.h"
#include "platform/Debug.h"
#include "platform/Str.h"

using namespace platform;

const char16_t c_szResVersion[] = u"1.1.28.15 mek";

// Generated from the resource scripts (native builds only).
int LookupBuiltinRu(uint32_t id, char16_t* pszBuf, int cchBuf);
int LookupBuiltinEn(uint32_t id, char16_t* pszBuf, int cchBuf);
void RegisterBuiltinStringTables();

static bool g_fLoaded = false;
static uint16_t g_wLanguage = 0;
static ResModule g_hPrimary = nullptr;
static ResModule g_hFallback = nullptr;
static char16_t g_szModuleName[16];
static ResMessageHook g_pfnMessage = nullptr;

void SetResMessageHook(ResMessageHook pfn) { g_pfnMessage = pfn; }

void ShowResMessage(const char16_t* pszText) {
  if (g_pfnMessage) g_pfnMessage(pszText);
  else DebugOutput(pszText);
}

void LoadLanguage() {
  if (g_fLoaded) return;
  g_fLoaded = true;
  RegisterBuiltinStringTables();
  g_wLanguage = uint16_t(GetDword(setting::Language.pszName, GetUserDefaultLanguage()));
  ResModule hSelf = GetSelfModule();
  g_szModuleName[0] = 0;
  if (g_wLanguage == 1049) {
    g_hPrimary = g_hFallback = hSelf;
    return;
  }
  Format(g_szModuleName, 16, u"%04x.rll", unsigned(g_wLanguage));
  g_hPrimary = LoadResModule(g_szModuleName);
  if (!g_hPrimary) g_hPrimary = LoadResModule(u"0409.rll");
  if (!g_hPrimary) g_hPrimary = hSelf;
  g_hFallback = LoadResModule(u"0409.rll");
  if (!g_hFallback) g_hFallback = hSelf;
  char16_t szVersion[32];
  LoadModuleString(g_hPrimary, c_idsVersion, szVersion, 32);
  if (StrCmp(szVersion, c_szResVersion) != 0) {
    char16_t sz[512];
    Format(sz, 512,
           u"WARNING:\nLocalization module '%s' has incorrect version. Some text strings may apper incorrectly.",
           g_szModuleName);
    ReportFailureText(c_idsVersion, sz);
  }
}

uint16_t GetLanguage() {
  LoadLanguage();
  return g_wLanguage;
}

ResModule GetPrimaryModule() {
  LoadLanguage();
  return g_hPrimary;
}

ResModule GetFallbackModule() {
  LoadLanguage();
  return g_hFallback;
}

const char16_t* GetModuleName() {
  LoadLanguage();
  return g_szModuleName;
}

const char16_t* LoadResString(uint32_t id, char16_t* pszBuf, int cchBuf) {
  if (!pszBuf || cchBuf <= 0) return pszBuf;
  LoadLanguage();
  pszBuf[0] = 0;
  if (LoadModuleString(g_hPrimary, id, pszBuf, cchBuf) > 0) return pszBuf;
  if (g_hFallback != g_hPrimary && LoadModuleString(g_hFallback, id, pszBuf, cchBuf) > 0) return pszBuf;
  Format(pszBuf, size_t(cchBuf), u"<??%d>", int(id));
  return pszBuf;
}

char16_t* LoadResStringAlloc(uint32_t id) {
  char16_t sz[1024];
  LoadResString(id, sz, 1024);
  size_t n = StrLen(sz);
  char16_t* p = new char16_t[n + 1];
  for (size_t i = 0; i <= n; ++i) p[i] = sz[i];
  return p;
}

const char16_t* FormatResString(char16_t* pszBuf, int cchBuf, uint32_t id, ...) {
  char16_t szFormat[512];  // the longest texts run past 128 characters
  LoadResString(id, szFormat, 512);
  va_list args;
  va_start(args, id);
  FormatV(pszBuf, size_t(cchBuf), szFormat, args);
  va_end(args);
  return pszBuf;
}

void ResetLanguageForTests() {
  g_fLoaded = false;
  g_hPrimary = g_hFallback = nullptr;
}
