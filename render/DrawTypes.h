// Drawing types: type code -> drawing resources. Areas and lines take their
// styles from the current skin ("day.skin" or "night.skin") or, without one,
// from the built-in tables; points always from the built-in table. Also the
// map label fonts, the rotated label font cache, the shared stock of fonts,
// pens and brushes, and night mode.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "map/DrawSink.h"
#include "platform/Canvas.h"

// Label style of areas and points: font and colour.
struct LabelStyle {
  const platform::CFont* pFont;
  COLORREF crText;
};

// Label font selectors of lines.
enum LabelFontSelector : int {
  lfSmall = 0,
  lfMedium = 1,
};
const int c_cLabelFontSelectors = 2;

// Label style of lines: font selector (the font comes from GetLabelFont for
// the label's angle), colour and flag (the label sits closer to the line).
struct LineLabelStyle {
  int nSelector;
  COLORREF crText;
  bool fFlag;
};

// ---------------------------------------------------------------------------
// Type tables and the look-up

// Skin fill kinds besides pattern numbers n > 0.
const int c_nFillSolid = 0;
const int c_nFillNone = -2;

// Pen style of a skin line entry: "none" means no pen at all.
const int c_nPenNone = -1;

struct SkinArea {
  uint16_t wFirst;
  uint16_t wLast;  // 0: the same as wFirst
  int nFill;       // c_nFillSolid, c_nFillNone or a pattern number
  COLORREF crFill;
  COLORREF crLabel;
};

struct SkinPen {
  int nStyle;  // c_nPenNone or a platform::PenStyle
  int nWidth;
  int nHighWidth;
  COLORREF cr;
};

struct SkinLine {
  uint16_t wFirst;
  uint16_t wLast;
  SkinPen pen1;
  SkinPen pen2;
  int nLabelSelector;
  COLORREF crLabel;
  bool fFlag;
};

const size_t c_cMaxSkinEntries = 256;

// The parsed text of a skin file.
struct SkinDefinition {
  COLORREF crBackground;
  std::vector<SkinArea> areas;
  std::vector<SkinLine> lines;
};

// Parses a skin file's bytes. False for a malformed file (no "polygons"
// line, a bad entry, more than 256 entries in a section).
bool ParseSkin(const uint8_t* pData, size_t cbData, SkinDefinition& skin);

// The binary search over entries sorted by first type: the index of the
// entry whose range holds wType, or -1. pfnFirst/pfnLast read an entry.
template <typename T>
int FindTypeEntry(const T* pEntries, size_t cEntries, uint16_t wType);

// ---------------------------------------------------------------------------
// The skin object

class CSkin {
 public:
  explicit CSkin(const SkinDefinition& def);
  ~CSkin();
  CSkin(const CSkin&) = delete;
  CSkin& operator=(const CSkin&) = delete;

  struct Area {
    SkinArea def;
    LabelStyle label;
    const platform::CBrush* pBrush;
  };
  struct Line {
    SkinLine def;
    LineLabelStyle label;
    const platform::CPen* pPen1;  // null for "none"
    const platform::CPen* pPen2;
  };

  const Area* FindArea(uint16_t wType) const;
  const Line* FindLine(uint16_t wType) const;
  COLORREF GetBackgroundColour() const { return m_crBackground; }
  const platform::CBrush* GetBackgroundBrush() const { return m_pBackground.get(); }
  size_t GetAreaCount() const { return m_areas.size(); }
  size_t GetLineCount() const { return m_lines.size(); }

 private:
  struct TypeRange {
    uint16_t wFirst;
    uint16_t wLast;
  };
  std::vector<Area> m_areas;
  std::vector<Line> m_lines;
  std::vector<TypeRange> m_areaRanges;  // the entries' types, for the search
  std::vector<TypeRange> m_lineRanges;
  COLORREF m_crBackground;
  std::unique_ptr<platform::CBrush> m_pBackground;
  // Every brush and pen the skin made (not the stock null brush).
  std::vector<std::unique_ptr<platform::CCanvasObject>> m_objects;
};

// ---------------------------------------------------------------------------
// The operations of the map display

void InitDrawTypes();
void FreeDrawTypes();
bool AreDrawTypesReady();

const platform::CBrush* GetBackgroundBrush();
COLORREF GetBackgroundColour();
const platform::CBrush* GetAreaBrush(uint16_t wType);
const LabelStyle* GetAreaLabelStyle(uint16_t wType);
// A line is drawn with its pen (pen 1, the casing) and then its core pen
// (pen 2) over it; null: that pen is not drawn.
const platform::CPen* GetLinePen(uint16_t wType);
const platform::CPen* GetLineCorePen(uint16_t wType);
const LineLabelStyle* GetLineLabelStyle(uint16_t wType);
const platform::CIcon* GetPointIcon(uint16_t wType);
const LabelStyle* GetPointLabelStyle(uint16_t wType);
size_t GetPointTypeCount();
uint16_t GetPointType(size_t nIndex);
// The rotated label font of the selector for a whole-degree angle -90..90.
const platform::CFont* GetLabelFont(int nSelector, int nAngle);

// Loads the skin file of that name from the program's folder. Reports an
// unreadable file (2002) or a malformed one (2129); null then.
CSkin* LoadSkin(const char16_t* pszName);
// Tools: skins from this folder instead of the program's (null: the
// program's folder again).
void SetSkinFolder(const char16_t* pszFolder);
void SetDaySkin(bool fDay, bool fAutomatic);
// The current skin (null: built-in styles) and whether it is the day one.
const CSkin* GetCurrentSkin();
bool IsDaySkinCurrent();

// Night mode ("NightMode" 1 day, 2 night, 3 automatic).
const uint32_t c_nNightModeDay = 1;
const uint32_t c_nNightModeNight = 2;
const uint32_t c_nNightModeAuto = 3;
// Reads "NightMode"; 0 or a missing value becomes 3 and is saved.
uint32_t GetNightMode();
// The menu bitmap id that shows a night mode (the "Night mode" item).
uint32_t GetNightModeBitmap(uint32_t nMode);

// What the automatic mode needs of the current fix.
struct NightModeFix {
  bool fValidPosition;
  int nStatus;        // FixStatus
  double fTime;       // days since 1899-12-30 UTC
  double fLongitude;  // degrees
  double fLatitude;
  // A fix without a time is judged at the system's time, never at day 0.
  bool fValidTime = true;
};
// Fix status values that are not good enough for the automatic mode:
// invalid, unknown, 2D and 2D differential.
bool IsFixGoodForNightMode(int nStatus);
typedef bool (*NightModeFixSource)(NightModeFix& fix);
// The positioning layer installs the reader of the current fix.
void SetNightModeFixSource(NightModeFixSource pfn);

// The automatic decision: 1 day, 0 night, -1 leave the skin alone (no
// sunrise or sunset that day). The system date is taken from fSystemDays.
int DecideDaylight(const NightModeFix& fix, double fSystemDays);
void UpdateNightMode();

// The drawing types as map readers see them.
CStyleSource* CreateStyleSource();

// Tests: the clock of the 15-second guard (days since 1899-12-30 UTC).
typedef double (*NightClock)();
void SetNightClockForTests(NightClock pfn);

// The shared stock created by the shell at start.
struct SharedStock {
  const platform::CFont* pFont10;  // character height 10
  const platform::CFont* pFont12;
  const platform::CFont* pFont13;
  const platform::CFont* pFont14;
  const platform::CFont* pFont22;
  const platform::CPen* pPenFrame;
  const platform::CPen* pPenNull;
  const platform::CPen* pPenWhite3;
  const platform::CPen* pPenWhite1;
  const platform::CPen* pPenBlack;
  const platform::CPen* pPenGray;
  const platform::CPen* pPenBlue;
  const platform::CPen* pPenRed;
  const platform::CBrush* pBrushNull;
  // Solid brushes by colour (GetStockBrush).
};
void CreateSharedStock(COLORREF crWindowFrame);
void FreeSharedStock();
const SharedStock& GetSharedStock();
// The shared solid brush of a stock colour, or null for another colour.
const platform::CBrush* GetStockBrush(COLORREF cr);

// ---------------------------------------------------------------------------

template <typename T>
int FindTypeEntry(const T* pEntries, size_t cEntries, uint16_t wType) {
  if (pEntries == nullptr || cEntries == 0)
    return -1;
  auto matches = [&](size_t i) {
    uint16_t wLast = pEntries[i].wLast != 0 ? pEntries[i].wLast : pEntries[i].wFirst;
    return pEntries[i].wFirst <= wType && wType <= wLast;
  };
  size_t a = 0, b = cEntries - 1;
  for (;;) {
    if (matches(a))
      return int(a);
    if (matches(b))
      return int(b);
    if (b == a || b - a == 1)
      return -1;
    size_t m = (a + b) / 2;
    if (pEntries[m].wFirst < wType)
      a = m;
    else
      b = m;
  }
}
