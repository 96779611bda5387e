#include "platform/SystemInfo.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace platform {

void PrefaultForWriting(void* p, size_t cb) {
#ifdef MADV_POPULATE_WRITE
  static const uintptr_t c_cbPage = uintptr_t(sysconf(_SC_PAGESIZE));
  if (!p || c_cbPage == 0) return;
  const uintptr_t first = (uintptr_t(p) + c_cbPage - 1) / c_cbPage * c_cbPage;
  const uintptr_t end = (uintptr_t(p) + cb) / c_cbPage * c_cbPage;
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)cb;
#endif
}

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
