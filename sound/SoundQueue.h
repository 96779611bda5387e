// The requests of the voice: maneuver phrases, GPS, route and power events,
// each a sound event with a group and a priority, kept in one queue shared
// by the main window's thread (guidance, playback) and the GPS port threads
// (the GPS events).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Thread.h"

enum SoundGroup : int32_t {
  sgManeuver = 0,
  sgGps = 1,
  sgRoute = 2,
  sgPower = 3,
};

// One element of a play list: a sound name and the group it belongs to.
struct SoundNode {
  std::string strName;
  int32_t nGroup;
};
typedef std::vector<SoundNode> PlayList;

class CSoundEvent {
 public:
  CSoundEvent(int32_t nGroup, int32_t nPriority) : m_nGroup(nGroup), m_nPriority(nPriority) {}
  virtual ~CSoundEvent() = default;
  // Whether posting this removes the queued item (a phrase may take the
  // queued one's content over before saying so).
  virtual bool Supersedes(CSoundEvent& queued) = 0;
  virtual void BuildPlayList(PlayList& list) const = 0;
  // A readable form for diagnostics and the voice script ("TurnRight then Left").
  std::string Describe() const;

  int32_t Group() const { return m_nGroup; }
  int32_t Priority() const { return m_nPriority; }

 private:
  int32_t m_nGroup;
  int32_t m_nPriority;  // smaller plays first
};

// GPS (group 1, priority 2), route (group 2, priority 1) and power
// (group 3, priority 3) events: each supersedes every queued item of its
// own group.
class CNamedEvent : public CSoundEvent {
 public:
  bool Supersedes(CSoundEvent& queued) override { return queued.Group() == Group(); }
  void BuildPlayList(PlayList& list) const override { AppendEventSound(list, Group(), m_nValue); }
  int32_t Value() const { return m_nValue; }
  // The sound name of an event of a group, when the value has one.
  static void AppendEventSound(PlayList& list, int32_t nGroup, int32_t nValue);

 protected:
  CNamedEvent(int32_t nGroup, int32_t nPriority, int32_t nValue) : CSoundEvent(nGroup, nPriority), m_nValue(nValue) {}

 private:
  int32_t m_nValue;
};

enum GpsSoundEvent { gseOff = 0, gseMissing = 1, gsePoor = 2, gseConnected = 3 };
enum RouteSoundEvent { rseOut = 0, rseCalculated = 1, rseIn = 2, rseViaPoint = 3, rseEnd = 4 };
enum PowerSoundEvent { pseAcOff = 0, pseBatteryDischarged = 1 };

class CGpsSoundEvent : public CNamedEvent {
 public:
  explicit CGpsSoundEvent(GpsSoundEvent ev) : CNamedEvent(sgGps, 2, ev) {}
};
class CRouteSoundEvent : public CNamedEvent {
 public:
  explicit CRouteSoundEvent(RouteSoundEvent ev) : CNamedEvent(sgRoute, 1, ev) {}
};
class CPowerSoundEvent : public CNamedEvent {
 public:
  explicit CPowerSoundEvent(PowerSoundEvent ev) : CNamedEvent(sgPower, 3, ev) {}
};

// The phrase codes of the maneuvers (from the ManeuverKind of a point).
enum PhraseCode : int32_t {
  pcKeepRight = 0,
  pcKeepLeft = 1,
  pcRight = 2,
  pcLeft = 3,
  pcSharpRight = 4,
  pcSharpLeft = 5,
  pcToRound = 6,
  pcFromRound = 7,
  pcUTurnRight = 8,
  pcUTurnLeft = 9,
};
// −1 for kinds that make no phrase (0 and unknown values).
int32_t PhraseCodeOfKind(int32_t nManeuverKind);
const char* PhraseSoundName(int32_t nCode);

// A maneuver phrase (group 0, priority 0): "Pre" when it has the distance
// flag, the maneuver's sound (and the exit ordinal of a roundabout), then
// "then" and its follow-up phrase, composed the same way.
class CManeuverPhrase : public CSoundEvent {
 public:
  CManeuverPhrase(int32_t nCode, bool fWithDistance, uint32_t nExit)
      : CSoundEvent(sgManeuver, 0), m_nCode(nCode), m_fWithDistance(fWithDistance), m_nExit(nExit) {}
  // A phrase posted while another waits in the queue takes that one over:
  // it says the queued one first (as it was, with its "Pre"), then "then",
  // then what it said itself.
  bool Supersedes(CSoundEvent& queued) override;
  void BuildPlayList(PlayList& list) const override;

  // Appends a phrase at the end of the chain of follow-ups.
  void Chain(std::unique_ptr<CManeuverPhrase> pFollow);
  int32_t Code() const { return m_nCode; }
  bool WithDistance() const { return m_fWithDistance; }
  uint32_t Exit() const { return m_nExit; }
  const CManeuverPhrase* FollowUp() const { return m_pFollow.get(); }

 private:
  int32_t m_nCode;
  bool m_fWithDistance;
  uint32_t m_nExit;
  std::unique_ptr<CManeuverPhrase> m_pFollow;
};

// Who hears that the queue has something to play: the program posts the
// play message to the main window. Called on the poster's thread, outside
// the queue's lock.
typedef void (*SoundPlayPoster)(void* pContext);

// The request queue. Any thread may post; the lock is held only while the
// queue is changed or read, never while anything plays or is composed, and
// the play message goes out after the lock is left.
class CSoundQueue {
 public:
  CSoundQueue() = default;
  CSoundQueue(const CSoundQueue&) = delete;
  CSoundQueue& operator=(const CSoundQueue&) = delete;

  void SetPoster(SoundPlayPoster pfn, void* pContext);
  // Removes (destroying) the queued items the event supersedes, appends the
  // event and posts the play message. A null event (out of memory) is dropped.
  void Post(std::unique_ptr<CSoundEvent> pEvent);
  // The item with the smallest priority, the earliest of equals; null when empty.
  std::unique_ptr<CSoundEvent> TakeNext();
  // Removes every queued item of a group.
  void RemoveGroup(int32_t nGroup);
  size_t Count();
  // The queued items' descriptions in queue order (tests, diagnostics).
  std::vector<std::string> Describe();

 private:
  platform::CCritSec m_cs;
  std::vector<std::unique_ptr<CSoundEvent>> m_aItems;
  SoundPlayPoster m_pfnPost = nullptr;
  void* m_pPostContext = nullptr;
};
