// velmo-cli guide: drives guidance and the voice's announce step along a
// recorded track, the way the program does on every new position, and
// prints the voice script of the drive: per fix the changes of the
// navigation state, and every phrase and event with the distance at which
// it was posted.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "exchange/TrackFile.h"
#include "geo/Geodesy.h"
#include "gps/GpsFix.h"
#include "gps/PositionHub.h"
#include "gps/Replay.h"
#include "map/MapParser.h"
#include "navigation/Guidance.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "platform/SystemInfo.h"
#include "routing/AutoRouting.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "sound/Voice.h"
#include "store/WaypointStore.h"
#include "tools/cli/Cli.h"
#include "tools/cli/CliArgs.h"
#include "view/MapUnits.h"

namespace {

const char c_szUsage[] =
    "MAP|- (--route FILE NAME | --to LAT LON) TRACK [--amn 0-4] [--offroute N] [--style 0|1]";

// Hands each fix of a track file (any format velmo-cli track reads) or of an
// NMEA capture to pfnFix as it is read: the drive is never held whole, so a
// drive of any length takes the same memory.
template <typename FnFix>
bool ForEachFix(const char* pszPath, FnFix fnFix) {
  std::u16string strPath = platform::Utf8ToU16(pszPath);
  exchange::TrackOpenResult result;
  std::unique_ptr<exchange::TrackFileReader> pReader(exchange::OpenTrackFile(strPath.c_str(), result));
  if (pReader) {
    for (;;) {
      GpsFix fix{};
      if (!pReader->NextPoint(fix)) break;
      fnFix(fix);
    }
    return true;
  }
  if (result != exchange::torUnknownFormat) return false;
  platform::CFile file;
  if (!file.Open(strPath.c_str(), platform::fmRead)) return false;
  struct CFixes : CPositionListener {
    FnFix* pfn;
    void OnFixTaken(const GpsFix& fix, uint32_t) override { (*pfn)(fix); }
  } fixes;
  fixes.pfn = &fnFix;
  CPositionHub hub;
  hub.Subscribe(&fixes);
  bool fRecognized = false, fRead = true;
  {
    CReplayStream stream(hub, "nmea", 0, 4096);
    std::vector<uint8_t> block(1 << 16);
    for (;;) {
      size_t cb = 0;
      if (!file.Read(block.data(), block.size(), &cb)) {
        fRead = false;
        break;
      }
      if (cb == 0) break;
      stream.Feed(block.data(), cb);
    }
    stream.Finish();
    fRecognized = stream.WasRecognized();
  }
  hub.Unsubscribe(&fixes);
  return fRead && fRecognized;
}

// The program's side of guidance for a drive: auto-routing over the map.
struct CCliHost : CGuidanceHost {
  CAutoRouter* pRouter = nullptr;
  int cRecalculations = 0;
  bool CalculateFromPosition(Route& route, float fLon, float fLat) override {
    return pRouter && pRouter->CalculateFromPosition(route, fLon, fLat, nullptr);
  }
  bool Recalculate(Route& route, float fLon, float fLat, size_t iVia, size_t iPassed) override {
    ++cRecalculations;
    bool f = pRouter && pRouter->Recalculate(route, fLon, fLat, iVia, iPassed, nullptr);
    std::printf("\trecalculate towards point %zu keeping %zu: %s\n", iVia, iPassed, f ? "done" : "failed");
    return f;
  }
};

// Prints what the voice posts.
struct CScript : CVoiceObserver {
  CVoice* pVoice = nullptr;
  unsigned nFix = 0;
  void OnVoicePosted(const CSoundEvent& ev, int32_t nDistance) override {
    if (ev.Group() == sgManeuver) {
      const AnnounceDistances& d = pVoice->LastDistances();
      std::printf("%u\tsay\t%s\tat %d m\t(far %d, near %d)\n", nFix, ev.Describe().c_str(), int(nDistance),
                  int(d.nFar), int(d.nNear));
    } else {
      std::printf("%u\tevent\t%s\n", nFix, ev.Describe().c_str());
    }
  }
};

// The recent average speed of the drive: the mean of the newest five.
struct CSpeeds {
  float af[5] = {};
  int c = 0, iNext = 0;
  void Push(float f) {
    af[iNext] = f;
    iNext = (iNext + 1) % 5;
    if (c < 5) ++c;
  }
  float Mean() const {
    float s = 0;
    for (int i = 0; i < c; ++i) s += af[i];
    return c ? s / float(c) : 0.0f;
  }
};

const char* StateName(int32_t n) {
  static const char* const c_apsz[] = {"not started", "on route", "off route", "finished"};
  return n >= 0 && n < 4 ? c_apsz[n] : "?";
}

int RunGuide(int argc, char** argv) {
  const char* pszMap = nullptr;
  const char* pszRouteFile = nullptr;
  const char* pszRouteName = nullptr;
  const char* pszTrack = nullptr;
  bool fTo = false;
  double dToLat = 0, dToLon = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--route") && i + 2 < argc) {
      pszRouteFile = argv[++i];
      pszRouteName = argv[++i];
    } else if (!std::strcmp(argv[i], "--to") && i + 2 < argc) {
      fTo = true;
      if (!ParseCliLatitude(argv[++i], dToLat))
        return CliBadValue("guide", "--to", "a latitude -90..90", argv[i]);
      if (!ParseCliLongitude(argv[++i], dToLon))
        return CliBadValue("guide", "--to", "a longitude -180..180", argv[i]);
    } else if (!std::strcmp(argv[i], "--amn") && i + 1 < argc) {
      int64_t n = 0;
      if (!ParseCliInteger(argv[++i], 0, 4, n)) return CliBadValue("guide", "--amn", "0-4", argv[i]);
      SetDword(setting::RoutingAMN.pszName, DWORD(n));
    } else if (!std::strcmp(argv[i], "--offroute") && i + 1 < argc) {
      int64_t n = 0;
      if (!ParseCliInteger(argv[++i], 0, 0xFFFFFFFFll, n))
        return CliBadValue("guide", "--offroute", "a whole number (1 recalculates)", argv[i]);
      SetDword(setting::RoutingOffRoute.pszName, DWORD(n));
    } else if (!std::strcmp(argv[i], "--style") && i + 1 < argc) {
      int64_t n = 0;
      if (!ParseCliInteger(argv[++i], 0, 1, n)) return CliBadValue("guide", "--style", "0 or 1", argv[i]);
      SetDword(setting::RoutingStyle.pszName, DWORD(n));
    } else if (!pszMap) {
      pszMap = argv[i];
    } else if (!pszTrack) {
      pszTrack = argv[i];
    } else {
      pszTrack = nullptr;
      break;
    }
  }
  if (!pszMap || !pszTrack || (fTo == (pszRouteFile != nullptr))) {
    std::fprintf(stderr, "usage: velmo-cli guide %s\n", c_szUsage);
    return 2;
  }
  // "-" drives without a map: no road calculation at the start and no
  // recalculation after leaving the route.
  uint32_t idsError = 0;
  CMapParser* pParser = nullptr;
  if (std::strcmp(pszMap, "-") != 0)
    pParser = OpenMapFileEx(platform::Utf8ToU16(pszMap).c_str(), false, c_fOpenAll, &idsError);
  if (!pParser && std::strcmp(pszMap, "-") != 0) {
    std::fprintf(stderr, "velmo-cli: cannot open the map %s\n", pszMap);
    return 1;
  }
  // The track is read twice, as a stream each time: once to know it can be
  // driven, once to drive it.
  size_t cFixes = 0;
  if (!ForEachFix(pszTrack, [&cFixes](const GpsFix&) { ++cFixes; })) {
    std::fprintf(stderr, "velmo-cli: cannot read the track %s\n", pszTrack);
    delete pParser;
    return 1;
  }

  Route* pActive = nullptr;
  CWaypointStore store(&pActive);
  Route* pRoute = nullptr;
  if (pszRouteFile) {
    if (store.LoadFile(platform::Utf8ToU16(pszRouteFile).c_str(), false) != slrLoaded) {
      std::fprintf(stderr, "velmo-cli: cannot read the routes of %s\n", pszRouteFile);
      delete pParser;
      return 1;
    }
    std::u16string strName = platform::Utf8ToU16(pszRouteName);
    for (Route* p = store.FirstRoute(); p; p = p->pNext)
      if (!p->IsDeleted() && p->strName == strName) pRoute = p;
    if (!pRoute) {
      std::fprintf(stderr, "velmo-cli: no route '%s' in %s\n", pszRouteName, pszRouteFile);
      delete pParser;
      return 1;
    }
  }

  CAutoRouter router(&pParser, &pActive, nullptr);
  CCliHost host;
  host.pRouter = &router;
  CSoundQueue queue;
  CVoice voice(queue);
  CScript script;
  script.pVoice = &voice;
  voice.SetObserver(&script);
  CSpeeds speeds;
  voice.SetSpeedSource([](void* p) { return static_cast<CSpeeds*>(p)->Mean(); }, &speeds);
  CGuidance guidance(store, &host, &voice);

  // Navigation starts where the drive starts (the first fix with a position).
  std::printf("#\tlatitude\tlongitude\tspeed\tstate\ttarget\tmaneuver\tto maneuver\tto end\n");
  bool fStarted = false;
  auto StartNavigation = [&](float fLon, float fLat) {
    fStarted = true;
    if (fTo)
      guidance.GoTo(DegreesToStored(dToLon), DegreesToStored(dToLat), GuidanceFix{}, fLon, fLat);
    else
      guidance.Start(pRoute, GuidanceFix{}, fLon, fLat);
    Route* pDriven = guidance.ActiveRoute();
    std::printf("0\troute\t%zu points\t%.0f m\n", pDriven ? pDriven->points.size() : size_t(0),
                pDriven ? double(GetRouteLength(*pDriven)) : 0.0);
  };

  NavigationState last{};
  last.nState = -1;
  GpsFix prev{};
  bool fPrev = false;
  // The most route points guidance held at once: what the drive costs in
  // memory beyond its fixed part.
  size_t cMostPoints = 0;
  ForEachFix(pszTrack, [&](const GpsFix& fix) {
    if (!fStarted && fix.Has(gfPosition)) StartNavigation(fix.longitude, fix.latitude);
    ++script.nFix;
    GuidanceFix g;
    g.fPosition = fix.Has(gfPosition);
    g.fLon = fix.longitude;
    g.fLat = fix.latitude;
    g.fHasHdop = fix.Has(gfHdop);
    g.fHdop = fix.hdop;
    float fSpeed = 0;
    if (fix.Has(gfSpeed))
      fSpeed = fix.speed;
    else if (fPrev && g.fPosition && fix.Has(gfTime) && prev.Has(gfTime) && fix.time > prev.time)
      fSpeed = float(GetDistance(prev.longitude, prev.latitude, fix.longitude, fix.latitude) /
                     ((fix.time - prev.time) * 86400.0) * 3.6);
    if (g.fPosition) speeds.Push(fSpeed);
    if (g.fPosition) {
      prev = fix;
      fPrev = true;
    }
    if (!guidance.IsRunning()) return;
    guidance.Update(g);
    if (Route* pDriven = guidance.ActiveRoute())
      if (pDriven->points.size() > cMostPoints) cMostPoints = pDriven->points.size();
    const NavigationState& st = guidance.State();
    if (g.fPosition && (st.nState != last.nState || st.iTarget != last.iTarget || st.iNextManeuver != last.iNextManeuver)) {
      char szKind[48];
      FormatManeuverKind(szKind, sizeof szKind, st.nManeuverKind, st.nManeuverAngle, uint32_t(st.nManeuverParameter));
      std::printf("%u\t%.6f\t%.6f\t%.0f\t%s\t%u\t%u %s\t%u\t%u\n", script.nFix, double(g.fLat), double(g.fLon),
                  double(speeds.Mean()), StateName(st.nState), st.iTarget, st.iNextManeuver, szKind,
                  st.nDistanceToManeuver, st.nDistanceToEnd);
      last = st;
    }
  });
  if (!fStarted) StartNavigation(0.0f, 0.0f);
  std::printf("fixes: %zu, recalculations: %d, navigation %s\n", cFixes, host.cRecalculations,
              guidance.IsRunning() ? "running" : "ended");
  std::printf("route points: at most %zu held\n", cMostPoints);
  uint64_t qwPeakKb = 0;
  if (platform::GetPeakMemoryKb(qwPeakKb)) std::printf("peak memory: %llu KiB\n", (unsigned long long)qwPeakKb);
  guidance.End();
  delete pParser;
  return 0;
}

}  // namespace

VELMO_CLI_COMMAND(guide, "guide", c_szUsage, RunGuide);
