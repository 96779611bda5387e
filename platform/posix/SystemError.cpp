#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

#include "platform/Str.h"

namespace platform {

uint32_t LastSystemError() { return uint32_t(errno); }

std::u16string SystemErrorText(uint32_t dwError) {
  const char* psz = std::strerror(int(dwError));
  if (psz == nullptr || *psz == 0) return FormatStr(u"error %u", unsigned(dwError));
  return Utf8ToU16(psz);
}

}  // namespace platform
