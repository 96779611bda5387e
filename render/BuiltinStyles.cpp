// The built-in style tables. Areas and lines are used when no skin is
// loaded; points always.
#include "render/BuiltinStyles.h"

#include <vector>

#include "platform/Canvas.h"
#include "render/DrawTypes.h"
#include "render/PointIcons.h"

const BuiltinArea g_rgBuiltinAreas[] = {
    {0x0000, 0, bbPattern, 106, 0, mfNone, 0},
    {0x0001, 0, bbSolid, 0, 0xC0C0D2, mfNone, 0},
    {0x0002, 0, bbSolid, 0, 0xC0C0C0, mfNone, 0},
    {0x0003, 0, bbSolid, 0, 0x94B0A4, mfNone, 0},
    {0x0004, 0, bbSolid, 0, 0x808080, mfNone, 0},
    {0x0005, 0, bbSolid, 0, 0xF0F0F0, mfNone, 0},
    {0x0006, 0, bbSolid, 0, 0x969696, mfNone, 0},
    {0x0007, 0, bbSolid, 0, 0x80B8F8, mfNone, 0},
    {0x0008, 0, bbSolid, 0, 0x80B8F8, mfNone, 0},
    {0x0009, 0, bbSolid, 0, 0x0000FF, mfNone, 0},
    {0x000A, 0, bbSolid, 0, 0x80B8F8, mfNone, 0},
    {0x000B, 0, bbSolid, 0, 0x80B8F8, mfNone, 0},
    {0x000C, 0, bbSolid, 0, 0x808080, mfNone, 0},
    {0x000D, 0, bbSolid, 0, 0x96D2FF, mfNone, 0},
    {0x000E, 0, bbSolid, 0, 0xE0E0E0, mfNone, 0},
    {0x0013, 0, bbSolid, 0, 0x969696, mfNone, 0},
    {0x0014, 0x0016, bbSolid, 0, 0x99E9B7, mfNone, 0},
    {0x0017, 0, bbSolid, 0, 0x00C090, mfNone, 0},
    {0x0018, 0, bbSolid, 0, 0x00FF00, mfNone, 0},
    {0x0019, 0, bbSolid, 0, 0x80B8F8, mfNone, 0},
    {0x001A, 0, bbPattern, 102, 0, mfNone, 0},
    {0x001E, 0x0020, bbSolid, 0, 0x99E9B7, mfNone, 0},
    {0x0028, 0, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x0029, 0, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x0032, 0, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x003B, 0, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x003C, 0x003D, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x003E, 0x003F, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x0040, 0x0041, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x0042, 0x0043, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x0044, 0, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x0045, 0, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x0046, 0x0047, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x0048, 0x0049, bbSolid, 0, 0xFF8000, mfF14, 0x800000},
    {0x004A, 0, bbNone, 0, 0, mfNone, 0},
    {0x004B, 0, bbNone, 0, 0, mfNone, 0},
    {0x004C, 0, bbPattern, 107, 0, mfF14, 0x800000},
    {0x004D, 0, bbSolid, 0, 0xFFFF00, mfNone, 0},
    {0x004E, 0, bbPattern, 103, 0, mfNone, 0},
    {0x004F, 0, bbTinted, 104, 0xA5F5D3, mfNone, 0},
    {0x0050, 0, bbSolid, 0, 0x99E9B7, mfNone, 0},
    {0x0051, 0, bbPattern, 108, 0, mfF14, 0x800000},
    {0x0052, 0, bbPattern, 105, 0, mfNone, 0},
    {0x0053, 0, bbTinted, 175, 0xFAEDBC, mfNone, 0},
    {0x006A, 0, bbSolid, 0, 0xE0E0E0, mfNone, 0},
    {0x006B, 0, bbSolid, 0, 0xE0E0E0, mfNone, 0},
    {0x006C, 0, bbSolid, 0, 0x969696, mfNone, 0},
    {0x0070, 0, bbSolid, 0, 0x000000, mfNone, 0},
    {0x0071, 0, bbSolid, 0, 0x0C2F95, mfNone, 0},
    {0x0072, 0, bbSolid, 0, 0x437E39, mfNone, 0},
    {0x0073, 0, bbSolid, 0, 0x0098B8, mfNone, 0},
    {0x0074, 0, bbSolid, 0, 0x834305, mfNone, 0},
    {0x0075, 0, bbSolid, 0, 0x5807A4, mfNone, 0},
    {0x0076, 0, bbSolid, 0, 0x8B8D02, mfNone, 0},
    {0x0077, 0, bbSolid, 0, 0xC0C0C0, mfNone, 0},
    {0x0078, 0, bbSolid, 0, 0x606060, mfNone, 0},
    {0x0079, 0, bbSolid, 0, 0x5159F7, mfNone, 0},
    {0x007A, 0, bbSolid, 0, 0x3ACF22, mfNone, 0},
    {0x007B, 0, bbSolid, 0, 0x3EBAF9, mfNone, 0},
    {0x007C, 0, bbSolid, 0, 0xF78C23, mfNone, 0},
    {0x007D, 0, bbSolid, 0, 0xB66DFA, mfNone, 0},
    {0x007E, 0, bbSolid, 0, 0xD0E096, mfNone, 0},
    {0x007F, 0, bbSolid, 0, 0xFFFFFF, mfNone, 0},
    {0x0080, 0, bbNone, 0, 0, mfNone, 0},
    {0x0081, 0, bbTinted, 108, 0x99E9B7, mfNone, 0},
    {0x0082, 0, bbSolid, 0, 0xA5F5D3, mfNone, 0},
    {0x0083, 0, bbPattern, 170, 0, mfNone, 0},
    {0x0084, 0, bbPattern, 169, 0, mfNone, 0},
    {0x0085, 0, bbPattern, 171, 0, mfNone, 0},
    {0x0086, 0, bbPattern, 177, 0, mfNone, 0},
    {0x0087, 0, bbPattern, 174, 0, mfNone, 0},
    {0x0088, 0, bbPattern, 172, 0, mfNone, 0},
    {0x0089, 0, bbPattern, 175, 0, mfNone, 0},
    {0x008A, 0, bbPattern, 176, 0, mfNone, 0},
    {0x008B, 0, bbPattern, 178, 0, mfNone, 0},
    {0x008C, 0, bbPattern, 173, 0, mfNone, 0},
    {0x008D, 0, bbTinted, 168, 0xFF8000, mfNone, 0},
    {0x008E, 0, bbTinted, 197, 0xA5F5D3, mfNone, 0},
    {0x008F, 0, bbTinted, 188, 0x99E9B7, mfNone, 0},
    {0x0090, 0, bbTinted, 190, 0xA5F5D3, mfNone, 0},
    {0x0091, 0, bbTinted, 196, 0xA5F5D3, mfNone, 0},
    {0x0092, 0, bbTinted, 189, 0xA5F5D3, mfNone, 0},
    {0x0093, 0, bbTinted, 195, 0x99E9B7, mfNone, 0},
    {0x0094, 0, bbPattern, 193, 0, mfNone, 0},
    {0x0095, 0, bbPattern, 191, 0, mfNone, 0},
    {0x0096, 0, bbPattern, 194, 0, mfNone, 0},
    {0x0097, 0, bbPattern, 192, 0, mfNone, 0},
};
const size_t g_cBuiltinAreas = sizeof(g_rgBuiltinAreas) / sizeof(g_rgBuiltinAreas[0]);

const BuiltinLine g_rgBuiltinLines[] = {
    {0x0000, 0, {platform::psSolid, 1, 2, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0001, 0, {platform::psSolid, 4, 8, 0x323264}, {platform::psSolid, 2, 6, 0x4264C4}, lfMedium, 0x000000, false},
    {0x0002, 0, {platform::psSolid, 3, 5, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0003, 0, {platform::psSolid, 1, 2, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0004, 0, {platform::psSolid, 3, 5, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0005, 0, {platform::psSolid, 2, 3, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0006, 0, {platform::psSolid, 1, 2, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0007, 0, {platform::psSolid, 1, 2, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0008, 0x0009, {platform::psSolid, 1, 2, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x000A, 0, {platform::psDot, 1, 1, 0x000000}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x000B, 0, {platform::psSolid, 3, 5, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x000C, 0, {platform::psSolid, 1, 2, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0014, 0, {platform::psSolid, 3, 5, 0x000000}, {platform::psDot, 1, 1, 0xFFFFFF}, lfMedium, 0x000000, false},
    {0x0015, 0, {platform::psSolid, 1, 2, 0x800000}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0016, 0, {platform::psDot, 1, 1, 0x000000}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0018, 0, {platform::psSolid, 1, 2, 0xFF0000}, {-1, 0, 0, 0}, lfSmall, 0xFF0000, false},
    {0x0019, 0, {platform::psSolid, 1, 2, 0x00FF00}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x001A, 0x001B, {platform::psDot, 1, 1, 0x000000}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x001C, 0, {platform::psSolid, 1, 2, 0x0000FF}, {platform::psDot, 1, 1, 0x64C800}, lfSmall, 0x64C800, false},
    {0x001D, 0, {platform::psSolid, 1, 1, 0x000000}, {platform::psDot, 1, 1, 0x64C800}, lfSmall, 0x64C800, false},
    {0x001E, 0, {platform::psSolid, 2, 4, 0x0000FF}, {platform::psDot, 1, 1, 0x64C800}, lfSmall, 0x64C800, false},
    {0x001F, 0, {platform::psSolid, 1, 2, 0xFF0000}, {-1, 0, 0, 0}, lfSmall, 0xFF0000, false},
    {0x0020, 0, {platform::psDot, 1, 1, 0x2478B6}, {-1, 0, 0, 0}, lfSmall, 0x2478B6, false},
    {0x0021, 0, {platform::psSolid, 1, 1, 0x2478B6}, {-1, 0, 0, 0}, lfSmall, 0x2478B6, false},
    {0x0022, 0, {platform::psSolid, 2, 2, 0x2478B6}, {-1, 0, 0, 0}, lfSmall, 0x2478B6, false},
    {0x0023, 0, {platform::psDot, 1, 1, 0xFFFF00}, {-1, 0, 0, 0}, lfSmall, 0xFFFF00, false},
    {0x0024, 0, {platform::psSolid, 1, 1, 0xFFFF00}, {-1, 0, 0, 0}, lfSmall, 0xFFFF00, false},
    {0x0025, 0, {platform::psSolid, 2, 2, 0xFFFF00}, {-1, 0, 0, 0}, lfSmall, 0xFFFF00, false},
    {0x0026, 0, {platform::psDot, 1, 1, 0xFF0000}, {-1, 0, 0, 0}, lfSmall, 0xFF0000, false},
    {0x0027, 0, {platform::psSolid, 4, 8, 0x323264}, {platform::psSolid, 2, 6, 0x4264C4}, lfMedium, 0x000000, false},
    {0x0028, 0, {platform::psDot, 1, 1, 0x808080}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0029, 0, {platform::psSolid, 1, 1, 0x808080}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x002A, 0, {-1, 0, 0, 0}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x002B, 0, {-1, 0, 0, 0}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x003D, 0, {-1, 0, 0, 0}, {-1, 0, 0, 0}, lfSmall, 0x000000, true},
    {0x003E, 0, {-1, 0, 0, 0}, {-1, 0, 0, 0}, lfMedium, 0x000000, true},
    {0x003F, 0, {platform::psSolid, 2, 3, 0x000000}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0040, 0, {platform::psSolid, 2, 3, 0x000000}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0041, 0, {platform::psSolid, 2, 3, 0x000000}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0042, 0, {platform::psSolid, 1, 1, 0x000000}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0043, 0, {platform::psDot, 1, 1, 0x0000E6}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
    {0x0044, 0, {platform::psSolid, 2, 3, 0xFF0000}, {-1, 0, 0, 0}, lfSmall, 0xFF0000, false},
    {0x0045, 0, {platform::psSolid, 1, 1, 0x000000}, {platform::psDot, 1, 1, 0x64C800}, lfSmall, 0x64C800, false},
    {0x0046, 0, {platform::psDot, 1, 1, 0x64C800}, {-1, 0, 0, 0}, lfSmall, 0x64C800, false},
    {0x0047, 0, {platform::psSolid, 6, 12, 0xE800E8}, {-1, 0, 0, 0}, lfMedium, 0x000000, false},
};
const size_t g_cBuiltinLines = sizeof(g_rgBuiltinLines) / sizeof(g_rgBuiltinLines[0]);

namespace {

const COLORREF c_crPoiLabel = 0x606060;
const COLORREF c_crBlack = 0x000000;

// The icon of one point type.
uint32_t IconOfType(uint16_t wType) {
  const unsigned nHigh = wType >> 8, nLow = wType & 0xFF;
  if (nHigh >= 0x01 && nHigh <= 0x11 && nLow == 0)
    return nHigh <= 0x08 ? iiCityLarge : iiCitySmall;
  switch (nHigh) {
    case 0x12: return iiMarina;
    case 0x1C: return iiObstruction;
    case 0x20: case 0x21: case 0x22: case 0x23: case 0x24: case 0x25: case 0x26: case 0x27: return iiExit;
    case 0x2A:
      if (nLow == 0x07) return iiFastFood;
      if (nLow == 0x0E) return iiCafe;
      return iiRestaurant;
    case 0x2B: return nLow == 0x03 ? iiCamping : iiHotel;
    case 0x2C:
      if (nLow == 0x02) return iiMuseum;
      if (nLow == 0x0B) return iiWorship;
      if (nLow == 0x05) return iiSchool;
      return iiAttraction;
    case 0x2D:
      if (nLow == 0x03) return iiCinema;
      if (nLow == 0x02) return iiBar;
      return iiTheatre;
    case 0x2E: return (nLow == 0x02 || nLow == 0x03) ? iiSupermarket : nLow == 0x05 ? iiPharmacy : iiShop;
    case 0x2F:
      switch (nLow) {
        case 0x01: return iiFuel;
        case 0x02: return iiCarRental;
        case 0x03: case 0x07: return iiCarRepair;
        case 0x04: return iiAirport;
        case 0x05: return iiPost;
        case 0x06: return iiBank;
        case 0x08: return iiBus;
        case 0x09: return iiMarina;
        case 0x0B: return iiParking;
        case 0x0C: return iiToilets;
        default: return iiService;
      }
    case 0x30:
      switch (nLow) {
        case 0x01: return iiPolice;
        case 0x02: return iiHospital;
        case 0x08: return iiFireStation;
        default: return iiTownHall;
      }
    case 0x40: return iiGolf;
    case 0x41: return iiFishing;
    case 0x42: return iiObstruction;
    case 0x43: case 0x47: return iiMarina;
    case 0x44: return iiFuel;
    case 0x45: return iiRestaurant;
    case 0x46: return iiBar;
    case 0x48: return iiCamping;
    case 0x49: return iiPark;
    case 0x4A: return iiPicnic;
    case 0x4B: return iiHospital;
    case 0x4C: return iiInformation;
    case 0x4D: return iiParking;
    case 0x4E: case 0x4F: return iiToilets;
    case 0x50: return iiDrinkingWater;
    case 0x51: return iiTelephone;
    case 0x52: return iiAttraction;
    case 0x53: return iiSki;
    case 0x54: case 0x5C: return iiSwimming;
    case 0x57: return iiDanger;
    case 0x59: return iiAirport;
    case 0x61: return iiBuilding;
    case 0x62: case 0x63: return iiSpotHeight;
    case 0x64:
      switch (nLow) {
        case 0x01: return iiBridge;
        case 0x02: return iiBuilding;
        case 0x03: return iiCemetery;
        case 0x04: return iiWorship;
        case 0x05: return iiTownHall;
        case 0x08: return iiHospital;
        case 0x0B: return iiMilitary;
        case 0x0C: case 0x0D: return iiMine;
        case 0x0E: return iiPark;
        case 0x0F: return iiPost;
        case 0x10: return iiSchool;
        case 0x11: return iiTower;
        case 0x14: return iiDrinkingWater;
        default: return iiGeneric;
      }
    case 0x65: return iiWater;
    case 0x66: return nLow == 0x16 ? iiPeak : iiNatural;
    default: return iiGeneric;
  }
}

// The label of one point type: cities by size, named places of interest in
// grey, a few landmarks in black, the rest without a label.
void LabelOfType(uint16_t wType, int& nFont, COLORREF& cr) {
  const unsigned nHigh = wType >> 8, nLow = wType & 0xFF;
  nFont = mfNone;
  cr = 0;
  if (nHigh >= 0x01 && nHigh <= 0x11 && nLow == 0) {
    nFont = nHigh <= 0x04 ? mfF18B : nHigh <= 0x08 ? mfF16B : nHigh <= 0x0B ? mfF14B : mfF12;
    cr = c_crBlack;
    return;
  }
  if ((nHigh >= 0x2A && nHigh <= 0x2E) || (nHigh == 0x2F && nLow <= 0x07)) {
    nFont = mfF12;
    cr = c_crPoiLabel;
    return;
  }
  switch (wType) {
    case 0x1400: case 0x1D00: case 0x1E00: case 0x1F00: case 0x2800: case 0x6200: case 0x6300: case 0x6616:
      nFont = mfF12;
      cr = c_crBlack;
      return;
    default:
      return;
  }
}

struct PointRange {
  uint16_t wFirst;
  uint16_t wLast;
  bool fSingles;  // one entry per type instead of one for the range
};

// The point types: one entry for each range with an end of 0x3F (or the
// two wide ranges), one entry per type for the others.
const PointRange c_rgPointRanges[] = {
    {0x0100, 0x1100, false},  // cities, one each (filled below)
    {0x1200, 0x123F, false}, {0x1300, 0x133F, false}, {0x1400, 0x153F, false},
    {0x1C00, 0x1C0B, true},  {0x1D00, 0x1D3F, false}, {0x1E00, 0x1E3F, false}, {0x1F00, 0x1F3F, false},
    {0x2000, 0x273F, false}, {0x2800, 0x283F, false}, {0x2900, 0x293F, false}, {0x2A00, 0x2A12, true},
    {0x2B00, 0x2B04, true},  {0x2C00, 0x2C0B, true},  {0x2D00, 0x2D0B, true},  {0x2E00, 0x2E0B, true},
    {0x2F00, 0x2F17, true},  {0x3000, 0x3008, true},
};

std::vector<BuiltinPoint> BuildPoints() {
  std::vector<BuiltinPoint> points;
  auto add = [&](uint16_t wFirst, uint16_t wLast) {
    BuiltinPoint pt = {wFirst, wLast, IconOfType(wFirst), mfNone, 0};
    LabelOfType(wFirst, pt.nLabelFont, pt.crLabel);
    points.push_back(pt);
  };
  for (unsigned n = 0x01; n <= 0x11; ++n)
    add(uint16_t(n << 8), 0);
  for (size_t i = 1; i < sizeof(c_rgPointRanges) / sizeof(c_rgPointRanges[0]); ++i) {
    const PointRange& r = c_rgPointRanges[i];
    if (r.fSingles) {
      for (unsigned w = r.wFirst; w <= r.wLast; ++w)
        add(uint16_t(w), 0);
    } else {
      add(r.wFirst, r.wLast);
    }
  }
  for (unsigned n = 0x40; n <= 0x4F; ++n)
    add(uint16_t(n << 8), uint16_t((n << 8) | 0x3F));
  for (unsigned n = 0x50; n <= 0x5E; ++n) {
    if (n == 0x59) {
      for (unsigned w = 0x5900; w <= 0x5905; ++w)
        add(uint16_t(w), 0);
    } else {
      add(uint16_t(n << 8), uint16_t((n << 8) | 0x3F));
    }
  }
  for (unsigned n = 0x60; n <= 0x63; ++n)
    add(uint16_t(n << 8), uint16_t((n << 8) | 0x3F));
  const PointRange c_rgTail[] = {
      {0x6400, 0x6416, true}, {0x6500, 0x6513, true}, {0x6600, 0x6618, true}, {0xF001, 0xF00B, true},
      {0xF101, 0xF106, true}, {0xF201, 0xF204, true}, {0xF301, 0xF30D, true}, {0xF401, 0xF406, true},
      {0xF501, 0xF505, true},
  };
  for (const PointRange& r : c_rgTail)
    for (unsigned w = r.wFirst; w <= r.wLast; ++w)
      add(uint16_t(w), 0);
  return points;
}

std::vector<BuiltinPoint> BuildLowBytePoints() {
  std::vector<BuiltinPoint> points;
  for (uint16_t w = 0x00; w <= 0x16; ++w)
    points.push_back({w, 0, iiBeacon, mfNone, 0});
  return points;
}

}  // namespace

const BuiltinPoint* GetBuiltinPoints(size_t& cPoints) {
  static const std::vector<BuiltinPoint> s_points = BuildPoints();
  cPoints = s_points.size();
  return s_points.data();
}

const BuiltinPoint* GetBuiltinLowBytePoints(size_t& cPoints) {
  static const std::vector<BuiltinPoint> s_points = BuildLowBytePoints();
  cPoints = s_points.size();
  return s_points.data();
}
