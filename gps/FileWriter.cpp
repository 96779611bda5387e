#include "gps/FileWriter.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Debug.h"
#include "platform/Str.h"

FileWriter::FileWriter(platform::CFile* pFile)
    : m_pFile(pFile), m_pbBuffer(new uint8_t[c_cBufferSize]), m_cBufferPosition(0), m_cPosition(0), m_cLine(1),
      m_fError(false), m_cDecimals(0), m_dwDecimalScale(1) {}

FileWriter::~FileWriter() {
  Flush();
  delete[] m_pbBuffer;
}

void FileWriter::Flush() {
  if (m_cBufferPosition == 0) return;
  if (!m_pFile || !m_pFile->Write(m_pbBuffer, m_cBufferPosition)) m_fError = true;
  m_cBufferPosition = 0;
}

void FileWriter::WriteBytes(const void* pb, size_t cb) {
  m_cPosition += cb;
  if (cb <= c_cBufferSize) {
    if (m_cBufferPosition + cb > c_cBufferSize) Flush();
    ASSERT(m_cBufferPosition + cb <= c_cBufferSize);
    std::memcpy(m_pbBuffer + m_cBufferPosition, pb, cb);
    m_cBufferPosition += cb;
  } else {
    Flush();
    if (!m_pFile || !m_pFile->Write(pb, cb)) m_fError = true;
  }
}

void FileWriter::CountLines(const void* pb, size_t cb, size_t cbUnit) {
  const uint8_t* p = static_cast<const uint8_t*>(pb);
  for (size_t i = 0; i + cbUnit <= cb; i += cbUnit)
    if (p[i] == '\n' && (cbUnit == 1 || p[i + 1] == 0)) ++m_cLine;
}

void FileWriter::WriteText(const char* psz) { WriteText(psz, std::strlen(psz)); }

void FileWriter::WriteText(const char* pch, size_t cch) {
  CountLines(pch, cch, 1);
  WriteBytes(pch, cch);
}

void FileWriter::WriteWideText(const char16_t* psz) {
  size_t cch = platform::StrLen(psz);
  std::vector<uint8_t> bytes(cch * 2);
  for (size_t i = 0; i < cch; ++i) {
    bytes[2 * i] = uint8_t(psz[i] & 0xFF);
    bytes[2 * i + 1] = uint8_t(psz[i] >> 8);
  }
  CountLines(bytes.data(), bytes.size(), 2);
  WriteBytes(bytes.data(), bytes.size());
}

void FileWriter::WriteFormatted(const char* pszFormat, ...) {
  char sz[BUF_LEN + 1];
  va_list args;
  va_start(args, pszFormat);
  int cLen = std::vsnprintf(sz, sizeof sz, pszFormat, args);
  va_end(args);
  if (cLen < 0) return;
  if (size_t(cLen) > BUF_LEN) cLen = int(BUF_LEN);
  ASSERT(size_t(cLen) <= BUF_LEN);
  WriteText(sz, size_t(cLen));
}

void FileWriter::WriteFormatted(const char16_t* pszFormat, ...) {
  char16_t sz[BUF_LEN + 1];
  va_list args;
  va_start(args, pszFormat);
  int cLen = platform::FormatV(sz, BUF_LEN + 1, pszFormat, args);
  va_end(args);
  ASSERT(size_t(cLen) <= BUF_LEN);
  (void)cLen;
  WriteWideText(sz);
}

void FileWriter::WriteUnsigned(uint32_t n) {
  char sz[12];
  int i = 11;
  sz[i] = 0;
  do {
    sz[--i] = char('0' + n % 10);
    n /= 10;
  } while (n != 0);
  WriteText(sz + i, size_t(11 - i));
}

void FileWriter::SetDecimals(int n) {
  if (n < 0) n = 0;
  if (n > 5) n = 5;
  m_cDecimals = n;
  m_dwDecimalScale = 1;
  for (int i = 0; i < n; ++i) m_dwDecimalScale *= 10;
}

void FileWriter::WriteFixed(double d) {
  if (d < 0) {
    WriteByte('-');
    d = -d;
  }
  d += 0.5 / m_dwDecimalScale;
  ASSERT(d >= 0);
  if (d > 4294967295.0) d = 4294967295.0;
  uint32_t whole = uint32_t(d);
  WriteUnsigned(whole);
  if (m_cDecimals == 0) return;
  WriteByte('.');
  uint32_t frac = uint32_t((d - whole) * m_dwDecimalScale);
  if (frac >= m_dwDecimalScale) frac = m_dwDecimalScale - 1;
  char sz[8];
  for (int i = m_cDecimals - 1; i >= 0; --i) {
    sz[i] = char('0' + frac % 10);
    frac /= 10;
  }
  WriteText(sz, size_t(m_cDecimals));
}

void FileWriter::WriteBom() {
  static const uint8_t c_ab[2] = {0xFF, 0xFE};
  WriteBytes(c_ab, 2);
}

void FileWriter::WriteByte(uint8_t b) { WriteBytes(&b, 1); }

void FileWriter::WriteWord(uint16_t w) {
  uint8_t ab[2] = {uint8_t(w), uint8_t(w >> 8)};
  WriteBytes(ab, 2);
}

void FileWriter::WriteDword(uint32_t dw) {
  uint8_t ab[4] = {uint8_t(dw), uint8_t(dw >> 8), uint8_t(dw >> 16), uint8_t(dw >> 24)};
  WriteBytes(ab, 4);
}

void FileWriter::WriteRepeated(uint8_t b, size_t n) {
  if (n <= 32767) {
    uint8_t ab[32767];
    std::memset(ab, b, n);
    WriteBytes(ab, n);
  } else {
    std::vector<uint8_t> block(n, b);
    WriteBytes(block.data(), n);
  }
}

void FileWriter::Seek(uint64_t off) {
  Flush();
  m_cPosition = off;
  if (!m_pFile || !m_pFile->Seek(int64_t(off))) m_fError = true;
}
