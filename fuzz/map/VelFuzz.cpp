// libFuzzer target of the native map reader: Open with every flag, Draw at
// a few scales over the whole map, GetLabel on every label handed out and on
// arbitrary offsets, the nearest search with every item decoded, a road route,
// and the city, object and address searches over the indexes. The input lies in a buffer of exactly its size,
// so any read past the end is caught by the address sanitiser.
#include <cstdint>
#include <cstring>
#include <vector>

#include "map/RouteOptions.h"
#include "map/vel/VelParser.h"
#include "routing/search/RoadRouter.h"
#include "platform/Debug.h"

namespace {

class CNullSink : public CDrawSink {
 public:
  int nScale = 0;
  int GetScaleIndex() const override { return nScale; }
  MapRect GetVisibleRect() const override { return c_rectWholePlane; }
  int GetScaleFactorX() const override { return 1; }
  VPoint ToScreen(int32_t x, int32_t y) const override { return VPoint{x >> 12, y >> 12}; }
  bool IsAtLeast(const MapRect& r, int cx, int cy) const override {
    return (r.Width() >> 12) >= cx || (r.Height() >> 12) >= cy;
  }
  void DrawPolygon(const VPoint* p, size_t c, StyleHandle) override { Touch(p, c); }
  void DrawPolyline(const VPoint* p, size_t c, StyleHandle, StyleHandle) override { Touch(p, c); }
  void DrawDirectionArrows(const VPoint* p, size_t c) override { Touch(p, c); }
  void Yield() override {}
  bool IsInterrupted() const override { return false; }
  void ShowMapMessage(uint32_t, const char16_t*, const char16_t*) override {}
  int64_t nSum = 0;

 private:
  void Touch(const VPoint* p, size_t c) {
    for (size_t i = 0; i < c; ++i) nSum += p[i].x ^ p[i].y;
  }
};

class CLabelRefs : public CLabelSink {
 public:
  std::vector<std::pair<int, uint32_t>> refs;
  void AddPointLabel(CMapParser*, uint16_t, const char16_t*, size_t, uint32_t dwRef, int32_t, int32_t, uint16_t,
                     StyleHandle, StyleHandle) override {
    refs.push_back({rkPoint, dwRef});
  }
  void AddLineLabel(CMapParser*, uint16_t, bool, const char16_t*, size_t, uint32_t dwRef, const VPoint*, size_t,
                    const MapRect&, StyleHandle) override {
    refs.push_back({rkPolyline, dwRef});
  }
  void AddAreaLabel(CMapParser*, uint16_t, const char16_t*, size_t, uint32_t dwRef, const VPoint*, size_t,
                    const MapRect&, StyleHandle) override {
    refs.push_back({rkPolygon, dwRef});
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb) {
  static bool s_fInit = false;
  if (!s_fInit) {
    platform::SetAssertHook([](const char*, const char*, int) {});  // damaged data breaks invariants
    s_fInit = true;
  }
  if (cb > (1u << 24)) return 0;
  std::vector<uint8_t> buf(pData, pData + cb);
  if (cb >= 12) {
    // Let most inputs past the size check the probe makes.
    uint32_t cb32 = uint32_t(cb);
    std::memcpy(&buf[8], &cb32, 4);
  }
  MapOpenContext ctx{u"fuzz.vel", nullptr, buf.data(), uint32_t(cb)};
  CVelParser parser(ctx);
  if (!parser.Open(c_fOpenAll)) return 0;
  for (int nScale : {0, 9, 18, 26}) {
    CNullSink sink;
    sink.nScale = nScale;
    CLabelRefs labels;
    parser.Draw(&sink, &labels);
    for (auto& r : labels.refs) {
      char16_t sz[64];
      int nFlag;
      parser.GetLabel(nScale, r.first, 0, r.second, sz, &nFlag);
    }
  }
  // Nearest searches around the map's middle and a corner, with and without
  // the name filter, every item decoded with every request flag.
  const MapRect& r = parser.GetRect();
  const MapPoint aPoints[2] = {{int32_t((int64_t(r.left) + r.right) / 2), int32_t((int64_t(r.top) + r.bottom) / 2)},
                               {r.left, r.top}};
  for (int i = 0; i < 4; ++i) {
    const KindType aTypes[2] = {{rkPolyline, 6}, {rkPolygon, 0x13}};
    const MapTypeFilter filter = {aTypes, 2};
    CMapQuery* pQuery = parser.FindNearest(uint32_t(i * 7), i % 2 != 0, aPoints[i / 2], i < 2 ? 500 : 100000,
                                           i == 3 ? &filter : nullptr, i == 1 ? u"a" : nullptr, nullptr);
    if (!pQuery) continue;
    pQuery->SetReference(aPoints[1 - i / 2]);
    for (uint32_t k = 0; k < pQuery->GetCount() && k < 4096; ++k) {
      FoundObject obj;
      std::memset(&obj, 0, sizeof obj);
      pQuery->GetItem(k, &obj, 0xFFFFFFFFu);
      pQuery->GetItem(k, &obj, 2);
    }
    delete pQuery;
  }
  // The border keys, each looked at.
  {
    uint64_t qwSum = 0;
    const uint32_t cKeys = parser.GetBorderKeyCount();
    for (uint32_t k = 0; k < cKeys && k < 65536; ++k) qwSum += parser.GetBorderKey(k).qwKey;
    volatile uint64_t qwSink = qwSum;
    (void)qwSink;
  }
  // A route between the middle and a point a third of the way in, with a
  // work limit, twice (the second reuses the graph), by time and by length.
  if (CRoadRouter* pRouter = parser.GetRouter()) {
    pRouter->SetWorkLimit(20000);
    const MapPoint ptThird = {int32_t(r.left + (int64_t(r.right) - r.left) / 3),
                              int32_t(r.top + (int64_t(r.bottom) - r.top) / 3)};
    for (int i = 0; i < 2; ++i) {
      RouteOptions options;
      options.fTimeBased = i;
      options.nVehicle = i ? rvPedestrian : rvCar;
      options.fAvoidUTurns = uint8_t(i);
      options.fMotionValid = i == 1;
      options.dCourse = 45;
      options.dSpeedKmh = 30;
      parser.FindRoute(aPoints[0], ptThird, &options, nullptr);
    }
  }
  // The index searches: every city (by name too), objects of a few types
  // in a few cities with every item decoded, and the address search.
  if (CCitiesQuery* pCities = parser.CreateCitiesQuery()) {
    for (uint32_t k = 0; k < pCities->GetCount() && k < 512; ++k) {
      CityItem item;
      std::memset(&item, 0, sizeof item);
      pCities->GetItem(k, &item, k % 2 ? 2 : 0);
    }
    pCities->FindCityByName(u"\u041c\u043e");
    delete pCities;
  }
  for (uint32_t nCity : {0xFFFFFFFFu, 0u, 1u, 7u}) {
    for (uint16_t wType : {uint16_t(0x2F01), uint16_t(0x0100), uint16_t(0), uint16_t(6)}) {
      parser.FindObjectType(rkPoint, wType, 0x2F01);
      for (uint16_t wSub : {uint16_t(0xFFFF), uint16_t(0x2F01)}) {
        CMapQuery* pQuery = parser.CreateObjectsQuery(nCity, rkPoint, wType, wSub);
        if (!pQuery) continue;
        for (uint32_t k = 0; k < pQuery->GetCount() && k < 256; ++k) {
          FoundObject obj;
          std::memset(&obj, 0, sizeof obj);
          pQuery->GetItem(k, &obj, 0xFFFFFFFFu);
          pQuery->GetItem(k, &obj, 2);
        }
        pQuery->FindByName(u"b");
        delete pQuery;
      }
    }
    CMapQuery* pQuery = parser.FindByAddress(nCity, u"", nCity ? u"a" : u"", nCity == 1 ? u"1" : u"", nullptr);
    if (pQuery) {
      for (uint32_t k = 0; k < pQuery->GetCount() && k < 256; ++k) {
        FoundObject obj;
        std::memset(&obj, 0, sizeof obj);
        pQuery->GetItem(k, &obj, 0xFFFFFFFFu);
      }
      delete pQuery;
    }
  }
  for (uint32_t off : {0u, uint32_t(cb / 2), uint32_t(cb ? cb - 1 : 0), uint32_t(cb), 0xFFFFFFFFu}) {
    VelBlockOf block;
    parser.FindBlockOf(off, block);
  }
  char16_t sz[64];
  int nFlag;
  for (uint32_t off : {0u, uint32_t(cb / 2), uint32_t(cb ? cb - 1 : 0), uint32_t(cb), 0xFFFFFFFFu})
    parser.GetLabel(0, rkPoint, 0, off, sz, &nFlag);
  return 0;
}
