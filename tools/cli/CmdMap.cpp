// velmo-cli info MAP: header fields, levels, blocks and table sizes.
// velmo-cli dump MAP: every object of every level, one stable line each:
//   L<level> <kind> 0x<type> "<label>" <dir> <lon>,<lat> <lon>,<lat> ...
// with points in degrees (7 decimals) and dir the direction bit.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "map/MapParser.h"
#include "map/img/ImgDump.h"
#include "map/vel/VelParser.h"
#include "platform/Str.h"
#include "tools/cli/Cli.h"
#include "view/MapUnits.h"

// The native reader of a file the format list gives to it (null otherwise).
static CVelParser* AsVel(CMapParser* pParser) {
  if (!pParser) return nullptr;
  CMappedFile file;
  const uint8_t* p = file.Open(pParser->GetPath());
  return p && ProbeVelFile(p, file.GetSize()) ? static_cast<CVelParser*>(pParser) : nullptr;
}

static CMapParser* OpenForCli(const char* pszPath) {
  std::u16string strPath = platform::Utf8ToU16(pszPath);
  uint32_t idsError = 0;
  CMapParser* p = OpenMapFileEx(strPath.c_str(), false, c_fOpenAll, &idsError);
  if (!p) {
    if (idsError == c_idsCannotReadFile) std::fprintf(stderr, "velmo-cli: cannot read %s\n", pszPath);
    else std::fprintf(stderr, "velmo-cli: %s is not a map this program can open, or it is damaged\n", pszPath);
  }
  return p;
}

static const char* KindName(int nKind) {
  return nKind == rkPoint ? "point" : nKind == rkPolyline ? "line" : nKind == rkPolygon ? "area" : "?";
}

static int RunInfo(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmo-cli info MAP\n");
    return 2;
  }
  CMapParser* pParser = OpenForCli(argv[1]);
  if (!pParser) return 1;
  uint16_t wYear = 0;
  uint8_t btMonth = 0, btDay = 0;
  char16_t szName[64], szNotice[128];
  pParser->GetDescription(&wYear, &btMonth, &btDay, szName, 64, szNotice, 128);
  const MapRect& r = pParser->GetRect();
  std::printf("file: %s\n", argv[1]);
  std::printf("name: %s\n", platform::U16ToUtf8(szName).c_str());
  std::printf("notice: %s\n", platform::U16ToUtf8(szNotice).c_str());
  // A day of 0 means the map gives only its month and year.
  if (btDay)
    std::printf("date: %04u-%02u-%02u\n", wYear, btMonth, btDay);
  else
    std::printf("date: %04u-%02u\n", wYear, btMonth);
  std::printf("bounds: %.7f,%.7f %.7f,%.7f\n", MapToDegrees(r.left), MapToDegrees(r.top), MapToDegrees(r.right),
              MapToDegrees(r.bottom));
  std::printf("scales: %u..%u\n", pParser->GetFirstScale(), pParser->GetLastScale());
  if (CVelParser* pVel = AsVel(pParser)) {
    const vel::VelExtHeader& h = pVel->GetHeader();
    char szTypeSet[9] = {};
    std::memcpy(szTypeSet, h.achTypeSet, 8);
    std::printf("format: native, version %u, %s header, %u bytes\n", h.main.dwVersion,
                pVel->IsExtended() ? "extended" : "legacy", pVel->GetFileSize());
    std::printf("flags: 0x%08x\n", h.main.dwFlags);
    std::printf("type set: %s%s\n", szTypeSet, pVel->IsGarminTypeSet() ? " (Garmin)" : "");
    std::printf("locale: %u\n", unsigned(pVel->GetLocale()));
    std::printf("labels: area at %u, reference width %u bits, style flag %d\n", h.dwLabelAreaOffset,
                h.dwLabelRefBits, pVel->GetLabelStyleFlag() ? 1 : 0);
    std::printf("road graph: %u nodes (%u bits), %u turn restrictions\n", h.dwNodeCount, pVel->GetNodeIndexBits(),
                h.dwTurnCount);
    std::printf("addresses: %s, city index at %u, object index at %u\n", pVel->HasAddresses() ? "yes" : "no",
                h.dwCityIndexOffset, h.dwObjectIndexOffset);
    std::printf("huffman tables: at %u, %u bytes\n", h.dwHuffmanOffset, h.dwHuffmanLength);
    static const char* c_apszTables[] = {"chars 1", "lengths 1", "chars 3", "lengths 3", "point types",
                                         "line types", "area types", "x deltas", "y deltas", "point counts"};
    for (int i = 0; i < vel::vtCount; ++i)
      std::printf("  table %-12s max value %u, %zu sub-tables\n", c_apszTables[i], pVel->GetTable(i).GetMaxValue(),
                  pVel->GetTable(i).GetSubTableCount());
    std::printf("levels: %u\n", pVel->GetLevelCount());
    for (uint32_t i = 0; i < pVel->GetLevelCount(); ++i) {
      vel::VelLevel lv;
      if (!pVel->GetLevel(i, lv)) continue;
      uint64_t acBytes[3] = {0, 0, 0};
      if (lv.dwFirstBlock < pVel->GetFileSize()) {
        const uint8_t* pBlock = pVel->GetData() + lv.dwFirstBlock;
        VelBlockInfo info;
        for (uint32_t k = 0; k < lv.wBlocks && pVel->ReadBlock(pBlock, info); ++k)
          for (int j = 0; j < 3; ++j) acBytes[j] += info.adwSectionSize[j];
      }
      std::printf("  level %u: code %u, %u blocks at %u; areas %" PRIu64 ", lines %" PRIu64 ", points %" PRIu64
                  " bytes\n",
                  i, lv.wLevelCode, lv.wBlocks, lv.dwFirstBlock, acBytes[0], acBytes[1], acBytes[2]);
    }
  } else if (CImgParser* pImg = AsImgParser(pParser)) {
    PrintImgInfo(pImg, stdout);
  } else {
    std::printf("format: other\n");
  }
  delete pParser;
  return 0;
}

namespace {
struct DumpContext {
  FILE* f;
  uint64_t cObjects;
};
}  // namespace

static bool DumpObject(void* pContext, const VelRecord& rec, const MapPoint* pPoints, const char16_t* pszLabel,
                       uint32_t nLevel, const VelBlockInfo&) {
  DumpContext* p = static_cast<DumpContext*>(pContext);
  std::u16string strLabel(pszLabel, rec.cLabel);
  std::string strUtf8 = platform::U16ToUtf8(strLabel);
  std::string strEsc;
  for (char ch : strUtf8) {
    if (ch == '"' || ch == '\\') strEsc.push_back('\\');
    if (uint8_t(ch) < 32) {
      char sz[8];
      std::snprintf(sz, sizeof sz, "\\x%02x", uint8_t(ch));
      strEsc += sz;
      continue;
    }
    strEsc.push_back(ch);
  }
  std::fprintf(p->f, "L%u %s 0x%04x \"%s\" %d", nLevel, KindName(rec.nKind), rec.wType, strEsc.c_str(),
               rec.fDirection ? 1 : 0);
  for (uint32_t i = 0; i < rec.cPoints; ++i)
    std::fprintf(p->f, " %.7f,%.7f", MapToDegrees(pPoints[i].x), MapToDegrees(pPoints[i].y));
  std::fputc('\n', p->f);
  ++p->cObjects;
  return true;
}

static int RunDump(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmo-cli dump MAP\n");
    return 2;
  }
  CMapParser* pParser = OpenForCli(argv[1]);
  if (!pParser) return 1;
  CVelParser* pVel = AsVel(pParser);
  if (CImgParser* pImg = AsImgParser(pParser)) {
    bool fImgComplete = DumpImgObjects(pImg, stdout);
    delete pParser;
    if (!fImgComplete) std::fprintf(stderr, "velmo-cli: %s is damaged; what could be read is shown\n", argv[1]);
    return fImgComplete ? 0 : 1;
  }
  if (!pVel) {
    std::fprintf(stderr, "velmo-cli: dump reads native maps only\n");
    delete pParser;
    return 1;
  }
  DumpContext ctx{stdout, 0};
  bool fComplete = true;
  for (uint32_t i = 0; i < pVel->GetLevelCount(); ++i)
    if (!pVel->ForEachObject(i, DumpObject, &ctx)) fComplete = false;
  delete pParser;
  if (!fComplete) {
    std::fprintf(stderr, "velmo-cli: %s is damaged; what could be read is shown\n", argv[1]);
    return 1;
  }
  return 0;
}

VELMO_CLI_COMMAND(info, "info", "MAP", RunInfo);
VELMO_CLI_COMMAND(dump, "dump", "MAP", RunDump);
VELMO_CLI_HELP(info, "Prints a map's format, name, notice, date (YYYY-MM when the map gives no day), bounds,\nscale range and, for native maps, its levels, road graph and address data.");
VELMO_CLI_HELP(dump, "Prints every object of every level of a map: kind, type, label and points.");
