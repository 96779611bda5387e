// The seam between the shell and the subsystems it drives: the map page,
// drawing styles, positioning, track recording, guidance and sound. Each
// function is implemented by its subsystem's glue in app/; until a
// subsystem is part of the program its function reports "nothing there"
// (no map open, no ports open ...).
#pragma once
#include <string>

#include "app/Win.h"

bool IsMapOpen();
// The centre of the map view in degrees; false without a map page.
bool GetMapCentreDegrees(double& dLon, double& dLat);
// The map page's view, for moving it (then refresh); null without a map page.
class CMapPosition;
CMapPosition* GetMapView();
bool IsNavigationRunning();
bool ArePortsOpen();
void StartPorts();
void StopPorts();
void StartTrackRecording();
void StopTrackRecording();
void CloseTrackRecorderAfterCrash();
void ApplyNightMode();
void SetNightModeMenuBitmap(HMENU hMenu);
bool ChooseMapFile(std::u16string& path, DWORD& dwFilter);
bool RunFeatureCommand(UINT id);
void PlayNextSound();
void OnSoundDone(WPARAM wParam, LPARAM lParam);
