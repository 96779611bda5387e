#include "platform/FileMapping.h"

#include "platform/win32/Win32.h"

namespace platform {

bool CFileMapping::OpenRead(const char16_t* pszPath) {
  Close();
  HANDLE hFile = ::CreateFileW(W(pszPath), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(hFile, &size) || uint64_t(size.QuadPart) > SIZE_MAX) {
    ::CloseHandle(hFile);
    return false;
  }
  if (size.QuadPart == 0) {
    ::CloseHandle(hFile);
    return true;
  }
  HANDLE hMap = ::CreateFileMappingW(hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ::CloseHandle(hFile);
  if (!hMap) return false;
  void* p = ::MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 0);
  ::CloseHandle(hMap);  // the view is the only owner from here on
  if (!p) return false;
  m_p = static_cast<uint8_t*>(p);
  m_cb = size_t(size.QuadPart);
  m_fWritable = false;
  return true;
}

bool CFileMapping::OpenReadWrite(const char16_t* pszPath, size_t cb) {
  Close();
  if (cb == 0) return false;
  HANDLE hFile = ::CreateFileW(W(pszPath), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  HANDLE hMap = ::CreateFileMappingW(hFile, nullptr, PAGE_READWRITE, DWORD(uint64_t(cb) >> 32), DWORD(cb), nullptr);
  ::CloseHandle(hFile);
  if (!hMap) return false;
  void* p = ::MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, cb);
  ::CloseHandle(hMap);
  if (!p) return false;
  m_p = static_cast<uint8_t*>(p);
  m_cb = cb;
  m_fWritable = true;
  return true;
}

bool CFileMapping::Flush() {
  if (!m_p) return false;
  return !m_fWritable || ::FlushViewOfFile(m_p, m_cb);
}

bool CFileMapping::Close() {
  bool ok = true;
  if (m_p) ok = ::UnmapViewOfFile(m_p) != 0;
  m_p = nullptr;
  m_cb = 0;
  m_fWritable = false;
  return ok;
}

}  // namespace platform
