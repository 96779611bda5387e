// The routing settings: how routes are calculated (style, optimisation,
// vehicle, the roads to avoid) and what guidance does around them (leaving
// the route, the lead of the maneuver announcements). They are read at each
// use, so a change applies to the next calculation.
#pragma once
#include <cstddef>
#include <cstdint>

struct RouteOptions;

enum RoutingStyle : uint32_t {
  rsRoads = 0,     // routes follow the roads
  rsStraight = 1,  // a route is its via points joined by straight lines
};

// Slider ranges of the option pages.
const uint32_t c_nMaxRoutingOptimization = 4;
const uint32_t c_nMaxAnnouncementLead = 4;
const uint32_t c_cRoutingVehicles = 8;
const uint32_t c_idsFirstVehicle = 2050;  // vehicle names, in the order of their values
const uint32_t c_idsRouteProgress = 2044;  // "Прокладка маршрута..."

struct RoutingSettings {
  uint32_t dwStyle = rsRoads;
  uint32_t dwOptimization = 0;  // 0: fastest (time); 1..4: shortest (length)
  uint32_t dwVehicle = 2;       // car
  bool fAvoidUTurns = true;
  bool fAvoidTolls = false;
  bool fAvoidHighways = false;
  bool fAvoidUnpaved = true;
  uint32_t dwOffRoute = 1;      // recalculate automatically
  uint32_t dwAnnouncementLead = 2;

  bool FollowsRoads() const { return dwStyle == rsRoads; }
  bool IsTimeBased() const { return dwOptimization == 0; }
};

// Reads every routing setting. A stored value outside its range (a vehicle
// the router has no rule for, a style or slider position no page offers)
// reads as the default, as does a value of the wrong type.
RoutingSettings ReadRoutingSettings();
// The writes of the option pages: each page writes its own values.
void WriteOffRouteSettings(const RoutingSettings& settings);   // off route, announcement lead
void WriteRouteStyleSettings(const RoutingSettings& settings); // style, optimisation, vehicle
void WriteAvoidSettings(const RoutingSettings& settings);      // the four roads to avoid

// Fills a fresh route request from the settings (vehicle, cost, avoid flags).
void FillRouteOptions(const RoutingSettings& settings, RouteOptions& request);

// The choices of what guidance does when the vehicle leaves the route, in
// the order of the list, each with the value it stores.
enum OffRouteValue : uint32_t {
  orvAskFirst = 0,      // report off route and wait
  orvRecalculate = 1,   // recalculate automatically
  orvStopGuidance = 2,  // neither: guidance stops following the route
};
struct OffRouteChoice {
  uint32_t idsText;
  uint32_t dwValue;
};
extern const OffRouteChoice c_aOffRouteChoices[];
extern const size_t c_cOffRouteChoices;
// The list item that shows a stored value: the last item carrying it, or
// -1 when none does.
int FindOffRouteChoice(uint32_t dwValue);
