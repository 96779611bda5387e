// A route through several points, leg by leg, with the map parser's route
// search: each leg's road points between the points; a leg the search
// cannot route (no road within reach of an end, no way through) becomes a
// straight line.
#pragma once
#include <cstddef>
#include <vector>

#include "map/MapParser.h"
#include "map/RouteOptions.h"

struct RouteLegsResult {
  size_t cLegs = 0;
  size_t cStraight = 0;  // legs joined by a straight line
  bool fCancelled = false;
};

// Appends to points: the first via point, then for every leg the computed
// points (when found) and the leg's end point. Via points carry the via
// kind (0x20). Each leg runs with a copy of options (its list emptied) over
// its share of the progress range. Returns false (points unchanged) when
// cancelled.
bool RouteThroughPoints(CMapParser& parser, const std::vector<MapPoint>& via, const RouteOptions& options,
                        const MapProgress* pProgress, std::vector<RouterPoint>& points,
                        RouteLegsResult* pResult = nullptr);
