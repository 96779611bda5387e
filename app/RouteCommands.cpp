#include "app/RouteCommands.h"

#include "app/ResWin.h"
#include "app/Shell.h"
#include "app/res/options_ids.h"
#include "platform/Str.h"
#include "render/overlay/MapEdit.h"
#include "res/Res.h"
#include "routing/AutoRouting.h"

using namespace platform;

namespace {

// The progress window: a modeless dialog over the disabled main window.
// While it is shown the calculation lets the message loop run at every
// step, so the window paints and its Cancel button works.
class CRouteProgressWin : public CRouteProgressUi {
 public:
  void Open(uint32_t idsText) override {
    m_fCancel = false;
    Close();
    // Over the window the command came from (the main window, or a dialog
    // such as the route editor), which takes no input meanwhile.
    m_hOwner = ::GetActiveWindow();
    if (!m_hOwner) m_hOwner = g_hWnd;
    m_hDlg = ResCreateDialog(IDD_ROUTE_PROGRESS, m_hOwner, Proc, reinterpret_cast<LPARAM>(this));
    if (!m_hDlg) return;
    char16_t sz[128];
    LoadResString(idsText, sz, 128);
    ::SetWindowTextW(m_hDlg, W(sz));
    ::SetDlgItemTextW(m_hDlg, IDC_PROGRESS_TEXT, W(sz));
    ::SendDlgItemMessageW(m_hDlg, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    m_fOwnerDisabled = m_hOwner && ::EnableWindow(m_hOwner, FALSE) == 0;
    ::ShowWindow(m_hDlg, SW_SHOW);
    ::UpdateWindow(m_hDlg);
    Pump();
  }

  void Close() override {
    if (!m_hDlg) return;
    if (m_fOwnerDisabled) ::EnableWindow(m_hOwner, TRUE);
    m_fOwnerDisabled = false;
    HWND hDlg = m_hDlg;
    m_hDlg = nullptr;
    ::DestroyWindow(hDlg);
  }

  void SetPos(int32_t nPos) override {
    if (!m_hDlg) return;
    ::SendDlgItemMessageW(m_hDlg, IDC_PROGRESS_BAR, PBM_SETPOS, WPARAM(nPos), 0);
    Pump();
  }

  volatile bool* CancelFlag() override { return &m_fCancel; }

 private:
  void Pump() {
    MSG msg;
    while (m_hDlg && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // The program is ending: stop, and leave the quit for the main loop.
        m_fCancel = true;
        ::PostQuitMessage(int(msg.wParam));
        return;
      }
      if (::IsDialogMessageW(m_hDlg, &msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }

  static INT_PTR CALLBACK Proc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG) {
      ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      return TRUE;
    }
    CRouteProgressWin* p = reinterpret_cast<CRouteProgressWin*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
    if (uMsg == WM_COMMAND && LOWORD(wParam) == IDCANCEL && p) {
      p->m_fCancel = true;
      ::EnableWindow(::GetDlgItem(hDlg, IDCANCEL), FALSE);
      return TRUE;
    }
    return FALSE;
  }

  HWND m_hDlg = nullptr;
  HWND m_hOwner = nullptr;
  bool m_fOwnerDisabled = false;
  volatile bool m_fCancel = false;
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
