#include "gps/VisualTracking.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "res/Failure.h"
#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "gps/GpsNotify.h"
#include "gps/GpsProtocol.h"
#include "gps/Tracking.h"
#include "gps/detail/MpsRecords.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/FileMapping.h"
#include "platform/Str.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"
#include "view/MapUnits.h"

using namespace gps::detail;
using namespace platform;

namespace {

CCritSec g_csLog;
std::unique_ptr<CFileMapping> g_pMapping;
TrackLogFile* g_log = nullptr;
bool g_fPendingNewSegment = false;
bool g_fLogging = false;

void ClearLocked() {
  if (!g_log) return;
  std::memset(static_cast<void*>(g_log), 0, sizeof(TrackLogFile));
  g_fPendingNewSegment = true;
}

}  // namespace

std::u16string VisualTracking::FilePath() { return JoinPath(GetTracksFolder(), u"Tracks.bin"); }

bool VisualTracking::Open() {
  CLock lock(g_csLog);
  if (g_pMapping) return true;
  if (!EnsureTracksFolder()) return false;
  std::u16string path = FilePath();
  uint64_t cb = 0;
  bool fReset = false;
  if (!GetFileSizeOf(path.c_str(), cb) || cb != sizeof(TrackLogFile)) {
    // A missing file or one of the wrong size starts empty.
    std::vector<uint8_t> zeros(sizeof(TrackLogFile), 0);
    if (!WriteFileAtomic(path.c_str(), zeros.data(), zeros.size())) {
      uint32_t dwError = LastSystemError();
      ReportFailure(c_idsCannotCreateFile, path, dwError ? dwError : c_dwErrorAccessDenied);
      return false;
    }
    fReset = true;
  }
  std::unique_ptr<CFileMapping> pMapping(new CFileMapping);
  if (!pMapping->OpenReadWrite(path.c_str(), sizeof(TrackLogFile)) || pMapping->Size() != sizeof(TrackLogFile) ||
      !pMapping->WritableData()) {
    uint32_t dwError = pMapping->LastError();
    ReportFailure(c_idsCannotReadFile, path, dwError ? dwError : c_dwErrorAccessDenied);
    return false;
  }
  g_log = reinterpret_cast<TrackLogFile*>(pMapping->WritableData());
  g_pMapping = std::move(pMapping);
  if (fReset || g_log->dwEnd >= c_cMaxPoints) ClearLocked();
  g_fLogging = GetSettingBool(setting::RecordTrack);
  return true;
}

void VisualTracking::Close() {
  CLock lock(g_csLog);
  if (!g_pMapping) return;
  g_pMapping->Flush();
  g_pMapping.reset();
  g_log = nullptr;
  DebugOutputA("Visual_CloseTracking ()\n");
}

bool VisualTracking::IsOpen() {
  CLock lock(g_csLog);
  return g_log != nullptr;
}

void VisualTracking::Append(float lon, float lat) {
  CLock lock(g_csLog);
  if (!g_fLogging || !g_log) return;
  int32_t x = DegreesToSemicircles(lon), y = DegreesToSemicircles(lat);
  ASSERT(g_log->dwEnd < c_cMaxPoints);
  if (g_log->dwEnd >= c_cMaxPoints) g_log->dwEnd = c_cMaxPoints - 1;
  TrackLogEntry& e = g_log->aEntries[g_log->dwEnd];
  e.nLongitude = x;
  e.dwLatitude = (uint32_t(y) & ~c_dwNewLineBit) | (g_fPendingNewSegment ? c_dwNewLineBit : 0);
  g_fPendingNewSegment = false;
  if (++g_log->dwEnd == c_cMaxPoints) {
    g_log->dwEnd = 0;
    g_log->dwWrapped = 1;
  }
}

void VisualTracking::NewSegment() {
  CLock lock(g_csLog);
  g_fPendingNewSegment = true;
}

void VisualTracking::SetLogging(bool fOn) {
  CLock lock(g_csLog);
  g_fLogging = fOn;
}

bool VisualTracking::IsLogging() {
  CLock lock(g_csLog);
  return g_fLogging;
}

void VisualTracking::Clear() {
  CLock lock(g_csLog);
  ClearLocked();
}

void VisualTracking::WalkTrackLog(int cx, int cy, ToScreenFn pfnToScreen, DrawPolylineFn pfnDraw, void* pContext) {
  // The drawing callback may dispatch the window's messages (a long track in
  // a drawing pass), and a port thread appends under the lock: the walk goes
  // over a copy taken under the lock, never with the lock held.
  std::vector<TrackLogEntry> aEntries;
  {
    CLock lock(g_csLog);
    if (!g_log) return;
    uint32_t dwEnd = g_log->dwEnd < c_cMaxPoints ? g_log->dwEnd : 0;
    uint32_t cEntries = g_log->dwWrapped ? c_cMaxPoints : dwEnd;
    uint32_t iFirst = g_log->dwWrapped ? dwEnd : 0;
    aEntries.reserve(cEntries);
    for (uint32_t k = 0; k < cEntries; ++k) aEntries.push_back(g_log->aEntries[(iFirst + k) % c_cMaxPoints]);
  }
  std::vector<VPoint> aPoints(c_cPolylinePoints);
  VPoint* pPoints = aPoints.data();
  int cPoints = 0;
  bool fStopped = false;
  auto draw = [&]() {
    if (cPoints >= 2 && !fStopped && !pfnDraw(pPoints, cPoints, pContext)) fStopped = true;
    cPoints = 0;
  };
  bool fPrevVisible = false;
  for (size_t k = 0; k < aEntries.size() && !fStopped; ++k) {
    const TrackLogEntry& e = aEntries[k];
    if (e.dwLatitude & c_dwNewLineBit) draw();
    // Sign-extend the 31-bit latitude; semicircles halved are map units.
    int32_t nLat = int32_t(e.dwLatitude << 1) >> 1;
    VPoint pt = pfnToScreen(e.nLongitude >> 1, nLat >> 1, pContext);
    bool fVisible = -int64_t(cx) < pt.x && pt.x < 2 * int64_t(cx) && -int64_t(cy) < pt.y && pt.y < 2 * int64_t(cy);
    if (fVisible) {
      pPoints[cPoints++] = pt;
      if (cPoints == c_cPolylinePoints) {
        draw();
        pPoints[cPoints++] = pt;  // the next polyline goes on from here
      }
    } else if (fPrevVisible) {
      draw();
    }
    fPrevVisible = fVisible;
  }
  draw();
}

// ---- the position stream ----

namespace {

class CVisualTrackListener : public CPositionListener {
 public:
  void OnTrackPoint(const GpsFix& fix) override { VisualTracking::Append(fix.longitude, fix.latitude); }
  void OnTrackBreak() override { VisualTracking::NewSegment(); }
};

}  // namespace

CPositionListener& VisualTrackListener() {
  static CVisualTrackListener s_listener;
  return s_listener;
}
