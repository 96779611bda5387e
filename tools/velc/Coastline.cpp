#include "tools/velc/Coastline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

namespace {

struct PtD {
  double x, y;
};

struct Chain {
  std::vector<PtD> pts;
  bool fClosed = false;
  int64_t nFirstWay = 0, nLastWay = 0;
};

class CRectClip {
 public:
  CRectClip(const CoastBounds& bounds)
      : m_l(bounds.l), m_b(bounds.b), m_r(bounds.r), m_t(bounds.t), m_w(m_r - m_l), m_h(m_t - m_b),
        m_p(2 * (m_w + m_h)) {}

  bool StrictlyInside(const PtD& p) const { return p.x > m_l && p.x < m_r && p.y > m_b && p.y < m_t; }
  bool Inside(const PtD& p) const { return p.x >= m_l && p.x <= m_r && p.y >= m_b && p.y <= m_t; }
  double Perimeter() const { return m_p; }

  // Distance to the nearest edge and the point on it (p inside).
  double ToEdge(const PtD& p, PtD& onEdge) const {
    double d[4] = {m_t - p.y, m_r - p.x, p.y - m_b, p.x - m_l};
    int k = int(std::min_element(d, d + 4) - d);
    onEdge = p;
    if (k == 0) onEdge.y = m_t;
    else if (k == 1) onEdge.x = m_r;
    else if (k == 2) onEdge.y = m_b;
    else onEdge.x = m_l;
    return d[k];
  }

  // Position of a point of the boundary, clockwise from the top left corner.
  double Pos(const PtD& p) const {
    double d[4] = {std::fabs(m_t - p.y), std::fabs(m_r - p.x), std::fabs(p.y - m_b), std::fabs(p.x - m_l)};
    int k = int(std::min_element(d, d + 4) - d);
    double s;
    if (k == 0) s = std::clamp(p.x - m_l, 0.0, m_w);
    else if (k == 1) s = m_w + std::clamp(m_t - p.y, 0.0, m_h);
    else if (k == 2) s = m_w + m_h + std::clamp(m_r - p.x, 0.0, m_w);
    else s = 2 * m_w + m_h + std::clamp(p.y - m_b, 0.0, m_h);
    return s >= m_p ? 0 : s;
  }

  PtD Corner(int k, double& s) const {
    static const int c_aCorner[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};  // (x is right, y is top)
    s = k == 0 ? 0 : k == 1 ? m_w : k == 2 ? m_w + m_h : 2 * m_w + m_h;
    return PtD{c_aCorner[k][0] ? m_r : m_l, c_aCorner[k][1] ? m_t : m_b};
  }

  // Liang-Barsky: the part [t0, t1] of a-b inside the (closed) rectangle.
  bool ClipSegment(const PtD& a, const PtD& b, double& t0, double& t1) const {
    t0 = 0, t1 = 1;
    double dx = b.x - a.x, dy = b.y - a.y;
    double p[4] = {-dx, dx, -dy, dy};
    double q[4] = {a.x - m_l, m_r - a.x, a.y - m_b, m_t - a.y};
    for (int i = 0; i < 4; ++i) {
      if (p[i] == 0) {
        if (q[i] < 0) return false;
        continue;
      }
      double t = q[i] / p[i];
      if (p[i] < 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
    }
    return t0 <= t1;
  }

  // The parts of a chain inside the rectangle; each starts and ends on the
  // boundary when the chain's own ends are outside or on it.
  void Clip(const std::vector<PtD>& pts, std::vector<std::vector<PtD>>& pieces) const {
    std::vector<PtD> cur;
    bool fIn = false;
    auto finish = [&]() {
      if (cur.size() >= 2 && (cur.front().x != cur.back().x || cur.front().y != cur.back().y || cur.size() > 2))
        pieces.push_back(cur);
      cur.clear();
      fIn = false;
    };
    auto push = [&](const PtD& p) {
      if (cur.empty() || cur.back().x != p.x || cur.back().y != p.y) cur.push_back(p);
    };
    for (size_t i = 0; i + 1 < pts.size(); ++i) {
      const PtD &a = pts[i], &b = pts[i + 1];
      double t0, t1;
      if (!ClipSegment(a, b, t0, t1)) {
        if (fIn) finish();
        continue;
      }
      PtD pa{a.x + t0 * (b.x - a.x), a.y + t0 * (b.y - a.y)};
      PtD pb{a.x + t1 * (b.x - a.x), a.y + t1 * (b.y - a.y)};
      if (t0 > 0 && fIn) finish();
      if (!fIn) {
        cur.clear();
        fIn = true;
      }
      push(t0 > 0 ? Snap(pa) : pa);
      push(t1 < 1 ? Snap(pb) : pb);
      if (t1 < 1) finish();
    }
    if (fIn) finish();
  }

  PtD Snap(const PtD& p) const {
    PtD q;
    ToEdge(PtD{std::clamp(p.x, m_l, m_r), std::clamp(p.y, m_b, m_t)}, q);
    return q;
  }

 private:
  double m_l, m_b, m_r, m_t, m_w, m_h, m_p;
};

MapRing ToRing(const std::vector<PtD>& pts) {
  MapRing ring;
  ring.reserve(pts.size());
  for (const PtD& p : pts) {
    MapPoint q{int32_t(std::llround(p.x)), int32_t(std::llround(p.y))};
    if (!ring.empty() && ring.back().x == q.x && ring.back().y == q.y) continue;
    ring.push_back(q);
  }
  while (ring.size() > 1 && ring.front().x == ring.back().x && ring.front().y == ring.back().y) ring.pop_back();
  return ring;
}

std::string Where(const PtD& p) {
  char sz[64];
  std::snprintf(sz, sizeof sz, "%.6f N %.6f E", MapToDegrees(int32_t(std::llround(p.y))),
                MapToDegrees(int32_t(std::llround(p.x))));
  return sz;
}

}  // namespace

void CCoastline::AddWay(int64_t nId, int64_t nFirstNode, int64_t nLastNode, std::vector<MapPoint> points) {
  if (points.size() < 2) return;
  m_ways.push_back(Way{nId, nFirstNode, nLastNode, std::move(points)});
}

bool CCoastline::BuildSea(const CoastBounds& bounds, int32_t nSnap, std::vector<AreaRings>& sea,
                          std::vector<std::string>& problems) const {
  sea.clear();
  if (m_ways.empty() || bounds.r <= bounds.l || bounds.t <= bounds.b) return true;
  // Join the ways end to end by their end nodes.
  std::multimap<int64_t, size_t> byFirst, byLast;
  for (size_t i = 0; i < m_ways.size(); ++i) {
    byFirst.emplace(m_ways[i].nFirst, i);
    byLast.emplace(m_ways[i].nLast, i);
  }
  std::vector<char> used(m_ways.size(), 0);
  auto take = [&](const std::multimap<int64_t, size_t>& index, int64_t nNode) -> const Way* {
    auto range = index.equal_range(nNode);
    for (auto it = range.first; it != range.second; ++it)
      if (!used[it->second]) {
        used[it->second] = 1;
        return &m_ways[it->second];
      }
    return nullptr;
  };
  std::vector<Chain> chains;
  for (size_t i = 0; i < m_ways.size(); ++i) {
    if (used[i]) continue;
    used[i] = 1;
    std::vector<MapPoint> pts = m_ways[i].points;
    int64_t nFirst = m_ways[i].nFirst, nLast = m_ways[i].nLast;
    Chain chain;
    chain.nFirstWay = chain.nLastWay = m_ways[i].nId;
    while (nLast != nFirst) {
      const Way* p = take(byFirst, nLast);
      if (!p) break;
      pts.insert(pts.end(), p->points.begin() + 1, p->points.end());
      nLast = p->nLast;
      chain.nLastWay = p->nId;
    }
    while (nLast != nFirst) {
      const Way* p = take(byLast, nFirst);
      if (!p) break;
      pts.insert(pts.begin(), p->points.begin(), p->points.end() - 1);
      nFirst = p->nFirst;
      chain.nFirstWay = p->nId;
    }
    chain.fClosed = nFirst == nLast;
    for (const MapPoint& p : pts) chain.pts.push_back(PtD{double(p.x), double(p.y)});
    chains.push_back(std::move(chain));
  }

  CRectClip clip(bounds);
  std::vector<std::vector<PtD>> pieces;
  std::vector<MapRing> islands, inlandSeas;
  for (Chain& c : chains) {
    if (c.fClosed) {
      if (c.pts.size() > 1 && c.pts.front().x == c.pts.back().x && c.pts.front().y == c.pts.back().y)
        c.pts.pop_back();
      size_t iOut = c.pts.size();
      for (size_t i = 0; i < c.pts.size(); ++i)
        if (!clip.Inside(c.pts[i])) {
          iOut = i;
          break;
        }
      if (iOut == c.pts.size()) {
        MapRing ring = ToRing(c.pts);
        if (ring.size() < 3) continue;
        (RingArea2(ring) > 0 ? islands : inlandSeas).push_back(std::move(ring));
        continue;
      }
      // Crossing the bounds: start and end outside, then clip as an open chain.
      std::vector<PtD> open(c.pts.begin() + ptrdiff_t(iOut), c.pts.end());
      open.insert(open.end(), c.pts.begin(), c.pts.begin() + ptrdiff_t(iOut) + 1);
      clip.Clip(open, pieces);
      continue;
    }
    bool fBroken = false;
    for (int iEnd = 0; iEnd < 2; ++iEnd) {
      PtD& p = iEnd ? c.pts.back() : c.pts.front();
      if (!clip.StrictlyInside(p)) continue;
      PtD onEdge;
      if (clip.ToEdge(p, onEdge) <= double(nSnap)) {
        if (iEnd) c.pts.push_back(onEdge);
        else c.pts.insert(c.pts.begin(), onEdge);
        continue;
      }
      problems.push_back("coastline broken: way " + std::to_string(iEnd ? c.nLastWay : c.nFirstWay) + " " +
                         (iEnd ? "ends" : "starts") + " at " + Where(p) + ", inside the bounds");
      fBroken = true;
    }
    if (!fBroken) clip.Clip(c.pts, pieces);
  }
  if (!problems.empty()) return false;

  // Close the pieces along the bounds, clockwise from each exit to the next
  // entry: the sea is on the right of the coastline.
  const double fPerimeter = clip.Perimeter();
  std::vector<double> aIn(pieces.size()), aOut(pieces.size());
  for (size_t i = 0; i < pieces.size(); ++i) {
    aIn[i] = clip.Pos(pieces[i].front());
    aOut[i] = clip.Pos(pieces[i].back());
  }
  std::vector<char> done(pieces.size(), 0);
  auto ahead = [&](double sFrom, double sTo) {
    double d = std::fmod(sTo - sFrom + fPerimeter, fPerimeter);
    return d < 0 ? d + fPerimeter : d;
  };
  std::vector<MapRing> outers;
  for (size_t i0 = 0; i0 < pieces.size(); ++i0) {
    if (done[i0]) continue;
    std::vector<PtD> ring;
    size_t i = i0;
    for (;;) {
      done[i] = 1;
      ring.insert(ring.end(), pieces[i].begin(), pieces[i].end());
      size_t iNext = i0;
      double dBest = ahead(aOut[i], aIn[i0]);
      for (size_t j = 0; j < pieces.size(); ++j) {
        if (done[j]) continue;
        double d = ahead(aOut[i], aIn[j]);
        if (d < dBest) dBest = d, iNext = j;
      }
      std::vector<std::pair<double, PtD>> corners;
      for (int k = 0; k < 4; ++k) {
        double s;
        PtD pc = clip.Corner(k, s);
        double d = ahead(aOut[i], s);
        if (d > 0 && d < dBest) corners.push_back({d, pc});
      }
      std::sort(corners.begin(), corners.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      for (auto& c : corners) ring.push_back(c.second);
      if (iNext == i0) break;
      i = iNext;
    }
    MapRing r = ToRing(ring);
    if (r.size() >= 3) outers.push_back(std::move(r));
  }
  // Without any coastline crossing the bounds, the sea is all around the
  // islands that do not lie in an inland sea.
  if (pieces.empty()) {
    bool fOpenSea = false;
    for (const MapRing& island : islands) {
      bool fInLake = false;
      for (const MapRing& lake : inlandSeas)
        if (PointInRing(island[0].x, island[0].y, lake)) fInLake = true;
      if (!fInLake) fOpenSea = true;
    }
    if (fOpenSea)
      outers.push_back(MapRing{{bounds.l, bounds.t}, {bounds.r, bounds.t}, {bounds.r, bounds.b}, {bounds.l, bounds.b}});
  }
  for (MapRing& lake : inlandSeas) outers.push_back(std::move(lake));
  for (MapRing& outer : outers) sea.push_back(AreaRings{std::move(outer), {}});
  // Each island is a hole of the smallest sea area around it.
  for (MapRing& island : islands) {
    size_t iBest = sea.size();
    double fBest = 0;
    for (size_t i = 0; i < sea.size(); ++i) {
      if (!PointInRing(island[0].x + 0.25, island[0].y + 0.25, sea[i].outer)) continue;
      double f = std::fabs(RingArea2(sea[i].outer));
      if (iBest == sea.size() || f < fBest) iBest = i, fBest = f;
    }
    if (iBest < sea.size()) sea[iBest].holes.push_back(std::move(island));
  }
  return true;
}
