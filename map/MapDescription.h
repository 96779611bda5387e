// The About-map text: what the open map says about itself (name, date,
// rights notice) and what the program knows of it (bounds, scale range,
// file, format, size), and for a map collection its member maps.
#pragma once
#include <string>
#include <vector>

class CMapParser;

// The member maps of a collection, by their names; false when the parser is
// not a collection. The collection reader installs it.
typedef bool (*CollectionMembersProc)(CMapParser* pParser, std::vector<std::u16string>* pMembers);
void SetCollectionMembersProc(CollectionMembersProc pfn);

// The text of the About-map page, lines separated by "\r\n"; with no
// parser, "No map is open.".
std::u16string DescribeMap(CMapParser* pParser);
