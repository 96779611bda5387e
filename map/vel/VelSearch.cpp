// The searches of the native reader over its two indexes: the city index
// (countries, regions, cities, and the postal code, street and house number
// lists that address blocks refer to) and the object name index (objects
// grouped by category and city, sorted by name); the search by address,
// and the offset-to-block map that finds the block of a record known only by
// its offset.
//
// Every table is a run of fixed-width bit records read straight from the
// mapped file. Counts that reach past the end of the file are cut to the
// records that fit, so a damaged index gives fewer results, never a read
// outside the file.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "map/vel/VelParser.h"
#include "platform/Debug.h"
#include "platform/Str.h"
#include "view/MapUnits.h"

using namespace vel;

namespace {

const bool c_fFullForm = true;  // found names keep their full form
const uint32_t c_cRecordsPerPoll = 256;
const uint32_t c_cbSubCode = 18;  // bits of a sub-code: 2 kind, 16 code
const int c_aSectionKind[3] = {rkPolygon, rkPolyline, rkPoint};

uint32_t ReadLe32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t ReadLe16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// How many records of cBits bits starting at dwOffset lie inside the file
// (at most dwNum). Records of no bits take no room: they are cut to one per
// byte of the file, more than any real table holds.
uint32_t RecordsInFile(uint32_t dwOffset, uint32_t dwNum, uint32_t cBits, uint32_t cbFile) {
  if (dwOffset >= cbFile) return 0;
  const uint64_t cFit = cBits ? uint64_t(cbFile - dwOffset) * 8 / cBits : cbFile;
  return uint32_t(std::min<uint64_t>(dwNum, cFit));
}

// Reads cBits (at most 32) at a bit position from a byte offset; the caller
// has checked that the bits lie inside the file.
uint32_t ReadBitsAt(const uint8_t* pData, const uint8_t* pEnd, uint32_t dwOffset, uint64_t nBit, uint32_t cBits) {
  CBitStream bs(pData + dwOffset + (nBit >> 3), pEnd);
  bs.ReadBits(unsigned(nBit & 7));
  return bs.ReadBits(cBits);
}

bool ContainsNoCase(DWORD dwLocale, const char16_t* psz, size_t c, const char16_t* pszWanted, size_t cWanted) {
  if (cWanted == 0) return true;
  for (size_t i = 0; i + cWanted <= c; ++i)
    if (CompareNamesNoCase(dwLocale, psz + i, cWanted, pszWanted, cWanted) == 0) return true;
  return false;
}

void CopyText(char16_t* pszDst, size_t cchDst, const char16_t* pszSrc) {
  size_t c = 0;
  while (c + 1 < cchDst && pszSrc[c]) {
    pszDst[c] = pszSrc[c];
    ++c;
  }
  pszDst[c] = 0;
}

double CosOfLatitude(int32_t y) {
  double k = std::cos(MapToDegrees(y) * 3.14159265358979323846 / 180.0);
  return k < 1e-6 ? 1e-6 : k;
}

}  // namespace

// ---------------------------------------------------------------------------
// City index

const VelCityIndexHeader& CVelParser::GetCityIndex() {
  if (m_fCityIndexRead) return m_cityIndex;
  m_fCityIndexRead = true;
  std::memset(&m_cityIndex, 0, sizeof m_cityIndex);
  const uint32_t dwOffset = m_hdr.dwCityIndexOffset;
  if (!dwOffset || dwOffset >= m_cFileSize || m_cFileSize - dwOffset < sizeof(VelCityIndexHeader)) return m_cityIndex;
  VelCityIndexHeader h;
  std::memcpy(&h, m_pData + dwOffset, sizeof h);
  const uint32_t L = m_cLabelRefBits;
  m_cCountryBits = h.dwCountriesNum ? BitLen(h.dwCountriesNum - 1) : 0;
  m_cRegionBits = h.dwRegionsNum ? BitLen(h.dwRegionsNum - 1) : 0;
  m_cityIndex = h;
  m_cityIndex.dwCountriesNum = RecordsInFile(h.dwCountriesOffset, h.dwCountriesNum, L, m_cFileSize);
  m_cityIndex.dwRegionsNum = RecordsInFile(h.dwRegionsOffset, h.dwRegionsNum, m_cCountryBits + L, m_cFileSize);
  m_cityIndex.dwCitiesNum = RecordsInFile(h.dwCitiesOffset, h.dwCitiesNum, m_cRegionBits + 1 + L, m_cFileSize);
  for (auto& list : m_cityIndex.adwLists) list[1] = RecordsInFile(list[0], list[1], L, m_cFileSize);
  return m_cityIndex;
}

bool CVelParser::HasCitiesIndex() { return m_hdr.dwCityIndexOffset != 0 && GetCityIndex().dwCitiesOffset != 0; }

// The text of a region or country label after its first "|" (the whole
// text when there is none).
static size_t LongForm(const char16_t* psz, size_t c, const char16_t** ppStart) {
  for (size_t i = 0; i < c; ++i)
    if (psz[i] == u'|') {
      *ppStart = psz + i + 1;
      return c - i - 1;
    }
  *ppStart = psz;
  return c;
}

bool CVelParser::GetCity(uint32_t nIndex, CityItem* pItem, uint32_t dwFlags) {
  if (!pItem) return false;
  const VelCityIndexHeader& h = GetCityIndex();
  if (nIndex >= h.dwCitiesNum || !m_fLabelTables) return false;
  ASSERT(nIndex < h.dwCitiesNum);
  if (m_fCityCached && m_nCachedCity == nIndex && m_dwCachedCityFlags == dwFlags) {
    *pItem = m_cachedCity;
    return true;
  }
  const uint32_t L = m_cLabelRefBits;
  const uint64_t nBit = uint64_t(nIndex) * (m_cRegionBits + 1 + L);
  CBitStream bs(m_pData + h.dwCitiesOffset + (nBit >> 3), m_pEnd);
  bs.ReadBits(unsigned(nBit & 7));
  const uint32_t nRegion = bs.ReadBits(m_cRegionBits);
  const bool fHasPlace = bs.ReadBits(1) != 0;
  const uint32_t dwRef = bs.ReadBits(L);
  const uint64_t qwLabel = uint64_t(m_dwLabelArea) + dwRef;
  pItem->fHasPlace = fHasPlace;
  if ((dwFlags & c_fofName) && fHasPlace) {
    FoundObject obj;
    std::memset(&obj, 0, sizeof obj);
    if (qwLabel < m_cFileSize &&
        DecodeFoundAt(uint32_t(qwLabel), -1, &obj, c_fofReprPoint | c_fofScale, MapPoint{0, 0}, 1)) {
      pItem->x = obj.xRepr;
      pItem->y = obj.yRepr;
      pItem->nScale = obj.nScale;
    } else {
      pItem->fHasPlace = 0;
    }
  }
  char16_t szText[64];
  size_t cName = qwLabel < m_cFileSize ? ReadLabelAt(uint32_t(qwLabel), szText, 64) : 0;
  std::memcpy(pItem->szName, szText, (cName + 1) * sizeof(char16_t));
  pItem->szName[cName] = 0;
  // ", region" and ", country", each in its long form, when not empty.
  auto append = [&](uint32_t dwPartRef) {
    const uint64_t qw = uint64_t(m_dwLabelArea) + dwPartRef;
    if (qw >= m_cFileSize) return;
    char16_t szPart[64];
    const size_t c = ReadLabelAt(uint32_t(qw), szPart, 64);
    const char16_t* pStart;
    const size_t cLong = LongForm(szPart, c, &pStart);
    if (!cLong) return;
    for (const char16_t* p = u", "; *p && cName < 63; ++p) pItem->szName[cName++] = *p;
    for (size_t i = 0; i < cLong && cName < 63; ++i) pItem->szName[cName++] = pStart[i];
    pItem->szName[cName] = 0;
  };
  if (nRegion < h.dwRegionsNum) {
    const uint64_t nRegionBit = uint64_t(nRegion) * (m_cCountryBits + L);
    const uint32_t nCountry = ReadBitsAt(m_pData, m_pEnd, h.dwRegionsOffset, nRegionBit, m_cCountryBits);
    append(ReadBitsAt(m_pData, m_pEnd, h.dwRegionsOffset, nRegionBit + m_cCountryBits, L));
    if (nCountry < h.dwCountriesNum)
      append(ReadBitsAt(m_pData, m_pEnd, h.dwCountriesOffset, uint64_t(nCountry) * L, L));
  }
  m_fCityCached = true;
  m_nCachedCity = nIndex;
  m_dwCachedCityFlags = dwFlags;
  m_cachedCity = *pItem;
  return true;
}

size_t CVelParser::GetListItem(int nList, uint32_t nIndex, char16_t* pszBuf) {
  pszBuf[0] = 0;
  if (nList < 0 || nList > 2) return 0;
  const VelCityIndexHeader& h = GetCityIndex();
  if (nIndex >= h.adwLists[nList][1]) return 0;
  const uint32_t dwRef =
      ReadBitsAt(m_pData, m_pEnd, h.adwLists[nList][0], uint64_t(nIndex) * m_cLabelRefBits, m_cLabelRefBits);
  const uint64_t qw = uint64_t(m_dwLabelArea) + dwRef;
  if (qw >= m_cFileSize) return 0;
  char16_t szRaw[256];
  const size_t cRaw = ReadLabelAt(uint32_t(qw), szRaw, 256);
  size_t c = 0;
  for (size_t i = 0; i < cRaw && szRaw[i] && c < 63; ++i) {
    const char16_t ch = szRaw[i];
    if (ch == 30 || ch == 31) pszBuf[c++] = u' ';
    else if (ch >= 30 || ch == 0) pszBuf[c++] = ch;
    // 1..29: abbreviation and style marks, dropped
  }
  pszBuf[c] = 0;
  return c;
}

namespace {

class CVelCitiesQuery : public CCitiesQuery {
 public:
  explicit CVelCitiesQuery(CVelParser* pParser) : m_pParser(pParser) {}
  DWORD GetLocale() override { return m_pParser->GetLocale(); }
  uint32_t GetCount() override { return m_pParser->GetCityIndex().dwCitiesNum; }
  bool GetItem(uint32_t nIndex, CityItem* pItem, uint32_t dwFlags) override {
    return m_pParser->GetCity(nIndex, pItem, dwFlags);
  }

 private:
  CVelParser* m_pParser;
};

}  // namespace

CCitiesQuery* CVelParser::CreateCitiesQuery() {
  if (!HasCitiesIndex()) return nullptr;
  return new CVelCitiesQuery(this);
}

// ---------------------------------------------------------------------------
// Offset-to-block map

bool CVelParser::FindBlockOf(uint32_t dwOffset, VelBlockOf& found) {
  if (!m_fOffsetMapBuilt) {
    m_fOffsetMapBuilt = true;
    m_offsetBlocks.clear();
    // The blocks of all levels, finest first, then sorted by where their
    // data lies (blocks of no data before the block their offset shares).
    for (uint32_t nLevel = m_cLevels; nLevel-- > 0;) {
      VelLevel level;
      if (!GetLevel(nLevel, level) || level.dwFirstBlock >= m_cFileSize) continue;
      const uint8_t* pBlock = m_pData + level.dwFirstBlock;
      for (uint32_t nBlock = 0; nBlock < level.wBlocks; ++nBlock) {
        const uint32_t dwHeader = uint32_t(pBlock - m_pData);
        VelBlockInfo block;
        if (!ReadBlock(pBlock, block)) break;
        OffsetBlock ob;
        ob.dwData = block.hdr.dwData & c_dwBlockOffsetMask;
        for (int i = 0; i < 3; ++i) ob.adwEnd[i] = block.adwSectionOffset[i] + block.adwSectionSize[i];
        ob.dwHeader = dwHeader;
        ob.nLevel = nLevel;
        m_offsetBlocks.push_back(ob);
      }
    }
    std::stable_sort(m_offsetBlocks.begin(), m_offsetBlocks.end(), [](const OffsetBlock& a, const OffsetBlock& b) {
      if (a.dwData != b.dwData) return a.dwData < b.dwData;
      return a.adwEnd[2] < b.adwEnd[2];
    });
  }
  // The last block whose data starts at or before the offset; the offset
  // must lie inside one of its sections.
  auto it = std::upper_bound(m_offsetBlocks.begin(), m_offsetBlocks.end(), dwOffset,
                             [](uint32_t dw, const OffsetBlock& b) { return dw < b.dwData; });
  if (it == m_offsetBlocks.begin()) return false;  // below the first block's data
  const OffsetBlock& ob = *(it - 1);
  for (int i = 0; i < 3; ++i)
    if (dwOffset < ob.adwEnd[i]) {
      const uint32_t dwStart = i ? ob.adwEnd[i - 1] : ob.dwData;
      if (dwOffset < dwStart) return false;
      found.nLevel = ob.nLevel;
      found.dwBlockHeader = ob.dwHeader;
      found.nKind = c_aSectionKind[i];
      return true;
    }
  return false;
}

// ---------------------------------------------------------------------------
// Object records known by their offset

bool CVelParser::ReadRecordHead(uint32_t dwRecord, int nKind, uint16_t* pwType, char16_t* pszLabel, size_t cchLabel,
                                size_t* pcLabel) {
  *pcLabel = 0;
  if (cchLabel) pszLabel[0] = 0;
  if (!m_fObjectTables || !m_fLabelTables || nKind < 0 || nKind >= rkMax || dwRecord >= m_cFileSize) return false;
  CBitStream bs(m_pData + dwRecord, m_pEnd);
  const unsigned nCode = bs.ReadBits(2);
  if (nCode == c_nLabelSet1 || nCode == c_nLabelSet3) {
    *pcLabel = ReadText(bs, nCode, pszLabel, cchLabel, true);
  } else if (nCode == c_nLabelShared) {
    const uint64_t qw = uint64_t(m_dwLabelArea) + bs.ReadBits(m_cLabelRefBits);
    if (qw >= m_cFileSize) return false;
    *pcLabel = ReadLabelAt(uint32_t(qw), pszLabel, cchLabel);
  }
  static const int c_aTypeTable[3] = {vtTypesPoint, vtTypesLine, vtTypesArea};
  *pwType = uint16_t(bs.Decode(m_aTables[c_aTypeTable[nKind]]));
  return !bs.IsOverrun();
}

bool CVelParser::DecodeFoundAt(uint32_t dwRecord, int nKind, FoundObject* pObject, uint32_t dwFlags, MapPoint ptRef,
                               double fCosRef) {
  if (!pObject || dwRecord >= m_cFileSize) return false;
  if (IsNameOnlyRequest(dwFlags) && nKind >= 0 && nKind < rkMax) {
    uint16_t wType = 0;
    size_t cLabel = 0;
    if (!ReadRecordHead(dwRecord, nKind, &wType, m_label.data(), m_label.size(), &cLabel)) return false;
    pObject->wType = wType;
    pObject->nKind = nKind;
    int nFlag = 0;
    InterpretMapLabel(nKind, wType, m_fLabelStyle, m_label.data(), cLabel, pObject->szName, &nFlag, c_fFullForm);
    return true;
  }
  VelBlockOf block;
  if (!FindBlockOf(dwRecord, block)) return false;
  if (nKind >= 0 && nKind != block.nKind) return false;
  return DecodeFound(block.nLevel, block.dwBlockHeader, block.nKind, dwRecord, pObject, dwFlags, ptRef, fCosRef);
}

void CVelParser::FillAddress(const VelRecord& rec, FoundObject* pObject, uint32_t dwFlags) {
  const uint32_t c_fAddressFlags = c_fofCity | c_fofZip | c_fofStreet | c_fofNumber;
  if (!(dwFlags & c_fAddressFlags) || !m_fHasAddresses || !rec.fHasAddress) return;
  if ((dwFlags & c_fofCity) && rec.adwAddress[0]) {
    CityItem city;
    std::memset(&city, 0, sizeof city);
    if (GetCity(rec.adwAddress[0] - 1, &city, 0)) CopyText(pObject->szCity, 64, city.szName);
  }
  struct Field {
    uint32_t dwFlag;
    char16_t* psz;
    size_t cch;
  };
  const Field aFields[3] = {{c_fofZip, pObject->szZip, 16}, {c_fofStreet, pObject->szStreet, 64},
                            {c_fofNumber, pObject->szNumber, 16}};
  for (int i = 0; i < 3; ++i) {
    const uint32_t v = rec.adwAddress[i + 1];
    if (!(dwFlags & aFields[i].dwFlag) || v == 0) continue;
    char16_t sz[64];
    if (GetListItem(i, v - 1, sz)) CopyText(aFields[i].psz, aFields[i].cch, sz);
  }
}

// ---------------------------------------------------------------------------
// Object name index

bool CVelParser::ReadObjectIndex() {
  if (m_fObjectIndexRead) return m_fObjectIndexValid;
  m_fObjectIndexRead = true;
  const uint32_t dwOffset = m_hdr.dwObjectIndexOffset;
  if (!dwOffset || dwOffset >= m_cFileSize || m_cFileSize - dwOffset < sizeof(VelObjectIndexHeader)) return false;
  VelObjectIndexHeader h;
  std::memcpy(&h, m_pData + dwOffset, sizeof h);
  if (h.dwRefBits > 32 || h.dwSubBits > 32 || h.dwCountBits > 32 || h.dwTypeEntrySize < 12) return false;
  h.dwIndexNum = RecordsInFile(h.dwIndexOffset, h.dwIndexNum, h.dwRefBits + h.dwSubBits, m_cFileSize);
  const uint32_t cTypes =
      h.dwTypesOffset < m_cFileSize ? uint32_t((m_cFileSize - h.dwTypesOffset) / h.dwTypeEntrySize) : 0;
  h.dwEndType = std::min(h.dwEndType, cTypes);
  h.dwFirstType = std::min(h.dwFirstType, h.dwEndType);
  m_objIndex = h;
  m_fObjectIndexValid = true;
  return true;
}

bool CVelParser::HasObjectsIndex() { return ReadObjectIndex(); }

int64_t CVelParser::FindTypeEntry(uint16_t wType) {
  if (!ReadObjectIndex()) return -1;
  const VelObjectIndexHeader& h = m_objIndex;
  for (uint32_t i = h.dwFirstType; i < h.dwEndType; ++i)
    if (ReadLe16(m_pData + h.dwTypesOffset + uint64_t(i) * h.dwTypeEntrySize) == wType) return i;
  return -1;
}

namespace {

// A type table entry's sub-code list as far as it lies in the file.
struct SubCodes {
  uint32_t dwOffset = 0;
  uint32_t cSubs = 0;
};

SubCodes ReadSubCodes(const uint8_t* pData, uint32_t cbFile, uint64_t offEntry) {
  SubCodes sc;
  const uint8_t* p = pData + offEntry;
  const int64_t nList = int64_t(offEntry) + int32_t(ReadLe32(p + 4));
  if (nList < 0 || nList >= int64_t(cbFile)) return sc;
  sc.dwOffset = uint32_t(nList);
  sc.cSubs = RecordsInFile(sc.dwOffset, ReadLe16(p + 2), c_cbSubCode, cbFile);
  return sc;
}

}  // namespace

bool CVelParser::FindObjectType(int nKind, uint16_t wType, uint16_t wSubCode) {
  ASSERT(nKind < rkMax);
  if (nKind < 0 || nKind >= rkMax) return false;
  const int64_t iEntry = FindTypeEntry(wType);
  if (iEntry < 0) return false;
  if (wSubCode == 0xFFFF) return true;
  const uint64_t offEntry = m_objIndex.dwTypesOffset + uint64_t(iEntry) * m_objIndex.dwTypeEntrySize;
  const SubCodes sc = ReadSubCodes(m_pData, m_cFileSize, offEntry);
  for (uint32_t i = 0; i < sc.cSubs; ++i) {
    const uint32_t nSub = ReadBitsAt(m_pData, m_pEnd, sc.dwOffset, uint64_t(i) * c_cbSubCode, c_cbSubCode);
    if (int(nSub & 3) == nKind && (nSub >> 2) == wSubCode) return true;
  }
  return false;
}

// The objects query: index entries of one type and city (and sub-code).
class CVelObjectsQuery : public CMapQuery {
 public:
  struct Object {
    uint32_t dwRecord;
    int nKind;
  };
  CVelObjectsQuery(CVelParser* pParser, std::vector<Object>&& objects)
      : m_pParser(pParser), m_objects(std::move(objects)), m_ptRef{0, 0}, m_fCosRef(1) {}

  DWORD GetLocale() override { return m_pParser->GetLocale(); }
  uint32_t GetCount() override { return uint32_t(m_objects.size()); }
  bool GetItem(uint32_t nIndex, FoundObject* pObject, uint32_t dwFlags) override {
    if (!pObject || nIndex >= m_objects.size()) return false;
    return m_pParser->DecodeFoundAt(m_objects[nIndex].dwRecord, m_objects[nIndex].nKind, pObject, dwFlags, m_ptRef,
                                    m_fCosRef);
  }
  // The binary search of the cities query's FindCityByName over the names.
  uint32_t FindByName(const char16_t* pszText) override {
    if (!pszText) return 0;
    const size_t n = platform::StrLen(pszText);
    const uint32_t cObjects = GetCount();
    if (n == 0 || cObjects < 2) return 0;
    const DWORD dwLocale = GetLocale();
    FoundObject obj;
    auto nameOf = [&](uint32_t i) -> size_t {
      std::memset(&obj, 0, sizeof obj);
      GetItem(i, &obj, c_fofName);
      obj.szName[63] = 0;
      return platform::StrLen(obj.szName);
    };
    uint32_t a = 0, b = cObjects - 1;
    while (b - a > 1) {
      const uint32_t m = (a + b) / 2;
      const size_t cName = nameOf(m);
      if (CompareNamesNoCase(dwLocale, obj.szName, cName, pszText, n) < 0) a = m;
      else b = m;
    }
    const size_t cName = nameOf(a);
    const size_t c = n < cName ? n : cName;
    if (CompareNamesNoCase(dwLocale, obj.szName, c, pszText, n) >= 0) return a;
    return b;
  }
  void SetReference(MapPoint pt) override {
    m_ptRef = pt;
    m_fCosRef = CosOfLatitude(pt.y);
  }

 private:
  CVelParser* m_pParser;
  std::vector<Object> m_objects;
  MapPoint m_ptRef;
  double m_fCosRef;
};

CMapQuery* CVelParser::CreateObjectsQuery(uint32_t nCity, int nKind, uint16_t wType, uint16_t wSubCode) {
  ASSERT(nKind < rkMax);
  if (!ReadObjectIndex() || nKind < 0 || nKind >= rkMax) return nullptr;
  std::vector<CVelObjectsQuery::Object> objects;
  const VelObjectIndexHeader& h = m_objIndex;
  const int64_t iEntry = FindTypeEntry(wType);
  // The city number: 0 for objects without a city (nCity = c_nAnyCity).
  const uint64_t nCityNumber = uint64_t(uint32_t(nCity + 1));
  const uint64_t cCountBits = uint64_t(h.dwTypeEntrySize - 12) * 8;
  if (iEntry >= 0 && h.dwCountBits && (nCityNumber + 1) * h.dwCountBits <= cCountBits) {
    const uint64_t offEntry = h.dwTypesOffset + uint64_t(iEntry) * h.dwTypeEntrySize;
    const uint32_t iFirst = ReadLe32(m_pData + offEntry + 8);
    CBitStream bs(m_pData + offEntry + 12, m_pData + offEntry + h.dwTypeEntrySize);
    uint64_t nStart = iFirst;
    for (uint64_t i = 0; i < nCityNumber; ++i) nStart += bs.ReadBits(h.dwCountBits);
    const uint32_t cEntries = bs.ReadBits(h.dwCountBits);
    // The sub-code list: kinds of every sub-code, and the wanted one.
    const SubCodes sc = ReadSubCodes(m_pData, m_cFileSize, offEntry);
    std::vector<int> kinds(sc.cSubs);
    int64_t iWanted = wSubCode == 0xFFFF ? -1 : -2;
    for (uint32_t i = 0; i < sc.cSubs; ++i) {
      const uint32_t nSub = ReadBitsAt(m_pData, m_pEnd, sc.dwOffset, uint64_t(i) * c_cbSubCode, c_cbSubCode);
      kinds[i] = int(nSub & 3);
      if (iWanted == -2 && int(nSub & 3) == nKind && (nSub >> 2) == wSubCode) iWanted = i;
    }
    const uint32_t cEntryBits = h.dwRefBits + h.dwSubBits;
    for (uint64_t k = nStart; k < nStart + cEntries && k < h.dwIndexNum && !bs.IsOverrun() && iWanted != -2; ++k) {
      const uint64_t nBit = k * cEntryBits;
      const uint32_t dwRef = ReadBitsAt(m_pData, m_pEnd, h.dwIndexOffset, nBit, h.dwRefBits);
      const uint32_t iSub = ReadBitsAt(m_pData, m_pEnd, h.dwIndexOffset, nBit + h.dwRefBits, h.dwSubBits);
      if (iWanted >= 0 && iSub != uint64_t(iWanted)) continue;
      if (iSub >= sc.cSubs) continue;  // a sub-code the list lacks
      const uint64_t qwRecord = uint64_t(h.dwBase) + dwRef;
      if (qwRecord >= m_cFileSize) continue;
      objects.push_back(CVelObjectsQuery::Object{uint32_t(qwRecord), kinds[iSub]});
    }
  }
  return new CVelObjectsQuery(this, std::move(objects));
}

// ---------------------------------------------------------------------------
// Search by address

CMapQuery* CVelParser::FindByAddress(uint32_t nCity, const char16_t* pszZip, const char16_t* pszStreet,
                                     const char16_t* pszNumber, const MapProgress* pProgress) {
  auto fnCancelled = [pProgress]() { return pProgress && pProgress->IsCancelled(); };
  std::vector<VelHit> hits;
  if (!m_fObjectTables || !m_fLabelTables || m_cLevels == 0 || !m_fHasAddresses)
    return CreateVelHitsQuery(this, m_cLevels ? m_cLevels - 1 : 0, std::move(hits), MapPoint{0, 0});
  const VelCityIndexHeader& h = GetCityIndex();
  // A match mask per name list; an empty text matches every item.
  const char16_t* apszText[3] = {pszZip, pszStreet, pszNumber};
  size_t acText[3];
  std::vector<uint8_t> masks[3];
  for (int k = 0; k < 3; ++k) {
    acText[k] = apszText[k] ? platform::StrLen(apszText[k]) : 0;
    const uint32_t cItems = h.adwLists[k][1];
    masks[k].assign(cItems, acText[k] == 0);
    if (acText[k] == 0) continue;
    char16_t sz[64];
    for (uint32_t i = 0; i < cItems; ++i) {
      if (i % 4096 == 0 && fnCancelled()) return nullptr;
      const size_t c = GetListItem(k, i, sz);
      masks[k][i] = k == c_nListZip ? CompareNamesNoCase(m_dwLocale, sz, c, apszText[k], acText[k]) == 0
                                    : ContainsNoCase(m_dwLocale, sz, c, apszText[k], acText[k]);
    }
  }
  const uint32_t nLevel = m_cLevels - 1;
  VelLevel level;
  if (!GetLevel(nLevel, level)) return nullptr;
  const uint32_t nShift = uint32_t(~level.wLevelCode) & 31;
  char16_t chNoLabel = 0;
  ResetWork();
  uint32_t cRecords = 0;
  int32_t nLastPos = INT32_MIN;
  if (level.dwFirstBlock < m_cFileSize) {
    const uint8_t* pBlock = m_pData + level.dwFirstBlock;
    for (uint32_t nBlock = 0; nBlock < level.wBlocks; ++nBlock) {
      if (fnCancelled()) return nullptr;
      if (pProgress && pProgress->pfnSetPos) {
        const int32_t nPos =
            int32_t(pProgress->nFrom + (int64_t(pProgress->nTo) - pProgress->nFrom) * nBlock / level.wBlocks);
        if (nPos != nLastPos) pProgress->SetPos(nLastPos = nPos);
      }
      const uint32_t dwBlockHeader = uint32_t(pBlock - m_pData);
      VelBlockInfo block;
      if (!ReadBlock(pBlock, block)) break;
      block.rect = VelBlockRect(block.hdr, nShift);
      for (int iSection = 0; iSection < 3; ++iSection) {
        const int nKind = c_aSectionKind[iSection];
        const uint32_t cb = block.adwSectionSize[iSection];
        if (!cb) continue;
        const uint8_t* pSection = m_pData + block.adwSectionOffset[iSection];
        CBitStream bs(pSection, pSection + cb);
        while (bs.GetPtr() < pSection + cb) {
          if (++cRecords % c_cRecordsPerPoll == 0 && fnCancelled()) return nullptr;
          VelRecord rec;
          if (!ReadRecord(bs, nKind, block, nShift, true, rec, &chNoLabel, 1)) break;
          if (!rec.fHasAddress) continue;
          if (m_fExtraAddressBit && nKind != rkPoint && !rec.fExtraAddressBit) continue;
          const uint32_t nObjCity = rec.adwAddress[0];
          if (nCity != c_nAnyCity && nObjCity != 0 && nObjCity != nCity + 1) continue;
          bool fMatch = true;
          for (int k = 0; k < 3 && fMatch; ++k) {
            const uint32_t v = rec.adwAddress[k + 1];
            fMatch = v == 0 ? acText[k] == 0 : (v - 1 < masks[k].size() && masks[k][v - 1]);
          }
          if (fMatch) hits.push_back(VelHit{rec.dwOffset, dwBlockHeader, nKind, 0, uint32_t(hits.size())});
        }
      }
    }
  }
  if (fnCancelled()) return nullptr;
  if (pProgress && pProgress->pfnSetPos && nLastPos != pProgress->nTo) pProgress->SetPos(pProgress->nTo);
  return CreateVelHitsQuery(this, nLevel, std::move(hits), MapPoint{0, 0});
}
