// Shared pieces of the IMG tests: opening bytes as a map, and a drawing
// context and label collector that record what a Draw pass hands them.
#pragma once
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "map/img/ImgParser.h"
#include "platform/Str.h"

namespace imgtest {

// Opens a copy of the bytes that lives as long as the test program (the
// parser points into them, as into a mapped file).
inline std::unique_ptr<CImgParser> OpenBytes(const std::vector<uint8_t>& bytes, DWORD dwFlags = c_fOpenAll) {
  static std::deque<std::vector<uint8_t>> s_kept;
  s_kept.push_back(bytes);
  const std::vector<uint8_t>& kept = s_kept.back();
  MapOpenContext ctx = {u"test.img", nullptr, kept.data(), uint32_t(kept.size())};
  std::unique_ptr<CImgParser> p(new CImgParser(ctx));
  if (!p->Open(dwFlags)) return nullptr;
  return p;
}

struct DrawnShape {
  int nKind;
  std::vector<VPoint> points;
  StyleHandle hStyle;
  bool fArrows;
};

// Screen = 24-bit units (map units >> 7); every object is large enough
// unless a minimum extent is set.
class CRecordingSink : public CDrawSink {
 public:
  int nScale = 0;
  MapRect rectVisible = c_rectWholePlane;
  int64_t cMinExtentMap = 0;  // objects smaller than this (map units) count as small
  uint32_t cYields = 0;
  uint32_t nInterruptAfter = 0;  // 0: never
  std::vector<DrawnShape> shapes;

  int GetScaleIndex() const override { return nScale; }
  MapRect GetVisibleRect() const override { return rectVisible; }
  int GetScaleFactorX() const override { return 1; }
  VPoint ToScreen(int32_t x, int32_t y) const override { return VPoint{x >> 7, y >> 7}; }
  bool IsAtLeast(const MapRect& r, int cxMin, int) const override {
    return r.Width() >= cMinExtentMap * cxMin / 2 || r.Height() >= cMinExtentMap * cxMin / 2;
  }
  void DrawPolygon(const VPoint* p, size_t c, StyleHandle h) override {
    shapes.push_back(DrawnShape{rkPolygon, std::vector<VPoint>(p, p + c), h, false});
  }
  void DrawPolyline(const VPoint* p, size_t c, StyleHandle h, StyleHandle) override {
    shapes.push_back(DrawnShape{rkPolyline, std::vector<VPoint>(p, p + c), h, false});
  }
  void DrawDirectionArrows(const VPoint*, size_t) override {
    if (!shapes.empty()) shapes.back().fArrows = true;
  }
  void Yield() override { ++cYields; }
  bool IsInterrupted() const override { return nInterruptAfter && cYields >= nInterruptAfter; }
  void ShowMapMessage(uint32_t, const char16_t*, const char16_t*) override {}

  size_t Count(int nKind) const {
    size_t c = 0;
    for (const DrawnShape& s : shapes) c += s.nKind == nKind;
    return c;
  }
};

struct CollectedLabel {
  int nKind;
  std::u16string strText;
  uint32_t dwTextRef;
  uint16_t wType;
  int32_t x, y;
};

class CRecordingLabels : public CLabelSink {
 public:
  std::vector<CollectedLabel> labels;
  void AddPointLabel(CMapParser*, uint16_t wType, const char16_t* p, size_t c, uint32_t dwRef, int32_t x, int32_t y,
                     uint16_t, StyleHandle, StyleHandle) override {
    labels.push_back(CollectedLabel{rkPoint, std::u16string(p, c), dwRef, wType, x, y});
  }
  void AddLineLabel(CMapParser*, uint16_t wType, bool, const char16_t* p, size_t c, uint32_t dwRef, const VPoint*,
                    size_t, const MapRect&, StyleHandle) override {
    labels.push_back(CollectedLabel{rkPolyline, std::u16string(p, c), dwRef, wType, 0, 0});
  }
  void AddAreaLabel(CMapParser*, uint16_t wType, const char16_t* p, size_t c, uint32_t dwRef, const VPoint*, size_t,
                    const MapRect&, StyleHandle) override {
    labels.push_back(CollectedLabel{rkPolygon, std::u16string(p, c), dwRef, wType, 0, 0});
  }
  bool Has(int nKind, const std::u16string& str) const {
    for (const CollectedLabel& l : labels)
      if (l.nKind == nKind && l.strText == str) return true;
    return false;
  }
};

inline std::string Utf8(const std::u16string& s) { return platform::U16ToUtf8(s); }

}  // namespace imgtest
