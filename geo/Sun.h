// Sunrise and sunset (Almanac for Computers, 1990; zenith 90°50′).
#pragma once

// What GetSunEventTime returns when the sun does not rise or set that day.
const float c_fNoSunEvent = -100.0f;

// Universal time in hours [0, 24) of sunrise (fRising) or sunset on the
// date at the place (longitude east, latitude north, degrees), or
// c_fNoSunEvent. Callers add the date and convert to local time. An
// invalid date (month outside 1-12, day outside 1-31) or position (NaN,
// latitude beyond ±90°, longitude beyond ±360°) has no event either.
float GetSunEventTime(int nYear, int nMonth, int nDay, float fLon, float fLat, bool fRising);

// Bring an angle into [0, 360) and hours into [0, 24) by adding or
// subtracting one period (further periods for values further out). NaN
// and the infinities come back unchanged.
float NormalizeDegrees(float f);
float NormalizeHours(float f);
