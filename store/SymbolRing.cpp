#include "store/SymbolRing.h"

#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "platform/Str.h"
#include "store/Waypoint.h"

void CSymbolRing::Parse(const char16_t* pszText) {
  m_cSymbols = m_cAdded = 0;
  if (!pszText) return;
  const char16_t* p = pszText;
  while (*p && m_cSymbols < c_cMaxSymbols) {
    while (*p == u' ') ++p;
    if (!*p) break;
    unsigned long n = 0;
    bool fDigits = false, fTooBig = false;
    while (*p >= u'0' && *p <= u'9') {
      n = n * 10 + unsigned(*p - u'0');
      fTooBig = fTooBig || n > 100000;
      fDigits = true;
      ++p;
    }
    if (!fDigits) {
      ++p;  // anything else is skipped
      continue;
    }
    if (!fTooBig && n >= 1 && n <= c_cWaypointCount) {
      m_aSymbols[m_cSymbols++] = uint16_t(n - 1);
      ++m_cAdded;
    }
  }
}

// Oldest first: read back, the ring goes on replacing the oldest.
std::u16string CSymbolRing::Format() const {
  std::u16string str;
  size_t iFirst = m_cSymbols == c_cMaxSymbols ? m_cAdded % c_cMaxSymbols : 0;
  for (size_t k = 0; k < m_cSymbols; ++k)
    str += platform::FormatStr(u"%u ", unsigned(m_aSymbols[(iFirst + k) % c_cMaxSymbols]) + 1);
  return str;
}

void CSymbolRing::Add(unsigned nSymbol) {
  if (nSymbol >= c_cWaypointCount) return;
  for (size_t i = 0; i < m_cSymbols; ++i)
    if (m_aSymbols[i] == nSymbol) return;
  size_t iSlot = m_cAdded % c_cMaxSymbols;
  m_aSymbols[iSlot] = uint16_t(nSymbol);
  if (iSlot >= m_cSymbols) m_cSymbols = iSlot + 1;
  ++m_cAdded;
}

void CSymbolRing::LoadFromSettings() {
  char16_t sz[setting::SelectWayPointDialog.cchBuf];
  GetString(setting::SelectWayPointDialog.pszName, sz, setting::SelectWayPointDialog.cchBuf,
            setting::SelectWayPointDialog.pszDefault);
  Parse(sz);
}

void CSymbolRing::SaveToSettings() const {
  SetString(setting::SelectWayPointDialog.pszName, Format().c_str());
}
