// Map collections registered under "Software\Velmo\MapCollections" of the
// local machine: one subkey per collection (named after the folder's last
// path component) with the default value (the name), "Path" and "Maps".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct MapCollection {
  std::u16string strName;
  std::u16string strPath;
  uint32_t cMaps;
};

extern const char16_t c_szMapCollectionsKey[];

// Every registered collection, in registry order.
std::vector<MapCollection> ListMapCollections();
// The collection name of a folder: its last path component.
std::u16string CollectionNameOf(const std::u16string& strFolder);
// Creates or updates the subkey with the three values.
bool AddMapCollection(const std::u16string& strFolder, uint32_t cMaps);
bool SetMapCollectionCount(const std::u16string& strName, uint32_t cMaps);
bool DeleteMapCollection(const std::u16string& strName);
