// The Garmin and SiRF binary protocols on hand-made packets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "gps/GarminProtocol.h"
#include "gps/GpsTime.h"
#include "gps/NMEA0183.h"
#include "gps/SiRFProtocol.h"
#include "gps/detail/GarminPackets.h"
#include "tests/gps/GpsTestUtil.h"

using gpstest::Collector;
using namespace gps::detail;

namespace {

const double c_dPi = 3.14159265358979323846;

typedef std::vector<uint8_t> Bytes;

// A Garmin packet with its checksum and DLE stuffing.
Bytes GarminPacket(uint8_t id, const Bytes& data) {
  Bytes raw = {id, uint8_t(data.size())};
  raw.insert(raw.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : raw) sum = uint8_t(sum + b);
  raw.push_back(uint8_t(-sum));
  Bytes out = {c_btDle};
  for (uint8_t b : raw) {
    out.push_back(b);
    if (b == c_btDle) out.push_back(b);
  }
  out.push_back(c_btDle);
  out.push_back(c_btEtx);
  return out;
}

const Bytes c_ackOfStart = {0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03};

Bytes Pvt(uint16_t wFixType, double latDeg, double lonDeg, float east, float north, float up) {
  GarminPvt pvt = {};
  pvt.fAltitude = 100.0f;
  pvt.fEph = 10.0f;
  pvt.fEpv = 20.0f;
  pvt.wFixType = wFixType;
  pvt.dTimeOfWeek = 86400.0 + 3600.0 + 18.0;  // Monday 01:00:00 UTC
  pvt.dLatitude = latDeg * c_dPi / 180.0;
  pvt.dLongitude = lonDeg * c_dPi / 180.0;
  pvt.fEast = east;
  pvt.fNorth = north;
  pvt.fUp = up;
  pvt.fMslHeight = -30.0f;
  pvt.nLeapSeconds = 18;
  pvt.dwWeekNumberDays = 10584;  // 2018-12-23, a Sunday
  Bytes b(sizeof pvt);
  std::memcpy(b.data(), &pvt, sizeof pvt);
  return b;
}

struct Garmin {
  GarminProtocol g;
  std::vector<uint8_t> sent;
  Garmin() {
    g.SetSendTrace(&sent);
    g.Reset();
  }
  ProcessResult Feed(const Bytes& b) { return g.ProcessData(b.data(), DWORD(b.size())); }
};

TEST(Garmin, StartRequestAckAndPvt) {
  Collector c;
  Garmin g;
  EXPECT_EQ(g.sent, Bytes(c_abGarminStartPvt, c_abGarminStartPvt + 8));
  EXPECT_EQ(g.Feed(c_ackOfStart), Recognized);
  g.sent.clear();
  EXPECT_EQ(g.Feed(GarminPacket(c_idGarminPvt, Pvt(3, 45.0, -120.0, 3.0f, 4.0f, 0.0f))), Recognized);
  EXPECT_EQ(g.sent, Bytes(c_abGarminAckPvt, c_abGarminAckPvt + 8));
  ASSERT_EQ(c.m_aFixes.size(), 1u);
  const GpsFix& fix = c.m_aFixes[0];
  EXPECT_NEAR(fix.latitude, 45.0, 1e-5);
  EXPECT_NEAR(fix.longitude, -120.0, 1e-5);
  EXPECT_FLOAT_EQ(fix.altitude, 70.0f);
  EXPECT_FLOAT_EQ(fix.geoidSeparation, 30.0f);
  EXPECT_FLOAT_EQ(fix.horizontalError, 5.0f);
  EXPECT_FLOAT_EQ(fix.verticalError, 10.0f);
  EXPECT_NEAR(fix.speed, 18.0, 1e-4);
  EXPECT_NEAR(fix.course, std::atan2(3.0, 4.0) * 180 / c_dPi, 1e-4);
  EXPECT_EQ(fix.satellitesUsed, -1);
  EXPECT_EQ(fix.status, fs3D);
  // 1989-12-31 + 10584 days = 2018-12-23; + 1 day 1 h.
  EXPECT_NEAR(fix.time, DaysFromCivil(2018, 12, 24) + 1 / 24.0, 1e-8);
}

TEST(Garmin, DleInsideThePacketIsUnstuffed) {
  Collector c;
  Garmin g;
  g.Feed(c_ackOfStart);
  // A latitude whose bytes hold 0x10 and a checksum that may be 0x10.
  Bytes pvt = Pvt(2, 0.0, 0.0, 0, 0, 0);
  for (int i = 26; i < 34; ++i) pvt[size_t(i)] = 0x10;
  Bytes packet = GarminPacket(c_idGarminPvt, pvt);
  ASSERT_GT(packet.size(), 64u + 6u);  // stuffed
  for (size_t i = 0; i < packet.size(); ++i) g.g.ProcessData(&packet[i], 1);
  ASSERT_EQ(c.m_aFixes.size(), 1u);
  double lat;
  std::memcpy(&lat, &pvt[26], 8);
  EXPECT_NEAR(c.m_aFixes[0].latitude, lat * 180 / c_dPi, 1e-6);
  EXPECT_EQ(c.m_aFixes[0].status, fs2D);
}

TEST(Garmin, AckTimeoutAndNak) {
  Collector c;
  {
    Garmin g;
    c.Advance(3000);
    EXPECT_EQ(g.g.ProcessData(nullptr, 0), Pending);
    c.Advance(1);
    EXPECT_EQ(g.g.ProcessData(nullptr, 0), Failed);
  }
  {
    Garmin g;
    EXPECT_EQ(g.Feed(GarminPacket(c_idGarminNak, {c_idGarminCommand, 0})), Recognized);
    EXPECT_EQ(g.g.ProcessData(nullptr, 0), Failed);
  }
  {
    // NMEA text on the port: no framing, pending until the ACK time-out.
    Garmin g;
    std::string s = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    EXPECT_EQ(g.g.ProcessData(gpstest::Bytes(s), DWORD(s.size())), Pending);
    c.Advance(3001);
    EXPECT_EQ(g.g.ProcessData(nullptr, 0), Failed);
  }
}

TEST(Garmin, SilenceRepeatsTheRequest) {
  Collector c;
  Garmin g;
  g.Feed(c_ackOfStart);
  g.sent.clear();
  c.Advance(699);
  EXPECT_EQ(g.g.ProcessData(nullptr, 0), Pending);
  EXPECT_TRUE(g.sent.empty());
  c.Advance(1);
  EXPECT_EQ(g.g.ProcessData(nullptr, 0), Pending);
  EXPECT_EQ(g.sent, Bytes(c_abGarminStartPvt, c_abGarminStartPvt + 8));
}

TEST(Garmin, EchoShortPacketsAndBadChecksums) {
  Collector c;
  Garmin g;
  // The port echoing our start request.
  EXPECT_EQ(g.Feed(Bytes(c_abGarminStartPvt, c_abGarminStartPvt + 8)), Pending);
  g.Feed(c_ackOfStart);
  // DLE ETX after fewer than 3 bytes ends the run.
  EXPECT_EQ(g.Feed({0x10, 0x33, 0x10, 0x03}), Failed);
  Garmin g2;
  g2.Feed(c_ackOfStart);
  // A short PVT is answered with a NAK.
  g2.sent.clear();
  g2.Feed(GarminPacket(c_idGarminPvt, Bytes(20, 0)));
  EXPECT_EQ(g2.sent, Bytes(c_abGarminNakPvt, c_abGarminNakPvt + 8));
  EXPECT_TRUE(c.m_aFixes.empty());
  // A bad checksum is counted and the packet dropped, but it was framed.
  Bytes bad = GarminPacket(c_idGarminPvt, Pvt(3, 1, 1, 0, 0, 0));
  bad[bad.size() - 3] ^= 0x01;
  uint32_t cBefore = GetPositionHub().ChecksumErrors();
  EXPECT_EQ(g2.Feed(bad), Recognized);
  EXPECT_EQ(GetPositionHub().ChecksumErrors() - cBefore, 1u);
  EXPECT_TRUE(c.m_aFixes.empty());
}

TEST(Garmin, InvalidFixAndSatellites) {
  Collector c;
  Garmin g;
  g.Feed(c_ackOfStart);
  g.Feed(GarminPacket(c_idGarminPvt, Pvt(1, 1, 1, 0, 0, 0)));
  EXPECT_TRUE(c.m_aFixes.empty());
  // A 3D fix whose latitude is no number is no position either.
  g.Feed(GarminPacket(c_idGarminPvt, Pvt(3, std::nan(""), 1, 0, 0, 0)));
  EXPECT_TRUE(c.m_aFixes.empty());
  Bytes sats(96, 0);
  for (int i = 0; i < 12; ++i) sats[size_t(i * 8 + 5)] = 0xFF;
  sats[3] = 40, sats[4] = 60, sats[5] = 6;      // PRN 7
  sats[8 * 5 + 3] = 30, sats[8 * 5 + 5] = 15;   // PRN 16
  g.Feed(GarminPacket(c_idGarminSatellites, sats));
  ASSERT_EQ(c.m_aSkies.size(), 1u);
  ASSERT_EQ(c.m_aSkies[0].size(), 2u);
  EXPECT_EQ(c.m_aSkies[0][0].nPrn, 7);
  EXPECT_EQ(c.m_aSkies[0][0].nElevation, 60);
  EXPECT_EQ(c.m_aSkies[0][0].nSnr, 40);
  EXPECT_EQ(c.m_aSkies[0][1].nPrn, 16);
  // Another size is ignored.
  g.Feed(GarminPacket(c_idGarminSatellites, Bytes(88, 0)));
  EXPECT_EQ(c.m_aSkies.size(), 1u);
}

// ---- SiRF ----

Bytes SirfFrame(const Bytes& payload, int checksumXor = 0) {
  Bytes f = {0xA0, 0xA2, uint8_t(payload.size() >> 8), uint8_t(payload.size())};
  f.insert(f.end(), payload.begin(), payload.end());
  uint32_t sum = 0;
  for (uint8_t b : payload) sum += b;
  sum = (sum & 0x7FFF) ^ uint32_t(checksumXor);
  f.push_back(uint8_t(sum >> 8));
  f.push_back(uint8_t(sum));
  f.push_back(0xB0);
  f.push_back(0xB3);
  return f;
}

void PutBe(Bytes& b, size_t off, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[off + size_t(i)] = uint8_t(v >> (8 * (n - 1 - i)));
}

Bytes Navigation(int mode, uint16_t week, uint32_t tow) {
  Bytes p(41, 0);
  p[0] = 2;
  // A point at 45 N 7 E on the ellipsoid (metres).
  PutBe(p, 1, uint32_t(int32_t(4483917)), 4);
  PutBe(p, 5, uint32_t(int32_t(550556)), 4);
  PutBe(p, 9, uint32_t(int32_t(4487348)), 4);
  PutBe(p, 13, uint32_t(int16_t(8)), 2);
  p[19] = uint8_t(mode);
  p[20] = 10;
  PutBe(p, 22, week, 2);
  PutBe(p, 24, tow, 4);
  p[28] = 7;
  return p;
}

struct Sirf {
  SiRFProtocol s;
  Sirf() { s.Reset(); }
  ProcessResult Feed(const Bytes& b) { return s.ProcessData(b.data(), DWORD(b.size())); }
};

TEST(Sirf, NavigationMessage) {
  Collector c;
  Sirf s;
  EXPECT_EQ(s.Feed(SirfFrame(Navigation(4, 302, 39810228))), Recognized);
  ASSERT_EQ(c.m_aFixes.size(), 1u);
  const GpsFix& fix = c.m_aFixes[0];
  EXPECT_NEAR(fix.latitude, 45.0, 1e-3);
  EXPECT_NEAR(fix.longitude, 7.0, 1e-3);
  EXPECT_EQ(fix.status, fs3D);
  EXPECT_FLOAT_EQ(fix.hdop, 2.0f);
  EXPECT_EQ(fix.satellitesUsed, 7);
  EXPECT_NEAR(fix.speed, 3.6, 1e-4);  // 1 m/s along X
  // Week 302 from 1999-08-22, 398102.28 s: 2005-06-09 14:35:02.28 GPS,
  // 14:34:49.28 UTC with the 13 leap seconds of 2005.
  EXPECT_NEAR(fix.time, DaysFromCivil(2005, 6, 9) + (14 * 3600 + 34 * 60 + 49.28) / 86400.0, 1e-8);
}

TEST(Sirf, WeekZeroAndLeapSeconds) {
  Collector c;
  SetBool(u"FixupGPSEpoch", false);
  Sirf s;
  s.Feed(SirfFrame(Navigation(3, 0, 0)));
  ASSERT_EQ(c.m_aFixes.size(), 1u);
  // 1999-08-22 00:00 GPS is 1999-08-21 23:59:47 UTC.
  EXPECT_NEAR(c.m_aFixes[0].time, 36394.0 - 13 / 86400.0, 1e-9);
  EXPECT_EQ(GpsLeapSeconds(DaysFromCivil(2016, 12, 31)), 17);
  EXPECT_EQ(GpsLeapSeconds(DaysFromCivil(2017, 1, 1) + 18 / 86400.0), 18);
  EXPECT_EQ(GpsLeapSeconds(DaysFromCivil(1980, 1, 6)), 0);
}

TEST(Sirf, PositionModes) {
  Collector c;
  Sirf s;
  s.Feed(SirfFrame(Navigation(7, 302, 0)));
  s.Feed(SirfFrame(Navigation(0, 302, 0)));
  s.Feed(SirfFrame(Navigation(5, 302, 0)));
  ASSERT_EQ(c.m_aFixes.size(), 3u);
  EXPECT_EQ(c.m_aFixes[0].dwFlags, uint32_t(gfStatus));
  EXPECT_EQ(c.m_aFixes[0].status, fsInvalid);
  EXPECT_EQ(c.m_aFixes[1].dwFlags, uint32_t(gfStatus));
  EXPECT_EQ(c.m_aFixes[2].status, fs2D);
}

TEST(Sirf, FramingRejectsBadFrames) {
  Collector c;
  Sirf s;
  Bytes nav = Navigation(4, 302, 0);
  // Received checksum with bit 15 set never matches.
  EXPECT_EQ(s.Feed(SirfFrame(nav, 0x8000)), Pending);
  // Wrong end bytes.
  Bytes f = SirfFrame(nav);
  f.back() = 0xB4;
  EXPECT_EQ(s.Feed(f), Pending);
  // A length of 2040 restarts the search with the next byte: the good
  // frame right behind it is found.
  Bytes junk = {0xA0, 0xA2, 0x07, 0xF8};
  Bytes good = SirfFrame(nav);
  junk.insert(junk.end(), good.begin(), good.end());
  EXPECT_EQ(s.Feed(junk), Recognized);
  EXPECT_EQ(c.m_aFixes.size(), 1u);
  // Noise, a frame split over many reads, noise.
  Bytes noisy = {0x00, 0xA0, 0x13, 0xA2};
  noisy.insert(noisy.end(), good.begin(), good.end());
  noisy.push_back(0x0A);
  for (uint8_t b : noisy) s.s.ProcessData(&b, 1);
  EXPECT_EQ(c.m_aFixes.size(), 2u);
  // Five seconds without a good message.
  c.Advance(5001);
  EXPECT_EQ(s.s.ProcessData(nullptr, 0), Failed);
}

TEST(Sirf, TrackerData) {
  Collector c;
  Sirf s;
  Bytes p(8 + 4 * 15, 0);
  p[0] = 4;
  p[7] = 4;
  auto channel = [&](int i, uint8_t id, uint8_t az, uint8_t el, uint16_t state, uint8_t cn0) {
    size_t off = 8 + size_t(i) * 15;
    p[off] = id;
    p[off + 1] = az;
    p[off + 2] = el;
    PutBe(p, off + 3, state, 2);
    for (int k = 0; k < 10; ++k) p[off + 5 + size_t(k)] = uint8_t(cn0 + (k == 0 ? 9 : 0));
  };
  channel(0, 5, 100, 91, 0x81, 40);
  channel(1, 9, 3, 1, 0x80, 30);
  channel(2, 0, 0, 0, 0, 0);
  channel(3, 12, 3, 1, 0xBF, 30);
  s.Feed(SirfFrame(p));
  ASSERT_EQ(c.m_aSkies.size(), 1u);
  ASSERT_EQ(c.m_aSkies[0].size(), 2u);  // the zero id in the third channel ends the list
  EXPECT_EQ(c.m_aSkies[0][0].nPrn, 5);
  EXPECT_EQ(c.m_aSkies[0][0].nAzimuth, 150);
  EXPECT_EQ(c.m_aSkies[0][0].nElevation, 45);
  EXPECT_EQ(c.m_aSkies[0][0].nSnr, 40);  // (9 + 400) / 10
  EXPECT_EQ(c.m_aSkies[0][0].nState, 2);
  EXPECT_EQ(c.m_aSkies[0][1].nState, 1);
  // A channel count beyond the payload stops at its end.
  p[7] = 200;
  p.resize(8 + 2 * 15);
  s.Feed(SirfFrame(p));
  ASSERT_EQ(c.m_aSkies.size(), 2u);
  EXPECT_EQ(c.m_aSkies[1].size(), 2u);
}

TEST(Sirf, EcefToGeodetic) {
  double lat, lon, h;
  EcefToGeodetic(6378137.0, 0, 0, &lat, &lon, &h);
  EXPECT_NEAR(lat, 0, 1e-9);
  EXPECT_NEAR(lon, 0, 1e-9);
  EXPECT_NEAR(h, 0, 1e-3);
  EcefToGeodetic(0, 0, 6356752.314245179 + 100, &lat, &lon, &h);
  EXPECT_NEAR(lat, 90, 1e-4);
  EXPECT_NEAR(h, 100, 1e-2);
}

}  // namespace

namespace {

// A receiver at the wrong baud rate: noise. Each protocol gives up by its
// own rule, so the port goes on to the next one.
TEST(Noise, EveryProtocolFailsByItsOwnRule) {
  Collector c;
  std::vector<uint8_t> noise(4096);
  uint32_t s = 12345;
  for (uint8_t& b : noise) {
    s = s * 1103515245u + 12345u;
    b = uint8_t(s >> 16);
  }
  {
    NMEA0183 nmea(4800);
    nmea.Reset();
    ProcessResult r = Pending;
    size_t off = 0;
    for (; off < noise.size() && r != Failed; off += 64) r = nmea.ProcessData(&noise[off], 64);
    EXPECT_EQ(r, Failed);
    EXPECT_LE(off, 2048u);  // overflow or an implausible sentence within the first reads
  }
  {
    Garmin g;
    for (size_t off = 0; off < noise.size(); off += 64) EXPECT_NE(g.g.ProcessData(&noise[off], 64), Recognized);
    c.Advance(3001);
    EXPECT_EQ(g.g.ProcessData(nullptr, 0), Failed);
  }
  {
    Sirf sirf;
    for (size_t off = 0; off < noise.size(); off += 64) EXPECT_EQ(sirf.s.ProcessData(&noise[off], 64), Pending);
    c.Advance(5001);
    EXPECT_EQ(sirf.s.ProcessData(nullptr, 0), Failed);
  }
  EXPECT_TRUE(c.m_aFixes.empty());
}

}  // namespace
