// The reader of a map collection: a folder of native maps described by its
// Index.vidx. It owns no map data of its own; it opens the members it needs,
// draws those whose scale range best fits the view and runs the searches
// over the members.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "map/vidx/VidxFormat.h"
#include "routing/search/CrossingSearch.h"

// One member as the index records it.
struct VidxMember {
  std::u16string strFileName;
  uint32_t dwWriteTime;
  MapRect rect;  // map units
  uint16_t wScaleFirst;
  uint16_t wScaleLast;
  uint64_t cbFile;  // the member's size when indexed (0: the index does not say)
};

// One entry of the merged city list.
struct VidxCityEntry {
  uint32_t nMap;
  uint32_t nCity;  // index in the member's own city list
  bool fDuplicate;
};

class CVidxParser : public CMapParser, private ICrossingMembers {
 public:
  explicit CVidxParser(const MapOpenContext& ctx);
  ~CVidxParser() override;

  void GetFileName(char16_t* pszBuf) override;
  bool Open(DWORD dwFlags) override;
  void Draw(CDrawSink* pContext, CLabelSink* pLabels) override;
  void GetLabel(int nViewOption, int nKind, uint16_t wType, uint32_t dwLabelOffset, char16_t* pszOut,
                int* pnFlag) override;
  void GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName, size_t cchName,
                      char16_t* pszNotice, size_t cchNotice) override;
  CStyleSource* GetDrawTypes() override;
  CCitiesQuery* CreateCitiesQuery() override;
  bool HasObjectsIndex() override;
  bool FindObjectType(int nKind, uint16_t wType, uint16_t wSubCode) override;
  CMapQuery* CreateObjectsQuery(uint32_t nCity, int nKind, uint16_t wType, uint16_t wSubCode) override;
  bool HasCitiesIndex() override;
  CMapQuery* FindByAddress(uint32_t nCity, const char16_t* pszZip, const char16_t* pszStreet,
                           const char16_t* pszNumber, const MapProgress* pProgress) override;
  CMapQuery* FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                         const MapTypeFilter* pFilter, const char16_t* pszName, const MapProgress* pProgress) override;
  // A route over the members: a search over their road graphs, joined
  // where their border keys are equal, finds the members the route runs
  // through and the nodes where it crosses from one to the next; each
  // member's own search then drives its leg, and the legs join into one
  // route (a road that merely goes on into the next member gives no
  // maneuver there). Members are opened as the search reaches them. A
  // collection whose members have no road graph views routes only between
  // points of one member (the first in record order that holds both).
  bool FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress) override;
  // The member that routed the last leg (its road graph stays built), or -1.
  int GetRouteMember() const { return m_nRouteMap; }
  // Members opened for routes (their graphs stay built for the next one).
  uint32_t GetRouteMembersOpen() const;
  // The bytes the members opened for routes may hold for them (graphs,
  // views, search arrays) once a route is done: past it the members the
  // route did not use are closed, the longest unused first (0: no bound).
  void SetRouteMemoryLimit(size_t cb) { m_cbRouteLimit = cb; }
  // The bytes they hold now.
  size_t GetRouteMemory() override;
  struct CollectionRouteStats {
    uint32_t cMembersSearched = 0;  // members whose graphs the last search reached
    uint32_t cLegs = 0;
    uint64_t cPopped = 0;
    size_t cbGraphs = 0;            // bytes of the graph views it used
    uint32_t cMembersClosed = 0;    // members closed after it to keep within the bound
  };
  const CollectionRouteStats& GetRouteStats() const { return m_routeStats; }
  // The first member, in record order, whose rectangle holds the point; -1
  // when none does.
  virtual int FindMapAt(MapPoint pt);

  uint32_t GetMapCount() const { return m_cMaps; }
  // The member record i (i < GetMapCount()).
  VidxMember GetMember(uint32_t i) const;
  std::u16string GetMemberPath(uint32_t i) const;
  // The member's file is not the one indexed: its size or write time differ
  // from what the index recorded (a missing member is not "replaced").
  bool IsMemberReplaced(uint32_t i) const;
  const vidx::VidxHeader& GetHeader() const { return m_hdr; }
  // The merged city list (loaded on first use); empty without a city part.
  const std::vector<VidxCityEntry>& GetCityEntries();
  // Positions in GetCityEntries() of the entries that start a name group.
  const std::vector<uint32_t>& GetCityGroups();
  // Members open in the drawing cache (the members drawn last).
  std::vector<uint32_t> GetCachedMembers() const;
  // The member drawn last, or -1.
  int GetShownMember() const { return m_nShown; }
  DWORD GetLocale() const;

  // A member opened for the city look-ups (at most five stay open); null
  // when it cannot be opened. Owned by the parser.
  CMapParser* GetCityMember(uint32_t nMap, CCitiesQuery** ppCities);

 private:
  // The members as the search across them reads them.
  uint32_t GetMemberCount() override;
  MapRect GetMemberBounds(uint32_t m) override;
  const RoadNet* GetMemberNet(uint32_t m, const RouteOptions& options, const MapProgress* pProgress) override;
  bool SnapToMember(uint32_t m, MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                    std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad) override;

  struct CacheEntry {
    uint32_t nMap;
    std::unique_ptr<CMapParser> pParser;  // none while not opened
    uint32_t nFit;
    bool fInUse;
  };
  struct CityMember {
    uint32_t nMap;
    std::unique_ptr<CMapParser> pParser;
    std::unique_ptr<CCitiesQuery> pCities;  // goes before the member it reads
    uint64_t nLastUse;
  };

  const vidx::VidxMapRecord* RecordAt(uint32_t i, vidx::VidxMapRecord& rec) const;
  CMapParser* RouteMember(uint32_t i);
  void LoadCities();
  // The members of the name group of a city (its entry and the duplicates).
  std::vector<VidxCityEntry> CityGroup(uint32_t nCity);

  vidx::VidxHeader m_hdr;
  const uint8_t* m_pMaps;
  uint32_t m_cbRecord;
  uint32_t m_cMaps;
  std::u16string m_strFolder;
  std::vector<CacheEntry> m_vecMapsCache;
  uint32_t m_cCacheSize;
  int m_nShown;
  bool m_fCitiesLoaded;
  std::vector<VidxCityEntry> m_cityEntries;
  std::vector<uint32_t> m_cityGroups;
  std::vector<CityMember> m_cityMembers;
  uint64_t m_nCityUse;
  std::unique_ptr<CStyleSource> m_pDrawTypes;
  // The members opened for routes, kept for the next one.
  int m_nRouteMap;
  std::vector<std::unique_ptr<CMapParser>> m_routeMembers;
  uint32_t m_cRouteOpened = 0;
  CollectionRouteStats m_routeStats;
  CrossingScratch m_crossScratch;  // lent to the search across the members
  std::vector<uint64_t> m_routeUse;  // per member: the route that last used it
  uint64_t m_nRoute = 0;             // routes asked for so far
  size_t m_cbRouteLimit = size_t(192) << 20;
  // Closes members the route just done did not use while the members open
  // for routes hold more than the limit.
  void KeepRouteMemoryBound();
  bool FindRouteInMembers(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress);
};

// The parser of an index, or null when the format list gives the file to
// another reader.
CVidxParser* AsVidxParser(CMapParser* pParser);
