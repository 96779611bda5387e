// Reads an OpenStreetMap file (PBF or XML) with libosmium and turns it into
// the zoom levels of a native map: class selection per level by the type
// mapping, generalised geometry for the coarser levels, names as labels.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/velc/Addresses.h"
#include "tools/velc/ObjectStore.h"
#include "tools/velc/Tiles.h"
#include "tools/velc/TypeMapping.h"
#include "tools/velc/VelWriter.h"

// The zoom levels velc writes, coarse to fine.
const int c_cVelcLevels = 5;
extern const uint16_t c_awVelcLevelCodes[c_cVelcLevels];

struct OsmConvertStats {
  uint64_t cNodes = 0, cWays = 0, cRelations = 0, cAreas = 0;
  uint64_t cPoints = 0, cLines = 0, cPolygons = 0;  // objects at the finest level
  uint64_t acLevelObjects[c_cVelcLevels] = {};
  int64_t nNewestTimestamp = 0;  // seconds since 1970, 0 when unknown
  // The road graph.
  uint64_t cRoads = 0;               // routable ways written at the finest level
  uint32_t cGraphNodes = 0;          // nodes where routable ways meet or end
  uint32_t cBarriers = 0;            // graph nodes that stop some vehicles (bollards, closed gates)
  uint32_t cBarriersLate = 0;        // barriers left out: they came after the ways
  uint32_t cRestrictions = 0;        // type=restriction relations
  uint32_t cRestrictionsUsed = 0;    // of them turned into turn records
  uint32_t cTurnRecords = 0;         // records (an only_* restriction gives several)
  uint32_t cRestrictionsViaWay = 0;  // left out: the format knows via nodes only
  uint32_t cRestrictionsUnmatched = 0;    // left out: ways or node missing, or not meeting at the via node
  uint32_t cRestrictionsUnsupported = 0;  // left out: unknown kind, or not for cars (except=motorcar...)
  uint64_t cSeaAreas = 0;        // sea areas made from the coastline
  std::vector<std::string> warnings;  // things left out of the map, such as a broken coastline
  AddressStats addresses;        // cities and addresses (with the indexes)
};

class CVelcProgress;
// How a large input is compiled: where the node locations and the spilled
// objects go, how much memory the objects may take, how many threads write.
// The output does not depend on any of these.
struct VelcRunOptions {
  // libosmium's name of the node location index ("sparse_file_array",
  // "dense_file_array", "flex_mem"...); empty: chosen by the input's size.
  std::string strIndexType;
  // Where the temporary files go (the node locations, the objects past the
  // budget); empty: the system's temporary folder.
  std::string strTempFolder;
  // The bytes the converted objects may take in memory before the rest is
  // spilled to a temporary file.
  uint64_t cbMemory = uint64_t(256) << 20;
  // Threads that cut and write tiles; 0: one per core.
  unsigned cJobs = 0;
  CVelcProgress* pProgress = nullptr;  // null: quiet
  // Filled in: the index used and the bytes the objects spilled.
  std::string* pstrIndexUsed = nullptr;
  uint64_t* pcbSpilled = nullptr;
};

// The node location index chosen for an input of cbInput bytes: a sparse
// array in a file (16 bytes a node) up to the size of a large country, a
// dense one (8 bytes for every node id up to the largest) beyond, where the
// extract holds a good part of all node ids.
std::string ChooseNodeIndex(uint64_t cbInput, bool fPbf);

// Fills levels from the file. Returns false with a message (a file that is
// missing, unreadable or not OSM data); never throws.
// With pGraph, routable ways carry the road graph (node numbers per point
// and the attribute word at the finest level) and pGraph gets the node
// count and the turn restrictions. With pIndex, the cities, addresses and
// named objects fill the index input and the objects' address blocks.
bool ConvertOsmFile(const std::string& strInput, const CTypeMapping& mapping, std::vector<VelLevelInput>& levels,
                    OsmConvertStats& stats, std::string& strError, VelWriterOptions* pGraph = nullptr,
                    VelIndexInput* pIndex = nullptr);

// The same into a store of compact objects (for maps written as tiles).
bool ConvertOsmFileToStore(const std::string& strInput, const CTypeMapping& mapping, CObjectStore& store,
                           OsmConvertStats& stats, std::string& strError, VelWriterOptions* pGraph = nullptr,
                           VelIndexInput* pIndex = nullptr, const VelcRunOptions* pRun = nullptr);
// The level codes of velc's maps, coarse to fine.
std::vector<uint16_t> VelcLevelCodes();

// The road attribute word of a routable way (speed class, quality class,
// one-way, toll, vehicle prohibitions) from its tags; the tags are looked up
// with pfnLookup as in CTypeMapping::Match. fOneway: the way is one-way.
uint16_t RoadAttributesOf(const CTypeMapping& mapping, const TypeRule& road, const void* pTags, TagLookup pfnLookup,
                          bool fOneway);
// The same with what the attribute word cannot say: the vehicles (bits
// 8-15 of the word >> 8) that may use the road only where a route starts or
// ends on it (access=destination, private...), and whether it is unpaved (a
// track, an unpaved surface or tracktype).
struct RoadAccess {
  uint16_t wAttributes = 0;
  uint8_t btThrough = 0;
  bool fUnpaved = false;
};
RoadAccess RoadAccessOf(const CTypeMapping& mapping, const TypeRule& road, const void* pTags, TagLookup pfnLookup,
                        bool fOneway);
// The vehicles (attribute word bits) a barrier node stops, 0 = none:
// bollards, blocks, turnstiles... unless their access tags open them; gates,
// lift gates and chains when their access tags (motorcar, motor_vehicle,
// vehicle, access) say no or private.
uint16_t BarrierDenyOf(const void* pTags, TagLookup pfnLookup);
// The speed class (0..7) of a maxspeed value, or -1 when it names no speed.
int SpeedClassOfMaxspeed(const CTypeMapping& mapping, const char* pszMaxspeed);

// Fills the writer's name, date and notice from the stats and input name.
void SetMapDescription(VelWriterOptions& options, const std::string& strInput, const OsmConvertStats& stats);

// The whole compile: read, convert, write (atomically). Messages go to
// strError; stats and the writer's figures are returned for reporting.
bool CompileOsmToVel(const std::string& strInput, const std::string& strOutput, const std::string& strTypeMap,
                     VelWriterOptions options, std::string& strError, OsmConvertStats* pStats = nullptr,
                     VelWriterStats* pWriterStats = nullptr, uint64_t* pcbOut = nullptr, bool fRoadGraph = true,
                     bool fIndexes = true, const VelcRunOptions* pRun = nullptr);

// The same for a folder: the map as a collection of tiles and its index
// (see Tiles.h); an input that fits one map gives one tile.
bool CompileOsmToCollection(const std::string& strInput, const std::string& strFolder, const std::string& strTypeMap,
                            VelWriterOptions options, std::string& strError, OsmConvertStats* pStats = nullptr,
                            VelTileStats* pTileStats = nullptr, bool fRoadGraph = true,
                            uint64_t cbTileBudget = c_cbDefaultTileBudget, const VelcRunOptions* pRun = nullptr);
