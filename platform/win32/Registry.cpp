#include "platform/Registry.h"

#include "platform/win32/Win32.h"

namespace platform {

static HKEY H(RegHandle h) { return static_cast<HKEY>(h); }

RegHandle RegRootHandle(RegRoot root) {
  switch (root) {
    case rrCurrentUser: return HKEY_CURRENT_USER;
    case rrLocalMachine: return HKEY_LOCAL_MACHINE;
    case rrClassesRoot: return HKEY_CLASSES_ROOT;
  }
  return nullptr;
}

LONG RegOpen(RegHandle hParent, const char16_t* pszSubkey, RegHandle* phKey) {
  HKEY h = nullptr;
  LONG err = ::RegOpenKeyExW(H(hParent), W(pszSubkey), 0, KEY_ALL_ACCESS, &h);
  *phKey = err == ERROR_SUCCESS ? h : nullptr;
  return err;
}

LONG RegCreate(RegHandle hParent, const char16_t* pszSubkey, RegHandle* phKey) {
  HKEY h = nullptr;
  LONG err = ::RegCreateKeyExW(H(hParent), W(pszSubkey), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
  *phKey = err == ERROR_SUCCESS ? h : nullptr;
  return err;
}

LONG RegClose(RegHandle hKey) { return ::RegCloseKey(H(hKey)); }

LONG RegQuery(RegHandle hKey, const char16_t* pszName, DWORD* pdwType, void* pData, DWORD* pcbData) {
  return ::RegQueryValueExW(H(hKey), W(pszName), nullptr, pdwType, static_cast<BYTE*>(pData), pcbData);
}

LONG RegSet(RegHandle hKey, const char16_t* pszName, DWORD dwType, const void* pData, DWORD cbData) {
  return ::RegSetValueExW(H(hKey), W(pszName), 0, dwType, static_cast<const BYTE*>(pData), cbData);
}

LONG RegRemoveValue(RegHandle hKey, const char16_t* pszName) { return ::RegDeleteValueW(H(hKey), W(pszName)); }

LONG RegDeleteKeyTree(RegHandle hParent, const char16_t* pszSubkey) {
  return ::RegDeleteTreeW(H(hParent), W(pszSubkey));
}

LONG RegListValue(RegHandle hKey, DWORD dwIndex, char16_t* pszName, DWORD* pcchName) {
  return ::RegEnumValueW(H(hKey), dwIndex, W(pszName), pcchName, nullptr, nullptr, nullptr, nullptr);
}

LONG RegListKey(RegHandle hKey, DWORD dwIndex, char16_t* pszName, DWORD cchName) {
  return ::RegEnumKeyW(H(hKey), dwIndex, W(pszName), cchName);
}

void SetRegistryFile(const char*) {}
void ResetRegistry() {}

}  // namespace platform
