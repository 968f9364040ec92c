#pragma once

// Operating-system notifications turned into Qt signals on the UI thread:
// SIGTERM/SIGINT (end of session, Ctrl+C) and a change of the system clock.

#include <QObject>

class QSocketNotifier;

class TSessionSignals : public QObject {
  Q_OBJECT
 public:
  // Thread contract: create once, on the UI thread.
  explicit TSessionSignals(QObject* parent = nullptr);
  ~TSessionSignals() override;

 Q_SIGNALS:
  void terminationRequested();
  void systemTimeChanged();

 private:
  void ArmClockWatch();
  QSocketNotifier* m_signalNotifier = nullptr;
  QSocketNotifier* m_clockNotifier = nullptr;
  int m_clockFd = -1;
};
