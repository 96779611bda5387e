// The waypoint symbol icons: the strip cut into icons, the icon of every
// symbol from the build's generated resources, and waypoints drawn with
// them on the software raster.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "platform/Canvas.h"
#include "platform/Str.h"
#include "render/LabelGen.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "render/overlay/StoreDraw.h"
#include "render/overlay/SymbolIcons.h"
#include "store/WaypointStore.h"
#include "view/MapPosition.h"

using platform::CIcon;

namespace {

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t n) {
  for (int i = 0; i < 4; ++i)
    v[at + size_t(i)] = uint8_t(n >> (8 * i));
}

// A packed DIB of cx × cy pixels; pixel(x, y) gives 0xRRGGBB.
std::vector<uint8_t> MakeDib(int cx, int cy, int cBits, bool fTopDown, uint32_t (*pixel)(int, int)) {
  const size_t cbPixel = size_t(cBits / 8), cbStride = (size_t(cx) * cbPixel + 3) & ~size_t(3);
  std::vector<uint8_t> v(40 + cbStride * size_t(cy), 0);
  Put32(v, 0, 40);
  Put32(v, 4, uint32_t(cx));
  Put32(v, 8, uint32_t(fTopDown ? -cy : cy));
  v[12] = 1;
  v[14] = uint8_t(cBits);
  for (int y = 0; y < cy; ++y) {
    const size_t row = 40 + size_t(fTopDown ? y : cy - 1 - y) * cbStride;
    for (int x = 0; x < cx; ++x) {
      const uint32_t rgb = pixel(x, y);
      uint8_t* p = &v[row + size_t(x) * cbPixel];
      p[0] = uint8_t(rgb);
      p[1] = uint8_t(rgb >> 8);
      p[2] = uint8_t(rgb >> 16);
    }
  }
  return v;
}

// Icon 0 red with a grey (mask) corner, icon 1 a blue top row over green.
uint32_t TwoIcons(int x, int y) {
  if (x < 4)
    return x == 0 && y == 0 ? 0x808080 : 0xFF0000;
  return y == 0 ? 0x0000FF : 0x00FF00;
}

TEST(SymbolStripTest, StripIsCutIntoIconsWithTheMaskTransparent) {
  for (int cBits : {24, 32}) {
    for (bool fTopDown : {false, true}) {
      SCOPED_TRACE(testing::Message() << cBits << " bits, top-down " << fTopDown);
      const std::vector<uint8_t> dib = MakeDib(9, 4, cBits, fTopDown, TwoIcons);  // 2 icons and a spare column
      std::vector<std::unique_ptr<CIcon>> icons;
      ASSERT_TRUE(SplitIconStrip(dib.data(), dib.size(), 4, 0x808080, icons));
      ASSERT_EQ(icons.size(), 2u);
      EXPECT_EQ(icons[0]->m_cx, 4);
      EXPECT_EQ(icons[0]->m_cy, 4);
      EXPECT_EQ(icons[0]->At(0, 0), 0u);  // masked
      EXPECT_EQ(icons[0]->At(1, 0), 0xFFFF0000u);
      EXPECT_EQ(icons[0]->At(0, 3), 0xFFFF0000u);
      EXPECT_EQ(icons[1]->At(2, 0), 0xFF0000FFu);  // the top row stays on top
      EXPECT_EQ(icons[1]->At(2, 3), 0xFF00FF00u);
    }
  }
}

TEST(SymbolStripTest, DamagedBitmapsGiveNoIcons) {
  const std::vector<uint8_t> good = MakeDib(8, 4, 24, false, TwoIcons);
  std::vector<std::unique_ptr<CIcon>> icons;
  for (size_t cb = 0; cb < good.size(); ++cb)
    EXPECT_FALSE(SplitIconStrip(good.data(), cb, 4, 0x808080, icons)) << cb;
  EXPECT_TRUE(icons.empty());
  auto Bad = [&](size_t at, uint32_t n) {
    std::vector<uint8_t> v = good;
    Put32(v, at, n);
    return SplitIconStrip(v.data(), v.size(), 4, 0x808080, icons);
  };
  EXPECT_FALSE(Bad(0, 12));           // an old-style header
  EXPECT_FALSE(Bad(0, 0xFFFFFFF0));   // header past the end
  EXPECT_FALSE(Bad(4, 3));            // narrower than one icon
  EXPECT_FALSE(Bad(4, 0x7FFFFFFF));   // width beyond the pixels
  EXPECT_FALSE(Bad(8, 0));            // no rows
  EXPECT_FALSE(Bad(8, 0x80000000));   // the most negative height
  EXPECT_FALSE(Bad(16, 1));           // run-length compressed
  EXPECT_FALSE(Bad(32, 0x40000000));  // a colour table past the end
  EXPECT_FALSE(SplitIconStrip(good.data(), good.size(), 0, 0x808080, icons));
  EXPECT_TRUE(SplitIconStrip(good.data(), good.size(), 4, 0x808080, icons));
}

// The icons the build drew, read from its resource folder.
class SymbolIconsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    render::SetScreenScale(1, 1);
    m_strOldFolder = platform::GetResourceFolder();
    platform::SetResourceFolder((platform::Utf8ToU16(VELMO_BINARY_DIR) + u"/res/symbols").c_str());
    FreeWaypointIcons();
  }
  void TearDown() override {
    FreeWaypointIcons();
    platform::SetResourceFolder(m_strOldFolder.c_str());
  }
  std::u16string m_strOldFolder;
};

bool HasOpaquePixel(const CIcon& icon) {
  for (uint32_t px : icon.m_px)
    if ((px >> 24) >= 128)
      return true;
  return false;
}

TEST_F(SymbolIconsTest, EverySymbolHasItsIconAndTheOthersTheDefault) {
  const CIcon* pDefault = GetDefaultWaypointIcon();
  ASSERT_NE(pDefault, nullptr);
  EXPECT_EQ(pDefault->m_cx, 32);
  EXPECT_TRUE(HasOpaquePixel(*pDefault));
  // The middle 16 × 16 of the default icon, to compare with the others.
  std::basic_string<uint32_t> middle;
  for (int y = 8; y < 24; ++y)
    for (int x = 8; x < 24; ++x)
      middle.push_back(pDefault->At(x, y));

  std::set<std::basic_string<uint32_t>> distinct;
  for (unsigned n = 0; n < c_cWaypointCount + 5; ++n) {
    int dx = 0, dy = 0, cx = 0, cy = 0;
    const CIcon* pIcon = GetWaypointIcon(n, &dx, &dy, &cx, &cy);
    ASSERT_NE(pIcon, nullptr) << n;
    if (n == c_nDefaultSymbol || n >= c_cWaypointCount) {
      EXPECT_EQ(pIcon, pDefault) << n;
      EXPECT_EQ(dx, 16);
      EXPECT_EQ(cx, 32);
      continue;
    }
    EXPECT_NE(pIcon, pDefault) << n;
    EXPECT_EQ(pIcon->m_cx, 16) << n;
    EXPECT_EQ(pIcon->m_cy, 16) << n;
    EXPECT_EQ(dx, 9);
    EXPECT_EQ(dy, 9);
    EXPECT_EQ(cx, 16);
    EXPECT_TRUE(HasOpaquePixel(*pIcon)) << n;
    EXPECT_NE(pIcon->m_px, middle) << n;
    distinct.insert(pIcon->m_px);
  }
  // A few symbols share a picture (the same meaning); most have their own.
  EXPECT_GE(distinct.size(), 200u);
}

TEST_F(SymbolIconsTest, IconFolderOfNativeProgramsAndMissingIcons) {
  const std::u16string strFolder = platform::GetResourceFolder();
  platform::SetResourceFolder(nullptr);
  SetWaypointIconFolder(strFolder.c_str());
  const CIcon* pAnchor = GetWaypointIcon(0);
  ASSERT_NE(pAnchor, nullptr);
  EXPECT_TRUE(HasOpaquePixel(*pAnchor));
  EXPECT_NE(GetDefaultWaypointIcon(), nullptr);
  // Without the files there is no icon at all (the map then draws markers).
  SetWaypointIconFolder(u"/nonexistent/velmo-symbols");
  EXPECT_EQ(GetWaypointIcon(0), nullptr);
  EXPECT_EQ(GetWaypointIcon(c_nDefaultSymbol), nullptr);
  SetWaypointIconFolder(nullptr);
}

TEST_F(SymbolIconsTest, OffsetsGrowWithTheScreenScale) {
  render::SetScreenScale(2, 2);
  int dx = 0, dy = 0, cx = 0, cy = 0;
  ASSERT_NE(GetWaypointIcon(0, &dx, &dy, &cx, &cy), nullptr);
  EXPECT_EQ(dx, 18);
  EXPECT_EQ(cy, 32);
  ASSERT_NE(GetWaypointIcon(c_nDefaultSymbol, &dx, &dy, &cx, &cy), nullptr);
  EXPECT_EQ(dy, 32);
  EXPECT_EQ(cx, 64);
  render::SetScreenScale(1, 1);
}

TEST_F(SymbolIconsTest, WaypointsAreDrawnWithTheirSymbolsIcons) {
  CloseSettings();
  OpenSettings();
  ResetAllSettings();
  g_waypointStore.Clear();
  const int c_cx = 200, c_cy = 100;
  CMapPosition view;
  view.SetOrigin(c_cx / 2, c_cy / 2);
  view.SetViewSize(c_cx, c_cy);
  view.SetScale(10);
  view.SetCentre(0, 0);
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(c_cx, c_cy));
  CDrawContext ctx(pCanvas.get(), &view, nullptr);
  ctx.BeginAttempt();
  CLabelGen labels;
  labels.SetContext(pCanvas.get(), &ctx);
  labels.Clear(c_cx, c_cy);
  auto Add = [&](int sx, int sy, unsigned nSymbol) {
    const MapPoint pt = view.ToMap(sx, sy);
    Waypoint* pWp = g_waypointStore.NewWaypoint(0, 0, 0, 0, false, u"");
    pWp->x = pt.x * 2;
    pWp->y = pt.y * 2;
    pWp->SetType(nSymbol);
    pWp->SetShow(wsIcon);
  };
  const unsigned c_nRedSquare = 16;
  Add(50, 50, c_nRedSquare);
  Add(150, 50, c_nDefaultSymbol);
  DrawWaypointsLayer(ctx, labels);

  // The strip icon's top-left is 9 pixels up and left of the waypoint.
  const CIcon* pSquare = GetWaypointIcon(c_nRedSquare);
  ASSERT_NE(pSquare, nullptr);
  int cSame = 0, cOpaque = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const uint32_t px = pSquare->At(x, y);
      if ((px >> 24) < 128)
        continue;
      ++cOpaque;
      const uint32_t cr = (px & 0xFF) << 16 | (px & 0xFF00) | (px >> 16 & 0xFF);
      cSame += pCanvas->GetPixel(50 - 9 + x, 50 - 9 + y) == cr;
    }
  }
  EXPECT_GT(cOpaque, 50);
  EXPECT_EQ(cSame, cOpaque);
  // The default icon is centred on its waypoint.
  const CIcon* pDefault = GetDefaultWaypointIcon();
  ASSERT_NE(pDefault, nullptr);
  const uint32_t pxMiddle = pDefault->At(16, 16);
  ASSERT_GE(pxMiddle >> 24, 128u);
  EXPECT_EQ(pCanvas->GetPixel(150, 50), (pxMiddle & 0xFF) << 16 | (pxMiddle & 0xFF00) | (pxMiddle >> 16 & 0xFF));
  EXPECT_EQ(pCanvas->GetPixel(100, 50), 0xFFFFFFu);
  g_waypointStore.Clear();
  ResetAllSettings();
}

}  // namespace
