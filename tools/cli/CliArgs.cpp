#include "tools/cli/CliArgs.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gps/GpsTime.h"

bool ParseCliNumber(const char* psz, double fMin, double fMax, double& f) {
  if (!psz || !*psz) return false;
  char* pEnd = nullptr;
  const double d = std::strtod(psz, &pEnd);
  if (!pEnd || pEnd == psz || *pEnd != 0 || !std::isfinite(d) || d < fMin || d > fMax) return false;
  f = d;
  return true;
}

bool ParseCliInteger(const char* psz, int64_t nMin, int64_t nMax, int64_t& n) {
  double d = 0;
  if (!ParseCliNumber(psz, double(nMin), double(nMax), d) || d != std::floor(d)) return false;
  n = int64_t(d);
  return true;
}

bool ParseCliLatitude(const char* psz, double& f) { return ParseCliNumber(psz, -90.0, 90.0, f); }
bool ParseCliLongitude(const char* psz, double& f) { return ParseCliNumber(psz, -180.0, 180.0, f); }

bool ParseCliDate(const char* psz, double& dDays) {
  if (!psz || std::strlen(psz) != 10 || psz[4] != '-' || psz[7] != '-') return false;
  int an[3] = {0, 0, 0};
  const int aiStart[3] = {0, 5, 8}, acDigits[3] = {4, 2, 2};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < acDigits[i]; ++j) {
      const char c = psz[aiStart[i] + j];
      if (c < '0' || c > '9') return false;
      an[i] = an[i] * 10 + (c - '0');
    }
  static const int c_acMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (an[1] < 1 || an[1] > 12 || an[2] < 1 || an[2] > c_acMonthDays[an[1] - 1]) return false;
  const bool fLeap = (an[0] % 4 == 0 && an[0] % 100 != 0) || an[0] % 400 == 0;
  if (an[1] == 2 && an[2] == 29 && !fLeap) return false;
  const double d = DaysFromCivil(an[0], an[1], an[2]);
  if (d < DaysFromCivil(1980, 1, 6) || d > DaysFromCivil(2199, 12, 31)) return false;
  dDays = d;
  return true;
}

int CliBadValue(const char* pszCommand, const char* pszWhat, const char* pszWanted, const char* pszValue) {
  std::fprintf(stderr, "velmo-cli %s: %s wants %s, not '%s'\n", pszCommand, pszWhat, pszWanted, pszValue);
  return 2;
}
