// Record layouts of MapSource files (.mps "MsRcd", .gdb "MsRcf").
// All integers little-endian; coordinates in semicircles (2^31 per 180°).
#pragma once
#include <cstddef>
#include <cstdint>

#include "gps/detail/MpsRecords.h"

namespace exchange::detail {

const size_t c_cbMsSignature = 6;
const uint8_t c_abMpsSignature[c_cbMsSignature] = {'M', 's', 'R', 'c', 'd', 0};
const uint8_t c_abGdbSignature[c_cbMsSignature] = {'M', 's', 'R', 'c', 'f', 0};
// A file is taken as MapSource only when it is longer than this.
const size_t c_cbMsMinFile = 44;

const uint8_t c_btRecFormat = 'D';
const uint8_t c_btRecCreator = 'A';
const uint8_t c_btRecWaypoint = 'W';
const uint8_t c_btRecTrack = 'T';
const uint8_t c_btRecRoute = 'R';
const uint8_t c_btRecEnd = 'V';

// GDB format values ('D' record): 'k' version 1, 'l' version 2 (8 more
// bytes after each route waypoint).
const uint16_t c_wGdbFormatV1 = 'k';
const uint16_t c_wGdbFormatV2 = 'l';

#pragma pack(push, 1)

// Head of every record: the body length (not counting the head), the type.
struct MsRecordHead {
  uint32_t dwLen;
  uint8_t btType;
};
static_assert(sizeof(MsRecordHead) == 5);
static_assert(offsetof(MsRecordHead, btType) == 4);

// Fixed track point of MPS 'T' records: the one the track recorder writes.
using gps::detail::MpsTrackPoint;

// The 44-byte block after the name of an MPS (4.09+) 'W' record.
struct MpsWaypointHead {
  uint8_t abZero[9];
  uint8_t abFF[12];
  uint8_t abZero2[2];
  int32_t nMinusOne;
  int32_t nLat;
  int32_t nLon;
  uint8_t btHasAlt;
  double dAlt;
};
static_assert(sizeof(MpsWaypointHead) == 44);
static_assert(offsetof(MpsWaypointHead, abFF) == 9);
static_assert(offsetof(MpsWaypointHead, nMinusOne) == 23);
static_assert(offsetof(MpsWaypointHead, nLat) == 27);
static_assert(offsetof(MpsWaypointHead, nLon) == 31);
static_assert(offsetof(MpsWaypointHead, btHasAlt) == 35);
static_assert(offsetof(MpsWaypointHead, dAlt) == 36);

// The 41-byte block after the comment of an MPS 'W' record.
struct MpsWaypointTail {
  uint8_t btHasProximity;
  double dProximity;
  uint32_t dwDisplay;
  uint32_t dwAttribute;
  uint32_t dwSymbol;
  uint8_t abZero[4];
  uint8_t btHasDepth;
  double dDepth;
  uint8_t abZero2[7];
};
static_assert(sizeof(MpsWaypointTail) == 41);
static_assert(offsetof(MpsWaypointTail, dwDisplay) == 9);
static_assert(offsetof(MpsWaypointTail, dwAttribute) == 13);
static_assert(offsetof(MpsWaypointTail, dwSymbol) == 17);
static_assert(offsetof(MpsWaypointTail, btHasDepth) == 25);
static_assert(offsetof(MpsWaypointTail, dDepth) == 26);

// The 35-byte block after the name of a GDB 'W' record.
struct GdbWaypointHead {
  uint8_t btClass;   // 0 user waypoint; non-zero: a point made for a route
  uint8_t abZero[8];
  uint8_t abFF[12];
  uint8_t abZero2[2];
  int32_t nMinusOne;
  int32_t nLat;
  int32_t nLon;
};
static_assert(sizeof(GdbWaypointHead) == 35);
static_assert(offsetof(GdbWaypointHead, abFF) == 9);
static_assert(offsetof(GdbWaypointHead, nMinusOne) == 23);
static_assert(offsetof(GdbWaypointHead, nLat) == 27);
static_assert(offsetof(GdbWaypointHead, nLon) == 31);

// The 27-byte block after a route waypoint's name in a GDB 'R' record.
struct GdbRoutePointHead {
  uint8_t abZero[9];
  int32_t nMinusOne1;
  int32_t nMinusOne2;
  int32_t nMinusOne3;
  uint8_t abZero2[2];
  int32_t nMinusOne4;
};
static_assert(sizeof(GdbRoutePointHead) == 27);
static_assert(offsetof(GdbRoutePointHead, nMinusOne1) == 9);
static_assert(offsetof(GdbRoutePointHead, nMinusOne2) == 13);
static_assert(offsetof(GdbRoutePointHead, nMinusOne3) == 17);
static_assert(offsetof(GdbRoutePointHead, nMinusOne4) == 23);

// The 23-byte link block that follows it.
struct GdbRouteLinkHead {
  uint8_t btZero;
  uint8_t btThree;
  uint8_t abZero[3];
  int32_t nMinusOne;
  uint8_t abZero2[10];
  uint32_t dwPoints;  // link points that follow: 2 (0 for the last waypoint)
};
static_assert(sizeof(GdbRouteLinkHead) == 23);
static_assert(offsetof(GdbRouteLinkHead, btThree) == 1);
static_assert(offsetof(GdbRouteLinkHead, nMinusOne) == 5);
static_assert(offsetof(GdbRouteLinkHead, dwPoints) == 19);

#pragma pack(pop)

}  // namespace exchange::detail
