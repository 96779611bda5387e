// Console check of the Windows serial port under Wine: the port threads
// read a receiver through COMn (mapped by Wine to a pty that a script
// feeds), record the track and the track log, and print what came out.
//   gps_wine_port_check PORT SECONDS
#include <cstdio>
#include <cstdlib>

#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "gps/Positioning.h"
#include "gps/Replay.h"
#include "gps/Tracking.h"
#include "gps/VisualTracking.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Str.h"

// Prints every fix the program's hub takes.
class CFixPrinter : public CPositionListener {
  void OnFixTaken(const GpsFix& fix, uint32_t) override {
    std::printf("%s\n", FormatFixLine(fix).c_str());
    std::fflush(stdout);
  }
};
CFixPrinter g_printer;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gps_wine_port_check PORT SECONDS\n");
    return 2;
  }
  int nPort = std::atoi(argv[1]);
  int cSeconds = std::atoi(argv[2]);
  OpenSettings();
  for (int n = 0; n <= 19; ++n) SetDword(platform::FormatStr(u"Enable_COM%d", n).c_str(), n == nPort ? 1 : 0);
  SetBool(setting::RecordTrack.pszName, true);
  SetBool(setting::LogCOMPorts.pszName, true);
  GetPositionHub().AllowClockCorrection(false);  // the check never sets the clock
  VisualTracking::Open();
  VisualTracking::SetLogging(true);
  Tracking::StartRecording();
  GetPositionHub().Subscribe(&TrackRecorderListener());
  GetPositionHub().Subscribe(&VisualTrackListener());
  GetPositionHub().Subscribe(&g_printer);
  StartGps();
  std::u16string last;
  for (int i = 0; i < cSeconds * 10; ++i) {
    platform::SleepMs(100);
    char16_t sz[128];
    GetStatusText(sz, 128);
    if (last != sz) {
      last = sz;
      std::printf("status\t%s\n", platform::U16ToUtf8(last).c_str());
      std::fflush(stdout);
    }
  }
  StopGps();
  std::u16string track = Tracking::OpenFilePath();
  Tracking::StopRecording();
  VisualTracking::Close();
  uint64_t cb = 0;
  platform::GetFileSizeOf(VisualTracking::FilePath().c_str(), cb);
  std::printf("track-file\t%s\n", platform::U16ToUtf8(track).c_str());
  std::printf("tracks-bin\t%s\t%llu\n", platform::U16ToUtf8(VisualTracking::FilePath()).c_str(),
              (unsigned long long)cb);
  return 0;
}
