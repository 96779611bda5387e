// Writes the pattern bitmaps of the drawing types as 16 × 16 BMP files
// ("<n>.bmp") for the resource script: make_patterns OUT_FOLDER.
#include <cstdio>
#include <memory>

#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Str.h"
#include "render/Patterns.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_patterns OUT_FOLDER\n");
    return 2;
  }
  const std::u16string strOut = platform::Utf8ToU16(argv[1]);
  for (int i = 0; i < g_cPatternNumbers; ++i) {
    std::unique_ptr<platform::CBrush> pBrush(CreatePatternBrushOf(g_rgPatternNumbers[i], false, 0));
    std::unique_ptr<platform::CCanvas> pCanvas(platform::CreateSoftCanvas(16, 16));
    if (pBrush == nullptr || pCanvas == nullptr)
      return 1;
    pCanvas->FillRect({0, 0, 16, 16}, pBrush.get());
    char16_t szName[16];
    platform::Format(szName, 16, u"%d.bmp", g_rgPatternNumbers[i]);
    if (!platform::SaveCanvasBmp(pCanvas.get(), platform::JoinPath(strOut, szName).c_str()))
      return 1;
  }
  return 0;
}
