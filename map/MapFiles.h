// Map file names and the stand-in parsers: the wildcard matcher for map file
// names, the open-file dialog filter built from the format list, the lazily
// opened map and the error placeholder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "map/MapParser.h"

// "*" matches the rest, "?" one character, letters compare without case;
// base and extension (split at the last ".") are matched separately.
bool MatchFilePattern(const char16_t* pszPattern, const char16_t* pszName);

// One line of the open-file dialog filter.
struct MapFilterLine {
  std::u16string strDescription;  // "Карта Garmin (*.img)"
  std::u16string strPattern;      // "*.img"
  std::u16string strExtension;    // default extension, may be empty
};
// The filter lines: with fAllFormats first a line "Все форматы" with all
// patterns joined by ";", then one line per non-hidden format with a pattern.
std::vector<MapFilterLine> BuildOpenFilter(bool fAllFormats);
// The same as the double-zero-terminated text GetOpenFileNameW takes.
std::u16string BuildOpenFilterText(bool fAllFormats);

// Wraps a map file and opens it when it is first drawn; a file that went
// away is reported on the map instead.
class CLazyMapParser : public CMapParser {
 public:
  // Takes ownership of pInner (may be null: opened on the first Draw).
  CLazyMapParser(const char16_t* pszPath, CMapParser* pInner);
  ~CLazyMapParser() override;

  void GetFileName(char16_t* pszBuf) override;
  bool Open(DWORD dwFlags) override;
  void Draw(CDrawSink* pContext, CLabelSink* pLabels) override;
  void GetLabel(int nViewOption, int nKind, uint16_t wType, uint32_t dwLabelOffset, char16_t* pszOut,
                int* pnFlag) override;
  void GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName, size_t cchName,
                      char16_t* pszNotice, size_t cchNotice) override;
  bool FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress) override;
  CStyleSource* GetDrawTypes() override;
  CCitiesQuery* CreateCitiesQuery() override;
  bool HasObjectsIndex() override;
  bool FindObjectType(int nKind, uint16_t wType, uint16_t wSubCode) override;
  CMapQuery* CreateObjectsQuery(uint32_t nCity, int nKind, uint16_t wType, uint16_t wSubCode) override;
  bool HasCitiesIndex() override;
  CMapQuery* FindByAddress(uint32_t nCity, const char16_t* pszZip, const char16_t* pszStreet,
                           const char16_t* pszNumber, const MapProgress* pProgress) override;
  CMapQuery* FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                         const MapTypeFilter* pFilter, const char16_t* pszName, const MapProgress* pProgress) override;

  CMapParser* GetInner() const { return m_pMapParser; }

 private:
  CMapParser* m_pMapParser;
};

// Stands in for a map that failed to open: draws its message instead.
class CErrorMapParser : public CMapParser {
 public:
  explicit CErrorMapParser(uint32_t idMessage, const char16_t* pszPath = nullptr);
  bool Open(DWORD) override { return true; }
  void Draw(CDrawSink* pContext, CLabelSink* pLabels) override;
  void GetLabel(int, int, uint16_t, uint32_t, char16_t* pszOut, int* pnFlag) override;
  uint32_t GetMessageId() const { return m_idMessage; }

 private:
  uint32_t m_idMessage;
};

// Opens the map the user chose: a single file wrapped in a CLazyMapParser,
// or a collection folder through its Index.vidx. Null on failure (reported).
CMapParser* OpenUserMap(const char16_t* pszPath, bool fCollection);
// The Index.vidx path of a collection folder.
std::u16string CollectionIndexPath(const char16_t* pszFolder);
