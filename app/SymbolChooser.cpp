// The symbol chooser: the recently chosen symbols, then every symbol, in a
// grid of square cells six to a row that scrolls by rows.
#include <algorithm>
#include <vector>

#include "app/Shell.h"
#include "app/StoreDialogParts.h"
#include "app/res/store_ids.h"
#include "platform/Str.h"
#include "store/SymbolRing.h"

using namespace platform;

namespace {

const int c_cColumns = 6;
const int c_cVisibleRows = 6;
const wchar_t c_szGridClass[] = L"VelmoSymbolGrid";
const UINT c_nGridSelChange = 1;  // notification code in WM_COMMAND
const unsigned c_nNoSymbol = ~0u;  // a padding cell

CSymbolRing g_ring;
bool g_fRingLoaded = false;

struct SymbolGrid {
  std::vector<unsigned> anCells;  // symbols by cell; padding cells hold c_nNoSymbol
  size_t cRecentCells = 0;        // the recent symbols' cells, padded to whole rows
  int iSelected = -1;
  int nTopRow = 0;

  int Cell() const { return ScaleX(36); }
  int RowCount() const { return int((anCells.size() + c_cColumns - 1) / c_cColumns); }
  unsigned Selected() const { return iSelected >= 0 ? anCells[size_t(iSelected)] : c_nNoSymbol; }
};

SymbolGrid* Grid(HWND hWnd) { return reinterpret_cast<SymbolGrid*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA)); }

void UpdateScroll(HWND hWnd, SymbolGrid* p) {
  int nMaxTop = std::max(0, p->RowCount() - c_cVisibleRows);
  p->nTopRow = std::clamp(p->nTopRow, 0, nMaxTop);
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  si.nMin = 0;
  si.nMax = p->RowCount() - 1;
  si.nPage = c_cVisibleRows;
  si.nPos = p->nTopRow;
  ::SetScrollInfo(hWnd, SB_VERT, &si, TRUE);
  ::InvalidateRect(hWnd, nullptr, TRUE);
}

void EnsureVisible(HWND hWnd, SymbolGrid* p) {
  if (p->iSelected < 0) return;
  int nRow = p->iSelected / c_cColumns;
  if (nRow < p->nTopRow) p->nTopRow = nRow;
  else if (nRow >= p->nTopRow + c_cVisibleRows) p->nTopRow = nRow - c_cVisibleRows + 1;
  UpdateScroll(hWnd, p);
}

void SelectCell(HWND hWnd, SymbolGrid* p, int iCell) {
  if (iCell < 0 || size_t(iCell) >= p->anCells.size() || p->anCells[size_t(iCell)] == c_nNoSymbol) return;
  p->iSelected = iCell;
  EnsureVisible(hWnd, p);
  ::SendMessageW(::GetParent(hWnd), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hWnd), c_nGridSelChange),
                 reinterpret_cast<LPARAM>(hWnd));
}

void Paint(HWND hWnd, SymbolGrid* p) {
  PAINTSTRUCT ps;
  HDC hdc = ::BeginPaint(hWnd, &ps);
  RECT rcClient;
  ::GetClientRect(hWnd, &rcClient);
  ::FillRect(hdc, &rcClient, ::GetSysColorBrush(COLOR_WINDOW));
  int cx = p->Cell();
  for (int nRow = 0; nRow < c_cVisibleRows; ++nRow) {
    for (int nCol = 0; nCol < c_cColumns; ++nCol) {
      size_t iCell = size_t(p->nTopRow + nRow) * c_cColumns + size_t(nCol);
      if (iCell >= p->anCells.size()) break;
      RECT rc = {nCol * cx, nRow * cx, (nCol + 1) * cx, (nRow + 1) * cx};
      if (int(iCell) == p->iSelected) ::FillRect(hdc, &rc, ::GetSysColorBrush(COLOR_HIGHLIGHT));
      else if (iCell < p->cRecentCells) ::FillRect(hdc, &rc, ::GetSysColorBrush(COLOR_BTNFACE));
      if (p->anCells[iCell] != c_nNoSymbol) DrawSymbol(hdc, rc, p->anCells[iCell]);
      if (int(iCell) == p->iSelected && ::GetFocus() == hWnd) {
        RECT rcFocus = rc;
        ::InflateRect(&rcFocus, -2, -2);
        ::DrawFocusRect(hdc, &rcFocus);
      }
    }
  }
  // The line under the recent symbols.
  int yRecent = (int(p->cRecentCells / c_cColumns) - p->nTopRow) * cx;
  if (p->cRecentCells && yRecent > 0 && yRecent < rcClient.bottom) {
    RECT rcLine = {0, yRecent - 1, c_cColumns * cx, yRecent + 1};
    ::FillRect(hdc, &rcLine, ::GetSysColorBrush(COLOR_BTNSHADOW));
  }
  ::EndPaint(hWnd, &ps);
}

void OnScroll(HWND hWnd, SymbolGrid* p, int nCode) {
  switch (nCode) {
    case SB_LINEUP: --p->nTopRow; break;
    case SB_LINEDOWN: ++p->nTopRow; break;
    case SB_PAGEUP: p->nTopRow -= c_cVisibleRows; break;
    case SB_PAGEDOWN: p->nTopRow += c_cVisibleRows; break;
    case SB_TOP: p->nTopRow = 0; break;
    case SB_BOTTOM: p->nTopRow = p->RowCount(); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO si = {};
      si.cbSize = sizeof si;
      si.fMask = SIF_TRACKPOS;
      ::GetScrollInfo(hWnd, SB_VERT, &si);
      p->nTopRow = si.nTrackPos;
      break;
    }
    default: return;
  }
  UpdateScroll(hWnd, p);
}

LRESULT CALLBACK GridProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  SymbolGrid* p = Grid(hWnd);
  switch (uMsg) {
    case WM_PAINT:
      if (!p) break;
      Paint(hWnd, p);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      ::SetFocus(hWnd);
      if (!p) return 0;
      // The cell under the pointer; column and row stay inside the grid.
      int nCol = std::clamp(int(short(LOWORD(lParam))) / p->Cell(), 0, c_cColumns - 1);
      int nRow = std::clamp(int(short(HIWORD(lParam))) / p->Cell(), 0, c_cVisibleRows - 1);
      SelectCell(hWnd, p, (p->nTopRow + nRow) * c_cColumns + nCol);
      if (uMsg == WM_LBUTTONDBLCLK && p->iSelected >= 0)
        ::PostMessageW(::GetParent(hWnd), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return 0;
    }
    case WM_VSCROLL:
      if (p) OnScroll(hWnd, p, LOWORD(wParam));
      return 0;
    case WM_MOUSEWHEEL:
      if (p) OnScroll(hWnd, p, short(HIWORD(wParam)) > 0 ? SB_LINEUP : SB_LINEDOWN);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_KEYDOWN: {
      if (!p) break;
      int i = p->iSelected < 0 ? 0 : p->iSelected;
      switch (wParam) {
        case VK_LEFT: --i; break;
        case VK_RIGHT: ++i; break;
        case VK_UP: i -= c_cColumns; break;
        case VK_DOWN: i += c_cColumns; break;
        default: return 0;
      }
      // Padding cells are stepped over in the direction of the move.
      int nStep = (wParam == VK_LEFT || wParam == VK_UP) ? -1 : 1;
      while (i >= 0 && size_t(i) < p->anCells.size() && p->anCells[size_t(i)] == c_nNoSymbol) i += nStep;
      SelectCell(hWnd, p, i);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      ::InvalidateRect(hWnd, nullptr, FALSE);
      return 0;
  }
  return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

void RegisterGridClass() {
  static bool s_fRegistered = false;
  if (s_fRegistered) return;
  WNDCLASSW wc = {};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = GridProc;
  wc.hInstance = g_hInstance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = c_szGridClass;
  s_fRegistered = ::RegisterClassW(&wc) != 0;
}

struct ChooserData {
  SymbolGrid grid;
  unsigned nSymbol;
};

void ShowName(HWND hDlg, ChooserData* p) {
  unsigned n = p->grid.Selected();
  std::u16string strName = n == c_nNoSymbol ? std::u16string() : GetSymbolName(n);
  ::SetDlgItemTextW(hDlg, IDC_SYM_NAME, W(strName.c_str()));
  ::EnableWindow(::GetDlgItem(hDlg, IDOK), n != c_nNoSymbol);
}

// The grid is six cells square; the name and the buttons go under it.
void Layout(HWND hDlg) {
  HWND hGrid = ::GetDlgItem(hDlg, IDC_SYM_GRID);
  SymbolGrid* p = Grid(hGrid);
  RECT rcWindow, rcClient;
  ::GetWindowRect(hGrid, &rcWindow);
  ::GetClientRect(hGrid, &rcClient);
  int cxFrame = (rcWindow.right - rcWindow.left) - rcClient.right;
  int cyFrame = (rcWindow.bottom - rcWindow.top) - rcClient.bottom;
  POINT pt = {rcWindow.left, rcWindow.top};
  ::ScreenToClient(hDlg, &pt);
  int cxGrid = c_cColumns * p->Cell() + cxFrame, cyGrid = c_cVisibleRows * p->Cell() + cyFrame;
  ::MoveWindow(hGrid, pt.x, pt.y, cxGrid, cyGrid, FALSE);
  RECT rcUnits = {4, 10, 50, 16};  // gap, name height, button width and height
  ::MapDialogRect(hDlg, &rcUnits);
  int y = pt.y + cyGrid + rcUnits.left;
  int cxClient = int(pt.x * 2 + std::max<LONG>(cxGrid, 2 * rcUnits.right + rcUnits.left));
  ::MoveWindow(::GetDlgItem(hDlg, IDC_SYM_NAME), pt.x, y, cxClient - 2 * pt.x, rcUnits.top, FALSE);
  y += rcUnits.top + rcUnits.left;
  int xCancel = cxClient - pt.x - rcUnits.right;
  ::MoveWindow(::GetDlgItem(hDlg, IDCANCEL), xCancel, y, rcUnits.right, rcUnits.bottom, FALSE);
  ::MoveWindow(::GetDlgItem(hDlg, IDOK), xCancel - rcUnits.left - rcUnits.right, y, rcUnits.right, rcUnits.bottom,
               FALSE);
  RECT rcDlg = {0, 0, cxClient, y + rcUnits.bottom + pt.y};
  ::AdjustWindowRectEx(&rcDlg, DWORD(::GetWindowLongW(hDlg, GWL_STYLE)), FALSE,
                       DWORD(::GetWindowLongW(hDlg, GWL_EXSTYLE)));
  RECT rcNow;
  ::GetWindowRect(hDlg, &rcNow);
  ::MoveWindow(hDlg, rcNow.left, rcNow.top, rcDlg.right - rcDlg.left, rcDlg.bottom - rcDlg.top, TRUE);
}

INT_PTR CALLBACK ChooserProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  ChooserData* p = reinterpret_cast<ChooserData*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
  switch (uMsg) {
    case WM_INITDIALOG: {
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      p = reinterpret_cast<ChooserData*>(lParam);
      HWND hGrid = ::GetDlgItem(hDlg, IDC_SYM_GRID);
      ::SetWindowLongPtrW(hGrid, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&p->grid));
      Layout(hDlg);
      // The current symbol among all symbols, its row at the top.
      p->grid.iSelected = -1;
      for (size_t i = p->grid.cRecentCells; i < p->grid.anCells.size(); ++i)
        if (p->grid.anCells[i] == p->nSymbol) p->grid.iSelected = int(i);
      if (p->grid.iSelected >= 0) p->grid.nTopRow = p->grid.iSelected / c_cColumns;
      UpdateScroll(hGrid, &p->grid);
      ShowName(hDlg, p);
      ::SetFocus(hGrid);
      return FALSE;
    }
    case WM_COMMAND:
      if (!p) break;
      switch (LOWORD(wParam)) {
        case IDC_SYM_GRID:
          if (HIWORD(wParam) == c_nGridSelChange) ShowName(hDlg, p);
          return TRUE;
        case IDOK:
          if (p->grid.Selected() == c_nNoSymbol) return TRUE;
          p->nSymbol = p->grid.Selected();
          ::EndDialog(hDlg, IDOK);
          return TRUE;
        case IDCANCEL:
          ::EndDialog(hDlg, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool ChooseSymbol(HWND hOwner, unsigned& nSymbol) {
  if (!g_fRingLoaded) {
    g_ring.LoadFromSettings();
    g_fRingLoaded = true;
  }
  RegisterGridClass();
  ChooserData data;
  data.nSymbol = nSymbol;
  for (size_t i = 0; i < g_ring.Count(); ++i) data.grid.anCells.push_back(g_ring.Symbol(i));
  while (data.grid.anCells.size() % c_cColumns) data.grid.anCells.push_back(c_nNoSymbol);
  data.grid.cRecentCells = data.grid.anCells.size();
  for (unsigned n = 0; n < c_cWaypointCount; ++n) data.grid.anCells.push_back(n);
  if (ResDialogBox(IDD_SYMBOL_CHOOSER, hOwner, ChooserProc, reinterpret_cast<LPARAM>(&data)) != IDOK) return false;
  nSymbol = data.nSymbol;
  g_ring.Add(nSymbol);
  g_ring.SaveToSettings();
  return true;
}
