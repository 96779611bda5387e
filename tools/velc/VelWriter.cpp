#include "tools/velc/VelWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

#include "map/MapParser.h"
#include "map/bits/BitStream.h"
#include "map/bits/HuffmanEncoder.h"
#include "map/vel/detail/VelFormat.h"

using namespace vel;

namespace {

const int32_t c_nBias = 32768;
const int32_t c_nMaxDelta = 32767;
const uint32_t c_cMaxPointsPerObject = 65536;
const int64_t c_nMaxBlockSpan = 65535;
const uint32_t c_cMaxLabel = 65535;

struct LPoint {
  int32_t x, y;
};

// One object in level units, ready to encode.
struct Item {
  const VelObject* pSrc;
  std::vector<LPoint> pts;
  std::vector<int32_t> nodes;  // per point, or empty
  int64_t l, t, r, b;          // bounds, level units
};

struct Block {
  int64_t l, t, r, b;
  std::vector<size_t> items[3];  // areas, lines, points (indices into the level's items)
  std::vector<uint8_t> data[3];
};

struct LevelWork {
  uint16_t wCode;
  unsigned nShift;
  bool fFinest;
  std::vector<Item> items;
  std::vector<Block> blocks;
};

int SectionOf(int nKind) { return nKind == rkPolygon ? 0 : nKind == rkPolyline ? 1 : 2; }

void ComputeBounds(Item& it) {
  it.l = it.r = it.pts[0].x;
  it.t = it.b = it.pts[0].y;
  for (const LPoint& p : it.pts) {
    it.l = std::min<int64_t>(it.l, p.x);
    it.r = std::max<int64_t>(it.r, p.x);
    it.t = std::min<int64_t>(it.t, p.y);
    it.b = std::max<int64_t>(it.b, p.y);
  }
}

// Inserts points so that no step exceeds the delta range.
void Densify(std::vector<LPoint>& pts, std::vector<int32_t>& nodes) {
  std::vector<LPoint> out;
  std::vector<int32_t> outNodes;
  for (size_t i = 0; i < pts.size(); ++i) {
    if (i) {
      int64_t dx = int64_t(pts[i].x) - pts[i - 1].x, dy = int64_t(pts[i].y) - pts[i - 1].y;
      int64_t cSteps = std::max((std::abs(dx) + c_nMaxDelta - 1) / c_nMaxDelta, (std::abs(dy) + c_nMaxDelta - 1) / c_nMaxDelta);
      for (int64_t k = 1; k < cSteps; ++k) {
        out.push_back(LPoint{int32_t(pts[i - 1].x + dx * k / cSteps), int32_t(pts[i - 1].y + dy * k / cSteps)});
        if (!nodes.empty()) outNodes.push_back(-1);
      }
    }
    out.push_back(pts[i]);
    if (!nodes.empty()) outNodes.push_back(nodes[i]);
  }
  pts.swap(out);
  nodes.swap(outNodes);
}

void AddItems(LevelWork& lw, const VelObject& obj, VelWriterStats& stats) {
  if (obj.points.empty()) {
    ++stats.cDropped;
    return;
  }
  Item base;
  base.pSrc = &obj;
  for (const MapPoint& p : obj.points)
    base.pts.push_back(LPoint{ToLevelUnits(p.x, lw.nShift), ToLevelUnits(p.y, lw.nShift)});
  if (!obj.nodeIndex.empty() && obj.nodeIndex.size() == obj.points.size()) base.nodes = obj.nodeIndex;
  if (obj.nKind == rkPoint) {
    base.pts.resize(1);
    base.nodes.clear();
    ComputeBounds(base);
    lw.items.push_back(std::move(base));
    return;
  }
  Densify(base.pts, base.nodes);
  if (obj.nKind == rkPolygon) {
    ComputeBounds(base);
    if (base.pts.size() > c_cMaxPointsPerObject || base.r - base.l > c_nMaxBlockSpan ||
        base.b - base.t > c_nMaxBlockSpan) {
      ++stats.cDropped;
      return;
    }
    lw.items.push_back(std::move(base));
    return;
  }
  // Lines: split into pieces that fit a block and the point count.
  size_t i = 0;
  const size_t n = base.pts.size();
  while (i < n) {
    Item piece;
    piece.pSrc = &obj;
    int64_t l = base.pts[i].x, r = l, t = base.pts[i].y, b = t;
    size_t j = i;
    while (j < n) {
      int64_t l2 = std::min<int64_t>(l, base.pts[j].x), r2 = std::max<int64_t>(r, base.pts[j].x);
      int64_t t2 = std::min<int64_t>(t, base.pts[j].y), b2 = std::max<int64_t>(b, base.pts[j].y);
      if (r2 - l2 > c_nMaxBlockSpan || b2 - t2 > c_nMaxBlockSpan || j - i >= c_cMaxPointsPerObject) break;
      l = l2, r = r2, t = t2, b = b2;
      piece.pts.push_back(base.pts[j]);
      if (!base.nodes.empty()) piece.nodes.push_back(base.nodes[j]);
      ++j;
    }
    ComputeBounds(piece);
    lw.items.push_back(std::move(piece));
    if (j >= n) break;
    i = j - 1;  // the next piece starts where this one ended
  }
}

void MakeBlocks(LevelWork& lw, uint32_t cCell) {
  for (;;) {
    lw.blocks.clear();
    std::map<std::pair<int64_t, int64_t>, std::vector<size_t>> cells;
    for (size_t i = 0; i < lw.items.size(); ++i) {
      const Item& it = lw.items[i];
      int64_t cx = (it.l + it.r) / 2, cy = (it.t + it.b) / 2;
      auto floorDiv = [](int64_t a, int64_t d) { return a >= 0 ? a / d : -((-a + d - 1) / d); };
      cells[{floorDiv(cy, cCell), floorDiv(cx, cCell)}].push_back(i);
    }
    for (auto& kv : cells) {
      Block blk{};
      bool fOpen = false;
      for (size_t idx : kv.second) {
        const Item& it = lw.items[idx];
        if (fOpen) {
          int64_t l = std::min(blk.l, it.l), r = std::max(blk.r, it.r), t = std::min(blk.t, it.t),
                  b = std::max(blk.b, it.b);
          if (r - l > c_nMaxBlockSpan || b - t > c_nMaxBlockSpan) {
            lw.blocks.push_back(std::move(blk));
            blk = Block{};
            fOpen = false;
          } else {
            blk.l = l, blk.r = r, blk.t = t, blk.b = b;
          }
        }
        if (!fOpen) {
          blk.l = it.l, blk.r = it.r, blk.t = it.t, blk.b = it.b;
          fOpen = true;
        }
        blk.items[SectionOf(it.pSrc->nKind)].push_back(idx);
      }
      if (fOpen) lw.blocks.push_back(std::move(blk));
    }
    if (lw.blocks.size() <= 65535) return;
    cCell *= 2;
  }
}

// Labels: every distinct text with its use count, code set and place.
struct LabelInfo {
  uint32_t cUses = 0;
  int nSet = 1;
  bool fShared = false;
  uint32_t dwRef = 0;  // offset in the shared area
};

uint64_t TextCost(const std::u16string& s, const CHuffmanEncoder& chars, const CHuffmanEncoder& lengths) {
  if (!lengths.Has(uint16_t(s.size()))) return UINT64_MAX;
  uint64_t c = lengths.GetLength(uint16_t(s.size()));
  for (char16_t ch : s) {
    if (!chars.Has(ch)) return UINT64_MAX;
    c += chars.GetLength(ch);
  }
  return c;
}

void PutLe32(std::vector<uint8_t>& v, size_t off, uint32_t dw) {
  for (int i = 0; i < 4; ++i) v[off + i] = uint8_t(dw >> (8 * i));
}

unsigned BytesFor(uint32_t dw) {
  unsigned c = 0;
  while (dw) {
    ++c;
    dw >>= 8;
  }
  return c;
}

// A header bound at twice the map resolution. +180° (2^30 units) doubled is
// one past the largest 32-bit value: it is kept as that value, which the
// reader rounds back up.
int32_t ToHeaderUnits(int64_t n) {
  int64_t v = n * 2;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return int32_t(v);
}

}  // namespace

int32_t ToLevelUnits(int32_t n, unsigned nShift) {
  if (nShift == 0) return n;
  int64_t v = (int64_t(n) + (int64_t(1) << (nShift - 1))) >> nShift;
  return int32_t(v);
}

bool WriteVelMap(const VelWriterOptions& opt, const std::vector<VelLevelInput>& levels, std::vector<uint8_t>& out,
                 std::string& strError, VelWriterStats* pStats) {
  VelWriterStats stats;
  out.clear();
  if (levels.empty()) {
    strError = "a map needs at least one zoom level";
    return false;
  }
  if (levels.size() > 32) {
    strError = "too many zoom levels";
    return false;
  }
  // Objects in level units, split where the format needs it, and blocks.
  std::vector<LevelWork> work(levels.size());
  for (size_t iLevel = 0; iLevel < levels.size(); ++iLevel) {
    LevelWork& lw = work[iLevel];
    lw.wCode = levels[iLevel].wLevelCode;
    if (lw.wCode > 31) {
      strError = "a level code is above 31";
      return false;
    }
    lw.nShift = unsigned(~lw.wCode) & 31;
    lw.fFinest = iLevel + 1 == levels.size();
    for (const VelObject& obj : levels[iLevel].objects) AddItems(lw, obj, stats);
    MakeBlocks(lw, opt.cBlockCell ? opt.cBlockCell : 1024);
    stats.acBlocks[iLevel] = uint32_t(lw.blocks.size());
  }

  // Labels.
  std::map<std::u16string, LabelInfo> labels;
  for (const LevelWork& lw : work)
    for (const Item& it : lw.items)
      if (!it.pSrc->strLabel.empty()) {
        std::u16string s = it.pSrc->strLabel.substr(0, c_cMaxLabel);
        LabelInfo& li = labels[s];
        ++li.cUses;
        li.nSet = it.pSrc->nKind == rkPolyline ? 1 : 3;
      }
  CHuffmanEncoder chars[2], lengths[2];  // [0] = code set 1, [1] = code set 3
  auto buildLabelTables = [&]() {
    for (int k = 0; k < 2; ++k) {
      chars[k] = CHuffmanEncoder();
      lengths[k] = CHuffmanEncoder();
    }
    for (const auto& kv : labels) {
      int k = kv.second.nSet == 1 ? 0 : 1;
      lengths[k].Add(uint16_t(kv.first.size()), kv.second.cUses);
      for (char16_t ch : kv.first) chars[k].Add(ch, kv.second.cUses);
    }
    for (int k = 0; k < 2; ++k) {
      chars[k].Build();
      lengths[k].Build();
    }
  };
  if (opt.nCodeSet == 1 || opt.nCodeSet == 3) {
    for (auto& kv : labels) kv.second.nSet = opt.nCodeSet;
  } else {
    // First by kind (street names in set 1, the rest in set 3), then each
    // text moves to the set that codes it in fewer bits.
    buildLabelTables();
    for (auto& kv : labels) {
      uint64_t c1 = TextCost(kv.first, chars[0], lengths[0]);
      uint64_t c3 = TextCost(kv.first, chars[1], lengths[1]);
      if (c1 < c3) kv.second.nSet = 1;
      else if (c3 < c1) kv.second.nSet = 3;
    }
  }
  buildLabelTables();
  for (auto& kv : labels) {
    kv.second.fShared = opt.fSharedLabels && kv.second.cUses >= 2;
    if (kv.second.nSet == 1) ++stats.cCodeSet1;
    else ++stats.cCodeSet3;
  }
  // The shared label area: each text starts on a byte with its 2-bit code.
  std::vector<uint8_t> sharedArea;
  {
    CBitWriter bw(sharedArea);
    for (auto& kv : labels) {
      if (!kv.second.fShared) continue;
      ++stats.cSharedLabels;
      kv.second.dwRef = uint32_t(sharedArea.size());
      int k = kv.second.nSet == 1 ? 0 : 1;
      bw.WriteBits(2, uint32_t(kv.second.nSet));
      lengths[k].Write(bw, uint16_t(kv.first.size()));
      for (char16_t ch : kv.first) chars[k].Write(bw, ch);
      bw.Flush();
    }
  }
  uint32_t cRefBits = sharedArea.empty() ? 0 : BitLen(uint32_t(sharedArea.size()));

  // Object tables from the symbols written.
  CHuffmanEncoder types[3], xDelta, yDelta, counts;  // types by kind: point, line, area
  CHuffmanEncoder address[4];
  uint32_t adwAddressMax[4] = {0, 0, 0, 0};
  for (const LevelWork& lw : work)
    for (const Item& it : lw.items) {
      types[it.pSrc->nKind].Add(it.pSrc->wType);
      if (it.pSrc->nKind != rkPoint) {
        counts.Add(uint16_t(it.pts.size() - 1));
        for (size_t i = 1; i < it.pts.size(); ++i) {
          xDelta.Add(uint16_t(it.pts[i].x - it.pts[i - 1].x + c_nBias));
          yDelta.Add(uint16_t(it.pts[i].y - it.pts[i - 1].y + c_nBias));
        }
      }
      if (opt.fAddresses && it.pSrc->fHasAddress)
        for (int i = 0; i < 4; ++i) {
          address[i].Add(uint16_t(it.pSrc->adwAddress[i]));
          adwAddressMax[i] = std::max(adwAddressMax[i], it.pSrc->adwAddress[i]);
        }
    }
  for (CHuffmanEncoder& e : types) e.Build();
  xDelta.Build();
  yDelta.Build();
  counts.Build();
  for (CHuffmanEncoder& e : address) e.Build();
  uint32_t cNodeBits = opt.dwNodeCount ? BitLen(opt.dwNodeCount - 1) : 0;

  // Object records.
  for (LevelWork& lw : work)
    for (Block& blk : lw.blocks)
      for (int iSection = 0; iSection < 3; ++iSection)
        for (size_t idx : blk.items[iSection]) {
          const Item& it = lw.items[idx];
          const VelObject& obj = *it.pSrc;
          std::vector<uint8_t>& data = blk.data[iSection];
          size_t cbBefore = data.size();
          CBitWriter bw(data);
          std::u16string strLabel = obj.strLabel.substr(0, c_cMaxLabel);
          if (strLabel.empty()) {
            bw.WriteBits(2, c_nLabelNone);
          } else {
            const LabelInfo& li = labels[strLabel];
            if (li.fShared) {
              bw.WriteBits(2, c_nLabelShared);
              bw.WriteBits(cRefBits, li.dwRef);
              ++stats.cSharedRefs;
            } else {
              int k = li.nSet == 1 ? 0 : 1;
              bw.WriteBits(2, uint32_t(li.nSet));
              lengths[k].Write(bw, uint16_t(strLabel.size()));
              for (char16_t ch : strLabel) chars[k].Write(bw, ch);
              ++stats.cInlineLabels;
            }
          }
          types[obj.nKind].Write(bw, obj.wType);
          bool fNodes = false;
          if (obj.nKind == rkPolyline && lw.fFinest && opt.dwNodeCount) {
            fNodes = obj.fHasNodes;
            bw.WriteBits(1, fNodes);
            if (fNodes) {
              bw.WriteBits(1, obj.fHasAttributes);
              if (obj.fHasAttributes) bw.WriteBits(16, obj.wRoadAttributes);
            }
          }
          int64_t bx = blk.l, by = blk.t;
          bw.WriteBits(BitLen(uint32_t(blk.r - blk.l)), uint32_t(it.pts[0].x - bx));
          bw.WriteBits(BitLen(uint32_t(blk.b - blk.t)), uint32_t(it.pts[0].y - by));
          if (obj.nKind != rkPoint) {
            counts.Write(bw, uint16_t(it.pts.size() - 1));
            for (size_t i = 0; i < it.pts.size(); ++i) {
              if (i) {
                xDelta.Write(bw, uint16_t(it.pts[i].x - it.pts[i - 1].x + c_nBias));
                yDelta.Write(bw, uint16_t(it.pts[i].y - it.pts[i - 1].y + c_nBias));
              }
              if (fNodes) {
                int32_t n = it.nodes.empty() ? -1 : it.nodes[i];
                bool fIsNode = n >= 0 && uint32_t(n) < opt.dwNodeCount;
                bw.WriteBits(1, fIsNode);
                if (fIsNode) bw.WriteBits(cNodeBits, uint32_t(n));
              }
            }
          }
          if (obj.nKind == rkPolyline) bw.WriteBits(1, obj.fDirection);
          if (opt.fAddresses) {
            bw.WriteBits(1, obj.fHasAddress);
            if (obj.fHasAddress) {
              if (opt.fExtraAddressBit && obj.nKind != rkPoint && lw.fFinest) bw.WriteBits(1, obj.fExtraAddressBit);
              for (int i = 0; i < 4; ++i) {
                if (opt.fFixedWidthAddresses) bw.WriteBits(BitLen(adwAddressMax[i] + 1), obj.adwAddress[i]);
                else address[i].Write(bw, uint16_t(obj.adwAddress[i]));
              }
            }
          }
          uint64_t cBits = bw.GetBitCount() - cbBefore * 8;
          if (cBits % 8 == 0) ++stats.cRecordsOnBoundary;
          else ++stats.cRecordsInsideByte;
          bw.Flush();
          ++stats.cObjects;
        }

  // Layout: header, level table, block headers, object data, shared labels,
  // Huffman tables.
  const size_t cbHeader = opt.fExtended ? sizeof(VelExtHeader) : sizeof(VelLegacyHeader);
  size_t off = cbHeader;
  size_t offLevels = off;
  off += work.size() * sizeof(VelLevel);
  std::vector<size_t> blockHeaderOffsets(work.size());
  for (size_t iLevel = 0; iLevel < work.size(); ++iLevel) {
    blockHeaderOffsets[iLevel] = off;
    for (Block& blk : work[iLevel].blocks) {
      off += sizeof(CVelBlock);
      for (int i = 0; i < 3; ++i) {
        if (blk.data[i].size() >= (1u << 24)) {
          strError = "a block holds more than 16 MiB of objects";
          return false;
        }
        off += BytesFor(uint32_t(blk.data[i].size()));
      }
    }
  }
  out.assign(off, 0);
  for (size_t iLevel = 0; iLevel < work.size(); ++iLevel) {
    VelLevel lv;
    lv.dwFirstBlock = uint32_t(blockHeaderOffsets[iLevel]);
    lv.wBlocks = uint16_t(work[iLevel].blocks.size());
    lv.wLevelCode = work[iLevel].wCode;
    std::memcpy(&out[offLevels + iLevel * sizeof(VelLevel)], &lv, sizeof lv);
  }
  for (size_t iLevel = 0; iLevel < work.size(); ++iLevel) {
    size_t offHdr = blockHeaderOffsets[iLevel];
    for (Block& blk : work[iLevel].blocks) {
      size_t offData = out.size();
      if (offData >= (1u << 24)) {
        strError = "the map's objects exceed the 16 MiB the block offsets can address";
        return false;
      }
      CVelBlock hdr;
      hdr.x = int32_t(blk.l);
      hdr.y = int32_t(blk.t);
      hdr.wWidth = uint16_t(blk.r - blk.l);
      hdr.wHeight = uint16_t(blk.b - blk.t);
      hdr.dwData = uint32_t(offData);
      for (int i = 0; i < 3; ++i) hdr.dwData |= uint32_t(BytesFor(uint32_t(blk.data[i].size()))) << (24 + 2 * i);
      std::memcpy(&out[offHdr], &hdr, sizeof hdr);
      offHdr += sizeof hdr;
      for (int i = 0; i < 3; ++i) {
        uint32_t cb = uint32_t(blk.data[i].size());
        for (unsigned k = 0; k < BytesFor(cb); ++k) out[offHdr++] = uint8_t(cb >> (8 * k));
        out.insert(out.end(), blk.data[i].begin(), blk.data[i].end());
      }
    }
  }
  size_t offLabels = out.size();
  out.insert(out.end(), sharedArea.begin(), sharedArea.end());
  size_t offHuffman = out.size();
  chars[0].Serialize(out);
  lengths[0].Serialize(out);
  chars[1].Serialize(out);
  lengths[1].Serialize(out);
  types[rkPoint].Serialize(out);
  types[rkPolyline].Serialize(out);
  types[rkPolygon].Serialize(out);
  xDelta.Serialize(out);
  yDelta.Serialize(out);
  counts.Serialize(out);
  if (opt.fAddresses)
    for (int i = 0; i < 4; ++i) {
      if (opt.fFixedWidthAddresses) {
        out.push_back(1);
        uint32_t c = adwAddressMax[i] + 1;
        for (int k = 0; k < 4; ++k) out.push_back(uint8_t(c >> (8 * k)));
      } else {
        out.push_back(0);
        address[i].Serialize(out);
      }
    }
  size_t cbHuffman = out.size() - offHuffman;
  if (out.size() < c_cbMinFile) out.resize(c_cbMinFile, 0);
  if (out.size() > 0xFFFFFFFFu) {
    strError = "the map is larger than 4 GiB";
    return false;
  }

  // Header.
  VelExtHeader hdr;
  std::memset(&hdr, 0, sizeof hdr);
  std::memcpy(hdr.main.achMagic, c_achMagic, 4);
  hdr.main.dwVersion = c_dwMaxVersion;
  hdr.main.dwFileSize = uint32_t(out.size());
  // Bounds of the finest level's objects, at twice the map resolution.
  bool fAny = false;
  int64_t l = 0, t = 0, r = 0, b = 0;
  for (const VelObject& obj : levels.back().objects)
    for (const MapPoint& p : obj.points) {
      if (!fAny) l = r = p.x, t = b = p.y, fAny = true;
      l = std::min<int64_t>(l, p.x), r = std::max<int64_t>(r, p.x);
      t = std::min<int64_t>(t, p.y), b = std::max<int64_t>(b, p.y);
    }
  hdr.main.nLeft2 = ToHeaderUnits(l);
  hdr.main.nTop2 = ToHeaderUnits(t);
  hdr.main.nRight2 = ToHeaderUnits(r);
  hdr.main.nBottom2 = ToHeaderUnits(b);
  hdr.main.wScaleFirst = opt.wScaleFirst;
  hdr.main.wScaleLast = opt.wScaleLast;
  hdr.main.wYear = opt.wYear;
  hdr.main.btMonth = opt.btMonth;
  hdr.main.btDay = opt.btDay;
  for (size_t i = 0; i < 32 && i < opt.strName.size(); ++i) hdr.main.szName[i] = opt.strName[i];
  for (size_t i = 0; i < 64 && i < opt.strNotice.size(); ++i) hdr.main.szNotice[i] = opt.strNotice[i];
  hdr.main.dwFlags = (opt.fExtended ? c_fExtendedHeader : 0) | (opt.fExtraAddressBit ? c_fExtraAddressBit : 0);
  hdr.dwLevelTableOffset = uint32_t(offLevels);
  hdr.dwScales = uint32_t(work.size());
  hdr.dwLabelAreaOffset = uint32_t(offLabels);
  hdr.dwLabelRefBits = cRefBits;
  hdr.nXBias = c_nBias;
  hdr.nYBias = c_nBias;
  for (size_t i = 0; i < 8 && i < opt.strTypeSet.size(); ++i) hdr.achTypeSet[i] = opt.strTypeSet[i];
  hdr.dwHuffmanOffset = uint32_t(offHuffman);
  hdr.dwHuffmanLength = uint32_t(cbHuffman);
  hdr.dwCityIndexOffset = opt.fAddresses ? (opt.dwCityIndexOffset ? opt.dwCityIndexOffset : uint32_t(offHuffman)) : 0;
  hdr.dwLocale = opt.dwLocale;
  hdr.dwLabelFlags = opt.dwLabelFlags;
  hdr.dwNodeCount = opt.dwNodeCount;
  if (opt.fExtended) {
    std::memcpy(out.data(), &hdr, sizeof hdr);
  } else {
    VelLegacyHeader lh;
    std::memset(&lh, 0, sizeof lh);
    lh.main = hdr.main;
    lh.dwHuffmanOffset = hdr.dwHuffmanOffset;
    lh.dwLabelAreaOffset = hdr.dwLabelAreaOffset;
    lh.dwLabelRefBits = hdr.dwLabelRefBits;
    lh.dwLevelTableOffset = hdr.dwLevelTableOffset;
    lh.dwScales = hdr.dwScales;
    lh.nXBias = hdr.nXBias;
    lh.nYBias = hdr.nYBias;
    std::memcpy(lh.achTypeSet, hdr.achTypeSet, 8);
    lh.dwCityIndexOffset = hdr.dwCityIndexOffset;
    lh.dwLocale = hdr.dwLocale;
    lh.dwObjectIndexOffset = 0;
    lh.dwLabelFlags = hdr.dwLabelFlags;
    lh.dwNodeCount = hdr.dwNodeCount;
    std::memcpy(out.data(), &lh, sizeof lh);
  }
  PutLe32(out, 8, uint32_t(out.size()));
  if (pStats) *pStats = stats;
  return true;
}
