// velmo-cli nearest MAP LAT LON RADIUS_M [TYPE...]: the objects within the
// radius that the map's nearest search returns, nearest first where the
// reader sorts them, one line each:
//   0x<type> "<name>" <lat>,<lon> <distance m> scale <index> <kind>
// where lat,lon is the object's point nearest to the given one, the
// distance is measured to it and kind is point, line or area; an object
// with an address has it at the end of its line:
//   ... <kind> "<city>" "<postcode>" "<street>" "<house>"
// TYPE is a type code (decimal or 0x hex) of points, or of lines or areas
// with the prefix "line:" or "area:" ("point:" is allowed too); without
// any, every type. --scale N searches the level of scale index N instead of
// the finest one; --name TEXT keeps the objects whose name contains TEXT.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "platform/Str.h"
#include "tools/cli/Cli.h"
#include "tools/cli/CliArgs.h"
#include "view/MapUnits.h"

// "[point:|line:|area:]CODE" -> kind and type code.
static bool ParseType(const char* psz, KindType& kt) {
  static const struct {
    const char* pszPrefix;
    int nKind;
  } c_aPrefixes[] = {{"point:", rkPoint}, {"line:", rkPolyline}, {"area:", rkPolygon}};
  kt.nKind = rkPoint;
  for (const auto& prefix : c_aPrefixes) {
    const size_t c = std::strlen(prefix.pszPrefix);
    if (std::strncmp(psz, prefix.pszPrefix, c) == 0) {
      kt.nKind = prefix.nKind;
      psz += c;
      break;
    }
  }
  char* pEnd = nullptr;
  const unsigned long n = std::strtoul(psz, &pEnd, 0);
  if (!*psz || !pEnd || *pEnd || n > 0xFFFF) return false;
  kt.wType = uint16_t(n);
  return true;
}

static const char* KindName(int nKind) {
  return nKind == rkPoint ? "point" : nKind == rkPolyline ? "line" : nKind == rkPolygon ? "area" : "?";
}

static int RunNearest(int argc, char** argv) {
  std::vector<const char*> args;
  bool fUseScale = false;
  long nScale = 0;
  std::u16string strName;
  for (int i = 1; i < argc; ++i) {
    std::string str = argv[i];
    if (str == "--scale" && i + 1 < argc) {
      fUseScale = true;
      int64_t n = 0;
      if (!ParseCliInteger(argv[++i], 0, 26, n)) return CliBadValue("nearest", "--scale", "a scale 0-26", argv[i]);
      nScale = long(n);
    } else if (str == "--name" && i + 1 < argc) {
      strName = platform::Utf8ToU16(argv[++i]);
    } else {
      args.push_back(argv[i]);
    }
  }
  double fLat = 0, fLon = 0, fRadius = 0;
  if (args.size() >= 4) {
    if (!ParseCliLatitude(args[1], fLat)) return CliBadValue("nearest", "LAT", "a latitude -90..90", args[1]);
    if (!ParseCliLongitude(args[2], fLon)) return CliBadValue("nearest", "LON", "a longitude -180..180", args[2]);
    if (!ParseCliNumber(args[3], 0, 4.0e6, fRadius))
      return CliBadValue("nearest", "RADIUS_M", "metres 0-4000000", args[3]);
  }
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: velmo-cli nearest MAP LAT LON RADIUS_M [[point:|line:|area:]TYPE...] [--scale N] "
                         "[--name TEXT]\n");
    return 2;
  }
  std::vector<KindType> types;
  for (size_t i = 4; i < args.size(); ++i) {
    KindType kt;
    if (!ParseType(args[i], kt)) {
      std::fprintf(stderr, "velmo-cli: bad type code %s\n", args[i]);
      return 2;
    }
    types.push_back(kt);
  }
  std::u16string strPath = platform::Utf8ToU16(args[0]);
  uint32_t idsError = 0;
  CMapParser* pParser = OpenMapFileEx(strPath.c_str(), false, c_fOpenAll, &idsError);
  if (!pParser) {
    std::fprintf(stderr, "velmo-cli: cannot open %s\n", args[0]);
    return 1;
  }
  MapTypeFilter filter = {types.data(), types.size()};
  const MapPoint pt = {DegreesToMap(fLon), DegreesToMap(fLat)};
  CMapQuery* pQuery = pParser->FindNearest(uint32_t(nScale), fUseScale, pt, uint32_t(std::lround(fRadius)),
                                           types.empty() ? nullptr : &filter, strName.empty() ? nullptr : strName.c_str(),
                                           nullptr);
  if (!pQuery) {
    std::fprintf(stderr, "velmo-cli: this map has no nearest search\n");
    delete pParser;
    return 1;
  }
  const double fCos = std::cos(fLat * 3.14159265358979323846 / 180.0);
  const uint32_t cItems = pQuery->GetCount();
  for (uint32_t i = 0; i < cItems; ++i) {
    FoundObject obj = {};
    if (!pQuery->GetItem(i, &obj, c_fofName | c_fofReprPoint | c_fofNearestPoint | c_fofScale | c_fofCity | c_fofZip |
                                      c_fofStreet | c_fofNumber))
      continue;
    obj.szName[63] = 0;
    obj.szCity[63] = obj.szStreet[63] = 0;
    obj.szZip[15] = obj.szNumber[15] = 0;
    const double dx = double(int64_t(obj.xNearest) - pt.x) * fCos;
    const double dy = double(int64_t(obj.yNearest) - pt.y);
    std::printf("0x%04x \"%s\" %.7f,%.7f %.1f scale %d %s", obj.wType, platform::U16ToUtf8(obj.szName).c_str(),
                MapToDegrees(obj.yNearest), MapToDegrees(obj.xNearest), MapToMetres(std::sqrt(dx * dx + dy * dy)),
                obj.nScale, KindName(obj.nKind));
    if (obj.szCity[0] || obj.szZip[0] || obj.szStreet[0] || obj.szNumber[0])
      std::printf(" \"%s\" \"%s\" \"%s\" \"%s\"", platform::U16ToUtf8(obj.szCity).c_str(),
                  platform::U16ToUtf8(obj.szZip).c_str(), platform::U16ToUtf8(obj.szStreet).c_str(),
                  platform::U16ToUtf8(obj.szNumber).c_str());
    std::printf("\n");
  }
  std::fprintf(stderr, "%u found\n", cItems);
  delete pQuery;
  delete pParser;
  return 0;
}

VELMO_CLI_COMMAND(nearest, "nearest", "MAP LAT LON RADIUS_M [[point:|line:|area:]TYPE...] [--scale N] [--name TEXT]",
                  RunNearest);
VELMO_CLI_HELP(nearest,
               "Lists the map's objects within RADIUS_M metres of a point, nearest first, optionally\nonly of the given kinds and types and with a name containing TEXT.");
