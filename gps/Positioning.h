// Positioning: the GPS ports and the demo player that feed the program's
// position hub, and the positioning interface the rest of the program knows
// (the current fix, the cursor, the satellites, the status text, the speed
// averages, the clock correction), each a short way into the hub.
#pragma once
#include <atomic>
#include <cstdint>

#include "gps/GpsFix.h"
#include "gps/PositionHub.h"

// ---- shell and GUI ----
void InitPositioning();   // start-up; calls StartGps when ScanCOMPorts is on
void DonePositioning();   // shutdown
void StartGps();
void StopGps();
bool IsGpsRunning();

GpsFix GetFix();
// Cursor position and heading; true when the current fix has a position.
bool GetCursor(float* pLon, float* pLat, float* pHeading);
bool GetCursor(float* pLon, float* pLat, float* pHeading, float* pSpeed, bool* pfSpeedValid, bool* pfCourseValid);
void GetStatusText(char16_t* pszBuf, int cchBuf);
int GetSatelliteCapacity();
SatelliteInfo GetSatellite(int i);  // all zero beyond the capacity
float GetAverageSpeed();
float GetRecentAverageSpeed();
bool IsPortOpen(int nPort);

// Sources hand their data to the program's hub (GetPositionHub()).

// The crash guard of the port threads: runs pfnBody(pParam), the part of a
// port thread that handles the port's data, inside the shell's guard for
// port nPort. When a fault is caught the guard returns, and the thread
// closes its port and ends as usual. Without a guard the body runs directly.
typedef void (*PortThreadGuard)(int nPort, void (*pfnBody)(void* pParam), void* pParam);
void SetPortThreadGuard(PortThreadGuard pfn);

// The demo file beside the program.
const char16_t* DemoFileName();  // "Demo.gdb"

const int c_cSpeedBufSize = CPositionHub::c_cSpeedBufSize;
