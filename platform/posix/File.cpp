#include "platform/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/Str.h"

namespace platform {

const char16_t c_chPathSep = u'/';

static std::string Narrow(const char16_t* psz) { return U16ToUtf8(psz ? psz : u""); }

std::u16string JoinPath(const std::u16string& strDir, const std::u16string& strName) {
  if (strDir.empty()) return strName;
  if (strDir.back() == u'/' || strDir.back() == u'\\') return strDir + strName;
  return strDir + u'/' + strName;
}

bool ReadWholeFile(const char16_t* pszPath, std::vector<uint8_t>& data) {
  data.clear();
  FILE* f = std::fopen(Narrow(pszPath).c_str(), "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool WriteFileAtomic(const char16_t* pszPath, const void* pData, size_t cb) {
  std::string path = Narrow(pszPath);
  std::string tmp = path + ".tmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  const uint8_t* p = static_cast<const uint8_t*>(pData);
  size_t done = 0;
  while (done < cb) {
    ssize_t n = ::write(fd, p + done, cb - done);
    if (n <= 0) {
      ::close(fd);
      ::unlink(tmp.c_str());
      return false;
    }
    done += size_t(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool FileExists(const char16_t* pszPath) {
  struct stat st;
  return ::stat(Narrow(pszPath).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const char16_t* pszPath) {
  struct stat st;
  return ::stat(Narrow(pszPath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectoryPath(const char16_t* pszPath) {
  if (IsDirectory(pszPath)) return true;
  return ::mkdir(Narrow(pszPath).c_str(), 0755) == 0;
}

bool DeleteFilePath(const char16_t* pszPath) { return ::unlink(Narrow(pszPath).c_str()) == 0; }

bool RenameFilePath(const char16_t* pszFrom, const char16_t* pszTo) {
  return ::rename(Narrow(pszFrom).c_str(), Narrow(pszTo).c_str()) == 0;
}

bool GetFileSizeOf(const char16_t* pszPath, uint64_t& cb) {
  struct stat st;
  if (::stat(Narrow(pszPath).c_str(), &st) != 0) return false;
  cb = uint64_t(st.st_size);
  return true;
}

bool GetFileWriteTime(const char16_t* pszPath, uint64_t& ft) {
  struct stat st;
  if (::stat(Narrow(pszPath).c_str(), &st) != 0) return false;
  // Seconds between 1601-01-01 and 1970-01-01.
  const int64_t c_nEpochDelta = 11644473600LL;
  ft = uint64_t((int64_t(st.st_mtim.tv_sec) + c_nEpochDelta) * 10000000LL + st.st_mtim.tv_nsec / 100);
  return true;
}

bool ListFolder(const char16_t* pszFolder, bool fFolders, std::vector<std::u16string>& names) {
  names.clear();
  std::string dir = Narrow(pszFolder);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  while (struct dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::stat((dir + "/" + name).c_str(), &st) != 0) continue;
    if (fFolders ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) names.push_back(Utf8ToU16(name));
  }
  ::closedir(d);
  return true;
}

bool CFile::Open(const char16_t* pszPath, FileMode mode) {
  Close();
  std::string path = Narrow(pszPath);
  const char* pszMode = "rb";
  switch (mode) {
    case fmRead: pszMode = "rb"; break;
    case fmReadWrite: pszMode = "r+b"; break;
    case fmCreateAlways: pszMode = "w+b"; break;
    case fmOpenAlways: {
      int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
      if (fd < 0) return false;
      FILE* f = ::fdopen(fd, "r+b");
      if (!f) {
        ::close(fd);
        return false;
      }
      m_h = f;
      return true;
    }
  }
  FILE* f = std::fopen(path.c_str(), pszMode);
  if (!f) return false;
  m_h = f;
  return true;
}

bool CFile::Close() {
  if (!m_h) return true;
  bool ok = std::fclose(static_cast<FILE*>(m_h)) == 0;
  m_h = nullptr;
  return ok;
}

bool CFile::Read(void* p, size_t cb, size_t* pcbRead) {
  if (!m_h) return false;
  FILE* f = static_cast<FILE*>(m_h);
  size_t n = std::fread(p, 1, cb, f);
  if (pcbRead) *pcbRead = n;
  return !std::ferror(f);
}

bool CFile::Write(const void* p, size_t cb) {
  if (!m_h) return false;
  return std::fwrite(p, 1, cb, static_cast<FILE*>(m_h)) == cb;
}

bool CFile::Seek(int64_t off) { return m_h && ::fseeko(static_cast<FILE*>(m_h), off, SEEK_SET) == 0; }
bool CFile::SeekToEnd() { return m_h && ::fseeko(static_cast<FILE*>(m_h), 0, SEEK_END) == 0; }

bool CFile::Tell(int64_t& off) {
  if (!m_h) return false;
  off = ::ftello(static_cast<FILE*>(m_h));
  return off >= 0;
}

bool CFile::GetSize(uint64_t& cb) {
  if (!m_h) return false;
  std::fflush(static_cast<FILE*>(m_h));
  struct stat st;
  if (::fstat(::fileno(static_cast<FILE*>(m_h)), &st) != 0) return false;
  cb = uint64_t(st.st_size);
  return true;
}

bool CFile::Flush() { return m_h && std::fflush(static_cast<FILE*>(m_h)) == 0; }

bool CFile::Truncate() {
  if (!m_h) return false;
  FILE* f = static_cast<FILE*>(m_h);
  std::fflush(f);
  return ::ftruncate(::fileno(f), ::ftello(f)) == 0;
}

}  // namespace platform
