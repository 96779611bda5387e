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
