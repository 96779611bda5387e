// SiRFProtocol: receivers with a SiRF chip set that send SiRF binary
// messages. Takes message 2 (navigation) and message 4 (tracker data).
#pragma once
#include <cstdint>

#include "gps/GpsFix.h"
#include "gps/GpsProtocol.h"
#include "gps/detail/SiRFMessages.h"

class SiRFProtocol : public GpsProtocol {
 public:
  SiRFProtocol();

  // SiRF binary at 4800 bit/s: configure, purge, reset the framing.
  void Start() override;
  // Nothing is sent.
  void Stop() override;
  // Frames across reads; checks the checksum and the end bytes. A frame
  // that fails them is searched again for a start from its second byte;
  // after the first good message each such frame is counted in
  // the hub's skipped-data count.
  ProcessResult ProcessData(const uint8_t* pb, DWORD cb) override;
  void Reset() override;

  static const uint32_t c_dwSilenceMs = 5000;

 private:
  void Restart() { m_nState = 0; m_cbFrame = 0; }
  // One byte through the framing; false when the frame it ends failed.
  bool Step(uint8_t b, bool& fTaken);
  void HandlePayload(const uint8_t* pb, uint32_t cb);
  void HandleNavigation(const uint8_t* pb, uint32_t cb);
  void HandleTracker(const uint8_t* pb, uint32_t cb);

  uint32_t m_dwLastMessage;
  int m_nState;
  uint32_t m_cbFrame;
  uint32_t m_cbPayload;
  bool m_fRecognized;  // a good message arrived since Reset
  uint8_t m_abFrame[gps::detail::c_cbSirfFrame];
};

// WGS-84 earth-centred coordinates to latitude, longitude (degrees) and
// ellipsoid height (m), Bowring's formula.
void EcefToGeodetic(double x, double y, double z, double* pLat, double* pLon, double* pHeight);
