// velmo-cli collection build FOLDER: builds the folder's Index.vidx from the
// native maps in it, as the map collections dialog does.
// velmo-cli collection info FOLDER: the index's header, its members (one
// line each: number, file name, bounds, scale codes, write time stamp) and
// the merged city list's size.
#include <cstdio>
#include <cstring>
#include <string>

#include "map/MapFiles.h"
#include "map/vidx/VidxBuilder.h"
#include "map/vidx/VidxParser.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "res/Failure.h"
#include "res/Res.h"
#include "tools/cli/Cli.h"
#include "view/MapUnits.h"

static void PrintMessage(const char16_t* pszText) {
  std::fprintf(stderr, "velmo-cli: %s\n", platform::U16ToUtf8(pszText).c_str());
}

static int RunBuild(const char* pszFolder) {
  const std::u16string strFolder = platform::Utf8ToU16(pszFolder);
  if (!platform::IsDirectory(strFolder.c_str())) {
    std::fprintf(stderr, "velmo-cli: %s is not a folder\n", pszFolder);
    return 1;
  }
  SetFailureNotifier([] { DrainFailures(PrintMessage); });
  VidxBuildHost host{nullptr, nullptr, nullptr, nullptr};
  const int32_t cMaps = BuildCollectionIndex(strFolder.c_str(), host);
  if (cMaps <= 0) {
    std::fprintf(stderr, "velmo-cli: %s\n",
                 cMaps == 0 ? "no collection index was made (no native maps in the folder, or it cannot be written)"
                            : "cancelled");
    return 1;
  }
  std::printf("%s: %d maps\n", platform::U16ToUtf8(CollectionIndexPath(strFolder.c_str())).c_str(), int(cMaps));
  return 0;
}

static void PrintRect(const char* pszLabel, const MapRect& r) {
  std::printf("%s%.7f,%.7f %.7f,%.7f", pszLabel, MapToDegrees(r.left), MapToDegrees(r.top), MapToDegrees(r.right),
              MapToDegrees(r.bottom));
}

static int RunInfo(const char* pszFolder) {
  const std::u16string strIndex = CollectionIndexPath(platform::Utf8ToU16(pszFolder).c_str());
  if (!platform::FileExists(strIndex.c_str())) {
    std::fprintf(stderr, "velmo-cli: %s has no collection index (Index.vidx)\n", pszFolder);
    return 1;
  }
  CMapParser* pParser = OpenMapFile(strIndex.c_str(), false, c_fOpenAll);
  CVidxParser* pIndex = AsVidxParser(pParser);
  if (!pIndex) {
    std::fprintf(stderr, "velmo-cli: %s is not a collection index this program can open, or it is damaged\n",
                 platform::U16ToUtf8(strIndex).c_str());
    delete pParser;
    return 1;
  }
  const vidx::VidxHeader& h = pIndex->GetHeader();
  std::printf("index: %s\n", platform::U16ToUtf8(strIndex).c_str());
  std::printf("version: %u\n", unsigned(h.wVersion));
  std::printf("maps: %u\n", pIndex->GetMapCount());
  PrintRect("bounds: ", pIndex->GetRect());
  std::printf("\nscales: %u..%u\n", pIndex->GetFirstScale(), pIndex->GetLastScale());
  std::printf("locale: %u\n", unsigned(h.dwLocale));
  std::printf("city index: %s, object index: %s\n", pIndex->HasCitiesIndex() ? "yes" : "no",
              pIndex->HasObjectsIndex() ? "yes" : "no");
  std::printf("cities: %zu entries, %zu names\n", pIndex->GetCityEntries().size(), pIndex->GetCityGroups().size());
  uint32_t cMissing = 0, cReplaced = 0;
  for (uint32_t i = 0; i < pIndex->GetMapCount(); ++i) {
    const VidxMember m = pIndex->GetMember(i);
    std::printf("%u %s ", i, platform::U16ToUtf8(m.strFileName).c_str());
    PrintRect("", m.rect);
    const bool fMissing = !platform::FileExists(pIndex->GetMemberPath(i).c_str());
    const bool fReplaced = !fMissing && pIndex->IsMemberReplaced(i);
    cMissing += fMissing;
    cReplaced += fReplaced;
    std::printf(" codes %u..%u written 0x%08x", unsigned(m.wScaleFirst), unsigned(m.wScaleLast),
                unsigned(m.dwWriteTime));
    if (m.cbFile) std::printf(" size %llu", (unsigned long long)m.cbFile);
    std::printf("%s\n", fMissing ? " (missing)" : fReplaced ? " (replaced since the index was built)" : "");
  }
  delete pParser;
  // A collection whose members are not those indexed is told, and fails.
  if (cMissing || cReplaced) {
    std::fprintf(stderr,
                 "velmo-cli: %u members missing, %u replaced since the index was built; build the index again\n",
                 cMissing, cReplaced);
    return 1;
  }
  return 0;
}

static int RunCollection(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "build") != 0 && std::strcmp(argv[1], "info") != 0)) {
    std::fprintf(stderr, "usage: velmo-cli collection build|info FOLDER\n");
    return 2;
  }
  return std::strcmp(argv[1], "build") == 0 ? RunBuild(argv[2]) : RunInfo(argv[2]);
}

VELMO_CLI_COMMAND(collection, "collection", "build|info FOLDER", RunCollection);
VELMO_CLI_HELP(collection,
               "build: makes the map collection index (Index.vidx) of a folder of native maps, with the\n"
               "merged list of the members' cities; a previous index stays as it was when this fails.\n"
               "info: prints a collection index: its version, bounds, scale range, index flags, the\n"
               "number of city entries and one line per member map (bounds, scale codes, write time, size);\n"
               "fails when a member is missing or was replaced after the index was built.");
