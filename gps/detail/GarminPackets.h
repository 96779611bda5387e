// Garmin binary serial packets: DLE id size data checksum DLE ETX.
#pragma once
#include <cstddef>
#include <cstdint>

namespace gps {
namespace detail {

const uint8_t c_btDle = 0x10;
const uint8_t c_btEtx = 0x03;

const uint8_t c_idGarminAck = 6;
const uint8_t c_idGarminCommand = 10;
const uint8_t c_idGarminNak = 21;
const uint8_t c_idGarminSatellites = 26;
const uint8_t c_idGarminPvt = 0x33;

// Fixed packets, exactly as sent.
const uint8_t c_abGarminStartPvt[8] = {0x10, 0x0A, 0x02, 0x31, 0x00, 0xC3, 0x10, 0x03};
const uint8_t c_abGarminStopPvt[8] = {0x10, 0x0A, 0x02, 0x32, 0x00, 0xC2, 0x10, 0x03};
const uint8_t c_abGarminAckPvt[8] = {0x10, 0x06, 0x02, 0x33, 0x00, 0xC5, 0x10, 0x03};
const uint8_t c_abGarminNakPvt[8] = {0x10, 0x15, 0x02, 0x33, 0x00, 0xB6, 0x10, 0x03};

#pragma pack(push, 1)
// PVT data (id 0x33), little-endian.
struct GarminPvt {
  float fAltitude;          // above the WGS-84 ellipsoid, m
  float fEpe;               // estimated position error, m (2 sigma)
  float fEph;               // horizontal error, m (2 sigma)
  float fEpv;               // vertical error, m (2 sigma)
  uint16_t wFixType;        // 0 unusable, 1 invalid, 2 2D, 3 3D, 4 2D diff, 5 3D diff
  double dTimeOfWeek;       // s
  double dLatitude;         // radians
  double dLongitude;        // radians
  float fEast;              // m/s
  float fNorth;             // m/s
  float fUp;                // m/s
  float fMslHeight;         // height of the ellipsoid above mean sea level, m
  int16_t nLeapSeconds;     // GPS - UTC
  uint32_t dwWeekNumberDays;  // days from 1989-12-31 to the start of the week
};
// One entry of the satellite packet (id 26).
struct GarminSatellite {
  uint8_t abUnused[3];
  uint8_t btSnr;
  uint8_t btElevation;
  uint8_t btPrnMinus1;      // 0xFF: empty entry
  uint8_t abUnused2[2];
};
#pragma pack(pop)

static_assert(sizeof(GarminPvt) == 64, "PVT data is 64 bytes");
static_assert(offsetof(GarminPvt, fEph) == 8, "");
static_assert(offsetof(GarminPvt, fEpv) == 12, "");
static_assert(offsetof(GarminPvt, wFixType) == 16, "");
static_assert(offsetof(GarminPvt, dTimeOfWeek) == 18, "");
static_assert(offsetof(GarminPvt, dLatitude) == 26, "");
static_assert(offsetof(GarminPvt, dLongitude) == 34, "");
static_assert(offsetof(GarminPvt, fEast) == 42, "");
static_assert(offsetof(GarminPvt, fNorth) == 46, "");
static_assert(offsetof(GarminPvt, fUp) == 50, "");
static_assert(offsetof(GarminPvt, fMslHeight) == 54, "");
static_assert(offsetof(GarminPvt, nLeapSeconds) == 58, "");
static_assert(offsetof(GarminPvt, dwWeekNumberDays) == 60, "");
static_assert(sizeof(GarminSatellite) == 8, "satellite entry is 8 bytes");
static_assert(offsetof(GarminSatellite, btSnr) == 3, "");
static_assert(offsetof(GarminSatellite, btElevation) == 4, "");
static_assert(offsetof(GarminSatellite, btPrnMinus1) == 5, "");
const int c_cGarminSatellites = 12;

const double c_dGarminEpochDays = 32873.0;  // 1989-12-31

}  // namespace detail
}  // namespace gps
