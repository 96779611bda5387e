// The shell's own dialogs: abnormal exit, safety warning, About, options.
#include "app/Commands.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "platform/Str.h"

using namespace platform;

int ShellMessageBox(const char16_t* pszText, UINT uType) {
  return ::MessageBoxW(g_hWnd, W(pszText), L"VELMO", uType);
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
