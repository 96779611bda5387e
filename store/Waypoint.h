// The user's waypoints and routes as kept in memory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Debug.h"
#include "store/detail/WaypointsFile.h"
#include "view/MapUnits.h"

struct Waypoint;

enum WaypointFlags : uint32_t {
  wfDeleted = 0x01,           // never saved or drawn
  wfNoAltitude = 0x02,
  wfDepth = 0x08,
  wfWaterTemperature = 0x10,
  wfMadeForRoute = 0x20,      // deleted with the route
};

enum WaypointShow : unsigned {
  wsIcon = 0,          // "Значок"
  wsIconAndName = 1,   // "Значок и имя"
  wsIconAndDesc = 2,   // "Значок и описание"
};

const unsigned c_cWaypointCount = 221;   // symbols with names and icons
const unsigned c_nDefaultSymbol = 18;    // "Путевая точка"
const unsigned c_idsFirstSymbolName = 2500;

// A waypoint: the 40-byte file record, then four texts.
struct Waypoint : store::detail::WaypointRecord {
  std::u16string strName;
  std::u16string strDescription;  // the comment of the exchange formats
  std::u16string strText3;
  std::u16string strText4;
  Waypoint* pNext = nullptr;
  // Route points referring to the waypoint; the record's byte holds the
  // same count, stopping at 255.
  uint32_t cRoutePoints = 0;
  uint32_t cOrdinal = 0;          // position among the saved waypoints

  Waypoint() : store::detail::WaypointRecord{} {}

  bool IsDeleted() const { return (dwFlags & wfDeleted) != 0; }
  bool HasAltitude() const { return (dwFlags & wfNoAltitude) == 0; }
  unsigned GetShow() const { return btShowType & 3; }
  void SetShow(unsigned _Show) {
    ASSERT(_Show < 0x4);
    btShowType = uint8_t((btShowType & ~3u) | (_Show & 3));
  }
  unsigned GetType() const { return btType | (unsigned(btShowType >> 2) << 8); }
  void SetType(unsigned _btType) {
    ASSERT(_btType < 0x4000);
    btType = uint8_t(_btType);
    btShowType = uint8_t((btShowType & 3) | ((_btType >> 8) & 0x3F) << 2);
  }
  void AddRef() {
    ++cRoutePoints;
    btRoutePoints = uint8_t(cRoutePoints > 255 ? 255 : cRoutePoints);
  }
  void Release() {
    ASSERT(cRoutePoints > 0);
    if (cRoutePoints) --cRoutePoints;
    btRoutePoints = uint8_t(cRoutePoints > 255 ? 255 : cRoutePoints);
  }
};

enum RouteFlags : uint32_t {
  rfDeleted = 0x01,
  rfActive = 0x04,     // navigated
  rfGoTo = 0x08,       // temporary "GoTo" route
};

// Kind flags of a route point.
enum RoutePointKind : uint8_t {
  rpkManeuver = 0x01,
  rpkRoundaboutEntry = 0x02,
  rpkRoundaboutExit = 0x04,
  rpkConnector = 0x08,
  rpkVia = 0x20,       // a point of the user's route
  rpkKeep = 0x40,
  rpkRouter = 0x80,    // made by the router
};

struct RoutePoint {
  Waypoint* pWaypoint = nullptr;  // the stored waypoint it refers to, or none
  int32_t x = 0;                  // for a point without waypoint
  int32_t y = 0;
  uint8_t btStorage = 0;          // storage flags, recomputed when saving
  uint8_t btKind = rpkVia;
  uint8_t btSpeed = 0;            // km/h class of the road piece (router points)
  uint8_t btQuality = 0;          // road quality class (router points)
  std::u16string strLabel;
  int32_t nValue = 0;
  int32_t nLink = -1;             // road graph link (router points)
  uint8_t btParameter = 0;        // roundabout exit number or keep side (1 = right)
  float fLength = 0;              // length of the road piece (keep points)
  int32_t nTurnAngle = 0;         // degrees, −180…180, positive to the right

  // Coordinates at twice the map unit: the waypoint's when it has one.
  int32_t GetX() const { return pWaypoint ? pWaypoint->x : x; }
  int32_t GetY() const { return pWaypoint ? pWaypoint->y : y; }
};

// Bounding rectangle in map units (half the stored coordinates);
// top ≤ bottom are the minimum and maximum y.
struct RouteRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

const uint32_t c_crNewRoute = 0xE800E8;

struct Route : store::detail::RouteRecord {
  std::u16string strName;
  std::u16string strText2;
  std::u16string strText3;
  std::vector<RoutePoint> points;
  RouteRect rcBounds;
  Route* pNext = nullptr;

  Route() : store::detail::RouteRecord{} {}

  bool IsDeleted() const { return (dwFlags & rfDeleted) != 0; }
  bool IsEmpty() const { return points.empty(); }
};

// Degrees to and from the stored coordinates (doubled map units, 2^31 per
// 180°); the way back keeps the lowest bit, which the exchange files need.
inline int32_t DegreesToStored(double dDeg) { return DegreesToMap2(dDeg); }
inline double StoredToDegrees(int32_t n) { return SemicirclesToDegrees(n); }
