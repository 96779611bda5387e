// Degrees to and from map units (2^30 per 180°) and Garmin semicircles
// (2^31 per 180°): rounding, the ends of the range and the way back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "view/MapUnits.h"

namespace {

// The degrees of a fraction of one unit of the given scale (exact in binary).
double MapUnitsAsDegrees(double units) { return units * 180.0 / 1073741824.0; }
double SemicirclesAsDegrees(double units) { return units * 180.0 / 2147483648.0; }

TEST(MapUnits, DegreesToMapRoundsHalvesUpAndReachesTheEnds) {
  EXPECT_EQ(DegreesToMap(180.0), 1 << 30);
  EXPECT_EQ(DegreesToMap(-180.0), -(1 << 30));
  EXPECT_EQ(DegreesToMap(90.0), 1 << 29);
  EXPECT_EQ(DegreesToMap(-90.0), -(1 << 29));
  EXPECT_EQ(DegreesToMap(0.0), 0);
  // floor(units + 0.5): a half goes up, on both sides of zero.
  EXPECT_EQ(DegreesToMap(MapUnitsAsDegrees(0.5)), 1);
  EXPECT_EQ(DegreesToMap(MapUnitsAsDegrees(-0.5)), 0);
  EXPECT_EQ(DegreesToMap(MapUnitsAsDegrees(-1.5)), -1);
  EXPECT_EQ(DegreesToMap(MapUnitsAsDegrees(0.49)), 0);
  EXPECT_EQ(DegreesToMap(MapUnitsAsDegrees(0.51)), 1);
  EXPECT_EQ(DegreesToMap(MapUnitsAsDegrees(-0.51)), -1);
  EXPECT_EQ(DegreesToMap(MapUnitsAsDegrees(123456.7)), 123457);
}

TEST(MapUnits, MapToDegreesIsExactAndComesBack) {
  EXPECT_EQ(MapToDegrees(1 << 30), 180.0);
  EXPECT_EQ(MapToDegrees(-(1 << 30)), -180.0);
  EXPECT_EQ(MapToDegrees(1 << 29), 90.0);
  EXPECT_EQ(MapToDegrees(-(1 << 29)), -90.0);
  EXPECT_EQ(MapToDegrees(1), 180.0 / 1073741824.0);
  for (int32_t n : {0, 1, -1, 12345679, -987654321, 1 << 30, -(1 << 30), 477218588, -477218588})
    EXPECT_EQ(DegreesToMap(MapToDegrees(n)), n) << n;
}

// Written in integers, character for character what printf writes: over
// random values, the ends, and the values whose eighth decimal is an exact
// half (2^21 × odd doubled units), where printf rounds to the even digit.
TEST(MapUnits, FormatMap2DegreesWritesWhatPrintfWrites) {
  std::mt19937 rng(23);
  std::vector<int32_t> values = {0, 1, -1, 2, -2, 3, -3, INT32_MAX, INT32_MIN, INT32_MAX - 1, INT32_MIN + 1};
  for (int i = 0; i < 300000; ++i) values.push_back(int32_t(rng()));
  for (int i = 0; i < 2000; ++i) {
    const int32_t nOdd = int32_t(rng() % 1024) * 2 + 1;
    values.push_back(nOdd << 21);
    values.push_back(-(nOdd << 21));
  }
  for (int32_t n : values) {
    char szMine[32], szPrintf[32];
    const size_t c = FormatMap2Degrees(n, szMine);
    std::snprintf(szPrintf, sizeof szPrintf, "%.7f", Map2ToDegrees(n));
    ASSERT_STREQ(szMine, szPrintf) << n;
    ASSERT_EQ(c, std::strlen(szPrintf)) << n;
  }
}

TEST(MapUnits, DegreesToSemicirclesRoundsHalvesAwayFromZeroAndSaturates) {
  EXPECT_EQ(DegreesToSemicircles(90.0), 1 << 30);
  EXPECT_EQ(DegreesToSemicircles(-90.0), -(1 << 30));
  EXPECT_EQ(DegreesToSemicircles(-180.0), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(DegreesToSemicircles(180.0), std::numeric_limits<int32_t>::max());  // 2^31 does not fit
  EXPECT_EQ(DegreesToSemicircles(1e10), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(DegreesToSemicircles(-1e10), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(DegreesToSemicircles(std::nan("")), 0);
  EXPECT_EQ(DegreesToSemicircles(std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(DegreesToSemicircles(SemicirclesAsDegrees(0.5)), 1);
  EXPECT_EQ(DegreesToSemicircles(SemicirclesAsDegrees(-0.5)), -1);
  EXPECT_EQ(DegreesToSemicircles(SemicirclesAsDegrees(2.5)), 3);
  EXPECT_EQ(DegreesToSemicircles(SemicirclesAsDegrees(-2.5)), -3);
  EXPECT_EQ(DegreesToSemicircles(SemicirclesAsDegrees(0.49)), 0);
  EXPECT_EQ(DegreesToSemicircles(SemicirclesAsDegrees(-0.49)), 0);
  // Away from halves the two scales of 2^31 per 180° agree.
  for (double d : {37.123456, -122.5, 59.9386, -0.000123, 179.99999})
    EXPECT_EQ(DegreesToSemicircles(d), DegreesToMap2(d)) << d;
}

TEST(MapUnits, SemicirclesToDegreesKeepsEveryBit) {
  EXPECT_EQ(SemicirclesToDegrees(std::numeric_limits<int32_t>::min()), -180.0);
  EXPECT_EQ(SemicirclesToDegrees(1 << 30), 90.0);
  EXPECT_EQ(SemicirclesToDegrees(-(1 << 30)), -90.0);
  EXPECT_LT(SemicirclesToDegrees(std::numeric_limits<int32_t>::max()), 180.0);
  EXPECT_NEAR(SemicirclesToDegrees(std::numeric_limits<int32_t>::max()), 180.0, 1e-7);
  // Unlike doubled map units read back through Map2ToDegrees, an odd value
  // survives the way back.
  EXPECT_NE(SemicirclesToDegrees(12345677), Map2ToDegrees(12345677));
  for (int32_t n : {1, -1, 12345677, -12345677, std::numeric_limits<int32_t>::min(),
                    std::numeric_limits<int32_t>::max()})
    EXPECT_EQ(DegreesToSemicircles(SemicirclesToDegrees(n)), n) << n;
}

}  // namespace
