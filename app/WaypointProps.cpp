// Waypoint properties and the new-waypoint dialog: name, description,
// symbol, show mode, coordinates, altitude and proximity distance.
#include <cmath>
#include <cwchar>

#include "app/Shell.h"
#include "app/StoreDialogParts.h"
#include "app/StoreDialogs.h"
#include "app/Waypoints.h"
#include "res/Res.h"
#include "app/res/store_ids.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "geo/Units.h"
#include "gps/Positioning.h"
#include "platform/Str.h"
#include "store/RecordLists.h"
#include "store/WaypointStore.h"

using namespace platform;

namespace {

struct WaypointFields {
  Waypoint* pWaypoint;     // the waypoint edited (for a new one: a record not in the store)
  uint32_t idsTitle;
  unsigned nSymbol;
  // The coordinates and altitude as first shown (in the user's position
  // format and elevation unit): unchanged text keeps the exact value.
  std::u16string strLat;
  std::u16string strLon;
  std::u16string strAltitude;
};

bool AltitudeInFeet() { return g_UnitOptions.dwElevationUnit == unFeet; }

std::u16string GetText(HWND hDlg, int id) {
  wchar_t sz[512];
  ::GetDlgItemTextW(hDlg, id, sz, 512);
  std::u16string str = U(sz);
  size_t i = str.find_first_not_of(u' ');
  size_t j = str.find_last_not_of(u' ');
  return i == std::u16string::npos ? std::u16string() : str.substr(i, j - i + 1);
}

// A decimal number using either '.' or ',' as the separator.
bool ParseNumber(std::u16string str, double& d) {
  for (char16_t& ch : str)
    if (ch == u',') ch = u'.';
  if (str.empty()) return false;
  std::wstring w(str.begin(), str.end());
  wchar_t* pEnd = nullptr;
  d = std::wcstod(w.c_str(), &pEnd);
  return pEnd && *pEnd == 0 && std::isfinite(d);
}

bool IsNoValue(const std::u16string& str) { return str.empty() || str == u"-"; }

void ShowSymbol(HWND hDlg, WaypointFields* p) {
  ::SetDlgItemTextW(hDlg, IDC_WP_SYMBOL_NAME, W(GetSymbolName(p->nSymbol).c_str()));
  ::InvalidateRect(::GetDlgItem(hDlg, IDC_WP_SYMBOL), nullptr, TRUE);
}

void OnInit(HWND hDlg, WaypointFields* p) {
  const Waypoint& wp = *p->pWaypoint;
  char16_t sz[128];
  ::SetWindowTextW(hDlg, W(LoadResString(p->idsTitle, sz, 128)));
  ::SetDlgItemTextW(hDlg, IDC_WP_NAME, W(wp.strName.c_str()));
  ::SetDlgItemTextW(hDlg, IDC_WP_COMMENT, W(wp.strDescription.c_str()));
  ShowSymbol(hDlg, p);
  HWND hShow = ::GetDlgItem(hDlg, IDC_WP_SHOW);
  for (uint32_t i = 0; i < 3; ++i)
    ::SendMessageW(hShow, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadResString(c_idsFirstShowMode + i, sz, 128)));
  ::SendMessageW(hShow, CB_SETCURSEL, wp.GetShow() < 3 ? wp.GetShow() : WPARAM(-1), 0);
  FormatLatitude(StoredToDegrees(wp.y), sz, 128);
  ::SetDlgItemTextW(hDlg, IDC_WP_LAT, W(sz));
  p->strLat = GetText(hDlg, IDC_WP_LAT);
  FormatLongitude(StoredToDegrees(wp.x), sz, 128);
  ::SetDlgItemTextW(hDlg, IDC_WP_LON, W(sz));
  p->strLon = GetText(hDlg, IDC_WP_LON);
  const bool fFeet = AltitudeInFeet();
  FormatResString(sz, 128, c_idsAltitudeLabel, GetUnitName(fFeet ? c_idsUnitFeet : c_idsUnitMeters));
  ::SetDlgItemTextW(hDlg, IDC_WP_ALTITUDE_LABEL, W(sz));
  if (wp.HasAltitude()) Format(sz, 128, u"%.1f", double(wp.fAltitude) * (fFeet ? c_fFeetPerMetre : 1.0));
  else LoadResString(c_idsNoValue, sz, 128);
  ::SetDlgItemTextW(hDlg, IDC_WP_ALTITUDE, W(sz));
  p->strAltitude = GetText(hDlg, IDC_WP_ALTITUDE);
  if (wp.fProximity > 0) Format(sz, 128, u"%.0f", double(wp.fProximity));
  else LoadResString(c_idsNoValue, sz, 128);
  ::SetDlgItemTextW(hDlg, IDC_WP_PROXIMITY, W(sz));
  HWND hName = ::GetDlgItem(hDlg, IDC_WP_NAME);
  ::SetFocus(hName);
  ::SendMessageW(hName, EM_SETSEL, 0, -1);
}

bool Refuse(HWND hDlg, int id) {
  char16_t sz[256];
  StoreMessageBox(hDlg, LoadResString(c_idsBadValue, sz, 256), MB_OK | MB_ICONEXCLAMATION);
  HWND hEdit = ::GetDlgItem(hDlg, id);
  ::SetFocus(hEdit);
  ::SendMessageW(hEdit, EM_SETSEL, 0, -1);
  return false;
}

// Checks every field, then stores them all (nothing is stored when one is
// not valid).
bool OnOk(HWND hDlg, WaypointFields* p) {
  Waypoint& wp = *p->pWaypoint;
  std::u16string strLat = GetText(hDlg, IDC_WP_LAT), strLon = GetText(hDlg, IDC_WP_LON);
  double dLat = StoredToDegrees(wp.y), dLon = StoredToDegrees(wp.x);
  bool fMoved = strLat != p->strLat || strLon != p->strLon;
  if (fMoved) {
    if (!ParseCoordinate(strLat.c_str(), true, &dLat)) return Refuse(hDlg, IDC_WP_LAT);
    if (!ParseCoordinate(strLon.c_str(), false, &dLon)) return Refuse(hDlg, IDC_WP_LON);
  }
  std::u16string strAltitude = GetText(hDlg, IDC_WP_ALTITUDE);
  const bool fAltitudeChanged = strAltitude != p->strAltitude;
  double dAltitude = 0;
  bool fAltitude = !IsNoValue(strAltitude);
  if (fAltitudeChanged && fAltitude) {
    if (!ParseNumber(strAltitude, dAltitude) || std::fabs(dAltitude) > 1e6) return Refuse(hDlg, IDC_WP_ALTITUDE);
    if (AltitudeInFeet()) dAltitude /= c_fFeetPerMetre;
  }
  std::u16string strProximity = GetText(hDlg, IDC_WP_PROXIMITY);
  double dProximity = 0;
  if (!IsNoValue(strProximity) && (!ParseNumber(strProximity, dProximity) || dProximity < 0 || dProximity > 1e8))
    return Refuse(hDlg, IDC_WP_PROXIMITY);

  wp.strName = GetText(hDlg, IDC_WP_NAME);
  wchar_t szComment[1024];
  ::GetDlgItemTextW(hDlg, IDC_WP_COMMENT, szComment, 1024);
  wp.strDescription = U(szComment);
  wp.SetType(p->nSymbol < 0x4000 ? p->nSymbol : c_nDefaultSymbol);
  LRESULT iShow = ::SendDlgItemMessageW(hDlg, IDC_WP_SHOW, CB_GETCURSEL, 0, 0);
  if (iShow >= 0 && iShow < 3) wp.SetShow(unsigned(iShow));
  if (fMoved) {
    wp.x = DegreesToStored(dLon);
    wp.y = DegreesToStored(dLat);
  }
  if (fAltitudeChanged && fAltitude) {
    wp.dwFlags &= ~uint32_t(wfNoAltitude);
    wp.fAltitude = float(dAltitude);
  } else if (fAltitudeChanged) {
    wp.dwFlags |= wfNoAltitude;
    wp.fAltitude = 0;
  }
  wp.fProximity = float(dProximity);
  return true;
}

INT_PTR CALLBACK WaypointPropsProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  WaypointFields* p = reinterpret_cast<WaypointFields*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
  switch (uMsg) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      OnInit(hDlg, reinterpret_cast<WaypointFields*>(lParam));
      return FALSE;
    case WM_DRAWITEM: {
      DRAWITEMSTRUCT* pDraw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (!p || pDraw->CtlID != IDC_WP_SYMBOL) break;
      RECT rc = pDraw->rcItem;
      ::DrawFrameControl(pDraw->hDC, &rc, DFC_BUTTON,
                         DFCS_BUTTONPUSH | ((pDraw->itemState & ODS_SELECTED) ? DFCS_PUSHED : 0));
      DrawSymbol(pDraw->hDC, pDraw->rcItem, p->nSymbol);
      if (pDraw->itemState & ODS_FOCUS) {
        ::InflateRect(&rc, -3, -3);
        ::DrawFocusRect(pDraw->hDC, &rc);
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (!p) break;
      switch (LOWORD(wParam)) {
        case IDC_WP_SYMBOL:
          if (ChooseSymbol(hDlg, p->nSymbol)) ShowSymbol(hDlg, p);
          return TRUE;
        case IDOK:
          if (OnOk(hDlg, p)) ::EndDialog(hDlg, IDOK);
          return TRUE;
        case IDCANCEL:
          ::EndDialog(hDlg, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

bool EditWaypoint(HWND hOwner, Waypoint& wp, uint32_t idsTitle) {
  WaypointFields fields{&wp, idsTitle, wp.GetType(), {}, {}};
  return ResDialogBox(IDD_WAYPOINT_PROPS, hOwner ? hOwner : g_hWnd, WaypointPropsProc,
                      reinterpret_cast<LPARAM>(&fields)) == IDOK;
}

}  // namespace

bool ShowWaypointProperties(HWND hOwner, Waypoint* pWaypoint) {
  if (!pWaypoint) return false;
  // The dialog works on a copy, so Cancel leaves the waypoint untouched.
  Waypoint copy = *pWaypoint;
  copy.pNext = nullptr;
  if (!EditWaypoint(hOwner, copy, c_idsWaypointPropsTitle)) return false;
  static_cast<store::detail::WaypointRecord&>(*pWaypoint) = copy;
  pWaypoint->strName = copy.strName;
  pWaypoint->strDescription = copy.strDescription;
  return true;
}

bool NewWaypointDialog(HWND hOwner, double dLon, double dLat) {
  GpsFix fix = GetFix();
  double dTime = fix.Has(gfTime) && fix.time != 0 ? fix.time : NowDays();
  bool fAltitude = fix.Has(gfAltitude);
  // What the store gives a new waypoint, shown before it is made.
  Waypoint wp;
  wp.x = DegreesToStored(dLon);
  wp.y = DegreesToStored(dLat);
  wp.SetType(c_nDefaultSymbol);
  wp.SetShow(wsIconAndName);
  wp.fAltitude = fAltitude ? fix.altitude : 0.0f;
  if (!fAltitude) wp.dwFlags |= wfNoAltitude;
  wp.strName = g_waypointStore.MakeWaypointName();
  if (!EditWaypoint(hOwner, wp, c_idsNewWaypointTitle)) return false;
  Waypoint* pNew = g_waypointStore.NewWaypoint(StoredToDegrees(wp.x), StoredToDegrees(wp.y), dTime, wp.fAltitude,
                                               wp.HasAltitude(), wp.strName.empty() ? nullptr : wp.strName.c_str());
  // The exact coordinates shown (the degrees' way back may differ in the last bit).
  pNew->x = wp.x;
  pNew->y = wp.y;
  pNew->strDescription = wp.strDescription;
  pNew->SetType(wp.GetType());
  pNew->SetShow(wp.GetShow());
  pNew->fProximity = wp.fProximity;
  SetBool(setting::ShowWaypoints.pszName, true);
  SaveStoreAndRefresh(hOwner);
  return true;
}
