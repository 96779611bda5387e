#include "gps/NMEA0183.h"

#include <cstring>

#include "gps/GpsLog.h"
#include "gps/GpsTime.h"
#include "gps/Positioning.h"
#include "platform/Debug.h"

namespace {

const char* FindByte(const char* p, const char* pEnd, char ch) {
  if (p >= pEnd) return nullptr;
  return static_cast<const char*>(std::memchr(p, ch, size_t(pEnd - p)));
}

int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

double ParseLatLon(const char* p, const char* pEnd, int cDegreeChars) {
  if (pEnd - p < cDegreeChars) return NmeaParseInt(p, pEnd);
  int nDeg = NmeaParseInt(p, p + cDegreeChars);
  double dMin = NmeaParseReal(p + cDegreeChars, pEnd);
  return nDeg + dMin / 60.0;
}

// The constant part of the sentence addresses the table knows.
enum SentenceType { stUnknown, stRMC, stGGA, stGLL, stVTG, stGSA, stGSV, stHDG, stDPT, stDBT, stMTW, stPGRMZ,
                    stPGRMM, stPGRME };

inline uint32_t Tag3(const char* p) { return uint32_t(uint8_t(p[0])) << 16 | uint32_t(uint8_t(p[1])) << 8 | uint8_t(p[2]); }
constexpr uint32_t Tag3(char a, char b, char c) { return uint32_t(uint8_t(a)) << 16 | uint32_t(uint8_t(b)) << 8 | uint8_t(c); }

SentenceType Classify(const char* pLine, const char* pEnd) {
  if (pEnd - pLine < 7) return stUnknown;
  if (pLine[1] == 'P') {
    if (std::memcmp(pLine + 1, "PGRMZ,", 6) == 0) return stPGRMZ;
    if (std::memcmp(pLine + 1, "PGRME,", 6) == 0) return stPGRME;
    if (std::memcmp(pLine + 1, "PGRMM,", 6) == 0) return stPGRMM;
    return stUnknown;
  }
  // Any two-character talker: GP, GN, GL, GA, GB, BD, IN, EC, SD, HC, ...
  if (pLine[6] != ',') return stUnknown;
  switch (Tag3(pLine + 3)) {
    case Tag3('R', 'M', 'C'): return stRMC;
    case Tag3('G', 'G', 'A'): return stGGA;
    case Tag3('G', 'L', 'L'): return stGLL;
    case Tag3('V', 'T', 'G'): return stVTG;
    case Tag3('G', 'S', 'A'): return stGSA;
    case Tag3('G', 'S', 'V'): return stGSV;
    case Tag3('H', 'D', 'G'): return stHDG;
    case Tag3('D', 'P', 'T'): return stDPT;
    case Tag3('D', 'B', 'T'): return stDBT;
    case Tag3('M', 'T', 'W'): return stMTW;
    default: return stUnknown;
  }
}

float Unit(const char* p, const char* pEnd, char chMetres) {
  return (p < pEnd && *p == chMetres) ? 1.0f : 0.3048f;
}

}  // namespace

int NmeaParseInt(const char* p, const char* pEnd) {
  while (p < pEnd && *p == ' ') ++p;
  int n = 0;
  while (p < pEnd && *p >= '0' && *p <= '9') {
    if (n < 100000000) n = n * 10 + (*p - '0');
    ++p;
  }
  return n;
}

double NmeaParseReal(const char* p, const char* pEnd) {
  while (p < pEnd && *p == ' ') ++p;
  bool fNeg = false;
  if (p < pEnd && (*p == '-' || *p == '+')) {
    fNeg = *p == '-';
    ++p;
  }
  double d = 0;
  while (p < pEnd && *p >= '0' && *p <= '9') d = d * 10 + (*p++ - '0');
  if (p < pEnd && *p == '.') {
    ++p;
    double scale = 0.1;
    while (p < pEnd && *p >= '0' && *p <= '9') {
      d += (*p++ - '0') * scale;
      scale *= 0.1;
    }
  }
  return fNeg ? -d : d;
}

const NMEA0183::Field& NMEA0183::Sentence::operator[](int i) const {
  static const Field c_empty = {nullptr, nullptr};
  return (i >= 0 && i < cFields) ? aFields[i] : c_empty;
}

NMEA0183::NMEA0183(DWORD dwBaud) : m_dwBaud(dwBaud) { Reset(); }

void NMEA0183::Reset() {
  m_cbLine = 0;
  m_fSentenceSeen = false;
  m_fRecognized = false;
  m_fSkipping = false;
  m_dwLastData = m_dwLastDelivery = m_dwLastValid = GpsTickMs();
  m_fix.Start();
  m_nLastEpoch = -1;
  m_aUsed.clear();
  m_fLastWasGsa = false;
  m_cGsvTalkers = 0;
}

void NMEA0183::Start() {
  if (m_pPort) {
    m_pPort->Configure(m_dwBaud, 8, false, 0);
    m_pPort->SetQueues(4096, 4096);
    m_pPort->Purge();
  }
  Reset();
}

void NMEA0183::Stop() {}

ProcessResult NMEA0183::ProcessData(const uint8_t* pbData, DWORD cb) {
  uint32_t now = GpsTickMs();
  if (cb == 0 || !pbData) {
    if (now - m_dwLastData > c_dwSilenceMs) {
      GpsLog(u"Long silence detected (NMEA-0183, %s).", PortName());
      return Failed;
    }
    if (m_fRecognized && now - m_dwLastValid > c_dwSilenceMs) {
      GpsLog(u"No valid NMEA-0183 sentence for %d ms (%s).", int(now - m_dwLastValid), PortName());
      return Failed;
    }
    return Pending;
  }
  m_dwLastData = now;
  if (m_fSentenceSeen && now - m_dwLastDelivery > c_dwForcedDeliveryMs) Deliver();

  // The stream is cut into segments, each from a '$' up to the next one;
  // the buffer holds the segment that is still open. Every segment is judged
  // when the '$' after it arrives, however the bytes came in reads.
  const char* p = reinterpret_cast<const char*>(pbData);
  const char* pEnd = p + cb;
  while (p < pEnd) {
    const char* pDollar = FindByte(p, pEnd, '$');
    if (!AppendToSegment(p, pDollar ? pDollar : pEnd)) return Failed;
    if (!pDollar) break;
    ASSERT(pDollar < pEnd && *pDollar == '$');
    if (!EndSegment(now)) return Failed;
    m_achLine[0] = '$';
    m_cbLine = 1;
    p = pDollar + 1;
  }
  if (m_fRecognized && now - m_dwLastValid > c_dwSilenceMs) {
    GpsLog(u"No valid NMEA-0183 sentence for %d ms (%s).", int(now - m_dwLastValid), PortName());
    return Failed;
  }
  return m_fSentenceSeen ? Recognized : Pending;
}

bool NMEA0183::AppendToSegment(const char* p, const char* pEnd) {
  DWORD cb = DWORD(pEnd - p);
  if (m_fSkipping) return true;
  if (m_cbLine + cb >= c_cbLine) {
    GpsLog(u"NMEA-0183 buffer overflow! (%s)", PortName());
    if (!m_fRecognized) return false;
    SkipSegment(u"overlong");
    m_fSkipping = true;
    return true;
  }
  std::memcpy(m_achLine + m_cbLine, p, cb);
  m_cbLine += cb;
  return true;
}

bool NMEA0183::EndSegment(uint32_t now) {
  if (m_fSkipping) {
    // Counted when it grew too long.
    m_fSkipping = false;
    m_cbLine = 0;
    return true;
  }
  bool fValid = false;
  bool fPlausible = ParseChunk(m_achLine, m_achLine + m_cbLine, &fValid);
  bool fSentence = m_cbLine > 0 && m_achLine[0] == '$';
  m_cbLine = 0;
  if (fPlausible) {
    m_fSentenceSeen = true;
    if (fValid) {
      m_fRecognized = true;
      m_dwLastValid = now;
    }
    return true;
  }
  // Bytes before the first '$' of the stream are the end of a sentence the
  // port opened in the middle of.
  if (!fSentence) return true;
  if (!m_fRecognized) {
    GpsLog(u"Valid NMEA-0183 sentence is not recognized (%s).", PortName());
    return false;
  }
  SkipSegment(u"too short");
  return true;
}

void NMEA0183::SkipSegment(const char16_t* pszWhy) {
  m_pHub->CountSkippedData();
  m_cbLine = 0;
  GpsLog(u"Garbage skipped (NMEA-0183, %s segment, %s).", pszWhy, PortName());
}

bool NMEA0183::ParseChunk(const char* p, const char* pEnd, bool* pfValid) {
  bool fPlausible = false;
  while (p < pEnd) {
    const char* pLf = FindByte(p, pEnd, '\n');
    const char* pLineEnd = pLf ? pLf + 1 : pEnd;
    if (*p == '$' && pEnd - p >= 9) {
      fPlausible = true;
      if (ParseLine(p, pLineEnd) && pfValid) *pfValid = true;
    }
    p = pLineEnd;
  }
  return fPlausible;
}

bool NMEA0183::ParseLine(const char* p, const char* pEnd) {
  // The text without its line end (CR LF, or LF alone).
  const char* pText = pEnd;
  while (pText > p && (pText[-1] == '\n' || pText[-1] == '\r')) --pText;
  if (pText - p >= 4 && pText[-3] == '*') {
    uint8_t btSum = 0;
    for (const char* q = p + 1; q < pText - 3; ++q) btSum ^= uint8_t(*q);
    int hi = HexDigit(pText[-2]), lo = HexDigit(pText[-1]);
    if (hi < 0 || lo < 0 || btSum != uint8_t(hi * 16 + lo)) {
      m_pHub->CountChecksumError();
      GpsLog(u"Check sum failed! (NMEA-0183, %s)", PortName());
      return false;
    }
  }
  SentenceType type = Classify(p, pText);
  if (type == stUnknown) return false;
  RunDecoderProbe("nmea");
  bool fGsa = type == stGSA;
  Sentence s;
  SplitFields(p, pText, s);
  switch (type) {
    case stRMC: DoRMC(s); break;
    case stGGA: DoGGA(s); break;
    case stGLL: DoGLL(s); break;
    case stGSA: DoGSA(s); break;
    case stGSV: DoGSV(s, p[1], p[2]); break;
    case stHDG: DoHDG(s); break;
    case stDPT: DoDPT(s); break;
    case stDBT: DoDBT(s); break;
    case stMTW: DoMTW(s); break;
    case stPGRMZ: DoPGRMZ(s); break;
    case stPGRME: DoPGRME(s); break;
    default: break;  // VTG, PGRMM: known and ignored
  }
  m_fLastWasGsa = fGsa;
  return true;
}

void NMEA0183::SplitFields(const char* p, const char* pEnd, Sentence& s) const {
  // Fields end at a comma; the last one at the checksum's '*' or the line end.
  const char* pStar = FindByte(p, pEnd, '*');
  if (pStar) pEnd = pStar;
  s.cFields = 0;
  while (s.cFields < c_cMaxFields) {
    const char* pComma = FindByte(p, pEnd, ',');
    Field& f = s.aFields[s.cFields++];
    f.p = p;
    f.pEnd = pComma ? pComma : pEnd;
    if (!pComma) break;
    p = pComma + 1;
  }
}

void NMEA0183::EpochCheck(const Field& time) {
  if (!time.Present()) return;
  const char* pEnd = time.Length() > 6 ? time.p + 6 : time.pEnd;
  int32_t nEpoch = NmeaParseInt(time.p, pEnd);
  if (nEpoch != m_nLastEpoch) {
    m_nLastEpoch = nEpoch;
    Deliver();
  }
}

void NMEA0183::Deliver() {
  m_pHub->OnFix(m_fix);
  GpsFix next;
  next.Start();
  if (m_fix.Has(gfVdop)) next.SetVdop(m_fix.vdop);
  if (m_fix.Has(gfDepth)) next.SetDepth(m_fix.depth);
  if (m_fix.Has(gfWaterTemperature)) next.SetWaterTemperature(m_fix.waterTemperature);
  m_fix = next;
  m_fSentenceSeen = false;
  m_dwLastDelivery = GpsTickMs();
}

void NMEA0183::ClearPositionFlags() {
  m_fix.Clear(gfPosition | gfHorizontalError | gfAltitude | gfVerticalError | gfHdop | gfVdop);
}

void NMEA0183::DoRMC(const Sentence& s) {
  EpochCheck(s[1]);
  const Field& status = s[2];
  if (!status.Present() || *status.p != 'A') return;
  bool fPosition = false;
  if (s[3].Present() && s[5].Present()) {
    double lat = ParseLatLon(s[3].p, s[3].pEnd, 2);
    if (s[4].Present() && *s[4].p == 'S') lat = -lat;
    double lon = ParseLatLon(s[5].p, s[5].pEnd, 3);
    if (s[6].Present() && *s[6].p == 'W') lon = -lon;
    m_fix.SetPosition(float(lon), float(lat));
    fPosition = true;
  }
  bool fSpeed = s[7].Present(), fCourse = s[8].Present();
  if (fSpeed) m_fix.SetSpeed(float(NmeaParseReal(s[7].p, s[7].pEnd) * 1.852));
  if (fCourse) m_fix.SetCourse(float(NmeaParseReal(s[8].p, s[8].pEnd)));
  if (fPosition)
    m_pHub->SetCursor(m_fix.longitude, m_fix.latitude, fCourse ? m_fix.course : 0.0f, fCourse, fSpeed ? m_fix.speed : 0.0f,
              fSpeed);
  if (s[10].Present()) {
    float f = float(NmeaParseReal(s[10].p, s[10].pEnd));
    m_fix.SetMagneticVariation(s[11].Present() && *s[11].p == 'E' ? f : -f);
  }
  const Field& time = s[1];
  const Field& date = s[9];
  if (date.Length() >= 6 && time.Length() >= 6) {
    int day = NmeaParseInt(date.p, date.p + 2), month = NmeaParseInt(date.p + 2, date.p + 4),
        yy = NmeaParseInt(date.p + 4, date.p + 6);
    int year = yy < 80 ? 2000 + yy : 1900 + yy;
    int hour = NmeaParseInt(time.p, time.p + 2), minute = NmeaParseInt(time.p + 2, time.p + 4),
        second = NmeaParseInt(time.p + 4, time.p + 6);
    if (month < 1 || month > 12 || day < 1 || day > 31) return;
    double seconds = hour * 3600.0 + minute * 60.0 + second;
    if (time.Length() > 6 && time.p[6] == '.') seconds += NmeaParseReal(time.p + 6, time.pEnd);
    double t = DaysFromCivil(year, month, day) + seconds / 86400.0;
    t = m_pHub->ResolveGpsDate(t);
    m_pHub->FixupClock(t);
    m_fix.SetTime(t);
  }
}

void NMEA0183::DoGGA(const Sentence& s) {
  EpochCheck(s[1]);
  if (s[2].Present() && s[4].Present()) {
    double lat = ParseLatLon(s[2].p, s[2].pEnd, 2);
    if (s[3].Present() && *s[3].p == 'S') lat = -lat;
    double lon = ParseLatLon(s[4].p, s[4].pEnd, 3);
    if (s[5].Present() && *s[5].p == 'W') lon = -lon;
    m_fix.SetPosition(float(lon), float(lat));
  }
  if (s[7].Present()) m_fix.SetSatellitesUsed(NmeaParseInt(s[7].p, s[7].pEnd));
  if (s[8].Present()) m_fix.SetHdop(float(NmeaParseReal(s[8].p, s[8].pEnd)));
  if (s[6].Present()) {
    switch (*s[6].p) {
      case '0': m_fix.SetStatus(fsInvalid); ClearPositionFlags(); break;
      case '1': m_fix.SetStatus(fs3D); break;
      case '2': m_fix.SetStatus(fs3DDiff); break;
      case '3': m_fix.SetStatus(fsPps); break;
      case '4': m_fix.SetStatus(fsRtk); break;
      case '5': m_fix.SetStatus(fsFloatRtk); break;
      case '6': m_fix.SetStatus(fsEstimated); break;
      case '7': m_fix.SetStatus(fsManual); break;
      case '8': m_fix.SetStatus(fsSimulation); break;
      default: m_fix.SetStatus(fsUnknown); break;
    }
  }
  if (s[9].Present())
    m_fix.SetAltitude(float(NmeaParseReal(s[9].p, s[9].pEnd) * Unit(s[10].p, s[10].pEnd, 'M')));
  if (s[11].Present())
    m_fix.SetGeoidSeparation(float(NmeaParseReal(s[11].p, s[11].pEnd) * Unit(s[12].p, s[12].pEnd, 'M')));
  if (s[13].Present()) m_fix.SetDgpsAge(float(NmeaParseReal(s[13].p, s[13].pEnd)));
  if (s[14].Present()) m_fix.SetDgpsStation(NmeaParseInt(s[14].p, s[14].pEnd));
}

void NMEA0183::DoGLL(const Sentence& s) {
  EpochCheck(s[5]);
  if (s[6].Present() && *s[6].p == 'A' && s[1].Present() && s[3].Present()) {
    double lat = ParseLatLon(s[1].p, s[1].pEnd, 2);
    if (s[2].Present() && *s[2].p == 'S') lat = -lat;
    double lon = ParseLatLon(s[3].p, s[3].pEnd, 3);
    if (s[4].Present() && *s[4].p == 'W') lon = -lon;
    m_fix.SetPosition(float(lon), float(lat));
  }
}

void NMEA0183::DoGSA(const Sentence& s) {
  // One GSA per constellation arrives back to back: their lists add up.
  if (!m_fLastWasGsa) m_aUsed.clear();
  for (int i = 3; i <= 14; ++i)
    if (s[i].Present() && m_aUsed.size() < 64) m_aUsed.push_back(NmeaParseInt(s[i].p, s[i].pEnd));
  if (s[16].Present()) m_fix.SetHdop(float(NmeaParseReal(s[16].p, s[16].pEnd)));
  if (s[17].Present()) m_fix.SetVdop(float(NmeaParseReal(s[17].p, s[17].pEnd)));
  char ch = s[2].Present() ? *s[2].p : 0;
  switch (ch) {
    case '1': m_fix.SetStatus(fsInvalid); ClearPositionFlags(); break;
    case '2': m_fix.SetStatus(fs2D); break;
    case '3': m_fix.SetStatus(fs3D); break;
    default: m_fix.SetStatus(fsUnknown); break;
  }
}

void NMEA0183::DoGSV(const Sentence& s, char chTalker1, char chTalker2) {
  int cMessages = NmeaParseInt(s[1].p, s[1].pEnd);
  int nMessage = NmeaParseInt(s[2].p, s[2].pEnd);
  if (nMessage == 1) {
    int cInView = NmeaParseInt(s[3].p, s[3].pEnd);
    if (cInView > 255) cInView = 255;
    // Receivers that report each constellation in its own group: the groups
    // of one round share the table; a talker seen again starts a new round.
    uint32_t dwTalker = uint32_t(uint8_t(chTalker1)) << 8 | uint8_t(chTalker2);
    bool fSeen = false;
    for (int i = 0; i < m_cGsvTalkers; ++i) fSeen |= m_dwGsvTalkers[i] == dwTalker;
    if (fSeen || m_cGsvTalkers == 0 || m_cGsvTalkers == 8) {
      m_pHub->ResetSatellites(cInView);
      m_cGsvTalkers = 0;
    } else {
      m_pHub->GrowSatellites(cInView);
    }
    m_dwGsvTalkers[m_cGsvTalkers++] = dwTalker;
  }
  for (int i = 4; i < s.cFields; i += 4) {
    const Field& prn = s[i];
    if (!prn.Present()) continue;
    SatelliteInfo info;
    info.nPrn = NmeaParseInt(prn.p, prn.pEnd);
    info.nElevation = NmeaParseInt(s[i + 1].p, s[i + 1].pEnd);
    info.nAzimuth = NmeaParseInt(s[i + 2].p, s[i + 2].pEnd);
    info.nSnr = NmeaParseInt(s[i + 3].p, s[i + 3].pEnd);
    info.nState = 1;
    for (int32_t n : m_aUsed)
      if (n == info.nPrn) info.nState = 2;
    m_pHub->AppendSatellite(info);
  }
  if (nMessage == cMessages) m_pHub->SatellitesComplete();
}

void NMEA0183::DoHDG(const Sentence& s) {
  // A heading sensor fills the course only when the receiver gave none for
  // this epoch: the course over ground is what the navigator follows.
  if (s[1].Present() && !m_fix.Has(gfCourse)) m_fix.SetCourse(float(NmeaParseReal(s[1].p, s[1].pEnd)));
}

void NMEA0183::DoDPT(const Sentence& s) {
  if (s[1].Present()) m_fix.SetDepth(float(NmeaParseReal(s[1].p, s[1].pEnd)));
}

void NMEA0183::DoDBT(const Sentence& s) {
  if (s[3].Present() && s[4].Present() && *s[4].p == 'M') m_fix.SetDepth(float(NmeaParseReal(s[3].p, s[3].pEnd)));
}

void NMEA0183::DoMTW(const Sentence& s) {
  if (s[1].Present() && s[2].Present() && *s[2].p == 'C')
    m_fix.SetWaterTemperature(float(NmeaParseReal(s[1].p, s[1].pEnd)));
}

void NMEA0183::DoPGRMZ(const Sentence& s) {
  if (s[1].Present())
    m_fix.SetAltitude(float(NmeaParseReal(s[1].p, s[1].pEnd) * ((s[2].Present() && *s[2].p == 'f') ? 0.3048 : 1.0)));
}

void NMEA0183::DoPGRME(const Sentence& s) {
  if (s[1].Present()) m_fix.SetHorizontalError(float(NmeaParseReal(s[1].p, s[1].pEnd) * Unit(s[2].p, s[2].pEnd, 'M')));
  if (s[3].Present()) m_fix.SetVerticalError(float(NmeaParseReal(s[3].p, s[3].pEnd) * Unit(s[4].p, s[4].pEnd, 'M')));
}
