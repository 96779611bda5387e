// Export and import of waypoints and routes through the common file
// dialogs, with the exchange formats' lists as the dialogs' filters. The
// route list's GPX export carries the recorded tracks too.
#include <algorithm>
#include <vector>

#include "app/Shell.h"
#include "app/StoreDialogParts.h"
#include "app/StoreDialogs.h"
#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "exchange/Exchange.h"
#include "exchange/Gpx.h"
#include "exchange/ImportFile.h"
#include "exchange/TrackFile.h"
#include "gps/Tracking.h"
#include "platform/File.h"
#include "platform/FileMapping.h"
#include "platform/Str.h"
#include "store/WaypointStore.h"

using namespace platform;

namespace {

const uint32_t c_idsExportWaypointsTitle = 2171;
const uint32_t c_idsExportRoutesTitle = 2172;
const uint32_t c_idsImportWaypointsTitle = 2173;
const uint32_t c_idsImportRoutesTitle = 2174;

std::u16string FormatName(uint32_t idsName) {
  char16_t sz[128];
  return LoadResString(idsName, sz, 128);
}

void ShowFileError(HWND hOwner, uint32_t ids, const char16_t* pszPath, DWORD dwError) {
  char16_t sz[1024];
  FormatResString(sz, 1024, ids, pszPath, SystemErrorText(dwError).c_str());
  StoreMessageBox(hOwner, sz, MB_OK | MB_ICONERROR);
}

// The path with the format's extension when it has none.
std::u16string WithExtension(const char16_t* pszPath, const exchange::ExchangeFormat& format) {
  std::u16string str = pszPath;
  size_t iSlash = str.find_last_of(u"\\/");
  size_t iDot = str.find_last_of(u'.');
  if (iDot == std::u16string::npos || (iSlash != std::u16string::npos && iDot < iSlash))
    str += std::u16string(u".") + format.pszExtension;
  return str;
}

// The route list's GPX: the waypoints and routes of the store and the
// tracks of the tracks folder (the recorded ones, the one being recorded
// up to its last point, and those saved from imported files), oldest file
// first; a file no track format reads is left out.
bool ExportGpxWithTracks(CWaypointStore& store, const exchange::ExchangeOptions& opts, const char16_t* pszPath) {
  exchange::GpxDocument doc;
  exchange::StoreToGpx(store, true, doc);
  std::u16string strFolder = GetTracksFolder();
  std::vector<std::u16string> names;
  if (ListFolder(strFolder.c_str(), false, names)) {
    std::sort(names.begin(), names.end());
    for (const std::u16string& strName : names) {
      size_t iDot = strName.find_last_of(u'.');
      if (iDot == std::u16string::npos) continue;
      const char16_t* pszExt = strName.c_str() + iDot + 1;
      if (StrCmpI(pszExt, u"mps") != 0 && StrCmpI(pszExt, u"gdb") != 0 && StrCmpI(pszExt, u"gpx") != 0) continue;
      std::vector<uint8_t> bytes;
      if (!ReadWholeFile(JoinPath(strFolder, strName).c_str(), bytes)) continue;
      std::vector<exchange::GpxTrack> tracks;
      if (!exchange::ReadTracks(bytes.data(), bytes.size(), opts.nCodePage, tracks)) continue;
      for (exchange::GpxTrack& track : tracks)
        if (!track.segments.empty()) doc.tracks.push_back(std::move(track));
    }
  }
  std::vector<uint8_t> out;
  exchange::WriteGpx(doc, opts.dNow, out);
  return WriteFileAtomic(pszPath, out.data(), out.size());
}

void ExportDialog(HWND hOwner, bool fRoutes) {
  size_t cFormats = 0;
  const exchange::ExchangeFormat* pFormats =
      fRoutes ? exchange::GetRouteExportFormats(cFormats) : exchange::GetWaypointExportFormats(cFormats);
  const SettingDef& setting = fRoutes ? setting::RteExportFormat : setting::WptExportFormat;
  std::u16string strFilter = exchange::BuildFilter(pFormats, cFormats, FormatName);
  DWORD dwIndex = GetSetting(setting);
  const exchange::ExchangeFormat* pStart = exchange::GetNumberedFormat(pFormats, cFormats, dwIndex ? dwIndex - 1 : 0);
  if (!pStart) {
    dwIndex = 1;
    pStart = exchange::GetNumberedFormat(pFormats, cFormats, 0);
  }
  if (!pStart) return;
  wchar_t szFile[MAX_PATH];
  lstrcpynW(szFile, W(fRoutes ? exchange::c_szExportedRoutes : exchange::c_szExportedWaypoints), MAX_PATH);
  char16_t szTitle[128];
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hOwner ? hOwner : g_hWnd;
  ofn.lpstrFilter = W(strFilter.c_str());
  ofn.nFilterIndex = dwIndex;
  ofn.lpstrFile = szFile;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = W(pStart->pszExtension);
  ofn.lpstrTitle = W(LoadResString(fRoutes ? c_idsExportRoutesTitle : c_idsExportWaypointsTitle, szTitle, 128));
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!::GetSaveFileNameW(&ofn)) return;
  // A name typed with the extension of another format of the list is
  // written in that format (not as the filter's format under that name).
  DWORD dwChosen = ofn.nFilterIndex ? ofn.nFilterIndex : 1;
  if (ofn.nFileExtension > 0 && szFile[ofn.nFileExtension] != 0) {
    for (DWORD i = 1; const exchange::ExchangeFormat* p = exchange::GetNumberedFormat(pFormats, cFormats, i - 1); ++i)
      if (StrCmpI(U(szFile + ofn.nFileExtension), p->pszExtension) == 0) {
        dwChosen = i;
        break;
      }
  }
  SetDword(setting.pszName, dwChosen);
  const exchange::ExchangeFormat* pFormat = exchange::GetNumberedFormat(pFormats, cFormats, dwChosen - 1);
  if (!pFormat) return;
  std::u16string strPath = WithExtension(U(szFile), *pFormat);
  exchange::ExchangeOptions opts = exchange::DefaultExchangeOptions(NowDays());
  HCURSOR hOld = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  ::SetLastError(0);
  bool fWritten = fRoutes && pFormat->pfnExport == exchange::ExportGpxRoutes
                      ? ExportGpxWithTracks(g_waypointStore, opts, strPath.c_str())
                      : exchange::ExportToFile(*pFormat, g_waypointStore, opts, strPath.c_str());
  DWORD dwError = ::GetLastError();
  ::SetCursor(hOld);
  if (!fWritten) ShowFileError(hOwner, exchange::c_idsCannotWriteFile, strPath.c_str(), dwError ? dwError : ERROR_WRITE_FAULT);
}

void ShowImportMessage(HWND hOwner, const exchange::ImportResult& result) {
  char16_t sz[1024];
  switch (result.idsMessage) {
    case 0:
      return;
    case exchange::c_idsImportedWaypoints:
      FormatResString(sz, 1024, result.idsMessage, result.cWaypoints);
      break;
    case exchange::c_idsImportedRoutes:
      FormatResString(sz, 1024, result.idsMessage, result.cRoutes, result.cWaypoints);
      break;
    case exchange::c_idsUnsupportedDatum:
      FormatResString(sz, 1024, result.idsMessage, result.strDatum.c_str());
      break;
    default:
      // 2168 and 2169 have no arguments and are longer than a format may be.
      LoadResString(result.idsMessage, sz, 1024);
      break;
  }
  StoreMessageBox(hOwner, sz, result.fRefused ? MB_OK | MB_ICONEXCLAMATION : MB_OK | MB_ICONINFORMATION);
}

// The tracks of an imported file go to the tracks folder beside the
// recorded ones, as a track file named after the imported file.
void SaveImportedTracks(HWND hOwner, const char16_t* pszImported, const exchange::ImportResult& result) {
  if (result.cTracks <= 0 || result.trackFile.empty()) return;
  std::u16string strFolder = GetTracksFolder();
  if (!IsDirectory(strFolder.c_str())) CreateDirectoryPath(strFolder.c_str());
  std::u16string strName = pszImported;
  size_t iSlash = strName.find_last_of(u"\\/");
  if (iSlash != std::u16string::npos) strName.erase(0, iSlash + 1);
  size_t iDot = strName.find_last_of(u'.');
  if (iDot != std::u16string::npos && iDot > 0) strName.resize(iDot);
  std::u16string strPath = JoinPath(strFolder, strName + u".mps");
  ::SetLastError(0);
  if (!WriteFileAtomic(strPath.c_str(), result.trackFile.data(), result.trackFile.size())) {
    DWORD dwError = ::GetLastError();
    ShowFileError(hOwner, exchange::c_idsCannotWriteFile, strPath.c_str(), dwError ? dwError : ERROR_WRITE_FAULT);
    return;
  }
  char16_t sz[1024];
  FormatResString(sz, 1024, exchange::c_idsGpxTracksSaved, result.cTracks, strPath.c_str());
  StoreMessageBox(hOwner, sz, MB_OK | MB_ICONINFORMATION);
}

void ImportDialog(HWND hOwner, bool fRoutes) {
  size_t cFormats = 0;
  const exchange::ExchangeFormat* pFormats =
      fRoutes ? exchange::GetRouteImportFormats(cFormats) : exchange::GetWaypointImportFormats(cFormats);
  std::u16string strFilter = exchange::BuildFilter(pFormats, cFormats, FormatName);
  wchar_t szFile[MAX_PATH] = L"";
  char16_t szTitle[128];
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hOwner ? hOwner : g_hWnd;
  ofn.lpstrFilter = W(strFilter.c_str());
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = szFile;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = W(LoadResString(fRoutes ? c_idsImportRoutesTitle : c_idsImportWaypointsTitle, szTitle, 128));
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!::GetOpenFileNameW(&ofn)) return;
  const exchange::ExchangeFormat* pFormat =
      exchange::GetNumberedFormat(pFormats, cFormats, ofn.nFilterIndex ? ofn.nFilterIndex - 1 : 0);
  if (!pFormat) return;
  exchange::ExchangeOptions opts = exchange::DefaultExchangeOptions(NowDays());
  exchange::ImportResult result;
  HCURSOR hOld = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  ::SetLastError(0);
  exchange::ImportFileStatus status = exchange::ImportFileAs(*pFormat, g_waypointStore, U(szFile), opts, result);
  if (status == exchange::ifsUnknownFormat) {
    // A file of another exchange format than the filter chosen is taken by
    // its own importer (a store file is not: it is no exchange file).
    const exchange::ExchangeFormat* pOther = nullptr;
    {
      platform::CFileMapping mapping;
      if (mapping.OpenRead(U(szFile))) pOther = exchange::FindImportFormat(mapping.Data(), mapping.Size());
    }
    if (pOther) status = exchange::ImportFileAs(*pOther, g_waypointStore, U(szFile), opts, result);
  }
  DWORD dwError = ::GetLastError();
  ::SetCursor(hOld);
  switch (status) {
    case exchange::ifsCannotOpen:
      ShowFileError(hOwner, exchange::c_idsCannotOpenFile, U(szFile), dwError ? dwError : ERROR_OPEN_FAILED);
      return;
    case exchange::ifsUnknownFormat:
      ShowFileError(hOwner, exchange::c_idsCannotReadFile, U(szFile), ERROR_BAD_FORMAT);
      return;
    case exchange::ifsDamagedStore:
    case exchange::ifsImported:
      break;
  }
  if (result.cWaypoints > 0 || result.cRoutes > 0) {
    if (result.cWaypoints > 0) SetBool(setting::ShowWaypoints.pszName, true);
    if (result.cRoutes > 0) SetBool(setting::ShowRoutes.pszName, true);
    SaveStoreAndRefresh(hOwner);
  }
  ShowImportMessage(hOwner, result);
  SaveImportedTracks(hOwner, U(szFile), result);
}

}  // namespace

void ExportWaypointsDialog(HWND hOwner) { ExportDialog(hOwner, false); }
void ExportRoutesDialog(HWND hOwner) { ExportDialog(hOwner, true); }
void ImportWaypointsDialog(HWND hOwner) { ImportDialog(hOwner, false); }
void ImportRoutesDialog(HWND hOwner) { ImportDialog(hOwner, true); }
