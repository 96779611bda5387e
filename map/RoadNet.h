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
  // The least cost of one map unit on any road (the bound of the cost still
  // to come from a straight distance).
  float fMinRate = 0;

  uint32_t NodeCount() const { return uint32_t(nodePoints.size()); }
  // The key of a node (0: none) and the node of a key (-1: none).
  uint64_t KeyOf(uint32_t n) const;
  int64_t NodeOfKey(uint64_t qwKey) const;
  size_t MemoryBytes() const {
    return nodePoints.capacity() * sizeof(MapPoint) + firstArc.capacity() * 4 + arcTo.capacity() * 4 +
           arcCost.capacity() * 4 + arcLength.capacity() * 4 + arcEndsOnly.capacity() + byKey.capacity() * 16 + byNode.capacity() * 16 + keyed.capacity();
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
