#include "map/vidx/VidxParser.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <queue>
#include <set>

#include "map/MapDescription.h"
#include "map/RoadNet.h"
#include "map/RouteOptions.h"
#include "map/bits/BitStream.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "platform/SystemError.h"
#include "routing/search/CrossingSearch.h"
#include "view/MapUnits.h"

using namespace vidx;

namespace {

// The user's default locale where the index names none.
const DWORD c_dwDefaultLocale = 1049;
const uint32_t c_nNoFit = 0xFFFFFFFFu;
// Members kept open for the city look-ups.
const size_t c_cCityMembers = 5;
const double c_fPi = 3.14159265358979323846;

CMapParser* CreateVidxParser(const MapOpenContext& ctx) { return new CVidxParser(ctx); }
MapFactorySetter s_factory(g_mfeVidx, CreateVidxParser);

int32_t Clamp32(int64_t v) { return int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); }

MapRect MemberRect(const VidxMapRecord& rec) {
  return MapRect{HalveMin(rec.nLeft2), HalveMin(rec.nTop2), HalveMax(rec.nRight2), HalveMax(rec.nBottom2)};
}

// A member name from the index must name a file of the folder itself.
bool IsPlainFileName(const std::u16string& str) {
  if (str.empty() || str == u"." || str == u"..") return false;
  for (char16_t ch : str)
    if (ch == u'/' || ch == u'\\' || ch == u':') return false;
  return true;
}

MapProgress ShareOf(const MapProgress* pProgress, size_t k, size_t n) {
  MapProgress share{0, 0, nullptr, nullptr, nullptr};
  if (!pProgress) return share;
  share = *pProgress;
  const int64_t nRange = int64_t(pProgress->nTo) - pProgress->nFrom;
  share.nFrom = int32_t(pProgress->nFrom + nRange * int64_t(k) / int64_t(n));
  share.nTo = int32_t(pProgress->nFrom + nRange * int64_t(k + 1) / int64_t(n));
  return share;
}

// ---------------------------------------------------------------------------
// Results gathered from several members

class CVidxResultsQuery : public CMapQuery {
 public:
  struct Part {
    std::unique_ptr<CMapParser> pMember;
    std::unique_ptr<CMapQuery> pQuery;  // goes before the member it reads
    uint32_t nFirst;                    // index of its first item in member order
  };

  CVidxResultsQuery(DWORD dwLocale) : m_dwLocale(dwLocale), m_cItems(0), m_fNameOrder(false) {}

  void Add(std::unique_ptr<CMapParser> pMember, std::unique_ptr<CMapQuery> pQuery) {
    const uint32_t c = pQuery->GetCount();
    m_parts.push_back(Part{std::move(pMember), std::move(pQuery), m_cItems});
    m_cItems += c;
  }
  bool IsEmpty() const { return m_parts.empty(); }

  // Orders the items by name across the members (each member's own order
  // is already by name; the sort is stable, so equal names keep member
  // order).
  void SortByName() {
    struct Named {
      std::u16string strName;
      uint32_t nPart, nItem;
    };
    std::vector<Named> items;
    items.reserve(m_cItems);
    for (uint32_t p = 0; p < m_parts.size(); ++p) {
      const uint32_t c = m_parts[p].pQuery->GetCount();
      for (uint32_t i = 0; i < c; ++i) {
        FoundObject obj;
        std::memset(&obj, 0, sizeof obj);
        m_parts[p].pQuery->GetItem(i, &obj, c_fofName);
        obj.szName[63] = 0;
        items.push_back(Named{obj.szName, p, i});
      }
    }
    const DWORD dwLocale = m_dwLocale;
    std::stable_sort(items.begin(), items.end(), [dwLocale](const Named& a, const Named& b) {
      return CompareNamesNoCase(dwLocale, a.strName.data(), a.strName.size(), b.strName.data(), b.strName.size()) < 0;
    });
    m_order.clear();
    m_names.clear();
    for (Named& n : items) {
      m_order.push_back({n.nPart, n.nItem});
      m_names.push_back(std::move(n.strName));
    }
    m_fNameOrder = true;
  }

  DWORD GetLocale() override { return m_dwLocale; }
  uint32_t GetCount() override { return m_cItems; }

  bool GetItem(uint32_t nIndex, FoundObject* pObject, uint32_t dwFlags) override {
    if (nIndex >= m_cItems || !pObject) return false;
    if (m_fNameOrder) {
      const auto& at = m_order[nIndex];
      return m_parts[at.first].pQuery->GetItem(at.second, pObject, dwFlags);
    }
    // The last part whose first item is at or before the index.
    size_t a = 0, b = m_parts.size();
    while (b - a > 1) {
      size_t m = (a + b) / 2;
      if (m_parts[m].nFirst <= nIndex) a = m;
      else b = m;
    }
    return m_parts[a].pQuery->GetItem(nIndex - m_parts[a].nFirst, pObject, dwFlags);
  }

  uint32_t FindByName(const char16_t* pszText) override {
    if (!pszText) return 0;
    // Items of one member keep that member's order (by name for a city's
    // objects), which its own query searches.
    if (!m_fNameOrder) return m_parts.size() == 1 ? m_parts[0].pQuery->FindByName(pszText) : 0;
    const size_t n = platform::StrLen(pszText);
    // The first item whose name, cut to the text's length, does not sort
    // before the text.
    size_t a = 0, b = m_names.size();
    while (a < b) {
      size_t m = (a + b) / 2;
      const std::u16string& str = m_names[m];
      if (CompareNamesNoCase(m_dwLocale, str.data(), std::min(str.size(), n), pszText, n) < 0) a = m + 1;
      else b = m;
    }
    return uint32_t(a < m_names.size() ? a : (m_names.empty() ? 0 : m_names.size() - 1));
  }

  void SetReference(MapPoint pt) override {
    for (Part& part : m_parts) part.pQuery->SetReference(pt);
  }

 private:
  DWORD m_dwLocale;
  std::vector<Part> m_parts;
  uint32_t m_cItems;
  bool m_fNameOrder;
  std::vector<std::pair<uint32_t, uint32_t>> m_order;
  std::vector<std::u16string> m_names;
};

// ---------------------------------------------------------------------------
// The merged city list

class CVidxCitiesQuery : public CCitiesQuery {
 public:
  explicit CVidxCitiesQuery(CVidxParser* pParser) : m_pParser(pParser) {}
  DWORD GetLocale() override { return m_pParser->GetLocale(); }
  uint32_t GetCount() override { return uint32_t(m_pParser->GetCityGroups().size()); }
  bool GetItem(uint32_t nIndex, CityItem* pItem, uint32_t dwFlags) override {
    const std::vector<uint32_t>& groups = m_pParser->GetCityGroups();
    if (nIndex >= groups.size() || !pItem) return false;
    const VidxCityEntry& e = m_pParser->GetCityEntries()[groups[nIndex]];
    CCitiesQuery* pCities = nullptr;
    if (!m_pParser->GetCityMember(e.nMap, &pCities) || !pCities) return false;
    if (e.nCity >= pCities->GetCount()) return false;
    return pCities->GetItem(e.nCity, pItem, dwFlags);
  }

 private:
  CVidxParser* m_pParser;
};

}  // namespace

CVidxParser* AsVidxParser(CMapParser* pParser) {
  if (!pParser) return nullptr;
  CMappedFile file;
  const uint8_t* p = file.Open(pParser->GetPath());
  return p && ProbeVidxFile(p, file.GetSize()) ? static_cast<CVidxParser*>(pParser) : nullptr;
}

// ---------------------------------------------------------------------------
// The About-map page lists a collection's members. The core is built without
// RTTI, so the collections alive are known by their addresses.

namespace {

std::mutex g_liveLock;
std::set<const CMapParser*>& LiveCollections() {
  static std::set<const CMapParser*> s_live;
  return s_live;
}

bool CollectionMembers(CMapParser* pParser, std::vector<CollectionMember>* pMembers) {
  {
    std::lock_guard<std::mutex> lock(g_liveLock);
    if (LiveCollections().count(pParser) == 0) return false;
  }
  CVidxParser* pIndex = static_cast<CVidxParser*>(pParser);
  if (pMembers) {
    pMembers->clear();
    for (uint32_t i = 0; i < pIndex->GetMapCount(); ++i) {
      CollectionMember m;
      m.strName = pIndex->GetMember(i).strFileName;
      m.fMissing = !platform::FileExists(pIndex->GetMemberPath(i).c_str());
      m.fReplaced = !m.fMissing && pIndex->IsMemberReplaced(i);
      pMembers->push_back(std::move(m));
    }
  }
  return true;
}

[[maybe_unused]] const bool g_fMembersProcInstalled = (SetCollectionMembersProc(CollectionMembers), true);

}  // namespace

// ---------------------------------------------------------------------------
// Open

CVidxParser::CVidxParser(const MapOpenContext& ctx)
    : CMapParser(ctx),
      m_hdr{},
      m_pMaps(nullptr),
      m_cbRecord(sizeof(VidxMapRecord)),
      m_cMaps(0),
      m_cCacheSize(0),
      m_nShown(-1),
      m_fCitiesLoaded(false),
      m_nCityUse(0),
      m_nRouteMap(-1) {
  std::lock_guard<std::mutex> lock(g_liveLock);
  LiveCollections().insert(this);
}

CVidxParser::~CVidxParser() {
  {
    std::lock_guard<std::mutex> lock(g_liveLock);
    LiveCollections().erase(this);
  }
}

bool CVidxParser::Open(DWORD) {
  if (!m_pData || m_cFileSize < sizeof(VidxHeader)) return false;
  std::memcpy(&m_hdr, m_pData, sizeof m_hdr);
  if (std::memcmp(m_hdr.achMagic, c_achMagic, 4) != 0 || m_hdr.wVersion > c_wVersionWithCities) return false;
  if (m_hdr.cbHeader < sizeof(VidxHeader) || m_hdr.cbRecord < sizeof(VidxMapRecord)) return false;
  m_cbRecord = m_hdr.cbRecord;
  // The records end at the city part, or at the end of the file without one.
  uint32_t dwEnd = m_cFileSize;
  const uint32_t dwCityPart = m_hdr.dwCityPart & c_dwCityPartMask;
  if (dwCityPart && dwCityPart < dwEnd) dwEnd = dwCityPart;
  m_cMaps = dwEnd > m_hdr.cbHeader ? (dwEnd - m_hdr.cbHeader) / m_cbRecord : 0;
  m_pMaps = m_pData + m_hdr.cbHeader;
  m_rect = MapRect{HalveMin(m_hdr.nLeft2), HalveMin(m_hdr.nTop2), HalveMax(m_hdr.nRight2), HalveMax(m_hdr.nBottom2)};
  m_nScaleFirst = 0;
  m_nScaleLast = 0;
  for (uint32_t i = 0; i < m_cMaps; ++i) {
    VidxMapRecord rec;
    RecordAt(i, rec);
    const uint32_t nFirst = ScaleCodeToIndex(rec.wScaleFirst), nLast = ScaleCodeToIndex(rec.wScaleLast);
    if (i == 0 || nFirst < m_nScaleFirst) m_nScaleFirst = nFirst;
    if (i == 0 || nLast > m_nScaleLast) m_nScaleLast = nLast;
  }
  // The folder part of the index path, separator included.
  std::u16string strPath = m_szPath;
  size_t iSep = strPath.find_last_of(u"/\\");
  m_strFolder = iSep == std::u16string::npos ? std::u16string() : strPath.substr(0, iSep + 1);
  return true;
}

const VidxMapRecord* CVidxParser::RecordAt(uint32_t i, VidxMapRecord& rec) const {
  ASSERT(i < m_cMaps);
  std::memcpy(&rec, m_pMaps + size_t(i) * m_cbRecord, sizeof rec);
  return &rec;
}

VidxMember CVidxParser::GetMember(uint32_t i) const {
  VidxMapRecord rec;
  RecordAt(i, rec);
  VidxMember m;
  size_t c = 0;
  while (c < c_cchMemberName && rec.szFileName[c]) ++c;
  m.strFileName.assign(rec.szFileName, c);
  m.dwWriteTime = rec.dwWriteTime;
  m.rect = MemberRect(rec);
  m.wScaleFirst = rec.wScaleFirst;
  m.wScaleLast = rec.wScaleLast;
  m.cbFile = 0;
  if (m_cbRecord >= c_cbRecordWithSize) {
    VidxMapRecordTail tail;
    std::memcpy(&tail, m_pMaps + size_t(i) * m_cbRecord + sizeof(VidxMapRecord), sizeof tail);
    m.cbFile = tail.cbFile;
  }
  return m;
}

bool CVidxParser::IsMemberReplaced(uint32_t i) const {
  const VidxMember m = GetMember(i);
  const std::u16string strPath = m_strFolder + m.strFileName;
  uint64_t cb = 0, ft = 0;
  if (!platform::GetFileSizeOf(strPath.c_str(), cb) || !platform::GetFileWriteTime(strPath.c_str(), ft)) return false;
  return (m.cbFile && cb != m.cbFile) || uint32_t(ft) + uint32_t(ft >> 32) != m.dwWriteTime;
}

std::u16string CVidxParser::GetMemberPath(uint32_t i) const { return m_strFolder + GetMember(i).strFileName; }

DWORD CVidxParser::GetLocale() const { return m_hdr.dwLocale ? DWORD(m_hdr.dwLocale) : c_dwDefaultLocale; }

int CVidxParser::FindMapAt(MapPoint pt) {
  for (uint32_t i = 0; i < m_cMaps; ++i) {
    VidxMapRecord rec;
    if (MemberRect(*RecordAt(i, rec)).Contains(pt)) return int(i);
  }
  return -1;
}

// Opens a member silently; null when its name or file is unusable.
static CMapParser* OpenMember(const std::u16string& strName, const std::u16string& strPath, uint32_t* pidsError) {
  if (!IsPlainFileName(strName)) {
    if (pidsError) *pidsError = c_idsCannotReadFile;
    return nullptr;
  }
  return OpenMapFileEx(strPath.c_str(), false, c_fOpenAll, pidsError);
}

// ---------------------------------------------------------------------------
// Route

CMapParser* CVidxParser::RouteMember(uint32_t i) {
  if (i >= m_cMaps) return nullptr;
  if (m_routeMembers.size() != m_cMaps) m_routeMembers.resize(m_cMaps);
  if (m_routeUse.size() != m_cMaps) m_routeUse.resize(m_cMaps, 0);
  m_routeUse[i] = m_nRoute;
  if (!m_routeMembers[i]) {
    m_routeMembers[i].reset(OpenMember(GetMember(i).strFileName, GetMemberPath(i), nullptr));
    if (m_routeMembers[i]) ++m_cRouteOpened;
  }
  return m_routeMembers[i].get();
}

uint32_t CVidxParser::GetMemberCount() { return m_cMaps; }

MapRect CVidxParser::GetMemberBounds(uint32_t m) {
  VidxMapRecord rec;
  const VidxMapRecord* p = m < m_cMaps ? RecordAt(m, rec) : nullptr;
  return p ? MemberRect(*p) : MapRect{0, 0, 0, 0};
}

const RoadNet* CVidxParser::GetMemberNet(uint32_t m, const RouteOptions& options, const MapProgress* pProgress) {
  CMapParser* pMember = RouteMember(m);
  const RoadNet* pNet = nullptr;
  if (!pMember || !pMember->GetRoadNet(options, pProgress, &pNet)) return nullptr;
  return pNet;
}

bool CVidxParser::SnapToMember(uint32_t m, MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                               std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad) {
  CMapParser* pMember = RouteMember(m);
  if (!pMember) {
    nodes.clear();
    return false;
  }
  return pMember->SnapToRoadNet(pt, fDestination, fNext, options, nodes, pfOffRoad);
}

size_t CVidxParser::GetRouteMemory() {
  size_t cb = m_crossScratch.Bytes();
  for (const std::unique_ptr<CMapParser>& p : m_routeMembers)
    if (p) cb += p->GetRouteMemory();
  return cb;
}

void CVidxParser::KeepRouteMemoryBound() {
  if (!m_cbRouteLimit) return;
  for (;;) {
    if (GetRouteMemory() <= m_cbRouteLimit) return;
    // The member the longest unused, of those this route did not use.
    int nOldest = -1;
    for (size_t i = 0; i < m_routeMembers.size(); ++i)
      if (m_routeMembers[i] && m_routeUse[i] < m_nRoute && (nOldest < 0 || m_routeUse[i] < m_routeUse[size_t(nOldest)]))
        nOldest = int(i);
    if (nOldest < 0) return;
    m_routeMembers[size_t(nOldest)].reset();
    if (size_t(nOldest) < m_crossScratch.dists.size()) {
      std::vector<float>().swap(m_crossScratch.dists[size_t(nOldest)]);
      std::vector<int64_t>().swap(m_crossScratch.preds[size_t(nOldest)]);
    }
    ++m_routeStats.cMembersClosed;
  }
}

uint32_t CVidxParser::GetRouteMembersOpen() const {
  uint32_t c = 0;
  for (const std::unique_ptr<CMapParser>& p : m_routeMembers) c += p != nullptr;
  return c;
}

namespace {

// How far point p lies from the segment a-b (route points, map units).
double OffSegment(const RouterPoint& p, const RouterPoint& a, const RouterPoint& b) {
  const double ax = a.x >> 1, ay = a.y >> 1, bx = b.x >> 1, by = b.y >> 1, px = p.x >> 1, py = p.y >> 1;
  const double dx = bx - ax, dy = by - ay, d2 = dx * dx + dy * dy;
  double t = d2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / d2 : 0;
  t = t < 0 ? 0 : t > 1 ? 1 : t;
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// The point a few metres before the join (the route's last point, a
// crossing) on the road the route arrived by, and the route's point before
// the join; false when the route has none.
bool LeadIn(const std::vector<RouterPoint>& route, MapPoint& ptIn, const RouterPoint*& pBefore) {
  pBefore = nullptr;
  if (route.empty()) return false;
  const RouterPoint& join = route.back();
  for (size_t k = route.size() - 1; k > 0 && !pBefore; --k)
    if (route[k - 1].x != join.x || route[k - 1].y != join.y) pBefore = &route[k - 1];
  if (!pBefore) return false;
  const double jx = join.x >> 1, jy = join.y >> 1;
  const double dx = double(pBefore->x >> 1) - jx, dy = double(pBefore->y >> 1) - jy;
  const double fLen = std::sqrt(dx * dx + dy * dy), fLeadIn = MetresToMap(10);
  const double f = fLen > fLeadIn ? fLeadIn / fLen : 1.0;
  ptIn = MapPoint{int32_t(std::lround(jx + dx * f)), int32_t(std::lround(jy + dy * f))};
  return true;
}

// A member's route from the lead-in point ptIn to ptTo that runs along the
// road arrived by to the join, cut to begin at the join (the point as the
// member's search passed it, the turn there its own). False when the member
// lacks that road (one that ends at the crossing lies in the other member
// only): the start is then taken to another road.
bool RouteFromLeadIn(CMapParser& member, MapPoint ptIn, const RouterPoint& before, const RouterPoint& join,
                     MapPoint ptTo, RouteOptions& leg, const MapProgress* pProgress) {
  leg.points.clear();
  // Not a whole search to find the road is not there.
  const double fOnRoad = MetresToMap(2);
  std::vector<std::pair<uint32_t, float>> nodes;
  double fOffRoad = -1;
  if (!member.SnapToRoadNet(ptIn, false, false, leg, nodes, &fOffRoad) || fOffRoad > fOnRoad) return false;
  if (!member.FindRoute(ptIn, ptTo, &leg, pProgress)) return false;
  size_t j = 0;
  while (j < leg.points.size() && (leg.points[j].x != join.x || leg.points[j].y != join.y)) ++j;
  RouterPoint in;
  in.x = int32_t(uint32_t(ptIn.x) << 1), in.y = int32_t(uint32_t(ptIn.y) << 1);
  // The point the start was taken to (the first the search made) is the
  // lead-in point, and the leg runs along the road to the join.
  size_t iSnapped = 0;
  while (iSnapped < leg.points.size() && !(leg.points[iSnapped].btKind & c_rkRouter)) ++iSnapped;
  bool fAlong = j < leg.points.size() && iSnapped < j && OffSegment(leg.points[iSnapped], in, in) <= fOnRoad;
  for (size_t q = 0; fAlong && q < j; ++q) fAlong = OffSegment(leg.points[q], before, join) <= fOnRoad;
  if (!fAlong) {
    leg.points.clear();
    return false;
  }
  leg.points.erase(leg.points.begin(), leg.points.begin() + ptrdiff_t(j));
  return true;
}

// The route points of two legs joined where they meet: the first leg's
// arrival and the second's start are one point, which takes the road the
// route arrives by and a turn only where the route turns there (a road
// that merely goes on into the next map gives none).
// fArrived: the leg's first point is the join as its member's search
// passed it, coming by the road the route arrived on: its turn stands.
void JoinLeg(std::vector<RouterPoint>& route, std::vector<RouterPoint>& leg, bool fJunction, bool fArrived) {
  if (leg.empty()) return;
  if (route.empty()) {
    route.swap(leg);
    return;
  }
  RouterPoint& join = route.back();
  size_t iNext = 0;
  while (iNext < leg.size() && leg[iNext].x == join.x && leg[iNext].y == join.y) ++iNext;
  if (fArrived && iNext > 0) {
    join = std::move(leg[iNext - 1]);
    route.insert(route.end(), std::make_move_iterator(leg.begin() + ptrdiff_t(iNext)), std::make_move_iterator(leg.end()));
    return;
  }
  size_t iPrev = route.size() - 1;
  while (iPrev > 0 && route[iPrev].x == join.x && route[iPrev].y == join.y) --iPrev;
  // The road arriving at the join: that of the point before it.
  if (route.size() >= 2) {
    const RouterPoint& before = route[route.size() - 2];
    join.strLabel = before.strLabel;
    join.btSpeed = before.btSpeed;
    join.btQuality = before.btQuality;
    join.nLink = before.nLink;
  }
  join.btKind = c_rkPlain;
  join.nTurnAngle = 0;
  if (fJunction && iNext < leg.size() && (route[iPrev].x != join.x || route[iPrev].y != join.y)) {
    const double ax = double(join.x) - route[iPrev].x, ay = double(join.y) - route[iPrev].y;
    const double bx = double(leg[iNext].x) - join.x, by = double(leg[iNext].y) - join.y;
    const double fDeg = std::atan2(ax * by - ay * bx, ax * bx + ay * by) * 180.0 / 3.14159265358979323846;
    const int nAngle = int(std::lround(-fDeg));  // positive to the right
    const bool fRenamed = leg[iNext].strLabel != join.strLabel;
    if (std::abs(nAngle) >= 45 || (fRenamed && std::abs(nAngle) >= 20)) {
      join.btKind = c_rkTurn;
      join.nTurnAngle = nAngle;
    }
  }
  route.insert(route.end(), std::make_move_iterator(leg.begin() + ptrdiff_t(iNext)), std::make_move_iterator(leg.end()));
}

}  // namespace

bool CVidxParser::FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress) {
  ++m_nRoute;
  m_routeStats = CollectionRouteStats();
  const bool fFound = FindRouteInMembers(ptStart, ptEnd, pOptions, pProgress);
  KeepRouteMemoryBound();
  return fFound;
}

bool CVidxParser::FindRouteInMembers(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions,
                                     const MapProgress* pProgress) {
  if (!pOptions) return false;
  const int nStart = FindMapAt(ptStart), nEnd = FindMapAt(ptEnd);
  if (nStart < 0 || nEnd < 0) return false;
  // Where the members meet, the search over their road graphs finds the
  // members the route runs through and where it crosses between them.
  CrossingSearchResult found;
  const std::vector<RouteCrossing>& crossings = found.crossings;
  // The bar: the first quarter for the search over the members, the rest
  // shared by the legs.
  const MapProgress searchShare = ShareOf(pProgress, 0, 4);
  MapProgress legsShare = ShareOf(pProgress, 1, 4);
  if (pProgress) legsShare.nTo = pProgress->nTo;
  // A leg tried again reports its share anew: the bar only moves on.
  struct OnwardBar {
    const MapProgress* p;
    int32_t nLast;
    static void SetPos(void* pv, int32_t n) {
      OnwardBar* pBar = static_cast<OnwardBar*>(pv);
      if (n <= pBar->nLast) return;
      pBar->nLast = n;
      pBar->p->SetPos(n);
    }
  } onward{pProgress, INT32_MIN};
  if (pProgress) {
    legsShare.pfnSetPos = &OnwardBar::SetPos;
    legsShare.pContext = &onward;
  }
  CCrossingSearch search(*this, *pOptions, pProgress ? &searchShare : nullptr, &m_crossScratch);
  const bool fCrossings = m_cMaps > 1 && search.Find(ptStart, ptEnd, uint32_t(nStart), uint32_t(nEnd), found);
  m_routeStats.cMembersSearched = found.cMembersSearched;
  m_routeStats.cPopped = found.cPopped;
  m_routeStats.cbGraphs = found.cbGraphs;
  if (fCrossings) {
    std::vector<RouterPoint> route;
    MapPoint ptFrom = ptStart;
    uint32_t nMember = found.nFirstMember;
    for (const RouteCrossing& c : crossings) {
      char sz[128];
      std::snprintf(sz, sizeof sz, "Crossing %u -> %u at %.7f,%.7f (%u ways)\n", unsigned(c.nFrom), unsigned(c.nTo),
                    MapToDegrees(c.pt.y), MapToDegrees(c.pt.x), unsigned(c.cWays));
      platform::DebugOutputA(sz);
    }
    for (size_t i = 0; i <= crossings.size(); ++i) {
      if (pProgress && pProgress->IsCancelled()) return false;
      const MapPoint ptTo = i < crossings.size() ? crossings[i].pt : ptEnd;
      // A crossing where the route starts or ends (a key node at either
      // point) leaves a leg of no length: nothing to drive there.
      const bool fEmpty = std::abs(int64_t(ptFrom.x) - ptTo.x) <= 16 && std::abs(int64_t(ptFrom.y) - ptTo.y) <= 16;
      if (!fEmpty || (route.empty() && i == crossings.size())) {
        CMapParser* pMember = RouteMember(nMember);
        RouteOptions leg = *pOptions;
        leg.points.clear();
        leg.fLeg = crossings.size() > 0;
        if (!route.empty()) {
          // The next leg goes on in the heading the route arrived with.
          leg.fMotionValid = false;
          for (size_t k = route.size() - 1; k > 0; --k)
            if (route[k - 1].x != route.back().x || route[k - 1].y != route.back().y) {
              const double fCos = std::cos(MapToDegrees(ptFrom.y) * 3.14159265358979323846 / 180);
              const double dx = (double(route.back().x) - route[k - 1].x) * fCos;
              const double dy = double(route.back().y) - route[k - 1].y;
              double fCourse = std::atan2(dx, dy) * 180.0 / 3.14159265358979323846;
              if (fCourse < 0) fCourse += 360;
              leg.fMotionValid = true;
              leg.dCourse = fCourse;
              leg.dSpeedKmh = 30;
              break;
            }
        }
        const MapProgress legShare = ShareOf(&legsShare, i, crossings.size() + 1);
        const MapProgress* pLegProgress = pProgress ? &legShare : nullptr;
        // A leg that goes on from a crossing starts a few metres before it,
        // on the road the route arrived by (a border road is whole in both
        // maps): the member's search then takes the turn at the crossing as
        // one map would, its turn restrictions, one-way roads and U-turn
        // rule binding there; the piece up to the crossing is cut off again.
        bool fLeg = false, fArrived = false;
        MapPoint ptIn{};
        const RouterPoint* pBefore = nullptr;
        const bool fLeadIn = LeadIn(route, ptIn, pBefore);
        if (pMember && fLeadIn) fLeg = fArrived = RouteFromLeadIn(*pMember, ptIn, *pBefore, route.back(), ptTo, leg, pLegProgress);
        // Otherwise from the crossing itself, by whichever of its roads
        // (the heading arrived with would hold the start to the road the
        // crossing point is taken to, whatever the search across the
        // members chose there).
        if (!fLeg && pMember) {
          if (!route.empty()) leg.fMotionValid = false;
          leg.points.clear();
          fLeg = pMember->FindRoute(ptFrom, ptTo, &leg, pLegProgress);
        }
        // A member whose search cannot drive the leg (its roads there end
        // at its edge, a turn it does not allow): another member that holds
        // both points may.
        for (uint32_t m2 = 0; m2 < m_cMaps && !fLeg; ++m2) {
          VidxMapRecord rec;
          const MapRect r = MemberRect(*RecordAt(m2, rec));
          if (m2 == nMember || !r.Contains(ptFrom) || !r.Contains(ptTo)) continue;
          CMapParser* pOther = RouteMember(m2);
          leg.points.clear();
          fLeg = pOther && pOther->FindRoute(ptFrom, ptTo, &leg, pLegProgress);
        }
        // A few metres between a crossing and an end that no search drives
        // (both on one one-way piece against it): the points joined.
        if (!fLeg && std::abs(int64_t(ptFrom.x) - ptTo.x) + std::abs(int64_t(ptFrom.y) - ptTo.y) <= 2048) {
          leg.points.clear();
          RouterPoint a, b;
          a.x = int32_t(uint32_t(ptFrom.x) << 1), a.y = int32_t(uint32_t(ptFrom.y) << 1);
          b.x = int32_t(uint32_t(ptTo.x) << 1), b.y = int32_t(uint32_t(ptTo.y) << 1);
          leg.points.push_back(a);
          leg.points.push_back(b);
          fLeg = true;
        }
        {
          char sz[160];
          std::snprintf(sz, sizeof sz, "Leg %zu in member %u: %.7f,%.7f -> %.7f,%.7f %s\n", i, unsigned(nMember),
                        MapToDegrees(ptFrom.y), MapToDegrees(ptFrom.x), MapToDegrees(ptTo.y), MapToDegrees(ptTo.x),
                        !fLeg ? "not found" : fArrived ? "driven on from the road arrived by" : "driven");
          platform::DebugOutputA(sz);
        }
        if (!fLeg) return false;
        // A leg from the crossing itself: the member the route arrived from
        // has the road arrived by and the one the leg leaves by (a road
        // that leaves a member is whole in it) and tells the turn there.
        if (!fArrived && fLeadIn && i > 0) {
          const RouterPoint join = route.back();
          size_t iNext = 0;
          while (iNext < leg.points.size() && leg.points[iNext].x == join.x && leg.points[iNext].y == join.y) ++iNext;
          CMapParser* pFrom = RouteMember(crossings[i - 1].nFrom);
          RouteOptions turn = leg;
          turn.fLeg = true;
          turn.fMotionValid = false;
          if (pFrom && iNext < leg.points.size() &&
              RouteFromLeadIn(*pFrom, ptIn, *pBefore, join,
                              MapPoint{leg.points[iNext].x >> 1, leg.points[iNext].y >> 1}, turn, nullptr) &&
              turn.points.size() >= 2 && OffSegment(turn.points[1], join, leg.points[iNext]) <= MetresToMap(2)) {
            leg.points.erase(leg.points.begin(), leg.points.begin() + ptrdiff_t(iNext));
            leg.points.insert(leg.points.begin(), std::move(turn.points[0]));
            fArrived = true;
          }
        }
        m_nRouteMap = int(nMember);
        // Where a road only bends at the crossing, no other road meets it.
        JoinLeg(route, leg.points, i == 0 || crossings[i - 1].cWays > 2, fArrived);
      }
      if (i < crossings.size()) {
        ptFrom = crossings[i].pt;
        nMember = crossings[i].nTo;
      }
    }
    m_routeStats.cLegs = uint32_t(crossings.size() + 1);
    pOptions->points.insert(pOptions->points.end(), std::make_move_iterator(route.begin()),
                            std::make_move_iterator(route.end()));
    return true;
  }
  if (found.fHandled) return false;  // the graphs hold no way between the points
  // Members without road graph views: a route whose two ends lie in one
  // member, in the first member in record order whose rectangle holds both.
  for (uint32_t i = 0; i < m_cMaps; ++i) {
    VidxMapRecord rec;
    const MapRect r = MemberRect(*RecordAt(i, rec));
    if (!r.Contains(ptStart) || !r.Contains(ptEnd)) continue;
    CMapParser* pMember = RouteMember(i);
    if (!pMember) return false;
    m_nRouteMap = int(i);
    return pMember->FindRoute(ptStart, ptEnd, pOptions, pProgress);
  }
  return false;
}

// ---------------------------------------------------------------------------
// Draw

void CVidxParser::Draw(CDrawSink* pContext, CLabelSink* pLabels) {
  if (!pContext) return;
  if (!m_pData || m_cFileSize < 4 || std::memcmp(m_pData, c_achMagic, 4) != 0) {
    pContext->ShowMapMessage(c_idsCannotReadFile, m_szPath, u"");
    return;
  }
  for (CacheEntry& e : m_vecMapsCache) e.fInUse = false;
  const uint32_t v = ScaleIndexToCode(uint32_t(pContext->GetScaleIndex()));
  const MapRect rectView = pContext->GetVisibleRect();
  uint32_t nBest = c_nNoFit;
  for (uint32_t i = 0; i < m_cMaps; ++i) {
    VidxMapRecord rec;
    RecordAt(i, rec);
    const MapRect r = MemberRect(rec);
    if (!r.Intersects(rectView)) continue;
    // A member much smaller than the view is not worth drawing.
    if (r.Width() * 3 < rectView.Width() && r.Height() * 3 < rectView.Height()) continue;
    uint32_t nFit;
    if (v > rec.wScaleFirst) nFit = v - rec.wScaleFirst;
    else if (v < rec.wScaleLast) nFit = c_nNoFit;
    else nFit = 0;
    if (nFit < nBest) nBest = nFit;
    CacheEntry* pEntry = nullptr;
    for (CacheEntry& e : m_vecMapsCache)
      if (e.nMap == i) pEntry = &e;
    if (!pEntry) {
      if (m_vecMapsCache.size() == m_cCacheSize) {
        m_cCacheSize = m_cCacheSize * 2 + 1;
        m_vecMapsCache.reserve(m_cCacheSize);
      }
      m_vecMapsCache.push_back(CacheEntry{i, nullptr, nFit, true});
    } else {
      pEntry->nFit = nFit;
      pEntry->fInUse = true;
    }
  }
  if (nBest != c_nNoFit) {
    for (CacheEntry& e : m_vecMapsCache) {
      if (!e.fInUse || e.nFit != nBest) continue;
      if (!e.pParser) {
        const std::u16string strPath = GetMemberPath(e.nMap);
        uint32_t idsError = 0;
        e.pParser.reset(OpenMember(GetMember(e.nMap).strFileName, strPath, &idsError));
        if (!e.pParser) {
          const std::u16string strError =
              platform::FileExists(strPath.c_str()) ? std::u16string()
                                                  : platform::SystemErrorText(platform::c_dwErrorFileNotFound);
          pContext->ShowMapMessage(c_idsCannotReadFile, strPath.c_str(), strError.c_str());
          continue;
        }
      }
      e.pParser->Draw(pContext, pLabels);
      m_nShown = int(e.nMap);
      pContext->Yield();
      if (pContext->IsInterrupted()) break;
    }
  }
  // Keep exactly the members that fit best.
  size_t j = 0;
  for (size_t i = 0; i < m_vecMapsCache.size(); ++i) {
    CacheEntry& e = m_vecMapsCache[i];
    if (e.fInUse && e.nFit == nBest && nBest != c_nNoFit) {
      if (i != j) m_vecMapsCache[j] = std::move(e);
      ++j;
    } else {
      e.pParser.reset();
    }
  }
  m_vecMapsCache.resize(j);
  if (m_nShown >= 0) {
    bool fOpen = false;
    for (const CacheEntry& e : m_vecMapsCache)
      if (int(e.nMap) == m_nShown && e.pParser) fOpen = true;
    if (!fOpen) m_nShown = -1;
  }
}

std::vector<uint32_t> CVidxParser::GetCachedMembers() const {
  std::vector<uint32_t> v;
  for (const CacheEntry& e : m_vecMapsCache)
    if (e.pParser) v.push_back(e.nMap);
  return v;
}

void CVidxParser::GetLabel(int, int, uint16_t, uint32_t, char16_t* pszOut, int* pnFlag) {
  if (pszOut) pszOut[0] = 0;
  if (pnFlag) *pnFlag = 0;
}

void CVidxParser::GetFileName(char16_t* pszBuf) {
  if (!pszBuf) return;
  pszBuf[0] = 0;
  for (CacheEntry& e : m_vecMapsCache)
    if (int(e.nMap) == m_nShown && e.pParser) {
      e.pParser->GetFileName(pszBuf);
      return;
    }
}

void CVidxParser::GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName,
                                 size_t cchName, char16_t* pszNotice, size_t cchNotice) {
  for (CacheEntry& e : m_vecMapsCache)
    if (int(e.nMap) == m_nShown && e.pParser) {
      e.pParser->GetDescription(pwYear, pbtMonth, pbtDay, pszName, cchName, pszNotice, cchNotice);
      return;
    }
  CMapParser::GetDescription(pwYear, pbtMonth, pbtDay, pszName, cchName, pszNotice, cchNotice);
}

CStyleSource* CVidxParser::GetDrawTypes() {
  if (!m_pDrawTypes) m_pDrawTypes.reset(CreateDrawTypes());
  return m_pDrawTypes.get();
}

// ---------------------------------------------------------------------------
// Cities

void CVidxParser::LoadCities() {
  if (m_fCitiesLoaded) return;
  m_fCitiesLoaded = true;
  const uint32_t dwPart = m_hdr.dwCityPart & c_dwCityPartMask;
  if (!dwPart || m_hdr.wVersion < c_wVersionWithCities) return;
  if (dwPart > m_cFileSize || m_cFileSize - dwPart < sizeof(VidxCityPartHeader)) return;
  VidxCityPartHeader part;
  std::memcpy(&part, m_pData + dwPart, sizeof part);
  if (part.cMapBits > 32 || part.cCityBits > 32) return;
  const uint8_t* p = m_pData + dwPart + sizeof part;
  const uint8_t* pEnd = m_pData + m_cFileSize;
  // No more entries than the bits there are.
  const uint64_t cBitsPerEntry = 1 + uint64_t(part.cMapBits) + part.cCityBits;
  const uint64_t cMax = uint64_t(pEnd - p) * 8 / cBitsPerEntry;
  const uint64_t cEntries = std::min<uint64_t>(part.cEntries, cMax);
  m_cityEntries.reserve(size_t(cEntries));
  CBitStream bs(p, pEnd);
  for (uint64_t i = 0; i < cEntries; ++i) {
    VidxCityEntry e;
    e.fDuplicate = bs.ReadBits(1) != 0;
    e.nMap = bs.ReadBits(part.cMapBits);
    e.nCity = bs.ReadBits(part.cCityBits);
    if (bs.IsOverrun()) break;
    if (e.nMap >= m_cMaps) continue;  // names no member: left out
    if (m_cityEntries.empty()) e.fDuplicate = false;
    m_cityEntries.push_back(e);
  }
  for (uint32_t i = 0; i < m_cityEntries.size(); ++i)
    if (!m_cityEntries[i].fDuplicate) m_cityGroups.push_back(i);
}

const std::vector<VidxCityEntry>& CVidxParser::GetCityEntries() {
  LoadCities();
  return m_cityEntries;
}

const std::vector<uint32_t>& CVidxParser::GetCityGroups() {
  LoadCities();
  return m_cityGroups;
}

std::vector<VidxCityEntry> CVidxParser::CityGroup(uint32_t nCity) {
  LoadCities();
  std::vector<VidxCityEntry> group;
  if (nCity >= m_cityGroups.size()) return group;
  for (uint32_t c = m_cityGroups[nCity]; c < m_cityEntries.size(); ++c) {
    if (m_cityEntries[c].fDuplicate != (c != m_cityGroups[nCity])) break;
    group.push_back(m_cityEntries[c]);
  }
  return group;
}

CMapParser* CVidxParser::GetCityMember(uint32_t nMap, CCitiesQuery** ppCities) {
  if (ppCities) *ppCities = nullptr;
  if (nMap >= m_cMaps) return nullptr;
  ++m_nCityUse;
  for (CityMember& m : m_cityMembers)
    if (m.nMap == nMap) {
      m.nLastUse = m_nCityUse;
      if (ppCities) *ppCities = m.pCities.get();
      return m.pParser.get();
    }
  std::unique_ptr<CMapParser> pParser(OpenMember(GetMember(nMap).strFileName, GetMemberPath(nMap), nullptr));
  if (!pParser) return nullptr;
  std::unique_ptr<CCitiesQuery> pCities(pParser->CreateCitiesQuery());
  if (m_cityMembers.size() >= c_cCityMembers) {
    // Close the member used least recently.
    size_t iOld = 0;
    for (size_t i = 1; i < m_cityMembers.size(); ++i)
      if (m_cityMembers[i].nLastUse < m_cityMembers[iOld].nLastUse) iOld = i;
    m_cityMembers.erase(m_cityMembers.begin() + ptrdiff_t(iOld));
  }
  if (ppCities) *ppCities = pCities.get();
  CMapParser* pMember = pParser.get();
  m_cityMembers.push_back(CityMember{nMap, std::move(pParser), std::move(pCities), m_nCityUse});
  return pMember;
}

CCitiesQuery* CVidxParser::CreateCitiesQuery() {
  if (!(m_hdr.dwCityPart & c_dwCityPartMask)) return nullptr;
  LoadCities();
  return new CVidxCitiesQuery(this);
}

bool CVidxParser::HasCitiesIndex() { return (m_hdr.dwCityPart & c_fHasCitiesIndex) != 0; }
bool CVidxParser::HasObjectsIndex() { return (m_hdr.dwCityPart & c_fHasObjectsIndex) != 0; }

bool CVidxParser::FindObjectType(int nKind, uint16_t wType, uint16_t wSubCode) {
  for (uint32_t i = 0; i < m_cMaps; ++i) {
    std::unique_ptr<CMapParser> p(OpenMember(GetMember(i).strFileName, GetMemberPath(i), nullptr));
    if (p && p->HasObjectsIndex() && p->FindObjectType(nKind, wType, wSubCode)) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Searches over the members

CMapQuery* CVidxParser::CreateObjectsQuery(uint32_t nCity, int nKind, uint16_t wType, uint16_t wSubCode) {
  std::vector<VidxCityEntry> group = CityGroup(nCity);
  std::unique_ptr<CVidxResultsQuery> pResults(new CVidxResultsQuery(GetLocale()));
  for (const VidxCityEntry& e : group) {
    std::unique_ptr<CMapParser> pMember(OpenMember(GetMember(e.nMap).strFileName, GetMemberPath(e.nMap), nullptr));
    if (!pMember) continue;
    CMapQuery* pQuery = pMember->CreateObjectsQuery(e.nCity, nKind, wType, wSubCode);
    if (!pQuery) continue;
    pResults->Add(std::move(pMember), std::unique_ptr<CMapQuery>(pQuery));
  }
  if (pResults->IsEmpty()) return nullptr;
  if (group.size() >= 2) pResults->SortByName();
  return pResults.release();
}

CMapQuery* CVidxParser::FindByAddress(uint32_t nCity, const char16_t* pszZip, const char16_t* pszStreet,
                                      const char16_t* pszNumber, const MapProgress* pProgress) {
  std::vector<VidxCityEntry> group = CityGroup(nCity);
  std::unique_ptr<CVidxResultsQuery> pResults(new CVidxResultsQuery(GetLocale()));
  for (size_t k = 0; k < group.size(); ++k) {
    if (pProgress && pProgress->IsCancelled()) break;
    const VidxCityEntry& e = group[k];
    std::unique_ptr<CMapParser> pMember(OpenMember(GetMember(e.nMap).strFileName, GetMemberPath(e.nMap), nullptr));
    if (!pMember) continue;
    MapProgress share = ShareOf(pProgress, k, group.size());
    CMapQuery* pQuery =
        pMember->FindByAddress(e.nCity, pszZip, pszStreet, pszNumber, pProgress ? &share : nullptr);
    if (!pQuery) continue;
    pResults->Add(std::move(pMember), std::unique_ptr<CMapQuery>(pQuery));
  }
  if (pResults->IsEmpty()) return nullptr;
  return pResults.release();
}

CMapQuery* CVidxParser::FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                                    const MapTypeFilter* pFilter, const char16_t* pszName,
                                    const MapProgress* pProgress) {
  // The search rectangle as the members make it: the radius along a
  // meridian, divided by cos of the latitude along a parallel.
  const int64_t r = MetresToMap(double(nRadiusMetres));
  double k = std::cos(MapToDegrees(pt.y) * c_fPi / 180.0);
  if (k < 1e-6) k = 1e-6;
  const int64_t rx = std::llround(double(r) / k);
  const MapRect rectSearch = {Clamp32(int64_t(pt.x) - rx), Clamp32(int64_t(pt.y) - r), Clamp32(int64_t(pt.x) + rx),
                              Clamp32(int64_t(pt.y) + r)};
  std::vector<uint32_t> members;
  for (uint32_t i = 0; i < m_cMaps; ++i) {
    VidxMapRecord rec;
    if (MemberRect(*RecordAt(i, rec)).Intersects(rectSearch)) members.push_back(i);
  }
  std::unique_ptr<CVidxResultsQuery> pResults(new CVidxResultsQuery(GetLocale()));
  for (size_t j = 0; j < members.size(); ++j) {
    if (pProgress && pProgress->IsCancelled()) break;
    const uint32_t i = members[j];
    std::unique_ptr<CMapParser> pMember(OpenMember(GetMember(i).strFileName, GetMemberPath(i), nullptr));
    if (!pMember) continue;
    MapProgress share = ShareOf(pProgress, j, members.size());
    CMapQuery* pQuery =
        pMember->FindNearest(nScale, fUseScale, pt, nRadiusMetres, pFilter, pszName, pProgress ? &share : nullptr);
    if (!pQuery) continue;
    pResults->Add(std::move(pMember), std::unique_ptr<CMapQuery>(pQuery));
  }
  if (pResults->IsEmpty()) return nullptr;
  return pResults.release();
}
