// Distance, course and geoid height on WGS 84.
#include "geo/Geodesy.h"

#include <cmath>
#include <cstdint>

const double g_fWgs84E2 = 2 * c_fWgs84F - c_fWgs84F * c_fWgs84F;

namespace {

// π as the program has always taken it: the single-precision value.
const double c_fPi = double(3.1415927f);
const double c_fRadPerDeg = c_fPi / 180;

struct Ecef {
  double x, y, z, n;
};

Ecef ToEcef(float fLon, float fLat) {
  const double phi = fLat * c_fRadPerDeg;
  const double lambda = fLon * c_fRadPerDeg;
  const double s = std::sin(phi);
  const double n = c_fWgs84A / std::sqrt(1 - g_fWgs84E2 * s * s);
  return Ecef{n * std::cos(phi) * std::cos(lambda), n * std::cos(phi) * std::sin(lambda),
              n * (1 - g_fWgs84E2) * s, n};
}

const int c_cGeoidRows = 19;
const int c_cGeoidCols = 37;
const int8_t c_anGeoid[c_cGeoidRows * c_cGeoidCols] = {
    // -90
    -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30,
    -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30, -30,
    // -80
    -53, -54, -55, -52, -48, -42, -38, -38, -29, -26, -26, -24, -23, -21, -19, -16, -12, -8, -4,
    -1, 1, 4, 4, 6, 5, 4, 2, -6, -15, -24, -33, -40, -48, -50, -53, -52, -53,
    // -70
    -61, -60, -61, -55, -49, -44, -38, -31, -25, -16, -6, 1, 4, 5, 4, 2, 6, 12, 16,
    16, 17, 21, 20, 26, 26, 22, 16, 10, -1, -16, -29, -36, -46, -55, -54, -59, -61,
    // -60
    -45, -43, -37, -32, -30, -26, -23, -22, -16, -10, -2, 10, 20, 20, 21, 24, 22, 17, 16,
    19, 25, 30, 35, 35, 33, 30, 27, 10, -2, -14, -23, -30, -33, -29, -35, -43, -45,
    // -50
    -15, -18, -18, -16, -17, -15, -10, -10, -8, -2, 6, 14, 13, 3, 3, 10, 20, 27, 25,
    26, 34, 39, 45, 45, 38, 39, 28, 13, -1, -15, -22, -22, -18, -15, -14, -10, -15,
    // -40
    21, 6, 1, -7, -12, -12, -12, -10, -7, -1, 8, 23, 15, -2, -6, 6, 21, 24, 18,
    26, 31, 33, 39, 41, 30, 24, 13, -2, -20, -32, -33, -27, -14, -2, 5, 20, 21,
    // -30
    46, 22, 5, -2, -8, -13, -10, -7, -4, 1, 9, 32, 16, 4, -8, 4, 12, 15, 22,
    27, 34, 29, 14, 15, 15, 7, -9, -25, -37, -39, -23, -14, 15, 33, 34, 45, 46,
    // -20
    51, 27, 10, 0, -9, -11, -5, -2, -3, -1, 9, 35, 20, -5, -6, -5, 0, 13, 17,
    23, 21, 8, -9, -10, -11, -20, -40, -47, -45, -25, 5, 23, 45, 58, 57, 63, 51,
    // -10
    36, 22, 11, 6, -1, -8, -10, -8, -11, -9, 1, 32, 4, -18, -13, -9, 4, 14, 12,
    13, -2, -14, -25, -32, -38, -60, -75, -63, -26, 0, 35, 52, 68, 76, 64, 52, 36,
    // 0
    22, 16, 17, 13, 1, -12, -23, -20, -14, -3, 14, 10, -15, -27, -18, 3, 12, 20, 18,
    12, -13, -9, -28, -49, -62, -89, -102, -63, -9, 33, 58, 73, 74, 63, 50, 32, 22,
    // 10
    13, 12, 11, 2, -11, -28, -38, -29, -10, 3, 1, -11, -41, -42, -16, 3, 17, 33, 22,
    23, 2, -3, -7, -36, -59, -90, -95, -63, -24, 12, 53, 60, 58, 46, 36, 26, 13,
    // 20
    5, 10, 7, -7, -23, -39, -47, -34, -9, -10, -20, -45, -48, -32, -9, 17, 25, 31, 31,
    26, 15, 6, 1, -29, -44, -61, -67, -59, -36, -11, 21, 39, 49, 39, 22, 10, 5,
    // 30
    -7, -5, -8, -15, -28, -40, -42, -29, -22, -26, -32, -51, -40, -17, 17, 31, 34, 44, 36,
    28, 29, 17, 12, -20, -15, -40, -33, -34, -34, -28, 7, 29, 43, 20, 4, -6, -7,
    // 40
    -12, -10, -13, -20, -31, -34, -21, -16, -26, -34, -33, -35, -26, 2, 33, 59, 52, 51, 52,
    48, 35, 40, 33, -9, -28, -39, -48, -59, -50, -28, 3, 23, 37, 18, -1, -11, -12,
    // 50
    -8, 8, 8, 1, -11, -19, -16, -18, -22, -35, -40, -26, -12, 24, 45, 63, 62, 59, 47,
    48, 42, 28, 12, -10, -19, -33, -43, -42, -43, -29, -2, 17, 23, 22, 6, 2, -8,
    // 60
    2, 9, 17, 10, 13, 1, -14, -30, -39, -46, -42, -21, 6, 29, 49, 65, 60, 57, 47,
    41, 21, 18, 14, 7, -3, -22, -29, -32, -32, -26, -15, -2, 13, 17, 19, 6, 2,
    // 70
    2, 2, 1, -1, -3, -7, -14, -24, -27, -25, -19, 3, 24, 37, 47, 60, 61, 58, 51,
    43, 29, 20, 12, 5, -2, -10, -14, -12, -10, -14, -12, -6, -2, 3, 6, 4, 2,
    // 80
    3, 1, -2, -3, -3, -3, -1, 3, 1, 5, 9, 11, 19, 27, 31, 34, 33, 34, 33,
    34, 28, 23, 17, 13, 9, 4, 4, 1, -2, -2, 0, 2, 3, 2, 1, 1, 3,
    // 90
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
};
static_assert(sizeof(c_anGeoid) == 703, "19 rows of 37 heights");

}  // namespace

float GetDistance(float fLon1, float fLat1, float fLon2, float fLat2) {
  const Ecef p1 = ToEcef(fLon1, fLat1);
  const Ecef p2 = ToEcef(fLon2, fLat2);
  const double dx = p1.x - p2.x, dy = p1.y - p2.y, dz = p1.z - p2.z;
  const double c = std::sqrt(dx * dx + dy * dy + dz * dz);
  double s = c / (2 * p1.n);
  // Nearly antipodal points on the flattened earth may pass 1.
  if (s > 1)
    s = 1;
  return float(2 * p1.n * std::asin(s));
}

float GetLocalDistance(float fLon1, float fLat1, float fLon2, float fLat2) {
  const double dx = std::cos(fLat1 * c_fRadPerDeg) * (double(fLon1) - fLon2) * c_fWgs84A * c_fRadPerDeg;
  const double dy = (double(fLat1) - fLat2) * c_fWgs84A * c_fRadPerDeg;
  return float(std::sqrt(dx * dx + dy * dy));
}

float GetCourse(float fLon1, float fLat1, float fLon2, float fLat2) {
  if (std::fabs(fLon1 - fLon2) < 1e-6f && std::fabs(fLat1 - fLat2) < 1e-6f)
    return 0;
  if (std::fabs(fLat1 - 90.0f) < 1e-5f)
    return 180;
  if (std::fabs(fLat1 + 90.0f) < 1e-5f)
    return 0;
  const double phi1 = fLat1 * c_fRadPerDeg;
  const double phi2 = fLat2 * c_fRadPerDeg;
  const double dLambda = (double(fLon2) - fLon1) * c_fRadPerDeg;
  const double theta = std::atan2(std::cos(phi2) * std::sin(dLambda),
                                  std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda));
  double fDeg = theta / c_fRadPerDeg;
  if (fDeg < 0)
    fDeg += 360;
  float f = float(fDeg);
  // −1e-9 + 360 rounds to 360.0f in single precision.
  if (f >= 360.0f)
    f = 0;
  return f;
}

float GetTurnAngle(float fLonA, float fLatA, float fLonB, float fLatB, float fLonC, float fLatC) {
  float f = GetCourse(fLonB, fLatB, fLonC, fLatC) - GetCourse(fLonA, fLatA, fLonB, fLatB);
  if (f > 180)
    f -= 360;
  else if (f < -180)
    f += 360;
  return f;
}

float GetGeoidHeight(float fLat, float fLon) {
  // Outside the table (and NaN) there is no value.
  if (!(fLat >= -90 && fLat <= 90 && fLon >= -180 && fLon <= 180))
    return 0;
  const int r = int(std::floor((fLat + 90) / 10));
  const int c = int(std::floor((fLon + 180) / 10));
  const int r1 = r >= c_cGeoidRows - 1 ? r : r + 1;
  const int c1 = c >= c_cGeoidCols - 1 ? c : c + 1;
  const int i00 = r * c_cGeoidCols + c, i10 = r1 * c_cGeoidCols + c;
  const int i01 = r * c_cGeoidCols + c1, i11 = r1 * c_cGeoidCols + c1;
  const int c_cGeoid = c_cGeoidRows * c_cGeoidCols;
  if (i00 < 0 || i00 >= c_cGeoid || i10 >= c_cGeoid || i01 >= c_cGeoid || i11 >= c_cGeoid)
    return 0;
  const float fLat0 = -90.0f + 10 * r, fLat1 = -90.0f + 10 * r1;
  const float fLon0 = -180.0f + 10 * c, fLon1 = -180.0f + 10 * c1;
  const float dLat = fLat1 - fLat0, dLon = fLon1 - fLon0;
  const bool fHasLat = std::fabs(dLat) >= 1e-6f, fHasLon = std::fabs(dLon) >= 1e-6f;
  const float v = fHasLat ? (fLat - fLat0) / dLat : 0;
  const float u = fHasLon ? (fLon - fLon0) / dLon : 0;
  const float h00 = c_anGeoid[i00], h10 = c_anGeoid[i10], h01 = c_anGeoid[i01], h11 = c_anGeoid[i11];
  if (!fHasLat && !fHasLon)
    return h00;
  if (!fHasLat)
    return h00 + (h01 - h00) * u;
  if (!fHasLon)
    return h00 + (h10 - h00) * v;
  return h00 * (1 - u) * (1 - v) + h01 * u * (1 - v) + h10 * (1 - u) * v + h11 * u * v;
}
