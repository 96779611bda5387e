#include "sound/SoundPlayer.h"

#include <new>

#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "settings/SettingsTable.h"

bool IsSoundSettingOn(const std::string& strName) {
  std::u16string strKey = u"PlaySound_" + platform::Utf8ToU16(strName);
  return GetBool(strKey.c_str(), setting::PlaySound_s.dwDefault != 0);
}

CSoundPlayer::~CSoundPlayer() { StopAll(); }

bool CSoundPlayer::TakeNode(SoundNode& node) {
  if (m_iNext < m_list.size()) {
    node = m_list[m_iNext++];
    return true;
  }
  m_list.clear();
  m_iNext = 0;
  std::unique_ptr<CSoundEvent> pEvent = m_queue.TakeNext();
  if (!pEvent) return false;
  pEvent->BuildPlayList(m_list);
  pEvent.reset();
  if (m_list.empty()) return TakeNode(node);
  node = m_list[m_iNext++];
  return true;
}

bool CSoundPlayer::StartNode(const SoundNode& node) {
  if (!m_host.IsSoundOn(node.strName)) return false;
  std::u16string strPath = m_host.SoundPath(node.strName);
  if (!platform::FileExists(strPath.c_str())) return false;
  std::unique_ptr<SoundFile> pFile(new (std::nothrow) SoundFile);
  if (!pFile) return false;
  platform::DebugOutputA("SoundFile start\n");
  if (!pFile->mapping.OpenRead(strPath.c_str())) {
    m_host.ShowFileError(strPath);
    return false;
  }
  if (ParseWave(pFile->mapping.Data(), pFile->mapping.Size(), pFile->wave) != wprOk) return false;
  platform::DebugOutputA("SoundFile end\n");
  ASSERT(m_pCurrent == nullptr);
  uint32_t dwResult = m_device.Start(pFile->wave.format, pFile->wave.pSamples, pFile->wave.cbSamples);
  m_dwDeviceError = dwResult;
  if (dwResult != 0) {
    // Told once: a box per phrase would cover the map and hold up the
    // window while the car moves; the voice goes on silently.
    if (!m_fDeviceErrorShown) m_host.ShowDeviceError(dwResult);
    m_fDeviceErrorShown = true;
    return false;
  }
  m_pCurrent = std::move(pFile);
  m_strCurrent = node.strName;
  return true;
}

void CSoundPlayer::PlayNext() {
  platform::DebugOutputA("PlaySound_Handle start\n");
  if (m_pCurrent) return;
  // A sound that cannot be played is passed over, so that the rest of its
  // list (the maneuver after a silenced "Pre") is still said now.
  SoundNode node;
  while (TakeNode(node))
    if (StartNode(node)) break;
  platform::DebugOutputA("PlaySound_Handle end\n");
}

void CSoundPlayer::OnDone() {
  if (!m_pCurrent) return;
  platform::DebugOutputA("PlaySound_Next start\n");
  m_device.Stop();
  platform::DebugOutputA("PlaySound_Next delete sound\n");
  m_pCurrent.reset();
  m_strCurrent.clear();
  platform::DebugOutputA("PlaySound_Next deleted\n");
  PlayNext();
}

void CSoundPlayer::CutManeuver() {
  if (m_iNext < m_list.size() && m_list[m_iNext].nGroup == sgManeuver) {
    m_list.clear();
    m_iNext = 0;
  }
}

void CSoundPlayer::StopAll() {
  if (m_pCurrent) {
    m_device.Stop();
    m_pCurrent.reset();
  }
  m_strCurrent.clear();
  m_list.clear();
  m_iNext = 0;
}
