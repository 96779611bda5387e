// Builds small IMG files for the tests and the fuzzer seeds: a container
// with its file table, TRE with levels and groups, RGN sections with
// encoded coordinate streams, LBL labels (six-bit or bytes) with POI
// properties, and NET road records.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace imgtest {

// Bits least significant first.
class CBitWriter {
 public:
  void Put(uint32_t v, uint32_t cBits) {
    for (uint32_t i = 0; i < cBits; ++i, ++m_cBits) {
      if ((m_cBits & 7) == 0) m_bytes.push_back(0);
      if ((v >> i) & 1) m_bytes.back() |= uint8_t(1u << (m_cBits & 7));
    }
  }
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }
  size_t BitCount() const { return m_cBits; }

 private:
  std::vector<uint8_t> m_bytes;
  size_t m_cBits = 0;
};

// Width nibble for a base width b: b itself up to 9, above that the
// smallest n with 2n - 9 >= b.
inline uint8_t WidthNibble(uint32_t b, uint32_t& bReal) {
  if (b <= 9) {
    bReal = b;
    return uint8_t(b);
  }
  uint32_t n = (b + 9 + 1) / 2;
  if (n > 15) n = 15;
  bReal = 2 * n - 9;
  return uint8_t(n);
}

// Encodes deltas (level units) as a coordinate stream; sets the
// information byte. Shared signs are used when all deltas of an axis have
// one sign.
inline std::vector<uint8_t> EncodeStream(const std::vector<std::pair<int32_t, int32_t>>& deltas, uint8_t& btInfo,
                                         bool fExtraBit) {
  CBitWriter w;
  bool afShared[2], afNeg[2];
  uint32_t acWidth[2], acFinal[2];
  for (int axis = 0; axis < 2; ++axis) {
    bool fPos = false, fNegative = false;
    int64_t lMax = 0;
    for (auto& d : deltas) {
      int32_t v = axis == 0 ? d.first : d.second;
      if (v > 0) fPos = true;
      if (v < 0) fNegative = true;
      if (std::llabs(v) > lMax) lMax = std::llabs(v);
    }
    afShared[axis] = !(fPos && fNegative);
    afNeg[axis] = fNegative;
    uint32_t cNeed = 0;
    while ((int64_t(1) << cNeed) <= lMax) ++cNeed;  // bits of the magnitude
    if (!afShared[axis]) ++cNeed;                   // own sign: |v| < 2^(w-1)
    acWidth[axis] = cNeed;
  }
  // Widths, made larger where the spare bits at the end would read as one
  // more point.
  for (uint32_t cBump = 0;; ++cBump) {
    for (int axis = 0; axis < 2; ++axis) {
      uint32_t cSign = afShared[axis] ? 0 : 1;
      uint32_t cNeed = acWidth[axis] + (axis == 0 ? cBump : 0);
      uint32_t b = cNeed > 2 + cSign ? cNeed - 2 - cSign : 0;
      uint32_t bReal = 0;
      uint8_t n = WidthNibble(b, bReal);
      btInfo = axis == 0 ? n : uint8_t(btInfo | n << 4);
      acFinal[axis] = bReal + 2 + cSign;
    }
    size_t cSignBits = (afShared[0] ? 2 : 1) + (afShared[1] ? 2 : 1);
    size_t cPointBits = acFinal[0] + acFinal[1] + (fExtraBit ? 1 : 0);
    size_t cTotal = cSignBits + deltas.size() * cPointBits;
    size_t cSpare = (8 - cTotal % 8) % 8;
    if (cSpare < cPointBits) break;
  }
  acWidth[0] = acFinal[0];
  acWidth[1] = acFinal[1];
  for (int axis = 0; axis < 2; ++axis) {
    w.Put(afShared[axis] ? 1 : 0, 1);
    if (afShared[axis]) w.Put(afNeg[axis] ? 1 : 0, 1);
  }
  for (auto& d : deltas) {
    if (fExtraBit) w.Put(0, 1);
    for (int axis = 0; axis < 2; ++axis) {
      int32_t v = axis == 0 ? d.first : d.second;
      uint32_t cW = acWidth[axis];
      if (afShared[axis]) w.Put(uint32_t(std::abs(v)), cW);
      else w.Put(v >= 0 ? uint32_t(v) : uint32_t(v + (int64_t(1) << cW)), cW);
    }
  }
  return w.Bytes();
}

inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void Put24(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v);
  b.push_back(uint8_t(v >> 16));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v);
  Put16(b, v >> 16);
}
inline void Set16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
inline void Set24(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Set16(b, at, v);
  b[at + 2] = uint8_t(v >> 16);
}
inline void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Set16(b, at, v);
  Set16(b, at + 2, v >> 16);
}

struct TestPoly {
  uint8_t btType = 0;
  int16_t dx0 = 0, dy0 = 0;                         // first point, level units from the centre
  std::vector<std::pair<int32_t, int32_t>> deltas;  // further points, level units
  uint32_t dwLabel = 0;                             // LBL offset (shifted), or NET road index
  bool fNetLabel = false;
  bool fDirection = false;
  bool fExtraBit = false;
  bool fLongLength = false;                         // force the 16-bit stream length
};

struct TestPoint {
  uint8_t btType = 0;
  int nSubtype = -1;  // -1: none
  int16_t dx = 0, dy = 0;
  uint32_t dwLabel = 0;
  bool fPoiProps = false;
};

struct TestGroup {
  int32_t x = 0, y = 0;  // centre, 24-bit units
  uint16_t wHalfWidth = 0x100;
  int16_t nHalfHeight = 0x100;
  std::vector<TestPoint> pois, points;
  std::vector<TestPoly> lines, areas;
};

struct TestLevel {
  uint8_t btZoom = 0;
  uint8_t btBits = 24;
  bool fInherited = false;
  std::vector<TestGroup> groups;
};

class CLabelBuilder {
 public:
  explicit CLabelBuilder(uint8_t btEncoding = 9, uint32_t nShift = 1) : m_btEncoding(btEncoding), m_nShift(nShift) {
    m_data.push_back(0);  // offset 0: the empty label
    Align();
  }
  // Raw six-bit codes; the end code is added.
  uint32_t AddSixBitCodes(std::vector<uint8_t> codes) {
    uint32_t off = Offset();
    codes.push_back(0x3F);
    while (codes.size() % 4) codes.push_back(0x3F);
    for (size_t i = 0; i < codes.size(); i += 4) {
      uint32_t dw = uint32_t(codes[i]) << 18 | uint32_t(codes[i + 1]) << 12 | uint32_t(codes[i + 2]) << 6 | codes[i + 3];
      m_data.push_back(uint8_t(dw >> 16));
      m_data.push_back(uint8_t(dw >> 8));
      m_data.push_back(uint8_t(dw));
    }
    Align();
    return off;
  }
  // Upper-case letters, digits and spaces as six-bit codes.
  uint32_t AddSixBitText(const std::string& str) {
    std::vector<uint8_t> codes;
    for (char ch : str) {
      if (ch == ' ') codes.push_back(0);
      else if (ch >= 'A' && ch <= 'Z') codes.push_back(uint8_t(ch - 'A' + 1));
      else if (ch >= '0' && ch <= '9') codes.push_back(uint8_t(ch - '0' + 0x20));
      else codes.push_back(0);
    }
    return AddSixBitCodes(codes);
  }
  uint32_t AddBytes(const std::string& str) {
    uint32_t off = Offset();
    m_data.insert(m_data.end(), str.begin(), str.end());
    m_data.push_back(0);
    Align();
    return off;
  }
  uint32_t Add(const std::string& str) { return m_btEncoding == 6 ? AddSixBitText(str) : AddBytes(str); }
  const std::vector<uint8_t>& Data() const { return m_data; }
  uint8_t Encoding() const { return m_btEncoding; }
  uint32_t Shift() const { return m_nShift; }

 private:
  uint32_t Offset() const { return uint32_t(m_data.size() >> m_nShift); }
  void Align() {
    while (m_data.size() % (1u << m_nShift)) m_data.push_back(0);
  }
  uint8_t m_btEncoding;
  uint32_t m_nShift;
  std::vector<uint8_t> m_data;
};

struct TestMap {
  std::string strName = "12345678";
  std::string strDescription = "Test map";
  uint8_t btMonth = 5, btYear = 24;
  int32_t nNorth = 0x10000, nEast = 0x10000, nSouth = -0x10000, nWest = -0x10000;
  std::vector<TestLevel> levels;
  CLabelBuilder labels;
  uint16_t wCodePage = 1252;
  std::vector<uint32_t> poiProps;   // label offsets, one 4-byte record each
  uint32_t nPoiPropsShift = 0;
  bool fNet = false;
  std::vector<uint32_t> netRoads;   // label offset of each road record (20 bytes each)
  uint32_t nNetShift = 0;
  std::vector<uint32_t> copyrights; // label offsets
};

// The 4-byte POI property record i lies at (i * 4) bytes; its offset for
// a given POI property shift.
inline uint32_t PoiPropsOffset(uint32_t i, uint32_t nShift) { return (i * 4) >> nShift; }
// The road record i (20 bytes each) for a NET shift.
inline uint32_t NetRoadOffset(uint32_t i, uint32_t nNetShift) { return (i * 20) >> nNetShift; }

inline std::vector<uint8_t> BuildRgnGroup(const TestGroup& g, bool fPrimaryAreas) {
  std::vector<std::vector<uint8_t>> sections(4);
  for (const TestPoint& p : g.pois) {
    std::vector<uint8_t>& s = sections[0];
    uint32_t dw = p.btType | (p.dwLabel & 0x3FFFFF) << 8 | (p.fPoiProps ? 0x40000000u : 0) |
                  (p.nSubtype >= 0 ? 0x80000000u : 0);
    Put32(s, dw);
    Put16(s, uint16_t(p.dx));
    Put16(s, uint16_t(p.dy));
    if (p.nSubtype >= 0) s.push_back(uint8_t(p.nSubtype));
  }
  for (const TestPoint& p : g.points) {
    std::vector<uint8_t>& s = sections[1];
    Put32(s, p.btType | (p.dwLabel & 0x3FFFFF) << 8);
    Put16(s, uint16_t(p.dx));
    Put16(s, uint16_t(p.dy));
  }
  for (int k = 0; k < 2; ++k) {
    const std::vector<TestPoly>& polys = k == 0 ? g.lines : g.areas;
    std::vector<uint8_t>& s = sections[2 + k];
    for (const TestPoly& p : polys) {
      uint8_t btInfo = 0;
      std::vector<uint8_t> stream = EncodeStream(p.deltas, btInfo, p.fExtraBit);
      bool fLong = p.fLongLength || stream.size() > 255;
      uint32_t dw = uint32_t(p.btType) | (p.fDirection ? 0x40u : 0) | (fLong ? 0x80u : 0) |
                    (p.dwLabel & 0x3FFFFF) << 8 | (p.fExtraBit ? 0x40000000u : 0) | (p.fNetLabel ? 0x80000000u : 0);
      Put32(s, dw);
      Put16(s, uint16_t(p.dx0));
      Put16(s, uint16_t(p.dy0));
      if (fLong) Put16(s, uint32_t(stream.size()));
      else s.push_back(uint8_t(stream.size()));
      s.push_back(btInfo);
      s.insert(s.end(), stream.begin(), stream.end());
    }
  }
  (void)fPrimaryAreas;
  std::vector<uint8_t> out;
  int cPresent = 0;
  for (auto& s : sections)
    if (!s.empty()) ++cPresent;
  size_t pos = cPresent > 0 ? size_t(cPresent - 1) * 2 : 0;
  bool fFirst = true;
  std::vector<uint8_t> pointers, body;
  for (auto& s : sections) {
    if (s.empty()) continue;
    if (!fFirst) Put16(pointers, uint32_t(pos));
    fFirst = false;
    body.insert(body.end(), s.begin(), s.end());
    pos += s.size();
  }
  out = pointers;
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline uint8_t GroupFlags(const TestGroup& g) {
  return uint8_t((g.pois.empty() ? 0 : 0x10) | (g.points.empty() ? 0 : 0x20) | (g.lines.empty() ? 0 : 0x40) |
                 (g.areas.empty() ? 0 : 0x80));
}

// Subfiles in the order of the file table.
struct TestSubfile {
  std::string strName;
  std::string strType;
  std::vector<uint8_t> data;
};

inline std::vector<uint8_t> BuildTre(const TestMap& m) {
  std::vector<uint8_t> t(0x74, 0);
  Set16(t, 0, 0x74);
  std::memcpy(&t[2], "GARMIN TRE", 10);
  Set24(t, 21, uint32_t(m.nNorth));
  Set24(t, 24, uint32_t(m.nEast));
  Set24(t, 27, uint32_t(m.nSouth));
  Set24(t, 30, uint32_t(m.nWest));
  // Levels.
  Set32(t, 33, uint32_t(t.size()));
  Set32(t, 37, uint32_t(m.levels.size() * 4));
  for (const TestLevel& lv : m.levels) {
    t.push_back(uint8_t(lv.btZoom | (lv.fInherited ? 0x80 : 0)));
    t.push_back(lv.btBits);
    Put16(t, uint32_t(lv.groups.size()));
  }
  // Groups; the RGN offsets are filled by BuildRgn's order (level order).
  Set32(t, 41, uint32_t(t.size()));
  size_t cbGroups0 = t.size();
  uint32_t dwRgn = 0;
  for (size_t l = 0; l < m.levels.size(); ++l) {
    bool fLast = l + 1 == m.levels.size();
    for (const TestGroup& g : m.levels[l].groups) {
      Put24(t, dwRgn);
      t.push_back(GroupFlags(g));
      Put24(t, uint32_t(g.x));
      Put24(t, uint32_t(g.y));
      Put16(t, g.wHalfWidth);
      Put16(t, uint16_t(g.nHalfHeight));
      if (!fLast) Put16(t, 0);
      dwRgn += uint32_t(BuildRgnGroup(g, true).size());
    }
  }
  Put32(t, dwRgn);
  Set32(t, 45, uint32_t(t.size() - cbGroups0));
  // Rights notices.
  Set32(t, 49, uint32_t(t.size()));
  for (uint32_t c : m.copyrights) Put24(t, c);
  Set32(t, 53, uint32_t(m.copyrights.size() * 3));
  Set16(t, 57, 3);
  return t;
}

inline std::vector<uint8_t> BuildRgn(const TestMap& m) {
  std::vector<uint8_t> r(0x1D, 0);
  Set16(r, 0, 0x1D);
  std::memcpy(&r[2], "GARMIN RGN", 10);
  std::vector<uint8_t> data;
  for (const TestLevel& lv : m.levels)
    for (const TestGroup& g : lv.groups) {
      std::vector<uint8_t> b = BuildRgnGroup(g, true);
      data.insert(data.end(), b.begin(), b.end());
    }
  Set32(r, 21, uint32_t(r.size()));
  Set32(r, 25, uint32_t(data.size()));
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

inline std::vector<uint8_t> BuildLbl(const TestMap& m) {
  std::vector<uint8_t> l(196, 0);
  Set16(l, 0, 196);
  std::memcpy(&l[2], "GARMIN LBL", 10);
  Set32(l, 21, uint32_t(l.size()));
  Set32(l, 25, uint32_t(m.labels.Data().size()));
  l[29] = uint8_t(m.labels.Shift());
  l[30] = m.labels.Encoding();
  Set16(l, 170, m.wCodePage);
  l.insert(l.end(), m.labels.Data().begin(), m.labels.Data().end());
  if (!m.poiProps.empty()) {
    Set32(l, 87, uint32_t(l.size()));
    Set32(l, 91, uint32_t(m.poiProps.size() * 4));
    l[95] = uint8_t(m.nPoiPropsShift);
    for (uint32_t off : m.poiProps) Put32(l, off);
  }
  return l;
}

inline std::vector<uint8_t> BuildNet(const TestMap& m) {
  std::vector<uint8_t> n(55, 0);
  Set16(n, 0, 55);
  std::memcpy(&n[2], "GARMIN NET", 10);
  Set32(n, 21, uint32_t(n.size()));
  Set32(n, 25, uint32_t(m.netRoads.size() * 20));
  n[29] = uint8_t(m.nNetShift);
  for (uint32_t off : m.netRoads) {
    Put32(n, off);  // label offset in the low 22 bits
    for (int i = 0; i < 16; ++i) n.push_back(0);
  }
  return n;
}

inline std::vector<TestSubfile> MapSubfiles(const TestMap& m) {
  std::vector<TestSubfile> v = {{m.strName, "RGN", BuildRgn(m)}, {m.strName, "TRE", BuildTre(m)},
                                {m.strName, "LBL", BuildLbl(m)}};
  if (m.fNet) v.push_back({m.strName, "NET", BuildNet(m)});
  return v;
}

// The container around subfiles, 512-byte blocks; key != 0 scrambles it.
inline std::vector<uint8_t> BuildContainer(const std::vector<TestSubfile>& files, const TestMap& m,
                                           uint8_t btKey = 0) {
  const uint32_t cbBlock = 512;
  uint32_t dwDataOffset = 0x600 + uint32_t(files.size()) * 512;
  dwDataOffset = (dwDataOffset + cbBlock - 1) / cbBlock * cbBlock;
  std::vector<uint8_t> img(dwDataOffset, 0);
  img[10] = m.btMonth;
  img[11] = m.btYear;
  std::memcpy(&img[16], "DSKIMG", 6);
  std::string strDesc = m.strDescription;
  strDesc.resize(20, ' ');
  std::memcpy(&img[73], strDesc.data(), 20);
  img[0x61] = 9;
  img[0x62] = 0;
  Set32(img, 0x40C, dwDataOffset);
  for (size_t i = 0; i < files.size(); ++i) {
    const TestSubfile& f = files[i];
    size_t at = 0x600 + i * 512;
    uint32_t nBlock = uint32_t(img.size() / cbBlock);
    img[at] = 1;
    std::string strName = f.strName;
    strName.resize(8, ' ');
    std::memcpy(&img[at + 1], strName.data(), 8);
    std::memcpy(&img[at + 9], f.strType.data(), 3);
    Set32(img, at + 12, uint32_t(f.data.size()));
    Set16(img, at + 32, nBlock);
    img.insert(img.end(), f.data.begin(), f.data.end());
    while (img.size() % cbBlock) img.push_back(0);
  }
  if (btKey)
    for (uint8_t& b : img) b ^= btKey;
  return img;
}

inline std::vector<uint8_t> BuildImg(const TestMap& m, uint8_t btKey = 0) {
  return BuildContainer(MapSubfiles(m), m, btKey);
}

}  // namespace imgtest
