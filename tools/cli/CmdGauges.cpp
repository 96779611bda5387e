// velmo-cli gauges: drives the gauges natively with a recorded track or a
// receiver capture, from zeroed gauges, and prints every gauge's final value
// as the program would show it: identifier, value, unit (tab-separated).
#include <cstring>
#include <memory>
#include <vector>

#include "exchange/TrackFile.h"
#include "gauges/Gauge.h"
#include "gauges/GaugeSources.h"
#include "geo/Units.h"
#include "gps/GpsTime.h"
#include "gps/PositionHub.h"
#include "gps/Replay.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "settings/Settings.h"
#include "tools/cli/Cli.h"
#include "tools/cli/CliArgs.h"

namespace {

// The main window's part: every fix goes to the gauges, a lost position too.
class CGaugeDriver : public CPositionListener {
 public:
  void OnFixTaken(const GpsFix& fix, uint32_t) override {
    UpdateAllGauges(fix);
    ++m_cFixes;
  }
  void OnPositionLost() override { GaugesPositionLost(); }
  unsigned m_cFixes = 0;
};

void PrintGauges() {
  for (int iPage = 0; iPage < c_cGaugePages; ++iPage) {
    const GaugePage* pPage = GetGaugePage(iPage);
    if (!pPage) continue;
    for (const GaugeDesc* p = pPage->pFirst; p; p = p->pNextInPage) {
      char16_t szValue[c_cchGaugeValue], szUnit[c_cchGaugeValue];
      GetGaugeText(p, szValue, szUnit, c_cchGaugeValue);
      std::printf("%s\t%s\t%s\n", platform::U16ToUtf8(p->pszId).c_str(), platform::U16ToUtf8(szValue).c_str(),
                  platform::U16ToUtf8(szUnit).c_str());
    }
  }
}

int RunGauges(int argc, char** argv) {
  const char* pszProtocol = nullptr;
  const char* pszFile = nullptr;
  bool fBad = false;
  double dPivot = 0;  // the build date
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--protocol") == 0 && i + 1 < argc) {
      pszProtocol = argv[++i];
    } else if (std::strcmp(argv[i], "--since") == 0 && i + 1 < argc) {
      if (!ParseCliDate(argv[++i], dPivot))
        return CliBadValue("gauges", "--since", "a date YYYY-MM-DD from 1980-01-06 on", argv[i]);
    }
    else if (!pszFile)
      pszFile = argv[i];
    else
      fBad = true;
  }
  if (fBad || !pszFile || (pszProtocol && !IsReplayProtocol(pszProtocol))) {
    std::fprintf(stderr, "usage: velmo-cli gauges TRACK|CAPTURE [--protocol nmea|nmea9600|garmin|sirf [--since YYYY-MM-DD]]\n");
    return 2;
  }
  // Zeroed gauges in the default units.
  ResetAllSettings();
  LoadUnitOptions();
  LoadAllGauges();
  CPositionHub hub;
  hub.AllowClockCorrection(false);
  if (dPivot != 0) hub.SetDatePivot(dPivot);
  SetGaugeHub(&hub);
  CGaugeDriver driver;
  hub.Subscribe(&driver);
  const std::u16string strPath = platform::Utf8ToU16(pszFile);
  int nResult = 0;
  if (pszProtocol) {
    std::vector<uint8_t> data;
    if (!platform::ReadWholeFile(strPath.c_str(), data)) {
      std::fprintf(stderr, "cannot read %s\n", pszFile);
      nResult = 1;
    } else {
      ReplayResult result;
      ReplayCaptureThrough(hub, pszProtocol, data.data(), data.size(), 0, 4096, result);
    }
  } else {
    exchange::TrackOpenResult result;
    std::unique_ptr<exchange::TrackFileReader> pReader(exchange::OpenTrackFile(strPath.c_str(), result));
    if (!pReader) {
      std::fprintf(stderr, "velmo-cli: '%s' is not a MapSource track file (a capture needs --protocol)\n", pszFile);
      nResult = 1;
    } else {
      for (;;) {
        GpsFix fix{};
        if (!pReader->NextPoint(fix)) break;
        hub.OnFix(fix);
      }
    }
  }
  hub.Unsubscribe(&driver);
  if (nResult == 0) {
    PrintGauges();
    std::fprintf(stderr, "%u fixes\n", driver.m_cFixes);
  }
  SetGaugeHub(nullptr);
  return nResult;
}

}  // namespace

VELMO_CLI_COMMAND(gauges, "gauges", "TRACK|CAPTURE [--protocol nmea|nmea9600|garmin|sirf [--since YYYY-MM-DD]]", RunGauges);
