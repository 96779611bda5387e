#include "exchange/MapSource.h"

#include <cstring>

#include "exchange/detail/MapSourceRecords.h"
#include "store/Bytes.h"

using namespace exchange::detail;

namespace exchange {

static bool HasSignature(const uint8_t* pb, size_t cb, const uint8_t* pSig) {
  return pb && cb > c_cbMsMinFile && std::memcmp(pb, pSig, c_cbMsSignature) == 0;
}

bool IsMpsFile(const uint8_t* pb, size_t cb) { return HasSignature(pb, cb, c_abMpsSignature); }
bool IsGdbFile(const uint8_t* pb, size_t cb) { return HasSignature(pb, cb, c_abGdbSignature); }

CMsRecordWalker::CMsRecordWalker(const uint8_t* pb, size_t cb)
    : m_pb(pb), m_cb(pb ? cb : 0), m_off(0), m_fAfterCreator(false), m_fTruncated(false) {
  Reset(FirstRecordOffset());
}

size_t CMsRecordWalker::FirstRecordOffset() const { return c_cbMsSignature; }

void CMsRecordWalker::Reset(size_t off) {
  m_off = off;
  m_fAfterCreator = false;
  m_fTruncated = false;
}

// After the creator record MapSource writes "MapSource" and a zero byte,
// BaseCamp "BaseCamp" and a zero byte, outside any record. Such a text is
// told from a record head by its first four bytes being printable (a record
// that long cannot fit any file here) and by a terminator close behind.
static size_t ProgramTextLength(const uint8_t* pb, size_t cb) {
  const size_t c_cchMaxText = 64;
  if (cb < 5) return 0;
  for (size_t i = 0; i < 4; ++i)
    if (pb[i] < 0x20 || pb[i] >= 0x7F) return 0;
  size_t cchMax = cb < c_cchMaxText ? cb : c_cchMaxText;
  for (size_t i = 4; i < cchMax; ++i) {
    if (pb[i] == 0) return i + 1;
    if (pb[i] < 0x20 || pb[i] >= 0x7F) return 0;
  }
  return 0;
}

bool CMsRecordWalker::Next(MsRecord& rec) {
  if (m_fAfterCreator) {
    m_fAfterCreator = false;
    if (m_off < m_cb) {
      const uint8_t* p = m_pb + m_off;
      size_t cbLeft = m_cb - m_off;
      if (cbLeft >= sizeof(MsRecordHead)) {
        uint32_t cbBody = store::CByteReader::GetLe32(p);
        if (cbBody > cbLeft - sizeof(MsRecordHead)) m_off += ProgramTextLength(p, cbLeft);
      }
    }
  }
  if (m_off >= m_cb) return false;
  size_t cbLeft = m_cb - m_off;
  if (cbLeft < sizeof(MsRecordHead)) {
    m_fTruncated = true;
    m_off = m_cb;
    return false;
  }
  const uint8_t* p = m_pb + m_off;
  uint32_t cbBody = store::CByteReader::GetLe32(p);
  if (cbBody > cbLeft - sizeof(MsRecordHead)) {
    m_fTruncated = true;
    m_off = m_cb;
    return false;
  }
  rec.btType = p[4];
  rec.pBody = p + sizeof(MsRecordHead);
  rec.cbBody = cbBody;
  rec.offRecord = m_off;
  m_off += sizeof(MsRecordHead) + cbBody;
  rec.offNext = m_off;
  if (rec.btType == c_btRecCreator) m_fAfterCreator = true;
  return true;
}

}  // namespace exchange
