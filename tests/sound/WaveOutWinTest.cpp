// The wave-out device under the real API: a buffer written to the device
// comes back as MM_WOM_DONE to the window with the device's handle, or the
// device reports why it cannot play (a machine without sound).
#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>

#include <vector>

#include "platform/WaveOut.h"
#include "sound/Riff.h"
#include "tests/sound/WaveTestUtil.h"

namespace {

TEST(WaveOutWinTest, ABufferEndsWithDoneToTheWindow) {
  HWND hwnd = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  std::vector<uint8_t> file = wavetest::SimpleWave(2205 * 2);  // 0.1 s
  WaveData w;
  ASSERT_EQ(ParseWave(file.data(), file.size(), w), wprOk);
  platform::CWaveOut out;
  uint32_t dw = out.Start(&w.format, w.pSamples, w.cbSamples, hwnd);
  if (dw != 0) {
    // No device: the code is the device's, and nothing stays open.
    EXPECT_FALSE(out.IsOpen());
    EXPECT_TRUE(dw == MMSYSERR_BADDEVICEID || dw == MMSYSERR_NODRIVER || dw == MMSYSERR_ALLOCATED ||
                dw == MMSYSERR_ERROR || dw == WAVERR_BADFORMAT)
        << dw;
    ::DestroyWindow(hwnd);
    GTEST_SKIP() << "no wave-out device here (" << dw << ")";
  }
  ASSERT_TRUE(out.IsOpen());
  bool fDone = false;
  DWORD dwStart = ::GetTickCount();
  MSG msg;
  while (!fDone && ::GetTickCount() - dwStart < 10000) {
    if (::PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) {
      if (msg.message == MM_WOM_DONE) {
        EXPECT_TRUE(out.IsDevice(uintptr_t(msg.wParam)));
        EXPECT_EQ(reinterpret_cast<WAVEHDR*>(msg.lParam)->lpData, reinterpret_cast<LPCSTR>(w.pSamples))
            << "played from the caller's memory";
        fDone = true;
      }
    } else {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
  }
  EXPECT_TRUE(fDone) << "MM_WOM_DONE within 10 s of a 0.1 s buffer";
  out.Stop();
  EXPECT_FALSE(out.IsOpen());
  ::DestroyWindow(hwnd);
}

TEST(WaveOutWinTest, StoppingEarlyClosesTheDevice) {
  HWND hwnd = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  std::vector<uint8_t> file = wavetest::SimpleWave(22050 * 2 * 5);  // 5 s
  WaveData w;
  ASSERT_EQ(ParseWave(file.data(), file.size(), w), wprOk);
  platform::CWaveOut out;
  if (out.Start(&w.format, w.pSamples, w.cbSamples, hwnd) != 0) {
    ::DestroyWindow(hwnd);
    GTEST_SKIP() << "no wave-out device here";
  }
  uintptr_t hOld = 0;
  for (uintptr_t h = 1; h < 0x100000 && !hOld; ++h)
    if (out.IsDevice(h)) hOld = h;
  out.Stop();
  EXPECT_FALSE(out.IsOpen());
  EXPECT_FALSE(hOld && out.IsDevice(hOld)) << "a late done message of the stopped device is not the current one's";
  ::DestroyWindow(hwnd);
}

}  // namespace
