// The pages of the main window. The window procedure forwards input,
// painting, timers and commands it does not handle to the current page.
#pragma once
#include "app/Win.h"
#include "gps/PositionHub.h"

class Page {
 public:
  virtual ~Page() {}
  virtual bool Create() = 0;
  virtual void Destroy() = 0;
  virtual bool IsMapPage() { return false; }
  virtual bool IsAvailable() { return true; }
  virtual void Activate() {}
  virtual void Deactivate() {}
  virtual void OnMapChanged() {}
  virtual void OnSize() {}
  virtual void OnPaint(HDC hdc) = 0;
  virtual void OnDown(int x, int y) {}
  virtual void OnMove(int x, int y) {}
  virtual void OnUp(int x, int y) {}
  virtual void OnContextMenu(int x, int y) {}
  virtual void OnDoubleClick(int x, int y) {}
  virtual bool HasScroll() { return false; }
  virtual void OnScroll(int nCode, int nPos) {}
  virtual void OnTimer(UINT_PTR id) {}
  virtual bool OnCommand(UINT id) { return false; }
  virtual bool CanZoomIn() { return false; }
  virtual bool CanZoomOut() { return false; }
  virtual void ZoomIn() {}
  virtual void ZoomOut() {}
  virtual void ToggleGaugeMode() {}
  virtual void RefreshMap(bool fFull) {}
  virtual void OnPeriodic() {}
  virtual void OnStatusChanged() {}
  virtual void OnPositionChanged(const GpsFix& fix) {}
  virtual void OnCursorChanged(const MapCursor& cursor) {}
  virtual void OnSatellitesChanged() {}
  virtual void OnOptionsChanged(bool fMapChanged, bool fUnitsChanged) {}
};
