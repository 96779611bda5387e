#include "tools/velc/Progress.h"

#include <cstdio>

CVelcProgress::CVelcProgress(bool fShow) : m_fShow(fShow), m_tPhase(std::chrono::steady_clock::now()) {}

CVelcProgress::~CVelcProgress() { Done(); }

std::string CVelcProgress::TimeLeft(double fDone, double fSeconds) {
  if (fDone <= 0.01 || fDone > 1 || fSeconds < 1) return std::string();
  const long n = long(fSeconds * (1 - fDone) / fDone + 0.5);
  char sz[32];
  if (n >= 3600) std::snprintf(sz, sizeof sz, "%ld:%02ld:%02ld", n / 3600, n / 60 % 60, n % 60);
  else std::snprintf(sz, sizeof sz, "%ld:%02ld", n / 60, n % 60);
  return sz;
}

void CVelcProgress::Phase(const char* pszName, uint64_t cbTotal) {
  if (!m_fShow) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strPhase = pszName;
    m_cbTotal = cbTotal;
    m_tPhase = std::chrono::steady_clock::now();
  }
  Show(m_strPhase + "...", true);
}

void CVelcProgress::Reading(uint64_t cNodes, uint64_t cWays, uint64_t cbDone) {
  if (!m_fShow) return;
  const double fSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_tPhase).count();
  const std::string strLeft = m_cbTotal ? TimeLeft(double(cbDone) / double(m_cbTotal), fSeconds) : std::string();
  char sz[160];
  std::snprintf(sz, sizeof sz, "reading: %.1f M nodes, %.2f M ways%s%s", double(cNodes) / 1e6, double(cWays) / 1e6,
                strLeft.empty() ? "" : ", left ", strLeft.c_str());
  Show(sz, false);
}

void CVelcProgress::Tiles(uint32_t cDone, uint32_t cTotal) {
  if (!m_fShow || cTotal == 0) return;
  const double fSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_tPhase).count();
  const std::string strLeft = TimeLeft(double(cDone) / cTotal, fSeconds);
  char sz[160];
  std::snprintf(sz, sizeof sz, "writing tiles: %u of %u%s%s", cDone, cTotal, strLeft.empty() ? "" : ", left ",
                strLeft.c_str());
  Show(sz, cDone == cTotal);
}

void CVelcProgress::Show(const std::string& str, bool fForce) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto t = std::chrono::steady_clock::now();
  if (!fForce && m_fLineOpen && t - m_tShown < std::chrono::milliseconds(250)) return;
  m_tShown = t;
  std::fprintf(stderr, "\r\033[Kvelc: %s", str.c_str());
  std::fflush(stderr);
  m_fLineOpen = true;
}

void CVelcProgress::Done() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_fLineOpen) return;
  std::fputc('\n', stderr);
  m_fLineOpen = false;
}
