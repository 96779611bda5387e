#include "settings/Settings.h"

#include "platform/Debug.h"
#include "platform/Str.h"

using namespace platform;

const char16_t c_szSettingsKey[] = u"Software\\Velmo\\GisVelmo";

RegHandle g_hkeySettings = nullptr;
static bool g_fSettingsAttempted = false;

void OpenSettings() {
  if (g_fSettingsAttempted) return;
  g_fSettingsAttempted = true;
  if (RegCreate(RegRootHandle(rrCurrentUser), c_szSettingsKey, &g_hkeySettings) != c_errSuccess)
    g_hkeySettings = nullptr;
}

void CloseSettings() {
  if (g_hkeySettings) RegClose(g_hkeySettings);
  g_hkeySettings = nullptr;
  g_fSettingsAttempted = false;
}

static bool Ready() {
  OpenSettings();
  ASSERT(g_hkeySettings != NULL);
  return g_hkeySettings != nullptr;
}

DWORD GetDword(const char16_t* pszName, DWORD dwDefault) {
  if (!Ready()) return dwDefault;
  DWORD dwType = 0, cb = 4, dw = 0;
  if (RegQuery(g_hkeySettings, pszName, &dwType, &dw, &cb) == c_errSuccess && dwType == c_regDword && cb == 4)
    return dw;
  return dwDefault;
}

bool GetBool(const char16_t* pszName, bool fDefault) { return GetDword(pszName, fDefault ? 1 : 0) != 0; }

void SetDword(const char16_t* pszName, DWORD dwValue) {
  if (!Ready()) return;
  RegSet(g_hkeySettings, pszName, c_regDword, &dwValue, 4);
}

void SetBool(const char16_t* pszName, bool fValue) { SetDword(pszName, fValue ? 1 : 0); }

void GetString(const char16_t* pszName, char16_t* pszBuf, DWORD cchBuf, const char16_t* pszDefault) {
  if (!pszBuf || cchBuf == 0) return;
  pszBuf[0] = 0;
  if (Ready()) {
    DWORD dwType = 0, cb = cchBuf * 2;
    if (RegQuery(g_hkeySettings, pszName, &dwType, pszBuf, &cb) == c_errSuccess && dwType == c_regSz) {
      // A value stored without its terminator still ends inside the buffer.
      DWORD cch = cb / 2;
      if (cch < cchBuf) {
        pszBuf[cch] = 0;
        return;
      }
      if (cch > 0 && pszBuf[cch - 1] == 0) return;
    }
  }
  StrCopy(pszBuf, cchBuf, pszDefault ? pszDefault : u"");
}

void SetString(const char16_t* pszName, const char16_t* pszText) {
  if (!Ready()) return;
  if (!pszText) pszText = u"";
  RegSet(g_hkeySettings, pszName, c_regSz, pszText, DWORD((StrLen(pszText) + 1) * 2));
}

void DeleteSetting(const char16_t* pszName) {
  if (!Ready()) return;
  RegRemoveValue(g_hkeySettings, pszName);
}

void ResetAllSettings() {
  if (!Ready()) return;
  for (;;) {
    char16_t szName[100];
    DWORD cch = 100;
    if (RegListValue(g_hkeySettings, 0, szName, &cch) != c_errSuccess) break;
    if (RegRemoveValue(g_hkeySettings, szName) != c_errSuccess) break;
  }
}
