// Clock: millisecond tick, UTC and local system time.
#pragma once
#include <cstdint>

#include "platform/WinTypes.h"

namespace platform {

// Same layout as the Win32 SYSTEMTIME.
struct CSystemTime {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
static_assert(sizeof(CSystemTime) == 16, "SYSTEMTIME layout");

uint32_t GetTickMs();                    // monotonic, wraps like GetTickCount
void GetSystemTimeUtc(CSystemTime& st);
void GetLocalTime(CSystemTime& st);
// Sets the system clock. Natively this only succeeds when a test hook is
// installed; it never touches the host clock.
bool SetSystemTimeUtc(const CSystemTime& st);
typedef bool (*SetTimeHook)(const CSystemTime& st);
SetTimeHook SetSetTimeHook(SetTimeHook pfn);

// Days since 1899-12-30 (the OLE automation date) and back.
double SystemTimeToDays(const CSystemTime& st);
bool DaysToSystemTime(double days, CSystemTime& st);

void SleepMs(uint32_t ms);

}  // namespace platform
