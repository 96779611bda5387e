// The shell's side of positioning and track recording: start-up steps,
// notifications to the main window, the GPS and record-track commands, and
// the indicator icons.
#include <atomic>

#include "app/Crash.h"
#include "app/Features.h"
#include "app/GaugeGlue.h"
#include "app/GpsGlue.h"
#include "app/Page.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "exchange/TrackFile.h"
#include "gps/GpsNotify.h"
#include "gps/GpsProtocol.h"
#include "gps/GpsTime.h"
#include "app/NavigationGlue.h"
#include "gps/PositionHub.h"
#include "gps/Positioning.h"
#include "gps/TrackSource.h"
#include "gps/Tracking.h"
#include "gps/VisualTracking.h"
#include "render/DrawTypes.h"
#include "platform/Str.h"

static_assert(c_msgGpsStatus == WM_GPS_STATUS && c_msgGpsIndicator == WM_GPS_INDICATOR,
              "positioning posts the shell's messages");

static HICON g_ahiconGps[3];

// "Программный сбой при обработке данных из COM%d.\n\n%s"
const uint32_t c_idsPortFault = 2009;

static bool PostFromGps(uint32_t uMsg) { return g_hWnd && ::PostMessageW(g_hWnd, UINT(uMsg), 0, 0); }

namespace {

// The shell's view of the position stream: the current page hears every
// notification, and the indicator redraws the window.
class CShellPositionView : public CPositionView {
 public:
  void OnStatusChanged() override { CurrentPage()->OnStatusChanged(); }
  void OnFixChanged(const GpsFix& fix, uint32_t) override {
    // Every new fix judges the night mode again (the automatic mode changes
    // the skin at most once in 15 s); a changed skin redraws every page.
    const bool fDayBefore = IsDaySkinCurrent(), fSkinBefore = GetCurrentSkin() != nullptr;
    ApplyNightMode();
    if (IsDaySkinCurrent() != fDayBefore || (GetCurrentSkin() != nullptr) != fSkinBefore) RefreshAllPages(true);
    CurrentPage()->OnPositionChanged(fix);
  }
  void OnCursorChanged(const MapCursor& cursor) override { CurrentPage()->OnCursorChanged(cursor); }
  void OnSatellitesChanged() override { CurrentPage()->OnSatellitesChanged(); }
  void OnIndicatorChanged() override { Redraw(); }
};
CShellPositionView g_shellView;

// The port threads' guard: a fault while a port's data is handled is written
// to the error log and shown by the main window; the thread then closes its
// port and ends, and the program goes on. The report is shown from the main
// window so that a port thread never waits on a message box (stopping the
// ports would wait for it).
// Test hook: with VELMO_TEST_HANG=port the first port thread stops answering
// for good once its port is open (as a driver that never returns from a
// read), so that stopping the ports has a thread to abandon.
bool HangsForTests() {
  static std::atomic<bool> s_fHung{false};
  char sz[16];
  DWORD cch = ::GetEnvironmentVariableA("VELMO_TEST_HANG", sz, sizeof sz);
  if (cch == 0 || cch >= sizeof sz || ::lstrcmpA(sz, "port") != 0) return false;
  return !s_fHung.exchange(true);
}

void GuardPortThread(int nPort, void (*pfnBody)(void*), void* pParam) {
  if (HangsForTests())
    for (;;) ::Sleep(1000);
  const int cchReport = 1024;
  char16_t szReport[cchReport];
  if (RunWithFaultRecovery(pfnBody, pParam, nullptr, szReport, cchReport)) return;
  WriteErrorLog(szReport, u"_Protocol_ShowException, port=%d", nPort);
  char16_t* pszCopy = new char16_t[cchReport];
  platform::StrCopy(pszCopy, cchReport, szReport);
  if (!g_hWnd || !::PostMessageW(g_hWnd, WM_PORT_FAULT, WPARAM(nPort), LPARAM(pszCopy))) delete[] pszCopy;
}

// Test hook: with VELMO_TEST_CRASH=nmea the NMEA decoder faults on the
// first sentence it takes.
bool g_fDecoderCrashDone = false;
void ProbeDecoder(const char* pszWhere) { TestCrashIfAsked(pszWhere, &g_fDecoderCrashDone); }

}  // namespace

void DeliverPositionNotification(UINT uMsg) { GetPositionHub().Deliver(uMsg); }

void ShowPortFault(WPARAM wParam, LPARAM lParam) {
  char16_t* pszReport = reinterpret_cast<char16_t*>(lParam);
  if (!pszReport) return;
  char16_t sz[1100];
  FormatResString(sz, 1100, c_idsPortFault, int(wParam), pszReport);
  delete[] pszReport;
  ::MessageBoxW(g_hWnd, W(sz), L"VELMO", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void LoadGpsIcons() {
  g_ahiconGps[0] = ResLoadIcon(c_idiGpsDisconnected);
  g_ahiconGps[1] = ResLoadIcon(c_idiGpsConnected);
  g_ahiconGps[2] = ResLoadIcon(c_idiGpsReceiving);
  RegisterTearDown(ReleaseGpsIcons);
}

void ReleaseGpsIcons() {
  for (HICON& h : g_ahiconGps) {
    if (h) ::DestroyIcon(h);
    h = nullptr;
  }
}

HICON GetGpsIndicatorIconHandle() {
  switch (GetPositionHub().GetIndicatorIcon()) {
    case c_idiGpsDisconnected: return g_ahiconGps[0];
    case c_idiGpsConnected: return g_ahiconGps[1];
    default: return g_ahiconGps[2];
  }
}

void StartTrackRecordingAtStartup() {
  if (GetSettingBool(setting::RecordTrack)) StartTrackRecording();
  RegisterTearDown([] { Tracking::StopRecording(); });
}

void OpenTrackLog() {
  VisualTracking::Open();
  RegisterTearDown([] { VisualTracking::Close(); });
}

void StartPositioning() {
  CPositionHub& hub = GetPositionHub();
  hub.SetPoster(PostFromGps);
  hub.SetClockFloor(BuildDate());
  hub.Subscribe(&TrackRecorderListener());
  hub.Subscribe(&VisualTrackListener());
  // The gauges hear a fix before the page that shows them.
  StartGauges();
  hub.Subscribe(&g_shellView);
  StartGuidanceAndVoice();
  SetPortThreadGuard(GuardPortThread);
  char sz[16];
  if (::GetEnvironmentVariableA("VELMO_TEST_CRASH", sz, sizeof sz)) SetDecoderProbe(ProbeDecoder);
  SetTrackSourceOpener(exchange::OpenTrackSourceFile);
  InitPositioning();
  RegisterTearDown([] {
    DonePositioning();
    CPositionHub& hub = GetPositionHub();
    hub.Unsubscribe(&g_shellView);
    hub.Unsubscribe(&VisualTrackListener());
    hub.Unsubscribe(&TrackRecorderListener());
    SetPortThreadGuard(nullptr);
    SetDecoderProbe(nullptr);
    hub.SetPoster(nullptr);
  });
}

bool ArePortsOpen() { return IsGpsRunning(); }

void StartPorts() {
  if (!IsGpsRunning()) StartGps();
}

void StopPorts() { StopGps(); }

void StartTrackRecording() {
  Tracking::StartRecording();
  VisualTracking::SetLogging(true);
}

// Recording off: the recorder is closed and the visual track stops logging;
// the next logged position starts a new line.
void StopTrackRecording() {
  Tracking::StopRecording();
  VisualTracking::SetLogging(false);
  VisualTracking::NewSegment();
}

void CloseTrackRecorderAfterCrash() {
  Tracking::StopRecording();
  ReleaseGpsIcons();
}
