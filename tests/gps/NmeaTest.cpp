#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gps/NMEA0183.h"
#include "tests/gps/GpsTestUtil.h"

using gpstest::Bytes;
using gpstest::Collector;
using gpstest::Nmea;

namespace {

const char* const c_szRmc1 = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
const char* const c_szGga1 = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
const char* const c_szRmc2 = "GPRMC,123520,A,4807.040,N,01131.010,E,022.4,084.4,230394,003.1,W";

struct Feeder {
  NMEA0183 nmea{4800};
  Feeder() { nmea.Reset(); }
  ProcessResult Feed(const std::string& s) { return nmea.ProcessData(Bytes(s), DWORD(s.size())); }
};

TEST(Nmea, RmcAndGgaOfOneEpochMakeOneFix) {
  Collector c;
  Feeder f;
  f.Feed(Nmea(c_szRmc1) + Nmea(c_szGga1) + Nmea(c_szRmc2) + "$");
  // The first delivery is the empty fix before the first epoch.
  ASSERT_EQ(c.m_aFixes.size(), 2u);
  const GpsFix& fix = c.m_aFixes[1];
  const uint32_t dwWanted = gfPosition | gfTime | gfSpeed | gfCourse | gfAltitude | gfSatellitesUsed | gfHdop;
  EXPECT_EQ(fix.dwFlags & dwWanted, dwWanted);
  EXPECT_NEAR(fix.latitude, 48.1173, 1e-5);
  EXPECT_NEAR(fix.longitude, 11.516667, 1e-5);
  EXPECT_NEAR(fix.speed, 22.4 * 1.852, 1e-4);
  EXPECT_FLOAT_EQ(fix.course, 84.4f);
  EXPECT_FLOAT_EQ(fix.altitude, 545.4f);
  EXPECT_FLOAT_EQ(fix.geoidSeparation, 46.9f);
  EXPECT_EQ(fix.satellitesUsed, 8);
  EXPECT_EQ(fix.status, fs3D);
  EXPECT_FLOAT_EQ(fix.magneticVariation, -3.1f);
  // 1994-03-23 12:35:19 UTC lies before the epoch of GPSEpoch 1 and is moved
  // 1024 weeks forward, as a receiver after a week rollover needs.
  EXPECT_NEAR(fix.time, 34416.0 + 7168.0 + (12 * 3600 + 35 * 60 + 19) / 86400.0, 1e-9);
}

TEST(Nmea, SentenceSplitAcrossReadsIsJoined) {
  Collector c;
  Feeder f;
  std::string all = Nmea(c_szRmc1) + Nmea(c_szRmc2) + "$";
  for (size_t i = 0; i < all.size(); ++i) f.Feed(all.substr(i, 1));
  ASSERT_EQ(c.m_aFixes.size(), 2u);
  EXPECT_NEAR(c.m_aFixes[1].latitude, 48.1173, 1e-5);
  // The second sentence waits for the next '$'.
  Collector c2;
  Feeder f2;
  f2.Feed(Nmea(c_szRmc1) + Nmea(c_szRmc2));
  EXPECT_EQ(c2.m_aFixes.size(), 1u);
}

TEST(Nmea, AnyTalkerIsAccepted) {
  Collector c;
  Feeder f;
  f.Feed(Nmea("GNRMC,010203,A,5000.000,S,00100.000,W,1.0,10.0,010120,,") +
         Nmea("GNGGA,010203,5000.000,S,00100.000,W,1,12,0.7,10.0,M,1.0,M,,") +
         Nmea("GNRMC,010204,A,5000.000,S,00100.000,W,1.0,10.0,010120,,") + "$");
  ASSERT_EQ(c.m_aFixes.size(), 2u);
  EXPECT_NEAR(c.m_aFixes[1].latitude, -50.0, 1e-6);
  EXPECT_NEAR(c.m_aFixes[1].longitude, -1.0, 1e-6);
  EXPECT_EQ(c.m_aFixes[1].satellitesUsed, 12);
}

TEST(Nmea, StatusVStartsAnEpochButStoresNothing) {
  Collector c;
  Feeder f;
  f.Feed(Nmea(c_szRmc1) + Nmea("GPRMC,123520,V,4807.040,N,01131.010,E,022.4,084.4,230394,003.1,W") + "$");
  ASSERT_EQ(c.m_aFixes.size(), 2u);  // the 123520 epoch delivered 123519
  f.Feed(Nmea(c_szRmc2) + "$");       // same time: no new epoch
  EXPECT_EQ(c.m_aFixes.size(), 2u);
  f.Feed(Nmea("GPRMC,123521,V,,,,,,,230394,,") + "$");
  ASSERT_EQ(c.m_aFixes.size(), 3u);
  // Only the valid RMC of 123520 filled that fix.
  EXPECT_NEAR(c.m_aFixes[2].longitude, 11.516833, 1e-5);
}

TEST(Nmea, GsaFixType1ClearsPositionUntilALaterRmc) {
  Collector c;
  Feeder f;
  f.Feed(Nmea(c_szRmc1) + Nmea("GPGSA,A,1,,,,,,,,,,,,,,2.0,1.5") + Nmea(c_szRmc2) + "$");
  ASSERT_EQ(c.m_aFixes.size(), 2u);
  EXPECT_FALSE(c.m_aFixes[1].Has(gfPosition));
  EXPECT_FALSE(c.m_aFixes[1].Has(gfVdop));
  EXPECT_EQ(c.m_aFixes[1].status, fsInvalid);
  f.Feed(Nmea("GPGSA,A,1,,,,,,,,,,,,,,,") + Nmea(c_szRmc2) + Nmea("GPRMC,123521,A,4807.040,N,01131.010,E,,,230394,,") +
         "$");
  // GSA then RMC of the same epoch: the RMC sets the position again.
  ASSERT_EQ(c.m_aFixes.size(), 3u);
  EXPECT_TRUE(c.m_aFixes[2].Has(gfPosition));
}

TEST(Nmea, GgaQualityZeroClearsThePosition) {
  Collector c;
  Feeder f;
  f.Feed(Nmea("GPGGA,123519,4807.038,N,01131.000,E,0,00,,545.4,M,,,,") + Nmea(c_szRmc2) + "$");
  ASSERT_EQ(c.m_aFixes.size(), 2u);
  EXPECT_FALSE(c.m_aFixes[1].Has(gfPosition));
  EXPECT_EQ(c.m_aFixes[1].status, fsInvalid);
  EXPECT_TRUE(c.m_aFixes[1].Has(gfAltitude));  // stored after the status, as sent
}

TEST(Nmea, ChecksumsWithCrLfAndWithBareLf) {
  for (const char* pszEnd : {"\r\n", "\n"}) {
    Collector c;
    Feeder f;
    std::string bad = Nmea(c_szRmc1, pszEnd);
    bad[10] = '9';  // corrupt the time: 123919
    uint32_t cBefore = GetPositionHub().ChecksumErrors();
    f.Feed(bad + Nmea(c_szRmc2, pszEnd) + "$");
    EXPECT_EQ(GetPositionHub().ChecksumErrors() - cBefore, 1u) << "line end " << (pszEnd[0] == '\r' ? "CR LF" : "LF");
    // The bad sentence made no epoch; only the good one is being built.
    EXPECT_EQ(c.m_aFixes.size(), 1u);
  }
}

TEST(Nmea, SentenceWithoutChecksumIsTakenUnchecked) {
  Collector c;
  Feeder f;
  uint32_t cBefore = GetPositionHub().ChecksumErrors();
  f.Feed(std::string("$") + c_szRmc1 + "\r\n" + "$" + c_szRmc2 + "\r\n$");
  EXPECT_EQ(GetPositionHub().ChecksumErrors(), cBefore);
  ASSERT_EQ(c.m_aFixes.size(), 2u);
  EXPECT_TRUE(c.m_aFixes[1].Has(gfPosition));
}

TEST(Nmea, NoTimeStampsDeliverAfterSixSeconds) {
  Collector c;
  Feeder f;
  f.Feed(Nmea("SDDPT,5.3,0.4,") + "$");
  EXPECT_EQ(c.m_aFixes.size(), 0u);
  c.Advance(6000);
  f.Feed(Nmea("SDDPT,5.4,0.4,") + "$");
  EXPECT_EQ(c.m_aFixes.size(), 0u);  // exactly 6 s is not more than 6 s
  c.Advance(1);
  f.Feed(Nmea("SDDPT,5.5,0.4,") + "$");
  ASSERT_EQ(c.m_aFixes.size(), 1u);
  EXPECT_FLOAT_EQ(c.m_aFixes[0].depth, 5.4f);  // the last depth before the delivery
  // Depth is carried over into the next fix, which takes the newer value.
  c.Advance(6001);
  f.Feed("$");
  ASSERT_EQ(c.m_aFixes.size(), 2u);
  EXPECT_FLOAT_EQ(c.m_aFixes[1].depth, 5.5f);
  c.Advance(6001);
  f.Feed("$");
  ASSERT_EQ(c.m_aFixes.size(), 2u);  // nothing plausible since the last delivery
}

TEST(Nmea, LongSilenceFails) {
  Collector c;
  Feeder f;
  c.Advance(5000);
  EXPECT_EQ(f.nmea.ProcessData(nullptr, 0), Pending);
  c.Advance(1);
  EXPECT_EQ(f.nmea.ProcessData(nullptr, 0), Failed);
}

TEST(Nmea, OverflowAndImplausibleDataFail) {
  Collector c;
  {
    Feeder f;
    EXPECT_EQ(f.Feed(std::string(255, 'x')), Pending);
    EXPECT_EQ(f.Feed("x"), Failed);
  }
  {
    Feeder f;
    EXPECT_EQ(f.Feed(std::string(200, 'x')), Pending);
    EXPECT_EQ(f.Feed(std::string(60, 'y') + "$GP"), Failed);
  }
  {
    Feeder f;
    EXPECT_EQ(f.Feed("$" + std::string(300, 'z')), Failed);  // the tail alone is too long
  }
  {
    Feeder f;
    EXPECT_EQ(f.Feed("$GPGGA,1$GPRMC,"), Failed);  // two '$' less than 9 bytes apart
  }
  {
    Feeder f;  // a plausible sentence makes the protocol recognised
    EXPECT_EQ(f.Feed(Nmea(c_szRmc1) + "$GP"), Recognized);
  }
}

TEST(Nmea, YearRule) {
  Collector c;
  SetBool(u"FixupGPSEpoch", false);
  Feeder f;
  f.Feed(Nmea("GPRMC,000000,A,,,,,0,0,010179,,") + Nmea("GPRMC,000001,A,,,,,0,0,010180,,") +
         Nmea("GPRMC,000002,A,,,,,0,0,010180,,") + "$");
  ASSERT_EQ(c.m_aFixes.size(), 3u);
  EXPECT_NEAR(c.m_aFixes[1].time, 65381.0, 1e-9);                 // 79: 2079-01-01
  EXPECT_NEAR(c.m_aFixes[2].time, 29221.0 + 1 / 86400.0, 1e-9);  // 80: 1980-01-01 00:00:01
}

TEST(Nmea, TimeWithFractions) {
  Collector c;
  Feeder f;
  f.Feed(Nmea("GPRMC,235959.809,A,,,,,0,0,311299,,") + Nmea("GPRMC,000000.810,A,,,,,0,0,010100,,") + "$");
  ASSERT_EQ(c.m_aFixes.size(), 2u);
  EXPECT_NEAR((c.m_aFixes[1].time - 36525.0) * 86400.0, 86399.809, 1e-4);  // 1999-12-31 23:59:59.809
}

TEST(Nmea, SatelliteTables) {
  Collector c;
  Feeder f;
  f.Feed(Nmea("GPGSA,A,3,04,05,,,,,,,,,,,2.0,1.0,1.5") + Nmea("GPGSV,2,1,05,04,40,083,46,05,20,120,40,06,,,,07,10,300,") +
         Nmea("GPGSV,2,2,05,08,05,010,20") + "$");
  ASSERT_EQ(c.m_aSkies.size(), 1u);
  const auto& sky = c.m_aSkies[0];
  ASSERT_EQ(sky.size(), 5u);  // capacity from "satellites in view"
  EXPECT_EQ(sky[0].nPrn, 4);
  EXPECT_EQ(sky[0].nState, 2);
  EXPECT_EQ(sky[0].nSnr, 46);
  EXPECT_EQ(sky[1].nState, 2);
  EXPECT_EQ(sky[2].nPrn, 6);  // an empty elevation is still a satellite
  EXPECT_EQ(sky[3].nPrn, 7);
  EXPECT_EQ(sky[3].nState, 1);
  EXPECT_EQ(sky[4].nPrn, 8);
  // Empty PRN blocks are skipped; 0 in view leaves an empty table.
  f.Feed(Nmea("GPGSV,1,1,00,,,,") + "$");
  ASSERT_EQ(c.m_aSkies.size(), 2u);
  EXPECT_TRUE(c.m_aSkies[1].empty());
}

TEST(Nmea, ConstellationsShareOneTable) {
  Collector c;
  Feeder f;
  std::string round = Nmea("GNGSA,A,3,04,,,,,,,,,,,,2.0,1.0,1.5") + Nmea("GNGSA,A,3,70,,,,,,,,,,,,2.0,1.0,1.5") +
                      Nmea("GPGSV,1,1,02,04,40,083,46,05,20,120,40") + Nmea("GLGSV,1,1,02,70,10,100,30,71,11,110,31");
  f.Feed(round + round + "$");
  ASSERT_EQ(c.m_aSkies.size(), 4u);
  const auto& sky = c.m_aSkies[3];  // after the GLONASS group of the second round
  ASSERT_EQ(sky.size(), 4u);
  EXPECT_EQ(sky[0].nPrn, 4);
  EXPECT_EQ(sky[0].nState, 2);
  EXPECT_EQ(sky[1].nState, 1);
  EXPECT_EQ(sky[2].nPrn, 70);
  EXPECT_EQ(sky[2].nState, 2);  // used in the second GSA of the epoch
  EXPECT_EQ(sky[3].nPrn, 71);
}

TEST(Nmea, GarminAndSounderSentences) {
  Collector c;
  Feeder f;
  f.Feed(Nmea(c_szRmc1) + Nmea("PGRME,15.0,M,45.0,M,25.0,M") + Nmea("PGRMZ,100,f,3") + Nmea("SDDBT,17.5,f,5.3,M,2.9,F") +
         Nmea("INMTW,17.9,C") + Nmea("HCHDG,101.1,,,7.1,W") + Nmea(c_szRmc2) + "$");
  ASSERT_EQ(c.m_aFixes.size(), 2u);
  const GpsFix& fix = c.m_aFixes[1];
  EXPECT_FLOAT_EQ(fix.horizontalError, 15.0f);
  EXPECT_FLOAT_EQ(fix.verticalError, 45.0f);
  EXPECT_NEAR(fix.altitude, 30.48, 1e-4);
  EXPECT_FLOAT_EQ(fix.depth, 5.3f);
  EXPECT_FLOAT_EQ(fix.waterTemperature, 17.9f);
  EXPECT_FLOAT_EQ(fix.course, 84.4f);  // the receiver's course wins over the heading sensor
  // An epoch without a course from the receiver takes the heading.
  f.Feed(Nmea("GPRMC,123521,V,,,,,,,230394,,") + Nmea("HCHDG,101.1,,,7.1,W") + Nmea("GPRMC,123522,V,,,,,,,230394,,") +
         "$");
  ASSERT_EQ(c.m_aFixes.size(), 4u);
  EXPECT_FLOAT_EQ(c.m_aFixes[3].course, 101.1f);
}

TEST(Nmea, FieldParsers) {
  const char* p = " 12.5x";
  EXPECT_EQ(NmeaParseInt(p, p + 6), 12);
  EXPECT_DOUBLE_EQ(NmeaParseReal(p, p + 6), 12.5);
  const char* q = "-0.25";
  EXPECT_DOUBLE_EQ(NmeaParseReal(q, q + 5), -0.25);
  EXPECT_EQ(NmeaParseInt(q, q + 5), 0);  // no sign for integers
  EXPECT_EQ(NmeaParseInt(q, q), 0);
  const char* big = "99999999999999999999";
  EXPECT_GE(NmeaParseInt(big, big + 20), 0);  // never overflows into a negative value
}

}  // namespace
