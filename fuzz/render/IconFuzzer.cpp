// Fuzzes the icon file reader of the native canvas.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Canvas.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData) {
  std::unique_ptr<platform::CIcon> pIcon(platform::ReadIconFile(pData, cbData, 16, 16));
  if (pIcon != nullptr && (pIcon->m_cx != 16 || pIcon->m_px.size() != 256))
    __builtin_trap();
  return 0;
}
