// Numbers on velmo-cli's command lines. Every command takes a number only when
// the whole argument is one, finite and within what the command can use; any
// other value ends the command with status 2 and a message saying what was
// wanted, before anything is read or written.
#pragma once
#include <cstdint>

// A decimal number (as strtod reads it) within [fMin, fMax].
bool ParseCliNumber(const char* psz, double fMin, double fMax, double& f);
// A whole number within [nMin, nMax] (written as digits, "7" or "7.0").
bool ParseCliInteger(const char* psz, int64_t nMin, int64_t nMax, int64_t& n);
// Degrees of latitude (-90..90) and longitude (-180..180).
bool ParseCliLatitude(const char* psz, double& f);
bool ParseCliLongitude(const char* psz, double& f);
// A day "YYYY-MM-DD" between 1980-01-06 and 2199-12-31, as days since 1899-12-30.
bool ParseCliDate(const char* psz, double& dDays);

// Prints "velmo-cli COMMAND: WHAT wants WANTED, not 'VALUE'" on standard
// error and returns 2, the status of a command given bad arguments.
int CliBadValue(const char* pszCommand, const char* pszWhat, const char* pszWanted, const char* pszValue);
