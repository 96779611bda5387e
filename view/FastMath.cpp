// Fast math: bit-pattern floor, bit length, table
// sine, cosine and arc tangent, MulDiv and the dense linear solver.
#include "view/FastMath.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "platform/Debug.h"

namespace {

const int c_cAtanSize = 100;

// sin(k°) for k = 0..90 and atan(k / 100) for k = 0..100.
static const float c_afSin[c_cSinSize + 1] = {
    0.0f, 0.0174524064f, 0.0348994967f, 0.0523359562f, 0.0697564737f, 0.0871557427f, 0.104528463f, 0.121869343f,
    0.139173101f, 0.156434465f, 0.173648178f, 0.190808995f, 0.207911691f, 0.224951054f, 0.241921896f, 0.258819045f,
    0.275637356f, 0.292371705f, 0.309016994f, 0.325568154f, 0.342020143f, 0.35836795f, 0.374606593f, 0.390731128f,
    0.406736643f, 0.422618262f, 0.438371147f, 0.4539905f, 0.469471563f, 0.48480962f, 0.5f, 0.515038075f,
    0.529919264f, 0.544639035f, 0.559192903f, 0.573576436f, 0.587785252f, 0.601815023f, 0.615661475f, 0.629320391f,
    0.64278761f, 0.656059029f, 0.669130606f, 0.68199836f, 0.69465837f, 0.707106781f, 0.7193398f, 0.731353702f,
    0.743144825f, 0.75470958f, 0.766044443f, 0.777145961f, 0.788010754f, 0.79863551f, 0.809016994f, 0.819152044f,
    0.829037573f, 0.838670568f, 0.848048096f, 0.857167301f, 0.866025404f, 0.874619707f, 0.882947593f, 0.891006524f,
    0.898794046f, 0.906307787f, 0.913545458f, 0.920504853f, 0.927183855f, 0.933580426f, 0.939692621f, 0.945518576f,
    0.951056516f, 0.956304756f, 0.961261696f, 0.965925826f, 0.970295726f, 0.974370065f, 0.978147601f, 0.981627183f,
    0.984807753f, 0.987688341f, 0.990268069f, 0.992546152f, 0.994521895f, 0.996194698f, 0.99756405f, 0.998629535f,
    0.999390827f, 0.999847695f, 1.0f};
static const float c_afAtan[c_cAtanSize + 1] = {
    0.0f, 0.00999966669f, 0.019997334f, 0.0299910049f, 0.0399786871f, 0.0499583957f, 0.0599281551f, 0.0698860016f,
    0.0798299857f, 0.0897581742f, 0.0996686525f, 0.109559527f, 0.119428926f, 0.129275004f, 0.139095941f, 0.148889948f,
    0.158655262f, 0.168390157f, 0.178092938f, 0.187761947f, 0.19739556f, 0.206992194f, 0.216550305f, 0.226068388f,
    0.235544981f, 0.244978663f, 0.254368059f, 0.263711834f, 0.273008703f, 0.282257422f, 0.291456794f, 0.30060567f,
    0.309702945f, 0.31874756f, 0.327738507f, 0.336674819f, 0.345555581f, 0.354379919f, 0.36314701f, 0.371856074f,
    0.380506377f, 0.389097231f, 0.397627992f, 0.406098058f, 0.414506875f, 0.422853926f, 0.431138741f, 0.439360887f,
    0.447519975f, 0.455615653f, 0.463647609f, 0.471615568f, 0.479519292f, 0.48735858f, 0.495133263f, 0.502843211f,
    0.510488322f, 0.518068528f, 0.525583794f, 0.53303411f, 0.5404195f, 0.547740014f, 0.554995727f, 0.562186744f,
    0.569313191f, 0.576375221f, 0.583373007f, 0.590306747f, 0.597176658f, 0.603982978f, 0.610725964f, 0.617405892f,
    0.624023053f, 0.630577757f, 0.637070329f, 0.643501109f, 0.649870449f, 0.656178718f, 0.662426294f, 0.668613568f,
    0.674740942f, 0.680808829f, 0.68681765f, 0.692767835f, 0.698659825f, 0.704494064f, 0.710271007f, 0.715991114f,
    0.721654851f, 0.727262688f, 0.732815102f, 0.738312573f, 0.743755584f, 0.749144625f, 0.754480184f, 0.759762755f,
    0.764992833f, 0.770170914f, 0.775297497f, 0.78037308f, 0.785398163f};

}  // namespace

int32_t fast_floor(float f) {
  uint32_t u;
  memcpy(&u, &f, sizeof(u));
  const bool fNegative = (u >> 31) != 0;
  const int nExp = int((u >> 23) & 0xFF) - 127;
  if (nExp == 128) {  // infinity or NaN
    if ((u & 0x7FFFFF) != 0)
      return 0;
    return fNegative ? INT32_MIN : INT32_MAX;
  }
  if (nExp < 0) {  // |f| < 1
    if ((u & 0x7FFFFFFF) == 0)
      return 0;
    return fNegative ? -1 : 0;
  }
  if (nExp >= 31)
    return fNegative ? INT32_MIN : INT32_MAX;
  const uint32_t dwMant = (u & 0x7FFFFF) | 0x800000;
  uint32_t dwInt;
  bool fFraction = false;
  if (nExp >= 23) {
    dwInt = dwMant << (nExp - 23);
  } else {
    dwInt = dwMant >> (23 - nExp);
    fFraction = (dwMant & ((1u << (23 - nExp)) - 1)) != 0;
  }
  if (fNegative)
    return int32_t(-int64_t(dwInt) - (fFraction ? 1 : 0));
  return int32_t(dwInt);
}

int32_t fast_floor_d(double f) {
  uint64_t u;
  memcpy(&u, &f, sizeof(u));
  const bool fNegative = (u >> 63) != 0;
  const int nExp = int((u >> 52) & 0x7FF) - 1023;
  const uint64_t c_qwMantMask = (uint64_t(1) << 52) - 1;
  if (nExp == 1024) {  // infinity or NaN
    if ((u & c_qwMantMask) != 0)
      return 0;
    return fNegative ? INT32_MIN : INT32_MAX;
  }
  if (nExp < 0) {
    if ((u & ~(uint64_t(1) << 63)) == 0)
      return 0;
    return fNegative ? -1 : 0;
  }
  if (nExp >= 32)
    return fNegative ? INT32_MIN : INT32_MAX;
  // nExp <= 31 < 52: the integer part always sits inside the mantissa.
  const uint64_t qwMant = (u & c_qwMantMask) | (uint64_t(1) << 52);
  const int64_t nInt = int64_t(qwMant >> (52 - nExp));
  const bool fFraction = (qwMant & ((uint64_t(1) << (52 - nExp)) - 1)) != 0;
  const int64_t n = fNegative ? -nInt - (fFraction ? 1 : 0) : nInt;
  if (n > INT32_MAX)
    return INT32_MAX;
  if (n < INT32_MIN)
    return INT32_MIN;
  return int32_t(n);
}

int fast_log2(uint32_t n) {
  return int(std::bit_width(n));
}

// Quarter turns per radian.
const float c_fQuarterPerRad = 2 / c_PI;

float fast_sin(float f) {
  if (!(-2 * c_PI <= f && f <= 2 * c_PI))
    return std::sin(f);
  float q = std::fabs(f) * c_fQuarterPerRad;
  float fSign = 1;
  if (q > 2) {
    fSign = -1;
    q = 4 - q;
  }
  if (q > 1)
    q = 2 - q;
  int nSin = fast_floor(q * c_cSinSize + 0.5f);
  if (nSin < 0)
    nSin = 0;
  ASSERT(nSin <= c_cSinSize);
  if (nSin > c_cSinSize)
    nSin = c_cSinSize;
  const float fRet = fSign * c_afSin[nSin];
  return f < 0 ? -fRet : fRet;
}

float fast_cos(float f) {
  if (!(-2 * c_PI <= f && f <= 2 * c_PI))
    return std::cos(f);
  float q = std::fabs(f) * c_fQuarterPerRad;
  if (q > 2)
    q = 4 - q;
  const float q1 = q > 1 ? 2 - q : q;
  int nSin = fast_floor((1 - q1) * c_cSinSize + 0.5f);
  if (nSin < 0)
    nSin = 0;
  ASSERT(nSin <= c_cSinSize);
  if (nSin > c_cSinSize)
    nSin = c_cSinSize;
  const float fRet = c_afSin[nSin];
  return q > 1 ? -fRet : fRet;
}

float fast_atan2(int32_t y, int32_t x) {
  const double ax = std::fabs(double(x));
  const double ay = std::fabs(double(y));
  if (y == 0)
    return x < 0 ? c_PI : 0.0f;
  float fRet;
  if (ax > ay)
    fRet = c_afAtan[fast_floor_d(ay / ax * c_cAtanSize + 0.5)];
  else
    fRet = c_PI / 2 - c_afAtan[fast_floor_d(ax / ay * c_cAtanSize + 0.5)];
  if (x < 0)
    fRet = c_PI - fRet;
  return y < 0 ? -fRet : fRet;
}

namespace vmath {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0)
    return -1;
  int64_t nProduct = int64_t(a) * int64_t(b);
  int64_t nDivisor = c;
  if (nDivisor < 0) {
    nDivisor = -nDivisor;
    nProduct = -nProduct;
  }
  // |product| <= 2^62 and divisor / 2 <= 2^30: no 64-bit overflow.
  const int64_t nResult = nProduct >= 0 ? (nProduct + nDivisor / 2) / nDivisor
                                        : (nProduct - nDivisor / 2) / nDivisor;
  if (nResult > INT32_MAX || nResult < -INT32_MAX)
    return -1;
  return int32_t(nResult);
}

}  // namespace vmath

int SolveLinear(double* pA, double* pB, int n, double fTolerance) {
  for (int nCol = 0; nCol < n; ++nCol) {
    int nPivot = nCol;
    double fMax = std::fabs(pA[nCol * n + nCol]);
    for (int nRow = nCol + 1; nRow < n; ++nRow) {
      const double fAbs = std::fabs(pA[nRow * n + nCol]);
      if (fAbs > fMax) {
        fMax = fAbs;
        nPivot = nRow;
      }
    }
    // NaN fails this test too.
    if (!(fMax >= fTolerance) || fMax == 0)
      return nCol;
    if (nPivot != nCol) {
      for (int k = 0; k < n; ++k) {
        const double t = pA[nCol * n + k];
        pA[nCol * n + k] = pA[nPivot * n + k];
        pA[nPivot * n + k] = t;
      }
      const double t = pB[nCol];
      pB[nCol] = pB[nPivot];
      pB[nPivot] = t;
    }
    const double fPivot = pA[nCol * n + nCol];
    for (int nRow = nCol + 1; nRow < n; ++nRow) {
      const double fFactor = pA[nRow * n + nCol] / fPivot;
      if (fFactor == 0)
        continue;
      for (int k = nCol; k < n; ++k)
        pA[nRow * n + k] -= fFactor * pA[nCol * n + k];
      pB[nRow] -= fFactor * pB[nCol];
    }
  }
  for (int nRow = n - 1; nRow >= 0; --nRow) {
    double fSum = pB[nRow];
    for (int k = nRow + 1; k < n; ++k)
      fSum -= pA[nRow * n + k] * pB[k];
    pB[nRow] = fSum / pA[nRow * n + nRow];
  }
  return -1;
}
