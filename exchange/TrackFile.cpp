#include "exchange/TrackFile.h"

#include <cmath>
#include <cstring>

#include "exchange/Gpx.h"
#include "exchange/MapSource.h"
#include "exchange/detail/MapSourceRecords.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "store/Bytes.h"
#include "view/MapUnits.h"

using namespace exchange::detail;

namespace exchange {

namespace {

const double c_dPi = 3.14159265358979323846;
const double c_dMetresPerDegree = 40000000.0 / 360.0;
const double c_dSecondsPerDay = 86400.0;
const double c_dUnixEpochDays = 25569.0;  // 1970-01-01 in days since 1899-12-30

}  // namespace

TrackFileReader::TrackFileReader(const uint8_t* pb, size_t cb)
    : m_pb(pb), m_cb(pb ? cb : 0), m_offNextRecord(c_cbMsSignature), m_offPoint(0), m_offTrackEnd(0),
      m_cPoints(0), m_iPoint(0), m_cTracks(0), m_fPrevPos(false), m_dPrevLon(0), m_dPrevLat(0), m_fPrevTime(false),
      m_dwPrevTime(0), m_fPrevAlt(false), m_dPrevAlt(0) {}

TrackFileReader::~TrackFileReader() = default;

void TrackFileReader::Rewind() {
  m_offNextRecord = c_cbMsSignature;
  m_offPoint = m_offTrackEnd = 0;
  m_cPoints = m_iPoint = 0;
  m_cTracks = 0;
  m_strTrackName.clear();
  m_fPrevPos = m_fPrevTime = m_fPrevAlt = false;
}

bool TrackFileReader::NextTrack() {
  CMsRecordWalker walker(m_pb, m_cb);
  walker.Reset(m_offNextRecord);
  MsRecord rec;
  while (walker.Next(rec)) {
    if (rec.btType != c_btRecTrack) continue;
    store::CByteReader rd(rec.pBody, rec.cbBody);
    std::string strName;
    rd.CStr(strName);
    rd.Byte();   // display
    rd.Dword();  // colour
    uint32_t cPoints = rd.Dword();
    if (!rd.IsOk()) continue;
    m_offPoint = size_t(rec.pBody - m_pb) + rd.Pos();
    m_offTrackEnd = rec.offNext;
    m_cPoints = cPoints;
    m_iPoint = 0;
    m_offNextRecord = rec.offNext;
    ++m_cTracks;
    m_strTrackName = strName;
    CheckPointCount();
    return true;
  }
  m_offNextRecord = m_cb;
  return false;
}

bool TrackFileReader::NextPoint(GpsFix& fix) {
  RawPoint raw = {};
  GpsFix pt = {};
  for (;;) {
    if (m_iPoint < m_cPoints) {
      pt = GpsFix{};
      if (ReadPoint(pt, raw)) {
        ++m_iPoint;
        break;
      }
      // A point that runs past its record: the rest of the track is unusable.
      m_iPoint = m_cPoints;
    }
    if (!NextTrack()) return false;
  }

  double dLon = SemicirclesToDegrees(raw.nLon), dLat = SemicirclesToDegrees(raw.nLat);
  bool fHasTime = raw.fHasTime;
  uint32_t dwTime = raw.dwTime;
  fix.SetPosition(float(dLon), float(dLat));
  if (pt.Has(gfAltitude)) fix.SetAltitude(pt.altitude);
  if (pt.Has(gfDepth)) fix.SetDepth(pt.depth);
  if (pt.Has(gfWaterTemperature)) fix.SetWaterTemperature(pt.waterTemperature);
  if (m_fPrevPos) {
    double dx = (dLon - m_dPrevLon) * c_dMetresPerDegree * std::cos(dLat * c_dPi / 180.0);
    double dy = (dLat - m_dPrevLat) * c_dMetresPerDegree;
    if (fHasTime && m_fPrevTime) {
      // Times run forward in a track; a step back in time gives no speed.
      int64_t dt = int64_t(dwTime) - int64_t(m_dwPrevTime);
      if (dt > 0) {
        fix.SetSpeed(float(std::sqrt(dx * dx + dy * dy) * 3.6 / double(dt)));
        if (pt.Has(gfAltitude) && m_fPrevAlt)
          fix.SetVerticalSpeed(float((double(pt.altitude) - m_dPrevAlt) / double(dt)));
      }
    }
    // Any movement has a course, also due north, south, east or west.
    if (dx != 0 || dy != 0) {
      double dCourse = 90.0 - std::atan2(dy, dx) * 180.0 / c_dPi;
      if (dCourse < 0) dCourse += 360.0;
      if (dCourse >= 360.0) dCourse -= 360.0;
      fix.SetCourse(float(dCourse));
    }
  }
  m_fPrevPos = true;
  m_dPrevLon = dLon;
  m_dPrevLat = dLat;
  m_fPrevTime = fHasTime;
  m_dwPrevTime = dwTime;
  if (fHasTime) fix.SetTime(double(dwTime) / c_dSecondsPerDay + c_dUnixEpochDays);
  m_fPrevAlt = pt.Has(gfAltitude);
  m_dPrevAlt = pt.altitude;
  return true;
}

namespace {

class CMpsTrackReader : public TrackFileReader {
 public:
  using TrackFileReader::TrackFileReader;

 protected:
  void CheckPointCount() override {
    size_t cbPoints = m_offTrackEnd - m_offPoint;
    // Well-formed files end their points exactly at the next record.
    ASSERT(size_t(m_cPoints) * sizeof(MpsTrackPoint) == cbPoints);
    if (size_t(m_cPoints) * sizeof(MpsTrackPoint) > cbPoints)
      m_cPoints = uint32_t(cbPoints / sizeof(MpsTrackPoint));
  }

  bool ReadPoint(GpsFix& pt, RawPoint& raw) override {
    if (m_offTrackEnd - m_offPoint < sizeof(MpsTrackPoint)) return false;
    MpsTrackPoint rec;
    std::memcpy(&rec, m_pb + m_offPoint, sizeof rec);
    m_offPoint += sizeof rec;
    raw.nLat = rec.nLatitude;
    raw.nLon = rec.nLongitude;
    if (rec.btHasAltitude) {
      pt.SetAltitude(float(rec.dAltitude));
    }
    raw.fHasTime = rec.btHasTime != 0;
    raw.dwTime = rec.dwTime;
    if (rec.btHasDepth) {
      pt.SetDepth(float(rec.dDepth));
    }
    return true;
  }
};

class CGdbTrackReader : public TrackFileReader {
 public:
  using TrackFileReader::TrackFileReader;

 protected:
  bool ReadPoint(GpsFix& pt, RawPoint& raw) override {
    store::CByteReader rd(m_pb + m_offPoint, m_offTrackEnd - m_offPoint);
    int32_t nLat = rd.Int();
    int32_t nLon = rd.Int();
    bool fAlt = rd.Byte() != 0;
    double dAlt = fAlt ? rd.Double() : 0;
    bool fHasTime = rd.Byte() != 0;
    uint32_t dwTime = fHasTime ? rd.Dword() : 0;
    bool fDepth = rd.Byte() != 0;
    double dDepth = fDepth ? rd.Double() : 0;
    bool fTemp = rd.Byte() != 0;
    double dTemp = fTemp ? rd.Double() : 0;
    if (!rd.IsOk()) return false;
    m_offPoint += rd.Pos();
    raw.nLat = nLat;
    raw.nLon = nLon;
    raw.fHasTime = fHasTime;
    raw.dwTime = dwTime;
    if (fAlt) {
      pt.SetAltitude(float(dAlt));
    }
    if (fDepth) {
      pt.SetDepth(float(dDepth));
    }
    if (fTemp) {
      pt.SetWaterTemperature(float(dTemp));
    }
    return true;
  }
};

// The bytes of an owning reader, made before the reader that points into them.
struct OwnedBytes {
  std::vector<uint8_t> m_bytes;
};

class COwningMpsTrackReader : private OwnedBytes, public CMpsTrackReader {
 public:
  explicit COwningMpsTrackReader(std::vector<uint8_t> bytes)
      : OwnedBytes{std::move(bytes)}, CMpsTrackReader(m_bytes.data(), m_bytes.size()) {}
};

const TrackFileFormat c_aTrackFormats[] = {
    {2271, IsGdbFile, CreateGdbTrackReader},  // "Garmin GPS Database"
    {2270, IsMpsFile, CreateMpsTrackReader},  // "MapSource Document"
    {c_idsGpxFile, IsGpxFile, CreateGpxTrackReader},
};

}  // namespace

TrackFileReader* CreateGdbTrackReader(const uint8_t* pb, size_t cb) { return new CGdbTrackReader(pb, cb); }
TrackFileReader* CreateMpsTrackReader(const uint8_t* pb, size_t cb) { return new CMpsTrackReader(pb, cb); }
TrackFileReader* CreateMpsTrackReader(std::vector<uint8_t> bytes) { return new COwningMpsTrackReader(std::move(bytes)); }

const TrackFileFormat* GetTrackFileFormats(size_t& cFormats) {
  cFormats = sizeof c_aTrackFormats / sizeof c_aTrackFormats[0];
  return c_aTrackFormats;
}

TrackFileReader* OpenTrackFile(const char16_t* pszPath, TrackOpenResult& result) {
  {
    platform::CFile file;
    if (!file.Open(pszPath, platform::fmRead)) {
      result = torCannotOpen;
      return nullptr;
    }
  }
  std::unique_ptr<platform::CFileMapping> pMapping(new platform::CFileMapping);
  if (!pMapping->OpenRead(pszPath)) {
    result = torCannotMap;
    return nullptr;
  }
  size_t cFormats;
  const TrackFileFormat* pFormats = GetTrackFileFormats(cFormats);
  for (size_t i = 0; i < cFormats; ++i) {
    if (!pFormats[i].pfnProbe(pMapping->Data(), pMapping->Size())) continue;
    TrackFileReader* pReader = pFormats[i].pfnCreate(pMapping->Data(), pMapping->Size());
    if (!pReader) break;  // a damaged file of the format
    pReader->TakeMapping(std::move(pMapping));
    result = torOk;
    return pReader;
  }
  result = torUnknownFormat;
  return nullptr;
}

CTrackSource* OpenTrackSourceFile(const char16_t* pszPath) {
  TrackOpenResult result;
  return OpenTrackFile(pszPath, result);
}

}  // namespace exchange
