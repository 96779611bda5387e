// Routes on a real extract checked by hand against the OpenStreetMap data
// they were compiled from: the streets along the route in order, the one-way
// streets driven in the order of their points, the roundabout's exit.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Str.h"
#include "tests/map/RouteTestNet.h"

using namespace routetest;

namespace {

#ifdef VELMO_VELC

std::unique_ptr<CVelParser> OpenExtract(const char* pszName) {
  const std::string strMap = CompiledExtract(pszName);
  if (strMap.empty()) return nullptr;
  std::u16string strPath = platform::Utf8ToU16(strMap);
  return std::unique_ptr<CVelParser>(static_cast<CVelParser*>(OpenMapFile(strPath.c_str(), false, c_fOpenAll)));
}

MapPoint Degrees(double fLat, double fLon) { return MapPoint{DegreesToMap(fLon), DegreesToMap(fLat)}; }

// The road names of a route in order, each once where it repeats (points
// without a name, such as the roundabout's, left out).
std::vector<std::string> StreetNames(const RouteOptions& o) {
  std::vector<std::string> names;
  for (const RouterPoint& pt : o.points) {
    if (pt.strLabel.empty()) continue;
    std::string s = platform::U16ToUtf8(pt.strLabel);
    if (names.empty() || names.back() != s) names.push_back(s);
  }
  return names;
}

// Monaco: from the French embassy, Rue du Ténao 1 (OSM node 2838235236), to
// Wine O Clock, Avenue Saint-Laurent 3 (node 897654574), by car as the
// program's defaults ask (fastest, no U-turns, no unpaved roads). Checked
// in the extract:
// - Rue du Ténao (way 128273233) meets Lacets Saint-Léon (4230105) at node
//   1417930881, which enters the roundabout (176334445) at its node 2;
// - the roundabout runs in the order of its points; the route passes its
//   node 7, where Avenue de l'Annonciade (4230113) leaves (exit 1), and
//   leaves it at node 12 for Boulevard d'Italie (4098197): exit 2;
// - Boulevard d'Italie runs into Boulevard des Moulins (165636047) at node
//   21918500; Place Moulins (4229298, one-way) leaves it at 1868723951 and
//   is driven in point order to 21918450 on Boulevard des Moulins again
//   (176333307), which meets the one-way Avenue Saint-Laurent (4230186) at
//   21918402, driven in point order too.
// By length the route stays on Boulevard des Moulins instead of the loop
// through Place Moulins. Routino's motorcar routes (quickest and shortest)
// take the same streets.
TEST(RouteOnExtract, MonacoFromTheFrenchEmbassyToAvenueSaintLaurent) {
  std::unique_ptr<CVelParser> p = OpenExtract("monaco");
  if (!p) GTEST_SKIP() << "no Monaco extract";
  ASSERT_TRUE(p->HasRoadGraph());
  const MapPoint ptFrom = Degrees(43.7493245, 7.4341222), ptTo = Degrees(43.743312, 7.427851);

  RouteOptions fastest;
  fastest.nVehicle = rvCar;
  fastest.fTimeBased = 1;
  fastest.fAvoidUTurns = 1;
  fastest.fAvoidUnpaved = 1;
  ASSERT_TRUE(p->FindRoute(ptFrom, ptTo, &fastest, nullptr));
  EXPECT_EQ(StreetNames(fastest),
            (std::vector<std::string>{"Rue du Ténao", "Lacets Saint-Léon", "Boulevard d'Italie", "Boulevard des Moulins",
                                      "Place Moulins", "Boulevard des Moulins", "Avenue Saint-Laurent"}));
  // The one roundabout: entered from Lacets Saint-Léon, left at exit 2.
  int cEntries = 0;
  for (size_t i = 0; i < fastest.points.size(); ++i) {
    const RouterPoint& pt = fastest.points[i];
    if (pt.btKind != c_rkRoundaboutEntry) continue;
    ++cEntries;
    EXPECT_EQ(pt.btParameter, 2);
    EXPECT_EQ(platform::U16ToUtf8(pt.strLabel), "Lacets Saint-Léon");
  }
  EXPECT_EQ(cEntries, 1);
  // 0.9 km along those streets from the points nearest the two addresses
  // (15 m and 5 m off the roads).
  EXPECT_NEAR(RouteMetres(fastest, 43.74), 905, 15);

  RouteOptions shortest = fastest;
  shortest.points.clear();
  shortest.fTimeBased = 0;
  ASSERT_TRUE(p->FindRoute(ptFrom, ptTo, &shortest, nullptr));
  EXPECT_EQ(StreetNames(shortest),
            (std::vector<std::string>{"Rue du Ténao", "Lacets Saint-Léon", "Boulevard d'Italie", "Boulevard des Moulins",
                                      "Avenue Saint-Laurent"}));
  EXPECT_LT(RouteMetres(shortest, 43.74), RouteMetres(fastest, 43.74));
}

#endif

}  // namespace
