#pragma once

// A small notice for the time the program needs to stop its threads.

#include <QWidget>

class QLabel;

class TfrmClosingWait : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmClosingWait(QWidget* parent = nullptr);

  QLabel* MessageLB;
};
