// The diagnostic GPS log ("\gps_log.txt" in the root folder, UTF-16LE),
// the traffic dump, the millisecond tick of the GPS code and the GPS week
// rollover correction.
#pragma once
#include <cstdint>

#include "platform/WinTypes.h"

// printf-style line (formats as platform::Format). Does nothing unless the
// setting LogCOMPorts is on.
void GpsLog(const char16_t* pszFormat, ...);

// Dumps bytes sent to or received from a port ("COM3:"), only when
// LogCOMPorts is on.
void LogTraffic(const char16_t* pszPortName, DWORD cb, const uint8_t* pb, bool fSent);
// The dump text of the bytes (printable bytes as they are, \n, \r, \xNN).
void FormatTraffic(const uint8_t* pb, DWORD cb, char16_t* pszOut, size_t cchOut);

// Closes the log file so that the next line opens it again (tests, exit).
void CloseGpsLog();

// Puts a date received from a receiver (days since 1899-12-30) into the
// right 1024-week GPS period: a receiver that counts weeks in 10 bits says
// the same for dates 7168 days apart. The date is moved by whole periods
// into the 7168 days that start at dPivot (the earliest date the receiver
// can mean: the program's build date, or later). A GPSEpoch the user set
// picks the period instead (1 = 1999-08-22 ... 2019-04-06, 2 = the next).
// With FixupGPSEpoch off the date is left as it is.
double FixupGpsEpoch(double date, double dPivot);
// The first day of GPS period nEpoch (0 = 1980-01-06).
double GpsEpochStart(int nEpoch);

// Millisecond tick used by every GPS time-out. Tests may replace the source.
typedef uint32_t (*GpsTickSource)();
uint32_t GpsTickMs();
GpsTickSource SetGpsTickSource(GpsTickSource pfn);

// The dates the protocols use, as days since 1899-12-30.
const double c_dGpsTimeStart = 29226.0;   // 1980-01-06
const double c_dGpsEpochDays = 7168.0;    // 1024 weeks
