// Fast math against the C library: floor on millions of values, the table
// functions within their bounds, the integer root and the linear solver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "view/FastMath.h"

namespace {

TEST(FastFloor, EdgeCases) {
  const struct {
    double f;
    int n;
  } aCases[] = {{0, 0},   {0.000001, 0}, {0.5, 0},    {0.9, 0},  {1, 1},    {1.9, 1},    {3.5, 3},
                {4, 4},   {-0.000001, -1}, {-0.5, -1}, {-1, -1}, {-1.1, -2}, {-3.5, -4}, {-4, -4},
                {-0.0, 0}, {1e-40, 0},   {-1e-40, -1}, {8388608.5, 8388608}, {-8388608.5, -8388609}};
  for (const auto& c : aCases) {
    EXPECT_EQ(fast_floor_d(c.f), c.n) << c.f;
    if (std::fabs(c.f) < 8e6) {  // the float nearest the value has the same floor
      EXPECT_EQ(fast_floor(float(c.f)), c.n) << c.f;
    }
  }
}

TEST(FastFloor, SaturatesAndHandlesNaN) {
  const float fInf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(fast_floor(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(fast_floor(fInf), INT32_MAX);
  EXPECT_EQ(fast_floor(-fInf), INT32_MIN);
  EXPECT_EQ(fast_floor(3e9f), INT32_MAX);
  EXPECT_EQ(fast_floor(-3e9f), INT32_MIN);
  EXPECT_EQ(fast_floor(-2147483648.0f), INT32_MIN);
  EXPECT_EQ(fast_floor(2147483520.0f), 2147483520);  // largest float below 2^31
  EXPECT_EQ(fast_floor_d(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(fast_floor_d(2147483647.9), INT32_MAX);
  EXPECT_EQ(fast_floor_d(2147483648.0), INT32_MAX);
  EXPECT_EQ(fast_floor_d(-2147483648.0), INT32_MIN);
  EXPECT_EQ(fast_floor_d(-2147483648.5), INT32_MIN);
  EXPECT_EQ(fast_floor_d(-2147483647.5), -2147483648);
  EXPECT_EQ(fast_floor_d(1e300), INT32_MAX);
  EXPECT_EQ(fast_floor_d(-1e300), INT32_MIN);
}

int64_t Clamp(double f) {
  if (std::isnan(f))
    return 0;
  if (f >= 2147483647.0)
    return INT32_MAX;
  if (f <= -2147483648.0)
    return INT32_MIN;
  return int64_t(f);
}

TEST(FastFloor, AgreesWithStdFloorOnMillions) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<uint32_t> bits;
  std::uniform_real_distribution<double> wide(-3e9, 3e9);
  std::uniform_int_distribution<int32_t> whole(-2000000000, 2000000000);
  int cChecked = 0;
  for (int i = 0; i < 2000000; ++i) {
    // Every float bit pattern class: tiny, huge, denormal, NaN, infinities.
    const uint32_t u = bits(rng);
    float f;
    std::memcpy(&f, &u, sizeof(f));
    ASSERT_EQ(fast_floor(f), Clamp(std::floor(f))) << f;
    const double d = wide(rng);
    ASSERT_EQ(fast_floor_d(d), Clamp(std::floor(d))) << d;
    // Halves and whole numbers, both signs.
    const double h = whole(rng) + 0.5;
    ASSERT_EQ(fast_floor_d(h), Clamp(std::floor(h))) << h;
    ASSERT_EQ(fast_floor_d(h - 0.5), Clamp(std::floor(h - 0.5))) << h;
    const float hf = float(whole(rng) % 8000000) + 0.5f;
    ASSERT_EQ(fast_floor(hf), Clamp(std::floor(hf))) << hf;
    ASSERT_EQ(fast_floor(-hf), Clamp(std::floor(-hf))) << hf;
    cChecked += 6;
  }
  // Every float between -2^24 and 2^24 with a fraction, by steps.
  for (float f = -16777216.0f; f < 16777216.0f; f += 1.75f) {
    ASSERT_EQ(fast_floor(f), Clamp(std::floor(f))) << f;
    ++cChecked;
  }
  EXPECT_GT(cChecked, 20000000);
}

TEST(FastLog2, CountsSignificantBits) {
  EXPECT_EQ(fast_log2(0), 0);
  EXPECT_EQ(fast_log2(1), 1);
  EXPECT_EQ(fast_log2(2), 2);
  EXPECT_EQ(fast_log2(3), 2);
  EXPECT_EQ(fast_log2(1u << 24), 25);
  EXPECT_EQ(fast_log2((1u << 24) - 1), 24);
  EXPECT_EQ(fast_log2(0xFFFFFFFFu), 32);
}

TEST(FastSqrt, RoundsToNearest) {
  EXPECT_EQ(fast_sqrt(0), 0u);
  EXPECT_EQ(fast_sqrt(1), 1u);
  EXPECT_EQ(fast_sqrt(2), 1u);   // 1.414
  EXPECT_EQ(fast_sqrt(3), 2u);   // 1.732
  EXPECT_EQ(fast_sqrt(6), 2u);   // 2.449
  EXPECT_EQ(fast_sqrt(7), 3u);   // 2.646
  EXPECT_EQ(fast_sqrt(0xFFFFFFFFu), 65536u);
  std::mt19937 rng(7);
  std::uniform_int_distribution<uint32_t> any;
  for (int i = 0; i < 1000000; ++i) {
    const uint32_t n = i < 70000 ? uint32_t(i) : any(rng);
    ASSERT_EQ(fast_sqrt(n), uint32_t(std::llround(std::sqrt(double(n))))) << n;
  }
  // Around every square and every half-way point: k² - 1, k², k² + k, k² + k + 1.
  for (uint64_t k = 1; k <= 65536; ++k) {
    if (k > 1 && k * k - 1 <= 0xFFFFFFFFu) ASSERT_EQ(fast_sqrt(uint32_t(k * k - 1)), k) << k;
    if (k * k > 0xFFFFFFFFu) break;
    ASSERT_EQ(fast_sqrt(uint32_t(k * k)), k) << k;
    if (k * k + k + 1 > 0xFFFFFFFFu) break;
    ASSERT_EQ(fast_sqrt(uint32_t(k * k + k)), k) << k;
    ASSERT_EQ(fast_sqrt(uint32_t(k * k + k + 1)), k + 1) << k;
  }
}

TEST(FastTrig, SineAndCosineWithinTheBound) {
  double fMaxSin = 0, fMaxCos = 0;
  for (int i = -400000; i <= 400000; ++i) {
    const float f = float(i) * (2 * c_PI / 400000);
    fMaxSin = std::max(fMaxSin, std::fabs(double(fast_sin(f)) - std::sin(double(f))));
    fMaxCos = std::max(fMaxCos, std::fabs(double(fast_cos(f)) - std::cos(double(f))));
  }
  EXPECT_LT(fMaxSin, 0.01);
  EXPECT_LT(fMaxCos, 0.01);
  // Whole degrees are exact table entries.
  EXPECT_FLOAT_EQ(fast_sin(c_PI / 2), 1.0f);
  EXPECT_FLOAT_EQ(fast_cos(c_PI), -1.0f);
  EXPECT_FLOAT_EQ(fast_sin(-c_PI / 6), -0.5f);
  EXPECT_NEAR(fast_cos(0), 1.0f, 1e-7);
}

TEST(FastTrig, OutsideTwoPiFallsBackToTheLibrary) {
  for (float f : {7.0f, -7.0f, 100.0f, -1e6f, 1e30f}) {
    EXPECT_FLOAT_EQ(fast_sin(f), std::sin(f)) << f;
    EXPECT_FLOAT_EQ(fast_cos(f), std::cos(f)) << f;
  }
  EXPECT_TRUE(std::isnan(fast_sin(std::numeric_limits<float>::quiet_NaN())));
  EXPECT_TRUE(std::isnan(fast_cos(std::numeric_limits<float>::infinity())));
}

TEST(FastTrig, ArcTangentWithinTheBound) {
  EXPECT_EQ(fast_atan2(0, 5), 0.0f);
  EXPECT_EQ(fast_atan2(0, 0), 0.0f);
  EXPECT_FLOAT_EQ(fast_atan2(0, -5), c_PI);
  EXPECT_NEAR(fast_atan2(1, 0), c_PI / 2, 1e-6);
  EXPECT_NEAR(fast_atan2(-1, 0), -c_PI / 2, 1e-6);
  EXPECT_NEAR(fast_atan2(INT32_MIN, INT32_MIN), std::atan2(-1.0, -1.0), 0.005);
  std::mt19937 rng(99);
  std::uniform_int_distribution<int32_t> small(-3000, 3000);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  double fMax = 0;
  for (int i = 0; i < 1000000; ++i) {
    const bool fSmall = i % 2 == 0;
    const int32_t y = fSmall ? small(rng) : any(rng);
    const int32_t x = fSmall ? small(rng) : any(rng);
    if (y == 0)
      continue;
    fMax = std::max(fMax, std::fabs(double(fast_atan2(y, x)) - std::atan2(double(y), double(x))));
  }
  EXPECT_LT(fMax, 0.005);
}

TEST(SolveLinear, SolvesAndReportsSingularColumns) {
  // 2x + y - z = 8; -3x - y + 2z = -11; -2x + y + 2z = -3 → (2, 3, -1).
  double a[9] = {2, 1, -1, -3, -1, 2, -2, 1, 2};
  double b[3] = {8, -11, -3};
  ASSERT_EQ(SolveLinear(a, b, 3, 1e-12), -1);
  EXPECT_NEAR(b[0], 2, 1e-12);
  EXPECT_NEAR(b[1], 3, 1e-12);
  EXPECT_NEAR(b[2], -1, 1e-12);
  // A zero first pivot needs the row swap.
  double a2[4] = {0, 1, 1, 0};
  double b2[2] = {5, 7};
  ASSERT_EQ(SolveLinear(a2, b2, 2, 1e-12), -1);
  EXPECT_NEAR(b2[0], 7, 1e-12);
  EXPECT_NEAR(b2[1], 5, 1e-12);
  // The second column depends on the first.
  double a3[9] = {1, 2, 3, 2, 4, 7, 3, 6, 1};
  double b3[3] = {1, 2, 3};
  EXPECT_EQ(SolveLinear(a3, b3, 3, 1e-9), 1);
  double a4[4] = {std::numeric_limits<double>::quiet_NaN(), 0, 0, 1};
  double b4[2] = {1, 1};
  EXPECT_EQ(SolveLinear(a4, b4, 2, 1e-9), 0);
  // Random well-conditioned systems against their known solution.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int n = 1; n <= 8; ++n) {
    std::vector<double> m(n * n), x(n), rhs(n, 0);
    for (int i = 0; i < n; ++i) {
      x[i] = u(rng);
      for (int j = 0; j < n; ++j)
        m[i * n + j] = u(rng) + (i == j ? n : 0);
    }
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        rhs[i] += m[i * n + j] * x[j];
    ASSERT_EQ(SolveLinear(m.data(), rhs.data(), n, 1e-12), -1);
    for (int i = 0; i < n; ++i)
      EXPECT_NEAR(rhs[i], x[i], 1e-10);
  }
}

}  // namespace
