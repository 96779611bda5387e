#include "gps/GpsLog.h"

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <mutex>
#include <string>

#include "settings/SettingsTable.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/File.h"
#include "platform/Module.h"
#include "platform/Str.h"

using namespace platform;

namespace {

std::mutex g_mutexLogFile;  // guards opening; lines are single writes
CFile* g_pLogFile = nullptr;
bool g_fLogTried = false;
std::atomic<GpsTickSource> g_pfnTick{nullptr};

const int c_cchLogLine = 4096;

void WriteLine(const char16_t* pszText, size_t cch) {
  // The debugger output gets the line with its terminator.
  DebugOutput(pszText);
  std::lock_guard<std::mutex> lock(g_mutexLogFile);
  if (g_pLogFile) {
    // UTF-16LE bytes of the line, no terminator.
    std::string bytes;
    bytes.resize(cch * 2);
    for (size_t i = 0; i < cch; ++i) {
      bytes[2 * i] = char(pszText[i] & 0xFF);
      bytes[2 * i + 1] = char(pszText[i] >> 8);
    }
    g_pLogFile->Write(bytes.data(), bytes.size());
    g_pLogFile->Flush();
  }
}

void LogLineV(const char16_t* pszFormat, va_list args) {
  char16_t szMsg[c_cchLogLine];
  FormatV(szMsg, c_cchLogLine, pszFormat, args);
  CSystemTime st;
  GetLocalTime(st);
  char16_t szLine[c_cchLogLine + 32];
  int cch = Format(szLine, c_cchLogLine + 32, u"%02d:%02d:%02d@%04d> %s\r\n", st.wHour, st.wMinute, st.wSecond,
                   int(GetTickMs() % 10000), szMsg);
  WriteLine(szLine, size_t(cch));
}

void LogLine(const char16_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  LogLineV(pszFormat, args);
  va_end(args);
}

// Opens the log on the first line written with logging on.
void OpenLogOnce() {
  {
    std::lock_guard<std::mutex> lock(g_mutexLogFile);
    if (g_fLogTried) return;
    g_fLogTried = true;
    std::u16string path = JoinPath(GetRootFolder(), u"gps_log.txt");
    CFile* pFile = new CFile;
    if (!pFile->Open(path.c_str(), fmOpenAlways) || !pFile->SeekToEnd()) {
      delete pFile;
      DebugOutput(u"GPS log file cannot be opened; lines go to the debug output only.\n");
    } else {
      int64_t off = 0;
      pFile->Tell(off);
      if (off == 0) {
        static const uint8_t c_abBom[2] = {0xFF, 0xFE};
        pFile->Write(c_abBom, 2);
      }
      static const char c_szSeparator[] = "-----------------------\r\n";
      std::string sep;
      for (const char* p = c_szSeparator; *p; ++p) {
        sep += *p;
        sep += '\0';
      }
      pFile->Write(sep.data(), sep.size());
      pFile->Flush();
      g_pLogFile = pFile;
    }
  }
  LogLine(u"Version: %d.%d.%d.%d", 1, 1, 28, 15);
  CSystemTime st;
  GetLocalTime(st);
  LogLine(u"Today: %d-%d-%02d", st.wYear, st.wMonth, st.wDay);
}

}  // namespace

void GpsLog(const char16_t* pszFormat, ...) {
  if (!GetSettingBool(setting::LogCOMPorts)) return;
  OpenLogOnce();
  va_list args;
  va_start(args, pszFormat);
  LogLineV(pszFormat, args);
  va_end(args);
}

void CloseGpsLog() {
  std::lock_guard<std::mutex> lock(g_mutexLogFile);
  delete g_pLogFile;
  g_pLogFile = nullptr;
  g_fLogTried = false;
}

void FormatTraffic(const uint8_t* pb, DWORD cb, char16_t* pszOut, size_t cchOut) {
  static const char c_szHex[] = "0123456789ABCDEF";
  const size_t cOutSize = cchOut;
  size_t cOut = 0;
  for (DWORD i = 0; i < cb; ++i) {
    ASSERT(cOut + 4 < cOutSize);
    if (cOut + 4 >= cOutSize) break;
    uint8_t b = pb[i];
    if (b == '\n') {
      pszOut[cOut++] = u'\\';
      pszOut[cOut++] = u'n';
    } else if (b == '\r') {
      pszOut[cOut++] = u'\\';
      pszOut[cOut++] = u'r';
    } else if (b >= 0x20 && b <= 0x7F) {
      pszOut[cOut++] = char16_t(b);
    } else {
      pszOut[cOut++] = u'\\';
      pszOut[cOut++] = u'x';
      pszOut[cOut++] = char16_t(c_szHex[b >> 4]);
      pszOut[cOut++] = char16_t(c_szHex[b & 15]);
    }
  }
  ASSERT(cOut < cOutSize);
  if (cOutSize > 0) pszOut[cOut < cOutSize ? cOut : cOutSize - 1] = 0;
}

void LogTraffic(const char16_t* pszPortName, DWORD cb, const uint8_t* pb, bool fSent) {
  if (!GetSettingBool(setting::LogCOMPorts)) return;
  std::u16string text(size_t(cb) * 4 + 1, u'\0');
  FormatTraffic(pb, cb, text.data(), text.size());
  GpsLog(fSent ? u"%s sent     %04d bytes: -->%s<--" : u"%s received %04d bytes: -->%s<--", pszPortName, int(cb),
         text.c_str());
}

double GpsEpochStart(int nEpoch) { return c_dGpsTimeStart + double(nEpoch) * c_dGpsEpochDays; }

double FixupGpsEpoch(double date, double dPivot) {
  if (!GetSettingBool(setting::FixupGPSEpoch) || !std::isfinite(date)) return date;
  // Only a value the user stored chooses the period; without one the pivot
  // does, so that today's dates stay today's.
  const DWORD c_dwUnset = 0xFFFFFFFFu;
  DWORD dwEpoch = GetDword(setting::GPSEpoch.pszName, c_dwUnset);
  double start = dwEpoch != c_dwUnset ? GpsEpochStart(int32_t(dwEpoch)) : dPivot;
  if (!std::isfinite(start)) return date;
  double k = std::floor((date - start) / c_dGpsEpochDays);
  return date - k * c_dGpsEpochDays;
}

uint32_t GpsTickMs() {
  GpsTickSource pfn = g_pfnTick.load();
  return pfn ? pfn() : GetTickMs();
}

GpsTickSource SetGpsTickSource(GpsTickSource pfn) { return g_pfnTick.exchange(pfn); }
