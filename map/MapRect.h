// Map points and rectangles in map units (2^30 units are 180 degrees).
#pragma once
#include <cstdint>

#include "view/MapUnits.h"  // MapPoint

// left <= right are the minimum and maximum x, top <= bottom the minimum and
// maximum y. Borders belong to the rectangle.
struct MapRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;

  bool Contains(int32_t x, int32_t y) const { return left <= x && x <= right && top <= y && y <= bottom; }
  bool Contains(const MapPoint& pt) const { return Contains(pt.x, pt.y); }
  bool Contains(const MapRect& r) const {
    return left <= r.left && r.right <= right && top <= r.top && r.bottom <= bottom;
  }
  bool Intersects(const MapRect& r) const {
    return left <= r.right && r.left <= right && top <= r.bottom && r.top <= bottom;
  }
  bool IsEmpty() const { return right < left || bottom < top; }
  int64_t Width() const { return int64_t(right) - left; }
  int64_t Height() const { return int64_t(bottom) - top; }
};

// The whole plane.
const MapRect c_rectWholePlane = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
