#include "gps/GarminProtocol.h"

#include <cmath>
#include <cstring>

#include "gps/GpsLog.h"
#include "gps/Positioning.h"
#include "gps/detail/GarminPackets.h"
#include "platform/Debug.h"

using namespace gps::detail;

static_assert(uint16_t(0x0102) == 0x0102 && sizeof(float) == 4 && sizeof(double) == 8, "IEEE floats");

namespace {
const double c_dPi = 3.14159265358979323846;
}  // namespace

// The packets are little-endian and are copied straight into their records.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian host");

GarminProtocol::GarminProtocol()
    : m_btPrevious(0), m_fHavePrevious(false), m_cbPacket(0), m_fWaitingForAck(false), m_fAcknowledged(false),
      m_dwRequestTime(0), m_dwLastData(0), m_dwLastValid(0), m_fRecognized(false) {}

void GarminProtocol::Start() {
  ASSERT(m_pPort);
  if (m_pPort) {
    m_pPort->Configure(9600, 8, false, 0);
    m_pPort->Purge();
  }
  Reset();
}

void GarminProtocol::Reset() {
  m_cbPacket = 0;
  m_fHavePrevious = false;
  m_btPrevious = 0;
  m_dwLastData = m_dwLastValid = GpsTickMs();
  m_fRecognized = false;
  SendStartRequest();
}

void GarminProtocol::Stop() {
  ASSERT(m_pPort);
  Send(c_abGarminStopPvt, sizeof c_abGarminStopPvt);
}

void GarminProtocol::SendStartRequest() {
  m_fWaitingForAck = true;
  m_fAcknowledged = false;
  m_dwRequestTime = GpsTickMs();
  Send(c_abGarminStartPvt, sizeof c_abGarminStartPvt);
}

ProcessResult GarminProtocol::ProcessData(const uint8_t* pb, DWORD cb) {
  uint32_t now = GpsTickMs();
  if (cb == 0 || !pb) {
    if (m_fWaitingForAck && !m_fAcknowledged && now - m_dwRequestTime > c_dwAckTimeoutMs) {
      GpsLog(u"No ACK for PVT request (Garmin protocol, %s)", PortName());
      return Failed;
    }
    if (!m_fWaitingForAck && !m_fAcknowledged) {
      GpsLog(u"NAK (Garmin protocol, %s)", PortName());
      return Failed;
    }
    if (m_fAcknowledged && now - m_dwLastData >= c_dwSilenceMs) {
      m_cbPacket = 0;
      m_fHavePrevious = false;
      m_dwLastData = now;
      SendStartRequest();
    }
    return Pending;
  }
  // The port echoing our own start request (a loop-back cable).
  if (cb == sizeof c_abGarminStartPvt && std::memcmp(pb, c_abGarminStartPvt, cb) == 0) return Pending;

  m_dwLastData = now;
  bool fFramed = false;
  for (DWORD i = 0; i < cb; ++i) {
    uint8_t b = pb[i];
    bool fPrevDle = m_fHavePrevious && m_btPrevious == c_btDle;
    if (!fPrevDle) {
      if (m_cbPacket < c_cbPacket) m_abPacket[m_cbPacket++] = b;
    } else if (b == c_btDle) {
      // A stuffed 0x10: the first of the pair is already in the packet.
      m_fHavePrevious = false;
      continue;
    } else if (b == c_btEtx) {
      // The DLE before ETX was appended; it is not part of the packet.
      if (m_cbPacket > 0) --m_cbPacket;
      if (m_cbPacket < 3) {
        GpsLog(u"Bad packet (Garmin protocol, %s)", PortName());
        if (!m_fRecognized) {
          m_cbPacket = 0;
          m_fHavePrevious = false;
          return Failed;
        }
        // Garbage between packets of a receiver already found.
        m_pHub->CountSkippedData();
        GpsLog(u"Garbage skipped (Garmin protocol, %s).", PortName());
      } else {
        HandlePacket();
        fFramed = true;
      }
      m_cbPacket = 0;
    } else {
      // DLE followed by an id: a new packet starts.
      m_cbPacket = 0;
      m_abPacket[m_cbPacket++] = b;
    }
    m_btPrevious = b;
    m_fHavePrevious = true;
  }
  if (m_fRecognized) {
    // Bytes that hold no valid packet count as silence.
    if (m_fAcknowledged && now - m_dwLastValid >= c_dwNoValidPacketMs) {
      GpsLog(u"No valid packet for %d ms (Garmin protocol, %s)", int(now - m_dwLastValid), PortName());
      m_dwLastValid = now;
      SendStartRequest();
    } else if (m_fWaitingForAck && !m_fAcknowledged && now - m_dwRequestTime > c_dwAckTimeoutMs) {
      GpsLog(u"No ACK for PVT request (Garmin protocol, %s)", PortName());
      return Failed;
    }
  }
  return fFramed ? Recognized : Pending;
}

void GarminProtocol::HandlePacket() {
  uint8_t btSum = 0;
  for (DWORD i = 0; i < m_cbPacket; ++i) btSum = uint8_t(btSum + m_abPacket[i]);
  if (btSum != 0) {
    m_pHub->CountChecksumError();
    GpsLog(u"Check sum failed! (Garmin protocol, %s)", PortName());
    return;
  }
  m_dwLastValid = GpsTickMs();
  uint8_t btId = m_abPacket[0];
  int cbData = m_abPacket[1];
  if (DWORD(cbData) + 3 != m_cbPacket) return;
  const uint8_t* pbData = m_abPacket + 2;
  switch (btId) {
    case c_idGarminAck:
      if (cbData >= 1 && pbData[0] == c_idGarminCommand && m_fWaitingForAck) {
        m_fAcknowledged = true;
        m_fWaitingForAck = false;
      }
      break;
    case c_idGarminNak:
      if (cbData >= 1 && pbData[0] == c_idGarminCommand && m_fWaitingForAck) {
        m_fAcknowledged = false;
        m_fWaitingForAck = false;
      }
      break;
    case c_idGarminSatellites: {
      if (cbData != int(c_cGarminSatellites * sizeof(GarminSatellite))) break;
      m_fRecognized = true;
      GarminSatellite aSats[c_cGarminSatellites];
      std::memcpy(aSats, pbData, sizeof aSats);
      int cUsed = 0;
      for (const GarminSatellite& s : aSats) cUsed += s.btPrnMinus1 != 0xFF;
      m_pHub->ResetSatellites(cUsed);
      for (const GarminSatellite& s : aSats) {
        if (s.btPrnMinus1 == 0xFF) continue;
        SatelliteInfo info = {s.btPrnMinus1 + 1, s.btElevation, 0, s.btSnr, 0};
        m_pHub->AppendSatellite(info);
      }
      m_pHub->SatellitesComplete();
      break;
    }
    case c_idGarminPvt:
      if (cbData < int(sizeof(GarminPvt))) {
        Send(c_abGarminNakPvt, sizeof c_abGarminNakPvt);
        break;
      }
      m_fRecognized = true;
      HandlePvt(pbData, cbData);
      Send(c_abGarminAckPvt, sizeof c_abGarminAckPvt);
      break;
    default:
      break;
  }
}

void GarminProtocol::HandlePvt(const uint8_t* pbData, int cbData) {
  GarminPvt pvt;
  std::memcpy(&pvt, pbData, sizeof pvt);
  // A position that is no number is as good as none.
  bool fUsable = std::isfinite(pvt.dLatitude) && std::isfinite(pvt.dLongitude) &&
                 std::fabs(pvt.dLatitude) <= c_dPi / 2 && std::fabs(pvt.dLongitude) <= 2 * c_dPi;
  if (pvt.wFixType == 0 || pvt.wFixType == 1 || !fUsable) {
    GpsLog(u"Invalid or unusable fix reported. (Garmin protocol)");
    m_pHub->OnNoFix();
    return;
  }
  GpsFix fix;
  fix.Start();
  double t = c_dGarminEpochDays + double(pvt.dwWeekNumberDays) + (pvt.dTimeOfWeek - pvt.nLeapSeconds) / 86400.0;
  if (std::isfinite(t)) {
    t = m_pHub->ResolveGpsDate(t);
    m_pHub->FixupClock(t);
    fix.SetTime(t);
  }
  float lon = float(pvt.dLongitude * 180.0 / c_dPi);
  float lat = float(pvt.dLatitude * 180.0 / c_dPi);
  double heading = std::atan2(double(pvt.fEast), double(pvt.fNorth)) * 180.0 / c_dPi;
  if (heading < 0) heading += 360.0;
  double speed = std::sqrt(double(pvt.fEast) * pvt.fEast + double(pvt.fNorth) * pvt.fNorth +
                           double(pvt.fUp) * pvt.fUp) * 3.6;
  m_pHub->SetCursor(lon, lat, float(heading), true, float(speed), true);
  fix.SetPosition(lon, lat);
  fix.SetHorizontalError(pvt.fEph / 2);
  fix.SetAltitude(pvt.fAltitude + pvt.fMslHeight);
  fix.SetVerticalError(pvt.fEpv / 2);
  fix.SetGeoidSeparation(-pvt.fMslHeight);
  fix.SetCourse(float(heading));
  fix.SetSpeed(float(speed));
  fix.SetVerticalSpeed(pvt.fUp);
  fix.SetSatellitesUsed(-1);
  switch (pvt.wFixType) {
    case 2: fix.SetStatus(fs2D); break;
    case 3: fix.SetStatus(fs3D); break;
    case 4: fix.SetStatus(fs2DDiff); break;
    case 5: fix.SetStatus(fs3DDiff); break;
    default: fix.SetStatus(fsUnknown); break;
  }
  m_pHub->OnFix(fix);
}
