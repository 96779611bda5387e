// The route request handed to a map parser's FindRoute: the routing options
// it reads and the list it appends the computed points to.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Kind flags of a point made by the router (the same bits as a stored
// route point's kind).
const uint8_t c_rkManeuver = 0x01;
const uint8_t c_rkRoundabout = 0x02;   // a node passed inside a roundabout
const uint8_t c_rkConnector = 0x08;    // the departing road is a link road
const uint8_t c_rkKeep = 0x40;
const uint8_t c_rkRouter = 0x80;       // every router-made point has it
// Kinds the router produces.
const uint8_t c_rkPlain = c_rkRouter;                                    // 0x80
const uint8_t c_rkTurn = c_rkRouter | c_rkManeuver;                      // 0x81
const uint8_t c_rkInRoundabout = c_rkRouter | c_rkRoundabout;            // 0x82
const uint8_t c_rkRoundaboutEntry = c_rkRouter | c_rkRoundabout | c_rkManeuver;  // 0x83
const uint8_t c_rkKeepTurn = c_rkRouter | c_rkKeep | c_rkManeuver;       // 0xC1

// One point of a computed route, with what the route store keeps of it.
struct RouterPoint {
  int32_t x = 0;              // twice the map unit (route point coordinates)
  int32_t y = 0;
  uint8_t btKind = c_rkPlain;
  uint8_t btSpeed = 5;        // km/h of the road piece (5 at the endpoints)
  uint8_t btQuality = 0;      // road quality class 0..7
  std::u16string strLabel;    // road name, empty when none
  int32_t nLink = -1;         // road graph link, -1 at the endpoints
  uint8_t btParameter = 0;    // roundabout entry: exit number; keep: side (1 = right, 0 = left)
  float fLength = 0;          // length of the road piece, map units
  int32_t nTurnAngle = 0;     // degrees, -180..180, positive to the right
};

// Vehicles (bit of the road attribute word that forbids the road to them).
enum RouteVehicle : int32_t {
  rvPedestrian = 0,
  rvBicycle = 1,
  rvCar = 2,
  rvTaxi = 3,
  rvBus = 4,
  rvEmergency = 5,
  rvDelivery = 6,
  rvTruck = 7,
};

struct RouteOptions {
  int32_t nVehicle = rvCar;      // 0..7; other values forbid nothing
  int32_t fTimeBased = 1;        // 1: cost by travel time, 0: by length
  std::vector<RouterPoint> points;  // the search appends the leg here
  uint8_t fAvoidTolls = 0;
  uint8_t fAvoidUTurns = 0;
  uint8_t fAvoidHighways = 0;
  uint8_t fAvoidUnpaved = 0;
  // The current GPS movement, filled by the caller from the position fix:
  // valid only when the fix has a position, a course and a speed.
  bool fMotionValid = false;
  double dCourse = 0;            // degrees clockwise from north
  double dSpeedKmh = 0;
  // A piece of a longer route (a collection's leg between two crossings):
  // its ends may be closer than the least distance a route is made for.
  bool fLeg = false;
};
