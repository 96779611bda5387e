#include "platform/Clock.h"

#include "platform/Thread.h"
#include "platform/win32/Win32.h"

namespace platform {

static SetTimeHook g_pfnSetTime = nullptr;

uint32_t GetTickMs() { return ::GetTickCount(); }

void GetSystemTimeUtc(CSystemTime& st) { ::GetSystemTime(reinterpret_cast<SYSTEMTIME*>(&st)); }
void GetLocalTime(CSystemTime& st) { ::GetLocalTime(reinterpret_cast<SYSTEMTIME*>(&st)); }

bool SetSystemTimeUtc(const CSystemTime& st) {
  if (g_pfnSetTime) return g_pfnSetTime(st);
  return ::SetSystemTime(reinterpret_cast<const SYSTEMTIME*>(&st)) != 0;
}

SetTimeHook SetSetTimeHook(SetTimeHook pfn) {
  SetTimeHook old = g_pfnSetTime;
  g_pfnSetTime = pfn;
  return old;
}

void SleepMs(uint32_t ms) { ::Sleep(ms); }

void SetCurrentThreadPriority(ThreadPriority prio) {
  int n = THREAD_PRIORITY_NORMAL;
  if (prio == tpAboveNormal) n = THREAD_PRIORITY_ABOVE_NORMAL;
  if (prio == tpBelowNormal) n = THREAD_PRIORITY_BELOW_NORMAL;
  ::SetThreadPriority(::GetCurrentThread(), n);
}

}  // namespace platform
