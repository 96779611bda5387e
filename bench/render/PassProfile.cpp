// Where a map pass spends its time: the pass of the map page (map walk,
// then labels and icons) drawn through a canvas that counts and times every
// call it forwards to the build's own memory canvas (GDI on Windows, the
// software raster natively). Prints, for the median pass, the time of the
// map walk and of the labels, and per canvas call its count and time; the
// walk's time less its canvas calls is reading and transforming the map.
//
//   pass_profile MAP --scale N [--lat LAT --lon LON] [--size WxH] [--res DIR] [--passes N]
//
// Run the Windows build under Wine (scripts/wine-run) to see GDI's costs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "render/DrawTypes.h"
#include "render/LabelGen.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"

namespace {

typedef std::chrono::steady_clock Clock;

enum CallKind {
  ckSelectPen,
  ckSelectBrush,
  ckSelectFont,
  ckSetState,  // colours, background mode, brush origin
  ckPolygon,
  ckPolygonPattern,  // with a pattern brush
  ckPolyline,
  ckPolylineWide,  // pens wider than a pixel
  ckShapes,  // rectangles, ellipses, FillRect
  ckTextExtent,
  ckTextOut,
  ckDrawText,
  ckIcon,
  ckCount
};

const char* const c_rgCallNames[ckCount] = {"SelectPen",  "SelectBrush", "SelectFont", "colours/modes",
                                            "Polygon",    "Polygon pat.", "Polyline",  "Polyline wide",    "Rect/Fill",  "GetTextExtent",
                                            "TextOut",    "DrawText",    "DrawIcon"};

struct CallStats {
  uint64_t rgCount[ckCount] = {};
  double rgMs[ckCount] = {};
  uint64_t rgPoints[ckCount] = {};  // points of polygons and lines
  // Font selections that changed the font, and distinct fonts used.
  uint64_t cFontChanges = 0;
  double Total() const {
    double f = 0;
    for (double d : rgMs) f += d;
    return f;
  }
};

// Forwards every call to the inner canvas, counting and timing it.
class CProfileCanvas : public platform::CCanvas {
 public:
  explicit CProfileCanvas(platform::CCanvas* pInner) : m_pInner(pInner) {}
  CallStats m_stats;

  platform::CanvasKind Kind() const override { return m_pInner->Kind(); }
  int Width() const override { return m_pInner->Width(); }
  int Height() const override { return m_pInner->Height(); }

  const platform::CPen* SelectPen(const platform::CPen* p) override {
    Timer t(this, ckSelectPen);
    m_pPen = p;
    return m_pInner->SelectPen(p);
  }
  const platform::CBrush* SelectBrush(const platform::CBrush* p) override {
    Timer t(this, ckSelectBrush);
    m_pBrush = p;
    return m_pInner->SelectBrush(p);
  }
  const platform::CFont* SelectFont(const platform::CFont* p) override {
    Timer t(this, ckSelectFont);
    if (p != m_pFont)
      ++m_stats.cFontChanges;
    m_pFont = p;
    return m_pInner->SelectFont(p);
  }
  COLORREF SetTextColor(COLORREF cr) override {
    Timer t(this, ckSetState);
    return m_pInner->SetTextColor(cr);
  }
  COLORREF SetBkColor(COLORREF cr) override {
    Timer t(this, ckSetState);
    return m_pInner->SetBkColor(cr);
  }
  int SetBkMode(int n) override {
    Timer t(this, ckSetState);
    return m_pInner->SetBkMode(n);
  }
  void SetBrushOrigin(int x, int y) override {
    Timer t(this, ckSetState);
    m_pInner->SetBrushOrigin(x, y);
  }
  void Polygon(const VPoint* p, int c) override {
    const CallKind k = m_pBrush != nullptr && m_pBrush->m_kind == platform::bkPattern ? ckPolygonPattern : ckPolygon;
    Timer t(this, k);
    m_stats.rgPoints[k] += uint64_t(c > 0 ? c : 0);
    m_pInner->Polygon(p, c);
  }
  void Polyline(const VPoint* p, int c) override {
    const CallKind k = m_pPen != nullptr && m_pPen->m_nWidth > 1 ? ckPolylineWide : ckPolyline;
    Timer t(this, k);
    m_stats.rgPoints[k] += uint64_t(c > 0 ? c : 0);
    m_pInner->Polyline(p, c);
  }
  void Rectangle(int l, int t_, int r, int b) override {
    Timer t(this, ckShapes);
    m_pInner->Rectangle(l, t_, r, b);
  }
  void Ellipse(int l, int t_, int r, int b) override {
    Timer t(this, ckShapes);
    m_pInner->Ellipse(l, t_, r, b);
  }
  void FillRect(const VRect& rc, const platform::CBrush* p) override {
    Timer t(this, ckShapes);
    m_pInner->FillRect(rc, p);
  }
  platform::VSize GetTextExtent(const char16_t* p, int c) override {
    Timer t(this, ckTextExtent);
    return m_pInner->GetTextExtent(p, c);
  }
  void TextOutAt(int x, int y, const char16_t* p, int c) override {
    Timer t(this, ckTextOut);
    m_pInner->TextOutAt(x, y, p, c);
  }
  int DrawTextIn(const char16_t* p, int c, VRect& rc, uint32_t dw) override {
    Timer t(this, (dw & platform::dtCalcRect) ? ckTextExtent : ckDrawText);
    return m_pInner->DrawTextIn(p, c, rc, dw);
  }
  void DrawIcon(const platform::CIcon* p, int x, int y, int cx, int cy) override {
    Timer t(this, ckIcon);
    m_pInner->DrawIcon(p, x, y, cx, cy);
  }
  bool BitBlt(int xd, int yd, int cx, int cy, platform::CCanvas* pSrc, int xs, int ys) override {
    return m_pInner->BitBlt(xd, yd, cx, cy, pSrc, xs, ys);
  }
  bool StretchBlt(int xd, int yd, int cxd, int cyd, platform::CCanvas* pSrc, int xs, int ys, int cxs,
                  int cys) override {
    return m_pInner->StretchBlt(xd, yd, cxd, cyd, pSrc, xs, ys, cxs, cys);
  }
  COLORREF GetPixel(int x, int y) override { return m_pInner->GetPixel(x, y); }

 private:
  struct Timer {
    Timer(CProfileCanvas* p, CallKind k) : pThis(p), kind(k), t0(Clock::now()) {}
    ~Timer() {
      pThis->m_stats.rgMs[kind] += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
      ++pThis->m_stats.rgCount[kind];
    }
    CProfileCanvas* pThis;
    CallKind kind;
    Clock::time_point t0;
  };
  platform::CCanvas* m_pInner;
  const platform::CFont* m_pFont = nullptr;
  const platform::CPen* m_pPen = nullptr;
  const platform::CBrush* m_pBrush = nullptr;
};

struct PassResult {
  double fMapMs = 0;     // the map walk, drawing included
  double fLabelsMs = 0;  // labels and icons
  CallStats mapCalls;
  CallStats labelCalls;
  size_t cLabels = 0;
};

double Ms(Clock::time_point t0, Clock::time_point t1) {
  return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

void PrintCalls(const char* pszPhase, const CallStats& s) {
  for (int k = 0; k < ckCount; ++k) {
    if (s.rgCount[k] == 0)
      continue;
    std::printf("  %-7s %-14s %7llu calls %9.2f ms", pszPhase, c_rgCallNames[k],
                static_cast<unsigned long long>(s.rgCount[k]), s.rgMs[k]);
    if (s.rgPoints[k] != 0)
      std::printf("  (%llu points)", static_cast<unsigned long long>(s.rgPoints[k]));
    else if (k == ckSelectFont)
      std::printf("  (%llu changes)", static_cast<unsigned long long>(s.cFontChanges));
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* pszMap = nullptr;
  const char* pszRes = nullptr;
  double fLat = 43.7384, fLon = 7.4246;
  int nScale = 6, cx = 1024, cy = 768, cPasses = 15;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool fValue = i + 1 < argc;
    if (std::strcmp(a, "--scale") == 0 && fValue)
      nScale = std::atoi(argv[++i]);
    else if (std::strcmp(a, "--lat") == 0 && fValue)
      fLat = std::atof(argv[++i]);
    else if (std::strcmp(a, "--lon") == 0 && fValue)
      fLon = std::atof(argv[++i]);
    else if (std::strcmp(a, "--size") == 0 && fValue)
      std::sscanf(argv[++i], "%dx%d", &cx, &cy);
    else if (std::strcmp(a, "--res") == 0 && fValue)
      pszRes = argv[++i];
    else if (std::strcmp(a, "--passes") == 0 && fValue)
      cPasses = std::atoi(argv[++i]);
    else if (a[0] != '-' && pszMap == nullptr)
      pszMap = a;
    else {
      std::fprintf(stderr, "pass_profile: unknown argument %s\n", a);
      return 2;
    }
  }
  if (pszMap == nullptr || nScale < 0 || nScale > 26 || cx <= 0 || cy <= 0 || cx > 8192 || cy > 8192 ||
      cPasses < 1 || cPasses > 10000) {
    std::fprintf(stderr, "usage: pass_profile MAP --scale N [--lat LAT --lon LON] [--size WxH] [--res DIR] "
                         "[--passes N]\n");
    return 2;
  }
  render::SetScreenScale(1, 1);
  if (pszRes != nullptr) {
    const std::u16string strRes = platform::Utf8ToU16(pszRes);
    SetSkinFolder(strRes.c_str());
    platform::SetResourceFolder(platform::JoinPath(strRes, u"icons").c_str());
  }
  InitDrawTypes();
  std::unique_ptr<CMapParser> pParser(OpenMapFile(platform::Utf8ToU16(pszMap).c_str(), false, c_fOpenAll));
  if (pParser == nullptr) {
    std::fprintf(stderr, "pass_profile: cannot open %s\n", pszMap);
    FreeDrawTypes();
    return 1;
  }
  CMapPosition view;
  view.SetScreenScale(1, 1);
  view.SetScale(size_t(nScale));
  view.SetCentre(DegreesToMap(fLon), DegreesToMap(fLat));
  view.SetViewSize(cx, cy);
  view.SetOrigin(cx / 2, cy / 2);
  std::unique_ptr<platform::CCanvas> pSurface(platform::CreateMemoryCanvas(cx, cy));
  if (pSurface == nullptr) {
    std::fprintf(stderr, "pass_profile: no surface\n");
    FreeDrawTypes();
    return 1;
  }
  CMapPageHost host;
  CLabelGen labels;
  labels.SetLinePlacement(true);
  std::vector<PassResult> results;
  // One pass more than measured: the first realises pens, brushes and fonts.
  for (int iPass = 0; iPass <= cPasses; ++iPass) {
    CProfileCanvas canvas(pSurface.get());
    PassResult r;
    const auto t0 = Clock::now();
    canvas.FillRect({0, 0, cx, cy}, GetBackgroundBrush());
    CDrawContext ctx(&canvas, &view, &host);
    ctx.BeginAttempt();
    canvas.SetBkMode(platform::bmTransparent);
    canvas.SetBkColor(0xFFFFFF);
    labels.SetContext(&canvas, &ctx);
    labels.Clear(cx, cy);
    pParser->Draw(&ctx, &labels);
    const auto t1 = Clock::now();
    r.mapCalls = canvas.m_stats;
    canvas.m_stats = CallStats();
    labels.DrawLabels(&ctx, &canvas);
    const auto t2 = Clock::now();
    r.labelCalls = canvas.m_stats;
    r.fMapMs = Ms(t0, t1);
    r.fLabelsMs = Ms(t1, t2);
    r.cLabels = labels.Records().size();
    labels.SetContext(nullptr, nullptr);
    if (iPass > 0)
      results.push_back(r);
  }
  std::vector<size_t> order(results.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return results[a].fMapMs + results[a].fLabelsMs < results[b].fMapMs + results[b].fLabelsMs;
  });
  const PassResult& fastest = results[order.front()];
  const PassResult& median = results[order[order.size() / 2]];
  std::printf("scale %d, %dx%d, %d passes: fastest %.2f ms, median %.2f ms (drawing calls timed)\n", nScale, cx,
              cy, cPasses, fastest.fMapMs + fastest.fLabelsMs, median.fMapMs + median.fLabelsMs);
  std::printf("median pass: map walk %.2f ms (canvas calls %.2f ms, the rest %.2f ms reading and transforming), "
              "labels %.2f ms (canvas calls %.2f ms), %zu label records\n",
              median.fMapMs, median.mapCalls.Total(), median.fMapMs - median.mapCalls.Total(), median.fLabelsMs,
              median.labelCalls.Total(), median.cLabels);
  PrintCalls("map", median.mapCalls);
  PrintCalls("labels", median.labelCalls);
  pParser.reset();
  FreeDrawTypes();
  return 0;
}
