// What the waypoint and route dialogs share, and the delete questions.
#include "app/StoreDialogs.h"

#include <oleauto.h>

#include "app/Shell.h"
#include "app/StoreDialogParts.h"
#include "app/Waypoints.h"
#include "res/Res.h"
#include "exchange/TrackFile.h"
#include "platform/Clock.h"
#include "platform/Str.h"
#include "store/Symbols.h"
#include "store/WaypointStore.h"

using namespace platform;

int StoreMessageBox(HWND hOwner, const char16_t* pszText, UINT uType) {
  return ::MessageBoxW(hOwner ? hOwner : g_hWnd, W(pszText), L"VELMO", uType);
}

std::u16string SystemErrorText(DWORD dwError) {
  wchar_t sz[512] = L"";
  ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, sz, 512, nullptr);
  std::u16string str = U(sz);
  while (!str.empty() && (str.back() == u'\n' || str.back() == u'\r' || str.back() == u' ')) str.pop_back();
  return str;
}

bool SaveStoreAndRefresh(HWND hOwner) {
  ::SetLastError(0);
  bool fSaved = SaveWaypointStore();
  if (!fSaved) {
    DWORD dwError = ::GetLastError();
    char16_t sz[1024];
    FormatResString(sz, 1024, exchange::c_idsCannotWriteFile, WaypointStorePath().c_str(),
                    SystemErrorText(dwError ? dwError : ERROR_WRITE_FAULT).c_str());
    StoreMessageBox(hOwner, sz, MB_OK | MB_ICONERROR);
  }
  RefreshAllPages(true);
  return fSaved;
}

double NowDays() {
  CSystemTime st;
  GetSystemTimeUtc(st);
  return SystemTimeToDays(st);
}

std::u16string FormatLocalDate(double dTime) {
  SYSTEMTIME stUtc, stLocal;
  if (dTime == 0 || !::VariantTimeToSystemTime(dTime, &stUtc)) {
    char16_t sz[16];
    return LoadResString(2216, sz, 16);
  }
  if (!::SystemTimeToTzSpecificLocalTime(nullptr, &stUtc, &stLocal)) stLocal = stUtc;
  wchar_t szDate[64] = L"", szTime[64] = L"";
  ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &stLocal, nullptr, szDate, 64);
  ::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &stLocal, nullptr, szTime, 64);
  return std::u16string(U(szDate)) + u" " + U(szTime);
}

namespace {

HIMAGELIST g_himlSymbols = nullptr;
int g_iDefaultImage = -1;
bool g_fStripLoaded = false;

void FreeSymbolImages() {
  if (g_himlSymbols) ::ImageList_Destroy(g_himlSymbols);
  g_himlSymbols = nullptr;
}

}  // namespace

HIMAGELIST GetSymbolImageList() {
  if (g_himlSymbols) return g_himlSymbols;
  g_himlSymbols = ResLoadImageList(c_idbWaypointSymbols, c_cxSymbolIcon, c_crSymbolMask);
  g_fStripLoaded = g_himlSymbols && ::ImageList_GetImageCount(g_himlSymbols) >= int(c_cWaypointCount);
  if (!g_himlSymbols) g_himlSymbols = ::ImageList_Create(ScaleX(c_cxSymbolIcon), ScaleY(c_cxSymbolIcon), ILC_COLOR24 | ILC_MASK, 1, 1);
  if (!g_himlSymbols) return nullptr;
  if (HICON hIcon = ResLoadIcon(c_idiWaypoint)) {
    // The list's image size: the default icon is scaled into one image.
    g_iDefaultImage = ::ImageList_AddIcon(g_himlSymbols, hIcon);
    ::DestroyIcon(hIcon);
  }
  RegisterTearDown(FreeSymbolImages);
  return g_himlSymbols;
}

int GetSymbolImage(unsigned nSymbol) {
  GetSymbolImageList();
  if (g_fStripLoaded && HasSymbolIcon(nSymbol)) return int(nSymbol);
  return g_iDefaultImage;
}

std::u16string GetSymbolName(unsigned nSymbol) {
  if (nSymbol >= c_cWaypointCount) return std::u16string();
  char16_t sz[128];
  return LoadResString(c_idsFirstSymbolName + nSymbol, sz, 128);
}

void DrawSymbol(HDC hdc, const RECT& rc, unsigned nSymbol) {
  HIMAGELIST himl = GetSymbolImageList();
  int iImage = GetSymbolImage(nSymbol);
  if (!himl || iImage < 0) return;
  int cx = 0, cy = 0;
  ::ImageList_GetIconSize(himl, &cx, &cy);
  int x = (rc.left + rc.right - cx) / 2;
  int y = (rc.top + rc.bottom - cy) / 2;
  ::ImageList_Draw(himl, iImage, hdc, x, y, ILD_TRANSPARENT);
}

bool AskDeleteWaypoint(HWND hOwner, Waypoint* pWaypoint) {
  if (!pWaypoint || pWaypoint->IsDeleted()) return false;
  char16_t sz[512];
  if (pWaypoint->cRoutePoints != 0) {
    FormatResString(sz, 512, c_idsWaypointInRoutes, pWaypoint->strName.c_str());
    StoreMessageBox(hOwner, sz, MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  FormatResString(sz, 512, c_idsDeleteWaypoint, pWaypoint->strName.c_str());
  if (StoreMessageBox(hOwner, sz, MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
  return g_waypointStore.DeleteWaypoint(pWaypoint);
}

bool AskDeleteRoute(HWND hOwner, Route* pRoute) {
  if (!pRoute || pRoute->IsDeleted()) return false;
  char16_t sz[512];
  if (pRoute == g_waypointStore.ActiveRoute()) {
    LoadResString(c_idsRouteUnderGuidance, sz, 512);
    StoreMessageBox(hOwner, sz, MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  FormatResString(sz, 512, c_idsDeleteRoute, pRoute->strName.c_str());
  if (StoreMessageBox(hOwner, sz, MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
  return g_waypointStore.DeleteRoute(pRoute);
}
