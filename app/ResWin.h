// Resources other than strings, looked up through the localisation modules
// with the same fallback order as the strings.
#pragma once
#include "app/Win.h"

#include <commctrl.h>

// Dialogs from a template; each is fitted to the screen (FitDialogToScreen)
// before its procedure sees WM_INITDIALOG.
INT_PTR ResDialogBox(UINT idDialog, HWND hOwner, DLGPROC pfnProc, LPARAM lParam);
HWND ResCreateDialog(UINT idDialog, HWND hOwner, DLGPROC pfnProc, LPARAM lParam);
// Shrinks a dialog larger than the work area to it, its controls moved and
// shrunk in proportion, and moves it onto the work area.
void FitDialogToScreen(HWND hDlg);
// A property sheet larger than the work area: the sheet shrinks to it, its
// tabs take one row, the tab control shrinks and the buttons move with the
// sheet's corner (squeezed when they no longer fit side by side). Call it
// once the sheet has its buttons (PSCB_INITIALIZED); the pages created
// afterwards take the smaller display area.
void FitPropertySheetToScreen(HWND hSheet);
// A page smaller than its controls: they shrink in width to the page, and
// when they reach past its bottom the page scrolls (PageScrollMessage
// handles the scroll bar and the wheel). Call it when the page is shown.
void FitPageToSheet(HWND hPage);
// The scrolling of a fitted page; true when the message was handled.
bool PageScrollMessage(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam);
// A dialog with a list and a column of push buttons beside it, fitted to a
// screen too narrow for the buttons' texts: the buttons go below the list
// in two columns (one where a word of theirs would not fit), their texts
// wrapping, and the list takes the rest of the height; when even its
// least height does not remain, the dialog scrolls.
void PutButtonsBelowList(HWND hDlg, HWND hList);
// The module that holds a dialog template (property sheet pages name it).
HINSTANCE ResDialogModule(UINT idDialog);
HMENU ResLoadMenu(UINT idMenu);
HBITMAP ResLoadBitmap(UINT idBitmap);
HBITMAP ResLoadPicture(UINT idPicture);
HICON ResLoadIcon(UINT idIcon);
HIMAGELIST ResLoadImageList(UINT idPicture, int cxImage, COLORREF crMask);
