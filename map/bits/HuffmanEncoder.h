// Builds Huffman codes from symbol frequencies and writes them in the stored
// table form that CHuffmanTable loads (used by the map compiler and the
// collection index builder). Deterministic: equal inputs give equal codes.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "map/bits/BitStream.h"

class CHuffmanEncoder {
 public:
  // Code lengths are limited to cMaxLen bits (at most 32). With at most 16
  // a reader needs sub-tables of one level only, which keeps opening fast.
  explicit CHuffmanEncoder(unsigned cMaxLen = 16) : m_cMaxLen(cMaxLen) {}

  void Add(uint16_t wValue, uint64_t cCount = 1) { m_freq[wValue] += cCount; }
  // Builds the codes. A single symbol gets a code of length 0 (it takes no
  // bits); no symbols give an empty table.
  void Build();

  bool Has(uint16_t wValue) const { return m_codes.count(wValue) != 0; }
  // Writes the code of a symbol that was added before Build.
  void Write(CBitWriter& writer, uint16_t wValue) const;
  unsigned GetLength(uint16_t wValue) const;
  // The stored table (count, then value, length, code bytes per entry).
  void Serialize(std::vector<uint8_t>& out) const;
  size_t GetSymbolCount() const { return m_codes.size(); }
  uint16_t GetMaxValue() const { return m_freq.empty() ? 0 : m_freq.rbegin()->first; }

 private:
  struct Code {
    uint32_t dwBits;  // in stream order: bit 0 is written first
    unsigned cLen;
  };
  unsigned m_cMaxLen;
  std::map<uint16_t, uint64_t> m_freq;
  std::map<uint16_t, Code> m_codes;
};
