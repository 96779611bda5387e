// The crash reporter and the error log.
//
// mingw's GCC has no __try/__except, so the guards are realised with two
// system hooks: a vectored exception handler catches faults whose
// instruction lies in the program's own image while a guard is active on the
// faulting thread (the window procedure, the port threads), and the
// unhandled-exception filter is the guard of WinMain for everything else.
#pragma once
#include "app/Win.h"

// A show handler writes the report to the error log and shows it.
typedef void (*ShowExceptionProc)(const char16_t* pszText, void* pContext);

void ShowMainException(const char16_t* pszText, void* pContext);     // "_Main_ShowException"
void ShowWndProcException(const char16_t* pszText, void* pContext);  // "_WndProc_ShowException"
void DefaultShowException(const char16_t* pszText, void* pContext);  // "_DefaultShowException"

// Builds the report for the exception and calls the handler; returns
// EXCEPTION_EXECUTE_HANDLER, or EXCEPTION_CONTINUE_SEARCH when a debugger is
// attached or the code is not one the reporter knows.
LONG ExceptionFilter(EXCEPTION_POINTERS* pInfo, ShowExceptionProc pfnShow, void* pContext);
// The report text alone (for tests); false for codes it does not know.
bool FormatExceptionReport(const EXCEPTION_RECORD* pRecord, char16_t* pszBuf, int cchBuf);

// Appends one entry to "\velmo_error_log.txt" in the root folder.
void WriteErrorLog(const char16_t* pszText, const char16_t* pszTagFormat, int nTagArg);

// A guard on the current thread: while it is active, a fault in the
// program's own code is reported with pfnShow and then pfnCaught runs (it
// must not return: it ends the process or the thread).
struct CrashGuard {
  ShowExceptionProc pfnShow;
  void* pContext;
  void (*pfnCaught)(void* pContext);
  CrashGuard* pOuter;
};
void EnterCrashGuard(CrashGuard* pGuard);
void LeaveCrashGuard(CrashGuard* pGuard);
void InstallCrashHandlers();

// Test hook: faults (a write through a null pointer, in the program's own
// code) when the environment variable VELMO_TEST_CRASH names pszWhere
// ("main", "wndproc", "mappass"). With pfDone it faults only the first
// time it is reached.
void TestCrashIfAsked(const char* pszWhere, bool* pfDone);

// Runs pfn(p); a fault in the program's own code inside it is written to the
// error log under pszTag, its report is copied to the buffer and the call
// returns false instead of ending the program (the map page's drawing
// guard: a damaged map must not take the program down). Without a tag the
// caller writes the log entry itself.
bool RunWithFaultRecovery(void (*pfn)(void*), void* p, const char16_t* pszTag, char16_t* pszReport,
                          int cchReport);

// The window whose message boxes own crash reports (the main window).
void SetCrashOwner(HWND hWnd);
