#include "platform/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

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

namespace {

// The file a path finally names once symbolic links are followed (it need
// not exist yet), so that writing through a link replaces the link's target
// and keeps the link.
bool FollowLinks(std::string& path) {
  for (int i = 0; i < 40; ++i) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : 0) + 4096);
    ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0) return false;
    std::string target(buf.data(), size_t(n));
    if (target.empty() || target[0] != '/') {
      size_t slash = path.rfind('/');
      target = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
    }
    path = target;
  }
  errno = ELOOP;
  return false;
}

// Temporary files are "NAME.tmp-XXXXXX" beside the target, each held under
// an exclusive lock while it is written. One whose lock can be taken belongs
// to a write that was killed or failed, and is removed by the next write of
// the same target. (The "NAME.tmp" of earlier versions likewise.)
const char c_szTempInfix[] = ".tmp-";

void RemoveAbandonedTemporaries(const std::string& dir, const std::string& name) {
  const std::string prefix = name + c_szTempInfix;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return;
  std::vector<std::string> stale;
  while (struct dirent* e = ::readdir(d)) {
    std::string entry = e->d_name;
    bool fOurs = entry.size() == prefix.size() + 6 && entry.compare(0, prefix.size(), prefix) == 0;
    if (fOurs || entry == name + ".tmp") stale.push_back(entry);
  }
  ::closedir(d);
  for (const std::string& entry : stale) {
    std::string path = dir + entry;
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
    ::close(fd);
  }
}

bool WriteAll(int fd, const void* pData, size_t cb) {
  const uint8_t* p = static_cast<const uint8_t*>(pData);
  size_t done = 0;
  while (done < cb) {
    ssize_t n = ::write(fd, p + done, cb - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

// A device, a FIFO or a terminal is written in place: it takes the bytes
// (or reports why not), and the node itself is never replaced.
bool WriteInPlace(const std::string& path, const void* pData, size_t cb) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, pData, cb);
  int nError = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    nError = errno;
  }
  errno = nError;
  return ok;
}

}  // namespace

bool WriteFileAtomic(const char16_t* pszPath, const void* pData, size_t cb) {
  std::string path = Narrow(pszPath);
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  if (!FollowLinks(path)) return false;
  struct stat stTarget;
  const bool fExists = ::stat(path.c_str(), &stTarget) == 0;
  if (fExists && S_ISDIR(stTarget.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (fExists && !S_ISREG(stTarget.st_mode)) return WriteInPlace(path, pData, cb);

  size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  RemoveAbandonedTemporaries(dir, name);
  std::string tmp;
  int fd = -1;
  std::random_device random;
  for (int cTries = 0; fd < 0 && cTries < 16; ++cTries) {
    static const char c_szDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix;
    for (uint32_t r = random(), i = 0; i < 6; ++i, r /= 36) suffix += c_szDigits[r % 36];
    tmp = dir + name + c_szTempInfix + suffix;
    // A new file gets the usual permissions (the process's mask applies).
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    // Locked before anything is written; a cleaner that raced in between
    // removed the name, so take another.
    struct stat stFd, stName;
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &stFd) != 0 || ::stat(tmp.c_str(), &stName) != 0 ||
        stFd.st_ino != stName.st_ino || stFd.st_dev != stName.st_dev) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) {
    errno = EEXIST;
    return false;
  }
  // The replacement keeps the permissions of the file it replaces.
  if (fExists) (void)::fchmod(fd, stTarget.st_mode & 07777);
  // Renamed while still locked, so that no other writer's cleaning takes it
  // for abandoned between the last byte and the rename.
  bool ok = WriteAll(fd, pData, cb) && ::fsync(fd) == 0 && ::rename(tmp.c_str(), path.c_str()) == 0;
  int nError = errno;
  if (!ok) ::unlink(tmp.c_str());
  ::close(fd);
  errno = nError;
  return ok;
}

bool IsSameFile(const char16_t* pszA, const char16_t* pszB) {
  struct stat a, b;
  return ::stat(Narrow(pszA).c_str(), &a) == 0 && ::stat(Narrow(pszB).c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
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
    case fmCreateNew: {
      // Never an existing name, not even a dangling symbolic link.
      int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0) return false;
      FILE* f = ::fdopen(fd, "w+b");
      if (!f) {
        ::close(fd);
        return false;
      }
      m_h = f;
      return true;
    }
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
