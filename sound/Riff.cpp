#include "sound/Riff.h"

#include <cstring>

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

WaveParseResult ParseWave(const uint8_t* pb, size_t cb, WaveData& out) {
  out = WaveData{};
  if (!pb || cb < 12 || std::memcmp(pb, "RIFF", 4) != 0 || std::memcmp(pb + 8, "WAVE", 4) != 0) return wprNotRiff;
  const uint64_t cbRiff = Le32(pb + 4);
  const uint64_t cbLimit = cbRiff < cb ? cbRiff : cb;
  bool fFormat = false, fData = false;
  uint64_t off = 12;
  while (off < cbLimit && off + 8 <= cb && !(fFormat && fData)) {
    const uint8_t* pChunk = pb + off;
    const uint32_t cbChunk = Le32(pChunk + 4);
    const uint64_t cbPresent = cb - (off + 8);
    if (std::memcmp(pChunk, "fmt ", 4) == 0 && !fFormat) {
      if (cbChunk >= 16 && cbChunk <= cbPresent) {
        const uint8_t* p = pChunk + 8;
        WaveFormat& f = out.format;
        f.wFormatTag = Le16(p);
        f.nChannels = Le16(p + 2);
        f.nSamplesPerSec = Le32(p + 4);
        f.nAvgBytesPerSec = Le32(p + 8);
        f.nBlockAlign = Le16(p + 12);
        f.wBitsPerSample = Le16(p + 14);
        f.cbSize = cbChunk >= 18 ? Le16(p + 16) : 0;
        // Extra format bytes must be inside the chunk.
        if (cbChunk < 18 || uint32_t(f.cbSize) + 18 > cbChunk) f.cbSize = 0;
        if (f.nBlockAlign != 0) {
          out.pFormat = p;
          out.cbFormat = cbChunk;
          fFormat = true;
        }
      }
    } else if (std::memcmp(pChunk, "data", 4) == 0 && !fData) {
      out.pSamples = pChunk + 8;
      out.cbSamples = uint32_t(cbChunk <= cbPresent ? cbChunk : cbPresent);
      fData = true;
    }
    uint64_t next = off + 8 + uint64_t(cbChunk);
    if ((cbChunk & 1) && next < cb && pb[next] == 0) ++next;
    off = next;
  }
  if (!fFormat) return wprNoFormat;
  if (!fData) return wprNoData;
  out.cbSamples -= out.cbSamples % out.format.nBlockAlign;
  return wprOk;
}
