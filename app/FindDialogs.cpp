// The find dialogs. One dialog class serves the four searches: a list of
// the map's settlements, the search fields of the search, a type filter
// chosen from the category tree, a result list, and the two commands on the
// selected result (show it on the map, start guidance to it).
#include "app/FindDialogs.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/Commands.h"
#include "app/Features.h"
#include "app/NavigationGlue.h"
#include "app/ProgressWindow.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/res/find_ids.h"
#include "app/res/options_ids.h"
#include "find/FindResults.h"
#include "find/TypeFilters.h"
#include "geo/Units.h"
#include "gps/PositionHub.h"
#include "map/MapParser.h"
#include "platform/Str.h"
#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "store/ListLayout.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"

using namespace platform;

namespace {

const uint32_t c_idsNoIndex = 2145;
const uint32_t c_idsNoAddresses = 2146;
const uint32_t c_idsNothingFound = 2147;
const uint32_t c_idsSearching = 2340;
const uint32_t c_idsSorting = 2341;
const uint32_t c_idsTitleObjects = 2342;
const uint32_t c_idsTitleAddress = 2343;
const uint32_t c_idsTitleNearest = 2344;
const uint32_t c_idsTitleCities = 2345;
const uint32_t c_idsZip = 2348;
const uint32_t c_idsStreet = 2349;
const uint32_t c_idsHouse = 2350;
const uint32_t c_idsName = 2351;
const uint32_t c_idsLimit = 2352;
const uint32_t c_idsColName = 2358;
const uint32_t c_idsColType = 2359;
const uint32_t c_idsColCity = 2360;
const uint32_t c_idsColAddress = 2361;
const uint32_t c_idsColDistance = 2362;
const uint32_t c_idsColRegion = 2363;
const uint32_t c_idsColBearing = 2364;

enum FindMode { fmObjects = 0, fmAddress = 1, fmNearest = 2, fmCities = 3 };

enum FindColumn { colName, colType, colCity, colAddress, colDistance, colBearing, colRegion };

// The columns of each search and the setting its layout is kept in.
struct ModeInfo {
  uint32_t idsTitle;
  const char16_t* pszLayout;  // null: the layout is not kept
  std::vector<FindColumn> columns;
};

const ModeInfo& GetModeInfo(FindMode mode) {
  static const ModeInfo s_aModes[] = {
      {c_idsTitleObjects, setting::FindCityPlaces_Headers.pszName, {colName, colType, colAddress}},
      {c_idsTitleAddress, setting::FindByAddress_Headers.pszName, {colName, colType, colCity, colAddress}},
      {c_idsTitleNearest, setting::FindNearest_Headers.pszName, {colName, colType, colDistance, colBearing, colAddress}},
      {c_idsTitleCities, nullptr, {colName, colRegion}},
  };
  return s_aModes[mode];
}

uint32_t ColumnTitle(FindColumn col) {
  switch (col) {
    case colName: return c_idsColName;
    case colType: return c_idsColType;
    case colCity: return c_idsColCity;
    case colAddress: return c_idsColAddress;
    case colDistance: return c_idsColDistance;
    case colBearing: return c_idsColBearing;
    case colRegion: return c_idsColRegion;
  }
  return c_idsColName;
}

int ColumnWidth(FindColumn col) {
  switch (col) {
    case colName: return 170;
    case colType: return 70;
    case colCity: return 100;
    case colAddress: return 150;
    case colDistance: return 70;
    case colBearing: return 60;
    case colRegion: return 260;
  }
  return 80;
}

// A message over the window it concerns (the find dialog, or the main window).
void ShowResMessage(HWND hOwner, uint32_t ids, UINT uType) {
  char16_t sz[256];
  LoadResString(ids, sz, 256);
  ::MessageBoxW(hOwner, W(sz), L"VELMO", uType);
}

// ---------------------------------------------------------------------------
// The progress box of a search (the shared progress window).
class CFindProgress {
 public:
  CFindProgress(HWND hOwner, uint32_t idsText) {
    m_window.Open(hOwner, idsText, 1000);
    m_progress = MapProgress{0, 1000, m_window.CancelFlag(), SetPos, this};
  }
  ~CFindProgress() { m_window.Close(); }
  CFindProgress(const CFindProgress&) = delete;
  CFindProgress& operator=(const CFindProgress&) = delete;

  const MapProgress* Get() const { return &m_progress; }
  bool IsCancelled() const { return m_window.IsCancelled(); }

 private:
  static void SetPos(void* pThis, int32_t nPos) { static_cast<CFindProgress*>(pThis)->m_window.SetPos(nPos); }

  CProgressWindow m_window;
  MapProgress m_progress = {};
};

// ---------------------------------------------------------------------------
// The category tree: groups, categories and single types of the filter
// table; the row index of each item is its lParam.

struct TypeChoice {
  uint32_t nCookie;
  bool fAuto;
};

INT_PTR CALLBACK TypeTreeProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  TypeChoice* pChoice = reinterpret_cast<TypeChoice*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
  switch (uMsg) {
    case WM_INITDIALOG: {
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      pChoice = reinterpret_cast<TypeChoice*>(lParam);
      HWND hTree = ::GetDlgItem(hDlg, IDC_FIND_TYPE_TREE);
      HTREEITEM ahParent[3] = {TVI_ROOT, TVI_ROOT, TVI_ROOT};
      HTREEITEM hSelect = nullptr;
      const TypeFilterEntry* aRows = GetTypeFilterTable();
      for (uint32_t i = 0; i < c_cTypeFilters; ++i) {
        SelectedTypeFilter sel = SelectTypeFilter(i, nullptr);
        TVINSERTSTRUCTW ins = {};
        ins.hParent = aRows[i].wLevel == tflGroup ? TVI_ROOT : ahParent[aRows[i].wLevel - 1];
        ins.hInsertAfter = TVI_LAST;
        ins.item.mask = TVIF_TEXT | TVIF_PARAM;
        ins.item.pszText = W(sel.szCaption);
        ins.item.lParam = LPARAM(i);
        HTREEITEM h = reinterpret_cast<HTREEITEM>(::SendMessageW(hTree, TVM_INSERTITEMW, 0,
                                                                 reinterpret_cast<LPARAM>(&ins)));
        if (aRows[i].wLevel < tflType) ahParent[aRows[i].wLevel] = h;
        if (i == pChoice->nCookie) hSelect = h;
      }
      if (hSelect) {
        TreeView_EnsureVisible(hTree, hSelect);
        TreeView_SelectItem(hTree, hSelect);
      }
      ::CheckDlgButton(hDlg, IDC_FIND_TYPE_AUTO, pChoice->fAuto ? BST_CHECKED : BST_UNCHECKED);
      ::SetFocus(hTree);
      return FALSE;
    }
    case WM_NOTIFY: {
      const NMHDR* pHdr = reinterpret_cast<const NMHDR*>(lParam);
      if (pHdr->idFrom == IDC_FIND_TYPE_TREE && pHdr->code == NM_DBLCLK) {
        HTREEITEM h = TreeView_GetSelection(pHdr->hwndFrom);
        // A double click on a single type chooses it; on a branch it opens it.
        if (h && !TreeView_GetChild(pHdr->hwndFrom, h)) ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
      }
      break;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && pChoice) {
        HWND hTree = ::GetDlgItem(hDlg, IDC_FIND_TYPE_TREE);
        HTREEITEM h = TreeView_GetSelection(hTree);
        if (!h) return TRUE;
        TVITEMW item = {};
        item.mask = TVIF_PARAM;
        item.hItem = h;
        ::SendMessageW(hTree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        pChoice->nCookie = uint32_t(item.lParam);
        pChoice->fAuto = ::IsDlgButtonChecked(hDlg, IDC_FIND_TYPE_AUTO) == BST_CHECKED;
        ::EndDialog(hDlg, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(hDlg, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// ---------------------------------------------------------------------------
// The find dialog

// The point nearest searches start from: the map cursor when it has a
// position, else the centre of the map view.
MapPoint SearchPoint() {
  MapCursor cursor = GetPositionHub().GetCursor();
  if (cursor.fPosition) return MapPoint{DegreesToMap(cursor.fLon), DegreesToMap(cursor.fLat)};
  if (CMapPosition* pView = GetMapView()) return MapPoint{pView->GetCentreX(), pView->GetCentreY()};
  return MapPoint{0, 0};
}

// Reads a decimal number as typed ('.' or ',' before the fraction); false
// for anything else.
bool ParseNumber(const char16_t* psz, double& f) {
  std::string str;
  for (; *psz; ++psz) {
    char16_t c = *psz;
    if (c == u',') c = u'.';
    if ((c < u'0' || c > u'9') && c != u'.') {
      if (c == u' ' && str.empty()) continue;
      if (c == u' ') break;
      return false;
    }
    str += char(c);
  }
  if (str.empty() || str == ".") return false;
  f = std::strtod(str.c_str(), nullptr);
  return true;
}

class CFindDialog {
 public:
  CFindDialog(FindMode mode, CMapParser* pParser) : m_mode(mode), m_pParser(pParser) {}

  // The action chosen on a result as the dialog closed.
  enum Action { actNone, actShow, actGoTo };
  Action GetAction() const { return m_action; }
  const FoundObject& GetChosen() const { return m_chosen; }

  static INT_PTR CALLBACK Proc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

 private:
  void OnInit(HWND hDlg);
  void SetupFields();
  void AddColumns();
  void SaveLayout();
  void FillCities();
  void OnCityText();
  void OnNameText();
  void ShowFilterCaption();
  void ChooseType();
  void Find();
  bool FindObjects(CFindProgress& progress);
  bool FindAddress(CFindProgress& progress, bool& fNoData);
  bool FindNearest(CFindProgress& progress);
  void FillResults();
  int SelectedResult() const;
  void UpdateButtons();
  void Choose(Action action);
  void OnClose();
  std::u16string Cell(const FindResult& r, FindColumn col) const;
  void Show(int idControl, bool fShow) { ::ShowWindow(::GetDlgItem(m_hDlg, idControl), fShow ? SW_SHOW : SW_HIDE); }
  void SetLabel(int idControl, uint32_t ids) {
    char16_t sz[64];
    LoadResString(ids, sz, 64);
    ::SetDlgItemTextW(m_hDlg, idControl, W(sz));
  }
  std::u16string GetText(int idControl) const {
    wchar_t sz[64] = L"";
    ::GetDlgItemTextW(m_hDlg, idControl, sz, 64);
    return std::u16string(reinterpret_cast<const char16_t*>(sz));
  }

  FindMode m_mode;
  CMapParser* m_pParser;
  HWND m_hDlg = nullptr;
  HWND m_hCities = nullptr;
  HWND m_hResults = nullptr;
  std::unique_ptr<CCitiesQuery> m_pCities;
  DWORD m_dwLocale = 1049;
  SelectedTypeFilter m_filter = {};
  CFindResults m_results;
  Action m_action = actNone;
  FoundObject m_chosen = {};
  bool m_fFilling = false;
  bool m_fBusy = false;  // a search runs
};

void CFindDialog::OnInit(HWND hDlg) {
  m_hDlg = hDlg;
  m_hCities = ::GetDlgItem(hDlg, IDC_FIND_CITY_LIST);
  m_hResults = ::GetDlgItem(hDlg, IDC_FIND_RESULTS);
  char16_t szTitle[64];
  LoadResString(GetModeInfo(m_mode).idsTitle, szTitle, 64);
  ::SetWindowTextW(hDlg, W(szTitle));
  ListView_SetExtendedListViewStyle(m_hResults, LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP);
  m_pCities.reset(m_mode == fmNearest ? nullptr : m_pParser->CreateCitiesQuery());
  if (m_pCities) m_dwLocale = m_pCities->GetLocale();
  m_filter = SelectTypeFilter(GetSetting(setting::Find_TypeCookie), nullptr);
  SetupFields();
  AddColumns();
  FillCities();
  ShowFilterCaption();
  UpdateButtons();
}

void CFindDialog::SetupFields() {
  const bool fCities = m_mode != fmNearest;
  Show(IDC_FIND_CITY_LABEL, fCities);
  Show(IDC_FIND_CITY_TEXT, fCities);
  Show(IDC_FIND_CITY_LIST, fCities && m_mode != fmCities);
  const bool fType = m_mode == fmObjects || m_mode == fmNearest;
  Show(IDC_FIND_TYPE, fType);
  Show(IDC_FIND_TYPE_CAPTION, fType);
  Show(IDC_FIND_GO, m_mode != fmCities);
  Show(IDC_FIND_LABEL1, m_mode != fmCities);
  Show(IDC_FIND_TEXT1, m_mode != fmCities);
  Show(IDC_FIND_LABEL2, m_mode == fmAddress || m_mode == fmNearest);
  Show(IDC_FIND_TEXT2, m_mode == fmAddress || m_mode == fmNearest);
  Show(IDC_FIND_LABEL3, m_mode == fmAddress);
  Show(IDC_FIND_TEXT3, m_mode == fmAddress);
  Show(IDC_FIND_UNIT, m_mode == fmNearest);
  for (int id : {IDC_FIND_TEXT1, IDC_FIND_TEXT2, IDC_FIND_TEXT3})
    ::SendDlgItemMessageW(m_hDlg, id, EM_LIMITTEXT, 63, 0);
  char16_t sz[64];
  switch (m_mode) {
    case fmObjects: {
      SetLabel(IDC_FIND_LABEL1, c_idsName);
      // The name box takes the width of the three fields.
      RECT rc = {48, 72, 306, 84};
      ::MapDialogRect(m_hDlg, &rc);
      ::MoveWindow(::GetDlgItem(m_hDlg, IDC_FIND_TEXT1), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                   FALSE);
      break;
    }
    case fmAddress:
      SetLabel(IDC_FIND_LABEL1, c_idsZip);
      SetLabel(IDC_FIND_LABEL2, c_idsStreet);
      SetLabel(IDC_FIND_LABEL3, c_idsHouse);
      GetSettingString(setting::Find_Zip, sz);
      ::SetDlgItemTextW(m_hDlg, IDC_FIND_TEXT1, W(sz));
      GetSettingString(setting::Find_Street, sz);
      ::SetDlgItemTextW(m_hDlg, IDC_FIND_TEXT2, W(sz));
      GetSettingString(setting::Find_Number, sz);
      ::SetDlgItemTextW(m_hDlg, IDC_FIND_TEXT3, W(sz));
      break;
    case fmNearest: {
      SetLabel(IDC_FIND_LABEL1, c_idsName);
      SetLabel(IDC_FIND_LABEL2, c_idsLimit);
      GetSettingString(setting::Find_Name, sz);
      ::SetDlgItemTextW(m_hDlg, IDC_FIND_TEXT1, W(sz));
      DWORD dwUnit = GetSetting(setting::OptionDistanceUnit);
      char16_t szLimit[32];
      FormatGeneralNumber(DistanceLimitFromMetres(GetSetting(setting::Find_Distance), dwUnit), szLimit, 32);
      // Whole numbers without their zero decimals ("20", not "20.00").
      std::u16string strLimit = szLimit;
      size_t iPoint = strLimit.find_first_of(u".,");
      if (iPoint != std::u16string::npos) {
        while (strLimit.size() > iPoint + 1 && strLimit.back() == u'0') strLimit.pop_back();
        if (strLimit.size() == iPoint + 1) strLimit.pop_back();
      }
      CopyField(szLimit, 32, strLimit.c_str());
      ::SetDlgItemTextW(m_hDlg, IDC_FIND_TEXT2, W(szLimit));
      SetLabel(IDC_FIND_UNIT, DistanceLimitUnitId(dwUnit));
      break;
    }
    case fmCities:
      break;
  }
}

void CFindDialog::AddColumns() {
  const ModeInfo& info = GetModeInfo(m_mode);
  const int cColumns = int(info.columns.size());
  ListLayout layout;
  for (int i = 0; i < cColumns; ++i) {
    layout.anOrder.push_back(i);
    layout.anWidth.push_back(ScaleX(ColumnWidth(info.columns[size_t(i)])));
  }
  bool fSaved = false;
  if (info.pszLayout) {
    char16_t szLayout[128];
    GetString(info.pszLayout, szLayout, 128, u"");
    fSaved = ParseListLayout(szLayout, size_t(cColumns), layout);
  }
  for (int i = 0; i < cColumns; ++i) {
    FindColumn col = info.columns[size_t(i)];
    char16_t szTitle[64];
    LoadResString(ColumnTitle(col), szTitle, 64);
    LVCOLUMNW lvc = {};
    lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    lvc.fmt = col == colDistance || col == colBearing ? LVCFMT_RIGHT : LVCFMT_LEFT;
    if (i == 0) lvc.fmt = LVCFMT_LEFT;
    lvc.cx = layout.anWidth[size_t(i)];
    lvc.pszText = W(szTitle);
    lvc.iSubItem = i;
    ListView_InsertColumn(m_hResults, i, &lvc);
  }
  if (fSaved) ListView_SetColumnOrderArray(m_hResults, cColumns, layout.anOrder.data());
}

void CFindDialog::SaveLayout() {
  const ModeInfo& info = GetModeInfo(m_mode);
  if (!info.pszLayout) return;
  const int cColumns = int(info.columns.size());
  ListLayout layout;
  layout.anOrder.resize(size_t(cColumns));
  if (!ListView_GetColumnOrderArray(m_hResults, cColumns, layout.anOrder.data())) return;
  for (int i = 0; i < cColumns; ++i) layout.anWidth.push_back(ListView_GetColumnWidth(m_hResults, i));
  std::u16string str = FormatListLayout(layout);
  if (!str.empty()) SetString(info.pszLayout, str.c_str());
}

void CFindDialog::FillCities() {
  if (!m_pCities) return;
  const uint32_t cCities = m_pCities->GetCount();
  const DWORD dwLast = GetSetting(setting::Find_City);
  if (m_mode == fmCities) {
    // The settlements are the results: name, region and country, position.
    m_results.Clear();
    for (uint32_t i = 0; i < cCities; ++i) {
      // Every index gets its row (an item that cannot be read stays empty
      // and has no place), so rows and city indices stay the same.
      CityItem item;
      std::memset(&item, 0, sizeof item);
      if (!m_pCities->GetItem(i, &item, c_fofName)) item.fHasPlace = 0;
      FoundObject obj;
      std::memset(&obj, 0, sizeof obj);
      item.szName[63] = 0;
      CopyField(obj.szName, 64, item.szName);
      obj.xRepr = obj.xNearest = item.x;
      obj.yRepr = obj.yNearest = item.y;
      // Without a place object the settlement has no position of its own.
      obj.nScale = item.fHasPlace ? item.nScale : 0;
      obj.nKind = item.fHasPlace ? rkPoint : -1;
      m_results.Add(obj);
    }
    FillResults();
    if (dwLast < m_results.GetCount()) {
      ListView_SetItemState(m_hResults, int(dwLast), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      ListView_EnsureVisible(m_hResults, int(dwLast), FALSE);
    }
    return;
  }
  ::SendMessageW(m_hCities, WM_SETREDRAW, FALSE, 0);
  for (uint32_t i = 0; i < cCities; ++i) {
    // The names only: the places are not decoded for the list.
    CityItem item;
    std::memset(&item, 0, sizeof item);
    m_pCities->GetItem(i, &item, 0);
    item.szName[63] = 0;
    // Inserted, not added: the list keeps the index's order whatever its style.
    ::SendMessageW(m_hCities, LB_INSERTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(W(item.szName)));
  }
  ::SendMessageW(m_hCities, WM_SETREDRAW, TRUE, 0);
  if (cCities) ::SendMessageW(m_hCities, LB_SETCURSEL, dwLast < cCities ? dwLast : 0, 0);
}

void CFindDialog::OnCityText() {
  if (!m_pCities || m_fFilling) return;
  std::u16string str = GetText(IDC_FIND_CITY_TEXT);
  if (str.empty()) return;
  uint32_t i = m_pCities->FindCityByName(str.c_str());
  if (m_mode == fmCities) {
    if (i >= m_results.GetCount()) return;
    ListView_SetItemState(m_hResults, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(m_hResults, int(i), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(m_hResults, int(i), FALSE);
  } else {
    ::SendMessageW(m_hCities, LB_SETCURSEL, WPARAM(i), 0);
  }
}

void CFindDialog::OnNameText() {
  if (m_mode != fmObjects || m_results.GetCount() == 0) return;
  std::u16string str = GetText(IDC_FIND_TEXT1);
  if (str.empty()) return;
  size_t i = m_results.FindByName(m_dwLocale, str.c_str());
  if (i >= m_results.GetCount()) i = m_results.GetCount() - 1;
  // The row before the found one stays in sight.
  ListView_EnsureVisible(m_hResults, int(m_results.GetCount() - 1), FALSE);
  ListView_EnsureVisible(m_hResults, i > 0 ? int(i - 1) : 0, FALSE);
  ListView_SetItemState(m_hResults, -1, 0, LVIS_SELECTED);
  ListView_SetItemState(m_hResults, int(i), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

bool TypeNameOfMap(int, uint16_t, char16_t*, size_t) { return false; }

void CFindDialog::ShowFilterCaption() {
  m_filter = SelectTypeFilter(m_filter.nCookie, TypeNameOfMap);
  ::SetDlgItemTextW(m_hDlg, IDC_FIND_TYPE_CAPTION, W(m_filter.szCaption));
}

void CFindDialog::ChooseType() {
  TypeChoice choice = {m_filter.nCookie < c_cTypeFilters ? m_filter.nCookie : 0, GetSettingBool(setting::Find_AutoType)};
  if (ResDialogBox(IDD_FIND_TYPE, m_hDlg, TypeTreeProc, reinterpret_cast<LPARAM>(&choice)) != IDOK) return;
  m_filter.nCookie = choice.nCookie;
  SetDword(setting::Find_TypeCookie.pszName, choice.nCookie);
  SetBool(setting::Find_AutoType.pszName, choice.fAuto);
  ShowFilterCaption();
  // Chosen "automatically": the search runs at once with the new type.
  if (choice.fAuto) Find();
}

bool CFindDialog::FindObjects(CFindProgress& progress) {
  int iCity = int(::SendMessageW(m_hCities, LB_GETCURSEL, 0, 0));
  if (iCity < 0) return false;
  const uint32_t dwFlags = c_fofName | c_fofCity | c_fofStreet | c_fofNumber | c_fofReprPoint | c_fofScale;
  const TypeFilterEntry* pRow = GetTypeFilter(m_filter.nCookie);
  if (!pRow) return true;
  // A single type is one query; a category, or a group's categories, one
  // query each, listed together in name order.
  struct Ask {
    int nKind;
    uint16_t wCategory, wType;
  };
  std::vector<Ask> asks;
  if (pRow->wLevel == tflType) {
    asks.push_back({int(pRow->dwKind), pRow->wCategory, pRow->wType});
  } else {
    for (uint32_t iRow : GetCategoriesOfFilter(m_filter.nCookie))
      asks.push_back({rkPoint, GetTypeFilter(iRow)->wCategory, c_wAnyCode});
  }
  const MapProgress* pBar = progress.Get();
  for (size_t i = 0; i < asks.size(); ++i) {
    std::unique_ptr<CMapQuery> pQuery(
        m_pParser->CreateObjectsQuery(uint32_t(iCity), asks[i].nKind, asks[i].wCategory, asks[i].wType));
    if (!pQuery) continue;
    MapProgress part = *pBar;
    part.nFrom = pBar->nFrom + int32_t((pBar->nTo - pBar->nFrom) * int64_t(i) / int64_t(asks.size()));
    part.nTo = pBar->nFrom + int32_t((pBar->nTo - pBar->nFrom) * int64_t(i + 1) / int64_t(asks.size()));
    if (!m_results.AddQuery(*pQuery, dwFlags, nullptr, &part)) return false;
  }
  if (asks.size() > 1) m_results.SortByName(m_dwLocale);
  return !progress.IsCancelled();
}

bool CFindDialog::FindAddress(CFindProgress& progress, bool& fNoData) {
  int iCity = int(::SendMessageW(m_hCities, LB_GETCURSEL, 0, 0));
  if (iCity < 0) return false;
  std::u16string strZip = GetText(IDC_FIND_TEXT1), strStreet = GetText(IDC_FIND_TEXT2),
                 strNumber = GetText(IDC_FIND_TEXT3);
  std::unique_ptr<CMapQuery> pQuery(m_pParser->FindByAddress(uint32_t(iCity), strZip.c_str(), strStreet.c_str(),
                                                             strNumber.c_str(), progress.Get()));
  if (progress.IsCancelled()) return false;
  if (!pQuery) {
    fNoData = true;
    return true;
  }
  const uint32_t dwFlags =
      c_fofName | c_fofCity | c_fofZip | c_fofStreet | c_fofNumber | c_fofReprPoint | c_fofScale;
  return m_results.AddQuery(*pQuery, dwFlags, nullptr, nullptr);
}

bool CFindDialog::FindNearest(CFindProgress& progress) {
  std::u16string strName = GetText(IDC_FIND_TEXT1);
  double fLimit = 0;
  DWORD dwUnit = GetSetting(setting::OptionDistanceUnit);
  uint32_t nMetres = ParseNumber(GetText(IDC_FIND_TEXT2).c_str(), fLimit) ? DistanceLimitToMetres(fLimit, dwUnit)
                                                                           : GetSetting(setting::Find_Distance);
  SetDword(setting::Find_Distance.pszName, nMetres);
  SetString(setting::Find_Name.pszName, strName.c_str());
  CTypeFilterSet set(m_filter.nCookie);
  if (set.IsEmpty() || nMetres == 0) return true;  // nothing can pass
  const MapPoint pt = SearchPoint();
  std::unique_ptr<CMapQuery> pQuery(m_pParser->FindNearest(0, false, pt, nMetres, set.AsMapFilter(),
                                                           strName.empty() ? nullptr : strName.c_str(),
                                                           progress.Get()));
  if (progress.IsCancelled() || !pQuery) return !progress.IsCancelled();
  m_results.SetReference(pt);
  const uint32_t dwFlags =
      c_fofName | c_fofCity | c_fofStreet | c_fofNumber | c_fofReprPoint | c_fofNearestPoint | c_fofScale;
  // The other types are sorted out here: the parser searched every type.
  return m_results.AddQuery(*pQuery, dwFlags, set.IsOthers() ? &set : nullptr, nullptr);
}

void CFindDialog::Find() {
  // The progress box lets the message loop run: commands that reach the
  // dialog meanwhile (posted ones; it takes no input) must not start a
  // second search inside this one.
  if (m_mode == fmCities || m_fBusy) return;
  struct Busy {
    bool& f;
    explicit Busy(bool& fBusy) : f(fBusy) { f = true; }
    ~Busy() { f = false; }
  } busy(m_fBusy);
  m_results.Clear();
  m_results.ClearReference();
  ListView_DeleteAllItems(m_hResults);
  bool fDone = false, fNoData = false;
  {
    CFindProgress progress(m_hDlg, c_idsSearching);
    switch (m_mode) {
      case fmObjects: fDone = FindObjects(progress); break;
      case fmAddress: fDone = FindAddress(progress, fNoData); break;
      case fmNearest: fDone = FindNearest(progress); break;
      case fmCities: break;
    }
  }
  if (!fDone) {  // cancelled: nothing is listed and nothing said
    m_results.Clear();
    UpdateButtons();
    return;
  }
  if (fNoData) {
    ShowResMessage(m_hDlg, c_idsNoAddresses, MB_OK | MB_ICONINFORMATION);
    UpdateButtons();
    return;
  }
  if (m_mode == fmNearest && m_results.GetCount() > 1) {
    CFindProgress sorting(m_hDlg, c_idsSorting);
    m_results.SortByDistance();
    if (sorting.IsCancelled()) {
      m_results.Clear();
      UpdateButtons();
      return;
    }
  }
  if (m_results.GetCount() == 0) {
    ShowResMessage(m_hDlg, c_idsNothingFound, MB_OK | MB_ICONINFORMATION);
    UpdateButtons();
    return;
  }
  FillResults();
  ListView_SetItemState(m_hResults, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  if (m_mode == fmNearest) ::SetFocus(m_hResults);
  UpdateButtons();
}

std::u16string CFindDialog::Cell(const FindResult& r, FindColumn col) const {
  const FoundObject& o = r.obj;
  char16_t sz[160] = u"";
  switch (col) {
    case colName:
      if (m_mode == fmCities) {
        // The settlement alone; its region and country go to their column.
        std::u16string str = o.szName;
        size_t i = str.find(u", ");
        return i == std::u16string::npos ? str : str.substr(0, i);
      }
      return o.szName;
    case colRegion: {
      std::u16string str = o.szName;
      size_t i = str.find(u", ");
      return i == std::u16string::npos ? std::u16string() : str.substr(i + 2);
    }
    case colType:
      FormatTypeName(o.nKind, o.wType, TypeNameOfMap, sz, 64);
      return sz;
    case colCity:
      return o.szCity;
    case colAddress:
      FormatStreetAddress(o.szStreet, o.szNumber, sz, 160);
      return sz;
    case colDistance: {
      if (r.fDistance < 0) return u"";
      char16_t szUnit[16];
      FormatDistance(r.fDistance, sz, 64, szUnit, 16);
      return std::u16string(sz) + u" " + szUnit;
    }
    case colBearing:
      if (r.fDistance < 0) return u"";
      FormatAzimuth(r.fBearing, sz, 64);
      return sz;
  }
  return u"";
}

void CFindDialog::FillResults() {
  const ModeInfo& info = GetModeInfo(m_mode);
  ::SendMessageW(m_hResults, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(m_hResults);
  for (size_t iRow = 0; iRow < m_results.GetCount(); ++iRow) {
    const FindResult& r = m_results.GetItem(iRow);
    for (size_t iCol = 0; iCol < info.columns.size(); ++iCol) {
      std::u16string str = Cell(r, info.columns[iCol]);
      LVITEMW item = {};
      item.iItem = int(iRow);
      item.iSubItem = int(iCol);
      item.mask = LVIF_TEXT;
      item.pszText = const_cast<wchar_t*>(W(str.c_str()));
      if (iCol == 0) {
        item.mask |= LVIF_PARAM;
        item.lParam = LPARAM(iRow);
        ListView_InsertItem(m_hResults, &item);
      } else {
        ListView_SetItem(m_hResults, &item);
      }
    }
  }
  ::SendMessageW(m_hResults, WM_SETREDRAW, TRUE, 0);
}

int CFindDialog::SelectedResult() const {
  int i = ListView_GetNextItem(m_hResults, -1, LVNI_SELECTED);
  if (i < 0) return -1;
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = i;
  if (!ListView_GetItem(m_hResults, &item)) return -1;
  return item.lParam >= 0 && size_t(item.lParam) < m_results.GetCount() ? int(item.lParam) : -1;
}

void CFindDialog::UpdateButtons() {
  int i = SelectedResult();
  // A settlement without a place object has no position to show or go to.
  bool fPlace = i >= 0 && m_results.GetItem(size_t(i)).obj.nKind >= 0;
  ::EnableWindow(::GetDlgItem(m_hDlg, IDC_FIND_SHOW), fPlace);
  ::EnableWindow(::GetDlgItem(m_hDlg, IDC_FIND_GOTO), fPlace);
}

void CFindDialog::Choose(Action action) {
  int i = SelectedResult();
  if (i < 0 || m_results.GetItem(size_t(i)).obj.nKind < 0) return;
  m_chosen = m_results.GetItem(size_t(i)).obj;
  m_action = action;
  OnClose();
  ::EndDialog(m_hDlg, IDOK);
}

void CFindDialog::OnClose() {
  if (m_mode == fmCities) {
    int i = ListView_GetNextItem(m_hResults, -1, LVNI_SELECTED);
    if (i >= 0) SetDword(setting::Find_City.pszName, DWORD(i));
  } else if (m_mode != fmNearest) {
    int i = int(::SendMessageW(m_hCities, LB_GETCURSEL, 0, 0));
    if (i >= 0) SetDword(setting::Find_City.pszName, DWORD(i));
  }
  if (m_mode == fmAddress) {
    SetString(setting::Find_Zip.pszName, GetText(IDC_FIND_TEXT1).c_str());
    SetString(setting::Find_Street.pszName, GetText(IDC_FIND_TEXT2).c_str());
    SetString(setting::Find_Number.pszName, GetText(IDC_FIND_TEXT3).c_str());
  }
  if (m_mode == fmNearest) SetString(setting::Find_Name.pszName, GetText(IDC_FIND_TEXT1).c_str());
  SaveLayout();
}

INT_PTR CALLBACK CFindDialog::Proc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CFindDialog* pThis = reinterpret_cast<CFindDialog*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
  switch (uMsg) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      pThis = reinterpret_cast<CFindDialog*>(lParam);
      pThis->m_fFilling = true;
      pThis->OnInit(hDlg);
      pThis->m_fFilling = false;
      return TRUE;
    case WM_COMMAND:
      if (!pThis) break;
      if (pThis->m_fBusy) return TRUE;  // see Find
      switch (LOWORD(wParam)) {
        case IDC_FIND_CITY_TEXT:
          if (HIWORD(wParam) == EN_CHANGE) pThis->OnCityText();
          return TRUE;
        case IDC_FIND_TEXT1:
          if (HIWORD(wParam) == EN_CHANGE) pThis->OnNameText();
          return TRUE;
        case IDC_FIND_TYPE:
          pThis->ChooseType();
          return TRUE;
        case IDC_FIND_GO:
          pThis->Find();
          return TRUE;
        case IDOK:  // Enter runs the default button; nothing else closes with OK
          return TRUE;
        case IDC_FIND_SHOW:
          pThis->Choose(actShow);
          return TRUE;
        case IDC_FIND_GOTO:
          pThis->Choose(actGoTo);
          return TRUE;
        case IDCANCEL:
          pThis->OnClose();
          ::EndDialog(hDlg, IDCANCEL);
          return TRUE;
      }
      break;
    case WM_NOTIFY: {
      if (!pThis) break;
      const NMHDR* pHdr = reinterpret_cast<const NMHDR*>(lParam);
      if (pHdr->idFrom == IDC_FIND_RESULTS) {
        if (pHdr->code == LVN_ITEMCHANGED) pThis->UpdateButtons();
        if (pHdr->code == NM_DBLCLK) pThis->Choose(actShow);
      }
      break;
    }
  }
  return FALSE;
}

// Centres the map on a result at its zoom level and shows the map page.
void ShowOnMap(const FoundObject& obj) {
  CMapPosition* pView = GetMapView();
  if (!pView) return;
  pView->SetCentre(obj.xRepr, obj.yRepr);
  if (obj.nScale > 0) pView->SetScale(size_t(obj.nScale));
  SwitchToMapPage();
  RefreshAllPages(true);
}

void ShowFindDialog(FindMode mode) {
  if (!g_pMapParser) return;
  // The settlement searches need the map's city index (and the objects
  // search its object index).
  if (mode != fmNearest &&
      (!g_pMapParser->HasCitiesIndex() || (mode == fmObjects && !g_pMapParser->HasObjectsIndex()))) {
    ShowResMessage(g_hWnd, c_idsNoIndex, MB_OK | MB_ICONINFORMATION);
    return;
  }
  CFindDialog dlg(mode, g_pMapParser);
  ResDialogBox(IDD_FIND, g_hWnd, CFindDialog::Proc, reinterpret_cast<LPARAM>(&dlg));
  const FoundObject& obj = dlg.GetChosen();
  switch (dlg.GetAction()) {
    case CFindDialog::actShow:
      ShowOnMap(obj);
      break;
    case CFindDialog::actGoTo:
      // Guidance takes the stored resolution: map coordinates doubled.
      GoToPoint(int32_t(uint32_t(obj.xRepr) << 1), int32_t(uint32_t(obj.yRepr) << 1));
      SwitchToMapPage();
      RefreshAllPages(true);
      break;
    case CFindDialog::actNone:
      break;
  }
}

}  // namespace

bool RunFindCommand(UINT id) {
  switch (id) {
    case cmdFindInCity: ShowFindDialog(fmObjects); return true;
    case cmdFindAddress: ShowFindDialog(fmAddress); return true;
    case cmdFindNearest: ShowFindDialog(fmNearest); return true;
    case cmdFindCity: ShowFindDialog(fmCities); return true;
  }
  return false;
}
