#include "platform/File.h"

#include <algorithm>
#include <vector>

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

namespace {

// Temporary files are "NAME.tmp-XXXXXX" beside the target, open without
// sharing while they are written, so that only one left by a killed or failed
// write can be deleted: the next write of the same target does so (and
// removes the "NAME.tmp" of earlier versions likewise).
const char16_t c_szTempInfix[] = u".tmp-";

void RemoveAbandonedTemporaries(const std::u16string& dir, const std::u16string& name) {
  const std::u16string prefix = name + c_szTempInfix;
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW(W((dir + prefix + u"*").c_str()), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::u16string entry = U(fd.cFileName);
      if (entry.size() == prefix.size() + 6 && !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        ::DeleteFileW(W((dir + entry).c_str()));
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
  }
  const std::u16string old = dir + name + u".tmp";
  DWORD a = ::GetFileAttributesW(W(old.c_str()));
  if (a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    ::DeleteFileW(W(old.c_str()));
}

bool WriteAll(HANDLE h, const void* pData, size_t cb) {
  const uint8_t* p = static_cast<const uint8_t*>(pData);
  size_t done = 0;
  while (done < cb) {
    DWORD n = 0;
    DWORD want = DWORD(cb - done > 0x10000000 ? 0x10000000 : cb - done);
    if (!::WriteFile(h, p + done, want, &n, nullptr)) return false;
    if (n == 0) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += n;
  }
  return true;
}

uint32_t TempNameSeed() {
  static volatile LONG s_nCount = 0;
  LARGE_INTEGER qpc;
  ::QueryPerformanceCounter(&qpc);
  uint64_t x = uint64_t(qpc.QuadPart) ^ (uint64_t(::GetCurrentProcessId()) << 32) ^
               uint64_t(::InterlockedIncrement(&s_nCount)) * 0x9E3779B97F4A7C15ull;
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  return uint32_t(x);
}

}  // namespace

bool WriteFileAtomic(const char16_t* pszPath, const void* pData, size_t cb) {
  std::u16string path = pszPath ? pszPath : u"";
  if (path.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  // What the name stands for now: a link is followed to its target, a device
  // or a pipe is written in place, a folder is refused.
  HANDLE hOld = ::CreateFileW(W(path.c_str()), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (hOld != INVALID_HANDLE_VALUE) {
    DWORD dwType = ::GetFileType(hOld);
    BY_HANDLE_FILE_INFORMATION info;
    bool fFolder = dwType == FILE_TYPE_DISK && ::GetFileInformationByHandle(hOld, &info) &&
                   (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    DWORD a = ::GetFileAttributesW(W(path.c_str()));
    if (dwType == FILE_TYPE_DISK && !fFolder && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
      wchar_t sz[4096];
      DWORD n = ::GetFinalPathNameByHandleW(hOld, sz, 4096, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (n > 0 && n < 4096) path = U(sz);
    }
    ::CloseHandle(hOld);
    if (fFolder) {
      ::SetLastError(ERROR_DIRECTORY);
      return false;
    }
    if (dwType == FILE_TYPE_CHAR || dwType == FILE_TYPE_PIPE) {
      HANDLE h = ::CreateFileW(W(path.c_str()), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) return false;
      bool ok = WriteAll(h, pData, cb);
      DWORD dwError = ::GetLastError();
      ::CloseHandle(h);
      ::SetLastError(dwError);
      return ok;
    }
  }
  size_t slash = path.find_last_of(u"\\/");
  const std::u16string dir = slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
  const std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  RemoveAbandonedTemporaries(dir, name);
  std::u16string tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int cTries = 0; h == INVALID_HANDLE_VALUE && cTries < 16; ++cTries) {
    static const char16_t c_szDigits[] = u"0123456789abcdefghijklmnopqrstuvwxyz";
    std::u16string suffix;
    for (uint32_t r = TempNameSeed(), i = 0; i < 6; ++i, r /= 36) suffix += c_szDigits[r % 36];
    tmp = dir + name + c_szTempInfix + suffix;
    h = ::CreateFileW(W(tmp.c_str()), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(h, pData, cb) && ::FlushFileBuffers(h);
  DWORD dwError = ok ? 0 : ::GetLastError();
  // Renamed while still open (and so never taken for abandoned by another
  // writer's cleaning); where the system cannot, closed and moved.
  bool fRenamed = false;
  if (ok) {
    std::vector<uint8_t> info(sizeof(FILE_RENAME_INFO) + (path.size() + 1) * sizeof(wchar_t), 0);
    FILE_RENAME_INFO* pInfo = reinterpret_cast<FILE_RENAME_INFO*>(info.data());
    pInfo->ReplaceIfExists = TRUE;
    pInfo->RootDirectory = nullptr;
    pInfo->FileNameLength = DWORD(path.size() * sizeof(wchar_t));
    std::copy(path.begin(), path.end(), reinterpret_cast<char16_t*>(pInfo->FileName));
    fRenamed = ::SetFileInformationByHandle(h, FileRenameInfo, pInfo, DWORD(info.size())) != 0;
  }
  if (!::CloseHandle(h) && ok && !fRenamed) {
    ok = false;
    dwError = ::GetLastError();
  }
  if (ok && !fRenamed &&
      !::MoveFileExW(W(tmp.c_str()), W(path.c_str()), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    dwError = ::GetLastError();
  }
  if (!ok) {
    ::DeleteFileW(W(tmp.c_str()));
    ::SetLastError(dwError);
  }
  return ok;
}

bool IsSameFile(const char16_t* pszA, const char16_t* pszB) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const char16_t* apsz[2] = {pszA, pszB};
  for (int i = 0; i < 2; ++i) {
    HANDLE h = ::CreateFileW(W(apsz[i]), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = ::GetFileInformationByHandle(h, &info[i]) != 0;
    ::CloseHandle(h);
    if (!ok) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
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
    case fmCreateNew: access |= GENERIC_WRITE; disp = CREATE_NEW; break;
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
