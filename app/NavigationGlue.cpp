// The shell's side of guidance and the voice: one guidance over the
// program's store, the voice's request queue and playback through the
// wave-out device, the commands that start and end navigation, and the
// position stream's subscriptions.
//
// The request queue is shared with the GPS port threads (the events
// "GPSMissing" and "GPSConnected" arrive through the position hub's
// listeners on those threads): it has its own lock, held only while the
// queue is changed or read; a post then sends WM_PLAY_NEXT_SOUND to the
// main window, and everything else (composing, the pending phrase,
// playback) happens on the main window's thread.
#include "app/NavigationGlue.h"

#include "app/CommandTable.h"
#include "app/Commands.h"
#include "app/Features.h"
#include "app/ResWin.h"
#include "app/RouteCommands.h"
#include "app/Shell.h"
#include "app/Waypoints.h"
#include "app/Win.h"
#include "gps/Positioning.h"
#include "map/MapParser.h"
#include "gauges/GaugeSources.h"
#include "navigation/Guidance.h"
#include "navigation/GuidanceGauges.h"
#include "navigation/RouteCalculation.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "platform/WaveOut.h"
#include "res/Failure.h"
#include "res/Res.h"
#include "render/overlay/MapEdit.h"
#include "render/overlay/StoreDraw.h"
#include "routing/AutoRouting.h"
#include "settings/SettingsTable.h"
#include "sound/SoundPlayer.h"
#include "sound/Voice.h"

namespace {

double NowDays() {
  SYSTEMTIME st;
  ::GetSystemTime(&st);
  FILETIME ft;
  ::SystemTimeToFileTime(&st, &ft);
  uint64_t n = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  // FILETIME counts 100 ns from 1601-01-01; variant time days from 1899-12-30.
  return double(n) / 864000000000.0 - 109205.0;
}

class CAppWaveDevice : public CWaveDevice {
 public:
  uint32_t Start(const WaveFormat& format, const uint8_t* pSamples, uint32_t cbSamples) override {
    return m_out.Start(&format, pSamples, cbSamples, g_hWnd);
  }
  void Stop() override { m_out.Stop(); }
  bool IsDevice(WPARAM w) const { return m_out.IsDevice(uintptr_t(w)); }

 private:
  platform::CWaveOut m_out;
};

class CAppSoundHost : public CSoundHost {
 public:
  std::u16string SoundPath(const std::string& strName) override { return SoundFilePath(strName.c_str()); }
  // Both are told through the failure queue, so the box opens from the
  // window's own message and never inside the player's work.
  void ShowFileError(const std::u16string& strPath) override { ReportFailureText(0, strPath); }
  void ShowDeviceError(uint32_t dwResult) override {
    char16_t sz[512];
    FormatResString(sz, 512, c_idsSoundDeviceFails, platform::WaveOutErrorText(dwResult).c_str());
    ReportFailureText(c_idsSoundDeviceFails, sz);
  }
};

CSoundQueue g_soundQueue;
CVoice g_voice(g_soundQueue);
CAppWaveDevice g_waveDevice;
CAppSoundHost g_soundHost;
CSoundPlayer g_player(g_soundQueue, g_waveDevice, g_soundHost);

class CAppGuidanceHost : public CGuidanceHost {
 public:
  void SaveStore() override { SaveWaypointStore(); }
  bool CalculateFromPosition(Route& route, float fLon, float fLat) override {
    GpsFix fix = GetFix();
    return GetRouteCalculation().CalculateFromPosition(route, fLon, fLat, fix.Has(gfPosition) ? &fix : nullptr);
  }
  bool Recalculate(Route& route, float fLon, float fLat, size_t iVia, size_t iPassed) override {
    GpsFix fix = GetFix();
    return GetRouteCalculation().Recalculate(route, fLon, fLat, iVia, iPassed, fix.Has(gfPosition) ? &fix : nullptr);
  }
  void OnNavigationChanged(bool) override {
    UpdateMenuState();
    if (CurrentPage()) CurrentPage()->RefreshMap(true);
  }
  void OnGuidanceUpdated() override {
    if (CurrentPage() && CurrentPage()->IsMapPage()) CurrentPage()->RefreshMap(false);
  }
  double Now() override { return NowDays(); }
};

CAppGuidanceHost g_guidanceHost;
CGuidance g_guidance(g_waypointStore, &g_guidanceHost, &g_voice);

// What guidance knows of the position: the cursor and the fix's HDOP.
GuidanceFix CurrentGuidanceFix() {
  GuidanceFix g;
  MapCursor cursor = GetPositionHub().GetCursor();
  g.fPosition = cursor.fPosition;
  g.fLon = cursor.fLon;
  g.fLat = cursor.fLat;
  GpsFix fix = GetFix();
  g.fHasHdop = fix.Has(gfHdop);
  g.fHdop = fix.hdop;
  return g;
}

// Guidance follows the cursor on the main window's thread. A cursor that
// arrives while a route is calculated (the progress window lets messages
// through) waits for the calculation's end: an update now could start a
// second search in the middle of the first.
class CGuidanceView : public CPositionView {
 public:
  void OnCursorChanged(const MapCursor&) override {
    if (!g_guidance.IsRunning() || !GetRouteCalculation().AdmitCursorUpdate()) return;
    g_guidance.Update(CurrentGuidanceFix());
  }
};
CGuidanceView g_guidanceView;
CGuidanceGauges* g_pGuidanceGauges = nullptr;

void PostPlayMessage(void*) {
  if (g_hWnd) ::PostMessageW(g_hWnd, WM_PLAY_NEXT_SOUND, 0, 0);
}

void StartNavigationOn(Route* pRoute) {
  double dLon = 0, dLat = 0;
  GetMapCentreDegrees(dLon, dLat);
  g_guidance.Start(pRoute, CurrentGuidanceFix(), float(dLon), float(dLat));
}

}  // namespace

CGuidance& GetGuidance() { return g_guidance; }

std::u16string SoundFilePath(const char* pszName) {
  return platform::GetProgramFolder() + u"\\wav\\" + platform::Utf8ToU16(pszName) + u".wav";
}

void StartGuidanceAndVoice() {
  // The active route is drawn from the point guidance approaches.
  SetActiveRouteStartSource([]() -> size_t { return g_guidance.IsRunning() ? g_guidance.State().iTarget : 0; });
  g_soundQueue.SetPoster(PostPlayMessage, nullptr);
  g_voice.SetSpeedSource([](void*) { return GetRecentAverageSpeed(); }, nullptr);
  g_voice.SetCutPlaying([](void*) { g_player.CutManeuver(); }, nullptr);
  CPositionHub& hub = GetPositionHub();
  hub.Subscribe(static_cast<CPositionListener*>(&g_voice));
  hub.Subscribe(&g_guidanceView);
  // The navigation gauges read guidance through its gauge state.
  g_pGuidanceGauges = new CGuidanceGauges(g_guidance, hub);
  SetGuidanceState(g_pGuidanceGauges);
  RegisterTearDown([] {
    SetGuidanceState(nullptr);
    delete g_pGuidanceGauges;
    g_pGuidanceGauges = nullptr;
    CPositionHub& hub = GetPositionHub();
    hub.Unsubscribe(&g_guidanceView);
    hub.Unsubscribe(static_cast<CPositionListener*>(&g_voice));
    g_soundQueue.SetPoster(nullptr, nullptr);
    g_player.StopAll();
  });
}

bool IsNavigationRunning() { return g_guidance.IsRunning(); }

void PlayNextSound() { g_player.PlayNext(); }

bool GetSoundUnavailableReason(std::u16string& strReason) {
  if (g_player.IsDeviceAvailable()) return false;
  strReason = platform::WaveOutErrorText(g_player.DeviceError());
  return true;
}

void OnSoundDone(WPARAM wParam, LPARAM) {
  // A device that was stopped early may still report its buffer: only the
  // current device's report ends the current sound.
  if (g_waveDevice.IsDevice(wParam)) g_player.OnDone();
}

// Starting or ending navigation replaces or deletes the route a running
// calculation works on: while one runs (its progress window lets a posted
// command through) such a request is refused.
static bool IsCalculating() { return GetRouteCalculation().IsBusy(); }

void GoToPoint(int32_t xStored, int32_t yStored) {
  if (IsCalculating()) return;
  double dLon = 0, dLat = 0;
  GetMapCentreDegrees(dLon, dLat);
  g_guidance.GoTo(xStored, yStored, CurrentGuidanceFix(), float(dLon), float(dLat));
}

void FollowRoute(Route* pRoute) {
  if (IsCalculating()) return;
  if (pRoute && !pRoute->IsDeleted() && !pRoute->IsEmpty()) StartNavigationOn(pRoute);
}

void StopNavigation() {
  if (IsCalculating()) return;
  g_guidance.End();
  g_player.CutManeuver();
}

bool RunNavigationCommand(UINT id) {
  switch (id) {
    case cmdStopNavigation:
      StopNavigation();
      return true;
    case cmdGoToPoint: {
      int32_t x = 0, y = 0;
      if (GetMapMenuTarget(x, y)) GoToPoint(x, y);
      g_mapEdit.ClearSelection();
      return true;
    }
    case cmdFollowRoute: {
      Route* pRoute = g_mapEdit.GetSelectedRoute();
      g_mapEdit.ClearSelection();
      FollowRoute(pRoute);
      return true;
    }
  }
  return false;
}
