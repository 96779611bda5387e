// Bounds-safe little-endian reading and writing of byte records.
//
// CByteReader never forms a pointer outside its data: a read past the end
// clears the sticky ok flag, returns zero and leaves the position at the
// end, so a parser checks IsOk() once after a group of reads.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace store {

class CByteReader {
 public:
  CByteReader(const uint8_t* pb, size_t cb) : m_pb(pb), m_cb(pb ? cb : 0), m_off(0), m_fOk(true) {}

  bool IsOk() const { return m_fOk; }
  void Fail() { m_fOk = false; }
  size_t Pos() const { return m_off; }
  size_t Size() const { return m_cb; }
  size_t Remaining() const { return m_cb - m_off; }
  bool AtEnd() const { return m_off >= m_cb; }
  const uint8_t* Data() const { return m_pb; }
  const uint8_t* Current() const { return m_pb ? m_pb + m_off : nullptr; }

  bool Has(size_t cb) const { return m_fOk && cb <= m_cb - m_off; }
  // Moves to an absolute offset not beyond the end.
  bool Seek(size_t off) {
    if (off > m_cb) { m_fOk = false; m_off = m_cb; return false; }
    m_off = off;
    return true;
  }
  bool Skip(size_t cb) {
    if (!Has(cb)) { m_fOk = false; m_off = m_cb; return false; }
    m_off += cb;
    return true;
  }
  // Pointer to the next cb bytes (and moves past them), or null.
  const uint8_t* Take(size_t cb) {
    if (!Has(cb)) { m_fOk = false; m_off = m_cb; return nullptr; }
    const uint8_t* p = m_pb + m_off;
    m_off += cb;
    return p;
  }
  uint8_t Byte() {
    const uint8_t* p = Take(1);
    return p ? p[0] : 0;
  }
  uint16_t Word() {
    const uint8_t* p = Take(2);
    return p ? uint16_t(p[0] | (p[1] << 8)) : 0;
  }
  uint32_t Dword() {
    const uint8_t* p = Take(4);
    return p ? GetLe32(p) : 0;
  }
  int32_t Int() { return int32_t(Dword()); }
  float Float() {
    uint32_t dw = Dword();
    float f;
    std::memcpy(&f, &dw, 4);
    return f;
  }
  double Double() {
    const uint8_t* p = Take(8);
    if (!p) return 0;
    double d;
    std::memcpy(&d, p, 8);
    return d;
  }
  // A zero-terminated byte string; the terminator must lie inside the data.
  bool CStr(std::string& str) {
    str.clear();
    if (!m_fOk) return false;
    const void* pz = m_off < m_cb ? std::memchr(m_pb + m_off, 0, m_cb - m_off) : nullptr;
    if (!pz) { m_fOk = false; m_off = m_cb; return false; }
    size_t cch = size_t(static_cast<const uint8_t*>(pz) - (m_pb + m_off));
    str.assign(reinterpret_cast<const char*>(m_pb + m_off), cch);
    m_off += cch + 1;
    return true;
  }

  static uint32_t GetLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
  }
  static uint16_t GetLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

 private:
  const uint8_t* m_pb;
  size_t m_cb;
  size_t m_off;
  bool m_fOk;
};

// Appends little-endian values to a growing buffer.
class CByteWriter {
 public:
  explicit CByteWriter(std::vector<uint8_t>& buf) : m_buf(buf) {}
  CByteWriter(const CByteWriter&) = delete;
  CByteWriter& operator=(const CByteWriter&) = delete;

  size_t Pos() const { return m_buf.size(); }
  void Bytes(const void* p, size_t cb) {
    const uint8_t* pb = static_cast<const uint8_t*>(p);
    m_buf.insert(m_buf.end(), pb, pb + cb);
  }
  void Byte(uint8_t bt) { m_buf.push_back(bt); }
  void Word(uint16_t w) {
    m_buf.push_back(uint8_t(w));
    m_buf.push_back(uint8_t(w >> 8));
  }
  void Dword(uint32_t dw) {
    uint8_t ab[4] = {uint8_t(dw), uint8_t(dw >> 8), uint8_t(dw >> 16), uint8_t(dw >> 24)};
    Bytes(ab, 4);
  }
  void Int(int32_t n) { Dword(uint32_t(n)); }
  void Float(float f) {
    uint32_t dw;
    std::memcpy(&dw, &f, 4);
    Dword(dw);
  }
  void Double(double d) { Bytes(&d, 8); }
  void Repeated(uint8_t bt, size_t cb) { m_buf.insert(m_buf.end(), cb, bt); }
  // The bytes and a zero terminator.
  void CStr(const std::string& str) {
    Bytes(str.data(), str.size());
    Byte(0);
  }
  void PatchDword(size_t off, uint32_t dw) {
    m_buf[off] = uint8_t(dw);
    m_buf[off + 1] = uint8_t(dw >> 8);
    m_buf[off + 2] = uint8_t(dw >> 16);
    m_buf[off + 3] = uint8_t(dw >> 24);
  }

 private:
  std::vector<uint8_t>& m_buf;
};

static_assert(std::endian::native == std::endian::little, "floats are copied as little-endian bytes");
static_assert(sizeof(double) == 8 && sizeof(float) == 4, "IEEE sizes");

}  // namespace store
