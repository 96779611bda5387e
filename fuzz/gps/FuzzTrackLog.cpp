// Tracks.bin as it may be found on disk: any 80 008 bytes (shorter inputs
// are padded), opened, appended to and walked for drawing.
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "gps/Tracking.h"
#include "gps/VisualTracking.h"
#include "platform/File.h"
#include "platform/Str.h"

static std::string g_strDir;

// The fuzzer's own folder goes when the process ends.
static void RemoveFolder() {
  platform::DeleteFilePath(VisualTracking::FilePath().c_str());
  std::string tracks = platform::U16ToUtf8(GetTracksFolder());
  rmdir(tracks.c_str());
  rmdir(g_strDir.c_str());
}

static VPoint ToScreen(int32_t x, int32_t y, void*) { return VPoint{x >> 16, y >> 16}; }
static bool Draw(const VPoint*, int, void*) { return true; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  static bool s_fInit = [] {
    g_strDir = "/tmp/velmo_fuzz_tracklog_" + std::to_string(getpid());
    setenv("VELMO_DOCUMENTS_DIR", g_strDir.c_str(), 1);
    platform::CreateDirectoryPath(platform::Utf8ToU16(g_strDir).c_str());
    platform::CreateDirectoryPath(GetTracksFolder().c_str());
    std::atexit(RemoveFolder);
    return true;
  }();
  (void)s_fInit;
  std::vector<uint8_t> data(80008, 0);
  for (size_t i = 0; i < cb && i < data.size(); ++i) data[i] = pb[i];
  // Input longer than the file gives a file of the wrong size.
  if (cb > data.size()) data.resize(cb > 90000 ? 90000 : cb);
  platform::WriteFileAtomic(VisualTracking::FilePath().c_str(), data.data(), data.size());
  if (VisualTracking::Open()) {
    VisualTracking::SetLogging(true);
    VisualTracking::Append(10.0f, -20.0f);
    VisualTracking::WalkTrackLog(800, 600, ToScreen, Draw, nullptr);
    VisualTracking::Close();
  }
  return 0;
}
