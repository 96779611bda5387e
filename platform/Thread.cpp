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
  std::shared_ptr<CEvent> pEnded = std::make_shared<CEvent>();
  m_pEnded = pEnded;
  m_thread = std::thread([pfn, pParam, prio, pEnded] {
    SetCurrentThreadPriority(prio);
    pfn(pParam);
    pEnded->Set();
  });
  return true;
}

void CThread::Join() {
  if (m_thread.joinable()) m_thread.join();
  m_pEnded.reset();
}

bool CThread::JoinFor(uint32_t ms) {
  if (!m_thread.joinable()) return true;
  if (m_pEnded && !m_pEnded->Wait(ms)) {
    m_thread.detach();
    m_pEnded.reset();
    return false;
  }
  Join();
  return true;
}

}  // namespace platform
