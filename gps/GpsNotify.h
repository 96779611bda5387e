// How positioning reaches the main window. The shell installs a function
// that posts the message to its window and coalesces it (a kind is posted
// again only after the window has handled the previous one). The GPS code
// never touches the window itself.
#pragma once
#include <cstdint>

// The messages (WM_USER + 1 ... + 5 of the main window).
const uint32_t c_msgGpsStatus = 0x0400 + 1;      // status text changed
const uint32_t c_msgGpsFix = 0x0400 + 2;         // new fix taken
const uint32_t c_msgGpsCursor = 0x0400 + 3;      // map cursor moved
const uint32_t c_msgGpsSatellites = 0x0400 + 4;  // satellite table complete or cleared
const uint32_t c_msgGpsIndicator = 0x0400 + 5;   // GPS indicator changed

// Posts uMsg to the main window; false when it could not be posted.
typedef bool (*GpsPostFn)(uint32_t uMsg);
// Installs the poster of the program's position hub; returns the previous
// one. Null: nothing is posted.
GpsPostFn SetGpsNotifyTarget(GpsPostFn pfn);
