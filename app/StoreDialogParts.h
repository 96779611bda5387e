// What the waypoint and route dialogs share: saving the store with its
// message, dates, the symbol icons, the symbol chooser and picking a
// waypoint.
#pragma once
#include <string>

#include "app/ResWin.h"
#include "store/Waypoint.h"

// String ids of the dialogs' own messages.
const uint32_t c_idsWaypointInRoutes = 2230;  // "Путевую точку ""%s"" нельзя удалить ..."
const uint32_t c_idsBadValue = 2231;          // "Неверное значение."
const uint32_t c_idsAltitudeLabel = 2232;     // "Высота, %s:"
const uint32_t c_idsDeleteWaypoint = 2217;    // "Удалить путевую точку ""%s""?"
const uint32_t c_idsDeleteRoute = 2218;       // "Удалить маршрут ""%s""?"
const uint32_t c_idsRouteUnderGuidance = 2219;
const uint32_t c_idsNewWaypointTitle = 2222;
const uint32_t c_idsWaypointPropsTitle = 2223;

int StoreMessageBox(HWND hOwner, const char16_t* pszText, UINT uType);
// The system's text for an error code (without the line break at its end).
std::u16string SystemErrorText(DWORD dwError);
// Writes Waypoints.bin; a failure is shown with the path and the system's
// text (message 2003). Then the pages are refreshed.
bool SaveStoreAndRefresh(HWND hOwner);
// The current time, days since 1899-12-30 (UTC).
double NowDays();
// A stored time as the local short date and time; "-" for none.
std::u16string FormatLocalDate(double dTime);

// The symbol icons: the strip and the default waypoint icon after it (an
// empty list when the strip could not be loaded). Loaded once.
HIMAGELIST GetSymbolImageList();
// The image of a symbol in that list, −1 when there is none.
int GetSymbolImage(unsigned nSymbol);
// The symbol's name (string 2500 + symbol), empty past the named symbols.
std::u16string GetSymbolName(unsigned nSymbol);
// The icon centred in a rectangle.
void DrawSymbol(HDC hdc, const RECT& rc, unsigned nSymbol);

// The symbol chooser; true when a symbol was chosen (nSymbol holds it).
bool ChooseSymbol(HWND hOwner, unsigned& nSymbol);
// A list of the waypoints by name; true when one was chosen.
bool PickWaypoint(HWND hOwner, Waypoint*& pWaypoint);
// The new-waypoint dialog (the properties of a waypoint still to be made)
// and the store's new waypoint at the point; true when it was made and saved.
bool NewWaypointDialog(HWND hOwner, double dLon, double dLat);
