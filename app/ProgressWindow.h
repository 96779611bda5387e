#pragma once
// The progress window of long operations (a search, a route calculation, a
// collection index build): a modeless dialog over its owner, which takes no
// input meanwhile. Each step of the operation moves the bar, which lets the
// message loop run, so the window paints and its Cancel button works.

#include "app/Win.h"

#include <cstdint>

class CProgressWindow {
 public:
  CProgressWindow() = default;
  ~CProgressWindow() { Close(); }
  CProgressWindow(const CProgressWindow&) = delete;
  CProgressWindow& operator=(const CProgressWindow&) = delete;

  // Shows the window over hOwner (disabled until Close) with the bar's range
  // 0..nRange and, unless idsText is 0, that text as its title and text; the
  // cancel flag is cleared. A window still open is closed first.
  void Open(HWND hOwner, uint32_t idsText, int32_t nRange);
  // Enables the owner again and removes the window; the cancel flag stays.
  void Close();
  bool IsOpen() const { return m_hDlg != nullptr; }

  // Each lets the message loop run after the change.
  void SetText(uint32_t idsText);
  void SetPos(int32_t nPos);
  void Pump();

  volatile bool* CancelFlag() { return &m_fCancel; }
  bool IsCancelled() const { return m_fCancel; }

 private:
  static INT_PTR CALLBACK Proc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

  HWND m_hDlg = nullptr;
  HWND m_hOwner = nullptr;
  bool m_fOwnerDisabled = false;
  volatile bool m_fCancel = false;
};
