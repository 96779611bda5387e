// The main window: its class, the window procedure, timers, commands,
// pages and the menu state.
#include <atomic>

#include "app/CommandTable.h"
#include "app/Crash.h"
#include "app/Features.h"
#include "app/MapDialogs.h"
#include "app/ResWin.h"
#include "app/StoreDialogs.h"
#include "app/Waypoints.h"
#include "app/Shell.h"
#include "app/OwnerMenus.h"
#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "platform/Debug.h"
#include "platform/Str.h"

using namespace platform;

HWND g_hWnd = nullptr;
int g_cxClient = 0, g_cyClient = 0;
HDC g_hdcOffscreen = nullptr;
HBITMAP g_hbmOffscreen = nullptr;
int g_cxOffscreen = 0, g_cyOffscreen = 0;
Page* g_apPages[4] = {};
unsigned g_iPage = 0;

const UINT_PTR c_idTimerPeriodic = 12;
// No view of this program shows temporary highlights on the map (the find
// dialogs move the map to what they found), so timer 16 that would clear
// them is never set; the map page's highlight overlay stays unused.
const UINT_PTR c_idTimerSpare = 18;

Page* CurrentPage() { return g_apPages[g_iPage]; }

void Redraw() {
  ASSERT(g_hWnd);
  ::InvalidateRect(g_hWnd, nullptr, FALSE);
  ::UpdateWindow(g_hWnd);
  ::KillTimer(g_hWnd, c_idTimerPeriodic);
  ::SetTimer(g_hWnd, c_idTimerPeriodic, 2000, nullptr);
}

void RefreshAllPages(bool fFull) {
  for (Page* p : g_apPages)
    if (p) p->RefreshMap(fFull);
}

void SelectPage(unsigned iPage) {
  if (iPage >= c_cPages) return;
  CurrentPage()->Deactivate();
  g_iPage = iPage;
  CurrentPage()->Activate();
  HMENU hMenu = ::GetMenu(g_hWnd);
  if (hMenu) ::CheckMenuRadioItem(hMenu, cmdPageFirst, c_cmdPageRadioLast, cmdPageFirst + iPage, MF_BYCOMMAND);
  UpdateMenuState();
  SetDword(setting::Page.pszName, iPage);
  Redraw();
}

void SwitchToMapPage() {
  for (unsigned i = 0; i < c_cPages; ++i) {
    if (g_apPages[i] && g_apPages[i]->IsMapPage()) {
      if (i != g_iPage) SelectPage(i);
      return;
    }
  }
}

static void StepPage(int nDelta) {
  for (unsigned n = 1; n < c_cPages; ++n) {
    unsigned i = (g_iPage + c_cPages + unsigned(nDelta) * n) % c_cPages;
    if (g_apPages[i]->IsAvailable()) {
      SelectPage(i);
      return;
    }
  }
}

void UpdateMenuState() {
  HMENU hMenu = ::GetMenu(g_hWnd);
  if (!hMenu) return;
  SetNightModeMenuBitmap(hMenu);
  ApplyCommandRules(hMenu, CurrentMenuState(false));
  ::DrawMenuBar(g_hWnd);
}

void CycleNightMode() {
  DWORD dwMode = GetSetting(setting::NightMode);
  switch (dwMode) {
    case 1: dwMode = 2; break;
    case 2: dwMode = 3; break;
    case 3: dwMode = 1; break;
    default: dwMode = 3; break;
  }
  SetDword(setting::NightMode.pszName, dwMode);
  ApplyNightMode();
  RefreshAllPages(true);
  UpdateMenuState();
}

void OnConnectGpsCommand() {
  bool fOn = !GetSettingBool(setting::ScanCOMPorts);
  SetBool(setting::ScanCOMPorts.pszName, fOn);
  if (fOn) StartPorts();
  else StopPorts();
  UpdateMenuState();
  // The position marker shows only while the ports are open.
  Redraw();
}

void OnRecordTrackCommand() {
  bool fOn = !GetSettingBool(setting::RecordTrack);
  SetBool(setting::RecordTrack.pszName, fOn);
  if (fOn) StartTrackRecording();
  else StopTrackRecording();
  UpdateMenuState();
}

void RequestExit(bool fRestart) {
  if (IsDrawingPassRunning()) {
    StopDrawingPass();
    ::PostMessageW(g_hWnd, WM_EXIT_REQUEST, fRestart ? 1 : 0, 0);
    return;
  }
  SetBool(setting::SafeExit.pszName, true);
  RestoreWindowFrame();
  ::DestroyWindow(g_hWnd);
  if (fRestart) {
    wchar_t szPath[MAX_PATH];
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    wchar_t szCmd[MAX_PATH + 16];
    ::wsprintfW(szCmd, L"\"%s\" /Start", szPath);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi = {};
    if (::CreateProcessW(szPath, szCmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ::CloseHandle(pi.hThread);
      ::CloseHandle(pi.hProcess);
    }
  }
}

void OnOpenMapCommand(unsigned) {
  std::u16string path;
  DWORD dwFilter = GetSetting(setting::MapFormat);
  if (!ChooseMapFile(path, dwFilter)) return;
  SetDword(setting::MapFormat.pszName, dwFilter);
  HCURSOR hOld = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  OpenMapFromPath(path.c_str(), false);
  RefreshAllPages(true);
  ::SetCursor(hOld);
  SwitchToMapPage();
}

void OnZoomInCommand(unsigned) { CurrentPage()->ZoomIn(); }
void OnZoomOutCommand(unsigned) { CurrentPage()->ZoomOut(); }
void OnAboutCommand(unsigned) { ShowAboutDialog(); }
void OnExitCommand(unsigned) { ::PostMessageW(g_hWnd, WM_EXIT_REQUEST, 0, 0); }
void OnOptionsCommand(unsigned) { ShowOptionsDialog(); }
void OnSaveWaypointCommand(unsigned) {
  double dLon = 0, dLat = 0;
  if (GetMapCentreDegrees(dLon, dLat) && NewWaypointAt(dLon, dLat)) RefreshAllPages(true);
}
void OnWaypointsCommand(unsigned) { ShowWaypointListDialog(g_hWnd); }
void OnRoutesCommand(unsigned) { ShowRouteListDialog(g_hWnd); }
void OnConnectGpsMenuCommand(unsigned) { OnConnectGpsCommand(); }
void OnRecordTrackMenuCommand(unsigned) { OnRecordTrackCommand(); }
void OnNightModeCommand(unsigned) { CycleNightMode(); }
void OnOpenAtlasCommand(unsigned) {
  ShowMapCollectionsDialog(g_hWnd);
  SwitchToMapPage();
}
void OnPageCommand(unsigned id) { SelectPage(id - cmdPageFirst); }
void OnCommandNotInBuild(unsigned) {}
// Waypoints, routes, atlases, find dialogs, guidance and the gauges'
// commands belong to their subsystems and pages.
void OnFeatureCommand(unsigned id) {
  if (!RunFeatureCommand(id)) CurrentPage()->OnCommand(id);
}

static void OnCommand(UINT id) {
  if (!RunCommand(id)) {
    if (id >= cmdPageFirst && id <= cmdPageLast) SelectPage(id - cmdPageFirst);
    else OnFeatureCommand(id);
  }
  UpdateMenuState();
}

static void OnTimer(UINT_PTR id) {
  switch (id) {
    case c_idTimerPeriodic:
      CurrentPage()->OnPeriodic();
      ::SetTimer(g_hWnd, c_idTimerPeriodic, 2000, nullptr);
      break;
    case c_idTimerSpare:
      break;
    default:
      CurrentPage()->OnTimer(id);
      break;
  }
}

static void OnSize() {
  RECT rc;
  ::GetClientRect(g_hWnd, &rc);
  g_cxClient = rc.right - rc.left;
  g_cyClient = rc.bottom - rc.top;
  if (g_hdcOffscreen && g_cxClient == g_cxOffscreen && g_cyClient == g_cyOffscreen) return;
  if (g_hdcOffscreen) ::DeleteDC(g_hdcOffscreen);
  if (g_hbmOffscreen) ::DeleteObject(g_hbmOffscreen);
  HDC hdc = ::GetDC(g_hWnd);
  g_hbmOffscreen = ::CreateCompatibleBitmap(hdc, g_cxClient > 0 ? g_cxClient : 1, g_cyClient > 0 ? g_cyClient : 1);
  g_hdcOffscreen = ::CreateCompatibleDC(hdc);
  ::SelectObject(g_hdcOffscreen, g_hbmOffscreen);
  ::ReleaseDC(g_hWnd, hdc);
  g_cxOffscreen = g_cxClient;
  g_cyOffscreen = g_cyClient;
  if (g_apPages[g_iPage]) CurrentPage()->OnSize();
}

static LRESULT HandleMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_CREATE: {
      g_hWnd = hWnd;
      HMENU hMenu = ResLoadMenu(c_idmMain);
      if (!hMenu || !::SetMenu(hWnd, hMenu)) {
        ::MessageBoxW(hWnd, L"Couldn't create menu bar", L"VELMO", MB_OK | MB_ICONERROR);
        return -1;
      }
      MakeMenuOwnerDrawn(hMenu, true);
      RECT rc;
      ::GetClientRect(hWnd, &rc);
      g_cxClient = rc.right;
      g_cyClient = rc.bottom;
      ::SetTimer(hWnd, c_idTimerPeriodic, 2000, nullptr);
      ::SetTimer(hWnd, c_idTimerSpare, 2000, nullptr);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = ::BeginPaint(hWnd, &ps);
      if (!g_hdcOffscreen) OnSize();
      if (g_apPages[g_iPage]) CurrentPage()->OnPaint(g_hdcOffscreen);
      ::BitBlt(hdc, 0, 0, g_cxClient, g_cyClient, g_hdcOffscreen, 0, 0, SRCCOPY);
      ::EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_MEASUREITEM:
      if (OnMeasureMenuItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_DRAWITEM:
      if (OnDrawMenuItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_CLOSE:
      ::PostMessageW(hWnd, WM_EXIT_REQUEST, 0, 0);
      return 0;
    case WM_COPYDATA: {
      const COPYDATASTRUCT* pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (pcds && pcds->lpData && pcds->dwData == 0 && pcds->cbData >= 2) {
        // The text must end inside the data: never trust the sender.
        std::u16string path(static_cast<const char16_t*>(pcds->lpData), pcds->cbData / 2);
        size_t nul = path.find(u'\0');
        if (nul != std::u16string::npos) path.resize(nul);
        // "-D" and a folder: a map collection, as on the command line.
        if (path.size() >= 2 && path[0] == u'-' && path[1] == u'D') OpenMapFromPath(path.c_str() + 2, true);
        else OpenMapFromPath(path.c_str(), false);
        RefreshAllPages(true);
        SwitchToMapPage();
        UpdateMenuState();
      }
      return TRUE;
    }
    case WM_DISPLAYCHANGE:
      RefreshAllPages(true);
      return 0;
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_LEFT: StepPage(-1); return 0;
        case VK_RIGHT: StepPage(1); return 0;
        case VK_UP:
          if (CurrentPage()->HasScroll()) CurrentPage()->OnScroll(0, 0);
          else CurrentPage()->ZoomIn();
          UpdateMenuState();
          return 0;
        case VK_DOWN:
          if (CurrentPage()->HasScroll()) CurrentPage()->OnScroll(1, 0);
          else CurrentPage()->ZoomOut();
          UpdateMenuState();
          return 0;
        case VK_ESCAPE:  // the way out of full screen, which has no menu bar
          if (IsFullScreen()) {
            ToggleFullScreen();
            return 0;
          }
          break;
      }
      break;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_VSCROLL:
      CurrentPage()->OnScroll(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_MOUSEMOVE:
      CurrentPage()->OnMove(short(LOWORD(lParam)), short(HIWORD(lParam)));
      return 0;
    case WM_LBUTTONDOWN:
      CurrentPage()->OnDown(short(LOWORD(lParam)), short(HIWORD(lParam)));
      return 0;
    case WM_LBUTTONUP:
      CurrentPage()->OnUp(short(LOWORD(lParam)), short(HIWORD(lParam)));
      return 0;
    case WM_LBUTTONDBLCLK:
      CurrentPage()->OnDoubleClick(short(LOWORD(lParam)), short(HIWORD(lParam)));
      return 0;
    case WM_RBUTTONUP:
      CurrentPage()->OnContextMenu(short(LOWORD(lParam)), short(HIWORD(lParam)));
      return 0;
    case WM_EXIT_REQUEST:
      RequestExit(wParam != 0);
      return 0;
    case WM_GPS_STATUS:
    case WM_GPS_FIX:
    case WM_GPS_CURSOR:
    case WM_GPS_SATELLITES:
    case WM_GPS_INDICATOR:
      // The position stream's views hear it (the current page among them).
      DeliverPositionNotification(uMsg);
      return 0;
    case WM_PORT_FAULT:
      ShowPortFault(wParam, lParam);
      return 0;
    case WM_SHOW_FAILURES:
      ShowPendingFailures();
      return 0;
    case WM_PLAY_NEXT_SOUND:
      PlayNextSound();
      return 0;
    case WM_QUERY_MANEUVER:
      return QueryManeuverDisplay(wParam);
    case MM_WOM_DONE:
      OnSoundDone(wParam, lParam);
      return 0;
  }
  return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// A fault in the window procedure: the report is shown, the run is marked
// as not ended in order, the track is closed, and the process ends.
static void WndProcCaught(void*) {
  SetBool(setting::SafeExit.pszName, false);
  CloseTrackRecorderAfterCrash();
  ::ExitProcess(3);
}

static bool g_fTestCrashDone = false;

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CrashGuard guard{ShowWndProcException, nullptr, WndProcCaught, nullptr};
  EnterCrashGuard(&guard);
  // Test hook: the first periodic timer faults inside the window procedure.
  if (uMsg == WM_TIMER && wParam == c_idTimerPeriodic) TestCrashIfAsked("wndproc", &g_fTestCrashDone);
  LRESULT lr = HandleMessage(hWnd, uMsg, wParam, lParam);
  LeaveCrashGuard(&guard);
  return lr;
}

bool RegisterMainWindowClass() {
  WNDCLASSW wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = MainWndProc;
  wc.hInstance = g_hInstance;
  wc.hIcon = ResLoadIcon(c_idiProgram);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;
  wc.lpszClassName = L"velmo";
  return ::RegisterClassW(&wc) != 0;
}
