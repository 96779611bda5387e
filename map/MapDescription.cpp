// The About-map text.
#include "map/MapDescription.h"

#include "geo/Units.h"
#include "map/MapParser.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "res/Res.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"
#include "view/Scales.h"

namespace {

const uint32_t c_idsNoMap = 2160;
const uint32_t c_idsFile = 2161;
const uint32_t c_idsName = 2162;
const uint32_t c_idsDate = 2163;
const uint32_t c_idsRights = 2175;
const uint32_t c_idsBounds = 2176;
const uint32_t c_idsScales = 2177;
const uint32_t c_idsFormat = 2178;
const uint32_t c_idsSize = 2179;
const uint32_t c_idsMembers = 2180;
const uint32_t c_idsCollectionFormat = 2181;
const uint32_t c_idsMemberMissing = 2185;
const uint32_t c_idsMemberReplaced = 2186;

CollectionMembersProc g_pfnMembers = nullptr;

void AddLine(std::u16string& text, uint32_t idsLabel, const char16_t* pszValue) {
  char16_t szLabel[64];
  if (!text.empty()) text += u"\r\n";
  text += LoadResString(idsLabel, szLabel, 64);
  if (*pszValue) {
    text += u' ';
    text += pszValue;
  }
}

bool EndsWithNoCase(const std::u16string& s, const char16_t* pszTail) {
  size_t cch = platform::StrLen(pszTail);
  if (s.size() < cch) return false;
  for (size_t i = 0; i < cch; ++i) {
    char16_t a = s[s.size() - cch + i], b = pszTail[i];
    if (a >= u'A' && a <= u'Z') a = char16_t(a + 32);
    if (b >= u'A' && b <= u'Z') b = char16_t(b + 32);
    if (a != b) return false;
  }
  return true;
}

// The format's name from the registered formats by the file's extension;
// a collection is named by its index file.
std::u16string FormatName(const std::u16string& path, bool fCollection) {
  char16_t sz[128] = u"";
  if (fCollection) return LoadResString(c_idsCollectionFormat, sz, 128);
  for (const MapFormatEntry* p = g_pMapFormats; p; p = p->pNext) {
    if (!p->pszExtension || !p->idDescription) continue;
    std::u16string tail = u".";
    tail += p->pszExtension;
    if (EndsWithNoCase(path, tail.c_str())) return LoadResString(p->idDescription, sz, 128);
  }
  size_t iDot = path.find_last_of(u'.');
  return iDot == std::u16string::npos ? std::u16string() : path.substr(iDot + 1);
}

}  // namespace

void SetCollectionMembersProc(CollectionMembersProc pfn) { g_pfnMembers = pfn; }

uint32_t CountChangedMembers(CMapParser* pParser) {
  std::vector<CollectionMember> members;
  if (!pParser || !g_pfnMembers || !g_pfnMembers(pParser, &members)) return 0;
  uint32_t c = 0;
  for (const CollectionMember& m : members) c += m.fMissing || m.fReplaced;
  return c;
}

std::u16string DescribeMap(CMapParser* pParser) {
  char16_t sz[300];
  if (!pParser) return LoadResString(c_idsNoMap, sz, 300);
  std::u16string text;
  uint16_t wYear = 0;
  uint8_t btMonth = 0, btDay = 0;
  char16_t szName[128] = u"", szNotice[512] = u"";
  pParser->GetDescription(&wYear, &btMonth, &btDay, szName, 128, szNotice, 512);
  szName[127] = 0;
  szNotice[511] = 0;
  if (szName[0]) AddLine(text, c_idsName, szName);
  if (wYear) {
    // A day of 0: only the month and the year are known.
    if (btDay)
      platform::Format(sz, 300, u"%02d.%02d.%04d", int(btDay), int(btMonth), int(wYear));
    else
      platform::Format(sz, 300, u"%02d.%04d", int(btMonth), int(wYear));
    AddLine(text, c_idsDate, sz);
  }
  if (szNotice[0]) {
    // The notice's "|" breaks its lines, as do the line ends IMG maps give.
    std::u16string notice;
    for (const char16_t* p = szNotice; *p; ++p) {
      if (*p == u'|' || *p == u'\n') notice += u"\r\n  ";
      else if (*p != u'\r') notice += *p;
    }
    AddLine(text, c_idsRights, u"");
    text += u"\r\n  ";
    text += notice;
  }
  const MapRect& rc = pParser->GetRect();
  // A stand-in parser covers the whole plane: no bounds to tell.
  if (!rc.IsEmpty() && rc.left != c_rectWholePlane.left) {
    char16_t szSouthWest[64], szNorthEast[64];
    FormatPosition(MapToDegrees(rc.top), MapToDegrees(rc.left), szSouthWest, 64);
    FormatPosition(MapToDegrees(rc.bottom), MapToDegrees(rc.right), szNorthEast, 64);
    platform::Format(sz, 300, u"%s — %s", szSouthWest, szNorthEast);
    AddLine(text, c_idsBounds, sz);
  }
  if (pParser->GetFirstScale() <= pParser->GetLastScale() && pParser->GetFirstScale() <= uint32_t(c_nMaxScaleIndex)) {
    char16_t szFirst[32], szLast[32];
    FormatScaleLabel(pParser->GetFirstScale(), szFirst, 32);
    FormatScaleLabel(pParser->GetLastScale(), szLast, 32);
    platform::Format(sz, 300, u"%s — %s", szFirst, szLast);
    AddLine(text, c_idsScales, sz);
  }
  std::vector<CollectionMember> members;
  const bool fCollection = g_pfnMembers && g_pfnMembers(pParser, &members);
  std::u16string path = pParser->GetPath();
  if (!path.empty()) {
    AddLine(text, c_idsFile, path.c_str());
    std::u16string format = FormatName(path, fCollection);
    if (!format.empty()) AddLine(text, c_idsFormat, format.c_str());
    uint64_t cb = 0;
    if (platform::GetFileSizeOf(path.c_str(), cb)) {
      char16_t szKb[32];
      uint64_t cKb = (cb + 1023) / 1024;
      FormatGroupedInteger(cKb > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(cKb), szKb, 32);
      platform::Format(sz, 300, u"%s %s", szKb, GetUnitName(c_idsUnitKilobytes));
      AddLine(text, c_idsSize, sz);
    }
  }
  if (fCollection) {
    char16_t szLabel[64];
    FormatResString(szLabel, 64, c_idsMembers, int(members.size()));
    text += u"\r\n";
    text += szLabel;
    for (const CollectionMember& member : members) {
      text += u"\r\n  ";
      text += member.strName;
      // A member that is not the file indexed: the index wants building again.
      if (member.fMissing || member.fReplaced) {
        char16_t szState[128];
        text += u' ';
        text += LoadResString(member.fMissing ? c_idsMemberMissing : c_idsMemberReplaced, szState, 128);
      }
    }
  }
  return text;
}
