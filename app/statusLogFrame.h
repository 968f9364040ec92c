#pragma once

// The bottom strip of the main window: the event list above a status bar that
// holds the "Log" button, the shown status entry's text and its progress gauge.

#include "app/statusLog.h"

#include <QFrame>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QTimer;

class TstatusLogFr : public QFrame {
  Q_OBJECT
 public:
  // Binds to the given status log (the process-wide one by default).
  explicit TstatusLogFr(QWidget* parent = nullptr, TStatusLog* log = StatusLog());

  void Init();
  void ShowLog(bool show);
  bool LogVisible() const;
  void LogBTClick();

  // The height the frame takes while the event list is shown; while it is
  // hidden the frame shrinks to the status bar. The main window sets 120.
  void SetFrameHeight(int height);
  int FrameHeight() const { return m_frameHeight; }
  QSize sizeHint() const override;

  QTableView* AlarmLogVST;
  QStatusBar* StatusBar;
  QPushButton* LogBT;     // panel 0
  QLabel* StatusText;     // panel 1
  QWidget* GaugePanel;    // panel 2
  QProgressBar* Gauge;
  QTimer* Timer1;

 private:
  void OnStatusDisplayed(const QString& text, int value);
  void ApplyHeight();

  QPointer<TStatusLog> m_log;
  int m_frameHeight = 200;
};
