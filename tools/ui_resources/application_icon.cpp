#include "ui_resources/application_icon.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>

namespace orvane::tools {

QImage ApplicationIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // Drawn on a 64-unit grid and scaled: every size shows the same picture.
  painter.scale(size / 64.0, size / 64.0);
  QLinearGradient background(0, 0, 0, 64);
  background.setColorAt(0, QColor(0x2F, 0x6E, 0xA8));
  background.setColorAt(1, QColor(0x1F, 0x4E, 0x79));
  painter.setPen(Qt::NoPen);
  painter.setBrush(background);
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  // The page on the desk.
  painter.setBrush(Qt::white);
  painter.drawPolygon(QPolygonF({QPointF(16, 40), QPointF(48, 40), QPointF(54, 54), QPointF(10, 54)}));
  // The stand and the camera head.
  painter.setPen(QPen(QColor(0xE8, 0xEE, 0xF4), 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(50, 50), QPointF(50, 14));
  painter.drawLine(QPointF(50, 14), QPointF(30, 14));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xE8, 0xEE, 0xF4));
  painter.drawRoundedRect(QRectF(22, 12, 14, 9), 2, 2);
  painter.setBrush(QColor(0xF2, 0xB1, 0x34));
  painter.drawEllipse(QPointF(29, 23), 3, 3);
  return image;
}

}  // namespace orvane::tools
