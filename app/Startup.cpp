// Start-up in a fixed order, the message loop, and tear-down in
// reverse order of the registered steps.
#include <vector>

#include "app/Commands.h"
#include "app/Crash.h"
#include "app/Features.h"
#include "app/GpsGlue.h"
#include "app/ResWin.h"
#include "app/RouteCommands.h"
#include "exchange/CodePage.h"
#include "geo/Units.h"
#include "gps/Positioning.h"
#include "map/img/CodePage.h"
#include "render/DrawTypes.h"
#include "render/Screen.h"
#include "store/WaypointStore.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "app/Shell.h"
#include "gauges/GaugeSources.h"

#include <commctrl.h>
#include "res/Failure.h"
#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "platform/Debug.h"
#include "platform/Str.h"

using namespace platform;

HINSTANCE g_hInstance = nullptr;
int g_cxScreen = 0, g_cyScreen = 0;
int g_nScaleX = 1, g_nScaleY = 1;
DWORD g_dwStartupMs = 0;

static std::vector<TearDownProc> g_aTearDowns;
static char16_t g_szTitle[64];

void RegisterTearDown(TearDownProc pfn) { g_aTearDowns.push_back(pfn); }

void RunTearDowns() {
  while (!g_aTearDowns.empty()) {
    TearDownProc pfn = g_aTearDowns.back();
    g_aTearDowns.pop_back();
    pfn();
  }
}

static bool HandOverToRunningInstance(const wchar_t* pszCmdLine) {
  HWND hOther = ::FindWindowW(L"velmo", nullptr);
  if (!hOther) return false;
  ::SetForegroundWindow(hOther);
  if (pszCmdLine && *pszCmdLine) {
    COPYDATASTRUCT cds;
    cds.dwData = 0;
    cds.cbData = DWORD((::lstrlenW(pszCmdLine) + 1) * sizeof(wchar_t));
    cds.lpData = const_cast<wchar_t*>(pszCmdLine);
    DWORD_PTR dwResult = 0;
    ::SendMessageTimeoutW(hOther, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG, 10000,
                          &dwResult);
  }
  return true;
}

static void ReadScreenMetrics() {
  HDC hdc = ::GetDC(nullptr);
  g_cxScreen = ::GetDeviceCaps(hdc, HORZRES);
  g_cyScreen = ::GetDeviceCaps(hdc, VERTRES);
  g_nScaleX = ::GetDeviceCaps(hdc, LOGPIXELSX) / 96;
  g_nScaleY = ::GetDeviceCaps(hdc, LOGPIXELSY) / 96;
  if (g_nScaleX < 1) g_nScaleX = 1;
  if (g_nScaleY < 1) g_nScaleY = 1;
  ::ReleaseDC(nullptr, hdc);
}

// On a screen smaller than the window's first size (240 x 320) the window
// keeps to the work area, so that no part of the page lies off the screen.
static void KeepOnWorkArea(HWND hWnd) {
  RECT rcWork, rc;
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0) || !::GetWindowRect(hWnd, &rc)) return;
  int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  if (cx > rcWork.right - rcWork.left) cx = rcWork.right - rcWork.left;
  if (cy > rcWork.bottom - rcWork.top) cy = rcWork.bottom - rcWork.top;
  int x = rc.left, y = rc.top;
  if (x + cx > rcWork.right) x = rcWork.right - cx;
  if (y + cy > rcWork.bottom) y = rcWork.bottom - cy;
  if (x < rcWork.left) x = rcWork.left;
  if (y < rcWork.top) y = rcWork.top;
  if (x != rc.left || y != rc.top || cx != rc.right - rc.left || cy != rc.bottom - rc.top)
    ::SetWindowPos(hWnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The current fix as the automatic night mode needs it.
static bool ReadFixForNightMode(NightModeFix& out) {
  GpsFix fix = GetFix();
  out.fValidPosition = fix.Has(gfPosition);
  out.nStatus = int(fix.status);
  out.fValidTime = fix.Has(gfTime);
  out.fTime = out.fValidTime ? fix.time : 0;
  out.fLongitude = fix.longitude;
  out.fLatitude = fix.latitude;
  return out.fValidPosition;
}

// Waypoints and routes beside the program. A damaged store is reported and
// kept aside so the next save cannot overwrite it.
static void LoadWaypointStore() {
  std::u16string path = JoinPath(GetProgramFolder(), u"Waypoints.bin");
  std::u16string strKept;
  if (g_waypointStore.LoadFile(path.c_str(), GetSettingBool(setting::Navigation), &strKept) == slrDamaged) {
    char16_t sz[520];
    FormatResString(sz, 520, 2130, path.c_str());
    ShellMessageBox(sz, MB_OK | MB_ICONERROR);
  }
  RegisterTearDown([] { g_waypointStore.Clear(); });
}

static void OpenStartMap(const wchar_t* pszCmdLine, bool fRestart) {
  const char16_t* psz = U(pszCmdLine ? pszCmdLine : L"");
  if (!*psz || fRestart) {
    char16_t szMap[260];
    GetSettingString(setting::MapFileName, szMap);
    if (*szMap) {
      HCURSOR hOld = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
      OpenMapFromPath(szMap, GetSettingBool(setting::MapIsAtlas));
      ::SetCursor(hOld);
    }
    return;
  }
  if (psz[0] == u'-' && psz[1] == u'D') {
    OpenMapFromPath(psz + 2, true);
    return;
  }
  OpenMapFromPath(psz, false);
}

int RunProgram(const wchar_t* pszCmdLine, int nShow) {
  // 1. Self-checks of the portable modules run in their own start-up hooks.
  // 2.
  DWORD dwStart = ::GetTickCount();
  // 3.
  bool fRestart = pszCmdLine && ::lstrcmpW(pszCmdLine, L"/Start") == 0;
  if (!fRestart && HandOverToRunningInstance(pszCmdLine)) return 0;
  // 4.
  ReadScreenMetrics();
  render::SetScreenScale(g_nScaleX, g_nScaleY);
  // Texts of other programs' files come in the system's ANSI code page.
  exchange::SetAnsiCodePage(::GetACP());
  img::SetSystemCodePage(::GetACP());
  // 5.
  SetResMessageHook([](const char16_t* psz) { ::MessageBoxW(nullptr, W(psz), L"VELMO", MB_OK | MB_ICONERROR); });
  LoadLanguage();
  LoadResString(2111, g_szTitle, 64);
  // 6.
  INITCOMMONCONTROLSEX icc;
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS;
  ::InitCommonControlsEx(&icc);
  // 7.
  OpenSettings();
  RegisterTearDown(CloseSettings);
  // 8.
  if (!GetSettingBool(setting::SafeExit)) {
    if (ShowAbnormalExitDialog()) ResetAllSettings();
  }
  // 9.
  SetBool(setting::SafeExit.pszName, false);
  // 10.
  CreateSharedStock(COLORREF(::GetSysColor(COLOR_WINDOWFRAME)));
  RegisterTearDown(FreeSharedStock);
  SetNightModeFixSource(ReadFixForNightMode);
  // 11.
  RegisterFileAssociations();
  // 12.
  if (!RegisterMainWindowClass()) {
    RunTearDowns();
    return 0;
  }
  HWND hWnd = ::CreateWindowExW(0, L"velmo", W(g_szTitle), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, 0,
                                248, 330, nullptr, nullptr, g_hInstance, nullptr);
  if (!hWnd || !::IsWindow(hWnd)) {
    RunTearDowns();
    return 0;
  }
  KeepOnWorkArea(hWnd);
  SetCrashOwner(hWnd);
  // Failures of the lower layers are shown by the window from here on.
  InstallFailureNotifier();
  RegisterTearDown([] { SetFailureNotifier(nullptr); });
  // 13.
  ::SetForegroundWindow(hWnd);
  g_apPages[0] = CreateMapPage();
  g_apPages[1] = CreateGaugePage();
  g_apPages[2] = CreateRoutePointsPage();
  g_apPages[3] = CreateSatellitePage();
  for (Page* p : g_apPages) p->Create();
  {
    DWORD dwPage = GetSetting(setting::Page);
    if (dwPage > 3) dwPage = 3;
    g_iPage = dwPage;
    CurrentPage()->Activate();
    // The page items show the current page from the start.
    if (HMENU hMenu = ::GetMenu(hWnd))
      ::CheckMenuRadioItem(hMenu, cmdPageFirst, c_cmdPageRadioLast, cmdPageFirst + g_iPage, MF_BYCOMMAND);
  }
  RegisterTearDown([] {
    CurrentPage()->Deactivate();
    for (Page*& p : g_apPages) {
      p->Destroy();
      delete p;
      p = nullptr;
    }
  });
  // 14. The unit and address-format options (the gauge fonts come with the gauges).
  LoadUnitOptions();
  // 16.
  ::ShowWindow(hWnd, nShow);
  RegisterTearDown([] {
    if (g_hdcOffscreen) ::DeleteDC(g_hdcOffscreen);
    if (g_hbmOffscreen) ::DeleteObject(g_hbmOffscreen);
    g_hdcOffscreen = nullptr;
    g_hbmOffscreen = nullptr;
    g_cxOffscreen = g_cyOffscreen = 0;
  });
  // 17.
  LoadGpsIcons();
  // 18.
  OpenStartMap(pszCmdLine, fRestart);
  // 19.
  if (GetSettingBool(setting::SafetyWarning)) {
    ShowSafetyWarning();
    SetBool(setting::SafetyWarning.pszName, false);
  }
  // 20.
  StartTrackRecordingAtStartup();
  // 21.
  OpenTrackLog();
  // 22.
  LoadWaypointStore();
  InstallAutoRouting();
  // 23.
  StartPositioning();
  // 24. The stored night mode is shown from the first drawing on.
  ApplyNightMode();
  UpdateMenuState();
  // 25.
  g_dwStartupMs = ::GetTickCount() - dwStart;
  SetStartupTimeMs(int32_t(g_dwStartupMs));
  {
    HCURSOR hOld = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    RefreshAllPages(true);
    ::SetCursor(hOld);
  }
  static bool fMainCrashDone = false;
  TestCrashIfAsked("main", &fMainCrashDone);
  // 26.
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  DebugOutput(u"END of message loop\n");
  // 27.
  RunTearDowns();
  return 0;
}

