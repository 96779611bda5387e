// The route editor (name, description, colour and the route's points) and
// the waypoint picker it inserts points from.
#include <vector>

#include "app/RouteCommands.h"
#include "app/Shell.h"
#include "app/StoreDialogParts.h"
#include "app/StoreDialogs.h"
#include "res/Res.h"
#include "app/res/store_ids.h"
#include "platform/Str.h"
#include "store/WaypointStore.h"

using namespace platform;

namespace {

struct EditorData {
  Route* pRoute;
  std::vector<RoutePoint> points;  // as the editor found them: Cancel puts them back
  COLORREF crColor;
  COLORREF acrCustom[16];
};

bool IsLocked(const EditorData* p) { return p->pRoute == g_waypointStore.ActiveRoute(); }

std::u16string PointText(const RoutePoint& rp) {
  if (rp.pWaypoint && !rp.pWaypoint->strName.empty()) return rp.pWaypoint->strName;
  char16_t sz[64];
  Format(sz, 64, u"%.6f, %.6f", StoredToDegrees(rp.GetY()), StoredToDegrees(rp.GetX()));
  return sz;
}

int SelectedPoint(HWND hDlg) { return int(::SendDlgItemMessageW(hDlg, IDC_RTE_POINTS, LB_GETCURSEL, 0, 0)); }

void UpdateButtons(HWND hDlg, EditorData* p) {
  int i = SelectedPoint(hDlg);
  int c = int(p->pRoute->points.size());
  bool fEdit = !IsLocked(p);
  ::EnableWindow(::GetDlgItem(hDlg, IDC_RTE_INSERT), fEdit);
  ::EnableWindow(::GetDlgItem(hDlg, IDC_RTE_DELETE), fEdit && i >= 0);
  ::EnableWindow(::GetDlgItem(hDlg, IDC_RTE_UP), fEdit && i > 0);
  ::EnableWindow(::GetDlgItem(hDlg, IDC_RTE_DOWN), fEdit && i >= 0 && i + 1 < c);
  ::EnableWindow(::GetDlgItem(hDlg, IDC_RTE_REVERSE), fEdit && c > 1);
  ::EnableWindow(::GetDlgItem(hDlg, IDC_RTE_CALCULATE), fEdit && c > 0);
}

void FillPoints(HWND hDlg, EditorData* p, int iSelect) {
  HWND hList = ::GetDlgItem(hDlg, IDC_RTE_POINTS);
  ::SendMessageW(hList, LB_RESETCONTENT, 0, 0);
  for (const RoutePoint& rp : p->pRoute->points)
    ::SendMessageW(hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(PointText(rp).c_str())));
  int c = int(p->pRoute->points.size());
  if (iSelect >= c) iSelect = c - 1;
  ::SendMessageW(hList, LB_SETCURSEL, WPARAM(iSelect), 0);
  UpdateButtons(hDlg, p);
}

// Puts the points back as they were when the editor opened.
void RestorePoints(EditorData* p) {
  for (RoutePoint& rp : p->pRoute->points)
    if (rp.pWaypoint) rp.pWaypoint->Release();
  p->pRoute->points = p->points;
  for (RoutePoint& rp : p->pRoute->points)
    if (rp.pWaypoint) rp.pWaypoint->AddRef();
  RecomputeRoute(*p->pRoute);
}

void OnPointCommand(HWND hDlg, EditorData* p, UINT id) {
  if (IsLocked(p)) return;
  Route* pRoute = p->pRoute;
  int i = SelectedPoint(hDlg);
  switch (id) {
    case IDC_RTE_INSERT: {
      Waypoint* pWaypoint = nullptr;
      if (!PickWaypoint(hDlg, pWaypoint)) return;
      // After the selected point, at the end without a selection.
      int iAfter = i >= 0 ? i : int(pRoute->points.size()) - 1;
      if (g_waypointStore.InsertWaypoint(pRoute, iAfter, pWaypoint)) FillPoints(hDlg, p, iAfter + 1);
      return;
    }
    case IDC_RTE_DELETE:
      if (i >= 0 && g_waypointStore.DeletePoint(pRoute, size_t(i))) FillPoints(hDlg, p, i);
      return;
    case IDC_RTE_UP:
      if (i > 0 && g_waypointStore.MovePointUp(pRoute, size_t(i))) FillPoints(hDlg, p, i - 1);
      return;
    case IDC_RTE_DOWN:
      if (i >= 0 && g_waypointStore.MovePointDown(pRoute, size_t(i))) FillPoints(hDlg, p, i + 1);
      return;
    case IDC_RTE_REVERSE:
      if (g_waypointStore.ReverseRoute(pRoute)) FillPoints(hDlg, p, i >= 0 ? int(pRoute->points.size()) - 1 - i : -1);
      return;
    case IDC_RTE_CALCULATE:
      // Cancel of the editor still brings back the points it found.
      if (CalculateRouteNow(*pRoute)) FillPoints(hDlg, p, 0);
      return;
  }
}

std::u16string GetText(HWND hDlg, int id) {
  wchar_t sz[1024];
  ::GetDlgItemTextW(hDlg, id, sz, 1024);
  return U(sz);
}

INT_PTR CALLBACK EditorProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  EditorData* p = reinterpret_cast<EditorData*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
  switch (uMsg) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      p = reinterpret_cast<EditorData*>(lParam);
      ::SetDlgItemTextW(hDlg, IDC_RTE_NAME, W(p->pRoute->strName.c_str()));
      ::SetDlgItemTextW(hDlg, IDC_RTE_TEXT, W(p->pRoute->strText2.c_str()));
      FillPoints(hDlg, p, p->pRoute->points.empty() ? -1 : 0);
      ::SetFocus(::GetDlgItem(hDlg, IDC_RTE_NAME));
      ::SendDlgItemMessageW(hDlg, IDC_RTE_NAME, EM_SETSEL, 0, -1);
      return FALSE;
    case WM_DRAWITEM: {
      DRAWITEMSTRUCT* pDraw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (!p || pDraw->CtlID != IDC_RTE_COLOR) break;
      RECT rc = pDraw->rcItem;
      ::DrawFrameControl(pDraw->hDC, &rc, DFC_BUTTON,
                         DFCS_BUTTONPUSH | ((pDraw->itemState & ODS_SELECTED) ? DFCS_PUSHED : 0));
      ::InflateRect(&rc, -4, -4);
      HBRUSH hbr = ::CreateSolidBrush(p->crColor);
      ::FillRect(pDraw->hDC, &rc, hbr);
      ::DeleteObject(hbr);
      ::FrameRect(pDraw->hDC, &rc, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
      if (pDraw->itemState & ODS_FOCUS) {
        ::InflateRect(&rc, 2, 2);
        ::DrawFocusRect(pDraw->hDC, &rc);
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (!p) break;
      switch (LOWORD(wParam)) {
        case IDC_RTE_POINTS:
          if (HIWORD(wParam) == LBN_SELCHANGE) UpdateButtons(hDlg, p);
          return TRUE;
        case IDC_RTE_COLOR: {
          CHOOSECOLORW cc = {};
          cc.lStructSize = sizeof cc;
          cc.hwndOwner = hDlg;
          cc.rgbResult = p->crColor;
          cc.lpCustColors = p->acrCustom;
          cc.Flags = CC_RGBINIT | CC_FULLOPEN;
          if (::ChooseColorW(&cc)) {
            p->crColor = cc.rgbResult;
            ::InvalidateRect(::GetDlgItem(hDlg, IDC_RTE_COLOR), nullptr, TRUE);
          }
          return TRUE;
        }
        case IDC_RTE_INSERT:
        case IDC_RTE_DELETE:
        case IDC_RTE_UP:
        case IDC_RTE_DOWN:
        case IDC_RTE_REVERSE:
        case IDC_RTE_CALCULATE:
          OnPointCommand(hDlg, p, LOWORD(wParam));
          return TRUE;
        case IDOK:
          g_waypointStore.SetRouteProperties(p->pRoute, NowDays(), GetText(hDlg, IDC_RTE_NAME),
                                             GetText(hDlg, IDC_RTE_TEXT), p->crColor);
          ::EndDialog(hDlg, IDOK);
          return TRUE;
        case IDCANCEL:
          if (!IsLocked(p)) RestorePoints(p);
          ::EndDialog(hDlg, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK PickProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG: {
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      HWND hList = ::GetDlgItem(hDlg, IDC_PICK_LIST);
      for (Waypoint* p = g_waypointStore.FirstWaypoint(); p; p = p->pNext) {
        if (p->IsDeleted()) continue;
        LRESULT i = ::SendMessageW(hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(p->strName.c_str())));
        if (i >= 0) ::SendMessageW(hList, LB_SETITEMDATA, WPARAM(i), reinterpret_cast<LPARAM>(p));
      }
      ::SendMessageW(hList, LB_SETCURSEL, 0, 0);
      ::EnableWindow(::GetDlgItem(hDlg, IDOK), ::SendMessageW(hList, LB_GETCOUNT, 0, 0) > 0);
      ::SetFocus(hList);
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_PICK_LIST:
          if (HIWORD(wParam) != LBN_DBLCLK) return TRUE;
          [[fallthrough]];
        case IDOK: {
          LRESULT i = ::SendDlgItemMessageW(hDlg, IDC_PICK_LIST, LB_GETCURSEL, 0, 0);
          if (i < 0) return TRUE;
          Waypoint** pp = reinterpret_cast<Waypoint**>(::GetWindowLongPtrW(hDlg, DWLP_USER));
          *pp = reinterpret_cast<Waypoint*>(::SendDlgItemMessageW(hDlg, IDC_PICK_LIST, LB_GETITEMDATA, WPARAM(i), 0));
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

bool PickWaypoint(HWND hOwner, Waypoint*& pWaypoint) {
  Waypoint* p = nullptr;
  if (ResDialogBox(IDD_PICK_WAYPOINT, hOwner, PickProc, reinterpret_cast<LPARAM>(&p)) != IDOK || !p) return false;
  pWaypoint = p;
  return true;
}

bool ShowRouteProperties(HWND hOwner, Route* pRoute) {
  if (!pRoute) return false;
  EditorData data{pRoute, pRoute->points, pRoute->crColor & 0xFFFFFF, {}};
  for (COLORREF& cr : data.acrCustom) cr = RGB(255, 255, 255);
  return ResDialogBox(IDD_ROUTE_EDITOR, hOwner ? hOwner : g_hWnd, EditorProc, reinterpret_cast<LPARAM>(&data)) ==
         IDOK;
}
