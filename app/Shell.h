// The shell's process-wide state and the services the rest of the program
// uses: the main window, screen metrics, pages, notifications, tear-downs.
#pragma once
#include "app/Page.h"
#include "app/Win.h"

extern HWND g_hWnd;
extern HINSTANCE g_hInstance;

// Screen metrics, read once at start.
extern int g_cxScreen, g_cyScreen;
extern int g_nScaleX, g_nScaleY;
inline int ScaleX(int n) { return n * g_nScaleX; }
inline int ScaleY(int n) { return n * g_nScaleY; }
inline int PickByDpi(int a, int b) { return g_nScaleX == 1 ? a : b; }

// Client size and the off-screen surface pages draw into.
extern int g_cxClient, g_cyClient;
extern HDC g_hdcOffscreen;
extern HBITMAP g_hbmOffscreen;
extern int g_cxOffscreen, g_cyOffscreen;
extern DWORD g_dwStartupMs;

// Messages posted to the main window.
const UINT WM_EXIT_REQUEST = WM_USER + 0;
const UINT WM_GPS_STATUS = WM_USER + 1;
const UINT WM_GPS_FIX = WM_USER + 2;
const UINT WM_GPS_CURSOR = WM_USER + 3;
const UINT WM_GPS_SATELLITES = WM_USER + 4;
const UINT WM_GPS_INDICATOR = WM_USER + 5;
const UINT WM_PLAY_NEXT_SOUND = WM_USER + 6;
// A port thread caught a fault: wParam the port, lParam the report (a
// char16_t string from new[], freed by the handler).
const UINT WM_PORT_FAULT = WM_USER + 7;
// A lower layer reported a failure (res/Failure.h); posted once until handled.
const UINT WM_SHOW_FAILURES = WM_USER + 8;
// Sent by the test tools: what the maneuver display shows (MapPageWin.cpp).
// wParam 0: bit 24 guidance runs, bits 16..23 the navigation state, 8..15
// the exit number, 0..7 the maneuver kind; wParam 1: metres to the
// maneuver; wParam 2: metres to the end of the route.
const UINT WM_QUERY_MANEUVER = WM_USER + 9;
LRESULT QueryManeuverDisplay(WPARAM wParam);

// The position stream's notifications (WM_GPS_STATUS ... WM_GPS_INDICATOR)
// reach its views; the hub coalesces them (app/GpsGlue.cpp).
void DeliverPositionNotification(UINT uMsg);
// Shows the report of a fault a port thread caught (WM_PORT_FAULT).
void ShowPortFault(WPARAM wParam, LPARAM lParam);
// The failures the lower layers reported (res/Failure.h) reach the user
// through the main window: any thread may report, the GUI thread shows.
void InstallFailureNotifier();
// Shows every queued failure, each text once (GUI thread; a report made
// while a box is open waits for it).
void ShowPendingFailures();

// Pages.
extern Page* g_apPages[4];
extern unsigned g_iPage;
Page* CurrentPage();
void SelectPage(unsigned iPage);
void SwitchToMapPage();
void RefreshAllPages(bool fFull);
Page* CreateMapPage();
Page* CreateGaugePage();
Page* CreateRoutePointsPage();
Page* CreateSatellitePage();

void Redraw();
void UpdateMenuState();
LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
bool RegisterMainWindowClass();
void CycleNightMode();
void OnConnectGpsCommand();
void OnRecordTrackCommand();
void RequestExit(bool fRestart);
bool IsDrawingPassRunning();
void StopDrawingPass();

// Start-up, the message loop and tear-down (the body of WinMain).
int RunProgram(const wchar_t* pszCmdLine, int nShow);

// Tear-downs, run in reverse order of registration.
typedef void (*TearDownProc)();
void RegisterTearDown(TearDownProc pfn);
void RunTearDowns();

// Opening a map from the command line or a hand-over.
void OpenMapFromPath(const char16_t* pszPath, bool fAtlas);

// Files associated with the program under HKEY_CLASSES_ROOT.
void RegisterFileAssociations();

// Full screen (the frame and the menu bar hidden); leaving it restores them.
bool IsFullScreen();
void ToggleFullScreen();
void RestoreWindowFrame();  // before the window is destroyed
void ShowAboutMapDialog(HWND hOwner);

// Dialogs of the shell.
bool ShowAbnormalExitDialog();  // true when the user asked for the reset
void ShowSafetyWarning();
void ShowAboutDialog();
void ShowOptionsDialog();
int ShellMessageBox(const char16_t* pszText, UINT uType);
