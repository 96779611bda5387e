// Sunrise and sunset: the almanac's own example, polar days and nights,
// bad input, and a whole year at 20 places against an independent
// implementation (suncalc; tests/geo/make_sun_oracle.js wrote the data).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <algorithm>
#include <limits>
#include <map>
#include <sstream>
#include <string>

#include "geo/Sun.h"

namespace {

TEST(Sun, AlmanacExample) {
  // 25 June 1990, Wayne, New Jersey: sunrise 9.441 h UT.
  EXPECT_NEAR(GetSunEventTime(1990, 6, 25, -74.3f, 40.9f, true), 9.441, 1.5 / 3600);
  const float fSet = GetSunEventTime(1990, 6, 25, -74.3f, 40.9f, false);
  // Sunset there is about 00:33 UT the next day.
  EXPECT_NEAR(fSet, 0.55, 0.1);
}

TEST(Sun, PolarNightAndMidnightSun) {
  for (int nDay : {20, 25, 31}) {
    EXPECT_EQ(GetSunEventTime(2024, 12, nDay, 10, 80, true), c_fNoSunEvent);
    EXPECT_EQ(GetSunEventTime(2024, 12, nDay, 10, 80, false), c_fNoSunEvent);
    EXPECT_EQ(GetSunEventTime(2024, 6, nDay, 10, 80, true), c_fNoSunEvent);
    EXPECT_EQ(GetSunEventTime(2024, 6, nDay, 10, 80, false), c_fNoSunEvent);
  }
  // And the other way round in the south.
  EXPECT_EQ(GetSunEventTime(2024, 6, 21, 10, -80, true), c_fNoSunEvent);
  EXPECT_EQ(GetSunEventTime(2024, 12, 21, 10, -80, false), c_fNoSunEvent);
  // The poles themselves.
  EXPECT_EQ(GetSunEventTime(2024, 3, 1, 0, 90, true), c_fNoSunEvent);
}

TEST(Sun, ResultIsInTheDay) {
  for (int nMonth = 1; nMonth <= 12; ++nMonth)
    for (float fLon : {-179.9f, -90.0f, 0.0f, 90.0f, 179.9f}) {
      const float f = GetSunEventTime(2023, nMonth, 15, fLon, 45, nMonth % 2 == 0);
      EXPECT_GE(f, 0);
      EXPECT_LT(f, 24);
    }
}

TEST(Sun, Normalizers) {
  EXPECT_EQ(NormalizeDegrees(0), 0);
  EXPECT_EQ(NormalizeDegrees(360), 0);
  EXPECT_EQ(NormalizeDegrees(-90), 270);
  EXPECT_EQ(NormalizeDegrees(450), 90);
  EXPECT_EQ(NormalizeDegrees(-725), 355);
  EXPECT_EQ(NormalizeHours(-1), 23);
  EXPECT_EQ(NormalizeHours(24), 0);
  EXPECT_EQ(NormalizeHours(49), 1);
  // −1e-7 + 24 rounds to 24.0f: the result stays below the period.
  EXPECT_LT(NormalizeHours(-1e-7f), 24);
  EXPECT_LT(NormalizeDegrees(-1e-6f), 360);
  EXPECT_TRUE(std::isnan(NormalizeHours(std::numeric_limits<float>::quiet_NaN())));
}

TEST(Sun, BadInputHasNoEvent) {
  const float c_fNaN = std::numeric_limits<float>::quiet_NaN();
  const float c_fInf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(GetSunEventTime(2024, 6, 1, c_fNaN, 45, true), c_fNoSunEvent);
  EXPECT_EQ(GetSunEventTime(2024, 6, 1, 10, c_fNaN, false), c_fNoSunEvent);
  EXPECT_EQ(GetSunEventTime(2024, 6, 1, c_fInf, 45, true), c_fNoSunEvent);
  EXPECT_EQ(GetSunEventTime(2024, 6, 1, 10, 91, true), c_fNoSunEvent);
  EXPECT_EQ(GetSunEventTime(2024, 0, 1, 10, 45, true), c_fNoSunEvent);
  EXPECT_EQ(GetSunEventTime(2024, 13, 1, 10, 45, true), c_fNoSunEvent);
  EXPECT_EQ(GetSunEventTime(2024, 2147483647, 1, 10, 45, true), c_fNoSunEvent);
  EXPECT_EQ(GetSunEventTime(2024, 5, 0, 10, 45, true), c_fNoSunEvent);
  // Negative years keep the leap-year rule.
  const float f = GetSunEventTime(-4, 3, 1, 10, 45, true);
  EXPECT_GE(f, 0);
  EXPECT_LT(f, 24);
}

double HoursDiff(double a, double b) {
  double d = std::fabs(a - b);
  return d > 12 ? 24 - d : d;
}

TEST(Sun, AgreesWithSuncalcOverAYear) {
  std::ifstream in(VELMO_SOURCE_DIR "/tests/geo/data/sun_oracle.txt");
  ASSERT_TRUE(in.good());
  std::string strLine;
  int cCompared = 0, cBothNone = 0, cDisagree = 0;
  double fMaxMinutes = 0, fMaxMinutesBelow65 = 0;
  std::map<float, double> mapByLatitude;
  std::string strWorst;
  while (std::getline(in, strLine)) {
    if (strLine.empty() || strLine[0] == '#')
      continue;
    std::istringstream line(strLine);
    float fLat, fLon;
    int nYear, nMonth, nDay;
    std::string astr[2];
    ASSERT_TRUE(bool(line >> fLat >> fLon >> nYear >> nMonth >> nDay >> astr[0] >> astr[1])) << strLine;
    for (int i = 0; i < 2; ++i) {
      const float f = GetSunEventTime(nYear, nMonth, nDay, fLon, fLat, i == 0);
      if (astr[i] == "none") {
        if (f == c_fNoSunEvent)
          ++cBothNone;
        else
          ++cDisagree;
        continue;
      }
      if (f == c_fNoSunEvent) {
        ++cDisagree;
        continue;
      }
      const double fMinutes = HoursDiff(f, std::stod(astr[i])) * 60;
      mapByLatitude[fLat] = std::max(mapByLatitude[fLat], fMinutes);
      if (std::fabs(fLat) < 65)
        fMaxMinutesBelow65 = std::max(fMaxMinutesBelow65, fMinutes);
      if (fMinutes > fMaxMinutes) {
        fMaxMinutes = fMinutes;
        strWorst = strLine + (i == 0 ? " (sunrise)" : " (sunset)");
      }
      ++cCompared;
    }
  }
  for (const auto& [fLat, fMax] : mapByLatitude)
    std::printf("latitude %+8.4f: largest difference %.2f min\n", fLat, fMax);
  std::printf("%d events compared: largest difference %.2f min (%.2f min within 65°) at %s; %d without event in both, %d on one side only\n",
              cCompared, fMaxMinutes, fMaxMinutesBelow65, strWorst.c_str(), cBothNone, cDisagree);
  EXPECT_GT(cCompared, 14000);
  EXPECT_LT(fMaxMinutesBelow65, 5.0);
  // At 70° the sun grazes the horizon for days around the polar day and
  // night, and a small difference in declination moves the event far.
  EXPECT_LT(fMaxMinutes, 30.0);
  // Whether the sun rises at all can differ only on the few days at 70°
  // where it grazes the horizon.
  EXPECT_LT(cDisagree, 20);
}

}  // namespace
