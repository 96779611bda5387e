// The categories of the find dialogs' type tree, as the object name index
// groups objects: the category code of an object kind and type (0, "other
// objects", for types of no category).
#pragma once
#include <cstdint>

uint16_t VelcCategoryOf(int nKind, uint16_t wType);
