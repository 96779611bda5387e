// The gauge registry, the shared drawing of a cell, and the slots of the
// values other parts of the program hand to the gauges.
#include <cstring>

#include "gauges/Gauge.h"
#include "gauges/GaugeSources.h"
#include "gps/PositionHub.h"
#include "platform/Str.h"
#include "render/Screen.h"
#include "res/Res.h"

using namespace platform;

// The list heads live beside the registrations (GaugeTable.cpp), so that
// using the registry always links the gauges in.
extern GaugeDesc* g_pFirstGauge;
extern GaugePage* g_apGaugePages[c_cGaugePages];

void RegisterGaugePage(GaugePage* pPage, int iPage, const char16_t* pszId, uint32_t idsCaption) {
  pPage->nKind = 1;
  pPage->pszId = pszId;
  pPage->idsCaption = idsCaption;
  pPage->pFirst = nullptr;
  pPage->iPage = iPage;
  if (iPage >= 0 && iPage < c_cGaugePages) g_apGaugePages[iPage] = pPage;
}

void RegisterGauge(GaugeDesc* pDesc, CGauge* pGauge, GaugePage* pPage, const char16_t* pszId, uint32_t idsCaption,
                   uint32_t idsDescription, bool fResettable, bool fSecond) {
  pDesc->nKind = 0;
  pDesc->pGauge = pGauge;
  pDesc->pPage = pPage;
  pDesc->pszId = pszId;
  pDesc->idsCaption = idsCaption;
  pDesc->idsDescription = idsDescription;
  pDesc->fResettable = fResettable ? 1 : 0;
  pDesc->fSecond = fSecond ? 1 : 0;
  pDesc->pNextAll = g_pFirstGauge;
  g_pFirstGauge = pDesc;
  pDesc->pNextInPage = pPage->pFirst;
  pPage->pFirst = pDesc;
}

GaugePage* GetGaugePage(int iPage) {
  return iPage >= 0 && iPage < c_cGaugePages ? g_apGaugePages[iPage] : nullptr;
}

GaugeDesc* GetFirstGauge() { return g_pFirstGauge; }

GaugeDesc* FindGauge(const char16_t* pszId) {
  if (pszId == nullptr || *pszId == 0) return nullptr;
  for (GaugeDesc* p = g_pFirstGauge; p; p = p->pNextAll)
    if (StrCmp(p->pszId, pszId) == 0) return p;
  return nullptr;
}

int CountGauges() {
  int n = 0;
  for (GaugeDesc* p = g_pFirstGauge; p; p = p->pNextAll) ++n;
  return n;
}

static std::u16string LoadText(uint32_t ids) {
  char16_t sz[512];
  return LoadResString(ids, sz, 512);
}

std::u16string GaugeCaption(const GaugeDesc* pDesc) { return LoadText(pDesc->idsCaption); }
std::u16string GaugeDescription(const GaugeDesc* pDesc) { return LoadText(pDesc->idsDescription); }
std::u16string GaugePageCaption(const GaugePage* pPage) { return LoadText(pPage->idsCaption); }

void LoadAllGauges() {
  for (GaugeDesc* p = g_pFirstGauge; p; p = p->pNextAll) p->pGauge->Load();
}

void UpdateAllGauges(const GpsFix& fix) {
  for (GaugeDesc* p = g_pFirstGauge; p; p = p->pNextAll) p->pGauge->Update(fix);
}

void GaugesPositionLost() {
  for (GaugeDesc* p = g_pFirstGauge; p; p = p->pNextAll) p->pGauge->PositionLost();
}

void ResetAllGauges() {
  for (GaugeDesc* p = g_pFirstGauge; p; p = p->pNextAll) p->pGauge->Reset();
}

void GetGaugeText(const GaugeDesc* pDesc, char16_t* pszValue, char16_t* pszUnit, int cch) {
  pszValue[0] = 0;
  pszUnit[0] = 0;
  pDesc->pGauge->GetText(pszValue, pszUnit, cch);
  pszValue[cch - 1] = 0;
  pszUnit[cch - 1] = 0;
  if (pszValue[0] == 0) StrCopy(pszValue, size_t(cch), u"-");
}

// ---- drawing ----

namespace {

struct FontSet {
  GaugeFonts fonts = {nullptr, nullptr, nullptr, nullptr};
  int nScale = 0;  // the vertical scale the fonts were made for
};
FontSet g_aFontSets[2];  // 0 large cells, 1 small cells

CFont* MakeFont(int nHeight, int nWeight) { return new CFont(u"Tahoma", -nHeight, 0, nWeight, 0); }

void FreeSet(FontSet& set) {
  delete set.fonts.pCaption;
  delete set.fonts.pValue;
  delete set.fonts.pNarrowValue;
  delete set.fonts.pUnit;
  set = FontSet();
}

// Draws the text with the bottom of its box at yBottom.
void TextUp(CCanvas* pCanvas, int x, int yBottom, const char16_t* psz) {
  const int cch = int(StrLen(psz));
  VSize size = pCanvas->GetTextExtent(psz, cch);
  pCanvas->TextOutAt(x, yBottom - size.cy, psz, cch);
}

}  // namespace

const GaugeFonts& GetGaugeFonts(bool fSmall) {
  FontSet& set = g_aFontSets[fSmall ? 1 : 0];
  const int sy = render::GetScaleFactorY();
  if (set.nScale != sy) {
    FreeSet(set);
    set.nScale = sy;
    set.fonts.pCaption = MakeFont((fSmall ? 11 : 14) * sy, c_nFwNormal);
    set.fonts.pValue = MakeFont((fSmall ? 17 : 23) * sy, c_nFwBold);
    set.fonts.pNarrowValue = MakeFont((fSmall ? 13 : 20) * sy, c_nFwBold);
    set.fonts.pUnit = MakeFont((fSmall ? 13 : 17) * sy, c_nFwNormal);
  }
  return set.fonts;
}

void DeleteGaugeFonts() {
  FreeSet(g_aFontSets[0]);
  FreeSet(g_aFontSets[1]);
}

void CGauge::Draw(CCanvas* pCanvas, bool fSmall, int x, int y) {
  const int sx = render::GetScaleFactorX(), sy = render::GetScaleFactorY();
  char16_t szValue[c_cchGaugeValue] = u"", szUnit[c_cchGaugeValue] = u"";
  GetText(szValue, szUnit, c_cchGaugeUnit <= c_cchGaugeValue ? c_cchGaugeValue : c_cchGaugeUnit);
  szValue[c_cchGaugeValue - 1] = 0;
  szUnit[c_cchGaugeUnit - 1] = 0;
  if (szValue[0] == 0) StrCopy(szValue, c_cchGaugeValue, u"-");
  const GaugeFonts& fonts = GetGaugeFonts(fSmall);
  const CFont* pOldFont = pCanvas->SelectFont(fonts.pUnit);
  const int cxUnit = pCanvas->GetTextExtent(szUnit, int(StrLen(szUnit))).cx;
  const int cxAvailable = (fSmall ? 72 : 100) * sx - cxUnit;
  pCanvas->SelectFont(fonts.pValue);
  int cxValue = pCanvas->GetTextExtent(szValue, int(StrLen(szValue))).cx;
  int nRaise = 0;
  if (cxValue > cxAvailable) {
    pCanvas->SelectFont(fonts.pNarrowValue);
    cxValue = pCanvas->GetTextExtent(szValue, int(StrLen(szValue))).cx;
    if (fSmall) nRaise = -sy;
  }
  pCanvas->SetBkMode(bmTransparent);
  pCanvas->SetTextColor(RGB(0, 0, 0));
  TextUp(pCanvas, x + (fSmall ? 4 : 10) * sx, y + (fSmall ? 31 : 45) * sy + nRaise, szValue);
  pCanvas->SelectFont(fonts.pUnit);
  TextUp(pCanvas, x + (fSmall ? 6 : 13) * sx + cxValue, y + (fSmall ? 30 : 44) * sy, szUnit);
  pCanvas->SelectFont(pOldFont);
}

void DrawGaugeCell(CCanvas* pCanvas, const GaugeDesc* pDesc, bool fSmall, int x, int y) {
  const int sx = render::GetScaleFactorX(), sy = render::GetScaleFactorY();
  const GaugeFonts& fonts = GetGaugeFonts(fSmall);
  const CFont* pOldFont = pCanvas->SelectFont(fonts.pCaption);
  pCanvas->SetBkMode(bmTransparent);
  pCanvas->SetTextColor(RGB(96, 96, 96));
  std::u16string strCaption = GaugeCaption(pDesc);
  pCanvas->TextOutAt(x + (fSmall ? 4 : 10) * sx, y + (fSmall ? 3 : 5) * sy, strCaption.c_str(),
                     int(strCaption.size()));
  pCanvas->SelectFont(pOldFont);
  pDesc->pGauge->Draw(pCanvas, fSmall, x, y);
}

// ---- the slots of other parts' values ----

namespace {
CGuidanceState* g_pGuidanceState = nullptr;
MapGaugeInfo g_mapInfo = {u"", -1, -1, -1, -1, -1, -1, -1, -1, 0};
CPositionHub* g_pGaugeHub = nullptr;
}  // namespace

int32_t g_nRoutingTimeMs = -1;
int32_t g_nStartupTimeMs = -1;

void SetGuidanceState(CGuidanceState* pState) { g_pGuidanceState = pState; }
CGuidanceState* GetGuidanceState() { return g_pGuidanceState; }
void SetMapGaugeInfo(const MapGaugeInfo& info) {
  g_mapInfo = info;
  g_mapInfo.szMapFile[63] = 0;
}
const MapGaugeInfo& GetMapGaugeInfo() { return g_mapInfo; }
void SetRoutingTimeMs(int32_t nMs) { g_nRoutingTimeMs = nMs; }
void SetStartupTimeMs(int32_t nMs) { g_nStartupTimeMs = nMs; }
void SetGaugeHub(CPositionHub* pHub) { g_pGaugeHub = pHub; }
CPositionHub& GetGaugeHub() { return g_pGaugeHub ? *g_pGaugeHub : GetPositionHub(); }
