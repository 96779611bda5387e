// The reader of the program's own map files (*.vel): header, zoom levels,
// blocks of bit-packed objects, labels, and the Draw walk.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "map/MapParser.h"
#include "map/RoadNet.h"
#include "map/bits/BitStream.h"
#include "map/vel/detail/VelFormat.h"
#include "routing/search/RoadGraphReader.h"

class CRoadRouter;

// One decoded object record (the points are in the parser's point buffer).
struct VelRecord {
  int nKind;
  uint16_t wType;
  unsigned nLabelCode;    // 0 none, 1 or 3 inline, 2 shared
  uint32_t dwLabelRef;    // text reference: record or shared label offset; 0xFFFFFFFF = none
  size_t cLabel;          // characters kept in the label buffer
  uint32_t cPoints;
  bool fDirection;
  bool fHasNodes;
  bool fHasAttributes;
  uint16_t wRoadAttributes;
  uint32_t cNodes;        // points marked as nodes
  bool fHasAddress;
  bool fExtraAddressBit;
  uint32_t adwAddress[4];
  uint32_t dwOffset;      // offset of the record
};

// One record of the turn restriction table: arriving at node cNode from
// cFromNode along the road whose record lies at cFromRoad, a vehicle may not
// go on along the road at cToRoad towards cToNode. Roads are record offsets
// as VelRecord::dwOffset gives them.
struct VelTurnRecord {
  uint32_t cFromNode, cNode, cToNode;
  uint32_t cFromRoad, cToRoad;
};

// Derived per-level block information.
struct VelBlockInfo {
  vel::CVelBlock hdr;
  MapRect rect;           // map units
  uint32_t adwSectionOffset[3];  // areas, lines, points
  uint32_t adwSectionSize[3];
};

// A search hit: an object record with its block (results queries).
struct VelHit {
  uint32_t dwRecord;       // offset of the object record
  uint32_t dwBlockHeader;  // offset of its block's header
  int nKind;
  double fDistance2;       // weighted squared distance from the search point (0 without one)
  uint32_t nWalk;          // position in the walk
};

// The block that holds the object data at an offset (the offset-to-block
// map's answer).
struct VelBlockOf {
  uint32_t nLevel;
  uint32_t dwBlockHeader;
  int nKind;  // the section the offset lies in
};

// The header of the city index (at the city index offset).
struct VelCityIndexHeader {
  uint32_t dwCountriesOffset, dwCountriesNum;
  uint32_t dwRegionsOffset, dwRegionsNum;
  uint32_t dwCitiesOffset, dwCitiesNum;
  uint32_t adwLists[3][2];  // postal codes, streets, house numbers: offset, count
};
static_assert(sizeof(VelCityIndexHeader) == 48, "");

// The header of the object name index.
struct VelObjectIndexHeader {
  uint32_t dwBase;          // 0  added to every object reference
  uint32_t dwRefBits;       // 4
  uint32_t dwSubBits;       // 8
  uint32_t dwIndexOffset;   // 12
  uint32_t dwIndexNum;      // 16
  uint32_t dwTypesOffset;   // 20
  uint32_t dwReserved0;     // 24
  uint32_t dwTypeEntrySize; // 28
  uint32_t dwFirstType;     // 32
  uint32_t dwEndType;       // 36
  uint32_t adwReserved1[2]; // 40
  uint32_t dwCountBits;     // 48
};
static_assert(sizeof(VelObjectIndexHeader) == 52, "");
static_assert(offsetof(VelObjectIndexHeader, dwTypesOffset) == 20, "");
static_assert(offsetof(VelObjectIndexHeader, dwCountBits) == 48, "");

// The name lists of the city index.
const int c_nListZip = 0;
const int c_nListStreet = 1;
const int c_nListNumber = 2;

class CVelParser : public CMapParser, public IRoadGraphReader {
 public:
  explicit CVelParser(const MapOpenContext& ctx);
  ~CVelParser() override;

  bool Open(DWORD dwFlags) override;
  void Draw(CDrawSink* pContext, CLabelSink* pLabels) override;
  void GetLabel(int nViewOption, int nKind, uint16_t wType, uint32_t dwLabelOffset, char16_t* pszOut,
                int* pnFlag) override;
  void GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName, size_t cchName,
                      char16_t* pszNotice, size_t cchNotice) override;
  CStyleSource* GetDrawTypes() override;
  // Objects of one level within a radius of a point, nearest first.
  // Road route between two points (VelGraphReader.cpp).
  bool FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress) override;
  bool GetRoadNet(const RouteOptions& options, const MapProgress* pProgress, const RoadNet** ppNet) override;
  bool SnapToRoadNet(MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                     std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad) override;
  size_t GetRouteMemory() override;
  // The route search of this map (its graph is built by the first search);
  // null when the map has no road graph.
  CRoadRouter* GetRouter();
  CMapQuery* FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                         const MapTypeFilter* pFilter, const char16_t* pszName, const MapProgress* pProgress) override;

  // Searches over the indexes (VelSearch.cpp).
  CCitiesQuery* CreateCitiesQuery() override;
  bool HasObjectsIndex() override;
  bool FindObjectType(int nKind, uint16_t wType, uint16_t wSubCode) override;
  CMapQuery* CreateObjectsQuery(uint32_t nCity, int nKind, uint16_t wType, uint16_t wSubCode) override;
  bool HasCitiesIndex() override;
  // nCity c_nAnyCity lists addresses of every city.
  CMapQuery* FindByAddress(uint32_t nCity, const char16_t* pszZip, const char16_t* pszStreet,
                           const char16_t* pszNumber, const MapProgress* pProgress) override;
  static const uint32_t c_nAnyCity = 0xFFFFFFFFu;

  // The city index as far as it lies inside the file (counts cut to the
  // records that fit); all zero without one.
  const VelCityIndexHeader& GetCityIndex();
  // City item nIndex (flags: c_fofName... as for FoundObject; bit 1 also
  // decodes the city's place). False when the index lacks it.
  bool GetCity(uint32_t nIndex, CityItem* pItem, uint32_t dwFlags);
  // Item nIndex of a name list, normalised (at most 63 characters, control
  // characters dropped, 30 and 31 as spaces); the length, 0 when missing.
  size_t GetListItem(int nList, uint32_t nIndex, char16_t* pszBuf /*64*/);
  // The block, level and section of an object record offset; false when no
  // block's data holds it.
  bool FindBlockOf(uint32_t dwOffset, VelBlockOf& found);
  // Decodes the record at dwRecord of a block into a result record
  // (VelNearest.cpp). ptRef and fCosRef serve the nearest-point request.
  bool DecodeFound(uint32_t nLevel, uint32_t dwBlockHeader, int nKind, uint32_t dwRecord, FoundObject* pObject,
                   uint32_t dwFlags, MapPoint ptRef, double fCosRef);
  // Decodes the record at an offset known only by itself (index entries).
  // nKind: the kind the index gives, or -1 (then the section decides).
  bool DecodeFoundAt(uint32_t dwRecord, int nKind, FoundObject* pObject, uint32_t dwFlags, MapPoint ptRef,
                     double fCosRef);

  // State after Open.
  bool IsExtended() const { return m_fExtended; }
  bool IsGarminTypeSet() const { return m_fGarminTypeSet; }
  bool GetLabelStyleFlag() const { return m_fLabelStyle; }
  bool HasRoadGraph() const { return m_fHasRoadGraph; }
  uint32_t GetNodeIndexBits() const { return m_cNodeBits; }
  bool HasAddresses() const { return m_fHasAddresses; }
  bool HasExtraAddressBit() const { return m_fExtraAddressBit; }
  DWORD GetLocale() const { return m_dwLocale; }
  uint32_t GetLevelCount() const { return m_cLevels; }
  bool GetLevel(uint32_t nLevel, vel::VelLevel& level) const;
  // Level choice for a scale index: the last level whose code is at most
  // the scale's code, else level 0.
  uint32_t ChooseLevel(uint32_t nScaleIndex) const;
  uint32_t GetMaxPoints() const { return m_cMaxPoints; }
  uint32_t GetNodeCount() const { return m_hdr.dwNodeCount; }
  // Per point of the record last decoded: its road graph node, or -1 (no
  // node, or a node number at or past the node count).
  const int32_t* GetPointNodes() const { return m_pointNodes.data(); }
  // Decodes the turn restriction table. Records whose node numbers are not
  // below the node count or whose roads lie outside the file are left out
  // (counted in *pcDropped); the table is read only as far as the file
  // reaches (*pcDropped counts the records it cuts off too, *pcDamaged only
  // those read whole and refused). False when the map has none or the
  // table starts outside it.
  bool GetTurnTable(std::vector<VelTurnRecord>& turns, uint32_t* pcDropped = nullptr,
                    uint32_t* pcDamaged = nullptr) const;
  const vel::VelExtHeader& GetHeader() const { return m_hdr; }
  // The border key table: the number of its records (0: the map has none,
  // or the table does not lie inside the file) and record i (i below it).
  uint32_t GetBorderKeyCount() const;
  vel::VelBorderKey GetBorderKey(uint32_t i) const;
  const CHuffmanTable& GetTable(int iTable) const { return m_aTables[iTable]; }
  uint32_t GetFileSize() const { return m_cFileSize; }
  const uint8_t* GetData() const { return m_pData; }

  // Reads block nBlock of a level; false when it lies (partly) outside the
  // file, which ends the level's walk.
  bool ReadBlock(const uint8_t*& pBlock, VelBlockInfo& info) const;

  // Decodes every object of a level, kinds in the order areas, lines,
  // points. The callback gets the record, its points (map units) and label
  // text; returning false stops the walk. Returns false when a damaged
  // record stopped the walk early.
  typedef bool (*ObjectCallback)(void* pContext, const VelRecord& rec, const MapPoint* pPoints,
                                 const char16_t* pszLabel, uint32_t nLevel, const VelBlockInfo& block);
  bool ForEachObject(uint32_t nLevel, ObjectCallback pfn, void* pContext);

  // Decodes the label at an offset (2-bit code, then the text) into the
  // buffer (at most cchBuf - 1 characters kept). Returns the length kept,
  // or 0 when the offset is outside the file.
  size_t ReadLabelAt(uint32_t dwOffset, char16_t* pszBuf, size_t cchBuf) const;

  // The road graph as the route search reads it (VelGraphReader.cpp).
  uint32_t GetGraphNodeCount() override;
  MapRect GetGraphRect() override;
  double GetGridStep() override;
  bool ReadRoads(const MapRect* aWindows, size_t cWindows, CRoadVisitor& visitor) override;
  bool ReadRoad(uint32_t dwBlock, uint32_t dwRoad, GraphRoad& road) override;
  std::u16string GetRoadLabel(uint32_t dwBlock, uint32_t dwRoad) override;
  bool ReadTurnRestrictions(std::vector<TurnRestriction>& restrictions, uint32_t& cDropped) override;
  bool ReadBarriers(std::vector<std::pair<uint32_t, uint16_t>>& barriers) override;
  uint32_t GetGraphBorderKeyCount() override;
  bool GetGraphBorderKey(uint32_t i, uint32_t& nNode, uint64_t& qwKey) override;

 private:
  friend class CVelNearestQuery;
  friend class CVelObjectsQuery;

  bool ReadSecondHeader();
  bool LoadTables(DWORD dwFlags);
  // Reads one record; false when the section's walk must stop.
  bool ReadRecord(CBitStream& bs, int nKind, const VelBlockInfo& block, uint32_t nShift, bool fFinest,
                  VelRecord& rec, char16_t* pszLabel, size_t cchLabel);
  // fSkipRest: read the whole text even past the buffer (inline labels,
  // whose record goes on after it).
  size_t ReadText(CBitStream& bs, unsigned nCode, char16_t* pszBuf, size_t cchBuf, bool fSkipRest) const;
  void ResetWork();
  bool GetAccessTable(const uint8_t** ppRoads, const uint8_t** ppBarriers) const;
  // Reads the block header at dwBlockHeader of a level and the record at
  // dwRecord inside its section of the kind again (a search hit); the
  // points land in the point buffer, the raw label in the caller's buffer.
  bool RereadRecord(uint32_t nLevel, uint32_t dwBlockHeader, int nKind, uint32_t dwRecord, VelRecord& rec,
                    char16_t* pszLabel, size_t cchLabel);

  // The drawn objects of one section of a block, decoded: kept between
  // passes, so that a pass over the same view (or a view panned a little)
  // reads only the blocks it has not seen.
  struct DrawObject {
    MapRect box;          // the points' bounding box
    uint32_t dwLabelRef;  // text reference (c_dwNoLabel: none)
    uint32_t iPoint;      // into DrawSection::points
    uint32_t cPoints;
    uint32_t iLabel;      // the raw label in DrawSection::labels
    uint32_t cLabel;
    uint16_t wType;
    bool fDirection;
  };
  struct DrawSection {
    std::vector<DrawObject> objects;
    std::vector<MapPoint> points;
    std::vector<char16_t> labels;
    uint32_t nStamp = 0;  // the last pass that drew it
    size_t Bytes() const {
      return objects.size() * sizeof(DrawObject) + points.size() * sizeof(MapPoint) +
             labels.size() * sizeof(char16_t) + 64;
    }
  };
  // The decoded section of a block for this pass: from the cache, else read
  // (and kept when the cache has room). Never null.
  const DrawSection& GetDrawSection(int iSection, int nKind, uint32_t dwBlockHeader, const VelBlockInfo& block,
                                    uint32_t nShift, bool fFinest);
  void DecodeDrawSection(int nKind, const VelBlockInfo& block, uint32_t nShift, bool fFinest,
                         DrawSection& section);
  std::unordered_map<uint64_t, DrawSection> m_drawCache;  // key: block header offset × 4 + section
  size_t m_cbDrawCache = 0;
  uint32_t m_nDrawStamp = 0;
  DrawSection m_drawScratch;  // a section read while the cache is full

  const uint8_t* m_pEnd;
  vel::VelExtHeader m_hdr;  // the header record (legacy fields moved to their extended places)
  bool m_fExtended;
  bool m_fGarminTypeSet;
  bool m_fLabelStyle;
  bool m_fHasRoadGraph;
  uint32_t m_cNodeBits;
  bool m_fHasAddresses;
  bool m_fExtraAddressBit;
  DWORD m_dwLocale;
  uint32_t m_cLevels;
  uint32_t m_dwLabelArea;
  uint32_t m_cLabelRefBits;
  int32_t m_nXBias;
  int32_t m_nYBias;
  bool m_fLabelTables;
  bool m_fObjectTables;

  CHuffmanTable m_aTables[vel::vtCount];
  CCodedValueTable m_aAddressTables[vel::c_cAddressTables];
  uint32_t m_cMaxPoints;
  std::vector<MapPoint> m_mapPoints;
  std::vector<int32_t> m_pointNodes;
  std::vector<VPoint> m_screenPoints;
  std::vector<char16_t> m_label;
  // The road ReadRoad read last: its label reference and type, so that the
  // label asked for next (route assembly asks for both) needs no new read.
  struct LastRoad {
    uint32_t dwBlock = 0, dwRoad = 0, dwLabelRef = 0;
    uint16_t wType = 0;
    bool fValid = false;
  } m_lastRoad;
  CStyleSource* m_pDrawTypes;
  std::unique_ptr<CRoadRouter> m_pRouter;  // the road graph, built by the first route search
  std::unique_ptr<RoadNet> m_pRoadNet;  // its view for searches over several maps
  // The nearest search's grid of one level (VelNearest.cpp): every
  // record's bounding box, type and place in the walk, bucketed by a
  // uniform grid over the level, so that a search rereads only the records
  // whose box meets its rectangle. Built by the first search of the level.
  struct NearestRecord {
    MapRect box;
    uint32_t dwRecord;
    uint32_t dwBlockHeader;
    uint32_t nBlock;   // index into blockRects
    uint32_t nOrder;   // place in the walk (blocks, then areas, lines, points)
    uint16_t wType;
    uint8_t nKind;
    uint32_t nStamp;   // the last search that looked at it
    uint32_t iPoint;   // its points in NearestGrid::points (lines and areas)
    uint32_t cPoints;  // 0: not kept, read again from the file
  };
  struct NearestGrid {
    bool fBuilt = false;
    bool fUsable = false;
    MapRect rect{0, 0, 0, 0};
    uint32_t cCols = 0, cRows = 0;
    int64_t cxCell = 1, cyCell = 1;
    std::vector<NearestRecord> records;
    std::vector<MapRect> blockRects;
    std::vector<uint32_t> cellStart;  // cCols * cRows + 1
    std::vector<uint32_t> cellItems;
    std::vector<uint32_t> large;      // records spanning many cells, looked at by every search
    std::vector<MapPoint> points;     // decoded points of lines and areas, up to a limit
    uint32_t nStamp = 0;
  };
  void BuildNearestGrid(uint32_t nLevel, NearestGrid& grid);
  std::vector<NearestGrid> m_nearestGrids;
  // Search state (VelSearch.cpp).
  bool ReadObjectIndex();
  void FillAddress(const VelRecord& rec, FoundObject* pObject, uint32_t dwFlags);
  // Reads label and type of the record at an offset (name-only requests).
  bool ReadRecordHead(uint32_t dwRecord, int nKind, uint16_t* pwType, char16_t* pszLabel, size_t cchLabel,
                      size_t* pcLabel);
  // The type table entry of a type code, or -1.
  int64_t FindTypeEntry(uint16_t wType);
  bool m_fCityIndexRead = false;
  VelCityIndexHeader m_cityIndex{};  // counts cut to the records inside the file
  uint32_t m_cCountryBits = 0;       // record field widths (from the stored counts)
  uint32_t m_cRegionBits = 0;
  bool m_fObjectIndexRead = false;
  bool m_fObjectIndexValid = false;
  VelObjectIndexHeader m_objIndex{};
  // Offset-to-block map: the blocks of all levels sorted by data offset.
  struct OffsetBlock {
    uint32_t dwData;     // first byte of the block's data
    uint32_t adwEnd[3];  // end of its area, line and point sections
    uint32_t dwHeader;
    uint32_t nLevel;
  };
  bool m_fOffsetMapBuilt = false;
  std::vector<OffsetBlock> m_offsetBlocks;
  // The last city decoded.
  bool m_fCityCached = false;
  uint32_t m_nCachedCity = 0;
  uint32_t m_dwCachedCityFlags = 0;
  CityItem m_cachedCity{};
  mutable uint64_t m_cWork = 0;  // points and characters decoded by the current walk
  uint64_t m_cWorkLimit = 0;
};

// A block's rectangle in map units (level units shifted left by nShift,
// clamped to the 32-bit range).
MapRect VelBlockRect(const vel::CVelBlock& hdr, uint32_t nShift);

CMapParser* CreateVelParser(const MapOpenContext& ctx);
// A results query over hits of one level (VelNearest.cpp); owned by the caller.
CMapQuery* CreateVelHitsQuery(CVelParser* pParser, uint32_t nLevel, std::vector<VelHit>&& hits, MapPoint ptRef);
