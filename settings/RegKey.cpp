#include "settings/RegKey.h"

#include "platform/Debug.h"
#include "platform/Str.h"

using namespace platform;

LONG CRegKey::Open(RegHandle hParent, const char16_t* pszSubkey) {
  Close();
  return RegOpen(hParent, pszSubkey, &m_h);
}

LONG CRegKey::Create(RegHandle hParent, const char16_t* pszSubkey) {
  ASSERT(m_h == NULL);
  Close();
  return RegCreate(hParent, pszSubkey, &m_h);
}

void CRegKey::Close() {
  if (m_h) RegClose(m_h);
  m_h = nullptr;
}

LONG CRegKey::QueryDword(const char16_t* pszName, DWORD& dwValue) {
  ASSERT(m_h != NULL);
  if (!m_h) return c_errInvalidHandle;
  DWORD dwType = 0, cb = 4, dw = 0;
  LONG err = RegQuery(m_h, pszName, &dwType, &dw, &cb);
  if (err == c_errSuccess) dwValue = dw;
  return err;
}

LONG CRegKey::QueryString(const char16_t* pszName, char16_t* pszBuf, DWORD cchBuf) {
  ASSERT(m_h != NULL);
  if (!m_h || !pszBuf || cchBuf == 0) return c_errInvalidHandle;
  DWORD dwType = 0, cb = cchBuf * 2;
  LONG err = RegQuery(m_h, pszName, &dwType, pszBuf, &cb);
  // Registry strings need not be terminated: make sure the buffer is.
  if (err == c_errSuccess) {
    DWORD cch = cb / 2;
    pszBuf[cch < cchBuf ? cch : cchBuf - 1] = 0;
  } else {
    pszBuf[0] = 0;
  }
  return err;
}

LONG CRegKey::SetDword(const char16_t* pszName, DWORD dwValue) {
  ASSERT(m_h != NULL);
  if (!m_h) return c_errInvalidHandle;
  return RegSet(m_h, pszName, c_regDword, &dwValue, 4);
}

LONG CRegKey::SetString(const char16_t* pszName, const char16_t* pszText) {
  ASSERT(m_h != NULL);
  if (!m_h) return c_errInvalidHandle;
  if (!pszText) return RegSet(m_h, pszName, c_regSz, u"", 0);
  return RegSet(m_h, pszName, c_regSz, pszText, DWORD((StrLen(pszText) + 1) * 2));
}
