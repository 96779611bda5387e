// scripts/make-maps: a demo region cut into four parts by osmium extract,
// compiled by GNU parallel with two jobs and joined into one collection,
// answers as one velc run over the whole input does; a part that fails
// stops the run with its name and leaves the previous collection as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

#if defined(VELMO_DEMOGEN) && defined(VELMO_VELC) && defined(VELMO_CLI)

std::string Temp(const std::string& str) { return std::string(VELMO_BINARY_DIR) + "/makemaps-" + str; }

std::string ReadAll(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs a shell command; its standard output and error in *pstrOut.
int Shell(const std::string& strCmd, std::string* pstrOut = nullptr) {
  const std::string strLog = Temp("run.log");
  const int rc = std::system(("(" + strCmd + ") > '" + strLog + "' 2>&1").c_str());
  if (pstrOut) *pstrOut = ReadAll(strLog);
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool HaveTools() { return Shell("command -v osmium && command -v parallel") == 0; }

std::string Tools() {
  return std::string("VELC='") + VELMO_VELC + "' VELMO_CLI='" + VELMO_CLI + "' '" + VELMO_SOURCE_DIR +
         "/scripts/make-maps'";
}

std::vector<std::string> Lines(const std::string& str) {
  std::vector<std::string> lines;
  std::istringstream in(str);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The length in km of velmo-cli's route between two points; false when
// there is none along the roads (a route that had to join its ends by a
// straight line is none).
bool RoadRouteKm(const std::string& strIndex, double la, double lo, double lb, double ob, double& f) {
  char sz[200];
  std::snprintf(sz, sizeof sz, " %.7f %.7f %.7f %.7f", la, lo, lb, ob);
  std::string strOut;
  if (Shell(std::string("'") + VELMO_CLI + "' route '" + strIndex + "'" + sz, &strOut) != 0) return false;
  const size_t i = strOut.find("length ");
  if (i == std::string::npos || strOut.find("straight 0") == std::string::npos) return false;
  f = std::atof(strOut.c_str() + i + 7);
  return f > 0;
}

// The demo region as PBF and four regions over it, a 2 x 2 cut through
// its towns.
struct Region {
  std::string strPbf, strRegions;
};
const Region& DemoRegion() {
  static Region s_region;
  if (!s_region.strPbf.empty()) return s_region;
  const std::string strOsm = Temp("demo.osm"), strPbf = Temp("demo.osm.pbf");
  if (Shell(std::string("'") + VELMO_DEMOGEN + "' --size 8 -o '" + strOsm + "' && osmium cat --overwrite -o '" + strPbf +
          "' '" + strOsm + "'") != 0)
    return s_region;
  const double x0 = 36.7, y0 = 54.9, x1 = 38.3, y1 = 55.6, xm = 37.41, ym = 55.23;
  auto box = [](const char* pszName, double a, double b, double c, double d) {
    char sz[512];
    std::snprintf(sz, sizeof sz,
                  "{\"type\":\"Feature\",\"properties\":{\"name\":\"%s\"},\"geometry\":{\"type\":\"Polygon\","
                  "\"coordinates\":[[[%f,%f],[%f,%f],[%f,%f],[%f,%f],[%f,%f]]]}}",
                  pszName, a, b, c, b, c, d, a, d, a, b);
    return std::string(sz);
  };
  const std::string strRegions = Temp("regions.geojson");
  std::ofstream(strRegions) << "{\"type\":\"FeatureCollection\",\"features\":[" << box("Юго-запад", x0, y0, xm, ym)
                            << "," << box("Юго-восток", xm, y0, x1, ym) << "," << box("Северо-запад", x0, ym, xm, y1)
                            << "," << box("Северо-восток", xm, ym, x1, y1) << "]}";
  s_region = Region{strPbf, strRegions};
  return s_region;
}

// The cities of a collection, and for each the address search results that
// carry an address (a house number or a postal code): the roads between
// the towns, which no address names, take the nearest city their part
// holds and are left out.
struct Answers {
  std::string strCities;
  std::map<std::string, std::multiset<std::string>> addresses;
};
Answers AnswersOf(const std::string& strIndex) {
  Answers a;
  EXPECT_EQ(Shell(std::string("'") + VELMO_CLI + "' cities '" + strIndex + "'", &a.strCities), 0) << a.strCities;
  for (const std::string& line : Lines(a.strCities)) {
    const size_t q0 = line.find('"'), q1 = line.find('"', q0 + 1);
    if (q0 == std::string::npos || q1 == std::string::npos) continue;
    const std::string strCity = line.substr(q0 + 1, q1 - q0 - 1);
    std::string strOut;
    EXPECT_EQ(Shell(std::string("'") + VELMO_CLI + "' address '" + strIndex + "' --city '" + strCity + "' 2>/dev/null", &strOut),
              0);
    std::multiset<std::string>& set = a.addresses[strCity];
    for (const std::string& r : Lines(strOut))
      // No city nor postal code: a road between the towns.
      if (r.find(" \"\" \"\" \"") == std::string::npos)
        set.insert(r);
    EXPECT_FALSE(set.empty()) << strCity;
  }
  return a;
}

TEST(MakeMaps, FourPartsJoinedAnswerAsOneRunOverTheWholeInput) {
  if (!HaveTools()) GTEST_SKIP() << "osmium-tool or GNU parallel is not installed";
  const Region& region = DemoRegion();
  ASSERT_FALSE(region.strPbf.empty());
  const std::string strOne = Temp("one"), strJoined = Temp("joined");
  Shell("rm -rf '" + strOne + "' '" + strJoined + "'");
  std::string strOut;
  ASSERT_EQ(Shell(std::string("'") + VELMO_VELC + "' '" + region.strPbf + "' -o '" + strOne + "/'", &strOut), 0)
      << strOut;
  ASSERT_EQ(Shell(Tools() + " '" + region.strPbf + "' '" + region.strRegions + "' '" + strJoined + "' -j2", &strOut), 0)
      << strOut;
  EXPECT_EQ(strOut, "");  // quiet when not on a terminal
  // Every part gave its tiles.
  ASSERT_EQ(Shell(std::string("'") + VELMO_CLI + "' collection info '" + strJoined + "'", &strOut), 0) << strOut;
  for (const char* psz : {"part00-tile000.vel", "part01-tile000.vel", "part02-tile000.vel", "part03-tile000.vel"})
    EXPECT_NE(strOut.find(psz), std::string::npos) << strOut;

  const Answers one = AnswersOf(strOne + "/Index.vidx"), joined = AnswersOf(strJoined + "/Index.vidx");
  EXPECT_GE(Lines(one.strCities).size(), 11u);  // the cities and the count line
  EXPECT_EQ(joined.strCities, one.strCities);
  ASSERT_EQ(joined.addresses.size(), one.addresses.size());
  for (const auto& [strCity, results] : one.addresses) {
    auto it = joined.addresses.find(strCity);
    ASSERT_TRUE(it != joined.addresses.end()) << strCity;
    EXPECT_TRUE(it->second == results) << strCity << ": " << it->second.size() << " against " << results.size();
  }
}

// Routes between the towns of different parts are as long as over one
// map of the whole input: a part holds every road that crosses into it in
// full (osmium's complete ways), so a town's road is in several parts, and
// a route end must be taken on the road nearest to it, not on the nearest
// road of whichever part's rectangle holds it.
TEST(MakeMaps, RoutesAcrossPartsAreAsLongAsOverTheWholeInput) {
  if (!HaveTools()) GTEST_SKIP() << "osmium-tool or GNU parallel is not installed";
  const std::string strOne = Temp("one"), strJoined = Temp("joined");
  struct stat st;
  if (stat((strJoined + "/Index.vidx").c_str(), &st) != 0 || stat((strOne + "/Index.vidx").c_str(), &st) != 0)
    GTEST_SKIP() << "runs after FourPartsJoinedAnswerAsOneRunOverTheWholeInput";
  // Six towns, at least one in each quarter.
  const double aLat[6] = {54.9895, 55.3775, 54.9943, 55.3894, 55.2200, 55.2019};
  const double aLon[6] = {37.0139, 37.5944, 37.9244, 37.0148, 37.2871, 37.8995};
  int cPairs = 0;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) {
      if (i == j) continue;
      double fOne = 0, fJoined = 0;
      ASSERT_TRUE(RoadRouteKm(strOne + "/Index.vidx", aLat[i], aLon[i], aLat[j], aLon[j], fOne)) << i << " " << j;
      EXPECT_TRUE(RoadRouteKm(strJoined + "/Index.vidx", aLat[i], aLon[i], aLat[j], aLon[j], fJoined)) << i << " " << j;
      EXPECT_NEAR(fJoined, fOne, fOne * 0.001) << i << " " << j;
      ++cPairs;
    }
  EXPECT_EQ(cPairs, 30);
}

// Real extracts cut in four around the middle of their test pairs (so that
// most pairs cross a seam), each part compiled by its own velc run: the
// routes between the pairs' ends that lie in different parts are found
// along the roads, and nine in ten at least are as long as over one map of
// the extract (61 of 63 when written). The others differ where a part's
// own search drives a leg another way, or where a turn restriction's roads
// fall in different parts (neither part keeps it).
TEST(MakeMaps, RealExtractsCutInFourRouteAcrossTheirSeams) {
  if (!HaveTools()) GTEST_SKIP() << "osmium-tool or GNU parallel is not installed";
  int cCross = 0, cEqual = 0;
  for (const char* pszExtract : {"monaco", "andorra", "north-bayreuth", "moscow"}) {
    const std::string strPbf = std::string(VELMO_SHARED_DATA) + "/osm/" + pszExtract + ".osm.pbf";
    std::ifstream in(std::string(VELMO_SHARED_DATA) + "/../peers/baseline/" + pszExtract + "/pairs.csv");
    struct stat st;
    if (stat(strPbf.c_str(), &st) != 0 || !in) continue;
    std::vector<std::vector<double>> pairs;  // from lat, lon, to lat, lon
    std::vector<double> lons, lats;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      std::vector<std::string> f;
      std::stringstream ss(line);
      for (std::string x; std::getline(ss, x, ',');) f.push_back(x);
      if (f.size() < 7) continue;
      pairs.push_back({std::atof(f[3].c_str()), std::atof(f[2].c_str()), std::atof(f[6].c_str()), std::atof(f[5].c_str())});
      lats.push_back(pairs.back()[0]), lats.push_back(pairs.back()[2]);
      lons.push_back(pairs.back()[1]), lons.push_back(pairs.back()[3]);
    }
    ASSERT_FALSE(pairs.empty()) << pszExtract;
    std::sort(lons.begin(), lons.end());
    std::sort(lats.begin(), lats.end());
    const double xm = lons[lons.size() / 2], ym = lats[lats.size() / 2];
    const std::string strDir = Temp(std::string("real-") + pszExtract), strRegions = strDir + ".geojson";
    {
      std::ofstream out(strRegions);
      out << "{\"type\":\"FeatureCollection\",\"features\":[";
      for (int q = 0; q < 4; ++q) {
        const double a = q % 2 ? xm : xm - 5, c = q % 2 ? xm + 5 : xm, b = q / 2 ? ym : ym - 5, d = q / 2 ? ym + 5 : ym;
        char sz[400];
        std::snprintf(sz, sizeof sz,
                      "%s{\"type\":\"Feature\",\"properties\":{\"name\":\"q%d\"},\"geometry\":{\"type\":\"Polygon\","
                      "\"coordinates\":[[[%.7f,%.7f],[%.7f,%.7f],[%.7f,%.7f],[%.7f,%.7f],[%.7f,%.7f]]]}}",
                      q ? "," : "", q, a, b, c, b, c, d, a, d, a, b);
        out << sz;
      }
      out << "]}";
    }
    Shell("rm -rf '" + strDir + "-one' '" + strDir + "-joined'");
    std::string strOut;
    ASSERT_EQ(Shell(std::string("'") + VELMO_VELC + "' '" + strPbf + "' -o '" + strDir + "-one/'", &strOut), 0) << strOut;
    ASSERT_EQ(Shell(Tools() + " '" + strPbf + "' '" + strRegions + "' '" + strDir + "-joined' -j2", &strOut), 0)
        << strOut;
    int cHere = 0, cEqualHere = 0;
    for (const std::vector<double>& p : pairs) {
      if ((p[1] >= xm) == (p[3] >= xm) && (p[0] >= ym) == (p[2] >= ym)) continue;  // one part
      double fOne = 0, fJoined = 0;
      if (!RoadRouteKm(strDir + "-one/Index.vidx", p[0], p[1], p[2], p[3], fOne)) continue;
      ++cHere;
      EXPECT_TRUE(RoadRouteKm(strDir + "-joined/Index.vidx", p[0], p[1], p[2], p[3], fJoined))
          << pszExtract << ": no road route across the parts from " << p[0] << "," << p[1] << " to " << p[2] << ","
          << p[3];
      cEqualHere += std::fabs(fJoined - fOne) <= fOne * 0.001;
    }
    std::printf("%s: %d pairs across the parts, %d as long as on one map\n", pszExtract, cHere, cEqualHere);
    cCross += cHere;
    cEqual += cEqualHere;
  }
  if (!cCross) GTEST_SKIP() << "no extracts or pairs in " << VELMO_SHARED_DATA;
  EXPECT_GE(cEqual * 10, cCross * 9) << cEqual << " of " << cCross << " as long as on one map";
}

// A part velc cannot read (damaged on its way to the compiling machine:
// here the velc given truncates it) stops the run with the part's name and
// velc's message; the collection made before opens as it was.
TEST(MakeMaps, ADamagedPartStopsWithItsNameAndKeepsThePreviousCollection) {
  if (!HaveTools()) GTEST_SKIP() << "osmium-tool or GNU parallel is not installed";
  const Region& region = DemoRegion();
  ASSERT_FALSE(region.strPbf.empty());
  const std::string strDir = Temp("kept");
  Shell("rm -rf '" + strDir + "'");
  std::string strOut;
  ASSERT_EQ(Shell(Tools() + " '" + region.strPbf + "' '" + region.strRegions + "' '" + strDir + "' -j2", &strOut), 0)
      << strOut;
  std::string strBefore;
  ASSERT_EQ(Shell(std::string("'") + VELMO_CLI + "' cities '" + strDir + "/Index.vidx'", &strBefore), 0);
  const std::string strInfoBefore = ReadAll(strDir + "/Index.vidx");

  const std::string strWrapper = Temp("damaging-velc");
  std::ofstream(strWrapper) << "#!/bin/sh\ncase \"$1\" in part02.osm.pbf) head -c 3000 \"$1\" > \"$1.cut\" && mv "
                               "\"$1.cut\" \"$1\";; esac\nexec '"
                            << VELMO_VELC << "' \"$@\"\n";
  Shell("chmod +x '" + strWrapper + "'");
  EXPECT_NE(Shell(Tools() + " --velc '" + strWrapper + "' '" + region.strPbf + "' '" + region.strRegions + "' '" +
                    strDir + "' -j2",
                &strOut),
            0);
  EXPECT_NE(strOut.find("make-maps: part Северо-запад failed: velc: cannot read"), std::string::npos) << strOut;
  EXPECT_NE(strOut.find("is left as it was"), std::string::npos) << strOut;
  EXPECT_EQ(ReadAll(strDir + "/Index.vidx"), strInfoBefore);
  std::string strAfter;
  ASSERT_EQ(Shell(std::string("'") + VELMO_CLI + "' collection info '" + strDir + "'", &strAfter), 0) << strAfter;
  ASSERT_EQ(Shell(std::string("'") + VELMO_CLI + "' cities '" + strDir + "/Index.vidx'", &strAfter), 0);
  EXPECT_EQ(strAfter, strBefore);
  // Nothing of the failed run is left beside the folder.
  EXPECT_NE(Shell("ls -d '" + strDir + "'.make-maps-*"), 0);
}

#endif

}  // namespace
