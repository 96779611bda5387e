#include "store/ListLayout.h"

namespace {

bool IsPermutation(const std::vector<int>& anOrder, size_t cColumns) {
  if (anOrder.size() != cColumns) return false;
  std::vector<bool> afSeen(cColumns, false);
  for (int n : anOrder) {
    if (n < 0 || size_t(n) >= cColumns || afSeen[size_t(n)]) return false;
    afSeen[size_t(n)] = true;
  }
  return true;
}

// Reads an unsigned decimal number of at most 9 digits.
bool ReadNumber(const char16_t*& p, int& n) {
  if (*p < u'0' || *p > u'9') return false;
  n = 0;
  int cDigits = 0;
  while (*p >= u'0' && *p <= u'9') {
    if (++cDigits > 9) return false;
    n = n * 10 + int(*p - u'0');
    ++p;
  }
  return true;
}

}  // namespace

bool ParseListLayout(const char16_t* pszText, size_t cColumns, ListLayout& layout) {
  if (!pszText || cColumns == 0) return false;
  ListLayout parsed;
  parsed.anWidth.assign(cColumns, 0);
  const char16_t* p = pszText;
  while (*p) {
    if (!parsed.anOrder.empty()) {
      if (*p != u' ') return false;
      ++p;
    }
    int nColumn = 0, cx = 0;
    if (!ReadNumber(p, nColumn) || *p != u':') return false;
    ++p;
    if (!ReadNumber(p, cx)) return false;
    if (size_t(nColumn) >= cColumns || cx > c_cxMaxListColumn || parsed.anOrder.size() >= cColumns) return false;
    parsed.anOrder.push_back(nColumn);
    parsed.anWidth[size_t(nColumn)] = cx;
  }
  if (!IsPermutation(parsed.anOrder, cColumns)) return false;
  layout = parsed;
  return true;
}

std::u16string FormatListLayout(const ListLayout& layout) {
  if (layout.anWidth.size() != layout.anOrder.size() || !IsPermutation(layout.anOrder, layout.anOrder.size()))
    return std::u16string();
  std::u16string str;
  for (int nColumn : layout.anOrder) {
    if (!str.empty()) str += u' ';
    int cx = layout.anWidth[size_t(nColumn)];
    if (cx < 0) cx = 0;
    if (cx > c_cxMaxListColumn) cx = c_cxMaxListColumn;
    std::string s = std::to_string(nColumn) + ":" + std::to_string(cx);
    str.append(s.begin(), s.end());
  }
  return str;
}
