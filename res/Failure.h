// Failures of the layers below the shell, handed to the shell instead of
// shown: a lower layer never opens a dialog (it may run on a port thread,
// under a lock, or inside a drawing pass). A failure names its text by
// string id, with its subject (usually a path) and the system's error code;
// the shell formats it and shows it on its own thread.
#pragma once
#include <cstdint>
#include <string>

struct Failure {
  uint32_t ids = 0;             // the text; also the failure's kind
  std::u16string strSubject;    // the first %s of the text (a path), may be empty
  uint32_t dwSystemError = 0;   // the system's code (second %s), 0 when none
  std::u16string strText;       // a text already formatted (wins when set)
  // A failure that repeats by itself (one per fix, per phrase): the user is
  // told of the same text once in a run.
  bool fOncePerRun = false;
};

// The failure as the user reads it: the text of ids with the subject and the
// system's own words for the error (platform/SystemError.h).
std::u16string FormatFailure(const Failure& failure);

// Hands a failure to whoever shows them (any thread, never blocks): it is
// queued and the notifier hears of it. The queue keeps the 32 newest.
void ReportFailure(const Failure& failure);
void ReportFailure(uint32_t ids, const std::u16string& strSubject, uint32_t dwSystemError,
                   bool fOncePerRun = false);
void ReportFailureText(uint32_t ids, const std::u16string& strText);
// Takes the oldest queued failure; false when none is left.
bool TakeFailure(Failure& failure);
// Called (on the reporting thread) after every report; the shell posts
// itself a message, a tool prints. Without one the failures stay queued.
typedef void (*FailureNotifier)();
void SetFailureNotifier(FailureNotifier pfn);
// Takes every queued failure and hands its text to pfn (a tool prints them,
// a test keeps them).
void DrainFailures(void (*pfn)(const char16_t* pszText));
// Forgets every queued failure (tests).
void ClearFailures();
