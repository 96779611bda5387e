// Track recording: MPS track files, the Tracks.bin ring and its drawing walk
// (the drawing itself is the map's track layer: tests/render/TrackLayerTest.cpp).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <atomic>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "exchange/TrackFile.h"
#include "gps/FileWriter.h"
#include "gps/Positioning.h"
#include "gps/Tracking.h"
#include "gps/VisualTracking.h"
#include "gps/detail/MpsRecords.h"
#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Clock.h"
#include "platform/Str.h"
#include "platform/SystemError.h"
#include "res/Failure.h"
#include "tests/gps/GpsTestUtil.h"

using namespace gps::detail;

namespace {

class TrackingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strDocs = std::string(VELMO_BINARY_DIR) + "/gps_tracking_test_" + std::to_string(getpid());
    platform::CreateDirectoryPath(platform::Utf8ToU16(m_strDocs).c_str());
    setenv("VELMO_DOCUMENTS_DIR", m_strDocs.c_str(), 1);
    ResetAllSettings();
    ClearFolder();
  }
  void TearDown() override {
    Tracking::StopRecording();
    VisualTracking::Close();
    ClearFolder();
    ResetAllSettings();
    unsetenv("VELMO_DOCUMENTS_DIR");
  }
  void ClearFolder() {
    std::vector<std::u16string> names;
    platform::ListFolder(GetTracksFolder().c_str(), false, names);
    for (auto& n : names) platform::DeleteFilePath(platform::JoinPath(GetTracksFolder(), n).c_str());
  }
  std::vector<std::u16string> TrackFiles() {
    std::vector<std::u16string> names, mps;
    platform::ListFolder(GetTracksFolder().c_str(), false, names);
    for (auto& n : names)
      if (n.size() > 4 && n.substr(n.size() - 4) == u".mps") mps.push_back(n);
    return mps;
  }
  static GpsFix Fix(float lon, float lat, bool fAlt = true, bool fTime = true) {
    GpsFix f;
    f.Start();
    f.SetPosition(lon, lat);
    if (fAlt) f.SetAltitude(123.5f);
    if (fTime) f.SetTime(25569.0 + 1000000000.0 / 86400.0);  // 2001-09-09 01:46:40
    return f;
  }
  std::string m_strDocs;
};

// Reads the points of our file through the exchange reader.
std::vector<GpsFix> ReadBack(const std::u16string& path) {
  std::vector<GpsFix> points;
  exchange::TrackOpenResult r;
  exchange::TrackFileReader* p = exchange::OpenTrackFile(path.c_str(), r);
  if (!p) return points;
  GpsFix fix;
  while (fix.Start(), p->NextPoint(fix)) points.push_back(fix);
  delete p;
  return points;
}

TEST_F(TrackingTest, NoFileWithoutAPoint) {
  Tracking::StartRecording();
  GpsFix noPos;
  noPos.Start();
  Tracking::AddTrackPoint(noPos);
  EXPECT_TRUE(TrackFiles().empty());
  Tracking::StopRecording();
  EXPECT_TRUE(TrackFiles().empty());
  // Not recording: points are ignored.
  Tracking::AddTrackPoint(Fix(1, 1));
  EXPECT_TRUE(TrackFiles().empty());
}

TEST_F(TrackingTest, FileLayout) {
  Tracking::StartRecording();
  Tracking::AddTrackPoint(Fix(10.0f, -45.5f));
  std::u16string path = Tracking::OpenFilePath();
  ASSERT_EQ(TrackFiles().size(), 1u);
  // "yyyy-mm-dd_hh-mm-ss.mps"
  EXPECT_EQ(TrackFiles()[0].size(), 23u);
  Tracking::AddTrackPoint(Fix(10.5f, -45.0f, false, false));
  Tracking::StopRecording();
  std::vector<uint8_t> data;
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), data));
  ASSERT_EQ(data.size(), 44u + 5 + 10 + 1 + 4 + 4 + 2 * 31 + 7);
  EXPECT_EQ(std::memcmp(data.data(), c_abMpsHeader, 44), 0);
  const uint8_t* t = data.data() + 44;
  uint32_t len;
  std::memcpy(&len, t, 4);
  EXPECT_EQ(len, 10u + 1 + 4 + 4 + 2 * 31);
  EXPECT_EQ(t[4], 'T');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t + 5)), "Track 000");
  uint32_t count;
  std::memcpy(&count, t + 5 + 10 + 1 + 4, 4);
  EXPECT_EQ(count, 2u);
  MpsTrackPoint p1, p2;
  std::memcpy(&p1, t + 24, 31);
  std::memcpy(&p2, t + 55, 31);
  EXPECT_EQ(p1.nLatitude, DegreesToSemicircles(-45.5));
  EXPECT_EQ(p1.nLongitude, DegreesToSemicircles(10.0));
  EXPECT_EQ(p1.btHasAltitude, 1);
  EXPECT_DOUBLE_EQ(p1.dAltitude, 123.5);
  EXPECT_EQ(p1.btHasTime, 1);
  EXPECT_EQ(p1.dwTime, 1000000000u);
  EXPECT_EQ(p1.btHasDepth, 0);
  EXPECT_EQ(p2.btHasAltitude, 0);
  EXPECT_EQ(p2.dAltitude, 0.0);
  EXPECT_EQ(p2.btHasTime, 0);
  EXPECT_EQ(p2.dwTime, 0u);
  EXPECT_EQ(std::memcmp(data.data() + data.size() - 7, c_abMpsEnd, 7), 0);
  EXPECT_EQ(GetDword(u"TrackNumber", 0), 1u);
  // Our reader gets the same points back.
  std::vector<GpsFix> back = ReadBack(path);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_NEAR(back[0].latitude, -45.5, 1e-6);
  EXPECT_NEAR(back[1].longitude, 10.5, 1e-6);
}

TEST_F(TrackingTest, EmptyTracksNeverFollowEachOther) {
  Tracking::StartRecording();
  Tracking::AddTrackPoint(Fix(1, 1));
  std::u16string path = Tracking::OpenFilePath();
  Tracking::NewTrack();
  Tracking::NewTrack();  // lost twice in a row
  Tracking::AddTrackPoint(Fix(2, 2));
  Tracking::NewTrack();
  Tracking::StopRecording();
  std::vector<uint8_t> data;
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), data));
  std::string text(data.begin(), data.end());
  EXPECT_NE(text.find("Track 000"), std::string::npos);
  EXPECT_NE(text.find("Track 001"), std::string::npos);
  EXPECT_NE(text.find("Track 002"), std::string::npos);  // the last one, empty
  EXPECT_EQ(text.find("Track 003"), std::string::npos);
  EXPECT_EQ(ReadBack(path).size(), 2u);
}

TEST_F(TrackingTest, TrackNumbersPast999) {
  SetDword(u"TrackNumber", 999);
  Tracking::StartRecording();
  Tracking::AddTrackPoint(Fix(1, 1));
  std::u16string path = Tracking::OpenFilePath();
  Tracking::NewTrack();
  Tracking::AddTrackPoint(Fix(2, 2));
  Tracking::StopRecording();
  std::vector<uint8_t> data;
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), data));
  std::string text(data.begin(), data.end());
  EXPECT_NE(text.find(std::string("Track 999\0", 10)), std::string::npos);
  EXPECT_NE(text.find(std::string("Track 1000\0", 11)), std::string::npos);
  EXPECT_EQ(GetDword(u"TrackNumber", 0), 1001u);
  // A new file that reads a number above 999 starts again at 000.
  ClearFolder();
  Tracking::StartRecording();
  Tracking::AddTrackPoint(Fix(3, 3));
  path = Tracking::OpenFilePath();
  Tracking::StopRecording();
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), data));
  text.assign(data.begin(), data.end());
  EXPECT_NE(text.find("Track 000"), std::string::npos);
}

// A recorder killed in the middle of a track leaves a file that our reader
// reads completely.
TEST_F(TrackingTest, FileOfAKilledProgramKeepsEveryPoint) {
  const int c_cPoints = 250;  // more than the writer's 4 KB buffer holds
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    Tracking::StartRecording();
    for (int i = 0; i < 10; ++i) Tracking::AddTrackPoint(Fix(1 + i * 0.001f, 1));
    Tracking::NewTrack();
    for (int i = 10; i < c_cPoints; ++i) Tracking::AddTrackPoint(Fix(1 + i * 0.001f, 1));
    raise(SIGKILL);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  std::vector<std::u16string> files = TrackFiles();
  ASSERT_EQ(files.size(), 1u);
  std::vector<GpsFix> back = ReadBack(platform::JoinPath(GetTracksFolder(), files[0]));
  ASSERT_EQ(back.size(), size_t(c_cPoints));
  EXPECT_NEAR(back.back().longitude, 1 + (c_cPoints - 1) * 0.001f, 1e-6);
}

// ---- Tracks.bin ----

TEST_F(TrackingTest, TrackLogFileIsResetToItsSize) {
  std::u16string path = VisualTracking::FilePath();
  platform::CreateDirectoryPath(GetTracksFolder().c_str());
  platform::WriteFileAtomic(path.c_str(), "short", 5);
  ASSERT_TRUE(VisualTracking::Open());
  uint64_t cb = 0;
  ASSERT_TRUE(platform::GetFileSizeOf(path.c_str(), cb));
  EXPECT_EQ(cb, 80008u);
  VisualTracking::SetLogging(true);
  VisualTracking::Append(10.0f, -33.25f);
  VisualTracking::Close();
  // Kept across runs.
  std::vector<uint8_t> data;
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), data));
  ASSERT_EQ(data.size(), 80008u);
  TrackLogFile* pLog = reinterpret_cast<TrackLogFile*>(data.data());
  EXPECT_EQ(pLog->dwEnd, 1u);
  EXPECT_EQ(pLog->aEntries[0].nLongitude, DegreesToSemicircles(10.0));
  EXPECT_TRUE(pLog->aEntries[0].dwLatitude & c_dwNewLineBit);  // a cleared log starts a line
  // An impossible end index clears the log.
  pLog->dwEnd = 10000;
  platform::WriteFileAtomic(path.c_str(), data.data(), data.size());
  ASSERT_TRUE(VisualTracking::Open());
  VisualTracking::Close();
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), data));
  EXPECT_EQ(reinterpret_cast<TrackLogFile*>(data.data())->dwEnd, 0u);
  EXPECT_EQ(reinterpret_cast<TrackLogFile*>(data.data())->aEntries[0].nLongitude, 0);
}

struct Walk {
  std::vector<std::vector<VPoint>> lines;
};
VPoint Identity(int32_t x, int32_t y, void*) { return VPoint{x, y}; }
bool Record(const VPoint* p, int c, void* ctx) {
  static_cast<Walk*>(ctx)->lines.emplace_back(p, p + c);
  return true;
}

TEST_F(TrackingTest, RingOverwritesTheOldestAndDrawsFromIt) {
  ASSERT_TRUE(VisualTracking::Open());
  VisualTracking::SetLogging(true);
  // Steps of 2048 map units (semicircles / 2) to the south.
  const double c_dUnit = 180.0 / 1073741824.0;
  for (int i = 0; i < 10001; ++i) VisualTracking::Append(float(0.0), float(-(i + 1) * 2 * c_dUnit * 1024));
  Walk w;
  VisualTracking::WalkTrackLog(1 << 28, 1 << 28, Identity, Record, &w);
  // 10 000 visible points: 1000-point polylines, each starting at the
  // last point of the one before: no gap.
  ASSERT_EQ(w.lines.size(), 11u);
  size_t cTotal = 0;
  for (size_t i = 0; i < w.lines.size(); ++i) {
    EXPECT_LE(w.lines[i].size(), 1000u);
    if (i > 0) EXPECT_EQ(w.lines[i].front().y, w.lines[i - 1].back().y);
    cTotal += w.lines[i].size() - (i > 0 ? 1 : 0);
  }
  EXPECT_EQ(cTotal, 10000u);
  // The oldest remaining is the second appended (the first was overwritten),
  // and the negative latitude came back through the 31-bit store.
  EXPECT_EQ(w.lines[0].front().y, -2 * 2048);
  EXPECT_EQ(w.lines.back().back().y, -10001 * 2048);
}

TEST_F(TrackingTest, SegmentsAndInvisiblePointsSplitLines) {
  ASSERT_TRUE(VisualTracking::Open());
  VisualTracking::Clear();
  VisualTracking::SetLogging(true);
  const float c_f = float(180.0 / 1073741824.0);  // two semicircles: one map unit
  VisualTracking::Append(0, 1 * c_f);
  VisualTracking::Append(0, 2 * c_f);
  VisualTracking::NewSegment();
  VisualTracking::Append(0, 3 * c_f);
  VisualTracking::Append(0, 4 * c_f);
  VisualTracking::Append(0, 100000 * c_f);  // far outside the window
  VisualTracking::Append(0, 5 * c_f);
  VisualTracking::Append(0, 6 * c_f);
  VisualTracking::SetLogging(false);
  VisualTracking::Append(0, 7 * c_f);  // not logged
  Walk w;
  VisualTracking::WalkTrackLog(100, 100, Identity, Record, &w);
  ASSERT_EQ(w.lines.size(), 3u);
  EXPECT_EQ(w.lines[0].size(), 2u);
  EXPECT_EQ(w.lines[1].size(), 2u);
  EXPECT_EQ(w.lines[2].size(), 2u);
  EXPECT_EQ(w.lines[2].back().y, 6);
}

// The drawing callback dispatches the window's messages; a port thread that
// appends meanwhile must not wait for the walk (nor the walk for it).
std::atomic<bool> g_fAppended{false};
bool AppendFromAnotherThread(const VPoint*, int, void*) {
  if (g_fAppended) return true;
  std::thread([] {
    VisualTracking::Append(1.0f, 1.0f);
    g_fAppended = true;
  }).detach();
  for (int i = 0; i < 300 && !g_fAppended; ++i) platform::SleepMs(10);
  return true;
}

TEST_F(TrackingTest, TheWalkHoldsNoLockWhileItDraws) {
  ASSERT_TRUE(VisualTracking::Open());
  VisualTracking::Clear();
  VisualTracking::SetLogging(true);
  const float c_f = float(180.0 / 1073741824.0);
  for (int i = 0; i < 10; ++i) VisualTracking::Append(0, float(i) * c_f);
  g_fAppended = false;
  VisualTracking::WalkTrackLog(100, 100, Identity, AppendFromAnotherThread, nullptr);
  EXPECT_TRUE(g_fAppended.load()) << "a position appended while the track was drawn";
  // The detached appender finished (or the process would hang at exit).
}

TEST_F(TrackingTest, AnUnwritableTracksFolderIsReportedOnceAndFixesGoOn) {
  std::vector<std::u16string> texts;
  static std::vector<std::u16string>* s_pTexts;
  s_pTexts = &texts;
  ClearFailures();
  SetFailureNotifier([] { DrainFailures([](const char16_t* psz) { s_pTexts->push_back(psz); }); });
  // A file where the folder should be: nothing can be created in it.
  std::u16string folder = GetTracksFolder();
  ClearFolder();
  ::rmdir(platform::U16ToUtf8(folder).c_str());
  ASSERT_TRUE(platform::WriteFileAtomic(folder.c_str(), "x", 1));
  EXPECT_FALSE(VisualTracking::Open());
  Tracking::StartRecording();
  for (int i = 0; i < 20; ++i) Tracking::AddTrackPoint(Fix(30.0f + 0.001f * float(i), 60.0f));
  EXPECT_TRUE(Tracking::OpenFilePath().empty());
  // Each failure is a once-a-run report naming the folder with the reason.
  ASSERT_EQ(texts.size(), 2u) << "the track log once, the recorder once (not once per fix)";
  EXPECT_EQ(texts[0], texts[1]) << "the same failure: the shell shows it once";
  EXPECT_NE(texts[0].find(folder), std::u16string::npos);
  EXPECT_EQ(texts[0].find(u"cannot create the file"), std::u16string::npos) << "the system's words, not a literal";
  // Started again, the recorder tries once more (and tells once more).
  Tracking::StopRecording();
  Tracking::StartRecording();
  Tracking::AddTrackPoint(Fix(30.0f, 60.0f));
  Tracking::AddTrackPoint(Fix(30.1f, 60.0f));
  EXPECT_EQ(texts.size(), 3u);
  Tracking::StopRecording();
  SetFailureNotifier(nullptr);
  platform::DeleteFilePath(folder.c_str());
}

// ---- FileWriter ----

TEST_F(TrackingTest, FileWriterFormatsAndSeeks) {
  std::u16string path = platform::Utf8ToU16(m_strDocs + "/writer.txt");
  {
    platform::CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), platform::fmCreateAlways));
    FileWriter w(&file);
    w.WriteText("a\nb\n");
    EXPECT_EQ(w.Line(), 3u);
    w.SetDecimals(3);
    w.WriteFixed(-1.23456);
    w.WriteByte(' ');
    w.SetDecimals(9);  // capped at 5
    w.WriteFixed(0.5);
    w.WriteByte(' ');
    w.WriteUnsigned(4294967295u);
    w.WriteFormatted(" %d|", 42);
    w.WriteRepeated('z', 40000);  // through the heap, past the buffer
    EXPECT_EQ(w.Position(), 4u + 6 + 1 + 7 + 1 + 10 + 4 + 40000);
    w.Seek(0);
    w.WriteByte('A');
    w.Flush();
    EXPECT_FALSE(w.HasError());
  }
  std::vector<uint8_t> data;
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), data));
  std::string text(data.begin(), data.begin() + 33);
  EXPECT_EQ(text, "A\nb\n-1.235 0.50000 4294967295 42|");
  EXPECT_EQ(data.size(), 33u + 40000);
}

}  // namespace
