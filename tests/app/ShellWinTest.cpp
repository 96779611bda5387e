// The shell's window machinery on the real Win32 API (run under Wine).
#include <gtest/gtest.h>

#include "app/Crash.h"
#include "app/Shell.h"
#include "gps/PositionHub.h"
#include "settings/Settings.h"

namespace {

int g_cFixHandled = 0;
CPositionHub* g_pHub = nullptr;
HWND g_hwndCounting = nullptr;

bool PostToCounting(uint32_t uMsg) { return PostMessageW(g_hwndCounting, uMsg, 0, 0) != FALSE; }

LRESULT CALLBACK CountingProc(HWND h, UINT uMsg, WPARAM w, LPARAM l) {
  if (uMsg == WM_GPS_FIX) {
    ++g_cFixHandled;
    g_pHub->Deliver(uMsg);
    return 0;
  }
  return DefWindowProcW(h, uMsg, w, l);
}

GpsFix FixAt(float lon, float lat) {
  GpsFix fix;
  fix.Start();
  fix.SetPosition(lon, lat);
  return fix;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

TEST(ShellWinTest, BurstOfNotificationsIsHandledOnce) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"velmo_test_counting";
  RegisterClassW(&wc);
  HWND h = CreateWindowW(L"velmo_test_counting", L"", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(h, nullptr);
  // A position hub posting to the window, as the program's does.
  CPositionHub hub;
  g_pHub = &hub;
  g_hwndCounting = h;
  hub.SetPoster(PostToCounting);
  for (int i = 0; i < 5; ++i) hub.OnFix(FixAt(10.0f + float(i), 50.0f));
  PumpMessages();
  EXPECT_EQ(g_cFixHandled, 1);
  hub.OnFix(FixAt(20.0f, 50.0f));
  PumpMessages();
  EXPECT_EQ(g_cFixHandled, 2);
  hub.SetPoster(nullptr);
  g_pHub = nullptr;
  DestroyWindow(h);
}

TEST(ShellWinTest, UnchangedSizeKeepsTheOffscreenSurface) {
  g_hInstance = GetModuleHandleW(nullptr);
  ASSERT_TRUE(RegisterMainWindowClass());
  HWND h = CreateWindowExW(0, L"velmo", L"VELMO", WS_OVERLAPPEDWINDOW, 0, 0, 248, 330, nullptr, nullptr,
                           g_hInstance, nullptr);
  ASSERT_NE(h, nullptr);
  SendMessageW(h, WM_SIZE, 0, 0);
  HBITMAP hbm = g_hbmOffscreen;
  ASSERT_NE(hbm, nullptr);
  int cx = g_cxOffscreen, cy = g_cyOffscreen;
  SendMessageW(h, WM_SIZE, 0, 0);
  EXPECT_EQ(g_hbmOffscreen, hbm);
  SetWindowPos(h, nullptr, 0, 0, 320, 240, SWP_NOZORDER | SWP_NOMOVE);
  EXPECT_NE(g_cxOffscreen, cx);
  EXPECT_NE(g_cyOffscreen, cy);
  RECT rc;
  GetClientRect(h, &rc);
  EXPECT_EQ(g_cxOffscreen, rc.right);
  EXPECT_EQ(g_cyOffscreen, rc.bottom);
  // Closing only asks for an exit: the window stays until the request runs.
  SendMessageW(h, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(h));
  DestroyWindow(h);
  g_hWnd = nullptr;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(ShellWinTest, CrashReportTexts) {
  EXCEPTION_RECORD rec = {};
  rec.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  rec.ExceptionAddress = reinterpret_cast<void*>(&PumpMessages);
  rec.NumberParameters = 2;
  rec.ExceptionInformation[0] = 1;
  rec.ExceptionInformation[1] = 0x1234;
  char16_t sz[1024];
  ASSERT_TRUE(FormatExceptionReport(&rec, sz, 1024));
  std::u16string text = sz;
  EXPECT_EQ(text.rfind(u"Instruction at [0x", 0), 0u);
  EXPECT_NE(text.find(u"\nwrites to \ninvalid address [0x00001234]. \nHandler: [0x"), std::u16string::npos);
  EXPECT_NE(text.find(u".exe \n(Build 28.15 full)"), std::u16string::npos);
  rec.ExceptionInformation[0] = 0;
  ASSERT_TRUE(FormatExceptionReport(&rec, sz, 1024));
  EXPECT_NE(std::u16string(sz).find(u"\nreads from \n"), std::u16string::npos);
  rec.ExceptionCode = EXCEPTION_INT_DIVIDE_BY_ZERO;
  rec.NumberParameters = 0;
  ASSERT_TRUE(FormatExceptionReport(&rec, sz, 1024));
  EXPECT_NE(std::u16string(sz).find(u"\ncaused divide by zero (integer). \n"), std::u16string::npos);
  rec.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
  ASSERT_TRUE(FormatExceptionReport(&rec, sz, 1024));
  EXPECT_NE(std::u16string(sz).find(u"caused stack overlow."), std::u16string::npos);
  rec.ExceptionCode = 0xE06D7363;  // a C++ exception: not reported here
  EXPECT_FALSE(FormatExceptionReport(&rec, sz, 1024));
  // An access violation without its two parameters is not one we describe.
  rec.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  rec.NumberParameters = 1;
  EXPECT_FALSE(FormatExceptionReport(&rec, sz, 1024));
}

}  // namespace
