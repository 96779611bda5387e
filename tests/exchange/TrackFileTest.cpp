#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "exchange/MapSource.h"
#include "exchange/TrackFile.h"
#include "gps/TrackSource.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "store/Bytes.h"
#include "tests/exchange/GpxLite.h"

using namespace exchange;

namespace {

int32_t Semi(double deg) { return int32_t(std::lround(deg * 2147483648.0 / 180.0)); }

struct GdbPoint {
  double dLat, dLon;
  bool fAlt = false;
  double dAlt = 0;
  bool fTime = false;
  uint32_t dwTime = 0;
  bool fDepth = false;
  double dDepth = 0;
  bool fTemp = false;
  double dTemp = 0;
};

void PutGdbPoint(store::CByteWriter& w, const GdbPoint& p) {
  w.Int(Semi(p.dLat));
  w.Int(Semi(p.dLon));
  w.Byte(p.fAlt);
  if (p.fAlt) w.Double(p.dAlt);
  w.Byte(p.fTime);
  if (p.fTime) w.Dword(p.dwTime);
  w.Byte(p.fDepth);
  if (p.fDepth) w.Double(p.dDepth);
  w.Byte(p.fTemp);
  if (p.fTemp) w.Double(p.dTemp);
}

// A GDB file: header records, the given program text after 'A', and one
// track per entry.
std::vector<uint8_t> MakeGdb(const std::vector<std::vector<GdbPoint>>& tracks, const char* pszProgram = "MapSource",
                             int cbCutLastTrack = 0) {
  std::vector<uint8_t> buf;
  store::CByteWriter w(buf);
  w.Bytes("MsRcf", 6);
  w.Dword(2); w.Byte('D'); w.Byte('k'); w.Byte(0);
  w.Dword(3); w.Byte('A'); w.Word(600); w.Byte(0);
  w.CStr(pszProgram);
  // a waypoint record the reader must pass over
  w.Dword(4); w.Byte('W'); w.Dword(0);
  for (const auto& trk : tracks) {
    size_t offLen = w.Pos();
    w.Dword(0); w.Byte('T');
    w.CStr("Track");
    w.Byte(0); w.Dword(0); w.Dword(uint32_t(trk.size()));
    for (const auto& p : trk) PutGdbPoint(w, p);
    w.PatchDword(offLen, uint32_t(w.Pos() - offLen - 5 - (&trk == &tracks.back() ? cbCutLastTrack : 0)));
  }
  if (cbCutLastTrack) buf.resize(buf.size() - cbCutLastTrack);
  w.Dword(2); w.Byte('V'); w.Byte(0); w.Byte(1);
  return buf;
}

std::vector<GpsFix> ReadAll(TrackFileReader& rd) {
  std::vector<GpsFix> out;
  for (;;) {
    GpsFix pt{};
    if (!rd.NextPoint(pt) || out.size() >= 100000) break;
    out.push_back(pt);
  }
  return out;
}

TEST(TrackFileTest, GdbTimeOnlyPointIsSixteenBytes) {
  std::vector<uint8_t> one;
  store::CByteWriter w(one);
  GdbPoint p{50, 12};
  p.fTime = true;
  p.dwTime = 1000;
  PutGdbPoint(w, p);
  EXPECT_EQ(one.size(), 16u);
  // and two such points read back from a record whose length fits exactly
  auto file = MakeGdb({{p, GdbPoint{50.001, 12, false, 0, true, 1010}}});
  std::unique_ptr<TrackFileReader> rd(CreateGdbTrackReader(file.data(), file.size()));
  auto pts = ReadAll(*rd);
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_EQ(pts[0].dwFlags, uint32_t(gfTime | gfPosition));
  EXPECT_NEAR(pts[0].latitude, 50.0, 1e-6);
  EXPECT_NEAR(pts[0].time, 25569.0 + 1000.0 / 86400.0, 1e-9);
}

TEST(TrackFileTest, SpeedCourseAndVerticalSpeedFromConsecutivePoints) {
  // 0.001° north in 10 s = 111.1 m → 40 km/h, course 0; 5 m up → 0.5 m/s.
  GdbPoint a{50, 12, true, 100, true, 5000};
  GdbPoint b{50.001, 12, true, 105, true, 5010};
  GdbPoint c{50.001, 12.001, false, 0, true, 5010};  // same time: no speed
  GdbPoint d{50.001, 12.002, true, 7, true, 5020, true, 3.5, true, 12.25};  // no altitude before
  auto file = MakeGdb({{a, b, c, d}});
  std::unique_ptr<TrackFileReader> rd(CreateGdbTrackReader(file.data(), file.size()));
  auto pts = ReadAll(*rd);
  ASSERT_EQ(pts.size(), 4u);
  EXPECT_FALSE(pts[0].dwFlags & (gfSpeed | gfCourse | gfVerticalSpeed));
  ASSERT_TRUE(pts[1].dwFlags & gfSpeed);
  EXPECT_NEAR(pts[1].speed, 0.001 * 40000000.0 / 360.0 * 3.6 / 10, 0.01);
  ASSERT_TRUE(pts[1].dwFlags & gfVerticalSpeed);
  EXPECT_NEAR(pts[1].verticalSpeed, 0.5, 1e-4);
  ASSERT_TRUE(pts[1].dwFlags & gfCourse);
  EXPECT_NEAR(pts[1].course, 0.0, 0.01);
  // same time as the previous point: no speed, but a course (due east)
  EXPECT_FALSE(pts[2].dwFlags & gfSpeed);
  ASSERT_TRUE(pts[2].dwFlags & gfCourse);
  EXPECT_NEAR(pts[2].course, 90.0, 0.01);
  EXPECT_FALSE(pts[2].dwFlags & gfAltitude);
  // speed again, but no vertical speed without the previous altitude
  EXPECT_TRUE(pts[3].dwFlags & gfSpeed);
  EXPECT_FALSE(pts[3].dwFlags & gfVerticalSpeed);
  EXPECT_TRUE(pts[3].dwFlags & gfDepth);
  EXPECT_FLOAT_EQ(pts[3].depth, 3.5f);
  EXPECT_TRUE(pts[3].dwFlags & gfWaterTemperature);
  EXPECT_FLOAT_EQ(pts[3].waterTemperature, 12.25f);
}

TEST(TrackFileTest, TracksFollowEachOtherAndRewindStartsOver) {
  GdbPoint a{10, 20}, b{11, 21}, c{12, 22};
  auto file = MakeGdb({{a, b}, {}, {c}}, "BaseCamp");
  std::unique_ptr<TrackFileReader> rd(CreateGdbTrackReader(file.data(), file.size()));
  auto pts = ReadAll(*rd);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_NEAR(pts[2].latitude, 12, 1e-5);
  GpsFix pt{};
  EXPECT_FALSE(rd->NextPoint(pt));
  rd->Rewind();
  ASSERT_TRUE(rd->NextPoint(pt));
  EXPECT_NEAR(pt.latitude, 10, 1e-5);
  EXPECT_FALSE(pt.dwFlags & gfCourse);  // previous point forgotten
}

TEST(TrackFileTest, PointRunningPastItsRecordIsNotUsed) {
  GdbPoint a{10, 20, true, 1}, b{11, 21, true, 2};
  // the record length says 3 bytes less than the last point needs
  auto file = MakeGdb({{a, b}}, "MapSource", 3);
  std::unique_ptr<TrackFileReader> rd(CreateGdbTrackReader(file.data(), file.size()));
  auto pts = ReadAll(*rd);
  EXPECT_EQ(pts.size(), 1u);
  // every truncation of the file reads without harm
  auto whole = MakeGdb({{a, b}, {a}});
  for (size_t cb = 0; cb <= whole.size(); ++cb) {
    std::vector<uint8_t> part(whole.begin(), whole.begin() + cb);
    std::unique_ptr<TrackFileReader> r(CreateGdbTrackReader(part.data(), part.size()));
    EXPECT_LE(ReadAll(*r).size(), 3u);
  }
}

TEST(TrackFileTest, ProbesAndFormatOrder) {
  auto gdb = MakeGdb({{GdbPoint{1, 2}}});
  ASSERT_GT(gdb.size(), 44u);
  EXPECT_TRUE(IsGdbFile(gdb.data(), gdb.size()));
  EXPECT_FALSE(IsMpsFile(gdb.data(), gdb.size()));
  EXPECT_FALSE(IsGdbFile(gdb.data(), 44));  // must be longer than 44 bytes
  size_t c;
  const TrackFileFormat* p = GetTrackFileFormats(c);
  ASSERT_EQ(c, 3u);
  EXPECT_EQ(p[0].idsName, 2271u);
  EXPECT_EQ(p[1].idsName, 2270u);
  EXPECT_EQ(p[2].idsName, 2272u);  // GPX
  EXPECT_FALSE(p[2].pfnProbe(gdb.data(), gdb.size()));
  EXPECT_TRUE(p[0].pfnProbe(gdb.data(), gdb.size()));
}

TEST(TrackFileTest, OpenTrackFileReportsFailures) {
  TrackOpenResult r;
  EXPECT_EQ(OpenTrackFile(u"/nonexistent/velmo/x.gdb", r), nullptr);
  EXPECT_EQ(r, torCannotOpen);
}

TEST(TrackFileTest, TheReadersAreTheTrackSourceOfPositioning) {
  // Without an opener installed no track opens.
  PfnOpenTrackSource pfnBefore = SetTrackSourceOpener(nullptr);
  std::string dir = VELMO_BINARY_DIR;
  std::u16string path = platform::Utf8ToU16((dir.empty() ? "" : dir + "/") + "track_source_test.gdb");
  auto gdb = MakeGdb({{GdbPoint{60.0, 30.0}, GdbPoint{60.001, 30.002}}});
  ASSERT_TRUE(platform::WriteFileAtomic(path.c_str(), gdb.data(), gdb.size()));
  EXPECT_EQ(OpenTrackSource(path.c_str()), nullptr);

  EXPECT_EQ(SetTrackSourceOpener(OpenTrackSourceFile), nullptr);
  EXPECT_EQ(OpenTrackSource(u"/nonexistent/velmo/x.gdb"), nullptr);
  CTrackSource* pSource = OpenTrackSource(path.c_str());
  ASSERT_NE(pSource, nullptr);
  GpsFix a, b, c, again;
  a.Start();
  ASSERT_TRUE(pSource->NextPoint(a));
  b.Start();
  ASSERT_TRUE(pSource->NextPoint(b));
  c.Start();
  EXPECT_FALSE(pSource->NextPoint(c));
  EXPECT_NEAR(a.latitude, 60.0, 1e-6);
  EXPECT_NEAR(b.longitude, 30.002, 1e-6);
  EXPECT_TRUE(b.Has(gfCourse));
  pSource->Rewind();
  again.Start();
  ASSERT_TRUE(pSource->NextPoint(again));
  EXPECT_NEAR(again.latitude, 60.0, 1e-6);
  EXPECT_FALSE(again.Has(gfCourse));  // the point before the rewind is forgotten
  pSource->Destroy();
  EXPECT_EQ(SetTrackSourceOpener(pfnBefore), OpenTrackSourceFile);
  platform::DeleteFilePath(path.c_str());
}

void CompareWithGpx(const char* pszFile, size_t cExpected) {
  std::string dir = std::string(VELMO_SHARED_DATA) + "/exchange/";
  gpxlite::Gpx gpx;
  if (!gpxlite::Load(dir + pszFile + ".gpsbabel.gpx", gpx)) GTEST_SKIP() << "no shared exchange data";
  std::vector<gpxlite::Point> expected;
  for (auto& t : gpx.tracks) expected.insert(expected.end(), t.begin(), t.end());
  ASSERT_EQ(expected.size(), cExpected);
  TrackOpenResult r;
  std::unique_ptr<TrackFileReader> rd(OpenTrackFile(platform::Utf8ToU16(dir + pszFile).c_str(), r));
  ASSERT_TRUE(rd) << r;
  auto pts = ReadAll(*rd);
  ASSERT_EQ(pts.size(), expected.size());
  for (size_t i = 0; i < pts.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(pts[i].latitude, expected[i].dLat, 1e-5);
    EXPECT_NEAR(pts[i].longitude, expected[i].dLon, 1e-5);
    EXPECT_EQ(bool(pts[i].dwFlags & gfAltitude), expected[i].fEle);
    if (expected[i].fEle) {
      EXPECT_NEAR(pts[i].altitude, expected[i].dEle, 0.01);
    }
    ASSERT_EQ(bool(pts[i].dwFlags & gfTime), expected[i].fTime);
    if (expected[i].fTime) {
      EXPECT_NEAR((pts[i].time - 25569.0) * 86400.0, double(expected[i].nTime), 0.01);
    }
  }
}

TEST(TrackFileTest, RealFilesGiveGpsbabelsTrackPoints) {
  CompareWithGpx("mps-track.mps", 64);
  CompareWithGpx("gdb-sample.gdb", 747);
  CompareWithGpx("gdb-sample2.gdb", 42);
  CompareWithGpx("gdb-sample.mps", 747);
  CompareWithGpx("gdb-sample-ver3.mps", 747);
}

}  // namespace
