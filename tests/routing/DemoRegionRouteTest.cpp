// Auto-routing on the demo region: the map demogen and velc make, searched
// by the native map's route search, the way the program calculates routes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Str.h"
#include "routing/AutoRouting.h"
#include "routing/RoutingSettings.h"
#include "settings/SettingsTable.h"
#include "store/WaypointStore.h"
#include "view/MapUnits.h"

namespace {

struct LatLon {
  double dLat, dLon;
};

std::string Attribute(const std::string& line, const char* pszName) {
  std::string key = std::string(" ") + pszName + "=\"";
  size_t at = line.find(key);
  if (at == std::string::npos) return std::string();
  at += key.size();
  return line.substr(at, line.find('"', at) - at);
}

// The points of the first way with a tag name=strName in the demo OSM file
// (demogen writes one element part per line); with pThrough, of the first
// such way that has that point.
std::vector<LatLon> WayPoints(const std::string& strOsm, const std::string& strName,
                              const LatLon* pThrough = nullptr) {
  std::ifstream in(strOsm);
  std::map<std::string, LatLon> nodes;
  std::vector<std::string> refs;
  std::string line;
  bool fNamed = false;
  while (std::getline(in, line)) {
    if (line.find("<node ") != std::string::npos) {
      nodes[Attribute(line, "id")] = {std::atof(Attribute(line, "lat").c_str()), std::atof(Attribute(line, "lon").c_str())};
    } else if (line.find("<way ") != std::string::npos) {
      refs.clear();
      fNamed = false;
    } else if (line.find("<nd ") != std::string::npos) {
      refs.push_back(Attribute(line, "ref"));
    } else if (line.find("<tag k=\"name\"") != std::string::npos && Attribute(line, "v") == strName) {
      fNamed = true;
    } else if (line.find("</way>") != std::string::npos && fNamed) {
      std::vector<LatLon> pts;
      bool fThrough = !pThrough;
      for (const std::string& ref : refs) {
        pts.push_back(nodes[ref]);
        fThrough = fThrough || (pts.back().dLat == pThrough->dLat && pts.back().dLon == pThrough->dLon);
      }
      if (fThrough) return pts;
      fNamed = false;
    }
  }
  return {};
}

const char c_szDemoOsm[] = "routing-demo.osm";

// The demo region's map, made once in the test's folder.
std::string DemoMap() {
  static std::string s_strMap;
  if (!s_strMap.empty()) return s_strMap;
  std::string strOsm = c_szDemoOsm, strMap = "routing-demo.vel";
  std::string cmd = std::string(VELMO_DEMOGEN) + " --size 1 -o " + strOsm + " > /dev/null && " + VELMO_VELC + " " +
                    strOsm + " -o " + strMap + " > /dev/null";
  if (std::system(cmd.c_str()) == 0) s_strMap = strMap;
  return s_strMap;
}

RoutePoint ViaAt(const LatLon& pt) {
  RoutePoint rp;
  rp.x = DegreesToMap(pt.dLon) * 2;
  rp.y = DegreesToMap(pt.dLat) * 2;
  return rp;
}

class DemoRegionRouteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    std::string strMap = DemoMap();
    ASSERT_FALSE(strMap.empty()) << "the demo map could not be made";
    m_pMap.reset(OpenMapFile(platform::Utf8ToU16(strMap).c_str(), false, c_fOpenLabels | c_fOpenObjects));
    ASSERT_TRUE(m_pMap);
    m_pParser = m_pMap.get();
  }
  void TearDown() override {
    ResetAllSettings();
    CloseSettings();
  }

  std::unique_ptr<CMapParser> m_pMap;
  CMapParser* m_pParser = nullptr;
  CAutoRouter m_router{&m_pParser, nullptr, nullptr};
};

// From the south-west corner of the first town's street grid to the east
// end of its last paved west-east street.
TEST_F(DemoRegionRouteTest, TwoViaPointsAcrossTheFirstTownBecomeARouteAlongItsStreets) {
  std::vector<LatLon> first = WayPoints(c_szDemoOsm, "улица Ленина");
  std::vector<LatLon> last = WayPoints(c_szDemoOsm, "Набережная улица");
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(last.empty());
  Route route;
  route.points = {ViaAt(first.front()), ViaAt(last.back())};
  ASSERT_EQ(m_router.CalculateRoute(route), rcrDone);
  ASSERT_GT(route.points.size(), 4u) << "no road points between the via points";
  // Every point the router made is a point of some street: here the grid's
  // corners, so each lies on a grid line of the town.
  for (size_t i = 1; i + 1 < route.points.size(); ++i)
    EXPECT_EQ(route.points[i].btKind & rpkRouter, rpkRouter) << i;
  float fLength = GetRouteLength(route);
  // Along the grid: the sum of the two sides of the box between the ends.
  const double k = 0.5736;  // cos 55°
  double fGrid = (std::abs(last.back().dLat - first.front().dLat) +
                  std::abs(last.back().dLon - first.front().dLon) * k) * 111320.0;
  EXPECT_GT(fLength, fGrid * 0.98);
  EXPECT_LT(fLength, fGrid * 1.3);
}

// Whether a route has a point within a few metres of a point (the map's
// finest level keeps coordinates to about 2.4 m).
bool Passes(const Route& route, const LatLon& pt) {
  const int32_t x = DegreesToMap(pt.dLon) * 2, y = DegreesToMap(pt.dLat) * 2;
  for (const RoutePoint& rp : route.points)
    if (std::abs(rp.x - x) < 400 && std::abs(rp.y - y) < 400) return true;
  return false;
}

// The program's sequence on one open map: a car route by length, then the
// vehicle changed to the pedestrian on the options page and the same route
// calculated again. From a quarter of a block east of where the pedestrian
// street leaves its town's first street to the same place on the fourth
// street it crosses, the walker goes along the pedestrian street and the
// car round by the parallel street; the second search on the graph the
// first one built gives what a fresh map gives.
TEST_F(DemoRegionRouteTest, AfterTheCarRouteThePedestrianTakesThePedestrianStreet) {
  std::vector<LatLon> walk = WayPoints(c_szDemoOsm, "Пешеходная улица");
  ASSERT_GE(walk.size(), 4u);
  std::vector<LatLon> first = WayPoints(c_szDemoOsm, "улица Ленина", &walk[0]);
  ASSERT_GE(first.size(), 3u);
  // The pedestrian street starts on the first street and crosses the town's
  // streets at its nodes; the first street's next node east of it is the
  // parallel street's.
  ASSERT_NEAR(walk[0].dLon, first[1].dLon, 1e-7);
  const double fQuarter = (first[2].dLon - first[1].dLon) / 4;
  const LatLon a{walk[0].dLat, walk[0].dLon + fQuarter}, b{walk[3].dLat, walk[3].dLon + fQuarter};
  RoutingSettings s = ReadRoutingSettings();
  s.dwOptimization = 3;
  WriteRouteStyleSettings(s);

  Route car;
  car.points = {ViaAt(a), ViaAt(b)};
  ASSERT_EQ(m_router.CalculateRoute(car), rcrDone);
  ASSERT_GT(car.points.size(), 4u);
  s.dwVehicle = rvPedestrian;
  WriteRouteStyleSettings(s);
  Route foot;
  foot.points = car.points;
  ASSERT_EQ(m_router.CalculateRoute(foot), rcrDone);
  ASSERT_GT(foot.points.size(), 4u) << "no road points for the pedestrian";
  EXPECT_TRUE(Passes(foot, walk[1]));
  EXPECT_TRUE(Passes(foot, walk[2]));
  EXPECT_FALSE(Passes(car, walk[1]));
  EXPECT_FALSE(Passes(car, walk[2]));
  // Along the pedestrian street: three blocks north and twice a quarter
  // block east; the car drives twice three quarters of a block instead.
  const double fBlockEast = std::abs(first[2].dLon - first[1].dLon) * 0.5736 * 111320.0;
  EXPECT_NEAR(GetRouteLength(car) - GetRouteLength(foot), fBlockEast, 10.0);

  // The same walk on a map opened afresh.
  std::unique_ptr<CMapParser> pFresh(
      OpenMapFile(platform::Utf8ToU16(DemoMap()).c_str(), false, c_fOpenLabels | c_fOpenObjects));
  ASSERT_TRUE(pFresh);
  CMapParser* pParser = pFresh.get();
  CAutoRouter fresh(&pParser, nullptr, nullptr);
  Route again;
  again.points = {ViaAt(a), ViaAt(b)};
  ASSERT_EQ(fresh.CalculateRoute(again), rcrDone);
  ASSERT_EQ(again.points.size(), foot.points.size());
  for (size_t i = 0; i < again.points.size(); ++i) {
    EXPECT_EQ(again.points[i].x, foot.points[i].x) << i;
    EXPECT_EQ(again.points[i].y, foot.points[i].y) << i;
  }
}

}  // namespace
