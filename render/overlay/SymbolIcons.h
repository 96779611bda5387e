// The icons of the waypoint symbols on the map: the strip of c_cWaypointCount
// icons of 16 × 16 pixels and the default waypoint icon, loaded from the
// program's resources on first use (natively from "<id>.bmp" and "<id>.ico"
// in the resource folder).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Canvas.h"
#include "store/Symbols.h"

// Cuts a packed DIB (info header, pixels; 24 or 32 bits per pixel,
// uncompressed, either row order) into square icons of cxIcon pixels, the
// mask colour transparent. Bounds-checked; false (and no icons) when the
// bytes are no such bitmap.
bool SplitIconStrip(const uint8_t* pb, size_t cb, int cxIcon, uint32_t crMask,
                    std::vector<std::unique_ptr<platform::CIcon>>& icons);

// The icon a waypoint of the symbol is drawn with, and where: its top-left
// corner is the waypoint's screen point less *pdx, *pdy (9 display units for
// icons of the strip, 16 for the default icon); *pcx, *pcy its size on
// screen. Null when the icon cannot be loaded.
const platform::CIcon* GetWaypointIcon(unsigned nSymbol, int* pdx = nullptr, int* pdy = nullptr, int* pcx = nullptr,
                                       int* pcy = nullptr);
// The default waypoint icon (g_hiconWaypoint), or null.
const platform::CIcon* GetDefaultWaypointIcon();
// Frees the loaded icons (the next use loads them again).
void FreeWaypointIcons();
// Native programs without the resources: the folder of the files "<id>.bmp"
// and "<id>.ico" the build wrote (null: the program's resources, natively
// the resource folder). Frees the loaded icons.
void SetWaypointIconFolder(const char16_t* pszFolder);
