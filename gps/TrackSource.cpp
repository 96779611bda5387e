#include "gps/TrackSource.h"

#include <atomic>

namespace {
std::atomic<PfnOpenTrackSource> g_pfnOpenTrackSource{nullptr};
}  // namespace

PfnOpenTrackSource SetTrackSourceOpener(PfnOpenTrackSource pfn) { return g_pfnOpenTrackSource.exchange(pfn); }

CTrackSource* OpenTrackSource(const char16_t* pszPath) {
  PfnOpenTrackSource pfn = g_pfnOpenTrackSource.load();
  return pfn ? pfn(pszPath) : nullptr;
}
