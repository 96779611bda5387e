// Waypoint symbols: the strip of their icons and the default waypoint icon,
// by resource id. The symbol count (c_cWaypointCount), the plain waypoint
// symbol (c_nDefaultSymbol) and the first name string
// (c_idsFirstSymbolName) are in store/Waypoint.h.
#pragma once
#include <cstdint>

#include "store/Waypoint.h"

// The icon strip (BITMAP): c_cWaypointCount square icons side by side,
// c_cxSymbolIcon pixels each; pixels of the mask colour are transparent.
// Load it with ResLoadImageList(c_idbWaypointSymbols, c_cxSymbolIcon,
// c_crSymbolMask); image n is the icon of symbol n.
const unsigned c_idbWaypointSymbols = 130;
const int c_cxSymbolIcon = 16;
const uint32_t c_crSymbolMask = 0x808080;  // COLORREF
// The default waypoint icon (ICON), g_hiconWaypoint.
const unsigned c_idiWaypoint = 131;

// Whether symbol n is drawn with its icon of the strip; the others (the
// plain waypoint symbol and the symbols past the strip) get the default
// waypoint icon.
inline bool HasSymbolIcon(unsigned nSymbol) { return nSymbol < c_cWaypointCount && nSymbol != c_nDefaultSymbol; }
