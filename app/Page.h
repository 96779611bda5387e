// The pages of the main window. The window procedure forwards input,
// painting, timers and commands it does not handle to the current page.
// The virtual operations keep this slot order; unnamed slots are page
// specific and not used by the shell.
#pragma once
#include "app/Win.h"
#include "gps/PositionHub.h"

class Page {
 public:
  virtual ~Page() {}                                    // 0
  virtual bool Create() = 0;                            // 1
  virtual void Destroy() = 0;                           // 2
  virtual bool PageQuery3() { return false; }           // 3
  virtual bool IsMapPage() { return false; }            // 4
  virtual bool PageQuery5() { return false; }           // 5
  virtual bool PageQuery6() { return false; }           // 6
  virtual bool IsAvailable() { return true; }           // 7
  virtual void Activate() {}                            // 8
  virtual void Deactivate() {}                          // 9
  virtual void OnMapChanged() {}                        // 10
  virtual void PageSlot11() {}                          // 11
  virtual void PageSlot12() {}                          // 12
  virtual void OnSize() {}                              // 13
  virtual void OnPaint(HDC hdc) = 0;                    // 14
  virtual void OnDown(int x, int y) {}                  // 15
  virtual void OnMove(int x, int y) {}                  // 16
  virtual void OnUp(int x, int y) {}                    // 17
  virtual void OnContextMenu(int x, int y) {}           // 18
  virtual void OnDoubleClick(int x, int y) {}           // 19
  virtual bool HasScroll() { return false; }            // 20
  virtual void OnScroll(int nCode, int nPos) {}         // 21
  virtual void OnTimer(UINT_PTR id) {}                  // 22
  virtual bool OnCommand(UINT id) { return false; }     // 23
  virtual bool CanZoomIn() { return false; }            // 24
  virtual bool CanZoomOut() { return false; }           // 25
  virtual void ZoomIn() {}                              // 26
  virtual void ZoomOut() {}                             // 27
  virtual void ToggleGaugeMode() {}                     // 28
  virtual void PageSlot29() {}                          // 29
  virtual void RefreshMap(bool fFull) {}                // 30
  virtual void OnPeriodic() {}                          // 31
  virtual void OnStatusChanged() {}                     // 32
  virtual void OnPositionChanged(const GpsFix& fix) {}  // 33
  virtual void OnCursorChanged(const MapCursor& cursor) {}  // 34
  virtual void OnSatellitesChanged() {}                 // 35
  virtual void PageSlot36() {}                          // 36
  virtual void PageSlot37() {}                          // 37
  virtual void OnOptionsChanged(bool fMapChanged, bool fUnitsChanged) {}  // 38
};
