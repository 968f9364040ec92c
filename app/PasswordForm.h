#pragma once

// Guards the advanced mode of the configuration pages.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TPasswordDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TPasswordDlg(QWidget* parent = nullptr);

  // Shows the dialog modally with an empty field.
  // 0: right password, 1: wrong password, 255: cancelled.
  int Ask();

  // Exact comparison: letter case and blanks count.
  static bool IsAdvancedPassword(const QString& text);

  QLabel* PromptLB;
  QLineEdit* Password;
  QPushButton* OKBT;
  QPushButton* CancelBT;
};
