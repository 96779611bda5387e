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
// (demogen writes one element part per line).
std::vector<LatLon> WayPoints(const std::string& strOsm, const std::string& strName) {
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
      for (const std::string& ref : refs) pts.push_back(nodes[ref]);
      return pts;
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

}  // namespace
