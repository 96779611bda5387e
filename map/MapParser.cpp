#include "map/MapParser.h"

#include <cerrno>
#include <cstring>

#include "res/Failure.h"
#include "res/Res.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "platform/SystemError.h"
#include "view/Scales.h"

CMapParser* g_pMapParser = nullptr;

// ---------------------------------------------------------------------------
// Scales

uint32_t ScaleCodeToIndex(uint32_t wCode) {
  for (uint32_t i = uint32_t(c_nMaxScaleIndex); i >= 1; --i)
    if (uint32_t(g_cScales[i].nCode) == wCode) return i;
  return c_cNoScale;
}

uint32_t ScaleIndexToCode(uint32_t nIndex) {
  if (nIndex > uint32_t(c_nMaxScaleIndex)) nIndex = uint32_t(c_nMaxScaleIndex);
  return uint32_t(g_cScales[nIndex].nCode);
}

// ---------------------------------------------------------------------------
// Cities

// The sort key of a lowered character: the code, except that "ё" sorts
// right after "е" as in the Russian alphabet.
static uint32_t AlphabetKey(char16_t ch) {
  if (ch == u'\u0451') return 0x435u * 2 + 1;
  return uint32_t(ch) * 2;
}

uint32_t NameCharKey(char16_t ch) { return AlphabetKey(platform::ToLower(ch)); }

int CompareNamesNoCase(DWORD, const char16_t* pA, size_t cA, const char16_t* pB, size_t cB) {
  size_t c = cA < cB ? cA : cB;
  for (size_t i = 0; i < c; ++i) {
    uint32_t a = AlphabetKey(platform::ToLower(pA[i]));
    uint32_t b = AlphabetKey(platform::ToLower(pB[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  if (cA == cB) return 0;
  return cA < cB ? -1 : 1;
}

uint32_t CCitiesQuery::FindCityByNameIn(CCitiesQuery& query, const char16_t* pszText) {
  if (!pszText) return 0;
  size_t n = platform::StrLen(pszText);
  uint32_t cCities = query.GetCount();
  if (n == 0 || cCities < 2) return 0;
  DWORD dwLocale = query.GetLocale();
  uint32_t a = 0, b = cCities - 1;
  CityItem item;
  while (b - a > 1) {
    ASSERT(b != a);
    uint32_t m = (a + b) / 2;
    ASSERT(m < cCities);
    std::memset(&item, 0, sizeof item);
    query.GetItem(m, &item, c_fofName);
    item.szName[63] = 0;
    size_t cName = platform::StrLen(item.szName);
    if (CompareNamesNoCase(dwLocale, item.szName, cName, pszText, n) < 0) a = m;
    else b = m;
  }
  ASSERT(a < cCities);
  std::memset(&item, 0, sizeof item);
  query.GetItem(a, &item, c_fofName);
  item.szName[63] = 0;
  size_t cName = platform::StrLen(item.szName);
  size_t c = n < cName ? n : cName;
  if (CompareNamesNoCase(dwLocale, item.szName, c, pszText, n) >= 0) return a;
  return b;
}

// ---------------------------------------------------------------------------
// Mapped files

const uint8_t* CMappedFile::Open(const char16_t* pszPath) {
  static const uint8_t s_bEmpty[8] = {};
  if (!m_mapping.OpenRead(pszPath)) {
    m_nError = m_mapping.LastError() ? int(m_mapping.LastError()) : int(platform::c_dwErrorFileNotFound);
    return nullptr;
  }
  if (m_mapping.Size() > 0xFFFFFFFFu) {  // sizes are 32-bit in every format
    m_mapping.Close();
    m_nError = int(platform::c_dwErrorFileTooLarge);
    return nullptr;
  }
  m_cbSize = uint32_t(m_mapping.Size());
  return m_mapping.Data() ? m_mapping.Data() : s_bEmpty;
}

// ---------------------------------------------------------------------------
// Parser base

CMapParser::CMapParser(const MapOpenContext& ctx)
    : m_pFile(ctx.pFile),
      m_pData(ctx.pData),
      m_cFileSize(ctx.cbSize),
      m_szPath{},
      m_dw48(48),
      m_rect{0, 0, 0, 0},
      m_nScaleFirst(0),
      m_nScaleLast(0) {
  platform::StrCopy(m_szPath, 260, ctx.pszPath ? ctx.pszPath : u"");
}

CMapParser::CMapParser()
    : m_pFile(nullptr),
      m_pData(nullptr),
      m_cFileSize(0),
      m_szPath{},
      m_dw48(48),
      m_rect{0, 0, 0, 0},
      m_nScaleFirst(0),
      m_nScaleLast(0) {}

CMapParser::~CMapParser() {
  if (m_pFile) m_pFile->Destroy();
}

void CMapParser::GetFileName(char16_t* pszBuf) {
  platform::StrCopy(pszBuf, 261, m_szPath);
  pszBuf[260] = 0;
}

void CMapParser::GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName,
                                size_t cchName, char16_t* pszNotice, size_t cchNotice) {
  if (pwYear) *pwYear = 0;
  if (pbtMonth) *pbtMonth = 0;
  if (pbtDay) *pbtDay = 0;
  if (pszName && cchName) pszName[0] = 0;
  if (pszNotice && cchNotice) pszNotice[0] = 0;
}

bool CMapParser::FindRoute(MapPoint, MapPoint, RouteOptions*, const MapProgress*) { return false; }
bool CMapParser::SnapToRoadNet(MapPoint, bool, bool, const RouteOptions&,
                               std::vector<std::pair<uint32_t, float>>& nodes, double*) {
  nodes.clear();
  return false;
}
bool CMapParser::GetRoadNet(const RouteOptions&, const MapProgress*, const RoadNet** ppNet) {
  if (ppNet) *ppNet = nullptr;
  return false;
}
CStyleSource* CMapParser::GetDrawTypes() { return nullptr; }
CCitiesQuery* CMapParser::CreateCitiesQuery() { return nullptr; }
bool CMapParser::HasObjectsIndex() { return false; }
bool CMapParser::FindObjectType(int, uint16_t, uint16_t) { return false; }
CMapQuery* CMapParser::CreateObjectsQuery(uint32_t, int, uint16_t, uint16_t) { return nullptr; }
bool CMapParser::HasCitiesIndex() { return false; }
CMapQuery* CMapParser::FindByAddress(uint32_t, const char16_t*, const char16_t*, const char16_t*,
                                     const MapProgress*) {
  return nullptr;
}
CMapQuery* CMapParser::FindNearest(uint32_t, bool, MapPoint, uint32_t, const MapTypeFilter*, const char16_t*,
                                   const MapProgress*) {
  return nullptr;
}

// ---------------------------------------------------------------------------
// Formats

MapFormatEntry* g_pMapFormats = nullptr;

void RegisterMapFormat(MapFormatEntry* pEntry) {
  pEntry->pNext = g_pMapFormats;
  g_pMapFormats = pEntry;
}

static uint32_t GetLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool ProbeVelFile(const uint8_t* pData, uint32_t cbSize) {
  if (!pData || cbSize <= 563) return false;
  if (std::memcmp(pData, "GVEL", 4) != 0) return false;
  if (GetLe32(pData + 4) > 4) return false;
  return GetLe32(pData + 8) == cbSize;
}

bool ProbeImgFile(const uint8_t* pData, uint32_t cbSize) {
  if (!pData || cbSize <= 21) return false;
  uint8_t btKey = uint8_t(pData[16] ^ 0x44);
  static const char c_szSig[6] = {'D', 'S', 'K', 'I', 'M', 'G'};
  for (int i = 0; i < 6; ++i)
    if (uint8_t(pData[16 + i] ^ btKey) != uint8_t(c_szSig[i])) return false;
  return true;
}

bool ProbeVidxFile(const uint8_t* pData, uint32_t cbSize) {
  if (!pData || cbSize <= 31) return false;
  if (std::memcmp(pData, "VIDX", 4) != 0) return false;
  // The version is the 16-bit field at offset 4; the header and record
  // sizes (32 and 80) follow it in the same four bytes, so a 32-bit read
  // would refuse every index that carries them.
  return (uint32_t(pData[4]) | uint32_t(pData[5]) << 8) < 2;
}

MapFormatEntry g_mfeVel = {nullptr, c_idsFormatVel, u"*.vel", u"vel", 0, nullptr, ProbeVelFile};
MapFormatEntry g_mfeImg = {nullptr, c_idsFormatImg, u"*.img", u"img", 0, nullptr, ProbeImgFile};
MapFormatEntry g_mfeVidx = {nullptr, 0, nullptr, nullptr, 0, nullptr, ProbeVidxFile};

// ---------------------------------------------------------------------------
// Opening

static void ReportCannotRead(const char16_t* pszPath, int nError) {
  ReportFailure(c_idsCannotReadFile, pszPath, uint32_t(nError));
}

static void ReportUnsupported(const char16_t* pszPath) { ReportFailure(c_idsUnsupportedFormat, pszPath, 0); }

CMapParser* OpenMapFileEx(const char16_t* pszPath, bool fReport, DWORD dwFlags, uint32_t* pidsError) {
  if (pidsError) *pidsError = 0;
  if (!pszPath) pszPath = u"";
  CMappedFile* pFile = new CMappedFile;
  const uint8_t* pData = pFile->Open(pszPath);
  if (!pData) {
    if (fReport) ReportCannotRead(pszPath, pFile->GetError());
    pFile->Destroy();
    if (pidsError) *pidsError = c_idsCannotReadFile;
    return nullptr;
  }
  uint32_t cbSize = pFile->GetSize();
  for (MapFormatEntry* p = g_pMapFormats; p; p = p->pNext) {
    if (!p->pfnProbe || !p->pfnProbe(pData, cbSize)) continue;
    if (!p->pfnCreate) break;  // the format's reader is not part of this program
    MapOpenContext ctx = {pszPath, pFile, pData, cbSize};
    CMapParser* pParser = p->pfnCreate(ctx);  // owns the file when it succeeds
    if (!pParser) break;
    if (!pParser->Open(dwFlags)) {
      delete pParser;
      // The file passed its probe but its inside is unusable: a damaged
      // file, which the user is told about like any unsupported one.
      if (fReport) ReportUnsupported(pszPath);
      if (pidsError) *pidsError = c_idsUnsupportedFormat;
      return nullptr;
    }
    return pParser;
  }
  pFile->Destroy();
  if (fReport) ReportUnsupported(pszPath);
  if (pidsError) *pidsError = c_idsUnsupportedFormat;
  return nullptr;
}

CMapParser* OpenMapFile(const char16_t* pszPath, bool fReport, DWORD dwFlags) {
  return OpenMapFileEx(pszPath, fReport, dwFlags, nullptr);
}
