// Records of Waypoints.bin, the file of the user's waypoints and routes.
// Little-endian; coordinates at twice the map unit (2^31 per 180°).
#pragma once
#include <cstddef>
#include <cstdint>

namespace store::detail {

const char c_achSigRoutes[2] = {'R', 'W'};     // waypoints and routes
const char c_achSigWaypoints[2] = {'W', 'R'};  // waypoints only
const uint8_t c_cbHeaderRoutes = 12;           // header bytes after byte 2
const uint8_t c_cbHeaderWaypoints = 2;
const uint8_t c_cWaypointTexts = 4;
const uint8_t c_cRouteTexts = 3;

#pragma pack(push, 1)

struct WaypointRecord {
  uint32_t dwFlags;
  int32_t x;
  int32_t y;
  double dTime;            // days since 1899-12-30; 0 = none
  float fAltitude;         // m, without wfNoAltitude
  float fProximity;        // m, 0 = none
  uint8_t btType;          // symbol, low 8 bits
  uint8_t btShowType;      // bits 0-1 show mode, bits 2-7 symbol bits 8-13
  uint8_t btAttribute;     // kept for the exchange formats
  uint8_t btRoutePoints;   // route points referring to the waypoint
  float fDepth;            // m, with wfDepth
  float fWaterTemperature; // with wfWaterTemperature
};
static_assert(sizeof(WaypointRecord) == 40);
static_assert(offsetof(WaypointRecord, x) == 4);
static_assert(offsetof(WaypointRecord, y) == 8);
static_assert(offsetof(WaypointRecord, dTime) == 12);
static_assert(offsetof(WaypointRecord, fAltitude) == 20);
static_assert(offsetof(WaypointRecord, fProximity) == 24);
static_assert(offsetof(WaypointRecord, btType) == 28);
static_assert(offsetof(WaypointRecord, btShowType) == 29);
static_assert(offsetof(WaypointRecord, btAttribute) == 30);
static_assert(offsetof(WaypointRecord, btRoutePoints) == 31);
static_assert(offsetof(WaypointRecord, fDepth) == 32);
static_assert(offsetof(WaypointRecord, fWaterTemperature) == 36);

struct RouteRecord {
  uint32_t dwFlags;
  double dTime;       // creation or last change, days since 1899-12-30
  uint32_t crColor;   // COLORREF
};
static_assert(sizeof(RouteRecord) == 16);
static_assert(offsetof(RouteRecord, dTime) == 4);
static_assert(offsetof(RouteRecord, crColor) == 12);

// The header after the signature; "WR" files end after cTextsPerWaypoint.
struct StoreHeader {
  char achSignature[2];
  uint8_t cbHeader;            // header bytes after this one
  uint8_t cbWaypointRecord;
  uint8_t cTextsPerWaypoint;
  uint32_t cWaypoints;         // "RW" only
  uint8_t cbRouteRecord;       // "RW" only
  uint8_t cTextsPerRoute;      // "RW" only
  uint32_t cRoutes;            // "RW" only
};
static_assert(sizeof(StoreHeader) == 15);
static_assert(offsetof(StoreHeader, cbHeader) == 2);
static_assert(offsetof(StoreHeader, cbWaypointRecord) == 3);
static_assert(offsetof(StoreHeader, cTextsPerWaypoint) == 4);
static_assert(offsetof(StoreHeader, cWaypoints) == 5);
static_assert(offsetof(StoreHeader, cbRouteRecord) == 9);
static_assert(offsetof(StoreHeader, cTextsPerRoute) == 10);
static_assert(offsetof(StoreHeader, cRoutes) == 11);

#pragma pack(pop)

// Storage flags of a route point in the file: which fields follow.
enum RoutePointStorage : uint8_t {
  rpsWaypoint = 0x01,     // uint32 ordinal of the waypoint
  rpsCoordinates = 0x02,  // int32 x, int32 y
  rpsKind = 0x04,         // uint8 kind flags (else 0x20)
  rpsSpeed = 0x08,        // uint8: bits 0-2 speed, 3-5 quality
  rpsLabel = 0x10,        // text
  rpsByteValue = 0x20,    // uint8 value
  rpsDwordValue = 0x40,   // uint32 value
  // uint8 keep side of a keep point that is not a roundabout entry (whose
  // parameter byte is always written). Files written before this flag held
  // no keep side; it is set only for a non-zero side, so a keep-left point
  // is stored exactly as before.
  rpsKeepSide = 0x80,
};

}  // namespace store::detail
