#include "app/syncEvent.h"

#include <chrono>

TEvent::TEvent(Reset reset, bool initiallySet) : m_reset(reset), m_set(initiallySet) {}

void TEvent::Set()
{
  {
    std::lock_guard lock(m_mutex);
    m_set = true;
  }
  if (m_reset == Reset::Auto)
    m_cond.notify_one();
  else
    m_cond.notify_all();
}

void TEvent::ResetEvent()
{
  std::lock_guard lock(m_mutex);
  m_set = false;
}

bool TEvent::Wait(int timeoutMs)
{
  std::unique_lock lock(m_mutex);
  if (timeoutMs < 0)
    m_cond.wait(lock, [this] { return m_set; });
  else
    m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set; });
  if (!m_set)
    return false;
  if (m_reset == Reset::Auto)
    m_set = false;
  return true;
}

bool TEvent::IsSet() const
{
  std::lock_guard lock(m_mutex);
  return m_set;
}
