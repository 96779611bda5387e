#include "platform/Module.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/Str.h"

namespace platform {

namespace {

// A module is either a registered built-in table or a text module read from
// a file ("id<TAB>text" lines, UTF-8), which tests use to stand in for a
// localisation module of their own making.
struct CModule {
  BuiltinStringLookup pfn = nullptr;
  std::map<uint32_t, std::u16string> strings;
};

CModule g_self;
std::map<std::u16string, BuiltinStringLookup>& Builtins() {
  static std::map<std::u16string, BuiltinStringLookup> s_map;
  return s_map;
}
std::map<std::u16string, CModule*>& Loaded() {
  static std::map<std::u16string, CModule*> s_map;
  return s_map;
}

std::u16string EnvPath(const char* pszVar, const char* pszDefault) {
  const char* p = std::getenv(pszVar);
  return Utf8ToU16(p && *p ? p : pszDefault);
}

}  // namespace

std::u16string GetProgramPath() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return u"velmo";
  buf[n] = 0;
  return Utf8ToU16(buf);
}

std::u16string GetProgramFolder() {
  const char* p = std::getenv("VELMO_PROGRAM_DIR");
  if (p && *p) return Utf8ToU16(p);
  std::u16string path = GetProgramPath();
  size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? u"." : path.substr(0, slash);
}

std::u16string GetRootFolder() { return EnvPath("VELMO_ROOT_DIR", "/tmp"); }

std::u16string GetDocumentsFolder() {
  const char* p = std::getenv("VELMO_DOCUMENTS_DIR");
  if (p && *p) return Utf8ToU16(p);
  const char* home = std::getenv("HOME");
  return Utf8ToU16(std::string(home && *home ? home : "/tmp") + "/Documents");
}

void RegisterBuiltinModule(const char16_t* pszName, BuiltinStringLookup pfn) {
  if (!pszName) {
    g_self.pfn = pfn;
    return;
  }
  std::u16string name = pszName;
  for (auto& ch : name) ch = ToLower(ch);
  Builtins()[name] = pfn;
}

ResModule GetSelfModule() { return &g_self; }

ResModule LoadResModule(const char16_t* pszFileName) {
  std::u16string name = pszFileName ? pszFileName : u"";
  for (auto& ch : name) ch = ToLower(ch);
  std::u16string path = JoinPath(GetProgramFolder(), pszFileName ? pszFileName : u"");
  auto it = Loaded().find(path);
  if (it != Loaded().end()) return it->second;
  std::vector<uint8_t> data;
  if (!ReadWholeFile(path.c_str(), data)) return nullptr;
  CModule* pModule = new CModule;  // modules stay loaded for the process
  if (data.size() >= 2 && data[0] == 'M' && data[1] == 'Z') {
    auto b = Builtins().find(name);
    if (b == Builtins().end()) {
      delete pModule;
      return nullptr;
    }
    pModule->pfn = b->second;
  } else {
    std::string text(data.begin(), data.end());
    size_t pos = 0;
    while (pos < text.size()) {
      size_t eol = text.find('\n', pos);
      if (eol == std::string::npos) eol = text.size();
      std::string line = text.substr(pos, eol - pos);
      pos = eol + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t tab = line.find('\t');
      if (tab == std::string::npos) continue;
      std::string rest = line.substr(tab + 1);
      std::string unescaped;
      for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == 'n') {
          unescaped.push_back('\n');
          ++i;
        } else {
          unescaped.push_back(rest[i]);
        }
      }
      pModule->strings[uint32_t(std::strtoul(line.substr(0, tab).c_str(), nullptr, 10))] = Utf8ToU16(unescaped);
    }
  }
  Loaded()[path] = pModule;
  return pModule;
}

int LoadModuleString(ResModule hModule, uint32_t id, char16_t* pszBuf, int cchBuf) {
  if (!pszBuf || cchBuf <= 0) return 0;
  pszBuf[0] = 0;
  CModule* p = static_cast<CModule*>(hModule);
  if (!p) return 0;
  if (p->pfn) return p->pfn(id, pszBuf, cchBuf);
  auto it = p->strings.find(id);
  if (it == p->strings.end()) return 0;
  StrCopy(pszBuf, size_t(cchBuf), it->second.c_str());
  return int(StrLen(pszBuf));
}

uint16_t GetUserDefaultLanguage() {
  const char* p = std::getenv("VELMO_LANGUAGE");
  if (p && *p) return uint16_t(std::strtoul(p, nullptr, 0));
  return 0x0419;  // Russian
}

}  // namespace platform
