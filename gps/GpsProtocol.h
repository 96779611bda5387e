// The receiver protocol framework: GpsProtocol with its reading loop
// RunOnPort, ProcessResult and the list of registered protocols.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "gps/ComPort.h"
#include "gps/PositionHub.h"
#include "platform/Thread.h"
#include "platform/WinTypes.h"

enum ProcessResult {
  Pending = 0,     // nothing conclusive yet
  Recognized = 1,  // valid data of this protocol has been seen
  Failed = 2,      // this protocol gives up on this port
};

struct ProtocolEntry;

class GpsProtocol {
 public:
  GpsProtocol() : m_pPort(nullptr), m_pHub(&GetPositionHub()), m_pSendTrace(nullptr) {}
  virtual ~GpsProtocol() = default;
  GpsProtocol(const GpsProtocol&) = delete;
  GpsProtocol& operator=(const GpsProtocol&) = delete;

  // Configures the line, purges the port, resets the parser and sends the
  // start-up commands of the protocol.
  virtual void Start() = 0;
  // End of the run.
  virtual void Stop() = 0;
  // The reading loop reads exactly the bytes that wait in the input queue.
  virtual bool HasInputQueue() { return true; }
  // Consumes received bytes; (null, 0) when nothing arrived.
  virtual ProcessResult ProcessData(const uint8_t* pb, DWORD cb) = 0;

  // Resets the parser without touching a port (replays and tests).
  virtual void Reset() = 0;

  // Runs this protocol on the port until it fails (false: try the next one)
  // or the stop or found event says to close the port (true).
  bool RunOnPort(const ProtocolEntry* pEntry, ComPort* pPort, int nPort, platform::CEvent* pStopEvent,
                 platform::CEvent* pFoundEvent);

  void SetPort(ComPort* pPort) { m_pPort = pPort; }
  // Where decoded fixes, cursor moves, satellite tables and status texts go
  // (the program's hub unless told otherwise).
  void SetHub(CPositionHub* pHub) { m_pHub = pHub; }
  // Every byte sent is also appended here (tests and replays).
  void SetSendTrace(std::vector<uint8_t>* pTrace) { m_pSendTrace = pTrace; }

 protected:
  // Sends bytes to the receiver through the port (when there is one).
  void Send(const uint8_t* pb, DWORD cb);
  // The port name for messages ("COM3:", or "replay" without a port).
  const char16_t* PortName() const;

  ComPort* m_pPort;
  CPositionHub* m_pHub;

 private:
  std::vector<uint8_t>* m_pSendTrace;
};

typedef GpsProtocol* (*ProtocolFactory)();

// One registered protocol.
struct ProtocolEntry {
  ProtocolFactory pfnFactory;
  const char16_t* pszName;    // key of Enable_Protocol_<name>
  uint32_t idsDisplayText;    // string id of the user-visible name
  bool fEnabledByDefault;
  const ProtocolEntry* pNext;

  // The user-visible name (loaded once from the string table).
  const char16_t* DisplayText() const;
  // Enable_Protocol_<name>, with the entry's default.
  bool IsEnabled() const;
};

// Head of the protocol list: sirf100, nmea9600, nmea, garmin (the entries
// were pushed in the reverse order).
const ProtocolEntry* GetProtocolList();
const ProtocolEntry* FindProtocol(const char16_t* pszName);

// String ids of this subsystem.
const uint32_t c_idsCannotCreateFile = 2000;
const uint32_t c_idsCannotReadFile = 2002;
const uint32_t c_idsDemoTrack = 2043;
const uint32_t c_idsNoPortOpened = 2113;
const uint32_t c_idsAllProtocolsDisabled = 2114;
const uint32_t c_idsNoConnection = 2115;
const uint32_t c_idsSearching = 2116;
const uint32_t c_idsNoData = 2117;
const uint32_t c_idsProtocolError = 2118;
const uint32_t c_idsProtocolViaPort = 2119;
const uint32_t c_idsProtocolGarmin = 2240;
const uint32_t c_idsProtocolNmea = 2241;
const uint32_t c_idsProtocolNmea9600 = 2242;
const uint32_t c_idsProtocolSirf = 2244;

// Test hook: called by the decoders once per sentence or packet they take
// (pszWhere names the decoder, "nmea", "garmin", "sirf"). The program
// installs one that faults when asked to, to prove the port threads' guard.
typedef void (*DecoderProbe)(const char* pszWhere);
void SetDecoderProbe(DecoderProbe pfn);
void RunDecoderProbe(const char* pszWhere);

// Name of a port error word ("RXOVER" ... "<unknown>").
const char16_t* CommErrorName(DWORD dwErrors);
