// Distance and course for the store until it links the geodesy of geo/:
// a sphere of the mean earth radius, good to a few tenths of a percent.
#pragma once
#include <cmath>

namespace store::detail {

const double c_dEarthRadius = 6371008.8;
const double c_dDegToRad = 3.14159265358979323846 / 180.0;

inline float LocalDistance(double dLon1, double dLat1, double dLon2, double dLat2) {
  double f1 = dLat1 * c_dDegToRad, f2 = dLat2 * c_dDegToRad;
  double dF = f2 - f1, dL = (dLon2 - dLon1) * c_dDegToRad;
  double a = std::sin(dF / 2) * std::sin(dF / 2) + std::cos(f1) * std::cos(f2) * std::sin(dL / 2) * std::sin(dL / 2);
  return float(2 * c_dEarthRadius * std::atan2(std::sqrt(a), std::sqrt(1 - a)));
}

// Initial course in degrees [0, 360).
inline double LocalCourse(double dLon1, double dLat1, double dLon2, double dLat2) {
  double f1 = dLat1 * c_dDegToRad, f2 = dLat2 * c_dDegToRad, dL = (dLon2 - dLon1) * c_dDegToRad;
  double y = std::sin(dL) * std::cos(f2);
  double x = std::cos(f1) * std::sin(f2) - std::sin(f1) * std::cos(f2) * std::cos(dL);
  double c = std::atan2(y, x) / c_dDegToRad;
  return c < 0 ? c + 360.0 : c;
}

}  // namespace store::detail
