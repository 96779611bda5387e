// The find dialogs: objects of a type in a settlement, a postal address,
// the objects nearest to the map cursor, and the settlements of the map.
#pragma once
#include "app/Win.h"

// The four find commands (cmdFindInCity, cmdFindAddress, cmdFindNearest,
// cmdFindCity); false for other ids.
bool RunFindCommand(UINT id);
