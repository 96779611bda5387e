// Gauges: named live values (speed, trip distance, time to the next route
// point, free memory ...) with a caption, a description, a way to draw
// themselves into a cell and, for some, a state that survives restarts.
// Gauges are grouped into twelve pages; the trip computer and the map's
// gauge strip look them up by identifier in one registry.
//
// Gauges are touched on the main window's thread only. Every new fix is
// handed to all gauges as a copy (UpdateAllGauges); nothing here reads the
// position hub's fix directly.
#pragma once
#include <cstdint>
#include <string>

#include "gps/GpsFix.h"
#include "platform/Canvas.h"

// Capacities of the texts of a gauge (terminator included).
const int c_cchGaugeValue = 32;
const int c_cchGaugeUnit = 16;

// One gauge. Operations in slot order; all but GetText do nothing unless a
// gauge overrides them.
class CGauge {
 public:
  CGauge() = default;
  virtual ~CGauge() = default;
  CGauge(const CGauge&) = delete;
  CGauge& operator=(const CGauge&) = delete;
  // Reads the saved state (once, after the settings are open).
  virtual void Load() {}
  // Clears the value and its saved copy (resettable gauges).
  virtual void Reset() {}
  // Kept for the slot order; nothing calls it.
  virtual void Reserved() {}
  virtual void Update(const GpsFix& fix) {}
  // The receiver reports no position: forget the previous fix.
  virtual void PositionLost() {}
  // Draws the value and its unit for a cell whose top-left is (x, y).
  virtual void Draw(platform::CCanvas* pCanvas, bool fSmall, int x, int y);
  // Writes the value and the unit (each buffer holds cch units); an empty
  // value when there is nothing to show.
  virtual void GetText(char16_t* pszValue, char16_t* pszUnit, int cch) = 0;
  // The value as a number in the program's internal unit (metres, days,
  // km/h, m/s, m²), for tools and checks; false when the gauge has none.
  virtual bool GetNumber(double& f) { return false; }
};

struct GaugeDesc;

struct GaugePage {
  int nKind;  // 1
  const char16_t* pszId;
  uint32_t idsCaption;
  GaugeDesc* pFirst;  // the page's gauges, newest registration first
  int iPage;
};

struct GaugeDesc {
  int nKind;  // 0
  CGauge* pGauge;
  GaugePage* pPage;
  const char16_t* pszId;
  uint32_t idsCaption;
  uint32_t idsDescription;
  uint8_t fResettable;
  uint8_t fSecond;  // 1 for every gauge
  GaugeDesc* pNextAll;
  GaugeDesc* pNextInPage;
};

const int c_cGaugePages = 12;

// Registration (static initialisers): each links only its own entry.
void RegisterGaugePage(GaugePage* pPage, int iPage, const char16_t* pszId, uint32_t idsCaption);
void RegisterGauge(GaugeDesc* pDesc, CGauge* pGauge, GaugePage* pPage, const char16_t* pszId, uint32_t idsCaption,
                   uint32_t idsDescription, bool fResettable, bool fSecond);

// The registry.
GaugePage* GetGaugePage(int iPage);  // page table order, null outside 0..11
GaugeDesc* GetFirstGauge();           // all gauges, newest registration first
// Exact comparison; null when absent (also for null or empty identifiers).
GaugeDesc* FindGauge(const char16_t* pszId);
int CountGauges();

// The texts of a gauge and a page in the interface language.
std::u16string GaugeCaption(const GaugeDesc* pDesc);
std::u16string GaugeDescription(const GaugeDesc* pDesc);
std::u16string GaugePageCaption(const GaugePage* pPage);

// Load of every gauge: called once at start-up after the settings store is
// open (and by tools that run the gauges).
void LoadAllGauges();
// A copy of the current fix for every gauge, in list order.
void UpdateAllGauges(const GpsFix& fix);
void GaugesPositionLost();
// Reset of every gauge (the caller asks the user first).
void ResetAllGauges();
// The value and unit texts of a gauge ("-" when it has no value).
void GetGaugeText(const GaugeDesc* pDesc, char16_t* pszValue, char16_t* pszUnit, int cch);

// Drawing of cells: the shared fonts (Tahoma) in the screen's vertical scale.
struct GaugeFonts {
  platform::CFont* pCaption;
  platform::CFont* pValue;
  platform::CFont* pNarrowValue;
  platform::CFont* pUnit;
};
// Fonts of small (fSmall) or large cells; made on first use for the scale
// factors of render/Screen.h and kept until DeleteGaugeFonts.
const GaugeFonts& GetGaugeFonts(bool fSmall);
void DeleteGaugeFonts();
// One whole cell: caption, then the gauge's Draw.
void DrawGaugeCell(platform::CCanvas* pCanvas, const GaugeDesc* pDesc, bool fSmall, int x, int y);
