// Dialogs of the map page.
#pragma once
#include <string>

#include "app/Win.h"

struct FoundObject;

// The text of the object information window: name, type, settlement,
// address, postal code, coordinates and map file, a line each (empty
// fields are left out).
std::u16string DescribeMapObject(const FoundObject& obj);
void ShowObjectInfo(HWND hOwner, const FoundObject& obj);

// The registered map collections: open one, or delete its registration.
void ShowMapCollectionsDialog(HWND hOwner);

// Implemented by the map page.
bool IsOpenMapCollection(const char16_t* pszFolder);
void CloseCurrentMap();
