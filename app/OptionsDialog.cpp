// The options dialog: the table of its pages, the sheet around them and the
// interface language page.
#include "app/OptionsDialog.h"

#include "app/Commands.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/res/options_ids.h"
#include "app/res/sound_ids.h"
#include "platform/Str.h"
#include "res/Res.h"
#include "settings/SettingsTable.h"

using namespace platform;

namespace {

// The pages in the order of their tabs. A new page is one line here.
const OptionsPageEntry c_aOptionPages[] = {
    {0, c_iddOptions, LanguagePageProc, 2026},
    {1, IDD_OPTIONS_MAP_VIEW, MapViewPageProc, 2027},
    {2, IDD_OPTIONS_GPS, GpsPageProc, 2028},
    {3, IDD_OPTIONS_UNITS, UnitsPageProc, 2029},
    {4, IDD_OPTIONS_ADDRESS, AddressPageProc, 2030},
    {5, IDD_OPTIONS_CLOCK, ClockPageProc, 2031},
    {6, IDD_OPTIONS_OFF_ROUTE, OffRoutePageProc, 2032},
    {7, IDD_OPTIONS_ROUTING, RoutingPageProc, 2033},
    {7, IDD_OPTIONS_AVOID, AvoidPageProc, 0},  // a part of the routing options
    {8, IDD_OPTIONS_SOUNDS, SoundPageProc, 2034},
};
const size_t c_cOptionPages = sizeof c_aOptionPages / sizeof c_aOptionPages[0];

const uint32_t c_idsOptionsTitle = 2025;  // "Настройки"
const wchar_t c_szPageProp[] = L"VelmoOptionsPage";

unsigned s_fChanges = 0;

// Every page's messages pass here first: the page shown is remembered, the
// rest goes to the page's own procedure.
INT_PTR CALLBACK PageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  size_t i;
  if (uMsg == WM_INITDIALOG) {
    i = size_t(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
    ::SetPropW(hDlg, c_szPageProp, reinterpret_cast<HANDLE>(i + 1));
  } else {
    i = size_t(reinterpret_cast<UINT_PTR>(::GetPropW(hDlg, c_szPageProp))) - 1;
  }
  if (i >= c_cOptionPages) return FALSE;  // messages before WM_INITDIALOG
  if (uMsg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_SETACTIVE) {
    SetDword(setting::OptionsPage.pszName, c_aOptionPages[i].nPage);
    FitPageToSheet(hDlg);  // the page now has the sheet's display area
  }
  if (PageScrollMessage(hDlg, uMsg, wParam, lParam)) return TRUE;
  if (uMsg == WM_DESTROY) ::RemovePropW(hDlg, c_szPageProp);
  return c_aOptionPages[i].pfnProc(hDlg, uMsg, wParam, lParam);
}

// The sheet is fitted to the screen once it has its buttons and before its
// first page is made, so every page takes the fitted display area.
int CALLBACK SheetCallback(HWND hSheet, UINT uMsg, LPARAM) {
  if (uMsg == PSCB_INITIALIZED) FitPropertySheetToScreen(hSheet);
  return 0;
}

size_t StartPage() {
  DWORD nPage = GetSetting(setting::OptionsPage);
  for (size_t i = 0; i < c_cOptionPages; ++i)
    if (c_aOptionPages[i].nPage == nPage) return i;
  return 0;
}

// Options: the interface language. Changing it stores "Language" and
// restarts the program, so the new module is loaded by a fresh process.
struct LanguageChoice {
  uint16_t wLanguage;
  const char16_t* pszName;
};
const LanguageChoice c_aLanguages[] = {{1049, u"Русский"}, {0x0409, u"English"}};
const size_t c_cLanguages = sizeof c_aLanguages / sizeof c_aLanguages[0];

}  // namespace

void OptionsChanged(unsigned fChanges) { s_fChanges |= fChanges; }

void SetPageResult(HWND hPage, LONG_PTR nResult) { ::SetWindowLongPtrW(hPage, DWLP_MSGRESULT, nResult); }

INT_PTR CALLBACK LanguagePageProc(HWND hDlg, UINT uMsg, WPARAM, LPARAM lParam) {
  HWND hCombo = ::GetDlgItem(hDlg, c_idcLanguage);
  switch (uMsg) {
    case WM_INITDIALOG: {
      uint16_t wCurrent = GetLanguage();
      for (size_t i = 0; i < c_cLanguages; ++i) {
        ::SendMessageW(hCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(c_aLanguages[i].pszName)));
        if (c_aLanguages[i].wLanguage == wCurrent) ::SendMessageW(hCombo, CB_SETCURSEL, i, 0);
      }
      return TRUE;
    }
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lParam)->code == PSN_APPLY) {
        LRESULT i = ::SendMessageW(hCombo, CB_GETCURSEL, 0, 0);
        if (i >= 0 && size_t(i) < c_cLanguages && c_aLanguages[i].wLanguage != GetLanguage()) {
          SetDword(setting::Language.pszName, c_aLanguages[i].wLanguage);
          OptionsChanged(ocRestart);
        }
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

void ShowOptionsDialog() {
  PROPSHEETPAGEW aPages[c_cOptionPages] = {};
  char16_t aszTitles[c_cOptionPages][64];
  for (size_t i = 0; i < c_cOptionPages; ++i) {
    aPages[i].dwSize = sizeof aPages[i];
    aPages[i].dwFlags = PSP_DEFAULT;
    if (c_aOptionPages[i].idsTitle) {
      aPages[i].dwFlags |= PSP_USETITLE;
      aPages[i].pszTitle = W(LoadResString(c_aOptionPages[i].idsTitle, aszTitles[i], 64));
    }
    aPages[i].hInstance = ResDialogModule(c_aOptionPages[i].idDialog);
    aPages[i].pszTemplate = MAKEINTRESOURCEW(c_aOptionPages[i].idDialog);
    aPages[i].pfnDlgProc = PageProc;
    aPages[i].lParam = LPARAM(i);
  }
  char16_t szTitle[64];
  LoadResString(c_idsOptionsTitle, szTitle, 64);
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP | PSH_USECALLBACK;
  header.pfnCallback = SheetCallback;
  header.hwndParent = g_hWnd;
  header.hInstance = g_hInstance;
  header.pszCaption = W(szTitle);
  header.nPages = UINT(c_cOptionPages);
  header.nStartPage = UINT(StartPage());
  header.ppsp = aPages;
  s_fChanges = 0;
  ::PropertySheetW(&header);
  unsigned fChanges = s_fChanges;
  s_fChanges = 0;
  if (fChanges & ocRestart) {
    ::PostMessageW(g_hWnd, WM_EXIT_REQUEST, 1, 0);
    return;
  }
  if (!fChanges) return;
  for (Page* pPage : g_apPages)
    if (pPage) pPage->OnOptionsChanged((fChanges & ocMap) != 0, (fChanges & ocUnits) != 0);
}
