#include "sound/Voice.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "geo/Geodesy.h"
#include "platform/Debug.h"
#include "settings/SettingsTable.h"
#include "view/FastMath.h"

AnnounceDistances GetAnnounceDistances(float fSpeedKmh, uint32_t nAmn) {
  if (nAmn > 4) nAmn = 4;
  auto Lead = [&](int32_t a, int32_t nBase, int32_t c) {
    if (!(fSpeedKmh > 5.0f)) return nBase;
    double f = double(a + int32_t(4 - nAmn) * c + 1) * (double(fSpeedKmh) - 5.0) / 3.6;
    if (f > 1e6) f = 1e6;
    return nBase + fast_round_d(f);
  };
  return AnnounceDistances{Lead(10, 100, 10), Lead(5, 30, 1)};
}

void CVoice::Post(std::unique_ptr<CSoundEvent> pEvent, int32_t nDistance) {
  if (!pEvent) return;
  if (m_pObserver) m_pObserver->OnVoicePosted(*pEvent, nDistance);
  m_queue.Post(std::move(pEvent));
}

void CVoice::PlayRouteEvent(RouteEventKind ev) {
  Post(std::unique_ptr<CSoundEvent>(new (std::nothrow) CRouteSoundEvent(RouteSoundEvent(ev))), -1);
}

void CVoice::CutManeuverPhrases() {
  m_queue.RemoveGroup(sgManeuver);
  if (m_pfnCut) m_pfnCut(m_pCutContext);
}

void CVoice::OnGpsEvent(GpsEvent ev) {
  GpsSoundEvent gse = ev == geMissing ? gseMissing : gseConnected;
  Post(std::unique_ptr<CSoundEvent>(new (std::nothrow) CGpsSoundEvent(gse)), -1);
}

std::unique_ptr<CManeuverPhrase> CVoice::MakePhrase(const RoutePoint& rp, bool fWithDistance) {
  int32_t nCode = PhraseCodeOfKind(GetManeuverKind(rp));
  if (nCode < 0) return nullptr;
  return std::unique_ptr<CManeuverPhrase>(new (std::nothrow) CManeuverPhrase(nCode, fWithDistance, rp.btParameter));
}

void CVoice::AnnounceStep(const CGuidanceReadView& guidance, const GuidanceFix& fix) {
  const Route* pRoute = guidance.ActiveRoute();
  const NavigationState& st = guidance.State();
  if (!pRoute || !IsGuidanceFix(fix)) return;
  // New points (navigation started, a recalculation that may also have
  // dropped the points passed): the old index means nothing in them, the
  // announcements resume where guidance says.
  if (!m_fFollowing || guidance.RouteVersion() != m_nRouteVersion) {
    m_fFollowing = true;
    m_nRouteVersion = guidance.RouteVersion();
    m_iAnnounced = st.iAnnounced;
  }
  const Route& route = *pRoute;
  const size_t n = route.points.size();
  const size_t t = st.iTarget;
  if (t >= n) return;
  size_t a = m_iAnnounced;
  if (t > 0 && a + 1 < t) a = t - 1;
  if (a >= n) {
    m_iAnnounced = uint32_t(a);
    return;
  }
  m_distances = GetAnnounceDistances(m_pfnSpeed ? m_pfnSpeed(m_pSpeedContext) : 0.0f,
                                     GetSetting(setting::RoutingAMN));
  const int64_t nFar = m_distances.nFar, nNear = m_distances.nNear;
  const RoutePoint& rt = route.points[t];
  float fD0 = GetDistance(fix.fLon, fix.fLat, PointLon(rt), PointLat(rt));
  const int64_t d0 = std::isfinite(fD0) ? int64_t(fast_round(fD0)) : 0;
  auto Distance = [&](size_t j) { return j <= t ? d0 : d0 + int64_t(guidance.RouteMetres(t, j)); };

  if (m_pPending) {
    for (size_t j = a + 1; j + 1 < n; ++j) {
      if (Distance(j) > nFar) break;
      if (GetManeuverKind(route.points[j]) != mkNone) {
        std::unique_ptr<CManeuverPhrase> p = MakePhrase(route.points[j], false);
        if (p) m_pPending->Chain(std::move(p));
      }
      a = j;
    }
    int64_t d = Distance(m_iPendingPoint);
    if (d < nNear) {
      Post(std::move(m_pPending), int32_t(d));
      m_pPending.reset();
    }
  } else {
    bool fProduced = false;
    for (size_t j = a + 1; j + 1 < n; ++j) {
      const int64_t dj = Distance(j);
      if (j > st.iNextManeuver || dj > nFar) break;
      if (GetManeuverKind(route.points[j]) != mkNone) {
        if (fProduced) {
          std::unique_ptr<CManeuverPhrase> p = MakePhrase(route.points[j], false);
          if (m_pPending)
            m_pPending->Chain(std::move(p));
          else  // said at once: a queued phrase takes it as its follow-up
            Post(std::move(p), int32_t(dj));
        } else if (dj < nNear) {
          Post(MakePhrase(route.points[j], false), int32_t(dj));
          fProduced = true;
        } else {
          Post(MakePhrase(route.points[j], true), int32_t(dj));
          m_pPending = MakePhrase(route.points[j], false);
          m_iPendingPoint = uint32_t(j);
          fProduced = true;
        }
      }
      a = j;
    }
  }
  m_iAnnounced = uint32_t(a);
}
