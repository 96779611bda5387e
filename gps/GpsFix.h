// GpsFix, its validity flags, FixStatus and SatelliteInfo.
#pragma once
#include <cstdint>
#include <cstring>

#include "gps/detail/GpsFixRecord.h"
#include "platform/Clock.h"

enum GpsFixFlags : uint32_t {
  gfTime = 0x1,
  gfPosition = 0x2,
  gfHorizontalError = 0x4,
  gfAltitude = 0x8,
  gfVerticalError = 0x10,
  gfGeoidSeparation = 0x20,
  gfCourse = 0x40,
  gfMagneticVariation = 0x80,
  gfSpeed = 0x100,
  gfVerticalSpeed = 0x200,
  gfSatellitesUsed = 0x400,
  gfStatus = 0x800,
  gfHdop = 0x1000,
  gfVdop = 0x2000,
  gfDgpsAge = 0x4000,
  gfDgpsStation = 0x8000,
  gfDepth = 0x10000,
  gfWaterTemperature = 0x20000,
};

enum FixStatus : int32_t {
  fsInvalid = 0,
  fsUnknown = 1,
  fs2D = 2,
  fs3D = 3,
  fs2DDiff = 4,
  fs3DDiff = 5,
  fsPps = 6,
  fsRtk = 7,
  fsFloatRtk = 8,
  fsEstimated = 9,
  fsManual = 10,
  fsSimulation = 11,
};

// The display name of a status ("Invalid", "2D", ...; "Unknown" for values
// outside the table).
const char16_t* FixStatusName(int32_t nStatus);
const char* FixStatusNameA(int32_t nStatus);

// The record with its setters: each stores a value and sets its bit.
struct GpsFix : gps::detail::GpsFixRecord {
  // A new record: no field valid, created now.
  void Start() {
    std::memset(static_cast<void*>(this), 0, sizeof *this);
    dwCreatedTick = platform::GetTickMs();
  }
  bool Has(uint32_t dwFlag) const { return (dwFlags & dwFlag) != 0; }
  void Clear(uint32_t dwFlag) { dwFlags &= ~dwFlag; }

  void SetTime(double t) { time = t; dwFlags |= gfTime; }
  void SetPosition(float lon, float lat) { longitude = lon; latitude = lat; dwFlags |= gfPosition; }
  void SetHorizontalError(float f) { horizontalError = f; dwFlags |= gfHorizontalError; }
  void SetAltitude(float f) { altitude = f; dwFlags |= gfAltitude; }
  void SetVerticalError(float f) { verticalError = f; dwFlags |= gfVerticalError; }
  void SetGeoidSeparation(float f) { geoidSeparation = f; dwFlags |= gfGeoidSeparation; }
  void SetHdop(float f) { hdop = f; dwFlags |= gfHdop; }
  void SetVdop(float f) { vdop = f; dwFlags |= gfVdop; }
  void SetCourse(float f) { course = f; dwFlags |= gfCourse; }
  void SetMagneticVariation(float f) { magneticVariation = f; dwFlags |= gfMagneticVariation; }
  void SetSpeed(float f) { speed = f; dwFlags |= gfSpeed; }
  void SetVerticalSpeed(float f) { verticalSpeed = f; dwFlags |= gfVerticalSpeed; }
  void SetSatellitesUsed(int32_t n) { satellitesUsed = n; dwFlags |= gfSatellitesUsed; }
  void SetStatus(int32_t n) { status = n; dwFlags |= gfStatus; }
  void SetDgpsAge(float f) { dgpsAge = f; dwFlags |= gfDgpsAge; }
  void SetDgpsStation(int32_t n) { dgpsStation = n; dwFlags |= gfDgpsStation; }
  void SetDepth(float f) { depth = f; dwFlags |= gfDepth; }
  void SetWaterTemperature(float f) { waterTemperature = f; dwFlags |= gfWaterTemperature; }
};
static_assert(sizeof(GpsFix) == 88, "GpsFix adds no data to its record");

// One satellite in view (20 bytes).
struct SatelliteInfo {
  int32_t nPrn;
  int32_t nElevation;  // degrees
  int32_t nAzimuth;    // degrees
  int32_t nSnr;        // dB
  int32_t nState;      // 1 in view, 2 used in the solution
};
static_assert(sizeof(SatelliteInfo) == 20, "SatelliteInfo is 20 bytes");
