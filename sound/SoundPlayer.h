// Playback of the voice: one wave file at a time, mapped into memory and
// handed to the wave-out device in one buffer straight from the mapping;
// each finished file (the device's done message to the main window) starts
// the next sound of the play list or the next request of the queue.
// Main window's thread only.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileMapping.h"
#include "sound/Riff.h"
#include "sound/SoundQueue.h"

// The wave-out device: plays one buffer and reports its end through the
// program (MM_WOM_DONE to the main window, then CSoundPlayer::OnDone).
class CWaveDevice {
 public:
  virtual ~CWaveDevice() = default;
  // Opens the device for the format and writes the whole buffer; 0 on
  // success, else the device's result code (and nothing stays open).
  virtual uint32_t Start(const WaveFormat& format, const uint8_t* pSamples, uint32_t cbSamples) = 0;
  // After the buffer is done (or to stop early): unprepares and closes.
  virtual void Stop() = 0;
};

// The setting PlaySound_<name> (default on).
bool IsSoundSettingOn(const std::string& strName);

// What playback asks of the program: the settings, the files and the
// error boxes.
class CSoundHost {
 public:
  virtual ~CSoundHost() = default;
  // PlaySound_<name>: 0 silences the sound.
  virtual bool IsSoundOn(const std::string& strName) { return IsSoundSettingOn(strName); }
  // The wave folder beside the program + name + ".wav".
  virtual std::u16string SoundPath(const std::string& strName) = 0;
  virtual void ShowFileError(const std::u16string& strPath) {}
  // The device failed: called for the first failure of the player's life
  // only; later phrases still try the device (it may come back) and pass
  // over silently while it fails.
  virtual void ShowDeviceError(uint32_t dwResult) {}
};

class CSoundPlayer {
 public:
  CSoundPlayer(CSoundQueue& queue, CWaveDevice& device, CSoundHost& host)
      : m_queue(queue), m_device(device), m_host(host) {}
  ~CSoundPlayer();
  CSoundPlayer(const CSoundPlayer&) = delete;
  CSoundPlayer& operator=(const CSoundPlayer&) = delete;

  // The play message: starts the next sound unless one is playing. Sounds
  // that are switched off, missing or unreadable are skipped.
  void PlayNext();
  // The device finished the buffer: release the file, go on with the next.
  void OnDone();
  // Drops the rest of the current play list when it is a maneuver phrase
  // (the sound already playing finishes).
  void CutManeuver();
  // Stops at once and forgets the play list (shutdown).
  void StopAll();

  bool IsPlaying() const { return m_pCurrent != nullptr; }
  // False while the device's last start failed; DeviceError() is its code.
  bool IsDeviceAvailable() const { return m_dwDeviceError == 0; }
  uint32_t DeviceError() const { return m_dwDeviceError; }
  const std::string& CurrentName() const { return m_strCurrent; }
  size_t RemainingInList() const { return m_list.size() - m_iNext; }

 private:
  struct SoundFile {
    platform::CFileMapping mapping;
    WaveData wave;
  };
  bool TakeNode(SoundNode& node);
  bool StartNode(const SoundNode& node);

  CSoundQueue& m_queue;
  CWaveDevice& m_device;
  CSoundHost& m_host;
  PlayList m_list;
  size_t m_iNext = 0;
  std::unique_ptr<SoundFile> m_pCurrent;  // the current playback
  std::string m_strCurrent;
  uint32_t m_dwDeviceError = 0;  // the result of the device's last start
  bool m_fDeviceErrorShown = false;
};
