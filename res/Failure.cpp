#include "res/Failure.h"

#include <atomic>
#include <deque>

#include "res/Res.h"
#include "platform/Str.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"

namespace {

const size_t c_cMaxQueued = 32;
platform::CCritSec g_cs;
std::deque<Failure> g_queue;  // under g_cs
std::atomic<FailureNotifier> g_pfnNotify{nullptr};

}  // namespace

std::u16string FormatFailure(const Failure& failure) {
  if (!failure.strText.empty()) return failure.strText;
  const std::u16string strReason =
      failure.dwSystemError != 0 ? platform::SystemErrorText(failure.dwSystemError) : std::u16string();
  char16_t szText[1024];
  FormatResString(szText, 1024, failure.ids, failure.strSubject.c_str(), strReason.c_str());
  return szText;
}

void ReportFailure(const Failure& failure) {
  {
    platform::CLock lock(g_cs);
    if (g_queue.size() >= c_cMaxQueued) g_queue.pop_front();
    g_queue.push_back(failure);
  }
  FailureNotifier pfn = g_pfnNotify.load();
  if (pfn) pfn();
}

void ReportFailure(uint32_t ids, const std::u16string& strSubject, uint32_t dwSystemError, bool fOncePerRun) {
  Failure failure;
  failure.ids = ids;
  failure.strSubject = strSubject;
  failure.dwSystemError = dwSystemError;
  failure.fOncePerRun = fOncePerRun;
  ReportFailure(failure);
}

void ReportFailureText(uint32_t ids, const std::u16string& strText) {
  Failure failure;
  failure.ids = ids;
  failure.strText = strText;
  ReportFailure(failure);
}

bool TakeFailure(Failure& failure) {
  platform::CLock lock(g_cs);
  if (g_queue.empty()) return false;
  failure = std::move(g_queue.front());
  g_queue.pop_front();
  return true;
}

void DrainFailures(void (*pfn)(const char16_t* pszText)) {
  Failure failure;
  while (TakeFailure(failure)) pfn(FormatFailure(failure).c_str());
}

void SetFailureNotifier(FailureNotifier pfn) { g_pfnNotify = pfn; }

void ClearFailures() {
  platform::CLock lock(g_cs);
  g_queue.clear();
}
