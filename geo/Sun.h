// Sunrise and sunset (Almanac for Computers, 1990; zenith 90°50′).
#pragma once

// What GetSunEventTime returns when the sun does not rise or set that day.
const float c_fNoSunEvent = -100.0f;

// Universal time in hours [0, 24) of sunrise (fRising) or sunset on the
// date at the place (longitude east, latitude north, degrees), or
// c_fNoSunEvent. Callers add the date and convert to local time.
float GetSunEventTime(int nYear, int nMonth, int nDay, float fLon, float fLat, bool fRising);

// Bring an angle into [0, 360) and hours into [0, 24) by adding or
// subtracting one period (further periods for values further out).
float NormalizeDegrees(float f);
float NormalizeHours(float f);
