// Image files of the canvas: BMP and PNG export, and icon files for the
// native build. The PNG encoder uses zlib where the build has it and plain
// stored deflate blocks otherwise.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "platform/File.h"
#include "platform/Str.h"

#ifdef VELMO_HAVE_ZLIB
#include <zlib.h>
#endif

namespace platform {

namespace {

std::u16string g_strResourceFolder;

void PutLe16(std::string& s, uint32_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char((v >> 8) & 0xFF));
}
void PutLe32(std::string& s, uint32_t v) {
  PutLe16(s, v & 0xFFFF);
  PutLe16(s, v >> 16);
}
void PutBe32(std::string& s, uint32_t v) {
  s.push_back(char((v >> 24) & 0xFF));
  s.push_back(char((v >> 16) & 0xFF));
  s.push_back(char((v >> 8) & 0xFF));
  s.push_back(char(v & 0xFF));
}

uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t cb) {
  static uint32_t s_rgTable[256];
  static bool s_fInit = false;
  if (!s_fInit) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      s_rgTable[n] = c;
    }
    s_fInit = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < cb; ++i)
    crc = s_rgTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

// A zlib stream of the data.
std::string Deflate(const std::string& raw) {
#ifdef VELMO_HAVE_ZLIB
  uLongf cbOut = compressBound(uLong(raw.size()));
  std::string packed(cbOut, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &cbOut, reinterpret_cast<const Bytef*>(raw.data()),
                uLong(raw.size()), 6) == Z_OK) {
    packed.resize(cbOut);
    return packed;
  }
#endif
  std::string out;
  out.push_back(char(0x78));
  out.push_back(char(0x01));
  size_t i = 0;
  do {
    const size_t cb = std::min<size_t>(65535, raw.size() - i);
    const bool fLast = i + cb == raw.size();
    out.push_back(char(fLast ? 1 : 0));
    PutLe16(out, uint32_t(cb));
    PutLe16(out, uint32_t(~cb & 0xFFFF));
    out.append(raw, i, cb);
    i += cb;
  } while (i < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char ch : raw) {
    a = (a + ch) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(out, (b << 16) | a);
  return out;
}

void PngChunk(std::string& png, const char* pszType, const std::string& data) {
  PutBe32(png, uint32_t(data.size()));
  std::string body(pszType, 4);
  body += data;
  png += body;
  PutBe32(png, Crc32(0, reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

uint32_t GetLe16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t GetLe32(const uint8_t* p) { return GetLe16(p) | (GetLe16(p + 2) << 16); }

}  // namespace

bool EncodeCanvasPng(CCanvas* pCanvas, std::string& strOut) {
  if (pCanvas == nullptr || pCanvas->Width() <= 0 || pCanvas->Height() <= 0)
    return false;
  const int cx = pCanvas->Width(), cy = pCanvas->Height();
  std::string raw;
  raw.reserve(size_t(cy) * (size_t(cx) * 3 + 1));
  for (int y = 0; y < cy; ++y) {
    raw.push_back('\0');  // no filter
    for (int x = 0; x < cx; ++x) {
      COLORREF cr = pCanvas->GetPixel(x, y);
      raw.push_back(char(GetRValue(cr)));
      raw.push_back(char(GetGValue(cr)));
      raw.push_back(char(GetBValue(cr)));
    }
  }
  strOut.assign("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  PutBe32(ihdr, uint32_t(cx));
  PutBe32(ihdr, uint32_t(cy));
  ihdr.push_back(char(8));  // bit depth
  ihdr.push_back(char(2));  // RGB
  ihdr.push_back('\0');
  ihdr.push_back('\0');
  ihdr.push_back('\0');
  PngChunk(strOut, "IHDR", ihdr);
  PngChunk(strOut, "IDAT", Deflate(raw));
  PngChunk(strOut, "IEND", std::string());
  return true;
}

bool SaveCanvasPng(CCanvas* pCanvas, const char16_t* pszPath) {
  std::string png;
  if (!EncodeCanvasPng(pCanvas, png))
    return false;
  return WriteFileAtomic(pszPath, png.data(), png.size());
}

bool SaveCanvasBmp(CCanvas* pCanvas, const char16_t* pszPath) {
  if (pCanvas == nullptr || pCanvas->Width() <= 0 || pCanvas->Height() <= 0)
    return false;
  const int cx = pCanvas->Width(), cy = pCanvas->Height();
  const uint32_t cbRow = (uint32_t(cx) * 3 + 3) & ~3u;
  const uint32_t cbPixels = cbRow * uint32_t(cy);
  std::string bmp;
  bmp += "BM";
  PutLe32(bmp, 54 + cbPixels);
  PutLe32(bmp, 0);
  PutLe32(bmp, 54);
  PutLe32(bmp, 40);
  PutLe32(bmp, uint32_t(cx));
  PutLe32(bmp, uint32_t(cy));
  PutLe16(bmp, 1);
  PutLe16(bmp, 24);
  PutLe32(bmp, 0);
  PutLe32(bmp, cbPixels);
  PutLe32(bmp, 2835);
  PutLe32(bmp, 2835);
  PutLe32(bmp, 0);
  PutLe32(bmp, 0);
  for (int y = cy - 1; y >= 0; --y) {
    for (int x = 0; x < cx; ++x) {
      COLORREF cr = pCanvas->GetPixel(x, y);
      bmp.push_back(char(GetBValue(cr)));
      bmp.push_back(char(GetGValue(cr)));
      bmp.push_back(char(GetRValue(cr)));
    }
    bmp.append(cbRow - uint32_t(cx) * 3, '\0');
  }
  return WriteFileAtomic(pszPath, bmp.data(), bmp.size());
}

// An icon file's 32-bit image nearest in size to cx × cy, scaled to it.
CIcon* ReadIconFile(const uint8_t* p, size_t cb, int cx, int cy) {
  if (p == nullptr || cb < 6 || GetLe16(p) != 0 || GetLe16(p + 2) != 1 || cx <= 0 || cy <= 0 ||
      cx > 1024 || cy > 1024)
    return nullptr;
  const uint32_t cEntries = GetLe16(p + 4);
  if (cEntries == 0 || cb < 6 + size_t(cEntries) * 16)
    return nullptr;
  const uint8_t* pBest = nullptr;
  int nBestDiff = 1 << 30;
  for (uint32_t i = 0; i < cEntries; ++i) {
    const uint8_t* pEntry = p + 6 + size_t(i) * 16;
    const uint32_t cbImage = GetLe32(pEntry + 8), off = GetLe32(pEntry + 12);
    if (off > cb || cbImage > cb - off || cbImage < 40)
      continue;
    const uint8_t* pHdr = p + off;
    if (GetLe32(pHdr) < 40 || GetLe16(pHdr + 14) != 32 || GetLe32(pHdr + 16) != 0)
      continue;
    const int32_t w = int32_t(GetLe32(pHdr + 4)), h2 = int32_t(GetLe32(pHdr + 8));
    if (w <= 0 || w > 256 || h2 <= 0 || h2 > 512)
      continue;
    const size_t cbNeeded = size_t(GetLe32(pHdr)) + size_t(w) * size_t(h2 / 2) * 4;
    if (cbNeeded > cbImage)
      continue;
    int nDiff = std::abs(w - cx);
    if (nDiff < nBestDiff) {
      nBestDiff = nDiff;
      pBest = pHdr;
    }
  }
  if (pBest == nullptr)
    return nullptr;
  const int w = int(GetLe32(pBest + 4)), h = int(GetLe32(pBest + 8)) / 2;
  if (h <= 0)
    return nullptr;
  const uint8_t* pPix = pBest + GetLe32(pBest);
  CIcon* pIcon = new CIcon(cx, cy);
  for (int y = 0; y < cy; ++y) {
    const int sy = int(int64_t(y) * h / cy);
    const uint8_t* pRow = pPix + size_t(h - 1 - sy) * size_t(w) * 4;  // bottom-up
    for (int x = 0; x < cx; ++x) {
      const uint8_t* q = pRow + size_t(int64_t(x) * w / cx) * 4;
      pIcon->m_px[size_t(y) * size_t(cx) + size_t(x)] =
          (uint32_t(q[3]) << 24) | (uint32_t(q[2]) << 16) | (uint32_t(q[1]) << 8) | q[0];
    }
  }
  return pIcon;
}

void SetResourceFolder(const char16_t* pszFolder) { g_strResourceFolder = pszFolder != nullptr ? pszFolder : u""; }
const std::u16string& GetResourceFolder() { return g_strResourceFolder; }

// "<id>.<ext>" of the resource folder, whole; false without the folder or the file.
static bool ReadResourceFile(uint32_t id, const char16_t* pszExt, std::vector<uint8_t>& data) {
  if (g_strResourceFolder.empty())
    return false;
  char16_t szName[32];
  Format(szName, 32, u"%u.%s", unsigned(id), pszExt);
  return ReadWholeFile(JoinPath(g_strResourceFolder, szName).c_str(), data);
}

CIcon* ReadIconResourceFile(uint32_t id, int cx, int cy) {
  std::vector<uint8_t> data;
  if (!ReadResourceFile(id, u"ico", data))
    return nullptr;
  return ReadIconFile(data.data(), data.size(), cx, cy);
}

bool ReadBitmapResourceFile(uint32_t id, std::basic_string<uint8_t>& dib) {
  dib.clear();
  std::vector<uint8_t> data;
  const size_t c_cbFileHeader = 14;
  if (!ReadResourceFile(id, u"bmp", data) || data.size() <= c_cbFileHeader || data[0] != 'B' || data[1] != 'M')
    return false;
  dib.assign(data.begin() + c_cbFileHeader, data.end());
  return true;
}

}  // namespace platform
