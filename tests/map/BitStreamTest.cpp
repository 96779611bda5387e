#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "map/bits/BitStream.h"
#include "map/bits/HuffmanEncoder.h"

namespace {

// The value of bits [from, from + n) of a byte string, least significant
// bit first (the reference the reader must agree with).
uint32_t RefBits(const std::vector<uint8_t>& v, size_t from, unsigned n) {
  uint32_t dw = 0;
  for (unsigned i = 0; i < n; ++i) {
    size_t bit = from + i;
    if ((v[bit / 8] >> (bit % 8)) & 1) dw |= 1u << i;
  }
  return dw;
}

TEST(BitStream, ReadsFieldsOfEveryWidthLikeTheConcatenatedBitString) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(64);
  for (uint8_t& b : data) b = uint8_t(rng());
  // 3, 7, 32 bits as the edge case, then random widths straddling bytes.
  std::vector<unsigned> widths{3, 7, 32};
  for (int i = 0; i < 80; ++i) widths.push_back(rng() % 33);
  CBitStream bs(data.data(), data.data() + data.size());
  size_t pos = 0;
  for (unsigned n : widths) {
    if (pos + n > data.size() * 8) break;
    EXPECT_EQ(bs.ReadBits(n), RefBits(data, pos, n)) << "at bit " << pos << " width " << n;
    pos += n;
    EXPECT_LT(bs.GetBit(), 8u);
    EXPECT_EQ(size_t(bs.GetPtr() - data.data()), pos / 8);
    EXPECT_EQ(bs.GetBit(), pos % 8);
  }
  EXPECT_FALSE(bs.IsOverrun());
}

TEST(BitStream, ReadingTheRestOfAByteMovesToTheNextByte) {
  uint8_t data[4] = {0xAC, 0x35, 0, 0};
  CBitStream bs(data, data + 4);
  EXPECT_EQ(bs.ReadBits(3), 0x4u);
  EXPECT_EQ(bs.ReadBits(5), 0xACu >> 3);
  EXPECT_EQ(bs.GetPtr(), data + 1);
  EXPECT_EQ(bs.GetBit(), 0u);
  EXPECT_EQ(bs.ReadBits(0), 0u);
  EXPECT_EQ(bs.GetPtr(), data + 1);
}

TEST(BitStream, NeverReadsPastTheEndAndReportsTheOverrun) {
  uint8_t data[3] = {0xFF, 0xFF, 0x01};
  CBitStream bs(data, data + 2);  // the third byte is outside
  EXPECT_EQ(bs.ReadBits(12), 0xFFFu);
  EXPECT_FALSE(bs.IsOverrun());
  EXPECT_EQ(bs.ReadBits(4), 0xFu);  // exactly to the end
  EXPECT_FALSE(bs.IsOverrun());
  EXPECT_EQ(bs.ReadBits(8), 0u);  // zeros past the end, not the 0x01
  EXPECT_TRUE(bs.IsOverrun());
}

TEST(BitWriter, WritesWhatTheReaderReadsBack) {
  std::mt19937 rng(11);
  std::vector<std::pair<unsigned, uint32_t>> fields;
  for (int i = 0; i < 500; ++i) {
    unsigned n = rng() % 33;
    uint32_t v = n == 32 ? uint32_t(rng()) : n ? uint32_t(rng()) & ((1u << n) - 1) : 0;
    fields.push_back({n, v});
  }
  std::vector<uint8_t> out;
  CBitWriter bw(out);
  uint64_t cBits = 0;
  for (auto& f : fields) {
    bw.WriteBits(f.first, f.second);
    cBits += f.first;
  }
  bw.Flush();
  EXPECT_EQ(out.size(), (cBits + 7) / 8);
  CBitStream bs(out.data(), out.data() + out.size());
  for (auto& f : fields) ASSERT_EQ(bs.ReadBits(f.first), f.second);
}

TEST(BitWriter, WordBoundaryAndFlushEdgeCases) {
  std::vector<uint8_t> out;
  CBitWriter bw(out);
  bw.WriteBits(32, 0xDEADBEEF);
  ASSERT_EQ(out.size(), 4u);  // emitted at once
  EXPECT_EQ(out[0], 0xEF);
  EXPECT_EQ(out[3], 0xDE);
  bw.Flush();
  EXPECT_EQ(out.size(), 4u);  // nothing left in the accumulator
  bw.WriteBits(5, 0x15);
  bw.Flush();
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[4], 0x15);
  bw.WriteBits(0, 0);
  bw.Flush();
  EXPECT_EQ(out.size(), 5u);
}

// Stored table with the given (value, length, code bytes).
std::vector<uint8_t> StoredTable(const std::vector<std::tuple<uint16_t, uint8_t, std::vector<uint8_t>>>& entries) {
  std::vector<uint8_t> v{uint8_t(entries.size()), uint8_t(entries.size() >> 8)};
  for (auto& [val, len, code] : entries) {
    v.push_back(uint8_t(val));
    v.push_back(uint8_t(val >> 8));
    v.push_back(len);
    v.insert(v.end(), code.begin(), code.end());
  }
  return v;
}

TEST(HuffmanTable, SingleEntryOfLengthZeroTakesNoBits) {
  std::vector<uint8_t> t = StoredTable({{0x1234, 0, {}}});
  CHuffmanTable table;
  ASSERT_EQ(table.Load(t.data(), t.data() + t.size()), t.data() + t.size());
  uint8_t data[2] = {0x5A, 0xA5};
  CBitStream bs(data, data + 2);
  EXPECT_EQ(bs.Decode(table), 0x1234u);
  EXPECT_EQ(bs.Decode(table), 0x1234u);
  EXPECT_EQ(bs.GetPtr(), data);
  EXPECT_EQ(bs.GetBit(), 0u);
  EXPECT_EQ(table.GetMaxValue(), 0x1234u);
}

TEST(HuffmanTable, NineBitCodeGoesThroughOneSubTable) {
  // Codes: "0" (1 bit) -> 7, "1" followed by 8 bits 0xFF -> 300 (9 bits: first
  // byte 0xFF... ) Use: value 7 = bit 0 is 0, length 1; value 300 = 9 bits,
  // first 8 bits all 1, the ninth 1; value 301 = first 8 bits all 1, ninth 0.
  std::vector<uint8_t> t = StoredTable({{7, 1, {0x00}}, {300, 9, {0xFF, 0x01}}, {301, 9, {0xFF, 0x00}}});
  CHuffmanTable table;
  ASSERT_NE(table.Load(t.data(), t.data() + t.size()), nullptr);
  EXPECT_EQ(table.GetSubTableCount(), 1u);
  EXPECT_EQ(table.GetSubNodeCount(), 2u);  // the codes end one bit into it
  EXPECT_EQ(table.GetMaxValue(), 301u);
  // Stream: 0 | 1 1111111 1 | 0 -> values 7, 300, 7.
  std::vector<uint8_t> out;
  CBitWriter bw(out);
  bw.WriteBits(1, 0);
  bw.WriteBits(9, 0x1FF);
  bw.WriteBits(1, 0);
  bw.WriteBits(9, 0x0FF);
  bw.Flush();
  CBitStream bs(out.data(), out.data() + out.size());
  EXPECT_EQ(bs.Decode(table), 7u);
  unsigned cBit = bs.GetBit();
  EXPECT_EQ(bs.Decode(table), 300u);
  EXPECT_EQ(bs.GetBit(), (cBit + 1) % 8);
  EXPECT_EQ(bs.Decode(table), 7u);
  EXPECT_EQ(bs.Decode(table), 301u);
  EXPECT_FALSE(bs.IsOverrun());
}

TEST(HuffmanTable, RejectsMalformedStoredTables) {
  CHuffmanTable table;
  std::vector<uint8_t> t = StoredTable({{7, 3, {0xF9}}});  // bits above the 3-bit code
  EXPECT_EQ(table.Load(t.data(), t.data() + t.size()), nullptr);
  t = StoredTable({{7, 40, {1, 2, 3, 4, 5}}});  // longer than any map needs
  EXPECT_EQ(table.Load(t.data(), t.data() + t.size()), nullptr);
  t = StoredTable({{7, 1, {0}}, {8, 1, {1}}});
  for (size_t cut = 0; cut < t.size(); ++cut) EXPECT_EQ(table.Load(t.data(), t.data() + cut), nullptr) << cut;
}

TEST(CodedValueTable, FixedWidthAndHuffmanForms) {
  CCodedValueTable fixed;
  uint8_t stored[5] = {1, 5, 0, 0, 0};  // count 5 -> bitlen(5) = 3 bits
  ASSERT_EQ(fixed.Load(stored, stored + 5), stored + 5);
  EXPECT_TRUE(fixed.IsFixed());
  EXPECT_EQ(fixed.GetFixedBits(), 3u);
  EXPECT_EQ(fixed.GetMaxValue(), 4u);
  uint8_t data[2] = {0x2C, 0x01};  // 100, 101, ...
  CBitStream bs(data, data + 2);
  EXPECT_EQ(bs.Decode(fixed), 4u);
  EXPECT_EQ(bs.Decode(fixed), 5u);
  EXPECT_EQ(BitLen(4), 3u);
  EXPECT_EQ(BitLen(0), 0u);

  std::vector<uint8_t> t{0};
  std::vector<uint8_t> h = StoredTable({{42, 0, {}}});
  t.insert(t.end(), h.begin(), h.end());
  CCodedValueTable coded;
  ASSERT_EQ(coded.Load(t.data(), t.data() + t.size()), t.data() + t.size());
  EXPECT_FALSE(coded.IsFixed());
  CBitStream bs2(data, data + 2);
  EXPECT_EQ(bs2.Decode(coded), 42u);
}

TEST(HuffmanEncoder, CodesRoundTripThroughTheStoredTable) {
  std::mt19937 rng(3);
  CHuffmanEncoder enc(16);
  std::vector<uint16_t> symbols;
  // A skewed distribution over 3000 symbols forces codes longer than 8 and
  // 16 bits into sub-tables and the length limit.
  for (int i = 0; i < 20000; ++i) {
    uint16_t v = uint16_t(std::min<double>(2999, std::exp(std::uniform_real_distribution<>(0, 8)(rng))));
    symbols.push_back(v);
    enc.Add(v);
  }
  enc.Build();
  std::vector<uint8_t> stored;
  enc.Serialize(stored);
  CHuffmanTable table;
  ASSERT_EQ(table.Load(stored.data(), stored.data() + stored.size()), stored.data() + stored.size());
  std::vector<uint8_t> out;
  CBitWriter bw(out);
  for (uint16_t v : symbols) {
    EXPECT_LE(enc.GetLength(v), 16u);
    enc.Write(bw, v);
  }
  bw.Flush();
  CBitStream bs(out.data(), out.data() + out.size());
  for (uint16_t v : symbols) ASSERT_EQ(bs.Decode(table), v);
  EXPECT_FALSE(bs.IsOverrun());
}

// Two codes and a flagged index read in one load give what reading them one
// by one gives, wherever the load fits; where it does not (a code longer
// than 8 bits, the last 8 bytes) nothing is read. Points of a map are read
// so: x and y deltas, then the node flag and number.
TEST(BitStream, TwoCodesAndAFlaggedIndexInOneLoadReadAsOneByOne) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    CHuffmanEncoder encA(16), encB(16);
    std::vector<uint16_t> as, bs;
    for (int i = 0; i < 4000; ++i) {
      // Skewed: most codes short, some longer than a byte.
      as.push_back(uint16_t(std::min<double>(900, std::exp(std::uniform_real_distribution<>(0, 6.8)(rng)))));
      bs.push_back(uint16_t(rng() % (round % 2 ? 3u : 200u)));
      encA.Add(as.back());
      encB.Add(bs.back());
    }
    encA.Build();
    encB.Build();
    std::vector<uint8_t> storedA, storedB, out;
    encA.Serialize(storedA);
    encB.Serialize(storedB);
    CHuffmanTable ta, tb;
    ASSERT_TRUE(ta.Load(storedA.data(), storedA.data() + storedA.size()));
    ASSERT_TRUE(tb.Load(storedB.data(), storedB.data() + storedB.size()));
    const bool fFlag = round % 3 != 0;
    const unsigned cIndexBits = unsigned(rng() % 33);
    std::vector<uint32_t> indexes;
    CBitWriter bw(out);
    for (size_t i = 0; i < as.size(); ++i) {
      encA.Write(bw, as[i]);
      encB.Write(bw, bs[i]);
      indexes.push_back(fFlag && rng() % 3 == 0 ? uint32_t(rng() & ((uint64_t(1) << cIndexBits) - 1)) | 0x80000000u : 0);
      if (!fFlag) continue;
      bw.WriteBits(1, indexes.back() ? 1 : 0);
      if (indexes.back()) bw.WriteBits(cIndexBits, indexes.back() & 0x7FFFFFFFu & uint32_t((uint64_t(1) << cIndexBits) - 1));
    }
    bw.Flush();
    CBitStream bs1(out.data(), out.data() + out.size());
    size_t cFast = 0, cSlow = 0;
    for (size_t i = 0; i < as.size(); ++i) {
      uint32_t va = 0, vb = 0, dwIndex = 0;
      bool fIndex = false;
      const uint8_t* pBefore = bs1.GetPtr();
      const unsigned cBitBefore = bs1.GetBit();
      if (bs1.TryDecodeTwo(ta, tb, fFlag, cIndexBits, va, vb, fIndex, dwIndex)) {
        ++cFast;
      } else {
        ASSERT_TRUE(bs1.GetPtr() == pBefore && bs1.GetBit() == cBitBefore) << "a refused read moved the stream";
        ++cSlow;
        va = bs1.Decode(ta);
        vb = bs1.Decode(tb);
        fIndex = fFlag && bs1.ReadBits(1);
        if (fIndex) dwIndex = bs1.ReadBits(cIndexBits);
      }
      ASSERT_EQ(va, as[i]) << "round " << round << " item " << i;
      ASSERT_EQ(vb, bs[i]) << "round " << round << " item " << i;
      ASSERT_EQ(fIndex, indexes[i] != 0) << "round " << round << " item " << i;
      if (fIndex) ASSERT_EQ(dwIndex, indexes[i] & uint32_t((uint64_t(1) << cIndexBits) - 1));
    }
    EXPECT_FALSE(bs1.IsOverrun());
    EXPECT_GT(cFast, cSlow);
    EXPECT_GT(cSlow, 0u);  // long codes and the stream's end
  }
}

// Random prefix codes of up to 32 bits (random trees, leaves split at any
// depth) decode what was written, bit by bit, through sub-tables of every
// depth and size; and the sub-tables are smaller than a byte's worth each.
TEST(HuffmanTable, RandomPrefixCodesUpTo32BitsDecodeAsWritten) {
  std::mt19937 rng(19);
  size_t cSubNodes = 0, cSubTables = 0;
  for (int round = 0; round < 60; ++round) {
    std::vector<std::vector<int>> leaves{{0}, {1}};  // code bits, first bit first
    const size_t cLeaves = 2 + rng() % 400;
    while (leaves.size() < cLeaves) {
      // Mostly split the deepest leaves, so that long codes share prefixes.
      size_t i = rng() % leaves.size();
      if (rng() % 3) {
        size_t j = rng() % leaves.size();
        if (leaves[j].size() > leaves[i].size()) i = j;
      }
      if (leaves[i].size() >= 32) continue;
      std::vector<int> code = leaves[i];
      leaves[i].push_back(0);
      code.push_back(1);
      leaves.push_back(code);
    }
    std::vector<std::tuple<uint16_t, uint8_t, std::vector<uint8_t>>> entries;
    std::vector<uint16_t> values;
    for (size_t i = 0; i < leaves.size(); ++i) {
      values.push_back(uint16_t(rng()));
      std::vector<uint8_t> bytes((leaves[i].size() + 7) / 8, 0);
      for (size_t b = 0; b < leaves[i].size(); ++b) bytes[b / 8] |= uint8_t(leaves[i][b] << (b % 8));
      entries.emplace_back(values[i], uint8_t(leaves[i].size()), bytes);
    }
    std::shuffle(entries.begin(), entries.end(), rng);
    std::vector<uint8_t> t = StoredTable(entries);
    CHuffmanTable table;
    ASSERT_EQ(table.Load(t.data(), t.data() + t.size()), t.data() + t.size());
    cSubNodes += table.GetSubNodeCount();
    cSubTables += table.GetSubTableCount();
    std::vector<size_t> message;
    std::vector<uint8_t> out;
    CBitWriter bw(out);
    for (int k = 0; k < 3000; ++k) {
      message.push_back(rng() % leaves.size());
      for (int bit : leaves[message.back()]) bw.WriteBits(1, unsigned(bit));
    }
    bw.Flush();
    CBitStream bs(out.data(), out.data() + out.size());
    for (size_t i : message) ASSERT_EQ(bs.Decode(table), values[i]) << "round " << round;
    EXPECT_FALSE(bs.IsOverrun());
  }
  EXPECT_GT(cSubTables, 100u);
  EXPECT_LT(cSubNodes, cSubTables * 256);
}

TEST(HuffmanEncoder, OneSymbolTakesNoBits) {
  CHuffmanEncoder enc;
  enc.Add(9, 100);
  enc.Build();
  EXPECT_EQ(enc.GetLength(9), 0u);
  std::vector<uint8_t> stored;
  enc.Serialize(stored);
  CHuffmanTable table;
  ASSERT_NE(table.Load(stored.data(), stored.data() + stored.size()), nullptr);
  uint8_t zero = 0;
  CBitStream bs(&zero, &zero + 1);
  EXPECT_EQ(bs.Decode(table), 9u);
}

}  // namespace
