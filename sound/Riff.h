// The RIFF wave file reader of the voice prompts: finds the format and the
// sample data of a wave file in place (nothing is copied).
#pragma once
#include <cstddef>
#include <cstdint>

// The wave format as the wave-out device takes it (WAVEFORMATEX).
#pragma pack(push, 1)
struct WaveFormat {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "WAVEFORMATEX is 18 bytes");
static_assert(offsetof(WaveFormat, nSamplesPerSec) == 4 && offsetof(WaveFormat, nBlockAlign) == 12 &&
                  offsetof(WaveFormat, cbSize) == 16,
              "WAVEFORMATEX layout");

struct WaveData {
  WaveFormat format;          // copied from the "fmt " chunk (cbSize 0 for a 16-byte chunk)
  const uint8_t* pFormat;     // the "fmt " chunk's bytes in the file
  uint32_t cbFormat;
  const uint8_t* pSamples;    // the "data" chunk's bytes in the file
  uint32_t cbSamples;         // whole sample frames only
};

enum WaveParseResult {
  wprOk,
  wprNotRiff,      // no "RIFF" ... "WAVE" header
  wprNoFormat,     // no usable "fmt " chunk before the end
  wprNoData,       // no "data" chunk before the end
};

// Walks the chunks from offset 12 while the offset is below the RIFF size
// field and within the bytes given; each chunk is an identifier, a 32-bit
// little-endian size and its bytes. The next chunk starts size + 8 bytes
// later; after a chunk of odd size a zero pad byte is skipped (identifiers
// never start with a zero byte). A "data" chunk that claims more than the
// file holds is cut to the bytes present; a "fmt " chunk must be whole and
// at least 16 bytes with a non-zero block alignment.
WaveParseResult ParseWave(const uint8_t* pb, size_t cb, WaveData& out);
