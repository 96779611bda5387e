// The shell's side of positioning and track recording: start-up steps,
// notifications to the main window, the GPS and record-track commands, and
// the indicator icons.
#include "app/Features.h"
#include "app/GpsGlue.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "settings/SettingsTable.h"
#include "exchange/TrackFile.h"
#include "gps/GpsNotify.h"
#include "gps/Positioning.h"
#include "gps/TrackSource.h"
#include "gps/Tracking.h"
#include "gps/VisualTracking.h"

static_assert(c_msgGpsStatus == WM_GPS_STATUS && c_msgGpsIndicator == WM_GPS_INDICATOR,
              "positioning posts the shell's messages");

static HICON g_ahiconGps[3];

static void PostFromGps(uint32_t uMsg) { PostNotification(UINT(uMsg)); }

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
  switch (GetGpsIndicatorIcon()) {
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
  SetGpsNotifyTarget(PostFromGps);
  SetTrackSourceOpener(exchange::OpenTrackSourceFile);
  InitPositioning();
  RegisterTearDown([] {
    DonePositioning();
    SetGpsNotifyTarget(nullptr);
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
