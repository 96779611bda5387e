// Text views of an IMG map for the command-line tools: the container,
// subfile and level facts, and every object of every level with its label
// after interpretation.
#pragma once
#include <cstdio>

#include "map/MapParser.h"

class CImgParser;

// The IMG reader behind a parser the format list opened, or null when the
// file is of another format.
CImgParser* AsImgParser(CMapParser* pParser);

// Prints the IMG-specific lines of `info`.
void PrintImgInfo(CImgParser* pImg, FILE* f);

// Prints every object of every level, one line each:
//   L<level> <kind> 0x<type> "<label>" <dir> <lon>,<lat> ...
// Returns false when damage cut the walk short.
bool DumpImgObjects(CImgParser* pImg, FILE* f);
