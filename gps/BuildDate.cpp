#include "gps/GpsTime.h"

#include <cstring>

double BuildDate() {
  // __DATE__ is "Mmm dd yyyy".
  static const char c_szMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const char* psz = __DATE__;
  int nMonth = 1;
  for (int i = 0; i < 12; ++i)
    if (std::strncmp(psz, c_szMonths + 3 * i, 3) == 0) nMonth = i + 1;
  int nDay = (psz[4] == ' ' ? 0 : psz[4] - '0') * 10 + (psz[5] - '0');
  int nYear = (psz[7] - '0') * 1000 + (psz[8] - '0') * 100 + (psz[9] - '0') * 10 + (psz[10] - '0');
  return DaysFromCivil(nYear, nMonth, nDay);
}
