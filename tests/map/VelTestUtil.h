// Helpers of the native map tests: maps written with the writer and opened
// through the format list, decoded objects, recording drawing fakes.
#pragma once
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "map/DrawSink.h"
#include "map/MapParser.h"
#include "map/vel/VelParser.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "tools/velc/VelWriter.h"

namespace veltest {

// The process's anonymous resident memory in KB (RssAnon), -1 when unknown.
inline long AnonResidentKb() {
  std::ifstream in("/proc/self/status");
  std::string str;
  while (std::getline(in, str))
    if (str.compare(0, 8, "RssAnon:") == 0) return std::atol(str.c_str() + 8);
  return -1;
}

inline std::u16string TempMapPath(const std::string& strName) {
  static std::atomic<int> s_n{0};
  return platform::Utf8ToU16(std::string(VELMO_BINARY_DIR) + "/veltest-" + strName + "-" + std::to_string(++s_n) +
                             ".vel");
}

// Writes the bytes to a file and opens it through the format list.
inline CVelParser* OpenBytes(const std::vector<uint8_t>& bytes, const std::string& strName = "map",
                             DWORD dwFlags = c_fOpenAll) {
  std::u16string strPath = TempMapPath(strName);
  if (!platform::WriteFileAtomic(strPath.c_str(), bytes.data(), bytes.size())) return nullptr;
  return static_cast<CVelParser*>(OpenMapFile(strPath.c_str(), false, dwFlags));
}

struct Decoded {
  uint32_t nLevel;
  int nKind;
  uint16_t wType;
  std::u16string strLabel;
  uint32_t dwLabelRef;
  bool fDirection;
  std::vector<MapPoint> points;
  VelRecord rec;
};

inline bool CollectOne(void* pContext, const VelRecord& rec, const MapPoint* pPoints, const char16_t* pszLabel,
                       uint32_t nLevel, const VelBlockInfo&) {
  auto* pOut = static_cast<std::vector<Decoded>*>(pContext);
  Decoded d{nLevel, rec.nKind, rec.wType, std::u16string(pszLabel, rec.cLabel), rec.dwLabelRef, rec.fDirection,
            std::vector<MapPoint>(pPoints, pPoints + rec.cPoints), rec};
  pOut->push_back(std::move(d));
  return true;
}

inline std::vector<Decoded> DecodeAll(CVelParser* p, bool* pfComplete = nullptr) {
  std::vector<Decoded> out;
  bool fComplete = true;
  for (uint32_t i = 0; i < p->GetLevelCount(); ++i)
    if (!p->ForEachObject(i, CollectOne, &out)) fComplete = false;
  if (pfComplete) *pfComplete = fComplete;
  return out;
}

// A line of the finest level with its road graph fields.
struct DecodedRoad {
  uint32_t dwOffset;
  uint16_t wType;
  std::u16string strLabel;
  bool fHasNodes, fHasAttributes;
  uint16_t wAttributes;
  bool fDirection;
  std::vector<MapPoint> points;
  std::vector<int32_t> nodes;  // per point, -1 = no node
  // The graph nodes of the road in point order.
  std::vector<int32_t> NodeSequence() const {
    std::vector<int32_t> seq;
    for (int32_t n : nodes)
      if (n >= 0) seq.push_back(n);
    return seq;
  }
};

inline std::vector<DecodedRoad> DecodeRoads(CVelParser* p, bool* pfComplete = nullptr) {
  struct Ctx {
    CVelParser* p;
    std::vector<DecodedRoad> out;
  } ctx{p, {}};
  auto collect = [](void* pv, const VelRecord& rec, const MapPoint* pPoints, const char16_t* pszLabel, uint32_t,
                    const VelBlockInfo&) {
    Ctx& c = *static_cast<Ctx*>(pv);
    if (rec.nKind != rkPolyline) return true;
    DecodedRoad r{rec.dwOffset, rec.wType, std::u16string(pszLabel, rec.cLabel), rec.fHasNodes, rec.fHasAttributes,
                  rec.wRoadAttributes, rec.fDirection, std::vector<MapPoint>(pPoints, pPoints + rec.cPoints),
                  std::vector<int32_t>(c.p->GetPointNodes(), c.p->GetPointNodes() + rec.cPoints)};
    c.out.push_back(std::move(r));
    return true;
  };
  bool fComplete = p->GetLevelCount() && p->ForEachObject(p->GetLevelCount() - 1, collect, &ctx);
  if (pfComplete) *pfComplete = fComplete;
  return ctx.out;
}

// A drawing context that records what it is asked to draw. Screen
// coordinates are map units >> 8 relative to the view rectangle.
class CRecordingSink : public CDrawSink {
 public:
  int nScale = 0;
  MapRect rectView = c_rectWholePlane;
  int nScaleFactor = 1;
  int nShift = 8;
  int cInterruptAfterYields = -1;  // -1: never
  int cYields = 0;
  std::vector<std::pair<uint16_t, size_t>> polygons;   // (type via brush tag, points)
  std::vector<size_t> polylines;
  int cArrows = 0;
  std::vector<uint32_t> messages;

  int nDetail = 0;
  int GetScaleIndex() const override { return nScale; }
  int GetMapDetail() const override { return nDetail; }
  MapRect GetVisibleRect() const override { return rectView; }
  int GetScaleFactorX() const override { return nScaleFactor; }
  VPoint ToScreen(int32_t x, int32_t y) const override { return VPoint{x >> nShift, -(y >> nShift)}; }
  bool IsAtLeast(const MapRect& r, int cx, int cy) const override {
    return (r.Width() >> nShift) >= cx || (r.Height() >> nShift) >= cy;
  }
  void DrawPolygon(const VPoint*, size_t c, StyleHandle) override { polygons.push_back({0, c}); }
  void DrawPolyline(const VPoint*, size_t c, StyleHandle, StyleHandle) override { polylines.push_back(c); }
  void DrawDirectionArrows(const VPoint*, size_t) override { ++cArrows; }
  void Yield() override { ++cYields; }
  bool IsInterrupted() const override { return cInterruptAfterYields >= 0 && cYields >= cInterruptAfterYields; }
  void ShowMapMessage(uint32_t id, const char16_t*, const char16_t*) override { messages.push_back(id); }
};

class CRecordingLabels : public CLabelSink {
 public:
  struct Entry {
    int nKind;
    uint16_t wType;
    std::u16string strText;
    uint32_t dwRef;
    bool fHasIcon;
  };
  std::vector<Entry> entries;
  void AddPointLabel(CMapParser*, uint16_t wRef, const char16_t* p, size_t c, uint32_t dwRef, int32_t, int32_t,
                     uint16_t, StyleHandle, StyleHandle hIcon) override {
    entries.push_back({rkPoint, wRef, std::u16string(p, c), dwRef, hIcon != nullptr});
  }
  void AddLineLabel(CMapParser*, uint16_t wRef, bool, const char16_t* p, size_t c, uint32_t dwRef, const VPoint*,
                    size_t, const MapRect&, StyleHandle) override {
    entries.push_back({rkPolyline, wRef, std::u16string(p, c), dwRef, false});
  }
  void AddAreaLabel(CMapParser*, uint16_t wRef, const char16_t* p, size_t c, uint32_t dwRef, const VPoint*, size_t,
                    const MapRect&, StyleHandle) override {
    entries.push_back({rkPolygon, wRef, std::u16string(p, c), dwRef, false});
  }
};

}  // namespace veltest
