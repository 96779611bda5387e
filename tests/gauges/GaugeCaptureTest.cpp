// The gauges after replaying each shared receiver capture, checked against
// values computed here from the decoded fixes: distances with GeographicLib's
// geodesic, extremes and trip times from the fixes; and the satellite page's
// table against gpsd's last sky report of the capture.
#include <gtest/gtest.h>

#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gauges/Gauge.h"
#include "gauges/GaugeSources.h"
#include "gauges/SatellitePage.h"
#include "gps/PositionHub.h"
#include "gps/Replay.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "settings/Settings.h"
#include "tests/gauges/GaugeTestUtil.h"
#include "tests/gps/CaptureTest.h"

namespace {

// Feeds the gauges as the main window would, every fix in order.
class CGaugeFeeder : public CPositionListener {
 public:
  struct Event {
    bool fLost;
    GpsFix fix;
  };
  void OnFixTaken(const GpsFix& fix, uint32_t) override {
    UpdateAllGauges(fix);
    m_aEvents.push_back({false, fix});
  }
  void OnPositionLost() override {
    GaugesPositionLost();
    m_aEvents.push_back({true, GpsFix{}});
  }
  std::vector<Event> m_aEvents;
};

struct Capture {
  std::string strName, strProtocol;
};

std::vector<Capture> ReadIndex() {
  std::vector<Capture> a;
  std::ifstream in(gpstest::CaptureDir() + "/index.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::stringstream ss(line);
    std::string name, protocol;
    std::getline(ss, name, '\t');
    std::getline(ss, protocol, '\t');
    const char* psz = protocol.rfind("NMEA", 0) == 0 ? "nmea" : protocol.rfind("Garmin", 0) == 0 ? "garmin" : "sirf";
    a.push_back({name, psz});
  }
  return a;
}

struct Oracle {
  double dLocal = 0;         // the flat local distance the odometers add up
  double dOdometer = 0;      // geodesics on the sphere of the equatorial radius
  double dEllipsoid = 0;     // geodesics on the WGS 84 ellipsoid
  double dMaxSpeed = 0;
  bool fElevation = false;
  double dMaxElev = -1000, dMinElev = 100000;
  double dMoving = 0, dStopped = 0;
};

// The odometers' local distance, written out here from its definition: a flat
// step on the sphere of the WGS 84 equatorial radius, east-west shortened by
// the cosine of the first point's latitude.
double LocalDistance(double lon1, double lat1, double lon2, double lat2) {
  const double a = 6378137.0, k = 3.14159265358979323846 / 180;
  const double dx = std::cos(lat1 * k) * (lon1 - lon2) * a * k;
  const double dy = (lat1 - lat2) * a * k;
  return std::hypot(dx, dy);
}

// What the gauges must show, computed from the fixes the protocol decoded.
Oracle Compute(const std::vector<CGaugeFeeder::Event>& aEvents) {
  // The odometers measure with a flat local distance on a sphere of the
  // equatorial radius: independent geodesics on that sphere must agree
  // within 0.1 %; on the ellipsoid the approximation itself differs by up
  // to e² (0.67 %) with the direction and the latitude.
  const GeographicLib::Geodesic& ellipsoid = GeographicLib::Geodesic::WGS84();
  const GeographicLib::Geodesic sphere(GeographicLib::Constants::WGS84_a(), 0);
  Oracle o;
  bool fPrevPos = false, fPrevTime = false, fPrevMoving = false;
  double lonPrev = 0, latPrev = 0, tPrev = 0;
  for (const auto& e : aEvents) {
    if (e.fLost) {
      fPrevPos = fPrevTime = false;
      continue;
    }
    const GpsFix& f = e.fix;
    const bool fMoving = f.Has(gfSpeed) && f.speed >= 2.0f;
    if (f.Has(gfPosition)) {
      if (fPrevPos && fMoving) {
        o.dLocal += LocalDistance(lonPrev, latPrev, f.longitude, f.latitude);
        double s12;
        sphere.Inverse(latPrev, lonPrev, f.latitude, f.longitude, s12);
        o.dOdometer += s12;
        ellipsoid.Inverse(latPrev, lonPrev, f.latitude, f.longitude, s12);
        o.dEllipsoid += s12;
      }
      lonPrev = f.longitude;
      latPrev = f.latitude;
      fPrevPos = true;
    } else {
      fPrevPos = false;
    }
    if (f.Has(gfSpeed) && f.speed > o.dMaxSpeed) o.dMaxSpeed = f.speed;
    if (f.Has(gfAltitude)) {
      if (f.altitude > o.dMaxElev) o.dMaxElev = f.altitude;
      if (f.altitude < o.dMinElev) o.dMinElev = f.altitude;
    }
    if (f.Has(gfTime)) {
      if (fPrevTime && f.time > tPrev) {
        if (fMoving && fPrevMoving) o.dMoving += f.time - tPrev;
        if (!fMoving && !fPrevMoving) o.dStopped += f.time - tPrev;
      }
      tPrev = f.time;
      fPrevMoving = fMoving;
      fPrevTime = true;
    }
  }
  o.fElevation = o.dMaxElev > -1000;
  return o;
}

struct GpsdSat {
  int nPrn, nEl, nAz, nSnr;
  bool fUsed;
};

// The satellites of gpsd's last SKY report that lists any.
bool LastGpsdSky(const std::string& strName, std::vector<GpsdSat>& aSats) {
  std::ifstream in(gpstest::CaptureDir() + "/" + strName + "/gpsd.chk");
  std::string line, last;
  while (std::getline(in, line))
    if (line.find("\"class\":\"SKY\"") != std::string::npos && line.find("\"satellites\":[{") != std::string::npos)
      last = line;
  if (last.empty()) return false;
  const std::regex reSat(
      "\\{\"PRN\":(\\d+)[^}]*?\"az\":([0-9.]+),\"el\":(-?[0-9.]+)(?:,\"ss\":([0-9.]+))?,\"used\":(true|false)");
  for (std::sregex_iterator it(last.begin(), last.end(), reSat), end; it != end; ++it)
    aSats.push_back({std::stoi((*it)[1]), int(std::lround(std::stod((*it)[3]))), int(std::lround(std::stod((*it)[2]))),
                     (*it)[4].matched ? int(std::lround(std::stod((*it)[4]))) : 0, (*it)[5] == "true"});
  return true;
}

class GaugeCaptures : public gpstest::CaptureTest {};

TEST_F(GaugeCaptures, GaugesAfterEachCaptureMatchTheDecodedFixes) {
  int cChecked = 0, cWithDistance = 0;
  for (const Capture& c : ReadIndex()) {
    SCOPED_TRACE(c.strName);
    std::vector<uint8_t> data;
    ASSERT_TRUE(platform::ReadWholeFile(platform::Utf8ToU16(gpstest::CaptureDir() + "/" + c.strName + "/raw.bin").c_str(),
                                        data));
    gaugetest::FreshGauges();
    CPositionHub hub;
    SetGaugeHub(&hub);
    CGaugeFeeder feeder;
    hub.Subscribe(&feeder);
    ReplayResult result;
    ASSERT_TRUE(ReplayCaptureThrough(hub, c.strProtocol.c_str(), data.data(), data.size(), 7, 64, result));
    hub.Unsubscribe(&feeder);
    const Oracle o = Compute(feeder.m_aEvents);
    const double dOdometer = gaugetest::Number(u"odometer");
    // Over the same moving fixes the odometer is the sum of the local
    // distances (only single-precision rounding of each step apart): what
    // separates it from the geodesics below is the formula alone.
    EXPECT_NEAR(dOdometer, o.dLocal, std::max(1e-6 * o.dLocal, 1e-3));
    EXPECT_NEAR(dOdometer, o.dOdometer, std::max(0.001 * o.dOdometer, 0.01));
    EXPECT_NEAR(dOdometer, o.dEllipsoid, std::max(0.0067 * o.dEllipsoid, 0.01));
    EXPECT_EQ(gaugetest::Number(u"tripodometer"), dOdometer);
    EXPECT_EQ(gaugetest::Number(u"tripodometer2"), dOdometer);
    EXPECT_NEAR(gaugetest::Number(u"maxspeed"), o.dMaxSpeed, 1e-4);
    EXPECT_EQ(gaugetest::HasNumber(u"maxelev"), o.fElevation);
    if (o.fElevation) {
      EXPECT_NEAR(gaugetest::Number(u"maxelev"), o.dMaxElev, 1e-3);
      EXPECT_NEAR(gaugetest::Number(u"minelev"), o.dMinElev, 1e-3);
    }
    EXPECT_NEAR(gaugetest::Number(u"triptime_moving"), o.dMoving, 1e-9);
    EXPECT_NEAR(gaugetest::Number(u"triptime_stopped"), o.dStopped, 1e-9);
    EXPECT_NEAR(gaugetest::Number(u"triptime_measured"), o.dMoving + o.dStopped, 1e-9);
    EXPECT_EQ(gaugetest::Number(u"protocolerrors"), double(result.cChecksumErrors));
    const auto percent = [&](double d) { return d > 0 ? 100 * (dOdometer - d) / d : 0.0; };
    std::printf("%-16s fixes %4zu  odometer %10.3f m (local %10.3f m %+.5f %%, sphere %10.3f m %+.3f %%, "
                "WGS 84 %10.3f m %+.3f %%)  max speed %7.3f km/h  moving %6.0f s  stopped %6.0f s\n",
                c.strName.c_str(), result.aFixes.size(), dOdometer, o.dLocal, percent(o.dLocal), o.dOdometer,
                percent(o.dOdometer), o.dEllipsoid, percent(o.dEllipsoid), o.dMaxSpeed, o.dMoving * 86400,
                o.dStopped * 86400);
    ++cChecked;
    if (o.dOdometer > 1) ++cWithDistance;
    SetGaugeHub(nullptr);
  }
  EXPECT_GE(cChecked, 18);
  EXPECT_GE(cWithDistance, 3);  // the oracle is not only ever zero
}

TEST_F(GaugeCaptures, SatelliteTableEqualsGpsdsLastSkyReport) {
  // NMEA captures whose last sky gpsd and the program both take from the
  // GPS talker's GSV and GSA sentences alone. (The Garmin handhelds, the
  // chartplotter and the Triton list satellites in GSV groups that gpsd
  // merges over several cycles, so its last report is no single table.)
  int cCompared = 0;
  for (const char* pszName : {"bu353s4", "com-1289", "haicom-305N"}) {
    SCOPED_TRACE(pszName);
    std::vector<GpsdSat> aExpected;
    if (!LastGpsdSky(pszName, aExpected)) continue;
    std::vector<uint8_t> data;
    ASSERT_TRUE(platform::ReadWholeFile(
        platform::Utf8ToU16(gpstest::CaptureDir() + "/" + pszName + "/raw.bin").c_str(), data));
    CPositionHub hub;
    ReplayResult result;
    ASSERT_TRUE(ReplayCaptureThrough(hub, "nmea", data.data(), data.size(), 0, 4096, result));
    const std::vector<SatelliteInfo> aShown = GetShownSatellites(hub);
    ASSERT_EQ(aShown.size(), aExpected.size());
    for (size_t i = 0; i < aShown.size(); ++i) {
      // gpsd lists used satellites first; find ours by PRN.
      const SatelliteInfo* p = nullptr;
      for (const auto& s : aShown)
        if (s.nPrn == aExpected[i].nPrn) p = &s;
      ASSERT_NE(p, nullptr) << "PRN " << aExpected[i].nPrn;
      EXPECT_EQ(p->nAzimuth, aExpected[i].nAz) << "PRN " << aExpected[i].nPrn;
      EXPECT_EQ(p->nElevation, aExpected[i].nEl) << "PRN " << aExpected[i].nPrn;
      EXPECT_EQ(p->nSnr, aExpected[i].nSnr) << "PRN " << aExpected[i].nPrn;
      EXPECT_EQ(p->nState == 2, aExpected[i].fUsed) << "PRN " << aExpected[i].nPrn;
    }
    ++cCompared;
  }
  EXPECT_EQ(cCompared, 3);
}

}  // namespace
