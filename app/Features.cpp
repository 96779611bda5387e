// The shell's side of the subsystems that are not attached to this build of
// the program: each answers "nothing there".
#include "app/Features.h"

#include "app/Commands.h"
#include "app/FindDialogs.h"
#include "app/NavigationGlue.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "settings/SettingsTable.h"
#include "map/MapFiles.h"

bool RunFeatureCommand(UINT id) { return RunNavigationCommand(id) || RunFindCommand(id); }

void SetNightModeMenuBitmap(HMENU hMenu) {
  static HBITMAP s_ahbm[3];
  DWORD dwMode = GetSetting(setting::NightMode);
  if (dwMode < 1 || dwMode > 3) dwMode = 3;
  static const UINT c_aid[3] = {c_idbNightMode1, c_idbNightMode2, c_idbNightMode3};
  if (!s_ahbm[dwMode - 1]) s_ahbm[dwMode - 1] = ResLoadBitmap(c_aid[dwMode - 1]);
  ::SetMenuItemBitmaps(hMenu, cmdNightMode, MF_BYCOMMAND, s_ahbm[dwMode - 1], s_ahbm[dwMode - 1]);
}

bool ChooseMapFile(std::u16string& path, DWORD& dwFilter) {
  wchar_t szFile[MAX_PATH] = L"";
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = g_hWnd;
  // The filter lines come from the registered map formats; the dialog
  // starts on the line last used (the first when the stored one is gone)
  // and takes that line's extension as the default.
  const std::vector<MapFilterLine> lines = BuildOpenFilter(true);
  std::u16string strFilter = BuildOpenFilterText(true);
  if (dwFilter >= lines.size()) dwFilter = 0;
  ofn.lpstrFilter = W(strFilter.c_str());
  ofn.nFilterIndex = dwFilter + 1;
  if (dwFilter < lines.size() && !lines[dwFilter].strExtension.empty())
    ofn.lpstrDefExt = W(lines[dwFilter].strExtension.c_str());
  ofn.lpstrFile = szFile;
  ofn.nMaxFile = MAX_PATH;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!::GetOpenFileNameW(&ofn)) return false;
  dwFilter = ofn.nFilterIndex ? ofn.nFilterIndex - 1 : 0;
  path = U(szFile);
  return true;
}
