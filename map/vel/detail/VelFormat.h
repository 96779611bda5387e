// Record layouts of the native map file (*.vel). All numbers little-endian;
// offsets are byte offsets from the start of the file.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vel {

static_assert(uint8_t(0x0102) == 2, "");  // (the records are read on little-endian hosts only)

const char c_achMagic[4] = {'G', 'V', 'E', 'L'};
const uint32_t c_dwMaxVersion = 4;

// Main header flags.
const uint32_t c_fExtendedHeader = 0x4;
const uint32_t c_fCitiesMerged = 0x10000;
const uint32_t c_fExtraAddressBit = 0x20000;

// The smallest file the format list accepts.
const uint32_t c_cbMinFile = 564;

#pragma pack(push, 1)

struct VelMainHeader {
  char achMagic[4];        // 0   "GVEL"
  uint32_t dwVersion;      // 4   at most 4
  uint32_t dwFileSize;     // 8   the real size
  uint32_t dwReserved0;    // 12
  int32_t nLeft2;          // 16  bounds at twice the map unit resolution
  int32_t nTop2;           // 20
  int32_t nRight2;         // 24
  int32_t nBottom2;        // 28
  uint16_t wScaleFirst;    // 32  scale codes
  uint16_t wScaleLast;     // 34
  uint16_t wYear;          // 36
  uint8_t btMonth;         // 38
  uint8_t btDay;           // 39  0 = month and year only
  char16_t szName[32];     // 40
  uint8_t abReserved1[128];  // 104
  char16_t szNotice[64];   // 232 "|" separates lines
  uint8_t abReserved2[64];   // 360
  uint32_t dwFlags;        // 424
};
static_assert(sizeof(VelMainHeader) == 428, "");
static_assert(offsetof(VelMainHeader, dwVersion) == 4, "");
static_assert(offsetof(VelMainHeader, dwFileSize) == 8, "");
static_assert(offsetof(VelMainHeader, dwReserved0) == 12, "");
static_assert(offsetof(VelMainHeader, nLeft2) == 16, "");
static_assert(offsetof(VelMainHeader, nTop2) == 20, "");
static_assert(offsetof(VelMainHeader, nRight2) == 24, "");
static_assert(offsetof(VelMainHeader, nBottom2) == 28, "");
static_assert(offsetof(VelMainHeader, wScaleFirst) == 32, "");
static_assert(offsetof(VelMainHeader, wScaleLast) == 34, "");
static_assert(offsetof(VelMainHeader, wYear) == 36, "");
static_assert(offsetof(VelMainHeader, btMonth) == 38, "");
static_assert(offsetof(VelMainHeader, btDay) == 39, "");
static_assert(offsetof(VelMainHeader, szName) == 40, "");
static_assert(offsetof(VelMainHeader, abReserved1) == 104, "");
static_assert(offsetof(VelMainHeader, szNotice) == 232, "");
static_assert(offsetof(VelMainHeader, abReserved2) == 360, "");
static_assert(offsetof(VelMainHeader, dwFlags) == 424, "");

// Legacy layout: the second header part inside an extended main header.
struct VelLegacyHeader {
  VelMainHeader main;           // 0
  uint32_t dwHuffmanOffset;     // 428
  uint32_t dwLabelAreaOffset;   // 432
  uint32_t dwLabelRefBits;      // 436
  uint32_t dwLevelTableOffset;  // 440
  uint32_t dwScales;            // 444
  int32_t nXBias;               // 448
  int32_t nYBias;               // 452
  char achTypeSet[8];           // 456
  uint32_t dwCityIndexOffset;   // 464
  uint8_t abReserved3[8];       // 468
  uint32_t dwLocale;            // 476
  uint8_t abReserved4[16];      // 480
  uint32_t dwObjectIndexOffset; // 496
  uint32_t dwLabelFlags;        // 500
  uint32_t dwNodeCount;         // 504
  uint32_t dwTurnCount;         // 508
  uint32_t dwTurnTableOffset;   // 512
  uint32_t dwRoadRefBits;       // 516
};
static_assert(sizeof(VelLegacyHeader) == 520, "");
static_assert(offsetof(VelLegacyHeader, dwHuffmanOffset) == 428, "");
static_assert(offsetof(VelLegacyHeader, dwLabelAreaOffset) == 432, "");
static_assert(offsetof(VelLegacyHeader, dwLabelRefBits) == 436, "");
static_assert(offsetof(VelLegacyHeader, dwLevelTableOffset) == 440, "");
static_assert(offsetof(VelLegacyHeader, dwScales) == 444, "");
static_assert(offsetof(VelLegacyHeader, nXBias) == 448, "");
static_assert(offsetof(VelLegacyHeader, nYBias) == 452, "");
static_assert(offsetof(VelLegacyHeader, achTypeSet) == 456, "");
static_assert(offsetof(VelLegacyHeader, dwCityIndexOffset) == 464, "");
static_assert(offsetof(VelLegacyHeader, dwLocale) == 476, "");
static_assert(offsetof(VelLegacyHeader, dwObjectIndexOffset) == 496, "");
static_assert(offsetof(VelLegacyHeader, dwLabelFlags) == 500, "");
static_assert(offsetof(VelLegacyHeader, dwNodeCount) == 504, "");
static_assert(offsetof(VelLegacyHeader, dwTurnCount) == 508, "");
static_assert(offsetof(VelLegacyHeader, dwTurnTableOffset) == 512, "");
static_assert(offsetof(VelLegacyHeader, dwRoadRefBits) == 516, "");

// Extended layout: main header and the 768-byte extended header, one record.
struct VelExtHeader {
  VelMainHeader main;           // 0
  uint32_t dwLevelTableOffset;  // 428
  uint32_t dwScales;            // 432
  uint32_t dwLabelAreaOffset;   // 436
  uint32_t dwLabelRefBits;      // 440
  uint32_t dwReserved5;         // 444
  int32_t nXBias;               // 448
  int32_t nYBias;               // 452
  char achTypeSet[8];           // 456
  uint32_t dwHuffmanOffset;     // 464
  uint32_t dwReserved6;         // 468
  uint32_t dwHuffmanLength;     // 472
  uint32_t dwObjectIndexOffset; // 476
  uint32_t dwCityIndexOffset;   // 480
  uint8_t abReserved7[8];       // 484
  uint32_t dwLocale;            // 492
  uint8_t abReserved8[16];      // 496
  uint32_t dwLabelFlags;        // 512
  uint8_t abReserved9[132];     // 516
  uint32_t dwTurnCount;         // 648
  uint32_t dwTurnTableOffset;   // 652
  uint32_t dwRoadRefBits;       // 656
  uint32_t dwNodeCount;         // 660
  uint32_t dwAccessTableOffset; // 664: road access table, 0 = none
  uint32_t dwAccessRoadCount;   // 668: VelRoadAccess records
  uint32_t dwBarrierCount;      // 672: VelNodeBarrier records after them
  uint32_t dwBorderKeyOffset;   // 676: border key table, 0 = none
  uint32_t dwBorderKeyCount;    // 680: VelBorderKey records
  uint8_t abReserved10[512];    // 684
};
static_assert(sizeof(VelExtHeader) == 1196, "");
static_assert(offsetof(VelExtHeader, dwLevelTableOffset) == 428, "");
static_assert(offsetof(VelExtHeader, dwScales) == 432, "");
static_assert(offsetof(VelExtHeader, dwLabelAreaOffset) == 436, "");
static_assert(offsetof(VelExtHeader, dwLabelRefBits) == 440, "");
static_assert(offsetof(VelExtHeader, nXBias) == 448, "");
static_assert(offsetof(VelExtHeader, nYBias) == 452, "");
static_assert(offsetof(VelExtHeader, achTypeSet) == 456, "");
static_assert(offsetof(VelExtHeader, dwHuffmanOffset) == 464, "");
static_assert(offsetof(VelExtHeader, dwHuffmanLength) == 472, "");
static_assert(offsetof(VelExtHeader, dwObjectIndexOffset) == 476, "");
static_assert(offsetof(VelExtHeader, dwCityIndexOffset) == 480, "");
static_assert(offsetof(VelExtHeader, dwLocale) == 492, "");
static_assert(offsetof(VelExtHeader, dwLabelFlags) == 512, "");
static_assert(offsetof(VelExtHeader, dwTurnCount) == 648, "");
static_assert(offsetof(VelExtHeader, dwTurnTableOffset) == 652, "");
static_assert(offsetof(VelExtHeader, dwRoadRefBits) == 656, "");
static_assert(offsetof(VelExtHeader, dwNodeCount) == 660, "");
static_assert(offsetof(VelExtHeader, dwAccessTableOffset) == 664, "");
static_assert(offsetof(VelExtHeader, dwAccessRoadCount) == 668, "");
static_assert(offsetof(VelExtHeader, dwBarrierCount) == 672, "");
static_assert(offsetof(VelExtHeader, dwBorderKeyOffset) == 676, "");
static_assert(offsetof(VelExtHeader, dwBorderKeyCount) == 680, "");
static_assert(offsetof(VelExtHeader, abReserved10) == 684, "");

// The road access table (extended layout only; maps without it route as
// before): the roads a vehicle may use only where a route starts or ends,
// sorted by record offset, then the graph nodes a vehicle may not pass,
// sorted by node number.
struct VelRoadAccess {
  uint32_t dwRoad;     // offset of the road's line record from the map data
  uint8_t btThrough;   // vehicle bits (attribute bits 8-15 >> 8) kept to the route's ends
  uint8_t btFlags;     // c_btAccessUnpaved
  uint16_t wReserved;
};
static_assert(sizeof(VelRoadAccess) == 8, "");
static_assert(offsetof(VelRoadAccess, btThrough) == 4 && offsetof(VelRoadAccess, btFlags) == 5, "");
const uint8_t c_btAccessUnpaved = 0x01;  // unpaved surface or a track

struct VelNodeBarrier {
  uint32_t nNode;      // graph node number
  uint16_t wDeny;      // vehicle bits (as in the attribute word) that may not pass
  uint16_t wReserved;
};
static_assert(sizeof(VelNodeBarrier) == 8, "");
static_assert(offsetof(VelNodeBarrier, wDeny) == 4, "");

// The border key table (extended layout only): the graph nodes of the roads
// that leave the map's part (a tile's rectangle, or the extract the map was
// compiled from), each with the id the source data gives its node (the OSM
// node id), sorted by key, then by node. Maps whose keys are equal meet
// there: a route goes on from one to the other at that node.
struct VelBorderKey {
  uint32_t nNode;  // graph node number
  uint64_t qwKey;  // the source's node id (never 0)
};
static_assert(sizeof(VelBorderKey) == 12, "");
static_assert(offsetof(VelBorderKey, qwKey) == 4, "");

// One zoom level (the table runs from the coarsest to the finest level).
struct VelLevel {
  uint32_t dwFirstBlock;  // 0 offset of the first block header
  uint16_t wBlocks;       // 4
  uint16_t wLevelCode;    // 6 coordinate resolution in bits
};
static_assert(sizeof(VelLevel) == 8, "");
static_assert(offsetof(VelLevel, wBlocks) == 4 && offsetof(VelLevel, wLevelCode) == 6, "");

// Block header; the three section sizes (b1, b2, b3 bytes) follow it.
struct CVelBlock {
  int32_t x;           // 0 origin, level units
  int32_t y;           // 4
  uint16_t wWidth;     // 8 level units
  uint16_t wHeight;    // 10
  uint32_t dwData;     // 12 bits 0-23 data offset, 24-25 b1, 26-27 b2, 28-29 b3
};
static_assert(sizeof(CVelBlock) == 16, "");
static_assert(offsetof(CVelBlock, y) == 4 && offsetof(CVelBlock, wWidth) == 8, "");
static_assert(offsetof(CVelBlock, wHeight) == 10 && offsetof(CVelBlock, dwData) == 12, "");

#pragma pack(pop)

const uint32_t c_dwBlockOffsetMask = 0x00FFFFFF;
inline unsigned BlockSizeBytes(uint32_t dwData, int iSection) { return (dwData >> (24 + 2 * iSection)) & 3; }

// Label codes of an object record.
const unsigned c_nLabelNone = 0;
const unsigned c_nLabelSet1 = 1;
const unsigned c_nLabelShared = 2;
const unsigned c_nLabelSet3 = 3;

// The order of the stored tables in the Huffman blob.
enum VelTable {
  vtChars1, vtLength1, vtChars3, vtLength3,
  vtTypesPoint, vtTypesLine, vtTypesArea,
  vtXDelta, vtYDelta, vtPointCount,
  vtCount
};
const int c_cAddressTables = 4;

}  // namespace vel
