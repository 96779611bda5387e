#include "map/bits/BitStream.h"

#include <algorithm>

uint32_t CBitStream::ReadBitsSlow(unsigned cBits) {
  uint32_t dw = 0;
  unsigned cDone = 0;
  while (cDone < cBits) {
    unsigned cAvail = 8 - unsigned(m_cBit);
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

uint32_t CBitStream::DecodeSlow(const CHuffmanTable& table) {
  const HuffmanNode* pNode = &table.GetNodes()[Peek8()];
  while (pNode->fSub) {
    ++m_p;
    const HuffmanSubTable& sub = table.GetSubTables()[pNode->wValue];
    pNode = &table.GetSubNodes()[sub.dwFirst + (Peek8() & sub.dwMask)];
  }
  ASSERT(pNode->btCodeLen <= 8);
  m_cBit += pNode->btCodeLen;
  if (m_cBit > 7) {
    m_cBit -= 8;
    ++m_p;
  }
  CheckEnd();
  return pNode->wValue;
}

void CHuffmanTable::Clear() {
  for (HuffmanNode& node : m_aNodes) node = HuffmanNode{0, 0, 0};
  m_dwMaxValue = 0;
  m_subTables.clear();
  m_subNodes.clear();
}

namespace {

// Sets the entry to a value unless it leads on to a sub-table (a longer code
// with the same first bits: the stream's next byte tells them apart).
void SetLeaf(HuffmanNode& node, uint16_t wValue, unsigned cLen) {
  if (node.fSub) return;
  node.wValue = wValue;
  node.btCodeLen = uint8_t(cLen);
}

// A sub-table is named by its depth (1-3) and the code bytes leading to it.
uint32_t SubKey(const uint8_t* pCode, unsigned cDepth) {
  uint32_t dw = cDepth << 24;
  for (unsigned k = 0; k < cDepth; ++k) dw |= uint32_t(pCode[k]) << (8 * k);
  return dw;
}

struct SubNeed {
  uint32_t dwKey;
  unsigned cBits;
};

}  // namespace

// Two passes over the stored codes: the first checks them and finds the
// sub-tables with the bits each needs, the second fills the entries.
const uint8_t* CHuffmanTable::Load(const uint8_t* p, const uint8_t* pEnd) {
  Clear();
  if (!p || pEnd - p < 2) return nullptr;
  const unsigned cEntries = unsigned(p[0]) | unsigned(p[1]) << 8;
  const uint8_t* const pFirst = p + 2;
  std::vector<SubNeed> needs;
  p = pFirst;
  for (unsigned i = 0; i < cEntries; ++i) {
    if (pEnd - p < 3) return nullptr;
    const unsigned cLen = p[2];
    p += 3;
    if (cLen == 0) continue;
    if (cLen > c_cMaxCodeLen) return nullptr;
    const unsigned cBytes = (cLen + 7) / 8;
    if (pEnd - p < ptrdiff_t(cBytes)) return nullptr;
    const unsigned cRest = cLen - 8 * (cBytes - 1);
    const unsigned btRest = p[cBytes - 1];
    if ((btRest & (0xFFu >> (8 - cRest))) != btRest) return nullptr;  // bits above the code
    for (unsigned k = 1; k < cBytes; ++k) needs.push_back(SubNeed{SubKey(p, k), k + 1 < cBytes ? 8 : cRest});
    p += cBytes;
  }
  const uint8_t* const pAfter = p;
  std::sort(needs.begin(), needs.end(), [](const SubNeed& a, const SubNeed& b) { return a.dwKey < b.dwKey; });
  std::vector<uint32_t> keys;
  size_t cSubNodes = 0;
  for (size_t i = 0; i < needs.size();) {
    size_t j = i;
    unsigned cBits = 0;
    for (; j < needs.size() && needs[j].dwKey == needs[i].dwKey; ++j) cBits = std::max(cBits, needs[j].cBits);
    if (keys.size() >= c_cMaxSubTables) return nullptr;
    keys.push_back(needs[i].dwKey);
    m_subTables.push_back(HuffmanSubTable{uint32_t(cSubNodes), (1u << cBits) - 1});
    cSubNodes += size_t(1) << cBits;
    i = j;
  }
  m_subNodes.assign(cSubNodes, HuffmanNode{0, 0, 0});

  p = pFirst;
  for (unsigned i = 0; i < cEntries; ++i) {
    const uint16_t wValue = uint16_t(unsigned(p[0]) | unsigned(p[1]) << 8);
    const unsigned cLen = p[2];
    p += 3;
    if (wValue > m_dwMaxValue) m_dwMaxValue = wValue;
    if (cLen == 0) {
      for (HuffmanNode& node : m_aNodes) SetLeaf(node, wValue, 0);
      continue;
    }
    const unsigned cBytes = (cLen + 7) / 8;
    HuffmanNode* pTable = m_aNodes;
    uint32_t dwMask = 0xFF;
    for (unsigned k = 0; k + 1 < cBytes; ++k) {
      // Codes go on from here, so this table has whole bytes' entries.
      HuffmanNode& node = pTable[p[k] & dwMask];
      const size_t iSub = size_t(std::lower_bound(keys.begin(), keys.end(), SubKey(p, k + 1)) - keys.begin());
      ASSERT(iSub < keys.size() && keys[iSub] == SubKey(p, k + 1));
      node = HuffmanNode{uint16_t(iSub), 0, 1};
      pTable = m_subNodes.data() + m_subTables[iSub].dwFirst;
      dwMask = m_subTables[iSub].dwMask;
    }
    const unsigned cRest = cLen - 8 * (cBytes - 1);
    ASSERT(0 < cRest && cRest <= 8);
    // Every entry j whose low cRest bits equal the last code byte.
    for (unsigned j = p[cBytes - 1]; j <= dwMask; j += 1u << cRest) SetLeaf(pTable[j], wValue, cRest);
    p += cBytes;
  }
  ASSERT(p == pAfter);
  return pAfter;
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
