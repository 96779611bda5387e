#include "map/img/CoordStream.h"

#include <initializer_list>

namespace img {

namespace {

// Bits least significant first, never past the end.
class CBitReader {
 public:
  CBitReader(const uint8_t* p, size_t cBytes) : m_p(p), m_cBits(cBytes * 8), m_nPos(0) {}
  size_t Remaining() const { return m_cBits - m_nPos; }
  // Caller checks Remaining() >= cBits (cBits <= 24).
  uint32_t Read(uint32_t cBits) {
    const size_t iByte = m_nPos >> 3;
    const size_t cBytes = m_cBits >> 3;
    uint32_t w = 0;
    for (size_t k = 0; k < 4 && iByte + k < cBytes; ++k) w |= uint32_t(m_p[iByte + k]) << (8 * k);
    const uint32_t v = (w >> (m_nPos & 7)) & ((1u << cBits) - 1);
    m_nPos += cBits;
    return v;
  }

 private:
  const uint8_t* m_p;
  size_t m_cBits;
  size_t m_nPos;
};

// How one axis codes its deltas.
struct AxisCoding {
  bool fSharedSign;
  bool fNegative;
  uint32_t cWidth;
  uint32_t lSpecial;  // 2^(width - 1) for deltas with their own sign
};

uint32_t BaseWidth(uint32_t nBase) { return nBase >= 10 ? 2 * nBase - 9 : nBase; }

// Reads one delta; false when the stream ended inside it.
bool ReadDelta(CBitReader& bits, const AxisCoding& axis, int64_t& lDelta) {
  if (bits.Remaining() < axis.cWidth) return false;
  uint32_t v = bits.Read(axis.cWidth);
  if (axis.fSharedSign) {
    lDelta = axis.fNegative ? -int64_t(v) : int64_t(v);
    return true;
  }
  int64_t lAccum = 0;
  while (v == axis.lSpecial) {
    lAccum += int64_t(axis.lSpecial) - 1;
    if (bits.Remaining() < axis.cWidth) return false;
    v = bits.Read(axis.cWidth);
  }
  if (v > axis.lSpecial) lDelta = int64_t(v) - 2 * int64_t(axis.lSpecial) - lAccum;
  else lDelta = lAccum + v;
  return true;
}

// The delta scaled to 24-bit units; false when it does not fit 24 bits.
bool ScaleDelta(int64_t lDelta, uint32_t nShift, int32_t& lOut) {
  if (lDelta > 0xFFFFFF || lDelta < -0xFFFFFF || nShift > 24) return false;
  int64_t l = lDelta * (int64_t(1) << nShift);
  int64_t lAbs = l < 0 ? -l : l;
  if ((lAbs & ~int64_t(0xFFFFFF)) != 0) return false;
  if (l >= 0x800000) l -= 0x1000000;
  lOut = int32_t(l);
  return true;
}

}  // namespace

CoordStreamResult DecodeCoordStream(const CoordStreamInput& in, MapPoint* pOut, size_t cCapacity) {
  CoordStreamResult res = {0, 0, 0, false};
  size_t cBytes = in.cBytes > c_cbMaxStream ? c_cbMaxStream : in.cBytes;
  if (!pOut || cCapacity == 0) return res;
  int32_t x = in.x0, y = in.y0;
  pOut[0] = MapPoint{x, y};
  res.cPoints = res.cEncoded = 1;
  CBitReader bits(in.pBytes, in.pBytes ? cBytes : 0);

  AxisCoding ax = {}, ay = {};
  for (AxisCoding* pAxis : {&ax, &ay}) {
    if (bits.Remaining() < 1) {
      res.cSpareBits = bits.Remaining();
      return res;
    }
    pAxis->fSharedSign = bits.Read(1) != 0;
    if (pAxis->fSharedSign) {
      if (bits.Remaining() < 1) return res;
      pAxis->fNegative = bits.Read(1) != 0;
    }
  }
  ax.cWidth = BaseWidth(in.btInfo & 0x0F) + 2 + (ax.fSharedSign ? 0 : 1);
  ay.cWidth = BaseWidth(in.btInfo >> 4) + 2 + (ay.fSharedSign ? 0 : 1);
  ax.lSpecial = 1u << (ax.cWidth - 1);
  ay.lSpecial = 1u << (ay.cWidth - 1);
  const size_t cPointBits = size_t(ax.cWidth) + ay.cWidth + (in.fExtraBit ? 1 : 0);

  while (bits.Remaining() >= cPointBits) {
    if (in.fExtraBit) bits.Read(1);
    int64_t lDX = 0, lDY = 0;
    if (!ReadDelta(bits, ax, lDX) || !ReadDelta(bits, ay, lDY)) {
      res.fDamaged = true;
      break;
    }
    int32_t lX = 0, lY = 0;
    if (!ScaleDelta(lDX, in.nShift, lX) || !ScaleDelta(lDY, in.nShift, lY)) {
      res.fDamaged = true;
      break;
    }
    // Coordinates wrap like the 32-bit values they are.
    x = int32_t(uint32_t(x) + uint32_t(lX));
    y = int32_t(uint32_t(y) + uint32_t(lY));
    ++res.cEncoded;
    if (res.cPoints < cCapacity) pOut[res.cPoints++] = MapPoint{x, y};
  }
  res.cSpareBits = bits.Remaining();
  return res;
}

}  // namespace img
