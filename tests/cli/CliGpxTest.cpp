// velmo-cli on GPX files: import prints what the program would take,
// track replays the track, export writes GPX again with the tracks; a
// damaged GPX file is a failure with the program's message.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadAll(const std::string& strPath) {
  std::ifstream f(strPath, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

const char c_szGpx[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"a watch\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
    " <wpt lat=\"55.7539\" lon=\"37.6208\"><ele>145</ele><time>2026-12-09T08:30:00Z</time><name>Красная площадь</name></wpt>\n"
    " <rte><name>Walk</name><rtept lat=\"55.7539\" lon=\"37.6208\"><name>Красная площадь</name></rtept>"
    "<rtept lat=\"55.7520\" lon=\"37.6175\"><name>Manege</name></rtept></rte>\n"
    " <trk><name>Morning</name><trkseg>"
    "<trkpt lat=\"55.7500\" lon=\"37.6250\"><ele>150</ele><time>2026-12-09T08:00:00Z</time></trkpt>"
    "<trkpt lat=\"55.7510\" lon=\"37.6250\"><ele>151</ele><time>2026-12-09T08:00:10Z</time></trkpt>"
    "</trkseg></trk>\n"
    "</gpx>\n";

class CliGpxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char szDir[] = "/tmp/velmo-cli-gpx-XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    m_strDir = szDir;
  }
  void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }
  std::string Path(const char* pszName) const { return m_strDir + "/" + pszName; }
  void Write(const char* pszName, const std::string& data) {
    std::ofstream f(Path(pszName), std::ios::binary);
    f << data;
  }
  int Run(const std::string& strArgs, std::string& strOut, std::string& strErr) const {
    std::string o = m_strDir + "/stdout", e = m_strDir + "/stderr";
    int rc = std::system((std::string(VELMO_CLI) + " " + strArgs + " >" + o + " 2>" + e + " </dev/null").c_str());
    strOut = ReadAll(o);
    strErr = ReadAll(e);
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  std::string m_strDir;
};

TEST_F(CliGpxTest, ImportTrackAndExportOfGpx) {
  Write("walk.gpx", c_szGpx);
  std::string out, err;
  ASSERT_EQ(Run("import " + Path("walk.gpx"), out, err), 0) << err;
  EXPECT_NE(out.find("(*.gpx)"), std::string::npos) << out;
  EXPECT_NE(out.find("waypoints: 2"), std::string::npos) << out;  // the route's Manege is one
  // (the store keeps positions in 2^31 parts of 180 degrees)
  EXPECT_NE(out.find("W\tКрасная площадь\t55.7538999"), std::string::npos) << out;
  EXPECT_NE(out.find("\t145.00\t2026-12-09T08:30:00Z"), std::string::npos) << out;
  EXPECT_NE(out.find("R\tWalk\t2 points\t2 waypoints"), std::string::npos) << out;

  ASSERT_EQ(Run("track " + Path("walk.gpx"), out, err), 0) << err;
  EXPECT_NE(out.find("1\t2026-12-09T08:00:00Z\t55.7500000\t37.6250000\t150.00"), std::string::npos) << out;
  EXPECT_NE(out.find("points: 2"), std::string::npos) << out;

  ASSERT_EQ(Run("export --format gpx " + Path("walk.gpx") + " " + Path("again.gpx"), out, err), 0) << err;
  EXPECT_NE(out.find("1 tracks, 2 waypoints, 1 routes"), std::string::npos) << out;
  std::string again = ReadAll(Path("again.gpx"));
  EXPECT_NE(again.find("<name>Morning</name>"), std::string::npos);
  EXPECT_NE(again.find("<time>2026-12-09T08:00:10Z</time>"), std::string::npos);
  EXPECT_NE(again.find("<rtept lat=\"55.752000036\" lon=\"37.617499977\">"), std::string::npos) << again;
  EXPECT_EQ(again.find("<wpt lat=\"55.752"), std::string::npos) << "the route's own point is no waypoint of the file";
}

TEST_F(CliGpxTest, DamagedGpxIsRefusedAndNothingIsWritten) {
  std::string cut(c_szGpx, sizeof c_szGpx / 2);
  Write("cut.gpx", cut);
  Write("keep.gpx", "keep me");
  std::string out, err;
  EXPECT_EQ(Run("import " + Path("cut.gpx"), out, err), 3);
  EXPECT_NE(err.find("message 2182"), std::string::npos) << err;
  EXPECT_NE(Run("track " + Path("cut.gpx"), out, err), 0);
  EXPECT_FALSE(err.empty());
  EXPECT_NE(Run("export --format gpx " + Path("cut.gpx") + " " + Path("keep.gpx"), out, err), 0);
  EXPECT_EQ(ReadAll(Path("keep.gpx")), "keep me");
}

}  // namespace
