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

// Collects fixes and satellite tables; the GPS code runs on a fake clock.
class Collector {
 public:
  Collector() {
    ResetAllSettings();
    ResetPositioningForTests();
    AllowClockCorrection(false);
    m_pfnOldTick = SetGpsTickSource(FakeTick);
    SetFixObserver(OnFixSeen, this);
    SetSatelliteObserver(OnSkySeen, this);
  }
  ~Collector() {
    SetFixObserver(nullptr, nullptr);
    SetSatelliteObserver(nullptr, nullptr);
    SetGpsTickSource(m_pfnOldTick);
    AllowClockCorrection(true);
    ResetAllSettings();
  }
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  void Advance(uint32_t ms) { FakeNow() += ms; }

  std::vector<GpsFix> m_aFixes;
  std::vector<std::vector<SatelliteInfo>> m_aSkies;

 private:
  static void OnFixSeen(const GpsFix& fix, void* p) { static_cast<Collector*>(p)->m_aFixes.push_back(fix); }
  static void OnSkySeen(void* p) {
    std::vector<SatelliteInfo> sky;
    for (int i = 0; i < GetSatelliteCapacity(); ++i) sky.push_back(GetSatellite(i));
    static_cast<Collector*>(p)->m_aSkies.push_back(sky);
  }
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
