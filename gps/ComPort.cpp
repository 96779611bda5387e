#include "gps/ComPort.h"

#include "gps/GpsLog.h"
#include "platform/Debug.h"
#include "platform/Str.h"

ComPort::ComPort() : m_nPort(-1), m_dwLastError(0) { m_szName[0] = 0; }

bool ComPort::Open(int nPort, bool fRead, bool fWrite) {
  Close();
  m_nPort = nPort;
  platform::Format(m_szName, 16, u"COM%d:", nPort);
  m_dwLastError = 0;
  return m_port.Open(nPort, fRead, fWrite, &m_dwLastError);
}

void ComPort::Close() { m_port.Close(); }

bool ComPort::Configure(DWORD dwBaud, BYTE btByteSize, bool fParity, BYTE btStopBits) {
  ASSERT(IsValid());
  return m_port.Configure(dwBaud, btByteSize, fParity, btStopBits, &m_dwLastError);
}

bool ComPort::SetQueues(DWORD cbIn, DWORD cbOut) {
  ASSERT(IsValid());
  return m_port.SetQueues(cbIn, cbOut);
}

bool ComPort::Purge() { return m_port.Purge(); }

bool ComPort::SetTimeouts(const platform::CSerialTimeouts& to) { return m_port.SetTimeouts(to); }

bool ComPort::GetStatus(DWORD* pdwErrors, DWORD* pcbInQueue) {
  return m_port.GetStatus(pdwErrors, pcbInQueue, &m_dwLastError);
}

bool ComPort::Read(uint8_t* pb, DWORD cb, DWORD* pcbRead) { return m_port.Read(pb, cb, pcbRead, &m_dwLastError); }

bool ComPort::Write(const uint8_t* pb, DWORD cb) {
  DWORD cbWritten = 0;
  bool ok = m_port.Write(pb, cb, &cbWritten, &m_dwLastError);
  if (!ok) GpsLog(u"WriteFile() failed on %s (error code %d).", m_szName, int(m_dwLastError));
  LogTraffic(m_szName, cb, pb, true);
  return ok;
}
