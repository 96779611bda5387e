// Receivers simulated on a pty: the port threads open the pty as a COM
// port, try the protocols in turn and find the receiver.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "gps/ComPort.h"
#include "gps/GpsProtocol.h"
#include "gps/NMEA0183.h"
#include "gps/Positioning.h"
#include "gps/SiRFProtocol.h"
#include "gps/detail/GarminPackets.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/SerialPort.h"
#include "platform/Str.h"
#include "tests/gps/GpsTestUtil.h"

using namespace gps::detail;

namespace {

const double c_dPi = 3.14159265358979323846;

// Time runs 10 times faster for the GPS code: the 3 s and 5 s time-outs of
// the protocols pass in a few hundred milliseconds.
uint32_t FastTick() { return platform::GetTickMs() * 10; }

typedef std::vector<uint8_t> Bytes;

Bytes GarminPacket(uint8_t id, const Bytes& data) {
  Bytes raw = {id, uint8_t(data.size())};
  raw.insert(raw.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : raw) sum = uint8_t(sum + b);
  raw.push_back(uint8_t(-sum));
  Bytes out = {c_btDle};
  for (uint8_t b : raw) {
    out.push_back(b);
    if (b == c_btDle) out.push_back(b);
  }
  out.push_back(c_btDle);
  out.push_back(c_btEtx);
  return out;
}

Bytes SirfFrame(const Bytes& payload) {
  Bytes f = {0xA0, 0xA2, uint8_t(payload.size() >> 8), uint8_t(payload.size())};
  f.insert(f.end(), payload.begin(), payload.end());
  uint32_t sum = 0;
  for (uint8_t b : payload) sum += b;
  sum &= 0x7FFF;
  f.push_back(uint8_t(sum >> 8));
  f.push_back(uint8_t(sum));
  f.push_back(0xB0);
  f.push_back(0xB3);
  return f;
}

// One end of a pty pair; the other end is the COM port of the program.
class Pty {
 public:
  Pty() {
    m_fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_fd >= 0 && grantpt(m_fd) == 0 && unlockpt(m_fd) == 0) m_strSlave = ptsname(m_fd);
    // The slave stays open here too so that the master never sees a hang-up
    // between the protocol runs.
    if (!m_strSlave.empty()) m_fdHold = open(m_strSlave.c_str(), O_RDWR | O_NOCTTY);
  }
  ~Pty() {
    if (m_fdHold >= 0) close(m_fdHold);
    if (m_fd >= 0) close(m_fd);
  }
  bool Ok() const { return m_fd >= 0 && !m_strSlave.empty(); }
  void Write(const Bytes& b) {
    size_t done = 0;
    while (done < b.size()) {
      ssize_t n = write(m_fd, b.data() + done, b.size() - done);
      if (n <= 0) break;
      done += size_t(n);
    }
  }
  Bytes Read(int msWait) {
    Bytes out;
    pollfd p = {m_fd, POLLIN, 0};
    if (poll(&p, 1, msWait) > 0 && (p.revents & POLLIN)) {
      uint8_t buf[512];
      ssize_t n = read(m_fd, buf, sizeof buf);
      if (n > 0) out.assign(buf, buf + n);
    }
    return out;
  }
  const std::string& Slave() const { return m_strSlave; }

 private:
  int m_fd = -1;
  int m_fdHold = -1;
  std::string m_strSlave;
};

bool Contains(const Bytes& hay, const uint8_t* needle, size_t n) {
  return std::search(hay.begin(), hay.end(), needle, needle + n) != hay.end();
}

// A Garmin receiver: silent until asked, then a PVT packet every 100 ms
// (real time) while the stream is on.
void RunGarmin(Pty* pPty, std::atomic<bool>* pfStop, std::atomic<int>* pcAcks) {
  bool fStreaming = false;
  Bytes seen;
  uint32_t dwNext = 0;
  while (!*pfStop) {
    Bytes in = pPty->Read(10);
    seen.insert(seen.end(), in.begin(), in.end());
    if (Contains(seen, c_abGarminStartPvt, 8)) {
      pPty->Write({0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03});
      fStreaming = true;
      seen.clear();
    }
    if (Contains(seen, c_abGarminAckPvt, 8)) {
      ++*pcAcks;
      seen.clear();
    }
    if (Contains(seen, c_abGarminStopPvt, 8)) {
      fStreaming = false;
      seen.clear();
    }
    if (seen.size() > 4096) seen.clear();
    if (fStreaming && platform::GetTickMs() >= dwNext) {
      dwNext = platform::GetTickMs() + 100;
      GarminPvt pvt = {};
      pvt.wFixType = 3;
      pvt.dLatitude = 29.5 * c_dPi / 180;
      pvt.dLongitude = -98.5 * c_dPi / 180;
      pvt.dTimeOfWeek = 1000;
      pvt.dwWeekNumberDays = 10584;
      Bytes data(sizeof pvt);
      std::memcpy(data.data(), &pvt, sizeof pvt);
      pPty->Write(GarminPacket(c_idGarminPvt, data));
    }
  }
}

// A SiRF receiver: a navigation message every 100 ms, whatever it is told.
void RunSirf(Pty* pPty, std::atomic<bool>* pfStop) {
  while (!*pfStop) {
    pPty->Read(0);
    Bytes p(41, 0);
    p[0] = 2;
    const int32_t xyz[3] = {4483917, 550556, 4487348};
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 4; ++i) p[size_t(1 + 4 * k + i)] = uint8_t(uint32_t(xyz[k]) >> (24 - 8 * i));
    p[19] = 4;
    p[23] = 50;
    p[28] = 6;
    pPty->Write(SirfFrame(p));
    platform::SleepMs(100);
  }
}

class PortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pCollector = new gpstest::Collector;
    m_pfnOldTick = SetGpsTickSource(FastTick);
    // Only the pty port is on; no demo track is found.
    for (int n = c_cMinComPort; n <= c_cMaxComPort; ++n)
      SetDword(platform::FormatStr(u"Enable_COM%d", n).c_str(), n == c_nPort ? 1 : 0);
    std::string dir = std::string(VELMO_BINARY_DIR) + "/gps_port_test";
    platform::CreateDirectoryPath(platform::Utf8ToU16(dir).c_str());
    setenv("VELMO_PROGRAM_DIR", dir.c_str(), 1);
  }
  void TearDown() override {
    StopGps();
    platform::SetSerialDevicePath(c_nPort, nullptr);
    unsetenv("VELMO_PROGRAM_DIR");
    SetGpsTickSource(m_pfnOldTick);
    delete m_pCollector;
  }
  std::u16string Status() {
    char16_t sz[128];
    GetStatusText(sz, 128);
    return sz;
  }
  bool WaitForFixes(size_t c, int msMax) {
    for (int i = 0; i < msMax / 10; ++i) {
      if (m_pCollector->FixCount() >= c) return true;
      platform::SleepMs(10);
    }
    return false;
  }
  static constexpr int c_nPort = 5;
  gpstest::Collector* m_pCollector = nullptr;
  GpsTickSource m_pfnOldTick = nullptr;
};

TEST_F(PortTest, GarminFoundAfterTheProtocolsBeforeItFail) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  platform::SetSerialDevicePath(c_nPort, pty.Slave().c_str());
  // sirf100 and nmea are tried first: the silent receiver fails both.
  SetBool(u"Enable_Protocol_sirf100", true);
  std::atomic<bool> fStop{false};
  std::atomic<int> cAcks{0};
  std::thread receiver(RunGarmin, &pty, &fStop, &cAcks);
  StartGps();
  bool fGot = WaitForFixes(3, 8000);
  std::u16string status = Status();
  bool fOpen = IsPortOpen(c_nPort);
  StopGps();
  fStop = true;
  receiver.join();
  ASSERT_TRUE(fGot) << platform::U16ToUtf8(status);
  EXPECT_EQ(status, u"Протокол Garmin через COM5");
  EXPECT_TRUE(fOpen);
  EXPECT_FALSE(IsPortOpen(c_nPort));
  EXPECT_GE(cAcks.load(), 2);
  EXPECT_NEAR(m_pCollector->m_aFixes[0].latitude, 29.5, 1e-5);
  EXPECT_EQ(Status(), u"Нет соединения с GPS-приёмником.");
}

std::atomic<int> g_nGuardedPort{-1};
void Guard(int nPort, void (*pfnBody)(void*), void* pParam) {
  g_nGuardedPort = nPort;
  pfnBody(pParam);
}

TEST_F(PortTest, SirfReceiverFoundByTrial) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  platform::SetSerialDevicePath(c_nPort, pty.Slave().c_str());
  SetBool(u"Enable_Protocol_sirf100", true);
  // The shell's crash guard wraps the data handling of the port thread.
  SetPortThreadGuard(Guard);
  std::atomic<bool> fStop{false};
  std::thread receiver(RunSirf, &pty, &fStop);
  StartGps();
  bool fGot = WaitForFixes(2, 5000);
  std::u16string status = Status();
  StopGps();
  fStop = true;
  receiver.join();
  SetPortThreadGuard(nullptr);
  ASSERT_TRUE(fGot) << platform::U16ToUtf8(status);
  EXPECT_EQ(g_nGuardedPort.load(), c_nPort);
  EXPECT_EQ(status, u"SiRF binary (4800 bps) через COM5");
  EXPECT_NEAR(m_pCollector->m_aFixes[0].latitude, 45.0, 1e-3);
  EXPECT_EQ(m_pCollector->m_aFixes[0].satellitesUsed, 6);
}

// The reading loop itself: NMEA on a SiRF receiver fails (binary noise has
// no sentences), SiRF on the same port is recognised and signals found.
TEST_F(PortTest, RunOnPortWrongProtocolThenRight) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  platform::SetSerialDevicePath(c_nPort, pty.Slave().c_str());
  std::atomic<bool> fStop{false};
  std::thread receiver(RunSirf, &pty, &fStop);
  ComPort port;
  ASSERT_TRUE(port.Open(c_nPort, true, true));
  platform::CEvent evStop, evFound;
  NMEA0183 nmea(4800);
  EXPECT_FALSE(nmea.RunOnPort(FindProtocol(u"nmea"), &port, c_nPort, &evStop, &evFound));
  EXPECT_FALSE(evFound.IsSet());
  SiRFProtocol sirf;
  std::thread stopper([&] {
    evFound.Wait(5000);
    platform::SleepMs(300);
    evStop.Set();
  });
  EXPECT_TRUE(sirf.RunOnPort(FindProtocol(u"sirf100"), &port, c_nPort, &evStop, &evFound));
  stopper.join();
  fStop = true;
  receiver.join();
  EXPECT_TRUE(evFound.IsSet());
  EXPECT_FALSE(m_pCollector->m_aFixes.empty());
}

// Another port finding the receiver ends the search on this one.
TEST_F(PortTest, FoundElsewhereEndsTheSearch) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  platform::SetSerialDevicePath(c_nPort, pty.Slave().c_str());
  ComPort port;
  ASSERT_TRUE(port.Open(c_nPort, true, true));
  platform::CEvent evStop, evFound;
  NMEA0183 nmea(4800);
  std::thread other([&] {
    platform::SleepMs(100);
    evFound.Set();
  });
  uint32_t t0 = platform::GetTickMs();
  EXPECT_TRUE(nmea.RunOnPort(FindProtocol(u"nmea"), &port, c_nPort, &evStop, &evFound));
  uint32_t dt = platform::GetTickMs() - t0;
  other.join();
  EXPECT_LT(dt, 400u);
}

}  // namespace
