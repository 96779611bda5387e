// Record layouts of Garmin IMG map files: the container header, the file
// table, and the headers and records of the TRE, RGN, LBL and NET subfiles.
// All numbers little-endian; offsets are byte offsets from the start of the
// structure. 24-bit fields are byte triples (read with GetLe24).
#pragma once
#include <cstddef>
#include <cstdint>

namespace img {

static_assert(uint8_t(0x0102) == 2, "");  // (the records are read on little-endian hosts only)

inline uint16_t GetLe16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t GetLe24(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }
inline uint32_t GetLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
// Signed 24-bit: values of 0x800000 and above have 0x1000000 subtracted.
inline int32_t SignExtend24(uint32_t v) {
  v &= 0xFFFFFF;
  return v >= 0x800000 ? int32_t(v) - 0x1000000 : int32_t(v);
}

// The container.
const uint32_t c_cbSignatureOffset = 16;  // "DSKIMG", each byte XOR the key
const uint8_t c_btKeyMask = 0x44;         // key = byte 16 XOR this
const uint32_t c_cbFileTableStart = 0x600;
const uint32_t c_cbFatEntry = 512;
const uint8_t c_btYearPivot = 90;  // two-digit years below this are 20xx

#pragma pack(push, 1)

struct ImgHeader {
  uint8_t abReserved0[10];    // 0
  uint8_t btMonth;            // 10  update month
  uint8_t btYear;             // 11  two digits: < 90 -> 2000 + y, else 1900 + y
  uint8_t abReserved1[4];     // 12
  char achSignature[6];       // 16  "DSKIMG"
  uint8_t abReserved2[51];    // 22
  char achDescription[20];    // 73  ANSI text
  uint8_t abReserved3[4];     // 93
  uint8_t btBlockExp1;        // 0x61
  uint8_t btBlockExp2;        // 0x62  block size = 2^(e1 + e2)
  uint8_t abReserved4[937];   // 0x63
  uint32_t dwDataOffset;      // 0x40C end of the file table, start of file data
};
static_assert(sizeof(ImgHeader) == 0x410, "");
static_assert(offsetof(ImgHeader, btMonth) == 10, "");
static_assert(offsetof(ImgHeader, btYear) == 11, "");
static_assert(offsetof(ImgHeader, achSignature) == 16, "");
static_assert(offsetof(ImgHeader, achDescription) == 73, "");
static_assert(offsetof(ImgHeader, btBlockExp1) == 0x61, "");
static_assert(offsetof(ImgHeader, btBlockExp2) == 0x62, "");
static_assert(offsetof(ImgHeader, dwDataOffset) == 0x40C, "");

struct ImgFatEntry {
  uint8_t btUsed;           // 0   1 = entry in use
  char achName[8];          // 1   subfile name (the map number)
  char achType[3];          // 9   "RGN", "TRE", "LBL", "NET", ...
  uint32_t dwSize;          // 12  subfile size in bytes
  uint8_t btReserved;       // 16
  uint8_t btPart;           // 17  0 = first entry of the subfile
  uint8_t abReserved[14];   // 18
  uint16_t awBlocks[240];   // 32  block numbers; the first one places the subfile
};
static_assert(sizeof(ImgFatEntry) == 512, "");
static_assert(offsetof(ImgFatEntry, achName) == 1, "");
static_assert(offsetof(ImgFatEntry, achType) == 9, "");
static_assert(offsetof(ImgFatEntry, dwSize) == 12, "");
static_assert(offsetof(ImgFatEntry, btPart) == 17, "");
static_assert(offsetof(ImgFatEntry, awBlocks) == 32, "");

// The common start of every subfile header.
struct SubfileHeader {
  uint16_t wHeaderLength;   // 0
  char strSignature[10];    // 2   "GARMIN TRE" ...
  uint8_t abReserved[9];    // 12
};
static_assert(sizeof(SubfileHeader) == 21, "");

struct TreHeader {
  uint16_t wHeaderLength;       // 0   at least 0x74
  char strSignature[10];        // 2   "GARMIN TRE"
  uint8_t abReserved[9];        // 12
  uint8_t abNorth[3];           // 21  24-bit signed bounds
  uint8_t abEast[3];            // 24
  uint8_t abSouth[3];           // 27
  uint8_t abWest[3];            // 30
  uint32_t dwLevelsOffset;      // 33  from the TRE start
  uint32_t dwLevelsLength;      // 37  4 bytes per level
  uint32_t dwGroupsOffset;      // 41
  uint32_t dwGroupsLength;      // 45
  uint32_t dwCopyrightsOffset;  // 49
  uint32_t dwCopyrightsLength;  // 53  3 bytes per entry
  uint16_t wCopyrightsRecSize;  // 57  must be 3
};
static_assert(sizeof(TreHeader) == 59, "");
static_assert(offsetof(TreHeader, abNorth) == 21, "");
static_assert(offsetof(TreHeader, abEast) == 24, "");
static_assert(offsetof(TreHeader, abSouth) == 27, "");
static_assert(offsetof(TreHeader, abWest) == 30, "");
static_assert(offsetof(TreHeader, dwLevelsOffset) == 33, "");
static_assert(offsetof(TreHeader, dwLevelsLength) == 37, "");
static_assert(offsetof(TreHeader, dwGroupsOffset) == 41, "");
static_assert(offsetof(TreHeader, dwGroupsLength) == 45, "");
static_assert(offsetof(TreHeader, dwCopyrightsOffset) == 49, "");
static_assert(offsetof(TreHeader, dwCopyrightsLength) == 53, "");
static_assert(offsetof(TreHeader, wCopyrightsRecSize) == 57, "");
const uint16_t c_cbMinTreHeader = 0x74;

struct TreLevel {
  uint8_t btZoom;     // 0  zoom number; bit 7 = inherited level
  uint8_t btBits;     // 1  coordinate resolution
  uint16_t wGroups;   // 2  groups of this level
};
static_assert(sizeof(TreLevel) == 4, "");
const uint8_t c_btInheritedLevel = 0x80;

// A group (subdivision) record; records of the last level lack wNext.
struct TreGroupRecord {
  uint8_t abRgnOffset[3];   // 0   offset of the group's data in the RGN data area
  uint8_t btSections;       // 3   sections present (c_fSection*)
  uint8_t abCentreX[3];     // 4   24-bit signed
  uint8_t abCentreY[3];     // 7
  uint16_t wHalfWidth;      // 10  low 15 bits
  uint16_t wHalfHeight;     // 12  signed
  uint16_t wNext;           // 14  (16-byte records only; not read)
};
static_assert(sizeof(TreGroupRecord) == 16, "");
static_assert(offsetof(TreGroupRecord, btSections) == 3, "");
static_assert(offsetof(TreGroupRecord, abCentreX) == 4, "");
static_assert(offsetof(TreGroupRecord, abCentreY) == 7, "");
static_assert(offsetof(TreGroupRecord, wHalfWidth) == 10, "");
static_assert(offsetof(TreGroupRecord, wHalfHeight) == 12, "");
const uint32_t c_cbGroupRecord = 16;
const uint32_t c_cbLastLevelGroupRecord = 14;
const uint32_t c_cbGroupTableTail = 4;

// Section flags of a group, in the order the sections follow each other.
const uint8_t c_fSectionPOIs = 0x10;
const uint8_t c_fSectionPoints = 0x20;
const uint8_t c_fSectionPolylines = 0x40;
const uint8_t c_fSectionPolygons = 0x80;

struct RgnHeader {
  uint16_t wHeaderLength;   // 0   at least 0x1D
  char strSignature[10];    // 2   "GARMIN RGN"
  uint8_t abReserved[9];    // 12
  uint32_t dwDataOffset;    // 21  the data area, from the RGN start
  uint32_t dwDataLength;    // 25
};
static_assert(sizeof(RgnHeader) == 29, "");
static_assert(offsetof(RgnHeader, dwDataOffset) == 21, "");
static_assert(offsetof(RgnHeader, dwDataLength) == 25, "");
const uint16_t c_cbMinRgnHeader = 0x1D;

struct LblHeader {
  uint16_t wHeaderLength;       // 0
  char strSignature[10];        // 2   "GARMIN LBL"
  uint8_t abReserved0[9];       // 12
  uint32_t dwLabelsOffset;      // 21  label data, from the LBL start
  uint32_t dwLabelsLength;      // 25
  uint8_t btLabelShift;         // 29  label offsets are multiplied by 2^shift
  uint8_t btEncoding;           // 30  6, 9 or 10
  uint8_t abReserved1[56];      // 31
  uint32_t dwPoiPropsOffset;    // 87  POI properties section
  uint32_t dwPoiPropsLength;    // 91  0 = absent
  uint8_t btPoiPropsShift;      // 95  POI property offsets are multiplied by 2^shift
  uint8_t abReserved2[74];      // 96
  uint16_t wCodePage;           // 170 (headers of 172 bytes and more)
};
static_assert(sizeof(LblHeader) == 172, "");
static_assert(offsetof(LblHeader, dwLabelsOffset) == 21, "");
static_assert(offsetof(LblHeader, dwLabelsLength) == 25, "");
static_assert(offsetof(LblHeader, btLabelShift) == 29, "");
static_assert(offsetof(LblHeader, btEncoding) == 30, "");
static_assert(offsetof(LblHeader, dwPoiPropsOffset) == 87, "");
static_assert(offsetof(LblHeader, dwPoiPropsLength) == 91, "");
static_assert(offsetof(LblHeader, btPoiPropsShift) == 95, "");
static_assert(offsetof(LblHeader, wCodePage) == 170, "");
// The part of the header without the code page.
const uint32_t c_cbLblHeaderNoCodePage = offsetof(LblHeader, abReserved2);

const uint8_t c_btEncodingSixBit = 6;
const uint8_t c_btEncodingEightBit = 9;
const uint8_t c_btEncodingMultiByte = 10;

struct NetHeader {
  uint16_t wHeaderLength;   // 0
  char strSignature[10];    // 2   "GARMIN NET"
  uint8_t abReserved[9];    // 12
  uint32_t dwRoadsOffset;   // 21  road records, from the NET start
  uint32_t dwRoadsLength;   // 25
  uint8_t btRoadShift;      // 29  road offsets are multiplied by 2^shift
};
static_assert(sizeof(NetHeader) == 30, "");
static_assert(offsetof(NetHeader, dwRoadsOffset) == 21, "");
static_assert(offsetof(NetHeader, btRoadShift) == 29, "");

// Polygon and polyline records: the first word, then the deltas of the
// first point, the stream length (a byte, or a u16 with c_fPolyLongLength),
// one information byte and the stream.
struct PolyRecord {
  uint32_t dw;        // 0  c_*Poly* bits below
  uint16_t wDeltaX;   // 4  signed
  uint16_t wDeltaY;   // 6  signed
  uint8_t btLength;   // 8  (or the low byte of a 16-bit length)
};
static_assert(sizeof(PolyRecord) == 9, "");
const uint32_t c_dwPolygonTypeMask = 0x7F;
const uint32_t c_dwPolylineTypeMask = 0x3F;
const uint32_t c_fPolylineDirection = 0x40;
const uint32_t c_fPolyLongLength = 0x80;
const uint32_t c_fPolyExtraBit = 0x40000000;
const uint32_t c_fPolyNetLabel = 0x80000000;
const uint32_t c_cbMinPolyRecord = 9;
// Polygon types that are never drawn: 0-3 and the two background areas.
const uint16_t c_wPolygonTypeLastHidden = 3;
const uint16_t c_wPolygonTypeDefinitionArea = 0x4A;
const uint16_t c_wPolygonTypeBackground = 0x4B;

// POI and point records.
struct PointRecord {
  uint32_t dw;        // 0  type in bits 0-7, label in 8-29, flags
  uint16_t wDeltaX;   // 4
  uint16_t wDeltaY;   // 6
};
static_assert(sizeof(PointRecord) == 8, "");
const uint32_t c_fPoiPropsLabel = 0x40000000;
const uint32_t c_fPoiSubtype = 0x80000000;
const uint32_t c_cbMinPointRecord = 8;

#pragma pack(pop)

// Label offsets are 22 bits wide.
const uint32_t c_dwLabelMask = 0x3FFFFF;
inline uint32_t LabelOfWord(uint32_t dw) { return (dw >> 8) & c_dwLabelMask; }

// What must remain of the image behind an indirection target.
const uint32_t c_cbNetRoadMin = 20;
const uint32_t c_cbPoiPropsMin = 4;

}  // namespace img
