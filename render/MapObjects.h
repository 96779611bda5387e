// The map object under a point of the map page: what "Properties..." and a
// double click show.
#pragma once
#include <cstdint>

#include "map/MapParser.h"
#include "view/MapPosition.h"

// The item of a nearest-first query the hit test takes: the first of the
// most specific kind (a point before a line, a line before an area), so
// that an icon inside a park or a street through a town is what the
// pointer finds; the query's count when it has none.
uint32_t ChooseHitItem(CMapQuery& query);

// The map object within nRadiusPx screen pixels of (x, y) on the view, with
// every field the reader can give; false when there is none (or no parser).
bool HitMapObject(CMapParser* pParser, const CMapPosition& view, int x, int y, int nRadiusPx, FoundObject& obj);
