// The shared progress window on the real dialog API (run under Wine): it
// disables its owner while shown and gives it back as it was, moves its bar,
// turns a press on Cancel and the program's quit into the cancel flag, and
// leaves the quit for the main loop.
#include <gtest/gtest.h>

#include <string>

#include "app/ProgressWindow.h"

#include <commctrl.h>

#include "app/res/options_ids.h"
#include "platform/win32/Win32.h"
#include "res/Res.h"

namespace {

struct Owner {
  Owner() {
    h = ::CreateWindowW(L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 200, 100, nullptr, nullptr,
                        ::GetModuleHandleW(nullptr), nullptr);
  }
  ~Owner() { ::DestroyWindow(h); }
  HWND h;
};

struct Found {
  HWND hOwner;
  HWND hDlg;
};

BOOL CALLBACK FindOwned(HWND h, LPARAM lParam) {
  auto* p = reinterpret_cast<Found*>(lParam);
  wchar_t szClass[16];
  ::GetClassNameW(h, szClass, 16);
  if (::lstrcmpW(szClass, L"#32770") == 0 && ::GetWindow(h, GW_OWNER) == p->hOwner) {
    p->hDlg = h;
    return FALSE;
  }
  return TRUE;
}

// The progress dialog shown over hOwner, if any.
HWND ProgressOver(HWND hOwner) {
  Found f = {hOwner, nullptr};
  ::EnumThreadWindows(::GetCurrentThreadId(), FindOwned, reinterpret_cast<LPARAM>(&f));
  return f.hDlg;
}

std::wstring Text(HWND h) {
  wchar_t sz[256] = L"";
  ::GetWindowTextW(h, sz, 256);
  return sz;
}

TEST(ProgressWindowWinTest, ShowsOverTheDisabledOwnerAndGivesItBack) {
  Owner owner;
  ASSERT_NE(owner.h, nullptr);
  CProgressWindow progress;
  progress.Open(owner.h, 2340, 1000);
  ASSERT_TRUE(progress.IsOpen());
  HWND hDlg = ProgressOver(owner.h);
  ASSERT_NE(hDlg, nullptr);
  EXPECT_TRUE(::IsWindowVisible(hDlg));
  EXPECT_FALSE(::IsWindowEnabled(owner.h));
  // The text is the title and the line above the bar.
  char16_t sz[128];
  LoadResString(2340, sz, 128);
  ASSERT_NE(sz[0], 0);
  EXPECT_EQ(Text(hDlg), std::wstring(W(sz)));
  EXPECT_EQ(Text(::GetDlgItem(hDlg, IDC_PROGRESS_TEXT)), std::wstring(W(sz)));
  HWND hBar = ::GetDlgItem(hDlg, IDC_PROGRESS_BAR);
  EXPECT_EQ(::SendMessageW(hBar, PBM_GETRANGE, FALSE, 0), 1000);
  progress.SetPos(640);
  EXPECT_EQ(::SendMessageW(hBar, PBM_GETPOS, 0, 0), 640);
  // A new text replaces both.
  progress.SetText(2341);
  LoadResString(2341, sz, 128);
  EXPECT_EQ(Text(hDlg), std::wstring(W(sz)));
  progress.Close();
  EXPECT_FALSE(progress.IsOpen());
  EXPECT_FALSE(::IsWindow(hDlg));
  EXPECT_TRUE(::IsWindowEnabled(owner.h));
  // Closing twice, or moving a closed window, changes nothing.
  progress.Close();
  progress.SetPos(5);
  EXPECT_TRUE(::IsWindowEnabled(owner.h));
}

TEST(ProgressWindowWinTest, OwnerDisabledBeforeStaysDisabled) {
  Owner owner;
  ::EnableWindow(owner.h, FALSE);
  {
    CProgressWindow progress;
    progress.Open(owner.h, 0, 100);
    ASSERT_TRUE(progress.IsOpen());
  }  // closed by its destructor
  EXPECT_EQ(ProgressOver(owner.h), nullptr);
  EXPECT_FALSE(::IsWindowEnabled(owner.h));
}

TEST(ProgressWindowWinTest, CancelButtonSetsTheFlagWhileTheBarMoves) {
  Owner owner;
  CProgressWindow progress;
  progress.Open(owner.h, 0, 100);
  HWND hDlg = ProgressOver(owner.h);
  ASSERT_NE(hDlg, nullptr);
  EXPECT_FALSE(progress.IsCancelled());
  HWND hCancel = ::GetDlgItem(hDlg, IDCANCEL);
  ::PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(hCancel));
  // The press is seen at the next step of the operation.
  EXPECT_FALSE(progress.IsCancelled());
  progress.SetPos(10);
  EXPECT_TRUE(progress.IsCancelled());
  EXPECT_TRUE(*progress.CancelFlag());
  EXPECT_FALSE(::IsWindowEnabled(hCancel));
  progress.Close();
  EXPECT_TRUE(progress.IsCancelled());  // the operation still reads it after the window went
  // Opening again starts uncancelled.
  progress.Open(owner.h, 0, 100);
  EXPECT_FALSE(progress.IsCancelled());
  progress.Close();
}

TEST(ProgressWindowWinTest, QuitCancelsAndIsLeftForTheMainLoop) {
  Owner owner;
  CProgressWindow progress;
  progress.Open(owner.h, 0, 100);
  ::PostQuitMessage(7);
  progress.SetPos(20);
  EXPECT_TRUE(progress.IsCancelled());
  progress.Close();
  MSG msg;
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_TRUE(::IsWindowEnabled(owner.h));
}

}  // namespace
