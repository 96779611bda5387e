// The About-map page and full-screen mode of the main window.
#include "app/CommandTable.h"
#include "app/Features.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/res/options_ids.h"
#include "map/MapDescription.h"
#include "map/MapParser.h"
#include "platform/Str.h"

using namespace platform;

namespace {

INT_PTR CALLBACK AboutMapProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG:
      ::SetDlgItemTextW(hDlg, IDC_ABOUT_MAP_TEXT, W(reinterpret_cast<const char16_t*>(lParam)));
      ::SetFocus(::GetDlgItem(hDlg, IDOK));  // the text is read, not edited
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// Full screen: the window loses its frame and menu bar and covers its
// monitor; leaving restores the style, the menu and the placement it had.
struct FullScreenState {
  bool fOn = false;
  LONG_PTR lStyle = 0;
  HMENU hMenu = nullptr;
  WINDOWPLACEMENT placement = {};
};
FullScreenState s_fullScreen;

void EnterFullScreen() {
  FullScreenState& s = s_fullScreen;
  s.placement.length = sizeof s.placement;
  if (!::GetWindowPlacement(g_hWnd, &s.placement)) return;
  MONITORINFO mi = {};
  mi.cbSize = sizeof mi;
  if (!::GetMonitorInfoW(::MonitorFromWindow(g_hWnd, MONITOR_DEFAULTTONEAREST), &mi)) return;
  s.lStyle = ::GetWindowLongPtrW(g_hWnd, GWL_STYLE);
  s.hMenu = ::GetMenu(g_hWnd);
  s.fOn = true;
  ::SetMenu(g_hWnd, nullptr);
  ::SetWindowLongPtrW(g_hWnd, GWL_STYLE, (s.lStyle & ~LONG_PTR(WS_OVERLAPPEDWINDOW)) | WS_POPUP);
  const RECT& rc = mi.rcMonitor;
  ::SetWindowPos(g_hWnd, HWND_TOP, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_FRAMECHANGED | SWP_SHOWWINDOW);
}

void LeaveFullScreen() {
  FullScreenState& s = s_fullScreen;
  s.fOn = false;
  ::SetWindowLongPtrW(g_hWnd, GWL_STYLE, s.lStyle);
  ::SetMenu(g_hWnd, s.hMenu);
  ::SetWindowPlacement(g_hWnd, &s.placement);
  ::SetWindowPos(g_hWnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

}  // namespace

void ShowAboutMapDialog(HWND hOwner) {
  std::u16string text = DescribeMap(g_pMapParser);
  ResDialogBox(IDD_ABOUT_MAP, hOwner, AboutMapProc, reinterpret_cast<LPARAM>(text.c_str()));
}

void OnAboutMapCommand(unsigned) {
  if (!IsMapOpen()) return;
  ShowAboutMapDialog(g_hWnd);
}

bool IsFullScreen() { return s_fullScreen.fOn; }

void ToggleFullScreen() {
  if (!g_hWnd) return;
  if (s_fullScreen.fOn) LeaveFullScreen();
  else EnterFullScreen();
  UpdateMenuState();
  Redraw();
}

void OnFullScreenCommand(unsigned) { ToggleFullScreen(); }

void RestoreWindowFrame() {
  // The menu bar goes back before the window is destroyed, so that it is
  // destroyed with it.
  if (s_fullScreen.fOn) LeaveFullScreen();
}
