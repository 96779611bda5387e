// Fast math for drawing: floor and rounding from the IEEE bit pattern,
// bit length, integer square root, table sine, cosine and arc tangent, the
// rounding multiply-divide of the platform and a small dense linear solver.
// The library functions serve only to check these in tests.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>

const float c_PI = 3.1415927f;
// Entries of the sine table are sin(k°) for k = 0..c_cSinSize.
const int c_cSinSize = 90;

// The largest integer not greater than the argument, from the bit pattern
// (the processor's rounding mode is left alone). NaN gives 0; values beyond
// the 32-bit range (and the infinities) saturate to INT32_MIN / INT32_MAX.
int32_t fast_floor(float f);
int32_t fast_floor_d(double f);
// Rounding to nearest as the whole program does it: floor of value + 0.5.
inline int32_t fast_round(float f) { return fast_floor(f + 0.5f); }
inline int32_t fast_round_d(double f) { return fast_floor_d(f + 0.5); }

// The number of significant bits of n: 0 for 0, 1 for 1, 25 for 2^24.
int fast_log2(uint32_t n);

// Square root of n rounded to the nearest integer. The double root of a
// 32-bit integer is correctly rounded and never within 2^-18 of a half
// ((r + 0.5)² = r² + r + 0.25 is no integer), so adding the half and
// truncating rounds exactly.
inline uint32_t fast_sqrt(uint32_t n) { return uint32_t(std::sqrt(double(n)) + 0.5); }

// Sine and cosine of an angle in radians from a table of whole degrees
// (error below 0.01). Outside ±2π, NaN included, the library functions
// are used.
float fast_sin(float f);
float fast_cos(float f);

// atan2(y, x) in radians for integer arguments from a table (error below
// 0.005); y = 0 gives 0 (also for negative x), x = y = 0 gives 0.
float fast_atan2(int32_t y, int32_t x);

namespace vmath {

// The rounding 32-bit multiply-divide of the platform, with the very
// semantics of the Windows call: a × b / c computed in 64 bits and rounded
// half away from zero; a zero divisor or a result outside
// ±2147483647 gives -1.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

}  // namespace vmath

// Solves the dense system A x = b (A is n × n, row-major, both are
// overwritten; x comes back in b) by Gaussian elimination with partial
// pivoting and back substitution. Returns -1 on success, otherwise the
// index of the column whose pivot's magnitude is below fTolerance.
int SolveLinear(double* pA, double* pB, int n, double fTolerance);
