// The draw sink of the map benchmarks: it draws nothing and counts the points
// handed to it, so a benchmark measures decoding and clipping alone. The view
// is 64 map units to the pixel, y upwards; rectView narrows what a parser walks.
#pragma once

#include <cstdint>

#include "map/DrawSink.h"

class CNullDrawSink : public CDrawSink {
 public:
  int nScale = 0;
  MapRect rectView = c_rectWholePlane;
  uint64_t cPoints = 0;

  int GetScaleIndex() const override { return nScale; }
  MapRect GetVisibleRect() const override { return rectView; }
  int GetScaleFactorX() const override { return 1; }
  VPoint ToScreen(int32_t x, int32_t y) const override { return VPoint{x >> 6, -(y >> 6)}; }
  bool IsAtLeast(const MapRect& r, int cx, int cy) const override {
    return (r.Width() >> 6) >= cx || (r.Height() >> 6) >= cy;
  }
  void DrawPolygon(const VPoint*, size_t c, StyleHandle) override { cPoints += c; }
  void DrawPolyline(const VPoint*, size_t c, StyleHandle, StyleHandle) override { cPoints += c; }
  void DrawDirectionArrows(const VPoint*, size_t) override {}
  void Yield() override {}
  bool IsInterrupted() const override { return false; }
  void ShowMapMessage(uint32_t, const char16_t*, const char16_t*) override {}
};
