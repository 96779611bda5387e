// Any bytes as an IMG file: everything a user can make the reader do.
#include <cstring>
#include <memory>

#include "map/img/ImgParser.h"

namespace {

class CNullSink : public CDrawSink {
 public:
  int nScale = 0;
  int GetScaleIndex() const override { return nScale; }
  MapRect GetVisibleRect() const override { return c_rectWholePlane; }
  int GetScaleFactorX() const override { return 1; }
  VPoint ToScreen(int32_t x, int32_t y) const override { return VPoint{x >> 7, y >> 7}; }
  bool IsAtLeast(const MapRect&, int, int) const override { return true; }
  void DrawPolygon(const VPoint* p, size_t c, StyleHandle) override { Touch(p, c); }
  void DrawPolyline(const VPoint* p, size_t c, StyleHandle, StyleHandle) override { Touch(p, c); }
  void DrawDirectionArrows(const VPoint* p, size_t c) override { Touch(p, c); }
  void Yield() override {}
  bool IsInterrupted() const override { return false; }
  void ShowMapMessage(uint32_t, const char16_t*, const char16_t*) override {}
  int64_t lSum = 0;

 private:
  void Touch(const VPoint* p, size_t c) {
    for (size_t i = 0; i < c; ++i) lSum += p[i].x ^ p[i].y;
  }
};

class CLabelFetcher : public CLabelSink {
 public:
  explicit CLabelFetcher(int nScale) : m_nScale(nScale) {}
  void AddPointLabel(CMapParser* p, uint16_t wType, const char16_t*, size_t, uint32_t dwRef, int32_t, int32_t,
                     uint16_t, StyleHandle, StyleHandle) override {
    Fetch(p, rkPoint, wType, dwRef);
  }
  void AddLineLabel(CMapParser* p, uint16_t wType, bool, const char16_t*, size_t, uint32_t dwRef, const VPoint*,
                    size_t, const MapRect&, StyleHandle) override {
    Fetch(p, rkPolyline, wType, dwRef);
  }
  void AddAreaLabel(CMapParser* p, uint16_t wType, const char16_t*, size_t, uint32_t dwRef, const VPoint*, size_t,
                    const MapRect&, StyleHandle) override {
    Fetch(p, rkPolygon, wType, dwRef);
  }

 private:
  void Fetch(CMapParser* p, int nKind, uint16_t wType, uint32_t dwRef) {
    char16_t sz[64];
    int nFlag = 0;
    p->GetLabel(m_nScale, nKind, wType, dwRef, sz, &nFlag);
  }
  int m_nScale;
};

bool Visit(void*, const ImgObject&) { return true; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  if (cb > 0xFFFFFFFFu || !ProbeImgFile(pb, uint32_t(cb))) return 0;
  MapOpenContext ctx = {u"fuzz.img", nullptr, pb, uint32_t(cb)};
  CImgParser parser(ctx);
  if (!parser.Open(c_fOpenAll)) return 0;
  for (uint32_t l = 0; l < parser.GetLevelCount(); ++l) parser.ForEachObject(l, Visit, nullptr);
  for (int nScale : {0, 12, 26}) {
    CNullSink sink;
    sink.nScale = nScale;
    CLabelFetcher labels(nScale);
    parser.Draw(&sink, &labels);
  }
  uint16_t wYear;
  uint8_t btMonth, btDay;
  char16_t szName[64], szNotice[256];
  parser.GetDescription(&wYear, &btMonth, &btDay, szName, 64, szNotice, 256);
  const MapRect& r = parser.GetRect();
  const MapPoint pt = {int32_t((int64_t(r.left) + r.right) / 2), int32_t((int64_t(r.top) + r.bottom) / 2)};
  for (bool fUseScale : {false, true}) {
    std::unique_ptr<CMapQuery> q(parser.FindNearest(14, fUseScale, pt, 5000, nullptr, nullptr, nullptr));
    for (uint32_t i = 0; q && i < q->GetCount() && i < 1000; ++i) {
      FoundObject obj;
      q->GetItem(i, &obj, 0xFFFFFFFFu);
    }
  }
  return 0;
}
