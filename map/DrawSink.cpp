#include "map/DrawSink.h"

#include "map/MapParser.h"

const StyleHandle CDefaultStyles::c_hDefault = reinterpret_cast<StyleHandle>(uintptr_t(1));

static DrawTypesFactory g_pfnDrawTypes = nullptr;

void SetDrawTypesFactory(DrawTypesFactory pfn) { g_pfnDrawTypes = pfn; }
CStyleSource* CreateDrawTypes() { return g_pfnDrawTypes ? g_pfnDrawTypes() : nullptr; }

static LabelInterpreter g_pfnInterpret = InterpretLabelControlCodes;

void SetLabelInterpreter(LabelInterpreter pfn) { g_pfnInterpret = pfn ? pfn : InterpretLabelControlCodes; }

size_t InterpretMapLabel(int nKind, uint16_t wType, bool fMapUnit, const char16_t* pRaw, size_t cRaw,
                         char16_t* pszOut, int* pnShield, bool fFullForm) {
  return g_pfnInterpret(nKind, wType, fMapUnit, pRaw, cRaw, pszOut, pnShield, fFullForm);
}

size_t InterpretLabelControlCodes(int nKind, uint16_t wType, bool, const char16_t* pRaw, size_t cRaw,
                                  char16_t* pszOut, int* pnShield, bool fFullForm) {
  const size_t cMax = c_cchLabelOut - 1;
  bool fShort = !fFullForm;
  size_t c = 0;
  if (pnShield) *pnShield = 0;
  for (size_t i = 0; i < cRaw && c < cMax; ++i) {
    char16_t ch = pRaw[i];
    if (ch == 0) break;
    if (ch >= 32) {
      pszOut[c++] = ch;
      continue;
    }
    if (ch >= 1 && ch <= 6) {
      if (pnShield) *pnShield = ch;
    } else if (ch == 0x1B) {
      if (nKind == rkPolyline && fShort) c = 0;
    } else if (ch == 0x1C) {
      if (nKind == rkPolyline && fShort) break;
    } else if (ch == 0x1E) {
      if (nKind == rkPolyline) {
        if (fShort) c = 0;
        else pszOut[c++] = u' ';
      }
    } else if (ch == 0x1F) {
      if (nKind == rkPolyline) {
        if (fShort) break;
        pszOut[c++] = u' ';
      } else if (nKind == rkPolygon) {
      } else if (nKind == 3) {
        pszOut[c++] = u'\u00A9';
      } else if (wType >= 0x6400 && wType <= 0x66FF) {
        pszOut[c++] = u' ';
      } else {
        break;
      }
    }
  }
  pszOut[c] = 0;
  return c;
}
