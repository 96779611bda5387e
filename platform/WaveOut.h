// The wave-out device: plays one buffer of samples straight from the
// caller's memory and tells a window when it is done (MM_WOM_DONE with the
// device handle in wParam). Natively there is no device.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// The system's text for a wave-out result code ("error %u" without one).
std::u16string WaveOutErrorText(uint32_t dwResult);

class CWaveOut {
 public:
  CWaveOut() = default;
  ~CWaveOut() { Stop(); }
  CWaveOut(const CWaveOut&) = delete;
  CWaveOut& operator=(const CWaveOut&) = delete;

  // pFormat: the 18 bytes of a WAVEFORMATEX. Opens the default device for
  // the format, prepares one header over pData and writes it. 0 on success,
  // else the failing call's result code, and nothing is left open.
  uint32_t Start(const void* pFormat, const uint8_t* pData, uint32_t cb, void* hwndNotify);
  // Unprepares the header and closes the device (stopping it if it still
  // plays). Nothing when not open.
  void Stop();
  bool IsOpen() const { return m_hWaveOut != nullptr; }
  // Whether a done message's device handle is this device's.
  bool IsDevice(uintptr_t hDevice) const { return m_hWaveOut != nullptr && uintptr_t(m_hWaveOut) == hDevice; }

 private:
  void* m_hWaveOut = nullptr;
  alignas(8) unsigned char m_abHeader[64] = {};  // WAVEHDR
  bool m_fPrepared = false;
};

}  // namespace platform
