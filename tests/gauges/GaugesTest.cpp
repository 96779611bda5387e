// The gauges' rules: the registry, trip statistics, extremes, area, saved
// values, the trip computer's grid and layouts, and the export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include "gauges/GaugeSources.h"
#include "gauges/TripComputer.h"
#include "gauges/TripStats.h"
#include "geo/Units.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "render/Screen.h"
#include "settings/Settings.h"
#include "tests/gauges/GaugeTestUtil.h"

using namespace gaugetest;
using platform::U16ToUtf8;

namespace {

const double c_dSecond = 1.0 / 86400.0;
const double c_dDay = 46000.0;  // 2025-12-09, a present-day date

// Metres per degree of latitude and of longitude at lat, as the area rule uses.
double MetresPerDegree() { return 40000000.0 / 360.0; }

TEST(GaugeRegistry, PagesAndGaugesInListOrder) {
  const char16_t* apszPages[] = {u"trip1", u"trip2",  u"max", u"navigation", u"gpsdata", u"altitude",
                                 u"precision", u"dgps", u"area", u"sonar", u"map", u"system"};
  const int acGauges[] = {7, 6, 6, 15, 8, 5, 7, 2, 1, 2, 10, 8};
  int cTotal = 0;
  std::set<std::u16string> ids;
  for (int i = 0; i < c_cGaugePages; ++i) {
    GaugePage* pPage = GetGaugePage(i);
    ASSERT_NE(pPage, nullptr);
    EXPECT_EQ(pPage->nKind, 1);
    EXPECT_EQ(std::u16string(pPage->pszId), apszPages[i]);
    EXPECT_EQ(pPage->idsCaption, 3000u + unsigned(i));
    int n = 0;
    for (GaugeDesc* p = pPage->pFirst; p; p = p->pNextInPage, ++n) {
      EXPECT_EQ(p->pPage, pPage);
      EXPECT_EQ(p->idsCaption, 3100u + 20u * unsigned(i) + unsigned(n));
      EXPECT_EQ(p->idsDescription, p->idsCaption + 400u);
      EXPECT_EQ(p->fSecond, 1);
      EXPECT_TRUE(ids.insert(p->pszId).second) << U16ToUtf8(p->pszId);
      // Every caption and description is a real text, not the placeholder.
      EXPECT_EQ(GaugeCaption(p).find(u"<??"), std::u16string::npos);
      EXPECT_EQ(GaugeDescription(p).find(u"<??"), std::u16string::npos);
    }
    EXPECT_EQ(n, acGauges[i]) << U16ToUtf8(apszPages[i]);
    cTotal += n;
  }
  EXPECT_EQ(CountGauges(), cTotal);
  EXPECT_EQ(std::u16string(GetGaugePage(0)->pFirst->pszId), u"triptime_stopped");
  EXPECT_EQ(std::u16string(GetGaugePage(4)->pFirst->pNextInPage->pNextInPage->pNextInPage->pNextInPage->pszId), u"speed");
  EXPECT_EQ(GaugeCaption(FindGauge(u"speed")), u"Скорость");
  EXPECT_EQ(GaugeDescription(FindGauge(u"tripodometer")), u"Путь, пройденный с момента сброса путевого компьютера.");
  EXPECT_EQ(FindGauge(u"Speed"), nullptr);  // exact comparison
  EXPECT_EQ(FindGauge(u""), nullptr);
  EXPECT_EQ(GetGaugePage(12), nullptr);
  // The resettable ones are exactly those of the table.
  std::set<std::u16string> resettable;
  for (GaugeDesc* p = GetFirstGauge(); p; p = p->pNextAll)
    if (p->fResettable) resettable.insert(p->pszId);
  EXPECT_EQ(resettable, (std::set<std::u16string>{u"triptime_stopped", u"triptime_moving", u"triptime_measured",
                                                  u"tripodometer", u"triptime_stopped2", u"triptime_moving2",
                                                  u"triptime_measured2", u"tripodometer2", u"maxvdecent",
                                                  u"maxvaccent", u"maxspeed", u"minelev", u"maxelev", u"area",
                                                  u"maprenderings", u"protocolerrors", u"clockfixups"}));
}

TEST(TripStatistics, SlowerThanTwoKmhAddsNoDistanceNorMovingTime) {
  FreshGauges();
  double lon = 37.6;
  for (int i = 0; i < 10; ++i) {
    UpdateAllGauges(Fix(c_dDay + i * c_dSecond, lon, 55.75, 1.9));
    lon += 0.00001;  // about 0.6 m a second: the receiver's drift while standing
  }
  EXPECT_EQ(Number(u"tripodometer"), 0.0);
  EXPECT_EQ(Number(u"odometer"), 0.0);
  EXPECT_EQ(Number(u"triptime_moving"), 0.0);
  EXPECT_NEAR(Number(u"triptime_stopped"), 9 * c_dSecond, 1e-9);
  EXPECT_NEAR(Number(u"triptime_measured"), 9 * c_dSecond, 1e-9);
  // The second across the change to moving counts for no time at all.
  UpdateAllGauges(Fix(c_dDay + 10 * c_dSecond, lon, 55.75, 2.0));
  EXPECT_NEAR(Number(u"triptime_stopped"), 9 * c_dSecond, 1e-9);
  EXPECT_NEAR(Number(u"triptime_measured"), 9 * c_dSecond, 1e-9);
  EXPECT_EQ(Number(u"triptime_moving"), 0.0);
  // Its distance counts: the fix is moving and the previous one was kept.
  EXPECT_GT(Number(u"tripodometer"), 0.3);
  UpdateAllGauges(Fix(c_dDay + 11 * c_dSecond, lon + 0.0001, 55.75, 2.0));
  EXPECT_NEAR(Number(u"triptime_moving"), c_dSecond, 1e-9);
  // A stop after moving: a stopped interval only between two stopped fixes.
  UpdateAllGauges(Fix(c_dDay + 12 * c_dSecond, lon + 0.0001, 55.75, 0));
  UpdateAllGauges(Fix(c_dDay + 14 * c_dSecond, lon + 0.0001, 55.75, 0));
  EXPECT_NEAR(Number(u"triptime_stopped"), 11 * c_dSecond, 1e-9);
  EXPECT_NEAR(Number(u"triptime_measured"), 12 * c_dSecond, 1e-9);
}

TEST(TripStatistics, DistancesAndTimesOfADrive) {
  FreshGauges();
  // 100 s east at 36 km/h: 10 m a second.
  const double dLonPerMetre = 1.0 / (MetresPerDegree() * std::cos(55.75 * 3.14159265358979 / 180));
  for (int i = 0; i <= 100; ++i) UpdateAllGauges(Fix(c_dDay + i * c_dSecond, 37.6 + i * 10 * dLonPerMetre, 55.75, 36));
  EXPECT_NEAR(Number(u"tripodometer"), 1000, 5);
  EXPECT_NEAR(Number(u"tripodometer2"), 1000, 5);
  EXPECT_NEAR(Number(u"odometer"), 1000, 5);
  EXPECT_NEAR(Number(u"triptime_moving"), 100 * c_dSecond, 1e-9);
  EXPECT_NEAR(Number(u"avespeed_moving"), 36, 0.2);
  EXPECT_NEAR(Number(u"avespeed_overall"), 36, 0.2);
  EXPECT_NEAR(Number(u"maxspeed"), 36, 1e-6);
  EXPECT_EQ(Setting(u"TripOdometer"), "<absent>");  // a number, not a text
  EXPECT_NEAR(GetDword(u"Odometer", 0), 1000, 5);
  EXPECT_EQ(Setting(u"TripTimeMoving").substr(0, 8), "0.001157");  // "%.6f" days
  // A lost position: the next fix starts afresh and adds nothing.
  GaugesPositionLost();
  UpdateAllGauges(Fix(c_dDay + 200 * c_dSecond, 38.0, 56.0, 36));
  EXPECT_NEAR(Number(u"odometer"), 1000, 5);
  EXPECT_NEAR(Number(u"triptime_moving"), 100 * c_dSecond, 1e-9);
  // So does a fix without a position.
  GpsFix noPos;
  noPos.Start();
  noPos.SetSpeed(36);
  UpdateAllGauges(noPos);
  UpdateAllGauges(Fix(c_dDay + 201 * c_dSecond, 38.5, 56.0, 36));
  EXPECT_NEAR(Number(u"odometer"), 1000, 5);
  // Average speeds show nothing below one second of time.
  FreshGauges();
  EXPECT_FALSE(HasNumber(u"avespeed_moving"));
  EXPECT_EQ(Text(u"avespeed_overall"), "-");
}

TEST(TripStatistics, ResetOfOneTripGaugeClearsThatTripOnly) {
  FreshGauges();
  for (int i = 0; i <= 20; ++i) UpdateAllGauges(Fix(c_dDay + i * c_dSecond, 37.6 + i * 0.0002, 55.75, i < 15 ? 40 : 0));
  ASSERT_GT(Number(u"tripodometer"), 100);
  ASSERT_GT(Number(u"triptime_stopped"), 0);
  const double fTrip2 = Number(u"tripodometer2"), dtTrip2 = Number(u"triptime_moving2");
  Gauge(u"triptime_moving")->pGauge->Reset();
  EXPECT_EQ(Number(u"tripodometer"), 0);
  EXPECT_EQ(Number(u"triptime_moving"), 0);
  EXPECT_EQ(Number(u"triptime_stopped"), 0);
  EXPECT_EQ(Number(u"triptime_measured"), 0);
  EXPECT_EQ(GetDword(u"TripOdometer", 77), 0u);
  EXPECT_EQ(Setting(u"TripTimeMoving"), "0");
  EXPECT_EQ(Setting(u"TripTimeStopped"), "0");
  EXPECT_EQ(Setting(u"TripTimeMeasured"), "0");
  EXPECT_EQ(Number(u"tripodometer2"), fTrip2);
  EXPECT_EQ(Number(u"triptime_moving2"), dtTrip2);
  EXPECT_GT(Number(u"odometer"), 100);
  // Reset all leaves the overall odometer alone.
  ResetAllGauges();
  EXPECT_EQ(Number(u"tripodometer2"), 0);
  EXPECT_GT(Number(u"odometer"), 100);
}

TEST(TripStatistics, ClockSteppingBackTakesNoTimeAway) {
  FreshGauges();
  UpdateAllGauges(Fix(c_dDay + 100 * c_dSecond, 37.6, 55.75, 10));
  UpdateAllGauges(Fix(c_dDay + 101 * c_dSecond, 37.6001, 55.75, 10));
  UpdateAllGauges(Fix(c_dDay + 50 * c_dSecond, 37.6002, 55.75, 10));  // two recordings joined
  UpdateAllGauges(Fix(c_dDay + 51 * c_dSecond, 37.6003, 55.75, 10));
  EXPECT_NEAR(Number(u"triptime_moving"), 2 * c_dSecond, 1e-9);
}

TEST(Extremes, ElevationsShowNothingUntilAValidOne) {
  FreshGauges();
  EXPECT_EQ(Text(u"maxelev"), "-");
  EXPECT_EQ(Text(u"minelev"), "-");
  EXPECT_FALSE(HasNumber(u"maxelev"));
  UpdateAllGauges(Fix(c_dDay, 37.6, 55.75, 10));  // no altitude
  EXPECT_EQ(Text(u"maxelev"), "-");
  GpsFix f = Fix(c_dDay + c_dSecond, 37.6, 55.75, 10);
  f.SetAltitude(-1000.0f);  // not above the start value
  UpdateAllGauges(f);
  EXPECT_EQ(Text(u"maxelev"), "-");
  EXPECT_EQ(Number(u"minelev"), -1000.0);
  f.SetAltitude(-400.5f);
  f.SetVerticalSpeed(-2.5f);
  UpdateAllGauges(f);
  EXPECT_EQ(Number(u"maxelev"), -400.5);
  EXPECT_EQ(Setting(u"MaxElevation"), "-400.5");
  EXPECT_EQ(Number(u"maxvdecent"), 2.5);
  EXPECT_EQ(Number(u"maxvaccent"), 0.0);
  f.SetVerticalSpeed(1.5f);
  f.SetSpeed(80);
  UpdateAllGauges(f);
  EXPECT_EQ(Number(u"maxvaccent"), 1.5);
  EXPECT_EQ(Number(u"maxvdecent"), 2.5);
  EXPECT_EQ(Number(u"maxspeed"), 80.0);
  EXPECT_EQ(Setting(u"MaxSpeed"), "80.0");
  Gauge(u"maxelev")->pGauge->Reset();
  EXPECT_EQ(Text(u"maxelev"), "-");
  EXPECT_EQ(Setting(u"MaxElevation"), "-1000");
  EXPECT_EQ(Number(u"minelev"), -1000.0);  // its neighbour keeps its value
}

TEST(Area, SquareOfHundredMetresWalkedAtFiveKmh) {
  FreshGauges();
  EXPECT_EQ(Text(u"area"), "-");
  const double lat0 = 55.75, lon0 = 37.6;
  const double dLat = 100.0 / MetresPerDegree();
  const double dLon = dLat / std::cos(lat0 * 3.14159265358979 / 180);
  const double dStep = 5.0 / 3.6;  // metres a second
  const int cSteps = int(100 / dStep);
  const double aCorners[5][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
  double t = c_dDay;
  UpdateAllGauges(Fix(t, lon0, lat0, 5));
  for (int side = 0; side < 4; ++side) {
    for (int k = 1; k <= cSteps + 1; ++k) {
      const double a = std::min(1.0, k / double(cSteps + 1));
      const double x = aCorners[side][0] + (aCorners[side + 1][0] - aCorners[side][0]) * a;
      const double y = aCorners[side][1] + (aCorners[side + 1][1] - aCorners[side][1]) * a;
      t += c_dSecond;
      UpdateAllGauges(Fix(t, lon0 + x * dLon, lat0 + y * dLat, 5));
    }
  }
  EXPECT_NEAR(Number(u"area"), 10000, 100);
  // The state is saved with every valid fix and read back after a restart.
  const std::string strSaved = Setting(u"Area");
  EXPECT_EQ(strSaved.substr(0, 2), "1 ");
  LoadAllGauges();
  EXPECT_NEAR(Number(u"area"), 10000, 100);
  Gauge(u"area")->pGauge->Reset();
  EXPECT_EQ(Setting(u"Area"), "0 0 0 0 0 0");
  EXPECT_FALSE(HasNumber(u"area"));
}

TEST(SavedValues, MalformedValueStartsFromItsDefault) {
  ResetAllSettings();
  SetString(u"MaxSpeed", u"12.5km");
  SetString(u"MaxElevation", u"");
  SetString(u"MinElevation", u"nan");
  SetString(u"TripTimeMoving", u"0.5.5");
  SetString(u"TripTimeStopped", u"0.25");
  SetString(u"Area", u"1 100.0 37.6 55.7 37.6");  // a number short
  SetDword(u"Odometer", 1234);
  LoadAllGauges();
  EXPECT_EQ(Number(u"maxspeed"), 0.0);
  EXPECT_FALSE(HasNumber(u"maxelev"));
  EXPECT_FALSE(HasNumber(u"minelev"));
  EXPECT_EQ(Number(u"triptime_moving"), 0.0);
  EXPECT_EQ(Number(u"triptime_stopped"), 0.25);
  EXPECT_FALSE(HasNumber(u"area"));
  EXPECT_EQ(Number(u"odometer"), 1234.0);
  SetString(u"MaxSpeed", u"99.5");
  SetString(u"Area", u"1 -2500.0 37.6000000 55.7000000 37.6000000 55.7000000");
  LoadAllGauges();
  EXPECT_EQ(Number(u"maxspeed"), 99.5);
  EXPECT_EQ(Number(u"area"), 2500.0);
  ResetAllSettings();
}

TEST(SavedValues, OdometerAndTripTimesContinueAfterARestart) {
  FreshGauges();
  for (int i = 0; i <= 30; ++i) UpdateAllGauges(Fix(c_dDay + i * c_dSecond, 37.6 + i * 0.0002, 55.75, 45));
  const double fOdo = Number(u"odometer"), dtMoving = Number(u"triptime_moving");
  // A restart: the gauges read what was saved.
  LoadAllGauges();
  GaugesPositionLost();
  EXPECT_NEAR(Number(u"odometer"), fOdo, 0.5);  // saved in whole metres
  EXPECT_NEAR(Number(u"triptime_moving"), dtMoving, 1e-6);
  for (int i = 0; i <= 30; ++i) UpdateAllGauges(Fix(c_dDay + (100 + i) * c_dSecond, 37.6 + i * 0.0002, 55.75, 45));
  EXPECT_NEAR(Number(u"triptime_moving"), 2 * dtMoving, 1e-6);
  EXPECT_NEAR(Number(u"odometer"), 2 * fOdo, 1.0);
  ResetAllSettings();
}

TEST(SystemGauges, CpuLoadRemapsSmallValues) {
  EXPECT_EQ(CpuLoadPerMille(0, 1000), 0);
  EXPECT_EQ(CpuLoadPerMille(10000000, 1000), 1000);   // a whole second in a second
  EXPECT_EQ(CpuLoadPerMille(30000000, 1000), 1000);   // capped
  EXPECT_EQ(CpuLoadPerMille(500000, 1000), 50);       // 5 %
  EXPECT_EQ(CpuLoadPerMille(290000, 1000), (29 - 10) * 3 / 2);
  EXPECT_EQ(CpuLoadPerMille(90000, 1000), 0);
  EXPECT_EQ(CpuLoadPerMille(1000, 0), 100);           // at least one tick
  EXPECT_EQ(Text(u"inittime"), "-");
  SetStartupTimeMs(1234);
  EXPECT_NE(Text(u"inittime").find("1 234"), std::string::npos);
  EXPECT_NE(Text(u"memory"), "-");
}

// The values of the map, routing and guidance come through their slots.
class CFakeGuidance : public CGuidanceState {
 public:
  bool GetGuidance(GuidanceInfo& info) override {
    if (!m_fActive) return false;
    info = GuidanceInfo{};
    info.dwValid = gdNextName | gdDistanceNext | gdTimeFinal | gdBearing;
    platform::StrCopy(info.szNextName, 64, u"Рыбинск");
    info.dDistanceNext = 1500;
    info.dTimeFinal = 1.0 / 24;
    info.fBearing = 90;
    return true;
  }
  bool m_fActive = true;
};

TEST(NavigationGauges, ShowDashUntilGuidanceAndItsValuesOnceItRuns) {
  FreshGauges();
  SetGuidanceState(nullptr);
  for (const char16_t* psz : {u"vmg", u"route", u"pointer", u"maneuver", u"eta_final", u"eta", u"ete_final", u"ete",
                              u"distance_final", u"distance_cur", u"wpt_final", u"wpt_next", u"bearing"})
    EXPECT_EQ(Text(psz), "-") << U16ToUtf8(psz);
  CFakeGuidance guidance;
  SetGuidanceState(&guidance);
  EXPECT_EQ(Text(u"wpt_next"), "Рыбинск");
  EXPECT_NE(Text(u"distance_cur"), "-");
  EXPECT_EQ(Text(u"ete_final"), "1:00:00");
  EXPECT_EQ(Text(u"distance_final"), "-");  // not known
  EXPECT_NE(Text(u"bearing"), "-");
  guidance.m_fActive = false;
  EXPECT_EQ(Text(u"wpt_next"), "-");
  SetGuidanceState(nullptr);
  // Sunrise and sunset: local times at the last position.
  UpdateAllGauges(Fix(c_dDay, 37.6, 55.75, 0));
  EXPECT_EQ(Text(u"sunrise").size(), 5u);  // "hh:mm"
}

TEST(TripComputerGrid, ThreeColumnsOnA240PixelPortraitScreen) {
  const TripGrid grid = GetTripGrid(240, 320, 1, 1, false);
  EXPECT_EQ(grid.cColumns, 3);
  EXPECT_EQ(grid.cRows, 8);  // 320 / 33 = 9, at most 8
  EXPECT_EQ(TripCellNumber(0, 0), 0);
  EXPECT_EQ(TripCellNumber(1, 0), 1);
  EXPECT_EQ(TripCellNumber(2, 0), 16);
  EXPECT_EQ(TripCellNumber(3, 7), 31);
  EXPECT_EQ(TripCellNumber(1, 7), 15);
  // Taps map back to the cells drawn there.
  for (int i = 0; i < grid.cColumns; ++i)
    for (int j = 0; j < grid.cRows; ++j) {
      const VRect rc = TripCellRect(grid, i, j);
      EXPECT_EQ(TripCellAt(grid, (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2), TripCellNumber(i, j));
    }
  EXPECT_EQ(TripCellRect(grid, 2, 0).right, 239);
  EXPECT_EQ(TripCellRect(grid, 0, 7).bottom, 320);
  // Large cells, a landscape screen, a doubled scale, a tiny window.
  EXPECT_EQ(GetTripGrid(320, 240, 1, 1, true).cColumns, 2);
  EXPECT_EQ(GetTripGrid(320, 240, 1, 1, true).cRows, 4);
  EXPECT_EQ(GetTripGrid(640, 480, 1, 1, false).cColumns, 4);
  EXPECT_EQ(GetTripGrid(480, 640, 2, 2, false).cColumns, 3);
  EXPECT_EQ(GetTripGrid(480, 640, 2, 2, false).cRows, 8);
  EXPECT_EQ(GetTripGrid(70, 20, 1, 1, false).cColumns, 0);
  EXPECT_EQ(TripCellAt(GetTripGrid(70, 20, 1, 1, false), 5, 5), -1);
}

TEST(TripComputerCells, DefaultsSavedChoicesAndUnknownNames) {
  ResetAllSettings();
  CTripCells cells;
  cells.Load(true);
  EXPECT_EQ(std::u16string(cells.Get(0)->pszId), u"speed");
  EXPECT_EQ(std::u16string(cells.Get(1)->pszId), u"tripodometer");
  EXPECT_EQ(std::u16string(cells.Get(16)->pszId), u"pointer");
  EXPECT_EQ(cells.Get(24), nullptr);  // the portrait table's fourth column is empty
  EXPECT_EQ(std::u16string(cells.Get(15)->pszId), u"bearing");
  cells.Load(false);
  EXPECT_EQ(std::u16string(cells.Get(16)->pszId), u"time");
  EXPECT_EQ(std::u16string(cells.Get(24)->pszId), u"odometer");
  EXPECT_EQ(std::u16string(cells.Get(31)->pszId), u"pointer");
  cells.Set(3, FindGauge(u"cpu"));
  EXPECT_EQ(Setting(u"Gauge_3"), "cpu");
  SetString(u"Gauge_4", u"no_such_gauge");
  SetString(u"Gauge_5", u"");
  CTripCells again;
  again.Load(false);
  EXPECT_EQ(std::u16string(again.Get(3)->pszId), u"cpu");
  EXPECT_EQ(again.Get(4), nullptr);
  EXPECT_EQ(again.Get(5), nullptr);
  again.RestoreDefault(true);
  EXPECT_EQ(Setting(u"Gauge_3"), "triptime_moving");
  EXPECT_EQ(Setting(u"Gauge_24"), "");
  ResetAllSettings();
}

TEST(GaugeExport, EveryPageAndGaugeInTheFileWrittenWhole) {
  FreshGauges();
  UpdateAllGauges(Fix(c_dDay, 37.6, 55.75, 12.5));
  const std::u16string s = FormatGaugeExport(u"09.12.2025", u"14:05:00");
  EXPECT_EQ(s.substr(0, 21), u"09.12.2025 14:05:00\r\n");
  EXPECT_NE(s.find(u"Путевой компьютер 1\r\n-------------------\r\n"), std::u16string::npos);
  int cLines = 0;
  for (GaugeDesc* p = GetFirstGauge(); p; p = p->pNextAll) {
    std::u16string strName = GaugeCaption(p);
    strName.resize(std::max<size_t>(strName.size(), 20), u' ');
    EXPECT_NE(s.find(u"\r\n" + strName + u" "), std::u16string::npos) << U16ToUtf8(p->pszId);
    ++cLines;
  }
  EXPECT_NE(Text(u"speed").find("12.5"), std::string::npos);
  EXPECT_NE(s.find(u"Скорость             " + platform::Utf8ToU16(Text(u"speed")) + u"\r\n"), std::u16string::npos);
  const std::u16string strPath = platform::Utf8ToU16(std::string(VELMO_BINARY_DIR) + "/gauges_export_test.txt");
  ASSERT_TRUE(WriteGaugeExport(strPath.c_str(), s));
  std::vector<uint8_t> data;
  ASSERT_TRUE(platform::ReadWholeFile(strPath.c_str(), data));
  ASSERT_GE(data.size(), 3u);
  EXPECT_EQ(data[0], 0xEF);
  EXPECT_EQ(platform::Utf8ToU16(std::string(data.begin() + 3, data.end())), s);
  platform::DeleteFilePath(strPath.c_str());
  // A folder that does not exist: a failure, not a half-written file.
  EXPECT_FALSE(WriteGaugeExport(platform::Utf8ToU16(std::string(VELMO_BINARY_DIR) + "/no/such/dir/x.txt").c_str(), s));
  const std::u16string strName = ProposeGaugeFileName();
  EXPECT_EQ(strName.size(), 23u);
  EXPECT_EQ(strName.substr(19), u".txt");
}

}  // namespace
