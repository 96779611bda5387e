#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/File.h"
#include "platform/FileMapping.h"
#include "platform/Str.h"

using namespace platform;

namespace {

std::u16string TempPath(const char16_t* pszName) {
#ifdef _WIN32
  const char* p = std::getenv("TEMP");
  std::u16string dir = Utf8ToU16(p ? p : "C:\\");
#else
  const char* p = std::getenv("TMPDIR");
  std::u16string dir = Utf8ToU16(p ? p : "/tmp");
#endif
  return JoinPath(dir, pszName);
}

TEST(FileTest, AtomicWriteReplacesAndReadsBack) {
  std::u16string path = TempPath(u"velmo_atomic_test.bin");
  const char a[] = "first version";
  const char b[] = "second";
  ASSERT_TRUE(WriteFileAtomic(path.c_str(), a, sizeof a));
  ASSERT_TRUE(WriteFileAtomic(path.c_str(), b, sizeof b));
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadWholeFile(path.c_str(), data));
  EXPECT_EQ(std::string(data.begin(), data.end()), std::string(b, sizeof b));
  EXPECT_FALSE(FileExists((path + u".tmp").c_str()));
  EXPECT_TRUE(DeleteFilePath(path.c_str()));
  EXPECT_FALSE(FileExists(path.c_str()));
}

TEST(FileTest, FailedAtomicWriteLeavesTheOldFile) {
  std::u16string path = TempPath(u"velmo_atomic_keep.bin");
  const char a[] = "keep me";
  ASSERT_TRUE(WriteFileAtomic(path.c_str(), a, sizeof a));
  // A target inside a folder that does not exist cannot be written.
  std::u16string bad = TempPath(u"velmo_no_such_folder") + c_chPathSep + u"x.bin";
  EXPECT_FALSE(WriteFileAtomic(bad.c_str(), a, sizeof a));
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadWholeFile(path.c_str(), data));
  EXPECT_EQ(data.size(), sizeof a);
  DeleteFilePath(path.c_str());
}

// On both systems: the temporary of a write that was killed (here: left by
// hand) goes with the next write of the same target, the name of a folder is
// refused and the folder left, and the output lands whole.
TEST(FileTest, AtomicWriteRemovesAbandonedTemporariesAndRefusesAFolder) {
  std::u16string path = TempPath(u"velmo_atomic_stale.bin");
  std::u16string stale = path + u".tmp-zz9zz9", old = path + u".tmp";
  const char a[] = "partial", b[] = "whole";
  ASSERT_TRUE(WriteFileAtomic(stale.c_str(), a, sizeof a));
  ASSERT_TRUE(WriteFileAtomic(old.c_str(), a, sizeof a));
  ASSERT_TRUE(WriteFileAtomic(path.c_str(), b, sizeof b));
  EXPECT_FALSE(FileExists(stale.c_str()));
  EXPECT_FALSE(FileExists(old.c_str()));
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadWholeFile(path.c_str(), data));
  EXPECT_EQ(data.size(), sizeof b);
  DeleteFilePath(path.c_str());

  std::u16string folder = TempPath(u"velmo_atomic_folder");
  ASSERT_TRUE(CreateDirectoryPath(folder.c_str()));
  EXPECT_FALSE(WriteFileAtomic(folder.c_str(), b, sizeof b));
  EXPECT_TRUE(IsDirectory(folder.c_str()));
  std::vector<std::u16string> names;
  ASSERT_TRUE(ListFolder(folder.c_str(), false, names));
  EXPECT_TRUE(names.empty());
}

TEST(FileTest, MappingReadOnlyAndReadWrite) {
  std::u16string path = TempPath(u"velmo_map_test.bin");
  const char text[] = "mapped bytes";
  ASSERT_TRUE(WriteFileAtomic(path.c_str(), text, sizeof text));
  {
    CFileMapping m;
    ASSERT_TRUE(m.OpenRead(path.c_str()));
    ASSERT_EQ(m.Size(), sizeof text);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Data())), "mapped bytes");
    EXPECT_EQ(m.WritableData(), nullptr);
  }
  std::u16string rw = TempPath(u"velmo_map_rw.bin");
  DeleteFilePath(rw.c_str());
  {
    CFileMapping m;
    ASSERT_TRUE(m.OpenReadWrite(rw.c_str(), 80008));
    ASSERT_NE(m.WritableData(), nullptr);
    m.WritableData()[80007] = 0x5A;
    EXPECT_TRUE(m.Flush());
  }
  uint64_t cb = 0;
  ASSERT_TRUE(GetFileSizeOf(rw.c_str(), cb));
  EXPECT_EQ(cb, 80008u);
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadWholeFile(rw.c_str(), data));
  EXPECT_EQ(data[80007], 0x5A);
  CFileMapping missing;
  EXPECT_FALSE(missing.OpenRead(TempPath(u"velmo_missing.bin").c_str()));
  DeleteFilePath(path.c_str());
  DeleteFilePath(rw.c_str());
}

TEST(FileTest, AppendingFileKeepsItsContents) {
  std::u16string path = TempPath(u"velmo_append.txt");
  DeleteFilePath(path.c_str());
  {
    CFile f;
    ASSERT_TRUE(f.Open(path.c_str(), fmOpenAlways));
    ASSERT_TRUE(f.Write("ab", 2));
  }
  {
    CFile f;
    ASSERT_TRUE(f.Open(path.c_str(), fmOpenAlways));
    uint64_t cb = 0;
    ASSERT_TRUE(f.GetSize(cb));
    EXPECT_EQ(cb, 2u);
    ASSERT_TRUE(f.SeekToEnd());
    ASSERT_TRUE(f.Write("cd", 2));
  }
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadWholeFile(path.c_str(), data));
  EXPECT_EQ(std::string(data.begin(), data.end()), "abcd");
  DeleteFilePath(path.c_str());
}

}  // namespace
