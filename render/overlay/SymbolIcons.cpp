#include "render/overlay/SymbolIcons.h"

#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"
#include "render/Screen.h"

namespace {

uint32_t ReadU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct SymbolIconsState {
  bool fLoaded = false;
  std::u16string strFolder;
  std::vector<std::unique_ptr<platform::CIcon>> strip;
  std::unique_ptr<platform::CIcon> pDefault;
};

SymbolIconsState& State() {
  static SymbolIconsState s_state;
  return s_state;
}

void LoadFromFolder(SymbolIconsState& s) {
  char16_t szName[32];
  std::vector<uint8_t> data;
  platform::Format(szName, 32, u"%u.bmp", c_idbWaypointSymbols);
  const size_t c_cbFileHeader = 14;
  if (platform::ReadWholeFile(platform::JoinPath(s.strFolder, szName).c_str(), data) && data.size() > c_cbFileHeader &&
      data[0] == 'B' && data[1] == 'M')
    SplitIconStrip(data.data() + c_cbFileHeader, data.size() - c_cbFileHeader, c_cxSymbolIcon, c_crSymbolMask,
                   s.strip);
  platform::Format(szName, 32, u"%u.ico", c_idiWaypoint);
  if (platform::ReadWholeFile(platform::JoinPath(s.strFolder, szName).c_str(), data))
    s.pDefault.reset(platform::ReadIconFile(data.data(), data.size(), 32, 32));
}

void EnsureLoaded() {
  SymbolIconsState& s = State();
  if (s.fLoaded)
    return;
  s.fLoaded = true;
  if (!s.strFolder.empty()) {
    LoadFromFolder(s);
  } else {
    std::basic_string<uint8_t> dib;
    void* hModule = platform::GetSelfModule();
    if (platform::LoadBitmapResource(hModule, c_idbWaypointSymbols, dib))
      SplitIconStrip(dib.data(), dib.size(), c_cxSymbolIcon, c_crSymbolMask, s.strip);
    s.pDefault.reset(platform::LoadIconResource(hModule, c_idiWaypoint, 32, 32));
  }
  if (s.strip.size() > c_cWaypointCount)
    s.strip.resize(c_cWaypointCount);
}

}  // namespace

bool SplitIconStrip(const uint8_t* pb, size_t cb, int cxIcon, uint32_t crMask,
                    std::vector<std::unique_ptr<platform::CIcon>>& icons) {
  icons.clear();
  const size_t c_cbInfo = 40;
  if (pb == nullptr || cb < c_cbInfo || cxIcon <= 0)
    return false;
  const uint32_t cbHeader = ReadU32(pb);
  const int32_t cx = int32_t(ReadU32(pb + 4));
  const int32_t cyRaw = int32_t(ReadU32(pb + 8));
  const unsigned cBits = ReadU16(pb + 14);
  const uint32_t dwCompression = ReadU32(pb + 16);
  const uint32_t cColours = ReadU32(pb + 32);
  const int32_t c_nMaxSide = 1 << 16;
  if (cbHeader < c_cbInfo || cbHeader > cb || (cBits != 24 && cBits != 32) || dwCompression != 0 || cx < cxIcon ||
      cx > c_nMaxSide || cyRaw == 0 || cyRaw < -c_nMaxSide || cyRaw > c_nMaxSide || cColours > 256)
    return false;
  const bool fTopDown = cyRaw < 0;
  const int cy = fTopDown ? -cyRaw : cyRaw;
  const size_t cbPixel = cBits / 8;
  const size_t cbStride = (size_t(cx) * cbPixel + 3) & ~size_t(3);
  const size_t ibPixels = size_t(cbHeader) + size_t(cColours) * 4;
  if (ibPixels > cb || (cb - ibPixels) / cbStride < size_t(cy))
    return false;
  const uint8_t* pPixels = pb + ibPixels;
  const int cIcons = cx / cxIcon;
  icons.reserve(size_t(cIcons));
  for (int n = 0; n < cIcons; ++n) {
    auto pIcon = std::make_unique<platform::CIcon>(cxIcon, cy);
    for (int y = 0; y < cy; ++y) {
      const uint8_t* pRow = pPixels + size_t(fTopDown ? y : cy - 1 - y) * cbStride;
      for (int x = 0; x < cxIcon; ++x) {
        const uint8_t* p = pRow + size_t(n * cxIcon + x) * cbPixel;
        const uint32_t rgb = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        // COLORREF is 0x00BBGGRR.
        const uint32_t cr = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        pIcon->m_px[size_t(y) * size_t(cxIcon) + size_t(x)] = cr == (crMask & 0xFFFFFF) ? 0 : 0xFF000000 | rgb;
      }
    }
    icons.push_back(std::move(pIcon));
  }
  return true;
}

const platform::CIcon* GetDefaultWaypointIcon() {
  EnsureLoaded();
  return State().pDefault.get();
}

const platform::CIcon* GetWaypointIcon(unsigned nSymbol, int* pdx, int* pdy, int* pcx, int* pcy) {
  EnsureLoaded();
  SymbolIconsState& s = State();
  const platform::CIcon* pIcon = nullptr;
  int nOffset = 16, nSide = 32;
  if (HasSymbolIcon(nSymbol) && nSymbol < s.strip.size()) {
    pIcon = s.strip[nSymbol].get();
    nOffset = 9;
    nSide = c_cxSymbolIcon;
  } else {
    pIcon = s.pDefault.get();
  }
  if (pdx != nullptr)
    *pdx = render::ScaleX(nOffset);
  if (pdy != nullptr)
    *pdy = render::ScaleY(nOffset);
  if (pcx != nullptr)
    *pcx = render::ScaleX(nSide);
  if (pcy != nullptr)
    *pcy = render::ScaleY(nSide);
  return pIcon;
}

void FreeWaypointIcons() {
  SymbolIconsState& s = State();
  s.strip.clear();
  s.pDefault.reset();
  s.fLoaded = false;
}

void SetWaypointIconFolder(const char16_t* pszFolder) {
  FreeWaypointIcons();
  State().strFolder = pszFolder != nullptr ? pszFolder : u"";
}
