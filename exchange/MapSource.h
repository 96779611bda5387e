// The MapSource record container shared by .mps and .gdb files: a 6-byte
// signature, then records of {32-bit body length, type byte, body}.
#pragma once
#include <cstddef>
#include <cstdint>

namespace exchange {

bool IsMpsFile(const uint8_t* pb, size_t cb);
bool IsGdbFile(const uint8_t* pb, size_t cb);

struct MsRecord {
  uint8_t btType;
  const uint8_t* pBody;
  uint32_t cbBody;
  size_t offRecord;  // offset of the record head in the file
  size_t offNext;    // offset just after the body
};

// Walks the records of a MapSource file from the first one after the
// signature. Skips the program-name text ("MapSource", "BaseCamp" ...) that
// some files carry after the creator record. A record that would run past
// the end of the file ends the walk and marks it truncated.
class CMsRecordWalker {
 public:
  CMsRecordWalker(const uint8_t* pb, size_t cb);
  // Starts at the given offset (one returned as offNext, or the first record).
  void Reset(size_t off);
  size_t FirstRecordOffset() const;
  bool Next(MsRecord& rec);
  bool IsTruncated() const { return m_fTruncated; }
  size_t Pos() const { return m_off; }

 private:
  const uint8_t* m_pb;
  size_t m_cb;
  size_t m_off;
  bool m_fAfterCreator;
  bool m_fTruncated;
};

}  // namespace exchange
