// Helpers of the GPS tests: a controllable millisecond clock and a
// collector of what positioning receives.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "gps/GpsLog.h"
#include "gps/Positioning.h"

namespace gpstest {

inline uint32_t& FakeNow() {
  static uint32_t s_now = 1000000;
  return s_now;
}
inline uint32_t FakeTick() { return FakeNow(); }

// Collects what the program's position hub publishes; the GPS code runs on
// a fake clock and never sets the system clock.
class Collector : public CPositionListener {
 public:
  Collector() {
    ResetAllSettings();
    GetPositionHub().Reset();
    GetPositionHub().AllowClockCorrection(false);
    // The hand-made sentences and packets of these tests carry dates from
    // 1994 to 2019: they are read as by a program built in August 1999.
    GetPositionHub().SetDatePivot(GpsEpochStart(1));
    m_pfnOldTick = SetGpsTickSource(FakeTick);
    GetPositionHub().Subscribe(this);
  }
  ~Collector() override {
    GetPositionHub().Unsubscribe(this);
    SetGpsTickSource(m_pfnOldTick);
    GetPositionHub().AllowClockCorrection(true);
    ResetAllSettings();
  }
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  void Advance(uint32_t ms) { FakeNow() += ms; }

  // Fixes and skies may come from a port thread while a test reads them.
  size_t FixCount() {
    platform::CLock lock(m_cs);
    return m_aFixes.size();
  }

  std::vector<GpsFix> m_aFixes;
  std::vector<std::vector<SatelliteInfo>> m_aSkies;

 private:
  void OnFixTaken(const GpsFix& fix, uint32_t) override {
    platform::CLock lock(m_cs);
    m_aFixes.push_back(fix);
  }
  void OnSkyComplete(const SatelliteInfo* pSatellites, int cCount) override {
    platform::CLock lock(m_cs);
    m_aSkies.emplace_back(pSatellites, pSatellites + cCount);
  }
  platform::CCritSec m_cs;
  GpsTickSource m_pfnOldTick;
};

inline const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// "$" + body + "*hh" + line end, with the right checksum.
inline std::string Nmea(const std::string& body, const char* pszEnd = "\r\n") {
  uint8_t x = 0;
  for (char c : body) x ^= uint8_t(c);
  char sz[8];
  std::snprintf(sz, sizeof sz, "*%02X", x);
  return "$" + body + sz + pszEnd;
}

}  // namespace gpstest
