#pragma once

// Asks for the measurement server before each log-on attempt and remembers the
// servers used, most recent first.

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TserverPathForm : public QDialog {
  Q_OBJECT
 public:
  explicit TserverPathForm(QWidget* parent = nullptr);

  // The chosen server; empty unless the dialog was closed with "Connect".
  QString Path() const { return m_path; }
  // The stored "TCPpath" value as read or written last.
  QString Paths() const { return m_paths; }
  // Re-reads the stored list; call before each showing, as another instance of
  // the program may have changed it in the meantime.
  void Reload();

  // Saving happens here rather than in a close handler so that exec(), open()
  // and a programmatic accept()/reject() all keep the list.
  void done(int result) override;

  QLabel* ServerLB;
  QComboBox* pathCB;
  QLabel* UserLB;
  QComboBox* userCB;
  QLabel* PasswordLB;
  QLineEdit* passwordED;
  QPushButton* ConnectBT;
  QPushButton* CancelBT;

 private:
  QString m_path;
  QString m_paths;
};
