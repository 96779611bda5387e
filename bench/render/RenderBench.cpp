// Speed of the map display: full passes of a real map through the software
// canvas (with drawing, and with drawing left out to see the rest: decode,
// transform, labels), canvas primitives and label placement.
//
// The map is VELMO_BENCH_MAP, or Monaco compiled by velc from the shared
// OSM data into the build folder on first use.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "platform/posix/CanvasSoft.h"
#include "render/DrawTypes.h"
#include "render/LabelGen.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"

namespace {

// Measures text like the software canvas but draws nothing.
class CNoDrawCanvas : public platform::CSoftCanvas {
 public:
  CNoDrawCanvas(int cx, int cy) : CSoftCanvas(cx, cy) {}
  void Polygon(const VPoint*, int) override {}
  void Polyline(const VPoint*, int) override {}
  void TextOutAt(int, int, const char16_t*, int) override {}
  void DrawIcon(const platform::CIcon*, int, int, int, int) override {}
};

std::string MapPath() {
  if (const char* psz = std::getenv("VELMO_BENCH_MAP"))
    return psz;
  const std::string strMap = std::string(VELMO_BINARY_DIR) + "/bench/render/monaco.vel";
  if (!platform::FileExists(platform::Utf8ToU16(strMap).c_str())) {
    const std::string strCmd = std::string(VELMO_BINARY_DIR) + "/tools/velc/velc " + VELMO_SHARED_DATA +
                               "/osm/monaco.osm.pbf -o " + strMap + " > /dev/null";
    if (std::system(strCmd.c_str()) != 0)
      return std::string();
  }
  return strMap;
}

struct MapFixture {
  MapFixture() {
    render::SetScreenScale(1, 1);
    const std::u16string strRes = platform::Utf8ToU16(std::string(VELMO_SOURCE_DIR) + "/render/res");
    SetSkinFolder(strRes.c_str());
    platform::SetResourceFolder((strRes + u"/icons").c_str());
    InitDrawTypes();
    const std::string strMap = MapPath();
    if (!strMap.empty())
      pParser.reset(OpenMapFile(platform::Utf8ToU16(strMap).c_str(), false, c_fOpenAll));
  }
  std::unique_ptr<CMapParser> pParser;
};

MapFixture& Fixture() {
  static MapFixture s_fixture;
  return s_fixture;
}

void SetView(CMapPosition& view, int nScale) {
  view.SetScreenScale(1, 1);
  view.SetScale(size_t(nScale));
  view.SetCentre(DegreesToMap(7.4246), DegreesToMap(43.7384));
}

// A full pass of the map page at 1024 × 768 on the software canvas.
void BM_MapPass(benchmark::State& state) {
  MapFixture& f = Fixture();
  if (f.pParser == nullptr) {
    state.SkipWithError("no map (velc or the shared data missing)");
    return;
  }
  CMapPosition view;
  SetView(view, int(state.range(0)));
  CMapPageHost host;
  CMapRenderer renderer(&view, &host);
  renderer.SetClientSize(1024, 768);
  renderer.SetParser(f.pParser.get());
  for (auto _ : state)
    renderer.RefreshMap(true);
}
BENCHMARK(BM_MapPass)->Arg(2)->Arg(4)->Arg(6)->Arg(8)->Arg(12)->Arg(16)->Arg(20)->Unit(benchmark::kMillisecond);

// The same pass with drawing left out: reading, transform and labels;
// the second argument 1 places line labels against the grid as the map
// page does.
void BM_MapPassNoDraw(benchmark::State& state) {
  MapFixture& f = Fixture();
  if (f.pParser == nullptr) {
    state.SkipWithError("no map (velc or the shared data missing)");
    return;
  }
  CMapPosition view;
  SetView(view, int(state.range(0)));
  view.SetViewSize(1024, 768);
  view.SetOrigin(512, 384);
  CNoDrawCanvas canvas(1024, 768);
  CMapPageHost host;
  CLabelGen labels;
  labels.SetLinePlacement(state.range(1) != 0);
  for (auto _ : state) {
    CDrawContext ctx(&canvas, &view, &host);
    ctx.BeginAttempt();
    labels.SetContext(&canvas, &ctx);
    labels.Clear(1024, 768);
    f.pParser->Draw(&ctx, &labels);
    labels.DrawLabels(&ctx, &canvas);
    benchmark::DoNotOptimize(ctx.m_cPolygons);
  }
}
BENCHMARK(BM_MapPassNoDraw)
    ->ArgsProduct({{2, 4, 6, 8, 12, 16, 20}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_SoftPolygon(benchmark::State& state) {
  std::unique_ptr<platform::CCanvas> p(platform::CreateSoftCanvas(1024, 768));
  std::vector<VPoint> pts;
  for (int i = 0; i < 1000; ++i) {
    double a = i * 6.2831853 / 1000;
    double r = 300 + 60 * ((i * 7919) % 13) / 13.0;
    pts.push_back({512 + int(r * std::cos(a)), 384 + int(r * std::sin(a))});
  }
  platform::CBrush brush(platform::bkSolid, 0x80B8F8);
  p->SelectPen(platform::GetNullPen());
  p->SelectBrush(&brush);
  for (auto _ : state)
    p->Polygon(pts.data(), int(pts.size()));
}
BENCHMARK(BM_SoftPolygon)->Unit(benchmark::kMicrosecond);

void BM_SoftWidePolyline(benchmark::State& state) {
  std::unique_ptr<platform::CCanvas> p(platform::CreateSoftCanvas(1024, 768));
  std::vector<VPoint> pts;
  for (int i = 0; i < 200; ++i)
    pts.push_back({i * 5, 384 + int(200 * std::sin(i * 0.1))});
  platform::CPen pen(platform::psSolid, int(state.range(0)), 0x0000E6);
  p->SelectPen(&pen);
  for (auto _ : state)
    p->Polyline(pts.data(), int(pts.size()));
}
BENCHMARK(BM_SoftWidePolyline)->Arg(1)->Arg(5)->Unit(benchmark::kMicrosecond);

void BM_SoftRotatedText(benchmark::State& state) {
  std::unique_ptr<platform::CCanvas> p(platform::CreateSoftCanvas(1024, 768));
  platform::CFont font(u"Tahoma", 14, 0, platform::c_nFwNormal, int(state.range(0)) * 10);
  p->SelectFont(&font);
  p->SetBkMode(platform::bmTransparent);
  for (auto _ : state)
    p->TextOutAt(400, 400, u"Проспект Мира 12", 16);
}
BENCHMARK(BM_SoftRotatedText)->Arg(0)->Arg(30)->Unit(benchmark::kMicrosecond);

// 10 000 point labels on a 1024 × 768 grid.
void BM_PointLabels(benchmark::State& state) {
  std::unique_ptr<platform::CCanvas> p(platform::CreateSoftCanvas(1024, 768));
  platform::CFont font(u"Tahoma", 12, 0, platform::c_nFwNormal, 0);
  LabelStyle style = {&font, 0x606060};
  CLabelGen labels;
  labels.SetContext(p.get(), nullptr);
  for (auto _ : state) {
    labels.Clear(1024, 768);
    for (int i = 0; i < 10000; ++i)
      labels.AddPointLabel(nullptr, 1, u"Label", 5, uint32_t(i), (i * 7919) % 1024, (i * 104729) % 768,
                           uint16_t(i % 100), &style, nullptr);
    benchmark::DoNotOptimize(labels.Records().size());
  }
}
BENCHMARK(BM_PointLabels)->Unit(benchmark::kMicrosecond);

// Restart latency: a zoom key pressed while a pass draws a heavy map, just
// after a dispatch (the worst case: it waits for the next Yield that
// dispatches); the time until the new attempt starts.
class CHeavyParser : public CMapParser {
 public:
  bool Open(DWORD) override { return true; }
  void Draw(CDrawSink* pContext, CLabelSink*) override {
    if (m_fTiming && m_nAttempt++ == 1) {
      m_tRestarted = std::chrono::steady_clock::now();
      return;
    }
    platform::CBrush* pBrush = &m_brush;
    for (int i = 0; i < 200000; ++i) {
      const VPoint rg[4] = {{i % 1000, i % 700}, {i % 1000 + 30, i % 700}, {i % 1000 + 30, i % 700 + 30},
                            {i % 1000, i % 700 + 30}};
      pContext->DrawPolygon(rg, 4, pBrush);
      if ((i & 15) == 0) {
        pContext->Yield();
        if (pContext->IsInterrupted())
          return;
      }
    }
  }
  void GetLabel(int, int, uint16_t, uint32_t, char16_t* pszOut, int* pnFlag) override {
    pszOut[0] = 0;
    *pnFlag = 0;
  }
  platform::CBrush m_brush{platform::bkSolid, 0x80B8F8};
  bool m_fTiming = false;
  int m_nAttempt = 0;
  std::chrono::steady_clock::time_point m_tZoom, m_tRestarted;
};

class CZoomHost : public CMapPageHost {
 public:
  void DispatchPendingMessages(CDrawContext&) override {
    if (m_fZoomed)
      return;
    if (++m_cDispatches == 1) {
      m_pParser->m_tZoom = std::chrono::steady_clock::now();  // the key arrives now
      return;
    }
    m_fZoomed = true;
    m_pView->SetScale(m_pView->GetScale() - 1);
    m_pRenderer->RefreshMap(false);
  }
  bool m_fZoomed = false;
  int m_cDispatches = 0;
  CHeavyParser* m_pParser = nullptr;
  CMapPosition* m_pView = nullptr;
  CMapRenderer* m_pRenderer = nullptr;
};

void BM_RestartLatency(benchmark::State& state) {
  for (auto _ : state) {
    CHeavyParser parser;
    parser.m_fTiming = true;
    CMapPosition view;
    SetView(view, 12);
    CZoomHost host;
    CMapRenderer renderer(&view, &host);
    host.m_pParser = &parser;
    host.m_pView = &view;
    host.m_pRenderer = &renderer;
    renderer.SetClientSize(1024, 768);
    renderer.SetParser(&parser);
    renderer.RefreshMap(true);
    state.SetIterationTime(std::chrono::duration<double>(parser.m_tRestarted - parser.m_tZoom).count());
  }
}
BENCHMARK(BM_RestartLatency)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
