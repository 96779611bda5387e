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
    m_result.aSkies.push_back(MakeSkyReport(pSatellites, cCount));
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

SkyReport MakeSkyReport(const SatelliteInfo* pSatellites, int cCount) {
  SkyReport sky = {0, 0, {}};
  for (int i = 0; i < cCount; ++i) {
    const SatelliteInfo& info = pSatellites[i];
    if (info.nPrn == 0 && info.nState == 0 && info.nSnr == 0) continue;  // never written
    sky.aSatellites.push_back(info);
    ++sky.cSatellites;
    if (info.nState == 2) ++sky.cUsed;
  }
  return sky;
}

CReplayStream::CReplayStream(CPositionHub& hub, const char* pszProtocol, uint32_t dwSeed, size_t cbMaxChunk)
    : m_pProtocol(CreateProtocol(pszProtocol)),
      m_fGarmin(std::strcmp(pszProtocol, "garmin") == 0),
      m_dwSeed(dwSeed),
      m_cbMaxChunk(cbMaxChunk == 0 ? 1 : cbMaxChunk > c_cbMaxChunkLimit ? c_cbMaxChunkLimit : cbMaxChunk),
      m_rng(dwSeed),
      m_dist(1, m_cbMaxChunk),
      m_cbChunk(0) {
  if (!m_pProtocol) return;
  hub.AllowClockCorrection(false);
  m_pProtocol->SetHub(&hub);
  m_pProtocol->Reset();
  if (m_fGarmin) m_pProtocol->ProcessData(c_abGarminAckOfStart, sizeof c_abGarminAckOfStart);
  m_abPending.reserve(m_cbMaxChunk);
  Next();
}

CReplayStream::~CReplayStream() { delete m_pProtocol; }

void CReplayStream::Next() { m_cbChunk = m_dwSeed ? m_dist(m_rng) : m_cbMaxChunk; }

void CReplayStream::Process(const uint8_t* pb, size_t cb) {
  ProcessResult r = m_pProtocol->ProcessData(pb, DWORD(cb));
  if (r == Recognized) m_fRecognized = true;
  if (r == Failed) {
    // A port would start the next protocol here; the replay starts this one afresh.
    ++m_cFailures;
    m_pProtocol->Reset();
    if (m_fGarmin) m_pProtocol->ProcessData(c_abGarminAckOfStart, sizeof c_abGarminAckOfStart);
  }
}

void CReplayStream::Feed(const uint8_t* pb, size_t cb) {
  if (!m_pProtocol) return;
  while (cb > 0) {
    // Whole reads straight from the caller's bytes; a read cut by the end of
    // what was fed waits for the rest.
    if (m_abPending.empty() && cb >= m_cbChunk) {
      Process(pb, m_cbChunk);
      pb += m_cbChunk;
      cb -= m_cbChunk;
      Next();
      continue;
    }
    size_t n = m_cbChunk - m_abPending.size();
    if (n > cb) n = cb;
    m_abPending.insert(m_abPending.end(), pb, pb + n);
    pb += n;
    cb -= n;
    if (m_abPending.size() == m_cbChunk) {
      Process(m_abPending.data(), m_abPending.size());
      m_abPending.clear();
      Next();
    }
  }
}

void CReplayStream::Finish() {
  if (!m_pProtocol || m_abPending.empty()) return;
  Process(m_abPending.data(), m_abPending.size());
  m_abPending.clear();
}

bool ReplayCaptureThrough(CPositionHub& hub, const char* pszProtocol, const uint8_t* pb, size_t cb, uint32_t dwSeed,
                          size_t cbMaxChunk, ReplayResult& result) {
  CReplayCollector collector(result);
  hub.Subscribe(&collector);
  bool ok;
  {
    CReplayStream stream(hub, pszProtocol, dwSeed, cbMaxChunk);
    ok = stream.IsValid();
    stream.Feed(pb, cb);
    stream.Finish();
    result.fRecognized = result.fRecognized || stream.WasRecognized();
    result.cFailures += stream.Failures();
  }
  hub.Unsubscribe(&collector);
  result.cChecksumErrors = hub.ChecksumErrors();
  result.cSkippedSegments = hub.SkippedData();
  return ok;
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
