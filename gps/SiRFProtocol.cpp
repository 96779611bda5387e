#include "gps/SiRFProtocol.h"

#include <cmath>
#include <cstddef>
#include <vector>

#include "gps/GpsLog.h"
#include "gps/GpsTime.h"
#include "gps/Positioning.h"
#include "platform/Debug.h"

using namespace gps::detail;

namespace {
const double c_dA = 6378137.0;
const double c_dB = 6356752.314245179;
const double c_dE2 = 0.00669437999014133;
const double c_dEp2 = 0.006739496742276474;
const double c_dDegPerRad = 57.295776;
}  // namespace

void EcefToGeodetic(double x, double y, double z, double* pLat, double* pLon, double* pHeight) {
  double p = std::sqrt(x * x + y * y);
  double lon = std::atan2(y, x);
  double theta = std::atan2(z * c_dA, p * c_dB);
  double st = std::sin(theta), ct = std::cos(theta);
  double lat = std::atan2(z + c_dEp2 * c_dB * st * st * st, p - c_dE2 * c_dA * ct * ct * ct);
  double sl = std::sin(lat), cl = std::cos(lat);
  // p / cos(lat) - N, written so that it holds at the poles too.
  *pHeight = p * cl + z * sl - c_dA * std::sqrt(1 - c_dE2 * sl * sl);
  *pLat = lat * c_dDegPerRad;
  *pLon = lon * c_dDegPerRad;
}

SiRFProtocol::SiRFProtocol()
    : m_dwLastMessage(0), m_nState(0), m_cbFrame(0), m_cbPayload(0), m_fRecognized(false) {}

void SiRFProtocol::Start() {
  ASSERT(m_pPort);
  if (m_pPort) {
    m_pPort->Configure(4800, 8, false, 0);
    m_pPort->Purge();
  }
  Reset();
}

void SiRFProtocol::Reset() {
  m_dwLastMessage = GpsTickMs();
  m_fRecognized = false;
  Restart();
}

void SiRFProtocol::Stop() { ASSERT(m_pPort); }

ProcessResult SiRFProtocol::ProcessData(const uint8_t* pb, DWORD cb) {
  bool fTaken = false;
  // Bytes of a frame that failed are searched again for a start, from the
  // byte after its first: garbage that looks like a frame header must not
  // swallow the messages behind it.
  std::vector<uint8_t> abAgain;
  size_t iAgain = 0;
  DWORD i = 0;
  for (;;) {
    uint8_t b;
    if (iAgain < abAgain.size()) b = abAgain[iAgain++];
    else if (pb && i < cb) b = pb[i++];
    else break;
    if (Step(b, fTaken)) continue;
    std::vector<uint8_t> abRest(m_abFrame + 1, m_abFrame + m_cbFrame);
    abRest.insert(abRest.end(), abAgain.begin() + std::ptrdiff_t(iAgain), abAgain.end());
    abAgain.swap(abRest);
    iAgain = 0;
    Restart();
    if (m_fRecognized) {
      m_pHub->CountSkippedData();
      GpsLog(u"Garbage skipped (SiRF protocol, %s).", PortName());
    }
  }
  if (fTaken) return Recognized;
  if (GpsTickMs() - m_dwLastMessage > c_dwSilenceMs) {
    Restart();
    return Failed;
  }
  return Pending;
}

bool SiRFProtocol::Step(uint8_t b, bool& fTaken) {
  ASSERT(m_cbFrame < c_cbSirfFrame);
  m_abFrame[m_cbFrame++] = b;
  switch (m_nState) {
    case 0:
      if (m_cbFrame == 2) {
        if (m_abFrame[0] == c_btSirfStart1 && m_abFrame[1] == c_btSirfStart2) {
          m_nState = 1;
        } else {
          m_abFrame[0] = m_abFrame[1];
          m_cbFrame = 1;
        }
      }
      return true;
    case 1:
      if (m_cbFrame == 4) {
        m_cbPayload = uint32_t(m_abFrame[2]) << 8 | m_abFrame[3];
        if (m_cbPayload == 0)
          m_nState = 3;
        else if (m_cbPayload < c_cbSirfMaxPayload)
          m_nState = 2;
        else
          return false;
      }
      return true;
    case 2:
      if (m_cbFrame == m_cbPayload + 4) m_nState = 3;
      return true;
    case 3:
      if (m_cbFrame == m_cbPayload + 6) {
        uint32_t dwSum = 0;
        for (uint32_t k = 0; k < m_cbPayload; ++k) dwSum += m_abFrame[4 + k];
        uint32_t dwGiven = GetBe16(m_abFrame + 4 + m_cbPayload);
        if ((dwSum & 0x7FFF) != dwGiven) return false;
        m_nState = 4;
      }
      return true;
    case 4:
      if (m_cbFrame == m_cbPayload + 8) {
        if (m_abFrame[m_cbFrame - 2] != c_btSirfEnd1 || m_abFrame[m_cbFrame - 1] != c_btSirfEnd2) return false;
        m_dwLastMessage = GpsTickMs();
        m_fRecognized = true;
        if (m_cbPayload != 0) HandlePayload(m_abFrame + 4, m_cbPayload);
        fTaken = true;
        Restart();
      }
      return true;
    default:
      Restart();
      return true;
  }
}

void SiRFProtocol::HandlePayload(const uint8_t* pb, uint32_t cb) {
  switch (pb[0]) {
    case c_idSirfNavigation: HandleNavigation(pb, cb); break;
    case c_idSirfTracker: HandleTracker(pb, cb); break;
    default: break;
  }
}

void SiRFProtocol::HandleNavigation(const uint8_t* pb, uint32_t cb) {
  if (cb < c_cbNavMin) return;
  GpsFix fix;
  fix.Start();
  int nMode = pb[c_offNavMode] & 7;
  if (nMode == 0 || nMode == 7) {
    fix.SetStatus(fsInvalid);
    m_pHub->OnFix(fix);
    return;
  }
  fix.SetStatus((nMode == 1 || nMode == 2 || nMode == 5) ? fs2D : fs3D);

  double t = c_dSirfWeekZero + GetBe16(pb + c_offNavWeek) * 7.0 + GetBe32(pb + c_offNavTimeOfWeek) / 8640000.0;
  t = m_pHub->ResolveGpsDate(t);
  // Week and time of week are GPS time, which runs ahead of UTC by the leap
  // seconds in force at that date.
  t -= GpsLeapSeconds(t) / 86400.0;
  m_pHub->FixupClock(t);
  fix.SetTime(t);

  double x = int32_t(GetBe32(pb + c_offNavX)), y = int32_t(GetBe32(pb + c_offNavY)),
         z = int32_t(GetBe32(pb + c_offNavZ));
  double lat, lon, height;
  EcefToGeodetic(x, y, z, &lat, &lon, &height);
  fix.SetPosition(float(lon), float(lat));
  float fGeoid = m_pHub->GeoidHeight(float(lat), float(lon));
  fix.SetAltitude(float(height - fGeoid));
  fix.SetGeoidSeparation(fGeoid);

  double vx = int16_t(GetBe16(pb + c_offNavVx)) / 8.0, vy = int16_t(GetBe16(pb + c_offNavVy)) / 8.0,
         vz = int16_t(GetBe16(pb + c_offNavVz)) / 8.0;
  fix.SetSpeed(float(std::sqrt(vx * vx + vy * vy + vz * vz) * 3.6));
  double rlat = lat / c_dDegPerRad, rlon = lon / c_dDegPerRad;
  double t2 = vy * std::sin(rlon) + vx * std::cos(rlon);
  double east = vy * std::cos(rlon) - vx * std::sin(rlon);
  double north = vz * std::cos(rlat) - t2 * std::sin(rlat);
  double up = vz * std::sin(rlat) + t2 * std::cos(rlat);
  fix.SetVerticalSpeed(float(up));
  double course = std::atan2(east, north) * c_dDegPerRad;
  if (course < 0) course += 360.0;
  fix.SetCourse(float(course));
  m_pHub->SetCursor(fix.longitude, fix.latitude, fix.course, true, fix.speed, true);
  fix.SetHdop(pb[c_offNavHdop] / 5.0f);
  fix.SetSatellitesUsed(pb[c_offNavSatellites]);
  m_pHub->OnFix(fix);
}

void SiRFProtocol::HandleTracker(const uint8_t* pb, uint32_t cb) {
  if (cb <= c_offTrkChannels) return;
  uint32_t cChannels = pb[c_offTrkChannels];
  uint32_t cCounted = 0;
  while (cCounted < cChannels) {
    uint32_t off = c_offTrkFirstChannel + cCounted * c_cbTrkChannel;
    if (off + c_cbTrkChannel > cb || pb[off + c_offChnId] == 0) break;
    ++cCounted;
  }
  m_pHub->ResetSatellites(int(cCounted));
  for (uint32_t i = 0; i < cCounted; ++i) {
    const uint8_t* pc = pb + c_offTrkFirstChannel + i * c_cbTrkChannel;
    int nSum = 0;
    for (uint32_t k = 0; k < c_cChnCn0; ++k) nSum += pc[c_offChnCn0 + k];
    uint16_t wState = GetBe16(pc + c_offChnState);
    SatelliteInfo info;
    info.nPrn = pc[c_offChnId];
    info.nElevation = pc[c_offChnElevation] / 2;
    info.nAzimuth = pc[c_offChnAzimuth] * 3 / 2;
    info.nSnr = nSum / 10;
    info.nState = ((wState & 0x80) && (wState & 0x01)) ? 2 : 1;
    m_pHub->AppendSatellite(info);
  }
  m_pHub->SatellitesComplete();
}
