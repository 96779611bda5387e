// Calendar helpers of the receivers: civil dates as days since 1899-12-30
// and the GPS - UTC leap seconds.
#pragma once
#include <cstdint>

// Days since 1899-12-30 of a civil date (proleptic Gregorian).
double DaysFromCivil(int nYear, int nMonth, int nDay);
// GPS - UTC in seconds at a date given in GPS time (days since 1899-12-30):
// 0 before 1981-07-01, 18 from 2017-01-01 on.
int GpsLeapSeconds(double gpsDays);
// The day this program was built (days since 1899-12-30): no receiver the
// program reads live can be earlier.
double BuildDate();
