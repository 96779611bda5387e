// The voice prompts: the announcement of the maneuvers ahead (a far
// announcement with "Pre", the near one when the vehicle is close), the
// route events of guidance and the GPS events of positioning, all posted to
// the request queue that playback takes from.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "gps/PositionHub.h"
#include "navigation/Guidance.h"
#include "sound/SoundQueue.h"

// Announcement distances in metres for the recent average speed (km/h) and
// the lead setting RoutingAMN (0–4): lead(a, base, c) = base +
// round((a + (4 − amn) × c + 1) × (v − 5) / 3.6) above 5 km/h, else base.
struct AnnounceDistances {
  int32_t nFar;
  int32_t nNear;
};
AnnounceDistances GetAnnounceDistances(float fSpeedKmh, uint32_t nAmn);

// Hears every request the voice posts, with the distance (metres) of the
// point it speaks of when it was posted (−1 for events): the voice script.
class CVoiceObserver {
 public:
  virtual ~CVoiceObserver() = default;
  virtual void OnVoicePosted(const CSoundEvent& ev, int32_t nDistance) = 0;
};

class CVoice : public CGuidanceVoice, public CPositionListener {
 public:
  explicit CVoice(CSoundQueue& queue) : m_queue(queue) {}

  void SetObserver(CVoiceObserver* pObserver) { m_pObserver = pObserver; }
  // The recent average speed for the announcement distances (the program
  // reads positioning's speed ring; tests and velmo-cli give their own).
  typedef float (*SpeedSource)(void* pContext);
  void SetSpeedSource(SpeedSource pfn, void* pContext) {
    m_pfnSpeed = pfn;
    m_pSpeedContext = pContext;
  }
  // Cuts the rest of a maneuver phrase being played (playback installs it).
  typedef void (*CutPlaying)(void* pContext);
  void SetCutPlaying(CutPlaying pfn, void* pContext) {
    m_pfnCut = pfn;
    m_pCutContext = pContext;
  }

  // ---- CGuidanceVoice (main window's thread) ----
  void PlayRouteEvent(RouteEventKind ev) override;
  void ClearPendingPhrase() override { m_pPending.reset(); }
  void CutManeuverPhrases() override;
  void AnnounceStep(const CGuidanceReadView& guidance, const GuidanceFix& fix) override;

  // ---- CPositionListener (port threads): GPSMissing and GPSConnected ----
  void OnGpsEvent(GpsEvent ev) override;

  bool HasPendingPhrase() const { return m_pPending != nullptr; }
  uint32_t PendingPoint() const { return m_iPendingPoint; }
  std::string DescribePending() const { return m_pPending ? m_pPending->Describe() : std::string(); }
  const AnnounceDistances& LastDistances() const { return m_distances; }
  // The last route point the announcements have considered.
  uint32_t AnnouncedPoint() const { return m_iAnnounced; }

 private:
  void Post(std::unique_ptr<CSoundEvent> pEvent, int32_t nDistance);
  std::unique_ptr<CManeuverPhrase> MakePhrase(const RoutePoint& rp, bool fWithDistance);

  CSoundQueue& m_queue;
  CVoiceObserver* m_pObserver = nullptr;
  SpeedSource m_pfnSpeed = nullptr;
  void* m_pSpeedContext = nullptr;
  CutPlaying m_pfnCut = nullptr;
  void* m_pCutContext = nullptr;
  // The phrase held back until the vehicle is near the point it waits for.
  std::unique_ptr<CManeuverPhrase> m_pPending;
  uint32_t m_iPendingPoint = 0;
  AnnounceDistances m_distances{0, 0};
  // The last point considered, an index into the route version followed.
  uint32_t m_iAnnounced = 0;
  uint32_t m_nRouteVersion = 0;
  bool m_fFollowing = false;
};
