#include "map/vel/VelParser.h"

#include "routing/search/RoadRouter.h"

#include <cstring>

#include "platform/Debug.h"
#include "platform/Str.h"

using namespace vel;

// The user's default locale where the map names none.
static const DWORD c_dwDefaultLocale = 1049;
static const uint32_t c_dwNoLabel = 0xFFFFFFFFu;


CMapParser* CreateVelParser(const MapOpenContext& ctx) { return new CVelParser(ctx); }

static MapFactorySetter s_factory(g_mfeVel, CreateVelParser);

CVelParser::CVelParser(const MapOpenContext& ctx)
    : CMapParser(ctx),
      m_pEnd(ctx.pData + ctx.cbSize),
      m_hdr{},
      m_fExtended(false),
      m_fGarminTypeSet(false),
      m_fLabelStyle(true),
      m_fHasRoadGraph(false),
      m_cNodeBits(0),
      m_fHasAddresses(false),
      m_fExtraAddressBit(false),
      m_dwLocale(c_dwDefaultLocale),
      m_cLevels(0),
      m_dwLabelArea(0),
      m_cLabelRefBits(0),
      m_nXBias(0),
      m_nYBias(0),
      m_fLabelTables(false),
      m_fObjectTables(false),
      m_cMaxPoints(0),
      m_pDrawTypes(nullptr) {}

CVelParser::~CVelParser() {
  delete m_pDrawTypes;
}

// ---------------------------------------------------------------------------
// Open

bool CVelParser::ReadSecondHeader() {
  const VelMainHeader* pMain = reinterpret_cast<const VelMainHeader*>(m_pData);
  m_fExtended = (pMain->dwFlags & c_fExtendedHeader) != 0;
  if (m_fExtended) {
    if (m_cFileSize < sizeof(VelExtHeader)) return false;
    std::memcpy(&m_hdr, m_pData, sizeof(VelExtHeader));
  } else {
    if (m_cFileSize < sizeof(VelLegacyHeader)) return false;
    VelLegacyHeader legacy;
    std::memcpy(&legacy, m_pData, sizeof legacy);
    std::memset(&m_hdr, 0, sizeof m_hdr);
    m_hdr.main = legacy.main;
    m_hdr.dwHuffmanOffset = legacy.dwHuffmanOffset;
    m_hdr.dwHuffmanLength = m_cFileSize > legacy.dwHuffmanOffset ? m_cFileSize - legacy.dwHuffmanOffset : 0;
    m_hdr.dwLevelTableOffset = legacy.dwLevelTableOffset;
    m_hdr.dwScales = legacy.dwScales;
    m_hdr.dwLabelAreaOffset = legacy.dwLabelAreaOffset;
    m_hdr.dwLabelRefBits = legacy.dwLabelRefBits;
    m_hdr.nXBias = legacy.nXBias;
    m_hdr.nYBias = legacy.nYBias;
    std::memcpy(m_hdr.achTypeSet, legacy.achTypeSet, 8);
    m_hdr.dwObjectIndexOffset = legacy.dwObjectIndexOffset;
    m_hdr.dwCityIndexOffset = legacy.dwCityIndexOffset;
    m_hdr.dwLocale = legacy.dwLocale;
    m_hdr.dwLabelFlags = legacy.dwLabelFlags;
    m_hdr.dwTurnCount = legacy.dwTurnCount;
    m_hdr.dwTurnTableOffset = legacy.dwTurnTableOffset;
    m_hdr.dwRoadRefBits = legacy.dwRoadRefBits;
    m_hdr.dwNodeCount = legacy.dwNodeCount;
  }
  char szTypeSet[9];
  std::memcpy(szTypeSet, m_hdr.achTypeSet, 8);
  szTypeSet[8] = 0;
  static const char c_szGarmin[] = "garmin";
  m_fGarminTypeSet = true;
  for (int i = 0; i < 7; ++i) {
    char ch = szTypeSet[i];
    if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
    if (ch != c_szGarmin[i]) m_fGarminTypeSet = false;
  }
  m_fLabelStyle = (m_hdr.dwLabelFlags & 1) == 0;
  m_dwLabelArea = m_hdr.dwLabelAreaOffset;
  m_cLabelRefBits = m_hdr.dwLabelRefBits;
  if (m_cLabelRefBits > 32) return false;
  m_dwLocale = m_hdr.dwLocale ? DWORD(m_hdr.dwLocale) : c_dwDefaultLocale;
  m_fHasRoadGraph = m_hdr.dwNodeCount != 0;
  m_cNodeBits = m_fHasRoadGraph ? BitLen(m_hdr.dwNodeCount - 1) : 0;
  m_fHasAddresses = m_hdr.dwCityIndexOffset != 0;
  m_fExtraAddressBit = (m_hdr.main.dwFlags & c_fExtraAddressBit) != 0;
  m_nXBias = m_hdr.nXBias;
  m_nYBias = m_hdr.nYBias;
  // The level table must lie inside the file.
  uint64_t cbLevels = uint64_t(m_hdr.dwScales) * sizeof(VelLevel);
  if (m_hdr.dwScales == 0 || m_hdr.dwLevelTableOffset > m_cFileSize ||
      cbLevels > m_cFileSize - m_hdr.dwLevelTableOffset)
    return false;
  m_cLevels = m_hdr.dwScales;
  return true;
}

bool CVelParser::LoadTables(DWORD dwFlags) {
  if (m_hdr.dwHuffmanOffset >= m_cFileSize) return false;
  const uint8_t* p = m_pData + m_hdr.dwHuffmanOffset;
  const uint8_t* pBlobEnd = m_pEnd;
  if (m_fExtended && m_hdr.dwHuffmanLength < uint32_t(m_pEnd - p)) pBlobEnd = p + m_hdr.dwHuffmanLength;
  if (!(dwFlags & (c_fOpenLabels | c_fOpenObjects))) return true;
  // Tables 1-4 (the object tables follow them, so they are read for both).
  for (int i = vtChars1; i <= vtLength3; ++i) {
    p = m_aTables[i].Load(p, pBlobEnd);
    if (!p) return false;
  }
  m_fLabelTables = (dwFlags & c_fOpenLabels) != 0;
  if (!(dwFlags & c_fOpenObjects)) return true;
  for (int i = vtTypesPoint; i <= vtPointCount; ++i) {
    p = m_aTables[i].Load(p, pBlobEnd);
    if (!p) return false;
  }
  if (m_fHasAddresses)
    for (CCodedValueTable& table : m_aAddressTables) {
      p = table.Load(p, pBlobEnd);
      if (!p) return false;
    }
  m_cMaxPoints = m_aTables[vtPointCount].GetMaxValue() + 1;
  m_mapPoints.assign(size_t(m_cMaxPoints) + 1, MapPoint{0, 0});
  m_pointNodes.assign(size_t(m_cMaxPoints) + 1, -1);
  m_screenPoints.assign(size_t(m_cMaxPoints) + 1, VPoint{0, 0});
  m_fObjectTables = true;
  return true;
}

bool CVelParser::Open(DWORD dwFlags) {
  if (!m_pData || m_cFileSize < sizeof(VelLegacyHeader)) return false;
  m_pEnd = m_pData + m_cFileSize;
  const VelMainHeader* pMain = reinterpret_cast<const VelMainHeader*>(m_pData);
  if (std::memcmp(pMain->achMagic, c_achMagic, 4) != 0) return false;
  if (dwFlags & c_fOpenBounds) {
    VelMainHeader main;
    std::memcpy(&main, m_pData, sizeof main);
    // Halved; the maximum rounds up so that the largest value (an east
    // bound of +180°, 2^30 map units, which is 2^31 - 1 in the header) comes
    // back whole. Even values, all the writer makes otherwise, halve exactly.
    m_rect.left = main.nLeft2 >> 1;
    m_rect.top = main.nTop2 >> 1;
    m_rect.right = int32_t((int64_t(main.nRight2) + 1) >> 1);
    m_rect.bottom = int32_t((int64_t(main.nBottom2) + 1) >> 1);
    m_nScaleFirst = ScaleCodeToIndex(main.wScaleFirst);
    m_nScaleLast = ScaleCodeToIndex(main.wScaleLast);
  }
  if (!ReadSecondHeader()) return false;
  if (!LoadTables(dwFlags)) return false;
  size_t cLabel = m_aTables[vtLength1].GetMaxValue();
  if (m_aTables[vtLength3].GetMaxValue() > cLabel) cLabel = m_aTables[vtLength3].GetMaxValue();
  m_label.assign(cLabel + 1, 0);
  return true;
}

bool CVelParser::GetLevel(uint32_t nLevel, VelLevel& level) const {
  if (nLevel >= m_cLevels) return false;
  std::memcpy(&level, m_pData + m_hdr.dwLevelTableOffset + nLevel * sizeof(VelLevel), sizeof level);
  return true;
}

uint32_t CVelParser::ChooseLevel(uint32_t nScaleIndex) const {
  uint32_t nCode = ScaleIndexToCode(nScaleIndex);
  uint32_t nLevel = 0;
  VelLevel level;
  for (uint32_t i = 0; i < m_cLevels; ++i)
    if (GetLevel(i, level) && level.wLevelCode <= nCode) nLevel = i;
  ASSERT(m_cLevels == 0 || nLevel < m_cLevels);
  return nLevel;
}

// ---------------------------------------------------------------------------
// Blocks and records

// A walk decodes at most this many points and label characters. Real maps
// spend at least a bit on almost every point and character, so they stay far
// below it; a damaged file whose codes take no bits could otherwise make one
// walk decode billions of them.
void CVelParser::ResetWork() {
  m_cWork = 0;
  m_cWorkLimit = uint64_t(m_cFileSize) * 64 + (uint64_t(1) << 22);
}

bool CVelParser::ReadBlock(const uint8_t*& pBlock, VelBlockInfo& info) const {
  if (pBlock < m_pData || pBlock >= m_pEnd || size_t(m_pEnd - pBlock) <= sizeof(CVelBlock)) return false;
  std::memcpy(&info.hdr, pBlock, sizeof(CVelBlock));
  const uint8_t* p = pBlock + sizeof(CVelBlock);
  uint32_t dwOffset = info.hdr.dwData & c_dwBlockOffsetMask;
  uint64_t cbTotal = 0;
  for (int i = 0; i < 3; ++i) {
    unsigned cBytes = BlockSizeBytes(info.hdr.dwData, i);
    if (size_t(m_pEnd - p) < cBytes) return false;
    uint32_t dw = 0;
    for (unsigned k = 0; k < cBytes; ++k) dw |= uint32_t(p[k]) << (8 * k);
    p += cBytes;
    info.adwSectionSize[i] = dw;
    info.adwSectionOffset[i] = uint32_t(dwOffset + cbTotal);
    cbTotal += dw;
  }
  pBlock = p;
  // Sections that do not lie inside the file are left empty: the block then
  // draws nothing, the walk goes on with the next one.
  if (uint64_t(dwOffset) + cbTotal > m_cFileSize)
    for (int i = 0; i < 3; ++i) info.adwSectionSize[i] = 0;
  return true;
}

MapRect VelBlockRect(const CVelBlock& hdr, uint32_t nShift) {
  int64_t l = int64_t(hdr.x) * (int64_t(1) << nShift);
  int64_t t = int64_t(hdr.y) * (int64_t(1) << nShift);
  int64_t r = l + int64_t(hdr.wWidth) * (int64_t(1) << nShift);
  int64_t b = t + int64_t(hdr.wHeight) * (int64_t(1) << nShift);
  auto clamp = [](int64_t v) -> int32_t { return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v); };
  return MapRect{clamp(l), clamp(t), clamp(r), clamp(b)};
}

size_t CVelParser::ReadText(CBitStream& bs, unsigned nCode, char16_t* pszBuf, size_t cchBuf, bool fSkipRest) const {
  const CHuffmanTable& chars = m_aTables[nCode == c_nLabelSet1 ? vtChars1 : vtChars3];
  const CHuffmanTable& lengths = m_aTables[nCode == c_nLabelSet1 ? vtLength1 : vtLength3];
  uint32_t cLen = bs.Decode(lengths);
  size_t c2 = 0;
  uint32_t i = 0;
  for (; i < cLen && !bs.IsOverrun(); ++i) {
    if (c2 + 1 >= cchBuf && !fSkipRest) break;  // nothing after the text depends on the rest
    const uint8_t* pBefore = bs.GetPtr();
    unsigned cBitBefore = bs.GetBit();
    uint32_t ch = bs.Decode(chars);
    if (c2 + 1 < cchBuf) pszBuf[c2++] = char16_t(ch);
    if (bs.GetPtr() == pBefore && bs.GetBit() == cBitBefore) {
      // A code of no bits: every remaining character is this one and the
      // stream stays where it is.
      while (++i < cLen && c2 + 1 < cchBuf) pszBuf[c2++] = char16_t(ch);
      break;
    }
  }
  m_cWork += i + 1;
  ASSERT(cchBuf == 0 || c2 < cchBuf);
  if (cchBuf) pszBuf[c2] = 0;
  return c2;
}

size_t CVelParser::ReadLabelAt(uint32_t dwOffset, char16_t* pszBuf, size_t cchBuf) const {
  if (cchBuf) pszBuf[0] = 0;
  if (!m_fLabelTables || dwOffset >= m_cFileSize) return 0;
  CBitStream bs(m_pData + dwOffset, m_pEnd);
  unsigned nCode = bs.ReadBits(2);
  size_t c = ReadText(bs, nCode == c_nLabelSet1 ? c_nLabelSet1 : c_nLabelSet3, pszBuf, cchBuf, false);
  if (bs.IsOverrun()) {
    if (cchBuf) pszBuf[0] = 0;
    return 0;
  }
  return c;
}

bool CVelParser::ReadRecord(CBitStream& bs, int nKind, const VelBlockInfo& block, uint32_t nShift, bool fFinest,
                            VelRecord& rec, char16_t* pszLabel, size_t cchLabel) {
  rec.nKind = nKind;
  rec.dwOffset = uint32_t(bs.GetPtr() - m_pData);
  rec.cLabel = 0;
  rec.dwLabelRef = c_dwNoLabel;
  if (cchLabel) pszLabel[0] = 0;
  // 1. Label.
  rec.nLabelCode = bs.ReadBits(2);
  if (rec.nLabelCode == c_nLabelSet1 || rec.nLabelCode == c_nLabelSet3) {
    rec.dwLabelRef = rec.dwOffset;
    rec.cLabel = ReadText(bs, rec.nLabelCode, pszLabel, cchLabel, true);
  } else if (rec.nLabelCode == c_nLabelShared) {
    uint32_t dwRef = bs.ReadBits(m_cLabelRefBits);
    uint64_t qwOffset = uint64_t(m_dwLabelArea) + dwRef;
    if (qwOffset >= m_cFileSize) return false;  // ends the section's walk
    rec.dwLabelRef = uint32_t(qwOffset);
    CBitStream bsLabel(m_pData + qwOffset, m_pEnd);
    unsigned nCode2 = bsLabel.ReadBits(2);
    ASSERT(nCode2 == c_nLabelSet1 || nCode2 == c_nLabelSet3);
    if (nCode2 == c_nLabelSet1 || nCode2 == c_nLabelSet3) {
      rec.cLabel = ReadText(bsLabel, nCode2, pszLabel, cchLabel, false);
      if (bsLabel.IsOverrun()) {
        rec.cLabel = 0;
        if (cchLabel) pszLabel[0] = 0;
      }
    } else {
      rec.dwLabelRef = c_dwNoLabel;
    }
  }
  // 2. Type.
  static const int c_aTypeTable[3] = {vtTypesPoint, vtTypesLine, vtTypesArea};
  rec.wType = uint16_t(bs.Decode(m_aTables[c_aTypeTable[nKind]]));
  // 3. Road graph bits.
  rec.fHasNodes = rec.fHasAttributes = false;
  rec.wRoadAttributes = 0;
  rec.cNodes = 0;
  if (nKind == rkPolyline && fFinest && m_fHasRoadGraph) {
    rec.fHasNodes = bs.ReadBits(1) != 0;
    if (rec.fHasNodes) {
      rec.fHasAttributes = bs.ReadBits(1) != 0;
      if (rec.fHasAttributes) rec.wRoadAttributes = uint16_t(bs.ReadBits(16));
    }
  }
  // 4. First point.
  uint32_t x = bs.ReadBits(BitLen(block.hdr.wWidth)) + uint32_t(block.hdr.x);
  uint32_t y = bs.ReadBits(BitLen(block.hdr.wHeight)) + uint32_t(block.hdr.y);
  MapPoint* pPoints = m_mapPoints.data();
  int32_t* pNodes = m_pointNodes.data();
  pPoints[0].x = int32_t(x << nShift);
  pPoints[0].y = int32_t(y << nShift);
  pNodes[0] = -1;
  rec.cPoints = 1;
  const uint32_t cGraphNodes = m_hdr.dwNodeCount;
  auto readNode = [&](uint32_t i) {
    pNodes[i] = -1;
    if (rec.fHasNodes && bs.ReadBits(1)) {
      uint32_t n = bs.ReadBits(m_cNodeBits);
      if (n < cGraphNodes) pNodes[i] = int32_t(n);
      ++rec.cNodes;
    }
  };
  // 5. Further points.
  if (nKind != rkPoint) {
    uint32_t cPoints = bs.Decode(m_aTables[vtPointCount]) + 1;
    ASSERT(cPoints <= m_cMaxPoints);
    if (cPoints > m_cMaxPoints) return false;
    rec.cPoints = cPoints;
    m_cWork += cPoints;
    if (m_cWork > m_cWorkLimit) return false;  // see ResetWork
    readNode(0);
    const CHuffmanTable& xDeltas = m_aTables[vtXDelta];
    const CHuffmanTable& yDeltas = m_aTables[vtYDelta];
    for (uint32_t i = 1; i < cPoints; ++i) {
      // Mostly both deltas and the node fit one load of the stream.
      uint32_t dx = 0, dy = 0, n = 0;
      bool fNode = false;
      const bool fOneLoad = bs.TryDecodeTwo(xDeltas, yDeltas, rec.fHasNodes, m_cNodeBits, dx, dy, fNode, n);
      if (!fOneLoad) {
        dx = bs.Decode(xDeltas);
        dy = bs.Decode(yDeltas);
      }
      x += dx - uint32_t(m_nXBias);
      y += dy - uint32_t(m_nYBias);
      pPoints[i].x = int32_t(x << nShift);
      pPoints[i].y = int32_t(y << nShift);
      if (fOneLoad) {
        pNodes[i] = fNode && n < cGraphNodes ? int32_t(n) : -1;
        rec.cNodes += fNode;
      } else {
        readNode(i);
      }
      if (bs.IsOverrun()) return false;
    }
  }
  // 6. Direction.
  rec.fDirection = nKind == rkPolyline && bs.ReadBits(1) != 0;
  // 7. Address block.
  rec.fHasAddress = rec.fExtraAddressBit = false;
  if (m_fHasAddresses) {
    rec.fHasAddress = bs.ReadBits(1) != 0;
    if (rec.fHasAddress) {
      if (m_fExtraAddressBit && nKind != rkPoint && fFinest) rec.fExtraAddressBit = bs.ReadBits(1) != 0;
      for (int i = 0; i < c_cAddressTables; ++i) rec.adwAddress[i] = bs.Decode(m_aAddressTables[i]);
    }
  }
  bs.AlignToByte();
  return !bs.IsOverrun();
}

bool CVelParser::ForEachObject(uint32_t nLevel, ObjectCallback pfn, void* pContext) {
  VelLevel level;
  if (!m_fObjectTables || !GetLevel(nLevel, level)) return false;
  uint32_t nShift = uint32_t(~level.wLevelCode) & 31;
  bool fFinest = nLevel + 1 == m_cLevels;
  static const int c_aKinds[3] = {rkPolygon, rkPolyline, rkPoint};
  bool fComplete = true;
  ResetWork();
  for (int iSection = 0; iSection < 3; ++iSection) {
    const uint8_t* pBlock = m_pData + level.dwFirstBlock;
    if (level.dwFirstBlock >= m_cFileSize) return false;
    for (uint32_t nBlock = 0; nBlock < level.wBlocks; ++nBlock) {
      VelBlockInfo block;
      if (!ReadBlock(pBlock, block)) return false;
      block.rect = VelBlockRect(block.hdr, nShift);
      uint32_t cb = block.adwSectionSize[iSection];
      if (!cb) continue;
      const uint8_t* pSection = m_pData + block.adwSectionOffset[iSection];
      CBitStream bs(pSection, pSection + cb);
      while (bs.GetPtr() < pSection + cb) {
        VelRecord rec;
        if (!ReadRecord(bs, c_aKinds[iSection], block, nShift, fFinest, rec, m_label.data(), m_label.size())) {
          fComplete = false;
          break;
        }
        if (!pfn(pContext, rec, m_mapPoints.data(), m_label.data(), nLevel, block)) return fComplete;
      }
    }
  }
  return fComplete;
}

// ---------------------------------------------------------------------------
// Drawing

namespace {

// The running counter of blocks and objects: Yield every 256 items.
struct YieldCounter {
  CDrawSink* pContext;
  uint32_t c = 0;
  // False when the pass was interrupted.
  bool Step() {
    if ((++c & 0xFF) == 0) {
      pContext->Yield();
      if (pContext->IsInterrupted()) return false;
    }
    return true;
  }
};

}  // namespace

namespace {
// The decoded sections kept between passes, at most this many bytes; past
// it the sections the last pass did not draw are dropped, and while it is
// still full, sections are read for one pass only.
const size_t c_cbDrawCache = size_t(24) << 20;
}  // namespace

void CVelParser::DecodeDrawSection(int nKind, const VelBlockInfo& block, uint32_t nShift, bool fFinest,
                                   DrawSection& section) {
  section.objects.clear();
  section.points.clear();
  section.labels.clear();
  const int iSection = nKind == rkPolygon ? 0 : nKind == rkPolyline ? 1 : 2;
  const uint32_t cb = block.adwSectionSize[iSection];
  if (!cb) return;
  const uint8_t* pSection = m_pData + block.adwSectionOffset[iSection];
  CBitStream bs(pSection, pSection + cb);
  char16_t* pszLabel = m_label.data();
  const size_t cchLabel = m_label.size();
  const MapPoint* pMap = m_mapPoints.data();
  while (bs.GetPtr() < pSection + cb) {
    VelRecord rec;
    if (!ReadRecord(bs, nKind, block, nShift, fFinest, rec, pszLabel, cchLabel)) break;
    if (nKind != rkPoint && rec.cPoints < 2) continue;  // nothing to draw
    DrawObject obj;
    obj.wType = rec.wType;
    obj.fDirection = rec.fDirection;
    obj.dwLabelRef = rec.dwLabelRef;
    obj.iLabel = uint32_t(section.labels.size());
    obj.cLabel = uint32_t(rec.cLabel);
    section.labels.insert(section.labels.end(), pszLabel, pszLabel + rec.cLabel);
    obj.iPoint = uint32_t(section.points.size());
    obj.cPoints = rec.cPoints;
    section.points.insert(section.points.end(), pMap, pMap + rec.cPoints);
    MapRect br{pMap[0].x, pMap[0].y, pMap[0].x, pMap[0].y};
    for (uint32_t i = 1; i < rec.cPoints; ++i) {
      if (pMap[i].x < br.left) br.left = pMap[i].x;
      if (pMap[i].x > br.right) br.right = pMap[i].x;
      if (pMap[i].y < br.top) br.top = pMap[i].y;
      if (pMap[i].y > br.bottom) br.bottom = pMap[i].y;
    }
    ASSERT(block.rect.Contains(br));
    obj.box = br;
    section.objects.push_back(obj);
  }
}

const CVelParser::DrawSection& CVelParser::GetDrawSection(int iSection, int nKind, uint32_t dwBlockHeader,
                                                          const VelBlockInfo& block, uint32_t nShift,
                                                          bool fFinest) {
  const uint64_t qwKey = (uint64_t(dwBlockHeader) << 2) | uint64_t(iSection);
  auto it = m_drawCache.find(qwKey);
  if (it != m_drawCache.end()) {
    it->second.nStamp = m_nDrawStamp;
    return it->second;
  }
  if (m_cbDrawCache >= c_cbDrawCache) {
    // Full: drop what the passes before this one drew.
    for (auto i = m_drawCache.begin(); i != m_drawCache.end();) {
      if (i->second.nStamp != m_nDrawStamp) {
        m_cbDrawCache -= i->second.Bytes();
        i = m_drawCache.erase(i);
      } else {
        ++i;
      }
    }
  }
  DecodeDrawSection(nKind, block, nShift, fFinest, m_drawScratch);
  const size_t cb = m_drawScratch.Bytes();
  if (m_cbDrawCache + cb > c_cbDrawCache) return m_drawScratch;  // this pass's view alone fills the cache
  DrawSection& section = m_drawCache[qwKey];
  section.objects.swap(m_drawScratch.objects);
  section.points.swap(m_drawScratch.points);
  section.labels.swap(m_drawScratch.labels);
  section.nStamp = m_nDrawStamp;
  m_cbDrawCache += section.Bytes();
  return section;
}

void CVelParser::Draw(CDrawSink* pContext, CLabelSink* pLabels) {
  if (!pContext || !m_fObjectTables || !m_fLabelTables || m_cLevels == 0) return;
  uint32_t nScale = uint32_t(pContext->GetScaleIndex());
  uint32_t nLevel = ChooseLevel(
      DetailScaleIndex(nScale, pContext->GetMapDetail(), [this](uint32_t i) { return ChooseLevel(i); }));
  ASSERT(nLevel < m_cLevels);
  VelLevel level;
  if (!GetLevel(nLevel, level)) return;
  uint32_t nShift = uint32_t(~level.wLevelCode) & 31;
  bool fFinest = nLevel + 1 == m_cLevels;
  ResetWork();
  ++m_nDrawStamp;

  CStyleSource* pStyles = GetDrawTypes();
  CDefaultStyles defaults;
  if (!pStyles) pStyles = &defaults;
  int f = pContext->GetScaleFactorX();
  if (f < 1) f = 1;
  const int cMinObject = 2 * f;
  const int cMinLabel = 10 * f;
  const MapRect rectView = pContext->GetVisibleRect();
  VPoint* pScreen = m_screenPoints.data();
  YieldCounter counter{pContext};
  char16_t szShown[c_cchLabelOut];

  static const int c_aKinds[3] = {rkPolygon, rkPolyline, rkPoint};
  for (int iSection = 0; iSection < 3; ++iSection) {
    const int nKind = c_aKinds[iSection];
    if (level.dwFirstBlock >= m_cFileSize) return;
    const uint8_t* pBlock = m_pData + level.dwFirstBlock;
    for (uint32_t nBlock = 0; nBlock < level.wBlocks; ++nBlock) {
      if (!counter.Step()) return;
      const uint32_t dwBlockHeader = uint32_t(pBlock - m_pData);
      VelBlockInfo block;
      if (!ReadBlock(pBlock, block)) break;  // a block past the end ends the level's walk
      block.rect = VelBlockRect(block.hdr, nShift);
      if (!block.rect.Intersects(rectView)) continue;
      if (!block.adwSectionSize[iSection]) continue;
      const DrawSection& section = GetDrawSection(iSection, nKind, dwBlockHeader, block, nShift, fFinest);
      for (const DrawObject& obj : section.objects) {
        if (!counter.Step()) return;
        const MapPoint* pMap = section.points.data() + obj.iPoint;
        // Label interpretation decides whether and what label is shown.
        int nFlag = 0;
        size_t cShown = 0;
        if (obj.cLabel)
          cShown = InterpretMapLabel(nKind, obj.wType, m_fLabelStyle, section.labels.data() + obj.iLabel, obj.cLabel,
                                     szShown, &nFlag, nScale != 0);
        if (nKind == rkPoint) {
          if (!rectView.Contains(pMap[0])) continue;
          VPoint pt = pContext->ToScreen(pMap[0].x, pMap[0].y);
          StyleHandle hIcon = pStyles->GetPointIcon(obj.wType);
          if ((hIcon || cShown) && pLabels)
            pLabels->AddPointLabel(this, obj.wType, szShown, cShown, cShown ? obj.dwLabelRef : c_dwNoLabel, pt.x,
                                   pt.y, obj.wType, pStyles->GetPointLabelStyle(obj.wType), hIcon);
          continue;
        }
        const MapRect& br = obj.box;
        if (!br.Intersects(rectView) || !pContext->IsAtLeast(br, cMinObject, cMinObject)) continue;
        bool fConverted = false;
        if (nKind == rkPolygon) {
          if (obj.wType == 0x4A || obj.wType == 0x4B) continue;
          if (m_fGarminTypeSet && obj.wType >= 1 && obj.wType <= 3) continue;
          pContext->ToScreenMany(pMap, pScreen, obj.cPoints);
          fConverted = true;
          pContext->DrawPolygon(pScreen, obj.cPoints, pStyles->GetAreaBrush(obj.wType));
        } else {
          StyleHandle hPen = pStyles->GetLinePen(obj.wType);
          if (hPen) {
            pContext->ToScreenMany(pMap, pScreen, obj.cPoints);
            fConverted = true;
            pContext->DrawPolyline(pScreen, obj.cPoints, hPen, pStyles->GetLineCorePen(obj.wType));
            if (obj.fDirection) pContext->DrawDirectionArrows(pScreen, obj.cPoints);
          }
        }
        if (cShown && pLabels && pContext->IsAtLeast(br, cMinLabel, cMinLabel)) {
          if (!fConverted) pContext->ToScreenMany(pMap, pScreen, obj.cPoints);
          if (nKind == rkPolygon)
            pLabels->AddAreaLabel(this, obj.wType, szShown, cShown, obj.dwLabelRef, pScreen, obj.cPoints, br,
                                  pStyles->GetAreaLabelStyle(obj.wType));
          else
            pLabels->AddLineLabel(this, obj.wType, nFlag != 0, szShown, cShown, obj.dwLabelRef, pScreen,
                                  obj.cPoints, br, pStyles->GetLineLabelStyle(obj.wType));
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Labels and description

void CVelParser::GetLabel(int nViewOption, int nKind, uint16_t wType, uint32_t dwLabelOffset, char16_t* pszOut,
                          int* pnFlag) {
  char16_t szRaw[64];
  size_t c = ReadLabelAt(dwLabelOffset, szRaw, 64);
  int nFlag = 0;
  if (pszOut) InterpretMapLabel(nKind, wType, m_fLabelStyle, szRaw, c, pszOut, &nFlag, nViewOption != 0);
  if (pnFlag) *pnFlag = nFlag;
}

void CVelParser::GetDescription(uint16_t* pwYear, uint8_t* pbtMonth, uint8_t* pbtDay, char16_t* pszName,
                                size_t cchName, char16_t* pszNotice, size_t cchNotice) {
  VelMainHeader main;
  std::memcpy(&main, m_pData, sizeof main);
  if (pwYear) *pwYear = main.wYear;
  if (pbtMonth) *pbtMonth = main.btMonth;
  if (pbtDay) *pbtDay = main.btDay;
  auto copy = [](char16_t* pszDst, size_t cchDst, const char16_t* pSrc, size_t cMax) {
    if (!pszDst || !cchDst) return;
    size_t c = 0;
    while (c < cMax && c + 1 < cchDst && pSrc[c]) {
      pszDst[c] = pSrc[c];
      ++c;
    }
    pszDst[c] = 0;
    pszDst[cchDst - 1] = 0;
  };
  copy(pszName, cchName, main.szName, 32);
  copy(pszNotice, cchNotice, main.szNotice, 64);
}

// ---------------------------------------------------------------------------
// Road graph

bool CVelParser::GetTurnTable(std::vector<VelTurnRecord>& turns, uint32_t* pcDropped, uint32_t* pcDamaged) const {
  turns.clear();
  if (pcDropped) *pcDropped = 0;
  if (pcDamaged) *pcDamaged = 0;
  if (!m_fHasRoadGraph || m_hdr.dwTurnCount == 0) return false;
  if (m_hdr.dwTurnTableOffset >= m_cFileSize || m_hdr.dwRoadRefBits > 32) return false;
  const uint32_t cNodes = m_hdr.dwNodeCount, cRoadBits = m_hdr.dwRoadRefBits;
  CBitStream bs(m_pData + m_hdr.dwTurnTableOffset, m_pEnd);
  // A record takes at least one bit, so the count cannot ask for more
  // records than the rest of the file holds bits.
  uint64_t cMax = uint64_t(m_cFileSize - m_hdr.dwTurnTableOffset) * 8;
  uint32_t cDropped = 0;
  for (uint32_t i = 0; i < m_hdr.dwTurnCount && i < cMax; ++i) {
    VelTurnRecord t;
    t.cFromNode = bs.ReadBits(m_cNodeBits);
    t.cNode = bs.ReadBits(m_cNodeBits);
    t.cToNode = bs.ReadBits(m_cNodeBits);
    t.cFromRoad = bs.ReadBits(cRoadBits);
    t.cToRoad = bs.ReadBits(cRoadBits);
    if (bs.ReadBits(1)) bs.ReadBits(bs.ReadBits(5));
    if (bs.IsOverrun()) break;
    ASSERT(t.cFromNode < cNodes && t.cNode < cNodes && t.cToNode < cNodes);
    ASSERT(t.cFromRoad < m_cFileSize && t.cToRoad < m_cFileSize);
    if (t.cFromNode >= cNodes || t.cNode >= cNodes || t.cToNode >= cNodes || t.cFromRoad >= m_cFileSize ||
        t.cToRoad >= m_cFileSize) {
      ++cDropped;
      continue;
    }
    turns.push_back(t);
  }
  if (pcDamaged) *pcDamaged = cDropped;
  if (pcDropped) *pcDropped = uint32_t(m_hdr.dwTurnCount - turns.size());
  return true;
}

CStyleSource* CVelParser::GetDrawTypes() {
  if (!m_pDrawTypes) m_pDrawTypes = CreateDrawTypes();
  return m_pDrawTypes;
}

uint32_t CVelParser::GetBorderKeyCount() const {
  if (!m_hdr.dwBorderKeyOffset || !m_hdr.dwBorderKeyCount || !m_hdr.dwNodeCount) return 0;
  const uint64_t cb = uint64_t(m_hdr.dwBorderKeyCount) * sizeof(VelBorderKey);
  if (m_hdr.dwBorderKeyOffset < sizeof(VelExtHeader) || m_hdr.dwBorderKeyOffset + cb > m_cFileSize) return 0;
  return m_hdr.dwBorderKeyCount;
}

VelBorderKey CVelParser::GetBorderKey(uint32_t i) const {
  VelBorderKey k{0, 0};
  if (i < GetBorderKeyCount())
    std::memcpy(&k, m_pData + m_hdr.dwBorderKeyOffset + size_t(i) * sizeof k, sizeof k);
  return k;
}
