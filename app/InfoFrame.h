#pragma once

// The "Info" page: the program's title and version.

#include <QFrame>

class QLabel;
class QPlainTextEdit;

class TInfoFr : public QFrame {
  Q_OBJECT
 public:
  explicit TInfoFr(QWidget* parent = nullptr);

  // Fills the texts again (after the language or the version became known).
  void Refresh();

  QPlainTextEdit* Memo;
  QLabel* VerLabel;
};
