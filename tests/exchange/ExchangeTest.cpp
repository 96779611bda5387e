#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exchange/CodePage.h"
#include "exchange/Exchange.h"
#include "exchange/Gpx.h"
#include "exchange/ImportFile.h"
#include "exchange/MapSource.h"
#include "exchange/detail/MapSourceRecords.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "store/Bytes.h"
#include "tests/exchange/GpxLite.h"

using namespace exchange;

namespace {

const std::string c_strData = std::string(VELMO_SHARED_DATA) + "/exchange/";

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> data;
  platform::ReadWholeFile(platform::Utf8ToU16(path).c_str(), data);
  return data;
}

bool HaveData() { return platform::FileExists(platform::Utf8ToU16(c_strData + "README.md").c_str()); }

std::vector<Waypoint*> ListWaypoints(const CWaypointStore& s) {
  std::vector<Waypoint*> v;
  for (Waypoint* p = s.FirstWaypoint(); p; p = p->pNext) v.push_back(p);
  return v;
}
// Imported records in file order (the store puts each at the head).
std::vector<Waypoint*> FileOrderWaypoints(const CWaypointStore& s) {
  auto v = ListWaypoints(s);
  return std::vector<Waypoint*>(v.rbegin(), v.rend());
}
std::vector<Route*> FileOrderRoutes(const CWaypointStore& s) {
  std::vector<Route*> v;
  for (Route* p = s.FirstRoute(); p; p = p->pNext) v.insert(v.begin(), p);
  return v;
}

std::string Utf8(const std::u16string& s) { return platform::U16ToUtf8(s); }

std::string TempName(const char* pszName);

ExchangeOptions Opts(unsigned nCodePage = c_nCodePageWestern) {
  ExchangeOptions o = DefaultExchangeOptions(45000.5);
  o.nCodePage = nCodePage;
  return o;
}

ImportResult Import(PfnImport pfn, CWaypointStore& s, const std::vector<uint8_t>& data,
                    const ExchangeOptions& opts = Opts()) {
  ImportResult r;
  pfn(s, data.data(), data.size(), opts, r);
  return r;
}

// A small store that exercises the exchange fields.
void Fill(CWaypointStore& s) {
  Waypoint* a = s.NewWaypoint(30.3158, 59.9391, 45123.5, 15.5f, true, u"Dvortsovaya");
  a->strDescription = u"Square, \"centre\"";
  a->fProximity = 120;
  a->SetType(8);
  a->SetShow(wsIconAndDesc);
  a->dwFlags |= wfDepth;
  a->fDepth = 4.5f;
  Waypoint* b = s.NewWaypoint(-0.1276, 51.5072, 0, 0, false, u"London");
  b->strDescription = u"line one\r\nline two";
  s.NewWaypoint(-73.9857, 40.7484, 44000, -3.25f, true, u"New York");
}

TEST(ExchangeFormats, ListsInFilterOrder) {
  size_t c;
  const ExchangeFormat* p = GetWaypointExportFormats(c);
  ASSERT_EQ(c, 4u);
  EXPECT_EQ(p[0].idsName, 2271u);
  EXPECT_EQ(std::u16string(p[0].pszFilter), u"*.gdb");
  EXPECT_EQ(p[1].idsName, 2277u);
  EXPECT_EQ(std::u16string(p[1].pszExtension), u"wpt");
  EXPECT_EQ(p[2].idsName, 2270u);
  EXPECT_EQ(std::u16string(p[2].pszExtension), u"mps");
  // GPX comes last, so that the filter index kept in the settings still
  // names the format it named before
  EXPECT_EQ(std::u16string(p[3].pszFilter), u"*.gpx");
  p = GetRouteExportFormats(c);
  ASSERT_EQ(c, 3u);
  EXPECT_EQ(p[0].pfnExport, &ExportGdbRoutes);
  EXPECT_EQ(p[1].idsName, 2279u);
  EXPECT_EQ(p[2].pfnExport, &ExportGpxRoutes);
  p = GetWaypointImportFormats(c);
  ASSERT_EQ(c, 4u);
  EXPECT_EQ(p[0].pfnImport, &ImportGdbWaypoints);
  EXPECT_EQ(p[1].pfnImport, &ImportMpsWaypoints);
  EXPECT_EQ(p[2].pfnImport, &ImportOziWaypoints);
  EXPECT_EQ(p[3].pfnImport, &ImportGpxWaypoints);
  p = GetRouteImportFormats(c);
  ASSERT_EQ(c, 3u);
  EXPECT_EQ(p[1].pfnProbe, &IsOziRouteFile);
  EXPECT_EQ(p[2].pfnImport, &ImportGpxRoutes);
}

TEST(ExchangeFormats, DialogFilterAndNumbering) {
  size_t c;
  const ExchangeFormat* p = GetWaypointExportFormats(c);
  std::u16string filter = BuildFilter(p, c, [](uint32_t ids) { return platform::FormatStr(u"<%u>", ids); });
  EXPECT_EQ(filter, std::u16string(u"<2271>\0*.gdb\0<2277>\0*.wpt\0<2270>\0*.mps\0<2272>\0*.gpx\0\0", 53));
  EXPECT_EQ(GetNumberedFormat(p, c, 1), &p[1]);
  EXPECT_EQ(GetNumberedFormat(p, c, 4), nullptr);
  ExchangeFormat hidden[2] = {p[0], p[1]};
  hidden[0].fHidden = true;
  EXPECT_EQ(GetNumberedFormat(hidden, 2, 0), &hidden[1]);
  EXPECT_EQ(BuildFilter(hidden, 2, [](uint32_t) { return std::u16string(u"x"); }),
            std::u16string(u"x\0*.wpt\0\0", 9));
  CWaypointStore s;
  s.NewWaypoint(1, 2, 0, 0, false, u"A");
  EXPECT_FALSE(ExportToFile(p[0], s, Opts(), u"/nonexistent/velmo/x.gdb"));

  // a written file reads back through its own format only, or through any
  std::u16string path = platform::Utf8ToU16(TempName("export.wpt"));
  ASSERT_TRUE(ExportToFile(p[1], s, Opts(), path.c_str()));
  CWaypointStore t;
  ImportResult r;
  size_t cImport;
  const ExchangeFormat* pImport = GetWaypointImportFormats(cImport);
  EXPECT_EQ(ImportFileAs(pImport[0], t, path.c_str(), Opts(), r), ifsUnknownFormat);
  EXPECT_EQ(ImportFileAs(pImport[2], t, path.c_str(), Opts(), r), ifsImported);
  EXPECT_EQ(r.cWaypoints, 1);
  ImportFileInfo info;
  EXPECT_EQ(ImportFile(t, path.c_str(), Opts(), r, info), ifsImported);
  EXPECT_EQ(info.pFormat->pfnImport, &ImportOziWaypoints);
  EXPECT_EQ(t.CountWaypoints(), 2u);
  platform::DeleteFilePath(path.c_str());
  EXPECT_EQ(ImportFile(t, path.c_str(), Opts(), r, info), ifsCannotOpen);
}

TEST(CodePage, RoundTripAndUnmappable) {
  std::u16string s = u"Привет, мир № 5";
  std::string a = U16ToAnsi(s, c_nCodePageCyrillic);
  EXPECT_EQ(a.size(), s.size());
  EXPECT_EQ(uint8_t(a[0]), 0xCF);  // П
  EXPECT_EQ(AnsiToU16(a, c_nCodePageCyrillic), s);
  EXPECT_EQ(U16ToAnsi(u"Völker €", c_nCodePageWestern), "V\xF6lker \x80");
  EXPECT_EQ(U16ToAnsi(u"Ж", c_nCodePageWestern), "?");
  EXPECT_EQ(U16ToAnsi(u"\U0001F600x", c_nCodePageCyrillic), "?x");
  EXPECT_EQ(U16ToAnsi(u"Łódź", 1250), "\xA3\xF3" "d\x9F");
  EXPECT_EQ(AnsiToU16("\xE1\xE2", 1253), u"αβ");
  EXPECT_TRUE(IsSupportedCodePage(1257));
  EXPECT_FALSE(IsSupportedCodePage(65001));
}

// ------------------------------------------------------------------ MPS

TEST(MpsExport, SameNamesNumberedAndUnnamedLeftOut) {
  CWaypointStore s;
  s.NewWaypoint(1, 1, 0, 0, false, u"N");
  s.NewWaypoint(1, 2, 0, 0, false, u"N");
  Waypoint* pUnnamed = s.NewWaypoint(1, 3, 0, 0, false, u"x");
  pUnnamed->strName.clear();
  s.NewWaypoint(1, 4, 0, 0, false, u"N");
  std::vector<uint8_t> out;
  ExportMpsWaypoints(s, Opts(), out);

  CWaypointStore t;
  ImportResult r = Import(ImportMpsWaypoints, t, out);
  EXPECT_EQ(r.idsMessage, c_idsImportedWaypoints);
  auto v = FileOrderWaypoints(t);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0]->strName, u"N");
  EXPECT_EQ(v[1]->strName, u"N (1)");
  EXPECT_EQ(v[2]->strName, u"N (2)");
  // store order: the newest first
  EXPECT_NEAR(StoredToDegrees(v[0]->y), 4, 1e-7);

  // the unnamed one is in the OziExplorer file under its number
  ExportOziWaypoints(s, Opts(), out);
  std::string text(out.begin(), out.end());
  EXPECT_NE(text.find("\r\n2,2,3.000000,1.000000, ,"), std::string::npos) << text;
}

TEST(MpsExport, RecordLayoutAndFieldsRoundTrip) {
  CWaypointStore s;
  Fill(s);
  std::vector<uint8_t> out;
  ExportMpsWaypoints(s, Opts(), out);
  // the 44-byte header of the track files, then W records, then the end
  const uint8_t c_abHead[] = {'M', 's', 'R', 'c', 'd', 0, 2, 0, 0, 0, 'D', 0x68, 0, 26, 0, 0, 0, 'A', 0x9D, 1, 0x4B, 0x47, 0};
  ASSERT_GT(out.size(), 51u);
  EXPECT_EQ(std::memcmp(out.data(), c_abHead, sizeof c_abHead), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&out[23]), 20), std::string("Mar  5 2006\0" "20:01:36\0", 21).substr(0, 20));
  const uint8_t c_abEnd[] = {2, 0, 0, 0, 'V', 0, 1};
  EXPECT_EQ(std::memcmp(&out[out.size() - 7], c_abEnd, 7), 0);
  CMsRecordWalker walker(out.data(), out.size());
  MsRecord rec;
  int cW = 0;
  while (walker.Next(rec)) {
    if (rec.btType != 'W') continue;
    ++cW;
    size_t cchName = std::strlen(reinterpret_cast<const char*>(rec.pBody));
    const uint8_t* pComment = rec.pBody + cchName + 1 + 44;
    size_t cchComment = std::strlen(reinterpret_cast<const char*>(pComment));
    EXPECT_EQ(rec.cbBody, cchName + cchComment + 87);
    // −1 before the coordinates, 12 FF bytes from offset 9
    EXPECT_EQ(store::CByteReader::GetLe32(rec.pBody + cchName + 1 + 23), 0xFFFFFFFFu);
    EXPECT_EQ(rec.pBody[cchName + 1 + 9], 0xFF);
    EXPECT_EQ(rec.pBody[cchName + 1 + 20], 0xFF);
  }
  EXPECT_EQ(cW, 3);
  EXPECT_FALSE(walker.IsTruncated());

  CWaypointStore t;
  Import(ImportMpsWaypoints, t, out);
  auto a = ListWaypoints(s), b = FileOrderWaypoints(t);
  ASSERT_EQ(b.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(b[i]->strName, a[i]->strName);
    EXPECT_EQ(b[i]->x, a[i]->x);
    EXPECT_EQ(b[i]->y, a[i]->y);
    EXPECT_EQ(b[i]->HasAltitude(), a[i]->HasAltitude());
    if (a[i]->HasAltitude()) {
      EXPECT_EQ(b[i]->fAltitude, a[i]->fAltitude);
    }
    EXPECT_EQ(b[i]->strDescription, a[i]->strDescription);
    EXPECT_EQ(b[i]->fProximity, a[i]->fProximity);
    EXPECT_EQ(b[i]->GetType(), a[i]->GetType());
    EXPECT_EQ(b[i]->dwFlags & wfDepth, a[i]->dwFlags & wfDepth);
    EXPECT_EQ(b[i]->dTime, 45000.5);  // the import time
  }
  EXPECT_EQ(b[2]->fDepth, 4.5f);
}

TEST(MpsImport, ReferenceFilesHaveOurLayout) {
  if (!HaveData()) GTEST_SKIP() << "no shared exchange data";
  // every W record of the old GPSBabel's MPS 4.09+ files: name, 44 bytes,
  // comment, 41 bytes (and, in version 5, texts after them)
  for (const char* pszFile : {"mapsource.mps", "route.mps", "gdb-sample.mps"}) {
    SCOPED_TRACE(pszFile);
    auto data = ReadFile(c_strData + pszFile);
    ASSERT_TRUE(IsMpsFile(data.data(), data.size()));
    CMsRecordWalker walker(data.data(), data.size());
    MsRecord rec;
    int cW = 0;
    while (walker.Next(rec)) {
      if (rec.btType != 'W') continue;
      ++cW;
      size_t cchName = strnlen(reinterpret_cast<const char*>(rec.pBody), rec.cbBody);
      ASSERT_LT(cchName + 1 + 44, rec.cbBody);
      const uint8_t* pBlock = rec.pBody + cchName + 1;
      EXPECT_EQ(store::CByteReader::GetLe32(pBlock + 23), 0xFFFFFFFFu);
      size_t cchComment = strnlen(reinterpret_cast<const char*>(pBlock + 44), rec.cbBody - cchName - 45);
      EXPECT_GE(rec.cbBody, cchName + cchComment + 87);
    }
    EXPECT_GT(cW, 0);
    EXPECT_FALSE(walker.IsTruncated());
  }
}

// ------------------------------------------------------------------ GDB

TEST(GdbExport, HeaderRecordLengthsAndRoutes) {
  CWaypointStore s;
  Fill(s);
  Waypoint* pRoutePoint = s.NewWaypoint(10, 10, 0, 0, false, u"Dvortsovaya");  // same name again
  pRoutePoint->dwFlags |= wfMadeForRoute | wfWaterTemperature;
  pRoutePoint->fWaterTemperature = 9.5f;
  pRoutePoint->strText3 = u"http://example.org";
  auto wps = ListWaypoints(s);
  Route* r = s.NewRoute(45000, u"Trip");
  r->strText2 = u"a description";
  s.InsertWaypoint(r, -1, wps[1]);
  s.InsertWaypoint(r, 0, wps[0]);
  RoutePoint shape;  // a point without waypoint is not written
  shape.x = DegreesToStored(20);
  shape.y = DegreesToStored(45);
  r->points.insert(r->points.begin() + 1, shape);
  s.InsertWaypoint(r, 2, wps[3]);
  s.NewRoute(45001, u"Empty");  // empty routes are not written
  // a point on a deleted waypoint has no W record to refer to: left out
  Waypoint* pGone = s.NewWaypoint(0, 0, 0, 0, false, u"gone");
  s.InsertWaypoint(r, 0, pGone);
  pGone->dwFlags |= wfDeleted;

  std::vector<uint8_t> out;
  ExportGdbRoutes(s, Opts(), out);
  const uint8_t c_abHead[] = {'M', 's', 'R', 'c', 'f', 0, 2, 0, 0, 0, 'D', 0x6B, 0, 26, 0, 0, 0, 'A', 0x58, 0x02,
                              0x4B, 0x47, 0, 'M', 'a', 'r', ' ', ' ', '5', ' ', '2', '0', '0', '6', 0,
                              '2', '0', ':', '0', '1', ':', '3', '6', 0, 'M', 'a', 'p', 'S', 'o', 'u', 'r', 'c', 'e', 0};
  static_assert(sizeof c_abHead == 54);
  ASSERT_GT(out.size(), 54u);
  EXPECT_EQ(std::memcmp(out.data(), c_abHead, 54), 0);

  // Each W record is exactly what our reader consumes; the class byte of a
  // point made for a route is 12.
  CMsRecordWalker walker(out.data(), out.size());
  MsRecord rec;
  std::vector<std::string> names;
  int cR = 0;
  while (walker.Next(rec)) {
    if (rec.btType == 'W') {
      names.push_back(reinterpret_cast<const char*>(rec.pBody));
      const uint8_t* pClass = rec.pBody + names.back().size() + 1;
      EXPECT_EQ(pClass[0], names.size() == 1 ? 12 : 0);
      // time: the last 5 bytes when the waypoint has a date, else 1 zero byte
      bool fTime = names.size() == 2 || names.size() == 4;
      EXPECT_EQ(rec.pBody[rec.cbBody - (fTime ? 5 : 1)], fTime ? 1 : 0) << names.back();
    }
    if (rec.btType == 'R') ++cR;
  }
  EXPECT_FALSE(walker.IsTruncated());
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0], "Dvortsovaya");
  EXPECT_EQ(names[3], "Dvortsovaya (1)");
  EXPECT_EQ(cR, 1);

  CWaypointStore t;
  ImportResult res = Import(ImportGdbRoutes, t, out);
  EXPECT_EQ(res.idsMessage, c_idsImportedRoutes);
  EXPECT_EQ(res.cRoutes, 1);
  EXPECT_EQ(res.cWaypoints, 4);
  auto routes = FileOrderRoutes(t);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0]->strName, u"Trip");
  EXPECT_EQ(routes[0]->strText2, u"a description");
  ASSERT_EQ(routes[0]->points.size(), 3u);
  EXPECT_EQ(routes[0]->points[0].pWaypoint->strName, u"New York");
  EXPECT_EQ(routes[0]->points[1].pWaypoint->strName, u"Dvortsovaya");
  EXPECT_EQ(routes[0]->points[2].pWaypoint->strName, u"Dvortsovaya (1)");
  auto w = FileOrderWaypoints(t);
  EXPECT_EQ(routes[0]->points[1].pWaypoint, w[0]);
  EXPECT_TRUE(w[0]->dwFlags & wfMadeForRoute);
  EXPECT_TRUE(w[0]->dwFlags & wfWaterTemperature);
  EXPECT_EQ(w[0]->fWaterTemperature, 9.5f);
  EXPECT_EQ(w[0]->strText3, u"http://example.org");
  EXPECT_EQ(w[3]->strDescription, u"Square, \"centre\"");
  EXPECT_EQ(w[3]->fProximity, 120.0f);
  EXPECT_EQ(w[3]->GetType(), 8u);
  EXPECT_EQ(w[3]->GetShow(), unsigned(wsIconAndDesc));
  EXPECT_NEAR(w[3]->dTime, 45123.5, 1.0 / 86400);
  EXPECT_EQ(w[3]->fDepth, 4.5f);
  EXPECT_EQ(w[2]->HasAltitude(), false);

  // the waypoint-only export has no R record
  ExportGdbWaypoints(s, Opts(), out);
  CMsRecordWalker w2(out.data(), out.size());
  while (w2.Next(rec)) EXPECT_NE(rec.btType, 'R');
}

TEST(GdbImport, RoutePointsFindTheirWaypointAmongNamesakes) {
  // two waypoints named "P" at different places, each on a route
  CWaypointStore s;
  Waypoint* a = s.NewWaypoint(10, 10, 0, 0, false, u"P");
  Waypoint* b = s.NewWaypoint(20, 20, 0, 0, false, u"Q");
  Route* r = s.NewRoute(0, u"R");
  s.InsertWaypoint(r, -1, a);
  s.InsertWaypoint(r, 0, b);
  std::vector<uint8_t> out;
  ExportGdbRoutes(s, Opts(), out);
  // rename "Q" to "P" in its W record and in the route (same length)
  for (size_t i = 0; i + 2 < out.size(); ++i)
    if (out[i] == 'Q' && out[i + 1] == 0) out[i] = 'P';
  CWaypointStore t;
  ImportResult res = Import(ImportGdbRoutes, t, out);
  ASSERT_EQ(res.cRoutes, 1);
  Route* pRoute = t.FirstRoute();
  ASSERT_EQ(pRoute->points.size(), 2u);
  EXPECT_NEAR(StoredToDegrees(pRoute->points[0].GetY()), 10, 1e-6);
  // the last point has no link: the first of its name
  EXPECT_EQ(pRoute->points[1].pWaypoint->strName, u"P");
}

TEST(GdbImport, SixteenByteTrackPointsDoNotDisturbWaypoints) {
  // waypoint import passes over T records of any layout
  CWaypointStore s;
  s.NewWaypoint(5, 6, 0, 0, false, u"P");
  std::vector<uint8_t> out;
  ExportGdbWaypoints(s, Opts(), out);
  std::vector<uint8_t> track;
  store::CByteWriter w(track);
  w.Dword(4 + 6 + 1 + 4 + 4 + 16); w.Byte('T');
  w.CStr("T"); w.Byte(0); w.Dword(0); w.Dword(1);
  w.Int(1); w.Int(2); w.Byte(0); w.Byte(1); w.Dword(1000); w.Byte(0); w.Byte(0);
  w.Dword(0); w.Dword(0);  // pads the count above
  out.insert(out.begin() + 54, track.begin(), track.end());
  CWaypointStore t;
  ImportResult r = Import(ImportGdbWaypoints, t, out);
  EXPECT_EQ(r.cWaypoints, 1);
  EXPECT_FALSE(r.fTruncated);
}

// ---------------------------------------------------------- OziExplorer

TEST(OziExport, WaypointLinesCommasAndLineBreaks) {
  CWaypointStore s;
  Waypoint* p = s.NewWaypoint(-68.031335, 44.39146, 43584.875567, 10, true, u"Birch, Harbor");
  p->strDescription = u"one,two\r\nthree and a long tail that goes beyond forty bytes";
  p->fProximity = 15;
  std::vector<uint8_t> out;
  ExportOziWaypoints(s, Opts(c_nCodePageCyrillic), out);
  std::string text(out.begin(), out.end());
  std::string expected = std::string("OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n") +
                         "1,Birch\xD1 Harbor,44.391460,-68.031335, 43584.875567, 0, 1, 3,         0,     65535," +
                         "one\xD1two  three and a long tail that goes" + ", 0, 0, 15.000000, 32.808400\r\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(OziText(u"Ёж,\n", c_nCodePageCyrillic), "\xA8\xE6\xD1 ");
  EXPECT_EQ(OziText(u"Ёжик", c_nCodePageCyrillic, 2), "\xA8\xE6");

  // no altitude: -777; no date: nothing
  CWaypointStore t;
  t.NewWaypoint(1, 2, 0, 0, false, u"X");
  ExportOziWaypoints(t, Opts(), out);
  text.assign(out.begin(), out.end());
  EXPECT_NE(text.find("1,X,2.000000,1.000000, , 0, 1, 3,         0,     65535,, 0, 0, 0.000000, -777\r\n"),
            std::string::npos)
      << text;

  CWaypointStore u;
  ImportResult r = Import(ImportOziWaypoints, u, out);
  ASSERT_EQ(r.cWaypoints, 1);
  EXPECT_FALSE(u.FirstWaypoint()->HasAltitude());
  EXPECT_EQ(u.FirstWaypoint()->dTime, 0);
}

TEST(OziExport, RoutesRoundTrip) {
  CWaypointStore s;
  Fill(s);
  auto wps = ListWaypoints(s);
  Route* r = s.NewRoute(0, u"Around");
  r->strText2 = u"the world";
  r->crColor = 255;
  s.InsertWaypoint(r, -1, wps[2]);
  s.InsertWaypoint(r, 0, wps[0]);
  RoutePoint rp;  // a point without waypoint: numbered by its running number
  rp.x = DegreesToStored(2.35);
  rp.y = DegreesToStored(48.85);
  r->points.push_back(rp);
  Route* r2 = s.NewRoute(0, u"Second");
  s.InsertWaypoint(r2, -1, wps[1]);
  std::vector<uint8_t> out;
  ExportOziRoutes(s, Opts(), out);
  std::string text(out.begin(), out.end());
  EXPECT_NE(text.find("R,0,Second,,15204584\r\nW,0,1,0,London,51.507200,-0.127600, ,0,1,3,0,65535,line one  line two,0,0,\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("R,1,Around,the world,255\r\n"), std::string::npos);
  EXPECT_NE(text.find("W,1,3,3,3,48.850000,2.350000, ,0,1,3,0,65535,,0,0,\r\n"), std::string::npos);

  CWaypointStore t;
  ImportResult res = Import(ImportOziRoutes, t, out);
  EXPECT_EQ(res.idsMessage, c_idsImportedRoutes);
  EXPECT_EQ(res.cRoutes, 2);
  EXPECT_EQ(res.cWaypoints, 4);
  auto routes = FileOrderRoutes(t);
  ASSERT_EQ(routes.size(), 2u);
  EXPECT_EQ(routes[1]->strName, u"Around");
  EXPECT_EQ(routes[1]->strText2, u"the world");
  EXPECT_EQ(routes[1]->crColor, 255u);
  ASSERT_EQ(routes[1]->points.size(), 3u);
  EXPECT_EQ(routes[1]->points[0].pWaypoint->strName, u"Dvortsovaya");
  EXPECT_EQ(routes[1]->points[0].pWaypoint->strDescription, u"Square\xD1 \"centre\"");
  EXPECT_NEAR(routes[1]->points[0].pWaypoint->dTime, 45123.5, 1e-6);
  EXPECT_EQ(routes[1]->points[2].pWaypoint->strName, u"3");
  EXPECT_TRUE(routes[1]->points[2].pWaypoint->dwFlags & wfMadeForRoute);
}

TEST(OziImport, DatumVersionsAndBadLines) {
  auto bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  CWaypointStore s;
  ImportResult r = Import(ImportOziWaypoints, s,
                          bytes("OziExplorer Waypoint File Version 1.1\r\nPulkovo 1942,xx\r\nR\r\nR\r\n1,A,1,2\r\n"),
                          Opts(c_nCodePageCyrillic));
  EXPECT_TRUE(r.fRefused);
  EXPECT_EQ(r.idsMessage, c_idsUnsupportedDatum);
  EXPECT_EQ(r.strDatum, u"Pulkovo 1942");
  EXPECT_EQ(s.FirstWaypoint(), nullptr);
  r = Import(ImportOziRoutes, s, bytes("OziExplorer Route File Version 1.0\nOSGB 36\n"));
  EXPECT_EQ(r.idsMessage, c_idsUnsupportedDatum);

  // "WGS" is a leading part of "WGS 84"; LF endings; CE files; bad lines skipped
  r = Import(ImportOziWaypoints, s,
             bytes("OziExplorer CE Waypoint File Version 1.2\nWGS\nx\ny\n"
                   "1,A,10.5,20.25,,0,1,3,0,65535,comment\n"
                   "2,B,north,20\n"
                   "\n"
                   "3,C, 11.5 , 21 ,,0,1,3,0,65535,desc,0,0,30,328.084\n"
                   "4,D,95,20\n"
                   "5,E,1,2"));
  EXPECT_FALSE(r.fRefused);
  EXPECT_EQ(r.idsMessage, c_idsImportedWaypoints);
  EXPECT_EQ(r.cWaypoints, 3);
  auto v = FileOrderWaypoints(s);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0]->strDescription, u"");  // a comment only counts with a field after it
  EXPECT_EQ(v[1]->strName, u"C");
  EXPECT_EQ(v[1]->strDescription, u"desc");
  EXPECT_EQ(v[1]->fProximity, 30.0f);
  EXPECT_NEAR(v[1]->fAltitude, 100.0f, 1e-4);
  EXPECT_NEAR(StoredToDegrees(v[1]->y), 11.5, 1e-7);
  EXPECT_EQ(v[2]->strName, u"E");
}

// ----------------------------------------------- versions the program refuses

TEST(MapSourceImport, RefusedVersions) {
  if (!HaveData()) GTEST_SKIP() << "no shared exchange data";
  struct Case {
    const char* pszFile;
    PfnImport pfn;
    uint32_t ids;
  } cases[] = {
      {"gdb-sample-v3-autoroute.gdb", ImportGdbWaypoints, c_idsGdbTooNew},
      {"gdb-sample-v3-autoroute.gdb", ImportGdbRoutes, c_idsGdbTooNew},
      {"mps-track.mps", ImportMpsWaypoints, c_idsMpsTooOld},
      {"mps-empty.mps", ImportMpsWaypoints, c_idsMpsTooOld},
      {"gdb-sample-ver3.mps", ImportMpsWaypoints, c_idsMpsTooOld},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszFile);
    CWaypointStore s;
    ImportResult r = Import(c.pfn, s, ReadFile(c_strData + c.pszFile));
    EXPECT_TRUE(r.fRefused);
    EXPECT_EQ(r.idsMessage, c.ids);
    EXPECT_EQ(s.FirstWaypoint(), nullptr);
  }
}

// -------------------------------------------- real files against gpsbabel

void ExpectSameWaypoint(const Waypoint& wp, const gpxlite::Point& g, bool fComment = true) {
  SCOPED_TRACE(g.strName);
  EXPECT_EQ(Utf8(wp.strName), g.strName);
  EXPECT_NEAR(StoredToDegrees(wp.y), g.dLat, 1e-6);
  EXPECT_NEAR(StoredToDegrees(wp.x), g.dLon, 1e-6);
  EXPECT_EQ(wp.HasAltitude(), g.fEle);
  if (g.fEle && wp.HasAltitude()) {
    EXPECT_NEAR(wp.fAltitude, g.dEle, 0.1);
  }
  // gpsbabel shows the link text of MapSource's route and map points as
  // their comment, and cannot decode some of the old ANSI texts (U+FFFD)
  std::string strOurs = Utf8(wp.strDescription.empty() ? wp.strText3 : wp.strDescription);
  // (and the name as the comment of a waypoint without one)
  if (fComment && g.strCmt.find("\xEF\xBF\xBD") == std::string::npos) {
    EXPECT_EQ(strOurs, strOurs.empty() && g.strCmt == g.strName ? std::string() : g.strCmt);
  }
  if (g.fTime && wp.dTime != 0) {
    EXPECT_NEAR((wp.dTime - 25569.0) * 86400.0, double(g.nTime), 1.0);
  }
}

struct RealFile {
  const char* pszFile;
  PfnImport pfn;
  unsigned nCodePage;
};

TEST(RealFiles, ImportGivesGpsbabelsRendering) {
  if (!HaveData()) GTEST_SKIP() << "no shared exchange data";
  const RealFile files[] = {
      {"gdb-sample.gdb", ImportGdbRoutes, c_nCodePageWestern},
      {"gdb-sample2.gdb", ImportGdbRoutes, c_nCodePageWestern},
      {"mapsource.mps", ImportMpsWaypoints, c_nCodePageWestern},
      {"route.mps", ImportMpsWaypoints, c_nCodePageWestern},
      {"gdb-sample.mps", ImportMpsWaypoints, c_nCodePageWestern},
      {"ozi.wpt", ImportOziWaypoints, c_nCodePageWestern},
      {"gdb-sample-v3-autoroute.wpt", ImportOziWaypoints, c_nCodePageWestern},
      {"ozi.rte", ImportOziRoutes, c_nCodePageWestern},
      {"gdb-sample-v3-autoroute.rte", ImportOziRoutes, c_nCodePageWestern},
  };
  for (const RealFile& f : files) {
    SCOPED_TRACE(f.pszFile);
    gpxlite::Gpx gpx;
    ASSERT_TRUE(gpxlite::Load(c_strData + f.pszFile + ".gpsbabel.gpx", gpx));
    CWaypointStore s;
    ImportResult r = Import(f.pfn, s, ReadFile(c_strData + f.pszFile), Opts(f.nCodePage));
    EXPECT_FALSE(r.fRefused);
    EXPECT_FALSE(r.fTruncated);
    bool fOziRoute = f.pfn == ImportOziRoutes;
    auto wps = FileOrderWaypoints(s);
    if (!fOziRoute) {
      ASSERT_EQ(wps.size(), gpx.waypoints.size());
      EXPECT_EQ(r.cWaypoints, int(wps.size()));
      // MPS comments of version 5 files come from a different field in gpsbabel
      bool fComment = f.pfn != ImportMpsWaypoints;
      for (size_t i = 0; i < wps.size(); ++i) ExpectSameWaypoint(*wps[i], gpx.waypoints[i], fComment);
    }
    if (f.pfn == ImportMpsWaypoints) continue;  // routes of MPS files are not imported
    auto routes = FileOrderRoutes(s);
    ASSERT_EQ(routes.size(), gpx.routes.size());
    EXPECT_EQ(r.cRoutes, int(routes.size()));
    for (size_t k = 0; k < routes.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(Utf8(routes[k]->strName), gpx.routes[k].strName);
      std::vector<const RoutePoint*> pts;
      for (const RoutePoint& rp : routes[k]->points)
        if (rp.pWaypoint) pts.push_back(&rp);
      ASSERT_EQ(pts.size(), gpx.routes[k].points.size());
      for (size_t i = 0; i < pts.size(); ++i)
        ExpectSameWaypoint(*pts[i]->pWaypoint, gpx.routes[k].points[i], !fOziRoute);
    }
  }
}

TEST(RealFiles, MultiLineOziRouteGivesNoBogusPoints) {
  if (!HaveData()) GTEST_SKIP() << "no shared exchange data";
  gpxlite::Gpx clean;
  ASSERT_TRUE(gpxlite::Load(c_strData + "gdb-sample-v3-autoroute.rte.gpsbabel.gpx", clean));
  CWaypointStore s;
  ImportResult r = Import(ImportOziRoutes, s, ReadFile(c_strData + "gdb-sample-v3-autoroute-multiline.rte"));
  ASSERT_EQ(r.cRoutes, 1);
  Route* pRoute = s.FirstRoute();
  ASSERT_EQ(pRoute->points.size(), 42u);
  ASSERT_EQ(clean.routes.size(), 1u);
  for (size_t i = 0; i < 42; ++i) {
    EXPECT_NEAR(StoredToDegrees(pRoute->points[i].GetY()), clean.routes[0].points[i].dLat, 1e-6);
    EXPECT_NEAR(StoredToDegrees(pRoute->points[i].GetX()), clean.routes[0].points[i].dLon, 1e-6);
  }
}

TEST(RealFiles, DamagedCopiesImportWithoutHarm) {
  if (!HaveData()) GTEST_SKIP() << "no shared exchange data";
  const RealFile files[] = {
      {"gdb-sample2.gdb", ImportGdbRoutes, c_nCodePageWestern},
      {"route.mps", ImportMpsWaypoints, c_nCodePageWestern},
      {"ozi.rte", ImportOziRoutes, c_nCodePageWestern},
      {"ozi.wpt", ImportOziWaypoints, c_nCodePageWestern},
  };
  for (const RealFile& f : files) {
    auto data = ReadFile(c_strData + f.pszFile);
    ASSERT_FALSE(data.empty());
    CWaypointStore whole;
    int cWhole = Import(f.pfn, whole, data).cWaypoints;
    for (size_t cb = 0; cb < data.size(); cb += 1 + cb / 64) {
      std::vector<uint8_t> part(data.begin(), data.begin() + cb);
      CWaypointStore s;
      EXPECT_LE(Import(f.pfn, s, part).cWaypoints, cWhole);
    }
    uint32_t seed = 12345;
    for (int n = 0; n < 300; ++n) {
      std::vector<uint8_t> bad = data;
      for (int k = 0; k < 4; ++k) {
        seed = seed * 1103515245 + 12345;
        bad[(seed >> 8) % bad.size()] ^= uint8_t(1 << ((seed >> 4) & 7));
      }
      CWaypointStore s;
      Import(f.pfn, s, bad);
    }
  }
}

// ----------------------------------------- gpsbabel reads what we export

bool RunGpsbabel(const std::string& args, const std::string& out) {
  std::string cmd = "gpsbabel " + args + " -o gpx -F '" + out + "' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

std::string TempName(const char* pszName) {
#ifdef _WIN32
  const char* p = std::getenv("TEMP");
  std::string dir = std::string(p ? p : "C:") + "\\";
#else
  const char* p = std::getenv("TMPDIR");
  std::string dir = std::string(p ? p : "/tmp") + "/";
#endif
  static const unsigned s_nRun = unsigned(std::chrono::steady_clock::now().time_since_epoch().count());
  return dir + "velmo_xchg_" + std::to_string(s_nRun) + "_" + pszName;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
  ASSERT_TRUE(platform::WriteFileAtomic(platform::Utf8ToU16(path).c_str(), data.data(), data.size()));
}

TEST(GpsbabelOracle, ReadsOurGdbAndOziExports) {
  if (std::system("gpsbabel -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel is not installed";
  CWaypointStore s;
  Fill(s);
  Waypoint* pDeleted = s.NewWaypoint(0, 0, 0, 0, false, u"gone");
  pDeleted->dwFlags |= wfDeleted;
  s.NewWaypoint(139.6917, 35.6895, 45500.25, 40, true, u"Tokyo")->strDescription = u"east";
  auto wps = ListWaypoints(s);
  Route* r = s.NewRoute(0, u"Long way");
  for (int i : {3, 0, 4, 2}) s.InsertWaypoint(r, int(r->points.size()) - 1, wps[i]);
  Route* r2 = s.NewRoute(0, u"Short");
  s.InsertWaypoint(r2, -1, wps[2]);
  s.InsertWaypoint(r2, 0, wps[0]);

  std::vector<Waypoint*> exported;
  for (Waypoint* p : wps)
    if (!p->IsDeleted()) exported.push_back(p);
  std::vector<Route*> routes = {r2, r};  // store order

  auto check = [&](const gpxlite::Gpx& gpx, bool fWaypoints, bool fRoutes, bool fOzi) {
    if (fWaypoints) {
      ASSERT_EQ(gpx.waypoints.size(), exported.size());
      for (size_t i = 0; i < exported.size(); ++i) {
        const gpxlite::Point& g = gpx.waypoints[i];
        const Waypoint& wp = *exported[i];
        SCOPED_TRACE(g.strName);
        EXPECT_EQ(g.strName, Utf8(wp.strName));
        EXPECT_NEAR(g.dLat, StoredToDegrees(wp.y), 1e-6);
        EXPECT_NEAR(g.dLon, StoredToDegrees(wp.x), 1e-6);
        EXPECT_EQ(g.fEle, wp.HasAltitude());
        if (g.fEle) {
          EXPECT_NEAR(g.dEle, wp.fAltitude, 0.1);
        }
        std::string strComment = fOzi ? OziText(wp.strDescription, c_nCodePageWestern, 40)
                                      : U16ToAnsi(wp.strDescription, c_nCodePageWestern);
        std::string strExpected = Utf8(AnsiToU16(strComment, c_nCodePageWestern));
        // gpsbabel shows the name as the comment of a waypoint without one
        EXPECT_EQ(g.strCmt, strExpected.empty() ? g.strName : strExpected);
        if (wp.dTime != 0) {
          ASSERT_TRUE(g.fTime);
          EXPECT_NEAR(double(g.nTime), (wp.dTime - 25569.0) * 86400.0, 1.0);
        }
      }
    }
    if (fRoutes) {
      ASSERT_EQ(gpx.routes.size(), routes.size());
      for (size_t k = 0; k < routes.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(gpx.routes[k].strName, Utf8(routes[k]->strName));
        ASSERT_EQ(gpx.routes[k].points.size(), routes[k]->points.size());
        for (size_t i = 0; i < routes[k]->points.size(); ++i) {
          const Waypoint* pWp = routes[k]->points[i].pWaypoint;
          EXPECT_EQ(gpx.routes[k].points[i].strName, Utf8(pWp->strName));
          EXPECT_NEAR(gpx.routes[k].points[i].dLat, StoredToDegrees(pWp->y), 1e-6);
          EXPECT_NEAR(gpx.routes[k].points[i].dLon, StoredToDegrees(pWp->x), 1e-6);
        }
      }
    }
  };

  std::vector<uint8_t> out;
  std::string in = TempName("w.gdb"), gpxPath = TempName("w.gpx");
  ExportGdbWaypoints(s, Opts(), out);
  WriteBytes(in, out);
  ASSERT_TRUE(RunGpsbabel("-w -i gdb -f '" + in + "'", gpxPath));
  gpxlite::Gpx gpx;
  ASSERT_TRUE(gpxlite::Load(gpxPath, gpx));
  check(gpx, true, false, false);

  in = TempName("r.gdb");
  ExportGdbRoutes(s, Opts(), out);
  WriteBytes(in, out);
  ASSERT_TRUE(RunGpsbabel("-w -r -i gdb -f '" + in + "'", gpxPath));
  gpx = gpxlite::Gpx();
  ASSERT_TRUE(gpxlite::Load(gpxPath, gpx));
  check(gpx, true, true, false);

  in = TempName("w.wpt");
  ExportOziWaypoints(s, Opts(), out);
  WriteBytes(in, out);
  ASSERT_TRUE(RunGpsbabel("-w -i ozi -f '" + in + "'", gpxPath));
  gpx = gpxlite::Gpx();
  ASSERT_TRUE(gpxlite::Load(gpxPath, gpx));
  check(gpx, true, false, true);

  in = TempName("r.rte");
  ExportOziRoutes(s, Opts(), out);
  WriteBytes(in, out);
  ASSERT_TRUE(RunGpsbabel("-r -i ozi -f '" + in + "'", gpxPath));
  gpx = gpxlite::Gpx();
  ASSERT_TRUE(gpxlite::Load(gpxPath, gpx));
  check(gpx, false, true, true);

  for (const char* psz : {"w.gdb", "r.gdb", "w.wpt", "r.rte", "w.gpx"})
    platform::DeleteFilePath(platform::Utf8ToU16(TempName(psz)).c_str());
}

TEST(GpsbabelOracle, FilesGpsbabelWritesFromTheReferenceGpxImport) {
  if (!HaveData()) GTEST_SKIP() << "no shared exchange data";
  if (std::system("gpsbabel -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel is not installed";
  for (const char* pszGpx : {"gdb-sample.gpx", "gdb-sample-v3-autoroute.gpx"}) {
    SCOPED_TRACE(pszGpx);
    gpxlite::Gpx ref;
    ASSERT_TRUE(gpxlite::Load(c_strData + pszGpx, ref));
    std::string gdb = TempName("babel.gdb"), gpxOut = TempName("babel.gpx");
    std::string cmd = "gpsbabel -w -r -i gpx -f '" + c_strData + pszGpx + "' -o gdb -F '" + gdb + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    // what gpsbabel itself reads back from its file is the truth here
    ASSERT_TRUE(RunGpsbabel("-w -r -i gdb -f '" + gdb + "'", gpxOut));
    gpxlite::Gpx truth;
    ASSERT_TRUE(gpxlite::Load(gpxOut, truth));
    CWaypointStore s;
    ImportResult r = Import(ImportGdbRoutes, s, ReadFile(gdb), Opts(c_nCodePageWestern));
    EXPECT_FALSE(r.fRefused);
    auto wps = FileOrderWaypoints(s);
    ASSERT_EQ(wps.size(), truth.waypoints.size());
    for (size_t i = 0; i < wps.size(); ++i) {
      EXPECT_EQ(Utf8(wps[i]->strName), truth.waypoints[i].strName);
      EXPECT_NEAR(StoredToDegrees(wps[i]->y), truth.waypoints[i].dLat, 1e-6);
      EXPECT_NEAR(StoredToDegrees(wps[i]->x), truth.waypoints[i].dLon, 1e-6);
    }
    auto routes = FileOrderRoutes(s);
    ASSERT_EQ(routes.size(), truth.routes.size());
    for (size_t k = 0; k < routes.size(); ++k) {
      std::vector<std::string> names;
      for (const RoutePoint& rp : routes[k]->points)
        if (rp.pWaypoint) names.push_back(Utf8(rp.pWaypoint->strName));
      ASSERT_EQ(names.size(), truth.routes[k].points.size());
      for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], truth.routes[k].points[i].strName);
    }
    platform::DeleteFilePath(platform::Utf8ToU16(gdb).c_str());
    platform::DeleteFilePath(platform::Utf8ToU16(gpxOut).c_str());
  }
}

}  // namespace
