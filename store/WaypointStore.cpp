#include "store/WaypointStore.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "platform/File.h"
#include "platform/FileMapping.h"
#include "platform/Str.h"
#include "store/Bytes.h"
#include "geo/Geodesy.h"

using namespace store;
using namespace store::detail;

namespace {

const double c_dRadPerDeg = 3.14159265358979323846 / 180.0;

bool ReadText(CByteReader& rd, std::u16string* pstr) {
  uint32_t cch = rd.Dword();
  if (!rd.IsOk() || cch > rd.Remaining() / 2) {
    rd.Fail();
    return false;
  }
  const uint8_t* p = rd.Take(size_t(cch) * 2);
  if (pstr) {
    pstr->resize(cch);
    for (uint32_t i = 0; i < cch; ++i) (*pstr)[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
  }
  return true;
}

void WriteText(CByteWriter& w, const std::u16string& str) {
  w.Dword(uint32_t(str.size()));
  for (char16_t ch : str) w.Word(uint16_t(ch));
}

bool IsRouteNameUsed(const Route* p, const std::u16string& str) {
  for (; p; p = p->pNext)
    if (!p->IsDeleted() && p->strName == str) return true;
  return false;
}

float PointLon(const RoutePoint& rp) { return float(StoredToDegrees(rp.GetX())); }
float PointLat(const RoutePoint& rp) { return float(StoredToDegrees(rp.GetY())); }

float SegmentLength(const Route& route, size_t i) {
  const RoutePoint& a = route.points[i];
  const RoutePoint& b = route.points[i + 1];
  return GetDistance(PointLon(a), PointLat(a), PointLon(b), PointLat(b));
}

// The geometric turn at an inner point: course out − course in, in −180…180.
double GeometricTurn(const Route& route, size_t i) {
  const RoutePoint& a = route.points[i - 1];
  const RoutePoint& b = route.points[i];
  const RoutePoint& c = route.points[i + 1];
  return GetTurnAngle(PointLon(a), PointLat(a), PointLon(b), PointLat(b), PointLon(c), PointLat(c));
}

}  // namespace

Route* g_pActiveRoute = nullptr;
CWaypointStore g_waypointStore(&g_pActiveRoute);

CWaypointStore::CWaypointStore(Route** ppActiveRoute)
    : m_pWaypoints(nullptr), m_pRoutes(nullptr), m_pActiveOwn(nullptr),
      m_ppActiveRoute(ppActiveRoute ? ppActiveRoute : &m_pActiveOwn), m_nGeneration(0) {}

CWaypointStore::~CWaypointStore() { Clear(); }

void CWaypointStore::Clear() {
  ++m_nGeneration;
  *m_ppActiveRoute = nullptr;
  while (m_pRoutes) {
    Route* p = m_pRoutes;
    m_pRoutes = p->pNext;
    delete p;
  }
  while (m_pWaypoints) {
    Waypoint* p = m_pWaypoints;
    m_pWaypoints = p->pNext;
    delete p;
  }
}

void CWaypointStore::SetActiveRoute(Route* pRoute) {
  if (Route* pOld = *m_ppActiveRoute) pOld->dwFlags &= ~rfActive;
  if (pRoute) pRoute->dwFlags |= rfActive;
  *m_ppActiveRoute = pRoute;
}

size_t CWaypointStore::CountWaypoints() const {
  size_t c = 0;
  for (const Waypoint* p = m_pWaypoints; p; p = p->pNext) c += !p->IsDeleted();
  return c;
}

size_t CWaypointStore::CountRoutes() const {
  size_t c = 0;
  for (const Route* p = m_pRoutes; p; p = p->pNext) c += !p->IsDeleted();
  return c;
}

void CWaypointStore::AddWaypoint(Waypoint* pWaypoint) {
  pWaypoint->pNext = m_pWaypoints;
  m_pWaypoints = pWaypoint;
}

void CWaypointStore::AddRoute(Route* pRoute) {
  pRoute->pNext = m_pRoutes;
  m_pRoutes = pRoute;
}

// ---------------------------------------------------------------- loading

StoreLoadResult CWaypointStore::Load(const uint8_t* pb, size_t cb, bool fNavigation) {
  ++m_nGeneration;
  CByteReader rd(pb, cb);
  const uint8_t* pSig = rd.Take(2);
  if (!pSig) return slrDamaged;
  bool fRoutes;
  if (std::memcmp(pSig, c_achSigRoutes, 2) == 0) fRoutes = true;
  else if (std::memcmp(pSig, c_achSigWaypoints, 2) == 0) fRoutes = false;
  else return slrDamaged;

  uint8_t cbHeader = rd.Byte();
  size_t offData = 3 + size_t(cbHeader);
  uint8_t cbWaypoint = rd.Byte();
  uint8_t cWaypointTexts = rd.Byte();
  uint32_t cWaypoints = 0, cRoutes = 0;
  uint8_t cbRoute = 0, cRouteTexts = 0;
  if (fRoutes) {
    cWaypoints = rd.Dword();
    cbRoute = rd.Byte();
    cRouteTexts = rd.Byte();
    cRoutes = rd.Dword();
  }
  if (!rd.IsOk() || cbHeader < (fRoutes ? c_cbHeaderRoutes : c_cbHeaderWaypoints) ||
      cbWaypoint < sizeof(WaypointRecord) || (fRoutes && cbRoute < sizeof(RouteRecord)) || !rd.Seek(offData))
    return slrDamaged;

  // Waypoints: each at the head of the list, so the list runs backwards.
  std::vector<Waypoint*> byOrdinal;
  byOrdinal.reserve(fRoutes ? (cWaypoints < cb / sizeof(WaypointRecord) ? cWaypoints : cb / sizeof(WaypointRecord)) : 0);
  bool fDamaged = false;
  for (uint32_t i = 0; fRoutes ? i < cWaypoints : !rd.AtEnd(); ++i) {
    const uint8_t* pRec = rd.Take(cbWaypoint);
    Waypoint* pWp = new Waypoint;
    if (pRec) std::memcpy(static_cast<WaypointRecord*>(pWp), pRec, sizeof(WaypointRecord));
    std::u16string* apstr[c_cWaypointTexts] = {&pWp->strName, &pWp->strDescription, &pWp->strText3, &pWp->strText4};
    for (unsigned t = 0; t < cWaypointTexts; ++t) ReadText(rd, t < c_cWaypointTexts ? apstr[t] : nullptr);
    if (!rd.IsOk()) {
      delete pWp;
      fDamaged = true;
      break;
    }
    pWp->btRoutePoints = 0;
    pWp->cRoutePoints = 0;
    pWp->cOrdinal = uint32_t(byOrdinal.size());
    byOrdinal.push_back(pWp);
    AddWaypoint(pWp);
  }

  for (uint32_t r = 0; !fDamaged && fRoutes && r < cRoutes; ++r) {
    const uint8_t* pRec = rd.Take(cbRoute);
    Route* pRoute = new Route;
    if (pRec) std::memcpy(static_cast<RouteRecord*>(pRoute), pRec, sizeof(RouteRecord));
    std::u16string* apstr[c_cRouteTexts] = {&pRoute->strName, &pRoute->strText2, &pRoute->strText3};
    for (unsigned t = 0; t < cRouteTexts; ++t) ReadText(rd, t < c_cRouteTexts ? apstr[t] : nullptr);
    uint32_t cPoints = rd.Dword();
    // every point takes at least its storage byte
    if (!rd.IsOk() || cPoints > rd.Remaining()) rd.Fail();
    if (rd.IsOk()) pRoute->points.reserve(cPoints);
    for (uint32_t i = 0; rd.IsOk() && i < cPoints; ++i) {
      RoutePoint rp;
      rp.btStorage = rd.Byte();
      if (rp.btStorage & rpsWaypoint) {
        uint32_t nOrdinal = rd.Dword();
        if (nOrdinal < byOrdinal.size()) rp.pWaypoint = byOrdinal[nOrdinal];
      }
      if (rp.btStorage & rpsCoordinates) {
        rp.x = rd.Int();
        rp.y = rd.Int();
      }
      rp.btKind = (rp.btStorage & rpsKind) ? rd.Byte() : uint8_t(rpkVia);
      if (rp.btStorage & rpsSpeed) {
        uint8_t bt = rd.Byte();
        rp.btSpeed = bt & 7;
        rp.btQuality = (bt >> 3) & 7;
      }
      if (rp.btStorage & rpsLabel) ReadText(rd, &rp.strLabel);
      if (rp.btStorage & rpsByteValue) rp.nValue = rd.Byte();
      else if (rp.btStorage & rpsDwordValue) rp.nValue = rd.Int();
      if ((rp.btKind & rpkRoundaboutEntry) || (rp.btStorage & rpsKeepSide)) rp.btParameter = rd.Byte();
      if (!rd.IsOk()) break;
      pRoute->points.push_back(std::move(rp));
    }
    if (!rd.IsOk()) {
      delete pRoute;
      fDamaged = true;
      break;
    }
    for (RoutePoint& rp : pRoute->points)
      if (rp.pWaypoint) rp.pWaypoint->AddRef();
    RecomputeRoute(*pRoute);
    AddRoute(pRoute);
    if (pRoute->dwFlags & rfActive) {
      if (fNavigation && !ActiveRoute()) *m_ppActiveRoute = pRoute;
      else pRoute->dwFlags &= ~rfActive;
    }
  }
  return fDamaged ? slrDamaged : slrLoaded;
}

StoreLoadResult CWaypointStore::LoadFile(const char16_t* pszPath, bool fNavigation, std::u16string* pstrKeptAs) {
  if (!platform::FileExists(pszPath)) return slrMissing;
  StoreLoadResult result;
  {
    platform::CFileMapping mapping;
    if (!mapping.OpenRead(pszPath)) result = slrDamaged;
    else result = Load(mapping.Data(), mapping.Size(), fNavigation);
  }
  if (result == slrDamaged) {
    // Keep the damaged file for the user: the next save must not replace it.
    std::u16string strBase = std::u16string(pszPath) + u".damaged";
    std::u16string strAside = strBase;
    for (int n = 1; platform::FileExists(strAside.c_str()) && n < 1000; ++n)
      strAside = strBase + u"." + platform::AsciiToU16(std::to_string(n).c_str());
    if (platform::RenameFilePath(pszPath, strAside.c_str()) && pstrKeptAs) *pstrKeptAs = strAside;
  }
  return result;
}

// ----------------------------------------------------------------- saving

void CWaypointStore::Save(std::vector<uint8_t>& out) {
  out.clear();
  uint32_t cWaypoints = 0;
  for (Waypoint* p = m_pWaypoints; p; p = p->pNext)
    if (!p->IsDeleted()) p->cOrdinal = cWaypoints++;
  uint32_t cRoutes = uint32_t(CountRoutes());

  CByteWriter w(out);
  if (cRoutes) {
    w.Bytes(c_achSigRoutes, 2);
    w.Byte(c_cbHeaderRoutes);
    w.Byte(sizeof(WaypointRecord));
    w.Byte(c_cWaypointTexts);
    w.Dword(cWaypoints);
    w.Byte(sizeof(RouteRecord));
    w.Byte(c_cRouteTexts);
    w.Dword(cRoutes);
  } else {
    w.Bytes(c_achSigWaypoints, 2);
    w.Byte(c_cbHeaderWaypoints);
    w.Byte(sizeof(WaypointRecord));
    w.Byte(c_cWaypointTexts);
  }

  for (const Waypoint* p = m_pWaypoints; p; p = p->pNext) {
    if (p->IsDeleted()) continue;
    w.Bytes(static_cast<const WaypointRecord*>(p), sizeof(WaypointRecord));
    WriteText(w, p->strName);
    WriteText(w, p->strDescription);
    WriteText(w, p->strText3);
    WriteText(w, p->strText4);
  }

  for (Route* pRoute = m_pRoutes; pRoute; pRoute = pRoute->pNext) {
    if (pRoute->IsDeleted()) continue;
    RecomputeBounds(*pRoute);
    w.Bytes(static_cast<const RouteRecord*>(pRoute), sizeof(RouteRecord));
    WriteText(w, pRoute->strName);
    WriteText(w, pRoute->strText2);
    WriteText(w, pRoute->strText3);
    w.Dword(uint32_t(pRoute->points.size()));
    for (RoutePoint& rp : pRoute->points) {
      uint8_t bt = rp.btStorage & rpsSpeed;
      int32_t x = rp.x, y = rp.y;
      bool fWaypoint = rp.pWaypoint != nullptr;
      if (fWaypoint && rp.pWaypoint->IsDeleted()) {
        ASSERT(false);
        // Keep the place of a point whose waypoint went away.
        x = rp.pWaypoint->x;
        y = rp.pWaypoint->y;
        fWaypoint = false;
      }
      if (fWaypoint) {
        bt |= rpsWaypoint;
      } else {
        bt |= rpsCoordinates;
        if (!rp.strLabel.empty()) bt |= rpsLabel;
        if (rp.nValue != 0) bt |= (uint32_t(rp.nValue) > 255) ? rpsDwordValue : rpsByteValue;
      }
      if (rp.btKind != rpkVia) bt |= rpsKind;
      bool fParameter = (rp.btKind & rpkRoundaboutEntry) != 0;
      if (!fParameter && (rp.btKind & rpkKeep) && rp.btParameter != 0) {
        bt |= rpsKeepSide;
        fParameter = true;
      }
      rp.btStorage = bt;

      w.Byte(bt);
      if (bt & rpsWaypoint) {
        uint32_t nOrdinal = rp.pWaypoint->cOrdinal;
        ASSERT(rp.pWaypoint->cOrdinal < cWaypoints);
        w.Dword(nOrdinal < cWaypoints ? nOrdinal : 0xFFFFFFFFu);
      }
      if (bt & rpsCoordinates) {
        w.Int(x);
        w.Int(y);
      }
      if (bt & rpsKind) w.Byte(rp.btKind);
      if (bt & rpsSpeed) w.Byte(uint8_t((rp.btSpeed & 7) | ((rp.btQuality & 7) << 3)));
      if (bt & rpsLabel) WriteText(w, rp.strLabel);
      if (bt & rpsByteValue) w.Byte(uint8_t(rp.nValue));
      if (bt & rpsDwordValue) w.Int(rp.nValue);
      if (fParameter) w.Byte(rp.btParameter);
    }
  }
}

bool CWaypointStore::SaveFile(const char16_t* pszPath) {
  std::vector<uint8_t> data;
  Save(data);
  return platform::WriteFileAtomic(pszPath, data.data(), data.size());
}

// -------------------------------------------------------- new records

namespace {

// The number a generated name stands for ("%03d": at least three digits, no
// sign), or 0.
size_t GeneratedNumber(const std::u16string& str) {
  if (str.size() < 3 || str.size() > 9) return 0;
  if (str[0] == u'0' && str.size() > 3) return 0;  // "%03d" pads to three only
  size_t n = 0;
  for (char16_t ch : str) {
    if (ch < u'0' || ch > u'9') return 0;
    n = n * 10 + size_t(ch - u'0');
  }
  return n;
}

// The first number from 1 that no name in the list stands for.
template <class T>
std::u16string FirstFreeNumber(const T* p) {
  std::vector<bool> used;
  size_t c = 0;
  for (const T* q = p; q; q = q->pNext) ++c;
  used.resize(c + 2, false);
  for (; p; p = p->pNext) {
    if (p->IsDeleted()) continue;
    size_t n = GeneratedNumber(p->strName);
    if (n && n < used.size()) used[n] = true;
  }
  size_t n = 1;
  while (used[n]) ++n;
  return platform::FormatStr(u"%03d", int(n));
}

}  // namespace

std::u16string CWaypointStore::MakeWaypointName() const { return FirstFreeNumber(m_pWaypoints); }

std::u16string CWaypointStore::MakeRouteName(const char16_t* pszBase) const {
  if (!pszBase || !*pszBase) return FirstFreeNumber(m_pRoutes);
  std::u16string str = pszBase;
  for (int n = 1; IsRouteNameUsed(m_pRoutes, str); ++n) str = platform::FormatStr(u"%s (%d)", pszBase, n);
  return str;
}

Waypoint* CWaypointStore::NewWaypoint(double dLon, double dLat, double dTime, float fAltitude, bool fHasAltitude,
                                      const char16_t* pszName) {
  Waypoint* p = new Waypoint;
  p->x = DegreesToStored(dLon);
  p->y = DegreesToStored(dLat);
  p->dTime = dTime;
  if (fHasAltitude) p->fAltitude = fAltitude;
  else p->dwFlags |= wfNoAltitude;
  p->SetShow(wsIconAndName);
  p->SetType(c_nDefaultSymbol);
  p->strName = (pszName && *pszName) ? std::u16string(pszName) : MakeWaypointName();
  AddWaypoint(p);
  return p;
}

Route* CWaypointStore::NewRoute(double dTime, const char16_t* pszName) {
  Route* p = new Route;
  p->crColor = c_crNewRoute;
  p->dTime = dTime;
  p->strName = (pszName && *pszName) ? std::u16string(pszName) : MakeRouteName();
  AddRoute(p);
  return p;
}

// ------------------------------------------------------------- editing

bool CWaypointStore::InsertWaypoint(Route* pRoute, int iAfter, Waypoint* pWaypoint) {
  if (pRoute == ActiveRoute()) {
    ASSERT(false);
    return false;
  }
  if (!pWaypoint || iAfter < -1 || iAfter >= int(pRoute->points.size())) return false;
  RoutePoint rp;
  rp.pWaypoint = pWaypoint;
  rp.btKind = rpkVia;
  pWaypoint->AddRef();
  pRoute->points.insert(pRoute->points.begin() + (iAfter + 1), std::move(rp));
  RecomputeRoute(*pRoute);
  return true;
}

bool CWaypointStore::DeletePoint(Route* pRoute, size_t iPoint) {
  if (pRoute == ActiveRoute()) {
    ASSERT(false);
    return false;
  }
  if (iPoint >= pRoute->points.size()) return false;
  if (Waypoint* pWp = pRoute->points[iPoint].pWaypoint) pWp->Release();
  pRoute->points.erase(pRoute->points.begin() + iPoint);
  RecomputeRoute(*pRoute);
  return true;
}

bool CWaypointStore::MovePointUp(Route* pRoute, size_t iPoint) {
  if (pRoute == ActiveRoute()) {
    ASSERT(false);
    return false;
  }
  if (iPoint == 0 || iPoint >= pRoute->points.size()) return false;
  std::swap(pRoute->points[iPoint - 1], pRoute->points[iPoint]);
  RecomputeRoute(*pRoute);
  return true;
}

bool CWaypointStore::MovePointDown(Route* pRoute, size_t iPoint) {
  if (pRoute == ActiveRoute()) {
    ASSERT(false);
    return false;
  }
  if (iPoint + 1 >= pRoute->points.size()) return false;
  std::swap(pRoute->points[iPoint], pRoute->points[iPoint + 1]);
  RecomputeRoute(*pRoute);
  return true;
}

bool CWaypointStore::ReverseRoute(Route* pRoute) {
  if (pRoute == ActiveRoute()) {
    ASSERT(false);
    return false;
  }
  size_t n = pRoute->points.size();
  for (size_t i = 0; i < n / 2; ++i) std::swap(pRoute->points[i], pRoute->points[n - 1 - i]);
  RecomputeRoute(*pRoute);
  return true;
}

void CWaypointStore::SetRouteProperties(Route* pRoute, double dTime, const std::u16string& strName,
                                        const std::u16string& strText2, uint32_t crColor) {
  pRoute->dTime = dTime;
  pRoute->strName = strName;
  pRoute->strText2 = strText2;
  pRoute->crColor = crColor;
}

bool CWaypointStore::DeleteRoute(Route* pRoute) {
  if (pRoute == ActiveRoute()) {
    ASSERT(false);
    return false;
  }
  if (pRoute->IsDeleted()) return true;
  for (RoutePoint& rp : pRoute->points) {
    Waypoint* pWp = rp.pWaypoint;
    if (!pWp) continue;
    pWp->Release();
    // A point made for routes goes with the last route that uses it.
    if ((pWp->dwFlags & wfMadeForRoute) && pWp->cRoutePoints == 0) pWp->dwFlags |= wfDeleted;
  }
  pRoute->dwFlags |= rfDeleted;
  return true;
}

bool CWaypointStore::DeleteWaypoint(Waypoint* pWaypoint) {
  if (pWaypoint->cRoutePoints != 0) return false;
  pWaypoint->dwFlags |= wfDeleted;
  return true;
}

Waypoint* CWaypointStore::FindNearestWaypoint(int32_t xMap, int32_t yMap, float fRadius) const {
  double dCos = std::cos(MapToDegrees(yMap) * c_dRadPerDeg);
  if (dCos < 1e-6) dCos = 1e-6;
  double dR = double(fRadius) / c_fMetresPerMapUnit;  // map units north-south
  double dHalfWidth = dR / dCos;
  double dR2 = dR * dR;
  Waypoint* pBest = nullptr;
  double dBest = 0;
  for (Waypoint* p = m_pWaypoints; p; p = p->pNext) {
    if (p->IsDeleted()) continue;
    double dx = double(p->x >> 1) - double(xMap);
    double dy = double(p->y >> 1) - double(yMap);
    if (std::fabs(dy) > dR || std::fabs(dx) > dHalfWidth) continue;
    // east-west differences shrink by cos(latitude) on the ground
    double d2 = dx * dx * dCos * dCos + dy * dy;
    if (d2 > dR2) continue;
    if (!pBest || d2 < dBest) {
      pBest = p;
      dBest = d2;
    }
  }
  return pBest;
}

// ------------------------------------------------------------ recompute

void RecomputeBounds(Route& route) {
  RouteRect rc;
  bool fFirst = true;
  for (const RoutePoint& rp : route.points) {
    int32_t x = rp.GetX() >> 1, y = rp.GetY() >> 1;
    if (fFirst) {
      rc.left = rc.right = x;
      rc.top = rc.bottom = y;
      fFirst = false;
      continue;
    }
    if (x < rc.left) rc.left = x;
    if (x > rc.right) rc.right = x;
    if (y < rc.top) rc.top = y;
    if (y > rc.bottom) rc.bottom = y;
  }
  route.rcBounds = rc;
}

void RecomputeRoute(Route& route) {
  size_t n = route.points.size();
  std::vector<int32_t> aTurn(n, 0);
  for (size_t i = 1; i + 1 < n; ++i) aTurn[i] = int32_t(std::lround(GeometricTurn(route, i)));
  if (n > 0) {
    route.points[0].nTurnAngle = 0;
    route.points[n - 1].nTurnAngle = 0;
  }
  for (size_t i = 1; i + 1 < n; ++i) {
    RoutePoint& rp = route.points[i];
    int32_t nAngle = aTurn[i];
    if ((rp.btKind & rpkRouter) && (rp.btKind & rpkManeuver) && nAngle != 0) {
      // Turns that follow closely belong to this maneuver: those within the
      // limit of it (a turn at the end of a longer segment is a maneuver of
      // its own, not half of a U-turn).
      float fLimit = (rp.btKind & rpkConnector) ? 300.0f : 40.0f;
      float fDist = 0;
      for (size_t k = i + 1; k + 1 < n; ++k) {
        fDist += SegmentLength(route, k - 1);
        if (fDist > fLimit) break;
        int32_t nNext = aTurn[k];
        if (nNext == 0) continue;
        if (std::abs(nNext) > 10 && ((nNext > 0) != (nAngle > 0))) break;
        nAngle += nNext;
        if (route.points[k].btKind & rpkManeuver) break;
      }
    }
    if (nAngle > 180) nAngle = 180;
    if (nAngle < -180) nAngle = -180;
    rp.nTurnAngle = nAngle;
  }
  RecomputeBounds(route);
}

float GetRouteLength(const Route& route, size_t iFrom, size_t iTo) {
  size_t cPoints = route.points.size();
  ASSERT(iTo < cPoints || cPoints == 0);
  if (cPoints == 0) return 0;
  if (iTo >= cPoints) iTo = cPoints - 1;
  double d = 0;
  for (size_t i = iFrom; i < iTo; ++i) d += SegmentLength(route, i);
  return float(d);
}

float GetRouteLength(const Route& route) {
  return route.points.empty() ? 0 : GetRouteLength(route, 0, route.points.size() - 1);
}
