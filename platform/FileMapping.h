// A whole file mapped into memory, read-only or read-write.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// Owns one mapped view of a whole file. On Windows the mapping handle is
// closed as soon as the view exists, so the view is the only owner.
class CFileMapping {
 public:
  CFileMapping() : m_p(nullptr), m_cb(0), m_fWritable(false) {}
  ~CFileMapping() { Close(); }
  CFileMapping(const CFileMapping&) = delete;
  CFileMapping& operator=(const CFileMapping&) = delete;

  // Maps an existing file read-only. An empty file maps as size 0 with a
  // null pointer and succeeds.
  bool OpenRead(const char16_t* pszPath);
  // Opens or creates the file, grows it to cb bytes if it is shorter, and
  // maps cb bytes read-write.
  bool OpenReadWrite(const char16_t* pszPath, size_t cb);
  bool Flush();
  bool Close();

  bool IsOpen() const { return m_p != nullptr || m_cb != 0; }
  // The system's error code of the last failed open (platform/SystemError.h
  // gives its text); 0 after a successful one.
  uint32_t LastError() const { return m_dwError; }
  const uint8_t* Data() const { return m_p; }
  uint8_t* WritableData() const { return m_fWritable ? m_p : nullptr; }
  size_t Size() const { return m_cb; }

 private:
  uint8_t* m_p;
  size_t m_cb;
  bool m_fWritable;
  uint32_t m_dwError = 0;
};

}  // namespace platform
