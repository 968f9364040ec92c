#include "app/syncEvent.h"

#include <QDeadlineTimer>

TEvent::TEvent(Reset reset, bool initiallySet) : m_reset(reset), m_set(initiallySet) {}

void TEvent::Set()
{
  QMutexLocker lock(&m_mutex);
  m_set = true;
  if (m_reset == Reset::Auto)
    m_cond.wakeOne();
  else
    m_cond.wakeAll();
}

void TEvent::ResetEvent()
{
  QMutexLocker lock(&m_mutex);
  m_set = false;
}

bool TEvent::Wait(int timeoutMs)
{
  QMutexLocker lock(&m_mutex);
  QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                           : QDeadlineTimer(timeoutMs);
  while (!m_set) {
    if (!m_cond.wait(&m_mutex, deadline))
      break;
  }
  if (!m_set)
    return false;
  if (m_reset == Reset::Auto)
    m_set = false;
  return true;
}

bool TEvent::IsSet() const
{
  QMutexLocker lock(&m_mutex);
  return m_set;
}
