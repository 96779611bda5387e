// FileWriter: buffered writer of bytes and text over an open file (it does
// not own the file). Used for the MPS track files and by the exporters.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/File.h"
#include "platform/WinTypes.h"

class FileWriter {
 public:
  static const size_t c_cBufferSize = 4096;
  static const size_t BUF_LEN = 512;

  explicit FileWriter(platform::CFile* pFile);
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  void WriteBytes(const void* pb, size_t cb);
  void WriteText(const char* psz);
  void WriteText(const char* pch, size_t cch);
  void WriteWideText(const char16_t* psz);
  void WriteFormatted(const char* pszFormat, ...);
  void WriteFormatted(const char16_t* pszFormat, ...);
  void WriteUnsigned(uint32_t n);
  void WriteFixed(double d);
  void SetDecimals(int n);
  void WriteBom();
  void WriteByte(uint8_t b);
  void WriteWord(uint16_t w);
  void WriteDword(uint32_t dw);
  void WriteRepeated(uint8_t b, size_t n);
  void Seek(uint64_t off);
  void Flush();

  uint64_t Position() const { return m_cPosition; }
  uint32_t Line() const { return m_cLine; }
  bool HasError() const { return m_fError; }

 private:
  void CountLines(const void* pb, size_t cb, size_t cbUnit);

  platform::CFile* m_pFile;
  uint8_t* m_pbBuffer;
  size_t m_cBufferPosition;
  uint64_t m_cPosition;
  uint32_t m_cLine;
  bool m_fError;
  int m_cDecimals;
  uint32_t m_dwDecimalScale;
};
