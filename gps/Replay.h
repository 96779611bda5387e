// Replays a recorded receiver byte stream through a protocol without a
// serial port: the bytes go to ProcessData in chunks, the fixes and the
// satellite tables that come out are collected.
#pragma once
#include <cstddef>
#include <cstdint>
#include <random>
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

class CPositionHub;
class CPositionListener;
class GpsProtocol;

// A replay fed piece by piece, as a file read in blocks or a stream of any
// length: what the protocol decodes reaches the hub's subscribers as it comes
// and nothing is kept, so the memory it needs does not grow with the stream.
// The reads the protocol sees are the same however the bytes are fed.
class CReplayStream {
 public:
  // The largest read (cbMaxChunk) a replay takes.
  static const size_t c_cbMaxChunkLimit = 1 << 20;

  // The clock correction is switched off on the hub.
  CReplayStream(CPositionHub& hub, const char* pszProtocol, uint32_t dwSeed, size_t cbMaxChunk);
  ~CReplayStream();
  CReplayStream(const CReplayStream&) = delete;
  CReplayStream& operator=(const CReplayStream&) = delete;

  bool IsValid() const { return m_pProtocol != nullptr; }
  void Feed(const uint8_t* pb, size_t cb);
  // Hands over the bytes of the last, shorter read.
  void Finish();
  bool WasRecognized() const { return m_fRecognized; }
  uint32_t Failures() const { return m_cFailures; }

 private:
  void Next();
  void Process(const uint8_t* pb, size_t cb);

  GpsProtocol* m_pProtocol;
  bool m_fGarmin;
  uint32_t m_dwSeed;
  size_t m_cbMaxChunk;
  std::mt19937 m_rng;
  std::uniform_int_distribution<size_t> m_dist;
  size_t m_cbChunk;  // the size of the read being gathered
  std::vector<uint8_t> m_abPending;
  bool m_fRecognized = false;
  uint32_t m_cFailures = 0;
};

// A satellite table as the replay prints it (entries never written left out).
SkyReport MakeSkyReport(const SatelliteInfo* pSatellites, int cCount);
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
bool ReplayCaptureThrough(CPositionHub& hub, const char* pszProtocol, const uint8_t* pb, size_t cb, uint32_t dwSeed,
                          size_t cbMaxChunk, ReplayResult& result);

// "2005-06-09T14:34:44.280Z" (empty without a time).
std::string FormatFixTime(const GpsFix& fix);
// One line of the replay output.
std::string FormatFixLine(const GpsFix& fix);
std::string FormatSkyLine(const SkyReport& sky);
