// The options dialog's pages 1-5: what the map shows (map view), how the
// receiver is found (GPS), the units of measure with an example of each,
// the order of an address, and the system clock's fix-up. Each page fills
// its controls from the settings on WM_INITDIALOG and, on PSN_APPLY, writes
// back only what the user changed and says what that changes.
#include <cstdio>

#include "app/Features.h"
#include "app/OptionsDialog.h"
#include "app/Shell.h"
#include "app/res/options_ids.h"
#include "geo/Units.h"
#include "gps/ComPort.h"
#include "gps/GpsProtocol.h"
#include "platform/Str.h"
#include "res/Res.h"
#include "settings/SettingsTable.h"

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

bool IsApply(LPARAM lParam) { return reinterpret_cast<const NMHDR*>(lParam)->code == PSN_APPLY; }

bool IsChecked(HWND hDlg, int id) { return ::IsDlgButtonChecked(hDlg, id) == BST_CHECKED; }

void Check(HWND hDlg, int id, bool f) { ::CheckDlgButton(hDlg, id, f ? BST_CHECKED : BST_UNCHECKED); }

// A boolean setting shown by a check box.
struct BoolControl {
  int idControl;
  uint32_t idsText;
  const SettingDef* pSetting;
};

void InitBools(HWND hDlg, const BoolControl* p, size_t c) {
  for (size_t i = 0; i < c; ++i) {
    char16_t sz[128];
    ::SetDlgItemTextW(hDlg, p[i].idControl, W(LoadResString(p[i].idsText, sz, 128)));
    Check(hDlg, p[i].idControl, GetSettingBool(*p[i].pSetting));
  }
}

// Writes the check boxes that differ from their settings; true when one did.
bool ApplyBools(HWND hDlg, const BoolControl* p, size_t c) {
  bool fChanged = false;
  for (size_t i = 0; i < c; ++i) {
    bool f = IsChecked(hDlg, p[i].idControl);
    if (f == GetSettingBool(*p[i].pSetting)) continue;
    SetBool(p[i].pSetting->pszName, f);
    fChanged = true;
  }
  return fChanged;
}

void FillCombo(HWND hDlg, int id, uint32_t idsFirst, size_t cItems, DWORD dwSelected) {
  HWND hCombo = ::GetDlgItem(hDlg, id);
  ::SendMessageW(hCombo, CB_RESETCONTENT, 0, 0);
  for (size_t i = 0; i < cItems; ++i) {
    char16_t sz[128];
    ::SendMessageW(hCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(LoadResString(uint32_t(idsFirst + i), sz, 128))));
  }
  ::SendMessageW(hCombo, CB_SETCURSEL, dwSelected < cItems ? WPARAM(dwSelected) : WPARAM(-1), 0);
}

// The combo box's choice, or dwKeep without one.
DWORD ComboChoice(HWND hDlg, int id, DWORD dwKeep) {
  LRESULT i = ::SendDlgItemMessageW(hDlg, id, CB_GETCURSEL, 0, 0);
  return i < 0 ? dwKeep : DWORD(i);
}

// Writes a number setting when it changed; true when it did.
bool ApplyDword(const SettingDef& def, DWORD dw) {
  if (GetSetting(def) == dw) return false;
  SetDword(def.pszName, dw);
  return true;
}

// Map view (page 1) ------------------------------------------------------

const BoolControl c_aMapViewBools[] = {
    {IDC_OPT_ROTATE_MAP, 2873, &setting::RotateMap},
    {IDC_OPT_KEEP_VISIBLE, 2874, &setting::KeepVisible},
    {IDC_OPT_HOT_SPOT, 2875, &setting::ShowHotSpot},
    {IDC_OPT_SHOW_TRACK, 2876, &setting::ShowTrack},
    {IDC_OPT_BEARING, 2877, &setting::ShowBearing},
    {IDC_OPT_MAP_GAUGES, 2879, &setting::ShowMapGauges},
    {IDC_OPT_SHOW_WAYPOINTS, 2880, &setting::ShowWaypoints},
    {IDC_OPT_SHOW_ROUTES, 2881, &setting::ShowRoutes},
};
const size_t c_cMapViewBools = sizeof c_aMapViewBools / sizeof c_aMapViewBools[0];
const uint32_t c_idsNightModeFirst = 2870;  // modes 1-3
const uint32_t c_idsNightModeLabel = 2882;
const uint32_t c_idsDetailLabel = 2878;
const uint32_t c_idsDetailFirst = 2891;  // least .. most
const int c_nDetailSteps = 2;            // the list's choices either way of the normal detail

// GPS (page 2) -----------------------------------------------------------

const BoolControl c_aGpsBools[] = {
    {IDC_OPT_SCAN_PORTS, 2823, &setting::ScanCOMPorts},
    {IDC_OPT_LOG_PORTS, 2063, &setting::LogCOMPorts},
    {IDC_OPT_ELLIPSOID, 2064, &setting::GPSElevationIsOverEllipsoid},
    {IDC_OPT_FIXUP_EPOCH, 2065, &setting::FixupGPSEpoch},
};
const size_t c_cGpsBools = sizeof c_aGpsBools / sizeof c_aGpsBools[0];
const ControlText c_aGpsTexts[] = {{IDC_OPT_PORTS_LABEL, 2060}, {IDC_OPT_PROTOCOLS_LABEL, 2062}, {IDC_OPT_EPOCH_LABEL, 2066}};
const uint32_t c_idsComPort = 2061;
const DWORD c_dwUnset = 0xFFFFFFFFu;

std::u16string PortSettingName(int nPort) { return FormatStr(setting::Enable_COM_d.pszName, nPort); }

std::u16string ProtocolSettingName(const ProtocolEntry* p) { return FormatStr(setting::Enable_Protocol_s.pszName, p->pszName); }

// A port without a stored value is used (the scan writes it as on).
bool IsPortEnabled(int nPort) { return GetDword(PortSettingName(nPort).c_str(), 1) != 0; }

void InitGpsPage(HWND hDlg) {
  InitBools(hDlg, c_aGpsBools, c_cGpsBools);
  SetTexts(hDlg, c_aGpsTexts, sizeof c_aGpsTexts / sizeof c_aGpsTexts[0]);
  HWND hPorts = ::GetDlgItem(hDlg, IDC_OPT_PORTS);
  for (int n = c_cMinComPort; n <= c_cMaxComPort; ++n) {
    char16_t sz[32];
    FormatResString(sz, 32, c_idsComPort, n);
    LRESULT i = ::SendMessageW(hPorts, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(sz)));
    ::SendMessageW(hPorts, LB_SETSEL, IsPortEnabled(n), i);
  }
  HWND hProtocols = ::GetDlgItem(hDlg, IDC_OPT_PROTOCOLS);
  for (const ProtocolEntry* p = GetProtocolList(); p; p = p->pNext) {
    LRESULT i = ::SendMessageW(hProtocols, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(p->DisplayText())));
    ::SendMessageW(hProtocols, LB_SETITEMDATA, i, reinterpret_cast<LPARAM>(p));
    ::SendMessageW(hProtocols, LB_SETSEL, p->IsEnabled(), i);
  }
  // The epoch is empty until the user chooses one: today's date decides.
  DWORD dwEpoch = GetDword(setting::GPSEpoch.pszName, c_dwUnset);
  if (dwEpoch != c_dwUnset) ::SetDlgItemInt(hDlg, IDC_OPT_EPOCH, UINT(dwEpoch), FALSE);
}

// True when what the port threads use changed (they are started again).
bool ApplyGpsPage(HWND hDlg) {
  bool fChanged = false;
  for (int n = c_cMinComPort; n <= c_cMaxComPort; ++n) {
    bool f = ::SendDlgItemMessageW(hDlg, IDC_OPT_PORTS, LB_GETSEL, WPARAM(n - c_cMinComPort), 0) > 0;
    if (f == IsPortEnabled(n)) continue;
    SetDword(PortSettingName(n).c_str(), f ? 1 : 0);
    fChanged = true;
  }
  HWND hProtocols = ::GetDlgItem(hDlg, IDC_OPT_PROTOCOLS);
  LRESULT cProtocols = ::SendMessageW(hProtocols, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < cProtocols; ++i) {
    const LRESULT nData = ::SendMessageW(hProtocols, LB_GETITEMDATA, WPARAM(i), 0);
    if (nData == LB_ERR || nData == 0) continue;
    const ProtocolEntry* p = reinterpret_cast<const ProtocolEntry*>(nData);
    bool f = ::SendMessageW(hProtocols, LB_GETSEL, WPARAM(i), 0) > 0;
    if (f == p->IsEnabled()) continue;
    SetBool(ProtocolSettingName(p).c_str(), f);
    fChanged = true;
  }
  bool fScanWas = GetSettingBool(setting::ScanCOMPorts);
  fChanged |= ApplyBools(hDlg, c_aGpsBools, c_cGpsBools);
  wchar_t szEpoch[16] = {};
  ::GetDlgItemTextW(hDlg, IDC_OPT_EPOCH, szEpoch, 16);
  if (szEpoch[0] == 0) {
    if (GetDword(setting::GPSEpoch.pszName, c_dwUnset) != c_dwUnset) DeleteSetting(setting::GPSEpoch.pszName);
  } else {
    BOOL fOk = FALSE;
    UINT nEpoch = ::GetDlgItemInt(hDlg, IDC_OPT_EPOCH, &fOk, FALSE);
    if (fOk && nEpoch < 100 && GetDword(setting::GPSEpoch.pszName, c_dwUnset) != nEpoch)
      SetDword(setting::GPSEpoch.pszName, nEpoch);
  }
  // The port threads read the ports and protocols when they start: a
  // running scan starts again with the new choice.
  bool fScan = GetSettingBool(setting::ScanCOMPorts);
  if (fChanged) {
    if (fScanWas) StopPorts();
    if (fScan) StartPorts();
    UpdateMenuState();
  }
  return fChanged;
}

// Units (page 3) ---------------------------------------------------------

struct UnitList {
  int idLabel;
  uint32_t idsLabel;
  int idCombo;
  uint32_t idsFirst;  // the choices, in the order of the setting's values
  size_t cChoices;
  const SettingDef* pSetting;
};

const UnitList c_aUnitLists[] = {
    {IDC_OPT_ELEVATION_LABEL, 2440, IDC_OPT_ELEVATION, 2420, 2, &setting::OptionElevationUnit},
    {IDC_OPT_DISTANCE_LABEL, 2441, IDC_OPT_DISTANCE, 2422, 3, &setting::OptionDistanceUnit},
    {IDC_OPT_AREA_LABEL, 2442, IDC_OPT_AREA, 2425, 4, &setting::OptionAreaUnit},
    {IDC_OPT_AZIMUTH_LABEL, 2443, IDC_OPT_AZIMUTH, 2429, 2, &setting::OptionAzimuthFormat},
    {IDC_OPT_POSITION_LABEL, 2444, IDC_OPT_POSITION, 2431, 4, &setting::OptionPositionFormat},
};
const size_t c_cUnitLists = sizeof c_aUnitLists / sizeof c_aUnitLists[0];
const uint32_t c_idsExample = 2445;

// The example values: an elevation, a distance, a speed, an area, an
// azimuth and a position, in the units chosen on the page.
void UpdateUnitsExample(HWND hDlg) {
  UnitOptions saved = g_UnitOptions;
  UnitOptions shown = saved;
  shown.dwElevationUnit = ComboChoice(hDlg, IDC_OPT_ELEVATION, saved.dwElevationUnit);
  shown.dwDistanceUnit = ComboChoice(hDlg, IDC_OPT_DISTANCE, saved.dwDistanceUnit);
  shown.dwAreaUnit = ComboChoice(hDlg, IDC_OPT_AREA, saved.dwAreaUnit);
  shown.dwAzimuthFormat = ComboChoice(hDlg, IDC_OPT_AZIMUTH, saved.dwAzimuthFormat);
  shown.dwPositionFormat = ComboChoice(hDlg, IDC_OPT_POSITION, saved.dwPositionFormat);
  SetUnitOptions(shown);
  char16_t szElev[32], szElevUnit[16], szDist[32], szDistUnit[16], szSpeed[32], szSpeedUnit[16];
  char16_t szArea[32], szAreaUnit[16], szAzimuth[32], szPosition[64];
  FormatElevation(1234.0, unMeters, true, szElev, 32, szElevUnit, 16);
  FormatDistance(12345.0, szDist, 32, szDistUnit, 16);
  FormatSpeed(90.0, szSpeed, 32, szSpeedUnit, 16);
  FormatArea(2500000.0, szArea, 32, szAreaUnit, 16);
  FormatAzimuth(123.4, szAzimuth, 32);
  FormatPosition(55.75393, 37.6208, szPosition, 64);
  SetUnitOptions(saved);
  char16_t szValues[256];
  Format(szValues, 256, u"%s %s; %s %s; %s %s; %s %s; %s; %s", szElev, szElevUnit, szDist, szDistUnit, szSpeed,
         szSpeedUnit, szArea, szAreaUnit, szAzimuth, szPosition);
  char16_t szText[320];
  FormatResString(szText, 320, c_idsExample, szValues);
  ::SetDlgItemTextW(hDlg, IDC_OPT_UNITS_EXAMPLE, W(szText));
}

void InitUnitsPage(HWND hDlg) {
  for (size_t i = 0; i < c_cUnitLists; ++i) {
    const UnitList& l = c_aUnitLists[i];
    char16_t sz[64];
    ::SetDlgItemTextW(hDlg, l.idLabel, W(LoadResString(l.idsLabel, sz, 64)));
    FillCombo(hDlg, l.idCombo, l.idsFirst, l.cChoices, GetSetting(*l.pSetting));
  }
  UpdateUnitsExample(hDlg);
}

bool ApplyUnitsPage(HWND hDlg) {
  bool fChanged = false;
  for (size_t i = 0; i < c_cUnitLists; ++i) {
    const UnitList& l = c_aUnitLists[i];
    DWORD dw = ComboChoice(hDlg, l.idCombo, GetSetting(*l.pSetting));
    fChanged |= ApplyDword(*l.pSetting, dw);
  }
  return fChanged;
}

// Address format (page 4) ------------------------------------------------

const ControlText c_aAddressTexts[] = {{IDC_OPT_HOUSE_STREET, 2435},
                                       {IDC_OPT_STREET_HOUSE, 2436},
                                       {IDC_OPT_SHOW_ZIP, 2437},
                                       {IDC_OPT_SHOW_CITY, 2438}};
const uint32_t c_idsSampleZip = 2446, c_idsSampleCity = 2447, c_idsSampleStreet = 2448, c_idsSampleHouse = 2449;

void UpdateAddressExample(HWND hDlg) {
  UnitOptions saved = g_UnitOptions;
  UnitOptions shown = saved;
  shown.dwStreetAddressFormat = IsChecked(hDlg, IDC_OPT_STREET_HOUSE) ? 1 : 0;
  shown.fShowZipCode = IsChecked(hDlg, IDC_OPT_SHOW_ZIP);
  shown.fShowCity = IsChecked(hDlg, IDC_OPT_SHOW_CITY);
  SetUnitOptions(shown);
  char16_t szZip[32], szCity[64], szStreet[64], szHouse[16], szAddress[256];
  FormatAddress(LoadResString(c_idsSampleZip, szZip, 32), LoadResString(c_idsSampleCity, szCity, 64),
                LoadResString(c_idsSampleStreet, szStreet, 64), LoadResString(c_idsSampleHouse, szHouse, 16), szAddress,
                256);
  SetUnitOptions(saved);
  char16_t szText[320];
  FormatResString(szText, 320, c_idsExample, szAddress);
  ::SetDlgItemTextW(hDlg, IDC_OPT_ADDRESS_EXAMPLE, W(szText));
}

void InitAddressPage(HWND hDlg) {
  SetTexts(hDlg, c_aAddressTexts, sizeof c_aAddressTexts / sizeof c_aAddressTexts[0]);
  const UnitOptions& o = g_UnitOptions;
  Check(hDlg, o.dwStreetAddressFormat == 1 ? IDC_OPT_STREET_HOUSE : IDC_OPT_HOUSE_STREET, true);
  Check(hDlg, IDC_OPT_SHOW_ZIP, o.fShowZipCode);
  Check(hDlg, IDC_OPT_SHOW_CITY, o.fShowCity);
  UpdateAddressExample(hDlg);
}

bool ApplyAddressPage(HWND hDlg) {
  const UnitOptions& o = g_UnitOptions;
  bool fChanged = false;
  DWORD dwOrder = IsChecked(hDlg, IDC_OPT_STREET_HOUSE) ? 1 : 0;
  // The order's default follows the user's language: it is written once
  // chosen, not compared with a fixed default.
  if (dwOrder != o.dwStreetAddressFormat) {
    SetDword(setting::OptionPA_StreetAddressFormat.pszName, dwOrder);
    fChanged = true;
  }
  fChanged |= ApplyDword(setting::OptionPA_ShowZipCode, IsChecked(hDlg, IDC_OPT_SHOW_ZIP) ? 1 : 0);
  fChanged |= ApplyDword(setting::OptionPA_ShowCity, IsChecked(hDlg, IDC_OPT_SHOW_CITY) ? 1 : 0);
  return fChanged;
}

// Clock (page 5) ---------------------------------------------------------

const BoolControl c_aClockBools[] = {
    {IDC_OPT_FIXUP_CLOCK, 2070, &setting::FixupClock},
};
// There is no "set the time zone" choice: a position does not tell the time
// zone without the zones' borders (a zone by longitude alone is wrong for
// much of the world), and a wrong zone shifts every local time shown. A
// stored "FixupTimezone" is left as it is and changes nothing.
const size_t c_cClockBools = sizeof c_aClockBools / sizeof c_aClockBools[0];
const ControlText c_aClockTexts[] = {{IDC_OPT_THRESHOLD_LABEL, 2071}};
const UINT c_nMaxThresholdMs = 3600000;  // an hour

void EnableThreshold(HWND hDlg) {
  ::EnableWindow(::GetDlgItem(hDlg, IDC_OPT_THRESHOLD), IsChecked(hDlg, IDC_OPT_FIXUP_CLOCK));
}

}  // namespace

INT_PTR CALLBACK MapViewPageProc(HWND hDlg, UINT uMsg, WPARAM, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG: {
      InitBools(hDlg, c_aMapViewBools, c_cMapViewBools);
      char16_t sz[64];
      ::SetDlgItemTextW(hDlg, IDC_OPT_NIGHT_LABEL, W(LoadResString(c_idsNightModeLabel, sz, 64)));
      DWORD dwMode = GetSetting(setting::NightMode);
      FillCombo(hDlg, IDC_OPT_NIGHT_MODE, c_idsNightModeFirst, 3, dwMode >= 1 && dwMode <= 3 ? dwMode - 1 : 2);
      ::SetDlgItemTextW(hDlg, IDC_OPT_DETAIL_LABEL, W(LoadResString(c_idsDetailLabel, sz, 64)));
      // (A DWORD: a coarser detail is stored as a negative number's bits.)
      int nDetail = int(int32_t(GetSetting(setting::MapDetail)));
      nDetail = nDetail < -c_nDetailSteps ? -c_nDetailSteps : nDetail > c_nDetailSteps ? c_nDetailSteps : nDetail;
      FillCombo(hDlg, IDC_OPT_DETAIL, c_idsDetailFirst, 2 * c_nDetailSteps + 1, DWORD(nDetail + c_nDetailSteps));
      return TRUE;
    }
    case WM_NOTIFY:
      if (IsApply(lParam)) {
        bool fChanged = ApplyBools(hDlg, c_aMapViewBools, c_cMapViewBools);
        DWORD dwMode = GetSetting(setting::NightMode);
        LRESULT i = ::SendDlgItemMessageW(hDlg, IDC_OPT_NIGHT_MODE, CB_GETCURSEL, 0, 0);
        if (i >= 0 && i < 3 && DWORD(i + 1) != dwMode) {
          SetDword(setting::NightMode.pszName, DWORD(i + 1));
          ApplyNightMode();
          UpdateMenuState();
          fChanged = true;
        }
        i = ::SendDlgItemMessageW(hDlg, IDC_OPT_DETAIL, CB_GETCURSEL, 0, 0);
        if (i >= 0 && i <= 2 * c_nDetailSteps) {
          const int32_t nDetail = int32_t(i) - c_nDetailSteps;
          if (nDetail != int32_t(GetSetting(setting::MapDetail))) {
            SetDword(setting::MapDetail.pszName, DWORD(nDetail));
            fChanged = true;
          }
        }
        if (fChanged) OptionsChanged(ocMap);
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK GpsPageProc(HWND hDlg, UINT uMsg, WPARAM, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG:
      InitGpsPage(hDlg);
      return TRUE;
    case WM_NOTIFY:
      if (IsApply(lParam)) {
        if (ApplyGpsPage(hDlg)) OptionsChanged(ocSettings);
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK UnitsPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG:
      InitUnitsPage(hDlg);
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == CBN_SELCHANGE) UpdateUnitsExample(hDlg);
      break;
    case WM_NOTIFY:
      if (IsApply(lParam)) {
        if (ApplyUnitsPage(hDlg)) {
          LoadUnitOptions();
          OptionsChanged(ocUnits | ocMap);
        }
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK AddressPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG:
      InitAddressPage(hDlg);
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) UpdateAddressExample(hDlg);
      break;
    case WM_NOTIFY:
      if (IsApply(lParam)) {
        if (ApplyAddressPage(hDlg)) {
          LoadUnitOptions();
          OptionsChanged(ocUnits);
        }
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK ClockPageProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG:
      InitBools(hDlg, c_aClockBools, c_cClockBools);
      SetTexts(hDlg, c_aClockTexts, sizeof c_aClockTexts / sizeof c_aClockTexts[0]);
      ::SetDlgItemInt(hDlg, IDC_OPT_THRESHOLD, GetSetting(setting::FixupClockThreshold), FALSE);
      EnableThreshold(hDlg);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_OPT_FIXUP_CLOCK && HIWORD(wParam) == BN_CLICKED) EnableThreshold(hDlg);
      break;
    case WM_NOTIFY:
      if (IsApply(lParam)) {
        bool fChanged = ApplyBools(hDlg, c_aClockBools, c_cClockBools);
        BOOL fOk = FALSE;
        UINT nMs = ::GetDlgItemInt(hDlg, IDC_OPT_THRESHOLD, &fOk, FALSE);
        // An empty or absurd threshold keeps the stored one.
        if (fOk && nMs <= c_nMaxThresholdMs) fChanged |= ApplyDword(setting::FixupClockThreshold, nMs);
        if (fChanged) OptionsChanged(ocSettings);
        SetPageResult(hDlg, PSNRET_NOERROR);
        return TRUE;
      }
      break;
  }
  return FALSE;
}
