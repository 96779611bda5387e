// What velc and velmo-cli export do with an output path that is not a plain
// new file: a device gets the bytes or gives its error, a FIFO gets the
// bytes, a symbolic link keeps pointing at the file written, an input is
// never overwritten, and a write killed halfway leaves a temporary that the
// next run removes.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Str.h"
#include "store/WaypointStore.h"

namespace {

struct Ran {
  int nExit = -1;
  std::string strErr;
};

std::string ReadAll(const std::string& strPath) {
  std::ifstream f(strPath, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// A small town: a grid of named streets with a cafe on each corner, enough
// for a map of some kilobytes.
std::string Town() {
  std::ostringstream osm;
  osm << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<osm version=\"0.6\" generator=\"test\">\n";
  const int c = 12;
  for (int i = 0; i < c; ++i)
    for (int j = 0; j < c; ++j) {
      osm << " <node id=\"" << 1 + i * c + j << "\" lat=\"" << 43.73 + i * 0.001 << "\" lon=\"" << 7.42 + j * 0.001
          << "\" version=\"1\"><tag k=\"amenity\" v=\"cafe\"/><tag k=\"name\" v=\"Cafe " << i * c + j
          << "\"/></node>\n";
    }
  for (int i = 0; i < c; ++i) {
    osm << " <way id=\"" << 1000 + i << "\" version=\"1\">";
    for (int j = 0; j < c; ++j) osm << "<nd ref=\"" << 1 + i * c + j << "\"/>";
    osm << "<tag k=\"highway\" v=\"residential\"/><tag k=\"name\" v=\"Row " << i << "\"/></way>\n";
  }
  for (int i = 0; i < c; ++i) {
    osm << " <way id=\"" << 2000 + i << "\" version=\"1\">";
    for (int j = 0; j < c; ++j) osm << "<nd ref=\"" << 1 + j * c + i << "\"/>";
    osm << "<tag k=\"highway\" v=\"tertiary\"/><tag k=\"name\" v=\"Column " << i << "\"/></way>\n";
  }
  osm << "</osm>\n";
  return osm.str();
}

class OutputFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char szDir[] = "/tmp/velmo-output-test-XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    m_strDir = szDir;
    std::ofstream(Path("town.osm"), std::ios::binary) << Town();
    CWaypointStore store;
    for (int i = 0; i < 200; ++i) {
      char16_t sz[32];
      platform::Format(sz, 32, u"Point %d", i);
      store.NewWaypoint(7.42 + i * 0.0001, 43.73 + i * 0.0001, 46000.5 + i, float(i), true, sz);
    }
    ASSERT_TRUE(store.SaveFile(platform::Utf8ToU16(Path("Waypoints.bin")).c_str()));
  }
  void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }

  std::string Path(const char* pszName) const { return m_strDir + "/" + pszName; }
  Ran Run(const std::string& strCmd) const {
    Ran r;
    const std::string strErr = Path("stderr.txt");
    int rc = std::system((strCmd + " >/dev/null 2>" + strErr + " </dev/null").c_str());
    r.nExit = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.strErr = ReadAll(strErr);
    std::remove(strErr.c_str());
    return r;
  }
  // The two writers: velc making a map of the town, export making a .gdb.
  std::string Velc(const std::string& strOut) const {
#ifdef VELMO_VELC
    return std::string(VELMO_VELC) + " " + Path("town.osm") + " -o " + strOut;
#else
    return std::string();
#endif
  }
  std::string Export(const std::string& strOut) const {
    return std::string(VELMO_CLI) + " export --format gdb " + Path("Waypoints.bin") + " " + strOut;
  }
  std::vector<std::string> Writers(const std::string& strOut) const {
    std::vector<std::string> a = {Export(strOut)};
    if (!Velc(strOut).empty()) a.push_back(Velc(strOut));
    return a;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    DIR* d = ::opendir(m_strDir.c_str());
    while (struct dirent* e = d ? ::readdir(d) : nullptr)
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    if (d) ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string m_strDir;
};

TEST_F(OutputFile, ADeviceGivesItsWriteErrorAndStaysADevice) {
  struct stat st;
  if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full here";
  for (const std::string& cmd : Writers("/dev/full")) {
    SCOPED_TRACE(cmd);
    Ran r = Run(cmd);
    EXPECT_NE(r.nExit, 0);
    EXPECT_NE(r.strErr.find("No space left on device"), std::string::npos) << r.strErr;
    ASSERT_EQ(::lstat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
}

// A FIFO gets the very bytes a plain output gets.
TEST_F(OutputFile, AFifoGetsTheBytesOfAPlainOutput) {
  for (int nWriter = 0; nWriter < 2; ++nWriter) {
    const std::string plain = Path("plain.out"), fifo = Path("pipe.out");
    std::string cmdPlain = nWriter ? Velc(plain) : Export(plain);
    if (cmdPlain.empty()) continue;
    SCOPED_TRACE(cmdPlain);
    ASSERT_EQ(Run(cmdPlain).nExit, 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::string got;
    std::thread reader([&] {
      int fd = ::open(fifo.c_str(), O_RDONLY);
      char buf[4096];
      ssize_t n;
      while (fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0) got.append(buf, size_t(n));
      if (fd >= 0) ::close(fd);
    });
    Ran r = Run(nWriter ? Velc(fifo) : Export(fifo));
    reader.join();
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    const std::string expected = ReadAll(plain);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    struct stat st;
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    std::remove(fifo.c_str());
    std::remove(plain.c_str());
  }
}

TEST_F(OutputFile, ThroughASymbolicLinkTheTargetIsWrittenAndTheLinkKept) {
  ASSERT_EQ(::mkdir(Path("maps").c_str(), 0755), 0);
  for (const std::string& cmd : Writers(Path("link.out"))) {
    SCOPED_TRACE(cmd);
    std::ofstream(Path("maps/real.out")) << "old";
    ASSERT_EQ(::symlink("maps/real.out", Path("link.out").c_str()), 0);
    Ran r = Run(cmd);
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    struct stat st;
    ASSERT_EQ(::lstat(Path("link.out").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    const std::string written = ReadAll(Path("maps/real.out"));
    EXPECT_GT(written.size(), 100u);
    std::remove(Path("link.out").c_str());
  }
}

TEST_F(OutputFile, AnOutputThatIsTheInputIsRefusedAndTheInputKept) {
  const std::string town = ReadAll(Path("town.osm")), store = ReadAll(Path("Waypoints.bin"));
  ASSERT_EQ(::symlink("town.osm", Path("alias.osm").c_str()), 0);
  ASSERT_EQ(::symlink("Waypoints.bin", Path("alias.bin").c_str()), 0);
  std::vector<std::string> cmds = {Export(Path("Waypoints.bin")), Export(Path("alias.bin")),
                                   Export(m_strDir + "/./Waypoints.bin")};
  if (!Velc("x").empty()) {
    cmds.push_back(Velc(Path("town.osm")));
    cmds.push_back(Velc(Path("alias.osm")));
  }
  for (const std::string& cmd : cmds) {
    SCOPED_TRACE(cmd);
    Ran r = Run(cmd);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.strErr.find("is the input"), std::string::npos) << r.strErr;
    EXPECT_EQ(ReadAll(Path("town.osm")), town);
    EXPECT_EQ(ReadAll(Path("Waypoints.bin")), store);
  }
}

// A run killed in the middle of writing (here by the file size limit)
// leaves the old output and its temporary; the next run replaces the output
// and removes the temporary.
TEST_F(OutputFile, AKilledWriteLeavesNoTemporaryTheNextRunKeeps) {
  for (const std::string& cmd : Writers(Path("out.bin"))) {
    SCOPED_TRACE(cmd);
    std::ofstream(Path("out.bin")) << "previous";
    Ran killed = Run("sh -c 'ulimit -f 1; exec " + cmd + "'");
    EXPECT_NE(killed.nExit, 0);
    EXPECT_EQ(ReadAll(Path("out.bin")), "previous");
    Ran r = Run(cmd);
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_GT(ReadAll(Path("out.bin")).size(), 100u);
    std::vector<std::string> names = Names();
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& s) { return s.find(".tmp") == std::string::npos; }),
                names.end());
    EXPECT_EQ(names, std::vector<std::string>{});
  }
}

}  // namespace
