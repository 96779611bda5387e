#include "platform/FileMapping.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Str.h"

namespace platform {

// Keeps errno (or the given code) as the reason of a failed open.
#define VELMO_FAIL(dw)        \
  do {                        \
    m_dwError = uint32_t(dw); \
    return false;             \
  } while (0)

bool CFileMapping::OpenRead(const char16_t* pszPath) {
  Close();
  m_dwError = 0;
  int fd = ::open(U16ToUtf8(pszPath ? pszPath : u"").c_str(), O_RDONLY);
  if (fd < 0) VELMO_FAIL(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int nError = S_ISDIR(st.st_mode) ? EISDIR : errno ? errno : EINVAL;
    ::close(fd);
    VELMO_FAIL(nError);
  }
  if (st.st_size == 0) {
    ::close(fd);
    m_p = nullptr;
    m_cb = 0;
    return true;
  }
  void* p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  int nError = errno;
  ::close(fd);  // the view keeps the file
  if (p == MAP_FAILED) VELMO_FAIL(nError);
  m_p = static_cast<uint8_t*>(p);
  m_cb = size_t(st.st_size);
  m_fWritable = false;
  return true;
}

bool CFileMapping::OpenReadWrite(const char16_t* pszPath, size_t cb) {
  Close();
  m_dwError = 0;
  if (cb == 0) VELMO_FAIL(EINVAL);
  int fd = ::open(U16ToUtf8(pszPath ? pszPath : u"").c_str(), O_RDWR | O_CREAT, 0644);
  if (fd < 0) VELMO_FAIL(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || (size_t(st.st_size) < cb && ::ftruncate(fd, off_t(cb)) != 0)) {
    int nError = errno;
    ::close(fd);
    VELMO_FAIL(nError);
  }
  void* p = ::mmap(nullptr, cb, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  int nError = errno;
  ::close(fd);
  if (p == MAP_FAILED) VELMO_FAIL(nError);
  m_p = static_cast<uint8_t*>(p);
  m_cb = cb;
  m_fWritable = true;
  return true;
}

bool CFileMapping::Flush() {
  if (!m_p || !m_fWritable) return m_p != nullptr;
  return ::msync(m_p, m_cb, MS_SYNC) == 0;
}

bool CFileMapping::Close() {
  bool ok = true;
  if (m_p) ok = ::munmap(m_p, m_cb) == 0;
  m_p = nullptr;
  m_cb = 0;
  m_fWritable = false;
  return ok;
}

}  // namespace platform
