// The symbols the user chose last in the symbol chooser: up to 30 in a
// ring, kept in the setting "SelectWayPointDialog" as the symbols + 1, each
// written with "%u ".
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class CSymbolRing {
 public:
  static const size_t c_cMaxSymbols = 30;

  CSymbolRing() : m_aSymbols{}, m_cSymbols(0), m_cAdded(0) {}

  // Reads the setting's text; values outside 1…221 are ignored.
  void Parse(const char16_t* pszText);
  std::u16string Format() const;
  // A successful choice: a symbol not in the ring yet replaces the slot
  // after the last one written.
  void Add(unsigned nSymbol);

  size_t Count() const { return m_cSymbols; }
  unsigned Symbol(size_t i) const { return m_aSymbols[i]; }

  // Through the settings store (loaded once by the chooser, saved after
  // every successful choice).
  void LoadFromSettings();
  void SaveToSettings() const;

 private:
  uint16_t m_aSymbols[c_cMaxSymbols];
  size_t m_cSymbols;  // slots in use
  size_t m_cAdded;    // symbols added since the ring was loaded empty: the next slot is this modulo 30
};
