// Fuzzes the skin parser and the skin object built from what it accepts.
#include <cstddef>
#include <cstdint>

#include "render/DrawTypes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData) {
  SkinDefinition def;
  if (ParseSkin(pData, cbData, def)) {
    if (def.areas.size() > c_cMaxSkinEntries || def.lines.size() > c_cMaxSkinEntries)
      __builtin_trap();
    CSkin skin(def);
    for (uint32_t w = 0; w < 0x100; ++w) {
      skin.FindArea(uint16_t(w));
      skin.FindLine(uint16_t(w));
    }
  }
  return 0;
}
