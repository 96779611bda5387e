// Drawing types: built-in styles, skins, fonts, the shared stock and night
// mode.
#include "render/DrawTypes.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <tuple>
#include <cstring>
#include <map>

#include "res/Failure.h"
#include "res/Res.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "geo/Sun.h"
#include "map/MapParser.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/FileMapping.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "render/BuiltinStyles.h"
#include "render/LabelGen.h"
#include "render/Patterns.h"
#include "render/PointIcons.h"
#include "render/Screen.h"


using platform::CBrush;
using platform::CFont;
using platform::CIcon;
using platform::CPen;

namespace render {

namespace {
int g_nScaleX = 1;
int g_nScaleY = 1;
}  // namespace

void SetScreenScale(int nScaleX, int nScaleY) {
  g_nScaleX = nScaleX > 0 ? nScaleX : 1;
  g_nScaleY = nScaleY > 0 ? nScaleY : 1;
}
int GetScaleFactorX() { return g_nScaleX; }
int GetScaleFactorY() { return g_nScaleY; }

}  // namespace render

using render::PickByDpi;
using render::ScaleX;
using render::ScaleY;

// ---------------------------------------------------------------------------
// Skin grammar

namespace {

const double c_fNightGuardDays = 0.00017361;  // 15 seconds

struct ColourName {
  const char* psz;
  COLORREF cr;
};
const ColourName c_rgColourNames[] = {
    {"black", 0x000000},  {"white", 0xFFFFFF},  {"ltgray", 0xC0C0C0},  {"gray", 0x808080},
    {"dkgray", 0x606060}, {"red", 0x0000FF},    {"dkred", 0x000080},   {"green", 0x00FF00},
    {"dkgreen", 0x008000}, {"blue", 0xFF0000},  {"dkblue", 0x800000},  {"yellow", 0x00FFFF},
    {"dkyellow", 0x008080}, {"cyan", 0xFFFF00}, {"dkcyan", 0x808000},  {"magenta", 0xFF00FF},
    {"dkmagenta", 0x800080},
};

// A cursor over one line of the skin text.
class CSkinLine {
 public:
  CSkinLine(const uint8_t* p, size_t cb) : m_p(p), m_cb(cb), m_i(0) {}

  void SkipSpaces() {
    while (m_i < m_cb && (m_p[m_i] == ' ' || m_p[m_i] == '\t'))
      ++m_i;
  }
  bool AtEnd() {
    SkipSpaces();
    return m_i >= m_cb;
  }
  // A keyword matches by its own length; the next token starts after it.
  bool Keyword(const char* psz) {
    SkipSpaces();
    size_t cch = std::strlen(psz);
    if (cch > m_cb - m_i || std::memcmp(m_p + m_i, psz, cch) != 0)
      return false;
    m_i += cch;
    return true;
  }
  bool Hex16(uint16_t& w) {
    SkipSpaces();
    uint32_t v = 0;
    size_t cDigits = 0;
    while (m_i < m_cb && HexDigit(m_p[m_i]) >= 0) {
      v = v * 16 + uint32_t(HexDigit(m_p[m_i]));
      if (v > 0xFFFF)
        return false;
      ++m_i;
      ++cDigits;
    }
    w = uint16_t(v);
    return cDigits > 0 && Separated();
  }
  bool Decimal(int& n, bool fAllowMinus) {
    SkipSpaces();
    bool fMinus = false;
    if (fAllowMinus && m_i < m_cb && m_p[m_i] == '-') {
      fMinus = true;
      ++m_i;
    }
    int64_t v = 0;
    size_t cDigits = 0;
    while (m_i < m_cb && m_p[m_i] >= '0' && m_p[m_i] <= '9') {
      v = v * 10 + (m_p[m_i] - '0');
      if (v > 100000)
        return false;
      ++m_i;
      ++cDigits;
    }
    n = int(fMinus ? -v : v);
    return cDigits > 0 && Separated();
  }
  bool Colour(COLORREF& cr) {
    SkipSpaces();
    for (const ColourName& name : c_rgColourNames) {
      if (Keyword(name.psz)) {
        cr = name.cr;
        return true;
      }
    }
    if (m_cb - m_i < 6)
      return false;
    int rgb[3];
    for (int k = 0; k < 3; ++k) {
      int hi = HexDigit(m_p[m_i + 2 * k]), lo = HexDigit(m_p[m_i + 2 * k + 1]);
      if (hi < 0 || lo < 0)
        return false;
      rgb[k] = hi * 16 + lo;
    }
    m_i += 6;
    if (!Separated())
      return false;
    cr = RGB(rgb[0], rgb[1], rgb[2]);
    return true;
  }

 private:
  static int HexDigit(uint8_t ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
  }
  // A number ends at a space or the end of the line.
  bool Separated() const { return m_i >= m_cb || m_p[m_i] == ' ' || m_p[m_i] == '\t'; }

  const uint8_t* m_p;
  size_t m_cb;
  size_t m_i;
};

bool ParsePen(CSkinLine& line, SkinPen& pen) {
  if (line.Keyword("none")) pen.nStyle = c_nPenNone;
  else if (line.Keyword("solid")) pen.nStyle = platform::psSolid;
  else if (line.Keyword("dash")) pen.nStyle = platform::psDash;
  else if (line.Keyword("dot")) pen.nStyle = platform::psDot;
  else if (line.Keyword("null")) pen.nStyle = platform::psNull;
  else return false;
  return line.Decimal(pen.nWidth, false) && line.Decimal(pen.nHighWidth, false) && line.Colour(pen.cr);
}

bool ParseAreaLine(CSkinLine& line, SkinArea& area) {
  if (!line.Hex16(area.wFirst) || !line.Hex16(area.wLast))
    return false;
  if (!line.Decimal(area.nFill, true))
    return false;
  if (area.nFill < 0 && area.nFill != c_nFillNone)
    return false;
  return line.Colour(area.crFill) && line.Colour(area.crLabel);
}

bool ParseLineLine(CSkinLine& line, SkinLine& entry) {
  if (!line.Hex16(entry.wFirst) || !line.Hex16(entry.wLast))
    return false;
  if (!ParsePen(line, entry.pen1) || !ParsePen(line, entry.pen2))
    return false;
  if (line.Keyword("small")) entry.nLabelSelector = lfSmall;
  else if (line.Keyword("medium")) entry.nLabelSelector = lfMedium;
  else return false;
  if (!line.Colour(entry.crLabel))
    return false;
  if (line.Keyword("true")) entry.fFlag = true;
  else if (line.Keyword("false")) entry.fFlag = false;
  else return false;
  return true;
}

}  // namespace

bool ParseSkin(const uint8_t* pData, size_t cbData, SkinDefinition& skin) {
  skin = SkinDefinition();
  if (pData == nullptr && cbData != 0)
    return false;
  // Split into lines (LF or CR LF).
  std::vector<std::pair<const uint8_t*, size_t>> lines;
  size_t iStart = 0;
  for (size_t i = 0; i <= cbData; ++i) {
    if (i == cbData || pData[i] == '\n') {
      size_t cb = i - iStart;
      if (cb > 0 && pData[iStart + cb - 1] == '\r')
        --cb;
      if (i < cbData || cb > 0)
        lines.emplace_back(pData + iStart, cb);
      iStart = i + 1;
    }
  }
  auto isComment = [](const std::pair<const uint8_t*, size_t>& ln) { return ln.second > 0 && ln.first[0] == '#'; };
  auto isBlank = [](const std::pair<const uint8_t*, size_t>& ln) {
    for (size_t i = 0; i < ln.second; ++i)
      if (ln.first[i] != ' ' && ln.first[i] != '\t')
        return false;
    return true;
  };
  auto beginsWith = [](const std::pair<const uint8_t*, size_t>& ln, const char* psz) {
    size_t cch = std::strlen(psz);
    return ln.second >= cch && std::memcmp(ln.first, psz, cch) == 0;
  };
  size_t iLine = 0;
  // 1. The background colour.
  if (iLine >= lines.size())
    return false;
  {
    CSkinLine line(lines[iLine].first, lines[iLine].second);
    if (!line.Colour(skin.crBackground))
      return false;
    ++iLine;
  }
  // 2. "polygons" (comments and blank lines before it are allowed).
  while (iLine < lines.size() && (isComment(lines[iLine]) || isBlank(lines[iLine])))
    ++iLine;
  if (iLine >= lines.size() || !beginsWith(lines[iLine], "polygons"))
    return false;
  ++iLine;
  // 3. Area lines until "polylines"; the first line is always an area line.
  bool fFirst = true;
  for (; iLine < lines.size(); ++iLine) {
    const auto& ln = lines[iLine];
    if (!fFirst && beginsWith(ln, "polylines"))
      break;
    fFirst = false;
    if (isComment(ln) || isBlank(ln))
      continue;
    SkinArea area = {};
    CSkinLine line(ln.first, ln.second);
    if (!ParseAreaLine(line, area))
      return false;
    if (skin.areas.size() >= c_cMaxSkinEntries)
      return false;
    skin.areas.push_back(area);
  }
  if (iLine < lines.size())
    ++iLine;  // the "polylines" line
  // 4. Line entries until the end.
  for (; iLine < lines.size(); ++iLine) {
    const auto& ln = lines[iLine];
    if (isComment(ln) || isBlank(ln))
      continue;
    SkinLine entry = {};
    CSkinLine line(ln.first, ln.second);
    if (!ParseLineLine(line, entry))
      return false;
    if (skin.lines.size() >= c_cMaxSkinEntries)
      return false;
    skin.lines.push_back(entry);
  }
  // Look-ups are binary searches: keep the entries in order of first type.
  std::stable_sort(skin.areas.begin(), skin.areas.end(),
                   [](const SkinArea& a, const SkinArea& b) { return a.wFirst < b.wFirst; });
  std::stable_sort(skin.lines.begin(), skin.lines.end(),
                   [](const SkinLine& a, const SkinLine& b) { return a.wFirst < b.wFirst; });
  return true;
}

// ---------------------------------------------------------------------------
// State of the drawing types

namespace {

struct DrawTypesState {
  bool fReady = false;
  // Map label fonts F12, F14, F14B, F16B, F18B.
  std::unique_ptr<CFont> rgMapFonts[c_cMapLabelFonts];
  // Rotated label fonts per selector and whole-degree angle (index angle + 90).
  std::unique_ptr<CFont> rgRotated[c_cLabelFontSelectors][181];
  // Built-in objects: one per distinct brush or pen.
  std::vector<std::unique_ptr<platform::CCanvasObject>> objects;
  std::vector<const CBrush*> areaBrushes;  // per built-in area entry
  std::vector<LabelStyle> areaLabels;
  std::vector<const CPen*> linePens1;
  std::vector<const CPen*> linePens2;
  std::vector<LineLabelStyle> lineLabels;
  std::vector<LabelStyle> pointLabels;
  std::vector<LabelStyle> lowByteLabels;
  const CBrush* pFallbackBrush = nullptr;  // pattern 106
  const CPen* pFallbackPen = nullptr;      // dotted 0x0000FF 1/1
  const CPen* pSkinFallbackPen = nullptr;  // black 1/2
  std::unique_ptr<CBrush> pWhiteBrush;
  // Icons by resource id, made on first use.
  std::map<uint32_t, std::unique_ptr<CIcon>> icons;
  std::unique_ptr<CSkin> pSkin;
  bool fDaySkin = true;
  bool fDayFailed = false;  // the skin file could not be loaded
  bool fNightFailed = false;
  double fLastAutoCheck = -1e9;
};

DrawTypesState& State() {
  static DrawTypesState s_state;
  return s_state;
}

NightModeFixSource g_pfnFixSource = nullptr;
NightClock g_pfnNightClock = nullptr;

double NowDays() {
  if (g_pfnNightClock != nullptr)
    return g_pfnNightClock();
  platform::CSystemTime st;
  platform::GetSystemTimeUtc(st);
  return platform::SystemTimeToDays(st);
}

CFont* NewTahoma(int nHeight, int nWeight) {
  return new CFont(u"Tahoma", nHeight, 0, nWeight, 0);
}

// Shared built-in objects: one per distinct description.
struct BrushKey {
  int nKind, nPattern;
  COLORREF cr;
  bool operator<(const BrushKey& o) const {
    return std::tie(nKind, nPattern, cr) < std::tie(o.nKind, o.nPattern, o.cr);
  }
};
struct PenKey {
  int nStyle, nWidth;
  COLORREF cr;
  bool operator<(const PenKey& o) const { return std::tie(nStyle, nWidth, cr) < std::tie(o.nStyle, o.nWidth, o.cr); }
};

const CBrush* MakeBrush(std::vector<std::unique_ptr<platform::CCanvasObject>>& owner, int nKind, int nPattern,
                        COLORREF cr) {
  CBrush* p = nullptr;
  switch (nKind) {
    case bbSolid: p = new CBrush(platform::bkSolid, cr); break;
    case bbPattern: p = CreatePatternBrushOf(nPattern, false, 0); break;
    case bbTinted: p = CreatePatternBrushOf(nPattern, true, cr); break;
    default: return platform::GetNullBrush();
  }
  if (p != nullptr)
    owner.emplace_back(p);
  return p;
}

const CPen* MakePen(std::vector<std::unique_ptr<platform::CCanvasObject>>& owner, const BuiltinPen& pen) {
  if (pen.nStyle < 0)
    return nullptr;
  CPen* p = new CPen(pen.nStyle, PickByDpi(pen.nWidth, pen.nHighWidth), pen.cr);
  owner.emplace_back(p);
  return p;
}

const LabelStyle* AreaLabelOf(const DrawTypesState& s, size_t i) {
  return s.areaLabels[i].pFont != nullptr ? &s.areaLabels[i] : nullptr;
}

// Loads icon id, keeps the middle 16 × 16 of its 32 × 32 image (scaled by
// the screen factors).
std::unique_ptr<CIcon> BuildIcon(uint32_t id) {
  const int sx = render::GetScaleFactorX(), sy = render::GetScaleFactorY();
  std::unique_ptr<CIcon> pBig(platform::LoadIconResource(GetPrimaryModule(), id, 32 * sx, 32 * sy));
  if (pBig == nullptr)
    pBig.reset(platform::LoadIconResource(platform::GetSelfModule(), id, 32 * sx, 32 * sy));
  if (pBig == nullptr)
    return nullptr;
  auto pSmall = std::make_unique<CIcon>(16 * sx, 16 * sy);
  for (int y = 0; y < 16 * sy; ++y)
    for (int x = 0; x < 16 * sx; ++x)
      pSmall->m_px[size_t(y) * size_t(pSmall->m_cx) + size_t(x)] = pBig->At(x + 8 * sx, y + 8 * sy);
  ASSERT(pSmall != nullptr);
  return pSmall;
}

const CIcon* IconById(uint32_t id) {
  DrawTypesState& s = State();
  auto it = s.icons.find(id);
  if (it != s.icons.end())
    return it->second.get();
  std::unique_ptr<CIcon> pIcon = BuildIcon(id);
  if (pIcon == nullptr && id != c_idIconFallback) {
    ASSERT(false);
    const CIcon* pFallback = IconById(c_idIconFallback);
    s.icons[id] = nullptr;
    // Share the fallback: remember the id as missing and answer the fallback.
    return pFallback;
  }
  const CIcon* p = pIcon.get();
  s.icons[id] = std::move(pIcon);
  return p;
}

const BuiltinPoint* FindPoint(uint16_t wType, const LabelStyle** ppLabel) {
  DrawTypesState& s = State();
  size_t cPoints = 0;
  const BuiltinPoint* pPoints;
  int i;
  if (wType >= 0x1600 && wType <= 0x1BFF) {
    pPoints = GetBuiltinLowBytePoints(cPoints);
    i = FindTypeEntry(pPoints, cPoints, uint16_t(wType & 0xFF));
    if (i >= 0 && ppLabel != nullptr)
      *ppLabel = size_t(i) < s.lowByteLabels.size() && s.lowByteLabels[size_t(i)].pFont ? &s.lowByteLabels[size_t(i)] : nullptr;
  } else {
    pPoints = GetBuiltinPoints(cPoints);
    i = FindTypeEntry(pPoints, cPoints, wType);
    if (i >= 0 && ppLabel != nullptr)
      *ppLabel = size_t(i) < s.pointLabels.size() && s.pointLabels[size_t(i)].pFont ? &s.pointLabels[size_t(i)] : nullptr;
  }
  return i >= 0 ? &pPoints[i] : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// CSkin

namespace {
// Wider pens than this draw nothing useful and only cost time.
const int c_nMaxPenWidth = 64;
}  // namespace

CSkin::CSkin(const SkinDefinition& def) : m_crBackground(def.crBackground) {
  m_pBackground = std::make_unique<CBrush>(platform::bkSolid, def.crBackground);
  const CFont* pF14 = State().rgMapFonts[mfF14].get();
  for (const SkinArea& a : def.areas) {
    Area area = {a, {pF14, a.crLabel}, nullptr};
    if (a.nFill == c_nFillNone) {
      area.pBrush = platform::GetNullBrush();
    } else if (a.nFill == c_nFillSolid) {
      CBrush* p = new CBrush(platform::bkSolid, a.crFill);
      m_objects.emplace_back(p);
      area.pBrush = p;
    } else {
      CBrush* p = CreatePatternBrushOf(a.nFill, true, a.crFill);
      if (p != nullptr)
        m_objects.emplace_back(p);
      area.pBrush = p;  // null: the fallback brush
    }
    m_areas.push_back(area);
    m_areaRanges.push_back({a.wFirst, a.wLast});
  }
  for (const SkinLine& l : def.lines) {
    Line line = {l, {l.nLabelSelector, l.crLabel, l.fFlag}, nullptr, nullptr};
    const SkinPen* rgPens[2] = {&l.pen1, &l.pen2};
    const CPen** rgOut[2] = {&line.pPen1, &line.pPen2};
    for (int k = 0; k < 2; ++k) {
      if (rgPens[k]->nStyle == c_nPenNone)
        continue;
      const int nWidth = std::min(PickByDpi(rgPens[k]->nWidth, rgPens[k]->nHighWidth), c_nMaxPenWidth);
      CPen* p = new CPen(rgPens[k]->nStyle, nWidth, rgPens[k]->cr);
      m_objects.emplace_back(p);
      *rgOut[k] = p;
    }
    m_lines.push_back(line);
    m_lineRanges.push_back({l.wFirst, l.wLast});
  }
}

CSkin::~CSkin() = default;

const CSkin::Area* CSkin::FindArea(uint16_t wType) const {
  int i = FindTypeEntry(m_areaRanges.data(), m_areaRanges.size(), wType);
  return i >= 0 ? &m_areas[size_t(i)] : nullptr;
}

const CSkin::Line* CSkin::FindLine(uint16_t wType) const {
  int i = FindTypeEntry(m_lineRanges.data(), m_lineRanges.size(), wType);
  return i >= 0 ? &m_lines[size_t(i)] : nullptr;
}

// ---------------------------------------------------------------------------
// Set-up and tear-down

void InitDrawTypes() {
  DrawTypesState& s = State();
  if (s.fReady)
    return;
  s.rgMapFonts[mfF12].reset(NewTahoma(ScaleY(12), platform::c_nFwNormal));
  s.rgMapFonts[mfF14].reset(NewTahoma(ScaleY(14), platform::c_nFwNormal));
  s.rgMapFonts[mfF14B].reset(NewTahoma(ScaleY(14), platform::c_nFwBold));
  s.rgMapFonts[mfF16B].reset(NewTahoma(ScaleY(16), platform::c_nFwBold));
  s.rgMapFonts[mfF18B].reset(NewTahoma(ScaleY(18), platform::c_nFwBold));

  std::map<BrushKey, const CBrush*> brushes;
  for (size_t i = 0; i < g_cBuiltinAreas; ++i) {
    const BuiltinArea& a = g_rgBuiltinAreas[i];
    BrushKey key = {a.nBrushKind, a.nPattern, a.cr};
    auto it = brushes.find(key);
    const CBrush* p = it != brushes.end() ? it->second : (brushes[key] = MakeBrush(s.objects, a.nBrushKind, a.nPattern, a.cr));
    s.areaBrushes.push_back(p);
    s.areaLabels.push_back({a.nLabelFont >= 0 ? s.rgMapFonts[a.nLabelFont].get() : nullptr, a.crLabel});
  }
  s.pFallbackBrush = brushes[BrushKey{bbPattern, 106, 0}];
  if (s.pFallbackBrush == nullptr)
    s.pFallbackBrush = MakeBrush(s.objects, bbPattern, 106, 0);

  std::map<PenKey, const CPen*> pens;
  auto pen = [&](const BuiltinPen& bp) -> const CPen* {
    if (bp.nStyle < 0)
      return nullptr;
    PenKey key = {bp.nStyle, PickByDpi(bp.nWidth, bp.nHighWidth), bp.cr};
    auto it = pens.find(key);
    return it != pens.end() ? it->second : (pens[key] = MakePen(s.objects, bp));
  };
  for (size_t i = 0; i < g_cBuiltinLines; ++i) {
    const BuiltinLine& l = g_rgBuiltinLines[i];
    s.linePens1.push_back(pen(l.pen1));
    s.linePens2.push_back(pen(l.pen2));
    s.lineLabels.push_back({l.nLabelSelector, l.crLabel, l.fFlag});
  }
  s.pFallbackPen = MakePen(s.objects, BuiltinPen{platform::psDot, 1, 1, 0x0000FF});
  s.pSkinFallbackPen = MakePen(s.objects, BuiltinPen{platform::psSolid, 1, 2, 0x000000});
  s.pWhiteBrush = std::make_unique<CBrush>(platform::bkSolid, 0xFFFFFF);

  size_t cPoints = 0;
  const BuiltinPoint* pPoints = GetBuiltinPoints(cPoints);
  for (size_t i = 0; i < cPoints; ++i)
    s.pointLabels.push_back(
        {pPoints[i].nLabelFont >= 0 ? s.rgMapFonts[pPoints[i].nLabelFont].get() : nullptr, pPoints[i].crLabel});
  pPoints = GetBuiltinLowBytePoints(cPoints);
  for (size_t i = 0; i < cPoints; ++i)
    s.lowByteLabels.push_back(
        {pPoints[i].nLabelFont >= 0 ? s.rgMapFonts[pPoints[i].nLabelFont].get() : nullptr, pPoints[i].crLabel});

  s.fReady = true;
  s.fDaySkin = true;
  s.fDayFailed = false;
  s.fNightFailed = false;
  s.pSkin.reset(LoadSkin(u"day.skin"));
  s.fDayFailed = s.pSkin == nullptr;
  // Map readers ask for styles and interpret labels through these.
  SetDrawTypesFactory(CreateStyleSource);
  SetLabelInterpreter(InterpretLabel);
}

void FreeDrawTypes() {
  DrawTypesState& s = State();
  s.pSkin.reset();
  for (auto& rgRow : s.rgRotated)
    for (auto& p : rgRow)
      p.reset();
  s.icons.clear();
  s.areaBrushes.clear();
  s.areaLabels.clear();
  s.linePens1.clear();
  s.linePens2.clear();
  s.lineLabels.clear();
  s.pointLabels.clear();
  s.lowByteLabels.clear();
  for (auto& p : s.objects)
    { ASSERT(p != nullptr); (void)p; }
  s.objects.clear();
  s.pFallbackBrush = nullptr;
  s.pFallbackPen = nullptr;
  s.pSkinFallbackPen = nullptr;
  s.pWhiteBrush.reset();
  for (auto& p : s.rgMapFonts)
    p.reset();
  s.fReady = false;
  s.fLastAutoCheck = -1e9;
  SetDrawTypesFactory(nullptr);
  SetLabelInterpreter(nullptr);
}

bool AreDrawTypesReady() { return State().fReady; }

// ---------------------------------------------------------------------------
// Look-ups

const CBrush* GetBackgroundBrush() {
  const DrawTypesState& s = State();
  if (s.pSkin != nullptr)
    return s.pSkin->GetBackgroundBrush();
  static const CBrush s_brushWhite(platform::bkSolid, 0xFFFFFF);
  return s.pWhiteBrush != nullptr ? s.pWhiteBrush.get() : &s_brushWhite;
}

COLORREF GetBackgroundColour() {
  const DrawTypesState& s = State();
  return s.pSkin != nullptr ? s.pSkin->GetBackgroundColour() : 0xFFFFFF;
}

const CBrush* GetAreaBrush(uint16_t wType) {
  const DrawTypesState& s = State();
  const CBrush* p = nullptr;
  if (s.pSkin != nullptr) {
    const CSkin::Area* pArea = s.pSkin->FindArea(wType);
    p = pArea != nullptr ? pArea->pBrush : nullptr;
  } else {
    int i = FindTypeEntry(g_rgBuiltinAreas, g_cBuiltinAreas, wType);
    p = i >= 0 && size_t(i) < s.areaBrushes.size() ? s.areaBrushes[size_t(i)] : nullptr;
  }
  return p != nullptr ? p : s.pFallbackBrush;
}

const LabelStyle* GetAreaLabelStyle(uint16_t wType) {
  const DrawTypesState& s = State();
  if (s.pSkin != nullptr) {
    const CSkin::Area* pArea = s.pSkin->FindArea(wType);
    return pArea != nullptr ? &pArea->label : nullptr;
  }
  int i = FindTypeEntry(g_rgBuiltinAreas, g_cBuiltinAreas, wType);
  return i >= 0 && size_t(i) < s.areaLabels.size() ? AreaLabelOf(s, size_t(i)) : nullptr;
}

const CPen* GetLinePen(uint16_t wType) {
  const DrawTypesState& s = State();
  if (s.pSkin != nullptr) {
    const CSkin::Line* pLine = s.pSkin->FindLine(wType);
    if (pLine != nullptr)
      return pLine->pPen1;
    const SharedStock& stock = GetSharedStock();
    return stock.pPenBlack != nullptr ? stock.pPenBlack : s.pSkinFallbackPen;
  }
  int i = FindTypeEntry(g_rgBuiltinLines, g_cBuiltinLines, wType);
  if (i >= 0 && size_t(i) < s.linePens1.size())
    return s.linePens1[size_t(i)];
  return s.pFallbackPen;
}

const CPen* GetLineCorePen(uint16_t wType) {
  const DrawTypesState& s = State();
  if (s.pSkin != nullptr) {
    const CSkin::Line* pLine = s.pSkin->FindLine(wType);
    return pLine != nullptr ? pLine->pPen2 : nullptr;
  }
  int i = FindTypeEntry(g_rgBuiltinLines, g_cBuiltinLines, wType);
  return i >= 0 && size_t(i) < s.linePens2.size() ? s.linePens2[size_t(i)] : nullptr;
}

const LineLabelStyle* GetLineLabelStyle(uint16_t wType) {
  const DrawTypesState& s = State();
  if (s.pSkin != nullptr) {
    const CSkin::Line* pLine = s.pSkin->FindLine(wType);
    return pLine != nullptr ? &pLine->label : nullptr;
  }
  int i = FindTypeEntry(g_rgBuiltinLines, g_cBuiltinLines, wType);
  return i >= 0 && size_t(i) < s.lineLabels.size() ? &s.lineLabels[size_t(i)] : nullptr;
}

const CIcon* GetPointIcon(uint16_t wType) {
  const BuiltinPoint* pPoint = FindPoint(wType, nullptr);
  if (pPoint == nullptr || !State().fReady)
    return nullptr;
  return IconById(pPoint->idIcon);
}

const LabelStyle* GetPointLabelStyle(uint16_t wType) {
  const LabelStyle* pLabel = nullptr;
  return FindPoint(wType, &pLabel) != nullptr ? pLabel : nullptr;
}

size_t GetPointTypeCount() {
  size_t cPoints = 0;
  GetBuiltinPoints(cPoints);
  return cPoints;
}

uint16_t GetPointType(size_t nIndex) {
  size_t cPoints = 0;
  const BuiltinPoint* pPoints = GetBuiltinPoints(cPoints);
  return nIndex < cPoints ? pPoints[nIndex].wFirst : 0xFFFF;
}

const CFont* GetLabelFont(int nSelector, int nAngle) {
  DrawTypesState& s = State();
  if (nSelector < 0 || nSelector >= c_cLabelFontSelectors)
    nSelector = lfSmall;
  ASSERT(-90 <= nAngle && nAngle <= 90);
  if (nAngle < -90) nAngle = -90;
  if (nAngle > 90) nAngle = 90;
  std::unique_ptr<CFont>& p = s.rgRotated[nSelector][nAngle + 90];
  if (p == nullptr) {
    const int nEscapement = (nAngle < 0 ? nAngle + 360 : nAngle) * 10;
    if (nSelector == lfSmall)
      p = std::make_unique<CFont>(u"Tahoma", ScaleY(14), 0, platform::c_nFwNormal, nEscapement);
    else
      p = std::make_unique<CFont>(u"Century Gothic", ScaleY(16), ScaleX(5), platform::c_nFwBold, nEscapement);
  }
  return p.get();
}

// ---------------------------------------------------------------------------
// Skins

namespace {
std::u16string g_strSkinFolder;
}  // namespace

void SetSkinFolder(const char16_t* pszFolder) { g_strSkinFolder = pszFolder != nullptr ? pszFolder : u""; }

CSkin* LoadSkin(const char16_t* pszName) {
  // The program's folder with its separator, then the name.
  std::u16string strPath = platform::GetProgramPath();
  size_t iSep = strPath.find_last_of(u"\\/");
  strPath = iSep == std::u16string::npos ? std::u16string(pszName) : strPath.substr(0, iSep + 1) + pszName;
  if (!g_strSkinFolder.empty())
    strPath = platform::JoinPath(g_strSkinFolder, pszName);
  platform::CFileMapping mapping;
  if (!mapping.OpenRead(strPath.c_str())) {
    ReportFailure(c_idsCannotReadFile, strPath, mapping.LastError());
    return nullptr;
  }
  SkinDefinition def;
  if (!ParseSkin(mapping.Data(), mapping.Size(), def)) {
    ReportFailure(c_idsUnsupportedFormat, strPath, 0);
    return nullptr;
  }
  return new CSkin(def);
}

const CSkin* GetCurrentSkin() { return State().pSkin.get(); }
bool IsDaySkinCurrent() { return State().fDaySkin; }

void SetDaySkin(bool fDay, bool fAutomatic) {
  DrawTypesState& s = State();
  if (fAutomatic) {
    double fNow = NowDays();
    if (fNow - s.fLastAutoCheck < c_fNightGuardDays && fNow >= s.fLastAutoCheck)
      return;
    s.fLastAutoCheck = fNow;
  }
  if (s.pSkin != nullptr && s.fDaySkin == fDay)
    return;
  // A skin that could not be loaded was reported once; it is not tried
  // (and reported) again on every fix until the drawing types are rebuilt.
  bool& fFailed = fDay ? s.fDayFailed : s.fNightFailed;
  if (s.pSkin == nullptr && s.fDaySkin == fDay && fFailed)
    return;
  s.pSkin.reset();
  s.pSkin.reset(fFailed ? nullptr : LoadSkin(fDay ? u"day.skin" : u"night.skin"));
  fFailed = s.pSkin == nullptr;
  s.fDaySkin = fDay;
}

// ---------------------------------------------------------------------------
// Night mode

uint32_t GetNightMode() {
  uint32_t nMode = GetSetting(setting::NightMode);
  if (nMode == 0) {
    nMode = c_nNightModeAuto;
    SetDword(setting::NightMode.pszName, nMode);
  }
  return nMode;
}

uint32_t GetNightModeBitmap(uint32_t nMode) {
  switch (nMode) {
    case c_nNightModeDay: return 34;
    case c_nNightModeNight: return 25;
    default: return 35;
  }
}

bool IsFixGoodForNightMode(int nStatus) {
  // 0 Invalid, 1 Unknown, 2 2D, 4 2D diff; values beyond 11 read as Unknown.
  return nStatus == 3 || (nStatus >= 5 && nStatus <= 11);
}

void SetNightModeFixSource(NightModeFixSource pfn) { g_pfnFixSource = pfn; }
void SetNightClockForTests(NightClock pfn) { g_pfnNightClock = pfn; }

int DecideDaylight(const NightModeFix& fix, double fSystemDays) {
  if (!fix.fValidPosition || !IsFixGoodForNightMode(fix.nStatus))
    return 1;
  platform::CSystemTime st;
  if (!platform::DaysToSystemTime(fSystemDays, st))
    return -1;
  const float fRise = GetSunEventTime(st.wYear, st.wMonth, st.wDay, float(fix.fLongitude), float(fix.fLatitude), true);
  const float fSet = GetSunEventTime(st.wYear, st.wMonth, st.wDay, float(fix.fLongitude), float(fix.fLatitude), false);
  if (fRise <= c_fNoSunEvent || fSet <= c_fNoSunEvent)
    return -1;
  const double t = fix.fTime;
  const double r = std::floor(t) + fRise / 24.0, s = std::floor(t) + fSet / 24.0;
  if (r < s)
    return (r <= t && t < s) ? 1 : 0;
  return (t < s || t >= r) ? 1 : 0;
}

void UpdateNightMode() {
  uint32_t nMode = GetNightMode();
  if (nMode == c_nNightModeDay) {
    SetDaySkin(true, false);
    return;
  }
  if (nMode == c_nNightModeNight) {
    SetDaySkin(false, false);
    return;
  }
  ASSERT(nMode == c_nNightModeAuto);
  NightModeFix fix = {};
  if (g_pfnFixSource == nullptr || !g_pfnFixSource(fix) || !fix.fValidPosition ||
      !IsFixGoodForNightMode(fix.nStatus)) {
    SetDaySkin(true, false);
    return;
  }
  const double fNow = NowDays();
  if (!fix.fValidTime) fix.fTime = fNow;
  int nDay = DecideDaylight(fix, fNow);
  if (nDay < 0)
    return;
  SetDaySkin(nDay == 1, true);
}

// ---------------------------------------------------------------------------
// The style source of the map readers

namespace {

class CDrawTypesSource : public CStyleSource {
 public:
  StyleHandle GetAreaBrush(uint16_t wType) override { return ::GetAreaBrush(wType); }
  StyleHandle GetAreaLabelStyle(uint16_t wType) override { return ::GetAreaLabelStyle(wType); }
  StyleHandle GetLinePen(uint16_t wType) override { return ::GetLinePen(wType); }
  StyleHandle GetLineCorePen(uint16_t wType) override { return ::GetLineCorePen(wType); }
  StyleHandle GetLineLabelStyle(uint16_t wType) override { return ::GetLineLabelStyle(wType); }
  StyleHandle GetPointIcon(uint16_t wType) override { return ::GetPointIcon(wType); }
  StyleHandle GetPointLabelStyle(uint16_t wType) override { return ::GetPointLabelStyle(wType); }
};

}  // namespace

CStyleSource* CreateStyleSource() { return new CDrawTypesSource(); }

// ---------------------------------------------------------------------------
// The shared stock

namespace {

const COLORREF c_rgStockBrushColours[] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                          0x808000, 0x606060, 0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF,
                                          0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF, 0xF3F3F3};

struct StockState {
  SharedStock stock = {};
  std::vector<std::unique_ptr<platform::CCanvasObject>> objects;
  std::map<COLORREF, const CBrush*> brushes;
};

StockState& Stock() {
  static StockState s_stock;
  return s_stock;
}

}  // namespace

void CreateSharedStock(COLORREF crWindowFrame) {
  StockState& st = Stock();
  if (!st.objects.empty())
    return;
  auto font = [&](int nHeight) {
    CFont* p = NewTahoma(nHeight, platform::c_nFwNormal);
    st.objects.emplace_back(p);
    return p;
  };
  auto pen = [&](int nStyle, int a, int b, COLORREF cr) {
    CPen* p = new CPen(nStyle, PickByDpi(a, b), cr);
    st.objects.emplace_back(p);
    return p;
  };
  SharedStock& s = st.stock;
  s.pFont10 = font(-ScaleY(10));
  s.pFont12 = font(ScaleY(12));
  s.pFont13 = font(ScaleY(13));
  s.pFont14 = font(ScaleY(14));
  s.pFont22 = font(ScaleY(22));
  s.pPenFrame = pen(platform::psSolid, 1, 3, crWindowFrame);
  s.pPenNull = platform::GetNullPen();
  s.pPenWhite3 = pen(platform::psSolid, 3, 4, 0xFFFFFF);
  s.pPenWhite1 = pen(platform::psSolid, 1, 2, 0xFFFFFF);
  s.pPenBlack = pen(platform::psSolid, 1, 2, 0x000000);
  s.pPenGray = pen(platform::psSolid, 1, 2, 0x808080);
  s.pPenBlue = pen(platform::psSolid, 1, 2, 0xFF0000);
  s.pPenRed = pen(platform::psSolid, 1, 2, 0x0000FF);
  s.pBrushNull = platform::GetNullBrush();
  for (COLORREF cr : c_rgStockBrushColours) {
    CBrush* p = new CBrush(platform::bkSolid, cr);
    st.objects.emplace_back(p);
    st.brushes[cr] = p;
  }
}

void FreeSharedStock() {
  StockState& st = Stock();
  for (auto& p : st.objects)
    { ASSERT(p != nullptr); (void)p; }
  st.brushes.clear();
  st.objects.clear();
  st.stock = SharedStock();
}

const SharedStock& GetSharedStock() { return Stock().stock; }

const CBrush* GetStockBrush(COLORREF cr) {
  const StockState& st = Stock();
  auto it = st.brushes.find(cr);
  return it != st.brushes.end() ? it->second : nullptr;
}
