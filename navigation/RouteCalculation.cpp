#include "navigation/RouteCalculation.h"

#include "platform/Clock.h"

CRouteCalculation::CRouteCalculation(CMapParser** ppParser, Route** ppActive)
    : m_router(ppParser, ppActive, this) {}

uint32_t CRouteCalculation::Now() const { return m_pfnTickMs ? m_pfnTickMs() : platform::GetTickMs(); }

bool CRouteCalculation::Enter() {
  if (m_fRunning || m_router.IsBusy()) {
    ++m_cRefused;
    return false;
  }
  m_fRunning = true;
  return true;
}

void CRouteCalculation::Leave() {
  m_fRunning = false;
  m_fQuiet = false;
  if (m_fWindowOpen) Close();
  if (m_fCursorHeld) {
    m_fCursorHeld = false;
    if (m_pfnResume) m_pfnResume(m_pResumeContext);
  }
}

RouteCalcResult CRouteCalculation::CalculateRoute(Route& route) {
  if (!Enter()) return rcrNothing;
  RouteCalcResult result = m_router.CalculateRoute(route);
  Leave();
  return result;
}

bool CRouteCalculation::CalculateFromPosition(Route& route, double dLon, double dLat, const GpsFix* pFix) {
  if (!Enter()) return false;
  bool f = m_router.CalculateFromPosition(route, dLon, dLat, pFix);
  Leave();
  return f;
}

bool CRouteCalculation::Recalculate(Route& route, double dLon, double dLat, size_t iTarget, size_t iPassed,
                                    const GpsFix* pFix) {
  if (!Enter()) return false;
  m_fQuiet = true;
  bool f = m_router.Recalculate(route, dLon, dLat, iTarget, iPassed, pFix);
  Leave();
  return f;
}

bool CRouteCalculation::AdmitCursorUpdate() {
  if (!m_fRunning) return true;
  m_fCursorHeld = true;
  return false;
}

void CRouteCalculation::Open(uint32_t idsText) {
  m_fCancel = false;
  m_idsText = idsText;
  m_dwOpenedAt = Now();
  if (m_fQuiet || !m_pWindow) return;
  m_pWindow->Open(idsText);
  m_fWindowOpen = true;
}

void CRouteCalculation::Close() {
  if (!m_fWindowOpen) return;
  m_fWindowOpen = false;
  if (m_pWindow) m_pWindow->Close();
}

void CRouteCalculation::SetPos(int32_t nPos) {
  if (!m_pWindow) return;
  if (!m_fWindowOpen) {
    // A recalculation's window comes once the search has taken a while.
    if (!m_fRunning || Now() - m_dwOpenedAt < c_dwQuietRecalcMs) return;
    m_pWindow->Open(m_idsText);
    m_fWindowOpen = true;
  }
  m_pWindow->SetPos(nPos);  // the message loop runs here
  if (*m_pWindow->CancelFlag()) m_fCancel = true;
}
