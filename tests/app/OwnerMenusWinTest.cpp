// Owner-drawn menus on the real menu API (run under Wine): the program's
// main menu keeps its bar and its items' states, measures each popup item
// to hold its text and key name, and draws text, check marks and the menu
// bitmaps in the menu colours.
#include <gtest/gtest.h>

#include "app/Commands.h"
#include "app/OwnerMenus.h"
#include "app/Shell.h"
#include "app/res/app_ids.h"

namespace {

HMENU LoadMainMenu() { return ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_MAIN)); }

UINT ItemType(HMENU hMenu, UINT id, ULONG_PTR* pData = nullptr) {
  MENUITEMINFOW mii = {};
  mii.cbSize = sizeof mii;
  mii.fMask = MIIM_FTYPE | MIIM_DATA;
  if (!::GetMenuItemInfoW(hMenu, id, FALSE, &mii)) return 0xFFFFFFFFu;
  if (pData) *pData = mii.dwItemData;
  return mii.fType;
}

// Pixels of a colour in a rectangle of a memory DC.
int Count(HDC hdc, const RECT& rc, COLORREF cr) {
  int n = 0;
  for (int y = rc.top; y < rc.bottom; ++y)
    for (int x = rc.left; x < rc.right; ++x) n += ::GetPixel(hdc, x, y) == cr;
  return n;
}

struct MemoryDc {
  MemoryDc(int cx, int cy) {
    HDC hdcScreen = ::GetDC(nullptr);
    hdc = ::CreateCompatibleDC(hdcScreen);
    hbm = ::CreateCompatibleBitmap(hdcScreen, cx, cy);
    ::ReleaseDC(nullptr, hdcScreen);
    hOld = ::SelectObject(hdc, hbm);
  }
  ~MemoryDc() {
    ::SelectObject(hdc, hOld);
    ::DeleteObject(hbm);
    ::DeleteDC(hdc);
  }
  HDC hdc;
  HBITMAP hbm;
  HGDIOBJ hOld;
};

// Measures and draws item id of the menu in the given state.
RECT DrawItem(HDC hdc, HMENU hPopup, UINT id, UINT nState) {
  ULONG_PTR dwData = 0;
  ItemType(hPopup, id, &dwData);
  MEASUREITEMSTRUCT mis = {};
  mis.CtlType = ODT_MENU;
  mis.itemID = id;
  mis.itemData = dwData;
  EXPECT_TRUE(OnMeasureMenuItem(&mis));
  DRAWITEMSTRUCT dis = {};
  dis.CtlType = ODT_MENU;
  dis.itemID = id;
  dis.itemAction = ODA_DRAWENTIRE;
  dis.itemState = nState;
  dis.hwndItem = reinterpret_cast<HWND>(hPopup);
  dis.hDC = hdc;
  dis.rcItem = {0, 0, LONG(mis.itemWidth), LONG(mis.itemHeight)};
  dis.itemData = dwData;
  EXPECT_TRUE(OnDrawMenuItem(&dis));
  return dis.rcItem;
}

}  // namespace

TEST(OwnerMenusWinTest, PopupItemsAreOwnerDrawnTheBarAndSeparatorsAreNot) {
  HMENU hMenu = LoadMainMenu();
  ASSERT_NE(hMenu, nullptr);
  MakeMenuOwnerDrawn(hMenu, true);
  HMENU hFile = ::GetSubMenu(hMenu, 0);
  HMENU hView = ::GetSubMenu(hMenu, 1);
  ASSERT_TRUE(hFile && hView);
  // The bar's own items keep the system's drawing.
  MENUITEMINFOW mii = {};
  mii.cbSize = sizeof mii;
  mii.fMask = MIIM_FTYPE;
  ASSERT_TRUE(::GetMenuItemInfoW(hMenu, 0, TRUE, &mii));
  EXPECT_FALSE(mii.fType & MFT_OWNERDRAW);
  EXPECT_TRUE(ItemType(hFile, cmdExit) & MFT_OWNERDRAW);
  EXPECT_TRUE(ItemType(hView, cmdZoomIn) & MFT_OWNERDRAW);
  mii.fMask = MIIM_FTYPE;
  ASSERT_TRUE(::GetMenuItemInfoW(hFile, 3, TRUE, &mii));  // the separator after "About map"
  EXPECT_TRUE(mii.fType & MFT_SEPARATOR);
  EXPECT_FALSE(mii.fType & MFT_OWNERDRAW);
  // States set later still apply.
  ::EnableMenuItem(hFile, cmdAboutMap, MF_BYCOMMAND | MF_GRAYED);
  EXPECT_TRUE(::GetMenuState(hFile, cmdAboutMap, MF_BYCOMMAND) & MF_GRAYED);
  // Made owner-drawn twice: nothing changes (context menus come and go).
  ULONG_PTR dwBefore = 0, dwAfter = 0;
  ItemType(hFile, cmdExit, &dwBefore);
  MakeMenuOwnerDrawn(hMenu, true);
  ItemType(hFile, cmdExit, &dwAfter);
  EXPECT_EQ(dwBefore, dwAfter);
  // Other owner-drawn things are not ours.
  MEASUREITEMSTRUCT mis = {};
  mis.CtlType = ODT_LISTBOX;
  EXPECT_FALSE(OnMeasureMenuItem(&mis));
  mis.CtlType = ODT_MENU;
  mis.itemData = 12345;
  EXPECT_FALSE(OnMeasureMenuItem(&mis));
  ::DestroyMenu(hMenu);
}

TEST(OwnerMenusWinTest, ItemsAreMeasuredAndDrawnWithTheirTextKeyCheckAndBitmap) {
  HMENU hMenu = LoadMainMenu();
  ASSERT_NE(hMenu, nullptr);
  MakeMenuOwnerDrawn(hMenu, true);
  HMENU hView = ::GetSubMenu(hMenu, 1);
  MemoryDc dc(600, 60);
  const RECT rcAll = {0, 0, 600, 60};
  // "Zoom in<tab>Up": wider than its text alone, drawn in the menu text colour.
  ::FillRect(dc.hdc, &rcAll, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  RECT rc = DrawItem(dc.hdc, hView, cmdZoomIn, 0);
  EXPECT_GT(rc.right, 80);
  EXPECT_GE(rc.bottom, 20);
  const COLORREF crMenu = ::GetSysColor(COLOR_MENU), crText = ::GetSysColor(COLOR_MENUTEXT);
  EXPECT_GT(Count(dc.hdc, rc, crText), 20);
  // The key name sits at the right end.
  RECT rcRight = rc;
  rcRight.left = rc.right - rc.right / 4;
  EXPECT_GT(Count(dc.hdc, rcRight, crText), 5);
  // Selected: the highlight colours; greyed: the grey text only.
  rc = DrawItem(dc.hdc, hView, cmdZoomIn, ODS_SELECTED);
  EXPECT_GT(Count(dc.hdc, rc, ::GetSysColor(COLOR_HIGHLIGHT)), (rc.right * rc.bottom) / 2);
  rc = DrawItem(dc.hdc, hView, cmdZoomIn, ODS_GRAYED);
  EXPECT_EQ(Count(dc.hdc, rc, crText), 0);
  EXPECT_GT(Count(dc.hdc, rc, ::GetSysColor(COLOR_GRAYTEXT)), 20);
  // A checked item without a bitmap: a mark in the picture column.
  const RECT rcPicture = {0, 0, ScaleX(22), rc.bottom};
  rc = DrawItem(dc.hdc, hView, cmdFullScreen, 0);
  EXPECT_EQ(Count(dc.hdc, rcPicture, crText), 0);
  rc = DrawItem(dc.hdc, hView, cmdFullScreen, ODS_CHECKED);
  EXPECT_GT(Count(dc.hdc, rcPicture, crText), 5);
  // The page items are a radio group: the current one has a round mark.
  ::CheckMenuRadioItem(hView, cmdPageFirst, c_cmdPageRadioLast, cmdPageFirst, MF_BYCOMMAND);
  rc = DrawItem(dc.hdc, hView, cmdPageFirst, ODS_CHECKED);
  const int cBullet = Count(dc.hdc, rcPicture, crText);
  EXPECT_GT(cBullet, 20);
  rc = DrawItem(dc.hdc, hView, cmdFullScreen, ODS_CHECKED);
  EXPECT_NE(Count(dc.hdc, rcPicture, crText), cBullet);  // a tick, not the round mark
  // The night mode item shows its menu bitmap in the column.
  HBITMAP hbm = ::CreateCompatibleBitmap(dc.hdc, 13, 13);
  {
    HDC hdcBm = ::CreateCompatibleDC(dc.hdc);
    HGDIOBJ hOld = ::SelectObject(hdcBm, hbm);
    RECT rcBm = {0, 0, 13, 13};
    HBRUSH hRed = ::CreateSolidBrush(RGB(255, 0, 0));
    ::FillRect(hdcBm, &rcBm, hRed);
    ::DeleteObject(hRed);
    ::SelectObject(hdcBm, hOld);
    ::DeleteDC(hdcBm);
  }
  ::SetMenuItemBitmaps(hView, cmdNightMode, MF_BYCOMMAND, hbm, hbm);
  rc = DrawItem(dc.hdc, hView, cmdNightMode, 0);
  EXPECT_GT(Count(dc.hdc, rcPicture, RGB(255, 0, 0)), 13 * 13 - 1);
  EXPECT_GT(Count(dc.hdc, rcPicture, crMenu), 0);
  ::DestroyMenu(hMenu);
  ::DeleteObject(hbm);
}
