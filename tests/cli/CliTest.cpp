// velmo-cli as people script it: every command describes itself, and every
// failure is told on standard error with a non-zero status and nothing on
// standard output that a script could take for a result.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct CliRun {
  int nExit = -1;
  std::string strOut;
  std::string strErr;
};

std::string ReadAll(const std::string& strPath) {
  std::ifstream f(strPath, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char szDir[] = "/tmp/velmo-cli-test-XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    m_strDir = szDir;
    // Files that exist but hold nothing any command can use.
    Write("garbage.bin", std::string("\x7f\x01\xfe this is no map, capture, track or store \x00\x13\x37", 48));
    Write("empty.bin", "");
  }
  void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }

  void Write(const char* pszName, const std::string& data) {
    std::ofstream f(m_strDir + "/" + pszName, std::ios::binary);
    f << data;
  }
  std::string Path(const char* pszName) const { return m_strDir + "/" + pszName; }

  CliRun Run(const std::string& strArgs) const {
    CliRun r;
    std::string strOut = m_strDir + "/stdout", strErr = m_strDir + "/stderr";
    std::string strCmd = std::string(VELMO_CLI) + " " + strArgs + " >" + strOut + " 2>" + strErr + " </dev/null";
    int rc = std::system(strCmd.c_str());
    r.nExit = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.strOut = ReadAll(strOut);
    r.strErr = ReadAll(strErr);
    return r;
  }

  // The commands velmo-cli lists in its help.
  std::vector<std::string> Commands() const {
    CliRun r = Run("help");
    std::vector<std::string> names;
    std::istringstream in(r.strOut);
    std::string line;
    bool fList = false;
    while (std::getline(in, line)) {
      if (line == "commands:") fList = true;
      else if (fList && line.size() > 2 && line[0] == ' ' && line[1] == ' ')
        names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return names;
  }

  std::string m_strDir;
};

TEST_F(CliTest, HelpDescribesEveryCommand) {
  std::vector<std::string> names = Commands();
  ASSERT_GE(names.size(), 8u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    CliRun help = Run("help " + name);
    EXPECT_EQ(help.nExit, 0);
    EXPECT_EQ(help.strOut.rfind("usage: velmo-cli " + name, 0), 0u) << help.strOut;
    CliRun option = Run(name + " --help");
    EXPECT_EQ(option.nExit, 0);
    EXPECT_EQ(option.strOut, help.strOut);
  }
  CliRun unknown = Run("help no-such-command");
  EXPECT_NE(unknown.nExit, 0);
  EXPECT_TRUE(unknown.strOut.empty());
  EXPECT_NE(unknown.strErr.find("no-such-command"), std::string::npos);
}

// Each command with arguments that cannot work: missing, a file that is not
// there, a file of the wrong kind. A command added without a row here fails
// the test, so that its failure paths are thought about.
TEST_F(CliTest, EveryFailureGoesToStandardErrorWithNonZeroStatus) {
  const std::string garbage = Path("garbage.bin"), empty = Path("empty.bin"), missing = Path("missing.vel");
  const std::string out = Path("out.file");
  std::map<std::string, std::vector<std::string>> cases = {
      {"info", {"", missing, garbage, empty, missing + " extra"}},
      {"dump", {"", missing, garbage}},
      {"nearest", {"", missing + " 43.7 7.4 100", garbage + " 43.7 7.4 100", missing + " north east 100"}},
      {"render", {"", missing + " --lat 43.7 --lon 7.4 --scale 10 -o " + out,
                  garbage + " --lat 43.7 --lon 7.4 --scale 10 -o " + out}},
      {"replay", {"", "--protocol nmea " + missing, "--protocol morse " + garbage, "--protocol nmea " + garbage,
                  "--protocol sirf " + garbage, "--protocol nmea --since yesterday " + garbage}},
      {"track", {"", missing, garbage}},
      {"import", {"", missing, garbage, "--codepage 1 " + garbage}},
      {"export", {"", "--format gdb " + missing + " " + out, "--format gdb " + garbage + " " + out,
                  "--format papyrus " + garbage + " " + out}},
      {"version", {}},
      {"route", {"", missing + " 43.73 7.42 43.74 7.43", garbage + " 43.73 7.42 43.74 7.43"}},
      {"gauges", {"", missing, garbage}},
      {"guide", {"", missing + " --to 43.74 7.43 " + missing, garbage + " --to 43.74 7.43 " + garbage}},
      {"cities", {"", missing, garbage, missing + " A extra"}},
      {"find", {"", missing + " --type 0x2f01", garbage + " --category 344", missing,
                missing + " --type 0x2f01 --category 344", missing + " --type point:zz", garbage + " --category 421",
                garbage + " --category 0x2f01", garbage + " --category -1", garbage + " --category services"}},
      {"address", {"", missing + " --street A", garbage + " --house 1", missing + " --colour red"}},
      {"collection", {"", "build", "info", "build " + missing, "info " + missing, "info " + m_strDir,
                      "info " + garbage, "rebuild " + m_strDir, "build " + garbage, "build " + m_strDir + " extra"}},
  };
  std::set<std::string> listed;
  for (const std::string& name : Commands()) {
    listed.insert(name);
    ASSERT_TRUE(cases.count(name)) << "velmo-cli " << name << " has no failure cases here";
    for (const std::string& args : cases[name]) {
      SCOPED_TRACE("velmo-cli " + name + " " + args);
      CliRun r = Run(name + " " + args);
      EXPECT_NE(r.nExit, 0);
      EXPECT_FALSE(r.strErr.empty());
      EXPECT_TRUE(r.strOut.empty()) << r.strOut;
    }
  }
  EXPECT_TRUE(listed.count("version"));
}

// Numbers are taken only when finite and within range (latitude ±90,
// longitude ±180, scale 0-26, angle ±360 ...): anything else ends the command
// with status 2 and a message before any file is opened. The map here is
// missing, so a number let through would end with 1 ("cannot open") instead.
TEST_F(CliTest, EveryCommandChecksItsNumbersAsRouteDoes) {
  const std::string missing = Path("missing.vel"), out = Path("out.png");
  const std::vector<std::string> pairs = {"nan nan", "inf inf", "1e308 1e308", "91 181", "abc def",
                                          "43.7 181", "-91 7.4", "-inf 7", "43.7 7x"};
  std::vector<std::string> bad;
  for (const std::string& pair : pairs) {
    const std::string lat = pair.substr(0, pair.find(' ')), lon = pair.substr(pair.find(' ') + 1);
    bad.push_back("guide " + missing + " --to " + pair + " " + missing);
    bad.push_back("render " + missing + " --lat " + lat + " --lon " + lon + " --scale 10 -o " + out);
    bad.push_back("nearest " + missing + " " + pair + " 100");
    bad.push_back("route " + missing + " " + pair + " 43.74 7.43");
    bad.push_back("route " + missing + " 43.74 7.43 " + pair);
  }
  for (const char* psz : {"nan", "inf", "1e308", "27", "-1", "abc", "10.5"}) {
    bad.push_back("render " + missing + " --lat 43.7 --lon 7.4 --scale " + psz + " -o " + out);
    bad.push_back("nearest " + missing + " 43.7 7.4 100 --scale " + psz);
  }
  for (const char* psz : {"1e30", "nan", "361", "-inf", "abc"})
    bad.push_back("render " + missing + " --lat 43.7 --lon 7.4 --scale 10 --angle " + psz + " -o " + out);
  for (const char* psz : {"0x0", "100", "1e308x10", "nanxnan", "9000x10"})
    bad.push_back("render " + missing + " --lat 43.7 --lon 7.4 --scale 10 --size " + psz + " -o " + out);
  for (const char* psz : {"nan", "-1", "1e308", "abc"}) {
    bad.push_back("nearest " + missing + " 43.7 7.4 " + psz);
    bad.push_back("render " + missing + " --lat 43.7 --lon 7.4 --scale 10 --passes " + psz + " -o " + out);
    bad.push_back("replay --protocol nmea --chunk " + std::string(psz) + " " + missing);
    bad.push_back("replay --protocol nmea --seed " + std::string(psz) + " " + missing);
    bad.push_back("import --codepage " + std::string(psz) + " " + missing);
    bad.push_back("export --format gdb --codepage " + std::string(psz) + " " + missing + " " + Path("o.gdb"));
    bad.push_back("guide " + missing + " --to 43.7 7.4 " + missing + " --amn " + psz);
    bad.push_back("guide " + missing + " --to 43.7 7.4 " + missing + " --style " + psz);
  }
  for (const char* psz : {"2026-02-30", "2026-13-01", "1900-01-01", "99999-01-01", "2026-1-1", "2026-01-01x"}) {
    bad.push_back("replay --protocol nmea --since " + std::string(psz) + " " + missing);
    bad.push_back("gauges --protocol nmea --since " + std::string(psz) + " " + missing);
  }
  for (const std::string& args : bad) {
    SCOPED_TRACE("velmo-cli " + args);
    CliRun r = Run(args);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_FALSE(r.strErr.empty());
    EXPECT_TRUE(r.strOut.empty()) << r.strOut;
  }
  // The same commands with good numbers get as far as the missing map.
  for (const std::string& args :
       {"guide " + missing + " --to 43.74 7.43 " + missing + " --amn 2 --style 0",
        "render " + missing + " --lat -43.7 --lon 180 --scale 26 --angle -360 --size 10x10 --passes 2 -o " + out,
        "nearest " + missing + " 90 -180 0 --scale 0", "route " + missing + " 43.73 7.42 43.74 7.43",
        "replay --protocol nmea --chunk 1048576 --seed 4294967295 --since 2026-12-09 " + missing,
        "gauges --protocol nmea --since 2024-02-29 " + missing, "import --codepage 1251 " + missing}) {
    SCOPED_TRACE("velmo-cli " + args);
    EXPECT_EQ(Run(args).nExit, 1);
  }
}

TEST_F(CliTest, NoCommandAndUnknownCommandAreErrors) {
  CliRun none = Run("");
  EXPECT_EQ(none.nExit, 2);
  EXPECT_TRUE(none.strOut.empty());
  EXPECT_NE(none.strErr.find("usage: velmo-cli"), std::string::npos);
  CliRun unknown = Run("frobnicate");
  EXPECT_EQ(unknown.nExit, 2);
  EXPECT_TRUE(unknown.strOut.empty());
  EXPECT_NE(unknown.strErr.find("frobnicate"), std::string::npos);
}

}  // namespace
