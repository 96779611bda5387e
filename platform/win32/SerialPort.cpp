#include "platform/SerialPort.h"

#include "platform/Str.h"
#include "platform/win32/Win32.h"

namespace platform {

void SetSerialDevicePath(int, const char*) {}

CSerialPort::CSerialPort() : m_h(nullptr) {}

bool CSerialPort::IsValid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }

bool CSerialPort::Open(int nPort, bool fRead, bool fWrite, DWORD* pdwError) {
  Close();
  // The device namespace form works for every port number, also COM10 and up.
  std::u16string name = FormatStr(u"\\\\.\\COM%d", nPort);
  DWORD dwAccess = (fRead ? GENERIC_READ : 0) | (fWrite ? GENERIC_WRITE : 0);
  HANDLE h = ::CreateFileW(W(name.c_str()), dwAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    if (pdwError) *pdwError = ::GetLastError();
    m_h = nullptr;
    return false;
  }
  m_h = h;
  return true;
}

bool CSerialPort::Close() {
  if (!IsValid()) {
    m_h = nullptr;
    return true;
  }
  bool ok = ::CloseHandle(m_h) != 0;
  m_h = nullptr;
  return ok;
}

bool CSerialPort::Configure(DWORD dwBaud, BYTE btByteSize, bool fParity, BYTE btStopBits, DWORD* pdwError) {
  if (!IsValid()) {
    if (pdwError) *pdwError = ERROR_INVALID_HANDLE;
    return false;
  }
  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(m_h, &dcb)) {
    if (pdwError) *pdwError = ::GetLastError();
    return false;
  }
  dcb.BaudRate = dwBaud;
  dcb.ByteSize = btByteSize;
  dcb.fParity = fParity ? TRUE : FALSE;
  dcb.StopBits = btStopBits;
  if (!::SetCommState(m_h, &dcb)) {
    if (pdwError) *pdwError = ::GetLastError();
    return false;
  }
  return true;
}

bool CSerialPort::SetQueues(DWORD cbIn, DWORD cbOut) { return IsValid() && ::SetupComm(m_h, cbIn, cbOut) != 0; }

bool CSerialPort::Purge() { return IsValid() && ::PurgeComm(m_h, PURGE_TXCLEAR | PURGE_RXCLEAR) != 0; }

bool CSerialPort::SetTimeouts(const CSerialTimeouts& to) {
  if (!IsValid()) return false;
  COMMTIMEOUTS ct;
  ct.ReadIntervalTimeout = to.dwReadIntervalTimeout;
  ct.ReadTotalTimeoutMultiplier = to.dwReadTotalTimeoutMultiplier;
  ct.ReadTotalTimeoutConstant = to.dwReadTotalTimeoutConstant;
  ct.WriteTotalTimeoutMultiplier = to.dwWriteTotalTimeoutMultiplier;
  ct.WriteTotalTimeoutConstant = to.dwWriteTotalTimeoutConstant;
  return ::SetCommTimeouts(m_h, &ct) != 0;
}

bool CSerialPort::GetStatus(DWORD* pdwErrors, DWORD* pcbInQueue, DWORD* pdwError) {
  if (pdwErrors) *pdwErrors = 0;
  if (pcbInQueue) *pcbInQueue = 0;
  if (!IsValid()) {
    if (pdwError) *pdwError = ERROR_INVALID_HANDLE;
    return false;
  }
  DWORD dwErrors = 0;
  COMSTAT stat;
  ZeroMemory(&stat, sizeof stat);
  if (!::ClearCommError(m_h, &dwErrors, &stat)) {
    if (pdwError) *pdwError = ::GetLastError();
    return false;
  }
  if (pdwErrors) *pdwErrors = dwErrors;
  if (pcbInQueue) *pcbInQueue = stat.cbInQue;
  return true;
}

bool CSerialPort::Read(void* p, DWORD cb, DWORD* pcbRead, DWORD* pdwError) {
  DWORD n = 0;
  if (!IsValid()) {
    if (pcbRead) *pcbRead = 0;
    if (pdwError) *pdwError = ERROR_INVALID_HANDLE;
    return false;
  }
  BOOL ok = ::ReadFile(m_h, p, cb, &n, nullptr);
  if (!ok && pdwError) *pdwError = ::GetLastError();
  if (pcbRead) *pcbRead = n;
  return ok != 0;
}

bool CSerialPort::Write(const void* p, DWORD cb, DWORD* pcbWritten, DWORD* pdwError) {
  DWORD n = 0;
  if (!IsValid()) {
    if (pcbWritten) *pcbWritten = 0;
    if (pdwError) *pdwError = ERROR_INVALID_HANDLE;
    return false;
  }
  BOOL ok = ::WriteFile(m_h, p, cb, &n, nullptr);
  if (!ok && pdwError) *pdwError = ::GetLastError();
  if (pcbWritten) *pcbWritten = n;
  return ok != 0;
}

}  // namespace platform
