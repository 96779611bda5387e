// libFuzzer target of the map collection reader: Open, Draw at a few scales
// and views, FindMapAt, the merged city list with every item and the
// searches over a city's members. The index lies in a buffer of exactly its
// size; its folder holds one small native map, "m.vel", written at start,
// so records that name it reach a real member.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "map/vidx/VidxParser.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "tools/velc/VelWriter.h"

namespace {

class CNullSink : public CDrawSink {
 public:
  int nScale = 0;
  MapRect rectView = c_rectWholePlane;
  int GetScaleIndex() const override { return nScale; }
  MapRect GetVisibleRect() const override { return rectView; }
  int GetScaleFactorX() const override { return 1; }
  VPoint ToScreen(int32_t x, int32_t y) const override { return VPoint{x >> 12, y >> 12}; }
  bool IsAtLeast(const MapRect& r, int cx, int cy) const override {
    return (r.Width() >> 12) >= cx || (r.Height() >> 12) >= cy;
  }
  void DrawPolygon(const VPoint*, size_t, StyleHandle) override {}
  void DrawPolyline(const VPoint*, size_t, StyleHandle, StyleHandle) override {}
  void DrawDirectionArrows(const VPoint*, size_t) override {}
  void Yield() override {}
  bool IsInterrupted() const override { return false; }
  void ShowMapMessage(uint32_t, const char16_t*, const char16_t*) override {}
};

std::u16string MakeFolder() {
  char szDir[] = "/tmp/velmo-fuzz-vidx-XXXXXX";
  if (!mkdtemp(szDir)) std::abort();
  VelLevelInput level;
  level.wLevelCode = 24;
  const int32_t x0 = 1 << 28, y0 = 1 << 28;
  for (int i = 0; i < 4; ++i) {
    VelObject o;
    o.nKind = i % 3;
    o.wType = uint16_t(0x10 + i);
    o.points = {MapPoint{x0 + i * 4096, y0}, MapPoint{x0 + i * 4096 + 2048, y0 + 2048},
                MapPoint{x0 + i * 4096, y0 + 4096}};
    if (o.nKind == 0) o.points.resize(1);
    o.strLabel = u"obj";
    level.objects.push_back(o);
  }
  VelWriterOptions opt;
  std::vector<uint8_t> bytes;
  std::string strError;
  if (!WriteVelMap(opt, {level}, bytes, strError)) std::abort();
  std::u16string strDir = platform::Utf8ToU16(szDir);
  if (!platform::WriteFileAtomic((strDir + u"/m.vel").c_str(), bytes.data(), bytes.size())) std::abort();
  return strDir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb) {
  static std::u16string s_strIndex;
  if (s_strIndex.empty()) {
    platform::SetAssertHook([](const char*, const char*, int) {});  // damaged data breaks invariants
    s_strIndex = MakeFolder() + u"/Index.vidx";
  }
  if (cb > (1u << 20)) return 0;
  std::vector<uint8_t> buf(pData, pData + cb);
  MapOpenContext ctx{s_strIndex.c_str(), nullptr, buf.data(), uint32_t(cb)};
  CVidxParser parser(ctx);
  if (!parser.Open(c_fOpenAll)) return 0;
  for (int nScale : {0, 9, 18, 26}) {
    CNullSink sink;
    sink.nScale = nScale;
    parser.Draw(&sink, nullptr);
    sink.rectView = MapRect{1 << 28, 1 << 28, (1 << 28) + (1 << 14), (1 << 28) + (1 << 14)};
    parser.Draw(&sink, nullptr);
  }
  parser.FindMapAt(MapPoint{1 << 28, 1 << 28});
  char16_t szName[261];
  parser.GetFileName(szName);
  if (CCitiesQuery* pCities = parser.CreateCitiesQuery()) {
    const uint32_t c = pCities->GetCount();
    for (uint32_t i = 0; i < c && i < 64; ++i) {
      CityItem item;
      std::memset(&item, 0, sizeof item);
      pCities->GetItem(i, &item, 0xFFFF);
      if (i < 4) {
        delete parser.CreateObjectsQuery(i, rkPoint, 0x10, 0xFFFF);
        delete parser.FindByAddress(i, nullptr, u"obj", nullptr, nullptr);
      }
    }
    delete pCities;
  }
  if (CMapQuery* pQuery = parser.FindNearest(0, false, MapPoint{1 << 28, 1 << 28}, 500, nullptr, nullptr, nullptr)) {
    for (uint32_t i = 0; i < pQuery->GetCount() && i < 64; ++i) {
      FoundObject obj;
      std::memset(&obj, 0, sizeof obj);
      pQuery->GetItem(i, &obj, 0xFFFF);
    }
    delete pQuery;
  }
  return 0;
}
