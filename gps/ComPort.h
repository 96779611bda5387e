// ComPort: one open serial port of the GPS code, named "COM%d:" in every
// message.
#pragma once
#include <cstdint>

#include "platform/SerialPort.h"
#include "platform/WinTypes.h"

const int c_cMinComPort = 0;
const int c_cMaxComPort = 19;

class ComPort {
 public:
  ComPort();
  ~ComPort() { Close(); }
  ComPort(const ComPort&) = delete;
  ComPort& operator=(const ComPort&) = delete;

  // Opens port nPort ("COM%d:") with read and/or write access, no sharing.
  bool Open(int nPort, bool fRead, bool fWrite);
  DWORD LastError() const { return m_dwLastError; }
  bool IsValid() const { return m_port.IsValid(); }
  void Close();

  bool Configure(DWORD dwBaud, BYTE btByteSize, bool fParity, BYTE btStopBits);
  bool SetQueues(DWORD cbIn, DWORD cbOut);
  bool Purge();
  bool SetTimeouts(const platform::CSerialTimeouts& to);
  // ClearCommError: error word and input queue count.
  bool GetStatus(DWORD* pdwErrors, DWORD* pcbInQueue);
  bool Read(uint8_t* pb, DWORD cb, DWORD* pcbRead);
  // Writes synchronously; logs a failure and dumps the bytes as sent.
  bool Write(const uint8_t* pb, DWORD cb);

  const char16_t* Name() const { return m_szName; }
  int Number() const { return m_nPort; }

 private:
  platform::CSerialPort m_port;
  char16_t m_szName[16];
  int m_nPort;
  DWORD m_dwLastError;
};
