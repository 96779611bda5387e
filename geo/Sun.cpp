// Sunrise and sunset after the Almanac for Computers (1990), in single
// precision with the official zenith of 90°50′.
#include "geo/Sun.h"

#include <cmath>

namespace {

const float c_fPi = 3.1415927f;
const float c_fRadPerDeg = c_fPi / 180;
const float c_fZenith = 1.5853408257303272f;  // 90.833°

inline float SinDeg(float f) {
  return std::sin(f * c_fRadPerDeg);
}
inline float CosDeg(float f) {
  return std::cos(f * c_fRadPerDeg);
}
inline float TanDeg(float f) {
  return std::tan(f * c_fRadPerDeg);
}

float Normalize(float f, float fPeriod) {
  if (f >= 0 && f < fPeriod)
    return f;
  if (f < 0 && f >= -fPeriod)
    f += fPeriod;
  else if (f >= fPeriod && f < 2 * fPeriod)
    f -= fPeriod;
  else
    f = std::fmod(f, fPeriod) + (f < 0 ? fPeriod : 0);
  // −tiny + period rounds to the period itself.
  if (f >= fPeriod || f < 0)
    f = 0;
  return f;
}

}  // namespace

float NormalizeDegrees(float f) {
  if (!std::isfinite(f))
    return f;
  return Normalize(f, 360.0f);
}

float NormalizeHours(float f) {
  if (!std::isfinite(f))
    return f;
  return Normalize(f, 24.0f);
}

float GetSunEventTime(int nYear, int nMonth, int nDay, float fLon, float fLat, bool fRising) {
  if (nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > 31)
    return c_fNoSunEvent;
  if (!(fLat >= -90 && fLat <= 90) || !(fLon >= -360 && fLon <= 360))
    return c_fNoSunEvent;
  // 1. Day of the year.
  const int n1 = 275 * nMonth / 9;
  const int n2 = (nMonth + 9) / 12;
  const int n3 = ((nYear % 4 + 4) % 4 + 2) / 3 + 1;
  const int nDayOfYear = n1 - n2 * n3 + nDay - 30;
  // 2. Longitude hour and approximate time.
  const float fLonHour = fLon / 15;
  const float t = nDayOfYear + ((fRising ? 6.0f : 18.0f) - fLonHour) / 24;
  // 3. Mean anomaly.
  const float m = 0.9856f * t - 3.289f;
  // 4. True longitude.
  const float l = NormalizeDegrees(m + 1.916f * SinDeg(m) + 0.020f * SinDeg(2 * m) + 282.634f);
  // 5. Right ascension in the quadrant of L, in hours.
  float ra = NormalizeDegrees(std::atan(0.91764f * TanDeg(l)) / c_fRadPerDeg);
  ra += 90 * std::trunc(l / 90) - 90 * std::trunc(ra / 90);
  ra /= 15;
  // 6. Declination.
  const float fSinDec = 0.39782f * SinDeg(l);
  const float fCosDec = std::cos(std::asin(fSinDec));
  // 7. Local hour angle.
  const float fCosH = (std::cos(c_fZenith) - fSinDec * SinDeg(fLat)) / (fCosDec * CosDeg(fLat));
  // 8. The sun never rises (> 1) or never sets (< −1) here on that date.
  if (!(fCosH >= -1 && fCosH <= 1))
    return c_fNoSunEvent;
  // 9.
  const float fAcos = std::acos(fCosH) / c_fRadPerDeg;
  const float h = (fRising ? 360 - fAcos : fAcos) / 15;
  // 10. Local mean time of the event.
  const float fT = h + ra - 0.06571f * t - 6.622f;
  // 11. Universal time.
  return NormalizeHours(fT - fLonHour);
}
