#include "app/splash_OEM.h"

#include "app/appIcons.h"
#include "app/commonClass.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {
constexpr int kWidth = 393;
constexpr int kHeight = 278;
}  // namespace

TSplashScreenForm::TSplashScreenForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
  setObjectName(QStringLiteral("SplashScreenForm"));
  setFixedSize(kWidth, kHeight);

  Panel = new QWidget(this);
  Panel->setGeometry(0, 0, kWidth, kHeight);
  Panel->setAutoFillBackground(true);
  QPalette palette = Panel->palette();
  palette.setColor(QPalette::Window, Qt::white);
  Panel->setPalette(palette);

  const QPixmap picture = SplashPixmap();
  Picture = new QLabel(Panel);
  Picture->setPixmap(picture);
  Picture->setGeometry(0, 0, picture.width(), picture.height());

  QFont versionFont = font();
  versionFont.setPointSize(14);
  versionFont.setBold(true);
  const QRect versionRect(16, picture.height() + 20, kWidth - 32, 32);

  // The shadow sits one pixel down and right, under the label itself.
  VerLabelShadow = new QLabel(Panel);
  VerLabelShadow->setFont(versionFont);
  VerLabelShadow->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  VerLabelShadow->setGeometry(versionRect.translated(1, 1));
  palette = VerLabelShadow->palette();
  palette.setColor(QPalette::WindowText, QColor(0xb0, 0xb0, 0xb0));
  VerLabelShadow->setPalette(palette);

  VerLabel = new QLabel(Panel);
  VerLabel->setFont(versionFont);
  VerLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  VerLabel->setGeometry(versionRect);
  palette = VerLabel->palette();
  palette.setColor(QPalette::WindowText, QColor(0x0b, 0x2a, 0x5b));
  VerLabel->setPalette(palette);
}

void TSplashScreenForm::showEvent(QShowEvent* event)
{
  const QString version = QStringLiteral("v") + VersionText4();
  VerLabel->setText(version);
  VerLabelShadow->setText(version);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = geometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  QWidget::showEvent(event);
}
