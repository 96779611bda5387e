// Writes native map files from objects held in memory: header (extended or
// legacy layout), zoom levels, blocks, bit-packed object records, inline and
// shared labels in two code sets, and the Huffman tables built from the
// symbols actually written. The same input always gives the same bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "map/MapRect.h"

struct VelObject {
  int nKind = 0;  // rkPoint, rkPolyline, rkPolygon
  uint16_t wType = 0;
  std::vector<MapPoint> points;  // map units
  std::u16string strLabel;
  bool fDirection = false;
  // Road graph bits (lines of the finest level in maps with a road graph).
  bool fHasNodes = false;
  bool fHasAttributes = false;
  uint16_t wRoadAttributes = 0;
  std::vector<int32_t> nodeIndex;  // per point, -1 = not a node (empty = none)
  // Road access beyond the attribute word (the map's road access table):
  // vehicle bits (attribute bits 8-15 >> 8) that may use the road only where
  // a route starts or ends, and c_btAccessUnpaved.
  uint8_t btRoadThrough = 0;
  uint8_t btRoadFlags = 0;
  // Address block (maps with addresses). With a city index the values are
  // the city number + 1 and 1-based places in the index input's name lists
  // (0 = none), which the writer renumbers to the sorted lists.
  bool fHasAddress = false;
  bool fExtraAddressBit = false;
  uint32_t adwAddress[4] = {0, 0, 0, 0};
  // The city (number + 1, 0 = none) under which the object name index lists
  // an object without an address block.
  uint32_t nIndexCity = 0;
};

struct VelLevelInput {
  uint16_t wLevelCode = 24;  // coordinate resolution in bits
  std::vector<VelObject> objects;
};

// A turn that is not allowed: arriving at node cNode from node cFromNode
// along the first object, a vehicle may not go on along the second object
// towards node cToNode. The objects are indices into the finest level's
// objects (VelLevelInput::objects of the last level); the writer stores the
// byte offsets of the line records that hold those two node-to-node pieces.
struct VelTurnRestriction {
  uint32_t cFromNode, cNode, cToNode;
  uint32_t iFromObject, iToObject;
};

// A graph node that the vehicles of wDeny (attribute word bits) may not
// pass: a bollard, a closed gate.
struct VelBarrierInput {
  uint32_t nNode;
  uint16_t wDeny;
};

// A graph node on a road that leaves the map's part, and the id of its node
// in the source data (the OSM node id): maps compiled from neighbouring or
// overlapping parts of one source meet at equal keys.
struct VelBorderKeyInput {
  uint32_t nNode;
  uint64_t qwKey;
};

// The searchable indexes: the city index (countries, regions, cities and the
// three address name lists) and the object name index. Inputs may come in
// any order: the writer sorts cities and name lists by name as the reader
// compares names and renumbers the objects' address values to match.
struct VelRegionInput {
  std::u16string strName;  // "short|long" where both forms exist
  uint32_t iCountry = 0;   // ignored when there are no countries
};
struct VelCityInput {
  std::u16string strName;
  uint32_t iRegion = 0;      // ignored when there are no regions
  int32_t iPlaceObject = -1;  // the city's own object among the finest level's objects, or -1
};
// The category (type table entry) of an object kind and type in the object
// name index.
typedef uint16_t (*VelCategoryFn)(int nKind, uint16_t wType);
struct VelIndexInput {
  bool fCityIndex = false;  // also turns addresses on
  std::vector<std::u16string> countries;
  std::vector<VelRegionInput> regions;
  std::vector<VelCityInput> cities;
  std::vector<std::u16string> lists[3];  // postal codes, streets, house numbers
  bool fObjectIndex = false;  // every named object of the finest level
  VelCategoryFn pfnCategory = nullptr;  // null: every type is a category of its own
};

struct VelWriterOptions {
  bool fExtended = true;
  std::u16string strName;
  std::u16string strNotice;
  uint16_t wYear = 0;
  uint8_t btMonth = 0;
  uint8_t btDay = 0;
  uint32_t dwLocale = 0;
  std::string strTypeSet = "OSM";
  uint32_t dwLabelFlags = 0;
  uint16_t wScaleFirst = 28;
  uint16_t wScaleLast = 11;
  bool fSharedLabels = true;  // names used more than once are stored once
  int nCodeSet = 0;           // 0: chosen per label; 1 or 3: every label in that set
  uint32_t dwNodeCount = 0;   // road graph nodes (0 = none)
  std::vector<VelTurnRestriction> restrictions;  // maps with a road graph only
  std::vector<VelBarrierInput> barriers;          // maps with a road graph only
  std::vector<VelBorderKeyInput> borderKeys;      // maps with a road graph only (extended layout)
  // Per graph node, its id in the source data (0 = none): what a collection
  // of tiles makes its border keys from. Filled only when fKeepNodeKeys is
  // set before the conversion (the writer itself does not read it).
  bool fKeepNodeKeys = false;
  std::vector<uint64_t> nodeKeys;
  // The input is one part of a region cut with complete ways (osmium
  // extract): a road that leaves the map does so at every node, each a
  // graph node and a border key, so that the junctions the next part has
  // on the road are keys here too. Read by the conversion, not by the
  // writer.
  bool fPartOfRegion = false;
  bool fAddresses = false;
  bool fExtraAddressBit = false;
  bool fFixedWidthAddresses = false;  // address tables stored at a fixed width
  uint32_t dwCityIndexOffset = 0;     // written as is (only "there is one" matters to the reader)
  uint32_t cBlockCell = 1024;         // block grid cell, level units
  // Where the object data must end (the block headers address 24 bits);
  // smaller values let tests run out of room with small maps.
  uint32_t cbObjectDataLimit = 1u << 24;
  // The header's bounds are those of the finest level's objects; a tile of
  // a collection, whose objects may reach beyond it, limits them to its part.
  bool fClipBounds = false;
  MapRect rectClipBounds = {0, 0, 0, 0};
  VelIndexInput index;
};

struct VelWriterStats {
  uint32_t cObjects = 0;
  uint32_t cInlineLabels = 0;
  uint32_t cSharedLabels = 0;      // distinct shared texts
  uint32_t cSharedRefs = 0;
  uint32_t cCodeSet1 = 0;          // labels (texts) in code set 1
  uint32_t cCodeSet3 = 0;
  uint32_t cRecordsOnBoundary = 0;  // records whose bits fill whole bytes
  uint32_t cRecordsInsideByte = 0;
  uint32_t cDropped = 0;           // objects that could not be stored
  uint32_t cNodes = 0;             // road graph nodes written (with those added at cuts)
  uint32_t cCutNodes = 0;          // nodes added where a road had to be cut into pieces
  uint32_t cTurnsWritten = 0;
  uint32_t cTurnsDropped = 0;      // restrictions whose roads do not hold the node pieces
  uint32_t cAccessRoads = 0;       // records of the road access table
  uint32_t cBarriers = 0;
  uint32_t cBorderKeys = 0;        // records of the border key table
  uint32_t acBlocks[32] = {};
  uint32_t cbCityIndex = 0;        // bytes of the city index
  uint32_t cbObjectIndex = 0;      // bytes of the object name index
  uint32_t cIndexedObjects = 0;    // entries of the object name index
  uint32_t cCitiesWithPlace = 0;
  bool fTooLarge = false;          // the write failed: the objects do not fit the offsets
};

// The order in which the index sorts names (the reader's comparison: case
// is ignored): <0, 0, >0.
int CompareIndexNames(const std::u16string& a, const std::u16string& b);
// What the city index shows for a city: its name, then the long form of its
// region (the text after the first "|") and its country, each after ", "
// when not empty; at most 63 characters.
std::u16string CityDisplayName(const std::u16string& strCity, const std::u16string& strRegion,
                               const std::u16string& strCountry);

// Fills out with the file. False with a message when the map cannot be
// written (too large for the format's offsets: then pStats->fTooLarge).
bool WriteVelMap(const VelWriterOptions& options, const std::vector<VelLevelInput>& levels,
                 std::vector<uint8_t>& out, std::string& strError, VelWriterStats* pStats = nullptr);

// The same, for an input that is not needed afterwards: each object's
// points and node numbers are freed as soon as the writer has taken them
// in (the objects themselves stay, with their labels and addresses), so
// that a large map is not held twice. The bytes written are the same.
bool WriteVelMapConsuming(const VelWriterOptions& options, std::vector<VelLevelInput>& levels,
                          std::vector<uint8_t>& out, std::string& strError, VelWriterStats* pStats = nullptr);

// Gives memory that was freed back to the system where the C library
// keeps it (glibc holds freed small blocks that lie among live ones), once
// 64 MB more of it lies free than after the last time.
void ReleaseFreeMemory();

// The level-unit value of a map coordinate (rounded to the nearest unit).
int32_t ToLevelUnits(int32_t n, unsigned nShift);
