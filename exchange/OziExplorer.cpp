// OziExplorer waypoint (.wpt) and route (.rte) files: comma-separated text
// lines in an ANSI code page.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/CodePage.h"
#include "exchange/Exchange.h"

namespace exchange {

namespace {

const char c_szWptHeader[] = "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n";
const char c_szRteHeader[] = "OziExplorer Route File Version 1.0\r\nWGS 84\r\nReserved 1\r\nReserved 2\r\n";
const char c_szDatum[] = "WGS 84";
const double c_dFeetPerMetre = 3.28084;
const double c_dNoAltitudeFeet = -777;
const size_t c_cbMaxComment = 40;
const char c_chComma = char(209);  // commas inside a field

bool StartsWith(const uint8_t* pb, size_t cb, const char* psz) {
  size_t cch = std::strlen(psz);
  return pb && cb >= cch && std::memcmp(pb, psz, cch) == 0;
}

void Append(std::vector<uint8_t>& out, std::string_view s) { out.insert(out.end(), s.begin(), s.end()); }

std::string Fixed6(double d) {
  char sz[64];
  std::snprintf(sz, sizeof sz, "%.6f", d);
  return sz;
}

std::string Unsigned(unsigned long long n) { return std::to_string(n); }

std::string Lat(const Waypoint& wp) { return Fixed6(StoredToDegrees(wp.y)); }
std::string Lon(const Waypoint& wp) { return Fixed6(StoredToDegrees(wp.x)); }

// The lines of a text file; CR LF or LF ends a line, a final line without
// an end counts too.
std::vector<std::string_view> SplitLines(const uint8_t* pb, size_t cb) {
  std::vector<std::string_view> lines;
  std::string_view all(reinterpret_cast<const char*>(pb), pb ? cb : 0);
  size_t i = 0;
  while (i < all.size()) {
    size_t j = all.find('\n', i);
    size_t end = j == std::string_view::npos ? all.size() : j;
    size_t e = end;
    if (e > i && all[e - 1] == '\r') --e;
    lines.push_back(all.substr(i, e - i));
    if (j == std::string_view::npos) break;
    i = j + 1;
  }
  return lines;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  for (;;) {
    size_t j = line.find(',', i);
    if (j == std::string_view::npos) {
      fields.push_back(line.substr(i));
      break;
    }
    fields.push_back(line.substr(i, j - i));
    i = j + 1;
  }
  return fields;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A number filling the whole field (blanks around it allowed).
bool ParseDouble(std::string_view field, double& d) {
  std::string s(Trim(field));
  if (s.empty()) return false;
  char* pEnd = nullptr;
  d = std::strtod(s.c_str(), &pEnd);
  return pEnd == s.c_str() + s.size() && std::isfinite(d);
}

std::string_view Field(const std::vector<std::string_view>& fields, size_t n) {  // n from 1
  return n - 1 < fields.size() ? fields[n - 1] : std::string_view();
}

// Line 2: the datum up to the first comma must be "WGS 84" or a leading part.
bool CheckDatum(const std::vector<std::string_view>& lines, const ExchangeOptions& opts, ImportResult& result) {
  std::string_view datum = lines.size() >= 2 ? lines[1] : std::string_view();
  size_t iComma = datum.find(',');
  if (iComma != std::string_view::npos) datum = datum.substr(0, iComma);
  if (datum.size() <= std::strlen(c_szDatum) && std::string_view(c_szDatum).substr(0, datum.size()) == datum)
    return true;
  result.fRefused = true;
  result.idsMessage = c_idsUnsupportedDatum;
  result.strDatum = AnsiToU16(datum, opts.nCodePage);
  return false;
}

std::u16string Text(std::string_view s, const ExchangeOptions& opts) { return AnsiToU16(s, opts.nCodePage); }

bool InRange(double dLat, double dLon) { return std::fabs(dLat) <= 90 && std::fabs(dLon) <= 180; }

Waypoint* NewImportedWaypoint(std::string_view name, double dLat, double dLon, const ExchangeOptions& opts) {
  Waypoint* pWp = new Waypoint;
  pWp->strName = Text(name, opts);
  pWp->x = DegreesToStored(dLon);
  pWp->y = DegreesToStored(dLat);
  pWp->dwFlags |= wfNoAltitude;
  pWp->SetShow(wsIconAndName);
  pWp->SetType(c_nDefaultSymbol);
  return pWp;
}

}  // namespace

std::string OziText(const std::u16string& str, unsigned nCodePage, size_t cbMax) {
  std::string s = U16ToAnsi(str, nCodePage);
  for (char& ch : s) {
    if (ch == '\r' || ch == '\n' || ch == 0) ch = ' ';
    else if (ch == ',') ch = c_chComma;
  }
  if (cbMax && s.size() > cbMax) s.resize(cbMax);
  return s;
}

void ExportOziWaypoints(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out) {
  out.clear();
  Append(out, c_szWptHeader);
  unsigned n = 0;
  for (const Waypoint* p = store.FirstWaypoint(); p; p = p->pNext) {
    if (p->IsDeleted()) continue;
    ++n;
    std::string line = Unsigned(n) + ",";
    line += p->strName.empty() ? Unsigned(n) : OziText(p->strName, opts.nCodePage);
    line += "," + Lat(*p) + "," + Lon(*p) + ", ";
    if (p->dTime != 0) line += Fixed6(p->dTime);
    line += ", 0, 1, 3,         0,     65535,";
    line += OziText(p->strDescription, opts.nCodePage, c_cbMaxComment);
    line += ", 0, 0, " + Fixed6(p->fProximity) + ", ";
    line += p->HasAltitude() ? Fixed6(double(p->fAltitude) * c_dFeetPerMetre) : std::string("-777");
    line += "\r\n";
    Append(out, line);
  }
}

void ExportOziRoutes(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out) {
  out.clear();
  Append(out, c_szRteHeader);
  unsigned r = 0, p = 0;
  for (const Route* pRoute = store.FirstRoute(); pRoute; pRoute = pRoute->pNext) {
    if (pRoute->IsDeleted()) continue;
    std::string line = "R," + Unsigned(r) + "," + OziText(pRoute->strName, opts.nCodePage) + "," +
                       OziText(pRoute->strText2, opts.nCodePage) + "," + Unsigned(pRoute->crColor) + "\r\n";
    Append(out, line);
    unsigned i = 0;
    for (const RoutePoint& rp : pRoute->points) {
      const Waypoint* pWp = rp.pWaypoint;
      line = "W," + Unsigned(r) + "," + Unsigned(i + 1) + "," + Unsigned(p) + ",";
      line += (pWp && !pWp->strName.empty()) ? OziText(pWp->strName, opts.nCodePage) : Unsigned(p);
      line += "," + Fixed6(StoredToDegrees(rp.GetY())) + "," + Fixed6(StoredToDegrees(rp.GetX())) + ",";
      line += (pWp && pWp->dTime != 0) ? Fixed6(pWp->dTime) : std::string(" ");
      line += ",0,1,3,0,65535,";
      if (pWp) line += OziText(pWp->strDescription, opts.nCodePage, c_cbMaxComment);
      line += ",0,0,\r\n";
      Append(out, line);
      ++i;
      ++p;
    }
    ++r;
  }
}

bool IsOziWaypointFile(const uint8_t* pb, size_t cb) {
  return StartsWith(pb, cb, "OziExplorer CE Waypoint File") || StartsWith(pb, cb, "OziExplorer Waypoint File");
}

bool IsOziRouteFile(const uint8_t* pb, size_t cb) {
  return StartsWith(pb, cb, "OziExplorer CE Route File") || StartsWith(pb, cb, "OziExplorer Route File");
}

void ImportOziWaypoints(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                        ImportResult& result) {
  if (!IsOziWaypointFile(pb, cb)) return;
  std::vector<std::string_view> lines = SplitLines(pb, cb);
  if (!CheckDatum(lines, opts, result)) return;
  for (size_t iLine = 4; iLine < lines.size(); ++iLine) {
    std::vector<std::string_view> fields = SplitFields(lines[iLine]);
    double dLat, dLon;
    if (!ParseDouble(Field(fields, 3), dLat) || !ParseDouble(Field(fields, 4), dLon) || !InRange(dLat, dLon))
      continue;
    Waypoint* pWp = NewImportedWaypoint(Field(fields, 2), dLat, dLon, opts);
    double d;
    if (ParseDouble(Field(fields, 5), d) && d != 0) pWp->dTime = d;
    if (fields.size() >= 12) pWp->strDescription = Text(Field(fields, 11), opts);
    if (ParseDouble(Field(fields, 14), d) && d > 0 && d < 1e30) pWp->fProximity = float(d);
    if (ParseDouble(Field(fields, 15), d) && d > c_dNoAltitudeFeet && d < 1e30) {
      pWp->fAltitude = float(d / c_dFeetPerMetre);
      pWp->dwFlags &= ~wfNoAltitude;
    }
    store.AddWaypoint(pWp);
    ++result.cWaypoints;
  }
  result.idsMessage = c_idsImportedWaypoints;
}

void ImportOziRoutes(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                     ImportResult& result) {
  if (!IsOziRouteFile(pb, cb)) return;
  std::vector<std::string_view> lines = SplitLines(pb, cb);
  if (!CheckDatum(lines, opts, result)) return;
  Route* pRoute = nullptr;
  auto finish = [&]() {
    if (!pRoute) return;
    if (pRoute->points.empty()) {
      delete pRoute;
    } else {
      RecomputeRoute(*pRoute);
      store.AddRoute(pRoute);
      ++result.cRoutes;
    }
    pRoute = nullptr;
  };
  for (size_t iLine = 4; iLine < lines.size(); ++iLine) {
    std::string_view line = lines[iLine];
    if (line.empty()) continue;
    std::vector<std::string_view> fields = SplitFields(line);
    if (line[0] == 'R') {
      finish();
      pRoute = new Route;
      pRoute->crColor = c_crNewRoute;
      pRoute->dTime = opts.dNow;
      pRoute->strName = Text(Field(fields, 3), opts);
      if (fields.size() >= 5) {
        pRoute->strText2 = Text(Field(fields, 4), opts);
        double d;
        if (ParseDouble(Field(fields, 5), d) && d >= 0 && d <= 0xFFFFFFFF) pRoute->crColor = uint32_t(d);
      }
    } else if (line[0] == 'W') {
      // A route point as the exporter writes it: W, route, index, number,
      // name, latitude, longitude, date, 5 numbers, comment, ...
      double dLat, dLon;
      if (!ParseDouble(Field(fields, 6), dLat) || !ParseDouble(Field(fields, 7), dLon) || !InRange(dLat, dLon))
        continue;
      if (!pRoute) {
        // points before any 'R' line: a route of their own
        pRoute = new Route;
        pRoute->crColor = c_crNewRoute;
        pRoute->dTime = opts.dNow;
      }
      Waypoint* pWp = NewImportedWaypoint(Field(fields, 5), dLat, dLon, opts);
      pWp->dwFlags |= wfMadeForRoute;
      double d;
      if (ParseDouble(Field(fields, 8), d) && d != 0) pWp->dTime = d;
      pWp->strDescription = Text(Field(fields, 14), opts);
      store.AddWaypoint(pWp);
      ++result.cWaypoints;
      RoutePoint rp;
      rp.pWaypoint = pWp;
      rp.btKind = rpkVia;
      pWp->AddRef();
      pRoute->points.push_back(std::move(rp));
    }
  }
  finish();
  result.idsMessage = c_idsImportedRoutes;
}

}  // namespace exchange
