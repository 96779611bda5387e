// The view state of the map page and its integer transform.
#include "view/MapPosition.h"

#include <cmath>

#include "app/settings/SettingsTable.h"
#include "geo/Units.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "view/FastMath.h"

using vmath::MulDiv;

int32_t g_nMapXc = 0;
int32_t g_nMapYc = 0;

namespace {

// Wrapping 32-bit results of 64-bit intermediates (no signed overflow).
inline int32_t Trunc32(int64_t n) {
  return int32_t(uint32_t(uint64_t(n)));
}

inline int64_t RectWidth(const MapRectL& rect) {
  return int64_t(rect.right) - rect.left;
}

inline int64_t RectHeight(const MapRectL& rect) {
  return int64_t(rect.bottom) - rect.top;
}

// a × b / c rounded half away from zero, in 64 bits (c > 0, results that
// fit). Used where the 32-bit MulDiv's arguments would overflow.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c) {
  const int64_t p = a * b;
  return p >= 0 ? (p + c / 2) / c : (p - c / 2) / c;
}

int32_t ClampToInt32(int64_t n) {
  if (n > INT32_MAX)
    return INT32_MAX;
  if (n < INT32_MIN)
    return INT32_MIN;
  return int32_t(n);
}

}  // namespace

CMapPosition::CMapPosition()
    : m_xc(0), m_yc(0), m_cScaleIndex(10), m_nNum(0), m_nCurrentArcs(1), m_nAngle(0),
      m_nCos(1024), m_nSin(0), m_nLatFactor(255), m_ox(0), m_oy(0), m_cx(0), m_cy(0),
      m_nScaleX(1), m_nScaleY(1) {
  LoadScale(m_cScaleIndex);
}

void CMapPosition::SetOrigin(int32_t ox, int32_t oy) {
  m_ox = ox;
  m_oy = oy;
}

void CMapPosition::SetViewSize(int32_t cx, int32_t cy) {
  m_cx = cx < 0 ? 0 : cx;
  m_cy = cy < 0 ? 0 : cy;
}

void CMapPosition::SetScreenScale(int32_t nScaleX, int32_t nScaleY) {
  m_nScaleX = nScaleX < 1 ? 1 : (nScaleX > 64 ? 64 : nScaleX);
  m_nScaleY = nScaleY < 1 ? 1 : (nScaleY > 64 ? 64 : nScaleY);
  LoadScale(m_cScaleIndex);
}

void CMapPosition::Restore() {
  const bool fRotate = GetSettingBool(setting::RotateMap);
  ApplyAngle(fRotate ? int32_t(GetSetting(setting::MapAngle)) : 0);
  ApplyCentre(int32_t(GetSetting(setting::MapXc)) >> 1, int32_t(GetSetting(setting::MapYc)) >> 1);
  DWORD dwZoom = GetSetting(setting::MapZoom);
  if (dwZoom > DWORD(c_nMaxScaleIndex))
    dwZoom = c_nMaxScaleIndex;
  LoadScale(dwZoom);
}

void CMapPosition::LoadScale(size_t cScaleIndex) {
  if (cScaleIndex > size_t(c_nMaxScaleIndex))
    cScaleIndex = c_nMaxScaleIndex;
  m_cScaleIndex = cScaleIndex;
  const ScaleEntry& entry = g_cScales[cScaleIndex];
  m_nNum = entry.nNum * m_nScaleX / 8;
  DWORD dwUnit = g_UnitOptions.dwDistanceUnit;
  if (dwUnit > duStatute) {
    ASSERT(false);
    dwUnit = duMetric;
  }
  m_nCurrentArcs = entry.anDen[dwUnit] / 8;
  ASSERT(fast_log2(uint32_t(m_nCurrentArcs)) <= 24);
}

void CMapPosition::SetScale(size_t cScaleIndex) {
  ASSERT(cScaleIndex < g_cScales);
  LoadScale(cScaleIndex);
  SetDword(setting::MapZoom.pszName, DWORD(m_cScaleIndex));
}

const char16_t* CMapPosition::GetScaleText(char16_t* pszBuf, size_t cchBuf) const {
  if (!pszBuf || cchBuf == 0)
    return pszBuf;
  const ScaleEntry& entry = g_cScales[m_cScaleIndex];
  const DWORD dwUnit = g_UnitOptions.dwDistanceUnit;
  const float fLabel = dwUnit == duMetric ? entry.fLabelMetric : entry.fLabelFeetMiles;
  // Tenths rounded to nearest: 0.7f is 0.69999999, whose truncated first
  // decimal would read 6.
  const int32_t nTenths = fast_floor(fLabel * 10 + 0.5f);
  uint32_t idsUnit;
  if (dwUnit == duMetric)
    idsUnit = int(m_cScaleIndex) < c_nFirstKmScale ? c_idsUnitMeters : c_idsUnitKilometres;
  else if (int(m_cScaleIndex) < c_nFirstMileScale)
    idsUnit = c_idsUnitFeet;
  else
    idsUnit = dwUnit == duNautical ? c_idsUnitNauticalMiles : c_idsUnitMiles;
  char16_t szUnit[21];
  platform::StrCopy(szUnit, 21, GetUnitName(idsUnit));
  if (nTenths % 10 == 0)
    platform::Format(pszBuf, cchBuf, u"%d %s", int(nTenths / 10), szUnit);
  else
    platform::Format(pszBuf, cchBuf, u"%d.%d %s", int(nTenths / 10), int(nTenths % 10), szUnit);
  return pszBuf;
}

void CMapPosition::ApplyAngle(int32_t nDegrees) {
  m_nAngle = nDegrees;
  const float fRadians = float(nDegrees) * c_PI / 180;
  m_nCos = fast_floor(fast_cos(fRadians) * 1024 + 0.5f);
  m_nSin = fast_floor(fast_sin(fRadians) * 1024 + 0.5f);
}

void CMapPosition::SetAngle(int32_t nDegrees) {
  ApplyAngle(nDegrees);
  SetDword(setting::MapAngle.pszName, DWORD(uint32_t(m_nAngle)));
}

void CMapPosition::ApplyCentre(int32_t x, int32_t y) {
  if (y > c_nMaxMapLatitude)
    y = c_nMaxMapLatitude;
  else if (y < -c_nMaxMapLatitude)
    y = -c_nMaxMapLatitude;
  m_xc = x;
  m_yc = y;
  m_nLatFactor = fast_floor_d(std::cos(y * double(c_PI) / 1073741824.0) * 255 + 0.5);
  g_nMapXc = m_xc;
  g_nMapYc = m_yc;
}

void CMapPosition::SetCentre(int32_t x, int32_t y) {
  ApplyCentre(x, y);
  SetDword(setting::MapXc.pszName, DWORD(uint32_t(m_xc) << 1));
  SetDword(setting::MapYc.pszName, DWORD(uint32_t(m_yc) << 1));
}

void CMapPosition::Pan(int32_t dx, int32_t dy) {
  const int32_t u = Trunc32((int64_t(dx) * m_nCos - int64_t(dy) * m_nSin) >> 10);
  const int32_t v = Trunc32((-int64_t(dx) * m_nSin - int64_t(dy) * m_nCos) >> 10);
  const int32_t x = Trunc32(int64_t(m_xc) - MulDiv(u, m_nCurrentArcs * 255, m_nNum * m_nLatFactor));
  const int64_t y = int64_t(m_yc) - MulDiv(v, m_nCurrentArcs, m_nNum);
  SetCentre(x, ClampToInt32(y));
}

VPoint CMapPosition::ToScreen(int32_t x, int32_t y) const {
  const int64_t dx = (int64_t(x) - m_xc) * m_nNum * m_nLatFactor / (int64_t(m_nCurrentArcs) * 255);
  const int64_t dy = (int64_t(y) - m_yc) * m_nNum / m_nCurrentArcs;
  if (m_nAngle == 0)
    return VPoint{Trunc32(m_ox + dx), Trunc32(m_oy - dy)};
  return VPoint{Trunc32(((dx * m_nCos - dy * m_nSin) >> 10) + m_ox),
                Trunc32(m_oy - ((dx * m_nSin + dy * m_nCos) >> 10))};
}

VPoint CMapPosition::ToScreenDoubled(int32_t x, int32_t y) const {
  return ToScreen(x >> 1, y >> 1);
}

void CMapPosition::ToScreenMany(const MapPoint* pPoints, VPoint* pOut, size_t cPoints) const {
  const int64_t nNumX = int64_t(m_nNum) * m_nLatFactor;
  const int64_t nDenX = int64_t(m_nCurrentArcs) * 255;
  const int64_t nNum = m_nNum;
  const int64_t nDen = m_nCurrentArcs;
  const int64_t xc = m_xc, yc = m_yc, ox = m_ox, oy = m_oy;
  if (m_nAngle == 0) {
    for (size_t i = 0; i < cPoints; ++i) {
      const int64_t dx = (pPoints[i].x - xc) * nNumX / nDenX;
      const int64_t dy = (pPoints[i].y - yc) * nNum / nDen;
      pOut[i].x = Trunc32(ox + dx);
      pOut[i].y = Trunc32(oy - dy);
    }
    return;
  }
  const int64_t C = m_nCos, S = m_nSin;
  for (size_t i = 0; i < cPoints; ++i) {
    const int64_t dx = (pPoints[i].x - xc) * nNumX / nDenX;
    const int64_t dy = (pPoints[i].y - yc) * nNum / nDen;
    pOut[i].x = Trunc32(((dx * C - dy * S) >> 10) + ox);
    pOut[i].y = Trunc32(oy - ((dx * S + dy * C) >> 10));
  }
}

MapPoint CMapPosition::ToMap(int32_t sx, int32_t sy) const {
  const int64_t a = int64_t(sx) - m_ox;
  const int64_t b = int64_t(m_oy) - sy;
  const int32_t u = Trunc32((a * m_nCos + b * m_nSin) >> 10);
  const int32_t v = Trunc32((-a * m_nSin + b * m_nCos) >> 10);
  return MapPoint{Trunc32(int64_t(m_xc) + MulDiv(MulDiv(u, m_nCurrentArcs, m_nNum), 255, m_nLatFactor)),
                  Trunc32(int64_t(m_yc) + MulDiv(v, m_nCurrentArcs, m_nNum))};
}

MapRectL CMapPosition::GetViewRect() const {
  const MapPoint apt[4] = {ToMap(0, 0), ToMap(m_cx - 1, 0), ToMap(0, m_cy - 1), ToMap(m_cx - 1, m_cy - 1)};
  MapRectL rect{apt[0].x, apt[0].y, apt[0].x, apt[0].y};
  for (const MapPoint& pt : apt) {
    if (pt.x < rect.left)
      rect.left = pt.x;
    if (pt.x > rect.right)
      rect.right = pt.x;
    if (pt.y < rect.top)
      rect.top = pt.y;
    if (pt.y > rect.bottom)
      rect.bottom = pt.y;
  }
  return rect;
}

bool CMapPosition::IsAtLeast(const MapRectL& rect, int32_t cxLimit, int32_t cyLimit) const {
  // 64-bit: a whole-plane rectangle is 2^32 - 1 units wide.
  const int64_t cx = MulDiv64(RectWidth(rect), int64_t(m_nNum) * m_nLatFactor, int64_t(m_nCurrentArcs) * 255);
  const int64_t cy = MulDiv64(RectHeight(rect), m_nNum, m_nCurrentArcs);
  return cx >= cxLimit || cy >= cyLimit;
}

void CMapPosition::FitRect(const MapRectL& rect) {
  const int64_t cxRect = RectWidth(rect);
  const int64_t cyRect = RectHeight(rect);
  if (cxRect <= 0 || cyRect <= 0)
    return;
  size_t i = 0;
  for (; i < c_cScales; ++i) {
    const ScaleEntry& entry = g_cScales[i];
    // The least detailed denominators times 255 pass 2^31: 64 bits.
    const int64_t w = MulDiv64(cxRect, int64_t(entry.nNum) * m_nLatFactor, int64_t(entry.anDen[duMetric]) * 255) * m_nScaleX;
    const int64_t h = MulDiv64(cyRect, entry.nNum, entry.anDen[duMetric]) * m_nScaleY;
    if (m_cx >= w && m_cy >= h)
      break;
  }
  SetScale(i < c_cScales ? i : c_cScales - 1);
}
