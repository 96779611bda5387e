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
