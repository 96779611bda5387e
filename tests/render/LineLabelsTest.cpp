// Line labels on a real map: the demo region compiled by demogen and velc,
// its labels collected at every scale as the map page collects them. No
// two street names that are drawn overlap; without the grid they do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "render/DrawTypes.h"
#include "render/LabelGen.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "settings/Settings.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"

using namespace platform;

namespace {

const int c_cx = 1024, c_cy = 768;
// The demo region's town, where the streets are.
const double c_fTownLat = 54.9910, c_fTownLon = 37.0317;

class LineLabelsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string strOsm = std::string(VELMO_BINARY_DIR) + "/tests/render/linelabels-demo.osm";
    s_strMap = std::string(VELMO_BINARY_DIR) + "/tests/render/linelabels-demo.vel";
    const std::string strVelc = std::string(VELMO_BINARY_DIR) + "/tools/velc/velc";
    if (std::system((std::string(VELMO_DEMOGEN) + " -o " + strOsm + " > /dev/null").c_str()) != 0 ||
        std::system((strVelc + " " + strOsm + " -o " + s_strMap + " > /dev/null").c_str()) != 0)
      s_strMap.clear();
  }
  void SetUp() override {
    if (s_strMap.empty())
      GTEST_SKIP() << "demogen or velc is not built";
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    render::SetScreenScale(1, 1);
    const std::u16string strRes = AsciiToU16(VELMO_SOURCE_DIR) + u"/render/res";
    SetSkinFolder(strRes.c_str());
    SetResourceFolder((strRes + u"/icons").c_str());
    InitDrawTypes();
    m_pParser.reset(OpenMapFile(Utf8ToU16(s_strMap).c_str(), false, c_fOpenAll));
    ASSERT_NE(m_pParser, nullptr);
  }
  void TearDown() override {
    m_pParser.reset();
    FreeDrawTypes();
    SetSkinFolder(nullptr);
    SetResourceFolder(nullptr);
    ResetAllSettings();
  }

  // The line labels whose texts would be drawn, collected around the town
  // at a scale.
  std::vector<LabelQuad> LineLabels(int nScale, bool fPlacement) {
    CMapPosition view;
    view.SetScreenScale(1, 1);
    view.SetScale(size_t(nScale));
    view.SetCentre(DegreesToMap(c_fTownLon), DegreesToMap(c_fTownLat));
    view.SetViewSize(c_cx, c_cy);
    view.SetOrigin(c_cx / 2, c_cy / 2);
    std::unique_ptr<CCanvas> pCanvas(CreateSoftCanvas(c_cx, c_cy));
    CMapPageHost host;
    CDrawContext ctx(pCanvas.get(), &view, &host);
    ctx.BeginAttempt();
    CLabelGen labels;
    labels.SetLinePlacement(fPlacement);
    labels.SetContext(pCanvas.get(), &ctx);
    labels.Clear(c_cx, c_cy);
    m_pParser->Draw(&ctx, &labels);
    std::vector<LabelQuad> quads;
    for (const LabelRecord& rec : labels.Records())
      if (rec.nKind == lkLine && rec.fVisible && rec.dwTextRef != c_dwNoText)
        quads.push_back(LineLabelQuad(rec.x, rec.y, rec.cxText, rec.cyText, rec.nAngle));
    return quads;
  }

  static int CountOverlaps(const std::vector<LabelQuad>& quads) {
    int n = 0;
    for (size_t i = 0; i < quads.size(); ++i)
      for (size_t j = i + 1; j < quads.size(); ++j)
        n += QuadsOverlap(quads[i], quads[j], 0.5f);
    return n;
  }

  static std::string s_strMap;
  std::unique_ptr<CMapParser> m_pParser;
};

std::string LineLabelsTest::s_strMap;

}  // namespace

TEST_F(LineLabelsTest, StreetNamesOverlapAtScale10WithoutTheGridAndNotWithIt) {
  const std::vector<LabelQuad> before = LineLabels(10, false);
  EXPECT_GT(CountOverlaps(before), 0) << before.size() << " labels";
  const std::vector<LabelQuad> after = LineLabels(10, true);
  EXPECT_EQ(CountOverlaps(after), 0);
  // Most streets keep their names.
  EXPECT_GT(after.size(), before.size() / 3);
  EXPECT_GT(after.size(), 5u);
}

TEST_F(LineLabelsTest, NoTwoPlacedLineLabelsOverlapAtAnyScale) {
  size_t cTotal = 0;
  for (int nScale = 0; nScale <= 26; ++nScale) {
    const std::vector<LabelQuad> quads = LineLabels(nScale, true);
    cTotal += quads.size();
    EXPECT_EQ(CountOverlaps(quads), 0) << "scale " << nScale;
  }
  EXPECT_GT(cTotal, 20u);
}

TEST_F(LineLabelsTest, TheMapPagePlacesLineLabels) {
  CMapPosition view;
  CMapPageHost host;
  CMapRenderer renderer(&view, &host);
  EXPECT_TRUE(renderer.GetLabels().IsLinePlacementOn());
  CLabelGen plain;
  EXPECT_FALSE(plain.IsLinePlacementOn());
}
