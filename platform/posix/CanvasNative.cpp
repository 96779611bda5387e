// The canvas of the native build: the software raster, with icons read from
// icon files in the resource folder.
#include "platform/Canvas.h"

namespace platform {

CCanvas* CreateMemoryCanvas(int cx, int cy) { return CreateSoftCanvas(cx, cy); }

CIcon* LoadIconResource(void* hModule, uint32_t id, int cx, int cy) {
  (void)hModule;
  return ReadIconResourceFile(id, cx, cy);
}

bool LoadBitmapResource(void* hModule, uint32_t id, std::basic_string<uint8_t>& dib) {
  (void)hModule;
  return ReadBitmapResourceFile(id, dib);
}

}  // namespace platform
