// Serial ports: open by number, line settings, queue sizes, purge,
// time-outs, error word with the input queue count, read and write.
// On Windows this is the COM port driver; natively it is a termios device
// (a pty in the tests), found through SetSerialDevicePath or the environment
// variable VELMO_COM<n>.
#pragma once
#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace platform {

// The time-outs of a port, as the Win32 COMMTIMEOUTS.
struct CSerialTimeouts {
  DWORD dwReadIntervalTimeout;
  DWORD dwReadTotalTimeoutMultiplier;
  DWORD dwReadTotalTimeoutConstant;
  DWORD dwWriteTotalTimeoutMultiplier;
  DWORD dwWriteTotalTimeoutConstant;
};

// Error word bits (the Win32 CE_* values).
const DWORD c_ceRxOver = 0x0001;
const DWORD c_ceOverrun = 0x0002;
const DWORD c_ceRxParity = 0x0004;
const DWORD c_ceFrame = 0x0008;
const DWORD c_ceBreak = 0x0010;
const DWORD c_ceTxFull = 0x0100;
const DWORD c_ceIoe = 0x0400;
const DWORD c_ceMode = 0x8000;

// One open serial port. Not copyable; closes quietly in the destructor.
class CSerialPort {
 public:
  CSerialPort();
  ~CSerialPort() { Close(); }
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Opens port number nPort (COMn) for reading and writing, no sharing.
  // On failure *pdwError holds the system error code.
  bool Open(int nPort, bool fRead, bool fWrite, DWORD* pdwError);
  bool IsValid() const;
  bool Close();

  // Line settings: baud rate, data bits, parity checking on or off and the
  // stop-bit code (0 = one, 1 = one and a half, 2 = two). Everything else
  // stays as the port had it.
  bool Configure(DWORD dwBaud, BYTE btByteSize, bool fParity, BYTE btStopBits, DWORD* pdwError);
  bool SetQueues(DWORD cbIn, DWORD cbOut);
  bool Purge();  // discards what waits in both directions
  bool SetTimeouts(const CSerialTimeouts& to);
  // The error word (cleared by the call) and the bytes waiting to be read.
  bool GetStatus(DWORD* pdwErrors, DWORD* pcbInQueue, DWORD* pdwError);
  bool Read(void* p, DWORD cb, DWORD* pcbRead, DWORD* pdwError);
  bool Write(const void* p, DWORD cb, DWORD* pcbWritten, DWORD* pdwError);

 private:
#ifdef _WIN32
  void* m_h;  // HANDLE
#else
  int m_fd;
#endif
};

// Native builds: the device that stands for COMn (empty to forget it).
// Without a mapping the environment variable VELMO_COM<n> is asked.
// No effect on Windows.
void SetSerialDevicePath(int nPort, const char* pszPath);

}  // namespace platform
