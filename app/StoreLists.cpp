// The waypoint list and the route list: the store's records in a list view
// with sortable columns whose layout is kept in the settings, and the
// commands on the selected record.
#include <vector>

#include "app/Features.h"
#include "app/NavigationGlue.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/StoreDialogParts.h"
#include "app/StoreDialogs.h"
#include "res/Res.h"
#include "app/res/store_ids.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "platform/Str.h"
#include "store/ListLayout.h"
#include "store/RecordLists.h"
#include "store/ShowOnMap.h"
#include "store/WaypointStore.h"

using namespace platform;

namespace {

const int c_acxWaypointColumns[wlcColumns] = {110, 90, 70, 50, 105, 95, 55, 60};
const int c_acxRouteColumns[rlcColumns] = {130, 45, 70, 75, 105};

class CStoreList {
 public:
  explicit CStoreList(bool fRoutes)
      : m_fRoutes(fRoutes), m_hDlg(nullptr), m_hList(nullptr), m_sort{-1, true}, m_dLon(0), m_dLat(0),
        m_fShowOnMap(false), m_pGoTo(nullptr) {}
  CStoreList(const CStoreList&) = delete;
  CStoreList& operator=(const CStoreList&) = delete;

  bool ShowOnMapChosen() const { return m_fShowOnMap; }
  // The record chosen with "go to" (a waypoint or a route), once the list
  // has closed.
  void* GoToChosen() const { return m_pGoTo; }
  static INT_PTR CALLBACK Proc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

 private:
  int ColumnCount() const { return m_fRoutes ? int(rlcColumns) : int(wlcColumns); }
  const SettingDef& LayoutSetting() const { return m_fRoutes ? setting::Routes_Headers : setting::Waypoints_Headers; }

  void OnInit(HWND hDlg);
  void AddColumns();
  void SaveLayout();
  void Fill();
  void UpdateButtons();
  void* Selected() const;
  void Select(void* pRecord);
  void OnCommand(UINT id);
  LRESULT OnNotify(NMHDR* pHdr);
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW* pDraw);
  void Changed();

  bool m_fRoutes;
  HWND m_hDlg;
  HWND m_hList;
  ListSort m_sort;
  double m_dLon, m_dLat;  // the map centre: distances and bearings are from it
  bool m_fShowOnMap;
  void* m_pGoTo;
};

void CStoreList::OnInit(HWND hDlg) {
  m_hDlg = hDlg;
  m_hList = ::GetDlgItem(hDlg, IDC_STORE_LIST);
  m_sort = m_fRoutes ? LoadRouteListSort() : LoadWaypointListSort();
  if (!GetMapCentreDegrees(m_dLon, m_dLat)) m_dLon = m_dLat = 0;
  ListView_SetExtendedListViewStyle(m_hList, LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP);
  if (!m_fRoutes) ListView_SetImageList(m_hList, GetSymbolImageList(), LVSIL_SMALL);
  AddColumns();
  Fill();
  if (ListView_GetItemCount(m_hList) > 0) ListView_SetItemState(m_hList, 0, LVIS_SELECTED | LVIS_FOCUSED,
                                                               LVIS_SELECTED | LVIS_FOCUSED);
  UpdateButtons();
  ::SetFocus(m_hList);
}

void CStoreList::AddColumns() {
  int cColumns = ColumnCount();
  ListLayout layout;
  for (int i = 0; i < cColumns; ++i) {
    layout.anOrder.push_back(i);
    layout.anWidth.push_back(ScaleX(m_fRoutes ? c_acxRouteColumns[i] : c_acxWaypointColumns[i]));
  }
  char16_t szLayout[128];
  GetString(LayoutSetting().pszName, szLayout, 128, u"");
  bool fSaved = ParseListLayout(szLayout, size_t(cColumns), layout);
  for (int i = 0; i < cColumns; ++i) {
    char16_t szTitle[64];
    LoadResString((m_fRoutes ? c_idsFirstRouteColumn : c_idsFirstWaypointColumn) + uint32_t(i), szTitle, 64);
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    col.fmt = i == 0 || (m_fRoutes ? i == rlcName : (i == wlcName || i == wlcCreated || i == wlcShow))
                  ? LVCFMT_LEFT
                  : LVCFMT_RIGHT;
    col.cx = layout.anWidth[size_t(i)];
    col.pszText = W(szTitle);
    col.iSubItem = i;
    ListView_InsertColumn(m_hList, i, &col);
  }
  if (fSaved) ListView_SetColumnOrderArray(m_hList, cColumns, layout.anOrder.data());
}

void CStoreList::SaveLayout() {
  int cColumns = ColumnCount();
  ListLayout layout;
  layout.anOrder.resize(size_t(cColumns));
  if (!ListView_GetColumnOrderArray(m_hList, cColumns, layout.anOrder.data())) return;
  for (int i = 0; i < cColumns; ++i) layout.anWidth.push_back(ListView_GetColumnWidth(m_hList, i));
  std::u16string str = FormatListLayout(layout);
  if (!str.empty()) SetString(LayoutSetting().pszName, str.c_str());
}

void CStoreList::Fill() {
  void* pSelected = Selected();
  ::SendMessageW(m_hList, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(m_hList);
  std::vector<void*> rows;
  if (m_fRoutes) {
    for (Route* p : GetRouteRows(g_waypointStore, m_sort)) rows.push_back(p);
  } else {
    for (Waypoint* p : GetWaypointRows(g_waypointStore, m_sort, float(m_dLon), float(m_dLat))) rows.push_back(p);
  }
  for (size_t iRow = 0; iRow < rows.size(); ++iRow) {
    for (int iCol = 0; iCol < ColumnCount(); ++iCol) {
      std::u16string str = m_fRoutes ? GetRouteCell(*static_cast<Route*>(rows[iRow]), RouteListColumn(iCol),
                                                    FormatLocalDate)
                                     : GetWaypointCell(*static_cast<Waypoint*>(rows[iRow]), WaypointListColumn(iCol),
                                                       float(m_dLon), float(m_dLat), FormatLocalDate);
      LVITEMW item = {};
      item.iItem = int(iRow);
      item.iSubItem = iCol;
      item.pszText = W(&str[0]);
      if (iCol == 0) {
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.lParam = reinterpret_cast<LPARAM>(rows[iRow]);
        if (!m_fRoutes) {
          item.mask |= LVIF_IMAGE;
          item.iImage = GetSymbolImage(static_cast<Waypoint*>(rows[iRow])->GetType());
        }
        ListView_InsertItem(m_hList, &item);
      } else {
        item.mask = LVIF_TEXT;
        ListView_SetItem(m_hList, &item);
      }
    }
  }
  Select(pSelected);
  ::SendMessageW(m_hList, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(m_hList, nullptr, TRUE);
}

void* CStoreList::Selected() const {
  int i = ListView_GetNextItem(m_hList, -1, LVNI_SELECTED);
  if (i < 0) return nullptr;
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = i;
  if (!ListView_GetItem(m_hList, &item)) return nullptr;
  return reinterpret_cast<void*>(item.lParam);
}

void CStoreList::Select(void* pRecord) {
  if (!pRecord) return;
  LVFINDINFOW find = {};
  find.flags = LVFI_PARAM;
  find.lParam = reinterpret_cast<LPARAM>(pRecord);
  int i = int(::SendMessageW(m_hList, LVM_FINDITEMW, WPARAM(-1), reinterpret_cast<LPARAM>(&find)));
  if (i < 0) return;
  ListView_SetItemState(m_hList, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(m_hList, i, FALSE);
}

void CStoreList::UpdateButtons() {
  void* p = Selected();
  bool fActive = m_fRoutes && p && p == g_waypointStore.ActiveRoute();
  ::EnableWindow(::GetDlgItem(m_hDlg, IDC_STORE_PROPERTIES), p != nullptr);
  ::EnableWindow(::GetDlgItem(m_hDlg, IDC_STORE_DELETE), p != nullptr && !fActive);
  bool fShow = p != nullptr && GetMapView() != nullptr && (!m_fRoutes || !static_cast<Route*>(p)->IsEmpty());
  ::EnableWindow(::GetDlgItem(m_hDlg, IDC_STORE_SHOW), fShow);
  bool fGoTo = p != nullptr && (!m_fRoutes || !static_cast<Route*>(p)->IsEmpty());
  ::EnableWindow(::GetDlgItem(m_hDlg, IDC_STORE_GOTO), fGoTo);
}

void CStoreList::Changed() {
  SaveStoreAndRefresh(m_hDlg);
  Fill();
  UpdateButtons();
}

void CStoreList::OnCommand(UINT id) {
  void* p = Selected();
  switch (id) {
    case IDC_STORE_PROPERTIES:
      if (!p) break;
      if (m_fRoutes ? ShowRouteProperties(m_hDlg, static_cast<Route*>(p))
                    : ShowWaypointProperties(m_hDlg, static_cast<Waypoint*>(p)))
        Changed();
      break;
    case IDC_STORE_DELETE:
      if (!p) break;
      if (m_fRoutes ? AskDeleteRoute(m_hDlg, static_cast<Route*>(p))
                    : AskDeleteWaypoint(m_hDlg, static_cast<Waypoint*>(p)))
        Changed();
      break;
    case IDC_STORE_SHOW: {
      CMapPosition* pView = GetMapView();
      if (!p || !pView) break;
      if (m_fRoutes) {
        if (!ShowRoute(*pView, *static_cast<Route*>(p))) break;
      } else {
        ShowWaypoint(*pView, *static_cast<Waypoint*>(p));
      }
      m_fShowOnMap = true;
      ::EndDialog(m_hDlg, IDOK);
      break;
    }
    case IDC_STORE_GOTO:
      // Navigation starts once the list has closed: a route calculation
      // may show its own progress window.
      if (!p || (m_fRoutes && static_cast<Route*>(p)->IsEmpty())) break;
      m_pGoTo = p;
      ::EndDialog(m_hDlg, IDOK);
      break;
    case IDC_STORE_NEW:
      if (m_fRoutes) {
        Route* pRoute = g_waypointStore.NewRoute(NowDays());
        if (!ShowRouteProperties(m_hDlg, pRoute)) {
          g_waypointStore.DeleteRoute(pRoute);
          break;
        }
        Changed();
        Select(pRoute);
      } else {
        // The new waypoint dialog saves the store itself.
        double dLon = m_dLon, dLat = m_dLat;
        GetMapCentreDegrees(dLon, dLat);
        if (!NewWaypointDialog(m_hDlg, dLon, dLat)) break;
        Fill();
        Select(g_waypointStore.FirstWaypoint());
        UpdateButtons();
      }
      break;
    case IDC_STORE_IMPORT:
      if (m_fRoutes) ImportRoutesDialog(m_hDlg);
      else ImportWaypointsDialog(m_hDlg);
      Fill();
      UpdateButtons();
      break;
    case IDC_STORE_EXPORT:
      if (m_fRoutes) ExportRoutesDialog(m_hDlg);
      else ExportWaypointsDialog(m_hDlg);
      break;
    case IDCANCEL:
      ::EndDialog(m_hDlg, IDCANCEL);
      break;
  }
}

LRESULT CStoreList::OnCustomDraw(NMLVCUSTOMDRAW* pDraw) {
  switch (pDraw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const Route* pRoute = reinterpret_cast<const Route*>(pDraw->nmcd.lItemlParam);
      if (!pRoute) return CDRF_DODEFAULT;
      pDraw->clrText = pRoute->crColor & 0xFFFFFF;
      if (pRoute == g_waypointStore.ActiveRoute())
        pDraw->clrTextBk = GetActiveRouteRowColor(::GetSysColor(COLOR_WINDOW));
      return CDRF_NEWFONT;
    }
  }
  return CDRF_DODEFAULT;
}

LRESULT CStoreList::OnNotify(NMHDR* pHdr) {
  if (pHdr->idFrom != IDC_STORE_LIST) return 0;
  switch (pHdr->code) {
    case LVN_COLUMNCLICK: {
      ClickListColumn(m_sort, reinterpret_cast<NMLISTVIEW*>(pHdr)->iSubItem);
      if (m_fRoutes) SaveRouteListSort(m_sort);
      else SaveWaypointListSort(m_sort);
      Fill();
      break;
    }
    case LVN_ITEMCHANGED:
      UpdateButtons();
      break;
    case NM_DBLCLK:
      OnCommand(IDC_STORE_PROPERTIES);
      break;
    case LVN_KEYDOWN:
      if (reinterpret_cast<NMLVKEYDOWN*>(pHdr)->wVKey == VK_DELETE) OnCommand(IDC_STORE_DELETE);
      break;
    case NM_CUSTOMDRAW:
      if (m_fRoutes) return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(pHdr));
      break;
  }
  return 0;
}

INT_PTR CALLBACK CStoreList::Proc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CStoreList* pThis = reinterpret_cast<CStoreList*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
  switch (uMsg) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      reinterpret_cast<CStoreList*>(lParam)->OnInit(hDlg);
      PutButtonsBelowList(hDlg, ::GetDlgItem(hDlg, IDC_STORE_LIST));  // on a narrow screen
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (pThis && HIWORD(wParam) == BN_CLICKED) pThis->OnCommand(LOWORD(wParam));
      return TRUE;
    case WM_NOTIFY:
      if (!pThis) break;
      ::SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, pThis->OnNotify(reinterpret_cast<NMHDR*>(lParam)));
      return TRUE;
    case WM_DESTROY:
      if (pThis) pThis->SaveLayout();
      break;
  }
  return FALSE;
}

void ShowList(HWND hOwner, bool fRoutes) {
  CStoreList list(fRoutes);
  ResDialogBox(fRoutes ? IDD_ROUTE_LIST : IDD_WAYPOINT_LIST, hOwner ? hOwner : g_hWnd, CStoreList::Proc,
               reinterpret_cast<LPARAM>(&list));
  if (void* p = list.GoToChosen()) {
    SwitchToMapPage();
    if (fRoutes) {
      FollowRoute(static_cast<Route*>(p));
    } else {
      const Waypoint* pWaypoint = static_cast<const Waypoint*>(p);
      GoToPoint(pWaypoint->x, pWaypoint->y);
    }
    return;
  }
  if (list.ShowOnMapChosen()) {
    // ShowWaypoints / ShowRoutes may have been switched on: a full pass.
    SwitchToMapPage();
    RefreshAllPages(true);
  }
}

}  // namespace

void ShowWaypointListDialog(HWND hOwner) { ShowList(hOwner, false); }
void ShowRouteListDialog(HWND hOwner) { ShowList(hOwner, true); }
