#include "platform/FileMapping.h"

#include "platform/win32/Win32.h"

namespace platform {

// Keeps the calling thread's last error as the reason of a failed open.
#define VELMO_FAIL(dw) \
  do {                  \
    m_dwError = (dw);   \
    return false;       \
  } while (0)

bool CFileMapping::OpenRead(const char16_t* pszPath) {
  Close();
  m_dwError = 0;
  HANDLE hFile = ::CreateFileW(W(pszPath), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) VELMO_FAIL(::GetLastError());
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(hFile, &size) || uint64_t(size.QuadPart) > SIZE_MAX) {
    DWORD dw = ::GetLastError();
    ::CloseHandle(hFile);
    VELMO_FAIL(dw ? dw : ERROR_FILE_TOO_LARGE);
  }
  if (size.QuadPart == 0) {
    ::CloseHandle(hFile);
    return true;
  }
  HANDLE hMap = ::CreateFileMappingW(hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
  DWORD dw = ::GetLastError();
  ::CloseHandle(hFile);
  if (!hMap) VELMO_FAIL(dw);
  void* p = ::MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 0);
  dw = ::GetLastError();
  ::CloseHandle(hMap);  // the view is the only owner from here on
  if (!p) VELMO_FAIL(dw);
  m_p = static_cast<uint8_t*>(p);
  m_cb = size_t(size.QuadPart);
  m_fWritable = false;
  return true;
}

bool CFileMapping::OpenReadWrite(const char16_t* pszPath, size_t cb) {
  Close();
  m_dwError = 0;
  if (cb == 0) VELMO_FAIL(ERROR_INVALID_PARAMETER);
  HANDLE hFile = ::CreateFileW(W(pszPath), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) VELMO_FAIL(::GetLastError());
  HANDLE hMap = ::CreateFileMappingW(hFile, nullptr, PAGE_READWRITE, DWORD(uint64_t(cb) >> 32), DWORD(cb), nullptr);
  DWORD dw = ::GetLastError();
  ::CloseHandle(hFile);
  if (!hMap) VELMO_FAIL(dw);
  void* p = ::MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, cb);
  dw = ::GetLastError();
  ::CloseHandle(hMap);
  if (!p) VELMO_FAIL(dw);
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
