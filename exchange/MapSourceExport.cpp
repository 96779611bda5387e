// MPS and GDB export of the store's waypoints and routes.
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "exchange/CodePage.h"
#include "exchange/Exchange.h"
#include "exchange/detail/MapSourceRecords.h"
#include "platform/Debug.h"
#include "store/Bytes.h"

using namespace exchange::detail;
using store::CByteWriter;

namespace exchange {

namespace {

const double c_dUnixEpochDays = 25569.0;

// Names made unique with " (n)" in store order: the first holder of a name
// keeps it, later ones get the first free " (n)" from the number of earlier
// holders on. Unnamed records get an empty name.
class CUniqueNames {
 public:
  std::string Make(const std::string& strName) {
    if (strName.empty()) return strName;
    int& cEarlier = m_counts[strName];
    std::string str = strName;
    if (cEarlier > 0 || m_used.count(str)) {
      int n = cEarlier > 0 ? cEarlier : 1;
      do {
        str = strName + " (" + std::to_string(n++) + ")";
      } while (m_used.count(str));
    }
    ++cEarlier;
    m_used.insert(str);
    return str;
  }

 private:
  std::map<std::string, int> m_counts;
  std::set<std::string> m_used;
};

// Texts end at a zero byte in these files: one inside a text becomes a blank.
std::string Ansi(const std::u16string& str, const ExchangeOptions& opts) {
  std::string s = U16ToAnsi(str, opts.nCodePage);
  for (char& ch : s)
    if (ch == 0) ch = ' ';
  return s;
}

void WriteOptionalDouble(CByteWriter& w, bool fPresent, double d) {
  w.Byte(fPresent ? 1 : 0);
  if (fPresent) w.Double(d);
}

// Seconds since 1970 of a waypoint date, when it has one that fits.
bool UnixSeconds(double dTime, uint32_t& dwSeconds) {
  if (dTime == 0) return false;
  double d = std::floor((dTime - c_dUnixEpochDays) * 86400.0 + 0.5);
  if (d < 0 || d > 4294967295.0) return false;
  dwSeconds = uint32_t(d);
  return true;
}

void WriteRecordHead(CByteWriter& w, uint32_t dwLen, uint8_t btType) {
  w.Dword(dwLen);
  w.Byte(btType);
}

void WriteEndRecord(CByteWriter& w) {
  WriteRecordHead(w, 2, c_btRecEnd);
  w.Byte(0);
  w.Byte(1);
}

void WriteMpsHeader(CByteWriter& w) {
  w.Bytes(c_abMpsSignature, c_cbMsSignature);
  WriteRecordHead(w, 2, c_btRecFormat);
  w.Byte(0x68);
  w.Byte(0x00);
  WriteRecordHead(w, 26, c_btRecCreator);
  w.Word(413);
  w.Bytes("\x4B\x47\x00", 3);
  w.Bytes("Mar  5 2006", 12);
  w.Bytes("20:01:36", 9);
}

void WriteGdbHeader(CByteWriter& w) {
  w.Bytes(c_abGdbSignature, c_cbMsSignature);
  WriteRecordHead(w, 2, c_btRecFormat);
  w.Byte(0x6B);
  w.Byte(0x00);
  WriteRecordHead(w, 26, c_btRecCreator);
  w.Word(600);
  w.Bytes("\x4B\x47\x00", 3);
  w.Bytes("Mar  5 2006", 12);
  w.Bytes("20:01:36", 9);
  w.Bytes("MapSource", 10);
}

// The fixed part before the coordinates: class, empty country code, the
// subclass (zero, FF × 12, zero × 2, −1).
void WriteWaypointClassBlock(CByteWriter& w, uint8_t btClass, size_t cbLeadingZeros) {
  w.Byte(btClass);
  w.Repeated(0, cbLeadingZeros);
  w.Repeated(0xFF, 12);
  w.Repeated(0, 2);
  w.Int(-1);
}

void WriteGdbWaypoint(CByteWriter& w, const Waypoint& wp, const std::string& strName, const ExchangeOptions& opts) {
  size_t offHead = w.Pos();
  WriteRecordHead(w, 0, c_btRecWaypoint);
  size_t offBody = w.Pos();
  w.CStr(strName);
  WriteWaypointClassBlock(w, (wp.dwFlags & wfMadeForRoute) ? 12 : 0, 8);
  w.Int(wp.y);
  w.Int(wp.x);
  WriteOptionalDouble(w, wp.HasAltitude(), wp.fAltitude);
  w.CStr(Ansi(wp.strDescription, opts));
  WriteOptionalDouble(w, wp.fProximity != 0, wp.fProximity);
  w.Dword(wp.GetShow());
  w.Dword(0);
  w.Dword(wp.GetType());
  w.Dword(0);
  WriteOptionalDouble(w, (wp.dwFlags & wfDepth) != 0, wp.fDepth);
  w.Repeated(0, 7);
  w.CStr(Ansi(wp.strText3, opts));
  w.Repeated(0, 2);
  WriteOptionalDouble(w, (wp.dwFlags & wfWaterTemperature) != 0, wp.fWaterTemperature);
  uint32_t dwSeconds = 0;
  bool fTime = UnixSeconds(wp.dTime, dwSeconds);
  w.Byte(fTime ? 1 : 0);
  if (fTime) w.Dword(dwSeconds);
  // The length is what was written: name + comment + third text + 76, less
  // 8 without altitude, more 8 each with proximity, depth and temperature
  // and 4 with a time.
  w.PatchDword(offHead, uint32_t(w.Pos() - offBody));
}

struct GdbLinkPoint {
  int32_t nLat;
  int32_t nLon;
};

void WriteGdbRoute(CByteWriter& w, const Route& route, const std::string& strName,
                   const std::map<const Waypoint*, std::string>& names, const ExchangeOptions& opts) {
  size_t offHead = w.Pos();
  WriteRecordHead(w, 0, c_btRecRoute);
  size_t offBody = w.Pos();
  w.CStr(strName);
  w.Byte(0);  // btAutoNamed
  w.Byte(0);  // btMinMaxNotDefined
  // bounding rectangle: north-east, then south-west, in semicircles
  w.Int(int32_t(uint32_t(route.rcBounds.bottom) << 1));
  w.Int(int32_t(uint32_t(route.rcBounds.right) << 1));
  w.Byte(0);
  w.Int(int32_t(uint32_t(route.rcBounds.top) << 1));
  w.Int(int32_t(uint32_t(route.rcBounds.left) << 1));
  w.Byte(0);

  // Points refer to waypoints by the name of their W record: points on a
  // waypoint without one (deleted or unnamed) are left out with the points
  // that have no waypoint, or readers could not resolve them.
  std::vector<const RoutePoint*> points;
  for (const RoutePoint& rp : route.points)
    if (rp.pWaypoint && names.count(rp.pWaypoint)) points.push_back(&rp);
  w.Dword(uint32_t(points.size()));
  for (size_t i = 0; i < points.size(); ++i) {
    const Waypoint* pWp = points[i]->pWaypoint;
    w.CStr(names.find(pWp)->second);
    // class, country and subclass as in the waypoint record
    w.Repeated(0, 9);
    w.Int(-1);
    w.Int(-1);
    w.Int(-1);
    w.Repeated(0, 2);
    w.Int(-1);
    bool fLast = i + 1 == points.size();
    // link head: no aviation data, 3, −1, link point count
    w.Byte(0);
    w.Byte(3);
    w.Repeated(0, 3);
    w.Int(-1);
    w.Repeated(0, 10);
    w.Dword(fLast ? 0 : 2);
    if (fLast) {
      w.Byte(1);  // btLastLink
      break;
    }
    const Waypoint* pNext = points[i + 1]->pWaypoint;
    GdbLinkPoint a = {pWp->y, pWp->x}, b = {pNext->y, pNext->x};
    w.Int(a.nLat);
    w.Int(a.nLon);
    w.Byte(0);
    w.Int(b.nLat);
    w.Int(b.nLon);
    w.Byte(0);
    w.Byte(0);  // btLastLink
    w.Int(std::max(a.nLat, b.nLat));
    w.Int(std::max(a.nLon, b.nLon));
    w.Byte(0);
    w.Int(std::min(a.nLat, b.nLat));
    w.Int(std::min(a.nLon, b.nLon));
    w.Byte(0);
  }
  if (!route.strText2.empty()) w.Bytes(Ansi(route.strText2, opts).data(), Ansi(route.strText2, opts).size());
  w.Byte(0);
  w.PatchDword(offHead, uint32_t(w.Pos() - offBody));
}

void ExportGdb(CWaypointStore& store, const ExchangeOptions& opts, bool fRoutes, std::vector<uint8_t>& out) {
  out.clear();
  CByteWriter w(out);
  WriteGdbHeader(w);
  CUniqueNames unique;
  std::map<const Waypoint*, std::string> names;
  for (const Waypoint* p = store.FirstWaypoint(); p; p = p->pNext) {
    if (p->IsDeleted()) continue;
    std::string strName = unique.Make(Ansi(p->strName, opts));
    if (strName.empty()) continue;
    names[p] = strName;
    WriteGdbWaypoint(w, *p, strName, opts);
  }
  if (fRoutes) {
    CUniqueNames uniqueRoutes;
    for (Route* p = store.FirstRoute(); p; p = p->pNext) {
      if (p->IsDeleted() || p->IsEmpty()) continue;
      bool fAny = false;
      for (const RoutePoint& rp : p->points) fAny = fAny || (rp.pWaypoint && names.count(rp.pWaypoint));
      if (!fAny) continue;
      RecomputeBounds(*p);
      WriteGdbRoute(w, *p, uniqueRoutes.Make(Ansi(p->strName, opts)), names, opts);
    }
  }
  WriteEndRecord(w);
}

}  // namespace

void ExportMpsWaypoints(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out) {
  out.clear();
  CByteWriter w(out);
  WriteMpsHeader(w);
  CUniqueNames unique;
  for (const Waypoint* p = store.FirstWaypoint(); p; p = p->pNext) {
    if (p->IsDeleted() || p->strName.empty()) continue;
    std::string strName = unique.Make(Ansi(p->strName, opts));
    std::string strComment = Ansi(p->strDescription, opts);
    uint32_t dwLen = uint32_t(strName.size() + strComment.size() + 87);
    WriteRecordHead(w, dwLen, c_btRecWaypoint);
    size_t cPos = w.Pos();
    w.CStr(strName);
    WriteWaypointClassBlock(w, 0, 8);
    w.Int(p->y);
    w.Int(p->x);
    w.Byte(p->HasAltitude() ? 1 : 0);
    w.Double(p->HasAltitude() ? p->fAltitude : 0.0);
    w.CStr(strComment);
    w.Byte(p->fProximity != 0 ? 1 : 0);
    w.Double(p->fProximity);
    w.Dword(p->GetShow());
    w.Dword(p->btAttribute);
    w.Dword(p->GetType());
    w.Dword(0);
    w.Byte((p->dwFlags & wfDepth) ? 1 : 0);
    w.Double((p->dwFlags & wfDepth) ? p->fDepth : 0.0);
    w.Repeated(0, 7);
    ASSERT(w.Pos() - cPos == dwLen);
    (void)cPos;
  }
  WriteEndRecord(w);
}

void ExportGdbWaypoints(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out) {
  ExportGdb(store, opts, false, out);
}

void ExportGdbRoutes(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out) {
  ExportGdb(store, opts, true, out);
}

}  // namespace exchange
