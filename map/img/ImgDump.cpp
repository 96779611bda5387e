#include "map/img/ImgDump.h"

#include <cinttypes>
#include <string>

#include "map/img/ImgParser.h"
#include "platform/Str.h"
#include "view/MapUnits.h"

CImgParser* AsImgParser(CMapParser* pParser) {
  if (!pParser) return nullptr;
  CMappedFile file;
  const uint8_t* p = file.Open(pParser->GetPath());
  return p && ProbeImgFile(p, file.GetSize()) ? static_cast<CImgParser*>(pParser) : nullptr;
}

namespace {

const char* KindName(int nKind) {
  return nKind == rkPoint ? "point" : nKind == rkPolyline ? "line" : nKind == rkPolygon ? "area" : "?";
}

const char* EncodingName(uint8_t btEncoding) {
  switch (btEncoding) {
    case img::c_btEncodingSixBit: return "six-bit";
    case img::c_btEncodingEightBit: return "eight-bit";
    case img::c_btEncodingMultiByte: return "multi-byte";
    default: return "unknown";
  }
}

std::string Escape(const char16_t* psz) {
  std::string strUtf8 = platform::U16ToUtf8(psz);
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
  return strEsc;
}

struct Counts {
  uint64_t ac[isMax];
  uint64_t cPoints;
};

bool CountObject(void* pContext, const ImgObject& obj) {
  Counts* p = static_cast<Counts*>(pContext);
  ++p->ac[obj.nSection];
  p->cPoints += obj.cPoints;
  return true;
}

struct DumpContext {
  CImgParser* pImg;
  FILE* f;
  uint32_t nLevel;
};

bool DumpObject(void* pContext, const ImgObject& obj) {
  DumpContext* p = static_cast<DumpContext*>(pContext);
  char16_t szLabel[c_cchLabelOut] = {};
  int nFlag = 0;
  if (obj.fLabelResolved && obj.dwLabel) p->pImg->GetLabel(1, obj.nKind, obj.wType, obj.dwLabel, szLabel, &nFlag);
  std::fprintf(p->f, "L%u %s 0x%04x \"%s\" %d", p->nLevel, KindName(obj.nKind), obj.wType, Escape(szLabel).c_str(),
               obj.fDirection ? 1 : 0);
  for (uint32_t i = 0; i < obj.cPoints; ++i)
    std::fprintf(p->f, " %.7f,%.7f", MapToDegrees(int32_t(uint32_t(obj.pPoints[i].x) << 7)),
                 MapToDegrees(int32_t(uint32_t(obj.pPoints[i].y) << 7)));
  std::fputc('\n', p->f);
  return true;
}

}  // namespace

void PrintImgInfo(CImgParser* pImg, FILE* f) {
  std::fprintf(f, "format: Garmin IMG, map %s, block size %u, xor key 0x%02x\n", pImg->GetMapName(),
               pImg->GetBlockSize(), pImg->GetXorKey());
  static const char* const c_apszSubfiles[CImgParser::sfCount] = {"TRE", "RGN", "LBL", "NET"};
  for (int i = 0; i < CImgParser::sfCount; ++i) {
    const ImgSubfile& sf = pImg->GetSubfile(i);
    if (sf.fPresent) std::fprintf(f, "subfile %s: at %u, %u bytes\n", c_apszSubfiles[i], sf.dwOffset, sf.cbSize);
    else std::fprintf(f, "subfile %s: none\n", c_apszSubfiles[i]);
  }
  std::fprintf(f, "labels: %s, code page %u, shift %u, %u bytes%s\n", EncodingName(pImg->GetEncoding()),
               pImg->GetCodePage(), pImg->GetLabelShift(), pImg->GetLabelDataLength(),
               pImg->HasNet() ? ", road labels through NET" : "");
  std::fprintf(f, "rights notices: %u\n", pImg->GetCopyrightCount());
  std::fprintf(f, "rgn data: %u bytes, %u groups\n", pImg->GetRgnDataLength(), pImg->GetGroupCount());
  std::fprintf(f, "levels: %u\n", pImg->GetLevelCount());
  for (uint32_t i = 0; i < pImg->GetLevelCount(); ++i) {
    const ImgLevel& lv = pImg->GetLevel(i);
    Counts c = {};
    pImg->ForEachObject(i, CountObject, &c);
    std::fprintf(f,
                 "  level %u: zoom %u, %u bits%s, %u groups; polygons %" PRIu64 ", polylines %" PRIu64
                 ", POIs %" PRIu64 ", points %" PRIu64 "; %" PRIu64 " coordinates\n",
                 i, lv.btZoom & 0x7F, lv.btBits, lv.fInherited ? " (inherited)" : "", lv.cGroups, c.ac[isPolygons],
                 c.ac[isPolylines], c.ac[isPOIs], c.ac[isPoints], c.cPoints);
  }
  if (pImg->IsDamaged()) std::fprintf(f, "damaged: parts that do not fit the file are left out\n");
}

bool DumpImgObjects(CImgParser* pImg, FILE* f) {
  bool fComplete = !pImg->IsDamaged();
  for (uint32_t i = 0; i < pImg->GetLevelCount(); ++i) {
    DumpContext ctx{pImg, f, i};
    if (!pImg->ForEachObject(i, DumpObject, &ctx)) fComplete = false;
  }
  return fComplete;
}
