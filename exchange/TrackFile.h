// Track points from MapSource files (.gdb and .mps), read one at a time.
// The demo thread replays a track through this reader once a second.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gps/GpsFix.h"
#include "gps/TrackSource.h"
#include "platform/FileMapping.h"

namespace exchange {

// Reads the track points of one mapped file in order. The reader owns the
// mapping it was given (if any); the bytes must outlive it otherwise.
class TrackFileReader : public CTrackSource {
 public:
  TrackFileReader(const uint8_t* pb, size_t cb);
  virtual ~TrackFileReader();
  TrackFileReader(const TrackFileReader&) = delete;
  TrackFileReader& operator=(const TrackFileReader&) = delete;

  // Back to the first track record; the previous point is forgotten.
  void Rewind() override;
  // The next point into the fix (position; time, altitude, depth and water
  // temperature when the point has them; speed, vertical speed and course
  // from the previous point). False when there are no more.
  bool NextPoint(GpsFix& fix) override;
  void Destroy() override { delete this; }

  void TakeMapping(std::unique_ptr<platform::CFileMapping> pMapping) { m_pMapping = std::move(pMapping); }

  // The track of the point last read: its number (from 1, counted over
  // the file) and its name as stored (ANSI).
  uint32_t TrackNumber() const { return m_cTracks; }
  const std::string& TrackName() const { return m_strTrackName; }
  // The position of the point last read at the file's precision (the fix
  // holds it as floats).
  double LastLatitude() const { return m_dPrevLat; }
  double LastLongitude() const { return m_dPrevLon; }

 protected:
  // Moves to the next 'T' record: sets m_offPoint, m_offTrackEnd and
  // m_cPoints. False when there is none.
  bool NextTrack();
  // What a point holds besides the fields it sets in the fix.
  struct RawPoint {
    int32_t nLat;       // semicircles
    int32_t nLon;
    bool fHasTime;
    uint32_t dwTime;    // seconds since 1970
  };
  // Reads the point at m_offPoint (before m_offTrackEnd) and moves past it.
  // False when it does not fit in the record.
  virtual bool ReadPoint(GpsFix& fix, RawPoint& raw) = 0;
  // Checks the point count against the record after the header; may lower
  // m_cPoints.
  virtual void CheckPointCount() {}

  // Declared first so that it is released last: the bytes below point into it.
  std::unique_ptr<platform::CFileMapping> m_pMapping;
  const uint8_t* m_pb;
  size_t m_cb;
  size_t m_offNextRecord;  // where the search for the next track goes on
  size_t m_offPoint;       // next point of the current track
  size_t m_offTrackEnd;    // end of the current track record
  uint32_t m_cPoints;      // points of the current track
  uint32_t m_iPoint;       // index of the next point
  uint32_t m_cTracks;      // track records started since the first
  std::string m_strTrackName;

  bool m_fPrevPos;
  double m_dPrevLon;
  double m_dPrevLat;
  bool m_fPrevTime;
  uint32_t m_dwPrevTime;
  bool m_fPrevAlt;
  double m_dPrevAlt;
};

// An entry of the track file format list.
struct TrackFileFormat {
  uint32_t idsName;                                       // display string
  bool (*pfnProbe)(const uint8_t* pb, size_t cb);
  TrackFileReader* (*pfnCreate)(const uint8_t* pb, size_t cb);
};

// The formats in the order their probes are asked: GDB, MPS, then GPX.
const TrackFileFormat* GetTrackFileFormats(size_t& cFormats);

TrackFileReader* CreateGdbTrackReader(const uint8_t* pb, size_t cb);
TrackFileReader* CreateMpsTrackReader(const uint8_t* pb, size_t cb);
// An MPS reader over bytes it keeps.
TrackFileReader* CreateMpsTrackReader(std::vector<uint8_t> bytes);

const uint32_t c_idsCannotOpenFile = 2001;   // "Не удается открыть файл\n'%s'.\n(%s)"
const uint32_t c_idsCannotReadFile = 2002;   // "Не удается прочитать данные из файла\n'%s'.\n(%s)"
const uint32_t c_idsCannotWriteFile = 2003;  // "Не удается записать данные в файл\n'%s'.\n(%s)"

enum TrackOpenResult {
  torOk,
  torCannotOpen,     // message c_idsCannotOpenFile
  torCannotMap,      // message c_idsCannotReadFile
  torUnknownFormat,  // no probe accepted the file
};

// Opens and maps the file and creates the reader of the first format whose
// probe accepts it. Null on failure, with the reason in result.
TrackFileReader* OpenTrackFile(const char16_t* pszPath, TrackOpenResult& result);
// The same as positioning's track source opener (SetTrackSourceOpener).
CTrackSource* OpenTrackSourceFile(const char16_t* pszPath);

}  // namespace exchange
