// The view state of the map page and its integer transform.
#include "view/MapPosition.h"

#include <cmath>

#include "settings/SettingsTable.h"
#include "geo/Units.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "view/FastMath.h"

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

// a × b / c rounded half away from zero like MulDiv, in 64 bits (c > 0):
// the 32-bit MulDiv's -1 on overflow would send far points astray (2000
// pixels at the coarsest scale are 2^31 map units).
inline int64_t RoundDiv(int64_t a, int64_t b, int64_t c) {
  const int64_t p = a * b;
  return p >= 0 ? (p + c / 2) / c : (p - c / 2) / c;
}

inline __int128 RoundDiv128(__int128 p, __int128 c) {
  if (c <= 0)
    return 0;
  return p >= 0 ? (p + c / 2) / c : (p - c / 2) / c;
}

const int64_t c_nHalf18 = int64_t(1) << 17;

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
      m_nScaleX(1), m_nScaleY(1), m_nNumX(0), m_nDenX(1), m_nNumX256(0), m_nNum256(0) {
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
  // 1 at 96 dpi, 2 at 192 dpi; 4 covers 384 dpi and keeps the 64-bit
  // products of the transform in range.
  m_nScaleX = nScaleX < 1 ? 1 : (nScaleX > 4 ? 4 : nScaleX);
  m_nScaleY = nScaleY < 1 ? 1 : (nScaleY > 4 ? 4 : nScaleY);
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
  UpdateFactors();
}

void CMapPosition::UpdateFactors() {
  m_nNumX = int64_t(m_nNum) * m_nLatFactor;
  m_nDenX = int64_t(m_nCurrentArcs) * 255;
  m_nNumX256 = m_nNumX * 256;
  m_nNum256 = int64_t(m_nNum) * 256;
}

void CMapPosition::SetScale(size_t cScaleIndex) {
  ASSERT(cScaleIndex < g_cScales);
  LoadScale(cScaleIndex);
  SetDword(setting::MapZoom.pszName, DWORD(m_cScaleIndex));
}

const char16_t* CMapPosition::GetScaleText(char16_t* pszBuf, size_t cchBuf) const {
  return FormatScaleLabel(m_cScaleIndex, pszBuf, cchBuf);
}

const char16_t* FormatScaleLabel(size_t cScaleIndex, char16_t* pszBuf, size_t cchBuf) {
  if (!pszBuf || cchBuf == 0)
    return pszBuf;
  if (cScaleIndex > size_t(c_nMaxScaleIndex))
    cScaleIndex = size_t(c_nMaxScaleIndex);
  const ScaleEntry& entry = g_cScales[cScaleIndex];
  const DWORD dwUnit = g_UnitOptions.dwDistanceUnit;
  const float fLabel = dwUnit == duMetric ? entry.fLabelMetric : entry.fLabelFeetMiles;
  // Tenths rounded to nearest: 0.7f is 0.69999999, whose truncated first
  // decimal would read 6.
  const int32_t nTenths = fast_floor(fLabel * 10 + 0.5f);
  uint32_t idsUnit;
  if (dwUnit == duMetric)
    idsUnit = int(cScaleIndex) < c_nFirstKmScale ? c_idsUnitMeters : c_idsUnitKilometres;
  else if (int(cScaleIndex) < c_nFirstMileScale)
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
  // Longitudes beyond ±180° (a pan across the date line) come back into
  // the map range: 2^31 units are a whole turn.
  if (x > c_nMapUnits180)
    x = Trunc32(int64_t(x) - (int64_t(1) << 31));
  else if (x < -c_nMapUnits180)
    x = Trunc32(int64_t(x) + (int64_t(1) << 31));
  if (y > c_nMaxMapLatitude)
    y = c_nMaxMapLatitude;
  else if (y < -c_nMaxMapLatitude)
    y = -c_nMaxMapLatitude;
  m_xc = x;
  m_yc = y;
  m_nLatFactor = fast_floor_d(std::cos(y * double(c_PI) / 1073741824.0) * 255 + 0.5);
  UpdateFactors();
  g_nMapXc = m_xc;
  g_nMapYc = m_yc;
}

void CMapPosition::SetCentre(int32_t x, int32_t y) {
  ApplyCentre(x, y);
  SetDword(setting::MapXc.pszName, DWORD(uint32_t(m_xc) << 1));
  SetDword(setting::MapYc.pszName, DWORD(uint32_t(m_yc) << 1));
}

void CMapPosition::Pan(int32_t dx, int32_t dy) {
  // The map follows the pointer: the point that was at the origin moves to
  // origin + (dx, dy), so the new centre is the old one reflected through
  // the map point under origin + (dx, dy).
  int64_t x, y;
  ToMapWide(m_ox + int64_t(dx), m_oy + int64_t(dy), &x, &y);
  x = 2 * int64_t(m_xc) - x;
  y = 2 * int64_t(m_yc) - y;
  // Whole turns (2^31 units) off, into ±180°.
  const int64_t c_nTurn = int64_t(1) << 31;
  x = ((x + c_nMapUnits180) % c_nTurn + c_nTurn) % c_nTurn - c_nMapUnits180;
  SetCentre(int32_t(x), ClampToInt32(y));
}

// The forward transform. The offsets from the centre are scaled to 1/256
// pixel (64-bit products; the dpi factor is at most 4, so (x − xc) × n × c
// × 256 stays below 2^63), rotated by the cosine and sine × 1024, and
// rounded to the nearest pixel once. One rounding at the end keeps every
// screen point within half a pixel of the exact position, so ToMap finds
// the same pixel again at any rotation.
VPoint CMapPosition::ToScreen(int32_t x, int32_t y) const {
  if (m_nAngle == 0) {
    const int64_t dx = RoundDiv(int64_t(x) - m_xc, m_nNumX, m_nDenX);
    const int64_t dy = RoundDiv(int64_t(y) - m_yc, m_nNum, m_nCurrentArcs);
    return VPoint{Trunc32(m_ox + dx), Trunc32(m_oy - dy)};
  }
  const int64_t dx = (int64_t(x) - m_xc) * m_nNumX256 / m_nDenX;
  const int64_t dy = (int64_t(y) - m_yc) * m_nNum256 / m_nCurrentArcs;
  return VPoint{Trunc32(((dx * m_nCos - dy * m_nSin + c_nHalf18) >> 18) + m_ox),
                Trunc32(m_oy - ((dx * m_nSin + dy * m_nCos + c_nHalf18) >> 18))};
}

VPoint CMapPosition::ToScreenDoubled(int32_t x, int32_t y) const {
  return ToScreen(x >> 1, y >> 1);
}

void CMapPosition::ToScreenMany(const MapPoint* pPoints, VPoint* pOut, size_t cPoints) const {
  const int64_t xc = m_xc, yc = m_yc, ox = m_ox, oy = m_oy;
  const int64_t nDenX = m_nDenX, nDen = m_nCurrentArcs;
  if (m_nAngle == 0) {
    const int64_t nNumX = m_nNumX, nNum = m_nNum;
    for (size_t i = 0; i < cPoints; ++i) {
      pOut[i].x = Trunc32(ox + RoundDiv(pPoints[i].x - xc, nNumX, nDenX));
      pOut[i].y = Trunc32(oy - RoundDiv(pPoints[i].y - yc, nNum, nDen));
    }
    return;
  }
  const int64_t nNumX = m_nNumX256, nNum = m_nNum256;
  const int64_t C = m_nCos, S = m_nSin;
  for (size_t i = 0; i < cPoints; ++i) {
    const int64_t dx = (pPoints[i].x - xc) * nNumX / nDenX;
    const int64_t dy = (pPoints[i].y - yc) * nNum / nDen;
    pOut[i].x = Trunc32(((dx * C - dy * S + c_nHalf18) >> 18) + ox);
    pOut[i].y = Trunc32(oy - ((dx * S + dy * C + c_nHalf18) >> 18));
  }
}

MapPoint CMapPosition::ToMap(int32_t sx, int32_t sy) const {
  int64_t x, y;
  ToMapWide(sx, sy, &x, &y);
  return MapPoint{Trunc32(x), Trunc32(y)};
}

// The exact inverse of the rotation (divided by C² + S², not 1024²) and of
// the scaling, rounded once per axis; 128-bit products.
void CMapPosition::ToMapWide(int64_t sx, int64_t sy, int64_t* px, int64_t* py) const {
  const int64_t a = sx - m_ox;
  const int64_t b = m_oy - sy;
  const __int128 u = __int128(a) * m_nCos + __int128(b) * m_nSin;
  const __int128 v = -__int128(a) * m_nSin + __int128(b) * m_nCos;
  const __int128 nNorm = int64_t(m_nCos) * m_nCos + int64_t(m_nSin) * m_nSin;
  const __int128 dx = RoundDiv128(u * m_nDenX * 1024, __int128(m_nNumX) * nNorm);
  const __int128 dy = RoundDiv128(v * m_nCurrentArcs * 1024, __int128(m_nNum) * nNorm);
  // Screen points are 32-bit: the offsets stay far inside 64 bits.
  *px = int64_t(m_xc + dx);
  *py = int64_t(m_yc + dy);
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
  const int64_t cx = RoundDiv(RectWidth(rect), int64_t(m_nNum) * m_nLatFactor, int64_t(m_nCurrentArcs) * 255);
  const int64_t cy = RoundDiv(RectHeight(rect), m_nNum, m_nCurrentArcs);
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
    const int64_t w = RoundDiv(cxRect, int64_t(entry.nNum) * m_nLatFactor, int64_t(entry.anDen[duMetric]) * 255) * m_nScaleX;
    const int64_t h = RoundDiv(cyRect, entry.nNum, entry.anDen[duMetric]) * m_nScaleY;
    if (m_cx >= w && m_cy >= h)
      break;
  }
  SetScale(i < c_cScales ? i : c_cScales - 1);
}
