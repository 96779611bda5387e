// Wave files for the voice tests, built chunk by chunk.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace wavetest {

inline void Put32(std::vector<uint8_t>& v, uint32_t n) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(n >> (8 * i)));
}
inline void Put16(std::vector<uint8_t>& v, uint16_t n) {
  v.push_back(uint8_t(n));
  v.push_back(uint8_t(n >> 8));
}
inline void PutChunk(std::vector<uint8_t>& v, const char* pszId, const std::vector<uint8_t>& data,
                     uint32_t cbClaimed = 0xFFFFFFFFu) {
  v.insert(v.end(), pszId, pszId + 4);
  Put32(v, cbClaimed == 0xFFFFFFFFu ? uint32_t(data.size()) : cbClaimed);
  v.insert(v.end(), data.begin(), data.end());
}
// The 16-byte PCM format: mono, 16 bits, 22 050 Hz.
inline std::vector<uint8_t> PcmFormat(uint16_t nChannels = 1, uint16_t nBits = 16, uint32_t nRate = 22050) {
  std::vector<uint8_t> f;
  Put16(f, 1);
  Put16(f, nChannels);
  Put32(f, nRate);
  Put32(f, nRate * nChannels * nBits / 8);
  Put16(f, uint16_t(nChannels * nBits / 8));
  Put16(f, nBits);
  return f;
}
inline std::vector<uint8_t> Samples(size_t cb, uint8_t bSeed = 1) {
  std::vector<uint8_t> s(cb);
  for (size_t i = 0; i < cb; ++i) s[i] = uint8_t(bSeed + i * 7);
  return s;
}
// "RIFF" size "WAVE" and the chunks; cbRiff 0 writes the true size.
inline std::vector<uint8_t> Riff(const std::vector<uint8_t>& chunks, uint32_t cbRiff = 0) {
  std::vector<uint8_t> v;
  const char* psz = "RIFF";
  v.insert(v.end(), psz, psz + 4);
  Put32(v, cbRiff ? cbRiff : uint32_t(chunks.size() + 4));
  psz = "WAVE";
  v.insert(v.end(), psz, psz + 4);
  v.insert(v.end(), chunks.begin(), chunks.end());
  return v;
}
inline std::vector<uint8_t> SimpleWave(size_t cbSamples, uint8_t bSeed = 1) {
  std::vector<uint8_t> c;
  PutChunk(c, "fmt ", PcmFormat());
  PutChunk(c, "data", Samples(cbSamples, bSeed));
  return Riff(c);
}

}  // namespace wavetest
