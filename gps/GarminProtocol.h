// GarminProtocol: Garmin receivers in their binary serial mode. Asks for
// the PVT stream, acknowledges every PVT packet and takes the satellite
// packet into the satellite table.
#pragma once
#include <cstdint>

#include "gps/GpsFix.h"
#include "gps/GpsProtocol.h"

class GarminProtocol : public GpsProtocol {
 public:
  GarminProtocol();

  // Garmin at 9600 bit/s: configure, purge, ask for the PVT stream.
  void Start() override;
  // Tells the receiver to stop the PVT stream.
  void Stop() override;
  // DLE-framed packets, reassembled across reads. Once a valid PVT or
  // satellite packet has arrived, a frame too short to be a packet is counted in
  // the hub's skipped-data count and dropped; when bytes keep coming without a valid
  // packet for c_dwNoValidPacketMs the PVT request is repeated as after a
  // silence, and the run fails when the receiver does not acknowledge it.
  ProcessResult ProcessData(const uint8_t* pb, DWORD cb) override;
  // Empties the parser and sends the start request (replays: the start
  // request only goes to the send trace).
  void Reset() override;

  static const uint32_t c_dwAckTimeoutMs = 3000;
  static const uint32_t c_dwSilenceMs = 700;
  // Bytes without a valid packet for this long count as a silence.
  static const uint32_t c_dwNoValidPacketMs = 5000;
  static const DWORD c_cbPacket = 256;

 private:
  void SendStartRequest();
  // Handles one framed packet; false when it was too short to be a packet.
  void HandlePacket();
  void HandlePvt(const uint8_t* pbData, int cbData);

  uint8_t m_btPrevious;
  bool m_fHavePrevious;
  uint8_t m_abPacket[c_cbPacket];
  DWORD m_cbPacket;
  bool m_fWaitingForAck;
  bool m_fAcknowledged;
  uint32_t m_dwRequestTime;
  uint32_t m_dwLastData;
  uint32_t m_dwLastValid;  // last packet whose checksum matched
  bool m_fRecognized;      // a valid PVT or satellite packet arrived since Reset
};
