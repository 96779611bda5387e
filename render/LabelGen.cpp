// Label placement and the label interpreter.
#include "render/LabelGen.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "geo/Units.h"
#include "map/MapParser.h"
#include "platform/Debug.h"
#include "render/Screen.h"
#include "view/FastMath.h"

using platform::CCanvas;
using platform::CFont;
using render::ScaleX;
using render::ScaleY;

CLabelGen::CLabelGen()
    : m_cCellsNw(0),
      m_cCellsNh(0),
      m_cxClient(0),
      m_cyClient(0),
      m_pCanvas(nullptr),
      m_pView(nullptr),
      m_pWaypointFont(nullptr),
      m_crWaypoint(0x000000),
      m_cIconsDrawn(0),
      m_fLinePlacement(false) {}

CLabelGen::~CLabelGen() = default;

void CLabelGen::SetContext(CCanvas* pCanvas, const CDrawSink* pView) {
  m_pCanvas = pCanvas;
  m_pView = pView;
}

void CLabelGen::Clear(int cxClient, int cyClient) {
  m_records.clear();
  m_records.reserve(1024);
  m_cxClient = std::max(cxClient, 0);
  m_cyClient = std::max(cyClient, 0);
  m_cCellsNw = m_cxClient / c_cxLabelCell + 1;
  m_cCellsNh = m_cyClient / c_cyLabelCell + 1;
  m_textGrid.assign(size_t(m_cCellsNw) * size_t(m_cCellsNh), -1);
  m_iconGrid.assign(size_t(m_cCellsNw) * size_t(m_cCellsNh), -1);
}

void CLabelGen::Clear() {
  if (m_pCanvas != nullptr)
    Clear(m_pCanvas->Width(), m_pCanvas->Height());
  else
    Clear(m_cxClient, m_cyClient);
}

int32_t CLabelGen::TextCell(int nColumn, int nRow) const {
  if (nColumn < 0 || nRow < 0 || nColumn >= m_cCellsNw || nRow >= m_cCellsNh)
    return -1;
  return m_textGrid[size_t(nRow) * size_t(m_cCellsNw) + size_t(nColumn)];
}

int32_t CLabelGen::IconCell(int nColumn, int nRow) const {
  if (nColumn < 0 || nRow < 0 || nColumn >= m_cCellsNw || nRow >= m_cCellsNh)
    return -1;
  return m_iconGrid[size_t(nRow) * size_t(m_cCellsNw) + size_t(nColumn)];
}

void CLabelGen::SetWaypointStyle(const CFont* pFont, COLORREF cr) {
  m_pWaypointFont = pFont;
  m_crWaypoint = cr;
}

bool CLabelGen::TryPlaceText(CCanvas* pCanvas, const char16_t* pText, size_t cText, int x, int y,
                             uint16_t wPriority, const CFont* pFont, uint32_t dwAlign) {
  if (cText == 0 || pText == nullptr)
    return true;
  if (pCanvas == nullptr || m_textGrid.empty())
    return false;
  pCanvas->SelectFont(pFont);
  const platform::VSize size = pCanvas->GetTextExtent(pText, int(std::min<size_t>(cText, 0x7FFFFFFF)));
  const int w = size.cx, h = size.cy;
  if (dwAlign & c_fAlignCentreX)
    x -= w / 2;
  else if (dwAlign & c_fAlignRight)
    x -= w;
  if (dwAlign & c_fAlignCentreY)
    y -= h / 2;
  else if (dwAlign & c_fAlignBottom)
    y -= h;
  // The cells under the box; a box that starts off the left or top edge
  // occupies the cells from the edge on.
  const int64_t xEnd = int64_t(x) + w, yEnd = int64_t(y) + h;
  if (xEnd < 0 || yEnd < 0)
    return true;  // wholly off screen: nothing to occupy
  const uint32_t c0 = uint32_t(std::max(x, 0)) / c_cxLabelCell;
  const uint32_t r0 = uint32_t(std::max(y, 0)) / c_cyLabelCell;
  const uint32_t c1 = std::min<uint32_t>(uint32_t(xEnd) / c_cxLabelCell, uint32_t(m_cCellsNw - 1));
  const uint32_t r1 = std::min<uint32_t>(uint32_t(yEnd) / c_cyLabelCell, uint32_t(m_cCellsNh - 1));
  const int32_t nNew = int32_t(m_records.size());
  for (uint32_t r = r0; r <= r1; ++r) {
    for (uint32_t c = c0; c <= c1; ++c) {
      const size_t i = size_t(r) * size_t(m_cCellsNw) + c;
      ASSERT(i < m_textGrid.size());
      const int32_t nOccupant = m_textGrid[i];
      // Line labels give way to every other text (they are placed only
      // where nothing else is).
      if (nOccupant >= 0 && m_records[size_t(nOccupant)].fVisible && m_records[size_t(nOccupant)].nKind != lkLine &&
          m_records[size_t(nOccupant)].wPriority <= wPriority)
        return false;
    }
  }
  for (uint32_t r = r0; r <= r1; ++r) {
    for (uint32_t c = c0; c <= c1; ++c) {
      const size_t i = size_t(r) * size_t(m_cCellsNw) + c;
      const int32_t nOccupant = m_textGrid[i];
      if (nOccupant >= 0) {
        ASSERT(nOccupant < nNew);
        m_records[size_t(nOccupant)].dwTextRef = c_dwNoText;
      }
      m_textGrid[i] = nNew;
    }
  }
  return true;
}

void CLabelGen::AddPointLabel(CMapParser* pParser, uint16_t wLabelRef, const char16_t* pText, size_t cText,
                              uint32_t dwTextRef, int32_t x, int32_t y, uint16_t wPriority, StyleHandle hLabelStyle,
                              StyleHandle hIcon) {
  const platform::CIcon* pIcon = static_cast<const platform::CIcon*>(hIcon);
  const LabelStyle* pStyle = static_cast<const LabelStyle*>(hLabelStyle);
  const bool fText = cText != 0 && pText != nullptr;
  if (!fText && pIcon == nullptr)
    return;
  if (x < 0 || y < 0 || x >= m_cxClient || y >= m_cyClient || m_iconGrid.empty())
    return;
  const int32_t nNew = int32_t(m_records.size());
  if (pIcon != nullptr) {
    const size_t i = size_t(y / c_cyLabelCell) * size_t(m_cCellsNw) + size_t(x / c_cxLabelCell);
    ASSERT(i < m_iconGrid.size());
    const int32_t nOccupant = m_iconGrid[i];
    if (nOccupant >= 0) {
      LabelRecord& other = m_records[size_t(nOccupant)];
      if (other.fVisible && other.wPriority <= wPriority)
        return;
      other.fVisible = false;
    }
    m_iconGrid[i] = nNew;
  }
  ASSERT(pStyle == nullptr || pStyle->pFont != nullptr);
  const CFont* pFont = pStyle != nullptr ? pStyle->pFont : nullptr;
  bool fPlaced = false;
  if (fText && pFont != nullptr)
    fPlaced = TryPlaceText(m_pCanvas, pText, cText, x, y, wPriority, pFont, 0);
  AppendRecord(pParser, lkPoint, wLabelRef, wPriority, (fPlaced && fText) ? dwTextRef : c_dwNoText, x, y,
               pStyle != nullptr ? pStyle->crText : 0, pFont, 0, pIcon);
}

platform::VSize CLabelGen::MeasureSingleLine(CCanvas* pCanvas, const CFont* pFont, const char16_t* pText, size_t cText) {
  if (pCanvas == nullptr)
    return {0, 0};
  pCanvas->SelectFont(pFont);
  VRect rc = {0, 0, 0, 0};
  pCanvas->DrawTextIn(pText, int(std::min<size_t>(cText, 0x7FFFFFFF)), rc,
                      platform::dtCalcRect | platform::dtSingleLine | platform::dtNoPrefix);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

const CFont* CLabelGen::HorizontalLineFont() {
  const SharedStock& stock = GetSharedStock();
  if (stock.pFont12 != nullptr)
    return stock.pFont12;
  if (m_pOwnFont == nullptr)
    m_pOwnFont = std::make_unique<CFont>(u"Tahoma", ScaleY(12), 0, platform::c_nFwNormal, 0);
  return m_pOwnFont.get();
}

int FindLongestSegment(const VPoint* pPoints, size_t cPoints) {
  if (pPoints == nullptr || cPoints < 2)
    return -1;
  int iBest = -1;
  uint32_t nBest = 0;
  for (size_t i = 0; i + 1 < cPoints; ++i) {
    const int64_t dx = int64_t(pPoints[i + 1].x) - pPoints[i].x, dy = int64_t(pPoints[i + 1].y) - pPoints[i].y;
    const uint64_t q = uint64_t(dx * dx + dy * dy);
    const uint32_t n = fast_sqrt(uint32_t(std::min<uint64_t>(q, 0xFFFFFFFFu)));
    if (iBest < 0 || n > nBest) {
      iBest = int(i);
      nBest = n;
    }
  }
  return iBest;
}

int LabelAngleOfSegment(int dx, int dy) {
  float fAngle = fast_atan2(dy, dx);
  if (fAngle >= c_PI / 2)
    fAngle -= c_PI;
  else if (fAngle < -c_PI / 2)
    fAngle += c_PI;
  ASSERT(-c_PI / 2 <= fAngle && fAngle < c_PI / 2);
  int nAngle = fast_floor(fAngle * 180.0f / c_PI + 0.5f);
  ASSERT(-90 <= nAngle && nAngle <= 90);
  nAngle = std::clamp(nAngle, -90, 90);
  return -nAngle;
}

void CLabelGen::AddLineLabel(CMapParser* pParser, uint16_t wLabelRef, bool fHorizontal, const char16_t* pText,
                             size_t cText, uint32_t dwTextRef, const VPoint* pPoints, size_t cPoints,
                             const MapRect& rect, StyleHandle hLabelStyle) {
  if (cText == 0 || pText == nullptr || m_pCanvas == nullptr)
    return;
  const LineLabelStyle* pStyle = static_cast<const LineLabelStyle*>(hLabelStyle);
  const int nSelector = pStyle != nullptr ? pStyle->nSelector : lfSmall;
  const CFont* pMeasure = fHorizontal ? HorizontalLineFont() : GetLabelFont(nSelector, 0);
  const platform::VSize size = MeasureSingleLine(m_pCanvas, pMeasure, pText, cText);
  const int w = size.cx, h = size.cy;
  if (m_pView != nullptr && !m_pView->IsAtLeast(rect, w, w))
    return;
  const int iSeg = FindLongestSegment(pPoints, cPoints);
  if (iSeg < 0)
    return;
  const VPoint& a = pPoints[iSeg];
  const VPoint& b = pPoints[iSeg + 1];
  const int mx = int((int64_t(a.x) + b.x) / 2), my = int((int64_t(a.y) + b.y) / 2);
  int x, y;
  const CFont* pFont;
  if (fHorizontal) {
    x = mx - w / 2;
    y = my - h / 2;
    pFont = pMeasure;
  } else {
    const int nAngle = LabelAngleOfSegment(b.x - a.x, b.y - a.y);
    const float fAngle = float(nAngle) * c_PI / 180.0f;
    const float s = fast_sin(fAngle), c = fast_cos(fAngle);
    const float k = (pStyle != nullptr && pStyle->fFlag) ? 0.6f : 1.0f;
    x = mx + fast_floor(-float(w) / 2 * c - s * float(h) * k + 0.5f);
    y = my + fast_floor(float(w) / 2 * s - float(h) * k * c + 0.5f);
    pFont = GetLabelFont(nSelector, nAngle);
  }
  if (x < INT16_MIN || x > INT16_MAX || y < INT16_MIN || y > INT16_MAX)
    return;
  const int nAngle = fHorizontal ? 0 : LabelAngleOfSegment(b.x - a.x, b.y - a.y);
  if (m_fLinePlacement && !TryPlaceLineBox(LineLabelQuad(x, y, w, h, nAngle)))
    return;
  LabelRecord& rec = AppendRecord(pParser, lkLine, wLabelRef, c_wLowestPriority, dwTextRef, int(x), int(y),
                                  pStyle != nullptr ? pStyle->crText : 0, pFont, 0, nullptr);
  rec.nAngle = int16_t(nAngle);
  rec.cxText = int16_t(std::min(w, int(INT16_MAX)));
  rec.cyText = int16_t(std::min(h, int(INT16_MAX)));
}

LabelQuad LineLabelQuad(int x, int y, int w, int h, int nAngle) {
  // The text runs along d = (cos a, -sin a) on screen (y grows down); its
  // lines stack along n = (sin a, cos a).
  const float fAngle = float(nAngle) * c_PI / 180.0f;
  const float s = fast_sin(fAngle), c = fast_cos(fAngle);
  const float dx = c, dy = -s, nx = s, ny = c;
  LabelQuad q;
  q.ax[0] = float(x);
  q.ay[0] = float(y);
  q.ax[1] = float(x) + float(w) * dx;
  q.ay[1] = float(y) + float(w) * dy;
  q.ax[2] = q.ax[1] + float(h) * nx;
  q.ay[2] = q.ay[1] + float(h) * ny;
  q.ax[3] = float(x) + float(h) * nx;
  q.ay[3] = float(y) + float(h) * ny;
  return q;
}

namespace {

// The projections of a box's corners on an axis: their least and greatest.
void Project(const LabelQuad& q, float ux, float uy, float& fMin, float& fMax) {
  fMin = fMax = q.ax[0] * ux + q.ay[0] * uy;
  for (int i = 1; i < 4; ++i) {
    const float f = q.ax[i] * ux + q.ay[i] * uy;
    fMin = std::min(fMin, f);
    fMax = std::max(fMax, f);
  }
}

// Separated along the edge normals of either box (by more than the
// tolerance); the axes need not be of unit length for the test, but the
// tolerance is in pixels, so they are normalised.
bool SeparatedOnEdges(const LabelQuad& a, const LabelQuad& b, float fTolerance) {
  for (int i = 0; i < 2; ++i) {
    float ux = a.ax[i + 1] - a.ax[i], uy = a.ay[i + 1] - a.ay[i];
    const float fLen = std::sqrt(ux * ux + uy * uy);
    if (fLen < 1e-6f)
      continue;
    ux /= fLen;
    uy /= fLen;
    float aMin, aMax, bMin, bMax;
    Project(a, ux, uy, aMin, aMax);
    Project(b, ux, uy, bMin, bMax);
    if (aMax - fTolerance <= bMin || bMax - fTolerance <= aMin)
      return true;
  }
  return false;
}

}  // namespace

bool QuadsOverlap(const LabelQuad& a, const LabelQuad& b, float fTolerance) {
  return !SeparatedOnEdges(a, b, fTolerance) && !SeparatedOnEdges(b, a, fTolerance);
}

bool CLabelGen::TryPlaceLineBox(const LabelQuad& quad) {
  if (m_textGrid.empty())
    return false;
  float xMin = quad.ax[0], xMax = quad.ax[0], yMin = quad.ay[0], yMax = quad.ay[0];
  for (int i = 1; i < 4; ++i) {
    xMin = std::min(xMin, quad.ax[i]);
    xMax = std::max(xMax, quad.ax[i]);
    yMin = std::min(yMin, quad.ay[i]);
    yMax = std::max(yMax, quad.ay[i]);
  }
  // Only wholly on screen: a street name cut by the edge is no help.
  if (xMin < 0 || yMin < 0 || xMax > float(m_cxClient) || yMax > float(m_cyClient))
    return false;
  const int c0 = int(xMin) / c_cxLabelCell, c1 = std::min(int(xMax) / c_cxLabelCell, m_cCellsNw - 1);
  const int r0 = int(yMin) / c_cyLabelCell, r1 = std::min(int(yMax) / c_cyLabelCell, m_cCellsNh - 1);
  // The cells the box really covers (a turned box covers few of those in
  // its bounding rectangle).
  std::vector<size_t> cells;
  for (int r = r0; r <= r1; ++r) {
    for (int c = c0; c <= c1; ++c) {
      LabelQuad cell;
      const float x0 = float(c * c_cxLabelCell), y0 = float(r * c_cyLabelCell);
      const float x1 = x0 + float(c_cxLabelCell), y1 = y0 + float(c_cyLabelCell);
      cell.ax[0] = x0, cell.ay[0] = y0, cell.ax[1] = x1, cell.ay[1] = y0;
      cell.ax[2] = x1, cell.ay[2] = y1, cell.ax[3] = x0, cell.ay[3] = y1;
      if (!QuadsOverlap(quad, cell, 0.0f))
        continue;
      const size_t i = size_t(r) * size_t(m_cCellsNw) + size_t(c);
      ASSERT(i < m_textGrid.size());
      const int32_t nText = m_textGrid[i];
      if (nText >= 0 && m_records[size_t(nText)].fVisible && m_records[size_t(nText)].dwTextRef != c_dwNoText)
        return false;
      const int32_t nIcon = m_iconGrid[i];
      if (nIcon >= 0 && m_records[size_t(nIcon)].fVisible)
        return false;
      cells.push_back(i);
    }
  }
  const int32_t nNew = int32_t(m_records.size());
  for (size_t i : cells)
    m_textGrid[i] = nNew;
  return true;
}

void CLabelGen::AddAreaLabel(CMapParser* pParser, uint16_t wLabelRef, const char16_t* pText, size_t cText,
                             uint32_t dwTextRef, const VPoint* pPoints, size_t cPoints, const MapRect& rect,
                             StyleHandle hLabelStyle) {
  if (cText == 0 || pText == nullptr || m_pCanvas == nullptr || pPoints == nullptr || cPoints == 0)
    return;
  const LabelStyle* pStyle = static_cast<const LabelStyle*>(hLabelStyle);
  if (pStyle == nullptr || pStyle->pFont == nullptr)
    return;
  const platform::VSize size = MeasureSingleLine(m_pCanvas, pStyle->pFont, pText, cText);
  if (m_pView != nullptr && !m_pView->IsAtLeast(rect, size.cx, size.cx))
    return;
  int64_t sx = 0, sy = 0;
  for (size_t i = 0; i < cPoints; ++i) {
    sx += pPoints[i].x;
    sy += pPoints[i].y;
  }
  const int64_t x = sx / int64_t(cPoints), y = sy / int64_t(cPoints);
  if (x < INT16_MIN || x > INT16_MAX || y < INT16_MIN || y > INT16_MAX)
    return;
  if (!TryPlaceText(m_pCanvas, pText, cText, int(x), int(y), c_wLowestPriority, pStyle->pFont, c_fAlignCentreX))
    return;
  AppendRecord(pParser, lkArea, wLabelRef, c_wLowestPriority, dwTextRef, int(x), int(y), pStyle->crText,
               pStyle->pFont, platform::dtCenter, nullptr);
}

void CLabelGen::AddWaypointLabel(int x, int y, const char16_t* pName, size_t cName) {
  const CFont* pFont = m_pWaypointFont != nullptr ? m_pWaypointFont : HorizontalLineFont();
  if (!TryPlaceText(m_pCanvas, pName, cName, x, y, c_wLowestPriority, pFont, 0))
    return;
  if (x < INT16_MIN || x > INT16_MAX || y < INT16_MIN || y > INT16_MAX)
    return;
  LabelRecord& rec = AppendRecord(nullptr, lkWaypoint, 0, c_wLowestPriority, 0, x, y, m_crWaypoint, pFont, 0, nullptr);
  if (pName != nullptr)
    rec.strText.assign(pName, cName);
}

LabelRecord& CLabelGen::AppendRecord(CMapParser* pParser, int32_t nKind, uint16_t wLabelRef, uint16_t wPriority,
                                     uint32_t dwTextRef, int x, int y, COLORREF crText, const CFont* pFont,
                                     uint32_t dwFormat, const platform::CIcon* pIcon) {
  LabelRecord rec = {};
  rec.pMP = pParser;
  rec.fVisible = true;
  rec.nKind = nKind;
  rec.wLabelRef = wLabelRef;
  rec.wPriority = wPriority;
  rec.dwTextRef = dwTextRef;
  rec.x = int16_t(x);
  rec.y = int16_t(y);
  rec.crText = crText;
  rec.pFont = pFont;
  rec.dwFormat = dwFormat;
  rec.pIcon = pIcon;
  m_records.push_back(std::move(rec));
  return m_records.back();
}

namespace {

int Luma(COLORREF cr) { return (GetRValue(cr) * 299 + GetGValue(cr) * 587 + GetBValue(cr) * 114) / 1000; }

// Label colours are made for a light ground; on a dark one (the night
// skin) a text too close to the ground is shown light instead.
COLORREF ReadableOn(COLORREF crText, COLORREF crGround) {
  const int nText = Luma(crText), nGround = Luma(crGround);
  if (std::abs(nText - nGround) >= 96 || nGround >= 128)
    return crText;
  return nText < 128 ? 0xD8D8D8 : crText;
}

}  // namespace

void CLabelGen::OrderByFont() {
  // Fonts in the order of their first record; the records keep their order
  // within a font.
  m_drawOrder.resize(m_records.size());
  m_fontRank.clear();
  std::vector<uint32_t> rgRank(m_records.size());
  for (size_t i = 0; i < m_records.size(); ++i) {
    m_drawOrder[i] = uint32_t(i);
    const CFont* pFont = m_records[i].pFont;
    auto it = std::find(m_fontRank.begin(), m_fontRank.end(), pFont);
    rgRank[i] = uint32_t(it - m_fontRank.begin());
    if (it == m_fontRank.end())
      m_fontRank.push_back(pFont);
  }
  std::stable_sort(m_drawOrder.begin(), m_drawOrder.end(),
                   [&](uint32_t a, uint32_t b) { return rgRank[a] < rgRank[b]; });
}

void CLabelGen::DrawLabels(CDrawSink* pContext, CCanvas* pCanvas) {
  if (pCanvas == nullptr)
    return;
  pCanvas->SetBkMode(platform::bmTransparent);
  m_cIconsDrawn = 0;
  const int nScale = pContext != nullptr ? pContext->GetScaleIndex() : 0;
  OrderByFont();
  const CFont* pSelected = nullptr;
  bool fFontSelected = false;
  for (size_t iOrder = 0; iOrder < m_drawOrder.size(); ++iOrder) {
    if ((iOrder & 255) == 255 && pContext != nullptr) {
      pContext->Yield();
      if (pContext->IsInterrupted())
        return;
    }
    const LabelRecord& rec = m_records[m_drawOrder[iOrder]];
    if (!rec.fVisible || rec.dwTextRef == c_dwNoText || rec.nKind == lkWaypoint)
      continue;
    ASSERT(rec.pMP != nullptr);
    if (rec.pMP == nullptr)
      continue;
    char16_t szText[c_cchLabelOut] = {};
    int nShield = 0;
    rec.pMP->GetLabel(nScale, rec.nKind, rec.wLabelRef, rec.dwTextRef, szText, &nShield);
    szText[c_cchLabelOut - 1] = 0;
    int cch = 0;
    while (szText[cch] != 0)
      ++cch;
    if (cch == 0)
      continue;
    if (!fFontSelected || rec.pFont != pSelected) {
      pCanvas->SelectFont(rec.pFont);
      pSelected = rec.pFont;
      fFontSelected = true;
    }
    const int x = rec.nKind == lkPoint ? rec.x + ScaleX(3) : rec.x;
    const int y = rec.nKind == lkPoint ? rec.y + ScaleY(2) : rec.y;
    if (nShield != 0) {
      const platform::VSize size = pCanvas->GetTextExtent(szText, cch);
      const SharedStock& stock = GetSharedStock();
      platform::CPen penBlack(platform::psSolid, 1, 0x000000);
      platform::CBrush brushWhite(platform::bkSolid, 0xFFFFFF);
      const platform::CBrush* pWhite = GetStockBrush(0xFFFFFF);
      pCanvas->SelectPen(stock.pPenBlack != nullptr ? stock.pPenBlack : &penBlack);
      pCanvas->SelectBrush(pWhite != nullptr ? pWhite : &brushWhite);
      int xBox = rec.x;
      if (rec.dwFormat & platform::dtCenter)
        xBox -= size.cx / 2;
      pCanvas->Rectangle(xBox - ScaleX(2), rec.y, xBox + size.cx + ScaleX(2), rec.y + size.cy);
      pCanvas->SelectPen(nullptr);
      pCanvas->SelectBrush(nullptr);
      pCanvas->SetTextColor(0x000000);
    } else {
      pCanvas->SetTextColor(ReadableOn(rec.crText, GetBackgroundColour()));
    }
    if (rec.dwFormat & platform::dtCenter) {
      VRect rc = {x, y, x, y};
      pCanvas->DrawTextIn(szText, cch, rc, rec.dwFormat | platform::dtNoClip | platform::dtNoPrefix | platform::dtSingleLine);
    } else {
      pCanvas->TextOutAt(x, y, szText, cch);
    }
  }
  for (size_t i = 0; i < m_records.size(); ++i) {
    if ((i & 255) == 255 && pContext != nullptr) {
      pContext->Yield();
      if (pContext->IsInterrupted())
        return;
    }
    const LabelRecord& rec = m_records[i];
    if (!rec.fVisible || rec.nKind == lkWaypoint || rec.pIcon == nullptr)
      continue;
    pCanvas->DrawIcon(rec.pIcon, rec.x - ScaleX(8) + 1, rec.y - ScaleY(8) + 1, ScaleX(16), ScaleX(16));
    ++m_cIconsDrawn;
  }
}

void CLabelGen::DrawWaypointLabels(CDrawSink* pContext, CCanvas* pCanvas, int xRight) {
  if (pCanvas == nullptr)
    return;
  for (size_t i = 0; i < m_records.size(); ++i) {
    if ((i & 255) == 255 && pContext != nullptr) {
      pContext->Yield();
      if (pContext->IsInterrupted())
        return;
    }
    const LabelRecord& rec = m_records[i];
    if (rec.nKind != lkWaypoint || rec.strText.empty())
      continue;
    pCanvas->SelectFont(rec.pFont);
    pCanvas->SetTextColor(rec.crText);
    pCanvas->SetBkMode(platform::bmTransparent);
    const int x = rec.x + ScaleX(3), y = rec.y + ScaleY(2);
    VRect rc = {x, y, std::max(xRight, x), y + pCanvas->GetTextExtent(rec.strText.data(), int(rec.strText.size())).cy};
    pCanvas->DrawTextIn(rec.strText.data(), int(rec.strText.size()), rc,
                        rec.dwFormat | platform::dtNoClip | platform::dtNoPrefix);
  }
}

// ---------------------------------------------------------------------------
// The label interpreter

namespace {

// A decimal number at the start of the text (spaces, sign, digits, point).
bool ParseNumber(const char16_t* p, size_t c, double& f) {
  size_t i = 0;
  while (i < c && p[i] == u' ')
    ++i;
  bool fMinus = false;
  if (i < c && (p[i] == u'-' || p[i] == u'+')) {
    fMinus = p[i] == u'-';
    ++i;
  }
  double v = 0, fScale = 0;
  size_t cDigits = 0;
  for (; i < c; ++i) {
    char16_t ch = p[i];
    if (ch >= u'0' && ch <= u'9') {
      if (fScale == 0) {
        v = v * 10 + (ch - u'0');
      } else {
        v += (ch - u'0') * fScale;
        fScale /= 10;
      }
      ++cDigits;
    } else if ((ch == u'.' || ch == u',') && fScale == 0) {
      fScale = 0.1;
    } else {
      break;
    }
  }
  if (cDigits == 0)
    return false;
  f = fMinus ? -v : v;
  return true;
}

// Appends the value (given in the map's unit) as an elevation in the user's
// unit; returns the new length.
size_t AppendElevation(double f, bool fMapUnitMetres, char16_t* pszOut, size_t c, size_t cMax) {
  char16_t szValue[32], szUnit[32];
  FormatElevation(f, fMapUnitMetres ? unMeters : unFeet, true, szValue, 32, szUnit, 32);
  for (const char16_t* p = szValue; *p != 0 && c < cMax; ++p)
    pszOut[c++] = *p;
  if (szUnit[0] != 0 && c < cMax)
    pszOut[c++] = u' ';
  for (const char16_t* p = szUnit; *p != 0 && c < cMax; ++p)
    pszOut[c++] = *p;
  return c;
}

bool UnitsDiffer(bool fMapUnitMetres) {
  return (fMapUnitMetres ? DWORD(unMeters) : DWORD(unFeet)) != g_UnitOptions.dwElevationUnit;
}

}  // namespace

size_t InterpretLabel(int nKind, uint16_t wType, bool fMapUnitMetres, const char16_t* pRaw, size_t cRaw,
                      char16_t* pszOut, int* pnShield, bool fFullForm) {
  const size_t cMax = c_cchLabelOut - 1;
  if (pnShield != nullptr)
    *pnShield = 0;
  if (pszOut == nullptr)
    return 0;
  pszOut[0] = 0;
  if (pRaw == nullptr)
    cRaw = 0;
  const bool fElevation = (nKind == rkPolyline && wType >= 0x20 && wType <= 0x22) ||
                          (nKind == rkPoint && wType >= 0x6300 && wType <= 0x63FF);
  const bool fDepth = (nKind == rkPolyline && wType >= 0x23 && wType <= 0x25) ||
                      (nKind == rkPoint && wType >= 0x6200 && wType <= 0x62FF);
  if ((fElevation || fDepth) && UnitsDiffer(fMapUnitMetres)) {
    double f = 0;
    size_t c = 0;
    if (ParseNumber(pRaw, cRaw, f))
      c = AppendElevation(f, fMapUnitMetres, pszOut, 0, cMax);
    pszOut[c] = 0;
    return c;
  }
  const bool fShort = !fFullForm;
  size_t c = 0;
  for (size_t i = 0; i < cRaw && c < cMax; ++i) {
    const char16_t ch = pRaw[i];
    if (ch >= 32) {
      pszOut[c++] = ch;
      continue;
    }
    if (ch == 0)
      break;
    if (ch >= 0x01 && ch <= 0x06) {
      if (pnShield != nullptr)
        *pnShield = ch;
    } else if (ch == 0x1B) {
      if (nKind == rkPolyline && fShort)
        c = 0;
    } else if (ch == 0x1C) {
      if (nKind == rkPolyline && fShort)
        break;
    } else if (ch == 0x1D) {
      // ignored
    } else if (ch == 0x1E) {
      if (nKind == rkPolyline) {
        if (fShort)
          c = 0;
        else
          pszOut[c++] = u' ';
      }
    } else if (ch == 0x1F) {
      if (nKind == rkPolyline) {
        if (fShort)
          break;
        pszOut[c++] = u' ';
      } else if (nKind == rkPolygon) {
        // ignored
      } else if (nKind == lkWaypoint) {
        pszOut[c++] = u'\u00A9';
      } else if (wType >= 0x6400 && wType <= 0x66FF) {
        pszOut[c++] = u' ';
        if (UnitsDiffer(fMapUnitMetres)) {
          double f = 0;
          if (c < 53 && ParseNumber(pRaw + i + 1, cRaw - i - 1, f))
            c = AppendElevation(f, fMapUnitMetres, pszOut, c, cMax);
          break;
        }
      } else {
        break;
      }
    } else {
      ASSERT(false);
    }
  }
  pszOut[c] = 0;
  return c;
}
