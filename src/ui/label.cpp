#include "ui/label.h"

#include <QEvent>
#include <QPainter>

namespace orvane::ui {

CLabel::CLabel(QWidget* parent, LabelAlignment alignment, bool centreVertically)
    : QWidget(parent), alignment_(alignment), centreVertically_(centreVertically) {
  // The whole face is painted every time: nothing is erased first, so nothing flickers.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CLabel::SetText(const std::string& text) {
  text_ = QString::fromStdString(text);
  update();
}

void CLabel::SetFontSize(int points) {
  QFont face = font();
  face.setPointSize(points);
  setFont(face);
  update();
}

void CLabel::SetFontBold(bool bold) {
  QFont face = font();
  face.setBold(bold);
  setFont(face);
  update();
}

int CLabel::DrawFlags(LabelAlignment alignment, bool centreVertically, const QString& text) {
  int flags = 0;
  switch (alignment) {
    case LabelAlignment::kCentre: flags = Qt::AlignHCenter | Qt::TextWordWrap; break;
    case LabelAlignment::kRight: flags = Qt::AlignRight | Qt::TextWordWrap; break;
    case LabelAlignment::kLeftNoWrap: flags = Qt::AlignLeft; break;
    case LabelAlignment::kLeft: flags = Qt::AlignLeft | Qt::TextWordWrap; break;
  }
  if (text.contains(QLatin1Char('\t'))) flags |= Qt::TextExpandTabs;
  if (centreVertically) {
    flags = Qt::AlignHCenter | (flags & Qt::TextExpandTabs);
    if (!text.contains(QStringLiteral("\r\n"))) flags |= Qt::AlignVCenter | Qt::TextSingleLine;
  }
  return flags;
}

void CLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  painter.setPen(palette().color(QPalette::WindowText));
  painter.setFont(font());
  painter.drawText(rect(), DrawFlags(alignment_, centreVertically_, text_), text_);
}

void CLabel::changeEvent(QEvent* event) {
  // The desktop's colours changed: the face follows at once.
  if (event->type() == QEvent::PaletteChange) update();
  QWidget::changeEvent(event);
}

}  // namespace orvane::ui
