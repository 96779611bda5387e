// Distance, course and geoid height: the known values, and distance and
// course against GeographicLib's geodesic on random pairs.
#include <gtest/gtest.h>

#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "geo/Geodesy.h"

namespace {

const float c_fNaN = std::numeric_limits<float>::quiet_NaN();
const float c_fInf = std::numeric_limits<float>::infinity();

double AngleDiff(double a, double b) {
  double d = std::fmod(std::fabs(a - b), 360.0);
  return d > 180 ? 360 - d : d;
}

TEST(Geodesy, KnownDistancesAndCourses) {
  EXPECT_NEAR(GetCourse(-118, 33, -73, 40), 65.8, 0.1);
  EXPECT_NEAR(GetDistance(26.614940643310547f, 51.33626174926758f, 26.612539291381836f, 51.33544158935547f),
              190, 1);
  // Course from a point to itself, from the poles.
  EXPECT_EQ(GetCourse(30, 50, 30, 50), 0);
  EXPECT_EQ(GetCourse(10, 90, 20, 10), 180);
  EXPECT_EQ(GetCourse(10, -90, 20, 10), 0);
  // Cardinal directions.
  EXPECT_NEAR(GetCourse(0, 0, 0, 1), 0, 1e-4);
  EXPECT_NEAR(GetCourse(0, 0, 1, 0), 90, 1e-4);
  EXPECT_NEAR(GetCourse(0, 1, 0, 0), 180, 1e-4);
  EXPECT_NEAR(GetCourse(1, 0, 0, 0), 270, 1e-4);
  // A course just west of north stays below 360.
  const float f = GetCourse(0, 0, -1e-5f, 10);
  EXPECT_GE(f, 0);
  EXPECT_LT(f, 360);
  // One degree of latitude at the equator: 110 574.4 m on the ellipsoid.
  EXPECT_NEAR(GetDistance(0, 0, 0, 1), 110574.4, 2);
  // One degree of longitude there: 111 319.5 m.
  EXPECT_NEAR(GetDistance(0, 0, 1, 0), 111319.5, 2);
  EXPECT_EQ(GetDistance(12, 34, 12, 34), 0);
}

TEST(Geodesy, LocalDistanceUsesTheFirstLatitude) {
  // 1° of longitude at 60°: cos 60 × a × π / 180.
  EXPECT_NEAR(GetLocalDistance(10, 60, 11, 60), 0.5 * 6378137 * 3.1415927 / 180, 0.5);
  EXPECT_NEAR(GetLocalDistance(0, 0, 0, 1), 6378137 * 3.1415927 / 180, 0.5);
  // The cosine is of the first point's latitude only.
  EXPECT_NEAR(GetLocalDistance(0, 0, 1, 60), std::sqrt(1 + 3600.0) * 6378137 * 3.1415927 / 180, 2);
}

TEST(Geodesy, TurnAngleIsWithinHalfATurn) {
  // North then east: +90; north then west: −90.
  EXPECT_NEAR(GetTurnAngle(0, -1, 0, 0, 1, 0), 90, 0.01);
  EXPECT_NEAR(GetTurnAngle(0, -1, 0, 0, -1, 0), -90, 0.01);
  // Course 350 then 10: a turn of +20, not −340.
  EXPECT_NEAR(GetTurnAngle(0.1736f, -0.9848f, 0, 0, 0.1736f, 0.9848f), 20, 0.1);
  EXPECT_NEAR(GetTurnAngle(-0.1736f, -0.9848f, 0, 0, -0.1736f, 0.9848f), -20, 0.1);
  // Straight on.
  EXPECT_NEAR(GetTurnAngle(0, -1, 0, 0, 0, 1), 0, 0.01);
}

TEST(Geodesy, GeoidHeights) {
  EXPECT_NEAR(GetGeoidHeight(55, 37), 16.0, 1e-4);
  // Table corners exactly.
  EXPECT_EQ(GetGeoidHeight(0, -180), 22);
  EXPECT_EQ(GetGeoidHeight(0, 80), -102);
  EXPECT_EQ(GetGeoidHeight(-80, -180), -53);
  // The last row and the last column have no next cell.
  for (float fLon : {-180.0f, -37.5f, 0.0f, 123.4f, 180.0f})
    EXPECT_EQ(GetGeoidHeight(90, fLon), 13) << fLon;
  EXPECT_EQ(GetGeoidHeight(-90, 45), -30);
  EXPECT_NEAR(GetGeoidHeight(5, 180), (22 + 13) / 2.0, 1e-4);
  // Halfway between two columns of the equator row.
  EXPECT_NEAR(GetGeoidHeight(0, 75), (-89 + -102) / 2.0, 1e-4);
}

TEST(Geodesy, BadInputGivesNoValueOrNaN) {
  EXPECT_EQ(GetGeoidHeight(91, 0), 0);
  EXPECT_EQ(GetGeoidHeight(-95, 0), 0);
  EXPECT_EQ(GetGeoidHeight(0, -181), 0);
  EXPECT_EQ(GetGeoidHeight(0, 200), 0);
  EXPECT_EQ(GetGeoidHeight(c_fNaN, 0), 0);
  EXPECT_EQ(GetGeoidHeight(0, c_fInf), 0);
  EXPECT_TRUE(std::isnan(GetDistance(c_fNaN, 0, 0, 0)));
  EXPECT_TRUE(std::isnan(GetCourse(0, 0, c_fNaN, 1)));
  EXPECT_TRUE(std::isnan(GetLocalDistance(0, c_fInf, 0, 0)));
  // Antipodes: the arc stays finite.
  const float f = GetDistance(0, 0, 180, 0);
  EXPECT_TRUE(std::isfinite(f));
  EXPECT_NEAR(f, 3.1415927 * 6378137, 100);
}

// 12 000 reproducible pairs up to 200 km apart in six latitude bands.
TEST(Geodesy, AgreesWithGeographicLib) {
  const GeographicLib::Geodesic& geod = GeographicLib::Geodesic::WGS84();
  std::mt19937 rng(20240611);
  const double aBands[][2] = {{-80, -60}, {-60, -30}, {-30, 0}, {0, 30}, {30, 60}, {60, 80}};
  double fMaxRel = 0, fMaxCourse = 0, fMaxCourseOver1km = 0;
  int cPairs = 0;
  for (const auto& band : aBands) {
    std::uniform_real_distribution<double> lat(band[0], band[1]);
    std::uniform_real_distribution<double> lon(-180, 180);
    std::uniform_real_distribution<double> azi(0, 360);
    std::uniform_real_distribution<double> logDist(std::log(10.0), std::log(200000.0));
    double fBandRel = 0, fBandCourse = 0;
    for (int i = 0; i < 2000; ++i) {
      const float fLat1 = float(lat(rng)), fLon1 = float(lon(rng));
      double fLat2, fLon2;
      geod.Direct(fLat1, fLon1, azi(rng), std::exp(logDist(rng)), fLat2, fLon2);
      // Both sides see the same single-precision points.
      const float fLat2f = float(fLat2), fLon2f = float(fLon2);
      double s12, azi1, azi2;
      geod.Inverse(fLat1, fLon1, fLat2f, fLon2f, s12, azi1, azi2);
      if (s12 < 1)
        continue;
      const double fRel = std::fabs(GetDistance(fLon1, fLat1, fLon2f, fLat2f) - s12) / s12;
      const double fCourse = AngleDiff(GetCourse(fLon1, fLat1, fLon2f, fLat2f), azi1 < 0 ? azi1 + 360 : azi1);
      fBandRel = std::max(fBandRel, fRel);
      fBandCourse = std::max(fBandCourse, fCourse);
      if (s12 >= 1000)
        fMaxCourseOver1km = std::max(fMaxCourseOver1km, fCourse);
      ++cPairs;
    }
    std::printf("latitudes %+.0f..%+.0f: largest relative distance error %.3g, largest course difference %.3g°\n",
                band[0], band[1], fBandRel, fBandCourse);
    fMaxRel = std::max(fMaxRel, fBandRel);
    fMaxCourse = std::max(fMaxCourse, fBandCourse);
  }
  std::printf("%d pairs: largest relative distance error %.3g, largest course difference %.3g° (%.3g° over 1 km)\n",
              cPairs, fMaxRel, fMaxCourse, fMaxCourseOver1km);
  EXPECT_GE(cPairs, 10000);
  // The chord between the true earth-centred points is exact; only turning
  // it into an arc on the first point's normal radius errs, and over 200 km
  // by little.
  EXPECT_LT(fMaxRel, 5e-5);
  // The spherical course on geodetic latitudes.
  EXPECT_LT(fMaxCourse, 0.25);
}

}  // namespace
