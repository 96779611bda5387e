// The trip computer screen: a grid of up to 32 gauge cells chosen by the
// user, the default layouts, and the export of every gauge to a text file.
#pragma once
#include <string>

#include "gauges/Gauge.h"
#include "platform/Canvas.h"

const int c_cTripCells = 32;

// The grid for a client area of cx × cy with the screen's scale factors.
struct TripGrid {
  int cColumns;
  int cRows;
  int cx, cy;
};
TripGrid GetTripGrid(int cx, int cy, int sx, int sy, bool fBig);
// The cell number shown in column i, row j (0..31).
int TripCellNumber(int i, int j);
// The rectangle of column i, row j.
VRect TripCellRect(const TripGrid& grid, int i, int j);
// The cell number under a point, or -1 outside the grid.
int TripCellAt(const TripGrid& grid, int x, int y);
// The rectangle of a cell number; false when the grid does not show it.
bool TripCellRectOf(const TripGrid& grid, int nCell, VRect& rc);

// The default gauge identifier of a cell (empty for an empty cell).
const char16_t* DefaultTripGauge(int nCell, bool fPortrait);

// The cell table: 32 gauges or null, saved per cell as "Gauge_<n>".
class CTripCells {
 public:
  CTripCells();
  // From the settings, with the default layout for cells never chosen.
  void Load(bool fPortrait);
  // Puts the default layout in and saves every cell.
  void RestoreDefault(bool fPortrait);
  // Puts a gauge (or null) into a cell and saves it.
  void Set(int nCell, GaugeDesc* pDesc);
  GaugeDesc* Get(int nCell) const { return nCell >= 0 && nCell < c_cTripCells ? m_apCells[nCell] : nullptr; }

 private:
  GaugeDesc* m_apCells[c_cTripCells];
};

// Draws the whole screen: the grey ground, the framed cells with their
// gauges. nHighlight is the cell drawn with the highlight brush (-1: none).
void DrawTripComputer(platform::CCanvas* pCanvas, const CTripCells& cells, int cx, int cy, bool fBig,
                      int nHighlight);

// The file name proposed for the export ("YYYY-MM-DD_hh-mm-ss.txt").
std::u16string ProposeGaugeFileName();
// The text of the export: the date and time given, then every page with its
// gauges ("\r\n" line ends).
std::u16string FormatGaugeExport(const char16_t* pszDate, const char16_t* pszTime);
// Writes the text to the file atomically (UTF-8 with a byte order mark);
// false when it could not be written.
bool WriteGaugeExport(const char16_t* pszPath, const std::u16string& strText);
