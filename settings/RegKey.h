// A registry key object for keys other than the settings key (map
// collections, file associations). Not copyable; closes in the destructor.
#pragma once
#include "platform/Registry.h"

class CRegKey {
 public:
  CRegKey() : m_h(nullptr) {}
  ~CRegKey() { Close(); }
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;

  LONG Open(platform::RegHandle hParent, const char16_t* pszSubkey);
  LONG Create(platform::RegHandle hParent, const char16_t* pszSubkey);
  bool IsOpen() const { return m_h != nullptr; }
  platform::RegHandle Handle() const { return m_h; }
  void Close();

  // Each returns the registry error code (0 = success). A null name
  // addresses the key's default value.
  LONG QueryDword(const char16_t* pszName, DWORD& dwValue);
  LONG QueryString(const char16_t* pszName, char16_t* pszBuf, DWORD cchBuf);
  LONG SetDword(const char16_t* pszName, DWORD dwValue);
  LONG SetString(const char16_t* pszName, const char16_t* pszText);

  platform::RegHandle m_h;
};
