// A file-backed registry for native tools and tests, with the semantics and
// error codes of the Win32 calls the program uses.
#include "platform/Registry.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/Str.h"

namespace platform {

namespace {

struct CValue {
  std::u16string strName;  // as written
  DWORD dwType;
  std::vector<uint8_t> data;
};

struct CKeyData {
  std::vector<CValue> values;  // in creation order, like the registry
};

struct COpenKey {
  std::u16string strPath;  // lower-case, components joined by '\'
};

std::recursive_mutex g_mutex;
std::map<std::u16string, CKeyData> g_keys;  // lower-case path -> values
std::map<std::u16string, std::u16string> g_keyNames;  // lower-case path -> as written
std::string g_strFile;
COpenKey g_aRoots[3] = {{u"hkcu"}, {u"hklm"}, {u"hkcr"}};

std::u16string Lower(const std::u16string& s) {
  std::u16string r = s;
  for (auto& ch : r) ch = ToLower(ch);
  return r;
}

COpenKey* AsKey(RegHandle h) { return static_cast<COpenKey*>(h); }

bool IsRoot(RegHandle h) { return h == &g_aRoots[0] || h == &g_aRoots[1] || h == &g_aRoots[2]; }

// Joins the parent path and a subkey (which may hold several components).
std::u16string JoinKey(const std::u16string& strParent, const char16_t* pszSub, std::u16string* pWritten) {
  std::u16string sub = pszSub ? pszSub : u"";
  while (!sub.empty() && sub.front() == u'\\') sub.erase(0, 1);
  while (!sub.empty() && sub.back() == u'\\') sub.pop_back();
  if (pWritten) *pWritten = sub;
  if (sub.empty()) return strParent;
  return strParent + u"\\" + Lower(sub);
}

std::string Hex(const uint8_t* p, size_t n) {
  static const char c_szHex[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s.push_back(c_szHex[p[i] >> 4]);
    s.push_back(c_szHex[p[i] & 15]);
  }
  return s.empty() ? "-" : s;
}

std::vector<uint8_t> Unhex(const std::string& s) {
  std::vector<uint8_t> out;
  if (s == "-") return out;
  auto nib = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    int a = nib(s[i]), b = nib(s[i + 1]);
    if (a < 0 || b < 0) break;
    out.push_back(uint8_t(a * 16 + b));
  }
  return out;
}

void Save() {
  if (g_strFile.empty()) return;
  std::string text;
  for (auto& [path, key] : g_keys) {
    std::string p = U16ToUtf8(g_keyNames.count(path) ? g_keyNames[path] : path);
    text += "K " + Hex(reinterpret_cast<const uint8_t*>(p.data()), p.size()) + "\n";
    for (auto& v : key.values) {
      std::string n = U16ToUtf8(v.strName);
      text += "V " + Hex(reinterpret_cast<const uint8_t*>(n.data()), n.size()) + " " + std::to_string(v.dwType) +
              " " + Hex(v.data.data(), v.data.size()) + "\n";
    }
  }
  std::u16string path = Utf8ToU16(g_strFile);
  WriteFileAtomic(path.c_str(), text.data(), text.size());
}

void Load() {
  g_keys.clear();
  g_keyNames.clear();
  if (g_strFile.empty()) return;
  std::vector<uint8_t> data;
  if (!ReadWholeFile(Utf8ToU16(g_strFile).c_str(), data)) return;
  std::string text(data.begin(), data.end());
  CKeyData* pKey = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (line.size() > 2 && line[0] == 'K') {
      std::vector<uint8_t> raw = Unhex(line.substr(2));
      std::u16string written = Utf8ToU16(std::string(raw.begin(), raw.end()));
      std::u16string lower = Lower(written);
      g_keyNames[lower] = written;
      pKey = &g_keys[lower];
    } else if (line.size() > 2 && line[0] == 'V' && pKey) {
      size_t a = line.find(' ', 2), b = a == std::string::npos ? a : line.find(' ', a + 1);
      if (b == std::string::npos) continue;
      std::vector<uint8_t> raw = Unhex(line.substr(2, a - 2));
      CValue v;
      v.strName = Utf8ToU16(std::string(raw.begin(), raw.end()));
      v.dwType = DWORD(std::strtoul(line.substr(a + 1, b - a - 1).c_str(), nullptr, 10));
      v.data = Unhex(line.substr(b + 1));
      pKey->values.push_back(std::move(v));
    }
  }
}

CValue* FindValue(CKeyData& key, const char16_t* pszName) {
  std::u16string name = Lower(pszName ? pszName : u"");
  for (auto& v : key.values)
    if (Lower(v.strName) == name) return &v;
  return nullptr;
}

void EnsureParents(const std::u16string& path) {
  // Every prefix of the path is a key, as in the registry.
  for (size_t i = 0; i < path.size(); ++i)
    if (path[i] == u'\\') g_keys[path.substr(0, i)];
  g_keys[path];
}

}  // namespace

RegHandle RegRootHandle(RegRoot root) { return &g_aRoots[int(root)]; }

void SetRegistryFile(const char* pszPath) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  g_strFile = pszPath ? pszPath : "";
  Load();
}

void ResetRegistry() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  g_keys.clear();
  g_keyNames.clear();
  Save();
}

LONG RegOpen(RegHandle hParent, const char16_t* pszSubkey, RegHandle* phKey) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  *phKey = nullptr;
  if (!hParent) return c_errInvalidHandle;
  std::u16string path = JoinKey(AsKey(hParent)->strPath, pszSubkey, nullptr);
  if (!IsRoot(hParent) || path != AsKey(hParent)->strPath) {
    if (!g_keys.count(path)) return c_errFileNotFound;
  }
  *phKey = new COpenKey{path};
  return c_errSuccess;
}

LONG RegCreate(RegHandle hParent, const char16_t* pszSubkey, RegHandle* phKey) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  *phKey = nullptr;
  if (!hParent) return c_errInvalidHandle;
  std::u16string written;
  std::u16string path = JoinKey(AsKey(hParent)->strPath, pszSubkey, &written);
  if (!g_keys.count(path)) {
    EnsureParents(path);
    std::u16string parentWritten =
        g_keyNames.count(AsKey(hParent)->strPath) ? g_keyNames[AsKey(hParent)->strPath] : AsKey(hParent)->strPath;
    g_keyNames[path] = written.empty() ? parentWritten : parentWritten + u"\\" + written;
    Save();
  }
  *phKey = new COpenKey{path};
  return c_errSuccess;
}

LONG RegClose(RegHandle hKey) {
  if (!hKey) return c_errInvalidHandle;
  if (!IsRoot(hKey)) delete AsKey(hKey);
  return c_errSuccess;
}

LONG RegQuery(RegHandle hKey, const char16_t* pszName, DWORD* pdwType, void* pData, DWORD* pcbData) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!hKey) return c_errInvalidHandle;
  auto it = g_keys.find(AsKey(hKey)->strPath);
  if (it == g_keys.end()) return c_errFileNotFound;
  CValue* v = FindValue(it->second, pszName);
  if (!v) return c_errFileNotFound;
  if (pdwType) *pdwType = v->dwType;
  DWORD cb = DWORD(v->data.size());
  if (pData) {
    if (!pcbData) return c_errInvalidParameter;
    if (*pcbData < cb) {
      *pcbData = cb;
      return c_errMoreData;
    }
    if (cb) std::memcpy(pData, v->data.data(), cb);
  }
  if (pcbData) *pcbData = cb;
  return c_errSuccess;
}

LONG RegSet(RegHandle hKey, const char16_t* pszName, DWORD dwType, const void* pData, DWORD cbData) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!hKey) return c_errInvalidHandle;
  auto it = g_keys.find(AsKey(hKey)->strPath);
  if (it == g_keys.end()) {
    if (!IsRoot(hKey)) return c_errFileNotFound;
    it = g_keys.emplace(AsKey(hKey)->strPath, CKeyData()).first;
  }
  CValue* v = FindValue(it->second, pszName);
  if (!v) {
    it->second.values.push_back(CValue{pszName ? pszName : u"", dwType, {}});
    v = &it->second.values.back();
  }
  v->dwType = dwType;
  const uint8_t* p = static_cast<const uint8_t*>(pData);
  v->data.assign(p, p + (p ? cbData : 0));
  Save();
  return c_errSuccess;
}

LONG RegRemoveValue(RegHandle hKey, const char16_t* pszName) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!hKey) return c_errInvalidHandle;
  auto it = g_keys.find(AsKey(hKey)->strPath);
  if (it == g_keys.end()) return c_errFileNotFound;
  std::u16string name = Lower(pszName ? pszName : u"");
  auto& vals = it->second.values;
  for (size_t i = 0; i < vals.size(); ++i) {
    if (Lower(vals[i].strName) == name) {
      vals.erase(vals.begin() + long(i));
      Save();
      return c_errSuccess;
    }
  }
  return c_errFileNotFound;
}

LONG RegDeleteKeyTree(RegHandle hParent, const char16_t* pszSubkey) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!hParent) return c_errInvalidHandle;
  std::u16string path = JoinKey(AsKey(hParent)->strPath, pszSubkey, nullptr);
  if (!g_keys.count(path)) return c_errFileNotFound;
  for (auto it = g_keys.begin(); it != g_keys.end();) {
    if (it->first == path || it->first.rfind(path + u"\\", 0) == 0) {
      g_keyNames.erase(it->first);
      it = g_keys.erase(it);
    } else {
      ++it;
    }
  }
  Save();
  return c_errSuccess;
}

LONG RegListValue(RegHandle hKey, DWORD dwIndex, char16_t* pszName, DWORD* pcchName) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!hKey) return c_errInvalidHandle;
  auto it = g_keys.find(AsKey(hKey)->strPath);
  if (it == g_keys.end()) return c_errNoMoreItems;
  if (dwIndex >= it->second.values.size()) return c_errNoMoreItems;
  const std::u16string& name = it->second.values[dwIndex].strName;
  if (!pcchName || *pcchName <= name.size()) return c_errMoreData;
  StrCopy(pszName, *pcchName, name.c_str());
  *pcchName = DWORD(name.size());
  return c_errSuccess;
}

LONG RegListKey(RegHandle hKey, DWORD dwIndex, char16_t* pszName, DWORD cchName) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (!hKey) return c_errInvalidHandle;
  std::u16string prefix = AsKey(hKey)->strPath + u"\\";
  DWORD n = 0;
  for (auto& [path, key] : g_keys) {
    if (path.rfind(prefix, 0) != 0) continue;
    std::u16string rest = path.substr(prefix.size());
    if (rest.empty() || rest.find(u'\\') != std::u16string::npos) continue;
    if (n++ == dwIndex) {
      std::u16string written = g_keyNames.count(path) ? g_keyNames[path] : path;
      size_t slash = written.rfind(u'\\');
      std::u16string leaf = slash == std::u16string::npos ? written : written.substr(slash + 1);
      if (cchName <= leaf.size()) return c_errMoreData;
      StrCopy(pszName, cchName, leaf.c_str());
      return c_errSuccess;
    }
  }
  return c_errNoMoreItems;
}

}  // namespace platform
