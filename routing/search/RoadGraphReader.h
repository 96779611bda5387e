// What the road search needs from a map: its roads with their graph nodes,
// the turn restrictions, the barriers and road access of its road graph,
// the roads near a point and the border keys where it meets its
// neighbours. A map format that routes implements the reader; the search
// reads the map only through it, never changes it, and builds its graph
// from it once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "map/MapRect.h"

// One road of the graph as the map gives it. The points and nodes stay
// valid until the reader is asked for the next road.
struct GraphRoad {
  uint32_t dwBlock = 0;      // where the map finds the road again (the search keeps both)
  uint32_t dwRoad = 0;       // the road's own reference; restrictions name roads by it
  uint16_t wType = 0;
  // Speed class (bits 0-2), quality (3-5), one-way (0x40), toll (0x80) and
  // the vehicles the road is closed to (8-15).
  uint16_t wAttributes = 0;
  // The link access bits (CRoadGraph::LinkAccess): unpaved, and the
  // vehicles the road is kept to the ends of a route for.
  uint8_t btAccess = 0;
  uint32_t cPoints = 0;
  const MapPoint* pPoints = nullptr;
  const int32_t* pNodes = nullptr;  // per point: its graph node, -1 = none
  // The rectangle of the map's block holding the road (a walk with windows
  // reads the blocks that meet them); the whole plane when the map has none.
  MapRect rcBlock{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
};

// A restriction of the graph: arriving at cNode from cFromNode along road
// cFromRoad, a vehicle may not go on along road cToRoad towards cToNode.
struct TurnRestriction {
  int32_t cFromNode;
  int32_t cNode;
  int32_t cToNode;
  uint32_t cFromRoad;  // GraphRoad::dwRoad
  uint32_t cToRoad;
};
static_assert(sizeof(TurnRestriction) == 20, "");

// Called for the roads a walk over the map meets.
class CRoadVisitor {
 public:
  virtual ~CRoadVisitor() = default;
  // Before block nBlock of cBlocks; false stops the walk.
  virtual bool OnBlock(uint32_t nBlock, uint32_t cBlocks) { return true; }
  // A road with graph nodes; false stops the walk.
  virtual bool OnRoad(const GraphRoad& road) = 0;
};

class IRoadGraphReader {
 public:
  virtual ~IRoadGraphReader() = default;
  // The graph nodes of the map; 0 when it has no road graph (or one whose
  // header cannot be believed).
  virtual uint32_t GetGraphNodeCount() = 0;
  // The map's rectangle (map units).
  virtual MapRect GetGraphRect() = 0;
  // The step of the grid the map's nodes were moved onto (map units).
  virtual double GetGridStep() = 0;
  // Walks the roads with graph nodes in the map's order: all of them with
  // cWindows 0, else those of the map's blocks that meet one of the
  // windows. False when the map cannot be walked or the visitor stopped.
  virtual bool ReadRoads(const MapRect* aWindows, size_t cWindows, CRoadVisitor& visitor) = 0;
  // One road again (its points and nodes); false when it cannot be read.
  virtual bool ReadRoad(uint32_t dwBlock, uint32_t dwRoad, GraphRoad& road) = 0;
  // The road's name ("" without one).
  virtual std::u16string GetRoadLabel(uint32_t dwBlock, uint32_t dwRoad) = 0;
  // The turn restrictions whose nodes and roads exist; cDropped counts the
  // records left out as damaged. False when memory ran out.
  virtual bool ReadTurnRestrictions(std::vector<TurnRestriction>& restrictions, uint32_t& cDropped) = 0;
  // The nodes the map closes to some vehicles (a bollard, a locked gate):
  // (node, vehicle bits of the attribute word). False when memory ran out.
  virtual bool ReadBarriers(std::vector<std::pair<uint32_t, uint16_t>>& barriers) = 0;
  // The border keys: the graph node and the key of record i (i below the
  // count); false for a record that cannot be read.
  virtual uint32_t GetGraphBorderKeyCount() = 0;
  virtual bool GetGraphBorderKey(uint32_t i, uint32_t& nNode, uint64_t& qwKey) = 0;
};
