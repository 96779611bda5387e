#include "app/Crash.h"

#include <tlhelp32.h>

#include "res/Res.h"
#include "platform/Module.h"
#include "platform/Str.h"

using namespace platform;

static HANDLE g_hErrorLog = INVALID_HANDLE_VALUE;
static HWND g_hwndCrashOwner = nullptr;
static thread_local CrashGuard* t_pGuard = nullptr;

// A recovery point: the context of __builtin_setjmp and where the report goes.
struct RecoveryPoint {
  void* apJump[5];
  char16_t* pszReport;
  int cchReport;
  RecoveryPoint* pOuter;
};
static thread_local RecoveryPoint* t_pRecovery = nullptr;

const int c_nBuildMajor = 28;
const int c_nBuildMinor = 15;

void SetCrashOwner(HWND hWnd) { g_hwndCrashOwner = hWnd; }

void WriteErrorLog(const char16_t* pszText, const char16_t* pszTagFormat, int nTagArg) {
  if (g_hErrorLog == INVALID_HANDLE_VALUE) {
    std::u16string path = GetRootFolder() + u"\\velmo_error_log.txt";
    g_hErrorLog = ::CreateFileW(W(path.c_str()), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_hErrorLog == INVALID_HANDLE_VALUE) return;
  }
  DWORD cb = 0;
  LARGE_INTEGER size;
  if (::GetFileSizeEx(g_hErrorLog, &size) && size.QuadPart == 0) {
    static const BYTE c_abBom[2] = {0xFF, 0xFE};
    ::WriteFile(g_hErrorLog, c_abBom, 2, &cb, nullptr);
  } else {
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ::SetFilePointerEx(g_hErrorLog, zero, nullptr, FILE_END);
  }
  char16_t szTag[256];
  Format(szTag, 256, pszTagFormat ? pszTagFormat : u"", nTagArg);
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  char16_t szTime[64];
  Format(szTime, 64, u"** %d-%02d-%02d %02d:%02d:%02d\r\n", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
         st.wSecond);
  std::u16string entry = u"-----------------------\r\n";
  entry += pszText ? pszText : u"";
  entry += u"\r\n";
  entry += szTag;
  entry += u"\r\n";
  entry += szTime;
  ::WriteFile(g_hErrorLog, entry.data(), DWORD(entry.size() * 2), &cb, nullptr);
  ::FlushFileBuffers(g_hErrorLog);
}

// Writes the report to the error log and shows it. A message text of the
// string table gets the report as its argument. (The port threads' reports
// are shown by the main window: app/GpsGlue.cpp.)
static void ShowReport(const char16_t* pszText, const char16_t* pszTag, int nTagArg, UINT idsFormat) {
  WriteErrorLog(pszText, pszTag, nTagArg);
  char16_t sz[520];
  if (idsFormat) {
    FormatResString(sz, 520, idsFormat, pszText);
  } else {
    StrCopy(sz, 520, pszText);
  }
  HWND hOwner = g_hwndCrashOwner && ::IsWindow(g_hwndCrashOwner) ? g_hwndCrashOwner : nullptr;
  ::MessageBoxW(hOwner, W(sz), L"VELMO", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void ShowMainException(const char16_t* pszText, void*) { ShowReport(pszText, u"_Main_ShowException", 0, 0); }
void ShowWndProcException(const char16_t* pszText, void*) {
  ShowReport(pszText, u"_WndProc_ShowException", 0, 2010);
}
void DefaultShowException(const char16_t* pszText, void*) { ShowReport(pszText, u"_DefaultShowException", 0, 2008); }

static const char16_t* ExceptionName(DWORD dwCode) {
  switch (dwCode) {
    case EXCEPTION_DATATYPE_MISALIGNMENT: return u"datatype misalignment";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return u"illegal instruction";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return u"array bounds exceeded";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: return u"divide by zero (floating-point)";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return u"divide by zero (integer)";
    case EXCEPTION_PRIV_INSTRUCTION: return u"privileged instruction";
    case EXCEPTION_STACK_OVERFLOW: return u"stack overlow";
  }
  return nullptr;
}

static void FindModuleName(ULONG_PTR uAddress, char16_t* pszName, int cchName) {
  StrCopy(pszName, size_t(cchName), u"???");
  HANDLE hSnap = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, ::GetCurrentProcessId());
  if (hSnap == INVALID_HANDLE_VALUE) return;
  MODULEENTRY32W me;
  me.dwSize = sizeof me;
  for (BOOL f = ::Module32FirstW(hSnap, &me); f; f = ::Module32NextW(hSnap, &me)) {
    ULONG_PTR uBase = reinterpret_cast<ULONG_PTR>(me.modBaseAddr);
    if (uBase <= uAddress && uAddress < uBase + me.modBaseSize) {
      StrCopy(pszName, size_t(cchName), U(me.szModule));
      break;
    }
  }
  ::CloseHandle(hSnap);
}

bool FormatExceptionReport(const EXCEPTION_RECORD* pRecord, char16_t* pszBuf, int cchBuf) {
  // Addresses are 64-bit here: they print with at least eight digits.
  unsigned long long ullAt = reinterpret_cast<ULONG_PTR>(pRecord->ExceptionAddress);
  unsigned long long ullHandler = reinterpret_cast<ULONG_PTR>(&ExceptionFilter);
  char16_t szModule[256];
  FindModuleName(ULONG_PTR(ullAt), szModule, 256);
  if (pRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && pRecord->NumberParameters >= 2) {
    Format(pszBuf, size_t(cchBuf),
           u"Instruction at [0x%08llx] \n%s \ninvalid address [0x%08llx]. \nHandler: [0x%08llx]. \nModule: %s "
           u"\n(Build %d.%d %s)",
           ullAt, pRecord->ExceptionInformation[0] ? u"writes to" : u"reads from",
           (unsigned long long)pRecord->ExceptionInformation[1], ullHandler, szModule, c_nBuildMajor, c_nBuildMinor,
           u"full");
    return true;
  }
  const char16_t* pszName = ExceptionName(pRecord->ExceptionCode);
  if (!pszName) return false;
  Format(pszBuf, size_t(cchBuf),
         u"Instruction at [0x%08llx] \ncaused %s. \nHandler: [0x%08llx]. \nModule: %s \n(Build %d.%d %s)", ullAt,
         pszName, ullHandler, szModule, c_nBuildMajor, c_nBuildMinor, u"full");
  return true;
}

LONG ExceptionFilter(EXCEPTION_POINTERS* pInfo, ShowExceptionProc pfnShow, void* pContext) {
  if (::IsDebuggerPresent()) return EXCEPTION_CONTINUE_SEARCH;
  char16_t sz[1024];
  if (!FormatExceptionReport(pInfo->ExceptionRecord, sz, 1024)) return EXCEPTION_CONTINUE_SEARCH;
  (pfnShow ? pfnShow : DefaultShowException)(sz, pContext);
  return EXCEPTION_EXECUTE_HANDLER;
}

void EnterCrashGuard(CrashGuard* pGuard) {
  pGuard->pOuter = t_pGuard;
  t_pGuard = pGuard;
}

void LeaveCrashGuard(CrashGuard* pGuard) { t_pGuard = pGuard->pOuter; }

static bool IsInOwnImage(const void* pAddress) {
  static ULONG_PTR s_uBase = 0, s_uEnd = 0;
  if (!s_uBase) {
    HMODULE h = ::GetModuleHandleW(nullptr);
    const IMAGE_DOS_HEADER* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(h);
    const IMAGE_NT_HEADERS* pNt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(h) + pDos->e_lfanew);
    s_uBase = reinterpret_cast<ULONG_PTR>(h);
    s_uEnd = s_uBase + pNt->OptionalHeader.SizeOfImage;
  }
  ULONG_PTR u = reinterpret_cast<ULONG_PTR>(pAddress);
  return s_uBase <= u && u < s_uEnd;
}

// Where a recovered fault continues: back to the recovery point's set-up.
static void RecoveryThunk() {
  RecoveryPoint* pPoint = t_pRecovery;
  t_pRecovery = pPoint->pOuter;
  __builtin_longjmp(pPoint->apJump, 1);
}

static bool RecoverFault(EXCEPTION_POINTERS* pInfo) {
  RecoveryPoint* pPoint = t_pRecovery;
  if (!pPoint || !FormatExceptionReport(pInfo->ExceptionRecord, pPoint->pszReport, pPoint->cchReport))
    return false;
  CONTEXT* pContext = pInfo->ContextRecord;
  // Continue in the thunk as if it had been called from the fault.
  pContext->Rsp = (pContext->Rsp & ~DWORD64(15)) - 8;
  pContext->Rip = reinterpret_cast<DWORD64>(&RecoveryThunk);
  return true;
}

bool RunWithFaultRecovery(void (*pfn)(void*), void* p, const char16_t* pszTag, char16_t* pszReport,
                          int cchReport) {
  RecoveryPoint point;
  point.pszReport = pszReport;
  point.cchReport = cchReport;
  point.pOuter = t_pRecovery;
  if (pszReport && cchReport > 0) pszReport[0] = 0;
  if (__builtin_setjmp(point.apJump) == 0) {
    t_pRecovery = &point;
    pfn(p);
    t_pRecovery = point.pOuter;
    return true;
  }
  if (pszTag) WriteErrorLog(pszReport, pszTag, 0);
  return false;
}

// Guards of the window procedure and the worker threads: faults in our own
// code while a guard is active. Faults inside system code (which may be
// expected and handled there) are left to their own handlers.
static LONG CALLBACK VectoredGuard(EXCEPTION_POINTERS* pInfo) {
  if (!IsInOwnImage(pInfo->ExceptionRecord->ExceptionAddress) || ::IsDebuggerPresent())
    return EXCEPTION_CONTINUE_SEARCH;
  if (RecoverFault(pInfo)) return EXCEPTION_CONTINUE_EXECUTION;
  CrashGuard* pGuard = t_pGuard;
  if (!pGuard) return EXCEPTION_CONTINUE_SEARCH;
  if (ExceptionFilter(pInfo, pGuard->pfnShow, pGuard->pContext) != EXCEPTION_EXECUTE_HANDLER)
    return EXCEPTION_CONTINUE_SEARCH;
  t_pGuard = pGuard->pOuter;
  pGuard->pfnCaught(pGuard->pContext);
  return EXCEPTION_CONTINUE_SEARCH;  // not reached: pfnCaught ends the process or thread
}

// The guard of WinMain: whatever no other guard took.
static LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* pInfo) {
  if (ExceptionFilter(pInfo, ShowMainException, nullptr) == EXCEPTION_EXECUTE_HANDLER)
    ::ExitProcess(UINT(-1));
  return EXCEPTION_CONTINUE_SEARCH;
}

void InstallCrashHandlers() {
  ::SetUnhandledExceptionFilter(UnhandledFilter);
  ::AddVectoredExceptionHandler(1, VectoredGuard);
}

void TestCrashIfAsked(const char* pszWhere, bool* pfDone) {
  if (pfDone) {
    if (*pfDone) return;
    *pfDone = true;
  }
  char sz[32];
  if (::GetEnvironmentVariableA("VELMO_TEST_CRASH", sz, sizeof sz) && lstrcmpA(sz, pszWhere) == 0) {
    volatile int* p = nullptr;
    *p = 1;
  }
}
