// The portable MulDiv: rounding half away from zero, signs, a zero divisor
// and overflow. On Windows (under Wine) the same vectors go through the
// system's own MulDiv, which the portable one must match exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "view/FastMath.h"

namespace {

struct Vector {
  int32_t a, b, c;
};

std::vector<Vector> Vectors() {
  std::vector<Vector> v = {
      {5, 3, 2},      {-5, 3, 2},       {5, -3, 2},        {-5, -3, 2},       {5, 3, -2},
      {-5, 3, -2},    {7, 1, 2},        {7, 1, 3},         {8, 1, 3},         {-8, 1, 3},
      {0, 5, 7},      {0, -5, 7},       {-3, 0, 7},        {1, 1, 0},         {0, 0, 0},
      {-7, 5, 0},     {1, 1, 1},        {-1, 1, 1},        {1, 1, -1},        {2147483647, 1, 1},
      {-2147483647, 1, 1},              {INT32_MIN, 1, 1}, {INT32_MIN, -1, 1},
      {2147483647, 2, 2},               {2147483647, 2, 1},
      {2147483647, 2147483647, 2147483647},                {INT32_MIN, INT32_MIN, INT32_MIN},
      {INT32_MIN, 1, 2},                {INT32_MIN, 2, 2}, {1073741824, 2, 1}, {1073741824, -2, 1},
      {3, 5, INT32_MIN},                {-3, 5, INT32_MIN}, {INT32_MIN, 1, INT32_MIN},
      {2147483647, 2147483647, 1},      {100, 255, 44},    {-100, 255, 44},   {5000, 268435, 5000},
      {1, 1, 2},      {-1, 1, 2},       {1, 1, -2},        {3, 1, 2},         {-3, 1, 2},
      {1, 1, 3},      {2, 1, 3},        {-2, 1, 3},        {65536, 65536, 2}, {65536, 65536, 4},
  };
  // Every combination of the edge values.
  const int32_t aEdges[] = {INT32_MIN, INT32_MIN + 1, -1073741824, -65536, -3, -2, -1, 0,
                            1, 2, 3, 65536, 1073741823, 1073741824, INT32_MAX - 1, INT32_MAX};
  for (int32_t a : aEdges)
    for (int32_t b : aEdges)
      for (int32_t c : aEdges)
        v.push_back({a, b, c});
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int32_t> small(-100000, 100000);
  for (int i = 0; i < 3000; ++i) {
    v.push_back({small(rng), small(rng), small(rng)});
    v.push_back({any(rng), small(rng), any(rng)});
    v.push_back({any(rng), any(rng), any(rng)});
    // Exact halves.
    const int32_t c = 2 * (small(rng) | 1);
    v.push_back({small(rng) * c / 2 + c / 2, 1, c});
  }
  return v;
}

// The exact quotient rounded half away from zero, or -1 out of range.
int32_t Reference(int32_t a, int32_t b, int32_t c) {
  if (c == 0)
    return -1;
  __int128 p = __int128(a) * b;
  __int128 d = c;
  if (d < 0) {
    d = -d;
    p = -p;
  }
  __int128 q = p >= 0 ? (p + d / 2) / d : (p - d / 2) / d;
  if (q > 2147483647 || q < -2147483647)
    return -1;
  return int32_t(q);
}

TEST(MulDiv, RoundsHalfAwayFromZero) {
  EXPECT_EQ(vmath::MulDiv(5, 3, 2), 8);     // 7.5
  EXPECT_EQ(vmath::MulDiv(-5, 3, 2), -8);   // -7.5
  EXPECT_EQ(vmath::MulDiv(5, 3, -2), -8);
  EXPECT_EQ(vmath::MulDiv(-5, -3, -2), -8);
  EXPECT_EQ(vmath::MulDiv(7, 1, 3), 2);     // 2.33
  EXPECT_EQ(vmath::MulDiv(8, 1, 3), 3);     // 2.67
  EXPECT_EQ(vmath::MulDiv(-8, 1, 3), -3);
  EXPECT_EQ(vmath::MulDiv(0, 5, -7), 0);
}

TEST(MulDiv, ZeroDivisorAndOverflowGiveMinusOne) {
  EXPECT_EQ(vmath::MulDiv(1, 1, 0), -1);
  EXPECT_EQ(vmath::MulDiv(0, 0, 0), -1);
  EXPECT_EQ(vmath::MulDiv(2147483647, 2, 1), -1);
  EXPECT_EQ(vmath::MulDiv(1073741824, 2, 1), -1);      // 2^31
  EXPECT_EQ(vmath::MulDiv(1073741824, -2, 1), -1);     // -2^31 is out of range too
  EXPECT_EQ(vmath::MulDiv(INT32_MIN, 1, 1), -1);
  EXPECT_EQ(vmath::MulDiv(2147483647, 1, 1), 2147483647);
  EXPECT_EQ(vmath::MulDiv(-2147483647, 1, 1), -2147483647);
  // A 64-bit product that divides back into range.
  EXPECT_EQ(vmath::MulDiv(2147483647, 2147483647, 2147483647), 2147483647);
  EXPECT_EQ(vmath::MulDiv(65536, 65536, 4), 1073741824);
}

TEST(MulDiv, MatchesTheExactQuotientOnManyVectors) {
  for (const Vector& v : Vectors())
    ASSERT_EQ(vmath::MulDiv(v.a, v.b, v.c), Reference(v.a, v.b, v.c)) << v.a << " " << v.b << " " << v.c;
}

#ifdef _WIN32
// Wine negates the multiplicand and the divisor in 32 bits when the divisor
// is negative, so with INT32_MIN there (or as the divisor) its result has
// the wrong sign or is off by one: MulDiv(INT32_MIN, 1, -2) gives
// -1073741824. Those corners keep the exact quotient here; everything else
// must match the system call bit for bit.
bool IsNegationCorner(const Vector& v) {
  return (v.a == INT32_MIN && v.c < 0) || v.c == INT32_MIN;
}

TEST(MulDiv, MatchesTheSystemMulDiv) {
  size_t cChecked = 0, cCorners = 0;
  for (const Vector& v : Vectors()) {
    if (IsNegationCorner(v)) {
      ++cCorners;
      continue;
    }
    ASSERT_EQ(vmath::MulDiv(v.a, v.b, v.c), ::MulDiv(v.a, v.b, v.c)) << v.a << " " << v.b << " " << v.c;
    ++cChecked;
  }
  std::printf("MulDiv: %u vectors equal to the system's, %u INT32_MIN negation corners left out\n",
              unsigned(cChecked), unsigned(cCorners));
  EXPECT_GT(cChecked, 15000u);
}
#endif

}  // namespace
