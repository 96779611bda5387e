// The satellite page's geometry and its picture on the software canvas, and
// the trip computer's picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "gauges/SatellitePage.h"
#include "gauges/TripComputer.h"
#include "platform/Canvas.h"
#include "platform/Str.h"
#include "render/Screen.h"
#include "tests/gauges/GaugeTestUtil.h"

namespace {

// Where the pictures go: VELMO_GAUGE_PICTURES when set (the golden check
// runs these tests into a folder of its own), else the build folder.
std::u16string PicturePath(const char* pszName) {
  const char* pszDir = std::getenv("VELMO_GAUGE_PICTURES");
  return platform::Utf8ToU16(std::string(pszDir && *pszDir ? pszDir : VELMO_BINARY_DIR) + "/" + pszName);
}

SatelliteInfo Sat(int prn, int el, int az, int snr, int state) { return SatelliteInfo{prn, el, az, snr, state}; }

TEST(SatellitePage, ElevationNinetyAtTheCentreZeroOnTheHorizon) {
  const SatelliteLayout l = GetSatelliteLayout(240, 320, 1, 1);
  EXPECT_TRUE(l.fPortrait);
  EXPECT_EQ(l.nRadius, 60);
  EXPECT_EQ(l.xCentre, 120);
  EXPECT_EQ(l.yCentre, 80);
  EXPECT_EQ(l.yBaseline, 80 + 60 + 50 + 10);
  for (int az : {0, 37, 90, 181, 270, 359}) {
    const VPoint pt = SatellitePlotPoint(l, az, 90);
    EXPECT_EQ(pt.x, l.xCentre);
    EXPECT_EQ(pt.y, l.yCentre);
  }
  EXPECT_EQ(SatellitePlotPoint(l, 0, 0).y, l.yCentre - l.nRadius);   // north up
  EXPECT_EQ(SatellitePlotPoint(l, 90, 0).x, l.xCentre + l.nRadius);  // east right
  EXPECT_EQ(SatellitePlotPoint(l, 180, 0).y, l.yCentre + l.nRadius);
  EXPECT_EQ(SatellitePlotPoint(l, 270, 0).x, l.xCentre - l.nRadius);
  const VPoint pt = SatellitePlotPoint(l, 45, 45);
  EXPECT_NEAR(pt.x - l.xCentre, 21, 1);
  EXPECT_NEAR(l.yCentre - pt.y, 21, 1);
  const SatelliteLayout w = GetSatelliteLayout(320, 240, 1, 1);
  EXPECT_FALSE(w.fPortrait);
  EXPECT_EQ(w.xCentre, 60 + 8);
  EXPECT_EQ(w.xStrip, 136);
  EXPECT_EQ(w.cxStrip, 320 - 136 - 8);
  EXPECT_EQ(w.yBaseline, 58);
}

TEST(SatellitePage, StrongSignalRaisesTheHighestSeen) {
  EXPECT_EQ(SatelliteRampIndex(25, 50), 16);
  render::SetScreenScale(1, 1);
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(240, 320));
  CSatellitePainter painter;
  EXPECT_EQ(painter.Highest(), 50);
  GpsFix fix;
  fix.Start();
  painter.Paint(pCanvas.get(), 240, 320, {Sat(5, 40, 100, 60, 2)}, fix, u"");
  EXPECT_EQ(painter.Highest(), 61);
  EXPECT_EQ(SatelliteRampIndex(60, 61), 31);
  const SatelliteLayout l = GetSatelliteLayout(240, 320, 1, 1);
  const VRect rc = SatelliteBarRect(l, 0, 60, 61, 1);
  EXPECT_GE(rc.bottom - rc.top, 50 - 5);  // nearly the strip's height
  EXPECT_LE(rc.bottom - rc.top, 50);
  // It only grows.
  painter.Paint(pCanvas.get(), 240, 320, {Sat(5, 40, 100, 20, 2)}, fix, u"");
  EXPECT_EQ(painter.Highest(), 61);
}

TEST(SatellitePage, ThirteenAndMoreBarsContinuePastTheStrip) {
  const SatelliteLayout l = GetSatelliteLayout(240, 320, 1, 1);
  const int step = SatelliteBarRect(l, 1, 30, 50, 1).left - SatelliteBarRect(l, 0, 30, 50, 1).left;
  EXPECT_EQ(step, l.cxStrip / 12);
  EXPECT_GT(SatelliteBarRect(l, 12, 30, 50, 1).left, l.xStrip + l.cxStrip - l.cxStrip / 24);
  EXPECT_NEAR(SatelliteBarRect(l, 13, 30, 50, 1).left - SatelliteBarRect(l, 12, 30, 50, 1).left, step, 1);
}

TEST(SatellitePage, Ramps) {
  EXPECT_EQ(GreyRamp(0), RGB(255, 255, 255));
  EXPECT_EQ(GreyRamp(31), RGB(0, 0, 0));
  EXPECT_EQ(GreenRamp(0), RGB(0, 255 - 191, 0));
  EXPECT_EQ(GreenRamp(31), RGB(0, 255, 0));
  EXPECT_EQ(RedRamp(0), RGB(128, 0, 0));
  EXPECT_EQ(RedRamp(31), RGB(128 + 127, 0, 0));
}

// The page drawn with a fixed fix and table: the colours stand where the
// layout puts them.
TEST(SatellitePage, PictureOfAFixedSky) {
  render::SetScreenScale(1, 1);
  const int cx = 240, cy = 320;
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(cx, cy));
  CSatellitePainter painter;
  GpsFix fix;
  fix.Start();
  fix.SetPosition(37.6f, 55.75f);
  fix.SetStatus(fs3D);
  fix.SetHdop(1.2f);
  fix.SetSatellitesUsed(2);
  std::vector<SatelliteInfo> sats = {Sat(3, 60, 45, 40, 2), Sat(17, 20, 200, 30, 2), Sat(22, 10, 300, 15, 1)};
  painter.Paint(pCanvas.get(), cx, cy, sats, fix, u"GPS");
  ASSERT_TRUE(platform::SaveCanvasPng(pCanvas.get(), PicturePath("satellite_page_test.png").c_str()));
  const SatelliteLayout l = GetSatelliteLayout(cx, cy, 1, 1);
  EXPECT_EQ(pCanvas->GetPixel(2, cy / 2), RGB(181, 248, 227));  // background
  EXPECT_EQ(pCanvas->GetPixel(l.xCentre + l.nRadius / 2 + 10, l.yCentre + 3), RGB(155, 231, 247));  // sky
  const VRect rcUsed = SatelliteBarRect(l, 0, 40, 50, 1);
  EXPECT_EQ(pCanvas->GetPixel((rcUsed.left + rcUsed.right) / 2, rcUsed.bottom - 2), RGB(0, 255, 0));
  const VRect rcInView = SatelliteBarRect(l, 2, 15, 50, 1);
  EXPECT_EQ(pCanvas->GetPixel((rcInView.left + rcInView.right) / 2, rcInView.bottom - 2), RGB(255, 0, 0));
  // The used satellite's circle is from the green ramp, the other's from the red.
  const VPoint pt = SatellitePlotPoint(l, 45, 60);
  EXPECT_EQ(pCanvas->GetPixel(pt.x, pt.y), GreenRamp(SatelliteRampIndex(40, 50)));
  const VPoint pt2 = SatellitePlotPoint(l, 300, 10);
  EXPECT_EQ(pCanvas->GetPixel(pt2.x, pt2.y), RedRamp(SatelliteRampIndex(15, 50)));
  // The strip's ground runs from white at the baseline to black at its top.
  EXPECT_EQ(pCanvas->GetPixel(l.xStrip + l.cxStrip - 2, l.yBaseline), RGB(255, 255, 255));
  EXPECT_EQ(pCanvas->GetPixel(l.xStrip + l.cxStrip - 2, l.yBaseline - 49), RGB(0, 0, 0));
  // "Исп.: 2" in red at the top left, the text block in black below the strip.
  int cRed = 0, cBlack = 0;
  for (int y = 10; y < 26; ++y)
    for (int x = 10; x < 80; ++x) cRed += pCanvas->GetPixel(x, y) == RGB(255, 0, 0);
  for (int y = l.yBaseline + 16; y < l.yBaseline + 60; ++y)
    for (int x = 10; x < cx; ++x) cBlack += pCanvas->GetPixel(x, y) == RGB(0, 0, 0);
  EXPECT_GT(cRed, 20);
  EXPECT_GT(cBlack, 100);
}

TEST(TripComputerPicture, CellsFramedAndFilledWithTheirGauges) {
  render::SetScreenScale(1, 1);
  gaugetest::FreshGauges();
  UpdateAllGauges(gaugetest::Fix(46000.0, 37.6, 55.75, 42));
  CTripCells cells;
  cells.Load(false);
  // The machine's own figures (free memory, power, load, start-up time)
  // differ from run to run; the stored picture shows the elevation
  // extremes there instead.
  const char16_t* const apszFixed[] = {u"maxelev", u"minelev"};
  int iFixed = 0;
  for (int i = 0; i < c_cTripCells; ++i)
    if (const GaugeDesc* p = cells.Get(i))
      for (const char16_t* pszHost : {u"memory", u"power", u"cpu", u"inittime"})
        if (platform::StrCmp(p->pszId, pszHost) == 0) cells.Set(i, gaugetest::Gauge(apszFixed[iFixed++ % 2]));
  const int cx = 480, cy = 272;
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(cx, cy));
  DrawTripComputer(pCanvas.get(), cells, cx, cy, false, 1);
  ASSERT_TRUE(platform::SaveCanvasPng(pCanvas.get(), PicturePath("trip_computer_test.png").c_str()));
  const TripGrid grid = GetTripGrid(cx, cy, 1, 1, false);
  ASSERT_EQ(grid.cColumns, 4);
  ASSERT_EQ(grid.cRows, 8);
  const VRect rc0 = TripCellRect(grid, 0, 0);
  EXPECT_EQ(pCanvas->GetPixel(rc0.left, rc0.top + 10), RGB(0, 0, 0));  // the frame
  EXPECT_EQ(pCanvas->GetPixel(rc0.right - 3, rc0.top + 3), RGB(255, 255, 255));
  // The highlighted cell (1) and an odd row are shaded differently.
  const VRect rc1 = TripCellRect(grid, 1, 0);
  const VRect rc2 = TripCellRect(grid, 0, 1);
  EXPECT_NE(pCanvas->GetPixel(rc1.right - 3, rc1.top + 3), RGB(255, 255, 255));
  EXPECT_NE(pCanvas->GetPixel(rc2.right - 3, rc2.top + 3), RGB(255, 255, 255));
  EXPECT_NE(pCanvas->GetPixel(rc2.right - 3, rc2.top + 3), pCanvas->GetPixel(rc1.right - 3, rc1.top + 3));
  // Speed: a grey caption and a black value in the first cell.
  int cGrey = 0, cBlack = 0;
  for (int y = rc0.top + 1; y < rc0.bottom; ++y)
    for (int x = rc0.left + 1; x < rc0.right; ++x) {
      const COLORREF cr = pCanvas->GetPixel(x, y);
      cGrey += cr == RGB(96, 96, 96);
      cBlack += cr == RGB(0, 0, 0) && y > rc0.top + 12;
    }
  EXPECT_GT(cGrey, 15);
  EXPECT_GT(cBlack, 30);
  // An empty value draws "-": far fewer black pixels than "42.0".
  GaugeDesc* pSpeed = FindGauge(u"speed");
  std::unique_ptr<platform::CCanvas> pEmpty(platform::CreateSoftCanvas(120, 40));
  gaugetest::FreshGauges();
  GpsFix noSpeed;
  noSpeed.Start();
  UpdateAllGauges(noSpeed);
  DrawGaugeCell(pEmpty.get(), pSpeed, true, 0, 0);
  int cDash = 0;
  for (int y = 12; y < 40; ++y)
    for (int x = 0; x < 120; ++x) cDash += pEmpty->GetPixel(x, y) == RGB(0, 0, 0);
  EXPECT_GT(cDash, 0);
  EXPECT_LT(cDash, cBlack);
}

}  // namespace
