#include "gps/Replay.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "gps/GarminProtocol.h"
#include "gps/NMEA0183.h"
#include "gps/PositionHub.h"
#include "gps/SiRFProtocol.h"
#include "platform/Clock.h"

namespace {

const uint8_t c_abGarminAckOfStart[8] = {0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03};

// Collects what a replay's own hub publishes.
class CReplayCollector : public CPositionListener {
 public:
  explicit CReplayCollector(ReplayResult& result) : m_result(result) {}
  void OnFixTaken(const GpsFix& fix, uint32_t) override {
    m_result.aFixes.push_back(fix);
    m_result.aOrder.push_back(true);
  }
  void OnSkyComplete(const SatelliteInfo* pSatellites, int cCount) override {
    SkyReport sky = {0, 0, {}};
    for (int i = 0; i < cCount; ++i) {
      const SatelliteInfo& info = pSatellites[i];
      if (info.nPrn == 0 && info.nState == 0 && info.nSnr == 0) continue;  // never written
      sky.aSatellites.push_back(info);
      ++sky.cSatellites;
      if (info.nState == 2) ++sky.cUsed;
    }
    m_result.aSkies.push_back(sky);
    m_result.aOrder.push_back(false);
  }

 private:
  ReplayResult& m_result;
};

GpsProtocol* CreateProtocol(const char* psz) {
  if (std::strcmp(psz, "nmea") == 0) return new NMEA0183(4800);
  if (std::strcmp(psz, "nmea9600") == 0) return new NMEA0183(9600);
  if (std::strcmp(psz, "garmin") == 0) return new GarminProtocol;
  if (std::strcmp(psz, "sirf") == 0 || std::strcmp(psz, "sirf100") == 0) return new SiRFProtocol;
  return nullptr;
}

}  // namespace

bool IsReplayProtocol(const char* pszProtocol) {
  std::unique_ptr<GpsProtocol> p(CreateProtocol(pszProtocol));
  return p != nullptr;
}

bool ReplayCapture(const char* pszProtocol, const uint8_t* pb, size_t cb, uint32_t dwSeed, size_t cbMaxChunk,
                   ReplayResult& result, double dDatePivot) {
  if (!IsReplayProtocol(pszProtocol)) return false;
  // A hub of its own: the replay never touches the program's position, its
  // track or the system clock.
  CPositionHub hub;
  if (dDatePivot != 0) hub.SetDatePivot(dDatePivot);
  return ReplayCaptureThrough(hub, pszProtocol, pb, cb, dwSeed, cbMaxChunk, result);
}

bool ReplayCaptureThrough(CPositionHub& hub, const char* pszProtocol, const uint8_t* pb, size_t cb, uint32_t dwSeed,
                          size_t cbMaxChunk, ReplayResult& result) {
  std::unique_ptr<GpsProtocol> pProtocol(CreateProtocol(pszProtocol));
  if (!pProtocol) return false;
  bool fGarmin = std::strcmp(pszProtocol, "garmin") == 0;
  if (cbMaxChunk == 0) cbMaxChunk = 1;
  hub.AllowClockCorrection(false);
  CReplayCollector collector(result);
  hub.Subscribe(&collector);
  pProtocol->SetHub(&hub);
  pProtocol->Reset();
  if (fGarmin) pProtocol->ProcessData(c_abGarminAckOfStart, sizeof c_abGarminAckOfStart);
  std::mt19937 rng(dwSeed);
  std::uniform_int_distribution<size_t> dist(1, cbMaxChunk);
  size_t off = 0;
  while (off < cb) {
    size_t n = dwSeed ? dist(rng) : cbMaxChunk;
    if (n > cb - off) n = cb - off;
    ProcessResult r = pProtocol->ProcessData(pb + off, DWORD(n));
    off += n;
    if (r == Recognized) result.fRecognized = true;
    if (r == Failed) {
      // A port would start the next protocol here; the replay starts this one afresh.
      ++result.cFailures;
      pProtocol->Reset();
      if (fGarmin) pProtocol->ProcessData(c_abGarminAckOfStart, sizeof c_abGarminAckOfStart);
    }
  }
  hub.Unsubscribe(&collector);
  result.cChecksumErrors = hub.ChecksumErrors();
  result.cSkippedSegments = hub.SkippedData();
  return true;
}

std::string FormatFixTime(const GpsFix& fix) {
  platform::CSystemTime st;
  if (!fix.Has(gfTime) || !platform::DaysToSystemTime(fix.time, st)) return std::string();
  char sz[64];
  std::snprintf(sz, sizeof sz, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond, st.wMilliseconds);
  return sz;
}

std::string FormatFixLine(const GpsFix& fix) {
  char sz[256];
  auto num = [](bool f, double d, const char* fmt) {
    if (!f) return std::string();
    char b[32];
    std::snprintf(b, sizeof b, fmt, d);
    return std::string(b);
  };
  bool fPos = fix.Has(gfPosition);
  std::snprintf(sz, sizeof sz, "fix\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s", FormatFixTime(fix).c_str(),
                num(fPos, fix.latitude, "%.7f").c_str(), num(fPos, fix.longitude, "%.7f").c_str(),
                num(fix.Has(gfAltitude), fix.altitude, "%.2f").c_str(), num(fix.Has(gfSpeed), fix.speed, "%.3f").c_str(),
                num(fix.Has(gfCourse), fix.course, "%.2f").c_str(),
                fix.Has(gfStatus) ? FixStatusNameA(fix.status) : "",
                num(fix.Has(gfSatellitesUsed), fix.satellitesUsed, "%.0f").c_str(),
                num(fix.Has(gfHdop), fix.hdop, "%.1f").c_str());
  return sz;
}

std::string FormatSkyLine(const SkyReport& sky) {
  char sz[64];
  std::snprintf(sz, sizeof sz, "sky\t%d\t%d", sky.cSatellites, sky.cUsed);
  return sz;
}
