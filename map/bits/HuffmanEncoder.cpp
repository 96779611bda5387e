#include "map/bits/HuffmanEncoder.h"

#include <algorithm>

// Code lengths of an optimal prefix code (two-queue Huffman over symbols
// sorted by frequency, ties by value).
static std::vector<unsigned> ComputeLengths(const std::vector<uint64_t>& freq) {
  size_t n = freq.size();
  std::vector<unsigned> len(n, 0);
  if (n < 2) return len;
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return freq[a] < freq[b]; });
  // Nodes 0..n-1 are leaves (in sorted order), n.. are internal nodes.
  std::vector<uint64_t> weight(2 * n - 1);
  std::vector<size_t> parent(2 * n - 1, 0);
  for (size_t i = 0; i < n; ++i) weight[i] = freq[order[i]];
  size_t iLeaf = 0, iNode = n, cNodes = n;
  auto take = [&]() {
    if (iLeaf < n && (iNode >= cNodes || weight[iLeaf] <= weight[iNode])) return iLeaf++;
    return iNode++;
  };
  for (size_t k = 0; k + 1 < n; ++k) {
    size_t a = take();
    size_t b = take();
    weight[cNodes] = weight[a] + weight[b];
    parent[a] = parent[b] = cNodes;
    ++cNodes;
  }
  std::vector<unsigned> depth(cNodes, 0);
  for (size_t i = cNodes - 1; i-- > 0;) depth[i] = depth[parent[i]] + 1;
  for (size_t i = 0; i < n; ++i) len[order[i]] = depth[i];
  return len;
}

void CHuffmanEncoder::Build() {
  m_codes.clear();
  if (m_freq.empty()) return;
  std::vector<uint16_t> values;
  std::vector<uint64_t> freq;
  for (const auto& kv : m_freq) {
    values.push_back(kv.first);
    freq.push_back(kv.second ? kv.second : 1);
  }
  if (values.size() == 1) {
    m_codes[values[0]] = Code{0, 0};
    return;
  }
  std::vector<unsigned> len = ComputeLengths(freq);
  // Limit the lengths by flattening the frequencies until they fit.
  for (;;) {
    unsigned cMax = 0;
    for (unsigned l : len) cMax = std::max(cMax, l);
    if (cMax <= m_cMaxLen) break;
    for (uint64_t& f : freq) f = (f + 1) / 2 + 1;
    len = ComputeLengths(freq);
  }
  // Canonical codes in (length, value) order.
  std::vector<size_t> order(values.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return len[a] < len[b]; });
  uint64_t code = 0;
  unsigned cPrev = len[order[0]];
  for (size_t k = 0; k < order.size(); ++k) {
    size_t i = order[k];
    if (k) {
      ++code;
      code <<= (len[i] - cPrev);
    }
    cPrev = len[i];
    // The canonical code is read most significant bit first; the stream
    // holds its first bit in bit 0, so reverse it.
    uint32_t dwRev = 0;
    for (unsigned b = 0; b < len[i]; ++b)
      if (code & (uint64_t(1) << (len[i] - 1 - b))) dwRev |= 1u << b;
    m_codes[values[i]] = Code{dwRev, len[i]};
  }
}

void CHuffmanEncoder::Write(CBitWriter& writer, uint16_t wValue) const {
  auto it = m_codes.find(wValue);
  ASSERT(it != m_codes.end());
  if (it == m_codes.end()) return;
  writer.WriteBits(it->second.cLen, it->second.dwBits);
}

unsigned CHuffmanEncoder::GetLength(uint16_t wValue) const {
  auto it = m_codes.find(wValue);
  return it == m_codes.end() ? 0 : it->second.cLen;
}

void CHuffmanEncoder::Serialize(std::vector<uint8_t>& out) const {
  size_t c = m_codes.size();
  out.push_back(uint8_t(c));
  out.push_back(uint8_t(c >> 8));
  for (const auto& kv : m_codes) {
    out.push_back(uint8_t(kv.first));
    out.push_back(uint8_t(kv.first >> 8));
    out.push_back(uint8_t(kv.second.cLen));
    unsigned cBytes = (kv.second.cLen + 7) / 8;
    for (unsigned k = 0; k < cBytes; ++k) out.push_back(uint8_t(kv.second.dwBits >> (8 * k)));
  }
}
