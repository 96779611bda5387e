// A small GPX reader for comparing our reading and writing of exchange
// files with what gpsbabel makes of them.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace gpxlite {

struct Point {
  double dLat = 0, dLon = 0;
  bool fEle = false;
  double dEle = 0;
  bool fTime = false;
  long long nTime = 0;  // seconds since 1970
  std::string strName, strCmt, strDesc, strSym;
};

struct Route {
  std::string strName, strDesc;
  std::vector<Point> points;
};

struct Gpx {
  std::vector<Point> waypoints;
  std::vector<Route> routes;
  std::vector<std::vector<Point>> tracks;  // one entry per trk (segments joined)
};

inline std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') { out += s[i]; continue; }
    size_t j = s.find(';', i);
    if (j == std::string::npos) { out += s[i]; continue; }
    std::string ent = s.substr(i + 1, j - i - 1);
    if (ent == "amp") out += '&';
    else if (ent == "lt") out += '<';
    else if (ent == "gt") out += '>';
    else if (ent == "quot") out += '"';
    else if (ent == "apos") out += '\'';
    else if (!ent.empty() && ent[0] == '#') {
      unsigned long cp = ent.size() > 1 && ent[1] == 'x' ? std::strtoul(ent.c_str() + 2, nullptr, 16)
                                                         : std::strtoul(ent.c_str() + 1, nullptr, 10);
      if (cp < 0x80) out += char(cp);
      else if (cp < 0x800) { out += char(0xC0 | (cp >> 6)); out += char(0x80 | (cp & 0x3F)); }
      else { out += char(0xE0 | (cp >> 12)); out += char(0x80 | ((cp >> 6) & 0x3F)); out += char(0x80 | (cp & 0x3F)); }
    } else out += s.substr(i, j - i + 1);
    i = j;
  }
  return out;
}

// Text of the first <tag> inside [b, e), or "".
inline bool Child(const std::string& x, size_t b, size_t e, const char* tag, std::string& out) {
  std::string open = std::string("<") + tag + ">", close = std::string("</") + tag + ">";
  size_t i = x.find(open, b);
  if (i == std::string::npos || i >= e) return false;
  size_t j = x.find(close, i);
  if (j == std::string::npos || j > e) return false;
  out = Unescape(x.substr(i + open.size(), j - i - open.size()));
  return true;
}

inline double Attr(const std::string& x, size_t b, const char* name) {
  std::string key = std::string(name) + "=\"";
  size_t i = x.find(key, b);
  return i == std::string::npos ? 0 : std::atof(x.c_str() + i + key.size());
}

// "2006-03-28T00:10:37Z" as seconds since 1970 (UTC).
inline long long ParseTime(const std::string& s) {
  int y, m, d, hh, mm, ss;
  if (std::sscanf(s.c_str(), "%d-%d-%dT%d:%d:%d", &y, &m, &d, &hh, &mm, &ss) != 6) return 0;
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  long long days = era * 146097 + doe - 719468;
  return days * 86400 + hh * 3600 + mm * 60 + ss;
}

// The element <tag ...>...</tag> (or self-closed) starting at i: its end.
inline size_t ElementEnd(const std::string& x, size_t i, const char* tag) {
  size_t gt = x.find('>', i);
  if (gt != std::string::npos && x[gt - 1] == '/') return gt + 1;
  std::string close = std::string("</") + tag + ">";
  size_t j = x.find(close, i);
  return j == std::string::npos ? x.size() : j + close.size();
}

inline Point ParsePoint(const std::string& x, size_t b, size_t e) {
  Point p;
  p.dLat = Attr(x, b, "lat");
  p.dLon = Attr(x, b, "lon");
  std::string s;
  size_t bodyB = x.find('>', b);
  if (Child(x, bodyB, e, "ele", s)) { p.fEle = true; p.dEle = std::atof(s.c_str()); }
  if (Child(x, bodyB, e, "time", s)) { p.fTime = true; p.nTime = ParseTime(s); }
  Child(x, bodyB, e, "name", p.strName);
  Child(x, bodyB, e, "cmt", p.strCmt);
  Child(x, bodyB, e, "desc", p.strDesc);
  Child(x, bodyB, e, "sym", p.strSym);
  return p;
}

inline void CollectPoints(const std::string& x, size_t b, size_t e, const char* tag, std::vector<Point>& out) {
  std::string open = std::string("<") + tag + " ";
  for (size_t i = x.find(open, b); i != std::string::npos && i < e; i = x.find(open, i + 1)) {
    size_t end = ElementEnd(x, i, tag);
    out.push_back(ParsePoint(x, i, end));
  }
}

inline bool Load(const std::string& path, Gpx& gpx) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string x;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) x.append(buf, n);
  std::fclose(f);
  for (size_t i = x.find("<wpt "); i != std::string::npos; i = x.find("<wpt ", i + 1))
    gpx.waypoints.push_back(ParsePoint(x, i, ElementEnd(x, i, "wpt")));
  for (size_t i = x.find("<rte>"); i != std::string::npos; i = x.find("<rte>", i + 1)) {
    size_t e = ElementEnd(x, i, "rte");
    Route r;
    size_t firstPt = x.find("<rtept", i);
    size_t headEnd = firstPt == std::string::npos || firstPt > e ? e : firstPt;
    Child(x, i, headEnd, "name", r.strName);
    Child(x, i, headEnd, "desc", r.strDesc);
    CollectPoints(x, i, e, "rtept", r.points);
    gpx.routes.push_back(r);
  }
  for (size_t i = x.find("<trk>"); i != std::string::npos; i = x.find("<trk>", i + 1)) {
    size_t e = ElementEnd(x, i, "trk");
    std::vector<Point> pts;
    CollectPoints(x, i, e, "trkpt", pts);
    gpx.tracks.push_back(pts);
  }
  return true;
}

}  // namespace gpxlite
