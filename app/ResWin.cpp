#include "app/ResWin.h"

#include <ole2.h>
#include <olectl.h>

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

INT_PTR ResDialogBox(UINT idDialog, HWND hOwner, DLGPROC pfnProc, LPARAM lParam) {
  return ::DialogBoxParamW(ModuleWithDialog(idDialog), MAKEINTRESOURCEW(idDialog), hOwner, pfnProc, lParam);
}

HWND ResCreateDialog(UINT idDialog, HWND hOwner, DLGPROC pfnProc, LPARAM lParam) {
  return ::CreateDialogParamW(ModuleWithDialog(idDialog), MAKEINTRESOURCEW(idDialog), hOwner, pfnProc, lParam);
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
