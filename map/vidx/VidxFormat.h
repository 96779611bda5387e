// Record layouts of the map collection index (Index.vidx): a header, one
// record per member map, then optionally the merged city list of the
// members. All numbers little-endian.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vidx {

const char c_achMagic[4] = {'V', 'I', 'D', 'X'};
const uint16_t c_wVersionMapsOnly = 0;
const uint16_t c_wVersionWithCities = 1;
const char16_t c_szIndexName[] = u"Index.vidx";
// Member file names keep at most this many characters (no terminator when
// the name fills the field).
const uint32_t c_cchMemberName = 28;

// dwCityPart: the offset of the city part in the low 24 bits and two flags.
const uint32_t c_dwCityPartMask = 0x00FFFFFF;
const uint32_t c_fHasCitiesIndex = 1u << 24;
const uint32_t c_fHasObjectsIndex = 1u << 25;

#pragma pack(push, 1)

struct VidxHeader {
  char achMagic[4];   // 0  "VIDX"
  uint16_t wVersion;  // 4  0 = maps only, 1 = with the city part
  uint8_t cbHeader;   // 6  32
  uint8_t cbRecord;   // 7  80
  int32_t nLeft2;     // 8  bounds of all members (native header units, twice the map unit)
  int32_t nTop2;      // 12
  int32_t nRight2;    // 16
  int32_t nBottom2;   // 20
  uint32_t dwCityPart;  // 24 offset (bits 0-23) and the index flags
  uint32_t dwLocale;  // 28 LCID of the members' names
};
static_assert(sizeof(VidxHeader) == 32, "");
static_assert(offsetof(VidxHeader, wVersion) == 4, "");
static_assert(offsetof(VidxHeader, cbHeader) == 6, "");
static_assert(offsetof(VidxHeader, cbRecord) == 7, "");
static_assert(offsetof(VidxHeader, nLeft2) == 8, "");
static_assert(offsetof(VidxHeader, nTop2) == 12, "");
static_assert(offsetof(VidxHeader, nRight2) == 16, "");
static_assert(offsetof(VidxHeader, nBottom2) == 20, "");
static_assert(offsetof(VidxHeader, dwCityPart) == 24, "");
static_assert(offsetof(VidxHeader, dwLocale) == 28, "");

struct VidxMapRecord {
  char16_t szFileName[28];  // 0  name in the folder, zero-padded
  uint32_t dwWriteTime;     // 56 low + high half of the file's last write time
  int32_t nLeft2;           // 60 the member's header bounds
  int32_t nTop2;            // 64
  int32_t nRight2;          // 68
  int32_t nBottom2;         // 72
  uint16_t wScaleFirst;     // 76 the member's scale codes
  uint16_t wScaleLast;      // 78
};
static_assert(sizeof(VidxMapRecord) == 80, "");
static_assert(offsetof(VidxMapRecord, dwWriteTime) == 56, "");
static_assert(offsetof(VidxMapRecord, nLeft2) == 60, "");
static_assert(offsetof(VidxMapRecord, nTop2) == 64, "");
static_assert(offsetof(VidxMapRecord, nRight2) == 68, "");
static_assert(offsetof(VidxMapRecord, nBottom2) == 72, "");
static_assert(offsetof(VidxMapRecord, wScaleFirst) == 76, "");
static_assert(offsetof(VidxMapRecord, wScaleLast) == 78, "");

// What this program's builder writes after each map record (the header's
// record size then says 88; readers take the first 80 bytes of a record of
// any size): the member's size, which with the write time tells a member
// replaced after the index was built.
struct VidxMapRecordTail {
  uint64_t cbFile;  // 80 the member's size in bytes
};
static_assert(sizeof(VidxMapRecordTail) == 8, "");
const uint8_t c_cbRecordWithSize = uint8_t(sizeof(VidxMapRecord) + sizeof(VidxMapRecordTail));
static_assert(c_cbRecordWithSize == 88, "");

// Head of the city part; a bit stream of entries follows: 1 bit duplicate
// (same name as the entry before), the map index, the city index.
struct VidxCityPartHeader {
  uint32_t cEntries;   // 0
  uint8_t cMapBits;    // 4 bitlen(maps - 1)
  uint8_t cCityBits;   // 5 bitlen(largest city count of a member - 1)
};
static_assert(sizeof(VidxCityPartHeader) == 6, "");
static_assert(offsetof(VidxCityPartHeader, cMapBits) == 4, "");
static_assert(offsetof(VidxCityPartHeader, cCityBits) == 5, "");

#pragma pack(pop)

// Header bounds (twice the map unit) to map units: halved, the maximum
// rounded up as the native reader does, so +180° comes back whole.
inline int32_t HalveMin(int32_t n) { return n >> 1; }
inline int32_t HalveMax(int32_t n) { return int32_t((int64_t(n) + 1) >> 1); }

}  // namespace vidx
