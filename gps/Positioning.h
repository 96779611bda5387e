// Positioning: the current fix, the map cursor, the satellite table, the
// speed averages, the GPS status text, the clock correction and the threads
// that read the serial ports (or replay the demo track).
#pragma once
#include <atomic>
#include <cstdint>

#include "gps/GpsFix.h"

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

// ---- protocols (any port thread) ----
void OnFix(const GpsFix& fix);
void OnNoFix();
void SetCursor(float lon, float lat, float course, bool fCourseValid, float speed, bool fSpeedValid);
void ResetSatellites(int cCapacity);
// Adds room for more satellites, keeping those already in the table (a
// receiver that reports each constellation in its own group).
void GrowSatellites(int cMore);
void AppendSatellite(const SatelliteInfo& info);
void SatellitesComplete();
void FixupClock(double gpsTime);
void SetGpsStatus(uint32_t ids, ...);

extern std::atomic<uint32_t> g_cChecksumErrors;
extern std::atomic<int32_t> g_nClockOffset;       // ms, system - GPS
extern std::atomic<uint32_t> g_cClockCorrections;

// Setting the system clock from GPS time can be switched off for a run
// (replays and tests); the FixupClock setting still decides otherwise.
void AllowClockCorrection(bool fAllow);

// ---- hooks of other subsystems ----
struct PositioningHooks {
  void (*pfnQueueVoice)(const char* pszEvent);           // "GPSConnected", "GPSMissing"
  void (*pfnPositionLost)();                             // gauges
  void (*pfnReadingStarts)();                            // trip statistics
  void (*pfnReadingStops)();
  void (*pfnSetPointOfInterest)(int32_t x, int32_t y);   // map units, KeepVisible
  float (*pfnGeoidHeight)(float lat, float lon);         // metres
  // Runs the part of a port thread that handles the port's data, pfnBody
  // (pParam), inside the shell's crash guard for port nPort. When a fault is
  // caught the guard returns, and the thread closes its port and ends as
  // usual. Without it the body runs directly.
  void (*pfnGuardPortThread)(int nPort, void (*pfnBody)(void* pParam), void* pParam);
};
void SetPositioningHooks(const PositioningHooks& hooks);

// Observers (replays, tests): every fix taken by OnFix, after its
// corrections, and every completed satellite table.
typedef void (*FixObserver)(const GpsFix& fix, void* pContext);
typedef void (*SatelliteObserver)(void* pContext);
void SetFixObserver(FixObserver pfn, void* pContext);
void SetSatelliteObserver(SatelliteObserver pfn, void* pContext);

// The demo file beside the program.
const char16_t* DemoFileName();  // "Demo.gdb"
// The geoid height used for fixes without one (the hook, else the table of
// the geodesy layer).
float GeoidHeightAt(float lat, float lon);
// Tests replace the UTC clock FixupClock compares with (days since 1899-12-30).
typedef double (*UtcNowSource)();
void SetUtcNowSource(UtcNowSource pfn);

// The speed ring (exposed for tests).
const int c_cSpeedBufSize = 100;
// The tolerance rule of OnFix for a new track point.
bool IsNewTrackPoint(const GpsFix& prev, const GpsFix& cur);
// Clears the state kept between fixes (tests).
void ResetPositioningForTests();
