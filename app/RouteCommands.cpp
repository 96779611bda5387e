#include "app/RouteCommands.h"

#include "app/ProgressWindow.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/res/options_ids.h"
#include "platform/Str.h"
#include "render/overlay/MapEdit.h"
#include "res/Res.h"
#include "navigation/RouteCalculation.h"
#include "routing/AutoRouting.h"
#include "store/WaypointStore.h"

using namespace platform;

namespace {

// The route calculation's progress window (the shared progress window),
// over the window the command came from: the main window, or a dialog such
// as the route editor.
class CRouteProgressWin : public CRouteProgressUi {
 public:
  void Open(uint32_t idsText) override {
    m_window.Close();  // a window still open is not the new one's owner
    HWND hOwner = ::GetActiveWindow();
    m_window.Open(hOwner ? hOwner : g_hWnd, idsText, 100);
  }
  void Close() override { m_window.Close(); }
  void SetPos(int32_t nPos) override { m_window.SetPos(nPos); }
  volatile bool* CancelFlag() override { return m_window.CancelFlag(); }

 private:
  CProgressWindow m_window;
};

CRouteProgressWin s_progress;
CRouteCalculation s_calculation(&g_pMapParser, &g_pActiveRoute);

// A cursor update guidance did not hear while a calculation ran comes again
// from the window's own message, after the calculation.
void ResumeGuidance(void*) {
  if (g_hWnd) ::PostMessageW(g_hWnd, WM_GPS_CURSOR, 0, 0);
}

void CalculateEditedRoute(CWaypointStore&, Route& route) { CalculateRouteNow(route); }

}  // namespace

CRouteCalculation& GetRouteCalculation() { return s_calculation; }

void InstallAutoRouting() {
  s_calculation.SetProgressWindow(&s_progress);
  s_calculation.SetResume(ResumeGuidance, nullptr);
  g_mapEdit.SetCalculateRoute(CalculateEditedRoute);
  RegisterTearDown([] {
    s_calculation.SetResume(nullptr, nullptr);
    s_calculation.SetProgressWindow(nullptr);
  });
}

bool CalculateRouteNow(Route& route) {
  RouteCalcResult result = s_calculation.CalculateRoute(route);
  return result == rcrDone || result == rcrStraight;
}
