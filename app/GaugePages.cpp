// The trip computer's gauge page and satellite page, the gauges'
// subscription to the position stream, the map's gauge slots, the gauge
// chooser and the export of the gauges to a text file.
#include "app/GaugeGlue.h"

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/OwnerMenus.h"
#include "app/CommandTable.h"
#include "app/Commands.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/res/app_ids.h"
#include "gauges/Gauge.h"
#include "gauges/GaugeSources.h"
#include "gauges/SatellitePage.h"
#include "gauges/TripComputer.h"
#include "gps/PositionHub.h"
#include "platform/Str.h"
#include "platform/win32/CanvasGdi.h"
#include "render/MapPage.h"
#include "routing/AutoRouting.h"
#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"

using namespace platform;

namespace {

const uint32_t c_idsResetAllQuestion = 3020;
const uint32_t c_idsDefaultQuestion = 3021;
const uint32_t c_idsBigGauges = 3023;
const uint32_t c_idsSaveGauges = 3024;
const uint32_t c_idsCannotCreateFile = 2000;
const uint32_t c_idsTextFilter = 2275;

// ---- the position stream ----

// A lost position is heard on the port thread; the gauges hear it on the
// main window's thread before the next fix.
std::atomic<bool> g_fPositionLost{false};

class CGaugeLostListener : public CPositionListener {
 public:
  void OnPositionLost() override { g_fPositionLost = true; }
};

class CGaugeView : public CPositionView {
 public:
  void OnFixChanged(const GpsFix& fix, uint32_t) override {
    if (g_fPositionLost.exchange(false)) GaugesPositionLost();
    UpdateAllGauges(fix);
  }
};

CGaugeLostListener g_gaugeListener;
CGaugeView g_gaugeView;

void RefreshMapInfo() {
  MapGaugeInfo info = GetMapGaugeInfo();
  char16_t szPath[260];
  GetSettingString(setting::MapFileName, szPath);
  const char16_t* pszName = szPath;
  for (const char16_t* p = szPath; *p; ++p)
    if (*p == u'\\' || *p == u'/') pszName = p + 1;
  StrCopy(info.szMapFile, 64, pszName);
  info.cFinishedPasses = g_cFinishedAttempts.load();
  FillMapGaugeFigures(info);
  SetMapGaugeInfo(info);
}

// ---- map gauge slots ----

const char16_t* const c_aszMapPortrait[c_cMaxMapGauges] = {u"speed", u"tripodometer", u"time", u"distance_cur",
                                                           u"eta", u"elev", u"satellites", u"odometer"};
const char16_t* const c_aszMapLandscape[c_cMaxMapGauges] = {u"speed", u"time", u"tripodometer", u"distance_cur",
                                                            u"ete", u"eta", u"elev", u"satellites"};
GaugeDesc* g_apMapGauges[c_cMaxMapGauges];
const GaugeDesc* g_pGaugeUnderMenu = nullptr;

// ---- pages ----

// Page 1: the grid of chosen gauges.
class CTripComputerPage : public Page {
 public:
  bool Create() override {
    m_cells.Load(IsPortrait());
    return true;
  }
  void Destroy() override {}
  void OnPaint(HDC hdc) override {
    RefreshMapInfo();
    std::unique_ptr<CGdiCanvas> pMem(CGdiCanvas::CreateMemory(hdc, g_cxClient, g_cyClient));
    if (pMem) {
      DrawTripComputer(pMem.get(), m_cells, g_cxClient, g_cyClient, GetSettingBool(setting::BigGauges), m_nHighlight);
      ::BitBlt(hdc, 0, 0, g_cxClient, g_cyClient, pMem->Hdc(), 0, 0, SRCCOPY);
    } else {
      CGdiCanvas canvas(hdc, g_cxClient, g_cyClient);
      DrawTripComputer(&canvas, m_cells, g_cxClient, g_cyClient, GetSettingBool(setting::BigGauges), m_nHighlight);
    }
  }
  void OnUp(int x, int y) override { ShowCellMenu(x, y); }
  void OnContextMenu(int x, int y) override { ShowCellMenu(x, y); }
  void OnPositionChanged(const GpsFix&) override { Invalidate(); }
  void OnPeriodic() override { Invalidate(); }
  void RefreshMap(bool) override { Invalidate(); }
  void OnOptionsChanged(bool, bool) override { Invalidate(); }
  bool OnCommand(UINT id) override { return RunCellCommand(id, m_nMenuCell, 0, 0); }

 private:
  static bool IsPortrait() { return g_cxClient < g_cyClient; }
  void Invalidate() {
    if (CurrentPage() == this) ::InvalidateRect(g_hWnd, nullptr, FALSE);
  }
  TripGrid Grid() const {
    return GetTripGrid(g_cxClient, g_cyClient, g_nScaleX, g_nScaleY, GetSettingBool(setting::BigGauges));
  }
  void ShowCellMenu(int x, int y) {
    const int nCell = TripCellAt(Grid(), x, y);
    if (nCell < 0) return;
    m_nMenuCell = nCell;
    m_nHighlight = nCell;
    ::InvalidateRect(g_hWnd, nullptr, FALSE);
    ::UpdateWindow(g_hWnd);
    HMENU hMenu = ResLoadMenu(IDM_GAUGE_CONTEXT);
    if (!hMenu) return;
    HMENU hPopup = ::GetSubMenu(hMenu, 0);
    SetGaugeUnderMenu(m_cells.Get(nCell));
    ApplyCommandRules(hPopup, CurrentMenuState(false));
    char16_t sz[128];
    ::AppendMenuW(hPopup, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hPopup, MF_STRING | (GetSettingBool(setting::BigGauges) ? MF_CHECKED : 0), c_idBig,
                  W(LoadResString(c_idsBigGauges, sz, 128)));
    ::AppendMenuW(hPopup, MF_STRING, cmdSaveGauges, W(LoadResString(c_idsSaveGauges, sz, 128)));
    MakeMenuOwnerDrawn(hPopup, false);
    POINT pt = {x, y};
    ::ClientToScreen(g_hWnd, &pt);
    UINT id = UINT(::TrackPopupMenu(hPopup, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, g_hWnd, nullptr));
    ::DestroyMenu(hMenu);
    if (id != 0) RunCellCommand(id, nCell, pt.x, pt.y);
    SetGaugeUnderMenu(nullptr);
    m_nHighlight = -1;
    Invalidate();
  }
  bool RunCellCommand(UINT id, int nCell, int xScreen, int yScreen) {
    switch (id) {
      case cmdChooseGauge:
        if (nCell >= 0) {
          POINT pt = {xScreen, yScreen};
          if (xScreen == 0 && yScreen == 0) ::GetCursorPos(&pt);
          if (GaugeDesc* p = ChooseGauge(pt.x, pt.y, m_cells.Get(nCell))) m_cells.Set(nCell, p);
        }
        break;
      case cmdDefaultGauges:
        if (AskRestoreDefaultGauges()) m_cells.RestoreDefault(IsPortrait());
        break;
      case cmdResetAllGauges: AskAndResetAllGauges(); break;
      case cmdResetGauge:
        if (const GaugeDesc* p = m_cells.Get(nCell))
          if (p->fResettable) p->pGauge->Reset();
        break;
      case c_idBig: SetBool(setting::BigGauges.pszName, !GetSettingBool(setting::BigGauges)); break;
      case cmdSaveGauges: OnSaveGaugesCommand(id); break;
      default: return false;
    }
    Invalidate();
    return true;
  }

  static const UINT c_idBig = 1;
  CTripCells m_cells;
  int m_nHighlight = -1;
  int m_nMenuCell = -1;
};

// Page 3: the receiver's sky.
class CSatellitePageWin : public Page {
 public:
  bool Create() override {
    m_pPainter.reset(new CSatellitePainter);
    return true;
  }
  void Destroy() override { m_pPainter.reset(); }
  void OnPaint(HDC hdc) override {
    if (!m_pPainter) return;
    CPositionHub& hub = GetPositionHub();
    std::vector<SatelliteInfo> aSatellites = GetShownSatellites(hub);
    GpsFix fix = hub.GetFix();
    char16_t szStatus[256];
    hub.GetStatusText(szStatus, 256);
    std::unique_ptr<CGdiCanvas> pMem(CGdiCanvas::CreateMemory(hdc, g_cxClient, g_cyClient));
    if (pMem) {
      m_pPainter->Paint(pMem.get(), g_cxClient, g_cyClient, aSatellites, fix, szStatus);
      ::BitBlt(hdc, 0, 0, g_cxClient, g_cyClient, pMem->Hdc(), 0, 0, SRCCOPY);
    } else {
      CGdiCanvas canvas(hdc, g_cxClient, g_cyClient);
      m_pPainter->Paint(&canvas, g_cxClient, g_cyClient, aSatellites, fix, szStatus);
    }
  }
  void OnSatellitesChanged() override { Invalidate(); }
  void OnPositionChanged(const GpsFix&) override { Invalidate(); }
  void OnStatusChanged() override { Invalidate(); }
  void RefreshMap(bool) override { Invalidate(); }

 private:
  void Invalidate() {
    if (CurrentPage() == this) ::InvalidateRect(g_hWnd, nullptr, FALSE);
  }
  std::unique_ptr<CSatellitePainter> m_pPainter;
};

}  // namespace

Page* CreateGaugePage() { return new CTripComputerPage; }
Page* CreateSatellitePage() { return new CSatellitePageWin; }

void StartGauges() {
  LoadAllGauges();
  CPositionHub& hub = GetPositionHub();
  hub.Subscribe(&g_gaugeListener);
  hub.Subscribe(&g_gaugeView);
  SetRouteTimeListener([](uint32_t dwMs) { SetRoutingTimeMs(int32_t(dwMs)); });
  RegisterTearDown([] {
    SetRouteTimeListener(nullptr);
    CPositionHub& h = GetPositionHub();
    h.Unsubscribe(&g_gaugeView);
    h.Unsubscribe(&g_gaugeListener);
    DeleteGaugeFonts();
  });
}

void LoadMapGauges(bool fPortrait) {
  for (int i = 0; i < c_cMaxMapGauges; ++i) {
    char16_t szName[32], szId[40];
    Format(szName, 32, setting::MapGauge_d.pszName, i);
    GetString(szName, szId, setting::MapGauge_d.cchBuf, fPortrait ? c_aszMapPortrait[i] : c_aszMapLandscape[i]);
    g_apMapGauges[i] = FindGauge(szId);
  }
}

GaugeDesc* GetMapGauge(int iSlot) { return iSlot >= 0 && iSlot < c_cMaxMapGauges ? g_apMapGauges[iSlot] : nullptr; }

void SetMapGauge(int iSlot, GaugeDesc* pDesc) {
  if (iSlot < 0 || iSlot >= c_cMaxMapGauges) return;
  g_apMapGauges[iSlot] = pDesc;
  char16_t szName[32];
  Format(szName, 32, setting::MapGauge_d.pszName, iSlot);
  SetString(szName, pDesc ? pDesc->pszId : u"");
}

void RestoreDefaultMapGauges(bool fPortrait) {
  for (int i = 0; i < c_cMaxMapGauges; ++i)
    SetMapGauge(i, FindGauge(fPortrait ? c_aszMapPortrait[i] : c_aszMapLandscape[i]));
}

void DrawMapGaugeCell(CCanvas* pDst, int iSlot, const VRect& rc, int) {
  if (iSlot == 0) RefreshMapInfo();
  if (const GaugeDesc* p = GetMapGauge(iSlot)) DrawGaugeCell(pDst, p, true, rc.left, rc.top);
}

void SetGaugeUnderMenu(const GaugeDesc* pDesc) { g_pGaugeUnderMenu = pDesc; }
bool CanResetGaugeUnderMenu() { return g_pGaugeUnderMenu && g_pGaugeUnderMenu->fResettable; }

namespace {

// The chooser: a tree of the twelve pages with their gauges. An item's
// parameter is the gauge's descriptor, or minus one less the page's index.
struct ChooserState {
  const GaugeDesc* pCurrent;
  GaugeDesc* pChosen;
};

LPARAM PageParam(int iPage) { return LPARAM(-1 - iPage); }
int PageOfParam(LPARAM l) { return l < 0 ? int(-1 - l) : -1; }

std::u16string ExpandedSettingName(const GaugePage* pPage) {
  char16_t sz[64];
  Format(sz, 64, setting::expanded_s.pszName, pPage->pszId);
  return sz;
}

GaugeDesc* SelectedGauge(HWND hTree) {
  HTREEITEM hItem = TreeView_GetSelection(hTree);
  if (!hItem) return nullptr;
  TVITEMW item = {};
  item.mask = TVIF_PARAM;
  item.hItem = hItem;
  if (!TreeView_GetItem(hTree, &item) || item.lParam < 0) return nullptr;
  return reinterpret_cast<GaugeDesc*>(item.lParam);
}

// A gauge shows its description and enables OK; a page clears both.
void ShowChoice(HWND hDlg) {
  const GaugeDesc* p = SelectedGauge(::GetDlgItem(hDlg, IDC_GAUGE_TREE));
  ::SetDlgItemTextW(hDlg, IDC_GAUGE_DESCRIPTION, p ? W(GaugeDescription(p).c_str()) : L"");
  ::EnableWindow(::GetDlgItem(hDlg, IDOK), p != nullptr);
}

HTREEITEM InsertItem(HWND hTree, HTREEITEM hParent, const std::u16string& strText, LPARAM lParam, bool fExpanded) {
  TVINSERTSTRUCTW ins = {};
  ins.hParent = hParent;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
  ins.item.pszText = const_cast<LPWSTR>(W(strText.c_str()));
  ins.item.lParam = lParam;
  ins.item.state = fExpanded ? TVIS_EXPANDED : 0;
  ins.item.stateMask = TVIS_EXPANDED;
  return TreeView_InsertItem(hTree, &ins);
}

void FillChooserTree(HWND hTree, const GaugeDesc* pCurrent) {
  HTREEITEM hCurrent = nullptr;
  for (int iPage = 0; iPage < c_cGaugePages; ++iPage) {
    GaugePage* pPage = GetGaugePage(iPage);
    if (!pPage) continue;
    const bool fExpanded = GetBool(ExpandedSettingName(pPage).c_str(), setting::expanded_s.dwDefault != 0);
    HTREEITEM hPage = InsertItem(hTree, TVI_ROOT, GaugePageCaption(pPage), PageParam(iPage), fExpanded);
    for (GaugeDesc* p = pPage->pFirst; p; p = p->pNextInPage) {
      HTREEITEM h = InsertItem(hTree, hPage, GaugeCaption(p), reinterpret_cast<LPARAM>(p), false);
      if (p == pCurrent) hCurrent = h;
    }
  }
  // The cell's gauge is selected (its page opened for it, not saved);
  // else the first page.
  if (hCurrent) {
    TreeView_EnsureVisible(hTree, hCurrent);
    TreeView_SelectItem(hTree, hCurrent);
  } else {
    TreeView_SelectItem(hTree, TreeView_GetRoot(hTree));
  }
}

INT_PTR CALLBACK ChooserProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  ChooserState* pState = reinterpret_cast<ChooserState*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      pState = reinterpret_cast<ChooserState*>(lParam);
      // Filled before the notifications are heard: building the tree
      // writes no expanded_%s.
      FillChooserTree(::GetDlgItem(hDlg, IDC_GAUGE_TREE), pState->pCurrent);
      ShowChoice(hDlg);
      ::SetFocus(::GetDlgItem(hDlg, IDC_GAUGE_TREE));
      ::SetWindowLongPtrW(hDlg, GWLP_USERDATA, 1);
      return FALSE;
    }
    case WM_NOTIFY: {
      const NMHDR* pHdr = reinterpret_cast<const NMHDR*>(lParam);
      if (pHdr->idFrom != IDC_GAUGE_TREE || !::GetWindowLongPtrW(hDlg, GWLP_USERDATA)) break;
      if (pHdr->code == TVN_SELCHANGEDW) {
        ShowChoice(hDlg);
      } else if (pHdr->code == TVN_ITEMEXPANDEDW) {
        const NMTREEVIEWW* pNm = reinterpret_cast<const NMTREEVIEWW*>(lParam);
        const int iPage = PageOfParam(pNm->itemNew.lParam);
        if (const GaugePage* pPage = GetGaugePage(iPage))
          SetBool(ExpandedSettingName(pPage).c_str(), (pNm->action & TVE_EXPAND) != 0);
      } else if (pHdr->code == NM_DBLCLK) {
        if (SelectedGauge(pHdr->hwndFrom)) ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
      }
      break;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          pState->pChosen = SelectedGauge(::GetDlgItem(hDlg, IDC_GAUGE_TREE));
          if (!pState->pChosen) return TRUE;
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

GaugeDesc* ChooseGauge(int, int, const GaugeDesc* pCurrent) {
  ChooserState state = {pCurrent, nullptr};
  if (ResDialogBox(IDD_GAUGE_CHOOSER, g_hWnd, ChooserProc, reinterpret_cast<LPARAM>(&state)) != IDOK)
    return nullptr;
  return state.pChosen;
}

bool AskAndResetAllGauges() {
  char16_t sz[256];
  if (ShellMessageBox(LoadResString(c_idsResetAllQuestion, sz, 256), MB_YESNO | MB_ICONQUESTION) != IDYES)
    return false;
  ResetAllGauges();
  return true;
}

bool AskRestoreDefaultGauges() {
  char16_t sz[256];
  return ShellMessageBox(LoadResString(c_idsDefaultQuestion, sz, 256), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void OnSaveGaugesCommand(unsigned) {
  // The filter: "<text files>\0*.txt\0\0".
  char16_t szFilterName[128];
  LoadResString(c_idsTextFilter, szFilterName, 128);
  std::u16string strFilter = szFilterName;
  strFilter += u'\0';
  strFilter += u"*.txt";
  strFilter += u'\0';
  strFilter += u'\0';
  wchar_t szFile[MAX_PATH];
  lstrcpynW(szFile, W(ProposeGaugeFileName().c_str()), MAX_PATH);
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = g_hWnd;
  ofn.lpstrFilter = W(strFilter.c_str());
  ofn.nFilterIndex = GetSetting(setting::GaugeFormat) + 1;
  ofn.lpstrFile = szFile;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = L"txt";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!::GetSaveFileNameW(&ofn)) return;
  SetDword(setting::GaugeFormat.pszName, ofn.nFilterIndex ? ofn.nFilterIndex - 1 : 0);
  wchar_t szDate[64] = L"", szTime[64] = L"";
  ::GetDateFormatW(1024, 0, nullptr, nullptr, szDate, 64);
  ::GetTimeFormatW(1024, 0, nullptr, nullptr, szTime, 64);
  const std::u16string strText = FormatGaugeExport(U(szDate), U(szTime));
  if (WriteGaugeExport(U(szFile), strText)) return;
  const DWORD dwError = ::GetLastError();
  wchar_t szError[256] = L"";
  ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, szError, 256,
                   nullptr);
  char16_t szMessage[1024];
  FormatResString(szMessage, 1024, c_idsCannotCreateFile, U(szFile), U(szError));
  ShellMessageBox(szMessage, MB_OK | MB_ICONERROR);
}
