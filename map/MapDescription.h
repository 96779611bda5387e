// The About-map text: what the open map says about itself (name, date,
// rights notice) and what the program knows of it (bounds, scale range,
// file, format, size), and for a map collection its member maps.
#pragma once
#include <string>
#include <vector>

class CMapParser;

// A member map of a collection as its index lists it, and whether the file
// in the folder is still the one indexed.
struct CollectionMember {
  std::u16string strName;
  bool fMissing = false;   // no such file in the folder
  bool fReplaced = false;  // its size or write time differ from the index's
};

// The member maps of a collection; false when the parser is not a
// collection. The collection reader installs it.
typedef bool (*CollectionMembersProc)(CMapParser* pParser, std::vector<CollectionMember>* pMembers);
void SetCollectionMembersProc(CollectionMembersProc pfn);
// The members of a collection missing or replaced since its index was built
// (0 for a single map).
uint32_t CountChangedMembers(CMapParser* pParser);

// The text of the About-map page, lines separated by "\r\n"; with no
// parser, "No map is open.".
std::u16string DescribeMap(CMapParser* pParser);
