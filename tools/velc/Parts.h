// Work shared out between velc's jobs: a range of items cut into parts run
// side by side.
#pragma once
#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

// How many parts c items make for cJobs threads: none of fewer than cMin
// items (a short range stays on the calling thread), none when c is 0.
inline unsigned PartCount(size_t c, unsigned cJobs, size_t cMin) {
  return unsigned(std::min<size_t>(std::max(1u, cJobs), (c + cMin - 1) / cMin));
}

// Calls part(iBegin, iEnd, iPart) for the cParts parts of [iFirst, iFirst + c),
// side by side (the calling thread takes part 0), and returns when all are done.
template <class TPart>
void RunParts(size_t iFirst, size_t c, unsigned cParts, TPart part) {
  if (cParts <= 1) {
    part(iFirst, iFirst + c, 0u);
    return;
  }
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < cParts; ++t)
    threads.emplace_back(part, iFirst + c * t / cParts, iFirst + c * (t + 1) / cParts, t);
  part(iFirst, iFirst + c / cParts, 0u);
  for (std::thread& th : threads) th.join();
}
