#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/Str.h"
#include "store/Bytes.h"
#include "store/WaypointStore.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

// A name of this run's own in the temporary folder.
std::u16string TempPath(const char* pszName) {
#ifdef _WIN32
  const char* p = std::getenv("TEMP");
  std::string dir = p ? p : "C:\\";
#else
  const char* p = std::getenv("TMPDIR");
  std::string dir = p ? p : "/tmp";
#endif
  static const unsigned s_nRun = unsigned(std::chrono::steady_clock::now().time_since_epoch().count());
  return platform::JoinPath(platform::Utf8ToU16(dir),
                            platform::Utf8ToU16("velmo_store_" + std::to_string(s_nRun) + "_" + pszName));
}

std::vector<Waypoint*> Waypoints(const CWaypointStore& s) {
  std::vector<Waypoint*> v;
  for (Waypoint* p = s.FirstWaypoint(); p; p = p->pNext) v.push_back(p);
  return v;
}
std::vector<Route*> Routes(const CWaypointStore& s) {
  std::vector<Route*> v;
  for (Route* p = s.FirstRoute(); p; p = p->pNext) v.push_back(p);
  return v;
}

void Reload(CWaypointStore& from, CWaypointStore& to, bool fNavigation = false) {
  std::vector<uint8_t> data;
  from.Save(data);
  to.Clear();
  ASSERT_EQ(to.Load(data.data(), data.size(), fNavigation), slrLoaded);
}

RoutePoint CoordPoint(double dLon, double dLat, uint8_t btKind = rpkVia) {
  RoutePoint rp;
  rp.x = DegreesToStored(dLon);
  rp.y = DegreesToStored(dLat);
  rp.btKind = btKind;
  return rp;
}

TEST(WaypointStoreFile, WithoutRoutesWritesWrHeaderAndReadsToTheEnd) {
  CWaypointStore s;
  s.NewWaypoint(30.5, 59.9, 45000.25, 12.5f, true, u"A");
  s.NewWaypoint(-0.1, 51.5, 0, 0, false);
  std::vector<uint8_t> data;
  s.Save(data);
  ASSERT_GE(data.size(), 5u);
  EXPECT_EQ(std::string(data.begin(), data.begin() + 2), "WR");
  EXPECT_EQ(data[2], 2);
  EXPECT_EQ(data[3], 40);
  EXPECT_EQ(data[4], 4);
  // 40-byte record and four texts per waypoint, nothing else
  EXPECT_EQ(data.size(), 5u + 2 * (40 + 16) + 2 * 1 + 2 * 3);

  CWaypointStore t;
  ASSERT_EQ(t.Load(data.data(), data.size(), false), slrLoaded);
  auto v = Waypoints(t);
  ASSERT_EQ(v.size(), 2u);
  // file order is list order; loading puts each at the head
  EXPECT_EQ(v[0]->strName, u"A");
  EXPECT_EQ(v[1]->strName, u"001");
  EXPECT_FALSE(v[1]->HasAltitude());
  EXPECT_NEAR(StoredToDegrees(v[0]->x), 30.5, 1e-7);
  EXPECT_NEAR(StoredToDegrees(v[0]->y), 59.9, 1e-7);
  EXPECT_EQ(v[0]->dTime, 45000.25);
  EXPECT_EQ(v[0]->fAltitude, 12.5f);
  EXPECT_EQ(v[0]->GetShow(), unsigned(wsIconAndName));
  EXPECT_EQ(v[0]->GetType(), 18u);
}

TEST(WaypointStoreFile, EveryFieldSurvivesTwoCyclesInTheSameOrder) {
  CWaypointStore s;
  Waypoint* a = s.NewWaypoint(10, 20, 1.5, 100, true, u"Alpha");
  a->dwFlags |= wfDepth | wfWaterTemperature;
  a->fDepth = 7.25f;
  a->fWaterTemperature = 18.5f;
  a->fProximity = 250;
  a->SetType(0x3ABC);
  a->SetShow(wsIconAndDesc);
  a->btAttribute = 0x5A;
  a->strDescription = u"Кафе, \"у моста\"";
  a->strText3 = u"t3";
  a->strText4 = u"t4";
  Waypoint* b = s.NewWaypoint(11, 21, 0, 0, false, u"Beta");
  s.NewWaypoint(12, 22, 0, 0, false, u"Gamma");

  Route* r1 = s.NewRoute(44000.5, u"Home");
  r1->crColor = 0x123456;
  r1->strText2 = u"second";
  r1->strText3 = u"third";
  ASSERT_TRUE(s.InsertWaypoint(r1, -1, a));
  ASSERT_TRUE(s.InsertWaypoint(r1, 0, b));
  RoutePoint rp = CoordPoint(11.5, 21.5, rpkRouter | rpkManeuver | rpkRoundaboutEntry);
  rp.strLabel = u"Невский проспект";
  rp.nValue = 300;
  rp.btParameter = 3;
  rp.btSpeed = 5;
  rp.btQuality = 6;
  rp.btStorage = 0x08;  // the router asked for the speed byte
  r1->points.insert(r1->points.begin() + 1, rp);
  RoutePoint small = CoordPoint(11.6, 21.6, rpkRouter | rpkKeep);
  small.nValue = 7;
  r1->points.push_back(small);
  Route* r2 = s.NewRoute(44001, u"Other");
  ASSERT_TRUE(s.InsertWaypoint(r2, -1, a));
  ASSERT_EQ(a->cRoutePoints, 2u);

  auto before = Waypoints(s);
  std::vector<std::u16string> names, routeNames;
  for (auto* p : before) names.push_back(p->strName);
  for (auto* p : Routes(s)) routeNames.push_back(p->strName);

  CWaypointStore once, twice;
  Reload(s, once);
  // one cycle reverses the lists
  EXPECT_EQ(Waypoints(once).front()->strName, names.back());
  Reload(once, twice);
  auto after = Waypoints(twice);
  ASSERT_EQ(after.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(after[i]->strName, names[i]);
  auto routes = Routes(twice);
  ASSERT_EQ(routes.size(), 2u);
  EXPECT_EQ(routes[0]->strName, routeNames[0]);
  EXPECT_EQ(routes[1]->strName, routeNames[1]);

  Waypoint* a2 = after[2];
  ASSERT_EQ(a2->strName, u"Alpha");
  EXPECT_EQ(std::memcmp(static_cast<const store::detail::WaypointRecord*>(a2),
                        static_cast<const store::detail::WaypointRecord*>(a), 40),
            0);
  EXPECT_EQ(a2->strDescription, a->strDescription);
  EXPECT_EQ(a2->strText3, u"t3");
  EXPECT_EQ(a2->strText4, u"t4");
  EXPECT_EQ(a2->GetType(), 0x3ABCu);
  EXPECT_EQ(a2->GetShow(), unsigned(wsIconAndDesc));
  EXPECT_EQ(a2->cRoutePoints, 2u);

  Route* h = routes[1];
  ASSERT_EQ(h->strName, u"Home");
  EXPECT_EQ(h->crColor, 0x123456u);
  EXPECT_EQ(h->dTime, 44000.5);
  EXPECT_EQ(h->strText2, u"second");
  EXPECT_EQ(h->strText3, u"third");
  ASSERT_EQ(h->points.size(), 4u);
  EXPECT_EQ(h->points[0].pWaypoint, a2);
  EXPECT_EQ(h->points[0].btKind, rpkVia);
  const RoutePoint& m = h->points[1];
  EXPECT_EQ(m.pWaypoint, nullptr);
  EXPECT_EQ(m.strLabel, u"Невский проспект");
  EXPECT_EQ(m.nValue, 300);
  EXPECT_EQ(m.btParameter, 3);
  EXPECT_EQ(m.btSpeed, 5);
  EXPECT_EQ(m.btQuality, 6);
  EXPECT_EQ(m.btKind, rpkRouter | rpkManeuver | rpkRoundaboutEntry);
  EXPECT_EQ(m.x, rp.x);
  EXPECT_EQ(m.y, rp.y);
  EXPECT_EQ(h->points[2].pWaypoint->strName, u"Beta");
  EXPECT_EQ(h->points[3].nValue, 7);
  EXPECT_EQ(h->points[3].btKind, rpkRouter | rpkKeep);
}

TEST(WaypointStoreFile, StorageFlagsAndValueWidths) {
  CWaypointStore s;
  Route* r = s.NewRoute(1, u"R");
  RoutePoint big = CoordPoint(1, 1, rpkRouter);
  big.nValue = 300;
  RoutePoint seven = CoordPoint(2, 2);  // a user point: no kind byte
  seven.nValue = 7;
  r->points = {big, seven};
  std::vector<uint8_t> data;
  s.Save(data);
  // header 15, record 16, texts "R", "" and "" 14, point count 4
  size_t off = 15 + 16 + 14 + 4;
  ASSERT_GT(data.size(), off);
  EXPECT_EQ(data[off], 0x02 | 0x04 | 0x40);
  EXPECT_EQ(data[off + 9], rpkRouter);
  EXPECT_EQ(store::CByteReader::GetLe32(&data[off + 10]), 300u);
  off += 1 + 8 + 1 + 4;
  EXPECT_EQ(data[off], 0x02 | 0x20);
  EXPECT_EQ(data[off + 9], 7);
  EXPECT_EQ(data.size(), off + 10);

  CWaypointStore t;
  ASSERT_EQ(t.Load(data.data(), data.size(), false), slrLoaded);
  ASSERT_EQ(t.FirstRoute()->points.size(), 2u);
  EXPECT_EQ(t.FirstRoute()->points[1].btKind, rpkVia);
  EXPECT_EQ(t.FirstRoute()->points[1].nValue, 7);
  EXPECT_EQ(t.FirstRoute()->points[0].nValue, 300);
}

// Keep points carry their side through a save and a load; a keep-left point
// and a roundabout entry are stored as files have always stored them, and a
// file written without keep sides reads the same as before.
TEST(WaypointStoreFile, KeepSideSurvivesAndOldFilesReadTheSame) {
  CWaypointStore s;
  Route* r = s.NewRoute(1, u"R");
  RoutePoint right = CoordPoint(1, 1, rpkRouter | rpkManeuver | rpkKeep);
  right.btParameter = 1;
  RoutePoint left = CoordPoint(2, 2, rpkRouter | rpkManeuver | rpkKeep);
  RoutePoint round = CoordPoint(3, 3, rpkRouter | rpkManeuver | rpkRoundaboutEntry | rpkKeep);
  round.btParameter = 3;
  RoutePoint plain = CoordPoint(4, 4, rpkRouter);
  plain.btParameter = 9;  // no meaning without keep or roundabout: not stored
  r->points = {right, left, round, plain};
  std::vector<uint8_t> data;
  s.Save(data);
  size_t off = 15 + 16 + 14 + 4;
  ASSERT_GT(data.size(), off + 11);
  EXPECT_EQ(data[off], 0x02 | 0x04 | 0x80);
  EXPECT_EQ(data[off + 10], 1);
  off += 11;
  EXPECT_EQ(data[off], 0x02 | 0x04);  // keep left: no extra byte
  off += 10;
  EXPECT_EQ(data[off], 0x02 | 0x04);  // roundabout: its byte as always
  EXPECT_EQ(data[off + 10], 3);
  off += 11;
  EXPECT_EQ(data[off], 0x02 | 0x04);
  EXPECT_EQ(data.size(), off + 10);

  CWaypointStore t;
  Reload(s, t);
  CWaypointStore u;
  Reload(t, u);
  const std::vector<RoutePoint>& pts = u.FirstRoute()->points;
  ASSERT_EQ(pts.size(), 4u);
  EXPECT_EQ(pts[0].btParameter, 1);
  EXPECT_EQ(pts[0].btKind, rpkRouter | rpkManeuver | rpkKeep);
  EXPECT_EQ(pts[1].btParameter, 0);
  EXPECT_EQ(pts[2].btParameter, 3);
  EXPECT_EQ(pts[3].btParameter, 0);
  EXPECT_EQ(pts[3].x, DegreesToStored(4));

  // As written before keep sides were stored: a keep point is followed at
  // once by the next point.
  std::vector<uint8_t> old;
  store::CByteWriter w(old);
  w.Bytes("RW", 2);
  w.Byte(12);
  w.Byte(40);
  w.Byte(4);
  w.Dword(0);
  w.Byte(16);
  w.Byte(3);
  w.Dword(1);
  store::detail::RouteRecord rr = {};
  w.Bytes(&rr, 16);
  for (int i = 0; i < 3; ++i) w.Dword(0);
  w.Dword(2);
  w.Byte(0x02 | 0x04); w.Int(100); w.Int(200); w.Byte(rpkRouter | rpkManeuver | rpkKeep);
  w.Byte(0x02 | 0x04 | 0x20); w.Int(300); w.Int(400); w.Byte(rpkRouter); w.Byte(5);
  CWaypointStore v;
  ASSERT_EQ(v.Load(old.data(), old.size(), false), slrLoaded);
  ASSERT_EQ(v.FirstRoute()->points.size(), 2u);
  EXPECT_EQ(v.FirstRoute()->points[0].btParameter, 0);
  EXPECT_EQ(v.FirstRoute()->points[1].x, 300);
  EXPECT_EQ(v.FirstRoute()->points[1].y, 400);
  EXPECT_EQ(v.FirstRoute()->points[1].nValue, 5);
  // Saved again, the file is byte for byte what it was.
  std::vector<uint8_t> again;
  v.Save(again);
  EXPECT_EQ(again, old);
}

// A hand-made file with a longer header, longer records and extra texts.
std::vector<uint8_t> MakeWideFile(uint32_t nOrdinal) {
  std::vector<uint8_t> buf;
  store::CByteWriter w(buf);
  w.Bytes("RW", 2);
  w.Byte(14);  // two header bytes more than today
  w.Byte(48);  // waypoint records 8 bytes longer
  w.Byte(6);   // six texts per waypoint
  w.Dword(2);
  w.Byte(20);  // route records 4 bytes longer
  w.Byte(4);
  w.Dword(1);
  w.Word(0xBEEF);
  auto text = [&](const char16_t* psz) {
    std::u16string s = psz;
    w.Dword(uint32_t(s.size()));
    for (char16_t c : s) w.Word(c);
  };
  for (int i = 0; i < 2; ++i) {
    store::detail::WaypointRecord rec = {};
    rec.x = 1000 * (i + 1);
    rec.y = 2000 * (i + 1);
    rec.btRoutePoints = 77;  // stale: recounted
    w.Bytes(&rec, 40);
    w.Repeated(0xEE, 8);
    text(i ? u"second" : u"first");
    text(u"desc");
    text(u"");
    text(u"four");
    text(u"extra five");
    text(u"extra six");
  }
  store::detail::RouteRecord rr = {};
  rr.dwFlags = 0x04;
  rr.crColor = 0xFF;
  w.Bytes(&rr, 16);
  w.Dword(0xDDDDDDDD);
  text(u"route");
  text(u"");
  text(u"");
  text(u"dropped");
  w.Dword(3);
  w.Byte(0x01); w.Dword(1);
  w.Byte(0x01); w.Dword(nOrdinal);
  w.Byte(0x01); w.Dword(1);
  return buf;
}

TEST(WaypointStoreFile, LongerRecordsAndExtraTextsAreSkipped) {
  auto buf = MakeWideFile(0);
  CWaypointStore s;
  ASSERT_EQ(s.Load(buf.data(), buf.size(), true), slrLoaded);
  auto v = Waypoints(s);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0]->strName, u"second");
  EXPECT_EQ(v[0]->x, 2000);
  EXPECT_EQ(v[0]->strText4, u"four");
  EXPECT_EQ(v[1]->strName, u"first");
  EXPECT_EQ(v[0]->cRoutePoints, 2u);
  EXPECT_EQ(v[0]->btRoutePoints, 2);
  EXPECT_EQ(v[1]->cRoutePoints, 1u);
  Route* r = s.FirstRoute();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->strName, u"route");
  EXPECT_EQ(r->crColor, 0xFFu);
  ASSERT_EQ(r->points.size(), 3u);
  EXPECT_EQ(r->points[1].pWaypoint, v[1]);
  // the active flag with Navigation on makes it the active route
  EXPECT_EQ(s.ActiveRoute(), r);

  CWaypointStore off;
  ASSERT_EQ(off.Load(buf.data(), buf.size(), false), slrLoaded);
  EXPECT_EQ(off.ActiveRoute(), nullptr);
}

TEST(WaypointStoreFile, OrdinalOutOfRangeLoadsWithoutWaypoint) {
  auto buf = MakeWideFile(2);
  CWaypointStore s;
  ASSERT_EQ(s.Load(buf.data(), buf.size(), false), slrLoaded);
  Route* r = s.FirstRoute();
  ASSERT_EQ(r->points.size(), 3u);
  EXPECT_EQ(r->points[1].pWaypoint, nullptr);
  EXPECT_EQ(Waypoints(s)[1]->cRoutePoints, 0u);
}

TEST(WaypointStoreFile, DamagedAndTruncatedFiles) {
  CWaypointStore s;
  const uint8_t bad[] = {'X', 'Y', 2, 40, 4};
  EXPECT_EQ(s.Load(bad, sizeof bad, false), slrDamaged);
  EXPECT_EQ(s.FirstWaypoint(), nullptr);
  EXPECT_EQ(s.Load(bad, 1, false), slrDamaged);
  const uint8_t shortRecords[] = {'W', 'R', 2, 39, 4};
  EXPECT_EQ(s.Load(shortRecords, sizeof shortRecords, false), slrDamaged);

  // every truncation of a good file: no crash, what was whole is kept
  auto buf = MakeWideFile(1);
  for (size_t cb = 0; cb < buf.size(); ++cb) {
    CWaypointStore t;
    EXPECT_EQ(t.Load(buf.data(), cb, false), slrDamaged) << cb;
    for (Route* r = t.FirstRoute(); r; r = r->pNext) EXPECT_EQ(r->points.size(), 3u);
  }
  // a huge point count in a short file
  CWaypointStore u;
  std::vector<uint8_t> data;
  Route* r = u.NewRoute(0, u"r");
  r->points.push_back(CoordPoint(1, 1));
  u.Save(data);
  store::CByteWriter(data).PatchDword(15 + 16 + 14, 0x7FFFFFFF);
  CWaypointStore t;
  EXPECT_EQ(t.Load(data.data(), data.size(), false), slrDamaged);
  EXPECT_EQ(t.FirstRoute(), nullptr);
}

TEST(WaypointStoreFile, DamagedFileIsKeptAsideAndNotOverwritten) {
  std::u16string path = TempPath("damaged.bin");
  const char junk[] = "this is not a store";
  ASSERT_TRUE(platform::WriteFileAtomic(path.c_str(), junk, sizeof junk));
  CWaypointStore s;
  std::u16string kept;
  EXPECT_EQ(s.LoadFile(path.c_str(), false, &kept), slrDamaged);
  ASSERT_FALSE(kept.empty());
  EXPECT_FALSE(platform::FileExists(path.c_str()));
  s.NewWaypoint(1, 2, 0, 0, false);
  ASSERT_TRUE(s.SaveFile(path.c_str()));
  std::vector<uint8_t> data;
  ASSERT_TRUE(platform::ReadWholeFile(kept.c_str(), data));
  EXPECT_EQ(std::string(data.begin(), data.end()), std::string(junk, sizeof junk));
  CWaypointStore t;
  EXPECT_EQ(t.LoadFile(path.c_str(), false), slrLoaded);
  EXPECT_EQ(t.CountWaypoints(), 1u);
  platform::DeleteFilePath(path.c_str());
  platform::DeleteFilePath(kept.c_str());
  EXPECT_EQ(t.LoadFile(path.c_str(), false), slrMissing);
}

#ifndef _WIN32
TEST(WaypointStoreFile, SaveFailingHalfWayLeavesThePreviousFile) {
  std::u16string path = TempPath("atomic.bin");
  CWaypointStore s;
  s.NewWaypoint(1, 2, 0, 0, false, u"old");
  ASSERT_TRUE(s.SaveFile(path.c_str()));
  std::vector<uint8_t> before;
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), before));

  for (int i = 0; i < 2000; ++i) s.NewWaypoint(i * 0.01, 50, 0, 0, false);
  std::vector<uint8_t> full;
  s.Save(full);
  // the file system refuses to write beyond half of the new store
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  void (*pfnOld)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit lim = old;
  lim.rlim_cur = full.size() / 2;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
  bool fSaved = s.SaveFile(path.c_str());
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, pfnOld);
  EXPECT_FALSE(fSaved);

  std::vector<uint8_t> after;
  ASSERT_TRUE(platform::ReadWholeFile(path.c_str(), after));
  EXPECT_EQ(after, before);
  CWaypointStore t;
  EXPECT_EQ(t.LoadFile(path.c_str(), false), slrLoaded);
  EXPECT_EQ(t.CountWaypoints(), 1u);
  platform::DeleteFilePath(path.c_str());
}
#endif

TEST(WaypointStoreNames, GeneratedNamesFillGaps) {
  CWaypointStore s;
  s.NewWaypoint(0, 0, 0, 0, false, u"001");
  Waypoint* p3 = s.NewWaypoint(0, 0, 0, 0, false, u"003");
  EXPECT_EQ(s.NewWaypoint(0, 0, 0, 0, false)->strName, u"002");
  EXPECT_EQ(s.MakeWaypointName(), u"004");
  p3->dwFlags |= wfDeleted;  // a deleted waypoint frees its name
  EXPECT_EQ(s.MakeWaypointName(), u"003");

  EXPECT_EQ(s.NewRoute(0)->strName, u"001");
  EXPECT_EQ(s.NewRoute(0)->strName, u"002");
  EXPECT_EQ(s.MakeRouteName(u"N"), u"N");
  s.NewRoute(0, u"N");
  EXPECT_EQ(s.MakeRouteName(u"N"), u"N (1)");
  s.NewRoute(0, s.MakeRouteName(u"N").c_str());
  EXPECT_EQ(s.MakeRouteName(u"N"), u"N (2)");
  Route* pNew = s.NewRoute(0);
  EXPECT_EQ(pNew->crColor, c_crNewRoute);
}

TEST(WaypointStoreEditing, PointsAndReferenceCounts) {
  CWaypointStore s;
  Waypoint* a = s.NewWaypoint(30.0, 60.0, 0, 0, false, u"a");
  Waypoint* b = s.NewWaypoint(30.1, 60.0, 0, 0, false, u"b");
  Waypoint* c = s.NewWaypoint(30.1, 60.1, 0, 0, false, u"c");
  Route* r = s.NewRoute(0);
  ASSERT_TRUE(s.InsertWaypoint(r, -1, a));
  ASSERT_TRUE(s.InsertWaypoint(r, 0, c));
  ASSERT_TRUE(s.InsertWaypoint(r, 0, b));  // a b c
  EXPECT_FALSE(s.InsertWaypoint(r, 3, a));
  ASSERT_EQ(r->points.size(), 3u);
  EXPECT_EQ(r->points[1].pWaypoint, b);
  EXPECT_EQ(r->points[1].btKind, rpkVia);
  EXPECT_EQ(b->cRoutePoints, 1u);
  // bounding rectangle in map units
  EXPECT_EQ(r->rcBounds.left, a->x >> 1);
  EXPECT_EQ(r->rcBounds.right, b->x >> 1);
  EXPECT_EQ(r->rcBounds.top, a->y >> 1);
  EXPECT_EQ(r->rcBounds.bottom, c->y >> 1);
  // east then north: a right angle to the left
  EXPECT_NEAR(r->points[1].nTurnAngle, -90, 1);

  ASSERT_TRUE(s.ReverseRoute(r));  // c b a
  EXPECT_EQ(r->points[0].pWaypoint, c);
  EXPECT_NEAR(r->points[1].nTurnAngle, 90, 1);
  ASSERT_TRUE(s.MovePointUp(r, 2));  // c a b
  EXPECT_EQ(r->points[1].pWaypoint, a);
  EXPECT_FALSE(s.MovePointUp(r, 0));
  ASSERT_TRUE(s.MovePointDown(r, 0));  // a c b
  EXPECT_EQ(r->points[0].pWaypoint, a);
  EXPECT_FALSE(s.MovePointDown(r, 2));
  ASSERT_TRUE(s.DeletePoint(r, 1));  // a b
  EXPECT_EQ(c->cRoutePoints, 0u);
  EXPECT_EQ(r->rcBounds.bottom, a->y >> 1);
  EXPECT_FALSE(s.DeleteWaypoint(a));
  EXPECT_TRUE(s.DeleteWaypoint(c));

  // nothing is allowed on the active route
  s.SetActiveRoute(r);
  EXPECT_FALSE(s.InsertWaypoint(r, 0, c));
  EXPECT_FALSE(s.DeletePoint(r, 0));
  EXPECT_FALSE(s.ReverseRoute(r));
  EXPECT_FALSE(s.MovePointDown(r, 0));
  EXPECT_FALSE(s.DeleteRoute(r));
  EXPECT_EQ(r->points.size(), 2u);
  s.SetActiveRoute(nullptr);
  EXPECT_FALSE(r->dwFlags & rfActive);
}

TEST(WaypointStoreEditing, DeleteRouteReleasesAndDropsRoutePoints) {
  CWaypointStore s;
  Waypoint* user = s.NewWaypoint(1, 1, 0, 0, false, u"user");
  Waypoint* shared = s.NewWaypoint(1, 2, 0, 0, false, u"shared");
  shared->dwFlags |= wfMadeForRoute;
  Waypoint* own = s.NewWaypoint(1, 3, 0, 0, false, u"own");
  own->dwFlags |= wfMadeForRoute;
  Route* r1 = s.NewRoute(0);
  Route* r2 = s.NewRoute(0);
  s.InsertWaypoint(r1, -1, user);
  s.InsertWaypoint(r1, 0, shared);
  s.InsertWaypoint(r1, 1, own);
  s.InsertWaypoint(r2, -1, shared);
  ASSERT_TRUE(s.DeleteRoute(r1));
  EXPECT_TRUE(r1->IsDeleted());
  EXPECT_FALSE(user->IsDeleted());
  EXPECT_TRUE(own->IsDeleted());
  // still used by the other route: kept
  EXPECT_FALSE(shared->IsDeleted());
  EXPECT_EQ(shared->cRoutePoints, 1u);

  CWaypointStore t;
  Reload(s, t);
  EXPECT_EQ(t.CountWaypoints(), 2u);
  EXPECT_EQ(t.CountRoutes(), 1u);
  ASSERT_EQ(t.FirstRoute()->points.size(), 1u);
  EXPECT_EQ(t.FirstRoute()->points[0].pWaypoint->strName, u"shared");
}

TEST(WaypointStoreQueries, NearestWaypointWithinRadius) {
  CWaypointStore s;
  // at 60° north a degree of longitude is half as long as one of latitude
  const double c_dLat = 60.0;
  const double c_dMPerDegLat = 20000000.0 / 180.0;
  auto mapX = [](double lon) { return int32_t(std::lround(lon * 1073741824.0 / 180.0)); };
  Waypoint* north = s.NewWaypoint(30, c_dLat + 90 / c_dMPerDegLat, 0, 0, false, u"north 90 m");
  Waypoint* east = s.NewWaypoint(30 + 2 * 60 / c_dMPerDegLat, c_dLat, 0, 0, false, u"east 60 m");
  s.NewWaypoint(30 + 2 * 130 / c_dMPerDegLat, c_dLat, 0, 0, false, u"east 130 m");
  int32_t x = mapX(30), y = mapX(c_dLat);
  EXPECT_EQ(s.FindNearestWaypoint(x, y, 100), east);
  east->dwFlags |= wfDeleted;
  EXPECT_EQ(s.FindNearestWaypoint(x, y, 100), north);
  // 130 m east is outside 120 m even though it is inside the ±r/cos box
  EXPECT_EQ(s.FindNearestWaypoint(x, y, 85), nullptr);
  north->dwFlags |= wfDeleted;
  EXPECT_EQ(s.FindNearestWaypoint(x, y, 120), nullptr);
  EXPECT_NE(s.FindNearestWaypoint(x, y, 140), nullptr);
}

TEST(WaypointStoreQueries, TurnAnglesFollowUpRuleAndLength) {
  Route r;
  // west to east along the equator, a maneuver turning left, two small
  // bends 10 m apart that belong to it, a straight stretch, a far turn
  const double m = 180.0 / 20000000.0;  // degrees per metre
  r.points = {CoordPoint(0, 0),
              CoordPoint(100 * m, 0, rpkRouter | rpkManeuver),
              CoordPoint(100 * m, 10 * m, rpkRouter),
              CoordPoint(99 * m, 20 * m, rpkRouter),
              CoordPoint(99 * m, 70 * m, rpkRouter),
              CoordPoint(99 * m, 200 * m, rpkRouter),
              CoordPoint(50 * m, 250 * m, rpkRouter)};
  RecomputeRoute(r);
  EXPECT_EQ(r.points[0].nTurnAngle, 0);
  EXPECT_EQ(r.points[6].nTurnAngle, 0);
  EXPECT_EQ(r.points[2].nTurnAngle, -6);
  EXPECT_EQ(r.points[3].nTurnAngle, 6);  // opposite but small: added
  EXPECT_EQ(r.points[4].nTurnAngle, 0);
  EXPECT_EQ(r.points[5].nTurnAngle, -44);
  // -90 - 6 + 6; the turn at point 5 lies beyond 40 m
  EXPECT_EQ(r.points[1].nTurnAngle, -90);

  // a connector maneuver reaches 300 m
  r.points[1].btKind |= rpkConnector;
  RecomputeRoute(r);
  EXPECT_EQ(r.points[1].nTurnAngle, -134);
  // the next maneuver ends the walk after it is added
  r.points[1].btKind &= ~rpkConnector;
  r.points[2].btKind |= rpkManeuver;
  r.points[3].btKind = rpkRouter;
  RecomputeRoute(r);
  EXPECT_EQ(r.points[1].nTurnAngle, -96);

  // a turn at the end of a segment longer than the limit is not added: a
  // right turn followed 139 m on by another right turn stays a right turn,
  // not a U-turn
  Route u;
  u.points = {CoordPoint(0, 0), CoordPoint(100 * m, 0, rpkRouter | rpkManeuver), CoordPoint(100 * m, -139 * m, rpkRouter),
              CoordPoint(99 * m, -139 * m, rpkRouter)};
  RecomputeRoute(u);
  EXPECT_EQ(u.points[1].nTurnAngle, 90);
  EXPECT_EQ(u.points[2].nTurnAngle, 90);

  // an opposite turn above 10° stops the walk
  Route z;
  z.points = {CoordPoint(0, 0), CoordPoint(100 * m, 0, rpkRouter | rpkManeuver), CoordPoint(100 * m, 10 * m),
              CoordPoint(110 * m, 10 * m), CoordPoint(110 * m, 20 * m)};
  RecomputeRoute(z);
  EXPECT_EQ(z.points[1].nTurnAngle, -90);

  EXPECT_NEAR(GetRouteLength(r, 0, 2), 110, 0.5);
  EXPECT_NEAR(GetRouteLength(r), 100 + 10 + std::hypot(1, 10) + 50 + 130 + std::hypot(49, 50), 1.0);
  EXPECT_EQ(GetRouteLength(r, 3, 3), 0);
}

TEST(WaypointStoreFile, LargeStoreRoundTrip) {
  CWaypointStore s;
  std::vector<Waypoint*> wps;
  for (int i = 0; i < 10000; ++i) {
    Waypoint* p = s.NewWaypoint(-179 + (i % 3580) * 0.1, -80 + (i / 3580) * 10.0 + (i % 7) * 0.01, 40000 + i, float(i),
                                i % 3 != 0);
    p->strDescription = platform::FormatStr(u"comment %d", i);
    wps.push_back(p);
  }
  for (int r = 0; r < 200; ++r) {
    Route* pRoute = s.NewRoute(45000 + r);
    for (int i = 0; i < 500; ++i) {
      if (i % 5 == 0) {
        s.InsertWaypoint(pRoute, int(pRoute->points.size()) - 1, wps[(r * 500 + i) % wps.size()]);
      } else {
        RoutePoint rp = CoordPoint(r * 0.5 + i * 0.001, 45 + i * 0.0007, rpkRouter);
        rp.nValue = i;
        rp.strLabel = i % 50 == 1 ? u"road" : u"";
        pRoute->points.push_back(rp);
      }
    }
  }
  CWaypointStore once, twice;
  Reload(s, once);
  Reload(once, twice);
  auto a = Waypoints(s), b = Waypoints(twice);
  ASSERT_EQ(b.size(), a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(b[i]->strName, a[i]->strName);
    ASSERT_EQ(b[i]->x, a[i]->x);
    ASSERT_EQ(b[i]->cRoutePoints, a[i]->cRoutePoints);
  }
  auto ra = Routes(s), rb = Routes(twice);
  ASSERT_EQ(rb.size(), 200u);
  for (size_t r = 0; r < ra.size(); ++r) {
    ASSERT_EQ(rb[r]->points.size(), 500u);
    for (size_t i = 0; i < 500; ++i) {
      const RoutePoint &p = ra[r]->points[i], &q = rb[r]->points[i];
      ASSERT_EQ(q.GetX(), p.GetX());
      ASSERT_EQ(q.GetY(), p.GetY());
      ASSERT_EQ(q.nValue, p.pWaypoint ? 0 : p.nValue);
      ASSERT_EQ(bool(q.pWaypoint), bool(p.pWaypoint));
      if (q.pWaypoint) {
        ASSERT_EQ(q.pWaypoint->strName, p.pWaypoint->strName);
      }
    }
  }
}

}  // namespace
