// Owner-drawn menus: the items of the main menu's popups and of the
// context menus are drawn by the program, with a picture column (the
// item's menu bitmap, or a check mark), the text and the key name after a
// tab, in the system's menu colours and font, scaled by the screen's
// factors. The menu bar itself keeps the system's drawing.
#include "app/OwnerMenus.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "app/GdiScope.h"
#include "app/Shell.h"

namespace {

struct OwnerItem {
  std::wstring strText;  // before the tab
  std::wstring strKey;   // after it
};

// One record per distinct text: menus are loaded again and again (the
// context menus at every right click), their texts are few.
std::map<std::wstring, std::unique_ptr<OwnerItem>>& Items() {
  static std::map<std::wstring, std::unique_ptr<OwnerItem>> s_items;
  return s_items;
}

OwnerItem* ItemFor(const std::wstring& text) {
  auto& items = Items();
  auto it = items.find(text);
  if (it != items.end()) return it->second.get();
  auto pItem = std::make_unique<OwnerItem>();
  size_t iTab = text.find(L'\t');
  pItem->strText = text.substr(0, iTab);
  if (iTab != std::wstring::npos) pItem->strKey = text.substr(iTab + 1);
  OwnerItem* p = pItem.get();
  items.emplace(text, std::move(pItem));
  return p;
}

HFONT MenuFont() {
  static HFONT s_hFont = nullptr;
  if (!s_hFont) {
    NONCLIENTMETRICSW ncm = {};
    ncm.cbSize = sizeof ncm;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0))
      s_hFont = ::CreateFontIndirectW(&ncm.lfMenuFont);
    if (!s_hFont) s_hFont = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  }
  return s_hFont;
}

bool IsOurs(ULONG_PTR dwData) {
  for (const auto& entry : Items())
    if (reinterpret_cast<ULONG_PTR>(entry.second.get()) == dwData) return true;
  return false;
}

const int c_cxPicture = 22;  // the picture column, before scaling
const int c_cxGap = 16;      // between the text and the key name
const int c_cxRight = 10;    // after the key name (room for a popup's arrow)

// A check mark in the text's colour.
void DrawCheck(HDC hdc, const RECT& rc, COLORREF cr) {
  HPEN hPen = ::CreatePen(PS_SOLID, PickByDpi(2, 3), cr);
  {
    CSelected pen(hdc, hPen);
    const int cx = (rc.left + rc.right) / 2, cy = (rc.top + rc.bottom) / 2;
    ::MoveToEx(hdc, cx - ScaleX(4), cy, nullptr);
    ::LineTo(hdc, cx - ScaleX(1), cy + ScaleY(3));
    ::LineTo(hdc, cx + ScaleX(5), cy - ScaleY(4));
  }
  ::DeleteObject(hPen);
}

// The mark of a checked item of a radio group (the page items).
void DrawBullet(HDC hdc, const RECT& rc, COLORREF cr) {
  HBRUSH hBrush = ::CreateSolidBrush(cr);
  {
    CSelected brush(hdc, hBrush), pen(hdc, ::GetStockObject(NULL_PEN));
    const int cx = (rc.left + rc.right) / 2, cy = (rc.top + rc.bottom) / 2;
    ::Ellipse(hdc, cx - ScaleX(3), cy - ScaleY(3), cx + ScaleX(4), cy + ScaleY(4));
  }
  ::DeleteObject(hBrush);
}

bool IsRadioItem(HMENU hMenu, UINT id) {
  MENUITEMINFOW mii = {};
  mii.cbSize = sizeof mii;
  mii.fMask = MIIM_FTYPE;
  return ::GetMenuItemInfoW(hMenu, id, FALSE, &mii) && (mii.fType & MFT_RADIOCHECK);
}

// The item's menu bitmap (SetMenuItemBitmaps), centred in the column.
bool DrawItemBitmap(HDC hdc, HMENU hMenu, UINT id, bool fChecked, const RECT& rc) {
  MENUITEMINFOW mii = {};
  mii.cbSize = sizeof mii;
  mii.fMask = MIIM_CHECKMARKS;
  if (!::GetMenuItemInfoW(hMenu, id, FALSE, &mii)) return false;
  HBITMAP hbm = fChecked && mii.hbmpChecked ? mii.hbmpChecked : mii.hbmpUnchecked;
  if (!hbm) hbm = mii.hbmpChecked;
  if (!hbm) return false;
  BITMAP bm = {};
  if (!::GetObjectW(hbm, sizeof bm, &bm)) return false;
  CMemoryDc hdcMem(hdc);
  CSelected bitmap(hdcMem, hbm);
  const int cx = ScaleX(bm.bmWidth), cy = ScaleY(bm.bmHeight);
  const int x = (rc.left + rc.right - cx) / 2, y = (rc.top + rc.bottom - cy) / 2;
  ::StretchBlt(hdc, x, y, cx, cy, hdcMem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
  return true;
}

}  // namespace

void MakeMenuOwnerDrawn(HMENU hMenu, bool fMenuBar) {
  if (!hMenu) return;
  const int cItems = ::GetMenuItemCount(hMenu);
  for (int i = 0; i < cItems; ++i) {
    wchar_t szText[256] = L"";
    MENUITEMINFOW mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_STRING | MIIM_DATA;
    mii.dwTypeData = szText;
    mii.cch = 256;
    if (!::GetMenuItemInfoW(hMenu, UINT(i), TRUE, &mii)) continue;
    if (mii.hSubMenu) MakeMenuOwnerDrawn(mii.hSubMenu, false);
    // The bar keeps the system's look; separators and items already ours
    // stay as they are.
    if (fMenuBar || (mii.fType & (MFT_SEPARATOR | MFT_OWNERDRAW))) continue;
    MENUITEMINFOW set = {};
    set.cbSize = sizeof set;
    set.fMask = MIIM_FTYPE | MIIM_DATA;
    set.fType = mii.fType | MFT_OWNERDRAW;
    set.dwItemData = reinterpret_cast<ULONG_PTR>(ItemFor(szText));
    ::SetMenuItemInfoW(hMenu, UINT(i), TRUE, &set);
  }
}

bool OnMeasureMenuItem(MEASUREITEMSTRUCT* p) {
  if (!p || p->CtlType != ODT_MENU || !IsOurs(p->itemData)) return false;
  const OwnerItem* pItem = reinterpret_cast<const OwnerItem*>(p->itemData);
  SIZE sizeText = {0, 0}, sizeKey = {0, 0};
  {
    CWindowDc hdc(g_hWnd);
    CSelected font(hdc, MenuFont());
    ::GetTextExtentPoint32W(hdc, pItem->strText.c_str(), int(pItem->strText.size()), &sizeText);
    if (!pItem->strKey.empty())
      ::GetTextExtentPoint32W(hdc, pItem->strKey.c_str(), int(pItem->strKey.size()), &sizeKey);
  }
  p->itemWidth = UINT(ScaleX(c_cxPicture) + sizeText.cx + (sizeKey.cx ? ScaleX(c_cxGap) + sizeKey.cx : 0) +
                      ScaleX(c_cxRight));
  p->itemHeight = UINT(std::max<LONG>(sizeText.cy + ScaleY(6), ScaleY(20)));
  return true;
}

bool OnDrawMenuItem(const DRAWITEMSTRUCT* p) {
  if (!p || p->CtlType != ODT_MENU || !IsOurs(p->itemData)) return false;
  const OwnerItem* pItem = reinterpret_cast<const OwnerItem*>(p->itemData);
  HDC hdc = p->hDC;
  const bool fSelected = (p->itemState & ODS_SELECTED) != 0;
  const bool fGrayed = (p->itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
  const bool fChecked = (p->itemState & ODS_CHECKED) != 0;
  RECT rc = p->rcItem;
  ::FillRect(hdc, &rc, ::GetSysColorBrush(fSelected && !fGrayed ? COLOR_HIGHLIGHT : COLOR_MENU));
  const COLORREF crText = fGrayed ? ::GetSysColor(COLOR_GRAYTEXT)
                                  : ::GetSysColor(fSelected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
  RECT rcPicture = rc;
  rcPicture.right = rc.left + ScaleX(c_cxPicture);
  HMENU hMenu = reinterpret_cast<HMENU>(p->hwndItem);
  if (!DrawItemBitmap(hdc, hMenu, p->itemID, fChecked, rcPicture) && fChecked) {
    if (IsRadioItem(hMenu, p->itemID))
      DrawBullet(hdc, rcPicture, crText);
    else
      DrawCheck(hdc, rcPicture, crText);
  }
  const int nOldMode = ::SetBkMode(hdc, TRANSPARENT);
  const COLORREF crOld = ::SetTextColor(hdc, crText);
  {
    CSelected font(hdc, MenuFont());
    RECT rcText = rc;
    rcText.left = rcPicture.right;
    rcText.right -= ScaleX(c_cxRight);
    ::DrawTextW(hdc, pItem->strText.c_str(), int(pItem->strText.size()), &rcText,
                DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    if (!pItem->strKey.empty())
      ::DrawTextW(hdc, pItem->strKey.c_str(), int(pItem->strKey.size()), &rcText,
                  DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
  }
  ::SetTextColor(hdc, crOld);
  ::SetBkMode(hdc, nOldMode);
  return true;
}
