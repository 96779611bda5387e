// The track layer: the logged track of gps/VisualTracking drawn through the
// canvas in the track colour, and by the map pass when "ShowTrack" is set.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "gps/Tracking.h"
#include "gps/VisualTracking.h"
#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "render/TrackLayer.h"
#include "view/MapUnits.h"

using namespace platform;

namespace {

class TrackLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strDocs = std::string(VELMO_BINARY_DIR) + "/render_track_test_" + std::to_string(getpid());
    CreateDirectoryPath(Utf8ToU16(m_strDocs).c_str());
    setenv("VELMO_DOCUMENTS_DIR", m_strDocs.c_str(), 1);
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    render::SetScreenScale(1, 1);
    ASSERT_TRUE(VisualTracking::Open());
    VisualTracking::Clear();
    VisualTracking::SetLogging(true);
  }
  void TearDown() override {
    VisualTracking::Close();
    DeleteFilePath(VisualTracking::FilePath().c_str());
    ResetAllSettings();
    unsetenv("VELMO_DOCUMENTS_DIR");
  }
  std::string m_strDocs;
};

VPoint Shift(int32_t x, int32_t y, void* pContext) {
  int d = *static_cast<int*>(pContext);
  return VPoint{x + d, y + d};
}
int g_cInterruptAfter = 1000;
bool Interrupted(void*) { return --g_cInterruptAfter < 0; }

TEST_F(TrackLayerTest, DrawTrackPaintsThroughTheCanvas) {
  const float c_f = float(180.0 / 1073741824.0);  // one map unit
  VisualTracking::Append(10 * c_f, 10 * c_f);
  VisualTracking::Append(40 * c_f, 10 * c_f);
  VisualTracking::NewSegment();
  VisualTracking::Append(10 * c_f, 30 * c_f);
  VisualTracking::Append(40 * c_f, 30 * c_f);
  CCanvas* pCanvas = CreateSoftCanvas(64, 64);
  ASSERT_NE(pCanvas, nullptr);
  CPen pen(psSolid, 1, RGB(0, 0, 0));
  pCanvas->SelectPen(&pen);
  int d = 5;
  g_cInterruptAfter = 1000;
  DrawTrack(*pCanvas, Shift, Interrupted, &d);
  EXPECT_EQ(pCanvas->GetPixel(30, 15), c_crTrack);
  EXPECT_EQ(pCanvas->GetPixel(30, 35), c_crTrack);
  EXPECT_EQ(pCanvas->GetPixel(30, 25), RGB(255, 255, 255));  // no line between the segments
  // The caller's pen is back.
  EXPECT_EQ(pCanvas->SelectPen(&pen), &pen);
  delete pCanvas;
  // Interrupted before the second polyline: only the first is drawn.
  pCanvas = CreateSoftCanvas(64, 64);
  g_cInterruptAfter = 1;
  DrawTrack(*pCanvas, Shift, Interrupted, &d);
  EXPECT_EQ(pCanvas->GetPixel(30, 15), c_crTrack);
  EXPECT_EQ(pCanvas->GetPixel(30, 35), RGB(255, 255, 255));
  delete pCanvas;
}

TEST_F(TrackLayerTest, PenIsWiderOnAHighDensityDisplay) {
  const float c_f = float(180.0 / 1073741824.0);
  VisualTracking::Append(10 * c_f, 20 * c_f);
  VisualTracking::Append(50 * c_f, 20 * c_f);
  auto thickness = [](int nScale) {
    render::SetScreenScale(nScale, nScale);
    std::unique_ptr<CCanvas> pCanvas(CreateSoftCanvas(64, 64));
    int d = 0;
    g_cInterruptAfter = 1000;
    DrawTrack(*pCanvas, Shift, Interrupted, &d);
    int c = 0;
    for (int y = 10; y < 30; ++y)
      c += pCanvas->GetPixel(30, y) == c_crTrack;
    return c;
  };
  EXPECT_EQ(thickness(1), 2);
  EXPECT_EQ(thickness(2), 4);
  render::SetScreenScale(1, 1);
}

class CNoHost : public CMapPageHost {
 public:
  uint32_t GetTickMs() override { return 0; }
};

TEST_F(TrackLayerTest, MapPassDrawsTheTrackOnlyWhenShowTrackIsSet) {
  CMapPosition view;
  CNoHost host;
  CMapRenderer renderer(&view, &host);
  view.SetScale(10);
  view.SetCentre(0, 0);
  renderer.SetClientSize(200, 100);
  renderer.UpdateOrigin();
  MapLayers layers;
  layers.pfnDrawTrack = DrawTrackLayer;
  renderer.SetLayers(layers);
  // A line across the window 20 pixels above the centre.
  for (int x : {20, 180}) {
    const MapPoint pt = view.ToMap(x, 30);
    VisualTracking::Append(float(MapToDegrees(pt.x)), float(MapToDegrees(pt.y)));
  }
  SetBool(u"ShowTrack", true);
  renderer.RefreshMap(true);
  ASSERT_NE(renderer.GetFinishedImage(), nullptr);
  EXPECT_EQ(renderer.GetFinishedImage()->GetPixel(100, 30), c_crTrack);
  EXPECT_NE(renderer.GetFinishedImage()->GetPixel(100, 60), c_crTrack);
  SetBool(u"ShowTrack", false);
  renderer.RefreshMap(true);
  EXPECT_NE(renderer.GetFinishedImage()->GetPixel(100, 30), c_crTrack);
}

}  // namespace
