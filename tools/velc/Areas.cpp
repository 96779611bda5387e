#include "tools/velc/Areas.h"

#include <cstdint>
#include <limits>

void JoinHoles(const MapRing& outer, const std::vector<MapRing>& holes, MapRing& out) {
  out.clear();
  if (outer.empty()) return;
  // For each outer vertex the holes joined there, in input order.
  std::vector<std::vector<size_t>> at(outer.size());
  std::vector<size_t> aiEntry(holes.size(), 0);
  size_t cExtra = 0;
  for (size_t h = 0; h < holes.size(); ++h) {
    const MapRing& hole = holes[h];
    if (hole.size() < 3) continue;
    // The closest pair of an outer vertex and a hole vertex would cost
    // outer x hole; the hole's westmost vertex against every outer vertex is
    // as good in practice and keeps the work linear per hole.
    size_t iHole = 0;
    for (size_t i = 1; i < hole.size(); ++i)
      if (hole[i].x < hole[iHole].x || (hole[i].x == hole[iHole].x && hole[i].y < hole[iHole].y)) iHole = i;
    double fBest = std::numeric_limits<double>::max();
    size_t iOuter = 0;
    for (size_t i = 0; i < outer.size(); ++i) {
      double dx = double(outer[i].x) - hole[iHole].x, dy = double(outer[i].y) - hole[iHole].y;
      double d = dx * dx + dy * dy;
      if (d < fBest) fBest = d, iOuter = i;
    }
    at[iOuter].push_back(h);
    aiEntry[h] = iHole;
    cExtra += hole.size() + 2;
  }
  out.reserve(outer.size() + cExtra);
  for (size_t i = 0; i < outer.size(); ++i) {
    out.push_back(outer[i]);
    for (size_t h : at[i]) {
      const MapRing& hole = holes[h];
      // outer[i] -> hole[k] ... around ... hole[k] -> outer[i]
      for (size_t j = 0; j <= hole.size(); ++j) out.push_back(hole[(aiEntry[h] + j) % hole.size()]);
      out.push_back(outer[i]);
    }
  }
}

double RingArea2(const MapRing& ring) {
  double f = 0;
  for (size_t i = 0, n = ring.size(); i < n; ++i) {
    const MapPoint& a = ring[i];
    const MapPoint& b = ring[(i + 1) % n];
    f += double(a.x) * double(b.y) - double(b.x) * double(a.y);
  }
  return f;
}

bool PointInRing(double x, double y, const MapRing& ring) {
  bool fIn = false;
  for (size_t i = 0, n = ring.size(), j = n - 1; i < n; j = i++) {
    double xi = ring[i].x, yi = ring[i].y, xj = ring[j].x, yj = ring[j].y;
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) fIn = !fIn;
  }
  return fIn;
}
