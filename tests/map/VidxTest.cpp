// Map collections: building Index.vidx from a folder, and the collection
// reader drawing, searching and locating its members.
//
// Most cases use small members of a test-only map format (registered below)
// that carry their own cities and objects, so the merge and the searches
// across members are checked whatever the native maps index; the native
// reader takes over where real map files matter (nearest search at a member
// border, the collection of the OSM extracts and the demo region).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "map/MapDescription.h"
#include "map/MapFiles.h"
#include "map/MapParser.h"
#include "map/bits/BitStream.h"
#include "map/vel/VelParser.h"
#include "map/vel/detail/VelFormat.h"
#include "map/vidx/VidxBuilder.h"
#include "map/vidx/VidxFormat.h"
#include "map/vidx/VidxParser.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "res/Failure.h"
#include "res/Res.h"
#include "tools/velc/OsmConvert.h"
#include "tools/velc/VelWriter.h"
#include "view/MapUnits.h"

using platform::Utf8ToU16;
using platform::U16ToUtf8;

namespace {

// ---------------------------------------------------------------------------
// A test member format: the native main header (so the builder takes the
// file), version 0x7E57 (so the native probe does not), then text lines
//   C <name>                         a city, in name order
//   O <city> <x> <y> <name>          a point object of that city

const uint32_t c_dwFakeVersion = 0x7E57;

struct FakeObject {
  uint32_t nCity;
  MapPoint pt;
  std::u16string strName;
};

std::vector<std::string> g_drawn;  // member file names in drawing order

std::string FileNameOf(const char16_t* pszPath) {
  std::string str = U16ToUtf8(pszPath);
  size_t i = str.find_last_of("/\\");
  return i == std::string::npos ? str : str.substr(i + 1);
}

void CopyName(char16_t* pszOut, size_t cch, const std::u16string& str) {
  size_t c = std::min(str.size(), cch - 1);
  std::memcpy(pszOut, str.data(), c * sizeof(char16_t));
  pszOut[c] = 0;
}

class CFakeObjectsQuery : public CMapQuery {
 public:
  CFakeObjectsQuery(std::vector<FakeObject> objects, std::string strFile)
      : m_objects(std::move(objects)), m_strFile(std::move(strFile)) {}
  DWORD GetLocale() override { return 1049; }
  uint32_t GetCount() override { return uint32_t(m_objects.size()); }
  bool GetItem(uint32_t i, FoundObject* p, uint32_t dwFlags) override {
    if (i >= m_objects.size()) return false;
    if (dwFlags & c_fofName) CopyName(p->szName, 64, m_objects[i].strName);
    if (dwFlags & c_fofMapFile) CopyName(p->szMapFile, 64, Utf8ToU16(m_strFile));
    p->xRepr = m_objects[i].pt.x;
    p->yRepr = m_objects[i].pt.y;
    p->wType = 0x2F01;
    p->nKind = rkPoint;
    return true;
  }
  // As a member's own query: the first object (they are in name order) whose
  // name, cut to the text's length, does not sort before the text.
  uint32_t FindByName(const char16_t* psz) override {
    const size_t n = platform::StrLen(psz);
    for (uint32_t i = 0; i < m_objects.size(); ++i) {
      const std::u16string& str = m_objects[i].strName;
      if (CompareNamesNoCase(1049, str.data(), std::min(str.size(), n), psz, n) >= 0) return i;
    }
    return m_objects.empty() ? 0 : uint32_t(m_objects.size() - 1);
  }
  void SetReference(MapPoint pt) override { m_ptRef = pt; }
  MapPoint m_ptRef{0, 0};

 private:
  std::vector<FakeObject> m_objects;
  std::string m_strFile;
};

class CFakeCities : public CCitiesQuery {
 public:
  explicit CFakeCities(const std::vector<std::u16string>& cities) : m_cities(cities) {}
  DWORD GetLocale() override { return 1049; }
  uint32_t GetCount() override { return uint32_t(m_cities.size()); }
  bool GetItem(uint32_t i, CityItem* p, uint32_t) override {
    if (i >= m_cities.size()) return false;
    CopyName(p->szName, 64, m_cities[i]);
    return true;
  }

 private:
  std::vector<std::u16string> m_cities;
};

class CFakeMember : public CMapParser {
 public:
  explicit CFakeMember(const MapOpenContext& ctx) : CMapParser(ctx) {}
  bool Open(DWORD) override {
    vel::VelMainHeader h;
    std::memcpy(&h, m_pData, sizeof h);
    m_rect = MapRect{h.nLeft2 >> 1, h.nTop2 >> 1, h.nRight2 >> 1, h.nBottom2 >> 1};
    std::istringstream in(std::string(reinterpret_cast<const char*>(m_pData) + sizeof h, m_cFileSize - sizeof h));
    std::string strLine;
    while (std::getline(in, strLine)) {
      std::istringstream line(strLine);
      std::string strKind;
      line >> strKind;
      if (strKind == "C") {
        std::string strName;
        line >> strName;
        m_cities.push_back(Utf8ToU16(strName));
      } else if (strKind == "O") {
        FakeObject o;
        std::string strName;
        line >> o.nCity >> o.pt.x >> o.pt.y >> strName;
        o.strName = Utf8ToU16(strName);
        m_objects.push_back(o);
      }
    }
    return true;
  }
  void Draw(CDrawSink* pContext, CLabelSink*) override {
    g_drawn.push_back(FileNameOf(m_szPath));
    VPoint pts[4] = {pContext->ToScreen(m_rect.left, m_rect.top), pContext->ToScreen(m_rect.right, m_rect.top),
                     pContext->ToScreen(m_rect.right, m_rect.bottom), pContext->ToScreen(m_rect.left, m_rect.bottom)};
    pContext->DrawPolygon(pts, 4, nullptr);
  }
  void GetLabel(int, int, uint16_t, uint32_t, char16_t* psz, int* pn) override {
    psz[0] = 0;
    *pn = 0;
  }
  CCitiesQuery* CreateCitiesQuery() override { return m_cities.empty() ? nullptr : new CFakeCities(m_cities); }
  bool HasCitiesIndex() override { return !m_cities.empty(); }
  bool HasObjectsIndex() override { return !m_objects.empty(); }
  bool FindObjectType(int nKind, uint16_t wType, uint16_t) override {
    return nKind == rkPoint && wType == 0x2F01 && !m_objects.empty();
  }
  CMapQuery* CreateObjectsQuery(uint32_t nCity, int, uint16_t, uint16_t) override {
    std::vector<FakeObject> found;
    for (const FakeObject& o : m_objects)
      if (o.nCity == nCity) found.push_back(o);
    std::sort(found.begin(), found.end(), [](const FakeObject& a, const FakeObject& b) { return a.strName < b.strName; });
    return new CFakeObjectsQuery(found, FileNameOf(m_szPath));
  }
  CMapQuery* FindByAddress(uint32_t nCity, const char16_t*, const char16_t* pszStreet, const char16_t*,
                           const MapProgress* pProgress) override {
    if (pProgress) g_progressRanges.push_back({pProgress->nFrom, pProgress->nTo});
    std::vector<FakeObject> found;
    for (const FakeObject& o : m_objects)
      if (o.nCity == nCity && (!pszStreet || o.strName == pszStreet)) found.push_back(o);
    return new CFakeObjectsQuery(found, FileNameOf(m_szPath));
  }
  CMapQuery* FindNearest(uint32_t, bool, MapPoint pt, uint32_t nRadius, const MapTypeFilter*, const char16_t*,
                         const MapProgress*) override {
    const int64_t r = MetresToMap(double(nRadius));
    std::vector<FakeObject> found;
    for (const FakeObject& o : m_objects)
      if (std::llabs(int64_t(o.pt.x) - pt.x) <= 2 * r && std::llabs(int64_t(o.pt.y) - pt.y) <= r) found.push_back(o);
    return new CFakeObjectsQuery(found, FileNameOf(m_szPath));
  }

  static std::vector<std::pair<int32_t, int32_t>> g_progressRanges;

 private:
  std::vector<std::u16string> m_cities;
  std::vector<FakeObject> m_objects;
};
std::vector<std::pair<int32_t, int32_t>> CFakeMember::g_progressRanges;

bool ProbeFake(const uint8_t* p, uint32_t cb) {
  uint32_t dwVersion;
  if (cb < sizeof(vel::VelMainHeader) || std::memcmp(p, "GVEL", 4) != 0) return false;
  std::memcpy(&dwVersion, p + 4, 4);
  return dwVersion == c_dwFakeVersion;
}
CMapParser* CreateFake(const MapOpenContext& ctx) { return new CFakeMember(ctx); }
MapFormatEntry s_mfeFake = {nullptr, 0, nullptr, nullptr, 1, CreateFake, ProbeFake};
MapFormatRegistration s_regFake(&s_mfeFake);

// ---------------------------------------------------------------------------
// Folders and files

std::string NewFolder(const std::string& strName) {
  static int s_n = 0;
  std::string str = std::string(VELMO_BINARY_DIR) + "/vidxtest-" + strName + "-" + std::to_string(++s_n);
  std::system(("rm -rf '" + str + "' && mkdir -p '" + str + "'").c_str());
  return str;
}

struct FakeMap {
  MapRect rect;
  uint16_t wScaleFirst = 28, wScaleLast = 11;
  std::vector<std::string> cities;
  std::vector<std::string> objects;  // "city x y name"
};

void WriteFake(const std::string& strPath, const FakeMap& fake) {
  vel::VelMainHeader h;
  std::memset(&h, 0, sizeof h);
  std::memcpy(h.achMagic, "GVEL", 4);
  h.dwVersion = c_dwFakeVersion;
  h.nLeft2 = fake.rect.left * 2;
  h.nTop2 = fake.rect.top * 2;
  h.nRight2 = fake.rect.right * 2;
  h.nBottom2 = fake.rect.bottom * 2;
  h.wScaleFirst = fake.wScaleFirst;
  h.wScaleLast = fake.wScaleLast;
  h.dwFlags = fake.cities.empty() ? 0 : vel::c_fCitiesMerged;
  std::string strText;
  for (const std::string& c : fake.cities) strText += "C " + c + "\n";
  for (const std::string& o : fake.objects) strText += "O " + o + "\n";
  std::vector<uint8_t> bytes(sizeof h + strText.size());
  std::memcpy(bytes.data(), &h, sizeof h);
  std::memcpy(bytes.data() + sizeof h, strText.data(), strText.size());
  ASSERT_TRUE(platform::WriteFileAtomic(Utf8ToU16(strPath).c_str(), bytes.data(), bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& strPath) {
  std::vector<uint8_t> v;
  platform::ReadWholeFile(Utf8ToU16(strPath).c_str(), v);
  return v;
}

VidxBuildHost NoHost() { return VidxBuildHost{nullptr, nullptr, nullptr, nullptr}; }

int32_t Build(const std::string& strFolder, const VidxBuildHost& host = NoHost()) {
  return BuildCollectionIndex(Utf8ToU16(strFolder).c_str(), host);
}

// The collection opened through the format list, as the map page does.
struct Opened {
  CMapParser* p = nullptr;
  ~Opened() { delete p; }
  CVidxParser* operator->() const { return static_cast<CVidxParser*>(p); }
  CVidxParser* get() const { return static_cast<CVidxParser*>(p); }
};
bool OpenCollection(const std::string& strFolder, Opened& out) {
  out.p = OpenUserMap(Utf8ToU16(strFolder).c_str(), true);
  return out.p && AsVidxParser(out.p) == out.p;
}

std::vector<std::u16string> g_messages;
struct MessageCatcher {
  MessageCatcher() {
    g_messages.clear();
    ClearFailures();  // what earlier tests left queued is not this test's
    SetFailureNotifier([] { DrainFailures([](const char16_t* psz) { g_messages.push_back(psz); }); });
  }
  ~MessageCatcher() { SetFailureNotifier(nullptr); }
};

// A drawing context over a view rectangle at a scale index.
class CSink : public CDrawSink {
 public:
  int nScale = 20;
  MapRect rectView = c_rectWholePlane;
  int cInterruptAfterYields = -1;
  int cYields = 0;
  size_t cPolygons = 0, cPolylines = 0;
  std::vector<std::pair<uint32_t, std::string>> messages;  // id, first argument

  int GetScaleIndex() const override { return nScale; }
  MapRect GetVisibleRect() const override { return rectView; }
  int GetScaleFactorX() const override { return 1; }
  VPoint ToScreen(int32_t x, int32_t y) const override { return VPoint{x >> 10, -(y >> 10)}; }
  bool IsAtLeast(const MapRect& r, int cx, int cy) const override {
    return (r.Width() >> 10) >= cx || (r.Height() >> 10) >= cy;
  }
  void DrawPolygon(const VPoint*, size_t, StyleHandle) override { ++cPolygons; }
  void DrawPolyline(const VPoint*, size_t, StyleHandle, StyleHandle) override { ++cPolylines; }
  void DrawDirectionArrows(const VPoint*, size_t) override {}
  void Yield() override { ++cYields; }
  bool IsInterrupted() const override { return cInterruptAfterYields >= 0 && cYields >= cInterruptAfterYields; }
  void ShowMapMessage(uint32_t id, const char16_t* pszArg, const char16_t*) override {
    messages.push_back({id, U16ToUtf8(pszArg ? pszArg : u"")});
  }
};

// The scale index whose level code is the given one (0 when none has it).
int ScaleWithCode(uint32_t nCode) {
  for (uint32_t i = 1; i <= 26; ++i)
    if (ScaleIndexToCode(i) == nCode) return int(i);
  return 0;
}

std::vector<std::u16string> CityNames(CCitiesQuery* q) {
  std::vector<std::u16string> names;
  for (uint32_t i = 0; i < q->GetCount(); ++i) {
    CityItem item;
    std::memset(&item, 0, sizeof item);
    EXPECT_TRUE(q->GetItem(i, &item, c_fofName));
    names.push_back(item.szName);
  }
  return names;
}

std::vector<std::string> ItemNames(CMapQuery* q, std::vector<std::string>* pFiles = nullptr) {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < q->GetCount(); ++i) {
    FoundObject obj;
    std::memset(&obj, 0, sizeof obj);
    EXPECT_TRUE(q->GetItem(i, &obj, c_fofName | c_fofMapFile));
    names.push_back(U16ToUtf8(obj.szName));
    if (pFiles) pFiles->push_back(U16ToUtf8(obj.szMapFile));
  }
  return names;
}

const int32_t c_nUnit = 1 << 16;  // a few kilometres
MapRect Square(int32_t x, int32_t y, int32_t n) { return MapRect{x, y, x + n, y + n}; }

// ---------------------------------------------------------------------------
// Building and the merged city list

TEST(VidxBuild, MergesTheMembersCitiesInOneNameOrderWithDuplicateEntries) {
  const std::string dir = NewFolder("merge");
  FakeMap a{Square(0, 0, c_nUnit), 28, 11, {"Бор", "Липки", "Яблоново"},
             {"1 10 10 Школа", "1 20 20 Аптека", "0 5 5 Почта"}};
  FakeMap b{Square(c_nUnit, 0, c_nUnit), 28, 11, {"Альфа", "Липки", "Юг"},
             {"1 30 30 Больница", "1 40 40 Вокзал", "2 50 50 Кафе"}};
  FakeMap c{Square(0, c_nUnit, c_nUnit), 28, 11, {}, {}};
  WriteFake(dir + "/a.vel", a);
  WriteFake(dir + "/b.vel", b);
  WriteFake(dir + "/c.vel", c);
  ASSERT_EQ(Build(dir), 3);

  Opened idx;
  ASSERT_TRUE(OpenCollection(dir, idx));
  EXPECT_EQ(idx->GetMapCount(), 3u);
  EXPECT_EQ(idx->GetHeader().wVersion, 1);
  EXPECT_TRUE(idx->HasCitiesIndex());
  EXPECT_TRUE(idx->HasObjectsIndex());
  EXPECT_EQ(idx->GetHeader().dwLocale, 1049u);

  // Six entries, "Липки" of both members among them.
  const std::vector<VidxCityEntry>& entries = idx->GetCityEntries();
  ASSERT_EQ(entries.size(), 6u);
  std::unique_ptr<CCitiesQuery> cities(idx->CreateCitiesQuery());
  ASSERT_TRUE(cities);
  std::vector<std::u16string> names = CityNames(cities.get());
  // Every name group once, in name order across the members.
  ASSERT_EQ(names.size(), 5u);
  for (size_t i = 1; i < names.size(); ++i)
    EXPECT_LE(CompareNamesNoCase(1049, names[i - 1].data(), names[i - 1].size(), names[i].data(), names[i].size()), 0)
        << U16ToUtf8(names[i - 1]) << " / " << U16ToUtf8(names[i]);
  EXPECT_EQ(names.front(), u"Альфа");
  EXPECT_EQ(names.back(), u"Яблоново");
  size_t cDuplicates = 0;
  for (const VidxCityEntry& e : entries) cDuplicates += e.fDuplicate;
  EXPECT_EQ(cDuplicates, 1u);

  // The exact "Липки" of both members form one group: an objects query and
  // an address search over it cover both members.
  const uint32_t nGroup = cities->FindCityByName(u"Липки");
  CityItem item;
  std::memset(&item, 0, sizeof item);
  ASSERT_TRUE(cities->GetItem(nGroup, &item, c_fofName));
  ASSERT_EQ(std::u16string(item.szName), u"Липки");
  EXPECT_TRUE(entries[idx->GetCityGroups()[nGroup] + 1].fDuplicate);

  std::unique_ptr<CMapQuery> objects(idx->CreateObjectsQuery(nGroup, rkPoint, 0x2F01, 0xFFFF));
  ASSERT_TRUE(objects);
  std::vector<std::string> files;
  std::vector<std::string> found = ItemNames(objects.get(), &files);
  // Names of both members, merged in name order.
  EXPECT_EQ(found, (std::vector<std::string>{"Аптека", "Больница", "Вокзал", "Школа"}));
  EXPECT_EQ(std::set<std::string>(files.begin(), files.end()), (std::set<std::string>{"a.vel", "b.vel"}));
  EXPECT_EQ(objects->FindByName(u"Вок"), 2u);
  EXPECT_EQ(objects->FindByName(u"в"), 2u);

  volatile bool fCancel = false;
  MapProgress progress{0, 100, &fCancel, nullptr};
  CFakeMember::g_progressRanges.clear();
  std::unique_ptr<CMapQuery> address(idx->FindByAddress(nGroup, nullptr, u"Вокзал", nullptr, &progress));
  ASSERT_TRUE(address);
  EXPECT_EQ(ItemNames(address.get()), std::vector<std::string>{"Вокзал"});
  // The progress range is split evenly over the group's members.
  EXPECT_EQ(CFakeMember::g_progressRanges, (std::vector<std::pair<int32_t, int32_t>>{{0, 50}, {50, 100}}));

  // A city of one member only gives a query over that member.
  const uint32_t nBor = cities->FindCityByName(u"Бор");
  std::unique_ptr<CMapQuery> one(idx->CreateObjectsQuery(nBor, rkPoint, 0x2F01, 0xFFFF));
  ASSERT_TRUE(one);
  EXPECT_EQ(ItemNames(one.get()), std::vector<std::string>{"Почта"});
  EXPECT_EQ(idx->CreateObjectsQuery(999, rkPoint, 0x2F01, 0xFFFF), nullptr);
  EXPECT_TRUE(idx->FindObjectType(rkPoint, 0x2F01, 0xFFFF));
  EXPECT_FALSE(idx->FindObjectType(rkPolyline, 0x0001, 0xFFFF));
}

// The find dialog's typing jumps through an objects query by name: for a
// city found in one member only, the collection's query answers as the
// member's own does (it used to answer 0 whatever was typed).
TEST(VidxBuild, AnObjectsQueryOfAOneMemberCityFindsByName) {
  const std::string dir = NewFolder("onecity");
  FakeMap a{Square(0, 0, c_nUnit), 28, 11, {"Бор", "Липки"},
             {"0 10 10 Аптека", "0 20 20 Вокзал", "0 30 30 Почта", "0 40 40 Школа", "1 5 5 Баня"}};
  FakeMap b{Square(c_nUnit, 0, c_nUnit), 28, 11, {"Липки"}, {"0 50 50 Больница"}};
  WriteFake(dir + "/a.vel", a);
  WriteFake(dir + "/b.vel", b);
  ASSERT_EQ(Build(dir), 2);
  Opened idx;
  ASSERT_TRUE(OpenCollection(dir, idx));
  std::unique_ptr<CCitiesQuery> cities(idx->CreateCitiesQuery());
  ASSERT_TRUE(cities);
  std::unique_ptr<CMapQuery> one(idx->CreateObjectsQuery(cities->FindCityByName(u"Бор"), rkPoint, 0x2F01, 0xFFFF));
  ASSERT_TRUE(one);
  ASSERT_EQ(ItemNames(one.get()), (std::vector<std::string>{"Аптека", "Вокзал", "Почта", "Школа"}));
  EXPECT_EQ(one->FindByName(u"Аптека"), 0u);
  EXPECT_EQ(one->FindByName(u"вок"), 1u);
  EXPECT_EQ(one->FindByName(u"П"), 2u);
  EXPECT_EQ(one->FindByName(u"Ш"), 3u);
  EXPECT_EQ(one->FindByName(u"Я"), 3u);
  // A city of two members still searches its merged name order.
  std::unique_ptr<CMapQuery> two(idx->CreateObjectsQuery(cities->FindCityByName(u"Липки"), rkPoint, 0x2F01, 0xFFFF));
  ASSERT_TRUE(two);
  ASSERT_EQ(ItemNames(two.get()), (std::vector<std::string>{"Баня", "Больница"}));
  EXPECT_EQ(two->FindByName(u"Бо"), 1u);
}

TEST(VidxBuild, OneMapGivesAMapIndexOfNoBits) {
  const std::string dir = NewFolder("one");
  WriteFake(dir + "/only.vel", FakeMap{Square(0, 0, c_nUnit), 28, 11, {"A", "B", "C"}, {}});
  ASSERT_EQ(Build(dir), 1);
  std::vector<uint8_t> bytes = ReadBytes(dir + "/Index.vidx");
  vidx::VidxHeader h;
  std::memcpy(&h, bytes.data(), sizeof h);
  const uint32_t dwPart = h.dwCityPart & vidx::c_dwCityPartMask;
  EXPECT_EQ(dwPart, 32u + vidx::c_cbRecordWithSize);  // one record, with the member's size
  ASSERT_GE(bytes.size(), dwPart + 6);
  vidx::VidxCityPartHeader part;
  std::memcpy(&part, bytes.data() + dwPart, sizeof part);
  EXPECT_EQ(part.cEntries, 3u);
  EXPECT_EQ(part.cMapBits, 0);
  EXPECT_EQ(part.cCityBits, 2);  // bitlen(3 - 1)
  // Three entries of 1 + 0 + 2 bits take two bytes.
  EXPECT_EQ(bytes.size(), dwPart + 6 + 2);
  Opened idx;
  ASSERT_TRUE(OpenCollection(dir, idx));
  std::unique_ptr<CCitiesQuery> cities(idx->CreateCitiesQuery());
  EXPECT_EQ(CityNames(cities.get()), (std::vector<std::u16string>{u"A", u"B", u"C"}));
}

TEST(VidxBuild, RecordsNamesBoundsScalesAndHeaderExtremes) {
  const std::string dir = NewFolder("records");
  WriteFake(dir + "/west.vel", FakeMap{MapRect{-3 * c_nUnit, -c_nUnit, -c_nUnit, c_nUnit}, 26, 14, {}, {}});
  WriteFake(dir + "/East.vel", FakeMap{MapRect{c_nUnit, -2 * c_nUnit, 2 * c_nUnit, 0}, 24, 12, {}, {}});
  ASSERT_EQ(Build(dir), 2);
  Opened idx;
  ASSERT_TRUE(OpenCollection(dir, idx));
  EXPECT_EQ(idx->GetHeader().wVersion, 0);
  EXPECT_EQ(idx->GetHeader().dwCityPart, 0u);
  EXPECT_FALSE(idx->HasCitiesIndex());
  EXPECT_EQ(idx->CreateCitiesQuery(), nullptr);
  // Members in name order whatever the folder's order.
  EXPECT_EQ(U16ToUtf8(idx->GetMember(0).strFileName), "East.vel");
  EXPECT_EQ(U16ToUtf8(idx->GetMember(1).strFileName), "west.vel");
  EXPECT_EQ(idx->GetMember(1).wScaleFirst, 26);
  EXPECT_EQ(idx->GetMember(1).wScaleLast, 14);
  uint64_t ft = 0;
  ASSERT_TRUE(platform::GetFileWriteTime(Utf8ToU16(dir + "/west.vel").c_str(), ft));
  EXPECT_EQ(idx->GetMember(1).dwWriteTime, uint32_t(ft) + uint32_t(ft >> 32));
  const MapRect r = idx->GetRect();
  EXPECT_EQ(r.left, -3 * c_nUnit);
  EXPECT_EQ(r.top, -2 * c_nUnit);
  EXPECT_EQ(r.right, 2 * c_nUnit);
  EXPECT_EQ(r.bottom, c_nUnit);
  EXPECT_EQ(idx->GetFirstScale(), std::min(ScaleCodeToIndex(26), ScaleCodeToIndex(24)));
  EXPECT_EQ(idx->GetLastScale(), std::max(ScaleCodeToIndex(14), ScaleCodeToIndex(12)));
  EXPECT_EQ(U16ToUtf8(idx->GetMemberPath(1)), dir + "/west.vel");
}

// The About-map page of an open collection lists its members; a member map
// opened on its own is no collection.
TEST(VidxBuild, TheAboutMapTextListsTheMembers) {
  const std::string dir = NewFolder("about");
  WriteFake(dir + "/west.vel", FakeMap{MapRect{-3 * c_nUnit, -c_nUnit, -c_nUnit, c_nUnit}, 26, 14, {}, {}});
  WriteFake(dir + "/East.vel", FakeMap{MapRect{c_nUnit, -2 * c_nUnit, 2 * c_nUnit, 0}, 24, 12, {}, {}});
  ASSERT_EQ(Build(dir), 2);
  Opened idx;
  ASSERT_TRUE(OpenCollection(dir, idx));
  const std::string text = U16ToUtf8(DescribeMap(idx.p));
  const size_t iEast = text.find("\r\n  East.vel"), iWest = text.find("\r\n  west.vel");
  ASSERT_NE(iEast, std::string::npos) << text;
  ASSERT_NE(iWest, std::string::npos) << text;
  EXPECT_LT(iEast, iWest);
  std::unique_ptr<CMapParser> member(OpenMapFile(idx->GetMemberPath(0).c_str(), false, c_fOpenAll));
  if (member) {
    EXPECT_EQ(U16ToUtf8(DescribeMap(member.get())).find("East.vel\r\n  west.vel"), std::string::npos);
  }
}

TEST(VidxBuild, SkipsFilesThatAreNotMembersAndWarnsOnceAboutLongNames) {
  const std::string dir = NewFolder("skip");
  MessageCatcher messages;
  WriteFake(dir + "/ok.vel", FakeMap{Square(0, 0, c_nUnit), 28, 11, {}, {}});
  WriteFake(dir + "/" + std::string(29, 'a') + ".vel", FakeMap{Square(0, 0, c_nUnit), 28, 11, {}, {}});
  WriteFake(dir + "/" + std::string(30, 'b') + ".vel", FakeMap{Square(0, 0, c_nUnit), 28, 11, {}, {}});
  // Exactly 28 characters fills the name field and is taken.
  WriteFake(dir + "/" + std::string(24, 'c') + ".vel", FakeMap{Square(0, 0, c_nUnit), 28, 11, {}, {}});
  WriteFake(dir + "/other.img", FakeMap{Square(0, 0, c_nUnit), 28, 11, {}, {}});
  std::ofstream(dir + "/text.vel") << "not a map at all";
  std::ofstream(dir + "/short.vel") << "GVEL";
  std::system(("mkdir -p '" + dir + "/folder.vel'").c_str());
  ASSERT_EQ(Build(dir), 2);
  EXPECT_EQ(g_messages.size(), 1u);  // the name-length message, once
  Opened idx;
  ASSERT_TRUE(OpenCollection(dir, idx));
  ASSERT_EQ(idx->GetMapCount(), 2u);
  EXPECT_EQ(U16ToUtf8(idx->GetMember(0).strFileName), std::string(24, 'c') + ".vel");
  EXPECT_EQ(U16ToUtf8(idx->GetMember(1).strFileName), "ok.vel");
  // The 28-character name is read back whole although it has no terminator.
  EXPECT_EQ(U16ToUtf8(idx->GetMemberPath(0)), dir + "/" + std::string(24, 'c') + ".vel");
}

TEST(VidxBuild, ACancelledBuildLeavesThePreviousIndexAsItWas) {
  const std::string dir = NewFolder("cancel");
  WriteFake(dir + "/a.vel", FakeMap{Square(0, 0, c_nUnit), 28, 11, {"X", "Y"}, {}});
  WriteFake(dir + "/b.vel", FakeMap{Square(c_nUnit, 0, c_nUnit), 28, 11, {"Z"}, {}});
  ASSERT_EQ(Build(dir), 2);
  const std::vector<uint8_t> before = ReadBytes(dir + "/Index.vidx");
  ASSERT_FALSE(before.empty());
  WriteFake(dir + "/c.vel", FakeMap{Square(2 * c_nUnit, 0, c_nUnit), 28, 11, {"W"}, {}});

  // Cancelled while the maps are read.
  static volatile bool s_fCancel;
  static int s_cCalls;
  s_fCancel = false;
  s_cCalls = 0;
  VidxBuildHost host{&s_fCancel, [](void*, int32_t) {
                       if (++s_cCalls == 2) s_fCancel = true;
                     },
                     nullptr, nullptr};
  EXPECT_EQ(Build(dir, host), c_nVidxCancelled);
  EXPECT_EQ(ReadBytes(dir + "/Index.vidx"), before);

  // Cancelled during the city merge (after the map titles).
  static std::vector<uint32_t> s_titles;
  s_fCancel = false;
  s_titles.clear();
  VidxBuildHost host2{&s_fCancel, nullptr, [](void*, uint32_t ids) {
                        s_titles.push_back(ids);
                        if (ids == c_idsIndexingCities) s_fCancel = true;
                      },
                      nullptr};
  EXPECT_EQ(Build(dir, host2), c_nVidxCancelled);
  EXPECT_EQ(s_titles, (std::vector<uint32_t>{c_idsIndexingMaps, c_idsIndexingCities}));
  EXPECT_EQ(ReadBytes(dir + "/Index.vidx"), before);

  // Nothing is left behind in the folder.
  std::vector<std::u16string> names;
  ASSERT_TRUE(platform::ListFolder(Utf8ToU16(dir).c_str(), false, names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Index.vidx", u"a.vel", u"b.vel", u"c.vel"}));

  // A build that runs through replaces it.
  s_fCancel = false;
  EXPECT_EQ(Build(dir), 3);
  EXPECT_NE(ReadBytes(dir + "/Index.vidx"), before);
}

TEST(VidxBuild, AFolderThatCannotBeListedIsReported) {
  MessageCatcher messages;
  const std::string dir = std::string(VELMO_BINARY_DIR) + "/vidxtest-no-such-folder";
  std::system(("rm -rf '" + dir + "'").c_str());
  EXPECT_EQ(Build(dir), 0);
  EXPECT_EQ(g_messages.size(), 1u);
  EXPECT_FALSE(platform::FileExists(Utf8ToU16(dir + "/Index.vidx").c_str()));
}

// The merge on its own: equal names of several members in member order,
// case variants not marked as duplicates, the widths from the largest list.
std::vector<std::u16string> SortedNames(std::vector<std::u16string> v) {
  std::stable_sort(v.begin(), v.end(), [](const std::u16string& x, const std::u16string& y) {
    return CompareNamesNoCase(1049, x.data(), x.size(), y.data(), y.size()) < 0;
  });
  return v;
}

TEST(VidxBuild, CityMergeWritesEveryEntryOnce) {
  CFakeCities a(SortedNames({u"Бор", u"Липки", u"Яр"}));
  CFakeCities b(SortedNames({u"Липки"}));
  CFakeCities c(SortedNames({u"Ёлкино", u"липки", u"Липки", u"Яр"}));
  std::vector<VidxCitySource> sources = {{0, &a}, {3, &b}, {5, &c}};
  std::vector<uint8_t> out;
  ASSERT_TRUE(WriteVidxCityPart(sources, 6, 1049, out, NoHost()));
  vidx::VidxCityPartHeader part;
  std::memcpy(&part, out.data(), sizeof part);
  EXPECT_EQ(part.cEntries, 8u);
  EXPECT_EQ(part.cMapBits, 3);   // bitlen(5)
  EXPECT_EQ(part.cCityBits, 2);  // bitlen(3)
  CBitStream bs(out.data() + 6, out.data() + out.size());
  std::vector<std::string> got;
  std::map<uint32_t, CFakeCities*> bySource = {{0, &a}, {3, &b}, {5, &c}};
  for (uint32_t i = 0; i < part.cEntries; ++i) {
    uint32_t fDup = bs.ReadBits(1), nMap = bs.ReadBits(3), nCity = bs.ReadBits(2);
    CityItem item;
    std::memset(&item, 0, sizeof item);
    ASSERT_TRUE(bySource[nMap]->GetItem(nCity, &item, c_fofName));
    got.push_back(std::to_string(fDup) + std::to_string(nMap) + U16ToUtf8(item.szName));
  }
  EXPECT_FALSE(bs.IsOverrun());
  // Expected: every member's list in member order, sorted stably by the
  // program's name comparison; exactly equal neighbours are duplicates.
  std::vector<std::string> expected;
  std::vector<std::pair<std::u16string, uint32_t>> all;
  for (const auto& source : std::vector<std::pair<CFakeCities*, uint32_t>>{{&a, 0}, {&b, 3}, {&c, 5}})
    for (const std::u16string& s : CityNames(source.first)) all.push_back({s, source.second});
  std::stable_sort(all.begin(), all.end(), [](const auto& x, const auto& y) {
    return CompareNamesNoCase(1049, x.first.data(), x.first.size(), y.first.data(), y.first.size()) < 0;
  });
  std::u16string strPrev;
  for (const auto& e : all) {
    expected.push_back(std::string(e.first == strPrev ? "1" : "0") + std::to_string(e.second) + U16ToUtf8(e.first));
    strPrev = e.first;
  }
  EXPECT_EQ(got, expected);
}

TEST(VidxBuild, RunningOutOfMemoryWhileGatheringCitiesKeepsTheMembersGatheredSoFar) {
  const std::string dir = NewFolder("memory");
  WriteFake(dir + "/a.vel", FakeMap{Square(0, 0, c_nUnit), 28, 11, {"Бор", "Липки"}, {}});
  WriteFake(dir + "/b.vel", FakeMap{Square(c_nUnit, 0, c_nUnit), 28, 11, {"Альфа"}, {}});
  WriteFake(dir + "/c.vel", FakeMap{Square(0, c_nUnit, c_nUnit), 28, 11, {"Юг"}, {}});
  struct Restore {
    ~Restore() { SetVidxGatherAllocFailureForTests(0); }
  } restore;
  char16_t szMessage[512];
  LoadResString(c_idsIndexOutOfMemory, szMessage, 512);
  {
    // The second member does not fit: the message once, the first
    // member's cities only, every member's map record all the same.
    MessageCatcher catcher;
    SetVidxGatherAllocFailureForTests(2);
    ASSERT_EQ(Build(dir), 3);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], std::u16string(szMessage));
    Opened idx;
    ASSERT_TRUE(OpenCollection(dir, idx));
    EXPECT_EQ(idx->GetMapCount(), 3u);
    EXPECT_EQ(idx->GetHeader().wVersion, 1);
    std::unique_ptr<CCitiesQuery> cities(idx->CreateCitiesQuery());
    ASSERT_TRUE(cities);
    EXPECT_EQ(CityNames(cities.get()), (std::vector<std::u16string>{u"Бор", u"Липки"}));
  }
  {
    // Not even the first: an index of the maps without a city list.
    MessageCatcher catcher;
    SetVidxGatherAllocFailureForTests(1);
    ASSERT_EQ(Build(dir), 3);
    EXPECT_EQ(g_messages.size(), 1u);
    Opened idx;
    ASSERT_TRUE(OpenCollection(dir, idx));
    EXPECT_EQ(idx->GetMapCount(), 3u);
    EXPECT_EQ(idx->GetHeader().wVersion, 0);
    EXPECT_FALSE(idx->HasCitiesIndex());
  }
  {
    // With memory enough, all three and no message.
    MessageCatcher catcher;
    SetVidxGatherAllocFailureForTests(0);
    ASSERT_EQ(Build(dir), 3);
    EXPECT_TRUE(g_messages.empty());
    Opened idx;
    ASSERT_TRUE(OpenCollection(dir, idx));
    std::unique_ptr<CCitiesQuery> cities(idx->CreateCitiesQuery());
    ASSERT_TRUE(cities);
    EXPECT_EQ(cities->GetCount(), 4u);
  }
}

// ---------------------------------------------------------------------------
// Drawing

class VidxDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = NewFolder("draw");
    // Two members over the same square with different scale ranges, one
    // beside them, and a small one inside the first square's corner.
    WriteFake(m_dir + "/coarse.vel", FakeMap{Square(0, 0, 8 * c_nUnit), 20, 14, {}, {}});
    WriteFake(m_dir + "/fine.vel", FakeMap{Square(0, 0, 8 * c_nUnit), 28, 21, {}, {}});
    WriteFake(m_dir + "/next.vel", FakeMap{Square(8 * c_nUnit, 0, 8 * c_nUnit), 28, 21, {}, {}});
    WriteFake(m_dir + "/small.vel", FakeMap{Square(0, 0, c_nUnit / 8), 28, 21, {}, {}});
    ASSERT_EQ(Build(m_dir), 4);
    ASSERT_TRUE(OpenCollection(m_dir, m_idx));
    g_drawn.clear();
  }
  std::string m_dir;
  Opened m_idx;
};

TEST_F(VidxDraw, OnlyTheBestFittingMembersAreDrawnAndCached) {
  const int nFine = ScaleWithCode(24);
  ASSERT_NE(nFine, 0);
  CSink sink;
  sink.nScale = nFine;
  sink.rectView = Square(c_nUnit, c_nUnit, 2 * c_nUnit);
  m_idx->Draw(&sink, nullptr);
  // Code 24 lies in fine's range (21..28) and above coarse's (14..20).
  EXPECT_EQ(g_drawn, std::vector<std::string>{"fine.vel"});
  EXPECT_EQ(m_idx->GetCachedMembers(), std::vector<uint32_t>{1});
  EXPECT_EQ(m_idx->GetShownMember(), 1);
  char16_t sz[261];
  m_idx->GetFileName(sz);
  EXPECT_EQ(U16ToUtf8(sz), m_dir + "/fine.vel");

  // A coarse view: only the coarse member's range holds the code.
  const int nCoarse = ScaleWithCode(16);
  ASSERT_NE(nCoarse, 0);
  g_drawn.clear();
  sink.nScale = nCoarse;
  m_idx->Draw(&sink, nullptr);
  EXPECT_EQ(g_drawn, std::vector<std::string>{"coarse.vel"});
  EXPECT_EQ(m_idx->GetCachedMembers(), std::vector<uint32_t>{0});

  // Finer than every member (scale index 0 has code 29): the member whose
  // finest scale is closest.
  ASSERT_EQ(ScaleIndexToCode(0), 29u);
  g_drawn.clear();
  sink.nScale = 0;
  m_idx->Draw(&sink, nullptr);
  EXPECT_EQ(g_drawn, std::vector<std::string>{"fine.vel"});
}

TEST_F(VidxDraw, AViewCoveringSeveralMembersDrawsEachOfThemOnce) {
  CSink sink;
  sink.nScale = ScaleWithCode(24);
  sink.rectView = MapRect{4 * c_nUnit, 0, 12 * c_nUnit, 8 * c_nUnit};
  m_idx->Draw(&sink, nullptr);
  EXPECT_EQ(g_drawn, (std::vector<std::string>{"fine.vel", "next.vel"}));
  EXPECT_EQ(sink.cPolygons, 2u);
  // Drawn again: the members come from the cache, nothing is reopened.
  g_drawn.clear();
  m_idx->Draw(&sink, nullptr);
  EXPECT_EQ(g_drawn, (std::vector<std::string>{"fine.vel", "next.vel"}));
  EXPECT_EQ(m_idx->GetCachedMembers(), (std::vector<uint32_t>{1, 2}));
}

TEST_F(VidxDraw, AMemberMuchSmallerThanTheViewIsNotDrawn) {
  CSink sink;
  sink.nScale = ScaleWithCode(24);
  // small.vel is an eighth of a unit wide: under a third of a half-unit view
  // in both directions, so it is left out; at a view of a quarter unit it is
  // drawn.
  sink.rectView = Square(0, 0, c_nUnit / 2);
  m_idx->Draw(&sink, nullptr);
  EXPECT_EQ(std::count(g_drawn.begin(), g_drawn.end(), "small.vel"), 0);
  g_drawn.clear();
  sink.rectView = Square(0, 0, c_nUnit / 4);
  m_idx->Draw(&sink, nullptr);
  EXPECT_EQ(std::count(g_drawn.begin(), g_drawn.end(), "small.vel"), 1);
}

TEST_F(VidxDraw, AViewCoarserThanEveryMemberDrawsNothingAndEmptiesTheCache) {
  CSink sink;
  sink.nScale = ScaleWithCode(24);
  sink.rectView = Square(0, 0, 8 * c_nUnit);
  m_idx->Draw(&sink, nullptr);
  ASSERT_FALSE(m_idx->GetCachedMembers().empty());
  g_drawn.clear();
  // Code 12 is below the last scale of every member (14 and 21).
  const int nCoarsest = ScaleWithCode(12);
  ASSERT_NE(nCoarsest, 0);
  sink.nScale = nCoarsest;
  m_idx->Draw(&sink, nullptr);
  EXPECT_TRUE(g_drawn.empty());
  EXPECT_TRUE(m_idx->GetCachedMembers().empty());
  EXPECT_EQ(m_idx->GetShownMember(), -1);
  char16_t sz[261];
  m_idx->GetFileName(sz);
  EXPECT_EQ(sz[0], 0);
}

TEST_F(VidxDraw, AMemberThatCannotBeOpenedIsReportedAndTheOthersDrawn) {
  std::remove((m_dir + "/fine.vel").c_str());
  CSink sink;
  sink.nScale = ScaleWithCode(24);
  sink.rectView = MapRect{4 * c_nUnit, 0, 12 * c_nUnit, 8 * c_nUnit};
  m_idx->Draw(&sink, nullptr);
  EXPECT_EQ(g_drawn, std::vector<std::string>{"next.vel"});
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].first, c_idsCannotReadFile);
  EXPECT_EQ(sink.messages[0].second, m_dir + "/fine.vel");
  EXPECT_EQ(m_idx->GetCachedMembers(), std::vector<uint32_t>{2});
}

TEST_F(VidxDraw, AnInterruptionStopsAfterTheMemberBeingDrawn) {
  CSink sink;
  sink.nScale = ScaleWithCode(24);
  sink.rectView = MapRect{4 * c_nUnit, 0, 12 * c_nUnit, 8 * c_nUnit};
  sink.cInterruptAfterYields = 1;
  m_idx->Draw(&sink, nullptr);
  EXPECT_EQ(g_drawn, std::vector<std::string>{"fine.vel"});
}

TEST_F(VidxDraw, FindMapAtGivesTheFirstMemberInRecordOrder) {
  // Records: coarse, fine, next, small (name order).
  EXPECT_EQ(m_idx->FindMapAt(MapPoint{c_nUnit, c_nUnit}), 0);
  EXPECT_EQ(m_idx->FindMapAt(MapPoint{9 * c_nUnit, c_nUnit}), 2);
  EXPECT_EQ(m_idx->FindMapAt(MapPoint{8 * c_nUnit, 8 * c_nUnit}), 0);  // borders belong to the rectangle
  EXPECT_EQ(m_idx->FindMapAt(MapPoint{17 * c_nUnit, c_nUnit}), -1);
  EXPECT_EQ(m_idx->FindMapAt(MapPoint{-1, 0}), -1);
}

// ---------------------------------------------------------------------------
// Damaged and hand-made indexes

std::vector<uint8_t> IndexBytes(uint16_t wVersion, uint32_t dwCityPart, const std::vector<std::string>& names) {
  std::vector<uint8_t> v(32 + 80 * names.size(), 0);
  std::memcpy(v.data(), "VIDX", 4);
  std::memcpy(&v[4], &wVersion, 2);
  v[6] = 32;
  v[7] = 80;
  std::memcpy(&v[24], &dwCityPart, 4);
  for (size_t i = 0; i < names.size(); ++i) {
    std::u16string str = Utf8ToU16(names[i]);
    std::memcpy(&v[32 + 80 * i], str.data(), std::min<size_t>(str.size(), 28) * 2);
    vidx::VidxMapRecord rec;
    std::memcpy(&rec, &v[32 + 80 * i], sizeof rec);
    rec.nLeft2 = 0;
    rec.nTop2 = 0;
    rec.nRight2 = 2 * c_nUnit;
    rec.nBottom2 = 2 * c_nUnit;
    rec.wScaleFirst = 28;
    rec.wScaleLast = 11;
    std::memcpy(&v[32 + 80 * i], &rec, sizeof rec);
  }
  return v;
}

// Opens bytes as an index in the folder, from a buffer of exactly their
// size (a read past it is caught by the sanitiser builds).
struct Parsed {
  std::vector<uint8_t> bytes;
  std::unique_ptr<CVidxParser> p;
  bool fOpen = false;
};
void ParseBytes(const std::string& dir, const std::vector<uint8_t>& bytes, Parsed& out) {
  out.bytes = bytes;
  static std::u16string s_strPath;
  s_strPath = Utf8ToU16(dir + "/Index.vidx");
  MapOpenContext ctx{s_strPath.c_str(), nullptr, out.bytes.data(), uint32_t(out.bytes.size())};
  out.p.reset(new CVidxParser(ctx));
  out.fOpen = out.p->Open(c_fOpenAll);
}

// The probe reads the 16-bit version: the header and record sizes that
// follow it do not make a real index unrecognisable.
TEST(VidxBadInput, TheProbeTakesIndexesWithTheirHeaderAndRecordSizes) {
  std::vector<uint8_t> v = IndexBytes(1, 0, {"a.vel"});
  EXPECT_TRUE(ProbeVidxFile(v.data(), uint32_t(v.size())));
  v[4] = 0;
  EXPECT_TRUE(ProbeVidxFile(v.data(), uint32_t(v.size())));
  v[4] = 2;
  EXPECT_FALSE(ProbeVidxFile(v.data(), uint32_t(v.size())));
  v[4] = 1;
  v[5] = 1;  // version 257
  EXPECT_FALSE(ProbeVidxFile(v.data(), uint32_t(v.size())));
}

TEST(VidxBadInput, VersionZeroCountsTheRecordsFromTheFileSize) {
  const std::string dir = NewFolder("v0");
  std::vector<uint8_t> v = IndexBytes(0, 0, {"a.vel", "b.vel", "c.vel"});
  Parsed parsed;
  ParseBytes(dir, v, parsed);
  ASSERT_TRUE(parsed.fOpen);
  EXPECT_EQ(parsed.p->GetMapCount(), 3u);
  // A partial record at the end is not a record.
  v.resize(v.size() - 1);
  ParseBytes(dir, v, parsed);
  ASSERT_TRUE(parsed.fOpen);
  EXPECT_EQ(parsed.p->GetMapCount(), 2u);
  // With a city part the records end where it starts.
  v = IndexBytes(1, 32 + 80 * 2, {"a.vel", "b.vel", "c.vel"});
  ParseBytes(dir, v, parsed);
  ASSERT_TRUE(parsed.fOpen);
  EXPECT_EQ(parsed.p->GetMapCount(), 2u);
}

TEST(VidxBadInput, TruncatedAndCorruptedIndexesNeverReachOutsideTheFile) {
  const std::string dir = NewFolder("bad");
  WriteFake(dir + "/a.vel", FakeMap{Square(0, 0, c_nUnit), 28, 11, {"A", "B", "C"}, {"0 1 1 X", "1 2 2 Y"}});
  WriteFake(dir + "/b.vel", FakeMap{Square(c_nUnit, 0, c_nUnit), 28, 11, {"B", "D"}, {"0 3 3 Z"}});
  ASSERT_EQ(Build(dir), 2);
  const std::vector<uint8_t> good = ReadBytes(dir + "/Index.vidx");
  ASSERT_GT(good.size(), 32u + 160u + 6u);
  auto exercise = [&](const std::vector<uint8_t>& bytes) {
    Parsed parsed;
    ParseBytes(dir, bytes, parsed);
    if (!parsed.fOpen) return;
    CSink sink;
    sink.nScale = ScaleWithCode(24);
    parsed.p->Draw(&sink, nullptr);
    parsed.p->FindMapAt(MapPoint{1, 1});
    std::unique_ptr<CCitiesQuery> q(parsed.p->CreateCitiesQuery());
    const size_t cEntries = parsed.p->GetCityEntries().size();
    // Never more entries than bits after the part header allow.
    EXPECT_LE(cEntries, bytes.size() * 8);
    for (const VidxCityEntry& e : parsed.p->GetCityEntries()) EXPECT_LT(e.nMap, parsed.p->GetMapCount());
    if (q)
      for (uint32_t i = 0; i < q->GetCount() && i < 8; ++i) {
        CityItem item;
        std::memset(&item, 0, sizeof item);
        q->GetItem(i, &item, c_fofName);
        delete parsed.p->CreateObjectsQuery(i, rkPoint, 0x2F01, 0xFFFF);
      }
  };
  for (size_t cb = 0; cb <= good.size(); ++cb) exercise(std::vector<uint8_t>(good.begin(), good.begin() + cb));
  // Every byte flipped in turn.
  for (size_t i = 0; i < good.size(); ++i) {
    std::vector<uint8_t> bytes = good;
    bytes[i] ^= 0xA5;
    exercise(bytes);
  }
  // A city part that claims four billion entries of 64-bit indexes.
  std::vector<uint8_t> bytes = good;
  vidx::VidxHeader h;
  std::memcpy(&h, bytes.data(), sizeof h);
  const uint32_t dwPart = h.dwCityPart & vidx::c_dwCityPartMask;
  ASSERT_GT(dwPart, 0u);
  const uint32_t cHuge = 0xFFFFFFFFu;
  std::memcpy(&bytes[dwPart], &cHuge, 4);
  bytes[dwPart + 4] = 32;
  bytes[dwPart + 5] = 32;
  Parsed parsed;
  ParseBytes(dir, bytes, parsed);
  ASSERT_TRUE(parsed.fOpen);
  EXPECT_LE(parsed.p->GetCityEntries().size(), 1u);
  // Widths above 32 bits: no city list at all.
  bytes[dwPart + 4] = 40;
  ParseBytes(dir, bytes, parsed);
  ASSERT_TRUE(parsed.fOpen);
  EXPECT_TRUE(parsed.p->GetCityEntries().empty());
  // A city part offset past the end: the records run to the end of the file.
  bytes = good;
  h.dwCityPart = (h.dwCityPart & ~vidx::c_dwCityPartMask) | 0x00FFFFFF;
  std::memcpy(bytes.data(), &h, sizeof h);
  ParseBytes(dir, bytes, parsed);
  ASSERT_TRUE(parsed.fOpen);
  EXPECT_TRUE(parsed.p->GetCityEntries().empty());
  // Header and record sizes below the format's are refused.
  bytes = good;
  bytes[6] = 31;
  ParseBytes(dir, bytes, parsed);
  EXPECT_FALSE(parsed.fOpen);
  bytes = good;
  bytes[7] = 79;
  ParseBytes(dir, bytes, parsed);
  EXPECT_FALSE(parsed.fOpen);
}

TEST(VidxBadInput, AMemberNameNeverLeadsOutOfTheFolder) {
  const std::string dir = NewFolder("escape");
  const std::string inner = dir + "/inner";
  std::system(("mkdir -p '" + inner + "'").c_str());
  WriteFake(dir + "/outside.vel", FakeMap{Square(0, 0, 2 * c_nUnit), 28, 11, {}, {}});
  std::vector<uint8_t> v = IndexBytes(0, 0, {"../outside.vel"});
  ASSERT_TRUE(platform::WriteFileAtomic(Utf8ToU16(inner + "/Index.vidx").c_str(), v.data(), v.size()));
  Opened idx;
  ASSERT_TRUE(OpenCollection(inner, idx));
  g_drawn.clear();
  CSink sink;
  sink.nScale = ScaleWithCode(24);
  sink.rectView = Square(0, 0, c_nUnit);
  idx->Draw(&sink, nullptr);
  EXPECT_TRUE(g_drawn.empty());
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].first, c_idsCannotReadFile);
}

// ---------------------------------------------------------------------------
// Native members

const int32_t c_x0 = DegreesToMap(30.0) & ~255, c_y0 = DegreesToMap(60.0) & ~255;

std::vector<uint8_t> NativeMap(const std::vector<VelObject>& objects) {
  VelLevelInput level;
  level.wLevelCode = 24;
  level.objects = objects;
  VelWriterOptions opt;
  opt.strName = u"member";
  std::vector<uint8_t> out;
  std::string strError;
  EXPECT_TRUE(WriteVelMap(opt, {level}, out, strError)) << strError;
  return out;
}

VelObject Point(int32_t x, int32_t y, const std::u16string& strLabel) {
  VelObject o;
  o.nKind = rkPoint;
  o.wType = 0x2F01;
  o.points = {MapPoint{x, y}};
  o.strLabel = strLabel;
  return o;
}

TEST(VidxNative, ANearestSearchAtAMemberBorderFindsObjectsOfBothMembers) {
  const std::string dir = NewFolder("border");
  const int32_t d = MetresToMap(2000);   // each map 2 km wide
  const int32_t e = MetresToMap(40);     // 40 m north of the border point... and east/west
  // West map: x0-d .. x0; east map: x0 .. x0+d. Points 40 m (north-south) and
  // 80 m (east-west, at 60° one unit east is half as long) from the border.
  std::vector<uint8_t> west = NativeMap({Point(c_x0 - d, c_y0 - d, u"Угол запад"), Point(c_x0 - 2 * e, c_y0, u"Запад"),
                                         Point(c_x0 - e / 2, c_y0 + d, u"Север запад")});
  std::vector<uint8_t> east = NativeMap({Point(c_x0 + 2 * e, c_y0, u"Восток"), Point(c_x0 + d, c_y0 + d, u"Угол восток"),
                                         Point(c_x0 + e / 2, c_y0 - d, u"Юг восток")});
  ASSERT_TRUE(platform::WriteFileAtomic(Utf8ToU16(dir + "/west.vel").c_str(), west.data(), west.size()));
  ASSERT_TRUE(platform::WriteFileAtomic(Utf8ToU16(dir + "/east.vel").c_str(), east.data(), east.size()));
  ASSERT_EQ(Build(dir), 2);
  Opened idx;
  ASSERT_TRUE(OpenCollection(dir, idx));
  EXPECT_EQ(idx->FindMapAt(MapPoint{c_x0 + e, c_y0}), 0);  // east.vel comes first
  EXPECT_EQ(idx->FindMapAt(MapPoint{c_x0 - e, c_y0}), 1);

  std::unique_ptr<CMapQuery> q(idx->FindNearest(0, false, MapPoint{c_x0, c_y0}, 200, nullptr, nullptr, nullptr));
  ASSERT_TRUE(q);
  std::vector<std::string> files;
  std::vector<std::string> names = ItemNames(q.get(), &files);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Восток", "Запад"}));
  EXPECT_EQ(std::set<std::string>(files.begin(), files.end()), (std::set<std::string>{"east.vel", "west.vel"}));
  // Nearest points are measured from the reference given to the query.
  q->SetReference(MapPoint{c_x0, c_y0});
  FoundObject obj;
  std::memset(&obj, 0, sizeof obj);
  ASSERT_TRUE(q->GetItem(0, &obj, c_fofNearestPoint | c_fofReprPoint));
  EXPECT_EQ(obj.yRepr, c_y0);

  // Far inside the west map only the west map is searched.
  std::unique_ptr<CMapQuery> w(
      idx->FindNearest(0, false, MapPoint{c_x0 - d, c_y0 - d}, 200, nullptr, nullptr, nullptr));
  ASSERT_TRUE(w);
  files.clear();
  EXPECT_EQ(ItemNames(w.get(), &files), std::vector<std::string>{"Угол запад"});
  EXPECT_EQ(files, std::vector<std::string>{"west.vel"});

  // Drawing the border area draws both members with their objects.
  CSink sink;
  sink.nScale = ScaleWithCode(24);
  sink.rectView = MapRect{c_x0 - d, c_y0 - d, c_x0 + d, c_y0 + d};
  idx->Draw(&sink, nullptr);
  EXPECT_EQ(idx->GetCachedMembers(), (std::vector<uint32_t>{0, 1}));
  EXPECT_TRUE(sink.messages.empty());
}

#ifdef VELMO_CLI
std::string RunCli(const std::string& strArgs, int* pnExit) {
  const std::string strOut = std::string(VELMO_BINARY_DIR) + "/vidxtest-cli.out";
  int rc = std::system((std::string(VELMO_CLI) + " " + strArgs + " > '" + strOut + "' 2>/dev/null").c_str());
  *pnExit = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  std::ifstream f(strOut);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

TEST(VidxNative, TheCommandLineToolBuildsDescribesAndSearchesACollection) {
  const std::string dir = NewFolder("cli");
  const int32_t d = MetresToMap(2000);
  std::vector<uint8_t> west = NativeMap({Point(c_x0 - d / 2, c_y0, u"Запад")});
  std::vector<uint8_t> east = NativeMap({Point(c_x0 + d / 2, c_y0, u"Восток"), Point(c_x0 + d, c_y0 + d, u"Угол")});
  ASSERT_TRUE(platform::WriteFileAtomic(Utf8ToU16(dir + "/west.vel").c_str(), west.data(), west.size()));
  ASSERT_TRUE(platform::WriteFileAtomic(Utf8ToU16(dir + "/east.vel").c_str(), east.data(), east.size()));
  int nExit = -1;
  std::string out = RunCli("collection build '" + dir + "'", &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_NE(out.find("2 maps"), std::string::npos) << out;
  out = RunCli("collection info '" + dir + "'", &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_NE(out.find("version: 0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("maps: 2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n0 east.vel "), std::string::npos) << out;
  EXPECT_NE(out.find("\n1 west.vel "), std::string::npos) << out;
  EXPECT_EQ(out.find("replaced"), std::string::npos) << out;
  // The index records each member's size: a member written again behind
  // its back (the same write time second, another size) is told, and fails.
  {
    std::unique_ptr<CMapParser> map(OpenMapFile(Utf8ToU16(dir + "/Index.vidx").c_str(), false, c_fOpenAll));
    ASSERT_TRUE(map && AsVidxParser(map.get()));
    EXPECT_EQ(AsVidxParser(map.get())->GetMember(1).cbFile, west.size());
    EXPECT_FALSE(AsVidxParser(map.get())->IsMemberReplaced(1));
    uint64_t ft = 0;
    ASSERT_TRUE(platform::GetFileWriteTime(Utf8ToU16(dir + "/west.vel").c_str(), ft));
    std::vector<uint8_t> other = NativeMap({Point(c_x0 - d / 2, c_y0, u"Другой Запад"), Point(c_x0 - d, c_y0, u"Ещё")});
    ASSERT_NE(other.size(), west.size());
    ASSERT_TRUE(platform::WriteFileAtomic(Utf8ToU16(dir + "/west.vel").c_str(), other.data(), other.size()));
    struct timespec times[2];
    const int64_t ns = int64_t(ft - 116444736000000000ull) * 100;  // file time back to the Unix epoch
    times[0].tv_sec = times[1].tv_sec = time_t(ns / 1000000000);
    times[0].tv_nsec = times[1].tv_nsec = long(ns % 1000000000);
    ASSERT_EQ(utimensat(AT_FDCWD, (dir + "/west.vel").c_str(), times, 0), 0);
    EXPECT_TRUE(AsVidxParser(map.get())->IsMemberReplaced(1));
    EXPECT_FALSE(AsVidxParser(map.get())->IsMemberReplaced(0));
  }
  // Opened as the user opens it, the collection still opens and says so;
  // the About-map page marks the member.
  {
    MessageCatcher catcher;
    Opened opened;
    ASSERT_TRUE(OpenCollection(dir, opened));
    ASSERT_EQ(g_messages.size(), 1u) << U16ToUtf8(g_messages.back());
    EXPECT_NE(g_messages[0].find(Utf8ToU16(dir)), std::u16string::npos);
    char16_t sz[256];
    const std::u16string text = LoadResString(2184, sz, 256);
    EXPECT_NE(g_messages[0].find(text.substr(text.find(u"%s") + 2)), std::u16string::npos) << U16ToUtf8(g_messages[0]);
    const std::u16string about = DescribeMap(opened.p);
    EXPECT_NE(about.find(u"west.vel " + std::u16string(LoadResString(2186, sz, 256))), std::u16string::npos)
        << U16ToUtf8(about);
    EXPECT_EQ(about.find(u"east.vel ("), std::u16string::npos);
  }
  out = RunCli("collection info '" + dir + "'", &nExit);
  EXPECT_EQ(nExit, 1);
  EXPECT_NE(out.find("1 west.vel"), std::string::npos) << out;
  EXPECT_NE(out.find("(replaced since the index was built)"), std::string::npos) << out;
  out = RunCli("collection build '" + dir + "'", &nExit);
  out = RunCli("collection info '" + dir + "'", &nExit);
  EXPECT_EQ(nExit, 0) << out;
  {
    MessageCatcher catcher;
    Opened opened;
    ASSERT_TRUE(OpenCollection(dir, opened));
    EXPECT_TRUE(g_messages.empty());  // indexed again: nothing to tell
  }
  // The index opens wherever a map does: the nearest search covers both.
  char szArgs[256];
  std::snprintf(szArgs, sizeof szArgs, " %.7f %.7f 1200", MapToDegrees(c_y0), MapToDegrees(c_x0));
  out = RunCli("nearest '" + dir + "/Index.vidx'" + szArgs, &nExit);
  EXPECT_EQ(nExit, 0);
  EXPECT_NE(out.find("Запад"), std::string::npos) << out;
  EXPECT_NE(out.find("Восток"), std::string::npos) << out;
  EXPECT_EQ(out.find("Угол"), std::string::npos) << out;
}
#endif

// ---------------------------------------------------------------------------
// The OSM extracts and the demo region as one collection

bool Exists(const std::string& str) {
  struct stat st;
  return stat(str.c_str(), &st) == 0;
}

// Compiled once per run into one folder; empty when no extract is there.
const std::string& ExtractCollection() {
  static std::string s_strDir;
  static bool s_fDone = false;
  if (s_fDone) return s_strDir;
  s_fDone = true;
  const std::string dir = NewFolder("extracts");
  int cMaps = 0;
  for (const char* pszName : {"andorra", "monaco", "moscow", "north-bayreuth"}) {
    const std::string strPbf = std::string(VELMO_SHARED_DATA) + "/osm/" + pszName + ".osm.pbf";
    if (!Exists(strPbf)) continue;
    std::string strError;
    if (CompileOsmToVel(strPbf, dir + "/" + pszName + ".vel", "", VelWriterOptions(), strError)) ++cMaps;
  }
  if (cMaps == 0) return s_strDir;
  const std::string strOsm = dir + "/demo.osm";  // read by its extension; not a member
  std::string strError;
  if (std::system((std::string(VELMO_DEMOGEN) + " --size 2 -o '" + strOsm + "' > /dev/null").c_str()) == 0 &&
      CompileOsmToVel(strOsm, dir + "/demo.vel", "", VelWriterOptions(), strError))
    ++cMaps;
  std::remove(strOsm.c_str());
  s_strDir = dir;
  return s_strDir;
}

MapPoint Centre(const MapRect& r) {
  return MapPoint{int32_t((int64_t(r.left) + r.right) / 2), int32_t((int64_t(r.top) + r.bottom) / 2)};
}

TEST(VidxExtracts, DrawingAtAPointShowsTheMemberThatHoldsIt) {
  const std::string& dir = ExtractCollection();
  if (dir.empty()) GTEST_SKIP() << "no OSM extracts in " << VELMO_SHARED_DATA << "/osm";
  const int32_t cMaps = Build(dir);
  ASSERT_GE(cMaps, 2);
  Opened idx;
  ASSERT_TRUE(OpenCollection(dir, idx));
  ASSERT_EQ(idx->GetMapCount(), uint32_t(cMaps));
  for (uint32_t i = 0; i < idx->GetMapCount(); ++i) {
    const VidxMember m = idx->GetMember(i);
    SCOPED_TRACE(U16ToUtf8(m.strFileName));
    const MapPoint pt = Centre(m.rect);
    // The first member in record order that holds the point (members may
    // overlap: the demo region lies near Moscow).
    int nFirst = -1;
    for (uint32_t j = 0; j < idx->GetMapCount() && nFirst < 0; ++j)
      if (idx->GetMember(j).rect.Contains(pt)) nFirst = int(j);
    EXPECT_LE(nFirst, int(i));
    EXPECT_EQ(idx->FindMapAt(pt), nFirst);
    // A view of the member at its finest scale.
    CSink sink;
    sink.nScale = ScaleWithCode(m.wScaleFirst) ? ScaleWithCode(m.wScaleFirst) : 20;
    sink.rectView = m.rect;
    idx->Draw(&sink, nullptr);
    const std::vector<uint32_t> cached = idx->GetCachedMembers();
    EXPECT_NE(std::find(cached.begin(), cached.end(), i), cached.end());
    if (cached.size() != 1) continue;  // overlapping members: the last one drawn is shown
    EXPECT_EQ(idx->GetShownMember(), int(i));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_GT(sink.cPolygons + sink.cPolylines, 0u);
    // The description is the member's own.
    uint16_t wYear;
    uint8_t btMonth, btDay;
    char16_t szName[64] = {}, szNotice[128] = {};
    idx->GetDescription(&wYear, &btMonth, &btDay, szName, 64, szNotice, 128);
    std::unique_ptr<CMapParser> member(OpenMapFile(idx->GetMemberPath(i).c_str(), false, c_fOpenAll));
    ASSERT_TRUE(member);
    char16_t szOwn[64] = {}, szOwnNotice[128] = {};
    member->GetDescription(&wYear, &btMonth, &btDay, szOwn, 64, szOwnNotice, 128);
    EXPECT_EQ(std::u16string(szName), std::u16string(szOwn));
  }
  for (uint32_t i = 0; i < idx->GetMapCount(); ++i) EXPECT_TRUE(idx->GetRect().Contains(idx->GetMember(i).rect));
}

TEST(VidxExtracts, ACitySearchFindsCitiesOfEveryMemberInOneNameOrder) {
  const std::string& dir = ExtractCollection();
  if (dir.empty()) GTEST_SKIP() << "no OSM extracts in " << VELMO_SHARED_DATA << "/osm";
  ASSERT_GE(Build(dir), 2);
  Opened idx;
  ASSERT_TRUE(OpenCollection(dir, idx));
  // The members' own city lists.
  std::vector<std::u16string> all;
  std::set<uint32_t> withCities;
  for (uint32_t i = 0; i < idx->GetMapCount(); ++i) {
    std::unique_ptr<CMapParser> member(OpenMapFile(idx->GetMemberPath(i).c_str(), false, c_fOpenAll));
    ASSERT_TRUE(member);
    std::unique_ptr<CCitiesQuery> cities(member->CreateCitiesQuery());
    if (!cities || cities->GetCount() == 0) continue;
    withCities.insert(i);
    for (const std::u16string& s : CityNames(cities.get())) all.push_back(s);
  }
  if (withCities.empty()) GTEST_SKIP() << "the native maps carry no city index yet";
  std::unique_ptr<CCitiesQuery> cities(idx->CreateCitiesQuery());
  ASSERT_TRUE(cities);
  std::vector<std::u16string> merged = CityNames(cities.get());
  for (size_t i = 1; i < merged.size(); ++i)
    EXPECT_LE(CompareNamesNoCase(idx->GetLocale(), merged[i - 1].data(), merged[i - 1].size(), merged[i].data(),
                                 merged[i].size()),
              0);
  // Every member with cities is in the merged list, and every city name.
  std::set<uint32_t> seen;
  for (const VidxCityEntry& e : idx->GetCityEntries()) seen.insert(e.nMap);
  EXPECT_EQ(seen, withCities);
  EXPECT_EQ(idx->GetCityEntries().size(), all.size());
  std::set<std::u16string> names(all.begin(), all.end());
  EXPECT_EQ(std::set<std::u16string>(merged.begin(), merged.end()), names);
  // Each name is found by name.
  for (size_t i = 0; i < merged.size(); i += std::max<size_t>(1, merged.size() / 50)) {
    uint32_t n = cities->FindCityByName(merged[i].c_str());
    CityItem item;
    std::memset(&item, 0, sizeof item);
    ASSERT_TRUE(cities->GetItem(n, &item, c_fofName));
    EXPECT_EQ(CompareNamesNoCase(idx->GetLocale(), item.szName, platform::StrLen(item.szName), merged[i].data(),
                                 merged[i].size()),
              0);
  }
}

}  // namespace
