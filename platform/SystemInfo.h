// What the system gauges read about the running program and the machine:
// processor time used, available memory, the power source.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// Asks the system to give the pages of [p, p + cb) their memory now, in one
// call, because all of it is about to be written (a fault per page costs
// several times more). Only whole pages inside the range; a hint: where the
// system cannot, nothing happens.
void PrefaultForWriting(void* p, size_t cb);

// Kernel and user time the process has used, in 100 ns units. False when
// the system cannot tell.
bool GetProcessCpuTime(uint64_t& qw100ns);
// Available physical memory in KiB. False when the system cannot tell.
bool GetAvailablePhysicalKb(uint64_t& qwKb);
// The most physical memory the program has held so far, in KiB (its peak
// working set). False when the system cannot tell.
bool GetPeakMemoryKb(uint64_t& qwKb);

struct PowerStatus {
  bool fKnown;        // false: nothing below is known
  bool fOnLine;       // on mains power
  int nBatteryPercent;  // 0-100, or -1 when unknown or without a battery
};
void GetPowerStatus(PowerStatus& status);

}  // namespace platform
