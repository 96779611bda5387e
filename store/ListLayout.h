// The column layout of a list dialog as kept in its setting
// ("Waypoints_Headers", "Routes_Headers"): the columns in display order,
// each written "column:width" and separated by one blank, for example
// "1:120 0:40 2:80". A text that does not describe every column exactly
// once is not used, and the dialog keeps its own layout.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

const int c_cxMaxListColumn = 4000;  // widths above are taken as damage

struct ListLayout {
  std::vector<int> anOrder;  // column index at each display position
  std::vector<int> anWidth;  // width in pixels by column index
};

// False (the layout unchanged) unless the text holds exactly cColumns
// entries naming each column once with a width 0…c_cxMaxListColumn.
bool ParseListLayout(const char16_t* pszText, size_t cColumns, ListLayout& layout);
// Empty when the layout is not consistent (orders and widths of different
// counts, a column missing or repeated).
std::u16string FormatListLayout(const ListLayout& layout);
