// GPX reading and writing, and the exchange between GPX documents, the
// store and the MPS track files.
#include "exchange/Gpx.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "exchange/CodePage.h"
#include "exchange/MapSource.h"
#include "exchange/detail/MapSourceRecords.h"
#include "platform/Str.h"
#include "platform/Xml.h"
#include "res/Res.h"
#include "store/Bytes.h"

using namespace exchange::detail;
using store::CByteWriter;

namespace exchange {

namespace {

const char c_szGpx10[] = "http://www.topografix.com/GPX/1/0";
const char c_szGpx11[] = "http://www.topografix.com/GPX/1/1";
const double c_dUnixEpochDays = 25569.0;  // 1970-01-01 in days since 1899-12-30

// ------------------------------------------------------------------ reading

// What an open element of the document is to the reader.
enum GpxNode {
  gnSkip,      // foreign, extensions or not read: its whole subtree is passed over
  gnRoot,
  gnWaypoint,
  gnRoute,
  gnRoutePoint,
  gnTrack,
  gnSegment,
  gnTrackPoint,
  gnText,      // a text element of the enclosing node
};

enum GpxText {
  gtNone,
  gtName,
  gtComment,
  gtDescription,
  gtSymbol,
  gtElevation,
  gtTime,
};

bool ParseNumber(const std::string& str, double& d) {
  // xsd:decimal: optional sign, digits, one point; blanks around allowed
  size_t i = 0, n = str.size();
  while (i < n && (str[i] == ' ' || str[i] == '\t' || str[i] == '\r' || str[i] == '\n')) ++i;
  while (n > i && (str[n - 1] == ' ' || str[n - 1] == '\t' || str[n - 1] == '\r' || str[n - 1] == '\n')) --n;
  if (i == n || n - i > 64) return false;
  std::string s = str.substr(i, n - i);
  size_t k = 0;
  if (s[k] == '+' || s[k] == '-') ++k;
  bool fDigit = false, fPoint = false;
  for (; k < s.size(); ++k) {
    if (s[k] >= '0' && s[k] <= '9') fDigit = true;
    else if (s[k] == '.' && !fPoint) fPoint = true;
    else if ((s[k] == 'e' || s[k] == 'E') && fDigit) break;  // exponents, as some writers use
    else return false;
  }
  if (!fDigit) return false;
  char* pEnd = nullptr;
  d = std::strtod(s.c_str(), &pEnd);
  return pEnd == s.c_str() + s.size() && std::isfinite(d);
}

bool ParseDigits(const char*& p, int cDigits, int& n) {
  n = 0;
  for (int i = 0; i < cDigits; ++i, ++p) {
    if (*p < '0' || *p > '9') return false;
    n = n * 10 + (*p - '0');
  }
  return true;
}

// Days since 1970-01-01 of a civil date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = unsigned(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + (long long)doe - 719468;
}

std::string Trim(const std::string& s) {
  size_t i = 0, n = s.size();
  while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
  while (n > i && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n')) --n;
  return s.substr(i, n - i);
}

class CGpxReader : public platform::CXmlHandler {
 public:
  explicit CGpxReader(GpxDocument& doc) : m_doc(doc) {}

  bool IsGood() const { return m_fRoot && !m_fBad; }

  void OnStartElement(const char* pszNamespace, const char* pszName, const platform::XmlAttribute* pAttributes,
                      size_t cAttributes) override {
    if (m_fBad) return;
    GpxNode parent = m_stack.empty() ? gnSkip : m_stack.back();
    if (m_stack.empty()) {
      // the document element
      if (std::strcmp(pszName, "gpx") != 0) {
        m_fBad = true;
        return;
      }
      if (std::strcmp(pszNamespace, c_szGpx10) == 0) m_doc.nVersion = 10;
      else if (std::strcmp(pszNamespace, c_szGpx11) == 0) m_doc.nVersion = 11;
      else if (*pszNamespace) {
        m_fBad = true;  // a gpx element of another vocabulary
        return;
      } else {
        m_doc.nVersion = 11;
        for (size_t i = 0; i < cAttributes; ++i)
          if (std::strcmp(pAttributes[i].pszName, "version") == 0 && std::strcmp(pAttributes[i].pszValue, "1.0") == 0)
            m_doc.nVersion = 10;
      }
      m_strNamespace = pszNamespace;
      m_fRoot = true;
      m_stack.push_back(gnRoot);
      return;
    }
    GpxNode node = gnSkip;
    m_text = gtNone;
    if (parent != gnSkip && parent != gnText && m_strNamespace == pszNamespace) {
      std::string name = pszName;
      switch (parent) {
        case gnRoot:
          if (name == "wpt") node = gnWaypoint;
          else if (name == "rte") node = gnRoute;
          else if (name == "trk") node = gnTrack;
          break;
        case gnRoute:
          if (name == "rtept") node = gnRoutePoint;
          else node = TextNode(name, false);
          break;
        case gnTrack:
          if (name == "trkseg") node = gnSegment;
          else node = TextNode(name, false);
          break;
        case gnSegment:
          if (name == "trkpt") node = gnTrackPoint;
          break;
        case gnWaypoint:
        case gnRoutePoint:
        case gnTrackPoint:
          node = TextNode(name, true);
          break;
        default:
          break;
      }
    }
    switch (node) {
      case gnWaypoint:
      case gnRoutePoint:
      case gnTrackPoint:
        m_point = GpxPoint();
        if (!ReadPosition(pAttributes, cAttributes, m_point)) m_fBad = true;
        break;
      case gnRoute:
        m_doc.routes.emplace_back();
        break;
      case gnTrack:
        m_doc.tracks.emplace_back();
        break;
      case gnSegment:
        m_doc.tracks.back().segments.emplace_back();
        break;
      case gnText:
        m_strText.clear();
        break;
      default:
        break;
    }
    m_stack.push_back(node);
    m_texts.push_back(m_text);
  }

  void OnEndElement() override {
    if (m_fBad || m_stack.empty()) return;
    GpxNode node = m_stack.back();
    GpxText text = m_texts.empty() ? gtNone : m_texts.back();
    m_stack.pop_back();
    if (!m_texts.empty()) m_texts.pop_back();
    GpxNode parent = m_stack.empty() ? gnSkip : m_stack.back();
    switch (node) {
      case gnWaypoint:
        m_doc.waypoints.push_back(m_point);
        break;
      case gnRoutePoint:
        m_doc.routes.back().points.push_back(m_point);
        break;
      case gnTrackPoint:
        m_doc.tracks.back().segments.back().push_back(m_point);
        break;
      case gnText:
        TakeText(parent, text);
        break;
      default:
        break;
    }
  }

  void OnText(const char* pch, size_t cch) override {
    if (m_fBad || m_stack.empty() || m_stack.back() != gnText) return;
    // a text of a few kilobytes is all any field needs
    if (m_strText.size() < 65536) m_strText.append(pch, cch < 65536 ? cch : 65536);
  }

  bool ShouldStop() const override { return m_fBad; }

 private:
  // A text element of a point (fPoint) or of a route or track.
  GpxNode TextNode(const std::string& name, bool fPoint) {
    if (name == "name") m_text = gtName;
    else if (name == "cmt") m_text = gtComment;
    else if (name == "desc") m_text = gtDescription;
    else if (fPoint && name == "sym") m_text = gtSymbol;
    else if (fPoint && name == "ele") m_text = gtElevation;
    else if (fPoint && name == "time") m_text = gtTime;
    return m_text == gtNone ? gnSkip : gnText;
  }

  static bool ReadPosition(const platform::XmlAttribute* pAttributes, size_t cAttributes, GpxPoint& pt) {
    bool fLat = false, fLon = false;
    for (size_t i = 0; i < cAttributes; ++i) {
      if (std::strcmp(pAttributes[i].pszName, "lat") == 0) fLat = ParseNumber(pAttributes[i].pszValue, pt.dLat);
      else if (std::strcmp(pAttributes[i].pszName, "lon") == 0) fLon = ParseNumber(pAttributes[i].pszValue, pt.dLon);
    }
    if (!fLat || !fLon || pt.dLat < -90 || pt.dLat > 90 || pt.dLon < -180 || pt.dLon > 180) return false;
    if (pt.dLon == 180) pt.dLon = -180;
    return true;
  }

  void TakeText(GpxNode parent, GpxText text) {
    std::u16string str = platform::Utf8ToU16(m_strText);
    if (parent == gnWaypoint || parent == gnRoutePoint || parent == gnTrackPoint) {
      switch (text) {
        case gtName: m_point.strName = str; break;
        case gtComment: m_point.strComment = str; break;
        case gtDescription: m_point.strDescription = str; break;
        case gtSymbol: m_point.strSymbol = platform::Utf8ToU16(Trim(m_strText)); break;
        case gtElevation:
          m_point.fEle = ParseNumber(m_strText, m_point.dEle) && std::fabs(m_point.dEle) < 1e7;
          break;
        case gtTime:
          if (!ParseIsoTime(Trim(m_strText), m_point.dTime)) m_point.dTime = 0;
          break;
        default:
          break;
      }
    } else if (parent == gnRoute) {
      GpxRoute& route = m_doc.routes.back();
      if (text == gtName) route.strName = str;
      else if (text == gtComment) route.strComment = str;
      else if (text == gtDescription) route.strDescription = str;
    } else if (parent == gnTrack) {
      GpxTrack& track = m_doc.tracks.back();
      if (text == gtName) track.strName = str;
      else if (text == gtDescription) track.strDescription = str;
    }
  }

  GpxDocument& m_doc;
  std::vector<GpxNode> m_stack;
  std::vector<GpxText> m_texts;
  std::string m_strNamespace;  // of the document element: GPX elements are in it
  GpxPoint m_point;
  GpxText m_text = gtNone;
  std::string m_strText;
  bool m_fRoot = false;
  bool m_fBad = false;
};

// ------------------------------------------------------------------ writing

void AppendEscaped(std::string& out, const std::u16string& str) {
  std::string s = platform::U16ToUtf8(str);
  for (char ch : s) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\r': out += "&#13;"; break;
      default:
        // control characters have no place in XML 1.0 text
        if (static_cast<unsigned char>(ch) < 0x20 && ch != '\n' && ch != '\t') out += ' ';
        else out += ch;
        break;
    }
  }
}

void AppendTextElement(std::string& out, const char* pszIndent, const char* pszTag, const std::u16string& str) {
  if (str.empty()) return;
  out += pszIndent;
  out += '<';
  out += pszTag;
  out += '>';
  AppendEscaped(out, str);
  out += "</";
  out += pszTag;
  out += ">\n";
}

void AppendPoint(std::string& out, const char* pszIndent, const char* pszTag, const GpxPoint& pt) {
  char sz[128];
  double dLon = pt.dLon >= 180 ? pt.dLon - 360 : pt.dLon;
  std::snprintf(sz, sizeof sz, "%s<%s lat=\"%.9f\" lon=\"%.9f\">\n", pszIndent, pszTag, pt.dLat, dLon);
  out += sz;
  std::string strInner = std::string(pszIndent) + "  ";
  if (pt.fEle && std::isfinite(pt.dEle) && std::fabs(pt.dEle) < 1e7) {
    std::snprintf(sz, sizeof sz, "%s<ele>%.3f</ele>\n", strInner.c_str(), pt.dEle);
    out += sz;
  }
  if (pt.dTime != 0) {
    std::string strTime = FormatIsoTime(pt.dTime);
    if (!strTime.empty()) out += strInner + "<time>" + strTime + "</time>\n";
  }
  AppendTextElement(out, strInner.c_str(), "name", pt.strName);
  AppendTextElement(out, strInner.c_str(), "cmt", pt.strComment);
  AppendTextElement(out, strInner.c_str(), "desc", pt.strDescription);
  AppendTextElement(out, strInner.c_str(), "sym", pt.strSymbol);
  out += pszIndent;
  out += "</";
  out += pszTag;
  out += ">\n";
}

// ------------------------------------------------------------------ symbols

struct SymbolNames {
  std::vector<std::u16string> english;
  std::vector<std::u16string> local;
};

const SymbolNames& GetSymbolNames() {
  static const SymbolNames s_names = [] {
    SymbolNames names;
    for (unsigned n = 0; n < c_cWaypointCount; ++n) {
      names.english.push_back(platform::Utf8ToU16(c_apszGpxSymbolNames[n]));
      char16_t sz[128] = {0};
      LoadResString(c_idsFirstSymbolName + n, sz, 128);
      names.local.push_back(sz[0] == u'<' ? std::u16string() : std::u16string(sz));
    }
    return names;
  }();
  return s_names;
}

// ------------------------------------------------------------------ store

Waypoint* NewWaypointFromPoint(const GpxPoint& pt) {
  Waypoint* pWp = new Waypoint;
  pWp->strName = pt.strName;
  pWp->strDescription = !pt.strComment.empty() ? pt.strComment : pt.strDescription;
  pWp->x = DegreesToStored(pt.dLon);
  pWp->y = DegreesToStored(pt.dLat);
  if (pt.fEle) pWp->fAltitude = float(pt.dEle);
  else pWp->dwFlags |= wfNoAltitude;
  pWp->dTime = pt.dTime;
  pWp->SetShow(wsIconAndName);
  int nSymbol = pt.strSymbol.empty() ? -1 : FindSymbolByName(pt.strSymbol);
  pWp->SetType(nSymbol >= 0 ? unsigned(nSymbol) : c_nDefaultSymbol);
  return pWp;
}

GpxPoint PointFromWaypoint(const Waypoint& wp) {
  GpxPoint pt;
  pt.dLat = StoredToDegrees(wp.y);
  pt.dLon = StoredToDegrees(wp.x);
  pt.fEle = wp.HasAltitude();
  pt.dEle = wp.fAltitude;
  pt.dTime = wp.dTime;
  pt.strName = wp.strName;
  pt.strComment = wp.strDescription;
  pt.strSymbol = GetSymbolGpxName(wp.GetType());
  return pt;
}

void Import(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts, bool fRoutes,
            ImportResult& result) {
  GpxDocument doc;
  if (!ReadGpx(pb, cb, doc)) {
    result.fRefused = true;
    result.idsMessage = c_idsGpxDamaged;
    return;
  }
  GpxToStore(doc, fRoutes, store, opts, result);
  result.cTracks = int(doc.tracks.size());
  if (!doc.tracks.empty()) WriteMpsTracks(doc.tracks, result.trackFile);
}

}  // namespace

// ------------------------------------------------------------------ public

bool ParseIsoTime(const std::string& str, double& dDays) {
  const char* p = str.c_str();
  int y, mo, d, h, mi, s;
  if (!ParseDigits(p, 4, y) || *p++ != '-' || !ParseDigits(p, 2, mo) || *p++ != '-' || !ParseDigits(p, 2, d))
    return false;
  if (*p != 'T' && *p != 't' && *p != ' ') return false;
  ++p;
  if (!ParseDigits(p, 2, h) || *p++ != ':' || !ParseDigits(p, 2, mi) || *p++ != ':' || !ParseDigits(p, 2, s))
    return false;
  double dFraction = 0;
  if (*p == '.' || *p == ',') {
    ++p;
    double dScale = 0.1;
    if (*p < '0' || *p > '9') return false;
    for (; *p >= '0' && *p <= '9'; ++p, dScale /= 10) dFraction += (*p - '0') * dScale;
  }
  long long nOffset = 0;  // seconds east of UTC
  if (*p == 'Z' || *p == 'z') {
    ++p;
  } else if (*p == '+' || *p == '-') {
    int nSign = *p++ == '-' ? -1 : 1;
    int oh, om = 0;
    if (!ParseDigits(p, 2, oh)) return false;
    if (*p == ':') ++p;
    if (*p && !ParseDigits(p, 2, om)) return false;
    if (oh > 23 || om > 59) return false;
    nOffset = nSign * (oh * 3600LL + om * 60LL);
  }
  if (*p) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 24 || mi > 59 || s > 60) return false;
  long long nDays = DaysFromCivil(y, unsigned(mo), unsigned(d));
  double dSeconds = double(nDays) * 86400.0 + h * 3600.0 + mi * 60.0 + s + dFraction - double(nOffset);
  dDays = dSeconds / 86400.0 + c_dUnixEpochDays;
  return dDays != 0;
}

std::string FormatIsoTime(double dDays) {
  if (!std::isfinite(dDays)) return std::string();
  double dSeconds = std::floor((dDays - c_dUnixEpochDays) * 86400.0 + 0.5);
  // years 1 to 9999 only
  if (dSeconds < -62135596800.0 || dSeconds > 253402300799.0) return std::string();
  long long n = (long long)dSeconds;
  long long days = n >= 0 ? n / 86400 : -((-n + 86399) / 86400);
  long long secs = n - days * 86400;
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1;
  long long m = mp < 10 ? mp + 3 : mp - 9;
  char sz[128];
  std::snprintf(sz, sizeof sz, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", y + (m <= 2), m, d, secs / 3600,
                secs / 60 % 60, secs % 60);
  return sz;
}

int FindSymbolByName(const std::u16string& strName) {
  const SymbolNames& names = GetSymbolNames();
  for (unsigned n = 0; n < names.english.size(); ++n)
    if (!names.english[n].empty() && platform::StrCmpI(names.english[n].c_str(), strName.c_str()) == 0) return int(n);
  for (unsigned n = 0; n < names.local.size(); ++n)
    if (!names.local[n].empty() && platform::StrCmpI(names.local[n].c_str(), strName.c_str()) == 0) return int(n);
  return -1;
}

std::u16string GetSymbolGpxName(unsigned nSymbol) {
  const SymbolNames& names = GetSymbolNames();
  return nSymbol < names.english.size() ? names.english[nSymbol] : std::u16string();
}

bool IsGpxFile(const uint8_t* pb, size_t cb) {
  if (!pb) return false;
  size_t i = 0;
  if (cb >= 3 && pb[0] == 0xEF && pb[1] == 0xBB && pb[2] == 0xBF) i = 3;
  while (i < cb && (pb[i] == ' ' || pb[i] == '\t' || pb[i] == '\r' || pb[i] == '\n')) ++i;
  if (i >= cb || pb[i] != '<') return false;
  // The document element's start within the first 4 KB, past the
  // declaration and comments: "<gpx" or a prefixed "<x:gpx".
  size_t cbLook = cb - i < 4096 ? cb - i : 4096;
  std::string head(reinterpret_cast<const char*>(pb + i), cbLook);
  size_t pos = 0;
  while ((pos = head.find('<', pos)) != std::string::npos) {
    size_t k = pos + 1;
    if (k < head.size() && (head[k] == '?' || head[k] == '!')) {
      ++pos;
      continue;
    }
    while (k < head.size() && (std::isalnum(static_cast<unsigned char>(head[k])) || head[k] == '_' || head[k] == '-' ||
                               head[k] == '.'))
      ++k;
    if (k < head.size() && head[k] == ':') {
      ++k;
      size_t iName = k;
      while (k < head.size() && std::isalnum(static_cast<unsigned char>(head[k]))) ++k;
      return head.compare(iName, k - iName, "gpx") == 0;
    }
    return head.compare(pos + 1, k - pos - 1, "gpx") == 0;
  }
  return false;
}

bool ReadGpx(const uint8_t* pb, size_t cb, GpxDocument& doc) {
  doc = GpxDocument();
  CGpxReader reader(doc);
  if (!platform::ParseXml(pb, cb, reader)) return false;
  return reader.IsGood();
}

void WriteGpx(const GpxDocument& doc, double dNow, std::vector<uint8_t>& outBytes) {
  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<gpx version=\"1.1\" creator=\"VELMO\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
  std::string strTime = dNow != 0 ? FormatIsoTime(dNow) : std::string();
  if (!strTime.empty()) out += "  <metadata>\n    <time>" + strTime + "</time>\n  </metadata>\n";
  for (const GpxPoint& pt : doc.waypoints) AppendPoint(out, "  ", "wpt", pt);
  for (const GpxRoute& route : doc.routes) {
    out += "  <rte>\n";
    AppendTextElement(out, "    ", "name", route.strName);
    AppendTextElement(out, "    ", "cmt", route.strComment);
    AppendTextElement(out, "    ", "desc", route.strDescription);
    for (const GpxPoint& pt : route.points) AppendPoint(out, "    ", "rtept", pt);
    out += "  </rte>\n";
  }
  for (const GpxTrack& track : doc.tracks) {
    out += "  <trk>\n";
    AppendTextElement(out, "    ", "name", track.strName);
    AppendTextElement(out, "    ", "desc", track.strDescription);
    for (const auto& segment : track.segments) {
      out += "    <trkseg>\n";
      for (const GpxPoint& pt : segment) AppendPoint(out, "      ", "trkpt", pt);
      out += "    </trkseg>\n";
    }
    out += "  </trk>\n";
  }
  out += "</gpx>\n";
  outBytes.assign(out.begin(), out.end());
}

void StoreToGpx(CWaypointStore& store, bool fRoutes, GpxDocument& doc) {
  // The store keeps the newest first; files list them in store order as
  // the other exporters do.
  for (const Waypoint* p = store.FirstWaypoint(); p; p = p->pNext) {
    if (p->IsDeleted() || (p->dwFlags & wfMadeForRoute)) continue;
    doc.waypoints.push_back(PointFromWaypoint(*p));
  }
  if (!fRoutes) return;
  for (const Route* p = store.FirstRoute(); p; p = p->pNext) {
    if (p->IsDeleted() || p->IsEmpty()) continue;
    GpxRoute route;
    route.strName = p->strName;
    route.strDescription = p->strText2;
    for (const RoutePoint& rp : p->points) {
      if (rp.pWaypoint) {
        route.points.push_back(PointFromWaypoint(*rp.pWaypoint));
      } else {
        GpxPoint pt;
        pt.dLat = StoredToDegrees(rp.y);
        pt.dLon = StoredToDegrees(rp.x);
        pt.strName = rp.strLabel;
        route.points.push_back(pt);
      }
    }
    doc.routes.push_back(std::move(route));
  }
}

void GpxToStore(const GpxDocument& doc, bool fRoutes, CWaypointStore& store, const ExchangeOptions& opts,
                ImportResult& result) {
  // (name, position) of the file's waypoints, for the route points
  std::map<std::pair<std::u16string, std::pair<int32_t, int32_t>>, Waypoint*> byName;
  for (const GpxPoint& pt : doc.waypoints) {
    Waypoint* pWp = NewWaypointFromPoint(pt);
    store.AddWaypoint(pWp);
    ++result.cWaypoints;
    if (!pt.strName.empty()) byName.emplace(std::make_pair(pWp->strName, std::make_pair(pWp->x, pWp->y)), pWp);
  }
  if (!fRoutes) {
    result.idsMessage = c_idsImportedWaypoints;
    return;
  }
  for (const GpxRoute& r : doc.routes) {
    if (r.points.empty()) continue;
    Route* pRoute = new Route;
    pRoute->crColor = c_crNewRoute;
    pRoute->dTime = opts.dNow;
    pRoute->strName = r.strName.empty() ? store.MakeRouteName() : r.strName;
    pRoute->strText2 = !r.strDescription.empty() ? r.strDescription : r.strComment;
    for (const GpxPoint& pt : r.points) {
      RoutePoint rp;
      rp.btKind = rpkVia;
      if (pt.strName.empty()) {
        rp.x = DegreesToStored(pt.dLon);
        rp.y = DegreesToStored(pt.dLat);
      } else {
        auto it = byName.find(std::make_pair(pt.strName, std::make_pair(DegreesToStored(pt.dLon), DegreesToStored(pt.dLat))));
        Waypoint* pWp;
        if (it != byName.end()) {
          pWp = it->second;
        } else {
          pWp = NewWaypointFromPoint(pt);
          pWp->dwFlags |= wfMadeForRoute;
          store.AddWaypoint(pWp);
          ++result.cWaypoints;
        }
        rp.pWaypoint = pWp;
        pWp->AddRef();
      }
      pRoute->points.push_back(std::move(rp));
    }
    RecomputeRoute(*pRoute);
    store.AddRoute(pRoute);
    ++result.cRoutes;
  }
  result.idsMessage = c_idsImportedRoutes;
}

void ExportGpxWaypoints(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out) {
  GpxDocument doc;
  StoreToGpx(store, false, doc);
  WriteGpx(doc, opts.dNow, out);
}

void ExportGpxRoutes(CWaypointStore& store, const ExchangeOptions& opts, std::vector<uint8_t>& out) {
  GpxDocument doc;
  StoreToGpx(store, true, doc);
  WriteGpx(doc, opts.dNow, out);
}

void ImportGpxWaypoints(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                        ImportResult& result) {
  Import(store, pb, cb, opts, false, result);
}

void ImportGpxRoutes(CWaypointStore& store, const uint8_t* pb, size_t cb, const ExchangeOptions& opts,
                     ImportResult& result) {
  Import(store, pb, cb, opts, true, result);
}

void WriteMpsTracks(const std::vector<GpxTrack>& tracks, std::vector<uint8_t>& out) {
  out.clear();
  CByteWriter w(out);
  w.Bytes(gps::detail::c_abMpsHeader, sizeof gps::detail::c_abMpsHeader);
  unsigned nTrack = 0;
  for (const GpxTrack& track : tracks) {
    ++nTrack;
    size_t cPoints = 0;
    for (const auto& segment : track.segments) cPoints += segment.size();
    std::string strName = U16ToAnsi(track.strName, GetAnsiCodePage());
    for (char& ch : strName)
      if (ch == 0) ch = ' ';
    if (strName.empty()) {
      char sz[32];
      std::snprintf(sz, sizeof sz, "Track %03u", nTrack);
      strName = sz;
    }
    size_t cbBody = strName.size() + 1 + 1 + 4 + 4 + cPoints * sizeof(MpsTrackPoint);
    w.Dword(uint32_t(cbBody));
    w.Byte(c_btRecTrack);
    w.CStr(strName);
    w.Byte(0);   // display
    w.Dword(0);  // colour
    w.Dword(uint32_t(cPoints));
    for (const auto& segment : track.segments) {
      for (const GpxPoint& pt : segment) {
        MpsTrackPoint rec = {};
        rec.nLatitude = DegreesToStored(pt.dLat);
        rec.nLongitude = DegreesToStored(pt.dLon >= 180 ? pt.dLon - 360 : pt.dLon);
        if (pt.fEle) {
          rec.btHasAltitude = 1;
          rec.dAltitude = pt.dEle;
        }
        if (pt.dTime != 0) {
          double d = std::floor((pt.dTime - c_dUnixEpochDays) * 86400.0 + 0.5);
          if (d >= 0 && d <= 4294967295.0) {
            rec.btHasTime = 1;
            rec.dwTime = uint32_t(d);
          }
        }
        w.Bytes(&rec, sizeof rec);
      }
    }
  }
  w.Bytes(gps::detail::c_abMpsEnd, sizeof gps::detail::c_abMpsEnd);
}

bool ReadTracks(const uint8_t* pb, size_t cb, unsigned nCodePage, std::vector<GpxTrack>& tracks) {
  tracks.clear();
  if (IsGpxFile(pb, cb)) {
    GpxDocument doc;
    if (!ReadGpx(pb, cb, doc)) return false;
    tracks = std::move(doc.tracks);
    return true;
  }
  std::unique_ptr<TrackFileReader> pReader;
  if (IsGdbFile(pb, cb)) pReader.reset(CreateGdbTrackReader(pb, cb));
  else if (IsMpsFile(pb, cb)) pReader.reset(CreateMpsTrackReader(pb, cb));
  else return false;
  uint32_t nTrack = 0;
  for (;;) {
    GpsFix fix{};
    if (!pReader->NextPoint(fix)) break;
    if (pReader->TrackNumber() != nTrack || tracks.empty()) {
      nTrack = pReader->TrackNumber();
      tracks.emplace_back();
      tracks.back().strName = AnsiToU16(pReader->TrackName(), nCodePage);
      tracks.back().segments.emplace_back();
    }
    GpxPoint pt;
    pt.dLat = pReader->LastLatitude();
    pt.dLon = pReader->LastLongitude();
    if (fix.dwFlags & gfAltitude) {
      pt.fEle = true;
      pt.dEle = fix.altitude;
    }
    if (fix.dwFlags & gfTime) pt.dTime = fix.time;
    tracks.back().segments.back().push_back(pt);
  }
  return true;
}

TrackFileReader* CreateGpxTrackReader(const uint8_t* pb, size_t cb) {
  GpxDocument doc;
  if (!ReadGpx(pb, cb, doc)) return nullptr;
  std::vector<uint8_t> bytes;
  WriteMpsTracks(doc.tracks, bytes);
  return CreateMpsTrackReader(std::move(bytes));
}

}  // namespace exchange
