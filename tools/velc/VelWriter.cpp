#include "tools/velc/VelWriter.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <cstddef>

#include "map/MapParser.h"
#include "map/bits/BitStream.h"
#include "map/bits/HuffmanEncoder.h"
#include "map/vel/detail/VelFormat.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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

// One object (or a piece of a line) in level units, ready to encode. A
// large map has millions: the points and node numbers lie in the level's
// flat arrays.
const uint32_t c_iNoNodes = UINT32_MAX;
struct Item {
  const VelObject* pSrc;
  uint32_t iObject = 0;           // index of pSrc in the level's input
  uint32_t iFirstPoint = 0;       // in LevelWork::pts
  uint32_t cPoints = 0;
  uint32_t iFirstNode = c_iNoNodes;  // in LevelWork::nodes, one per point (c_iNoNodes: none)
  int32_t l, t, r, b;             // bounds, level units
  uint32_t iBlock = 0;
  uint32_t dwInSection = 0;       // byte offset of the record in its section
  bool fInlineLabel = false;      // a city's place: the record starts with its own text
};

struct Block {
  int64_t l, t, r, b;
  std::vector<uint32_t> items[3];  // areas, lines, points (indices into the level's items)
  std::vector<uint8_t> data[3];
  size_t offData = 0;              // file offset of the block's object data
};

struct LevelWork {
  uint16_t wCode;
  unsigned nShift;
  bool fFinest;
  std::vector<Item> items;
  std::vector<LPoint> pts;     // the items' points
  std::vector<int32_t> nodes;  // the node numbers of the items that have them
  std::vector<Block> blocks;

  const LPoint* PointsOf(const Item& it) const { return pts.data() + it.iFirstPoint; }
  const int32_t* NodesOf(const Item& it) const {
    return it.iFirstNode == c_iNoNodes ? nullptr : nodes.data() + it.iFirstNode;
  }
};

int SectionOf(int nKind) { return nKind == rkPolygon ? 0 : nKind == rkPolyline ? 1 : 2; }

void ComputeBounds(Item& it, const LPoint* pts) {
  it.l = it.r = pts[0].x;
  it.t = it.b = pts[0].y;
  for (uint32_t i = 0; i < it.cPoints; ++i) {
    it.l = std::min(it.l, pts[i].x);
    it.r = std::max(it.r, pts[i].x);
    it.t = std::min(it.t, pts[i].y);
    it.b = std::max(it.b, pts[i].y);
  }
}

// Appends points (and their node numbers, when there are) to the level as
// a new item.
Item& PushItem(LevelWork& lw, const VelObject& obj, size_t iObject, const LPoint* pts, const int32_t* nodes,
               size_t c) {
  Item it;
  it.pSrc = &obj;
  it.iObject = uint32_t(iObject);
  it.iFirstPoint = uint32_t(lw.pts.size());
  it.cPoints = uint32_t(c);
  lw.pts.insert(lw.pts.end(), pts, pts + c);
  if (nodes) {
    it.iFirstNode = uint32_t(lw.nodes.size());
    lw.nodes.insert(lw.nodes.end(), nodes, nodes + c);
  }
  ComputeBounds(it, lw.PointsOf(it));
  lw.items.push_back(it);
  return lw.items.back();
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

// pcNextNode: the next free node number where a road of the road graph
// must be cut into pieces (null on levels without one). A cut point that is
// not yet a node becomes one, so that both pieces stay joined in the graph.
// base and baseNodes: scratch room for the object's points in level units.
void AddItems(LevelWork& lw, const VelObject& obj, size_t iObject, VelWriterStats& stats, uint32_t* pcNextNode,
              std::vector<LPoint>& base, std::vector<int32_t>& baseNodes) {
  if (obj.points.empty()) {
    ++stats.cDropped;
    return;
  }
  base.clear();
  baseNodes.clear();
  for (const MapPoint& p : obj.points) base.push_back(LPoint{ToLevelUnits(p.x, lw.nShift), ToLevelUnits(p.y, lw.nShift)});
  if (!obj.nodeIndex.empty() && obj.nodeIndex.size() == obj.points.size()) baseNodes = obj.nodeIndex;
  if (obj.nKind == rkPoint) {
    PushItem(lw, obj, iObject, base.data(), nullptr, 1);
    return;
  }
  Densify(base, baseNodes);
  const int32_t* pNodes = baseNodes.empty() ? nullptr : baseNodes.data();
  if (obj.nKind == rkPolygon) {
    Item probe;
    probe.cPoints = uint32_t(std::min<size_t>(base.size(), UINT32_MAX));
    ComputeBounds(probe, base.data());
    if (base.size() > c_cMaxPointsPerObject || int64_t(probe.r) - probe.l > c_nMaxBlockSpan ||
        int64_t(probe.b) - probe.t > c_nMaxBlockSpan) {
      ++stats.cDropped;
      return;
    }
    PushItem(lw, obj, iObject, base.data(), pNodes, base.size());
    return;
  }
  // Lines: split into pieces that fit a block and the point count.
  size_t i = 0;
  const size_t n = base.size();
  while (i < n) {
    int64_t l = base[i].x, r = l, t = base[i].y, b = t;
    size_t j = i;
    while (j < n) {
      int64_t l2 = std::min<int64_t>(l, base[j].x), r2 = std::max<int64_t>(r, base[j].x);
      int64_t t2 = std::min<int64_t>(t, base[j].y), b2 = std::max<int64_t>(b, base[j].y);
      if (r2 - l2 > c_nMaxBlockSpan || b2 - t2 > c_nMaxBlockSpan || j - i >= c_cMaxPointsPerObject) break;
      l = l2, r = r2, t = t2, b = b2;
      ++j;
    }
    if (j < n && pcNextNode && obj.fHasNodes && pNodes && baseNodes[j - 1] < 0) {
      baseNodes[j - 1] = int32_t((*pcNextNode)++);
      ++stats.cCutNodes;
    }
    PushItem(lw, obj, iObject, base.data() + i, pNodes ? pNodes + i : nullptr, j - i);
    if (j >= n) break;
    i = j - 1;  // the next piece starts where this one ended
  }
}

void MakeBlocks(LevelWork& lw, uint32_t cCell) {
  for (;;) {
    lw.blocks.clear();
    std::map<std::pair<int64_t, int64_t>, std::vector<uint32_t>> cells;
    for (size_t i = 0; i < lw.items.size(); ++i) {
      const Item& it = lw.items[i];
      int64_t cx = (int64_t(it.l) + it.r) / 2, cy = (int64_t(it.t) + it.b) / 2;
      auto floorDiv = [](int64_t a, int64_t d) { return a >= 0 ? a / d : -((-a + d - 1) / d); };
      cells[{floorDiv(cy, cCell), floorDiv(cx, cCell)}].push_back(uint32_t(i));
    }
    for (auto& kv : cells) {
      Block blk{};
      bool fOpen = false;
      for (uint32_t idx : kv.second) {
        const Item& it = lw.items[idx];
        if (fOpen) {
          int64_t l = std::min<int64_t>(blk.l, it.l), r = std::max<int64_t>(blk.r, it.r),
                  t = std::min<int64_t>(blk.t, it.t), b = std::max<int64_t>(blk.b, it.b);
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
    if (lw.blocks.size() <= 65535) {
      for (size_t iBlock = 0; iBlock < lw.blocks.size(); ++iBlock)
        for (const std::vector<uint32_t>& section : lw.blocks[iBlock].items)
          for (uint32_t idx : section) lw.items[idx].iBlock = uint32_t(iBlock);
      return;
    }
    cCell *= 2;
  }
}

// Labels: every distinct text with its use count, code set and place.
struct LabelInfo {
  uint32_t cUses = 0;
  int nSet = 1;
  bool fShared = false;
  bool fIndexText = false;  // an index names it: always in the shared area
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

// The label code tables of code set 1 ([0]) and code set 3 ([1]).
struct LabelTables {
  CHuffmanEncoder chars[2], lengths[2];

  void Build(const std::map<std::u16string, LabelInfo>& labels) {
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
  }
  // The 2-bit code set, the length and the characters.
  void WriteText(CBitWriter& bw, const std::u16string& s, int nSet) const {
    int k = nSet == 1 ? 0 : 1;
    bw.WriteBits(2, uint32_t(nSet));
    lengths[k].Write(bw, uint16_t(s.size()));
    for (char16_t ch : s) chars[k].Write(bw, ch);
  }
};

// The code tables of the object records.
struct ObjectTables {
  CHuffmanEncoder types[3];  // by kind: point, line, area
  CHuffmanEncoder xDelta, yDelta, counts;
  CHuffmanEncoder address[4];
  uint32_t adwAddressMax[4] = {0, 0, 0, 0};
};

// Where the parts of the file lie.
struct FileLayout {
  size_t offLevels = 0;                  // the level table
  std::vector<size_t> blockHeaderOffsets;  // per level, its first block header
  size_t offLabels = 0;                  // the shared label area
  size_t offHuffman = 0;                 // the code tables
  size_t cbHuffman = 0;
  size_t offTurns = 0;                   // the turn restriction table
  size_t offAccess = 0;                  // the road access table (0 = none)
  size_t offBorderKeys = 0;              // the border key table (0 = none)
  size_t offCityIndex = 0;               // the city index header (0 = none)
  size_t offObjectIndex = 0;             // the object name index header (0 = none)
};

// A header bound at twice the map resolution. +180° (2^30 units) doubled is
// one past the largest 32-bit value: it is kept as that value, which the
// reader rounds back up.
int32_t ToHeaderUnits(int64_t n) {
  int64_t v = n * 2;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return int32_t(v);
}

// Writes one map. The steps run in this order and mirror the reader:
// objects in level units and blocks (the level table, ReadBlock), labels
// (ReadText, ReadLabelAt), the object code tables and records (LoadTables,
// ReadRecord); then the file: level table and blocks, shared labels, code
// tables, header (Open, ReadSecondHeader). A new part of the file gets a
// step of its own that builds it, one that places it (its offset in
// FileLayout) and its fields in WriteHeader.
class CVelMapWriter {
 public:
  // pConsumed: the same levels as levels, whose objects' points the writer
  // may free once it holds them itself (null: the input stays as it is).
  CVelMapWriter(const VelWriterOptions& opt, const std::vector<VelLevelInput>& levels, std::vector<uint8_t>& out,
                std::string& strError, std::vector<VelLevelInput>* pConsumed = nullptr)
      : m_opt(opt), m_levels(levels), m_out(out), m_strError(strError), m_pConsumed(pConsumed) {}

  bool Write() {
    m_out.clear();
    m_fAddresses = m_opt.fAddresses || m_opt.index.fCityIndex;
    if (!PrepareLevels()) return false;
    PrepareIndexOrder();
    PreparePlaces();
    PrepareLabels();
    PrepareObjectTables();
    EncodeAllRecords();
    if (!WriteLevelsAndBlocks()) return false;
    WriteTables();
    WriteTurnTable();
    WriteAccessTable();
    WriteBorderKeys();
    WriteCityIndex();
    WriteObjectIndex();
    if (!CheckFileSize()) return false;
    WriteHeader();
    return true;
  }
  const VelWriterStats& Stats() const { return m_stats; }

 private:
  bool Fail(const char* pszWhy) {
    m_strError = pszWhy;
    return false;
  }

  // ---- content ----

  // Objects in level units, split where the format needs it, and blocks.
  bool PrepareLevels() {
    if (m_levels.empty()) return Fail("a map needs at least one zoom level");
    if (m_levels.size() > 32) return Fail("too many zoom levels");
    m_cNodes = m_opt.dwNodeCount;
    m_work.resize(m_levels.size());
    for (size_t iLevel = 0; iLevel < m_levels.size(); ++iLevel) {
      LevelWork& lw = m_work[iLevel];
      lw.wCode = m_levels[iLevel].wLevelCode;
      if (lw.wCode > 31) return Fail("a level code is above 31");
      lw.nShift = unsigned(~lw.wCode) & 31;
      lw.fFinest = iLevel + 1 == m_levels.size();
      const std::vector<VelObject>& objects = m_levels[iLevel].objects;
      uint32_t* pcNextNode = lw.fFinest && m_opt.dwNodeCount ? &m_cNodes : nullptr;
      if (objects.size() >= UINT32_MAX) return Fail("too many objects in a level");
      size_t cPoints = 0, cNodes = 0;
      for (const VelObject& obj : objects) {
        cPoints += obj.points.size();
        if (obj.nodeIndex.size() == obj.points.size()) cNodes += obj.nodeIndex.size();
      }
      if (cPoints >= UINT32_MAX / 2) return Fail("too many points in a level");
      lw.items.reserve(objects.size());
      lw.pts.reserve(cPoints);
      lw.nodes.reserve(cNodes);
      if (lw.fFinest) FinestBounds(objects);
      std::vector<LPoint> base;
      std::vector<int32_t> baseNodes;
      for (size_t iObject = 0; iObject < objects.size(); ++iObject) {
        AddItems(lw, objects[iObject], iObject, m_stats, pcNextNode, base, baseNodes);
        if (m_pConsumed) {
          // The points are in the level's arrays now.
          VelObject& obj = (*m_pConsumed)[iLevel].objects[iObject];
          std::vector<MapPoint>().swap(obj.points);
          std::vector<int32_t>().swap(obj.nodeIndex);
          if ((iObject + 1) % (size_t(1) << 18) == 0) ReleaseFreeMemory();
        }
      }
      if (lw.items.size() >= UINT32_MAX || lw.pts.size() >= UINT32_MAX || lw.nodes.size() >= UINT32_MAX)
        return Fail("too many points in a level");
      if (m_pConsumed) ReleaseFreeMemory();
      MakeBlocks(lw, m_opt.cBlockCell ? m_opt.cBlockCell : 1024);
      m_stats.acBlocks[iLevel] = uint32_t(lw.blocks.size());
    }
    return true;
  }

  // Every distinct text with its code set; texts used more than once go to
  // the shared area, each starting on a byte.
  void PrepareLabels() {
    for (const LevelWork& lw : m_work)
      for (const Item& it : lw.items)
        if (!it.pSrc->strLabel.empty()) {
          std::u16string s = it.pSrc->strLabel.substr(0, c_cMaxLabel);
          LabelInfo& li = m_labels[s];
          ++li.cUses;
          li.nSet = it.pSrc->nKind == rkPolyline ? 1 : 3;
        }
    auto addIndexText = [this](const std::u16string& str) {
      LabelInfo& li = m_labels[str.substr(0, c_cMaxLabel)];
      if (li.cUses++ == 0) li.nSet = 3;
      li.fIndexText = true;
    };
    if (m_opt.index.fCityIndex) {
      const VelIndexInput& in = m_opt.index;
      for (const std::u16string& str : in.countries) addIndexText(str);
      for (const VelRegionInput& r : in.regions) addIndexText(r.strName);
      for (const VelCityInput& c : in.cities) addIndexText(c.strName);
      for (const std::vector<std::u16string>& list : in.lists)
        for (const std::u16string& str : list) addIndexText(str);
    }
    if (m_opt.nCodeSet == 1 || m_opt.nCodeSet == 3) {
      for (auto& kv : m_labels) kv.second.nSet = m_opt.nCodeSet;
    } else {
      // First by kind (street names in set 1, the rest in set 3), then each
      // text moves to the set that codes it in fewer bits.
      m_labelTables.Build(m_labels);
      for (auto& kv : m_labels) {
        uint64_t c1 = TextCost(kv.first, m_labelTables.chars[0], m_labelTables.lengths[0]);
        uint64_t c3 = TextCost(kv.first, m_labelTables.chars[1], m_labelTables.lengths[1]);
        if (c1 < c3) kv.second.nSet = 1;
        else if (c3 < c1) kv.second.nSet = 3;
      }
    }
    m_labelTables.Build(m_labels);
    for (auto& kv : m_labels) {
      kv.second.fShared = kv.second.fIndexText || (m_opt.fSharedLabels && kv.second.cUses >= 2);
      if (kv.second.nSet == 1) ++m_stats.cCodeSet1;
      else ++m_stats.cCodeSet3;
    }
    CBitWriter bw(m_sharedArea);
    for (auto& kv : m_labels) {
      if (!kv.second.fShared) continue;
      ++m_stats.cSharedLabels;
      kv.second.dwRef = uint32_t(m_sharedArea.size());
      m_labelTables.WriteText(bw, kv.first, kv.second.nSet);
      bw.Flush();
    }
    m_cRefBits = m_sharedArea.empty() ? 0 : BitLen(uint32_t(m_sharedArea.size()));
  }

  // The code tables from the symbols the records will hold.
  void PrepareObjectTables() {
    ObjectTables& t = m_tables;
    for (const LevelWork& lw : m_work)
      for (const Item& it : lw.items) {
        t.types[it.pSrc->nKind].Add(it.pSrc->wType);
        if (it.pSrc->nKind != rkPoint) {
          const LPoint* pts = lw.PointsOf(it);
          t.counts.Add(uint16_t(it.cPoints - 1));
          for (size_t i = 1; i < it.cPoints; ++i) {
            t.xDelta.Add(uint16_t(pts[i].x - pts[i - 1].x + c_nBias));
            t.yDelta.Add(uint16_t(pts[i].y - pts[i - 1].y + c_nBias));
          }
        }
        if (m_fAddresses && it.pSrc->fHasAddress)
          for (int i = 0; i < 4; ++i) {
            const uint32_t v = AddressValue(*it.pSrc, i);
            t.address[i].Add(uint16_t(v));
            t.adwAddressMax[i] = std::max(t.adwAddressMax[i], v);
          }
      }
    for (CHuffmanEncoder& e : t.types) e.Build();
    t.xDelta.Build();
    t.yDelta.Build();
    t.counts.Build();
    for (CHuffmanEncoder& e : t.address) e.Build();
    // Values beyond the 16 bits of a code are stored at a fixed width.
    for (int i = 0; i < 4; ++i) m_afFixedAddress[i] = m_opt.fFixedWidthAddresses || t.adwAddressMax[i] > 0xFFFE;
    m_cNodeBits = m_cNodes ? BitLen(m_cNodes - 1) : 0;
    m_stats.cNodes = m_cNodes;
  }

  // The records; where a city's place record is named by a label
  // reference, the reference must reach past the shared labels into the
  // object data, which the width of the references changes in turn: encode
  // again with wider references until they do.
  void EncodeAllRecords() {
    const VelWriterStats statsBefore = m_stats;
    for (;;) {
      EncodeRecords();
      if (!m_fAnyPlace) return;
      uint64_t cbData = 0;
      for (const LevelWork& lw : m_work)
        for (const Block& blk : lw.blocks)
          for (const std::vector<uint8_t>& data : blk.data) cbData += data.size();
      const uint32_t cNeeded = BitLen(uint32_t(std::min<uint64_t>(m_sharedArea.size() + cbData, 0xFFFFFFFFu)));
      if (cNeeded <= m_cRefBits) return;
      m_cRefBits = cNeeded;
      m_stats = statsBefore;
      for (LevelWork& lw : m_work)
        for (Block& blk : lw.blocks)
          for (std::vector<uint8_t>& data : blk.data) data.clear();
    }
  }

  // The records of every block, section by section (areas, lines, points).
  void EncodeRecords() {
    for (LevelWork& lw : m_work)
      for (Block& blk : lw.blocks)
        for (int iSection = 0; iSection < 3; ++iSection)
          for (uint32_t idx : blk.items[iSection]) {
            lw.items[idx].dwInSection = uint32_t(blk.data[iSection].size());
            EncodeRecord(lw, blk, blk.data[iSection], lw.items[idx]);
          }
  }

  // One record: label, type, road graph bits, first point, point deltas
  // (with node bits), direction, address block.
  void EncodeRecord(const LevelWork& lw, const Block& blk, std::vector<uint8_t>& data, const Item& it) {
    const VelObject& obj = *it.pSrc;
    size_t cbBefore = data.size();
    CBitWriter bw(data);
    EncodeLabel(bw, obj, it.fInlineLabel);
    m_tables.types[obj.nKind].Write(bw, obj.wType);
    bool fNodes = false;
    if (obj.nKind == rkPolyline && lw.fFinest && m_cNodes) {
      fNodes = obj.fHasNodes;
      bw.WriteBits(1, fNodes);
      if (fNodes) {
        bw.WriteBits(1, obj.fHasAttributes);
        if (obj.fHasAttributes) bw.WriteBits(16, obj.wRoadAttributes);
      }
    }
    EncodePoints(bw, lw, blk, it, fNodes);
    if (obj.nKind == rkPolyline) bw.WriteBits(1, obj.fDirection);
    if (m_fAddresses) EncodeAddress(bw, obj, lw.fFinest);
    uint64_t cBits = bw.GetBitCount() - cbBefore * 8;
    if (cBits % 8 == 0) ++m_stats.cRecordsOnBoundary;
    else ++m_stats.cRecordsInsideByte;
    bw.Flush();
    ++m_stats.cObjects;
  }

  void EncodeLabel(CBitWriter& bw, const VelObject& obj, bool fInline) {
    std::u16string strLabel = obj.strLabel.substr(0, c_cMaxLabel);
    if (strLabel.empty()) {
      bw.WriteBits(2, c_nLabelNone);
      return;
    }
    const LabelInfo& li = m_labels[strLabel];
    if (li.fShared && !fInline) {
      bw.WriteBits(2, c_nLabelShared);
      bw.WriteBits(m_cRefBits, li.dwRef);
      ++m_stats.cSharedRefs;
    } else {
      m_labelTables.WriteText(bw, strLabel, li.nSet);
      ++m_stats.cInlineLabels;
    }
  }

  void EncodePoints(CBitWriter& bw, const LevelWork& lw, const Block& blk, const Item& it, bool fNodes) {
    const LPoint* pts = lw.PointsOf(it);
    const int32_t* nodes = lw.NodesOf(it);
    int64_t bx = blk.l, by = blk.t;
    bw.WriteBits(BitLen(uint32_t(blk.r - blk.l)), uint32_t(pts[0].x - bx));
    bw.WriteBits(BitLen(uint32_t(blk.b - blk.t)), uint32_t(pts[0].y - by));
    if (it.pSrc->nKind == rkPoint) return;
    m_tables.counts.Write(bw, uint16_t(it.cPoints - 1));
    for (size_t i = 0; i < it.cPoints; ++i) {
      if (i) {
        m_tables.xDelta.Write(bw, uint16_t(pts[i].x - pts[i - 1].x + c_nBias));
        m_tables.yDelta.Write(bw, uint16_t(pts[i].y - pts[i - 1].y + c_nBias));
      }
      if (fNodes) {
        int32_t n = nodes ? nodes[i] : -1;
        bool fIsNode = n >= 0 && uint32_t(n) < m_cNodes;
        bw.WriteBits(1, fIsNode);
        if (fIsNode) bw.WriteBits(m_cNodeBits, uint32_t(n));
      }
    }
  }

  void EncodeAddress(CBitWriter& bw, const VelObject& obj, bool fFinest) {
    bw.WriteBits(1, obj.fHasAddress);
    if (!obj.fHasAddress) return;
    if (m_opt.fExtraAddressBit && obj.nKind != rkPoint && fFinest) bw.WriteBits(1, obj.fExtraAddressBit);
    for (int i = 0; i < 4; ++i) {
      const uint32_t v = AddressValue(obj, i);
      if (m_afFixedAddress[i]) bw.WriteBits(BitLen(m_tables.adwAddressMax[i] + 1), v);
      else m_tables.address[i].Write(bw, uint16_t(v));
    }
  }

  // ---- the indexes ----

  // An address value of an object as the file stores it: with a city index
  // the input's numbers renumbered to the sorted city and name lists (a
  // number past its list becomes 0, none).
  uint32_t AddressValue(const VelObject& obj, int i) const {
    const uint32_t v = obj.adwAddress[i];
    if (!m_opt.index.fCityIndex || v == 0) return v;
    const std::vector<uint32_t>& renumber = i == 0 ? m_cityNew : m_listNew[i - 1];
    return v - 1 < renumber.size() ? renumber[v - 1] + 1 : 0;
  }
  // The city (number + 1) under which the object name index lists an object.
  uint32_t IndexCityOf(const VelObject& obj) const {
    if (!m_opt.index.fCityIndex) return 0;
    if (obj.fHasAddress && obj.adwAddress[0]) return AddressValue(obj, 0);
    const uint32_t v = obj.nIndexCity;
    return v && v - 1 < m_cityNew.size() ? m_cityNew[v - 1] + 1 : 0;
  }

  // Sorts a list of texts by name; order[i] is the input of sorted place i,
  // renumber the inverse.
  static void SortTexts(const std::vector<std::u16string>& texts, std::vector<uint32_t>& order,
                        std::vector<uint32_t>& renumber) {
    order.resize(texts.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&texts](uint32_t a, uint32_t b) {
      int n = CompareIndexNames(texts[a], texts[b]);
      if (n) return n < 0;
      return texts[a] < texts[b];
    });
    renumber.assign(texts.size(), 0);
    for (uint32_t i = 0; i < order.size(); ++i) renumber[order[i]] = i;
  }

  // A name list item as the reader gives it: up to a character 0, marks
  // 1..29 dropped, 30 and 31 as spaces.
  static std::u16string NormaliseListText(const std::u16string& str) {
    std::u16string out;
    for (char16_t ch : str) {
      if (ch == 0) break;
      if (ch == 30 || ch == 31) out += u' ';
      else if (ch > 31) out += ch;
    }
    return out.substr(0, 63);
  }

  void PrepareIndexOrder() {
    const VelIndexInput& in = m_opt.index;
    if (!in.fCityIndex) return;
    std::vector<std::u16string> shown;
    for (const VelCityInput& c : in.cities) {
      std::u16string strRegion, strCountry;
      if (!in.regions.empty()) {
        const VelRegionInput& r = in.regions[c.iRegion < in.regions.size() ? c.iRegion : 0];
        strRegion = r.strName;
        if (!in.countries.empty()) strCountry = in.countries[r.iCountry < in.countries.size() ? r.iCountry : 0];
      }
      shown.push_back(CityDisplayName(c.strName, strRegion, strCountry));
    }
    SortTexts(shown, m_cityOrder, m_cityNew);
    for (int i = 0; i < 3; ++i) {
      std::vector<std::u16string> keys;
      for (const std::u16string& str : in.lists[i]) keys.push_back(NormaliseListText(str));
      SortTexts(keys, m_listOrder[i], m_listNew[i]);
    }
  }

  // The record of each city's own object (its first piece at the finest
  // level) starts with its name, so that the city's label reference leads
  // to the object.
  void PreparePlaces() {
    const VelIndexInput& in = m_opt.index;
    m_cityPlace.assign(in.cities.size(), SIZE_MAX);
    if (!in.fCityIndex) return;
    LevelWork& lw = m_work.back();
    std::map<size_t, size_t> firstItem;
    for (size_t i = 0; i < lw.items.size(); ++i) firstItem.emplace(lw.items[i].iObject, i);
    for (size_t iCity = 0; iCity < in.cities.size(); ++iCity) {
      const VelCityInput& c = in.cities[iCity];
      if (c.iPlaceObject < 0) continue;
      auto it = firstItem.find(size_t(c.iPlaceObject));
      if (it == firstItem.end()) continue;
      Item& item = lw.items[it->second];
      if (item.pSrc->strLabel.empty() || item.pSrc->strLabel.substr(0, c_cMaxLabel) != c.strName.substr(0, c_cMaxLabel))
        continue;
      item.fInlineLabel = true;
      m_cityPlace[iCity] = it->second;
      m_fAnyPlace = true;
    }
  }

  // The file offset of a record of a level.
  uint32_t RecordOffset(const LevelWork& lw, const Item& it) const {
    const Block& blk = lw.blocks[it.iBlock];
    const int iSection = SectionOf(it.pSrc->nKind);
    size_t off = blk.offData + it.dwInSection;
    for (int i = 0; i < iSection; ++i) off += blk.data[i].size();
    return uint32_t(off);
  }

  void AlignOutput() {
    while (m_out.size() % 4) m_out.push_back(0);
  }
  uint32_t LabelRefOf(const std::u16string& str) const {
    auto it = m_labels.find(str.substr(0, c_cMaxLabel));
    return it == m_labels.end() ? 0 : it->second.dwRef;
  }
  // Appends a bit table at the next byte; returns its offset.
  template <typename Fn>
  uint32_t WriteBitTable(size_t cRecords, Fn fnWrite) {
    const uint32_t off = uint32_t(m_out.size());
    CBitWriter bw(m_out);
    for (size_t i = 0; i < cRecords; ++i) fnWrite(bw, i);
    bw.Flush();
    return off;
  }

  // City index: header, countries, regions, cities (sorted by the name they
  // show), then the three sorted name lists, all bit tables of fixed-width
  // records holding label references.
  void WriteCityIndex() {
    const VelIndexInput& in = m_opt.index;
    if (!in.fCityIndex) return;
    AlignOutput();
    const size_t offHeader = m_out.size();
    m_layout.offCityIndex = offHeader;
    m_out.resize(offHeader + 48, 0);
    const uint32_t L = m_cRefBits;
    const uint32_t cCountries = uint32_t(in.countries.size()), cRegions = uint32_t(in.regions.size());
    const uint32_t cCountryBits = cCountries ? BitLen(cCountries - 1) : 0;
    const uint32_t cRegionBits = cRegions ? BitLen(cRegions - 1) : 0;
    uint32_t adw[12] = {};
    adw[0] = WriteBitTable(cCountries, [&](CBitWriter& bw, size_t i) { bw.WriteBits(L, LabelRefOf(in.countries[i])); });
    adw[1] = cCountries;
    adw[2] = WriteBitTable(cRegions, [&](CBitWriter& bw, size_t i) {
      const VelRegionInput& r = in.regions[i];
      bw.WriteBits(cCountryBits, r.iCountry < cCountries ? r.iCountry : 0);
      bw.WriteBits(L, LabelRefOf(r.strName));
    });
    adw[3] = cRegions;
    adw[4] = WriteBitTable(in.cities.size(), [&](CBitWriter& bw, size_t i) {
      const uint32_t iCity = m_cityOrder[i];
      const VelCityInput& c = in.cities[iCity];
      bw.WriteBits(cRegionBits, c.iRegion < cRegions ? c.iRegion : 0);
      const size_t iPlace = m_cityPlace[iCity];
      bw.WriteBits(1, iPlace != SIZE_MAX);
      if (iPlace != SIZE_MAX) {
        bw.WriteBits(L, RecordOffset(m_work.back(), m_work.back().items[iPlace]) - uint32_t(m_layout.offLabels));
        ++m_stats.cCitiesWithPlace;
      } else {
        bw.WriteBits(L, LabelRefOf(c.strName));
      }
    });
    adw[5] = uint32_t(in.cities.size());
    for (int k = 0; k < 3; ++k) {
      const std::vector<std::u16string>& list = in.lists[k];
      const std::vector<uint32_t>& order = m_listOrder[k];
      adw[6 + 2 * k] = WriteBitTable(list.size(), [&](CBitWriter& bw, size_t i) { bw.WriteBits(L, LabelRefOf(list[order[i]])); });
      adw[7 + 2 * k] = uint32_t(list.size());
    }
    for (int i = 0; i < 12; ++i) PutLe32(m_out, offHeader + 4 * i, adw[i]);
    m_stats.cbCityIndex = uint32_t(m_out.size() - offHeader);
  }

  // Object name index: every named object of the finest level (a line cut
  // into pieces by its first piece), grouped by category, then by city (no
  // city first), sorted by name within a city.
  void WriteObjectIndex() {
    const VelIndexInput& in = m_opt.index;
    if (!in.fObjectIndex) return;
    struct Entry {
      uint16_t wCategory;
      uint32_t nSub;  // kind << 16 | type
      uint32_t nCity;
      std::u16string strName;
      uint32_t dwOffset;
    };
    const LevelWork& lw = m_work.back();
    const bool fMapUnit = (m_opt.dwLabelFlags & 1) == 0;
    std::vector<Entry> entries;
    std::vector<bool> seen(m_levels.back().objects.size(), false);
    for (const Item& it : lw.items) {
      const VelObject& obj = *it.pSrc;
      if (obj.strLabel.empty() || seen[it.iObject]) continue;
      seen[it.iObject] = true;
      char16_t szName[c_cchLabelOut];
      int nShield = 0;
      const std::u16string strRaw = obj.strLabel.substr(0, 63);
      size_t c = InterpretMapLabel(obj.nKind, obj.wType, fMapUnit, strRaw.data(), strRaw.size(), szName, &nShield, true);
      Entry e;
      e.wCategory = in.pfnCategory ? in.pfnCategory(obj.nKind, obj.wType) : obj.wType;
      e.nSub = uint32_t(obj.nKind) << 16 | obj.wType;
      e.nCity = IndexCityOf(obj);
      e.strName.assign(szName, c);
      e.dwOffset = RecordOffset(lw, it);
      entries.push_back(std::move(e));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
      if (a.wCategory != b.wCategory) return a.wCategory < b.wCategory;
      if (a.nCity != b.nCity) return a.nCity < b.nCity;
      int n = CompareIndexNames(a.strName, b.strName);
      if (n) return n < 0;
      return a.dwOffset < b.dwOffset;
    });
    // Categories with their sub-codes and per-city counts.
    struct Category {
      uint16_t wCode;
      std::vector<uint32_t> subs;
      uint32_t iFirst;
      std::vector<uint32_t> counts;  // city number (0 = none) -> entries
    };
    const uint32_t cCities = in.fCityIndex ? uint32_t(in.cities.size()) : 0;
    std::vector<Category> cats;
    uint32_t dwMinOffset = UINT32_MAX, dwMaxOffset = 0, cMaxCount = 0;
    size_t cMaxSubs = 1;
    for (uint32_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      if (cats.empty() || cats.back().wCode != e.wCategory) {
        cats.push_back(Category{e.wCategory, {}, i, std::vector<uint32_t>(cCities + 1, 0)});
      }
      Category& cat = cats.back();
      if (std::find(cat.subs.begin(), cat.subs.end(), e.nSub) == cat.subs.end()) cat.subs.push_back(e.nSub);
      cMaxCount = std::max(cMaxCount, ++cat.counts[e.nCity <= cCities ? e.nCity : 0]);
      dwMinOffset = std::min(dwMinOffset, e.dwOffset);
      dwMaxOffset = std::max(dwMaxOffset, e.dwOffset);
    }
    for (Category& cat : cats) {
      std::sort(cat.subs.begin(), cat.subs.end());
      cMaxSubs = std::max(cMaxSubs, cat.subs.size());
    }
    if (entries.empty()) dwMinOffset = 0;
    const uint32_t cRefBits = BitLen(dwMaxOffset - dwMinOffset);
    const uint32_t cSubBits = BitLen(uint32_t(cMaxSubs - 1));
    const uint32_t cCountBits = std::max<uint32_t>(1, BitLen(cMaxCount));
    const uint32_t cbEntry = uint32_t((12 + (uint64_t(cCities + 1) * cCountBits + 7) / 8 + 3) / 4 * 4);

    AlignOutput();
    const size_t offHeader = m_out.size();
    m_layout.offObjectIndex = offHeader;
    const size_t offTypes = offHeader + 52;
    m_out.resize(offTypes + cats.size() * size_t(cbEntry), 0);
    for (size_t iCat = 0; iCat < cats.size(); ++iCat) {
      const Category& cat = cats[iCat];
      const size_t offEntry = offTypes + iCat * cbEntry;
      const uint32_t offSubs = uint32_t(m_out.size());
      {
        CBitWriter bw(m_out);
        for (uint32_t nSub : cat.subs) {
          bw.WriteBits(2, nSub >> 16);
          bw.WriteBits(16, nSub & 0xFFFF);
        }
        bw.Flush();
      }
      m_out[offEntry] = uint8_t(cat.wCode);
      m_out[offEntry + 1] = uint8_t(cat.wCode >> 8);
      m_out[offEntry + 2] = uint8_t(cat.subs.size());
      m_out[offEntry + 3] = uint8_t(cat.subs.size() >> 8);
      PutLe32(m_out, offEntry + 4, uint32_t(offSubs - offEntry));
      PutLe32(m_out, offEntry + 8, cat.iFirst);
      std::vector<uint8_t> counts;
      CBitWriter bw(counts);
      for (uint32_t c : cat.counts) bw.WriteBits(cCountBits, c);
      bw.Flush();
      std::copy(counts.begin(), counts.end(), m_out.begin() + ptrdiff_t(offEntry + 12));
    }
    const uint32_t offEntries = WriteBitTable(entries.size(), [&](CBitWriter& bw, size_t i) {
      const Entry& e = entries[i];
      bw.WriteBits(cRefBits, e.dwOffset - dwMinOffset);
      const Category& cat = *std::find_if(cats.begin(), cats.end(), [&e](const Category& c) { return c.wCode == e.wCategory; });
      bw.WriteBits(cSubBits, uint32_t(std::find(cat.subs.begin(), cat.subs.end(), e.nSub) - cat.subs.begin()));
    });
    const uint32_t adwHeader[13] = {dwMinOffset, cRefBits, cSubBits, offEntries, uint32_t(entries.size()),
                                    uint32_t(offTypes), 0, cbEntry, 0, uint32_t(cats.size()), 0, 0, cCountBits};
    for (int i = 0; i < 13; ++i) PutLe32(m_out, offHeader + 4 * i, adwHeader[i]);
    m_stats.cbObjectIndex = uint32_t(m_out.size() - offHeader);
    m_stats.cIndexedObjects = uint32_t(entries.size());
  }

  // ---- the file ----

  // Room for the header, the level table and every block header; then the
  // level table, and each block's header followed by its sections' data.
  bool WriteLevelsAndBlocks() {
    const size_t cbHeader = m_opt.fExtended ? sizeof(VelExtHeader) : sizeof(VelLegacyHeader);
    size_t off = cbHeader;
    m_layout.offLevels = off;
    off += m_work.size() * sizeof(VelLevel);
    m_layout.blockHeaderOffsets.assign(m_work.size(), 0);
    for (size_t iLevel = 0; iLevel < m_work.size(); ++iLevel) {
      m_layout.blockHeaderOffsets[iLevel] = off;
      for (const Block& blk : m_work[iLevel].blocks) {
        off += sizeof(CVelBlock);
        for (int i = 0; i < 3; ++i) {
          if (blk.data[i].size() >= (1u << 24)) {
            m_stats.fTooLarge = true;
            return Fail("a block holds more than 16 MiB of objects");
          }
          off += BytesFor(uint32_t(blk.data[i].size()));
        }
      }
    }
    m_out.assign(off, 0);
    WriteLevelTable();
    // The shared labels lie before the object data, so that a label
    // reference also reaches the records of cities' places.
    m_layout.offLabels = m_out.size();
    m_out.insert(m_out.end(), m_sharedArea.begin(), m_sharedArea.end());
    // Object data from the finest level to the coarsest: a record's offset
    // then finds its block among blocks in the order of their data.
    for (size_t iLevel = m_work.size(); iLevel-- > 0;)
      if (!WriteBlocks(iLevel)) return false;
    return true;
  }

  void WriteLevelTable() {
    for (size_t iLevel = 0; iLevel < m_work.size(); ++iLevel) {
      VelLevel lv;
      lv.dwFirstBlock = uint32_t(m_layout.blockHeaderOffsets[iLevel]);
      lv.wBlocks = uint16_t(m_work[iLevel].blocks.size());
      lv.wLevelCode = m_work[iLevel].wCode;
      std::memcpy(&m_out[m_layout.offLevels + iLevel * sizeof(VelLevel)], &lv, sizeof lv);
    }
  }

  bool WriteBlocks(size_t iLevel) {
    size_t offHdr = m_layout.blockHeaderOffsets[iLevel];
    for (Block& blk : m_work[iLevel].blocks) {
      size_t offData = m_out.size();
      blk.offData = offData;
      if (offData >= std::min<uint32_t>(m_opt.cbObjectDataLimit, 1u << 24)) {
        m_stats.fTooLarge = true;
        return Fail("the map's objects exceed the 16 MiB the block offsets can address");
      }
      CVelBlock hdr;
      hdr.x = int32_t(blk.l);
      hdr.y = int32_t(blk.t);
      hdr.wWidth = uint16_t(blk.r - blk.l);
      hdr.wHeight = uint16_t(blk.b - blk.t);
      hdr.dwData = uint32_t(offData);
      for (int i = 0; i < 3; ++i) hdr.dwData |= uint32_t(BytesFor(uint32_t(blk.data[i].size()))) << (24 + 2 * i);
      std::memcpy(&m_out[offHdr], &hdr, sizeof hdr);
      offHdr += sizeof hdr;
      for (int i = 0; i < 3; ++i) {
        uint32_t cb = uint32_t(blk.data[i].size());
        for (unsigned k = 0; k < BytesFor(cb); ++k) m_out[offHdr++] = uint8_t(cb >> (8 * k));
        m_out.insert(m_out.end(), blk.data[i].begin(), blk.data[i].end());
      }
    }
    return true;
  }

  // The code tables in the order the reader loads them.
  void WriteTables() {
    m_layout.offHuffman = m_out.size();
    m_labelTables.chars[0].Serialize(m_out);
    m_labelTables.lengths[0].Serialize(m_out);
    m_labelTables.chars[1].Serialize(m_out);
    m_labelTables.lengths[1].Serialize(m_out);
    m_tables.types[rkPoint].Serialize(m_out);
    m_tables.types[rkPolyline].Serialize(m_out);
    m_tables.types[rkPolygon].Serialize(m_out);
    m_tables.xDelta.Serialize(m_out);
    m_tables.yDelta.Serialize(m_out);
    m_tables.counts.Serialize(m_out);
    if (m_fAddresses)
      for (int i = 0; i < 4; ++i) {
        if (m_afFixedAddress[i]) {
          m_out.push_back(1);
          uint32_t c = m_tables.adwAddressMax[i] + 1;
          for (int k = 0; k < 4; ++k) m_out.push_back(uint8_t(c >> (8 * k)));
        } else {
          m_out.push_back(0);
          m_tables.address[i].Serialize(m_out);
        }
      }
    m_layout.cbHuffman = m_out.size() - m_layout.offHuffman;
  }

  // The file offset of a line record of the finest level (what the reader
  // reports as the record's offset).
  uint32_t LineRecordOffset(const Item& it) const {
    const Block& blk = m_work.back().blocks[it.iBlock];
    return uint32_t(blk.offData + blk.data[0].size() + it.dwInSection);
  }

  // The record of an object of the finest level holding the nodes a and b
  // one after the other (in either direction), or null.
  const Item* PieceWithNodes(uint32_t iObject, uint32_t a, uint32_t b) const {
    auto range = m_pieces.equal_range(iObject);
    for (auto it = range.first; it != range.second; ++it) {
      const Item& item = m_work.back().items[it->second];
      if (item.pSrc->nKind != rkPolyline || !item.pSrc->fHasNodes) continue;
      int64_t nPrev = -1;
      const int32_t* nodes = m_work.back().NodesOf(item);
      for (uint32_t i = 0; nodes && i < item.cPoints; ++i) {
        const int32_t n = nodes[i];
        if (n < 0 || uint32_t(n) >= m_cNodes) continue;
        if ((nPrev == a && uint32_t(n) == b) || (nPrev == b && uint32_t(n) == a)) return &item;
        nPrev = n;
      }
    }
    return nullptr;
  }

  // The turn restrictions as one bit stream: three node numbers, two road
  // record offsets and a flag bit (0: no further bits) per record. A
  // restriction whose objects do not hold its node pieces is left out.
  void WriteTurnTable() {
    m_layout.offTurns = m_out.size();
    if (!m_cNodes || m_opt.restrictions.empty()) return;
    const LevelWork& lw = m_work.back();
    // The records of the objects the restrictions name (only those: a map
    // has millions of records).
    std::vector<uint32_t> named;
    for (const VelTurnRestriction& r : m_opt.restrictions) {
      named.push_back(r.iFromObject);
      named.push_back(r.iToObject);
    }
    std::sort(named.begin(), named.end());
    for (size_t i = 0; i < lw.items.size(); ++i)
      if (std::binary_search(named.begin(), named.end(), uint32_t(lw.items[i].iObject)))
        m_pieces.emplace(uint32_t(lw.items[i].iObject), i);
    struct Resolved {
      uint32_t cFromNode, cNode, cToNode, dwFrom, dwTo;
    };
    std::vector<Resolved> turns;
    uint32_t dwMax = 0;
    const size_t cObjects = m_levels.back().objects.size();
    for (const VelTurnRestriction& r : m_opt.restrictions) {
      const Item* pFrom = nullptr;
      const Item* pTo = nullptr;
      if (r.cFromNode < m_cNodes && r.cNode < m_cNodes && r.cToNode < m_cNodes && r.iFromObject < cObjects &&
          r.iToObject < cObjects) {
        pFrom = PieceWithNodes(r.iFromObject, r.cFromNode, r.cNode);
        pTo = PieceWithNodes(r.iToObject, r.cNode, r.cToNode);
      }
      if (!pFrom || !pTo) {
        ++m_stats.cTurnsDropped;
        continue;
      }
      Resolved t{r.cFromNode, r.cNode, r.cToNode, LineRecordOffset(*pFrom), LineRecordOffset(*pTo)};
      dwMax = std::max(dwMax, std::max(t.dwFrom, t.dwTo));
      turns.push_back(t);
    }
    if (turns.empty()) return;
    m_cRoadRefBits = BitLen(dwMax);
    CBitWriter bw(m_out);
    for (const Resolved& t : turns) {
      bw.WriteBits(m_cNodeBits, t.cFromNode);
      bw.WriteBits(m_cNodeBits, t.cNode);
      bw.WriteBits(m_cNodeBits, t.cToNode);
      bw.WriteBits(m_cRoadRefBits, t.dwFrom);
      bw.WriteBits(m_cRoadRefBits, t.dwTo);
      bw.WriteBits(1, 0);
    }
    bw.Flush();
    m_cTurns = uint32_t(turns.size());
    m_stats.cTurnsWritten = m_cTurns;
  }

  // The road access table: the line records whose use is limited (sorted
  // by offset), then the barrier nodes (sorted by number). Extended layout
  // only; a map with nothing to say has no table.
  void WriteAccessTable() {
    m_layout.offAccess = 0;
    if (!m_cNodes || !m_opt.fExtended) return;
    std::vector<vel::VelRoadAccess> roads;
    for (const Item& it : m_work.back().items) {
      const VelObject& obj = *it.pSrc;
      if (obj.nKind != rkPolyline || !obj.fHasNodes || (!obj.btRoadThrough && !obj.btRoadFlags)) continue;
      roads.push_back(vel::VelRoadAccess{LineRecordOffset(it), obj.btRoadThrough, obj.btRoadFlags, 0});
    }
    std::sort(roads.begin(), roads.end(),
              [](const vel::VelRoadAccess& a, const vel::VelRoadAccess& b) { return a.dwRoad < b.dwRoad; });
    std::vector<vel::VelNodeBarrier> barriers;
    for (const VelBarrierInput& b : m_opt.barriers)
      if (b.nNode < m_cNodes && b.wDeny) barriers.push_back(vel::VelNodeBarrier{b.nNode, b.wDeny, 0});
    std::sort(barriers.begin(), barriers.end(),
              [](const vel::VelNodeBarrier& a, const vel::VelNodeBarrier& b) { return a.nNode < b.nNode; });
    barriers.erase(std::unique(barriers.begin(), barriers.end(),
                               [](const vel::VelNodeBarrier& a, const vel::VelNodeBarrier& b) {
                                 return a.nNode == b.nNode;
                               }),
                   barriers.end());
    if (roads.empty() && barriers.empty()) return;
    while (m_out.size() % 4) m_out.push_back(0);
    m_layout.offAccess = m_out.size();
    const size_t cb = roads.size() * sizeof(vel::VelRoadAccess) + barriers.size() * sizeof(vel::VelNodeBarrier);
    m_out.resize(m_out.size() + cb);
    uint8_t* p = m_out.data() + m_layout.offAccess;
    if (!roads.empty()) std::memcpy(p, roads.data(), roads.size() * sizeof(vel::VelRoadAccess));
    p += roads.size() * sizeof(vel::VelRoadAccess);
    if (!barriers.empty()) std::memcpy(p, barriers.data(), barriers.size() * sizeof(vel::VelNodeBarrier));
    m_cAccessRoads = uint32_t(roads.size());
    m_cBarriers = uint32_t(barriers.size());
    m_stats.cAccessRoads = m_cAccessRoads;
    m_stats.cBarriers = m_cBarriers;
  }

  // The border key table: the graph nodes where the map meets its
  // neighbours, sorted by key, then node. Extended layout only.
  void WriteBorderKeys() {
    m_layout.offBorderKeys = 0;
    m_cBorderKeys = 0;
    if (!m_cNodes || !m_opt.fExtended) return;
    std::vector<vel::VelBorderKey> keys;
    keys.reserve(m_opt.borderKeys.size());
    for (const VelBorderKeyInput& k : m_opt.borderKeys)
      if (k.nNode < m_opt.dwNodeCount && k.qwKey) keys.push_back(vel::VelBorderKey{k.nNode, k.qwKey});
    std::sort(keys.begin(), keys.end(), [](const vel::VelBorderKey& a, const vel::VelBorderKey& b) {
      return a.qwKey != b.qwKey ? a.qwKey < b.qwKey : a.nNode < b.nNode;
    });
    keys.erase(std::unique(keys.begin(), keys.end(),
                           [](const vel::VelBorderKey& a, const vel::VelBorderKey& b) {
                             return a.qwKey == b.qwKey && a.nNode == b.nNode;
                           }),
               keys.end());
    if (keys.empty()) return;
    while (m_out.size() % 4) m_out.push_back(0);
    m_layout.offBorderKeys = m_out.size();
    m_out.resize(m_out.size() + keys.size() * sizeof(vel::VelBorderKey));
    std::memcpy(m_out.data() + m_layout.offBorderKeys, keys.data(), keys.size() * sizeof(vel::VelBorderKey));
    m_cBorderKeys = uint32_t(keys.size());
    m_stats.cBorderKeys = m_cBorderKeys;
  }

  bool CheckFileSize() {
    if (m_out.size() < c_cbMinFile) m_out.resize(c_cbMinFile, 0);
    if (m_out.size() > 0xFFFFFFFFu) return Fail("the map is larger than 4 GiB");
    return true;
  }

  // Bounds of the finest level's objects, in map units.
  void FinestBounds(const std::vector<VelObject>& objects) {
    bool fAny = false;
    int64_t l = 0, t = 0, r = 0, b = 0;
    for (const VelObject& obj : objects)
      for (const MapPoint& p : obj.points) {
        if (!fAny) l = r = p.x, t = b = p.y, fAny = true;
        l = std::min<int64_t>(l, p.x), r = std::max<int64_t>(r, p.x);
        t = std::min<int64_t>(t, p.y), b = std::max<int64_t>(b, p.y);
      }
    if (m_opt.fClipBounds && fAny) {  // a tile of a collection: its own part
      l = std::max<int64_t>(l, m_opt.rectClipBounds.left), r = std::min<int64_t>(r, m_opt.rectClipBounds.right);
      t = std::max<int64_t>(t, m_opt.rectClipBounds.top), b = std::min<int64_t>(b, m_opt.rectClipBounds.bottom);
      if (r < l) r = l;
      if (b < t) b = t;
    }
    m_nLeft = l, m_nTop = t, m_nRight = r, m_nBottom = b;
  }

  // The header, in the extended or the legacy layout, at the file's start.
  void WriteHeader() {
    VelExtHeader hdr;
    std::memset(&hdr, 0, sizeof hdr);
    std::memcpy(hdr.main.achMagic, c_achMagic, 4);
    hdr.main.dwVersion = c_dwMaxVersion;
    hdr.main.dwFileSize = uint32_t(m_out.size());
    hdr.main.nLeft2 = ToHeaderUnits(m_nLeft);
    hdr.main.nTop2 = ToHeaderUnits(m_nTop);
    hdr.main.nRight2 = ToHeaderUnits(m_nRight);
    hdr.main.nBottom2 = ToHeaderUnits(m_nBottom);
    hdr.main.wScaleFirst = m_opt.wScaleFirst;
    hdr.main.wScaleLast = m_opt.wScaleLast;
    hdr.main.wYear = m_opt.wYear;
    hdr.main.btMonth = m_opt.btMonth;
    hdr.main.btDay = m_opt.btDay;
    for (size_t i = 0; i < 32 && i < m_opt.strName.size(); ++i) hdr.main.szName[i] = m_opt.strName[i];
    for (size_t i = 0; i < 64 && i < m_opt.strNotice.size(); ++i) hdr.main.szNotice[i] = m_opt.strNotice[i];
    // A map with cities offers them to the merged city list of a collection
    // its folder is indexed as.
    const bool fCitiesMerged = m_layout.offCityIndex != 0 && !m_opt.index.cities.empty();
    hdr.main.dwFlags = (m_opt.fExtended ? c_fExtendedHeader : 0) |
                       (m_fAddresses && m_opt.fExtraAddressBit ? c_fExtraAddressBit : 0) |
                       (fCitiesMerged ? c_fCitiesMerged : 0);
    hdr.dwLevelTableOffset = uint32_t(m_layout.offLevels);
    hdr.dwScales = uint32_t(m_work.size());
    hdr.dwLabelAreaOffset = uint32_t(m_layout.offLabels);
    hdr.dwLabelRefBits = m_cRefBits;
    hdr.nXBias = c_nBias;
    hdr.nYBias = c_nBias;
    for (size_t i = 0; i < 8 && i < m_opt.strTypeSet.size(); ++i) hdr.achTypeSet[i] = m_opt.strTypeSet[i];
    hdr.dwHuffmanOffset = uint32_t(m_layout.offHuffman);
    hdr.dwHuffmanLength = uint32_t(m_layout.cbHuffman);
    if (m_layout.offCityIndex)
      hdr.dwCityIndexOffset = uint32_t(m_layout.offCityIndex);
    else
      hdr.dwCityIndexOffset =
          m_fAddresses ? (m_opt.dwCityIndexOffset ? m_opt.dwCityIndexOffset : uint32_t(m_layout.offHuffman)) : 0;
    hdr.dwObjectIndexOffset = uint32_t(m_layout.offObjectIndex);
    hdr.dwLocale = m_opt.dwLocale;
    hdr.dwLabelFlags = m_opt.dwLabelFlags;
    hdr.dwNodeCount = m_cNodes;
    hdr.dwTurnCount = m_cTurns;
    hdr.dwTurnTableOffset = m_cTurns ? uint32_t(m_layout.offTurns) : 0;
    hdr.dwRoadRefBits = m_cRoadRefBits;
    hdr.dwAccessTableOffset = uint32_t(m_layout.offAccess);
    hdr.dwAccessRoadCount = m_cAccessRoads;
    hdr.dwBarrierCount = m_cBarriers;
    hdr.dwBorderKeyOffset = uint32_t(m_layout.offBorderKeys);
    hdr.dwBorderKeyCount = m_cBorderKeys;
    if (m_opt.fExtended) {
      std::memcpy(m_out.data(), &hdr, sizeof hdr);
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
      lh.dwObjectIndexOffset = hdr.dwObjectIndexOffset;
      lh.dwLabelFlags = hdr.dwLabelFlags;
      lh.dwNodeCount = hdr.dwNodeCount;
      lh.dwTurnCount = hdr.dwTurnCount;
      lh.dwTurnTableOffset = hdr.dwTurnTableOffset;
      lh.dwRoadRefBits = hdr.dwRoadRefBits;
      std::memcpy(m_out.data(), &lh, sizeof lh);
    }
    PutLe32(m_out, 8, uint32_t(m_out.size()));
  }

  const VelWriterOptions& m_opt;
  const std::vector<VelLevelInput>& m_levels;
  std::vector<uint8_t>& m_out;
  std::string& m_strError;
  std::vector<VelLevelInput>* m_pConsumed;
  VelWriterStats m_stats;
  int64_t m_nLeft = 0, m_nTop = 0, m_nRight = 0, m_nBottom = 0;  // the finest level's bounds, map units

  std::vector<LevelWork> m_work;
  std::map<std::u16string, LabelInfo> m_labels;
  LabelTables m_labelTables;
  std::vector<uint8_t> m_sharedArea;
  uint32_t m_cRefBits = 0;
  ObjectTables m_tables;
  uint32_t m_cNodeBits = 0;
  uint32_t m_cNodes = 0;        // road graph nodes, with those added at cuts
  uint32_t m_cTurns = 0;
  uint32_t m_cAccessRoads = 0;
  uint32_t m_cBarriers = 0;
  uint32_t m_cBorderKeys = 0;
  uint32_t m_cRoadRefBits = 0;
  std::multimap<uint32_t, size_t> m_pieces;  // finest level: object -> its records
  FileLayout m_layout;
  bool m_fAddresses = false;
  bool m_afFixedAddress[4] = {false, false, false, false};
  // The index order: position of each input city and list item when sorted.
  std::vector<uint32_t> m_cityOrder;           // sorted position -> input city
  std::vector<uint32_t> m_cityNew;             // input city -> sorted position
  std::vector<uint32_t> m_listOrder[3], m_listNew[3];
  std::vector<size_t> m_cityPlace;             // input city -> finest level item of its place, or SIZE_MAX
  bool m_fAnyPlace = false;
};

}  // namespace

int CompareIndexNames(const std::u16string& a, const std::u16string& b) {
  return CompareNamesNoCase(0, a.data(), a.size(), b.data(), b.size());
}

std::u16string CityDisplayName(const std::u16string& strCity, const std::u16string& strRegion,
                               const std::u16string& strCountry) {
  std::u16string str = strCity.substr(0, 63);
  for (const std::u16string* p : {&strRegion, &strCountry}) {
    size_t iBar = p->find(u'|');
    std::u16string strPart = iBar == std::u16string::npos ? *p : p->substr(iBar + 1);
    if (!strPart.empty()) str += u", " + strPart;
  }
  return str.substr(0, 63);
}

int32_t ToLevelUnits(int32_t n, unsigned nShift) {
  if (nShift == 0) return n;
  int64_t v = (int64_t(n) + (int64_t(1) << (nShift - 1))) >> nShift;
  return int32_t(v);
}

bool WriteVelMap(const VelWriterOptions& opt, const std::vector<VelLevelInput>& levels, std::vector<uint8_t>& out,
                 std::string& strError, VelWriterStats* pStats) {
  CVelMapWriter writer(opt, levels, out, strError);
  const bool fDone = writer.Write();
  if (pStats) *pStats = writer.Stats();
  return fDone;
}

bool WriteVelMapConsuming(const VelWriterOptions& opt, std::vector<VelLevelInput>& levels, std::vector<uint8_t>& out,
                          std::string& strError, VelWriterStats* pStats) {
  CVelMapWriter writer(opt, levels, out, strError, &levels);
  const bool fDone = writer.Write();
  if (pStats) *pStats = writer.Stats();
  return fDone;
}

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
#if __GLIBC_PREREQ(2, 33)
  // malloc_trim gives the pages of every free block of every arena back,
  // one system call each, and the next level or tile takes most of them
  // again at once: it is worth it only once 64 MB more lies free than after
  // the last time (the free blocks stay free blocks without their pages).
  static std::atomic<size_t> s_cbFreeAfterTrim{0};
  const size_t c_cbMoreFree = size_t(64) << 20;
  const size_t cbFree = mallinfo2().fordblks, cbAfterTrim = s_cbFreeAfterTrim.load(std::memory_order_relaxed);
  if (cbFree < cbAfterTrim + c_cbMoreFree) {
    if (cbFree < cbAfterTrim) s_cbFreeAfterTrim.store(cbFree, std::memory_order_relaxed);  // taken again
    return;
  }
  malloc_trim(0);
  s_cbFreeAfterTrim.store(mallinfo2().fordblks, std::memory_order_relaxed);
#else
  malloc_trim(0);
#endif
#endif
}
