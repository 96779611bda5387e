#include "gps/Positioning.h"

#include <cmath>
#include <cstdarg>
#include <cstring>

#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "gps/ComPort.h"
#include "gps/GpsLog.h"
#include "gps/GpsNotify.h"
#include "gps/GpsProtocol.h"
#include "gps/TrackSource.h"
#include "gps/VisualTracking.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "platform/Thread.h"

using namespace platform;

// ---- FixStatus names ----

const char* FixStatusNameA(int32_t nStatus) {
  static const char* const c_apsz[] = {"Invalid",   "Unknown", "2D",        "3D",     "2D diff", "3D diff",
                                       "PPS",       "RTK",     "Float RTK", "Estimated", "Manual", "Simulation"};
  if (nStatus < 0 || nStatus >= int32_t(sizeof c_apsz / sizeof c_apsz[0])) return "Unknown";
  return c_apsz[nStatus];
}

const char16_t* FixStatusName(int32_t nStatus) {
  static const char16_t* const c_apsz[] = {u"Invalid",   u"Unknown", u"2D",        u"3D",        u"2D diff",
                                           u"3D diff",   u"PPS",     u"RTK",       u"Float RTK", u"Estimated",
                                           u"Manual",    u"Simulation"};
  if (nStatus < 0 || nStatus >= int32_t(sizeof c_apsz / sizeof c_apsz[0])) return u"Unknown";
  return c_apsz[nStatus];
}

// ---- state of the ports ----

namespace {

CEvent g_evStop, g_evFound;
std::atomic<bool> g_fStop{false};
CThread g_aPortThreads[c_cMaxComPort - c_cMinComPort + 1];
int g_cPortThreads = 0;
std::atomic<int> g_cRunning{0};
CEvent g_evAllEnded;
CThread g_demoThread;
std::atomic<bool> g_afPortOpen[c_cMaxComPort - c_cMinComPort + 1];
bool g_fReading = false;
std::atomic<PortThreadGuard> g_pfnGuard{nullptr};

}  // namespace

// ---- the program's hub ----

GpsPostFn SetGpsNotifyTarget(GpsPostFn pfn) { return GetPositionHub().SetPoster(pfn); }

GpsFix GetFix() { return GetPositionHub().GetFix(); }

bool GetCursor(float* pLon, float* pLat, float* pHeading) {
  return GetCursor(pLon, pLat, pHeading, nullptr, nullptr, nullptr);
}

bool GetCursor(float* pLon, float* pLat, float* pHeading, float* pSpeed, bool* pfSpeedValid, bool* pfCourseValid) {
  MapCursor cursor = GetPositionHub().GetCursor();
  if (pLon) *pLon = cursor.fLon;
  if (pLat) *pLat = cursor.fLat;
  if (pHeading) *pHeading = cursor.fHeading;
  if (pSpeed) *pSpeed = cursor.fSpeed;
  if (pfSpeedValid) *pfSpeedValid = cursor.fSpeedValid;
  if (pfCourseValid) *pfCourseValid = cursor.fCourseValid;
  return cursor.fPosition;
}

void GetStatusText(char16_t* pszBuf, int cchBuf) { GetPositionHub().GetStatusText(pszBuf, cchBuf); }
int GetSatelliteCapacity() { return GetPositionHub().GetSatelliteCapacity(); }
SatelliteInfo GetSatellite(int i) { return GetPositionHub().GetSatellite(i); }
float GetAverageSpeed() { return GetPositionHub().GetAverageSpeed(); }
float GetRecentAverageSpeed() { return GetPositionHub().GetRecentAverageSpeed(); }

void OnFix(const GpsFix& fix) { GetPositionHub().OnFix(fix); }
void OnNoFix() { GetPositionHub().OnNoFix(); }
void SetCursor(float lon, float lat, float course, bool fCourseValid, float speed, bool fSpeedValid) {
  GetPositionHub().SetCursor(lon, lat, course, fCourseValid, speed, fSpeedValid);
}
void ResetSatellites(int cCapacity) { GetPositionHub().ResetSatellites(cCapacity); }
void GrowSatellites(int cMore) { GetPositionHub().GrowSatellites(cMore); }
void AppendSatellite(const SatelliteInfo& info) { GetPositionHub().AppendSatellite(info); }
void SatellitesComplete() { GetPositionHub().SatellitesComplete(); }
void FixupClock(double gpsTime) { GetPositionHub().FixupClock(gpsTime); }

void SetGpsStatus(uint32_t ids, ...) {
  va_list args;
  va_start(args, ids);
  GetPositionHub().SetStatusV(ids, args);
  va_end(args);
}

void SetGpsIndicatorDisconnected() { GetPositionHub().SetIndicatorDisconnected(); }
void SetGpsIndicatorSatellites(int cSatellites) { GetPositionHub().SetIndicatorSatellites(cSatellites); }
int GetGpsIndicatorSatellites() { return GetPositionHub().GetIndicatorSatellites(); }
uint32_t GetGpsIndicatorIcon() {
  int c = GetGpsIndicatorSatellites();
  return c < 0 ? c_idiGpsDisconnected : c == 0 ? c_idiGpsConnected : c_idiGpsReceiving;
}

bool IsPortOpen(int nPort) {
  ASSERT(c_cMinComPort <= nPort && nPort <= c_cMaxComPort);
  if (nPort < c_cMinComPort || nPort > c_cMaxComPort) return false;
  return g_afPortOpen[nPort - c_cMinComPort].load();
}

const char16_t* DemoFileName() { return u"Demo.gdb"; }
void SetPortThreadGuard(PortThreadGuard pfn) { g_pfnGuard = pfn; }

bool IsNewTrackPoint(const GpsFix& prev, const GpsFix& cur) {
  double latTol = 0, lonTol = 0;
  if (cur.Has(gfHorizontalError)) {
    latTol = cur.horizontalError * 360.0 / 40000000.0;
    double c = std::cos(cur.latitude * 3.14159265358979323846 / 180.0);
    lonTol = c > 1e-9 ? latTol / c : 360.0;
  }
  return std::fabs(double(cur.longitude) - prev.longitude) > lonTol &&
         std::fabs(double(cur.latitude) - prev.latitude) > latTol;
}

// ---- threads ----

namespace {

struct PortRun {
  ComPort* pPort;
  int nPort;
};

// The protocols one after the other on an open port until stopped.
void RunProtocols(void* pParam) {
  PortRun* pRun = static_cast<PortRun*>(pParam);
  while (!g_fStop) {
    bool fAnyEnabled = false, fClose = false;
    for (const ProtocolEntry* pEntry = GetProtocolList(); pEntry && !fClose && !g_fStop; pEntry = pEntry->pNext) {
      if (!pEntry->IsEnabled()) continue;
      fAnyEnabled = true;
      GpsProtocol* pProtocol = pEntry->pfnFactory();
      fClose = pProtocol->RunOnPort(pEntry, pRun->pPort, pRun->nPort, &g_evStop, &g_evFound);
      delete pProtocol;
      if (!fClose) OnNoFix();
    }
    if (fClose) break;
    if (!fAnyEnabled) {
      SetGpsStatus(c_idsAllProtocolsDisabled);
      g_evStop.Wait(1000);
    }
  }
}

void PortThread(void* pParam) {
  int nPort = int(reinterpret_cast<intptr_t>(pParam));
  ComPort port;
  bool fOpenFailed = false;
  if (!port.Open(nPort, true, true)) {
    char16_t szName[16];
    Format(szName, 16, u"COM%d:", nPort);
    GpsLog(u"%s failed to open (error code %d).", szName, int(port.LastError()));
    fOpenFailed = true;
  } else {
    g_afPortOpen[nPort] = true;
    GpsLog(u"%s opened.", port.Name());
    PortRun run = {&port, nPort};
    PortThreadGuard pfnGuard = g_pfnGuard.load();
    if (pfnGuard)
      pfnGuard(nPort, RunProtocols, &run);
    else
      RunProtocols(&run);
    GpsLog(u"%s closed.", port.Name());
    g_afPortOpen[nPort] = false;
    port.Close();
  }
  if (--g_cRunning == 0) {
    if (fOpenFailed) SetGpsStatus(c_idsNoPortOpened);
    SetGpsIndicatorDisconnected();
    g_evAllEnded.Set();
  }
}

void DemoThread(void*) {
  SetGpsStatus(c_idsDemoTrack);
  std::u16string path = JoinPath(GetProgramFolder(), DemoFileName());
  CTrackSource* pReader = OpenTrackSource(path.c_str());
  if (pReader) {
    for (;;) {
      GpsFix fix;
      fix.Start();
      if (!pReader->NextPoint(fix)) {
        pReader->Rewind();
        GpsFix invalid;
        invalid.Start();
        invalid.SetStatus(fsInvalid);
        OnFix(invalid);
        if (g_evStop.Wait(1000)) break;
        fix.Start();
        if (!pReader->NextPoint(fix)) break;
      }
      fix.SetStatus(fsSimulation);
      SetCursor(fix.longitude, fix.latitude, fix.course, fix.Has(gfCourse), fix.speed, fix.Has(gfSpeed));
      OnFix(fix);
      if (g_evStop.Wait(1000)) break;
    }
    pReader->Destroy();
  }
  SetGpsStatus(c_idsNoConnection);
}

}  // namespace

void InitPositioning() {
  g_evFound.Reset();
  g_evStop.Reset();
  SetGpsStatus(c_idsNoConnection);
  if (GetSettingBool(setting::ScanCOMPorts)) StartGps();
}

void DonePositioning() {
  StopGps();
}

bool IsGpsRunning() { return g_fReading; }

void StartGps() {
  StopGps();
  GetPositionHub().ReadingStarts();
  g_evFound.Reset();
  g_evStop.Reset();
  g_fStop = false;
  g_fReading = true;
  std::u16string demo = JoinPath(GetProgramFolder(), DemoFileName());
  if (FileExists(demo.c_str())) {
    g_demoThread.Start(DemoThread, nullptr, tpAboveNormal);
    return;
  }
  g_cRunning = 0;
  g_evAllEnded.Reset();
  for (int n = c_cMinComPort; n <= c_cMaxComPort; ++n) {
    std::u16string name = FormatStr(setting::Enable_COM_d.pszName, n);
    DWORD dw = GetDword(name.c_str(), 0xFFFFFFFFu);
    if (dw == 0xFFFFFFFFu) {
      // A port without a value is on, and the value is written for the user.
      SetDword(name.c_str(), 1);
      dw = 1;
    }
    if (dw == 0) continue;
    ASSERT(g_cPortThreads < c_cMaxComPort - c_cMinComPort + 1 && "false");
    ++g_cRunning;
    g_aPortThreads[g_cPortThreads++].Start(PortThread, reinterpret_cast<void*>(intptr_t(n)), tpAboveNormal);
  }
}

void StopGps() {
  if (g_fReading) {
    GetPositionHub().ReadingStops();
  }
  g_fStop = true;
  g_evStop.Set();
  if (g_cPortThreads > 0) g_evAllEnded.Wait(2000);
  for (int i = 0; i < g_cPortThreads; ++i) g_aPortThreads[i].Join();
  g_cPortThreads = 0;
  g_cRunning = 0;
  g_demoThread.Join();
  g_fReading = false;
  SetGpsStatus(c_idsNoConnection);
}
