#include "app/ResWin.h"

#include <ole2.h>
#include <olectl.h>

#include <cstdint>
#include <cstring>

#include "app/Shell.h"
#include "res/Res.h"
#include "platform/Debug.h"

static HMODULE Primary() { return static_cast<HMODULE>(GetPrimaryModule()); }
static HMODULE Fallback() { return static_cast<HMODULE>(GetFallbackModule()); }
static HMODULE Self() { return g_hInstance ? g_hInstance : ::GetModuleHandleW(nullptr); }

static HMODULE ModuleWithDialog(UINT idDialog) {
  if (::FindResourceW(Primary(), MAKEINTRESOURCEW(idDialog), MAKEINTRESOURCEW(5))) return Primary();
  return Fallback();
}

// --- Dialogs that fit the screen --------------------------------------------
// A dialog template is laid out for a desktop screen; on a small screen, or
// at a high DPI on a modest one, the dialog would reach past the screen's
// edges. Each dialog of the program is therefore shrunk to the work area
// before its own WM_INITDIALOG runs: its controls move and shrink in
// proportion, so every one of them stays inside the dialog and on screen.

namespace {

const wchar_t c_szDialogProc[] = L"VelmoDialogProc";
// The procedure of the dialog being created (one UI thread).
DLGPROC s_pfnPending = nullptr;

int ScaleCoord(int n, int nNew, int nOld) { return int(int64_t(n) * nNew / nOld); }

INT_PTR CALLBACK FittingDialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  auto pfn = reinterpret_cast<DLGPROC>(::GetPropW(hDlg, c_szDialogProc));
  if (!pfn) {
    if (!s_pfnPending) return FALSE;
    pfn = s_pfnPending;
    s_pfnPending = nullptr;
    ::SetPropW(hDlg, c_szDialogProc, reinterpret_cast<HANDLE>(pfn));
  }
  if (uMsg == WM_INITDIALOG) FitDialogToScreen(hDlg);
  const INT_PTR nResult = pfn(hDlg, uMsg, wParam, lParam);
  if (uMsg == WM_NCDESTROY) ::RemovePropW(hDlg, c_szDialogProc);
  return nResult;
}

}  // namespace

void FitDialogToScreen(HWND hDlg) {
  RECT rcWork;
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0)) return;
  RECT rc, rcClient;
  ::GetWindowRect(hDlg, &rc);
  ::GetClientRect(hDlg, &rcClient);
  const int cxWork = rcWork.right - rcWork.left, cyWork = rcWork.bottom - rcWork.top;
  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  const int cxNew = cx < cxWork ? cx : cxWork, cyNew = cy < cyWork ? cy : cyWork;
  const int cxClient = rcClient.right, cyClient = rcClient.bottom;
  const int cxClientNew = cxClient - (cx - cxNew), cyClientNew = cyClient - (cy - cyNew);
  if ((cxNew < cx || cyNew < cy) && cxClient > 0 && cyClient > 0 && cxClientNew > 0 && cyClientNew > 0) {
    for (HWND h = ::GetWindow(hDlg, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
      RECT rcChild;
      ::GetWindowRect(h, &rcChild);
      ::MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rcChild), 2);
      const int x = ScaleCoord(rcChild.left, cxClientNew, cxClient);
      const int y = ScaleCoord(rcChild.top, cyClientNew, cyClient);
      const int cxChild = ScaleCoord(rcChild.right, cxClientNew, cxClient) - x;
      int cyChild = ScaleCoord(rcChild.bottom, cyClientNew, cyClient) - y;
      wchar_t szClass[16];
      ::GetClassNameW(h, szClass, 16);
      if (::lstrcmpiW(szClass, L"ComboBox") == 0) {
        // A combo box's height is its dropped list's; the closed box keeps
        // the height its font gives it.
        // (Not every implementation reports success, so the rectangle says.)
        RECT rcDropped = {0, 0, 0, 0};
        ::SendMessageW(h, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rcDropped));
        cyChild = rcDropped.bottom > rcDropped.top ? int(rcDropped.bottom - rcDropped.top) : int(rcChild.bottom - rcChild.top);
      }
      ::SetWindowPos(h, nullptr, x, y, cxChild, cyChild, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  // On the work area, centred where it had to shrink.
  int x = rc.left, y = rc.top;
  if (cxNew < cx) x = rcWork.left;
  if (cyNew < cy) y = rcWork.top;
  if (x + cxNew > rcWork.right) x = rcWork.right - cxNew;
  if (y + cyNew > rcWork.bottom) y = rcWork.bottom - cyNew;
  if (x < rcWork.left) x = rcWork.left;
  if (y < rcWork.top) y = rcWork.top;
  if (x != rc.left || y != rc.top || cxNew != cx || cyNew != cy)
    ::SetWindowPos(hDlg, nullptr, x, y, cxNew, cyNew, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR ResDialogBox(UINT idDialog, HWND hOwner, DLGPROC pfnProc, LPARAM lParam) {
  s_pfnPending = pfnProc;
  const INT_PTR nResult =
      ::DialogBoxParamW(ModuleWithDialog(idDialog), MAKEINTRESOURCEW(idDialog), hOwner, FittingDialogProc, lParam);
  s_pfnPending = nullptr;
  return nResult;
}

HWND ResCreateDialog(UINT idDialog, HWND hOwner, DLGPROC pfnProc, LPARAM lParam) {
  s_pfnPending = pfnProc;
  HWND hDlg =
      ::CreateDialogParamW(ModuleWithDialog(idDialog), MAKEINTRESOURCEW(idDialog), hOwner, FittingDialogProc, lParam);
  s_pfnPending = nullptr;
  return hDlg;
}

HINSTANCE ResDialogModule(UINT idDialog) { return ModuleWithDialog(idDialog); }

HMENU ResLoadMenu(UINT idMenu) {
  HMENU h = ::LoadMenuW(Primary(), MAKEINTRESOURCEW(idMenu));
  if (!h) h = ::LoadMenuW(Fallback(), MAKEINTRESOURCEW(idMenu));
  return h;
}

HBITMAP ResLoadBitmap(UINT idBitmap) {
  ASSERT(idBitmap != 0);
  HBITMAP h = nullptr;
  if (::FindResourceW(Primary(), MAKEINTRESOURCEW(idBitmap), MAKEINTRESOURCEW(2)))
    h = static_cast<HBITMAP>(::LoadImageW(Primary(), MAKEINTRESOURCEW(idBitmap), IMAGE_BITMAP, 0, 0, 0));
  if (!h) h = static_cast<HBITMAP>(::LoadImageW(Self(), MAKEINTRESOURCEW(idBitmap), IMAGE_BITMAP, 0, 0, 0));
  return h;
}

// Decodes a "GIF" resource with the system's picture decoder (OLE), and
// returns a copy of its bitmap that the caller owns.
static HBITMAP DecodePicture(HMODULE hModule, UINT idPicture) {
  HRSRC hRes = ::FindResourceW(hModule, MAKEINTRESOURCEW(idPicture), L"GIF");
  if (!hRes) return nullptr;
  DWORD cb = ::SizeofResource(hModule, hRes);
  HGLOBAL hRaw = ::LoadResource(hModule, hRes);
  const void* pRaw = hRaw ? ::LockResource(hRaw) : nullptr;
  if (!pRaw || cb == 0) return nullptr;
  HGLOBAL hMem = ::GlobalAlloc(GMEM_MOVEABLE, cb);
  if (!hMem) return nullptr;
  void* p = ::GlobalLock(hMem);
  memcpy(p, pRaw, cb);
  ::GlobalUnlock(hMem);
  IStream* pStream = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(hMem, TRUE, &pStream))) {
    ::GlobalFree(hMem);
    return nullptr;
  }
  IPicture* pPicture = nullptr;
  HBITMAP hbmCopy = nullptr;
  if (SUCCEEDED(::OleLoadPicture(pStream, LONG(cb), FALSE, IID_IPicture, reinterpret_cast<void**>(&pPicture)))) {
    OLE_HANDLE h = 0;
    if (SUCCEEDED(pPicture->get_Handle(&h)) && h)
      hbmCopy = static_cast<HBITMAP>(::CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(h)), IMAGE_BITMAP,
                                                 0, 0, LR_CREATEDIBSECTION));
    pPicture->Release();
  }
  pStream->Release();
  return hbmCopy;
}

HBITMAP ResLoadPicture(UINT idPicture) {
  HBITMAP hbm = DecodePicture(Primary(), idPicture);
  if (!hbm && Primary() != Self()) hbm = DecodePicture(Self(), idPicture);
  return hbm;
}

HICON ResLoadIcon(UINT idIcon) {
  HICON h = ::LoadIconW(Primary(), MAKEINTRESOURCEW(idIcon));
  if (!h) h = ::LoadIconW(Self(), MAKEINTRESOURCEW(idIcon));
  return h;
}

HIMAGELIST ResLoadImageList(UINT idPicture, int cxImage, COLORREF crMask) {
  HBITMAP hbm = ResLoadPicture(idPicture);
  if (!hbm) hbm = ResLoadBitmap(idPicture);
  if (!hbm) return nullptr;
  BITMAP bm;
  ::GetObjectW(hbm, sizeof bm, &bm);
  int cx = cxImage, cy = bm.bmHeight;
  if (g_nScaleX != 1 || g_nScaleY != 1) {
    // Stretch the strip by the screen's scale factors first.
    HDC hdcScreen = ::GetDC(nullptr);
    HDC hdcSrc = ::CreateCompatibleDC(hdcScreen), hdcDst = ::CreateCompatibleDC(hdcScreen);
    HBITMAP hbmBig = ::CreateCompatibleBitmap(hdcScreen, bm.bmWidth * g_nScaleX, bm.bmHeight * g_nScaleY);
    HGDIOBJ hOldSrc = ::SelectObject(hdcSrc, hbm), hOldDst = ::SelectObject(hdcDst, hbmBig);
    ::SetStretchBltMode(hdcDst, HALFTONE);
    ::StretchBlt(hdcDst, 0, 0, bm.bmWidth * g_nScaleX, bm.bmHeight * g_nScaleY, hdcSrc, 0, 0, bm.bmWidth,
                 bm.bmHeight, SRCCOPY);
    ::SelectObject(hdcSrc, hOldSrc);
    ::SelectObject(hdcDst, hOldDst);
    ::DeleteDC(hdcSrc);
    ::DeleteDC(hdcDst);
    ::ReleaseDC(nullptr, hdcScreen);
    ::DeleteObject(hbm);
    hbm = hbmBig;
    cx = cxImage * g_nScaleX;
    cy = bm.bmHeight * g_nScaleY;
  }
  HIMAGELIST hil = ImageList_Create(cx, cy, ILC_COLOR24 | ILC_MASK, 0, 8);
  if (hil) ImageList_AddMasked(hil, hbm, crMask);
  ::DeleteObject(hbm);
  return hil;
}
