#include "platform/SystemInfo.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace platform {

bool GetProcessCpuTime(uint64_t& qw100ns) {
  struct rusage ru;
  if (getrusage(RUSAGE_SELF, &ru) != 0) return false;
  const uint64_t us = uint64_t(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000u +
                      uint64_t(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
  qw100ns = us * 10u;
  return true;
}

bool GetAvailablePhysicalKb(uint64_t& qwKb) {
  const long cPages = sysconf(_SC_AVPHYS_PAGES);
  const long cbPage = sysconf(_SC_PAGESIZE);
  if (cPages < 0 || cbPage <= 0) return false;
  qwKb = uint64_t(cPages) * uint64_t(cbPage) / 1024u;
  return true;
}

bool GetPeakMemoryKb(uint64_t& qwKb) {
  // The high-water mark of this program's own memory since it started
  // (not of the process it was started from).
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return false;
  char sz[256];
  bool fFound = false;
  while (!fFound && std::fgets(sz, sizeof sz, f)) {
    unsigned long long n = 0;
    if (std::sscanf(sz, "VmHWM: %llu kB", &n) == 1) {
      qwKb = n;
      fFound = true;
    }
  }
  std::fclose(f);
  return fFound;
}

void GetPowerStatus(PowerStatus& status) {
  // A native build runs tools and tests: no battery is looked at.
  status.fKnown = false;
  status.fOnLine = false;
  status.nBatteryPercent = -1;
}

}  // namespace platform
