// The settings store: flat named values under one key of the current user,
// read with a caller-supplied default and written the moment they change.
#pragma once
#include "platform/Registry.h"

extern platform::RegHandle g_hkeySettings;

void OpenSettings();
void CloseSettings();
DWORD GetDword(const char16_t* pszName, DWORD dwDefault);
bool GetBool(const char16_t* pszName, bool fDefault);
void SetDword(const char16_t* pszName, DWORD dwValue);
void SetBool(const char16_t* pszName, bool fValue);
// Clears the buffer, then reads a REG_SZ of at most cchBuf characters
// (terminator included); anything else copies the default (null = empty).
void GetString(const char16_t* pszName, char16_t* pszBuf, DWORD cchBuf, const char16_t* pszDefault);
void SetString(const char16_t* pszName, const char16_t* pszText);
void DeleteSetting(const char16_t* pszName);
void ResetAllSettings();

// The settings key path under HKEY_CURRENT_USER.
extern const char16_t c_szSettingsKey[];
