// MPS and GDB import of waypoints and routes into the store. Every length
// and offset is checked against the record and the file: a damaged file
// imports what is whole.
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exchange/CodePage.h"
#include "exchange/Exchange.h"
#include "exchange/MapSource.h"
#include "exchange/detail/MapSourceRecords.h"
#include "store/Bytes.h"

using namespace exchange::detail;
using store::CByteReader;

namespace exchange {

namespace {

const double c_dUnixEpochDays = 25569.0;

// The 16-bit value of a 'D' record.
uint16_t FormatValue(const MsRecord& rec) {
  if (rec.cbBody >= 2) return CByteReader::GetLe16(rec.pBody);
  return rec.cbBody == 1 ? rec.pBody[0] : 0;
}

std::u16string Text(const std::string& str, const ExchangeOptions& opts) { return AnsiToU16(str, opts.nCodePage); }

// A MapSource double that stands for a value (MapSource writes 1e25 for "none").
bool UsableDouble(double d) { return std::isfinite(d) && std::fabs(d) < 1.0e24; }

float ToFloat(double d) {
  if (!std::isfinite(d)) return 0;
  if (d > 3.0e38) return 3.0e38f;
  if (d < -3.0e38) return -3.0e38f;
  return float(d);
}

void FinishImport(const CWaypointStore& store, bool fRoutes, ImportResult& result) {
  if (result.fRefused) return;
  result.idsMessage = fRoutes ? c_idsImportedRoutes : c_idsImportedWaypoints;
}

// One GDB 'W' record (version 1 and 2 layout) into a new waypoint.
Waypoint* ReadGdbWaypoint(const MsRecord& rec, const ExchangeOptions& opts) {
  CByteReader rd(rec.pBody, rec.cbBody);
  std::string strName, strCountry, strComment, strText, strLink;
  rd.CStr(strName);
  uint32_t dwClass = rd.Dword();
  rd.CStr(strCountry);
  rd.Skip(22);  // subclass
  int32_t nLat = rd.Int();
  int32_t nLon = rd.Int();
  if (!rd.IsOk()) return nullptr;

  std::unique_ptr<Waypoint> pWp(new Waypoint);
  pWp->strName = Text(strName, opts);
  pWp->x = nLon;
  pWp->y = nLat;
  if (dwClass & 0xFF) pWp->dwFlags |= wfMadeForRoute;
  pWp->dwFlags |= wfNoAltitude;
  pWp->SetShow(wsIconAndName);
  pWp->SetType(c_nDefaultSymbol);
  if (rd.Byte()) {
    double d = rd.Double();
    if (rd.IsOk() && UsableDouble(d)) {
      pWp->fAltitude = ToFloat(d);
      pWp->dwFlags &= ~wfNoAltitude;
    }
  }
  rd.CStr(strComment);
  pWp->strDescription = Text(strComment, opts);
  if (rd.Byte()) {
    double d = rd.Double();
    if (UsableDouble(d)) pWp->fProximity = ToFloat(d);
  }
  uint32_t dwDisplay = rd.Dword();
  rd.Dword();  // colour
  uint32_t dwType = rd.Dword();
  if (rd.IsOk()) {
    pWp->SetShow(dwDisplay < 3 ? dwDisplay : unsigned(wsIconAndName));
    pWp->SetType((dwType & 0xFFFF) < 0x4000 ? (dwType & 0xFFFF) : c_nDefaultSymbol);
  }
  for (int i = 0; i < 3; ++i) rd.CStr(strText);  // city, state, facility
  rd.Byte();
  if (rd.Byte()) {
    double d = rd.Double();
    if (rd.IsOk() && UsableDouble(d)) {
      pWp->fDepth = ToFloat(d);
      pWp->dwFlags |= wfDepth;
    }
  }
  rd.Skip(2);
  uint8_t btFlag = rd.Byte();
  rd.Skip(btFlag == 0 ? 3 : 2);
  rd.CStr(strText);
  rd.CStr(strLink);
  if (rd.IsOk()) pWp->strText3 = Text(strLink, opts);
  rd.Word();  // category
  if (rd.Byte()) {
    double d = rd.Double();
    if (rd.IsOk() && UsableDouble(d)) {
      pWp->fWaterTemperature = ToFloat(d);
      pWp->dwFlags |= wfWaterTemperature;
    }
  }
  if (btFlag != 0) rd.Byte();
  if (rd.Byte()) {
    uint32_t dwTime = rd.Dword();
    if (rd.IsOk() && dwTime != 0) pWp->dTime = double(dwTime) / 86400.0 + c_dUnixEpochDays;
  }
  // Older or shorter records end early: what was read stays.
  return pWp.release();
}

struct ImportedRoutePoint {
  std::string strName;
  std::vector<std::pair<int32_t, int32_t>> link;  // lat, lon
};

bool ReadLinkPoint(CByteReader& rd, int32_t& nLat, int32_t& nLon) {
  nLat = rd.Int();
  nLon = rd.Int();
  if (rd.Byte()) rd.Double();
  return rd.IsOk();
}

// One GDB 'R' record into a new route; false when the record is damaged.
// Version 2 files (format 'l') carry 8 more bytes after each route waypoint.
// Imported waypoints by name; several may share one.
typedef std::multimap<std::string, Waypoint*> WaypointsByName;

// The waypoint a route point names: of several with that name the one at
// the point's own place (the start of its link), else the first.
Waypoint* FindRouteWaypoint(const WaypointsByName& byName, const std::string& strName,
                            const std::vector<std::pair<int32_t, int32_t>>& link) {
  auto range = byName.equal_range(strName);
  if (range.first == range.second) return nullptr;
  if (!link.empty())
    for (auto it = range.first; it != range.second; ++it)
      if (it->second->y == link.front().first && it->second->x == link.front().second) return it->second;
  return range.first->second;
}

bool ReadGdbRoute(CWaypointStore& store, const MsRecord& rec, const WaypointsByName& byName,
                  bool fVersion2, const ExchangeOptions& opts, Route*& pRouteOut) {
  CByteReader rd(rec.pBody, rec.cbBody);
  std::string strName;
  rd.CStr(strName);
  rd.Byte();  // btAutoNamed
  uint8_t btMinMaxNotDefined = rd.Byte();
  int32_t nLat, nLon;
  if (btMinMaxNotDefined == 0) {
    ReadLinkPoint(rd, nLat, nLon);
    ReadLinkPoint(rd, nLat, nLon);
  }
  uint32_t cPoints = rd.Dword();
  // every route waypoint takes more than 50 bytes
  if (!rd.IsOk() || cPoints > rd.Remaining() / 50) return false;

  std::vector<ImportedRoutePoint> points;
  points.reserve(cPoints);
  for (uint32_t i = 0; i < cPoints; ++i) {
    ImportedRoutePoint pt;
    rd.CStr(pt.strName);
    rd.Dword();  // class
    std::string strCountry;
    rd.CStr(strCountry);
    rd.Skip(22);
    if (rd.Byte() != 0) rd.Skip(8);  // aviation data
    rd.Skip(18);
    uint32_t dwPoints = rd.Dword();
    if (!rd.IsOk() || dwPoints > rd.Remaining() / 9) return false;
    for (uint32_t k = 0; k < dwPoints; ++k) {
      if (!ReadLinkPoint(rd, nLat, nLon)) return false;
      pt.link.emplace_back(nLat, nLon);
    }
    uint8_t btLastLink = rd.Byte();
    if (btLastLink == 0) {
      ReadLinkPoint(rd, nLat, nLon);
      ReadLinkPoint(rd, nLat, nLon);
    }
    if (fVersion2) rd.Skip(8);
    if (!rd.IsOk()) return false;
    points.push_back(std::move(pt));
  }
  std::string strDescription;
  rd.CStr(strDescription);
  // the record must be used up exactly
  if (!rd.IsOk() || !rd.AtEnd()) return false;

  Route* pRoute = new Route;
  pRoute->crColor = c_crNewRoute;
  pRoute->dTime = opts.dNow;
  pRoute->strName = Text(strName, opts);
  pRoute->strText2 = Text(strDescription, opts);
  for (size_t i = 0; i < points.size(); ++i) {
    const ImportedRoutePoint& pt = points[i];
    Waypoint* pWp = FindRouteWaypoint(byName, pt.strName, pt.link);
    RoutePoint rp;
    rp.btKind = rpkVia;
    if (pWp) {
      rp.pWaypoint = pWp;
      pWp->AddRef();
    } else if (!pt.link.empty()) {
      // no waypoint of that name: the link starts at the point
      rp.x = pt.link.front().second;
      rp.y = pt.link.front().first;
      rp.strLabel = Text(pt.strName, opts);
    } else {
      continue;
    }
    pRoute->points.push_back(std::move(rp));
    // The road shape up to the next route waypoint: the link without its
    // ends (they are the two waypoints).
    for (size_t k = 1; k + 1 < pt.link.size(); ++k) {
      RoutePoint shape;
      shape.btKind = 0;
      shape.x = pt.link[k].second;
      shape.y = pt.link[k].first;
      pRoute->points.push_back(std::move(shape));
    }
  }
  RecomputeRoute(*pRoute);
  store.AddRoute(pRoute);
  pRouteOut = pRoute;
  return true;
}

void ImportGdb(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts, bool fRoutes,
               ImportResult& result) {
  if (!IsGdbFile(pb, cb)) return;
  CMsRecordWalker walker(pb, cb);
  MsRecord rec;
  WaypointsByName byName;
  uint16_t wFormat = 0;
  while (walker.Next(rec)) {
    if (rec.btType == c_btRecFormat) {
      wFormat = FormatValue(rec);
      if (wFormat > c_wMaxGdbFormat) {
        result.fRefused = true;
        result.idsMessage = c_idsGdbTooNew;
        return;
      }
    } else if (rec.btType == c_btRecWaypoint) {
      Waypoint* pWp = ReadGdbWaypoint(rec, opts);
      if (!pWp) continue;
      store.AddWaypoint(pWp);
      ++result.cWaypoints;
      std::string strKey = U16ToAnsi(pWp->strName, opts.nCodePage);
      byName.emplace(strKey, pWp);
    } else if (rec.btType == c_btRecRoute && fRoutes) {
      Route* pRoute = nullptr;
      if (ReadGdbRoute(store, rec, byName, wFormat >= c_wGdbFormatV2, opts, pRoute)) ++result.cRoutes;
    } else if (rec.btType == c_btRecEnd) {
      break;
    }
  }
  result.fTruncated = walker.IsTruncated();
  FinishImport(store, fRoutes, result);
}

}  // namespace

void ImportMpsWaypoints(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                        ImportResult& result) {
  if (!IsMpsFile(pb, cb)) return;
  CMsRecordWalker walker(pb, cb);
  MsRecord rec;
  bool fFormatSeen = false;
  while (walker.Next(rec)) {
    if (rec.btType == c_btRecFormat) {
      fFormatSeen = true;
      if (FormatValue(rec) < c_wMinMpsFormat) {
        result.fRefused = true;
        result.idsMessage = c_idsMpsTooOld;
        return;
      }
      continue;
    }
    if (rec.btType == c_btRecEnd) break;
    // Without a format record the layout of the waypoints is unknown.
    if (rec.btType != c_btRecWaypoint || !fFormatSeen) continue;
    CByteReader rd(rec.pBody, rec.cbBody);
    std::string strName, strComment;
    rd.CStr(strName);
    const uint8_t* pHead = rd.Take(sizeof(MpsWaypointHead));
    rd.CStr(strComment);
    const uint8_t* pTail = rd.Take(sizeof(MpsWaypointTail));
    if (!pHead) continue;
    MpsWaypointHead head;
    std::memcpy(&head, pHead, sizeof head);
    Waypoint* pWp = new Waypoint;
    pWp->strName = Text(strName, opts);
    pWp->x = head.nLon;
    pWp->y = head.nLat;
    pWp->dTime = opts.dNow;
    pWp->SetShow(wsIconAndName);
    pWp->SetType(c_nDefaultSymbol);
    if (head.btHasAlt && UsableDouble(head.dAlt)) pWp->fAltitude = ToFloat(head.dAlt);
    else pWp->dwFlags |= wfNoAltitude;
    if (pTail) {
      MpsWaypointTail tail;
      std::memcpy(&tail, pTail, sizeof tail);
      pWp->strDescription = Text(strComment, opts);
      if (tail.btHasProximity && UsableDouble(tail.dProximity)) pWp->fProximity = ToFloat(tail.dProximity);
      if ((tail.dwSymbol & 0xFFFF) < 0x4000) pWp->SetType(tail.dwSymbol & 0xFFFF);
      if (tail.dwDisplay < 3) pWp->SetShow(tail.dwDisplay);
      if (tail.dwAttribute <= 0xFF) pWp->btAttribute = uint8_t(tail.dwAttribute);
      if (tail.btHasDepth && UsableDouble(tail.dDepth)) {
        pWp->fDepth = ToFloat(tail.dDepth);
        pWp->dwFlags |= wfDepth;
      }
    }
    store.AddWaypoint(pWp);
    ++result.cWaypoints;
  }
  result.fTruncated = walker.IsTruncated();
  FinishImport(store, false, result);
}

void ImportGdbWaypoints(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                        ImportResult& result) {
  ImportGdb(store, pb, cb, opts, false, result);
}

void ImportGdbRoutes(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                     ImportResult& result) {
  ImportGdb(store, pb, cb, opts, true, result);
}

}  // namespace exchange
