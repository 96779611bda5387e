#include "gauges/SatellitePage.h"

#include <algorithm>
#include <cmath>

#include "geo/Units.h"
#include "gps/PositionHub.h"
#include "platform/Str.h"
#include "render/Screen.h"
#include "res/Res.h"
#include "view/FastMath.h"

using namespace platform;

namespace {
const uint32_t c_idsLatitude = 2133;
const uint32_t c_idsLongitude = 2134;
const uint32_t c_idsFix = 2135;
const uint32_t c_idsUsed = 2136;
const uint32_t c_idsPlaceholder = 2137;
const uint32_t c_idsFixWithError = 2138;
const uint32_t c_idsFixWithHdop = 2139;
const uint32_t c_aidsCompass[4] = {2250, 2254, 2252, 2256};  // С, Ю, В, З

std::u16string Text(uint32_t ids) {
  char16_t sz[256];
  return LoadResString(ids, sz, 256);
}
}  // namespace

SatelliteLayout GetSatelliteLayout(int cx, int cy, int sx, int sy) {
  SatelliteLayout l;
  l.fPortrait = cx < cy;
  l.nRadius = std::min(cx, cy) / 4;
  if (l.fPortrait) {
    l.xCentre = cx / 2;
    l.yCentre = cy / 4;
  } else {
    l.xCentre = l.nRadius + 8 * sx;
    l.yCentre = l.nRadius + 8 * sy;
  }
  l.cyBars = 50 * sy;
  if (l.fPortrait) {
    l.xStrip = 3 * sx;
    l.cxStrip = cx - 6 * sx;
    l.yBaseline = l.yCentre + l.nRadius + l.cyBars + 10 * sy;
  } else {
    l.xStrip = 2 * l.xCentre;
    l.cxStrip = cx - 2 * l.xCentre - 8 * sx;
    l.yBaseline = l.cyBars + 8 * sy;
  }
  return l;
}

VPoint SatellitePlotPoint(const SatelliteLayout& l, int nAzimuth, int nElevation) {
  const float fAz = float(nAzimuth) * c_PI / 180.0f;
  const float fR = float(l.nRadius) * float(90 - nElevation) / 90.0f;
  VPoint pt;
  pt.x = l.xCentre + fast_round(fast_sin(fAz) * fR);
  pt.y = l.yCentre - fast_round(fast_cos(fAz) * fR);
  return pt;
}

int SatelliteRampIndex(int nSnr, int nHighest) {
  const int nDiv = nHighest - 1 > 0 ? nHighest - 1 : 1;
  const int n = nSnr * 32 / nDiv;
  return n < 0 ? 0 : std::min(31, n);
}

VRect SatelliteBarRect(const SatelliteLayout& l, int i, int nSnr, int nHighest, int sy) {
  const int w = l.cxStrip / 24;
  const int x = l.xStrip + i * l.cxStrip / 12 + w - w / 2;
  const int h = (nHighest > 0 ? std::max(nSnr, 0) * (l.cyBars - 5 * sy) / nHighest : 0) + 2 * sy;
  VRect rc = {x, l.yBaseline - h, x + w, l.yBaseline};
  return rc;
}

COLORREF GreyRamp(int i) {
  const int a = 255 - i * 255 / 31;
  return RGB(a, a, a);
}
COLORREF GreenRamp(int i) {
  const int a = 255 - i * 255 / 31;
  return RGB(0, 255 - (3 * a / 4), 0);
}
COLORREF RedRamp(int i) { return RGB(128 + ((i * 255 / 62) & 127), 0, 0); }

std::vector<SatelliteInfo> GetShownSatellites(CPositionHub& hub) {
  std::vector<SatelliteInfo> a;
  const int c = hub.GetSatelliteCapacity();
  for (int i = 0; i < c; ++i) {
    SatelliteInfo info = hub.GetSatellite(i);
    if (info.nPrn == 0 && info.nState == 0 && info.nSnr == 0) continue;  // never written
    a.push_back(info);
  }
  return a;
}

CSatellitePainter::CSatellitePainter() : m_nHighest(50) {
  const int nPen = std::max(1, render::GetScaleFactorX());
  const int sy = std::max(1, render::GetScaleFactorY());
  m_pBackground = std::make_unique<CBrush>(bkSolid, RGB(181, 248, 227));
  m_pSky = std::make_unique<CBrush>(bkSolid, RGB(155, 231, 247));
  m_pBlackPen = std::make_unique<CPen>(psSolid, nPen, RGB(0, 0, 0));
  m_pBluePen = std::make_unique<CPen>(psSolid, nPen, RGB(0, 0, 255));
  m_pUsed = std::make_unique<CBrush>(bkSolid, RGB(0, 255, 0));
  m_pInView = std::make_unique<CBrush>(bkSolid, RGB(255, 0, 0));
  for (int i = 0; i < 32; ++i) {
    m_apGrey[i] = std::make_unique<CBrush>(bkSolid, GreyRamp(i));
    m_apGreen[i] = std::make_unique<CBrush>(bkSolid, GreenRamp(i));
    m_apRed[i] = std::make_unique<CBrush>(bkSolid, RedRamp(i));
  }
  m_pFont = std::make_unique<CFont>(u"Tahoma", -13 * sy, 0, c_nFwBold, 0);
  m_pSmallFont = std::make_unique<CFont>(u"Tahoma", -10 * sy, 0, c_nFwNormal, 0);
  for (int i = 0; i < 4; ++i) m_astrCompass[i] = Text(c_aidsCompass[i]);
  m_strLatitude = Text(c_idsLatitude);
  m_strLongitude = Text(c_idsLongitude);
  m_strFix = Text(c_idsFix);
  m_strUsed = Text(c_idsUsed);
  m_strPlaceholder = Text(c_idsPlaceholder);
}

// The pens, brushes and fonts are owned by their members.
CSatellitePainter::~CSatellitePainter() = default;

void CSatellitePainter::DrawText(CCanvas* pCanvas, int x, int y, const std::u16string& s, bool fCentre) {
  if (fCentre) x -= pCanvas->GetTextExtent(s.c_str(), int(s.size())).cx / 2;
  pCanvas->TextOutAt(x, y, s.c_str(), int(s.size()));
}

void CSatellitePainter::Paint(CCanvas* pCanvas, int cx, int cy, const std::vector<SatelliteInfo>& aSatellites,
                              const GpsFix& fix, const char16_t* pszStatus) {
  const int sx = render::GetScaleFactorX(), sy = render::GetScaleFactorY();
  const SatelliteLayout l = GetSatelliteLayout(cx, cy, sx, sy);
  const int R = l.nRadius;
  VRect rcAll = {0, 0, cx, cy};
  pCanvas->FillRect(rcAll, m_pBackground.get());
  const CPen* pOldPen = pCanvas->SelectPen(m_pBlackPen.get());
  const CBrush* pOldBrush = pCanvas->SelectBrush(m_pSky.get());
  const CFont* pOldFont = pCanvas->SelectFont(m_pFont.get());
  pCanvas->SetBkMode(bmTransparent);

  // The sky: horizon, the 45° circle, the zenith, the compass letters.
  pCanvas->Ellipse(l.xCentre - R, l.yCentre - R, l.xCentre + R, l.yCentre + R);
  pCanvas->SelectPen(m_pBluePen.get());
  pCanvas->SelectBrush(GetNullBrush());
  pCanvas->Ellipse(l.xCentre - R / 2, l.yCentre - R / 2, l.xCentre + R / 2, l.yCentre + R / 2);
  pCanvas->Ellipse(l.xCentre - 1, l.yCentre - 1, l.xCentre + 1, l.yCentre + 1);
  const int cyLetter = pCanvas->GetTextExtent(u"W", 1).cy;
  pCanvas->SetTextColor(RGB(0, 0, 255));
  DrawText(pCanvas, l.xCentre, l.yCentre - R + 4 * sy, m_astrCompass[0], true);
  pCanvas->SetTextColor(RGB(255, 0, 0));
  DrawText(pCanvas, l.xCentre, l.yCentre + R - 2 * sy - cyLetter, m_astrCompass[1], true);
  pCanvas->SetTextColor(RGB(0, 0, 0));
  DrawText(pCanvas, l.xCentre + R - pCanvas->GetTextExtent(m_astrCompass[2].c_str(), int(m_astrCompass[2].size())).cx,
           l.yCentre + 6 * sy - cyLetter, m_astrCompass[2], false);
  DrawText(pCanvas, l.xCentre - R + 2 * sx, l.yCentre + 6 * sy - cyLetter, m_astrCompass[3], false);

  // The bar strip's ground.
  for (int t = 0; t < l.cyBars; ++t) {
    VRect rc = {l.xStrip, l.yBaseline - t, l.xStrip + l.cxStrip, l.yBaseline - t + 1};
    pCanvas->FillRect(rc, m_apGrey[l.cyBars > 1 ? t * 31 / (l.cyBars - 1) : 0].get());
  }

  // The satellites.
  pCanvas->SelectFont(m_pSmallFont.get());
  pCanvas->SetTextColor(RGB(0, 0, 0));
  for (size_t i = 0; i < aSatellites.size(); ++i) {
    const SatelliteInfo& s = aSatellites[i];
    const int nSnr = std::max(0, s.nSnr);
    if (nSnr > m_nHighest) m_nHighest = nSnr + 1;
    const bool fUsed = s.nState == 2;
    char16_t szPrn[16];
    Format(szPrn, 16, u"%02d", int(s.nPrn));
    const int cchPrn = int(StrLen(szPrn));
    const int cxPrn = pCanvas->GetTextExtent(szPrn, cchPrn).cx;
    const VPoint pt = SatellitePlotPoint(l, s.nAzimuth, std::clamp(int(s.nElevation), -90, 90));
    const int r = 4 * sy;
    pCanvas->SelectPen(m_pBlackPen.get());
    const int iRamp = SatelliteRampIndex(nSnr, m_nHighest);
    pCanvas->SelectBrush(fUsed ? m_apGreen[iRamp].get() : m_apRed[iRamp].get());
    pCanvas->Ellipse(pt.x - r, pt.y - r, pt.x + r, pt.y + r);
    pCanvas->TextOutAt(pt.x - cxPrn / 2, pt.y + r, szPrn, cchPrn);
    const VRect rcBar = SatelliteBarRect(l, int(i), nSnr, m_nHighest, sy);
    pCanvas->FillRect(rcBar, fUsed ? m_pUsed.get() : m_pInView.get());
    pCanvas->TextOutAt((rcBar.left + rcBar.right) / 2 - cxPrn / 2, l.yBaseline + 2 * sy, szPrn, cchPrn);
  }

  pCanvas->SelectFont(m_pFont.get());
  DrawTextBlock(pCanvas, l, cx, fix);

  if (fix.Has(gfSatellitesUsed) && fix.satellitesUsed != -1) {
    char16_t sz[64];
    Format(sz, 64, m_strUsed.c_str(), int(fix.satellitesUsed));
    pCanvas->SetTextColor(RGB(255, 0, 0));
    if (l.fPortrait)
      pCanvas->TextOutAt(10 * sx, 10 * sy, sz, int(StrLen(sz)));
    else
      pCanvas->TextOutAt(10 * sx, 2 * l.xCentre, sz, int(StrLen(sz)));
  }

  if (pszStatus && *pszStatus) {
    pCanvas->SetTextColor(RGB(0, 0, 128));
    pCanvas->TextOutAt(10 * sx, cy - 18 * sy, pszStatus, int(std::min<size_t>(StrLen(pszStatus), 256)));
  }
  pCanvas->SelectFont(pOldFont);
  pCanvas->SelectBrush(pOldBrush);
  pCanvas->SelectPen(pOldPen);
}

void CSatellitePainter::DrawTextBlock(CCanvas* pCanvas, const SatelliteLayout& l, int cx, const GpsFix& fix) {
  const int sx = render::GetScaleFactorX(), sy = render::GetScaleFactorY();
  const int L = l.fPortrait ? 0 : 2 * l.xCentre;
  const int xLabel = l.fPortrait ? 10 * sx : L;
  const bool fBelow = cx - L - 70 * sx < 70 * sx;
  const int xValue = fBelow ? xLabel : L + 70 * sx;
  const int cyLine = fBelow ? 30 * sy : 15 * sy;
  int y = l.yBaseline + (l.fPortrait ? 16 : 18) * sy;

  char16_t szLat[64], szLon[64], szFix[128];
  if (fix.Has(gfPosition)) {
    FormatLatitude(fix.latitude, szLat, 64);
    FormatLongitude(fix.longitude, szLon, 64);
  } else {
    StrCopy(szLat, 64, m_strPlaceholder.c_str());
    StrCopy(szLon, 64, m_strPlaceholder.c_str());
  }
  if (!fix.Has(gfStatus)) {
    StrCopy(szFix, 128, m_strPlaceholder.c_str());
  } else if (fix.Has(gfHorizontalError)) {
    char16_t szValue[32], szUnit[16];
    FormatDistance(std::round(double(fix.horizontalError)), szValue, 32, szUnit, 16);
    FormatResString(szFix, 128, c_idsFixWithError, FixStatusName(fix.status), szValue, szUnit);
  } else if (fix.Has(gfHdop)) {
    FormatResString(szFix, 128, c_idsFixWithHdop, FixStatusName(fix.status), double(fix.hdop));
  } else {
    StrCopy(szFix, 128, FixStatusName(fix.status));
  }
  const std::u16string* apLabels[3] = {&m_strLatitude, &m_strLongitude, &m_strFix};
  const char16_t* apValues[3] = {szLat, szLon, szFix};
  pCanvas->SetTextColor(RGB(0, 0, 0));
  for (int i = 0; i < 3; ++i) {
    DrawText(pCanvas, xLabel, y, *apLabels[i], false);
    pCanvas->TextOutAt(xValue, fBelow ? y + 15 * sy : y, apValues[i], int(StrLen(apValues[i])));
    y += cyLine;
  }
}
