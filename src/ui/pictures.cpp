// The window's own pictures.
#include "ui/pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace quorvane::ui {
namespace {

QPixmap canvas(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

} // namespace

QPixmap shieldPicture(bool on, int size) {
  QPixmap pixmap = canvas(size);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);
  QPainterPath shield;
  shield.moveTo(32, 4);
  shield.lineTo(56, 12);
  shield.lineTo(56, 30);
  shield.cubicTo(56, 45, 46, 55, 32, 60);
  shield.cubicTo(18, 55, 8, 45, 8, 30);
  shield.lineTo(8, 12);
  shield.closeSubpath();
  QLinearGradient fill(0, 0, 0, 64);
  fill.setColorAt(0, on ? QColor(47, 143, 216) : QColor(160, 160, 160));
  fill.setColorAt(1, on ? QColor(21, 90, 150) : QColor(100, 100, 100));
  painter.setPen(QPen(QColor(13, 61, 102), 2));
  painter.setBrush(fill);
  painter.drawPath(shield);
  painter.setPen(QPen(Qt::white, 4));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QPointF(30, 29), 11, 11);
  painter.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(38, 37), QPointF(46, 45));
  return pixmap;
}

QPixmap areaPicture(AreaPicture which, int size) {
  QPixmap pixmap = canvas(size);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QRectF circle(2, 2, size - 4, size - 4);
  switch (which) {
  case AreaPicture::Pending:
    painter.setPen(QPen(QColor(150, 150, 150), 2));
    painter.drawEllipse(circle);
    break;
  case AreaPicture::Threat: {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(205, 40, 40));
    painter.drawEllipse(circle);
    painter.setPen(QPen(Qt::white, size / 8.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(size / 2.0, size * 0.25), QPointF(size / 2.0, size * 0.58));
    painter.drawPoint(QPointF(size / 2.0, size * 0.75));
    break;
  }
  case AreaPicture::Clean: {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 160, 70));
    painter.drawEllipse(circle);
    QPainterPath tick;
    tick.moveTo(size * 0.28, size * 0.52);
    tick.lineTo(size * 0.44, size * 0.68);
    tick.lineTo(size * 0.74, size * 0.34);
    painter.setPen(QPen(Qt::white, size / 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tick);
    break;
  }
  }
  return pixmap;
}

QPixmap animationFrame(int frame, int size) {
  QPixmap pixmap = canvas(size);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(47, 143, 216), 3, Qt::SolidLine, Qt::RoundCap));
  // A quarter arc that turns by an eighth of a circle per frame (angles in 1/16 degree).
  painter.drawArc(QRectF(3, 3, size - 6, size - 6), -(frame % 8) * 45 * 16, 90 * 16);
  return pixmap;
}

} // namespace quorvane::ui
