// The program's one road router. Every road calculation of the program goes
// through this object: the route editor's calculate, "Добавить к маршруту"
// in the map's route editing, the recalculate command, navigation start and
// the recalculation after leaving the route. Each shows the progress window
// "Прокладка маршрута..." with its Cancel, which leaves the route as it was.
//
// The progress window lets the message loop run while a search goes on, so a
// new position, a command or a click can arrive in the middle of it. Nothing
// nests: a calculation asked for meanwhile is refused (it changes nothing),
// and an update of guidance asked for by a new cursor is held back and handed
// back through the resume hook once the calculation has ended.
//
// The recalculation after leaving the route runs while the car moves on: its
// window appears only when the search has taken c_dwQuietRecalcMs, so a quick
// one neither covers the map nor takes the window's input away, and a slow
// one can still be cancelled.
#pragma once
#include <cstddef>
#include <cstdint>

#include "routing/AutoRouting.h"

// How long a recalculation after leaving the route runs before its progress
// window is shown, milliseconds.
const uint32_t c_dwQuietRecalcMs = 500;

class CRouteCalculation : private CRouteProgressUi {
 public:
  typedef void (*PfnResume)(void* pContext);
  typedef uint32_t (*PfnTickMs)();

  // ppParser: where the current map parser is kept; ppActive: where the
  // route under guidance is kept.
  CRouteCalculation(CMapParser** ppParser, Route** ppActive);
  CRouteCalculation(const CRouteCalculation&) = delete;
  CRouteCalculation& operator=(const CRouteCalculation&) = delete;

  // The progress window (null: none is shown; Cancel then never comes).
  void SetProgressWindow(CRouteProgressUi* pWindow) { m_pWindow = pWindow; }
  // Runs once after a calculation during which a cursor update was held back.
  void SetResume(PfnResume pfn, void* pContext) {
    m_pfnResume = pfn;
    m_pResumeContext = pContext;
  }
  // The millisecond clock of the recalculation's delayed window (tests).
  void SetClock(PfnTickMs pfn) { m_pfnTickMs = pfn; }

  // The whole route from its via points (not the route under guidance).
  RouteCalcResult CalculateRoute(Route& route);
  // Navigation start: the leg from the position (degrees) to the route.
  bool CalculateFromPosition(Route& route, double dLon, double dLat, const GpsFix* pFix);
  // After leaving the route; the window shows only for a slow search.
  bool Recalculate(Route& route, double dLon, double dLat, size_t iTarget, size_t iPassed, const GpsFix* pFix);

  bool IsBusy() const { return m_router.IsBusy(); }
  // A new cursor asks to update guidance: true when that may happen now;
  // during a calculation false, and the resume hook runs after it.
  bool AdmitCursorUpdate();
  // Milliseconds the last calculation took.
  uint32_t GetLastElapsedMs() const { return m_router.GetLastElapsedMs(); }
  // Calculations asked for while one ran (and refused).
  uint32_t RefusedCount() const { return m_cRefused; }

 private:
  // The progress window as the router sees it: forwarded to the real
  // window, opened late for a recalculation, with a cancel flag of its own
  // that the real window's Cancel sets.
  void Open(uint32_t idsText) override;
  void Close() override;
  void SetPos(int32_t nPos) override;
  volatile bool* CancelFlag() override { return &m_fCancel; }

  bool Enter();
  void Leave();
  uint32_t Now() const;

  CAutoRouter m_router;
  CRouteProgressUi* m_pWindow = nullptr;
  PfnResume m_pfnResume = nullptr;
  void* m_pResumeContext = nullptr;
  PfnTickMs m_pfnTickMs = nullptr;
  volatile bool m_fCancel = false;
  bool m_fWindowOpen = false;
  bool m_fQuiet = false;
  bool m_fCursorHeld = false;
  bool m_fRunning = false;
  uint32_t m_idsText = 0;
  uint32_t m_dwOpenedAt = 0;
  uint32_t m_cRefused = 0;
};
