// Units and value formatting: every measured quantity the program shows
// becomes a value text and a separate unit text in the user's units.
// Internally distances and elevations are metres, speeds km/h, vertical
// speeds m/s, areas m², durations days, azimuths degrees and positions
// degrees of WGS 84.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

enum ElevationUnit { unFeet = 0, unMeters = 1 };
enum DistanceUnit { duMetric = 0, duNautical = 1, duStatute = 2 };
enum AreaUnit { auMetric = 0, auSquareFeetMiles = 1, auAcres = 2, auHectares = 3 };
enum AzimuthFormat { afDegrees = 0, afCompassPoints = 1 };
enum PositionFormat {
  pfSignedDegrees = 0,          // -33.50000
  pfDegrees = 1,                // " S33.50000°"
  pfDegreesMinutes = 2,         // S33°30.000'
  pfDegreesMinutesSeconds = 3,  // S33°30'00.0"
};

// String ids of the unit names and compass points.
const uint32_t c_idsUnitMeters = 2400;
const uint32_t c_idsUnitFeet = 2401;
const uint32_t c_idsUnitKilometres = 2402;
const uint32_t c_idsUnitNauticalMiles = 2403;
const uint32_t c_idsUnitMiles = 2404;
const uint32_t c_idsUnitKmh = 2405;
const uint32_t c_idsUnitMph = 2406;
const uint32_t c_idsUnitKnots = 2407;
const uint32_t c_idsUnitMetresPerSec = 2408;
const uint32_t c_idsUnitFeetPerSec = 2409;
const uint32_t c_idsUnitSqMetres = 2412;
const uint32_t c_idsUnitSqKilometres = 2413;
const uint32_t c_idsUnitSqFeet = 2414;
const uint32_t c_idsUnitSqMiles = 2415;
const uint32_t c_idsUnitAcres = 2416;
const uint32_t c_idsUnitHectares = 2417;
const uint32_t c_idsUnitMilliseconds = 2418;
const uint32_t c_idsUnitKilobytes = 2419;
const uint32_t c_idsCompassN = 2250;  // N, NE, E, SE, S, SW, W, NW: 2250-2257

// Conversion constants.
const double c_fFeetPerMetre = 3.28084;
const double c_fMetresPerNauticalMile = 1852.0;
const double c_fMetresPerStatuteMile = 1609.3;
const double c_fKmhPerKnot = 1.852;
const double c_fKmhPerMph = 1.6093;
const double c_fSqMetresPerSqMile = 2589846.6471582055;
const double c_fSqMetresPerAcre = 4047.0;
const double c_fSqMetresPerHectare = 10000.0;

// The unit options, as read from the settings.
struct UnitOptions {
  DWORD dwElevationUnit;        // ElevationUnit
  DWORD dwDistanceUnit;         // DistanceUnit
  DWORD dwAreaUnit;             // AreaUnit
  DWORD dwAzimuthFormat;        // AzimuthFormat
  DWORD dwPositionFormat;       // PositionFormat
  DWORD dwStreetAddressFormat;  // 0: "12 Main St", 1: "Тверская, 12"
  bool fShowZipCode;
  bool fShowCity;
};
extern UnitOptions g_UnitOptions;

// Reads the options from the settings and the unit names from the string
// table. Called at start and whenever the options pages are confirmed.
void LoadUnitOptions();
// Puts options in place without the settings store (tests, tools); the
// unit names are loaded from the string table as LoadUnitOptions does.
void SetUnitOptions(const UnitOptions& options);
// The loaded name of a unit by its string id (2400-2419, 2250-2257); empty
// for any other id. Names are loaded on first use if no load happened yet.
const char16_t* GetUnitName(uint32_t ids);

// Every formatter writes the value (and, where it has one, the unit name)
// into caller buffers, always terminated and cut to the buffer size. A
// null unit buffer is allowed. NaN and infinite inputs give "-" as value.

// The shared number style: 0 → "0"; below 0.1 "%0.4f"; below 1 "%0.3f";
// below 100 "%0.2f"; below 1000 "%0.1f"; else the grouped integer.
void FormatGeneralNumber(double f, char16_t* pszValue, size_t cchValue);
// "999", "999 999", "1 235 000" (above 999 999 rounded to thousands).
void FormatGroupedInteger(uint32_t n, char16_t* pszValue, size_t cchValue);
// Distance in metres (a magnitude; a negative one is formatted as 0).
void FormatDistance(double fMetres, char16_t* pszValue, size_t cchValue, char16_t* pszUnit,
                    size_t cchUnit);
// Elevation given in metres (unMeters) or feet (unFeet), shown in the
// option's unit, whole or with one decimal.
void FormatElevation(double f, ElevationUnit unit, bool fWhole, char16_t* pszValue,
                     size_t cchValue, char16_t* pszUnit, size_t cchUnit);
// Horizontal speed in km/h.
void FormatSpeed(double fKmh, char16_t* pszValue, size_t cchValue, char16_t* pszUnit,
                 size_t cchUnit);
// Vertical speed in m/s.
void FormatVerticalSpeed(double fMs, char16_t* pszValue, size_t cchValue, char16_t* pszUnit,
                         size_t cchUnit);
// Area in m².
void FormatArea(double fSqMetres, char16_t* pszValue, size_t cchValue, char16_t* pszUnit,
                size_t cchUnit);
// Duration in days: "h:mm:ss".
void FormatDuration(double fDays, char16_t* pszValue, size_t cchValue);
// Azimuth in degrees: "%0.1f°" or a compass point.
void FormatAzimuth(double fDegrees, char16_t* pszValue, size_t cchValue);
void FormatLatitude(double fDegrees, char16_t* pszValue, size_t cchValue);
void FormatLongitude(double fDegrees, char16_t* pszValue, size_t cchValue);
// Latitude, one blank, longitude.
void FormatPosition(double fLat, double fLon, char16_t* pszValue, size_t cchValue);
// A latitude (fLatitude) or longitude as a user types it, in any of the
// position formats: a sign, or a hemisphere letter before or after (N S /
// E W, or the Russian С Ю / В З); degrees, optionally minutes and seconds,
// separated by blanks or the marks ° ' " (also ′ ″); '.' or ',' as the
// decimal separator, a fraction only on the last number. Minutes and
// seconds below 60, the result within ±90 or ±180. False for anything else
// (pfDegrees is then untouched).
bool ParseCoordinate(const char16_t* psz, bool fLatitude, double* pfDegrees);

// Street address from its two parts by "OptionPA_StreetAddressFormat":
// 0 "house street", 1 "street, house". Either part may be empty or null.
void FormatStreetAddress(const char16_t* pszStreet, const char16_t* pszHouse, char16_t* pszBuf,
                         size_t cchBuf);
// Full address: [zip, ][city, ]street address, where the zip code and the
// city are shown by "OptionPA_ShowZipCode" and "OptionPA_ShowCity".
void FormatAddress(const char16_t* pszZip, const char16_t* pszCity, const char16_t* pszStreet,
                   const char16_t* pszHouse, char16_t* pszBuf, size_t cchBuf);
