// The map page's drawing pass and painting.
#include "render/MapPage.h"

#include <algorithm>
#include <cmath>

#include "res/Failure.h"
#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "map/MapFiles.h"
#include "map/MapParser.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "render/DrawTypes.h"
#include "render/PointFilter.h"
#include "render/Screen.h"
#include "view/FastMath.h"
#include "view/MapUnits.h"


using platform::CCanvas;
using render::ScaleX;
using render::ScaleY;

std::atomic<uint32_t> g_cFinishedAttempts{0};

namespace {
const uint32_t c_dwYieldMs = 20;
const uint32_t c_idsMapFailure = 2007;
const size_t c_cchMapMessage = 520;
}  // namespace

void CMapPageHost::ShowMessage(const char16_t* pszText) { ReportFailureText(0, pszText); }
uint32_t CMapPageHost::GetTickMs() { return platform::GetTickMs(); }

// ---------------------------------------------------------------------------
// CDrawContext

CDrawContext::CDrawContext(CCanvas* pCanvas, CMapPosition* pView, CMapPageHost* pHost)
    : m_cPolygons(0),
      m_cPolylines(0),
      m_cPoints(0),
      m_pCanvas(pCanvas),
      m_pView(pView),
      m_pHost(pHost),
      m_rcVisible{0, 0, 0, 0},
      m_btRestart(0),
      m_btStop(0),
      m_dwLastYield(pHost != nullptr ? pHost->GetTickMs() : 0) {}

void CDrawContext::BeginAttempt() {
  if (m_pView != nullptr) {
    const MapRectL rc = m_pView->GetViewRect();
    m_rcVisible = {rc.left, rc.top, rc.right, rc.bottom};
  }
  m_dwLastYield = m_pHost != nullptr ? m_pHost->GetTickMs() : 0;
  m_btRestart = 0;
  m_btStop = 0;
  m_cPolygons = m_cPolylines = m_cPoints = 0;
}

int CDrawContext::GetScaleIndex() const { return m_pView != nullptr ? int(m_pView->GetScale()) : 0; }
// (Stored as a DWORD: a coarser detail is a negative number's bits.)
int CDrawContext::GetMapDetail() const { return int(int32_t(GetSetting(setting::MapDetail))); }
int CDrawContext::GetScaleFactorX() const { return render::GetScaleFactorX(); }

VPoint CDrawContext::ToScreen(int32_t x, int32_t y) const {
  return m_pView != nullptr ? m_pView->ToScreen(x, y) : VPoint{x, y};
}

void CDrawContext::ToScreenMany(const MapPoint* pMap, VPoint* pScreen, size_t cPoints) const {
  if (m_pView != nullptr)
    m_pView->ToScreenMany(pMap, pScreen, cPoints);
}

bool CDrawContext::IsAtLeast(const MapRect& rect, int cxMin, int cyMin) const {
  if (m_pView == nullptr)
    return true;
  return m_pView->IsAtLeast(MapRectL{rect.left, rect.top, rect.right, rect.bottom}, cxMin, cyMin);
}

namespace {

// Beyond this many pixels outside the surface (more than half a pen's
// width) points are thinned; see ThinScreenPoints.
const int c_nThinMargin = 4;

// Segments per piece of a wide line.
const int c_cWidePieceSegments = 4;

bool IsSolidPen(const platform::CPen* pPen) { return pPen->m_nStyle == platform::psSolid; }

}  // namespace

void CDrawContext::DrawPolygon(const VPoint* pPoints, size_t cPoints, StyleHandle hBrush) {
  if (m_pCanvas == nullptr || pPoints == nullptr || cPoints < 3 || cPoints > 0x7FFFFFFF)
    return;
  ++m_cPolygons;
  const size_t c = ThinScreenPoints(pPoints, cPoints, m_pCanvas->Width(), m_pCanvas->Height(), c_nThinMargin,
                                    m_thinned);
  if (c < 3)
    return;  // wholly beyond one side
  m_pCanvas->SelectPen(platform::GetNullPen());
  m_pCanvas->SelectBrush(static_cast<const platform::CBrush*>(hBrush));
  m_pCanvas->Polygon(m_thinned.data(), int(c));
}

void CDrawContext::DrawPolyline(const VPoint* pPoints, size_t cPoints, StyleHandle hPen, StyleHandle hCore) {
  if (m_pCanvas == nullptr || pPoints == nullptr || cPoints < 2 || cPoints > 0x7FFFFFFF)
    return;
  const platform::CPen* rgPens[2] = {static_cast<const platform::CPen*>(hPen),
                                     static_cast<const platform::CPen*>(hCore)};
  const VPoint* pThin = nullptr;
  int cThin = 0;
  for (const platform::CPen* pPen : rgPens) {
    if (pPen == nullptr)
      continue;
    m_pCanvas->SelectPen(pPen);
    if (!IsSolidPen(pPen)) {
      // A dashed or dotted pen counts its pattern along every point.
      m_pCanvas->Polyline(pPoints, int(cPoints));
      continue;
    }
    if (pThin == nullptr) {
      const int nWidth = std::max(rgPens[0] != nullptr ? rgPens[0]->m_nWidth : 1,
                                  rgPens[1] != nullptr ? rgPens[1]->m_nWidth : 1);
      cThin = int(ThinScreenPoints(pPoints, cPoints, m_pCanvas->Width(), m_pCanvas->Height(),
                                   c_nThinMargin + nWidth, m_thinned));
      pThin = m_thinned.data();
    }
    if (pPen->m_nWidth <= 1) {
      m_pCanvas->Polyline(pThin, cThin);
      continue;
    }
    // A wide pen's line is the union of its segments with a round cap or
    // join at every point, so it may be drawn in short pieces that share
    // their end points: the pixels are the same, and GDI builds the shape
    // of a short piece much faster than that of a long line.
    for (int i = 0; i + 1 < cThin; i += c_cWidePieceSegments)
      m_pCanvas->Polyline(pThin + i, std::min(c_cWidePieceSegments, cThin - 1 - i) + 1);
  }
  ++m_cPolylines;
}

void CDrawContext::DrawDirectionArrows(const VPoint* pPoints, size_t cPoints) {
  // A small arrow head in the middle of every segment long enough for one.
  if (m_pCanvas == nullptr || pPoints == nullptr || cPoints < 2)
    return;
  const int nMin = ScaleX(24), nHead = ScaleX(4);
  platform::CPen pen(platform::psSolid, render::PickByDpi(1, 2), 0x404040);
  m_pCanvas->SelectPen(&pen);
  for (size_t i = 0; i + 1 < cPoints; ++i) {
    const double dx = double(pPoints[i + 1].x) - pPoints[i].x, dy = double(pPoints[i + 1].y) - pPoints[i].y;
    const double len = std::sqrt(dx * dx + dy * dy);
    if (len < nMin)
      continue;
    const double ux = dx / len, uy = dy / len;
    const double mx = pPoints[i].x + dx / 2, my = pPoints[i].y + dy / 2;
    VPoint rg[3] = {{int(std::lround(mx - ux * nHead + uy * nHead)), int(std::lround(my - uy * nHead - ux * nHead))},
                    {int(std::lround(mx)), int(std::lround(my))},
                    {int(std::lround(mx - ux * nHead - uy * nHead)), int(std::lround(my - uy * nHead + ux * nHead))}};
    m_pCanvas->Polyline(rg, 3);
  }
  m_pCanvas->SelectPen(nullptr);
}

void CDrawContext::Yield() {
  if (IsInterrupted() || m_pHost == nullptr)
    return;
  const uint32_t dwNow = m_pHost->GetTickMs();
  if (dwNow - m_dwLastYield < c_dwYieldMs)
    return;
  m_dwLastYield = dwNow;
  m_pHost->DispatchPendingMessages(*this);
}

void CDrawContext::ShowMapMessage(uint32_t idString, const char16_t* pszArg1, const char16_t* pszArg2) {
  char16_t szFormat[c_cchMapMessage];
  char16_t szText[c_cchMapMessage];
  LoadResString(idString, szFormat, int(c_cchMapMessage));
  platform::Format(szText, c_cchMapMessage, szFormat, pszArg1 != nullptr ? pszArg1 : u"",
                   pszArg2 != nullptr ? pszArg2 : u"");
  if (m_pCanvas == nullptr) {
    if (m_pHost != nullptr)
      m_pHost->ShowMessage(szText);
    else
      ReportFailureText(idString, szText);
    return;
  }
  m_pCanvas->SelectFont(nullptr);  // the system font
  m_pCanvas->SetTextColor(0x0000FF);
  m_pCanvas->SetBkMode(platform::bmOpaque);
  m_pCanvas->SetBkColor(GetBackgroundColour());
  VRect rc = {ScaleX(4), ScaleY(40), m_pCanvas->Width() - ScaleX(4), m_pCanvas->Height() - ScaleY(40)};
  size_t cch = 0;
  while (szText[cch] != 0)
    ++cch;
  m_pCanvas->DrawTextIn(szText, int(cch), rc, platform::dtWordBreak | platform::dtNoPrefix);
  m_pCanvas->SetBkMode(platform::bmTransparent);
}

// ---------------------------------------------------------------------------
// Layout rules

VRect GetMapArea(int cxClient, int cyClient, bool fShowGauges) {
  VRect rc = {0, 0, cxClient, cyClient};
  if (!fShowGauges)
    return rc;
  if (cxClient >= cyClient)
    rc.right = std::max(0, cxClient - ScaleX(80));
  else
    rc.bottom = std::max(0, cyClient - ScaleY(33));
  return rc;
}

int GetGaugeCells(int cxClient, int cyClient, VRect* pCells) {
  if (cxClient <= 0 || cyClient <= 0)
    return 0;
  if (cxClient < cyClient) {
    const int n = std::min(cxClient / ScaleX(80), c_cMaxMapGauges);
    for (int i = 0; i < n && pCells != nullptr; ++i)
      pCells[i] = {(cxClient - 1) * i / n, cyClient - ScaleY(33), (cxClient - 1) * (i + 1) / n, cyClient};
    return n;
  }
  const int n = std::min(cyClient / ScaleY(33), c_cMaxMapGauges);
  for (int i = 0; i < n && pCells != nullptr; ++i)
    pCells[i] = {cxClient - ScaleX(80), cyClient * i / n, cxClient, cyClient * (i + 1) / n};
  return n;
}

int GetGaugeCellStyle(int i, int cCells, bool fSelectionMode, int nSelected) {
  if (fSelectionMode && i == nSelected)
    return 2;
  if (cCells > 3 && (i & 1) != 0)
    return 1;
  return 0;
}

VPoint ComputeViewOrigin(const VRect& rcMapArea, bool fRotateMap) {
  const int cx = rcMapArea.right - rcMapArea.left, cy = rcMapArea.bottom - rcMapArea.top;
  return {rcMapArea.left + cx / 2, rcMapArea.top + (fRotateMap ? cy * 3 / 4 : cy / 2)};
}

bool IsTap(int dx, int dy, uint32_t dwPressMs) {
  return std::abs(dx) < ScaleX(5) && std::abs(dy) < ScaleY(5) && dwPressMs < 200;
}

VRect GetStretchRect(int ox, int oy, int cx, int cy, double g) {
  return {fast_floor_d(ox - ox * g + 0.5), fast_floor_d(oy - oy * g + 0.5), fast_floor_d(ox + (cx - ox) * g + 0.5),
          fast_floor_d(oy + (cy - oy) * g + 0.5)};
}

// ---------------------------------------------------------------------------
// CMapRenderer

CMapRenderer::CMapRenderer(CMapPosition* pView, CMapPageHost* pHost)
    : m_pView(pView),
      m_pHost(pHost),
      m_pParser(nullptr),
      m_cxClient(0),
      m_cyClient(0),
      m_fShowGauges(false),
      m_fRotateMap(false),
      m_cxSurfaces(0),
      m_cySurfaces(0),
      m_pRunning(nullptr),
      m_fStopRequested(false),
      m_fFinished(false),
      m_xcFinished(0),
      m_ycFinished(0),
      m_nNumFinished(0),
      m_nDenFinished(0),
      m_nAngleFinished(0),
      m_times{0, 0, 0, 0},
      m_cAttempts(0),
      m_cObjectsDrawn(0),
      m_pGuardCtx(nullptr) {
  m_labels.SetLinePlacement(true);
}

CMapRenderer::~CMapRenderer() {
  if (m_pRunning != nullptr)
    m_pRunning->SetStop();
}

void CMapRenderer::SetClientSize(int cx, int cy) {
  m_cxClient = std::max(cx, 0);
  m_cyClient = std::max(cy, 0);
}

void CMapRenderer::UpdateOrigin() {
  const VRect rcArea = GetMapArea(m_cxClient, m_cyClient, m_fShowGauges);
  const VPoint ptOrigin = ComputeViewOrigin(rcArea, m_fRotateMap);
  m_pView->SetViewSize(m_cxClient, m_cyClient);
  m_pView->SetOrigin(ptOrigin.x, ptOrigin.y);
}

bool CMapRenderer::EnsureSurfaces() {
  if (m_pRender != nullptr && m_pFinished != nullptr && m_cxSurfaces == m_cxClient && m_cySurfaces == m_cyClient)
    return true;
  m_pRender.reset();
  m_pFinished.reset();
  if (m_cxClient <= 0 || m_cyClient <= 0)
    return false;
  m_pRender.reset(platform::CreateMemoryCanvas(m_cxClient, m_cyClient));
  m_pFinished.reset(platform::CreateMemoryCanvas(m_cxClient, m_cyClient));
  if (m_pRender == nullptr || m_pFinished == nullptr) {
    m_pRender.reset();
    m_pFinished.reset();
    return false;
  }
  m_cxSurfaces = m_cxClient;
  m_cySurfaces = m_cyClient;
  m_pFinished->FillRect({0, 0, m_cxClient, m_cyClient}, GetBackgroundBrush());
  m_fFinished = false;
  return true;
}

bool CMapRenderer::SameViewAsFinished() const {
  return m_fFinished && m_pView->GetCentreX() == m_xcFinished && m_pView->GetCentreY() == m_ycFinished &&
         m_pView->GetNumerator() == m_nNumFinished && m_pView->GetDenominator() == m_nDenFinished &&
         m_pView->GetAngle() == m_nAngleFinished;
}

void CMapRenderer::RequestStop() {
  m_fStopRequested = true;
  if (m_pRunning != nullptr)
    m_pRunning->SetStop();
}

void CMapRenderer::DrawParser(void* p) {
  CMapRenderer* pThis = static_cast<CMapRenderer*>(p);
  pThis->m_pParser->Draw(pThis->m_pGuardCtx, &pThis->m_labels);
}

void CMapRenderer::RefreshMap(bool fFull) {
  if (!fFull && SameViewAsFinished() && m_cxSurfaces == m_cxClient && m_cySurfaces == m_cyClient) {
    platform::DebugOutput(u"RefreshMap(false) is ignored.\n");
    return;
  }
  if (m_pRunning != nullptr) {
    platform::DebugOutput(u"RefreshMap() re-entrance.\n");
    m_pRunning->SetRestart();
    return;
  }
  if (!EnsureSurfaces())
    return;
  UpdateOrigin();
  ASSERT(m_pRender != nullptr);
  CCanvas* pCanvas = m_pRender.get();
  CDrawContext ctx(pCanvas, m_pView, m_pHost);
  m_pRunning = &ctx;
  bool fStop = m_fStopRequested;
  m_fStopRequested = false;
  // Restart and stop are checked after each layer: a restart starts the
  // attempt over, a stop abandons the pass with the finished image kept.
  auto interrupted = [&]() {
    if (ctx.IsStop()) {
      fStop = true;
      return true;
    }
    if (ctx.IsRestart()) {
      platform::DebugOutput(u"Re-start drawing...\n");
      return true;
    }
    return false;
  };
  for (;;) {
    if (fStop || ctx.IsStop() || m_fStopRequested) {
      platform::DebugOutput(u"Stop drawing.\n");
      m_fStopRequested = false;
      m_labels.SetContext(nullptr, nullptr);
      m_pRunning = nullptr;
      return;
    }
    pCanvas->FillRect({0, 0, pCanvas->Width(), pCanvas->Height()}, GetBackgroundBrush());
    ctx.BeginAttempt();
    const uint32_t dwStart = m_pHost != nullptr ? m_pHost->GetTickMs() : 0;
    uint32_t dwMark = dwStart;
    auto lap = [&]() {
      const uint32_t dwNow = m_pHost != nullptr ? m_pHost->GetTickMs() : 0;
      const uint32_t d = dwNow - dwMark;
      dwMark = dwNow;
      return d;
    };
    pCanvas->SetBkMode(platform::bmTransparent);
    pCanvas->SetBkColor(0xFFFFFF);
    m_labels.SetContext(pCanvas, &ctx);
    if (m_pParser != nullptr) {
      const MapRect& rcMap = m_pParser->GetRect();
      const VPoint ptOrg =
          m_pView->ToScreen(int32_t((int64_t(rcMap.left) + rcMap.right) / 2), int32_t((int64_t(rcMap.top) + rcMap.bottom) / 2));
      pCanvas->SetBrushOrigin(ptOrg.x, ptOrg.y);
      m_labels.Clear();
      m_pGuardCtx = &ctx;
      std::u16string strReport;
      bool fOk = m_pHost != nullptr ? m_pHost->RunGuarded(DrawParser, this, strReport) : (DrawParser(this), true);
      if (!fOk) {
        platform::DebugOutput(strReport.c_str());
        ctx.ShowMapMessage(c_idsMapFailure, strReport.c_str(), nullptr);
      }
      m_pGuardCtx = nullptr;
      if (interrupted())
        continue;
    }
    m_times.dwMapMs = lap();
    if (m_layers.pfnDrawTrack != nullptr && GetSettingBool(setting::ShowTrack)) {
      m_layers.pfnDrawTrack(ctx);
      if (interrupted())
        continue;
    }
    m_times.dwTrackMs = lap();
    if (m_layers.pfnDrawRoutes != nullptr && GetSettingBool(setting::ShowRoutes)) {
      m_layers.pfnDrawRoutes(ctx);
      if (interrupted())
        continue;
    }
    m_times.dwRoutesMs = lap();
    m_labels.DrawLabels(&ctx, pCanvas);
    ++g_cFinishedAttempts;
    ++m_cAttempts;
    m_cObjectsDrawn = ctx.m_cPolygons + ctx.m_cPolylines + ctx.m_cPoints;
    if (m_layers.pfnDrawWaypoints != nullptr && GetSettingBool(setting::ShowWaypoints)) {
      m_labels.Clear();
      m_layers.pfnDrawWaypoints(ctx, m_labels);
      if (interrupted())
        continue;
      const VRect rcArea = GetMapArea(m_cxClient, m_cyClient, m_fShowGauges);
      m_labels.DrawWaypointLabels(&ctx, pCanvas, rcArea.right);
      if (interrupted())
        continue;
    }
    m_times.dwWaypointsMs = lap();
    if (m_layers.pfnDrawGuidance != nullptr && m_layers.pfnIsNavigating != nullptr && m_layers.pfnIsNavigating() &&
        GetSettingBool(setting::ShowBearing)) {
      m_layers.pfnDrawGuidance(ctx);
      if (interrupted())
        continue;
    }
    if (interrupted())
      continue;
    m_labels.Clear();
    // The drawn surface becomes the finished image; the old image is the
    // next pass's surface (each attempt starts by clearing it).
    m_pFinished.swap(m_pRender);
    m_fFinished = true;
    m_xcFinished = m_pView->GetCentreX();
    m_ycFinished = m_pView->GetCentreY();
    m_nNumFinished = m_pView->GetNumerator();
    m_nDenFinished = m_pView->GetDenominator();
    m_nAngleFinished = m_pView->GetAngle();
    if (m_pHost != nullptr)
      m_pHost->Redraw();
    m_labels.SetContext(nullptr, nullptr);  // the context ends with the pass
    m_pRunning = nullptr;
    return;
  }
}

void CMapRenderer::Paint(CCanvas* pDst) {
  if (pDst == nullptr)
    return;
  PaintImage(pDst);
  DrawNorthArrow(pDst);
  DrawScaleBar(pDst);
}

void CMapRenderer::DrawHotSpot(CCanvas* pDst) {
  const int ox = m_pView->GetOriginX(), oy = m_pView->GetOriginY(), d = ScaleX(6);
  platform::CPen pen(platform::psSolid, render::PickByDpi(1, 2), 0x0000FF);
  pDst->SelectPen(&pen);
  const VPoint rgH[2] = {{ox - d, oy}, {ox + d + 1, oy}};
  const VPoint rgV[2] = {{ox, oy - d}, {ox, oy + d + 1}};
  pDst->Polyline(rgH, 2);
  pDst->Polyline(rgV, 2);
  pDst->SelectPen(nullptr);
}

void CMapRenderer::PaintImage(CCanvas* pDst) {
  if (pDst == nullptr)
    return;
  if (m_cxClient != m_cxSurfaces || m_cyClient != m_cySurfaces)
    RefreshMap(true);
  pDst->FillRect({0, 0, m_cxClient, m_cyClient}, GetBackgroundBrush());
  if (m_pFinished != nullptr && m_fFinished) {
    const int ox = m_pView->GetOriginX(), oy = m_pView->GetOriginY();
    // Where the finished image's centre is now.
    const VPoint pt = m_pView->ToScreen(m_xcFinished, m_ycFinished);
    const int dx = pt.x - ox, dy = pt.y - oy;
    const double g = (double(m_pView->GetNumerator()) * m_nDenFinished) /
                     (double(m_nNumFinished) * double(m_pView->GetDenominator()));
    if (std::fabs(g - 1) >= 0.001) {
      const VRect rc = GetStretchRect(ox, oy, m_cxSurfaces, m_cySurfaces, g);
      pDst->StretchBlt(rc.left + dx, rc.top + dy, rc.right - rc.left, rc.bottom - rc.top, m_pFinished.get(), 0, 0,
                       m_cxSurfaces, m_cySurfaces);
    } else {
      pDst->BitBlt(dx, dy, m_cxSurfaces, m_cySurfaces, m_pFinished.get(), 0, 0);
    }
  }
}

void CMapRenderer::DrawNorthArrow(CCanvas* pDst) {
  const VRect rcArea = GetMapArea(m_cxClient, m_cyClient, m_fShowGauges);
  const double xc = rcArea.right - ScaleX(20), yc = ScaleY(20);
  const double fLen = ScaleX(15), fWidth = ScaleY(5);
  const double a = m_pView->GetAngle() * 3.14159265358979 / 180.0;
  // North on screen turns with the map: (−sin a, −cos a).
  const double nx = -std::sin(a), ny = -std::cos(a);
  const double px = -ny, py = nx;  // across the arrow
  auto pt = [&](double along, double across) {
    return VPoint{int(std::lround(xc + nx * along + px * across)), int(std::lround(yc + ny * along + py * across))};
  };
  VPoint rgNorth[3] = {pt(fLen / 2, 0), pt(0, fWidth), pt(0, -fWidth)};
  VPoint rgSouth[3] = {pt(-fLen / 2, 0), pt(0, fWidth), pt(0, -fWidth)};
  platform::CPen penFrame(platform::psSolid, 1, 0x000000);
  platform::CBrush brushNorth(platform::bkSolid, 0x0000E0);
  platform::CBrush brushSouth(platform::bkSolid, 0xFFFFFF);
  pDst->SelectPen(&penFrame);
  pDst->SelectBrush(&brushSouth);
  pDst->Polygon(rgSouth, 3);
  pDst->SelectBrush(&brushNorth);
  pDst->Polygon(rgNorth, 3);
  pDst->SelectPen(nullptr);
  pDst->SelectBrush(nullptr);
}

void CMapRenderer::DrawScaleBar(CCanvas* pDst) {
  const VRect rcArea = GetMapArea(m_cxClient, m_cyClient, m_fShowGauges);
  const int x = ScaleX(10), y = rcArea.bottom - ScaleY(15);
  const int cx = ScaleX(40);
  char16_t szText[64];
  m_pView->GetScaleText(szText, 64);
  int cch = 0;
  while (szText[cch] != 0)
    ++cch;
  const bool fDark = (GetRValue(GetBackgroundColour()) + GetGValue(GetBackgroundColour()) +
                      GetBValue(GetBackgroundColour())) < 3 * 96;
  const COLORREF crInk = fDark ? 0xE0E0E0 : 0x000000;
  platform::CPen pen(platform::psSolid, render::PickByDpi(2, 3), crInk);
  pDst->SelectPen(&pen);
  const VPoint rgBar[4] = {{x, y - ScaleY(4)}, {x, y}, {x + cx, y}, {x + cx, y - ScaleY(4)}};
  pDst->Polyline(rgBar, 4);
  const SharedStock& stock = GetSharedStock();
  platform::CFont fontOwn(u"Tahoma", ScaleY(12), 0, platform::c_nFwNormal, 0);
  pDst->SelectFont(stock.pFont12 != nullptr ? stock.pFont12 : &fontOwn);
  pDst->SetBkMode(platform::bmTransparent);
  pDst->SetTextColor(crInk);
  const platform::VSize size = pDst->GetTextExtent(szText, cch);
  pDst->TextOutAt(x + ScaleX(2), y - ScaleY(4) - size.cy, szText, cch);
  pDst->SelectPen(nullptr);
  pDst->SelectFont(nullptr);
}

// ---------------------------------------------------------------------------
// CMapPage

CMapPage::CMapPage(CMapPageHost* pHost)
    : m_pHost(pHost),
      m_renderer(&m_view, pHost),
      m_cxClient(0),
      m_cyClient(0),
      m_fDown(false),
      m_ptDown{0, 0},
      m_ptLast{0, 0},
      m_dwDownTick(0),
      m_fGaugeMode(false),
      m_nSelectedGauge(-1),
      m_nHeading(-1),
      m_nOpeningMs(-1) {}

CMapPage::~CMapPage() = default;

void CMapPage::ApplyLayout() {
  m_renderer.SetClientSize(m_cxClient, m_cyClient);
  m_renderer.SetShowGauges(GetSettingBool(setting::ShowMapGauges));
  m_renderer.SetRotateMap(GetSettingBool(setting::RotateMap));
  m_renderer.UpdateOrigin();
}

void CMapPage::Create(int cxClient, int cyClient) {
  InitDrawTypes();
  m_view.SetScreenScale(render::GetScaleFactorX(), render::GetScaleFactorY());
  m_view.Restore();
  m_cxClient = cxClient;
  m_cyClient = cyClient;
  ApplyLayout();
  m_renderer.SetParser(g_pMapParser);
}

void CMapPage::Destroy() {
  m_renderer.RequestStop();
  FreeDrawTypes();
  CloseMap();
}

void CMapPage::OnSize(int cxClient, int cyClient) {
  m_cxClient = cxClient;
  m_cyClient = cyClient;
  ApplyLayout();
  CCanvas* pSurface = m_renderer.GetRenderSurface();
  if (pSurface == nullptr || pSurface->Width() != cxClient || pSurface->Height() != cyClient)
    m_renderer.RefreshMap(true);
}

void CMapPage::OnPaint(CCanvas* pDst) {
  if (pDst == nullptr)
    return;
  m_renderer.PaintImage(pDst);
  if (m_overlays.pfnActiveRoute != nullptr)
    m_overlays.pfnActiveRoute(pDst, m_view);
  if (m_overlays.pfnSelectedWaypoint != nullptr)
    m_overlays.pfnSelectedWaypoint(pDst, m_view);
  if (GetSettingBool(setting::ShowHotSpot))
    m_renderer.DrawHotSpot(pDst);
  if (m_pHost == nullptr || m_pHost->ArePortsOpen())
    DrawPositionMarker(pDst, m_view, m_cursor);
  if (m_overlays.pfnPositionMarker != nullptr)
    m_overlays.pfnPositionMarker(pDst, m_view);
  m_renderer.DrawNorthArrow(pDst);
  m_renderer.DrawScaleBar(pDst);
  if (m_overlays.pfnHighlights != nullptr)
    m_overlays.pfnHighlights(pDst, m_view);
  if (GetSettingBool(setting::ShowMapGauges)) {
    VRect rgCells[c_cMaxMapGauges];
    const int cCells = GetGaugeCells(m_cxClient, m_cyClient, rgCells);
    // The cells' grounds: plain, alternate and selected.
    static const COLORREF c_rgGround[3] = {0xF3F3F3, 0xE0E0E0, 0xFFE0C0};
    platform::CPen penFrame(platform::psSolid, 1, 0x808080);
    for (int i = 0; i < cCells; ++i) {
      const int nStyle = GetGaugeCellStyle(i, cCells, m_fGaugeMode, m_nSelectedGauge);
      platform::CBrush brush(platform::bkSolid, c_rgGround[nStyle]);
      pDst->SelectPen(&penFrame);
      pDst->SelectBrush(&brush);
      pDst->Rectangle(rgCells[i].left, rgCells[i].top, rgCells[i].right, rgCells[i].bottom);
      pDst->SelectPen(nullptr);
      pDst->SelectBrush(nullptr);
      if (m_overlays.pfnGaugeCell != nullptr)
        m_overlays.pfnGaugeCell(pDst, i, rgCells[i], nStyle);
    }
  }
  if (m_overlays.pfnGpsStatusIcon != nullptr)
    m_overlays.pfnGpsStatusIcon(pDst, 8, 8);
}

VRect CMapPage::GaugeCellRect(int i) const {
  VRect rgCells[c_cMaxMapGauges];
  const int cCells = GetGaugeCells(m_cxClient, m_cyClient, rgCells);
  return i >= 0 && i < cCells ? rgCells[i] : VRect{0, 0, 0, 0};
}

int CMapPage::GaugeCellAt(int x, int y) const {
  if (!GetSettingBool(setting::ShowMapGauges))
    return -1;  // no strip on the screen
  VRect rgCells[c_cMaxMapGauges];
  const int cCells = GetGaugeCells(m_cxClient, m_cyClient, rgCells);
  for (int i = 0; i < cCells; ++i)
    if (x >= rgCells[i].left && x < rgCells[i].right && y >= rgCells[i].top && y < rgCells[i].bottom)
      return i;
  return -1;
}

void CMapPage::OnDown(int x, int y) {
  platform::DebugOutput(u"CMapPage::OnDown ().\n");
  if (m_fGaugeMode)
    return;  // the release selects the gauge
  m_fDown = true;
  m_ptDown = m_ptLast = {x, y};
  m_dwDownTick = m_pHost != nullptr ? m_pHost->GetTickMs() : 0;
  if (m_pHost != nullptr)
    m_pHost->SetPointerCapture(true);
}

void CMapPage::OnMove(int x, int y) {
  if (!m_fDown)
    return;
  if (m_pHost != nullptr)
    m_pHost->SetPointerTimer(20);
  const int dx = x - m_ptLast.x, dy = y - m_ptLast.y;
  m_ptLast = {x, y};
  if (dx != 0 || dy != 0) {
    m_view.Pan(dx, dy);
    if (m_pHost != nullptr)
      m_pHost->Redraw();
  }
}

void CMapPage::OnPointerRested() {
  if (m_pHost != nullptr)
    m_pHost->KillPointerTimer();
  m_renderer.RefreshMap(false);
}

bool CMapPage::OnUp(int x, int y) {
  platform::DebugOutput(u"CMapPage::OnUp ().\n");
  if (m_fGaugeMode) {
    const int i = GaugeCellAt(x, y);
    if (i >= 0) {
      m_nSelectedGauge = i;
      if (m_pHost != nullptr)
        m_pHost->Redraw();
    }
    return false;
  }
  if (!m_fDown)
    return false;
  m_fDown = false;
  if (m_pHost != nullptr) {
    m_pHost->SetPointerCapture(false);
    m_pHost->KillPointerTimer();
  }
  m_renderer.RefreshMap(false);
  const uint32_t dwNow = m_pHost != nullptr ? m_pHost->GetTickMs() : m_dwDownTick;
  return IsTap(x - m_ptDown.x, y - m_ptDown.y, dwNow - m_dwDownTick);
}

void CMapPage::ZoomIn() {
  if (!CanZoomIn())
    return;
  platform::DebugOutput(u"CMapPage::ZoomIn ().\n");
  m_view.SetScale(m_view.GetScale() - 1);
  if (m_pHost != nullptr)
    m_pHost->Redraw();
  m_renderer.RefreshMap(false);
  if (m_pHost != nullptr)
    m_pHost->UpdateMenu();
}

void CMapPage::ZoomOut() {
  if (!CanZoomOut())
    return;
  platform::DebugOutput(u"CMapPage::ZoomOut ().\n");
  m_view.SetScale(m_view.GetScale() + 1);
  if (m_pHost != nullptr)
    m_pHost->Redraw();
  m_renderer.RefreshMap(false);
  if (m_pHost != nullptr)
    m_pHost->UpdateMenu();
}

void CMapPage::PanBy(int dx, int dy) {
  m_view.Pan(dx, dy);
  if (m_pHost != nullptr)
    m_pHost->Redraw();
  m_renderer.RefreshMap(false);
}

void CMapPage::OnCursorChanged(bool fValid, double fLon, double fLat, double fHeading) {
  m_cursor = CursorMark{fValid, fLon, fLat, fHeading};
  bool fChanged = false;
  if (GetSettingBool(setting::RotateMap)) {
    if (fValid) {
      const int nHeading = ((fast_floor_d(fHeading + 0.5) % 360) + 360) % 360;
      if (nHeading != m_nHeading) {
        m_nHeading = nHeading;
        if (m_view.GetAngle() != nHeading) {
          m_view.SetAngle(nHeading);
          fChanged = true;
        }
      }
    }
  } else {
    m_nHeading = -1;
  }
  if (GetSettingBool(setting::KeepVisible) && fValid) {
    const int32_t x = DegreesToMap(fLon);
    const int32_t y = DegreesToMap(fLat);
    const VPoint pt = m_view.ToScreen(x, y);
    if (pt.x != m_view.GetOriginX() || pt.y != m_view.GetOriginY()) {
      m_view.SetCentre(x, y);
      fChanged = true;
    }
  }
  if (fChanged) {
    if (m_renderer.IsDrawing()) {
      if (m_pHost != nullptr)
        m_pHost->Redraw();
      m_renderer.RefreshMap(false);  // restarts the running pass
    } else {
      m_renderer.RefreshMap(true);
    }
  } else if (m_pHost != nullptr) {
    m_pHost->Redraw();
  }
}

void CMapPage::OnMapChanged(const MapRect& rcMap) {
  m_renderer.SetParser(g_pMapParser);
  if (!rcMap.Contains(m_view.GetCentreX(), m_view.GetCentreY()))
    m_view.SetCentre(int32_t((int64_t(rcMap.left) + rcMap.right) / 2), int32_t((int64_t(rcMap.top) + rcMap.bottom) / 2));
}

void CMapPage::OnOptionsChanged(bool fMapChanged, bool fUnitsChanged) {
  if (fUnitsChanged)
    m_view.SetScale(m_view.GetScale());
  if (fMapChanged) {
    // The gauge strip and the origin follow "ShowMapGauges" and "RotateMap";
    // a map that no longer turns with the course points north again, one
    // that does turns to the last known heading at once.
    ApplyLayout();
    if (!GetSettingBool(setting::RotateMap)) {
      m_nHeading = -1;
      if (m_view.GetAngle() != 0)
        m_view.SetAngle(0);
    } else if (m_cursor.fValid && m_cursor.dHeading >= 0) {
      const int nHeading = ((fast_floor_d(m_cursor.dHeading + 0.5) % 360) + 360) % 360;
      m_nHeading = nHeading;
      if (m_view.GetAngle() != nHeading)
        m_view.SetAngle(nHeading);
    }
  }
  if (fMapChanged || fUnitsChanged) {
    m_renderer.RefreshMap(true);
  } else if (m_pHost != nullptr) {
    m_pHost->Redraw();
  }
}

void CMapPage::OnGaugesToggled() {
  ApplyLayout();
  if (m_pHost != nullptr)
    m_pHost->Redraw();
}

void CMapPage::ToggleGaugeMode() {
  if (!GetSettingBool(setting::ShowMapGauges))
    return;
  m_fGaugeMode = !m_fGaugeMode;
  if (m_fGaugeMode && m_nSelectedGauge < 0)
    m_nSelectedGauge = 0;
  if (m_pHost != nullptr)
    m_pHost->Redraw();
}

bool CMapPage::OpenMap(const char16_t* pszPath, bool fCollection) {
  CloseMap();
  ASSERT(g_pMapParser == NULL);
  const uint32_t dwStart = m_pHost != nullptr ? m_pHost->GetTickMs() : 0;
  // A collection opens through the index file in its folder; a single map
  // is checked before every pass, so a file removed while open is reported
  // on the map.
  g_pMapParser = OpenUserMap(pszPath, fCollection);
  if (g_pMapParser == nullptr) {
    SetString(setting::MapFileName.pszName, u"");
    if (m_pHost != nullptr)
      m_pHost->UpdateMenu();
    return false;
  }
  m_nOpeningMs = int32_t((m_pHost != nullptr ? m_pHost->GetTickMs() : 0) - dwStart);
  SetString(setting::MapFileName.pszName, pszPath);
  SetBool(setting::MapIsAtlas.pszName, fCollection);
  if (m_pHost != nullptr)
    m_pHost->UpdateMenu();
  OnMapChanged(g_pMapParser->GetRect());
  return true;
}

void CMapPage::CloseMap() {
  m_renderer.SetParser(nullptr);
  delete g_pMapParser;
  g_pMapParser = nullptr;
}
