// The satellite page of the trip computer: the sky plot with every satellite
// in view at its azimuth and elevation, a signal bar per satellite and a
// text block with the position, the fix status and the satellites used.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "gps/GpsFix.h"
#include "platform/Canvas.h"

class CPositionHub;

struct SatelliteLayout {
  bool fPortrait;
  int nRadius;      // the horizon circle
  int xCentre, yCentre;
  int cyBars;       // height of the bar strip
  int xStrip, cxStrip;
  int yBaseline;    // the bars stand on this row
};
SatelliteLayout GetSatelliteLayout(int cx, int cy, int sx, int sy);

// Where a satellite stands in the sky plot (fast sine and cosine, rounded
// as the program rounds).
VPoint SatellitePlotPoint(const SatelliteLayout& layout, int nAzimuth, int nElevation);
// The index into a ramp of 32 brushes for a signal strength.
int SatelliteRampIndex(int nSnr, int nHighest);
// The bar of satellite i (table order): left, top, right, bottom.
VRect SatelliteBarRect(const SatelliteLayout& layout, int i, int nSnr, int nHighest, int sy);
// The colours of ramp entry i (0..31): grey, green and red.
COLORREF GreyRamp(int i);
COLORREF GreenRamp(int i);
COLORREF RedRamp(int i);

// The satellites the page shows: the hub's table without entries that were
// never filled.
std::vector<SatelliteInfo> GetShownSatellites(CPositionHub& hub);

// The page's drawing objects and texts, made when the page is made.
class CSatellitePainter {
 public:
  CSatellitePainter();
  ~CSatellitePainter();
  CSatellitePainter(const CSatellitePainter&) = delete;
  CSatellitePainter& operator=(const CSatellitePainter&) = delete;

  void Paint(platform::CCanvas* pCanvas, int cx, int cy, const std::vector<SatelliteInfo>& aSatellites,
             const GpsFix& fix, const char16_t* pszStatus);
  int Highest() const { return m_nHighest; }

 private:
  void DrawText(platform::CCanvas* pCanvas, int x, int y, const std::u16string& s, bool fCentre);
  void DrawTextBlock(platform::CCanvas* pCanvas, const SatelliteLayout& layout, int cx, const GpsFix& fix);

  std::unique_ptr<platform::CBrush> m_pBackground;
  std::unique_ptr<platform::CBrush> m_pSky;
  std::unique_ptr<platform::CPen> m_pBlackPen;
  std::unique_ptr<platform::CPen> m_pBluePen;
  std::unique_ptr<platform::CBrush> m_pUsed;
  std::unique_ptr<platform::CBrush> m_pInView;
  std::unique_ptr<platform::CBrush> m_apGrey[32];
  std::unique_ptr<platform::CBrush> m_apGreen[32];
  std::unique_ptr<platform::CBrush> m_apRed[32];
  std::unique_ptr<platform::CFont> m_pFont;
  std::unique_ptr<platform::CFont> m_pSmallFont;
  std::u16string m_astrCompass[4];  // N, S, E, W
  std::u16string m_strLatitude, m_strLongitude, m_strFix, m_strUsed, m_strPlaceholder;
  int m_nHighest;  // the strongest signal seen; it only grows
};
