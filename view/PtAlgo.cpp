// Point algorithms on map coordinates.
#include "view/PtAlgo.h"

#include <cmath>

#include "view/FastMath.h"

namespace PtAlgo {

namespace {

// A weight that is NaN or negative counts as 0 (no root of a negative
// number); one above 10^6 (the program passes cos or cos² ≤ 1) as 10^6, so
// that lengths of full-range segments still fit 64 bits.
inline float SaneWeight(float k) {
  if (!(k >= 0))
    return 0.0f;
  return k <= 1e6f ? k : 1e6f;
}

inline double SegmentLength(int64_t dx, int64_t dy, double k) {
  return std::sqrt(double(dx) * double(dx) * k + double(dy) * double(dy));
}

// 8.8 fixed-point weight c applied to a non-negative dx, all in 64 bits;
// the root is taken in 32 bits when the sum fits (always for k <= 1).
inline bool RootFits(uint64_t n, uint32_t* pRoot) {
  if (n > 0xFFFFFFFFull)
    return false;
  *pRoot = fast_sqrt(uint32_t(n));
  return true;
}

}  // namespace

double PolylineLength(const MapPoint* pFirst, const MapPoint* pLast, float k) {
  k = SaneWeight(k);
  double fLength = 0;
  if (!pFirst || !pLast || pLast - pFirst < 2)
    return 0;
  for (const MapPoint* p = pFirst + 1; p < pLast; ++p)
    fLength += SegmentLength(int64_t(p->x) - p[-1].x, int64_t(p->y) - p[-1].y, k);
  return fLength;
}

int64_t PolylineLengthFast(const MapPoint* pFirst, const MapPoint* pLast, float k) {
  k = SaneWeight(k);
  if (!pFirst || !pLast || pLast - pFirst < 2)
    return 0;
  const int64_t c = fast_floor(k * 256 + 0.5f);
  int64_t nLength = 0;
  for (const MapPoint* p = pFirst + 1; p < pLast; ++p) {
    int64_t dx = int64_t(p->x) - p[-1].x;
    int64_t dy = int64_t(p->y) - p[-1].y;
    if (dx < 0)
      dx = -dx;
    if (dy < 0)
      dy = -dy;
    uint32_t dwRoot = 0;
    bool fDone = false;
    if (dx < 0x8000 && dy < 0x8000) {
      if (dx >= 2048)
        fDone = RootFits(uint64_t(dy * dy + dx * ((c * dx) >> 8)), &dwRoot);
      else
        fDone = RootFits(uint64_t(dy * dy + ((c * dx * dx) >> 8)), &dwRoot);
    } else if (dx < 0x100000 && dy < 0x100000) {
      const int64_t dx1 = dx >> 5;
      const int64_t dy1 = dy >> 5;
      fDone = RootFits(uint64_t(dx1 * ((c * dx1) >> 8) + dy1 * dy1), &dwRoot);
      dwRoot <<= 5;
    }
    // Segments of 0x100000 units or more are not in well-formed data; they
    // are measured with the float formula.
    if (fDone)
      nLength += dwRoot;
    else
      nLength += int64_t(SegmentLength(dx, dy, k) + 0.5);
  }
  return nLength;
}

double NearestPointOnSegment(const MapPoint& pt, const MapPoint& a, const MapPoint& b, float k,
                             MapPoint* pNearest) {
  k = SaneWeight(k);
  const double dx = double(b.x) - a.x;
  const double wdx = dx * k;
  const double dy = double(b.y) - a.y;
  const double fLen2 = wdx * wdx + dy * dy;
  MapPoint ptNearest = a;
  if (fLen2 >= 1) {
    double t = ((double(pt.x) - a.x) * k * wdx + (double(pt.y) - a.y) * dy) / fLen2;
    if (t < 0)
      t = 0;
    else if (t > 1)
      t = 1;
    // wdx × t / k, without dividing by a zero weight.
    ptNearest.x = fast_floor_d(a.x + 0.5 + dx * t);
    ptNearest.y = fast_floor_d(a.y + 0.5 + dy * t);
  }
  if (pNearest)
    *pNearest = ptNearest;
  const double ex = (double(pt.x) - ptNearest.x) * k;
  const double ey = double(pt.y) - ptNearest.y;
  return ex * ex + ey * ey;
}

double NearestPointOnPolyline(const MapPoint& pt, const MapPoint* pPoints, size_t cPoints,
                              bool fClosed, float k, MapPoint* pNearest, size_t* piSegment) {
  if (!pPoints || cPoints == 0)
    return -1;
  double fBest = -1;
  MapPoint ptBest = pPoints[0];
  size_t iBest = 0;
  const size_t cSegments = cPoints == 1 ? 1 : (fClosed && cPoints > 2 ? cPoints : cPoints - 1);
  for (size_t i = 0; i < cSegments; ++i) {
    const MapPoint& b = pPoints[i + 1 < cPoints ? i + 1 : 0];
    MapPoint ptN;
    const double fD2 = NearestPointOnSegment(pt, pPoints[i], b, k, &ptN);
    if (fBest < 0 || fD2 < fBest) {
      fBest = fD2;
      ptBest = ptN;
      iBest = i;
    }
  }
  if (pNearest)
    *pNearest = ptBest;
  if (piSegment)
    *piSegment = iBest;
  return fBest;
}

ptrdiff_t FindSegmentWithin(const MapPoint& pt, const MapPoint* pPoints, size_t cPoints,
                            bool fClosed, float k, double fDistance) {
  k = SaneWeight(k);
  if (!pPoints || cPoints == 0 || !(fDistance >= 0))
    return -1;
  int32_t left = pPoints[0].x, right = pPoints[0].x, top = pPoints[0].y, bottom = pPoints[0].y;
  for (size_t i = 1; i < cPoints; ++i) {
    left = pPoints[i].x < left ? pPoints[i].x : left;
    right = pPoints[i].x > right ? pPoints[i].x : right;
    top = pPoints[i].y < top ? pPoints[i].y : top;
    bottom = pPoints[i].y > bottom ? pPoints[i].y : bottom;
  }
  if (pt.y < top - fDistance || pt.y > bottom + fDistance)
    return -1;
  if (k > 0 && (pt.x < left - fDistance / k || pt.x > right + fDistance / k))
    return -1;
  const double fLimit = fDistance * fDistance;
  const size_t cSegments = cPoints == 1 ? 1 : (fClosed && cPoints > 2 ? cPoints : cPoints - 1);
  for (size_t i = 0; i < cSegments; ++i) {
    const MapPoint& b = pPoints[i + 1 < cPoints ? i + 1 : 0];
    if (NearestPointOnSegment(pt, pPoints[i], b, k, nullptr) <= fLimit)
      return ptrdiff_t(i);
  }
  return -1;
}

bool PointInPolygon(const MapPoint& pt, const MapPoint* pPoints, size_t cPoints) {
  if (!pPoints || cPoints < 3)
    return false;
  const int64_t px = pt.x, py = pt.y;
  bool fInside = false;
  for (size_t i = 0; i < cPoints; ++i) {
    const MapPoint& p0 = pPoints[i];
    const MapPoint& p1 = pPoints[i + 1 < cPoints ? i + 1 : 0];
    const int64_t x0 = p0.x, y0 = p0.y, x1 = p1.x, y1 = p1.y;
    if (x0 == x1 && y0 == y1) {  // duplicate vertex
      if (x0 == px && y0 == py)
        return true;
      continue;
    }
    // On the edge (vertices included): inside.
    // 128 bits: differences of full-range coordinates reach 2^32.
    const __int128 nCross = __int128(x1 - x0) * (py - y0) - __int128(y1 - y0) * (px - x0);
    if (nCross == 0 && px >= (x0 < x1 ? x0 : x1) && px <= (x0 > x1 ? x0 : x1) &&
        py >= (y0 < y1 ? y0 : y1) && py <= (y0 > y1 ? y0 : y1))
      return true;
    if (y0 == y1)  // a horizontal edge never crosses the scan line
      continue;
    // Half-open in y: an edge that ends on the scan line counts on one side
    // only, so a vertex touching the line is counted once (or twice, which
    // cancels, when both edges lie on the same side).
    if ((y0 <= py) == (y1 <= py))
      continue;
    // The crossing lies to the right of the point when the point is on the
    // left of the upward-directed edge.
    const bool fUpward = y1 > y0;
    if (fUpward ? nCross > 0 : nCross < 0)
      fInside = !fInside;
  }
  return fInside;
}

bool PolygonHitTest(const MapPoint& pt, const MapPoint* pPoints, size_t cPoints, float k,
                    double fTolerance) {
  if (!pPoints || cPoints == 0 || !(fTolerance >= 0))
    return false;
  if (PointInPolygon(pt, pPoints, cPoints))
    return true;
  // FindSegmentWithin makes the bounding-box test enlarged by the tolerance.
  return FindSegmentWithin(pt, pPoints, cPoints, true, k, fTolerance) >= 0;
}

}  // namespace PtAlgo
