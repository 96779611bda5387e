#include "gps/GpsTime.h"

double DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * unsigned(m + (m > 2 ? -3 : 9)) + 2) / 5 + unsigned(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days1970 = long(era) * 146097 + long(doe) - 719468;
  return double(days1970) + 25569.0;
}

int GpsLeapSeconds(double gpsDays) {
  // UTC dates on which GPS - UTC grew by one second.
  static const struct {
    int16_t nYear;
    int8_t nMonth;
    int8_t nLeap;
  } c_aSteps[] = {
      {1981, 7, 1},  {1982, 7, 2},  {1983, 7, 3},  {1985, 7, 4},  {1988, 1, 5},  {1990, 1, 6},
      {1991, 1, 7},  {1992, 7, 8},  {1993, 7, 9},  {1994, 7, 10}, {1996, 1, 11}, {1997, 7, 12},
      {1999, 1, 13}, {2006, 1, 14}, {2009, 1, 15}, {2012, 7, 16}, {2015, 7, 17}, {2017, 1, 18},
  };
  int nLeap = 0;
  for (const auto& step : c_aSteps) {
    // The step happens at UTC midnight, which GPS time reaches nLeap seconds later.
    double dStep = DaysFromCivil(step.nYear, step.nMonth, 1) + step.nLeap / 86400.0;
    if (gpsDays >= dStep) nLeap = step.nLeap;
  }
  return nLeap;
}
