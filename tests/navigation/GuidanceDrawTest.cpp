#include <gtest/gtest.h>

#include <memory>

#include "navigation/GuidanceDraw.h"
#include "tests/navigation/RouteBuilder.h"

using namespace navtest;

namespace {

TEST(GuidanceDraw, PointerLineHasTheNarrowPenOverTheWide) {
  CMapPosition view;
  view.SetViewSize(200, 200);
  view.SetOrigin(100, 100);
  view.SetScale(12);
  view.SetCentre(DegreesToMap(LonOf(0)), DegreesToMap(LatOf(0)));
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(200, 200));
  ASSERT_TRUE(pCanvas);
  RoutePoint target = PointAt(0, 300);
  VPoint a = view.ToScreen(DegreesToMap(LonOf(0)), DegreesToMap(LatOf(0)));
  VPoint b = view.ToScreenDoubled(target.x, target.y);
  ASSERT_NE(a.y, b.y) << "the scale shows the 300 m";
  ASSERT_TRUE(a.x > 20 && a.x < 180 && b.y > 0 && b.y < 200) << a.x << "," << a.y << " " << b.x << "," << b.y;
  DrawPointerLine(pCanvas.get(), view, float(LonOf(0)), float(LatOf(0)), target.x, target.y, false);
  const int yMid = (a.y + b.y) / 2;
  EXPECT_EQ(pCanvas->GetPixel(a.x, yMid), c_crPointerInner) << "the narrow pen in the middle";
  EXPECT_EQ(pCanvas->GetPixel(a.x + 3, yMid), c_crPointerOuter) << "the wide pen at its side";
  EXPECT_NE(pCanvas->GetPixel(a.x + 8, yMid), c_crPointerOuter) << "nothing beyond 9 pixels";
}

TEST(GuidanceDraw, ArrowsPointTheWayOfTheManeuver) {
  EXPECT_EQ(ManeuverArrowAngle(mkRight), 90);
  EXPECT_EQ(ManeuverArrowAngle(mkLeft), -90);
  EXPECT_EQ(ManeuverArrowAngle(mkKeepRight), 30);
  EXPECT_EQ(ManeuverArrowAngle(mkUTurnLeft), -180);
  VPoint pts[12];
  int c = ManeuverArrow(mkRight, pts, 0, 0, 64);
  ASSERT_EQ(c, 11);
  int xMax = 0;
  for (int i = 0; i < c; ++i) xMax = std::max(xMax, int(pts[i].x));
  EXPECT_GT(xMax, 32 + 22) << "a right turn's head is right of the centre";
  c = ManeuverArrow(mkLeft, pts, 0, 0, 64);
  int xMin = 64;
  for (int i = 0; i < c; ++i) xMin = std::min(xMin, int(pts[i].x));
  EXPECT_LT(xMin, 32 - 22);
}

TEST(GuidanceDraw, ManeuverDisplayDrawsTheArrowSide) {
  std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(100, 130));
  NavigationState st{};
  st.nManeuverKind = mkRight;
  st.nDistanceToManeuver = 350;
  st.nDistanceToEnd = 2400;
  VRect rc{0, 0, 100, 130};
  DrawManeuverDisplay(pCanvas.get(), rc, st, false);
  // The head of a right arrow: white right of the centre, background left.
  const int xc = 50, yc = 4 + 32;
  EXPECT_EQ(pCanvas->GetPixel(xc + 18, yc), 0xFFFFFFu);
  EXPECT_EQ(pCanvas->GetPixel(xc - 18, yc), 0x202020u);
  st.nManeuverKind = mkLeft;
  DrawManeuverDisplay(pCanvas.get(), rc, st, false);
  EXPECT_EQ(pCanvas->GetPixel(xc - 18, yc), 0xFFFFFFu);
  EXPECT_EQ(pCanvas->GetPixel(xc + 18, yc), 0x202020u);
  // A U-turn to the left: up on the right, back down on the left, with a
  // gap between the two; to the right the other way round.
  st.nManeuverKind = mkUTurnLeft;
  DrawManeuverDisplay(pCanvas.get(), rc, st, false);
  EXPECT_EQ(pCanvas->GetPixel(xc + 10, yc + 16), 0xFFFFFFu) << "the way up";
  EXPECT_EQ(pCanvas->GetPixel(xc - 10, yc), 0xFFFFFFu) << "the way back";
  EXPECT_EQ(pCanvas->GetPixel(xc - 10, yc + 16), 0xFFFFFFu) << "the head";
  EXPECT_EQ(pCanvas->GetPixel(xc, yc + 4), 0x202020u) << "the gap";
  EXPECT_EQ(pCanvas->GetPixel(xc, 4 + 12), 0xFFFFFFu) << "across the top";
  st.nManeuverKind = mkUTurnRight;
  DrawManeuverDisplay(pCanvas.get(), rc, st, false);
  EXPECT_EQ(pCanvas->GetPixel(xc - 10, yc + 20), 0xFFFFFFu);
  EXPECT_EQ(pCanvas->GetPixel(xc + 10, yc + 16), 0xFFFFFFu);
  EXPECT_EQ(pCanvas->GetPixel(xc, yc + 4), 0x202020u);
  VPoint pts[12];
  EXPECT_LE(ManeuverArrow(mkUTurnLeft, pts, 0, 0, 64), 12);
  st.nManeuverKind = mkLeft;
  // Off the route the ground turns red; on it again, dark.
  st.nState = nsOffRoute;
  DrawManeuverDisplay(pCanvas.get(), rc, st, false);
  EXPECT_EQ(pCanvas->GetPixel(xc + 18, yc), c_crOffRouteDisplay);
  EXPECT_EQ(pCanvas->GetPixel(xc - 18, yc), 0xFFFFFFu);
  st.nState = nsOnRoute;
  DrawManeuverDisplay(pCanvas.get(), rc, st, false);
  EXPECT_EQ(pCanvas->GetPixel(xc + 18, yc), 0x202020u);
}

}  // namespace
