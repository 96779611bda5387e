// The scale table, the view state and its transform, and the settings it
// restores from and saves to.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "geo/Units.h"
#include "view/FastMath.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"
#include "view/Scales.h"

namespace {

class MapPositionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAllSettings();
    SetDword(setting::Language.pszName, 1049);
    ResetLanguageForTests();
    SetDistanceUnit(duMetric);
  }
  void TearDown() override {
    ResetAllSettings();
    ResetLanguageForTests();
    SetDistanceUnit(duMetric);
  }
  static void SetDistanceUnit(DWORD dw) {
    UnitOptions options = g_UnitOptions;
    options.dwDistanceUnit = dw;
    SetUnitOptions(options);
  }
  static std::u16string ScaleText(const CMapPosition& pos) {
    char16_t sz[64];
    return pos.GetScaleText(sz, 64);
  }
};

TEST_F(MapPositionTest, ScaleTableColumnsFollowFromTheLabels) {
  ASSERT_EQ(size_t(g_cScales), 27u);
  for (size_t i = 0; i < g_cScales; ++i) {
    for (int nUnit = 0; nUnit < 3; ++nUnit) {
      EXPECT_EQ(ComputeScaleDenominator(i, nUnit), g_cScales[i].anDen[nUnit]) << i << " " << nUnit;
    }
    // 40 pixels cover the label: den / num map units per pixel.
    const double fMetres = (i < 12 ? g_cScales[i].fLabelMetric : g_cScales[i].fLabelMetric * 1000.0);
    EXPECT_NEAR(40.0 * g_cScales[i].anDen[0] / g_cScales[i].nNum * c_fMetresPerMapUnit, fMetres, fMetres * 1e-5) << i;
    // The denominators fit the view's 24-bit limit after the division by 8.
    for (int nUnit = 0; nUnit < 3; ++nUnit) {
      EXPECT_LE(fast_log2(uint32_t(g_cScales[i].anDen[nUnit] / 8)), 24);
    }
    if (i > 0) {
      EXPECT_GE(g_cScales[i - 1].nCode, g_cScales[i].nCode);
    }
  }
  EXPECT_EQ(g_cScales[0].nCode, 29);
  EXPECT_EQ(g_cScales[26].nCode, 11);
  EXPECT_EQ(g_cScales[24].anDen[1], 14914273);
  EXPECT_EQ(g_cScales[26].anDen[2], 34559455);
  EXPECT_EQ(ComputeScaleDenominator(27, 0), 0);
}

TEST_F(MapPositionTest, UnitConversions) {
  EXPECT_EQ(DegreesToMap(180), 1 << 30);
  EXPECT_EQ(DegreesToMap(-180), -(1 << 30));
  EXPECT_EQ(DegreesToMap(80), c_nMaxMapLatitude);
  EXPECT_EQ(DegreesToMap2(90), 1 << 30);
  EXPECT_EQ(DegreesToMap2(180), INT32_MAX);  // saturates
  EXPECT_DOUBLE_EQ(MapToDegrees(1 << 29), 90.0);
  EXPECT_DOUBLE_EQ(Map2ToDegrees(1 << 30), 90.0);
  EXPECT_DOUBLE_EQ(Map2ToDegrees(-3), MapToDegrees(-2));  // arithmetic shift
  EXPECT_EQ(MetresToMap(20000000), 1 << 30);
  EXPECT_EQ(MetresToMap(1), 54);  // 53.687
  EXPECT_EQ(DegreesToMap(std::nan("")), 0);
  for (double f : {-179.99999, -33.5, 0.0, 0.1, 55.75, 179.99999})
    EXPECT_NEAR(MapToDegrees(DegreesToMap(f)), f, 180.0 / (1 << 30));
}

TEST_F(MapPositionTest, SetScaleLoadsAndClamps) {
  CMapPosition pos;
  pos.SetScale(0);
  EXPECT_EQ(pos.GetNumerator(), 5000);
  EXPECT_EQ(pos.GetDenominator(), 268435 / 8);
  EXPECT_EQ(GetDword(u"MapZoom", 99), 0u);
  pos.SetScreenScale(2, 2);
  EXPECT_EQ(pos.GetNumerator(), 10000);
  pos.SetScale(27);
  EXPECT_EQ(pos.GetScale(), 26u);
  EXPECT_EQ(GetDword(u"MapZoom", 99), 26u);
  pos.SetScale(size_t(-1));
  EXPECT_EQ(pos.GetScale(), 26u);
  SetDistanceUnit(duStatute);
  pos.SetScale(26);
  EXPECT_EQ(pos.GetDenominator(), 34559455 / 8);
}

TEST_F(MapPositionTest, ScaleTexts) {
  CMapPosition pos;
  pos.SetScale(12);
  EXPECT_EQ(ScaleText(pos), u"1.2 км");
  pos.SetScale(13);
  EXPECT_EQ(ScaleText(pos), u"2 км");
  pos.SetScale(11);
  EXPECT_EQ(ScaleText(pos), u"800 м");
  SetDistanceUnit(duStatute);
  pos.SetScale(8);
  EXPECT_EQ(ScaleText(pos), u"800 фт");
  pos.SetScale(9);
  EXPECT_EQ(ScaleText(pos), u"0.2 ми");
  // 0.7f is 0.69999999: still "0.7".
  pos.SetScale(12);
  EXPECT_EQ(ScaleText(pos), u"0.7 ми");
  SetDistanceUnit(duNautical);
  pos.SetScale(14);
  EXPECT_EQ(ScaleText(pos), u"1.5 м.м");
  pos.SetScale(0);
  EXPECT_EQ(ScaleText(pos), u"20 фт");
  char16_t sz[4];
  pos.GetScaleText(sz, 4);
  EXPECT_EQ(std::u16string(sz), u"20 ");
}

TEST_F(MapPositionTest, CentreIsClampedAndSaved) {
  CMapPosition pos;
  pos.SetCentre(0, 500000000);
  EXPECT_EQ(pos.GetCentreY(), 477218588);
  pos.SetCentre(0, INT32_MIN);
  EXPECT_EQ(pos.GetCentreY(), -477218588);
  EXPECT_EQ(pos.GetLatitudeFactor(), 44);  // cos 80° × 255
  pos.SetCentre(-123456789, DegreesToMap(45));
  EXPECT_EQ(pos.GetLatitudeFactor(), 180);  // 180.3
  EXPECT_EQ(g_nMapXc, -123456789);
  EXPECT_EQ(g_nMapYc, DegreesToMap(45));
  EXPECT_EQ(int32_t(GetDword(u"MapXc", 0)), -246913578);
  EXPECT_EQ(int32_t(GetDword(u"MapYc", 0)), DegreesToMap(45) * 2);
  pos.SetCentre(0, 0);
  EXPECT_EQ(pos.GetLatitudeFactor(), 255);
}

TEST_F(MapPositionTest, AngleStoresRoundedCosineAndSine) {
  CMapPosition pos;
  const struct {
    int n, nCos, nSin;
  } aCases[] = {{0, 1024, 0}, {90, 0, 1024}, {180, -1024, 0}, {-90, 0, -1024}, {30, 887, 512}, {45, 724, 724}, {-45, 724, -724}};
  for (const auto& c : aCases) {
    pos.SetAngle(c.n);
    EXPECT_EQ(pos.GetCos(), c.nCos) << c.n;
    EXPECT_EQ(pos.GetSin(), c.nSin) << c.n;
    EXPECT_EQ(int32_t(GetDword(u"MapAngle", 12345)), c.n);
  }
  // Beyond a whole turn the library functions serve.
  pos.SetAngle(390);
  EXPECT_EQ(pos.GetCos(), 887);
  EXPECT_EQ(pos.GetSin(), 512);
}

TEST_F(MapPositionTest, ForwardTransformWithoutRotation) {
  CMapPosition pos;
  pos.SetOrigin(120, 160);
  pos.SetCentre(1000000, 0);
  pos.SetScale(0);  // 5000 / 33554: 6.7 units per pixel
  VPoint pt = pos.ToScreen(1000000, 0);
  EXPECT_EQ(pt.x, 120);
  EXPECT_EQ(pt.y, 160);
  pt = pos.ToScreen(1000000 + 33554, 33554);
  EXPECT_EQ(pt.x, 120 + 5000);
  EXPECT_EQ(pt.y, 160 - 5000);
  // Rounded to the nearest pixel on both sides of the centre: 13 units are
  // 1.94 pixels, 3 units 0.45.
  pt = pos.ToScreen(1000000 - 13, -13);
  EXPECT_EQ(pt.x, 120 - 2);
  EXPECT_EQ(pt.y, 160 + 2);
  pt = pos.ToScreen(1000000 + 3, 3);
  EXPECT_EQ(pt.x, 120);
  EXPECT_EQ(pt.y, 160);
  // Doubled coordinates.
  pt = pos.ToScreenDoubled(2 * (1000000 + 33554) + 1, -2 * 33554);
  EXPECT_EQ(pt.x, 120 + 5000);
  EXPECT_EQ(pt.y, 160 + 5000);
  // Latitude factor along x: at 60° (127) a pixel covers twice the units.
  pos.SetCentre(0, DegreesToMap(60));
  pt = pos.ToScreen(2 * 33554, DegreesToMap(60));
  EXPECT_EQ(pt.x, 120 + int32_t(std::lround(2 * 5000 * pos.GetLatitudeFactor() / 255.0)));
  // Far points do not overflow the 64-bit products.
  pos.SetCentre(c_nMapUnits180, 0);
  pt = pos.ToScreen(-c_nMapUnits180, 0);
  EXPECT_EQ(pt.x, int32_t(120 - std::llround(2147483648.0 * 5000 / 33554)));
  pos.SetAngle(30);
  pt = pos.ToScreen(-c_nMapUnits180, 0);
  EXPECT_NEAR(pt.x, 120 - 2147483648.0 * 5000 / 33554 * 887 / 1024, 2);
  EXPECT_NEAR(pt.y, 160 + 2147483648.0 * 5000 / 33554 * 512 / 1024, 2);
}

TEST_F(MapPositionTest, RotationTurnsTheMapAboutTheOrigin) {
  CMapPosition pos;
  pos.SetOrigin(100, 100);
  pos.SetCentre(0, 0);
  pos.SetScale(0);
  // Heading 90° (east up): a point east of the centre is drawn above it,
  // a point north of it to the left.
  pos.SetAngle(90);
  // 6711 units are 1000 pixels at this scale.
  VPoint pt = pos.ToScreen(6711, 0);  // east
  EXPECT_EQ(pt.x, 100);
  EXPECT_EQ(pt.y, 100 - 1000);
  pt = pos.ToScreen(0, 6711);  // north
  EXPECT_EQ(pt.x, 100 - 1000);
  EXPECT_EQ(pt.y, 100);
  pos.SetAngle(180);
  pt = pos.ToScreen(6711, 2 * 6711);
  EXPECT_EQ(pt.x, 100 - 1000);
  EXPECT_EQ(pt.y, 100 + 2000);
  pos.SetAngle(-90);
  pt = pos.ToScreen(6711, 0);
  EXPECT_EQ(pt.x, 100);
  EXPECT_EQ(pt.y, 100 + 1000);
}

TEST_F(MapPositionTest, RoundTripWithinAPixelAtEveryScaleAndRotation) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int32_t> screen(-1000, 1000);
  double fWorst = 0;
  for (int nAngle : {0, 30, 90, 179, -45}) {
    for (size_t i = 0; i < g_cScales; ++i) {
      for (int32_t yc : {0, DegreesToMap(55.75), DegreesToMap(-79.9)}) {
        CMapPosition pos;
        pos.SetOrigin(240, 300);
        pos.SetViewSize(480, 640);
        pos.SetAngle(nAngle);
        pos.SetCentre(DegreesToMap(37.6), yc);
        pos.SetScale(i);
        // Map units per pixel, along x and along y.
        const double fPixelX = double(pos.GetDenominator()) * 255 / (double(pos.GetNumerator()) * pos.GetLatitudeFactor());
        const double fPixelY = double(pos.GetDenominator()) / pos.GetNumerator();
        // At the coarsest scales near 80° a thousand pixels span more
        // than the 32-bit x range: stay inside it.
        const int32_t nReach = int32_t(std::min(1000.0, 1.0e9 / fPixelX));
        for (int k = 0; k < 100; ++k) {
          // A screen point maps to a map point drawn on that very pixel.
          const VPoint s0{pos.GetOriginX() + screen(rng) % (nReach + 1), pos.GetOriginY() + screen(rng) % (nReach + 1)};
          const MapPoint p = pos.ToMap(s0.x, s0.y);
          const VPoint s1 = pos.ToScreen(p);
          ASSERT_EQ(s1.x, s0.x) << nAngle << " " << i;
          ASSERT_EQ(s1.y, s0.y) << nAngle << " " << i;
          // A map point near it comes back within a pixel.
          const MapPoint q{p.x + int32_t(screen(rng) % 23), p.y + int32_t(screen(rng) % 23)};
          const VPoint s = pos.ToScreen(q);
          const MapPoint r = pos.ToMap(s.x, s.y);
          const double fError = std::hypot((r.x - q.x) / fPixelX, (r.y - q.y) / fPixelY);
          ASSERT_LE(fError, 1.0) << "angle " << nAngle << " scale " << i << " dx " << r.x - q.x << " dy " << r.y - q.y;
          fWorst = std::max(fWorst, fError);
        }
      }
    }
  }
  std::printf("largest round-trip error: %.3f pixels\n", fWorst);
}

TEST_F(MapPositionTest, ToScreenManyMatchesToScreen) {
  CMapPosition pos;
  pos.SetOrigin(100, 200);
  pos.SetCentre(DegreesToMap(10), DegreesToMap(50));
  std::mt19937 rng(11);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::vector<MapPoint> pts(500);
  for (MapPoint& p : pts)
    p = MapPoint{any(rng), any(rng)};
  std::vector<VPoint> out(pts.size());
  for (int nAngle : {0, 30, -170}) {
    pos.SetAngle(nAngle);
    for (size_t i : {size_t(0), size_t(13), size_t(26)}) {
      pos.SetScale(i);
      pos.ToScreenMany(pts.data(), out.data(), pts.size());
      for (size_t k = 0; k < pts.size(); ++k) {
        const VPoint s = pos.ToScreen(pts[k]);
        ASSERT_EQ(out[k].x, s.x);
        ASSERT_EQ(out[k].y, s.y);
      }
    }
  }
}

TEST_F(MapPositionTest, PanMovesTheMapWithThePointer) {
  CMapPosition pos;
  pos.SetOrigin(200, 200);
  pos.SetScale(10);
  for (int nAngle : {0, 30, 90, -45}) {
    pos.SetAngle(nAngle);
    pos.SetCentre(DegreesToMap(30), DegreesToMap(45));
    // The map point under (250, 180) is under (250 + 37, 180 - 21) after
    // the pan, within rounding.
    const MapPoint p = pos.ToMap(250, 180);
    pos.Pan(37, -21);
    const VPoint s = pos.ToScreen(p);
    EXPECT_NEAR(s.x, 287, 2) << nAngle;
    EXPECT_NEAR(s.y, 159, 2) << nAngle;
    EXPECT_EQ(int32_t(GetDword(u"MapXc", 0)), pos.GetCentreX() * 2);
  }
  // Panning far north stops at 80°; a long drag at the coarsest scale
  // (beyond 2^31 map units) still moves the map.
  pos.SetScale(26);
  pos.SetAngle(0);
  pos.SetCentre(0, 0);
  pos.Pan(0, 3000);
  EXPECT_EQ(pos.GetCentreY(), c_nMaxMapLatitude);
  // 2500 pixels there are 2 684 354 500 units (450°): past the 32-bit
  // MulDiv, and brought back to 90°.
  pos.SetCentre(0, 0);
  pos.Pan(-2500, 0);
  EXPECT_NEAR(pos.GetCentreX(), 2684354500LL - (1LL << 31), 2);
  pos.SetCentre(DegreesToMap(-179), 0);
  pos.Pan(0, 0);
  EXPECT_EQ(pos.GetCentreX(), DegreesToMap(-179));
  pos.SetCentre(DegreesToMap(181), 0);
  EXPECT_NEAR(pos.GetCentreX(), DegreesToMap(-179), 1);
  // A click 2100 pixels off the origin: the point wraps with 32-bit map
  // coordinates (2^32 units are two turns) instead of falling on the centre.
  pos.SetCentre(0, 0);
  const MapPoint pFar = pos.ToMap(pos.GetOriginX() + 2100, pos.GetOriginY());
  EXPECT_NEAR(double(uint32_t(pFar.x)), 2100.0 * 5368709 / 5, 2);
}

TEST_F(MapPositionTest, ViewRectHoldsTheCorners) {
  CMapPosition pos;
  pos.SetOrigin(160, 120);
  pos.SetViewSize(320, 240);
  pos.SetCentre(0, 0);
  pos.SetScale(13);
  MapRectL rect = pos.GetViewRect();
  const MapPoint tl = pos.ToMap(0, 0), br = pos.ToMap(319, 239);
  EXPECT_EQ(rect.left, tl.x);
  EXPECT_EQ(rect.right, br.x);
  EXPECT_EQ(rect.top, br.y);  // y grows northwards
  EXPECT_EQ(rect.bottom, tl.y);
  pos.SetAngle(45);
  rect = pos.GetViewRect();
  for (VPoint s : {VPoint{0, 0}, VPoint{319, 0}, VPoint{0, 239}, VPoint{319, 239}, VPoint{160, 120}}) {
    const MapPoint p = pos.ToMap(s.x, s.y);
    EXPECT_TRUE(p.x >= rect.left && p.x <= rect.right && p.y >= rect.top && p.y <= rect.bottom);
  }
}

TEST_F(MapPositionTest, IsAtLeastAndFitRect) {
  CMapPosition pos;
  pos.SetOrigin(160, 120);
  pos.SetViewSize(320, 240);
  pos.SetCentre(0, 0);
  pos.SetScale(13);  // 1073741 / 400 units a pixel: 2684 units
  const int32_t nPixel = 1073741 / 8 / 50;
  EXPECT_TRUE(pos.IsAtLeast(MapRectL{0, 0, 10 * nPixel, 0}, 10, 1000));
  EXPECT_FALSE(pos.IsAtLeast(MapRectL{0, 0, 9 * nPixel, 0}, 10, 1000));
  EXPECT_TRUE(pos.IsAtLeast(MapRectL{0, 0, 0, 20 * nPixel}, 1000, 20));
  // The whole plane does not overflow.
  EXPECT_TRUE(pos.IsAtLeast(MapRectL{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 100000, 100000));

  // A rectangle of 1 km × 1 km at the equator fits 320 × 240 first at
  // index 8 (200 m / 40 px: 200 px); index 7 (120 m / 40 px) needs 333.
  const int32_t n1km = MetresToMap(1000);
  pos.FitRect(MapRectL{-n1km / 2, -n1km / 2, n1km / 2, n1km / 2});
  EXPECT_EQ(pos.GetScale(), 8u);
  EXPECT_EQ(GetDword(u"MapZoom", 0), 8u);
  // Empty rectangles change nothing.
  pos.FitRect(MapRectL{5, 5, 5, 100});
  EXPECT_EQ(pos.GetScale(), 8u);
  pos.FitRect(MapRectL{100, 5, 5, 100});
  EXPECT_EQ(pos.GetScale(), 8u);
  // Nothing fits the whole plane: the least detailed scale.
  pos.FitRect(MapRectL{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
  EXPECT_EQ(pos.GetScale(), 26u);
  // A rectangle that only the last rows (den × 255 beyond 2^31) can hold.
  // 2900 km: index 25 (500 km / 40 px) shows it in 232 pixels, index 24
  // (300 km / 40 px) would need 387.
  const int32_t n2900km = MetresToMap(2900000);
  pos.FitRect(MapRectL{0, 0, n2900km, n2900km});
  EXPECT_EQ(pos.GetScale(), 25u);
}

TEST_F(MapPositionTest, RestoresFromTheSettings) {
  SetDword(u"MapXc", uint32_t(-2468) );
  SetDword(u"MapYc", 2 * 400000000u);
  SetDword(u"MapZoom", 15);
  SetDword(u"MapAngle", 30);
  CMapPosition pos;
  pos.Restore();
  EXPECT_EQ(pos.GetCentreX(), -1234);
  EXPECT_EQ(pos.GetCentreY(), 400000000);
  EXPECT_EQ(pos.GetScale(), 15u);
  EXPECT_EQ(pos.GetAngle(), 0);  // "RotateMap" is off
  SetBool(u"RotateMap", true);
  SetDword(u"MapZoom", 1000);  // damaged value
  SetDword(u"MapYc", 0x7FFFFFFE);
  pos.Restore();
  EXPECT_EQ(pos.GetAngle(), 30);
  EXPECT_EQ(pos.GetCos(), 887);
  EXPECT_EQ(pos.GetScale(), 26u);
  EXPECT_EQ(pos.GetCentreY(), c_nMaxMapLatitude);
  // Restoring writes nothing back.
  EXPECT_EQ(GetDword(u"MapZoom", 0), 1000u);
  // Defaults when nothing is stored.
  ResetAllSettings();
  CMapPosition fresh;
  fresh.Restore();
  EXPECT_EQ(fresh.GetScale(), 10u);
  EXPECT_EQ(fresh.GetCentreX(), 0);
}

}  // namespace
