#include "map/vidx/VidxBuilder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "map/MapFiles.h"
#include "map/bits/BitStream.h"
#include "map/vel/detail/VelFormat.h"
#include "map/vidx/VidxFormat.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "res/Failure.h"
#include "res/Res.h"

using namespace vidx;

namespace {

bool IsCancelled(const VidxBuildHost& host) { return host.pfCancel && *host.pfCancel; }
void SetPos(const VidxBuildHost& host, int32_t nPos) {
  if (host.pfnSetPos) host.pfnSetPos(host.pContext, nPos);
}

void ShowMessage(uint32_t ids, ...) {
  char16_t szFormat[512], szText[1024];
  LoadResString(ids, szFormat, 512);
  va_list args;
  va_start(args, ids);
  platform::FormatV(szText, 1024, szFormat, args);
  va_end(args);
  ReportFailureText(ids, szText);
}

bool SameNameNoCase(const std::u16string& a, const char16_t* b) {
  const size_t cb = platform::StrLen(b);
  return a.size() == cb && CompareNamesNoCase(0, a.data(), a.size(), b, cb) == 0;
}

// The current city of one member during the merge.
struct MergeHead {
  size_t iSource;
  uint32_t nCity;
  char16_t szName[64];
  size_t cName;
};

void FetchName(CCitiesQuery* pCities, uint32_t nCity, MergeHead& head) {
  CityItem item;
  std::memset(&item, 0, sizeof item);
  pCities->GetItem(nCity, &item, c_fofName);
  item.szName[63] = 0;
  std::memcpy(head.szName, item.szName, sizeof head.szName);
  head.cName = platform::StrLen(head.szName);
  head.nCity = nCity;
}

struct KeptMember {
  uint32_t nMap;
  CMapParser* pParser;
  CCitiesQuery* pCities;
};

uint32_t s_nFailingAlloc = 0;  // tests: the allocation that fails (0 = none)

// The members kept open for the merged city list. Growing the list reports
// a lack of memory instead of aborting, so that the build can go on without
// the cities of the members that did not fit.
class CKeptMembers {
 public:
  CKeptMembers() = default;
  CKeptMembers(const CKeptMembers&) = delete;
  CKeptMembers& operator=(const CKeptMembers&) = delete;
  ~CKeptMembers() {
    Release();
    std::free(m_p);
  }
  bool Push(const KeptMember& k) {
    if (m_c == m_cAlloc) {
      const size_t cNew = m_cAlloc ? m_cAlloc * 2 : 1;
      ++m_cAllocs;
      if (s_nFailingAlloc && m_cAllocs == s_nFailingAlloc) return false;
      auto* p = static_cast<KeptMember*>(std::realloc(m_p, cNew * sizeof(KeptMember)));
      if (!p) return false;
      m_p = p;
      m_cAlloc = cNew;
    }
    m_p[m_c++] = k;
    return true;
  }
  // Closes the members (their cities query first).
  void Release() {
    for (size_t i = 0; i < m_c; ++i) {
      delete m_p[i].pCities;
      delete m_p[i].pParser;
    }
    m_c = 0;
  }
  bool Empty() const { return m_c == 0; }
  const KeptMember* begin() const { return m_p; }
  const KeptMember* end() const { return m_p + m_c; }

 private:
  KeptMember* m_p = nullptr;
  size_t m_c = 0, m_cAlloc = 0;
  uint32_t m_cAllocs = 0;
};

}  // namespace

bool WriteVidxCityPart(const std::vector<VidxCitySource>& sources, uint32_t cMaps, DWORD dwLocale,
                       std::vector<uint8_t>& out, const VidxBuildHost& host) {
  uint64_t cTotal = 0;
  uint32_t cLargest = 0;
  std::vector<uint32_t> counts;
  for (const VidxCitySource& s : sources) {
    const uint32_t c = s.pCities ? s.pCities->GetCount() : 0;
    counts.push_back(c);
    cTotal += c;
    cLargest = std::max(cLargest, c);
  }
  VidxCityPartHeader part;
  part.cEntries = uint32_t(std::min<uint64_t>(cTotal, 0xFFFFFFFFu));
  part.cMapBits = uint8_t(BitLen(cMaps ? cMaps - 1 : 0));
  part.cCityBits = uint8_t(BitLen(cLargest ? cLargest - 1 : 0));
  const size_t iPart = out.size();
  out.resize(iPart + sizeof part);
  std::memcpy(out.data() + iPart, &part, sizeof part);

  // The heap holds one current city per member; the smallest name on top,
  // equal names in member order.
  auto greater = [dwLocale, &sources](const MergeHead& a, const MergeHead& b) {
    int n = CompareNamesNoCase(dwLocale, a.szName, a.cName, b.szName, b.cName);
    if (n != 0) return n > 0;
    return sources[a.iSource].nMap > sources[b.iSource].nMap;
  };
  std::vector<MergeHead> heap;
  for (size_t i = 0; i < sources.size(); ++i)
    if (counts[i]) {
      MergeHead head;
      head.iSource = i;
      FetchName(sources[i].pCities, 0, head);
      heap.push_back(head);
    }
  std::make_heap(heap.begin(), heap.end(), greater);

  std::vector<uint8_t> bits;
  CBitWriter writer(bits);
  char16_t szPrev[64] = {};
  size_t cPrev = 0;
  bool fAny = false;
  uint64_t cProcessedCities = 0;
  while (!heap.empty()) {
    if ((cProcessedCities & 255) == 0) {
      if (IsCancelled(host)) return false;
      SetPos(host, int32_t(cProcessedCities * 100 / cTotal));
    }
    std::pop_heap(heap.begin(), heap.end(), greater);
    MergeHead head = heap.back();
    heap.pop_back();
    // The same name exactly (at most 64 characters) as the entry before.
    const bool fDuplicate =
        fAny && head.cName == cPrev && std::memcmp(head.szName, szPrev, head.cName * sizeof(char16_t)) == 0;
    writer.WriteBits(1, fDuplicate ? 1 : 0);
    writer.WriteBits(part.cMapBits, sources[head.iSource].nMap);
    writer.WriteBits(part.cCityBits, head.nCity);
    std::memcpy(szPrev, head.szName, sizeof szPrev);
    cPrev = head.cName;
    fAny = true;
    ++cProcessedCities;
    if (head.nCity + 1 < counts[head.iSource]) {
      FetchName(sources[head.iSource].pCities, head.nCity + 1, head);
      heap.push_back(head);
      std::push_heap(heap.begin(), heap.end(), greater);
    }
  }
  writer.Flush();
  ASSERT(cProcessedCities == cTotal);
  out.insert(out.end(), bits.begin(), bits.end());
  SetPos(host, 100);
  return true;
}

void SetVidxGatherAllocFailureForTests(uint32_t nFailing) { s_nFailingAlloc = nFailing; }

int32_t BuildCollectionIndex(const char16_t* pszFolder, const VidxBuildHost& host) {
  const std::u16string strIndex = CollectionIndexPath(pszFolder);
  std::u16string strFolder = strIndex.substr(0, strIndex.size() - platform::StrLen(c_szIndexName));
  const bool fExisted = platform::FileExists(strIndex.c_str());
  if (host.pfnSetTitle) host.pfnSetTitle(host.pContext, c_idsIndexingMaps);
  SetPos(host, 0);

  std::vector<std::u16string> names;
  if (!platform::ListFolder(pszFolder, false, names)) {
    ShowMessage(c_idsIndexCannotCreate);
    return 0;
  }
  std::vector<std::u16string> files;
  for (const std::u16string& name : names)
    if (MatchFilePattern(u"*.vel", name.c_str()) && !SameNameNoCase(name, c_szIndexName)) files.push_back(name);
  // A fixed member order, whatever order the folder lists its files in.
  std::sort(files.begin(), files.end(), [](const std::u16string& a, const std::u16string& b) {
    int n = CompareNamesNoCase(0, a.data(), a.size(), b.data(), b.size());
    return n != 0 ? n < 0 : a < b;
  });

  VidxHeader hdr;
  std::memset(&hdr, 0, sizeof hdr);
  std::memcpy(hdr.achMagic, c_achMagic, 4);
  hdr.wVersion = c_wVersionMapsOnly;
  hdr.cbHeader = sizeof(VidxHeader);
  hdr.cbRecord = c_cbRecordWithSize;
  hdr.nLeft2 = hdr.nTop2 = INT32_MAX;
  hdr.nRight2 = hdr.nBottom2 = INT32_MIN;
  std::vector<uint8_t> out(sizeof hdr);

  CKeptMembers kept;
  auto releaseKept = [&kept]() { kept.Release(); };
  bool fNameWarned = false;
  bool fOutOfMemory = false;  // no more members are kept once memory ran out
  bool fHasCities = false, fHasObjects = false;
  DWORD dwLocale = 0;
  uint32_t cMaps = 0;
  for (size_t k = 0; k < files.size(); ++k) {
    SetPos(host, int32_t(k * 100 / files.size()));
    if (IsCancelled(host)) {
      releaseKept();
      return c_nVidxCancelled;
    }
    const std::u16string& name = files[k];
    if (name.size() > c_cchMemberName) {
      if (!fNameWarned) ShowMessage(c_idsIndexNameTooLong, int(c_cchMemberName));
      fNameWarned = true;
      continue;
    }
    const std::u16string strPath = strFolder + name;
    vel::VelMainHeader main;
    {
      platform::CFile file;
      size_t cbRead = 0;
      if (!file.Open(strPath.c_str(), platform::fmRead) || !file.Read(&main, sizeof main, &cbRead) ||
          cbRead != sizeof main || std::memcmp(main.achMagic, vel::c_achMagic, 4) != 0)
        continue;
    }
    VidxMapRecord rec;
    std::memset(&rec, 0, sizeof rec);
    std::memcpy(rec.szFileName, name.data(), name.size() * sizeof(char16_t));
    uint64_t ft = 0;
    platform::GetFileWriteTime(strPath.c_str(), ft);
    rec.dwWriteTime = uint32_t(ft) + uint32_t(ft >> 32);
    rec.nLeft2 = main.nLeft2;
    rec.nTop2 = main.nTop2;
    rec.nRight2 = main.nRight2;
    rec.nBottom2 = main.nBottom2;
    rec.wScaleFirst = main.wScaleFirst;
    rec.wScaleLast = main.wScaleLast;
    hdr.nLeft2 = std::min(hdr.nLeft2, rec.nLeft2);
    hdr.nTop2 = std::min(hdr.nTop2, rec.nTop2);
    hdr.nRight2 = std::max(hdr.nRight2, rec.nRight2);
    hdr.nBottom2 = std::max(hdr.nBottom2, rec.nBottom2);
    VidxMapRecordTail tail;
    tail.cbFile = 0;
    platform::GetFileSizeOf(strPath.c_str(), tail.cbFile);
    const size_t iRec = out.size();
    out.resize(iRec + c_cbRecordWithSize);
    std::memcpy(out.data() + iRec, &rec, sizeof rec);
    std::memcpy(out.data() + iRec + sizeof rec, &tail, sizeof tail);
    const uint32_t nMap = cMaps++;
    if (!(main.dwFlags & vel::c_fCitiesMerged) || fOutOfMemory) continue;
    // The member's cities take part in the merged list.
    CMapParser* pParser = OpenMapFile(strPath.c_str(), false, c_fOpenAll);
    if (!pParser) continue;
    CCitiesQuery* pCities = pParser->CreateCitiesQuery();
    if (!pCities || pCities->GetCount() == 0) {
      delete pCities;
      delete pParser;
      continue;
    }
    if (!kept.Push(KeptMember{nMap, pParser, pCities})) {
      // The members kept so far make the city list; the rest are left out.
      delete pCities;
      delete pParser;
      fOutOfMemory = true;
      ShowMessage(c_idsIndexOutOfMemory);
      continue;
    }
    if (kept.begin() + 1 == kept.end()) dwLocale = pCities->GetLocale();
    fHasCities |= pParser->HasCitiesIndex();
    fHasObjects |= pParser->HasObjectsIndex();
  }
  if (IsCancelled(host)) {
    releaseKept();
    return c_nVidxCancelled;
  }
  // The city part's offset must fit its 24 bits.
  if (!kept.Empty() && out.size() <= c_dwCityPartMask) {
    hdr.wVersion = c_wVersionWithCities;
    hdr.dwCityPart = uint32_t(out.size()) | (fHasCities ? c_fHasCitiesIndex : 0) |
                     (fHasObjects ? c_fHasObjectsIndex : 0);
    hdr.dwLocale = dwLocale;
    if (host.pfnSetTitle) host.pfnSetTitle(host.pContext, c_idsIndexingCities);
    std::vector<VidxCitySource> sources;
    for (const KeptMember& k : kept) sources.push_back(VidxCitySource{k.nMap, k.pCities});
    const bool fDone = WriteVidxCityPart(sources, cMaps, dwLocale, out, host);
    releaseKept();
    if (!fDone) return c_nVidxCancelled;
  }
  releaseKept();
  std::memcpy(out.data(), &hdr, sizeof hdr);
  if (!platform::WriteFileAtomic(strIndex.c_str(), out.data(), out.size())) {
    if (fExisted) ShowMessage(c_idsIndexCannotDelete, strIndex.c_str());
    else ShowMessage(c_idsIndexCannotCreate);
    return 0;
  }
  SetPos(host, 100);
  return int32_t(cMaps);
}
