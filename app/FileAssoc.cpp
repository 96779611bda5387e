// File associations under HKEY_CLASSES_ROOT for the files the program opens
// or knows. Existing associations of other programs are respected.
#include "app/Shell.h"
#include "res/Res.h"
#include "settings/RegKey.h"
#include "platform/Module.h"
#include "platform/Str.h"

using namespace platform;

namespace {

struct FileAssociation {
  const char16_t* pszExtension;
  const char16_t* pszTypeName;
  bool fOpenVerb;
  int iIcon;
  UINT idsDescription;
};

const FileAssociation c_aAssociations[] = {
    {u".img", u"imgfile", true, 0, 2274},
    {u".vel", u"velfile", true, 0, 2273},
    {u".mps", u"MapSource.Document", false, 1, 2270},
    {u".gdb", u"GarminGpsDatabase", false, 1, 2271},
    {u".wpt", u"OziExplorer.WaypointsFile", false, 1, 2277},
    {u".gpx", u"GpsExchangeFormat", false, 1, 2272},
};

// "\"C:\\dir\\prog.exe\",1" -> "prog.exe"
std::u16string BareFileName(const char16_t* pszIcon) {
  std::u16string s = pszIcon;
  size_t comma = s.rfind(u',');
  if (comma != std::u16string::npos) s.resize(comma);
  std::u16string t;
  for (char16_t ch : s)
    if (ch != u'"') t.push_back(ch);
  while (!t.empty() && t.back() == u' ') t.pop_back();
  size_t slash = t.find_last_of(u"\\/");
  return slash == std::u16string::npos ? t : t.substr(slash + 1);
}

}  // namespace

void RegisterFileAssociations() {
  std::u16string strProgram = GetProgramPath();
  std::u16string strOwnName = BareFileName(strProgram.c_str());
  RegHandle hRoot = RegRootHandle(rrClassesRoot);
  for (const FileAssociation& a : c_aAssociations) {
    CRegKey keyExt;
    if (keyExt.Create(hRoot, a.pszExtension) != c_errSuccess) continue;
    char16_t szType[260];
    if (keyExt.QueryString(nullptr, szType, 260) != c_errSuccess || !szType[0]) {
      keyExt.SetString(nullptr, a.pszTypeName);
      StrCopy(szType, 260, a.pszTypeName);
    }
    CRegKey keyType;
    if (keyType.Create(hRoot, szType) != c_errSuccess) continue;
    char16_t szDesc[260];
    if (keyType.QueryString(nullptr, szDesc, 260) != c_errSuccess || !szDesc[0]) {
      char16_t szText[64];
      keyType.SetString(nullptr, LoadResString(a.idsDescription, szText, 64));
    }
    if (a.fOpenVerb) {
      CRegKey keyShell, keyVerb, keyCommand;
      if (keyShell.Create(keyType.Handle(), u"Shell") == c_errSuccess &&
          keyVerb.Create(keyShell.Handle(), u"Open with VELMO") == c_errSuccess) {
        char16_t szVerb[32];
        keyVerb.SetString(nullptr, LoadResString(2037, szVerb, 32));
        if (keyCommand.Create(keyVerb.Handle(), u"Command") == c_errSuccess)
          keyCommand.SetString(nullptr, FormatStr(u"\"%s\" %%1", strProgram.c_str()).c_str());
      }
    }
    CRegKey keyIcon;
    if (keyIcon.Create(keyType.Handle(), u"DefaultIcon") == c_errSuccess) {
      char16_t szIcon[520];
      if (keyIcon.QueryString(nullptr, szIcon, 520) != c_errSuccess) szIcon[0] = 0;
      std::u16string strName = BareFileName(szIcon);
      if (strName.empty() || StrCmpI(strName.c_str(), strOwnName.c_str()) == 0)
        keyIcon.SetString(nullptr, FormatStr(u"\"%s\",%d", strProgram.c_str(), a.iIcon).c_str());
    }
  }
}
