// Tracking: records positions into MapSource MPS track files (one file per
// recording, named by its local start time, in the tracks folder), split
// into numbered tracks whenever the position is lost.
#pragma once
#include <cstdint>
#include <string>

#include "gps/GpsFix.h"
#include "gps/PositionHub.h"
#include "view/MapUnits.h"

class Tracking {
 public:
  static void StartRecording();
  static void StopRecording();
  // Ends the open track record and starts the next one (never two empty
  // ones in a row).
  static void NewTrack();
  static void AddTrackPoint(const GpsFix& fix);

  static bool IsRecording();
  // Full path of the open track file (empty when none).
  static std::u16string OpenFilePath();
};

// The recorder's place in the position stream: it writes every track point
// and starts a new track at every break. The shell subscribes it at start-up.
CPositionListener& TrackRecorderListener();

// The data folder "GPS Tracks and Waypoints" under the documents folder.
std::u16string GetTracksFolder();
// Creates the tracks folder when it is missing. A folder that cannot be made
// is reported with the system's reason, as a failure told once a run (the
// recorder meets it again on every fix, the track log at start-up).
bool EnsureTracksFolder();
