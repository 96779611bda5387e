// Shared driver of the receiver fuzzers: the first byte picks how the rest
// is cut into reads; quiet moments are fed in between.
#pragma once
#include <cstddef>
#include <cstdint>

#include "gps/GpsProtocol.h"
#include "gps/Positioning.h"

inline void FeedProtocol(GpsProtocol& protocol, const uint8_t* pb, size_t cb) {
  GetPositionHub().AllowClockCorrection(false);
  protocol.Reset();
  if (cb == 0) return;
  size_t cbChunk = size_t(pb[0] % 64) + 1;
  bool fQuiet = (pb[0] & 0x40) != 0;
  ++pb;
  --cb;
  size_t off = 0;
  while (off < cb) {
    size_t n = cb - off < cbChunk ? cb - off : cbChunk;
    if (protocol.ProcessData(pb + off, DWORD(n)) == Failed) protocol.Reset();
    if (fQuiet) protocol.ProcessData(nullptr, 0);
    off += n;
  }
}
