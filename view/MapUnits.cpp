// Conversions between degrees, metres and map units.
#include "view/MapUnits.h"

#include <cmath>

#include "view/FastMath.h"

int32_t DegreesToMap(double fDegrees) {
  return fast_floor_d(fDegrees * 1073741824.0 / 180.0 + 0.5);
}

int32_t DegreesToMap2(double fDegrees) {
  return fast_floor_d(fDegrees * 2147483648.0 / 180.0 + 0.5);
}

double MapToDegrees(int32_t n) {
  return n * 180.0 / 1073741824.0;
}

double Map2ToDegrees(int32_t n) {
  return (n >> 1) * 180.0 / 1073741824.0;
}

size_t FormatMap2Degrees(int32_t n, char* psz) {
  // (n >> 1) × 180 / 2^30 degrees, times 10^7: (n >> 1) × 1.8e9 / 2^30 =
  // (n >> 1) × 450 000 000 / 2^28, rounded to the nearest, halves to even
  // (as printf rounds an exact binary value).
  const int64_t m = int64_t(n >> 1);
  const uint64_t qwScaled = uint64_t(m < 0 ? -m : m) * 450000000u;
  uint64_t q = qwScaled >> 28;
  const uint64_t r = qwScaled & ((uint64_t(1) << 28) - 1), half = uint64_t(1) << 27;
  if (r > half || (r == half && (q & 1))) ++q;
  char* p = psz;
  if (m < 0) *p++ = '-';
  char sz[24];
  int c = 0;
  const uint64_t qwWhole = q / 10000000u;
  uint32_t dwFrac = uint32_t(q % 10000000u);
  uint64_t w = qwWhole;
  do {
    sz[c++] = char('0' + w % 10);
    w /= 10;
  } while (w);
  while (c) *p++ = sz[--c];
  *p++ = '.';
  for (int i = 6; i >= 0; --i) {
    p[i] = char('0' + dwFrac % 10);
    dwFrac /= 10;
  }
  p += 7;
  *p = 0;
  return size_t(p - psz);
}

int32_t DegreesToSemicircles(double fDegrees) {
  if (!std::isfinite(fDegrees)) return 0;
  double d = std::round(fDegrees * 2147483648.0 / 180.0);
  if (d > 2147483647.0) d = 2147483647.0;
  if (d < -2147483648.0) d = -2147483648.0;
  return int32_t(d);
}

double SemicirclesToDegrees(int32_t n) {
  return n * (180.0 / 2147483648.0);
}

int32_t MetresToMap(double fMetres) {
  return fast_floor_d(fMetres / 20000000.0 * 1073741824.0 + 0.5);
}
