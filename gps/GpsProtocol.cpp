#include "gps/GpsProtocol.h"

#include <mutex>

#include "app/res/Res.h"
#include "app/settings/SettingsTable.h"
#include "gps/GarminProtocol.h"
#include "gps/GpsLog.h"
#include "gps/NMEA0183.h"
#include "gps/Positioning.h"
#include "gps/SiRFProtocol.h"
#include "gps/VisualTracking.h"
#include "platform/Debug.h"
#include "platform/Str.h"

using namespace platform;

// ---- the protocol list ----

namespace {

GpsProtocol* CreateGarmin() { return new GarminProtocol; }
GpsProtocol* CreateNmea() { return new NMEA0183(4800); }
GpsProtocol* CreateNmea9600() { return new NMEA0183(9600); }
GpsProtocol* CreateSirf() { return new SiRFProtocol; }

// The entries in the order they are added; each is pushed at the head.
ProtocolEntry g_aEntries[] = {
    {CreateGarmin, u"garmin", c_idsProtocolGarmin, true, nullptr},
    {CreateNmea, u"nmea", c_idsProtocolNmea, true, nullptr},
    {CreateNmea9600, u"nmea9600", c_idsProtocolNmea9600, false, nullptr},
    {CreateSirf, u"sirf100", c_idsProtocolSirf, false, nullptr},
};
const size_t c_cEntries = sizeof g_aEntries / sizeof g_aEntries[0];
char16_t* g_apszDisplay[c_cEntries];

const ProtocolEntry* BuildList() {
  const ProtocolEntry* pHead = nullptr;
  for (size_t i = 0; i < c_cEntries; ++i) {
    g_aEntries[i].pNext = pHead;
    pHead = &g_aEntries[i];
  }
  return pHead;
}

const ProtocolEntry* const g_pProtocolList = BuildList();
std::mutex g_mutexDisplay;

}  // namespace

std::atomic<uint32_t> g_cSkippedSegments{0};

const ProtocolEntry* GetProtocolList() { return g_pProtocolList; }

const ProtocolEntry* FindProtocol(const char16_t* pszName) {
  for (const ProtocolEntry* p = GetProtocolList(); p; p = p->pNext)
    if (StrCmp(p->pszName, pszName) == 0) return p;
  return nullptr;
}

const char16_t* ProtocolEntry::DisplayText() const {
  size_t i = size_t(this - g_aEntries);
  if (i >= c_cEntries) return pszName;
  std::lock_guard<std::mutex> lock(g_mutexDisplay);
  // Loaded once, owned by the entry until the program ends.
  if (!g_apszDisplay[i]) g_apszDisplay[i] = LoadResStringAlloc(idsDisplayText);
  return g_apszDisplay[i];
}

bool ProtocolEntry::IsEnabled() const {
  std::u16string name = FormatStr(setting::Enable_Protocol_s.pszName, pszName);
  return GetBool(name.c_str(), fEnabledByDefault);
}

const char16_t* CommErrorName(DWORD dwErrors) {
  switch (dwErrors) {
    case c_ceRxOver: return u"RXOVER";
    case c_ceOverrun: return u"OVERRUN";
    case c_ceRxParity: return u"RXPARITY";
    case c_ceFrame: return u"FRAME";
    case c_ceBreak: return u"BREAK";
    case c_ceTxFull: return u"TXFULL";
    case c_ceIoe: return u"IOE";
    case c_ceMode: return u"MODE";
    default: return u"<unknown>";
  }
}

// ---- GpsProtocol ----

void GpsProtocol::Send(const uint8_t* pb, DWORD cb) {
  if (m_pSendTrace) m_pSendTrace->insert(m_pSendTrace->end(), pb, pb + cb);
  if (m_pPort) m_pPort->Write(pb, cb);
}

const char16_t* GpsProtocol::PortName() const { return m_pPort ? m_pPort->Name() : u"replay"; }

bool GpsProtocol::RunOnPort(const ProtocolEntry* pEntry, ComPort* pPort, int nPort, CEvent* pStopEvent,
                            CEvent* pFoundEvent) {
  ASSERT(pPort != nullptr && "_pPort");
  if (!pPort) return false;
  SetGpsStatus(c_idsSearching, pEntry->DisplayText());

  CSerialTimeouts to = {100, 10, 10, 10, 10};
  pPort->SetTimeouts(to);

  m_pPort = pPort;
  Start();

  bool fSearching = true;
  bool fResult = false;
  static const DWORD c_cbBuffer = 4096;
  uint8_t abBuffer[c_cbBuffer];
  for (;;) {
    // a. Stop (and, while searching, found on another port).
    if (fSearching) {
      if (pStopEvent->Wait(0) || pFoundEvent->Wait(0)) {
        fResult = true;
        break;
      }
      // Wait up to 20 ms for either; both are manual-reset events.
      bool fSignalled = false;
      for (int i = 0; i < 4 && !fSignalled; ++i)
        fSignalled = pStopEvent->Wait(5) || pFoundEvent->IsSet();
      if (fSignalled) {
        fResult = true;
        break;
      }
    } else if (pStopEvent->Wait(20)) {
      fResult = true;
      break;
    }

    // b. Error word and bytes waiting.
    DWORD dwErrors = 0, cbInQueue = 0;
    if (!pPort->GetStatus(&dwErrors, &cbInQueue))
      GpsLog(u"ClearCommError() failed on %s (error code %d).", pPort->Name(), int(pPort->LastError()));
    if (dwErrors != 0)
      GpsLog(u"%s error state is %s (%d).", pPort->Name(), CommErrorName(dwErrors), int(dwErrors));

    // c. Nothing arrived.
    if (cbInQueue == 0) {
      if (ProcessData(nullptr, 0) != Failed) continue;
      if (!fSearching) {
        pFoundEvent->Reset();
        SetGpsStatus(c_idsNoData);
        SetGpsIndicatorDisconnected();
        pStopEvent->Wait(2000);
      }
      fResult = false;
      break;
    }

    // d. Read what waits.
    DWORD cbWant = cbInQueue < c_cbBuffer ? cbInQueue : c_cbBuffer;
    DWORD cbRead = 0;
    if (!pPort->Read(abBuffer, cbWant, &cbRead))
      GpsLog(u"ReadFile() failed on %s (error code %d).", pPort->Name(), int(pPort->LastError()));
    if (cbRead > cbWant) cbRead = cbWant;
    LogTraffic(pPort->Name(), cbRead, abBuffer, false);

    // e. Decode.
    ProcessResult result = ProcessData(abBuffer, cbRead);
    if (result == Failed) {
      if (!fSearching) {
        pFoundEvent->Reset();
        SetGpsStatus(c_idsProtocolError);
        SetGpsIndicatorDisconnected();
        pStopEvent->Wait(2000);
      }
      fResult = false;
      break;
    }
    // f. Found.
    if (fSearching && result == Recognized) {
      fSearching = false;
      pFoundEvent->Set();
      SetGpsStatus(c_idsProtocolViaPort, pEntry->DisplayText(), nPort);
      SetGpsIndicatorSatellites(0);
    }
  }
  Stop();
  m_pPort = nullptr;
  return fResult;
}
