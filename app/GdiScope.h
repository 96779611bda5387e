// Scoped GDI state: a window's device context released, an object selected
// back, a memory DC deleted when the scope ends, whichever way it ends.
#pragma once
#include "app/Win.h"

// GetDC / ReleaseDC (null window: the screen).
class CWindowDc {
 public:
  explicit CWindowDc(HWND hWnd) : m_hWnd(hWnd), m_hdc(::GetDC(hWnd)) {}
  ~CWindowDc() {
    if (m_hdc) ::ReleaseDC(m_hWnd, m_hdc);
  }
  CWindowDc(const CWindowDc&) = delete;
  CWindowDc& operator=(const CWindowDc&) = delete;
  operator HDC() const { return m_hdc; }

 private:
  HWND m_hWnd;
  HDC m_hdc;
};

// CreateCompatibleDC / DeleteDC.
class CMemoryDc {
 public:
  explicit CMemoryDc(HDC hdc) : m_hdc(::CreateCompatibleDC(hdc)) {}
  ~CMemoryDc() {
    if (m_hdc) ::DeleteDC(m_hdc);
  }
  CMemoryDc(const CMemoryDc&) = delete;
  CMemoryDc& operator=(const CMemoryDc&) = delete;
  operator HDC() const { return m_hdc; }

 private:
  HDC m_hdc;
};

// SelectObject, and the object that was selected before put back.
class CSelected {
 public:
  CSelected(HDC hdc, HGDIOBJ hObject) : m_hdc(hdc), m_hOld(hObject ? ::SelectObject(hdc, hObject) : nullptr) {}
  ~CSelected() {
    if (m_hOld) ::SelectObject(m_hdc, m_hOld);
  }
  CSelected(const CSelected&) = delete;
  CSelected& operator=(const CSelected&) = delete;

 private:
  HDC m_hdc;
  HGDIOBJ m_hOld;
};
