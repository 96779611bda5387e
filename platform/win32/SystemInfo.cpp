#include "platform/SystemInfo.h"

#include "platform/win32/Win32.h"

#include <psapi.h>

namespace platform {

// Windows commits heap memory as it is touched; nothing to ask for here.
void PrefaultForWriting(void*, size_t) {}

static uint64_t FileTimeTo64(const FILETIME& ft) {
  return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

bool GetProcessCpuTime(uint64_t& qw100ns) {
  FILETIME ftCreation, ftExit, ftKernel, ftUser;
  if (!::GetProcessTimes(::GetCurrentProcess(), &ftCreation, &ftExit, &ftKernel, &ftUser)) return false;
  qw100ns = FileTimeTo64(ftKernel) + FileTimeTo64(ftUser);
  return true;
}

bool GetPeakMemoryKb(uint64_t& qwKb) {
  PROCESS_MEMORY_COUNTERS pmc;
  pmc.cb = sizeof pmc;
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc)) return false;
  qwKb = uint64_t(pmc.PeakWorkingSetSize) / 1024u;
  return true;
}

bool GetAvailablePhysicalKb(uint64_t& qwKb) {
  MEMORYSTATUSEX ms;
  ms.dwLength = sizeof ms;
  if (!::GlobalMemoryStatusEx(&ms)) return false;
  qwKb = ms.ullAvailPhys / 1024u;
  return true;
}

void GetPowerStatus(PowerStatus& status) {
  SYSTEM_POWER_STATUS sps;
  status.fKnown = false;
  status.fOnLine = false;
  status.nBatteryPercent = -1;
  if (!::GetSystemPowerStatus(&sps)) return;
  status.fKnown = sps.ACLineStatus != 255 || sps.BatteryLifePercent != 255;
  status.fOnLine = sps.ACLineStatus == 1;
  if (sps.BatteryLifePercent <= 100 && (sps.BatteryFlag & 128) == 0) status.nBatteryPercent = sps.BatteryLifePercent;
}

}  // namespace platform
