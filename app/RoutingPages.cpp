// The routing pages of the options dialog: leaving the route and the lead
// of the maneuver prompts (page 6), how routes are calculated (page 7) and
// the roads to avoid.
#include "app/OptionsDialog.h"
#include "app/res/options_ids.h"
#include "platform/Str.h"
#include "res/Res.h"
#include "routing/RoutingSettings.h"

using namespace platform;

namespace {

struct ControlText {
  int idControl;
  uint32_t idsText;
};

void SetTexts(HWND hDlg, const ControlText* pTexts, size_t cTexts) {
  for (size_t i = 0; i < cTexts; ++i) {
    char16_t sz[128];
    ::SetDlgItemTextW(hDlg, pTexts[i].idControl, W(LoadResString(pTexts[i].idsText, sz, 128)));
  }
}

void AddListItem(HWND hList, uint32_t idsText) {
  char16_t sz[128];
  ::SendMessageW(hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(LoadResString(idsText, sz, 128))));
}

void InitSlider(HWND hDlg, int id, uint32_t nMax, uint32_t nPos) {
  ::SendDlgItemMessageW(hDlg, id, TBM_SETRANGE, FALSE, MAKELPARAM(0, nMax));
  ::SendDlgItemMessageW(hDlg, id, TBM_SETPOS, TRUE, LPARAM(nPos));
}

uint32_t SliderPos(HWND hDlg, int id, uint32_t nMax) {
  LRESULT n = ::SendDlgItemMessageW(hDlg, id, TBM_GETPOS, 0, 0);
  return n < 0 ? 0 : uint32_t(n) > nMax ? nMax : uint32_t(n);
}

bool IsApply(LPARAM lParam) { return reinterpret_cast<const NMHDR*>(lParam)->code == PSN_APPLY; }

// Page 6 -------------------------------------------------------------------

const ControlText c_aOffRouteTexts[] = {{IDC_OPT_OFF_ROUTE_LABEL, 2089},
                                        {IDC_OPT_AMN_LABEL, 2090},
                                        {IDC_OPT_AMN_EARLIER, 2091},
                                        {IDC_OPT_AMN_LATER, 2092}};

}  // namespace

INT_PTR CALLBACK OffRoutePageProc(HWND hDlg, UINT uMsg, WPARAM, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG: {
      SetTexts(hDlg, c_aOffRouteTexts, sizeof c_aOffRouteTexts / sizeof c_aOffRouteTexts[0]);
      RoutingSettings s = ReadRoutingSettings();
      HWND hList = ::GetDlgItem(hDlg, IDC_OPT_OFF_ROUTE);
      for (size_t i = 0; i < c_cOffRouteChoices; ++i) AddListItem(hList, c_aOffRouteChoices[i].idsText);
      ::SendMessageW(hList, LB_SETCURSEL, WPARAM(FindOffRouteChoice(s.dwOffRoute)), 0);
      InitSlider(hDlg, IDC_OPT_AMN, c_nMaxAnnouncementLead, s.dwAnnouncementLead);
      return TRUE;
    }
    case WM_NOTIFY:
      if (IsApply(lParam)) {
        RoutingSettings s = ReadRoutingSettings();
        LRESULT i = ::SendDlgItemMessageW(hDlg, IDC_OPT_OFF_ROUTE, LB_GETCURSEL, 0, 0);
        // Without a choice (a stored value no item carries) the value stays.
        if (i >= 0 && size_t(i) < c_cOffRouteChoices) s.dwOffRoute = c_aOffRouteChoices[i].dwValue;
        s.dwAnnouncementLead = SliderPos(hDlg, IDC_OPT_AMN, c_nMaxAnnouncementLead);
        WriteOffRouteSettings(s);
        OptionsChanged(ocSettings);
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// Page 7 -------------------------------------------------------------------

namespace {

const ControlText c_aRoutingTexts[] = {{IDC_OPT_STYLE_ROADS, 2080},
                                       {IDC_OPT_STYLE_LINES, 2081},
                                       {IDC_OPT_FASTER, 2082},
                                       {IDC_OPT_SHORTER, 2083},
                                       {IDC_OPT_VEHICLE_LABEL, 2084}};

// The road options only mean something while routes follow the roads.
void EnableRoadOptions(HWND hDlg) {
  BOOL fRoads = ::IsDlgButtonChecked(hDlg, IDC_OPT_STYLE_ROADS) == BST_CHECKED;
  for (int id : {IDC_OPT_OPTIMIZATION, IDC_OPT_FASTER, IDC_OPT_SHORTER, IDC_OPT_VEHICLE_LABEL, IDC_OPT_VEHICLE})
    ::EnableWindow(::GetDlgItem(hDlg, id), fRoads);
}

}  // namespace

INT_PTR CALLBACK RoutingPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG: {
      SetTexts(hDlg, c_aRoutingTexts, sizeof c_aRoutingTexts / sizeof c_aRoutingTexts[0]);
      RoutingSettings s = ReadRoutingSettings();
      ::CheckRadioButton(hDlg, IDC_OPT_STYLE_ROADS, IDC_OPT_STYLE_LINES,
                         s.FollowsRoads() ? IDC_OPT_STYLE_ROADS : IDC_OPT_STYLE_LINES);
      InitSlider(hDlg, IDC_OPT_OPTIMIZATION, c_nMaxRoutingOptimization, s.dwOptimization);
      HWND hList = ::GetDlgItem(hDlg, IDC_OPT_VEHICLE);
      for (uint32_t i = 0; i < c_cRoutingVehicles; ++i) AddListItem(hList, c_idsFirstVehicle + i);
      ::SendMessageW(hList, LB_SETCURSEL, WPARAM(s.dwVehicle), 0);
      EnableRoadOptions(hDlg);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_OPT_STYLE_ROADS || LOWORD(wParam) == IDC_OPT_STYLE_LINES) {
        EnableRoadOptions(hDlg);
        return TRUE;
      }
      break;
    case WM_NOTIFY:
      if (IsApply(lParam)) {
        RoutingSettings s = ReadRoutingSettings();
        s.dwStyle = ::IsDlgButtonChecked(hDlg, IDC_OPT_STYLE_LINES) == BST_CHECKED ? rsStraight : rsRoads;
        s.dwOptimization = SliderPos(hDlg, IDC_OPT_OPTIMIZATION, c_nMaxRoutingOptimization);
        LRESULT i = ::SendDlgItemMessageW(hDlg, IDC_OPT_VEHICLE, LB_GETCURSEL, 0, 0);
        if (i >= 0 && uint32_t(i) < c_cRoutingVehicles) s.dwVehicle = uint32_t(i);
        WriteRouteStyleSettings(s);
        OptionsChanged(ocSettings);
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// The avoid page ----------------------------------------------------------

namespace {

const ControlText c_aAvoidTexts[] = {{IDC_OPT_AVOID_UTURNS, 2085},
                                     {IDC_OPT_AVOID_TOLLS, 2086},
                                     {IDC_OPT_AVOID_HIGHWAYS, 2087},
                                     {IDC_OPT_AVOID_UNPAVED, 2088}};

bool IsChecked(HWND hDlg, int id) { return ::IsDlgButtonChecked(hDlg, id) == BST_CHECKED; }

}  // namespace

INT_PTR CALLBACK AvoidPageProc(HWND hDlg, UINT uMsg, WPARAM, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG: {
      SetTexts(hDlg, c_aAvoidTexts, sizeof c_aAvoidTexts / sizeof c_aAvoidTexts[0]);
      RoutingSettings s = ReadRoutingSettings();
      ::CheckDlgButton(hDlg, IDC_OPT_AVOID_UTURNS, s.fAvoidUTurns ? BST_CHECKED : BST_UNCHECKED);
      ::CheckDlgButton(hDlg, IDC_OPT_AVOID_TOLLS, s.fAvoidTolls ? BST_CHECKED : BST_UNCHECKED);
      ::CheckDlgButton(hDlg, IDC_OPT_AVOID_HIGHWAYS, s.fAvoidHighways ? BST_CHECKED : BST_UNCHECKED);
      ::CheckDlgButton(hDlg, IDC_OPT_AVOID_UNPAVED, s.fAvoidUnpaved ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    }
    case WM_NOTIFY:
      if (IsApply(lParam)) {
        RoutingSettings s;
        s.fAvoidUTurns = IsChecked(hDlg, IDC_OPT_AVOID_UTURNS);
        s.fAvoidTolls = IsChecked(hDlg, IDC_OPT_AVOID_TOLLS);
        s.fAvoidHighways = IsChecked(hDlg, IDC_OPT_AVOID_HIGHWAYS);
        s.fAvoidUnpaved = IsChecked(hDlg, IDC_OPT_AVOID_UNPAVED);
        WriteAvoidSettings(s);
        OptionsChanged(ocSettings);
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
  }
  return FALSE;
}
