// The whole display on a real map: Monaco compiled by velc from the shared
// OSM data, drawn by the map page's pass on the software canvas.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "settings/Settings.h"
#include "map/MapParser.h"
#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "render/DrawTypes.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "view/MapUnits.h"

using namespace platform;

namespace {

class RenderMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string strPbf = std::string(VELMO_SHARED_DATA) + "/osm/monaco.osm.pbf";
    const std::string strVelc = std::string(VELMO_BINARY_DIR) + "/tools/velc/velc";
    if (!FileExists(Utf8ToU16(strPbf).c_str()))
      GTEST_SKIP() << "no shared OSM data at " << strPbf;
    if (!FileExists(Utf8ToU16(strVelc).c_str()))
      GTEST_SKIP() << "velc is not built";
    m_strMap = std::string(VELMO_BINARY_DIR) + "/tests/render/monaco_test.vel";
    ASSERT_EQ(std::system((strVelc + " " + strPbf + " -o " + m_strMap + " > /dev/null").c_str()), 0);
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    render::SetScreenScale(1, 1);
    const std::u16string strRes = AsciiToU16(VELMO_SOURCE_DIR) + u"/render/res";
    SetSkinFolder(strRes.c_str());
    SetResourceFolder((strRes + u"/icons").c_str());
    InitDrawTypes();
    m_pParser.reset(OpenMapFile(Utf8ToU16(m_strMap).c_str(), false, c_fOpenAll));
    ASSERT_NE(m_pParser, nullptr);
  }
  void TearDown() override {
    m_pParser.reset();
    FreeDrawTypes();
    SetSkinFolder(nullptr);
    SetResourceFolder(nullptr);
    ResetAllSettings();
  }

  // Draws at a scale and returns the finished image's share of pixels that
  // differ from the background, in per cent.
  int Draw(int nScale, int nAngle) {
    m_view.SetScreenScale(1, 1);
    m_view.SetScale(size_t(nScale));
    m_view.SetCentre(DegreesToMap(7.4246), DegreesToMap(43.7384));
    m_view.SetAngle(nAngle);
    m_renderer.SetClientSize(480, 360);
    m_renderer.SetParser(m_pParser.get());
    m_renderer.RefreshMap(true);
    CCanvas* p = m_renderer.GetFinishedImage();
    const COLORREF crGround = GetBackgroundColour();
    int cDiffer = 0;
    for (int y = 0; y < p->Height(); ++y)
      for (int x = 0; x < p->Width(); ++x)
        cDiffer += p->GetPixel(x, y) != crGround;
    return cDiffer * 100 / (p->Width() * p->Height());
  }

  std::string m_strMap;
  std::unique_ptr<CMapParser> m_pParser;
  CMapPosition m_view;
  CMapPageHost m_host;
  CMapRenderer m_renderer{&m_view, &m_host};
};

}  // namespace

TEST_F(RenderMapTest, DrawsStreetsLabelsAndIconsByDayAndNight) {
  ASSERT_NE(GetCurrentSkin(), nullptr);
  EXPECT_EQ(GetBackgroundColour(), 0xE9EFF2u);  // the day skin's ground
  const int nDay = Draw(6, 0);
  EXPECT_GT(nDay, 30);  // streets, buildings, water
  EXPECT_LT(nDay, 100);
  EXPECT_GT(m_renderer.GetLabels().GetIconsDrawn(), 5);
  // The same view turned by 30° and by night.
  SetDaySkin(false, false);
  EXPECT_FALSE(IsDaySkinCurrent());
  const int nNight = Draw(6, 30);
  EXPECT_GT(nNight, 30);
  const COLORREF cr = m_renderer.GetFinishedImage()->GetPixel(5, 5);
  EXPECT_LT(GetRValue(cr) + GetGValue(cr) + GetBValue(cr), 3 * 96);  // a dark picture
  // Far out the city shrinks to a few pixels.
  SetDaySkin(true, false);
  EXPECT_LT(Draw(20, 0), nDay);
}
