#include "gauges/TripStats.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gauges/GaugeSources.h"
#include "geo/Geodesy.h"
#include "geo/Units.h"
#include "gps/PositionHub.h"
#include "platform/Str.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"

using namespace platform;

namespace {

const char16_t c_szOdometer[] = u"Odometer";
const double c_dOneSecond = 1.0 / 86400.0;

void SaveDays(const char16_t* pszName, double d) {
  char16_t sz[64];
  Format(sz, 64, u"%.6f", d);
  SetString(pszName, sz);
}

double LoadNumber(const char16_t* pszName, double dDefault) {
  char16_t sz[256];
  GetString(pszName, sz, 256, u"");
  double d;
  return ParseSavedNumber(sz, d) ? d : dDefault;
}

void SaveMetres(const char16_t* pszName, double d) {
  const double r = std::round(d);
  SetDword(pszName, r <= 0 ? 0u : r >= 4294967295.0 ? 0xFFFFFFFFu : DWORD(r));
}

}  // namespace

bool ParseSavedNumber(const char16_t* psz, double& f) {
  std::string s = U16ToUtf8(psz ? psz : u"");
  if (s.empty()) return false;
  char* pEnd = nullptr;
  const double d = std::strtod(s.c_str(), &pEnd);
  while (pEnd && (*pEnd == ' ' || *pEnd == '\t')) ++pEnd;
  if (pEnd == s.c_str() || *pEnd != 0 || !std::isfinite(d)) return false;
  f = d;
  return true;
}

bool IsMovingFix(const GpsFix& fix) { return fix.Has(gfSpeed) && fix.speed >= 2.0f; }

// ---- trip blocks ----

void CTripBlock::Reset() {
  fTripOdometer = 0;
  dtTripTime_Moving = dtTripTime_Stopped = dtTripTime_Measured = 0;
  SetDword(strTripOdometer, 0);
  SetString(strTripTime_Moving, u"0");
  SetString(strTripTime_Stopped, u"0");
  SetString(strTripTime_Measured, u"0");
}

CTripBlock& GetTripBlock(int i) {
  static CTripBlock s_aTrips[2] = {
      {0, 0, 0, 0, u"TripOdometer", u"TripTimeMoving", u"TripTimeStopped", u"TripTimeMeasured"},
      {0, 0, 0, 0, u"TripOdometer2", u"TripTimeMoving2", u"TripTimeStopped2", u"TripTimeMeasured2"},
  };
  return s_aTrips[i == 1 ? 1 : 0];
}

// ---- odometers ----

double& COdometerGauge::Value() { return m_pTrip ? m_pTrip->fTripOdometer : m_fOwn; }
const char16_t* COdometerGauge::Name() const { return m_pTrip ? m_pTrip->strTripOdometer : c_szOdometer; }

void COdometerGauge::Load() { Value() = double(GetDword(Name(), 0)); }

void COdometerGauge::Reset() {
  // The overall odometer is never reset.
  if (m_pTrip) m_pTrip->Reset();
}

void COdometerGauge::Update(const GpsFix& fix) {
  if (!fix.Has(gfPosition)) {
    m_fPrevious = false;
    return;
  }
  if (m_fPrevious && IsMovingFix(fix)) {
    const float d = GetLocalDistance(m_fLon, m_fLat, fix.longitude, fix.latitude);
    if (std::isfinite(d)) {
      Value() += double(d);
      SaveMetres(Name(), Value());
    }
  }
  m_fLon = fix.longitude;
  m_fLat = fix.latitude;
  m_fPrevious = true;
}

void COdometerGauge::GetText(char16_t* pszValue, char16_t* pszUnit, int cch) {
  FormatDistance(Value(), pszValue, size_t(cch), pszUnit, size_t(cch));
}

bool COdometerGauge::GetNumber(double& f) {
  f = Value();
  return true;
}

// ---- trip times ----

double& CTripTimeGauge::Value() {
  switch (m_kind) {
    case ttMoving: return m_pTrip->dtTripTime_Moving;
    case ttStopped: return m_pTrip->dtTripTime_Stopped;
    default: return m_pTrip->dtTripTime_Measured;
  }
}

const char16_t* CTripTimeGauge::Name() const {
  switch (m_kind) {
    case ttMoving: return m_pTrip->strTripTime_Moving;
    case ttStopped: return m_pTrip->strTripTime_Stopped;
    default: return m_pTrip->strTripTime_Measured;
  }
}

void CTripTimeGauge::Load() {
  const double d = LoadNumber(Name(), 0);
  Value() = d >= 0 ? d : 0;
}

void CTripTimeGauge::Update(const GpsFix& fix) {
  if (!fix.Has(gfTime)) return;
  const bool fMoving = IsMovingFix(fix);
  if (m_fPrevious) {
    const double dt = fix.time - m_dPrevious;
    const bool fCounts = (fMoving && m_fPreviousMoving && m_kind != ttStopped) ||
                         (!fMoving && !m_fPreviousMoving && m_kind != ttMoving);
    // A clock that steps back (two recordings joined, a receiver's restart)
    // adds nothing rather than taking time away.
    if (fCounts && dt > 0 && std::isfinite(dt)) Value() += dt;
  }
  SaveDays(Name(), Value());
  m_dPrevious = fix.time;
  m_fPreviousMoving = fMoving;
  m_fPrevious = true;
}

void CTripTimeGauge::GetText(char16_t* pszValue, char16_t*, int cch) { FormatDuration(Value(), pszValue, size_t(cch)); }

// ---- average speeds ----

bool CAverageSpeedGauge::GetNumber(double& f) {
  const double dt = m_fMoving ? m_pTrip->dtTripTime_Moving : m_pTrip->dtTripTime_Measured;
  if (!(dt >= c_dOneSecond)) return false;
  f = m_pTrip->fTripOdometer * 0.001 / (dt * 24.0);
  return true;
}

void CAverageSpeedGauge::GetText(char16_t* pszValue, char16_t* pszUnit, int cch) {
  double f;
  if (GetNumber(f)) FormatSpeed(f, pszValue, size_t(cch), pszUnit, size_t(cch));
}

void CRecentSpeedGauge::GetText(char16_t* pszValue, char16_t* pszUnit, int cch) {
  FormatSpeed(GetGaugeHub().GetRecentAverageSpeed(), pszValue, size_t(cch), pszUnit, size_t(cch));
}

// ---- extremes ----

namespace {
const SettingDef& ExtremeSetting(ExtremeKind kind) {
  switch (kind) {
    case ekMaxSpeed: return setting::MaxSpeed;
    case ekMaxAscent: return setting::MaxVAccent;
    case ekMaxDescent: return setting::MaxVDecent;
    case ekMaxElevation: return setting::MaxElevation;
    default: return setting::MinElevation;
  }
}
double ExtremeDefault(ExtremeKind kind) {
  double d = 0;
  ParseSavedNumber(ExtremeSetting(kind).pszDefault, d);
  return d;
}
}  // namespace

void CExtremeGauge::Load() { m_f = LoadNumber(ExtremeSetting(m_kind).pszName, ExtremeDefault(m_kind)); }

void CExtremeGauge::Save() {
  char16_t sz[64];
  Format(sz, 64, u"%0.1f", m_f);
  SetString(ExtremeSetting(m_kind).pszName, sz);
}

void CExtremeGauge::Reset() {
  m_f = ExtremeDefault(m_kind);
  SetString(ExtremeSetting(m_kind).pszName, ExtremeSetting(m_kind).pszDefault);
}

void CExtremeGauge::Update(const GpsFix& fix) {
  double d;
  switch (m_kind) {
    case ekMaxSpeed:
      if (!fix.Has(gfSpeed)) return;
      d = fix.speed;
      if (!(d > m_f)) return;
      break;
    case ekMaxAscent:
      if (!fix.Has(gfVerticalSpeed)) return;
      d = fix.verticalSpeed;
      if (!(d > 0) || !(d > m_f)) return;
      break;
    case ekMaxDescent:
      if (!fix.Has(gfVerticalSpeed)) return;
      d = -double(fix.verticalSpeed);
      if (!(d > 0) || !(d > m_f)) return;
      break;
    case ekMaxElevation:
      if (!fix.Has(gfAltitude)) return;
      d = fix.altitude;
      if (!(d > m_f)) return;
      break;
    default:
      if (!fix.Has(gfAltitude)) return;
      d = fix.altitude;
      if (!(d < m_f)) return;
      break;
  }
  if (!std::isfinite(d)) return;
  m_f = d;
  Save();
}

bool CExtremeGauge::HasValue() const {
  if (m_kind == ekMaxElevation) return m_f > -1000;
  if (m_kind == ekMinElevation) return m_f < 100000;
  return true;
}

bool CExtremeGauge::GetNumber(double& f) {
  if (!HasValue()) return false;
  f = m_f;
  return true;
}

void CExtremeGauge::GetText(char16_t* pszValue, char16_t* pszUnit, int cch) {
  if (!HasValue()) return;
  switch (m_kind) {
    case ekMaxSpeed: FormatSpeed(m_f, pszValue, size_t(cch), pszUnit, size_t(cch)); break;
    case ekMaxAscent:
    case ekMaxDescent: FormatVerticalSpeed(m_f, pszValue, size_t(cch), pszUnit, size_t(cch)); break;
    default: FormatElevation(m_f, unMeters, true, pszValue, size_t(cch), pszUnit, size_t(cch)); break;
  }
}

// ---- area ----

double AreaTerm(double x0, double x1, double y1, double x2, double y2) {
  const double c_dMetresPerDegree = 40000000.0 / 360.0;
  const double c_dPi = 3.14159265358979323846;
  return ((x1 + x2) - 2 * x0) * (y2 - y1) / 2 * std::cos(c_dPi / 180 * (y1 + y2) / 2) * c_dMetresPerDegree *
         c_dMetresPerDegree;
}

void CAreaGauge::Load() {
  char16_t sz[160];
  GetSettingString(setting::Area, sz);
  std::string s = U16ToUtf8(sz);
  int nStarted = 0;
  double a[5];
  int cchUsed = 0;
  m_fStarted = false;
  m_dSum = m_dLastLon = m_dLastLat = m_dOriginLon = m_dOriginLat = 0;
  if (std::sscanf(s.c_str(), "%d %lf %lf %lf %lf %lf %n", &nStarted, &a[0], &a[1], &a[2], &a[3], &a[4], &cchUsed) != 6 ||
      size_t(cchUsed) != s.size())
    return;
  for (double d : a)
    if (!std::isfinite(d)) return;
  if (std::fabs(a[1]) > 180 || std::fabs(a[3]) > 180 || std::fabs(a[2]) > 90 || std::fabs(a[4]) > 90) return;
  m_fStarted = nStarted != 0;
  m_dSum = a[0];
  m_dLastLon = a[1];
  m_dLastLat = a[2];
  m_dOriginLon = a[3];
  m_dOriginLat = a[4];
}

void CAreaGauge::Save() {
  char16_t sz[160];
  Format(sz, 160, u"%d %.1f %.7f %.7f %.7f %.7f", m_fStarted ? 1 : 0, m_dSum, m_dLastLon, m_dLastLat, m_dOriginLon,
         m_dOriginLat);
  SetString(setting::Area.pszName, sz);
}

void CAreaGauge::Reset() {
  m_fStarted = false;
  m_dSum = m_dLastLon = m_dLastLat = m_dOriginLon = m_dOriginLat = 0;
  SetString(setting::Area.pszName, setting::Area.pszDefault);
}

void CAreaGauge::Update(const GpsFix& fix) {
  if (!fix.Has(gfPosition) || !std::isfinite(fix.longitude) || !std::isfinite(fix.latitude)) return;
  const double x = fix.longitude, y = fix.latitude;
  if (!m_fStarted) {
    m_fStarted = true;
    m_dSum = 0;
    m_dOriginLon = m_dLastLon = x;
    m_dOriginLat = m_dLastLat = y;
  } else if (IsMovingFix(fix)) {
    m_dSum += AreaTerm(m_dOriginLon, m_dLastLon, m_dLastLat, x, y);
    m_dLastLon = x;
    m_dLastLat = y;
  }
  Save();
}

bool CAreaGauge::GetNumber(double& f) {
  if (!m_fStarted) return false;
  f = std::fabs(m_dSum + AreaTerm(m_dOriginLon, m_dLastLon, m_dLastLat, m_dOriginLon, m_dOriginLat));
  return true;
}

void CAreaGauge::GetText(char16_t* pszValue, char16_t* pszUnit, int cch) {
  double f;
  if (GetNumber(f)) FormatArea(f, pszValue, size_t(cch), pszUnit, size_t(cch));
}

// ---- processor load ----

int CpuLoadPerMille(uint64_t qwCpu100ns, uint32_t dwTicks) {
  const uint64_t qwTicks = dwTicks < 1 ? 1 : dwTicks;
  uint64_t n = (qwCpu100ns / 10) / qwTicks;
  if (n > 1000) n = 1000;
  int nLoad = int(n);
  if (nLoad < 30) nLoad = (nLoad > 9 ? nLoad - 10 : 0) * 3 / 2;
  return nLoad;
}
