// The view state of the map page: centre, scale and rotation, and the
// integer transform between map coordinates and screen pixels. Every change
// is written to the settings at once ("MapXc", "MapYc", "MapZoom",
// "MapAngle"), so the map reopens where it was left.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"
#include "view/MapUnits.h"
#include "view/Scales.h"

// Copies of the current centre (map units) for the parts that save a
// waypoint at the map centre.
extern int32_t g_nMapXc;
extern int32_t g_nMapYc;

// Map rectangles here have the layout of MapRect: left, top, right, bottom
// with left <= right the x range and top <= bottom the y range.
typedef VRect MapRectL;

class CMapPosition {
 public:
  CMapPosition();
  CMapPosition(const CMapPosition&) = default;
  CMapPosition& operator=(const CMapPosition&) = default;
  ~CMapPosition() = default;

  // The map page's part: the screen point where the centre is drawn, the
  // size of its map area, and the integer dpi factors (1 on 96 dpi).
  void SetOrigin(int32_t ox, int32_t oy);
  void SetViewSize(int32_t cx, int32_t cy);
  void SetScreenScale(int32_t nScaleX, int32_t nScaleY);

  // Reads "RotateMap", "MapAngle", "MapXc", "MapYc" and "MapZoom".
  void Restore();

  // Loads the numerator and the denominator of the current distance unit
  // ("OptionDistanceUnit"); an index above 26 becomes 26. Saves "MapZoom".
  void SetScale(size_t cScaleIndex);
  // The scale bar's text, e.g. "1.2 км" (at most 20 characters of unit).
  const char16_t* GetScaleText(char16_t* pszBuf, size_t cchBuf) const;
  // Rotation in whole degrees (0 = north up). Saves "MapAngle".
  void SetAngle(int32_t nDegrees);
  // y is clamped to ±477218588 (±80°), x is brought into ±180° (±2^30).
  // Saves "MapXc"/"MapYc" doubled.
  void SetCentre(int32_t x, int32_t y);
  // Moves the centre so that the map follows a pointer moved by (dx, dy).
  void Pan(int32_t dx, int32_t dy);

  // Map to screen, integer-only: the offset from the centre scaled by
  // num / den (and latitude factor / 255 along x), rotated, rounded once
  // to the nearest pixel, so ToScreen(ToMap(s)) == s and ToMap(ToScreen(p))
  // is within a pixel of p at any rotation.
  VPoint ToScreen(int32_t x, int32_t y) const;
  VPoint ToScreen(const MapPoint& pt) const { return ToScreen(pt.x, pt.y); }
  // x, y at doubled resolution.
  VPoint ToScreenDoubled(int32_t x, int32_t y) const;
  void ToScreenMany(const MapPoint* pPoints, VPoint* pOut, size_t cPoints) const;
  MapPoint ToMap(int32_t sx, int32_t sy) const;

  // The smallest map rectangle holding the four corners of the view.
  MapRectL GetViewRect() const;
  // True when the rectangle is at least that wide or that high on screen.
  bool IsAtLeast(const MapRectL& rect, int32_t cxLimit, int32_t cyLimit) const;
  // Picks the most detailed scale at which the rectangle fits the view.
  void FitRect(const MapRectL& rect);

  size_t GetScale() const { return m_cScaleIndex; }
  int32_t GetAngle() const { return m_nAngle; }
  int32_t GetCentreX() const { return m_xc; }
  int32_t GetCentreY() const { return m_yc; }
  int32_t GetNumerator() const { return m_nNum; }
  int32_t GetDenominator() const { return m_nCurrentArcs; }
  int32_t GetCos() const { return m_nCos; }
  int32_t GetSin() const { return m_nSin; }
  int32_t GetLatitudeFactor() const { return m_nLatFactor; }
  // Latitude factor / 255: the horizontal weight the point algorithms take.
  float GetHorizontalWeight() const { return m_nLatFactor / 255.0f; }
  int32_t GetOriginX() const { return m_ox; }
  int32_t GetOriginY() const { return m_oy; }
  int32_t GetViewWidth() const { return m_cx; }
  int32_t GetViewHeight() const { return m_cy; }

 private:
  // The setters without the settings write (restoring, construction).
  void LoadScale(size_t cScaleIndex);
  void ApplyAngle(int32_t nDegrees);
  void ApplyCentre(int32_t x, int32_t y);
  void UpdateFactors();
  void ToMapWide(int64_t sx, int64_t sy, int64_t* px, int64_t* py) const;

  int32_t m_xc;
  int32_t m_yc;
  size_t m_cScaleIndex;
  int32_t m_nNum;
  int32_t m_nCurrentArcs;
  int32_t m_nAngle;
  int32_t m_nCos;
  int32_t m_nSin;
  int32_t m_nLatFactor;
  // Owned by the map page, kept here for the transform.
  int32_t m_ox;
  int32_t m_oy;
  int32_t m_cx;
  int32_t m_cy;
  int32_t m_nScaleX;
  int32_t m_nScaleY;
  // Derived for the transform: n × c and d × 255, and n × c and n in
  // 1/256 pixel.
  int64_t m_nNumX;
  int64_t m_nDenX;
  int64_t m_nNumX256;
  int64_t m_nNum256;
};

// The scale bar's text of a scale index in the current distance unit; an
// index above 26 reads as 26.
const char16_t* FormatScaleLabel(size_t cScaleIndex, char16_t* pszBuf, size_t cchBuf);

