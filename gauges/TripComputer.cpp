#include "gauges/TripComputer.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "render/Screen.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"

using namespace platform;

// ---- the grid ----

TripGrid GetTripGrid(int cx, int cy, int sx, int sy, bool fBig) {
  TripGrid grid;
  const int cxCell = (fBig ? 120 : 80) * std::max(sx, 1);
  const int cyCell = (fBig ? 52 : 33) * std::max(sy, 1);
  grid.cColumns = cx > 0 ? std::min(4, cx / cxCell) : 0;
  grid.cRows = cy > 0 ? std::min(8, cy / cyCell) : 0;
  grid.cx = cx;
  grid.cy = cy;
  return grid;
}

int TripCellNumber(int i, int j) { return i < 2 ? i + 2 * j : j + 8 * i; }

VRect TripCellRect(const TripGrid& grid, int i, int j) {
  VRect rc;
  rc.left = (grid.cx - 1) * i / grid.cColumns;
  rc.right = (grid.cx - 1) * (i + 1) / grid.cColumns;
  rc.top = grid.cy * j / grid.cRows;
  rc.bottom = grid.cy * (j + 1) / grid.cRows;
  return rc;
}

int TripCellAt(const TripGrid& grid, int x, int y) {
  if (grid.cColumns <= 0 || grid.cRows <= 0 || grid.cx <= 1 || x < 0 || y < 0) return -1;
  const int i = x * grid.cColumns / (grid.cx - 1);
  const int j = y * grid.cRows / grid.cy;
  if (i >= grid.cColumns || j >= grid.cRows) return -1;
  return TripCellNumber(i, j);
}

bool TripCellRectOf(const TripGrid& grid, int nCell, VRect& rc) {
  for (int i = 0; i < grid.cColumns; ++i)
    for (int j = 0; j < grid.cRows; ++j)
      if (TripCellNumber(i, j) == nCell) {
        rc = TripCellRect(grid, i, j);
        return true;
      }
  return false;
}

// ---- default layouts: 8 rows of 4 columns ----

namespace {

const char16_t* const c_aszPortrait[8][4] = {
    {u"speed", u"tripodometer", u"pointer", u""},
    {u"avespeed_moving", u"triptime_moving", u"triptime_stopped", u""},
    {u"maxspeed", u"odometer", u"vspeed", u""},
    {u"hdop", u"elev", u"maxelev", u""},
    {u"time", u"power", u"vdop", u""},
    {u"y", u"x", u"satellites", u""},
    {u"sunrise", u"sunset", u"geoid", u""},
    {u"azimuth", u"bearing", u"distance_cur", u""},
};

const char16_t* const c_aszLandscape[8][4] = {
    {u"speed", u"maxspeed", u"time", u"odometer"},
    {u"avespeed_moving", u"triptime_moving", u"triptime_stopped", u"tripodometer"},
    {u"avespeed_moving2", u"triptime_moving2", u"triptime_stopped2", u"tripodometer2"},
    {u"sunrise", u"sunset", u"x", u"y"},
    {u"hdop", u"vdop", u"satellites", u"gpsfix"},
    {u"glideratio", u"bearing", u"vspeed", u"elev"},
    {u"mapfile", u"mapsincache", u"protocolerrors", u"memory"},
    {u"azimuth", u"geoid", u"power", u"pointer"},
};

void CellSettingName(int nCell, char16_t* psz, size_t cch) { Format(psz, cch, setting::Gauge_d.pszName, nCell); }

}  // namespace

const char16_t* DefaultTripGauge(int nCell, bool fPortrait) {
  for (int j = 0; j < 8; ++j)
    for (int i = 0; i < 4; ++i)
      if (TripCellNumber(i, j) == nCell) return fPortrait ? c_aszPortrait[j][i] : c_aszLandscape[j][i];
  return u"";
}

CTripCells::CTripCells() {
  for (GaugeDesc*& p : m_apCells) p = nullptr;
}

void CTripCells::Load(bool fPortrait) {
  for (int n = 0; n < c_cTripCells; ++n) {
    char16_t szName[32], szId[40];
    CellSettingName(n, szName, 32);
    // A cell never chosen (no value) takes the default layout's gauge.
    const char16_t c_szAbsent[] = u"\x01";
    GetString(szName, szId, setting::Gauge_d.cchBuf, c_szAbsent);
    m_apCells[n] = FindGauge(StrCmp(szId, c_szAbsent) == 0 ? DefaultTripGauge(n, fPortrait) : szId);
  }
}

void CTripCells::RestoreDefault(bool fPortrait) {
  for (int n = 0; n < c_cTripCells; ++n) Set(n, FindGauge(DefaultTripGauge(n, fPortrait)));
}

void CTripCells::Set(int nCell, GaugeDesc* pDesc) {
  if (nCell < 0 || nCell >= c_cTripCells) return;
  m_apCells[nCell] = pDesc;
  char16_t szName[32];
  CellSettingName(nCell, szName, 32);
  SetString(szName, pDesc ? pDesc->pszId : u"");
}

// ---- drawing ----

namespace {
const CBrush g_brushGround(bkSolid, RGB(128, 128, 128));
const CBrush g_brushCell(bkSolid, RGB(255, 255, 255));
const CBrush g_brushAlternate(bkSolid, RGB(236, 242, 250));
const CBrush g_brushHighlight(bkSolid, RGB(255, 240, 160));
const CPen g_penFrame(psSolid, 1, RGB(0, 0, 0));
}  // namespace

void DrawTripComputer(CCanvas* pCanvas, const CTripCells& cells, int cx, int cy, bool fBig, int nHighlight) {
  VRect rcAll = {0, 0, cx, cy};
  pCanvas->FillRect(rcAll, &g_brushGround);
  const TripGrid grid =
      GetTripGrid(cx, cy, render::GetScaleFactorX(), render::GetScaleFactorY(), fBig);
  if (grid.cColumns <= 0 || grid.cRows <= 0) return;
  const CPen* pOldPen = pCanvas->SelectPen(&g_penFrame);
  const CBrush* pOldBrush = pCanvas->SelectBrush(&g_brushCell);
  for (int i = 0; i < grid.cColumns; ++i) {
    for (int j = 0; j < grid.cRows; ++j) {
      const int nCell = TripCellNumber(i, j);
      const VRect rc = TripCellRect(grid, i, j);
      const CBrush* pBrush = &g_brushCell;
      if (nCell == nHighlight)
        pBrush = &g_brushHighlight;
      else if (grid.cRows > 2 && (j & 1))
        pBrush = &g_brushAlternate;
      pCanvas->SelectBrush(pBrush);
      pCanvas->Rectangle(rc.left, rc.top, rc.right + 1, rc.bottom + 1);
      if (const GaugeDesc* pDesc = cells.Get(nCell)) DrawGaugeCell(pCanvas, pDesc, !fBig, rc.left, rc.top);
    }
  }
  pCanvas->SelectBrush(pOldBrush);
  pCanvas->SelectPen(pOldPen);
}

// ---- export ----

std::u16string ProposeGaugeFileName() {
  CSystemTime st;
  GetLocalTime(st);
  return FormatStr(u"%d-%02d-%02d_%02d-%02d-%02d.txt", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                   st.wSecond);
}

std::u16string FormatGaugeExport(const char16_t* pszDate, const char16_t* pszTime) {
  std::u16string s;
  s += pszDate;
  s += u" ";
  s += pszTime;
  s += u"\r\n\r\n";
  for (int iPage = 0; iPage < c_cGaugePages; ++iPage) {
    const GaugePage* pPage = GetGaugePage(iPage);
    if (!pPage) continue;
    const std::u16string strCaption = GaugePageCaption(pPage);
    s += strCaption;
    s += u"\r\n";
    s.append(strCaption.size(), u'-');
    s += u"\r\n";
    for (const GaugeDesc* p = pPage->pFirst; p; p = p->pNextInPage) {
      std::u16string strName = GaugeCaption(p);
      if (strName.size() < 20) strName.append(20 - strName.size(), u' ');
      char16_t szValue[c_cchGaugeValue], szUnit[c_cchGaugeValue];
      GetGaugeText(p, szValue, szUnit, c_cchGaugeValue);
      s += strName;
      s += FormatStr(u" %s %s\r\n", szValue, szUnit);
    }
    s += u"\r\n";
  }
  return s;
}

bool WriteGaugeExport(const char16_t* pszPath, const std::u16string& strText) {
  std::string bytes = "\xEF\xBB\xBF" + U16ToUtf8(strText);
  return WriteFileAtomic(pszPath, bytes.data(), bytes.size());
}
