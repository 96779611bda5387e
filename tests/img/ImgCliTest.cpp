// velmo-cli on IMG maps: info, dump (labels after interpretation) and
// nearest, run as a user runs them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>

namespace {

std::string Cli() { return std::string(VELMO_BINARY_DIR) + "/tools/cli/velmo-cli"; }
std::string Map(const char* pszName) { return std::string(VELMO_SHARED_DATA) + "/img/" + pszName; }

bool Exists(const std::string& str) {
  struct stat st;
  return stat(str.c_str(), &st) == 0;
}

// Standard output of a command and its exit code.
std::string RunCli(const std::string& strArgs, int* pnExit) {
  std::string strCmd = Cli() + " " + strArgs + " 2>/dev/null";
  FILE* f = popen(strCmd.c_str(), "r");
  std::string out;
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  int rc = pclose(f);
  if (pnExit) *pnExit = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

size_t CountLines(const std::string& str, const std::string& strPrefix) {
  size_t c = 0, pos = 0;
  while (pos < str.size()) {
    size_t end = str.find('\n', pos);
    if (end == std::string::npos) end = str.size();
    if (str.compare(pos, strPrefix.size(), strPrefix) == 0) ++c;
    pos = end + 1;
  }
  return c;
}

#define REQUIRE_CLI_AND_DATA()                                                         \
  if (!Exists(Cli())) GTEST_SKIP() << "velmo-cli not built: " << Cli();                \
  if (!Exists(Map("moscow-cp1251.img"))) GTEST_SKIP() << "shared data not present"

}  // namespace

TEST(ImgCli, InfoAndDump) {
  REQUIRE_CLI_AND_DATA();
  int nExit = -1;
  std::string info = RunCli("info " + Map("moscow-cp1251.img"), &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_NE(info.find("format: Garmin IMG, map 63240201"), std::string::npos) << info;
  EXPECT_NE(info.find("labels: eight-bit, code page 1251"), std::string::npos);
  EXPECT_NE(info.find("level 4: zoom 0, 24 bits, 4 groups; polygons 700, polylines 670, POIs 149, points 1"),
            std::string::npos)
      << info;

  std::string dump = RunCli("dump " + Map("moscow-cp1251.img"), &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_EQ(CountLines(dump, "L4 area "), 700u);
  EXPECT_EQ(CountLines(dump, "L4 line "), 670u);
  EXPECT_EQ(CountLines(dump, "L4 point "), 150u);
  EXPECT_NE(dump.find("\"ОСТАНКИНО\""), std::string::npos);
  // Road shield markers are interpreted away in the six-bit map's dump.
  std::string six = RunCli("dump " + Map("monaco-6bit.img"), &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_NE(six.find("\"Boulevard Du Larvotto\""), std::string::npos);
  EXPECT_EQ(six.find("\\x04"), std::string::npos);
}

TEST(ImgCli, Nearest) {
  REQUIRE_CLI_AND_DATA();
  int nExit = -1;
  std::string out = RunCli("nearest " + Map("moscow-cp1251.img") + " 55.815 37.60 150", &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_NE(out.find("0x2e02 \"ДИКСИ\" 55.81378"), std::string::npos) << out;
  // Every line is within the radius.
  size_t pos = 0, cLines = 0;
  while ((pos = out.find(" scale ", pos)) != std::string::npos) {
    size_t start = out.rfind(' ', pos - 1);
    double fDistance = std::stod(out.substr(start + 1, pos - start - 1));
    EXPECT_LE(fDistance, 150.0);
    ++cLines;
    ++pos;
  }
  EXPECT_GT(cLines, 0u);
  // A type filter keeps only that type.
  std::string filtered = RunCli("nearest " + Map("moscow-cp1251.img") + " 55.815 37.60 400 0x2e02", &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_EQ(CountLines(filtered, "0x2e02 "), CountLines(filtered, "0x"));
  EXPECT_GT(CountLines(filtered, "0x2e02 "), 0u);
  // Bad arguments.
  RunCli("nearest " + Map("moscow-cp1251.img") + " north 37.60 150", &nExit);
  EXPECT_EQ(nExit, 2);
  RunCli("nearest /nonexistent.img 55 37 100", &nExit);
  EXPECT_EQ(nExit, 1);
}
