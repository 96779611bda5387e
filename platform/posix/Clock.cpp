#include "platform/Clock.h"

#include <sys/time.h>
#include <time.h>

#include "platform/Thread.h"

namespace platform {

static SetTimeHook g_pfnSetTime = nullptr;

uint32_t GetTickMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

static void FromTm(const struct tm& t, long ms, CSystemTime& st) {
  st.wYear = WORD(t.tm_year + 1900);
  st.wMonth = WORD(t.tm_mon + 1);
  st.wDayOfWeek = WORD(t.tm_wday);
  st.wDay = WORD(t.tm_mday);
  st.wHour = WORD(t.tm_hour);
  st.wMinute = WORD(t.tm_min);
  st.wSecond = WORD(t.tm_sec);
  st.wMilliseconds = WORD(ms);
}

void GetSystemTimeUtc(CSystemTime& st) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  gmtime_r(&ts.tv_sec, &t);
  FromTm(t, ts.tv_nsec / 1000000, st);
}

void GetLocalTime(CSystemTime& st) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  localtime_r(&ts.tv_sec, &t);
  FromTm(t, ts.tv_nsec / 1000000, st);
}

bool SetSystemTimeUtc(const CSystemTime& st) { return g_pfnSetTime ? g_pfnSetTime(st) : false; }

SetTimeHook SetSetTimeHook(SetTimeHook pfn) {
  SetTimeHook old = g_pfnSetTime;
  g_pfnSetTime = pfn;
  return old;
}

void SleepMs(uint32_t ms) {
  struct timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = long(ms % 1000) * 1000000L;
  nanosleep(&ts, nullptr);
}

void SetCurrentThreadPriority(ThreadPriority) {}  // not needed natively

}  // namespace platform
