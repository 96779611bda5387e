// The abstract map reader and what goes with it: object kinds, the search
// result record, the query objects, the list of registered map formats and
// the read-only mapped file every reader works on.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "map/DrawSink.h"
#include "map/MapRect.h"
#include "platform/FileMapping.h"
#include "platform/WinTypes.h"

// ---------------------------------------------------------------------------
// Object kinds and type codes

enum RgnKind {
  rkPoint = 0,     // point of interest
  rkPolyline = 1,  // line: roads, rivers, borders
  rkPolygon = 2,   // area
  rkMax = 3,
};

// Scale indices 1..26 into the scale table; 0 means no scale.
const uint32_t c_cNoScale = 0;
// Map file level code -> scale index: the scale table searched from index 26
// down to 1 for an entry with that code; 0 when none matches.
uint32_t ScaleCodeToIndex(uint32_t wCode);
// The level code of a scale index (0..26); indices above 26 give the code of 26.
uint32_t ScaleIndexToCode(uint32_t nIndex);

// The detail setting moves the level a map is drawn with by whole levels:
// the scale index to choose the level for, so that the level chosen is
// nDetail levels finer (nDetail > 0) or coarser (< 0) than the one chosen
// for nScaleIndex, as far as the map has levels. choose(i) is the map's
// level choice for scale index i. The detail is bounded (it comes from the
// registry): at most c_nMaxMapDetail levels either way.
const int32_t c_nMaxMapDetail = 4;
template <class Choose>
uint32_t DetailScaleIndex(uint32_t nScaleIndex, int32_t nDetail, Choose choose) {
  const uint32_t nLast = 26;  // the coarsest scale index
  if (nScaleIndex > nLast) nScaleIndex = nLast;
  if (nDetail > c_nMaxMapDetail) nDetail = c_nMaxMapDetail;
  if (nDetail < -c_nMaxMapDetail) nDetail = -c_nMaxMapDetail;
  uint32_t nResult = nScaleIndex;
  auto nLevel = choose(nScaleIndex);
  for (; nDetail != 0; nDetail += nDetail > 0 ? -1 : 1) {
    // Finer levels lie toward smaller scale indices.
    uint32_t i = nResult;
    bool fFound = false;
    while (!fFound && (nDetail > 0 ? i > 0 : i < nLast)) {
      i = nDetail > 0 ? i - 1 : i + 1;
      fFound = choose(i) != nLevel;
    }
    if (!fFound) break;
    nResult = i;
    nLevel = choose(i);
  }
  return nResult;
}

// ---------------------------------------------------------------------------
// Search results

#pragma pack(push, 1)
// One query item decoded for the caller; fields are filled only when the
// request flags ask for them (FoundObject request flags below).
struct FoundObject {
  char16_t szName[64];     // 0   name after label interpretation
  char16_t szCity[64];     // 128 city name
  char16_t szZip[16];      // 256 postal code
  char16_t szStreet[64];   // 288 street
  char16_t szNumber[16];   // 416 house number
  char16_t szMapFile[64];  // 448 map file name without folder
  int32_t xRepr;           // 576 representative point
  int32_t yRepr;
  int32_t xNearest;        // 584 point nearest to the reference point
  int32_t yNearest;
  int16_t nScale;          // 592 scale index of the object's zoom level
  uint16_t wType;          // 594 type code (always)
  int32_t nKind;           // 596 kind (always)
};
#pragma pack(pop)
static_assert(sizeof(FoundObject) == 600, "FoundObject size");
static_assert(offsetof(FoundObject, szName) == 0, "");
static_assert(offsetof(FoundObject, szCity) == 128, "");
static_assert(offsetof(FoundObject, szZip) == 256, "");
static_assert(offsetof(FoundObject, szStreet) == 288, "");
static_assert(offsetof(FoundObject, szNumber) == 416, "");
static_assert(offsetof(FoundObject, szMapFile) == 448, "");
static_assert(offsetof(FoundObject, xRepr) == 576, "");
static_assert(offsetof(FoundObject, yRepr) == 580, "");
static_assert(offsetof(FoundObject, xNearest) == 584, "");
static_assert(offsetof(FoundObject, yNearest) == 588, "");
static_assert(offsetof(FoundObject, nScale) == 592, "");
static_assert(offsetof(FoundObject, wType) == 594, "");
static_assert(offsetof(FoundObject, nKind) == 596, "");

// Request flags of GetItem (bit n has the value 1 << n).
const uint32_t c_fofName = 1u << 1;
const uint32_t c_fofCity = 1u << 2;
const uint32_t c_fofZip = 1u << 3;
const uint32_t c_fofStreet = 1u << 4;
const uint32_t c_fofNumber = 1u << 5;
const uint32_t c_fofMapFile = 1u << 6;
const uint32_t c_fofReprPoint = 1u << 7;
const uint32_t c_fofNearestPoint = 1u << 8;
const uint32_t c_fofScale = 1u << 9;
// Requests of exactly these values decode only the name and the type.
inline bool IsNameOnlyRequest(uint32_t dwFlags) { return dwFlags == 2 || dwFlags == 3; }

// Objects and results queries share this shape (slot order).
class CMapQuery {
 public:
  CMapQuery() = default;
  virtual ~CMapQuery() = default;
  CMapQuery(const CMapQuery&) = delete;
  CMapQuery& operator=(const CMapQuery&) = delete;

  virtual DWORD GetLocale() = 0;
  virtual uint32_t GetCount() = 0;
  virtual bool GetItem(uint32_t nIndex, FoundObject* pObject, uint32_t dwFlags) = 0;
  // The objects query's name search: index of the first object whose name
  // starts with the text; the results query does nothing (returns 0).
  virtual uint32_t FindByName(const char16_t* pszText) = 0;
  // Stores the reference point for nearest-point requests with the cosine
  // of its latitude.
  virtual void SetReference(MapPoint pt) = 0;
};

// The 140-byte city item of the city index.
#pragma pack(push, 1)
struct CityItem {
  char16_t szName[64];  // 0
  int32_t x;            // 128
  int32_t y;            // 132
  int16_t nScale;       // 136
  uint8_t fHasPlace;    // 138
  uint8_t btSpare;      // 139
};
#pragma pack(pop)
static_assert(sizeof(CityItem) == 140, "CityItem size");
static_assert(offsetof(CityItem, x) == 128 && offsetof(CityItem, y) == 132, "");
static_assert(offsetof(CityItem, nScale) == 136 && offsetof(CityItem, fHasPlace) == 138, "");

class CCitiesQuery {
 public:
  CCitiesQuery() = default;
  virtual ~CCitiesQuery() = default;
  CCitiesQuery(const CCitiesQuery&) = delete;
  CCitiesQuery& operator=(const CCitiesQuery&) = delete;

  virtual DWORD GetLocale() = 0;
  virtual uint32_t GetCount() = 0;
  // Fills a caller's zero-filled item.
  virtual bool GetItem(uint32_t nIndex, CityItem* pItem, uint32_t dwFlags) = 0;
  // Binary search of the (name-sorted) cities; shared by all formats.
  // (Inline, so that the class has no key function: classes derived in
  // code built with RTTI then link against this one built without.)
  virtual uint32_t FindCityByName(const char16_t* pszText) { return FindCityByNameIn(*this, pszText); }

  static uint32_t FindCityByNameIn(CCitiesQuery& query, const char16_t* pszText);
};

// Case-insensitive comparison of two texts of given lengths in a locale
// (NORM_IGNORECASE): <0, 0, >0.
int CompareNamesNoCase(DWORD dwLocale, const char16_t* pA, size_t cA, const char16_t* pB, size_t cB);
// What CompareNamesNoCase compares a character by: two texts of one length
// compare equal exactly when their characters' keys are equal.
uint32_t NameCharKey(char16_t ch);

// A set of (kind, type code) pairs (search type filter).
struct KindType {
  int32_t nKind;
  uint16_t wType;
};
struct MapTypeFilter {
  const KindType* pItems;
  size_t cItems;
  bool Contains(int nKind, uint16_t wType) const {
    for (size_t i = 0; i < cItems; ++i)
      if (pItems[i].nKind == nKind && pItems[i].wType == wType) return true;
    return false;
  }
};

// A progress range with a cancel flag. pfnSetPos (may be null) moves the
// progress bar of the window pContext names and lets the message loop run.
struct MapProgress {
  int32_t nFrom;
  int32_t nTo;
  volatile bool* pfCancel;
  void (*pfnSetPos)(void* pContext, int32_t nPos);
  void* pContext;
  bool IsCancelled() const { return pfCancel && *pfCancel; }
  void SetPos(int32_t nPos) const {
    if (pfnSetPos) pfnSetPos(pContext, nPos);
  }
};

struct RouteOptions;  // the route request (routing options and the point list)

// ---------------------------------------------------------------------------
// Mapped files

// A read-only file mapped whole into memory for the life of its parser.
class CMappedFile {
 public:
  CMappedFile() = default;
  virtual ~CMappedFile() = default;  // unmaps the view
  CMappedFile(const CMappedFile&) = delete;
  CMappedFile& operator=(const CMappedFile&) = delete;

  // Maps the whole file; returns the bytes, or null (the system error code
  // is in GetError()). An empty file maps to a pointer to no bytes.
  virtual const uint8_t* Open(const char16_t* pszPath);
  virtual void Destroy() { delete this; }
  virtual bool Query() { return false; }

  uint32_t GetSize() const { return m_cbSize; }
  int GetError() const { return m_nError; }

 private:
  platform::CFileMapping m_mapping;
  uint32_t m_cbSize = 0;
  int m_nError = 0;
};

// ---------------------------------------------------------------------------
// Formats

class CMapParser;

// What a format's factory receives.
struct MapOpenContext {
  const char16_t* pszPath;
  CMappedFile* pFile;  // ownership passes to the parser
  const uint8_t* pData;
  uint32_t cbSize;
};

typedef CMapParser* (*MapParserFactory)(const MapOpenContext& ctx);
typedef bool (*MapFormatProbe)(const uint8_t* pData, uint32_t cbSize);

// One registered format, linked into g_pMapFormats by a static registration.
struct MapFormatEntry {
  MapFormatEntry* pNext;
  uint32_t idDescription;        // string id for the open-file dialog, or 0
  const char16_t* pszPattern;    // "*.img", or null
  const char16_t* pszExtension;  // "img", or null
  uint8_t fHidden;
  MapParserFactory pfnCreate;    // null while the format's reader is not linked in
  MapFormatProbe pfnProbe;
};
extern MapFormatEntry* g_pMapFormats;
void RegisterMapFormat(MapFormatEntry* pEntry);
struct MapFormatRegistration {
  explicit MapFormatRegistration(MapFormatEntry* p) { RegisterMapFormat(p); }
};

// The three formats. Their entries live in map/ with the probes; each
// reader fills its entry's factory (pfnCreate) by a static initialiser of its
// own (the entries are constant-initialised, so the order does not matter).
extern MapFormatEntry g_mfeVel;   // native map, "*.vel"
extern MapFormatEntry g_mfeImg;   // Garmin IMG, "*.img"
extern MapFormatEntry g_mfeVidx;  // map collection index (no pattern)
bool ProbeVelFile(const uint8_t* pData, uint32_t cbSize);
bool ProbeImgFile(const uint8_t* pData, uint32_t cbSize);
bool ProbeVidxFile(const uint8_t* pData, uint32_t cbSize);
struct MapFactorySetter {
  MapFactorySetter(MapFormatEntry& entry, MapParserFactory pfn) { entry.pfnCreate = pfn; }
};

// String ids of this part.
const uint32_t c_idsCannotReadFile = 2002;     // path, system error text
const uint32_t c_idsUnsupportedFormat = 2129;  // path
const uint32_t c_idsFormatVel = 2273;
const uint32_t c_idsFormatImg = 2274;
const uint32_t c_idsAllFormats = 2276;
const uint32_t c_idsCollectionChanged = 2184;  // folder: members removed or replaced since indexing

// Open flags.
const DWORD c_fOpenBounds = 1;
const DWORD c_fOpenLabels = 2;
const DWORD c_fOpenObjects = 4;
const DWORD c_fOpenAll = 255;

// ---------------------------------------------------------------------------
// The parser

class CMapParser {
 public:
  explicit CMapParser(const MapOpenContext& ctx);
  CMapParser(const CMapParser&) = delete;
  CMapParser& operator=(const CMapParser&) = delete;

  virtual ~CMapParser();                                      // 0
  virtual void GetFileName(char16_t* pszBuf /*261*/);         // 1
  virtual bool Open(DWORD dwFlags) = 0;                       // 2
  virtual void Draw(CDrawSink* pContext, CLabelSink* pLabels) = 0;  // 3
  // Text of the label at dwLabelOffset, interpreted, into pszOut (64 units);
  // *pnFlag receives the interpretation's flag (shield kind).
  virtual void GetLabel(int nViewOption, int nKind, uint16_t wType, uint32_t dwLabelOffset, char16_t* pszOut,
                        int* pnFlag) = 0;                     // 4
  virtual void GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName,
                              size_t cchName, char16_t* pszNotice, size_t cchNotice);  // 5
  virtual bool FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions,
                         const MapProgress* pProgress);       // 6
  virtual CStyleSource* GetDrawTypes();                       // 7
  virtual CCitiesQuery* CreateCitiesQuery();                  // 8
  virtual bool HasObjectsIndex();                             // 9
  virtual bool FindObjectType(int nKind, uint16_t wType, uint16_t wSubCode);  // 10
  virtual CMapQuery* CreateObjectsQuery(uint32_t nCity, int nKind, uint16_t wType, uint16_t wSubCode);  // 11
  virtual bool HasCitiesIndex();                              // 12
  virtual CMapQuery* FindByAddress(uint32_t nCity, const char16_t* pszZip, const char16_t* pszStreet,
                                   const char16_t* pszNumber, const MapProgress* pProgress);  // 13
  virtual CMapQuery* FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                                 const MapTypeFilter* pFilter, const char16_t* pszName,
                                 const MapProgress* pProgress);  // 14
  // The road graph as a read-only view for searches over several maps,
  // its arc costs made for the options (built, or taken from the last
  // call with the same options). False when the map has no road graph.
  virtual bool GetRoadNet(const RouteOptions& options, const MapProgress* pProgress, const struct RoadNet** ppNet);  // 15
  // The graph nodes of the road a point meets as the map's own search
  // takes it (the start, or the destination with fDestination), each with
  // the length (map units) between it and the point along the road, and
  // in *pfOffRoad how far the point lies from the road; fNext: the next
  // road instead, the one the map's own search falls back to when the
  // nearest leads nowhere. False when none.
  virtual bool SnapToRoadNet(MapPoint pt, bool fDestination, bool fNext, const RouteOptions& options,
                             std::vector<std::pair<uint32_t, float>>& nodes, double* pfOffRoad);  // 16
  // The bytes the map holds for routes (its road graph, the view of it and
  // the arrays its searches reuse); 0 when none.
  virtual size_t GetRouteMemory() { return 0; }  // 17

  const MapRect& GetRect() const { return m_rect; }
  uint32_t GetFirstScale() const { return m_nScaleFirst; }
  uint32_t GetLastScale() const { return m_nScaleLast; }
  const char16_t* GetPath() const { return m_szPath; }

 protected:
  CMapParser();  // no file (placeholders)

  CMappedFile* m_pFile;    // owned
  const uint8_t* m_pData;  // the mapped bytes
  uint32_t m_cFileSize;
  char16_t m_szPath[260];
  uint32_t m_dw48;
  MapRect m_rect;
  uint32_t m_nScaleFirst;
  uint32_t m_nScaleLast;
};

// Opens one map file: maps it, finds its format by the probes, builds the
// parser and opens it with the flags. Reports 2002 (cannot read) and 2129
// (unsupported or damaged) through the message hook when fReport is set.
// Null on failure.
CMapParser* OpenMapFile(const char16_t* pszPath, bool fReport, DWORD dwFlags);
// The same with the reason: 0 success, 2002, 2129.
CMapParser* OpenMapFileEx(const char16_t* pszPath, bool fReport, DWORD dwFlags, uint32_t* pidsError);

// The current map (GUI thread only).
extern CMapParser* g_pMapParser;
