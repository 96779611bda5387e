// The canvas of the native build: the software raster, with icons read from
// icon files in the resource folder.
#include <vector>

#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Str.h"

namespace platform {

CCanvas* CreateMemoryCanvas(int cx, int cy) { return CreateSoftCanvas(cx, cy); }

CIcon* LoadIconResource(void* hModule, uint32_t id, int cx, int cy) {
  (void)hModule;
  if (GetResourceFolder().empty())
    return nullptr;
  char16_t szName[32];
  Format(szName, 32, u"%u.ico", unsigned(id));
  std::vector<uint8_t> data;
  if (!ReadWholeFile(JoinPath(GetResourceFolder(), szName).c_str(), data))
    return nullptr;
  return ReadIconFile(data.data(), data.size(), cx, cy);
}

bool LoadBitmapResource(void* hModule, uint32_t id, std::basic_string<uint8_t>& dib) {
  (void)hModule;
  dib.clear();
  if (GetResourceFolder().empty())
    return false;
  char16_t szName[32];
  Format(szName, 32, u"%u.bmp", unsigned(id));
  std::vector<uint8_t> data;
  const size_t c_cbFileHeader = 14;
  if (!ReadWholeFile(JoinPath(GetResourceFolder(), szName).c_str(), data) || data.size() <= c_cbFileHeader ||
      data[0] != 'B' || data[1] != 'M')
    return false;
  dib.assign(data.begin() + c_cbFileHeader, data.end());
  return true;
}

}  // namespace platform
