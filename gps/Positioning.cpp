#include "gps/Positioning.h"

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>

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

const int c_cPorts = c_cMaxComPort - c_cMinComPort + 1;
// How long StopGps waits for the port threads (all together) and for the
// demo thread before it abandons them.
const uint32_t c_dwStopWaitMs = 2000;

// What the threads of one reading run (one StartGps) share. Each thread
// holds it, so a thread that StopGps abandoned (a port whose open or read
// never returns) still has everything it uses when it wakes; it then sees
// its run stopped and ends without touching the next run.
struct ReadingRun {
  CEvent evStop, evFound, evAllEnded;
  std::atomic<bool> fStop{false};
  std::atomic<int> cRunning{0};
  std::atomic<bool> afPortOpen[c_cPorts];
  ReadingRun() {
    for (std::atomic<bool>& f : afPortOpen) f = false;
  }
};

CCritSec g_csRun;                    // guards g_pRun (the GUI thread changes it)
std::shared_ptr<ReadingRun> g_pRun;  // the current run, null when reading is off
CThread g_aPortThreads[c_cPorts];
int g_cPortThreads = 0;
CThread g_demoThread;
bool g_fReading = false;
std::atomic<PortThreadGuard> g_pfnGuard{nullptr};

std::shared_ptr<ReadingRun> CurrentRun() {
  CLock lock(g_csRun);
  return g_pRun;
}

// A thread's start: the run it belongs to and its port.
struct ThreadStart {
  std::shared_ptr<ReadingRun> pRun;
  int nPort;
};

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

bool IsPortOpen(int nPort) {
  ASSERT(c_cMinComPort <= nPort && nPort <= c_cMaxComPort);
  if (nPort < c_cMinComPort || nPort > c_cMaxComPort) return false;
  std::shared_ptr<ReadingRun> pRun = CurrentRun();
  return pRun && pRun->afPortOpen[nPort - c_cMinComPort].load();
}

const char16_t* DemoFileName() { return u"Demo.gdb"; }
void SetPortThreadGuard(PortThreadGuard pfn) { g_pfnGuard = pfn; }


// ---- threads ----

namespace {

struct PortRun {
  ComPort* pPort;
  int nPort;
  ReadingRun* pReading;
};

// The protocols one after the other on an open port until stopped.
void RunProtocols(void* pParam) {
  PortRun* pRun = static_cast<PortRun*>(pParam);
  ReadingRun& reading = *pRun->pReading;
  while (!reading.fStop) {
    bool fAnyEnabled = false, fClose = false;
    for (const ProtocolEntry* pEntry = GetProtocolList(); pEntry && !fClose && !reading.fStop;
         pEntry = pEntry->pNext) {
      if (!pEntry->IsEnabled()) continue;
      fAnyEnabled = true;
      std::unique_ptr<GpsProtocol> pProtocol(pEntry->pfnFactory());
      if (!pProtocol) continue;
      fClose = pProtocol->RunOnPort(pEntry, pRun->pPort, pRun->nPort, &reading.evStop, &reading.evFound);
      pProtocol.reset();
      if (!fClose && !reading.fStop) GetPositionHub().OnNoFix();
    }
    if (fClose) break;
    if (!fAnyEnabled) {
      GetPositionHub().SetStatus(c_idsAllProtocolsDisabled);
      reading.evStop.Wait(1000);
    }
  }
}

void PortThread(void* pParam) {
  std::unique_ptr<ThreadStart> pStart(static_cast<ThreadStart*>(pParam));
  std::shared_ptr<ReadingRun> pReading = std::move(pStart->pRun);
  const int nPort = pStart->nPort;
  ComPort port;
  bool fOpenFailed = false;
  if (!port.Open(nPort, true, true)) {
    char16_t szName[16];
    Format(szName, 16, u"COM%d:", nPort);
    GpsLog(u"%s failed to open (error code %d).", szName, int(port.LastError()));
    fOpenFailed = true;
  } else if (!pReading->fStop) {
    pReading->afPortOpen[nPort - c_cMinComPort] = true;
    GpsLog(u"%s opened.", port.Name());
    PortRun run = {&port, nPort, pReading.get()};
    PortThreadGuard pfnGuard = g_pfnGuard.load();
    if (pfnGuard)
      pfnGuard(nPort, RunProtocols, &run);
    else
      RunProtocols(&run);
    GpsLog(u"%s closed.", port.Name());
    pReading->afPortOpen[nPort - c_cMinComPort] = false;
  }
  // An open that returned after the run was stopped closes the port unused.
  port.Close();
  if (--pReading->cRunning == 0) {
    // A stopped run's state belongs to StopGps (and maybe to the next run).
    if (!pReading->fStop) {
      if (fOpenFailed) GetPositionHub().SetStatus(c_idsNoPortOpened);
      GetPositionHub().SetIndicatorDisconnected();
    }
    pReading->evAllEnded.Set();
  }
}

void DemoThread(void* pParam) {
  std::unique_ptr<ThreadStart> pStart(static_cast<ThreadStart*>(pParam));
  std::shared_ptr<ReadingRun> pReading = std::move(pStart->pRun);
  CEvent& evStop = pReading->evStop;
  GetPositionHub().SetStatus(c_idsDemoTrack);
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
        GetPositionHub().OnFix(invalid);
        if (evStop.Wait(1000)) break;
        fix.Start();
        if (!pReader->NextPoint(fix)) break;
      }
      fix.SetStatus(fsSimulation);
      GetPositionHub().SetCursor(fix.longitude, fix.latitude, fix.course, fix.Has(gfCourse), fix.speed, fix.Has(gfSpeed));
      GetPositionHub().OnFix(fix);
      if (evStop.Wait(1000)) break;
    }
    pReader->Destroy();
  }
  if (!pReading->fStop) GetPositionHub().SetStatus(c_idsNoConnection);
}

}  // namespace

void InitPositioning() {
  GetPositionHub().SetStatus(c_idsNoConnection);
  if (GetSettingBool(setting::ScanCOMPorts)) StartGps();
}

void DonePositioning() {
  StopGps();
}

bool IsGpsRunning() { return g_fReading; }

void StartGps() {
  StopGps();
  GetPositionHub().ReadingStarts();
  std::shared_ptr<ReadingRun> pReading = std::make_shared<ReadingRun>();
  {
    CLock lock(g_csRun);
    g_pRun = pReading;
  }
  g_fReading = true;
  std::u16string demo = JoinPath(GetProgramFolder(), DemoFileName());
  if (FileExists(demo.c_str())) {
    g_demoThread.Start(DemoThread, new ThreadStart{pReading, 0}, tpAboveNormal);
    return;
  }
  for (int n = c_cMinComPort; n <= c_cMaxComPort; ++n) {
    std::u16string name = FormatStr(setting::Enable_COM_d.pszName, n);
    DWORD dw = GetDword(name.c_str(), 0xFFFFFFFFu);
    if (dw == 0xFFFFFFFFu) {
      // A port without a value is on, and the value is written for the user.
      SetDword(name.c_str(), 1);
      dw = 1;
    }
    if (dw == 0) continue;
    ASSERT(g_cPortThreads < c_cPorts && "false");
    ++pReading->cRunning;
    ThreadStart* pStart = new ThreadStart{pReading, n};
    if (!g_aPortThreads[g_cPortThreads].Start(PortThread, pStart, tpAboveNormal)) {
      delete pStart;
      --pReading->cRunning;
      continue;
    }
    ++g_cPortThreads;
  }
}

// Stops the run: the threads get up to 2000 ms (the port threads together)
// to end; one that does not (blocked in the system) is abandoned and ends
// by itself later, holding its own share of the run.
void StopGps() {
  if (g_fReading) {
    GetPositionHub().ReadingStops();
  }
  std::shared_ptr<ReadingRun> pReading;
  {
    CLock lock(g_csRun);
    pReading.swap(g_pRun);
  }
  if (pReading) {
    pReading->fStop = true;
    pReading->evStop.Set();
  }
  const uint32_t dwStart = GetTickMs();
  for (int i = 0; i < g_cPortThreads; ++i) {
    const uint32_t dwSpent = GetTickMs() - dwStart;
    const uint32_t dwLeft = dwSpent < c_dwStopWaitMs ? c_dwStopWaitMs - dwSpent : 0;
    if (!g_aPortThreads[i].JoinFor(dwLeft)) GpsLog(u"A port thread did not end in time and was abandoned.");
  }
  g_cPortThreads = 0;
  if (!g_demoThread.JoinFor(c_dwStopWaitMs)) GpsLog(u"The demo thread did not end in time and was abandoned.");
  if (g_fReading) GetPositionHub().SetIndicatorDisconnected();
  g_fReading = false;
  GetPositionHub().SetStatus(c_idsNoConnection);
}
