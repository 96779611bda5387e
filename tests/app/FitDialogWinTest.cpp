// Dialogs fitted to the screen on the real dialog API (run under Wine): a
// dialog larger than the work area shrinks onto it with every control kept
// inside and in its place relative to the others; a dialog that fits keeps
// its size and only moves onto the screen.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/ResWin.h"

namespace {

// An in-memory dialog template (system font).
class CTemplate {
 public:
  CTemplate(short cx, short cy) {
    Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU);
    Dword(0);
    m_iCount = m_words.size();
    Word(0);  // item count
    Word(0);
    Word(0);
    Word(uint16_t(cx));
    Word(uint16_t(cy));
    Word(0);  // no menu
    Word(0);  // standard class
    Word(0);  // no title
  }
  void Add(const wchar_t* pszClass, DWORD dwStyle, short x, short y, short cx, short cy, WORD id) {
    if (m_words.size() % 2) Word(0);  // items start on a DWORD boundary
    Dword(WS_CHILD | WS_VISIBLE | dwStyle);
    Dword(0);
    Word(uint16_t(x));
    Word(uint16_t(y));
    Word(uint16_t(cx));
    Word(uint16_t(cy));
    Word(id);
    for (const wchar_t* p = pszClass; *p; ++p) Word(uint16_t(*p));
    Word(0);
    Word(0);  // no text
    Word(0);  // no creation data
    ++m_words[m_iCount];
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

 private:
  void Word(uint16_t w) { m_words.push_back(w); }
  void Dword(DWORD dw) {
    Word(uint16_t(dw & 0xFFFF));
    Word(uint16_t(dw >> 16));
  }
  std::vector<uint16_t> m_words;
  size_t m_iCount = 0;
};

INT_PTR CALLBACK FitOnInit(HWND hDlg, UINT uMsg, WPARAM, LPARAM) {
  if (uMsg == WM_INITDIALOG) {
    FitDialogToScreen(hDlg);
    return TRUE;
  }
  return FALSE;
}

RECT WorkArea() {
  RECT rc;
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rc, 0);
  return rc;
}

// A control's rectangle in its dialog's client coordinates.
RECT ChildRect(HWND hDlg, int id) {
  RECT rc;
  ::GetWindowRect(::GetDlgItem(hDlg, id), &rc);
  ::MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

void ExpectInside(const RECT& rc, const RECT& rcOuter, const char* pszWhat) {
  EXPECT_GE(rc.left, rcOuter.left) << pszWhat;
  EXPECT_GE(rc.top, rcOuter.top) << pszWhat;
  EXPECT_LE(rc.right, rcOuter.right) << pszWhat;
  EXPECT_LE(rc.bottom, rcOuter.bottom) << pszWhat;
}

enum { idTopLeft = 100, idBottomRight, idCombo, idWide };

TEST(FitDialogWinTest, DialogLargerThanTheScreenShrinksWithItsControlsInside) {
  CTemplate t(1500, 1200);
  t.Add(L"STATIC", SS_LEFT, 5, 5, 60, 10, idTopLeft);
  t.Add(L"BUTTON", BS_PUSHBUTTON, 1400, 1150, 95, 45, idBottomRight);
  t.Add(L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL, 700, 600, 100, 120, idCombo);
  t.Add(L"EDIT", WS_BORDER, 0, 300, 1500, 14, idWide);
  HWND hDlg = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), t.Get(), nullptr, FitOnInit, 0);
  ASSERT_NE(hDlg, nullptr);
  RECT rc, rcClient;
  ::GetWindowRect(hDlg, &rc);
  ::GetClientRect(hDlg, &rcClient);
  const RECT rcWork = WorkArea();
  ExpectInside(rc, rcWork, "dialog");
  // It shrank to the work area in both directions.
  EXPECT_EQ(rc.right - rc.left, rcWork.right - rcWork.left);
  EXPECT_EQ(rc.bottom - rc.top, rcWork.bottom - rcWork.top);
  for (int id : {idTopLeft, idBottomRight, idCombo, idWide}) ExpectInside(ChildRect(hDlg, id), rcClient, "control");
  // The controls keep their places relative to each other and to the edges.
  const RECT rcTopLeft = ChildRect(hDlg, idTopLeft), rcBottomRight = ChildRect(hDlg, idBottomRight);
  const RECT rcCombo = ChildRect(hDlg, idCombo), rcWide = ChildRect(hDlg, idWide);
  EXPECT_LT(rcTopLeft.right, rcCombo.left);
  EXPECT_LT(rcCombo.right, rcBottomRight.left);
  EXPECT_LT(rcTopLeft.bottom, rcWide.top);
  EXPECT_LT(rcWide.bottom, rcCombo.top);
  EXPECT_GT(rcBottomRight.right, rcClient.right * 9 / 10);
  EXPECT_GT(rcBottomRight.bottom, rcClient.bottom * 9 / 10);
  EXPECT_LE(rcWide.left, 1);
  EXPECT_GE(rcWide.right, rcClient.right - 1);
  // The closed combo box keeps a usable height and its list drops below it.
  RECT rcDropped = {0, 0, 0, 0};
  ::SendDlgItemMessageW(hDlg, idCombo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rcDropped));
  EXPECT_GT(rcDropped.bottom - rcDropped.top, 3 * (rcCombo.bottom - rcCombo.top));
  EXPECT_GE(rcCombo.bottom - rcCombo.top, 12);
  ::DestroyWindow(hDlg);
}

TEST(FitDialogWinTest, DialogThatFitsKeepsItsSizeAndComesOntoTheScreen) {
  CTemplate t(100, 60);
  t.Add(L"BUTTON", BS_PUSHBUTTON, 10, 10, 50, 14, idTopLeft);
  HWND hDlg = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), t.Get(), nullptr, nullptr, 0);
  ASSERT_NE(hDlg, nullptr);
  // Above and left of the screen.
  ::SetWindowPos(hDlg, nullptr, -400, -400, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT rcBefore, rcButtonBefore = ChildRect(hDlg, idTopLeft);
  ::GetWindowRect(hDlg, &rcBefore);
  ASSERT_LT(rcBefore.left, 0);
  FitDialogToScreen(hDlg);
  RECT rc, rcButton = ChildRect(hDlg, idTopLeft);
  ::GetWindowRect(hDlg, &rc);
  ExpectInside(rc, WorkArea(), "dialog");
  EXPECT_EQ(rc.right - rc.left, rcBefore.right - rcBefore.left);
  EXPECT_EQ(rc.bottom - rc.top, rcBefore.bottom - rcBefore.top);
  EXPECT_EQ(rcButton.left, rcButtonBefore.left);
  EXPECT_EQ(rcButton.right, rcButtonBefore.right);
  EXPECT_EQ(rcButton.bottom, rcButtonBefore.bottom);
  ::DestroyWindow(hDlg);
}

}  // namespace
