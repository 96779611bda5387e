// The options dialog: a property sheet of pages, one table line each
// (app/OptionsDialog.cpp). A page is a child dialog whose procedure fills
// its controls on WM_INITDIALOG and writes its settings on PSN_APPLY; the
// sheet remembers the page shown last in "OptionsPage" and, after OK, tells
// the main window's pages what changed.
#pragma once
#include <cstdint>

#include "app/Win.h"

#include <commctrl.h>

struct OptionsPageEntry {
  unsigned nPage;    // the number kept in "OptionsPage" while the page is shown
  UINT idDialog;     // the page's dialog template (child style)
  DLGPROC pfnProc;   // the page's dialog procedure
  uint32_t idsTitle; // the tab's text (2026 + page for the numbered pages); 0: the template's caption
};

// What applying a page changed (OptionsChanged flags).
enum OptionsChange : unsigned {
  ocMap = 0x1,       // the map must be drawn again
  ocUnits = 0x2,     // units of measure changed
  ocRestart = 0x4,   // the program restarts (a new interface language)
  ocSettings = 0x8,  // other settings: the pages are told and draw again
};

// Called by a page's PSN_APPLY handler with what its values change.
void OptionsChanged(unsigned fChanges);
// The result of a page's notification (PSNRET_NOERROR after PSN_APPLY).
void SetPageResult(HWND hPage, LONG_PTR nResult);

// The pages, defined beside their dialogs.
INT_PTR CALLBACK LanguagePageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MapViewPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK GpsPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK UnitsPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AddressPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ClockPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OffRoutePageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RoutingPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AvoidPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SoundPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
