#include "platform/Thread.h"

#include <chrono>

namespace platform {

void SetCurrentThreadPriority(ThreadPriority prio);  // per platform

void CEvent::Set() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_fSet = true;
  m_cv.notify_all();
}

void CEvent::Reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_fSet = false;
}

bool CEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_fSet;
}

bool CEvent::Wait(uint32_t ms) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (ms == 0xFFFFFFFFu) {
    m_cv.wait(lock, [this] { return m_fSet; });
    return true;
  }
  return m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_fSet; });
}

bool CThread::Start(ThreadProc pfn, void* pParam, ThreadPriority prio) {
  if (m_thread.joinable()) return false;
  m_thread = std::thread([pfn, pParam, prio] {
    SetCurrentThreadPriority(prio);
    pfn(pParam);
  });
  return true;
}

void CThread::Join() {
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace platform
