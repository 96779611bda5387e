// Whole-file writes against what a path may name besides a plain file: a
// symbolic link, a FIFO, a device, a folder, a file being written by someone
// else, a temporary left by a write that was killed.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/File.h"
#include "platform/Str.h"

using namespace platform;

namespace {

class SafeWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* p = std::getenv("TMPDIR");
    std::string templ = std::string(p ? p : "/tmp") + "/velmo-safewrite-XXXXXX";
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    m_strDir = templ;
  }
  void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }

  std::string Path(const char* pszName) const { return m_strDir + "/" + pszName; }
  static bool Write(const std::string& path, const std::string& data) {
    return WriteFileAtomic(Utf8ToU16(path).c_str(), data.data(), data.size());
  }
  static std::string Read(const std::string& path) {
    std::vector<uint8_t> data;
    if (!ReadWholeFile(Utf8ToU16(path).c_str(), data)) return "<unreadable>";
    return std::string(data.begin(), data.end());
  }
  // The names in the folder besides the ones given.
  std::vector<std::string> Others(std::initializer_list<const char*> known) const {
    std::vector<std::string> names;
    DIR* d = ::opendir(m_strDir.c_str());
    while (struct dirent* e = d ? ::readdir(d) : nullptr) {
      std::string name = e->d_name;
      bool fKnown = name == "." || name == "..";
      for (const char* psz : known) fKnown = fKnown || name == psz;
      if (!fKnown) names.push_back(name);
    }
    if (d) ::closedir(d);
    return names;
  }

  std::string m_strDir;
};

TEST_F(SafeWrite, ThroughASymbolicLinkTheTargetIsReplacedAndTheLinkKept) {
  ASSERT_TRUE(Write(Path("real.bin"), "old"));
  ASSERT_EQ(::symlink("real.bin", Path("link.bin").c_str()), 0);
  ASSERT_TRUE(Write(Path("link.bin"), "new contents"));
  struct stat st;
  ASSERT_EQ(::lstat(Path("link.bin").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Read(Path("real.bin")), "new contents");
  // A link to a link in another folder, and a link whose target is not there yet.
  ASSERT_EQ(::mkdir(Path("sub").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("../link.bin", Path("sub/second").c_str()), 0);
  ASSERT_TRUE(Write(Path("sub/second"), "third"));
  EXPECT_EQ(Read(Path("real.bin")), "third");
  ASSERT_EQ(::symlink("made.bin", Path("dangling").c_str()), 0);
  ASSERT_TRUE(Write(Path("dangling"), "made"));
  ASSERT_EQ(::lstat(Path("dangling").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Read(Path("made.bin")), "made");
  // A loop of links is an error, not a hang.
  ASSERT_EQ(::symlink("loop2", Path("loop1").c_str()), 0);
  ASSERT_EQ(::symlink("loop1", Path("loop2").c_str()), 0);
  errno = 0;
  EXPECT_FALSE(Write(Path("loop1"), "x"));
  EXPECT_EQ(errno, ELOOP);
  EXPECT_EQ(Others({"real.bin", "link.bin", "sub", "dangling", "made.bin", "loop1", "loop2"}),
            std::vector<std::string>{});
}

TEST_F(SafeWrite, AFifoGetsTheBytesAndStaysAFifo) {
  const std::string fifo = Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 251);
  std::string got;
  std::thread reader([&] {
    int fd = ::open(fifo.c_str(), O_RDONLY);
    char buf[4096];
    ssize_t n;
    while (fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0) got.append(buf, size_t(n));
    if (fd >= 0) ::close(fd);
  });
  EXPECT_TRUE(Write(fifo, data));
  reader.join();
  EXPECT_EQ(got, data);
  struct stat st;
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(Others({"pipe"}), std::vector<std::string>{});
}

TEST_F(SafeWrite, ADeviceIsWrittenInPlaceAndReportsItsError) {
  struct stat st;
  if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full here";
  errno = 0;
  EXPECT_FALSE(Write("/dev/full", "bytes that find no room"));
  EXPECT_EQ(errno, ENOSPC);
  ASSERT_EQ(::lstat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_TRUE(Write("/dev/null", "gone"));
  ASSERT_EQ(::lstat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(SafeWrite, AFolderIsRefused) {
  ASSERT_EQ(::mkdir(Path("folder").c_str(), 0755), 0);
  errno = 0;
  EXPECT_FALSE(Write(Path("folder"), "x"));
  EXPECT_EQ(errno, EISDIR);
  struct stat st;
  ASSERT_EQ(::stat(Path("folder").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// A write killed halfway leaves its temporary; the next write of the same
// target removes it (and the one of earlier versions' fixed name), but not a
// temporary another writer still holds.
TEST_F(SafeWrite, TemporariesOfKilledWritesGoWithTheNextWrite) {
  ASSERT_TRUE(Write(Path("out.bin"), "first"));
  // A child killed by the file size limit in the middle of its write.
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    struct rlimit rl = {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &rl);
    ::signal(SIGXFSZ, SIG_DFL);
    std::string big(1 << 20, 'k');
    Write(Path("out.bin"), big);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(Read(Path("out.bin")), "first");  // the target is as it was
  std::vector<std::string> left = Others({"out.bin"});
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].rfind("out.bin.tmp-", 0), 0u) << left[0];
  // The old fixed name, and a temporary a live writer holds locked.
  ASSERT_TRUE(Write(Path("out.bin.tmp"), "old leftover"));
  int fdHeld = ::open(Path("out.bin.tmp-held00").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fdHeld, 0);
  ASSERT_EQ(::flock(fdHeld, LOCK_EX), 0);
  ASSERT_TRUE(Write(Path("out.bin"), "second"));
  EXPECT_EQ(Read(Path("out.bin")), "second");
  EXPECT_EQ(Others({"out.bin"}), std::vector<std::string>{"out.bin.tmp-held00"});
  ::close(fdHeld);
  ASSERT_TRUE(Write(Path("out.bin"), "third"));
  EXPECT_EQ(Others({"out.bin"}), std::vector<std::string>{});
}

// A write that fails (here: the file size limit, with the signal ignored)
// reports the system's error, keeps the old file and leaves nothing behind.
TEST_F(SafeWrite, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  ASSERT_TRUE(Write(Path("keep.bin"), "kept"));
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit rl = {4096, old.rlim_max};
  void (*pfnOld)(int) = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &rl), 0);
  errno = 0;
  bool ok = Write(Path("keep.bin"), std::string(100000, 'x'));
  int nError = errno;
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, pfnOld);
  EXPECT_FALSE(ok);
  EXPECT_EQ(nError, EFBIG);
  EXPECT_EQ(Read(Path("keep.bin")), "kept");
  EXPECT_EQ(Others({"keep.bin"}), std::vector<std::string>{});
}

// Writers racing on one target: each write is whole, each takes a
// temporary of its own, none is left.
TEST_F(SafeWrite, ConcurrentWritesEachLandWhole) {
  const std::string path = Path("race.bin");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) EXPECT_TRUE(Write(path, std::string(5000 + t * 1000, char('a' + t))));
    });
  for (std::thread& th : threads) th.join();
  std::string got = Read(path);
  ASSERT_GE(got.size(), 5000u);
  const size_t t = (got.size() - 5000) / 1000;
  EXPECT_EQ(got, std::string(5000 + t * 1000, char('a' + t)));
  EXPECT_EQ(Others({"race.bin"}), std::vector<std::string>{});
}

TEST_F(SafeWrite, KeepsThePermissionsOfTheFileItReplaces) {
  ASSERT_TRUE(Write(Path("mode.bin"), "a"));
  ASSERT_EQ(::chmod(Path("mode.bin").c_str(), 0640), 0);
  ASSERT_TRUE(Write(Path("mode.bin"), "b"));
  struct stat st;
  ASSERT_EQ(::stat(Path("mode.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(SafeWrite, SameFileWhateverTheSpelling) {
  ASSERT_TRUE(Write(Path("a.osm"), "a"));
  ASSERT_TRUE(Write(Path("b.osm"), "a"));
  ASSERT_EQ(::symlink("a.osm", Path("link.osm").c_str()), 0);
  ASSERT_EQ(::link(Path("a.osm").c_str(), Path("hard.osm").c_str()), 0);
  auto Same = [&](const std::string& x, const std::string& y) {
    return IsSameFile(Utf8ToU16(x).c_str(), Utf8ToU16(y).c_str());
  };
  EXPECT_TRUE(Same(Path("a.osm"), Path("a.osm")));
  EXPECT_TRUE(Same(Path("a.osm"), m_strDir + "/./a.osm"));
  EXPECT_TRUE(Same(Path("a.osm"), Path("link.osm")));
  EXPECT_TRUE(Same(Path("hard.osm"), Path("a.osm")));
  EXPECT_FALSE(Same(Path("a.osm"), Path("b.osm")));  // equal bytes, other file
  EXPECT_FALSE(Same(Path("a.osm"), Path("missing.osm")));
  EXPECT_FALSE(Same(Path("missing.osm"), Path("missing.osm")));
}

TEST_F(SafeWrite, TrackFilesAreCreatedNewNeverOverAnExistingName) {
  ASSERT_TRUE(Write(Path("t.mps"), "recorded"));
  CFile file;
  EXPECT_FALSE(file.Open(Utf8ToU16(Path("t.mps")).c_str(), fmCreateNew));
  EXPECT_EQ(Read(Path("t.mps")), "recorded");
  ASSERT_EQ(::symlink("elsewhere.mps", Path("l.mps").c_str()), 0);
  EXPECT_FALSE(file.Open(Utf8ToU16(Path("l.mps")).c_str(), fmCreateNew));
  ASSERT_TRUE(file.Open(Utf8ToU16(Path("new.mps")).c_str(), fmCreateNew));
  EXPECT_TRUE(file.Write("abc", 3));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(Read(Path("new.mps")), "abc");
}

}  // namespace
