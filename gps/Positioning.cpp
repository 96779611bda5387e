#include "gps/Positioning.h"

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "gps/ComPort.h"
#include "gps/GpsLog.h"
#include "gps/GpsNotify.h"
#include "gps/GpsProtocol.h"
#include "gps/TrackSource.h"
#include "gps/Tracking.h"
#include "gps/VisualTracking.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "platform/Thread.h"
#include "geo/Geodesy.h"

using namespace platform;

std::atomic<uint32_t> g_cChecksumErrors{0};
std::atomic<int32_t> g_nClockOffset{0};
std::atomic<uint32_t> g_cClockCorrections{0};

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

// ---- notifications ----

namespace {
std::atomic<GpsPostFn> g_pfnPost{nullptr};
}  // namespace

GpsPostFn SetGpsNotifyTarget(GpsPostFn pfn) { return g_pfnPost.exchange(pfn); }

void PostGpsNotification(uint32_t uMsg) {
  GpsPostFn pfn = g_pfnPost.load();
  if (pfn && uMsg >= c_msgGpsStatus && uMsg <= c_msgGpsIndicator) pfn(uMsg);
}

// ---- state ----

namespace {

struct Cursor {
  float fLon, fLat, fHeading, fSpeed;
  bool fCourseValid, fSpeedValid;
};

CCritSec g_csPositioning;  // the current fix, the cursor, the satellites, the status text
GpsFix g_fix;
Cursor g_cursor;
std::vector<SatelliteInfo> g_aSatellites;  // size = capacity
int g_cSatellites = 0;
char16_t g_szStatus[128];

// The speed ring.
float* g_pfSpeeds = nullptr;
int g_cSpeedNext = 0;
int g_cSpeedCount = 0;
float g_fAverageSpeed = 0, g_fRecentSpeed = 0;

PositioningHooks g_hooks = {};
FixObserver g_pfnFixObserver = nullptr;
void* g_pFixContext = nullptr;
SatelliteObserver g_pfnSatObserver = nullptr;
void* g_pSatContext = nullptr;
std::atomic<bool> g_fClockAllowed{true};
UtcNowSource g_pfnUtcNow = nullptr;
bool g_fCorrectedOnce = false;
uint32_t g_dwLastCorrection = 0;

// Threads.
CEvent g_evStop, g_evFound;
std::atomic<bool> g_fStop{false};
CThread g_aPortThreads[c_cMaxComPort - c_cMinComPort + 1];
int g_cPortThreads = 0;
std::atomic<int> g_cRunning{0};
CEvent g_evAllEnded;
CThread g_demoThread;
std::atomic<bool> g_afPortOpen[c_cMaxComPort - c_cMinComPort + 1];
bool g_fReading = false;

void QueueVoice(const char* pszEvent) {
  if (g_hooks.pfnQueueVoice) g_hooks.pfnQueueVoice(pszEvent);
}

void ClearSpeedRing() {
  if (g_pfSpeeds) std::memset(g_pfSpeeds, 0, sizeof(float) * c_cSpeedBufSize);
  g_cSpeedNext = g_cSpeedCount = 0;
  g_fAverageSpeed = g_fRecentSpeed = 0;
}

void PushSpeed(float f) {
  if (!g_pfSpeeds) return;
  ASSERT(g_cSpeedNext < c_cSpeedBufSize);
  g_pfSpeeds[g_cSpeedNext] = f;
  g_cSpeedNext = (g_cSpeedNext + 1) % c_cSpeedBufSize;
  if (g_cSpeedCount < c_cSpeedBufSize) ++g_cSpeedCount;
  float fSum = 0;
  for (int i = 0; i < c_cSpeedBufSize; ++i) fSum += g_pfSpeeds[i];
  g_fAverageSpeed = fSum / float(g_cSpeedCount);
  int cRecent = g_cSpeedCount < 5 ? g_cSpeedCount : 5;
  float fRecent = 0;
  for (int i = 1; i <= cRecent; ++i) fRecent += g_pfSpeeds[(g_cSpeedNext - i + c_cSpeedBufSize) % c_cSpeedBufSize];
  g_fRecentSpeed = fRecent / float(cRecent);
}

double UtcNowDays() {
  if (g_pfnUtcNow) return g_pfnUtcNow();
  CSystemTime st;
  GetSystemTimeUtc(st);
  return SystemTimeToDays(st);
}

}  // namespace

// ---- hooks and observers ----

void SetPositioningHooks(const PositioningHooks& hooks) { g_hooks = hooks; }
void SetFixObserver(FixObserver pfn, void* pContext) {
  CLock lock(g_csPositioning);
  g_pfnFixObserver = pfn;
  g_pFixContext = pContext;
}
void SetSatelliteObserver(SatelliteObserver pfn, void* pContext) {
  CLock lock(g_csPositioning);
  g_pfnSatObserver = pfn;
  g_pSatContext = pContext;
}
void AllowClockCorrection(bool fAllow) { g_fClockAllowed = fAllow; }
void SetUtcNowSource(UtcNowSource pfn) { g_pfnUtcNow = pfn; }
const char16_t* DemoFileName() { return u"Demo.gdb"; }

float GeoidHeightAt(float lat, float lon) {
  if (g_hooks.pfnGeoidHeight) return g_hooks.pfnGeoidHeight(lat, lon);
  return GetGeoidHeight(lat, lon);
}

// ---- getters ----

GpsFix GetFix() {
  CLock lock(g_csPositioning);
  return g_fix;
}

bool GetCursor(float* pLon, float* pLat, float* pHeading) {
  CLock lock(g_csPositioning);
  if (pLon) *pLon = g_cursor.fLon;
  if (pLat) *pLat = g_cursor.fLat;
  if (pHeading) *pHeading = g_cursor.fHeading;
  return g_fix.Has(gfPosition);
}

bool GetCursor(float* pLon, float* pLat, float* pHeading, float* pSpeed, bool* pfSpeedValid, bool* pfCourseValid) {
  CLock lock(g_csPositioning);
  if (pSpeed) *pSpeed = g_cursor.fSpeed;
  if (pfSpeedValid) *pfSpeedValid = g_cursor.fSpeedValid;
  if (pfCourseValid) *pfCourseValid = g_cursor.fCourseValid;
  return GetCursor(pLon, pLat, pHeading);
}

void GetStatusText(char16_t* pszBuf, int cchBuf) {
  if (!pszBuf || cchBuf <= 0) return;
  if (cchBuf > 128) cchBuf = 128;
  CLock lock(g_csPositioning);
  StrCopy(pszBuf, size_t(cchBuf), g_szStatus);
}

int GetSatelliteCapacity() {
  CLock lock(g_csPositioning);
  return int(g_aSatellites.size());
}

SatelliteInfo GetSatellite(int i) {
  CLock lock(g_csPositioning);
  if (i < 0 || size_t(i) >= g_aSatellites.size()) return SatelliteInfo{};
  return g_aSatellites[size_t(i)];
}

float GetAverageSpeed() {
  CLock lock(g_csPositioning);
  return g_fAverageSpeed;
}

float GetRecentAverageSpeed() {
  CLock lock(g_csPositioning);
  return g_fRecentSpeed;
}

bool IsPortOpen(int nPort) {
  ASSERT(c_cMinComPort <= nPort && nPort <= c_cMaxComPort);
  if (nPort < c_cMinComPort || nPort > c_cMaxComPort) return false;
  return g_afPortOpen[nPort - c_cMinComPort].load();
}

// ---- from the protocols ----

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

void OnFix(const GpsFix& fixIn) {
  bool fRecord = false;
  int cSatellites = 0;
  GpsFix fix;
  FixObserver pfnObserver;
  void* pContext;
  {
    CLock lock(g_csPositioning);
    bool fPrev = g_fix.Has(gfPosition), fCur = fixIn.Has(gfPosition);
    if (fPrev && fCur) {
      fRecord = IsNewTrackPoint(g_fix, fixIn);
    } else if (!fPrev && fCur) {
      GpsLog(u"New track started due to position was lost in previous fix.");
      QueueVoice("GPSConnected");
      Tracking::NewTrack();
      VisualTracking::NewSegment();
      fRecord = true;
    } else if (fPrev && !fCur) {
      QueueVoice("GPSMissing");
    }
    g_fix = fixIn;
    if (!g_fix.Has(gfGeoidSeparation) && g_fix.Has(gfPosition))
      g_fix.SetGeoidSeparation(GeoidHeightAt(g_fix.latitude, g_fix.longitude));
    if (GetSettingBool(setting::GPSElevationIsOverEllipsoid) && g_fix.Has(gfAltitude) &&
        g_fix.Has(gfGeoidSeparation))
      g_fix.altitude -= g_fix.geoidSeparation;
    if (g_fix.Has(gfSpeed) && g_fix.speed >= 2.0f) PushSpeed(g_fix.speed);
    cSatellites = g_fix.Has(gfSatellitesUsed) ? g_fix.satellitesUsed : 0;
    fix = g_fix;
    pfnObserver = g_pfnFixObserver;
    pContext = g_pFixContext;
  }
  if (fRecord) {
    Tracking::AddTrackPoint(fix);
    VisualTracking::Append(fix.longitude, fix.latitude);
  }
  PostGpsNotification(c_msgGpsFix);
  SetGpsIndicatorSatellites(cSatellites);
  if (pfnObserver) pfnObserver(fix, pContext);
}

void OnNoFix() {
  GpsLog(u"No position info reported.");
  if (g_hooks.pfnPositionLost) g_hooks.pfnPositionLost();
  Tracking::NewTrack();
  VisualTracking::NewSegment();
}

void SetCursor(float lon, float lat, float course, bool fCourseValid, float speed, bool fSpeedValid) {
  bool fChanged = false, fMoved = false;
  {
    CLock lock(g_csPositioning);
    if (lon != g_cursor.fLon || lat != g_cursor.fLat) {
      g_cursor.fLon = lon;
      g_cursor.fLat = lat;
      fChanged = fMoved = true;
    }
    if (fCourseValid && fSpeedValid) {
      if (course < 0) course += 360.0f;
      if (speed >= 2.0f) g_cursor.fHeading = course;
      fChanged = true;
    }
    if (fSpeedValid) g_cursor.fSpeed = speed;
    g_cursor.fCourseValid = fCourseValid;
    g_cursor.fSpeedValid = fSpeedValid;
  }
  if (fMoved && g_hooks.pfnSetPointOfInterest && std::isfinite(lon) && std::isfinite(lat) &&
      GetSettingBool(setting::KeepVisible))
    g_hooks.pfnSetPointOfInterest(int32_t(std::lround(double(lon) * 1073741824.0 / 180.0)),
                                  int32_t(std::lround(double(lat) * 1073741824.0 / 180.0)));
  if (fChanged) PostGpsNotification(c_msgGpsCursor);
}

void ResetSatellites(int cCapacity) {
  if (cCapacity < 0) cCapacity = 0;
  CLock lock(g_csPositioning);
  g_aSatellites.assign(size_t(cCapacity), SatelliteInfo{});
  g_cSatellites = 0;
}

void GrowSatellites(int cMore) {
  if (cMore <= 0) return;
  CLock lock(g_csPositioning);
  g_aSatellites.resize(g_aSatellites.size() + size_t(cMore), SatelliteInfo{});
}

void AppendSatellite(const SatelliteInfo& info) {
  CLock lock(g_csPositioning);
  if (size_t(g_cSatellites) < g_aSatellites.size()) g_aSatellites[size_t(g_cSatellites++)] = info;
}

void SatellitesComplete() {
  SatelliteObserver pfn;
  void* pContext;
  {
    CLock lock(g_csPositioning);
    pfn = g_pfnSatObserver;
    pContext = g_pSatContext;
  }
  PostGpsNotification(c_msgGpsSatellites);
  if (pfn) pfn(pContext);
}

void FixupClock(double gpsTime) {
  double dOffset = (UtcNowDays() - gpsTime) * 86400000.0;
  if (g_fClockAllowed && GetSettingBool(setting::FixupClock) &&
      std::fabs(dOffset) >= double(int32_t(GetSetting(setting::FixupClockThreshold)))) {
    uint32_t now = GpsTickMs();
    if (!g_fCorrectedOnce || now - g_dwLastCorrection > 10000) {
      g_fCorrectedOnce = true;
      g_dwLastCorrection = now;
      CSystemTime st;
      if (DaysToSystemTime(gpsTime, st) && SetSystemTimeUtc(st)) {
        g_nClockOffset = 0;
        ++g_cClockCorrections;
        return;
      }
    }
  }
  if (!std::isfinite(dOffset) || std::fabs(dOffset) > 2.0e9) dOffset = dOffset < 0 ? -2.0e9 : 2.0e9;
  g_nClockOffset = int32_t(std::lround(dOffset));
}

void SetGpsStatus(uint32_t ids, ...) {
  char16_t szFormat[128];
  LoadResString(ids, szFormat, 128);
  char16_t szText[128];
  va_list args;
  va_start(args, ids);
  FormatV(szText, 128, szFormat, args);
  va_end(args);
  GpsLog(u"STATUS: %s", szText);
  {
    CLock lock(g_csPositioning);
    StrCopy(g_szStatus, 128, szText);
  }
  PostGpsNotification(c_msgGpsStatus);
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
    if (g_hooks.pfnGuardPortThread)
      g_hooks.pfnGuardPortThread(nPort, RunProtocols, &run);
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
  if (!g_pfSpeeds) g_pfSpeeds = new float[c_cSpeedBufSize];
  ClearSpeedRing();
  g_evFound.Reset();
  g_evStop.Reset();
  SetGpsStatus(c_idsNoConnection);
  if (GetSettingBool(setting::ScanCOMPorts)) StartGps();
}

void DonePositioning() {
  StopGps();
  delete[] g_pfSpeeds;
  g_pfSpeeds = nullptr;
}

bool IsGpsRunning() { return g_fReading; }

void StartGps() {
  StopGps();
  {
    CLock lock(g_csPositioning);
    ClearSpeedRing();
  }
  if (g_hooks.pfnReadingStarts) g_hooks.pfnReadingStarts();
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
    ResetSatellites(0);
    PostGpsNotification(c_msgGpsSatellites);
    if (g_hooks.pfnReadingStops) g_hooks.pfnReadingStops();
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

void ResetPositioningForTests() {
  CLock lock(g_csPositioning);
  g_fix = GpsFix{};
  g_cursor = Cursor{};
  g_aSatellites.clear();
  g_cSatellites = 0;
  if (!g_pfSpeeds) g_pfSpeeds = new float[c_cSpeedBufSize];
  ClearSpeedRing();
  g_fCorrectedOnce = false;
  g_dwLastCorrection = 0;
  g_cChecksumErrors = 0;
  g_nClockOffset = 0;
  g_cClockCorrections = 0;
}
