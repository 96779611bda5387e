#include "map/MapFiles.h"

#include <cerrno>
#include <cstring>

#include "map/MapDescription.h"
#include "res/Failure.h"
#include "res/Res.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "platform/SystemError.h"

// ---------------------------------------------------------------------------
// File patterns

static bool MatchPart(const char16_t* pPat, size_t cPat, const char16_t* pName, size_t cName) {
  size_t i = 0, j = 0;
  for (;;) {
    if (i == cPat || j == cName) return i == cPat && j == cName;
    char16_t chPat = platform::ToLower(pPat[i]);
    if (chPat == u'*') return true;
    if (chPat != u'?' && chPat != platform::ToLower(pName[j])) return false;
    ++i;
    ++j;
  }
}

static void SplitAtLastDot(const char16_t* psz, size_t& cBase, const char16_t*& pExt, size_t& cExt) {
  size_t c = platform::StrLen(psz);
  size_t iDot = c;
  for (size_t i = c; i > 0; --i)
    if (psz[i - 1] == u'.') {
      iDot = i - 1;
      break;
    }
  if (iDot == c) {
    cBase = c;
    pExt = psz + c;
    cExt = 0;
  } else {
    cBase = iDot;
    pExt = psz + iDot + 1;
    cExt = c - iDot - 1;
  }
}

bool MatchFilePattern(const char16_t* pszPattern, const char16_t* pszName) {
  if (!pszPattern || !pszName) return false;
  size_t cPatBase, cPatExt, cNameBase, cNameExt;
  const char16_t *pPatExt, *pNameExt;
  SplitAtLastDot(pszPattern, cPatBase, pPatExt, cPatExt);
  SplitAtLastDot(pszName, cNameBase, pNameExt, cNameExt);
  if (!MatchPart(pszPattern, cPatBase, pszName, cNameBase)) return false;
  return MatchPart(pPatExt, cPatExt, pNameExt, cNameExt);
}

// ---------------------------------------------------------------------------
// Open-file dialog filter

static std::u16string LoadString(uint32_t id) {
  char16_t sz[256];
  return LoadResString(id, sz, 256);
}

std::vector<MapFilterLine> BuildOpenFilter(bool fAllFormats) {
  std::vector<MapFilterLine> lines;
  std::vector<const MapFormatEntry*> formats;
  for (const MapFormatEntry* p = g_pMapFormats; p; p = p->pNext)
    if (!p->fHidden && p->pszPattern) formats.push_back(p);
  if (fAllFormats) {
    MapFilterLine all;
    all.strDescription = LoadString(c_idsAllFormats);
    for (size_t i = 0; i < formats.size(); ++i) {
      if (i) all.strPattern += u";";
      all.strPattern += formats[i]->pszPattern;
    }
    if (!formats.empty() && formats[0]->pszExtension) all.strExtension = formats[0]->pszExtension;
    lines.push_back(all);
  }
  for (const MapFormatEntry* p : formats) {
    MapFilterLine line;
    line.strDescription = p->idDescription ? LoadString(p->idDescription) : std::u16string();
    line.strDescription += u" (";
    line.strDescription += p->pszPattern;
    line.strDescription += u")";
    line.strPattern = p->pszPattern;
    if (p->pszExtension) line.strExtension = p->pszExtension;
    lines.push_back(line);
  }
  return lines;
}

std::u16string BuildOpenFilterText(bool fAllFormats) {
  std::u16string str;
  for (const MapFilterLine& line : BuildOpenFilter(fAllFormats)) {
    str += line.strDescription;
    str.push_back(0);
    str += line.strPattern;
    str.push_back(0);
  }
  str.push_back(0);
  return str;
}

// ---------------------------------------------------------------------------
// Lazy parser

CLazyMapParser::CLazyMapParser(const char16_t* pszPath, CMapParser* pInner) : m_pMapParser(pInner) {
  platform::StrCopy(m_szPath, 260, pszPath ? pszPath : u"");
  if (pInner) {
    m_rect = pInner->GetRect();
    m_nScaleFirst = pInner->GetFirstScale();
    m_nScaleLast = pInner->GetLastScale();
  }
}

CLazyMapParser::~CLazyMapParser() { delete m_pMapParser; }

void CLazyMapParser::GetFileName(char16_t* pszBuf) {
  if (m_pMapParser) m_pMapParser->GetFileName(pszBuf);
  else CMapParser::GetFileName(pszBuf);
}

bool CLazyMapParser::Open(DWORD dwFlags) { return m_pMapParser ? m_pMapParser->Open(dwFlags) : false; }

void CLazyMapParser::Draw(CDrawSink* pContext, CLabelSink* pLabels) {
  if (!platform::FileExists(m_szPath)) {
    delete m_pMapParser;
    m_pMapParser = nullptr;
    std::u16string strError = platform::SystemErrorText(platform::c_dwErrorFileNotFound);
    if (pContext) pContext->ShowMapMessage(c_idsCannotReadFile, m_szPath, strError.c_str());
    return;
  }
  if (!m_pMapParser) m_pMapParser = OpenMapFile(m_szPath, false, c_fOpenAll);
  if (m_pMapParser) m_pMapParser->Draw(pContext, pLabels);
}

void CLazyMapParser::GetLabel(int nViewOption, int nKind, uint16_t wType, uint32_t dwLabelOffset, char16_t* pszOut,
                              int* pnFlag) {
  if (m_pMapParser) {
    m_pMapParser->GetLabel(nViewOption, nKind, wType, dwLabelOffset, pszOut, pnFlag);
    return;
  }
  if (pszOut) pszOut[0] = 0;
  if (pnFlag) *pnFlag = 0;
}

void CLazyMapParser::GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName,
                                    size_t cchName, char16_t* pszNotice, size_t cchNotice) {
  if (m_pMapParser) m_pMapParser->GetDescription(pwYear, pbtMonth, pbtDay, pszName, cchName, pszNotice, cchNotice);
  else CMapParser::GetDescription(pwYear, pbtMonth, pbtDay, pszName, cchName, pszNotice, cchNotice);
}

bool CLazyMapParser::FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions,
                               const MapProgress* pProgress) {
  return m_pMapParser && m_pMapParser->FindRoute(ptStart, ptEnd, pOptions, pProgress);
}
CStyleSource* CLazyMapParser::GetDrawTypes() { return m_pMapParser ? m_pMapParser->GetDrawTypes() : nullptr; }
CCitiesQuery* CLazyMapParser::CreateCitiesQuery() {
  return m_pMapParser ? m_pMapParser->CreateCitiesQuery() : nullptr;
}
bool CLazyMapParser::HasObjectsIndex() { return m_pMapParser && m_pMapParser->HasObjectsIndex(); }
bool CLazyMapParser::FindObjectType(int nKind, uint16_t wType, uint16_t wSubCode) {
  return m_pMapParser && m_pMapParser->FindObjectType(nKind, wType, wSubCode);
}
CMapQuery* CLazyMapParser::CreateObjectsQuery(uint32_t nCity, int nKind, uint16_t wType, uint16_t wSubCode) {
  return m_pMapParser ? m_pMapParser->CreateObjectsQuery(nCity, nKind, wType, wSubCode) : nullptr;
}
bool CLazyMapParser::HasCitiesIndex() { return m_pMapParser && m_pMapParser->HasCitiesIndex(); }
CMapQuery* CLazyMapParser::FindByAddress(uint32_t nCity, const char16_t* pszZip, const char16_t* pszStreet,
                                         const char16_t* pszNumber, const MapProgress* pProgress) {
  return m_pMapParser ? m_pMapParser->FindByAddress(nCity, pszZip, pszStreet, pszNumber, pProgress) : nullptr;
}
CMapQuery* CLazyMapParser::FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                                       const MapTypeFilter* pFilter, const char16_t* pszName,
                                       const MapProgress* pProgress) {
  return m_pMapParser
             ? m_pMapParser->FindNearest(nScale, fUseScale, pt, nRadiusMetres, pFilter, pszName, pProgress)
             : nullptr;
}

// ---------------------------------------------------------------------------
// Error placeholder

CErrorMapParser::CErrorMapParser(uint32_t idMessage, const char16_t* pszPath) : m_idMessage(idMessage) {
  platform::StrCopy(m_szPath, 260, pszPath ? pszPath : u"");
  m_rect = c_rectWholePlane;
  m_nScaleFirst = 0;
  m_nScaleLast = 0xFFFFFFFFu;
}

void CErrorMapParser::Draw(CDrawSink* pContext, CLabelSink*) {
  if (pContext) pContext->ShowMapMessage(m_idMessage, m_szPath, u"");
}

void CErrorMapParser::GetLabel(int, int, uint16_t, uint32_t, char16_t* pszOut, int* pnFlag) {
  if (pszOut) pszOut[0] = 0;
  if (pnFlag) *pnFlag = 0;
}

// ---------------------------------------------------------------------------
// Opening the user's map

std::u16string CollectionIndexPath(const char16_t* pszFolder) {
  std::u16string str = pszFolder ? pszFolder : u"";
  if (str.empty() || (str.back() != u'\\' && str.back() != u'/')) str.push_back(platform::c_chPathSep);
  str += u"Index.vidx";
  return str;
}

CMapParser* OpenUserMap(const char16_t* pszPath, bool fCollection) {
  if (fCollection) {
    std::u16string strIndex = CollectionIndexPath(pszPath);
    if (!platform::FileExists(strIndex.c_str())) {
      ReportFailure(c_idsCannotReadFile, strIndex, platform::c_dwErrorFileNotFound);
      return nullptr;
    }
    CMapParser* pParser = OpenMapFile(strIndex.c_str(), true, c_fOpenAll);
    // It still opens: the members that are left are shown as indexed.
    if (pParser && CountChangedMembers(pParser) > 0) ReportFailure(c_idsCollectionChanged, pszPath, 0);
    return pParser;
  }
  CMapParser* pInner = OpenMapFile(pszPath, true, c_fOpenAll);
  if (!pInner) return nullptr;
  return new CLazyMapParser(pszPath, pInner);
}
