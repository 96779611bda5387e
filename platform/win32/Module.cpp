#include "platform/Module.h"

#include <shlobj.h>

#include "platform/Str.h"
#include "platform/win32/Win32.h"

namespace platform {

std::u16string GetProgramPath() {
  wchar_t sz[MAX_PATH];
  DWORD n = ::GetModuleFileNameW(nullptr, sz, MAX_PATH);
  return std::u16string(U(sz), n);
}

std::u16string GetProgramFolder() {
  std::u16string path = GetProgramPath();
  size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? u"." : path.substr(0, slash);
}

std::u16string GetRootFolder() {
  wchar_t sz[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(sz, MAX_PATH);
  if (n >= 2 && sz[1] == L':') return std::u16string(U(sz), 2);
  return u"C:";
}

std::u16string GetDocumentsFolder() {
  wchar_t sz[MAX_PATH];
  if (::SHGetSpecialFolderPathW(nullptr, sz, CSIDL_PERSONAL, TRUE)) return U(sz);
  return GetRootFolder();
}

ResModule GetSelfModule() { return ::GetModuleHandleW(nullptr); }

ResModule LoadResModule(const char16_t* pszFileName) {
  return ::LoadLibraryExW(W(pszFileName), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

int LoadModuleString(ResModule hModule, uint32_t id, char16_t* pszBuf, int cchBuf) {
  if (!pszBuf || cchBuf <= 0) return 0;
  pszBuf[0] = 0;
  if (!hModule) return 0;
  return ::LoadStringW(static_cast<HMODULE>(hModule), id, W(pszBuf), cchBuf);
}

uint16_t GetUserDefaultLanguage() { return ::GetUserDefaultLangID(); }

void RegisterBuiltinModule(const char16_t*, BuiltinStringLookup) {}

}  // namespace platform
