// Where the gauges take the values other parts of the program hold: the
// position hub (speed ring, counters, clock), route guidance, the map page,
// route search and the shell. Each part fills its own slot at start-up; a
// slot that was never filled leaves its gauges showing "-".
#pragma once
#include <cstdint>

class CPositionHub;

// What route guidance knows about the route being followed. Distances in
// metres, times in days, bearings in degrees from north, speeds in km/h.
// Each value has its own validity bit; a value whose bit is clear is shown
// as "-".
enum GuidanceField : uint32_t {
  gdNextName = 0x1,
  gdFinalName = 0x2,
  gdDistanceNext = 0x4,
  gdDistanceFinal = 0x8,
  gdTimeNext = 0x10,      // time still to travel to the next point
  gdTimeFinal = 0x20,
  gdBearing = 0x40,       // course to the next point
  gdPointer = 0x80,       // that course relative to the direction of travel
  gdManeuver = 0x100,     // the next maneuver and the distance to it
  gdVmg = 0x200,          // speed towards the next point
  gdRouteName = 0x400,
};

struct GuidanceInfo {
  uint32_t dwValid;
  char16_t szNextName[64];
  char16_t szFinalName[64];
  char16_t szRouteName[64];
  double dDistanceNext, dDistanceFinal;
  double dTimeNext, dTimeFinal;
  float fBearing;
  float fPointer;          // -180 .. 180, positive to the right
  int nManeuver;           // maneuver kind 1-10 (its name is string 2093 + kind)
  double dManeuverDistance;
  float fVmg;
};

// Filled by route guidance: true and every known value while a route is
// followed, false when none is.
class CGuidanceState {
 public:
  virtual ~CGuidanceState() = default;
  virtual bool GetGuidance(GuidanceInfo& info) = 0;
};
// Installs the guidance state (null: no guidance).
void SetGuidanceState(CGuidanceState* pState);
CGuidanceState* GetGuidanceState();

// What the map page knows, set by the shell after each map change and
// drawing pass.
struct MapGaugeInfo {
  char16_t szMapFile[64];   // the file name of the shown map (empty: none)
  int cMapsInCache;         // -1 unknown
  int nMapLevel;            // -1 unknown
  int cObjectsRendered;     // -1 unknown
  int32_t nMapMs, nTrackMs, nRoutesMs, nWaypointsMs;  // last pass; -1 unknown
  int32_t nOpeningMs;       // -1 unknown
  uint32_t cFinishedPasses; // counted since start
};
void SetMapGaugeInfo(const MapGaugeInfo& info);
const MapGaugeInfo& GetMapGaugeInfo();

// The last route search in milliseconds (-1: none yet).
void SetRoutingTimeMs(int32_t nMs);
// The time from the start of the program to its main window, in ms.
void SetStartupTimeMs(int32_t nMs);

// The hub whose speed ring, counters and clock the gauges show (the
// program's hub unless a tool runs its own).
void SetGaugeHub(CPositionHub* pHub);
CPositionHub& GetGaugeHub();
