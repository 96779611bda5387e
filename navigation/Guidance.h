// Route guidance: follows the active route with the position. Each update
// advances the target point, recognises arrival, notices leaving the route
// (and, as the user chose, recalculates), and publishes the navigation
// state that the map page's pointer line and maneuver display and the voice
// prompts read. Guidance runs on the main window's thread only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "navigation/Maneuver.h"
#include "store/WaypointStore.h"

enum NavigationStateCode : int32_t {
  nsNotStarted = 0,
  nsOnRoute = 1,
  nsOffRoute = 2,
  nsFinished = 3,
};

struct NavigationState {
  uint32_t nDistanceToNext;      // m along the route to the next significant point
  uint32_t nDistanceToEnd;       // m along the route to the last point
  uint32_t nDistanceToTarget;    // straight m to the target point
  uint32_t nDistanceToManeuver;  // m along the route to the next maneuver point
  int32_t nState;                // NavigationStateCode
  int32_t nManeuverKind;         // ManeuverKind of the next maneuver point
  int32_t nManeuverParameter;    // exit number or keep side (one byte used)
  uint32_t iTarget;              // the route point being approached
  uint32_t iNextPoint;           // next via point or maneuver-flagged point
  uint32_t iNextManeuver;        // next point with a maneuver kind, or a via point
  uint32_t iAnnounced;           // where the voice prompts resume after the route changed
  int32_t nTurnAtTarget;         // geometric turn at the target, degrees
  int32_t nTurnAtNext;           // geometric turn at the next point, degrees
  int32_t nManeuverAngle;        // stored turn angle of the next maneuver point
  int32_t nTargetSpeed;          // speed byte of the target point
};
static_assert(sizeof(NavigationState) == 60, "fifteen 32-bit fields");

// Route events guidance raises (their values are the voice prompt's).
enum RouteEventKind : int32_t {
  reRouteOut = 0,
  reRouteCalculated = 1,
  reRouteIn = 2,
  reRouteViaPoint = 3,
  reRouteEnd = 4,
};

// What guidance knows of the current position: the cursor (degrees) and
// the HDOP of the current fix when the receiver gives one.
struct GuidanceFix {
  bool fPosition = false;
  float fLon = 0, fLat = 0;
  bool fHasHdop = false;
  float fHdop = 0;
};

// The largest HDOP guidance follows; worse fixes pause it.
const float c_fGuidanceMaxHdop = 10.0f;
// The corridor around the current segment, metres.
const double c_fOffRouteMetres = 100.0;

// Answers "is this fix usable by guidance": a position and no HDOP above 10.
inline bool IsGuidanceFix(const GuidanceFix& fix) {
  return fix.fPosition && !(fix.fHasHdop && fix.fHdop > c_fGuidanceMaxHdop);
}

class CGuidance;
class CGuidanceReadView;

// The program around guidance: saving the store, the road calculations of
// auto-routing, and telling the shell that navigation started or ended.
class CGuidanceHost {
 public:
  virtual ~CGuidanceHost() = default;
  virtual void SaveStore() {}
  // The leg from the position to the route when navigation starts with
  // road routing; false leaves the route as it is.
  virtual bool CalculateFromPosition(Route& route, float fLon, float fLat) { return false; }
  // Off route: a new leg from the position to point iVia keeping the points
  // before iPassed; true when the route's points were replaced.
  virtual bool Recalculate(Route& route, float fLon, float fLat, size_t iVia, size_t iPassed) { return false; }
  // Navigation started or ended (the menu, the map view).
  virtual void OnNavigationChanged(bool fRunning) {}
  // After every update: the map page redraws what guidance drives.
  virtual void OnGuidanceUpdated() {}
  // The time of a new route (variant time).
  virtual double Now() { return 0; }
};

// The voice side of guidance: route events, the pending and queued maneuver
// phrases, and the announce step that follows every update.
class CGuidanceVoice {
 public:
  virtual ~CGuidanceVoice() = default;
  virtual void PlayRouteEvent(RouteEventKind ev) = 0;
  virtual void ClearPendingPhrase() = 0;
  // Removes the queued maneuver phrases and cuts the rest of one playing.
  virtual void CutManeuverPhrases() = 0;
  virtual void AnnounceStep(const CGuidanceReadView& guidance, const GuidanceFix& fix) = 0;
};

class CGuidance {
 public:
  CGuidance(CWaypointStore& store, CGuidanceHost* pHost, CGuidanceVoice* pVoice);
  CGuidance(const CGuidance&) = delete;
  CGuidance& operator=(const CGuidance&) = delete;

  void SetVoice(CGuidanceVoice* pVoice) { m_pVoice = pVoice; }
  void SetHost(CGuidanceHost* pHost) { m_pHost = pHost; }

  // Starts navigation on a route of the store. fix is the current position;
  // without one (fLonCentre, fLatCentre), the centre of the map view, is
  // where a road calculation starts.
  void Start(Route* pRoute, const GuidanceFix& fix, float fLonCentre, float fLatCentre);
  // Ends navigation and starts it on a new temporary "GoTo" route of one
  // point (stored coordinates, twice the map unit).
  Route* GoTo(int32_t xStored, int32_t yStored, const GuidanceFix& fix, float fLonCentre, float fLatCentre);
  // Ends navigation; a "GoTo" route is deleted.
  void End();
  bool IsRunning() const { return m_store.ActiveRoute() != nullptr; }

  // The update after a new position, followed by the announce step and the
  // redraw; a call made while one runs is ignored.
  void Update(const GuidanceFix& fix);

  const NavigationState& State() const { return m_state; }
  NavigationState& MutableState() { return m_state; }
  Route* ActiveRoute() const { return m_store.ActiveRoute(); }
  // Changes whenever the points guidance follows are replaced (navigation
  // starts, a recalculation): indices of an older version mean nothing in
  // the new one, and State().iAnnounced is where the voice resumes.
  uint32_t RouteVersion() const { return m_nRouteVersion; }

  // The maneuver display's redraw: true once after the next maneuver moved.
  bool TakeManeuverChanged() {
    bool f = m_fManeuverChanged;
    m_fManeuverChanged = false;
    return f;
  }
  bool IsManeuverChanged() const { return m_fManeuverChanged; }

  // The point the pointer aims at (stored coordinates): the target while on
  // route, else the first point at or after the target that refers to a
  // stored waypoint (once round the route), else the target itself.
  // fLast asks for the last point. False (and 0, 0) for an empty route.
  bool GetPointerTarget(int32_t& xStored, int32_t& yStored, bool fLast = false) const;

  // Forget everything (navigation starts, or the store's route was loaded
  // as active): all fields 0, the shown maneuver −1 and the changed flag set.
  void ResetState();

  // Route metres between two point indices (sum of the rounded segment
  // lengths), from a table kept for the active route.
  uint64_t RouteMetres(size_t iFrom, size_t iTo);
  // The route's points changed (a recalculation outside guidance).
  void InvalidateLengths() { m_pLengthsRoute = nullptr; }

 private:
  void EnsureLengths(const Route& route);
  void UpdateBody(const GuidanceFix& fix);
  void Finish();
  void MarkManeuver();
  void PlayRouteEvent(RouteEventKind ev);

  CWaypointStore& m_store;
  CGuidanceHost* m_pHost;
  CGuidanceVoice* m_pVoice;
  NavigationState m_state;
  int64_t m_iShownManeuver;
  bool m_fManeuverChanged;
  bool m_fInUpdate;
  // Cumulative rounded segment metres of the route they were made for.
  std::vector<uint64_t> m_aCumMetres;
  const Route* m_pLengthsRoute;
  size_t m_cLengthsPoints;
  // A recalculation failed while the car left the route: it is tried again
  // while the car stays off the route, at most once in c_dRecalcRetryDays.
  bool m_fRecalcFailed = false;
  double m_dRecalcFailedAt = 0;
  uint32_t m_nRouteVersion = 0;
};

// Guidance as the voice prompts read it: the state, the active route and
// the metres along it. Nothing of guidance changes through it (the metres
// come from guidance's table of lengths, made on first use).
class CGuidanceReadView {
 public:
  explicit CGuidanceReadView(CGuidance& guidance) : m_guidance(guidance) {}
  const NavigationState& State() const { return m_guidance.State(); }
  const Route* ActiveRoute() const { return m_guidance.ActiveRoute(); }
  uint64_t RouteMetres(size_t iFrom, size_t iTo) const { return m_guidance.RouteMetres(iFrom, iTo); }
  uint32_t RouteVersion() const { return m_guidance.RouteVersion(); }

 private:
  CGuidance& m_guidance;
};

// How often a failed recalculation is tried again while off the route
// (10 s: a search on a large map takes a while on a small machine, and the
// position moves on meanwhile).
const double c_dRecalcRetryDays = 10.0 / 86400.0;
