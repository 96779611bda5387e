// velc: compiles an OpenStreetMap extract (PBF or XML) into a native map.
//
//   velc IN.osm|IN.osm.pbf -o OUT.vel [--legacy] [--name TEXT] [--locale N]
//        [--typemap FILE] [--no-shared-labels] [--code-set 1|3] [--no-road-graph]
//        [--stats]
//   velc IN.osm.pbf -o FOLDER/ [--tile-size KB] [options]   (a collection of tiles and its index)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "platform/File.h"
#include "platform/Str.h"
#include "tools/velc/OsmConvert.h"
#include "tools/velc/Progress.h"
#include "tools/velc/SpillHeap.h"

#include <unistd.h>

static void Usage() {
  std::fprintf(stderr,
               "usage: velc IN.osm|IN.osm.pbf -o OUT.vel [options]\n"
               "       velc IN.osm|IN.osm.pbf -o FOLDER/ [options]\n"
               "  -o FILE             the map to write (replaced atomically)\n"
               "  -o FOLDER/          a folder (a name ending in / or an existing folder): the map as\n"
               "                      tiles tile000.vel... and their Index.vidx, opened as one map; for\n"
               "                      inputs larger than one map can hold (16 MiB of objects)\n"
               "  --legacy            write the legacy header layout (default: extended)\n"
               "  --name TEXT         map name (default: the input file's name)\n"
               "  --locale N          locale id of the names (default 0: the user's)\n"
               "  --typemap FILE      OSM tag -> type code table (default: tools/velc/typemap.txt)\n"
               "  --no-shared-labels  store every label with its object\n"
               "  --code-set 1|3      put every label in one code set (default: chosen per label)\n"
               "  --no-road-graph     leave out the road graph (routing)\n"
               "  --part              the input is one part of a region cut with complete ways\n"
               "                      (make-maps, osmium extract): routes join the maps of the\n"
               "                      other parts at every node of the roads that leave it\n"
               "  --stats             print what was converted\n"
               "  --tile-size KB      with a folder as the output: tiles of at most KB kilobytes of\n"
               "                      objects (default: as large as a map can be, 16384)\n"
               "  --jobs N            threads that read and convert the file (two from 2 on) and\n"
               "                      cut and write the tiles (default: one per core)\n"
               "  --memory MB         memory for the converted objects before they spill to a\n"
               "                      temporary file (default 256)\n"
               "  --index TYPE        node location index: sparse_file_array, dense_file_array,\n"
               "                      flex_mem... (default: chosen by the input's size)\n"
               "  --temp FOLDER       where the temporary files go (default: $TMPDIR or /tmp)\n"
               "  --quiet             no progress (shown only on a terminal anyway)\n");
}

int main(int argc, char** argv) {
  std::string strIn, strOut, strTypeMap;
  VelWriterOptions options;
  bool fStats = false;
  bool fRoadGraph = true;
  uint64_t cbTileBudget = c_cbDefaultTileBudget;
  size_t cbHeapSpill = c_cbSpillThreshold;  // 0: large blocks stay in memory
  uint64_t cbResidentFiles = c_cbResidentFileBudget;  // 0: no watch
  VelcRunOptions run;
  bool fQuiet = false;
  std::string strIndexUsed;
  uint64_t cbSpilled = 0;
  run.pstrIndexUsed = &strIndexUsed;
  run.pcbSpilled = &cbSpilled;
  bool fTileSize = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](const char* pszWhat) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "velc: %s needs %s\n", a.c_str(), pszWhat);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "-o" || a == "--output") strOut = next("a file name");
    else if (a == "--legacy") options.fExtended = false;
    else if (a == "--name") options.strName = platform::Utf8ToU16(next("a text"));
    else if (a == "--locale") options.dwLocale = uint32_t(std::strtoul(next("a number"), nullptr, 0));
    else if (a == "--typemap") strTypeMap = next("a file name");
    else if (a == "--no-shared-labels") options.fSharedLabels = false;
    else if (a == "--code-set") {
      options.nCodeSet = std::atoi(next("1 or 3"));
      if (options.nCodeSet != 1 && options.nCodeSet != 3) {
        std::fprintf(stderr, "velc: --code-set takes 1 or 3\n");
        return 2;
      }
    } else if (a == "--stats") fStats = true;
    else if (a == "--no-road-graph") fRoadGraph = false;
    else if (a == "--part") options.fPartOfRegion = true;
    else if (a == "--quiet" || a == "-q") fQuiet = true;
    else if (a == "--jobs" || a == "-j") {
      const char* psz = next("a number of threads");
      char* pszEnd = nullptr;
      const long n = std::strtol(psz, &pszEnd, 10);
      if (*psz == 0 || *pszEnd != 0 || n < 1 || n > 1024) {
        std::fprintf(stderr, "velc: --jobs takes a number from 1 to 1024\n");
        return 2;
      }
      run.cJobs = unsigned(n);
    } else if (a == "--memory") {
      const char* psz = next("a number of megabytes");
      char* pszEnd = nullptr;
      const unsigned long long n = std::strtoull(psz, &pszEnd, 10);
      if (*psz == 0 || *pszEnd != 0 || n > (1ull << 40)) {
        std::fprintf(stderr, "velc: --memory takes a number of megabytes\n");
        return 2;
      }
      run.cbMemory = uint64_t(n) << 20;
    } else if (a == "--index") run.strIndexType = next("an index type");
    else if (a == "--temp") run.strTempFolder = next("a folder");
    else if (a == "--tile-size") {
      // Planned at half the size, as the default tiles are: the estimate's
      // error then rarely makes the writer halve a tile again.
      const char* psz = next("a number of kilobytes");
      char* pszEnd = nullptr;
      const unsigned long long cKb = std::strtoull(psz, &pszEnd, 10);
      if (!*psz || *pszEnd || cKb < 1 || cKb > 16384) {
        std::fprintf(stderr, "velc: --tile-size takes a number of kilobytes from 1 to 16384\n");
        return 2;
      }
      options.cbObjectDataLimit = uint32_t(cKb * 1024);
      cbTileBudget = cKb * 1024 / 2;
      fTileSize = true;
    }
    // Test aids (not in the usage text): the tiles' planned size, the room
    // the offsets give to a map's objects, and the size from which heap blocks
    // go to the temporary file (0: none), and the resident pages of mapped
    // files that the watch keeps to (0: no watch).
    else if (a == "--tile-budget") cbTileBudget = std::strtoull(next("a number of bytes"), nullptr, 0);
    else if (a == "--heap-spill") cbHeapSpill = size_t(std::strtoull(next("a number of bytes"), nullptr, 0));
    else if (a == "--resident-files") cbResidentFiles = std::strtoull(next("a number of bytes"), nullptr, 0);
    else if (a == "--object-data-limit") options.cbObjectDataLimit = uint32_t(std::strtoul(next("a number of bytes"), nullptr, 0));
    else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "velc: unknown option %s\n", a.c_str());
      Usage();
      return 2;
    } else if (strIn.empty()) strIn = a;
    else {
      std::fprintf(stderr, "velc: more than one input file\n");
      return 2;
    }
  }
  if (strIn.empty() || strOut.empty()) {
    Usage();
    return 2;
  }
  // Writing over the input would lose it once the output replaced it.
  if (platform::IsSameFile(platform::Utf8ToU16(strIn).c_str(), platform::Utf8ToU16(strOut).c_str())) {
    std::fprintf(stderr, "velc: the output %s is the input; give another name\n", strOut.c_str());
    return 2;
  }
  // What grows with the input beyond the objects' store goes to a
  // temporary file in large blocks (when the file cannot be made, the node
  // locations' file cannot either, and that failure is told).
  {
    std::string strTemp = run.strTempFolder;
    const char* pszTmp = std::getenv("TMPDIR");
    if (strTemp.empty()) strTemp = pszTmp && *pszTmp ? pszTmp : "/tmp";
    std::string strWhy;
    if (cbHeapSpill) EnableSpillHeap(strTemp, cbHeapSpill, strWhy);
  }
  if (cbResidentFiles) StartResidentWatch(cbResidentFiles);
  auto t0 = std::chrono::steady_clock::now();
  struct stat st;
  const bool fFolder = strOut.back() == '/' || (::stat(strOut.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
  if (fTileSize && !fFolder) {
    std::fprintf(stderr, "velc: --tile-size needs a folder as the output (-o DIR/)\n");
    return 2;
  }
  std::string strError;
  OsmConvertStats stats;
  VelWriterStats wstats;
  uint64_t cbOut = 0;
  VelTileStats tiles;
  CVelcProgress progress(!fQuiet && ::isatty(2));
  run.pProgress = &progress;
  if (fFolder) {
    if (!CompileOsmToCollection(strIn, strOut, strTypeMap, options, strError, &stats, &tiles, fRoadGraph,
                                cbTileBudget, &run)) {
      progress.Done();
      std::fprintf(stderr, "velc: %s\n", strError.c_str());
      return 1;
    }
    wstats = tiles.writer;
    cbOut = tiles.cbTotal;
  } else if (!CompileOsmToVel(strIn, strOut, strTypeMap, options, strError, &stats, &wstats, &cbOut, fRoadGraph,
                              true, &run)) {
    progress.Done();
    std::fprintf(stderr, "velc: %s\n", strError.c_str());
    return 1;
  }
  progress.Done();
  for (const std::string& strWarning : stats.warnings) std::fprintf(stderr, "velc: %s\n", strWarning.c_str());
  if (fStats) {
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("input: %llu nodes, %llu ways, %llu relations, %llu areas assembled\n",
                (unsigned long long)stats.cNodes, (unsigned long long)stats.cWays,
                (unsigned long long)stats.cRelations, (unsigned long long)stats.cAreas);
    std::printf("finest level: %llu points, %llu lines, %llu areas\n", (unsigned long long)stats.cPoints,
                (unsigned long long)stats.cLines, (unsigned long long)stats.cPolygons);
    for (int i = 0; i < c_cVelcLevels; ++i)
      std::printf("level %d (code %u): %llu objects, %u blocks\n", i, c_awVelcLevelCodes[i],
                  (unsigned long long)stats.acLevelObjects[i], wstats.acBlocks[i]);
    std::printf("labels: %u inline, %u shared texts (%u references), code set 1: %u, code set 3: %u\n",
                wstats.cInlineLabels, wstats.cSharedLabels, wstats.cSharedRefs, wstats.cCodeSet1, wstats.cCodeSet3);
    if (stats.cSeaAreas) std::printf("sea: %llu areas from the coastline\n", (unsigned long long)stats.cSeaAreas);
    if (wstats.cDropped) std::printf("left out: %u objects too large for a block\n", wstats.cDropped);
    if (fRoadGraph) {
      std::printf("road graph: %llu roads, %u nodes (%u added where a road was cut)\n",
                  (unsigned long long)stats.cRoads, wstats.cNodes, wstats.cCutNodes);
      std::printf("turn restrictions: %u relations, %u used as %u records (%u written)\n", stats.cRestrictions,
                  stats.cRestrictionsUsed, stats.cTurnRecords, wstats.cTurnsWritten);
    }
    if (fFolder) {
      std::printf("tiles: %zu (%u halved after the writer found them too large)\n", tiles.tiles.size(),
                  tiles.cHalvedAfterWrite);
      for (size_t i = 0; i < tiles.tiles.size(); ++i)
        std::printf("  %s: %llu bytes (%llu estimated for its objects), %.5f..%.5f E, %.5f..%.5f N\n",
                    TileFileName(uint32_t(i)).c_str(), (unsigned long long)tiles.tileBytes[i],
                    (unsigned long long)tiles.tileEstimates[i], MapToDegrees(tiles.tiles[i].left),
                    MapToDegrees(tiles.tiles[i].right), MapToDegrees(tiles.tiles[i].top),
                    MapToDegrees(tiles.tiles[i].bottom));
    }
    std::printf("node locations: %s; objects spilled to a temporary file: %llu bytes\n", strIndexUsed.c_str(),
                (unsigned long long)cbSpilled);
    const SpillHeapStats heap = GetSpillHeapStats();
    std::printf("large blocks in a temporary file: %llu bytes at most, %llu blocks\n",
                (unsigned long long)heap.cbPeak, (unsigned long long)heap.cBlocks);
    std::printf("wrote %s: %llu bytes in %.3f s\n", strOut.c_str(), (unsigned long long)cbOut, s);
  }
  // Restrictions that could not be written are always reported.
  uint32_t cLeftOut = stats.cRestrictionsViaWay + stats.cRestrictionsUnmatched + stats.cRestrictionsUnsupported;
  if (fRoadGraph && (cLeftOut || wstats.cTurnsDropped))
    std::fprintf(stderr,
                 "velc: %u turn restrictions left out: %u with a via way, %u not matching the roads, %u of an "
                 "unknown kind or not for cars; %u records the writer could not place\n",
                 cLeftOut, stats.cRestrictionsViaWay, stats.cRestrictionsUnmatched, stats.cRestrictionsUnsupported,
                 wstats.cTurnsDropped);
  return 0;
}
