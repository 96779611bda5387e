#include "sound/SoundQueue.h"

#include <cstdio>
#include <new>

#include "platform/Debug.h"

namespace {

const char* const c_apszGps[] = {"GPSOff", "GPSMissing", "GPSPoor", "GPSConnected"};
const char* const c_apszRoute[] = {"RouteOut", "RouteCalculated", "RouteIn", "RouteViaPoint", "RouteEnd"};
const char* const c_apszPower[] = {"ACPowerOff", "BatteryDischarged"};
const char* const c_apszOrdinals[] = {"1st", "2nd", "3rd", "4th", "5th"};
const char* const c_apszPhrases[] = {"Right",    "Left",      "TurnRight",  "TurnLeft",  "RightHi",
                                     "LeftHi",   "RoundAbout", "TurnRight", "UTurnRight", "UTurnLeft"};

}  // namespace

std::string CSoundEvent::Describe() const {
  PlayList list;
  BuildPlayList(list);
  std::string s;
  for (const SoundNode& node : list) {
    if (!s.empty()) s += ' ';
    s += node.strName;
  }
  return s;
}

void CNamedEvent::AppendEventSound(PlayList& list, int32_t nGroup, int32_t nValue) {
  const char* psz = nullptr;
  switch (nGroup) {
    case sgGps:
      if (nValue >= 0 && nValue < 4) psz = c_apszGps[nValue];
      break;
    case sgRoute:
      if (nValue >= 0 && nValue < 5) psz = c_apszRoute[nValue];
      break;
    case sgPower:
      if (nValue >= 0 && nValue < 2) psz = c_apszPower[nValue];
      break;
  }
  if (psz) list.push_back(SoundNode{psz, nGroup});
}

int32_t PhraseCodeOfKind(int32_t nKind) {
  static const int32_t c_aCodes[] = {-1, pcKeepLeft, pcKeepRight, pcLeft, pcRight, pcSharpLeft,
                                     pcSharpRight, pcToRound, pcFromRound, pcUTurnRight, pcUTurnLeft};
  return nKind >= 0 && nKind <= 10 ? c_aCodes[nKind] : -1;
}

const char* PhraseSoundName(int32_t nCode) { return nCode >= 0 && nCode <= 9 ? c_apszPhrases[nCode] : nullptr; }

void CManeuverPhrase::Chain(std::unique_ptr<CManeuverPhrase> pFollow) {
  CManeuverPhrase* p = this;
  while (p->m_pFollow) p = p->m_pFollow.get();
  p->m_pFollow = std::move(pFollow);
}

bool CManeuverPhrase::Supersedes(CSoundEvent& queued) {
  if (queued.Group() != sgManeuver) return false;
  CManeuverPhrase& other = static_cast<CManeuverPhrase&>(queued);
  platform::DebugOutputA("Before IsVoid\n");
  // What this phrase said so far becomes a plain follow-up of the queued one.
  std::unique_ptr<CManeuverPhrase> pMine(new (std::nothrow) CManeuverPhrase(m_nCode, m_fWithDistance, m_nExit));
  if (!pMine) return true;  // out of memory: the newer phrase alone remains
  pMine->m_pFollow = std::move(m_pFollow);
  m_nCode = other.m_nCode;
  m_fWithDistance = other.m_fWithDistance;
  m_nExit = other.m_nExit;
  m_pFollow = std::move(other.m_pFollow);
  Chain(std::move(pMine));
  char sz[64];
  for (const CManeuverPhrase* p = this; p; p = p->m_pFollow.get()) {
    std::snprintf(sz, sizeof sz, "%s, %d\n", PhraseSoundName(p->m_nCode) ? PhraseSoundName(p->m_nCode) : "?",
                  int(p->m_nExit));
    platform::DebugOutputA(sz);
  }
  platform::DebugOutputA("After IsVoid\n");
  return true;
}

void CManeuverPhrase::BuildPlayList(PlayList& list) const {
  for (const CManeuverPhrase* p = this; p; p = p->m_pFollow.get()) {
    if (p != this) list.push_back(SoundNode{"then", sgManeuver});
    if (p->m_fWithDistance) list.push_back(SoundNode{"Pre", sgManeuver});
    const char* psz = PhraseSoundName(p->m_nCode);
    if (psz) list.push_back(SoundNode{psz, sgManeuver});
    if (p->m_nCode == pcToRound && p->m_nExit >= 1 && p->m_nExit <= 5)
      list.push_back(SoundNode{c_apszOrdinals[p->m_nExit - 1], sgManeuver});
  }
}

void CSoundQueue::SetPoster(SoundPlayPoster pfn, void* pContext) {
  platform::CLock lock(m_cs);
  m_pfnPost = pfn;
  m_pPostContext = pContext;
}

void CSoundQueue::Post(std::unique_ptr<CSoundEvent> pEvent) {
  if (!pEvent) return;
  SoundPlayPoster pfn;
  void* pContext;
  std::vector<std::unique_ptr<CSoundEvent>> aRemoved;  // destroyed outside the lock
  {
    platform::CLock lock(m_cs);
    for (size_t i = 0; i < m_aItems.size();) {
      if (pEvent->Supersedes(*m_aItems[i])) {
        aRemoved.push_back(std::move(m_aItems[i]));
        m_aItems.erase(m_aItems.begin() + ptrdiff_t(i));
      } else {
        ++i;
      }
    }
    m_aItems.push_back(std::move(pEvent));
    pfn = m_pfnPost;
    pContext = m_pPostContext;
  }
  if (pfn) pfn(pContext);
}

std::unique_ptr<CSoundEvent> CSoundQueue::TakeNext() {
  platform::CLock lock(m_cs);
  if (m_aItems.empty()) return nullptr;
  size_t iBest = 0;
  for (size_t i = 1; i < m_aItems.size(); ++i)
    if (m_aItems[i]->Priority() < m_aItems[iBest]->Priority()) iBest = i;
  std::unique_ptr<CSoundEvent> p = std::move(m_aItems[iBest]);
  m_aItems.erase(m_aItems.begin() + ptrdiff_t(iBest));
  return p;
}

void CSoundQueue::RemoveGroup(int32_t nGroup) {
  std::vector<std::unique_ptr<CSoundEvent>> aRemoved;
  platform::CLock lock(m_cs);
  for (size_t i = 0; i < m_aItems.size();) {
    if (m_aItems[i]->Group() == nGroup) {
      aRemoved.push_back(std::move(m_aItems[i]));
      m_aItems.erase(m_aItems.begin() + ptrdiff_t(i));
    } else {
      ++i;
    }
  }
}

size_t CSoundQueue::Count() {
  platform::CLock lock(m_cs);
  return m_aItems.size();
}

std::vector<std::string> CSoundQueue::Describe() {
  platform::CLock lock(m_cs);
  std::vector<std::string> a;
  for (const auto& p : m_aItems) a.push_back(p->Describe());
  return a;
}
