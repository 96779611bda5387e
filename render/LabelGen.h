// The label collector: while a map reader draws, labels are collected here;
// a coarse occupancy grid (cells of 8 × 4 pixels) decides which texts fit
// without covering more important ones. After the layers are drawn the
// surviving texts are fetched from their parsers and drawn, then the point
// icons on top. Also the label interpreter (control codes, elevation and
// depth in the user's unit).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "map/DrawSink.h"
#include "platform/Canvas.h"
#include "render/DrawTypes.h"

// Record kinds.
enum LabelKind : int32_t {
  lkPoint = 0,
  lkLine = 1,
  lkArea = 2,
  lkWaypoint = 3,
};

// Alignment flags of TryPlaceText.
const uint32_t c_fAlignCentreX = 1;
const uint32_t c_fAlignRight = 2;
const uint32_t c_fAlignCentreY = 4;
const uint32_t c_fAlignBottom = 8;

const uint16_t c_wLowestPriority = 0xFFFF;
const uint32_t c_dwNoText = 0xFFFFFFFF;
const int c_cxLabelCell = 8;
const int c_cyLabelCell = 4;

struct LabelRecord {
  CMapParser* pMP;
  bool fVisible;
  int32_t nKind;
  uint16_t wLabelRef;
  uint16_t wPriority;
  uint32_t dwTextRef;  // c_dwNoText when the text was dropped
  int16_t x;
  int16_t y;
  COLORREF crText;
  const platform::CFont* pFont;
  uint32_t dwFormat;  // 0, or 1 for centred
  const platform::CIcon* pIcon;
  std::u16string strText;  // waypoints: the text itself
  // Lines: the text's box, w × h pixels from (x, y) turned by nAngle
  // degrees counter-clockwise (the way the text runs on screen).
  int16_t nAngle;
  int16_t cxText;
  int16_t cyText;
};

// The four corners of a line label's box, in order around it.
struct LabelQuad {
  float ax[4];
  float ay[4];
};
LabelQuad LineLabelQuad(int x, int y, int w, int h, int nAngle);
// Whether two boxes overlap by more than fTolerance pixels (separating axes).
bool QuadsOverlap(const LabelQuad& a, const LabelQuad& b, float fTolerance);

class CLabelGen : public CLabelSink {
 public:
  CLabelGen();
  ~CLabelGen() override;

  // The surface labels are measured on and the view (for the on-screen
  // size test of lines and areas). Both stay the caller's.
  void SetContext(platform::CCanvas* pCanvas, const CDrawSink* pView);

  // Drops every record and sizes the grids to the client size.
  void Clear(int cxClient, int cyClient);
  void Clear();

  // Line labels placed against the grid (the map page's way): a line's text
  // takes the cells it covers, only where no other text or icon is, and
  // gives them up to any point, area or waypoint text placed later. Off:
  // line labels are always added and neither test nor occupy the grid.
  void SetLinePlacement(bool f) { m_fLinePlacement = f; }
  bool IsLinePlacementOn() const { return m_fLinePlacement; }

  bool TryPlaceText(platform::CCanvas* pCanvas, const char16_t* pText, size_t cText, int x, int y,
                    uint16_t wPriority, const platform::CFont* pFont, uint32_t dwAlign);

  // CLabelSink
  void AddPointLabel(CMapParser* pParser, uint16_t wLabelRef, const char16_t* pText, size_t cText,
                     uint32_t dwTextRef, int32_t x, int32_t y, uint16_t wPriority, StyleHandle hLabelStyle,
                     StyleHandle hIcon) override;
  void AddLineLabel(CMapParser* pParser, uint16_t wLabelRef, bool fHorizontal, const char16_t* pText,
                    size_t cText, uint32_t dwTextRef, const VPoint* pPoints, size_t cPoints, const MapRect& rect,
                    StyleHandle hLabelStyle) override;
  void AddAreaLabel(CMapParser* pParser, uint16_t wLabelRef, const char16_t* pText, size_t cText,
                    uint32_t dwTextRef, const VPoint* pPoints, size_t cPoints, const MapRect& rect,
                    StyleHandle hLabelStyle) override;

  void AddWaypointLabel(int x, int y, const char16_t* pName, size_t cName);
  void SetWaypointStyle(const platform::CFont* pFont, COLORREF cr);

  // Draws the texts of kinds 0–2, then the icons. Yields through the
  // context every 256 records and stops when it is interrupted. The texts
  // are drawn font by font (in the order of each font's first record), so
  // that each font is selected once: placed texts do not overlap, and
  // selecting a font costs far more than drawing a text on some GDIs.
  void DrawLabels(CDrawSink* pContext, platform::CCanvas* pCanvas);
  // Draws the waypoint texts; their rectangles end at xRight.
  void DrawWaypointLabels(CDrawSink* pContext, platform::CCanvas* pCanvas, int xRight);

  const std::vector<LabelRecord>& Records() const { return m_records; }
  int32_t TextCell(int nColumn, int nRow) const;
  int32_t IconCell(int nColumn, int nRow) const;
  int GetCellsNw() const { return m_cCellsNw; }
  int GetCellsNh() const { return m_cCellsNh; }
  // Icons drawn by the last DrawLabels.
  int GetIconsDrawn() const { return m_cIconsDrawn; }

 private:
  platform::VSize MeasureSingleLine(platform::CCanvas* pCanvas, const platform::CFont* pFont, const char16_t* pText,
                          size_t cText);
  const platform::CFont* HorizontalLineFont();
  // Appends a visible label record; returns it for the few fields a kind adds.
  // A line label's box against the grid: placed when it lies inside the
  // client area and covers no cell of a visible text or icon; then it
  // takes the cells. Texts placed later take them back as before, which
  // drops the line's text.
  bool TryPlaceLineBox(const LabelQuad& quad);
  LabelRecord& AppendRecord(CMapParser* pParser, int32_t nKind, uint16_t wLabelRef, uint16_t wPriority,
                            uint32_t dwTextRef, int x, int y, COLORREF crText, const platform::CFont* pFont,
                            uint32_t dwFormat, const platform::CIcon* pIcon);

  // The records in drawing order: grouped by font.
  void OrderByFont();

  std::vector<LabelRecord> m_records;
  std::vector<uint32_t> m_drawOrder;
  std::vector<const platform::CFont*> m_fontRank;
  int m_cCellsNw;
  int m_cCellsNh;
  std::vector<int32_t> m_textGrid;
  std::vector<int32_t> m_iconGrid;
  int m_cxClient;
  int m_cyClient;
  platform::CCanvas* m_pCanvas;
  const CDrawSink* m_pView;
  const platform::CFont* m_pWaypointFont;
  COLORREF m_crWaypoint;
  std::unique_ptr<platform::CFont> m_pOwnFont;  // stands in for the shared Tahoma 12
  int m_cIconsDrawn;
  bool m_fLinePlacement;
};

// The longest segment of a polyline (the first of equal ones): its index.
// -1 with fewer than two points.
int FindLongestSegment(const VPoint* pPoints, size_t cPoints);
// The whole-degree angle a line label is turned by for a segment (dx, dy)
// on screen: -90 < angle <= 90; a segment rising to the right gives a
// positive angle.
int LabelAngleOfSegment(int dx, int dy);

// The label interpreter: raw map label -> shown text (at most 63 units and
// a terminating 0). fMapUnitMetres tells the map's height unit (true:
// metres, false: feet). Short form is used when fFullForm is false.
size_t InterpretLabel(int nKind, uint16_t wType, bool fMapUnitMetres, const char16_t* pRaw, size_t cRaw,
                      char16_t* pszOut, int* pnShield, bool fFullForm);
