// The sounds page of the options: every sound of the voice with its
// description and file, a check box per sound bound to its "PlaySound_"
// setting, and the play and stop buttons (a double click or Enter on a row
// plays it too). Rows whose file is missing are drawn in red.
#include <string>

#include "app/NavigationGlue.h"
#include "app/OptionsDialog.h"
#include "app/res/sound_ids.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "res/Res.h"
#include "settings/Settings.h"
#include "sound/SoundPlayer.h"
#include "sound/SoundTable.h"

#include <mmsystem.h>

using namespace platform;

namespace {

const COLORREF c_crMissing = RGB(255, 0, 0);
const UINT_PTR c_idListSubclass = 1;

// Whether each row's file was missing when the page was filled.
bool s_afMissing[c_cSoundTable];

std::u16string SettingName(const char* pszSound) { return u"PlaySound_" + Utf8ToU16(pszSound); }

// The list wants Enter for itself, so that Enter plays the row instead of
// pressing the sheet's default button.
LRESULT CALLBACK ListProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (uMsg == WM_GETDLGCODE && lParam) {
    const MSG* pMsg = reinterpret_cast<const MSG*>(lParam);
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN) return DLGC_WANTALLKEYS;
  }
  if (uMsg == WM_NCDESTROY) ::RemoveWindowSubclass(hWnd, ListProc, c_idListSubclass);
  return ::DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

void AddColumn(HWND hList, int iColumn, uint32_t idsTitle, int cx) {
  char16_t sz[64];
  LVCOLUMNW col = {};
  col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  col.pszText = const_cast<wchar_t*>(W(LoadResString(idsTitle, sz, 64)));
  col.cx = cx;
  col.iSubItem = iColumn;
  ::SendMessageW(hList, LVM_INSERTCOLUMNW, WPARAM(iColumn), reinterpret_cast<LPARAM>(&col));
}

void FillList(HWND hDlg) {
  HWND hList = ::GetDlgItem(hDlg, IDC_OPT_SOUNDS);
  ::SendMessageW(hList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  RECT rc;
  ::GetClientRect(hList, &rc);
  int cx = rc.right - ::GetSystemMetrics(SM_CXVSCROLL);
  AddColumn(hList, 0, c_idsSoundDescriptionColumn, cx * 11 / 20);
  AddColumn(hList, 1, c_idsSoundFileColumn, cx - cx * 11 / 20);
  for (size_t i = 0; i < c_cSoundTable; ++i) {
    char16_t szDescription[128];
    LoadResString(c_aSoundTable[i].idsDescription, szDescription, 128);
    std::u16string strPath = SoundFilePath(c_aSoundTable[i].pszName);
    s_afMissing[i] = !FileExists(strPath.c_str());
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = int(i);
    item.pszText = W(szDescription);
    int iItem = int(::SendMessageW(hList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    item.iItem = iItem;
    item.iSubItem = 1;
    item.pszText = W(const_cast<char16_t*>(strPath.c_str()));
    ::SendMessageW(hList, LVM_SETITEMTEXTW, WPARAM(iItem), reinterpret_cast<LPARAM>(&item));
    ListView_SetCheckState(hList, iItem, IsSoundSettingOn(c_aSoundTable[i].pszName) ? TRUE : FALSE);
  }
  ListView_SetItemState(hList, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ::SetWindowSubclass(hList, ListProc, c_idListSubclass, 0);
}

void PlayRow(int iRow) {
  if (iRow < 0 || size_t(iRow) >= c_cSoundTable) return;
  PlaySoundDirect(c_aSoundTable[iRow].pszName);
}

int SelectedRow(HWND hDlg) {
  return int(::SendDlgItemMessageW(hDlg, IDC_OPT_SOUNDS, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
}

void Apply(HWND hDlg) {
  HWND hList = ::GetDlgItem(hDlg, IDC_OPT_SOUNDS);
  for (size_t i = 0; i < c_cSoundTable; ++i)
    SetDword(SettingName(c_aSoundTable[i].pszName).c_str(), ListView_GetCheckState(hList, int(i)) ? 1 : 0);
}

// The list's notifications; true when the message was handled (the result
// in the page's DWLP_MSGRESULT).
bool OnListNotify(HWND hDlg, const NMHDR* pHdr) {
  switch (pHdr->code) {
    case NM_DBLCLK: {
      int iItem = reinterpret_cast<const NMITEMACTIVATE*>(pHdr)->iItem;
      PlayRow(iItem >= 0 ? iItem : SelectedRow(hDlg));
      return true;
    }
    case LVN_KEYDOWN:
      if (reinterpret_cast<const NMLVKEYDOWN*>(pHdr)->wVKey == VK_RETURN) PlayRow(SelectedRow(hDlg));
      return false;
    case NM_CUSTOMDRAW: {
      NMLVCUSTOMDRAW* pDraw = reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(pHdr));
      LONG_PTR nResult = CDRF_DODEFAULT;
      if (pDraw->nmcd.dwDrawStage == CDDS_PREPAINT) {
        nResult = CDRF_NOTIFYITEMDRAW;
      } else if (pDraw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        size_t i = size_t(pDraw->nmcd.dwItemSpec);
        if (i < c_cSoundTable && s_afMissing[i]) {
          pDraw->clrText = c_crMissing;
          nResult = CDRF_NEWFONT;
        }
      }
      SetPageResult(hDlg, nResult);
      return true;
    }
  }
  return false;
}

}  // namespace

void PlaySoundDirect(const char* pszName) {
  if (!IsSoundSettingOn(pszName)) return;
  std::u16string strPath = SoundFilePath(pszName);
  if (FileExists(strPath.c_str()))
    ::PlaySoundW(W(strPath.c_str()), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
  else
    ::PlaySoundW(L"Chime", nullptr, SND_ALIAS | SND_ASYNC);
}

INT_PTR CALLBACK SoundPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG: {
      char16_t sz[64];
      ::SetDlgItemTextW(hDlg, IDC_OPT_SOUND_PLAY, W(LoadResString(c_idsSoundPlay, sz, 64)));
      ::SetDlgItemTextW(hDlg, IDC_OPT_SOUND_STOP, W(LoadResString(c_idsSoundStop, sz, 64)));
      std::u16string strReason;
      if (GetSoundUnavailableReason(strReason)) {
        char16_t szState[512];
        FormatResString(szState, 512, c_idsSoundUnavailable, strReason.c_str());
        ::SetDlgItemTextW(hDlg, IDC_OPT_SOUND_STATE, W(szState));
      }
      FillList(hDlg);
      return TRUE;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) break;
      if (LOWORD(wParam) == IDC_OPT_SOUND_PLAY) {
        PlayRow(SelectedRow(hDlg));
        return TRUE;
      }
      if (LOWORD(wParam) == IDC_OPT_SOUND_STOP) {
        ::PlaySoundW(nullptr, nullptr, 0);
        return TRUE;
      }
      break;
    case WM_NOTIFY: {
      const NMHDR* pHdr = reinterpret_cast<const NMHDR*>(lParam);
      if (pHdr->idFrom == IDC_OPT_SOUNDS) return OnListNotify(hDlg, pHdr) ? TRUE : FALSE;
      if (pHdr->code == PSN_APPLY) {
        Apply(hDlg);
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
    }
  }
  return FALSE;
}
