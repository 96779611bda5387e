// Replays a recorded receiver byte stream through a protocol without a
// serial port: the bytes go to ProcessData in chunks, the fixes and the
// satellite tables that come out are collected.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gps/GpsFix.h"

struct SkyReport {
  int cSatellites;
  int cUsed;
  std::vector<SatelliteInfo> aSatellites;
};

struct ReplayResult {
  std::vector<GpsFix> aFixes;
  std::vector<SkyReport> aSkies;
  uint32_t cChecksumErrors = 0;
  uint32_t cSkippedSegments = 0;  // garbage the protocol dropped after recognising the stream
  uint32_t cFailures = 0;     // Failed results (the protocol was restarted)
  bool fRecognized = false;   // some chunk returned Recognized
  // The order things came out: true for a fix, false for a satellite table.
  std::vector<bool> aOrder;
};

// Protocol names: "nmea", "nmea9600", "garmin", "sirf" (or "sirf100").
bool IsReplayProtocol(const char* pszProtocol);
// Feeds the bytes in chunks of 1..cbMaxChunk bytes drawn from a generator
// seeded with dwSeed (dwSeed 0: chunks of exactly cbMaxChunk). The Garmin
// protocol first gets the receiver's ACK of its start request. The system
// clock is never set during a replay. dDatePivot: the earliest date the
// receiver's dates may mean (days since 1899-12-30; 0 = the program's build
// date, as when reading a receiver live; an old capture is replayed with a
// day before it was recorded).
bool ReplayCapture(const char* pszProtocol, const uint8_t* pb, size_t cb, uint32_t dwSeed, size_t cbMaxChunk,
                   ReplayResult& result, double dDatePivot = 0);
// The same through the caller's hub (its subscribers hear the replay; the
// clock correction is switched off on it).
class CPositionHub;
bool ReplayCaptureThrough(CPositionHub& hub, const char* pszProtocol, const uint8_t* pb, size_t cb, uint32_t dwSeed,
                          size_t cbMaxChunk, ReplayResult& result);

// "2005-06-09T14:34:44.280Z" (empty without a time).
std::string FormatFixTime(const GpsFix& fix);
// One line of the replay output.
std::string FormatFixLine(const GpsFix& fix);
std::string FormatSkyLine(const SkyReport& sky);
