// The nearest search of native maps: small maps of known geometry, the demo
// region and the Monaco extract checked against a scan of every decoded
// object of the level, filters, level choice, cancel, damaged files and
// velmo-cli nearest.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "platform/Debug.h"
#include "tests/map/VelTestUtil.h"
#include "tools/velc/OsmConvert.h"
#include "view/MapUnits.h"

using namespace veltest;

namespace {

const double c_fPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Geometry of the scan, computed here on its own: distances in metres with
// the east-west term weighted by cos of the search point's latitude.

struct Metric {
  MapPoint pt;
  double k;
  explicit Metric(MapPoint ptRef) : pt(ptRef), k(std::cos(MapToDegrees(ptRef.y) * c_fPi / 180)) {}
  double To(double x, double y) const {
    const double dx = (x - pt.x) * k, dy = y - pt.y;
    return std::sqrt(dx * dx + dy * dy) * c_fMetresPerMapUnit;
  }
  double ToSegment(const MapPoint& a, const MapPoint& b) const {
    // In a plane where x is scaled by k the metric is Euclidean.
    const double ax = a.x * k, ay = a.y, bx = b.x * k, by = b.y, px = pt.x * k, py = pt.y;
    const double vx = bx - ax, vy = by - ay, l2 = vx * vx + vy * vy;
    double t = l2 > 0 ? ((px - ax) * vx + (py - ay) * vy) / l2 : 0;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    const double dx = ax + vx * t - px, dy = ay + vy * t - py;
    return std::sqrt(dx * dx + dy * dy) * c_fMetresPerMapUnit;
  }
  static bool Inside(const MapPoint& p, const std::vector<MapPoint>& poly) {
    bool f = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
      const double xi = poly[i].x, yi = poly[i].y, xj = poly[j].x, yj = poly[j].y;
      if ((yi > p.y) != (yj > p.y) && p.x < (xj - xi) * (p.y - yi) / (yj - yi) + xi) f = !f;
    }
    return f;
  }
  double ToObject(int nKind, const std::vector<MapPoint>& pts) const {
    if (nKind == rkPoint || pts.size() == 1) return To(pts[0].x, pts[0].y);
    if (nKind == rkPolygon && pts.size() >= 3 && Inside(pt, pts)) return 0;
    double d = 1e300;
    const size_t cSeg = nKind == rkPolygon && pts.size() > 2 ? pts.size() : pts.size() - 1;
    for (size_t i = 0; i < cSeg; ++i) d = std::min(d, ToSegment(pts[i], pts[(i + 1) % pts.size()]));
    return d;
  }
};

std::u16string ShownName(const Decoded& o) {
  char16_t sz[c_cchLabelOut];
  int n = 0;
  size_t c = InterpretMapLabel(o.nKind, o.wType, true, o.strLabel.data(), o.strLabel.size(), sz, &n, true);
  return std::u16string(sz, c);
}

bool ContainsNoCase(const std::u16string& str, const std::u16string& strPart) {
  std::u16string a, b;
  for (char16_t ch : str) a += platform::ToLower(ch);
  for (char16_t ch : strPart) b += platform::ToLower(ch);
  return a.find(b) != std::u16string::npos;
}

typedef std::tuple<int, uint16_t, std::u16string> Key;  // kind, type, name

struct FoundItem {
  Key key;
  FoundObject obj;
  double fDistance;  // to the nearest point it reports
};

std::vector<FoundItem> Items(CMapQuery* q, const Metric& m) {
  std::vector<FoundItem> v;
  for (uint32_t i = 0; i < q->GetCount(); ++i) {
    FoundObject obj = {};
    EXPECT_TRUE(q->GetItem(i, &obj, c_fofName | c_fofReprPoint | c_fofNearestPoint | c_fofScale));
    obj.szName[63] = 0;
    v.push_back({Key{obj.nKind, obj.wType, std::u16string(obj.szName)}, obj, m.To(obj.xNearest, obj.yNearest)});
  }
  return v;
}

// One search checked against the scan of the level's objects: everything
// clearly inside the radius is found, nothing clearly outside is, each
// reported nearest point is at the object's true distance, and the results
// come nearest first. Returns the number found.
size_t CheckAgainstScan(CVelParser* p, const std::vector<Decoded>& all, const std::vector<std::u16string>& shown,
                        uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadius,
                        const std::vector<KindType>& types, const std::u16string& strName) {
  const uint32_t nLevel = fUseScale ? p->ChooseLevel(nScale) : p->GetLevelCount() - 1;
  vel::VelLevel level;
  EXPECT_TRUE(p->GetLevel(nLevel, level));
  const Metric m(pt);
  const double c_fBand = 0.1;  // metres either side of the circle that may fall either way
  std::multiset<Key> inner, outer;
  std::multimap<Key, const Decoded*> candidates;
  for (size_t iObject = 0; iObject < all.size(); ++iObject) {
    const Decoded& o = all[iObject];
    if (o.nLevel != nLevel) continue;
    bool fType = types.empty();
    for (const KindType& kt : types) fType = fType || (kt.nKind == o.nKind && kt.wType == o.wType);
    const std::u16string& strShown = shown[iObject];
    if (!fType || (!strName.empty() && !ContainsNoCase(strShown, strName))) continue;
    const double d = m.ToObject(o.nKind, o.points);
    const Key key{o.nKind, o.wType, strShown};
    if (d <= nRadius - c_fBand) inner.insert(key);
    if (d <= nRadius + c_fBand) {
      outer.insert(key);
      candidates.emplace(key, &o);
    }
  }
  MapTypeFilter filter = {types.data(), types.size()};
  std::unique_ptr<CMapQuery> q(p->FindNearest(nScale, fUseScale, pt, nRadius, types.empty() ? nullptr : &filter,
                                              strName.empty() ? nullptr : strName.c_str(), nullptr));
  EXPECT_TRUE(q);
  if (!q) return 0;
  const std::vector<FoundItem> found = Items(q.get(), m);
  std::multiset<Key> keys;
  double fPrevious = 0;
  for (const FoundItem& f : found) {
    keys.insert(f.key);
    EXPECT_LE(f.fDistance, nRadius + c_fBand);
    EXPECT_GE(f.fDistance, fPrevious - 0.05) << "not nearest first";
    fPrevious = f.fDistance;
    EXPECT_EQ(f.obj.nScale, int16_t(ScaleCodeToIndex(level.wLevelCode)));
    // Some scanned object of this kind, type and name lies at the reported
    // distance and holds the representative point.
    bool fMatch = false;
    auto range = candidates.equal_range(f.key);
    for (auto it = range.first; it != range.second && !fMatch; ++it) {
      const Decoded& o = *it->second;
      if (std::fabs(m.ToObject(o.nKind, o.points) - f.fDistance) > 0.05) continue;
      if (o.nKind == rkPoint) {
        fMatch = f.obj.xRepr == o.points[0].x && f.obj.yRepr == o.points[0].y;
      } else if (o.nKind == rkPolyline) {
        const Metric mRepr(MapPoint{f.obj.xRepr, f.obj.yRepr});
        fMatch = mRepr.ToObject(rkPolyline, o.points) < 0.1;
      } else {
        int32_t l = INT32_MAX, r = INT32_MIN, t = INT32_MAX, b = INT32_MIN;
        for (const MapPoint& v : o.points)
          l = std::min(l, v.x), r = std::max(r, v.x), t = std::min(t, v.y), b = std::max(b, v.y);
        fMatch = f.obj.xRepr >= l && f.obj.xRepr <= r && f.obj.yRepr >= t && f.obj.yRepr <= b;
      }
    }
    EXPECT_TRUE(fMatch) << "kind " << f.obj.nKind << " type " << f.obj.wType << " at " << f.fDistance << " m";
  }
  EXPECT_TRUE(std::includes(keys.begin(), keys.end(), inner.begin(), inner.end()))
      << "missed objects: " << inner.size() << " within, " << keys.size() << " found";
  EXPECT_TRUE(std::includes(outer.begin(), outer.end(), keys.begin(), keys.end()))
      << "found too many: " << outer.size() << " within, " << keys.size() << " found";
  return found.size();
}

// Random searches over a map's rectangle; a quarter by scale, a third with a
// type filter drawn from the level, some with a name fragment.
//
// Without a fixed fragment the searches vary more: the name text is a piece
// of a name of the level, and a fifth of the searches filter by a whole
// kind (every type of the level of that kind).
void RandomSearches(CVelParser* p, int cCases, uint32_t nMaxRadius, unsigned nSeed, const std::u16string& strFragment) {
  const std::vector<Decoded> all = DecodeAll(p);
  ASSERT_FALSE(all.empty());
  std::vector<std::u16string> shown;
  shown.reserve(all.size());
  for (const Decoded& o : all) shown.push_back(ShownName(o));
  const bool fVaried = strFragment.empty();
  std::mt19937 rng(nSeed);
  const MapRect& r = p->GetRect();
  size_t cFound = 0, cKinds[rkMax] = {};
  for (int nCase = 0; nCase < cCases; ++nCase) {
    SCOPED_TRACE("case " + std::to_string(nCase));
    const bool fUseScale = nCase % 4 == 3;
    const uint32_t nScale = fUseScale ? 1 + rng() % 26 : 0;
    // Half the points on an object of the level, the rest anywhere.
    MapPoint pt = {int32_t(r.left + int64_t(rng() % 10000) * (int64_t(r.right) - r.left) / 10000),
                   int32_t(r.top + int64_t(rng() % 10000) * (int64_t(r.bottom) - r.top) / 10000)};
    const uint32_t nLevel = fUseScale ? p->ChooseLevel(nScale) : p->GetLevelCount() - 1;
    std::vector<const Decoded*> level;
    for (const Decoded& o : all)
      if (o.nLevel == nLevel) level.push_back(&o);
    if (nCase % 2 && !level.empty()) {
      const Decoded& o = *level[rng() % level.size()];
      pt = o.points[rng() % o.points.size()];
      pt.x += int32_t(rng() % 2001) - 1000;
      pt.y += int32_t(rng() % 2001) - 1000;
    }
    std::vector<KindType> types;
    if (nCase % 3 == 1 && !level.empty())
      for (int i = 0; i < 4; ++i) {
        const Decoded& o = *level[rng() % level.size()];
        types.push_back(KindType{o.nKind, o.wType});
      }
    std::u16string strName = nCase % 5 == 2 ? strFragment : u"";
    if (fVaried && !level.empty()) {
      if (nCase % 5 == 2) {
        // Two to four letters from inside a name of the level.
        for (int nTry = 0; nTry < 50 && strName.empty(); ++nTry) {
          const Decoded& o = *level[rng() % level.size()];
          const std::u16string& str = shown[size_t(&o - all.data())];
          if (str.size() < 4) continue;
          const size_t c = 2 + rng() % 3, i = rng() % (str.size() - 3);
          strName = str.substr(i, std::min(c, str.size() - i));
        }
      } else if (nCase % 5 == 4) {
        types.clear();
        const int nKind = int(rng() % rkMax);
        std::set<uint16_t> seen;
        for (const Decoded* o : level)
          if (o->nKind == nKind && seen.insert(o->wType).second) types.push_back(KindType{nKind, o->wType});
      }
    }
    const uint32_t nRadius = 5 + rng() % nMaxRadius;
    cFound += CheckAgainstScan(p, all, shown, nScale, fUseScale, pt, nRadius, types, strName);
    std::unique_ptr<CMapQuery> q(p->FindNearest(nScale, fUseScale, pt, nRadius, nullptr, nullptr, nullptr));
    for (uint32_t i = 0; q && i < q->GetCount(); ++i) {
      FoundObject obj = {};
      q->GetItem(i, &obj, 3);
      ++cKinds[obj.nKind];
    }
  }
  // The searches were not empty, and every kind was found somewhere.
  EXPECT_GT(cFound, size_t(cCases));
  for (int nKind = 0; nKind < rkMax; ++nKind) EXPECT_GT(cKinds[nKind], 0u) << "kind " << nKind;
}

// ---------------------------------------------------------------------------
// Maps

std::unique_ptr<CVelParser> OpenPath(const std::string& strPath) {
  std::u16string s = platform::Utf8ToU16(strPath);
  return std::unique_ptr<CVelParser>(static_cast<CVelParser*>(OpenMapFile(s.c_str(), false, c_fOpenAll)));
}

bool Exists(const std::string& str) {
  struct stat st;
  return stat(str.c_str(), &st) == 0;
}

// The demo region compiled once per run.
std::string DemoMap() {
  static std::string s_strMap;
  if (s_strMap.empty()) {
    const std::string strOsm = std::string(VELMO_BINARY_DIR) + "/velnearest-demo.osm";
    const std::string strVel = std::string(VELMO_BINARY_DIR) + "/velnearest-demo.vel";
    std::string strError;
    if (std::system((std::string(VELMO_DEMOGEN) + " --size 2 -o " + strOsm + " > /dev/null").c_str()) == 0 &&
        CompileOsmToVel(strOsm, strVel, "", VelWriterOptions(), strError))
      s_strMap = strVel;
  }
  return s_strMap;
}

std::string MonacoMap() {
  static std::string s_strMap;
  const std::string strPbf = std::string(VELMO_SHARED_DATA) + "/osm/monaco.osm.pbf";
  if (s_strMap.empty() && Exists(strPbf)) {
    const std::string strVel = std::string(VELMO_BINARY_DIR) + "/velnearest-monaco.vel";
    std::string strError;
    if (CompileOsmToVel(strPbf, strVel, "", VelWriterOptions(), strError)) s_strMap = strVel;
  }
  return s_strMap;
}

// Latitude 60°: one map unit east is half as long as one north. (Both on
// the grid of every level code from 26 up.)
const int32_t c_x0 = DegreesToMap(30.0) & ~31, c_y0 = DegreesToMap(60.0) & ~31;
// Map units of a distance north, and east at 60°.
int32_t North(double fMetres) { return int32_t(std::lround(fMetres * c_fMapUnitsPerMetre)); }
int32_t East(double fMetres) { return int32_t(std::lround(fMetres * c_fMapUnitsPerMetre / 0.5)); }

VelObject Object(int nKind, uint16_t wType, std::vector<MapPoint> pts, std::u16string strLabel) {
  VelObject o;
  o.nKind = nKind;
  o.wType = wType;
  o.points = std::move(pts);
  o.strLabel = std::move(strLabel);
  return o;
}

// Around (c_x0, c_y0): an area holding it, an area whose west edge is 50 m
// east, a line 100 m north, a point 150 m east, a point 170 m north, a far
// line.
std::unique_ptr<CVelParser> KnownGeometry() {
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 26;
  auto& v = levels[0].objects;
  v.push_back(Object(rkPolygon, 0x13, {{c_x0 - East(20), c_y0 - North(20)}, {c_x0 + East(20), c_y0 - North(20)},
                                       {c_x0 + East(20), c_y0 + North(20)}, {c_x0 - East(20), c_y0 + North(20)}},
                     u"Здание"));
  v.push_back(Object(rkPolygon, 0x3C, {{c_x0 + East(50), c_y0 - North(30)}, {c_x0 + East(90), c_y0 - North(30)},
                                       {c_x0 + East(90), c_y0 + North(30)}, {c_x0 + East(50), c_y0 + North(30)}},
                     u"Пруд"));
  v.push_back(Object(rkPolyline, 0x06, {{c_x0 - East(500), c_y0 + North(100)}, {c_x0 + East(500), c_y0 + North(100)}},
                     u"Улица Ленина"));
  v.push_back(Object(rkPoint, 0x2A00, {{c_x0 + East(150), c_y0}}, u"ПРОСПЕКТ мира"));
  v.push_back(Object(rkPoint, 0x2F05, {{c_x0, c_y0 + North(170)}}, u"Мирная"));
  v.push_back(Object(rkPolyline, 0x06, {{c_x0 - East(5000), c_y0 + North(3000)}, {c_x0 + East(5000), c_y0 + North(3000)}},
                     u"Дальняя"));
  std::vector<uint8_t> bytes;
  std::string strError;
  EXPECT_TRUE(WriteVelMap(VelWriterOptions(), levels, bytes, strError)) << strError;
  return std::unique_ptr<CVelParser>(OpenBytes(bytes, "nearest-known"));
}

std::vector<std::u16string> Names(CMapQuery* q) {
  std::vector<std::u16string> v;
  for (uint32_t i = 0; q && i < q->GetCount(); ++i) {
    FoundObject obj = {};
    EXPECT_TRUE(q->GetItem(i, &obj, 2));
    v.push_back(obj.szName);
  }
  return v;
}

std::vector<std::u16string> Search(CVelParser* p, uint32_t nRadius, const std::vector<KindType>& types = {},
                                   const char16_t* pszName = nullptr) {
  MapTypeFilter filter = {types.data(), types.size()};
  std::unique_ptr<CMapQuery> q(
      p->FindNearest(0, false, MapPoint{c_x0, c_y0}, nRadius, types.empty() ? nullptr : &filter, pszName, nullptr));
  EXPECT_TRUE(q);
  return Names(q.get());
}

typedef std::vector<std::u16string> Names_t;

// ---------------------------------------------------------------------------

TEST(VelNearest, KnownGeometryWithTheLatitudeWeight) {
  auto p = KnownGeometry();
  ASSERT_TRUE(p);
  // Each object enters when the radius passes its distance; east-west
  // distances count at half their map units at 60°.
  EXPECT_EQ(Search(p.get(), 10), (Names_t{u"Здание"}));
  EXPECT_EQ(Search(p.get(), 45), (Names_t{u"Здание"}));
  EXPECT_EQ(Search(p.get(), 55), (Names_t{u"Здание", u"Пруд"}));
  EXPECT_EQ(Search(p.get(), 95), (Names_t{u"Здание", u"Пруд"}));
  EXPECT_EQ(Search(p.get(), 105), (Names_t{u"Здание", u"Пруд", u"Улица Ленина"}));
  EXPECT_EQ(Search(p.get(), 145), (Names_t{u"Здание", u"Пруд", u"Улица Ленина"}));
  EXPECT_EQ(Search(p.get(), 155), (Names_t{u"Здание", u"Пруд", u"Улица Ленина", u"ПРОСПЕКТ мира"}));
  EXPECT_EQ(Search(p.get(), 165), (Names_t{u"Здание", u"Пруд", u"Улица Ленина", u"ПРОСПЕКТ мира"}));
  EXPECT_EQ(Search(p.get(), 175), (Names_t{u"Здание", u"Пруд", u"Улица Ленина", u"ПРОСПЕКТ мира", u"Мирная"}));

  // The points reported: inside an area the search point itself, the
  // nearest point of the line straight north, a point's own place.
  std::unique_ptr<CMapQuery> q(p->FindNearest(0, false, MapPoint{c_x0, c_y0}, 175, nullptr, nullptr, nullptr));
  ASSERT_TRUE(q);
  const uint32_t dwAll = c_fofName | c_fofReprPoint | c_fofNearestPoint | c_fofScale | c_fofMapFile;
  FoundObject obj = {};
  ASSERT_TRUE(q->GetItem(0, &obj, dwAll));
  EXPECT_EQ(obj.nKind, rkPolygon);
  EXPECT_EQ(obj.wType, 0x13);
  EXPECT_EQ(obj.xNearest, c_x0);
  EXPECT_EQ(obj.yNearest, c_y0);
  EXPECT_NEAR(obj.xRepr, c_x0, 300);  // the square's centre, within the level's rounding
  EXPECT_NEAR(obj.yRepr, c_y0, 300);
  EXPECT_EQ(obj.nScale, int16_t(ScaleCodeToIndex(26)));
  EXPECT_EQ(std::u16string(obj.szMapFile).substr(0, 8), u"veltest-");
  obj = {};
  ASSERT_TRUE(q->GetItem(1, &obj, dwAll));
  EXPECT_NEAR(obj.xNearest, c_x0 + East(50), 64);
  EXPECT_NEAR(obj.xRepr, c_x0 + East(70), 300);
  obj = {};
  ASSERT_TRUE(q->GetItem(2, &obj, dwAll));
  EXPECT_EQ(obj.nKind, rkPolyline);
  EXPECT_NEAR(obj.xNearest, c_x0, 64);
  EXPECT_NEAR(obj.yNearest, c_y0 + North(100), 64);
  EXPECT_NEAR(obj.xRepr, c_x0, 64);  // the middle of the line
  // A new reference point moves the nearest points, not the list.
  q->SetReference(MapPoint{c_x0 + East(300), c_y0});
  obj = {};
  ASSERT_TRUE(q->GetItem(2, &obj, dwAll));
  EXPECT_NEAR(obj.xNearest, c_x0 + East(300), 64);
  EXPECT_EQ(std::u16string(obj.szName), u"Улица Ленина");
  EXPECT_FALSE(q->GetItem(q->GetCount(), &obj, dwAll));
  // Name-only requests leave the points alone.
  FoundObject nameOnly = {};
  nameOnly.xNearest = 12345;
  ASSERT_TRUE(q->GetItem(2, &nameOnly, 2));
  EXPECT_EQ(nameOnly.xNearest, 12345);
  EXPECT_EQ(std::u16string(nameOnly.szName), u"Улица Ленина");
}

// A ring that crosses itself: the centroid of its two loops of opposite
// sign lies outside it, so its extent's middle stands for it.
TEST(VelNearest, ASelfCrossingAreaIsRepresentedInsideItsExtent) {
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 26;
  // A bow tie with a large and a small loop.
  levels[0].objects.push_back(Object(rkPolygon, 0x13,
                                     {{c_x0, c_y0}, {c_x0 + East(100), c_y0 + North(40)}, {c_x0 + East(100), c_y0},
                                      {c_x0, c_y0 + North(30)}},
                                     u"Бант"));
  std::vector<uint8_t> bytes;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(VelWriterOptions(), levels, bytes, strError)) << strError;
  std::unique_ptr<CVelParser> p(OpenBytes(bytes, "nearest-bowtie"));
  ASSERT_TRUE(p);
  std::unique_ptr<CMapQuery> q(p->FindNearest(0, false, MapPoint{c_x0, c_y0}, 500, nullptr, nullptr, nullptr));
  ASSERT_TRUE(q);
  ASSERT_EQ(q->GetCount(), 1u);
  FoundObject obj = {};
  ASSERT_TRUE(q->GetItem(0, &obj, c_fofReprPoint));
  EXPECT_GE(obj.xRepr, c_x0);
  EXPECT_LE(obj.xRepr, c_x0 + East(100));
  EXPECT_GE(obj.yRepr, c_y0);
  EXPECT_LE(obj.yRepr, c_y0 + North(40));
}

TEST(VelNearest, EqualDistancesPutWhatIsDrawnOnTopFirst) {
  // A park holding a building holding the search point, a line and a point
  // through it: all at distance 0 (the point on the level's grid).
  ASSERT_EQ(c_x0 % 32, 0);
  ASSERT_EQ(c_y0 % 32, 0);
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 26;
  auto& v = levels[0].objects;
  v.push_back(Object(rkPoint, 0x2A00, {{c_x0, c_y0}}, u"Кафе"));
  v.push_back(Object(rkPolyline, 0x06, {{c_x0 - 32 * 100, c_y0}, {c_x0 + 32 * 100, c_y0}}, u"Аллея"));
  v.push_back(Object(rkPolygon, 0x17, {{c_x0 - East(15), c_y0 - North(15)}, {c_x0 + East(400), c_y0 - North(15)},
                                       {c_x0 + East(400), c_y0 + North(400)}, {c_x0 - East(15), c_y0 + North(400)}},
                     u"Парк"));
  v.push_back(Object(rkPolygon, 0x13, {{c_x0 - East(12), c_y0 - North(12)}, {c_x0 + East(12), c_y0 - North(12)},
                                       {c_x0 + East(12), c_y0 + North(12)}, {c_x0 - East(12), c_y0 + North(12)}},
                     u"Дом"));
  std::vector<uint8_t> bytes;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(VelWriterOptions(), levels, bytes, strError));
  std::unique_ptr<CVelParser> p(OpenBytes(bytes, "nearest-ties"));
  ASSERT_TRUE(p);
  EXPECT_EQ(Search(p.get(), 5), (Names_t{u"Кафе", u"Аллея", u"Дом", u"Парк"}));
}

TEST(VelNearest, TypeAndNameFilters) {
  auto p = KnownGeometry();
  ASSERT_TRUE(p);
  // The kind is part of the filter: type 0x06 as a point matches nothing.
  EXPECT_EQ(Search(p.get(), 5000, {{rkPolyline, 0x06}}), (Names_t{u"Улица Ленина", u"Дальняя"}));
  EXPECT_TRUE(Search(p.get(), 5000, {{rkPoint, 0x06}}).empty());
  EXPECT_EQ(Search(p.get(), 5000, {{rkPoint, 0x2F05}, {rkPolygon, 0x3C}}), (Names_t{u"Пруд", u"Мирная"}));
  // An empty filter is no filter.
  MapTypeFilter none = {nullptr, 0};
  std::unique_ptr<CMapQuery> q(p->FindNearest(0, false, MapPoint{c_x0, c_y0}, 5000, &none, nullptr, nullptr));
  ASSERT_TRUE(q);
  EXPECT_EQ(q->GetCount(), 6u);
  // Names contain the text in any letter case; an empty text filters nothing.
  EXPECT_EQ(Search(p.get(), 5000, {}, u"мир"), (Names_t{u"ПРОСПЕКТ мира", u"Мирная"}));
  EXPECT_EQ(Search(p.get(), 5000, {}, u"ЛЕНИН"), (Names_t{u"Улица Ленина"}));
  EXPECT_TRUE(Search(p.get(), 5000, {}, u"Ленинградская").empty());
  EXPECT_EQ(Search(p.get(), 5000, {}, u"").size(), 6u);
  // Both filters at once.
  EXPECT_EQ(Search(p.get(), 5000, {{rkPoint, 0x2F05}}, u"мир"), (Names_t{u"Мирная"}));
  // The radius still applies to what the filters pass.
  EXPECT_EQ(Search(p.get(), 200, {{rkPolyline, 0x06}}), (Names_t{u"Улица Ленина"}));
}

TEST(VelNearest, LevelChosenByScale) {
  // Five levels with velc's codes; each has one line of type level + 1.
  std::vector<VelLevelInput> levels(5);
  const uint16_t codes[5] = {16, 18, 20, 22, 24};
  for (int i = 0; i < 5; ++i) {
    levels[size_t(i)].wLevelCode = codes[i];
    levels[size_t(i)].objects.push_back(
        Object(rkPolyline, uint16_t(i + 1), {{c_x0 - 4000000, c_y0}, {c_x0 + 4000000, c_y0}}, u"L"));
  }
  std::vector<uint8_t> bytes;
  std::string strError;
  ASSERT_TRUE(WriteVelMap(VelWriterOptions(), levels, bytes, strError));
  std::unique_ptr<CVelParser> p(OpenBytes(bytes, "nearest-levels"));
  ASSERT_TRUE(p);
  std::set<uint32_t> levelsSeen;
  for (uint32_t nScale = 0; nScale <= 26; ++nScale) {
    const uint32_t nLevel = p->ChooseLevel(nScale);
    levelsSeen.insert(nLevel);
    std::unique_ptr<CMapQuery> q(p->FindNearest(nScale, true, MapPoint{c_x0, c_y0}, 3000, nullptr, nullptr, nullptr));
    ASSERT_TRUE(q);
    ASSERT_EQ(q->GetCount(), 1u) << nScale;
    FoundObject obj = {};
    ASSERT_TRUE(q->GetItem(0, &obj, c_fofScale));
    EXPECT_EQ(obj.wType, nLevel + 1) << "scale " << nScale;
    EXPECT_EQ(obj.nScale, int16_t(ScaleCodeToIndex(codes[nLevel])));
    // Without the scale the finest level is searched whatever the index.
    q.reset(p->FindNearest(nScale, false, MapPoint{c_x0, c_y0}, 3000, nullptr, nullptr, nullptr));
    ASSERT_TRUE(q && q->GetCount() == 1);
    ASSERT_TRUE(q->GetItem(0, &obj, 3));
    EXPECT_EQ(obj.wType, 5);
  }
  EXPECT_EQ(levelsSeen.size(), 5u);
}

TEST(VelNearest, DemoRegionMatchesAScan) {
  const std::string strMap = DemoMap();
  ASSERT_FALSE(strMap.empty());
  auto p = OpenPath(strMap);
  ASSERT_TRUE(p);
  RandomSearches(p.get(), 40, 2000, 11, u"ул");
}

TEST(VelNearest, MonacoMatchesAScan) {
  const std::string strMap = MonacoMap();
  if (strMap.empty()) GTEST_SKIP() << "no monaco.osm.pbf in " << VELMO_SHARED_DATA << "/osm";
  auto p = OpenPath(strMap);
  ASSERT_TRUE(p);
  RandomSearches(p.get(), 30, 400, 7, u"av");
}

// Every OSM extract at hand, compiled once per run: hundreds of random
// searches each, checked against the scan.
TEST(VelNearest, EveryExtractMatchesAScan) {
  std::vector<std::string> extracts;
  const std::string strDir = std::string(VELMO_SHARED_DATA) + "/osm";
  if (DIR* d = opendir(strDir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string s = e->d_name;
      if (s.size() > 8 && s.substr(s.size() - 8) == ".osm.pbf") extracts.push_back(s);
    }
    closedir(d);
  }
  if (extracts.empty()) GTEST_SKIP() << "no OSM extracts in " << strDir;
  std::sort(extracts.begin(), extracts.end());
  unsigned nSeed = 100;
  for (const std::string& strName : extracts) {
    SCOPED_TRACE(strName);
    const std::string strVel = std::string(VELMO_BINARY_DIR) + "/velnearest-" + strName + ".vel";
    std::string strError;
    ASSERT_TRUE(CompileOsmToVel(strDir + "/" + strName, strVel, "", VelWriterOptions(), strError)) << strError;
    auto p = OpenPath(strVel);
    ASSERT_TRUE(p);
    RandomSearches(p.get(), 250, 600, ++nSeed, u"");
  }
}

TEST(VelNearest, ProgressAndCancel) {
  const std::string strMap = DemoMap();
  ASSERT_FALSE(strMap.empty());
  auto p = OpenPath(strMap);
  ASSERT_TRUE(p);
  const MapRect& r = p->GetRect();
  const MapPoint ptMiddle = {int32_t((int64_t(r.left) + r.right) / 2), int32_t((int64_t(r.top) + r.bottom) / 2)};
  static std::vector<int32_t> s_positions;
  static volatile bool s_fCancel;
  static int s_cCancelAt;
  auto fnSetPos = [](void*, int32_t nPos) {
    s_positions.push_back(nPos);
    if (int(s_positions.size()) == s_cCancelAt) s_fCancel = true;
  };
  // Not cancelled: positions climb from the start to the end of the range.
  s_positions.clear();
  s_fCancel = false;
  s_cCancelAt = -1;
  MapProgress progress = {100, 200, &s_fCancel, fnSetPos};
  std::unique_ptr<CMapQuery> q(p->FindNearest(0, false, ptMiddle, 50000, nullptr, nullptr, &progress));
  ASSERT_TRUE(q);
  EXPECT_GT(q->GetCount(), 0u);
  ASSERT_GE(s_positions.size(), 3u);
  EXPECT_EQ(s_positions.front(), 100);
  EXPECT_EQ(s_positions.back(), 200);
  for (size_t i = 1; i < s_positions.size(); ++i) EXPECT_GT(s_positions[i], s_positions[i - 1]);
  // Cancelled before or during the walk: no result list.
  s_fCancel = true;
  EXPECT_EQ(p->FindNearest(0, false, ptMiddle, 50000, nullptr, nullptr, &progress), nullptr);
  s_positions.clear();
  s_fCancel = false;
  s_cCancelAt = 2;
  EXPECT_EQ(p->FindNearest(0, false, ptMiddle, 50000, nullptr, nullptr, &progress), nullptr);
  EXPECT_EQ(s_positions.size(), 2u);  // the walk stopped at the next block
  // A range with no position callback and a flag left clear still searches.
  s_fCancel = false;
  MapProgress quiet = {0, 0, &s_fCancel, nullptr};
  q.reset(p->FindNearest(0, false, ptMiddle, 50000, nullptr, nullptr, &quiet));
  ASSERT_TRUE(q);
  EXPECT_GT(q->GetCount(), 0u);
}

class VelNearestDamage : public ::testing::Test {
 protected:
  void SetUp() override { m_old = platform::SetAssertHook([](const char*, const char*, int) {}); }
  void TearDown() override { platform::SetAssertHook(m_old); }
  platform::AssertHook m_old = nullptr;
};

// A map whose Huffman tables are moved into the reserved end of the
// extended header, so that cutting the file takes object data and nothing
// the reader needs to open it.
std::vector<uint8_t> MapWithTablesInTheHeader() {
  std::vector<VelLevelInput> levels(1);
  levels[0].wLevelCode = 24;
  for (int i = 0; i < 60; ++i) {
    const int32_t x = c_x0 + East(400) * (i % 10), y = c_y0 + North(400) * (i / 10);
    const std::u16string strName = u"N" + std::u16string(1, char16_t(u'0' + i / 10)) + char16_t(u'0' + i % 10);
    if (i % 3 == 0) levels[0].objects.push_back(Object(rkPoint, 0x2A00, {{x, y}}, strName));
    if (i % 3 == 1) levels[0].objects.push_back(Object(rkPolyline, 0x06, {{x, y}, {x + East(100), y + North(50)}}, strName));
    if (i % 3 == 2)
      levels[0].objects.push_back(
          Object(rkPolygon, 0x13, {{x, y}, {x + East(60), y}, {x + East(60), y + North(60)}}, strName));
  }
  VelWriterOptions opt;
  opt.fSharedLabels = false;
  opt.cBlockCell = 128;  // many small blocks
  std::vector<uint8_t> bytes;
  std::string strError;
  EXPECT_TRUE(WriteVelMap(opt, levels, bytes, strError)) << strError;
  vel::VelExtHeader hdr;
  std::memcpy(&hdr, bytes.data(), sizeof hdr);
  const uint32_t c_dwReserved = offsetof(vel::VelExtHeader, abReserved10);
  EXPECT_LE(hdr.dwHuffmanLength, sizeof hdr.abReserved10);
  EXPECT_GE(hdr.dwHuffmanOffset, sizeof hdr);
  if (hdr.dwHuffmanLength > sizeof hdr.abReserved10) return {};
  std::memmove(&bytes[c_dwReserved], &bytes[hdr.dwHuffmanOffset], hdr.dwHuffmanLength);
  bytes.resize(hdr.dwHuffmanOffset);  // the tables were the last part
  hdr.dwHuffmanOffset = c_dwReserved;
  std::memcpy(bytes.data() + offsetof(vel::VelExtHeader, dwHuffmanOffset), &hdr.dwHuffmanOffset, 4);
  const uint32_t cb = uint32_t(bytes.size());
  std::memcpy(&bytes[8], &cb, 4);
  return bytes;
}

TEST_F(VelNearestDamage, CutFileFindsOnlyWhatItHolds) {
  std::vector<uint8_t> intact = MapWithTablesInTheHeader();
  ASSERT_FALSE(intact.empty());
  const MapPoint pt = {c_x0 + East(2000), c_y0 + North(1000)};
  const uint32_t dwAll = c_fofName | c_fofReprPoint | c_fofNearestPoint | c_fofScale;
  auto fnSearch = [&](const std::vector<uint8_t>& bytes, std::multiset<std::tuple<int, std::u16string, int32_t, int32_t>>& out) {
    // A buffer of exactly the file's size, opened as the format list does.
    std::unique_ptr<uint8_t[]> buf(new uint8_t[bytes.size()]);
    std::memcpy(buf.get(), bytes.data(), bytes.size());
    MapOpenContext ctx{u"cut.vel", nullptr, buf.get(), uint32_t(bytes.size())};
    CVelParser parser(ctx);
    if (!parser.Open(c_fOpenAll)) return false;
    std::unique_ptr<CMapQuery> q(parser.FindNearest(0, false, pt, 10000, nullptr, nullptr, nullptr));
    EXPECT_TRUE(q);
    for (uint32_t i = 0; q && i < q->GetCount(); ++i) {
      FoundObject obj = {};
      EXPECT_TRUE(q->GetItem(i, &obj, dwAll));
      obj.szName[63] = 0;
      out.emplace(obj.nKind, obj.szName, obj.xNearest, obj.yNearest);
    }
    return true;
  };
  std::multiset<std::tuple<int, std::u16string, int32_t, int32_t>> all;
  ASSERT_TRUE(fnSearch(intact, all));
  ASSERT_EQ(all.size(), 60u);
  size_t cOpened = 0, cPartial = 0, cPrevious = 0;
  for (size_t cb = sizeof(vel::VelExtHeader); cb < intact.size(); ++cb) {
    std::vector<uint8_t> cut(intact.begin(), intact.begin() + ptrdiff_t(cb));
    const uint32_t cb32 = uint32_t(cb);
    std::memcpy(&cut[8], &cb32, 4);
    std::multiset<std::tuple<int, std::u16string, int32_t, int32_t>> found;
    if (!fnSearch(cut, found)) continue;
    ++cOpened;
    // Everything found is an object of the whole file, found there the same.
    EXPECT_TRUE(std::includes(all.begin(), all.end(), found.begin(), found.end())) << "cut at " << cb;
    // A longer file holds at least the objects of a shorter one.
    EXPECT_GE(found.size(), cPrevious) << "cut at " << cb;
    cPrevious = found.size();
    cPartial += !found.empty() && found.size() < all.size();
  }
  EXPECT_GT(cOpened, 0u);
  EXPECT_GT(cPartial, 0u);
}

TEST_F(VelNearestDamage, FlippedBytesNeverCrash) {
  const std::string strMap = DemoMap();
  ASSERT_FALSE(strMap.empty());
  FILE* f = std::fopen(strMap.c_str(), "rb");
  ASSERT_TRUE(f);
  std::vector<uint8_t> bytes;
  uint8_t chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  std::mt19937 rng(5);
  const MapRect rect = OpenPath(strMap)->GetRect();
  size_t cSearched = 0;
  for (int nCase = 0; nCase < 60; ++nCase) {
    std::vector<uint8_t> bad = bytes;
    for (int i = 0; i < 8; ++i) bad[sizeof(vel::VelExtHeader) + rng() % (bad.size() - sizeof(vel::VelExtHeader))] ^= uint8_t(1 + rng() % 255);
    std::unique_ptr<uint8_t[]> buf(new uint8_t[bad.size()]);
    std::memcpy(buf.get(), bad.data(), bad.size());
    MapOpenContext ctx{u"bad.vel", nullptr, buf.get(), uint32_t(bad.size())};
    CVelParser parser(ctx);
    if (!parser.Open(c_fOpenAll)) continue;
    const MapPoint pt = {int32_t(rect.left + int64_t(rng() % 100) * (int64_t(rect.right) - rect.left) / 100),
                         int32_t(rect.top + int64_t(rng() % 100) * (int64_t(rect.bottom) - rect.top) / 100)};
    std::unique_ptr<CMapQuery> q(parser.FindNearest(uint32_t(nCase % 27), nCase % 2 != 0, pt, 20000, nullptr, u"а", nullptr));
    if (!q) continue;
    ++cSearched;
    for (uint32_t i = 0; i < q->GetCount(); ++i) {
      FoundObject obj = {};
      q->GetItem(i, &obj, 0xFFFFFFFF);
    }
  }
  EXPECT_GT(cSearched, 10u);
}

// ---------------------------------------------------------------------------
// velmo-cli nearest

#ifdef VELMO_CLI
std::string RunCli(const std::string& strArgs, int* pnExit) {
  FILE* f = popen((std::string(VELMO_CLI) + " " + strArgs + " 2>/dev/null").c_str(), "r");
  std::string out;
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  int rc = pclose(f);
  *pnExit = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

struct CliLine {
  std::string strType, strName, strKind;
  double fDistance;
  std::string strAddress;  // what follows the kind: the quoted address fields, if any
};

std::vector<CliLine> ParseCli(const std::string& out) {
  std::vector<CliLine> v;
  size_t pos = 0;
  while (pos < out.size()) {
    size_t end = out.find('\n', pos);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(pos, end - pos);
    pos = end + 1;
    // The name ends at the last quote before " scale N kind".
    const size_t sc = line.rfind(" scale ");
    const size_t q1 = line.find('"');
    const size_t q2 = sc == std::string::npos ? std::string::npos : line.rfind('"', sc);
    if (q1 == std::string::npos || q2 == std::string::npos || q2 == q1) continue;
    CliLine l;
    l.strType = line.substr(0, q1 - 1);
    l.strName = line.substr(q1 + 1, q2 - q1 - 1);
    const std::string rest = line.substr(q2 + 2, sc - q2 - 2);  // "lat,lon distance"
    l.fDistance = std::stod(rest.substr(rest.find(' ') + 1));
    const size_t k = line.find(' ', sc + 7) + 1;  // after the scale index
    const size_t e = line.find(' ', k);
    l.strKind = line.substr(k, e == std::string::npos ? std::string::npos : e - k);
    if (e != std::string::npos) l.strAddress = line.substr(e + 1);
    v.push_back(l);
  }
  return v;
}

TEST(VelNearestCli, FindsEveryKindNearestFirst) {
  const std::string strMap = DemoMap();
  ASSERT_FALSE(strMap.empty());
  auto p = OpenPath(strMap);
  ASSERT_TRUE(p);
  // A search around a named line of the demo region.
  const std::vector<Decoded> all = DecodeAll(p.get());
  const Decoded* pLine = nullptr;
  for (const Decoded& o : all)
    if (o.nLevel + 1 == p->GetLevelCount() && o.nKind == rkPolyline && !o.strLabel.empty() && o.points.size() >= 2)
      pLine = &o;
  ASSERT_TRUE(pLine);
  const MapPoint pt = pLine->points[1];
  char szWhere[64];
  std::snprintf(szWhere, sizeof szWhere, " %.7f %.7f ", MapToDegrees(pt.y), MapToDegrees(pt.x));
  int nExit = -1;
  std::vector<CliLine> lines = ParseCli(RunCli("nearest " + strMap + szWhere + "1500", &nExit));
  EXPECT_EQ(nExit, 0);
  ASSERT_FALSE(lines.empty());
  std::set<std::string> kinds;
  for (size_t i = 0; i < lines.size(); ++i) {
    kinds.insert(lines[i].strKind);
    // Nothing after the kind, or the four quoted address fields.
    EXPECT_TRUE(lines[i].strAddress.empty() || std::count(lines[i].strAddress.begin(), lines[i].strAddress.end(), '"') == 8)
        << lines[i].strAddress;
    EXPECT_LE(lines[i].fDistance, 1500.1);
    if (i) {
      EXPECT_GE(lines[i].fDistance, lines[i - 1].fDistance - 0.1);
    }
  }
  EXPECT_EQ(lines[0].fDistance, 0.0);  // the line through the point
  EXPECT_TRUE(kinds.count("line"));
  // A line type filter and a name filter.
  char szType[32];
  std::snprintf(szType, sizeof szType, " line:0x%x", pLine->wType);
  const std::string strName = platform::U16ToUtf8(ShownName(*pLine));
  lines = ParseCli(RunCli("nearest " + strMap + szWhere + "1500" + szType + " --name '" + strName + "'", &nExit));
  EXPECT_EQ(nExit, 0);
  ASSERT_FALSE(lines.empty());
  for (const CliLine& l : lines) {
    EXPECT_EQ(l.strKind, "line");
    EXPECT_NE(l.strName.find(strName), std::string::npos);
  }
  // A house with an address has it at the end of its line.
  std::unique_ptr<CMapQuery> houses(p->FindByAddress(CVelParser::c_nAnyCity, u"", u"", u"", nullptr));
  ASSERT_TRUE(houses);
  FoundObject house = {};
  for (uint32_t i = 0; i < houses->GetCount() && !(house.szNumber[0] && house.nKind == rkPoint); ++i) {
    house = FoundObject{};
    ASSERT_TRUE(houses->GetItem(i, &house, c_fofCity | c_fofZip | c_fofStreet | c_fofNumber | c_fofReprPoint));
  }
  ASSERT_TRUE(house.szNumber[0] && house.nKind == rkPoint);
  char szHouse[64];
  std::snprintf(szHouse, sizeof szHouse, " %.7f %.7f 1", MapToDegrees(house.yRepr), MapToDegrees(house.xRepr));
  lines = ParseCli(RunCli("nearest " + strMap + szHouse + " point:0x" + [&] {
                            char sz[8];
                            std::snprintf(sz, sizeof sz, "%x", house.wType);
                            return std::string(sz);
                          }(), &nExit));
  EXPECT_EQ(nExit, 0);
  const std::string strAddress = "\"" + platform::U16ToUtf8(house.szCity) + "\" \"" + platform::U16ToUtf8(house.szZip) +
                                 "\" \"" + platform::U16ToUtf8(house.szStreet) + "\" \"" +
                                 platform::U16ToUtf8(house.szNumber) + "\"";
  bool fListed = false;
  for (const CliLine& l : lines) {
    EXPECT_EQ(l.strKind, "point");
    fListed |= l.strAddress == strAddress;
  }
  EXPECT_TRUE(fListed) << strAddress;
  // Bad type codes.
  RunCli("nearest " + strMap + szWhere + "100 road:6", &nExit);
  EXPECT_EQ(nExit, 2);
  RunCli("nearest " + strMap + szWhere + "100 line:", &nExit);
  EXPECT_EQ(nExit, 2);
}
#endif

}  // namespace
