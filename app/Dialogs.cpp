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

// Options: the interface language. Changing it stores "Language" and
// restarts the program, so the new module is loaded by a fresh process.
struct LanguageChoice {
  uint16_t wLanguage;
  const char16_t* pszName;
};
static const LanguageChoice c_aLanguages[] = {{1049, u"Русский"}, {0x0409, u"English"}};

static INT_PTR CALLBACK OptionsProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
  HWND hCombo = ::GetDlgItem(hDlg, c_idcLanguage);
  switch (uMsg) {
    case WM_INITDIALOG: {
      uint16_t wCurrent = GetLanguage();
      for (size_t i = 0; i < sizeof c_aLanguages / sizeof c_aLanguages[0]; ++i) {
        ::SendMessageW(hCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(c_aLanguages[i].pszName)));
        if (c_aLanguages[i].wLanguage == wCurrent) ::SendMessageW(hCombo, CB_SETCURSEL, i, 0);
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        LRESULT i = ::SendMessageW(hCombo, CB_GETCURSEL, 0, 0);
        bool fRestart = false;
        if (i >= 0 && size_t(i) < sizeof c_aLanguages / sizeof c_aLanguages[0] &&
            c_aLanguages[i].wLanguage != GetLanguage()) {
          SetDword(setting::Language.pszName, c_aLanguages[i].wLanguage);
          fRestart = true;
        }
        SetDword(setting::OptionsPage.pszName, 0);
        ::EndDialog(hDlg, fRestart ? 2 : IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(hDlg, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

void ShowOptionsDialog() {
  if (ResDialogBox(c_iddOptions, g_hWnd, OptionsProc, 0) == 2)
    ::PostMessageW(g_hWnd, WM_EXIT_REQUEST, 1, 0);
}
