// Units and value formatting.
#include "geo/Units.h"

#include <cmath>

#include "res/Res.h"
#include "settings/SettingsTable.h"
#include "platform/Module.h"
#include "platform/Str.h"

using platform::Format;
using platform::StrCopy;

UnitOptions g_UnitOptions = {unMeters, duMetric, auMetric, afDegrees, pfDegreesMinutes, 0, false, true};

namespace {

const size_t c_cchUnitName = 32;
// Slots 0-19 hold ids 2400-2419, slots 20-27 the compass points 2250-2257.
const uint32_t c_idsFirstUnit = 2400;
const size_t c_cUnitIds = 20;
const size_t c_cCompassPoints = 8;
char16_t g_aszUnitNames[c_cUnitIds + c_cCompassPoints][c_cchUnitName];
bool g_fUnitNamesLoaded = false;

// Ids 2410 and 2411 have no unit.
bool IsUnitId(uint32_t ids) {
  return ids >= c_idsFirstUnit && ids < c_idsFirstUnit + c_cUnitIds && ids != 2410 && ids != 2411;
}

void LoadUnitNames() {
  for (size_t i = 0; i < c_cUnitIds; ++i) {
    if (IsUnitId(uint32_t(c_idsFirstUnit + i)))
      LoadResString(uint32_t(c_idsFirstUnit + i), g_aszUnitNames[i], int(c_cchUnitName));
    else
      g_aszUnitNames[i][0] = 0;
  }
  for (size_t i = 0; i < c_cCompassPoints; ++i)
    LoadResString(uint32_t(c_idsCompassN + i), g_aszUnitNames[c_cUnitIds + i], int(c_cchUnitName));
  g_fUnitNamesLoaded = true;
}

void PutUnit(uint32_t ids, char16_t* pszUnit, size_t cchUnit) {
  if (pszUnit && cchUnit > 0)
    StrCopy(pszUnit, cchUnit, GetUnitName(ids));
}

void PutText(const char16_t* psz, char16_t* pszValue, size_t cchValue) {
  if (pszValue && cchValue > 0)
    StrCopy(pszValue, cchValue, psz);
}

// What a value that is not a number shows.
void PutNoValue(char16_t* pszValue, size_t cchValue) {
  PutText(u"-", pszValue, cchValue);
}

// Grouping of 64-bit values (the 32-bit rule, carried on for totals of
// general numbers beyond 2^32).
void FormatGrouped(uint64_t n, char16_t* pszValue, size_t cchValue) {
  if (!pszValue || cchValue == 0)
    return;
  if (n < 1000)
    Format(pszValue, cchValue, u"%lld", (long long)n);
  else if (n <= 999999)
    Format(pszValue, cchValue, u"%lld %03lld", (long long)(n / 1000), (long long)(n % 1000));
  else
    Format(pszValue, cchValue, u"%lld %03lld 000", (long long)((n + 500) / 1000000),
           (long long)(((n + 500) / 1000) % 1000));
}

// Decimal digits of n (at most 14; larger values show as fourteen nines).
size_t ConvertDigits(uint64_t n, char16_t* pszBuf, size_t cchBuf) {
  const uint64_t c_nMax = 99999999999999ull;
  if (n > c_nMax)
    n = c_nMax;
  char16_t sz[16];
  size_t c = 0;
  do {
    sz[c++] = char16_t(u'0' + n % 10);
    n /= 10;
  } while (n != 0);
  size_t i = 0;
  for (; i < c && i + 1 < cchBuf; ++i)
    pszBuf[i] = sz[c - 1 - i];
  if (cchBuf > 0)
    pszBuf[i] = 0;
  return i;
}

// %c, the hemisphere letter, and the magnitude.
char16_t Hemisphere(double f, char16_t chPositive, char16_t chNegative) {
  return f < 0 ? chNegative : chPositive;
}

void FormatCoordinate(double f, char16_t chPositive, char16_t chNegative, char16_t* pszValue,
                      size_t cchValue) {
  if (!pszValue || cchValue == 0)
    return;
  if (!std::isfinite(f)) {
    PutNoValue(pszValue, cchValue);
    return;
  }
  const char16_t ch = Hemisphere(f, chPositive, chNegative);
  const double fMag = std::fabs(f);
  switch (g_UnitOptions.dwPositionFormat) {
    case pfSignedDegrees:
      Format(pszValue, cchValue, u"%0.5f", f);
      break;
    case pfDegrees:
      Format(pszValue, cchValue, u" %c%0.5f°", int(ch), fMag);
      break;
    case pfDegreesMinutesSeconds: {
      // Rounded to tenths of a second first, so 59.96" carries into the
      // minute instead of showing 60.0.
      const double fTenths = std::floor(fMag * 36000 + 0.5);
      if (fTenths >= 9e15) {
        Format(pszValue, cchValue, u"%c%0.0f°", int(ch), fMag);
        break;
      }
      const int64_t n = int64_t(fTenths);
      Format(pszValue, cchValue, u"%c%lld°%02d'%04.1f\"", int(ch), (long long)(n / 36000),
             int((n / 600) % 60), double(n % 600) / 10);
      break;
    }
    case pfDegreesMinutes:
    default: {
      const double fThousandths = std::floor(fMag * 60000 + 0.5);
      if (fThousandths >= 9e15) {
        Format(pszValue, cchValue, u"%c%0.0f°", int(ch), fMag);
        break;
      }
      const int64_t n = int64_t(fThousandths);
      Format(pszValue, cchValue, u"%c%lld°%06.3f'", int(ch), (long long)(n / 60000),
             double(n % 60000) / 1000);
      break;
    }
  }
}

void Append(char16_t* pszBuf, size_t cchBuf, size_t* pcch, const char16_t* psz) {
  if (!psz)
    return;
  while (*psz && *pcch + 1 < cchBuf)
    pszBuf[(*pcch)++] = *psz++;
  pszBuf[*pcch] = 0;
}

inline bool IsEmpty(const char16_t* psz) {
  return !psz || !*psz;
}

}  // namespace

void LoadUnitOptions() {
  UnitOptions options;
  options.dwElevationUnit = GetSetting(setting::OptionElevationUnit);
  options.dwDistanceUnit = GetSetting(setting::OptionDistanceUnit);
  options.dwAreaUnit = GetSetting(setting::OptionAreaUnit);
  options.dwAzimuthFormat = GetSetting(setting::OptionAzimuthFormat);
  options.dwPositionFormat = GetSetting(setting::OptionPositionFormat);
  options.dwStreetAddressFormat = GetDword(setting::OptionPA_StreetAddressFormat.pszName,
                                           platform::GetUserDefaultLanguage() == 1049 ? 1 : 0);
  options.fShowZipCode = GetSetting(setting::OptionPA_ShowZipCode) != 0;
  options.fShowCity = GetSetting(setting::OptionPA_ShowCity) != 0;
  SetUnitOptions(options);
}

void SetUnitOptions(const UnitOptions& options) {
  g_UnitOptions = options;
  // Values outside the lists (a hand-edited registry) take the defaults.
  if (g_UnitOptions.dwElevationUnit > unMeters)
    g_UnitOptions.dwElevationUnit = unMeters;
  if (g_UnitOptions.dwDistanceUnit > duStatute)
    g_UnitOptions.dwDistanceUnit = duMetric;
  if (g_UnitOptions.dwAreaUnit > auHectares)
    g_UnitOptions.dwAreaUnit = auMetric;
  if (g_UnitOptions.dwAzimuthFormat > afCompassPoints)
    g_UnitOptions.dwAzimuthFormat = afDegrees;
  if (g_UnitOptions.dwPositionFormat > pfDegreesMinutesSeconds)
    g_UnitOptions.dwPositionFormat = pfDegreesMinutes;
  if (g_UnitOptions.dwStreetAddressFormat > 1)
    g_UnitOptions.dwStreetAddressFormat = 0;
  LoadUnitNames();
}

const char16_t* GetUnitName(uint32_t ids) {
  if (!g_fUnitNamesLoaded)
    LoadUnitNames();
  if (IsUnitId(ids))
    return g_aszUnitNames[ids - c_idsFirstUnit];
  if (ids >= c_idsCompassN && ids < c_idsCompassN + c_cCompassPoints)
    return g_aszUnitNames[c_cUnitIds + (ids - c_idsCompassN)];
  return u"";
}

void FormatGeneralNumber(double f, char16_t* pszValue, size_t cchValue) {
  if (!pszValue || cchValue == 0)
    return;
  if (!std::isfinite(f)) {
    PutNoValue(pszValue, cchValue);
    return;
  }
  if (f == 0) {
    PutText(u"0", pszValue, cchValue);
    return;
  }
  // A negative value is its magnitude after a minus.
  if (f < 0) {
    if (cchValue < 2) {
      pszValue[0] = 0;
      return;
    }
    pszValue[0] = u'-';
    FormatGeneralNumber(-f, pszValue + 1, cchValue - 1);
    return;
  }
  if (f < 0.1)
    Format(pszValue, cchValue, u"%0.4f", f);
  else if (f < 1)
    Format(pszValue, cchValue, u"%0.3f", f);
  else if (f < 100)
    Format(pszValue, cchValue, u"%0.2f", f);
  else if (f < 1000)
    Format(pszValue, cchValue, u"%0.1f", f);
  else if (f < 1.8e19)
    FormatGrouped(uint64_t(f + 0.5), pszValue, cchValue);
  else
    Format(pszValue, cchValue, u"%0.0f", f);
}

void FormatGroupedInteger(uint32_t n, char16_t* pszValue, size_t cchValue) {
  FormatGrouped(n, pszValue, cchValue);
}

void FormatDistance(double fMetres, char16_t* pszValue, size_t cchValue, char16_t* pszUnit,
                    size_t cchUnit) {
  if (std::isnan(fMetres) || std::isinf(fMetres)) {
    PutNoValue(pszValue, cchValue);
    PutUnit(g_UnitOptions.dwDistanceUnit == duMetric ? c_idsUnitMeters : c_idsUnitFeet, pszUnit, cchUnit);
    return;
  }
  if (fMetres < 0)
    fMetres = 0;
  if (g_UnitOptions.dwDistanceUnit == duMetric) {
    if (fMetres >= 1000) {
      FormatGeneralNumber(fMetres / 1000, pszValue, cchValue);
      PutUnit(c_idsUnitKilometres, pszUnit, cchUnit);
    } else {
      if (pszValue && cchValue > 0)
        Format(pszValue, cchValue, u"%d", int(fMetres + 0.5));
      PutUnit(c_idsUnitMeters, pszUnit, cchUnit);
    }
    return;
  }
  const bool fNautical = g_UnitOptions.dwDistanceUnit == duNautical;
  const double fMiles = fMetres / (fNautical ? c_fMetresPerNauticalMile : c_fMetresPerStatuteMile);
  if (fMiles >= 1) {
    FormatGeneralNumber(fMiles, pszValue, cchValue);
    PutUnit(fNautical ? c_idsUnitNauticalMiles : c_idsUnitMiles, pszUnit, cchUnit);
  } else {
    if (pszValue && cchValue > 0)
      Format(pszValue, cchValue, u"%d", int(fMetres * c_fFeetPerMetre + 0.5));
    PutUnit(c_idsUnitFeet, pszUnit, cchUnit);
  }
}

void FormatElevation(double f, ElevationUnit unit, bool fWhole, char16_t* pszValue,
                     size_t cchValue, char16_t* pszUnit, size_t cchUnit) {
  const bool fFeet = g_UnitOptions.dwElevationUnit == unFeet;
  PutUnit(fFeet ? c_idsUnitFeet : c_idsUnitMeters, pszUnit, cchUnit);
  if (!pszValue || cchValue == 0)
    return;
  if (!std::isfinite(f)) {
    PutNoValue(pszValue, cchValue);
    return;
  }
  if (fFeet && unit == unMeters)
    f *= c_fFeetPerMetre;
  else if (!fFeet && unit == unFeet)
    f /= c_fFeetPerMetre;
  size_t cch = 0;
  if (f < 0) {
    Append(pszValue, cchValue, &cch, u"-");
    f = -f;
  }
  if (fWhole) {
    const double fRounded = f + 0.5;
    cch += ConvertDigits(fRounded >= 1e15 ? 999999999999999ull : uint64_t(fRounded), pszValue + cch, cchValue - cch);
    return;
  }
  const double fInt = std::trunc(f + 0.05);
  const uint64_t nInt = fInt >= 1e15 ? 999999999999999ull : uint64_t(fInt);
  // (f − whole) × 10 lies in [−0.5, 9.5): the digit is 0-9.
  double fDigit = std::floor((f - fInt) * 10 + 0.5);
  if (!(fDigit >= 0))
    fDigit = 0;
  if (fDigit > 9)
    fDigit = 9;
  cch += ConvertDigits(nInt, pszValue + cch, cchValue - cch);
  char16_t szDigit[3] = {u'.', char16_t(u'0' + int(fDigit)), 0};
  Append(pszValue, cchValue, &cch, szDigit);
}

void FormatSpeed(double fKmh, char16_t* pszValue, size_t cchValue, char16_t* pszUnit,
                 size_t cchUnit) {
  double f = fKmh;
  uint32_t ids = c_idsUnitKmh;
  if (g_UnitOptions.dwDistanceUnit == duNautical) {
    f = fKmh / c_fKmhPerKnot;
    ids = c_idsUnitKnots;
  } else if (g_UnitOptions.dwDistanceUnit == duStatute) {
    f = fKmh / c_fKmhPerMph;
    ids = c_idsUnitMph;
  }
  PutUnit(ids, pszUnit, cchUnit);
  if (!std::isfinite(f))
    PutNoValue(pszValue, cchValue);
  else if (pszValue && cchValue > 0)
    Format(pszValue, cchValue, u"%0.1f", f);
}

void FormatVerticalSpeed(double fMs, char16_t* pszValue, size_t cchValue, char16_t* pszUnit,
                         size_t cchUnit) {
  double f = fMs;
  uint32_t ids = c_idsUnitMetresPerSec;
  if (g_UnitOptions.dwDistanceUnit != duMetric) {
    f = fMs * c_fFeetPerMetre;
    ids = c_idsUnitFeetPerSec;
  }
  PutUnit(ids, pszUnit, cchUnit);
  if (!std::isfinite(f))
    PutNoValue(pszValue, cchValue);
  else if (pszValue && cchValue > 0)
    Format(pszValue, cchValue, u"%0.1f", f);
}

void FormatArea(double fSqMetres, char16_t* pszValue, size_t cchValue, char16_t* pszUnit,
                size_t cchUnit) {
  const double a = fSqMetres;
  const bool fBad = !std::isfinite(a);
  switch (g_UnitOptions.dwAreaUnit) {
    case auSquareFeetMiles: {
      const double s = a / c_fSqMetresPerSqMile;
      if (s >= 0.01 || fBad) {
        FormatGeneralNumber(s, pszValue, cchValue);
        PutUnit(c_idsUnitSqMiles, pszUnit, cchUnit);
      } else {
        const double fSqFeet = a * c_fFeetPerMetre * c_fFeetPerMetre;
        FormatGroupedInteger(fSqFeet > 0 ? uint32_t(fSqFeet + 0.5) : 0, pszValue, cchValue);
        PutUnit(c_idsUnitSqFeet, pszUnit, cchUnit);
      }
      break;
    }
    case auAcres:
      FormatGeneralNumber(a / c_fSqMetresPerAcre, pszValue, cchValue);
      PutUnit(c_idsUnitAcres, pszUnit, cchUnit);
      break;
    case auHectares:
      FormatGeneralNumber(a / c_fSqMetresPerHectare, pszValue, cchValue);
      PutUnit(c_idsUnitHectares, pszUnit, cchUnit);
      break;
    case auMetric:
    default:
      if (a >= 100000 || fBad) {
        FormatGeneralNumber(a / 1000000, pszValue, cchValue);
        PutUnit(c_idsUnitSqKilometres, pszUnit, cchUnit);
      } else {
        FormatGroupedInteger(a > 0 ? uint32_t(a + 0.5) : 0, pszValue, cchValue);
        PutUnit(c_idsUnitSqMetres, pszUnit, cchUnit);
      }
      break;
  }
}

void FormatDuration(double fDays, char16_t* pszValue, size_t cchValue) {
  if (!pszValue || cchValue == 0)
    return;
  // Whole seconds first, so that 59.6 s carries into the minute instead of
  // showing ":60".
  const double fSeconds = std::floor(std::fabs(fDays) * 86400 + 0.5);
  if (!std::isfinite(fDays) || fSeconds >= 3.6e15) {
    PutNoValue(pszValue, cchValue);
    return;
  }
  const int64_t n = int64_t(fSeconds);
  Format(pszValue, cchValue, fDays < 0 && n != 0 ? u"-%lld:%02d:%02d" : u"%lld:%02d:%02d",
         (long long)(n / 3600), int((n / 60) % 60), int(n % 60));
}

void FormatAzimuth(double fDegrees, char16_t* pszValue, size_t cchValue) {
  if (!pszValue || cchValue == 0)
    return;
  if (!std::isfinite(fDegrees)) {
    PutNoValue(pszValue, cchValue);
    return;
  }
  if (g_UnitOptions.dwAzimuthFormat == afCompassPoints) {
    // Out-of-range azimuths wrap: -30 is NW like 330.
    double f = std::fmod(fDegrees, 360.0);
    if (f < 0)
      f += 360;
    const int nPoint = int(std::floor((f + 22.5) / 45)) & 7;
    StrCopy(pszValue, cchValue, GetUnitName(uint32_t(c_idsCompassN + nPoint)));
    return;
  }
  Format(pszValue, cchValue, u"%0.1f°", fDegrees);
}

void FormatLatitude(double fDegrees, char16_t* pszValue, size_t cchValue) {
  FormatCoordinate(fDegrees, u'N', u'S', pszValue, cchValue);
}

void FormatLongitude(double fDegrees, char16_t* pszValue, size_t cchValue) {
  FormatCoordinate(fDegrees, u'E', u'W', pszValue, cchValue);
}

void FormatPosition(double fLat, double fLon, char16_t* pszValue, size_t cchValue) {
  if (!pszValue || cchValue == 0)
    return;
  char16_t szLat[64];
  char16_t szLon[64];
  FormatLatitude(fLat, szLat, 64);
  FormatLongitude(fLon, szLon, 64);
  Format(pszValue, cchValue, u"%s %s", szLat, szLon);
}

namespace {

bool IsBlank(char16_t ch) { return ch == u' ' || ch == u'\t' || ch == 0xA0; }

// +1 / -1 for a hemisphere letter of the coordinate's kind, 0 otherwise.
int HemisphereSign(char16_t ch, bool fLatitude) {
  if (fLatitude) {
    if (ch == u'N' || ch == u'n' || ch == u'С' || ch == u'с') return 1;
    if (ch == u'S' || ch == u's' || ch == u'Ю' || ch == u'ю') return -1;
  } else {
    if (ch == u'E' || ch == u'e' || ch == u'В' || ch == u'в') return 1;
    if (ch == u'W' || ch == u'w' || ch == u'З' || ch == u'з') return -1;
  }
  return 0;
}

// The mark that may follow the i-th number (degrees, minutes, seconds);
// returns its length at psz, 0 when there is none.
size_t MarkLength(const char16_t* psz, int i) {
  switch (i) {
    case 0:
      return *psz == u'°' || *psz == u'º' ? 1 : 0;
    case 1:
      return *psz == u'\'' || *psz == u'′' || *psz == u'’' ? 1 : 0;
    default:
      if (*psz == u'"' || *psz == u'″' || *psz == u'”') return 1;
      return psz[0] == u'\'' && psz[1] == u'\'' ? 2 : 0;
  }
}

}  // namespace

bool ParseCoordinate(const char16_t* psz, bool fLatitude, double* pfDegrees) {
  if (psz == nullptr || pfDegrees == nullptr)
    return false;
  while (IsBlank(*psz))
    ++psz;
  int nSign = 0;  // from a sign or a letter; 0 while there is neither
  if (*psz == u'-' || *psz == u'+') {
    nSign = *psz == u'-' ? -1 : 1;
    ++psz;
  } else if (HemisphereSign(*psz, fLatitude) != 0) {
    nSign = HemisphereSign(*psz, fLatitude);
    ++psz;
  }
  while (IsBlank(*psz))
    ++psz;
  double afPart[3] = {0, 0, 0};
  int cParts = 0;
  bool fFraction = false;
  while (cParts < 3 && *psz >= u'0' && *psz <= u'9') {
    if (fFraction)
      return false;  // only the last number may have a fraction
    double f = 0;
    int cDigits = 0;
    for (; *psz >= u'0' && *psz <= u'9'; ++psz, ++cDigits)
      f = f * 10 + (*psz - u'0');
    if (*psz == u'.' || *psz == u',') {
      ++psz;
      double fScale = 0.1;
      if (!(*psz >= u'0' && *psz <= u'9'))
        return false;
      for (; *psz >= u'0' && *psz <= u'9'; ++psz, ++cDigits, fScale /= 10)
        f += (*psz - u'0') * fScale;
      fFraction = true;
    }
    if (cDigits > 20)
      return false;
    afPart[cParts] = f;
    psz += MarkLength(psz, cParts);
    ++cParts;
    while (IsBlank(*psz))
      ++psz;
  }
  if (cParts == 0)
    return false;
  if (HemisphereSign(*psz, fLatitude) != 0) {
    if (nSign != 0)
      return false;  // a sign or letter already given
    nSign = HemisphereSign(*psz, fLatitude);
    ++psz;
    while (IsBlank(*psz))
      ++psz;
  }
  if (*psz != 0)
    return false;
  if (afPart[1] >= 60 || afPart[2] >= 60)
    return false;
  const double f = afPart[0] + afPart[1] / 60 + afPart[2] / 3600;
  if (!(f <= (fLatitude ? 90.0 : 180.0)))
    return false;
  *pfDegrees = nSign < 0 ? -f : f;
  return true;
}

void FormatStreetAddress(const char16_t* pszStreet, const char16_t* pszHouse, char16_t* pszBuf,
                         size_t cchBuf) {
  if (!pszBuf || cchBuf == 0)
    return;
  size_t cch = 0;
  pszBuf[0] = 0;
  const bool fStreetFirst = g_UnitOptions.dwStreetAddressFormat == 1;
  const char16_t* pszFirst = fStreetFirst ? pszStreet : pszHouse;
  const char16_t* pszSecond = fStreetFirst ? pszHouse : pszStreet;
  Append(pszBuf, cchBuf, &cch, pszFirst);
  if (!IsEmpty(pszFirst) && !IsEmpty(pszSecond))
    Append(pszBuf, cchBuf, &cch, fStreetFirst ? u", " : u" ");
  Append(pszBuf, cchBuf, &cch, pszSecond);
}

void FormatAddress(const char16_t* pszZip, const char16_t* pszCity, const char16_t* pszStreet,
                   const char16_t* pszHouse, char16_t* pszBuf, size_t cchBuf) {
  if (!pszBuf || cchBuf == 0)
    return;
  size_t cch = 0;
  pszBuf[0] = 0;
  char16_t szStreet[256];
  FormatStreetAddress(pszStreet, pszHouse, szStreet, 256);
  const char16_t* apsz[3] = {g_UnitOptions.fShowZipCode ? pszZip : nullptr,
                             g_UnitOptions.fShowCity ? pszCity : nullptr, szStreet};
  for (const char16_t* psz : apsz) {
    if (IsEmpty(psz))
      continue;
    if (cch > 0)
      Append(pszBuf, cchBuf, &cch, u", ");
    Append(pszBuf, cchBuf, &cch, psz);
  }
}
