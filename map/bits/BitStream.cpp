#include "map/bits/BitStream.h"

uint32_t CBitStream::ReadBitsSlow(unsigned cBits) {
  uint32_t dw = 0;
  unsigned cDone = 0;
  while (cDone < cBits) {
    unsigned cAvail = 8 - m_cBit;
    unsigned cTake = cBits - cDone < cAvail ? cBits - cDone : cAvail;
    uint32_t bt = 0;
    if (m_p < m_pEnd) bt = m_p[0];
    else m_fOverrun = true;
    dw |= ((bt >> m_cBit) & ((1u << cTake) - 1)) << cDone;
    cDone += cTake;
    m_cBit += cTake;
    if (m_cBit == 8) {
      m_cBit = 0;
      ++m_p;
    }
  }
  return dw;
}

void CHuffmanTable::Clear() {
  for (HuffmanNode& node : m_aNodes) node = HuffmanNode{0, 0, nullptr};
  m_dwMaxValue = 0;
  m_subTables.clear();
}

const uint8_t* CHuffmanTable::Load(const uint8_t* p, const uint8_t* pEnd) {
  Clear();
  if (!p || pEnd - p < 2) return nullptr;
  unsigned cEntries = unsigned(p[0]) | unsigned(p[1]) << 8;
  p += 2;
  for (unsigned i = 0; i < cEntries; ++i) {
    if (pEnd - p < 3) return nullptr;
    uint32_t dwValue = uint32_t(p[0]) | uint32_t(p[1]) << 8;
    unsigned cLen = p[2];
    p += 3;
    if (dwValue > m_dwMaxValue) m_dwMaxValue = dwValue;
    if (cLen == 0) {
      for (HuffmanNode& node : m_aNodes) {
        node.dwValue = dwValue;
        node.wCodeLen = 0;
      }
      continue;
    }
    if (cLen > c_cMaxCodeLen) return nullptr;
    unsigned cBytes = (cLen + 7) / 8;
    if (pEnd - p < ptrdiff_t(cBytes)) return nullptr;
    HuffmanNode* pTable = m_aNodes;
    for (unsigned k = 0; k + 1 < cBytes; ++k) {
      HuffmanNode& node = pTable[p[k]];
      if (!node.pSubTable) {
        if (m_subTables.size() >= c_cMaxSubTables) return nullptr;
        std::unique_ptr<HuffmanNode[]> sub(new HuffmanNode[256]);
        for (unsigned j = 0; j < 256; ++j) sub[j] = HuffmanNode{0, 0, nullptr};
        node.pSubTable = sub.get();
        m_subTables.push_back(std::move(sub));
      }
      pTable = node.pSubTable;
    }
    unsigned cRest = cLen - 8 * (cBytes - 1);
    ASSERT(0 < cRest && cRest <= 8);
    unsigned btMask = 0xFFu >> (8 - cRest);
    unsigned btRest = p[cBytes - 1];
    if ((btRest & btMask) != btRest) return nullptr;  // bits above the code
    // Every node j whose low cRest bits equal the last code byte.
    for (unsigned j = btRest; j < 256; j += 1u << cRest) {
      pTable[j].dwValue = dwValue;
      pTable[j].wCodeLen = uint16_t(cRest);
    }
    p += cBytes;
  }
  return p;
}

const uint8_t* CCodedValueTable::Load(const uint8_t* p, const uint8_t* pEnd) {
  Clear();
  m_fFixed = false;
  m_cBits = 0;
  if (!p || p >= pEnd) return nullptr;
  uint8_t btFlag = *p++;
  if (btFlag) {
    if (pEnd - p < 4) return nullptr;
    uint32_t c = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    m_fFixed = true;
    m_cBits = BitLen(c);
    m_dwMaxValue = c ? c - 1 : 0;
    return p + 4;
  }
  return CHuffmanTable::Load(p, pEnd);
}

void CBitWriter::WriteBits(unsigned cBitsNum, uint32_t dwBits) {
  ASSERT(cBitsNum <= 32);
  ASSERT(cBitsNum == 32 || (uint64_t(dwBits) >> cBitsNum) == 0);
  if (cBitsNum == 0) return;
  if (cBitsNum < 32) dwBits &= (1u << cBitsNum) - 1;
  m_dwAcc |= m_cBits < 32 ? dwBits << m_cBits : 0;
  m_cBits += cBitsNum;
  if (m_cBits >= 32) {
    for (int i = 0; i < 4; ++i) m_out.push_back(uint8_t(m_dwAcc >> (8 * i)));
    m_cBits -= 32;
    m_dwAcc = m_cBits ? dwBits >> (cBitsNum - m_cBits) : 0;
  }
}

void CBitWriter::Flush() {
  while (m_cBits > 0) {
    m_out.push_back(uint8_t(m_dwAcc));
    m_dwAcc >>= 8;
    m_cBits = m_cBits > 8 ? m_cBits - 8 : 0;
  }
  m_dwAcc = 0;
}
