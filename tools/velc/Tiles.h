// Maps too large for one file: the block headers address 24 bits of object
// data, so a large extract is written as a collection, a folder of tiles
// (each a complete native map of a part of the extent, with its own road
// graph and indexes) and the collection index that opens them as one map.
//
// Objects that cross a tile's edge go whole into every tile their bounding
// box touches, so that nothing is cut and no seam shows; points go into the
// one tile that holds them.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "map/MapRect.h"
#include "tools/velc/VelWriter.h"

// The estimated object data a tile is planned for: half the 16 MiB the
// offsets reach, so that the estimate's error rarely makes a tile too large
// (such a tile is halved and written again), and so that the objects of one
// tile, which the writer holds at a time, stay a small part of the map.
const uint64_t c_cbDefaultTileBudget = 8u << 20;

struct VelTileStats {
  std::vector<MapRect> tiles;       // the rectangles written, in member order
  std::vector<uint64_t> tileBytes;  // the size of each tile's file
  std::vector<uint64_t> tileEstimates;  // the estimated object data of its objects
  uint32_t cHalvedAfterWrite = 0;   // tiles the writer found too large, halved
  uint64_t cbTotal = 0;
  int32_t cIndexedMaps = 0;         // what the index builder reported
  VelWriterStats writer;            // summed over the tiles (block counts and objects)
};

class CObjectSource;
// The estimated bytes an object takes in the file.
uint32_t EstimateObjectBytes(const CObjectSource& src, size_t iLevel, size_t i);

// Cuts the extent of the objects into tiles whose estimated object data
// stays within cbBudget: a tile that holds more is halved across its longer
// side. Returns one rectangle (the extent) when everything fits. The
// rectangles do not overlap and cover every point of every object.
// cJobs threads share the objects (the plan does not depend on their number).
std::vector<MapRect> PlanTiles(const std::vector<VelLevelInput>& levels, uint64_t cbBudget, unsigned cJobs = 1);
std::vector<MapRect> PlanTiles(const CObjectSource& src, uint64_t cbBudget, unsigned cJobs = 1);

// The writer input of one tile: the objects that touch the rectangle (the
// objects of points that lie in it), the road graph's nodes renumbered, the
// turn restrictions whose roads are both there, and the cities and name
// lists that the tile's objects use, renumbered. fFirst: the tile also gets
// the cities that no object names (so that every city is listed once).
void ExtractTile(const VelWriterOptions& options, const std::vector<VelLevelInput>& levels, const MapRect& rect,
                 bool fFirst, VelWriterOptions& tileOptions, std::vector<VelLevelInput>& tileLevels);
void ExtractTile(const VelWriterOptions& options, const CObjectSource& src, const MapRect& rect, bool fFirst,
                 VelWriterOptions& tileOptions, std::vector<VelLevelInput>& tileLevels);

class CVelcProgress;
// Writes the objects as tiles "tileNNN.vel" and their Index.vidx into a new
// folder beside the given one ("FOLDER.velc-new-*") and puts it in the
// folder's place in one step, so that a reader sees the old collection or
// the new one, never a mix; other files of the old folder are kept. False
// with a message when a tile or the index cannot be written (a full disk):
// the old folder is then as it was, and nothing is left of the new one.
// cJobs threads cut and write the tiles (0: one per core); the tiles are the
// same whatever their number.
bool WriteVelCollection(const VelWriterOptions& options, const std::vector<VelLevelInput>& levels,
                        const std::string& strFolder, uint64_t cbBudget, std::string& strError,
                        VelTileStats* pStats = nullptr, unsigned cJobs = 1, CVelcProgress* pProgress = nullptr);
bool WriteVelCollection(const VelWriterOptions& options, const CObjectSource& src, const std::string& strFolder,
                        uint64_t cbBudget, std::string& strError, VelTileStats* pStats = nullptr, unsigned cJobs = 1,
                        CVelcProgress* pProgress = nullptr);

// Makes the planned rectangles 0 .. cPlan - 1 on cJobs threads (0: one per
// core). make(i, fFirst) makes rectangle i; fFirst asks it to take what only
// the first tile of the collection takes, and make clears it when it gave a
// tile. The outcome is that of a walk in order: each rectangle is made with
// fFirst set exactly when no rectangle before it gave a tile (discard(i)
// throws away what an earlier make(i) gave). False as soon as a make fails.
bool MakeInPlanOrder(size_t cPlan, unsigned cJobs, const std::function<bool(size_t, bool&)>& make,
                     const std::function<void(size_t)>& discard);

// The file name of tile i of a collection.
std::string TileFileName(uint32_t i);
