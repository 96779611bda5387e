#include "platform/SerialPort.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

namespace platform {

namespace {

std::mutex g_mutexPaths;
std::map<int, std::string> g_paths;

std::string DevicePath(int nPort) {
  {
    std::lock_guard<std::mutex> lock(g_mutexPaths);
    auto it = g_paths.find(nPort);
    if (it != g_paths.end()) return it->second;
  }
  char szVar[32];
  std::snprintf(szVar, sizeof szVar, "VELMO_COM%d", nPort);
  const char* p = std::getenv(szVar);
  return p ? std::string(p) : std::string();
}

speed_t BaudCode(DWORD dwBaud) {
  switch (dwBaud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

const DWORD c_errFileNotFound = 2;
const DWORD c_errInvalidHandle = 6;
const DWORD c_errInvalidParameter = 87;

}  // namespace

void SetSerialDevicePath(int nPort, const char* pszPath) {
  std::lock_guard<std::mutex> lock(g_mutexPaths);
  if (!pszPath || !*pszPath)
    g_paths.erase(nPort);
  else
    g_paths[nPort] = pszPath;
}

CSerialPort::CSerialPort() : m_fd(-1) {}

bool CSerialPort::Open(int nPort, bool fRead, bool fWrite, DWORD* pdwError) {
  Close();
  std::string path = DevicePath(nPort);
  if (path.empty()) {
    if (pdwError) *pdwError = c_errFileNotFound;
    return false;
  }
  int flags = (fRead && fWrite) ? O_RDWR : fWrite ? O_WRONLY : O_RDONLY;
  m_fd = ::open(path.c_str(), flags | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (m_fd < 0) {
    if (pdwError) *pdwError = errno == ENOENT ? c_errFileNotFound : DWORD(errno);
    return false;
  }
  // Raw bytes: no echo, no line editing, no translation.
  termios tio;
  if (::tcgetattr(m_fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(m_fd, TCSANOW, &tio);
  }
  return true;
}

bool CSerialPort::IsValid() const { return m_fd >= 0; }

bool CSerialPort::Close() {
  if (m_fd < 0) return true;
  bool ok = ::close(m_fd) == 0;
  m_fd = -1;
  return ok;
}

bool CSerialPort::Configure(DWORD dwBaud, BYTE btByteSize, bool fParity, BYTE btStopBits, DWORD* pdwError) {
  if (m_fd < 0) {
    if (pdwError) *pdwError = c_errInvalidHandle;
    return false;
  }
  termios tio;
  if (::tcgetattr(m_fd, &tio) != 0) {
    if (pdwError) *pdwError = DWORD(errno);
    return false;
  }
  speed_t sp = BaudCode(dwBaud);
  if (sp == B0) {
    if (pdwError) *pdwError = c_errInvalidParameter;
    return false;
  }
  ::cfsetispeed(&tio, sp);
  ::cfsetospeed(&tio, sp);
  tio.c_cflag &= ~CSIZE;
  switch (btByteSize) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  if (fParity)
    tio.c_iflag |= INPCK;
  else
    tio.c_iflag &= ~INPCK;
  if (btStopBits == 0)
    tio.c_cflag &= ~CSTOPB;
  else
    tio.c_cflag |= CSTOPB;
  if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
    if (pdwError) *pdwError = DWORD(errno);
    return false;
  }
  return true;
}

bool CSerialPort::SetQueues(DWORD, DWORD) { return m_fd >= 0; }

bool CSerialPort::Purge() { return m_fd >= 0 && ::tcflush(m_fd, TCIOFLUSH) == 0; }

bool CSerialPort::SetTimeouts(const CSerialTimeouts&) {
  // Reads only take what the input queue holds, so they never wait.
  return m_fd >= 0;
}

bool CSerialPort::GetStatus(DWORD* pdwErrors, DWORD* pcbInQueue, DWORD* pdwError) {
  if (pdwErrors) *pdwErrors = 0;
  if (pcbInQueue) *pcbInQueue = 0;
  if (m_fd < 0) {
    if (pdwError) *pdwError = c_errInvalidHandle;
    return false;
  }
  int n = 0;
  if (::ioctl(m_fd, FIONREAD, &n) != 0) {
    if (pdwError) *pdwError = DWORD(errno);
    return false;
  }
  if (pcbInQueue) *pcbInQueue = n > 0 ? DWORD(n) : 0;
  return true;
}

bool CSerialPort::Read(void* p, DWORD cb, DWORD* pcbRead, DWORD* pdwError) {
  if (pcbRead) *pcbRead = 0;
  if (m_fd < 0) {
    if (pdwError) *pdwError = c_errInvalidHandle;
    return false;
  }
  DWORD done = 0;
  while (done < cb) {
    ssize_t n = ::read(m_fd, static_cast<uint8_t*>(p) + done, cb - done);
    if (n > 0) {
      done += DWORD(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      if (pcbRead) *pcbRead = done;
      if (pdwError) *pdwError = DWORD(errno);
      return false;
    }
    break;  // nothing more waits
  }
  if (pcbRead) *pcbRead = done;
  return true;
}

bool CSerialPort::Write(const void* p, DWORD cb, DWORD* pcbWritten, DWORD* pdwError) {
  if (pcbWritten) *pcbWritten = 0;
  if (m_fd < 0) {
    if (pdwError) *pdwError = c_errInvalidHandle;
    return false;
  }
  DWORD done = 0;
  int cSpins = 0;
  while (done < cb) {
    ssize_t n = ::write(m_fd, static_cast<const uint8_t*>(p) + done, cb - done);
    if (n > 0) {
      done += DWORD(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && ++cSpins < 100) {
      ::usleep(1000);  // the write time-out: about 100 ms in all
      continue;
    }
    if (pcbWritten) *pcbWritten = done;
    if (pdwError) *pdwError = n < 0 ? DWORD(errno) : 0;
    return false;
  }
  if (pcbWritten) *pcbWritten = done;
  return true;
}

}  // namespace platform
