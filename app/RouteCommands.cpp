#include "app/RouteCommands.h"

#include "app/ProgressWindow.h"
#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/res/options_ids.h"
#include "platform/Str.h"
#include "render/overlay/MapEdit.h"
#include "res/Res.h"
#include "routing/AutoRouting.h"

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

void CalculateEditedRoute(CWaypointStore&, Route& route) { CalculateRouteNow(route); }

}  // namespace

void InstallAutoRouting() {
  GetAutoRouter().SetProgressUi(&s_progress);
  g_mapEdit.SetCalculateRoute(CalculateEditedRoute);
  RegisterTearDown([] { GetAutoRouter().SetProgressUi(nullptr); });
}

bool CalculateRouteNow(Route& route) {
  RouteCalcResult result = GetAutoRouter().CalculateRoute(route);
  return result == rcrDone || result == rcrStraight;
}
