#pragma once

// An event object with auto or manual reset and timed waits: the hand-over
// between threads. Setting it after writing a request orders the write before
// the woken thread's read, because both go through the same mutex.
// Standard primitives rather than QMutex/QWaitCondition: the waits then stay
// visible to ThreadSanitizer, which cannot see inside the Qt libraries.

#include <condition_variable>
#include <mutex>

class TEvent {
 public:
  enum class Reset { Auto, Manual };
  explicit TEvent(Reset reset = Reset::Auto, bool initiallySet = false);

  // Thread contract: any thread.
  void Set();
  void ResetEvent();
  // Waits at most timeoutMs (negative: forever). True when the event was set;
  // an auto-reset event is cleared again by the waiter that consumed it.
  bool Wait(int timeoutMs);
  bool IsSet() const;

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_cond;
  const Reset m_reset;
  bool m_set;
};
