// Threads, locks and manual-reset events.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

// A critical section and its scope guard.
class CCritSec {
 public:
  CCritSec() = default;
  CCritSec(const CCritSec&) = delete;
  CCritSec& operator=(const CCritSec&) = delete;
  void Enter() { m_mutex.lock(); }
  void Leave() { m_mutex.unlock(); }

 private:
  std::recursive_mutex m_mutex;
};

class CLock {
 public:
  explicit CLock(CCritSec& cs) : m_cs(cs) { m_cs.Enter(); }
  ~CLock() { m_cs.Leave(); }
  CLock(const CLock&) = delete;
  CLock& operator=(const CLock&) = delete;

 private:
  CCritSec& m_cs;
};

// A manual-reset event: stays set until Reset.
class CEvent {
 public:
  explicit CEvent(bool fInitial = false) : m_fSet(fInitial) {}
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits up to ms milliseconds (0xFFFFFFFF = forever); true when set.
  bool Wait(uint32_t ms);

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_fSet;
};

enum ThreadPriority { tpNormal, tpAboveNormal, tpBelowNormal };

// One worker thread. Join before destruction (the destructor joins).
class CThread {
 public:
  typedef void (*ThreadProc)(void* pParam);
  CThread() = default;
  ~CThread() { Join(); }
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;
  bool Start(ThreadProc pfn, void* pParam, ThreadPriority prio = tpNormal);
  void Join();
  // Waits up to ms milliseconds for the thread to end. True when it ended
  // (and was joined); otherwise the thread is abandoned: it runs on detached
  // and this object is free for the next Start. An abandoned thread must
  // own (or share) everything it still uses.
  bool JoinFor(uint32_t ms);
  bool IsRunning() const { return m_thread.joinable(); }

 private:
  std::thread m_thread;
  std::shared_ptr<CEvent> m_pEnded;  // set by the thread as its last act
};

}  // namespace platform
