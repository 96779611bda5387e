// The reader of the program's own map files (*.vel): header, zoom levels,
// blocks of bit-packed objects, labels, and the Draw walk.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "map/MapParser.h"
#include "map/bits/BitStream.h"
#include "map/vel/detail/VelFormat.h"

class CVelRouter;

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

// Derived per-level block information.
struct VelBlockInfo {
  vel::CVelBlock hdr;
  MapRect rect;           // map units
  uint32_t adwSectionOffset[3];  // areas, lines, points
  uint32_t adwSectionSize[3];
};

class CVelParser : public CMapParser {
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
  // Road route between two points (VelRouter.cpp).
  bool FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress) override;
  // The road graph of the last route search (built on the first), or null.
  CVelRouter* GetRouter() const { return m_pRouter; }
  CMapQuery* FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                         const MapTypeFilter* pFilter, const char16_t* pszName, const MapProgress* pProgress) override;

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
  const vel::VelExtHeader& GetHeader() const { return m_hdr; }
  const CHuffmanTable& GetTable(int iTable) const { return m_aTables[iTable]; }
  uint32_t GetFileSize() const { return m_cFileSize; }
  const uint8_t* GetData() const { return m_pData; }

  // Inside an ObjectCallback on a road of the finest level: the graph node
  // of each point, -1 = none (valid only when the record has nodes).
  const int32_t* GetPointNodes() const { return m_pointNodes.data(); }

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

 private:
  friend class CVelNearestQuery;
  friend class CVelRouter;

  bool ReadSecondHeader();
  bool LoadTables(DWORD dwFlags);
  // Reads one record; false when the section's walk must stop.
  bool ReadRecord(CBitStream& bs, int nKind, const VelBlockInfo& block, uint32_t nShift, bool fFinest,
                  VelRecord& rec, char16_t* pszLabel, size_t cchLabel);
  // fSkipRest: read the whole text even past the buffer (inline labels,
  // whose record goes on after it).
  size_t ReadText(CBitStream& bs, unsigned nCode, char16_t* pszBuf, size_t cchBuf, bool fSkipRest) const;
  void ResetWork();
  // Reads the block header at dwBlockHeader of a level and the record at
  // dwRecord inside its section of the kind again (a search hit); the
  // points land in the point buffer, the raw label in the caller's buffer.
  bool RereadRecord(uint32_t nLevel, uint32_t dwBlockHeader, int nKind, uint32_t dwRecord, VelRecord& rec,
                    char16_t* pszLabel, size_t cchLabel);

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
  std::vector<VPoint> m_screenPoints;
  std::vector<int32_t> m_pointNodes;  // per decoded point of a road: its graph node, -1 = none
  std::vector<char16_t> m_label;
  CStyleSource* m_pDrawTypes;
  CVelRouter* m_pRouter = nullptr;  // the road graph, built by the first route search
  mutable uint64_t m_cWork = 0;  // points and characters decoded by the current walk
  uint64_t m_cWorkLimit = 0;
};

// A block's rectangle in map units (level units shifted left by nShift,
// clamped to the 32-bit range).
MapRect VelBlockRect(const vel::CVelBlock& hdr, uint32_t nShift);

CMapParser* CreateVelParser(const MapOpenContext& ctx);
