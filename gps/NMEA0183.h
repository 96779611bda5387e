// NMEA0183: the protocol of receivers that send NMEA-0183 text sentences.
// One GpsFix per receiver epoch (sentences with the same hhmmss time stamp).
#pragma once
#include <cstdint>
#include <vector>

#include "gps/GpsFix.h"
#include "gps/GpsProtocol.h"

class NMEA0183 : public GpsProtocol {
 public:
  explicit NMEA0183(DWORD dwBaud);

  // Any NMEA receiver at this baud rate: configure, purge, reset.
  void Start() override;
  // Nothing to tell the receiver.
  void Stop() override;
  // Text sentences, buffered until the next '$'. Once a valid sentence has
  // arrived, garbage between sentences (a segment from '$' to '$' too
  // short or too long for a sentence) is counted in the hub's skipped-data count and
  // dropped; the run fails then only when no valid sentence arrived for the
  // silence limit.
  ProcessResult ProcessData(const uint8_t* pb, DWORD cb) override;
  void Reset() override;

  static const DWORD c_cbLine = 256;
  static const uint32_t c_dwSilenceMs = 5000;
  static const uint32_t c_dwForcedDeliveryMs = 6000;

 private:
  struct Field {
    const char* p;
    const char* pEnd;
    bool Present() const { return pEnd > p; }
    size_t Length() const { return size_t(pEnd - p); }
  };
  // The fields of one sentence (field 0 is the address).
  static const int c_cMaxFields = 40;
  struct Sentence {
    Field aFields[c_cMaxFields];
    int cFields;
    const Field& operator[](int i) const;
  };

  // Adds the bytes up to the next '$' (or the read's end) to the segment in
  // the buffer; false when an overlong segment ends the run.
  bool AppendToSegment(const char* p, const char* pEnd);
  // The segment in the buffer is complete (a '$' follows it): parses it;
  // false when a garbage segment ends the run.
  bool EndSegment(uint32_t now);
  // A garbage segment after the receiver was recognised: counted and dropped.
  void SkipSegment(const char16_t* pszWhy);
  // Parses a chunk line by line; whether it was plausible, and in *pfValid
  // whether one of its lines was a valid sentence (see ParseLine).
  bool ParseChunk(const char* p, const char* pEnd, bool* pfValid = nullptr);
  // Whether the line was a valid sentence: a type of the table whose
  // checksum matched (or that had none).
  bool ParseLine(const char* p, const char* pEnd);
  void SplitFields(const char* p, const char* pEnd, Sentence& s) const;

  void DoRMC(const Sentence& s);
  void DoGGA(const Sentence& s);
  void DoGLL(const Sentence& s);
  void DoGSA(const Sentence& s);
  void DoGSV(const Sentence& s, char chTalker1, char chTalker2);
  void DoHDG(const Sentence& s);
  void DoDPT(const Sentence& s);
  void DoDBT(const Sentence& s);
  void DoMTW(const Sentence& s);
  void DoPGRMZ(const Sentence& s);
  void DoPGRME(const Sentence& s);

  void EpochCheck(const Field& time);
  void Deliver();
  void ClearPositionFlags();

  DWORD m_dwBaud;
  char m_achLine[c_cbLine];
  DWORD m_cbLine;
  uint32_t m_dwLastData;
  uint32_t m_dwLastDelivery;
  uint32_t m_dwLastValid;          // last valid sentence (see ParseLine)
  bool m_fSentenceSeen;
  bool m_fRecognized;              // a valid sentence arrived since Reset
  bool m_fSkipping;                // dropping an overlong segment up to the next '$'
  GpsFix m_fix;
  int32_t m_nLastEpoch;
  std::vector<int32_t> m_aUsed;   // PRNs in use (from the GSA sentences of the epoch)
  bool m_fLastWasGsa;             // consecutive GSA sentences add up
  uint32_t m_dwGsvTalkers[8];     // talkers whose GSV groups fill the current table
  int m_cGsvTalkers;
};

// Field helpers (exposed for tests).
int NmeaParseInt(const char* p, const char* pEnd);
double NmeaParseReal(const char* p, const char* pEnd);
