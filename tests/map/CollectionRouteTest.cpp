// Routes across a collection on real extracts: an extract cut into tiles
// routes its origin/destination pairs as the single map does (same length
// within 0.1 %, by length and by time; no maneuver near a tile's edge that
// the single map lacks).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "map/MapFiles.h"
#include "map/vidx/VidxParser.h"
#include "platform/Str.h"
#include "tests/map/RouteTestNet.h"

using namespace routetest;

namespace {

#ifdef VELMO_VELC

struct Pair {
  int n = 0;
  MapPoint a{0, 0}, b{0, 0};
};

std::vector<Pair> ReadPairs(const std::string& strExtract) {
  std::ifstream in(std::string(VELMO_SHARED_DATA) + "/../peers/baseline/" + strExtract + "/pairs.csv");
  std::vector<Pair> out;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string s;
    while (std::getline(ss, s, ',')) f.push_back(s);
    if (f.size() < 7) continue;
    Pair p;
    p.n = std::atoi(f[0].c_str());
    p.a = MapPoint{DegreesToMap(std::atof(f[2].c_str())), DegreesToMap(std::atof(f[3].c_str()))};
    p.b = MapPoint{DegreesToMap(std::atof(f[5].c_str())), DegreesToMap(std::atof(f[6].c_str()))};
    out.push_back(p);
  }
  return out;
}

double Metres(const MapPoint& p, const MapPoint& q) {
  const double c_fRad = 3.14159265358979 / 180;
  const double fCos = std::cos(MapToDegrees(p.y) * c_fRad);
  const double dx = (MapToDegrees(q.x) - MapToDegrees(p.x)) * fCos, dy = MapToDegrees(q.y) - MapToDegrees(p.y);
  return std::sqrt(dx * dx + dy * dy) * c_fRad * 6371008.8;
}

double RouteMetres(const RouteOptions& o) {
  double f = 0;
  for (size_t i = 1; i < o.points.size(); ++i)
    f += Metres(MapPoint{o.points[i - 1].x >> 1, o.points[i - 1].y >> 1}, MapPoint{o.points[i].x >> 1, o.points[i].y >> 1});
  return f;
}

std::vector<MapPoint> ManeuverPoints(const RouteOptions& o) {
  std::vector<MapPoint> v;
  for (const RouterPoint& p : o.points)
    if (p.btKind & c_rkManeuver) v.push_back(MapPoint{p.x >> 1, p.y >> 1});
  return v;
}

// Metres from the point to the nearest edge between two tiles.
double MetresToInnerEdge(const MapPoint& p, const std::vector<MapRect>& tiles, const MapRect& all) {
  double f = 1e18;
  for (const MapRect& r : tiles) {
    if (!r.Contains(p)) continue;
    if (r.left > all.left) f = std::min(f, Metres(p, MapPoint{r.left, p.y}));
    if (r.right < all.right) f = std::min(f, Metres(p, MapPoint{r.right, p.y}));
    if (r.top > all.top) f = std::min(f, Metres(p, MapPoint{p.x, r.top}));
    if (r.bottom < all.bottom) f = std::min(f, Metres(p, MapPoint{p.x, r.bottom}));
  }
  return f;
}

std::string RunCommand(const std::string& strCmd) {
  return std::system((strCmd + " >/dev/null 2>&1").c_str()) == 0 ? "ok" : "failed: " + strCmd;
}

// The pairs of each extract route through its tiles as on the single map.
TEST(CollectionRoute, TiledExtractsRouteEveryPairAsTheSingleMap) {
  bool fAny = false;
  for (const char* pszExtract : {"monaco", "andorra", "north-bayreuth", "moscow"}) {
    SCOPED_TRACE(pszExtract);
    const std::vector<Pair> pairs = ReadPairs(pszExtract);
    const std::string strSingle = CompiledExtract(pszExtract);
    if (pairs.empty() || strSingle.empty()) continue;
    fAny = true;
    const std::string dir = std::string(VELMO_BINARY_DIR) + "/colroute-" + pszExtract + "/";
    std::filesystem::remove_all(dir);
    const uint64_t cbMap = std::filesystem::file_size(strSingle);
    // Tiles of about a sixth of the map: at least four of them.
    const std::string strSize = std::to_string(std::max<uint64_t>(16, cbMap / 1024 / 3));
    ASSERT_EQ(RunCommand(std::string(VELMO_VELC) + " " + VELMO_SHARED_DATA + "/osm/" + pszExtract + ".osm.pbf -o " + dir +
                  " --tile-size " + strSize),
              "ok");
    std::unique_ptr<CMapParser> single(OpenMapFile(platform::Utf8ToU16(strSingle).c_str(), false, c_fOpenAll));
    std::unique_ptr<CMapParser> tiles(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
    CVidxParser* pIndex = AsVidxParser(tiles.get());
    ASSERT_TRUE(single && pIndex);
    ASSERT_GE(pIndex->GetMapCount(), 4u);
    std::vector<MapRect> rects;
    for (uint32_t i = 0; i < pIndex->GetMapCount(); ++i) rects.push_back(pIndex->GetMember(i).rect);
    uint32_t cCrossing = 0, cEqual = 0, cRouted = 0;
    for (const bool fTime : {false, true}) {
      for (const Pair& pair : pairs) {
        SCOPED_TRACE("pair " + std::to_string(pair.n) + (fTime ? " by time" : " by length"));
        RouteOptions one = Car(fTime), many = Car(fTime);
        one.fAvoidUTurns = many.fAvoidUTurns = 1;
        ASSERT_TRUE(single->FindRoute(pair.a, pair.b, &one, nullptr));
        const bool fRouted = tiles->FindRoute(pair.a, pair.b, &many, nullptr);
        EXPECT_TRUE(fRouted) << "not routed through the tiles";
        if (!fRouted) continue;
        ++cRouted;
        cCrossing += pIndex->GetRouteStats().cLegs > 1;
        // The same route: the search across the tiles keeps the turn
        // restrictions, one-way roads and U-turn rule where it crosses, and
        // the members drive the legs on from the roads arrived by.
        const double fOne = RouteMetres(one), fMany = RouteMetres(many);
        EXPECT_NEAR(fMany, fOne, fOne * 1e-3) << "through " << pIndex->GetRouteStats().cMembersSearched << " tiles";
        if (std::fabs(fMany - fOne) > fOne * 1e-3) continue;
        ++cEqual;
        const std::vector<MapPoint> oneTurns = ManeuverPoints(one);
        for (const MapPoint& p : ManeuverPoints(many)) {
          if (MetresToInnerEdge(p, rects, pIndex->GetRect()) > 30) continue;
          double fNearest = 1e18;
          for (const MapPoint& q : oneTurns) fNearest = std::min(fNearest, Metres(p, q));
          EXPECT_LT(fNearest, 1.0) << "a maneuver at a tile's edge, " << MapToDegrees(p.y) << " N "
                                   << MapToDegrees(p.x) << " E, that the single map does not have";
        }
      }
    }
    std::printf("%s: %zu tiles, %u of %zu routes found, %u across tiles, %u as long as on the single map\n",
                pszExtract, size_t(pIndex->GetMapCount()), cRouted, 2 * pairs.size(), cCrossing, cEqual);
    EXPECT_GE(cCrossing, 10u) << "most pairs should cross tiles";
#ifdef VELMO_CLI
    // The command line routes the folder too and writes the whole route.
    const std::string strGpx = dir + "route.gpx";
    const Pair& p0 = pairs.front();
    char szArgs[160];
    std::snprintf(szArgs, sizeof szArgs, " %.7f %.7f %.7f %.7f --gpx ", MapToDegrees(p0.a.y), MapToDegrees(p0.a.x),
                  MapToDegrees(p0.b.y), MapToDegrees(p0.b.x));
    ASSERT_EQ(RunCommand(std::string(VELMO_CLI) + " route " + dir + szArgs + strGpx), "ok");
    std::ifstream gpx(strGpx);
    const std::string strText((std::istreambuf_iterator<char>(gpx)), std::istreambuf_iterator<char>());
    size_t cPoints = 0;
    for (size_t i = strText.find("<rtept"); i != std::string::npos; i = strText.find("<rtept", i + 1)) ++cPoints;
    EXPECT_GT(cPoints, 20u) << "a road route, not a straight line";
#endif
  }
  if (!fAny) GTEST_SKIP() << "no extracts or no pairs in " VELMO_SHARED_DATA;
}

// The tiles of north-bayreuth that TiledExtractsRouteEveryPairAsTheSingleMap
// wrote, or "" when they are not there.
std::string TiledNorthBayreuth() {
  const std::string dir = std::string(VELMO_BINARY_DIR) + "/colroute-north-bayreuth/";
  return std::filesystem::exists(dir + "Index.vidx") ? dir : std::string();
}

// A route across the tiles moves the bar through the whole range, forward
// only, and a Cancel given while it runs ends the calculation: the window
// of a calculation takes its Cancel while the search over the members runs.
TEST(CollectionRoute, TheBarMovesAcrossTheRangeAndCancelEndsTheSearch) {
  const std::string dir = TiledNorthBayreuth();
  const std::vector<Pair> pairs = ReadPairs("north-bayreuth");
  if (pairs.empty() || dir.empty()) GTEST_SKIP() << "runs after TiledExtractsRouteEveryPairAsTheSingleMap";
  std::unique_ptr<CMapParser> tiles(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
  ASSERT_TRUE(tiles && AsVidxParser(tiles.get()));
  // The pair that lies farthest apart.
  const Pair* pFar = &pairs.front();
  for (const Pair& p : pairs)
    if (Metres(p.a, p.b) > Metres(pFar->a, pFar->b)) pFar = &p;
  struct Bar {
    std::vector<int32_t> positions;
    volatile bool fCancel = false;
    size_t cCancelAt = SIZE_MAX;
    static void SetPos(void* pContext, int32_t n) {
      Bar* p = static_cast<Bar*>(pContext);
      p->positions.push_back(n);
      if (p->positions.size() >= p->cCancelAt) p->fCancel = true;
    }
  };
  Bar bar;
  MapProgress progress{1000, 2000, &bar.fCancel, &Bar::SetPos, &bar};
  RouteOptions route = Car(false);
  ASSERT_TRUE(tiles->FindRoute(pFar->a, pFar->b, &route, &progress));
  ASSERT_GE(bar.positions.size(), 3u);
  for (size_t i = 0; i < bar.positions.size(); ++i) {
    EXPECT_GE(bar.positions[i], 1000);
    EXPECT_LE(bar.positions[i], 2000);
    if (i) {
      EXPECT_GE(bar.positions[i], bar.positions[i - 1]) << "the bar went back at report " << i;
    }
  }
  EXPECT_GE(bar.positions.back(), 1900) << "the bar did not reach the end of its range";
  EXPECT_LE(bar.positions.front(), 1250) << "the search over the members gave the bar nothing";
  // Cancelled at the second report: no route, and the points are left alone.
  Bar cancel;
  cancel.cCancelAt = 2;
  MapProgress cancelled{1000, 2000, &cancel.fCancel, &Bar::SetPos, &cancel};
  RouteOptions none = Car(false);
  EXPECT_FALSE(tiles->FindRoute(pFar->a, pFar->b, &none, &cancelled));
  EXPECT_TRUE(none.points.empty());
}

// The members opened for routes stay within the memory bound: past it the
// members the last route did not use are closed (the longest unused first),
// and the routes come out the same as with every member kept.
TEST(CollectionRoute, MembersOpenForRoutesStayWithinTheMemoryBound) {
  const std::string dir = TiledNorthBayreuth();
  const std::vector<Pair> pairs = ReadPairs("north-bayreuth");
  if (pairs.empty() || dir.empty()) GTEST_SKIP() << "runs after TiledExtractsRouteEveryPairAsTheSingleMap";
  std::unique_ptr<CMapParser> kept(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
  std::unique_ptr<CMapParser> bounded(OpenUserMap(platform::Utf8ToU16(dir).c_str(), true));
  CVidxParser* pKept = AsVidxParser(kept.get());
  CVidxParser* pBounded = AsVidxParser(bounded.get());
  ASSERT_TRUE(pKept && pBounded);
  pKept->SetRouteMemoryLimit(0);
  // About three members' worth: measured on the first route.
  RouteOptions first = Car(false);
  ASSERT_TRUE(kept->FindRoute(pairs[0].a, pairs[0].b, &first, nullptr));
  const size_t cbPerMember = pKept->GetRouteMemory() / std::max(1u, pKept->GetRouteMembersOpen());
  ASSERT_GT(cbPerMember, 0u);
  const size_t cbLimit = cbPerMember * 3;
  pBounded->SetRouteMemoryLimit(cbLimit);
  uint32_t cClosed = 0;
  for (const Pair& pair : pairs) {
    SCOPED_TRACE("pair " + std::to_string(pair.n));
    RouteOptions a = Car(false), b = Car(false);
    const bool fA = kept->FindRoute(pair.a, pair.b, &a, nullptr);
    ASSERT_EQ(bounded->FindRoute(pair.a, pair.b, &b, nullptr), fA);
    ASSERT_EQ(a.points.size(), b.points.size());
    for (size_t i = 0; i < a.points.size(); ++i) {
      ASSERT_EQ(a.points[i].x, b.points[i].x) << i;
      ASSERT_EQ(a.points[i].y, b.points[i].y) << i;
    }
    cClosed += pBounded->GetRouteStats().cMembersClosed;
    // Within the bound, or holding only what the route itself used.
    EXPECT_TRUE(pBounded->GetRouteMemory() <= cbLimit ||
                pBounded->GetRouteMembersOpen() <= pBounded->GetRouteStats().cMembersSearched)
        << pBounded->GetRouteMemory() << " bytes in " << pBounded->GetRouteMembersOpen() << " members";
  }
  EXPECT_GT(cClosed, 0u) << "the routes should reach more members than the bound keeps";
  EXPECT_GT(pKept->GetRouteMembersOpen(), pBounded->GetRouteMembersOpen());
}

#endif

}  // namespace
