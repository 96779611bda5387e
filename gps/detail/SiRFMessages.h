// SiRF binary frames: A0 A2, 16-bit length, payload, 15-bit checksum, B0 B3.
// Every number inside the payload is big-endian.
#pragma once
#include <cstdint>

namespace gps {
namespace detail {

const uint8_t c_btSirfStart1 = 0xA0;
const uint8_t c_btSirfStart2 = 0xA2;
const uint8_t c_btSirfEnd1 = 0xB0;
const uint8_t c_btSirfEnd2 = 0xB3;
const uint32_t c_cbSirfMaxPayload = 2040;  // lengths from here on are rejected
const uint32_t c_cbSirfFrame = 2048;

const uint8_t c_idSirfNavigation = 2;
const uint8_t c_idSirfTracker = 4;

// Offsets in message 2, measured navigation data.
const uint32_t c_offNavX = 1;
const uint32_t c_offNavY = 5;
const uint32_t c_offNavZ = 9;
const uint32_t c_offNavVx = 13;
const uint32_t c_offNavVy = 15;
const uint32_t c_offNavVz = 17;
const uint32_t c_offNavMode = 19;
const uint32_t c_offNavHdop = 20;
const uint32_t c_offNavWeek = 22;
const uint32_t c_offNavTimeOfWeek = 24;
const uint32_t c_offNavSatellites = 28;
const uint32_t c_cbNavMin = 29;

// Offsets in message 4, measured tracker data.
const uint32_t c_offTrkChannels = 7;
const uint32_t c_offTrkFirstChannel = 8;
const uint32_t c_cbTrkChannel = 15;
const uint32_t c_offChnId = 0;
const uint32_t c_offChnAzimuth = 1;
const uint32_t c_offChnElevation = 2;
const uint32_t c_offChnState = 3;
const uint32_t c_offChnCn0 = 5;
const uint32_t c_cChnCn0 = 10;

const double c_dSirfWeekZero = 36394.0;  // 1999-08-22

inline uint16_t GetBe16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t GetBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace detail
}  // namespace gps
