// Bit fields and Huffman codes of the native map files: least significant
// bit first, bytes in ascending address order.
//
// The stream carries the end of the data it may read: a read that would go
// past it yields zero bits there and sets the sticky overrun flag, so that a
// damaged file can never make a reader touch memory outside it. Callers
// check IsOverrun() where a record ends.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Debug.h"

// One lookup entry, four bytes so that a map's tables stay small: how many
// bits of the current byte the code's last part takes (0..8) and the decoded
// value (stored values have 16 bits); or, for longer codes, the number of the
// sub-table to go on in.
struct HuffmanNode {
  uint16_t wValue;  // the value, or the sub-table's number when fSub
  uint8_t btCodeLen;
  uint8_t fSub;
};
static_assert(sizeof(HuffmanNode) == 4, "HuffmanNode is four bytes");

// A sub-table for codes longer than a byte: only as many entries as the
// longest code ending in it needs (2^bits), a whole byte's worth when codes
// go on to a further sub-table. The next byte of the stream, masked, picks
// the entry.
struct HuffmanSubTable {
  uint32_t dwFirst;  // its first entry in the table's sub-table entries
  uint32_t dwMask;   // 2^bits - 1
};

class CHuffmanTable {
 public:
  CHuffmanTable() { Clear(); }
  CHuffmanTable(const CHuffmanTable&) = delete;
  CHuffmanTable& operator=(const CHuffmanTable&) = delete;

  void Clear();
  // Loads a stored table at p (not past pEnd). Returns the first byte after
  // it, or null when the table is malformed or runs past the end.
  const uint8_t* Load(const uint8_t* p, const uint8_t* pEnd);

  uint32_t GetMaxValue() const { return m_dwMaxValue; }
  const HuffmanNode* GetNodes() const { return m_aNodes; }
  const HuffmanNode* GetSubNodes() const { return m_subNodes.data(); }
  const HuffmanSubTable* GetSubTables() const { return m_subTables.data(); }
  size_t GetSubTableCount() const { return m_subTables.size(); }
  size_t GetSubNodeCount() const { return m_subNodes.size(); }

  // Code lengths above this, and more sub-tables than this, make a stored
  // table malformed (a real map needs far fewer).
  static const unsigned c_cMaxCodeLen = 32;
  static const size_t c_cMaxSubTables = 4096;

 protected:
  HuffmanNode m_aNodes[256];
  uint32_t m_dwMaxValue;
  std::vector<HuffmanSubTable> m_subTables;
  std::vector<HuffmanNode> m_subNodes;  // the entries of all sub-tables
};

// Values that are either Huffman-coded or stored at a fixed width.
class CCodedValueTable : public CHuffmanTable {
 public:
  CCodedValueTable() : m_cBits(0), m_fFixed(false) {}
  const uint8_t* Load(const uint8_t* p, const uint8_t* pEnd);
  bool IsFixed() const { return m_fFixed; }
  uint32_t GetFixedBits() const { return m_cBits; }

 private:
  friend class CBitStream;
  uint32_t m_cBits;
  bool m_fFixed;
};

// Free-function forms of the loaders.
inline const uint8_t* LoadHuffmanTable(CHuffmanTable& table, const uint8_t* p, const uint8_t* pEnd) {
  return table.Load(p, pEnd);
}
inline const uint8_t* LoadCodedValueTable(CCodedValueTable& table, const uint8_t* p, const uint8_t* pEnd) {
  return table.Load(p, pEnd);
}

// Number of significant bits: bitlen(0) = 0, bitlen(4) = 3.
inline uint32_t BitLen(uint32_t x) {
  uint32_t c = 0;
  while (x) {
    ++c;
    x >>= 1;
  }
  return c;
}

class CBitStream {
 public:
  CBitStream() : m_p(nullptr), m_pEnd(nullptr), m_cBit(0), m_fOverrun(false) {}
  CBitStream(const uint8_t* p, const uint8_t* pEnd) : m_p(p), m_pEnd(pEnd), m_cBit(0), m_fOverrun(p > pEnd) {}

  uint32_t ReadBits(unsigned cBits) {
    ASSERT(cBits <= 32);
    if (cBits > 32) cBits = 32;
    if (m_pEnd - m_p >= 8) {
      uint64_t qw = Load64(m_p);
      uint32_t dw = uint32_t((qw >> m_cBit) & ((uint64_t(1) << cBits) - 1));
      const size_t cTotal = m_cBit + cBits;
      m_p += cTotal >> 3;
      m_cBit = cTotal & 7;
      return dw;
    }
    return ReadBitsSlow(cBits);
  }

  uint32_t Decode(const CHuffmanTable& table) {
    // Away from the end one load holds the longest code (4 bytes after the
    // bits already taken), and the stream cannot run over.
    if (m_pEnd - m_p >= 8) {
      uint64_t qw = Load64(m_p) >> m_cBit;
      const HuffmanNode* pNode = &table.GetNodes()[qw & 0xFF];
      unsigned cSkip = 0;
      while (pNode->fSub && cSkip < 4) {
        qw >>= 8;
        ++cSkip;
        const HuffmanSubTable& sub = table.GetSubTables()[pNode->wValue];
        pNode = &table.GetSubNodes()[sub.dwFirst + (uint32_t(qw) & sub.dwMask)];
      }
      if (!pNode->fSub) {
        ASSERT(pNode->btCodeLen <= 8);
        const size_t cTotal = m_cBit + 8 * cSkip + pNode->btCodeLen;
        m_p += cTotal >> 3;
        m_cBit = cTotal & 7;
        return pNode->wValue;
      }
    }
    return DecodeSlow(table);
  }

  // Away from the end, in one load: a code of table a, then one of table b
  // (each of at most 8 bits), then, when fFlag, one bit and, when that is
  // set, cIndexBits (at most 32) more. False, with nothing read, where that
  // does not hold: the caller then reads them one by one.
  bool TryDecodeTwo(const CHuffmanTable& a, const CHuffmanTable& b, bool fFlag, unsigned cIndexBits, uint32_t& va,
                    uint32_t& vb, bool& fIndex, uint32_t& dwIndex) {
    if (m_pEnd - m_p < 8 || cIndexBits > 32) return false;
    uint64_t qw = Load64(m_p) >> m_cBit;  // 57 bits at least, 49 needed
    const HuffmanNode na = a.GetNodes()[qw & 0xFF];
    if (na.fSub) return false;
    qw >>= na.btCodeLen;
    const HuffmanNode nb = b.GetNodes()[qw & 0xFF];
    if (nb.fSub) return false;
    qw >>= nb.btCodeLen;
    size_t cTotal = m_cBit + na.btCodeLen + nb.btCodeLen;
    fIndex = false;
    if (fFlag) {
      ++cTotal;
      if (qw & 1) {
        fIndex = true;
        dwIndex = uint32_t((qw >> 1) & ((uint64_t(1) << cIndexBits) - 1));
        cTotal += cIndexBits;
      }
    }
    m_p += cTotal >> 3;
    m_cBit = cTotal & 7;
    va = na.wValue;
    vb = nb.wValue;
    return true;
  }

  uint32_t Decode(const CCodedValueTable& table) {
    if (table.m_fFixed) return ReadBits(table.m_cBits);
    return Decode(static_cast<const CHuffmanTable&>(table));
  }

  // Moves to the next byte boundary (records start on one).
  void AlignToByte() {
    if (m_cBit) {
      m_cBit = 0;
      ++m_p;
    }
    CheckEnd();
  }

  const uint8_t* GetPtr() const { return m_p; }
  unsigned GetBit() const { return unsigned(m_cBit); }
  bool IsOverrun() const { return m_fOverrun; }

 private:
  // Eight bytes, the first the lowest (one load where the machine stores
  // them so: the compilers do not make one of the loop).
  static uint64_t Load64(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t qw;
    std::memcpy(&qw, p, sizeof qw);
    return qw;
#else
    uint64_t qw = 0;
    for (int i = 7; i >= 0; --i) qw = (qw << 8) | p[i];
    return qw;
#endif
  }
  // The next 8 bits of the stream (bytes past the end read as 0).
  unsigned Peek8() const {
    unsigned w;
    if (m_pEnd - m_p >= 2) w = unsigned(m_p[0]) | unsigned(m_p[1]) << 8;
    else if (m_p < m_pEnd) w = m_p[0];
    else w = 0;
    return (w >> m_cBit) & 0xFF;
  }
  void CheckEnd() {
    if (m_p > m_pEnd || (m_p == m_pEnd && m_cBit != 0)) m_fOverrun = true;
  }
  uint32_t ReadBitsSlow(unsigned cBits);
  // Within 8 bytes of the end, or a code deeper than a table may be.
  uint32_t DecodeSlow(const CHuffmanTable& table);

  const uint8_t* m_p;
  const uint8_t* m_pEnd;
  // Bits of *m_p already consumed, 0..7. Wider than it needs to be: the
  // decoders store 32-bit points and node numbers between reads, and a store
  // through an int32_t* may alias an unsigned member but not this one.
  size_t m_cBit;
  bool m_fOverrun;
};

// Writes bit fields into a byte vector, byte-for-byte what CBitStream reads.
class CBitWriter {
 public:
  explicit CBitWriter(std::vector<uint8_t>& out) : m_out(out), m_dwAcc(0), m_cBits(0) {}
  CBitWriter(const CBitWriter&) = delete;
  CBitWriter& operator=(const CBitWriter&) = delete;

  void WriteBits(unsigned cBitsNum, uint32_t dwBits);
  // Emits the bits still in the accumulator, padded to a whole byte.
  void Flush();
  // Bits written so far (flushed or not).
  uint64_t GetBitCount() const { return uint64_t(m_out.size()) * 8 + m_cBits; }

 private:
  std::vector<uint8_t>& m_out;
  uint32_t m_dwAcc;
  unsigned m_cBits;  // 0..31
};
