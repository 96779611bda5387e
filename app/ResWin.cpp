#include "app/ResWin.h"

#include <ole2.h>
#include <olectl.h>

#include <cstdint>
#include <cstring>

#include "app/GdiScope.h"
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
int WidenButtonRows(HWND hParent, int cxParent, bool fMayStack);

INT_PTR CALLBACK FittingDialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  auto pfn = reinterpret_cast<DLGPROC>(::GetPropW(hDlg, c_szDialogProc));
  if (!pfn) {
    if (!s_pfnPending) return FALSE;
    pfn = s_pfnPending;
    s_pfnPending = nullptr;
    ::SetPropW(hDlg, c_szDialogProc, reinterpret_cast<HANDLE>(pfn));
  }
  if (uMsg == WM_INITDIALOG) FitDialogToScreen(hDlg);
  if (PageScrollMessage(hDlg, uMsg, wParam, lParam)) return TRUE;  // a dialog laid out to scroll
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
    if (cxNew < cx) WidenButtonRows(hDlg, cxClientNew, false);
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
    HBITMAP hbmBig = nullptr;
    {
      CWindowDc hdcScreen(nullptr);
      CMemoryDc hdcSrc(hdcScreen), hdcDst(hdcScreen);
      hbmBig = ::CreateCompatibleBitmap(hdcScreen, bm.bmWidth * g_nScaleX, bm.bmHeight * g_nScaleY);
      CSelected src(hdcSrc, hbm), dst(hdcDst, hbmBig);
      ::SetStretchBltMode(hdcDst, HALFTONE);
      ::StretchBlt(hdcDst, 0, 0, bm.bmWidth * g_nScaleX, bm.bmHeight * g_nScaleY, hdcSrc, 0, 0, bm.bmWidth,
                   bm.bmHeight, SRCCOPY);
    }
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

// --- Property sheets that fit the screen -------------------------------------
// A sheet is laid out around its largest page. On a small screen the sheet
// shrinks to the work area; its pages then lose width (their controls shrink
// in proportion, as in a fitted dialog) and height (the page scrolls, its
// controls keeping the height their font needs).

namespace {

// The page's scroll state, kept as window properties: the height of its
// content and the current offset. Test tools read them to tell a control
// reachable by scrolling from one that is lost.
const wchar_t c_szContentHeight[] = L"VelmoContentHeight";
const wchar_t c_szScrollPos[] = L"VelmoScrollPos";
const wchar_t c_szPageFitted[] = L"VelmoPageFitted";

bool IsClass(HWND h, const wchar_t* pszClass) {
  wchar_t sz[32];
  return ::GetClassNameW(h, sz, 32) && ::lstrcmpiW(sz, pszClass) == 0;
}

RECT ChildRect(HWND hParent, HWND h) {
  RECT rc;
  ::GetWindowRect(h, &rc);
  ::MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

// The height to give SetWindowPos for a child: a combo box's is its dropped
// list's, so the closed box keeps the height its font gives it.
int PlacedHeight(HWND h, const RECT& rc) {
  if (IsClass(h, L"ComboBox")) {
    RECT rcDropped = {0, 0, 0, 0};
    ::SendMessageW(h, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rcDropped));
    if (rcDropped.bottom > rcDropped.top) return int(rcDropped.bottom - rcDropped.top);
  }
  return int(rc.bottom - rc.top);
}

int PageLine(HWND hPage) {
  RECT rc = {0, 0, 0, 10};  // a row of a page, in dialog units
  ::MapDialogRect(hPage, &rc);
  return rc.bottom > 0 ? int(rc.bottom) : 16;
}

void ScrollPageTo(HWND hPage, int nPos) {
  const int cyContent = int(reinterpret_cast<INT_PTR>(::GetPropW(hPage, c_szContentHeight)));
  const int nOld = int(reinterpret_cast<INT_PTR>(::GetPropW(hPage, c_szScrollPos)));
  RECT rcClient;
  ::GetClientRect(hPage, &rcClient);
  const int nMax = cyContent - rcClient.bottom;
  if (nPos > nMax) nPos = nMax;
  if (nPos < 0) nPos = 0;
  if (nPos == nOld) return;
  ::SetPropW(hPage, c_szScrollPos, reinterpret_cast<HANDLE>(INT_PTR(nPos)));
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = SIF_POS;
  si.nPos = nPos;
  ::SetScrollInfo(hPage, SB_VERT, &si, TRUE);
  ::ScrollWindowEx(hPage, 0, nOld - nPos, nullptr, nullptr, nullptr, nullptr,
                   SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
}

// A window whose content is taller than its client area gets a vertical
// scroll bar over the content's height (PageScrollMessage moves it).
void MakeScrolling(HWND hWnd, int cyContent) {
  ::SetPropW(hWnd, c_szContentHeight, reinterpret_cast<HANDLE>(INT_PTR(cyContent)));
  ::SetPropW(hWnd, c_szScrollPos, reinterpret_cast<HANDLE>(INT_PTR(0)));
  ::ShowScrollBar(hWnd, SB_VERT, TRUE);
  RECT rcClient;
  ::GetClientRect(hWnd, &rcClient);
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMax = cyContent - 1;
  si.nPage = UINT(rcClient.bottom);
  ::SetScrollInfo(hWnd, SB_VERT, &si, TRUE);
}

bool IsPushButton(HWND h) {
  if (!IsClass(h, L"Button") || !(::GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE)) return false;
  const LONG_PTR nType = ::GetWindowLongPtrW(h, GWL_STYLE) & BS_TYPEMASK;
  return nType == BS_PUSHBUTTON || nType == BS_DEFPUSHBUTTON;
}

// A control's text measured in its font: on one line, its widest word, and
// wrapped in a width.
struct TextSize {
  int cxLine, cxWord, cyWrapped;
};

TextSize MeasureText(HWND h, HDC hdc, int cxWrap) {
  TextSize size = {0, 0, 0};
  wchar_t sz[256];
  if (!::GetWindowTextW(h, sz, 256)) return size;
  CSelected font(hdc, reinterpret_cast<HFONT>(::SendMessageW(h, WM_GETFONT, 0, 0)));
  RECT rc = {0, 0, 0, 0};
  ::DrawTextW(hdc, sz, -1, &rc, DT_CALCRECT | DT_SINGLELINE);
  size.cxLine = int(rc.right);
  for (const wchar_t* p = sz; *p;) {
    const wchar_t* pEnd = p;
    while (*pEnd && *pEnd != L' ') ++pEnd;
    RECT rcWord = {0, 0, 0, 0};
    if (pEnd > p) ::DrawTextW(hdc, p, int(pEnd - p), &rcWord, DT_CALCRECT | DT_SINGLELINE);
    if (rcWord.right > size.cxWord) size.cxWord = int(rcWord.right);
    p = *pEnd ? pEnd + 1 : pEnd;
  }
  RECT rcWrap = {0, 0, cxWrap > 1 ? cxWrap : 1, 0};
  ::DrawTextW(hdc, sz, -1, &rcWrap, DT_CALCRECT | DT_WORDBREAK);
  size.cyWrapped = int(rcWrap.bottom);
  return size;
}

// Puts the buttons of a row (aRow, left to right) one under the other, each
// as wide as its longest word needs (anWidth) within the window's width less
// its margins, and moves what lay below the row down. Returns the height added.
int StackButtonRow(HWND hParent, const HWND* ahButtons, const int* aRow, int cRow, const RECT* arc,
                   const int* anWidth, int cxParent, int xMargin) {
  const RECT& rcFirst = arc[aRow[0]];
  const int cyButton = int(rcFirst.bottom - rcFirst.top);
  const int cyGap = cyButton / 4 > 2 ? cyButton / 4 : 2;
  const int cxMost = cxParent - 2 * xMargin;
  int yBottom = int(rcFirst.bottom);
  for (int k = 0; k < cRow; ++k) yBottom = int(arc[aRow[k]].bottom) > yBottom ? int(arc[aRow[k]].bottom) : yBottom;
  const int cyAdded = (cRow - 1) * (cyButton + cyGap);
  // What lies below the row moves down first (the row's own buttons stay).
  for (HWND h = ::GetWindow(hParent, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
    const RECT rc = ChildRect(hParent, h);
    if (rc.top >= yBottom)
      ::SetWindowPos(h, nullptr, rc.left, rc.top + cyAdded, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  int y = int(rcFirst.top);
  for (int k = 0; k < cRow; ++k) {
    int cx = anWidth[k] < cxMost ? anWidth[k] : cxMost;
    if (cx < 1) cx = 1;
    int x = int(arc[aRow[0]].left);
    if (x + cx > cxParent - xMargin) x = cxParent - xMargin - cx;
    if (x < 0) x = 0;
    ::SetWindowPos(ahButtons[aRow[k]], nullptr, x, y, cx, cyButton, SWP_NOZORDER | SWP_NOACTIVATE);
    y += cyButton + cyGap;
  }
  return cyAdded;
}

// Push buttons side by side whose texts no longer fit (the dialog shrunk)
// widen within the window's cxParent: the row keeps its gaps and its left edge, or
// moves left to keep its right margin. A row too wide for its whole texts
// is given the width of their longest words (the texts then wrap); a row too
// wide even so is stacked when fMayStack (a scrolling page has the room),
// one button under the other, and what lies below it moves down. Returns the
// height added.
int WidenButtonRows(HWND hParent, int cxParent, bool fMayStack) {
  HWND ahButtons[16];
  RECT arc[16];
  int cButtons = 0;
  for (HWND h = ::GetWindow(hParent, GW_CHILD); h && cButtons < 16; h = ::GetWindow(h, GW_HWNDNEXT))
    if (IsPushButton(h)) {
      ahButtons[cButtons] = h;
      arc[cButtons++] = ChildRect(hParent, h);
    }
  RECT rcClient;
  ::GetClientRect(hParent, &rcClient);
  rcClient.right = cxParent;
  const int cxFrame = 2 * (::GetSystemMetrics(SM_CXEDGE) + 1) + 4;
  CWindowDc hdc(hParent);
  bool afDone[16] = {};
  bool fStack = false;
  int cyAdded = 0;
  for (int i = 0; i < cButtons; ++i) {
    if (afDone[i]) continue;
    // The row: the buttons at this one's height, left to right.
    int aRow[16], cRow = 0;
    for (int j = i; j < cButtons; ++j)
      if (!afDone[j] && arc[j].top == arc[i].top) {
        afDone[j] = true;
        int k = cRow++;
        while (k > 0 && arc[aRow[k - 1]].left > arc[j].left) {
          aRow[k] = aRow[k - 1];
          --k;
        }
        aRow[k] = j;
      }
    const int xLeft = arc[aRow[0]].left, xRight = arc[aRow[cRow - 1]].right;
    const int xMargin = rcClient.right - xRight > 0 ? int(rcClient.right - xRight) : 0;
    int anWidth[16], cxRow = xRight - xLeft;
    bool fWider = false;
    for (int nTry = 0; nTry < 2; ++nTry) {
      fWider = false;
      cxRow = xRight - xLeft;
      for (int k = 0; k < cRow; ++k) {
        const TextSize size = MeasureText(ahButtons[aRow[k]], hdc, 1);
        const int cxWidth = int(arc[aRow[k]].right - arc[aRow[k]].left);
        const int cxNeed = (nTry == 0 ? size.cxLine : size.cxWord) + cxFrame;
        anWidth[k] = cxNeed > cxWidth ? cxNeed : cxWidth;
        if (anWidth[k] > cxWidth) fWider = true;
        cxRow += anWidth[k] - cxWidth;
      }
      if (!fWider || cxRow <= rcClient.right - 2 * (xLeft < xMargin ? xLeft : xMargin)) break;
      fWider = false;  // too wide even so
      if (nTry == 1 && cRow > 1 && fMayStack) fStack = true;
    }
    if (fStack) {
      cyAdded += StackButtonRow(hParent, ahButtons, aRow, cRow, arc, anWidth, int(rcClient.right),
                                xLeft < xMargin ? xLeft : xMargin);
      fStack = false;
      for (int j = 0; j < cButtons; ++j) arc[j] = ChildRect(hParent, ahButtons[j]);
      continue;
    }
    if (!fWider) continue;
    int x = xLeft;
    if (x + cxRow > rcClient.right - xMargin) x = int(rcClient.right) - xMargin - cxRow;
    if (x < 0) x = 0;
    for (int k = 0; k < cRow; ++k) {
      const RECT& rc = arc[aRow[k]];
      ::SetWindowPos(ahButtons[aRow[k]], nullptr, x, rc.top, anWidth[k], rc.bottom - rc.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      x += anWidth[k] + (k + 1 < cRow ? int(arc[aRow[k + 1]].left - rc.right) : 0);
    }
  }
  return cyAdded;
}

// The page's controls shrunk in width from cxFrom to cxTo; returns cxTo.
int ScaleChildWidths(HWND hPage, int cxFrom, int cxTo) {
  if (cxTo <= 0 || cxFrom <= cxTo) return cxFrom;
  for (HWND h = ::GetWindow(hPage, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
    const RECT rc = ChildRect(hPage, h);
    const int x = ScaleCoord(rc.left, cxTo, cxFrom);
    const int xEnd = ScaleCoord(rc.right, cxTo, cxFrom);
    ::SetWindowPos(h, nullptr, x, rc.top, xEnd - x, PlacedHeight(h, rc), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return cxTo;
}

// The room a control gives its text: a check box's or radio button's text
// starts after its box, a push button's keeps clear of its frame.
int TextRoom(HWND h, HDC hdc, const RECT& rcClient) {
  if (!IsClass(h, L"Button")) return int(rcClient.right);
  const LONG_PTR nType = ::GetWindowLongPtrW(h, GWL_STYLE) & BS_TYPEMASK;
  if (nType == BS_PUSHBUTTON || nType == BS_DEFPUSHBUTTON)
    return int(rcClient.right) - 2 * (::GetSystemMetrics(SM_CXEDGE) + 1);
  TEXTMETRICW tm;
  ::GetTextMetricsW(hdc, &tm);
  return int(rcClient.right) - ::GetSystemMetrics(SM_CXMENUCHECK) - int(tm.tmAveCharWidth) / 2;
}

// Texts of check boxes, radio buttons, push buttons and static texts that
// no longer fit their narrowed controls wrap onto more lines: the control
// grows and what lies below it moves down. Returns the height added. The
// page is cxPage wide.
int WrapTexts(HWND hPage, int cxPage) {
  int cyAdded = 0;
  RECT rcPage;
  ::GetClientRect(hPage, &rcPage);
  rcPage.right = cxPage;  // (less the scroll bar the page is about to show)
  int xMargin = rcPage.right, yMargin = INT32_MAX;
  for (HWND h = ::GetWindow(hPage, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
    const RECT rc = ChildRect(hPage, h);
    if (rc.left >= 0 && rc.left < xMargin) xMargin = int(rc.left);
    if (rc.top >= 0 && rc.top < yMargin) yMargin = int(rc.top);
  }
  if (yMargin == INT32_MAX) yMargin = 0;
  CWindowDc hdc(hPage);
  for (HWND h = ::GetWindow(hPage, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
    const bool fButton = IsClass(h, L"Button");
    if (!fButton && !IsClass(h, L"Static")) continue;
    const LONG_PTR nStyle = ::GetWindowLongPtrW(h, GWL_STYLE);
    if (fButton) {
      const LONG_PTR nType = nStyle & BS_TYPEMASK;
      if (nType == BS_GROUPBOX || nType == BS_OWNERDRAW || (nStyle & (BS_BITMAP | BS_ICON))) continue;
    } else if ((nStyle & SS_TYPEMASK) > SS_RIGHT) {
      continue;  // pictures, frames, simple and owner-drawn statics
    }
    wchar_t sz[512];
    if (!::GetWindowTextW(h, sz, 512)) continue;
    RECT rcClient;
    ::GetClientRect(h, &rcClient);
    if (MeasureText(h, hdc, 1).cxWord > TextRoom(h, hdc, rcClient)) {
      // A word longer than the line: the control reaches to the page's
      // right margin when nothing stands beside it (to its very edge if the
      // word needs that too).
      const RECT rc = ChildRect(hPage, h);
      int xEnd = int(rcPage.right) - xMargin;
      RECT rcWide = {0, 0, xEnd - rc.left, rcClient.bottom};
      if (MeasureText(h, hdc, 1).cxWord > TextRoom(h, hdc, rcWide)) xEnd = int(rcPage.right);
      bool fFree = xEnd > rc.right;
      for (HWND hOther = ::GetWindow(hPage, GW_CHILD); hOther && fFree; hOther = ::GetWindow(hOther, GW_HWNDNEXT)) {
        const RECT rcOther = ChildRect(hPage, hOther);
        if (hOther != h && rcOther.left >= rc.right && rcOther.top < rc.bottom && rcOther.bottom > rc.top)
          fFree = false;
      }
      if (fFree) {
        ::SetWindowPos(h, nullptr, 0, 0, xEnd - rc.left, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::GetClientRect(h, &rcClient);
      }
    }
    RECT rcText = {0, 0, 0, 0};
    {
      CSelected font(hdc, reinterpret_cast<HFONT>(::SendMessageW(h, WM_GETFONT, 0, 0)));
      const int cxRoom = TextRoom(h, hdc, rcClient);
      rcText.right = cxRoom > 1 ? cxRoom : 1;
      ::DrawTextW(hdc, sz, -1, &rcText, DT_CALCRECT | DT_WORDBREAK | (fButton ? 0 : DT_NOPREFIX));
    }
    // A static text grows no taller than the page's view (less its
    // margins): a longer one keeps its last lines hidden rather than lie
    // beyond every view. A button's text is shown whole.
    int cyGrow = int(rcText.bottom - rcClient.bottom);
    RECT rcView;
    ::GetClientRect(hPage, &rcView);
    const int cyMost = int(rcView.bottom) - 2 * yMargin;
    if (!fButton && rcClient.bottom + cyGrow > cyMost) cyGrow = cyMost - int(rcClient.bottom);
    if (cyGrow <= 0) continue;
    if (fButton) ::SetWindowLongPtrW(h, GWL_STYLE, nStyle | BS_MULTILINE);
    const RECT rc = ChildRect(hPage, h);
    ::SetWindowPos(h, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top + cyGrow,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    for (HWND hBelow = ::GetWindow(hPage, GW_CHILD); hBelow; hBelow = ::GetWindow(hBelow, GW_HWNDNEXT)) {
      const RECT rcBelow = ChildRect(hPage, hBelow);
      if (hBelow != h && rcBelow.top >= rc.bottom)
        ::SetWindowPos(hBelow, nullptr, rcBelow.left, rcBelow.top + cyGrow, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    cyAdded += cyGrow;
  }
  return cyAdded;
}

}  // namespace

void FitPropertySheetToScreen(HWND hSheet) {
  RECT rcWork;
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0)) return;
  RECT rc;
  ::GetWindowRect(hSheet, &rc);
  const int cxWork = rcWork.right - rcWork.left, cyWork = rcWork.bottom - rcWork.top;
  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  const int cxNew = cx < cxWork ? cx : cxWork, cyNew = cy < cyWork ? cy : cyWork;
  const int dx = cx - cxNew, dy = cy - cyNew;
  HWND hTab = reinterpret_cast<HWND>(::SendMessageW(hSheet, PSM_GETTABCONTROL, 0, 0));
  if ((dx > 0 || dy > 0) && hTab) {
    // One row of tabs (scrolled by its arrows) leaves the page the most room.
    const LONG_PTR nStyle = ::GetWindowLongPtrW(hTab, GWL_STYLE);
    if (nStyle & TCS_MULTILINE) {
      ::SetWindowLongPtrW(hTab, GWL_STYLE, nStyle & ~LONG_PTR(TCS_MULTILINE));
      ::SetWindowPos(hTab, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    // The row's scroll arrows are as tall as a scroll bar is wide; at a high
    // DPI that is more than the tabs' text needs, and the arrows would stand
    // above the tab control. The tabs take the arrows' height.
    RECT rcItem = {0, 0, 0, 0};
    ::SendMessageW(hTab, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rcItem));
    const int cyArrows = ::GetSystemMetrics(SM_CYHSCROLL) + 2;
    if (rcItem.bottom - rcItem.top < cyArrows) ::SendMessageW(hTab, TCM_SETITEMSIZE, 0, MAKELPARAM(0, cyArrows));
    const RECT rcTab = ChildRect(hSheet, hTab);
    ::SetWindowPos(hTab, nullptr, 0, 0, rcTab.right - rcTab.left - dx, rcTab.bottom - rcTab.top - dy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rcClient;
    ::GetClientRect(hSheet, &rcClient);
    const int cxClientNew = rcClient.right - dx;
    const int nMargin = rcTab.left > 0 ? int(rcTab.left) : 0;
    // The buttons keep their place from the sheet's lower right corner.
    HWND ahButtons[8];
    RECT arcButtons[8];
    int cButtons = 0;
    for (HWND h = ::GetWindow(hSheet, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
      if (!IsClass(h, L"Button")) continue;
      RECT rcButton = ChildRect(hSheet, h);
      ::OffsetRect(&rcButton, -dx, -dy);
      ::SetWindowPos(h, nullptr, rcButton.left, rcButton.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      // (The sheet is not shown yet: the buttons' own style says which show.)
      if ((::GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE) && cButtons < 8) {
        ahButtons[cButtons] = h;
        arcButtons[cButtons++] = rcButton;
      }
    }
    // Visible buttons that now reach past the left edge share the row.
    int xLeft = cxClientNew, xRight = 0;
    for (int i = 0; i < cButtons; ++i) {
      if (arcButtons[i].left < xLeft) xLeft = arcButtons[i].left;
      if (arcButtons[i].right > xRight) xRight = arcButtons[i].right;
    }
    if (cButtons > 0 && xLeft < nMargin && xRight > xLeft) {
      const int cxRow = xRight - nMargin;
      for (int i = 0; i < cButtons; ++i) {
        const int x = nMargin + ScaleCoord(arcButtons[i].left - xLeft, cxRow, xRight - xLeft);
        const int xEnd = nMargin + ScaleCoord(arcButtons[i].right - xLeft, cxRow, xRight - xLeft);
        ::SetWindowPos(ahButtons[i], nullptr, x, arcButtons[i].top, xEnd - x, arcButtons[i].bottom - arcButtons[i].top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
      }
    }
    // Pages made already take the new display area.
    RECT rcPage;
    ::GetClientRect(hTab, &rcPage);
    ::SendMessageW(hTab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rcPage));
    ::MapWindowPoints(hTab, hSheet, reinterpret_cast<POINT*>(&rcPage), 2);
    for (HWND h = ::GetWindow(hSheet, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT))
      if (IsClass(h, L"#32770"))
        ::SetWindowPos(h, nullptr, rcPage.left, rcPage.top, rcPage.right - rcPage.left, rcPage.bottom - rcPage.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
  }
  int x = rc.left, y = rc.top;
  if (dx > 0) x = rcWork.left;
  if (dy > 0) y = rcWork.top;
  if (x + cxNew > rcWork.right) x = rcWork.right - cxNew;
  if (y + cyNew > rcWork.bottom) y = rcWork.bottom - cyNew;
  if (x < rcWork.left) x = rcWork.left;
  if (y < rcWork.top) y = rcWork.top;
  if (x != rc.left || y != rc.top || dx || dy)
    ::SetWindowPos(hSheet, nullptr, x, y, cxNew, cyNew, SWP_NOZORDER | SWP_NOACTIVATE);
}

void FitPageToSheet(HWND hPage) {
  if (::GetPropW(hPage, c_szPageFitted)) return;
  ::SetPropW(hPage, c_szPageFitted, reinterpret_cast<HANDLE>(1));
  // The content: the controls with the margin the template left above and
  // to the left of them, repeated below and to the right.
  int xMin = INT32_MAX, yMin = INT32_MAX, xMax = 0, yMax = 0;
  for (HWND h = ::GetWindow(hPage, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
    const RECT rc = ChildRect(hPage, h);
    if (rc.left < xMin) xMin = rc.left;
    if (rc.top < yMin) yMin = rc.top;
    if (rc.right > xMax) xMax = rc.right;
    if (rc.bottom > yMax) yMax = rc.bottom;
  }
  if (xMax == 0 || yMax == 0) return;
  RECT rcClient;
  ::GetClientRect(hPage, &rcClient);
  // A control taller than the page's view (a list) takes the view's height,
  // less the margins, and what lies below it moves up.
  const int cyMost = int(rcClient.bottom) - 2 * (yMin > 0 ? yMin : 0);
  for (HWND h = ::GetWindow(hPage, GW_CHILD); h && cyMost > 0; h = ::GetWindow(h, GW_HWNDNEXT)) {
    const RECT rc = ChildRect(hPage, h);
    const int cyCut = int(rc.bottom - rc.top) - cyMost;
    if (cyCut <= 0 || IsClass(h, L"ComboBox")) continue;
    ::SetWindowPos(h, nullptr, 0, 0, rc.right - rc.left, cyMost, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND hBelow = ::GetWindow(hPage, GW_CHILD); hBelow; hBelow = ::GetWindow(hBelow, GW_HWNDNEXT)) {
      const RECT rcBelow = ChildRect(hPage, hBelow);
      if (hBelow != h && rcBelow.top >= rc.bottom)
        ::SetWindowPos(hBelow, nullptr, rcBelow.left, rcBelow.top - cyCut, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    yMax -= cyCut;
  }
  const int cxContent = xMax + (xMin > 0 ? xMin : 0);
  int cyContent = yMax + (yMin > 0 ? yMin : 0);
  // The width first: less the scroll bar the page will need.
  const int cxBar = ::GetSystemMetrics(SM_CXVSCROLL);
  bool fScrolls = cyContent > rcClient.bottom;
  int cxNow = cxContent;
  if (cxContent > rcClient.right - (fScrolls ? cxBar : 0)) {
    cxNow = ScaleChildWidths(hPage, cxNow, rcClient.right - (fScrolls ? cxBar : 0));
    cyContent += WidenButtonRows(hPage, cxNow, true);
    cyContent += WrapTexts(hPage, cxNow);
    if (!fScrolls && cyContent > rcClient.bottom) {
      // The wrapped texts made the page scroll: its bar takes more width.
      fScrolls = true;
      cxNow = ScaleChildWidths(hPage, cxNow, rcClient.right - cxBar);
      cyContent += WidenButtonRows(hPage, cxNow, true);
      cyContent += WrapTexts(hPage, cxNow);
    }
  }
  if (fScrolls && rcClient.bottom > 0) {
    MakeScrolling(hPage, cyContent);
    ::GetClientRect(hPage, &rcClient);
    if (cxNow > rcClient.right) ScaleChildWidths(hPage, cxNow, rcClient.right);
  }
}

bool PageScrollMessage(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  // (A scroll bar control of the page sends WM_VSCROLL with its handle.)
  if (uMsg != WM_MOUSEWHEEL && (uMsg != WM_VSCROLL || lParam != 0)) return false;
  if (!::GetPropW(hPage, c_szContentHeight)) return false;
  const int nPos = int(reinterpret_cast<INT_PTR>(::GetPropW(hPage, c_szScrollPos)));
  RECT rcClient;
  ::GetClientRect(hPage, &rcClient);
  const int cyLine = PageLine(hPage);
  // A page's step keeps the height of the tallest control of the last view
  // in sight, so a control cut by the view's edge is seen whole after it.
  int cyKeep = 2 * cyLine;
  for (HWND h = ::GetWindow(hPage, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
    RECT rc;
    ::GetWindowRect(h, &rc);
    if (rc.bottom - rc.top + cyLine / 2 > cyKeep) cyKeep = int(rc.bottom - rc.top) + cyLine / 2;
  }
  const int cyStep = rcClient.bottom - cyKeep > cyLine ? rcClient.bottom - cyKeep : cyLine;
  if (uMsg == WM_MOUSEWHEEL) {
    const int nDelta = GET_WHEEL_DELTA_WPARAM(wParam);
    ScrollPageTo(hPage, nPos - nDelta * 3 * cyLine / WHEEL_DELTA);
    return true;
  }
  switch (LOWORD(wParam)) {
    case SB_LINEUP: ScrollPageTo(hPage, nPos - cyLine); break;
    case SB_LINEDOWN: ScrollPageTo(hPage, nPos + cyLine); break;
    case SB_PAGEUP: ScrollPageTo(hPage, nPos - cyStep); break;
    case SB_PAGEDOWN: {
      // The next view begins at the first control the view cuts at its
      // bottom edge (a little above it), so each control is seen whole.
      int nNext = INT32_MAX;
      for (HWND h = ::GetWindow(hPage, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        const RECT rc = ChildRect(hPage, h);
        if (rc.bottom > rcClient.bottom && rc.top + nPos - cyLine / 4 < nNext) nNext = int(rc.top) + nPos - cyLine / 4;
      }
      ScrollPageTo(hPage, nNext > nPos && nNext != INT32_MAX ? nNext : nPos + cyStep);
      break;
    }
    case SB_TOP: ScrollPageTo(hPage, 0); break;
    case SB_BOTTOM: ScrollPageTo(hPage, INT32_MAX / 2); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO si = {};
      si.cbSize = sizeof si;
      si.fMask = SIF_TRACKPOS;
      if (::GetScrollInfo(hPage, SB_VERT, &si)) ScrollPageTo(hPage, si.nTrackPos);
      break;
    }
    default: break;
  }
  return true;
}

void PutButtonsBelowList(HWND hDlg, HWND hList) {
  HWND ahButtons[16];
  int cButtons = 0;
  for (HWND h = ::GetWindow(hDlg, GW_CHILD); h && cButtons < 16; h = ::GetWindow(h, GW_HWNDNEXT))
    if (IsPushButton(h)) ahButtons[cButtons++] = h;
  if (!hList || cButtons == 0) return;
  // A push button's text keeps clear of its raised frame.
  const int cxFrame = 2 * (::GetSystemMetrics(SM_CXEDGE) + 1) + 4;
  const int cyFrame = 2 * (::GetSystemMetrics(SM_CYEDGE) + 1) + 4;
  CWindowDc hdc(hDlg);
  bool fClips = false;
  for (int i = 0; i < cButtons; ++i) {
    RECT rc;
    ::GetClientRect(ahButtons[i], &rc);
    if (MeasureText(ahButtons[i], hdc, 1).cxLine > rc.right - cxFrame + 4) fClips = true;
  }
  if (!fClips) return;
  const RECT rcList = ChildRect(hDlg, hList);
  const int xMargin = rcList.left > 2 ? int(rcList.left) : 2, yMargin = rcList.top > 2 ? int(rcList.top) : 2;
  const int cyGap = yMargin / 2 > 2 ? yMargin / 2 : 2;
  TEXTMETRICW tm;
  {
    CSelected font(hdc, reinterpret_cast<HFONT>(::SendMessageW(hList, WM_GETFONT, 0, 0)));
    ::GetTextMetricsW(hdc, &tm);
  }
  const int cyListLeast = 5 * int(tm.tmHeight);  // a header and a few rows
  int anHeight[16];
  for (int nPass = 0; nPass < 2; ++nPass) {
    RECT rcClient;
    ::GetClientRect(hDlg, &rcClient);
    int cColumns = 2;
    int cxColumn = (int(rcClient.right) - 3 * xMargin) / 2;
    for (int i = 0; i < cButtons; ++i)
      if (MeasureText(ahButtons[i], hdc, 1).cxWord > cxColumn - cxFrame) cColumns = 1;
    if (cColumns == 1) cxColumn = int(rcClient.right) - 2 * xMargin;
    int cyButtons = 0;
    for (int i = 0; i < cButtons; i += cColumns) {
      int cyRow = 0;
      for (int j = i; j < i + cColumns && j < cButtons; ++j) {
        RECT rc;
        ::GetClientRect(ahButtons[j], &rc);
        const int cy = MeasureText(ahButtons[j], hdc, cxColumn - cxFrame).cyWrapped + cyFrame;
        if (cy > cyRow) cyRow = cy;
        if (rc.bottom > cyRow) cyRow = int(rc.bottom);
      }
      for (int j = i; j < i + cColumns && j < cButtons; ++j) anHeight[j] = cyRow;
      cyButtons += cyRow + cyGap;
    }
    int cyList = int(rcClient.bottom) - 3 * yMargin - cyButtons + cyGap;
    if (cyList < cyListLeast && nPass == 0) {
      // Not even the list's least height remains: the dialog scrolls, and
      // its bar takes some of the width.
      MakeScrolling(hDlg, 3 * yMargin + cyButtons - cyGap + cyListLeast);
      continue;
    }
    if (cyList < cyListLeast) cyList = cyListLeast;
    ::SetWindowPos(hList, nullptr, xMargin, yMargin, int(rcClient.right) - 2 * xMargin, cyList,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    int y = 2 * yMargin + cyList;
    for (int i = 0; i < cButtons; ++i) {
      const int iColumn = i % cColumns;
      ::SetWindowLongPtrW(ahButtons[i], GWL_STYLE, ::GetWindowLongPtrW(ahButtons[i], GWL_STYLE) | BS_MULTILINE);
      ::SetWindowPos(ahButtons[i], nullptr, xMargin + iColumn * (cxColumn + xMargin), y, cxColumn, anHeight[i],
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
      if (iColumn == cColumns - 1 || i == cButtons - 1) y += anHeight[i] + cyGap;
    }
    if (::GetPropW(hDlg, c_szContentHeight)) MakeScrolling(hDlg, y - cyGap + yMargin);
    break;
  }
}
