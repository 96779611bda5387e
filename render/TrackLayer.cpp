#include "render/TrackLayer.h"

#include "render/MapPage.h"
#include "render/Screen.h"

using platform::CCanvas;

int GetTrackPenWidth() { return render::PickByDpi(2, 4); }

namespace {

struct TrackDraw {
  CCanvas* pCanvas;
  VisualTracking::ToScreenFn pfnToScreen;
  TrackInterruptedFn pfnInterrupted;
  void* pContext;
  const platform::CPen* pPen;
};

VPoint ToScreen(int32_t x, int32_t y, void* p) {
  TrackDraw* pDraw = static_cast<TrackDraw*>(p);
  return pDraw->pfnToScreen(x, y, pDraw->pContext);
}

bool DrawPolyline(const VPoint* pPoints, int cPoints, void* p) {
  TrackDraw* pDraw = static_cast<TrackDraw*>(p);
  if (pDraw->pfnInterrupted != nullptr && pDraw->pfnInterrupted(pDraw->pContext))
    return false;
  const platform::CPen* pOld = pDraw->pCanvas->SelectPen(pDraw->pPen);
  pDraw->pCanvas->Polyline(pPoints, cPoints);
  pDraw->pCanvas->SelectPen(pOld);
  return true;
}

VPoint PassToScreen(int32_t x, int32_t y, void* p) { return static_cast<CDrawContext*>(p)->ToScreen(x, y); }

bool PassInterrupted(void* p) {
  CDrawContext* pCtx = static_cast<CDrawContext*>(p);
  pCtx->Yield();
  return pCtx->IsInterrupted();
}

}  // namespace

void DrawTrack(CCanvas& canvas, VisualTracking::ToScreenFn pfnToScreen, TrackInterruptedFn pfnInterrupted,
               void* pContext) {
  const platform::CPen pen(platform::psSolid, GetTrackPenWidth(), c_crTrack);
  TrackDraw draw = {&canvas, pfnToScreen, pfnInterrupted, pContext, &pen};
  VisualTracking::WalkTrackLog(canvas.Width(), canvas.Height(), ToScreen, DrawPolyline, &draw);
}

void DrawTrackLayer(CDrawContext& ctx) {
  if (ctx.GetCanvas() == nullptr)
    return;
  DrawTrack(*ctx.GetCanvas(), PassToScreen, PassInterrupted, &ctx);
}
