// The search across the maps of a collection: it decides which members a
// route runs through and where it crosses from one into the next; each
// member's own search then drives its leg.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "map/MapParser.h"
#include "map/RoadNet.h"
#include "map/RouteOptions.h"

// The maps a route may cross between, as the search reads them.
class ICrossingMembers {
 public:
  virtual ~ICrossingMembers() = default;
  virtual uint32_t GetMemberCount() = 0;
  // The member's rectangle (map units).
  virtual MapRect GetMemberBounds(uint32_t m) = 0;
  // The member's road graph view under the options, the member opened and
  // its graph built when first asked (pProgress: the bar meanwhile); null
  // when it has none.
  virtual const RoadNet* GetMemberNet(uint32_t m, const RouteOptions& options, const MapProgress* pProgress) = 0;
  // The nodes of the road the point snaps to in the member, with their
  // lengths along it, and the point's distance from it
  // (CMapParser::SnapToRoadNet).
  virtual bool SnapToMember(uint32_t m, MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                            std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad) = 0;
};

// Where a route crosses from member nFrom into member nTo.
struct RouteCrossing {
  MapPoint pt;
  uint32_t nFrom;
  uint32_t nTo;
  uint32_t cWays;  // roads meeting at the crossing node (both members' together)
};

struct CrossingSearchResult {
  std::vector<RouteCrossing> crossings;  // from the start
  uint32_t nFirstMember = 0;             // the member where the path starts
  // The views were there: no route found then means that none exists.
  bool fHandled = false;
  uint32_t cMembersSearched = 0;         // members whose graphs the search reached
  uint64_t cPopped = 0;
  size_t cbGraphs = 0;                   // bytes of the graph views it used
};

// A least-cost search over the road graph views of the members, one state
// per (member, node, stage), joined at equal border keys (a key node of one
// member leads at no cost to the node of the same key in every member whose
// rectangle holds it). As in a member's own search, the roads kept to a
// route's ends are driven only as a run from the start (stage 0) and a run
// to the destination (stage 2), the rest (stage 1) on other roads.
// Goal-directed by the straight distance at the cheapest rate of any road.
// Members are opened when the search reaches them. False when no route
// was found or the user cancelled.
// The per-state arrays of the search, one pair per member: lent by the
// owner of the members to one search at a time and given back with every
// state unreached again, so that the next search neither clears nor faults
// in arrays the size of the members' graphs.
struct CrossingScratch {
  std::vector<std::vector<float>> dists;
  std::vector<std::vector<int64_t>> preds;
  std::vector<std::pair<uint32_t, uint32_t>> touched;  // (member, state) reached
  size_t Bytes() const {
    size_t cb = touched.capacity() * 8;
    for (const auto& v : dists) cb += v.capacity() * 4;
    for (const auto& v : preds) cb += v.capacity() * 8;
    return cb;
  }
};

class CCrossingSearch {
 public:
  // pScratch: the arrays to use (null: the search's own).
  CCrossingSearch(ICrossingMembers& members, const RouteOptions& options, const MapProgress* pProgress,
                  CrossingScratch* pScratch = nullptr)
      : m_members(members), m_options(options), m_pProgress(pProgress), m_pScratch(pScratch) {}
  CCrossingSearch(const CCrossingSearch&) = delete;
  CCrossingSearch& operator=(const CCrossingSearch&) = delete;

  // From ptStart in member nStart to ptEnd in member nEnd.
  bool Find(MapPoint ptStart, MapPoint ptEnd, uint32_t nStart, uint32_t nEnd, CrossingSearchResult& result);

 private:
  ICrossingMembers& m_members;
  const RouteOptions& m_options;
  const MapProgress* m_pProgress;
  CrossingScratch* m_pScratch;
  CrossingScratch m_ownScratch;
};
