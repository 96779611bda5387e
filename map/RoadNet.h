// A compact, read-only view of a map's road graph for searches that run
// over several maps at once (a collection's routes): the graph nodes with
// their places, the arcs a vehicle may drive with their costs under one
// set of routing options, and the border keys where the map meets its
// neighbours. A map builds it from its own graph; the exact route inside a
// map stays the map's own search.
#pragma once
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "map/MapRect.h"

struct RoadNet {
  // The options the costs were made for.
  int32_t nVehicle = -1;
  int32_t fTimeBased = -1;
  uint8_t fAvoidTolls = 0;
  uint8_t fAvoidUnpaved = 0;
  uint8_t fAvoidHighways = 0;

  std::vector<MapPoint> nodePoints;  // per graph node
  std::vector<uint32_t> firstArc;    // per node, and one past the last: its arcs' range
  std::vector<uint32_t> arcTo;       // arrival node
  std::vector<float> arcCost;
  std::vector<float> arcLength;      // map units
  // Per arc: a road the vehicle may use only as a run where a route starts
  // or ends (closed to through traffic, or unpaved while avoided).
  std::vector<uint8_t> arcEndsOnly;
  // The border keys: (key, node) sorted by key, and (node, key) sorted by node.
  std::vector<std::pair<uint64_t, uint32_t>> byKey;
  std::vector<std::pair<uint32_t, uint64_t>> byNode;
  // Per node: 1 when it has a key (empty: not known, KeyOf tells).
  std::vector<uint8_t> keyed;
  // The rectangle of the nodes with a key (empty: none).
  MapRect keyBounds{0, 0, -1, -1};
  // The map's turn restrictions: the nodes from cMapNodes on (none when it
  // is 0) each stand for a map node entered from one neighbour from which
  // the map forbids some turns there; the arcs from that neighbour arrive
  // at the copy, which has the node's arcs less the forbidden ones. copyOf:
  // the map node of each copy.
  uint32_t cMapNodes = 0;
  std::vector<uint32_t> copyOf;    // sorted
  std::vector<uint32_t> copyFrom;  // the neighbour each copy is entered from
  // The least cost of one map unit on any road (the bound of the cost still
  // to come from a straight distance).
  float fMinRate = 0;

  uint32_t NodeCount() const { return uint32_t(nodePoints.size()); }
  // The key of a node (0: none) and the node of a key (-1: none).
  uint64_t KeyOf(uint32_t n) const;
  int64_t NodeOfKey(uint64_t qwKey) const;
  // The map's nodes (copies left out), and the map node a node stands for.
  uint32_t MapNodeCount() const { return cMapNodes ? cMapNodes : NodeCount(); }
  uint32_t MapNodeOf(uint32_t n) const { return cMapNodes && n >= cMapNodes ? copyOf[n - cMapNodes] : n; }
  // The node to enter map node n by, coming from the place ptFrom (from
  // another map's node there): its copy for that way in, or n.
  uint32_t EnterFrom(uint32_t n, const MapPoint& ptFrom) const {
    if (!cMapNodes) return n;
    for (auto it = std::lower_bound(copyOf.begin(), copyOf.end(), n); it != copyOf.end() && *it == n; ++it) {
      const size_t i = size_t(it - copyOf.begin());
      const MapPoint& p = nodePoints[copyFrom[i]];
      if (p.x == ptFrom.x && p.y == ptFrom.y) return uint32_t(cMapNodes + i);
    }
    return n;
  }
  size_t MemoryBytes() const {
    return nodePoints.capacity() * sizeof(MapPoint) + firstArc.capacity() * 4 + arcTo.capacity() * 4 +
           arcCost.capacity() * 4 + arcLength.capacity() * 4 + arcEndsOnly.capacity() + byKey.capacity() * 16 + byNode.capacity() * 16 + keyed.capacity() + copyOf.capacity() * 4 + copyFrom.capacity() * 4;
  }
};

inline uint64_t RoadNet::KeyOf(uint32_t n) const {
  auto it = std::lower_bound(byNode.begin(), byNode.end(), n,
                             [](const std::pair<uint32_t, uint64_t>& e, uint32_t v) { return e.first < v; });
  return it != byNode.end() && it->first == n ? it->second : 0;
}

inline int64_t RoadNet::NodeOfKey(uint64_t qwKey) const {
  auto it = std::lower_bound(byKey.begin(), byKey.end(), qwKey,
                             [](const std::pair<uint64_t, uint32_t>& e, uint64_t v) { return e.first < v; });
  return it != byKey.end() && it->first == qwKey ? int64_t(it->second) : -1;
}
