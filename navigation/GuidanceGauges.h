// The navigation gauges' view of route guidance: the names of the next and
// the last point, the distances and times still to travel, the course to
// the target and the next maneuver, computed from the guidance state and
// the current fix whenever a gauge asks.
#pragma once
#include "gauges/GaugeSources.h"
#include "gps/GpsFix.h"
#include "navigation/Guidance.h"

class CPositionHub;

// Fills info from guidance and a fix. dRecentSpeed is the recent average
// speed of moving fixes (km/h) that the times to go are reckoned with.
// False (info untouched) when no route is followed.
//
// While on the route the distances run along it (to the next significant
// point and to the end); before the first update and off the route they
// are straight lines from the position to the target and the last point.
// Times need a speed of at least 2 km/h; the course to the target needs a
// position; the relative pointer and the speed made good towards the
// target also need the fix's course (and speed).
bool FillGuidanceInfo(CGuidance& guidance, const GpsFix& fix, double dRecentSpeed, GuidanceInfo& info);

// The guidance state the program installs for its gauges: the program's
// guidance with the hub's current fix and recent speed.
class CGuidanceGauges : public CGuidanceState {
 public:
  CGuidanceGauges(CGuidance& guidance, CPositionHub& hub) : m_guidance(guidance), m_hub(hub) {}
  bool GetGuidance(GuidanceInfo& info) override;

 private:
  CGuidance& m_guidance;
  CPositionHub& m_hub;
};
