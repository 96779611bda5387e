// velmo-cli render MAP --lat LAT --lon LON --scale N [--angle A] [--night]
//                   [--size WxH] [--res DIR] [--map-only]
//                   [--waypoints FILE [--symbols DIR]] [--passes N] -o OUT.png
// Draws the map through the same pass as the map page (styles, skins,
// labels, icons, north arrow and scale bar) on the software canvas and
// writes a PNG. --waypoints adds the routes and waypoints of a
// Waypoints.bin, with the symbol icons the build wrote (--symbols, else
// res/symbols of the build tree above the program). --passes N draws the
// view N more times after the first pass and prints the median and the
// fastest pass in milliseconds (the Windows build draws through GDI).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "render/DrawTypes.h"
#include "render/MapPage.h"
#include "render/Screen.h"
#include "render/overlay/StoreDraw.h"
#include "render/overlay/SymbolIcons.h"
#include "store/WaypointStore.h"
#include "tools/cli/Cli.h"
#include "tools/cli/CliArgs.h"
#include "view/MapPosition.h"
#include "view/MapUnits.h"

namespace {

// The folder with day.skin, night.skin and icons/: --res, else beside the
// program, else render/res of the working folder.
std::u16string FindResourceFolder(const char* pszRes) {
  if (pszRes != nullptr)
    return platform::Utf8ToU16(pszRes);
  std::u16string strProgram = platform::GetProgramFolder();
  for (const std::u16string& str : {strProgram, platform::JoinPath(strProgram, u"res"), std::u16string(u"render/res")}) {
    if (platform::FileExists(platform::JoinPath(str, u"day.skin").c_str()))
      return str;
  }
  return std::u16string();
}

// The build's symbol icons: res/symbols in a folder above the program.
std::u16string FindSymbolFolder(const char* pszSymbols) {
  if (pszSymbols != nullptr)
    return platform::Utf8ToU16(pszSymbols);
  std::u16string str = platform::GetProgramFolder();
  for (int i = 0; i < 4 && !str.empty(); ++i) {
    const std::u16string strDir = platform::JoinPath(str, u"res/symbols");
    if (platform::FileExists(platform::JoinPath(strDir, u"130.bmp").c_str()))
      return strDir;
    const size_t iSlash = str.find_last_of(u'/');
    str = iSlash == std::u16string::npos ? std::u16string() : str.substr(0, iSlash);
  }
  return std::u16string();
}

int RunRender(int argc, char** argv) {
  const char* pszMap = nullptr;
  const char* pszOut = nullptr;
  const char* pszRes = nullptr;
  const char* pszWaypoints = nullptr;
  const char* pszSymbols = nullptr;
  double fLat = 0, fLon = 0;
  bool fLat_ = false, fLon_ = false, fNight = false, fMapOnly = false;
  int nScale = -1, nAngle = 0, cx = 800, cy = 600, cPasses = 0;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool fHasValue = i + 1 < argc;
    int64_t n = 0;
    if (std::strcmp(a, "--lat") == 0 && fHasValue) {
      if (!ParseCliLatitude(argv[++i], fLat)) return CliBadValue("render", "--lat", "a latitude -90..90", argv[i]);
      fLat_ = true;
    } else if (std::strcmp(a, "--lon") == 0 && fHasValue) {
      if (!ParseCliLongitude(argv[++i], fLon))
        return CliBadValue("render", "--lon", "a longitude -180..180", argv[i]);
      fLon_ = true;
    } else if (std::strcmp(a, "--scale") == 0 && fHasValue) {
      if (!ParseCliInteger(argv[++i], 0, 26, n)) return CliBadValue("render", "--scale", "a scale 0-26", argv[i]);
      nScale = int(n);
    } else if (std::strcmp(a, "--angle") == 0 && fHasValue) {
      if (!ParseCliInteger(argv[++i], -360, 360, n))
        return CliBadValue("render", "--angle", "whole degrees -360..360", argv[i]);
      nAngle = int(n);
    } else if (std::strcmp(a, "--size") == 0 && fHasValue) {
      const char* psz = argv[++i];
      const char* pszX = std::strchr(psz, 'x');
      std::string strW(psz, pszX ? size_t(pszX - psz) : std::strlen(psz));
      int64_t w = 0, h = 0;
      if (!pszX || !ParseCliInteger(strW.c_str(), 1, 8192, w) || !ParseCliInteger(pszX + 1, 1, 8192, h))
        return CliBadValue("render", "--size", "WIDTHxHEIGHT, each 1-8192", psz);
      cx = int(w);
      cy = int(h);
    } else if (std::strcmp(a, "--res") == 0 && fHasValue) {
      pszRes = argv[++i];
    } else if (std::strcmp(a, "--waypoints") == 0 && fHasValue) {
      pszWaypoints = argv[++i];
    } else if (std::strcmp(a, "--symbols") == 0 && fHasValue) {
      pszSymbols = argv[++i];
    } else if (std::strcmp(a, "--passes") == 0 && fHasValue) {
      if (!ParseCliInteger(argv[++i], 0, 10000, n)) return CliBadValue("render", "--passes", "0-10000", argv[i]);
      cPasses = int(n);
    } else if (std::strcmp(a, "--night") == 0) {
      fNight = true;
    } else if (std::strcmp(a, "--map-only") == 0) {
      fMapOnly = true;
    } else if (std::strcmp(a, "-o") == 0 && fHasValue) {
      pszOut = argv[++i];
    } else if (a[0] != '-' && pszMap == nullptr) {
      pszMap = a;
    } else {
      std::fprintf(stderr, "velmo-cli render: unknown argument %s\n", a);
      return 2;
    }
  }
  if (pszMap == nullptr || pszOut == nullptr || !fLat_ || !fLon_ || nScale < 0 || nScale > 26 || cx <= 0 ||
      cy <= 0 || cx > 8192 || cy > 8192 || cPasses < 0 || cPasses > 10000 || fLat < -90 || fLat > 90 || fLon < -180 || fLon > 180) {
    std::fprintf(stderr,
                 "usage: velmo-cli render MAP --lat LAT --lon LON --scale N(0-26) [--angle A] [--night] "
                 "[--size WxH] [--res DIR] [--map-only] [--waypoints FILE [--symbols DIR]] [--passes N] -o OUT.png\n");
    return 2;
  }
  if (platform::IsSameFile(platform::Utf8ToU16(pszMap).c_str(), platform::Utf8ToU16(pszOut).c_str()) ||
      (pszWaypoints &&
       platform::IsSameFile(platform::Utf8ToU16(pszWaypoints).c_str(), platform::Utf8ToU16(pszOut).c_str()))) {
    std::fprintf(stderr, "velmo-cli: the output %s is an input; give another name\n", pszOut);
    return 2;
  }
  const std::u16string strRes = FindResourceFolder(pszRes);
  if (!strRes.empty()) {
    SetSkinFolder(strRes.c_str());
    platform::SetResourceFolder(platform::JoinPath(strRes, u"icons").c_str());
  }
  render::SetScreenScale(1, 1);
  InitDrawTypes();
  if (fNight)
    SetDaySkin(false, false);
  uint32_t idsError = 0;
  std::unique_ptr<CMapParser> pParser(
      OpenMapFileEx(platform::Utf8ToU16(pszMap).c_str(), false, c_fOpenAll, &idsError));
  if (pParser == nullptr) {
    std::fprintf(stderr, "velmo-cli: cannot open the map %s\n", pszMap);
    FreeDrawTypes();
    return 1;
  }
  if (pszWaypoints != nullptr) {
    if (g_waypointStore.LoadFile(platform::Utf8ToU16(pszWaypoints).c_str(), false) != slrLoaded) {
      std::fprintf(stderr, "velmo-cli: cannot read the waypoints %s\n", pszWaypoints);
      FreeDrawTypes();
      return 1;
    }
    SetWaypointIconFolder(FindSymbolFolder(pszSymbols).c_str());
  }
  CMapPosition view;
  view.SetScreenScale(1, 1);
  view.SetScale(size_t(nScale));
  view.SetCentre(DegreesToMap(fLon), DegreesToMap(fLat));
  view.SetAngle(nAngle);
  CMapPageHost host;
  int nResult = 0;
  {
    CMapRenderer renderer(&view, &host);
    renderer.SetClientSize(cx, cy);
    renderer.SetRotateMap(nAngle != 0);
    renderer.SetParser(pParser.get());
    if (pszWaypoints != nullptr) {
      MapLayers layers;
      layers.pfnDrawRoutes = DrawRoutesLayer;
      layers.pfnDrawWaypoints = DrawWaypointsLayer;
      renderer.SetLayers(layers);
    }
    renderer.RefreshMap(true);
    if (cPasses > 0) {
      std::vector<double> rgMs;
      for (int i = 0; i < cPasses; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        renderer.RefreshMap(true);
        rgMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      }
      std::sort(rgMs.begin(), rgMs.end());
      const PassTimes& times = renderer.GetTimes();
      std::printf("passes: %d, median %.2f ms, fastest %.2f ms (last pass: map %u ms, track %u, routes %u, "
                  "waypoints %u)\n",
                  cPasses, rgMs[rgMs.size() / 2], rgMs.front(), unsigned(times.dwMapMs), unsigned(times.dwTrackMs),
                  unsigned(times.dwRoutesMs), unsigned(times.dwWaypointsMs));
    }
    std::unique_ptr<platform::CCanvas> pOut(platform::CreateMemoryCanvas(cx, cy));
    if (pOut == nullptr) {
      nResult = 1;
    } else {
      if (fMapOnly)
        renderer.PaintImage(pOut.get());  // without the north arrow and the scale bar
      else
        renderer.Paint(pOut.get());
      if (!platform::SaveCanvasPng(pOut.get(), platform::Utf8ToU16(pszOut).c_str())) {
        std::fprintf(stderr, "velmo-cli: cannot write %s: %s\n", pszOut, std::strerror(errno));
        nResult = 1;
      } else {
        std::printf("%s: %dx%d, scale %d\n", pszOut, cx, cy, nScale);
      }
    }
  }
  pParser.reset();
  if (pszWaypoints != nullptr) {
    g_waypointStore.Clear();
    FreeWaypointIcons();
  }
  FreeDrawTypes();
  return nResult;
}

}  // namespace

VELMO_CLI_COMMAND(render, "render",
                  "MAP --lat LAT --lon LON --scale N [--angle A] [--night] [--size WxH] [--res DIR] [--map-only] "
                  "[--waypoints FILE [--symbols DIR]] [--passes N] -o OUT.png",
                  RunRender);
VELMO_CLI_HELP(render,
               "Draws the map at a point and scale (0-26) into a PNG file, as the map page draws it,\nwith the day or night skin, rotated by --angle, optionally with waypoints.");
