// Receiver captures damaged on purpose (garbage between sentences and
// packets, sentences cut short or split by a stray start byte) replayed in
// many read sizes: once the stream has been recognised the decoders skip the
// garbage, never give up, and lose exactly the fixes whose bytes were hit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "gps/GpsProtocol.h"
#include "gps/NMEA0183.h"
#include "gps/Replay.h"
#include "gps/detail/GarminPackets.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "gps/GarminProtocol.h"
#include "tests/gps/CaptureTest.h"
#include "tests/gps/GpsTestUtil.h"

namespace {

typedef std::vector<uint8_t> Bytes;

std::string DataDir() { return gpstest::CaptureDir(); }

bool ReadCapture(const std::string& strName, Bytes& data) {
  std::ifstream in(DataDir() + "/" + strName + "/raw.bin", std::ios::binary);
  if (!in) return false;
  data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !data.empty();
}

// The read sizes every damaged capture is replayed in: fixed sizes, then
// random sizes up to a maximum (seed, maximum).
const size_t c_acbFixed[] = {1, 2, 3, 7, 64, 100, 4096, 100000};
const std::pair<uint32_t, size_t> c_aRandom[] = {{1, 5}, {2, 17}, {3, 64}, {4, 300}, {5, 1000}, {6, 4096}};

struct Replayed {
  std::string strHow;
  ReplayResult result;
};

std::vector<Replayed> ReplayInEveryChunking(const char* pszProtocol, const Bytes& data) {
  std::vector<Replayed> out;
  for (size_t cb : c_acbFixed) {
    Replayed r;
    r.strHow = "reads of " + std::to_string(cb);
    ReplayCapture(pszProtocol, data.data(), data.size(), 0, cb, r.result);
    out.push_back(std::move(r));
  }
  for (const auto& rnd : c_aRandom) {
    Replayed r;
    r.strHow = "random reads up to " + std::to_string(rnd.second) + " (seed " + std::to_string(rnd.first) + ")";
    ReplayCapture(pszProtocol, data.data(), data.size(), rnd.first, rnd.second, r.result);
    out.push_back(std::move(r));
  }
  return out;
}

bool SameFix(GpsFix a, GpsFix b) {
  a.dwCreatedTick = b.dwCreatedTick = 0;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every chunking gave the same fixes and counted the same garbage.
void ExpectSameInEveryChunking(const std::vector<Replayed>& all, const std::string& strName) {
  const ReplayResult& first = all[0].result;
  for (const Replayed& r : all) {
    EXPECT_EQ(r.result.cFailures, 0u) << strName << ", " << r.strHow;
    EXPECT_EQ(r.result.cSkippedSegments, first.cSkippedSegments) << strName << ", " << r.strHow;
    EXPECT_EQ(r.result.cChecksumErrors, first.cChecksumErrors) << strName << ", " << r.strHow;
    ASSERT_EQ(r.result.aFixes.size(), first.aFixes.size()) << strName << ", " << r.strHow;
    for (size_t i = 0; i < first.aFixes.size(); ++i)
      EXPECT_TRUE(SameFix(r.result.aFixes[i], first.aFixes[i])) << strName << ", " << r.strHow << ", fix " << i;
  }
}

// ---- NMEA ----

// One sentence of a capture: its bytes from its '$' up to the next '$', and
// the epoch it starts (the hhmmss of RMC, GGA or GLL; -1 for none).
struct Sentence {
  std::string strBytes;
  int32_t nTime;
};

std::vector<Sentence> SplitSentences(const Bytes& data, std::string& strLead) {
  std::vector<Sentence> out;
  std::string s(data.begin(), data.end());
  size_t i = s.find('$');
  strLead = s.substr(0, i);
  while (i != std::string::npos) {
    size_t j = s.find('$', i + 1);
    Sentence st;
    st.strBytes = s.substr(i, j == std::string::npos ? std::string::npos : j - i);
    st.nTime = -1;
    // The time field as the decoder's epoch check reads it.
    const std::string& b = st.strBytes;
    int iField = -1;
    if (b.size() > 7 && b[6] == ',' && (b.compare(3, 3, "RMC") == 0 || b.compare(3, 3, "GGA") == 0)) iField = 1;
    if (b.size() > 7 && b[6] == ',' && b.compare(3, 3, "GLL") == 0) iField = 5;
    if (iField > 0) {
      size_t p = 0;
      for (int k = 0; k < iField && p != std::string::npos; ++k) p = b.find(',', p + 1);
      if (p != std::string::npos) {
        size_t e = b.find_first_of(",*\r\n", p + 1);
        if (e == std::string::npos) e = b.size();
        if (e > p + 1) st.nTime = NmeaParseInt(b.data() + p + 1, b.data() + std::min(e, p + 7));
      }
    }
    out.push_back(st);
    i = j;
  }
  return out;
}

// The damaged capture and what the damage should cost.
struct Damage {
  Bytes data;
  std::set<size_t> epochsHit;  // epochs (0 = the first time stamp) whose sentences were all damaged
  uint32_t cGarbageSegments = 0;
  uint32_t cChecksumErrors = 0;
};

uint8_t XorOf(const std::string& s, size_t from, size_t to) {
  uint8_t x = 0;
  for (size_t i = from; i < to; ++i) x ^= uint8_t(s[i]);
  return x;
}

// Every fourth epoch from the fourth on loses all its sentences, each in a
// way of its own; harmless junk goes between the sentences of the others.
Damage DamageNmea(const Bytes& clean, uint32_t dwSeed) {
  Damage d;
  std::string strLead;
  std::vector<Sentence> sentences = SplitSentences(clean, strLead);
  std::mt19937 rng(dwSeed);
  std::string out = strLead;
  int nEpoch = -1;
  int32_t nLastTime = -1;
  size_t cEpochs = 0;
  for (const Sentence& s : sentences)
    if (s.nTime >= 0 && s.nTime != nLastTime) ++cEpochs, nLastTime = s.nTime;
  nLastTime = -1;
  for (size_t i = 0; i < sentences.size(); ++i) {
    const Sentence& s = sentences[i];
    if (s.nTime >= 0 && s.nTime != nLastTime) {
      ++nEpoch;
      nLastTime = s.nTime;
    }
    // The last epochs stay whole: the last sentence is never completed.
    bool fHit = nEpoch >= 3 && nEpoch % 4 == 3 && size_t(nEpoch) + 2 < cEpochs;
    const std::string& b = s.strBytes;
    if (!fHit) {
      out += b;
      // Junk after some sentences: bare bytes (part of the line before,
      // not a sentence), lone start bytes, a start byte with a few letters.
      if (nEpoch >= 3 && rng() % 4 == 0 && i + 1 < sentences.size()) {
        switch (rng() % 3) {
          case 0: out += std::string("\x01\xff junk\r\n"); break;
          case 1: out += "$$\r\n"; d.cGarbageSegments += 2; break;
          default: out += "$GP\r\n"; d.cGarbageSegments += 1; break;
        }
      }
      continue;
    }
    d.epochsHit.insert(size_t(nEpoch));
    switch (rng() % 4) {
      case 0: {  // cut short: fewer than 9 bytes before the next '$'
        out += b.substr(0, 1 + rng() % 8);
        ++d.cGarbageSegments;
        break;
      }
      case 1: {  // a stray '$' inside: a short piece, then a line whose checksum fails
        size_t k = 3 + rng() % 5;
        while (XorOf(b, 1, k) == 0) ++k;
        out += b.substr(0, k) + "$" + b.substr(k);
        ++d.cGarbageSegments;
        ++d.cChecksumErrors;
        break;
      }
      case 2: {  // replaced by a line of noise far longer than a sentence
        out += "$";
        for (int n = 0; n < 300; ++n) out += char('A' + rng() % 26);
        out += "\r\n";
        ++d.cGarbageSegments;
        break;
      }
      default: {  // two start bytes close together
        out += "$" + b.substr(1, 2) + "$\r\n";
        d.cGarbageSegments += 2;
        break;
      }
    }
  }
  d.data.assign(out.begin(), out.end());
  return d;
}

class DamagedStreamTest : public gpstest::CaptureTest {};

TEST_F(DamagedStreamTest, NmeaGarbageCostsOnlyTheDamagedEpochsInEveryChunking) {
  for (const char* pszName : {"haicom-305N", "bu353s4", "GPSmap-76S", "garmin48"}) {
    Bytes clean;
    ASSERT_TRUE(ReadCapture(pszName, clean)) << pszName;
    ReplayResult whole;
    ASSERT_TRUE(ReplayCapture("nmea", clean.data(), clean.size(), 0, 4096, whole));
    ASSERT_EQ(whole.cFailures, 0u) << pszName;
    ASSERT_EQ(whole.cSkippedSegments, 0u) << pszName;

    Damage d = DamageNmea(clean, 20261208);
    ASSERT_GE(d.epochsHit.size(), 2u) << pszName;
    std::vector<Replayed> all = ReplayInEveryChunking("nmea", d.data);
    ExpectSameInEveryChunking(all, pszName);
    const ReplayResult& damaged = all[0].result;
    EXPECT_EQ(damaged.cSkippedSegments, d.cGarbageSegments) << pszName;
    EXPECT_EQ(damaged.cChecksumErrors, whole.cChecksumErrors + d.cChecksumErrors) << pszName;

    // Fix 0 is the empty one before the first epoch; fix k (k > 0) is the
    // one of epoch k - 1, delivered when the next epoch starts.
    std::vector<std::string> expected, got;
    for (size_t k = 0; k < whole.aFixes.size(); ++k)
      if (k == 0 || !d.epochsHit.count(k - 1)) expected.push_back(FormatFixLine(whole.aFixes[k]));
    for (const GpsFix& fix : damaged.aFixes) got.push_back(FormatFixLine(fix));
    EXPECT_EQ(got, expected) << pszName;
    EXPECT_EQ(whole.aFixes.size() - damaged.aFixes.size(), d.epochsHit.size()) << pszName;
    std::printf("%-12s clean %zu fixes, damaged %zu fixes (%zu epochs hit), %u segments skipped\n", pszName,
                whole.aFixes.size(), damaged.aFixes.size(), d.epochsHit.size(), damaged.cSkippedSegments);
  }
}

// Garbage before the receiver was recognised still makes the protocol give
// up (another protocol gets the port), whatever the read size.
TEST_F(DamagedStreamTest, NmeaGarbageWhileDetectingFailsInEveryChunking) {
  Bytes clean;
  ASSERT_TRUE(ReadCapture("bu353s4", clean));
  std::string s = "$G$$\r\n" + std::string(clean.begin(), clean.end());
  Bytes data(s.begin(), s.end());
  std::vector<Replayed> all = ReplayInEveryChunking("nmea", data);
  for (const Replayed& r : all) {
    EXPECT_GE(r.result.cFailures, 1u) << r.strHow;
    EXPECT_EQ(r.result.cSkippedSegments, 0u) << r.strHow;
  }
}

// ---- Garmin and SiRF ----

// Where the packets of a Garmin capture start: a DLE that follows the DLE
// ETX ending the packet before (or the start of the capture).
std::vector<size_t> GarminPacketStarts(const Bytes& data) {
  using namespace gps::detail;
  std::vector<size_t> out;
  bool fBetween = true;  // outside a packet
  for (size_t i = 0; i < data.size(); ++i) {
    if (fBetween) {
      if (data[i] == c_btDle) {
        out.push_back(i);
        fBetween = false;
      }
      continue;
    }
    if (data[i] != c_btDle || i + 1 >= data.size()) continue;
    if (data[i + 1] == c_btDle) ++i;  // a stuffed DLE
    else if (data[i + 1] == c_btEtx) ++i, fBetween = true;
  }
  return out;
}

// Where the frames of a SiRF capture start: a start mark whose length
// leads to the end mark.
std::vector<size_t> SirfFrameStarts(const Bytes& data) {
  std::vector<size_t> out;
  for (size_t i = 0; i + 8 <= data.size();) {
    size_t cb = i + 4 <= data.size() ? size_t(data[i + 2]) << 8 | data[i + 3] : 0;
    if (data[i] == 0xA0 && data[i + 1] == 0xA2 && i + 8 + cb <= data.size() && data[i + 6 + cb] == 0xB0 &&
        data[i + 7 + cb] == 0xB3) {
      out.push_back(i);
      i += 8 + cb;
    } else {
      ++i;
    }
  }
  return out;
}

// Puts the garbage before every cEvery-th start from the tenth on that has
// at least cbAfter bytes behind it.
Bytes InsertBefore(const Bytes& clean, const std::vector<size_t>& starts, const Bytes& garbage, size_t cEvery,
                   size_t cbAfter, size_t* pcInserted) {
  Bytes out;
  *pcInserted = 0;
  size_t from = 0;
  for (size_t k = 10; k < starts.size(); k += cEvery) {
    if (starts[k] + cbAfter > clean.size()) break;
    out.insert(out.end(), clean.begin() + std::ptrdiff_t(from), clean.begin() + std::ptrdiff_t(starts[k]));
    out.insert(out.end(), garbage.begin(), garbage.end());
    from = starts[k];
    ++*pcInserted;
  }
  out.insert(out.end(), clean.begin() + std::ptrdiff_t(from), clean.end());
  return out;
}

void ExpectSameFixes(const ReplayResult& got, const ReplayResult& want, const char* pszName) {
  ASSERT_EQ(got.aFixes.size(), want.aFixes.size()) << pszName;
  for (size_t i = 0; i < want.aFixes.size(); ++i)
    EXPECT_TRUE(SameFix(got.aFixes[i], want.aFixes[i])) << pszName << ", fix " << i;
}

TEST_F(DamagedStreamTest, GarminGarbageBetweenPacketsIsSkippedInEveryChunking) {
  using namespace gps::detail;
  Bytes clean;
  ASSERT_TRUE(ReadCapture("garmin18x-bin", clean));
  ReplayResult whole;
  ReplayCapture("garmin", clean.data(), clean.size(), 0, 4096, whole);
  ASSERT_EQ(whole.cFailures, 0u);
  ASSERT_EQ(whole.cSkippedSegments, 0u);
  ASSERT_GT(whole.aFixes.size(), 10u);
  // A frame too short to be a packet (DLE id DLE ETX), and a DLE ETX after
  // a lone byte: each ended the run before.
  const Bytes garbage = {c_btDle, 0x33, c_btDle, c_btEtx, 0x00, c_btDle, c_btEtx};
  size_t cInserted = 0;
  Bytes damaged = InsertBefore(clean, GarminPacketStarts(clean), garbage, 3, 64, &cInserted);
  ASSERT_GT(cInserted, 5u);
  std::vector<Replayed> all = ReplayInEveryChunking("garmin", damaged);
  ExpectSameInEveryChunking(all, "garmin18x-bin");
  // Two short frames per insertion; the fixes are those of the clean capture.
  EXPECT_EQ(all[0].result.cSkippedSegments, 2 * cInserted);
  ExpectSameFixes(all[0].result, whole, "garmin18x-bin");
}

TEST_F(DamagedStreamTest, SirfFalseFrameStartDoesNotSwallowTheMessagesBehindIt) {
  for (const char* pszName : {"bu303-moving", "sirfstarv"}) {
    Bytes clean;
    ASSERT_TRUE(ReadCapture(pszName, clean)) << pszName;
    ReplayResult whole;
    ReplayCapture("sirf", clean.data(), clean.size(), 0, 4096, whole);
    ASSERT_GT(whole.aFixes.size(), 5u) << pszName;
    ASSERT_EQ(whole.cSkippedSegments, 0u) << pszName;
    // A start mark with a plausible length of 1000 bytes: the frame it
    // opens takes in the real messages behind it and fails its checksum.
    const Bytes garbage = {0xA0, 0xA2, 0x03, 0xE8, 0x55};
    size_t cInserted = 0;
    Bytes damaged = InsertBefore(clean, SirfFrameStarts(clean), garbage, 6, 1100, &cInserted);
    ASSERT_GT(cInserted, 3u) << pszName;
    std::vector<Replayed> all = ReplayInEveryChunking("sirf", damaged);
    ExpectSameInEveryChunking(all, pszName);
    EXPECT_EQ(all[0].result.cSkippedSegments, cInserted) << pszName;
    ExpectSameFixes(all[0].result, whole, pszName);
  }
}

// ---- the silence limit when only garbage comes ----

const char* const c_szRmc = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

ProcessResult FeedNmea(NMEA0183& nmea, const std::string& s) {
  return nmea.ProcessData(reinterpret_cast<const uint8_t*>(s.data()), DWORD(s.size()));
}

TEST(DamagedStream, NmeaGarbageAloneEndsTheRunAfterTheSilenceLimit) {
  gpstest::Collector c;
  NMEA0183 nmea(4800);
  nmea.Reset();
  uint32_t cBefore = GetPositionHub().SkippedData();
  EXPECT_EQ(FeedNmea(nmea, gpstest::Nmea(c_szRmc) + "$"), Recognized);
  // Garbage for up to the limit is skipped, one count per segment: each
  // read ends the "$" left from the read before, then "$", "$\r\n", "$GP\r\n"
  // and a segment too long for a sentence.
  for (int i = 0; i < 5; ++i) {
    c.Advance(1000);
    EXPECT_NE(FeedNmea(nmea, "$$\r\n$GP\r\n$" + std::string(300, 'x') + "\r\n$"), Failed) << i;
  }
  EXPECT_EQ(GetPositionHub().SkippedData() - cBefore, 5u * 5u);
  // A sentence whose checksum fails or whose type is unknown is not valid.
  std::string bad = gpstest::Nmea(c_szRmc);
  bad[10] = '9';
  c.Advance(1);
  EXPECT_EQ(FeedNmea(nmea, bad + gpstest::Nmea("GPXYZ,1,2,3") + "$"), Failed);
  // A valid sentence in between starts the count again.
  nmea.Reset();
  EXPECT_EQ(FeedNmea(nmea, gpstest::Nmea(c_szRmc) + "$"), Recognized);
  c.Advance(4000);
  EXPECT_NE(FeedNmea(nmea, "$$"), Failed);
  EXPECT_NE(FeedNmea(nmea, gpstest::Nmea(c_szRmc) + "$"), Failed);
  c.Advance(4000);
  EXPECT_NE(FeedNmea(nmea, "$$"), Failed);
  // No bytes either: the same limit, counted from the last valid sentence.
  c.Advance(1001);
  EXPECT_EQ(nmea.ProcessData(nullptr, 0), Failed);
}

TEST(DamagedStream, NmeaNoiseIsNoReceiverEvenWhenItLooksLikeSentences) {
  gpstest::Collector c;
  NMEA0183 nmea(4800);
  nmea.Reset();
  // Plausible but never valid: the protocol still gives up at the first
  // garbage segment, as while detecting.
  EXPECT_EQ(FeedNmea(nmea, "$GPABC,1,2,3,4\r\n$QQ\x01\x02\x03\x04\x05\x06\x07\r\n$$"), Failed);
}

TEST(DamagedStream, GarminGarbageAloneRepeatsTheRequestThenEndsTheRun) {
  using namespace gps::detail;
  gpstest::Collector c;
  GarminProtocol g;
  std::vector<uint8_t> sent;
  g.SetSendTrace(&sent);
  g.Reset();
  const Bytes ack = {0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03};
  EXPECT_EQ(g.ProcessData(ack.data(), DWORD(ack.size())), Recognized);
  // A full-size satellite packet makes the stream known.
  Bytes sats = {c_btDle, c_idGarminSatellites, 96};
  uint8_t sum = uint8_t(c_idGarminSatellites + 96);
  for (int i = 0; i < 96; ++i) {
    uint8_t b = (i % 8 == 5) ? 0xFF : 0;
    sats.push_back(b);
    sum = uint8_t(sum + b);
  }
  sats.push_back(uint8_t(-sum));
  sats.push_back(c_btDle);
  sats.push_back(c_btEtx);
  EXPECT_EQ(g.ProcessData(sats.data(), DWORD(sats.size())), Recognized);
  uint32_t cBefore = GetPositionHub().SkippedData();
  const Bytes garbage = {c_btDle, 0x33, c_btDle, c_btEtx};
  sent.clear();
  for (int i = 0; i < 5; ++i) {
    c.Advance(999);
    EXPECT_EQ(g.ProcessData(garbage.data(), DWORD(garbage.size())), Pending) << i;
  }
  EXPECT_EQ(GetPositionHub().SkippedData() - cBefore, 5u);
  EXPECT_TRUE(sent.empty());
  // Five seconds without a valid packet: the PVT request again, and the run
  // ends when it is not acknowledged.
  c.Advance(5);
  EXPECT_EQ(g.ProcessData(garbage.data(), DWORD(garbage.size())), Pending);
  EXPECT_EQ(sent, Bytes(c_abGarminStartPvt, c_abGarminStartPvt + 8));
  c.Advance(3001);
  EXPECT_EQ(g.ProcessData(garbage.data(), DWORD(garbage.size())), Failed);
}

}  // namespace
