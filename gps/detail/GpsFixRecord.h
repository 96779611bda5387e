// The fix record every receiver protocol fills: 88 bytes, little-endian,
// one validity bit per field in m_dwFlags.
#pragma once
#include <cstddef>
#include <cstdint>

namespace gps {
namespace detail {

#pragma pack(push, 1)
struct GpsFixRecord {
  double time;               // days since 1899-12-30 UTC
  float longitude;           // degrees, east positive
  float latitude;            // degrees, north positive
  float horizontalError;     // m
  float altitude;            // m
  float verticalError;       // m
  float geoidSeparation;     // m, geoid above the ellipsoid
  float hdop;
  float vdop;
  float course;              // degrees
  float magneticVariation;   // degrees, east positive
  float speed;               // km/h
  float verticalSpeed;       // m/s, up positive
  int32_t satellitesUsed;    // -1 = unknown
  int32_t status;            // FixStatus
  float dgpsAge;             // s
  int32_t dgpsStation;
  float depth;               // m
  float waterTemperature;    // degrees C
  uint32_t dwFlags;          // GpsFixFlags
  uint32_t dwCreatedTick;    // ms tick when the record was started
};
#pragma pack(pop)

static_assert(sizeof(GpsFixRecord) == 88, "GpsFix is 88 bytes");
static_assert(offsetof(GpsFixRecord, time) == 0, "");
static_assert(offsetof(GpsFixRecord, longitude) == 8, "");
static_assert(offsetof(GpsFixRecord, latitude) == 12, "");
static_assert(offsetof(GpsFixRecord, horizontalError) == 16, "");
static_assert(offsetof(GpsFixRecord, altitude) == 20, "");
static_assert(offsetof(GpsFixRecord, verticalError) == 24, "");
static_assert(offsetof(GpsFixRecord, geoidSeparation) == 28, "");
static_assert(offsetof(GpsFixRecord, hdop) == 32, "");
static_assert(offsetof(GpsFixRecord, vdop) == 36, "");
static_assert(offsetof(GpsFixRecord, course) == 40, "");
static_assert(offsetof(GpsFixRecord, magneticVariation) == 44, "");
static_assert(offsetof(GpsFixRecord, speed) == 48, "");
static_assert(offsetof(GpsFixRecord, verticalSpeed) == 52, "");
static_assert(offsetof(GpsFixRecord, satellitesUsed) == 56, "");
static_assert(offsetof(GpsFixRecord, status) == 60, "");
static_assert(offsetof(GpsFixRecord, dgpsAge) == 64, "");
static_assert(offsetof(GpsFixRecord, dgpsStation) == 68, "");
static_assert(offsetof(GpsFixRecord, depth) == 72, "");
static_assert(offsetof(GpsFixRecord, waterTemperature) == 76, "");
static_assert(offsetof(GpsFixRecord, dwFlags) == 80, "");
static_assert(offsetof(GpsFixRecord, dwCreatedTick) == 84, "");

}  // namespace detail
}  // namespace gps
