// Areas with holes written as single rings. The native format stores one
// ring per area and the map display fills rings in alternate (even-odd)
// mode, so each hole is joined to its area by a bridge cut: the ring runs
// from a vertex of the outer boundary to a vertex of the hole, around the
// hole and back along the same line. The cut's two edges coincide, so they
// cancel in the even-odd count and leave no seam, and no hole is filled.
#pragma once
#include <cstddef>
#include <vector>

#include "view/MapUnits.h"

typedef std::vector<MapPoint> MapRing;  // closed implicitly (last != first)

struct AreaRings {
  MapRing outer;
  std::vector<MapRing> holes;
};

// One ring tracing outer and every hole; holes with fewer than three points
// are left out. Each hole is joined at the outer vertex nearest to it.
void JoinHoles(const MapRing& outer, const std::vector<MapRing>& holes, MapRing& out);

// Twice the signed area (positive when counter-clockwise with y north).
double RingArea2(const MapRing& ring);

// Even-odd test of a point against a ring, in doubles (points on an edge may
// go either way).
bool PointInRing(double x, double y, const MapRing& ring);
