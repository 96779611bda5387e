// Dialogs of the map page: the information about a map object under the
// pointer, and the map collections (atlases) registered on this machine.
#include "app/MapDialogs.h"

#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>

#include "app/ProgressWindow.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "res/Res.h"
#include "app/res/app_ids.h"
#include "app/res/options_ids.h"
#include "geo/Units.h"
#include "map/MapCollections.h"
#include "map/MapFiles.h"
#include "map/MapParser.h"
#include "map/vidx/VidxBuilder.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "settings/SettingsTable.h"
#include "view/MapUnits.h"

using namespace platform;

namespace {

const uint32_t c_idsObjectTitle = 2883;
const uint32_t c_idsType = 2884;
const uint32_t c_idsName = 2885;
const uint32_t c_idsAddress = 2886;
const uint32_t c_idsCity = 2887;
const uint32_t c_idsZip = 2888;
const uint32_t c_idsCoordinates = 2889;
const uint32_t c_idsFile = 2890;
const uint32_t c_idsAtlasColumn = 2166;
const uint32_t c_idsMapsColumn = 2167;
const uint32_t c_idsAtlasOpen = 2128;

void AppendLine(std::u16string& str, uint32_t idsLabel, const char16_t* pszValue) {
  if (!pszValue || !*pszValue) return;
  char16_t szLabel[64];
  LoadResString(idsLabel, szLabel, 64);
  str += szLabel;
  str += u" ";
  str += pszValue;
  str += u"\r\n";
}

INT_PTR CALLBACK ObjectInfoProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG: {
      char16_t szTitle[64];
      LoadResString(c_idsObjectTitle, szTitle, 64);
      ::SetWindowTextW(hDlg, W(szTitle));
      ::SetDlgItemTextW(hDlg, IDC_OBJECT_TEXT, W(reinterpret_cast<const char16_t*>(lParam)));
      ::SetFocus(::GetDlgItem(hDlg, IDOK));  // the text is read, not edited
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// --- Map collections ---------------------------------------------------------

struct CollectionsState {
  std::vector<MapCollection> collections;
  std::u16string strChosen;
};

void FillCollectionList(HWND hDlg, CollectionsState& state) {
  HWND hList = ::GetDlgItem(hDlg, IDC_COLLECTION_LIST);
  ListView_DeleteAllItems(hList);
  state.collections = ListMapCollections();
  for (size_t i = 0; i < state.collections.size(); ++i) {
    const MapCollection& c = state.collections[i];
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = int(i);
    item.pszText = const_cast<wchar_t*>(W(c.strName.c_str()));
    int iRow = int(::SendMessageW(hList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    char16_t szMaps[16];
    Format(szMaps, 16, u"%u", unsigned(c.cMaps));
    LVITEMW sub = {};
    sub.iSubItem = 1;
    sub.pszText = const_cast<wchar_t*>(W(szMaps));
    ::SendMessageW(hList, LVM_SETITEMTEXTW, WPARAM(iRow), reinterpret_cast<LPARAM>(&sub));
  }
  if (!state.collections.empty()) ListView_SetItemState(hList, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

int SelectedCollection(HWND hDlg, const CollectionsState& state) {
  int i = ListView_GetNextItem(::GetDlgItem(hDlg, IDC_COLLECTION_LIST), -1, LVNI_SELECTED);
  return i >= 0 && size_t(i) < state.collections.size() ? i : -1;
}

void UpdateCollectionButtons(HWND hDlg, const CollectionsState& state) {
  bool fSelected = SelectedCollection(hDlg, state) >= 0;
  ::EnableWindow(::GetDlgItem(hDlg, IDC_COLLECTION_ADD), TRUE);
  ::EnableWindow(::GetDlgItem(hDlg, IDC_COLLECTION_REBUILD), fSelected);
  ::EnableWindow(::GetDlgItem(hDlg, IDC_COLLECTION_DELETE), fSelected);
  ::EnableWindow(::GetDlgItem(hDlg, IDOK), fSelected);
}

void AddColumn(HWND hList, int iColumn, uint32_t idsText, int cx) {
  char16_t sz[64];
  LoadResString(idsText, sz, 64);
  LVCOLUMNW col = {};
  col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  col.pszText = const_cast<wchar_t*>(W(sz));
  col.cx = cx;
  col.iSubItem = iColumn;
  ::SendMessageW(hList, LVM_INSERTCOLUMNW, WPARAM(iColumn), reinterpret_cast<LPARAM>(&col));
}

void DeleteSelectedCollection(HWND hDlg, CollectionsState& state) {
  int i = SelectedCollection(hDlg, state);
  if (i < 0) return;
  const MapCollection& c = state.collections[size_t(i)];
  if (IsOpenMapCollection(c.strPath.c_str())) {
    char16_t sz[256];
    LoadResString(c_idsAtlasOpen, sz, 256);
    if (ShellMessageBox(sz, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    CloseCurrentMap();
  }
  DeleteMapCollection(c.strName);
  FillCollectionList(hDlg, state);
  UpdateCollectionButtons(hDlg, state);
}

// --- Building a collection index ---------------------------------------------

// The build reports to its progress window (the shared progress window).
void SetIndexProgressTitle(void* pWindow, uint32_t idsTitle) { static_cast<CProgressWindow*>(pWindow)->SetText(idsTitle); }

void SetIndexProgressPos(void* pWindow, int32_t nPos) { static_cast<CProgressWindow*>(pWindow)->SetPos(nPos); }

// Builds the folder's index with the progress window over hOwner. The open
// collection is closed first when it is this one (the index file is in
// use while it is open). Returns the build's result.
int32_t BuildIndexWithProgress(HWND hOwner, const std::u16string& strFolder) {
  const std::u16string strIndex = CollectionIndexPath(strFolder.c_str());
  if (IsOpenMapCollection(strFolder.c_str()) && FileExists(strIndex.c_str())) {
    char16_t sz[256];
    LoadResString(c_idsIndexOpenWillClose, sz, 256);
    ShellMessageBox(sz, MB_OK | MB_ICONINFORMATION);
    CloseCurrentMap();
  }
  CProgressWindow progress;
  progress.Open(hOwner, 0, 100);
  VidxBuildHost host{progress.CancelFlag(), SetIndexProgressPos, SetIndexProgressTitle, &progress};
  const int32_t nResult = BuildCollectionIndex(strFolder.c_str(), host);
  progress.Close();
  ::SetActiveWindow(hOwner);
  return nResult;
}

void SelectCollectionNamed(HWND hDlg, const CollectionsState& state, const std::u16string& strName) {
  HWND hList = ::GetDlgItem(hDlg, IDC_COLLECTION_LIST);
  for (size_t i = 0; i < state.collections.size(); ++i)
    if (StrCmpI(state.collections[i].strName.c_str(), strName.c_str()) == 0) {
      ListView_SetItemState(hList, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
      ListView_SetItemState(hList, int(i), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      ListView_EnsureVisible(hList, int(i), FALSE);
    }
}

// The folder the chooser starts in: the open collection's, or the folder of
// the open map file.
std::u16string StartFolder() {
  char16_t sz[1024];
  GetSettingString(setting::MapFileName, sz);
  std::u16string str = sz;
  if (str.empty() || GetSettingBool(setting::MapIsAtlas)) return str;
  size_t i = str.find_last_of(u"\\/");
  return i == std::u16string::npos ? std::u16string() : str.substr(0, i);
}

int CALLBACK BrowseCallback(HWND hWnd, UINT uMsg, LPARAM, LPARAM lpData) {
  if (uMsg == BFFM_INITIALIZED && lpData) ::SendMessageW(hWnd, BFFM_SETSELECTIONW, TRUE, lpData);
  return 0;
}

// Add: a folder from the folder chooser, its index built, and the
// collection registered under the folder's name when it holds maps. (A
// cancelled build registers nothing.)
void AddCollection(HWND hDlg, CollectionsState& state) {
  const HRESULT hrOle = ::OleInitialize(nullptr);
  const std::u16string strStart = StartFolder();
  BROWSEINFOW bi = {};
  bi.hwndOwner = hDlg;
  bi.ulFlags = 0x49;  // file system folders only, with an edit box, new style
  bi.lpfn = BrowseCallback;
  bi.lParam = strStart.empty() ? 0 : reinterpret_cast<LPARAM>(W(strStart.c_str()));
  PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&bi);
  wchar_t szFolder[MAX_PATH] = L"";
  bool fChosen = pidl && ::SHGetPathFromIDListW(pidl, szFolder) && szFolder[0];
  if (pidl) ::CoTaskMemFree(pidl);
  if (SUCCEEDED(hrOle)) ::OleUninitialize();
  if (!fChosen) return;
  const std::u16string strFolder = U(szFolder);
  const int32_t cMaps = BuildIndexWithProgress(hDlg, strFolder);
  if (cMaps <= 0) return;
  AddMapCollection(strFolder, uint32_t(cMaps));
  FillCollectionList(hDlg, state);
  SelectCollectionNamed(hDlg, state, CollectionNameOf(strFolder));
  UpdateCollectionButtons(hDlg, state);
}

// Re-index: the selected collection's index built again; a cancelled or
// failed build keeps the previous index and its count.
void RebuildSelectedCollection(HWND hDlg, CollectionsState& state) {
  int i = SelectedCollection(hDlg, state);
  if (i < 0) return;
  const MapCollection c = state.collections[size_t(i)];
  const int32_t cMaps = BuildIndexWithProgress(hDlg, c.strPath);
  if (cMaps <= 0) return;
  SetMapCollectionCount(c.strName, uint32_t(cMaps));
  FillCollectionList(hDlg, state);
  SelectCollectionNamed(hDlg, state, c.strName);
  UpdateCollectionButtons(hDlg, state);
}

INT_PTR CALLBACK CollectionsProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CollectionsState* pState = reinterpret_cast<CollectionsState*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
  switch (uMsg) {
    case WM_INITDIALOG: {
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      pState = reinterpret_cast<CollectionsState*>(lParam);
      HWND hList = ::GetDlgItem(hDlg, IDC_COLLECTION_LIST);
      ListView_SetExtendedListViewStyle(hList, LVS_EX_FULLROWSELECT);
      RECT rc;
      ::GetClientRect(hList, &rc);
      int cxMaps = ScaleX(40);
      AddColumn(hList, 0, c_idsAtlasColumn, rc.right - cxMaps - ::GetSystemMetrics(SM_CXVSCROLL));
      AddColumn(hList, 1, c_idsMapsColumn, cxMaps);
      FillCollectionList(hDlg, *pState);
      UpdateCollectionButtons(hDlg, *pState);
      return TRUE;
    }
    case WM_NOTIFY: {
      const NMHDR* pHdr = reinterpret_cast<const NMHDR*>(lParam);
      if (pState && pHdr->idFrom == IDC_COLLECTION_LIST) {
        if (pHdr->code == LVN_ITEMCHANGED) UpdateCollectionButtons(hDlg, *pState);
        if (pHdr->code == NM_DBLCLK && SelectedCollection(hDlg, *pState) >= 0)
          ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
      }
      break;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_COLLECTION_DELETE:
          DeleteSelectedCollection(hDlg, *pState);
          return TRUE;
        case IDC_COLLECTION_ADD:
          AddCollection(hDlg, *pState);
          return TRUE;
        case IDC_COLLECTION_REBUILD:
          RebuildSelectedCollection(hDlg, *pState);
          return TRUE;
        case IDOK: {
          int i = SelectedCollection(hDlg, *pState);
          if (i < 0) return TRUE;
          pState->strChosen = pState->collections[size_t(i)].strPath;
          ::EndDialog(hDlg, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          ::EndDialog(hDlg, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

std::u16string DescribeMapObject(const FoundObject& obj) {
  std::u16string str;
  AppendLine(str, c_idsName, obj.szName);
  char16_t sz[128];
  Format(sz, 128, u"%d 0x%04x", int(obj.nKind), unsigned(obj.wType));
  AppendLine(str, c_idsType, sz);
  AppendLine(str, c_idsCity, obj.szCity);
  std::u16string strAddress = obj.szStreet;
  if (obj.szNumber[0]) {
    if (!strAddress.empty()) strAddress += u", ";
    strAddress += obj.szNumber;
  }
  AppendLine(str, c_idsAddress, strAddress.c_str());
  AppendLine(str, c_idsZip, obj.szZip);
  FormatPosition(MapToDegrees(obj.yRepr), MapToDegrees(obj.xRepr), sz, 128);
  AppendLine(str, c_idsCoordinates, sz);
  AppendLine(str, c_idsFile, obj.szMapFile);
  return str;
}

void ShowObjectInfo(HWND hOwner, const FoundObject& obj) {
  std::u16string str = DescribeMapObject(obj);
  ResDialogBox(IDD_OBJECT_INFO, hOwner, ObjectInfoProc, reinterpret_cast<LPARAM>(str.c_str()));
}

void ShowMapCollectionsDialog(HWND hOwner) {
  CollectionsState state;
  if (ResDialogBox(IDD_MAP_COLLECTIONS, hOwner, CollectionsProc, reinterpret_cast<LPARAM>(&state)) != IDOK) return;
  if (state.strChosen.empty()) return;
  OpenMapFromPath(state.strChosen.c_str(), true);
  RefreshAllPages(true);
}
