// The shell's own dialogs: abnormal exit, safety warning, About, options;
// the message boxes of the lower layers' failures.
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "app/Commands.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "res/Failure.h"
#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "platform/Str.h"

using namespace platform;

int ShellMessageBox(const char16_t* pszText, UINT uType) {
  return ::MessageBoxW(g_hWnd, W(pszText), L"VELMO", uType);
}

// ---- failures of the lower layers ----

static std::atomic<bool> g_fFailuresPosted{false};
static bool g_fShowingFailures = false;
static std::vector<std::u16string> g_aShownOncePerRun;

static void PostFailureNotice() {
  if (!g_hWnd || g_fFailuresPosted.exchange(true)) return;
  if (!::PostMessageW(g_hWnd, WM_SHOW_FAILURES, 0, 0)) g_fFailuresPosted = false;
}

void InstallFailureNotifier() {
  SetFailureNotifier(PostFailureNotice);
  PostFailureNotice();  // what was reported before the window existed
}

void ShowPendingFailures() {
  g_fFailuresPosted = false;
  if (g_fShowingFailures) return;  // the open box's loop goes on below
  g_fShowingFailures = true;
  std::vector<std::u16string> shown;
  Failure failure;
  while (TakeFailure(failure)) {
    std::u16string strText = FormatFailure(failure);
    if (std::find(shown.begin(), shown.end(), strText) != shown.end()) continue;
    shown.push_back(strText);
    if (failure.fOncePerRun) {
      if (std::find(g_aShownOncePerRun.begin(), g_aShownOncePerRun.end(), strText) != g_aShownOncePerRun.end())
        continue;
      g_aShownOncePerRun.push_back(strText);
    }
    ::MessageBoxW(g_hWnd, W(strText.c_str()), L"VELMO", MB_OK | MB_ICONERROR);
  }
  g_fShowingFailures = false;
}

static INT_PTR CALLBACK AbnormalExitProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
  switch (uMsg) {
    case WM_INITDIALOG:
      ::SetForegroundWindow(hDlg);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          ::EndDialog(hDlg, IDOK);
          return TRUE;
        case c_idcResetSettings:
          ::EndDialog(hDlg, c_idcResetSettings);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

bool ShowAbnormalExitDialog() {
  return ResDialogBox(c_iddAbnormalExit, nullptr, AbnormalExitProc, 0) == INT_PTR(c_idcResetSettings);
}

static INT_PTR CALLBACK SimpleDialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
  switch (uMsg) {
    case WM_INITDIALOG:
      if (::GetDlgItem(hDlg, c_idcVersion)) {
        char16_t sz[64];
        Format(sz, 64, u"%s", c_szResVersion);
        ::SetDlgItemTextW(hDlg, c_idcVersion, W(sz));
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

void ShowSafetyWarning() { ResDialogBox(c_iddSafetyWarning, g_hWnd, SimpleDialogProc, 0); }
void ShowAboutDialog() { ResDialogBox(c_iddAbout, g_hWnd, SimpleDialogProc, 0); }
