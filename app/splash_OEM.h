#pragma once

// Shown while the program starts, before the main window exists.

#include <QWidget>

class QLabel;

class TSplashScreenForm : public QWidget {
  Q_OBJECT
 public:
  explicit TSplashScreenForm(QWidget* parent = nullptr);

  QWidget* Panel;
  QLabel* Picture;
  QLabel* VerLabelShadow;
  QLabel* VerLabel;

 protected:
  void showEvent(QShowEvent* event) override;
};
