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
// leaves the previous file as it was. Every writer of a whole file goes
// through here:
// - a symbolic link is followed: its target is replaced, the link is kept;
// - an existing target that is not a regular file (a device, a FIFO) is
//   written in place and never replaced; a folder is refused;
// - the temporary file has a name of its own ("NAME.tmp-" and six letters)
//   and is removed on failure; one left by a killed write is removed by the
//   next write of the same target.
// On failure the system's error code is left for the caller (errno natively,
// GetLastError() on Windows), e.g. "no space left on device".
bool WriteFileAtomic(const char16_t* pszPath, const void* pData, size_t cb);
// True when both paths name one existing file, whatever the spelling (links,
// relative paths): a writer refuses an output that is one of its inputs.
bool IsSameFile(const char16_t* pszA, const char16_t* pszB);
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
  fmCreateNew,       // new only: fails when the name exists (even as a link)
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
