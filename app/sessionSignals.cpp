#include "app/sessionSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <limits>
#include <cerrno>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace {
// Self-pipe: the handler may only write a byte; the notifier reads it on the
// UI thread.
int g_signalPipe[2] = {-1, -1};

#ifdef Q_OS_LINUX
void OnSignal(int)
{
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
  errno = saved;
}
#endif
}  // namespace

TSessionSignals::TSessionSignals(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_LINUX
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) == 0) {
    m_signalNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signalNotifier, &QSocketNotifier::activated, this, [this] {
      char buffer[16];
      while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
      }
      Q_EMIT terminationRequested();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
  }

  // A timer far in the future that the kernel cancels when the clock is set.
  m_clockFd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
  if (m_clockFd >= 0) {
    ArmClockWatch();
    m_clockNotifier = new QSocketNotifier(m_clockFd, QSocketNotifier::Read, this);
    connect(m_clockNotifier, &QSocketNotifier::activated, this, [this] {
      quint64 expirations = 0;
      const ssize_t n = ::read(m_clockFd, &expirations, sizeof expirations);
      if (n < 0 && errno == ECANCELED) {
        ArmClockWatch();
        Q_EMIT systemTimeChanged();
      }
    });
  }
#endif
}

TSessionSignals::~TSessionSignals()
{
#ifdef Q_OS_LINUX
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
  delete m_signalNotifier;
  delete m_clockNotifier;
  for (int& fd : g_signalPipe) {
    if (fd >= 0)
      ::close(fd);
    fd = -1;
  }
  if (m_clockFd >= 0)
    ::close(m_clockFd);
#endif
}

void TSessionSignals::ArmClockWatch()
{
#ifdef Q_OS_LINUX
  itimerspec spec = {};
  spec.it_value.tv_sec = std::numeric_limits<time_t>::max() / 2;
  ::timerfd_settime(m_clockFd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr);
#endif
}
