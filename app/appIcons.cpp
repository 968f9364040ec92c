#include "app/appIcons.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kDeepBlue(0x0b, 0x2a, 0x5b);
const QColor kLightBlue(0x3f, 0x8f, 0xd8);
const QColor kSignalGreen(0x5c, 0xd6, 0x6e);

QPixmap IconPixmap(int size)
{
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);

  const QRectF frame(0.5, 0.5, size - 1.0, size - 1.0);
  QLinearGradient background(frame.topLeft(), frame.bottomRight());
  background.setColorAt(0, kLightBlue);
  background.setColorAt(1, kDeepBlue);
  painter.setPen(QPen(kDeepBlue, 1));
  painter.setBrush(background);
  painter.drawRoundedRect(frame, size * 0.18, size * 0.18);

  // A measured curve over a baseline: what the terminal is about.
  QPainterPath curve;
  const double s = size;
  curve.moveTo(s * 0.15, s * 0.70);
  curve.cubicTo(s * 0.35, s * 0.20, s * 0.50, s * 0.85, s * 0.65, s * 0.40);
  curve.lineTo(s * 0.85, s * 0.30);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kSignalGreen, qMax(1.5, s / 12.0), Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(curve);
  painter.setPen(QPen(Qt::white, qMax(1.0, s / 24.0)));
  painter.drawLine(QPointF(s * 0.15, s * 0.82), QPointF(s * 0.85, s * 0.82));
  return pixmap;
}

}  // namespace

QIcon MainIcon()
{
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128})
    icon.addPixmap(IconPixmap(size));
  return icon;
}

QPixmap SplashPixmap()
{
  const QSize size(393, 200);
  QPixmap pixmap(size);
  pixmap.fill(Qt::white);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);

  QLinearGradient background(0, 0, size.width(), size.height());
  background.setColorAt(0, kDeepBlue);
  background.setColorAt(1, kLightBlue);
  painter.fillRect(QRect(QPoint(0, 0), size), background);

  // Faint grid and trend line, as on the chart pages.
  painter.setPen(QPen(QColor(255, 255, 255, 40), 1));
  for (int x = 20; x < size.width(); x += 30)
    painter.drawLine(x, 0, x, size.height());
  for (int y = 20; y < size.height(); y += 30)
    painter.drawLine(0, y, size.width(), y);
  QPainterPath trend;
  trend.moveTo(0, 160);
  trend.cubicTo(90, 60, 160, 190, 250, 110);
  trend.cubicTo(300, 70, 350, 120, size.width(), 80);
  painter.setPen(QPen(kSignalGreen, 3));
  painter.drawPath(trend);

  painter.drawPixmap(20, 20, IconPixmap(48));

  QFont titleFont = painter.font();
  titleFont.setPixelSize(26);
  titleFont.setBold(true);
  painter.setFont(titleFont);
  const QRect titleRect(20, 80, size.width() - 40, 40);
  painter.setPen(QColor(0, 0, 0, 90));
  painter.drawText(titleRect.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(kApplicationTitle));
  painter.setPen(Qt::white);
  painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(kApplicationTitle));
  return pixmap;
}
