#include "platform/WaveOut.h"

namespace platform {

// No sound device natively: MMSYSERR_NODRIVER.
uint32_t CWaveOut::Start(const void*, const uint8_t*, uint32_t, void*) { return 6; }

void CWaveOut::Stop() { m_hWaveOut = nullptr; }

}  // namespace platform
