// The position stream: one hub between the sources of positions (receiver
// protocols on their port threads, the demo player, replays) and everything
// that follows the position (the map page, the track recorder and the visual
// track, the gauges, the satellite page, guidance, the voice events).
//
// Sources hand over what they decoded: a fix, a cursor update, a satellite
// table, a status text. The hub applies positioning's corrections under its
// lock (geoid separation, altitude over the ellipsoid, the speed ring, the
// track-point rule, the clock correction) and publishes:
//  - to listeners, at once, on the source's thread, in the order things
//    happened and outside the lock (the track recorder, the visual track,
//    the voice events);
//  - to views, on the thread of the main window: the hub posts one coalesced
//    notification per kind (a kind is posted again only after the previous
//    one was delivered) and the window hands it back to Deliver, which calls
//    the views with the state as it is then (the map page, the gauges, the
//    satellite page, guidance).
// No source knows its subscribers and no subscriber reaches into the hub's
// state other than through its getters.
#pragma once
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <vector>

#include "gps/GpsFix.h"
#include "gps/GpsNotify.h"
#include "platform/Thread.h"

// The map cursor: the position the map marks, with heading and speed.
struct MapCursor {
  float fLon = 0, fLat = 0;
  float fHeading = 0;  // degrees 0..360
  float fSpeed = 0;    // km/h
  bool fCourseValid = false, fSpeedValid = false;
  bool fPosition = false;  // the current fix has a position
};

// Events a listener hears besides fixes.
enum GpsEvent {
  geConnected = 0,  // the position came back ("GPSConnected")
  geMissing = 1,    // the position was lost ("GPSMissing")
};
// The voice prompt name of an event.
const char* GpsEventName(GpsEvent ev);

// Hears the stream at once on the source's thread. Handlers must be quick and
// must not subscribe or unsubscribe.
class CPositionListener {
 public:
  virtual ~CPositionListener() = default;
  // A fix after the corrections; dwChanged has the bit of every field whose
  // validity or value differs from the previous fix.
  virtual void OnFixTaken(const GpsFix& fix, uint32_t dwChanged) {}
  // The fix moved far enough to be a new track point.
  virtual void OnTrackPoint(const GpsFix& fix) {}
  // The next track point starts a new track (the position was lost).
  virtual void OnTrackBreak() {}
  virtual void OnGpsEvent(GpsEvent ev) {}
  // A protocol gave up on its port.
  virtual void OnPositionLost() {}
  virtual void OnCursorMoved(const MapCursor& cursor) {}
  // A complete satellite table (cCount entries; an empty one when cleared).
  virtual void OnSkyComplete(const SatelliteInfo* pSatellites, int cCount) {}
  // Reading starts or stops (on the thread that starts or stops it).
  virtual void OnReadingStarts() {}
  virtual void OnReadingStops() {}
};

// Hears the stream on the main window's thread, coalesced.
class CPositionView {
 public:
  virtual ~CPositionView() = default;
  // dwChanged: every field changed since the previous delivery.
  virtual void OnFixChanged(const GpsFix& fix, uint32_t dwChanged) {}
  virtual void OnCursorChanged(const MapCursor& cursor) {}
  virtual void OnSatellitesChanged() {}
  virtual void OnStatusChanged() {}
  virtual void OnIndicatorChanged() {}
};

// The icons of the GPS indicator: no port reading (or the position lost by
// every port), a port reading without satellites, satellites received.
const uint32_t c_idiGpsDisconnected = 101;
const uint32_t c_idiGpsConnected = 102;
const uint32_t c_idiGpsReceiving = 103;

// Test seams: the UTC clock the clock correction compares with (days since
// 1899-12-30), and the geoid model for fixes without a geoid separation.
typedef double (*UtcNowSource)();
typedef float (*GeoidSource)(float fLat, float fLon);

class CPositionHub {
 public:
  CPositionHub();
  ~CPositionHub();
  CPositionHub(const CPositionHub&) = delete;
  CPositionHub& operator=(const CPositionHub&) = delete;

  // ---- subscribers (any thread, never from inside a handler) ----
  void Subscribe(CPositionListener* pListener);
  void Unsubscribe(CPositionListener* pListener);
  void Subscribe(CPositionView* pView);
  void Unsubscribe(CPositionView* pView);

  // ---- the window side ----
  // Installs the poster of the coalesced notifications; returns the old one.
  GpsPostFn SetPoster(GpsPostFn pfn);
  // The window handled notification uMsg: the views hear it, then the kind
  // may be posted again.
  void Deliver(uint32_t uMsg);

  // ---- sources (any thread) ----
  void OnFix(const GpsFix& fix);
  void OnNoFix();
  void SetCursor(float lon, float lat, float course, bool fCourseValid, float speed, bool fSpeedValid);
  void ResetSatellites(int cCapacity);
  // Adds room for more satellites, keeping those already in the table (a
  // receiver that reports each constellation in its own group).
  void GrowSatellites(int cMore);
  void AppendSatellite(const SatelliteInfo& info);
  void SatellitesComplete();
  // Clears the table and tells everyone (reading stopped).
  void ClearSatellites();
  void FixupClock(double gpsTime);
  void SetStatus(uint32_t ids, ...);
  void SetStatusV(uint32_t ids, va_list args);
  void SetIndicatorDisconnected();
  void SetIndicatorSatellites(int cSatellites);
  void CountChecksumError() { ++m_cChecksumErrors; }
  // A damaged stretch of a stream that a decoder skipped.
  void CountSkippedData() { ++m_cSkipped; }
  void ReadingStarts();
  void ReadingStops();

  // ---- getters (any thread) ----
  GpsFix GetFix();
  MapCursor GetCursor();
  void GetStatusText(char16_t* pszBuf, int cchBuf);
  int GetSatelliteCapacity();
  SatelliteInfo GetSatellite(int i);  // all zero beyond the capacity
  float GetAverageSpeed();
  float GetRecentAverageSpeed();
  int GetIndicatorSatellites() const { return m_cIndicator.load(); }  // -1 disconnected
  uint32_t GetIndicatorIcon() const;  // c_idiGps...

  // The hub's track-point rule: cur is a new track point after prev when it
  // moved beyond its horizontal error (any move without one) in both
  // longitude and latitude.
  static bool IsNewTrackPoint(const GpsFix& prev, const GpsFix& cur);
  uint32_t ChecksumErrors() const { return m_cChecksumErrors.load(); }
  uint32_t SkippedData() const { return m_cSkipped.load(); }
  int32_t ClockOffset() const { return m_nClockOffset.load(); }  // ms, system - GPS
  uint32_t ClockCorrections() const { return m_cClockCorrections.load(); }

  // ---- settings of a run ----
  // Setting the system clock can be switched off (replays, tests); the
  // FixupClock setting still decides otherwise.
  void AllowClockCorrection(bool fAllow) { m_fClockAllowed = fAllow; }
  void SetUtcNowSource(UtcNowSource pfn) { m_pfnUtcNow = pfn; }
  void SetGeoidSource(GeoidSource pfn) { m_pfnGeoid = pfn; }
  // The geoid height for fixes without one (metres).
  float GeoidHeight(float fLat, float fLon) const;
  // The earliest date the clock may ever be set to (days since 1899-12-30).
  void SetClockFloor(double dFloor) { m_dClockFloor = dFloor; }
  // The earliest date a receiver's date may mean (the program's build date
  // unless told otherwise: a replay of an old capture is told the day the
  // program would have been built for it). Dates seen later move it on.
  void SetDatePivot(double dPivot);
  double DatePivot();
  // A date from a receiver put into its 1024-week period (FixupGpsEpoch
  // with this hub's pivot). The pivot that follows the dates seen moves a
  // date on by a period only where it continues the run from the last date
  // (within c_dDateContinuityDays): a date that steps back in time (another
  // receiver, another capture) stays in the period the first pivot gives it,
  // so dates never climb by whole periods.
  double ResolveGpsDate(double date);
  static constexpr double c_dDateContinuityDays = 31.0;
  // Forgets everything kept between fixes (tests, replays).
  void Reset();

  static const int c_cSpeedBufSize = 100;

 private:
  void Post(uint32_t uMsg);
  void PushSpeed(float f);
  void ClearSpeedRing();
  double UtcNow() const;
  template <typename F>
  void ForListeners(F f);
  template <typename F>
  void ForViews(F f);

  platform::CCritSec m_cs;  // the positioning lock
  GpsFix m_fix;
  uint32_t m_dwChangedForViews = 0;
  MapCursor m_cursor;
  std::vector<SatelliteInfo> m_aSatellites;  // size = capacity
  int m_cSatellites = 0;
  char16_t m_szStatus[128];
  float m_afSpeeds[c_cSpeedBufSize];
  int m_cSpeedNext = 0, m_cSpeedCount = 0;
  float m_fAverageSpeed = 0, m_fRecentSpeed = 0;
  bool m_fCorrectedOnce = false;
  uint32_t m_dwLastCorrection = 0;

  // Each list has its own lock. Listeners are called under theirs (they are
  // quick); views are called on a copy of their list with no lock held,
  // since a view may draw and dispatch the window's messages meanwhile.
  platform::CCritSec m_csListeners;
  std::vector<CPositionListener*> m_apListeners;
  platform::CCritSec m_csViews;
  std::vector<CPositionView*> m_apViews;

  std::atomic<GpsPostFn> m_pfnPost{nullptr};
  std::atomic<bool> m_afPending[c_msgGpsIndicator - c_msgGpsStatus + 1];
  std::atomic<int> m_cIndicator{-1};
  std::atomic<uint32_t> m_cChecksumErrors{0};
  std::atomic<uint32_t> m_cSkipped{0};
  std::atomic<int32_t> m_nClockOffset{0};
  std::atomic<uint32_t> m_cClockCorrections{0};
  std::atomic<bool> m_fClockAllowed{true};
  UtcNowSource m_pfnUtcNow = nullptr;
  GeoidSource m_pfnGeoid = nullptr;
  double m_dClockFloor = 0;
  double m_dDatePivot;  // under m_cs, as the next three
  double m_dFirstPivot;  // the pivot given (or the build date), before any date moved it
  double m_dLastDate = 0;
  bool m_fDateSeen = false;
};

// The program's hub: the ports and the demo player feed it.
CPositionHub& GetPositionHub();

// Fields whose validity or value differ between two fixes (GpsFixFlags bits).
uint32_t ChangedFields(const GpsFix& prev, const GpsFix& cur);
