// Thinning of screen points.
#include "render/PointFilter.h"

#include <cstdint>

namespace {

// The sides of the view a point lies beyond (by more than the margin).
enum : unsigned {
  c_fLeft = 1,
  c_fRight = 2,
  c_fAbove = 4,
  c_fBelow = 8,
};

unsigned OutCode(const VPoint& pt, int64_t xMin, int64_t yMin, int64_t xMax, int64_t yMax) {
  unsigned n = 0;
  if (pt.x < xMin)
    n |= c_fLeft;
  else if (pt.x > xMax)
    n |= c_fRight;
  if (pt.y < yMin)
    n |= c_fAbove;
  else if (pt.y > yMax)
    n |= c_fBelow;
  return n;
}

}  // namespace

size_t ThinScreenPoints(const VPoint* pPoints, size_t cPoints, int cx, int cy, int nMargin,
                        std::vector<VPoint>& out) {
  out.clear();
  if (pPoints == nullptr || cPoints == 0)
    return 0;
  const int64_t xMin = -int64_t(nMargin), yMin = -int64_t(nMargin);
  const int64_t xMax = int64_t(cx) - 1 + nMargin, yMax = int64_t(cy) - 1 + nMargin;
  out.reserve(cPoints);
  auto emit = [&out](const VPoint& pt) {
    if (out.empty() || out.back().x != pt.x || out.back().y != pt.y)
      out.push_back(pt);
  };
  emit(pPoints[0]);
  size_t i = 0;
  unsigned nCode = OutCode(pPoints[0], xMin, yMin, xMax, yMax);
  while (i + 1 < cPoints) {
    // The longest run from i whose points share a side; its inner points
    // go.
    size_t j = i;
    unsigned nCommon = nCode;
    unsigned nNext = 0;
    while (j + 1 < cPoints) {
      nNext = OutCode(pPoints[j + 1], xMin, yMin, xMax, yMax);
      if ((nCommon & nNext) == 0)
        break;
      nCommon &= nNext;
      ++j;
    }
    if (j > i) {
      emit(pPoints[j]);
      i = j;
      nCode = OutCode(pPoints[j], xMin, yMin, xMax, yMax);
    } else {
      emit(pPoints[i + 1]);
      ++i;
      nCode = nNext;
    }
  }
  // A line of one repeated point still draws (a wide pen's dot).
  if (out.size() == 1 && cPoints >= 2)
    out.push_back(out[0]);
  return out.size();
}
