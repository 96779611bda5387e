#include "app/ProgressWindow.h"

#include <commctrl.h>

#include "app/ResWin.h"
#include "app/res/options_ids.h"
#include "platform/Str.h"
#include "res/Res.h"

using namespace platform;

void CProgressWindow::Open(HWND hOwner, uint32_t idsText, int32_t nRange) {
  Close();
  m_fCancel = false;
  m_hOwner = hOwner;
  m_hDlg = ResCreateDialog(IDD_ROUTE_PROGRESS, hOwner, Proc, reinterpret_cast<LPARAM>(this));
  if (!m_hDlg) return;
  ::SendDlgItemMessageW(m_hDlg, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, nRange);
  if (idsText) {
    char16_t sz[128];
    LoadResString(idsText, sz, 128);
    ::SetWindowTextW(m_hDlg, W(sz));
    ::SetDlgItemTextW(m_hDlg, IDC_PROGRESS_TEXT, W(sz));
  }
  m_fOwnerDisabled = m_hOwner && ::EnableWindow(m_hOwner, FALSE) == 0;
  ::ShowWindow(m_hDlg, SW_SHOW);
  ::UpdateWindow(m_hDlg);
  Pump();
}

void CProgressWindow::Close() {
  if (!m_hDlg) return;
  // The owner first, so that it is there to be activated when the window goes.
  if (m_fOwnerDisabled) ::EnableWindow(m_hOwner, TRUE);
  m_fOwnerDisabled = false;
  HWND hDlg = m_hDlg;
  m_hDlg = nullptr;
  ::DestroyWindow(hDlg);
}

void CProgressWindow::SetText(uint32_t idsText) {
  if (!m_hDlg) return;
  char16_t sz[128];
  LoadResString(idsText, sz, 128);
  ::SetWindowTextW(m_hDlg, W(sz));
  ::SetDlgItemTextW(m_hDlg, IDC_PROGRESS_TEXT, W(sz));
  Pump();
}

void CProgressWindow::SetPos(int32_t nPos) {
  if (!m_hDlg) return;
  ::SendDlgItemMessageW(m_hDlg, IDC_PROGRESS_BAR, PBM_SETPOS, WPARAM(nPos), 0);
  Pump();
}

void CProgressWindow::Pump() {
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

INT_PTR CALLBACK CProgressWindow::Proc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_INITDIALOG) {
    ::SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
    return TRUE;
  }
  auto* p = reinterpret_cast<CProgressWindow*>(::GetWindowLongPtrW(hDlg, DWLP_USER));
  if (uMsg == WM_COMMAND && LOWORD(wParam) == IDCANCEL && p) {
    p->m_fCancel = true;
    ::EnableWindow(::GetDlgItem(hDlg, IDCANCEL), FALSE);
    return TRUE;
  }
  return FALSE;
}
