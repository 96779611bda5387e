// The shortest car routes on the real extracts against another router's
// (Routino, a flat car profile: shortest by length, the roads a car may
// legally drive): every pair has a road route, none is shorter than the
// legal shortest by more than 0.5 % (such a route uses a road a car may
// not use, or uses it as a through road) and none is longer by more than
// 10 % (our shortest weighs the length by the road quality).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Str.h"
#include "tests/map/RouteTestNet.h"

using namespace routetest;

namespace {

#ifdef VELMO_VELC

struct Pair {
  int n = 0;
  double fFromLon = 0, fFromLat = 0, fToLon = 0, fToLat = 0;
  double fPeerKm = -1;
};

std::vector<std::string> SplitCsv(const std::string& s) {
  std::vector<std::string> v;
  std::stringstream ss(s);
  std::string f;
  while (std::getline(ss, f, ',')) v.push_back(f);
  return v;
}

// The pairs of an extract with the peer's shortest length; empty when the
// baseline is not there.
std::vector<Pair> ReadPairs(const std::string& strExtract) {
  const std::string strDir = std::string(VELMO_SHARED_DATA) + "/../peers/baseline/" + strExtract + "/";
  std::ifstream pairs(strDir + "pairs.csv"), routes(strDir + "routino_flat_routes.csv");
  std::vector<Pair> out;
  if (!pairs || !routes) return out;
  std::string line;
  std::getline(pairs, line);
  while (std::getline(pairs, line)) {
    std::vector<std::string> f = SplitCsv(line);
    if (f.size() < 7) continue;
    Pair p;
    p.n = std::atoi(f[0].c_str());
    p.fFromLon = std::atof(f[2].c_str()), p.fFromLat = std::atof(f[3].c_str());
    p.fToLon = std::atof(f[5].c_str()), p.fToLat = std::atof(f[6].c_str());
    out.push_back(p);
  }
  std::getline(routes, line);
  while (std::getline(routes, line)) {
    std::vector<std::string> f = SplitCsv(line);
    if (f.size() < 5 || f[2] != "shortest" || f[3] != "1") continue;
    for (Pair& p : out)
      if (p.n == std::atoi(f[1].c_str())) p.fPeerKm = std::atof(f[4].c_str());
  }
  return out;
}

// Metres along the route on the sphere (each segment at its own latitude).
double GreatCircleMetres(const RouteOptions& o) {
  const double c_fDeg = 180.0 / 1073741824.0, c_fRad = 3.14159265358979 / 180;
  double f = 0;
  for (size_t i = 1; i < o.points.size(); ++i) {
    const double lat1 = (o.points[i - 1].y >> 1) * c_fDeg * c_fRad, lat2 = (o.points[i].y >> 1) * c_fDeg * c_fRad;
    const double dlon = ((o.points[i].x >> 1) - (o.points[i - 1].x >> 1)) * c_fDeg * c_fRad;
    const double a = std::sin((lat2 - lat1) / 2) * std::sin((lat2 - lat1) / 2) +
                     std::cos(lat1) * std::cos(lat2) * std::sin(dlon / 2) * std::sin(dlon / 2);
    f += 2 * 6371008.8 * std::asin(std::sqrt(a));
  }
  return f;
}

// Where the two routers read the data differently and ours is the sounder
// reading, by extract and pair (at most one per extract).
const std::map<std::string, std::map<int, const char*>> c_known = {};

TEST(RouteAgainstPeer, ShortestCarRoutesOnEveryExtractAreLegalAndNotLonger) {
  bool fAny = false;
  for (const char* pszExtract : {"andorra", "monaco", "moscow", "north-bayreuth"}) {
    SCOPED_TRACE(pszExtract);
    const std::vector<Pair> pairs = ReadPairs(pszExtract);
    const std::string strMap = CompiledExtract(pszExtract);
    if (pairs.empty() || strMap.empty()) continue;
    std::u16string strPath = platform::Utf8ToU16(strMap);
    std::unique_ptr<CVelParser> p(static_cast<CVelParser*>(OpenMapFile(strPath.c_str(), false, c_fOpenAll)));
    ASSERT_TRUE(p);
    fAny = true;
    for (const Pair& pair : pairs) {
      SCOPED_TRACE("pair " + std::to_string(pair.n));
      ASSERT_GT(pair.fPeerKm, 0) << "the peer routed every pair";
      // The peer turns back only at dead ends.
      RouteOptions o = Car(false);
      o.fAvoidUTurns = 1;
      const MapPoint a{DegreesToMap(pair.fFromLon), DegreesToMap(pair.fFromLat)};
      const MapPoint b{DegreesToMap(pair.fToLon), DegreesToMap(pair.fToLat)};
      ASSERT_TRUE(p->FindRoute(a, b, &o, nullptr));
      const double fKm = GreatCircleMetres(o) / 1000;
      const double fRatio = fKm / pair.fPeerKm;
      auto it = c_known.find(pszExtract);
      const bool fKnown = it != c_known.end() && it->second.count(pair.n);
      if (!fKnown) {
        EXPECT_GE(fRatio, 0.995) << fKm << " km against " << pair.fPeerKm << " km";
      }
      EXPECT_LE(fRatio, 1.10) << fKm << " km against " << pair.fPeerKm << " km";
    }
  }
  if (!fAny) GTEST_SKIP() << "no extracts or no peer baseline in " VELMO_SHARED_DATA;
}

#endif

}  // namespace

namespace {

#ifdef VELMO_VELC

// The goal-directed search against the plain one: the same least cost on
// random pairs of every extract, by car and by bicycle, quickest and
// shortest (ties may take another route of the same cost).
TEST(RouteGoalDirected, SameCostAsThePlainSearchOnEveryExtract) {
  bool fAny = false;
  std::mt19937 rng(20261209);
  for (const char* pszExtract : {"andorra", "monaco", "moscow", "north-bayreuth"}) {
    SCOPED_TRACE(pszExtract);
    const std::string strMap = CompiledExtract(pszExtract);
    if (strMap.empty()) continue;
    std::u16string strPath = platform::Utf8ToU16(strMap);
    std::unique_ptr<CVelParser> p(static_cast<CVelParser*>(OpenMapFile(strPath.c_str(), false, c_fOpenAll)));
    ASSERT_TRUE(p);
    CRoadRouter& router = *p->GetRouter();
    ASSERT_TRUE(router.Build(nullptr));
    fAny = true;
    // Random pairs among the baseline's 40 points (on roads), each moved
    // up to 200 m.
    std::vector<MapPoint> ends;
    for (const Pair& pr : ReadPairs(pszExtract)) {
      ends.push_back(MapPoint{DegreesToMap(pr.fFromLon), DegreesToMap(pr.fFromLat)});
      ends.push_back(MapPoint{DegreesToMap(pr.fToLon), DegreesToMap(pr.fToLat)});
    }
    if (ends.size() < 2) continue;
    std::uniform_int_distribution<size_t> pick(0, ends.size() - 1);
    std::uniform_int_distribution<int32_t> move(-int32_t(MetresToMap(200.0)), int32_t(MetresToMap(200.0)));
    int cRouted = 0;
    uint64_t cPlainTotal = 0, cGoalTotal = 0;
    for (int i = 0; i < 40; ++i) {
      MapPoint a = ends[pick(rng)], b = ends[pick(rng)];
      a.x += move(rng), a.y += move(rng), b.x += move(rng), b.y += move(rng);
      for (int nVehicle : {int(rvCar), int(rvBicycle)})
        for (int fTime = 0; fTime < 2; ++fTime) {
          SCOPED_TRACE("pair " + std::to_string(i) + " vehicle " + std::to_string(nVehicle) + " time " +
                       std::to_string(fTime));
          RouteOptions plain = Car(fTime != 0), goal = Car(fTime != 0);
          plain.nVehicle = goal.nVehicle = nVehicle;
          router.SetGoalDirected(false);
          const bool fPlain = p->FindRoute(a, b, &plain, nullptr);
          const double fPlainCost = router.GetStats().fCost;
          const uint32_t cPlainPopped = router.GetStats().cPopped;
          router.SetGoalDirected(true);
          const bool fGoal = p->FindRoute(a, b, &goal, nullptr);
          ASSERT_EQ(fPlain, fGoal);
          if (!fPlain || router.GetStats().fSameRoad) continue;
          ++cRouted;
          EXPECT_NEAR(router.GetStats().fCost, fPlainCost, 1e-4 * std::max(1.0, fPlainCost));
          cPlainTotal += cPlainPopped;
          cGoalTotal += router.GetStats().cPopped;
        }
    }
    EXPECT_GT(cRouted, 100);
    EXPECT_LT(cGoalTotal, cPlainTotal) << "the bound leads the search";
  }
  if (!fAny) GTEST_SKIP() << "no extracts in " VELMO_SHARED_DATA;
}

#endif

}  // namespace
