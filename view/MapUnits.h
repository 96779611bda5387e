// Map coordinates: signed 32-bit x (longitude) and y (latitude) in angular
// units of 180° / 2^30. For lengths one unit is 20 000 000 m / 2^30 along a
// meridian (along a parallel, times the cosine of the latitude). Settings,
// native map headers and the waypoint store keep coordinates at twice this
// resolution ("doubled", shifted left by one bit).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

// A map point has the layout of a screen point: x, y as signed 32 bits.
typedef VPoint MapPoint;

const int32_t c_nMapUnits180 = 1 << 30;               // 180° in map units
const double c_fMetresPerMapUnit = 20000000.0 / 1073741824.0;  // 0.018626451 m
const float c_fMetresPerMapUnitF = 0.018626451f;
const double c_fMapUnitsPerMetre = 1073741824.0 / 20000000.0;
// The largest latitude the view keeps: 80° (0x1C71C71C).
const int32_t c_nMaxMapLatitude = 477218588;

// Degrees to map units: floor(deg × 2^30 / 180 + 0.5); saturates at the
// 32-bit range; NaN gives 0.
int32_t DegreesToMap(double fDegrees);
// Degrees to doubled map units: floor(deg × 2^31 / 180 + 0.5).
int32_t DegreesToMap2(double fDegrees);
// Map units to degrees: value × 180 / 2^30.
double MapToDegrees(int32_t n);
// Doubled map units to degrees: (value >> 1) × 180 / 2^30.
double Map2ToDegrees(int32_t n);
// Map2ToDegrees(n) written as printf's "%.7f" writes it, character for
// character (the value is a binary fraction: its decimals are exact), in
// integers; at least 12 characters of room. Returns the length.
size_t FormatMap2Degrees(int32_t n, char* psz);
// Degrees to Garmin semicircles (2^31 per 180°, the scale of doubled map
// units): rounded to the nearest, halves away from zero; saturates at the
// 32-bit range (+180° is INT32_MAX); NaN and infinities give 0.
int32_t DegreesToSemicircles(double fDegrees);
// Semicircles (or doubled map units, every bit kept) to degrees:
// value × 180 / 2^31.
double SemicirclesToDegrees(int32_t n);
// Metres to map units along a meridian: floor(m / 20 000 000 × 2^30 + 0.5).
int32_t MetresToMap(double fMetres);
// Map units to metres along a meridian.
inline double MapToMetres(double fUnits) { return fUnits * c_fMetresPerMapUnit; }
