// Unit formatting in every unit system, with the unit names of the string
// table (the program's own language, 1049).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "geo/Units.h"

namespace {

const double c_fNaN = std::numeric_limits<double>::quiet_NaN();
const double c_fInf = std::numeric_limits<double>::infinity();

class UnitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAllSettings();
    SetDword(setting::Language.pszName, 1049);
    ResetLanguageForTests();
    SetUnitOptions(Defaults());
  }
  void TearDown() override {
    ResetAllSettings();
    ResetLanguageForTests();
    SetUnitOptions(Defaults());
  }
  static UnitOptions Defaults() { return UnitOptions{unMeters, duMetric, auMetric, afDegrees, pfDegreesMinutes, 1, false, true}; }
  void Use(DWORD UnitOptions::*pField, DWORD dw) {
    UnitOptions options = g_UnitOptions;
    options.*pField = dw;
    SetUnitOptions(options);
  }
  // "value|unit"
  template <typename F>
  static std::u16string Pair(F f) {
    char16_t szValue[64], szUnit[32];
    szUnit[0] = 0;
    f(szValue, szUnit);
    return std::u16string(szValue) + u"|" + szUnit;
  }
  static std::u16string Distance(double f) {
    return Pair([&](char16_t* v, char16_t* u) { FormatDistance(f, v, 64, u, 32); });
  }
  static std::u16string Elevation(double f, ElevationUnit unit, bool fWhole) {
    return Pair([&](char16_t* v, char16_t* u) { FormatElevation(f, unit, fWhole, v, 64, u, 32); });
  }
  static std::u16string Speed(double f) {
    return Pair([&](char16_t* v, char16_t* u) { FormatSpeed(f, v, 64, u, 32); });
  }
  static std::u16string VSpeed(double f) {
    return Pair([&](char16_t* v, char16_t* u) { FormatVerticalSpeed(f, v, 64, u, 32); });
  }
  static std::u16string Area(double f) {
    return Pair([&](char16_t* v, char16_t* u) { FormatArea(f, v, 64, u, 32); });
  }
  template <typename F>
  static std::u16string Text(F f) {
    char16_t sz[128];
    f(sz, 128);
    return sz;
  }
  static std::u16string General(double f) { return Text([&](char16_t* p, size_t c) { FormatGeneralNumber(f, p, c); }); }
  static std::u16string Grouped(uint32_t n) { return Text([&](char16_t* p, size_t c) { FormatGroupedInteger(n, p, c); }); }
  static std::u16string Duration(double f) { return Text([&](char16_t* p, size_t c) { FormatDuration(f, p, c); }); }
  static std::u16string Azimuth(double f) { return Text([&](char16_t* p, size_t c) { FormatAzimuth(f, p, c); }); }
  static std::u16string Lat(double f) { return Text([&](char16_t* p, size_t c) { FormatLatitude(f, p, c); }); }
  static std::u16string Lon(double f) { return Text([&](char16_t* p, size_t c) { FormatLongitude(f, p, c); }); }
};

TEST_F(UnitsTest, GeneralNumberStyle) {
  EXPECT_EQ(General(0), u"0");
  EXPECT_EQ(General(0.05), u"0.0500");
  EXPECT_EQ(General(0.5), u"0.500");
  EXPECT_EQ(General(5), u"5.00");
  EXPECT_EQ(General(99.5), u"99.50");
  EXPECT_EQ(General(150), u"150.0");
  EXPECT_EQ(General(999.9), u"999.9");
  EXPECT_EQ(General(1000), u"1 000");
  EXPECT_EQ(General(1234.5), u"1 235");
  EXPECT_EQ(General(-5), u"-5.00");
  EXPECT_EQ(General(6e9), u"6000 000 000");
  EXPECT_EQ(General(c_fNaN), u"-");
  EXPECT_EQ(General(c_fInf), u"-");
}

TEST_F(UnitsTest, GroupedIntegers) {
  EXPECT_EQ(Grouped(0), u"0");
  EXPECT_EQ(Grouped(999), u"999");
  EXPECT_EQ(Grouped(1000), u"1 000");
  EXPECT_EQ(Grouped(1005), u"1 005");
  EXPECT_EQ(Grouped(999999), u"999 999");
  EXPECT_EQ(Grouped(1000000), u"1 000 000");
  EXPECT_EQ(Grouped(1499499), u"1 499 000");
  EXPECT_EQ(Grouped(1999600), u"2 000 000");
  EXPECT_EQ(Grouped(4294967295u), u"4294 967 000");
}

TEST_F(UnitsTest, DistanceInEachUnitSystem) {
  EXPECT_EQ(Distance(999), u"999|м");
  EXPECT_EQ(Distance(0), u"0|м");
  EXPECT_EQ(Distance(1000), u"1.00|км");
  EXPECT_EQ(Distance(1234567), u"1 235|км");
  Use(&UnitOptions::dwDistanceUnit, duNautical);
  EXPECT_EQ(Distance(926), u"3038|фт");
  EXPECT_EQ(Distance(1852), u"1.00|м.м");
  EXPECT_EQ(Distance(1852 * 250), u"250.0|м.м");
  Use(&UnitOptions::dwDistanceUnit, duStatute);
  EXPECT_EQ(Distance(150 * 1609.3), u"150.0|ми");
  EXPECT_EQ(Distance(1609), u"5279|фт");
  EXPECT_EQ(Distance(-5), u"0|фт");
  EXPECT_EQ(Distance(c_fNaN), u"-|фт");
}

TEST_F(UnitsTest, Elevation) {
  EXPECT_EQ(Elevation(-12.34, unMeters, false), u"-12.3|м");
  EXPECT_EQ(Elevation(12.96, unMeters, false), u"13.0|м");
  // The digit after the point never leaves 0-9.
  EXPECT_EQ(Elevation(12.95, unMeters, false), u"13.0|м");
  EXPECT_EQ(Elevation(0.04, unMeters, false), u"0.0|м");
  EXPECT_EQ(Elevation(12.5, unMeters, true), u"13|м");
  EXPECT_EQ(Elevation(-0.4, unMeters, true), u"-0|м");
  EXPECT_EQ(Elevation(328.084, unFeet, false), u"100.0|м");
  Use(&UnitOptions::dwElevationUnit, unFeet);
  EXPECT_EQ(Elevation(100, unMeters, true), u"328|фт");
  EXPECT_EQ(Elevation(100, unFeet, false), u"100.0|фт");
  // The digit converter stops at 14 digits.
  EXPECT_EQ(Elevation(1e20, unFeet, true), u"99999999999999|фт");
  EXPECT_EQ(Elevation(c_fNaN, unFeet, true), u"-|фт");
  EXPECT_EQ(Elevation(-c_fInf, unFeet, false), u"-|фт");
}

TEST_F(UnitsTest, SpeedsAndVerticalSpeeds) {
  EXPECT_EQ(Speed(100), u"100.0|км/ч");
  EXPECT_EQ(VSpeed(-1.25), u"-1.2|м/с");
  Use(&UnitOptions::dwDistanceUnit, duNautical);
  EXPECT_EQ(Speed(100), u"54.0|узл");
  EXPECT_EQ(VSpeed(1), u"3.3|фт/с");
  Use(&UnitOptions::dwDistanceUnit, duStatute);
  EXPECT_EQ(Speed(100), u"62.1|миль/ч");
  EXPECT_EQ(VSpeed(10), u"32.8|фт/с");
  EXPECT_EQ(Speed(c_fInf), u"-|миль/ч");
}

TEST_F(UnitsTest, AreaInFourSystems) {
  EXPECT_EQ(Area(99999), u"99 999|кв.м");
  EXPECT_EQ(Area(100000), u"0.100|кв.км");
  EXPECT_EQ(Area(2.5e6), u"2.50|кв.км");
  Use(&UnitOptions::dwAreaUnit, auSquareFeetMiles);
  EXPECT_EQ(Area(2589846.6471582055), u"1.00|кв.ми");
  EXPECT_EQ(Area(1), u"11|кв.фт");
  EXPECT_EQ(Area(25898), u"278 764|кв.фт");
  Use(&UnitOptions::dwAreaUnit, auAcres);
  EXPECT_EQ(Area(4047), u"1.00|акр");
  Use(&UnitOptions::dwAreaUnit, auHectares);
  EXPECT_EQ(Area(10000), u"1.00|га");
  EXPECT_EQ(Area(c_fNaN), u"-|га");
}

TEST_F(UnitsTest, Durations) {
  EXPECT_EQ(Duration(0), u"0:00:00");
  EXPECT_EQ(Duration(1.5 / 24), u"1:30:00");
  EXPECT_EQ(Duration(2), u"48:00:00");
  EXPECT_EQ(Duration((3600 + 62) / 86400.0), u"1:01:02");
  // 59.6 s carries into the minute.
  EXPECT_EQ(Duration(59.6 / 86400), u"0:01:00");
  EXPECT_EQ(Duration((3600 - 0.4) / 86400), u"1:00:00");
  EXPECT_EQ(Duration(-90 / 86400.0), u"-0:01:30");
  EXPECT_EQ(Duration(c_fNaN), u"-");
  EXPECT_EQ(Duration(1e300), u"-");
}

TEST_F(UnitsTest, AzimuthInDegreesAndCompassPoints) {
  EXPECT_EQ(Azimuth(45), u"45.0°");
  EXPECT_EQ(Azimuth(400), u"400.0°");  // as given
  EXPECT_EQ(Azimuth(c_fNaN), u"-");
  Use(&UnitOptions::dwAzimuthFormat, afCompassPoints);
  EXPECT_EQ(Azimuth(359.9), u"С");
  EXPECT_EQ(Azimuth(0), u"С");
  EXPECT_EQ(Azimuth(22.4), u"С");
  EXPECT_EQ(Azimuth(22.5), u"СВ");
  EXPECT_EQ(Azimuth(90), u"В");
  EXPECT_EQ(Azimuth(135), u"ЮВ");
  EXPECT_EQ(Azimuth(180), u"Ю");
  EXPECT_EQ(Azimuth(225), u"ЮЗ");
  EXPECT_EQ(Azimuth(270), u"З");
  EXPECT_EQ(Azimuth(337.4), u"СЗ");
  EXPECT_EQ(Azimuth(337.5), u"С");
  // Outside [0, 360) the point is taken modulo a turn.
  EXPECT_EQ(Azimuth(400), u"СВ");
  EXPECT_EQ(Azimuth(-30), u"СЗ");
  EXPECT_EQ(Azimuth(-1e30), Azimuth(std::fmod(-1e30, 360.0) + 360));
  EXPECT_EQ(Azimuth(c_fInf), u"-");
}

TEST_F(UnitsTest, PositionsInFourFormats) {
  EXPECT_EQ(Lat(-33.5), u"S33°30.000'");
  EXPECT_EQ(Lon(37.6173), u"E37°37.038'");
  // Minutes that round to 60 carry into the degree.
  EXPECT_EQ(Lat(33.9999999), u"N34°00.000'");
  Use(&UnitOptions::dwPositionFormat, pfSignedDegrees);
  EXPECT_EQ(Lat(-33.5), u"-33.50000");
  EXPECT_EQ(Lon(-122.419416), u"-122.41942");
  Use(&UnitOptions::dwPositionFormat, pfDegrees);
  EXPECT_EQ(Lat(-33.5), u" S33.50000°");
  EXPECT_EQ(Lon(0), u" E0.00000°");
  Use(&UnitOptions::dwPositionFormat, pfDegreesMinutesSeconds);
  EXPECT_EQ(Lat(-33.5), u"S33°30'00.0\"");
  EXPECT_EQ(Lon(-122.419416), u"W122°25'09.9\"");
  EXPECT_EQ(Lat(55.9999999), u"N56°00'00.0\"");
  EXPECT_EQ(Lat(c_fNaN), u"-");
  char16_t sz[64];
  FormatPosition(55.75, 37.5, sz, 64);
  EXPECT_EQ(std::u16string(sz), u"N55°45'00.0\" E37°30'00.0\"");
  // A short buffer is cut and terminated.
  FormatPosition(55.75, 37.5, sz, 8);
  EXPECT_EQ(std::u16string(sz).size(), 7u);
}

// What a user types into a coordinate field comes back as degrees.
TEST_F(UnitsTest, CoordinatesAreReadBackInEveryFormatAndTypedForms) {
  auto parse = [](const char16_t* psz, bool fLatitude) {
    double f = -999;
    return ParseCoordinate(psz, fLatitude, &f) ? f : -999.0;
  };
  // Each format's own text reads back within the format's resolution.
  const double afValues[] = {0, 55.05, -33.5, 89.99999, -90, 37.6173, -122.419416, 179.99, -180, 0.0000001};
  const struct {
    DWORD dwFormat;
    double fTolerance;
  } c_rgFormats[] = {{pfSignedDegrees, 0.5e-5}, {pfDegrees, 0.5e-5}, {pfDegreesMinutes, 0.5e-3 / 60},
                     {pfDegreesMinutesSeconds, 0.05 / 3600}};
  for (const auto& format : c_rgFormats) {
    Use(&UnitOptions::dwPositionFormat, format.dwFormat);
    for (double f : afValues) {
      if (std::fabs(f) <= 90) {
        const std::u16string strLat = Lat(f);
        EXPECT_NEAR(parse(strLat.c_str(), true), f, format.fTolerance + 1e-12) << format.dwFormat << " " << f;
      }
      const std::u16string strLon = Lon(f);
      EXPECT_NEAR(parse(strLon.c_str(), false), f, format.fTolerance + 1e-12) << format.dwFormat << " " << f;
    }
  }
  // Forms people type: letters after, Russian letters, blanks for marks,
  // comma decimals, two apostrophes for seconds.
  EXPECT_DOUBLE_EQ(parse(u"55.5N", true), 55.5);
  EXPECT_DOUBLE_EQ(parse(u"  ю 33 30  ", true), -33.5);
  EXPECT_DOUBLE_EQ(parse(u"З122 25 12", false), -(122 + 25 / 60.0 + 12 / 3600.0));
  EXPECT_DOUBLE_EQ(parse(u"в 37,5", false), 37.5);
  EXPECT_DOUBLE_EQ(parse(u"N55°04'30''", true), 55.075);
  EXPECT_DOUBLE_EQ(parse(u"55º 04′ 30″ с", true), 55.075);
  EXPECT_DOUBLE_EQ(parse(u"+12", false), 12);
  EXPECT_DOUBLE_EQ(parse(u"-0.5", true), -0.5);
  // Refused: nothing, letters of the other kind or twice, a sign and a
  // letter, a fraction before further numbers, 60 minutes or seconds, out
  // of range, a fourth number, stray text.
  const char16_t* c_rgRefused[] = {u"",        u"  ",      u"N",       u"-",    u"E55",     u"N55S",  u"-55S",
                                   u"N-55",    u"55.5 30", u"55 60",   u"55 59 60", u"90.0001", u"-91", u"55 1 2 3",
                                   u"55x",     u"55..5",   u"55.",     u"55°30°", u"55'"};
  for (size_t i = 0; i < sizeof c_rgRefused / sizeof c_rgRefused[0]; ++i)
    EXPECT_EQ(parse(c_rgRefused[i], true), -999.0) << "refused text #" << i;
  EXPECT_EQ(parse(u"N55", false), -999.0);
  EXPECT_EQ(parse(u"180.5", false), -999.0);
  EXPECT_DOUBLE_EQ(parse(u"W180", false), -180);
  double f = 7;
  EXPECT_FALSE(ParseCoordinate(u"abc", true, &f));
  EXPECT_EQ(f, 7) << "untouched on failure";
  EXPECT_FALSE(ParseCoordinate(nullptr, true, &f));
}

TEST_F(UnitsTest, Addresses) {
  char16_t sz[128];
  FormatStreetAddress(u"Тверская", u"12", sz, 128);
  EXPECT_EQ(std::u16string(sz), u"Тверская, 12");
  FormatAddress(u"125009", u"Москва", u"Тверская", u"12", sz, 128);
  EXPECT_EQ(std::u16string(sz), u"Москва, Тверская, 12");
  FormatStreetAddress(u"Тверская", u"", sz, 128);
  EXPECT_EQ(std::u16string(sz), u"Тверская");
  UnitOptions options = g_UnitOptions;
  options.dwStreetAddressFormat = 0;
  options.fShowZipCode = true;
  options.fShowCity = false;
  SetUnitOptions(options);
  FormatStreetAddress(u"Main St", u"12", sz, 128);
  EXPECT_EQ(std::u16string(sz), u"12 Main St");
  FormatAddress(u"10001", u"New York", u"Main St", nullptr, sz, 128);
  EXPECT_EQ(std::u16string(sz), u"10001, Main St");
}

TEST_F(UnitsTest, OptionsAndNamesLoadFromSettingsAndStrings) {
  SetDword(setting::OptionDistanceUnit.pszName, duStatute);
  SetDword(setting::OptionAreaUnit.pszName, 77);  // out of range: default
  SetDword(setting::OptionAzimuthFormat.pszName, afCompassPoints);
  SetDword(setting::OptionPA_ShowZipCode.pszName, 1);
  LoadUnitOptions();
  EXPECT_EQ(g_UnitOptions.dwDistanceUnit, DWORD(duStatute));
  EXPECT_EQ(g_UnitOptions.dwAreaUnit, DWORD(auMetric));
  EXPECT_EQ(g_UnitOptions.dwElevationUnit, DWORD(unMeters));
  EXPECT_EQ(g_UnitOptions.dwPositionFormat, DWORD(pfDegreesMinutes));
  EXPECT_TRUE(g_UnitOptions.fShowZipCode);
  EXPECT_TRUE(g_UnitOptions.fShowCity);
  EXPECT_EQ(std::u16string(GetUnitName(c_idsUnitMph)), u"миль/ч");
  EXPECT_EQ(std::u16string(GetUnitName(2255)), u"ЮЗ");
  EXPECT_EQ(std::u16string(GetUnitName(2410)), u"");
  EXPECT_EQ(std::u16string(GetUnitName(9999)), u"");
}

TEST_F(UnitsTest, NamesFollowTheLanguageAtTheNextLoad) {
  // The English module "0409.rll" in the program folder.
  const std::string strDir = "/tmp/velmo_units_test_" + std::to_string(::getpid());
  ASSERT_EQ(std::system(("rm -rf " + strDir + " && mkdir -p " + strDir).c_str()), 0);
  std::ofstream(strDir + "/0409.rll") << "MZ";
  setenv("VELMO_PROGRAM_DIR", strDir.c_str(), 1);
  SetDword(setting::Language.pszName, 0x0409);
  ResetLanguageForTests();
  Use(&UnitOptions::dwDistanceUnit, duStatute);
  EXPECT_EQ(Distance(150 * 1609.3), u"150.0|mi");
  EXPECT_EQ(Speed(100), u"62.1|mph");
  Use(&UnitOptions::dwAzimuthFormat, afCompassPoints);
  EXPECT_EQ(Azimuth(200), u"S");
  unsetenv("VELMO_PROGRAM_DIR");
  std::system(("rm -rf " + strDir).c_str());
}

}  // namespace
