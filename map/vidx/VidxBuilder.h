// Building a collection's Index.vidx from the native maps of a folder. The
// new index is written beside the old one and moved into place at the end,
// so a cancelled or failed build leaves the previous index as it was.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "map/MapParser.h"

// String ids of the build.
const uint32_t c_idsIndexOpenWillClose = 2150;  // the open collection is closed first
const uint32_t c_idsIndexCannotDelete = 2151;   // path
const uint32_t c_idsIndexingMaps = 2152;        // progress title
const uint32_t c_idsIndexCannotCreate = 2153;
const uint32_t c_idsIndexNameTooLong = 2154;    // the name length
const uint32_t c_idsIndexOutOfMemory = 2155;
const uint32_t c_idsIndexingCities = 2156;      // progress title

// What the shell lends the build: a cancel flag, the progress bar (0..100)
// and its title, both of the window pContext names. All may be null.
// Messages are reported as failures (res/Failure.h).
struct VidxBuildHost {
  volatile bool* pfCancel;
  void (*pfnSetPos)(void* pContext, int32_t nPos);
  void (*pfnSetTitle)(void* pContext, uint32_t idsTitle);
  void* pContext;
};

// Result of a build that was cancelled.
const int32_t c_nVidxCancelled = -1;

// Builds the index of the folder. Returns the number of member maps, 0
// when the index could not be written, c_nVidxCancelled when cancelled.
// (The shell closes the collection first when it is the open map.)
int32_t BuildCollectionIndex(const char16_t* pszFolder, const VidxBuildHost& host);

// Tests make the nth allocation of the city gathering fail (0: none fails),
// as when memory runs out while members are kept for the merged city list.
void SetVidxGatherAllocFailureForTests(uint32_t nFailing);

// One member's city list as the merge sees it.
class CCitiesQuery;
struct VidxCitySource {
  uint32_t nMap;            // the member's record number
  CCitiesQuery* pCities;    // its cities, in name order
};
// Writes the city part (part header and the merged entries) for the kept
// members into out; false when cancelled. Exposed for the tests.
bool WriteVidxCityPart(const std::vector<VidxCitySource>& sources, uint32_t cMaps, DWORD dwLocale,
                       std::vector<uint8_t>& out, const VidxBuildHost& host);
