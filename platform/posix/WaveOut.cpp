#include "platform/WaveOut.h"

#include "platform/Str.h"

namespace platform {

// No sound device natively: MMSYSERR_NODRIVER.
uint32_t CWaveOut::Start(const void*, const uint8_t*, uint32_t, void*) { return 6; }

void CWaveOut::Stop() { m_hWaveOut = nullptr; }

std::u16string WaveOutErrorText(uint32_t dwResult) {
  return dwResult == 6 ? u"no sound driver" : FormatStr(u"error %u", unsigned(dwResult));
}

}  // namespace platform
