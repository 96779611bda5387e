// The wave reader on any bytes: whatever it returns lies inside the input,
// and what it reports as samples can be read whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sound/Riff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  WaveData w;
  if (ParseWave(pb, cb, w) != wprOk) return 0;
  if (w.pSamples < pb || w.pSamples + w.cbSamples > pb + cb) std::abort();
  if (w.pFormat < pb || w.pFormat + w.cbFormat > pb + cb || w.cbFormat < 16) std::abort();
  if (w.format.nBlockAlign == 0 || w.cbSamples % w.format.nBlockAlign != 0) std::abort();
  volatile uint32_t sum = 0;
  for (uint32_t i = 0; i < w.cbSamples; ++i) sum += w.pSamples[i];
  return 0;
}
