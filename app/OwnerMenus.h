// Owner-drawn menus (app/OwnerMenus.cpp).
#pragma once
#include "app/Win.h"

// Makes the items of a menu's popups (and, unless it is a menu bar, of the
// menu itself) owner-drawn; separators stay the system's.
void MakeMenuOwnerDrawn(HMENU hMenu, bool fMenuBar);
// WM_MEASUREITEM and WM_DRAWITEM of those items; false for anything else.
bool OnMeasureMenuItem(MEASUREITEMSTRUCT* p);
bool OnDrawMenuItem(const DRAWITEMSTRUCT* p);
