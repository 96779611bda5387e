// Helpers of the gauge tests: fixes, a fresh start of every gauge, values.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "gauges/Gauge.h"
#include "platform/Str.h"
#include "settings/Settings.h"

namespace gaugetest {

// Every gauge from empty settings, with no previous fix.
inline void FreshGauges() {
  ResetAllSettings();
  LoadAllGauges();
  GaugesPositionLost();
}

inline GpsFix Fix(double dTime, double lon, double lat, double speed) {
  GpsFix f;
  f.Start();
  f.SetTime(dTime);
  f.SetPosition(float(lon), float(lat));
  if (speed >= 0) f.SetSpeed(float(speed));
  return f;
}

inline GaugeDesc* Gauge(const char16_t* psz) {
  GaugeDesc* p = FindGauge(psz);
  EXPECT_NE(p, nullptr) << platform::U16ToUtf8(psz);
  return p;
}

inline double Number(const char16_t* psz) {
  double f = -12345;
  GaugeDesc* p = Gauge(psz);
  if (p) EXPECT_TRUE(p->pGauge->GetNumber(f)) << platform::U16ToUtf8(psz);
  return f;
}

inline bool HasNumber(const char16_t* psz) {
  double f;
  GaugeDesc* p = Gauge(psz);
  return p && p->pGauge->GetNumber(f);
}

inline std::string Text(const char16_t* psz) {
  char16_t szValue[c_cchGaugeValue], szUnit[c_cchGaugeValue];
  GaugeDesc* p = Gauge(psz);
  if (!p) return "?";
  GetGaugeText(p, szValue, szUnit, c_cchGaugeValue);
  std::string s = platform::U16ToUtf8(szValue);
  if (szUnit[0]) s += " " + platform::U16ToUtf8(szUnit);
  return s;
}

inline std::string Setting(const char16_t* pszName) {
  char16_t sz[256];
  GetString(pszName, sz, 256, u"<absent>");
  return platform::U16ToUtf8(sz);
}

}  // namespace gaugetest
