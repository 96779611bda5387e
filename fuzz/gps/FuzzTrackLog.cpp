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

static VPoint ToScreen(int32_t x, int32_t y, void*) { return VPoint{x >> 16, y >> 16}; }
static bool Draw(const VPoint*, int, void*) { return true; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  static std::string s_dir = "/tmp/velmo_fuzz_tracklog_" + std::to_string(getpid());
  static bool s_fInit = [] {
    setenv("VELMO_DOCUMENTS_DIR", s_dir.c_str(), 1);
    platform::CreateDirectoryPath(platform::Utf8ToU16(s_dir).c_str());
    platform::CreateDirectoryPath(GetTracksFolder().c_str());
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
