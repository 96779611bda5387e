#include "platform/Str.h"

#include <cstdio>
#include <cstring>

namespace platform {

size_t StrLen(const char16_t* psz) {
  size_t n = 0;
  if (psz)
    while (psz[n]) ++n;
  return n;
}

int StrCmp(const char16_t* a, const char16_t* b) {
  if (!a) a = u"";
  if (!b) b = u"";
  while (*a && *a == *b) ++a, ++b;
  return int(*a) - int(*b);
}

char16_t ToUpper(char16_t ch) {
  if (ch >= u'a' && ch <= u'z') return char16_t(ch - 32);
  if (ch >= 0x430 && ch <= 0x44F) return char16_t(ch - 32);  // а..я
  if (ch >= 0x450 && ch <= 0x45F) return char16_t(ch - 80);  // ѐ..џ
  if (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7) return char16_t(ch - 32);
  return ch;
}

char16_t ToLower(char16_t ch) {
  if (ch >= u'A' && ch <= u'Z') return char16_t(ch + 32);
  if (ch >= 0x410 && ch <= 0x42F) return char16_t(ch + 32);
  if (ch >= 0x400 && ch <= 0x40F) return char16_t(ch + 80);
  if (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7) return char16_t(ch + 32);
  return ch;
}

int StrCmpI(const char16_t* a, const char16_t* b) {
  if (!a) a = u"";
  if (!b) b = u"";
  while (*a && ToLower(*a) == ToLower(*b)) ++a, ++b;
  return int(ToLower(*a)) - int(ToLower(*b));
}

void StrCopy(char16_t* pszDst, size_t cchBuf, const char16_t* pszSrc) {
  if (!pszDst || cchBuf == 0) return;
  size_t i = 0;
  if (pszSrc)
    for (; i + 1 < cchBuf && pszSrc[i]; ++i) pszDst[i] = pszSrc[i];
  pszDst[i] = 0;
}

std::u16string Utf8ToU16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    uint8_t c = uint8_t(s[i]);
    uint32_t cp;
    size_t n;
    if (c < 0x80) { cp = c; n = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; n = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; n = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; n = 4; }
    else { out.push_back(0xFFFD); ++i; continue; }
    if (i + n > s.size()) { out.push_back(0xFFFD); break; }
    bool ok = true;
    for (size_t k = 1; k < n; ++k) {
      uint8_t cc = uint8_t(s[i + k]);
      if ((cc & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) { out.push_back(0xFFFD); ++i; continue; }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

std::string U16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string AsciiToU16(const char* psz) { return Utf8ToU16(psz ? psz : ""); }

namespace {

struct COut {
  char16_t* m_p;
  size_t m_cch;
  size_t m_n;
  void Put(char16_t ch) {
    if (m_n + 1 < m_cch) m_p[m_n] = ch;
    ++m_n;
  }
  void PutN(const char16_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) Put(p[i]);
  }
};

void PutPadded(COut& out, const char16_t* p, size_t n, int nWidth, bool fLeft, char16_t chPad) {
  size_t pad = (nWidth > 0 && size_t(nWidth) > n) ? size_t(nWidth) - n : 0;
  if (!fLeft) {
    // Zero padding goes after a sign.
    if (chPad == u'0' && n > 0 && (p[0] == u'-' || p[0] == u'+' || p[0] == u' ')) {
      out.Put(p[0]);
      ++p;
      --n;
    }
    for (size_t i = 0; i < pad; ++i) out.Put(chPad);
  }
  out.PutN(p, n);
  if (fLeft)
    for (size_t i = 0; i < pad; ++i) out.Put(u' ');
}

}  // namespace

int FormatV(char16_t* pszBuf, size_t cchBuf, const char16_t* pszFormat, va_list args) {
  COut out{pszBuf, cchBuf, 0};
  if (!pszFormat) pszFormat = u"";
  for (const char16_t* p = pszFormat; *p; ++p) {
    if (*p != u'%') {
      out.Put(*p);
      continue;
    }
    ++p;
    if (*p == u'%') {
      out.Put(u'%');
      continue;
    }
    bool fLeft = false, fZero = false, fPlus = false, fSpace = false, fAlt = false;
    for (;; ++p) {
      if (*p == u'-') fLeft = true;
      else if (*p == u'0') fZero = true;
      else if (*p == u'+') fPlus = true;
      else if (*p == u' ') fSpace = true;
      else if (*p == u'#') fAlt = true;
      else break;
    }
    int nWidth = -1, nPrec = -1;
    if (*p == u'*') {
      nWidth = va_arg(args, int);
      if (nWidth < 0) { fLeft = true; nWidth = -nWidth; }
      ++p;
    } else {
      while (*p >= u'0' && *p <= u'9') nWidth = (nWidth < 0 ? 0 : nWidth * 10) + (*p++ - u'0');
    }
    if (*p == u'.') {
      ++p;
      nPrec = 0;
      if (*p == u'*') {
        nPrec = va_arg(args, int);
        ++p;
      } else {
        while (*p >= u'0' && *p <= u'9') nPrec = nPrec * 10 + (*p++ - u'0');
      }
    }
    int nLong = 0;  // 0 int, 1 long, 2 long long
    bool fShort = false, fWideS = false, fNarrowS = false;
    for (;;) {
      if (*p == u'l') { ++nLong; fWideS = true; ++p; }
      else if (*p == u'h') { fShort = true; fNarrowS = true; ++p; }
      else if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') { nLong = 2; p += 3; }
      else if (*p == u'z' || *p == u'j' || *p == u't') { nLong = 2; ++p; }
      else break;
    }
    (void)fWideS;
    char16_t chConv = *p;
    if (!chConv) break;
    char szSpec[32];
    char szTmp[512];
    switch (chConv) {
      case u'd': case u'i': case u'u': case u'x': case u'X': case u'o': {
        bool fSigned = chConv == u'd' || chConv == u'i';
        unsigned long long uv;
        long long sv;
        if (nLong >= 2) { sv = va_arg(args, long long); uv = (unsigned long long)sv; }
        else if (nLong == 1) { long v = va_arg(args, long); sv = v; uv = fSigned ? (unsigned long long)sv : (unsigned long)v; }
        else { int v = va_arg(args, int); sv = v; uv = fSigned ? (unsigned long long)sv : (unsigned int)v; }
        if (fShort && !fSigned) uv &= 0xFFFF;
        std::snprintf(szSpec, sizeof szSpec, "%%%s%s%s%s%s.%dll%c", fLeft ? "-" : "", fPlus ? "+" : "",
                      fSpace ? " " : "", fAlt ? "#" : "", "", nPrec < 0 ? 1 : nPrec, char(chConv));
        if (fSigned) std::snprintf(szTmp, sizeof szTmp, szSpec, sv);
        else std::snprintf(szTmp, sizeof szTmp, szSpec, uv);
        std::u16string s = AsciiToU16(szTmp);
        PutPadded(out, s.data(), s.size(), nWidth, fLeft, (fZero && nPrec < 0) ? u'0' : u' ');
        break;
      }
      case u'f': case u'F': case u'e': case u'E': case u'g': case u'G': {
        double v = va_arg(args, double);
        std::snprintf(szSpec, sizeof szSpec, "%%%s%s%s%s.%d%c", fPlus ? "+" : "", fSpace ? " " : "",
                      fAlt ? "#" : "", "", nPrec < 0 ? 6 : nPrec, char(chConv));
        std::snprintf(szTmp, sizeof szTmp, szSpec, v);
        std::u16string s = AsciiToU16(szTmp);
        PutPadded(out, s.data(), s.size(), nWidth, fLeft, fZero ? u'0' : u' ');
        break;
      }
      case u'c': case u'C': {
        char16_t ch = char16_t(va_arg(args, int));
        PutPadded(out, &ch, 1, nWidth, fLeft, u' ');
        break;
      }
      case u's': case u'S': {
        if (chConv == u'S' || fNarrowS) {
          const char* psz = va_arg(args, const char*);
          std::u16string s = Utf8ToU16(psz ? psz : "(null)");
          size_t n = s.size();
          if (nPrec >= 0 && size_t(nPrec) < n) n = size_t(nPrec);
          PutPadded(out, s.data(), n, nWidth, fLeft, u' ');
        } else {
          const char16_t* psz = va_arg(args, const char16_t*);
          if (!psz) psz = u"(null)";
          size_t n = StrLen(psz);
          if (nPrec >= 0 && size_t(nPrec) < n) n = size_t(nPrec);
          PutPadded(out, psz, n, nWidth, fLeft, u' ');
        }
        break;
      }
      case u'p': {
        void* pv = va_arg(args, void*);
        std::snprintf(szTmp, sizeof szTmp, "%p", pv);
        std::u16string s = AsciiToU16(szTmp);
        PutPadded(out, s.data(), s.size(), nWidth, fLeft, u' ');
        break;
      }
      default:
        out.Put(u'%');
        out.Put(chConv);
        break;
    }
  }
  if (cchBuf > 0) pszBuf[out.m_n < cchBuf ? out.m_n : cchBuf - 1] = 0;
  return int(out.m_n < cchBuf ? out.m_n : (cchBuf ? cchBuf - 1 : 0));
}

int Format(char16_t* pszBuf, size_t cchBuf, const char16_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  int n = FormatV(pszBuf, cchBuf, pszFormat, args);
  va_end(args);
  return n;
}

std::u16string FormatStr(const char16_t* pszFormat, ...) {
  char16_t sz[2048];
  va_list args;
  va_start(args, pszFormat);
  FormatV(sz, 2048, pszFormat, args);
  va_end(args);
  return sz;
}

}  // namespace platform
