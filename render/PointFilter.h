// Thinning of screen points before they are stroked or filled: points that
// cannot change a pixel of the view are left out. Consecutive equal points
// add nothing; and a run of points that all lie beyond one side of the view
// (by more than a margin) can be replaced by its first and last point, as
// the dropped path and the straight line that replaces it both stay beyond
// that side: neither an alternate fill's inside nor a solid pen's stroke
// changes inside the view. The points next to the view are kept exactly,
// so every edge that crosses into it is the same. Dashed and dotted pens
// count their pattern along the whole line and must keep every point.
#pragma once
#include <cstddef>
#include <vector>

#include "platform/WinTypes.h"

// The view's pixels are [0, cx) × [0, cy); nMargin pixels more on every
// side are kept as they are. Writes the thinned points into out and returns
// their count; with two or more points in, at least two come out.
size_t ThinScreenPoints(const VPoint* pPoints, size_t cPoints, int cx, int cy, int nMargin,
                        std::vector<VPoint>& out);
