#include "platform/SystemError.h"

#include "platform/Str.h"
#include "platform/win32/Win32.h"

namespace platform {

uint32_t LastSystemError() { return ::GetLastError(); }

std::u16string SystemErrorText(uint32_t dwError) {
  wchar_t sz[512];
  DWORD cch = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError,
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), sz, 512, nullptr);
  while (cch > 0 && (sz[cch - 1] == L'\r' || sz[cch - 1] == L'\n' || sz[cch - 1] == L' ')) --cch;
  if (cch == 0) return FormatStr(u"error %u", unsigned(dwError));
  return std::u16string(U(sz), cch);
}

}  // namespace platform
