#include "map/img/ImgParser.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "res/Failure.h"
#include "res/Res.h"
#include "map/img/CodePage.h"
#include "map/img/ImgLabels.h"
#include "platform/Debug.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "view/Scales.h"

using namespace img;

CMapParser* CreateImgParser(const MapOpenContext& ctx) { return new CImgParser(ctx); }

static MapFactorySetter s_factory(g_mfeImg, CreateImgParser);

namespace {

const char c_szTreSignature[] = "GARMIN TRE";
const char c_szRgnSignature[] = "GARMIN RGN";
const char c_szLblSignature[] = "GARMIN LBL";
const char c_szNetSignature[] = "GARMIN NET";
const size_t c_cchSignature = 10;

// 24-bit units to map units, and back.
inline int32_t ToMap(int32_t n24) { return int32_t(uint32_t(n24) << 7); }
inline int32_t To24(int32_t nMap) { return nMap >> 7; }

// Keeps 24-bit values where a shift to map units cannot overflow.
inline int32_t Clamp24(int64_t v) {
  const int64_t c_nMax = int64_t(INT32_MAX) >> 7;
  const int64_t c_nMin = int64_t(INT32_MIN) >> 7;
  return int32_t(v < c_nMin ? c_nMin : v > c_nMax ? c_nMax : v);
}

inline MapRect RectToMap(const MapRect& r) { return MapRect{ToMap(r.left), ToMap(r.top), ToMap(r.right), ToMap(r.bottom)}; }

// A point of a group: centre + (delta << shift), signed 16-bit delta.
inline int32_t GroupCoord(int32_t nCentre, uint16_t wDelta, uint32_t nShift) {
  return Clamp24(int64_t(nCentre) + int64_t(int16_t(wDelta)) * (int64_t(1) << nShift));
}

// Whether [dwOffset, dwOffset + cb) lies inside a range of cbTotal bytes.
inline bool Fits(uint64_t dwOffset, uint64_t cb, uint64_t cbTotal) { return dwOffset <= cbTotal && cb <= cbTotal - dwOffset; }

// The running counter of groups: Yield every 256.
struct YieldCounter {
  CDrawSink* pContext;
  uint32_t c = 0;
  bool Step() {
    if ((++c & 0xFF) == 0) {
      pContext->Yield();
      if (pContext->IsInterrupted()) return false;
    }
    return true;
  }
};

const uint32_t c_dwNoLabel = 0;
// Label interpretation's kind for rights notices (0x1F shows as the
// copyright sign), and the view option that keeps labels in full.
const int c_nKindNotice = 3;
const int c_nViewFull = 1;

}  // namespace

bool CTreGroup::HasSection(int nSection, uint32_t& dwStart, uint32_t& cLength) const {
  switch (nSection) {
    case isPOIs: dwStart = dwPOIs, cLength = cPOIsLength; break;
    case isPoints: dwStart = dwPoints, cLength = cPointsLength; break;
    case isPolylines: dwStart = dwPolylines, cLength = cPolylinesLength; break;
    case isPolygons: dwStart = dwPolygons, cLength = cPolygonsLength; break;
    default: return false;
  }
  return dwStart != c_dwNoSection && cLength != c_dwNoSection;
}

CImgParser::CImgParser(const MapOpenContext& ctx)
    : CMapParser(ctx),
      m_pImage(ctx.pData),
      m_cbImage(ctx.cbSize),
      m_btKey(0),
      m_cbBlock(0),
      m_szMapName{},
      m_aSubfiles{},
      m_dwLocale(0),
      m_fDamaged(false),
      m_cGroups(0),
      m_dwCopyrights(0),
      m_cCopyrights(0),
      m_pRgnData(nullptr),
      m_cRgnDataLength(0),
      m_pLabels(nullptr),
      m_cbLabels(0),
      m_nLabelShift(0),
      m_btEncoding(0),
      m_nCodePage(0),
      m_pPoiProps(nullptr),
      m_cbPoiProps(0),
      m_nPoiPropsShift(0),
      m_fNetRoads(false),
      m_dwNetRoads(0),
      m_nNetShift(0),
      m_pDrawTypes(nullptr) {}

CImgParser::~CImgParser() { delete m_pDrawTypes; }

// ---------------------------------------------------------------------------
// Open

bool CImgParser::Unscramble() {
  if (!m_pData || m_cFileSize <= c_cbSignatureOffset) return false;
  m_btKey = uint8_t(m_pData[c_cbSignatureOffset] ^ c_btKeyMask);
  if (m_btKey == 0) {
    m_pImage = m_pData;
    m_cbImage = m_cFileSize;
    return true;
  }
  size_t cWords = size_t(m_cFileSize) / 4 + 1;
  m_pCopy.reset(new uint32_t[cWords]);
  uint8_t* pCopy = reinterpret_cast<uint8_t*>(m_pCopy.get());
  for (uint32_t i = 0; i < m_cFileSize; ++i) pCopy[i] = uint8_t(m_pData[i] ^ m_btKey);
  for (size_t i = m_cFileSize; i < cWords * 4; ++i) pCopy[i] = 0;
  m_pImage = pCopy;
  m_cbImage = m_cFileSize;
  return true;
}

const uint8_t* CImgParser::SubfileBytes(int nSubfile, uint32_t dwOffset, uint32_t cb) const {
  const ImgSubfile& sf = m_aSubfiles[nSubfile];
  if (!sf.fPresent || !Fits(dwOffset, cb, sf.cbSize)) return nullptr;
  return m_pImage + sf.dwOffset + dwOffset;
}

bool CImgParser::ReadFileTable() {
  ImgHeader hdr;
  if (m_cbImage < sizeof hdr) return false;
  std::memcpy(&hdr, m_pImage, sizeof hdr);
  uint32_t nExp = uint32_t(hdr.btBlockExp1) + hdr.btBlockExp2;
  if (nExp > 31) return false;
  m_cbBlock = 1u << nExp;
  uint32_t dwEnd = hdr.dwDataOffset < m_cbImage ? hdr.dwDataOffset : m_cbImage;
  static const char* const c_apszTypes[sfCount] = {"TRE", "RGN", "LBL", "NET"};
  bool fFirst = true;
  for (uint32_t dw = c_cbFileTableStart; Fits(dw, c_cbFatEntry, dwEnd); dw += c_cbFatEntry) {
    ImgFatEntry entry;
    std::memcpy(&entry, m_pImage + dw, sizeof entry);
    if (entry.btUsed != 1 || entry.btPart != 0) continue;
    // The first map is named by the first map subfile: a container may
    // open with other files (a product list) that belong to no map.
    int nType = -1;
    for (int i = 0; i < sfCount; ++i)
      if (std::memcmp(entry.achType, c_apszTypes[i], 3) == 0) nType = i;
    if (nType < 0) continue;
    if (fFirst) {
      std::memcpy(m_szMapName, entry.achName, 8);
      m_szMapName[8] = 0;
      fFirst = false;
    } else if (std::memcmp(m_szMapName, entry.achName, 8) != 0) {
      continue;  // a further map of the container
    }
    ImgSubfile& sf = m_aSubfiles[nType];
    if (sf.fPresent) continue;
    const uint64_t qwOffset = uint64_t(entry.awBlocks[0]) * m_cbBlock;
    if (qwOffset >= m_cbImage) {
      m_fDamaged = true;
      continue;
    }
    sf.fPresent = true;
    sf.dwOffset = uint32_t(qwOffset);
    sf.cbSize = entry.dwSize;
    if (sf.cbSize > m_cbImage - sf.dwOffset) {  // a truncated file: keep what is there
      sf.cbSize = m_cbImage - sf.dwOffset;
      m_fDamaged = true;
    }
  }
  return m_aSubfiles[sfTre].fPresent && m_aSubfiles[sfRgn].fPresent && m_aSubfiles[sfLbl].fPresent;
}

bool CImgParser::ReadGroups(const uint8_t* pTre, uint32_t cbTre, uint32_t dwOffset, uint32_t cbLength) {
  // Records up to the table's end, and inside the TRE.
  uint32_t cbTable = cbLength;
  if (!Fits(dwOffset, 0, cbTre)) cbTable = 0;
  else if (cbTable > cbTre - dwOffset) {
    cbTable = cbTre - dwOffset;
    m_fDamaged = true;
  }
  const uint8_t* p = pTre + dwOffset;
  uint32_t i = 0;
  uint32_t k = 0;
  const uint32_t nLast = uint32_t(m_levels.size()) - 1;
  for (uint32_t nLevel = 0; nLevel < m_levels.size(); ++nLevel) {
    ImgLevel& level = m_levels[nLevel];
    level.nFirstGroup = k;
    const uint32_t cbRecord = nLevel == nLast ? c_cbLastLevelGroupRecord : c_cbGroupRecord;
    const uint32_t nShift = level.btBits >= 24 ? 0 : 24 - level.btBits;
    uint32_t cRead = 0;
    for (; cRead < level.cGroups; ++cRead) {
      ASSERT(m_fDamaged || k < m_cGroups);
      if (k >= m_cGroups || !Fits(i, c_cbLastLevelGroupRecord, cbTable)) break;
      TreGroupRecord rec = {};
      std::memcpy(&rec, p + i, c_cbLastLevelGroupRecord);
      i += cbRecord;
      CTreGroup& g = m_groups[k++];
      g.dwRgnOffset = GetLe24(rec.abRgnOffset);
      g.btSections = rec.btSections;
      g.x = SignExtend24(GetLe24(rec.abCentreX));
      g.y = SignExtend24(GetLe24(rec.abCentreY));
      g.wHalfWidth = uint16_t(rec.wHalfWidth & 0x7FFF);
      g.nHalfHeight = int16_t(rec.wHalfHeight);
      g.nLevel = nLevel;
      g.nShift = nShift;
      const int64_t lHalfW = int64_t(int16_t(g.wHalfWidth)) * (int64_t(1) << nShift);
      const int64_t lHalfH = int64_t(g.nHalfHeight) * (int64_t(1) << nShift);
      g.rect.left = Clamp24(g.x - lHalfW);
      g.rect.right = Clamp24(g.x + lHalfW);
      g.rect.top = Clamp24(g.y - lHalfH);
      g.rect.bottom = Clamp24(g.y + lHalfH);
    }
    if (cRead < level.cGroups) {
      level.cGroups = cRead;  // the table ends early: keep the groups read
      m_fDamaged = true;
    }
  }
  m_cGroups = k;
  ASSERT(m_fDamaged || i + c_cbGroupTableTail == cbLength);
  return true;
}

bool CImgParser::ReadTre(DWORD dwFlags) {
  const ImgSubfile& sf = m_aSubfiles[sfTre];
  const uint8_t* pTre = m_pImage + sf.dwOffset;
  TreHeader hdr;
  if (sf.cbSize < sizeof hdr) return false;
  std::memcpy(&hdr, pTre, sizeof hdr);
  if (std::memcmp(hdr.strSignature, c_szTreSignature, c_cchSignature) != 0) return false;
  if (hdr.wHeaderLength < c_cbMinTreHeader) return false;
  const int32_t nNorth = SignExtend24(GetLe24(hdr.abNorth));
  const int32_t nEast = SignExtend24(GetLe24(hdr.abEast));
  const int32_t nSouth = SignExtend24(GetLe24(hdr.abSouth));
  const int32_t nWest = SignExtend24(GetLe24(hdr.abWest));

  // Levels.
  uint32_t cLevels = hdr.dwLevelsLength / sizeof(TreLevel);
  if (!Fits(hdr.dwLevelsOffset, uint64_t(cLevels) * sizeof(TreLevel), sf.cbSize)) {
    m_fDamaged = true;
    cLevels = Fits(hdr.dwLevelsOffset, 0, sf.cbSize) ? (sf.cbSize - hdr.dwLevelsOffset) / sizeof(TreLevel) : 0;
  }
  if (cLevels == 0) return false;
  uint64_t cGroups = 0;
  m_levels.resize(cLevels);
  for (uint32_t i = 0; i < cLevels; ++i) {
    TreLevel lv;
    std::memcpy(&lv, pTre + hdr.dwLevelsOffset + i * sizeof lv, sizeof lv);
    m_levels[i] = ImgLevel{lv.btZoom, lv.btBits, (lv.btZoom & c_btInheritedLevel) != 0, lv.wGroups, 0};
    cGroups += lv.wGroups;
  }
  // No more groups than the table can hold, and the table inside the TRE.
  uint64_t cbTable = hdr.dwGroupsLength;
  if (!Fits(hdr.dwGroupsOffset, 0, sf.cbSize)) cbTable = 0;
  else if (cbTable > sf.cbSize - hdr.dwGroupsOffset) cbTable = sf.cbSize - hdr.dwGroupsOffset;
  uint64_t cFit = cbTable / c_cbLastLevelGroupRecord;
  if (cGroups > cFit) {
    m_fDamaged = true;
    cGroups = cFit;
  }
  m_cGroups = uint32_t(cGroups);
  m_groups.reset(new CTreGroup[m_cGroups ? m_cGroups : 1]);
  std::memset(m_groups.get(), 0, sizeof(CTreGroup) * (m_cGroups ? m_cGroups : 1));
  if (!ReadGroups(pTre, sf.cbSize, hdr.dwGroupsOffset, hdr.dwGroupsLength)) return false;

  if (dwFlags & c_fOpenBounds) {
    m_rect.left = ToMap(nWest);
    m_rect.top = ToMap(nSouth);
    m_rect.right = ToMap(nEast);
    m_rect.bottom = ToMap(nNorth);
    int nMaxBits = -1, nMinBits = 256;
    for (const ImgLevel& lv : m_levels) {
      if (lv.fInherited) continue;
      if (lv.btBits > nMaxBits) nMaxBits = lv.btBits;
      if (lv.btBits < nMinBits) nMinBits = lv.btBits;
    }
    if (nMaxBits >= 0) {
      m_nScaleFirst = ScaleCodeToIndex(uint32_t(nMaxBits));
      m_nScaleLast = ScaleCodeToIndex(uint32_t(nMinBits));
    }
  }

  // The rights notices: 3-byte label offsets.
  if (hdr.wCopyrightsRecSize == 3) {
    uint32_t c = hdr.dwCopyrightsLength / 3;
    if (!Fits(hdr.dwCopyrightsOffset, uint64_t(c) * 3, sf.cbSize)) {
      m_fDamaged = true;
      c = Fits(hdr.dwCopyrightsOffset, 0, sf.cbSize) ? (sf.cbSize - hdr.dwCopyrightsOffset) / 3 : 0;
    }
    m_dwCopyrights = hdr.dwCopyrightsOffset;
    m_cCopyrights = c;
  } else if (hdr.dwCopyrightsLength) {
    m_fDamaged = true;
  }
  return true;
}

bool CImgParser::ReadRgn() {
  const ImgSubfile& sf = m_aSubfiles[sfRgn];
  RgnHeader hdr;
  if (sf.cbSize < sizeof hdr) return false;
  std::memcpy(&hdr, m_pImage + sf.dwOffset, sizeof hdr);
  if (std::memcmp(hdr.strSignature, c_szRgnSignature, c_cchSignature) != 0) return false;
  if (hdr.wHeaderLength < c_cbMinRgnHeader) return false;
  if (!Fits(hdr.dwDataOffset, 0, sf.cbSize)) return false;
  m_pRgnData = m_pImage + sf.dwOffset + hdr.dwDataOffset;
  m_cRgnDataLength = hdr.dwDataLength;
  if (m_cRgnDataLength > sf.cbSize - hdr.dwDataOffset) {
    m_cRgnDataLength = sf.cbSize - hdr.dwDataOffset;
    m_fDamaged = true;
  }
  return true;
}

void CImgParser::ComputeSections() {
  static const uint8_t c_abFlags[isMax] = {c_fSectionPOIs, c_fSectionPoints, c_fSectionPolylines,
                                           c_fSectionPolygons};
  for (uint32_t k = 0; k < m_cGroups; ++k) {
    CTreGroup& g = m_groups[k];
    uint32_t* apdwStart[isMax] = {&g.dwPOIs, &g.dwPoints, &g.dwPolylines, &g.dwPolygons};
    uint32_t* apcLength[isMax] = {&g.cPOIsLength, &g.cPointsLength, &g.cPolylinesLength, &g.cPolygonsLength};
    for (int i = 0; i < isMax; ++i) *apdwStart[i] = *apcLength[i] = c_dwNoSection;
    int cPresent = 0;
    for (int i = 0; i < isMax; ++i)
      if (g.btSections & c_abFlags[i]) ++cPresent;
    if (cPresent == 0) continue;
    const uint64_t dwEnd = k + 1 < m_cGroups ? m_groups[k + 1].dwRgnOffset : m_cRgnDataLength;
    const uint64_t dwPointers = g.dwRgnOffset;
    const uint64_t cbPointers = uint64_t(cPresent - 1) * 2;
    if (!Fits(dwPointers, cbPointers, m_cRgnDataLength) || dwEnd > m_cRgnDataLength) {
      m_fDamaged = true;
      continue;
    }
    // Starts: the first present section right after the pointers, the
    // others where their pointer says.
    uint64_t adwStart[isMax];
    int aiPresent[isMax];
    int n = 0;
    for (int i = 0; i < isMax; ++i) {
      if (!(g.btSections & c_abFlags[i])) continue;
      adwStart[n] = n == 0 ? dwPointers + cbPointers
                           : dwPointers + GetLe16(m_pRgnData + dwPointers + 2 * uint64_t(n - 1));
      aiPresent[n++] = i;
    }
    for (int j = 0; j < n; ++j) {
      uint64_t dwStart = adwStart[j];
      uint64_t dwStop = j + 1 < n ? adwStart[j + 1] : dwEnd;
      if (dwStart > dwStop || dwStop > m_cRgnDataLength) {
        m_fDamaged = true;
        continue;
      }
      *apdwStart[aiPresent[j]] = uint32_t(dwStart);
      *apcLength[aiPresent[j]] = uint32_t(dwStop - dwStart);
    }
  }
}

bool CImgParser::ReadLbl() {
  const ImgSubfile& sf = m_aSubfiles[sfLbl];
  LblHeader hdr = {};
  if (sf.cbSize < c_cbLblHeaderNoCodePage) return false;
  std::memcpy(&hdr, m_pImage + sf.dwOffset, sf.cbSize < sizeof hdr ? c_cbLblHeaderNoCodePage : sizeof hdr);
  if (std::memcmp(hdr.strSignature, c_szLblSignature, c_cchSignature) != 0) return false;
  if (Fits(hdr.dwLabelsOffset, 0, sf.cbSize)) {
    m_pLabels = m_pImage + sf.dwOffset + hdr.dwLabelsOffset;
    m_cbLabels = hdr.dwLabelsLength;
    if (m_cbLabels > sf.cbSize - hdr.dwLabelsOffset) {
      m_cbLabels = sf.cbSize - hdr.dwLabelsOffset;
      m_fDamaged = true;
    }
  } else {
    m_fDamaged = true;
  }
  m_nLabelShift = hdr.btLabelShift;
  m_btEncoding = hdr.btEncoding;
  if (m_btEncoding != c_btEncodingSixBit && m_btEncoding != c_btEncodingEightBit &&
      m_btEncoding != c_btEncodingMultiByte) {
    char16_t szText[256];
    FormatResString(szText, 256, c_idsUnsupportedEncoding, int(m_btEncoding));
    ReportFailureText(c_idsUnsupportedEncoding, szText);
  }
  if (hdr.dwPoiPropsLength) {
    if (Fits(hdr.dwPoiPropsOffset, 0, sf.cbSize)) {
      m_pPoiProps = m_pImage + sf.dwOffset + hdr.dwPoiPropsOffset;
      m_cbPoiProps = hdr.dwPoiPropsLength;
      if (m_cbPoiProps > sf.cbSize - hdr.dwPoiPropsOffset) {
        m_cbPoiProps = sf.cbSize - hdr.dwPoiPropsOffset;
        m_fDamaged = true;
      }
    } else {
      m_fDamaged = true;
    }
  }
  m_nPoiPropsShift = hdr.btPoiPropsShift;
  m_nCodePage = hdr.wHeaderLength >= sizeof hdr && sf.cbSize >= sizeof hdr ? hdr.wCodePage : 0;
  return true;
}

void CImgParser::ReadNet() {
  const ImgSubfile& sf = m_aSubfiles[sfNet];
  if (!sf.fPresent) return;
  NetHeader hdr;
  if (sf.cbSize < sizeof hdr) return;
  std::memcpy(&hdr, m_pImage + sf.dwOffset, sizeof hdr);
  if (std::memcmp(hdr.strSignature, c_szNetSignature, c_cchSignature) != 0) return;
  if (!Fits(hdr.dwRoadsOffset, 0, sf.cbSize)) return;
  m_fNetRoads = true;
  m_dwNetRoads = hdr.dwRoadsOffset;
  m_nNetShift = hdr.btRoadShift;
}

bool CImgParser::Open(DWORD dwFlags) {
  if (!Unscramble()) return false;
  m_dwLocale = platform::GetUserDefaultLanguage();
  if (!ReadFileTable()) return false;
  if (!ReadTre(dwFlags)) return false;
  if (!ReadRgn()) return false;
  ComputeSections();
  if (!ReadLbl()) return false;
  ReadNet();
  return true;
}

uint32_t CImgParser::ChooseLevel(uint32_t nScaleIndex) const {
  if (m_levels.empty()) return 0;
  const uint32_t nCode = ScaleIndexToCode(nScaleIndex);
  uint32_t nChoice = 0;
  for (uint32_t i = 0; i < m_levels.size(); ++i) {
    if (m_levels[i].fInherited) nChoice = i + 1;
    else if (m_levels[i].btBits <= nCode) nChoice = i;
  }
  const uint32_t nLast = uint32_t(m_levels.size()) - 1;
  return nChoice > nLast ? nLast : nChoice;
}

// ---------------------------------------------------------------------------
// Records

bool CImgParser::ParsePoly(const CTreGroup& group, bool fPolygon, uint32_t dwPos, uint32_t dwEnd,
                           PolyParse& rec) const {
  if (!Fits(dwPos, c_cbMinPolyRecord, dwEnd)) return false;
  const uint8_t* p = m_pRgnData + dwPos;
  rec.dw = GetLe32(p);
  rec.wType = uint16_t(rec.dw & (fPolygon ? c_dwPolygonTypeMask : c_dwPolylineTypeMask));
  rec.x0 = GroupCoord(group.x, GetLe16(p + 4), group.nShift);
  rec.y0 = GroupCoord(group.y, GetLe16(p + 6), group.nShift);
  uint32_t cbHeader = 9;
  if (rec.dw & c_fPolyLongLength) {
    if (!Fits(dwPos, 10, dwEnd)) return false;
    rec.cbStream = GetLe16(p + 8);
    cbHeader = 10;
  } else {
    rec.cbStream = p[8];
  }
  // The header, the information byte and the stream must lie in the section.
  const uint64_t cEnd = uint64_t(dwPos) + cbHeader + 1 + rec.cbStream;
  if (cEnd > dwEnd) return false;
  ASSERT(cEnd <= m_cRgnDataLength);
  rec.btInfo = p[cbHeader];
  rec.pStream = p + cbHeader + 1;
  rec.dwNext = uint32_t(cEnd);
  return true;
}

bool CImgParser::ParsePoint(const CTreGroup& group, bool fPoi, uint32_t dwPos, uint32_t dwEnd,
                            PointParse& rec) const {
  if (!Fits(dwPos, c_cbMinPointRecord, dwEnd)) return false;
  const uint8_t* p = m_pRgnData + dwPos;
  rec.dw = GetLe32(p);
  rec.x = GroupCoord(group.x, GetLe16(p + 4), group.nShift);
  rec.y = GroupCoord(group.y, GetLe16(p + 6), group.nShift);
  uint32_t cb = c_cbMinPointRecord;
  uint8_t btSubtype = 0;
  if (fPoi && (rec.dw & c_fPoiSubtype)) {
    if (!Fits(dwPos, cb + 1, dwEnd)) return false;
    btSubtype = p[8];
    ++cb;
  }
  rec.wType = uint16_t((rec.dw & 0xFF) << 8 | btSubtype);
  rec.dwNext = dwPos + cb;
  return true;
}

bool CImgParser::ResolvePolyLabel(uint32_t dw, uint32_t& dwLabel) const {
  dwLabel = LabelOfWord(dw);
  if (!(dw & c_fPolyNetLabel)) return true;
  if (!HasNet()) return false;  // a road label without roads: no text
  const ImgSubfile& sf = m_aSubfiles[sfNet];
  const uint64_t qwRoad = uint64_t(m_dwNetRoads) + (uint64_t(dwLabel) << (m_nNetShift & 31));
  if (!Fits(qwRoad, c_cbNetRoadMin, sf.cbSize)) return false;
  dwLabel = GetLe32(m_pImage + sf.dwOffset + qwRoad) & c_dwLabelMask;
  return true;
}

bool CImgParser::ResolvePoiLabel(uint32_t dw, uint32_t& dwLabel) const {
  dwLabel = LabelOfWord(dw);
  if (!(dw & c_fPoiPropsLabel)) return true;
  if (!m_pPoiProps) return false;
  // POI property offsets have a multiplier of their own (the label
  // offset multiplier would miss or mislabel most of them).
  const uint64_t qwProps = uint64_t(dwLabel) << (m_nPoiPropsShift & 31);
  if (!Fits(qwProps, c_cbPoiPropsMin, m_cbPoiProps)) return false;
  dwLabel = GetLe32(m_pPoiProps + qwProps) & c_dwLabelMask;
  return true;
}

CoordStreamResult CImgParser::DecodePoly(const CTreGroup& group, const PolyParse& rec, bool fPolyline,
                                         MapPoint* pOut) const {
  CoordStreamInput in;
  in.pBytes = rec.pStream;
  in.cBytes = rec.cbStream;
  in.nShift = group.nShift;
  in.btInfo = rec.btInfo;
  in.fExtraBit = fPolyline && (rec.dw & c_fPolyExtraBit) != 0;
  in.x0 = rec.x0;
  in.y0 = rec.y0;
  return DecodeCoordStream(in, pOut, c_cMaxPoints);
}

// ---------------------------------------------------------------------------
// Labels

size_t CImgParser::ReadLabel(uint32_t dwLabelOffset, char16_t* pszBuf, size_t cchBuf, size_t* pcbUsed) const {
  if (pcbUsed) *pcbUsed = 0;
  if (!pszBuf || !cchBuf) return 0;
  pszBuf[0] = 0;
  // Offset 0 is the empty label: a single 0 byte, which the six-bit code
  // would read as spaces running into the next label.
  if (dwLabelOffset == 0) return 0;
  const uint64_t qwOffset = uint64_t(dwLabelOffset) << (m_nLabelShift & 31);
  if (!m_pLabels || qwOffset >= m_cbLabels) return 0;
  const uint8_t* p = m_pLabels + qwOffset;
  const size_t cb = size_t(m_cbLabels - qwOffset);
  if (m_btEncoding == c_btEncodingSixBit) return DecodeSixBitLabel(p, cb, pszBuf, cchBuf, pcbUsed);
  // Eight-bit labels in the map's code page; multi-byte labels (and those
  // of unknown encodings) likewise.
  return DecodeByteLabel(m_nCodePage, p, cb, pszBuf, cchBuf, pcbUsed);
}

void CImgParser::GetLabel(int nViewOption, int nKind, uint16_t wType, uint32_t dwLabelOffset, char16_t* pszOut,
                          int* pnFlag) {
  char16_t szRaw[c_cLabelMaxLen + 1];
  size_t cLabelLenRough = ReadLabel(dwLabelOffset, szRaw, c_cLabelMaxLen + 1);
  ASSERT(cLabelLenRough < c_cLabelMaxLen + 1);
  int nFlag = 0;
  if (pszOut) {
    pszOut[0] = 0;
    InterpretMapLabel(nKind, wType, true, szRaw, cLabelLenRough, pszOut, &nFlag, nViewOption != 0);
  }
  if (pnFlag) *pnFlag = nFlag;
}

void CImgParser::GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName,
                                size_t cchName, char16_t* pszNotice, size_t cchNotice) {
  CMapParser::GetDescription(pwYear, pbtMonth, pbtDay, pszName, cchName, pszNotice, cchNotice);
  if (!m_pImage || m_cbImage < sizeof(ImgHeader)) return;
  ImgHeader hdr;
  std::memcpy(&hdr, m_pImage, sizeof hdr);
  if (pwYear) *pwYear = uint16_t(hdr.btYear < c_btYearPivot ? 2000 + hdr.btYear : 1900 + hdr.btYear);
  if (pbtMonth) *pbtMonth = hdr.btMonth;
  if (pszName && cchName) {
    size_t c = ConvertCodePage(c_nCodePageDefault, reinterpret_cast<const uint8_t*>(hdr.achDescription),
                               sizeof hdr.achDescription, pszName, cchName);
    while (c > 0 && pszName[c - 1] == u' ') pszName[--c] = 0;  // the field is padded with spaces
  }
  if (pszNotice && cchNotice) {
    const uint8_t* pTable = SubfileBytes(sfTre, m_dwCopyrights, m_cCopyrights * 3);
    size_t c = 0;
    for (uint32_t i = 0; pTable && i < m_cCopyrights; ++i) {
      char16_t szLine[c_cchLabelOut];
      int nFlag = 0;
      GetLabel(c_nViewFull, c_nKindNotice, 0, GetLe24(pTable + 3 * i), szLine, &nFlag);
      size_t cLine = platform::StrLen(szLine);
      if (cLine == 0) continue;
      size_t cSep = c ? 2 : 0;
      if (c + cSep + cLine + 1 > cchNotice) break;  // as many as fit
      if (cSep) {
        pszNotice[c++] = u'\r';
        pszNotice[c++] = u'\n';
      }
      std::memcpy(pszNotice + c, szLine, cLine * sizeof(char16_t));
      c += cLine;
    }
    pszNotice[c] = 0;
  }
}

CStyleSource* CImgParser::GetDrawTypes() {
  if (!m_pDrawTypes) m_pDrawTypes = CreateDrawTypes();
  return m_pDrawTypes;
}

// ---------------------------------------------------------------------------
// Walking a level

bool CImgParser::ForEachObject(uint32_t nLevel, ObjectCallback pfn, void* pContext) {
  if (!m_groups || nLevel >= m_levels.size()) return false;
  MapPoint aPoints[c_cMaxPoints];
  bool fComplete = true;
  static const int c_aSections[isMax] = {isPolygons, isPolylines, isPOIs, isPoints};
  const ImgLevel& level = m_levels[nLevel];
  for (int nSection : c_aSections) {
    for (uint32_t k = level.nFirstGroup; k < level.nFirstGroup + level.cGroups && k < m_cGroups; ++k) {
      const CTreGroup& g = m_groups[k];
      uint32_t dwPos = 0, cLength = 0;
      if (!g.HasSection(nSection, dwPos, cLength)) continue;
      const uint32_t dwEnd = dwPos + cLength;
      ImgObject obj = {};
      obj.nSection = nSection;
      obj.nGroup = k;
      obj.pPoints = aPoints;
      if (nSection == isPolygons || nSection == isPolylines) {
        const bool fPolygon = nSection == isPolygons;
        obj.nKind = fPolygon ? rkPolygon : rkPolyline;
        while (dwEnd - dwPos >= c_cbMinPolyRecord) {
          PolyParse rec;
          if (!ParsePoly(g, fPolygon, dwPos, dwEnd, rec)) {
            fComplete = false;
            break;
          }
          CoordStreamResult res = DecodePoly(g, rec, !fPolygon, aPoints);
          obj.dwRecord = dwPos;
          obj.dwWord = rec.dw;
          obj.wType = rec.wType;
          obj.fLabelResolved = ResolvePolyLabel(rec.dw, obj.dwLabel);
          if (!obj.fLabelResolved) obj.dwLabel = c_dwNoLabel;
          obj.fDirection = !fPolygon && (rec.dw & c_fPolylineDirection) != 0;
          obj.fDamaged = res.fDamaged;
          obj.cEncoded = res.cEncoded;
          obj.cSpareBits = res.cSpareBits;
          obj.cPoints = uint32_t(res.cPoints);
          if (!pfn(pContext, obj)) return fComplete;
          dwPos = rec.dwNext;
        }
      } else {
        const bool fPoi = nSection == isPOIs;
        obj.nKind = rkPoint;
        while (dwEnd - dwPos >= c_cbMinPointRecord) {
          PointParse rec;
          if (!ParsePoint(g, fPoi, dwPos, dwEnd, rec)) {
            fComplete = false;
            break;
          }
          obj.dwRecord = dwPos;
          obj.dwWord = rec.dw;
          obj.wType = rec.wType;
          if (fPoi) obj.fLabelResolved = ResolvePoiLabel(rec.dw, obj.dwLabel);
          else obj.dwLabel = LabelOfWord(rec.dw), obj.fLabelResolved = true;
          if (!obj.fLabelResolved) obj.dwLabel = c_dwNoLabel;
          aPoints[0] = MapPoint{rec.x, rec.y};
          obj.cPoints = 1;
          obj.cEncoded = 1;
          if (!pfn(pContext, obj)) return fComplete;
          dwPos = rec.dwNext;
        }
      }
      if (dwPos != dwEnd) fComplete = false;  // bytes left that hold no whole record
    }
  }
  return fComplete;
}

// ---------------------------------------------------------------------------
// Drawing

void CImgParser::Draw(CDrawSink* pContext, CLabelSink* pLabels) {
  if (!pContext || !m_groups || m_levels.empty()) return;
  const uint32_t nScale = uint32_t(pContext->GetScaleIndex());
  const uint32_t nLevel = ChooseLevel(
      DetailScaleIndex(nScale, pContext->GetMapDetail(), [this](uint32_t i) { return ChooseLevel(i); }));
  const int nViewOption = int(nScale);

  CStyleSource* pStyles = GetDrawTypes();
  CDefaultStyles defaults;
  if (!pStyles) pStyles = &defaults;
  int f = pContext->GetScaleFactorX();
  if (f < 1) f = 1;
  const int cMinObject = 2 * f;
  const int cMinLabel = 10 * f;
  const MapRect rectViewMap = pContext->GetVisibleRect();
  const MapRect rectView = {To24(rectViewMap.left), To24(rectViewMap.top), To24(rectViewMap.right),
                            To24(rectViewMap.bottom)};
  MapPoint aPoints[c_cMaxPoints];
  MapPoint aMap[c_cMaxPoints];
  VPoint aScreen[c_cMaxPoints];
  char16_t szShown[c_cchLabelOut];
  YieldCounter counter{pContext};

  static const int c_aSections[isMax] = {isPolygons, isPolylines, isPOIs, isPoints};
  for (int nSection : c_aSections) {
    for (uint32_t k = 0; k < m_cGroups; ++k) {
      if (!counter.Step()) return;
      const CTreGroup& g = m_groups[k];
      uint32_t dwPos = 0, cLength = 0;
      if (g.nLevel != nLevel || !g.HasSection(nSection, dwPos, cLength) || !g.rect.Intersects(rectView)) continue;
      const uint32_t dwEnd = dwPos + cLength;

      if (nSection == isPolygons || nSection == isPolylines) {
        const bool fPolygon = nSection == isPolygons;
        const int nKind = fPolygon ? rkPolygon : rkPolyline;
        PolyParse rec;
        for (; dwEnd - dwPos >= c_cbMinPolyRecord && ParsePoly(g, fPolygon, dwPos, dwEnd, rec); dwPos = rec.dwNext) {
          if (fPolygon && (rec.wType == c_wPolygonTypeDefinitionArea || rec.wType == c_wPolygonTypeBackground ||
                           rec.wType <= c_wPolygonTypeLastHidden))
            continue;
          const CoordStreamResult res = DecodePoly(g, rec, !fPolygon, aPoints);
          const size_t cPoints = res.cPoints;
          if (cPoints < (fPolygon ? 3u : 2u)) continue;
          MapRect br = {aPoints[0].x, aPoints[0].y, aPoints[0].x, aPoints[0].y};
          for (size_t i = 1; i < cPoints; ++i) {
            if (aPoints[i].x < br.left) br.left = aPoints[i].x;
            if (aPoints[i].x > br.right) br.right = aPoints[i].x;
            if (aPoints[i].y < br.top) br.top = aPoints[i].y;
            if (aPoints[i].y > br.bottom) br.bottom = aPoints[i].y;
          }
          if (!br.Intersects(rectView)) continue;
          const MapRect brMap = RectToMap(br);
          if (!pContext->IsAtLeast(brMap, cMinObject, cMinObject)) continue;
          for (size_t i = 0; i < cPoints; ++i) aMap[i] = MapPoint{ToMap(aPoints[i].x), ToMap(aPoints[i].y)};
          bool fConverted = false;
          if (fPolygon) {
            pContext->ToScreenMany(aMap, aScreen, cPoints);
            fConverted = true;
            pContext->DrawPolygon(aScreen, cPoints, pStyles->GetAreaBrush(rec.wType));
          } else if (StyleHandle hPen = pStyles->GetLinePen(rec.wType)) {
            pContext->ToScreenMany(aMap, aScreen, cPoints);
            fConverted = true;
            pContext->DrawPolyline(aScreen, cPoints, hPen, pStyles->GetLineCorePen(rec.wType));
            if (rec.dw & c_fPolylineDirection) pContext->DrawDirectionArrows(aScreen, cPoints);
          }
          if (!pLabels) continue;
          uint32_t dwLabel = 0;
          if (!ResolvePolyLabel(rec.dw, dwLabel)) continue;
          int nFlag = 0;
          GetLabel(nViewOption, nKind, rec.wType, dwLabel, szShown, &nFlag);
          const size_t cShown = platform::StrLen(szShown);
          if (!cShown || !pContext->IsAtLeast(brMap, cMinLabel, cMinLabel)) continue;
          if (!fConverted) pContext->ToScreenMany(aMap, aScreen, cPoints);
          if (fPolygon)
            pLabels->AddAreaLabel(this, rec.wType, szShown, cShown, dwLabel, aScreen, cPoints, brMap,
                                  pStyles->GetAreaLabelStyle(rec.wType));
          else
            pLabels->AddLineLabel(this, rec.wType, nFlag != 0, szShown, cShown, dwLabel, aScreen, cPoints, brMap,
                                  pStyles->GetLineLabelStyle(rec.wType));
        }
      } else {
        const bool fPoi = nSection == isPOIs;
        PointParse rec;
        for (; dwEnd - dwPos >= c_cbMinPointRecord && ParsePoint(g, fPoi, dwPos, dwEnd, rec); dwPos = rec.dwNext) {
          if (!rectView.Contains(rec.x, rec.y)) continue;
          const VPoint pt = pContext->ToScreen(ToMap(rec.x), ToMap(rec.y));
          const StyleHandle hIcon = pStyles->GetPointIcon(rec.wType);
          uint32_t dwLabel = 0;
          size_t cShown = 0;
          szShown[0] = 0;
          const bool fLabel = fPoi ? ResolvePoiLabel(rec.dw, dwLabel) : (dwLabel = LabelOfWord(rec.dw), true);
          if (fLabel) {
            int nFlag = 0;
            GetLabel(nViewOption, rkPoint, rec.wType, dwLabel, szShown, &nFlag);
            cShown = platform::StrLen(szShown);
          }
          if ((cShown || hIcon) && pLabels)
            pLabels->AddPointLabel(this, rec.wType, szShown, cShown, cShown ? dwLabel : c_dwNoLabel, pt.x, pt.y,
                                   rec.wType, pStyles->GetPointLabelStyle(rec.wType), hIcon);
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Nearest search

class CImgNearestQuery : public CMapQuery {
 public:
  struct Item {
    uint32_t nGroup;
    uint32_t dwRecord;
    uint8_t nSection;
  };

  CImgNearestQuery(CImgParser* pParser, std::vector<Item>&& items)
      : m_pParser(pParser), m_items(std::move(items)), m_ptRef{0, 0}, m_fCosRef(1) {}

  DWORD GetLocale() override { return m_pParser->GetLocale(); }
  uint32_t GetCount() override { return uint32_t(m_items.size()); }
  bool GetItem(uint32_t nIndex, FoundObject* pObject, uint32_t dwFlags) override;
  uint32_t FindByName(const char16_t*) override { return 0; }
  void SetReference(MapPoint pt) override {
    m_ptRef = pt;
    m_fCosRef = std::cos(MapToDegrees(pt.y) * 3.14159265358979323846 / 180.0);
  }

 private:
  CImgParser* m_pParser;
  std::vector<Item> m_items;
  MapPoint m_ptRef;
  double m_fCosRef;
};

bool CImgNearestQuery::GetItem(uint32_t nIndex, FoundObject* pObject, uint32_t dwFlags) {
  if (!pObject || nIndex >= m_items.size()) return false;
  const Item& item = m_items[nIndex];
  if (item.nGroup >= m_pParser->m_cGroups) return false;
  const CTreGroup& g = m_pParser->m_groups[item.nGroup];
  uint32_t dwStart = 0, cLength = 0;
  if (!g.HasSection(item.nSection, dwStart, cLength)) return false;
  const bool fPoi = item.nSection == isPOIs;
  CImgParser::PointParse rec;
  if (!m_pParser->ParsePoint(g, fPoi, item.dwRecord, dwStart + cLength, rec)) return false;
  pObject->wType = rec.wType;
  pObject->nKind = rkPoint;
  if ((dwFlags & c_fofName) || IsNameOnlyRequest(dwFlags)) {
    pObject->szName[0] = 0;
    uint32_t dwLabel = 0;
    bool fLabel = fPoi ? m_pParser->ResolvePoiLabel(rec.dw, dwLabel) : (dwLabel = LabelOfWord(rec.dw), true);
    if (fLabel) {
      int nFlag = 0;
      m_pParser->GetLabel(c_nViewFull, rkPoint, rec.wType, dwLabel, pObject->szName, &nFlag);
    }
  }
  if (IsNameOnlyRequest(dwFlags)) return true;
  const MapPoint pt = {ToMap(rec.x), ToMap(rec.y)};
  if (dwFlags & c_fofReprPoint) pObject->xRepr = pt.x, pObject->yRepr = pt.y;
  if (dwFlags & c_fofNearestPoint) pObject->xNearest = pt.x, pObject->yNearest = pt.y;
  if (dwFlags & c_fofScale) {
    const ImgLevel& level = m_pParser->m_levels[g.nLevel];
    pObject->nScale = int16_t(ScaleCodeToIndex(level.btBits));
  }
  return true;
}

CMapQuery* CImgParser::FindNearest(uint32_t nScale, bool fUseScale, MapPoint pt, uint32_t nRadiusMetres,
                                   const MapTypeFilter* pFilter, const char16_t*, const MapProgress* pProgress) {
  if (!m_groups || m_levels.empty()) return nullptr;
  const int64_t r = MetresToMap(double(nRadiusMetres));
  double k = std::cos(MapToDegrees(pt.y) * 3.14159265358979323846 / 180.0);
  if (k < 1e-6) k = 1e-6;
  const int64_t rx = std::llround(double(r) / k);
  auto clamp32 = [](int64_t v) -> int32_t { return int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); };
  const MapRect rectSearch = {clamp32(int64_t(pt.x) - rx), clamp32(int64_t(pt.y) - r), clamp32(int64_t(pt.x) + rx),
                              clamp32(int64_t(pt.y) + r)};
  const MapRect rect24 = {To24(rectSearch.left), To24(rectSearch.top), To24(rectSearch.right), To24(rectSearch.bottom)};
  const uint32_t nLevel = fUseScale ? ChooseLevel(nScale) : uint32_t(m_levels.size()) - 1;
  const double fR2 = double(r) * double(r);

  std::vector<CImgNearestQuery::Item> items;
  const ImgLevel& level = m_levels[nLevel];
  for (uint32_t kGroup = level.nFirstGroup; kGroup < level.nFirstGroup + level.cGroups && kGroup < m_cGroups;
       ++kGroup) {
    if (pProgress && pProgress->IsCancelled()) break;
    const CTreGroup& g = m_groups[kGroup];
    if (!g.rect.Intersects(rect24)) continue;
    for (int nSection : {int(isPOIs), int(isPoints)}) {
      uint32_t dwPos = 0, cLength = 0;
      if (!g.HasSection(nSection, dwPos, cLength)) continue;
      const uint32_t dwEnd = dwPos + cLength;
      PointParse rec;
      for (; dwEnd - dwPos >= c_cbMinPointRecord && ParsePoint(g, nSection == isPOIs, dwPos, dwEnd, rec);
           dwPos = rec.dwNext) {
        if (pFilter && pFilter->cItems && !pFilter->Contains(rkPoint, rec.wType)) continue;
        const MapPoint ptObj = {ToMap(rec.x), ToMap(rec.y)};
        if (!rectSearch.Contains(ptObj)) continue;
        const double dx = double(int64_t(ptObj.x) - pt.x) * k;
        const double dy = double(int64_t(ptObj.y) - pt.y);
        if (dx * dx + dy * dy > fR2) continue;
        items.push_back(CImgNearestQuery::Item{kGroup, dwPos, uint8_t(nSection)});
      }
    }
  }
  CImgNearestQuery* pQuery = new CImgNearestQuery(this, std::move(items));
  pQuery->SetReference(pt);
  return pQuery;
}
