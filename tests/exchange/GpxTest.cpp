#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "exchange/Gpx.h"
#include "exchange/TrackFile.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "tests/exchange/GpxLite.h"

using namespace exchange;

namespace {

const std::string c_strData = std::string(VELMO_SHARED_DATA) + "/exchange/";
const double c_dNow = 46365.5;  // 2026-12-09 12:00 UTC

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> data;
  platform::ReadWholeFile(platform::Utf8ToU16(path).c_str(), data);
  return data;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

bool HaveData() { return platform::FileExists(platform::Utf8ToU16(c_strData + "README.md").c_str()); }

bool HaveTool(const char* pszCommand) { return std::system(pszCommand) == 0; }

std::string Utf8(const std::u16string& s) { return platform::U16ToUtf8(s); }

std::string TempName(const char* pszName) {
#ifdef _WIN32
  const char* p = std::getenv("TEMP");
  std::string dir = std::string(p ? p : "C:") + "\\";
#else
  const char* p = std::getenv("TMPDIR");
  std::string dir = std::string(p ? p : "/tmp") + "/";
#endif
  static const unsigned s_nRun = unsigned(std::chrono::steady_clock::now().time_since_epoch().count());
  return dir + "velmo_gpx_" + std::to_string(s_nRun) + "_" + pszName;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
  ASSERT_TRUE(platform::WriteFileAtomic(platform::Utf8ToU16(path).c_str(), data.data(), data.size()));
}

template <class T>
std::vector<T*> FileOrder(T* pFirst) {
  std::vector<T*> v;
  for (T* p = pFirst; p; p = p->pNext) v.insert(v.begin(), p);
  return v;
}

ImportResult Import(PfnImport pfn, CWaypointStore& s, const std::vector<uint8_t>& data) {
  ImportResult r;
  ExchangeOptions opts = DefaultExchangeOptions(c_dNow);
  opts.nCodePage = 1252;
  pfn(s, data.data(), data.size(), opts, r);
  return r;
}

// A store with what GPX carries: UTF-8 texts, altitudes, times, symbols,
// a route over user waypoints, points made for it and a bare point.
void Fill(CWaypointStore& s) {
  Waypoint* a = s.NewWaypoint(30.3158, 59.9391, 46365.25, 15.5f, true, u"Дворцовая площадь");
  a->strDescription = u"Центр, <\"&'> \U0001F600";
  a->SetType(8);
  Waypoint* b = s.NewWaypoint(-0.1276, 51.5072, 0, 0, false, u"London");
  b->strDescription = u"line one\r\nline two";
  Waypoint* c = s.NewWaypoint(179.9999999, -89.5, 44000.125, -3.25f, true, u"Edge");
  Route* r = s.NewRoute(c_dNow, u"Маршрут 1");
  r->strText2 = u"через центр";
  s.InsertWaypoint(r, -1, a);
  s.InsertWaypoint(r, 0, b);
  Waypoint* m = s.NewWaypoint(2.35, 48.85, 46000, 35, true, u"Paris");
  m->dwFlags |= wfMadeForRoute;
  s.InsertWaypoint(r, 1, m);
  RoutePoint bare;
  bare.x = DegreesToStored(10.5);
  bare.y = DegreesToStored(45.25);
  r->points.push_back(bare);
  RecomputeRoute(*r);
  (void)c;
}

GpxDocument TrackDocument() {
  GpxDocument doc;
  GpxTrack t;
  t.strName = u"Утро";
  t.segments.resize(2);
  for (int i = 0; i < 5; ++i) {
    GpxPoint p;
    p.dLat = 55.75 + i * 0.001;
    p.dLon = 37.62 + i * 0.0005;
    p.fEle = i != 2;
    p.dEle = 150 + i;
    p.dTime = c_dNow + i / 86400.0;
    t.segments[i < 3 ? 0 : 1].push_back(p);
  }
  doc.tracks.push_back(t);
  return doc;
}

void ExpectSameWaypoint(const Waypoint& a, const Waypoint& b) {
  SCOPED_TRACE(Utf8(a.strName));
  EXPECT_EQ(a.strName, b.strName);
  EXPECT_EQ(a.strDescription, b.strDescription);
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.HasAltitude(), b.HasAltitude());
  if (a.HasAltitude()) {
    EXPECT_NEAR(a.fAltitude, b.fAltitude, 0.001);
  }
  EXPECT_NEAR(a.dTime, b.dTime, 0.5 / 86400);
  EXPECT_EQ(a.GetType(), b.GetType());
  EXPECT_EQ(a.dwFlags & wfMadeForRoute, b.dwFlags & wfMadeForRoute);
}

}  // namespace

// ------------------------------------------------------------ times

TEST(GpxTime, IsoTimesWithFractionsAndOffsets) {
  double d = 0;
  ASSERT_TRUE(ParseIsoTime("2026-12-09T12:00:00Z", d));
  EXPECT_DOUBLE_EQ(d, c_dNow);
  ASSERT_TRUE(ParseIsoTime("2026-12-09T15:30:00+03:30", d));
  EXPECT_DOUBLE_EQ(d, c_dNow);
  ASSERT_TRUE(ParseIsoTime("2026-12-09T07:00:00-0500", d));
  EXPECT_DOUBLE_EQ(d, c_dNow);
  ASSERT_TRUE(ParseIsoTime("2026-12-09T12:00:00.500Z", d));
  EXPECT_NEAR((d - c_dNow) * 86400, 0.5, 1e-4);
  ASSERT_TRUE(ParseIsoTime("1899-12-31T00:00:00Z", d));
  EXPECT_DOUBLE_EQ(d, 1.0);
  ASSERT_TRUE(ParseIsoTime("2024-02-29T00:00:00", d));  // no zone: UTC
  EXPECT_EQ(FormatIsoTime(d), "2024-02-29T00:00:00Z");
  for (const char* psz : {"", "2026-12-09", "2026-13-01T00:00:00Z", "2026-12-09T12:00Z", "2026-12-09T12:00:00Zx",
                          "26-12-09T12:00:00Z", "2026-12-09T12:00:00+3", "2026-12-09T12:00:00.Z"})
    EXPECT_FALSE(ParseIsoTime(psz, d)) << psz;
  // every second of a wide span comes back as written
  uint32_t seed = 7;
  for (int i = 0; i < 2000; ++i) {
    seed = seed * 1103515245 + 12345;
    double dDays = 1 + double(seed % 80000) + double((seed >> 7) % 86400) / 86400.0;
    std::string s = FormatIsoTime(dDays);
    ASSERT_TRUE(ParseIsoTime(s, d)) << s;
    EXPECT_NEAR(d, dDays, 0.5 / 86400) << s;
    EXPECT_EQ(FormatIsoTime(d), s);
  }
}

// ------------------------------------------------------------ reading

TEST(GpxRead, VersionsNamespacesAndForeignElements) {
  const char* pszGpx11 =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- made by hand -->\n"
      "<g:gpx version=\"1.1\" creator=\"x\" xmlns:g=\"http://www.topografix.com/GPX/1/1\" xmlns:e=\"urn:ext\">"
      "<g:metadata><g:name>not a waypoint</g:name></g:metadata>"
      "<g:wpt lat=\"59.5\" lon=\"30.25\"><g:ele>12.5</g:ele><g:time>2026-12-09T12:00:00Z</g:time>"
      "<g:name>A &amp; B</g:name><g:desc>only desc</g:desc><g:sym>waypoint</g:sym>"
      "<g:extensions><e:name>not the name</e:name><g:name>nor this</g:name></g:extensions></g:wpt>"
      "<e:wpt lat=\"1\" lon=\"1\"/>"
      "<g:rte><g:name>R</g:name><g:rtept lat=\"1\" lon=\"2\"><g:name><![CDATA[P<1>]]></g:name></g:rtept></g:rte>"
      "</g:gpx>";
  GpxDocument doc;
  ASSERT_TRUE(IsGpxFile(reinterpret_cast<const uint8_t*>(pszGpx11), std::strlen(pszGpx11)));
  ASSERT_TRUE(ReadGpx(reinterpret_cast<const uint8_t*>(pszGpx11), std::strlen(pszGpx11), doc));
  EXPECT_EQ(doc.nVersion, 11);
  ASSERT_EQ(doc.waypoints.size(), 1u);
  EXPECT_EQ(doc.waypoints[0].strName, u"A & B");
  EXPECT_EQ(doc.waypoints[0].strDescription, u"only desc");
  EXPECT_TRUE(doc.waypoints[0].fEle);
  EXPECT_DOUBLE_EQ(doc.waypoints[0].dEle, 12.5);
  EXPECT_DOUBLE_EQ(doc.waypoints[0].dTime, c_dNow);
  ASSERT_EQ(doc.routes.size(), 1u);
  ASSERT_EQ(doc.routes[0].points.size(), 1u);
  EXPECT_EQ(doc.routes[0].points[0].strName, u"P<1>");

  const char* pszGpx10 =
      "<gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\"><time>2001-01-01T00:00:00Z</time>"
      "<trk><name>T</name><trkseg><trkpt lat=\"-33.9\" lon=\"180\"><course>12</course><speed>3</speed></trkpt>"
      "</trkseg></trk></gpx>";
  ASSERT_TRUE(ReadGpx(reinterpret_cast<const uint8_t*>(pszGpx10), std::strlen(pszGpx10), doc));
  EXPECT_EQ(doc.nVersion, 10);
  ASSERT_EQ(doc.tracks.size(), 1u);
  ASSERT_EQ(doc.tracks[0].segments.size(), 1u);
  ASSERT_EQ(doc.tracks[0].segments[0].size(), 1u);
  EXPECT_EQ(doc.tracks[0].segments[0][0].dLon, -180);  // the same meridian, in range
  EXPECT_FALSE(doc.tracks[0].segments[0][0].fEle);

  // a symbol name matches whatever its case
  CWaypointStore s;
  Import(ImportGpxWaypoints, s, Bytes(pszGpx11));
  ASSERT_NE(s.FirstWaypoint(), nullptr);
  EXPECT_EQ(s.FirstWaypoint()->GetType(), c_nDefaultSymbol);
  EXPECT_EQ(FindSymbolByName(u"GAS STATION"), 8);
  EXPECT_EQ(GetSymbolGpxName(8), u"Gas station");
  EXPECT_EQ(FindSymbolByName(u"no such symbol"), -1);
}

TEST(GpxRead, DamagedFilesChangeNothing) {
  CWaypointStore source;
  Fill(source);
  std::vector<uint8_t> whole;
  ExportGpxRoutes(source, DefaultExchangeOptions(c_dNow), whole);
  const std::vector<std::string> bad = {
      "",
      "not xml at all",
      "<html><body>gpx</body></html>",
      "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lat=\"91\" lon=\"0\"/></gpx>",
      "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lon=\"0\"/></gpx>",
      "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lat=\"1,5\" lon=\"0\"/></gpx>",
      "<gpx xmlns=\"urn:other\"><wpt lat=\"1\" lon=\"0\"/></gpx>",
      "<gpx><wpt lat=\"1\" lon=\"0\"></gpx>",
      // entity expansion is never done
      "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>"
      "<gpx><wpt lat=\"1\" lon=\"0\"><name>&b;</name></wpt></gpx>",
  };
  auto check = [&](const std::vector<uint8_t>& data, bool fWhole) {
    CWaypointStore s;
    Fill(s);
    size_t cWp = s.CountWaypoints(), cRt = s.CountRoutes();
    ImportResult r = Import(ImportGpxRoutes, s, data);
    if (fWhole) {
      EXPECT_FALSE(r.fRefused);
      EXPECT_EQ(s.CountRoutes(), cRt + 1);
    } else {
      EXPECT_TRUE(r.fRefused);
      EXPECT_EQ(r.idsMessage, c_idsGpxDamaged);
      EXPECT_EQ(s.CountWaypoints(), cWp);
      EXPECT_EQ(s.CountRoutes(), cRt);
      EXPECT_EQ(r.cWaypoints + r.cRoutes, 0);
    }
  };
  for (const std::string& str : bad) {
    SCOPED_TRACE(str);
    check(Bytes(str), false);
  }
  // every cut of a whole file is refused: the end tag of <gpx> is missing
  for (size_t cb = 0; cb + 8 < whole.size(); cb += 1 + cb / 40) {
    SCOPED_TRACE(cb);
    check(std::vector<uint8_t>(whole.begin(), whole.begin() + cb), false);
  }
  check(whole, true);
  // flipped bits: whatever is made of them, no crash, and a refusal leaves the store alone
  uint32_t seed = 99;
  for (int n = 0; n < 300; ++n) {
    std::vector<uint8_t> data = whole;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245 + 12345;
      data[(seed >> 8) % data.size()] ^= uint8_t(1 << ((seed >> 4) & 7));
    }
    CWaypointStore s;
    ImportResult r = Import(ImportGpxRoutes, s, data);
    if (r.fRefused) {
      EXPECT_EQ(s.CountWaypoints() + s.CountRoutes(), 0u);
    }
  }
}

// ------------------------------------------------------------ round trips

TEST(GpxRoundTrip, RouteExportedAndImportedIsUnchanged) {
  CWaypointStore s;
  Fill(s);
  Waypoint* pDeleted = s.NewWaypoint(1, 1, 0, 0, false, u"gone");
  pDeleted->dwFlags |= wfDeleted;
  std::vector<uint8_t> gpx;
  ExportGpxRoutes(s, DefaultExchangeOptions(c_dNow), gpx);
  CWaypointStore t;
  ImportResult r = Import(ImportGpxRoutes, t, gpx);
  EXPECT_FALSE(r.fRefused);
  EXPECT_EQ(r.idsMessage, c_idsImportedRoutes);
  EXPECT_EQ(r.cRoutes, 1);
  EXPECT_EQ(r.cWaypoints, 4);  // three user waypoints and the one made for the route
  // the export lists the store's order, the import puts each new record
  // at the head: the imported file order is the exported store order
  std::vector<Waypoint*> a, b;
  for (Waypoint* p = s.FirstWaypoint(); p; p = p->pNext)
    if (!p->IsDeleted()) a.push_back(p);
  b = FileOrder(t.FirstWaypoint());
  ASSERT_EQ(a.size(), b.size());
  // user waypoints first in both, the route's own one after
  std::vector<Waypoint*> bUser, bRoute;
  for (Waypoint* p : b) ((p->dwFlags & wfMadeForRoute) ? bRoute : bUser).push_back(p);
  std::vector<Waypoint*> aUser, aRoute;
  for (Waypoint* p : a) ((p->dwFlags & wfMadeForRoute) ? aRoute : aUser).push_back(p);
  ASSERT_EQ(aUser.size(), bUser.size());
  for (size_t i = 0; i < aUser.size(); ++i) ExpectSameWaypoint(*aUser[i], *bUser[i]);
  ASSERT_EQ(aRoute.size(), bRoute.size());
  for (size_t i = 0; i < aRoute.size(); ++i) ExpectSameWaypoint(*aRoute[i], *bRoute[i]);

  Route* ra = s.FirstRoute();
  Route* rb = t.FirstRoute();
  ASSERT_NE(rb, nullptr);
  EXPECT_EQ(rb->strName, ra->strName);
  EXPECT_EQ(rb->strText2, ra->strText2);
  ASSERT_EQ(rb->points.size(), ra->points.size());
  for (size_t i = 0; i < ra->points.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rb->points[i].GetX(), ra->points[i].GetX());
    EXPECT_EQ(rb->points[i].GetY(), ra->points[i].GetY());
    ASSERT_EQ(rb->points[i].pWaypoint != nullptr, ra->points[i].pWaypoint != nullptr);
    if (ra->points[i].pWaypoint) ExpectSameWaypoint(*ra->points[i].pWaypoint, *rb->points[i].pWaypoint);
  }
  // route points refer to the imported user waypoints, not to copies
  EXPECT_EQ(rb->points[0].pWaypoint->cRoutePoints, 1u);
  EXPECT_EQ(GetRouteLength(*rb), GetRouteLength(*ra));
}

TEST(GpxRoundTrip, TracksThroughTheMpsTrackReader) {
  GpxDocument doc = TrackDocument();
  std::vector<uint8_t> gpx;
  WriteGpx(doc, c_dNow, gpx);
  std::unique_ptr<TrackFileReader> pReader(CreateGpxTrackReader(gpx.data(), gpx.size()));
  ASSERT_TRUE(pReader);
  std::vector<GpxPoint> points;
  for (const auto& seg : doc.tracks[0].segments) points.insert(points.end(), seg.begin(), seg.end());
  for (size_t i = 0; i < points.size(); ++i) {
    GpsFix fix{};
    ASSERT_TRUE(pReader->NextPoint(fix));
    EXPECT_NEAR(pReader->LastLatitude(), points[i].dLat, 1e-7);
    EXPECT_NEAR(pReader->LastLongitude(), points[i].dLon, 1e-7);
    EXPECT_EQ(fix.Has(gfAltitude), points[i].fEle);
    ASSERT_TRUE(fix.Has(gfTime));
    EXPECT_NEAR(fix.time, points[i].dTime, 0.5 / 86400);
    if (i > 0) {
      EXPECT_TRUE(fix.Has(gfSpeed));
    }
  }
  GpsFix fix{};
  EXPECT_FALSE(pReader->NextPoint(fix));
  std::vector<GpxTrack> tracks;
  ASSERT_TRUE(ReadTracks(gpx.data(), gpx.size(), 1251, tracks));
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0].strName, u"Утро");
  // the import hands the tracks over as a track file of the recorder's layout
  CWaypointStore s;
  ImportResult r = Import(ImportGpxRoutes, s, gpx);
  EXPECT_EQ(r.cTracks, 1);
  std::vector<GpxTrack> fromMps;
  ASSERT_TRUE(ReadTracks(r.trackFile.data(), r.trackFile.size(), 1251, fromMps));
  ASSERT_EQ(fromMps.size(), 1u);
  ASSERT_EQ(fromMps[0].segments.size(), 1u);
  EXPECT_EQ(fromMps[0].segments[0].size(), 5u);
  EXPECT_EQ(fromMps[0].strName, u"Утро");
}

// ------------------------------------------------------------ real files

// gpsbabel's GPX renderings of the MapSource and OziExplorer files import
// as the files themselves do: the same waypoints, route points, names,
// positions, altitudes and times.
TEST(GpxRealFiles, GpsbabelRenderingsImportLikeTheirSources) {
  if (!HaveData()) GTEST_SKIP() << "no shared exchange data";
  struct Source {
    const char* pszFile;
    PfnImport pfn;
  };
  const Source sources[] = {
      {"gdb-sample.gdb", ImportGdbRoutes},         {"gdb-sample2.gdb", ImportGdbRoutes},
      {"mapsource.mps", ImportMpsWaypoints},       {"route.mps", ImportMpsWaypoints},
      {"gdb-sample.mps", ImportMpsWaypoints},      {"ozi.wpt", ImportOziWaypoints},
      {"gdb-sample-v3-autoroute.wpt", ImportOziWaypoints}, {"ozi.rte", ImportOziRoutes},
      {"gdb-sample-v3-autoroute.rte", ImportOziRoutes},
  };
  for (const Source& src : sources) {
    SCOPED_TRACE(src.pszFile);
    CWaypointStore ours, theirs;
    ImportResult ro = Import(ImportGpxRoutes, ours, ReadBytes(c_strData + src.pszFile + ".gpsbabel.gpx"));
    ASSERT_FALSE(ro.fRefused);
    Import(src.pfn, theirs, ReadBytes(c_strData + src.pszFile));
    bool fRoutes = src.pfn != ImportMpsWaypoints;
    // waypoints of the file (route files: those made for their routes)
    std::vector<Waypoint*> a = FileOrder(ours.FirstWaypoint()), b = FileOrder(theirs.FirstWaypoint());
    if (!fRoutes) {
      // MPS routes are not imported from MPS files: leave out the GPX's route points
      std::vector<Waypoint*> v;
      for (Waypoint* p : a)
        if (!(p->dwFlags & wfMadeForRoute)) v.push_back(p);
      a = v;
    }
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    for (size_t i = 0; i < a.size(); ++i) {
      SCOPED_TRACE(Utf8(b[i]->strName));
      EXPECT_EQ(a[i]->strName, b[i]->strName);
      EXPECT_NEAR(StoredToDegrees(a[i]->y), StoredToDegrees(b[i]->y), 1e-6);
      EXPECT_NEAR(StoredToDegrees(a[i]->x), StoredToDegrees(b[i]->x), 1e-6);
      EXPECT_EQ(a[i]->HasAltitude(), b[i]->HasAltitude());
      if (a[i]->HasAltitude() && b[i]->HasAltitude()) {
        EXPECT_NEAR(a[i]->fAltitude, b[i]->fAltitude, 0.1);
      }
      // MPS waypoints take the import time; the others keep theirs
      // (OziExplorer dates are days with 7 decimals, GPX times whole seconds)
      if (src.pfn != ImportMpsWaypoints && a[i]->dTime != 0 && b[i]->dTime != 0)
        EXPECT_NEAR(a[i]->dTime, b[i]->dTime, 1.0 / 86400);
    }
    if (!fRoutes) continue;
    std::vector<Route*> ra = FileOrder(ours.FirstRoute()), rb = FileOrder(theirs.FirstRoute());
    ASSERT_EQ(ra.size(), rb.size());
    for (size_t k = 0; k < ra.size(); ++k) {
      EXPECT_EQ(ra[k]->strName, rb[k]->strName);
      std::vector<const Waypoint*> pa, pb;
      for (const RoutePoint& rp : ra[k]->points)
        if (rp.pWaypoint) pa.push_back(rp.pWaypoint);
      for (const RoutePoint& rp : rb[k]->points)
        if (rp.pWaypoint) pb.push_back(rp.pWaypoint);
      ASSERT_EQ(pa.size(), pb.size());
      for (size_t i = 0; i < pa.size(); ++i) {
        EXPECT_EQ(pa[i]->strName, pb[i]->strName);
        EXPECT_NEAR(StoredToDegrees(pa[i]->y), StoredToDegrees(pb[i]->y), 1e-6);
        EXPECT_NEAR(StoredToDegrees(pa[i]->x), StoredToDegrees(pb[i]->x), 1e-6);
      }
    }
  }
}

// Tracks of GPX files replay as those of the MapSource files they were made from.
TEST(GpxRealFiles, TracksMatchTheMapSourceTracks) {
  if (!HaveData()) GTEST_SKIP() << "no shared exchange data";
  for (const char* pszFile : {"mps-track.mps", "gdb-sample.gdb", "gdb-sample2.gdb", "gdb-sample.mps"}) {
    SCOPED_TRACE(pszFile);
    std::vector<uint8_t> ms = ReadBytes(c_strData + pszFile);
    std::vector<uint8_t> gpx = ReadBytes(c_strData + pszFile + ".gpsbabel.gpx");
    std::vector<GpxTrack> a, b;
    ASSERT_TRUE(ReadTracks(gpx.data(), gpx.size(), 1252, a));
    ASSERT_TRUE(ReadTracks(ms.data(), ms.size(), 1252, b));
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    for (size_t k = 0; k < a.size(); ++k) {
      std::vector<GpxPoint> pa, pb;
      for (const auto& seg : a[k].segments) pa.insert(pa.end(), seg.begin(), seg.end());
      for (const auto& seg : b[k].segments) pb.insert(pb.end(), seg.begin(), seg.end());
      ASSERT_EQ(pa.size(), pb.size());
      for (size_t i = 0; i < pa.size(); ++i) {
        EXPECT_NEAR(pa[i].dLat, pb[i].dLat, 1e-6);
        EXPECT_NEAR(pa[i].dLon, pb[i].dLon, 1e-6);
        EXPECT_EQ(pa[i].fEle, pb[i].fEle);
        if (pa[i].fEle) {
          EXPECT_NEAR(pa[i].dEle, pb[i].dEle, 0.01);
        }
        EXPECT_NEAR(pa[i].dTime, pb[i].dTime, 0.5 / 86400);
      }
    }
  }
}

// ------------------------------------------------------------ outside checkers

// What we write is valid GPX 1.1 (the schema kept beside this test) and
// gpsbabel reads back the same points.
TEST(GpxOracle, SchemaValidAndGpsbabelReadsItBack) {
  CWaypointStore s;
  Fill(s);
  GpxDocument doc;
  StoreToGpx(s, true, doc);
  GpxDocument tracks = TrackDocument();
  doc.tracks = tracks.tracks;
  std::vector<uint8_t> gpx;
  WriteGpx(doc, c_dNow, gpx);
  std::string path = TempName("schema.gpx");
  WriteBytes(path, gpx);

  if (!HaveTool("xmllint --version >/dev/null 2>&1")) {
#ifdef _WIN32
    GTEST_SKIP() << "xmllint is a tool of the build machine";
#else
    ADD_FAILURE() << "xmllint is missing (package libxml2-utils)";
#endif
  } else {
    std::string cmd = std::string("xmllint --noout --nonet --schema '") + VELMO_SOURCE_DIR +
                      "/tests/exchange/gpx11.xsd' '" + path + "' 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  if (!HaveTool("gpsbabel -V >/dev/null 2>&1")) GTEST_SKIP() << "gpsbabel is not installed";
  std::string back = TempName("back.gpx");
  std::string cmd = "gpsbabel -w -r -t -i gpx -f '" + path + "' -o gpx -F '" + back + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  gpxlite::Gpx g;
  ASSERT_TRUE(gpxlite::Load(back, g));
  ASSERT_EQ(g.waypoints.size(), doc.waypoints.size());
  for (size_t i = 0; i < doc.waypoints.size(); ++i) {
    EXPECT_EQ(g.waypoints[i].strName, Utf8(doc.waypoints[i].strName));
    EXPECT_NEAR(g.waypoints[i].dLat, doc.waypoints[i].dLat, 1e-9);
    EXPECT_NEAR(g.waypoints[i].dLon, doc.waypoints[i].dLon, 1e-9);
    EXPECT_EQ(g.waypoints[i].fTime, doc.waypoints[i].dTime != 0);
  }
  ASSERT_EQ(g.routes.size(), 1u);
  ASSERT_EQ(g.routes[0].points.size(), doc.routes[0].points.size());
  EXPECT_EQ(g.routes[0].strName, Utf8(doc.routes[0].strName));
  for (size_t i = 0; i < doc.routes[0].points.size(); ++i) {
    EXPECT_NEAR(g.routes[0].points[i].dLat, doc.routes[0].points[i].dLat, 1e-9);
    EXPECT_NEAR(g.routes[0].points[i].dLon, doc.routes[0].points[i].dLon, 1e-9);
  }
  ASSERT_EQ(g.tracks.size(), 1u);
  ASSERT_EQ(g.tracks[0].size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    const GpxPoint& p = doc.tracks[0].segments[i < 3 ? 0 : 1][i < 3 ? i : i - 3];
    EXPECT_NEAR(g.tracks[0][i].dLat, p.dLat, 1e-9);
    EXPECT_EQ(g.tracks[0][i].fEle, p.fEle);
    EXPECT_EQ(g.tracks[0][i].nTime, (long long)std::floor((p.dTime - 25569.0) * 86400.0 + 0.5));
  }
  std::remove(path.c_str());
  std::remove(back.c_str());
}
