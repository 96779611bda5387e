// Resources other than strings, looked up through the localisation modules
// with the same fallback order as the strings.
#pragma once
#include "app/Win.h"

#include <commctrl.h>

INT_PTR ResDialogBox(UINT idDialog, HWND hOwner, DLGPROC pfnProc, LPARAM lParam);
HWND ResCreateDialog(UINT idDialog, HWND hOwner, DLGPROC pfnProc, LPARAM lParam);
// The module that holds a dialog template (property sheet pages name it).
HINSTANCE ResDialogModule(UINT idDialog);
HMENU ResLoadMenu(UINT idMenu);
HBITMAP ResLoadBitmap(UINT idBitmap);
HBITMAP ResLoadPicture(UINT idPicture);
HICON ResLoadIcon(UINT idIcon);
HIMAGELIST ResLoadImageList(UINT idPicture, int cxImage, COLORREF crMask);
