// Start-up steps and handles of positioning and track recording.
#pragma once
#include "app/Win.h"

void LoadGpsIcons();                 // the GPS indicator icons 101-103
void ReleaseGpsIcons();
HICON GetGpsIndicatorIconHandle();   // the icon for the indicator's state
void StartTrackRecordingAtStartup(); // when "RecordTrack" is on
void OpenTrackLog();                 // Tracks.bin in the data folder
void StartPositioning();             // opens the ports when "ScanCOMPorts" is on
