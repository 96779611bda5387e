// Point algorithms: polyline lengths, nearest points, segments within a
// distance, point in polygon and the polygon hit test.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "view/PtAlgo.h"

namespace {

using namespace PtAlgo;

TEST(PtAlgo, PolylineLengthsAgree) {
  const MapPoint apt[] = {{0, 0}, {1000, 0}, {100, 100000}, {100000, 0}, {100, 0}};
  const double fFloat = PolylineLength(apt, apt + 5, 0.7f);
  const int64_t nFast = PolylineLengthFast(apt, apt + 5, 0.7f);
  EXPECT_LT(std::fabs(double(nFast) - fFloat), 200);
  // The weight multiplies dx² (callers pass cos²).
  const MapPoint aptH[] = {{0, 0}, {1000, 0}};
  EXPECT_NEAR(PolylineLength(aptH, aptH + 2, 0.25f), 500, 1e-9);
  EXPECT_EQ(PolylineLengthFast(aptH, aptH + 2, 0.25f), 500);
  const MapPoint aptV[] = {{0, 0}, {0, -3000}, {4000, 0}};
  EXPECT_NEAR(PolylineLength(aptV, aptV + 3, 1), 8000, 1e-9);
  EXPECT_EQ(PolylineLengthFast(aptV, aptV + 3, 1), 8000);
  // Fewer than two points have no length.
  EXPECT_EQ(PolylineLength(apt, apt + 1, 1), 0);
  EXPECT_EQ(PolylineLengthFast(apt, apt, 1), 0);
  // Long and full-range segments are measured, never overflowed.
  const MapPoint aptFar[] = {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}};
  EXPECT_NEAR(double(PolylineLengthFast(aptFar, aptFar + 2, 1)), std::sqrt(2.0) * 4294967295.0, 1);
  // A NaN or negative weight counts as 0.
  EXPECT_EQ(PolylineLengthFast(aptH, aptH + 2, std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(PolylineLength(aptH, aptH + 2, -1), 0);
}

TEST(PtAlgo, FastLengthFollowsTheFloatLengthOnRandomPolylines) {
  std::mt19937 rng(17);
  for (int nRange : {100, 2000, 30000, 500000}) {
    std::uniform_int_distribution<int32_t> step(-nRange, nRange);
    std::uniform_real_distribution<float> weight(0.03f, 1.0f);
    for (int k = 0; k < 200; ++k) {
      std::vector<MapPoint> pts(50);
      MapPoint p{0, 0};
      for (MapPoint& q : pts) {
        p.x += step(rng);
        p.y += step(rng);
        q = p;
      }
      const float w = weight(rng);
      const double fFloat = PolylineLength(pts.data(), pts.data() + pts.size(), w);
      const double fFast = double(PolylineLengthFast(pts.data(), pts.data() + pts.size(), w));
      // 8.8 weight and integer roots: well under 1 % plus a unit a segment.
      ASSERT_NEAR(fFast, fFloat, fFloat * 0.01 + 50) << nRange << " " << w;
    }
  }
}

TEST(PtAlgo, NearestPointOnASegment) {
  MapPoint n;
  double f = NearestPointOnSegment(MapPoint{150, 130}, MapPoint{0, 0}, MapPoint{100, 20}, 0.5f, &n);
  EXPECT_EQ(n.x, 100);
  EXPECT_EQ(n.y, 20);
  EXPECT_NEAR(f, 12725.0, 1e-5);
  f = NearestPointOnSegment(MapPoint{50, 30}, MapPoint{0, 0}, MapPoint{100, 20}, 0.5f, &n);
  EXPECT_NEAR(n.x, 65, 1);
  EXPECT_NEAR(n.y, 13, 1);
  EXPECT_NEAR(f, 355.998535, std::sqrt(355.998535));
  // Before the start: A.
  f = NearestPointOnSegment(MapPoint{-10, -10}, MapPoint{0, 0}, MapPoint{100, 0}, 1, &n);
  EXPECT_EQ(n.x, 0);
  EXPECT_EQ(n.y, 0);
  EXPECT_DOUBLE_EQ(f, 200);
  // A degenerate segment is its point.
  f = NearestPointOnSegment(MapPoint{3, 4}, MapPoint{0, 0}, MapPoint{0, 0}, 1, &n);
  EXPECT_EQ(n.x, 0);
  EXPECT_DOUBLE_EQ(f, 25);
  // Weight 0: x does not count, and nothing divides by it.
  f = NearestPointOnSegment(MapPoint{500, 7}, MapPoint{0, 0}, MapPoint{0, 10}, 0, &n);
  EXPECT_EQ(n.y, 7);
  EXPECT_DOUBLE_EQ(f, 0);
  f = NearestPointOnSegment(MapPoint{500, 7}, MapPoint{0, 0}, MapPoint{100, 0}, 0, &n);
  EXPECT_TRUE(std::isfinite(f));
  // Full-range coordinates.
  f = NearestPointOnSegment(MapPoint{0, INT32_MAX}, MapPoint{INT32_MIN, 0}, MapPoint{INT32_MAX, 0}, 1, &n);
  EXPECT_EQ(n.y, 0);
  EXPECT_NEAR(n.x, 0, 1);
  EXPECT_NEAR(f, double(INT32_MAX) * INT32_MAX, 1e6);
}

TEST(PtAlgo, NearestPointOnPolylinesAndPolygons) {
  const MapPoint apt[] = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
  MapPoint n;
  size_t iSeg = 99;
  // Open: the closing edge does not count.
  double f = NearestPointOnPolyline(MapPoint{-5, 50}, apt, 4, false, 1, &n, &iSeg);
  EXPECT_EQ(iSeg, 0u);
  EXPECT_DOUBLE_EQ(f, 25 + 2500);
  f = NearestPointOnPolyline(MapPoint{-5, 50}, apt, 4, true, 1, &n, &iSeg);
  EXPECT_EQ(iSeg, 3u);
  EXPECT_DOUBLE_EQ(f, 25);
  EXPECT_EQ(n.x, 0);
  EXPECT_EQ(n.y, 50);
  // The first of equal distances wins.
  f = NearestPointOnPolyline(MapPoint{50, 50}, apt, 4, true, 1, &n, &iSeg);
  EXPECT_EQ(iSeg, 0u);
  EXPECT_EQ(NearestPointOnPolyline(MapPoint{0, 0}, apt, 0, false, 1, &n, &iSeg), -1);
  EXPECT_EQ(NearestPointOnPolyline(MapPoint{3, 4}, apt, 1, false, 1, &n, &iSeg), 25);
  EXPECT_EQ(NearestPointOnPolyline(MapPoint{3, 4}, nullptr, 5, false, 1, &n, &iSeg), -1);
}

TEST(PtAlgo, SegmentWithinADistance) {
  const MapPoint apt[] = {{0, 0}, {1000, 0}, {1000, 1000}};
  EXPECT_EQ(FindSegmentWithin(MapPoint{500, 10}, apt, 3, false, 1, 10), 0);
  EXPECT_EQ(FindSegmentWithin(MapPoint{500, 11}, apt, 3, false, 1, 10), -1);
  EXPECT_EQ(FindSegmentWithin(MapPoint{1005, 500}, apt, 3, false, 1, 10), 1);
  // The closing edge of a figure.
  EXPECT_EQ(FindSegmentWithin(MapPoint{500, 505}, apt, 3, false, 1, 10), -1);
  EXPECT_EQ(FindSegmentWithin(MapPoint{500, 505}, apt, 3, true, 1, 10), 2);
  // The weight shrinks horizontal distances: 20 units of x at k = 0.5 are 10.
  EXPECT_EQ(FindSegmentWithin(MapPoint{1020, 500}, apt, 3, false, 0.5f, 10), 1);
  EXPECT_EQ(FindSegmentWithin(MapPoint{1021, 500}, apt, 3, false, 0.5f, 10), -1);
  // Far outside the box.
  EXPECT_EQ(FindSegmentWithin(MapPoint{INT32_MAX, INT32_MIN}, apt, 3, true, 1, 10), -1);
  EXPECT_EQ(FindSegmentWithin(MapPoint{500, 0}, apt, 3, true, 1, std::nan("")), -1);
}

TEST(PtAlgo, PointInPolygonScanLineRules) {
  // A square with a notch: vertices on the scan lines of test points.
  const MapPoint aSquare[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_TRUE(PointInPolygon(MapPoint{5, 5}, aSquare, 4));
  EXPECT_FALSE(PointInPolygon(MapPoint{15, 5}, aSquare, 4));
  EXPECT_FALSE(PointInPolygon(MapPoint{-1, 0}, aSquare, 4));  // on a horizontal edge's line
  EXPECT_FALSE(PointInPolygon(MapPoint{-1, 10}, aSquare, 4));
  // Edges and vertices are inside.
  EXPECT_TRUE(PointInPolygon(MapPoint{0, 0}, aSquare, 4));
  EXPECT_TRUE(PointInPolygon(MapPoint{10, 5}, aSquare, 4));
  EXPECT_TRUE(PointInPolygon(MapPoint{5, 10}, aSquare, 4));
  // A diamond: the scan line through the side vertices touches each once.
  const MapPoint aDiamond[] = {{5, 0}, {10, 5}, {5, 10}, {0, 5}};
  EXPECT_TRUE(PointInPolygon(MapPoint{5, 5}, aDiamond, 4));
  EXPECT_FALSE(PointInPolygon(MapPoint{-3, 5}, aDiamond, 4));
  EXPECT_FALSE(PointInPolygon(MapPoint{11, 5}, aDiamond, 4));
  EXPECT_FALSE(PointInPolygon(MapPoint{-3, 0}, aDiamond, 4));  // touches the bottom vertex
  EXPECT_FALSE(PointInPolygon(MapPoint{-3, 10}, aDiamond, 4));
  // A "W" whose middle vertex touches the scan line from below.
  const MapPoint aW[] = {{0, 0}, {20, 0}, {20, 10}, {15, 10}, {10, 5}, {5, 10}, {0, 10}};
  EXPECT_FALSE(PointInPolygon(MapPoint{-5, 5}, aW, 7));
  EXPECT_TRUE(PointInPolygon(MapPoint{3, 5}, aW, 7));
  EXPECT_TRUE(PointInPolygon(MapPoint{17, 5}, aW, 7));
  EXPECT_FALSE(PointInPolygon(MapPoint{10, 8}, aW, 7));
  EXPECT_FALSE(PointInPolygon(MapPoint{25, 5}, aW, 7));
  // Duplicate consecutive vertices and a horizontal run on the scan line.
  const MapPoint aDup[] = {{0, 0}, {0, 0}, {10, 0}, {10, 5}, {10, 5}, {20, 5}, {20, 10}, {0, 10}};
  EXPECT_TRUE(PointInPolygon(MapPoint{5, 5}, aDup, 8));
  EXPECT_FALSE(PointInPolygon(MapPoint{15, 2}, aDup, 8));
  EXPECT_TRUE(PointInPolygon(MapPoint{15, 5}, aDup, 8));   // on the run
  EXPECT_FALSE(PointInPolygon(MapPoint{25, 5}, aDup, 8));
  EXPECT_FALSE(PointInPolygon(MapPoint{-5, 5}, aDup, 8));
  // Fewer than three points.
  EXPECT_FALSE(PointInPolygon(MapPoint{0, 0}, aSquare, 2));
  // Full-range coordinates.
  const MapPoint aBig[] = {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MAX}};
  EXPECT_TRUE(PointInPolygon(MapPoint{0, 0}, aBig, 4));
  EXPECT_TRUE(PointInPolygon(MapPoint{INT32_MAX, 0}, aBig, 4));
}

// Even-odd rule by exact rational comparison as the oracle.
bool ReferenceInside(const MapPoint& p, const std::vector<MapPoint>& poly) {
  bool fIn = false;
  const size_t c = poly.size();
  for (size_t i = 0, j = c - 1; i < c; j = i++) {
    const double xi = poly[i].x, yi = poly[i].y, xj = poly[j].x, yj = poly[j].y;
    if ((yi > p.y) != (yj > p.y) && p.x < (xj - xi) * (p.y - yi) / (yj - yi) + xi)
      fIn = !fIn;
  }
  return fIn;
}

TEST(PtAlgo, PointInPolygonAgreesWithEvenOddOffTheEdges) {
  std::mt19937 rng(23);
  std::uniform_int_distribution<int32_t> coord(-1000, 1000);
  int cChecked = 0;
  for (int k = 0; k < 300; ++k) {
    std::vector<MapPoint> poly(3 + k % 12);
    for (MapPoint& p : poly)
      p = MapPoint{coord(rng) * 1000, coord(rng) * 1000};
    for (int i = 0; i < 200; ++i) {
      // Test points off the vertex grid never lie on an edge's vertex.
      const MapPoint p{coord(rng) * 1000 + 500, coord(rng) * 1000 + 313};
      ASSERT_EQ(PointInPolygon(p, poly.data(), poly.size()), ReferenceInside(p, poly));
      ++cChecked;
    }
  }
  EXPECT_EQ(cChecked, 60000);
}

TEST(PtAlgo, PolygonHitWithTolerance) {
  const MapPoint aSquare[] = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
  EXPECT_TRUE(PolygonHitTest(MapPoint{50, 50}, aSquare, 4, 1, 0));
  EXPECT_TRUE(PolygonHitTest(MapPoint{105, 50}, aSquare, 4, 1, 5));
  EXPECT_FALSE(PolygonHitTest(MapPoint{106, 50}, aSquare, 4, 1, 5));
  EXPECT_TRUE(PolygonHitTest(MapPoint{-3, -4}, aSquare, 4, 1, 5));  // corner
  EXPECT_FALSE(PolygonHitTest(MapPoint{-4, -4}, aSquare, 4, 1, 5));
  EXPECT_TRUE(PolygonHitTest(MapPoint{110, 50}, aSquare, 4, 0.5f, 5));
  EXPECT_FALSE(PolygonHitTest(MapPoint{50, 50}, aSquare, 0, 1, 5));
  EXPECT_FALSE(PolygonHitTest(MapPoint{50, 150}, aSquare, 4, 1, -1));
}

}  // namespace
