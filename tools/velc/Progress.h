// What velc tells on a terminal while it works on a long input: the phase,
// the nodes and ways read, the tiles written and the time left, on one line
// rewritten in place on standard error. Quiet when standard error is not a
// terminal, or when asked to be.
#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

class CVelcProgress {
 public:
  // fShow: tell anything at all (a terminal, and not --quiet).
  explicit CVelcProgress(bool fShow);
  ~CVelcProgress();
  bool Shown() const { return m_fShow; }

  // A new phase; cbTotal: the bytes of the input when reading (0: no estimate).
  void Phase(const char* pszName, uint64_t cbTotal);
  // Reading: the nodes and ways so far, the bytes of the input read.
  void Reading(uint64_t cNodes, uint64_t cWays, uint64_t cbDone);
  // Writing tiles: cDone of cTotal planned written (from any thread).
  void Tiles(uint32_t cDone, uint32_t cTotal);
  // Ends the line.
  void Done();

  // The time left for a share done after the seconds spent, as "1:05" or
  // "2:03:10"; empty when too little is done to tell.
  static std::string TimeLeft(double fDone, double fSeconds);

 private:
  void Show(const std::string& str, bool fForce);
  bool m_fShow;
  std::string m_strPhase;
  uint64_t m_cbTotal = 0;
  std::chrono::steady_clock::time_point m_tPhase, m_tShown;
  bool m_fLineOpen = false;
  std::mutex m_mutex;
};
