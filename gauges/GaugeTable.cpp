// Every gauge of the program and its registration. The pages are listed in
// page order; within a page the gauges are registered in the reverse of the
// order the page lists them (registration puts each at the front).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "gauges/Gauge.h"
#include "gauges/GaugeSources.h"
#include "gauges/TripStats.h"
#include "geo/Geodesy.h"
#include "geo/Sun.h"
#include "geo/Units.h"
#include "gps/PositionHub.h"
#include "platform/Clock.h"
#include "platform/Str.h"
#include "platform/SystemInfo.h"
#include "res/Res.h"
#include "settings/Settings.h"

using namespace platform;

GaugeDesc* g_pFirstGauge = nullptr;
GaugePage* g_apGaugePages[c_cGaugePages] = {};

extern int32_t g_nRoutingTimeMs;
extern int32_t g_nStartupTimeMs;

namespace {

// ---- helpers ----

void SetText(char16_t* psz, int cch, const char16_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  FormatV(psz, size_t(cch), pszFormat, args);
  va_end(args);
}

void SetUnit(char16_t* psz, int cch, uint32_t ids) { StrCopy(psz, size_t(cch), GetUnitName(ids)); }

// The local time minus UTC now, in days (whole minutes).
double LocalOffsetDays() {
  CSystemTime stUtc, stLocal;
  GetSystemTimeUtc(stUtc);
  GetLocalTime(stLocal);
  const double d = SystemTimeToDays(stLocal) - SystemTimeToDays(stUtc);
  return std::round(d * 1440.0) / 1440.0;
}

void FormatClock(double dDays, char16_t* psz, int cch, bool fSeconds) {
  CSystemTime st;
  if (!std::isfinite(dDays) || !DaysToSystemTime(dDays, st)) return;
  if (fSeconds)
    SetText(psz, cch, u"%02d:%02d:%02d", st.wHour, st.wMinute, st.wSecond);
  else
    SetText(psz, cch, u"%02d:%02d", st.wHour, st.wMinute);
}

void FormatDate(double dDays, char16_t* psz, int cch) {
  CSystemTime st;
  if (!std::isfinite(dDays) || !DaysToSystemTime(dDays, st)) return;
  SetText(psz, cch, u"%02d.%02d.%04d", st.wDay, st.wMonth, st.wYear);
}

void FormatMs(int32_t nMs, char16_t* pszValue, char16_t* pszUnit, int cch) {
  if (nMs < 0) return;
  FormatGroupedInteger(uint32_t(nMs), pszValue, size_t(cch));
  SetUnit(pszUnit, cch, c_idsUnitMilliseconds);
}

// ---- gauges that show a field of the last fix ----

typedef void (*FixFormatter)(const GpsFix& fix, char16_t* pszValue, char16_t* pszUnit, int cch);

class CFixGauge : public CGauge {
 public:
  CFixGauge(uint32_t dwNeeded, FixFormatter pfn) : m_dwNeeded(dwNeeded), m_pfn(pfn) { m_fix.dwFlags = 0; }
  void Update(const GpsFix& fix) override { m_fix = fix; }
  void GetText(char16_t* pszValue, char16_t* pszUnit, int cch) override {
    if ((m_fix.dwFlags & m_dwNeeded) == m_dwNeeded) m_pfn(m_fix, pszValue, pszUnit, cch);
  }

 private:
  uint32_t m_dwNeeded;
  FixFormatter m_pfn;
  GpsFix m_fix;
};

void FmtDateUtc(const GpsFix& f, char16_t* v, char16_t*, int c) { FormatDate(f.time, v, c); }
void FmtTimeUtc(const GpsFix& f, char16_t* v, char16_t*, int c) { FormatClock(f.time, v, c, true); }
void FmtDateLocal(const GpsFix& f, char16_t* v, char16_t*, int c) { FormatDate(f.time + LocalOffsetDays(), v, c); }
void FmtTimeLocal(const GpsFix& f, char16_t* v, char16_t*, int c) {
  FormatClock(f.time + LocalOffsetDays(), v, c, true);
}
void FmtSpeed(const GpsFix& f, char16_t* v, char16_t* u, int c) { FormatSpeed(f.speed, v, c, u, c); }
void FmtLon(const GpsFix& f, char16_t* v, char16_t*, int c) { FormatLongitude(f.longitude, v, c); }
void FmtLat(const GpsFix& f, char16_t* v, char16_t*, int c) { FormatLatitude(f.latitude, v, c); }
void FmtCourse(const GpsFix& f, char16_t* v, char16_t*, int c) { FormatAzimuth(f.course, v, c); }
void FmtVSpeed(const GpsFix& f, char16_t* v, char16_t* u, int c) { FormatVerticalSpeed(f.verticalSpeed, v, c, u, c); }
void FmtIncline(const GpsFix& f, char16_t* v, char16_t* u, int c) {
  // Climb over the horizontal distance, in per cent (not while standing).
  if (!(f.speed >= 2.0f)) return;
  SetText(v, c, u"%0.1f", double(f.verticalSpeed) / (double(f.speed) / 3.6) * 100.0);
  StrCopy(u, size_t(c), u"%");
}
void FmtGlide(const GpsFix& f, char16_t* v, char16_t*, int c) {
  // Distance flown per height lost: only while descending.
  if (!(f.verticalSpeed < 0.0f) || !std::isfinite(f.speed)) return;
  SetText(v, c, u"%0.1f", double(f.speed) / 3.6 / -double(f.verticalSpeed));
}
void FmtGeoid(const GpsFix& f, char16_t* v, char16_t* u, int c) {
  FormatElevation(f.geoidSeparation, unMeters, false, v, c, u, c);
}
void FmtElev(const GpsFix& f, char16_t* v, char16_t* u, int c) { FormatElevation(f.altitude, unMeters, true, v, c, u, c); }
void FmtElevPrec(const GpsFix& f, char16_t* v, char16_t* u, int c) {
  FormatElevation(f.verticalError, unMeters, true, v, c, u, c);
}
void FmtVdop(const GpsFix& f, char16_t* v, char16_t*, int c) { SetText(v, c, u"%0.1f", double(f.vdop)); }
void FmtHdop(const GpsFix& f, char16_t* v, char16_t*, int c) { SetText(v, c, u"%0.1f", double(f.hdop)); }
void FmtMagVar(const GpsFix& f, char16_t* v, char16_t*, int c) {
  SetText(v, c, u"%0.1f\u00B0", double(f.magneticVariation));
}
void FmtSatellites(const GpsFix& f, char16_t* v, char16_t*, int c) {
  if (f.satellitesUsed >= 0) SetText(v, c, u"%d", int(f.satellitesUsed));
}
void FmtXyPrec(const GpsFix& f, char16_t* v, char16_t* u, int c) { FormatDistance(f.horizontalError, v, c, u, c); }
void FmtStatus(const GpsFix& f, char16_t* v, char16_t*, int c) { StrCopy(v, size_t(c), FixStatusName(f.status)); }
void FmtDgpsStation(const GpsFix& f, char16_t* v, char16_t*, int c) { SetText(v, c, u"%d", int(f.dgpsStation)); }
void FmtDgpsAge(const GpsFix& f, char16_t* v, char16_t*, int c) {
  if (f.dgpsAge >= 0) FormatDuration(double(f.dgpsAge) / 86400.0, v, size_t(c));
}
void FmtDepth(const GpsFix& f, char16_t* v, char16_t* u, int c) { FormatElevation(f.depth, unMeters, false, v, c, u, c); }
void FmtWaterTemp(const GpsFix& f, char16_t* v, char16_t* u, int c) {
  SetText(v, c, u"%0.1f", double(f.waterTemperature));
  StrCopy(u, size_t(c), u"\u00B0C");
}

// ---- sunrise and sunset: today's local times at the current position ----

class CSunGauge : public CGauge {
 public:
  explicit CSunGauge(bool fRising) : m_fRising(fRising) {}
  void Update(const GpsFix& fix) override {
    if (!fix.Has(gfPosition)) return;
    m_fPosition = true;
    m_fLon = fix.longitude;
    m_fLat = fix.latitude;
  }
  void GetText(char16_t* pszValue, char16_t*, int cch) override {
    if (!m_fPosition) return;
    CSystemTime st;
    GetLocalTime(st);
    const float fHours = GetSunEventTime(st.wYear, st.wMonth, st.wDay, m_fLon, m_fLat, m_fRising);
    if (fHours == c_fNoSunEvent) return;
    const double dOffsetHours = LocalOffsetDays() * 24.0;
    double h = std::fmod(double(fHours) + dOffsetHours + 48.0, 24.0);
    int nMinutes = int(std::lround(h * 60.0)) % 1440;
    SetText(pszValue, cch, u"%02d:%02d", nMinutes / 60, nMinutes % 60);
  }

 private:
  bool m_fRising;
  bool m_fPosition = false;
  float m_fLon = 0, m_fLat = 0;
};

// ---- navigation: values of route guidance ----

enum NavKind {
  nkVmg, nkRoute, nkPointer, nkManeuver, nkEtaFinal, nkEta, nkEteFinal, nkEte, nkDistanceFinal, nkDistanceCur,
  nkWptFinal, nkWptNext, nkBearing,
};

class CNavigationGauge : public CGauge {
 public:
  explicit CNavigationGauge(NavKind kind) : m_kind(kind) {}
  void GetText(char16_t* v, char16_t* u, int c) override {
    CGuidanceState* pState = GetGuidanceState();
    GuidanceInfo info = {};
    if (pState == nullptr || !pState->GetGuidance(info)) return;
    auto has = [&](uint32_t dw) { return (info.dwValid & dw) != 0; };
    switch (m_kind) {
      case nkVmg:
        if (has(gdVmg)) FormatSpeed(info.fVmg, v, c, u, c);
        break;
      case nkRoute:
        if (has(gdRouteName)) StrCopy(v, size_t(c), info.szRouteName);
        break;
      case nkWptFinal:
        if (has(gdFinalName)) StrCopy(v, size_t(c), info.szFinalName);
        break;
      case nkWptNext:
        if (has(gdNextName)) StrCopy(v, size_t(c), info.szNextName);
        break;
      case nkPointer:
        if (has(gdPointer)) SetText(v, c, u"%+0.0f\u00B0", double(info.fPointer));
        break;
      case nkManeuver:
        if (has(gdManeuver)) FormatDistance(info.dManeuverDistance, v, c, u, c);
        break;
      case nkEtaFinal:
      case nkEta: {
        const bool fFinal = m_kind == nkEtaFinal;
        if (!has(fFinal ? gdTimeFinal : gdTimeNext)) break;
        CSystemTime st;
        GetLocalTime(st);
        FormatClock(SystemTimeToDays(st) + (fFinal ? info.dTimeFinal : info.dTimeNext), v, c, false);
        break;
      }
      case nkEteFinal:
        if (has(gdTimeFinal)) FormatDuration(info.dTimeFinal, v, size_t(c));
        break;
      case nkEte:
        if (has(gdTimeNext)) FormatDuration(info.dTimeNext, v, size_t(c));
        break;
      case nkDistanceFinal:
        if (has(gdDistanceFinal)) FormatDistance(info.dDistanceFinal, v, c, u, c);
        break;
      case nkDistanceCur:
        if (has(gdDistanceNext)) FormatDistance(info.dDistanceNext, v, c, u, c);
        break;
      case nkBearing:
        if (has(gdBearing)) FormatAzimuth(info.fBearing, v, size_t(c));
        break;
    }
  }

 private:
  NavKind m_kind;
};

// ---- the map page's statistics ----

enum MapKind { mkInCache, mkLevel, mkFile, mkObjects, mkRoutesMs, mkWaypointsMs, mkTrackMs, mkMapMs, mkOpeningMs };

class CMapGauge : public CGauge {
 public:
  explicit CMapGauge(MapKind kind) : m_kind(kind) {}
  void GetText(char16_t* v, char16_t* u, int c) override {
    const MapGaugeInfo& info = GetMapGaugeInfo();
    switch (m_kind) {
      case mkInCache:
        if (info.cMapsInCache >= 0) SetText(v, c, u"%d", info.cMapsInCache);
        break;
      case mkLevel:
        if (info.nMapLevel >= 0) SetText(v, c, u"%d", info.nMapLevel);
        break;
      case mkFile: StrCopy(v, size_t(c), info.szMapFile); break;
      case mkObjects:
        if (info.cObjectsRendered >= 0) FormatGroupedInteger(uint32_t(info.cObjectsRendered), v, size_t(c));
        break;
      case mkRoutesMs: FormatMs(info.nRoutesMs, v, u, c); break;
      case mkWaypointsMs: FormatMs(info.nWaypointsMs, v, u, c); break;
      case mkTrackMs: FormatMs(info.nTrackMs, v, u, c); break;
      case mkMapMs: FormatMs(info.nMapMs, v, u, c); break;
      case mkOpeningMs: FormatMs(info.nOpeningMs, v, u, c); break;
    }
  }

 private:
  MapKind m_kind;
};

// A counter kept elsewhere, shown from the value it had at the last reset.
typedef uint32_t (*CounterSource)();

class CCounterGauge : public CGauge {
 public:
  explicit CCounterGauge(CounterSource pfn) : m_pfn(pfn) {}
  void Reset() override { m_dwBase = m_pfn(); }
  void GetText(char16_t* v, char16_t*, int c) override { SetText(v, c, u"%u", unsigned(m_pfn() - m_dwBase)); }
  bool GetNumber(double& f) override {
    f = double(m_pfn() - m_dwBase);
    return true;
  }

 private:
  CounterSource m_pfn;
  uint32_t m_dwBase = 0;
};

uint32_t MapPasses() { return GetMapGaugeInfo().cFinishedPasses; }
uint32_t ChecksumErrors() { return GetGaugeHub().ChecksumErrors(); }
uint32_t ClockCorrections() { return GetGaugeHub().ClockCorrections(); }

// ---- system ----

class CRoutingTimeGauge : public CGauge {
 public:
  void GetText(char16_t* v, char16_t* u, int c) override { FormatMs(g_nRoutingTimeMs, v, u, c); }
};

class CStartupTimeGauge : public CGauge {
 public:
  void GetText(char16_t* v, char16_t* u, int c) override { FormatMs(g_nStartupTimeMs, v, u, c); }
};

class CClockDriftGauge : public CGauge {
 public:
  void GetText(char16_t* v, char16_t* u, int c) override {
    if (GetGaugeHub().ClockCorrections() == 0) return;
    SetText(v, c, u"%d", int(GetGaugeHub().ClockOffset()));
    SetUnit(u, c, c_idsUnitMilliseconds);
  }
};

class CPowerGauge : public CGauge {
 public:
  void GetText(char16_t* v, char16_t* u, int c) override {
    PowerStatus status;
    GetPowerStatus(status);
    if (!status.fKnown || status.nBatteryPercent < 0) return;
    SetText(v, c, status.fOnLine ? u"~%d" : u"%d", status.nBatteryPercent);
    StrCopy(u, size_t(c), u"%");
  }
};

class CMemoryGauge : public CGauge {
 public:
  void GetText(char16_t* v, char16_t* u, int c) override {
    uint64_t qwKb = 0;
    if (!GetAvailablePhysicalKb(qwKb)) return;
    const uint64_t n = qwKb > 2000000000u ? 2000000000u : qwKb;
    if (n > 999)
      SetText(v, c, u"%d %03d", int(n / 1000), int(n % 1000));
    else
      SetText(v, c, u"%d", int(n));
    SetUnit(u, c, c_idsUnitKilobytes);
  }
};

class CCpuGauge : public CGauge {
 public:
  void Load() override { Sample(m_qwCpu, m_dwTick); }
  void GetText(char16_t* v, char16_t* u, int c) override {
    uint64_t qwCpu;
    uint32_t dwTick;
    if (!Sample(qwCpu, dwTick)) return;
    const int nLoad = CpuLoadPerMille(qwCpu - m_qwCpu, dwTick - m_dwTick);
    m_qwCpu = qwCpu;
    m_dwTick = dwTick;
    SetText(v, c, u"%d", nLoad / 10);
    StrCopy(u, size_t(c), u"%");
  }

 private:
  static bool Sample(uint64_t& qwCpu, uint32_t& dwTick) {
    dwTick = GetTickMs();
    return GetProcessCpuTime(qwCpu);
  }
  uint64_t m_qwCpu = 0;
  uint32_t m_dwTick = 0;
};

// ---- registration ----

struct Entry {
  const char16_t* pszId;
  bool fResettable;
  CGauge* pGauge;
};

// One page and its gauges, in the page's list order (registered from the
// end so that the list comes out in this order).
struct PageRegistration {
  PageRegistration(GaugePage* pPage, int iPage, const char16_t* pszId, std::initializer_list<Entry> entries) {
    RegisterGaugePage(pPage, iPage, pszId, 3000 + uint32_t(iPage));
    const int cEntries = int(entries.size());
    GaugeDesc* pDescs = new GaugeDesc[size_t(cEntries)];
    for (int i = cEntries - 1; i >= 0; --i) {
      const Entry& e = entries.begin()[i];
      const uint32_t idsCaption = 3100 + 20 * uint32_t(iPage) + uint32_t(i);
      RegisterGauge(&pDescs[i], e.pGauge, pPage, e.pszId, idsCaption, idsCaption + 400, e.fResettable, true);
    }
  }
};

// Pages, descriptors and gauge objects live from static initialisation to
// process exit.
#define VELMO_GAUGE_PAGE(ident, index, id, ...) \
  GaugePage g_page_##ident;                    \
  PageRegistration g_reg_##ident(&g_page_##ident, index, id, {__VA_ARGS__})

}  // namespace

// The statistics gauges are defined in TripStats.cpp.
namespace {

CTripBlock& Trip(int i) { return GetTripBlock(i); }

VELMO_GAUGE_PAGE(trip1, 0, u"trip1",
                 {u"triptime_stopped", true, new CTripTimeGauge(&Trip(0), ttStopped)},
                 {u"triptime_moving", true, new CTripTimeGauge(&Trip(0), ttMoving)},
                 {u"triptime_measured", true, new CTripTimeGauge(&Trip(0), ttMeasured)},
                 {u"tripodometer", true, new COdometerGauge(&Trip(0))},
                 {u"avespeed_5sec", false, new CRecentSpeedGauge()},
                 {u"avespeed_overall", false, new CAverageSpeedGauge(&Trip(0), false)},
                 {u"avespeed_moving", false, new CAverageSpeedGauge(&Trip(0), true)});

VELMO_GAUGE_PAGE(trip2, 1, u"trip2",
                 {u"triptime_stopped2", true, new CTripTimeGauge(&Trip(1), ttStopped)},
                 {u"triptime_moving2", true, new CTripTimeGauge(&Trip(1), ttMoving)},
                 {u"triptime_measured2", true, new CTripTimeGauge(&Trip(1), ttMeasured)},
                 {u"tripodometer2", true, new COdometerGauge(&Trip(1))},
                 {u"avespeed_overall2", false, new CAverageSpeedGauge(&Trip(1), false)},
                 {u"avespeed_moving2", false, new CAverageSpeedGauge(&Trip(1), true)});

VELMO_GAUGE_PAGE(max, 2, u"max",
                 {u"maxvdecent", true, new CExtremeGauge(ekMaxDescent)},
                 {u"maxvaccent", true, new CExtremeGauge(ekMaxAscent)},
                 {u"maxspeed", true, new CExtremeGauge(ekMaxSpeed)},
                 {u"minelev", true, new CExtremeGauge(ekMinElevation)},
                 {u"maxelev", true, new CExtremeGauge(ekMaxElevation)},
                 {u"odometer", false, new COdometerGauge(nullptr)});

VELMO_GAUGE_PAGE(navigation, 3, u"navigation",
                 {u"vmg", false, new CNavigationGauge(nkVmg)},
                 {u"sunset", false, new CSunGauge(false)},
                 {u"sunrise", false, new CSunGauge(true)},
                 {u"route", false, new CNavigationGauge(nkRoute)},
                 {u"pointer", false, new CNavigationGauge(nkPointer)},
                 {u"maneuver", false, new CNavigationGauge(nkManeuver)},
                 {u"eta_final", false, new CNavigationGauge(nkEtaFinal)},
                 {u"eta", false, new CNavigationGauge(nkEta)},
                 {u"ete_final", false, new CNavigationGauge(nkEteFinal)},
                 {u"ete", false, new CNavigationGauge(nkEte)},
                 {u"distance_final", false, new CNavigationGauge(nkDistanceFinal)},
                 {u"distance_cur", false, new CNavigationGauge(nkDistanceCur)},
                 {u"wpt_final", false, new CNavigationGauge(nkWptFinal)},
                 {u"wpt_next", false, new CNavigationGauge(nkWptNext)},
                 {u"bearing", false, new CNavigationGauge(nkBearing)});

VELMO_GAUGE_PAGE(gpsdata, 4, u"gpsdata",
                 {u"date_utc", false, new CFixGauge(gfTime, FmtDateUtc)},
                 {u"time_utc", false, new CFixGauge(gfTime, FmtTimeUtc)},
                 {u"date", false, new CFixGauge(gfTime, FmtDateLocal)},
                 {u"time", false, new CFixGauge(gfTime, FmtTimeLocal)},
                 {u"speed", false, new CFixGauge(gfSpeed, FmtSpeed)},
                 {u"x", false, new CFixGauge(gfPosition, FmtLon)},
                 {u"y", false, new CFixGauge(gfPosition, FmtLat)},
                 {u"azimuth", false, new CFixGauge(gfCourse, FmtCourse)});

VELMO_GAUGE_PAGE(altitude, 5, u"altitude",
                 {u"vspeed", false, new CFixGauge(gfVerticalSpeed, FmtVSpeed)},
                 {u"incline", false, new CFixGauge(gfVerticalSpeed | gfSpeed, FmtIncline)},
                 {u"glideratio", false, new CFixGauge(gfVerticalSpeed | gfSpeed, FmtGlide)},
                 {u"geoid", false, new CFixGauge(gfGeoidSeparation, FmtGeoid)},
                 {u"elev", false, new CFixGauge(gfAltitude, FmtElev)});

VELMO_GAUGE_PAGE(precision, 6, u"precision",
                 {u"elevprec", false, new CFixGauge(gfVerticalError, FmtElevPrec)},
                 {u"vdop", false, new CFixGauge(gfVdop, FmtVdop)},
                 {u"magvar", false, new CFixGauge(gfMagneticVariation, FmtMagVar)},
                 {u"satellites", false, new CFixGauge(gfSatellitesUsed, FmtSatellites)},
                 {u"xyprec", false, new CFixGauge(gfHorizontalError, FmtXyPrec)},
                 {u"hdop", false, new CFixGauge(gfHdop, FmtHdop)},
                 {u"gpsfix", false, new CFixGauge(gfStatus, FmtStatus)});

VELMO_GAUGE_PAGE(dgps, 7, u"dgps",
                 {u"dgpsstationid", false, new CFixGauge(gfDgpsStation, FmtDgpsStation)},
                 {u"dgpsupdateage", false, new CFixGauge(gfDgpsAge, FmtDgpsAge)});

VELMO_GAUGE_PAGE(area, 8, u"area", {u"area", true, new CAreaGauge()});

VELMO_GAUGE_PAGE(sonar, 9, u"sonar",
                 {u"temperature", false, new CFixGauge(gfWaterTemperature, FmtWaterTemp)},
                 {u"depth", false, new CFixGauge(gfDepth, FmtDepth)});

VELMO_GAUGE_PAGE(map, 10, u"map",
                 {u"mapsincache", false, new CMapGauge(mkInCache)},
                 {u"maplevel", false, new CMapGauge(mkLevel)},
                 {u"mapfile", false, new CMapGauge(mkFile)},
                 {u"maprenderings", true, new CCounterGauge(MapPasses)},
                 {u"objectsrendered", false, new CMapGauge(mkObjects)},
                 {u"routesrenderingtime", false, new CMapGauge(mkRoutesMs)},
                 {u"waypointrenderingtime", false, new CMapGauge(mkWaypointsMs)},
                 {u"trackrenderingtime", false, new CMapGauge(mkTrackMs)},
                 {u"maprenderingtime", false, new CMapGauge(mkMapMs)},
                 {u"mapopeningtime", false, new CMapGauge(mkOpeningMs)});

VELMO_GAUGE_PAGE(system, 11, u"system",
                 {u"routingtime", false, new CRoutingTimeGauge()},
                 {u"protocolerrors", true, new CCounterGauge(ChecksumErrors)},
                 {u"power", false, new CPowerGauge()},
                 {u"memory", false, new CMemoryGauge()},
                 {u"inittime", false, new CStartupTimeGauge()},
                 {u"cpu", false, new CCpuGauge()},
                 {u"clockfixups", true, new CCounterGauge(ClockCorrections)},
                 {u"clockdrift", false, new CClockDriftGauge()});

}  // namespace
