#include "map/MapCollections.h"

#include "platform/Registry.h"

const char16_t c_szMapCollectionsKey[] = u"Software\\Velmo\\MapCollections";

static bool ReadString(platform::RegHandle hKey, const char16_t* pszName, std::u16string& str) {
  DWORD dwType = 0, cb = 0;
  if (platform::RegQuery(hKey, pszName, &dwType, nullptr, &cb) != platform::c_errSuccess) return false;
  if (dwType != platform::c_regSz) return false;
  std::u16string buf(cb / 2 + 1, u'\0');
  DWORD cbBuf = DWORD(buf.size() * 2);
  if (platform::RegQuery(hKey, pszName, &dwType, &buf[0], &cbBuf) != platform::c_errSuccess) return false;
  buf.resize(cbBuf / 2);
  while (!buf.empty() && buf.back() == 0) buf.pop_back();
  str = buf;
  return true;
}

static bool WriteString(platform::RegHandle hKey, const char16_t* pszName, const std::u16string& str) {
  return platform::RegSet(hKey, pszName, platform::c_regSz, str.c_str(), DWORD((str.size() + 1) * 2)) ==
         platform::c_errSuccess;
}

std::vector<MapCollection> ListMapCollections() {
  std::vector<MapCollection> list;
  platform::RegHandle hKey = nullptr;
  if (platform::RegOpen(platform::RegRootHandle(platform::rrLocalMachine), c_szMapCollectionsKey, &hKey) !=
      platform::c_errSuccess)
    return list;
  char16_t szName[260];
  for (DWORD i = 0; platform::RegListKey(hKey, i, szName, 260) == platform::c_errSuccess; ++i) {
    platform::RegHandle hSub = nullptr;
    if (platform::RegOpen(hKey, szName, &hSub) != platform::c_errSuccess) continue;
    MapCollection c;
    if (!ReadString(hSub, u"", c.strName)) c.strName = szName;
    ReadString(hSub, u"Path", c.strPath);
    DWORD dw = 0, dwType = 0, cb = 4;
    if (platform::RegQuery(hSub, u"Maps", &dwType, &dw, &cb) == platform::c_errSuccess &&
        dwType == platform::c_regDword && cb == 4)
      c.cMaps = dw;
    else
      c.cMaps = 0;
    platform::RegClose(hSub);
    list.push_back(c);
  }
  platform::RegClose(hKey);
  return list;
}

std::u16string CollectionNameOf(const std::u16string& strFolder) {
  std::u16string s = strFolder;
  while (!s.empty() && (s.back() == u'\\' || s.back() == u'/')) s.pop_back();
  size_t i = s.find_last_of(u"\\/");
  return i == std::u16string::npos ? s : s.substr(i + 1);
}

bool AddMapCollection(const std::u16string& strFolder, uint32_t cMaps) {
  std::u16string strName = CollectionNameOf(strFolder);
  if (strName.empty()) return false;
  std::u16string strKey = std::u16string(c_szMapCollectionsKey) + u"\\" + strName;
  platform::RegHandle hKey = nullptr;
  if (platform::RegCreate(platform::RegRootHandle(platform::rrLocalMachine), strKey.c_str(), &hKey) !=
      platform::c_errSuccess)
    return false;
  DWORD dw = cMaps;
  bool fOk = WriteString(hKey, u"", strName) && WriteString(hKey, u"Path", strFolder) &&
             platform::RegSet(hKey, u"Maps", platform::c_regDword, &dw, 4) == platform::c_errSuccess;
  platform::RegClose(hKey);
  return fOk;
}

bool SetMapCollectionCount(const std::u16string& strName, uint32_t cMaps) {
  std::u16string strKey = std::u16string(c_szMapCollectionsKey) + u"\\" + strName;
  platform::RegHandle hKey = nullptr;
  if (platform::RegOpen(platform::RegRootHandle(platform::rrLocalMachine), strKey.c_str(), &hKey) !=
      platform::c_errSuccess)
    return false;
  DWORD dw = cMaps;
  bool fOk = platform::RegSet(hKey, u"Maps", platform::c_regDword, &dw, 4) == platform::c_errSuccess;
  platform::RegClose(hKey);
  return fOk;
}

bool DeleteMapCollection(const std::u16string& strName) {
  platform::RegHandle hKey = nullptr;
  if (platform::RegOpen(platform::RegRootHandle(platform::rrLocalMachine), c_szMapCollectionsKey, &hKey) !=
      platform::c_errSuccess)
    return false;
  bool fOk = platform::RegDeleteKeyTree(hKey, strName.c_str()) == platform::c_errSuccess;
  platform::RegClose(hKey);
  return fOk;
}
