#include "gps/PositionHub.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "geo/Geodesy.h"
#include "gps/GpsLog.h"
#include "gps/GpsTime.h"
#include "gps/Positioning.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Str.h"

using namespace platform;

const char* GpsEventName(GpsEvent ev) { return ev == geConnected ? "GPSConnected" : "GPSMissing"; }

uint32_t ChangedFields(const GpsFix& prev, const GpsFix& cur) {
  uint32_t dw = prev.dwFlags ^ cur.dwFlags;
  auto same = [](auto a, auto b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  struct Field {
    uint32_t dwFlag;
    bool fSame;
  };
  const Field aFields[] = {
      {gfTime, same(prev.time, cur.time)},
      {gfPosition, same(prev.longitude, cur.longitude) && same(prev.latitude, cur.latitude)},
      {gfHorizontalError, same(prev.horizontalError, cur.horizontalError)},
      {gfAltitude, same(prev.altitude, cur.altitude)},
      {gfVerticalError, same(prev.verticalError, cur.verticalError)},
      {gfGeoidSeparation, same(prev.geoidSeparation, cur.geoidSeparation)},
      {gfCourse, same(prev.course, cur.course)},
      {gfMagneticVariation, same(prev.magneticVariation, cur.magneticVariation)},
      {gfSpeed, same(prev.speed, cur.speed)},
      {gfVerticalSpeed, same(prev.verticalSpeed, cur.verticalSpeed)},
      {gfSatellitesUsed, same(prev.satellitesUsed, cur.satellitesUsed)},
      {gfStatus, same(prev.status, cur.status)},
      {gfHdop, same(prev.hdop, cur.hdop)},
      {gfVdop, same(prev.vdop, cur.vdop)},
      {gfDgpsAge, same(prev.dgpsAge, cur.dgpsAge)},
      {gfDgpsStation, same(prev.dgpsStation, cur.dgpsStation)},
      {gfDepth, same(prev.depth, cur.depth)},
      {gfWaterTemperature, same(prev.waterTemperature, cur.waterTemperature)},
  };
  for (const Field& f : aFields)
    if (cur.Has(f.dwFlag) && prev.Has(f.dwFlag) && !f.fSame) dw |= f.dwFlag;
  return dw;
}

CPositionHub::CPositionHub() {
  m_dDatePivot = m_dFirstPivot = BuildDate();
  m_fix = GpsFix{};
  m_szStatus[0] = 0;
  for (std::atomic<bool>& f : m_afPending) f = false;
  ClearSpeedRing();
}

CPositionHub::~CPositionHub() = default;

// ---- subscribers ----

template <typename F>
void CPositionHub::ForListeners(F f) {
  CLock lock(m_csListeners);
  for (size_t i = 0; i < m_apListeners.size(); ++i) f(m_apListeners[i]);
}

template <typename F>
void CPositionHub::ForViews(F f) {
  // Views draw, and a drawing pass dispatches the window's messages: no lock
  // is held while they run (a port thread must never wait on a view).
  std::vector<CPositionView*> apViews;
  {
    CLock lock(m_csViews);
    apViews = m_apViews;
  }
  for (CPositionView* p : apViews) f(p);
}

void CPositionHub::Subscribe(CPositionListener* pListener) {
  CLock lock(m_csListeners);
  if (pListener && std::find(m_apListeners.begin(), m_apListeners.end(), pListener) == m_apListeners.end())
    m_apListeners.push_back(pListener);
}

void CPositionHub::Unsubscribe(CPositionListener* pListener) {
  // Taking the lock waits for a handler that is running on another thread.
  CLock lock(m_csListeners);
  m_apListeners.erase(std::remove(m_apListeners.begin(), m_apListeners.end(), pListener), m_apListeners.end());
}

void CPositionHub::Subscribe(CPositionView* pView) {
  CLock lock(m_csViews);
  if (pView && std::find(m_apViews.begin(), m_apViews.end(), pView) == m_apViews.end()) m_apViews.push_back(pView);
}

void CPositionHub::Unsubscribe(CPositionView* pView) {
  CLock lock(m_csViews);
  m_apViews.erase(std::remove(m_apViews.begin(), m_apViews.end(), pView), m_apViews.end());
}

// ---- notifications ----

GpsPostFn CPositionHub::SetPoster(GpsPostFn pfn) {
  for (std::atomic<bool>& f : m_afPending) f = false;
  return m_pfnPost.exchange(pfn);
}

void CPositionHub::Post(uint32_t uMsg) {
  if (uMsg < c_msgGpsStatus || uMsg > c_msgGpsIndicator) return;
  GpsPostFn pfn = m_pfnPost.load();
  if (!pfn) return;
  // Posted again only after the previous one of its kind was delivered.
  if (m_afPending[uMsg - c_msgGpsStatus].exchange(true)) return;
  if (!pfn(uMsg)) m_afPending[uMsg - c_msgGpsStatus] = false;
}

void CPositionHub::Deliver(uint32_t uMsg) {
  if (uMsg < c_msgGpsStatus || uMsg > c_msgGpsIndicator) return;
  switch (uMsg) {
    case c_msgGpsStatus:
      ForViews([](CPositionView* p) { p->OnStatusChanged(); });
      break;
    case c_msgGpsFix: {
      GpsFix fix;
      uint32_t dwChanged;
      {
        CLock lock(m_cs);
        fix = m_fix;
        dwChanged = m_dwChangedForViews;
        m_dwChangedForViews = 0;
      }
      ForViews([&](CPositionView* p) { p->OnFixChanged(fix, dwChanged); });
      break;
    }
    case c_msgGpsCursor: {
      MapCursor cursor = GetCursor();
      ForViews([&](CPositionView* p) { p->OnCursorChanged(cursor); });
      break;
    }
    case c_msgGpsSatellites:
      ForViews([](CPositionView* p) { p->OnSatellitesChanged(); });
      break;
    case c_msgGpsIndicator:
      ForViews([](CPositionView* p) { p->OnIndicatorChanged(); });
      break;
  }
  m_afPending[uMsg - c_msgGpsStatus] = false;
}

// ---- the speed ring ----

void CPositionHub::ClearSpeedRing() {
  std::memset(m_afSpeeds, 0, sizeof m_afSpeeds);
  m_cSpeedNext = m_cSpeedCount = 0;
  m_fAverageSpeed = m_fRecentSpeed = 0;
}

void CPositionHub::PushSpeed(float f) {
  ASSERT(m_cSpeedNext < c_cSpeedBufSize);
  m_afSpeeds[m_cSpeedNext] = f;
  m_cSpeedNext = (m_cSpeedNext + 1) % c_cSpeedBufSize;
  if (m_cSpeedCount < c_cSpeedBufSize) ++m_cSpeedCount;
  float fSum = 0;
  for (int i = 0; i < c_cSpeedBufSize; ++i) fSum += m_afSpeeds[i];
  m_fAverageSpeed = fSum / float(m_cSpeedCount);
  int cRecent = m_cSpeedCount < 5 ? m_cSpeedCount : 5;
  float fRecent = 0;
  for (int i = 1; i <= cRecent; ++i) fRecent += m_afSpeeds[(m_cSpeedNext - i + c_cSpeedBufSize) % c_cSpeedBufSize];
  m_fRecentSpeed = fRecent / float(cRecent);
}

// ---- sources ----

void CPositionHub::OnFix(const GpsFix& fixIn) {
  bool fRecord = false, fBreak = false, fEvent = false;
  GpsEvent ev = geConnected;
  int cSatellites = 0;
  uint32_t dwChanged;
  GpsFix fix;
  {
    CLock lock(m_cs);
    bool fPrev = m_fix.Has(gfPosition), fCur = fixIn.Has(gfPosition);
    if (fPrev && fCur) {
      fRecord = IsNewTrackPoint(m_fix, fixIn);
    } else if (!fPrev && fCur) {
      GpsLog(u"New track started due to position was lost in previous fix.");
      fEvent = fBreak = fRecord = true;
      ev = geConnected;
    } else if (fPrev && !fCur) {
      fEvent = true;
      ev = geMissing;
    }
    GpsFix prev = m_fix;
    m_fix = fixIn;
    if (!m_fix.Has(gfGeoidSeparation) && m_fix.Has(gfPosition))
      m_fix.SetGeoidSeparation(GeoidHeight(m_fix.latitude, m_fix.longitude));
    if (GetSettingBool(setting::GPSElevationIsOverEllipsoid) && m_fix.Has(gfAltitude) &&
        m_fix.Has(gfGeoidSeparation))
      m_fix.altitude -= m_fix.geoidSeparation;
    if (m_fix.Has(gfSpeed) && m_fix.speed >= 2.0f) PushSpeed(m_fix.speed);
    cSatellites = m_fix.Has(gfSatellitesUsed) ? m_fix.satellitesUsed : 0;
    m_cursor.fPosition = m_fix.Has(gfPosition);
    dwChanged = ChangedFields(prev, m_fix);
    m_dwChangedForViews |= dwChanged;
    fix = m_fix;
  }
  ForListeners([&](CPositionListener* p) {
    if (fEvent) p->OnGpsEvent(ev);
    if (fBreak) p->OnTrackBreak();
  });
  if (fRecord) ForListeners([&](CPositionListener* p) { p->OnTrackPoint(fix); });
  ForListeners([&](CPositionListener* p) { p->OnFixTaken(fix, dwChanged); });
  Post(c_msgGpsFix);
  SetIndicatorSatellites(cSatellites);
}

void CPositionHub::OnNoFix() {
  GpsLog(u"No position info reported.");
  ForListeners([](CPositionListener* p) {
    p->OnPositionLost();
    p->OnTrackBreak();
  });
}

void CPositionHub::SetCursor(float lon, float lat, float course, bool fCourseValid, float speed, bool fSpeedValid) {
  bool fChanged = false;
  MapCursor cursor;
  {
    CLock lock(m_cs);
    if (lon != m_cursor.fLon || lat != m_cursor.fLat) {
      m_cursor.fLon = lon;
      m_cursor.fLat = lat;
      fChanged = true;
    }
    if (fCourseValid && fSpeedValid) {
      if (course < 0) course += 360.0f;
      if (speed >= 2.0f) m_cursor.fHeading = course;
      fChanged = true;
    }
    if (fSpeedValid) m_cursor.fSpeed = speed;
    m_cursor.fCourseValid = fCourseValid;
    m_cursor.fSpeedValid = fSpeedValid;
    cursor = m_cursor;
  }
  if (!fChanged) return;
  ForListeners([&](CPositionListener* p) { p->OnCursorMoved(cursor); });
  Post(c_msgGpsCursor);
}

void CPositionHub::ResetSatellites(int cCapacity) {
  if (cCapacity < 0) cCapacity = 0;
  CLock lock(m_cs);
  m_aSatellites.assign(size_t(cCapacity), SatelliteInfo{});
  m_cSatellites = 0;
}

void CPositionHub::GrowSatellites(int cMore) {
  if (cMore <= 0) return;
  CLock lock(m_cs);
  m_aSatellites.resize(m_aSatellites.size() + size_t(cMore), SatelliteInfo{});
}

void CPositionHub::AppendSatellite(const SatelliteInfo& info) {
  CLock lock(m_cs);
  if (size_t(m_cSatellites) < m_aSatellites.size()) m_aSatellites[size_t(m_cSatellites++)] = info;
}

void CPositionHub::SatellitesComplete() {
  // Listeners get their own copy: the next table may start at once.
  SatelliteInfo aSky[128];
  int c;
  {
    CLock lock(m_cs);
    c = int(std::min(m_aSatellites.size(), sizeof aSky / sizeof aSky[0]));
    for (int i = 0; i < c; ++i) aSky[i] = m_aSatellites[size_t(i)];
  }
  ForListeners([&](CPositionListener* p) { p->OnSkyComplete(aSky, c); });
  Post(c_msgGpsSatellites);
}

void CPositionHub::ClearSatellites() {
  ResetSatellites(0);
  SatellitesComplete();
}

float CPositionHub::GeoidHeight(float fLat, float fLon) const {
  return m_pfnGeoid ? m_pfnGeoid(fLat, fLon) : GetGeoidHeight(fLat, fLon);
}

double CPositionHub::UtcNow() const {
  if (m_pfnUtcNow) return m_pfnUtcNow();
  CSystemTime st;
  GetSystemTimeUtc(st);
  return SystemTimeToDays(st);
}

void CPositionHub::FixupClock(double gpsTime) {
  double dOffset = (UtcNow() - gpsTime) * 86400000.0;
  // A receiver's date before the floor (the program's build) is wrong, not
  // the computer's clock: the clock is never set back before it.
  // Nor is the clock ever set more than one 1024-week period past the build:
  // such a date comes of a period resolved wrongly.
  bool fPlausible = std::isfinite(gpsTime) && gpsTime >= m_dClockFloor &&
                    gpsTime < BuildDate() + c_dGpsEpochDays;
  if (m_fClockAllowed && fPlausible && GetSettingBool(setting::FixupClock) &&
      std::fabs(dOffset) >= double(int32_t(GetSetting(setting::FixupClockThreshold)))) {
    uint32_t now = GpsTickMs();
    bool fDue;
    {
      CLock lock(m_cs);
      fDue = !m_fCorrectedOnce || now - m_dwLastCorrection > 10000;
      if (fDue) {
        m_fCorrectedOnce = true;
        m_dwLastCorrection = now;
      }
    }
    if (fDue) {
      CSystemTime st;
      if (DaysToSystemTime(gpsTime, st) && SetSystemTimeUtc(st)) {
        m_nClockOffset = 0;
        ++m_cClockCorrections;
        return;
      }
    }
  }
  if (!std::isfinite(dOffset) || std::fabs(dOffset) > 2.0e9) dOffset = dOffset < 0 ? -2.0e9 : 2.0e9;
  m_nClockOffset = int32_t(std::lround(dOffset));
}

void CPositionHub::SetStatusV(uint32_t ids, va_list args) {
  char16_t szFormat[128];
  LoadResString(ids, szFormat, 128);
  char16_t szText[128];
  FormatV(szText, 128, szFormat, args);
  GpsLog(u"STATUS: %s", szText);
  {
    CLock lock(m_cs);
    StrCopy(m_szStatus, 128, szText);
  }
  Post(c_msgGpsStatus);
}

void CPositionHub::SetStatus(uint32_t ids, ...) {
  va_list args;
  va_start(args, ids);
  SetStatusV(ids, args);
  va_end(args);
}

bool CPositionHub::IsNewTrackPoint(const GpsFix& prev, const GpsFix& cur) {
  double latTol = 0, lonTol = 0;
  if (cur.Has(gfHorizontalError)) {
    latTol = cur.horizontalError * 360.0 / 40000000.0;
    double c = std::cos(cur.latitude * 3.14159265358979323846 / 180.0);
    lonTol = c > 1e-9 ? latTol / c : 360.0;
  }
  return std::fabs(double(cur.longitude) - prev.longitude) > lonTol &&
         std::fabs(double(cur.latitude) - prev.latitude) > latTol;
}

uint32_t CPositionHub::GetIndicatorIcon() const {
  int c = m_cIndicator.load();
  return c < 0 ? c_idiGpsDisconnected : c == 0 ? c_idiGpsConnected : c_idiGpsReceiving;
}

void CPositionHub::SetIndicatorDisconnected() {
  if (m_cIndicator.exchange(-1) != -1) Post(c_msgGpsIndicator);
}

void CPositionHub::SetIndicatorSatellites(int cSatellites) {
  if (cSatellites < 0) cSatellites = 0;
  if (m_cIndicator.exchange(cSatellites) != cSatellites) Post(c_msgGpsIndicator);
}

void CPositionHub::ReadingStarts() {
  {
    CLock lock(m_cs);
    ClearSpeedRing();
  }
  ForListeners([](CPositionListener* p) { p->OnReadingStarts(); });
}

void CPositionHub::ReadingStops() {
  ClearSatellites();
  ForListeners([](CPositionListener* p) { p->OnReadingStops(); });
}

void CPositionHub::SetDatePivot(double dPivot) {
  CLock lock(m_cs);
  m_dDatePivot = m_dFirstPivot = dPivot;
  m_fDateSeen = false;
}

double CPositionHub::DatePivot() {
  CLock lock(m_cs);
  return m_dDatePivot;
}

double CPositionHub::ResolveGpsDate(double date) {
  CLock lock(m_cs);
  double resolved = FixupGpsEpoch(date, m_dDatePivot);
  if (!std::isfinite(resolved)) return resolved;
  // The pivot that followed the run moved this date on by a period: right
  // only when it goes on from the last date (a run that outlived its first
  // period); a step back in time keeps the first pivot's reading.
  const double first = FixupGpsEpoch(date, m_dFirstPivot);
  if (resolved != first &&
      !(m_fDateSeen && std::fabs(resolved - m_dLastDate) <= c_dDateContinuityDays))
    resolved = first;
  m_dLastDate = resolved;
  m_fDateSeen = true;
  // The pivot follows the dates seen, half a period behind, so that a long
  // run never leaves its period and a date a little before the newest one
  // (a receiver's time that steps back) stays where it belongs.
  if (resolved - c_dGpsEpochDays / 2 > m_dDatePivot) m_dDatePivot = resolved - c_dGpsEpochDays / 2;
  return resolved;
}

// ---- getters ----

GpsFix CPositionHub::GetFix() {
  CLock lock(m_cs);
  return m_fix;
}

MapCursor CPositionHub::GetCursor() {
  CLock lock(m_cs);
  MapCursor cursor = m_cursor;
  cursor.fPosition = m_fix.Has(gfPosition);
  return cursor;
}

void CPositionHub::GetStatusText(char16_t* pszBuf, int cchBuf) {
  if (!pszBuf || cchBuf <= 0) return;
  if (cchBuf > 128) cchBuf = 128;
  CLock lock(m_cs);
  StrCopy(pszBuf, size_t(cchBuf), m_szStatus);
}

int CPositionHub::GetSatelliteCapacity() {
  CLock lock(m_cs);
  return int(m_aSatellites.size());
}

SatelliteInfo CPositionHub::GetSatellite(int i) {
  CLock lock(m_cs);
  if (i < 0 || size_t(i) >= m_aSatellites.size()) return SatelliteInfo{};
  return m_aSatellites[size_t(i)];
}

float CPositionHub::GetAverageSpeed() {
  CLock lock(m_cs);
  return m_fAverageSpeed;
}

float CPositionHub::GetRecentAverageSpeed() {
  CLock lock(m_cs);
  return m_fRecentSpeed;
}

void CPositionHub::Reset() {
  CLock lock(m_cs);
  m_fix = GpsFix{};
  m_dwChangedForViews = 0;
  m_cursor = MapCursor{};
  m_aSatellites.clear();
  m_cSatellites = 0;
  ClearSpeedRing();
  m_fCorrectedOnce = false;
  m_dwLastCorrection = 0;
  m_cChecksumErrors = 0;
  m_cSkipped = 0;
  m_dDatePivot = m_dFirstPivot = BuildDate();
  m_dLastDate = 0;
  m_fDateSeen = false;
  m_nClockOffset = 0;
  m_cClockCorrections = 0;
  for (std::atomic<bool>& f : m_afPending) f = false;
}

CPositionHub& GetPositionHub() {
  static CPositionHub s_hub;
  return s_hub;
}
