#pragma once

// An event object with auto or manual reset and timed waits: the hand-over
// between threads. Setting it after writing a request orders the write before
// the woken thread's read, because both go through the same mutex.

#include <QMutex>
#include <QWaitCondition>

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
  mutable QMutex m_mutex;
  QWaitCondition m_cond;
  const Reset m_reset;
  bool m_set;
};
