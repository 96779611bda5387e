// The sea from coastline ways. Coastline ways run with the land on their
// left, so the sea lies on their right. They are joined end to end into
// chains, clipped to the extract's bounds and closed along the bounds
// clockwise (the sea side); closed chains inside the bounds are islands
// (counter-clockwise) that become holes of the sea around them, or inland
// seas (clockwise) that are sea areas of their own. A chain with an open end
// inside the bounds is broken: it is reported and no sea is made, because
// the sea side of the land cannot be known without guessing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/velc/Areas.h"

struct CoastBounds {
  int32_t l = 0, b = 0, r = 0, t = 0;  // map units, y north
};

class CCoastline {
 public:
  // A coastline way: its id, the ids of its first and last node and its
  // located points in way order.
  void AddWay(int64_t nId, int64_t nFirstNode, int64_t nLastNode, std::vector<MapPoint> points);
  bool Empty() const { return m_ways.empty(); }

  // The sea areas within the bounds. An open end within nSnap map units of
  // an edge of the bounds is taken as leaving the extract there (extracts
  // cut at their bounds keep the last node inside). False, with one message
  // per broken end in problems and no areas, when a chain ends inside.
  bool BuildSea(const CoastBounds& bounds, int32_t nSnap, std::vector<AreaRings>& sea,
                std::vector<std::string>& problems) const;

 private:
  struct Way {
    int64_t nId, nFirst, nLast;
    std::vector<MapPoint> points;
  };
  std::vector<Way> m_ways;
};
