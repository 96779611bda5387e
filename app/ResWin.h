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
// The module that holds a dialog template (property sheet pages name it).
HINSTANCE ResDialogModule(UINT idDialog);
HMENU ResLoadMenu(UINT idMenu);
HBITMAP ResLoadBitmap(UINT idBitmap);
HBITMAP ResLoadPicture(UINT idPicture);
HICON ResLoadIcon(UINT idIcon);
HIMAGELIST ResLoadImageList(UINT idPicture, int cxImage, COLORREF crMask);
