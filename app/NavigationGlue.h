// Guidance and the voice in the shell (NavigationGlue.cpp).
#pragma once
#include <cstdint>
#include <string>

#include "app/Win.h"

class CGuidance;
struct Route;

CGuidance& GetGuidance();
// Start-up: the voice's queue posts to the main window; the voice hears the
// GPS events and guidance the cursor through the position hub.
void StartGuidanceAndVoice();
// Navigation to a point (stored coordinates) on a temporary "GoTo" route.
void GoToPoint(int32_t xStored, int32_t yStored);
// Navigation along a route of the store.
void FollowRoute(Route* pRoute);
void StopNavigation();
// The commands go to point, follow route and stop navigation; false for
// other ids.
bool RunNavigationCommand(UINT id);
// The point of the map's context menu (stored coordinates): the selected
// waypoint's, else the point under the pointer (MapPageWin.cpp).
bool GetMapMenuTarget(int32_t& xStored, int32_t& yStored);
// The wave file of a sound: the "wav" folder beside the program + name + ".wav".
std::u16string SoundFilePath(const char* pszName);
// "The sound device cannot play (%s). The voice prompts stay silent while it fails."
const uint32_t c_idsSoundDeviceFails = 4045;
// "Sound is unavailable: %s" on the sounds page
const uint32_t c_idsSoundUnavailable = 4044;
// True while the voice's device fails, with the system's reason.
bool GetSoundUnavailableReason(std::u16string& strReason);
// The sounds page's play: the sound's file through the system's simple
// player when its setting is on (the "Chime" alias when the file is
// missing).
void PlaySoundDirect(const char* pszName);
