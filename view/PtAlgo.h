// Point algorithms on map coordinates. Every one takes a horizontal weight
// k (the map page passes latitude factor / 255) so that distances are
// sqrt((k dx)² + dy²) in map units. The two polyline lengths multiply dx²
// by k itself: their callers pass the squared weight (cos² latitude).
// A NaN or negative weight counts as 0, one above 10^6 as 10^6.
#pragma once
#include <cstddef>
#include <cstdint>

#include "view/MapUnits.h"

namespace PtAlgo {

// Length of the polyline [pFirst, pLast): sum of sqrt(dx² k + dy²).
double PolylineLength(const MapPoint* pFirst, const MapPoint* pLast, float k);
// The same with integer square roots (for data whose segments are below
// 0x100000 units per axis; longer ones fall back to the float formula).
int64_t PolylineLengthFast(const MapPoint* pFirst, const MapPoint* pLast, float k);

// Nearest point N on the segment AB to P; returns k²(Px − Nx)² + (Py − Ny)².
double NearestPointOnSegment(const MapPoint& pt, const MapPoint& a, const MapPoint& b, float k,
                             MapPoint* pNearest);

// Nearest point on a polyline (fClosed: also the edge from the last point
// back to the first, as for a polygon). Returns the smallest weighted
// squared distance, or -1 when there is no segment (fewer than 2 points; a
// single point counts as its own segment). *piSegment is the index of the
// segment's first point.
double NearestPointOnPolyline(const MapPoint& pt, const MapPoint* pPoints, size_t cPoints,
                              bool fClosed, float k, MapPoint* pNearest, size_t* piSegment);

// The index of the first segment within fDistance (map units) of the point,
// or -1 when none is.
ptrdiff_t FindSegmentWithin(const MapPoint& pt, const MapPoint* pPoints, size_t cPoints,
                            bool fClosed, float k, double fDistance);

// Crossing-number test; a point on an edge or vertex is inside. Fewer than
// three points are never hit.
bool PointInPolygon(const MapPoint& pt, const MapPoint* pPoints, size_t cPoints);

// A polygon hit with tolerance: inside, or within fTolerance of an edge.
bool PolygonHitTest(const MapPoint& pt, const MapPoint* pPoints, size_t cPoints, float k,
                    double fTolerance);

}  // namespace PtAlgo
