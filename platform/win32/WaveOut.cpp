#include "platform/WaveOut.h"

#include "platform/Str.h"
#include "platform/win32/Win32.h"

#include <mmsystem.h>

namespace platform {

static_assert(sizeof(WAVEHDR) <= 64, "the header fits its room");

std::u16string WaveOutErrorText(uint32_t dwResult) {
  wchar_t sz[MAXERRORLENGTH + 1] = {};
  if (::waveOutGetErrorTextW(MMRESULT(dwResult), sz, MAXERRORLENGTH) != MMSYSERR_NOERROR || !sz[0])
    return FormatStr(u"error %u", unsigned(dwResult));
  return U(sz);
}

uint32_t CWaveOut::Start(const void* pFormat, const uint8_t* pData, uint32_t cb, void* hwndNotify) {
  Stop();
  HWAVEOUT h = nullptr;
  MMRESULT mr = ::waveOutOpen(&h, WAVE_MAPPER, static_cast<const WAVEFORMATEX*>(pFormat),
                              reinterpret_cast<DWORD_PTR>(hwndNotify), 0, CALLBACK_WINDOW);
  if (mr != MMSYSERR_NOERROR) return mr ? mr : 1;
  m_hWaveOut = h;
  WAVEHDR* pHdr = reinterpret_cast<WAVEHDR*>(m_abHeader);
  *pHdr = WAVEHDR{};
  pHdr->lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(pData));
  pHdr->dwBufferLength = cb;
  mr = ::waveOutPrepareHeader(h, pHdr, sizeof(WAVEHDR));
  if (mr == MMSYSERR_NOERROR) {
    m_fPrepared = true;
    mr = ::waveOutWrite(h, pHdr, sizeof(WAVEHDR));
  }
  if (mr != MMSYSERR_NOERROR) {
    Stop();
    return mr;
  }
  return 0;
}

void CWaveOut::Stop() {
  if (!m_hWaveOut) return;
  HWAVEOUT h = static_cast<HWAVEOUT>(m_hWaveOut);
  WAVEHDR* pHdr = reinterpret_cast<WAVEHDR*>(m_abHeader);
  if (m_fPrepared && !(pHdr->dwFlags & WHDR_DONE)) ::waveOutReset(h);
  if (m_fPrepared) ::waveOutUnprepareHeader(h, pHdr, sizeof(WAVEHDR));
  m_fPrepared = false;
  ::waveOutClose(h);
  m_hWaveOut = nullptr;
}

}  // namespace platform
