// The coordinate bit stream of IMG polygons and polylines: per-axis sign
// mode, base widths from the information byte, deltas scaled by the group's
// shift, and the escape of large deltas.
#pragma once
#include <cstddef>
#include <cstdint>

#include "view/MapUnits.h"

namespace img {

// The largest stream a record can describe and the points one decode keeps.
const size_t c_cbMaxStream = 65535;
const size_t c_cMaxPoints = 256;

struct CoordStreamInput {
  const uint8_t* pBytes;
  size_t cBytes;        // at most c_cbMaxStream
  uint32_t nShift;      // 24 - level bits
  uint8_t btInfo;       // base widths: x in the low nibble, y in the high one
  bool fExtraBit;       // each point carries one extra bit
  int32_t x0;           // the first point, 24-bit units
  int32_t y0;
};

// What a decode found besides the points.
struct CoordStreamResult {
  size_t cPoints;       // points stored, the first one included
  size_t cEncoded;      // points the stream holds (also those past the buffer)
  size_t cSpareBits;    // bits left over at the end
  bool fDamaged;        // a delta did not fit 24 bits, or an escape ran off the end
};

// Decodes into pOut (24-bit units) at most cCapacity points. The stream is
// read only inside its cBytes.
CoordStreamResult DecodeCoordStream(const CoordStreamInput& in, MapPoint* pOut, size_t cCapacity);

}  // namespace img
