// Files: whole-file reads, atomic replacement, a small owning file object.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace platform {

bool ReadWholeFile(const char16_t* pszPath, std::vector<uint8_t>& data);
// Writes the bytes to a temporary file beside the target, flushes it to the
// disk and then replaces the target in one step, so a failure at any point
// leaves the previous file as it was.
bool WriteFileAtomic(const char16_t* pszPath, const void* pData, size_t cb);
bool FileExists(const char16_t* pszPath);
bool IsDirectory(const char16_t* pszPath);
bool CreateDirectoryPath(const char16_t* pszPath);  // one level, true if it exists afterwards
bool DeleteFilePath(const char16_t* pszPath);
bool RenameFilePath(const char16_t* pszFrom, const char16_t* pszTo);  // replaces an existing target
bool GetFileSizeOf(const char16_t* pszPath, uint64_t& cb);
// Last write time as a Windows file time (100 ns units since 1601).
bool GetFileWriteTime(const char16_t* pszPath, uint64_t& ft);
// Names (not paths) of the entries of a folder; fFolders selects folders
// instead of files.
bool ListFolder(const char16_t* pszFolder, bool fFolders, std::vector<std::u16string>& names);

// Path separator of this platform ('\\' on Windows, '/' natively).
extern const char16_t c_chPathSep;
std::u16string JoinPath(const std::u16string& strDir, const std::u16string& strName);

enum FileMode {
  fmRead,            // existing file, read only, others may read and write
  fmReadWrite,       // existing file
  fmCreateAlways,    // new or truncated
  fmOpenAlways,      // existing or new, not truncated, position at 0
};

// One open file. Not copyable; closes quietly in the destructor.
class CFile {
 public:
  CFile() : m_h(nullptr) {}
  ~CFile() { Close(); }
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  bool Open(const char16_t* pszPath, FileMode mode);
  bool Close();
  bool IsOpen() const { return m_h != nullptr; }
  bool Read(void* p, size_t cb, size_t* pcbRead);
  bool Write(const void* p, size_t cb);
  bool Seek(int64_t off);          // from the start
  bool SeekToEnd();
  bool Tell(int64_t& off);
  bool GetSize(uint64_t& cb);
  bool Flush();
  bool Truncate();                 // at the current position

 private:
  void* m_h;  // HANDLE on Windows, FILE* natively
};

}  // namespace platform
