// The shell's waypoint commands: saving a waypoint at the map centre (or at
// a point of the map) through the new-waypoint dialog, and writing the store.
#include "app/Commands.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/Waypoints.h"
#include "app/settings/SettingsTable.h"
#include "gps/Positioning.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "store/WaypointStore.h"

using namespace platform;

namespace {

struct NewWaypointData {
  std::u16string strName;
};

INT_PTR CALLBACK NewWaypointProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG: {
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      NewWaypointData* pData = reinterpret_cast<NewWaypointData*>(lParam);
      ::SetDlgItemTextW(hDlg, c_idcWaypointName, W(pData->strName.c_str()));
      ::SendDlgItemMessageW(hDlg, c_idcWaypointName, EM_SETSEL, 0, -1);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        NewWaypointData* pData = reinterpret_cast<NewWaypointData*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
        wchar_t sz[256];
        ::GetDlgItemTextW(hDlg, c_idcWaypointName, sz, 256);
        pData->strName = U(sz);
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

}  // namespace

std::u16string WaypointStorePath() { return JoinPath(GetProgramFolder(), u"Waypoints.bin"); }

bool SaveWaypointStore() { return g_waypointStore.SaveFile(WaypointStorePath().c_str()); }

bool NewWaypointAt(double dLon, double dLat) {
  GpsFix fix = GetFix();
  NewWaypointData data;
  data.strName = g_waypointStore.MakeWaypointName();
  if (ResDialogBox(c_iddNewWaypoint, g_hWnd, NewWaypointProc, reinterpret_cast<LPARAM>(&data)) != IDOK) return false;
  double dTime = fix.Has(gfTime) ? fix.time : 0;
  if (dTime == 0) {
    CSystemTime st;
    GetSystemTimeUtc(st);
    dTime = SystemTimeToDays(st);
  }
  bool fAltitude = fix.Has(gfAltitude);
  g_waypointStore.NewWaypoint(dLon, dLat, dTime, fAltitude ? fix.altitude : 0.0f, fAltitude,
                              data.strName.empty() ? nullptr : data.strName.c_str());
  SetBool(setting::ShowWaypoints.pszName, true);
  if (!SaveWaypointStore()) {
    char16_t sz[520];
    Format(sz, 520, u"%s", WaypointStorePath().c_str());
    ShellMessageBox(sz, MB_OK | MB_ICONERROR);
  }
  return true;
}
