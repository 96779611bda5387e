#include "gps/Tracking.h"

#include <cmath>
#include <memory>

#include "res/Failure.h"
#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "gps/FileWriter.h"
#include "gps/GpsProtocol.h"
#include "gps/VisualTracking.h"
#include "gps/detail/MpsRecords.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"
#include "view/MapUnits.h"

using namespace gps::detail;
using namespace platform;

namespace {

CCritSec g_csTrack;
std::unique_ptr<CFile> g_pFile;
std::unique_ptr<FileWriter> g_pFileWriter;  // writes to *g_pFile
std::u16string g_strPath;
std::u16string g_strName;
bool g_fRecording = false;
// The track file could not be created: reported once, and not tried again on
// every fix until recording is started anew.
bool g_fOpenFailed = false;
bool g_fTrackOpen = false;
bool g_fHasPoints = false;
uint32_t g_cTrackPoints = 0;
uint64_t g_offTrackStart = 0;
uint64_t g_offTrackCount = 0;
uint32_t g_nTrackNumber = 0;

void FinishTrackRecord() {
  uint64_t pos = g_pFileWriter->Position();
  g_pFileWriter->Seek(g_offTrackStart);
  g_pFileWriter->WriteDword(uint32_t(pos - g_offTrackStart - c_cbMpsRecordHead));
  g_pFileWriter->Seek(g_offTrackCount);
  g_pFileWriter->WriteDword(g_cTrackPoints);
  g_pFileWriter->Seek(pos);
}

void NewTrackLocked() {
  if (!g_pFileWriter) return;
  if (g_fTrackOpen && g_cTrackPoints == 0) return;
  if (g_fTrackOpen) FinishTrackRecord();
  char szName[32];
  std::snprintf(szName, sizeof szName, "Track %03u", unsigned(g_nTrackNumber));
  ++g_nTrackNumber;
  SetDword(setting::TrackNumber.pszName, g_nTrackNumber);
  g_offTrackStart = g_pFileWriter->Position();
  g_pFileWriter->WriteDword(c_dwMpsLengthPlaceholder);
  g_pFileWriter->WriteByte(c_btMpsTrack);
  g_pFileWriter->WriteText(szName);
  g_pFileWriter->WriteByte(0);  // the name's terminator
  g_pFileWriter->WriteByte(0);  // display flag
  g_pFileWriter->WriteDword(0); // colour
  g_offTrackCount = g_pFileWriter->Position();
  g_pFileWriter->WriteDword(c_dwMpsCountPlaceholder);
  g_cTrackPoints = 0;
  g_fTrackOpen = true;
  // The record on disk is kept whole from the start (see AddTrackPoint).
  FinishTrackRecord();
  g_pFileWriter->Flush();
}

void CloseFileLocked() {
  if (!g_pFileWriter) return;
  if (g_fTrackOpen) FinishTrackRecord();
  g_pFileWriter->WriteBytes(c_abMpsEnd, sizeof c_abMpsEnd);
  g_pFileWriter->Flush();
  g_pFileWriter.reset();
  g_pFile->Close();
  g_pFile.reset();
  if (!g_fHasPoints) DeleteFilePath(g_strPath.c_str());
  g_strPath.clear();
  g_strName.clear();
  g_fTrackOpen = false;
  g_fHasPoints = false;
}

bool OpenFileLocked() {
  std::u16string folder = GetTracksFolder();
  if (!EnsureTracksFolder()) {
    g_fOpenFailed = true;
    return false;
  }
  CSystemTime st;
  GetLocalTime(st);
  g_strName = FormatStr(u"%d-%02d-%02d_%02d-%02d-%02d.mps", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                        st.wSecond);
  g_strPath = JoinPath(folder, g_strName);
  std::unique_ptr<CFile> pFile(new CFile);
  // A track file is always a new file: a second track started within the
  // same second (or whatever else has the name) is never overwritten.
  bool fOpen = pFile->Open(g_strPath.c_str(), fmCreateNew);
  for (int n = 2; !fOpen && n < 100 && FileExists(g_strPath.c_str()); ++n) {
    g_strName = FormatStr(u"%d-%02d-%02d_%02d-%02d-%02d_%d.mps", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                          st.wSecond, n);
    g_strPath = JoinPath(folder, g_strName);
    fOpen = pFile->Open(g_strPath.c_str(), fmCreateNew);
  }
  if (!fOpen) {
    uint32_t dwError = LastSystemError();
    // A port thread runs this under the track lock: the failure goes to the
    // shell, which shows it on its own thread.
    ReportFailure(c_idsCannotCreateFile, g_strPath, dwError ? dwError : c_dwErrorAccessDenied, true);
    g_strPath.clear();
    g_strName.clear();
    g_fOpenFailed = true;
    return false;
  }
  g_pFileWriter.reset(new FileWriter(pFile.get()));
  g_pFile = std::move(pFile);
  g_pFileWriter->WriteBytes(c_abMpsHeader, sizeof c_abMpsHeader);
  g_fTrackOpen = false;
  g_fHasPoints = false;
  g_nTrackNumber = GetSetting(setting::TrackNumber);
  if (g_nTrackNumber > 999) g_nTrackNumber = 0;
  NewTrackLocked();
  return true;
}

}  // namespace

std::u16string GetTracksFolder() { return JoinPath(GetDocumentsFolder(), u"GPS Tracks and Waypoints"); }

bool EnsureTracksFolder() {
  const std::u16string folder = GetTracksFolder();
  if (IsDirectory(folder.c_str()) || CreateDirectoryPath(folder.c_str())) return true;
  const uint32_t dwError = LastSystemError();
  ReportFailure(c_idsCannotCreateFile, folder, dwError ? dwError : c_dwErrorAccessDenied, true);
  return false;
}

void Tracking::StartRecording() {
  CLock lock(g_csTrack);
  if (g_pFileWriter) CloseFileLocked();
  g_fRecording = true;
  g_fOpenFailed = false;
}

void Tracking::StopRecording() {
  CLock lock(g_csTrack);
  g_fRecording = false;
  CloseFileLocked();
}

void Tracking::NewTrack() {
  CLock lock(g_csTrack);
  NewTrackLocked();
}

bool Tracking::IsRecording() {
  CLock lock(g_csTrack);
  return g_fRecording;
}

std::u16string Tracking::OpenFilePath() {
  CLock lock(g_csTrack);
  return g_strPath;
}

void Tracking::AddTrackPoint(const GpsFix& fix) {
  CLock lock(g_csTrack);
  if (!g_fRecording || !fix.Has(gfPosition)) return;
  if (!g_pFileWriter && (g_fOpenFailed || !OpenFileLocked())) return;
  g_fHasPoints = true;
  ++g_cTrackPoints;
  MpsTrackPoint pt = {};
  pt.nLatitude = DegreesToSemicircles(fix.latitude);
  pt.nLongitude = DegreesToSemicircles(fix.longitude);
  if (fix.Has(gfAltitude)) {
    pt.btHasAltitude = 1;
    pt.dAltitude = fix.altitude;
  }
  if (fix.Has(gfTime)) {
    double secs = std::round((fix.time - 25569.0) * 86400.0);
    if (secs >= 0 && secs <= 4294967295.0) {
      pt.btHasTime = 1;
      pt.dwTime = uint32_t(secs);
    }
  }
  if (fix.Has(gfDepth)) {
    pt.btHasDepth = 1;
    pt.dDepth = fix.depth;
  }
  ASSERT(g_pFileWriter);
  g_pFileWriter->WriteBytes(&pt, sizeof pt);
  // Keep the record length and the point count right after every point and
  // hand the bytes to the system at once: a program that is killed leaves a
  // file whose last track holds every point written so far, for any reader
  // that trusts the record lengths.
  FinishTrackRecord();
  g_pFileWriter->Flush();
}

namespace {

class CTrackRecorderListener : public CPositionListener {
 public:
  void OnTrackPoint(const GpsFix& fix) override { Tracking::AddTrackPoint(fix); }
  void OnTrackBreak() override { Tracking::NewTrack(); }
};

}  // namespace

CPositionListener& TrackRecorderListener() {
  static CTrackRecorderListener s_listener;
  return s_listener;
}
