#include "platform/File.h"

#include "platform/Str.h"
#include "platform/win32/Win32.h"

namespace platform {

const char16_t c_chPathSep = u'\\';

std::u16string JoinPath(const std::u16string& strDir, const std::u16string& strName) {
  if (strDir.empty()) return strName;
  if (strDir.back() == u'/' || strDir.back() == u'\\') return strDir + strName;
  return strDir + u'\\' + strName;
}

bool ReadWholeFile(const char16_t* pszPath, std::vector<uint8_t>& data) {
  data.clear();
  HANDLE h = ::CreateFileW(W(pszPath), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = ::GetFileSizeEx(h, &size) != 0;
  if (ok) {
    data.resize(size_t(size.QuadPart));
    size_t done = 0;
    while (ok && done < data.size()) {
      DWORD n = 0;
      DWORD want = DWORD(data.size() - done > 0x10000000 ? 0x10000000 : data.size() - done);
      ok = ::ReadFile(h, data.data() + done, want, &n, nullptr) && n > 0;
      done += n;
    }
  }
  ::CloseHandle(h);
  if (!ok) data.clear();
  return ok;
}

bool WriteFileAtomic(const char16_t* pszPath, const void* pData, size_t cb) {
  std::u16string tmp = std::u16string(pszPath) + u".tmp";
  HANDLE h = ::CreateFileW(W(tmp.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const uint8_t* p = static_cast<const uint8_t*>(pData);
  size_t done = 0;
  bool ok = true;
  while (ok && done < cb) {
    DWORD n = 0;
    DWORD want = DWORD(cb - done > 0x10000000 ? 0x10000000 : cb - done);
    ok = ::WriteFile(h, p + done, want, &n, nullptr) && n == want;
    done += n;
  }
  ok = ok && ::FlushFileBuffers(h);
  ok = ::CloseHandle(h) && ok;
  if (ok) ok = ::MoveFileExW(W(tmp.c_str()), W(pszPath), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) ::DeleteFileW(W(tmp.c_str()));
  return ok;
}

bool FileExists(const char16_t* pszPath) {
  DWORD a = ::GetFileAttributesW(W(pszPath));
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(const char16_t* pszPath) {
  DWORD a = ::GetFileAttributesW(W(pszPath));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectoryPath(const char16_t* pszPath) {
  if (IsDirectory(pszPath)) return true;
  return ::CreateDirectoryW(W(pszPath), nullptr) != 0;
}

bool DeleteFilePath(const char16_t* pszPath) { return ::DeleteFileW(W(pszPath)) != 0; }

bool RenameFilePath(const char16_t* pszFrom, const char16_t* pszTo) {
  return ::MoveFileExW(W(pszFrom), W(pszTo), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool GetFileSizeOf(const char16_t* pszPath, uint64_t& cb) {
  WIN32_FILE_ATTRIBUTE_DATA fad;
  if (!::GetFileAttributesExW(W(pszPath), GetFileExInfoStandard, &fad)) return false;
  cb = (uint64_t(fad.nFileSizeHigh) << 32) | fad.nFileSizeLow;
  return true;
}

bool GetFileWriteTime(const char16_t* pszPath, uint64_t& ft) {
  WIN32_FILE_ATTRIBUTE_DATA fad;
  if (!::GetFileAttributesExW(W(pszPath), GetFileExInfoStandard, &fad)) return false;
  ft = (uint64_t(fad.ftLastWriteTime.dwHighDateTime) << 32) | fad.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool ListFolder(const char16_t* pszFolder, bool fFolders, std::vector<std::u16string>& names) {
  names.clear();
  std::u16string pattern = JoinPath(pszFolder, u"*");
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW(W(pattern.c_str()), &fd);
  if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::u16string name = U(fd.cFileName);
    if (name == u"." || name == u"..") continue;
    bool fDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (fDir == fFolders) names.push_back(name);
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
  return true;
}

bool CFile::Open(const char16_t* pszPath, FileMode mode) {
  Close();
  DWORD access = GENERIC_READ, disp = OPEN_EXISTING, share = FILE_SHARE_READ;
  switch (mode) {
    case fmRead: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    case fmReadWrite: access |= GENERIC_WRITE; break;
    case fmCreateAlways: access |= GENERIC_WRITE; disp = CREATE_ALWAYS; break;
    case fmOpenAlways: access |= GENERIC_WRITE; disp = OPEN_ALWAYS; break;
  }
  HANDLE h = ::CreateFileW(W(pszPath), access, share, nullptr, disp, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  m_h = h;
  return true;
}

bool CFile::Close() {
  if (!m_h) return true;
  bool ok = ::CloseHandle(static_cast<HANDLE>(m_h)) != 0;
  m_h = nullptr;
  return ok;
}

bool CFile::Read(void* p, size_t cb, size_t* pcbRead) {
  DWORD n = 0;
  bool ok = m_h && ::ReadFile(static_cast<HANDLE>(m_h), p, DWORD(cb), &n, nullptr);
  if (pcbRead) *pcbRead = n;
  return ok;
}

bool CFile::Write(const void* p, size_t cb) {
  DWORD n = 0;
  return m_h && ::WriteFile(static_cast<HANDLE>(m_h), p, DWORD(cb), &n, nullptr) && n == cb;
}

bool CFile::Seek(int64_t off) {
  LARGE_INTEGER li;
  li.QuadPart = off;
  return m_h && ::SetFilePointerEx(static_cast<HANDLE>(m_h), li, nullptr, FILE_BEGIN);
}

bool CFile::SeekToEnd() {
  LARGE_INTEGER li;
  li.QuadPart = 0;
  return m_h && ::SetFilePointerEx(static_cast<HANDLE>(m_h), li, nullptr, FILE_END);
}

bool CFile::Tell(int64_t& off) {
  LARGE_INTEGER li, pos;
  li.QuadPart = 0;
  if (!m_h || !::SetFilePointerEx(static_cast<HANDLE>(m_h), li, &pos, FILE_CURRENT)) return false;
  off = pos.QuadPart;
  return true;
}

bool CFile::GetSize(uint64_t& cb) {
  LARGE_INTEGER li;
  if (!m_h || !::GetFileSizeEx(static_cast<HANDLE>(m_h), &li)) return false;
  cb = uint64_t(li.QuadPart);
  return true;
}

bool CFile::Flush() { return m_h && ::FlushFileBuffers(static_cast<HANDLE>(m_h)); }
bool CFile::Truncate() { return m_h && ::SetEndOfFile(static_cast<HANDLE>(m_h)); }

}  // namespace platform
