// Portable parts of the clock: day-number conversions.
#include "platform/Clock.h"

#include <cmath>

namespace platform {

// Days from the civil date, proleptic Gregorian (H. Hinnant's algorithm).
static int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

static void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = int64_t(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y += (m <= 2);
}

// 1899-12-30 is day 0; 1970-01-01 is day 25569.
static const int64_t c_nUnixEpochDays = 25569;

double SystemTimeToDays(const CSystemTime& st) {
  int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) + c_nUnixEpochDays;
  double frac = (st.wHour * 3600000.0 + st.wMinute * 60000.0 + st.wSecond * 1000.0 + st.wMilliseconds) / 86400000.0;
  return double(days) + frac;
}

bool DaysToSystemTime(double days, CSystemTime& st) {
  if (!std::isfinite(days) || days < -657434.0 || days > 2958465.99999999) return false;
  double whole = std::floor(days);
  int64_t ms = int64_t(std::llround((days - whole) * 86400000.0));
  int64_t d = int64_t(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    ++d;
  }
  int64_t y;
  unsigned m, dd;
  CivilFromDays(d - c_nUnixEpochDays, y, m, dd);
  st.wYear = WORD(y);
  st.wMonth = WORD(m);
  st.wDay = WORD(dd);
  int64_t dow = (d - c_nUnixEpochDays + 4) % 7;  // 1970-01-01 was a Thursday
  if (dow < 0) dow += 7;
  st.wDayOfWeek = WORD(dow);
  st.wHour = WORD(ms / 3600000);
  st.wMinute = WORD(ms / 60000 % 60);
  st.wSecond = WORD(ms / 1000 % 60);
  st.wMilliseconds = WORD(ms % 1000);
  return true;
}

}  // namespace platform
