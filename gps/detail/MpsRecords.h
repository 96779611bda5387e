// Records of the MapSource MPS track files the recorder writes. The track
// point is declared only here: the readers of exchange/ take it from here.
#pragma once
#include <cstddef>
#include <cstdint>

namespace gps {
namespace detail {

// The 44-byte file header: "MsRcd\0", record 'D' and record 'A'.
const uint8_t c_abMpsHeader[44] = {
    'M', 's', 'R', 'c', 'd', 0,                                   // signature
    2, 0, 0, 0, 'D', 0x68, 0x00,                                  // 'D': length 2
    26, 0, 0, 0, 'A', 0x9D, 0x01, 0x4B, 0x47, 0x00,               // 'A': length 26, version 413
    'M', 'a', 'r', ' ', ' ', '5', ' ', '2', '0', '0', '6', 0,     // build date
    '2', '0', ':', '0', '1', ':', '3', '6', 0};                   // build time
// The 7-byte end record: length 2, 'V', 00 01.
const uint8_t c_abMpsEnd[7] = {2, 0, 0, 0, 'V', 0x00, 0x01};

const uint32_t c_dwMpsLengthPlaceholder = 31000;
const uint32_t c_dwMpsCountPlaceholder = 1000;
const uint8_t c_btMpsTrack = 'T';
const uint32_t c_cbMpsRecordHead = 5;  // 32-bit length and the type byte

#pragma pack(push, 1)
struct MpsTrackPoint {
  int32_t nLatitude;       // semicircles
  int32_t nLongitude;      // semicircles
  uint8_t btHasAltitude;
  double dAltitude;        // m
  uint8_t btHasTime;
  uint32_t dwTime;         // seconds since 1970-01-01 UTC
  uint8_t btHasDepth;
  double dDepth;           // m
};
#pragma pack(pop)
static_assert(sizeof(MpsTrackPoint) == 31, "MPS track point is 31 bytes");
static_assert(offsetof(MpsTrackPoint, nLongitude) == 4, "");
static_assert(offsetof(MpsTrackPoint, btHasAltitude) == 8, "");
static_assert(offsetof(MpsTrackPoint, dAltitude) == 9, "");
static_assert(offsetof(MpsTrackPoint, btHasTime) == 17, "");
static_assert(offsetof(MpsTrackPoint, dwTime) == 18, "");
static_assert(offsetof(MpsTrackPoint, btHasDepth) == 22, "");
static_assert(offsetof(MpsTrackPoint, dDepth) == 23, "");

// Tracks.bin: the ring of the last 10 000 logged positions.
const uint32_t c_cMaxPoints = 10000;
#pragma pack(push, 1)
struct TrackLogEntry {
  int32_t nLongitude;  // semicircles
  uint32_t dwLatitude; // low 31 bits: latitude in semicircles; bit 31: a new line starts here
};
struct TrackLogFile {
  uint32_t dwEnd;      // next entry to write
  uint32_t dwWrapped;  // 1 once the ring was filled
  TrackLogEntry aEntries[c_cMaxPoints];
};
#pragma pack(pop)
static_assert(sizeof(TrackLogEntry) == 8, "");
static_assert(sizeof(TrackLogFile) == 80008, "Tracks.bin is 80 008 bytes");
static_assert(offsetof(TrackLogFile, dwWrapped) == 4, "");
static_assert(offsetof(TrackLogFile, aEntries) == 8, "");
const uint32_t c_dwNewLineBit = 0x80000000u;

}  // namespace detail
}  // namespace gps
